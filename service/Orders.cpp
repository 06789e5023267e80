// The order and coupon family: the enciphered "order" list (Taobao and mall orders, pages of
// 10) and the two coupon operations of the JSON interface. A coupon is offered for one Taobao
// order; spending it records its award on that order, so that the next list shows it.
#include <cstdio>
#include <map>

#include "service/DemoData.h"
#include "service/Operations.h"
#include "service/Service.h"

namespace zvt::service {

namespace {

constexpr const char* kTaobaoOrders = "taobao_order";
constexpr const char* kMallOrders = "store_order";
constexpr const char* kCoupons = "coupon";

int64_t userIdOf(const json& user) { return std::stoll(user["id"].get<std::string>()); }

std::string money(int cents) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d.%02d", cents / 100, cents % 100);
    return buf;
}

std::string day(const char* month, int dayOfMonth, const char* time) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s-%02d %s", month, dayOfMonth, time);
    return buf;
}

const char* const kOrderTitles[] = {
    "韩版宽松连帽卫衣女春秋款", "无线蓝牙耳机运动降噪",   "天然蜂蜜农家自产500g",
    "休闲运动鞋男透气跑步鞋",   "新疆红枣特级一等2斤装",  "防晒霜清爽不油腻SPF50",
    "宝宝纯棉口水巾6条装",      "办公室午睡枕头趴睡神器", "碧螺春绿茶新茶250g礼盒装"};
const char* const kMallNames[] = {"京东商城", "苏宁易购", "唯品会", "当当网", "国美在线", "聚美优品"};
const char* const kMallStatus[] = {"已结算", "待结算", "已失效"};

// The demo Taobao orders come in six kinds, in this order, so that the first page shows each:
// coupons to use (3 of them), a coupon already used (award 5), nothing to do, 5 coupons,
// 2 coupons, and an order that allows a coupon but has none on offer.
struct OrderKind {
    bool canUseCoupon;
    const char* award;
    int coupons;
};
constexpr OrderKind kOrderKinds[] = {{true, "0", 3},  {false, "5", 0}, {false, "0", 0},
                                     {true, "0", 5},  {true, "0", 2},  {true, "0", 0}};

// A coupon's award by its type (1, 2, 3): whole numbers of 集分宝.
const char* awardOfType(int type) { return type == 1 ? "5" : type == 2 ? "8" : "10"; }

}  // namespace

std::vector<DemoItem> demoOrderItems(int64_t uid) {
    std::vector<DemoItem> out;
    int couponId = 101;
    for (int i = 0; i < 25; ++i) {
        const OrderKind& kind = kOrderKinds[i % 6];
        std::string orderId = std::to_string(3000 + i);
        out.push_back({kTaobaoOrders,
                       uid,
                       {{"id", orderId},
                        {"item_title", kOrderTitles[i % 9]},
                        {"num_iid", std::to_string(520000000000LL + i * 7919)},
                        {"pay_price", money(1990 + i * 310)},
                        {"jifenbao", std::to_string(20 + i * 3)},
                        {"trade_id", std::to_string(88000000000000LL + i * 17)},
                        {"pay_time", day("2026-11", 30 - i, "12:30:00")},
                        {"create_time", day("2026-11", 30 - i, "12:20:00")},
                        {"coupon_award", kind.award},
                        {"platform", std::to_string(i % 2)},
                        {"pic_url", std::string(kRootPlaceholder) + "/images/product" +
                                        std::to_string(i % 10) + ".png"},
                        {"can_useCoupon", kind.canUseCoupon ? "1" : "0"},
                        {"coupons", std::to_string(kind.coupons)}}});
        for (int c = 0; c < kind.coupons; ++c) {
            int type = 1 + c % 3;
            out.push_back({kCoupons,
                           uid,
                           {{"id", couponId++},
                            {"type", type},
                            {"award", awardOfType(type)},
                            {"order", orderId},
                            {"used", false}}});
        }
    }
    for (int i = 0; i < 12; ++i) {
        out.push_back({kMallOrders,
                       uid,
                       {{"id", std::to_string(6000 + i)},
                        {"fxje", money(300 + i * 45)},
                        {"img", std::string(kRootPlaceholder) + "/images/mall" +
                                    std::to_string(i % 6) + ".png"},
                        {"item_count", std::to_string(1 + i % 3)},
                        {"item_price", money(5900 + i * 1000)},
                        {"jifen", std::to_string(30 + i * 4)},
                        {"mall_name", kMallNames[i % 6]},
                        {"order_code", "M" + std::to_string(202611000 + i)},
                        {"order_time", day("2026-10", 28 - i, "09:15:00")},
                        {"status", kMallStatus[i % 3]}}});
    }
    return out;
}

Reply Service::opOrder(Incoming& in) {
    auto user = userOf(in);
    if (!user) return refuse(201, "用户不存在");
    auto rows = store_.items(text(in.fields, "do") == "taobao" ? kTaobaoOrders : kMallOrders,
                             userIdOf(*user));
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
