// libcurl plumbing shared by every request of the program: one-time global initialisation, owning
// handles, header lines as libcurl's list, and what a single transfer and the concurrent fetch engine
// both set on a handle (the connection settings, each address's proxy bypass, the loopback guard) and
// read from an answer (its head, a redirect target). Only core/web sees libcurl.
#pragma once

#include "core/base/connection_settings.h"
#include "core/web/header_lines.h"
#include "core/web/http_head.h"

#include <cstddef>
#include <curl/curl.h>
#include <memory>
#include <string>
#include <string_view>

namespace sendwell {

struct CurlEasyDeleter {
    void operator()(CURL* h) const noexcept { curl_easy_cleanup(h); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;

// A fresh easy handle (global initialisation happens once, thread-safely). Null when libcurl cannot
// make one, which callers report as "cannot open the Internet connection".
CurlEasy NewCurlHandle();

// lines as libcurl's list, null for none. libcurl takes the list as non-const but only reads it.
inline curl_slist* CurlList(const HeaderLineList& lines) {
    return reinterpret_cast<curl_slist*>(const_cast<std::byte*>(lines.block()));
}

// What every request of a handle shares: http and https only, no signals, the trusted certificates and
// the user's proxy choice (see ApplyProxyBypass for each address).
void ApplyConnection(CURL* handle, const ConnectionSettings& connection);

// The proxy bypass list decided for url's host; nothing to do unless a proxy of the user's is on.
void ApplyProxyBypass(CURL* handle, const ConnectionSettings& connection, const std::string& url);

// Whether the loopback guard, when on, lets a request to url go out under connection's proxy choice.
bool GuardLets(const ConnectionSettings& connection, const std::string& url);

// The header callback (CURLOPT_HEADERFUNCTION) of a transfer whose State, given as CURLOPT_HEADERDATA,
// reads its head with a HeadReader `reader` and judges each complete head with HeadComplete(): false,
// like a head over the bound, ends the transfer.
template <class State>
std::size_t OnHeadLine(char* data, std::size_t size, std::size_t count, void* state) {
    auto* s = static_cast<State*>(state);
    const std::size_t n = size * count;
    switch (s->reader.Take(std::string_view(data, n))) {
    case HeadReader::Step::More:
        return n;
    case HeadReader::Step::TooLarge:
        return 0;
    case HeadReader::Step::Complete:
        return s->HeadComplete() ? n : 0;
    }
    return 0;
}

// target resolved against base as libcurl resolves a redirect target; "" when it cannot be.
std::string ResolveTarget(const std::string& base, const std::string& target);

} // namespace sendwell
