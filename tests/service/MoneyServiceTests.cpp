// The money family of the local service: which withdrawal amounts it takes, what a withdrawal
// does to the balance, the review state and the records, what the help pages say of it, and the
// three record lists page by page, newest first, new records and data directories of earlier
// versions included.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <functional>
#include <regex>
#include <set>

#include "tests/service/ServiceTestSupport.h"

namespace zvt::test::svc {
namespace {

class MoneyServiceTest : public ServiceTest {
protected:
    // New records are stamped in the machine's zone: Shanghai's here.
    MoneyServiceTest() : ServiceTest(inZone("Asia/Shanghai")) {}
    void SetUp() override { cookie = login(kServiceTestUserName, kServiceTestUserPassword); }

    json setUser(const json& fields) {
        json body = fields;
        body["id"] = kServiceTestUserId;
        auto r = service.request("POST", "/__test/user", body.dump(), "application/json");
        EXPECT_EQ(r.status, 200) << r.body;
        return json::parse(r.body, nullptr, false);
    }
    json withdraw(json fields) {
        fields["id"] = kServiceTestUserId;
        fields["ddpassword"] = kServiceTestUserPassword;
        fields["remark"] = "";
        return signedDes("outCash", fields, nullptr, cookie);
    }
    json user() {
        std::string raw;
        signedDes("userInfo&do=my", {{"id", kServiceTestUserId}}, &raw, cookie);
        return json::parse(decipher(raw), nullptr, false);
    }
    // (rows, "end") of a record list's page.
    std::pair<json, json> records(const std::string& kind, int page) {
        std::string raw;
        json reply = signedDes("getUserDetailed", {{"id", kServiceTestUserId}, {"do", kind}, {"number", std::to_string(page)}},
                               &raw, cookie);
        EXPECT_EQ(reply["code"], 101) << reply.dump();
        return {json::parse(decipher(raw), nullptr, false), reply["end"]};
    }

    std::string cookie;
};

TEST_F(MoneyServiceTest, OnlyAnAmountWhollyOfItsKindIsWithdrawn) {
    struct Case {
        json fields;
        int code;
        const char* jifenbaoAfter;
        const char* moneyAfter;
    };
    const std::vector<Case> cases = {
        // Not an amount: nothing leaves the account (these once withdrew the whole balance, or 12).
        {{{"type", "1"}}, 202, "1200", "88.50"},
        {{{"type", "1"}, {"jifenbao", "3.9"}}, 202, "1200", "88.50"},
        {{{"type", "1"}, {"jifenbao", "12abc"}}, 202, "1200", "88.50"},
        {{{"type", "1"}, {"jifenbao", ""}}, 202, "1200", "88.50"},
        {{{"type", "1"}, {"jifenbao", "0"}}, 202, "1200", "88.50"},
        {{{"type", "1"}, {"jifenbao", "-5"}}, 202, "1200", "88.50"},
        {{{"type", "1"}, {"jifenbao", "99999999999999999999"}}, 202, "1200", "88.50"},
        {{{"type", "2"}}, 202, "1200", "88.50"},
        {{{"type", "2"}, {"money", "12abc"}}, 202, "1200", "88.50"},
        {{{"type", "2"}, {"money", "1.2.3"}}, 202, "1200", "88.50"},
        {{{"type", "2"}, {"money", "0.009"}}, 202, "1200", "88.50"},
        {{{"type", "2"}, {"money", "8."}}, 202, "1200", "88.50"},
        {{{"type", "2"}, {"money", "0"}}, 202, "1200", "88.50"},
        {{{"type", "3"}, {"money", "1"}}, 202, "1200", "88.50"},
        // Beyond the balance.
        {{{"type", "1"}, {"jifenbao", "1201"}}, 222, "1200", "88.50"},
        {{{"type", "2"}, {"money", "88.51"}}, 222, "1200", "88.50"},
        // Amounts: the kind's balance goes down by exactly the amount.
        {{{"type", "1"}, {"jifenbao", "100"}}, 101, "1100", "88.50"},
        {{{"type", "2"}, {"money", "8.5"}}, 101, "1200", "80.00"},
        {{{"type", "2"}, {"money", "88.50"}}, 101, "1200", "0.00"},
        {{{"type", "1"}, {"jifenbao", 1200}}, 101, "0", "88.50"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fields.dump());
        setUser({{"jifenbao", "1200"}, {"money", "88.50"}, {"txstatus", "0"}, {"tbtxstatus", "0"}});
        json reply = withdraw(c.fields);
        EXPECT_EQ(reply["code"], c.code) << reply.dump();
        if (c.code == 202 && c.fields["type"] != "3") {
            EXPECT_EQ(reply["msg"], "提现数额不正确");
        }
        json after = user();
        EXPECT_EQ(after["jifenbao"], c.jifenbaoAfter);
        EXPECT_EQ(after["money"], c.moneyAfter);
    }
}

TEST_F(MoneyServiceTest, AWithdrawalPutsItsKindUnderReviewAndFilesATypedRecord) {
    // The demo user's 集分宝 withdrawal under review holds the next one back.
    EXPECT_EQ(withdraw({{"type", "1"}, {"jifenbao", "1"}})["msg"], "您有一笔提现正在处理中");
    // A 集分宝 balance with a decimal part counts by its whole part (it once counted as 0); the
    // review over.
    setUser({{"jifenbao", "12.50"}, {"money", "30.00"}, {"tbtxstatus", "0"}});
    EXPECT_EQ(withdraw({{"type", "1"}, {"jifenbao", "13"}})["code"], 222);
    EXPECT_EQ(withdraw({{"type", "1"}, {"jifenbao", "12"}})["code"], 101);
    json after = user();
    EXPECT_EQ(after["jifenbao"], "0");
    EXPECT_EQ(after["tbtxstatus"], "1");
    EXPECT_EQ(after["txstatus"], "0");
    // Under review: no second one of that kind; the other kind still goes.
    EXPECT_EQ(withdraw({{"type", "1"}, {"jifenbao", "1"}})["msg"], "您有一笔提现正在处理中");
    EXPECT_EQ(withdraw({{"type", "2"}, {"money", "8.5"}})["code"], 101);
    EXPECT_EQ(user()["txstatus"], "1");

    // Newest first: the two new ones open the list.
    auto [rows, end] = records("out", 1);
    ASSERT_GE(rows.size(), 2u);
    const json cash = rows[0], points = rows[1];
    EXPECT_EQ(points["type"], "1");
    EXPECT_EQ(points["money"], "12");
    EXPECT_EQ(cash["type"], "2");
    EXPECT_EQ(cash["money"], "8.50");
    EXPECT_EQ(cash["account"], "zvttest@alipay.example.com");
    EXPECT_EQ(cash["status"], "审核中");

    // No account, or an empty one: refused.
    setUser({{"alipay", ""}, {"txstatus", "0"}});
    EXPECT_EQ(withdraw({{"type", "2"}, {"money", "1"}})["msg"], "请先绑定支付宝");
    setUser({{"$unset", {"alipay"}}});
    EXPECT_FALSE(user().contains("alipay"));
    EXPECT_EQ(withdraw({{"type", "2"}, {"money", "1"}})["msg"], "请先绑定支付宝");
}

TEST_F(MoneyServiceTest, TheHelpPagesSayWhatWithdrawalsTake) {
    const std::string help = service.request("GET", "/wap/help-1.php").body + service.request("GET", "/wap/help-4.php").body;
    for (const char* said : {"集分宝按整数个提取", "现金最少提取0.01元", "审核期间不能再次申请"})
        EXPECT_NE(help.find(said), std::string::npos) << said;
    for (const char* never : {"满", "每天"}) EXPECT_EQ(help.find(never), std::string::npos) << "no threshold: " << never;
    setUser({{"tbtxstatus", "0"}});  // the demo's 集分宝 withdrawal under review, settled
    EXPECT_EQ(withdraw({{"type", "2"}, {"money", "0.01"}})["code"], 101);
    EXPECT_EQ(withdraw({{"type", "1"}, {"jifenbao", "1"}})["code"], 101);
}

TEST_F(MoneyServiceTest, EachRecordKindHasItsOwnListPagedByTen) {
    struct Case {
        const char* kind;
        size_t total;
        std::vector<const char*> keys;
    };
    for (const Case& c : std::vector<Case>{{"in", 46, {"title", "content", "money", "jifen", "jifenbao", "addtime"}},
                                           {"out", 12, {"account", "type", "money", "status", "addtime"}},
                                           {"refund", 3, {"title", "content", "money", "jifen", "jifenbao", "addtime"}}}) {
        SCOPED_TRACE(c.kind);
        size_t total = 0;
        std::set<std::string> types, states;
        std::string previousTime = "9999";
        const int pages = static_cast<int>((c.total + 9) / 10);
        for (int page = 1; page <= pages; ++page) {
            auto [rows, end] = records(c.kind, page);
            EXPECT_EQ(end, page == pages ? 1 : 0);
            EXPECT_EQ(rows.size(), page < pages ? 10u : c.total - 10 * (pages - 1));
            for (const json& row : rows) {
                ++total;
                for (const char* key : c.keys) EXPECT_TRUE(row[key].is_string()) << key;
                // A row shows the content as it comes and the record page as HTML: plain text
                // with no markup reads the same in both.
                if (row.contains("content")) {
                    const std::string content = row["content"];
                    EXPECT_FALSE(content.empty());
                    EXPECT_EQ(content.find_first_of("<>&"), std::string::npos) << content;
                }
                // Newest first, across the pages.
                EXPECT_LE(row["addtime"].get<std::string>(), previousTime);
                previousTime = row["addtime"];
                // Cash in one format, two decimals, as a new withdrawal files it.
                if (row.contains("type") && row["type"] == "2") {
                    EXPECT_TRUE(std::regex_match(row["money"].get<std::string>(), std::regex("[0-9]+\\.[0-9]{2}")))
                        << row["money"];
                }
                if (row.contains("type")) types.insert(row["type"].get<std::string>());
                if (row.contains("status")) states.insert(row["status"].get<std::string>());
            }
        }
        EXPECT_EQ(total, c.total);
        if (std::string(c.kind) == "out") {
            EXPECT_EQ(types, (std::set<std::string>{"1", "2"}));
            EXPECT_GE(states.size(), 3u);
        }
    }
    // The refunds are not the income list.
    EXPECT_NE(records("refund", 1).first[0]["title"], records("in", 1).first[0]["title"]);
    EXPECT_EQ(signedDes("getUserDetailed", {{"id", kServiceTestUserId}, {"do", "all"}}, nullptr, cookie)["code"], 202);
}

TEST_F(MoneyServiceTest, NewRecordsOpenTheirListsStampedWithTheServicesClock) {
    // 2026-12-02 10:00:00 in Shanghai (02:00 UTC), the service's zone here: after every demo
    // record, before the exchange goods' offers end.
    service.configure(R"({"fixed_time": "1796176800"})");
    const std::string stamp = "2026-12-02 10:00:00";
    struct Case {
        const char* name;
        const char* op;
        json fields;
        std::vector<std::pair<const char*, json>> firstRows;  // list ("in", "out", "msg") -> fields of its first row
        bool demoAlike = false;  // the demo's older rows of that title read as the new one
    };
    const std::vector<Case> cases = {
        {"cash withdrawal", "outCash",
         {{"id", kServiceTestUserId}, {"ddpassword", kServiceTestUserPassword}, {"type", "2"}, {"money", "8.5"}, {"remark", ""}},
         {{"out", {{"type", "2"}, {"money", "8.50"}, {"status", "审核中"}}},
          {"msg", {{"title", "提现申请已受理：8.50元将在1个工作日内到账，请留意支付宝账户"}}}}},
        {"check-in", "sign", {{"id", kServiceTestUserId}},
         {{"in", {{"title", "签到奖励"}, {"content", "每日签到，获得 10 Velmo 和 1 个集分宝。"}, {"jifen", "10"}, {"jifenbao", "1"}}}},
         true},
        {"exchange", "exchange",
         {{"id", kServiceTestUserId}, {"goodId", "700"}, {"mode", "2"}, {"num", "1"}},
         {{"in", {{"title", "兑换商品"}, {"jifen", "-300"}}}, {"msg", {{"title", "兑换通知"}}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(signedDes(c.op, c.fields, nullptr, cookie)["code"], 101);
        for (const auto& [list, fields] : c.firstRows) {
            SCOPED_TRACE(list);
            std::string raw;
            json reply = std::string(list) == "msg"
                             ? signedDes("msg", {{"id", kServiceTestUserId}, {"number", "1"}}, &raw, cookie)
                             : signedDes("getUserDetailed", {{"id", kServiceTestUserId}, {"do", list}, {"number", "1"}},
                                         &raw, cookie);
            const json rows = json::parse(decipher(raw), nullptr, false);
            ASSERT_TRUE(rows.is_array() && !rows.empty()) << reply.dump();
            for (auto& [key, value] : fields.items()) EXPECT_EQ(rows[0][key], value) << key;
            EXPECT_EQ(rows[0]["addtime"], stamp);
            // The older rows follow, newest first.
            for (size_t i = 1; i < rows.size(); ++i) {
                EXPECT_GE(rows[i - 1]["addtime"].get<std::string>(), rows[i]["addtime"].get<std::string>()) << i;
                if (c.demoAlike && rows[i]["title"] == rows[0]["title"]) {
                    for (auto& [key, value] : fields.items()) EXPECT_EQ(rows[i][key], value) << i << " " << key;
                }
            }
        }
    }
}

TEST_F(MoneyServiceTest, ADataDirectoryOfTheEarlierOrderReadsAsBeforeWithNewRecordsOnTop) {
    const json demoPage = records("out", 1).first;
    ASSERT_EQ(demoPage.size(), 10u);
    service.stop();
    // Earlier versions filed the demo list newest first and appended new records after it.
    onStore(service.dataDir(), [](sqlite3* db) {
        std::vector<std::pair<int64_t, std::string>> rows;
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "SELECT seq, record FROM items WHERE kind = 'withdraw' AND owner = 10001 ORDER BY seq", -1,
                           &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW)
            rows.emplace_back(sqlite3_column_int64(st, 0), reinterpret_cast<const char*>(sqlite3_column_text(st, 1)));
        sqlite3_finalize(st);
        for (size_t i = 0; i < rows.size(); ++i) {
            sqlite3_prepare_v2(db, "UPDATE items SET record = ?1 WHERE seq = ?2", -1, &st, nullptr);
            sqlite3_bind_text(st, 1, rows[rows.size() - 1 - i].second.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int64(st, 2, rows[i].first);
            sqlite3_step(st);
            sqlite3_finalize(st);
        }
        const json appended = {{"account", "old@alipay.example.com"}, {"type", "2"}, {"money", "1.00"},
                               {"status", "审核中"}, {"addtime", "2026-12-02 09:00:00"}};
        const std::string sql = "INSERT INTO items(kind, owner, record) VALUES('withdraw', 10001, '" + appended.dump() +
                                "'); PRAGMA user_version = 0;";
        sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    });
    service.start();
    json page = records("out", 1).first;
    ASSERT_EQ(page.size(), 10u);
    EXPECT_EQ(page[0]["account"], "old@alipay.example.com");
    for (size_t i = 1; i < page.size(); ++i) EXPECT_EQ(page[i], demoPage[i - 1]) << i;

    // Filed again once: a restart keeps the order, and a new withdrawal comes on top.
    service.stop();
    service.start();
    EXPECT_EQ(withdraw({{"type", "2"}, {"money", "7"}})["code"], 101);
    page = records("out", 1).first;
    EXPECT_EQ(page[0]["money"], "7.00");
    EXPECT_EQ(page[1]["account"], "old@alipay.example.com");
    EXPECT_EQ(page[2], demoPage[0]);
}

}  // namespace
}  // namespace zvt::test::svc
