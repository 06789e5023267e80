// Run-loop threads and a recording delegate for the connection tests.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <openssl/crypto.h>

#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSThread.h"
#include "platform/network/NSURLConnection.h"

namespace zvt::test {

// A thread whose run loop runs in the default mode until the object goes away.
class RunLoopThread {
public:
    RunLoopThread() {
        std::promise<std::shared_ptr<NSRunLoop>> ready;
        auto future = ready.get_future();
        thread_ = NSThread::initWithBlock([this, &ready] {
            auto runLoop = NSRunLoop::currentRunLoop();
            runLoop->addPort(NSPort::port(), NSDefaultRunLoopMode);
            threadId_ = std::this_thread::get_id();
            ready.set_value(runLoop);
            while (!stop_) runLoop->runModeWithin(NSDefaultRunLoopMode, 0.5);
            // The thread may still be winding down when the process exits: free its OpenSSL
            // state now so that the leak checker does not count it.
            OPENSSL_thread_stop();
            finished_.set_value();
        });
        thread_->start();
        runLoop_ = future.get();
    }
    ~RunLoopThread() {
        runLoop_->performBlock([this] { stop_ = true; });
        runLoop_->wakeUp();
        finished_.get_future().wait();
    }
    const std::shared_ptr<NSRunLoop>& runLoop() const { return runLoop_; }
    std::thread::id threadId() const { return threadId_; }
    // Runs fn on the thread and waits for it.
    void sync(const std::function<void()>& fn) {
        std::promise<void> done;
        runLoop_->performBlock([&] {
            fn();
            done.set_value();
        });
        runLoop_->wakeUp();
        done.get_future().wait();
    }

private:
    std::shared_ptr<NSThread> thread_;
    std::shared_ptr<NSRunLoop> runLoop_;
    std::thread::id threadId_;
    std::atomic<bool> stop_{false};
    std::promise<void> finished_;
};

// Writes down every delegate call; thread-safe for reading from the test thread.
class RecordingDelegate : public NSURLConnectionDelegate {
public:
    std::function<std::shared_ptr<NSURLRequest>(const std::shared_ptr<NSURLRequest>&, const std::shared_ptr<NSURLResponse>&)> onRedirect;
    std::function<void(const Connection&)> onData;
    std::function<void(const Connection&, const std::shared_ptr<NSURLAuthenticationChallenge>&)> onChallenge;

    std::shared_ptr<NSURLRequest> connectionWillSendRequest(const Connection&, const std::shared_ptr<NSURLRequest>& request,
                                                            const std::shared_ptr<NSURLResponse>& redirect) override {
        note("redirect");
        return onRedirect ? onRedirect(request, redirect) : request;
    }
    void connectionDidReceiveResponse(const Connection&, const std::shared_ptr<NSURLResponse>& r) override {
        auto http = std::dynamic_pointer_cast<NSHTTPURLResponse>(r);
        note("response " + std::to_string(http ? http->statusCode() : 0));
        std::lock_guard lock(mutex_);
        response_ = r;
    }
    void connectionDidReceiveData(const Connection& c, const std::shared_ptr<NSData>& data) override {
        {
            std::lock_guard lock(mutex_);
            body_ += data->view();
            if (!log_.empty() && log_.back() == "data") {
                threads_.push_back(std::this_thread::get_id());
            } else {
                log_.push_back("data");
                threads_.push_back(std::this_thread::get_id());
            }
            cv_.notify_all();
        }
        if (onData) onData(c);
    }
    void connectionDidSendBodyData(const Connection&, NSInteger, NSInteger total, NSInteger expected) override {
        std::lock_guard lock(mutex_);
        sent_ = total;
        expectedSent_ = expected;
    }
    void connectionWillSendRequestForAuthenticationChallenge(const Connection& c,
                                                             const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) override {
        note("challenge");
        if (onChallenge) {
            onChallenge(c, challenge);
        } else {
            NSURLConnectionDelegate::connectionWillSendRequestForAuthenticationChallenge(c, challenge);
        }
    }
    void connectionDidFinishLoading(const Connection&) override {
        note("finish");
        markDone();
    }
    void connectionDidFailWithError(const Connection&, const std::shared_ptr<NSError>& e) override {
        note("fail " + std::to_string(e->code()));
        {
            std::lock_guard lock(mutex_);
            error_ = e;
        }
        markDone();
    }

    bool waitDone(double seconds = 10) {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return done_; });
    }
    bool waitForData(double seconds = 10) {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return !body_.empty() || done_; });
    }
    bool done() const {
        std::lock_guard lock(mutex_);
        return done_;
    }
    std::vector<std::string> log() const {
        std::lock_guard lock(mutex_);
        return log_;
    }
    std::vector<std::thread::id> threads() const {
        std::lock_guard lock(mutex_);
        return threads_;
    }
    std::string body() const {
        std::lock_guard lock(mutex_);
        return body_;
    }
    std::shared_ptr<NSError> error() const {
        std::lock_guard lock(mutex_);
        return error_;
    }
    std::shared_ptr<NSHTTPURLResponse> response() const {
        std::lock_guard lock(mutex_);
        return std::dynamic_pointer_cast<NSHTTPURLResponse>(response_);
    }
    int64_t sent() const {
        std::lock_guard lock(mutex_);
        return sent_;
    }
    int64_t expectedSent() const {
        std::lock_guard lock(mutex_);
        return expectedSent_;
    }

private:
    void note(std::string event) {
        std::lock_guard lock(mutex_);
        log_.push_back(std::move(event));
        threads_.push_back(std::this_thread::get_id());
        cv_.notify_all();
    }
    void markDone() {
        std::lock_guard lock(mutex_);
        done_ = true;
        cv_.notify_all();
    }
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<std::string> log_;
    std::vector<std::thread::id> threads_;
    std::string body_;
    std::shared_ptr<NSURLResponse> response_;
    std::shared_ptr<NSError> error_;
    int64_t sent_ = 0, expectedSent_ = 0;
    bool done_ = false;
};

inline std::shared_ptr<NSMutableURLRequest> requestFor(const std::string& url) {
    return NSMutableURLRequest::requestWithURL(NSURL::URLWithString(url));
}

// Starts a connection on the thread's run loop (scheduled before start, as a network thread does).
inline std::shared_ptr<NSURLConnection> startOn(RunLoopThread& thread, const std::shared_ptr<NSURLRequest>& request,
                                                const std::shared_ptr<NSURLConnectionDelegate>& delegate) {
    auto connection = NSURLConnection::initWithRequest(request, delegate, false);
    connection->scheduleInRunLoop(thread.runLoop(), NSDefaultRunLoopMode);
    connection->start();
    thread.runLoop()->wakeUp();
    return connection;
}

}  // namespace zvt::test
