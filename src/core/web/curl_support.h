// libcurl plumbing shared by every request of the program: one-time global initialisation, owning
// handles, and header lines as libcurl's list. Only core/web sees libcurl.
#pragma once

#include "core/web/header_lines.h"

#include <curl/curl.h>
#include <memory>

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

} // namespace sendwell
