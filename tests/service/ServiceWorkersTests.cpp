// Which workers a request waits for: calls (both interfaces of the protocol, the searches and
// the version lookup the application makes, the control interface) have workers of their own,
// so that they are answered while every picture worker is busy; pictures and pages keep eight.
// The service's picture hold (`hold_pictures`) keeps picture workers busy for as long as a
// test needs, without timing.
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/service/ServiceTestSupport.h"

namespace zvt::test::svc {
namespace {

constexpr int kPictureWorkers = 8;  // as the service's README states
constexpr int kCallWorkers = 8;
constexpr int kFrameWorkers = 2;

// One request on a connection of its own, given up after 10 s (status 0 then).
RawCall answered(int port, const std::string& method, const std::string& target,
                 const std::string& body = "", const std::string& type = "",
                 const std::string& cookie = "") {
    std::string head = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
    if (!type.empty()) head += "Content-Type: " + type + "\r\n";
    if (!cookie.empty()) head += "Cookie: " + cookie + "\r\n";
    if (method == "POST") head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    std::vector<RawCall> calls{RawCall(head + "\r\n", std::make_shared<const std::string>(body))};
    runAtOnce(port, calls, std::chrono::seconds(10));
    return calls.front();
}

// How many pictures wait at the hold: once `atLeast` do (the service answers then), else -1.
int picturesHeld(int port, int atLeast = 0) {
    RawCall held = answered(port, "GET", "/__test/pictures/held?at_least=" + std::to_string(atLeast));
    json count = held.replyJson();
    return held.status == 200 && count.is_number_integer() ? count.get<int>() : -1;
}

// Connections that each asked for a picture of their own and wait for it.
std::vector<std::unique_ptr<Peer>> askForPictures(int port, int count) {
    std::vector<std::unique_ptr<Peer>> peers;
    for (int i = 0; i < count; ++i) {
        peers.push_back(std::make_unique<Peer>(port, false));
        peers.back()->send(getRequest("/images/lane" + std::to_string(i) + "_40x40.png"));
    }
    return peers;
}

void expectPictures(const std::vector<std::unique_ptr<Peer>>& peers) {
    for (size_t i = 0; i < peers.size(); ++i) {
        const std::string answer = peers[i]->readToEnd();
        EXPECT_EQ(answer.rfind("HTTP/1.1 200", 0), 0u) << "picture " << i;
        EXPECT_EQ(wholeBody(answer).rfind("\x89PNG\r\n\x1a\n", 0), 0u) << "picture " << i;
    }
}

TEST(ServiceWorkers, CallsAreAnsweredWhileEveryPictureWorkerIsBusy) {
    ServiceProcess service;
    const int port = service.port();
    const std::string cookie = ServiceCalls(service).login(kServiceTestUserName, kServiceTestUserPassword);
    service.configure(R"({"hold_pictures": true})");
    // More pictures than their workers: the last four wait for a worker, as they do on a
    // service busy with pictures.
    auto pictures = askForPictures(port, kPictureWorkers + 4);
    ASSERT_EQ(picturesHeld(port, kPictureWorkers), kPictureWorkers)
        << "the control interface was not answered while pictures were held";

    const RawCall desTime = answered(port, "POST", kDesPath + "get_time",
                                     encipheredBody({{"code", md5Hex(md5Hex(kSecret))}}), kFormType);
    ASSERT_EQ(desTime.replyCode(), 101) << "the time stamp was not answered";
    const json desData = json::parse(decipher(desTime.replyJson().value("data", "")), nullptr, false);
    const std::string time = desData.is_object() ? desData.value("time", "") : "";
    const RawCall jsonTime = answered(port, "POST", kJsonPath + "get_time",
                                      json{{"code", md5Hex(md5Hex(kSecret))}}.dump(), "application/json");
    ASSERT_EQ(jsonTime.replyCode(), 101) << "the JSON time stamp was not answered";
    const std::string timeJson = jsonTime.replyJson().value("time", "");

    const struct {
        const char* what;
        std::string method, target, body, type, cookie;
        int code;  // -1: a reply that is not an object with a code
    } cases[] = {
        {"the user's own record, signed and enciphered", "POST", kDesPath + "userInfo&do=my",
         encipheredBody(signedWith({{"id", kServiceTestUserId}}, time)), kFormType, cookie, 101},
        {"a check-in, which writes", "POST", kDesPath + "sign",
         encipheredBody(signedWith({{"id", kServiceTestUserId}}, time)), kFormType, cookie, 101},
        {"a signed JSON read", "POST", kJsonPath + "mall_type", signedWith(json::object(), timeJson).dump(),
         "application/json", "", 101},
        {"the unsigned configuration", "GET", kJsonPath + "get_ios_config", "", "", "", 101},
        {"the goods search", "GET", "/api/search_tbk_v3.php?keyword=a&page=1", "", "", "", -1},
        {"the version lookup", "GET", "/lookup", "", "", "", -1},
        {"the control interface", "GET", "/__test/log/count", "", "", "", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const RawCall call = answered(port, c.method, c.target, c.body, c.type, c.cookie);
        EXPECT_EQ(call.status, 200);
        EXPECT_EQ(call.replyCode(), c.code) << call.reply;
    }

    // The pictures have their eight workers and no more: the four others still wait.
    EXPECT_EQ(picturesHeld(port), kPictureWorkers);
    service.configure(R"({"hold_pictures": false})");
    expectPictures(pictures);
}

TEST(ServiceWorkers, RepliesUnderWayAndFilesOnDiskGoOnWhileEveryPictureWorkerIsBusy) {
    ServiceProcess service;
    const int port = service.port();
    // An uploaded file of many pieces, as an upload leaves it.
    const std::string upload = "/uploads/avatar_10001_ready.png";
    std::string file = "\x89PNG\r\n\x1a\n";
    for (size_t i = 0; file.size() < (2u << 20); ++i) file += static_cast<char>(i * 97 >> 2);
    std::ofstream(service.dataDir() + upload, std::ios::binary) << file;
    // Two peers have the first pieces of their replies (2 MiB each) before the pictures come,
    // and wait to read on.
    Peer earlyFile(port), earlyGif(port);
    earlyFile.send(getRequest(upload));
    earlyGif.send(getRequest("/images/under_way_720x720.gif"));
    ASSERT_TRUE(earlyFile.answerStarted());
    ASSERT_TRUE(earlyGif.answerStarted());
    service.configure(R"({"hold_pictures": true})");
    auto pictures = askForPictures(port, kPictureWorkers + 4);
    ASSERT_EQ(picturesHeld(port, kPictureWorkers), kPictureWorkers);
    Peer late(port, false);
    late.send(getRequest(upload));
    const struct {
        const char* what;
        const Peer& peer;
        const char* starts;  // the reply's body
        size_t size;
    } cases[] = {
        {"an uploaded file under way", earlyFile, "\x89PNG", file.size()},
        {"an animated picture under way", earlyGif, "GIF89a", 0},
        {"an uploaded file asked for while the pictures wait", late, "\x89PNG", file.size()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string body = wholeBody(c.peer.readToEnd(std::chrono::seconds(10)));
        EXPECT_EQ(body.rfind(c.starts, 0), 0u) << "cut short";
        if (c.size > 0) {
            EXPECT_TRUE(body == file) << body.size() << " bytes of " << c.size;
        }
    }
    // The pictures are still held: the others went past them.
    EXPECT_EQ(picturesHeld(port), kPictureWorkers);
    service.configure(R"({"hold_pictures": false})");
    expectPictures(pictures);
}

TEST(ServiceWorkers, FilesOnDiskGoOnWhileEveryFrameWorkerIsBusy) {
    ServiceProcess service;
    const int port = service.port();
    const std::string upload = "/uploads/avatar_10001_frames.png";
    std::string file = "\x89PNG\r\n\x1a\n";
    for (size_t i = 0; file.size() < (2u << 20); ++i) file += static_cast<char>(i * 89 >> 2);
    std::ofstream(service.dataDir() + upload, std::ios::binary) << file;
    // Two animated pictures of 2 MiB under way, as many as the workers that make their next
    // pieces; those pieces wait at the hold as their peers read on, keeping both workers.
    std::vector<std::unique_ptr<Peer>> gifs;
    for (int i = 0; i < kFrameWorkers; ++i) {
        gifs.push_back(std::make_unique<Peer>(port));
        gifs.back()->send(getRequest("/images/frames" + std::to_string(i) + "_720x720.gif"));
        ASSERT_TRUE(gifs.back()->answerStarted());
    }
    service.configure(R"({"hold_frames": true})");
    std::vector<std::string> got(gifs.size());
    for (size_t i = 0; i < gifs.size(); ++i) got[i] = gifs[i]->readToEnd(std::chrono::milliseconds(300));
    ASSERT_EQ(picturesHeld(port, kFrameWorkers), kFrameWorkers);
    // A file ready on the disk does not wait behind the frames.
    Peer late(port, false);
    late.send(getRequest(upload));
    EXPECT_TRUE(wholeBody(late.readToEnd(std::chrono::seconds(10))) == file) << "cut short or late";
    service.configure(R"({"hold_frames": false})");
    for (size_t i = 0; i < gifs.size(); ++i) {
        const std::string body = wholeBody(got[i] + gifs[i]->readToEnd(std::chrono::seconds(20)));
        EXPECT_EQ(body.rfind("GIF89a", 0), 0u) << "picture " << i << " cut short";
    }
}

TEST(ServiceWorkers, HeldPicturesGoOnWhenTheHoldEnds) {
    ServiceProcess service;
    const int port = service.port();
    const struct {
        const char* what;
        std::function<void()> end;
    } ends[] = {
        {"the setting", [&] { service.configure(R"({"hold_pictures": false})"); }},
        {"a reset", [&] { service.reset(); }},
    };
    for (const auto& e : ends) {
        SCOPED_TRACE(e.what);
        service.configure(R"({"hold_pictures": true})");
        auto pictures = askForPictures(port, 2);
        ASSERT_EQ(picturesHeld(port, 2), 2);
        e.end();
        expectPictures(pictures);
        EXPECT_EQ(picturesHeld(port), 0);
    }
    // Stopping the service ends the hold: it exits at once, not killed when its time is up.
    service.configure(R"({"hold_pictures": true})");
    auto pictures = askForPictures(port, 2);
    ASSERT_EQ(picturesHeld(port, 2), 2);
    const int status = service.stop();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// Whether the service's log has a line about `target` that holds `text`: looked for between
// round trips to the service, for as long as a few thousand of them take.
bool logShows(const ServiceProcess& service, const std::string& target, const std::string& text) {
    for (int look = 0; look < 3000; ++look) {
        std::istringstream log(service.serviceLog());
        for (std::string line; std::getline(log, line);) {
            if (line.find(target) != std::string::npos && line.find(text) != std::string::npos) return true;
        }
        service.requestCount();
    }
    return false;
}

TEST(ServiceWorkers, APeerThatGoesAwayGivesUpItsConnectionAndItsPlaceInTheQueue) {
    ServiceProcess service({.captureLog = true});
    const int port = service.port();
    service.configure(R"({"hold_pictures": true})");
    auto pictures = askForPictures(port, kPictureWorkers);  // every picture worker is taken
    ASSERT_EQ(picturesHeld(port, kPictureWorkers), kPictureWorkers);
    enum class Leaves { hangsUp, resets, halfCloses };
    const struct {
        const char* what;
        Leaves leaves;
        bool queued;      // else: the first picture, being made
        const char* log;  // what the service notes at once; none: it answers as usual
    } cases[] = {
        {"hangs up while its picture waits for a worker", Leaves::hangsUp, true,
         "peer went away: its request dropped before it was made"},
        {"resets while its picture waits for a worker", Leaves::resets, true,
         "peer went away: its request dropped before it was made"},
        {"only half-closes, and reads", Leaves::halfCloses, true, nullptr},
        {"hangs up while its picture is made", Leaves::hangsUp, false,
         "peer went away while its reply was made"},
    };
    std::vector<std::string> dropped;
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(c.what);
        const std::string target = c.queued ? "/images/gone" + std::to_string(i) + "_40x40.png"
                                            : "/images/lane0_40x40.png";
        std::unique_ptr<Peer> peer;
        if (c.queued) {
            peer = std::make_unique<Peer>(port, false);
            peer->send(getRequest(target));
        } else {
            peer = std::move(pictures.front());
            pictures.erase(pictures.begin());
        }
        switch (c.leaves) {
        case Leaves::hangsUp:
            peer->hangUp();
            break;
        case Leaves::resets:
            peer->reset();
            break;
        case Leaves::halfCloses:
            peer->halfClose();
            // The service asks whether it still reads (an interim answer, which a closed socket
            // refuses): it does.
            EXPECT_EQ(peer->readHead(), "HTTP/1.1 100 Continue\r\n\r\n");
            pictures.push_back(std::move(peer));  // then its picture
            break;
        }
        if (c.log) {
            EXPECT_TRUE(logShows(service, target, c.log));  // while every worker is still held
            if (c.queued) dropped.push_back(target);
        }
    }
    service.configure(R"({"hold_pictures": false})");
    expectPictures(pictures);
    // The queued requests of peers gone before a worker took them were never made: the half-
    // closed peer's, queued after them, was.
    for (const auto& target : dropped) EXPECT_EQ(service.requestCount(target), 0) << target;
}

TEST(ServiceWorkers, AnInterimReplyGoesOutWholeThoughTheSocketTakesPartOfIt) {
    // The service's socket takes ten bytes of the interim "100 Continue" it sends to a peer
    // that closed its side; the rest must go out before the reply, never the reply after a
    // part of it.
    const char* asan = std::getenv("ASAN_OPTIONS");
    ServiceProcess service({.environment = {std::string("LD_PRELOAD=") + ZVT_CUT_INTERIM,
                                            std::string("ASAN_OPTIONS=") + (asan ? asan : "") +
                                                ":verify_asan_link_order=0"}});
    const int port = service.port();
    const struct {
        const char* what;
        std::string target;
        std::function<void()> hold, wait, release;
    } cases[] = {
        {"while its picture is made", "/images/interim_40x40.png",
         [&] { service.configure(R"({"hold_pictures": true})"); },
         [&] { ASSERT_EQ(picturesHeld(port, 1), 1); },
         [&] { service.configure(R"({"hold_pictures": false})"); }},
        {"while its reply, made, is held back", kJsonPath + "get_tao_config",
         [&] { service.script(json{{"op", "get_tao_config"}, {"hold", "interim"}}.dump()); },
         [&] {
             for (int look = 0; look < 1000 && service.requestCount("get_tao_config") == 0; ++look) {
             }
         },
         [&] { service.release("interim"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.hold();
        Peer peer(port, false);
        peer.send(getRequest(c.target));
        c.wait();
        peer.halfClose();
        EXPECT_TRUE(peer.answerStarted());  // the interim reply, while the reply waits
        c.release();
        const std::string answer = peer.readToEnd(std::chrono::seconds(10));
        EXPECT_EQ(answer.rfind("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\n", 0), 0u)
            << answer.substr(0, 60);
        EXPECT_NE(wholeBody(answer.substr(std::min(answer.size(), size_t{25}))), "");
    }
}

TEST(ServiceWorkers, OnlyAFileThatIsNotThereIsNotFound) {
    // The service opens certain files as a process out of descriptors would fail to (the file
    // is there, but no descriptor is left): the client is told to ask again, not that it is gone.
    const char* asan = std::getenv("ASAN_OPTIONS");
    ServiceProcess service({.environment = {std::string("LD_PRELOAD=") + ZVT_FAIL_OPEN,
                                            std::string("ASAN_OPTIONS=") + (asan ? asan : "") +
                                                ":verify_asan_link_order=0"}});
    const std::string file = "\x89PNG\r\n\x1a\n" + std::string(100000, 'f');
    const struct {
        const char* name;
        bool there;
        int status;
        const char* shows;  // in the page of a refusal
    } files[] = {
        {"avatar_10001_there.png", true, 200, nullptr},
        {"avatar_10001_missing.png", false, 404, "页面不存在"},
        {"avatar_10001_unopenable.png", true, 503, "服务器繁忙，请稍后再试"},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        if (f.there) std::ofstream(service.dataDir() + "/uploads/" + f.name, std::ios::binary) << file;
        const auto answer = service.request("GET", std::string("/uploads/") + f.name);
        EXPECT_EQ(answer.status, f.status);
        if (f.shows) {
            EXPECT_NE(answer.body.find(f.shows), std::string::npos) << answer.body.substr(0, 200);
        } else {
            EXPECT_TRUE(answer.body == file);
        }
    }
}

TEST(ServiceWorkers, AWriteIsNeverMadeForAPeerThatHasClosed) {
    // A table of two places (the descriptor limit leaves room for no more), both held by peers
    // that take nothing of their replies: new connections wait in the listening queue until,
    // past their grace, those give way. Meanwhile a client asks to check in and leaves: when its
    // request is read at last, its peer has closed, and it is not made.
    ServiceProcess service({.extraArgs = {"--reply-grace", "0.3"}, .captureLog = true, .descriptors = 64 + 2 * 2});
    const int port = service.port();
    ServiceCalls calls(service);
    const std::string cookie = calls.login(kServiceTestUserName, kServiceTestUserPassword);
    service.script(json{{"op", "get_ios_config"}, {"sticky", true}, {"body", std::string(6u << 20, 'r')}}.dump());
    const struct {
        const char* what;
        const char* version;
        bool halfCloses;  // else it closes its socket
    } leaves[] = {
        {"its client closes its socket", "HTTP/1.1", false},
        {"its client closes its side only", "HTTP/1.1", true},
        // No interim reply tells whether such a client still reads: nothing comes back from it.
        {"an HTTP/1.0 client closes its socket", "HTTP/1.0", false},
    };
    int dropped = 0;
    long long day = 1700000000;
    for (const auto& l : leaves) {
        SCOPED_TRACE(l.what);
        day += 86400;  // a check-in of its own each time
        service.configure(R"({"fixed_time": ")" + std::to_string(day) + "\"}");
        const std::string body = encipheredBody(signedWith({{"id", kServiceTestUserId}}, calls.desTime()));
        std::vector<std::unique_ptr<Peer>> table;
        for (int i = 0; i < 2; ++i) {
            table.push_back(std::make_unique<Peer>(port));
            table.back()->send(getRequest(kJsonPath + "get_ios_config"));
            ASSERT_TRUE(table.back()->answerStarted()) << i;
        }
        Peer client(port, false);
        client.send("POST " + kDesPath + "sign " + l.version + "\r\nHost: 127.0.0.1\r\nCookie: " + cookie +
                    "\r\nContent-Type: " + kFormType + "\r\nContent-Length: " + std::to_string(body.size()) +
                    "\r\n\r\n" + body);
        if (l.halfCloses) {
            client.halfClose();
        } else {
            client.hangUp();
        }
        EXPECT_EQ(logLines(service, "peer went away: its request dropped before it was made", ++dropped), dropped);
        // Nothing was written: the day's check-in is still to come.
        EXPECT_EQ(calls.signedDes("sign", {{"id", kServiceTestUserId}}, nullptr, cookie)["code"], 101);
    }
}

TEST(ServiceWorkers, AWriteWaitingForAWorkerIsDroppedWhenItsPeerCloses) {
    // Every worker of the calls waits, in the control interface, for a picture held; a check-in
    // is read behind them, then its client closes its side (a peer that only half-closed would
    // still read an interim reply, so nothing else tells it apart from one gone). When the
    // workers come free the check-in is not made: it left the queue with its peer.
    const std::string page = "/wap/help-3.php";  // round trips while the calls' workers are kept
    ServiceProcess service({.captureLog = true});
    const int port = service.port();
    ServiceCalls calls(service);
    const std::string cookie = calls.login(kServiceTestUserName, kServiceTestUserPassword);
    service.configure(R"({"fixed_time": "1700000000", "hold_pictures": true})");
    const std::string body = encipheredBody(signedWith({{"id", kServiceTestUserId}}, calls.desTime()));
    std::vector<std::unique_ptr<Peer>> waits;
    for (int i = 0; i < kCallWorkers; ++i) {
        waits.push_back(std::make_unique<Peer>(port, false));
        waits.back()->send(getRequest("/__test/pictures/held?at_least=1"));
    }
    ASSERT_TRUE(readEverything(service, page));  // they were queued first
    Peer client(port, false);
    client.send("POST " + kDesPath + "sign HTTP/1.1\r\nHost: 127.0.0.1\r\nCookie: " + cookie + "\r\nContent-Type: " +
                kFormType + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
    ASSERT_TRUE(readEverything(service, page));  // whole and queued before its peer closes
    client.halfClose();
    EXPECT_EQ(logLines(service, "peer went away: its request dropped before it was made", 1, page), 1);
    // A picture held ends the waits.
    Peer picture(port, false);
    picture.send(getRequest("/images/release_40x40.png"));
    for (auto& wait : waits) EXPECT_EQ(wait->readToEnd().rfind("HTTP/1.1 200", 0), 0u);
    service.configure(R"({"hold_pictures": false})");
    // Nothing was written: the day's check-in is still to come.
    EXPECT_EQ(calls.signedDes("sign", {{"id", kServiceTestUserId}}, nullptr, cookie)["code"], 101);
}

}  // namespace
}  // namespace zvt::test::svc
