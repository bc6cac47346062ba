#include "core/submit/submit_commands.h"

#include "core/base/program_settings.h"

#include <algorithm>

namespace sendwell {

EmailCheck CheckSubmitEmail(std::string_view email) {
    if (email.empty()) {
        return EmailCheck::Empty;
    }
    if (email.find('@') == std::string_view::npos) {
        return EmailCheck::NoAt;
    }
    return EmailCheck::Ok;
}

std::string InvalidEmailText() {
    return std::string("Please enter a valid email address, in the form ") + kExampleEmail;
}

bool FirstTimeNoticeDue() {
    return !ProgramSettings().FirewallTipShown();
}

void RecordFirstTimeNoticeShown() {
    ProgramSettings::SetFirewallTipShown();
}

std::vector<std::string> AllAddresses(const UrlDatabase& db) {
    std::vector<std::string> out;
    out.reserve(db.recordCount());
    for (std::size_t r = 0; r < db.recordCount(); ++r) {
        out.emplace_back(db.Url(r));
    }
    return out;
}

std::vector<std::string> AddressesOfRows(const UrlDatabase& db, std::vector<std::size_t> rows) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::vector<std::string> out;
    out.reserve(rows.size());
    for (std::size_t r : rows) {
        if (r < db.recordCount()) {
            out.emplace_back(db.Url(r));
        }
    }
    return out;
}

} // namespace sendwell
