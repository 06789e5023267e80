// The exchange store: its goods page by page ("exchange_goods") and the orders that spend a
// user's Velmo or 集分宝 on them ("exchange"), with the demo goods.
#include <array>
#include <string>

#include "service/DemoData.h"
#include "service/Ledger.h"
#include "service/Operations.h"
#include "service/Service.h"

namespace zvt::service {

namespace {

constexpr int64_t kPageSize = 10;
constexpr int kGoodsPerKind = 26;
constexpr int64_t kMostOrdered = 99;

}  // namespace

std::vector<DemoItem> demoExchangeGoods(int64_t now) {
    // Kinds: 1 physical goods, 2 coupons, 3 virtual goods.
    const std::array<std::array<const char*, 8>, 3> names = {{
        {"不锈钢保温杯", "蓝牙小音箱", "充电宝10000mAh", "便携雨伞", "陶瓷马克杯", "加湿器",
         "数据线三合一", "帆布购物袋"},
        {"满100减10优惠券", "5元无门槛券", "外卖满30减8", "电影票立减15元", "超市购物券20元",
         "咖啡买一送一", "打车券10元", "话费满50减5"},
        {"Q币10个", "话费充值30元", "视频会员月卡", "音乐会员月卡", "流量包1G", "游戏点卡50元",
         "网盘会员月卡", "话费充值10元"},
    }};
    std::vector<DemoItem> out;
    const int64_t day = 86400;
    for (int i = 0; i < 3 * kGoodsPerKind; ++i) {
        const int cid = 1 + i % 3;
        const int n = i / 3;  // the good's place within its kind
        const std::string title =
            std::string(names[cid - 1][n % 8]) + (n >= 8 ? " " + std::to_string(n / 8 + 1) + "号" : "");
        int64_t jifen = 100 + 50 * (i % 9);
        int64_t jifenbao = 50 + 20 * (i % 7);
        int64_t num = 100 - i;
        int64_t edate = now + (7 + i % 5 * 7) * day + 3600 * (i % 24);
        switch (i) {
            case 0: jifen = 300; jifenbao = 150; break;  // physical, 300 Velmo
            case 3: jifen = 0; jifenbao = 150; break;    // physical, 集分宝 only
            case 6: num = 0; break;                      // sold out
            case 9: edate = now + 40 * 60; break;        // ends within the hour
            case 12: edate = now - day; break;           // ended
            default: break;
        }
        out.push_back({"exchange_good",
                       0,
                       {{"id", std::to_string(700 + i)},
                        {"cid", std::to_string(cid)},
                        {"title", title},
                        {"img", std::string(kRootPlaceholder) + "/images/good" + std::to_string(i % 6) + ".png"},
                        {"jifen", std::to_string(jifen)},
                        {"jifenbao", std::to_string(jifenbao)},
                        {"content", "兑换说明：兑换后三个工作日内处理。"},
                        {"num", std::to_string(num)},
                        {"edate", std::to_string(edate)}}});
    }
    return out;
}

Reply Service::opExchangeGoods(Incoming& in) {
    std::string cid = text(in.fields, "cid");
    std::vector<json> rows;
    for (auto& g : store_.items("exchange_good", 0)) {
        if (cid.empty() || cid == "0" || g["cid"] == cid) rows.push_back(g);
    }
    Page page = Store::page(rows, wholePart(text(in.fields, "number")).value_or(1), kPageSize);
    Reply r = ok(nullptr);
    r.body["data"] = pageJson(page, r);
    return r;
}

Reply Service::opExchange(Incoming& in) {
    auto user = userOf(in);
    if (!user) return refuse(201, "用户不存在");
    const std::string goodId = text(in.fields, "goodId");
    std::optional<json> good;
    for (auto& g : store_.items("exchange_good", 0)) {
        if (g["id"] == goodId) good = g;
    }
    if (!good) return refuse(202, "商品不存在");
    // An offer whose end ("edate") has passed on the service's clock takes no more orders.
    const int64_t now = clockSeconds();
    if (auto end = integer(text(*good, "edate")); end && *end < now) return refuse(202, "该商品兑换已结束");
    const int64_t num = wholePart(text(in.fields, "num")).value_or(0);
    if (num < 1 || num > kMostOrdered) return refuse(202, "兑换数量不正确");
    // mode 1 pays in 集分宝, mode 2 in Velmo.
    const std::string mode = text(in.fields, "mode");
    const char* key = mode == "1" ? "jifenbao" : mode == "2" ? "jifen" : nullptr;
    if (!key) return refuse(202, "兑换方式不正确");
    const int64_t price = wholePart(text(*good, key)).value_or(0);
    if (price <= 0) return refuse(202, "该商品不支持此兑换方式");
    const int64_t stock = wholePart(text(*good, "num")).value_or(0);
    if (num > stock) return refuse(202, "库存不足");
    // A balance is counted by its whole part: "12.50" buys what 12 buys.
    const int64_t balance = wholePart(text(*user, key)).value_or(0);
    const int64_t cost = price * num;
    if (balance < cost) return refuse(222, "余额不足");

    (*user)[key] = std::to_string(balance - cost);
    store_.saveUser(*user);
    (*good)["num"] = std::to_string(stock - num);
    store_.updateItems("exchange_good", 0, [&](json& record) {
        if (record["id"] != (*good)["id"]) return false;
        record = *good;
        return true;
    });

    const int64_t uid = std::stoll((*user)["id"].get<std::string>());
    json order = in.fields;  // everything the client sent (names, "qq", remark...)
    order.erase("code");
    order.erase("time");
    order["title"] = (*good)["title"];
    store_.addItem("exchange", uid, order);
    // Its record in the income list and its message ("兑换通知"), which the form tells the user
    // to look for.
    file(store_, uid, exchangePosting((*good)["title"].get<std::string>(), num, mode == "1", cost, dayAndTime(now)));
    return ok(nullptr, "兑换成功");
}

}  // namespace zvt::service
