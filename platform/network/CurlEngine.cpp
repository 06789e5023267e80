#include "platform/network/CurlEngine.h"

#include <curl/curl.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>

#include "platform/foundation/NSRunLoop.h"
#include "platform/network/URLParsing.h"

namespace zvt {

namespace {

void initCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string_view trimmed(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n')) --e;
    return s.substr(b, e - b);
}

// OpenSSL asks this for the whole peer chain instead of its own verification; the answer comes
// from the transfer's client (the server-trust challenge).
int verifyPeerChain(X509_STORE_CTX* store, void* arg);

}  // namespace

CurlTransferRequest::CurlTransferRequest(std::string u, std::string m) {
    auto texts = std::make_shared<const std::pair<std::string, std::string>>(std::move(u), std::move(m));
    url = texts->first;
    method = texts->second;
    owner = std::move(texts);
}

CurlHeaderLines::~CurlHeaderLines() {
    if (list) curl_slist_free_all(static_cast<curl_slist*>(list));
}

// What a transfer sets on a handle besides the options every transfer shares. The record lets the
// next transfer on the handle set only what differs and put back what only the last one set, so
// that a kept handle behaves as a fresh one would.
struct CurlHandle {
    // How the method and body were given to curl.
    enum class Shape : uint8_t { Get, Head, EmptyPost, MemoryBody, StreamBody, Custom };

    CURL* easy = nullptr;
    CurlTransfer* transfer = nullptr;  // the one running on the handle, for curl's callbacks
    std::string url;
    Shape shape = Shape::Get;
    std::string customRequest;  // CURLOPT_CUSTOMREQUEST, "" for none
    bool tls = false;
    bool basicAuth = false;
    std::shared_ptr<CurlHeaderLines> headerLines;  // the list curl points at

    CurlHandle() : easy(curl_easy_init()) {
        curl_easy_setopt(easy, CURLOPT_PRIVATE, this);
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CurlTransfer::onHeader);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CurlTransfer::onWrite);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
        curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
        curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &CurlTransfer::onProgress);
        curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 0L);
        curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, &CurlTransfer::onSSLContext);
        curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, this);
    }
    ~CurlHandle() { curl_easy_cleanup(easy); }
    CurlHandle(const CurlHandle&) = delete;
    CurlHandle& operator=(const CurlHandle&) = delete;

    // Sets the options of a request, the ones the last transfer set and this one does not put
    // back to curl's defaults first.
    void prepare(const CurlTransferRequest& request, bool tlsURL, std::shared_ptr<CurlHeaderLines> lines);
};

void CurlHandle::prepare(const CurlTransferRequest& request, bool tlsURL, std::shared_ptr<CurlHeaderLines> lines) {
    if (url != request.url) {
        url = request.url;
        curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    }
    if (tls != tlsURL) {
        // Every TLS request is judged by its own connection's trust answer: no resumed sessions
        // and no connections shared with requests whose delegates may have judged differently.
        curl_easy_setopt(easy, CURLOPT_SSL_SESSIONID_CACHE, tlsURL ? 0L : 1L);
        curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, tlsURL ? 1L : 0L);
        curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, tlsURL ? 1L : 0L);
        tls = tlsURL;
    }
    if (request.basicAuth) {
        curl_easy_setopt(easy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
        curl_easy_setopt(easy, CURLOPT_USERNAME, request.user.c_str());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, request.password.c_str());
    } else if (basicAuth) {
        curl_easy_setopt(easy, CURLOPT_USERNAME, nullptr);
        curl_easy_setopt(easy, CURLOPT_PASSWORD, nullptr);
        curl_easy_setopt(easy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
    }
    basicAuth = request.basicAuth;

    // Views of null-terminated strings (the literal or the whole method), handed to curl as such.
    const std::string_view method = request.method.empty() ? std::string_view("GET") : request.method;
    Shape next;
    std::string_view custom;
    if (request.hasBody) {
        next = request.body.data() ? Shape::MemoryBody : Shape::StreamBody;
        if (method != "POST") custom = method;
    } else if (method == "GET") {
        next = Shape::Get;
    } else if (method == "HEAD") {
        next = Shape::Head;
    } else if (method == "POST") {
        next = Shape::EmptyPost;
    } else {
        next = Shape::Custom;
        custom = method;
    }
    const bool changed = next != shape;
    if (changed) {
        // Back to a fresh handle's GET: the body options of the last shape first (setting them
        // makes a POST), the method last.
        switch (shape) {
            case Shape::EmptyPost:
            case Shape::MemoryBody:
                curl_easy_setopt(easy, CURLOPT_POSTFIELDS, nullptr);
                curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(-1));
                break;
            case Shape::StreamBody:
                curl_easy_setopt(easy, CURLOPT_READFUNCTION, nullptr);
                curl_easy_setopt(easy, CURLOPT_READDATA, stdin);
                curl_easy_setopt(easy, CURLOPT_SEEKFUNCTION, nullptr);
                curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(-1));
                break;
            case Shape::Head:  // the GET below clears CURLOPT_NOBODY
            case Shape::Get:
            case Shape::Custom:
                break;
        }
        if (shape != Shape::Get && shape != Shape::Custom) curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
        shape = next;
    }
    if (custom != customRequest) {
        customRequest = custom;
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, customRequest.empty() ? nullptr : customRequest.c_str());
    }
    switch (next) {
        case Shape::MemoryBody:
            // A body held in memory goes to curl as it is: a small one leaves in the same packet
            // as the request head (the server is not woken twice), and curl sends it again by
            // itself when it retries on a kept-alive connection that the server had closed.
            // Curl does not read it once the transfer is over.
            curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
            curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.body.data());
            break;
        case Shape::StreamBody:
            if (changed) {
                curl_easy_setopt(easy, CURLOPT_POST, 1L);
                curl_easy_setopt(easy, CURLOPT_READFUNCTION, &CurlTransfer::onRead);
                curl_easy_setopt(easy, CURLOPT_READDATA, this);
                curl_easy_setopt(easy, CURLOPT_SEEKFUNCTION, &CurlTransfer::onSeek);
            }
            curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.streamLength));
            break;
        case Shape::Head:
            if (changed) curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
            break;
        case Shape::EmptyPost:
            if (changed) {
                curl_easy_setopt(easy, CURLOPT_POST, 1L);
                curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE, 0L);
                curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, "");
            }
            break;
        case Shape::Get:
        case Shape::Custom:
            break;
    }

    if (lines != headerLines) {
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, lines->list);
        headerLines = std::move(lines);
    }
}

CurlTransfer::~CurlTransfer() {
    // A transfer leaves the engine (and gives its handle back) before it can go away; this is
    // for one whose engine went first.
    delete handle_;
}

size_t CurlTransfer::onHeader(char* data, size_t size, size_t count, void* handle) {
    auto* t = static_cast<CurlHandle*>(handle)->transfer;
    size_t n = size * count;
    std::string_view line(data, n);
    if (line.rfind("HTTP/", 0) == 0) {
        // A status line starts a new head: an interim 1xx one, a redirect or the final reply.
        // Room for a usual head's fields at once (the list goes with the response).
        t->headers_.clear();
        t->headers_.reserve(8);
        size_t sp = line.find(' ');
        t->version_.assign(line.substr(0, sp));
        t->status_ = 0;
        if (sp != std::string_view::npos) {
            std::string_view rest = line.substr(sp + 1);
            for (size_t i = 0; i < rest.size() && i < 3 && rest[i] >= '0' && rest[i] <= '9'; ++i) {
                t->status_ = t->status_ * 10 + (rest[i] - '0');
            }
        }
        t->inFinalHead_ = t->status_ >= 200;
        return n;
    }
    std::string_view text = trimmed(line);
    if (text.empty()) {
        if (t->inFinalHead_ && t->engine_) {
            auto& e = t->engine_->queue(t, CurlEngine::Report::Response);
            e.status = t->status_;
            // The head is complete: a later line belongs to the next one, which starts afresh.
            e.text = std::move(t->version_);
            e.headers = std::move(t->headers_);
            t->headers_.clear();
        }
        t->inFinalHead_ = false;
        return n;
    }
    if ((line[0] == ' ' || line[0] == '\t') && !t->headers_.empty()) {
        std::string& value = t->headers_.back().second;
        value += ' ';
        value += text;
        return n;
    }
    size_t colon = text.find(':');
    if (colon != std::string_view::npos) {
        t->headers_.emplace_back(std::piecewise_construct, std::forward_as_tuple(trimmed(text.substr(0, colon))),
                                 std::forward_as_tuple(trimmed(text.substr(colon + 1))));
    }
    return n;
}

size_t CurlTransfer::onWrite(char* data, size_t size, size_t count, void* handle) {
    auto* t = static_cast<CurlHandle*>(handle)->transfer;
    size_t n = size * count;
    if (CurlEngine* engine = t->engine_) {
        // Data that follows data of the same transfer joins it.
        auto& reports = engine->reports_;
        if (reports.size() > engine->delivered_ && reports.back().transfer == t && reports.back().kind == CurlEngine::Report::Data) {
            reports.back().text.append(data, n);
        } else {
            engine->queue(t, CurlEngine::Report::Data).text.assign(data, n);
        }
    }
    return n;
}

size_t CurlTransfer::onRead(char* data, size_t size, size_t count, void* handle) {
    auto* t = static_cast<CurlHandle*>(handle)->transfer;
    size_t n = size * count;
    auto client = t->client_.lock();
    if (!client) return CURL_READFUNC_ABORT;
    int64_t got = -1;
    try {
        got = client->transferReadBody(data, n);
    } catch (...) {
        got = -1;
    }
    if (got < 0) return CURL_READFUNC_ABORT;
    return static_cast<size_t>(got);
}

int CurlTransfer::onSeek(void*, long long, int) {
    // Only a body held in memory can be sent again (curl retries a request on a reused
    // connection that the server had closed), and curl keeps that one itself.
    return CURL_SEEKFUNC_CANTSEEK;
}

int CurlTransfer::onProgress(void* handle, long long, long long, long long ulTotal, long long ulNow) {
    // Curl calls this a dozen times per transfer; mostly nothing more has been sent.
    auto* t = static_cast<CurlHandle*>(handle)->transfer;
    if (ulNow > t->uploaded_) [[unlikely]] t->reportSent(ulTotal, ulNow);
    return 0;
}

void CurlTransfer::reportSent(int64_t total, int64_t now) {
    if (!engine_) return;
    auto& e = engine_->queue(this, CurlEngine::Report::Sent);
    e.a = now - uploaded_;
    e.b = now;
    e.c = request_.body.data() ? static_cast<int64_t>(request_.body.size()) : (request_.streamLength >= 0 ? request_.streamLength : (total > 0 ? total : -1));
    uploaded_ = now;
}

int CurlTransfer::onSSLContext(CURL*, void* sslContext, void* handle) {
    auto* ctx = static_cast<SSL_CTX*>(sslContext);
    // Curl's own verification is off; ours runs for every new handshake and must be able to
    // fail it, which needs SSL_VERIFY_PEER.
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_cert_verify_callback(ctx, verifyPeerChain, handle);
    return CURLE_OK;
}

namespace {

int verifyPeerChain(X509_STORE_CTX* store, void* handle) {
    auto* t = static_cast<CurlHandle*>(handle)->transfer;
    std::vector<std::string> chain;
    auto appendDER = [&chain](X509* cert) {
        unsigned char* der = nullptr;
        int len = i2d_X509(cert, &der);
        if (len > 0) {
            chain.emplace_back(reinterpret_cast<char*>(der), static_cast<size_t>(len));
            OPENSSL_free(der);
        }
    };
    X509* leaf = X509_STORE_CTX_get0_cert(store);
    if (leaf) appendDER(leaf);
    STACK_OF(X509)* untrusted = X509_STORE_CTX_get0_untrusted(store);
    for (int i = 0; untrusted && i < sk_X509_num(untrusted); ++i) {
        X509* cert = sk_X509_value(untrusted, i);
        if (cert == leaf || (leaf && X509_cmp(cert, leaf) == 0)) continue;
        appendDER(cert);
    }
    TrustAnswer answer = t->evaluateTrust(chain);
    if (answer == TrustAnswer::Accept) return 1;
    X509_STORE_CTX_set_error(store, X509_V_ERR_APPLICATION_VERIFICATION);
    return 0;
}

}  // namespace

TrustAnswer CurlTransfer::evaluateTrust(const std::vector<std::string>& chain) {
    auto client = client_.lock();
    TrustAnswer answer = TrustAnswer::Cancel;
    if (client) {
        try {
            answer = client->transferEvaluateServerTrust(chain, host_, port_);
        } catch (...) {
            answer = TrustAnswer::Cancel;
        }
    }
    if (answer == TrustAnswer::Reject) trustRefused_ = true;
    if (answer == TrustAnswer::Cancel) trustCancelled_ = true;
    return answer;
}

CurlEngine::CurlEngine(CurlEventLoop& loop) : loop_(loop) {
    initCurlOnce();
    multi_ = curl_multi_init();
    curl_multi_setopt(multi_, CURLMOPT_SOCKETFUNCTION, &CurlEngine::onSocket);
    curl_multi_setopt(multi_, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(multi_, CURLMOPT_TIMERFUNCTION, &CurlEngine::onTimer);
    curl_multi_setopt(multi_, CURLMOPT_TIMERDATA, this);
    // curl's own protocol timers run on real time, whatever clock the loop's timers read.
    timerFd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    loop_.watchDescriptor(timerFd_, true, false, [this](bool, bool) {
        uint64_t expirations = 0;
        ssize_t ignored = ::read(timerFd_, &expirations, sizeof expirations);
        (void)ignored;
        armedDeadline_ = -1;
        socketAction(CURL_SOCKET_TIMEOUT, 0);
    });
}

CurlEngine::~CurlEngine() {
    auto transfers = active_;
    for (auto& t : transfers) stop(t);
    for (int fd : watched_) loop_.watchDescriptor(fd, false, false, nullptr);
    watched_.clear();
    loop_.watchDescriptor(timerFd_, false, false, nullptr);
    ::close(timerFd_);
    for (CurlHandle* handle : idleHandles_) delete handle;
    curl_multi_cleanup(multi_);
}

std::shared_ptr<CurlTransfer> CurlEngine::start(CurlTransferRequest request, std::weak_ptr<CurlTransferClient> client) {
    // Object and count in one allocation.
    auto t = std::make_shared<CurlTransfer>(CurlTransfer::Made{});
    t->engine_ = this;
    t->client_ = std::move(client);
    // Kept by the transfer for as long as curl reads it (URL, header lines, body): moved, not
    // copied.
    t->request_ = std::move(request);
    const CurlTransferRequest& transferRequest = t->request_;
    const bool tlsURL = transferRequest.url.size() > 6 && asciiEqualsIgnoringCase(transferRequest.url.substr(0, 6), "https:");
    // Host and port name the server in a trust challenge, which only TLS connections have.
    if (tlsURL) {
        if (auto parts = parseURLReference(transferRequest.url)) {
            t->host_ = parts->host.value_or("");
            t->port_ = parts->port.value_or(443);
        }
    }
    CurlHandle* handle;
    if (!idleHandles_.empty()) [[likely]] {
        handle = idleHandles_.back();
        idleHandles_.pop_back();
    } else {
        handle = new CurlHandle();
    }
    handle->transfer = t.get();
    t->handle_ = handle;
    t->easy_ = handle->easy;
    handle->prepare(transferRequest, tlsURL, headerLinesFor(transferRequest));

    t->running_ = true;
    active_.push_back(t);
    // Curl asks for a zero time-out on every handle added: outside a round it is served right
    // below, not handed to the loop as well.
    adding_ = true;
    curl_multi_add_handle(multi_, handle->easy);
    adding_ = false;
    // Get the transfer going now rather than one loop turn later (a kept-alive connection
    // sends the request at once). Reports of other transfers may be delivered from here.
    if (kickPending_ && !inRound_ && !acting_) {
        kickPending_ = false;
        socketAction(CURL_SOCKET_TIMEOUT, 0);
    }
    return t;
}

namespace {

// "Name: value", or "Name;" for a header sent with an empty value (curl's way to send one).
bool isHeaderLine(const std::string& line, std::string_view name, std::string_view value) {
    std::string_view l(line);
    if (value.empty()) return l.size() == name.size() + 1 && l.substr(0, name.size()) == name && l.back() == ';';
    return l.size() == name.size() + 2 + value.size() && l.substr(0, name.size()) == name && l.substr(name.size(), 2) == ": " &&
           l.substr(name.size() + 2) == value;
}

}  // namespace

std::shared_ptr<CurlHeaderLines> CurlEngine::headerLinesFor(const CurlTransferRequest& request) {
    static const HTTPHeaderList none;
    const HTTPHeaderList& headers = request.headers ? *request.headers : none;
    bool hasContentType = false;
    for (const auto& [name, value] : headers) {
        if (asciiEqualsIgnoringCase(name, "Content-Type")) hasContentType = true;
    }
    // No "Expect: 100-continue" round trip, and no form content type that the caller did not ask for.
    const size_t extra = request.hasBody ? (hasContentType ? 1 : 2) : 0;
    if (const auto& last = lastHeaderLines_; last && last->lines.size() == headers.size() + extra) {
        bool same = true;
        for (size_t i = 0; same && i < headers.size(); ++i) {
            same = isHeaderLine(last->lines[i], headers[i].first, headers[i].second);
        }
        if (same && extra > 0) same = last->lines[headers.size()] == "Expect:";
        if (same && extra > 1) same = last->lines[headers.size() + 1] == "Content-Type:";
        if (same) return last;
    }
    auto made = std::make_shared<CurlHeaderLines>();
    made->lines.reserve(headers.size() + extra);
    for (const auto& [name, value] : headers) made->lines.push_back(value.empty() ? name + ";" : name + ": " + value);
    if (extra > 0) made->lines.emplace_back("Expect:");
    if (extra > 1) made->lines.emplace_back("Content-Type:");
    curl_slist* list = nullptr;
    for (const auto& line : made->lines) list = curl_slist_append(list, line.c_str());
    made->list = list;
    lastHeaderLines_ = made;
    return made;
}

void CurlEngine::stop(const std::shared_ptr<CurlTransfer>& t) {
    if (!t || t->engine_ != this) return;
    if (acting_) {
        // curl forbids removing a handle from inside its own callbacks.
        deferredRemovals_.push_back(t);
    } else if (t->running_) {
        releaseHandle(t.get());
    }
    t->engine_ = nullptr;
    forgetReports(t.get());
    active_.erase(std::remove(active_.begin(), active_.end(), t), active_.end());
}

void CurlEngine::forgetReports(const CurlTransfer* t) {
    for (size_t i = delivered_; i < reports_.size(); ++i) {
        if (reports_[i].transfer == t) reports_[i].transfer = nullptr;
    }
}

int CurlEngine::onSocket(CURL*, int fd, int what, void* self, void*) {
    auto* engine = static_cast<CurlEngine*>(self);
    const bool read = what == CURL_POLL_IN || what == CURL_POLL_INOUT;
    const bool write = what == CURL_POLL_OUT || what == CURL_POLL_INOUT;  // both false for CURL_POLL_REMOVE
    if (std::find(engine->watched_.begin(), engine->watched_.end(), fd) != engine->watched_.end()) [[likely]] {
        engine->loop_.watchDescriptor(fd, read, write, nullptr);
    } else if (read || write) {
        engine->watchNew(fd, read, write);
    }
    return 0;
}

void CurlEngine::watchNew(int fd, bool read, bool write) {
    watched_.push_back(fd);
    loop_.watchDescriptor(fd, read, write, [this, fd](bool readable, bool writable) {
        int flags = (readable ? CURL_CSELECT_IN : 0) | (writable ? CURL_CSELECT_OUT : 0);
        socketAction(fd, flags);
    });
}

int CurlEngine::onTimer(CURLM*, long ms, void* self) {
    static_cast<CurlEngine*>(self)->armTimer(ms);
    return 0;
}

void CurlEngine::armTimer(long ms) {
    // timerfd_settime is costly; curl moves its time-out on nearly every call. A time-out of
    // 0 during a round is served by the round itself; a later one only ever moves the armed
    // deadline earlier (an early wake-up just lets curl ask again), and "no time-out" leaves
    // the timer as it is for the same reason.
    if (ms < 0) return;
    if (ms == 0 && inRound_) {
        immediate_ = true;
        return;
    }
    if (ms == 0) {
        if (kickPending_) return;
        kickPending_ = true;
        if (adding_) return;  // start() serves it once the handle is added
        std::weak_ptr<bool> alive = alive_;
        loop_.performSoon([this, alive] {
            if (alive.expired() || !kickPending_) return;  // served by start() meanwhile
            kickPending_ = false;
            socketAction(CURL_SOCKET_TIMEOUT, 0);
        });
        return;
    }
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    int64_t deadline = static_cast<int64_t>(now.tv_sec) * 1000000000LL + now.tv_nsec + static_cast<int64_t>(ms) * 1000000LL;
    if (armedDeadline_ >= 0 && armedDeadline_ <= deadline) return;
    armedDeadline_ = deadline;
    itimerspec expiry{};
    expiry.it_value.tv_sec = deadline / 1000000000LL;
    expiry.it_value.tv_nsec = deadline % 1000000000LL;
    timerfd_settime(timerFd_, TFD_TIMER_ABSTIME, &expiry, nullptr);
}

void CurlEngine::socketAction(int fd, int flags) {
    if (acting_) return;
    bool outer = !inRound_;
    inRound_ = true;
    do {
        immediate_ = false;
        int running = 0;
        acting_ = true;
        curl_multi_socket_action(multi_, fd, flags, &running);
        acting_ = false;
        for (auto& t : deferredRemovals_) {
            if (t->running_) releaseHandle(t.get());
        }
        deferredRemovals_.clear();
        // A failed handshake leaves OpenSSL errors on this thread; other OpenSSL users here (trust
        // evaluation) must not find them. Looking is cheaper than clearing an empty queue.
        if (ERR_peek_error() != 0) ERR_clear_error();
        try {
            afterAction();
        } catch (...) {
            if (outer) inRound_ = false;
            if (immediate_) armTimer(0);
            throw;
        }
        fd = CURL_SOCKET_TIMEOUT;
        flags = 0;
    } while (immediate_ && outer);
    if (outer) inRound_ = false;
}

void CurlEngine::afterAction() {
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi_, &left)) {
        if (msg->msg != CURLMSG_DONE) continue;
        CurlHandle* handle = nullptr;
        curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &handle);
        CurlTransfer* t = handle ? handle->transfer : nullptr;
        // A transfer stopped meanwhile has left the engine.
        if (!t || t->engine_ != this) continue;
        CURLcode result = msg->data.result;
        long osErrno = 0;
        curl_easy_getinfo(t->easy_, CURLINFO_OS_ERRNO, &osErrno);
        releaseHandle(t);
        auto& e = queue(t, Report::Done);
        e.status = static_cast<int>(result);
        e.a = osErrno;
        e.b = t->trustRefused_ ? 2 : t->trustCancelled_ ? 1 : 0;
    }
    if (delivered_ < reports_.size()) deliver();
}

void CurlEngine::deliver() {
    // A load's last reports come in a row (head, body, end); what the clients hand to other
    // run loops from them wakes those once, after the row.
    WakeUpBatch batch;
    // A report may start a nested round (a run loop run from a delegate): it delivers what
    // follows, and this loop goes on after it.
    while (delivered_ < reports_.size()) {
        Report& e = reports_[delivered_++];
        CurlTransfer* t = e.transfer;
        if (!t) continue;  // stopped by an earlier report
        std::shared_ptr<CurlTransfer> done;
        if (e.kind == Report::Done) {
            // The transfer leaves the engine, whether or not its client is still there.
            done = finished(t);
        }
        // The client is held for one report at a time: one that goes away gets nothing more.
        auto client = t->client_.lock();
        if (!client) continue;
        try {
            switch (e.kind) {
                case Report::Response: {
                    // Out of the list first: a nested round may move the list while the client runs.
                    const std::string version = std::move(e.text);
                    client->transferDidReceiveResponse(e.status, version, std::move(e.headers));
                    break;
                }
                case Report::Data:
                    client->transferDidReceiveData(std::move(e.text));
                    break;
                case Report::Sent:
                    client->transferDidSendBodyData(e.a, e.b, e.c);
                    break;
                case Report::Done: {
                    const int result = e.status;
                    const long osErrno = static_cast<long>(e.a);
                    const char* message = e.b == 1 ? "trust-cancelled" : e.b == 2 ? "trust-refused" : curl_easy_strerror(static_cast<CURLcode>(result));
                    client->transferDidComplete(result, osErrno, message);
                    break;
                }
            }
        } catch (...) {
            deliverFailed();
            throw;
        }
    }
    // Everything delivered: the list keeps its room for the next reports.
    reports_.clear();
    delivered_ = 0;
}

void CurlEngine::releaseHandle(CurlTransfer* t) {
    t->running_ = false;
    curl_multi_remove_handle(multi_, t->easy_);
    CurlHandle* handle = t->handle_;
    t->handle_ = nullptr;
    t->easy_ = nullptr;
    handle->transfer = nullptr;
    if (idleHandles_.size() < 32) [[likely]] {
        idleHandles_.push_back(handle);
    } else {
        delete handle;
    }
}

std::shared_ptr<CurlTransfer> CurlEngine::finished(CurlTransfer* t) {
    std::shared_ptr<CurlTransfer> hold;
    auto it = std::find_if(active_.begin(), active_.end(), [t](const auto& p) { return p.get() == t; });
    if (it != active_.end()) {
        hold = std::move(*it);
        active_.erase(it);
    }
    t->engine_ = nullptr;
    return hold;
}

void CurlEngine::deliverFailed() {
    // The reports not yet delivered stay, in order, for the next round; the exception belongs
    // to whoever runs the loop. A timer round soon delivers them (curl re-arms its own timer
    // then).
    if (delivered_ < reports_.size()) armTimer(0);
}

}  // namespace zvt
