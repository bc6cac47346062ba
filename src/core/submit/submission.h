// One submission request: sends a request address built by the engine catalogue to its engine, stores
// the answer in its answer file (scripts disabled, error-looking pages replaced by a short notice) and
// returns how it went: the result text for the progress window and, when it failed, the failure log
// record the run writes for it.
#pragma once

#include "core/base/connection_settings.h"
#include "core/base/outcome.h"
#include "core/submit/engine_catalogue.h"
#include "core/web/transfer.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace sendwell {

class Progress;

// Result texts besides "OK" and the network library's own messages.
inline constexpr std::string_view kResultOk = "OK";
inline constexpr std::string_view kResultNoSession = "Session = NULL";

// Buffer-size values above this are logged as this.
inline constexpr int kMaxLoggedBufSize = 15000;
// Longest error text returned and logged.
inline constexpr std::size_t kMaxErrorText = 10000;

// Bounds of one request. The connect time-out maps to libcurl's connect time-out. The send and the two
// receive time-outs have no direct libcurl counterpart; they become a low-speed limit (less than one
// byte per second for the longest of them, rounded up to whole seconds, at least one) that ends a
// request whose server stops sending or stops taking data. A connection that fails or times out before
// it is made is tried once more after the back-off. Every request ends after the total time, and its
// answer is cut at maxAnswerBytes. Once the run's stop flag is set, a request still going after the
// cancel grace is ended as cancelled.
struct SubmissionTimeouts {
    std::chrono::milliseconds connect{10000};
    std::chrono::milliseconds send{10000};
    std::chrono::milliseconds receive{10000};
    std::chrono::milliseconds dataReceive{10000};
    std::chrono::milliseconds connectBackoff{1000};
    int connectRetries = 1;
    std::chrono::milliseconds total{60000};
    std::uint64_t maxAnswerBytes = 10485760;
    std::chrono::milliseconds cancelGrace{5000};
};

// What stays the same for every request of a run.
struct SubmissionContext {
    std::filesystem::path programFolder; // where msg_dump.txt lives
    // The proxy applies to plain requests only, form posts take the environment's; bufSize is only
    // logged.
    ConnectionSettings connection;
    Progress* status = nullptr; // progress texts; may be null
    SubmissionTimeouts timeouts;
    const std::atomic<bool>* stop = nullptr; // the run's stop flag; may be null
};

struct SubmissionRequest {
    std::string address;     // the request address as built; logged, and split for a form post
    std::string wireAddress; // what is sent when it differs (spaces of fixed pieces encoded); "" = address
    SubmitMethod method = SubmitMethod::Plain;
    std::string answerFile;
    std::string referrer;         // plain requests; "" means the site root of the address
    std::string extraObjectQuery; // form posts; appended to the object path as "?" + text when not empty
};

// The header lines a submission sends, exactly: a plain request with its Referer, a form post, and the
// GET a redirect turns a form post into. "Name:" takes away a line libcurl would add.
HeaderLineList PlainSubmissionHeaders(std::string_view referrer);
HeaderLineList FormPostHeaders();
HeaderLineList FormRedirectHeaders();

// A request for one engine of the catalogue, to be stored in answerFile.
SubmissionRequest MakeSubmissionRequest(EngineRequest engineRequest, std::string answerFile);

// Sends one request. The outcome's text is the result text: "OK", "Session = NULL", the library's or
// the file system's error message for a failed plain request, and "" for every form post. A failed
// request other than "Session = NULL" carries its failure log record; a cancelled one too.
Outcome SendSubmission(const SubmissionRequest& request, const SubmissionContext& context);

// Posts body as a form to host:port + objectPath (+ "?" + extraObjectQuery), or GETs it when body is
// empty, and hands the answer to sink. Up to five redirects are followed (301, 302 and 303 as a GET
// without the body); the final answer is the one handed over, its HTTP status (0 when none was
// obtained) in the outcome. A failure carries a three-line record (host and objectPath).
Outcome PostForm(const std::string& host, int port, const std::string& objectPath,
                 const std::string& extraObjectQuery, const std::string& body, BodySink& sink,
                 const SubmissionContext& context);

} // namespace sendwell
