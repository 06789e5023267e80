// zavelto-service: the local Zavelto service.
//
//   zavelto-service --port N --data-dir DIR [--bind 127.0.0.1] [--sign-fail-code CODE]
//                   [--time-window SECONDS]
//
// Port 0 binds any free port. The first line on standard output is
// "listening on HOST:PORT"; nothing else is written there. SIGTERM and SIGINT stop it.
#include <pthread.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>

#include "service/Service.h"

namespace {

void usage() {
    std::cerr << "usage: zavelto-service --port N --data-dir DIR [--bind ADDRESS]\n"
                 "                       [--sign-fail-code CODE] [--time-window SECONDS]\n";
}

bool parseInt(const char* s, int& out) {
    char* end = nullptr;
    long v = std::strtol(s, &end, 10);
    if (!*s || *end || v < -2147483647L || v > 2147483647L) return false;
    out = static_cast<int>(v);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int port = -1;
    std::string dataDir;
    std::string bindAddress = "127.0.0.1";
    zvt::service::ServiceConfig config;
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
        zvt::service::Service service(dataDir, config);
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
