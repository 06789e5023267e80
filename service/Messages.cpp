// Site messages: the signed-in user's messages, ten to a page, newest first (other families
// file theirs too: an exchange order leaves one; the demo user's are its history's,
// service/DemoHistory.cpp).

#include <string>

#include "service/Operations.h"
#include "service/Service.h"

namespace zvt::service {

Reply Service::opMessages(Incoming& in) {
    auto user = userOf(in);
    if (!user) return refuse(201, "用户不存在");
    auto rows = store_.items("message", std::stoll((*user)["id"].get<std::string>()));
    Reply r = ok(nullptr);
    r.body["data"] = pageJson(Store::page(rows, intOr(in.fields, "number", 1), 10), r);
    return r;
}

}  // namespace zvt::service
