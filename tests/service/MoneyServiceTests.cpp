// The money family of the local service: which withdrawal amounts it takes, what a withdrawal
// does to the balance, the review state and the records, and the three record lists page by
// page.

#include <gtest/gtest.h>

#include <set>

#include "tests/service/ServiceTestSupport.h"

namespace zvt::test::svc {
namespace {

class MoneyServiceTest : public ServiceTest {
protected:
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
    // A 集分宝 balance with a decimal part counts by its whole part (it once counted as 0).
    setUser({{"jifenbao", "12.50"}, {"money", "30.00"}});
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

    auto [rows, end] = records("out", 2);
    ASSERT_GE(rows.size(), 2u);
    const json cash = rows[rows.size() - 1], points = rows[rows.size() - 2];
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

TEST_F(MoneyServiceTest, EachRecordKindHasItsOwnListPagedByTen) {
    struct Case {
        const char* kind;
        size_t total;
        std::vector<const char*> keys;
    };
    for (const Case& c : std::vector<Case>{{"in", 25, {"title", "content", "money", "jifen", "jifenbao", "addtime"}},
                                           {"out", 12, {"account", "type", "money", "status", "addtime"}},
                                           {"refund", 8, {"title", "content", "money", "jifen", "jifenbao", "addtime"}}}) {
        SCOPED_TRACE(c.kind);
        size_t total = 0;
        std::set<std::string> types, states;
        const int pages = static_cast<int>((c.total + 9) / 10);
        for (int page = 1; page <= pages; ++page) {
            auto [rows, end] = records(c.kind, page);
            EXPECT_EQ(end, page == pages ? 1 : 0);
            EXPECT_EQ(rows.size(), page < pages ? 10u : c.total - 10 * (pages - 1));
            for (const json& row : rows) {
                ++total;
                for (const char* key : c.keys) EXPECT_TRUE(row[key].is_string()) << key;
                if (row.contains("content")) {
                    EXPECT_EQ(row["content"].get<std::string>().rfind("<p>", 0), 0u);
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

}  // namespace
}  // namespace zvt::test::svc
