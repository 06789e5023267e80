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

// Every order list reads newest paid first, of one moment the larger id first, whatever filed its
// rows and when: an order the control interface files comes on top of the demo's, an account's
// own orders take their places by the moments they were paid, and a restart reads them so.
TEST_F(OrderServiceTest, EveryOrderListReadsNewestPaidFirst) {
    // (The service's clock stands after the demo's story: an order paid "now" is the newest.)
    service.configure(R"({"fixed_time": "1796176800"})");
    auto place = [&](const std::string& uid, const char* paid) {
        json body = {{"uid", uid}, {"goods", "1002"}};
        if (paid) body["paid"] = paid;
        auto r = service.request("POST", "/__test/order", body.dump(), "application/json");
        EXPECT_EQ(r.status, 200) << r.body;
        return json::parse(r.body, nullptr, false)["order"].value("id", "");
    };
    auto ids = [&](const std::string& uid, const std::string& as) {
        std::vector<std::string> out;
        for (int page = 1; page <= 4; ++page) {
            for (auto& row : orders("taobao", page, uid, as).rows) out.push_back(row.value("id", ""));
        }
        return out;
    };
    const std::string lisi = login(kServiceOtherUserName, kServiceOtherUserPassword);
    const std::string demoNew = place("10001", nullptr);
    const std::string a = place("10003", "2026-11-20 10:00:00");
    const std::string b = place("10003", "2026-11-25 10:00:00");
    const std::string c = place("10003", nullptr);
    const std::string d = place("10003", "2026-11-22 10:00:00");
    const std::string e = place("10003", "2026-11-25 10:00:00");  // paid when b was, filed after it
    for (const char* when : {"as filed", "after a restart"}) {
        SCOPED_TRACE(when);
        const std::vector<std::string> demo = ids("10001", cookie);
        ASSERT_EQ(demo.size(), 26u);
        EXPECT_EQ(demo[0], demoNew);
        EXPECT_EQ(demo[1], "3000") << "then the demo's, as before";
        EXPECT_EQ(demo[25], "3024");
        EXPECT_EQ(ids("10003", lisi), (std::vector<std::string>{c, e, b, d, a}));
        EXPECT_EQ(orders("mall", 1).rows[0].value("id", ""), "6000");
        if (std::string(when) == "after a restart") break;
        service.stop();
        service.start();
        service.configure(R"({"fixed_time": "1796176800"})");
    }
}

// A data directory of the earlier version (its order lists filed as they came, no record filed
// about what it tells of) is filed once, keeping its data: its order lists read newest paid first,
// and a refund or a payout replaces the message of its own order or withdrawal, as those
// versions wrote them.
TEST_F(OrderServiceTest, ADataDirectoryOfTheEarlierVersionReadsAndReplacesAsANewOne) {
    auto list = [&](const std::string& op, const json& fields) {
        json rows = json::array();
        for (int page = 1; page <= 5; ++page) {
            json ask = fields;
            ask["id"] = "10001";
            ask["number"] = std::to_string(page);
            json reply = signedDes(op, ask, nullptr, cookie);
            if (!reply.contains("data") || !reply["data"].is_string()) break;
            for (auto& row : json::parse(decipher(reply["data"]), nullptr, false)) rows.push_back(row);
            if (reply.value("end", 0) == 1) break;
        }
        return rows;
    };
    const json messages = list("msg", json::object());
    ASSERT_EQ(messages.size(), 25u);
    // An order rebated and not refunded, and the withdrawal under review.
    std::set<std::string> refunded;
    for (const json& r : list("getUserDetailed", {{"do", "refund"}})) refunded.insert(r.value("content", ""));
    std::string rebated, number;
    for (const json& o : list("order", {{"do", "taobao"}})) {
        const std::string cited = "淘宝订单 " + o.value("trade_id", "") + " ";
        bool back = false;
        for (const std::string& r : refunded) back = back || r.find(cited) != std::string::npos;
        if (!back && o.value("can_useCoupon", "") == "0" && o.value("jifenbao", "0") != "0" && rebated.empty()) {
            for (const json& m : messages) {
                if (m.value("content", "").find(cited + "已确认收货") != std::string::npos) {
                    rebated = o.value("id", "");
                    number = o.value("trade_id", "");
                }
            }
        }
    }
    ASSERT_FALSE(rebated.empty());
    service.stop();
    onStore(service.dataDir(), [](sqlite3* db) {
        // As the earlier version filed them: the demo's orders by their ids, a later one after.
        std::vector<int64_t> seqs;
        std::vector<std::string> records;
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "SELECT seq FROM items WHERE kind = 'taobao_order' AND owner = 10001 ORDER BY seq", -1, &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW) seqs.push_back(sqlite3_column_int64(st, 0));
        sqlite3_finalize(st);
        sqlite3_prepare_v2(db, "SELECT record FROM items WHERE kind = 'taobao_order' AND owner = 10001 ORDER BY json_extract(record, '$.id')",
                           -1, &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW) records.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        sqlite3_finalize(st);
        ASSERT_EQ(seqs.size(), records.size());
        for (size_t i = 0; i < seqs.size(); ++i) {
            sqlite3_prepare_v2(db, "UPDATE items SET record = ?1 WHERE seq = ?2", -1, &st, nullptr);
            sqlite3_bind_text(st, 1, records[i].c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int64(st, 2, seqs[i]);
            sqlite3_step(st);
            sqlite3_finalize(st);
        }
        json later = json::parse(records[0]);
        later["id"] = "3025";
        later["trade_id"] = "88000000000999";
        later["pay_time"] = "2026-11-30 08:00:00";
        const std::string sql = "INSERT INTO items(kind, owner, record) VALUES('taobao_order', 10001, '" + later.dump() + "')";
        ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        // (A store of this version keeps what each record tells of in a column of its own.)
        sqlite3_exec(db, "ALTER TABLE items DROP COLUMN about", nullptr, nullptr, nullptr);
        ASSERT_EQ(sqlite3_exec(db, "PRAGMA user_version = 1", nullptr, nullptr, nullptr), SQLITE_OK);
    });
    service.start();

    const json shown = list("order", {{"do", "taobao"}});
    ASSERT_EQ(shown.size(), 26u);
    EXPECT_EQ(shown[0].value("id", ""), "3025");
    for (size_t i = 1; i < shown.size(); ++i) EXPECT_EQ(shown[i].value("id", ""), std::to_string(3000 + i - 1)) << i;
    EXPECT_EQ(list("msg", json::object()), messages) << "the messages as they were";

    // The refund and the payout each take the place of their own thing's message, and of no other.
    auto control = [&](const std::string& path, const json& body) {
        auto r = service.request("POST", path, body.dump(), "application/json");
        EXPECT_EQ(r.status, 200) << path << " " << r.body;
    };
    control("/__test/refund", {{"uid", "10001"}, {"order", rebated}});
    control("/__test/payout", {{"uid", "10001"}, {"type", "1"}});
    const json after = list("msg", json::object());
    ASSERT_EQ(after.size(), 25u);
    EXPECT_EQ(after[0]["title"].get<std::string>().rfind("提现已到账", 0), 0u) << after[0].dump();
    EXPECT_NE(after[1].value("content", "").find("淘宝订单 " + number + " 已退款"), std::string::npos) << after[1].dump();
    std::vector<json> kept(after.begin() + 2, after.end()), others;
    for (const json& m : messages) {
        const std::string content = m.value("content", "");
        const bool replaced = content.find("淘宝订单 " + number + " 已确认收货") != std::string::npos ||
                              m.value("title", "").rfind("提现申请已受理", 0) == 0;
        if (!replaced) others.push_back(m);
    }
    EXPECT_EQ(kept, others);
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
