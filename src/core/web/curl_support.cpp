#include "core/web/curl_support.h"

#include "core/base/ascii_case.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>

namespace sendwell {

namespace {

std::once_flag g_globalInit;
std::atomic<int> g_loopbackOnly{-1}; // -1: not decided yet, read from the environment
std::atomic<long> g_refusals{0};

bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

CurlEasy NewCurlHandle() {
    std::call_once(g_globalInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    return CurlEasy(curl_easy_init());
}

template <typename Lines>
void HeaderLineList::Lay(const Lines& lines) {
    block_.reset();
    first_ = nullptr;
    if (lines.size() == 0) {
        return;
    }
    std::size_t text = 0;
    for (std::string_view line : lines) {
        text += line.size() + 1;
    }
    const std::size_t count = lines.size();
    block_ = std::make_unique_for_overwrite<std::byte[]>(count * sizeof(curl_slist) + text);
    auto* nodes = reinterpret_cast<curl_slist*>(block_.get()); // new[] memory suits any object
    char* at = reinterpret_cast<char*>(block_.get() + count * sizeof(curl_slist));
    std::size_t i = 0;
    for (std::string_view line : lines) {
        // As a C string, the way libcurl reads it: a line holding NUL ends there.
        std::memcpy(at, line.data(), line.size());
        at[line.size()] = '\0';
        ::new (&nodes[i]) curl_slist{at, i + 1 < count ? &nodes[i + 1] : nullptr};
        at += line.size() + 1;
        ++i;
    }
    first_ = nodes;
}

HeaderLineList::HeaderLineList(std::initializer_list<std::string_view> lines) {
    Lay(lines);
}

HeaderLineList::HeaderLineList(const std::vector<std::string>& lines) {
    Lay(lines);
}

HeaderLineList::HeaderLineList(const HeaderLineList& other) {
    Lay(other.lines());
}

HeaderLineList& HeaderLineList::operator=(const HeaderLineList& other) {
    if (this != &other) {
        Lay(other.lines());
    }
    return *this;
}

HeaderLineList::HeaderLineList(HeaderLineList&& other) noexcept
    : block_(std::move(other.block_)), first_(std::exchange(other.first_, nullptr)) {}

HeaderLineList& HeaderLineList::operator=(HeaderLineList&& other) noexcept {
    block_ = std::move(other.block_);
    first_ = std::exchange(other.first_, nullptr);
    return *this;
}

HeaderLineList::~HeaderLineList() = default;

std::vector<std::string_view> HeaderLineList::lines() const {
    std::vector<std::string_view> out;
    for (const curl_slist* node = first_; node != nullptr; node = node->next) {
        out.emplace_back(node->data);
    }
    return out;
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
    if (AsciiEqualNoCase(host, "localhost") || host == "::1") {
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
