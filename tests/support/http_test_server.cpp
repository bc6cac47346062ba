#include "tests/support/http_test_server.h"

#include "core/base/ascii_case.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace sendwell::test {

namespace {

constexpr std::size_t kMaxHead = 64 * 1024;
constexpr std::size_t kMaxBody = 64 * 1024 * 1024;

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return AsciiEqualNoCase(a, b);
}

bool ContainsNoCase(std::string_view haystack, std::string_view needle) {
    if (needle.size() > haystack.size()) {
        return false;
    }
    for (std::size_t i = 0; i + needle.size() <= haystack.size(); ++i) {
        if (EqualsNoCase(haystack.substr(i, needle.size()), needle)) {
            return true;
        }
    }
    return false;
}

std::string Trim(std::string_view s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) {
        ++b;
    }
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) {
        --e;
    }
    return std::string(s.substr(b, e - b));
}

bool HasHeader(const HeaderList& headers, std::string_view name) {
    return std::any_of(headers.begin(), headers.end(),
                       [&](const auto& h) { return EqualsNoCase(h.first, name); });
}

std::optional<std::string> Base64Decode(std::string_view text) {
    auto value = [](char c) -> int {
        if (c >= 'A' && c <= 'Z') {
            return c - 'A';
        }
        if (c >= 'a' && c <= 'z') {
            return c - 'a' + 26;
        }
        if (c >= '0' && c <= '9') {
            return c - '0' + 52;
        }
        if (c == '+') {
            return 62;
        }
        if (c == '/') {
            return 63;
        }
        return -1;
    };
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (char c : text) {
        if (c == '=') {
            break;
        }
        int v = value(c);
        if (v < 0) {
            return std::nullopt;
        }
        bits = (bits << 6) | static_cast<unsigned>(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out.push_back(static_cast<char>((bits >> count) & 0xFFu));
        }
    }
    return out;
}

void IgnoreSigpipeOnce() {
    static std::once_flag once;
    // A client that hangs up while we write must not kill the test process.
    std::call_once(once, [] { std::signal(SIGPIPE, SIG_IGN); });
}

template <typename T, void (*Free)(T*)>
struct OsslDeleter {
    void operator()(T* p) const noexcept { Free(p); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, OsslDeleter<EVP_PKEY, EVP_PKEY_free>>;
using X509Ptr = std::unique_ptr<X509, OsslDeleter<X509, X509_free>>;
using X509ExtPtr = std::unique_ptr<X509_EXTENSION, OsslDeleter<X509_EXTENSION, X509_EXTENSION_free>>;

[[noreturn]] void FailTls(const char* what) {
    char text[256] = {0};
    ERR_error_string_n(ERR_get_error(), text, sizeof text);
    throw std::runtime_error(std::string("test server TLS: ") + what + ": " + text);
}

void AddExtension(X509* cert, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
    X509ExtPtr ext(X509V3_EXT_conf_nid(nullptr, &ctx, nid, value));
    if (!ext || X509_add_ext(cert, ext.get(), -1) != 1) {
        FailTls("certificate extension");
    }
}

// A self-signed certificate for 127.0.0.1 and localhost that also serves as its own CA.
std::pair<PkeyPtr, X509Ptr> MakeCertificate() {
    PkeyPtr key(EVP_EC_gen("P-256"));
    if (!key) {
        FailTls("key generation");
    }
    X509Ptr cert(X509_new());
    if (!cert) {
        FailTls("certificate");
    }
    X509_set_version(cert.get(), 2);
    unsigned char serial[8];
    RAND_bytes(serial, sizeof serial);
    serial[0] &= 0x7F;
    long serialValue = 0;
    for (unsigned char b : serial) {
        serialValue = (serialValue << 8) | b;
    }
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serialValue == 0 ? 1 : serialValue);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 2L * 24 * 3600);
    X509_set_pubkey(cert.get(), key.get());
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("Loopback Test"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("127.0.0.1"),
                               -1, -1, 0);
    X509_set_issuer_name(cert.get(), name);
    AddExtension(cert.get(), NID_basic_constraints, "critical,CA:TRUE");
    AddExtension(cert.get(), NID_key_usage, "critical,digitalSignature,keyCertSign");
    AddExtension(cert.get(), NID_ext_key_usage, "serverAuth");
    AddExtension(cert.get(), NID_subject_key_identifier, "hash");
    AddExtension(cert.get(), NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost");
    if (X509_sign(cert.get(), key.get(), EVP_sha256()) == 0) {
        FailTls("signing");
    }
    return {std::move(key), std::move(cert)};
}

// Socket I/O with or without TLS on top.
class Stream {
public:
    Stream(int fd, SSL* ssl) : fd_(fd), ssl_(ssl) {}

    long Read(char* data, std::size_t size) {
        if (ssl_ != nullptr) {
            int n = SSL_read(ssl_, data, static_cast<int>(std::min<std::size_t>(size, 1 << 30)));
            return n > 0 ? n : -1;
        }
        for (;;) {
            ssize_t n = ::recv(fd_, data, size, 0);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            return n > 0 ? static_cast<long>(n) : -1;
        }
    }

    bool Write(std::string_view bytes) {
        while (!bytes.empty()) {
            long n;
            if (ssl_ != nullptr) {
                int w = SSL_write(ssl_, bytes.data(),
                                  static_cast<int>(std::min<std::size_t>(bytes.size(), 1 << 30)));
                n = w > 0 ? w : -1;
            } else {
                ssize_t w = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
                if (w < 0 && errno == EINTR) {
                    continue;
                }
                n = static_cast<long>(w);
            }
            if (n <= 0) {
                return false;
            }
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }

private:
    int fd_;
    SSL* ssl_;
};

// Buffered reading of the request head, lines and exact byte counts.
class Reader {
public:
    explicit Reader(Stream& stream) : stream_(stream) {}

    bool Fill() {
        char chunk[16 * 1024];
        long n = stream_.Read(chunk, sizeof chunk);
        if (n <= 0) {
            return false;
        }
        if (!firstByte_) {
            firstByte_ = Clock::now();
        }
        buffer_.append(chunk, static_cast<std::size_t>(n));
        return true;
    }

    // The head up to and including its empty line; nullopt when the peer went away or it is too long.
    std::optional<std::string> ReadHead() {
        for (;;) {
            for (std::size_t i = buffer_.find('\n', scanned_); i != std::string::npos;
                 i = buffer_.find('\n', i + 1)) {
                std::size_t end = 0;
                if (i + 1 < buffer_.size() && buffer_[i + 1] == '\n') {
                    end = i + 2;
                } else if (i + 2 < buffer_.size() && buffer_[i + 1] == '\r' && buffer_[i + 2] == '\n') {
                    end = i + 3;
                }
                if (end != 0) {
                    std::string head = buffer_.substr(0, end);
                    buffer_.erase(0, end);
                    scanned_ = 0;
                    return head;
                }
            }
            scanned_ = buffer_.size() >= 2 ? buffer_.size() - 2 : 0;
            if (buffer_.size() > kMaxHead || !Fill()) {
                return std::nullopt;
            }
        }
    }

    std::optional<std::string> ReadLine() {
        for (;;) {
            std::size_t lf = buffer_.find('\n');
            if (lf != std::string::npos) {
                std::string line = buffer_.substr(0, lf);
                buffer_.erase(0, lf + 1);
                if (!line.empty() && line.back() == '\r') {
                    line.pop_back();
                }
                return line;
            }
            if (buffer_.size() > kMaxHead || !Fill()) {
                return std::nullopt;
            }
        }
    }

    bool ReadExact(std::size_t count, std::string& out) {
        while (buffer_.size() < count) {
            if (!Fill()) {
                return false;
            }
        }
        out.append(buffer_, 0, count);
        buffer_.erase(0, count);
        return true;
    }

    std::optional<Clock::time_point> firstByte_;

private:
    Stream& stream_;
    std::string buffer_;
    std::size_t scanned_ = 0;
};

bool ParseHead(const std::string& head, RecordedRequest& request) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < head.size()) {
        std::size_t lf = head.find('\n', start);
        std::string line = head.substr(start, lf - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(std::move(line));
        start = lf + 1;
    }
    while (!lines.empty() && lines.back().empty()) {
        lines.pop_back();
    }
    if (lines.empty()) {
        return false;
    }
    const std::string& first = lines.front();
    std::size_t sp1 = first.find(' ');
    std::size_t sp2 = sp1 == std::string::npos ? std::string::npos : first.find(' ', sp1 + 1);
    if (sp2 == std::string::npos) {
        return false;
    }
    request.method = first.substr(0, sp1);
    request.target = first.substr(sp1 + 1, sp2 - sp1 - 1);
    request.version = first.substr(sp2 + 1);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::size_t colon = lines[i].find(':');
        if (colon == std::string::npos) {
            return false;
        }
        request.headers.emplace_back(lines[i].substr(0, colon),
                                     Trim(std::string_view(lines[i]).substr(colon + 1)));
    }
    return true;
}

bool ReadBody(Reader& reader, RecordedRequest& request, Stream& stream) {
    std::optional<std::string> encoding = request.Header("Transfer-Encoding");
    bool chunked = encoding && ContainsNoCase(*encoding, "chunked");
    std::size_t length = 0;
    if (!chunked) {
        std::optional<std::string> lengthText = request.Header("Content-Length");
        if (lengthText) {
            try {
                length = static_cast<std::size_t>(std::stoull(*lengthText));
            } catch (const std::exception&) {
                return false;
            }
            if (length > kMaxBody) {
                return false;
            }
        }
    }
    std::optional<std::string> expect = request.Header("Expect");
    if (expect && EqualsNoCase(*expect, "100-continue") && (chunked || length > 0)) {
        if (!stream.Write("HTTP/1.1 100 Continue\r\n\r\n")) {
            return false;
        }
    }
    if (!chunked) {
        return reader.ReadExact(length, request.body);
    }
    for (;;) {
        std::optional<std::string> sizeLine = reader.ReadLine();
        if (!sizeLine) {
            return false;
        }
        std::size_t size = 0;
        try {
            size = static_cast<std::size_t>(std::stoull(*sizeLine, nullptr, 16));
        } catch (const std::exception&) {
            return false;
        }
        if (size == 0) {
            break;
        }
        if (request.body.size() + size > kMaxBody || !reader.ReadExact(size, request.body)) {
            return false;
        }
        if (!reader.ReadLine()) { // the line end after the chunk
            return false;
        }
    }
    for (;;) { // trailer
        std::optional<std::string> line = reader.ReadLine();
        if (!line) {
            return false;
        }
        if (line->empty()) {
            return true;
        }
    }
}

std::string BuildHead(const ScriptedResponse& r, bool close) {
    std::string head = "HTTP/1.1 " + std::to_string(r.status) + " " +
                       (r.reason.empty() ? ReasonPhrase(r.status) : r.reason) + r.lineEnd;
    for (const auto& [name, value] : r.headers) {
        head += name + ": " + value + r.lineEnd;
    }
    using F = ScriptedResponse::Framing;
    if (r.framing == F::ContentLength && !HasHeader(r.headers, "Content-Length")) {
        head += "Content-Length: " + std::to_string(r.body.size() + r.fillerBodyBytes) + r.lineEnd;
    }
    if (r.framing == F::Chunked && !HasHeader(r.headers, "Transfer-Encoding")) {
        head += "Transfer-Encoding: chunked" + r.lineEnd;
    }
    if (close && !HasHeader(r.headers, "Connection")) {
        head += "Connection: close" + r.lineEnd;
    }
    head += r.lineEnd;
    return head;
}

bool SendFillerBody(Stream& stream, std::uint64_t bytes) {
    const std::string block(64 * 1024, 'x');
    for (std::uint64_t sent = 0; sent < bytes;) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), bytes - sent));
        if (!stream.Write(std::string_view(block).substr(0, n))) {
            return false;
        }
        sent += n;
    }
    return true;
}

bool SendFiller(Stream& stream, std::uint64_t bytes, const std::string& lineEnd) {
    if (bytes == 0) {
        return true;
    }
    const std::string line = "X-Filler: " + std::string(100, 'f') + lineEnd;
    std::string block;
    while (block.size() < 64 * 1024) {
        block += line;
    }
    for (std::uint64_t sent = 0; sent < bytes; sent += block.size()) {
        if (!stream.Write(block)) {
            return false;
        }
    }
    return true;
}

char HexDigit(unsigned v) {
    return "0123456789abcdef"[v & 0xF];
}

std::string ChunkSize(std::size_t n) {
    std::string hex;
    do {
        hex.insert(hex.begin(), HexDigit(static_cast<unsigned>(n & 0xF)));
        n >>= 4;
    } while (n != 0);
    return hex;
}

} // namespace

// --- RecordedRequest ----------------------------------------------------------------------------------

std::optional<std::string> RecordedRequest::Header(std::string_view name) const {
    for (const auto& [n, v] : headers) {
        if (EqualsNoCase(n, name)) {
            return v;
        }
    }
    return std::nullopt;
}

std::vector<std::string> RecordedRequest::HeaderNames() const {
    std::vector<std::string> names;
    for (const auto& h : headers) {
        names.push_back(h.first);
    }
    return names;
}

std::string RecordedRequest::Path() const {
    return target.substr(0, target.find('?'));
}

// --- builders -------------------------------------------------------------------------------------------

std::string ReasonPhrase(int status) {
    switch (status) {
    case 100:
        return "Continue";
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 204:
        return "No Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 304:
        return "Not Modified";
    case 307:
        return "Temporary Redirect";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 500:
        return "Internal Server Error";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    default:
        return "Unknown";
    }
}

ScriptedResponse Response(int status, std::string body, HeaderList headers) {
    ScriptedResponse r;
    r.status = status;
    r.body = std::move(body);
    r.headers = std::move(headers);
    return r;
}

ScriptedResponse RawResponse(std::string bytes) {
    ScriptedResponse r;
    r.raw = std::move(bytes);
    return r;
}

ScriptedResponse Redirect(int status, std::string location) {
    return Response(status, "moved\n", {{"Location", std::move(location)}});
}

Handler Always(ScriptedResponse response) {
    return [response = std::move(response)](const RecordedRequest&) { return response; };
}

Handler InTurn(std::vector<ScriptedResponse> responses) {
    if (responses.empty()) {
        throw std::invalid_argument("InTurn needs at least one response");
    }
    auto taken = std::make_shared<std::atomic<std::size_t>>(0);
    return [responses = std::move(responses), taken](const RecordedRequest&) {
        const std::size_t n = taken->fetch_add(1);
        return responses[std::min(n, responses.size() - 1)];
    };
}

void OpenRequestCount::Enter() {
    std::lock_guard lock(mutex_);
    peak_ = std::max(peak_, ++now_);
}

void OpenRequestCount::Leave() {
    std::lock_guard lock(mutex_);
    --now_;
}

int OpenRequestCount::now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

int OpenRequestCount::peak() const {
    std::lock_guard lock(mutex_);
    return peak_;
}

std::string Base64Encode(std::string_view bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                     (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                     static_cast<unsigned char>(bytes[i + 2]);
        out += {kAlphabet[(v >> 18) & 63], kAlphabet[(v >> 12) & 63], kAlphabet[(v >> 6) & 63],
                kAlphabet[v & 63]};
    }
    if (i + 1 == bytes.size()) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        out += {kAlphabet[(v >> 18) & 63], kAlphabet[(v >> 12) & 63], '=', '='};
    } else if (i + 2 == bytes.size()) {
        unsigned v =
            (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
        out += {kAlphabet[(v >> 18) & 63], kAlphabet[(v >> 12) & 63], kAlphabet[(v >> 6) & 63], '='};
    }
    return out;
}

std::optional<std::pair<std::string, std::string>> BasicCredentials(const RecordedRequest& request) {
    std::optional<std::string> auth = request.Header("Authorization");
    if (!auth || auth->size() < 6 || !EqualsNoCase(auth->substr(0, 6), "Basic ")) {
        return std::nullopt;
    }
    std::optional<std::string> decoded = Base64Decode(Trim(std::string_view(*auth).substr(6)));
    if (!decoded) {
        return std::nullopt;
    }
    std::size_t colon = decoded->find(':');
    if (colon == std::string::npos) {
        return std::nullopt;
    }
    return std::make_pair(decoded->substr(0, colon), decoded->substr(colon + 1));
}

Handler RequireBasicAuth(std::string user, std::string password, Handler inner, std::string realm) {
    return [user = std::move(user), password = std::move(password), inner = std::move(inner),
            realm = std::move(realm)](const RecordedRequest& request) {
        auto given = BasicCredentials(request);
        if (given && given->first == user && given->second == password) {
            return inner(request);
        }
        return Response(401, "<html><body><h1>401 Unauthorized</h1></body></html>\n",
                        {{"WWW-Authenticate", "Basic realm=\"" + realm + "\""}});
    };
}

// --- server ---------------------------------------------------------------------------------------------

struct HttpTestServer::Connection {
    std::thread thread;
    std::atomic<bool> done{false};
};

struct HttpTestServer::Tls {
    SSL_CTX* ctx = nullptr;
    ~Tls() { SSL_CTX_free(ctx); }
};

HttpTestServer::HttpTestServer() : HttpTestServer(Options{}) {}

HttpTestServer::HttpTestServer(Options options) : HttpTestServer("127.0.0.1", nullptr, options) {}

HttpTestServer::HttpTestServer(std::string address, std::shared_ptr<OpenRequestCount> sharedCount)
    : HttpTestServer(std::move(address), std::move(sharedCount), Options{}) {}

HttpTestServer::HttpTestServer(std::string address, std::shared_ptr<OpenRequestCount> sharedCount,
                               Options options)
    : options_(options), address_(std::move(address)), sharedCount_(std::move(sharedCount)) {
    IgnoreSigpipeOnce();
    handler_ = Always(Response(404, "not found\n"));

    if (options_.tls) {
        auto [key, cert] = MakeCertificate();
        tls_ = std::make_unique<Tls>();
        tls_->ctx = SSL_CTX_new(TLS_server_method());
        if (tls_->ctx == nullptr || SSL_CTX_use_certificate(tls_->ctx, cert.get()) != 1 ||
            SSL_CTX_use_PrivateKey(tls_->ctx, key.get()) != 1) {
            FailTls("context");
        }
        SSL_CTX_set_min_proto_version(tls_->ctx, TLS1_2_VERSION);
        static std::atomic<int> counter{0};
        caFile_ =
            std::filesystem::temp_directory_path() / ("sendwell-test-ca-" + std::to_string(::getpid()) + "-" +
                                                      std::to_string(counter.fetch_add(1)) + ".pem");
        std::FILE* f = std::fopen(caFile_.c_str(), "wb");
        if (f == nullptr) {
            throw std::runtime_error("test server: cannot write " + caFile_.string());
        }
        bool written = PEM_write_X509(f, cert.get()) == 1;
        std::fclose(f);
        if (!written) {
            FailTls("writing the certificate");
        }
    }

    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) {
        throw std::system_error(errno, std::generic_category(), "test server socket");
    }
    int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    if (::inet_pton(AF_INET, address_.c_str(), &addr.sin_addr) != 1 ||
        (ntohl(addr.sin_addr.s_addr) >> 24) != 127) {
        ::close(listenFd_);
        throw std::invalid_argument("test server: not a loopback address: " + address_);
    }
    addr.sin_port = 0;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd_, 64) != 0) {
        int err = errno;
        ::close(listenFd_);
        throw std::system_error(err, std::generic_category(), "test server bind/listen");
    }
    socklen_t len = sizeof addr;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    if (::pipe2(wakePipe_, O_CLOEXEC) != 0) {
        int err = errno;
        ::close(listenFd_);
        throw std::system_error(err, std::generic_category(), "test server pipe");
    }
    acceptThread_ = std::thread([this] { AcceptLoop(); });
}

HttpTestServer::~HttpTestServer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        for (const auto& [number, fd] : openFds_) {
            ::shutdown(fd, SHUT_RDWR);
        }
    }
    changed_.notify_all();
    char byte = 1;
    (void)!::write(wakePipe_[1], &byte, 1);
    if (acceptThread_.joinable()) {
        acceptThread_.join();
    }
    for (auto& worker : workers_) {
        worker->thread.join();
    }
    ::close(listenFd_);
    ::close(wakePipe_[0]);
    ::close(wakePipe_[1]);
    if (!caFile_.empty()) {
        std::error_code ec;
        std::filesystem::remove(caFile_, ec);
    }
}

std::string HttpTestServer::HostPort() const {
    return address_ + ":" + std::to_string(port_);
}

std::string HttpTestServer::Url(std::string_view path) const {
    return std::string(options_.tls ? "https://" : "http://") + HostPort() + std::string(path);
}

void HttpTestServer::SetHandler(Handler handler) {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

void HttpTestServer::Route(const std::string& target, Handler handler) {
    std::lock_guard lock(mutex_);
    routes_[target] = std::move(handler);
}

void HttpTestServer::Route(const std::string& target, ScriptedResponse response) {
    Route(target, Always(std::move(response)));
}

std::vector<RecordedRequest> HttpTestServer::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::size_t HttpTestServer::RequestCount() const {
    std::lock_guard lock(mutex_);
    return requests_.size();
}

bool HttpTestServer::WaitForRequests(std::size_t n, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= n; });
}

bool HttpTestServer::WaitForCompleted(std::size_t n, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return completed_ >= n; });
}

int HttpTestServer::ConnectionCount() const {
    std::lock_guard lock(mutex_);
    return connections_;
}

Handler HttpTestServer::HandlerFor(const RecordedRequest& request) const {
    std::lock_guard lock(mutex_);
    if (auto it = routes_.find(request.target); it != routes_.end()) {
        return it->second;
    }
    if (auto it = routes_.find(request.Path()); it != routes_.end()) {
        return it->second;
    }
    return handler_;
}

bool HttpTestServer::Sleep(std::chrono::milliseconds delay) {
    std::unique_lock lock(mutex_);
    if (delay.count() > 0) {
        changed_.wait_for(lock, delay, [&] { return stopping_; });
    }
    return !stopping_;
}

void HttpTestServer::ReapFinished() {
    auto finished = std::stable_partition(workers_.begin(), workers_.end(),
                                          [](const auto& w) { return !w->done.load(); });
    for (auto it = finished; it != workers_.end(); ++it) {
        (*it)->thread.join();
    }
    workers_.erase(finished, workers_.end());
}

void HttpTestServer::AcceptLoop() {
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
        int ready = ::poll(fds, 2, -1);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            return;
        }
        if ((fds[0].revents & POLLIN) == 0) {
            continue;
        }
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        ReapFinished();
        std::lock_guard lock(mutex_);
        if (stopping_) {
            ::close(fd);
            return;
        }
        int number = ++connections_;
        openFds_[number] = fd;
        auto worker = std::make_unique<Connection>();
        Connection* raw = worker.get();
        worker->thread = std::thread([this, fd, number, raw] {
            Serve(fd, number);
            raw->done.store(true);
        });
        workers_.push_back(std::move(worker));
    }
}

void HttpTestServer::Serve(int fd, int number) {
    SSL* ssl = nullptr;
    bool clean = false; // close with a TLS close_notify and a drained socket, not abruptly
    auto finish = [&] {
        if (ssl != nullptr) {
            if (clean) {
                SSL_shutdown(ssl);
            }
            SSL_free(ssl);
        }
        if (clean) {
            // Let the client read everything before the socket goes: closing with unread input would
            // make the kernel reset the connection and could cost the client the end of the answer.
            ::shutdown(fd, SHUT_WR);
            char sink[4096];
            auto deadline = Clock::now() + std::chrono::seconds(1);
            while (Clock::now() < deadline) {
                pollfd p{fd, POLLIN, 0};
                if (::poll(&p, 1, 100) <= 0) {
                    std::lock_guard lock(mutex_);
                    if (stopping_) {
                        break;
                    }
                    continue;
                }
                if (::recv(fd, sink, sizeof sink, 0) <= 0) {
                    break;
                }
            }
        }
        {
            std::lock_guard lock(mutex_);
            openFds_.erase(number);
        }
        ::close(fd);
    };

    if (tls_) {
        ssl = SSL_new(tls_->ctx);
        if (ssl == nullptr || SSL_set_fd(ssl, fd) != 1 || SSL_accept(ssl) != 1) {
            ERR_clear_error();
            finish();
            return;
        }
    } else {
        // A TLS handshake on the plain port is refused at once, as a web server refuses a request line
        // it cannot read, rather than waited on until the client gives up.
        unsigned char first = 0;
        if (::recv(fd, &first, 1, MSG_PEEK) == 1 && first == 0x16) {
            finish();
            return;
        }
    }
    Stream stream(fd, ssl);
    Reader reader(stream);

    for (;;) {
        std::optional<std::string> head = reader.ReadHead();
        RecordedRequest request;
        if (!head || !ParseHead(*head, request)) {
            if (head) {
                stream.Write("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
                clean = true;
            }
            finish();
            return;
        }
        request.arrived = reader.firstByte_.value_or(Clock::now());
        reader.firstByte_.reset(); // the next request on this connection has its own
        request.connection = number;
        request.secure = ssl != nullptr;
        if (!ReadBody(reader, request, stream)) {
            finish();
            return;
        }

        std::size_t index;
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
            index = requests_.size() - 1;
        }
        changed_.notify_all();

        openCount_.Enter();
        if (sharedCount_) {
            sharedCount_->Enter();
        }
        bool counted = true;
        auto leave = [&] {
            if (counted) {
                counted = false;
                openCount_.Leave();
                if (sharedCount_) {
                    sharedCount_->Leave();
                }
            }
        };

        ScriptedResponse response;
        try {
            response = HandlerFor(request)(request);
        } catch (const std::exception& e) {
            response = Response(500, std::string("handler failed: ") + e.what() + "\n");
        }

        // Sends bytes in the scripted pieces; false when the client went away, a drop was scripted or the
        // server stops.
        std::size_t sentBody = 0;
        auto sendBody = [&](std::string_view bytes, bool chunked) {
            std::size_t piece =
                response.pieceSize == 0 ? std::max<std::size_t>(bytes.size(), 1) : response.pieceSize;
            for (std::size_t at = 0; at < bytes.size(); at += piece) {
                if (at > 0 && !Sleep(response.delayBetweenPieces)) {
                    return false;
                }
                std::string_view part = bytes.substr(at, piece);
                bool drop = false;
                if (response.dropAfterBodyBytes && sentBody + part.size() >= *response.dropAfterBodyBytes) {
                    part = part.substr(0, *response.dropAfterBodyBytes - sentBody);
                    drop = true;
                }
                std::string out = chunked ? ChunkSize(part.size()) + "\r\n" + std::string(part) + "\r\n"
                                          : std::string(part);
                if ((!part.empty() || !chunked) && !stream.Write(out)) {
                    return false;
                }
                sentBody += part.size();
                if (drop) {
                    return false;
                }
            }
            if (response.dropAfterBodyBytes && sentBody >= *response.dropAfterBodyBytes) {
                return false;
            }
            return true;
        };

        using F = ScriptedResponse::Framing;
        // The connection stays for another request when the server keeps connections, the answer's end can
        // be told without closing, and neither side asked to close.
        const bool keep = keepConnections_.load() && !response.raw && response.framing != F::CloseDelimited &&
                          !HasHeader(response.headers, "Connection") &&
                          !ContainsNoCase(request.Header("Connection").value_or(""), "close");
        bool ok = Sleep(response.delayBeforeHead);
        // Before the first byte of the answer: a client cannot have the whole answer, and so cannot have
        // sent its next request, while this one is still counted.
        leave();
        if (ok) {
            if (response.raw) {
                ok = sendBody(*response.raw, false);
            } else {
                std::string head = BuildHead(response, !keep);
                std::size_t statusEnd = head.find('\n') + 1;
                ok = stream.Write(std::string_view(head).substr(0, statusEnd)) &&
                     SendFiller(stream, response.fillerHeadBytes, response.lineEnd) &&
                     stream.Write(std::string_view(head).substr(statusEnd)) &&
                     Sleep(response.delayBeforeBody);
                if (ok && response.framing != F::NoBody) {
                    ok = sendBody(response.body, response.framing == F::Chunked) &&
                         SendFillerBody(stream, response.fillerBodyBytes);
                    if (ok && response.framing == F::Chunked) {
                        ok = stream.Write("0\r\n\r\n");
                    }
                }
            }
        }
        if (ok && keep) {
            {
                std::lock_guard lock(mutex_);
                requests_[index].completed = Clock::now();
                ++completed_;
            }
            changed_.notify_all();
            continue;
        }
        clean = ok;
        if (!ok && response.resetOnDrop && response.dropAfterBodyBytes) {
            linger reset{1, 0}; // closing now sends a reset
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        }
        {
            std::lock_guard lock(mutex_);
            requests_[index].completed = Clock::now();
            ++completed_;
        }
        changed_.notify_all();
        finish();
        return;
    }
}

} // namespace sendwell::test
