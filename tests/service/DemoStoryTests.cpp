// The demo data tells one story: what one list says of a thing another list says too (the
// same order number, friend, date and amount), what the service offers it also takes, and
// each list holds what its name says. Every row reads the demo user's data as the screens
// read it and checks one rule over it. A new account walked through every happening that moves
// a balance keeps the same rules, and so does the demo seeded on other days.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "tests/service/ServiceTestSupport.h"

namespace zvt::test::svc {
namespace {

class DemoStoryTest : public ServiceTest {
protected:
    DemoStoryTest() = default;
    // The demo seeded with other options: on another day.
    explicit DemoStoryTest(ServiceProcess::Options options) : ServiceTest(std::move(options)) {}
    void SetUp() override { cookie = login(kServiceTestUserName, kServiceTestUserPassword); }

    // Every row of an enciphered list of the demo user (`order`, `getUserDetailed`, `msg`), or of
    // the account with that id and session, page after page until the one marked last.
    json desList(const std::string& op, const json& fields, const std::string& id = kServiceTestUserId,
                 const std::string* session = nullptr) const {
        json rows = json::array();
        for (int number = 1; number <= 50; ++number) {
            json ask = fields;
            ask["id"] = id;
            ask["number"] = std::to_string(number);
            json reply = signedDes(op, ask, nullptr, session ? *session : cookie);
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

    // The demo user's record as the client reads it (`userInfo&do=my`), or that account's.
    json userRecord(const std::string& id = kServiceTestUserId, const std::string* session = nullptr) const {
        std::string raw;
        signedDes("userInfo&do=my", {{"id", id}}, &raw, session ? *session : cookie);
        return json::parse(decipher(raw), nullptr, false);
    }

    // A control call of an account's happening (`/__test/order`, `rebate`...), answered 200.
    json ledgerControl(const std::string& path, json body, const std::string& uid) const {
        body["uid"] = uid;
        auto r = service.request("POST", path, body.dump(), "application/json");
        EXPECT_EQ(r.status, 200) << path << " " << r.body;
        return json::parse(r.body, nullptr, false);
    }

    // A page of the service's site as the logged-in user's web view loads it.
    std::string sitePage(const std::string& target) const {
        return service.request("GET", target, "", "", {{"Cookie", cookie}}).body;
    }

    // Every order of the demo user by the number its list shows: the Taobao orders' "trade_id"
    // and the mall orders' "order_code".
    std::map<std::string, json> ordersByNumber() const {
        std::map<std::string, json> out;
        for (auto& row : desList("order", {{"do", "taobao"}})) out[row.value("trade_id", "")] = row;
        for (auto& row : desList("order", {{"do", "mall"}})) out[row.value("order_code", "")] = row;
        return out;
    }

    // What the coupon page shows: the number it counts usable, and its rows' texts.
    struct CouponPage {
        int usable = -1;
        std::vector<std::string> rows;
    };
    CouponPage couponPage() const {
        CouponPage out;
        const std::string page = sitePage("/wap/coupon.php");
        std::smatch m;
        if (std::regex_search(page, m, std::regex("<b id=\"usable\">([0-9]+)</b>"))) out.usable = std::stoi(m[1]);
        const std::regex row("<li[^>]*>(.*?)</li>");
        for (auto it = std::sregex_iterator(page.begin(), page.end(), row); it != std::sregex_iterator(); ++it)
            out.rows.push_back((*it)[1]);
        return out;
    }

    // The coupons get_coupon offers for an order (its record "id").
    json offered(const std::string& orderId) const {
        return signedJson("get_coupon", {{"uid", kServiceTestUserId}, {"tradeId", orderId}}, cookie)["coupons"];
    }

    // An amount in cents as a record or a text writes it ("3.00", "-41", "2"), its sign dropped.
    static int64_t cents(const std::string& amount) {
        if (amount.empty()) return 0;
        return std::llround(std::fabs(std::stod(amount)) * 100);
    }

    // A record's amount with its sign, in hundredths ("-41" is -4100, "3.00" is 300).
    static int64_t signedCents(const std::string& amount) { return amount.empty() ? 0 : std::llround(std::stod(amount) * 100); }

    // What moves the user's three balances, in hundredths, at a moment: a record, or the
    // return of a withdrawal.
    struct Move {
        std::string time, what;
        int64_t cash = 0, jifenbao = 0, jifen = 0;
    };
    // Every move the records tell, in time order: income and refunds by their signs, each
    // withdrawal lowering its kind when asked, and a returned one giving it back when the
    // message of its return says so.
    std::vector<Move> balanceMoves(const std::string& id = kServiceTestUserId, const std::string* session = nullptr) const {
        std::vector<Move> moves;
        for (const char* list : {"in", "refund"}) {
            for (const json& row : desList("getUserDetailed", {{"do", list}}, id, session)) {
                moves.push_back({row.value("addtime", ""), row.value("title", "") + " " + row.value("content", ""),
                                 signedCents(row.value("money", "")), signedCents(row.value("jifenbao", "")),
                                 signedCents(row.value("jifen", ""))});
            }
        }
        const json messages = desList("msg", json::object(), id, session);
        for (const json& row : desList("getUserDetailed", {{"do", "out"}}, id, session)) {
            const bool points = row.value("type", "") == "1";
            const int64_t amount = signedCents(row.value("money", ""));
            const std::string asked = row.value("addtime", "");
            Move move{asked, "提现 " + row.value("money", "") + " " + row.value("status", "")};
            (points ? move.jifenbao : move.cash) = -amount;
            moves.push_back(move);
            if (row.value("status", "") != "提现失败，已退回") continue;
            // Returned: given back when its message is dated.
            std::string returned;
            const std::string named = row.value("money", "") + (points ? "个集分宝" : "元");
            for (const json& message : messages) {
                const std::string title = message.value("title", ""), content = message.value("content", "");
                if (title.find("失败") != std::string::npos && title.find(named) != std::string::npos &&
                    content.find("于" + asked.substr(0, 10)) != std::string::npos)
                    returned = message.value("addtime", "");
            }
            EXPECT_FALSE(returned.empty()) << "the return of " << move.what << " of " << asked << " is told";
            move.time = returned.empty() ? asked : returned;
            move.what = "退回 " + move.what;
            move.cash = -move.cash;
            move.jifenbao = -move.jifenbao;
            moves.push_back(move);
        }
        std::stable_sort(moves.begin(), moves.end(), [](const Move& a, const Move& b) { return a.time < b.time; });
        return moves;
    }

    // The coupon page's rows as award (the number its name says), order number and state.
    struct ShownCoupon {
        int award = 0;
        std::string order, state;
    };
    std::vector<ShownCoupon> shownCoupons() const {
        std::vector<ShownCoupon> out;
        for (const std::string& row : couponPage().rows) {
            std::smatch m;
            if (!std::regex_search(row, m, std::regex("([0-9]+)集分宝回扣券.*订单 ([0-9A-Z]+) · (可使用|已使用|已失效)"))) {
                ADD_FAILURE() << row;
                continue;
            }
            out.push_back({std::stoi(m[1]), m[2], m[3]});
        }
        return out;
    }

    // "YYYY-MM-DD" of the day `days` after a day written so.
    static std::string daysAfter(const std::string& day, int days) {
        using namespace std::chrono;
        unsigned y = 0, m = 0, d = 0;
        std::sscanf(day.c_str(), "%u-%u-%u", &y, &m, &d);
        const year_month_day shifted{sys_days{year{static_cast<int>(y)} / month{m} / d} + std::chrono::days{days}};
        char out[16];
        std::snprintf(out, sizeof out, "%04d-%02u-%02u", static_cast<int>(shifted.year()), static_cast<unsigned>(shifted.month()),
                      static_cast<unsigned>(shifted.day()));
        return out;
    }

    // The Double Eleven activity's days, every year: 1 to 11 November.
    static bool inDoubleEleven(const std::string& when) { return when.compare(5, 2, "11") == 0 && when.compare(8, 2, "11") <= 0; }

    // The numbers of the orders a refund record cites.
    std::set<std::string> refundedOrders(const std::string& id = kServiceTestUserId, const std::string* session = nullptr) const {
        std::set<std::string> out;
        for (const json& row : desList("getUserDetailed", {{"do", "refund"}}, id, session)) {
            std::smatch m;
            const std::string content = row.value("content", "");
            if (std::regex_search(content, m, std::regex("订单 ([0-9A-Z]+)"))) out.insert(m[1]);
        }
        return out;
    }

    // Each Taobao order earns its goods' rate of what it paid (the product's rebate over its
    // promotion price, a 集分宝 a fen), twice that when paid within the Double Eleven days, and a
    // refunded one shows nothing left to earn. The number of orders that earn twice and of those
    // that earn the usual rate.
    std::pair<size_t, size_t> expectOrdersEarnTheirGoodsRates() const {
        std::map<std::string, json> goods;  // by "iid"
        for (const json& p : products("0")) goods[p.value("iid", "")] = p;
        const std::set<std::string> refunded = refundedOrders();
        size_t doubled = 0, usual = 0;
        for (const json& order : desList("order", {{"do", "taobao"}})) {
            SCOPED_TRACE(order.value("trade_id", "") + " paid " + order.value("pay_time", ""));
            auto p = goods.find(order.value("num_iid", ""));
            if (p == goods.end()) {
                ADD_FAILURE() << "goods of no product";
                continue;
            }
            const int64_t shown = std::stoll(order.value("jifenbao", "0"));
            if (refunded.count(order.value("trade_id", ""))) {
                EXPECT_EQ(shown, 0);
                continue;
            }
            const bool window = inDoubleEleven(order.value("pay_time", ""));
            const double rate = shownRebate(p->second) / yuan(p->second["promotion_price"]);
            const int64_t earns = std::llround(rate * static_cast<double>(signedCents(order.value("pay_price", "")))) * (window ? 2 : 1);
            EXPECT_NEAR(shown, earns, window ? 2 : 1) << "at " << rate * 100 << " in a hundred" << (window ? ", doubled" : "");
            ++(window ? doubled : usual);
        }
        return {doubled, usual};
    }

    // The Double Eleven announcements among the messages: each promises doubled rebates for the
    // orders paid from 1 to 11 November and is dated when the activity opens.
    size_t expectDoubleElevenAnnouncements() const {
        size_t told = 0;
        for (const json& message : desList("msg", json::object())) {
            const std::string title = message.value("title", "");
            if (title.find("双十一") == std::string::npos) continue;
            ++told;
            EXPECT_NE(title.find("翻倍"), std::string::npos) << title;
            EXPECT_NE(title.find("11月1日至11日"), std::string::npos) << title;
            EXPECT_EQ(message.value("addtime", "").substr(4), "-11-01 09:00:00") << title;
        }
        return told;
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

    // Every good the own search finds for a word ("": every one), page after page.
    json searched(const std::string& word) const {
        json rows = json::array();
        for (int page = 1; page <= 50; ++page) {
            auto r = service.request("GET", "/api/search_tbk_v3.php?keyword=" + percentEncode(word) +
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

    static std::string titleOf(const std::string& html) {
        std::smatch m;
        return std::regex_search(html, m, std::regex("<title>([^<]*)</title>")) ? m[1].str() : "";
    }

    // The words of the exchange store's poster, blanks left out.
    static std::string posterWords() {
        std::string words = pictureWords("pointsStorePoster");
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
        {"at most one withdrawal of each kind is under review, and the user's record says which",
         [&] {
             std::map<std::string, int> underReview;
             for (const json& row : desList("getUserDetailed", {{"do", "out"}}))
                 if (row.value("status", "") == "审核中") ++underReview[row.value("type", "")];
             const json me = userRecord();
             for (const auto& [type, state] : {std::pair{"1", "tbtxstatus"}, std::pair{"2", "txstatus"}}) {
                 SCOPED_TRACE(type);
                 EXPECT_LE(underReview[type], 1);
                 EXPECT_EQ(me.value(state, ""), underReview[type] ? "1" : "0") << "the form offers what the service takes";
             }
         }},
        {"a site message promises what the help page promises, and names a withdrawal or an order the lists hold",
         [&] {
             ASSERT_NE(sitePage("/wap/help-4.php").find("提现申请在1个工作日内到账"), std::string::npos);
             std::multimap<std::string, std::string> withdrawals;  // "300个集分宝" -> its state
             for (const json& row : desList("getUserDetailed", {{"do", "out"}}))
                 withdrawals.emplace(row.value("money", "") + (row.value("type", "") == "1" ? "个集分宝" : "元"), row.value("status", ""));
             const auto orders = ordersByNumber();
             for (const json& message : desList("msg", json::object())) {
                 const std::string said = message.value("title", "") + message.value("content", "");
                 SCOPED_TRACE(said);
                 size_t days = 0, promised = 0;
                 for (size_t at = said.find("工作日"); at != std::string::npos; at = said.find("工作日", at + 1)) ++days;
                 for (size_t at = said.find("1个工作日内"); at != std::string::npos; at = said.find("1个工作日内", at + 1)) ++promised;
                 EXPECT_EQ(days, promised) << "one working day, as the help page, the form and its alert say";
                 std::smatch m;
                 const std::string title = message.value("title", "");
                 if (title.find("提现") != std::string::npos) {
                     // A withdrawal of the list, in the state the message tells.
                     const char* state = title.find("失败") != std::string::npos   ? "提现失败，已退回"
                                         : title.find("受理") != std::string::npos ? "审核中"
                                                                                   : "已到账";
                     ASSERT_TRUE(std::regex_search(said, m, std::regex("([0-9.]+(个集分宝|元))"))) << "names its amount";
                     bool found = false;
                     for (auto [it, end] = withdrawals.equal_range(m[1]); it != end; ++it) found = found || it->second == state;
                     EXPECT_TRUE(found) << m[1] << " " << state;
                 }
                 if (std::regex_search(said, m, std::regex("订单 ([0-9A-Z]+)"))) {
                     EXPECT_TRUE(orders.count(m[1])) << m[1];
                 }
             }
         }},
        {"a site message reads as one the service sends: no placeholder, a heading that is its title",
         [&] {
             for (const json& message : desList("msg", json::object())) {
                 const std::string title = message.value("title", ""), content = message.value("content", "");
                 SCOPED_TRACE(title);
                 EXPECT_EQ(content.find("站内信"), std::string::npos) << content;
                 EXPECT_EQ(content.find("这是第"), std::string::npos) << content;
                 EXPECT_EQ(content.rfind("<h3>" + title + "</h3>", 0), 0u) << content;
             }
         }},
        {"a site message's link opens a page on its topic",
         [&] {
             // The help pages by topic, with words a message on that topic uses; the activity
             // pages by the names the home screen and the check-in give them.
             const std::map<std::string, std::vector<std::string>> helpTopics = {
                 {"新手一分钟", {"欢迎", "新手"}}, {"购物问题", {"订单", "返利"}},
                 {"账号问题", {"账号", "密码"}},   {"提现问题", {"提现"}}};
             const std::map<std::string, std::string> activities = {
                 {"1", "双十一返利狂欢"}, {"2", "新人专享高返"}, {"3", "品牌特卖"},
                 {"4", "邀请好友"},       {"8", "签到有礼"},     {"9", "签到攻略"}};
             const std::string root = service.rootURL();
             for (const json& message : desList("msg", json::object())) {
                 const std::string title = message.value("title", ""), content = message.value("content", "");
                 SCOPED_TRACE(title);
                 std::smatch link;
                 ASSERT_TRUE(std::regex_search(content, link, std::regex("href=\"([^\"]*)\""))) << content;
                 const std::string target = link[1].str().rfind(root, 0) == 0 ? link[1].str().substr(root.size()) : link[1].str();
                 ASSERT_EQ(service.request("GET", target).status, 200) << target;
                 std::smatch m;
                 if (std::regex_match(target, m, std::regex("/wap/help-[1-4]\\.php"))) {
                     std::smatch heading;
                     const std::string page = sitePage(target);
                     ASSERT_TRUE(std::regex_search(page, heading, std::regex("<title>([^<]*)</title>")));
                     bool onTopic = false;
                     for (const std::string& word : helpTopics.at(heading[1])) onTopic = onTopic || title.find(word) != std::string::npos;
                     EXPECT_TRUE(onTopic) << target << " (" << heading[1] << ")";
                 } else if (std::regex_match(target, m, std::regex("/wap/activity\\.php\\?id=([0-9]+)"))) {
                     ASSERT_TRUE(activities.count(m[1])) << target;
                     EXPECT_NE(title.find(activities.at(m[1])), std::string::npos) << target << " is " << activities.at(m[1]);
                 } else {
                     ADD_FAILURE() << "neither a help page nor an activity: " << target;
                 }
             }
         }},
        {"the coupon page names each coupon's order by the number the order list shows",
         [&] {
             const auto orders = ordersByNumber();
             const CouponPage page = couponPage();
             ASSERT_FALSE(page.rows.empty());
             for (const std::string& row : page.rows) {
                 std::smatch m;
                 ASSERT_TRUE(std::regex_search(row, m, std::regex("订单 ([0-9A-Z]+)"))) << row;
                 EXPECT_TRUE(orders.count(m[1])) << row;
             }
         }},
        {"what get_coupon offers and the coupon page counts usable is what use_coupon takes, after a use too",
         [&] {
             const json taobao = desList("order", {{"do", "taobao"}});
             auto offeredInAll = [&] {
                 size_t all = 0;
                 for (const json& order : taobao) {
                     const size_t n = offered(order["id"]).size();
                     if (n) {
                         EXPECT_EQ(order.value("can_useCoupon", ""), "1") << order["id"] << ": offered, yet refused";
                     }
                     all += n;
                 }
                 return all;
             };
             const size_t before = offeredInAll();
             ASSERT_GT(before, 0u);
             EXPECT_EQ(couponPage().usable, static_cast<int>(before));
             // A coupon used on an order that offered several: the others go with the order's chance.
             std::string busy;
             for (const json& order : taobao)
                 if (busy.empty() && offered(order["id"]).size() >= 2) busy = order["id"].get<std::string>();
             ASSERT_FALSE(busy.empty());
             const json coupons = offered(busy);
             const json used = signedJson("use_coupon", {{"uid", kServiceTestUserId}, {"couponId", coupons[0]["id"].dump()}, {"tradeId", busy}},
                                          cookie);
             ASSERT_EQ(used["code"], 101) << used.dump();
             EXPECT_EQ(signedJson("use_coupon", {{"uid", kServiceTestUserId}, {"couponId", coupons[1]["id"].dump()}, {"tradeId", busy}},
                                  cookie)["msg"],
                       "该订单不能再使用回扣券");
             EXPECT_EQ(offered(busy).size(), 0u) << "offered, yet refused";
             const size_t after = offeredInAll();
             EXPECT_EQ(after, before - coupons.size());
             const CouponPage page = couponPage();
             EXPECT_EQ(page.usable, static_cast<int>(after));
             size_t shownUsable = 0;
             for (const std::string& row : page.rows) shownUsable += row.find("可使用") != std::string::npos;
             EXPECT_EQ(shownUsable, after);
             // The demo data as seeded for the rows after this one.
             service.reset(true);
             cookie = login(kServiceTestUserName, kServiceTestUserPassword);
         }},
        {"the invitation total is the sum of the friends' awards as their history shows them (whole yuan)",
         [&] {
             int64_t shown = 0;
             for (const json& friendRow : jsonList("old_invite_info", 12)) {
                 const json& award = friendRow["award"];
                 const int64_t c = award.is_string() ? cents(award.get<std::string>()) : std::llround(award.get<double>() * 100);
                 EXPECT_EQ(c % 100, 0) << friendRow.dump();
                 shown += c / 100;  // the history's "%ld"
             }
             const json totals = signedJson("user_invite", {{"uid", kServiceTestUserId}}, cookie)["data"];
             EXPECT_EQ(totals.value("inviteMoney", ""), std::to_string(shown));
         }},
        {"each friend has one story: registered, rewarded and credited on the same days with the same amounts",
         [&] {
             std::map<std::string, std::string> registered;  // friend -> regTime
             std::map<std::string, int64_t> awarded;         // friend -> award in cents
             for (const json& row : jsonList("old_invite_info", 12)) {
                 const std::string name = row.value("people", "");
                 EXPECT_FALSE(registered.count(name)) << name << " twice";
                 registered[name] = row.value("regTime", "");
                 awarded[name] = row["award"].is_string() ? cents(row["award"].get<std::string>())
                                                          : std::llround(row["award"].get<double>() * 100);
             }
             std::map<std::string, int64_t> rewarded;  // friend -> the rewards' sum
             std::multiset<std::string> rewards;       // "friend date cents"
             for (const json& row : jsonList("invite_info", 10)) {
                 const std::string name = row.value("people", ""), day = row.value("time", "");
                 SCOPED_TRACE(row.dump());
                 ASSERT_TRUE(registered.count(name)) << "a friend of the history";
                 if (row.value("type", "") == "注册奖励") {
                     EXPECT_EQ(day, registered[name]);
                 } else {
                     EXPECT_GT(day, registered[name]) << "after the registration";
                 }
                 rewarded[name] += cents(row.value("num", ""));
                 rewards.insert(name + " " + day + " " + std::to_string(cents(row.value("num", ""))));
             }
             for (const auto& [name, award] : awarded) EXPECT_EQ(rewarded[name], award) << name << ": the history's award is its rewards'";
             std::multiset<std::string> credited;
             for (const json& row : desList("getUserDetailed", {{"do", "in"}})) {
                 if (row.value("title", "") != "邀请奖励") continue;
                 std::smatch m;
                 const std::string content = row.value("content", "");
                 ASSERT_TRUE(std::regex_search(content, m, std::regex("(好友[0-9]+)"))) << content;
                 credited.insert(m[1].str() + " " + row.value("addtime", "").substr(0, 10) + " " +
                                 std::to_string(cents(row.value("money", ""))));
             }
             EXPECT_EQ(credited, rewards) << "each reward is an income record of its day and amount";
         }},
        {"an invitation's income record credits cash",
         [&] {
             size_t rows = 0;
             for (const json& row : desList("getUserDetailed", {{"do", "in"}})) {
                 if (row.value("title", "") != "邀请奖励") continue;
                 ++rows;
                 EXPECT_GT(cents(row.value("money", "")), 0) << row.dump();
             }
             EXPECT_GT(rows, 0u);
         }},
        {"a rebate or refund record cites an order the lists hold, after it, and moves what that order shows; a refunded one shows "
         "nothing left to earn",
         [&] {
             const auto orders = ordersByNumber();
             std::map<std::string, json> rebates, refunds;  // order number -> its rebate, its refund record
             auto cited = [&](const json& row) -> std::pair<std::string, const json*> {
                 std::smatch m;
                 const std::string content = row.value("content", "");
                 if (!std::regex_search(content, m, std::regex("订单 ([0-9A-Z]+)"))) return {"", nullptr};
                 auto it = orders.find(m[1]);
                 return {m[1], it == orders.end() ? nullptr : &it->second};
             };
             for (const json& row : desList("getUserDetailed", {{"do", "refund"}})) {
                 SCOPED_TRACE(row.dump());
                 auto [number, order] = cited(row);
                 ASSERT_TRUE(order) << "cites " << number;
                 refunds[number] = row;
             }
             for (const json& row : desList("getUserDetailed", {{"do", "in"}})) {
                 if (row.value("title", "") != "购物返利") continue;
                 SCOPED_TRACE(row.dump());
                 auto [number, order] = cited(row);
                 ASSERT_TRUE(order) << "cites " << number;
                 rebates[number] = row;
                 if (order->contains("trade_id")) {
                     EXPECT_GT(row.value("addtime", ""), order->value("pay_time", ""));
                     // What the order shows is what it still earns: once refunded, nothing.
                     const int64_t shown = std::stoll(order->value("jifenbao", "0")) + std::stoll(order->value("coupon_award", "0"));
                     EXPECT_EQ(refunds.count(number) ? 0 : std::stoll(row.value("jifenbao", "0")), shown)
                         << "the order's rebate and its coupon's award, less what a refund took back";
                 } else {
                     EXPECT_GT(row.value("addtime", ""), order->value("order_time", ""));
                     EXPECT_EQ(order->value("status", ""), "已结算");
                     EXPECT_EQ(row.value("money", ""), order->value("fxje", ""));
                     EXPECT_EQ(row.value("jifen", ""), order->value("jifen", ""));
                 }
             }
             EXPECT_FALSE(rebates.empty());
             EXPECT_FALSE(refunds.empty());
             for (const auto& [number, row] : refunds) {
                 SCOPED_TRACE(row.dump());
                 ASSERT_TRUE(rebates.count(number)) << "takes back a rebate the income shows";
                 const json& rebate = rebates[number];
                 EXPECT_GT(row.value("addtime", ""), rebate.value("addtime", ""));
                 for (const char* amount : {"money", "jifenbao", "jifen"})
                     EXPECT_EQ(cents(row.value(amount, "")), cents(rebate.value(amount, ""))) << amount;
                 EXPECT_EQ(orders.at(number).value("coupon_award", ""), "0") << "its coupon's award went with the rebate";
             }
         }},
        {"an income or refund record's text says every amount it moves",
         [&] {
             json rows = desList("getUserDetailed", {{"do", "in"}});
             for (const json& row : desList("getUserDetailed", {{"do", "refund"}})) rows.push_back(row);
             ASSERT_FALSE(rows.empty());
             struct Unit {
                 const char* field;
                 const char* pattern;
             };
             for (const json& row : rows) {
                 const std::string content = row.value("content", "");
                 SCOPED_TRACE(content);
                 for (const Unit& unit : {Unit{"money", "([0-9]+(\\.[0-9]+)?)元"}, Unit{"jifenbao", "([0-9]+) ?个集分宝"},
                                          Unit{"jifen", "([0-9]+) ?Velmo"}}) {
                     std::smatch m;
                     const int64_t moved = cents(row.value(unit.field, ""));
                     const int64_t said = std::regex_search(content, m, std::regex(unit.pattern)) ? cents(m[1]) : 0;
                     EXPECT_EQ(said, moved) << unit.field << " " << row.value(unit.field, "");
                 }
             }
         }},

        // What a list or page promises of a figure, held against what the data did.
        {"the counts the service reports are counted from what it holds: messages, coupons offered, friends",
         [&] {
             const json me = userRecord();
             EXPECT_EQ(me.value("msg_num", ""), std::to_string(desList("msg", json::object()).size())) << "the messages the list holds";
             size_t offeredInAll = 0;
             for (const json& order : desList("order", {{"do", "taobao"}})) {
                 const size_t n = offered(order["id"]).size();
                 offeredInAll += n;
                 EXPECT_EQ(order.value("coupons", ""), std::to_string(n)) << order.value("trade_id", "") << ": what get_coupon offers";
             }
             EXPECT_EQ(couponPage().usable, static_cast<int>(offeredInAll));
             const json totals = signedJson("user_invite", {{"uid", kServiceTestUserId}}, cookie)["data"];
             EXPECT_EQ(totals.value("inviteTotal", ""), std::to_string(jsonList("old_invite_info", 12).size()));
         }},
        {"a Taobao order earns its goods' rate, twice that when paid within the Double Eleven days the announcement names",
         [&] {
             const auto [doubled, usual] = expectOrdersEarnTheirGoodsRates();
             EXPECT_GT(doubled, 0u) << "the demo's day lies within the story of a Double Eleven";
             EXPECT_GT(usual, 0u);
             EXPECT_EQ(expectDoubleElevenAnnouncements(), 1u);
             // Its rebate record says so.
             size_t said = 0;
             const auto orders = ordersByNumber();
             for (const json& row : desList("getUserDetailed", {{"do", "in"}})) {
                 std::smatch m;
                 const std::string content = row.value("content", "");
                 if (!std::regex_search(content, m, std::regex("淘宝订单 ([0-9]+)"))) continue;
                 const bool window = inDoubleEleven(orders.at(m[1]).value("pay_time", ""));
                 EXPECT_EQ(content.find("翻倍") != std::string::npos, window) << content;
                 said += window;
             }
             EXPECT_GT(said, 0u);
         }},
        {"a mall order earns no more than the highest rate its mall shows",
         [&] {
             std::map<std::string, std::string> rates;  // mall -> "8%"
             const json categories = signedJson("mall_type", json::object())["data"];
             for (const json& category : categories) {
                 const json malls = signedJson("mall", {{"cid", category[0]}})["data"];
                 for (const json& mall : malls) rates[mall["title"]] = mall["fan"];
             }
             for (const json& order : desList("order", {{"do", "mall"}})) {
                 SCOPED_TRACE(order.value("order_code", "") + " " + order.value("mall_name", ""));
                 ASSERT_TRUE(rates.count(order.value("mall_name", "")));
                 const double rate = std::stod(rates[order.value("mall_name", "")]);
                 EXPECT_LE(signedCents(order.value("fxje", "")), std::llround(signedCents(order.value("item_price", "")) * rate / 100))
                     << order.value("fxje", "") << " of " << order.value("item_price", "") << " at " << rate << "%";
             }
         }},
        {"the help pages say when orders show as the order lists do, and the demo's orders show so",
         [&] {
             // The application's own texts of its empty lists.
             std::string app;
             for (const auto& file : std::filesystem::recursive_directory_iterator(std::string(ZVT_SOURCE_ROOT) + "/app/screens")) {
                 if (!file.is_regular_file() || file.path().extension() != ".cpp") continue;
                 std::ifstream in(file.path());
                 app += std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
             }
             std::string help;
             for (const char* page : {"/wap/help-1.php", "/wap/help-2.php", "/wap/help-3.php", "/wap/help-4.php"})
                 help += visibleText(sitePage(page));
             for (const char* said : {"订单会在您确认收货后24小时内显示", "订单会在您下单后15~20分钟显示"}) {
                 ASSERT_NE(app.find(said), std::string::npos) << said << ": the application's text";
                 EXPECT_NE(help.find(std::string(said).substr(std::string("订单会在您").size())), std::string::npos) << said;
             }
             EXPECT_FALSE(std::regex_search(help, std::regex("付款后[^。]*24小时"))) << help;
             // A Taobao order shows once its receipt was confirmed, a day or more after it was
             // paid, and before the story's end (the withdrawal asked on the demo's day); its
             // rebate comes after that.
             std::string end;
             for (const json& row : desList("getUserDetailed", {{"do", "out"}})) end = std::max(end, row.value("addtime", ""));
             const auto orders = ordersByNumber();
             for (const json& order : desList("order", {{"do", "taobao"}})) {
                 const std::string paid = order.value("pay_time", "");
                 EXPECT_LE(daysAfter(paid.substr(0, 10), 1) + paid.substr(10), end) << order.value("trade_id", "");
             }
             for (const json& row : desList("getUserDetailed", {{"do", "in"}})) {
                 std::smatch m;
                 const std::string content = row.value("content", "");
                 if (!std::regex_search(content, m, std::regex("淘宝订单 ([0-9]+)"))) continue;
                 const std::string paid = orders.at(m[1]).value("pay_time", "");
                 EXPECT_GT(row.value("addtime", ""), daysAfter(paid.substr(0, 10), 1) + paid.substr(10)) << content;
             }
         }},
        {"every withdrawal, rebate and refund has the one message of its kind telling its last news",
         [&] {
             const json messages = desList("msg", json::object());
             auto told = [&](const std::function<bool(const std::string& title, const std::string& content)>& match) {
                 size_t n = 0;
                 for (const json& m : messages) n += match(m.value("title", ""), m.value("content", "")) ? 1 : 0;
                 return n;
             };
             for (const json& w : desList("getUserDetailed", {{"do", "out"}})) {
                 const std::string amount = w.value("money", "") + (w.value("type", "") == "1" ? "个集分宝" : "元");
                 const std::string status = w.value("status", ""), asked = w.value("addtime", "").substr(0, 10);
                 const char* news = status == "审核中" ? "受理" : status == "已到账" ? "已到账" : "失败";
                 EXPECT_EQ(told([&](const std::string& title, const std::string& content) {
                               return title.find(amount) != std::string::npos && content.find("于" + asked) != std::string::npos;
                           }),
                           1u)
                     << amount << " asked " << asked;
                 EXPECT_EQ(told([&](const std::string& title, const std::string& content) {
                               return title.find(news) != std::string::npos && title.find(amount) != std::string::npos &&
                                      content.find("于" + asked) != std::string::npos;
                           }),
                           1u)
                     << amount << " " << status;
             }
             const std::set<std::string> refunded = refundedOrders();
             for (const json& row : desList("getUserDetailed", {{"do", "in"}})) {
                 std::smatch m;
                 const std::string content = row.value("content", "");
                 if (row.value("title", "") != "购物返利" || !std::regex_search(content, m, std::regex("订单 ([0-9A-Z]+) "))) continue;
                 const std::string number = m[1];
                 const bool backed = refunded.count(number) > 0;
                 const std::string points = row.value("jifenbao", "");
                 EXPECT_EQ(told([&](const std::string&, const std::string& text) {
                               return text.find("订单 " + number + " ") != std::string::npos;
                           }),
                           1u)
                     << number;
                 EXPECT_EQ(told([&](const std::string& title, const std::string& text) {
                               return text.find("订单 " + number + " ") != std::string::npos &&
                                      title.find(backed ? "退款" : "到账") != std::string::npos &&
                                      (backed ? title.find(points + "个集分宝") != std::string::npos : true);
                           }),
                           1u)
                     << number << (backed ? ": its refund" : ": its rebate");
             }
             EXPECT_FALSE(refunded.empty());
         }},
        {"each balance the user's info shows (cash, 集分宝, Velmo) equals what its records add up to",
         [&] {
             // The demo user's, those of an account with a balance and no other story, and those of
             // a new account, which has the welcome red packet of its registration.
             const std::string lisi = login("lisi", "lisi8888");
             const std::string wangwu = login(kServiceNewUserName, kServiceNewUserPassword);
             EXPECT_EQ(userRecord(kServiceNewUserId, &wangwu).value("jifen", ""), "100");
             for (const auto& [id, session] : {std::pair<std::string, const std::string*>{kServiceTestUserId, &cookie},
                                               {"10003", &lisi},
                                               {kServiceNewUserId, &wangwu}}) {
                 SCOPED_TRACE(id);
                 Move sum;
                 for (const Move& move : balanceMoves(id, session)) {
                     sum.cash += move.cash;
                     sum.jifenbao += move.jifenbao;
                     sum.jifen += move.jifen;
                 }
                 const json me = userRecord(id, session);
                 EXPECT_EQ(signedCents(me.value("money", "")), sum.cash) << "cash " << me.value("money", "");
                 EXPECT_EQ(signedCents(me.value("jifenbao", "")), sum.jifenbao) << "集分宝 " << me.value("jifenbao", "");
                 EXPECT_EQ(signedCents(me.value("jifen", "")), sum.jifen) << "Velmo " << me.value("jifen", "");
             }
         }},
        {"in time order no balance is ever negative",
         [&] {
             Move sum;
             std::string below;
             for (const Move& move : balanceMoves()) {
                 sum.cash += move.cash;
                 sum.jifenbao += move.jifenbao;
                 sum.jifen += move.jifen;
                 if (below.empty() && (sum.cash < 0 || sum.jifenbao < 0 || sum.jifen < 0))
                     below = move.time + " " + move.what + ": " + std::to_string(sum.cash) + " / " + std::to_string(sum.jifenbao) +
                             " / " + std::to_string(sum.jifen);
             }
             EXPECT_EQ(below, "") << "in hundredths: cash / 集分宝 / Velmo";
         }},
        {"every Taobao order opens the product page of its own goods; a mall order's mall is one the malls lists hold",
         [&] {
             for (const json& order : desList("order", {{"do", "taobao"}})) {
                 SCOPED_TRACE(order.value("trade_id", "") + " " + order.value("item_title", ""));
                 // The order's page is the item's, as the orders list opens it by "num_iid".
                 const std::string page =
                     service.request("GET", "/item.php?iid=" + percentEncode(order.value("num_iid", "")) + "&id=0&uid=10001").body;
                 std::smatch title, price;
                 ASSERT_TRUE(std::regex_search(page, title, std::regex("<p id=title>([^<]*)</p>"))) << page;
                 EXPECT_EQ(title[1].str(), order.value("item_title", ""));
                 ASSERT_TRUE(std::regex_search(page, price, std::regex("<p class=price>¥([0-9.]+)</p>"))) << "on sale";
                 EXPECT_GE(signedCents(price[1]), signedCents(order.value("pay_price", ""))) << "no dearer than it is sold";
             }
             std::map<std::string, std::string> malls;  // name -> picture
             const json categories = signedJson("mall_type", json::object())["data"];
             for (const json& category : categories) {
                 const json list = signedJson("mall", {{"cid", category[0]}})["data"];
                 for (const json& mall : list) malls[mall["title"]] = mall["img"];
             }
             ASSERT_FALSE(malls.empty());
             for (const json& order : desList("order", {{"do", "mall"}})) {
                 SCOPED_TRACE(order.value("order_code", "") + " " + order.value("mall_name", ""));
                 ASSERT_TRUE(malls.count(order.value("mall_name", "")));
                 EXPECT_EQ(order.value("img", ""), malls[order.value("mall_name", "")]) << "the mall's own picture";
             }
         }},
        {"a coupon used on an order shows as used on the coupon page, with the award the order shows, unless a refund took it back",
         [&] {
             std::set<std::string> refunded;  // order numbers
             for (const json& row : desList("getUserDetailed", {{"do", "refund"}})) {
                 std::smatch m;
                 const std::string content = row.value("content", "");
                 if (std::regex_search(content, m, std::regex("订单 ([0-9]+)"))) refunded.insert(m[1]);
             }
             auto ofOrder = [&](const std::string& number) {
                 std::vector<ShownCoupon> out;
                 for (const ShownCoupon& c : shownCoupons())
                     if (c.order == number) out.push_back(c);
                 return out;
             };
             // As seeded: an order that shows an award had one coupon of that award used on it.
             size_t awarded = 0;
             for (const json& order : desList("order", {{"do", "taobao"}})) {
                 const std::string award = order.value("coupon_award", "0");
                 if (award == "0") continue;
                 ++awarded;
                 SCOPED_TRACE(order.dump());
                 size_t used = 0;
                 for (const ShownCoupon& c : ofOrder(order.value("trade_id", ""))) {
                     EXPECT_NE(c.state, "可使用") << "the order has had its coupon";
                     if (c.state != "已使用") continue;
                     ++used;
                     EXPECT_EQ(std::to_string(c.award), award);
                 }
                 EXPECT_EQ(used, 1u);
             }
             EXPECT_GT(awarded, 0u);
             // Used now: the first coupon each order offers awards what the page names it, and
             // then shows as used, as the order shows its award.
             size_t usedNow = 0;
             for (const json& order : desList("order", {{"do", "taobao"}})) {
                 const json coupons = offered(order["id"]);
                 if (coupons.empty()) continue;
                 const std::string number = order.value("trade_id", "");
                 SCOPED_TRACE(number);
                 const std::vector<ShownCoupon> before = ofOrder(number);
                 ASSERT_EQ(before.size(), coupons.size());
                 const json used = signedJson(
                     "use_coupon", {{"uid", kServiceTestUserId}, {"couponId", coupons[0]["id"].dump()}, {"tradeId", order["id"]}}, cookie);
                 ASSERT_EQ(used["code"], 101) << used.dump();
                 const json& award = used["data"]["award"];
                 EXPECT_EQ(award.is_string() ? award.get<std::string>() : award.dump(), std::to_string(before[0].award)) << "the award the page names";
                 const std::vector<ShownCoupon> after = ofOrder(number);
                 ASSERT_EQ(after.size(), before.size());
                 EXPECT_EQ(after[0].state, "已使用");
                 EXPECT_EQ(after[0].award, before[0].award);
                 ++usedNow;
             }
             EXPECT_GT(usedNow, 0u);
             size_t refundedWithCoupon = 0;
             for (const json& order : desList("order", {{"do", "taobao"}})) {
                 size_t used = 0;
                 const bool backed = refunded.count(order.value("trade_id", "")) > 0;
                 for (const ShownCoupon& c : ofOrder(order.value("trade_id", ""))) {
                     if (c.state != "已使用") continue;
                     ++used;
                     EXPECT_EQ(backed ? "0" : std::to_string(c.award), order.value("coupon_award", "")) << order.dump();
                 }
                 refundedWithCoupon += backed && used ? 1 : 0;
                 if (!backed) {
                     EXPECT_EQ(used, order.value("coupon_award", "0") == "0" ? 0u : 1u) << order.dump();
                 }
             }
             EXPECT_GT(refundedWithCoupon, 0u) << "a refunded order whose coupon stays used";
             // The demo data as seeded for the rows after this one.
             service.reset(true);
             cookie = login(kServiceTestUserName, kServiceTestUserPassword);
         }},
        {"every message about a withdrawal, payout, return, rebate or reward names its record's amount and is dated no earlier",
         [&] {
             const json withdrawals = desList("getUserDetailed", {{"do", "out"}});
             const json income = desList("getUserDetailed", {{"do", "in"}});
             const json rewards = jsonList("invite_info", 10);
             size_t told = 0;
             for (const json& message : desList("msg", json::object())) {
                 const std::string title = message.value("title", ""), content = message.value("content", "");
                 const std::string when = message.value("addtime", "");
                 SCOPED_TRACE(when + " " + title);
                 std::smatch m;
                 if (title.find("提现") != std::string::npos) {
                     ++told;
                     ASSERT_TRUE(std::regex_search(title, m, std::regex("([0-9]+(\\.[0-9]+)?)(个集分宝|元)"))) << "names its amount";
                     const std::string amount = m[1], type = m[3] == "元" ? "2" : "1";
                     ASSERT_TRUE(std::regex_search(content, m, std::regex("于([0-9]{4}-[0-9]{2}-[0-9]{2})"))) << content;
                     const std::string day = m[1];
                     const json* asked = nullptr;
                     for (const json& row : withdrawals) {
                         if (row.value("type", "") == type && signedCents(row.value("money", "")) == signedCents(amount) &&
                             row.value("addtime", "").rfind(day, 0) == 0)
                             asked = &row;
                     }
                     ASSERT_TRUE(asked) << amount << " asked on " << day;
                     if (title.find("受理") != std::string::npos) {
                         EXPECT_GE(when, asked->value("addtime", ""));
                     } else {
                         EXPECT_GT(when, asked->value("addtime", "")) << "paid out or returned after it was asked";
                     }
                 } else if (title.find("返利") != std::string::npos && title.find("到账") != std::string::npos) {
                     ++told;
                     ASSERT_TRUE(std::regex_search(content, m, std::regex("订单 ([0-9A-Z]+)"))) << content;
                     const std::string number = m[1];
                     const json* rebate = nullptr;
                     for (const json& row : income)
                         if (row.value("title", "") == "购物返利" && row.value("content", "").find("订单 " + number + " ") != std::string::npos)
                             rebate = &row;
                     ASSERT_TRUE(rebate) << number;
                     EXPECT_GE(when, rebate->value("addtime", ""));
                     struct Unit {
                         const char* field;
                         const char* pattern;
                     };
                     for (const Unit& unit : {Unit{"money", "([0-9]+(\\.[0-9]+)?)元"}, Unit{"jifenbao", "([0-9]+) ?个集分宝"},
                                              Unit{"jifen", "([0-9]+) ?Velmo"}}) {
                         const int64_t named = std::regex_search(title, m, std::regex(unit.pattern)) ? cents(m[1]) : 0;
                         EXPECT_EQ(named, cents(rebate->value(unit.field, ""))) << unit.field;
                     }
                 } else if (title.find("奖励") != std::string::npos) {
                     // An offer of rewards: each reward it promises moves what it promises, after it.
                     ++told;
                     std::smatch reg, shop;
                     ASSERT_TRUE(std::regex_search(title, reg, std::regex("注册奖励([0-9]+)元")));
                     ASSERT_TRUE(std::regex_search(title, shop, std::regex("购物再奖([0-9]+)元起")));
                     ASSERT_FALSE(rewards.empty());
                     for (const json& reward : rewards) {
                         const bool registration = reward.value("type", "") == "注册奖励";
                         const int64_t yuan = cents(reward.value("num", "")) / 100;
                         if (registration) {
                             EXPECT_EQ(yuan, std::stoll(reg[1])) << reward.dump();
                         } else {
                             EXPECT_GE(yuan, std::stoll(shop[1])) << reward.dump();
                         }
                         EXPECT_GE(reward.value("time", ""), when.substr(0, 10)) << reward.dump();
                     }
                 }
             }
             EXPECT_GT(told, 10u);
         }},
        {"no page or message offers what the application doesn't have: each place it names is one the application shows",
         [&] {
             // The application's own texts, where the places a page may send a user to are named.
             std::string app;
             for (const auto& file : std::filesystem::recursive_directory_iterator(std::string(ZVT_SOURCE_ROOT) + "/app")) {
                 const std::string ext = file.path().extension().string();
                 if (!file.is_regular_file() || (ext != ".cpp" && ext != ".h")) continue;
                 std::ifstream in(file.path());
                 app += std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
             }
             std::vector<std::pair<std::string, std::string>> said;  // where, visible text
             for (const char* page : {"/wap/help-1.php", "/wap/help-2.php", "/wap/help-3.php", "/wap/help-4.php",
                                      "/wap/help-ios-ads.html", "/wap/coupon.php"})
                 said.emplace_back(page, visibleText(sitePage(page)));
             for (int id : {1, 2, 3, 4, 8, 9, 21, 22}) {
                 const std::string target = "/wap/activity.php?id=" + std::to_string(id);
                 said.emplace_back(target, visibleText(sitePage(target)));
                 said.emplace_back(target + " (logged out)", visibleText(service.request("GET", target).body));
             }
             for (const json& message : desList("msg", json::object()))
                 said.emplace_back(message.value("title", ""), std::regex_replace(message.value("content", ""), std::regex("<[^>]*>"), " "));
             // What the application has none of: the invite screen shares, it builds no code or link.
             const std::vector<std::string> absent = {"邀请码", "邀请链接", "二维码"};
             for (const std::string& word : absent) ASSERT_EQ(app.find(word), std::string::npos) << word;
             const std::regex quoted("(「|“)(.*?)(」|”)");
             for (const auto& [where, text] : said) {
                 SCOPED_TRACE(where);
                 for (const std::string& word : absent) EXPECT_EQ(text.find(word), std::string::npos) << word << " in: " << text;
                 for (auto it = std::sregex_iterator(text.begin(), text.end(), quoted); it != std::sregex_iterator(); ++it)
                     EXPECT_NE(app.find("\"" + (*it)[2].str()), std::string::npos) << (*it)[2] << ": no such place in the application";
             }
         }},

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
                 {"/search.html?pid=mm_10001_0_0&q=" + percentEncode("保温杯") + "&unid=10001", "", {"mm_10001_0_0", "10001"}},
                 {"/wap/activity.php?id=9", cookie, {"10001"}},
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
                     service.request("GET", "/search.html?pid=mm_1_2_3&q=" + percentEncode(word) + "&unid=0").body;
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

// A new account is one ledger too: after every happening that moves a balance (its registration,
// a check-in, an exchange, withdrawals paid out and returned, invitation rewards, an order's
// rebate and its refund) each balance is what its records add up to, and the happening's message
// is the one the demo user has of its kind.
TEST_F(DemoStoryTest, ANewAccountIsOneLedgerAfterEveryHappening) {
    const json registered = signedDes("register", {{"userName", "ledger@example.com"}, {"password", "ledger123"}});
    ASSERT_EQ(registered["code"], 101) << registered.dump();
    const std::string session = "ZVTSESSID=" + registered["setCookie"]["value"].get<std::string>();
    const json fresh = json::parse(decipher(registered["data"]), nullptr, false);
    const std::string id = fresh.value("id", "");
    // The welcome red packet reads these.
    EXPECT_EQ(fresh.value("jifen", ""), "100");
    EXPECT_EQ(fresh.value("jifenbao", ""), "10");

    auto control = [&](const std::string& path, const json& body) { return ledgerControl(path, body, id); };
    auto withdraw = [&](const char* type, const char* key, const char* amount) {
        return signedDes("outCash", {{"id", id}, {"ddpassword", "ledger123"}, {"type", type}, {key, amount}, {"remark", ""}}, nullptr,
                         session)["code"];
    };
    // After a step: the balances are the records' sum, the messages as many as the demo's kinds
    // make, counted by "msg_num", the newest of the step's kind.
    auto oneLedger = [&](const std::string& step, size_t messages, const std::string& newest) {
        SCOPED_TRACE(step);
        Move sum;
        for (const Move& move : balanceMoves(id, &session)) {
            sum.cash += move.cash;
            sum.jifenbao += move.jifenbao;
            sum.jifen += move.jifen;
        }
        const json me = userRecord(id, &session);
        EXPECT_EQ(signedCents(me.value("money", "")), sum.cash) << "cash " << me.value("money", "");
        EXPECT_EQ(signedCents(me.value("jifenbao", "")), sum.jifenbao) << "集分宝 " << me.value("jifenbao", "");
        EXPECT_EQ(signedCents(me.value("jifen", "")), sum.jifen) << "Velmo " << me.value("jifen", "");
        const json list = desList("msg", json::object(), id, &session);
        ASSERT_EQ(list.size(), messages);
        EXPECT_EQ(me.value("msg_num", ""), std::to_string(messages));
        EXPECT_NE(list[0].value("title", "").find(newest), std::string::npos) << list[0].value("title", "");
    };

    oneLedger("registered", 1, "欢迎");
    ASSERT_EQ(signedDes("sign", {{"id", id}}, nullptr, session)["code"], 101);
    oneLedger("checked in", 1, "欢迎");
    ASSERT_EQ(signedDes("exchange", {{"id", id}, {"goodId", "718"}, {"mode", "2"}, {"num", "1"}}, nullptr, session)["code"], 101);
    oneLedger("exchanged for 100 Velmo", 2, "兑换通知");

    service.setUserFields(json{{"id", id}, {"alipay", "ledger@alipay.example.com"}, {"realname", "王五"}}.dump());
    ASSERT_EQ(withdraw("1", "jifenbao", "5"), 101);
    oneLedger("5 集分宝 asked", 3, "提现申请已受理");
    control("/__test/payout", {{"type", "1"}});
    oneLedger("paid out", 3, "提现已到账");
    EXPECT_EQ(userRecord(id, &session).value("tbyitixian", ""), "5");
    ASSERT_EQ(withdraw("1", "jifenbao", "3"), 101);
    control("/__test/return", {{"type", "1"}});
    oneLedger("3 集分宝 returned", 4, "提现失败");

    control("/__test/reward", {{"people", "好友A"}, {"type", "注册奖励"}, {"yuan", 2}});
    control("/__test/reward", {{"people", "好友A"}, {"type", "购物奖励"}, {"yuan", 3}});
    oneLedger("a friend's rewards", 4, "提现失败");
    const json totals = signedJson("user_invite", {{"uid", id}}, session)["data"];
    EXPECT_EQ(totals.value("inviteTotal", "") + " " + totals.value("inviteMoney", ""), "1 5");
    ASSERT_EQ(withdraw("2", "money", "1.5"), 101);
    control("/__test/payout", {{"type", "2"}});
    oneLedger("1.50 元 paid out", 5, "提现已到账");

    const json order = control("/__test/order", {{"goods", "1000"}, {"coupons", {2}}})["order"];
    ASSERT_TRUE(order.is_object());
    const json coupons = signedJson("get_coupon", {{"uid", id}, {"tradeId", order["id"]}}, session)["coupons"];
    ASSERT_EQ(coupons.size(), 1u);
    ASSERT_EQ(signedJson("use_coupon", {{"uid", id}, {"couponId", coupons[0]["id"].dump()}, {"tradeId", order["id"]}}, session)["code"], 101);
    control("/__test/rebate", {{"order", order["id"]}});
    oneLedger("its order rebated", 6, "返利到账");
    const json in = desList("getUserDetailed", {{"do", "in"}}, id, &session);
    EXPECT_EQ(in[0].value("jifenbao", ""), std::to_string(std::stoll(order.value("jifenbao", "")) + 8)) << "its rebate and its coupon's 8";
    control("/__test/refund", {{"order", order["id"]}});
    oneLedger("refunded", 6, "订单退款");
    const json shown = desList("order", {{"do", "taobao"}}, id, &session);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].value("jifenbao", "") + " " + shown[0].value("coupon_award", ""), "0 0") << "nothing left to earn";

    // However they were filed, no two messages share an id: this account's, another new one's
    // (its welcome and an exchange's) and the demo user's.
    const json other = signedDes("register", {{"userName", "ledger2@example.com"}, {"password", "ledger123"}});
    ASSERT_EQ(other["code"], 101) << other.dump();
    const std::string otherSession = "ZVTSESSID=" + other["setCookie"]["value"].get<std::string>();
    const std::string otherId = json::parse(decipher(other["data"]), nullptr, false).value("id", "");
    ASSERT_EQ(signedDes("exchange", {{"id", otherId}, {"goodId", "718"}, {"mode", "2"}, {"num", "1"}}, nullptr, otherSession)["code"], 101);
    std::set<std::string> ids;
    size_t messages = 0;
    for (const json& list : {desList("msg", json::object(), id, &session), desList("msg", json::object(), otherId, &otherSession),
                             desList("msg", json::object())}) {
        for (const json& m : list) {
            ++messages;
            ids.insert(m.value("id", ""));
        }
    }
    EXPECT_EQ(messages, 6u + 2u + 25u);
    EXPECT_EQ(ids.size(), messages);
}

// A message that tells a thing's later news takes the place of the one that told its earlier
// news, found by that thing: two orders of the same goods rebated in one second have messages of
// one title and time, and the refund of one takes back its own order's message only.
TEST_F(DemoStoryTest, ARefundTakesBackTheMessageOfItsOwnOrderOnly) {
    const std::string lisi = login("lisi", "lisi8888");
    auto control = [&](const std::string& path, const json& body) { return ledgerControl(path, body, "10003"); };
    // (The service's clock stands: both rebates in one second however busy the machine.)
    service.configure(R"({"fixed_time": "1796176800"})");
    const json first = control("/__test/order", {{"goods", "1002"}})["order"];
    const json second = control("/__test/order", {{"goods", "1002"}})["order"];
    ASSERT_TRUE(first.is_object() && second.is_object());
    control("/__test/rebate", {{"order", first["id"]}});
    control("/__test/rebate", {{"order", second["id"]}});
    ASSERT_EQ(desList("msg", json::object(), "10003", &lisi).size(), 3u);
    control("/__test/refund", {{"order", first["id"]}});

    // Which order each message tells of, and how.
    std::multiset<std::string> told;
    const json messages = desList("msg", json::object(), "10003", &lisi);
    for (const json& m : messages) {
        const std::string content = m.value("content", "");
        std::string what = "other";
        for (const json* order : {&first, &second}) {
            const std::string cited = "淘宝订单 " + order->value("trade_id", "") + " ";
            if (content.find(cited + "已确认收货") != std::string::npos) what = (order == &first ? "first" : "second") + std::string(" rebated");
            if (content.find(cited + "已退款") != std::string::npos) what = (order == &first ? "first" : "second") + std::string(" refunded");
        }
        told.insert(what);
    }
    EXPECT_EQ(told, (std::multiset<std::string>{"first refunded", "second rebated", "other"}));
    EXPECT_EQ(userRecord("10003", &lisi).value("msg_num", ""), "3");
}

// Every way of registering (by name; by phone number with its code, the JSON interface's "data"
// enciphered; either binding a partner account) opens the account as the demo's story begins:
// the welcome red packet's income record and the welcome message.
TEST_F(DemoStoryTest, EveryWayOfRegisteringOpensTheLedger) {
    struct Way {
        const char* name;
        json fields;
        bool byPhone;
    };
    const std::vector<Way> ways = {
        {"by name", {{"userName", "opened"}, {"password", "secret1"}}, false},
        {"by name, a partner's", {{"userName", "opened2"}, {"password", "secret1"}, {"web", "tb"}, {"webId", "TB-1"}}, false},
        {"by phone", {{"phoneNumber", "13912340001"}, {"password", "secret1"}}, true},
        {"by phone, a partner's", {{"phoneNumber", "13912340002"}, {"password", "secret1"}, {"web", "qq"}, {"webId", "QQ-9"}}, true},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        json fields = way.fields;
        if (way.byPhone) {
            ASSERT_EQ(signedJson("get_register_code", {{"phoneNumber", fields["phoneNumber"]}})["code"], 101);
            fields["verifyCode"] = service.latestSmsCode(fields["phoneNumber"], "register");
        }
        const json reply = way.byPhone ? signedJson("register", fields) : signedDes("register", fields);
        ASSERT_EQ(reply["code"], 101) << reply.dump();
        const std::string session = "ZVTSESSID=" + reply["setCookie"]["value"].get<std::string>();
        const json user = json::parse(decipher(reply["data"]), nullptr, false);
        const std::string id = user.value("id", "");
        const json in = desList("getUserDetailed", {{"do", "in"}}, id, &session);
        ASSERT_EQ(in.size(), 1u);
        EXPECT_EQ(in[0].value("jifen", "") + " " + in[0].value("jifenbao", ""), user.value("jifen", "") + " " + user.value("jifenbao", ""));
        EXPECT_EQ(user.value("jifen", "") + " " + user.value("jifenbao", ""), "100 10");
        const json messages = desList("msg", json::object(), id, &session);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].value("title", ""), "欢迎加入Zavelto");
        EXPECT_EQ(user.value("msg_num", ""), "1");
    }
}

// The demo seeded on other days: its story ends on the day it is seeded, one withdrawal under
// review asked on it, the balances what they are every day; it has the Double Eleven
// announcement and doubled orders only when the activity's days lie within the story.
struct DemoDay {
    const char* day;
    bool ordersInDoubleEleven;  // orders of the story were paid within its days
};
class DemoDayTest : public DemoStoryTest, public ::testing::WithParamInterface<DemoDay> {
protected:
    DemoDayTest() : DemoStoryTest({.demoDay = GetParam().day}) {}
};

TEST_P(DemoDayTest, TheStoryEndsOnTheDayItIsSeeded) {
    const std::string day = GetParam().day;
    const std::string moment = day + " 12:00:00";  // a pinned day is seeded as at its noon
    const json me = userRecord();
    EXPECT_EQ(me.value("money", "") + " " + me.value("jifenbao", "") + " " + me.value("jifen", ""), "88.50 1200 5000");
    Move sum;
    std::string below, latest;
    for (const Move& move : balanceMoves()) {
        sum.cash += move.cash;
        sum.jifenbao += move.jifenbao;
        sum.jifen += move.jifen;
        if (below.empty() && (sum.cash < 0 || sum.jifenbao < 0 || sum.jifen < 0)) below = move.time + " " + move.what;
    }
    EXPECT_EQ(below, "") << "a balance below zero";
    EXPECT_EQ(std::to_string(sum.cash) + " " + std::to_string(sum.jifenbao) + " " + std::to_string(sum.jifen), "8850 120000 500000")
        << "the records add up to the balances, in hundredths";

    auto dated = [&](const std::string& what, const std::string& when) {
        EXPECT_LE(when, moment) << what;
        latest = std::max(latest, when);
    };
    for (const char* list : {"in", "out", "refund"})
        for (const json& row : desList("getUserDetailed", {{"do", list}})) dated(row.dump(), row.value("addtime", ""));
    for (const json& row : desList("msg", json::object())) dated(row.value("title", ""), row.value("addtime", ""));
    for (const json& row : desList("order", {{"do", "taobao"}})) dated(row.dump(), row.value("pay_time", ""));
    for (const json& row : desList("order", {{"do", "mall"}})) dated(row.dump(), row.value("order_time", ""));
    for (const json& row : jsonList("invite_info", 10)) dated(row.dump(), row.value("time", ""));
    EXPECT_EQ(latest.substr(0, 10), day) << "the story ends on its day";
    const json out = desList("getUserDetailed", {{"do", "out"}});
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out[0].value("addtime", "").substr(0, 10), day);
    EXPECT_EQ(out[0].value("status", "") + " " + out[0].value("type", "") + " " + me.value("tbtxstatus", ""), "审核中 1 1");

    // The last 1 November before the moment opens a Double Eleven of the story when the account
    // was open by then.
    std::string opened;
    for (const json& row : desList("getUserDetailed", {{"do", "in"}}))
        if (row.value("title", "") == "余额转入") opened = row.value("addtime", "");
    std::string opens = day.substr(0, 4) + "-11-01 09:00:00";
    if (opens > moment) opens = std::to_string(std::stoi(day.substr(0, 4)) - 1) + "-11-01 09:00:00";
    const bool within = opens >= opened;
    const auto [doubled, usual] = expectOrdersEarnTheirGoodsRates();
    EXPECT_EQ(expectDoubleElevenAnnouncements(), within ? 1u : 0u);
    EXPECT_TRUE(within || doubled == 0) << "orders paid within days of no Double Eleven of the story";
    EXPECT_EQ(doubled > 0, GetParam().ordersInDoubleEleven);
    EXPECT_GT(usual, 0u);
}

// Within a Double Eleven's story, with orders paid in its days; and past it.
INSTANTIATE_TEST_SUITE_P(OtherDays, DemoDayTest, ::testing::Values(DemoDay{"2026-11-20", true}, DemoDay{"2027-03-15", false}),
                         [](const ::testing::TestParamInfo<DemoDay>& info) {
                             std::string name = info.param.day;
                             std::erase(name, '-');
                             return "Day" + name;
                         });

}  // namespace
}  // namespace zvt::test::svc
