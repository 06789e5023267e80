// The user's own record: reading it, the profile's e-mail and QQ, the phone number confirmed by
// an SMS code (purpose "binding" in the outbox), the Alipay account confirmed by the login
// password, and the avatar, uploaded as a PNG in a multipart form, kept under the data
// directory and served under "/uploads/". The phone number and the e-mail are login keys: one
// that another account holds in any of its keys is refused.

#include <fstream>
#include <string>

#include "service/Crypto.h"
#include "service/DemoData.h"
#include "service/Operations.h"
#include "service/Service.h"

namespace zvt::service {

std::optional<Reply> takenLoginKey(Store& store, const json& user, const char* field, const std::string& key,
                                   const char* refusal) {
    // A key the record holds already is not taken anew: an account of a data directory that
    // already holds a duplicate still saves its profile.
    if (key.empty() || key == text(user, field)) return std::nullopt;
    if (!store.loginKeyHolder(key, std::stoll(text(user, "id")))) return std::nullopt;
    return refuse(202, refusal);
}

Reply Service::opBindingCode(Incoming& in) {
    std::string phone = text(in.fields, "phoneNumber");
    if (!validPhone(phone)) return refuse(202, "手机号格式不正确");
    // As the binding that follows: refused when another account holds the number as any of
    // its login keys. The caller's own account (its session's) may hold it already.
    if (store_.loginKeyHolder(phone, in.sessionUser.value_or(0))) return refuse(202, "该手机号已被绑定");
    sendSmsCode(phone, "binding");
    return ok(nullptr, "验证码已发送");
}

Reply Service::opBindingPhone(Incoming& in) {
    auto user = userOf(in, "uid");
    if (!user) return refuse(201, "用户不存在");
    std::string phone = text(in.fields, "phoneNumber");
    if (!validPhone(phone)) return refuse(202, "手机号格式不正确");
    // Another account may have taken the number since the code was sent; the code is kept.
    if (auto taken = takenLoginKey(store_, *user, "phoneNumber", phone, "该手机号已被绑定")) return *taken;
    if (auto wrong =
            codeRefusal(store_.takeCode("sms", phone, "binding", text(in.fields, "verifyCode")))) {
        return *wrong;
    }
    (*user)["phoneNumber"] = phone;
    (*user)["mobile"] = phone;
    store_.saveUser(*user);
    return ok(nullptr, "绑定成功");
}

Reply Service::opUpdateUserInfo(Incoming& in) {
    auto user = userOf(in);
    if (!user) return refuse(201, "用户不存在");
    std::string email = text(in.fields, "email");
    if (!email.empty() && email.find('@') == std::string::npos)
        return refuse(202, "邮箱格式不正确");
    if (auto taken = takenLoginKey(store_, *user, "email", email, "该邮箱已被绑定")) return *taken;
    if (in.fields.contains("qq")) (*user)["qq"] = text(in.fields, "qq");
    if (in.fields.contains("email")) (*user)["email"] = email;
    store_.saveUser(*user);
    return ok(withCounts(store_, *user), "保存成功");
}

Reply Service::opUpdateAlipay(Incoming& in) {
    auto user = userOf(in);
    if (!user) return refuse(201, "用户不存在");
    if (!store_.checkPassword(std::stoll((*user)["id"].get<std::string>()),
                              text(in.fields, "password"))) {
        return refuse(202, "登录密码错误");
    }
    std::string alipay = text(in.fields, "alipay"), realname = text(in.fields, "realname");
    if (alipay.empty() || realname.empty()) return refuse(202, "支付宝账号和姓名不能为空");
    (*user)["alipay"] = alipay;
    (*user)["realname"] = realname;
    store_.saveUser(*user);
    return ok(withCounts(store_, *user), "绑定成功");
}

Reply Service::opUserInfoMy(Incoming& in) {
    auto user = userOf(in);
    if (!user) return refuse(201, "用户不存在");
    return ok(withCounts(store_, *user));
}

Reply Service::opAvatar(Incoming& in) {
    auto user = userOf(in);
    if (!user) return refuse(201, "用户不存在");
    auto pic = in.fileBytes.find("pic_data");
    if (pic == in.fileBytes.end() || pic->second.empty()) return refuse(202, "没有上传图片");
    if (pic->second.rfind("\x89PNG\r\n\x1a\n", 0) != 0) return refuse(202, "图片格式不正确");
    std::string id = (*user)["id"].get<std::string>();
    std::string name = "avatar_" + id + "_" + randomHex(4) + ".png";
    {
        std::ofstream out(dataDir_ + "/uploads/" + name, std::ios::binary);
        out.write(pic->second.data(), static_cast<std::streamsize>(pic->second.size()));
        if (!out) return refuse(0, "保存图片失败");
    }
    std::string url = std::string(kRootPlaceholder) + "/uploads/" + name;
    (*user)["avatar"] = url;
    store_.saveUser(*user);
    return ok({{"avatar", url}}, "上传成功");
}

}  // namespace zvt::service
