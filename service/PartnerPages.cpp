// The partners' OAuth pages the partner web logins open (QQ's "/oauth2.0/authorize", Taobao's
// "/authorize"), and the service's callbacks behind them ("/index.php?mod=api&act=qqAppLogin"
// and "act=tbAppLogin"), which leave the partner account's id in a "webId" cookie for the root.
//
// The authorize page checks what every OAuth page checks ("response_type" "code", a client id,
// a "redirect_uri") and shows a consent page whose one button leads to the decoded
// "redirect_uri" with a one-time "code" (and QQ's "state" as received); with consent switched
// off it answers 302 to that address at once. A callback with a code the page issued sets the
// cookie and moves on by itself to a second small page, so that one more load finishes with the
// cookie in place; an unknown or used code gives a page without cookie.
//
// The ids handed out: QQ's is bound to the demo user 10002, Taobao's to nobody, so both roads
// (a known account, a first login that ends on the binding screen) can be walked.

#include <string>

#include "service/Crypto.h"
#include "service/Operations.h"
#include "service/Service.h"
#include "service/Store.h"

namespace zvt::service {
namespace {

constexpr const char* kTaobaoPartnerId = "TB-OPENID-0001";

Reply partnerPage(const std::string& title, const std::string& body, const std::string& head = "") {
    Reply r;
    r.contentType = "text/html; charset=utf-8";
    r.raw = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
            "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">" + head +
            "<title>" + title + "</title><style>"
            "body{margin:0;font-family:sans-serif;background:#f5f5f5;color:#333}"
            "header{background:#1d9bf0;color:#fff;padding:12px 16px;font-size:20px}"
            "a.wide{display:block;margin:16px;padding:14px 0;background:#ff6e28;color:#fff;"
            "text-align:center;font-size:18px;border-radius:4px;text-decoration:none}"
            "p{margin:12px 16px;font-size:15px;color:#666}"
            "</style></head><body><header id=title>" + title + "</header>" + body + "</body></html>\n";
    return r;
}

}  // namespace

bool Service::isPartnerPage(const std::string& path) {
    return path == "/oauth2.0/authorize" || path == "/authorize" || path == "/partner/done.html";
}

bool Service::isPartnerCallback(const std::map<std::string, std::string>& query) {
    auto mod = query.find("mod");
    auto act = query.find("act");
    return mod != query.end() && mod->second == "api" && act != query.end() &&
           (act->second == "qqAppLogin" || act->second == "tbAppLogin");
}

void Service::resetPartners() {
    std::lock_guard lock(partnerMutex_);
    partnerIds_ = {{"qq", kPartnerWebId}, {"tb", kTaobaoPartnerId}};
    partnerConsent_ = true;
    partnerCodes_.clear();
}

json Service::setPartner(const json& body) {
    std::lock_guard lock(partnerMutex_);
    if (body.contains("web") && body.contains("webId") && body["web"].is_string() && body["webId"].is_string()) {
        partnerIds_[body["web"].get<std::string>()] = body["webId"].get<std::string>();
    }
    if (body.contains("consent") && body["consent"].is_boolean()) partnerConsent_ = body["consent"].get<bool>();
    return {{"ok", true},
            {"qq", partnerIds_["qq"]},
            {"tb", partnerIds_["tb"]},
            {"consent", partnerConsent_}};
}

Reply Service::pagePartner(Incoming& in) {
    const std::string path = in.target.substr(0, in.target.find('?'));
    if (path == "/partner/done.html") {
        return partnerPage("授权完成", "<p id=done>授权完成，正在登录…</p>");
    }
    const bool qq = path == "/oauth2.0/authorize";
    const std::string redirect = text(in.fields, "redirect_uri");
    if (text(in.fields, "response_type") != "code" || text(in.fields, "client_id").empty() || redirect.empty()) {
        Reply r = partnerPage("授权失败", "<p id=error>参数错误：需要 response_type=code、client_id 和 redirect_uri</p>");
        r.httpStatus = 400;
        return r;
    }
    std::string code = randomHex(8);
    bool consent = true;
    {
        std::lock_guard lock(partnerMutex_);
        partnerCodes_[code] = qq ? "qq" : "tb";
        consent = partnerConsent_;
    }
    std::string next = redirect + (redirect.find('?') == std::string::npos ? "?" : "&") + "code=" + code;
    if (qq) next += "&state=" + queryEscaped(text(in.fields, "state"));
    if (!consent) {
        Reply r = partnerPage("跳转中", "");
        r.httpStatus = 302;
        r.headers.emplace_back("Location", next);
        return r;
    }
    const std::string title = qq ? "QQ授权登录" : "淘宝授权登录";
    return partnerPage(title, "<a class=wide id=consent href=\"" + htmlEscaped(next) + "\">授权并登录</a>"
                              "<p>授权后 Zavelto 将获得你的公开信息（昵称、头像），用于登录。</p>");
}

Reply Service::pagePartnerCallback(Incoming& in) {
    // The route has checked "mod" and "act", which the page's fields do not carry.
    const std::string web = in.target.find("act=qqAppLogin") != std::string::npos ? "qq" : "tb";
    std::string id;
    {
        std::lock_guard lock(partnerMutex_);
        auto found = partnerCodes_.find(text(in.fields, "code"));
        if (found != partnerCodes_.end() && found->second == web) {
            id = partnerIds_[web];
            partnerCodes_.erase(found);  // a code is good once
        }
    }
    if (id.empty()) return partnerPage("登录失败", "<p id=error>授权码无效或已使用</p>");
    Reply r = partnerPage("登录中", "<p id=progress>正在登录…</p>",
                          "<meta http-equiv=\"refresh\" content=\"0;url=/partner/done.html\">");
    r.headers.emplace_back("Set-Cookie", "webId=" + id + "; Path=/");
    return r;
}

}  // namespace zvt::service
