// Registration: by phone number on the JSON interface, after an SMS code (purpose "register"),
// and by user name (or e-mail) on the enciphered interface. Either may bind a partner account
// ("web", "webId") that the partner login did not know; both start the new user's session. A new
// account is credited its welcome red packet (100 Velmo and 10 集分宝) with the income record
// and the welcome message every account's story begins with (service/Ledger.h).

#include <string>

#include "service/Ledger.h"
#include "service/Operations.h"
#include "service/Service.h"

namespace zvt::service {

Reply Service::opRegisterCode(Incoming& in) {
    std::string phone = text(in.fields, "phoneNumber");
    if (!validPhone(phone)) return refuse(202, "手机号格式不正确");
    // The registration that follows refuses a number any account holds as a login key (its
    // phone, user name or e-mail); a code for it would only lead there.
    if (store_.loginKeyHolder(phone, 0)) return refuse(202, "该手机号已注册");
    sendSmsCode(phone, "register");
    return ok(nullptr, "验证码已发送");
}

Reply Service::opRegisterPhone(Incoming& in) {
    std::string phone = text(in.fields, "phoneNumber");
    std::string password = text(in.fields, "password");
    std::string web = text(in.fields, "web"), webId = text(in.fields, "webId");
    if (!validPhone(phone)) return refuse(202, "手机号格式不正确");
    if (store_.userByPhone(phone) || store_.userByLogin(phone))
        return refuse(202, "该手机号已注册");
    if (password.size() < 6) return refuse(202, "密码至少6位");
    if (!web.empty() && store_.userByPartner(web, webId)) return refuse(202, "该账号已绑定");
    if (auto wrong =
            codeRefusal(store_.takeCode("sms", phone, "register", text(in.fields, "verifyCode")))) {
        // The registration form tells a wrong or spent code apart by 304: it stops its
        // count-down so that a new code can be asked for at once.
        wrong->body["code"] = 304;
        return *wrong;
    }
    json user = store_.createUser(phone, password, {{"mobile", phone}, {"phoneNumber", phone}});
    if (!web.empty()) store_.bindPartner(std::stoll(user["id"].get<std::string>()), web, webId);
    post(store_, user, registrationPosting(dayAndTime(clockSeconds())));
    return sessionReply(user, in, {{"msg", "注册成功"}});
}

Reply Service::opRegisterName(Incoming& in) {
    std::string name = text(in.fields, "userName"), password = text(in.fields, "password");
    std::string web = text(in.fields, "web"), webId = text(in.fields, "webId");
    if (name.empty()) return refuse(202, "用户名不能为空");
    if (password.size() < 6) return refuse(202, "密码至少6位");
    if (store_.userByLogin(name)) return refuse(202, "用户名已存在");
    if (!web.empty() && store_.userByPartner(web, webId)) return refuse(202, "该账号已绑定");
    json extra = json::object();
    if (name.find('@') != std::string::npos) extra["email"] = name;
    json user = store_.createUser(name, password, extra);
    if (!web.empty()) store_.bindPartner(std::stoll(user["id"].get<std::string>()), web, webId);
    post(store_, user, registrationPosting(dayAndTime(clockSeconds())));
    return sessionReply(user, in, {{"msg", "注册成功"}});
}

}  // namespace zvt::service
