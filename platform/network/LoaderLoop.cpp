#include "platform/network/LoaderLoop.h"

#include <poll.h>

#include <algorithm>
#include <climits>
#include <thread>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSTimer.h"

namespace zvt {

namespace {
thread_local std::unique_ptr<RunLoopLoader> threadLoader;
}

void LoaderLoop::setTimeout(const std::shared_ptr<LoaderTimeoutClient>& client, double seconds) {
    removeTimeout(client.get());
    int64_t deadline = deadlineAfter(seconds);
    timeouts_.push_back(Timeout{deadline, client.get(), client});
    timeoutAdded(deadline);
}

void LoaderLoop::removeTimeout(const LoaderTimeoutClient* client) {
    // Removing a time-out leaves the loop's timer armed: an early fire finds nothing due and
    // re-arms.
    for (auto it = timeouts_.begin(); it != timeouts_.end(); ++it) {
        if (it->key == client) {
            timeouts_.erase(it);
            return;
        }
    }
}

int64_t LoaderLoop::earliestTimeout() const {
    int64_t earliest = kNoDeadline;
    for (const auto& t : timeouts_) earliest = std::min(earliest, t.deadline);
    return earliest;
}

bool LoaderLoop::fireDueTimeouts(int64_t now, const std::weak_ptr<bool>& alive) {
    std::vector<std::weak_ptr<LoaderTimeoutClient>> due;
    for (auto it = timeouts_.begin(); it != timeouts_.end();) {
        if (it->deadline <= now) {
            due.push_back(std::move(it->client));
            it = timeouts_.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& weak : due) {
        if (auto client = weak.lock()) client->loaderTimeoutFired();
        if (alive.expired()) return false;
    }
    return true;
}

RunLoopLoader& RunLoopLoader::forCurrentThread(const std::shared_ptr<NSRunLoop>& runLoop) {
    if (!threadLoader) threadLoader = std::make_unique<RunLoopLoader>(runLoop);
    return *threadLoader;
}

RunLoopLoader::RunLoopLoader(std::shared_ptr<NSRunLoop> runLoop) : runLoop_(std::move(runLoop)) {
    // The engine's timer descriptor needs a mode before it is watched.
    addModes({NSRunLoopCommonModes});
    engine_ = std::make_unique<CurlEngine>(static_cast<CurlEventLoop&>(*this));
}

RunLoopLoader::~RunLoopLoader() {
    alive_.reset();
    if (timer_) timer_->invalidate();
    engine_.reset();
    for (auto& [fd, w] : watches_) {
        if (w.source) w.source->invalidate();
    }
}

bool RunLoopLoader::isCurrent() const { return NSRunLoop::currentRunLoop() == runLoop_; }

void RunLoopLoader::addModes(const std::vector<std::string>& modes) {
    // Mostly the modes the loop has already: every connection of a thread asks for the same.
    auto known = [this](const std::string& m) { return hasMode(m); };
    if (!std::all_of(modes.begin(), modes.end(), known)) addNewModes(modes);
}

bool RunLoopLoader::hasMode(const std::string& mode) const {
    return std::find(modeList_.begin(), modeList_.end(), mode) != modeList_.end();
}

void RunLoopLoader::addNewModes(const std::vector<std::string>& modes) {
    // Called when at least one of them is new.
    for (const auto& m : modes) {
        if (hasMode(m)) continue;
        modeList_.push_back(m);
        // The shared time-out timer, armed in the modes known then, also fires in this one: a
        // load scheduled only here may time out before the timer is next armed.
        if (timer_) runLoop_->addTimer(timer_, m);
    }
    // File sources keep the modes they were made with: make them again in the wider set.
    for (auto& [fd, w] : watches_) {
        if (w.events) {
            attach(fd, w);
        } else if (w.source) {
            w.source->invalidate();  // made again in the new modes when curl watches it again
            w.source.reset();
        }
    }
}

void RunLoopLoader::attach(int fd, Watch& w) {
    if (w.source) w.source->invalidate();
    auto callback = w.callback;
    w.source = runLoop_->addFileDescriptor(
        fd, w.events,
        [callback](int, unsigned events) {
            bool error = (events & NSRunLoopFileSource::kError) != 0;
            (*callback)((events & NSRunLoopFileSource::kRead) != 0 || error, (events & NSRunLoopFileSource::kWrite) != 0 || error);
        },
        modeList_);
}

void RunLoopLoader::watchDescriptor(int fd, bool read, bool write, std::function<void(bool, bool)> onReady) {
    auto it = watches_.find(fd);
    unsigned events = (read ? NSRunLoopFileSource::kRead : 0u) | (write ? NSRunLoopFileSource::kWrite : 0u);
    if (it != watches_.end()) {
        // A descriptor curl stops watching is mostly a kept-alive connection it watches again
        // for the next request: the source is paused, not dropped. The engine's callback for a
        // descriptor never changes (and may be running now).
        it->second.events = events;
        if (it->second.source && it->second.source->isValid()) {
            it->second.source->setEvents(events);
        } else if (events) {
            attach(fd, it->second);
        }
        return;
    }
    if (!events || !onReady) return;
    Watch& w = watches_[fd];
    w.events = events;
    w.callback = std::make_shared<std::function<void(bool, bool)>>(std::move(onReady));
    attach(fd, w);
}

void RunLoopLoader::performSoon(std::function<void()> fn) { runLoop_->performInModes(modeList_, std::move(fn)); }

void RunLoopLoader::timeoutAdded(int64_t deadline) {
    if (!timer_ || deadline < timerDeadline_) armTimer(deadline);
}

void RunLoopLoader::armTimer(int64_t deadline) {
    if (timer_) timer_->invalidate();
    timerDeadline_ = deadline;
    double interval = std::max<double>(0.0, static_cast<double>(deadline - Clock::nowNanos()) / 1e9);
    std::weak_ptr<bool> alive = alive_;
    timer_ = NSTimer::timerWithTimeInterval(interval, false, [this, alive](const std::shared_ptr<NSTimer>&) {
        if (!alive.expired()) fireTimers();
    });
    for (const auto& mode : modeList_) runLoop_->addTimer(timer_, mode);
}

void RunLoopLoader::fireTimers() {
    timer_.reset();
    if (!fireDueTimeouts(Clock::nowNanos(), alive_)) return;
    // A load that had activity re-arms from inside the fire, for its own later deadline: the
    // timer goes to the earliest of all, or a stalled load due before that one would wait.
    if (timeouts_.empty()) return;
    int64_t earliest = earliestTimeout();
    if (!timer_ || earliest < timerDeadline_) armTimer(earliest);
}

PollLoader::PollLoader() { engine_ = std::make_unique<CurlEngine>(static_cast<CurlEventLoop&>(*this)); }

PollLoader::~PollLoader() {
    alive_.reset();
    engine_.reset();
}

void PollLoader::watchDescriptor(int fd, bool read, bool write, std::function<void(bool, bool)> onReady) {
    // A descriptor no longer watched keeps its callback for when it is watched again.
    auto& w = watches_[fd];
    w.read = read;
    w.write = write;
    if (onReady) w.callback = std::make_shared<std::function<void(bool, bool)>>(std::move(onReady));
}


void PollLoader::runUntil(const std::function<bool()>& done) {
    while (!done()) {
        while (!soon_.empty()) {
            auto batch = std::move(soon_);
            soon_.clear();
            for (auto& fn : batch) fn();
        }
        if (done()) return;
        // Due time-outs first.
        int64_t now = Clock::nowNanos();
        if (!timeouts_.empty() && earliestTimeout() <= now) {
            fireDueTimeouts(now, alive_);
            if (done()) return;
        }
        std::vector<pollfd> fds;
        fds.reserve(watches_.size());
        for (const auto& [fd, w] : watches_) {
            if (w.read || w.write) fds.push_back(pollfd{fd, static_cast<short>((w.read ? POLLIN : 0) | (w.write ? POLLOUT : 0)), 0});
        }
        // A clock that a test moves does not wake poll(): look at it again every few
        // milliseconds. On the real clock the earliest timer is the only deadline (curl's own
        // timer is a descriptor).
        int waitMs = -1;
        if (Clock::current()->isVirtual()) {
            waitMs = 20;
        } else {
            for (const auto& t : timeouts_) {
                int64_t left = (std::max<int64_t>(t.deadline - now, 0) + 999999) / 1000000;
                if (waitMs < 0 || left < waitMs) waitMs = static_cast<int>(std::min<int64_t>(left, INT_MAX));
            }
        }
        zvt::WakeUpBatch::flush();
        int ready = ::poll(fds.data(), fds.size(), waitMs);
        if (ready <= 0) continue;
        for (const auto& p : fds) {
            if (!p.revents) continue;
            auto it = watches_.find(p.fd);
            if (it == watches_.end()) continue;
            auto callback = it->second.callback;
            bool error = (p.revents & (POLLERR | POLLHUP)) != 0;
            (*callback)((p.revents & POLLIN) != 0 || error, (p.revents & POLLOUT) != 0 || error);
        }
    }
}

}  // namespace zvt
