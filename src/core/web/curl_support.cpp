#include "core/web/curl_support.h"

#include "core/web/loopback_guard.h"
#include "core/web/proxy_rules.h"
#include "core/web/url_parts.h"

#include <mutex>

namespace sendwell {

namespace {

std::once_flag g_globalInit;

struct CurlUrlDeleter {
    void operator()(CURLU* u) const noexcept { curl_url_cleanup(u); }
};

} // namespace

CurlEasy NewCurlHandle() {
    std::call_once(g_globalInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    return CurlEasy(curl_easy_init());
}

void ApplyConnection(CURL* h, const ConnectionSettings& connection) {
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    if (!connection.caFile.empty()) {
        curl_easy_setopt(h, CURLOPT_CAINFO, connection.caFile.c_str());
    }
    if (connection.useProxy) {
        // An empty proxy name means no proxy at all, not the environment's.
        curl_easy_setopt(h, CURLOPT_PROXY, connection.proxyName.c_str());
    }
}

void ApplyProxyBypass(CURL* h, const ConnectionSettings& connection, const std::string& url) {
    if (!connection.useProxy) {
        return;
    }
    // The bypass list is ours, decided for each address; libcurl's own list knows neither "<local>"
    // nor wildcards.
    std::string host = UrlHost(url);
    std::string noProxy = BypassesProxy(connection.proxyBypass, host) ? host : std::string();
    curl_easy_setopt(h, CURLOPT_NOPROXY, noProxy.c_str());
}

bool GuardLets(const ConnectionSettings& connection, const std::string& url) {
    return !LoopbackOnly() || GuardAllows(url, GuardProxyFor(connection, url));
}

std::string ResolveTarget(const std::string& base, const std::string& target) {
    std::call_once(g_globalInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    std::unique_ptr<CURLU, CurlUrlDeleter> u(curl_url());
    char* text = nullptr;
    if (!u || curl_url_set(u.get(), CURLUPART_URL, base.c_str(), 0) != CURLUE_OK ||
        curl_url_set(u.get(), CURLUPART_URL, target.c_str(), CURLU_ALLOW_SPACE) != CURLUE_OK ||
        curl_url_get(u.get(), CURLUPART_URL, &text, 0) != CURLUE_OK || text == nullptr) {
        return {};
    }
    std::string out(text);
    curl_free(text);
    return out;
}

} // namespace sendwell
