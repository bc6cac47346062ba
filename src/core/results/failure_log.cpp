#include "core/results/failure_log.h"

#include <atomic>
#include <fstream>
#include <mutex>
#include <string>

namespace sendwell {

namespace {
std::mutex g_logMutex; // keeps one record's lines together should two requests fail at once
std::atomic<std::uint64_t> g_records{0};
} // namespace

bool AppendFailureRecord(const std::filesystem::path& programFolder,
                         std::initializer_list<std::string_view> lines) {
    g_records.fetch_add(1);
    std::string record;
    for (std::string_view line : lines) {
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

std::uint64_t FailureRecordCount() {
    return g_records.load();
}

} // namespace sendwell
