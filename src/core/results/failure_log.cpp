#include "core/results/failure_log.h"

#include <fstream>
#include <mutex>
#include <string>

namespace sendwell {

namespace {
std::mutex g_logMutex; // keeps one record's lines together should two requests fail at once
} // namespace

bool AppendFailureRecord(const std::filesystem::path& programFolder, const std::vector<std::string>& lines) {
    if (lines.empty()) {
        return true;
    }
    std::string record;
    for (const std::string& line : lines) {
        // A line break inside a value (an address typed with one) must not split the record.
        for (char c : line) {
            record.push_back(c == '\r' || c == '\n' ? ' ' : c);
        }
        record.append("\r\n");
    }
    std::lock_guard<std::mutex> lock(g_logMutex);
    std::ofstream out(FailureLogPath(programFolder), std::ios::binary | std::ios::app);
    out.write(record.data(), static_cast<std::streamsize>(record.size()));
    out.close();
    return static_cast<bool>(out);
}

} // namespace sendwell
