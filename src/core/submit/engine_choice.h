// Engines named by the user: by catalogue number or by name, as a command line takes them.
#pragma once

#include "core/submit/engine_catalogue.h"

#include <string_view>

namespace sendwell {

// The engine a text names: its position "1".."26", or its display or store name compared without
// regard to letter case and spaces ("Scrub The Web", "scrubtheweb", "ScrubTheWeb"). Null when none.
const EngineEntry* FindEngine(std::string_view nameOrNumber);

} // namespace sendwell
