#include "app/api/ZVTLoginSession.h"

#include "app/core/AppDelegate.h"

namespace {

ZVTSessionHooks& currentHooks() {
  static ZVTSessionHooks hooks = ZVTLoginSession::defaultHooks();
  return hooks;
}

}  // namespace

ZVTSessionHooks ZVTLoginSession::defaultHooks() {
  ZVTSessionHooks hooks;
  hooks.install = [](const ZVTSessionInstall& install) {
    auto delegate = AppDelegate::shared();
    delegate->setIsLogin(true);
    delegate->setUserInfoDictionary(install.record);
    id userId = install.record ? install.record->objectForKey("id"_ns) : nullptr;
    ZVTLoginSession::setAlias(userId ? NSString::stringWithFormat("%@", userId) : NSString::string(), install.client);
  };
  hooks.failLogin = [](ZVTSessionClient) {
    auto delegate = AppDelegate::shared();
    delegate->setIsLogin(false);
    delegate->setUserInfoDictionary(nullptr);
    ZVTLoginSession::setAlias(NSString::string(), std::nullopt);
  };
  hooks.setAlias = [](const std::shared_ptr<NSString>&, std::optional<ZVTSessionClient>) {};
  hooks.registrationID = [] { return NSString::string(); };
  return hooks;
}

void ZVTLoginSession::setHooks(ZVTSessionHooks hooks) {
  auto defaults = defaultHooks();
  if (!hooks.install) hooks.install = defaults.install;
  if (!hooks.failLogin) hooks.failLogin = defaults.failLogin;
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

void ZVTLoginSession::setAlias(const std::shared_ptr<NSString>& alias, std::optional<ZVTSessionClient> callback) {
  auto step = currentHooks().setAlias;
  step(alias, callback);
}

std::shared_ptr<NSString> ZVTLoginSession::registrationID() {
  auto step = currentHooks().registrationID;
  return step();
}
