// What clients that stop reading or never finish can make the service hold: a full
// connection table gives way to new clients instead of refusing them.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "tests/service/ServiceTestSupport.h"

namespace zvt::test::svc {
namespace {

constexpr size_t kConnectionTable = 1024;

// A connection to the service that reads only when told: its receive buffer is kept small, so
// that what it does not read stays with the service.
class Peer {
public:
    explicit Peer(int port, bool smallWindow = true) {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (smallWindow) {
            int size = 4096;
            setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
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

private:
    int fd_ = -1;
    bool connected_ = false;
};

// Raises this process's descriptor limit for a table's worth of connections; false when the
// system does not allow that many.
bool roomForConnections(size_t count) {
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) != 0) return false;
    const rlim_t wanted = static_cast<rlim_t>(count) * 2;
    if (files.rlim_cur < wanted) {
        if (files.rlim_max < wanted) return false;
        files.rlim_cur = wanted;
        if (setrlimit(RLIMIT_NOFILE, &files) != 0) return false;
    }
    return true;
}

TEST(ServiceHeldBytes, AFullTableGivesWayToNewClients) {
    // The service raises its own limit to make room for its table; so must the test, for the
    // table and the service's (it inherits the limits).
    if (!roomForConnections(kConnectionTable + 200)) GTEST_SKIP() << "too few descriptors allowed";
    const std::string trickled = "GET " + kJsonPath + "get_ios_config HTTP/1.1\r\nHo";
    enum class First { trickles, sendsItsBody, idlesAfterAnAnswer, answeredAfterTheOthersCame };
    const struct {
        const char* what;
        First first;  // what the oldest connection does
        size_t givesWay;  // the one closed for the new client
    } cases[] = {
        {"every connection trickles its head: the oldest gives way", First::trickles, 0},
        {"the oldest sends its body: the oldest that trickles gives way", First::sendsItsBody, 1},
        {"the oldest idles after an answer: it waited longest for a head",
         First::idlesAfterAnAnswer, 0},
        {"the oldest was answered after the others came: it waited least",
         First::answeredAfterTheOthersCame, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // Heads and bodies get a minute, so that no deadline ends a connection meanwhile,
        // however slowly the table fills on a busy machine.
        ServiceProcess service({.extraArgs = {"--read-deadline", "60"}});
        std::vector<std::unique_ptr<Peer>> table;
        table.push_back(std::make_unique<Peer>(service.port(), false));
        Peer& first = *table.front();
        switch (c.first) {
        case First::trickles:
            first.send(trickled);
            break;
        case First::sendsItsBody:
            first.send("POST " + kJsonPath +
                       "get_ios_config HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
                       "Expect: 100-continue\r\nContent-Length: 10\r\n\r\n");
            ASSERT_EQ(first.readHead().rfind("HTTP/1.1 100 Continue", 0), 0u);
            first.send("{\"a\":");
            break;
        case First::idlesAfterAnAnswer:
            first.send("GET " + kJsonPath + "get_ios_config HTTP/1.1\r\nHost: x\r\n\r\n");
            ASSERT_EQ(first.readAnswer().rfind("HTTP/1.1 200", 0), 0u);
            break;
        case First::answeredAfterTheOthersCame:
            break;
        }
        while (table.size() < kConnectionTable) {
            table.push_back(std::make_unique<Peer>(service.port(), false));
            ASSERT_TRUE(table.back()->connected()) << table.size();
            table.back()->send(trickled);
        }
        if (c.first == First::answeredAfterTheOthersCame) {
            first.send("GET " + kJsonPath + "get_ios_config HTTP/1.1\r\nHost: x\r\n\r\n");
            ASSERT_EQ(first.readAnswer().rfind("HTTP/1.1 200", 0), 0u);
        }
        // The table is full (connections are taken in the order they came): a new client is
        // answered all the same.
        EXPECT_EQ(service.request("GET", kJsonPath + "get_ios_config").status, 200);
        EXPECT_TRUE(table[c.givesWay]->closedByService(true));
        for (size_t i = 0; i < table.size(); ++i) {
            if (i != c.givesWay) {
                EXPECT_FALSE(table[i]->closedByService(false)) << i;
            }
        }
        if (c.first == First::sendsItsBody) {
            // It was not cut: the rest of its body brings its answer.
            first.send("\"bb\"}");
            EXPECT_EQ(first.readHead().rfind("HTTP/1.1 200", 0), 0u);
        }
    }
}

}  // namespace
}  // namespace zvt::test::svc
