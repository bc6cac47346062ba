// Reading an answer's head: the status of its status line and the values of its header lines.
#pragma once

#include <optional>
#include <string>
#include <string_view>
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

} // namespace sendwell
