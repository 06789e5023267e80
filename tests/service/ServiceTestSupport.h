// Requests to the local service for its tests: a fixture that signs and sends (the protocol's
// signatures and DES payload form are in ServiceProtocol.h), and raw connections for requests
// no client would send.
#pragma once

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "tests/service/ServiceProtocol.h"
#include "tests/support/ServiceProcess.h"

namespace zvt::test::svc {

// "[[[...]]]" nested `depth` levels.
inline std::string nestedArrays(size_t depth) {
    return std::string(depth, '[') + std::string(depth, ']');
}

// Signed calls to one running service.
class ServiceCalls {
public:
    explicit ServiceCalls(const ServiceProcess& service) : service_(service) {}

    // `headers` may hold a Cookie or a Host of the caller's choosing.
    json post(const std::string& target, const std::string& body, const std::string& type,
              const std::string& cookie = "", int* status = nullptr,
              std::vector<std::pair<std::string, std::string>> headers = {}) const {
        if (!cookie.empty()) headers.emplace_back("Cookie", cookie);
        auto r = service_.request("POST", target, body, type, headers);
        if (status) *status = r.status;
        return json::parse(r.body, nullptr, false);
    }

    std::string jsonTime() const {
        json reply = post(kJsonPath + "get_time", json{{"code", md5Hex(md5Hex(kSecret))}}.dump(),
                          "application/json");
        return reply.value("time", "");
    }

    std::string desTime() const {
        json reply = post(kDesPath + "get_time",
                          encipheredBody({{"code", md5Hex(md5Hex(kSecret))}}), kFormType);
        json data = json::parse(decipher(reply.value("data", "")), nullptr, false);
        return data.is_object() ? data.value("time", "") : "";
    }

    json signedJson(const std::string& op, const json& fields,
                    const std::string& cookie = "") const {
        return post(kJsonPath + op, signedWith(fields, jsonTime()).dump(), "application/json",
                    cookie);
    }

    json signedDes(const std::string& op, const json& fields, std::string* rawData = nullptr,
                   const std::string& cookie = "",
                   const std::vector<std::pair<std::string, std::string>>& headers = {}) const {
        json reply = post(kDesPath + op, encipheredBody(signedWith(fields, desTime())), kFormType,
                          cookie, nullptr, headers);
        if (rawData && reply.contains("data") && reply["data"].is_string())
            *rawData = reply["data"];
        return reply;
    }

    // Logs in and returns the session cookie ("ZVTSESSID=...") for the Cookie header.
    std::string login(const std::string& user, const std::string& password) const {
        json reply = signedDes("login", {{"userName", user}, {"password", password}});
        EXPECT_EQ(reply["code"], 101) << reply.dump();
        return reply.contains("setCookie")
                   ? "ZVTSESSID=" + reply["setCookie"]["value"].get<std::string>()
                   : "";
    }

    json lastLog(const std::string& op) const {
        json log = json::parse(service_.requestLog(op));
        return log.empty() ? json() : log.back();
    }

private:
    const ServiceProcess& service_;
};

class ServiceTest : public ::testing::Test, protected ServiceCalls {
protected:
    ServiceTest() : ServiceCalls(service) {}
    // A service started with these options, e.g. in a zone of the test's choosing.
    explicit ServiceTest(ServiceProcess::Options options) : ServiceCalls(service), service(std::move(options)) {}
    ServiceProcess service;
};

// The service's options for a test that reads its time stamps or days: records are stamped and
// check-in days counted in the machine's zone, here the one named ("Asia/Shanghai").
inline ServiceProcess::Options inZone(const std::string& zone) { return {.environment = {"TZ=" + zone}}; }

// One connection of a test that acts as many clients at once: bytes to send (head, then
// body; from byte `trickleFrom` on `trickleBytes` every `trickle`, the first of them `trickle`
// after the bytes before, else as fast as the service takes them), and what came back.
struct RawCall {
    RawCall(std::string head, std::shared_ptr<const std::string> body = nullptr,
            std::chrono::milliseconds trickle = std::chrono::milliseconds(0),
            size_t trickleFrom = 0, size_t trickleBytes = 1)
        : head(std::move(head)),
          body(std::move(body)),
          trickle(trickle),
          trickleFrom(trickleFrom),
          trickleBytes(trickleBytes) {}

    std::string head;
    std::shared_ptr<const std::string> body;
    std::chrono::milliseconds trickle{0};
    size_t trickleFrom = 0;
    size_t trickleBytes = 1;

    int status = 0;      // of the final reply (after any "100 Continue"); 0: no reply
    std::string reply;   // the whole response as received
    double seconds = 0;  // from connecting to the end of the reply or the connection
    bool finished = false;

    // The reply's body parsed as JSON (discarded when it is not JSON).
    json replyJson() const;
    // Its "code" when the reply is a JSON object with one, else -1.
    int replyCode() const {
        json j = replyJson();
        return j.is_object() && j.contains("code") && j["code"].is_number_integer()
                   ? j["code"].get<int>()
                   : -1;
    }
};

// Runs every call at once against 127.0.0.1:`port` until each has ended or `limit` passed.
// A call ends when the service closes the connection or resets it; a call that is answered
// while it still sends stops sending.
void runAtOnce(int port, std::vector<RawCall>& calls, std::chrono::milliseconds limit);

// A connection to the service that reads only when told: its receive buffer is kept small, so
// that what it does not read stays with the service.
class Peer {
public:
    // A receive buffer of this many bytes (the kernel doubles it); 0: the system's own.
    struct Window {
        int bytes;
    };
    explicit Peer(int port, bool smallWindow = true) : Peer(port, Window{smallWindow ? 4096 : 0}) {}
    Peer(int port, Window window) {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (window.bytes > 0) {
            setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &window.bytes, sizeof window.bytes);
        }
        timeval tv{60, 0};  // a safety net: every wait below ends long before
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<uint16_t>(port));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
    }
    ~Peer() { hangUp(); }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    bool connected() const { return connected_; }
    void send(const std::string& bytes) const {
        ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
    // Waits for the first byte of the answer, without taking it.
    bool answerStarted() const {
        char c;
        return recv(fd_, &c, 1, MSG_PEEK) == 1;
    }
    // Everything until the service closes the connection (a minute at most).
    std::string readToEnd() const { return readToEnd(std::chrono::seconds(60)); }
    // Everything until the service closes the connection or `limit` has passed.
    std::string readToEnd(std::chrono::milliseconds limit) const {
        std::string got;
        const auto end = std::chrono::steady_clock::now() + limit;
        while (takeSome(got, 65536)) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd in{fd_, POLLIN, 0};
            poll(&in, 1, static_cast<int>(left.count()));
        }
        return got;
    }
    // Takes what has come, `max` bytes at most, without waiting; false once the service has
    // closed the connection (or it failed).
    bool takeSome(std::string& into, size_t max) const {
        const size_t from = into.size();
        into.resize(from + max);
        const ssize_t n = recv(fd_, into.data() + from, max, MSG_DONTWAIT);
        into.resize(from + static_cast<size_t>(std::max<ssize_t>(0, n)));
        return n > 0 || (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR));
    }
    // The head of an answer, read up to its blank line.
    std::string readHead() const {
        std::string got;
        char c;
        while (got.find("\r\n\r\n") == std::string::npos && recv(fd_, &c, 1, 0) == 1) got += c;
        return got;
    }
    // A whole answer on a connection kept open: its head and Content-Length bytes of body.
    std::string readAnswer() const {
        std::string got = readHead();
        size_t field = got.find("Content-Length: ");
        size_t length = field == std::string::npos ? 0 : std::stoull(got.substr(field + 16));
        std::string body(length, '\0');
        for (size_t at = 0; at < length;) {
            ssize_t n = recv(fd_, body.data() + at, length - at, 0);
            if (n <= 0) break;
            at += static_cast<size_t>(n);
        }
        return got + body;
    }
    // Whether the service has closed it: waits for that when `wait`, else looks at once.
    bool closedByService(bool wait) const {
        char c;
        ssize_t n = recv(fd_, &c, 1, wait ? 0 : MSG_DONTWAIT);
        return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
    }
    void hangUp() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }
    // Hangs up with a reset instead of the end of its stream.
    void reset() {
        linger abort{1, 0};
        setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        hangUp();
    }
    // Ends what it sends, and still reads.
    void halfClose() const { shutdown(fd_, SHUT_WR); }

private:
    int fd_ = -1;
    bool connected_ = false;
};

inline std::string getRequest(const std::string& target) {
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
}

// The body of a whole answer, "" when it is not whole (cut before its Content-Length).
inline std::string wholeBody(const std::string& answer) {
    size_t end = answer.find("\r\n\r\n");
    size_t field = answer.find("Content-Length: ");
    if (end == std::string::npos || field == std::string::npos || field > end) return {};
    size_t length = std::stoull(answer.substr(field + 16));
    return answer.size() - end - 4 == length ? answer.substr(end + 4) : std::string();
}

// Runs SQL on the stopped service's store, as a data directory of an earlier version left it.
inline void onStore(const std::string& dataDir, const std::function<void(sqlite3*)>& edit) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((dataDir + "/zavelto.sqlite").c_str(), &db), SQLITE_OK);
    edit(db);
    sqlite3_close(db);
}

// What a page shows: the text of its body without its tags (a blank each), styles and scripts,
// the escaped characters as they read.
inline std::string visibleText(const std::string& html) {
    std::string body = html.substr(std::min(html.size(), html.find("<body")));
    body = std::regex_replace(body, std::regex("<(script|style)[^>]*>[^<]*</(script|style)>"), " ");
    body = std::regex_replace(body, std::regex("<[^>]*>"), " ");
    for (auto [escape, plain] : {std::pair{"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&amp;", "&"}}) {
        for (size_t at = body.find(escape); at != std::string::npos; at = body.find(escape, at + 1))
            body.replace(at, std::string(escape).size(), plain);
    }
    return body;
}

// Peak resident memory of a process in bytes (its high-water mark), 0 when unknown.
size_t peakResidentBytes(pid_t pid);

// A round trip to the service between two looks at it: a GET of `page` (when the workers of the
// calls are kept busy), else a count of the request log.
void roundTrip(const ServiceProcess& service, const std::string& page = "");

// The number of lines of the service's log (captureLog) that hold `text`, once at least `count`
// do, else after as many round trips to the service as a few seconds take.
int logLines(const ServiceProcess& service, const std::string& text, int count, const std::string& page = "");

// Whether the service has read every byte its peers sent it: no connection of its port has bytes
// waiting in the system (the receive queues of /proc/net/tcp); looked at between round trips to
// the service, for as long as a few thousand of them take.
bool readEverything(const ServiceProcess& service, const std::string& page = "");

// The words a picture of the application's bundle shows: the texts of its source's <text>
// elements, one after the other.
std::string pictureWords(const std::string& name);

}  // namespace zvt::test::svc
