// The bulk status check as the front ends run it: every row also goes into the run history.
#pragma once

#include "core/web/status_run.h"

#include <filesystem>
#include <string>

namespace sendwell {

struct RecordedStatusCheck {
    StatusRunSummary summary;
    // "The history could not be written: ..." when the run could not be recorded; the check went on.
    std::string historyError;
};

// RunStatusCheck, recorded as a status run in historyFile ("": beside the database).
RecordedStatusCheck
RunRecordedStatusCheck(const std::vector<std::string>& addresses, const StatusRunSetup& setup,
                       const std::function<void(std::size_t index, StatusRow&& row)>& onRow,
                       const std::filesystem::path& historyFile = {});

} // namespace sendwell
