// The signed-in user's own changes on the enciphered interface: the password, after the old one
// is confirmed, and the profile fields, where balances, service state and what has an operation
// of its own with a check are left alone.

#include <algorithm>
#include <string>
#include <vector>

#include "service/Operations.h"
#include "service/Service.h"

namespace zvt::service {

namespace {

// Fields the profile update leaves alone: balances and state kept by the service, and what has
// an operation of its own with a check (the Alipay account needs the password, the phone
// number an SMS code).
const std::vector<std::string> kProtectedUserKeys = {
    "id",          "money",      "jifen",   "jifenbao",    "yitixian", "tbyitixian",
    "txstatus",    "tbtxstatus", "level",   "ms_status",   "msg_num",  "inviteCode",
    "show_coupon", "signtime",   "tjr",     "avatar",      "alipay",   "realname",
    "phoneNumber", "mobile"};

}  // namespace

Reply Service::opUserInfoPwd(Incoming& in) {
    auto user = userOf(in);
    if (!user) return refuse(201, "用户不存在");
    int64_t id = std::stoll((*user)["id"].get<std::string>());
    if (!store_.checkPassword(id, text(in.fields, "old_pwd"))) return refuse(202, "原密码错误");
    std::string pwd = text(in.fields, "ddpwd");
    if (pwd.size() < 6 || pwd != text(in.fields, "pwd_confirm")) {
        // Answered, but not changed: the client reads "data" 1 as the only success.
        Reply r = ok(0, "两次输入的密码不一致或过短");
        return r;
    }
    store_.setPassword(id, pwd);
    return ok(1, "密码修改成功");
}

Reply Service::opUserInfoUpdate(Incoming& in) {
    auto user = userOf(in);
    if (!user) return refuse(201, "用户不存在");
    // The e-mail is a login key: not one another account holds.
    if (user->contains("email")) {
        if (auto taken = takenLoginKey(store_, *user, "email", text(in.fields, "email"), "该邮箱已被绑定"))
            return *taken;
    }
    for (auto& [k, v] : in.fields.items()) {
        if (k == "code" || k == "time") continue;
        if (std::find(kProtectedUserKeys.begin(), kProtectedUserKeys.end(), k) !=
            kProtectedUserKeys.end())
            continue;
        if (!user->contains(k)) continue;  // only fields of the profile
        (*user)[k] = text(in.fields, k.c_str());
    }
    store_.saveUser(*user);
    return ok(withCounts(store_, *user), "保存成功");
}

}  // namespace zvt::service
