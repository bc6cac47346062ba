// How a piece of work that can fail or be cancelled ended, handed back to its caller as a value. The
// caller decides what to do with it: a run counts it and writes its failure lines to the failure log,
// a window command shows its text.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace sendwell {

struct Outcome {
    enum class End { Ok, Failed, Cancelled };

    End end = End::Ok;
    // What to show: a request's result text, or why the work failed.
    std::string text;
    int httpStatus = 0; // of the last answer; 0 when none came
    // The failure log record this outcome asks for, one entry per line; empty: none.
    std::vector<std::string> failureLines;

    bool ok() const { return end == End::Ok; }
    bool cancelled() const { return end == End::Cancelled; }

    static Outcome Succeeded(std::string text = {}) { return {End::Ok, std::move(text), 0, {}}; }
    static Outcome Failed(std::string text, std::vector<std::string> failureLines = {}) {
        return {End::Failed, std::move(text), 0, std::move(failureLines)};
    }
};

} // namespace sendwell
