// Who may do what: a user's data only with that user's session, a login key for one account,
// addresses that do not follow the request's Host, escaped pages, the control interface, code
// guesses and settings.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <latch>
#include <map>
#include <sstream>
#include <thread>

#include "tests/service/ServiceTestSupport.h"

namespace zvt::test::svc {
namespace {

struct OwnOperation {
    bool enciphered;
    const char* op;
    const char* idKey;
    json attempt;  // what another user's session tries with the demo user's id
};

std::vector<OwnOperation> operationsOnOwnData() {
    const json noSms = {{"phoneNumber", "13911112222"}, {"verifyCode", "000000"}};
    return {
        {false, "binding_phoneNumber", "uid", noSms},
        {false, "update_userinfo", "id", {{"qq", "666"}, {"email", "evil@example.com"}}},
        {false,
         "update_alipay",
         "id",
         {{"alipay", "evil@alipay"}, {"realname", "x"}, {"password", kServiceTestUserPassword}}},
        {false, "get_coupon", "uid", json::object()},
        {false, "use_coupon", "uid", {{"couponId", "1"}, {"tradeId", "1"}}},
        {false, "up_push_id", "uid", {{"pushId", "evil-device"}}},
        {false, "user_invite", "uid", json::object()},
        {false, "invite_info", "uid", json::object()},
        {false, "old_invite_info", "uid", json::object()},
        {true, "userInfo&do=my", "id", json::object()},
        {true,
         "userInfo&do=pwd",
         "id",
         {{"old_pwd", kServiceTestUserPassword}, {"ddpwd", "evil999"}, {"pwd_confirm", "evil999"}}},
        {true,
         "userInfo&do=update",
         "id",
         {{"alipay", "evil@alipay"},
          {"realname", "x"},
          {"phoneNumber", "13911112222"},
          {"email", "evil@example.com"}}},
        {true, "exchange", "id", {{"goodId", "700"}, {"mode", "2"}, {"num", "1"}}},
        {true, "outCash", "id", {{"ddpassword", kServiceTestUserPassword}, {"type", "2"}}},
        {true, "order", "id", {{"do", "taobao"}}},
        {true, "getUserDetailed", "id", {{"do", "out"}}},
        {true, "msg", "id", json::object()},
        {true, "avatar", "id", json::object()},
        {true, "sign", "id", json::object()},
        {true, "shareAwardInfo", "id", json::object()},
        {true, "feedback", "id", {{"content", "in someone else's name"}}},
    };
}

TEST_F(ServiceTest, ASessionReachesOnlyItsOwnUsersData) {
    const std::string owner = login(kServiceTestUserName, kServiceTestUserPassword);
    const std::string other = login(kServiceOtherUserName, kServiceOtherUserPassword);
    auto call = [&](const OwnOperation& o, json fields, const std::string& cookie) {
        fields[o.idKey] = kServiceTestUserId;
        return o.enciphered ? signedDes(o.op, fields, nullptr, cookie)
                            : signedJson(o.op, fields, cookie);
    };
    auto record = [&] { return call({true, "userInfo&do=my", "id", {}}, {}, owner)["data"]; };
    const json before = record();
    ASSERT_TRUE(before.is_string());

    for (const auto& o : operationsOnOwnData()) {
        SCOPED_TRACE(o.op);
        // Another user's session neither reads nor changes anything: a bare refusal.
        json refused = call(o, o.attempt, other);
        EXPECT_EQ(refused["code"], 201) << refused.dump();
        EXPECT_EQ(refused.size(), 2u) << refused.dump();
        // Without a session only feedback is taken, and then filed under no one.
        json anonymous = call(o, o.attempt, "");
        EXPECT_EQ(anonymous["code"], std::string(o.op) == "feedback" ? 101 : 201);
    }
    EXPECT_EQ(record(), before);
    EXPECT_FALSE(login(kServiceTestUserName, kServiceTestUserPassword).empty());  // same password

    // The user's own session is let through (the operation may still refuse its fields).
    for (const auto& o : operationsOnOwnData()) {
        EXPECT_NE(call(o, json::object(), owner)["code"], 201) << o.op;
    }
    // Even so the profile update changes neither the Alipay account (which takes the password)
    // nor the phone number (which takes an SMS code).
    const OwnOperation update{true, "userInfo&do=update", "id", {}};
    ASSERT_EQ(call(update, {{"qq", "5150"}, {"alipay", "new@alipay"}, {"phoneNumber", "13911112222"}},
                   owner)["code"],
              101);
    json after = json::parse(decipher(record()));
    EXPECT_EQ(after["qq"], "5150");
    EXPECT_EQ(after["alipay"], json::parse(decipher(before))["alipay"]);
    EXPECT_EQ(after["phoneNumber"], kServiceTestUserPhone);
}

TEST(ServicePublicAddress, MailLinksAndCookieDomainIgnoreTheHostHeader) {
    struct Case {
        std::vector<std::string> args;
        std::string root;  // "" for the bound address
        std::string domain;
    };
    for (const auto& c : std::vector<Case>{{{}, "", "127.0.0.1"},
                                           {{"--public-url", "http://shop.example:8080/"},
                                            "http://shop.example:8080",
                                            "shop.example"}}) {
        ServiceProcess service(ServiceProcess::Options{.extraArgs = c.args});
        ServiceCalls calls(service);
        const std::string root = c.root.empty() ? service.rootURL() : c.root;
        const std::vector<std::pair<std::string, std::string>> evil = {{"Host", "evil.example"}};
        ASSERT_EQ(calls.signedDes("get_pwd", {{"email", kServiceTestUserEmail}}, nullptr, "",
                                  evil)["code"],
                  101);
        json mail = json::parse(service.mailOutbox()).back();
        EXPECT_NE(mail["text"].get<std::string>().find(root + "/wap/reset.php?code="),
                  std::string::npos)
            << mail.dump();
        EXPECT_EQ(mail["text"].get<std::string>().find("evil"), std::string::npos);

        json login = calls.signedDes(
            "login", {{"userName", kServiceTestUserName}, {"password", kServiceTestUserPassword}},
            nullptr, "", evil);
        EXPECT_EQ(login["setCookie"]["domain"], c.domain);
    }
}

TEST_F(ServiceTest, QueryTextIsEscapedInPages) {
    const std::string markup = "%3Cscript%3Ealert(%22x%22)%3C%2Fscript%3E%26%27";
    // The mall redirect passes the text on escaped for a query; the mall page shows it.
    auto mall = service.request("GET", kJsonPath + "go_mall&id=1&uid=" + markup);
    EXPECT_EQ(mall.status, 302);
    const std::string location = mall.header("Location");
    EXPECT_EQ(location.rfind(service.rootURL() + "/shop/mall.php?id=1&uid=", 0), 0u) << location;
    EXPECT_EQ(location.find_first_of("<>\"' "), std::string::npos) << location;
    for (const std::string& target :
         {location.substr(service.rootURL().size()), "/item.php?iid=" + markup + "&id=1"}) {
        auto page = service.request("GET", target);
        EXPECT_EQ(page.status, 200) << target;
        EXPECT_EQ(page.body.find("<script"), std::string::npos) << page.body;
        EXPECT_NE(page.body.find("&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt;&amp;&#39;"),
                  std::string::npos)
            << page.body;
    }
}

// A local address of this machine other than the loopback, or "" when there is none.
std::string nonLoopbackAddress() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return {};
    std::string found;
    for (ifaddrs* a = list; a && found.empty(); a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET) continue;
        auto& in = reinterpret_cast<sockaddr_in&>(*a->ifa_addr);
        if ((ntohl(in.sin_addr.s_addr) >> 24) == 127) continue;
        char text[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, &in.sin_addr, text, sizeof text);
        found = text;
    }
    freeifaddrs(list);
    return found;
}

// A request to 127.0.0.1 sent from another local address; the status of the reply, 0 for none.
int statusFrom(const std::string& source, int port, const std::string& target) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in from{}, to{};
    from.sin_family = to.sin_family = AF_INET;
    inet_pton(AF_INET, source.c_str(), &from.sin_addr);
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval tv{10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    std::string request = "GET " + target + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
    char reply[64] = "";
    if (bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
        connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0 ||
        send(fd, request.data(), request.size(), MSG_NOSIGNAL) < 0 ||
        recv(fd, reply, sizeof reply - 1, MSG_WAITALL) < 12) {
        close(fd);
        return 0;
    }
    close(fd);
    return std::atoi(reply + 9);
}

TEST(ServiceControlInterface, OnlyWithTheTestFlagAndOnlyToLoopbackClients) {
    {
        ServiceProcess service(ServiceProcess::Options{.testControl = false});
        for (auto [method, target] : {std::pair{"GET", "/__test/log"},
                                      {"POST", "/__test/reset"},
                                      {"POST", "/__test/config"},
                                      {"GET", "/__test/sms"}}) {
            EXPECT_EQ(service.request(method, target).status, 404) << target;
        }
        EXPECT_EQ(service.request("GET", kJsonPath + "get_ios_config").status, 200);
    }
    ServiceProcess service;
    std::string source = nonLoopbackAddress();
    if (source.empty()) GTEST_SKIP() << "no local address other than the loopback";
    EXPECT_EQ(statusFrom(source, service.port(), "/__test/sms"), 403);
    EXPECT_EQ(statusFrom(source, service.port(), kJsonPath + "get_ios_config"), 200);
    EXPECT_EQ(statusFrom("127.0.0.1", service.port(), "/__test/sms"), 200);
}

TEST_F(ServiceTest, AnSmsCodeTakesFiveWrongGuessesThenANewCodeIsNeeded) {
    const std::string phone = "13912345678";
    auto registerWith = [&](const std::string& code) {
        return signedJson("register",
                          {{"phoneNumber", phone}, {"verifyCode", code}, {"password", "secret1"}});
    };
    ASSERT_EQ(signedJson("get_register_code", {{"phoneNumber", phone}})["code"], 101);
    const std::string code = service.latestSmsCode(phone, "register");
    const std::string wrong = code == "000000" ? "111111" : "000000";
    for (int guess = 1; guess <= 5; ++guess) {
        json reply = registerWith(wrong);
        EXPECT_EQ(reply["code"], 304) << "registration tells a wrong code apart";
        EXPECT_EQ(reply["msg"], guess < 5 ? "验证码错误" : "验证码错误次数过多，请重新获取")
            << guess;
    }
    EXPECT_EQ(registerWith(code)["code"], 304);  // spent
    ASSERT_EQ(signedJson("get_register_code", {{"phoneNumber", phone}})["code"], 101);
    EXPECT_EQ(registerWith(service.latestSmsCode(phone, "register"))["code"], 101);
}

// Password accounts setting login keys (phone numbers and e-mails), each with its session.
class LoginKeyTest : public ServiceTest {
protected:
    struct Account {
        const char *id, *name, *password;
    };
    void SetUp() override {
        for (const Account* a : {&lisi, &wangwu, &zvttest}) cookies[a->id] = login(a->name, a->password);
    }
    std::string code(const std::string& phone) {
        signedJson("get_binding_phoneNumber_code", {{"phoneNumber", phone}});
        return service.latestSmsCode(phone, "binding");
    }
    // Sets `key` by `how`: "phone" (with `code`), "email" (update_userinfo) or "profile" (its e-mail).
    json take(const Account& a, const std::string& how, const std::string& key, const std::string& code = "") {
        if (how == "phone")
            return signedJson("binding_phoneNumber", {{"uid", a.id}, {"phoneNumber", key}, {"verifyCode", code}}, cookies[a.id]);
        if (how == "email") return signedJson("update_userinfo", {{"id", a.id}, {"email", key}}, cookies[a.id]);
        return signedDes("userInfo&do=update", {{"id", a.id}, {"email", key}}, nullptr, cookies[a.id]);
    }
    // The id the password login by `key` finds, "" when it fails.
    std::string loginId(const std::string& key, const char* password) {
        json reply = signedDes("login", {{"userName", key}, {"password", password}});
        return reply["code"] == 101 ? json::parse(decipher(reply["data"])).value("id", "") : "";
    }
    const Account lisi{"10003", kServiceOtherUserName, kServiceOtherUserPassword},
        wangwu{kServiceNewUserId, kServiceNewUserName, kServiceNewUserPassword},
        zvttest{kServiceTestUserId, kServiceTestUserName, kServiceTestUserPassword};
    std::map<std::string, std::string> cookies;
};

TEST_F(LoginKeyTest, AKeyAnotherAccountHoldsInAnyOfItsKeysIsRefused) {
    // Both ask for a code for one free number before either binds (the newest is taken first).
    const std::string older = code("13911110001"), newer = code("13911110001");
    ASSERT_EQ(signedDes("register", {{"userName", "13911110002"}, {"password", "secret1"}})["code"], 101);
    const std::string phone = "该手机号已被绑定", email = "该邮箱已被绑定";
    struct Case {
        const Account& account;
        const char* how;
        std::string key, code, refusal;  // "" for none
    } cases[] = {
        {wangwu, "phone", "13911110001", newer, ""},
        {lisi, "phone", "13911110001", older, phone},                     // bound by another
        {lisi, "phone", "13911110002", code("13911110002"), phone},       // another's user name
        {wangwu, "email", "shared@example.com", "", ""},
        {lisi, "email", "shared@example.com", "", email},
        {lisi, "profile", kServiceTestUserEmail, "", email},
        {lisi, "profile", kServiceTestUserName, "", email},
        {zvttest, "email", kServiceTestUserEmail, "", ""},                 // its own
        {lisi, "email", "", "", ""},                                       // empty e-mails are none
    };
    for (const Case& c : cases) {
        json reply = take(c.account, c.how, c.key, c.code);
        EXPECT_EQ(reply["code"] == 101 ? "" : reply.value("msg", "?"), c.refusal) << c.how << " " << c.key;
    }
    EXPECT_EQ(loginId("13911110001", kServiceNewUserPassword), kServiceNewUserId);
}

TEST_F(LoginKeyTest, ACodeIsSentOnlyForANumberItsLaterStepWouldTake) {
    // An account whose user name is a phone number, with its session.
    json named = signedDes("register", {{"userName", "13911110003"}, {"password", "secret1"}});
    ASSERT_EQ(named["code"], 101) << named.dump();
    const std::string own = "ZVTSESSID=" + named["setCookie"]["value"].get<std::string>();
    const std::string registered = "该手机号已注册", bound = "该手机号已被绑定";
    struct Case {
        const char* op;
        std::string phone, cookie, refusal;  // "" for a code sent
    } cases[] = {
        {"get_register_code", "13911110005", "", ""},
        {"get_register_code", kServiceTestUserPhone, "", registered},  // another's phone
        {"get_register_code", "13911110003", "", registered},          // another's user name
        {"get_binding_phoneNumber_code", "13911110006", cookies[lisi.id], ""},
        {"get_binding_phoneNumber_code", kServiceTestUserPhone, cookies[lisi.id], bound},
        {"get_binding_phoneNumber_code", "13911110003", cookies[lisi.id], bound},
        {"get_binding_phoneNumber_code", "13911110003", "", bound},
        {"get_binding_phoneNumber_code", "13911110003", own, ""},  // its own user name
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.op) + " " + c.phone);
        service.clearLog();
        json reply = signedJson(c.op, {{"phoneNumber", c.phone}}, c.cookie);
        EXPECT_EQ(reply["code"] == 101 ? "" : reply.value("msg", "?"), c.refusal);
        const std::string purpose = std::string(c.op) == "get_register_code" ? "register" : "binding";
        EXPECT_EQ(service.latestSmsCode(c.phone, purpose).empty(), !c.refusal.empty());
    }
}

TEST_F(LoginKeyTest, OfTwoAccountsTakingOneKeyAtOnceExactlyOneGetsIt) {
    for (int round = 0; round < 5; ++round) {
        // A number both ask codes for; each tries both codes, as the number's owner could.
        const std::string number = "1391112000" + std::to_string(round), email = number + "@example.com";
        const std::string older = code(number), newer = code(number);
        for (const std::string how : {"phone", "email"}) {
            const std::string& key = how == "phone" ? number : email;
            std::latch ready(2);
            bool won[2] = {false, false};
            auto run = [&](int i, const Account* a) {
                ready.arrive_and_wait();
                json reply;
                for (const std::string& c : {newer, older})
                    if ((reply = take(*a, how, key, c))["msg"] != "验证码错误") break;
                won[i] = reply["code"] == 101;
            };
            std::thread one(run, 0, &lisi);
            run(1, &wangwu);
            one.join();
            ASSERT_NE(won[0], won[1]) << how << " round " << round;
            const Account &holder = won[0] ? lisi : wangwu, &other = won[0] ? wangwu : lisi;
            EXPECT_EQ(loginId(key, holder.password), holder.id);
            EXPECT_EQ(loginId(other.name, other.password), other.id) << "the other still logs in";
        }
    }
}

TEST_F(LoginKeyTest, ADataDirectoryHoldingADuplicateKeyStillOpensAndServes) {
    // As an earlier version may have left it: lisi holds the demo user's e-mail too.
    service.setUserFields(json{{"id", "10003"}, {"email", kServiceTestUserEmail}}.dump());
    service.stop();
    service.start();
    cookies[lisi.id] = login(lisi.name, lisi.password);
    EXPECT_EQ(loginId(kServiceTestUserEmail, kServiceTestUserPassword), kServiceTestUserId);
    EXPECT_EQ(take(lisi, "email", kServiceTestUserEmail)["code"], 101) << "a key it holds";
}

TEST_F(ServiceTest, RunTimeSettingsOfTheWrongShapeAreRefused) {
    for (const char* refused :
         {R"({"fixed_time": "abc"})", R"({"fixed_time": "17e8"})", R"({"fixed_time": ""})",
          R"({"fixed_time": -5})", R"({"fixed_time": {"t": 1}})", R"({"fixed_time": 1.5})",
          R"({"sign_fail_code": "x"})", R"({"time_window_ms": -1})", R"({"forget_times": 1})",
          R"([1])"}) {
        EXPECT_THROW(service.configure(refused), std::runtime_error) << refused;
    }
    EXPECT_TRUE(json::parse(service.configure("{}"))["fixed_time"].is_null());
    for (auto [given, handed] : {std::pair{R"({"fixed_time": "1700000000"})", "1700000000"},
                                 {R"({"fixed_time": 1700000001})", "1700000001"}}) {
        service.configure(given);
        EXPECT_EQ(jsonTime(), handed);
    }
}

TEST(ServiceRequestLog, OneLinePerRequestAtInfoLevel) {
    ServiceProcess service(ServiceProcess::Options{.captureLog = true});
    service.request("GET", kJsonPath + "get_ios_config");
    service.request("GET", "/wap/help-1.php?x=%0Aforged");
    service.request("POST", kJsonPath + "get_goods", "{}", "application/json");
    service.stop();
    std::vector<std::string> lines;
    std::istringstream log(service.serviceLog());
    for (std::string line; std::getline(log, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 3u) << service.serviceLog();
    for (auto [line, expected] : {std::pair{lines[0], R"(INFO 127.0.0.1:)"},
                                  {lines[0], R"("GET /api/client.php?m=get_ios_config" 200)"},
                                  {lines[1], R"("GET /wap/help-1.php?x=%0Aforged" 200)"},
                                  {lines[2], R"("POST /api/client.php?m=get_goods" 200)"},
                                  {lines[2], "op=get_goods code=111"}}) {
        EXPECT_NE(line.find(expected), std::string::npos) << line;
    }
}

}  // namespace
}  // namespace zvt::test::svc
