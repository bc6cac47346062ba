// The vendor's upgrade page: an HTML page whose comment markers announce the newest version, what is
// new in it, where its installer is, and (optionally) the installer's signature.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sendwell {

// Markers, found anywhere inside a line, case-sensitively.
inline constexpr std::string_view kVersionMarker = "<!-- UPGRADE Version";
inline constexpr std::string_view kDescriptionMarker = "<!-- UPGRADE Description";
inline constexpr std::string_view kDescriptionEndMarker = "END UPGRADE Description";
inline constexpr std::string_view kDownloadLinkMarker = "<!-- UPGRADE Download Link";
// The next line holds the installer's Ed25519 signature in base64. Without it the signature is
// fetched from beside the installer ("<link>.sig").
inline constexpr std::string_view kSignatureMarker = "<!-- UPGRADE Signature";

// What the pages of one program run have announced. A page without a version or a link leaves the
// earlier value; the signature belongs to the link it was announced with.
struct UpgradeAnnouncement {
    float version = 0;       // 0 until a page has named one
    std::string description; // this check's only: the caller empties it before each check
    std::string link;
    std::string signature; // its 64 bytes, "" when the link's page named no (well-formed) signature
};

// Reads the page's lines into what has been announced so far.
void ReadUpgradePage(const std::vector<std::string>& lines, UpgradeAnnouncement& announced);

// The leading decimal number of a version line: blanks skipped, digits with an optional decimal point
// and fraction; 0 when the line does not start with a number.
float LeadingVersionNumber(std::string_view text);

} // namespace sendwell
