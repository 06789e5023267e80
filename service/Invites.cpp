// Invitations: the leaderboard of the invite page (anyone may read it), and for the signed-in
// user the totals, the reward records and the friends invited, page by page. The service keeps
// rewards as the texts or numbers it was given; the totals add both kinds alike. The demo user's
// invitations are part of its history (DemoHistory.cpp), which the income records tell too.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "service/DemoData.h"
#include "service/Operations.h"
#include "service/Service.h"

namespace zvt::service {

int64_t awardCents(const json& award) {
    if (award.is_number()) {
        const double v = award.get<double>();
        return std::isfinite(v) ? std::llround(v * 100) : 0;
    }
    if (award.is_string()) return cents(award.get<std::string>());
    return 0;
}

namespace {

// "12.50" reads "12.5" and "12.00" reads "12", as the invite page shows money.
std::string shortMoney(int64_t c) {
    std::string out = moneyText(c);
    while (out.back() == '0') out.pop_back();
    if (out.back() == '.') out.pop_back();
    return out;
}

int64_t uidOf(const json& user) { return std::stoll(user["id"].get<std::string>()); }

}  // namespace

// 25 friends, one registering every other day from the first day, each bringing a registration
// reward of 2 yuan that day; five of them (好友3, 8, 13, 18, 23) a reward for their first
// purchase 16 days later, 3 to 7 yuan. Whole yuan: the friends' history shows awards so.
std::vector<DemoInviteReward> demoInviteRewards(const std::string& firstRegistration) {
    std::vector<DemoInviteReward> out;
    for (int n = 1; n <= 25; ++n) {
        const std::string name = "好友" + std::to_string(n);
        const std::string registered = daysAfter(firstRegistration, 2 * (n - 1));
        char time[16];
        std::snprintf(time, sizeof time, " %02d:%02d:00", 9 + n * 5 % 13, n * 17 % 60);
        out.push_back({name, "注册奖励", 2, registered + time});
        if (n % 5 == 3) out.push_back({name, "购物奖励", 3 + n / 5, daysAfter(registered, 16) + " 10:30:00"});
    }
    std::stable_sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.time < b.time; });
    return out;
}

Reply Service::opInvitePage(Incoming&) {
    Reply r;
    r.body = demoInvitePage();
    return r;
}

Reply Service::opUserInvite(Incoming& in) {
    auto user = userOf(in, "uid");
    if (!user) return refuse(201, "用户不存在");
    auto rows = store_.items("old_invite", uidOf(*user));
    int64_t total = 0;
    for (auto& row : rows) total += awardCents(row.contains("award") ? row["award"] : json());
    return ok({{"inviteTotal", std::to_string(rows.size())}, {"inviteMoney", shortMoney(total)}});
}

Reply Service::opInviteInfo(Incoming& in) {
    auto user = userOf(in, "uid");
    if (!user) return refuse(201, "用户不存在");
    Reply r = ok(nullptr);
    auto rows = store_.items("invite", uidOf(*user));
    r.body["data"] =
        pageJson(Store::page(rows, intOr(in.fields, "number", 1), intOr(in.fields, "ps", 10)), r);
    return r;
}

Reply Service::opOldInviteInfo(Incoming& in) {
    auto user = userOf(in, "uid");
    if (!user) return refuse(201, "用户不存在");
    Reply r = ok(nullptr);
    auto rows = store_.items("old_invite", uidOf(*user));
    r.body["data"] =
        pageJson(Store::page(rows, intOr(in.fields, "number", 1), intOr(in.fields, "ps", 12)), r);
    return r;
}

}  // namespace zvt::service
