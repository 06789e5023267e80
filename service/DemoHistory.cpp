// The demo user's history: what happened to the account from its opening 91 days before the
// demo's day (the day its data is seeded, or the day a setting pins) to that day, as a list of
// happenings in time order, each applied to the account by one function with the postings the
// operations file (service/Ledger.h: a withdrawal lowers its balance and puts its kind under
// review, a coupon used closes its order's chance, a rebate credits what its order shows...).
// Balances, the states of orders, coupons and withdrawals, the records, the site messages and the
// invitations are what the history leaves, so that what one list says of a thing every other list
// says too, and nothing is dated after the moment the data is seeded.

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "service/DemoData.h"
#include "service/Ledger.h"
#include "service/Operations.h"
#include "service/Service.h"

namespace zvt::service {

namespace {

// What may happen to the account.
enum class Happening {
    opened,          // the balance it started with
    registered,      // the account registered: its welcome red packet
    announced,       // a site message of the service's own
    listed,          // a Taobao order in the list, with the coupons offered for it
    couponUsed,      // its first coupon spent on it
    rebated,         // its rebate and its coupon's award in 集分宝
    refunded,        // the order refunded: its rebate taken back
    mallPlaced,      // a mall order placed
    mallSettled,     // the mall confirmed it: its rebate in cash and Velmo
    mallVoided,      // the mall cancelled it
    checkedIn,       // a daily check-in
    friendRewarded,  // an invited friend registered or made a first purchase
    withdrawalAsked,
    withdrawalPaid,
    withdrawalReturned,
};

struct Event {
    std::string time;  // "YYYY-MM-DD HH:MM:SS"
    Happening what;
    json detail;
};

constexpr const char* kAlipay = "zvttest@alipay.example.com";

// The demo user's balances, whatever the day: cents, 集分宝, Velmo. The opening balance is what
// the rest of the history leaves to make them.
constexpr int64_t kDemoCash = 8850;
constexpr int64_t kDemoJifenbao = 1200;
constexpr int64_t kDemoJifen = 5000;

// A record or message as the account's lists file it, with what it tells of.
template <class Record>
struct FiledAs {
    Record record;
    std::string about;
};
using Filed = FiledAs<json>;

// The account as the happenings so far have left it.
struct Ledger {
    int64_t cash = 0, jifenbao = 0, jifen = 0;  // cents, 集分宝, Velmo
    int64_t paidCash = 0, paidJifenbao = 0;     // withdrawn and paid out
    bool cashUnderReview = false, jifenbaoUnderReview = false;
    std::string lastCheckin;
    std::string below;  // the first happening that took a balance below zero
    std::vector<json> taobaoOrders, coupons, mallOrders;
    std::vector<Filed> income, withdrawals, refunds;  // filed oldest first
    std::vector<FiledAs<LedgerMessage>> messages;
    std::map<std::string, size_t> news;               // what a message tells of -> the message telling its news
    std::map<std::string, int64_t> rebatedPoints;  // Taobao order id -> 集分宝 its rebate credited
    std::vector<json> rewards;                     // the invitation rewards, oldest first
    std::vector<std::pair<std::string, std::string>> friends;  // name, registration day
    std::map<std::string, int64_t> awards;                      // friend -> whole yuan

    json& order(std::vector<json>& orders, const std::string& id) {
        for (json& o : orders) {
            if (o["id"] == id) return o;
        }
        throw std::logic_error("the demo history names an unknown order " + id);
    }
    // The withdrawal asked at that moment.
    Filed& withdrawal(const std::string& asked) {
        for (Filed& w : withdrawals) {
            if (w.record["addtime"] == asked) return w;
        }
        throw std::logic_error("the demo history names an unknown withdrawal of " + asked);
    }

    // As the store files a posting: the balances moved, the record on its list, the message,
    // both about what the posting tells of; a message telling a thing's later news takes the
    // place of the one that told its earlier news.
    void post(const Posting& p) {
        cash += p.cash;
        jifenbao += p.jifenbao;
        jifen += p.jifen;
        if (below.empty() && (cash < 0 || jifenbao < 0 || jifen < 0)) below = p.record.dump();
        if (p.list == "asset") income.push_back({p.record, p.about});
        if (p.list == "refund") refunds.push_back({p.record, p.about});
        if (p.list == "withdraw") withdrawals.push_back({p.record, p.about});
        if (!p.message) return;
        auto told = p.about.empty() ? news.end() : news.find(p.about);
        if (told != news.end()) {
            messages[told->second] = {*p.message, p.about};
            return;
        }
        if (!p.about.empty()) news[p.about] = messages.size();
        messages.push_back({*p.message, p.about});
    }
};

// The one function that applies a happening to the account.
void apply(Ledger& l, const Event& e) {
    const json& d = e.detail;
    switch (e.what) {
        case Happening::opened:
            l.post(openingPosting(d["cash"], d["jifenbao"], d["jifen"], e.time));
            break;
        case Happening::registered:
            l.post(registrationPosting(e.time));
            break;
        case Happening::announced:
            l.messages.push_back({{e.time, d["title"].get<std::string>(), d["paragraph"].get<std::string>(),
                                   d["page"].get<std::string>(), d["linkText"].get<std::string>()},
                                  ""});
            break;
        case Happening::listed:
            l.taobaoOrders.push_back(d["order"]);
            for (const json& coupon : d["coupons"]) l.coupons.push_back(coupon);
            break;
        case Happening::couponUsed: {
            // As use_coupon spends one: the coupon is used, its award written into the order,
            // whose chance is over.
            json& order = l.order(l.taobaoOrders, d["order"].get<std::string>());
            auto coupon = std::find_if(l.coupons.begin(), l.coupons.end(), [&](const json& c) {
                return c["order"] == order["id"] && !c["used"].get<bool>();
            });
            if (coupon == l.coupons.end() || order["can_useCoupon"] != "1")
                throw std::logic_error("the demo history uses a coupon order " + order["id"].get<std::string>() + " cannot take");
            (*coupon)["used"] = true;
            order["coupon_award"] = (*coupon)["award"];
            order["can_useCoupon"] = "0";
            break;
        }
        case Happening::rebated: {
            // The rebate is the order's and its coupon's award; once settled, it takes no coupon.
            json& order = l.order(l.taobaoOrders, d["order"].get<std::string>());
            const Posting rebate = settleRebate(order, e.time);
            l.rebatedPoints[order["id"].get<std::string>()] = rebate.jifenbao;
            l.post(rebate);
            break;
        }
        case Happening::refunded: {
            // Its rebate taken back: the order no longer shows it, and the message of its rebate
            // tells of the refund.
            json& order = l.order(l.taobaoOrders, d["order"].get<std::string>());
            l.post(refund(order, l.rebatedPoints.at(order["id"].get<std::string>()), e.time));
            break;
        }
        case Happening::mallPlaced:
            l.mallOrders.push_back(d["order"]);
            break;
        case Happening::mallSettled: {
            json& order = l.order(l.mallOrders, d["order"].get<std::string>());
            order["status"] = "已结算";
            l.post(mallRebatePosting(order, e.time));
            break;
        }
        case Happening::mallVoided:
            l.order(l.mallOrders, d["order"].get<std::string>())["status"] = "已失效";
            break;
        case Happening::checkedIn:
            l.post(checkinPosting(e.time));
            l.lastCheckin = e.time;
            break;
        case Happening::friendRewarded: {
            const std::string people = d["people"].get<std::string>(), type = d["type"].get<std::string>();
            const int64_t yuan = d["yuan"];
            if (type == "注册奖励") l.friends.emplace_back(people, e.time.substr(0, 10));
            l.awards[people] += yuan;
            l.rewards.push_back({{"people", people}, {"type", type}, {"num", std::to_string(yuan)}, {"time", e.time.substr(0, 10)}});
            l.post(rewardPosting(people, type, yuan, e.time));
            break;
        }
        case Happening::withdrawalAsked: {
            // As outCash files it: the balance lowered, the kind under review, the record on top.
            const bool points = d["type"] == "1";
            (points ? l.jifenbaoUnderReview : l.cashUnderReview) = true;
            l.post(withdrawalPosting(kAlipay, points, d["amount"], e.time, static_cast<int64_t>(l.withdrawals.size()) + 1));
            break;
        }
        case Happening::withdrawalPaid:
        case Happening::withdrawalReturned: {
            // Its message now tells how it ended.
            Filed& w = l.withdrawal(d["asked"].get<std::string>());
            const bool points = withdrawalOfPoints(w.record);
            (points ? l.jifenbaoUnderReview : l.cashUnderReview) = false;
            const bool paidOut = e.what == Happening::withdrawalPaid;
            if (paidOut) (points ? l.paidJifenbao : l.paidCash) += withdrawalAmount(w.record);
            l.post(endWithdrawal(w.record, w.about, paidOut, e.time));
            break;
        }
    }
}

// "YYYY-MM-DD HH:MM:SS" of the day `days` after `day`, at `time`.
std::string at(const std::string& day, int days, const char* time) { return daysAfter(day, days) + " " + time; }

// The demo Taobao orders come in six kinds, in this order, so that the first page shows each:
// coupons to use (3 of them), one coupon, used the day after the order was listed, nothing to do
// (no coupon chance), 5 coupons, 2 coupons, and an order that allows a coupon but has none on
// offer.
struct OrderKind {
    bool couponChance;
    int coupons;
    bool couponUsed;
};
constexpr OrderKind kOrderKinds[] = {{true, 3, false}, {true, 1, true},  {false, 0, false},
                                     {true, 5, false}, {true, 2, false}, {true, 0, false}};
// Malls whose highest rates cover what the orders there earned (about 5 in a hundred).
const char* const kMallNames[] = {"天猫", "唯品会", "当当网", "聚美优品", "网易严选", "蘑菇街"};

// The goods of an order: a product of the store, small things of the 9.9 list or of the 优品特卖
// list (so that rebates are of a few yuan), none of the pictures that show a fault. The order
// opens its page and pays its promotion price.
const json& goodsOf(int order) {
    const auto& products = demoProducts();
    for (size_t k = 0; k < products.size(); ++k) {
        const json& p = products[(static_cast<size_t>(order) * 41 + k) % products.size()];
        const std::string pic = p["pic_url"];
        if (p["type"] == "3" || p["is_sold_out"] == "1" || pic.find("/images/product") == std::string::npos) continue;
        if (cents(p["promotion_price"].get<std::string>()) <= 3000) return p;
    }
    throw std::logic_error("no demo product for an order");
}

// Everything that happened up to the demo's moment, in no particular order; the opening balance
// as given.
std::vector<Event> happenings(const DemoDay& demo, int64_t cash, int64_t jifenbao, int64_t jifen) {
    std::vector<Event> events;
    auto add = [&](const std::string& time, Happening what, json detail = json::object()) {
        if (time <= demo.moment) events.push_back({time, what, std::move(detail)});
    };
    const std::string& day = demo.day;

    // The account opened with the balance of an earlier one.
    const std::string opened = at(day, -91, "09:00:00");
    add(opened, Happening::opened, {{"cash", cash}, {"jifenbao", jifenbao}, {"jifen", jifen}});
    auto announce = [&](const std::string& time, const std::string& title, const std::string& paragraph, const std::string& page,
                        const std::string& linkText) {
        add(time, Happening::announced, {{"title", title}, {"paragraph", paragraph}, {"page", page}, {"linkText", linkText}});
    };
    // The application's invite screen (「我的」, 「邀请好友」) shares through its 「立即邀请」 panel.
    announce(at(day, -91, "12:00:00"), "邀请好友：好友注册奖励2元，首次购物再奖3元起",
             "在「我的」页点「邀请好友」，再点「立即邀请」分享给好友。好友注册成功即奖励您2元现金，好友首次购物确认收货后再奖励3元起，奖励直接计入您的余额。",
             "/wap/activity.php?id=4", "查看活动详情");
    // The Double Eleven activity, announced when it opens, if it opened within the story.
    std::string doubleEleven = day.substr(0, 4) + "-11-01 09:00:00";
    if (doubleEleven > demo.moment) doubleEleven = std::to_string(std::stoi(day.substr(0, 4)) - 1) + "-11-01 09:00:00";
    if (doubleEleven >= opened) {
        announce(doubleEleven, "双十一返利狂欢：11月1日至11日付款的淘宝订单回扣翻倍",
                 "活动期间从Zavelto打开淘宝下单，付款的订单回扣按平时的两倍计算，“回扣订单”里显示的就是翻倍后的回扣，确认收货后记入您的账户。",
                 "/wap/activity.php?id=1", "查看活动详情");
    }

    // 25 Taobao orders, paid one a day from four days before the demo's day back; record ids
    // from "3000". Each is listed once its receipt is confirmed, three days after payment (it
    // shows within hours, as the orders list promises within 24); a coupon is used on it after
    // that. A week after the confirmation the orders whose coupon chance is over have their
    // rebate; those paid 18 days or more before the demo's day were refunded four days after it.
    int64_t couponId = 101;
    for (int i = 0; i < 25; ++i) {
        const OrderKind& kind = kOrderKinds[i % 6];
        const std::string id = std::to_string(3000 + i);
        const std::string paidDay = daysAfter(day, -4 - i);
        const json order = taobaoOrder(id, std::to_string(88000000000000LL + i * 17), goodsOf(i), paidDay + " 12:20:00",
                                       paidDay + " 12:30:00", i % 2, kind.couponChance);
        json coupons = json::array();
        for (int c = 0; c < kind.coupons; ++c) coupons.push_back(couponOf(couponId++, 1 + c % 3, id));
        add(at(paidDay, 3, "11:00:00"), Happening::listed, {{"order", order}, {"coupons", coupons}});
        if (kind.couponUsed) add(at(paidDay, 4, "20:00:00"), Happening::couponUsed, {{"order", id}});
        if (kind.couponChance && !kind.couponUsed) continue;
        add(at(paidDay, 10, "09:00:00"), Happening::rebated, {{"order", id}});
        if (paidDay <= daysAfter(day, -18)) add(at(paidDay, 14, "16:30:00"), Happening::refunded, {{"order", id}});
    }

    // 12 mall orders, placed one a day from 34 days before the demo's day back, each at its mall;
    // 20 days later the mall settles or cancels every third, the rest still waiting.
    for (int i = 0; i < 12; ++i) {
        const std::string id = std::to_string(6000 + i);
        const std::string placedAt = at(day, -34 - i, "09:15:00");
        const json mall = demoMall(kMallNames[i % 6]);
        add(placedAt, Happening::mallPlaced,
            {{"order",
              {{"id", id},
               {"fxje", moneyText(300 + i * 45)},
               {"img", mall["img"]},
               {"item_count", std::to_string(1 + i % 3)},
               {"item_price", moneyText(5900 + i * 1000)},
               {"jifen", std::to_string(30 + i * 4)},
               {"mall_name", mall["title"]},
               {"order_code", "M" + std::to_string(202611000 + i)},
               {"order_time", placedAt},
               {"status", "待结算"}}}});
        const std::string decided = at(placedAt.substr(0, 10), 20, "15:00:00");
        if (i % 3 == 0) add(decided, Happening::mallSettled, {{"order", id}});
        if (i % 3 == 2) add(decided, Happening::mallVoided, {{"order", id}});
    }

    // Check-ins on the last five days before the demo's day.
    for (int d = 0; d < 5; ++d) add(at(day, d - 5, "08:30:00"), Happening::checkedIn);

    for (const DemoInviteReward& reward : demoInviteRewards(daysAfter(day, -90))) {
        add(reward.time, Happening::friendRewarded, {{"people", reward.people}, {"type", reward.type}, {"yuan", reward.yuan}});
    }

    // Withdrawals of both kinds, one a week back from the demo's day: 集分宝 (a count) and cash
    // in turn, each paid out the next morning but every fourth returned; the newest, 300 集分宝,
    // asked on the demo's day (at ten, or at the moment of seeding when that is earlier) and still
    // under review, as the screens show one.
    for (int i = 11; i >= 0; --i) {
        const bool points = i % 2 == 0;
        std::string asked = at(day, -7 * i, "10:00:00");
        if (i == 0) asked = std::min(asked, demo.moment.substr(0, 16) + ":00");
        add(asked, Happening::withdrawalAsked, {{"type", points ? "1" : "2"}, {"amount", points ? 300 + i * 50 : 1150 + i * 100}});
        if (i == 0) continue;
        add(at(asked.substr(0, 10), 1, "09:30:00"), i % 4 == 3 ? Happening::withdrawalReturned : Happening::withdrawalPaid,
            {{"asked", asked}});
    }
    return events;
}

// Unix seconds of a "YYYY-MM-DD HH:MM:SS" in the machine's zone, as the records are stamped.
int64_t localSeconds(const std::string& when) {
    std::tm tm{};
    std::sscanf(when.c_str(), "%d-%d-%d %d:%d:%d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour, &tm.tm_min, &tm.tm_sec);
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    tm.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&tm));
}

Ledger run(std::vector<Event> events) {
    std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) { return a.time < b.time; });
    Ledger l;
    for (const Event& e : events) apply(l, e);
    return l;
}

// What a history leaves of an account.
DemoAccount account(int64_t uid, Ledger& l) {
    if (!l.below.empty()) throw std::logic_error("the demo history takes a balance below zero at " + l.below);
    DemoAccount out;
    out.fields = {{"money", moneyText(l.cash)},
                  {"jifenbao", std::to_string(l.jifenbao)},
                  {"jifen", std::to_string(l.jifen)},
                  {"txstatus", l.cashUnderReview ? "1" : "0"},
                  {"tbtxstatus", l.jifenbaoUnderReview ? "1" : "0"},
                  {"yitixian", moneyText(l.paidCash)},
                  {"tbyitixian", std::to_string(l.paidJifenbao)},
                  {"signtime", l.lastCheckin.empty() ? "0" : std::to_string(localSeconds(l.lastCheckin))}};
    auto file = [&](const char* kind, std::vector<json>& rows) {
        for (json& row : rows) out.items.push_back({kind, uid, std::move(row)});
    };
    auto fileAbout = [&](const char* kind, std::vector<Filed>& rows) {
        for (Filed& row : rows) out.items.push_back({kind, uid, std::move(row.record), row.about});
    };
    // The orders as they came, oldest first (their lists read them by the moments they were paid
    // or placed); the coupons by their ids.
    std::stable_sort(l.coupons.begin(), l.coupons.end(), [](const json& a, const json& b) { return a["id"] < b["id"]; });
    file("taobao_order", l.taobaoOrders);
    file("coupon", l.coupons);
    file("store_order", l.mallOrders);
    fileAbout("asset", l.income);
    fileAbout("withdraw", l.withdrawals);
    fileAbout("refund", l.refunds);
    // The messages by their time (a withdrawal's or an order's tells its last news), each
    // linking to the page on its topic; their ids are given as the demo data is filed.
    std::stable_sort(l.messages.begin(), l.messages.end(),
                     [](const FiledAs<LedgerMessage>& a, const FiledAs<LedgerMessage>& b) { return a.record.time < b.record.time; });
    for (const FiledAs<LedgerMessage>& m : l.messages) out.items.push_back({"message", uid, m.record.record(0), m.about});
    // The rewards oldest first; the friends in the order they registered, each with the sum of
    // its rewards, as whole numbers and as texts with two decimals, as the service has stored both.
    file("invite", l.rewards);
    for (size_t i = 0; i < l.friends.size(); ++i) {
        const int64_t award = l.awards[l.friends[i].first];
        out.items.push_back({"old_invite",
                             uid,
                             {{"people", l.friends[i].first},
                              {"award", i % 3 == 1 ? json(std::to_string(award) + ".00") : json(award)},
                              {"regTime", l.friends[i].second}}});
    }
    return out;
}

}  // namespace

DemoAccount demoHistory(int64_t uid, const DemoDay& demo) {
    // First without an opening balance: what the rest leaves; then opened with what makes the
    // demo user's balances.
    const Ledger rest = run(happenings(demo, 0, 0, 0));
    Ledger l = run(happenings(demo, kDemoCash - rest.cash, kDemoJifenbao - rest.jifenbao, kDemoJifen - rest.jifen));
    return account(uid, l);
}

DemoAccount demoRegisteredAccount(int64_t uid, const DemoDay& demo) {
    Ledger l = run({{at(demo.day, -3, "20:00:00"), Happening::registered, json::object()}});
    return account(uid, l);
}

DemoAccount demoOpenedAccount(int64_t uid, int64_t cash, int64_t jifenbao, int64_t jifen, const DemoDay& demo) {
    Ledger l = run({{at(demo.day, -91, "09:00:00"), Happening::opened, {{"cash", cash}, {"jifenbao", jifenbao}, {"jifen", jifen}}}});
    return account(uid, l);
}

}  // namespace zvt::service
