// Which workers a request waits for: calls (both interfaces of the protocol, the searches and
// the version lookup the application makes, the control interface) have workers of their own,
// so that they are answered while every picture worker is busy; pictures and pages keep eight.
// The service's picture hold (`hold_pictures`) keeps picture workers busy for as long as a
// test needs, without timing.
#include <sys/wait.h>

#include "tests/service/ServiceTestSupport.h"

namespace zvt::test::svc {
namespace {

constexpr int kPictureWorkers = 8;  // as the service's README states

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

}  // namespace
}  // namespace zvt::test::svc
