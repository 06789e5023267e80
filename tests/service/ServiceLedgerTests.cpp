// What the local service's money operations leave in its store when the process dies in the
// middle of one, and when several run at once: each balance and stock moves by exactly what the
// records filed with it add up to. The store is read straight from its SQLite file.

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/service/ServiceTestSupport.h"

namespace zvt::test::svc {
namespace {

// The demo user's record and every list record the money operations touch (the user's own and
// the exchange goods), with their places in the store.
struct Ledger {
    json user;
    struct Item {
        int64_t seq;
        std::string kind;
        json record;
    };
    std::vector<Item> items;

    int64_t lastSeq() const { return items.empty() ? 0 : items.back().seq; }
};

// What `after` holds differently from `before`, one line a field or record ("" when nothing).
std::string changes(const Ledger& before, const Ledger& after) {
    std::string out;
    for (const json* u : {&before.user, &after.user}) {
        for (auto& [key, value] : u->items()) {
            const json was = before.user.value(key, json()), is = after.user.value(key, json());
            if (was != is && (u == &before.user || !before.user.contains(key)))
                out += "user " + key + ": " + was.dump() + " -> " + is.dump() + "\n";
        }
    }
    std::map<int64_t, const Ledger::Item*> was, is;
    for (const auto& i : before.items) was[i.seq] = &i;
    for (const auto& i : after.items) is[i.seq] = &i;
    for (const auto& [seq, item] : is) {
        if (!was.count(seq)) out += "added " + item->kind + " " + item->record.dump() + "\n";
        else if (was[seq]->record != item->record) out += "changed " + item->kind + " " + item->record.dump() + "\n";
    }
    for (const auto& [seq, item] : was)
        if (!is.count(seq)) out += "gone " + item->kind + " " + item->record.dump() + "\n";
    return out;
}

Ledger readLedger(const std::string& dataDir) {
    Ledger ledger;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2((dataDir + "/zavelto.sqlite").c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << "cannot open the store";
        sqlite3_close(db);
        return ledger;
    }
    sqlite3_busy_timeout(db, 5000);
    auto each = [&](const char* sql, auto&& row) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
        while (st && sqlite3_step(st) == SQLITE_ROW) row(st);
        sqlite3_finalize(st);
    };
    auto text = [](sqlite3_stmt* st, int col) {
        const unsigned char* t = sqlite3_column_text(st, col);
        return t ? std::string(reinterpret_cast<const char*>(t)) : std::string();
    };
    each("SELECT record FROM users WHERE id = 10001",
         [&](sqlite3_stmt* st) { ledger.user = json::parse(text(st, 0)); });
    each("SELECT seq, kind, record FROM items WHERE owner = 10001 OR kind = 'exchange_good' ORDER BY seq",
         [&](sqlite3_stmt* st) {
             ledger.items.push_back({sqlite3_column_int64(st, 0), text(st, 1), json::parse(text(st, 2))});
         });
    sqlite3_close(db);
    return ledger;
}

// Amounts as the records and balances write them ("-300", "12.5", "50.00") in hundredths.
int64_t hundredths(const json& value) {
    const std::string s = value.is_string() ? value.get<std::string>() : value.dump();
    return std::llround(std::stod(s.empty() ? "0" : s) * 100);
}

// Everything filed since `base` against what moved: the balances by the asset records and the
// withdrawals, each good's stock by the exchange orders, one asset record and one message per
// order, each newly spent coupon by its order.
void expectBalanced(const Ledger& base, const Ledger& now) {
    int64_t jifen = 0, jifenbao = 0, money = 0;
    int64_t orders = 0, exchangeRecords = 0, exchangeMessages = 0;
    std::map<std::string, int64_t> ordered;  // good id -> items ordered
    for (const auto& item : now.items) {
        if (item.seq <= base.lastSeq()) continue;
        const json& r = item.record;
        if (item.kind == "asset") {
            jifen += hundredths(r["jifen"]);
            jifenbao += hundredths(r["jifenbao"]);
            money += hundredths(r["money"]);
            exchangeRecords += r["title"] == "兑换商品" ? 1 : 0;
        } else if (item.kind == "withdraw") {
            (r["type"] == "1" ? jifenbao : money) -= hundredths(r["money"]);
        } else if (item.kind == "exchange") {
            ++orders;
            ordered[r["goodId"]] += std::stoll(r["num"].get<std::string>());
        } else if (item.kind == "message") {
            exchangeMessages += r["title"] == "兑换通知" ? 1 : 0;
        }
    }
    EXPECT_EQ(hundredths(now.user["jifen"]) - hundredths(base.user["jifen"]), jifen);
    EXPECT_EQ(hundredths(now.user["jifenbao"]) - hundredths(base.user["jifenbao"]), jifenbao);
    EXPECT_EQ(hundredths(now.user["money"]) - hundredths(base.user["money"]), money);
    EXPECT_EQ(exchangeRecords, orders);
    EXPECT_EQ(exchangeMessages, orders);

    std::map<std::string, int64_t> stockBefore;
    std::map<int64_t, json> couponsBefore;
    std::map<std::string, json> ordersBefore;
    for (const auto& item : base.items) {
        if (item.kind == "exchange_good") stockBefore[item.record["id"]] = std::stoll(item.record["num"].get<std::string>());
        if (item.kind == "coupon") couponsBefore[item.seq] = item.record;
        if (item.kind == "taobao_order") ordersBefore[item.record["id"]] = item.record;
    }
    std::map<std::string, json> ordersNow;
    for (const auto& item : now.items)
        if (item.kind == "taobao_order") ordersNow[item.record["id"]] = item.record;
    size_t spent = 0, ordersAwarded = 0;
    for (const auto& item : now.items) {
        if (item.kind == "exchange_good") {
            const std::string id = item.record["id"];
            EXPECT_EQ(stockBefore[id] - std::stoll(item.record["num"].get<std::string>()), ordered[id]) << "good " << id;
        }
        if (item.kind == "coupon" && item.record["used"] == true && couponsBefore[item.seq]["used"] == false) {
            ++spent;
            const json& order = ordersNow[item.record["order"]];
            EXPECT_EQ(order["can_useCoupon"], "0");
            EXPECT_EQ(order["coupon_award"], item.record["award"]);
        }
    }
    for (const auto& [id, order] : ordersNow)
        ordersAwarded += order["can_useCoupon"] == "0" && ordersBefore[id]["can_useCoupon"] == "1" ? 1 : 0;
    EXPECT_EQ(spent, ordersAwarded);
}

class ServiceLedgerTest : public ServiceTest {
protected:
    void SetUp() override {
        cookie = login(kServiceTestUserName, kServiceTestUserPassword);
        // No withdrawal under review (the demo's 集分宝 one settled): every operation can run.
        auto r = service.request("POST", "/__test/user",
                                 json{{"id", kServiceTestUserId}, {"jifen", "1000"}, {"jifenbao", "500"},
                                      {"money", "50.00"}, {"signtime", "0"}, {"tbtxstatus", "0"}}
                                     .dump(),
                                 "application/json");
        ASSERT_EQ(r.status, 200) << r.body;
    }

    // One signed call of the user's; the HTTP status (0: no reply) and the reply's code.
    std::pair<int, int> call(const std::string& op, json fields, bool jsonInterface = false) const {
        const std::vector<std::pair<std::string, std::string>> headers = {{"Cookie", cookie}};
        ServiceProcess::Response r =
            jsonInterface ? service.request("POST", kJsonPath + op, signedWith(fields, jsonTime()).dump(),
                                            "application/json", headers)
                          : service.request("POST", kDesPath + op, encipheredBody(signedWith(fields, desTime())),
                                            kFormType, headers);
        json reply = json::parse(r.body, nullptr, false);
        return {r.status, reply.is_object() && reply["code"].is_number_integer() ? reply["code"].get<int>() : -1};
    }

    std::string cookie;
};

TEST_F(ServiceLedgerTest, AnOperationKilledBetweenTwoOfItsWritesLeavesNoneOfThem) {
    struct Case {
        const char* name;
        const char* op;
        json fields;
        bool jsonInterface;
        int killedAfterWrite;
    };
    const json velmo = {{"id", kServiceTestUserId}, {"goodId", "700"}, {"mode", "2"}, {"num", "2"},
                        {"realName", "张三"}, {"address", "北京"}, {"mobile", "13800138000"}, {"content", ""}};
    json jifenbao = velmo;
    jifenbao["goodId"] = "703";
    jifenbao["mode"] = "1";
    jifenbao["num"] = "1";
    const json pointsOut = {{"id", kServiceTestUserId}, {"ddpassword", kServiceTestUserPassword}, {"type", "1"},
                            {"jifenbao", "120"}, {"remark", ""}};
    const json cashOut = {{"id", kServiceTestUserId}, {"ddpassword", kServiceTestUserPassword}, {"type", "2"},
                          {"money", "12.5"}, {"remark", ""}};
    const std::vector<Case> cases = {
        // An exchange writes the balance, the stock, the order, the asset record and the message.
        {"exchange, after the balance", "exchange", velmo, false, 1},
        {"exchange, after the stock", "exchange", velmo, false, 2},
        {"exchange, after the order", "exchange", velmo, false, 3},
        {"exchange, after the asset record", "exchange", velmo, false, 4},
        {"exchange in 集分宝, after the balance", "exchange", jifenbao, false, 1},
        {"check-in, after the balances", "sign", {{"id", kServiceTestUserId}}, false, 1},
        {"集分宝 withdrawal, after its record", "outCash", pointsOut, false, 1},
        {"cash withdrawal, after its record", "outCash", cashOut, false, 1},
        {"coupon, after spending it", "use_coupon", {{"uid", kServiceTestUserId}, {"couponId", 101}, {"tradeId", "3000"}},
         true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Ledger before = readLedger(service.dataDir());
        service.configure(json{{"die_after_write", {{"op", c.op}, {"write", c.killedAfterWrite}}}}.dump());
        EXPECT_EQ(call(c.op, c.fields, c.jsonInterface).first, 0) << "no reply from a process that died";
        const int status = service.stop();
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;

        service.start();
        const Ledger after = readLedger(service.dataDir());
        EXPECT_EQ(changes(before, after), "") << "nothing of the operation stays";

        // Run whole, it moves everything together.
        EXPECT_EQ(call(c.op, c.fields, c.jsonInterface), std::make_pair(200, 101));
        const Ledger done = readLedger(service.dataDir());
        EXPECT_NE(changes(before, done), "");
        expectBalanced(before, done);
        // The next case starts from a state every operation can run in again.
        ASSERT_EQ(service.request("POST", "/__test/reset?reseed=1").status, 200);
        cookie = login(kServiceTestUserName, kServiceTestUserPassword);
        service.setUserFields(json{{"id", kServiceTestUserId}, {"jifen", "1000"}, {"jifenbao", "500"},
                                   {"money", "50.00"}, {"signtime", "0"}, {"tbtxstatus", "0"}}
                                  .dump());
    }
}

TEST_F(ServiceLedgerTest, OperationsRacingOnOneUserMoveItsBalancesByTheirRecords) {
    service.setUserFields(json{{"id", kServiceTestUserId}, {"jifen", "100000"}, {"jifenbao", "100000"}}.dump());
    const Ledger before = readLedger(service.dataDir());
    constexpr int kClients = 8;
    std::vector<std::map<std::string, std::vector<int>>> codes(kClients);  // per client: op -> codes
    std::vector<std::thread> clients;
    std::mutex startMutex;
    std::condition_variable startSignal;
    bool go = false;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&, c] {
            {
                std::unique_lock lock(startMutex);
                startSignal.wait(lock, [&] { return go; });
            }
            auto note = [&](const char* op, std::pair<int, int> reply) { codes[c][op].push_back(reply.second); };
            note("sign", call("sign", {{"id", kServiceTestUserId}}));
            note("outCash 1", call("outCash", {{"id", kServiceTestUserId}, {"ddpassword", kServiceTestUserPassword},
                                               {"type", "1"}, {"jifenbao", "100"}, {"remark", ""}}));
            note("outCash 2", call("outCash", {{"id", kServiceTestUserId}, {"ddpassword", kServiceTestUserPassword},
                                               {"type", "2"}, {"money", "1.5"}, {"remark", ""}}));
            // Goods 709 and 710 have 91 and 90 in stock: not enough for every order.
            for (int i = 0; i < 5; ++i) {
                note("exchange", call("exchange", {{"id", kServiceTestUserId},
                                                   {"goodId", i % 2 ? "709" : "710"},
                                                   {"mode", c % 2 ? "1" : "2"},
                                                   {"num", std::to_string(3 + (c + i) % 3)}}));
            }
        });
    }
    {
        std::lock_guard lock(startMutex);
        go = true;
    }
    startSignal.notify_all();
    for (auto& t : clients) t.join();

    std::map<std::string, std::map<int, int>> tally;  // op -> code -> count
    for (const auto& client : codes)
        for (const auto& [op, list] : client)
            for (int code : list) ++tally[op][code];
    // Once a day, one withdrawal of each kind at a time; the rest are refused, none fails.
    EXPECT_EQ(tally["sign"], (std::map<int, int>{{101, 1}, {251, kClients - 1}}));
    EXPECT_EQ(tally["outCash 1"], (std::map<int, int>{{101, 1}, {202, kClients - 1}}));
    EXPECT_EQ(tally["outCash 2"], (std::map<int, int>{{101, 1}, {202, kClients - 1}}));
    EXPECT_EQ(tally["exchange"][101] + tally["exchange"][202], 5 * kClients) << json(tally["exchange"]).dump();
    EXPECT_GT(tally["exchange"][202], 0) << "the stock ran out";
    const Ledger after = readLedger(service.dataDir());
    expectBalanced(before, after);
}

}  // namespace
}  // namespace zvt::test::svc
