#include "platform/network/NSURLConnection.h"

#include <atomic>
#include <cstdlib>

#include "platform/foundation/NSStream.h"

#include <curl/curl.h>

#include <cerrno>
#include <cstdio>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/network/LoaderLoop.h"
#include "platform/network/NSHTTPCookie.h"
#include "platform/security/SecPolicy.h"

namespace zvt {

// Records how the delegate answered a challenge; the loader reads it when the call returns.
class ChallengeAnswer final : public NSURLAuthenticationChallengeSender {
public:
    enum Kind { None, UseCredential, WithoutCredential, Cancel, DefaultHandling, RejectSpace };
    Kind kind = None;
    std::shared_ptr<NSURLCredential> credential;

    void useCredential(const std::shared_ptr<NSURLCredential>& c, const std::shared_ptr<NSURLAuthenticationChallenge>&) override {
        answer(UseCredential);
        credential = c;
    }
    void continueWithoutCredentialForAuthenticationChallenge(const std::shared_ptr<NSURLAuthenticationChallenge>&) override {
        answer(WithoutCredential);
    }
    void cancelAuthenticationChallenge(const std::shared_ptr<NSURLAuthenticationChallenge>&) override { answer(Cancel); }
    void performDefaultHandlingForAuthenticationChallenge(const std::shared_ptr<NSURLAuthenticationChallenge>&) override {
        answer(DefaultHandling);
    }
    void rejectProtectionSpaceAndContinueWithChallenge(const std::shared_ptr<NSURLAuthenticationChallenge>&) override {
        answer(RejectSpace);
    }

private:
    // The first answer counts.
    void answer(Kind k) {
        if (kind == None) kind = k;
    }
};

namespace {

constexpr int kMaximumRedirects = 16;
// NSURLErrorRequestBodyStreamExhausted: a redirect needs the body again and no new stream came.
constexpr NSInteger kRequestBodyStreamExhausted = -1021;
// Larger replies are not offered for caching (nor buffered for it).
constexpr size_t kCacheableLimit = 1 << 20;

bool isRedirectStatus(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

}  // namespace zvt

using zvt::ChallengeAnswer;

// ---- delegate defaults

void NSURLConnectionDelegate::connectionDidFailWithError(const Connection&, const std::shared_ptr<NSError>&) {}
bool NSURLConnectionDelegate::connectionShouldUseCredentialStorage(const Connection&) { return true; }

void NSURLConnectionDelegate::connectionWillSendRequestForAuthenticationChallenge(
    const Connection& connection, const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) {
    if (connectionCanAuthenticateAgainstProtectionSpace(connection, challenge->protectionSpace())) {
        connectionDidReceiveAuthenticationChallenge(connection, challenge);
    } else if (auto sender = challenge->sender()) {
        sender->performDefaultHandlingForAuthenticationChallenge(challenge);
    }
}

bool NSURLConnectionDelegate::connectionCanAuthenticateAgainstProtectionSpace(const Connection&,
                                                                               const std::shared_ptr<NSURLProtectionSpace>&) {
    return false;
}

void NSURLConnectionDelegate::connectionDidReceiveAuthenticationChallenge(const Connection&,
                                                                           const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) {
    if (auto sender = challenge->sender()) sender->performDefaultHandlingForAuthenticationChallenge(challenge);
}

std::shared_ptr<NSURLRequest> NSURLConnectionDelegate::connectionWillSendRequest(const Connection&,
                                                                                const std::shared_ptr<NSURLRequest>& request,
                                                                                const std::shared_ptr<NSURLResponse>&) {
    return request;
}

void NSURLConnectionDelegate::connectionDidReceiveResponse(const Connection&, const std::shared_ptr<NSURLResponse>&) {}
void NSURLConnectionDelegate::connectionDidReceiveData(const Connection&, const std::shared_ptr<NSData>&) {}

std::shared_ptr<NSInputStream> NSURLConnectionDelegate::connectionNeedNewBodyStream(const Connection&,
                                                                                   const std::shared_ptr<NSURLRequest>&) {
    return nullptr;
}

void NSURLConnectionDelegate::connectionDidSendBodyData(const Connection&, NSInteger, NSInteger, NSInteger) {}

std::shared_ptr<NSCachedURLResponse> NSURLConnectionDelegate::connectionWillCacheResponse(
    const Connection&, const std::shared_ptr<NSCachedURLResponse>& cachedResponse) {
    return cachedResponse;
}

void NSURLConnectionDelegate::connectionDidFinishLoading(const Connection&) {}

// ---- connection

NSURLConnection::NSURLConnection(std::shared_ptr<NSURLRequest> request, std::shared_ptr<NSURLConnectionDelegate> delegate)
    : originalRequest_(request ? request->copy() : nullptr), currentRequest_(originalRequest_), delegate_(std::move(delegate)) {}

NSURLConnection::~NSURLConnection() = default;

std::shared_ptr<NSURLConnection> NSURLConnection::initWithRequest(const std::shared_ptr<NSURLRequest>& request,
                                                                  const std::shared_ptr<NSURLConnectionDelegate>& delegate,
                                                                  bool startImmediately) {
    if (!request) return nullptr;
    auto connection = std::make_shared<NSURLConnection>(request, delegate);
    if (startImmediately) connection->start();
    return connection;
}

bool NSURLConnection::canHandleRequest(const std::shared_ptr<NSURLRequest>& request) {
    if (!request || !request->URL()) return false;
    const auto& parts = request->URL()->parts();
    return parts.scheme && (zvt::asciiEqualsIgnoringCase(*parts.scheme, "http") || zvt::asciiEqualsIgnoringCase(*parts.scheme, "https")) &&
           parts.host && !parts.host->empty();
}

std::shared_ptr<NSURLRequest> NSURLConnection::currentRequest() const {
    std::lock_guard lock(requestMutex_);
    return currentRequest_;
}

void NSURLConnection::scheduleInRunLoop(const std::shared_ptr<NSRunLoop>& runLoop, const std::string& mode) {
    if (!runLoop || started_) return;
    if (runLoop_ && runLoop_ != runLoop) return;  // one run loop per connection
    runLoop_ = runLoop;
    for (const auto& m : modes_) {
        if (m == mode) return;
    }
    modes_.push_back(mode);
}

void NSURLConnection::unscheduleFromRunLoop(const std::shared_ptr<NSRunLoop>& runLoop, const std::string& mode) {
    if (started_ || runLoop != runLoop_) return;
    std::erase(modes_, mode);
    if (modes_.empty()) runLoop_.reset();
}

std::atomic<size_t>& NSURLConnection::loadsInFlight() {
    static std::atomic<size_t> count{0};
    return count;
}

size_t zvt::urlConnectionLoadsInFlight() { return NSURLConnection::loadsInFlight().load(); }

void NSURLConnection::start() {
    if (cancelled_ || started_.exchange(true)) return;
    if (!runLoop_) [[unlikely]] scheduleOnCurrentRunLoop();
    keepAlive_ = self();
    loadsInFlight().fetch_add(1);
    runLoop_->performInModes(modes_, [weak = std::weak_ptr<NSURLConnection>(keepAlive_)] { startOnRunLoop(weak); });
}

void NSURLConnection::scheduleOnCurrentRunLoop() {
    runLoop_ = NSRunLoop::currentRunLoop();
    modes_ = {NSDefaultRunLoopMode};
}

void NSURLConnection::startOnRunLoop(const std::weak_ptr<NSURLConnection>& weak) {
    auto connection = weak.lock();
    if (!connection || !connection->active()) return;
    auto& loader = zvt::RunLoopLoader::forCurrentThread(connection->runLoop_);
    loader.addModes(connection->modes_);
    connection->startOn(loader);
}

void NSURLConnection::startOn(zvt::LoaderLoop& loop) {
    loop_ = &loop;
    begin();
}

void NSURLConnection::cancel() {
    if (cancelled_.exchange(true)) return;
    auto stopNow = [](const std::shared_ptr<NSURLConnection>& c) {
        if (c->ended_) return;
        c->end();
    };
    zvt::LoaderLoop* loop = loop_.load();
    if (loop && loop->isCurrent()) {
        auto hold = self();
        stopNow(hold);
        return;
    }
    if (!started_ || !runLoop_) {
        return;  // nothing runs; the delegate goes with the connection
    }
    auto hold = self();
    // On the thread of its run loop before that loop has taken the start, nothing of the load
    // has begun and nothing else can touch it: it ends here. That thread may never turn the
    // loop again (a download cancelled as it began, whose thread then stops its loop and goes
    // back to its queue), and a stop left queued there would keep the load in flight for good.
    if (!loop && runLoop_ == NSRunLoop::currentRunLoop()) {
        stopNow(hold);
        return;
    }
    runLoop_->performInModes(modes_, [hold, stopNow] { stopNow(hold); });
}

std::shared_ptr<NSError> NSURLConnection::errorFor(NSInteger code, const std::string& description) const {
    auto request = currentRequest();
    std::vector<std::pair<id, id>> info = {{NSLocalizedDescriptionKey.get(), NSString::stringWithUTF8String(description)}};
    if (request && request->URL()) {
        info.emplace_back(NSURLErrorFailingURLErrorKey.get(), request->URL());
        info.emplace_back(NSURLErrorFailingURLStringErrorKey.get(), request->URL()->absoluteString());
    }
    return NSError::errorWithDomain(NSURLErrorDomain, code, NSDictionary::dictionaryWithPairs(std::move(info)));
}

void NSURLConnection::touch() { lastActivity_ = Clock::nowNanos(); }

void NSURLConnection::armTimeout(double seconds) {
    zvt::LoaderLoop* loop = loop_.load();
    if (currentRequest_->timeoutInterval() <= 0 || !loop) {
        clearTimeout();
        return;
    }
    timeoutSet_ = true;
    loop->setTimeout(std::static_pointer_cast<zvt::LoaderTimeoutClient>(self()), seconds);
}

void NSURLConnection::clearTimeout() {
    if (!timeoutSet_) return;
    timeoutSet_ = false;
    if (zvt::LoaderLoop* loop = loop_.load()) loop->removeTimeout(this);
}

void NSURLConnection::loaderTimeoutFired() {
    timeoutSet_ = false;  // the loop has removed it
    if (!active()) return;
    auto hold = self();
    double timeout = currentRequest()->timeoutInterval();
    double idle = static_cast<double>(Clock::nowNanos() - lastActivity_) / 1e9;
    if (idle + 1e-6 >= timeout) {
        fail(errorFor(NSURLErrorTimedOut, "The request timed out."));
    } else {
        armTimeout(timeout - idle);
    }
}

void NSURLConnection::begin() {
    if (!active()) return;
    auto hold = self();
    // Only this thread changes the current request: it reads it without the lock.
    const std::shared_ptr<NSURLRequest> request = currentRequest_;
    if (!canHandleRequest(request)) [[unlikely]] {
        failUnsupported(request);
        return;
    }
    response_.reset();
    cacheableBody_.clear();
    cacheable_ = false;
    touch();
    zvt::CurlEngine& engine = loop_.load()->engine();
    // Made in place as the argument: the request's strings are neither moved nor destroyed twice.
    auto transfer = engine.start(transferRequestFor(request), std::weak_ptr<zvt::CurlTransferClient>(hold));
    if (!active()) [[unlikely]] {
        // Cancelled by another connection's delegate while the engine got going.
        engine.stop(transfer);
        return;
    }
    transfer_ = std::move(transfer);
    armTimeout(request->timeoutInterval());
}

zvt::CurlTransferRequest NSURLConnection::transferRequestFor(const std::shared_ptr<NSURLRequest>& request) {
    const NSURL& url = *request->URL();
    zvt::CurlTransferRequest transferRequest;
    // The request does not change: the engine reads its URL, method, fields and body where they
    // are (the transfer keeps the request), unless a cookie is to be added.
    transferRequest.owner = request;
    // Fragments are never sent. The URL's text is its parts written back, so the text before
    // any '#' is what goes out.
    if (url.parts().fragment) [[unlikely]] {
        cutFragment(request, transferRequest);
    } else {
        transferRequest.url = url.absoluteText();
    }
    transferRequest.method = request->method();
    transferRequest.headers = std::shared_ptr<const zvt::HTTPHeaderList>(request, &request->headerFields().all());
    if (request->HTTPShouldHandleCookies()) addStoredCookies(*request, transferRequest);
    if (detours_ && detours_->credential) [[unlikely]] addCredential(transferRequest);
    if (const auto& body = request->HTTPBody()) {
        transferRequest.hasBody = true;
        transferRequest.body = body->view();  // never a null view, even when empty
    } else if (request->HTTPBodyStream()) [[unlikely]] {
        openBodyStream(*request, transferRequest);
    }
    return transferRequest;
}

void NSURLConnection::cutFragment(const std::shared_ptr<NSURLRequest>& request, zvt::CurlTransferRequest& transferRequest) {
    const NSURL& url = *request->URL();
    const std::string& text = url.absoluteText();
    auto cut = std::make_shared<const std::pair<std::shared_ptr<NSURLRequest>, std::string>>(
        request, text.substr(0, text.size() - url.parts().fragment->size() - 1));
    transferRequest.url = cut->second;
    transferRequest.owner = std::move(cut);
}

void NSURLConnection::failUnsupported(const std::shared_ptr<NSURLRequest>& request) {
    fail(errorFor(request && request->URL() ? NSURLErrorUnsupportedURL : NSURLErrorBadURL, "unsupported URL"));
}

void NSURLConnection::addStoredCookies(const NSURLRequest& request, zvt::CurlTransferRequest& transferRequest) {
    if (request.headerFields().find("Cookie")) return;
    if (auto cookie = NSHTTPCookieStorage::sharedHTTPCookieStorage()->cookieHeaderForURL(*request.URL())) {
        auto withCookie = std::make_shared<zvt::HTTPHeaderList>(request.headerFields().all());
        withCookie->emplace_back("Cookie", *cookie);
        transferRequest.headers = std::move(withCookie);
    }
}

void NSURLConnection::addCredential(zvt::CurlTransferRequest& transferRequest) const {
    const auto& credential = detours_->credential;
    if (!credential->user()) return;
    transferRequest.basicAuth = true;
    transferRequest.user = credential->user()->utf8();
    transferRequest.password = credential->password() ? credential->password()->utf8() : "";
}

void NSURLConnection::openBodyStream(const NSURLRequest& request, zvt::CurlTransferRequest& transferRequest) {
    // The body is read piece by piece while curl sends it; without a Content-Length it goes out
    // chunked.
    auto& bodyStream = detours().bodyStream;
    bodyStream = request.HTTPBodyStream();
    if (bodyStream->streamStatus() == NSStreamStatusNotOpen) bodyStream->open();
    transferRequest.hasBody = true;
    if (const std::string* length = request.headerFields().find("Content-Length")) {
        char* end = nullptr;
        long long n = std::strtoll(length->c_str(), &end, 10);
        if (end && *end == '\0' && n >= 0) transferRequest.streamLength = n;
    }
}

void NSURLConnection::transferDidReceiveResponse(int status, const std::string& httpVersion, zvt::HTTPHeaderList headers) {
    if (!active()) return;
    auto hold = self();
    touch();
    auto request = currentRequest_;  // only this thread changes it
    const auto& url = request->URL();
    if (request->HTTPShouldHandleCookies()) {
        // Each Set-Cookie line by itself, before the response joins repeated fields.
        for (size_t i = 0; i < headers.size(); ++i) {
            if (zvt::asciiEqualsIgnoringCase(headers[i].first, "Set-Cookie")) [[unlikely]] {
                storeCookies(*request, headers, i);
                break;
            }
        }
    }
    auto response = NSHTTPURLResponse::withHeaderLines(url, status, httpVersion, std::move(headers));
    if (zvt::isRedirectStatus(status)) [[unlikely]] {
        if (redirect(*request, response)) return;
    }
    if (status == 401 && challengeForCredential(response)) [[unlikely]] return;
    response_ = response;
    cacheable_ = status == 200 && request->method() == "GET" &&
                 response->expectedContentLength() <= static_cast<int64_t>(zvt::kCacheableLimit);
    if (delegate_) delegate_->connectionDidReceiveResponse(hold, response);
}

void NSURLConnection::storeCookies(const NSURLRequest& request, const zvt::HTTPHeaderList& headers, size_t first) {
    std::vector<std::string> lines{headers[first].second};
    for (size_t i = first + 1; i < headers.size(); ++i) {
        if (zvt::asciiEqualsIgnoringCase(headers[i].first, "Set-Cookie")) lines.push_back(headers[i].second);
    }
    NSHTTPCookieStorage::sharedHTTPCookieStorage()->storeSetCookieLines(lines, *request.URL(), request.mainDocumentURL());
}

bool NSURLConnection::redirect(const NSURLRequest& request, const std::shared_ptr<NSHTTPURLResponse>& response) {
    const auto& url = request.URL();
    const int status = static_cast<int>(response->statusCode());
    std::shared_ptr<NSString> location = response->valueForHTTPHeaderField("Location");
    std::shared_ptr<NSURL> target = location ? NSURL::URLWithString(location, url) : nullptr;
    if (!target || !canHandleRequest(NSURLRequest::requestWithURL(target->absoluteURL()))) return false;
    auto hold = self();
    auto& detours = this->detours();
    if (++detours.redirects > zvt::kMaximumRedirects) {
        fail(errorFor(NSURLErrorHTTPTooManyRedirects, "too many HTTP redirects"));
        return true;
    }
    auto next = request.mutableCopy();
    next->setURL(target->absoluteURL());
    const std::string& method = request.method();
    bool toGet = status == 303 ? method != "HEAD" && method != "GET" : (status == 301 || status == 302) && method == "POST";
    if (toGet) {
        next->setHTTPMethod("GET");
        next->setHTTPBody(nullptr);
        next->setValue(nullptr, NSString::stringWithUTF8String("Content-Type"));
        next->setValue(nullptr, NSString::stringWithUTF8String("Content-Length"));
    }
    std::shared_ptr<NSURLRequest> chosen;
    chosen = delegate_ ? delegate_->connectionWillSendRequest(hold, next, response) : std::shared_ptr<NSURLRequest>(next);
    if (!active()) return true;
    if (chosen && chosen->HTTPBodyStream() && chosen->HTTPBodyStream() == request.HTTPBodyStream()) {
        // The stream has been read for the first request: the delegate must give a new one.
        std::shared_ptr<NSInputStream> fresh = delegate_ ? delegate_->connectionNeedNewBodyStream(hold, chosen) : nullptr;
        if (!active()) return true;
        if (!fresh) {
            fail(errorFor(zvt::kRequestBodyStreamExhausted, "request body stream exhausted"));
            return true;
        }
        auto again = chosen->mutableCopy();
        again->setHTTPBodyStream(fresh);
        chosen = again;
    }
    if (chosen && detours.credential && chosen->URL()) {
        // A password given for one server is not sent on to another.
        const auto& from = url->parts();
        const auto& to = chosen->URL()->parts();
        if (!from.host || !to.host || !zvt::asciiEqualsIgnoringCase(*from.host, *to.host) || from.port != to.port ||
            !from.scheme || !to.scheme || !zvt::asciiEqualsIgnoringCase(*from.scheme, *to.scheme)) {
            detours.credential.reset();
            detours.authFailures = 0;
        }
    }
    if (chosen) {
        // The redirect reply's body is dropped; the next request starts when it has ended.
        detours.pendingRedirect = chosen->copy();
        return true;
    }
    return false;
}

bool NSURLConnection::challengeForCredential(const std::shared_ptr<NSHTTPURLResponse>& response) {
    if (!delegate_) return false;
    auto authenticate = response->valueForHTTPHeaderField("WWW-Authenticate");
    if (!authenticate || authenticate->length() < 5 || !zvt::asciiEqualsIgnoringCase(authenticate->view().substr(0, 5), "basic")) {
        return false;  // other schemes reach the delegate as a plain 401 reply
    }
    std::string header = authenticate->utf8();
    std::shared_ptr<NSString> realm;
    size_t at = zvt::asciiLowercase(header).find("realm=");
    if (at != std::string::npos) {
        std::string value = header.substr(at + 6);
        if (!value.empty() && value[0] == '"') {
            size_t close = value.find('"', 1);
            value = value.substr(1, close == std::string::npos ? std::string::npos : close - 1);
        } else {
            value = value.substr(0, value.find_first_of(", "));
        }
        realm = NSString::stringWithUTF8String(value);
    }
    auto hold = self();
    const auto& parts = response->URL()->parts();
    bool tls = parts.scheme && zvt::asciiEqualsIgnoringCase(*parts.scheme, "https");
    auto space = NSURLProtectionSpace::initWithHost(NSString::stringWithUTF8String(parts.host.value_or("")),
                                                    parts.port.value_or(tls ? 443 : 80),
                                                    tls ? NSURLProtectionSpaceHTTPS : NSURLProtectionSpaceHTTP, realm,
                                                    NSURLAuthenticationMethodHTTPBasic);
    auto answer = std::make_shared<ChallengeAnswer>();
    auto& detours = this->detours();
    auto challenge =
        NSURLAuthenticationChallenge::initWithProtectionSpace(space, detours.credential, detours.authFailures, response, nullptr, answer);
    delegate_->connectionWillSendRequestForAuthenticationChallenge(hold, challenge);
    if (!active()) return true;
    switch (answer->kind) {
        case ChallengeAnswer::UseCredential:
            if (answer->credential && answer->credential->user() && !currentRequest()->HTTPBodyStream()) {
                detours.credential = answer->credential;
                ++detours.authFailures;
                detours.retryWithCredential = true;  // the 401 body is dropped; the retry starts at its end
                return true;
            }
            return false;
        case ChallengeAnswer::Cancel:
        case ChallengeAnswer::None:
            fail(errorFor(NSURLErrorUserCancelledAuthentication, "cancelled"));
            return true;
        default:
            return false;
    }
}

void NSURLConnection::transferDidReceiveData(std::string data) {
    if (!active() || detoured()) return;
    auto hold = self();
    touch();
    if (cacheable_) [[unlikely]] keepForCache(data);
    auto bytes = NSData::dataWithBytes(data.data(), data.size());
    if (delegate_) delegate_->connectionDidReceiveData(hold, bytes);
}

void NSURLConnection::keepForCache(const std::string& data) {
    if (cacheableBody_.size() + data.size() > zvt::kCacheableLimit) {
        cacheable_ = false;
        cacheableBody_.clear();
    } else {
        cacheableBody_ += data;
    }
}

void NSURLConnection::transferDidSendBodyData(int64_t bytesWritten, int64_t totalWritten, int64_t totalExpected) {
    if (!active() || detoured()) return;
    auto hold = self();
    touch();
    if (delegate_) delegate_->connectionDidSendBodyData(hold, bytesWritten, totalWritten, totalExpected);
}

void NSURLConnection::transferDidComplete(int result, long osErrno, std::string_view message) {
    auto hold = self();
    transfer_.reset();
    if (detours_ && detours_->pendingException) [[unlikely]] {
        raisePending();
        return;
    }
    if (!active()) return;
    if (detoured()) [[unlikely]] {
        beginAgain();
        return;
    }
    if (result == CURLE_OK) [[likely]] {
        finishLoading();
        return;
    }
    failTransfer(result, osErrno, message);
}

void NSURLConnection::raisePending() {
    // The delegate raised while curl was in the handshake: end here, then let it go on.
    std::exception_ptr raised = std::move(detours_->pendingException);
    detours_->pendingException = nullptr;
    end();
    std::rethrow_exception(raised);
}

void NSURLConnection::beginAgain() {
    if (detours_->pendingRedirect) {
        {
            std::lock_guard lock(requestMutex_);
            currentRequest_ = detours_->pendingRedirect;
        }
        detours_->pendingRedirect.reset();
    } else {
        detours_->retryWithCredential = false;
    }
    begin();
}

void NSURLConnection::failTransfer(int result, long osErrno, std::string_view message) {
    const std::shared_ptr<NSInputStream> bodyStream = detours_ ? detours_->bodyStream : nullptr;
    if (bodyStream && bodyStream->streamStatus() == NSStreamStatusError && bodyStream->streamError()) {
        // The body could not be read to its end: the stream's own error says why.
        fail(bodyStream->streamError());
        return;
    }
    NSInteger code = NSURLErrorUnknown;
    std::string text = "unknown error";
    if (message == "trust-cancelled") {
        code = NSURLErrorCancelled;
        text = "cancelled";
    } else if (message == "trust-refused") {
        code = NSURLErrorServerCertificateUntrusted;
        text = "The certificate for this server is invalid.";
    } else {
        switch (result) {
            case CURLE_OPERATION_TIMEDOUT:
                code = NSURLErrorTimedOut;
                text = "The request timed out.";
                break;
            case CURLE_COULDNT_RESOLVE_HOST:
            case CURLE_COULDNT_RESOLVE_PROXY:
                code = NSURLErrorCannotFindHost;
                text = "A server with the specified hostname could not be found.";
                break;
            case CURLE_COULDNT_CONNECT:
                if (osErrno == ENETUNREACH || osErrno == ENETDOWN) {
                    code = NSURLErrorNotConnectedToInternet;
                    text = "The Internet connection appears to be offline.";
                } else {
                    code = NSURLErrorCannotConnectToHost;
                    text = "Could not connect to the server.";
                }
                break;
            case CURLE_SEND_ERROR:
            case CURLE_RECV_ERROR:
            case CURLE_PARTIAL_FILE:
            case CURLE_GOT_NOTHING:
            case CURLE_SEND_FAIL_REWIND:
                code = NSURLErrorNetworkConnectionLost;
                text = "The network connection was lost.";
                break;
            case CURLE_SSL_CONNECT_ERROR:
            case CURLE_SSL_CIPHER:
            case CURLE_SSL_ENGINE_INITFAILED:
                code = NSURLErrorSecureConnectionFailed;
                text = "An SSL error has occurred and a secure connection to the server cannot be made.";
                break;
            case CURLE_PEER_FAILED_VERIFICATION:
            case CURLE_SSL_CACERT_BADFILE:
                code = NSURLErrorServerCertificateUntrusted;
                text = "The certificate for this server is invalid.";
                break;
            case CURLE_UNSUPPORTED_PROTOCOL:
                code = NSURLErrorUnsupportedURL;
                text = "unsupported URL";
                break;
            case CURLE_URL_MALFORMAT:
                code = NSURLErrorBadURL;
                text = "bad URL";
                break;
            case CURLE_BAD_CONTENT_ENCODING:
                code = NSURLErrorCannotDecodeContentData;
                text = "cannot decode content data";
                break;
            case CURLE_WEIRD_SERVER_REPLY:
                code = NSURLErrorCannotParseResponse;
                text = "cannot parse response";
                break;
            case CURLE_READ_ERROR:
            case CURLE_ABORTED_BY_CALLBACK:
                code = NSURLErrorCancelled;
                text = "cancelled";
                break;
            case CURLE_FILESIZE_EXCEEDED:
                code = NSURLErrorDataLengthExceedsMaximum;
                text = "resource exceeds maximum size";
                break;
            default:
                text = message;
                break;
        }
    }
    fail(errorFor(code, text));
}

zvt::TrustAnswer NSURLConnection::transferEvaluateServerTrust(const std::vector<std::string>& chainDER, const std::string& host, int port) {
    if (!active()) return zvt::TrustAnswer::Cancel;
    auto hold = self();
    touch();
    std::vector<SecCertificateRef> certificates;
    for (const auto& der : chainDER) {
        auto certificate = SecCertificateCreateWithData(der.data(), der.size());
        if (certificate) certificates.push_back(certificate);
    }
    SecTrustRef trust;
    if (certificates.empty() ||
        SecTrustCreateWithCertificates(certificates, {SecPolicyCreateSSL(true, host)}, &trust) != errSecSuccess || !trust) {
        return zvt::TrustAnswer::Reject;
    }
    auto space = NSURLProtectionSpace::initWithHost(NSString::stringWithUTF8String(host), port, NSURLProtectionSpaceHTTPS,
                                                    nullptr, NSURLAuthenticationMethodServerTrust);
    space->setServerTrust(trust);
    auto answer = std::make_shared<ChallengeAnswer>();
    auto challenge = NSURLAuthenticationChallenge::initWithProtectionSpace(space, nullptr, 0, nullptr, nullptr, answer);
    if (delegate_) {
        try {
            delegate_->connectionWillSendRequestForAuthenticationChallenge(hold, challenge);
        } catch (...) {
            // Never through OpenSSL and curl: kept and raised again once curl has returned.
            detours().pendingException = std::current_exception();
            return zvt::TrustAnswer::Cancel;
        }
    } else {
        answer->performDefaultHandlingForAuthenticationChallenge(challenge);
    }
    if (!active()) return zvt::TrustAnswer::Cancel;
    switch (answer->kind) {
        case ChallengeAnswer::UseCredential:
            return answer->credential && answer->credential->serverTrust() ? zvt::TrustAnswer::Accept : zvt::TrustAnswer::Reject;
        case ChallengeAnswer::DefaultHandling:
        case ChallengeAnswer::RejectSpace:
        case ChallengeAnswer::WithoutCredential: {
            SecTrustResultType result = kSecTrustResultInvalid;
            bool ok = SecTrustEvaluate(trust, &result) == errSecSuccess &&
                      (result == kSecTrustResultProceed || result == kSecTrustResultUnspecified);
            return ok ? zvt::TrustAnswer::Accept : zvt::TrustAnswer::Reject;
        }
        case ChallengeAnswer::Cancel:
        case ChallengeAnswer::None:
            break;
    }
    return zvt::TrustAnswer::Cancel;
}

void NSURLConnection::finishLoading() {
    auto hold = self();
    clearTimeout();
    if (cacheable_) [[unlikely]] {
        if (!offerForCache()) return;
    }
    if (delegate_) delegate_->connectionDidFinishLoading(hold);
    if (!ended_) end();
}

bool NSURLConnection::offerForCache() {
    if (response_ && delegate_ && currentRequest()->cachePolicy() != NSURLRequestReloadIgnoringLocalCacheData) {
        auto hold = self();
        auto cached = NSCachedURLResponse::initWithResponse(response_, NSData::dataWithString(cacheableBody_));
        delegate_->connectionWillCacheResponse(hold, cached);
        if (!active()) return false;
    }
    cacheableBody_.clear();
    return true;
}

void NSURLConnection::fail(const std::shared_ptr<NSError>& error) {
    auto hold = self();
    if (transfer_ && loop_.load()) loop_.load()->engine().stop(transfer_);
    transfer_.reset();
    clearTimeout();
    if (active() && delegate_) delegate_->connectionDidFailWithError(hold, error);
    if (!ended_) end();
}

void NSURLConnection::end() {
    auto hold = std::move(keepAlive_);
    if (hold) loadsInFlight().fetch_sub(1);
    ended_ = true;
    clearTimeout();
    if (transfer_ && loop_.load()) loop_.load()->engine().stop(transfer_);
    transfer_.reset();
    delegate_.reset();
    if (detours_) [[unlikely]] {
        detours_->pendingRedirect.reset();
        detours_->credential.reset();
    }
}

NSURLConnection::Detours& NSURLConnection::detours() {
    if (!detours_) detours_ = std::make_unique<Detours>();
    return *detours_;
}

// ---- synchronous send

namespace {

class SynchronousDelegate final : public NSURLConnectionDelegate {
public:
    std::shared_ptr<NSURLResponse> response;
    std::string body;
    std::shared_ptr<NSError> error;
    bool done = false;

    void connectionDidReceiveResponse(const Connection&, const std::shared_ptr<NSURLResponse>& r) override {
        response = r;
        body.clear();
    }
    void connectionDidReceiveData(const Connection&, const std::shared_ptr<NSData>& data) override { body += data->view(); }
    void connectionDidFinishLoading(const Connection&) override { done = true; }
    void connectionDidFailWithError(const Connection&, const std::shared_ptr<NSError>& e) override {
        error = e;
        done = true;
    }
};

}  // namespace

std::shared_ptr<NSData> NSURLConnection::sendSynchronousRequest(const std::shared_ptr<NSURLRequest>& request,
                                                                std::shared_ptr<NSURLResponse>* response,
                                                                std::shared_ptr<NSError>* error) {
    if (response) response->reset();
    auto delegate = std::make_shared<SynchronousDelegate>();
    if (!request) {
        if (error) *error = NSError::errorWithDomain(NSURLErrorDomain, NSURLErrorBadURL);
        return nullptr;
    }
    zvt::PollLoader loop;
    auto connection = std::make_shared<NSURLConnection>(request, delegate);
    connection->started_ = true;
    connection->keepAlive_ = connection;
    loadsInFlight().fetch_add(1);
    connection->startOn(loop);
    loop.runUntil([&] { return delegate->done || connection->ended_; });
    connection->cancel();
    if (response) *response = delegate->response;
    if (delegate->error) {
        if (error) *error = delegate->error;
        return nullptr;
    }
    return NSData::dataWithString(delegate->body);
}

int64_t NSURLConnection::transferReadBody(char* buffer, size_t size) {
    // Called by curl on the loader's thread; the stream locks itself.
    std::shared_ptr<NSInputStream> stream = detours_ ? detours_->bodyStream : nullptr;
    if (!stream) return -1;
    if (size == 0) return 0;
    NSInteger n = stream->read(reinterpret_cast<uint8_t*>(buffer), size);
    if (n < 0) return -1;
    return n;
}
