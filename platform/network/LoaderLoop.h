// Where a connection's work happens: the thread, its curl engine and its timers. Connections
// scheduled on a run loop use that run loop's loader loop (one per run-loop thread); a
// synchronous send uses a private loop that runs only inside the call.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/network/CurlEngine.h"

class NSRunLoop;
class NSRunLoopFileSource;
class NSTimer;

namespace zvt {

// What a time-out on a loader loop calls when it is due.
class LoaderTimeoutClient {
public:
    virtual void loaderTimeoutFired() = 0;

protected:
    ~LoaderTimeoutClient() = default;
};

class LoaderLoop {
public:
    virtual ~LoaderLoop() = default;
    virtual CurlEngine& engine() = 0;
    // A client's one time-out on the loop's clock: due `seconds` from now, replacing the one it
    // had. Held weakly; removed before it is called. Loop thread only.
    void setTimeout(const std::shared_ptr<LoaderTimeoutClient>& client, double seconds);
    void removeTimeout(const LoaderTimeoutClient* client);
    // True on the loop's own thread.
    virtual bool isCurrent() const = 0;

protected:
    struct Timeout {
        int64_t deadline;
        const LoaderTimeoutClient* key;
        std::weak_ptr<LoaderTimeoutClient> client;
    };
    // Called with each new deadline.
    virtual void timeoutAdded(int64_t deadline) = 0;
    // Removes the due time-outs and calls them, in the order they were set; false when the
    // loop went away meanwhile.
    bool fireDueTimeouts(int64_t now, const std::weak_ptr<bool>& alive);
    int64_t earliestTimeout() const;
    // In the order set. Few at a time (the loads in flight): a list, walked.
    std::vector<Timeout> timeouts_;
};

// The loader loop of a run loop, made on the run loop's thread on first use and kept until
// that thread ends. Its sockets and timers are sources in every mode a connection was
// scheduled in.
class RunLoopLoader final : public LoaderLoop, private CurlEventLoop {
public:
    // Must be called on the run loop's thread.
    static RunLoopLoader& forCurrentThread(const std::shared_ptr<NSRunLoop>& runLoop);

    explicit RunLoopLoader(std::shared_ptr<NSRunLoop> runLoop);
    ~RunLoopLoader() override;

    void addModes(const std::vector<std::string>& modes);
    const std::vector<std::string>& modes() const { return modeList_; }

    CurlEngine& engine() override { return *engine_; }
    bool isCurrent() const override;

private:
    void watchDescriptor(int fd, bool read, bool write, std::function<void(bool, bool)> onReady) override;
    void performSoon(std::function<void()> fn) override;
    struct Watch {
        unsigned events = 0;
        std::shared_ptr<std::function<void(bool, bool)>> callback;
        std::shared_ptr<NSRunLoopFileSource> source;
    };
    void attach(int fd, Watch& watch);
    bool hasMode(const std::string& mode) const;
    [[gnu::noinline]] void addNewModes(const std::vector<std::string>& modes);

    void timeoutAdded(int64_t deadline) override;
    void armTimer(int64_t deadline);
    void fireTimers();

    std::shared_ptr<NSRunLoop> runLoop_;
    // Connection time-outs share one run-loop timer, armed for the earliest deadline: most
    // loads end long before their time-out, and a run-loop timer per load would cost more
    // than the load.
    std::shared_ptr<NSTimer> timer_;
    int64_t timerDeadline_ = 0;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::vector<std::string> modeList_;  // in the order added, each once (a few)
    std::map<int, Watch> watches_;
    std::unique_ptr<CurlEngine> engine_;
};

// A private poll(2) loop for synchronous sends on the calling thread. Timers read Clock's
// monotonic time, so a virtual clock drives them too.
class PollLoader final : public LoaderLoop, private CurlEventLoop {
public:
    PollLoader();
    ~PollLoader() override;
    CurlEngine& engine() override { return *engine_; }
    bool isCurrent() const override { return true; }
    // Runs until done() holds.
    void runUntil(const std::function<bool()>& done);

private:
    void watchDescriptor(int fd, bool read, bool write, std::function<void(bool, bool)> onReady) override;
    void performSoon(std::function<void()> fn) override { soon_.push_back(std::move(fn)); }
    void timeoutAdded(int64_t) override {}
    std::vector<std::function<void()>> soon_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    struct Watch {
        bool read, write;
        std::shared_ptr<std::function<void(bool, bool)>> callback;
    };
    std::map<int, Watch> watches_;
    std::unique_ptr<CurlEngine> engine_;
};

}  // namespace zvt
