// The search family: the hot keywords of the Taobao tab ("get_tao_config"), the mall search
// ("search_m"), the own product search ("/api/search_tbk_v3.php") and Taobao's suggestion
// service ("/sug"). The goods searched are demo data of their own, kept here; the product page
// of the shop pages shows them too.
#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "service/DemoData.h"
#include "service/Service.h"

namespace zvt::service {

namespace {

using json = nlohmann::json;

std::string dumpJson(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }

// A field as text: texts as they are, numbers by their digits, anything else empty.
std::string field(const json& fields, const char* key) {
    auto it = fields.find(key);
    if (it == fields.end()) return {};
    if (it->is_string()) return it->get<std::string>();
    if (it->is_number()) return dumpJson(*it);
    return {};
}

// Money in yuan as cents; -1 for an empty or unreadable text (an open end of a range).
int64_t centsOrOpen(const std::string& yuan) {
    if (yuan.empty()) return -1;
    try {
        size_t used = 0;
        double v = std::stod(yuan, &used);
        if (used != yuan.size() || !std::isfinite(v) || v < 0) return -1;
        return std::llround(v * 100);
    } catch (...) {
        return -1;
    }
}

// Picture addresses of the demo data follow the address the client reached the service under.
void substituteRoot(json& j, const std::string& root) {
    if (j.is_string()) {
        std::string s = j.get<std::string>();
        const std::string placeholder = kRootPlaceholder;
        bool changed = false;
        for (size_t pos = 0; (pos = s.find(placeholder, pos)) != std::string::npos; pos += root.size()) {
            s.replace(pos, placeholder.size(), root);
            changed = true;
        }
        if (changed) j = s;
    } else if (j.is_structured()) {
        for (auto& v : j) substituteRoot(v, root);
    }
}

std::string money(int cents) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d.%02d", cents / 100, cents % 100);
    return buf;
}

// The kinds of goods the search holds, in the order of the stroll screen's big categories:
// the tails of their titles and their shops (a Tmall one, "B", and a Taobao one, "C"). No word
// of one kind is in another kind's titles, so that a word finds one kind ("修身" women's wear,
// "正品" electronics).
struct GoodsKind {
    const char* name;
    std::array<const char*, 2> tails;
    const char* tmallShop;
    const char* taobaoShop;
};
const std::array<GoodsKind, 6> kKinds = {{{"女装", {"新品", "清仓"}, "衣朵女装旗舰店", "潮流女装小铺"},
                                          {"数码", {"正品", "官方"}, "数码生活旗舰店", "数码生活馆"},
                                          {"美食", {"包邮", "新货"}, "天猫超市", "田园特产店"},
                                          {"家居", {"家用", "加厚"}, "优品家居旗舰店", "好物集家居"},
                                          {"运动", {"专业", "户外"}, "运动户外旗舰店", "跑者运动小铺"},
                                          {"男装", {"男款", "加绒"}, "型男服饰旗舰店", "型男服饰小铺"}}};
enum Kind : size_t { kWomen, kDigital, kFood, kHome, kSports, kMen };

// A title starts with a style of its word's own: women's wear shares one list, food another.
const std::vector<const char*> kWomenStyles = {"韩版", "夏季新款", "修身", "大码", "碎花", "显瘦"};
const std::vector<const char*> kFoodStyles = {"进口", "特产", "网红", "原味", "散装", "礼盒装"};

// A word the goods are titled with: its kind, its styles and how many goods it finds.
struct GoodsWord {
    const char* word;
    int goods;
    Kind kind;
    std::vector<const char*> styles;
};

// The hot keywords the Taobao tab shows, in the order the tab shows them ("连衣裙" fills three
// pages of ten).
const std::array<GoodsWord, 10> kHotKeywords = {{
    {"连衣裙", 26, kWomen, kWomenStyles},
    {"蓝牙耳机", 12, kDigital, {"无线", "降噪", "入耳式", "头戴式", "骨传导", "半入耳"}},
    {"保温杯", 8, kHome, {"不锈钢", "大容量", "便携", "316钢"}},
    {"零食", 6, kFood, kFoodStyles},
    {"运动鞋", 5, kSports, {"透气", "跑步", "减震", "轻便"}},
    {"防晒霜", 4, kSports, {"清爽", "高倍", "防水", "温和"}},
    {"牛仔裤", 4, kMen, {"男士直筒", "弹力小脚", "商务休闲", "水洗复古"}},
    {"手机壳", 3, kDigital, {"防摔", "硅胶", "透明磨砂"}},
    {"四件套", 3, kHome, {"纯棉", "全棉磨毛", "简约北欧"}},
    {"茶叶", 3, kFood, kFoodStyles},
}};

// Words the suggestions offer beside the hot keywords' (for "连", say), women's wear with goods
// of their own.
const std::array<GoodsWord, 4> kMoreWords = {{{"连衣裤", 2, kWomen, kWomenStyles},
                                               {"连帽卫衣", 2, kWomen, kWomenStyles},
                                               {"连体裤", 2, kWomen, kWomenStyles},
                                               {"连裤袜", 2, kWomen, kWomenStyles}}};

const std::array<const char*, 4> kPlaces = {"浙江 杭州", "广东 广州", "上海", "江苏 苏州"};

std::string pic(const std::string& name) { return std::string(kRootPlaceholder) + "/images/" + name + ".png"; }

// Good n, the i-th of its word, titled "<style><word><tail><i+1>号" of its word's kind: every
// shop type (Tmall "B", Taobao "C"), some without a rebate ("fan" "0"), distinct volumes and
// rebates so that each order shows.
json demoGood(int n, const GoodsWord& word, size_t styleAt, int i) {
    const GoodsKind& kind = kKinds[word.kind];
    const std::string title = std::string(word.styles[styleAt % word.styles.size()]) + word.word +
                              kind.tails[static_cast<size_t>(i) % kind.tails.size()] + std::to_string(i + 1) + "号";
    int price = 990 + (n * 737) % 20000;
    // Every fifth has no rebate; the others spread so that "fan" and "volume" order the list
    // differently from the service's own order.
    int fan = n % 5 == 4 ? 0 : 30 + (n * 53) % 900;
    const bool tmall = n % 3 == 0;
    return {{"num_iid", std::to_string(560000000000LL + n * 7919)},
            {"pic_url", pic("product" + std::to_string(n % 10))},
            {"promotion_price", money(price)},
            {"title", title},
            {"fan", fan == 0 ? std::string("0") : money(fan)},
            {"nick", tmall ? kind.tmallShop : kind.taobaoShop},
            {"shop_type", tmall ? "B" : "C"},
            {"item_location", kPlaces[static_cast<size_t>(n) % kPlaces.size()]},
            {"volume", std::to_string(20 + (n * 389) % 5000)}};
}

// The suggestion service's words, each finding goods: each hot keyword, then that keyword with
// each style its goods have and with each tail of its kind; the more words last. Counts are
// made up.
const std::vector<std::pair<std::string, int>>& suggestionWords() {
    static const std::vector<std::pair<std::string, int>> words = [] {
        std::vector<std::pair<std::string, int>> out;
        int seed = 7;
        auto add = [&](const std::string& word, int base) {
            seed = seed * 31 % 997;
            out.emplace_back(word, base + seed * 97);
        };
        for (const GoodsWord& hot : kHotKeywords) {
            add(hot.word, 90000);
            std::vector<std::string> styled;
            for (const json& good : demoSearchGoods()) {
                const std::string title = good["title"];
                const size_t at = title.find(hot.word);
                if (at == std::string::npos || at == 0) continue;
                const std::string word = title.substr(0, at) + hot.word;
                if (std::find(styled.begin(), styled.end(), word) == styled.end()) styled.push_back(word);
            }
            for (const std::string& word : styled) add(word, 1000);
            for (const char* tail : kKinds[hot.kind].tails) add(std::string(hot.word) + tail, 1000);
        }
        for (const GoodsWord& more : kMoreWords) add(more.word, 500);
        return out;
    }();
    return words;
}

}  // namespace

const std::vector<json>& demoSearchGoods() {
    static const std::vector<json> goods = [] {
        std::vector<json> out;
        int n = 0;
        for (size_t k = 0; k < kHotKeywords.size(); ++k) {
            for (int i = 0; i < kHotKeywords[k].goods; ++i, ++n)
                out.push_back(demoGood(n, kHotKeywords[k], static_cast<size_t>(n) + k, i));
        }
        for (size_t w = 0; w < kMoreWords.size(); ++w) {
            for (int i = 0; i < kMoreWords[w].goods; ++i, ++n)
                out.push_back(demoGood(n, kMoreWords[w], static_cast<size_t>(n) + w, i));
        }
        return out;
    }();
    return goods;
}

Reply Service::opTaoConfig(Incoming&) {
    Reply r;
    json hot = json::array();
    for (const GoodsWord& keyword : kHotKeywords) hot.push_back(keyword.word);
    r.body = {{"code", 101}, {"hotKey", hot}};
    return r;
}

// Every mall of every category the mall data holds whose name holds q (all for an empty q),
// each as [name, id, logo, highest rebate].
Reply Service::opSearchMall(Incoming& in) {
    std::string q = field(in.fields, "q");
    json result = json::array();
    for (const auto& m : everyMall()) {
        std::string title = m.value("title", "");
        if (q.empty() || title.find(q) != std::string::npos) {
            result.push_back({m["title"], m["id"], m["img"], m.value("fan", "")});
        }
    }
    substituteRoot(result, in.root);
    Reply r;
    r.body = {{"code", 101}, {"result", result}};
    return r;
}

// The own product search: keyword by title, Tmall only with "mallItem" "1", the price range in
// yuan ("" for an open end); "sort" "2" by volume and "3" by rebate, both descending, any other
// value the service's order; pages of ten; a bare JSON array, empty past the end.
Reply Service::pageSearch(Incoming& in) {
    std::string keyword = field(in.fields, "keyword");
    bool tmallOnly = field(in.fields, "mallItem") == "1";
    int64_t low = centsOrOpen(field(in.fields, "startPrice"));
    int64_t high = centsOrOpen(field(in.fields, "endPrice"));
    std::vector<json> rows;
    for (const auto& item : demoSearchGoods()) {
        if (!keyword.empty() && item["title"].get<std::string>().find(keyword) == std::string::npos) continue;
        if (tmallOnly && item["shop_type"] != "B") continue;
        int64_t price = centsOrOpen(item["promotion_price"].get<std::string>());
        if (low >= 0 && price < low) continue;
        if (high >= 0 && price > high) continue;
        rows.push_back(item);
    }
    std::string sort = field(in.fields, "sort");
    auto number = [](const json& item, const char* key) { return centsOrOpen(item[key].get<std::string>()); };
    if (sort == "2" || sort == "3") {
        const char* key = sort == "2" ? "volume" : "fan";
        std::stable_sort(rows.begin(), rows.end(),
                         [&](const json& a, const json& b) { return number(a, key) > number(b, key); });
    }
    int64_t page = 1;
    try {
        page = std::stoll(field(in.fields, "page"));
    } catch (...) {
    }
    json out = json::array();
    // A page past every row is empty, however large: its offset is never computed to wrap.
    if (page >= 1 && static_cast<uint64_t>(page - 1) < (rows.size() + 9) / 10) {
        for (size_t i = static_cast<size_t>(page - 1) * 10; i < rows.size() && out.size() < 10; ++i) out.push_back(rows[i]);
    }
    substituteRoot(out, in.root);
    Reply r;
    r.raw = dumpJson(out);
    return r;
}

// Taobao's suggestion service: up to ten words holding q, each [word, approximate count]; each
// word finds goods in the own search.
Reply Service::pageSuggestion(Incoming& in) {
    std::string q = field(in.fields, "q");
    json result = json::array();
    if (!q.empty()) {
        for (const auto& [word, count] : suggestionWords()) {
            if (word.find(q) == std::string::npos) continue;
            result.push_back({word, std::to_string(count)});
            if (result.size() == 10) break;
        }
    }
    Reply r;
    r.contentType = "application/json; charset=utf-8";
    r.raw = dumpJson(json{{"result", result}});
    return r;
}

}  // namespace zvt::service
