// The stroll screen's big categories from the outside: six or more, each with six to twelve
// tiles with pictures, every tile's word finding goods (of the category's kind, for food) in the
// own product search; the test
// scripts reach the operation and the configuration the tiles read.
#include <algorithm>
#include <map>
#include <set>

#include "tests/service/ServiceTestSupport.h"

namespace zvt::test::svc {
namespace {

class ServiceSearchCategoriesTest : public ServiceTest {
protected:
    json categories() {
        auto r = service.request("GET", kJsonPath + "get_search_cat");
        EXPECT_EQ(r.status, 200);
        return json::parse(r.body, nullptr, false);
    }
};

TEST_F(ServiceSearchCategoriesTest, EveryTileHasAPictureAndFindsGoods) {
    // Big categories whose tiles find their own kind only: each title found holds one of the words.
    const std::map<std::string, std::vector<std::string>> kindWords = {{"美食", {"零食", "茶叶"}}};
    json reply = categories();
    ASSERT_TRUE(reply["searchCat"].is_array());
    ASSERT_GE(reply["searchCat"].size(), 6u);
    std::set<std::string> names, pictures;
    for (auto& category : reply["searchCat"]) {
        ASSERT_TRUE(category["catName"].is_string());
        names.insert(category["catName"].get<std::string>());
        auto& sons = category["catSon"];
        ASSERT_TRUE(sons.is_array());
        EXPECT_GE(sons.size(), 6u) << category["catName"];
        EXPECT_LE(sons.size(), 12u) << category["catName"];
        for (auto& son : sons) {
            const std::string word = son.value("name", "");
            const std::string img = son.value("img", "");
            SCOPED_TRACE(word);
            EXPECT_EQ(img.rfind(service.rootURL() + "/images/cat", 0), 0u) << img;
            pictures.insert(img);
            EXPECT_EQ(service.request("GET", img.substr(service.rootURL().size())).status, 200);
            auto found = service.request("GET", "/api/search_tbk_v3.php?keyword=" + percentEncode(word) +
                                                    "&startPrice=&endPrice=&mallItem=0&page=1&sort=0");
            json rows = json::parse(found.body, nullptr, false);
            ASSERT_TRUE(rows.is_array());
            EXPECT_FALSE(rows.empty()) << "the tile's word finds goods";
            auto kind = kindWords.find(category["catName"].get<std::string>());
            for (const json& row : kind == kindWords.end() ? json::array() : rows) {
                const std::string title = row["title"];
                EXPECT_TRUE(std::ranges::any_of(kind->second, [&](auto& w) { return title.find(w) != std::string::npos; })) << title;
            }
        }
    }
    EXPECT_EQ(names.size(), reply["searchCat"].size()) << "each big category has a name of its own";
    EXPECT_GE(pictures.size(), 36u) << "each tile has a picture of its own";
}

TEST_F(ServiceSearchCategoriesTest, ScriptsReachTheCategoriesAndTheConfiguration) {
    for (const char* op : {"get_search_cat", "get_ios_config"}) {
        SCOPED_TRACE(op);
        const std::string target = kJsonPath + op;
        service.script(ScriptedReply{.op = op, .httpStatus = 500});
        EXPECT_EQ(service.request("GET", target).status, 500);
        service.script(ScriptedReply{.op = op, .drop = true});
        EXPECT_EQ(service.request("GET", target).status, 0);
        service.script(ScriptedReply{.op = op, .code = 202});
        EXPECT_EQ(json::parse(service.request("GET", target).body, nullptr, false)["code"], 202);
        service.script(ScriptedReply{.op = op, .dataJSON = "[]"});
        EXPECT_EQ(json::parse(service.request("GET", target).body, nullptr, false)["data"], json::array());
        service.script(ScriptedReply{.op = op, .delayMs = 300});
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(service.request("GET", target).status, 200);
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
    }
    service.script(ScriptedReply{.op = "get_search_cat", .extraJSON = R"({"searchCat":null})"});
    EXPECT_TRUE(categories()["searchCat"].is_null());
    EXPECT_TRUE(categories()["searchCat"].is_array()) << "a script is used once";
}

}  // namespace
}  // namespace zvt::test::svc
