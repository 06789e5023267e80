// The money family: a user's withdrawals to the bound Alipay account ("outCash"), each filed with
// its record and the message of its acceptance as the demo's are (service/Ledger.h), and the
// records of income, withdrawals and refunds ("getUserDetailed").
#include <algorithm>
#include <string>

#include "service/Ledger.h"
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
        file(store_, uid, withdrawalPosting(text(*user, "alipay"), true, *want, when, nextWithdrawal(store_, uid)));
    } else if (type == "2") {
        if (text(*user, "txstatus") == "1") return refuse(202, "您有一笔提现正在处理中");
        auto want = plainCents(text(in.fields, "money"));
        if (!want || *want <= 0) return refuse(202, "提现数额不正确");
        const int64_t have = plainCents(text(*user, "money")).value_or(0);
        if (*want > have) return refuse(222, "余额不足");
        (*user)["money"] = moneyText(have - *want);
        (*user)["txstatus"] = "1";
        file(store_, uid, withdrawalPosting(text(*user, "alipay"), false, *want, when, nextWithdrawal(store_, uid)));
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
