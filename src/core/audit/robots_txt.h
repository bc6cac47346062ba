// robots.txt as a crawler must read it: the group of our product token (else the "*" group), the
// longest matching rule deciding, Allow winning a tie, "*" and "$" in patterns, percent-encoding
// normalised on both sides. An answer of 4xx allows everything, 5xx or none disallows everything.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace sendwell {

struct FetchResult;

// At most this much of a robots.txt is read; rules past it are ignored.
inline constexpr std::size_t kRobotsTxtMaxBytes = 500 * 1024;
// The name our crawler's group goes by (matched without regard to letter case).
inline constexpr std::string_view kRobotsProductToken = "Sendwell";

class RobotsTxt {
public:
    enum class Source {
        Read,        // an answer of 2xx, its rules in force
        Unavailable, // 4xx (or a redirect not followed to its end): everything allowed
        Unreachable, // 5xx or no answer: everything disallowed
    };

    // No rules: everything allowed.
    RobotsTxt() = default;

    // The rules of text (the body of a robots.txt) for productToken.
    static RobotsTxt Parse(std::string_view text, std::string_view productToken = kRobotsProductToken);
    // The rules of a fetched robots.txt, by its status as above.
    static RobotsTxt FromFetch(const FetchResult& result,
                               std::string_view productToken = kRobotsProductToken);
    static RobotsTxt Unreachable(int status = 0);

    // True when the path (with its query, as in an address: "/a/b?c=d") may be fetched.
    bool Allows(std::string_view pathAndQuery) const;
    // The same for an absolute address; an address that cannot be read is allowed (nothing to fetch).
    bool AllowsUrl(std::string_view url) const;

    Source source() const { return source_; }
    int status() const { return status_; } // of the answer; 0 when none came or parsed from text
    // The addresses of its "Sitemap:" lines, in order, as written.
    const std::vector<std::string>& sitemaps() const { return sitemaps_; }

private:
    struct Rule {
        bool allow = false;
        std::string pattern;     // normalised
        std::size_t literal = 0; // octets that are neither "*" nor "$"
    };
    Source source_ = Source::Read;
    int status_ = 0;
    std::vector<Rule> rules_;
    std::vector<std::string> sitemaps_;
};

// Where the robots.txt of an address's site is: "scheme://host[:port]/robots.txt"; "" when the address
// cannot be read.
std::string RobotsTxtAddress(std::string_view url);

} // namespace sendwell
