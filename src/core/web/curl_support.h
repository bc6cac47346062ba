// libcurl plumbing shared by every request of the program: one-time global initialisation, owning
// handles, URL host extraction and the loopback-only guard that tests and demos switch on.
#pragma once

#include <cstddef>
#include <curl/curl.h>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sendwell {

struct CurlEasyDeleter {
    void operator()(CURL* h) const noexcept { curl_easy_cleanup(h); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;

// Header lines as libcurl's list. libcurl only walks a list it is handed, so the nodes and the text lie in
// one block rather than in two allocations per line, as curl_slist_append would make them.
class HeaderLineList {
public:
    HeaderLineList() = default;
    HeaderLineList(std::initializer_list<std::string_view> lines);
    HeaderLineList(const std::vector<std::string>& lines);
    HeaderLineList(const HeaderLineList& other);
    HeaderLineList& operator=(const HeaderLineList& other);
    HeaderLineList(HeaderLineList&& other) noexcept;
    HeaderLineList& operator=(HeaderLineList&& other) noexcept;
    ~HeaderLineList();

    // Null for no lines. libcurl takes the list as non-const but only reads it.
    curl_slist* get() const { return first_; }
    std::vector<std::string_view> lines() const;

private:
    template <typename Lines>
    void Lay(const Lines& lines);

    std::unique_ptr<std::byte[]> block_; // the nodes, then every line ending in NUL
    curl_slist* first_ = nullptr;
};

// A fresh easy handle (global initialisation happens once, thread-safely). Null when libcurl cannot
// make one, which callers report as "cannot open the Internet connection".
CurlEasy NewCurlHandle();

// The host part of an absolute URL ("http://h:1/x" -> "h"), without brackets for IPv6; "" if none.
std::string UrlHost(std::string_view url);

// Loopback-only guard. When on (environment SENDWELL_LOOPBACK_ONLY=1, or SetLoopbackOnly(true)),
// every request whose host is not 127.0.0.0/8, ::1 or localhost is refused before any name lookup.
bool LoopbackOnly();
void SetLoopbackOnly(bool on);
bool IsLoopbackHost(std::string_view host);
// True when the guard lets a request to url (or through the given proxy) go out. A refusal is counted.
bool GuardAllows(std::string_view url, std::string_view proxy = {});
// How many requests the guard has refused in this process; tests fail when it is not zero.
long GuardRefusals();
// The error text for a refused request.
inline constexpr const char* kGuardRefusedText = "Refused: outside host while loopback-only is set";

} // namespace sendwell
