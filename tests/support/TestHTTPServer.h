// A loopback HTTP/1.1 server for tests and benchmarks: real sockets on 127.0.0.1, one thread per
// connection, keep-alive, optional TLS through OpenSSL. Handlers script every reply byte by byte
// when they need to (stalls, dropped connections, broken chunking), or use the helpers for the
// common cases (plain, chunked, gzip and deflate bodies, Range, redirects, Set-Cookie).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace zvt::test {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

struct HTTPRequest {
    std::string method;
    std::string target;  // as sent: path plus query
    std::string path;    // target without the query
    std::string query;   // text after '?', without it
    std::string version;
    HeaderList headers;
    std::string body;
    int connectionIndex = 0;    // 1-based number of the accepted connection that carried it
    int indexOnConnection = 0;  // 1-based number of the request on that connection

    // Case-insensitive header lookup; "" when absent.
    std::string header(std::string_view name) const;
    bool hasHeader(std::string_view name) const;
    // Value of one query parameter (no percent decoding); "" when absent.
    std::string queryValue(std::string_view name) const;
};

class HTTPConnection;

// What a handler writes its reply with. Writes go straight to the socket.
class HTTPResponder {
public:
    // A complete reply with Content-Length.
    void send(int status, const HeaderList& headers, std::string_view body);
    void send(int status, std::string_view body, std::string_view contentType = "text/plain");
    // Same, but the body is sent in chunked transfer encoding, split into pieces of chunkSize.
    void sendChunked(int status, const HeaderList& headers, std::string_view body, size_t chunkSize = 7);
    // The body compressed with "gzip" or "deflate" (zlib format) and the matching Content-Encoding.
    void sendEncoded(int status, const HeaderList& headers, std::string_view body, std::string_view encoding);
    // Serves body honouring a single "Range: bytes=..." request header (206/416), else 200.
    void sendWithRange(const HTTPRequest& request, std::string_view body, const HeaderList& extra = {});
    // A redirect to location with an empty body.
    void redirect(int status, std::string_view location, const HeaderList& extra = {});

    // Raw pieces for replies that are malformed on purpose.
    void writeHead(int status, const HeaderList& headers);
    void writeRaw(std::string_view bytes);
    void writeChunk(std::string_view bytes);
    void endChunks();

    // Server-side pauses (the client sees a slow peer). Once the server stops, pause() leaves
    // the handler (by an exception the server catches).
    void pause(double seconds);
    // Blocks until the server stops or the client goes away; the client sees a silent peer.
    void stall();
    // Closes the connection now with a reset; nothing more is sent on it.
    void drop();
    // Closes the connection after this reply even if the client asked for keep-alive.
    void closeAfterReply() { closeAfter_ = true; }

    bool dropped() const { return dropped_; }

private:
    friend class HTTPConnection;
    friend class TestHTTPServer;
    explicit HTTPResponder(HTTPConnection& connection) : connection_(connection) {}
    HTTPConnection& connection_;
    bool closeAfter_ = false;
    bool dropped_ = false;
    bool wroteSomething_ = false;
};

using HTTPHandler = std::function<void(const HTTPRequest&, HTTPResponder&)>;

struct TLSIdentity {
    std::string certificateChainPEM;  // leaf first, then intermediates
    std::string privateKeyPEM;
};

class TestHTTPServer {
public:
    // Plain HTTP on 127.0.0.1 and an ephemeral port. Requests without a route get 404.
    TestHTTPServer();
    // TLS on 127.0.0.1; throws std::runtime_error when the identity does not load.
    explicit TestHTTPServer(const TLSIdentity& identity);
    ~TestHTTPServer();
    TestHTTPServer(const TestHTTPServer&) = delete;
    TestHTTPServer& operator=(const TestHTTPServer&) = delete;

    // Routes by exact path; the fallback handles every path without a route.
    void route(const std::string& path, HTTPHandler handler);
    void fallback(HTTPHandler handler);
    // The built-in routes used by the URL-loading tests (see the .cpp for the list).
    void installStandardRoutes();

    uint16_t port() const { return port_; }
    // "http://127.0.0.1:<port>" or "https://..." for the TLS server.
    std::string baseURL() const;
    std::string url(std::string_view pathAndQuery) const { return baseURL() + std::string(pathAndQuery); }
    // The same with "localhost" as host.
    std::string localhostURL(std::string_view pathAndQuery) const;

    std::vector<HTTPRequest> requests() const;
    size_t requestCount() const;
    int connectionCount() const { return connections_.load(); }
    // Blocks (bounded by timeoutSeconds of real time) until n requests have been received.
    bool waitForRequests(size_t n, double timeoutSeconds = 5.0) const;

    void stop();

    // Helpers shared with tests that check what was sent.
    static std::string gzip(std::string_view body);
    static std::string deflate(std::string_view body);
    static std::string reasonPhrase(int status);

private:
    friend class HTTPConnection;
    friend class HTTPResponder;
    void start();
    void acceptLoop();
    void serve(int fd, int index);
    void record(const HTTPRequest& request);
    HTTPHandler handlerFor(const std::string& path) const;

    void* sslContext_ = nullptr;  // SSL_CTX*
    int listenFd_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    std::thread acceptThread_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::map<std::string, HTTPHandler> routes_;
    HTTPHandler fallback_;
    std::vector<HTTPRequest> log_;
    std::vector<std::thread> workers_;
    std::vector<int> openFds_;
};

}  // namespace zvt::test
