// The mall family: the partner-mall categories ("mall_type", as [cid, title] pairs) and the
// malls of a category ("mall", each with its id, name, logo and highest rebate as the bare
// rate). How many categories are answered is a test setting ("mall_categories"); the mall
// search and the mall redirect look through the malls of every category.
#include <string>
#include <vector>

#include "service/Operations.h"
#include "service/Service.h"

namespace zvt::service {

namespace {

using json = nlohmann::json;

// A category entry's id as a number; nothing for entries that are not [cid, title].
std::optional<int64_t> categoryId(const json& entry) {
    if (!entry.is_array() || entry.empty()) return std::nullopt;
    const json& cid = entry[0];
    if (cid.is_number_integer()) return cid.get<int64_t>();
    return cid.is_string() ? integer(cid.get<std::string>()) : std::nullopt;
}

}  // namespace

Reply Service::opMallType(Incoming&) {
    int shown = 5;
    {
        std::lock_guard lock(configMutex_);
        shown = config_.mallCategories;
    }
    json categories = json::array();
    for (const auto& entry : store_.items("mall_type", 0)) {
        if (static_cast<int>(categories.size()) >= shown) break;
        categories.push_back(entry);
    }
    return ok(std::move(categories));
}

Reply Service::opMall(Incoming& in) {
    return ok(json(store_.items("mall", intOr(in.fields, "cid", 0))));
}

std::vector<json> Service::everyMall() {
    std::vector<json> malls;
    for (const auto& entry : store_.items("mall_type", 0)) {
        auto cid = categoryId(entry);
        if (!cid) continue;
        for (auto& mall : store_.items("mall", *cid)) malls.push_back(std::move(mall));
    }
    return malls;
}

}  // namespace zvt::service
