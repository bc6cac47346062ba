#include "gui/base/progress_relay.h"

#include "gui/base/text_bytes.h"

#include <QMetaObject>

namespace sendwell::gui {

ProgressRelay::ProgressRelay(QObject* window, ShowText showText, ShowStep showStep, StepOf stepOf)
    : window_(window), showText_(std::move(showText)), showStep_(std::move(showStep)),
      stepOf_(std::move(stepOf)),
      status_([this] { Post([this] { showText_(ToQString(status_.Take())); }); }) {}

void ProgressRelay::Post(std::function<void()> apply) {
    QMetaObject::invokeMethod(
        &context_,
        [this, apply = std::move(apply)] {
            if (window_ != nullptr) {
                apply();
            }
        },
        Qt::QueuedConnection);
}

void ProgressRelay::SetStatusText(const std::string& text) {
    if (showText_) {
        status_.Set(text);
    }
}

void ProgressRelay::SetSteps(std::uint64_t done, std::uint64_t total) {
    if (!showStep_) {
        return;
    }
    const int step = stepOf_ ? stepOf_(done, total) : static_cast<int>(done);
    if (lastStep_.exchange(step) != step) {
        Post([this, step] { showStep_(step); });
    }
}

} // namespace sendwell::gui
