// The GET machinery shared by the page fetch and the status check: address completion and checking,
// proxy choice, and one easy handle that performs plain GETs with the program's fixed header block,
// a connect time-out with one retry, and the body split into lines.
#pragma once

#include "core/web/credentials_prompt.h"
#include "core/web/curl_support.h"

#include <curl/curl.h>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sendwell {

// The header lines every fetch and status check sends, exactly.
inline constexpr const char* kAcceptHeader = "Accept: text/*";
inline constexpr const char* kUserAgentHeader = "User-Agent: Microsoft Internet Explorer";

// "http://" in front of an address that does not start with "http://" or "https://" (any letter case).
std::string CompleteAddress(std::string_view address);
// True for an "https://" address.
bool IsSecureAddress(std::string_view address);
// True when url is an absolute http (or, when allowed, https) address with a host.
bool IsFetchableAddress(std::string_view url, bool allowHttps = true);

// True when host matches an entry of a proxy bypass list. Entries are separated by ";", "," or blanks;
// "*" is a wildcard for any run of characters, "<local>" matches host names without a dot, and a
// leading "http://" or "https://" of an entry is ignored. Matching ignores ASCII letter case.
bool BypassesProxy(std::string_view bypassList, std::string_view host);

// The connection settings of one fetch or check.
struct ConnectionOptions {
    bool useProxy = false;   // through proxyName; otherwise the environment's proxy variables apply
    std::string proxyName;   // "address:port"; empty with useProxy set means a direct connection
    std::string proxyBypass; // see BypassesProxy
    int connectTimeoutSeconds = 20;
    int stallTimeoutSeconds = 60; // a transfer that receives nothing for this long fails
    std::string caFile;           // trust these certificates instead of the system's (tests)
};

// The proxy a request to url may go through, for the loopback guard ("" for none).
std::string GuardProxyFor(const ConnectionOptions& options, std::string_view url);

// What one GET brought back.
struct GetResult {
    CURLcode code = CURLE_OK;       // CURLE_OK also when the transfer was ended after the head on purpose
    int status = 0;                 // status of the last complete response head; 0 when none came
    std::vector<std::string> head;  // that head's header lines, without line ends
    std::vector<std::string> lines; // body lines read (complete lines only when the transfer failed)
    std::string error;              // the library's message when code is not CURLE_OK

    bool ok() const { return code == CURLE_OK; }
    // Value of the first header line named name (ASCII case-insensitive), blanks trimmed.
    std::optional<std::string> Header(std::string_view name) const;
};

// One easy handle that performs GETs. The handle is configured once; each Get may go to a new address.
class HttpGetter {
public:
    // Decides, for a complete final response head, whether to end the transfer without the body.
    using StopAfterHead = std::function<bool(int status)>;

    HttpGetter(CURL* handle, ConnectionOptions options);
    HttpGetter(const HttpGetter&) = delete;
    HttpGetter& operator=(const HttpGetter&) = delete;

    // GET url (checked by the loopback guard first). When the connection cannot be made, one more
    // attempt follows after a one-second pause.
    GetResult Get(const std::string& url, const StopAfterHead& stopAfterHead = {});

    // Credentials for the following requests, with the scheme chosen from a 401 head's challenge.
    void SetCredentials(const Credentials& credentials, const std::vector<std::string>& challengeHead);
    void ClearCredentials();

private:
    struct Transfer;
    static size_t OnHeader(char* data, size_t size, size_t count, void* transfer);
    static size_t OnBody(char* data, size_t size, size_t count, void* transfer);

    GetResult PerformOnce(const std::string& url, const StopAfterHead& stopAfterHead, bool& connectFailed);

    CURL* handle_;
    ConnectionOptions options_;
    CurlSlist headers_;
    char errorBuffer_[CURL_ERROR_SIZE] = {};
};

// The realm of a 401 head's challenge ("" when none is named).
std::string ChallengeRealm(const std::vector<std::string>& head);

} // namespace sendwell
