// The download of a new installer. The calling thread holds the network lock while a thread of its own
// fetches the file, so no page fetch can overlap it; the file is written in 1,024-byte blocks to a
// descriptor the caller opened (and discards when the download fails).
//
// Its requests go through the program's transfer routine (core/web/transfer.h), set up for this one
// streaming GET into a file.
#pragma once

#include "core/base/connection_settings.h"
#include "core/base/outcome.h"
#include "core/base/progress.h"
#include "core/base/prompt.h"

#include <cstdint>
#include <functional>
#include <string>

namespace sendwell {

inline constexpr const char* kDownloadingUpdateText = "Downloading update ..";
inline constexpr std::size_t kDownloadBlockBytes = 1024;

struct DownloadJob {
    std::string address; // "http://" is put in front when it has neither "http://" nor "https://"
    // With useProxy the request goes through proxyName (bypass list honoured); without, it connects
    // directly and ignores any proxy of the environment.
    ConnectionSettings connection;
    int target = -1;        // open for writing, empty; the download writes from its start
    std::string vendorHost; // sent as the request's "User-Agent"
};

// Whom the download thread tells and asks; each may be null. Called on the download thread.
struct DownloadHooks {
    Progress* progress = nullptr;  // status text: "Downloading update ..", "Read n/len bytes"
    Prompt* credentials = nullptr; // asked once when the server answers 401
};

struct DownloadResult {
    // Ok: the target holds the whole answer; on failure it holds nothing to keep. A failure's text is
    // what to tell the user before the download failure itself ("Cannot open internet connection."),
    // or empty.
    Outcome outcome = Outcome::Failed({});
    std::uint64_t bytes = 0;

    bool ok() const { return outcome.ok(); }
};

// Runs work on a thread of its own and returns once it has ended; the GUI keeps its windows painting
// meanwhile.
using OffThreadRunner = std::function<void(const std::function<void()>& work)>;

// Takes the network lock, runs the download on a thread through runOffThread, releases the lock.
// Without a target nothing is downloaded.
DownloadResult DownloadFile(const DownloadJob& job, const DownloadHooks& hooks,
                            const OffThreadRunner& runOffThread);

// The download thread's work, without the lock. Only a 200 answer (after at most one 401 retry and one
// redirect to an absolute http address) is kept; an empty body, a block holding "<html>", a failed
// write, and any transfer error fail the download.
DownloadResult RunDownload(const DownloadJob& job, const DownloadHooks& hooks);

} // namespace sendwell
