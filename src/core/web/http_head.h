// Reading an answer's head: the status of its status line and the values of its header lines.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sendwell {

// The three-digit status of a status line ("HTTP/1.1 404 Not Found" -> 404); 0 when it has none.
int StatusOfLine(std::string_view line);

// 301, 302 or 303: the answers that send a request elsewhere as a GET.
constexpr bool IsMovedStatus(int status) {
    return status == 301 || status == 302 || status == 303;
}

// Value of the first line of head named name (ASCII case-insensitive), blanks trimmed.
std::optional<std::string> FindHeader(const std::vector<std::string>& head, std::string_view name);

// The realm of a 401 head's challenge ("" when none is named).
std::string ChallengeRealm(const std::vector<std::string>& head);

// A head longer than this (lines together) ends the request: a server could otherwise fill memory.
inline constexpr std::size_t kMaxHeadBytes = 256 * 1024; // below libcurl's own bound

// Takes the head lines of one try as libcurl hands them over. Every status line starts a new head, so
// interim (1xx) and redirect heads each stand alone; lines after a head has ended and before the next
// status line are trailers and are passed over. The last complete head stays until the next completes.
class HeadReader {
public:
    enum class Step {
        More,     // the line is taken; the head goes on
        TooLarge, // the head passed kMaxHeadBytes: end the transfer
        Complete, // the blank line: status() and head() describe this head now
    };

    Step Take(std::string_view line);
    // For a new try: no head in progress, none complete.
    void Reset() { *this = HeadReader(); }

    int status() const { return status_; } // of the last complete head; 0 when none came
    const std::vector<std::string>& head() const { return head_; } // its lines, without line ends
    std::vector<std::string> ReleaseHead() { return std::move(head_); }
    bool tooLarge() const { return tooLarge_; }

private:
    bool inHead_ = false;
    int pendingStatus_ = 0;
    std::vector<std::string> pending_;
    std::size_t pendingBytes_ = 0;
    bool tooLarge_ = false;
    int status_ = 0;
    std::vector<std::string> head_;
};

} // namespace sendwell
