#include "core/audit/robots_txt.h"

#include "core/audit/audit_address.h"
#include "core/base/ascii_case.h"
#include "core/base/char_sets.h"
#include "core/web/fetch_engine.h"

#include <algorithm>

namespace sendwell {

namespace {

std::string_view Trim(std::string_view text) {
    return TrimAny(text, " \t\v\f");
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool IsUnreserved(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

// Both sides of a match in one form: octets outside printable ASCII percent-encoded, an encoded
// unreserved character decoded, hex digits in upper case. "/a%62c" and "/abc" then compare equal, and
// "/%e3%83%84" equals the raw UTF-8 of the same character.
std::string Normalise(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
            const auto decoded =
                static_cast<unsigned char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            if (IsUnreserved(decoded)) {
                out += static_cast<char>(decoded);
            } else {
                out += '%';
                out += kHex[decoded >> 4];
                out += kHex[decoded & 15];
            }
            i += 2;
        } else if (c <= 0x20 || c >= 0x7f) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// Whether pattern matches path from its start: "*" stands for any run of octets, a final "$" for the
// end of the path. Greedy with one point of return, so the time is bounded by the two lengths' product.
bool Matches(std::string_view pattern, std::string_view path) {
    bool anchored = false;
    if (!pattern.empty() && pattern.back() == '$') {
        anchored = true;
        pattern.remove_suffix(1);
    }
    std::size_t p = 0;
    std::size_t s = 0;
    std::size_t starAt = std::string_view::npos;
    std::size_t resumeAt = 0;
    while (true) {
        if (p == pattern.size() && (!anchored || s == path.size())) {
            return true;
        }
        if (p < pattern.size() && pattern[p] == '*') {
            starAt = p++;
            resumeAt = s;
            continue;
        }
        if (p < pattern.size() && s < path.size() && pattern[p] == path[s]) {
            ++p;
            ++s;
            continue;
        }
        if (starAt == std::string_view::npos || resumeAt >= path.size()) {
            return false;
        }
        p = starAt + 1;
        s = ++resumeAt;
    }
}

// The product token a user-agent line names: its leading letters, "_" and "-" ("Sendwell/1.0" ->
// "Sendwell"), or "*".
std::string_view AgentToken(std::string_view value) {
    if (!value.empty() && value.front() == '*') {
        return "*";
    }
    std::size_t n = 0;
    while (n < value.size()) {
        const char c = value[n];
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!letter && c != '_' && c != '-') {
            break;
        }
        ++n;
    }
    return value.substr(0, n);
}

struct Group {
    bool ours = false;
    bool star = false;
    std::vector<std::pair<bool, std::string_view>> rules; // allow?, pattern as written
};

} // namespace

RobotsTxt RobotsTxt::Parse(std::string_view text, std::string_view productToken) {
    if (text.size() > kRobotsTxtMaxBytes) {
        // A line cut in two would leave a shorter pattern that matches more than was written.
        text = text.substr(0, kRobotsTxtMaxBytes);
        const std::size_t end = text.find_last_of("\r\n");
        text = text.substr(0, end == std::string_view::npos ? 0 : end);
    }
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }

    RobotsTxt robots;
    std::vector<Group> groups;
    bool inAgents = false; // the last rule-relevant line was a user-agent line
    while (!text.empty()) {
        const std::size_t end = text.find_first_of("\r\n");
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        line = line.substr(0, line.find('#'));
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            continue;
        }
        const std::string_view key = Trim(line.substr(0, colon));
        const std::string_view value = Trim(line.substr(colon + 1));
        if (AsciiEqualNoCase(key, "user-agent")) {
            if (!inAgents) {
                groups.emplace_back();
                inAgents = true;
            }
            const std::string_view token = AgentToken(value);
            if (token == "*") {
                groups.back().star = true;
            } else if (!token.empty() && AsciiEqualNoCase(token, productToken)) {
                groups.back().ours = true;
            }
        } else if (AsciiEqualNoCase(key, "allow") || AsciiEqualNoCase(key, "disallow")) {
            inAgents = false;
            if (!groups.empty()) {
                groups.back().rules.emplace_back(AsciiEqualNoCase(key, "allow"), value);
            }
        } else if (AsciiEqualNoCase(key, "sitemap")) {
            if (!value.empty()) {
                robots.sitemaps_.emplace_back(value);
            }
        }
    }

    bool anyOurs = false;
    for (const Group& group : groups) {
        anyOurs = anyOurs || group.ours;
    }
    for (const Group& group : groups) {
        if (anyOurs ? !group.ours : !group.star) {
            continue;
        }
        for (const auto& [allow, pattern] : group.rules) {
            // An empty pattern matches nothing: "Disallow:" alone allows all.
            if (!pattern.empty()) {
                std::string normalised = Normalise(pattern);
                // A run of stars matches what one does; collapsed, no pattern outgrows twice the path
                // it can match.
                normalised.erase(std::unique(normalised.begin(), normalised.end(),
                                             [](char a, char b) { return a == '*' && b == '*'; }),
                                 normalised.end());
                const auto literal = static_cast<std::size_t>(std::count_if(
                    normalised.begin(), normalised.end(), [](char c) { return c != '*' && c != '$'; }));
                robots.rules_.push_back(Rule{allow, std::move(normalised), literal});
            }
        }
    }
    return robots;
}

RobotsTxt RobotsTxt::FromFetch(const FetchResult& result, std::string_view productToken) {
    if (!result.outcome.ok() || result.status >= 500 || result.status < 200) {
        return Unreachable(result.status);
    }
    RobotsTxt robots;
    if (result.status >= 300) {
        robots.source_ = Source::Unavailable;
    } else {
        robots = Parse(result.body, productToken);
    }
    robots.status_ = result.status;
    return robots;
}

RobotsTxt RobotsTxt::Unreachable(int status) {
    RobotsTxt robots;
    robots.source_ = Source::Unreachable;
    robots.status_ = status;
    return robots;
}

bool RobotsTxt::Allows(std::string_view pathAndQuery) const {
    if (pathAndQuery.empty()) {
        pathAndQuery = "/";
    }
    if (pathAndQuery == "/robots.txt") {
        return true;
    }
    if (source_ != Source::Read) {
        return source_ == Source::Unavailable;
    }
    const std::string path = Normalise(pathAndQuery);
    std::size_t bestLength = 0;
    bool allowed = true;
    for (const Rule& rule : rules_) {
        const std::size_t length = rule.pattern.size();
        if (length < bestLength || (length == bestLength && allowed) || rule.literal > path.size()) {
            continue;
        }
        if (Matches(rule.pattern, path)) {
            bestLength = length;
            allowed = rule.allow;
        }
    }
    return allowed;
}

bool RobotsTxt::AllowsUrl(std::string_view url) const {
    const std::string path = PathAndQueryOf(url);
    return path.empty() || Allows(path);
}

std::string RobotsTxtAddress(std::string_view url) {
    const std::string origin = OriginOf(url);
    return origin.empty() ? origin : origin + "/robots.txt";
}

} // namespace sendwell
