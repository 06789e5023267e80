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

std::string twoDigits(int n) { return (n < 10 ? "0" : "") + std::to_string(n); }

}  // namespace

// Row i of each list is the (i+1)-th newest; each list is filed oldest first, as the service
// files records, and read newest first.
std::vector<DemoItem> demoMoneyItems(int64_t uid) {
    std::vector<DemoItem> out;
    // Income: rebates of orders and rewards of check-ins and invitations, 25 rows (three pages).
    // The contents are plain text, which a record's row shows as it is and its page as HTML.
    const std::array<const char*, 3> incomeTitles = {"购物返利", "签到奖励", "邀请奖励"};
    for (int i = 24; i >= 0; --i) {
        const int kind = i % 3;
        const std::string money = kind == 0 ? moneyText(150 + i * 37) : "0.00";
        // A check-in's record reads as the one "sign" files.
        const std::string jifenbao = std::to_string(kind == 1 ? kSignJifenbao : 10 + i);
        const std::string jifen = std::to_string(kind == 0 ? 0 : kind == 1 ? kSignJifen : 5 + i % 4);
        std::string content;
        if (kind == 0) {
            content = "淘宝订单 52" + std::to_string(8800 + i) + " 已确认收货，返利 " + money + "元 已到账。";
        } else if (kind == 1) {
            content = kCheckinRecordText;
        } else {
            content = "好友" + std::to_string(i) + " 完成注册，奖励已发放。";
        }
        out.push_back({"asset",
                       uid,
                       {{"title", incomeTitles[kind]},
                        {"content", content},
                        {"money", money},
                        {"jifenbao", jifenbao},
                        {"jifen", jifen},
                        {"addtime", "2026-10-" + twoDigits(28 - i) + " 08:00:00"}}});
    }
    // Withdrawals of both kinds in every state, 12 rows (two pages): type "1" 集分宝 (a count),
    // "2" cash (in yuan with two decimals, as outCash files it).
    const std::array<const char*, 4> states = {"审核中", "已到账", "已到账", "提现失败，已退回"};
    for (int i = 11; i >= 0; --i) {
        const bool points = i % 2 == 0;
        const std::string amount = points ? std::to_string(300 + i * 50) : moneyText(1150 + i * 100);
        out.push_back({"withdraw",
                       uid,
                       {{"account", "zvttest@alipay.example.com"},
                        {"type", points ? "1" : "2"},
                        {"money", amount},
                        {"status", states[static_cast<size_t>(i) % states.size()]},
                        {"addtime", "2026-09-" + twoDigits(20 - i) + " 10:00:00"}}});
    }
    // Refunds of rebated orders, 8 rows (one page).
    for (int i = 7; i >= 0; --i) {
        const std::string money = moneyText(200 + i * 45);
        out.push_back({"refund",
                       uid,
                       {{"title", "订单退款扣回"},
                        {"content", "订单 52" + std::to_string(7700 + i) + " 已退款，扣回返利 " + money + "元。"},
                        {"money", "-" + money},
                        {"jifenbao", "0"},
                        {"jifen", std::to_string(-(i + 1) * 10)},
                        {"addtime", "2026-08-" + twoDigits(18 - i) + " 16:30:00"}}});
    }
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
