// The order and coupon family: the enciphered "order" list (Taobao and mall orders, pages of
// 10) and the two coupon operations of the JSON interface. A coupon is offered for one Taobao
// order; spending it records its award on that order, so that the next list shows it.
#include <map>

#include "service/Operations.h"
#include "service/Service.h"

namespace zvt::service {

namespace {

constexpr const char* kTaobaoOrders = "taobao_order";
constexpr const char* kMallOrders = "store_order";
constexpr const char* kCoupons = "coupon";

int64_t userIdOf(const json& user) { return std::stoll(user["id"].get<std::string>()); }

}  // namespace

Reply Service::opOrder(Incoming& in) {
    auto user = userOf(in);
    if (!user) return refuse(201, "用户不存在");
    const bool taobao = text(in.fields, "do") == "taobao";
    auto rows = store_.items(taobao ? kTaobaoOrders : kMallOrders, userIdOf(*user));
    if (taobao) {
        // A Taobao order's "coupons" is how many it offers now, counted from the coupons: what
        // get_coupon answers for it.
        std::map<std::string, int> offered;
        for (const CouponState& state : couponStates(store_, userIdOf(*user)))
            if (state.usable) ++offered[text(state.coupon, "order")];
        for (json& row : rows) row["coupons"] = std::to_string(offered[text(row, "id")]);
    }
    Reply r = ok(nullptr);
    r.body["data"] = pageJson(Store::page(rows, intOr(in.fields, "number", 1), 10), r);
    return r;
}

std::vector<CouponState> couponStates(Store& store, int64_t uid) {
    std::map<std::string, json> orders;  // by record id
    for (auto& o : store.items(kTaobaoOrders, uid)) orders[text(o, "id")] = o;
    std::vector<CouponState> out;
    for (auto& c : store.items(kCoupons, uid)) {
        CouponState state{c, "", false};
        auto order = orders.find(text(c, "order"));
        if (order != orders.end()) {
            state.orderNumber = text(order->second, "trade_id");
            // As use_coupon decides: an unused coupon of an order that has not had one.
            state.usable = !c.value("used", false) && text(order->second, "can_useCoupon") == "1";
        }
        out.push_back(std::move(state));
    }
    return out;
}

Reply Service::opGetCoupon(Incoming& in) {
    auto user = userOf(in, "uid");
    if (!user) return refuse(201, "用户不存在");
    const std::string order = text(in.fields, "tradeId");
    // Only what use_coupon would take: once an order has had its coupon, it offers no other.
    json coupons = json::array();
    for (const CouponState& state : couponStates(store_, userIdOf(*user))) {
        if (text(state.coupon, "order") != order || !state.usable) continue;
        coupons.push_back({{"id", state.coupon["id"]}, {"type", state.coupon["type"]}});
    }
    Reply r = ok(nullptr);
    r.body["coupons"] = coupons;
    return r;
}

Reply Service::opUseCoupon(Incoming& in) {
    auto user = userOf(in, "uid");
    if (!user) return refuse(201, "用户不存在");
    const int64_t uid = userIdOf(*user);
    // The client names the order by the record's "id" (not its trade_id).
    const std::string order = text(in.fields, "tradeId");
    const std::string couponId = text(in.fields, "couponId");
    std::optional<json> found;
    for (auto& o : store_.items(kTaobaoOrders, uid)) {
        if (!order.empty() && text(o, "id") == order) found = o;
    }
    if (!found) return refuse(202, "订单不存在");
    std::optional<json> coupon;
    for (auto& c : store_.items(kCoupons, uid)) {
        if (!couponId.empty() && text(c, "id") == couponId) coupon = c;
    }
    if (!coupon || text(*coupon, "order") != order) return refuse(202, "该回扣券不能用于此订单");
    if (coupon->value("used", false)) return refuse(202, "该回扣券已使用");
    if (text(*found, "can_useCoupon") != "1") return refuse(202, "该订单不能再使用回扣券");

    const json award = (*coupon)["award"];
    store_.updateItems(kCoupons, uid, [&](json& c) {
        if (text(c, "id") != couponId) return false;
        c["used"] = true;
        return true;
    });
    store_.updateItems(kTaobaoOrders, uid, [&](json& o) {
        if (text(o, "id") != order) return false;
        o["coupon_award"] = award;
        o["can_useCoupon"] = "0";
        o["coupons"] = "0";
        return true;
    });
    return ok({{"award", award}}, "使用成功");
}

}  // namespace zvt::service
