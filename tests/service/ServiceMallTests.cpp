// The mall family from the outside: the signed category and mall lists, the setting that keeps
// the first categories only, the demo malls of every category (logos, bare rates) reached by
// the mall search and the mall redirect, and the test scripts reaching the operations the mall
// screen calls.
#include <regex>
#include <set>

#include "tests/service/ServiceTestSupport.h"

namespace zvt::test::svc {
namespace {

class ServiceMallTest : public ServiceTest {
protected:
    json categories() { return signedJson("mall_type", json::object()); }
    json malls(const std::string& cid) { return signedJson("mall", {{"cid", cid}}); }
};

TEST_F(ServiceMallTest, FiveCategoriesUnlessTheSettingKeepsFewer) {
    json all = categories();
    ASSERT_EQ(all["code"], 101);
    ASSERT_EQ(all["data"].size(), 5u);
    std::set<std::string> titles;
    for (const auto& entry : all["data"]) {
        ASSERT_TRUE(entry.is_array() && entry.size() == 2) << entry.dump();
        EXPECT_TRUE(entry[0].is_string() && entry[1].is_string()) << entry.dump();
        titles.insert(entry[1].get<std::string>());
    }
    EXPECT_EQ(titles.size(), 5u);
    EXPECT_EQ(lastLog("mall_type")["signature"], "ok");
    for (int n : {2, 3, 4, 5, 1}) {
        SCOPED_TRACE(n);
        service.configure("{\"mall_categories\": " + std::to_string(n) + "}");
        json some = categories();
        ASSERT_EQ(some["data"].size(), static_cast<size_t>(n));
        EXPECT_EQ(some["data"][0], all["data"][0]) << "the first ones are kept";
        EXPECT_EQ(some["data"][n - 1], all["data"][n - 1]);
    }
    for (const char* bad : {"0", "6", "\"3\"", "2.5"}) {
        auto r = service.request("POST", "/__test/config", std::string("{\"mall_categories\": ") + bad + "}",
                                 "application/json");
        EXPECT_EQ(r.status, 400) << bad;
        EXPECT_NE(r.body.find("mall_categories must"), std::string::npos) << bad;
    }
    service.reset();
    EXPECT_EQ(categories()["data"].size(), 5u) << "a reset brings back every category";
    // Unsigned or badly signed requests are refused as every signed operation's.
    json unsigned_ = post(kJsonPath + "mall_type", "{}", "application/json");
    EXPECT_EQ(unsigned_["code"], 111);
    json forged = post(kJsonPath + "mall", json{{"cid", "1"}, {"time", jsonTime()}, {"code", "x"}}.dump(),
                       "application/json");
    EXPECT_EQ(forged["code"], 111);
    EXPECT_FALSE(forged.contains("data") && forged["data"].is_array());
}

TEST_F(ServiceMallTest, EveryCategoryHasSixToTwelveMallsWithLogosAndBareRates) {
    const std::regex rate("[0-9]+%");
    std::set<std::string> ids;
    size_t withoutRate = 0;
    size_t total = 0;
    json types = categories()["data"];
    for (const auto& entry : types) {
        const std::string cid = entry[0];
        SCOPED_TRACE(cid);
        json reply = malls(cid);
        ASSERT_EQ(reply["code"], 101);
        const json& list = reply["data"];
        ASSERT_TRUE(list.is_array());
        EXPECT_GE(list.size(), 6u);
        EXPECT_LE(list.size(), 12u);
        for (const auto& mall : list) {
            for (const char* key : {"id", "title", "img", "fan"}) ASSERT_TRUE(mall[key].is_string()) << key;
            ids.insert(mall["id"].get<std::string>());
            const std::string img = mall["img"];
            EXPECT_EQ(img.rfind(service.rootURL() + "/images/mall", 0), 0u) << img;
            EXPECT_EQ(service.request("GET", img.substr(service.rootURL().size())).status, 200) << img;
            const std::string fan = mall["fan"];
            if (fan.empty()) {
                ++withoutRate;
            } else {
                EXPECT_TRUE(std::regex_match(fan, rate)) << fan << ": the amount alone";
            }
        }
        total += list.size();
        if (cid == types[0][0]) {
            bool eight = false;
            for (const auto& mall : list) eight = eight || mall["fan"] == "8%";
            EXPECT_TRUE(eight) << "the first category has a mall of 8%";
        }
        // The mall redirect and its page know every category's malls.
        const std::string last = list.back()["id"];
        auto redirect = service.request("GET", kJsonPath + "go_mall&id=" + last + "&uid=10001");
        ASSERT_EQ(redirect.status, 302);
        auto page = service.request("GET", redirect.header("Location").substr(service.rootURL().size()));
        EXPECT_NE(page.body.find("正在前往" + list.back()["title"].get<std::string>()), std::string::npos);
    }
    EXPECT_EQ(ids.size(), total) << "ids are unique";
    EXPECT_EQ(withoutRate, 0u) << "every demo mall names its rate";
    EXPECT_EQ(malls("99")["data"], json::array()) << "an unknown category has no malls";
    json searched = post(kJsonPath + "search_m&q=", "", "");
    EXPECT_EQ(searched["result"].size(), total) << "the mall search covers every category";
}

TEST_F(ServiceMallTest, ScriptsReachTheOperationsOfTheMallScreen) {
    const std::string timeBody = json{{"code", md5Hex(md5Hex(kSecret))}}.dump();
    auto raw = [&](const std::string& op) {
        return service.request("POST", kJsonPath + op,
                               op == "get_time" ? timeBody : signedWith({{"cid", "1"}}, jsonTime()).dump(),
                               "application/json");
    };
    for (const char* op : {"get_time", "mall_type", "mall"}) {
        SCOPED_TRACE(op);
        service.script(ScriptedReply{.op = op, .httpStatus = 500});
        EXPECT_EQ(raw(op).status, 500);
        service.script(ScriptedReply{.op = op, .drop = true});
        EXPECT_EQ(raw(op).status, 0);
        service.script(ScriptedReply{.op = op, .code = 202});
        EXPECT_EQ(json::parse(raw(op).body, nullptr, false)["code"], 202);
        service.script(ScriptedReply{.op = op, .dataJSON = "[]"});
        EXPECT_EQ(json::parse(raw(op).body, nullptr, false)["data"], json::array());
        service.script(ScriptedReply{.op = op, .delayMs = 300});
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(raw(op).status, 200);
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
        EXPECT_EQ(json::parse(raw(op).body, nullptr, false)["code"], 101) << "a script is used once";
    }
}

}  // namespace
}  // namespace zvt::test::svc
