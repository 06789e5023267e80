// Signing in: the password login (by user name, phone number or e-mail), the partner login
// ("qq", "tb"), which tells a partner account not registered yet by "firstLogin" 1 so that the
// client registers it, and the ways back in when the password is forgotten: an SMS code to the
// account's phone number (purpose "forgot") that resets the password, or a mail to the
// account's e-mail with a reset link under the service's public address.

#include <string>

#include "service/Crypto.h"
#include "service/Operations.h"
#include "service/Service.h"

namespace zvt::service {

Reply Service::opLogin(Incoming& in) {
    auto user = store_.userByLogin(text(in.fields, "userName"));
    if (!user || !store_.checkPassword(std::stoll((*user)["id"].get<std::string>()),
                                       text(in.fields, "password"))) {
        return refuse(202, "用户名或密码错误");
    }
    return sessionReply(*user, in, json::object());
}

Reply Service::opOAuthLogin(Incoming& in) {
    std::string web = text(in.fields, "web"), webId = text(in.fields, "webId");
    if ((web != "qq" && web != "tb") || webId.empty()) return refuse(202, "不支持的登录方式");
    auto user = store_.userByPartner(web, webId);
    if (!user) {
        // Not registered yet: the client goes on to register the partner account.
        Reply r = ok(nullptr, "首次登录");
        r.body["firstLogin"] = 1;
        return r;
    }
    return sessionReply(*user, in, {{"firstLogin", 0}});
}

Reply Service::opForgotCode(Incoming& in) {
    std::string phone = text(in.fields, "phoneNumber");
    if (!validPhone(phone)) return refuse(202, "手机号格式不正确");
    if (!store_.userByPhone(phone)) return refuse(202, "该手机号未注册");
    sendSmsCode(phone, "forgot");
    return ok(nullptr, "验证码已发送");
}

Reply Service::opForgotReset(Incoming& in) {
    std::string phone = text(in.fields, "phoneNumber");
    std::string password = text(in.fields, "password");
    auto user = store_.userByPhone(phone);
    if (!user) return refuse(202, "该手机号未注册");
    if (password.size() < 6) return refuse(202, "密码至少6位");
    if (auto wrong =
            codeRefusal(store_.takeCode("sms", phone, "forgot", text(in.fields, "verifyCode")))) {
        return *wrong;
    }
    store_.setPassword(std::stoll((*user)["id"].get<std::string>()), password);
    return ok(nullptr, "密码已重置");
}

Reply Service::opGetPwd(Incoming& in) {
    std::string email = text(in.fields, "email");
    auto user = store_.userByEmail(email);
    if (!user) return refuse(202, "该邮箱未注册");
    std::string code = randomHex(8);
    store_.addOutbox(
        "mail", email, "password", code,
        "您好，请打开以下链接重置Zavelto密码：" + publicRoot_ + "/wap/reset.php?code=" + code);
    std::string domain = email.substr(email.find('@') + 1);
    return ok({{"email_web", "http://mail." + domain}}, "邮件已发送");
}

}  // namespace zvt::service
