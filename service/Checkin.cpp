// The daily check-in: "sign" credits Velmo and 集分宝 once a day and may hand out an advert;
// "shareAwardInfo" tells what sharing would earn. Days are counted on the service's clock
// (the fixed time stamp a test sets, else the system's) in China time, UTC+8 all year, so
// that a day does not depend on the zone of the machine the service runs on.

#include <algorithm>
#include <ctime>
#include <string>

#include "service/DemoData.h"
#include "service/Operations.h"
#include "service/Service.h"

namespace zvt::service {

namespace {

constexpr int64_t kChinaOffsetSeconds = 8 * 3600;

std::string chinaDay(int64_t unixSeconds) {
    std::time_t t = static_cast<std::time_t>(unixSeconds + kChinaOffsetSeconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[16];
    std::strftime(buf, sizeof buf, "%Y-%m-%d", &tm);
    return buf;
}

// A balance text plus whole units, keeping its decimals: "12.50" plus 1 is "13.50", "7" plus
// 10 is "17". Anything that is no number counts as 0.
std::string addWhole(const std::string& balance, int64_t amount) {
    if (balance.find('.') == std::string::npos) {
        return std::to_string(integer(balance).value_or(0) + amount);
    }
    const bool number = !balance.empty() && std::all_of(balance.begin(), balance.end(), [](char c) {
        return (c >= '0' && c <= '9') || c == '.';
    }) && std::count(balance.begin(), balance.end(), '.') == 1;
    return moneyText((number ? cents(balance) : 0) + amount * 100);
}

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
    const std::string today = chinaDay(now);
    auto last = integer(text(*user, "signtime")).value_or(0);
    if (last > 0 && chinaDay(last) == today) return refuse(251, "您已签到了");
    const std::string jifen = addWhole(text(*user, "jifen"), kSignJifen);
    const std::string jifenbao = addWhole(text(*user, "jifenbao"), kSignJifenbao);
    (*user)["jifen"] = jifen;
    (*user)["jifenbao"] = jifenbao;
    (*user)["signtime"] = std::to_string(now);
    store_.saveUser(*user);
    store_.addItem("asset", std::stoll((*user)["id"].get<std::string>()),
                   {{"title", "签到奖励"},
                    {"content", kCheckinRecordText},
                    {"money", "0.00"},
                    {"jifenbao", std::to_string(kSignJifenbao)},
                    {"jifen", std::to_string(kSignJifen)},
                    {"addtime", dayAndTime(now)}});
    Reply r = ok({{"jifen", jifen},
                  {"jifenbao", jifenbao},
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
