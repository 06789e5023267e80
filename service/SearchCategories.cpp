// The browse family: the big categories of the stroll screen ("get_search_cat"), each with its
// keyword tiles. Every keyword finds goods in the own product search's demo goods.
#include <string>
#include <utility>
#include <vector>

#include "service/DemoData.h"
#include "service/Service.h"

namespace zvt::service {

namespace {

using json = nlohmann::json;

struct BigCategory {
    const char* name;
    std::vector<const char*> keywords;
};

// Six big categories of six or nine tiles (full rows of three), in the order the screen lists
// them. A tile's word is in the titles of its category's goods only (a style or tail of that
// kind, a word of its goods or a part of one), so that it finds that kind alone.
const std::vector<BigCategory>& bigCategories() {
    static const std::vector<BigCategory> categories = {
        {"女装", {"连衣裙", "连帽卫衣", "韩版", "修身", "显瘦", "大码", "碎花", "夏季新款", "裙"}},
        {"数码", {"蓝牙耳机", "耳机", "蓝牙", "手机壳", "手机", "正品"}},
        {"美食", {"零食", "茶叶", "茶", "进口", "特产", "礼盒装"}},
        {"家居", {"四件套", "保温杯", "杯", "不锈钢", "纯棉", "大容量"}},
        {"运动", {"运动鞋", "鞋", "运动", "防晒霜", "防晒", "跑步"}},
        {"男装", {"牛仔裤", "男款", "直筒", "弹力", "商务休闲", "加绒"}},
    };
    return categories;
}

json searchCategories() {
    json list = json::array();
    int picture = 0;
    for (const auto& category : bigCategories()) {
        json sons = json::array();
        for (const char* keyword : category.keywords) {
            sons.push_back({{"name", keyword},
                            {"img", std::string(kRootPlaceholder) + "/images/cat" + std::to_string(picture++) + ".png"}});
        }
        list.push_back({{"catName", category.name}, {"catSon", std::move(sons)}});
    }
    return list;
}

}  // namespace

Reply Service::opSearchCat(Incoming&) {
    Reply r;
    r.body = {{"code", 101}, {"searchCat", searchCategories()}};
    return r;
}

}  // namespace zvt::service
