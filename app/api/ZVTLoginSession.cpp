#include "app/api/ZVTLoginSession.h"

#include "app/api/APIClient.h"
#include "app/api/ZVTAPIClient.h"
#include "app/api/ZVTServerProtocol.h"
#include "app/core/AppDelegate.h"
#include "app/core/Configuration.h"
#include "app/utilities/ZVTPublicTools.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSPropertyListSerialization.h"
#include "platform/foundation/NSUserDefaults.h"
#include "push/PushService.h"

namespace {

unsigned long& logouts() {
  static unsigned long count = 0;
  return count;
}

ZVTSessionHooks& currentHooks() {
  static ZVTSessionHooks hooks = ZVTLoginSession::defaultHooks();
  return hooks;
}

// The record, the flag and the alias with the operation's client as callback object.
void installRecord(const ZVTSessionInstall& install) {
  auto delegate = AppDelegate::shared();
  delegate->setIsLogin(true);
  delegate->setUserInfoDictionary(install.record);
  id userId = zvt::replyValue(install.record, "id");
  ZVTLoginSession::setAlias(userId ? NSString::stringWithFormat("%@", userId) : NSString::string(), install.client);
}

// The credentials as the defaults can hold them: a value the server sent of another kind (an
// object with a null inside, where a flag or a name belongs) is left out, since the defaults
// refuse the whole entry with an exception.
std::shared_ptr<NSDictionary> storableLoginInfo(const std::shared_ptr<NSDictionary>& loginInfo) {
  auto storable = NSMutableDictionary::dictionary();
  for (const id& key : *loginInfo) {
    id value = loginInfo->objectForKey(key);
    if (zvt::propertyListDeepCopy(value)) storable->setObject(value, key);
  }
  return storable;
}

// Every write goes to disk at once. The credentials come first and the flag last, so that a
// process ended in between never leaves "isLogin" set over the previous user's credentials.
void storeDefaults(const ZVTSessionInstall& install) {
  auto defaults = NSUserDefaults::standardUserDefaults();
  if (install.loginInfo) defaults->setObject(storableLoginInfo(install.loginInfo), "loginInfo"_ns);
  if (install.info) defaults->setObject(install.info, "info"_ns);
  defaults->setBool(AppDelegate::shared()->isLogin(), "isLogin"_ns);
  defaults->synchronize();
}

// The previous session's cookie leaves the store before the new one goes in.
void installCookie(const ZVTSessionInstall& install) {
  if (!install.setCookie) return;
  auto delegate = AppDelegate::shared();
  if (auto previous = delegate->cookieDic()) ZVTPublicTools::deleteCookieWith(previous);
  delegate->setCookieDic(install.setCookie);
  if (auto cookie = delegate->cookieDic()) ZVTPublicTools::setCookieWith(cookie);
}

void welcomeRedpacket(const ZVTSessionInstall& install) {
  auto text = NSString::stringWithFormat("%.1ldVelmo+%.1ld集分宝", static_cast<long>(zvt::integerValueOf(zvt::replyValue(install.record, "jifen"))),
                                         static_cast<long>(zvt::integerValueOf(zvt::replyValue(install.record, "jifenbao"))));
  showRedpacket(ZVTPublicTools::getCurrentVC(), text);
}

PSTagsAliasCallback aliasCallbackOf(std::optional<ZVTSessionClient> client) {
  if (!client) return nullptr;
  if (*client == ZVTSessionClient::APIClient) {
    return [](const id&, int code, const std::shared_ptr<NSSet>& tags, const std::shared_ptr<NSString>& alias) {
      APIClient::tagsAliasCallback(code, tags, alias);
    };
  }
  return [](const id&, int code, const std::shared_ptr<NSSet>& tags, const std::shared_ptr<NSString>& alias) {
    ZVTAPIClient::tagsAliasCallback(code, tags, alias);
  };
}

// What the automatic login does once its login has answered.
void autoLoginFinished(bool installed) {
  if (!installed) {
    ZVTPublicTools::deleteCookiewith(zvt::Configuration::serverRoot());
    return;
  }
  auto center = NSNotificationCenter::defaultCenter();
  if (AppDelegate::shared()->remoteNotification()) center->postNotificationName("remote"_ns, nullptr);
  center->postNotificationName("login"_ns, nullptr);
}

}  // namespace

ZVTSessionHooks ZVTLoginSession::defaultHooks() {
  ZVTSessionHooks hooks;
  hooks.install = [](const ZVTSessionInstall& install) {
    switch (install.operation) {
      case ZVTSessionOperation::passwordLogin:
      case ZVTSessionOperation::partnerLogin:
        installRecord(install);
        storeDefaults(install);
        installCookie(install);
        break;
      case ZVTSessionOperation::registration:
        installRecord(install);
        if (install.welcomeRedpacket) welcomeRedpacket(install);
        storeDefaults(install);
        installCookie(install);
        break;
      case ZVTSessionOperation::phoneRegistration:
        installCookie(install);
        installRecord(install);
        if (install.welcomeRedpacket) welcomeRedpacket(install);
        storeDefaults(install);
        break;
    }
  };
  hooks.failLogin = [](ZVTSessionClient) {
    auto delegate = AppDelegate::shared();
    delegate->setIsLogin(false);
    delegate->setUserInfoDictionary(nullptr);
    ZVTLoginSession::setAlias(NSString::string(), std::nullopt);
  };
  hooks.logout = [] {
    auto delegate = AppDelegate::shared();
    if (auto cookie = delegate->cookieDic()) {
      ZVTPublicTools::deleteCookieWith(cookie);
      delegate->setCookieDic(nullptr);
    }
    delegate->setIsLogin(false);
    delegate->setUserInfoDictionary(nullptr);
    auto defaults = NSUserDefaults::standardUserDefaults();
    defaults->setBool(false, "isLogin"_ns);
    defaults->synchronize();
    ZVTLoginSession::setAlias(NSString::string(), std::nullopt);
  };
  hooks.setAlias = [](const std::shared_ptr<NSString>& alias, std::optional<ZVTSessionClient> callback) {
    PushService::setAlias(alias, aliasCallbackOf(callback), nullptr);
  };
  hooks.registrationID = [] { return PushService::registrationID(); };
  return hooks;
}

void ZVTLoginSession::setHooks(ZVTSessionHooks hooks) {
  auto defaults = defaultHooks();
  if (!hooks.install) hooks.install = defaults.install;
  if (!hooks.failLogin) hooks.failLogin = defaults.failLogin;
  if (!hooks.logout) hooks.logout = defaults.logout;
  if (!hooks.setAlias) hooks.setAlias = defaults.setAlias;
  if (!hooks.registrationID) hooks.registrationID = defaults.registrationID;
  currentHooks() = std::move(hooks);
}

ZVTSessionHooks ZVTLoginSession::hooks() { return currentHooks(); }

void ZVTLoginSession::install(const ZVTSessionInstall& install) {
  auto step = currentHooks().install;
  step(install);
}

void ZVTLoginSession::failLogin(ZVTSessionClient client) {
  auto step = currentHooks().failLogin;
  step(client);
}

void ZVTLoginSession::logout() {
  ++logouts();
  auto step = currentHooks().logout;
  step();
}

void ZVTLoginSession::setAlias(const std::shared_ptr<NSString>& alias, std::optional<ZVTSessionClient> callback) {
  auto step = currentHooks().setAlias;
  step(alias, callback);
}

std::shared_ptr<NSString> ZVTLoginSession::registrationID() {
  auto step = currentHooks().registrationID;
  return step();
}

unsigned long ZVTLoginSession::logoutCount() { return logouts(); }

std::shared_ptr<NSString> ZVTLoginSession::currentUserId() {
  auto delegate = AppDelegate::shared();
  if (!delegate) return nullptr;  // no application (yet, or any more): nobody's session
  id userId = zvt::replyValue(delegate->userInfoDictionary(), "id");
  return userId ? NSString::stringWithFormat("%@", userId) : nullptr;
}

bool ZVTLoginSession::isCurrentUser(const std::shared_ptr<NSString>& userId) {
  auto current = currentUserId();
  if (!userId || !current) return !userId && !current;
  return current->isEqualToString(userId);
}

void ZVTAPIClient::autoLogin() {
  auto defaults = NSUserDefaults::standardUserDefaults();
  if (!defaults->boolForKey("isLogin"_ns)) return;
  auto loginInfo = defaults->dictionaryForKey("loginInfo"_ns);
  id web = zvt::replyValue(loginInfo, "web");
  id webId = zvt::replyValue(loginInfo, "webId");
  if (web && webId) {
    loginThirdWith(NSDictionary::make({{"web"_ns, web}, {"webId"_ns, webId}}),
                   [](const std::shared_ptr<NSDictionary>& info, const std::shared_ptr<NSError>& error) {
                     // Only a reply that installed a session counts: a refusal or a partner
                     // account still to be registered is a failure like the password branch's.
                     bool installed = !error && info && !info->objectForKey("newVer"_ns) && AppDelegate::shared()->isLogin();
                     autoLoginFinished(installed);
                   });
    return;
  }
  id userName = zvt::replyValue(loginInfo, "userName");
  id password = zvt::replyValue(loginInfo, "password");
  if (userName && password) {
    loginWith(NSDictionary::make({{"userName"_ns, userName}, {"password"_ns, password}}),
              [](bool success, const std::shared_ptr<NSString>&) { autoLoginFinished(success); });
  }
}
