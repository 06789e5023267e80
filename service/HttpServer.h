// The service's own HTTP/1.1 server. One thread reads every connection without blocking and
// holds each request to a size cap and a deadline for its head and for its body; only whole
// requests reach the handler, on workers in four lanes. So a client that trickles its bytes
// costs a buffer, never a worker, and cannot hold back the others; and a call, which has
// workers of its own, never waits behind the pictures queued before it, nor does a reply that
// has begun to go out. Replies go out from
// the same reading thread, late when a handler asks for a delay or names a gate that is closed
// (a test orders replies by opening it), or not at all (dropped or stalled connections, for
// scripted failures).
//
// What clients can make it hold is bounded: request bytes as they arrive (not as declared),
// replies from the moment a worker starts making them until their peers have taken them (a
// large reply can be made piece by piece as its peer takes it; one that would pass the budget
// waits to be made), and connections (the table is sized from the descriptor limit, keeping one
// descriptor in reserve for each connection's file; when it is full, the one that has waited
// longest for its request head, a body sender below the minimum rate, or a peer taking its
// reply below it, gives way, and a connection that has had its share of replies closes after
// its next one), and request bytes (a request that does not fit refuses a body that stalls or
// comes below the minimum rate instead, or waits for room). A peer that goes away while its
// request waits for a worker or is being made gives its connection up at once, and a request
// not yet made is dropped; a request that writes is never made for a peer that has closed.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace zvt::service {

// Which workers serve a request. Calls have a lane of their own, so that a call is never
// queued behind pictures and pages, which take tens of milliseconds of a processor each. So do
// replies that are only read and sent: uploaded files, and the next pieces of every reply that
// has begun to go out, so that what is under way never waits behind pictures not yet begun.
// The next pieces of animated pictures, which are made (drawn) as they are sent, have workers
// of their own again: a file ready on the disk never waits behind frames being drawn.
enum class Lane { calls, pictures, pieces, frames };

struct HttpLimits {
    size_t maxHeadBytes = 16 * 1024;                // request line and headers (and chunk trailers)
    size_t maxBodyBytes = 8u << 20;                 // one body, however it is framed
    // Body bytes received and held, all connections. A request that does not fit refuses a body
    // that stalls or comes below minBodyRate instead (the one that announces most first); with
    // none, it waits unread for room while it comes at that rate, and is refused below it.
    size_t maxHeldBytes = 64u << 20;
    // Replies being made and made but not yet taken by their peers, over all connections. A
    // reply counts from the moment a worker starts making it (makeAllowance until its bytes are
    // known); one that would pass the budget waits, and connections are closed to make room:
    // those whose peers take below minBodyRate past their grace first, then the others by the
    // pace their peers take at (what their systems acknowledged, and a lump more), slowest first;
    // never one whose peer takes it at minBodyRate: when those alone fill it, the reply waits.
    size_t maxReplyBytes = 64u << 20;
    // What making one reply may cost besides the bytes made: the largest picture's encoder
    // state and the growing output, or a handler's working copies.
    size_t makeAllowance = 1u << 20;
    // Charged beside a body's bytes while its handler runs: parsing makes a copy at most as
    // large as the body and a node per field (the handler's field limit bounds those).
    size_t parseAllowance = 256u << 10;
    std::chrono::milliseconds headDeadline{10000};  // from the first byte of a request
    std::chrono::milliseconds bodyDeadline{10000};  // from the end of its head
    // A body that has come below this average rate (bytes a second) since the end of its head,
    // or a reply whose peer has taken it below this rate over the last seconds, gives way for a
    // new connection when the table is full, and such replies are the first the reply budget
    // sheds (one taken at this rate it never sheds); such bodies, and those that stall, give
    // their bytes up for other requests; 0: none does, nor is kept, for its rate. A body is
    // otherwise cut at its deadline only.
    size_t minBodyRate = 32u << 10;
    // How long a reply goes out, from the moment the way to its peer's reader is full (its
    // system takes no more at once), before its peer is judged by the rate it takes it.
    std::chrono::milliseconds replyGrace{1000};
    // How long a body comes, from the end of its head, before it is judged by its rate.
    std::chrono::milliseconds bodyGrace{1000};
    std::chrono::milliseconds idleTimeout{5000};    // a kept-alive connection between requests
    // How long a reply may wait for its peer to take a byte: every byte taken moves it.
    std::chrono::milliseconds writeDeadline{30000};
    // At most; fewer when the descriptor limit leaves less (see HttpServer::run).
    size_t maxConnections = 4096;
    int callWorkers = 8;
    // Pictures and pages, and the pieces of replies made as they are sent. Their number is
    // fixed, not one per processor: each picture being made takes a processor for tens of
    // milliseconds and its share of the reply budget.
    int pictureWorkers = 8;
    // Uploaded files and the pieces of replies under way but the animated pictures': each is a
    // read of the disk, a few at a time.
    int pieceWorkers = 2;
    // The next pieces of animated pictures: each takes a processor while its frames are drawn.
    int frameWorkers = 2;
};

struct HttpRequest {
    std::string method;
    std::string target;                                        // as sent: path and query
    std::string path;                                          // the target's path, percent-decoded
    std::string version;                                       // "HTTP/1.1"
    std::vector<std::pair<std::string, std::string>> headers;  // names as sent, in order
    std::string body;                                          // de-chunked
    std::string remoteAddr;
    int remotePort = 0;
    bool fromLoopback = false;
    bool keepAlive = true;

    // The first header of that name, compared without case; "" when there is none.
    std::string header(std::string_view name) const;
};

// A reply body made piece by piece while the peer takes it, so that a large reply is never
// held whole. Pieces are made on the workers of their own lane, one at a time for a
// connection, in order.
class BodyStream {
public:
    virtual ~BodyStream() = default;
    // Its length in bytes (the reply's Content-Length).
    virtual size_t size() const = 0;
    // Appends its next bytes to `out`: at most `max`, and at least one while any are left.
    virtual void next(std::string& out, size_t max) = 0;
};

struct HttpResponse {
    int status = 200;
    std::string contentType = "text/plain; charset=utf-8";
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    // Set: the body is made by this instead (`body` is ignored).
    std::shared_ptr<BodyStream> stream;
    // The reply leaves this much later (the connection waits without a worker).
    int delayMs = 0;
    // Instead of replying: cut the connection at once, or hold it silent until the peer hangs
    // up or stallMs have passed.
    enum class Ending { reply, drop, stall } ending = Ending::reply;
    int stallMs = 0;
    // Held back (without a worker) while the gate of this name is closed: it leaves, after
    // delayMs, once the gate opens, or after a gate's time limit. A test orders replies by it.
    std::string gate;
    // Added to the request's line in the service's log ("op=login user=10001").
    std::string note;
};

class HttpServer {
public:
    using Handler = std::function<HttpResponse(HttpRequest&)>;
    // The reply to a request refused before it reached the handler: 400, 408, 413, 417, 431,
    // 501, 503 or 505, with a short English reason.
    using Refusal = std::function<HttpResponse(int status, const std::string& why)>;
    // The lane of a whole request, chosen on the reading thread (so it must be quick).
    using Sorter = std::function<Lane(const HttpRequest&)>;
    // Whether a whole request changes stored data, on the reading thread too: such a request
    // is never made for a peer that has closed its side (it could not learn that it was).
    using Writes = std::function<bool(const HttpRequest&)>;

    HttpServer(HttpLimits limits, Handler handler, Refusal refusal, Sorter sorter, Writes writes = {});
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds to a numeric address (IPv4 or IPv6) and port (0: any free port); returns the
    // port bound, or -1.
    int bind(const std::string& host, int port);
    // Serves until stop(); false when nothing was bound or the server could not run.
    bool run();
    // From any thread, before or during run().
    void stop();

    // Gates for held replies (see HttpResponse::gate), from any thread. Closing one holds the
    // replies that name it from then on; opening it lets those held go and the later ones pass.
    // Gates are open until closed.
    void closeGate(const std::string& name);
    void openGate(const std::string& name);
    void openEveryGate();
    // How long a reply waits at a closed gate at most.
    static constexpr std::chrono::seconds kGateLimit{120};

    // One line on standard error: time, level, text.
    static void log(const char* level, const std::string& text);

private:
    struct Conn;
    struct Job {
        uint64_t conn;
        size_t held;  // body bytes counted against maxHeldBytes until the reply is made
        HttpRequest request;
        std::shared_ptr<BodyStream> stream;  // set: make the next piece of this reply instead
    };
    struct Done {
        uint64_t conn;
        size_t held;
        HttpResponse response;  // or, for a piece, the piece in its body
        bool piece = false;
        size_t charged = 0;  // its bytes, counted in replyHeld_ since the worker made them
    };
    using Clock = std::chrono::steady_clock;

    void workerLoop(Lane lane);
    void acceptAll();
    void onEvent(Conn& c, uint32_t events);
    void readSome(Conn& c);
    void process(Conn& c);
    bool parseHead(Conn& c, size_t headEnd);
    bool readBody(Conn& c);
    void dispatch(Conn& c);
    void finishJobs();
    void takePiece(Conn& c, std::string piece);
    void reply(Conn& c, HttpResponse response, bool fromHandler);
    void refuse(Conn& c, int status, const std::string& why);
    void writeSome(Conn& c);
    void askForPiece(Conn& c);
    void holdReply(Conn& c);
    void releaseReply(Conn& c);
    void makeRoomForNewConnection();
    bool givesWay(const Conn& c, Clock::time_point now) const;
    bool slowBody(const Conn& c, Clock::time_point now) const;
    int bodyGivesRoom(const Conn& c, Clock::time_point now) const;
    void noRoom(Conn& c, bool whole);
    void endRoomWait(Conn& c);
    void retryRoom();
    static bool peerEnded(const Conn& c);
    bool slowReader(const Conn& c, Clock::time_point now) const;
    static size_t taken(const Conn& c);
    static size_t transmitted(const Conn& c);
    static double takeRate(const Conn& c, Clock::time_point now);
    void startTaking(Conn& c);
    void markTaken(Conn& c, Clock::time_point now);
    static size_t bodyAnnounced(const Conn& c);
    bool roomForRequestBytes(Conn& c, size_t bytes);
    void peerClosed(Conn& c);
    void peerGone(Conn& c);
    bool dropQueued(Conn& c);
    void chargeReply(size_t add, size_t remove);
    size_t replyHeldNow();
    bool shedReplies(size_t room, const Conn* keep);
    void afterReply(Conn& c);
    void startRequest(Conn& c);
    void watch(Conn& c, uint32_t events);
    void close(Conn& c);
    void expire();
    int nextTimeoutMs();
    void logRequest(const Conn& c, const char* level, int status, const std::string& what);
    void releaseHeld(size_t bytes);
    bool holdReceived(Conn& c, size_t bytes);
    void post(Lane lane, Job job);
    bool gateClosed(const std::string& name);
    void wake();

    HttpLimits limits_;
    Handler handler_;
    Refusal refusal_;
    Sorter sorter_;
    Writes writes_;
    int listenFd_ = -1;
    int epollFd_ = -1;
    int wakeFd_ = -1;
    std::atomic<bool> stopping_{false};

    // Owned by the reading thread.
    std::map<uint64_t, std::unique_ptr<Conn>> conns_;
    uint64_t nextId_ = 2;  // 0 and 1 tag the listening socket and the wake-up descriptor
    size_t held_ = 0;       // request bytes, against maxHeldBytes
    size_t open_ = 0;       // connections not closed
    size_t roomWaiters_ = 0;  // requests that wait, unread, for room among the bytes held
    bool acceptPaused_ = false;
    bool tableFull_ = false;  // new connections wait for a place (noted once in the log)
    Clock::time_point acceptResume_;

    // Each lane's queue and its workers' signal, under one lock with what they have done.
    struct Queue {
        std::deque<Job> jobs;
        std::condition_variable ready;
    };
    std::mutex jobsMutex_;
    Queue queues_[4];  // by Lane
    std::vector<Done> done_;
    // Reply bytes being made (an allowance each) and made but not yet taken, against
    // maxReplyBytes; workers that wait for room, and whether the reading thread should make it.
    size_t replyHeld_ = 0;
    int budgetWaiters_ = 0;
    std::condition_variable roomFreed_;  // what they wait on: bytes of replies released
    bool roomWanted_ = false;
    // Owned by the reading thread: nothing could give way for a waiting reply; looked at again
    // from shedRetry_ on.
    bool shedPending_ = false;
    Clock::time_point shedRetry_;
    Clock::time_point nextLook_;  // what the peers have taken is looked at next
    // Owned by the reading thread: what a worker made, still counted as its, while it is handed to
    // its connection (holdReply counts it as the connection's in the same step).
    size_t handedOver_ = 0;
    bool workersStop_ = false;
    std::vector<std::thread> workers_;

    std::mutex gatesMutex_;
    std::set<std::string> closedGates_;
    std::vector<std::string> openedGates_;  // opened since the reading thread last looked
};

}  // namespace zvt::service
