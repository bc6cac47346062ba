#include "core/base/open_address.h"

#include "core/base/ascii_case.h"

#include <array>
#include <utility>

namespace sendwell {

namespace {

bool IsSchemeChar(char c, bool first) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (first) {
        return letter;
    }
    return letter || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

// The lower-case scheme of an address that starts with one ("mailto" for "MailTo:x"), else "".
std::string LeadingScheme(std::string_view address) {
    std::size_t colon = address.find(':');
    if (colon == std::string_view::npos || colon == 0) {
        return {};
    }
    std::string scheme;
    for (std::size_t i = 0; i < colon; ++i) {
        if (!IsSchemeChar(address[i], i == 0)) {
            return {};
        }
        scheme += AsciiLower(address[i]);
    }
    return scheme;
}

} // namespace

std::string OpenFailureText(int code) {
    static constexpr std::array<std::pair<int, const char*>, 3> kMessages = {{
        {kOpenFileNotFound, "The specified file was not found."},
        {kOpenAccessDenied, "The operating system denied\naccess to the specified file."},
        {kOpenNoAssociation, "There is no application associated\nwith the given filename extension."},
    }};
    std::string text = "Can't open link:\n\n";
    for (const auto& [known, message] : kMessages) {
        if (known == code) {
            return text + message;
        }
    }
    return text + "Unknown Error (" + std::to_string(code) + ") occurred.";
}

OpenTarget OpenTargetFor(std::string_view address) {
    if (address.empty()) {
        return {};
    }
    if (address.front() == '/') {
        return {OpenTargetKind::LocalFile, std::string(address)};
    }
    const std::string scheme = LeadingScheme(address);
    // "host:port/..." also looks like a scheme; only "//" after the colon, or a scheme that never
    // has one, makes it a URL of its own.
    const bool hierarchical = !scheme.empty() && address.substr(scheme.size() + 1).starts_with("//");
    if (hierarchical || scheme == "mailto" || scheme == "file" || scheme == "news" || scheme == "about") {
        return {OpenTargetKind::Url, std::string(address)};
    }
    // A bare e-mail address belongs to the mail program; handed to a browser it would name a web host.
    const bool mail = address.find('@') != std::string_view::npos &&
                      address.find_first_of("/:?# ") == std::string_view::npos;
    if (mail) {
        return {OpenTargetKind::Url, "mailto:" + std::string(address)};
    }
    return {OpenTargetKind::Url, "http://" + std::string(address)};
}

} // namespace sendwell
