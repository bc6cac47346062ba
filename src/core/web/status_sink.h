// Where a request's progress texts go: the progress window's status line, the Ping wait window, or
// nothing. Implementations in the GUI forward the text to the UI thread; calls come from any thread.
#pragma once

#include <string>

namespace sendwell {

class StatusSink {
public:
    virtual ~StatusSink() = default;
    virtual void SetStatusText(const std::string& text) = 0;
};

} // namespace sendwell
