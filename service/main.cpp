// zavelto-service: the local Zavelto service.
//
//   zavelto-service --port N --data-dir DIR [--bind 127.0.0.1] [--public-url URL]
//                   [--sign-fail-code CODE] [--time-window SECONDS]
//                   [--read-deadline SECONDS] [--min-body-rate BYTES] [--body-grace SECONDS]
//                   [--reply-deadline SECONDS] [--reply-grace SECONDS] [--demo-day YYYY-MM-DD]
//                   [--test-control]
//
// Port 0 binds any free port. The first line on standard output is
// "listening on HOST:PORT"; nothing else is written there. Standard error gets one line per
// request. SIGTERM and SIGINT stop it.
#include <malloc.h>
#include <pthread.h>
#include <sys/resource.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>

#include "service/DemoData.h"
#include "service/Service.h"

namespace {

void usage() {
    std::cerr
        << "usage: zavelto-service --port N --data-dir DIR [--bind ADDRESS] [--public-url URL]\n"
           "                       [--sign-fail-code CODE] [--time-window SECONDS]\n"
           "                       [--read-deadline SECONDS] [--min-body-rate BYTES]\n"
           "                       [--body-grace SECONDS] [--reply-deadline SECONDS]\n"
           "                       [--reply-grace SECONDS] [--reply-budget MIB]\n"
           "                       [--demo-day YYYY-MM-DD] [--test-control]\n";
}

// "http://host[:port]" or "https://..." without a path: what links and the cookie are built on.
bool validRoot(std::string url) {
    while (!url.empty() && url.back() == '/') url.pop_back();
    size_t scheme = url.find("://");
    if (scheme == std::string::npos) return false;
    std::string name = url.substr(0, scheme), authority = url.substr(scheme + 3);
    if (name != "http" && name != "https") return false;
    if (authority.empty() || authority[0] == ':') return false;
    for (unsigned char c : authority) {
        if (c <= 0x20 || c >= 0x7f || std::strchr("/?#@\\\"'<>", c)) return false;
    }
    return true;
}

bool parseInt(const char* s, int& out) {
    char* end = nullptr;
    long v = std::strtol(s, &end, 10);
    if (!*s || *end || v < -2147483647L || v > 2147483647L) return false;
    out = static_cast<int>(v);
    return true;
}

// Seconds as a decimal number within [least, most], as milliseconds.
bool parseSeconds(const char* s, double least, double most, std::chrono::milliseconds& out) {
    char* end = nullptr;
    double seconds = std::strtod(s, &end);
    if (!*s || *end || !(seconds >= least && seconds <= most)) return false;
    out = std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // Records are stamped and check-in days counted in the machine's zone ($TZ, else the
    // system's): read once, before any worker asks for it.
    tzset();
    int port = -1;
    std::string dataDir;
    std::string bindAddress = "127.0.0.1";
    zvt::service::ServiceConfig config;
    zvt::service::ServiceOptions options;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) {
                std::cerr << "zavelto-service: " << a << " needs a value\n";
                std::exit(2);
            }
            return argv[++i];
        };
        int n = 0;
        if (a == "--port") {
            if (!parseInt(value(), port) || port < 0 || port > 65535) {
                std::cerr << "zavelto-service: bad port\n";
                return 2;
            }
        } else if (a == "--data-dir") {
            dataDir = value();
        } else if (a == "--bind") {
            bindAddress = value();
        } else if (a == "--sign-fail-code") {
            if (!parseInt(value(), n)) {
                std::cerr << "zavelto-service: bad refusal code\n";
                return 2;
            }
            config.signFailCode = n;
        } else if (a == "--time-window") {
            if (!parseInt(value(), n) || n < 0) {
                std::cerr << "zavelto-service: bad time window\n";
                return 2;
            }
            config.timeWindowMs = static_cast<int64_t>(n) * 1000;
        } else if (a == "--public-url") {
            options.publicRoot = value();
            if (!validRoot(options.publicRoot)) {
                std::cerr << "zavelto-service: --public-url wants http://host[:port]\n";
                return 2;
            }
        } else if (a == "--read-deadline") {
            // How long the head, and then the body, of a request may take to arrive.
            std::chrono::milliseconds ms;
            if (!parseSeconds(value(), 0.05, 3600, ms)) {
                std::cerr << "zavelto-service: bad read deadline\n";
                return 2;
            }
            options.limits.headDeadline = ms;
            options.limits.bodyDeadline = ms;
        } else if (a == "--min-body-rate") {
            // The rate (bytes a second) below which a request body, or a reply's peer, gives way
            // for a new connection when the connection table is full (replies taken below it are
            // the first the reply budget sheds, those at it never; bodies below it give their
            // bytes up for other requests).
            if (!parseInt(value(), n) || n < 0) {
                std::cerr << "zavelto-service: bad minimum body rate\n";
                return 2;
            }
            options.limits.minBodyRate = static_cast<size_t>(n);
        } else if (a == "--body-grace") {
            // How long a body comes before it is judged by its rate (to give way at a full table,
            // or its bytes to another request); it is never refused for its rate.
            if (!parseSeconds(value(), 0, 3600, options.limits.bodyGrace)) {
                std::cerr << "zavelto-service: bad body grace\n";
                return 2;
            }
        } else if (a == "--reply-grace") {
            // How long a reply goes out before its peer is judged by the rate it takes it.
            if (!parseSeconds(value(), 0, 3600, options.limits.replyGrace)) {
                std::cerr << "zavelto-service: bad reply grace\n";
                return 2;
            }
        } else if (a == "--reply-deadline") {
            // How long a reply waits for its peer to take a byte of it.
            if (!parseSeconds(value(), 0.05, 3600, options.limits.writeDeadline)) {
                std::cerr << "zavelto-service: bad reply deadline\n";
                return 2;
            }
        } else if (a == "--reply-budget") {
            // The replies being made and made but not yet taken, over all connections, in MiB
            // (64; tests give a smaller one, so that a few readers fill it).
            if (!parseInt(value(), n) || n < 1 || n > 4096) {
                std::cerr << "zavelto-service: bad reply budget\n";
                return 2;
            }
            options.limits.maxReplyBytes = static_cast<size_t>(n) << 20;
        } else if (a == "--demo-day") {
            // The day the demo data's story ends on, for a new data directory and a reseed
            // (default: the day it is seeded).
            options.demoDay = value();
            if (!zvt::service::validDemoDay(*options.demoDay)) {
                std::cerr << "zavelto-service: --demo-day wants a day, YYYY-MM-DD\n";
                return 2;
            }
        } else if (a == "--test-control") {
            options.testControl = true;
        } else if (a == "--help" || a == "-h") {
            usage();
            return 0;
        } else {
            std::cerr << "zavelto-service: unknown argument " << a << "\n";
            usage();
            return 2;
        }
    }
    if (port < 0 || dataDir.empty()) {
        usage();
        return 2;
    }

    // Blocks of 256 KiB and more (pictures being made, large replies and bodies) are mapped on
    // their own and go back to the system when freed. Left to itself the allocator raises
    // that threshold after the first such block is freed, and the next ones stay in its heaps,
    // resident long after a flood has gone.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    // Every connection is a descriptor, and its reply may open a file: the connection table is
    // sized from what the limit allows (HttpServer::run), so take all that the system grants.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &files) != 0) {
            // An unlimited hard limit is still bounded by the system's own ceiling.
            files.rlim_cur = 1u << 20;
            setrlimit(RLIMIT_NOFILE, &files);
        }
    }
    // A peer that hangs up mid-reply must not end the process.
    std::signal(SIGPIPE, SIG_IGN);
    // SIGTERM and SIGINT are taken by one waiting thread; every other thread blocks them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    try {
        std::filesystem::create_directories(dataDir);
        zvt::service::Service service(dataDir, config, options);
        int bound = service.bind(bindAddress, port);
        if (bound <= 0) {
            std::cerr << "zavelto-service: cannot bind " << bindAddress << ":" << port << "\n";
            return 1;
        }
        std::printf("listening on %s:%d\n", bindAddress.c_str(), bound);
        std::fflush(stdout);

        std::thread waiter([&] {
            int sig = 0;
            sigwait(&stopSignals, &sig);
            service.stop();
        });
        bool ran = service.run();
        // run() also returns when the server fails; wake the waiter so it can be joined.
        pthread_kill(waiter.native_handle(), SIGTERM);
        waiter.join();
        return ran ? 0 : 1;
    } catch (const std::exception& e) {
        std::cerr << "zavelto-service: " << e.what() << "\n";
        return 1;
    }
}
