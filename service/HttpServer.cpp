#include "service/HttpServer.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <malloc.h>
#include <linux/sockios.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <utility>

namespace zvt::service {

namespace {

constexpr uint64_t kListenTag = 0;
constexpr uint64_t kWakeTag = 1;
// A connection that was answered with a refusal, or is closing, is read and discarded this
// long so that the peer sees the reply instead of a reset.
constexpr std::chrono::milliseconds kLinger{2000};
// Bytes read from one connection before the others get their turn.
constexpr size_t kReadTurn = 256 * 1024;
constexpr size_t kMaxHeaders = 100;
constexpr size_t kMaxChunkLine = 4096;
// A streamed reply is made this much at a time: what a connection that stops reading holds.
constexpr size_t kPiece = 64 * 1024;
// The kernel's share of a reply, per connection (it doubles what is asked). Without a fixed
// size it grows to megabytes for a peer that never reads, beyond anything the service counts.
constexpr int kSendBuffer = 256 * 1024;
// Freeing a reply at least this large hands the allocator's free pages back to the system.
constexpr size_t kTrimAfter = 1u << 20;
// A reply's peer is judged by what it took over the last one to two of these: long enough that a
// steady reader whose system takes its bytes in lumps does not look stalled between them, short
// enough that a reader that has slowed down is seen to.
constexpr std::chrono::milliseconds kRateWindow{4000};
// A peer's system acknowledges what its reader read in lumps (on loopback a segment of 64 KiB or
// more, or its whole buffer, once its reader has read that much), so that a reader may have read
// up to a lump more than its system has said: it is judged as if it had, a lump being the most
// its system acknowledged at once of the reply (what it took at once as the way filled counts
// as one), at most this much.
constexpr size_t kLump = 128 * 1024;
// How often what the peers have taken of their replies is looked at: when a lump came is known
// to within this.
constexpr std::chrono::milliseconds kLookEvery{50};
// How often new connections that wait for a place in a full table are looked at, and requests
// that wait for room among the bytes held.
constexpr std::chrono::milliseconds kFullTableRetry{100};
// A body of which nothing has come for this long stalls: its bytes held make room for others.
// (While the service itself does not read it, for want of room, the time it has waited counts.)
constexpr std::chrono::milliseconds kBodyStall{1000};
// While new connections wait for a place in a full table, a kept-alive connection that has had
// this many replies closes after its next one ("Connection: close"), as keep-alive limits do:
// a client that pipelines request after request cannot keep its place for ever. A page and its
// pictures take a few dozen.
constexpr unsigned kShareOfReplies = 100;
// Descriptors kept for the service itself (the listening socket, epoll, the store's files,
// standard streams); of the rest each connection gets two: its socket and the file its reply
// may read from the disk.
constexpr rlim_t kDescriptorReserve = 64;

bool isTokenChar(unsigned char c) {
    return std::isalnum(c) || std::strchr("!#$%&'*+-.^_`|~", c) != nullptr;
}

// A Host value: a host name (letters, digits, '-', '_' and dots), an IPv4 address or a
// bracketed IPv6 address, then an optional ":port" of up to five digits. Replies build links
// from it, so nothing else is let through.
bool validHost(std::string_view v) {
    std::string_view host = v, port;
    if (!v.empty() && v.front() == '[') {
        size_t close = v.find(']');
        if (close == std::string_view::npos || close < 3) return false;
        host = v.substr(0, close + 1);
        for (char ch : host.substr(1, host.size() - 2))
            if (!std::isxdigit(static_cast<unsigned char>(ch)) && ch != ':' && ch != '.') return false;
        std::string_view rest = v.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return false;
            port = rest.substr(1);
            if (port.empty()) return false;
        }
    } else {
        size_t colon = v.find(':');
        if (colon != std::string_view::npos) {
            host = v.substr(0, colon);
            port = v.substr(colon + 1);
            if (port.empty()) return false;
        }
        if (host.empty() || host.size() > 253 || host.front() == '.' || host.front() == '-') return false;
        for (char ch : host)
            if (!std::isalnum(static_cast<unsigned char>(ch)) && ch != '-' && ch != '_' && ch != '.') return false;
    }
    if (port.size() > 5) return false;
    for (char ch : port)
        if (ch < '0' || ch > '9') return false;
    return port.empty() || std::stoul(std::string(port)) <= 65535;
}

bool iequals(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string percentDecoded(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && hexDigit(s[i + 1]) >= 0 && hexDigit(s[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hexDigit(s[i + 1]) * 16 + hexDigit(s[i + 2])));
            i += 2;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

// Client-chosen text made safe for one log line: printable ASCII kept, the rest as %XX.
std::string loggable(std::string_view s, size_t max = 300) {
    std::string out;
    for (unsigned char c : s) {
        if (out.size() >= max) {
            out += "...";
            break;
        }
        if (c > 0x20 && c < 0x7f) {
            out.push_back(static_cast<char>(c));
        } else {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", c);
            out += buf;
        }
    }
    return out;
}

const char* reasonOf(int status) {
    switch (status) {
    case 100:
        return "Continue";
    case 200:
        return "OK";
    case 302:
        return "Found";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 413:
        return "Content Too Large";
    case 417:
        return "Expectation Failed";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 503:
        return "Service Unavailable";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return "Status";
    }
}

// A handler's note for the log line: its blanks stay, control characters do not.
std::string noteText(std::string_view s) {
    std::string out;
    for (unsigned char c : s.substr(0, 200))
        out.push_back(c < 0x20 || c == 0x7f ? '?' : static_cast<char>(c));
    return out;
}

// Header values written by handlers (scripted content types among them) never split a line.
std::string oneLine(std::string_view s) {
    std::string out;
    for (char c : s) out.push_back(c == '\r' || c == '\n' || c == '\0' ? ' ' : c);
    return out;
}

bool loopbackAddress(const sockaddr_storage& ss) {
    if (ss.ss_family == AF_INET) {
        auto& a = reinterpret_cast<const sockaddr_in&>(ss);
        return (ntohl(a.sin_addr.s_addr) >> 24) == 127;
    }
    if (ss.ss_family == AF_INET6) {
        auto& a = reinterpret_cast<const sockaddr_in6&>(ss);
        if (IN6_IS_ADDR_LOOPBACK(&a.sin6_addr)) return true;
        return IN6_IS_ADDR_V4MAPPED(&a.sin6_addr) && a.sin6_addr.s6_addr[12] == 127;
    }
    return false;
}

std::pair<std::string, int> addressOf(const sockaddr_storage& ss) {
    char buf[INET6_ADDRSTRLEN] = "";
    if (ss.ss_family == AF_INET) {
        auto& a = reinterpret_cast<const sockaddr_in&>(ss);
        inet_ntop(AF_INET, &a.sin_addr, buf, sizeof buf);
        return {buf, ntohs(a.sin_port)};
    }
    if (ss.ss_family == AF_INET6) {
        auto& a = reinterpret_cast<const sockaddr_in6&>(ss);
        inet_ntop(AF_INET6, &a.sin6_addr, buf, sizeof buf);
        return {buf, ntohs(a.sin6_port)};
    }
    return {"?", 0};
}

long long millisBetween(std::chrono::steady_clock::time_point a,
                        std::chrono::steady_clock::time_point b) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(b - a).count();
}

std::string seconds(std::chrono::milliseconds d) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g s", static_cast<double>(d.count()) / 1000.0);
    return buf;
}

}  // namespace

std::string HttpRequest::header(std::string_view name) const {
    for (const auto& [k, v] : headers) {
        if (iequals(k, name)) return v;
    }
    return {};
}

struct HttpServer::Conn {
    enum class State { head, body, busy, waiting, writing, stalled, draining };
    enum class Chunk { size, data, dataEnd, trailer };

    uint64_t id = 0;
    int fd = -1;
    std::string addr;
    int port = 0;
    bool loopback = false;
    uint32_t events = 0;

    State state = State::head;
    Clock::time_point deadline;
    bool started = false;  // bytes of the current request have come
    bool served = false;   // an earlier request was answered on this connection
    bool http11 = false;   // the current request's version takes an interim "100 Continue"
    bool probed = false;   // its peer closed its side while the request was with a worker
    bool expectContinue = false;
    bool keepAlive = false;  // of the current request
    bool writes = false;     // the current request changes stored data
    unsigned replies = 0;    // answered on this connection
    Lane lane = Lane::calls;  // of the current request, and of the pieces of its reply
    std::string in;

    HttpRequest req;
    Clock::time_point requestStart;
    bool chunked = false;
    size_t contentLength = 0;
    Chunk chunk = Chunk::size;
    size_t chunkLeft = 0;
    size_t trailerBytes = 0;
    size_t held = 0;
    Clock::time_point bodySince;  // the end of the head: a full table judges its rate from here
    Clock::time_point bodyEnd;    // the body's deadline
    Clock::time_point lastByteAt;  // the body's last bytes came
    // Not read while it waits for room among the bytes held: its body's next bytes (`whole`:
    // what parsing it costs) did not fit, and nothing could give way.
    bool roomWait = false;
    bool roomWhole = false;
    Clock::time_point roomWaitSince;
    std::string method;  // of the current request, for its log line
    std::string target;

    // What an interim "100 Continue" sent while the request was with a worker left unsent: it
    // goes out ahead of the reply, so that the peer never reads part of it before the reply.
    std::string interim;
    // The reply going out: its head, then its body (or the piece of a streamed body).
    std::string outHead;
    std::string outBody;
    size_t outSent = 0;  // of the two together
    size_t replyHeld = 0;  // their bytes, counted against maxReplyBytes until released
    std::shared_ptr<BodyStream> stream;
    size_t streamLeft = 0;  // bytes of the stream not made yet
    bool pieceComing = false;  // a worker is making the next piece
    Clock::time_point lastTaken;  // when the peer last took bytes of its reply (or it was made)
    // What the peer has taken: the socket's bytes, less those its peer has not acknowledged.
    // Two marks of it, each at the end of a lump, a rate window or more apart, measure the rate it
    // takes its reply at (the time it waits for its next piece, all of its reply taken, is not
    // counted).
    size_t sentTotal = 0;  // bytes the socket took, over the connection's life
    // The peer's system first stopped taking the current reply at once (its window and the
    // socket's buffer full): from then on what it takes is what its reader reads.
    bool filled = false;
    Clock::time_point filledAt;
    Clock::time_point pieceAsked;  // its next piece was asked of a worker
    size_t markOld = 0, markNew = 0;
    Clock::time_point markOldAt, markNewAt;
    // Its system acknowledges the reply in lumps, each once its reader has read enough for the
    // system to say so (on loopback, a whole segment of 64 KiB, or its whole buffer): what it had
    // acknowledged at the last look that found more, and when; the largest lump (what it took at
    // once as the way filled counts as one), at most kLump; and what it had acknowledged when the
    // reply began to go out.
    size_t acked = 0;
    Clock::time_point ackedAt;
    size_t lump = 0;
    size_t replyFrom = 0;
    Clock::time_point headSince;  // since when the connection waits for a request head
    bool closeAfter = false;
    size_t drained = 0;
    std::string stallNote;
    std::string gate;  // the closed gate its reply waits at
    int gateDelayMs = 0;

    bool closed() const { return fd < 0; }
};

HttpServer::HttpServer(HttpLimits limits, Handler handler, Refusal refusal, Sorter sorter, Writes writes)
    : limits_(limits),
      handler_(std::move(handler)),
      refusal_(std::move(refusal)),
      sorter_(std::move(sorter)),
      writes_(std::move(writes)) {
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

HttpServer::~HttpServer() {
    for (auto& [id, c] : conns_) {
        if (c->fd >= 0) ::close(c->fd);
    }
    if (listenFd_ >= 0) ::close(listenFd_);
    if (epollFd_ >= 0) ::close(epollFd_);
    if (wakeFd_ >= 0) ::close(wakeFd_);
}

int HttpServer::bind(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    std::string service = std::to_string(port);
    if (getaddrinfo(host.empty() ? nullptr : host.c_str(), service.c_str(), &hints, &found) != 0) {
        return -1;
    }
    int bound = -1;
    for (addrinfo* ai = found; ai && bound < 0; ai = ai->ai_next) {
        int fd =
            socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
        if (fd < 0) continue;
        int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(fd, ai->ai_addr, ai->ai_addrlen) != 0 || listen(fd, 1024) != 0) {
            ::close(fd);
            continue;
        }
        sockaddr_storage ss{};
        socklen_t len = sizeof ss;
        getsockname(fd, reinterpret_cast<sockaddr*>(&ss), &len);
        bound = addressOf(ss).second;
        listenFd_ = fd;
    }
    freeaddrinfo(found);
    return bound;
}

void HttpServer::stop() {
    stopping_ = true;
    wake();
}

void HttpServer::wake() {
    uint64_t one = 1;
    if (wakeFd_ >= 0 && write(wakeFd_, &one, sizeof one) < 0) {
        // The counter is already non-zero: the loop wakes anyway.
    }
}

void HttpServer::closeGate(const std::string& name) {
    std::lock_guard lock(gatesMutex_);
    closedGates_.insert(name);
}

void HttpServer::openGate(const std::string& name) {
    {
        std::lock_guard lock(gatesMutex_);
        closedGates_.erase(name);
        openedGates_.push_back(name);
    }
    wake();
}

void HttpServer::openEveryGate() {
    {
        std::lock_guard lock(gatesMutex_);
        openedGates_.insert(openedGates_.end(), closedGates_.begin(), closedGates_.end());
        closedGates_.clear();
    }
    wake();
}

bool HttpServer::gateClosed(const std::string& name) {
    std::lock_guard lock(gatesMutex_);
    return closedGates_.count(name) > 0;
}

void HttpServer::log(const char* level, const std::string& text) {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm tm{};
    gmtime_r(&ts.tv_sec, &tm);
    char stamp[40];
    size_t n = std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &tm);
    std::snprintf(stamp + n, sizeof stamp - n, ".%03ldZ", ts.tv_nsec / 1000000);
    std::string line = std::string(stamp) + " " + level + " " + text + "\n";
    // One write per line, so that lines of several threads never interleave.
    if (::write(STDERR_FILENO, line.data(), line.size()) < 0) {
        // Nowhere left to report it.
    }
}

bool HttpServer::run() {
    if (listenFd_ < 0 || wakeFd_ < 0) return false;
    epollFd_ = epoll_create1(EPOLL_CLOEXEC);
    if (epollFd_ < 0) return false;
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = kListenTag;
    epoll_ctl(epollFd_, EPOLL_CTL_ADD, listenFd_, &ev);
    ev.data.u64 = kWakeTag;
    epoll_ctl(epollFd_, EPOLL_CTL_ADD, wakeFd_, &ev);

    // Every connection is a descriptor, and may open a file for its reply: the table holds as
    // many as the descriptor limit (the program raises it to its hard limit) leaves room for
    // both, so that a file is never refused for want of a descriptor.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY) {
        const rlim_t spare = files.rlim_cur > kDescriptorReserve + 2 ? files.rlim_cur - kDescriptorReserve : 2;
        limits_.maxConnections = std::min<size_t>(limits_.maxConnections, static_cast<size_t>(spare / 2));
    }

    for (int i = 0; i < std::max(1, limits_.callWorkers); ++i) {
        workers_.emplace_back([this] { workerLoop(Lane::calls); });
    }
    for (int i = 0; i < std::max(1, limits_.pictureWorkers); ++i) {
        workers_.emplace_back([this] { workerLoop(Lane::pictures); });
    }
    for (int i = 0; i < std::max(1, limits_.pieceWorkers); ++i) {
        workers_.emplace_back([this] { workerLoop(Lane::pieces); });
    }
    for (int i = 0; i < std::max(1, limits_.frameWorkers); ++i) {
        workers_.emplace_back([this] { workerLoop(Lane::frames); });
    }

    std::vector<epoll_event> events(256);
    while (!stopping_) {
        int n =
            epoll_wait(epollFd_, events.data(), static_cast<int>(events.size()), nextTimeoutMs());
        if (n < 0 && errno != EINTR) break;
        for (int i = 0; i < n; ++i) {
            uint64_t tag = events[static_cast<size_t>(i)].data.u64;
            if (tag == kListenTag) {
                acceptAll();
            } else if (tag == kWakeTag) {
                uint64_t count = 0;
                while (read(wakeFd_, &count, sizeof count) > 0) {
                }
            } else if (auto it = conns_.find(tag); it != conns_.end() && !it->second->closed()) {
                onEvent(*it->second, events[static_cast<size_t>(i)].events);
            }
        }
        finishJobs();
        expire();
        for (auto it = conns_.begin(); it != conns_.end();) {
            it = it->second->closed() ? conns_.erase(it) : std::next(it);
        }
    }

    {
        std::lock_guard lock(jobsMutex_);
        workersStop_ = true;
        for (Queue& q : queues_) q.jobs.clear();
    }
    for (Queue& q : queues_) q.ready.notify_all();
    roomFreed_.notify_all();
    for (auto& t : workers_) t.join();
    workers_.clear();
    for (auto& [id, c] : conns_) close(*c);
    conns_.clear();
    ::close(listenFd_);
    listenFd_ = -1;
    return true;
}

void HttpServer::workerLoop(Lane lane) {
    Queue& queue = queues_[static_cast<int>(lane)];
    for (;;) {
        Job job;
        size_t allowance = 0;
        {
            std::unique_lock lock(jobsMutex_);
            for (;;) {
                queue.ready.wait(lock, [&] { return workersStop_ || !queue.jobs.empty(); });
                if (workersStop_) return;
                // A reply counts from the moment it starts being made. One that would pass the
                // budget waits (still in the queue, where a peer that goes away drops it) while
                // the reading thread makes room or other replies are taken. The next pieces of
                // replies under way leave the room of one new reply's allowance: room frees a
                // piece at a time as their peers take them, and when those peers all take at the
                // rate (none gives way), a new reply would otherwise wait for a moment when no
                // piece takes what frees, which their sockets' wake-ups in waves may put seconds off.
                const bool piece = queue.jobs.front().stream != nullptr;
                allowance = piece ? kPiece : limits_.makeAllowance;
                const size_t kept = piece ? limits_.makeAllowance : 0;
                if (replyHeld_ == 0 || replyHeld_ + allowance + kept <= limits_.maxReplyBytes) break;
                roomWanted_ = true;
                wake();
                ++budgetWaiters_;
                roomFreed_.wait(lock);
                --budgetWaiters_;
            }
            job = std::move(queue.jobs.front());
            queue.jobs.pop_front();
            replyHeld_ += allowance;
        }
        Done done{job.conn, job.held, HttpResponse{}, job.stream != nullptr};
        if (job.stream) {
            // The next piece of a streamed reply; none when it cannot be made (the reading
            // thread then cuts the connection: its peer sees a short body).
            try {
                job.stream->next(done.response.body, kPiece);
            } catch (const std::exception& e) {
                log("WARN", std::string("reply cut short: ") + e.what());
                done.response.body.clear();
            }
            job.stream.reset();
        } else {
            try {
                done.response = handler_(job.request);
                // The first piece of a streamed reply goes out with its head.
                if (done.response.stream) {
                    done.response.body.clear();
                    done.response.stream->next(done.response.body, kPiece);
                }
            } catch (const std::exception& e) {
                done.response = HttpResponse{};
                done.response.status = 500;
                done.response.body = std::string("internal error: ") + e.what();
            }
            const size_t bodyBytes = job.request.body.size();
            job.request = HttpRequest{};  // the body's memory goes before its bytes are released
            // Large bodies leave their pages in this worker's heap; hand them back to the
            // system, so that a burst of big requests does not keep the service large ever after.
            if (bodyBytes >= kTrimAfter) malloc_trim(0);
        }
        {
            std::lock_guard lock(jobsMutex_);
            // From the allowance to what was made; the reading thread takes the count over.
            const size_t made = done.response.body.size();
            done.charged = made;
            replyHeld_ = replyHeld_ - std::min(replyHeld_, allowance) + made;
            done_.push_back(std::move(done));
            if (budgetWaiters_ > 0 && made < allowance) roomFreed_.notify_all();
        }
        uint64_t one = 1;
        if (write(wakeFd_, &one, sizeof one) < 0) {
            // Already signalled.
        }
    }
}

void HttpServer::acceptAll() {
    for (;;) {
        if (open_ >= limits_.maxConnections) {
            // A place is made only for a connection that waits for one.
            pollfd waiting{listenFd_, POLLIN, 0};
            if (poll(&waiting, 1, 0) <= 0) return;
            makeRoomForNewConnection();
        }
        if (open_ >= limits_.maxConnections) {
            // Nothing can give way yet (the slow readers among the replies are judged only once
            // their grace has passed): the new connections wait in the listening queue, which
            // the system keeps, and are looked at again shortly, instead of being refused.
            if (!tableFull_) {
                tableFull_ = true;
                log("WARN", "new connections wait to be accepted: " +
                                std::to_string(limits_.maxConnections) +
                                " connections open, none of which can give way yet");
            }
            epoll_ctl(epollFd_, EPOLL_CTL_DEL, listenFd_, nullptr);
            acceptPaused_ = true;
            acceptResume_ = Clock::now() + kFullTableRetry;
            return;
        }
        sockaddr_storage ss{};
        socklen_t len = sizeof ss;
        int fd = accept4(listenFd_, reinterpret_cast<sockaddr*>(&ss), &len,
                         SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) {
                log("WARN", std::string("accept: ") + std::strerror(errno));
                // Out of descriptors: the listening socket stays readable, so stop watching it
                // for a moment instead of spinning.
                epoll_ctl(epollFd_, EPOLL_CTL_DEL, listenFd_, nullptr);
                acceptPaused_ = true;
                acceptResume_ = Clock::now() + std::chrono::milliseconds(100);
            }
            return;
        }
        auto [addr, port] = addressOf(ss);
        tableFull_ = false;
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        int sendBuffer = kSendBuffer;
        setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
        auto c = std::make_unique<Conn>();
        c->id = nextId_++;
        c->fd = fd;
        c->addr = addr;
        c->port = port;
        c->loopback = loopbackAddress(ss);
        epoll_event ev{};
        ev.events = EPOLLIN | EPOLLRDHUP;
        ev.data.u64 = c->id;
        if (epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &ev) != 0) {
            ::close(fd);
            continue;
        }
        c->events = ev.events;
        startRequest(*c);
        conns_.emplace(c->id, std::move(c));
        ++open_;
    }
}

// A full table must not lock everyone out: the connection that has waited longest for a
// whole request head (a trickler, an idle kept-alive connection, one that never sent), or whose
// body comes below the minimum rate, or whose peer takes its reply below it, gives way. One
// whose body comes at that rate, whose reply is being made or held back, or whose peer takes its
// reply at that rate, is never cut for another. A candidate is read (or written to) first: its
// head, the rest of its body, or its peer's taking may have come while the reading thread
// accepted others, and then it is judged again.
void HttpServer::makeRoomForNewConnection() {
    const auto now = Clock::now();
    std::vector<Conn*> candidates;
    for (auto& [id, cp] : conns_) {
        if (!cp->closed() && givesWay(*cp, now)) candidates.push_back(cp.get());
    }
    std::sort(candidates.begin(), candidates.end(), [](const Conn* a, const Conn* b) {
        return a->headSince != b->headSince ? a->headSince < b->headSince : a->id < b->id;
    });
    for (Conn* c : candidates) {
        if (c->state == Conn::State::writing) {
            writeSome(*c);
        } else {
            readSome(*c);
        }
        if (open_ < limits_.maxConnections) return;  // it, or another, has gone meanwhile
        if (c->closed() || !givesWay(*c, Clock::now())) continue;
        logRequest(*c, "WARN", 0,
                   "gave way to a new connection: " + std::to_string(limits_.maxConnections) +
                       " connections open and this one " +
                       (c->state == Conn::State::head   ? "waited longest for a request head"
                        : c->state == Conn::State::body ? "sent its body slowest"
                                                        : "took its reply slowest"));
        close(*c);
        return;
    }
}

bool HttpServer::givesWay(const Conn& c, Clock::time_point now) const {
    // (A body the service does not read while it waits for room came at the rate: the time it
    // waits is not its own.)
    return c.state == Conn::State::head ||
           (c.state == Conn::State::body && !c.roomWait && slowBody(c, now)) || slowReader(c, now);
}

// What a body has announced: its length, or for a chunked one what has come and the rest of
// the chunk it is in.
size_t HttpServer::bodyAnnounced(const Conn& c) {
    return c.chunked ? c.req.body.size() + (c.chunk == Conn::Chunk::data ? c.chunkLeft : 0)
                     : c.contentLength;
}

// Whether a body has come below the minimum rate since the end of its head, judged once it has
// come for its grace: a steady upload whose first lumps are still on their way is not slow.
bool HttpServer::slowBody(const Conn& c, Clock::time_point now) const {
    if (limits_.minBodyRate == 0 || now - c.bodySince < limits_.bodyGrace) return false;
    const long long elapsed = millisBetween(c.bodySince, now);
    return elapsed > 0 && static_cast<double>(c.req.body.size()) <
                              static_cast<double>(limits_.minBodyRate) * static_cast<double>(elapsed) / 1000.0;
}

// Bytes of its replies the peer has taken: those the socket took, less those still in it.
size_t HttpServer::taken(const Conn& c) {
    int queued = 0;
    if (c.closed() || ioctl(c.fd, SIOCOUTQ, &queued) != 0) queued = 0;
    return c.sentTotal - std::min(c.sentTotal, static_cast<size_t>(std::max(0, queued)));
}

// Bytes of its replies sent to the peer: those the socket took, less those it has not sent yet.
// (Once the way to the peer's reader is full, what has been sent is what its system took at
// once; it acknowledges the last of those a moment later whether its reader reads or not.)
size_t HttpServer::transmitted(const Conn& c) {
    int unsent = 0;
    if (c.closed() || ioctl(c.fd, SIOCOUTQNSD, &unsent) != 0) unsent = 0;
    return c.sentTotal - std::min(c.sentTotal, static_cast<size_t>(std::max(0, unsent)));
}

// A reply starts going out, or first fills the way to its peer's reader: its peer's rate is
// measured from here, from what has reached its system by then. (Until the way is full the peer's
// system takes it at once, whatever its reader does.) What its system took at once as the way
// filled is its first lump.
void HttpServer::startTaking(Conn& c) {
    const auto now = Clock::now();
    c.markOldAt = c.markNewAt = c.ackedAt = now;
    c.markOld = c.markNew = c.acked = c.filled ? transmitted(c) : taken(c);
    if (c.filled) {
        c.lump = std::min(kLump, c.acked - std::min(c.acked, c.replyFrom));
    } else {
        c.replyFrom = c.acked;
        c.lump = 0;
    }
}

// Notes a lump its system acknowledged since the last look, and moves the marks on once the
// newer is a window old, each to the last lump acknowledged (never to a moment between two): the
// rate is then measured over one to two windows, from the end of a lump.
void HttpServer::markTaken(Conn& c, Clock::time_point now) {
    const size_t t = taken(c);
    if (t > c.acked) {
        c.lump = std::max(c.lump, std::min(kLump, t - c.acked));
        c.acked = t;
        c.ackedAt = now;
    }
    if (now - c.markNewAt < kRateWindow) return;
    c.markOld = c.markNew;
    c.markOldAt = c.markNewAt;
    c.markNew = std::max(c.markNew, c.acked);
    c.markNewAt = std::max(c.markNewAt, c.ackedAt);
}

// The rate (bytes a second) at which a reply's peer has taken it since the older mark, which is
// the end of a lump (or the moment its way filled): over the last one to two rate windows, or
// since its way filled (since the reply began to go out, before that). Its reader may have read
// up to a lump more than its system has acknowledged (kLump), and is judged as if it had: so a
// reader at the rate never looks below it in the instant its way fills, nor between two lumps,
// however unevenly they come; one that has stopped falls below it within a lump's time at the
// rate.
double HttpServer::takeRate(const Conn& c, Clock::time_point now) {
    const long long elapsed = std::max(1LL, millisBetween(c.markOldAt, now));
    const size_t t = taken(c);
    const size_t took = t - std::min(t, c.markOld);
    return static_cast<double>(took + c.lump) * 1000.0 / static_cast<double>(elapsed);
}

// Whether a reply's peer, its grace past since the way to its reader filled, takes it below the
// minimum rate. A reply being made, whose next piece is being made, or held back is not judged:
// there is nothing for its peer to take.
bool HttpServer::slowReader(const Conn& c, Clock::time_point now) const {
    if (limits_.minBodyRate == 0 || c.closed() || c.state != Conn::State::writing || c.pieceComing ||
        !c.filled || now - c.filledAt < limits_.replyGrace) {
        return false;
    }
    return takeRate(c, now) < static_cast<double>(limits_.minBodyRate);
}

// Whether a body still coming gives its bytes up for another request's: 2 when it stalls
// (nothing of it for a while) or has come below the minimum rate; 1 when the service itself has
// held it back, unread, for want of room for that long (so that bodies that each wait for the
// others never lock the budget); 0 otherwise. One coming at the rate never does, however much it
// announces.
int HttpServer::bodyGivesRoom(const Conn& c, Clock::time_point now) const {
    if (c.closed() || c.state != Conn::State::body || c.held == 0) return 0;
    if (c.roomWait) return now - c.roomWaitSince >= kBodyStall ? 1 : 0;
    return now - c.lastByteAt >= kBodyStall || slowBody(c, now) ? 2 : 0;
}

// Makes room for `bytes` more request bytes of c's: while they do not fit, of the bodies that
// give their bytes up (bodyGivesRoom; those that stall or come slowly before those held back)
// the one that announces the most bytes (of those, the furthest from its end) is refused; false
// when none can. So neither a small request nor an upload at a good pace is kept out by bodies
// that hold the budget and stall or come slowly.
bool HttpServer::roomForRequestBytes(Conn& c, size_t bytes) {
    const auto now = Clock::now();
    while (held_ + bytes > limits_.maxHeldBytes) {
        Conn* largest = nullptr;
        int largestGives = 0;
        auto rest = [](const Conn& x) { return bodyAnnounced(x) - std::min(bodyAnnounced(x), x.req.body.size()); };
        for (auto& [id, cp] : conns_) {
            Conn& v = *cp;
            const int gives = &v == &c ? 0 : bodyGivesRoom(v, now);
            if (gives == 0) continue;
            if (!largest || gives > largestGives ||
                (gives == largestGives &&
                 (bodyAnnounced(v) > bodyAnnounced(*largest) ||
                  (bodyAnnounced(v) == bodyAnnounced(*largest) && rest(v) > rest(*largest))))) {
                largest = &v;
                largestGives = gives;
            }
        }
        if (!largest) return false;
        refuse(*largest, 503, "too many request bytes held at once: gave way, stalled or slow, for another request");
    }
    return true;
}

// Its next bytes (or, `whole`, what parsing it costs) do not fit and nothing can give way: a
// request that comes at the rate (or already waits) is not read until room is made (retryRoom),
// its deadline running, and is not judged by its rate meanwhile; only its peer's going away is
// watched. One below the rate is refused.
void HttpServer::noRoom(Conn& c, bool whole) {
    if (c.state != Conn::State::body || (!c.roomWait && slowBody(c, Clock::now()))) {
        refuse(c, 503, "too many request bytes held at once");
        return;
    }
    if (!c.roomWait) {
        c.roomWait = true;
        c.roomWaitSince = Clock::now();
        ++roomWaiters_;
    }
    c.roomWhole = whole;
    watch(c, 0);
}

void HttpServer::endRoomWait(Conn& c) {
    if (!c.roomWait) return;
    c.roomWait = false;
    --roomWaiters_;
}

// The requests that wait for room try again, in the order they came: bytes held may have been
// released, or a body held may have stalled meanwhile.
void HttpServer::retryRoom() {
    if (roomWaiters_ == 0) return;
    for (auto& [id, cp] : conns_) {
        Conn& c = *cp;
        if (c.closed() || !c.roomWait) continue;
        // (It still waits while it tries: the wait ends once its bytes fit.)
        if (c.roomWhole) {
            dispatch(c);
        } else {
            process(c);
        }
        if (c.closed() || c.roomWait || c.state != Conn::State::body) continue;
        watch(c, EPOLLIN | EPOLLRDHUP);
        readSome(c);
    }
}

// Whether the peer has closed its side or reset the connection, seen without reading.
bool HttpServer::peerEnded(const Conn& c) {
    pollfd p{c.fd, POLLRDHUP, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

void HttpServer::startRequest(Conn& c) {
    c.req = HttpRequest{};
    c.req.remoteAddr = c.addr;
    c.req.remotePort = c.port;
    c.req.fromLoopback = c.loopback;
    c.state = Conn::State::head;
    c.started = false;
    c.expectContinue = false;
    c.chunked = false;
    c.contentLength = 0;
    c.chunk = Conn::Chunk::size;
    c.chunkLeft = 0;
    c.trailerBytes = 0;
    c.held = 0;
    c.keepAlive = false;
    c.writes = false;
    c.method.clear();
    c.target.clear();
    c.headSince = Clock::now();
    c.deadline = c.headSince + (c.served ? limits_.idleTimeout : limits_.headDeadline);
}

void HttpServer::watch(Conn& c, uint32_t events) {
    if (c.closed() || c.events == events) return;
    epoll_event ev{};
    ev.events = events;
    ev.data.u64 = c.id;
    epoll_ctl(epollFd_, EPOLL_CTL_MOD, c.fd, &ev);
    c.events = events;
}

void HttpServer::close(Conn& c) {
    if (c.closed()) return;
    epoll_ctl(epollFd_, EPOLL_CTL_DEL, c.fd, nullptr);
    ::close(c.fd);
    c.fd = -1;
    --open_;
    endRoomWait(c);
    // (A request with a worker keeps its bytes counted until the worker is done.)
    releaseHeld(c.held);
    c.held = 0;
    releaseReply(c);
    c.stream.reset();
}

void HttpServer::releaseHeld(size_t bytes) {
    held_ -= std::min(held_, bytes);
}

void HttpServer::onEvent(Conn& c, uint32_t events) {
    if (c.roomWait) {
        // Not read while it waits for room: only a reset ends it.
        if (events & (EPOLLERR | EPOLLHUP)) {
            logRequest(c, "WARN", 0, "peer went away while its request waited for room");
            close(c);
        }
        return;
    }
    switch (c.state) {
    case Conn::State::head:
    case Conn::State::body:
    case Conn::State::stalled:
    case Conn::State::draining:
        readSome(c);
        break;
    case Conn::State::writing:
        if (events & (EPOLLERR | EPOLLHUP)) {
            log("WARN", c.addr + ":" + std::to_string(c.port) + " went away before its reply");
            close(c);
        } else {
            writeSome(c);
        }
        break;
    case Conn::State::busy:
    case Conn::State::waiting:
        if (events & (EPOLLERR | EPOLLHUP)) {
            peerGone(c);
        } else if (events & EPOLLRDHUP) {
            peerClosed(c);
        }
        break;
    }
}

// The peer has closed its side while its request is with a worker or its reply waits. A peer
// that only half-closed may still read its reply; one that closed its socket may not. An
// interim "100 Continue" (which an HTTP/1.1 client takes before any reply, whether it asked
// for one or not) tells them apart: a closed socket answers it with a reset (EPOLLHUP).
void HttpServer::peerClosed(Conn& c) {
    watch(c, 0);  // the reset still wakes the loop; the end of the input would again and again
    // A request that writes, still queued, is not made for it (see dispatch).
    if (c.writes && c.state == Conn::State::busy && dropQueued(c)) {
        logRequest(c, "WARN", 0, "peer went away: its request dropped before it was made");
        close(c);
        return;
    }
    if (c.probed || !c.http11) return;
    c.probed = true;
    static const std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
    const ssize_t n = send(c.fd, kContinue.data(), kContinue.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
        peerGone(c);
        return;
    }
    // What the socket did not take goes out ahead of the reply: the interim reply is written
    // whole, never cut by the reply's head.
    const std::string rest(kContinue.substr(static_cast<size_t>(std::max<ssize_t>(0, n))));
    if (c.state == Conn::State::waiting) {
        c.outHead.insert(0, rest);  // the reply is made and not a byte of it sent yet
    } else {
        c.interim = rest;
    }
}

// A peer gone while its request waits for a worker or is made, or while its reply waits: its
// connection is given up at once; a request still queued is dropped before it is made.
void HttpServer::peerGone(Conn& c) {
    std::string what = "peer went away before its reply";
    if (c.state == Conn::State::busy) {
        what = dropQueued(c) ? "peer went away: its request dropped before it was made"
                             : "peer went away while its reply was made";
    }
    logRequest(c, "WARN", 0, what);
    close(c);
}

bool HttpServer::dropQueued(Conn& c) {
    Job dropped;
    {
        std::lock_guard lock(jobsMutex_);
        auto& jobs = queues_[static_cast<int>(c.lane)].jobs;
        auto it = std::find_if(jobs.begin(), jobs.end(), [&](const Job& j) { return j.conn == c.id; });
        if (it == jobs.end()) return false;
        dropped = std::move(*it);
        jobs.erase(it);
    }
    releaseHeld(dropped.held);
    return true;
}

void HttpServer::readSome(Conn& c) {
    char buf[16384];
    size_t total = 0;
    while (total < kReadTurn && !c.closed()) {
        ssize_t n = recv(c.fd, buf, sizeof buf, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) close(c);
            return;
        }
        if (n == 0) {
            if (c.state == Conn::State::stalled) {
                logRequest(c, "INFO", 0, "stalled until the peer hung up" + c.stallNote);
            } else if (c.started &&
                       (c.state == Conn::State::head || c.state == Conn::State::body)) {
                logRequest(c, "WARN", 0, "peer hung up before the request was complete");
            }
            close(c);
            return;
        }
        total += static_cast<size_t>(n);
        if (c.state == Conn::State::stalled || c.state == Conn::State::draining) {
            c.drained += static_cast<size_t>(n);
            if (c.state == Conn::State::draining && c.drained > limits_.maxBodyBytes) close(c);
            continue;
        }
        c.in.append(buf, static_cast<size_t>(n));
        process(c);
        if ((c.state != Conn::State::head && c.state != Conn::State::body) || c.roomWait) return;
    }
}

void HttpServer::process(Conn& c) {
    if (c.state == Conn::State::head) {
        if (!c.started) {
            size_t skip = 0;
            while (c.in.compare(skip, 2, "\r\n") == 0) skip += 2;
            c.in.erase(0, skip);
            if (c.in.empty()) return;
            c.started = true;
            c.requestStart = Clock::now();
            c.deadline = c.requestStart + limits_.headDeadline;
        }
        size_t end = c.in.find("\r\n\r\n");
        if (end == std::string::npos) {
            if (c.in.size() > limits_.maxHeadBytes) {
                refuse(c, 431,
                       "request head over " + std::to_string(limits_.maxHeadBytes) + " bytes");
            }
            return;
        }
        if (end + 4 > limits_.maxHeadBytes) {
            refuse(c, 431, "request head over " + std::to_string(limits_.maxHeadBytes) + " bytes");
            return;
        }
        if (!parseHead(c, end)) return;
        if (!c.chunked && c.contentLength == 0) {
            dispatch(c);
            return;
        }
        c.state = Conn::State::body;
        c.bodySince = Clock::now();
        c.lastByteAt = c.bodySince;
        c.bodyEnd = c.bodySince + limits_.bodyDeadline;
        c.deadline = c.bodyEnd;
        if (c.expectContinue) {
            static const char kContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";
            if (send(c.fd, kContinue, sizeof kContinue - 1, MSG_NOSIGNAL | MSG_DONTWAIT) !=
                static_cast<ssize_t>(sizeof kContinue - 1)) {
                close(c);
                return;
            }
        }
    }
    if (c.state != Conn::State::body) return;
    if (readBody(c)) dispatch(c);
}

bool HttpServer::parseHead(Conn& c, size_t headEnd) {
    std::string_view head(c.in.data(), headEnd);
    std::vector<std::string_view> lines;
    for (size_t pos = 0;;) {
        size_t eol = head.find("\r\n", pos);
        lines.push_back(head.substr(pos, eol == std::string_view::npos ? eol : eol - pos));
        if (eol == std::string_view::npos) break;
        pos = eol + 2;
    }
    for (auto line : lines) {
        if (line.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
            refuse(c, 400, "stray line break in the request head");
            return false;
        }
    }
    // Request line: method, target, version, one blank apart.
    std::string_view line = lines[0];
    size_t sp1 = line.find(' ');
    size_t sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
    if (sp2 == std::string_view::npos || line.find(' ', sp2 + 1) != std::string_view::npos) {
        refuse(c, 400, "malformed request line");
        return false;
    }
    std::string_view method = line.substr(0, sp1);
    std::string_view target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    std::string_view version = line.substr(sp2 + 1);
    c.method = loggable(method, 20);
    c.target = loggable(target);
    if (method.empty() || !std::all_of(method.begin(), method.end(),
                                       [](unsigned char ch) { return isTokenChar(ch); })) {
        refuse(c, 400, "malformed method");
        return false;
    }
    if (target.empty() || target[0] != '/' ||
        !std::all_of(target.begin(), target.end(),
                     [](unsigned char ch) { return ch > 0x20 && ch != 0x7f; })) {
        refuse(c, 400, "malformed target");
        return false;
    }
    if (version != "HTTP/1.1" && version != "HTTP/1.0") {
        refuse(c, version.rfind("HTTP/", 0) == 0 ? 505 : 400, "unsupported version");
        return false;
    }
    c.req.method = std::string(method);
    c.req.target = std::string(target);
    c.req.path = percentDecoded(target.substr(0, target.find('?')));
    c.req.version = std::string(version);
    c.req.keepAlive = version == "HTTP/1.1";

    if (lines.size() - 1 > kMaxHeaders) {
        refuse(c, 431, "more than " + std::to_string(kMaxHeaders) + " headers");
        return false;
    }
    std::string contentLength, transferEncoding, expect;
    int hosts = 0;
    for (size_t i = 1; i < lines.size(); ++i) {
        std::string_view h = lines[i];
        size_t colon = h.find(':');
        if (colon == 0 || colon == std::string_view::npos ||
            !std::all_of(h.begin(), h.begin() + static_cast<std::ptrdiff_t>(colon),
                         [](unsigned char ch) { return isTokenChar(ch); })) {
            refuse(c, 400, "malformed header line");
            return false;
        }
        std::string_view name = h.substr(0, colon);
        std::string_view value = trimmed(h.substr(colon + 1));
        if (std::any_of(value.begin(), value.end(),
                        [](unsigned char ch) { return (ch < 0x20 && ch != '\t') || ch == 0x7f; })) {
            refuse(c, 400, "control character in a header");
            return false;
        }
        if (iequals(name, "Content-Length")) {
            if (value.empty() || value.size() > 18 ||
                !std::all_of(value.begin(), value.end(),
                             [](char ch) { return ch >= '0' && ch <= '9'; }) ||
                (!contentLength.empty() && contentLength != value)) {
                refuse(c, 400, "malformed Content-Length");
                return false;
            }
            contentLength = std::string(value);
        } else if (iequals(name, "Transfer-Encoding")) {
            if (!transferEncoding.empty()) {
                refuse(c, 501, "layered transfer encodings");
                return false;
            }
            transferEncoding = std::string(value);
        } else if (iequals(name, "Host")) {
            // Replies put the Host into their links: only one, and only a host name or address
            // with an optional port (RFC 9112 section 3.2 answers anything else with 400).
            if (++hosts > 1 || !validHost(value)) {
                refuse(c, 400, hosts > 1 ? "more than one Host header" : "malformed Host header");
                return false;
            }
        } else if (iequals(name, "Expect")) {
            expect = std::string(value);
        } else if (iequals(name, "Connection")) {
            for (size_t pos = 0; pos <= value.size();) {
                size_t comma = value.find(',', pos);
                auto token = trimmed(
                    value.substr(pos, comma == std::string_view::npos ? comma : comma - pos));
                if (iequals(token, "close")) c.req.keepAlive = false;
                if (iequals(token, "keep-alive") && version == "HTTP/1.0") c.req.keepAlive = true;
                if (comma == std::string_view::npos) break;
                pos = comma + 1;
            }
        }
        c.req.headers.emplace_back(std::string(name), std::string(value));
    }
    if (hosts == 0 && version == "HTTP/1.1") {
        refuse(c, 400, "HTTP/1.1 request without a Host header");
        return false;
    }
    c.in.erase(0, headEnd + 4);
    c.keepAlive = c.req.keepAlive;

    if (!transferEncoding.empty()) {
        // Both framings at once is how requests are smuggled past a proxy: refuse it.
        if (!contentLength.empty() || version == "HTTP/1.0") {
            refuse(c, 400, "Transfer-Encoding with Content-Length or HTTP/1.0");
            return false;
        }
        if (!iequals(transferEncoding, "chunked")) {
            refuse(c, 501, "transfer encoding other than chunked");
            return false;
        }
        c.chunked = true;
    } else if (!contentLength.empty()) {
        c.contentLength = std::stoull(contentLength);
        if (c.contentLength > limits_.maxBodyBytes) {
            refuse(c, 413,
                   "body of " + contentLength + " bytes over the cap of " +
                       std::to_string(limits_.maxBodyBytes));
            return false;
        }
        // Its bytes count once they come (readBody): a declaration alone holds nothing.
    }
    if (!expect.empty()) {
        if (!iequals(expect, "100-continue")) {
            refuse(c, 417, "unknown expectation");
            return false;
        }
        c.expectContinue = version == "HTTP/1.1" && (c.chunked || c.contentLength > 0);
    }
    return true;
}

// Counts body bytes received against the bytes held at once; when they do not fit, the request
// waits for room while it comes at the minimum rate, and is refused (503) below it.
bool HttpServer::holdReceived(Conn& c, size_t bytes) {
    if (!roomForRequestBytes(c, bytes)) {
        noRoom(c, false);
        return false;
    }
    endRoomWait(c);
    held_ += bytes;
    c.held += bytes;
    if (bytes > 0) c.lastByteAt = Clock::now();
    return true;
}

bool HttpServer::readBody(Conn& c) {
    if (!c.chunked) {
        size_t take = std::min(c.in.size(), c.contentLength - c.req.body.size());
        if (!holdReceived(c, take)) return false;
        c.req.body.append(c.in, 0, take);
        c.in.erase(0, take);
        return c.req.body.size() == c.contentLength;
    }
    size_t pos = 0;
    auto consumed = [&] { c.in.erase(0, pos); };
    for (;;) {
        switch (c.chunk) {
        case Conn::Chunk::size: {
            size_t eol = c.in.find("\r\n", pos);
            if (eol == std::string::npos) {
                consumed();
                if (c.in.size() > kMaxChunkLine) refuse(c, 400, "chunk size line too long");
                return false;
            }
            std::string_view sizeLine(c.in.data() + pos, eol - pos);
            if (sizeLine.size() > kMaxChunkLine) {
                refuse(c, 400, "chunk size line too long");
                return false;
            }
            sizeLine = trimmed(sizeLine.substr(0, sizeLine.find(';')));
            if (sizeLine.empty() || !std::all_of(sizeLine.begin(), sizeLine.end(),
                                                 [](char ch) { return hexDigit(ch) >= 0; })) {
                refuse(c, 400, "malformed chunk size");
                return false;
            }
            size_t size = 0;
            for (char ch : sizeLine) {
                if (size > (limits_.maxBodyBytes >> 4)) {
                    size = limits_.maxBodyBytes + 1;
                    break;
                }
                size = size * 16 + static_cast<size_t>(hexDigit(ch));
            }
            if (size > limits_.maxBodyBytes - c.req.body.size()) {
                refuse(c, 413,
                       "chunked body over the cap of " + std::to_string(limits_.maxBodyBytes) +
                           " bytes");
                return false;
            }
            pos = eol + 2;
            c.chunkLeft = size;
            c.chunk = size == 0 ? Conn::Chunk::trailer : Conn::Chunk::data;
            break;
        }
        case Conn::Chunk::data: {
            size_t take = std::min(c.in.size() - pos, c.chunkLeft);
            if (!holdReceived(c, take)) {
                consumed();  // what was parsed stays parsed while it waits for room
                return false;
            }
            c.req.body.append(c.in, pos, take);
            pos += take;
            c.chunkLeft -= take;
            if (c.chunkLeft > 0) {
                consumed();
                return false;
            }
            c.chunk = Conn::Chunk::dataEnd;
            break;
        }
        case Conn::Chunk::dataEnd:
            if (c.in.size() - pos < 2) {
                consumed();
                return false;
            }
            if (c.in.compare(pos, 2, "\r\n") != 0) {
                refuse(c, 400, "chunk not followed by CR LF");
                return false;
            }
            pos += 2;
            c.chunk = Conn::Chunk::size;
            break;
        case Conn::Chunk::trailer: {
            size_t eol = c.in.find("\r\n", pos);
            size_t lineLength = eol == std::string::npos ? c.in.size() - pos : eol - pos;
            if (c.trailerBytes + lineLength > limits_.maxHeadBytes) {
                refuse(c, 431, "chunk trailer too long");
                return false;
            }
            if (eol == std::string::npos) {
                consumed();
                return false;
            }
            pos = eol + 2;
            c.trailerBytes += lineLength + 2;
            if (lineLength == 0) {
                consumed();
                return true;
            }
            break;
        }
        }
    }
}

void HttpServer::dispatch(Conn& c) {
    // The handler's parsing counts against the same budget as the bytes, until the reply.
    if (!c.req.body.empty()) {
        const size_t parsing = c.req.body.size() + limits_.parseAllowance;
        if (!roomForRequestBytes(c, parsing)) {
            noRoom(c, true);
            return;
        }
        endRoomWait(c);
        held_ += parsing;
        c.held += parsing;
    }
    // A request that writes is never made for a peer that has closed its side, however long
    // ago (a request that waited in the listening queue after its client gave up included):
    // such a peer cannot be told apart from one gone, which would never learn that it was made.
    // (Other requests are dropped once the loop sees their peer's reset, as before: no look at
    // the socket for each of them.)
    c.writes = writes_ && writes_(c.req);
    if (c.writes && peerEnded(c)) {
        logRequest(c, "WARN", 0, "peer went away: its request dropped before it was made");
        close(c);
        return;
    }
    c.state = Conn::State::busy;
    c.http11 = c.req.version == "HTTP/1.1";
    // Watched for its peer going away while the request waits for a worker or is made.
    watch(c, c.probed ? 0u : static_cast<uint32_t>(EPOLLRDHUP));
    c.lane = sorter_ ? sorter_(c.req) : Lane::calls;
    Job job{c.id, c.held, std::move(c.req), nullptr};
    c.held = 0;
    post(c.lane, std::move(job));
}

void HttpServer::post(Lane lane, Job job) {
    Queue& queue = queues_[static_cast<int>(lane)];
    {
        std::lock_guard lock(jobsMutex_);
        queue.jobs.push_back(std::move(job));
    }
    queue.ready.notify_one();
}

void HttpServer::finishJobs() {
    std::vector<Done> done;
    {
        std::lock_guard lock(jobsMutex_);
        done.swap(done_);
    }
    std::vector<std::string> opened;
    {
        std::lock_guard lock(gatesMutex_);
        opened.swap(openedGates_);
    }
    // Replies held at a gate that has opened wait out their own delay from now on; expire()
    // sends them when it is due.
    for (const auto& name : opened) {
        for (auto& [id, cp] : conns_) {
            Conn& c = *cp;
            if (c.closed() || c.state != Conn::State::waiting || c.gate != name) continue;
            c.gate.clear();
            c.deadline = Clock::now() + std::chrono::milliseconds(c.gateDelayMs);
        }
    }
    for (auto& d : done) {
        releaseHeld(d.held);
        // What the worker made is counted with its connection from here (or freed with it), in
        // one step: uncounted for a moment, its bytes would be room a waiting worker takes, and
        // the budget would hold that much more than it lets workers make.
        handedOver_ = d.charged;
        auto it = conns_.find(d.conn);
        if (it != conns_.end() && !it->second->closed()) {
            Conn& c = *it->second;
            if (d.piece) {
                takePiece(c, std::move(d.response.body));
            } else {
                reply(c, std::move(d.response), true);
            }
        }
        chargeReply(0, std::exchange(handedOver_, 0));  // (a reply dropped, or its connection gone)
    }
    done.clear();
    // Workers wait to make replies that do not fit: make room for one. When nothing could give
    // way, the replies held are looked at again a moment later (while workers still wait), not
    // at each piece taken meanwhile: room for them frees as their peers take their replies.
    bool wanted = false;
    {
        std::lock_guard lock(jobsMutex_);
        wanted = std::exchange(roomWanted_, false) || (shedPending_ && budgetWaiters_ > 0);
    }
    shedPending_ = false;
    if (!wanted) return;
    const auto now = Clock::now();
    if (now < shedRetry_) {
        shedPending_ = true;
        return;
    }
    // (Room for the most a waiting worker needs: a new reply's allowance, or a piece beside the
    // room the pieces leave for one.)
    if (!shedReplies(limits_.makeAllowance + kPiece, nullptr)) {
        shedPending_ = true;
        shedRetry_ = now + kFullTableRetry;
    }
}

void HttpServer::chargeReply(size_t add, size_t remove) {
    bool waiting = false;
    {
        std::lock_guard lock(jobsMutex_);
        replyHeld_ = replyHeld_ - std::min(replyHeld_, remove) + add;
        waiting = budgetWaiters_ > 0 && remove > add;
    }
    if (waiting) roomFreed_.notify_all();
}

size_t HttpServer::replyHeldNow() {
    std::lock_guard lock(jobsMutex_);
    return replyHeld_;
}

// Until `room` more bytes fit in the reply budget, replies are dropped with their connections,
// never `keep`'s, the one just made: first those whose peers take them below the minimum rate
// past their grace (as a full table judges them), then the others, each by the pace its peer
// takes it at (takeRate: what its system acknowledged since the way to its reader filled, and a
// lump more, over the time since; over the last rate windows once it has gone on that long),
// slowest first, of the same pace (within a quarter of the minimum rate) the one measured
// longest first. A reply whose peer takes it at the minimum rate or more is never dropped,
// whatever the moment: not in its grace, not in the instant its way fills, nor between the lumps
// its system takes. A reply not yet going out (held back, or its way not yet full) counts as
// taken at no pace, since it was made. When those at the rate alone fill the budget, nothing is
// dropped: the reply that wants room waits until their peers have taken enough (false).
// Replies being made are not among them: they end on their own.
bool HttpServer::shedReplies(size_t room, const Conn* keep) {
    // What must be freed is reckoned once: a worker that waited takes the room as soon as it
    // frees, and counting what it took as still wanted would close one more.
    const size_t held = replyHeldNow();
    if (held + room <= limits_.maxReplyBytes) return true;
    const size_t wanted = held + room - limits_.maxReplyBytes;
    size_t freed = 0;
    const auto now = Clock::now();
    struct Holder {
        bool slow;  // judged below the minimum rate
        double pace;
        Clock::time_point since;
        Conn* conn;
    };
    std::vector<Holder> holders;
    // Paces are compared in steps of a quarter of the minimum rate: a peer that reads nothing
    // still has a few kilobytes acknowledged by its system after its way filled, which must not
    // rank it above one that has read nothing for longer.
    const double step = std::max(1.0, static_cast<double>(limits_.minBodyRate) / 4.0);
    for (auto& [id, cp] : conns_) {
        Conn& h = *cp;
        if (&h == keep || h.closed() || h.replyHeld == 0) continue;
        const bool measured = h.state == Conn::State::writing && h.filled && !h.pieceComing;
        const double pace = measured ? takeRate(h, now) : 0.0;
        if (measured && limits_.minBodyRate > 0 && pace >= static_cast<double>(limits_.minBodyRate)) continue;
        holders.push_back({slowReader(h, now), std::floor(pace / step), measured ? h.filledAt : h.lastTaken, &h});
    }
    std::sort(holders.begin(), holders.end(), [](const Holder& x, const Holder& y) {
        if (x.slow != y.slow) return x.slow;
        if (x.pace != y.pace) return x.pace < y.pace;
        return x.since != y.since ? x.since < y.since : x.conn->id < y.conn->id;
    });
    for (const auto& holder : holders) {
        Conn* h = holder.conn;
        if (freed >= wanted) break;
        logRequest(*h, "WARN", 0,
                   "reply not taken: closed to keep replies held within " +
                       std::to_string(limits_.maxReplyBytes >> 20) + " MiB");
        freed += h->replyHeld;
        close(*h);
    }
    return freed >= wanted;
}

void HttpServer::reply(Conn& c, HttpResponse response, bool fromHandler) {
    std::string note = response.note.empty() ? "" : " " + noteText(response.note);
    if (response.ending == HttpResponse::Ending::drop) {
        logRequest(c, "INFO", 0, "dropped without reply" + note);
        close(c);
        return;
    }
    if (response.ending == HttpResponse::Ending::stall) {
        c.state = Conn::State::stalled;
        c.stallNote = note;
        c.deadline = Clock::now() + std::chrono::milliseconds(std::max(0, response.stallMs));
        watch(c, EPOLLIN | EPOLLRDHUP);
        return;
    }
    const size_t length = response.stream ? response.stream->size() : response.body.size();
    std::string head =
        "HTTP/1.1 " + std::to_string(response.status) + " " + reasonOf(response.status) + "\r\n";
    head += "Content-Type: " + oneLine(response.contentType) + "\r\n";
    head += "Content-Length: " + std::to_string(length) + "\r\n";
    // While new connections wait for a place, one that has had its share of replies ends
    // with this one (its pipelined requests after it unanswered: its client asks again).
    const bool share = fromHandler && c.keepAlive && tableFull_ && c.replies + 1 >= kShareOfReplies;
    c.closeAfter = !fromHandler || !c.keepAlive || share;
    if (share) {
        logRequest(c, "INFO", 0,
                   "gave way to a new connection: " + std::to_string(limits_.maxConnections) +
                       " connections open and this one had its share of replies (" +
                       std::to_string(c.replies + 1) + "): closed after this one");
    }
    if (fromHandler) ++c.replies;
    head += c.closeAfter ? "Connection: close\r\n" : "Connection: keep-alive\r\n";
    for (const auto& [k, v] : response.headers) head += oneLine(k) + ": " + oneLine(v) + "\r\n";
    head += "\r\n";
    if (fromHandler) {
        logRequest(c, "INFO", response.status, std::to_string(length) + " bytes" + note);
    }
    // The body goes out as it stands, after the head: never copied into one buffer with it.
    releaseReply(c);
    c.outHead = std::exchange(c.interim, std::string()) + head;
    c.outBody = std::move(response.body);
    if (c.outBody.size() > length) c.outBody.resize(length);  // a stream's piece too long
    c.outSent = 0;
    c.stream = std::move(response.stream);
    c.streamLeft = c.stream ? length - c.outBody.size() : 0;
    c.lastTaken = Clock::now();
    holdReply(c);
    if (c.closed()) return;
    if (!response.gate.empty() && gateClosed(response.gate)) {
        c.state = Conn::State::waiting;
        c.gate = response.gate;
        c.gateDelayMs = std::max(0, response.delayMs);
        c.deadline = Clock::now() + kGateLimit;
        watch(c, c.probed ? 0u : static_cast<uint32_t>(EPOLLRDHUP));
        return;
    }
    if (response.delayMs > 0) {
        c.state = Conn::State::waiting;
        c.deadline = Clock::now() + std::chrono::milliseconds(response.delayMs);
        watch(c, c.probed ? 0u : static_cast<uint32_t>(EPOLLRDHUP));
        return;
    }
    c.state = Conn::State::writing;
    c.deadline = Clock::now() + limits_.writeDeadline;
    c.filled = false;
    startTaking(c);
    writeSome(c);
}

void HttpServer::refuse(Conn& c, int status, const std::string& why) {
    endRoomWait(c);  // (one that waited for room is refused at its deadline, or gives way)
    releaseHeld(c.held);
    c.held = 0;
    logRequest(c, "WARN", status, why);
    reply(c, refusal_(status, why), false);
}

// Counts what the connection's reply holds now; past the budget, others make room.
void HttpServer::holdReply(Conn& c) {
    c.replyHeld = c.outHead.size() + c.outBody.size();
    chargeReply(c.replyHeld, std::exchange(handedOver_, 0));
    shedReplies(0, &c);
}

void HttpServer::releaseReply(Conn& c) {
    chargeReply(0, c.replyHeld);
    c.replyHeld = 0;
    const bool large = c.outBody.capacity() >= kTrimAfter;
    c.outHead = std::string();
    c.outBody = std::string();
    c.outSent = 0;
    // A large block leaves free pages with the allocator: give them back, so that replies
    // dropped by a flood do not keep the service large.
    if (large) malloc_trim(0);
}

void HttpServer::writeSome(Conn& c) {
    if (c.pieceComing) return;  // nothing to send until a worker has made the next piece
    for (;;) {
        iovec parts[2];
        int count = 0;
        const size_t headSize = c.outHead.size();
        if (c.outSent < headSize) {
            parts[count++] = {c.outHead.data() + c.outSent, headSize - c.outSent};
        }
        const size_t bodyFrom = c.outSent > headSize ? c.outSent - headSize : 0;
        if (bodyFrom < c.outBody.size()) {
            parts[count++] = {c.outBody.data() + bodyFrom, c.outBody.size() - bodyFrom};
        }
        if (count == 0) break;
        msghdr message{};
        message.msg_iov = parts;
        message.msg_iovlen = static_cast<size_t>(count);
        ssize_t n = sendmsg(c.fd, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                if (!c.filled) {
                    c.filled = true;
                    c.filledAt = Clock::now();
                    startTaking(c);
                }
                watch(c, EPOLLOUT);
                return;
            }
            close(c);
            return;
        }
        c.outSent += static_cast<size_t>(n);
        c.sentTotal += static_cast<size_t>(n);
        // Every byte taken moves the deadline: a reply is cut only when its peer takes nothing.
        c.lastTaken = Clock::now();
        c.deadline = c.lastTaken + limits_.writeDeadline;
    }
    if (c.streamLeft > 0) {
        askForPiece(c);
        return;
    }
    afterReply(c);
}

// The piece sent, the next one is made on a worker of the pieces' lane (an animated picture's,
// which is drawn, on the frames' lane), never queued behind pictures not yet begun, nor a file's
// behind frames; meanwhile nothing is held for the peer, and its deadline waits: there is
// nothing for it to take.
void HttpServer::askForPiece(Conn& c) {
    releaseReply(c);
    c.pieceComing = true;
    c.pieceAsked = Clock::now();
    watch(c, 0);
    post(c.lane == Lane::pictures ? Lane::frames : Lane::pieces, Job{c.id, 0, HttpRequest{}, c.stream});
}

void HttpServer::takePiece(Conn& c, std::string piece) {
    if (!c.pieceComing) return;
    c.pieceComing = false;
    if (piece.empty()) {
        logRequest(c, "WARN", 0, "reply cut short: its next piece could not be made");
        close(c);
        return;
    }
    if (piece.size() > c.streamLeft) piece.resize(c.streamLeft);
    c.streamLeft -= piece.size();
    c.outBody = std::move(piece);
    c.outSent = 0;
    c.lastTaken = Clock::now();
    // While the piece was made its peer went on taking what was in the way to it; the time it
    // then waited with all of that taken, for the piece, is not its own.
    if (c.filled && taken(c) >= c.sentTotal) {
        const auto waited = c.lastTaken - std::max(c.ackedAt, c.pieceAsked);
        if (waited > Clock::duration::zero()) {
            c.filledAt += waited;
            c.markOldAt += waited;
            c.markNewAt += waited;
            c.ackedAt += waited;
        }
    }
    c.deadline = c.lastTaken + limits_.writeDeadline;
    holdReply(c);
    writeSome(c);
}

void HttpServer::afterReply(Conn& c) {
    releaseReply(c);
    c.stream.reset();
    if (c.closeAfter) {
        shutdown(c.fd, SHUT_WR);
        c.state = Conn::State::draining;
        c.drained = 0;
        c.deadline = Clock::now() + kLinger;
        watch(c, EPOLLIN | EPOLLRDHUP);
        return;
    }
    c.served = true;
    startRequest(c);
    watch(c, EPOLLIN | EPOLLRDHUP);
    if (!c.in.empty()) process(c);
}

void HttpServer::expire() {
    retryRoom();
    auto now = Clock::now();
    if (acceptPaused_ && acceptResume_ <= now) {
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u64 = kListenTag;
        epoll_ctl(epollFd_, EPOLL_CTL_ADD, listenFd_, &ev);
        acceptPaused_ = false;
    }
    // What the peers have taken is looked at a few times a second (not at every turn of the
    // loop, which many connections make thousands a second).
    const bool look = now >= nextLook_;
    if (look) nextLook_ = now + kLookEvery;
    for (auto& [id, cp] : conns_) {
        Conn& c = *cp;
        // (While its next piece is made, its peer still takes what is in the way to it.)
        if (look && !c.closed() && c.state == Conn::State::writing) markTaken(c, now);
        // (A reply whose next piece is being made has nothing for its peer to take: its deadline
        // waits.)
        if (c.closed() || c.state == Conn::State::busy || c.pieceComing || c.deadline > now) {
            continue;
        }
        switch (c.state) {
        case Conn::State::head:
            if (c.started) {
                refuse(c, 408, "request head not complete within " + seconds(limits_.headDeadline));
            } else {
                close(c);  // idle, or connected without ever sending
            }
            break;
        case Conn::State::body:
            // However slowly it comes, a body is cut at its deadline only, or when its place is
            // needed (a full table, the budget of bytes held).
            refuse(c, 408, "request body not complete within " + seconds(limits_.bodyDeadline));
            break;
        case Conn::State::waiting:
            c.gate.clear();  // a gate that never opened lets it go at its time limit
            c.state = Conn::State::writing;
            c.deadline = now + limits_.writeDeadline;
            c.filled = false;
            startTaking(c);
            writeSome(c);
            break;
        case Conn::State::writing:
            logRequest(c, "WARN", 0, "reply not taken within " + seconds(limits_.writeDeadline));
            close(c);
            break;
        case Conn::State::stalled:
            logRequest(c, "INFO", 0, "stalled until its time ran out" + c.stallNote);
            close(c);
            break;
        case Conn::State::draining:
        case Conn::State::busy:
            close(c);
            break;
        }
    }
}

int HttpServer::nextTimeoutMs() {
    auto now = Clock::now();
    long long best = roomWaiters_ > 0 ? kFullTableRetry.count() : 1000;
    if (shedPending_) best = std::min(best, std::max(0LL, millisBetween(now, shedRetry_) + 1));
    if (acceptPaused_) best = std::min(best, std::max(0LL, millisBetween(now, acceptResume_) + 1));
    for (const auto& [id, c] : conns_) {
        if (c->closed() || c->state == Conn::State::busy || c->pieceComing) continue;
        best = std::min(best, std::max(0LL, millisBetween(now, c->deadline) + 1));
    }
    return static_cast<int>(best);
}

void HttpServer::logRequest(const Conn& c, const char* level, int status, const std::string& what) {
    std::string text = c.addr + ":" + std::to_string(c.port) + " \"" +
                       (c.method.empty() ? "-" : c.method) + " " +
                       (c.target.empty() ? "-" : c.target) + "\" " +
                       (status ? std::to_string(status) : "-") + " " + what;
    if (c.started)
        text += " " + std::to_string(millisBetween(c.requestStart, Clock::now())) + " ms";
    log(level, text);
}

}  // namespace zvt::service
