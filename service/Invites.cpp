// Invitations: the leaderboard of the invite page (anyone may read it), and for the signed-in
// user the totals, the reward records and the friends invited, page by page. The service keeps
// rewards as the texts or numbers it was given; the totals add both kinds alike.

#include <cmath>
#include <string>

#include "service/DemoData.h"
#include "service/Operations.h"
#include "service/Service.h"

namespace zvt::service {

namespace {

// An award in cents, whether it was stored as a number or as a text ("15.8"); anything else
// counts as nothing.
int64_t awardCents(const json& award) {
    if (award.is_number()) {
        const double v = award.get<double>();
        return std::isfinite(v) ? std::llround(v * 100) : 0;
    }
    if (award.is_string()) return cents(award.get<std::string>());
    return 0;
}

// "12.50" reads "12.5" and "12.00" reads "12", as the invite page shows money.
std::string shortMoney(int64_t c) {
    std::string out = moneyText(c);
    while (out.back() == '0') out.pop_back();
    if (out.back() == '.') out.pop_back();
    return out;
}

int64_t uidOf(const json& user) { return std::stoll(user["id"].get<std::string>()); }

}  // namespace

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
