// The daily check-in from the outside: one credit a day on the service's clock, counted and
// stamped in the machine's zone, balances that keep their decimals, the advert of a successful
// check-in and the activity page it links to, and the control call that sets a user's record.
#include "tests/service/ServiceTestSupport.h"

namespace zvt::test::svc {
namespace {

// 2027-02-10 10:00:00 in Shanghai (02:00 UTC).
constexpr int64_t kFebTenthMorning = 1802224800;

class ServiceCheckinTest : public ServiceTest {
protected:
    ServiceCheckinTest() : ServiceTest(inZone("Asia/Shanghai")) {}
    void SetUp() override { cookie = login(kServiceTestUserName, kServiceTestUserPassword); }

    void setClock(int64_t seconds) {
        service.configure(json{{"fixed_time", std::to_string(seconds)}}.dump());
    }
    json sign() { return signedDes("sign", {{"id", kServiceTestUserId}}, nullptr, cookie); }
    json user() {
        return json::parse(service.setUserFields(json{{"id", kServiceTestUserId}}.dump()));
    }

    std::string cookie;
};

TEST_F(ServiceCheckinTest, OneCreditPerDayOfTheMachinesZoneOnTheServicesClock) {
    struct Step {
        int64_t clock;
        int code;
        const char* why;
    };
    // The service runs in Shanghai here: 23:59:59 UTC on the 10th is already the 11th there;
    // 15:59:59 UTC is still the 11th.
    const std::vector<Step> steps = {
        {kFebTenthMorning, 101, "first check-in of the day"},
        {kFebTenthMorning + 3600, 251, "same day an hour later"},
        {kFebTenthMorning + 13 * 3600 + 59 * 60 + 59, 251, "23:59:59 in Shanghai"},
        {kFebTenthMorning + 14 * 3600, 101, "midnight in Shanghai (16:00 UTC) is the next day"},
        {kFebTenthMorning + 14 * 3600 + 23 * 3600, 251, "still the 11th in Shanghai"},
        {kFebTenthMorning + 14 * 3600 + 365 * 86400, 101, "the same date a year later"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.why);
        setClock(step.clock);
        json reply = sign();
        ASSERT_EQ(reply["code"], step.code) << reply.dump();
        if (step.code == 251) {
            EXPECT_EQ(reply["msg"], "您已签到了");
            continue;
        }
        EXPECT_EQ(user()["signtime"], std::to_string(step.clock)) << "the service's clock, not the system's";
    }
    EXPECT_EQ(user()["jifen"], "5030");
    EXPECT_EQ(user()["jifenbao"], "1203");
}

// On a machine far from China, in Honolulu (UTC-10 all year), the check-in follows the local
// day, where China's day differs: two check-ins on one local day are one (China had turned
// over between them), and the next local morning takes one (still China's day of the last).
TEST(ServiceCheckinZone, ACheckInIsStampedAndCountedOnTheMachinesDay) {
    ServiceProcess service(inZone("Pacific/Honolulu"));
    ServiceCalls calls(service);
    const std::string cookie = calls.login(kServiceTestUserName, kServiceTestUserPassword);
    // 2027-02-10 05:00 in Honolulu: 15:00 UTC, 23:00 in China.
    constexpr int64_t kFebTenthDawn = 1802271600;
    struct Step {
        int64_t clock;
        int code;
        const char* stamp;  // of the income record a check-in files
        const char* why;
    };
    const std::vector<Step> steps = {
        {kFebTenthDawn, 101, "2027-02-10 05:00:00", "the first check-in, stamped in the machine's zone"},
        {kFebTenthDawn + 2 * 3600, 251, nullptr, "07:00 the same day (01:00 on the 11th in China)"},
        {kFebTenthDawn + 18 * 3600 + 59 * 60 + 59, 251, nullptr, "23:59:59 the same day"},
        {kFebTenthDawn + 24 * 3600, 101, "2027-02-11 05:00:00", "the next morning (still the 11th in China)"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.why);
        service.configure(json{{"fixed_time", std::to_string(step.clock)}}.dump());
        json reply = calls.signedDes("sign", {{"id", kServiceTestUserId}}, nullptr, cookie);
        ASSERT_EQ(reply["code"], step.code) << reply.dump();
        if (!step.stamp) continue;
        std::string raw;
        calls.signedDes("getUserDetailed", {{"id", kServiceTestUserId}, {"do", "in"}, {"number", "1"}}, &raw, cookie);
        const json rows = json::parse(decipher(raw), nullptr, false);
        ASSERT_TRUE(rows.is_array() && !rows.empty());
        EXPECT_EQ(rows[0]["title"], "签到奖励");
        EXPECT_EQ(rows[0]["addtime"], step.stamp);
    }
}

TEST_F(ServiceCheckinTest, BalancesKeepTheirDecimalsAndTheReplyCarriesAnAdvert) {
    struct Case {
        json jifen, jifenbao;
        const char *newJifen, *newJifenbao;
    };
    const std::vector<Case> cases = {
        {"5000", "12.50", "5010", "13.50"},
        {"7.25", "0.05", "17.25", "1.05"},
        {"", nullptr, "10", "1"},
        {"abc", "1.2.3", "10", "1.00"},
    };
    int64_t clock = kFebTenthMorning;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.jifenbao.dump());
        service.setUserFields(
            json{{"id", kServiceTestUserId}, {"jifen", c.jifen}, {"jifenbao", c.jifenbao}}.dump());
        setClock(clock += 86400);
        json reply = sign();
        ASSERT_EQ(reply["code"], 101) << reply.dump();
        EXPECT_EQ(reply["data"],
                  (json{{"jifen", c.newJifen}, {"jifenbao", c.newJifenbao}, {"addJifen", "10"},
                        {"addJifenbao", "1"}}));
        EXPECT_EQ(user()["jifenbao"], c.newJifenbao);
        const json& ad = reply["popUpAds"];
        EXPECT_EQ(ad["local"], "0");
        EXPECT_FALSE(ad.value("name", "").empty());
        const std::string root = service.rootURL();
        ASSERT_TRUE(ad["pic"].is_string());
        EXPECT_EQ(ad["pic"].get<std::string>().rfind(root + "/images/", 0), 0u) << ad.dump();
        EXPECT_EQ(service.request("GET", ad["pic"].get<std::string>().substr(root.size())).status, 200);
        EXPECT_EQ(service.request("GET", ad["link"].get<std::string>().substr(root.size())).status, 200);
    }
}

TEST_F(ServiceCheckinTest, ControlCallSetsFieldsOfAStoredUser) {
    json stored = json::parse(service.setUserFields(
        R"({"id": 10001, "phoneNumber": null, "jifenbao": "12.50", "txstatus": "1"})"));
    EXPECT_EQ(stored["id"], kServiceTestUserId) << "the id stays text";
    EXPECT_TRUE(stored["phoneNumber"].is_null());
    EXPECT_EQ(stored["jifenbao"], "12.50");
    // The client reads the same record back.
    std::string raw;
    ASSERT_EQ(signedDes("userInfo&do=my", {{"id", kServiceTestUserId}}, &raw, cookie)["code"], 101);
    json record = json::parse(decipher(raw));
    EXPECT_TRUE(record["phoneNumber"].is_null());
    EXPECT_EQ(record["txstatus"], "1");

    EXPECT_THROW(service.setUserFields(R"({"id": "99999", "jifen": "1"})"), std::runtime_error);
    EXPECT_THROW(service.setUserFields(R"({"jifen": "1"})"), std::runtime_error);
    EXPECT_THROW(service.setUserFields(R"(["id"])"), std::runtime_error);
}

TEST_F(ServiceCheckinTest, ConfigurationOffersThePromotionAndRoutesTheHomeItemToTheCalendar) {
    auto r = service.request("GET", "/api/client.php?m=get_ios_config");
    json config = json::parse(r.body);
    // A list; the home screen takes its first entry.
    ASSERT_TRUE(config["signPage"].is_array() && !config["signPage"].empty()) << config["signPage"].dump();
    const json& page = config["signPage"][0];
    ASSERT_TRUE(page.is_object()) << page.dump();
    EXPECT_FALSE(page.value("name", "").empty());
    EXPECT_EQ(page["local"], "0");
    EXPECT_TRUE(page["link"].is_string());
    bool found = false;
    for (const json& item : config["nav"]) {
        if (item["name"] != "签到") continue;
        found = true;
        EXPECT_EQ(item["local"], "1");
        EXPECT_EQ(item["link"], "2") << "the in-app code of the check-in calendar";
    }
    EXPECT_TRUE(found);
}

// The visitor is told what a login brings here: the check-in's credits, no rebate.
TEST_F(ServiceCheckinTest, TheActivityPageOffersTheLoginOnlyToAVisitorWithoutASession) {
    for (const std::string& session : {cookie, std::string()}) {
        auto page = service.request("GET", "/wap/activity.php?id=9", "", "",
                                    {{"Cookie", session.empty() ? "ZVTSESSID=none" : session}});
        EXPECT_NE(page.body.find(session.empty() ? "<p id=who>登录后每天签到领Velmo和集分宝<" : "data-user=\"10001\">欢迎回来，zvttest<"),
                  std::string::npos);
        EXPECT_EQ(page.body.find("回扣"), std::string::npos) << page.body;
        EXPECT_EQ(page.body.find("登录领取") != std::string::npos, session.empty()) << page.body;
    }
}

}  // namespace
}  // namespace zvt::test::svc
