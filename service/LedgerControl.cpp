// The control interface's happenings of an account that no operation of the application makes:
// a Taobao order placed, its rebate and its refund, a withdrawal paid out or returned, an invited
// friend's reward. Each is one transaction and files what the demo history files for it, through
// the same postings (service/Ledger.h), for any account, stamped on the service's clock; so a test
// can walk a new account through every happening that moves its balances.
//
//   POST /__test/order  {"uid", "goods": a product's "id", "paid": "YYYY-MM-DD HH:MM:SS" (default:
//                        now), "coupons": [types 1 to 3]}: the order, paid the goods' promotion
//                        price; its coupon chance open when coupons are offered
//   POST /__test/rebate {"uid", "order": the order's record "id"}: its rebate and its coupon's award
//   POST /__test/refund {"uid", "order"}: its rebate taken back
//   POST /__test/payout {"uid", "type": "1" 集分宝 or "2" cash}: the withdrawal of that kind under
//                        review paid out; /__test/return alike, returned
//   POST /__test/reward {"uid", "people", "type": "注册奖励" or "购物奖励", "yuan": whole yuan}

#include <string>

#include "service/Ledger.h"
#include "service/Operations.h"
#include "service/Service.h"

namespace zvt::service {

namespace {

// An order's rebate record in the income list, if it had one.
std::optional<json> rebateOf(Store& store, int64_t uid, const json& order) {
    auto filed = store.entriesAbout("asset", uid, taobaoOrderAbout(order));
    if (filed.empty()) return std::nullopt;
    return filed.front().record;
}

bool refunded(Store& store, int64_t uid, const json& order) { return !store.entriesAbout("refund", uid, taobaoOrderAbout(order)).empty(); }

bool isMoment(const std::string& when) {
    static const std::string shape = "dddd-dd-dd dd:dd:dd";
    if (when.size() != shape.size()) return false;
    for (size_t i = 0; i < shape.size(); ++i) {
        if (shape[i] == 'd' ? (when[i] < '0' || when[i] > '9') : when[i] != shape[i]) return false;
    }
    return true;
}

}  // namespace

bool Service::isLedgerControl(const std::string& path) {
    return path == "/__test/order" || path == "/__test/rebate" || path == "/__test/refund" || path == "/__test/payout" ||
           path == "/__test/return" || path == "/__test/reward";
}

HttpResponse Service::ledgerControl(const std::string& path, const json& given) {
    if (!given.is_object()) return controlRefusal("expected a JSON object");
    const auto uid = integer(text(given, "uid"));
    if (!uid) return controlRefusal("expected the account's \"uid\"");
    const std::string now = dayAndTime(clockSeconds());
    HttpResponse out;
    store_.transaction([&] {
        auto user = store_.userById(*uid);
        if (!user) {
            out = controlRefusal("no such user", 404);
            return;
        }
        // The account's Taobao order by its record id.
        auto order = [&]() -> std::optional<json> {
            for (const json& o : store_.items("taobao_order", *uid))
                if (text(o, "id") == text(given, "order")) return o;
            return std::nullopt;
        };
        auto rewriteOrder = [&](const json& changed) {
            store_.updateItems("taobao_order", *uid, [&](json& o) {
                if (text(o, "id") != text(changed, "id")) return false;
                o = changed;
                return true;
            });
        };
        auto done = [&](json extra = json::object()) {
            extra["ok"] = true;
            extra["user"] = withCounts(store_, *store_.userById(*uid));
            out = controlAnswer(extra);
        };

        if (path == "/__test/order") {
            std::optional<json> goods;
            for (const json& p : store_.items("product", 0))
                if (text(p, "id") == text(given, "goods")) goods = p;
            if (!goods) {
                out = controlRefusal("no such goods", 404);
                return;
            }
            const std::string paid = given.contains("paid") ? text(given, "paid") : now;
            if (!isMoment(paid)) {
                out = controlRefusal("paid must be \"YYYY-MM-DD HH:MM:SS\"");
                return;
            }
            const json types = given.value("coupons", json::array());
            if (!types.is_array()) {
                out = controlRefusal("coupons must be an array of types");
                return;
            }
            for (const json& t : types) {
                if (!t.is_number_integer() || t.get<int>() < 1 || t.get<int>() > 3) {
                    out = controlRefusal("a coupon's type is 1, 2 or 3");
                    return;
                }
            }
            const std::string id = std::to_string(store_.nextNumber("taobao_order", "id", 3000));
            const std::string number = std::to_string(store_.nextNumber("taobao_order", "trade_id", 88000000000000LL));
            const json placed = taobaoOrder(id, number, *goods, paid, paid, 0, !types.empty());
            store_.addItem("taobao_order", *uid, placed);
            int64_t coupon = store_.nextNumber("coupon", "id", 101);
            for (const json& t : types) store_.addItem("coupon", *uid, couponOf(coupon++, t.get<int>(), id));
            done({{"order", placed}});
            return;
        }
        if (path == "/__test/rebate" || path == "/__test/refund") {
            auto found = order();
            if (!found) {
                out = controlRefusal("no such order", 404);
                return;
            }
            const auto rebate = rebateOf(store_, *uid, *found);
            if (path == "/__test/rebate") {
                if (rebate) {
                    out = controlRefusal("the order has had its rebate", 409);
                    return;
                }
                const Posting rebate = settleRebate(*found, now);
                rewriteOrder(*found);
                post(store_, *user, rebate);
                done({{"order", *found}});
                return;
            }
            if (!rebate || refunded(store_, *uid, *found)) {
                out = controlRefusal("the order has no rebate to take back", 409);
                return;
            }
            const int64_t points = wholePart(text(*rebate, "jifenbao")).value_or(0);
            if (wholePart(text(*user, "jifenbao")).value_or(0) < points) {
                out = controlRefusal("the balance does not hold the rebate", 409);
                return;
            }
            // The message of its rebate gives way to the refund's.
            const Posting takenBack = refund(*found, points, now);
            rewriteOrder(*found);
            refile(store_, *user, takenBack);
            done({{"order", *found}});
            return;
        }
        if (path == "/__test/payout" || path == "/__test/return") {
            const std::string type = text(given, "type");
            std::optional<Entry> asked;
            for (const Entry& w : store_.entries("withdraw", *uid)) {
                if (!asked && text(w.record, "type") == type && text(w.record, "status") == "审核中") asked = w;
            }
            if (!asked) {
                out = controlRefusal("no withdrawal of that kind under review", 409);
                return;
            }
            const bool paidOut = path == "/__test/payout";
            Entry ended = *asked;
            const Posting end = endWithdrawal(ended.record, ended.about, paidOut, now);
            store_.rewrite(ended);
            const bool points = type == "1";
            (*user)[points ? "tbtxstatus" : "txstatus"] = "0";
            if (paidOut) {
                // What was paid out, counted from the withdrawals.
                int64_t paid = 0;
                for (const json& w : store_.items("withdraw", *uid))
                    if (text(w, "type") == type && text(w, "status") == kPaidOutStatus) paid += withdrawalAmount(w);
                (*user)[points ? "tbyitixian" : "yitixian"] = points ? std::to_string(paid) : moneyText(paid);
            }
            refile(store_, *user, end);
            done({{"withdrawal", ended.record}});
            return;
        }
        // The reward of an invited friend: a registration brings a new friend, a first purchase
        // adds to the award of one.
        const std::string people = text(given, "people"), type = text(given, "type");
        const auto yuan = integer(text(given, "yuan"));
        if (people.empty() || (type != "注册奖励" && type != "购物奖励") || !yuan || *yuan < 1) {
            out = controlRefusal("expected people, a type (注册奖励 or 购物奖励) and whole yuan");
            return;
        }
        bool known = false;
        for (const json& f : store_.items("old_invite", *uid)) known = known || text(f, "people") == people;
        if (known == (type == "注册奖励")) {
            out = controlRefusal(known ? "the friend has registered already" : "no such friend", 409);
            return;
        }
        const std::string day = now.substr(0, 10);
        if (known) {
            store_.updateItems("old_invite", *uid, [&](json& f) {
                if (text(f, "people") != people) return false;
                const json& award = f["award"];
                const int64_t after = awardCents(award) + *yuan * 100;
                f["award"] = award.is_string() ? json(moneyText(after))
                             : after % 100 == 0 ? json(after / 100)
                                                : json(static_cast<double>(after) / 100);
                return true;
            });
        } else {
            store_.addItem("old_invite", *uid, {{"people", people}, {"award", *yuan}, {"regTime", day}});
        }
        store_.addItem("invite", *uid, {{"people", people}, {"type", type}, {"num", std::to_string(*yuan)}, {"time", day}});
        post(store_, *user, rewardPosting(people, type, *yuan, now));
        done();
    });
    return out;
}

}  // namespace zvt::service
