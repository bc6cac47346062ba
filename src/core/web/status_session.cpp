#include "core/web/status_session.h"

#include "core/web/curl_support.h"
#include "core/web/url_parts.h"

#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace sendwell {

namespace {

// The text up to the first NUL, as a C string argument would read it.
std::string_view CText(std::string_view info) {
    return info.substr(0, info.find('\0'));
}

} // namespace

std::optional<std::string> FormatStatusText(unsigned long code, std::string_view info) {
    switch (code) {
    case kStatusResolvingName:
        return "Resolving name for " + std::string(CText(info));
    case kStatusNameResolved:
        return "Resolved name for " + std::string(CText(info));
    case kStatusConnectingToServer:
        return std::string("Connecting to socket address ");
    case kStatusConnectedToServer:
        return std::string("Connected to socket address");
    case kStatusSendingRequest:
        return std::string("Sending request...");
    case kStatusRequestSent:
        return std::string("Request sent");
    case kStatusReceivingResponse:
        return std::nullopt;
    case kStatusResponseReceived:
        return std::string("Response received");
    case kStatusClosingConnection:
        return std::string("Closing the connection to the server");
    case kStatusConnectionClosed:
        return std::string("Connection to the server closed");
    case kStatusHandleCreated:
        return std::string();
    case kStatusHandleClosing:
        return std::nullopt;
    case kStatusRequestComplete:
        return std::string("Request complete");
    default: {
        char text[40];
        std::snprintf(text, sizeof text, "Unknown status: %d", static_cast<int>(code));
        return std::string(text);
    }
    }
}

StatusSession::StatusSession(sendwell::Progress* sink) : sink_(sink) {}

StatusSession::~StatusSession() {
    Detach();
}

void StatusSession::Report(unsigned long code, std::string_view info) {
    std::optional<std::string> text = FormatStatusText(code, info);
    sendwell::Progress* sink = sink_.load();
    if (text && sink != nullptr) {
        sink->SetStatusText(*text);
    }
}

void StatusSession::Attach(CURL* handle) {
    Detach();
    if (handle == nullptr) {
        return;
    }
    handle_ = handle;
    resolving_ = false;
    sending_ = false;
    awaitingAnswer_ = false;
    curl_easy_setopt(handle, CURLOPT_RESOLVER_START_FUNCTION, &StatusSession::OnResolverStart);
    curl_easy_setopt(handle, CURLOPT_RESOLVER_START_DATA, this);
    curl_easy_setopt(handle, CURLOPT_OPENSOCKETFUNCTION, &StatusSession::OnOpenSocket);
    curl_easy_setopt(handle, CURLOPT_OPENSOCKETDATA, this);
    curl_easy_setopt(handle, CURLOPT_CLOSESOCKETFUNCTION, &StatusSession::OnCloseSocket);
    curl_easy_setopt(handle, CURLOPT_CLOSESOCKETDATA, this);
    curl_easy_setopt(handle, CURLOPT_PREREQFUNCTION, &StatusSession::OnPrereq);
    curl_easy_setopt(handle, CURLOPT_PREREQDATA, this);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &StatusSession::OnProgress);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    // libcurl copies the close-socket callback and its data into each connection. A connection kept in
    // libcurl's cache after the transfer would be closed later, when the handle is cleaned up, and call
    // back into this session after it is gone; resetting the option on Detach does not reach it. So no
    // connection outlives its transfer. Nothing is reused between requests anyway.
    curl_easy_setopt(handle, CURLOPT_FORBID_REUSE, 1L);
    Report(kStatusHandleCreated);
}

void StatusSession::Detach() {
    if (handle_ == nullptr) {
        return;
    }
    CURL* handle = handle_;
    curl_easy_setopt(handle, CURLOPT_FORBID_REUSE, 0L);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 1L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, static_cast<curl_xferinfo_callback>(nullptr));
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, static_cast<void*>(nullptr));
    curl_easy_setopt(handle, CURLOPT_PREREQFUNCTION, static_cast<curl_prereq_callback>(nullptr));
    curl_easy_setopt(handle, CURLOPT_PREREQDATA, static_cast<void*>(nullptr));
    // Sockets opened through us are plain sockets, so libcurl's own close is right for them.
    curl_easy_setopt(handle, CURLOPT_CLOSESOCKETFUNCTION, static_cast<curl_closesocket_callback>(nullptr));
    curl_easy_setopt(handle, CURLOPT_CLOSESOCKETDATA, static_cast<void*>(nullptr));
    curl_easy_setopt(handle, CURLOPT_OPENSOCKETFUNCTION, static_cast<curl_opensocket_callback>(nullptr));
    curl_easy_setopt(handle, CURLOPT_OPENSOCKETDATA, static_cast<void*>(nullptr));
    curl_easy_setopt(handle, CURLOPT_RESOLVER_START_FUNCTION,
                     static_cast<curl_resolver_start_callback>(nullptr));
    curl_easy_setopt(handle, CURLOPT_RESOLVER_START_DATA, static_cast<void*>(nullptr));
    handle_ = nullptr;
    Report(kStatusHandleClosing);
}

std::string StatusSession::CurrentHost() const {
    char* url = nullptr;
    if (handle_ == nullptr || curl_easy_getinfo(handle_, CURLINFO_EFFECTIVE_URL, &url) != CURLE_OK ||
        url == nullptr) {
        return {};
    }
    return UrlHost(url);
}

int StatusSession::OnResolverStart(void*, void*, void* self) {
    auto* session = static_cast<StatusSession*>(self);
    session->resolving_ = true;
    session->Report(kStatusResolvingName, session->CurrentHost());
    return 0;
}

curl_socket_t StatusSession::OnOpenSocket(void* self, curlsocktype purpose, curl_sockaddr* address) {
    auto* session = static_cast<StatusSession*>(self);
    if (purpose == CURLSOCKTYPE_IPCXN) {
        if (session->resolving_) {
            session->resolving_ = false;
            session->Report(kStatusNameResolved, session->CurrentHost());
        }
        session->Report(kStatusConnectingToServer);
    }
    int fd = ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
    return fd < 0 ? CURL_SOCKET_BAD : fd;
}

int StatusSession::OnCloseSocket(void* self, curl_socket_t socket) {
    auto* session = static_cast<StatusSession*>(self);
    session->Progress(); // an answer read in the transfer's last turn is reported before the close
    session->Report(kStatusClosingConnection);
    int rc = ::close(socket);
    session->Report(kStatusConnectionClosed);
    return rc;
}

int StatusSession::OnPrereq(void* self, char*, char*, int, int) {
    auto* session = static_cast<StatusSession*>(self);
    session->Report(kStatusConnectedToServer);
    session->Report(kStatusSendingRequest);
    curl_easy_getinfo(session->handle_, CURLINFO_REQUEST_SIZE, &session->requestBytesBefore_);
    curl_easy_getinfo(session->handle_, CURLINFO_HEADER_SIZE, &session->headBytesBefore_);
    session->sending_ = true;
    session->awaitingAnswer_ = false;
    return CURL_PREREQFUNC_OK;
}

int StatusSession::OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    static_cast<StatusSession*>(self)->Progress();
    return 0;
}

void StatusSession::Progress() {
    if (handle_ == nullptr || (!sending_ && !awaitingAnswer_)) {
        return;
    }
    if (sending_) {
        long sent = 0;
        curl_easy_getinfo(handle_, CURLINFO_REQUEST_SIZE, &sent);
        if (sent <= requestBytesBefore_) {
            return;
        }
        sending_ = false;
        awaitingAnswer_ = true;
        Report(kStatusRequestSent);
    }
    long head = 0;
    curl_easy_getinfo(handle_, CURLINFO_HEADER_SIZE, &head);
    if (head > headBytesBefore_) {
        awaitingAnswer_ = false;
        Report(kStatusReceivingResponse);
        Report(kStatusResponseReceived);
    }
}

} // namespace sendwell
