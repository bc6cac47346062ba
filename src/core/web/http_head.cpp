#include "core/web/http_head.h"

#include "core/base/ascii_case.h"

namespace sendwell {

namespace {

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n')) {
        s.remove_suffix(1);
    }
    return s;
}

} // namespace

int StatusOfLine(std::string_view line) {
    std::size_t space = line.find(' ');
    if (space == std::string_view::npos) {
        return 0;
    }
    int status = 0;
    int digits = 0;
    for (std::size_t i = space + 1; i < line.size() && digits < 3; ++i, ++digits) {
        if (line[i] < '0' || line[i] > '9') {
            return 0;
        }
        status = status * 10 + (line[i] - '0');
    }
    return digits == 3 ? status : 0;
}

std::optional<std::string> FindHeader(const std::vector<std::string>& head, std::string_view name) {
    for (const std::string& line : head) {
        std::size_t colon = line.find(':');
        if (colon != std::string::npos && colon == name.size() && AsciiStartsWithNoCase(line, name)) {
            return std::string(TrimBlanks(std::string_view(line).substr(colon + 1)));
        }
    }
    return std::nullopt;
}

HeadReader::Step HeadReader::Take(std::string_view line) {
    if (line.substr(0, 5) == "HTTP/") {
        inHead_ = true;
        pendingStatus_ = StatusOfLine(line);
        pending_.clear();
        pendingBytes_ = 0;
        return Step::More;
    }
    if (!inHead_) {
        return Step::More; // trailers after the body
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    if (!line.empty()) {
        pendingBytes_ += line.size();
        if (pendingBytes_ > kMaxHeadBytes) {
            tooLarge_ = true;
            return Step::TooLarge;
        }
        pending_.emplace_back(line);
        return Step::More;
    }
    inHead_ = false;
    status_ = pendingStatus_;
    head_ = std::move(pending_);
    pending_.clear();
    return Step::Complete;
}

std::string ChallengeRealm(const std::vector<std::string>& head) {
    std::optional<std::string> challenge = FindHeader(head, "WWW-Authenticate");
    if (!challenge) {
        return {};
    }
    std::size_t at = AsciiLower(*challenge).find("realm=");
    if (at == std::string::npos) {
        return {};
    }
    std::string_view rest = std::string_view(*challenge).substr(at + 6);
    if (!rest.empty() && rest.front() == '"') {
        rest.remove_prefix(1);
        return std::string(rest.substr(0, rest.find('"')));
    }
    return std::string(TrimBlanks(rest.substr(0, rest.find(','))));
}

} // namespace sendwell
