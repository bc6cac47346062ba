#include "core/web/curl_support.h"

#include <atomic>
#include <cstdlib>
#include <mutex>

namespace sendwell {

namespace {

std::once_flag g_globalInit;
std::atomic<int> g_loopbackOnly{-1}; // -1: not decided yet, read from the environment
std::atomic<long> g_refusals{0};

bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

CurlEasy NewCurlHandle() {
    std::call_once(g_globalInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    return CurlEasy(curl_easy_init());
}

void AppendHeader(CurlSlist& list, const std::string& line) {
    curl_slist* grown = curl_slist_append(list.get(), line.c_str());
    if (grown != nullptr) {
        (void)list.release();
        list.reset(grown);
    }
}

std::string UrlHost(std::string_view url) {
    std::size_t schemeEnd = url.find("://");
    std::string_view rest = schemeEnd == std::string_view::npos ? url : url.substr(schemeEnd + 3);
    std::size_t end = rest.find_first_of("/?#");
    std::string_view authority = rest.substr(0, end);
    if (std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
        authority = authority.substr(at + 1);
    }
    if (StartsWith(authority, "[")) {
        std::size_t close = authority.find(']');
        return std::string(
            authority.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
    }
    std::size_t colon = authority.find(':');
    return std::string(authority.substr(0, colon));
}

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
    std::string h;
    h.reserve(host.size());
    for (char c : host) {
        h.push_back(LowerAscii(c));
    }
    if (h == "localhost" || h == "::1") {
        return true;
    }
    // 127.0.0.0/8 written as a dotted quad of digits only.
    if (!StartsWith(h, "127.")) {
        return false;
    }
    int dots = 0;
    for (char c : h) {
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
