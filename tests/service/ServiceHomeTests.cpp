// The configurations get_ios_config answers as tests switch them, and their way back to the
// demo one on a reset.

#include "tests/service/ServiceTestSupport.h"

namespace zvt::test::svc {
namespace {

TEST_F(ServiceTest, ConfigurationsTheHomeScreenIsTestedWith) {
    auto config = [&] {
        auto r = service.request("GET", kJsonPath + "get_ios_config");
        EXPECT_EQ(r.status, 200);
        return json::parse(r.body);
    };
    auto lists = [](const json& c) {
        std::string out;
        for (const char* key : {"banner", "nav", "middleBanner", "blockBanner", "fixedBanner"}) {
            out += std::string(out.empty() ? "" : " ") + key + "=";
            out += !c.contains(key) ? "-" : c[key].is_array() ? std::to_string(c[key].size()) : c[key].type_name();
        }
        return out;
    };
    json full = config();
    EXPECT_EQ(lists(full), "banner=3 nav=8 middleBanner=1 blockBanner=2 fixedBanner=3");
    EXPECT_EQ(full["goodAds"]["is_Show"], 0);
    EXPECT_EQ(full["regMethod"], "1");
    // Addresses inside follow the address the client used.
    EXPECT_EQ(full["banner"][0]["pic"].get<std::string>().rfind(service.rootURL() + "/images/", 0), 0u);

    struct Case {
        const char* name;
        const char* lists;
        const char* ads;  // "is_Show" of the advert, or the kind of "goodAds"
    };
    for (const Case& c : {Case{"partial", "banner=0 nav=8 middleBanner=- blockBanner=2 fixedBanner=null", "number"},
                          Case{"empty", "banner=0 nav=0 middleBanner=0 blockBanner=0 fixedBanner=0", "-"},
                          Case{"ads", "banner=3 nav=8 middleBanner=1 blockBanner=2 fixedBanner=3", "1"},
                          Case{"ads_missing", "banner=3 nav=8 middleBanner=1 blockBanner=2 fixedBanner=3", "1"}}) {
        SCOPED_TRACE(c.name);
        service.configure(json{{"ios_config", c.name}}.dump());
        json reply = config();
        EXPECT_EQ(lists(reply), c.lists);
        std::string ads = !reply.contains("goodAds")          ? "-"
                          : reply["goodAds"].is_object()      ? reply["goodAds"]["is_Show"].dump()
                                                              : reply["goodAds"].type_name();
        EXPECT_EQ(ads, c.ads);
    }
    // The advert whose picture is a 404.
    auto picture = config()["goodAds"]["imag_URL"].get<std::string>();
    EXPECT_EQ(service.request("GET", picture.substr(service.rootURL().size())).status, 404);
    // Unknown names are refused; a reset brings the demo configuration back.
    EXPECT_THROW(service.configure(R"({"ios_config":"other"})"), std::runtime_error);
    EXPECT_THROW(service.configure(R"({"ios_config":1})"), std::runtime_error);
    service.reset();
    EXPECT_EQ(lists(config()), "banner=3 nav=8 middleBanner=1 blockBanner=2 fixedBanner=3");
}

}  // namespace
}  // namespace zvt::test::svc
