#include "tests/service/ServiceTestSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace zvt::test::svc {

namespace {

// The final response of a reply: what follows any interim "HTTP/1.1 100 Continue".
size_t finalResponse(const std::string& reply) {
    size_t at = 0;
    while (reply.compare(at, 10, "HTTP/1.1 1") == 0) {
        size_t end = reply.find("\r\n\r\n", at);
        if (end == std::string::npos) break;
        at = end + 4;
    }
    return at;
}

}  // namespace

json RawCall::replyJson() const {
    auto start = reply.find("\r\n\r\n", finalResponse(reply));
    return start == std::string::npos ? json(json::value_t::discarded)
                                      : json::parse(reply.substr(start + 4), nullptr, false);
}

namespace {

struct Running {
    RawCall* call;
    int fd = -1;
    size_t sent = 0;  // of head, then of body
    bool sending = true;
    std::chrono::steady_clock::time_point start, nextByte;

    size_t total() const { return call->head.size() + (call->body ? call->body->size() : 0); }
    bool trickling() const { return call->trickle.count() > 0 && sent >= call->trickleFrom; }
    const char* at(size_t i) const {
        return i < call->head.size() ? call->head.data() + i
                                     : call->body->data() + (i - call->head.size());
    }
};

void end(Running& r, std::chrono::steady_clock::time_point now) {
    if (r.fd >= 0) close(r.fd);
    r.fd = -1;
    r.call->finished = true;
    r.call->seconds = std::chrono::duration<double>(now - r.start).count();
    size_t at = finalResponse(r.call->reply);
    if (r.call->reply.compare(at, 7, "HTTP/1.") == 0 && r.call->reply.size() > at + 12) {
        r.call->status = std::atoi(r.call->reply.c_str() + at + 9);
    }
}

}  // namespace

void runAtOnce(int port, std::vector<RawCall>& calls, std::chrono::milliseconds limit) {
    using Clock = std::chrono::steady_clock;
    std::vector<Running> running;
    auto start = Clock::now();
    for (auto& call : calls) {
        Running r{&call, -1, 0, true, Clock::now(), Clock::now()};
        r.fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (r.fd < 0 || (connect(r.fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 &&
                         errno != EINPROGRESS)) {
            end(r, Clock::now());
            continue;
        }
        running.push_back(r);
    }
    char buf[65536];
    for (;;) {
        auto now = Clock::now();
        std::vector<pollfd> fds;
        std::vector<Running*> owners;
        int timeout = 50;
        for (auto& r : running) {
            if (r.fd < 0) continue;
            short events = POLLIN;
            if (r.sending && r.sent < r.total()) {
                if (!r.trickling() || r.nextByte <= now) {
                    events |= POLLOUT;
                } else {
                    auto wait =
                        std::chrono::duration_cast<std::chrono::milliseconds>(r.nextByte - now);
                    timeout = std::min(timeout, static_cast<int>(wait.count()) + 1);
                }
            }
            fds.push_back({r.fd, events, 0});
            owners.push_back(&r);
        }
        if (fds.empty() || now - start > limit) break;
        if (poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) break;
        now = Clock::now();
        for (size_t i = 0; i < fds.size(); ++i) {
            Running& r = *owners[i];
            if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) {
                ssize_t n = recv(r.fd, buf, sizeof buf, 0);
                if (n > 0) {
                    r.call->reply.append(buf, static_cast<size_t>(n));
                    r.sending = false;  // answered: whatever is left would go unread
                } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                    end(r, now);
                    continue;
                }
            }
            if ((fds[i].revents & POLLOUT) && r.sending) {
                size_t count = r.trickling() ? std::min(r.call->trickleBytes, r.total() - r.sent)
                                             : r.total() - r.sent;
                if (r.sent < r.call->head.size())
                    count = std::min(count, r.call->head.size() - r.sent);
                if (!r.trickling() && r.call->trickle.count() > 0) {
                    count = std::min(count, r.call->trickleFrom - r.sent);
                }
                ssize_t n = send(r.fd, r.at(r.sent), count, MSG_NOSIGNAL);
                if (n > 0) {
                    r.sent += static_cast<size_t>(n);
                    r.nextByte = now + r.call->trickle;
                } else if (errno != EAGAIN && errno != EINTR) {
                    r.sending = false;  // refused mid-body: read what the service said
                }
            }
        }
    }
    for (auto& r : running) {
        if (r.fd >= 0) end(r, Clock::now());
    }
}

size_t peakResidentBytes(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stoull(line.substr(6)) * 1024;
    }
    return 0;
}


void roundTrip(const ServiceProcess& service, const std::string& page) {
    if (page.empty()) {
        service.requestCount();
    } else {
        service.request("GET", page);
    }
}

int logLines(const ServiceProcess& service, const std::string& text, int count, const std::string& page) {
    int found = 0;
    for (int look = 0; look < 3000 && found < count; ++look) {
        const std::string log = service.serviceLog();
        found = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++found;
        if (found < count) roundTrip(service, page);
    }
    return found;
}

bool readEverything(const ServiceProcess& service, const std::string& page) {
    char port[8];
    std::snprintf(port, sizeof port, ":%04X", static_cast<unsigned>(service.port()));
    for (int look = 0; look < 3000; ++look) {
        std::ifstream table("/proc/net/tcp");
        std::string line;
        std::getline(table, line);  // the titles
        bool waiting = false;
        while (std::getline(table, line)) {
            std::istringstream fields(line);
            std::string slot, local, remote, state, queues;
            fields >> slot >> local >> remote >> state >> queues;
            if (state == "01" && local.size() > 5 && local.compare(local.size() - 5, 5, port) == 0 &&
                queues.substr(queues.find(':') + 1) != "00000000") {
                waiting = true;
            }
        }
        if (!waiting) return true;
        roundTrip(service, page);
    }
    return false;
}

std::string pictureWords(const std::string& name) {
    std::ifstream file(std::string(ZVT_SOURCE_ROOT) + "/app/resources/images/" + name + ".svg");
    std::stringstream svg;
    svg << file.rdbuf();
    const std::string text = svg.str();
    std::string words;
    const std::regex tag("<text[^>]*>([^<]*)</text>");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), tag); it != std::sregex_iterator(); ++it) words += (*it)[1].str();
    return words;
}

}  // namespace zvt::test::svc
