// Engines named on the command line.
#pragma once

#include "core/submit/engine_catalogue.h"

#include <bitset>
#include <string>
#include <vector>

namespace sendwell::cli {

// The engines the names pick (bit position - 1), each a number or a display or store name. Throws
// CommandFailure (exit 2) for a name that is no engine.
std::bitset<kEngineCount> EnginesNamed(const std::vector<std::string>& names);

} // namespace sendwell::cli
