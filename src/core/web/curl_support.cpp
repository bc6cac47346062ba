#include "core/web/curl_support.h"

#include <mutex>

namespace sendwell {

namespace {

std::once_flag g_globalInit;

} // namespace

CurlEasy NewCurlHandle() {
    std::call_once(g_globalInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    return CurlEasy(curl_easy_init());
}

} // namespace sendwell
