// The network lock: one process-wide mutex that lets a single page fetch or upgrade download use the
// network at a time. Every page fetch holds it for its whole duration; the upgrade download holds it
// from the thread that starts the download until the download thread reports that it is done.
// It is never taken recursively.
#pragma once

#include <mutex>

namespace sendwell {

std::mutex& NetworkLock();

} // namespace sendwell
