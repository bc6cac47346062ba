// The address the research commands start from: the "Web URL" of the last selected row.
#pragma once

#include "core/urldb/url_database.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

namespace sendwell {

// The selected row lowest in the list; "" when no row is selected.
inline std::string LastSelectedAddress(const UrlDatabase& db, const std::vector<std::size_t>& selected) {
    if (selected.empty()) {
        return {};
    }
    const std::size_t last = *std::max_element(selected.begin(), selected.end());
    return last < db.recordCount() ? db.rows()[last].url : std::string();
}

} // namespace sendwell
