#pragma once
// The SystemConfiguration reachability stand-in: a target (an address or a host name) whose
// reachability flags can be read, and whose changes are reported to a callback on the run
// loops it is scheduled on.
//
// The flags come from a ReachabilitySource: the system source (rtnetlink, getifaddrs and the
// kernel's route tables) unless a test installs a fake one (FakeReachabilitySource.h).
// The callback with its context of the original is one std::function here: whatever the
// context carried is captured by the function.

#include <netinet/in.h>
#include <sys/socket.h>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/sysconfig/SCNetworkReachabilityFlags.h"

class NSRunLoop;
class SCNetworkReachability;
using SCNetworkReachabilityRef = std::shared_ptr<SCNetworkReachability>;
using SCNetworkReachabilityCallBack =
    std::function<void(const SCNetworkReachabilityRef& target, SCNetworkReachabilityFlags flags)>;

namespace zvt {
class ReachabilityWatch;
}

class SCNetworkReachability : public std::enable_shared_from_this<SCNetworkReachability> {
public:
    enum class Kind { Address, Name };

    explicit SCNetworkReachability(const sockaddr* address);
    explicit SCNetworkReachability(std::string name);
    ~SCNetworkReachability();

    Kind kind() const { return kind_; }
    // For Kind::Address (IPv4 or IPv6).
    const sockaddr* address() const { return reinterpret_cast<const sockaddr*>(&address_); }
    // For Kind::Name.
    const std::string& name() const { return name_; }

    void setCallback(SCNetworkReachabilityCallBack callback);
    bool schedule(const std::shared_ptr<NSRunLoop>& runLoop, const std::string& mode);
    bool unschedule(const std::shared_ptr<NSRunLoop>& runLoop, const std::string& mode);
    // Called by a source's watch on the scheduled run loop's thread.
    void deliver(SCNetworkReachabilityFlags flags);

private:
    struct Schedule {
        std::weak_ptr<NSRunLoop> runLoop;
        std::string mode;
        std::unique_ptr<zvt::ReachabilityWatch> watch;
    };

    Kind kind_;
    sockaddr_storage address_{};
    std::string name_;
    std::mutex mutex_;
    std::shared_ptr<SCNetworkReachabilityCallBack> callback_;  // guarded by mutex_
    std::vector<Schedule> schedules_;                           // guarded by mutex_
};

// nil for anything but an IPv4 or IPv6 socket address.
SCNetworkReachabilityRef SCNetworkReachabilityCreateWithAddress(const sockaddr* address);
// nil for a null name.
SCNetworkReachabilityRef SCNetworkReachabilityCreateWithName(const char* nodename);

// The current flags; false when they cannot be read.
bool SCNetworkReachabilityGetFlags(const SCNetworkReachabilityRef& target, SCNetworkReachabilityFlags* flags);
// Replaces the callback (an empty function removes it).
bool SCNetworkReachabilitySetCallback(const SCNetworkReachabilityRef& target, SCNetworkReachabilityCallBack callback);
// From now on, flag changes call the callback on `runLoop`'s thread while it runs in `mode`.
bool SCNetworkReachabilityScheduleWithRunLoop(const SCNetworkReachabilityRef& target,
                                              const std::shared_ptr<NSRunLoop>& runLoop, const std::string& mode);
bool SCNetworkReachabilityUnscheduleFromRunLoop(const SCNetworkReachabilityRef& target,
                                                const std::shared_ptr<NSRunLoop>& runLoop, const std::string& mode);

namespace zvt {

// A watch for one scheduled target; watching ends when it is destroyed.
class ReachabilityWatch {
public:
    virtual ~ReachabilityWatch() = default;
};

// Where flags come from.
class ReachabilitySource {
public:
    virtual ~ReachabilitySource() = default;

    virtual bool copyFlags(const SCNetworkReachability& target, SCNetworkReachabilityFlags* flags) = 0;
    // Starts watching `target` for `runLoop` in `mode`: from now on, on that run loop's thread,
    // each change calls target.deliver(flags). nullptr when watching is impossible. The
    // watch holds the target weakly.
    virtual std::unique_ptr<ReachabilityWatch> watch(const SCNetworkReachabilityRef& target,
                                                     const std::shared_ptr<NSRunLoop>& runLoop,
                                                     const std::string& mode) = 0;

    // The source in force: the system source unless a test installed another one. Targets
    // ask it at each call; a watch stays with the source that made it.
    static std::shared_ptr<ReachabilitySource> current();
    static void setCurrent(std::shared_ptr<ReachabilitySource> source);
};

// The machine's own network: flags from getifaddrs and the route tables; changes noticed on
// an rtnetlink socket watched by the run loop, reported when the target's flags differ from
// those last reported.
class SystemReachabilitySource : public ReachabilitySource {
public:
    bool copyFlags(const SCNetworkReachability& target, SCNetworkReachabilityFlags* flags) override;
    std::unique_ptr<ReachabilityWatch> watch(const SCNetworkReachabilityRef& target,
                                             const std::shared_ptr<NSRunLoop>& runLoop,
                                             const std::string& mode) override;
    static std::shared_ptr<SystemReachabilitySource> shared();
};

}  // namespace zvt
