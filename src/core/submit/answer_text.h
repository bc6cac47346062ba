// Text rules of a submission answer: the script disabling applied before an answer is stored, and the
// check for server error pages.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace sendwell {

// "<script" -> "<!--" and "</script>" -> "-->", lower case only, so stored pages cannot run scripts.
std::string DisableScripts(std::string_view text);

// Texts whose presence in an answer (any letter case) mark it as a server error page.
inline constexpr std::array<std::string_view, 6> kErrorMarkers{"<h1>internal server error</h1>",
                                                               "not found</h1>",
                                                               "the page requested was not found",
                                                               "error 1004",
                                                               "not found</strong>",
                                                               "not found</b>"};

// Replaces an answer that looks like an error page.
inline constexpr std::string_view kReplacementPage =
    "<BR><HR><font face=verdana size=2>Web site URL submitted</font>\r\n";

// True when the text holds one of the error markers in any letter case.
bool LooksLikeErrorPage(std::string_view text);

// DisableScripts over a stream that arrives in pieces: a tag split between two pieces is still
// replaced. Holds back at most the length of the longer tag minus one byte.
class ScriptDisabler {
public:
    // Appends the converted text that is certain so far to out.
    void Feed(std::string_view in, std::string& out);
    // Appends whatever is held back.
    void Finish(std::string& out);

private:
    std::string carry_;
};

// The error-page check over a stream, without keeping the answer: remembers only the tail that could
// begin a marker continued in the next piece.
class ErrorMarkerScan {
public:
    void Feed(std::string_view in);
    bool found() const { return found_; }

    // Bytes of the tail kept between pieces: the longest marker less one.
    static constexpr std::size_t kKeep = [] {
        std::size_t n = 0;
        for (std::string_view m : kErrorMarkers) {
            n = m.size() > n ? m.size() : n;
        }
        return n - 1;
    }();

private:
    std::array<char, kKeep> tail_{};
    std::size_t tailSize_ = 0;
    bool found_ = false;
};

} // namespace sendwell
