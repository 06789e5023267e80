// The invitation and site-message operations of the local service: the leaderboard, the
// totals over awards stored as numbers and as texts, the reward and friend pages at the page
// sizes the screens ask for, and the message pages with their HTML contents.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "tests/service/ServiceTestSupport.h"

namespace zvt::test::svc {
namespace {

class InviteServiceTest : public ServiceTest {
protected:
    json page(const std::string& op, int number, int ps, const std::string& cookie) {
        return signedJson(op, {{"uid", kServiceTestUserId}, {"number", std::to_string(number)}, {"ps", std::to_string(ps)}},
                          cookie);
    }
};

TEST_F(InviteServiceTest, LeaderboardHasTenInvitersForAnyone) {
    json reply = post(kJsonPath + "get_invitePage_data", "", "application/json");
    ASSERT_TRUE(reply["inviteData"].is_array()) << reply.dump();
    ASSERT_EQ(reply["inviteData"].size(), 10u);
    for (const json& row : reply["inviteData"]) {
        EXPECT_TRUE(row["num"].is_string());
        EXPECT_TRUE(row["username"].is_string());
    }
}

TEST_F(InviteServiceTest, TotalsAddWholeAndTextAwardsAndThePagesEndOnTheThird) {
    // A data directory of an earlier version holds a friend whose award is a text with decimals.
    service.stop();
    onStore(service.dataDir(), [](sqlite3* db) {
        const json older = {{"people", "好友甲"}, {"award", "3.8"}, {"regTime", "2026-08-30"}};
        const std::string sql = "INSERT INTO items(kind, owner, record) VALUES('old_invite', 10001, '" + older.dump() + "');";
        ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    });
    service.start();
    const std::string cookie = login(kServiceTestUserName, kServiceTestUserPassword);
    // Every award of the friends' pages, whatever its kind, in cents.
    int64_t cents = 0;
    size_t friends = 0;
    bool textAward = false, wholeAward = false;
    struct Family {
        const char* op;
        int ps;
        size_t lastPage;
    };
    for (const Family& f : {Family{"invite_info", 10, 10}, Family{"old_invite_info", 12, 2}}) {
        SCOPED_TRACE(f.op);
        for (int number = 1; number <= 3; ++number) {
            json reply = page(f.op, number, f.ps, cookie);
            ASSERT_EQ(reply["code"], 101) << reply.dump();
            EXPECT_EQ(reply["end"], number == 3 ? 1 : 0);
            EXPECT_EQ(reply["data"].size(), number == 3 ? f.lastPage : static_cast<size_t>(f.ps));
            if (std::string(f.op) != "old_invite_info") continue;
            for (const json& row : reply["data"]) {
                ++friends;
                const json& award = row["award"];
                if (award.is_string()) {
                    textAward = true;
                    cents += std::llround(std::stod(award.get<std::string>()) * 100);
                } else {
                    wholeAward = true;
                    cents += award.get<int64_t>() * 100;
                }
            }
        }
    }
    EXPECT_TRUE(textAward && wholeAward) << "both kinds of award are stored";
    EXPECT_EQ(cents % 100, 80) << "the older directory's 3.8 counts with its decimals";

    json totals = signedJson("user_invite", {{"uid", kServiceTestUserId}}, cookie);
    ASSERT_EQ(totals["code"], 101) << totals.dump();
    EXPECT_EQ(totals["data"]["inviteTotal"], std::to_string(friends));
    EXPECT_DOUBLE_EQ(std::stod(totals["data"]["inviteMoney"].get<std::string>()), cents / 100.0);
}

TEST_F(InviteServiceTest, MessagesComeTenToAPageWithHtmlContents) {
    const std::string cookie = login(kServiceTestUserName, kServiceTestUserPassword);
    size_t count = 0, longTitles = 0;
    for (int number = 1; number <= 3; ++number) {
        std::string raw;
        json reply = signedDes("msg", {{"id", kServiceTestUserId}, {"number", std::to_string(number)}}, &raw, cookie);
        ASSERT_EQ(reply["code"], 101);
        EXPECT_EQ(reply["end"], number == 3 ? 1 : 0);
        json rows = json::parse(decipher(raw), nullptr, false);
        ASSERT_TRUE(rows.is_array());
        for (const json& row : rows) {
            ++count;
            const std::string content = row["content"];
            EXPECT_NE(content.find("<h3>"), std::string::npos);
            EXPECT_NE(content.find("<p>"), std::string::npos);
            EXPECT_NE(content.find("<a href=\"http://"), std::string::npos) << "the root is filled in";
            if (row["title"].get<std::string>().size() > 60) ++longTitles;
            EXPECT_FALSE(row["addtime"].get<std::string>().empty());
        }
    }
    EXPECT_EQ(count, 25u);
    EXPECT_GE(longTitles, 5u);
}

TEST_F(InviteServiceTest, TheHomeInviteBlockOpensAnActivityPage) {
    json config = post(kJsonPath + "get_ios_config", "", "application/json");
    bool found = false;
    for (const json& item : config["blockBanner"]) {
        if (item["name"] != "邀请好友") continue;
        found = true;
        EXPECT_EQ(item["local"], "0");
        EXPECT_NE(item["link"].get<std::string>().find("/wap/activity.php?id="), std::string::npos);
    }
    EXPECT_TRUE(found);
}

}  // namespace
}  // namespace zvt::test::svc
