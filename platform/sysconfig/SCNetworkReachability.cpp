#include "platform/sysconfig/SCNetworkReachability.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/foundation/NSRunLoop.h"
#include "platform/sysconfig/NetworkSnapshot.h"

namespace {

// Never destroyed: a reading that a background queue is still taking when the process exits
// (a reachability manager's first reading after its start) must still find them.
std::mutex& sourceMutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}
std::shared_ptr<zvt::ReachabilitySource>& installedSource() {  // guarded by sourceMutex()
    static auto* source = new std::shared_ptr<zvt::ReachabilitySource>;
    return *source;
}

}  // namespace

SCNetworkReachability::SCNetworkReachability(const sockaddr* address) : kind_(Kind::Address) {
    size_t length = address->sa_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    std::memcpy(&address_, address, length);
}

SCNetworkReachability::SCNetworkReachability(std::string name) : kind_(Kind::Name), name_(std::move(name)) {}

SCNetworkReachability::~SCNetworkReachability() {
    std::vector<Schedule> schedules;
    {
        std::lock_guard lock(mutex_);
        schedules.swap(schedules_);
    }
    // The watches end outside the lock: ending one may wait for its run loop's callback.
}

void SCNetworkReachability::setCallback(SCNetworkReachabilityCallBack callback) {
    std::lock_guard lock(mutex_);
    callback_ = callback ? std::make_shared<SCNetworkReachabilityCallBack>(std::move(callback)) : nullptr;
}

bool SCNetworkReachability::schedule(const std::shared_ptr<NSRunLoop>& runLoop, const std::string& mode) {
    if (!runLoop) return false;
    {
        std::lock_guard lock(mutex_);
        for (const auto& schedule : schedules_) {
            if (schedule.runLoop.lock() == runLoop && schedule.mode == mode) return true;  // already there
        }
    }
    auto watch = zvt::ReachabilitySource::current()->watch(shared_from_this(), runLoop, mode);
    if (!watch) return false;
    std::lock_guard lock(mutex_);
    schedules_.push_back(Schedule{runLoop, mode, std::move(watch)});
    return true;
}

bool SCNetworkReachability::unschedule(const std::shared_ptr<NSRunLoop>& runLoop, const std::string& mode) {
    std::unique_ptr<zvt::ReachabilityWatch> ended;
    {
        std::lock_guard lock(mutex_);
        for (auto it = schedules_.begin(); it != schedules_.end(); ++it) {
            if (it->runLoop.lock() == runLoop && it->mode == mode) {
                ended = std::move(it->watch);
                schedules_.erase(it);
                break;
            }
        }
    }
    return ended != nullptr;
}

void SCNetworkReachability::deliver(SCNetworkReachabilityFlags flags) {
    std::shared_ptr<SCNetworkReachabilityCallBack> callback;
    {
        std::lock_guard lock(mutex_);
        if (schedules_.empty()) return;  // unscheduled meanwhile
        callback = callback_;
    }
    if (callback) (*callback)(shared_from_this(), flags);
}

SCNetworkReachabilityRef SCNetworkReachabilityCreateWithAddress(const sockaddr* address) {
    if (address == nullptr || (address->sa_family != AF_INET && address->sa_family != AF_INET6)) return nullptr;
    return std::make_shared<SCNetworkReachability>(address);
}

SCNetworkReachabilityRef SCNetworkReachabilityCreateWithName(const char* nodename) {
    if (nodename == nullptr) return nullptr;
    return std::make_shared<SCNetworkReachability>(std::string(nodename));
}

bool SCNetworkReachabilityGetFlags(const SCNetworkReachabilityRef& target, SCNetworkReachabilityFlags* flags) {
    if (!target || flags == nullptr) return false;
    return zvt::ReachabilitySource::current()->copyFlags(*target, flags);
}

bool SCNetworkReachabilitySetCallback(const SCNetworkReachabilityRef& target, SCNetworkReachabilityCallBack callback) {
    if (!target) return false;
    target->setCallback(std::move(callback));
    return true;
}

bool SCNetworkReachabilityScheduleWithRunLoop(const SCNetworkReachabilityRef& target,
                                              const std::shared_ptr<NSRunLoop>& runLoop, const std::string& mode) {
    if (!target) return false;
    return target->schedule(runLoop, mode);
}

bool SCNetworkReachabilityUnscheduleFromRunLoop(const SCNetworkReachabilityRef& target,
                                                const std::shared_ptr<NSRunLoop>& runLoop, const std::string& mode) {
    if (!target) return false;
    return target->unschedule(runLoop, mode);
}

namespace zvt {

std::shared_ptr<ReachabilitySource> ReachabilitySource::current() {
    {
        std::lock_guard lock(sourceMutex());
        if (installedSource()) return installedSource();
    }
    return SystemReachabilitySource::shared();
}

void ReachabilitySource::setCurrent(std::shared_ptr<ReachabilitySource> source) {
    std::lock_guard lock(sourceMutex());
    installedSource() = std::move(source);
}

namespace {

SCNetworkReachabilityFlags flagsFor(const SCNetworkReachability& target, const NetworkSnapshot& network) {
    return target.kind() == SCNetworkReachability::Kind::Address ? flagsForAddress(target.address(), network)
                                                                   : flagsForName(target.name(), network);
}

// One rtnetlink socket per scheduled target, subscribed to link, address and route changes.
class NetlinkWatch final : public ReachabilityWatch {
public:
    struct State {
        std::mutex mutex;
        int fd = -1;  // guarded by mutex; -1 once the watch ended
        std::weak_ptr<SCNetworkReachability> target;
        SCNetworkReachabilityFlags lastFlags = 0;  // touched on the run loop's thread only
    };

    NetlinkWatch(std::shared_ptr<State> state, std::shared_ptr<NSRunLoopFileSource> source)
        : state_(std::move(state)), source_(std::move(source)) {}

    ~NetlinkWatch() override {
        source_->invalidate();
        std::lock_guard lock(state_->mutex);
        ::close(state_->fd);
        state_->fd = -1;
    }

    static void readable(const std::shared_ptr<State>& state) {
        {
            std::lock_guard lock(state->mutex);
            if (state->fd < 0) return;
            // The messages only say that something changed; the snapshot says what.
            char buffer[8192];
            while (::recv(state->fd, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
            }
        }
        auto target = state->target.lock();
        if (!target) return;
        SCNetworkReachabilityFlags flags = flagsFor(*target, takeNetworkSnapshot());
        if (flags == state->lastFlags) return;
        state->lastFlags = flags;
        target->deliver(flags);
    }

private:
    std::shared_ptr<State> state_;
    std::shared_ptr<NSRunLoopFileSource> source_;
};

}  // namespace

bool SystemReachabilitySource::copyFlags(const SCNetworkReachability& target, SCNetworkReachabilityFlags* flags) {
    if (flags == nullptr) return false;
    *flags = flagsFor(target, takeNetworkSnapshot());
    return true;
}

std::unique_ptr<ReachabilityWatch> SystemReachabilitySource::watch(const SCNetworkReachabilityRef& target,
                                                                   const std::shared_ptr<NSRunLoop>& runLoop,
                                                                   const std::string& mode) {
    if (!target || !runLoop) return nullptr;
    int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0) return nullptr;
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        ::close(fd);
        return nullptr;
    }
    auto state = std::make_shared<NetlinkWatch::State>();
    state->fd = fd;
    state->target = target;
    state->lastFlags = flagsFor(*target, takeNetworkSnapshot());
    auto source = runLoop->addFileDescriptor(
        fd, NSRunLoopFileSource::kRead, [state](int, unsigned) { NetlinkWatch::readable(state); }, {mode});
    if (!source) {
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<NetlinkWatch>(state, source);
}

std::shared_ptr<SystemReachabilitySource> SystemReachabilitySource::shared() {
    // Never destroyed, like the installed source above.
    static const auto* source = new std::shared_ptr<SystemReachabilitySource>(std::make_shared<SystemReachabilitySource>());
    return *source;
}

}  // namespace zvt
