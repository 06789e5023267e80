// The demo data tells one story: what one list says of a thing another list says too (the
// same order number, friend, date and amount), what the service offers it also takes, and
// each list holds what its name says. Every row reads the demo user's data as the screens
// read it and checks one rule over it.
#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "tests/service/ServiceTestSupport.h"

namespace zvt::test::svc {
namespace {

class DemoStoryTest : public ServiceTest {
protected:
    void SetUp() override { cookie = login(kServiceTestUserName, kServiceTestUserPassword); }

    // Every row of an enciphered list of the demo user (`order`, `getUserDetailed`, `msg`),
    // page after page until the one marked last.
    json desList(const std::string& op, const json& fields) const {
        json rows = json::array();
        for (int number = 1; number <= 50; ++number) {
            json ask = fields;
            ask["id"] = kServiceTestUserId;
            ask["number"] = std::to_string(number);
            json reply = signedDes(op, ask, nullptr, cookie);
            if (!reply.contains("data") || !reply["data"].is_string()) break;
            json page = json::parse(decipher(reply["data"]), nullptr, false);
            if (!page.is_array()) break;
            for (auto& row : page) rows.push_back(row);
            if (reply.value("end", 0) == 1 || page.empty()) break;
        }
        return rows;
    }

    // Every row of a JSON list of the demo user (`invite_info`, `old_invite_info`).
    json jsonList(const std::string& op, int pageSize) const {
        json rows = json::array();
        for (int number = 1; number <= 50; ++number) {
            json reply = signedJson(op,
                                    {{"uid", kServiceTestUserId},
                                     {"number", std::to_string(number)},
                                     {"ps", std::to_string(pageSize)}},
                                    cookie);
            if (!reply.contains("data") || !reply["data"].is_array()) break;
            for (auto& row : reply["data"]) rows.push_back(row);
            if (reply.value("end", 0) == 1 || reply["data"].empty()) break;
        }
        return rows;
    }

    std::string cookie;

    // --- goods, lists and pages ---

    // Every product of a sort type ("0": every one) over every category, page after page.
    json products(const std::string& type) const {
        json rows = json::array();
        for (int number = 1; number <= 50; ++number) {
            json reply = signedJson("get_goods", {{"userLevel", "0"},
                                                  {"type", type},
                                                  {"cid", "0"},
                                                  {"number", std::to_string(number)},
                                                  {"ps", "12"}});
            if (!reply.contains("data") || !reply["data"].is_array()) break;
            for (auto& row : reply["data"]) rows.push_back(row);
            if (reply.value("end", 0) == 1 || reply["data"].empty()) break;
        }
        return rows;
    }

    static double yuan(const json& text) { return text.is_string() ? std::stod(text.get<std::string>()) : -1; }

    // The rebate a product shows, in yuan: the number, or the amount of a text ("返3元").
    static double shownRebate(const json& product) {
        const json& fan = product["fan_string"];
        if (fan.is_number()) return fan.get<double>();
        const std::string text = fan.is_string() ? fan.get<std::string>() : "";
        const size_t digits = text.find_first_of("0123456789");
        return digits == std::string::npos ? 0 : std::stod(text.substr(digits));
    }

    static std::string queryEscaped(const std::string& text) {
        static const char* hex = "0123456789ABCDEF";
        std::string out;
        for (unsigned char c : text) {
            if (std::isalnum(c)) {
                out.push_back(static_cast<char>(c));
            } else {
                out += '%';
                out += hex[c >> 4];
                out += hex[c & 15];
            }
        }
        return out;
    }

    // Every good the own search finds for a word ("": every one), page after page.
    json searched(const std::string& word) const {
        json rows = json::array();
        for (int page = 1; page <= 50; ++page) {
            auto r = service.request("GET", "/api/search_tbk_v3.php?keyword=" + queryEscaped(word) +
                                                "&startPrice=&endPrice=&mallItem=0&page=" + std::to_string(page) + "&sort=0");
            json found = json::parse(r.body, nullptr, false);
            if (!found.is_array() || found.empty()) break;
            for (auto& row : found) rows.push_back(row);
        }
        return rows;
    }

    // The kinds of the search goods, each by the words its goods are (the stroll screen's big
    // categories): a good is of the kind whose word its title holds.
    static const std::vector<std::pair<std::string, std::vector<std::string>>>& goodsKinds() {
        static const std::vector<std::pair<std::string, std::vector<std::string>>> kinds = {
            {"女装", {"连衣裙", "连衣裤", "连帽卫衣", "连体裤", "连裤袜"}},
            {"数码", {"蓝牙耳机", "手机壳"}},
            {"美食", {"零食", "茶叶"}},
            {"家居", {"保温杯", "四件套"}},
            {"运动", {"运动鞋", "防晒霜"}},
            {"男装", {"牛仔裤"}},
        };
        return kinds;
    }
    static std::string kindOf(const std::string& title) {
        for (const auto& [kind, words] : goodsKinds()) {
            for (const auto& word : words) {
                if (title.find(word) != std::string::npos) return kind;
            }
        }
        return "";
    }

    // What a page shows: the text of its body, without its tags, styles and scripts.
    static std::string visibleText(const std::string& html) {
        std::string body = html.substr(std::min(html.size(), html.find("<body")));
        body = std::regex_replace(body, std::regex("<(script|style)[^>]*>[^<]*</(script|style)>"), " ");
        return std::regex_replace(body, std::regex("<[^>]*>"), " ");
    }
    static std::string titleOf(const std::string& html) {
        std::smatch m;
        return std::regex_search(html, m, std::regex("<title>([^<]*)</title>")) ? m[1].str() : "";
    }

    // The words of the exchange store's poster, blanks left out.
    static std::string posterWords() {
        std::ifstream file(std::string(ZVT_SOURCE_ROOT) + "/app/resources/images/pointsStorePoster.svg");
        std::stringstream svg;
        svg << file.rdbuf();
        const std::string text = svg.str();
        std::string words;
        const std::regex tag("<text[^>]*>([^<]*)</text>");
        for (auto it = std::sregex_iterator(text.begin(), text.end(), tag); it != std::sregex_iterator(); ++it) words += (*it)[1].str();
        std::erase(words, ' ');
        return words;
    }
};

struct StoryRule {
    const char* rule;
    std::function<void()> check;
};

TEST_F(DemoStoryTest, TheDemoDataAgreesWithItselfAndWithWhatTheServiceTakes) {
    const std::vector<StoryRule> rules = {
        // The demo user's records: withdrawals, messages, coupons, invitations, income.

        // Goods, lists and pages.
        {"the 9.9 list (type 1: the home's 9块9包邮, the store's 9.9包邮) holds products at 9.90 or less",
         [&] {
             const json list = products("1");
             EXPECT_GE(list.size(), 66u);
             std::string dearer;
             for (const json& p : list) {
                 if (yuan(p["promotion_price"]) > 9.90) dearer += " " + p["promotion_price"].get<std::string>();
             }
             EXPECT_EQ(dearer, "") << "above 9.90";
         }},
        {"the 超高回扣 list (type 3) pays at least half again the average rate of each other list",
         [&] {
             // The rate a list shows: each product's rebate over its promotion price.
             auto averageRate = [&](const char* type) {
                 const json list = products(type);
                 double sum = 0;
                 for (const json& p : list) sum += shownRebate(p) / yuan(p["promotion_price"]);
                 return list.empty() ? 0.0 : sum / static_cast<double>(list.size());
             };
             const double high = averageRate("3");
             for (const char* other : {"1", "4"}) EXPECT_GE(high, 1.5 * averageRate(other)) << "type " << other;
         }},
        {"the home advert shows its product at the store's title, prices and rebate",
         [&] {
             const json ad = json::parse(service.request("GET", kJsonPath + "get_ios_config").body)["goodAds"];
             const json all = products("0");
             auto product = std::find_if(all.begin(), all.end(), [&](const json& p) { return p["id"] == ad["id"]; });
             ASSERT_NE(product, all.end()) << ad.dump();
             EXPECT_EQ(ad["iid"], (*product)["iid"]);
             EXPECT_EQ(ad["good_Name"], (*product)["title"]);
             EXPECT_EQ(ad["real_Price"], (*product)["promotion_price"]);
             EXPECT_EQ(ad["original_Price"], (*product)["price"]);
             EXPECT_NEAR(yuan(ad["income"]), shownRebate(*product), 0.005);
         }},
        {"a search good's title is of its kind's words: no style or tail is another kind's",
         [&] {
             std::map<std::string, std::set<std::string>> kindsOfWord;
             for (const auto& [kind, words] : goodsKinds()) {
                 for (const auto& word : words) {
                     for (const json& good : searched(word)) {
                         const std::string title = good["title"];
                         const size_t at = title.find(word);
                         const std::string rest = title.substr(at + word.size());
                         kindsOfWord["style " + title.substr(0, at)].insert(kindOf(title));
                         kindsOfWord["tail " + rest.substr(0, rest.find_first_of("0123456789"))].insert(kindOf(title));
                     }
                 }
             }
             EXPECT_GE(kindsOfWord.size(), 12u);
             for (const auto& [word, kinds] : kindsOfWord) {
                 std::string names;
                 for (const auto& kind : kinds) names += " " + kind;
                 EXPECT_EQ(kinds.size(), 1u) << word << " is used by" << names;
             }
         }},
        {"every stroll tile finds goods, each of the tile's big category",
         [&] {
             const json categories = json::parse(service.request("GET", kJsonPath + "get_search_cat").body)["searchCat"];
             ASSERT_TRUE(categories.is_array());
             for (const json& category : categories) {
                 const std::string kind = category["catName"];
                 for (const json& tile : category["catSon"]) {
                     const std::string word = tile["name"];
                     const json found = searched(word);
                     std::string strays;
                     for (const json& good : found) {
                         if (kindOf(good["title"]) != kind) strays += " " + good["title"].get<std::string>();
                     }
                     EXPECT_FALSE(found.empty()) << kind << " → " << word;
                     EXPECT_EQ(strays, "") << kind << " → " << word;
                 }
             }
         }},
        {"a shop sells one kind of goods, in the store and in the search",
         [&] {
             std::map<std::string, std::set<std::string>> store, search;
             for (const json& p : products("0")) store[p["nick"]].insert(p["cid"]);
             for (const json& good : searched("")) search[good["nick"]].insert(kindOf(good["title"]));
             EXPECT_GE(store.size(), 8u);
             EXPECT_GE(search.size(), 6u);
             for (const auto* shops : {&store, &search}) {
                 for (const auto& [nick, kinds] : *shops) {
                     std::string names;
                     for (const auto& kind : kinds) names += " " + kind;
                     EXPECT_EQ(kinds.size(), 1u) << nick << " sells" << names;
                 }
             }
         }},
        {"the exchange store's poster promises what a check-in credits, the same every day",
         [&] {
             const std::string lisi = login("lisi", "lisi8888");
             std::set<std::string> credits;
             for (int64_t day : {1802224800, 1802224800 + 86400}) {  // two days running
                 service.configure(json{{"fixed_time", std::to_string(day)}}.dump());
                 json reply = signedDes("sign", {{"id", "10003"}}, nullptr, lisi);
                 ASSERT_EQ(reply["code"], 101) << reply.dump();
                 credits.insert(reply["data"]["addJifen"].get<std::string>() + "Velmo+" +
                                reply["data"]["addJifenbao"].get<std::string>() + "集分宝");
             }
             service.configure(R"({"fixed_time": null})");
             ASSERT_EQ(credits.size(), 1u) << "a run of check-ins earns no more";
             const std::string words = posterWords();
             EXPECT_NE(words.find(*credits.begin()), std::string::npos) << words;
             for (const char* more : {"翻倍", "连续", "加倍"}) EXPECT_EQ(words.find(more), std::string::npos) << words;
         }},
        {"each activity link opens a page of the link's own name; an unknown one none of theirs",
         [&] {
             const json config = json::parse(service.request("GET", kJsonPath + "get_ios_config").body);
             json links = json::array();
             for (const char* list : {"banner", "middleBanner", "blockBanner", "fixedBanner", "nav", "signPage"}) {
                 for (const json& item : config[list]) links.push_back(item);
             }
             const json earn = signedJson("get_makeProfits_data", {{"uid", "0"}});
             for (const json& item : earn["mainData"]) links.push_back(item);
             const std::string wangwu = login("wangwu", "wangwu2026");
             links.push_back(signedDes("sign", {{"id", "10004"}}, nullptr, wangwu)["popUpAds"]);
             std::set<std::string> names;
             for (const json& item : links) {
                 if (item.value("local", "") != "0") continue;
                 const std::string link = item["link"], name = item["name"];
                 ASSERT_EQ(link.rfind(service.rootURL(), 0), 0u) << link;
                 const std::string page = service.request("GET", link.substr(service.rootURL().size())).body;
                 EXPECT_EQ(titleOf(page), name) << link;
                 EXPECT_NE(visibleText(page).find(name), std::string::npos) << link;
                 names.insert(name);
             }
             EXPECT_GE(names.size(), 7u);
             const std::string ended = service.request("GET", "/wap/activity.php?id=999").body;
             const std::string unknown = titleOf(ended);
             EXPECT_FALSE(unknown.empty());
             EXPECT_EQ(names.count(unknown), 0u) << unknown;
             EXPECT_EQ(ended.find("登录领取"), std::string::npos) << "an ended activity offers nothing";
         }},
        {"the shop pages read as a shop's: the user, item and pid they were opened with are in the markup only",
         [&] {
             const std::string iid = products("0")[0]["iid"];
             const std::string good = searched("保温杯")[0]["num_iid"];
             struct Page {
                 std::string target, cookie;
                 std::vector<std::string> ids;  // in the markup, not in the text
             };
             const std::vector<Page> pages = {
                 {"/item.php?iid=" + iid + "&id=1000&uid=0", "", {iid}},
                 {"/item.php?iid=" + iid + "&id=1000&uid=10001", cookie, {iid, "10001"}},
                 {"/item.php?iid=" + good + "&id=0&uid=10001", cookie, {good, "10001"}},
                 {"/shop/detail.html?iid=" + iid, "", {iid}},
                 {"/shop/mall.php?id=60&uid=10001", "", {"10001"}},
                 {"/search.html?pid=mm_10001_0_0&q=" + queryEscaped("保温杯") + "&unid=10001", "", {"mm_10001_0_0", "10001"}},
             };
             for (const Page& page : pages) {
                 SCOPED_TRACE(page.target);
                 auto r = service.request("GET", page.target, "", "",
                                          {{"Cookie", page.cookie.empty() ? "ZVTSESSID=none" : page.cookie}});
                 ASSERT_EQ(r.status, 200);
                 const std::string text = visibleText(r.body);
                 for (const std::string& id : page.ids) {
                     EXPECT_NE(r.body.find(id), std::string::npos) << id;
                     EXPECT_EQ(text.find(id), std::string::npos) << id << " in:" << text;
                 }
                 EXPECT_EQ(text.find("用户"), std::string::npos) << text;
             }
         }},
        {"logged out, no shop page says a rebate was recorded: the mall's says it takes a login",
         [&] {
             const std::string iid = products("0")[0]["iid"];
             struct Page {
                 std::string target;
                 bool recorded;
             };
             for (const Page& page : {Page{"/shop/mall.php?id=60&uid=0", false}, Page{"/shop/mall.php?id=60&uid=", false},
                                      Page{"/item.php?iid=" + iid + "&id=1000&uid=0", false},
                                      Page{"/shop/mall.php?id=60&uid=10001", true}}) {
                 const std::string text = visibleText(service.request("GET", page.target).body);
                 EXPECT_EQ(text.find("已记录") != std::string::npos, page.recorded) << page.target << ":" << text;
                 if (page.target.find("mall.php") != std::string::npos) {
                     EXPECT_EQ(text.find("登录") != std::string::npos, !page.recorded) << page.target << ":" << text;
                 }
             }
         }},
        {"no shop page offers the page of test links or the page that fails",
         [&] {
             const std::string iid = products("0")[0]["iid"];
             for (const std::string& target : {"/item.php?iid=" + iid + "&id=1000&uid=0", std::string("/wap/activity.php?id=1")}) {
                 const std::string page = service.request("GET", target).body;
                 EXPECT_EQ(page.find("links.html"), std::string::npos) << target;
                 EXPECT_EQ(page.find("更多店铺链接"), std::string::npos) << target;
                 EXPECT_EQ(page.find("gone.php"), std::string::npos) << target;
                 EXPECT_NE(page.find("/shop/detail.html"), std::string::npos) << target << ": its details or rules stay";
             }
         }},
        {"the affiliate search lists each title once, of the word searched, at the good's price",
         [&] {
             const json hot = post(kJsonPath + "get_tao_config", "", "")["hotKey"];
             ASSERT_FALSE(hot.empty());
             const std::regex row("<a[^>]*href=\"/item.php\\?iid=([0-9]+)[^\"]*\"[^>]*>(.*?)</a>");
             for (const json& keyword : hot) {
                 const std::string word = keyword;
                 SCOPED_TRACE(word);
                 std::map<std::string, json> goods;
                 for (const json& good : searched(word)) goods[good["num_iid"]] = good;
                 const std::string page =
                     service.request("GET", "/search.html?pid=mm_1_2_3&q=" + queryEscaped(word) + "&unid=0").body;
                 std::set<std::string> titles;
                 size_t rows = 0;
                 for (auto it = std::sregex_iterator(page.begin(), page.end(), row); it != std::sregex_iterator(); ++it, ++rows) {
                     std::string shown = std::regex_replace((*it)[2].str(), std::regex("<[^>]*>"), "");
                     const size_t yen = shown.rfind("¥");
                     ASSERT_NE(yen, std::string::npos) << shown;
                     std::string title = shown.substr(0, yen);
                     while (!title.empty() && title.back() == ' ') title.pop_back();
                     EXPECT_TRUE(titles.insert(title).second) << title << " listed twice";
                     EXPECT_NE(title.find(word), std::string::npos) << title;
                     auto good = goods.find((*it)[1].str());
                     ASSERT_NE(good, goods.end()) << shown << ": a good the search finds for the word";
                     EXPECT_EQ(good->second["title"], title);
                     EXPECT_EQ(shown.substr(yen + std::string("¥").size()), good->second["promotion_price"]);
                 }
                 EXPECT_GE(rows, std::min<size_t>(goods.size(), 8)) << "lists what it finds";
             }
         }},
    };
    for (const StoryRule& r : rules) {
        SCOPED_TRACE(r.rule);
        r.check();
    }
}

}  // namespace
}  // namespace zvt::test::svc
