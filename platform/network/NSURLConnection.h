// Asynchronous URL loading over libcurl. A connection is scheduled on a run loop; every delegate
// call happens on that run loop's thread while it runs in one of the connection's modes.
//
// Redirects are followed here, not by curl, so that the delegate sees and may change or refuse
// each one (POST becomes GET on 301, 302 and 303). Bodies in gzip or deflate are decoded. The
// inactivity time-out of the request runs on the run loop's clock. `cancel` ends every further
// delegate call at once when called on the connection's thread (from another thread, a call
// already under way still completes).
#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSError.h"
#include "platform/network/CurlEngine.h"
#include "platform/network/LoaderLoop.h"
#include "platform/network/NSURLAuthenticationChallenge.h"
#include "platform/network/NSURLRequest.h"

class NSRunLoop;
class NSURLConnection;

namespace zvt {
class LoaderLoop;
class ChallengeAnswer;
// Connections still loading (started and not yet finished, failed or cancelled), in the whole
// process. Tests wait for it to fall to zero so that no load outlives them.
size_t urlConnectionLoadsInFlight();
}  // namespace zvt

// NSURLConnectionDelegate and NSURLConnectionDataDelegate in one class. Every selector of these
// protocols begins with "connection", so each method joins its pieces
// (connection:didReceiveData: is connectionDidReceiveData). The defaults are what the loader
// does for a delegate that does not implement the method.
class NSURLConnectionDelegate {
public:
    using Connection = std::shared_ptr<NSURLConnection>;
    virtual ~NSURLConnectionDelegate() = default;

    virtual void connectionDidFailWithError(const Connection& connection, const std::shared_ptr<NSError>& error);
    virtual bool connectionShouldUseCredentialStorage(const Connection& connection);
    // The default asks the two older methods below: when the delegate can authenticate against
    // the space it gets didReceiveAuthenticationChallenge, else default handling is used.
    virtual void connectionWillSendRequestForAuthenticationChallenge(const Connection& connection,
                                                                     const std::shared_ptr<NSURLAuthenticationChallenge>& challenge);
    virtual bool connectionCanAuthenticateAgainstProtectionSpace(const Connection& connection,
                                                                 const std::shared_ptr<NSURLProtectionSpace>& protectionSpace);
    virtual void connectionDidReceiveAuthenticationChallenge(const Connection& connection,
                                                             const std::shared_ptr<NSURLAuthenticationChallenge>& challenge);

    // Called for each redirect the server asks for (never for the first request): the request
    // returned is sent (nil refuses the redirect; the redirect reply is then the response).
    virtual std::shared_ptr<NSURLRequest> connectionWillSendRequest(const Connection& connection,
                                                                    const std::shared_ptr<NSURLRequest>& request,
                                                                    const std::shared_ptr<NSURLResponse>& redirectResponse);
    virtual void connectionDidReceiveResponse(const Connection& connection, const std::shared_ptr<NSURLResponse>& response);
    virtual void connectionDidReceiveData(const Connection& connection, const std::shared_ptr<NSData>& data);
    virtual std::shared_ptr<NSInputStream> connectionNeedNewBodyStream(const Connection& connection,
                                                                       const std::shared_ptr<NSURLRequest>& request);
    virtual void connectionDidSendBodyData(const Connection& connection, NSInteger bytesWritten, NSInteger totalBytesWritten,
                                           NSInteger totalBytesExpectedToWrite);
    // Offered for successful GET replies of moderate size; the result is not kept anywhere
    // (this platform has no URL cache), but the delegate sees the decision it is asked for.
    virtual std::shared_ptr<NSCachedURLResponse> connectionWillCacheResponse(const Connection& connection,
                                                                             const std::shared_ptr<NSCachedURLResponse>& cachedResponse);
    virtual void connectionDidFinishLoading(const Connection& connection);
};

class NSURLConnection : public NSObject, public zvt::CurlTransferClient, public zvt::LoaderTimeoutClient {
public:
    // initWithRequest:delegate:startImmediately: (without the flag it starts at once). Starting
    // without a schedule schedules the connection on the current run loop in the default mode.
    // The connection holds its delegate until it finishes, fails or is cancelled.
    static std::shared_ptr<NSURLConnection> initWithRequest(const std::shared_ptr<NSURLRequest>& request,
                                                            const std::shared_ptr<NSURLConnectionDelegate>& delegate,
                                                            bool startImmediately = true);
    static std::shared_ptr<NSURLConnection> connectionWithRequest(const std::shared_ptr<NSURLRequest>& request,
                                                                  const std::shared_ptr<NSURLConnectionDelegate>& delegate) {
        return initWithRequest(request, delegate, true);
    }
    // http and https requests with a URL.
    static bool canHandleRequest(const std::shared_ptr<NSURLRequest>& request);
    // sendSynchronousRequest:returningResponse:error: blocks the calling thread (on a private
    // loop, not the run loop) until the load ends; the body, or nil and the error.
    static std::shared_ptr<NSData> sendSynchronousRequest(const std::shared_ptr<NSURLRequest>& request,
                                                          std::shared_ptr<NSURLResponse>* response, std::shared_ptr<NSError>* error);

    // All scheduling must happen before start, on one run loop (several modes are fine).
    void scheduleInRunLoop(const std::shared_ptr<NSRunLoop>& runLoop, const std::string& mode);
    void unscheduleFromRunLoop(const std::shared_ptr<NSRunLoop>& runLoop, const std::string& mode);
    void start();
    void cancel();

    std::shared_ptr<NSURLRequest> originalRequest() const { return originalRequest_; }
    std::shared_ptr<NSURLRequest> currentRequest() const;

    ~NSURLConnection() override;

    NSURLConnection(std::shared_ptr<NSURLRequest> request, std::shared_ptr<NSURLConnectionDelegate> delegate);

private:
    friend class zvt::ChallengeAnswer;
    std::shared_ptr<NSURLConnection> self() { return std::static_pointer_cast<NSURLConnection>(shared_from_this()); }
    void startOn(zvt::LoaderLoop& loop);
    [[gnu::cold, gnu::noinline]] void scheduleOnCurrentRunLoop();
    [[gnu::noinline]] static void startOnRunLoop(const std::weak_ptr<NSURLConnection>& weak);
    void begin();
    [[gnu::noinline]] zvt::CurlTransferRequest transferRequestFor(const std::shared_ptr<NSURLRequest>& request);
    void fail(const std::shared_ptr<NSError>& error);
    void finishLoading();
    // The rare turns of a load, kept out of the functions every load runs through.
    [[gnu::noinline]] void addStoredCookies(const NSURLRequest& request, zvt::CurlTransferRequest& transferRequest);
    // The URL without its fragment, kept with the request.
    [[gnu::cold, gnu::noinline]] static void cutFragment(const std::shared_ptr<NSURLRequest>& request,
                                                         zvt::CurlTransferRequest& transferRequest);
    [[gnu::cold, gnu::noinline]] void addCredential(zvt::CurlTransferRequest& transferRequest) const;
    [[gnu::cold, gnu::noinline]] void openBodyStream(const NSURLRequest& request, zvt::CurlTransferRequest& transferRequest);
    [[gnu::cold, gnu::noinline]] void failUnsupported(const std::shared_ptr<NSURLRequest>& request);
    // The reply's Set-Cookie lines, the first of which is headers[first].
    [[gnu::cold, gnu::noinline]] void storeCookies(const NSURLRequest& request, const zvt::HTTPHeaderList& headers, size_t first);
    // Follows a redirect reply when it can be followed; true when the reply is not to be delivered.
    [[gnu::cold, gnu::noinline]] bool redirect(const NSURLRequest& request, const std::shared_ptr<NSHTTPURLResponse>& response);
    [[gnu::cold, gnu::noinline]] void keepForCache(const std::string& data);
    // Offers the reply for caching; false when the connection ended meanwhile.
    [[gnu::cold, gnu::noinline]] bool offerForCache();
    [[gnu::cold, gnu::noinline]] void raisePending();
    [[gnu::cold, gnu::noinline]] void beginAgain();
    [[gnu::cold, gnu::noinline]] void failTransfer(int result, long osErrno, std::string_view message);
    void end();
    void touch();
    // An HTTP Basic challenge for a 401 reply; true when the reply is not to be delivered.
    bool challengeForCredential(const std::shared_ptr<NSHTTPURLResponse>& response);
    void armTimeout(double seconds);
    void clearTimeout();
    void loaderTimeoutFired() override;
    bool active() const { return !cancelled_.load() && !ended_; }
    std::shared_ptr<NSError> errorFor(NSInteger code, const std::string& description) const;

    // Curl engine reports (loop thread).
    void transferDidReceiveResponse(int status, const std::string& httpVersion, zvt::HTTPHeaderList headers) override;
    void transferDidReceiveData(std::string data) override;
    void transferDidSendBodyData(int64_t bytesWritten, int64_t totalWritten, int64_t totalExpected) override;
    void transferDidComplete(int result, long osErrno, std::string_view message) override;
    zvt::TrustAnswer transferEvaluateServerTrust(const std::vector<std::string>& chainDER, const std::string& host, int port) override;
    int64_t transferReadBody(char* buffer, size_t size) override;

    const std::shared_ptr<NSURLRequest> originalRequest_;
    mutable std::mutex requestMutex_;  // currentRequest_ is read from any thread
    std::shared_ptr<NSURLRequest> currentRequest_;
    std::shared_ptr<NSURLConnectionDelegate> delegate_;
    std::shared_ptr<NSURLConnection> keepAlive_;  // the loading connection owns itself until it ends
    static std::atomic<size_t>& loadsInFlight();
    friend size_t zvt::urlConnectionLoadsInFlight();

    std::shared_ptr<NSRunLoop> runLoop_;
    std::vector<std::string> modes_;
    std::atomic<zvt::LoaderLoop*> loop_{nullptr};  // set on the loop's thread, read by cancel anywhere
    std::shared_ptr<zvt::CurlTransfer> transfer_;
    bool timeoutSet_ = false;  // a time-out on the loop

    std::atomic<bool> started_{false};
    std::atomic<bool> cancelled_{false};
    bool ended_ = false;
    std::shared_ptr<NSURLResponse> response_;
    std::string cacheableBody_;
    bool cacheable_ = false;
    int64_t lastActivity_ = 0;
    // What only some loads use: made when first needed, so that a plain load neither builds nor
    // destroys it.
    struct Detours {
        int redirects = 0;
        std::shared_ptr<NSURLRequest> pendingRedirect;
        std::shared_ptr<NSURLCredential> credential;  // given in answer to an HTTP Basic challenge
        int authFailures = 0;
        bool retryWithCredential = false;
        std::shared_ptr<NSInputStream> bodyStream;  // a streamed body being sent
        std::exception_ptr pendingException;        // raised by the delegate inside curl
    };
    std::unique_ptr<Detours> detours_;
    [[gnu::cold, gnu::noinline]] Detours& detours();
    // A redirect or a retry with a credential follows: the rest of this reply is dropped.
    bool detoured() const { return detours_ && (detours_->pendingRedirect || detours_->retryWithCredential); }
};
