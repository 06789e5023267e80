// Site messages: the signed-in user's messages, ten to a page, newest first (the families that
// move money file theirs through service/Ledger.h, as the demo user's history does), and their
// number as the user's record reports it.

#include <string>

#include "service/Operations.h"
#include "service/Service.h"

namespace zvt::service {

json withCounts(Store& store, json user) {
    if (auto id = integer(text(user, "id"))) user["msg_num"] = std::to_string(store.count("message", *id));
    return user;
}

Reply Service::opMessages(Incoming& in) {
    auto user = userOf(in);
    if (!user) return refuse(201, "用户不存在");
    auto rows = store_.items("message", std::stoll((*user)["id"].get<std::string>()));
    Reply r = ok(nullptr);
    r.body["data"] = pageJson(Store::page(rows, intOr(in.fields, "number", 1), 10), r);
    return r;
}

}  // namespace zvt::service
