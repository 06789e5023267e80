// The daily check-in: "sign" credits Velmo and 集分宝 once a day and may hand out an advert;
// "shareAwardInfo" tells what sharing would earn. Days are counted on the service's clock
// (the fixed time stamp a test sets, else the system's) in the machine's zone ($TZ honoured),
// the zone the application's check-in calendar counts in on the same machine: a day the
// calendar offers is a day the service takes, and a record is stamped on the day it starred.

#include <algorithm>
#include <ctime>
#include <string>

#include "service/DemoData.h"
#include "service/Ledger.h"
#include "service/Operations.h"
#include "service/Service.h"

namespace zvt::service {

namespace {

// The day of a moment in the machine's zone, as the records' stamps write it.
std::string localDay(int64_t unixSeconds) { return dayAndTime(unixSeconds).substr(0, 10); }

// The advert a successful check-in brings: a generated picture and an activity page.
json signAdvert() {
    const std::string root = kRootPlaceholder;
    return {{"pic", root + "/images/adsign_520x520.png"},
            {"link", root + "/wap/activity.php?id=8"},
            {"local", "0"},
            {"name", "签到有礼"}};
}

}  // namespace

Reply Service::opSign(Incoming& in) {
    auto user = userOf(in);
    if (!user) return refuse(201, "用户不存在");
    const int64_t now = clockSeconds();
    const std::string today = localDay(now);
    auto last = integer(text(*user, "signtime")).value_or(0);
    if (last > 0 && localDay(last) == today) return refuse(251, "您已签到了");
    // Credited as the demo's check-ins are (a balance with decimals keeps them), its record filed.
    (*user)["signtime"] = std::to_string(now);
    post(store_, *user, checkinPosting(dayAndTime(now)));
    Reply r = ok({{"jifen", (*user)["jifen"]},
                  {"jifenbao", (*user)["jifenbao"]},
                  {"addJifen", std::to_string(kSignJifen)},
                  {"addJifenbao", std::to_string(kSignJifenbao)}},
                 "签到成功");
    r.body["popUpAds"] = signAdvert();
    return r;
}

Reply Service::opShareAward(Incoming& in) {
    auto user = userOf(in);
    if (!user) return refuse(201, "用户不存在");
    return ok({{"award", "5"}, {"jifen", (*user)["jifen"]}});
}

}  // namespace zvt::service
