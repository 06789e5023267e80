// The search family from the outside: hot keywords, the own product search with its orders,
// filters and pages, the mall search, the suggestion service and the affiliate page, and the
// test scripts reaching each of them.
#include "tests/service/ServiceTestSupport.h"

namespace zvt::test::svc {
namespace {

class ServiceSearchTest : public ServiceTest {
protected:
    json search(const std::string& keyword, const std::string& sort = "0", const std::string& page = "1",
                const std::string& mallItem = "0", const std::string& low = "", const std::string& high = "") {
        auto r = service.request("GET", "/api/search_tbk_v3.php?keyword=" + percentEncode(keyword) +
                                            "&startPrice=" + low + "&endPrice=" + high + "&mallItem=" + mallItem +
                                            "&page=" + page + "&sort=" + sort);
        EXPECT_EQ(r.status, 200);
        return json::parse(r.body, nullptr, false);
    }
    std::vector<std::string> hotKeys() {
        json reply = post(kJsonPath + "get_tao_config", "", "");
        std::vector<std::string> out;
        for (auto& k : reply["hotKey"]) out.push_back(k);
        return out;
    }
};

TEST_F(ServiceSearchTest, EveryHotKeywordFindsGoodsAndOneKeywordPagesThreeTimes) {
    auto hot = hotKeys();
    ASSERT_GE(hot.size(), 9u);
    ASSERT_LE(hot.size(), 12u);
    size_t most = 0;
    bool tmall = false, taobao = false, noRebate = false;
    for (const auto& word : hot) {
        size_t found = 0;
        for (int page = 1;; ++page) {
            json rows = search(word, "0", std::to_string(page));
            ASSERT_TRUE(rows.is_array()) << word;
            if (rows.empty()) break;
            EXPECT_LE(rows.size(), 10u);
            for (auto& row : rows) {
                EXPECT_NE(row["title"].get<std::string>().find(word), std::string::npos);
                for (const char* key : {"num_iid", "pic_url", "promotion_price", "title", "fan", "nick", "shop_type",
                                        "item_location", "volume"})
                    EXPECT_TRUE(row[key].is_string()) << key;
                EXPECT_EQ(row["pic_url"].get<std::string>().rfind(service.rootURL() + "/images/", 0), 0u);
                tmall |= row["shop_type"] == "B";
                taobao |= row["shop_type"] == "C";
                noRebate |= row["fan"] == "0";
            }
            // The product page of a page's first good shows the very item.
            const json& first = rows[0];
            auto item = service.request("GET", "/item.php?iid=" + first["num_iid"].get<std::string>() + "&id=&uid=10001");
            EXPECT_NE(item.body.find("<p id=title>" + first["title"].get<std::string>() + "</p>"), std::string::npos)
                << first["title"];
            EXPECT_NE(item.body.find("¥" + first["promotion_price"].get<std::string>()), std::string::npos);
            found += rows.size();
        }
        EXPECT_GT(found, 0u) << word;
        most = std::max(most, found);
    }
    EXPECT_GT(most, 20u) << "one keyword fills three pages";
    EXPECT_TRUE(tmall && taobao && noRebate);
    EXPECT_EQ(search("不存在的宝贝"), json::array());
    EXPECT_EQ(search(hot[0], "0", "99"), json::array()) << "past the last page";
    // Page numbers far past the end (whose row offset would overflow) and below the first are
    // past the end too, not the first rows again.
    for (const char* page : {"1844674407370955163", "9223372036854775807", "0", "-3"})
        EXPECT_EQ(search("", "0", page), json::array()) << page;
}

// The product page finds its item in the product store (the home list's and the store's
// products), else among the own search's goods, and shows its title and price.
TEST_F(ServiceSearchTest, TheProductPageShowsTheItemOfTheProductStoreOrOfTheSearch) {
    json products = signedJson("get_goods", {{"type", "0"}, {"cid", "0"}, {"number", "1"}, {"ps", "12"}});
    ASSERT_FALSE(products["data"].empty()) << products.dump();
    json goods = search("连衣裙");
    ASSERT_FALSE(goods.empty());
    struct Row {
        const char* from;
        const json& item;
        const char* idKey;
    };
    for (const Row& row : {Row{"the product store", products["data"][0], "iid"}, Row{"the search", goods[0], "num_iid"}}) {
        SCOPED_TRACE(row.from);
        auto page = service.request("GET", "/item.php?iid=" + row.item[row.idKey].get<std::string>() + "&id=&uid=10001");
        ASSERT_EQ(page.status, 200);
        const std::string shown = visibleText(page.body);
        EXPECT_NE(shown.find(row.item["title"].get<std::string>()), std::string::npos) << shown;
        EXPECT_NE(shown.find(row.item["promotion_price"].get<std::string>()), std::string::npos) << shown;
    }
}

TEST_F(ServiceSearchTest, OrdersFiltersAndPrices) {
    auto number = [](const json& row, const char* key) { return std::stod(row[key].get<std::string>()); };
    json plain = search("连衣裙", "0");
    EXPECT_EQ(search("连衣裙", "1"), plain) << "sort 1 keeps the service's order";
    struct Case {
        const char* sort;
        const char* key;
    };
    for (Case c : {Case{"2", "volume"}, Case{"3", "fan"}}) {
        SCOPED_TRACE(c.sort);
        json rows = search("连衣裙", c.sort);
        ASSERT_EQ(rows.size(), 10u);
        EXPECT_NE(rows, plain);
        for (size_t i = 1; i < rows.size(); ++i) EXPECT_GE(number(rows[i - 1], c.key), number(rows[i], c.key));
        // The order runs across pages: page 2 starts below page 1's last row.
        json next = search("连衣裙", c.sort, "2");
        ASSERT_FALSE(next.empty());
        EXPECT_GE(number(rows.back(), c.key), number(next.front(), c.key));
    }
    json tmallOnly = search("连衣裙", "0", "1", "1");
    ASSERT_FALSE(tmallOnly.empty());
    for (auto& row : tmallOnly) EXPECT_EQ(row["shop_type"], "B");
    json ranged = search("连衣裙", "0", "1", "0", "50", "120.5");
    ASSERT_FALSE(ranged.empty());
    for (auto& row : ranged) {
        EXPECT_GE(number(row, "promotion_price"), 50);
        EXPECT_LE(number(row, "promotion_price"), 120.5);
    }
    json from = search("连衣裙", "0", "1", "0", "150", "");
    for (auto& row : from) EXPECT_GE(number(row, "promotion_price"), 150) << "an empty end is open";
}

TEST_F(ServiceSearchTest, MallSearchCoversEveryCategory) {
    json all = post(kJsonPath + "search_m&q=", "", "");
    ASSERT_EQ(all["code"], 101);
    EXPECT_EQ(all["result"].size(), 42u) << "every mall of every category";
    json jd = json::parse(service.request("GET", kJsonPath + "search_m&q=" + percentEncode("京东")).body);
    ASSERT_EQ(jd["result"].size(), 1u);
    const json& entry = jd["result"][0];
    ASSERT_EQ(entry.size(), 4u);
    EXPECT_EQ(entry[0], "京东商城");
    EXPECT_TRUE(entry[1].is_string());
    EXPECT_EQ(entry[2].get<std::string>().rfind(service.rootURL() + "/images/", 0), 0u);
    EXPECT_EQ(entry[3], "3%") << "the bare rate";
    EXPECT_EQ(lastLog("search_m")["fields"]["q"], "京东");
    json none = json::parse(service.request("GET", kJsonPath + "search_m&q=" + percentEncode("没有这家")).body);
    EXPECT_EQ(none["result"], json::array());
}

TEST_F(ServiceSearchTest, SuggestionsAndTheAffiliatePageShowWhatTheyWereAskedWith) {
    auto r = service.request("GET", "/sug?code=utf-8&extras=1&q=" + percentEncode("连衣"));
    ASSERT_EQ(r.status, 200);
    json sug = json::parse(r.body);
    ASSERT_TRUE(sug["result"].is_array());
    ASSERT_FALSE(sug["result"].empty());
    EXPECT_LE(sug["result"].size(), 10u);
    for (auto& row : sug["result"]) {
        EXPECT_NE(row[0].get<std::string>().find("连衣"), std::string::npos);
        EXPECT_TRUE(row[1].is_string());
    }
    // Every word suggested finds goods.
    for (const char* q : {"连衣", "连", "款", "茶", "包邮"}) {
        json words = json::parse(service.request("GET", "/sug?code=utf-8&extras=1&q=" + percentEncode(q)).body);
        EXPECT_FALSE(words["result"].empty()) << q;
        for (auto& row : words["result"]) EXPECT_FALSE(search(row[0]).empty()) << q << ": " << row[0];
    }
    json wide = json::parse(service.request("GET", "/sug?code=utf-8&extras=1&q=" + percentEncode("连")).body);
    EXPECT_EQ(wide["result"].size(), 10u) << "at most ten";
    json log = lastLog("/sug");
    EXPECT_EQ(log["fields"]["q"], "连");
    EXPECT_EQ(log["fields"]["code"], "utf-8");

    r = service.request("GET", "/search.html?pid=mm_1_2_3&q=" + percentEncode("a&pid=x <b>") + "&unid=10001");
    ASSERT_EQ(r.status, 200);
    EXPECT_NE(r.body.find("a&amp;pid=x &lt;b&gt;"), std::string::npos) << "shown escaped";
    EXPECT_NE(r.body.find("mm_1_2_3"), std::string::npos);
    json page = lastLog("/search.html");
    EXPECT_EQ(page["fields"]["pid"], "mm_1_2_3");
    EXPECT_EQ(page["fields"]["q"], "a&pid=x <b>");
    EXPECT_EQ(page["fields"]["unid"], "10001");
}

TEST_F(ServiceSearchTest, ScriptsReachTheSearchPages) {
    struct Case {
        const char* op;
        std::string target;
    };
    for (const Case& c : {Case{"/sug", "/sug?code=utf-8&extras=1&q=a"}, Case{"/search.html", "/search.html?pid=p&q=a"},
                          Case{"/api/search_tbk_v3.php", "/api/search_tbk_v3.php?keyword=a&page=1&sort=0"}}) {
        SCOPED_TRACE(c.op);
        service.script(ScriptedReply{.op = c.op, .httpStatus = 500});
        EXPECT_EQ(service.request("GET", c.target).status, 500);
        service.script(ScriptedReply{.op = c.op, .drop = true});
        EXPECT_EQ(service.request("GET", c.target).status, 0);
        service.script(ScriptedReply{.op = c.op, .delayMs = 300});
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(service.request("GET", c.target).status, 200);
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
        EXPECT_EQ(service.request("GET", c.target).status, 200) << "a script is used once";
    }
}

}  // namespace
}  // namespace zvt::test::svc
