// The address the research commands start from: the "Web URL" of the last selected row.
#pragma once

#include "core/urldb/url_database.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

namespace sendwell {

// The lowest selected row's address in list order; "" when no row is selected.
inline std::string LastSelectedAddress(const std::vector<UrlRecord>& rows,
                                       const std::vector<std::size_t>& selected) {
    if (selected.empty()) {
        return {};
    }
    const std::size_t last = *std::max_element(selected.begin(), selected.end());
    return last < rows.size() ? rows[last].url : std::string();
}

} // namespace sendwell
