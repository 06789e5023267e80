// Site messages: the signed-in user's messages, ten to a page, newest first (other families
// file theirs too: an exchange order leaves one), and the demo user's, told from its records.

#include <algorithm>
#include <string>

#include "service/DemoData.h"
#include "service/Operations.h"
#include "service/Service.h"

namespace zvt::service {

// The demo user's site messages, each telling what the records tell, in a service's words: a
// withdrawal taken, paid out or returned (the withdrawal list), a rebate credited (the income
// list, in the record's own words), and the welcome, the invitation offer and the Double Eleven
// activity. Each links to the page on its topic: a help page or an activity page. Filed oldest
// first; titles run from one line to three on a phone.
std::vector<DemoItem> demoMessageItems(int64_t uid, const std::vector<DemoItem>& records) {
    struct Message {
        std::string time, title, paragraph, page, linkText;
    };
    const std::string withdrawalHelp = "/wap/help-4.php", shoppingHelp = "/wap/help-2.php";
    std::vector<Message> all = {
        {"2026-09-01 09:00:00", "欢迎加入Zavelto",
         "从Zavelto打开淘宝或商城下单即可拿回扣，回扣以集分宝或现金发放；绑定支付宝后随时提现，1个工作日内到账。",
         "/wap/help-1.php", "查看新手一分钟"},
        {"2026-09-01 12:00:00", "邀请好友：好友注册奖励2元，首次购物再奖3元起",
         "把邀请码分享给好友，好友注册成功即奖励您2元现金，好友首次购物确认收货后再奖励3元起，奖励直接计入您的余额。",
         "/wap/activity.php?id=4", "查看活动详情"},
        {"2026-11-01 09:00:00", "双十一返利狂欢：11月1日至11日，会场商品返利更高",
         "活动期间从Zavelto打开会场商品下单，“回扣订单”里显示的回扣已含活动加返，确认收货后到账。", "/wap/activity.php?id=1",
         "查看活动详情"},
    };
    for (const DemoItem& item : records) {
        const json& r = item.record;
        if (item.kind == "withdraw") {
            const std::string amount = r["money"].get<std::string>() + (r["type"] == "1" ? "个集分宝" : "元");
            const std::string when = r["addtime"], account = r["account"], status = r["status"];
            const std::string nextDay = daysAfter(when.substr(0, 10), 1) + " 09:30:00";
            if (status == "审核中") {
                all.push_back({when, "提现申请已受理：" + amount + "将在1个工作日内到账，请留意支付宝账户",
                               "您于" + when.substr(0, 16) + "申请提现" + amount + "到支付宝账户 " + account +
                                   "，审核通过后1个工作日内到账，节假日顺延。",
                               withdrawalHelp, "查看提现问题"});
            } else if (status == "已到账") {
                all.push_back({nextDay, "提现已到账：" + amount + "已转入您绑定的支付宝账户",
                               "您于" + when.substr(0, 10) + "申请的提现" + amount + "已转入支付宝账户 " + account + "，请注意查收。",
                               withdrawalHelp, "查看提现问题"});
            } else {
                all.push_back({nextDay, "提现失败：" + amount + "已退回您的账户，请检查支付宝账号和姓名是否一致后重新申请",
                               "您于" + when.substr(0, 10) + "申请的提现" + amount + "未能转入支付宝账户 " + account +
                                   "，已全数退回您的账户。",
                               withdrawalHelp, "查看提现问题"});
            }
        } else if (item.kind == "asset" && r["title"] == "购物返利") {
            const std::string amount = r["jifenbao"] != "0" ? r["jifenbao"].get<std::string>() + "个集分宝"
                                                            : r["money"].get<std::string>() + "元和" +
                                                                  r["jifen"].get<std::string>() + " Velmo";
            all.push_back({r["addtime"], "返利到账：" + amount, r["content"], shoppingHelp, "查看购物问题"});
        }
    }
    std::stable_sort(all.begin(), all.end(), [](const Message& a, const Message& b) { return a.time < b.time; });
    std::vector<DemoItem> out;
    for (size_t i = 0; i < all.size(); ++i) {
        const Message& m = all[i];
        out.push_back({"message",
                       uid,
                       {{"id", std::to_string(5000 + i)},
                        {"title", m.title},
                        {"content", "<h3>" + m.title + "</h3><p>" + m.paragraph + "</p><p><a href=\"" +
                                        std::string(kRootPlaceholder) + m.page + "\">" + m.linkText + "</a></p>"},
                        {"addtime", m.time}}});
    }
    return out;
}

Reply Service::opMessages(Incoming& in) {
    auto user = userOf(in);
    if (!user) return refuse(201, "用户不存在");
    auto rows = store_.items("message", std::stoll((*user)["id"].get<std::string>()));
    Reply r = ok(nullptr);
    r.body["data"] = pageJson(Store::page(rows, intOr(in.fields, "number", 1), 10), r);
    return r;
}

}  // namespace zvt::service
