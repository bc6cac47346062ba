#include "core/web/curl_support.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
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

HeaderLineList::HeaderLineList(const std::vector<std::string>& lines) {
    if (lines.empty()) {
        return;
    }
    std::size_t bytes = 0;
    for (const std::string& line : lines) {
        bytes += line.size() + 1;
    }
    text_ = std::make_unique_for_overwrite<char[]>(bytes);
    nodes_.resize(lines.size());
    char* at = text_.get();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        // As a C string, the way libcurl reads it: a line holding NUL ends there.
        const std::string& line = lines[i];
        std::memcpy(at, line.data(), line.size());
        at[line.size()] = '\0';
        nodes_[i].data = at;
        nodes_[i].next = i + 1 < lines.size() ? &nodes_[i + 1] : nullptr;
        at += line.size() + 1;
    }
}

std::string UrlHost(std::string_view url) {
    std::size_t schemeEnd = url.find("://");
    std::string_view rest = schemeEnd == std::string_view::npos ? url : url.substr(schemeEnd + 3);
    // A plain loop: find_first_of looks each character up in the set with a call of its own.
    const auto end =
        std::find_if(rest.begin(), rest.end(), [](char c) { return c == '/' || c == '?' || c == '#'; });
    std::string_view authority = rest.substr(0, static_cast<std::size_t>(end - rest.begin()));
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
    auto is = [&](std::string_view name) {
        return host.size() == name.size() && std::equal(host.begin(), host.end(), name.begin(),
                                                        [](char a, char b) { return LowerAscii(a) == b; });
    };
    if (is("localhost") || host == "::1") {
        return true;
    }
    // 127.0.0.0/8 written as a dotted quad of digits only.
    if (!StartsWith(host, "127.")) {
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
