// Handing an address to the desktop: which kind of target an address names, and the texts for the
// ways opening can fail.
#pragma once

#include <string>
#include <string_view>

namespace sendwell {

// Failure codes of an open request: the ways handing an address to the desktop fails here. The
// numbering is the one the link error texts are keyed by.
inline constexpr int kOpenFileNotFound = 2;   // no such local file, or no address to open
inline constexpr int kOpenAccessDenied = 5;   // a web address while only loopback is allowed
inline constexpr int kOpenNoAssociation = 31; // the desktop has no program for it

// What a failed open shows: "Can't open link:\n\n" and the message for code ("Unknown Error (n)
// occurred." for a code without one).
std::string OpenFailureText(int code);

enum class OpenTargetKind {
    None,      // nothing to open
    Url,       // text is an absolute URL
    LocalFile, // text is a path on this machine
};

struct OpenTarget {
    OpenTargetKind kind = OpenTargetKind::None;
    std::string text;
    bool operator==(const OpenTarget&) const = default;
};

// The target an address stands for: a URL with a scheme as it is, an absolute path as a local file,
// a bare e-mail address as a mail address ("mailto:"), anything else as a web address ("http://").
OpenTarget OpenTargetFor(std::string_view address);

} // namespace sendwell
