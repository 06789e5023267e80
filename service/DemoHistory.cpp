// The demo user's history: what happened to the account from its opening on 1 September to
// 1 December, as a list of happenings in time order, each applied to the account by one
// function with the rules the service's operations apply (a withdrawal lowers its balance and
// puts its kind under review, a coupon used closes its order's chance, a rebate credits what its
// order shows...). Balances, the states of orders, coupons and withdrawals, the records, the
// site messages and the invitations are what the history leaves, so that what one list says of
// a thing every other list says too.

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "service/DemoData.h"
#include "service/Operations.h"
#include "service/Service.h"

namespace zvt::service {

namespace {

// What may happen to the account.
enum class Happening {
    opened,          // the balance it started with
    announced,       // a site message of the service's own
    placed,          // a Taobao order paid, with the coupons offered for it
    couponUsed,      // its first coupon spent on it
    rebated,         // the order confirmed: its rebate and its coupon's award in 集分宝
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

struct Message {
    std::string time, title, paragraph, page, linkText;
};

const std::string kWithdrawalHelp = "/wap/help-4.php";
const std::string kShoppingHelp = "/wap/help-2.php";
constexpr const char* kAlipay = "zvttest@alipay.example.com";
constexpr const char* kReturned = "提现失败，已退回";

// The account as the happenings so far have left it.
struct Ledger {
    int64_t cash = 0, jifenbao = 0, jifen = 0;  // cents, 集分宝, Velmo
    int64_t paidCash = 0, paidJifenbao = 0;     // withdrawn and paid out
    bool cashUnderReview = false, jifenbaoUnderReview = false;
    std::string lastCheckin;
    std::vector<json> taobaoOrders, coupons, mallOrders;
    std::vector<json> income, withdrawals, refunds;  // filed oldest first
    std::vector<Message> messages;
    std::map<std::string, size_t> withdrawalMessage;  // request time -> the message telling its state
    std::map<std::string, int64_t> rebatedPoints;     // Taobao order id -> 集分宝 its rebate credited
    std::vector<json> rewards;                        // the invitation rewards, oldest first
    std::vector<std::pair<std::string, std::string>> friends;  // name, registration day
    std::map<std::string, int64_t> awards;                      // friend -> whole yuan

    json& order(std::vector<json>& orders, const std::string& id) {
        for (json& o : orders) {
            if (o["id"] == id) return o;
        }
        throw std::logic_error("the demo history names an unknown order " + id);
    }
    json& withdrawal(const std::string& asked) {
        for (json& w : withdrawals) {
            if (w["addtime"] == asked) return w;
        }
        throw std::logic_error("the demo history names an unknown withdrawal of " + asked);
    }
};

json record(const std::string& title, const std::string& content, int64_t cash, int64_t jifenbao, int64_t jifen,
            const std::string& when) {
    return {{"title", title},
            {"content", content},
            {"money", moneyText(cash)},
            {"jifenbao", std::to_string(jifenbao)},
            {"jifen", std::to_string(jifen)},
            {"addtime", when}};
}

std::string withdrawalAmount(const json& w) {
    return w["money"].get<std::string>() + (w["type"] == "1" ? "个集分宝" : "元");
}

// The site message that tells a withdrawal's state: taken, paid out or returned.
Message withdrawalMessage(const json& w, const std::string& when) {
    const std::string amount = withdrawalAmount(w), asked = w["addtime"], account = w["account"];
    if (w["status"] == "审核中") {
        return {when, "提现申请已受理：" + amount + "将在1个工作日内到账，请留意支付宝账户",
                "您于" + asked.substr(0, 16) + "申请提现" + amount + "到支付宝账户 " + account + "，审核通过后1个工作日内到账，节假日顺延。",
                kWithdrawalHelp, "查看提现问题"};
    }
    if (w["status"] == "已到账") {
        return {when, "提现已到账：" + amount + "已转入您绑定的支付宝账户",
                "您于" + asked.substr(0, 10) + "申请的提现" + amount + "已转入支付宝账户 " + account + "，请注意查收。", kWithdrawalHelp,
                "查看提现问题"};
    }
    return {when, "提现失败：" + amount + "已退回您的账户，请检查支付宝账号和姓名是否一致后重新申请",
            "您于" + asked.substr(0, 10) + "申请的提现" + amount + "未能转入支付宝账户 " + account + "，已全数退回您的账户。",
            kWithdrawalHelp, "查看提现问题"};
}

// The one function that applies a happening to the account.
void apply(Ledger& l, const Event& e) {
    const json& d = e.detail;
    switch (e.what) {
        case Happening::opened: {
            const int64_t cash = d["cash"], points = d["jifenbao"], velmo = d["jifen"];
            l.cash += cash;
            l.jifenbao += points;
            l.jifen += velmo;
            // The text names what it brings, and only that.
            std::vector<std::string> parts;
            if (cash) parts.push_back(moneyText(cash) + "元");
            if (points) parts.push_back(std::to_string(points) + " 个集分宝");
            if (velmo) parts.push_back(std::to_string(velmo) + " Velmo");
            std::string brought;
            for (size_t i = 0; i < parts.size(); ++i) brought += (i == 0 ? "" : i + 1 == parts.size() ? " 和 " : "、") + parts[i];
            l.income.push_back(record("余额转入", "账户开通，原有余额 " + brought + " 已转入。", cash, points, velmo, e.time));
            break;
        }
        case Happening::announced:
            l.messages.push_back({e.time, d["title"].get<std::string>(), d["paragraph"].get<std::string>(), d["page"].get<std::string>(),
                                  d["linkText"].get<std::string>()});
            break;
        case Happening::placed:
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
            order["coupons"] = "0";
            break;
        }
        case Happening::rebated: {
            // The rebate is the order's and its coupon's award; once settled, it takes no coupon.
            json& order = l.order(l.taobaoOrders, d["order"].get<std::string>());
            const int64_t award = wholePart(order["coupon_award"].get<std::string>()).value_or(0);
            const int64_t points = wholePart(order["jifenbao"].get<std::string>()).value_or(0) + award;
            order["can_useCoupon"] = "0";
            order["coupons"] = "0";
            l.jifenbao += points;
            l.rebatedPoints[order["id"].get<std::string>()] = points;
            const std::string content = "淘宝订单 " + order["trade_id"].get<std::string>() + " 已确认收货，返利 " + std::to_string(points) +
                                        " 个集分宝" + (award ? "（含回扣券额外 " + std::to_string(award) + " 个）" : "") + "已到账。";
            l.income.push_back(record("购物返利", content, 0, points, 0, e.time));
            l.messages.push_back({e.time, "返利到账：" + std::to_string(points) + "个集分宝", content, kShoppingHelp, "查看购物问题"});
            break;
        }
        case Happening::refunded: {
            const json& order = l.order(l.taobaoOrders, d["order"].get<std::string>());
            const int64_t points = l.rebatedPoints.at(order["id"].get<std::string>());
            l.jifenbao -= points;
            l.refunds.push_back(record("订单退款扣回",
                                       "淘宝订单 " + order["trade_id"].get<std::string>() + " 已退款，扣回返利 " + std::to_string(points) +
                                           " 个集分宝。",
                                       0, -points, 0, e.time));
            break;
        }
        case Happening::mallPlaced:
            l.mallOrders.push_back(d["order"]);
            break;
        case Happening::mallSettled: {
            json& order = l.order(l.mallOrders, d["order"].get<std::string>());
            order["status"] = "已结算";
            const int64_t cash = cents(order["fxje"].get<std::string>());
            const int64_t velmo = wholePart(order["jifen"].get<std::string>()).value_or(0);
            l.cash += cash;
            l.jifen += velmo;
            const std::string content = order["mall_name"].get<std::string>() + "订单 " + order["order_code"].get<std::string>() +
                                        " 已结算，返利 " + moneyText(cash) + "元 和 " + std::to_string(velmo) + " Velmo 已到账。";
            l.income.push_back(record("购物返利", content, cash, 0, velmo, e.time));
            l.messages.push_back({e.time, "返利到账：" + moneyText(cash) + "元和" + std::to_string(velmo) + " Velmo", content,
                                  kShoppingHelp, "查看购物问题"});
            break;
        }
        case Happening::mallVoided:
            l.order(l.mallOrders, d["order"].get<std::string>())["status"] = "已失效";
            break;
        case Happening::checkedIn:
            // As "sign" credits and files it.
            l.jifen += kSignJifen;
            l.jifenbao += kSignJifenbao;
            l.lastCheckin = e.time;
            l.income.push_back(record("签到奖励", kCheckinRecordText, 0, kSignJifenbao, kSignJifen, e.time));
            break;
        case Happening::friendRewarded: {
            const std::string people = d["people"].get<std::string>(), type = d["type"].get<std::string>();
            const int64_t yuan = d["yuan"];
            l.cash += yuan * 100;
            if (type == "注册奖励") l.friends.emplace_back(people, e.time.substr(0, 10));
            l.awards[people] += yuan;
            l.rewards.push_back({{"people", people}, {"type", type}, {"num", std::to_string(yuan)}, {"time", e.time.substr(0, 10)}});
            l.income.push_back(record("邀请奖励",
                                      people + (type == "注册奖励" ? " 完成注册" : " 首次购物") + "，邀请奖励 " + moneyText(yuan * 100) +
                                          "元 已到账。",
                                      yuan * 100, 0, 0, e.time));
            break;
        }
        case Happening::withdrawalAsked: {
            // As outCash files it: the balance lowered, the kind under review, the record on top.
            const bool points = d["type"] == "1";
            const int64_t amount = d["amount"];
            (points ? l.jifenbao : l.cash) -= amount;
            (points ? l.jifenbaoUnderReview : l.cashUnderReview) = true;
            l.withdrawals.push_back({{"account", kAlipay},
                                     {"type", points ? "1" : "2"},
                                     {"money", points ? std::to_string(amount) : moneyText(amount)},
                                     {"status", "审核中"},
                                     {"addtime", e.time}});
            l.withdrawalMessage[e.time] = l.messages.size();
            l.messages.push_back(withdrawalMessage(l.withdrawals.back(), e.time));
            break;
        }
        case Happening::withdrawalPaid:
        case Happening::withdrawalReturned: {
            // Its message now tells how it ended.
            json& w = l.withdrawal(d["asked"].get<std::string>());
            const bool points = w["type"] == "1";
            const int64_t amount = points ? wholePart(w["money"].get<std::string>()).value_or(0) : cents(w["money"].get<std::string>());
            (points ? l.jifenbaoUnderReview : l.cashUnderReview) = false;
            if (e.what == Happening::withdrawalPaid) {
                w["status"] = "已到账";
                (points ? l.paidJifenbao : l.paidCash) += amount;
            } else {
                w["status"] = kReturned;
                (points ? l.jifenbao : l.cash) += amount;
            }
            l.messages[l.withdrawalMessage.at(w["addtime"].get<std::string>())] = withdrawalMessage(w, e.time);
            break;
        }
    }
}

std::string day(const char* month, int dayOfMonth, const char* time) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s-%02d %s", month, dayOfMonth, time);
    return buf;
}

// A coupon's award by its type (1, 2, 3), as the coupon page names them: whole 集分宝.
const char* awardOfType(int type) { return type == 1 ? "5" : type == 2 ? "8" : "10"; }

// The demo Taobao orders come in six kinds, in this order, so that the first page shows each:
// coupons to use (3 of them), one coupon, used the day after payment, nothing to do (no
// coupon chance), 5 coupons, 2 coupons, and an order that allows a coupon but has none on offer.
struct OrderKind {
    bool couponChance;
    int coupons;
    bool couponUsed;
};
constexpr OrderKind kOrderKinds[] = {{true, 3, false}, {true, 1, true},  {false, 0, false},
                                     {true, 5, false}, {true, 2, false}, {true, 0, false}};
const char* const kMallNames[] = {"京东商城", "苏宁易购", "唯品会", "当当网", "国美在线", "聚美优品"};

// The goods of an order: a product of the store on sale at no less than was paid (the order
// opens its page), none of the pictures that show a fault.
const json& goodsOf(int order, int paidCents) {
    const auto& products = demoProducts();
    for (size_t k = 0; k < products.size(); ++k) {
        const json& p = products[(static_cast<size_t>(order) * 41 + k) % products.size()];
        const std::string pic = p["pic_url"];
        if (p["type"] == "1" || p["is_sold_out"] == "1" || pic.find("/images/product") == std::string::npos) continue;
        if (cents(p["promotion_price"].get<std::string>()) >= paidCents) return p;
    }
    throw std::logic_error("no demo product for an order of " + moneyText(paidCents));
}

// The day the demo accounts were opened.
constexpr const char* kOpened = "2026-09-01 09:00:00";

// Everything that happened, in no particular order.
std::vector<Event> happenings() {
    std::vector<Event> events;
    auto add = [&](const std::string& time, Happening what, json detail = json::object()) {
        events.push_back({time, what, std::move(detail)});
    };
    const std::string lastDemoDay = "2026-11-30";

    // The account opened with the balance of an earlier one.
    add(kOpened, Happening::opened, {{"cash", 4290}, {"jifenbao", 4341}, {"jifen", 4758}});
    auto announce = [&](const std::string& time, const std::string& title, const std::string& paragraph, const std::string& page,
                        const std::string& linkText) {
        add(time, Happening::announced, {{"title", title}, {"paragraph", paragraph}, {"page", page}, {"linkText", linkText}});
    };
    announce("2026-09-01 09:00:00", "欢迎加入Zavelto",
             "从Zavelto打开淘宝或商城下单即可拿回扣，回扣以集分宝或现金发放；绑定支付宝后随时提现，1个工作日内到账。",
             "/wap/help-1.php", "查看新手一分钟");
    // The application's invite screen (「我的」, 「邀请好友」) shares through its 「立即邀请」 panel.
    announce("2026-09-01 12:00:00", "邀请好友：好友注册奖励2元，首次购物再奖3元起",
             "在「我的」页点「邀请好友」，再点「立即邀请」分享给好友。好友注册成功即奖励您2元现金，好友首次购物确认收货后再奖励3元起，奖励直接计入您的余额。",
             "/wap/activity.php?id=4", "查看活动详情");
    announce("2026-11-01 09:00:00", "双十一返利狂欢：11月1日至11日，会场商品返利更高",
             "活动期间从Zavelto打开会场商品下单，“回扣订单”里显示的回扣已含活动加返，确认收货后到账。", "/wap/activity.php?id=1",
             "查看活动详情");

    // 25 Taobao orders, paid one a day from 30 November back; record ids from "3000".
    int couponId = 101;
    for (int i = 0; i < 25; ++i) {
        const OrderKind& kind = kOrderKinds[i % 6];
        const std::string id = std::to_string(3000 + i);
        const int paid = 1990 + i * 230;
        const json& goods = goodsOf(i, paid);
        const std::string paidAt = day("2026-11", 30 - i, "12:30:00");
        json order = {{"id", id},
                      {"item_title", goods["title"]},
                      {"num_iid", goods["iid"]},
                      {"pay_price", moneyText(paid)},
                      {"jifenbao", std::to_string(20 + i * 3)},
                      {"trade_id", std::to_string(88000000000000LL + i * 17)},
                      {"pay_time", paidAt},
                      {"create_time", day("2026-11", 30 - i, "12:20:00")},
                      {"coupon_award", "0"},
                      {"platform", std::to_string(i % 2)},
                      {"pic_url", goods["pic_url"]},
                      {"can_useCoupon", kind.couponChance ? "1" : "0"},
                      {"coupons", std::to_string(kind.coupons)}};
        json coupons = json::array();
        for (int c = 0; c < kind.coupons; ++c) {
            const int type = 1 + c % 3;
            coupons.push_back({{"id", couponId++}, {"type", type}, {"award", awardOfType(type)}, {"order", id}, {"used", false}});
        }
        add(paidAt, Happening::placed, {{"order", order}, {"coupons", coupons}});
        const std::string paidDay = paidAt.substr(0, 10);
        if (kind.couponUsed) add(daysAfter(paidDay, 1) + " 20:00:00", Happening::couponUsed, {{"order", id}});
        // Confirmed a week after payment: the orders whose coupon chance is over have their
        // rebate; three of those paid before 17 November were refunded four days after it.
        const std::string confirmed = daysAfter(paidDay, 7);
        if (kind.couponChance && !kind.couponUsed) continue;
        if (confirmed > lastDemoDay) continue;
        add(confirmed + " 09:00:00", Happening::rebated, {{"order", id}});
        if (paidDay <= "2026-11-16") add(daysAfter(confirmed, 4) + " 16:30:00", Happening::refunded, {{"order", id}});
    }

    // 12 mall orders, placed one a day from 28 October back, each at its mall; 20 days later
    // the mall settles or cancels every third, the rest still waiting.
    for (int i = 0; i < 12; ++i) {
        const std::string id = std::to_string(6000 + i);
        const std::string placedAt = day("2026-10", 28 - i, "09:15:00");
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
        const std::string decided = daysAfter(placedAt.substr(0, 10), 20) + " 15:00:00";
        if (i % 3 == 0) add(decided, Happening::mallSettled, {{"order", id}});
        if (i % 3 == 2) add(decided, Happening::mallVoided, {{"order", id}});
    }

    // Check-ins on the last five days.
    for (int d = 0; d < 5; ++d) add(daysAfter("2026-11-26", d) + " 08:30:00", Happening::checkedIn);

    for (const DemoInviteReward& reward : demoInviteRewards()) {
        add(reward.time, Happening::friendRewarded, {{"people", reward.people}, {"type", reward.type}, {"yuan", reward.yuan}});
    }

    // Withdrawals of both kinds, one every Tuesday from 15 September to 1 December: 集分宝 (a
    // count) and cash in turn, each paid out the next morning but every fourth returned; the
    // newest, 300 集分宝, still under review.
    for (int i = 11; i >= 0; --i) {
        const bool points = i % 2 == 0;
        const std::string asked = daysAfter("2026-12-01", -7 * i) + " 10:00:00";
        add(asked, Happening::withdrawalAsked, {{"type", points ? "1" : "2"}, {"amount", points ? 300 + i * 50 : 1150 + i * 100}});
        if (i == 0) continue;
        add(daysAfter(asked.substr(0, 10), 1) + " 09:30:00", i % 4 == 3 ? Happening::withdrawalReturned : Happening::withdrawalPaid,
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

// What a history leaves of an account.
DemoAccount account(int64_t uid, std::vector<Event> events) {
    std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) { return a.time < b.time; });
    Ledger l;
    for (const Event& e : events) apply(l, e);

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
    // The order lists run newest first as filed; the coupons by their ids.
    auto byId = [](std::vector<json>& rows) {
        std::stable_sort(rows.begin(), rows.end(), [](const json& a, const json& b) {
            return a["id"].is_string() ? a["id"].get<std::string>() < b["id"].get<std::string>() : a["id"] < b["id"];
        });
    };
    byId(l.taobaoOrders);
    byId(l.coupons);
    byId(l.mallOrders);
    file("taobao_order", l.taobaoOrders);
    file("coupon", l.coupons);
    file("store_order", l.mallOrders);
    file("asset", l.income);
    file("withdraw", l.withdrawals);
    file("refund", l.refunds);
    // The messages by their time (a withdrawal's tells its last news), titles of one line to
    // three on a phone, each linking to the page on its topic.
    std::stable_sort(l.messages.begin(), l.messages.end(), [](const Message& a, const Message& b) { return a.time < b.time; });
    for (size_t i = 0; i < l.messages.size(); ++i) {
        const Message& m = l.messages[i];
        out.items.push_back({"message",
                             uid,
                             {{"id", std::to_string(5000 + i)},
                              {"title", m.title},
                              {"content", "<h3>" + m.title + "</h3><p>" + m.paragraph + "</p><p><a href=\"" +
                                              std::string(kRootPlaceholder) + m.page + "\">" + m.linkText + "</a></p>"},
                              {"addtime", m.time}}});
    }
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

DemoAccount demoHistory(int64_t uid) { return account(uid, happenings()); }

DemoAccount demoOpenedAccount(int64_t uid, int64_t cash, int64_t jifenbao, int64_t jifen) {
    return account(uid, {{kOpened, Happening::opened, {{"cash", cash}, {"jifenbao", jifenbao}, {"jifen", jifen}}}});
}

}  // namespace zvt::service
