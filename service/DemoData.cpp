#include "service/DemoData.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <stdexcept>
#include <vector>

#include "service/Store.h"

namespace zvt::service {

namespace {

std::string picFile(const std::string& file) { return std::string(kRootPlaceholder) + "/images/" + file; }

std::string pic(const std::string& name) { return picFile(name + ".png"); }

// The last products show what the image loading does with a damaged picture, a slow one and
// a missing one (see service/Images.h).
std::string productPic(int i) {
    switch (i) {
        case 37: return pic("broken37");
        case 38: return pic("slow38");
        case 39: return pic("missing39");
        default: return pic("product" + std::to_string(i % 10));
    }
}

// Enough products for several pages of the home grid and of every store category.
constexpr int kDemoProducts = 198;

// The store's categories, in the order of its tabs after "全部" (there is no 10), each with its
// shop and the titles of its products: a product's title is always of its category, so that a
// tab lists its own kind ("美食" food only). The small things (`cheap`) make the 9.9 list.
struct DemoCategory {
    const char* cid;
    const char* shop;
    std::vector<const char*> titles;
    std::vector<const char*> cheap;
};
const std::array<DemoCategory, 11> kCategories = {{
    {"1", "衣朵女装旗舰店",  // 女装
     {"韩版宽松连帽卫衣女春秋款", "高腰显瘦牛仔裤女九分", "法式碎花连衣裙女夏季"},
     {"莫代尔打底小吊带女", "冰丝防晒袖套女夏季", "女士纯棉船袜5双装"}},
    {"7", "优品家居旗舰店",  // 居家
     {"北欧风陶瓷马克杯情侣款", "加厚珊瑚绒毛毯四季通用", "不锈钢保温杯大容量500ml", "办公室午睡枕头趴睡神器",
      "家用多功能电煮锅宿舍小锅"},
     {"硅胶防滑杯垫4片装", "厨房抹布加厚10条装", "零食密封夹20个装"}},
    {"11", "型男服饰小铺",  // 男装
     {"纯棉短袖T恤男夏季新款", "男士休闲夹克春秋薄款", "宽松工装裤男直筒"},
     {"男士纯棉中筒袜5双装", "男士冰丝防晒袖套", "男士纯棉背心打底"}},
    {"6", "宝贝母婴坊",  // 母婴
     {"儿童益智积木玩具套装", "婴儿推车轻便折叠", "宝宝学步鞋软底防滑"},
     {"宝宝纯棉口水巾6条装", "婴儿硅胶安抚奶嘴", "儿童卡通创可贴50片"}},
    {"2", "步履鞋包专营店",  // 鞋包
     {"休闲运动鞋男透气跑步鞋", "女士真皮单肩斜挎小方包", "双肩包男大容量旅行"},
     {"减震透气鞋垫男女款", "彩色圆形鞋带2双装", "帆布零钱包小号"}},
    {"4", "美妆护肤屋",  // 美妆
     {"防晒霜清爽不油腻SPF50", "补水保湿面膜20片装", "哑光口红持久不掉色"},
     {"卸妆棉200片装", "美妆蛋化妆海绵3个装", "润唇膏保湿滋润"}},
    {"5", "田园特产店",  // 美食
     {"天然蜂蜜农家自产500g", "新疆红枣特级一等2斤装", "碧螺春绿茶新茶250g礼盒装", "每日坚果混合果仁30包"},
     {"蜂蜜柠檬片泡水50g", "红枣片即食100g", "袋泡绿茶茶包20包"}},
    {"3", "饰界配饰馆",  // 配饰
     {"简约纯银锁骨链女", "复古圆框防蓝光眼镜", "男士自动扣真皮腰带"},
     {"纯色发圈10个装", "珍珠发夹3件套", "眼镜清洁布5片装"}},
    {"9", "运动文体专营店",  // 文体
     {"加厚A5笔记本文具套装", "碳素羽毛球拍双拍装", "加厚防滑瑜伽垫"},
     {"中性笔0.5mm黑色10支", "彩色便利贴6本装", "耐打羽毛球3只装"}},
    {"8", "数码生活馆",  // 数码
     {"无线蓝牙耳机运动降噪", "手机支架桌面懒人折叠", "智能体脂秤家用精准称重"},
     {"Type-C快充数据线1米", "手机钢化膜2片装", "耳机收纳包便携"}},
    {"12", "乐龄优选店",  // 中老年
     {"中老年加绒保暖开衫", "老人手机大字大声超长待机", "中老年软底健步鞋"},
     {"便携老花镜高清", "中老年纯棉袜子5双装", "拐杖防滑脚套2个装"}},
}};

// The partner malls by category, each with its highest rebate as the bare rate. Ids count up
// from 60 in this order.
struct DemoMall {
    const char* name;
    const char* fan;
};
struct DemoMallCategory {
    const char* title;
    std::vector<DemoMall> malls;
};
const std::array<DemoMallCategory, 5> kMallCategories = {{
    {"综合商城",
     {{"京东商城", "3%"}, {"天猫", "8%"}, {"苏宁易购", "4%"}, {"国美在线", "5%"}, {"当当网", "6%"},
      {"亚马逊中国", "4%"}, {"一号店", "5%"}, {"聚划算", "7%"}, {"拍拍网", "3%"}, {"易迅网", "4%"},
      {"网易严选", "6%"}, {"考拉海购", "5%"}}},
    {"服饰鞋包",
     {{"唯品会", "7%"}, {"聚美优品", "9%"}, {"蘑菇街", "10%"}, {"美丽说", "10%"}, {"凡客诚品", "8%"},
      {"麦包包", "12%"}, {"优衣库", "5%"}, {"梦芭莎", "11%"}}},
    {"数码家电",
     {{"小米商城", "3%"}, {"华为商城", "3%"}, {"中关村在线", "4%"}, {"迪信通", "5%"}, {"顺电", "4%"},
      {"联想商城", "4%"}, {"戴尔官网", "3%"}}},
    {"美妆母婴",
     {{"乐蜂网", "12%"}, {"丝芙兰", "8%"}, {"莎莎网", "10%"}, {"蜜芽", "9%"}, {"贝贝网", "10%"},
      {"红孩子", "7%"}}},
    {"旅行生活",
     {{"携程旅行", "2%"}, {"去哪儿", "2%"}, {"艺龙", "3%"}, {"同程旅游", "3%"}, {"美团", "4%"},
      {"大众点评", "4%"}, {"饿了么", "5%"}, {"我买网", "6%"}, {"酒仙网", "9%"}}},
}};

std::string money(int cents) {
    std::string s = std::to_string(cents / 100) + ".";
    int rest = cents % 100;
    if (rest < 10) s += "0";
    return s + std::to_string(rest);
}

// The products: "type" cycles through the big sort types 1, 3 and 4 and the category through
// the store's eleven, so that every category of every sort has a page or more. Each list holds
// what its name says: "1" (9.9包邮) small things at 9.90 or less, "3" (超高回扣) a quarter to
// two fifths of the price back, "4" (优品特卖) and the 9.9 list 6 to 14 in a hundred. Every
// other rebate is a number (the home grid's number cell), the rest a text in whole yuan, at
// least one, short enough for the text cell's fixed 44-point badge. A title of each category
// is taken in turn within each of its lists. Made once: the home configuration's advert reads
// one of them on every request.
}  // namespace

const std::vector<nlohmann::json>& demoProducts() {
    static const std::vector<nlohmann::json> products = [] {
        std::vector<nlohmann::json> out;
        std::array<int, kCategories.size()> cheapTaken{}, othersTaken{};
        for (int i = 0; i < kDemoProducts; ++i) {
            const size_t c = static_cast<size_t>(i) % kCategories.size();
            const DemoCategory& category = kCategories[c];
            const int kind = i % 3;
            const char* type = kind == 0 ? "1" : kind == 1 ? "3" : "4";
            const char* title = kind == 0 ? category.cheap[static_cast<size_t>(cheapTaken[c]++) % category.cheap.size()]
                                          : category.titles[static_cast<size_t>(othersTaken[c]++) % category.titles.size()];
            // Cents; the promotion price is 8折 of the price.
            const int price = kind == 0 ? 870 + (i * 737) % 368 : 1490 + (i * 737) % 9000;
            const int promo = price * 8 / 10;
            const int rate = kind == 1 ? 25 + (i % 5) * 4 : 6 + (i % 5) * 2;
            const bool text = i % 2 == 0;
            int rebate = promo * rate / 100;
            if (text) rebate = std::max(1, (rebate + 50) / 100) * 100;
            out.push_back({{"id", std::to_string(1000 + i)},
                           {"cid", category.cid},
                           {"fan_string", text ? nlohmann::json("返" + std::to_string(rebate / 100) + "元")
                                               : nlohmann::json(rebate / 100.0)},
                           {"fxje", rebate / 100.0},
                           {"iid", std::to_string(520000000000LL + i * 7919)},
                           {"is_new", i < 6 ? "1" : "0"},
                           {"is_sold_out", i % 13 == 12 ? "1" : "0"},
                           {"nick", category.shop},
                           {"pic_url", productPic(i)},
                           {"price", money(price)},
                           {"promotion_etime", "2027-12-31 23:59:59"},
                           {"promotion_price", money(promo)},
                           {"title", title},
                           {"type", type},
                           {"zhe_num", "8.0"}});
        }
        return out;
    }();
    return products;
}

namespace {

// The malls lists: each category, then its malls, ids counting up from 60.
std::vector<DemoItem> demoMallItems() {
    std::vector<DemoItem> out;
    int mallNumber = 0;
    for (size_t t = 0; t < kMallCategories.size(); ++t) {
        const auto& category = kMallCategories[t];
        out.push_back({"mall_type", 0, nlohmann::json::array({std::to_string(t + 1), category.title})});
        for (const auto& mall : category.malls) {
            out.push_back({"mall",
                           static_cast<int64_t>(t + 1),
                           {{"id", std::to_string(60 + mallNumber)},
                            {"title", mall.name},
                            {"img", pic("mall" + std::to_string(mallNumber))},
                            {"fan", mall.fan}}});
            ++mallNumber;
        }
    }
    return out;
}

}  // namespace

nlohmann::json demoMall(const std::string& name) {
    for (const DemoItem& item : demoMallItems()) {
        if (item.kind == "mall" && item.record["title"] == name) return item.record;
    }
    throw std::logic_error("no demo mall " + name);
}

bool validDemoDay(const std::string& day) {
    using namespace std::chrono;
    unsigned y = 0, m = 0, d = 0;
    char rest = 0;
    if (day.size() != 10 || day[4] != '-' || day[7] != '-' || std::sscanf(day.c_str(), "%4u-%2u-%2u%c", &y, &m, &d, &rest) != 3)
        return false;
    return year_month_day{year{static_cast<int>(y)} / month{m} / d}.ok() && y >= 1971 && y <= 9999;
}

DemoDay demoDayOf(const std::optional<std::string>& pinned) {
    if (pinned) return {*pinned, *pinned + " 12:00:00"};
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char moment[32];
    std::strftime(moment, sizeof moment, "%Y-%m-%d %H:%M:%S", &tm);
    return {std::string(moment).substr(0, 10), moment};
}

std::string daysAfter(const std::string& date, int days) {
    using namespace std::chrono;
    unsigned y = 0, m = 0, d = 0;
    std::sscanf(date.c_str(), "%u-%u-%u", &y, &m, &d);
    const year_month_day day{sys_days{year{static_cast<int>(y)} / month{m} / d} + std::chrono::days{days}};
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", static_cast<int>(day.year()), static_cast<unsigned>(day.month()),
                  static_cast<unsigned>(day.day()));
    return buf;
}

nlohmann::json demoUserRecord(int64_t id, const std::string& userName) {
    return {{"id", std::to_string(id)},
            {"ddusername", userName},
            {"realname", ""},
            {"alipay", ""},
            {"email", ""},
            {"money", "0.00"},
            {"jifen", "0"},
            {"txstatus", "0"},
            {"level", "1"},
            {"tjr", "0"},
            {"mobile", ""},
            {"phoneNumber", ""},
            {"yitixian", "0.00"},
            {"jifenbao", "0"},
            {"tbtxstatus", "0"},
            {"tbyitixian", "0"},
            {"ms_status", "0"},
            {"avatar", pic("avatar")},
            {"msg_num", "0"},
            {"qq", ""},
            {"inviteCode", "ZV" + std::to_string(id)},
            {"show_coupon", 1},
            {"signtime", "0"}};
}

namespace {

// The other accounts with a balance: the partner account's 300 Velmo and 50 集分宝, lisi's 10
// Velmo, each with the record of its opening and its welcome.
DemoAccount openedAccount(int64_t uid, const DemoDay& demo) {
    return uid == kTestUserId + 1 ? demoOpenedAccount(uid, 0, 50, 300, demo) : demoOpenedAccount(uid, 0, 0, 10, demo);
}

}  // namespace

DemoSeed demoSeed(const DemoDay& day) {
    // Each account's story is told once: its balances and states go to its user record, its
    // records to the items.
    DemoAccount history = demoHistory(kTestUserId, day);
    DemoAccount partner = openedAccount(kTestUserId + 1, day);
    DemoAccount lisi = openedAccount(kTestUserId + 2, day);
    DemoAccount wangwu = demoRegisteredAccount(kTestUserId + 3, day);
    DemoSeed out;

    // The demo user's balances and states are what its history left.
    nlohmann::json demo = {{"realname", "张三"},
                           {"alipay", "zvttest@alipay.example.com"},
                           {"email", kTestUserEmail},
                           {"mobile", kTestUserPhone},
                           {"phoneNumber", kTestUserPhone},
                           {"level", "2"},
                           {"qq", "10001"}};
    demo.update(history.fields);
    nlohmann::json lisiRecord = {{"email", "lisi@example.com"}};
    lisiRecord.update(lisi.fields);
    nlohmann::json wangwuRecord = {{"alipay", nullptr}, {"avatar", nullptr}};
    wangwuRecord.update(wangwu.fields);
    out.users = {
        {kTestUserId, kTestUserName, kTestUserPassword, "", "", demo},
        {kTestUserId + 1, "qq_10002", "", kPartnerWeb, kPartnerWebId, partner.fields},
        {kTestUserId + 2, "lisi", "lisi8888", "", "", lisiRecord},
        // A new password account, as its registration left it: no phone, e-mail, QQ, Alipay
        // account or avatar yet.
        {kTestUserId + 3, "wangwu", "wangwu2026", "", "", wangwuRecord},
    };

    std::vector<DemoItem>& items = out.items;
    for (const auto& product : demoProducts()) items.push_back({"product", 0, product});
    for (DemoAccount* account : {&history, &partner, &lisi, &wangwu}) {
        for (auto& item : account->items) items.push_back(std::move(item));
    }
    // Every account's messages in the order filed, each with an id of its own.
    int64_t messageId = 5000;
    for (DemoItem& item : items) {
        if (item.kind == "message") item.record["id"] = std::to_string(messageId++);
    }
    for (auto& good : demoExchangeGoods(static_cast<int64_t>(std::time(nullptr)))) items.push_back(std::move(good));
    for (auto& mall : demoMallItems()) items.push_back(std::move(mall));
    return out;
}

namespace {

nlohmann::json headerItem(const std::string& name, const std::string& picName,
                          const std::string& link, const std::string& local,
                          const std::string& iconFile = "") {
    return {{"link", link},         {"isShare", "0"},
            {"local", local},       {"name", name},
            {"pic", pic(picName)},  {"shareText", "快来Zavelto一起省钱吧"},
            {"shareTitle", name},
            {"icon", iconFile.empty() ? pic("icon_" + picName) : picFile(iconFile)},
            {"subName", "每日更新"}};
}

}  // namespace

nlohmann::json demoIosConfig() {
    // The advert offers the first product of the high-rebate list, as the store sells it.
    const nlohmann::json& advertised = demoProducts()[1];
    char income[32];
    std::snprintf(income, sizeof income, "%.2f", advertised["fxje"].get<double>());
    std::string page = std::string(kRootPlaceholder) + "/wap/activity.php?id=";
    return {
        {"code", 101},
        {"banner",
         {headerItem("双十一返利狂欢", "banner0", page + "1", "0"),
          headerItem("新人专享高返", "banner1", page + "2", "0"),
          headerItem("品质优选", "banner2", "1", "1")}},
        {"nav",
         {headerItem("9块9包邮", "nav0", "4", "1", "icon_nav0.gif"), headerItem("超高返", "nav1", "5", "1"),
          headerItem("签到", "nav2", "2", "1"), headerItem("逛逛", "nav3", "10", "1"),
          headerItem("优品特卖", "nav4", "1", "1"), headerItem("商城返利", "nav5", "7", "1"),
          headerItem("返利订单", "nav6", "8", "1"), headerItem("返利教程", "nav7", "9", "1")}},
        {"middleBanner", {headerItem("品牌特卖", "middle0", page + "3", "0")}},
        {"blockBanner",
         {headerItem("兑换中心", "block0", "3", "1"), headerItem("邀请好友", "block1", page + "4", "0")}},
        {"fixedBanner",
         {headerItem("女装精选", "fixed0", "1", "1"), headerItem("居家好物", "fixed1", "7", "1"),
          headerItem("男士专区", "fixed2", "10", "1")}},
        // A list whose first entry is the check-in page's promotion.
        {"signPage",
         {{{"name", "签到攻略"}, {"pic", pic("sign")}, {"link", page + "9"}, {"local", "0"}}}},
        {"regMethod", "1"},
        {"isShowBinding", "1"},
        {"bindingText", "绑定手机号后才能提现"},
        {"goodAds",
         {{"is_Show", 0},
          {"good_Name", advertised["title"]},
          {"real_Price", advertised["promotion_price"]},
          {"original_Price", advertised["price"]},
          {"income", income},
          {"imag_URL", advertised["pic_url"]},
          {"id", advertised["id"]},
          {"iid", advertised["iid"]}}},
        {"iosTip", {{"isShow", "0"}, {"title", "给我们评分"}, {"content", "喜欢Zavelto吗？"}}},
        {"search_mothed", "1"},
        {"pid", "mm_10001_0_0"}};
}

nlohmann::json demoInvitePage() {
    // Ten inviters: more than the 290-point table shows, so that it scrolls and reuses its rows.
    nlohmann::json rows = nlohmann::json::array();
    const std::array<const char*, 10> names = {"王**", "李**", "赵**", "陈**", "周**",
                                               "吴**", "郑**", "孙**", "钱**", "冯**"};
    for (size_t i = 0; i < names.size(); ++i) {
        rows.push_back({{"num", std::to_string(2000 - i * 150)}, {"username", names[i]}});
    }
    return {{"code", 101}, {"inviteData", rows}};
}

}  // namespace zvt::service
