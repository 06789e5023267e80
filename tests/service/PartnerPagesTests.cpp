// The partners' stand-in OAuth pages and the service's callbacks behind them: what the
// authorize pages refuse, where the consent button leads, the one-time codes the callbacks
// turn into a "webId" cookie, and the control settings that change the ids and skip consent.

#include <regex>

#include "tests/service/ServiceTestSupport.h"

namespace zvt::test::svc {
namespace {

// The consent button's target on a page ("" when there is none), entities decoded.
std::string consentLink(const std::string& page) {
    std::smatch m;
    if (!std::regex_search(page, m, std::regex("id=consent href=\"([^\"]*)\""))) return "";
    std::string link = m[1];
    for (size_t at; (at = link.find("&amp;")) != std::string::npos;) link.replace(at, 5, "&");
    return link;
}
std::string pathAndQuery(const std::string& url) {
    auto scheme = url.find("://");
    return scheme == std::string::npos ? url : url.substr(url.find('/', scheme + 3));
}

TEST_F(ServiceTest, AuthorizePagesRefuseWhatOAuthRefusesAndOfferConsent) {
    const std::string callback = "http%3A%2F%2F127.0.0.1%3A" + std::to_string(service.port()) +
                                 "%2Findex.php%3Fmod%3Dapi%26act%3D";
    struct Case {
        std::string target;
        int status;
        const char* shows;
    };
    for (const Case& c : std::vector<Case>{
             {"/oauth2.0/authorize?client_id=734915&redirect_uri=" + callback + "qqAppLogin", 400, "参数错误"},
             {"/oauth2.0/authorize?response_type=token&client_id=734915&redirect_uri=" + callback + "qqAppLogin", 400, "参数错误"},
             {"/authorize?response_type=code&redirect_uri=" + callback + "tbAppLogin", 400, "参数错误"},
             {"/authorize?response_type=code&client_id=23097412", 400, "参数错误"},
             {"/oauth2.0/authorize?response_type=code&client_id=734915&redirect_uri=" + callback + "qqAppLogin&state=s1", 200, "QQ授权登录"},
             {"/authorize?response_type=code&client_id=23097412&redirect_uri=" + callback + "tbAppLogin&view=wap", 200, "淘宝授权登录"},
         }) {
        SCOPED_TRACE(c.target);
        auto page = service.request("GET", c.target);
        EXPECT_EQ(page.status, c.status);
        EXPECT_NE(page.body.find(c.shows), std::string::npos);
        EXPECT_EQ(consentLink(page.body).empty(), c.status != 200);
    }
    auto qq = service.request("GET", "/oauth2.0/authorize?response_type=code&client_id=734915&redirect_uri=" +
                                         callback + "qqAppLogin&state=s1");
    const std::string link = consentLink(qq.body);
    EXPECT_EQ(link.rfind(service.rootURL() + "/index.php?mod=api&act=qqAppLogin&code=", 0), 0u) << link;
    EXPECT_NE(link.find("&state=s1"), std::string::npos) << "QQ's state as received";
    EXPECT_NE(qq.body.find("授权并登录"), std::string::npos);
}

TEST_F(ServiceTest, ACallbackCodeLeavesTheWebIdCookieOnceAndMovesOnByItself) {
    struct Case {
        const char* authorize;
        const char* webId;
    };
    for (const Case& c : {Case{"/oauth2.0/authorize?response_type=code&client_id=1&redirect_uri=%2Findex.php%3Fmod%3Dapi%26act%3DqqAppLogin", "QQ-OPENID-0001"},
                          Case{"/authorize?response_type=code&client_id=1&redirect_uri=%2Findex.php%3Fmod%3Dapi%26act%3DtbAppLogin", "TB-OPENID-0001"}}) {
        SCOPED_TRACE(c.webId);
        const std::string target = pathAndQuery(consentLink(service.request("GET", c.authorize).body));
        auto first = service.request("GET", target);
        EXPECT_EQ(first.status, 200);
        EXPECT_EQ(first.header("Set-Cookie"), std::string("webId=") + c.webId + "; Path=/");
        EXPECT_NE(first.body.find("http-equiv=\"refresh\" content=\"0;url=/partner/done.html\""), std::string::npos);
        auto again = service.request("GET", target);
        EXPECT_EQ(again.header("Set-Cookie"), "") << "a code is good once";
        EXPECT_NE(again.body.find("授权码无效"), std::string::npos);
    }
    // A code of one partner is not taken by the other's callback, nor an invented one.
    const std::string qq = pathAndQuery(consentLink(service.request("GET", "/oauth2.0/authorize?response_type=code&client_id=1&redirect_uri=%2Findex.php%3Fmod%3Dapi%26act%3DqqAppLogin").body));
    auto crossed = qq;
    crossed.replace(crossed.find("qqAppLogin"), 10, "tbAppLogin");
    EXPECT_EQ(service.request("GET", crossed).header("Set-Cookie"), "");
    EXPECT_EQ(service.request("GET", "/index.php?mod=api&act=qqAppLogin&code=0000").header("Set-Cookie"), "");
    EXPECT_EQ(service.request("GET", "/partner/done.html").status, 200);
}

TEST_F(ServiceTest, ControlSettingsChangeThePartnerIdsAndSkipConsentUntilReset) {
    auto set = service.request("POST", "/__test/partner", R"({"web":"tb","webId":"TB-OTHER","consent":false})",
                               "application/json");
    ASSERT_EQ(set.status, 200);
    auto redirect = service.request(
        "GET", "/authorize?response_type=code&client_id=1&redirect_uri=%2Findex.php%3Fmod%3Dapi%26act%3DtbAppLogin");
    EXPECT_EQ(redirect.status, 302) << "no consent: on at once";
    const std::string location = redirect.header("Location");
    EXPECT_EQ(location.rfind("/index.php?mod=api&act=tbAppLogin&code=", 0), 0u) << location;
    EXPECT_EQ(service.request("GET", location).header("Set-Cookie"), "webId=TB-OTHER; Path=/");

    service.reset();
    auto page = service.request(
        "GET", "/authorize?response_type=code&client_id=1&redirect_uri=%2Findex.php%3Fmod%3Dapi%26act%3DtbAppLogin");
    EXPECT_EQ(page.status, 200) << "consent again";
    EXPECT_EQ(service.request("GET", pathAndQuery(consentLink(page.body))).header("Set-Cookie"),
              "webId=TB-OPENID-0001; Path=/");
    EXPECT_EQ(service.request("POST", "/__test/partner", "[1]", "application/json").status, 400);
}

}  // namespace
}  // namespace zvt::test::svc
