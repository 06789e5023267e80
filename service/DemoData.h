// The demo data seeded into a fresh data directory: accounts, products with Chinese titles,
// orders, asset records, messages, exchange goods, malls, and the home configuration.
// Picture addresses start with kRootPlaceholder, which replies replace with the address the
// client reached the service under, so the pictures stay loadable whatever port is bound.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace zvt::service {

inline constexpr const char* kRootPlaceholder = "{root}";

struct DemoUser {
    int64_t id;
    std::string userName;
    std::string password;
    std::string web;
    std::string webId;
    nlohmann::json extra;  // fields over the base record; a null leaves the field out
};

struct DemoItem {
    std::string kind;
    int64_t owner;
    nlohmann::json record;
};

// A user record with every field the clients read, filled with neutral starting values.
nlohmann::json demoUserRecord(int64_t id, const std::string& userName);
std::vector<DemoUser> demoUsers();
std::vector<DemoItem> demoItems();
// The demo user's invitations (service/Invites.cpp), oldest first: each reward a friend brought,
// which the rewards list, the friends' history and the income list all tell.
struct DemoInviteReward {
    std::string people;  // "好友3"
    std::string type;    // "注册奖励" on the day the friend registered, or "购物奖励"
    int yuan;            // whole yuan, as the friends' history shows awards
    std::string time;    // "2026-09-06 11:51:00"
};
std::vector<DemoInviteReward> demoInviteRewards();
// What the demo user's history (service/DemoHistory.cpp) leaves: the balances and states of its
// user record, and its orders, coupons, records, site messages and invitations.
struct DemoAccount {
    nlohmann::json fields;
    std::vector<DemoItem> items;
};
DemoAccount demoHistory(int64_t uid);
// The history of an account that has only been opened with a balance (cents, 集分宝, Velmo).
DemoAccount demoOpenedAccount(int64_t uid, int64_t cash, int64_t jifenbao, int64_t jifen);
// The demo data's calendar: "YYYY-MM-DD" of the day `days` after a day written so.
std::string daysAfter(const std::string& date, int days);
// The exchange store's goods (service/Exchange.cpp), their offers ending around `now` (Unix
// seconds).
std::vector<DemoItem> demoExchangeGoods(int64_t now);

// The products of the store ("get_goods"), made once.
const std::vector<nlohmann::json>& demoProducts();
// The partner mall of that name as the malls lists hold it ("id", "title", "img", "fan").
nlohmann::json demoMall(const std::string& name);

// The goods of the own product search (service/Search.cpp), as its rows: "num_iid", "title",
// "promotion_price", "nick"...
const std::vector<nlohmann::json>& demoSearchGoods();

// Replies of the unsigned configuration reads.
nlohmann::json demoIosConfig();
nlohmann::json demoInvitePage();

}  // namespace zvt::service
