// Progress texts of a request ("Resolving name for ...", "Request sent", ...), produced from libcurl's
// callbacks on one easy handle and delivered to a Progress such as the progress window's status line.
#pragma once

#include "core/base/progress.h"

#include <atomic>
#include <curl/curl.h>
#include <optional>
#include <string>
#include <string_view>

namespace sendwell {

// Status codes of a request's life, numbered as the status texts below know them.
enum InternetStatus : unsigned long {
    kStatusResolvingName = 10,
    kStatusNameResolved = 11,
    kStatusConnectingToServer = 20,
    kStatusConnectedToServer = 21,
    kStatusSendingRequest = 30,
    kStatusRequestSent = 31,
    kStatusReceivingResponse = 40,
    kStatusResponseReceived = 41,
    kStatusClosingConnection = 50,
    kStatusConnectionClosed = 51,
    kStatusHandleCreated = 60,
    kStatusHandleClosing = 70,
    kStatusRequestComplete = 100,
};

// The text for a status, or none when the status line keeps its current text (40, 70).
// info is the status information: the host name for 10 and 11, up to its first NUL.
std::optional<std::string> FormatStatusText(unsigned long code, std::string_view info = {});

// Reports the progress of the requests made on one easy handle.
//
//     auto handle = NewCurlHandle();
//     StatusSession session(sink);
//     session.Attach(handle.get());
//     ... set the request's options, curl_easy_perform ...
//
// Attach claims these options of the handle: CURLOPT_RESOLVER_START_FUNCTION, CURLOPT_OPENSOCKETFUNCTION,
// CURLOPT_CLOSESOCKETFUNCTION, CURLOPT_PREREQFUNCTION, CURLOPT_XFERINFOFUNCTION (with CURLOPT_NOPROGRESS
// off) and their data pointers, and CURLOPT_FORBID_REUSE (on); the write and header callbacks stay the
// caller's. A caller that needs the transfer-progress callback for itself sets its own after Attach and
// calls Progress() from it.
// libcurl copies the close-socket callback and this session's address into every connection it makes,
// and only a connection's close can call back after its transfer has ended. So every connection made
// while attached is closed at the end of its own transfer ("Closing the connection ..." is reported
// then), and none is left in libcurl's cache to be closed after the session is gone. Don't combine a
// session with CURLOPT_CONNECT_ONLY or connection-bound authentication (NTLM, Negotiate), which keep
// connections regardless.
// The handle must outlive the session (make it first): the destructor detaches, which sets options on
// the handle. Texts are delivered on the thread that performs the request.
class StatusSession {
public:
    explicit StatusSession(sendwell::Progress* sink = nullptr);
    explicit StatusSession(sendwell::Progress& sink) : StatusSession(&sink) {}
    ~StatusSession();
    StatusSession(const StatusSession&) = delete;
    StatusSession& operator=(const StatusSession&) = delete;

    // Where the texts go; none drops them.
    void SetStatusSink(sendwell::Progress* sink) { sink_.store(sink); }
    sendwell::Progress* statusSink() const { return sink_.load(); }

    // Starts reporting on handle (reports "handle created"); a previous handle is detached first.
    void Attach(CURL* handle);
    // Stops reporting and gives the claimed options back to libcurl's defaults ("handle closing"). Call it
    // between transfers, never from inside one.
    void Detach();
    CURL* handle() const { return handle_; }

    // Formats a status and delivers it to the sink, unless the text is none.
    void Report(unsigned long code, std::string_view info = {});

    // Reports "Request sent" and "Response received" once the request's head has gone out and the
    // answer's first line has come in, read from the handle's byte counts; libcurl's transfer-progress
    // callback calls it after each turn of the transfer.
    void Progress();

private:
    static int OnResolverStart(void* resolverState, void* reserved, void* self);
    static curl_socket_t OnOpenSocket(void* self, curlsocktype purpose, curl_sockaddr* address);
    static int OnCloseSocket(void* self, curl_socket_t socket);
    static int OnPrereq(void* self, char* primaryIp, char* localIp, int primaryPort, int localPort);
    static int OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);

    std::string CurrentHost() const;

    std::atomic<sendwell::Progress*> sink_;
    CURL* handle_ = nullptr;
    bool resolving_ = false; // a name lookup started and its result is not reported yet
    // Between the request's start and its answer: libcurl's counts of request and answer head bytes
    // when the request was about to go out (a count may run on over the requests of a handle).
    bool sending_ = false;
    bool awaitingAnswer_ = false;
    long requestBytesBefore_ = 0;
    long headBytesBefore_ = 0;
};

} // namespace sendwell
