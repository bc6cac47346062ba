#include "core/upgrade/upgrade_page.h"

#include "core/upgrade/upgrade_signature.h"

#include <charconv>
#include <cstddef>
#include <optional>

namespace sendwell {

namespace {

bool Contains(std::string_view line, std::string_view marker) {
    return line.find(marker) != std::string_view::npos;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

float LeadingVersionNumber(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) {
        ++at;
    }
    std::size_t end = at;
    while (end < text.size() && IsDigit(text[end])) {
        ++end;
    }
    if (end < text.size() && text[end] == '.') {
        ++end;
        while (end < text.size() && IsDigit(text[end])) {
            ++end;
        }
    }
    float value = 0;
    auto [ptr, ec] = std::from_chars(text.data() + at, text.data() + end, value, std::chars_format::fixed);
    (void)ptr;
    // No digits, or more than a float holds: no version number.
    return ec == std::errc() ? value : 0.0f;
}

void ReadUpgradePage(const std::vector<std::string>& lines, UpgradeAnnouncement& announced) {
    // A signature belongs to the link of its own page, whichever of the two comes first.
    std::optional<std::string> pageLink;
    std::string pageSignature;

    const std::size_t count = lines.size();
    std::size_t i = 0;
    while (i < count) {
        const std::string& line = lines[i++];
        if (Contains(line, kVersionMarker)) {
            if (i == count) {
                break;
            }
            announced.version = LeadingVersionNumber(lines[i++]);
        } else if (Contains(line, kDescriptionMarker)) {
            if (Contains(line, kDescriptionEndMarker)) {
                continue;
            }
            while (i < count) {
                const std::string& part = lines[i++];
                if (Contains(part, kDescriptionEndMarker)) {
                    break;
                }
                announced.description += part;
            }
        } else if (Contains(line, kDownloadLinkMarker)) {
            if (i == count) {
                break;
            }
            pageLink = lines[i++];
        } else if (Contains(line, kSignatureMarker)) {
            if (i == count) {
                break;
            }
            std::optional<std::string> signature = DecodeBase64(lines[i++]);
            pageSignature = signature && signature->size() == kSignatureBytes ? std::move(*signature) : "";
        }
    }
    if (pageLink) {
        announced.link = std::move(*pageLink);
        announced.signature = std::move(pageSignature);
    }
}

} // namespace sendwell
