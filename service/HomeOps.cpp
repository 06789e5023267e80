// The operations of the home screen and the product store: the configuration the home header
// is built from (with the variants tests switch to) and the product lists by sort type,
// category and page.

#include <algorithm>
#include <array>
#include <mutex>

#include "service/DemoData.h"
#include "service/Operations.h"

namespace zvt::service {

namespace {

const std::array<const char*, 5> kConfigNames = {"full", "partial", "empty", "ads", "ads_missing"};

// The configuration of the given name, built from the demo one.
json iosConfigNamed(const std::string& name) {
    json config = demoIosConfig();
    if (name == "partial") {
        // Some lists missing, empty or of the wrong kind; no registration method; an advert
        // record that is no record.
        config["banner"] = json::array();
        config.erase("middleBanner");
        config["fixedBanner"] = nullptr;
        config.erase("regMethod");
        config["goodAds"] = 1;
        config["signPage"] = json::array();
    } else if (name == "empty") {
        json empty = {{"code", 101}};
        for (const char* list : {"banner", "nav", "middleBanner", "blockBanner", "fixedBanner"})
            empty[list] = json::array();
        return empty;
    } else if (name == "ads" || name == "ads_missing") {
        config["goodAds"]["is_Show"] = 1;
        if (name == "ads_missing") config["goodAds"]["imag_URL"] = std::string(kRootPlaceholder) + "/images/missing_ad.png";
    }
    return config;
}

}  // namespace

bool knownIosConfig(const std::string& name) {
    return std::find(kConfigNames.begin(), kConfigNames.end(), name) != kConfigNames.end();
}

Reply Service::opIosConfig(Incoming&) {
    std::string name;
    {
        std::lock_guard lock(configMutex_);
        name = config_.iosConfig;
    }
    Reply r;
    r.body = iosConfigNamed(name);
    return r;
}

// "type" 0 (or none) and "cid" 0 (or none) take every product; pages of "ps" rows.
Reply Service::opGoods(Incoming& in) {
    std::string type = text(in.fields, "type");
    std::string cid = text(in.fields, "cid");
    std::vector<json> rows;
    for (auto& p : store_.items("product", 0)) {
        if (!type.empty() && type != "0" && p["type"] != type) continue;
        if (!cid.empty() && cid != "0" && p["cid"] != cid) continue;
        rows.push_back(p);
    }
    Reply r = ok();
    r.body["data"] = pageJson(Store::page(rows, intOr(in.fields, "number", 1), intOr(in.fields, "ps", 12)), r);
    return r;
}

}  // namespace zvt::service
