// The demo data seeded into a fresh data directory: accounts, products with Chinese titles,
// orders, asset records, messages, exchange goods, malls, and the home configuration.
// Picture addresses start with kRootPlaceholder, which replies replace with the address the
// client reached the service under, so the pictures stay loadable whatever port is bound.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
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
    std::string about = {};  // what it tells of (Entry::about)
};

// The day the demo's story ends on ("YYYY-MM-DD") and the moment its data is seeded
// ("YYYY-MM-DD HH:MM:SS"), in the machine's zone: nothing of the demo is dated after it.
struct DemoDay {
    std::string day;
    std::string moment;
};
// The pinned day, seeded as at its noon; else today, now.
DemoDay demoDayOf(const std::optional<std::string>& pinned);
// Whether a text is a day of the calendar written "YYYY-MM-DD".
bool validDemoDay(const std::string& day);

// A user record with every field the clients read, filled with neutral starting values.
nlohmann::json demoUserRecord(int64_t id, const std::string& userName);
// The accounts and the records the demo data is seeded with, its story ending on the demo's day.
struct DemoSeed {
    std::vector<DemoUser> users;
    std::vector<DemoItem> items;
};
DemoSeed demoSeed(const DemoDay& demo);
// The demo user's invitations (service/Invites.cpp), oldest first: each reward a friend brought,
// which the rewards list, the friends' history and the income list all tell. The first friend
// registered on `firstRegistration` ("YYYY-MM-DD").
struct DemoInviteReward {
    std::string people;  // "好友3"
    std::string type;    // "注册奖励" on the day the friend registered, or "购物奖励"
    int yuan;            // whole yuan, as the friends' history shows awards
    std::string time;    // "2026-09-06 11:51:00"
};
std::vector<DemoInviteReward> demoInviteRewards(const std::string& firstRegistration);
// What the demo user's history (service/DemoHistory.cpp) leaves: the balances and states of its
// user record, and its orders, coupons, records, site messages and invitations.
struct DemoAccount {
    nlohmann::json fields;
    std::vector<DemoItem> items;
};
DemoAccount demoHistory(int64_t uid, const DemoDay& demo);
// The history of an account that has only been opened with a balance (cents, 集分宝, Velmo),
// when the demo user's was.
DemoAccount demoOpenedAccount(int64_t uid, int64_t cash, int64_t jifenbao, int64_t jifen, const DemoDay& demo);
// The history of an account that has only registered, three days before the demo's day: what a
// registration leaves (its welcome red packet, the record and the message of it).
DemoAccount demoRegisteredAccount(int64_t uid, const DemoDay& demo);
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
