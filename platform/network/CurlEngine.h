// The libcurl engine under URL loading: one multi handle per event loop (one per run-loop thread),
// whose sockets and timer are sources of that loop. Transfers report to a client object; every
// report except the server-trust question is queued inside curl's callbacks and delivered after
// curl has returned, so the client may cancel or restart transfers from any report and no
// exception ever unwinds through curl or OpenSSL.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

typedef void CURL;
typedef void CURLM;

namespace zvt {

using HTTPHeaderList = std::vector<std::pair<std::string, std::string>>;

// What the engine needs of the loop it runs on. All calls happen on the loop's thread.
class CurlEventLoop {
public:
    virtual ~CurlEventLoop() = default;
    // Watches fd for readiness; read == write == false stops watching it. An empty onReady (for a
    // descriptor the engine watched before) keeps the one the loop was given for it.
    virtual void watchDescriptor(int fd, bool read, bool write, std::function<void(bool readable, bool writable)> onReady) = 0;
    // Runs fn on the loop's thread soon, after the current callback has returned.
    virtual void performSoon(std::function<void()> fn) = 0;
};

enum class TrustAnswer {
    Accept,      // finish the handshake
    Reject,      // the trust was judged and refused (untrusted certificate)
    Cancel,      // the challenge was cancelled
};

class CurlTransferClient {
public:
    virtual ~CurlTransferClient() = default;
    // The final (non-1xx) response head of the current request; the header lines as received,
    // handed over.
    virtual void transferDidReceiveResponse(int status, const std::string& httpVersion, HTTPHeaderList headers) = 0;
    virtual void transferDidReceiveData(std::string data) = 0;
    virtual void transferDidSendBodyData(int64_t bytesWritten, int64_t totalWritten, int64_t totalExpected) = 0;
    // result is a CURLcode; osErrno is curl's CURLINFO_OS_ERRNO; message is "trust-cancelled" or
    // "trust-refused" when the handshake failed on the trust answer, else curl's text for result.
    virtual void transferDidComplete(int result, long osErrno, std::string_view message) = 0;
    // Called synchronously during the TLS handshake with the presented chain (DER, leaf first).
    // Must not throw; may not touch the transfer.
    virtual TrustAnswer transferEvaluateServerTrust(const std::vector<std::string>& chainDER, const std::string& host, int port) = 0;
    // Body bytes for a streamed body: returns the count read, 0 at the end, -1 on failure.
    virtual int64_t transferReadBody(char* buffer, size_t size) {
        (void)buffer;
        (void)size;
        return -1;
    }
};

// What a transfer sends. URL, method and body are views of text the owner keeps (a URL request,
// which does not change): a load copies none of them. Views of null-terminated text, as curl
// reads them.
struct CurlTransferRequest {
    CurlTransferRequest() = default;
    // A request that keeps its own copies of the URL and method.
    explicit CurlTransferRequest(std::string url, std::string method = "GET");
    std::shared_ptr<const void> owner;  // keeps url, method and body for as long as the transfer lives
    std::string_view url;
    std::string_view method = "GET";
    std::shared_ptr<const HTTPHeaderList> headers;  // null for none; read, never changed
    bool hasBody = false;
    std::string_view body;       // the whole body, or a null view (data() == nullptr) for a streamed one
    int64_t streamLength = -1;   // a streamed body's length when known
    bool basicAuth = false;      // send user and password with HTTP Basic
    std::string user, password;
};

class CurlEngine;

// The header lines of a request as handed to curl (which reads them while the transfer runs).
// Shared by the transfers that send the same lines: a client sends request after request with
// the same headers, and the list is then made once.
struct CurlHeaderLines {
    std::vector<std::string> lines;
    void* list = nullptr;  // curl_slist* of the lines
    ~CurlHeaderLines();
};

// An easy handle with a record of the options its last transfer set (the next transfer sets only
// what differs). Curl's callbacks get the handle, which names the transfer it runs.
struct CurlHandle;

// One request on the engine. Owned by its client (shared), referenced weakly by the engine while
// running.
class CurlTransfer {
    struct Made {};  // made by the engine only

public:
    explicit CurlTransfer(Made) {}
    ~CurlTransfer();
    bool running() const { return running_; }

private:
    friend class CurlEngine;
    CurlEngine* engine_ = nullptr;
    CurlHandle* handle_ = nullptr;  // the engine's, while the transfer runs on it
    CURL* easy_ = nullptr;          // the handle's
    std::weak_ptr<CurlTransferClient> client_;
    CurlTransferRequest request_;
    bool running_ = false;
    bool trustRefused_ = false;
    bool trustCancelled_ = false;
    int64_t uploaded_ = 0;
    std::string host_;
    int port_ = 0;

    // Response head being read.
    int status_ = 0;
    std::string version_;
    HTTPHeaderList headers_;
    bool inFinalHead_ = false;

    // Curl's callbacks, given the transfer's CurlHandle.
    friend struct CurlHandle;
    static size_t onHeader(char* data, size_t size, size_t count, void* handle);
    static size_t onWrite(char* data, size_t size, size_t count, void* handle);
    static size_t onRead(char* data, size_t size, size_t count, void* handle);
    static int onSeek(void* handle, long long offset, int origin);
    static int onProgress(void* handle, long long dlTotal, long long dlNow, long long ulTotal, long long ulNow);
    [[gnu::noinline]] void reportSent(int64_t total, int64_t now);
    static int onSSLContext(CURL* easy, void* sslContext, void* handle);

public:
    // Asks the client; records a refusal for the completion report. Called by the verify step.
    TrustAnswer evaluateTrust(const std::vector<std::string>& chainDER);
};

class CurlEngine {
public:
    explicit CurlEngine(CurlEventLoop& loop);
    ~CurlEngine();
    CurlEngine(const CurlEngine&) = delete;
    CurlEngine& operator=(const CurlEngine&) = delete;

    // Starts a transfer. Reports (its own failure included) may be delivered before start
    // returns, unless start is called from a report.
    std::shared_ptr<CurlTransfer> start(CurlTransferRequest transferRequest, std::weak_ptr<CurlTransferClient> client);
    // Stops a transfer at once; nothing more is reported for it.
    void stop(const std::shared_ptr<CurlTransfer>& transfer);
    size_t activeCount() const { return active_.size(); }


private:
    friend class CurlTransfer;
    void socketAction(int fd, int flags);
    void afterAction();
    void deliver();
    void armTimer(long ms);
    // The lines of the request's headers, the last request's list when they are the same.
    std::shared_ptr<CurlHeaderLines> headerLinesFor(const CurlTransferRequest& request);
    static int onSocket(CURL* easy, int fd, int what, void* self, void* socketData);
    [[gnu::noinline]] void watchNew(int fd, bool read, bool write);
    static int onTimer(CURLM* multi, long ms, void* self);

    CurlEventLoop& loop_;
    CURLM* multi_ = nullptr;
    int timerFd_ = -1;
    bool acting_ = false;
    bool inRound_ = false;        // inside socketAction: a zero time-out is served before it returns
    bool immediate_ = false;      // curl asked for a zero time-out during the round
    int64_t armedDeadline_ = -1;  // absolute CLOCK_MONOTONIC nanoseconds of the armed timerfd
    bool kickPending_ = false;    // a zero time-out outside a round, handed to performSoon
    bool adding_ = false;         // inside start's curl_multi_add_handle
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    // Easy handles of finished transfers, kept with their options for the next ones (making one
    // is a large allocation, setting every option again is not free). A handle comes back as soon
    // as curl has let go of it (completion or stop, on the loop's thread), whoever still holds
    // its transfer.
    std::vector<CurlHandle*> idleHandles_;
    // Takes a running transfer out of curl (never from inside curl's callbacks) and keeps its
    // handle for the next one.
    void releaseHandle(CurlTransfer* transfer);
    std::shared_ptr<CurlHeaderLines> lastHeaderLines_;  // the last request's, for the next one
    std::vector<std::shared_ptr<CurlTransfer>> active_;

    // Reports queued inside curl's callbacks, in the order curl made them, delivered after curl
    // has returned. A report names its transfer, which is running (in active_) until its
    // completion is delivered or it is stopped; stop() forgets its reports.
    struct Report {
        enum Kind : uint8_t { Response, Data, Sent, Done };
        CurlTransfer* transfer;
        Kind kind;
        int status = 0;  // the response's status or the result
        int64_t a = 0, b = 0, c = 0;  // sent counts; for Done the OS errno and the trust answer
        std::string text;  // version or data
        HTTPHeaderList headers;
        Report(CurlTransfer* t, Kind k) : transfer(t), kind(k) {}
    };
    Report& queue(CurlTransfer* transfer, Report::Kind kind) { return reports_.emplace_back(transfer, kind); }
    void forgetReports(const CurlTransfer* transfer);
    // Takes a completed transfer out of the engine; the share returned keeps it for its report.
    std::shared_ptr<CurlTransfer> finished(CurlTransfer* transfer);
    [[gnu::noinline]] void deliverFailed();
    std::vector<Report> reports_;
    size_t delivered_ = 0;  // reports_ before this one have been delivered
    // Descriptors curl has watched: a few, and mostly one kept-alive connection that curl stops
    // and starts watching on every request. The loop has the callback of each (the same for a
    // descriptor number whatever socket it is), so watching one again makes none.
    std::vector<int> watched_;
    // Stopped while curl was running (from the trust callback): removed once curl returns.
    std::vector<std::shared_ptr<CurlTransfer>> deferredRemovals_;
};

}  // namespace zvt
