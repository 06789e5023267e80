// The service's pages say what its data does: the activity pages and their rules pages, each
// of its own activity, name only figures the operations keep (the check-in's credits, the
// invitation rewards, the Double Eleven days and their doubling), the Double Eleven page offers
// itself only within its days by the service's clock, and the coupon pictures' words fit the
// awards use_coupon gives.
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "tests/service/ServiceTestSupport.h"

namespace zvt::test::svc {
namespace {

// The activities the application links to (the home configuration, the check-in's advert, the
// earn-money grid), with an id of none of them: an ended one.
const std::vector<std::string> kActivities = {"1", "2", "3", "4", "8", "9", "21", "22", "999"};

class ServicePagesTest : public ServiceTest {
protected:
    ServicePagesTest() : ServiceTest(inZone("Asia/Shanghai")) {}

    std::string page(const std::string& target, const std::string& session = "") const {
        return service.request("GET", target, "", "", {{"Cookie", session.empty() ? "ZVTSESSID=none" : session}}).body;
    }
    std::string activityPage(const std::string& id, const std::string& session = "") const {
        return page("/wap/activity.php?id=" + id, session);
    }
    std::string rulesOf(const std::string& id) const {
        const std::string html = page("/shop/detail.html?activity=" + id);
        std::smatch m;
        return std::regex_search(html, m, std::regex("<section[^>]*>([\\s\\S]*?)</section>")) ? visibleText("<body>" + m[1].str()) : "";
    }
    void setClock(int64_t unixSeconds) const { service.configure(json{{"fixed_time", std::to_string(unixSeconds)}}.dump()); }
    void freeClock() const { service.configure(R"({"fixed_time": null})"); }
};

struct Row {
    const char* rule;
    std::function<void()> check;
};

// Seen at each moment, logged out and in, the Double Eleven page offers joining exactly within
// 1 to 11 November of the machine's zone, and else says it is over and when it comes back; the
// days its rules name are the days it is open.
TEST_F(ServicePagesTest, TheDoubleElevenPageOffersItselfOnlyWithinItsDays) {
    const std::string cookie = login(kServiceTestUserName, kServiceTestUserPassword);
    struct Moment {
        const char* when;  // in Asia/Shanghai
        int64_t seconds;
        bool open;
        const char* back;  // when a closed page says it comes back
    };
    const Moment moments[] = {
        {"2026-10-31 23:59:59", 1793462399, false, "2026年11月1日"}, {"2026-11-01 00:00:00", 1793462400, true, ""},
        {"2026-11-11 23:59:59", 1794412799, true, ""},               {"2026-11-12 00:00:00", 1794412800, false, "2027年11月1日"},
        {"2027-03-01 12:00:00", 1803873600, false, "2027年11月1日"},
    };
    std::set<std::string> openDays;
    for (const Moment& moment : moments) {
        setClock(moment.seconds);
        for (const std::string& session : {std::string(), cookie}) {
            SCOPED_TRACE(std::string(moment.when) + (session.empty() ? " logged out" : " logged in"));
            const std::string html = activityPage("1", session), text = visibleText(html);
            EXPECT_EQ(html.find("登录领取") != std::string::npos, moment.open && session.empty()) << text;
            EXPECT_EQ(html.find("id=login") != std::string::npos, moment.open && session.empty()) << "the login it offers";
            EXPECT_EQ(text.find("您已参加活动") != std::string::npos, moment.open && !session.empty()) << text;
            EXPECT_EQ(text.find("已结束") != std::string::npos, !moment.open) << text;
            if (!moment.open) {
                EXPECT_NE(text.find(std::string("下一届将于") + moment.back + "开始"), std::string::npos) << text;
            }
            EXPECT_EQ(html.find("activity=1\""), html.rfind("activity=1\"")) << "its rules, always";
            EXPECT_NE(html.find("/shop/detail.html?activity=1"), std::string::npos);
        }
        if (moment.open) openDays.insert(std::string(moment.when).substr(5, 5));
    }
    freeClock();
    // The rules name the first and the last day, and the doubling.
    const std::string rules = rulesOf("1");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(rules, m, std::regex("每年([0-9]+)月([0-9]+)日至([0-9]+)月([0-9]+)日"))) << rules;
    auto day = [](const std::string& month, const std::string& d) {
        return (month.size() < 2 ? "0" : "") + month + "-" + (d.size() < 2 ? "0" : "") + d;
    };
    EXPECT_EQ(openDays, (std::set<std::string>{day(m[1], m[2]), day(m[3], m[4])})) << rules;
    EXPECT_NE(rules.find("两倍"), std::string::npos) << rules;
    EXPECT_NE(rules.find("淘宝订单"), std::string::npos) << "the orders that earn it: " << rules;
}

TEST_F(ServicePagesTest, EachActivityTellsItsOwnRulesAndNamesOnlyFiguresTheDataKeeps) {
    const std::string cookie = login(kServiceTestUserName, kServiceTestUserPassword);
    // What the data keeps: a check-in's credits (the same two days running), the demo user's
    // invitation rewards.
    const std::string lisi = login(kServiceOtherUserName, kServiceOtherUserPassword);
    std::set<std::pair<std::string, std::string>> credits;
    for (int64_t day : {1802224800, 1802224800 + 86400}) {
        setClock(day);
        const json reply = signedDes("sign", {{"id", "10003"}}, nullptr, lisi);
        ASSERT_EQ(reply["code"], 101) << reply.dump();
        credits.insert({reply["data"]["addJifen"].get<std::string>(), reply["data"]["addJifenbao"].get<std::string>()});
    }
    freeClock();
    ASSERT_EQ(credits.size(), 1u);
    std::set<int64_t> registrationRewards, purchaseRewards;
    for (int number = 1; number <= 20; ++number) {
        const json reply = signedJson("invite_info", {{"uid", kServiceTestUserId}, {"number", std::to_string(number)}, {"ps", "10"}}, cookie);
        ASSERT_TRUE(reply["data"].is_array()) << reply.dump();
        for (const json& reward : reply["data"]) {
            const double yuan = std::stod(reward.value("num", "0"));
            (reward.value("type", "") == "注册奖励" ? registrationRewards : purchaseRewards).insert(std::llround(yuan * 100));
        }
        if (reply.value("end", 0) == 1 || reply["data"].empty()) break;
    }
    ASSERT_EQ(registrationRewards.size(), 1u) << "one registration reward";
    ASSERT_FALSE(purchaseRewards.empty());

    // Every text of each activity: its page logged out and in, within the Double Eleven days
    // and outside them, and its rules.
    std::map<std::string, std::vector<std::string>> said;
    for (const std::string& id : kActivities) {
        for (int64_t moment : {1793966400 /* 2026-11-06 */, 1796126400 /* 2026-12-01 */}) {
            setClock(moment);
            for (const std::string& session : {std::string(), cookie}) said[id].push_back(visibleText(activityPage(id, session)));
        }
        said[id].push_back(rulesOf(id));
    }
    freeClock();

    const std::vector<Row> rows = {
        {"each rules page is its activity's: under its title, and no two activities' rules alike but the two check-in pages'",
         [&] {
             std::map<std::string, std::string> byRules;
             for (const std::string& id : kActivities) {
                 const std::string html = page("/shop/detail.html?activity=" + id), rules = rulesOf(id);
                 SCOPED_TRACE(id);
                 const std::string shown = activityPage(id);
                 std::smatch title;
                 ASSERT_TRUE(std::regex_search(shown, title, std::regex("<header>([^<]*)</header>")));
                 EXPECT_NE(html.find("<h3>" + title[1].str() + "</h3>"), std::string::npos) << html;
                 ASSERT_NE(rules.find(title[1].str()), std::string::npos) << rules;
                 const std::string body = rules.substr(rules.find(title[1].str()) + title[1].str().size());
                 EXPECT_GT(body.size(), 30u) << "rules of its own: " << rules;
                 if (byRules.count(body)) {
                     const std::set<std::string> pair = {byRules[body], id};
                     EXPECT_EQ(pair, (std::set<std::string>{"8", "9"})) << "the same rules: " << body;
                 }
                 byRules[body] = id;
             }
         }},
        {"an activity that brings no rebate speaks of none: the invitation and the check-in pages",
         [&] {
             for (const char* id : {"4", "8", "9"}) {
                 for (const std::string& text : said[id]) {
                     EXPECT_EQ(text.find("回扣"), std::string::npos) << id << ": " << text;
                     EXPECT_EQ(text.find("订单"), std::string::npos) << id << ": " << text;
                 }
             }
         }},
        {"the ended activity's page and rules say it has ended, and offer nothing",
         [&] {
             for (const std::string& text : said["999"]) {
                 EXPECT_NE(text.find("已结束"), std::string::npos) << text;
                 EXPECT_EQ(text.find("登录领取"), std::string::npos) << text;
             }
         }},
        {"every figure an activity names is one the data keeps: the check-in's credits, the invitation rewards, the Double Eleven days",
         [&] {
             const auto& [jifen, jifenbao] = *credits.begin();
             const int64_t registration = *registrationRewards.begin(), purchase = *purchaseRewards.begin();
             // Each claim, by the words that make it, with what it must name; whatever figure is
             // left over is one nothing holds.
             struct Claim {
                 std::regex words;
                 std::function<void(const std::smatch&)> check;
             };
             const std::vector<Claim> claims = {
                 {std::regex("([0-9]+) ?Velmo和([0-9]+) ?个?集分宝"),
                  [&](const std::smatch& m) {
                      EXPECT_EQ(m[1].str(), jifen) << "Velmo a check-in credits";
                      EXPECT_EQ(m[2].str(), jifenbao) << "集分宝 a check-in credits";
                  }},
                 {std::regex("(注册奖励|注册成功，您得)([0-9]+)元"),
                  [&](const std::smatch& m) { EXPECT_EQ(std::stoll(m[2]) * 100, registration) << "the reward of every registration"; }},
                 {std::regex("(购物再奖|购物，您再得)([0-9]+)元起"),
                  [&](const std::smatch& m) { EXPECT_EQ(std::stoll(m[2]) * 100, purchase) << "the least reward of a first purchase"; }},
                 // The Double Eleven days (held to the page's own days by the test beside this one).
                 {std::regex("(每年)?11月1日至(11月)?11日"), [](const std::smatch&) {}},
                 {std::regex("下一届将于20[0-9]{2}年11月1日"), [](const std::smatch&) {}},
                 // Its doubled rebate, which the orders paid within those days earn.
                 {std::regex("平时的两倍"), [&](const std::smatch&) {}},
             };
             for (const std::string& id : kActivities) {
                 for (std::string text : said[id]) {
                     SCOPED_TRACE(id + ": " + text);
                     for (const Claim& claim : claims) {
                         std::smatch m;
                         while (std::regex_search(text, m, claim.words)) {
                             claim.check(m);
                             text = m.prefix().str() + " " + m.suffix().str();
                         }
                     }
                     EXPECT_FALSE(std::regex_search(text, std::regex("([0-9]|一|二|三|四|五|六|七|八|九|十|两|百|千|万)+ ?(元|个|Velmo|集分宝|倍|%)")))
                         << "a figure nothing holds";
                     EXPECT_FALSE(std::regex_search(text, std::regex("[0-9]"))) << "a figure nothing holds";
                 }
             }
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.rule);
        row.check();
    }
}

// The picture each coupon type is shown with on the order list, and what use_coupon gives for
// it: a fixed number of 集分宝 whatever the order earns. The words of a picture promise no
// multiple or deadline, and a figure only when every type it shows awards it.
TEST_F(ServicePagesTest, TheCouponPicturesWordsFitTheAwardsOfEveryTypeTheyShow) {
    const std::map<std::string, std::vector<int>> pictures = {{"coupon1", {1}}, {"coupon2", {2, 3}}};
    const std::string cookie = login(kServiceTestUserName, kServiceTestUserPassword);
    // Each type spent on two orders of different rebates.
    std::map<int, std::vector<std::pair<std::string, std::string>>> spent;  // type -> (order's rebate, award)
    for (int number = 1; number <= 5; ++number) {
        std::string raw;
        const json reply = signedDes("order", {{"id", kServiceTestUserId}, {"do", "taobao"}, {"number", std::to_string(number)}}, &raw, cookie);
        const json orders = json::parse(decipher(raw), nullptr, false);
        ASSERT_TRUE(orders.is_array()) << reply.dump();
        for (const json& order : orders) {
            const json offered = signedJson("get_coupon", {{"uid", kServiceTestUserId}, {"tradeId", order["id"]}}, cookie)["coupons"];
            for (const json& coupon : offered) {
                const int type = std::stoi(coupon["type"].is_string() ? coupon["type"].get<std::string>() : coupon["type"].dump());
                if (spent[type].size() >= 2) continue;
                const json used = signedJson(
                    "use_coupon", {{"uid", kServiceTestUserId}, {"couponId", coupon["id"].dump()}, {"tradeId", order["id"]}}, cookie);
                ASSERT_EQ(used["code"], 101) << used.dump();
                const json& award = used["data"]["award"];
                spent[type].push_back({order.value("jifenbao", ""), award.is_string() ? award.get<std::string>() : award.dump()});
                break;  // an order takes one coupon
            }
        }
        if (reply.value("end", 0) == 1) break;
    }
    for (const auto& [name, types] : pictures) {
        SCOPED_TRACE(name);
        const std::string words = pictureWords(name);
        ASSERT_FALSE(words.empty());
        for (const char* promise : {"倍", "翻", "限时", "%"}) EXPECT_EQ(words.find(promise), std::string::npos) << promise << " in " << words;
        std::set<std::string> awards;
        for (int type : types) {
            SCOPED_TRACE(type);
            ASSERT_EQ(spent[type].size(), 2u) << "two orders took a coupon of the type";
            EXPECT_NE(spent[type][0].first, spent[type][1].first) << "orders of different rebates";
            EXPECT_EQ(spent[type][0].second, spent[type][1].second) << "a fixed award, whatever the order earns";
            awards.insert(spent[type][0].second);
        }
        std::smatch figure;
        for (std::string rest = words; std::regex_search(rest, figure, std::regex("[0-9]+")); rest = figure.suffix()) {
            EXPECT_EQ(awards, std::set<std::string>{figure[0].str()}) << "a figure every type it shows awards: " << words;
        }
    }
}

}  // namespace
}  // namespace zvt::test::svc
