// The exchange store's operations of the local service: the goods of each kind page by page,
// and what an order does to the stock, the balance, the order record and the site messages.

#include <gtest/gtest.h>

#include <ctime>
#include <optional>

#include "tests/service/ServiceTestSupport.h"

namespace zvt::test::svc {
namespace {

class ExchangeServiceTest : public ServiceTest {
protected:
    json goods(const std::string& cid, int number) {
        std::string raw;
        json reply = signedDes("exchange_goods", {{"cid", cid}, {"number", std::to_string(number)}}, &raw);
        EXPECT_EQ(reply["code"], 101);
        reply["data"] = json::parse(decipher(raw), nullptr, false);
        return reply;
    }
    json good(const std::string& id) {
        for (const char* cid : {"1", "2", "3"})
            for (int page = 1; page <= 3; ++page) {
                const json reply = goods(cid, page);
                for (const json& g : reply["data"])
                    if (g["id"] == id) return g;
            }
        return json();
    }
    json setUser(const json& fields) {
        json body = fields;
        body["id"] = kServiceTestUserId;
        auto r = service.request("POST", "/__test/user", body.dump(), "application/json");
        EXPECT_EQ(r.status, 200) << r.body;
        return json::parse(r.body, nullptr, false);
    }
    json order(const std::string& cookie, const json& fields) {
        json all = fields;
        all["id"] = kServiceTestUserId;
        return signedDes("exchange", all, nullptr, cookie);
    }
    json user(const std::string& cookie) {
        std::string raw;
        signedDes("userInfo&do=my", {{"id", kServiceTestUserId}}, &raw, cookie);
        return json::parse(decipher(raw), nullptr, false);
    }
};

TEST_F(ExchangeServiceTest, EachKindHasPagesOfTenWithTheGoodsTheScreensNeed) {
    const auto now = static_cast<long long>(std::time(nullptr));
    bool velmo300 = false, jifenbaoOnly = false, soldOut = false, endsWithinHour = false, ended = false;
    for (const char* cid : {"1", "2", "3"}) {
        SCOPED_TRACE(cid);
        size_t total = 0;
        for (int page = 1; page <= 3; ++page) {
            json reply = goods(cid, page);
            EXPECT_EQ(reply["end"], page == 3 ? 1 : 0);
            EXPECT_EQ(reply["data"].size(), page < 3 ? 10u : reply["data"].size());
            for (const json& g : reply["data"]) {
                ++total;
                EXPECT_EQ(g["cid"], cid);
                for (const char* key : {"id", "title", "img", "jifen", "jifenbao", "num", "edate"})
                    EXPECT_TRUE(g[key].is_string()) << key;
                const long long edate = std::stoll(g["edate"].get<std::string>());
                if (std::string(cid) == "1" && g["jifen"] == "300") velmo300 = true;
                if (g["jifen"] == "0" && g["jifenbao"] == "150") jifenbaoOnly = true;
                if (g["num"] == "0") soldOut = true;
                if (edate > now && edate < now + 3600) endsWithinHour = true;
                if (edate < now) ended = true;
            }
        }
        EXPECT_GE(total, 25u);
    }
    EXPECT_TRUE(velmo300 && jifenbaoOnly && soldOut && endsWithinHour && ended);
}

TEST_F(ExchangeServiceTest, AnOrderSpendsTheBalanceLowersTheStockKeepsItsFieldsAndFilesAMessage) {
    std::string cookie = login(kServiceTestUserName, kServiceTestUserPassword);
    setUser({{"jifen", "600"}, {"jifenbao", "12.50"}});
    const json first = good("700");
    ASSERT_TRUE(first.is_object());
    const int stock = std::stoi(first["num"].get<std::string>());

    // A balance with a decimal part counts by its whole part: 12 集分宝 buy nothing of 150.
    EXPECT_EQ(order(cookie, {{"goodId", "700"}, {"mode", "1"}, {"num", "1"}})["code"], 222);
    setUser({{"jifenbao", "150.75"}});
    EXPECT_EQ(order(cookie, {{"goodId", "700"}, {"mode", "1"}, {"num", "1"}})["code"], 101);
    EXPECT_EQ(user(cookie)["jifenbao"], "0");

    json reply = order(cookie, {{"goodId", "700"}, {"mode", "2"}, {"num", "2"}, {"realName", "李四"},
                                {"address", "北京"}, {"qq", "12345"}, {"content", ""}});
    EXPECT_EQ(reply["code"], 101) << reply.dump();
    EXPECT_EQ(user(cookie)["jifen"], "0");
    EXPECT_EQ(good("700")["num"], std::to_string(stock - 3));
    json logged = lastLog("exchange")["fields"];
    EXPECT_EQ(logged["qq"], "12345");
    EXPECT_EQ(logged["realName"], "李四");

    // The order names the product and the quantity among the site messages.
    std::string text;
    for (int page = 1; page <= 3; ++page) {
        std::string raw;
        signedDes("msg", {{"id", kServiceTestUserId}, {"number", std::to_string(page)}}, &raw, cookie);
        text += decipher(raw);
    }
    const std::string title = good("700")["title"];
    EXPECT_NE(text.find(title + " × 2"), std::string::npos) << text;

    // More than the stock is refused, and so is a sold-out good.
    setUser({{"jifen", "100000000"}});
    EXPECT_EQ(order(cookie, {{"goodId", "706"}, {"mode", "2"}, {"num", "1"}})["msg"], "库存不足");
    json big = order(cookie, {{"goodId", "702"}, {"mode", "2"}, {"num", "99"}});
    EXPECT_EQ(big["code"], 202);
    EXPECT_EQ(big["msg"], "库存不足");
}

TEST_F(ExchangeServiceTest, AnOfferPastItsEndOnTheServicesClockTakesNoOrder) {
    std::string cookie = login(kServiceTestUserName, kServiceTestUserPassword);
    setUser({{"jifen", "100000"}});
    const long long ended = std::stoll(good("712")["edate"].get<std::string>());
    const long long endsSoon = std::stoll(good("709")["edate"].get<std::string>());
    struct Case {
        const char* name;
        const char* goodId;
        std::optional<long long> clock;  // the service's fixed time, else the system's
        int code;
    };
    const std::vector<Case> cases = {
        {"ended before the seeding", "712", std::nullopt, 202},
        {"ends within the hour", "709", std::nullopt, 101},
        {"at its very end", "709", endsSoon, 101},
        {"a second after its end", "709", endsSoon + 1, 202},
        {"the ended one, while it still ran", "712", ended - 60, 101},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        service.configure(json{{"fixed_time", c.clock ? json(std::to_string(*c.clock)) : json(nullptr)}}.dump());
        const std::string stock = good(c.goodId)["num"];
        const std::string jifen = user(cookie)["jifen"];
        json reply = order(cookie, {{"goodId", c.goodId}, {"mode", "2"}, {"num", "1"}});
        EXPECT_EQ(reply["code"], c.code) << reply.dump();
        if (c.code == 101) continue;
        // Refused (the client shows "兑换失败"): nothing spent, nothing taken from the stock.
        EXPECT_EQ(good(c.goodId)["num"], stock);
        EXPECT_EQ(user(cookie)["jifen"], jifen);
    }
}

TEST_F(ExchangeServiceTest, TheTestInterfaceSetsUserFieldsNullIncluded) {
    json record = setUser({{"realname", nullptr}, {"qq", ""}});
    EXPECT_TRUE(record["realname"].is_null());
    EXPECT_EQ(record["qq"], "");
    auto refused = service.request("POST", "/__test/user", R"({"id": "99"})", "application/json");
    EXPECT_EQ(refused.status, 404);
}

}  // namespace
}  // namespace zvt::test::svc
