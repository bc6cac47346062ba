// A finished site audit into the run history: an audit run, each page fetched as one of its requests,
// the number of findings per check and severity, and the findings themselves up to the retention's
// bound.
#pragma once

#include "core/audit/site_audit.h"
#include "core/base/outcome.h"
#include "core/history/history_store.h"

#include <filesystem>

namespace sendwell {

// historyFile "": beside the database. A failed outcome says "The history could not be written: ...";
// the audit and its report stand regardless.
Outcome RecordAudit(const AuditReport& report, const std::filesystem::path& historyFile = {},
                    const Retention& retention = {});

} // namespace sendwell
