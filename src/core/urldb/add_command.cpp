#include "core/urldb/add_command.h"

namespace sendwell {

AddOutcome CheckAddText(std::string_view addressText) {
    // Characters, not bytes: the text is UTF-8, and continuation bytes are no characters of their own.
    std::size_t characters = 0;
    for (char c : addressText) {
        characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    }
    if (characters <= 2) {
        return AddOutcome::Nothing;
    }
    if (addressText.find('.') == std::string_view::npos) {
        return AddOutcome::InvalidUrl;
    }
    return AddOutcome::Appended;
}

AddOutcome AddCommand(UrlDatabase& db, std::string_view addressText) {
    const AddOutcome outcome = CheckAddText(addressText);
    if (outcome != AddOutcome::Appended) {
        return outcome;
    }
    if (addressText.front() == '#') {
        addressText.remove_prefix(1);
    }
    db.AppendUrl(addressText);
    return AddOutcome::Appended;
}

} // namespace sendwell
