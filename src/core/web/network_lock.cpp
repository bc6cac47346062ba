#include "core/web/network_lock.h"

namespace sendwell {

std::mutex& NetworkLock() {
    // Never destroyed: a fetch on a thread that outlives main must still find it.
    static std::mutex* lock = new std::mutex;
    return *lock;
}

} // namespace sendwell
