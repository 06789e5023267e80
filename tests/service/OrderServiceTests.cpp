// The order and coupon family: the demo user's orders page by page in every state, coupons
// offered per order, spending one (refusals, the award recorded on the order), and scripts
// that pick one request of a list by its fields.
#include <set>

#include "tests/service/ServiceTestSupport.h"

namespace zvt::test::svc {
namespace {

class OrderServiceTest : public ServiceTest {
protected:
    void SetUp() override { cookie = login(kServiceTestUserName, kServiceTestUserPassword); }

    // One page of a list: its rows (deciphered) and its "end"; rows null when there are none.
    struct Page {
        json reply;
        json rows;
    };
    Page orders(const std::string& kind, const json& number, const std::string& id = "10001",
                const std::string& as = "") const {
        Page p;
        p.reply = signedDes("order", {{"id", id}, {"number", number}, {"do", kind}}, nullptr,
                            as.empty() ? cookie : as);
        if (p.reply.contains("data") && p.reply["data"].is_string())
            p.rows = json::parse(decipher(p.reply["data"]), nullptr, false);
        return p;
    }
    json coupons(const std::string& order) const {
        return signedJson("get_coupon", {{"uid", "10001"}, {"tradeId", order}}, cookie);
    }
    json use(const json& coupon, const std::string& order) const {
        return signedJson("use_coupon",
                          {{"uid", "10001"}, {"couponId", coupon}, {"tradeId", order}}, cookie);
    }
    // The demo order with the record id, from the list as the client reads it.
    json order(const std::string& id) const {
        for (int page = 1; page <= 3; ++page) {
            for (auto& row : orders("taobao", page).rows)
                if (row.value("id", "") == id) return row;
        }
        return nullptr;
    }

    std::string cookie;
};

TEST_F(OrderServiceTest, DemoOrdersComePageByPageInEveryState) {
    struct Case {
        const char* kind;
        int page;
        size_t rows;
        int end;
    };
    for (const Case& c : std::vector<Case>{{"taobao", 1, 10, 0},
                                           {"taobao", 2, 10, 0},
                                           {"taobao", 3, 5, 1},
                                           {"mall", 1, 10, 0},
                                           {"mall", 2, 2, 1}}) {
        SCOPED_TRACE(std::string(c.kind) + " page " + std::to_string(c.page));
        auto p = orders(c.kind, std::to_string(c.page));
        EXPECT_EQ(p.reply["code"], 101);
        ASSERT_TRUE(p.rows.is_array());
        EXPECT_EQ(p.rows.size(), c.rows);
        EXPECT_EQ(p.reply["end"], c.end);
    }
    // Every state a row can show, each on the first page.
    std::set<std::string> states;
    for (auto& row : orders("taobao", 1).rows) {
        std::string offered = std::to_string(coupons(row["id"])["coupons"].size());
        states.insert(row.value("can_useCoupon", "") + "/" + row.value("coupon_award", "") + "/" +
                      offered);
    }
    EXPECT_EQ(states, (std::set<std::string>{"1/0/2", "1/0/3", "1/0/5", "1/0/0", "0/5/0",
                                             "0/0/0"}));
    for (auto& row : orders("mall", 1).rows) {
        for (const char* key : {"fxje", "img", "item_count", "item_price", "jifen", "mall_name",
                                "order_code", "order_time", "status"}) {
            EXPECT_TRUE(row.contains(key) && row[key].is_string() && !row[key].get<std::string>().empty())
                << key << " in " << row.dump();
        }
    }
    // The other password account has no orders at all.
    std::string other = login(kServiceOtherUserName, kServiceOtherUserPassword);
    for (const char* kind : {"taobao", "mall"}) {
        auto p = orders(kind, "1", "10003", other);
        EXPECT_EQ(p.reply["code"], 101);
        EXPECT_EQ(p.rows, json::array()) << kind;
        EXPECT_EQ(p.reply["end"], 1) << kind;
    }
}

TEST_F(OrderServiceTest, CouponsAreOfferedPerOrder) {
    struct Case {
        const char* order;
        size_t offered;
    };
    std::set<int> types;
    std::set<int> ids;
    for (const Case& c : std::vector<Case>{
             {"3000", 3}, {"3001", 0}, {"3002", 0}, {"3003", 5}, {"3004", 2}, {"3005", 0},
             {"88000000000000", 0}, {"", 0}, {"9999", 0}}) {
        SCOPED_TRACE(c.order);
        json reply = coupons(c.order);
        EXPECT_EQ(reply["code"], 101);
        ASSERT_TRUE(reply["coupons"].is_array());
        EXPECT_EQ(reply["coupons"].size(), c.offered);
        for (auto& coupon : reply["coupons"]) {
            ASSERT_TRUE(coupon["id"].is_number_integer()) << coupon.dump();
            EXPECT_TRUE(ids.insert(coupon["id"].get<int>()).second) << "one order per coupon";
            types.insert(coupon["type"].get<int>());
        }
    }
    EXPECT_EQ(types, (std::set<int>{1, 2, 3}));
}

TEST_F(OrderServiceTest, AUsedCouponIsSpentAndItsAwardRecordedOnTheOrder) {
    json offered = coupons("3000")["coupons"];
    ASSERT_EQ(offered.size(), 3u);
    json other = coupons("3003")["coupons"][0]["id"];
    const json first = offered[0]["id"], second = offered[1]["id"];
    const std::string tradeId = order("3000").value("trade_id", "");
    ASSERT_FALSE(tradeId.empty());

    struct Refusal {
        json coupon;
        std::string order;
        const char* msg;
    };
    for (const Refusal& r : std::vector<Refusal>{
             {first, tradeId, "订单不存在"},  // the order's trade_id does not name it
             {first, "9999", "订单不存在"},
             {other, "3000", "该回扣券不能用于此订单"},
             {json("999"), "3000", "该回扣券不能用于此订单"},
             {first, "3001", "该回扣券不能用于此订单"}}) {
        SCOPED_TRACE(r.coupon.dump() + " on " + r.order);
        json reply = use(r.coupon, r.order);
        EXPECT_EQ(reply["code"], 202);
        EXPECT_EQ(reply["msg"], r.msg);
    }
    EXPECT_EQ(order("3000").value("can_useCoupon", ""), "1") << "refusals change nothing";

    // The coupon id comes as the client formats it: digits in a text.
    json used = use(first.dump(), "3000");
    ASSERT_EQ(used["code"], 101) << used.dump();
    EXPECT_EQ(used["data"]["award"], "5");
    json after = order("3000");
    EXPECT_EQ(after.value("coupon_award", ""), "5");
    EXPECT_EQ(after.value("can_useCoupon", ""), "0");
    EXPECT_EQ(coupons("3000")["coupons"].size(), 0u) << "the order has had its coupon: it offers no other";

    json again = use(first, "3000");
    EXPECT_EQ(again["code"], 202);
    EXPECT_EQ(again["msg"], "该回扣券已使用");
    json next = use(second, "3000");
    EXPECT_EQ(next["code"], 202);
    EXPECT_EQ(next["msg"], "该订单不能再使用回扣券") << "one coupon per order";
    EXPECT_EQ(order("3003").value("can_useCoupon", ""), "1") << "other orders keep theirs";
}

TEST_F(OrderServiceTest, ScriptsPickARequestByItsFields) {
    // Page 2 of the Taobao list fails once; page 1 before it and page 2 after it do not.
    service.script(R"({"op": "order", "fields": {"number": "2", "do": "taobao"}, "http_status": 500})");
    EXPECT_EQ(orders("taobao", 1).rows.size(), 10u);
    EXPECT_EQ(orders("mall", 2).rows.size(), 2u) << "another list's page 2";
    int status = 0;
    post(kDesPath + "order",
         encipheredBody(signedWith({{"id", "10001"}, {"number", 2}, {"do", "taobao"}}, desTime())),
         kFormType, cookie, &status);
    EXPECT_EQ(status, 500) << "a number matches its digits";
    EXPECT_EQ(orders("taobao", 2).rows.size(), 10u);

    // A refusal with the server's text for one order's coupons.
    service.script(R"({"op": "get_coupon", "fields": {"tradeId": "3003"}, "code": 202, "msg": "活动已结束"})");
    EXPECT_EQ(coupons("3000")["code"], 101);
    json refused = coupons("3003");
    EXPECT_EQ(refused["code"], 202);
    EXPECT_EQ(refused["msg"], "活动已结束");

    EXPECT_THROW(service.script(R"({"op": "order", "fields": ["number"]})"), std::runtime_error);
}

}  // namespace
}  // namespace zvt::test::svc
