#pragma once
// A reachability source that tests drive: they set the flags every target reads and fire the
// callbacks of the scheduled targets, as the system does when the network changes.

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/sysconfig/SCNetworkReachability.h"

namespace zvt {

class FakeReachabilitySource : public ReachabilitySource, public std::enable_shared_from_this<FakeReachabilitySource> {
public:
    // Makes a fake and installs it as the current source; uninstall() goes back to the system.
    static std::shared_ptr<FakeReachabilitySource> install(SCNetworkReachabilityFlags flags = 0);
    static void uninstall();

    // The flags every target reads from now on.
    void setFlags(SCNetworkReachabilityFlags flags);
    SCNetworkReachabilityFlags flags() const;
    // While false, reading the flags fails.
    void setFlagsReadable(bool readable);
    // Runs in copyFlags after the flags were taken, on the reading thread (lets a test hold
    // a reading back).
    void setReadHook(std::function<void()> hook);

    // Queues a callback with the current flags for every scheduled target, each on its run
    // loop; it runs when that run loop next runs in the scheduled mode (also when the flags
    // did not change).
    void fire();
    // setFlags, then fire.
    void changeFlags(SCNetworkReachabilityFlags flags);
    // The number of live watches (scheduled target and run-loop pairs).
    size_t watchCount() const;
    // How often the flags were read.
    size_t readCount() const;

    bool copyFlags(const SCNetworkReachability& target, SCNetworkReachabilityFlags* flags) override;
    std::unique_ptr<ReachabilityWatch> watch(const SCNetworkReachabilityRef& target,
                                             const std::shared_ptr<NSRunLoop>& runLoop,
                                             const std::string& mode) override;

private:
    struct WatchEntry;
    class FakeWatch;

    mutable std::mutex mutex_;
    SCNetworkReachabilityFlags flags_ = 0;
    bool readable_ = true;
    std::function<void()> readHook_;
    size_t reads_ = 0;
    std::vector<std::weak_ptr<WatchEntry>> watches_;
};

}  // namespace zvt
