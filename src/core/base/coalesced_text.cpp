#include "core/base/coalesced_text.h"

#include <utility>

namespace sendwell {

CoalescedText::CoalescedText(std::function<void()> wake) : wake_(std::move(wake)) {}

void CoalescedText::Set(std::string text) {
    {
        std::lock_guard lock(mutex_);
        pending_ = std::move(text);
        if (wakePending_) {
            return; // the reader has yet to come for the text before; it will find this one
        }
        wakePending_ = true;
    }
    wake_();
}

std::string CoalescedText::Take() {
    std::lock_guard lock(mutex_);
    wakePending_ = false;
    return pending_;
}

} // namespace sendwell
