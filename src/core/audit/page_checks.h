// The checks that one page decides on its own, run as each page arrives.
#pragma once

#include "core/audit/audit_checks.h"
#include "core/audit/page_facts.h"

#include <string_view>
#include <vector>

namespace sendwell {

// The findings of one page: what its answer says (at the address asked) and, for an HTML page, what its
// content says (at the address that answered).
std::vector<Finding> CheckPage(const PageFacts& page);

// True for a BCP 47 language with optional script and region ("en", "en-GB", "zh-Hant-TW", "es-419")
// or "x-default", in any letter case.
bool IsHreflangCode(std::string_view code);

} // namespace sendwell
