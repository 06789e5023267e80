// The earn-money family: the grid of ways to earn ("get_makeProfits_data") and the offer-wall
// provider's task page, which the service plays.
//
// The grid has five tiles: an activity page (local "0"), the check-in (local "1", link "2"), the
// exchange store (link "3"), the rebate tutorial (link "9") and a second activity page.
//
// The provider's page learns its user from "r": the publisher id, then the Base64 (line breaks
// allowed) of AES-128-CBC cipher text under the wall's key and fixed IV, whose plain text is 16
// random characters of [0-9A-Za-z], the Base64 of the user id and "&". The token's parts are
// logged with the request ("notes"); a token that does not decipher gets an error page.

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>

#include "service/Crypto.h"
#include "service/DemoData.h"
#include "service/Operations.h"
#include "service/Service.h"

namespace zvt::service {

namespace {

constexpr const char* kWallKey = "9a41c07e5bd2f836";
constexpr const char* kWallIV = "7391046285017364";
constexpr const char* kPublisherId = "e07c29d4a1f5b83c";

json tile(const std::string& name, const std::string& subName, const std::string& picture, const std::string& local,
          const std::string& link) {
    return {{"name", name},
            {"subName", subName},
            {"pic", std::string(kRootPlaceholder) + "/images/icon_" + picture + "_140x140.png"},
            {"local", local},
            {"link", link},
            {"isShare", "0"},
            {"shareText", ""},
            {"shareTitle", name}};
}

struct WallToken {
    std::string prefix;
    std::string user;
};

// The token's parts, or nothing when it does not decipher to them.
std::optional<WallToken> decipherToken(const std::string& r) {
    if (r.rfind(kPublisherId, 0) != 0) return std::nullopt;
    std::string base64 = r.substr(std::string(kPublisherId).size());
    base64.erase(std::remove_if(base64.begin(), base64.end(), [](char c) { return c == '\r' || c == '\n'; }), base64.end());
    auto cipher = base64Decode(base64);
    if (!cipher) return std::nullopt;
    auto plain = aes128CbcDecrypt(*cipher, kWallKey, kWallIV);
    if (!plain || plain->size() < 18 || plain->back() != '&') return std::nullopt;
    WallToken token{plain->substr(0, 16), ""};
    if (!std::all_of(token.prefix.begin(), token.prefix.end(), [](unsigned char c) { return std::isalnum(c); })) {
        return std::nullopt;
    }
    auto user = base64Decode(plain->substr(16, plain->size() - 17));
    if (!user || user->empty() || !integer(*user)) return std::nullopt;
    token.user = *user;
    return token;
}

const char* const kTasks[][3] = {
    {"下载并试玩“天天消消乐”", "试玩3分钟", "120"},
    {"注册“悦读小说”新用户", "完成注册", "80"},
    {"关注“Zavelto生活”公众号", "关注即得", "30"},
    {"完成一份购物问卷", "约5分钟", "50"},
};

}  // namespace

Reply Service::opMakeProfits(Incoming&) {
    const std::string activity = std::string(kRootPlaceholder) + "/wap/activity.php?id=";
    Reply r = ok(nullptr);
    r.body["mainData"] = json::array({
        tile("限时返利活动", "精选高回扣商品", "earn0", "0", activity + "21"),
        tile("每日签到", "签到领Velmo", "earn1", "1", "2"),
        tile("兑换中心", "Velmo换好礼", "earn2", "1", "3"),
        tile("回扣教程", "一分钟学会拿回扣", "earn3", "1", "9"),
        tile("新人任务", "三步上手拿回扣", "earn4", "0", activity + "22"),
    });
    return r;
}

HttpResponse Service::offerWallPage(const HttpRequest& req) {
    Incoming in = decode(req, "page");
    in.signature = "unsigned";
    const auto token = decipherToken(text(in.fields, "r"));
    if (token) in.notes = {{"prefix", token->prefix}, {"user", token->user}};
    logRequest(in, req);
    auto script = takeScript("page", in.op, in.fields);
    if (auto cut = scriptedCut(script)) return *cut;
    if (!token) {
        Reply r = pageDocument("任务加载失败", "<p id=\"error\">无法识别您的身份，请返回重试。</p>");
        r.httpStatus = 400;
        return send(in, r, script);
    }
    std::string list;
    for (const auto& task : kTasks) {
        list += std::string("<li><b>") + task[0] + "</b><span>+" + task[2] + "积分</span><br><small>" + task[1] + "</small></li>";
    }
    const std::string style =
        "<style>ul{list-style:none;padding:0;margin:0}li{border-bottom:1px solid #eee;padding:10px 0;font-size:15px}"
        "li span{float:right;color:#ff6e28}small{color:#999}</style>";
    return send(in,
                pageDocument("Kirvo任务", style + "<p id=\"user\" data-user=\"" + htmlEscaped(token->user) +
                                              "\">完成任务即得积分，积分发到您的Zavelto账户</p><ul id=\"tasks\">" +
                                              list + "</ul>"),
                script);
}

}  // namespace zvt::service
