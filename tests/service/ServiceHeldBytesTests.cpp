// What clients that stop reading or never finish can make the service hold: replies not taken
// stay within their budget (the peers that take them slowest lose theirs first, of those that
// take nothing the one that has taken nothing for longest; one taking at the minimum rate never), and
// what a connection held goes when it ends; pictures are made as they are sent; a full
// connection table gives way to new clients instead of refusing them.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <thread>

#include "tests/service/ServiceTestSupport.h"

namespace zvt::test::svc {
namespace {

constexpr size_t kReplyBudget = 64u << 20;  // as the service's README states
// The connection table of a service whose descriptor limit is kTableDescriptors: two for each
// connection (its socket and a file its reply may open) beside the service's 64.
constexpr size_t kConnectionTable = 1024;
constexpr int kTableDescriptors = 2 * kConnectionTable + 64;

ServiceProcess::Options smallQuarantine() {
    // The sanitizer's quarantine would keep every freed block resident.
    const char* asan = std::getenv("ASAN_OPTIONS");
    return {.environment = {std::string("ASAN_OPTIONS=") + (asan ? asan : "") +
                            ":quarantine_size_mb=16:thread_local_quarantine_size_kb=64"}};
}

TEST(ServiceHeldBytes, RepliesNotTakenStayWithinTheirBudget) {
    ServiceProcess service(smallQuarantine());
    // Every configuration answer becomes 6 MiB: ten fit in the budget, an eleventh does not.
    constexpr size_t kReply = 6u << 20;
    service.script(json{{"op", "get_ios_config"}, {"sticky", true}, {"body", std::string(kReply, 'r')}}
                       .dump());
    const std::string ask = getRequest(kJsonPath + "get_ios_config");
    auto openPeers = [&](std::vector<std::unique_ptr<Peer>>& peers, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            peers.push_back(std::make_unique<Peer>(service.port()));
            peers.back()->send(ask);
            ASSERT_TRUE(peers.back()->answerStarted()) << i;  // its reply is made
        }
    };
    struct Round {
        const char* what;
        size_t peers;
        size_t cut;  // the first `cut` lose their replies, the rest get them whole
    };
    const Round rounds[] = {
        // Sixteen peers that never read: the six that took nothing for longest are closed.
        {"sixteen peers that do not read", 16, 6},
        // The replies of peers that hung up are no longer held: ten new ones fit again.
        {"after they hung up, ten more", 10, 0},
    };
    for (const Round& round : rounds) {
        SCOPED_TRACE(round.what);
        std::vector<std::unique_ptr<Peer>> peers;
        openPeers(peers, round.peers);
        // Meanwhile valid calls are answered.
        EXPECT_EQ(service.request("GET", kJsonPath + "get_tao_config").status, 200);
        if (round.cut > 0) {
            for (size_t i = 0; i < peers.size(); ++i) {
                std::string body = wholeBody(peers[i]->readToEnd());
                EXPECT_EQ(body.size(), i < round.cut ? 0u : kReply) << "peer " << i;
            }
        } else {
            // They hang up without reading: what they held is released below.
            for (size_t i = 0; i < peers.size(); ++i)
                EXPECT_FALSE(peers[i]->closedByService(false)) << "peer " << i;
            for (auto& p : peers) p->hangUp();
        }
    }
    // Ten that read after the others hung up: all whole, nothing of the hung-up ones counted.
    std::vector<std::unique_ptr<Peer>> last;
    openPeers(last, kReplyBudget / kReply);
    for (size_t i = 0; i < last.size(); ++i)
        EXPECT_EQ(wholeBody(last[i]->readToEnd()).size(), kReply) << "peer " << i;
}

TEST(ServiceHeldBytes, ThePeersThatTakeLeastLoseTheirRepliesFirst) {
    const struct {
        const char* what;
        // How long a reply goes out, from the moment its peer's system takes no more at once,
        // before its peer is judged by the rate it takes it.
        const char* grace;
    } cases[] = {
        // By then what their systems take at once has come.
        {"the idle peers are judged past a fifth of a second", "0.2"},
        // None is judged yet: the reader keeps its reply for the pace it took it at, though it
        // has gone longest without taking a byte, and the idle peers rank by how long they have
        // taken nothing.
        {"no peer is judged yet", "60"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ServiceProcess::Options options = smallQuarantine();
        options.extraArgs = {"--reply-grace", c.grace};
        ServiceProcess service(options);
        constexpr size_t kReply = 6u << 20;
        service.script(json{{"op", "get_ios_config"}, {"sticky", true}, {"body", std::string(kReply, 'r')}}
                           .dump());
        const std::string ask = getRequest(kJsonPath + "get_ios_config");
        // The first peer takes 4 MiB of its reply at once, then pauses: in that instant it has
        // gone longest without taking a byte, though it took hundreds of times what the others did.
        Peer reader(service.port(), Peer::Window{64 * 1024});
        reader.send(ask);
        std::string got;
        while (got.size() < (4u << 20) && reader.takeSome(got, 65536))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        // Ten that take nothing: the eleventh reply passes the budget, and the first of the
        // ten, which of those that take below the minimum rate has gone longest without taking
        // a byte, makes room. The last comes when what the others' systems took at once (a few
        // kilobytes) would have been read at the minimum rate long since: until then each might
        // be a reader at the rate, whose system has not yet said what it read.
        std::vector<std::unique_ptr<Peer>> idle;
        for (int i = 0; i < 10; ++i) {
            if (i == 9) std::this_thread::sleep_for(std::chrono::milliseconds(300));  // (past the grace of 0.2 s)
            idle.push_back(std::make_unique<Peer>(service.port()));
            idle.back()->send(ask);
            ASSERT_TRUE(idle.back()->answerStarted()) << i;
        }
        got += reader.readToEnd();
        EXPECT_EQ(wholeBody(got).size(), kReply);
        for (size_t i = 0; i < idle.size(); ++i)
            EXPECT_EQ(wholeBody(idle[i]->readToEnd()).size(), i == 0 ? 0u : kReply) << "peer " << i;
    }
}

// A peer that reads what it is sent at `rate` bytes a second (what the rate allows by now, no
// more), from the moment it asked, until told to take the rest at once.
struct PacedReader {
    PacedReader(int port, int window, size_t rate, const std::string& ask)
        : peer(port, Peer::Window{window}), rate(rate), since(std::chrono::steady_clock::now()) {
        peer.send(ask);
    }
    // Takes what the rate allows by now; false once the service has closed the connection.
    bool step() {
        if (ended) return false;
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
        const size_t allowed = static_cast<size_t>(static_cast<double>(rate) * seconds);
        while (!ended && got.size() < allowed) {
            const size_t before = got.size();
            ended = !peer.takeSome(got, std::min<size_t>(allowed - got.size(), 65536));
            if (got.size() == before) break;
        }
        return !ended;
    }
    Peer peer;
    size_t rate;
    std::chrono::steady_clock::time_point since;
    std::string got;
    bool ended = false;
};

// Reads every reader at its pace until `done` holds (a minute at most).
void readPaced(std::vector<std::unique_ptr<PacedReader>>& readers, const std::function<bool()>& done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done() && std::chrono::steady_clock::now() < limit) {
        for (auto& r : readers) r->step();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// The replies the reply budget closed, by the service's log.
int shedReplies(const ServiceProcess& service) {
    const std::string log = service.serviceLog();
    int lines = 0;
    for (size_t at = log.find("closed to keep replies held within"); at != std::string::npos;
         at = log.find("closed to keep replies held within", at + 1))
        ++lines;
    return lines;
}

TEST(ServiceHeldBytes, ReadersAtTheMinimumRateThatFillTheBudgetAreNeverClosed) {
    // A budget of 2 MiB, which two replies of a little less than 1 MiB fill, and a minimum rate
    // of 64 KiB/s; their peers take them at 80 KiB/s from the start. Their systems acknowledge
    // what they read in lumps (of about 90 KiB on loopback, with these receive buffers), so a
    // reader at the rate goes for a second or more without taking a byte and, in its first
    // seconds, may not have said yet what it read since its way filled.
    constexpr size_t kRate = 64 * 1024;
    ServiceProcess::Options options = smallQuarantine();
    options.extraArgs = {"--reply-budget", "2", "--min-body-rate", std::to_string(kRate)};
    options.captureLog = true;
    ServiceProcess service(options);
    constexpr size_t kReply = (1u << 20) - 4096;
    service.script(json{{"op", "get_ios_config"}, {"sticky", true}, {"body", std::string(kReply, 'r')}}.dump());
    std::vector<std::unique_ptr<PacedReader>> readers;
    for (int i = 0; i < 2; ++i)
        readers.push_back(std::make_unique<PacedReader>(service.port(), 64 * 1024, kRate * 5 / 4,
                                                        getRequest(kJsonPath + "get_ios_config")));
    // Past their grace, a call comes: its making would pass the budget, and neither reader
    // gives way for it. It waits until one of the replies has gone out (a few seconds).
    readPaced(readers, [&] { return std::chrono::steady_clock::now() - readers[0]->since > std::chrono::milliseconds(1500); });
    std::atomic<int> status{-1};
    std::thread call([&] { status = service.request("GET", kJsonPath + "get_tao_config").status; });
    readPaced(readers, [&] { return status.load() >= 0; });
    call.join();
    EXPECT_EQ(status.load(), 200);
    for (size_t i = 0; i < readers.size(); ++i) {
        std::string answer = readers[i]->got + readers[i]->peer.readToEnd();
        EXPECT_EQ(wholeBody(answer).size(), kReply) << "reader " << i;
    }
    EXPECT_EQ(shedReplies(service), 0);
}

// Readers at the rate whose next pieces fill the budget but for the room they leave a new reply:
// calls beside them are made at once, never held until the readers' sockets take more (which
// they do in waves, seconds apart). A piece handed from its worker to its connection must be
// counted throughout: uncounted for a moment, its room went to a waiting piece, and the pieces
// then held more than they leave.
TEST(ServiceHeldBytes, CallsBesideReadersWhosePiecesFillTheBudgetAreMadeAtOnce) {
    ServiceProcess::Options options = smallQuarantine();
    options.extraArgs = {"--reply-budget", "2"};
    options.captureLog = true;
    ServiceProcess service(options);
    const std::string upload = "avatar_10001_pieces.png";
    std::string file = "\x89PNG\r\n\x1a\n";
    file.resize(4u << 20, 'p');
    std::ofstream(service.dataDir() + "/uploads/" + upload, std::ios::binary) << file;
    // 24 readers at 40 KiB/s, above the minimum rate: once their sockets are full, each holds a
    // piece of 64 KiB or waits for room to make one.
    std::vector<std::unique_ptr<PacedReader>> readers;
    for (int i = 0; i < 24; ++i)
        readers.push_back(std::make_unique<PacedReader>(service.port(), 16 * 1024, 40 * 1024, getRequest("/uploads/" + upload)));
    const auto start = readers[0]->since;
    readPaced(readers, [&] { return std::chrono::steady_clock::now() - start > std::chrono::milliseconds(1500); });
    double slowest = 0;
    for (int i = 0; i < 6; ++i) {
        std::atomic<int> status{-1};
        const auto asked = std::chrono::steady_clock::now();
        std::thread call([&] { status = service.request("GET", kJsonPath + "get_tao_config").status; });
        readPaced(readers, [&] { return status.load() >= 0; });
        call.join();
        EXPECT_EQ(status.load(), 200) << i;
        slowest = std::max(slowest, std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count());
    }
    EXPECT_LT(slowest, 2.0) << "a call waited for the readers' sockets";
    for (size_t i = 0; i < readers.size(); ++i) EXPECT_FALSE(readers[i]->ended) << "reader " << i;
    EXPECT_EQ(shedReplies(service), 0);
}

TEST(ServiceHeldBytes, OfTheReadersBelowTheRateTheSlowestGivesWayNotTheOneThatTookNothingLongest) {
    // A budget of 6 MiB, which four replies of a little less than 1.5 MiB fill, and a minimum
    // rate of 64 KiB/s: two readers take theirs at twice that, one at 24 KiB/s (its socket
    // takes nothing more of its reply for seconds, until a third of what the system keeps for
    // it is free), and one that came last takes nothing. A call then needs room: of the two
    // below the rate past their grace the one that takes least gives way, though the other has
    // gone longer without its socket taking a byte; the readers at the rate never do.
    constexpr size_t kRate = 64 * 1024;
    ServiceProcess::Options options = smallQuarantine();
    options.extraArgs = {"--reply-budget", "6", "--min-body-rate", std::to_string(kRate), "--reply-grace", "0.5"};
    options.captureLog = true;
    ServiceProcess service(options);
    constexpr size_t kReply = (3u << 19) - 4096;
    service.script(json{{"op", "get_ios_config"}, {"sticky", true}, {"body", std::string(kReply, 'r')}}.dump());
    const std::string ask = getRequest(kJsonPath + "get_ios_config");
    std::vector<std::unique_ptr<PacedReader>> readers;
    readers.push_back(std::make_unique<PacedReader>(service.port(), 16 * 1024, 2 * kRate, ask));
    readers.push_back(std::make_unique<PacedReader>(service.port(), 16 * 1024, 2 * kRate, ask));
    readers.push_back(std::make_unique<PacedReader>(service.port(), 16 * 1024, 24 * 1024, ask));
    const auto start = readers[0]->since;
    readPaced(readers, [&] { return std::chrono::steady_clock::now() - start > std::chrono::milliseconds(1500); });
    Peer idle(service.port());
    idle.send(ask);
    ASSERT_TRUE(idle.answerStarted());
    readPaced(readers, [&] { return std::chrono::steady_clock::now() - start > std::chrono::milliseconds(2500); });
    std::atomic<int> status{-1};
    std::thread call([&] { status = service.request("GET", kJsonPath + "get_tao_config").status; });
    readPaced(readers, [&] { return status.load() >= 0; });
    call.join();
    EXPECT_EQ(status.load(), 200);
    EXPECT_EQ(wholeBody(idle.readToEnd()), "") << "the peer that takes nothing keeps its reply";
    for (size_t i = 0; i < readers.size(); ++i) EXPECT_FALSE(readers[i]->ended) << "reader " << i;
    EXPECT_EQ(shedReplies(service), 1) << service.serviceLog();
}

TEST(ServiceHeldBytes, RepliesCountFromTheMomentTheirMakingStarts) {
    ServiceProcess service(smallQuarantine());
    constexpr size_t kReply = 6u << 20;
    service.script(json{{"op", "get_ios_config"}, {"sticky", true}, {"body", std::string(kReply, 'r')}}
                       .dump());
    // Ten peers that do not read hold 60 MiB of replies.
    std::vector<std::unique_ptr<Peer>> peers;
    for (int i = 0; i < 10; ++i) {
        peers.push_back(std::make_unique<Peer>(service.port()));
        peers.back()->send(getRequest(kJsonPath + "get_ios_config"));
        ASSERT_TRUE(peers.back()->answerStarted()) << i;
    }
    // Four pictures being made (held before a byte of them is made) and the call that counts
    // them take a mebibyte each while they are made: the five do not fit beside the 60, and
    // the peer that took nothing for longest makes room for them.
    service.configure(R"({"hold_pictures": true})");
    std::vector<std::unique_ptr<Peer>> pictures;
    for (int i = 0; i < 4; ++i) {
        pictures.push_back(std::make_unique<Peer>(service.port(), false));
        pictures.back()->send(getRequest("/images/budget" + std::to_string(i) + "_40x40.png"));
    }
    ASSERT_EQ(service.request("GET", "/__test/pictures/held?at_least=4").body, "4");
    EXPECT_EQ(wholeBody(peers[0]->readToEnd()).size(), 0u);
    EXPECT_EQ(wholeBody(peers[1]->readToEnd()).size(), kReply);  // the next one keeps its reply
    service.configure(R"({"hold_pictures": false})");
    for (auto& p : pictures) EXPECT_EQ(p->readToEnd().rfind("HTTP/1.1 200", 0), 0u);
}

// Walks an animated GIF of the service: its frames, and the codes of each (a clear code
// before every 100 pixels, the pixels, the end code). False when the bytes do not end with
// its trailer exactly.
bool gifShape(const std::string& gif, size_t pixels, int& frames) {
    frames = 0;
    if (gif.compare(0, 6, "GIF89a") != 0 || gif.size() < 13 + 384 + 19) return false;
    size_t at = 13 + 384 + 19;
    const size_t codes = pixels + (pixels + 99) / 100 + 1;
    while (at < gif.size() && static_cast<unsigned char>(gif[at]) == 0x21) {
        at += 8;  // the frame's control
        if (at + 11 > gif.size() || gif[at] != 0x2C) return false;
        at += 11;  // descriptor and minimum code size
        size_t counted = 0;
        while (at < gif.size() && gif[at] != 0) {
            counted += static_cast<unsigned char>(gif[at]);
            at += 1 + static_cast<unsigned char>(gif[at]);
        }
        if (counted != codes) return false;
        ++at;
        ++frames;
    }
    return at + 1 == gif.size() && gif[at] == 0x3B;
}

TEST(ServiceHeldBytes, AnimatedPicturesAreMadeAsTheyAreSent) {
    ServiceProcess service(smallQuarantine());
    const struct {
        unsigned width, height;
    } sizes[] = {{1, 1}, {7, 13}, {100, 1}, {51, 5}, {255, 2}, {1999, 7}, {2000, 2000}};
    for (const auto& size : sizes) {
        const std::string name = "shape_" + std::to_string(size.width) + "x" +
                                 std::to_string(size.height) + ".gif";
        SCOPED_TRACE(name);
        auto answer = service.request("GET", "/images/" + name);
        EXPECT_EQ(answer.status, 200);
        EXPECT_EQ(answer.header("Content-Length"), std::to_string(answer.body.size()));
        int frames = 0;
        EXPECT_TRUE(gifShape(answer.body, size_t{size.width} * size.height, frames));
        EXPECT_EQ(frames, 4);
    }

    // An uploaded avatar of the largest size a body may have, as its upload leaves it: sent
    // as it is, from the disk.
    const std::string upload = "avatar_10001_large.png";
    std::string file = "\x89PNG\r\n\x1a\n";
    for (size_t i = 0; file.size() < (8u << 20); ++i) file += static_cast<char>(i * 131 >> 3);
    std::ofstream(service.dataDir() + "/uploads/" + upload, std::ios::binary) << file;
    EXPECT_EQ(service.request("GET", "/uploads/" + upload).body, file);

    // Thirty peers ask for 16 MB pictures, or the 8 MiB upload, and do not read: the service
    // holds a piece of each, not the whole, and answers the others meanwhile. (Made whole, the
    // uploads would fill the 64 MiB that replies may hold.)
    const struct {
        std::string target;  // '%': the peer's number
        size_t growth;       // of the peak
    } floods[] = {{"/images/held%_2000x2000.gif", 64u << 20}, {"/uploads/" + upload, 32u << 20}};
    for (const auto& [target, growth] : floods) {
        SCOPED_TRACE(target);
        const size_t before = peakResidentBytes(service.pid());
        std::vector<std::unique_ptr<Peer>> peers;
        for (int i = 0; i < 30; ++i) {
            std::string named = target;
            if (size_t at = named.find('%'); at != std::string::npos) named.replace(at, 1, std::to_string(i));
            peers.push_back(std::make_unique<Peer>(service.port()));
            peers.back()->send(getRequest(named));
            ASSERT_TRUE(peers.back()->answerStarted()) << i;
        }
        EXPECT_EQ(service.request("GET", kJsonPath + "get_ios_config").status, 200);
        EXPECT_LT(peakResidentBytes(service.pid()), before + growth);
    }
}

TEST(ServiceHeldBytes, AReplyIsCutOnlyWhenItsPeerTakesNothingForItsDeadline) {
    // A second for a peer to take a byte of its reply. The readers below take a little every
    // few hundredths of a second, so their replies of 3 MiB take them two seconds and more:
    // only a deadline that every byte taken moves lets them have them whole. Peers that stop
    // taking are cut all the same.
    ServiceProcess service({.extraArgs = {"--reply-deadline", "1"}, .captureLog = true});
    constexpr size_t kReply = 3u << 20;
    service.script(json{{"op", "get_ios_config"}, {"sticky", true}, {"body", std::string(kReply, 'r')}}
                       .dump());
    const std::string upload = "avatar_10001_steady.png";
    std::string file = "\x89PNG\r\n\x1a\n";
    for (size_t i = 0; file.size() < kReply; ++i) file += static_cast<char>(i * 151 >> 3);
    std::ofstream(service.dataDir() + "/uploads/" + upload, std::ios::binary) << file;
    constexpr unsigned kSide = 880;  // an animated picture of about 3 MiB
    enum class Reads { steadily, stopsHalfway, never };
    const struct {
        const char* what;
        std::string target;
        Reads reads;
    } cases[] = {
        {"a whole reply read steadily", kJsonPath + "get_ios_config", Reads::steadily},
        {"an uploaded file read steadily", "/uploads/" + upload, Reads::steadily},
        {"an animated picture read steadily", "/images/steady_880x880.gif", Reads::steadily},
        {"a whole reply never read", kJsonPath + "get_ios_config", Reads::never},
        {"an uploaded file read halfway", "/uploads/" + upload, Reads::stopsHalfway},
        {"an animated picture read halfway", "/images/halfway_880x880.gif", Reads::stopsHalfway},
    };
    std::vector<std::unique_ptr<Peer>> peers;
    std::vector<std::string> got(std::size(cases));
    std::vector<bool> ended(std::size(cases), false);
    for (const auto& c : cases) {
        // A window of a few pages: the reply stays with the service until the peer reads it.
        peers.push_back(std::make_unique<Peer>(service.port(), Peer::Window{64 * 1024}));
        peers.back()->send(getRequest(c.target));
    }
    // Every 15 ms each reader takes at most 24 KiB; until the steady ones have their replies.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (bool reading = true; reading && std::chrono::steady_clock::now() < limit;) {
        reading = false;
        for (size_t i = 0; i < std::size(cases); ++i) {
            if (ended[i] || cases[i].reads == Reads::never) continue;
            if (cases[i].reads == Reads::stopsHalfway && got[i].size() >= kReply / 2) continue;
            ended[i] = !peers[i]->takeSome(got[i], 24 * 1024);
            reading = reading || (cases[i].reads == Reads::steadily && !ended[i]);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
    }
    // The three that stopped are cut once they have taken nothing for the deadline.
    EXPECT_EQ(logLines(service, "reply not taken within 1 s", 3), 3);
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].what);
        if (cases[i].reads != Reads::steadily) {
            got[i] += peers[i]->readToEnd(std::chrono::seconds(10));
            EXPECT_EQ(wholeBody(got[i]), "");
            continue;
        }
        const std::string body = wholeBody(got[i]);
        if (body.empty()) {
            ADD_FAILURE() << "cut after " << got[i].size() << " bytes";
            continue;
        }
        if (cases[i].target.find(".gif") != std::string::npos) {
            int frames = 0;
            EXPECT_TRUE(gifShape(body, size_t{kSide} * kSide, frames));
        } else {
            EXPECT_TRUE(body == (cases[i].target.find("/uploads/") == 0 ? file : std::string(kReply, 'r')));
        }
    }
}

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
    enum class First {
        trickles,
        sendsItsBody,
        idlesAfterAnAnswer,
        answeredAfterTheOthersCame,
        takesNothingOfItsReply,
        readsItsReply,
        waitsForItsPicture
    };
    constexpr size_t kReply = 6u << 20;
    const struct {
        const char* what;
        First first;  // what the oldest connection does
        size_t givesWay;  // the one closed for the new client
        // Bytes a second, of a body or of a reply's taking; judged from the start (a reply's
        // grace is none here, a body's none but where a case gives one).
        const char* minBodyRate = "0";
        const char* bodyGrace = "0";
    } cases[] = {
        {"every connection trickles its head: the oldest gives way", First::trickles, 0},
        {"the oldest sends its body: the oldest that trickles gives way", First::sendsItsBody, 1},
        {"the oldest sends its body below the minimum rate: it gives way", First::sendsItsBody, 0,
         "1000000"},
        // A phone's upload whose next lumps are on their way is not judged in its first moments.
        {"the oldest sends its body below the minimum rate within its grace: the oldest that trickles gives way",
         First::sendsItsBody, 1, "1000000", "60"},
        {"the oldest idles after an answer: it waited longest for a head",
         First::idlesAfterAnAnswer, 0},
        {"the oldest was answered after the others came: it waited least",
         First::answeredAfterTheOthersCame, 1},
        // Its peer has taken a window's worth of a reply of megabytes, and nothing since.
        {"the oldest's peer takes its reply below the minimum rate: it gives way",
         First::takesNothingOfItsReply, 0, "1000000000"},
        {"the oldest's peer reads its reply at the minimum rate: the oldest that trickles gives way",
         First::readsItsReply, 1, "1"},
        {"the oldest's reply is being made: the oldest that trickles gives way",
         First::waitsForItsPicture, 1, "1000000000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // Heads and bodies get a minute, so that no deadline ends a connection meanwhile,
        // however slowly the table fills on a busy machine.
        ServiceProcess service({.extraArgs = {"--read-deadline", "60", "--min-body-rate", c.minBodyRate,
                                              "--reply-grace", "0", "--body-grace", c.bodyGrace},
                                .descriptors = kTableDescriptors});
        std::vector<std::unique_ptr<Peer>> table;
        // A small window: a reply stays with the service until its peer reads it.
        table.push_back(std::make_unique<Peer>(service.port()));
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
        case First::takesNothingOfItsReply:
        case First::readsItsReply:
            service.script(json{{"op", "get_ios_config"}, {"body", std::string(kReply, 'r')}}.dump());
            first.send(getRequest(kJsonPath + "get_ios_config"));
            ASSERT_TRUE(first.answerStarted());
            break;
        case First::waitsForItsPicture:
            service.configure(R"({"hold_pictures": true})");
            first.send(getRequest("/images/table_40x40.png"));
            ASSERT_EQ(service.request("GET", "/__test/pictures/held?at_least=1").body, "1");
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
        // It reads 64 KiB of its 6 MiB, well past what its system took at once.
        std::string taken;
        while (c.first == First::readsItsReply && taken.size() < (64u << 10) && first.takeSome(taken, 4096))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        // The table is full (connections are taken in the order they came): a new client is
        // answered all the same.
        EXPECT_EQ(service.request("GET", kJsonPath + "get_ios_config").status, 200);
        // (A reply's peer is judged by what of it comes: below.)
        const bool replies = c.first == First::takesNothingOfItsReply || c.first == First::readsItsReply;
        const size_t from = replies ? 1 : 0;
        if (c.givesWay >= from) {
            EXPECT_TRUE(table[c.givesWay]->closedByService(true));
        }
        for (size_t i = from; i < table.size(); ++i) {
            if (i != c.givesWay) {
                EXPECT_FALSE(table[i]->closedByService(false)) << i;
            }
        }
        if (replies) {
            // Cut short when it gave way, else whole.
            EXPECT_EQ(wholeBody(taken + first.readToEnd()).size(), c.givesWay == 0 ? 0u : kReply);
        }
        if (c.first == First::sendsItsBody && c.givesWay != 0) {
            // It was not cut: the rest of its body brings its answer.
            first.send("\"bb\"}");
            EXPECT_EQ(first.readHead().rfind("HTTP/1.1 200", 0), 0u);
        }
    }
}

TEST(ServiceHeldBytes, AConnectionWhoseHeadHasComeIsReadBeforeItIsJudged) {
    if (!roomForConnections(kConnectionTable + 400)) GTEST_SKIP() << "too few descriptors allowed";
    ServiceProcess service({.extraArgs = {"--read-deadline", "60"}, .descriptors = kTableDescriptors});
    const std::string trickled = "GET " + kJsonPath + "get_ios_config HTTP/1.1\r\nHo";
    // A full table of tricklers but for one, the hundredth oldest, which has sent nothing yet.
    constexpr size_t kValid = 100;
    std::vector<std::unique_ptr<Peer>> table;
    while (table.size() < kConnectionTable) {
        table.push_back(std::make_unique<Peer>(service.port(), false));
        ASSERT_TRUE(table.back()->connected()) << table.size();
        if (table.size() - 1 != kValid) table.back()->send(trickled);
    }
    // New clients come in a burst, which the service takes one after another, the oldest
    // trickler giving way for each; amid it the hundredth sends its whole request. When its
    // turn to give way comes, its head is there: it is read, answered, and not cut.
    std::vector<std::unique_ptr<Peer>> burst;
    for (int i = 0; i < 60; ++i) burst.push_back(std::make_unique<Peer>(service.port(), false));
    table[kValid]->send(getRequest(kJsonPath + "get_ios_config"));
    for (int i = 0; i < 140; ++i) burst.push_back(std::make_unique<Peer>(service.port(), false));
    const std::string answer = table[kValid]->readToEnd();
    EXPECT_EQ(answer.rfind("HTTP/1.1 200", 0), 0u) << answer.substr(0, 100);
}

TEST(ServiceHeldBytes, ANewClientWaitsForAPlaceWhileTheReadersAreInTheirGrace) {
    // Two places, both taken by peers whose replies fill the way to them and who have not read
    // yet: in its grace a peer is not judged by what it has taken, so neither gives way, and a
    // new client waits in the listening queue (not refused) until a place frees.
    ServiceProcess service({.extraArgs = {"--reply-grace", "60"}, .descriptors = 64 + 2 * 2});
    constexpr size_t kReply = 1u << 20;  // more than the way to a peer holds
    service.script(json{{"op", "get_ios_config"}, {"sticky", true}, {"body", std::string(kReply, 'r')}}.dump());
    std::vector<std::unique_ptr<Peer>> readers;
    for (int i = 0; i < 2; ++i) {
        readers.push_back(std::make_unique<Peer>(service.port(), Peer::Window{64 * 1024}));
        readers.back()->send(getRequest(kJsonPath + "get_ios_config"));
        ASSERT_TRUE(readers.back()->answerStarted()) << i;
    }
    Peer late(service.port(), false);
    late.send(getRequest(kJsonPath + "get_tao_config"));
    // While neither reader has read, no place frees: the new client is not answered (nor
    // refused), it waits.
    std::string early = late.readToEnd(std::chrono::milliseconds(1500));
    EXPECT_EQ(early, "") << "answered while the table was full";
    for (size_t i = 0; i < readers.size(); ++i) EXPECT_EQ(wholeBody(readers[i]->readToEnd()).size(), kReply) << i;
    const std::string answer = early + late.readToEnd();
    EXPECT_EQ(answer.rfind("HTTP/1.1 200", 0), 0u) << answer.substr(0, 100);
}

TEST(ServiceHeldBytes, AFullTableTakesBackThePlaceOfAClientThatPipelinesItsRequests) {
    // Eight places (the descriptor limit leaves room for no more: two descriptors each), each
    // taken by a client that sends three hundred requests at once and reads the replies, so
    // that it is always between two replies or waiting for one; none gives way for its rate.
    constexpr size_t kPlaces = 8;
    constexpr int kAsked = 300;
    ServiceProcess service({.extraArgs = {"--min-body-rate", "0"}, .descriptors = static_cast<int>(64 + 2 * kPlaces)});
    std::string asks;
    for (int i = 0; i < kAsked; ++i) asks += "GET " + kJsonPath + "get_ios_config HTTP/1.1\r\nHost: x\r\n\r\n";
    std::vector<std::unique_ptr<Peer>> pipelining;
    std::vector<std::string> got(kPlaces);
    for (size_t i = 0; i < kPlaces; ++i) {
        pipelining.push_back(std::make_unique<Peer>(service.port()));
        pipelining.back()->send(asks);
        ASSERT_TRUE(pipelining.back()->answerStarted()) << i;
    }
    // Their replies wait in the way to them (its hundred-odd first) while a new client comes:
    // it waits for a place. Then they read: one that has had its share of replies closes after
    // its next one (the rest of its requests unanswered), and the new client is answered.
    Peer late(service.port(), false);
    late.send(getRequest(kJsonPath + "get_ios_config"));
    std::string answer;
    std::vector<bool> ended(kPlaces, false);
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (answer.find("\r\n\r\n") == std::string::npos && late.takeSome(answer, 4096) &&
           std::chrono::steady_clock::now() < limit) {
        for (size_t i = 0; i < kPlaces; ++i) {
            if (ended[i]) continue;
            ended[i] = !pipelining[i]->takeSome(got[i], 1 << 20);
            if (ended[i]) pipelining[i]->hangUp();
        }
        pollfd none{};
        poll(&none, 0, 1);
    }
    EXPECT_EQ(answer.rfind("HTTP/1.1 200", 0), 0u) << answer.substr(0, 100);
    size_t gaveWay = 0;
    for (size_t i = 0; i < kPlaces; ++i) {
        if (!ended[i]) continue;
        // Whole replies, the last of which said so.
        int replies = 0;
        for (size_t at = got[i].find("HTTP/1.1 200 OK"); at != std::string::npos; at = got[i].find("HTTP/1.1 200 OK", at + 1))
            ++replies;
        const size_t last = got[i].rfind("HTTP/1.1 200 OK");
        ASSERT_NE(last, std::string::npos) << i;
        EXPECT_NE(wholeBody(got[i].substr(last)), "") << i;
        EXPECT_NE(got[i].find("Connection: close", last), std::string::npos) << i;
        EXPECT_GE(replies, 100) << i;
        if (replies < kAsked) ++gaveWay;
    }
    EXPECT_GE(gaveWay, 1u);
}

}  // namespace
}  // namespace zvt::test::svc
