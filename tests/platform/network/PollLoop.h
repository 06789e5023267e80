// A minimal poll(2) loop for driving the curl engine directly in tests, without a run loop.
#pragma once

#include <poll.h>

#include <chrono>
#include <functional>
#include <map>
#include <vector>

#include "platform/network/CurlEngine.h"

namespace zvt::test {

class PollLoop : public zvt::CurlEventLoop {
public:
    void watchDescriptor(int fd, bool read, bool write, std::function<void(bool, bool)> onReady) override {
        // A descriptor no longer watched keeps its callback for when it is watched again.
        auto& w = watches_[fd];
        w.read = read;
        w.write = write;
        if (onReady) w.onReady = std::move(onReady);
    }

    void performSoon(std::function<void()> fn) override { soon_.push_back(std::move(fn)); }

    // Runs until done() or the real-time limit passes; true when done() held.
    bool runUntil(const std::function<bool()>& done, double limitSeconds = 10.0) {
        auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(limitSeconds);
        while (!done()) {
            while (!soon_.empty()) {
                auto batch = std::move(soon_);
                soon_.clear();
                for (auto& fn : batch) fn();
            }
            if (done()) break;
            if (std::chrono::steady_clock::now() > end) return false;
            std::vector<pollfd> fds;
            for (const auto& [fd, w] : watches_) {
                if (w.read || w.write) fds.push_back(pollfd{fd, static_cast<short>((w.read ? POLLIN : 0) | (w.write ? POLLOUT : 0)), 0});
            }
            if (::poll(fds.data(), fds.size(), 20) <= 0) continue;
            for (const auto& p : fds) {
                if (!p.revents) continue;
                auto it = watches_.find(p.fd);
                if (it == watches_.end()) continue;
                auto callback = it->second.onReady;  // the callback may replace the watch
                callback((p.revents & (POLLIN | POLLHUP | POLLERR)) != 0, (p.revents & (POLLOUT | POLLERR)) != 0);
            }
        }
        return true;
    }

    // Descriptors watched now.
    size_t watchCount() const {
        size_t n = 0;
        for (const auto& [fd, w] : watches_) n += w.read || w.write ? 1 : 0;
        return n;
    }

private:
    struct Watch {
        bool read, write;
        std::function<void(bool, bool)> onReady;
    };
    std::map<int, Watch> watches_;
    std::vector<std::function<void()>> soon_;
};

}  // namespace zvt::test
