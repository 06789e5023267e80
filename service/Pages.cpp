// The service's own web pages under /wap/: the four help topics, the offer wall's rules, the
// password-reset landing page, the rebate-coupon page and the site's front page. Pages carry
// their topic as the title and a few paragraphs of our own; an unknown page is a 404.
//
// The coupon page knows its visitor only by the site cookie: a logged-in user sees that user's
// coupons and three buttons that call the application's native functions "callOrder",
// "callSearch" and "upLogin"; a visitor without a session is offered only the login button.

#include <map>
#include <string>
#include <vector>

#include "service/Operations.h"
#include "service/Service.h"

namespace zvt::service {

namespace {

struct PageText {
    const char* title;
    std::vector<const char*> paragraphs;
};

const std::map<std::string, PageText>& pages() {
    static const std::map<std::string, PageText> table = {
        {"/wap/help-1.php",
         {"新手一分钟",
          {"1. 在Zavelto里搜索或浏览想买的宝贝，从Zavelto打开淘宝或商城下单。",
           "2. 淘宝订单会在您确认收货后24小时内显示在“回扣订单”里，商城订单会在您下单后15~20分钟显示。",
           "3. 淘宝订单显示后即可使用回扣券；回扣在确认收货后进入您的账户，以集分宝或现金发放，随时可以提现到绑定的支付宝。"}}},
        {"/wap/help-2.php",
         {"购物问题",
          {"为什么订单没有回扣？请确认下单前是从Zavelto打开的商品，并且没有使用其他返利工具。",
           "为什么看不到刚买的订单？淘宝订单会在您确认收货后24小时内显示，商城订单会在您下单后15~20分钟显示。",
           "退款或退货的订单不产生回扣，已发放的回扣会被扣回，“回扣订单”里这笔订单的回扣显示为0。",
           "商城订单的回扣以商城确认为准，一般需要15到60天。"}}},
        {"/wap/help-3.php",
         {"账号问题",
          {"忘记密码：在登录页点“忘记密码”，用绑定的手机号或邮箱找回。",
           "一个淘宝账号只能绑定一个Zavelto账号；一个手机号或邮箱也只能绑定一个Zavelto账号。",
           "修改手机号或支付宝请联系客服。"}}},
        {"/wap/help-4.php",
         {"提现问题",
          {"提现没有最低数额：集分宝按整数个提取，现金最少提取0.01元，最多精确到分。",
           "同一种提现（集分宝或现金）审核期间不能再次申请，审核完成后即可再提。",
           "提现申请在1个工作日内到账，节假日顺延。",
           "提现失败时金额会退回您的账户，请检查支付宝账号和姓名是否一致。"}}},
        {"/wap/help-ios-ads.html",
         {"赚积分规则",
          {"完成任务墙里的任务即可获得积分，积分在任务审核通过后到账。",
           "同一设备同一任务只能获得一次积分。",
           "作弊获得的积分将被扣除。"}}},
        {"/wap/reset.php", {"重置密码", {"请在Zavelto应用中完成密码重置。"}}},
        {"/", {"Zavelto", {"Zavelto：购物拿回扣。"}}},
    };
    return table;
}

}  // namespace

// Laid out for any phone's width: every text wraps inside its box (a long word or number too)
// and no box has a fixed height, so a text longer than a line takes another line of its own.
Reply pageDocument(const std::string& title, const std::string& body) {
    Reply r;
    r.contentType = "text/html; charset=utf-8";
    r.raw = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
            "<meta name=\"viewport\" content=\"width=device-width\"><title>" + title + "</title>"
            "<style>body{font-family:sans-serif;margin:0;padding:12px 15px;color:#333;background:#fff;overflow-wrap:anywhere}"
            "h1{font-size:18px;color:#ff6e28;margin:4px 0 12px}p{font-size:15px;line-height:1.6;margin:0 0 10px}"
            "</style></head><body><h1 id=\"title\">" + title + "</h1>" + body + "</body></html>\n";
    return r;
}

namespace {

// A coupon is named by the award it holds, which use_coupon adds to its order's rebate.
std::string couponName(const json& coupon) {
    const std::string award = text(coupon, "award");
    return award.empty() ? "回扣券" : htmlEscaped(award) + "集分宝回扣券";
}

// A button that calls one of the application's functions; a page opened outside the
// application has none of them, and says so.
std::string nativeButton(const char* id, const char* function, const char* label) {
    return std::string("<button id=\"") + id + "\" onclick=\"if(window." + function + "){" + function +
           "();}else{document.getElementById('note').textContent='请在Zavelto应用中打开';}\">" + label + "</button>";
}

}  // namespace

Reply Service::pageCoupon(Incoming& in) {
    const std::string style =
        "<style>ul{list-style:none;padding:0;margin:0 0 12px}li{border:1px solid #ffd2b8;border-radius:6px;"
        "padding:8px 10px;margin:0 0 8px;font-size:15px;display:flex;flex-wrap:wrap;justify-content:space-between;"
        "align-items:baseline}li.used{color:#999;border-color:#ddd}"
        "li span{font-size:13px;margin-left:auto;padding-left:8px}button{display:block;width:100%;min-height:40px;"
        "padding:8px;margin:0 0 10px;border:0;border-radius:4px;background:#ff6e28;color:#fff;font-size:16px}</style>";
    if (!in.sessionUser) {
        return pageDocument("回扣券", style + "<p>登录后查看您的回扣券。</p>" + nativeButton("login", "upLogin", "登录") +
                                      "<p id=\"note\"></p>");
    }
    const auto user = store_.userById(*in.sessionUser);
    const std::string name = user ? text(*user, "ddusername") : "";
    // Each coupon with the number its order's list shows; usable what use_coupon takes: the
    // other coupons of an order that has had one are void.
    std::string list;
    int usable = 0;
    for (const CouponState& state : couponStates(store_, *in.sessionUser)) {
        const bool used = state.coupon.value("used", false);
        usable += state.usable ? 1 : 0;
        const char* shown = state.usable ? "可使用" : used ? "已使用" : "已失效";
        const std::string order = state.orderNumber.empty() ? "" : "订单 " + htmlEscaped(state.orderNumber) + " · ";
        list += std::string("<li class=\"") + (state.usable ? "usable" : "used") + "\">" +
                couponName(state.coupon) + "<span>" + order + shown + "</span></li>";
    }
    std::string body = "<p id=\"owner\">" + htmlEscaped(name.empty() ? "用户 " + std::to_string(*in.sessionUser) : name) +
                       "的回扣券：<b id=\"usable\">" + std::to_string(usable) + "</b> 张可用</p>";
    body += nativeButton("order", "callOrder", "去回扣订单使用") + nativeButton("search", "callSearch", "去淘宝找回扣") +
            nativeButton("login", "upLogin", "切换账号") + "<p id=\"note\"></p>";
    body += list.empty() ? "<p>您还没有回扣券，下单后即可获得。</p>" : "<ul id=\"coupons\">" + list + "</ul>";
    return pageDocument("回扣券", style + body);
}

Reply Service::pageHtml(Incoming& in) {
    std::string path = in.target.substr(0, in.target.find('?'));
    if (path == "/wap/coupon.php") return pageCoupon(in);
    auto it = pages().find(path);
    if (it == pages().end()) {
        Reply r = pageDocument("页面不存在", "<p>" + htmlEscaped(path) + "</p>");
        r.httpStatus = 404;
        return r;
    }
    std::string body;
    for (const char* paragraph : it->second.paragraphs) body += std::string("<p>") + paragraph + "</p>";
    return pageDocument(it->second.title, body);
}

}  // namespace zvt::service
