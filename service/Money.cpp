// The money family: a user's withdrawals to the bound Alipay account ("outCash") and the
// records of income, withdrawals and refunds ("getUserDetailed"), with the demo records.
#include <algorithm>
#include <array>
#include <ctime>
#include <string>

#include "service/DemoData.h"
#include "service/Operations.h"
#include "service/Service.h"

namespace zvt::service {

namespace {

constexpr int64_t kPageSize = 10;

bool allDigits(const std::string& s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A count of 集分宝 written as digits only; nothing for anything else ("3.9", "12abc", "", a
// count beyond 64 bits).
std::optional<int64_t> wholeCount(const std::string& s) {
    if (!allDigits(s)) return std::nullopt;
    return wholePart(s);
}

// Cash written as a plain decimal ("12", "8.5", "0.01": digits with at most one point and two
// places) in cents; nothing for anything else, so that "12abc" is never taken as 12 and a third
// place is never rounded away.
std::optional<int64_t> plainCents(const std::string& s) {
    const size_t point = s.find('.');
    const std::string whole = s.substr(0, point);
    const std::string fraction = point == std::string::npos ? "" : s.substr(point + 1);
    if (!allDigits(whole)) return std::nullopt;
    if (point != std::string::npos && (fraction.empty() || fraction.size() > 2 || !allDigits(fraction)))
        return std::nullopt;
    auto units = wholePart(whole);
    if (!units || *units > (INT64_MAX - 99) / 100) return std::nullopt;
    int64_t c = *units * 100;
    if (!fraction.empty()) c += std::stoll(fraction) * (fraction.size() == 1 ? 10 : 1);
    return c;
}

// The list a record kind ("do") is kept under.
const char* listOf(const std::string& kind) {
    if (kind == "in") return "asset";
    if (kind == "out") return "withdraw";
    if (kind == "refund") return "refund";
    return nullptr;
}

}  // namespace

// The demo user's records tell one story with the orders (service/Orders.cpp) and the
// invitations (service/Invites.cpp): each list is filed oldest first, as the service files
// records, and read newest first.
//
// Income, 45 records: the rebate of every Taobao order whose coupon chance is over
// ("can_useCoupon" "0") a week after it was paid (its 集分宝 and its coupon's award), the rebate
// of every settled mall order 20 days after it was placed (its cash and its Velmo), five
// check-ins and every invitation reward. Refunds, 3 records: three of those Taobao orders were
// refunded four days after their rebate, which is taken back. Withdrawals, 12 records, one every
// Tuesday, the newest (300 集分宝) under review, as the user's "tbtxstatus" says. Every text
// names the order it is of and says every amount it moves.
std::vector<DemoItem> demoMoneyItems(int64_t uid) {
    std::vector<json> income, refunds;
    auto record = [](const std::string& title, const std::string& content, const std::string& money,
                     const std::string& jifenbao, const std::string& jifen, const std::string& when) {
        return json{{"title", title}, {"content", content}, {"money", money},
                    {"jifenbao", jifenbao}, {"jifen", jifen}, {"addtime", when}};
    };
    const std::string lastDemoDay = "2026-11-30";
    for (const DemoItem& item : demoOrderItems(uid)) {
        const json& order = item.record;
        if (item.kind == "taobao_order") {
            const std::string paid = order["pay_time"].get<std::string>().substr(0, 10);
            const std::string confirmed = daysAfter(paid, 7);
            if (order["can_useCoupon"] != "0" || confirmed > lastDemoDay) continue;
            const int64_t award = wholePart(order["coupon_award"].get<std::string>()).value_or(0);
            const std::string points = std::to_string(wholePart(order["jifenbao"].get<std::string>()).value_or(0) + award);
            const std::string number = order["trade_id"];
            income.push_back(record("购物返利",
                                    "淘宝订单 " + number + " 已确认收货，返利 " + points + " 个集分宝" +
                                        (award ? "（含回扣券额外 " + std::to_string(award) + " 个）" : "") + "已到账。",
                                    "0.00", points, "0", confirmed + " 09:00:00"));
            // The three paid before 17 November were refunded after their rebate.
            if (paid <= "2026-11-16") {
                refunds.push_back(record("订单退款扣回", "淘宝订单 " + number + " 已退款，扣回返利 " + points + " 个集分宝。",
                                         "0.00", "-" + points, "0", daysAfter(confirmed, 4) + " 16:30:00"));
            }
        } else if (item.kind == "store_order" && order["status"] == "已结算") {
            const std::string settled = daysAfter(order["order_time"].get<std::string>().substr(0, 10), 20);
            const std::string cash = order["fxje"], velmo = order["jifen"];
            income.push_back(record("购物返利",
                                    order["mall_name"].get<std::string>() + "订单 " + order["order_code"].get<std::string>() +
                                        " 已结算，返利 " + cash + "元 和 " + velmo + " Velmo 已到账。",
                                    cash, "0", velmo, settled + " 15:00:00"));
        }
    }
    // Check-ins on the last five days, as the ones "sign" files read.
    for (int day = 0; day < 5; ++day) {
        income.push_back(record("签到奖励", kCheckinRecordText, "0.00", std::to_string(kSignJifenbao),
                                std::to_string(kSignJifen), daysAfter("2026-11-26", day) + " 08:30:00"));
    }
    for (const DemoInviteReward& reward : demoInviteRewards()) {
        const std::string cash = moneyText(reward.yuan * 100);
        income.push_back(record("邀请奖励",
                                reward.people + (reward.type == "注册奖励" ? " 完成注册" : " 首次购物") + "，邀请奖励 " +
                                    cash + "元 已到账。",
                                cash, "0", "0", reward.time));
    }
    auto oldestFirst = [](std::vector<json>& rows) {
        std::stable_sort(rows.begin(), rows.end(),
                         [](const json& a, const json& b) { return a["addtime"] < b["addtime"]; });
    };
    oldestFirst(income);
    oldestFirst(refunds);

    std::vector<DemoItem> out;
    for (auto& row : income) out.push_back({"asset", uid, std::move(row)});
    // Withdrawals of both kinds, 12 rows (two pages): type "1" 集分宝 (a count), "2" cash (in
    // yuan with two decimals, as outCash files it). Row i is the (i+1)-th newest.
    for (int i = 11; i >= 0; --i) {
        const bool points = i % 2 == 0;
        const std::string amount = points ? std::to_string(300 + i * 50) : moneyText(1150 + i * 100);
        out.push_back({"withdraw",
                       uid,
                       {{"account", "zvttest@alipay.example.com"},
                        {"type", points ? "1" : "2"},
                        {"money", amount},
                        {"status", i == 0 ? "审核中" : i % 4 == 3 ? "提现失败，已退回" : "已到账"},
                        {"addtime", daysAfter("2026-12-01", -7 * i) + " 10:00:00"}}});
    }
    for (auto& row : refunds) out.push_back({"refund", uid, std::move(row)});
    return out;
}

Reply Service::opOutCash(Incoming& in) {
    auto user = userOf(in);
    if (!user) return refuse(201, "用户不存在");
    int64_t uid = std::stoll((*user)["id"].get<std::string>());
    if (!store_.checkPassword(uid, text(in.fields, "ddpassword"))) return refuse(202, "密码错误");
    if (text(*user, "alipay").empty()) return refuse(202, "请先绑定支付宝");
    const std::string type = text(in.fields, "type");
    const std::string when = dayAndTime(clockSeconds());
    if (type == "1") {
        if (text(*user, "tbtxstatus") == "1") return refuse(202, "您有一笔提现正在处理中");
        // Only a whole count is an amount: a missing or partly numeric one withdraws nothing.
        auto want = wholeCount(text(in.fields, "jifenbao"));
        if (!want || *want <= 0) return refuse(202, "提现数额不正确");
        // A balance with a decimal part counts by its whole part ("12.50" is 12).
        const int64_t have = wholePart(text(*user, "jifenbao")).value_or(0);
        if (*want > have) return refuse(222, "集分宝余额不足");
        (*user)["jifenbao"] = std::to_string(have - *want);
        (*user)["tbtxstatus"] = "1";
        store_.addItem("withdraw", uid,
                       {{"account", (*user)["alipay"]},
                        {"type", "1"},
                        {"money", std::to_string(*want)},
                        {"status", "审核中"},
                        {"addtime", when}});
    } else if (type == "2") {
        if (text(*user, "txstatus") == "1") return refuse(202, "您有一笔提现正在处理中");
        auto want = plainCents(text(in.fields, "money"));
        if (!want || *want <= 0) return refuse(202, "提现数额不正确");
        const int64_t have = plainCents(text(*user, "money")).value_or(0);
        if (*want > have) return refuse(222, "余额不足");
        (*user)["money"] = moneyText(have - *want);
        (*user)["txstatus"] = "1";
        store_.addItem("withdraw", uid,
                       {{"account", (*user)["alipay"]},
                        {"type", "2"},
                        {"money", moneyText(*want)},
                        {"status", "审核中"},
                        {"addtime", when}});
    } else {
        return refuse(202, "提现类型不正确");
    }
    store_.saveUser(*user);
    return ok(nullptr, "提现申请已提交");
}

Reply Service::opUserDetailed(Incoming& in) {
    auto user = userOf(in);
    if (!user) return refuse(201, "用户不存在");
    const char* list = listOf(text(in.fields, "do"));
    if (!list) return refuse(202, "明细类型不正确");
    int64_t uid = std::stoll((*user)["id"].get<std::string>());
    auto rows = store_.items(list, uid);
    Reply r = ok(nullptr);
    r.body["data"] = pageJson(Store::page(rows, intOr(in.fields, "number", 1), kPageSize), r);
    return r;
}

}  // namespace zvt::service
