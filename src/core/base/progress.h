// How work tells its front end how far it has come, and learns whether to stop. Each front end adapts
// it once: the GUI carries every call to its window on the UI thread, the command line draws on the
// terminal or says nothing. Calls come from the thread the work runs on, which may be any thread.
#pragma once

#include <cstdint>
#include <string>

namespace sendwell {

class Progress {
public:
    virtual ~Progress() = default;
    // A line of status text: "Connecting", "Read 1024 bytes", the page being read.
    virtual void SetStatusText(const std::string& text) = 0;
    // done of total steps (bytes, pages, requests); total 0 when not known.
    virtual void SetSteps(std::uint64_t done, std::uint64_t total) {
        (void)done;
        (void)total;
    }
    // Whether the user asked to stop; work asks between its steps.
    virtual bool CancelRequested() const { return false; }
};

} // namespace sendwell
