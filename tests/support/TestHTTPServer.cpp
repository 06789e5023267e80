#include "tests/support/TestHTTPServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cstring>
#include <stdexcept>

namespace zvt::test {

namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    }
    return true;
}

std::string trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
    return std::string(s.substr(b, e - b));
}

int64_t toInt(std::string_view s, int64_t fallback) {
    int64_t v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || p != s.data() + s.size()) return fallback;
    return v;
}

std::string pattern(size_t n) {
    std::string s(n, 'a');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i % 26);
    return s;
}

std::string compress(std::string_view body, int windowBits) {
    z_stream zs{};
    if (deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK) return {};
    std::string out;
    out.resize(deflateBound(&zs, body.size()) + 32);
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.data()));
    zs.avail_in = static_cast<uInt>(body.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

}  // namespace

std::string HTTPRequest::header(std::string_view name) const {
    for (const auto& [k, v] : headers) {
        if (equalsIgnoringCase(k, name)) return v;
    }
    return {};
}

bool HTTPRequest::hasHeader(std::string_view name) const {
    return std::any_of(headers.begin(), headers.end(), [&](const auto& h) { return equalsIgnoringCase(h.first, name); });
}

std::string HTTPRequest::queryValue(std::string_view name) const {
    std::string_view q = query;
    while (!q.empty()) {
        size_t amp = q.find('&');
        std::string_view pair = q.substr(0, amp);
        size_t eq = pair.find('=');
        if (pair.substr(0, eq) == name) return eq == std::string_view::npos ? std::string() : std::string(pair.substr(eq + 1));
        if (amp == std::string_view::npos) break;
        q.remove_prefix(amp + 1);
    }
    return {};
}

// One accepted connection: plain socket or TLS over it.
class HTTPConnection {
public:
    HTTPConnection(TestHTTPServer& server, int fd, SSL* ssl) : server_(server), fd_(fd), ssl_(ssl) {}

    bool writeAll(std::string_view bytes) {
        if (broken_) return false;
        while (!bytes.empty()) {
            ssize_t n;
            if (ssl_) {
                n = SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size()));
            } else {
                n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            }
            if (n <= 0) {
                if (!ssl_ && n < 0 && errno == EINTR) continue;
                broken_ = true;
                return false;
            }
            bytes.remove_prefix(static_cast<size_t>(n));
        }
        return true;
    }

    // Reads more bytes into buffer_; false on end of stream, error or server stop.
    bool readMore() {
        char chunk[16384];
        for (;;) {
            if (server_.stopping_) return false;
            if (!ssl_ || SSL_pending(ssl_) == 0) {
                pollfd p{fd_, POLLIN, 0};
                int r = ::poll(&p, 1, 100);
                if (r == 0) continue;
                if (r < 0) {
                    if (errno == EINTR) continue;
                    return false;
                }
            }
            ssize_t n = ssl_ ? SSL_read(ssl_, chunk, sizeof chunk) : ::recv(fd_, chunk, sizeof chunk, 0);
            if (n > 0) {
                buffer_.append(chunk, static_cast<size_t>(n));
                return true;
            }
            if (!ssl_ && n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (ssl_ && n < 0) {
                int e = SSL_get_error(ssl_, static_cast<int>(n));
                if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) continue;
            }
            return false;
        }
    }

    bool readLine(std::string& line) {
        for (;;) {
            size_t nl = buffer_.find("\r\n");
            if (nl != std::string::npos) {
                line = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 2);
                return true;
            }
            if (buffer_.size() > (1 << 20) || !readMore()) return false;
        }
    }

    bool readBytes(size_t n, std::string& out) {
        while (buffer_.size() < n) {
            if (!readMore()) return false;
        }
        out.append(buffer_, 0, n);
        buffer_.erase(0, n);
        return true;
    }

    bool readRequest(HTTPRequest& request) {
        std::string line;
        do {
            if (!readLine(line)) return false;
        } while (line.empty());
        size_t s1 = line.find(' ');
        size_t s2 = line.rfind(' ');
        if (s1 == std::string::npos || s2 == s1) return false;
        request.method = line.substr(0, s1);
        request.target = line.substr(s1 + 1, s2 - s1 - 1);
        request.version = line.substr(s2 + 1);
        size_t q = request.target.find('?');
        request.path = request.target.substr(0, q);
        request.query = q == std::string::npos ? std::string() : request.target.substr(q + 1);
        for (;;) {
            if (!readLine(line)) return false;
            if (line.empty()) break;
            size_t colon = line.find(':');
            if (colon == std::string::npos) continue;
            request.headers.emplace_back(trim(line.substr(0, colon)), trim(line.substr(colon + 1)));
        }
        if (equalsIgnoringCase(request.header("Expect"), "100-continue")) {
            writeAll("HTTP/1.1 100 Continue\r\n\r\n");
        }
        if (equalsIgnoringCase(request.header("Transfer-Encoding"), "chunked")) {
            for (;;) {
                if (!readLine(line)) return false;
                size_t size = 0;
                std::from_chars(line.data(), line.data() + line.size(), size, 16);
                if (size == 0) {
                    // Trailers end with an empty line.
                    do {
                        if (!readLine(line)) return false;
                    } while (!line.empty());
                    break;
                }
                if (!readBytes(size, request.body)) return false;
                if (!readLine(line)) return false;
            }
        } else if (request.hasHeader("Content-Length")) {
            int64_t length = toInt(request.header("Content-Length"), -1);
            if (length < 0 || !readBytes(static_cast<size_t>(length), request.body)) return false;
        }
        return true;
    }

    TestHTTPServer& server_;
    int fd_;
    SSL* ssl_;
    std::string buffer_;
    bool broken_ = false;
};

void HTTPResponder::writeHead(int status, const HeaderList& headers) {
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + TestHTTPServer::reasonPhrase(status) + "\r\n";
    for (const auto& [k, v] : headers) head += k + ": " + v + "\r\n";
    if (closeAfter_) head += "Connection: close\r\n";
    head += "\r\n";
    wroteSomething_ = true;
    connection_.writeAll(head);
}

void HTTPResponder::writeRaw(std::string_view bytes) {
    wroteSomething_ = true;
    connection_.writeAll(bytes);
}

void HTTPResponder::writeChunk(std::string_view bytes) {
    if (bytes.empty()) return;
    char size[32];
    auto [end, ec] = std::to_chars(size, size + sizeof size, bytes.size(), 16);
    (void)ec;
    std::string piece(size, end);
    piece += "\r\n";
    piece += bytes;
    piece += "\r\n";
    connection_.writeAll(piece);
}

void HTTPResponder::endChunks() { connection_.writeAll("0\r\n\r\n"); }

void HTTPResponder::send(int status, const HeaderList& headers, std::string_view body) {
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + TestHTTPServer::reasonPhrase(status) + "\r\n";
    for (const auto& [k, v] : headers) head += k + ": " + v + "\r\n";
    head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    if (closeAfter_) head += "Connection: close\r\n";
    head += "\r\n";
    head += body;
    wroteSomething_ = true;
    connection_.writeAll(head);
}

void HTTPResponder::send(int status, std::string_view body, std::string_view contentType) {
    send(status, {{"Content-Type", std::string(contentType)}}, body);
}

void HTTPResponder::sendChunked(int status, const HeaderList& headers, std::string_view body, size_t chunkSize) {
    HeaderList h = headers;
    h.emplace_back("Transfer-Encoding", "chunked");
    writeHead(status, h);
    if (chunkSize == 0) chunkSize = 1;
    for (size_t i = 0; i < body.size(); i += chunkSize) writeChunk(body.substr(i, chunkSize));
    endChunks();
}

void HTTPResponder::sendEncoded(int status, const HeaderList& headers, std::string_view body, std::string_view encoding) {
    HeaderList h = headers;
    h.emplace_back("Content-Encoding", std::string(encoding));
    send(status, h, encoding == "gzip" ? TestHTTPServer::gzip(body) : TestHTTPServer::deflate(body));
}

void HTTPResponder::sendWithRange(const HTTPRequest& request, std::string_view body, const HeaderList& extra) {
    std::string range = request.header("Range");
    HeaderList h = extra;
    h.emplace_back("Accept-Ranges", "bytes");
    if (range.rfind("bytes=", 0) != 0 || range.find(',') != std::string::npos) {
        send(200, h, body);
        return;
    }
    std::string_view ranges = std::string_view(range).substr(6);
    size_t dash = ranges.find('-');
    if (dash == std::string_view::npos) {
        send(200, h, body);
        return;
    }
    int64_t size = static_cast<int64_t>(body.size());
    int64_t first, last;
    if (dash == 0) {
        int64_t suffix = toInt(ranges.substr(1), -1);
        if (suffix <= 0) {
            send(200, h, body);
            return;
        }
        first = std::max<int64_t>(0, size - suffix);
        last = size - 1;
    } else {
        first = toInt(ranges.substr(0, dash), -1);
        last = dash + 1 == ranges.size() ? std::max<int64_t>(first, size - 1) : toInt(ranges.substr(dash + 1), -1);
        if (first < 0 || last < first) {
            send(200, h, body);
            return;
        }
        last = std::min(last, size - 1);
    }
    if (first >= size) {
        h.emplace_back("Content-Range", "bytes */" + std::to_string(size));
        send(416, h, "");
        return;
    }
    h.emplace_back("Content-Range", "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" + std::to_string(size));
    send(206, h, body.substr(static_cast<size_t>(first), static_cast<size_t>(last - first + 1)));
}

void HTTPResponder::redirect(int status, std::string_view location, const HeaderList& extra) {
    HeaderList h = extra;
    h.emplace_back("Location", std::string(location));
    send(status, h, "");
}

namespace {
// Thrown out of a handler that pauses while the server stops, so that a handler looping on
// pause() cannot keep the server from stopping.
struct ServerStopping {};
}  // namespace

void HTTPResponder::pause(double seconds) {
    std::unique_lock lock(connection_.server_.mutex_);
    connection_.server_.changed_.wait_for(lock, std::chrono::duration<double>(seconds),
                                          [&] { return connection_.server_.stopping_.load(); });
    if (connection_.server_.stopping_) throw ServerStopping{};
}

void HTTPResponder::stall() {
    // Wake up now and then to notice a client that went away.
    while (!connection_.server_.stopping_) {
        pollfd p{connection_.fd_, POLLIN | POLLRDHUP, 0};
        int r = ::poll(&p, 1, 50);
        if (r > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR))) return;
        if (r > 0 && (p.revents & POLLIN)) {
            char c;
            if (::recv(connection_.fd_, &c, 1, MSG_PEEK) <= 0) return;
            // A pipelined request: keep stalling, but do not spin on it.
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
}

void HTTPResponder::drop() {
    // A zero linger makes the close that follows a reset instead of an orderly end.
    linger l{1, 0};
    ::setsockopt(connection_.fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    connection_.broken_ = true;
    dropped_ = true;
}

TestHTTPServer::TestHTTPServer() { start(); }

TestHTTPServer::TestHTTPServer(const TLSIdentity& identity) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    if (!ctx) throw std::runtime_error("SSL_CTX_new failed");
    sslContext_ = ctx;
    bool ok = true;
    BIO* certs = BIO_new_mem_buf(identity.certificateChainPEM.data(), static_cast<int>(identity.certificateChainPEM.size()));
    X509* leaf = PEM_read_bio_X509(certs, nullptr, nullptr, nullptr);
    if (!leaf || SSL_CTX_use_certificate(ctx, leaf) != 1) ok = false;
    X509_free(leaf);
    while (ok) {
        X509* extra = PEM_read_bio_X509(certs, nullptr, nullptr, nullptr);
        if (!extra) break;
        if (SSL_CTX_add_extra_chain_cert(ctx, extra) != 1) {  // takes ownership on success
            X509_free(extra);
            ok = false;
        }
    }
    ERR_clear_error();
    BIO_free(certs);
    BIO* keyBio = BIO_new_mem_buf(identity.privateKeyPEM.data(), static_cast<int>(identity.privateKeyPEM.size()));
    EVP_PKEY* key = PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr);
    BIO_free(keyBio);
    if (!key || SSL_CTX_use_PrivateKey(ctx, key) != 1) ok = false;
    EVP_PKEY_free(key);
    if (!ok) {
        SSL_CTX_free(ctx);
        sslContext_ = nullptr;
        throw std::runtime_error("TLS identity does not load");
    }
    start();
}

TestHTTPServer::~TestHTTPServer() {
    stop();
    if (sslContext_) SSL_CTX_free(static_cast<SSL_CTX*>(sslContext_));
}

void TestHTTPServer::start() {
    // OpenSSL writes to sockets without MSG_NOSIGNAL: a client that hangs up must not kill the
    // test process.
    ::signal(SIGPIPE, SIG_IGN);
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) throw std::runtime_error("socket failed");
    int one = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listenFd_, 512) != 0) {
        ::close(listenFd_);
        throw std::runtime_error("bind/listen failed");
    }
    socklen_t len = sizeof addr;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

void TestHTTPServer::stop() {
    if (stopping_.exchange(true)) return;
    {
        std::lock_guard lock(mutex_);
        changed_.notify_all();
        for (int fd : openFds_) ::shutdown(fd, SHUT_RDWR);
    }
    if (acceptThread_.joinable()) acceptThread_.join();
    ::close(listenFd_);
    std::vector<std::thread> workers;
    {
        std::lock_guard lock(mutex_);
        workers.swap(workers_);
    }
    for (auto& t : workers) t.join();
}

void TestHTTPServer::acceptLoop() {
    while (!stopping_) {
        pollfd p{listenFd_, POLLIN, 0};
        int r = ::poll(&p, 1, 50);
        if (r <= 0) continue;
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        int index = ++connections_;
        std::lock_guard lock(mutex_);
        if (stopping_) {
            ::close(fd);
            break;
        }
        openFds_.push_back(fd);
        workers_.emplace_back([this, fd, index] { serve(fd, index); });
    }
}

void TestHTTPServer::serve(int fd, int index) {
    SSL* ssl = nullptr;
    bool ok = true;
    if (sslContext_) {
        ssl = SSL_new(static_cast<SSL_CTX*>(sslContext_));
        SSL_set_fd(ssl, fd);
        // The client may refuse our certificate: the handshake then simply fails.
        ok = SSL_accept(ssl) == 1;
        ERR_clear_error();
    }
    if (ok) {
        HTTPConnection connection(*this, fd, ssl);
        for (int n = 1; !stopping_; ++n) {
            HTTPRequest request;
            request.connectionIndex = index;
            request.indexOnConnection = n;
            if (!connection.readRequest(request)) break;
            record(request);
            HTTPResponder responder(connection);
            bool wantsClose = equalsIgnoringCase(request.header("Connection"), "close") || request.version == "HTTP/1.0";
            if (wantsClose) responder.closeAfter_ = true;
            HTTPHandler handler = handlerFor(request.path);
            try {
                handler(request, responder);
            } catch (const ServerStopping&) {
                break;
            }
            if (responder.dropped_ || responder.closeAfter_ || connection.broken_) break;
        }
        if (ssl && !connection.broken_) SSL_shutdown(ssl);
    }
    if (ssl) SSL_free(ssl);
    ERR_clear_error();
    std::lock_guard lock(mutex_);
    openFds_.erase(std::remove(openFds_.begin(), openFds_.end(), fd), openFds_.end());
    ::close(fd);
}

void TestHTTPServer::record(const HTTPRequest& request) {
    std::lock_guard lock(mutex_);
    log_.push_back(request);
    changed_.notify_all();
}

HTTPHandler TestHTTPServer::handlerFor(const std::string& path) const {
    std::lock_guard lock(mutex_);
    auto it = routes_.find(path);
    if (it != routes_.end()) return it->second;
    if (fallback_) return fallback_;
    return [](const HTTPRequest&, HTTPResponder& r) { r.send(404, "not found"); };
}

void TestHTTPServer::route(const std::string& path, HTTPHandler handler) {
    std::lock_guard lock(mutex_);
    routes_[path] = std::move(handler);
}

void TestHTTPServer::fallback(HTTPHandler handler) {
    std::lock_guard lock(mutex_);
    fallback_ = std::move(handler);
}

std::string TestHTTPServer::baseURL() const {
    return std::string(sslContext_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_);
}

std::string TestHTTPServer::localhostURL(std::string_view pathAndQuery) const {
    return std::string(sslContext_ ? "https" : "http") + "://localhost:" + std::to_string(port_) + std::string(pathAndQuery);
}

std::vector<HTTPRequest> TestHTTPServer::requests() const {
    std::lock_guard lock(mutex_);
    return log_;
}

size_t TestHTTPServer::requestCount() const {
    std::lock_guard lock(mutex_);
    return log_.size();
}

bool TestHTTPServer::waitForRequests(size_t n, double timeoutSeconds) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::duration<double>(timeoutSeconds), [&] { return log_.size() >= n; });
}

std::string TestHTTPServer::gzip(std::string_view body) { return compress(body, 15 + 16); }
std::string TestHTTPServer::deflate(std::string_view body) { return compress(body, 15); }

std::string TestHTTPServer::reasonPhrase(int status) {
    switch (status) {
        case 100: return "Continue";
        case 200: return "OK";
        case 201: return "Created";
        case 204: return "No Content";
        case 206: return "Partial Content";
        case 301: return "Moved Permanently";
        case 302: return "Found";
        case 303: return "See Other";
        case 304: return "Not Modified";
        case 307: return "Temporary Redirect";
        case 308: return "Permanent Redirect";
        case 400: return "Bad Request";
        case 401: return "Unauthorized";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 416: return "Range Not Satisfiable";
        case 500: return "Internal Server Error";
        case 503: return "Service Unavailable";
        default: return "Status";
    }
}

// Standard routes:
//   /hello                      200 "hello"
//   /bytes?n=N                  N bytes a..z repeating, Content-Length
//   /chunked?n=N&size=S         the same in chunks of S bytes
//   /gzip?n=N, /deflate?n=N     the same, compressed
//   /status?code=C              status C with body "status C"
//   /redirect?n=K[&status=S]    K hops (status S, default 302) ending at /hello
//   /redirect-to?url=U[&status=S]
//   /set-cookie?name=N&value=V[&attrs=A]   Set-Cookie: N=V[; A] (A already escaped by the caller)
//   /cookies                    the request's Cookie header as the body
//   /echo                       the request body back; method in "X-Method"
//   /stall                      nothing at all
//   /stall-body?n=N             head with Content-Length 2N, N bytes, then nothing
//   /drop                       reset before any reply
//   /drop-body?n=N              head with Content-Length 2N, N bytes, then a reset
//   /range?n=N                  N bytes with Range support
//   /slow?pieces=P&ms=M         P chunks of "x" with M milliseconds between them
void TestHTTPServer::installStandardRoutes() {
    route("/hello", [](const HTTPRequest&, HTTPResponder& r) { r.send(200, "hello"); });
    route("/bytes", [](const HTTPRequest& q, HTTPResponder& r) {
        r.send(200, {{"Content-Type", "application/octet-stream"}}, pattern(static_cast<size_t>(toInt(q.queryValue("n"), 1024))));
    });
    route("/chunked", [](const HTTPRequest& q, HTTPResponder& r) {
        r.sendChunked(200, {{"Content-Type", "text/plain"}}, pattern(static_cast<size_t>(toInt(q.queryValue("n"), 1024))),
                      static_cast<size_t>(toInt(q.queryValue("size"), 100)));
    });
    route("/gzip", [](const HTTPRequest& q, HTTPResponder& r) {
        r.sendEncoded(200, {{"Content-Type", "text/plain"}}, pattern(static_cast<size_t>(toInt(q.queryValue("n"), 1024))), "gzip");
    });
    route("/deflate", [](const HTTPRequest& q, HTTPResponder& r) {
        r.sendEncoded(200, {{"Content-Type", "text/plain"}}, pattern(static_cast<size_t>(toInt(q.queryValue("n"), 1024))), "deflate");
    });
    route("/status", [](const HTTPRequest& q, HTTPResponder& r) {
        int code = static_cast<int>(toInt(q.queryValue("code"), 200));
        r.send(code, "status " + std::to_string(code));
    });
    route("/redirect", [](const HTTPRequest& q, HTTPResponder& r) {
        int64_t n = toInt(q.queryValue("n"), 1);
        int status = static_cast<int>(toInt(q.queryValue("status"), 302));
        if (n <= 0) {
            r.send(200, "redirected");
            return;
        }
        std::string next = n == 1 ? "/hello" : "/redirect?n=" + std::to_string(n - 1) + "&status=" + std::to_string(status);
        r.redirect(status, next);
    });
    route("/redirect-to", [](const HTTPRequest& q, HTTPResponder& r) {
        r.redirect(static_cast<int>(toInt(q.queryValue("status"), 302)), q.queryValue("url"));
    });
    route("/set-cookie", [](const HTTPRequest& q, HTTPResponder& r) {
        std::string cookie = q.queryValue("name") + "=" + q.queryValue("value");
        std::string attrs = q.queryValue("attrs");
        if (!attrs.empty()) cookie += "; " + attrs;
        r.send(200, {{"Set-Cookie", cookie}, {"Content-Type", "text/plain"}}, "cookie set");
    });
    route("/cookies", [](const HTTPRequest& q, HTTPResponder& r) { r.send(200, q.header("Cookie")); });
    route("/echo", [](const HTTPRequest& q, HTTPResponder& r) {
        r.send(200, {{"X-Method", q.method}, {"Content-Type", "application/octet-stream"}}, q.body);
    });
    route("/stall", [](const HTTPRequest&, HTTPResponder& r) { r.stall(); });
    route("/stall-body", [](const HTTPRequest& q, HTTPResponder& r) {
        size_t n = static_cast<size_t>(toInt(q.queryValue("n"), 100));
        r.writeHead(200, {{"Content-Length", std::to_string(2 * n)}});
        r.writeRaw(pattern(n));
        r.stall();
    });
    route("/drop", [](const HTTPRequest&, HTTPResponder& r) { r.drop(); });
    route("/drop-body", [](const HTTPRequest& q, HTTPResponder& r) {
        size_t n = static_cast<size_t>(toInt(q.queryValue("n"), 100));
        r.writeHead(200, {{"Content-Length", std::to_string(2 * n)}});
        r.writeRaw(pattern(n));
        r.pause(0.05);
        r.drop();
    });
    route("/range", [](const HTTPRequest& q, HTTPResponder& r) {
        r.sendWithRange(q, pattern(static_cast<size_t>(toInt(q.queryValue("n"), 1000))), {{"ETag", "\"v1\""}});
    });
    route("/slow", [](const HTTPRequest& q, HTTPResponder& r) {
        int64_t pieces = toInt(q.queryValue("pieces"), 5);
        double ms = static_cast<double>(toInt(q.queryValue("ms"), 20));
        r.writeHead(200, {{"Transfer-Encoding", "chunked"}});
        for (int64_t i = 0; i < pieces; ++i) {
            r.writeChunk("x");
            r.pause(ms / 1000.0);
        }
        r.endChunks();
    });
}

}  // namespace zvt::test
