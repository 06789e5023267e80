// What happens to an account's money, as its lists tell it. Each happening (an account opened with
// a balance, a registration's welcome credit, a check-in, an exchange, a withdrawal and how it
// ended, a rebate, a refund, an invitation reward) moves the balances by what the record it files
// says and sends the site message of its kind. The demo history (DemoHistory.cpp) and the
// operations make them with these same functions, so that a new account's lists read as the demo
// user's, and each balance is what its records add up to: the income and refund records with
// their signs, less the withdrawals not returned.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "service/Store.h"

namespace zvt::service {

// What a registration credits (the welcome red packet shows it).
inline constexpr int64_t kWelcomeJifen = 100;
inline constexpr int64_t kWelcomeJifenbao = 10;

// A site message before it is filed: its content is HTML, a heading that is its title, the
// paragraph, and a link to the page on its topic when it has one.
struct LedgerMessage {
    std::string time, title, paragraph, page, linkText;
    // The record of the message list, under that id.
    nlohmann::json record(int64_t id) const;
};

// One happening: what it moves, the record it files (on top of `list`: "asset" income, "refund",
// "withdraw"; none when empty) and the message it sends, both filed about the thing whose news
// it tells (Entry::about), if any: a later happening of that thing finds them by it.
struct Posting {
    int64_t cash = 0, jifenbao = 0, jifen = 0;  // cents, 集分宝, Velmo
    std::string list;
    nlohmann::json record;
    std::optional<LedgerMessage> message;
    std::string about;
};

// What the news of an order (its record "id") or of a withdrawal (its place among the
// account's withdrawals, the first 1) is filed about.
std::string taobaoOrderAbout(const nlohmann::json& order);
std::string mallOrderAbout(const nlohmann::json& order);
std::string withdrawalAbout(int64_t place);

// The welcome every new account is sent (a registration, an opened account).
LedgerMessage welcomeMessage(const std::string& when);
// An account opened with the balance of an earlier one; its text names what it brings, and only that.
Posting openingPosting(int64_t cash, int64_t jifenbao, int64_t jifen, const std::string& when);
// A registration's welcome credit.
Posting registrationPosting(const std::string& when);
Posting checkinPosting(const std::string& when);
// An exchange order of `num` of a good, paid `cost` in 集分宝 (`points`) or Velmo.
Posting exchangePosting(const std::string& title, int64_t num, bool points, int64_t cost, const std::string& when);
// A withdrawal asked, the account's `place`-th: its record under review, the amount off its
// balance (cents, or whole 集分宝 for `points`), and the message of its acceptance.
Posting withdrawalPosting(const std::string& account, bool points, int64_t amount, const std::string& when, int64_t place);
// The withdrawal an account asks next: its place.
int64_t nextWithdrawal(Store& store, int64_t uid);
// The message that tells a withdrawal's last news, by its record's status: taken (审核中), paid
// out (已到账) or returned (kReturnedStatus).
LedgerMessage withdrawalNews(const nlohmann::json& withdrawal, const std::string& when);
inline constexpr const char* kReturnedStatus = "提现失败，已退回";
// A withdrawal's amount (cents, or whole 集分宝) and whether it is of 集分宝.
int64_t withdrawalAmount(const nlohmann::json& withdrawal);
bool withdrawalOfPoints(const nlohmann::json& withdrawal);
// A withdrawal under review (filed about `about`) paid out or returned: its record's status
// changed; a return gives the amount back; either way no record, and the news.
Posting endWithdrawal(nlohmann::json& withdrawal, const std::string& about, bool paidOut, const std::string& when);
inline constexpr const char* kPaidOutStatus = "已到账";

// A Taobao order's goods earn the goods' own rate: the product's rebate over its promotion price,
// in 集分宝 (one a fen) of what was paid; paid within the Double Eleven days, twice that.
int64_t taobaoRebate(const nlohmann::json& goods, int64_t payCents, const std::string& paidAt);
// A Taobao order of the goods, paid their promotion price at `paidAt` (made 10 minutes before),
// its coupon chance open or not. Its "coupons" is counted when the list is read.
nlohmann::json taobaoOrder(const std::string& id, const std::string& tradeId, const nlohmann::json& goods,
                           const std::string& createdAt, const std::string& paidAt, int platform, bool couponChance);
// A rebate coupon of an order: its award by its type (1, 2, 3: 5, 8, 10 集分宝).
const char* couponAward(int type);
nlohmann::json couponOf(int64_t id, int type, const std::string& order);
// The rebate of a Taobao order: its "jifenbao" and its coupon's award.
Posting rebatePosting(const nlohmann::json& order, const std::string& when);
// The order's rebate settled: it takes no coupon any more.
Posting settleRebate(nlohmann::json& order, const std::string& when);
// The rebate of a settled mall order: its "fxje" in cash and its "jifen" in Velmo.
Posting mallRebatePosting(const nlohmann::json& order, const std::string& when);
// A Taobao order refunded: the `points` its rebate credited taken back. The order shows what it
// still earns: nothing, its coupon's award gone with the rebate.
Posting refund(nlohmann::json& order, int64_t points, const std::string& when);
// Whether a record's text is of that order (its number as the order list shows it).
bool citesOrder(const nlohmann::json& record, const std::string& number);
// An invited friend's registration ("注册奖励") or first purchase ("购物奖励"): whole yuan in cash.
Posting rewardPosting(const std::string& people, const std::string& type, int64_t yuan, const std::string& when);

// A balance text moved by whole units (集分宝, Velmo), keeping its decimals: "12.50" and 1 is
// "13.50", "7" and 10 is "17". Anything that is no number counts as 0.
std::string movedWhole(const std::string& balance, int64_t units);
// Moves the user record's balances by what the posting moves (not saved).
void credit(nlohmann::json& user, const Posting& posting);
// Files the posting's record on top of its list and its message, under a message id no other
// message of any account has.
void file(Store& store, int64_t uid, const Posting& posting);
// Credits, saves the user record (with whatever else the caller changed in it) and files: the
// whole of a posting, inside the caller's transaction.
void post(Store& store, nlohmann::json& user, const Posting& posting);
// As post, for a posting that tells the later news of a thing (a withdrawal, an order): the
// message that told its earlier news, filed about the same thing, gives way to the posting's,
// which comes on top. Messages of other things stay, whatever they say and whenever.
void refile(Store& store, nlohmann::json& user, const Posting& posting);

}  // namespace zvt::service
