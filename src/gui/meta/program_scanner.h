// The program's one meta scanner. Its half-matched state carries from page to page for the whole run,
// shared by the analysis, the keyword suggestion and the meta-tag writer. UI thread only.
#pragma once

#include "core/meta/meta_scanner.h"

namespace sendwell::gui {

// Made on first use, kept until the program ends.
sendwell::MetaScanner& ProgramMetaScanner();

} // namespace sendwell::gui
