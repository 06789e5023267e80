// The rebate link and the pages standing in for the shops the product page, the activity page,
// the affiliate search and the cart page visit: the click link, the mall redirect, the product,
// mall, cart and search pages, the partners' download pages, a page that links to every address
// the product page refuses, the activity page that calls the application's "upLogin" for a
// visitor without a session, and a page that cannot load.
//
// The shop hosts are the service's own host (the client's configuration points them here); the
// App Store stand-in is the service under the name "localhost".

#include <algorithm>
#include <map>
#include <string>

#include "service/DemoData.h"
#include "service/Operations.h"
#include "service/Service.h"

namespace zvt::service {
namespace {

// A phone-sized page: the shop's orange header with the title, then the body.
Reply shopPage(const std::string& title, const std::string& body, const std::string& script = "") {
    Reply r;
    r.contentType = "text/html; charset=utf-8";
    r.raw = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
            "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
            "<title>" + title + "</title><style>"
            "body{margin:0;font-family:sans-serif;background:#f5f5f5;color:#333}"
            "header{background:#ff5000;color:#fff;padding:12px 16px;font-size:20px}"
            "section{background:#fff;margin:8px 0;padding:12px 16px}"
            "a{display:block;padding:10px 0;color:#ff5000;font-size:17px;text-decoration:none}"
            "button{background:#ff5000;color:#fff;border:0;border-radius:4px;font-size:18px;padding:12px 20px}"
            ".price{color:#ff5000;font-size:24px}.pic{height:160px;background:#ffd8c2;text-align:center;"
            "line-height:160px;font-size:40px;color:#ff5000}"
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

    if (path == "/item.php") {
        const std::string iid = text(in.fields, "iid");
        // The item of the product store or of the own search; an id neither holds is a
        // product of the shop's own.
        std::string title = "宝贝 " + iid, price = "59.00", shop = "Zavelto 小店";
        const auto products = store_.items("product", 0);
        const auto& goods = demoSearchGoods();
        auto item = std::find_if(products.begin(), products.end(), [&](const json& p) { return p["iid"] == iid; });
        const json* shown = item != products.end() ? &*item : nullptr;
        if (!shown) {
            auto good = std::find_if(goods.begin(), goods.end(), [&](const json& g) { return g["num_iid"] == iid; });
            if (good != goods.end()) shown = &*good;
        }
        if (shown) {
            title = (*shown)["title"];
            price = (*shown)["promotion_price"];
            shop = (*shown)["nick"];
        }
        std::string who = in.sessionUser ? "已登录：用户 " + std::to_string(*in.sessionUser) : "未登录";
        Reply r = shopPage(
            "商品详情",
            "<div class=pic>" + htmlEscaped(shop) + "</div><section><p id=title>" + htmlEscaped(title) +
                "</p><p class=price>¥" + htmlEscaped(price) + "</p><p id=rebate>返利用户 " +
                htmlEscaped(text(in.fields, "uid")) + " · 商品 " + htmlEscaped(iid) + "</p><p id=session>" +
                htmlEscaped(who) + "</p></section><section><a id=more href=\"/shop/links.html\">更多店铺链接</a>"
                "<a id=detail href=\"/shop/detail.html?iid=" + queryEscaped(iid) + "\">图文详情</a></section>");
        // A cookie of the shop's own, which the application's cookie store must see.
        r.headers.emplace_back("Set-Cookie", "ZVTSHOP=item-" + queryEscaped(iid) + "; Path=/");
        return r;
    }
    if (path == "/shop/detail.html") {
        return shopPage("图文详情", "<section><p>宝贝 " + htmlEscaped(text(in.fields, "iid")) +
                                        " 的图文详情</p></section>");
    }
    if (path == "/shop/mall.php") {
        const std::string id = text(in.fields, "id");
        std::string name = "商城";
        for (const auto& m : everyMall()) {
            if (m["id"] == id) name = m["title"];
        }
        return shopPage(htmlEscaped(name), "<div class=pic>" + htmlEscaped(name) + "</div><section><p id=rebate>正在前往" +
                                           htmlEscaped(name) + "，用户 " + htmlEscaped(text(in.fields, "uid")) +
                                           " 的返利已记录。</p></section>");
    }
    if (path == "/shop/cart.html") {
        return shopPage("购物车", "<section><p>夏季新款T恤 ×1</p><p class=price>¥59.00</p></section>"
                                  "<section><p>不锈钢保温杯 ×2</p><p class=price>¥98.00</p></section>"
                                  "<section><a href=\"/shop/other.html\">去结算</a></section>");
    }
    if (path == "/search.html") {
        const std::string q = text(in.fields, "q");
        std::string rows;
        int n = 0;
        for (const auto& p : store_.items("product", 0)) {
            const std::string title = p["title"];
            if (!q.empty() && title.find(q) == std::string::npos) continue;
            rows += "<a href=\"/item.php?iid=" + queryEscaped(p["iid"]) + "&uid=" +
                    queryEscaped(text(in.fields, "unid")) + "\">" + htmlEscaped(title) + " ¥" +
                    htmlEscaped(p["promotion_price"].get<std::string>()) + "</a>";
            if (++n == 8) break;
        }
        if (rows.empty()) rows = "<p>没有找到“" + htmlEscaped(q) + "”相关的宝贝</p>";
        return shopPage("爱淘宝", "<section><p id=query>搜索：" + htmlEscaped(q) + "</p><p id=pid>" +
                                      htmlEscaped(text(in.fields, "pid")) + " / " +
                                      htmlEscaped(text(in.fields, "unid")) + "</p>" + rows + "</section>");
    }
    if (path == "/wap/activity.php") {
        // A visitor without a session is offered the application's login, asked for through its
        // bridge (a page shown outside the application has no bridge and says so); a logged-in
        // user is greeted and told the offer is theirs.
        const std::string links =
            "<section><a id=rules href=\"/shop/detail.html?iid=rules\">活动规则</a>"
            "<a id=gone href=\"/shop/gone.php\">已结束的活动</a></section>";
        if (in.sessionUser) {
            return shopPage("活动专区", "<div class=pic>双十一 回扣翻倍</div><section><p id=who>欢迎回来，用户 " +
                                            std::to_string(*in.sessionUser) +
                                            "</p><p id=joined>您已参加活动，活动期间下单的回扣自动翻倍</p></section>" + links);
        }
        return shopPage(
            "活动专区",
            "<div class=pic>双十一 回扣翻倍</div><section><p id=who>登录后领取回扣</p>"
            "<button id=login onclick=\"login()\">登录领取</button></section>" + links,
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
