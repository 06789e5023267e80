#include "service/Ledger.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

#include "service/DemoData.h"
#include "service/Operations.h"

namespace zvt::service {

namespace {

const std::string kWithdrawalHelp = "/wap/help-4.php";
const std::string kShoppingHelp = "/wap/help-2.php";

json record(const std::string& title, const std::string& content, int64_t cash, int64_t jifenbao, int64_t jifen,
            const std::string& when) {
    return {{"title", title},
            {"content", content},
            {"money", moneyText(cash)},
            {"jifenbao", std::to_string(jifenbao)},
            {"jifen", std::to_string(jifen)},
            {"addtime", when}};
}

std::string amountText(const json& w) {
    return text(w, "money") + (withdrawalOfPoints(w) ? "个集分宝" : "元");
}

}  // namespace

json LedgerMessage::record(int64_t id) const {
    std::string content = "<h3>" + title + "</h3><p>" + paragraph + "</p>";
    if (!page.empty()) content += "<p><a href=\"" + std::string(kRootPlaceholder) + page + "\">" + linkText + "</a></p>";
    return {{"id", std::to_string(id)}, {"title", title}, {"content", content}, {"addtime", time}};
}

std::string taobaoOrderAbout(const json& order) { return "taobao_order " + text(order, "id"); }
std::string mallOrderAbout(const json& order) { return "store_order " + text(order, "id"); }
std::string withdrawalAbout(int64_t place) { return "withdraw " + std::to_string(place); }

LedgerMessage welcomeMessage(const std::string& when) {
    return {when, "欢迎加入Zavelto",
            "从Zavelto打开淘宝或商城下单即可拿回扣，回扣以集分宝或现金发放；绑定支付宝后随时提现，1个工作日内到账。",
            "/wap/help-1.php", "查看新手一分钟"};
}

Posting openingPosting(int64_t cash, int64_t jifenbao, int64_t jifen, const std::string& when) {
    std::vector<std::string> parts;
    if (cash) parts.push_back(moneyText(cash) + "元");
    if (jifenbao) parts.push_back(std::to_string(jifenbao) + " 个集分宝");
    if (jifen) parts.push_back(std::to_string(jifen) + " Velmo");
    std::string brought;
    for (size_t i = 0; i < parts.size(); ++i) brought += (i == 0 ? "" : i + 1 == parts.size() ? " 和 " : "、") + parts[i];
    return {cash, jifenbao, jifen, "asset",
            record("余额转入", "账户开通，原有余额 " + brought + " 已转入。", cash, jifenbao, jifen, when), welcomeMessage(when), ""};
}

Posting registrationPosting(const std::string& when) {
    return {0,
            kWelcomeJifenbao,
            kWelcomeJifen,
            "asset",
            record("新人红包",
                   "注册成功，新人红包 " + std::to_string(kWelcomeJifen) + " Velmo 和 " + std::to_string(kWelcomeJifenbao) +
                       " 个集分宝已到账。",
                   0, kWelcomeJifenbao, kWelcomeJifen, when),
            welcomeMessage(when),
            ""};
}

Posting checkinPosting(const std::string& when) {
    return {0, kSignJifenbao, kSignJifen, "asset", record("签到奖励", kCheckinRecordText, 0, kSignJifenbao, kSignJifen, when),
            std::nullopt, ""};
}

Posting exchangePosting(const std::string& title, int64_t num, bool points, int64_t cost, const std::string& when) {
    const std::string spent = std::to_string(cost) + (points ? " 个集分宝" : " Velmo");
    return {0,
            points ? -cost : 0,
            points ? 0 : -cost,
            "asset",
            record("兑换商品", "兑换" + title + " × " + std::to_string(num) + "，花费 " + spent + "。", 0, points ? -cost : 0,
                   points ? 0 : -cost, when),
            LedgerMessage{when, "兑换通知",
                          "您兑换的" + title + " × " + std::to_string(num) + "已受理，共花费" + std::to_string(cost) +
                              (points ? "集分宝" : "Velmo") + "，我们将在三个工作日内处理。",
                          "", ""},
            ""};
}

bool withdrawalOfPoints(const json& w) { return text(w, "type") == "1"; }

int64_t withdrawalAmount(const json& w) {
    const std::string money = w.value("money", "");
    return withdrawalOfPoints(w) ? wholePart(money).value_or(0) : cents(money);
}

LedgerMessage withdrawalNews(const json& w, const std::string& when) {
    const std::string amount = amountText(w), asked = text(w, "addtime"), account = text(w, "account");
    const std::string status = text(w, "status");
    if (status == "审核中") {
        return {when, "提现申请已受理：" + amount + "将在1个工作日内到账，请留意支付宝账户",
                "您于" + asked.substr(0, 16) + "申请提现" + amount + "到支付宝账户 " + account + "，审核通过后1个工作日内到账，节假日顺延。",
                kWithdrawalHelp, "查看提现问题"};
    }
    if (status == kPaidOutStatus) {
        return {when, "提现已到账：" + amount + "已转入您绑定的支付宝账户",
                "您于" + asked.substr(0, 10) + "申请的提现" + amount + "已转入支付宝账户 " + account + "，请注意查收。", kWithdrawalHelp,
                "查看提现问题"};
    }
    return {when, "提现失败：" + amount + "已退回您的账户，请检查支付宝账号和姓名是否一致后重新申请",
            "您于" + asked.substr(0, 10) + "申请的提现" + amount + "未能转入支付宝账户 " + account + "，已全数退回您的账户。",
            kWithdrawalHelp, "查看提现问题"};
}

Posting withdrawalPosting(const std::string& account, bool points, int64_t amount, const std::string& when, int64_t place) {
    Posting p;
    p.about = withdrawalAbout(place);
    (points ? p.jifenbao : p.cash) = -amount;
    p.list = "withdraw";
    p.record = {{"account", account},
                {"type", points ? "1" : "2"},
                {"money", points ? std::to_string(amount) : moneyText(amount)},
                {"status", "审核中"},
                {"addtime", when}};
    p.message = withdrawalNews(p.record, when);
    return p;
}

int64_t nextWithdrawal(Store& store, int64_t uid) { return store.count("withdraw", uid) + 1; }

Posting endWithdrawal(json& w, const std::string& about, bool paidOut, const std::string& when) {
    w["status"] = paidOut ? kPaidOutStatus : kReturnedStatus;
    Posting p;
    p.about = about;
    if (!paidOut) (withdrawalOfPoints(w) ? p.jifenbao : p.cash) = withdrawalAmount(w);
    p.message = withdrawalNews(w, when);
    return p;
}

int64_t taobaoRebate(const json& goods, int64_t payCents, const std::string& paidAt) {
    const int64_t promotion = cents(goods.value("promotion_price", ""));
    const double rebate = goods.contains("fxje") && goods["fxje"].is_number() ? goods["fxje"].get<double>() : 0;
    if (promotion <= 0) return 0;
    const int64_t usual = std::llround(rebate * 100 * static_cast<double>(payCents) / static_cast<double>(promotion));
    return inDoubleEleven(paidAt) ? 2 * usual : usual;
}

json taobaoOrder(const std::string& id, const std::string& tradeId, const json& goods, const std::string& createdAt,
                 const std::string& paidAt, int platform, bool couponChance) {
    const std::string paid = goods.value("promotion_price", "0.00");
    return {{"id", id},
            {"item_title", goods["title"]},
            {"num_iid", goods["iid"]},
            {"pay_price", paid},
            {"jifenbao", std::to_string(taobaoRebate(goods, cents(paid), paidAt))},
            {"trade_id", tradeId},
            {"pay_time", paidAt},
            {"create_time", createdAt},
            {"coupon_award", "0"},
            {"platform", std::to_string(platform)},
            {"pic_url", goods["pic_url"]},
            {"can_useCoupon", couponChance ? "1" : "0"},
            {"coupons", "0"}};
}

const char* couponAward(int type) { return type == 1 ? "5" : type == 2 ? "8" : "10"; }

json couponOf(int64_t id, int type, const std::string& order) {
    return {{"id", id}, {"type", type}, {"award", couponAward(type)}, {"order", order}, {"used", false}};
}

Posting rebatePosting(const json& order, const std::string& when) {
    const int64_t award = wholePart(order.value("coupon_award", "0")).value_or(0);
    const int64_t points = wholePart(order.value("jifenbao", "0")).value_or(0) + award;
    const bool doubled = inDoubleEleven(order.value("pay_time", ""));
    std::string notes;
    if (doubled) notes = "双十一付款，回扣翻倍";
    if (award) notes += std::string(doubled ? "，" : "") + "含回扣券额外 " + std::to_string(award) + " 个";
    const std::string content = "淘宝订单 " + order.value("trade_id", "") + " 已确认收货，返利 " + std::to_string(points) +
                                " 个集分宝" + (notes.empty() ? "" : "（" + notes + "）") + "已到账。";
    return {0,
            points,
            0,
            "asset",
            record("购物返利", content, 0, points, 0, when),
            LedgerMessage{when, "返利到账：" + std::to_string(points) + "个集分宝", content, kShoppingHelp, "查看购物问题"},
            taobaoOrderAbout(order)};
}

Posting settleRebate(json& order, const std::string& when) {
    order["can_useCoupon"] = "0";
    return rebatePosting(order, when);
}

Posting mallRebatePosting(const json& order, const std::string& when) {
    const int64_t cash = cents(order.value("fxje", "0"));
    const int64_t velmo = wholePart(order.value("jifen", "0")).value_or(0);
    const std::string content = order.value("mall_name", "") + "订单 " + order.value("order_code", "") + " 已结算，返利 " +
                                moneyText(cash) + "元 和 " + std::to_string(velmo) + " Velmo 已到账。";
    return {cash,
            0,
            velmo,
            "asset",
            record("购物返利", content, cash, 0, velmo, when),
            LedgerMessage{when, "返利到账：" + moneyText(cash) + "元和" + std::to_string(velmo) + " Velmo", content, kShoppingHelp,
                          "查看购物问题"},
            mallOrderAbout(order)};
}

Posting refund(json& order, int64_t points, const std::string& when) {
    const std::string number = order.value("trade_id", "");
    order["jifenbao"] = "0";
    order["coupon_award"] = "0";
    return {0, -points, 0, "refund",
            record("订单退款扣回", "淘宝订单 " + number + " 已退款，扣回返利 " + std::to_string(points) + " 个集分宝。", 0, -points, 0,
                   when),
            LedgerMessage{when, "订单退款：返利" + std::to_string(points) + "个集分宝已扣回",
                          "淘宝订单 " + number + " 已退款，到账的返利 " + std::to_string(points) + " 个集分宝已从您的账户扣回。",
                          kShoppingHelp, "查看购物问题"},
            taobaoOrderAbout(order)};
}

bool citesOrder(const json& record, const std::string& number) {
    return !number.empty() && record.value("content", "").find("订单 " + number + " ") != std::string::npos;
}

Posting rewardPosting(const std::string& people, const std::string& type, int64_t yuan, const std::string& when) {
    const std::string content = people + (type == "注册奖励" ? " 完成注册" : " 首次购物") + "，邀请奖励 " + moneyText(yuan * 100) + "元 已到账。";
    return {yuan * 100, 0, 0, "asset", record("邀请奖励", content, yuan * 100, 0, 0, when), std::nullopt, ""};
}

std::string movedWhole(const std::string& balance, int64_t units) {
    if (balance.find('.') == std::string::npos) return std::to_string(integer(balance).value_or(0) + units);
    const bool number = std::all_of(balance.begin(), balance.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; }) &&
                        std::count(balance.begin(), balance.end(), '.') == 1;
    return moneyText((number ? cents(balance) : 0) + units * 100);
}

void credit(json& user, const Posting& p) {
    if (p.cash) user["money"] = moneyText(cents(text(user, "money")) + p.cash);
    if (p.jifenbao) user["jifenbao"] = movedWhole(text(user, "jifenbao"), p.jifenbao);
    if (p.jifen) user["jifen"] = movedWhole(text(user, "jifen"), p.jifen);
}

void file(Store& store, int64_t uid, const Posting& p) {
    if (!p.list.empty()) store.addItem(p.list, uid, p.record, p.about);
    if (p.message) store.addItem("message", uid, p.message->record(store.nextNumber("message", "id", 5000)), p.about);
}

void post(Store& store, json& user, const Posting& p) {
    credit(user, p);
    store.saveUser(user);
    file(store, std::stoll(text(user, "id")), p);
}

void refile(Store& store, json& user, const Posting& p) {
    // A posting of no thing would take no message away: it would only add one.
    if (p.about.empty()) throw std::logic_error("a later news of nothing");
    store.removeAbout("message", std::stoll(text(user, "id")), p.about);
    post(store, user, p);
}

}  // namespace zvt::service
