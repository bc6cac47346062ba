// A scripted HTTP/1.1 server on 127.0.0.1 for tests: every byte it sends is chosen by the test, and
// every request it receives is recorded for assertions.
//
// Connection model: one request per connection unless KeepConnections is called. After the response the
// server closes the connection (a "Connection: close" header is added to scripted heads unless the script
// names one itself), so a client never has a reused connection to reason about. Request bodies are read by
// Content-Length or chunked transfer coding; "Expect: 100-continue" is answered with an interim 100 before
// the body.
//
// Threads: one accept thread and one thread per connection. Handlers run on connection threads, possibly
// several at once, so they must be thread-safe (the builders below are). The destructor wakes every
// delay and blocked read, joins every thread and removes the certificate file.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace sendwell::test {

using Clock = std::chrono::steady_clock;
using HeaderList = std::vector<std::pair<std::string, std::string>>;

struct RecordedRequest {
    std::string method;
    std::string target;          // as sent: "/a?b", or "http://h/a" when the server is used as a proxy
    std::string version;         // "HTTP/1.1"
    HeaderList headers;          // names exactly as sent, values without surrounding blanks, in order
    std::string body;            // decoded (chunked bodies are joined)
    Clock::time_point arrived;   // first byte of the request read
    Clock::time_point completed; // response written, just before the connection was closed; epoch until then
    int connection = 0;          // 1-based number of the connection it came on
    bool secure = false;

    // First value of a header, the name compared ASCII case-insensitively.
    std::optional<std::string> Header(std::string_view name) const;
    std::vector<std::string> HeaderNames() const;
    // The target without its query.
    std::string Path() const;
};

struct ScriptedResponse {
    enum class Framing {
        ContentLength,  // "Content-Length" added unless the script gives one
        CloseDelimited, // no length: the body ends when the connection closes
        Chunked,        // "Transfer-Encoding: chunked"; each piece becomes one chunk
        NoBody,         // head only, no length header
    };

    int status = 200;
    std::string reason; // empty: the usual phrase for the status
    HeaderList headers;
    std::string body;
    Framing framing = Framing::ContentLength;
    std::string lineEnd = "\r\n"; // "\n" for a head with bare line feeds
    // When set, these bytes are sent instead of the status line, head and body built from the fields
    // above (delays, pieces and the drop still apply, the drop counting from the first raw byte).
    std::optional<std::string> raw;

    std::chrono::milliseconds delayBeforeHead{0};
    std::chrono::milliseconds delayBeforeBody{0};
    std::size_t pieceSize = 0; // 0: the body in one write; else pieces of at most this many bytes
    std::chrono::milliseconds delayBetweenPieces{0};
    // Close the connection abruptly after this many body bytes (the head announced them all).
    std::optional<std::size_t> dropAfterBodyBytes;
    // The drop resets the connection (the client reads a reset, not an end of stream).
    bool resetOnDrop = false;
    // Filler header lines of about this many bytes in all, sent right after the status line; made as
    // they are sent and stopped once the client hangs up, so a huge head costs the server no memory.
    std::uint64_t fillerHeadBytes = 0;
    // Exactly this many filler bytes after the body (counted in its Content-Length), made as they are
    // sent in the same way: a huge answer costs the server no memory.
    std::uint64_t fillerBodyBytes = 0;
};

using Handler = std::function<ScriptedResponse(const RecordedRequest&)>;

// Counts requests open at once: from the moment a request has been read whole until its answer starts
// going out. Several servers may share one, to count across hosts.
class OpenRequestCount {
public:
    void Enter();
    void Leave();
    int now() const;
    int peak() const; // the most open at any one time

private:
    mutable std::mutex mutex_;
    int now_ = 0;
    int peak_ = 0;
};

// Builders.
ScriptedResponse Response(int status, std::string body = {}, HeaderList headers = {});
ScriptedResponse RawResponse(std::string bytes);
ScriptedResponse Redirect(int status, std::string location);
// The usual reason phrase ("OK", "Not Found", ...; "Unknown" for others).
std::string ReasonPhrase(int status);
// A handler that answers every request the same way.
Handler Always(ScriptedResponse response);
// Answers the n-th request it takes with the n-th response, and every one after the last with the last.
Handler InTurn(std::vector<ScriptedResponse> responses);
// Answers 401 with a Basic challenge unless the request carries exactly these credentials, then inner.
Handler RequireBasicAuth(std::string user, std::string password, Handler inner, std::string realm = "test");
// The Basic credentials a request carried (user, password), if any.
std::optional<std::pair<std::string, std::string>> BasicCredentials(const RecordedRequest& request);
std::string Base64Encode(std::string_view bytes);

class HttpTestServer {
public:
    struct Options {
        bool tls = false; // HTTPS with a certificate made for this server (see CaFile)
    };

    HttpTestServer();
    explicit HttpTestServer(Options options);
    // Plain HTTP on another loopback address ("127.0.0.2" makes a second host), counting its open
    // requests in sharedCount too (when given), together with other servers'.
    HttpTestServer(std::string address, std::shared_ptr<OpenRequestCount> sharedCount);
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    int port() const { return port_; }
    // "<address>:<port>"
    std::string HostPort() const;
    // "http://<address>:<port>" + path (https for a TLS server).
    std::string Url(std::string_view path = "/") const;
    // PEM file of the server's self-signed certificate, for a client's CA list; empty without TLS.
    const std::filesystem::path& CaFile() const { return caFile_; }

    // The handler for requests no route takes (default: 404 with a short body).
    void SetHandler(Handler handler);
    // Requests whose path (target without query) or whole target equals target go to handler.
    void Route(const std::string& target, Handler handler);
    void Route(const std::string& target, ScriptedResponse response);

    std::vector<RecordedRequest> Requests() const;
    std::size_t RequestCount() const;
    // True once at least n requests have arrived; false after the timeout.
    bool WaitForRequests(std::size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    // True once at least n requests have been answered completely.
    bool WaitForCompleted(std::size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    // Connections accepted so far.
    int ConnectionCount() const;
    // From now on, a connection stays open for further requests after an answer whose end can be told
    // without closing (no "Connection" header scripted, not close-delimited, not raw), unless the
    // request asks to close.
    void KeepConnections() { keepConnections_.store(true); }
    // This server's own count of open requests.
    const OpenRequestCount& openRequests() const { return openCount_; }

private:
    struct Connection;
    struct Tls;

    void AcceptLoop();
    void Serve(int fd, int number);
    bool Sleep(std::chrono::milliseconds delay);
    Handler HandlerFor(const RecordedRequest& request) const;
    void ReapFinished();

    HttpTestServer(std::string address, std::shared_ptr<OpenRequestCount> sharedCount, Options options);

    Options options_;
    std::string address_;
    std::shared_ptr<OpenRequestCount> sharedCount_;
    int listenFd_ = -1;
    int wakePipe_[2] = {-1, -1};
    int port_ = 0;
    std::filesystem::path caFile_;
    std::unique_ptr<Tls> tls_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool stopping_ = false;
    Handler handler_;
    std::map<std::string, Handler> routes_;
    std::vector<RecordedRequest> requests_;
    std::size_t completed_ = 0;
    int connections_ = 0;
    std::atomic<bool> keepConnections_{false};
    OpenRequestCount openCount_;
    std::map<int, int> openFds_; // connection number -> socket, for waking blocked reads on stop
    std::vector<std::unique_ptr<Connection>> workers_;
    std::thread acceptThread_;
};

} // namespace sendwell::test
