#include "core/web/loopback_guard.h"

#include "core/base/ascii_case.h"
#include "core/web/url_parts.h"

#include <atomic>
#include <cstdlib>

namespace sendwell {

namespace {

std::atomic<int> g_loopbackOnly{-1}; // -1: not decided yet, read from the environment
std::atomic<long> g_refusals{0};

} // namespace

bool LoopbackOnly() {
    int v = g_loopbackOnly.load();
    if (v < 0) {
        const char* env = std::getenv("SENDWELL_LOOPBACK_ONLY");
        v = (env != nullptr && std::string_view(env) == "1") ? 1 : 0;
        int expected = -1;
        g_loopbackOnly.compare_exchange_strong(expected, v);
        v = g_loopbackOnly.load();
    }
    return v == 1;
}

void SetLoopbackOnly(bool on) {
    g_loopbackOnly.store(on ? 1 : 0);
}

bool IsLoopbackHost(std::string_view host) {
    if (AsciiEqualNoCase(host, "localhost") || host == "::1") {
        return true;
    }
    // 127.0.0.0/8 written as a dotted quad of digits only.
    if (!host.starts_with("127.")) {
        return false;
    }
    int dots = 0;
    for (char c : host) {
        if (c == '.') {
            ++dots;
        } else if (c < '0' || c > '9') {
            return false;
        }
    }
    return dots == 3;
}

bool GuardAllows(std::string_view url, std::string_view proxy) {
    if (!LoopbackOnly()) {
        return true;
    }
    bool ok = IsLoopbackHost(UrlHost(url)) && (proxy.empty() || IsLoopbackHost(UrlHost(proxy)));
    if (!ok) {
        g_refusals.fetch_add(1);
    }
    return ok;
}

long GuardRefusals() {
    return g_refusals.load();
}

} // namespace sendwell
