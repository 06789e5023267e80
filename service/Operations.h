// What the service's operation families share: reading request fields, writing balances and
// making the two kinds of reply. Service.cpp holds the definitions; each family of operations
// that lives in a file of its own (Checkin.cpp...) includes this header.
#pragma once

#include <cstdint>
#include <ctime>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/Service.h"
#include "service/Store.h"

namespace zvt::service {

using json = nlohmann::json;

// Compact JSON text; invalid UTF-8 replaced.
std::string dump(const json& j);
// A field as text: texts as they are, numbers by their digits, anything else empty.
std::string text(const json& fields, const char* key);
// The whole text as a decimal integer, or nothing.
std::optional<int64_t> integer(const std::string& s);
int64_t intOr(const json& fields, const char* key, int64_t fallback);
// Balances are kept as the texts the clients show: integers or money with two decimals.
int64_t cents(const std::string& money);
std::string moneyText(int64_t cents);
// The whole part of a count or balance written as text ("12.50" is 12); nothing when the text
// does not start with a number or goes on with anything but a decimal part.
std::optional<int64_t> wholePart(const std::string& s);
// "YYYY-MM-DD HH:MM:SS" of a moment (Unix seconds) in the machine's zone ($TZ, else the system's):
// the records' "addtime". New records take the moment from the service's clock. The application
// counts its days in the zone of the device it runs on, which run.sh's service shares.
std::string dayAndTime(int64_t unixSeconds);

// Text for an HTML page: &, <, >, " and ' as entities.
std::string htmlEscaped(const std::string& s);
// A query value: everything but letters, digits and -_.~ percent-encoded.
std::string queryEscaped(const std::string& s);

// The fields of a target's query, decoded ("+" a space, "%XX" a byte); the last of a repeated one.
std::map<std::string, std::string> queryOf(const std::string& target);
// Whether a JSON text nests arrays and objects no deeper than `limit` and holds at most
// `maxValues` values: looked at before a text is parsed (Service.cpp).
bool nestingWithin(std::string_view text, int limit, size_t maxValues = kMaxBodyFields);
// A reply of status and plain text.
HttpResponse plainResponse(int status, const std::string& text);
// The control interface's replies (Control.cpp): JSON, and a refusal {"ok": false, "error"}.
HttpResponse controlAnswer(const json& body, int status = 200);
HttpResponse controlRefusal(const std::string& error, int status = 400);

// A small HTML page with the title as its heading.
Reply html(const std::string& title, const std::string& body);
// The refusal of a verification code that was not accepted; none for an accepted one.
std::optional<Reply> codeRefusal(CodeCheck check);
// A mainland mobile number: 11 digits starting with 1.
bool validPhone(const std::string& p);
// The refusal (202, `refusal`) of a login key (phone number or e-mail) that `user` is about to
// store in `field` while another account holds it as its user name, phone number or e-mail
// (UserInfo.cpp); none when the key is empty or the one the field already holds. Called inside
// the operation's write transaction.
std::optional<Reply> takenLoginKey(Store& store, const json& user, const char* field, const std::string& key,
                                   const char* refusal);

// A user's coupons as the order family judges them (Orders.cpp), in the order filed: the coupon,
// the number its order's list shows ("trade_id"; empty when the order is gone) and whether
// use_coupon takes it now (unused, and its order still takes a coupon). What get_coupon offers
// and the coupon page counts usable.
struct CouponState {
    json coupon;
    std::string orderNumber;
    bool usable = false;
};
std::vector<CouponState> couponStates(Store& store, int64_t uid);

// An invited friend's award in cents, whether it was stored as a number or as a text ("15.8");
// anything else counts as nothing (Invites.cpp).
int64_t awardCents(const json& award);

// The user record as the service reports it: its counts ("msg_num", the messages filed for the
// user) counted from what the store holds, never the figure the record was last saved with
// (Messages.cpp).
json withCounts(Store& store, json user);

// What a check-in credits (Checkin.cpp), and the text of the income record it files: the demo
// data's check-in records (DemoHistory.cpp) read the same.
inline constexpr int64_t kSignJifen = 10;
inline constexpr int64_t kSignJifenbao = 1;
inline constexpr const char* kCheckinRecordText = "每日签到，获得 10 Velmo 和 1 个集分宝。";

// The Double Eleven activity (activity page 1) runs every year from 1 to 11 November, days
// counted in the machine's zone: a Taobao order paid within it earns twice its usual rebate.
// `when` is a record's "YYYY-MM-DD HH:MM:SS".
inline bool inDoubleEleven(const std::string& when) {
    return when.size() >= 10 && when.compare(5, 2, "11") == 0 && when.compare(8, 2, "11") <= 0;
}

// {"code": 101, "msg", "data"} (no "data" for null).
Reply ok(json data = nullptr, const std::string& msg = "成功");
// {"code", "msg"}.
Reply refuse(int code, const std::string& msg);
// The page's rows as "data"; sets the reply's "end" (1 on the last page, else 0).
json pageJson(const Page& p, Reply& r);

// A page of the service's site (Pages.cpp): the title as heading, the body's HTML under it.
Reply pageDocument(const std::string& title, const std::string& body);

// The offer-wall provider's task page, which the service plays (EarnMoney.cpp).
inline constexpr const char* kOfferWallPage = "/wx/ios/lists.html";

// Whether `name` is one of the configurations get_ios_config can answer (HomeOps.cpp).
bool knownIosConfig(const std::string& name);

}  // namespace zvt::service
