#include "platform/sysconfig/FakeReachabilitySource.h"

#include <algorithm>
#include <atomic>

#include "platform/foundation/NSRunLoop.h"

namespace zvt {

struct FakeReachabilitySource::WatchEntry {
    std::weak_ptr<SCNetworkReachability> target;
    std::weak_ptr<NSRunLoop> runLoop;
    std::string mode;
    std::atomic<bool> alive{true};
};

class FakeReachabilitySource::FakeWatch final : public ReachabilityWatch {
public:
    explicit FakeWatch(std::shared_ptr<WatchEntry> entry) : entry_(std::move(entry)) {}
    // A callback already queued sees the watch gone and does nothing.
    ~FakeWatch() override { entry_->alive = false; }

private:
    std::shared_ptr<WatchEntry> entry_;
};

std::shared_ptr<FakeReachabilitySource> FakeReachabilitySource::install(SCNetworkReachabilityFlags flags) {
    auto source = std::make_shared<FakeReachabilitySource>();
    source->setFlags(flags);
    ReachabilitySource::setCurrent(source);
    return source;
}

void FakeReachabilitySource::uninstall() { ReachabilitySource::setCurrent(nullptr); }

void FakeReachabilitySource::setFlags(SCNetworkReachabilityFlags flags) {
    std::lock_guard lock(mutex_);
    flags_ = flags;
}

SCNetworkReachabilityFlags FakeReachabilitySource::flags() const {
    std::lock_guard lock(mutex_);
    return flags_;
}

void FakeReachabilitySource::setFlagsReadable(bool readable) {
    std::lock_guard lock(mutex_);
    readable_ = readable;
}

void FakeReachabilitySource::setReadHook(std::function<void()> hook) {
    std::lock_guard lock(mutex_);
    readHook_ = std::move(hook);
}

bool FakeReachabilitySource::copyFlags(const SCNetworkReachability&, SCNetworkReachabilityFlags* flags) {
    std::function<void()> hook;
    SCNetworkReachabilityFlags current;
    {
        std::lock_guard lock(mutex_);
        ++reads_;
        if (!readable_) return false;
        current = flags_;
        hook = readHook_;
    }
    if (hook) hook();
    if (flags != nullptr) *flags = current;
    return true;
}

std::unique_ptr<ReachabilityWatch> FakeReachabilitySource::watch(const SCNetworkReachabilityRef& target,
                                                                 const std::shared_ptr<NSRunLoop>& runLoop,
                                                                 const std::string& mode) {
    if (!target || !runLoop) return nullptr;
    auto entry = std::make_shared<WatchEntry>();
    entry->target = target;
    entry->runLoop = runLoop;
    entry->mode = mode;
    std::lock_guard lock(mutex_);
    watches_.erase(std::remove_if(watches_.begin(), watches_.end(),
                                  [](const std::weak_ptr<WatchEntry>& w) { return w.expired(); }),
                   watches_.end());
    watches_.push_back(entry);
    return std::make_unique<FakeWatch>(entry);
}

void FakeReachabilitySource::fire() {
    std::vector<std::shared_ptr<WatchEntry>> entries;
    SCNetworkReachabilityFlags flags;
    {
        std::lock_guard lock(mutex_);
        flags = flags_;
        for (const auto& weak : watches_) {
            if (auto entry = weak.lock(); entry && entry->alive) entries.push_back(entry);
        }
    }
    for (const auto& entry : entries) {
        auto runLoop = entry->runLoop.lock();
        if (!runLoop) continue;
        runLoop->performInModes({entry->mode}, [entry, flags] {
            if (!entry->alive) return;
            if (auto target = entry->target.lock()) target->deliver(flags);
        });
    }
}

void FakeReachabilitySource::changeFlags(SCNetworkReachabilityFlags flags) {
    setFlags(flags);
    fire();
}

size_t FakeReachabilitySource::watchCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<size_t>(std::count_if(watches_.begin(), watches_.end(), [](const std::weak_ptr<WatchEntry>& w) {
        auto entry = w.lock();
        return entry && entry->alive;
    }));
}

size_t FakeReachabilitySource::readCount() const {
    std::lock_guard lock(mutex_);
    return reads_;
}

}  // namespace zvt
