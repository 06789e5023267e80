// The rebate link and the pages standing in for the shops the product page, the activity page,
// the affiliate search and the cart page visit: the click link, the mall redirect, the product,
// mall, cart and search pages, the partners' download pages, a page that links to every address
// the product page refuses (for the tests of the web view's filter, which open it themselves: no
// shop page links to it), the activity pages that call the application's "upLogin" for a
// visitor without a session, and a page that cannot load.
//
// The pages read as a shop's: what a page was opened for (the item, the user credited, the
// session's user, the affiliate id) is in its markup ("data-" attributes), not in its text.
//
// The shop hosts are the service's own host (the client's configuration points them here); the
// App Store stand-in is the service under the name "localhost".

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "service/DemoData.h"
#include "service/Operations.h"
#include "service/Service.h"

namespace zvt::service {
namespace {

// A phone-sized page: the shop's orange header with the title, then the body. Every box grows
// with its text, which wraps inside it at any width (a long word or number too): nothing has a
// fixed height, so a text longer than a narrow phone's line takes another line of its own box
// instead of running over the next one.
Reply shopPage(const std::string& title, const std::string& body, const std::string& script = "") {
    Reply r;
    r.contentType = "text/html; charset=utf-8";
    r.raw = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
            "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
            "<title>" + title + "</title><style>"
            "body{margin:0;font-family:sans-serif;background:#f5f5f5;color:#333;overflow-wrap:anywhere}"
            "header{background:#ff5000;color:#fff;padding:12px 16px;font-size:20px}"
            "section{background:#fff;margin:8px 0;padding:12px 16px}"
            "a{display:block;padding:10px 0;color:#ff5000;font-size:17px;text-decoration:none}"
            "button{background:#ff5000;color:#fff;border:0;border-radius:4px;font-size:18px;padding:12px 20px}"
            ".price{color:#ff5000;font-size:24px}"
            // The poster: its lines side by side where they fit, else one under the other, each
            // wrapping inside the poster when longer than it; centred, at least 160 high.
            ".pic{min-height:160px;box-sizing:border-box;padding:20px 8px;display:flex;flex-wrap:wrap;"
            "align-items:center;align-content:center;justify-content:center;text-align:center;"
            "background:#ffd8c2;font-size:40px;color:#ff5000}.pic span{margin:0 8px}"
            "</style></head><body><header>" + title + "</header>" + body +
            (script.empty() ? "" : "<script>" + script + "</script>") + "</body></html>\n";
    return r;
}

Reply redirect(const std::string& location) {
    Reply r;
    r.httpStatus = 302;
    r.contentType = "text/html; charset=utf-8";
    r.raw = "";
    r.headers.emplace_back("Location", location);
    return r;
}

// The activity pages by id: the title (the name every link to it gives), the poster's lines,
// what it is about, what a visitor without a session is told beside the login, what a logged-in
// user is told, and its rules. An id of none of them is a plain page of an ended activity.
//
// Every figure they name is one the service keeps: the check-in's credits (kSignJifen,
// kSignJifenbao), the invitation rewards (demoInviteRewards: 2 元 on the day a friend
// registers, 3 元 or more for the friend's first purchase), the Double Eleven days and their
// doubled rebate (inDoubleEleven). The shopping activities promise no figure.
struct Activity {
    std::string id, title;
    std::vector<std::string> poster;
    std::string about, visitor, joined;
    std::vector<std::string> rules;
};

// What every rebate of a Taobao order comes with, said on the rules of each shopping activity.
const char* const kRebateOpened = "从Zavelto打开商品后下单付款的淘宝订单才有回扣，回扣以“回扣订单”里显示的为准。";
const char* const kRebateCredited = "回扣在确认收货后记入您的账户；退款的订单不计回扣，已记入的回扣会被扣回。";

const Activity& activityOf(const std::string& id) {
    static const std::string credits =
        std::to_string(kSignJifen) + " Velmo和" + std::to_string(kSignJifenbao) + "个集分宝";
    static const std::string checkin = "每天签到一次，得" + credits;
    static const std::vector<std::string> checkinRules = {
        "每天可签到一次，每次得" + credits + "，签到后当即记入您的账户。",
        "签到按手机上的日期计算，每天的奖励相同，连续签到不另加奖励。",
        "Velmo和集分宝可在兑换中心兑换商品，集分宝也可以提现到支付宝。",
    };
    static const std::vector<Activity> activities = {
        {"1", "双十一返利狂欢", {"双十一", "回扣翻倍"}, "每年11月1日至11日，活动期间付款的淘宝订单回扣翻倍。", "登录后参加活动",
         "您已参加活动，活动期间付款的淘宝订单回扣自动翻倍",
         {"活动时间：每年11月1日至11月11日。",
          "活动期间付款的淘宝订单，回扣是平时的两倍；“回扣订单”里显示的回扣已是翻倍后的数额。",
          "翻倍的回扣与平时的回扣一样，在确认收货后记入您的账户；退款的订单不计回扣。", "商城订单不参加本活动。"}},
        {"2", "新人专享高返", {"新人专享", "高返好物"}, "为新用户挑选的高回扣好物，从Zavelto打开商品下单即可拿回扣。", "登录后领取回扣",
         "从Zavelto打开商品下单，确认收货后回扣记入您的账户",
         {"注册Zavelto并登录即可参加，无需报名。", kRebateOpened, kRebateCredited}},
        {"3", "品牌特卖", {"大牌好货", "特卖也有回扣"}, "精选品牌好货，特卖商品从Zavelto打开下单同样有回扣。", "登录后领取回扣",
         "特卖商品下单即有回扣", {"特卖商品的价格和库存以商品页面为准，售完即止。", kRebateOpened, kRebateCredited}},
        // The application invites through its invite screen's share panel: it has no code or link.
        {"4", "邀请好友", {"邀请好友", "一起省钱"}, "邀请好友注册并购物，您得邀请奖励：好友注册奖励2元，首次购物再奖3元起。",
         "登录后邀请好友", "在「我的」页点「邀请好友」，再点「立即邀请」分享给好友即可",
         {"在「我的」页点「邀请好友」，再点「立即邀请」，把邀请分享给好友。",
          "好友注册成功，您得2元现金奖励；好友首次购物，您再得3元起的现金奖励。", "奖励当天记入您的现金余额，可以提现到支付宝。"}},
        {"8", "签到有礼", {"每日签到", "Velmo到手"}, checkin + "，Velmo可在兑换中心换好礼。", "登录后每天签到领Velmo和集分宝",
         "明天记得再来签到", checkinRules},
        {"9", "签到攻略", {"签到攻略"}, checkin + "；Velmo和集分宝可在兑换中心兑换商品。", "登录后每天签到领Velmo和集分宝",
         "每天签到一次，别错过", checkinRules},
        {"21", "限时返利活动", {"限时高返", "数量有限"}, "精选高回扣商品，数量有限，先到先得。", "登录后领取回扣",
         "活动商品下单即享高回扣",
         {"活动商品数量有限，价格以下单时的商品页面为准。", kRebateOpened, kRebateCredited}},
        {"22", "新人任务", {"新人任务", "一步步上手"}, "注册、绑定手机、完成首单，一步步熟悉Zavelto。", "登录后开始新人任务",
         "完成首单，确认收货后回扣记入您的账户",
         {"第一步：注册Zavelto并登录，新人红包在注册时记入您的账户。", "第二步：绑定手机号，之后可用它登录和找回密码。",
          "第三步：从Zavelto打开商品完成首单，回扣以“回扣订单”里显示的为准，确认收货后记入您的账户。"}},
    };
    static const Activity plain = {"", "活动专区", {"精彩活动"}, "本活动已结束，更多活动敬请期待。", "", "",
                                   {"本活动已结束，不再接受参加。", "更多活动请留意Zavelto首页。"}};
    for (const Activity& activity : activities) {
        if (activity.id == id) return activity;
    }
    return plain;
}

// The poster: its lines kept whole where the width allows, each wrapping inside it where not.
std::string posterOf(const Activity& activity) {
    std::string lines;
    for (const std::string& line : activity.poster) lines += "<span>" + line + "</span>";
    return "<div class=pic>" + lines + "</div>";
}

// When the Double Eleven activity comes back, for a page seen outside it at "YYYY-MM-DD ...":
// 1 November of this year before it, of the next one after it.
std::string nextDoubleEleven(const std::string& now) {
    const int year = std::stoi(now.substr(0, 4));
    const bool before = now.compare(5, 2, "11") < 0;
    return std::to_string(before ? year : year + 1) + "年11月1日";
}

// "host:port" of the address the client used.
std::string authorityOf(const std::string& root) {
    auto at = root.find("://");
    return at == std::string::npos ? root : root.substr(at + 3);
}

}  // namespace

Reply Service::opClickUrl(Incoming& in) {
    std::string iid = text(in.fields, "good_iid");
    if (iid.empty()) return refuse(202, "商品不存在");
    std::string url = std::string(kRootPlaceholder) + "/item.php?iid=" + queryEscaped(iid) +
                      "&id=" + queryEscaped(text(in.fields, "good_id")) +
                      "&uid=" + queryEscaped(text(in.fields, "uid"));
    return ok({{"click_url", url}});
}

// The mall redirect: a 302 to the mall's page, which records the user's rebate.
Reply Service::opGoMall(Incoming& in) {
    return redirect(in.root + "/shop/mall.php?id=" + queryEscaped(text(in.fields, "id")) +
                    "&uid=" + queryEscaped(text(in.fields, "uid")));
}

bool Service::isShopPage(const std::string& path) {
    static const char* const paths[] = {
        "/item.php",          "/search.html",       "/wap/activity.php",
        "/shop/mall.php",     "/shop/cart.html",    "/shop/links.html",
        "/shop/other.html",   "/shop/detail.html",
        "/wow/portal/act/app-download", "/market/laiwang/tmall/app-download.php",
        "/hd/downLoadAnroidSimple.html"};
    for (const char* p : paths) {
        if (path == p) return true;
    }
    return path.rfind("/cn/app/", 0) == 0;
}

// A shop that is no longer there: the connection ends without an answer.
HttpResponse Service::goneShop(const HttpRequest& req) {
    Incoming in = decode(req, "page");
    in.signature = "unsigned";
    logRequest(in, req);
    HttpResponse cut;
    cut.ending = HttpResponse::Ending::drop;
    cut.note = "gone";
    return cut;
}

Reply Service::pageShop(Incoming& in) {
    const std::string path = in.target.substr(0, in.target.find('?'));
    const std::string authority = authorityOf(in.root);

    // The item of the product store or of the own search with that id ("title",
    // "promotion_price", "nick"), or none.
    auto lookUp = [&](const std::string& iid) -> std::optional<json> {
        for (const json& p : store_.items("product", 0)) {
            if (p["iid"] == iid) return p;
        }
        const auto& goods = demoSearchGoods();
        auto good = std::find_if(goods.begin(), goods.end(), [&](const json& g) { return g["num_iid"] == iid; });
        if (good != goods.end()) return *good;
        return std::nullopt;
    };

    if (path == "/item.php") {
        // What the page was opened for (the item, the user credited, the session's user) is in
        // its markup for those who check it; a shopper sees the item.
        const std::string iid = text(in.fields, "iid");
        const std::string marks = "id=item data-iid=\"" + htmlEscaped(iid) + "\" data-uid=\"" +
                                  htmlEscaped(text(in.fields, "uid")) + "\" data-session=\"" +
                                  (in.sessionUser ? std::to_string(*in.sessionUser) : "") + "\"";
        const auto shown = lookUp(iid);
        std::string body;
        if (shown) {
            const std::string shop = (*shown)["nick"];
            body = "<div class=pic id=shop>" + htmlEscaped(shop) + "</div><section " + marks + "><p id=title>" +
                   htmlEscaped((*shown)["title"].get<std::string>()) + "</p><p class=price>¥" +
                   htmlEscaped((*shown)["promotion_price"].get<std::string>()) + "</p></section>";
        } else {
            body = "<div class=pic>宝贝</div><section " + marks + "><p id=title>该宝贝已下架</p></section>";
        }
        Reply r = shopPage("商品详情", body + "<section><a id=detail href=\"/shop/detail.html?iid=" + queryEscaped(iid) +
                                           "\">图文详情</a></section>");
        // A cookie of the shop's own, which the application's cookie store must see.
        r.headers.emplace_back("Set-Cookie", "ZVTSHOP=item-" + queryEscaped(iid) + "; Path=/");
        return r;
    }
    if (path == "/shop/detail.html") {
        // An item's details, or an activity's rules.
        const std::string activity = text(in.fields, "activity");
        if (!activity.empty()) {
            const Activity& shown = activityOf(activity);
            std::string rules;
            for (const std::string& rule : shown.rules) rules += "<p>" + rule + "</p>";
            return shopPage("活动规则", "<section id=rules data-activity=\"" + htmlEscaped(activity) + "\"><h3>" +
                                            htmlEscaped(shown.title) + "</h3>" + rules + "</section>");
        }
        const std::string iid = text(in.fields, "iid");
        const auto shown = lookUp(iid);
        return shopPage("图文详情", "<section id=detail data-iid=\"" + htmlEscaped(iid) + "\"><h3>" +
                                        (shown ? htmlEscaped((*shown)["title"].get<std::string>()) : std::string("宝贝详情")) +
                                        "</h3><p>实物拍摄，尺寸、材质与包装以收到的宝贝为准。</p></section>");
    }
    if (path == "/shop/mall.php") {
        const std::string id = text(in.fields, "id");
        const std::string uid = text(in.fields, "uid");
        std::string name = "商城";
        for (const auto& m : everyMall()) {
            if (m["id"] == id) name = m["title"];
        }
        // A purchase is credited to a user the redirect named; without one ("0") there is no
        // rebate, which the page says.
        const bool credited = !uid.empty() && std::all_of(uid.begin(), uid.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
                              uid.find_first_not_of('0') != std::string::npos;
        return shopPage(htmlEscaped(name), "<div class=pic>" + htmlEscaped(name) + "</div><section id=mall data-uid=\"" +
                                               htmlEscaped(uid) + "\"><p id=rebate>正在前往" + htmlEscaped(name) +
                                               (credited ? "，本次购物的返利已记录。" : "。登录Zavelto后购物才有返利。") +
                                               "</p></section>");
    }
    if (path == "/shop/cart.html") {
        return shopPage("购物车", "<section><p>夏季新款T恤 ×1</p><p class=price>¥59.00</p></section>"
                                  "<section><p>不锈钢保温杯 ×2</p><p class=price>¥98.00</p></section>"
                                  "<section><a href=\"/shop/other.html\">去结算</a></section>");
    }
    if (path == "/search.html") {
        // Taobao's goods holding the word, each title once at its price; the affiliate id and
        // the user are in the markup.
        const std::string q = text(in.fields, "q");
        std::string rows;
        std::vector<std::string> listed;
        for (const auto& good : demoSearchGoods()) {
            const std::string title = good["title"];
            if (!q.empty() && title.find(q) == std::string::npos) continue;
            if (std::find(listed.begin(), listed.end(), title) != listed.end()) continue;
            listed.push_back(title);
            rows += "<a href=\"/item.php?iid=" + queryEscaped(good["num_iid"]) + "&uid=" +
                    queryEscaped(text(in.fields, "unid")) + "\">" + htmlEscaped(title) + " ¥" +
                    htmlEscaped(good["promotion_price"].get<std::string>()) + "</a>";
            if (listed.size() == 10) break;
        }
        if (rows.empty()) rows = "<p>没有找到“" + htmlEscaped(q) + "”相关的宝贝</p>";
        return shopPage("爱淘宝", "<section id=search data-pid=\"" + htmlEscaped(text(in.fields, "pid")) +
                                      "\" data-unid=\"" + htmlEscaped(text(in.fields, "unid")) + "\"><p id=query>搜索：" +
                                      htmlEscaped(q) + "</p>" + rows + "</section>");
    }
    if (path == "/wap/activity.php") {
        // Each activity a page of its own title; an id of none a plain page of an ended one. A
        // visitor without a session is offered the application's login, asked for through its
        // bridge (a page shown outside the application has no bridge and says so); a logged-in
        // user is greeted and told the offer is theirs.
        const std::string id = text(in.fields, "id");
        const Activity& activity = activityOf(id);
        const std::string title = htmlEscaped(activity.title);
        std::string about = posterOf(activity) + "<section><p id=about>" + activity.about + "</p>";
        const std::string links =
            "<section><a id=rules href=\"/shop/detail.html?activity=" + queryEscaped(id) + "\">活动规则</a></section>";
        if (activity.id.empty()) return shopPage(title, about + "</section>" + links);  // an ended one offers nothing
        // The Double Eleven activity offers itself only within its days, by the service's clock;
        // outside them it says when it comes back.
        const std::string now = dayAndTime(clockSeconds());
        const bool over = activity.id == "1" && !inDoubleEleven(now);
        if (over) about += "<p id=ended>本届活动已结束，下一届将于" + nextDoubleEleven(now) + "开始。</p>";
        if (in.sessionUser) {
            // Greeted by name; the id the session names is a mark for those who check it.
            const auto user = store_.userById(*in.sessionUser);
            const std::string name = user ? text(*user, "ddusername") : "";
            return shopPage(title, about + "<p id=who data-user=\"" + std::to_string(*in.sessionUser) + "\">欢迎回来" +
                                       (name.empty() ? "" : "，" + htmlEscaped(name)) + "</p>" +
                                       (over ? "" : "<p id=joined>" + activity.joined + "</p>") + "</section>" + links);
        }
        if (over) return shopPage(title, about + "</section>" + links);
        return shopPage(
            title,
            about + "<p id=who>" + activity.visitor + "</p><button id=login onclick=\"login()\">登录领取</button></section>" + links,
            "function login(){if(typeof upLogin==='function'){upLogin();}else{document.getElementById('who')"
            ".textContent='请在Zavelto中打开';}}");
    }
    if (path == "/shop/links.html") {
        const std::string store = "localhost:" + std::to_string(port_);
        auto link = [](const std::string& id, const std::string& href, const std::string& label) {
            return "<a id=" + id + " href=\"" + htmlEscaped(href) + "\">" + label + "</a>";
        };
        return shopPage(
            "店铺链接",
            "<section>" + link("tmall-download", "https://" + authority + "/wow/portal/act/app-download?src=detailupper1", "天猫客户端") +
                link("partner-download", "http://" + authority + "/market/laiwang/tmall/app-download.php?src=detailupper1", "来往客户端") +
                link("taobao-download", "http://" + authority + "/hd/downLoadAnroidSimple.html", "淘宝安卓版") +
                link("taobao-download-query", "http://" + authority + "/hd/downLoadAnroidSimple.html?from=detail", "淘宝安卓版（详情）") +
                link("blank", "about:blank", "空白页") + link("taobao-app", "taobao://item.taobao.com/item.htm?id=1", "淘宝客户端打开") +
                link("tmall-app", "tmall://page.tm/shop", "天猫客户端打开") +
                link("store", "http://" + store + "/cn/app/id1077360584", "App Store") +
                link("other", "http://" + authority + "/shop/other.html", "逛逛别家") + "</section>");
    }
    if (path == "/shop/other.html") return shopPage("别家店铺", "<section><p id=other>别家店铺的宝贝</p></section>");
    // The partners' download pages and the store's page: reached only when a filter lets them.
    if (path.rfind("/cn/app/", 0) == 0) return shopPage("App Store", "<section><p>Zavelto</p></section>");
    return shopPage("下载客户端", "<section><p id=download>下载客户端</p></section>");
}

}  // namespace zvt::service
