// The one way the program talks HTTP: an HttpTransfer owns one easy handle, set up once by its caller
// (header lines, connection settings, limits, HTTP version, which redirects to follow, where the
// library's progress texts go), and sends requests on it. Every request passes the loopback guard,
// chooses its proxy by the caller's settings, tries a connection that could not be made again after a
// pause, and follows redirects as the caller's rule says. The page fetch, the status check, both
// submission paths and the installer download are configurations of it.
#pragma once

#include "core/base/connection_settings.h"
#include "core/base/prompt.h"
#include "core/web/header_lines.h"
#include "core/web/http_head.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sendwell {

class Progress;
class StatusSession;

// Receives a response body as it arrives. Returning false ends the request; failureText() says why.
class BodySink {
public:
    virtual ~BodySink() = default;
    // Sees each complete head whose body comes here, before that body (a body-less answer too).
    virtual bool Begin(int /*status*/, const std::vector<std::string>& /*head*/) { return true; }
    virtual bool Write(std::string_view bytes) = 0;
    virtual std::string failureText() const { return {}; }
};

// Keeps a whole body as text, for the short answers of an endpoint or a key file; the request's body
// bound keeps it small.
class TextSink final : public BodySink {
public:
    bool Write(std::string_view bytes) override {
        text.append(bytes);
        return true;
    }
    std::string text;
};

// The time a request may take in all unless its caller says otherwise.
inline constexpr std::chrono::milliseconds kDefaultRequestTime{60000};

// Bounds of each request of a transfer. The defaults are the page fetch's.
struct TransferLimits {
    std::chrono::milliseconds connect{20000};
    std::chrono::seconds stall{60}; // less than one byte a second for this long ends a request
    std::chrono::milliseconds connectBackoff{1000};
    int connectRetries = 1; // a connection that could not be made is tried this many times more
    // A request still going after this long ends, so a server trickling bytes cannot hold a caller
    // for ever; the default is that of "i_RequestTimeout". 0: no bound.
    std::chrono::milliseconds total{kDefaultRequestTime};
    std::uint64_t maxBody = 0; // answer bytes handed to the sink at most; 0: no bound
    // With a stop flag, a request still going this long after the flag was first seen is ended: one
    // that finishes in time completes, a server that never does cannot hold a cancel up.
    std::chrono::milliseconds cancelGrace{5000};
};

// Failure texts of requests ended by the transfer's own bounds.
inline constexpr std::string_view kCancelledText = "The request was cancelled.";
inline constexpr std::string_view kHeadTooLargeText = "answer header too large";
// "The answer was cut after <n> bytes."
std::string AnswerCutText(std::uint64_t bytes);

// Which redirects a transfer follows by itself. The body of a redirect that is followed never reaches
// the sink; a 301, 302 or 303 turns a POST into a GET without its body.
struct RedirectRule {
    int limit = 0;                 // redirects followed at most; 0: every answer is final
    bool alsoTemporary = true;     // 307 and 308 are followed too, repeating the request as it was
    bool absoluteHttpOnly = false; // the target must be an absolute http address, else the answer is refused
    // A redirect that would be followed but for the limit fails the request ("Maximum (<limit>)
    // redirects followed") instead of being the answer: a server sending us in circles has not answered.
    bool failPastLimit = false;

    // Every answer is final.
    static RedirectRule None() { return {}; }
    // As a browser does: 301, 302, 303, 307 and 308, relative targets resolved, up to limit in a row.
    static RedirectRule Browser(int limit) { return {limit, true, false}; }
    // As Browser, and one redirect more is a failure.
    static RedirectRule BrowserFailingPastLimit(int limit) { return {limit, true, false, true}; }
    // One 301, 302 or 303 to an absolute http address; any other target refuses the answer.
    static RedirectRule OnceToHttp() { return {1, false, true}; }
};

// The HTTP version every request of a transfer speaks.
enum class HttpVersion {
    Default, // the library's choice
    Http10,
    Http11,
};

// How a transfer is set up. Header lines go out exactly: "Name:" takes away a header libcurl would add.
struct TransferSetup {
    ConnectionSettings connection; // proxy choice and trusted certificates; bufSize plays no part
    TransferLimits limits;
    HeaderLineList getHeaders;  // lines of every GET
    HeaderLineList postHeaders; // lines of every POST
    HttpVersion httpVersion = HttpVersion::Default;
    bool pathAsIs = false; // send "/./" and "/../" as typed
    RedirectRule redirects;
    Progress* progress = nullptr; // the library's progress texts ("Resolving name for ...") go here
    const std::atomic<bool>* stop = nullptr; // set by another thread to cancel (see cancelGrace)
};

// Decides, for a complete final head, whether to end the request without reading its body. redirects
// is how many redirects were followed to reach that answer.
using StopAfterHead = std::function<bool(int status, int redirects)>;

struct TransferRequest {
    std::string url;
    std::optional<std::string> postBody; // POST this body; none: GET
    BodySink* sink = nullptr;            // none: the body is read and dropped
    StopAfterHead stopAfterHead;
    // Sent with the first request only, never across a redirect; Digest when the 401 head of challenge
    // asks for it, else Basic.
    const Credentials* credentials = nullptr;
    std::vector<std::string> challenge;
};

struct TransferResult {
    // libcurl's result code: 0 when the request went through, also when it was ended after the head on
    // purpose.
    int code = 0;
    // Why it failed: the sink's failure text, an address that cannot be sent, the guard's refusal or
    // the library's own message.
    std::string error;
    int status = 0;                // status of the last complete head; 0 when none came
    std::vector<std::string> head; // that head's lines, without line ends
    int redirects = 0;             // redirects followed
    bool redirectRefused = false;  // the answer is a redirect whose target the rule does not allow
    bool cancelled = false;        // the stop flag ended it (error is kCancelledText)

    bool ok() const { return code == 0; }
    // Value of the first header line named name (ASCII case-insensitive), blanks trimmed.
    std::optional<std::string> Header(std::string_view name) const;
};

class HttpTransfer {
public:
    explicit HttpTransfer(TransferSetup setup);
    ~HttpTransfer();
    HttpTransfer(const HttpTransfer&) = delete;
    HttpTransfer& operator=(const HttpTransfer&) = delete;

    // False when libcurl could not make a handle: nothing can be sent.
    bool ready() const { return handle_ != nullptr; }

    // Sends request and the redirects the rule follows; the result describes the last answer.
    TransferResult Perform(const TransferRequest& request);

private:
    struct HandleCloser {
        void operator()(void* handle) const noexcept;
    };

    TransferSetup setup_;
    std::array<char, 256> errorBuffer_{}; // the library's message for the last request
    std::unique_ptr<void, HandleCloser> handle_;
    std::unique_ptr<StatusSession> session_; // after the handle: it detaches before the handle goes
};

// libcurl refuses a request line holding a space or a control character with a bare "bad format"
// message; this says plainly what is wrong ("The <what> cannot be sent: ..."). "" when text can be sent.
std::string UnsendableText(std::string_view what, std::string_view text);

} // namespace sendwell
