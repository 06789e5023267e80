#pragma once
// The hand-over from the server clients to the login session. The clients read and decode
// the login-type replies (password login, partner login, both registrations); everything that
// installs or resets the session goes through the steps below, in one place:
//
//   install    a successful reply with its decoded user record: the delegate's flag and
//              record, the push alias with the client's callback, the stored "isLogin",
//              "loginInfo" and "info", the site cookie, the welcome red packet;
//   failLogin  a failed login: the delegate's flag and record cleared, the alias cleared;
//   logout     the user's logout (the settings screen): the site cookie deleted and cookieDic
//              cleared, the flag and record cleared, the stored "isLogin" NO, the alias
//              cleared; "loginInfo" and "info" stay stored, nothing is sent to the server.
//              A login already on its way when the user logs out (the automatic login after
//              the network came back) is not installed when its reply arrives: the logout
//              stands;
//   setAlias   the push client's alias call (+[PushService setAlias:callbackSelector:object:]);
//   registrationID  the push client's registration id (+[PushService registrationID]).
//
// The built-in steps are the full session: install writes the delegate's flag, record and
// cookieDic, the alias (through setAlias) with the client's tagsAliasCallback, the stored
// "isLogin", "loginInfo" and "info", the cookie in the shared store and, for registrations,
// the welcome red packet, in the order each operation has ("loginInfo", holding only what the
// defaults can store, and "info" are written before "isLogin"); failLogin clears the flag and
// record and the alias; setAlias and registrationID talk to PushService. Tests install their
// own steps with setHooks to watch the hand-over.
//
// +[ZVTAPIClient autoLogin] (declared with the client, defined with the session) replays the
// stored credentials.

#include <functional>
#include <memory>
#include <optional>

#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSString.h"

// The class that runs an operation, and so the object of the alias callback.
enum class ZVTSessionClient { ZVTAPIClient, APIClient };

enum class ZVTSessionOperation {
  passwordLogin,      // ZVTAPIClient act=login
  partnerLogin,       // ZVTAPIClient act=OAuth_login
  registration,       // ZVTAPIClient act=register (e-mail/name or partner account)
  phoneRegistration,  // APIClient m=register
};

struct ZVTSessionInstall {
  ZVTSessionOperation operation = ZVTSessionOperation::passwordLogin;
  ZVTSessionClient client = ZVTSessionClient::ZVTAPIClient;
  std::shared_ptr<NSDictionary> request;    // the caller's fields (without "time" and "code")
  std::shared_ptr<NSDictionary> reply;      // the whole reply object
  std::shared_ptr<NSDictionary> record;     // the deciphered user record
  std::shared_ptr<NSString> info;           // the reply's "data" exactly as received (enciphered)
  std::shared_ptr<NSDictionary> loginInfo;  // the credentials to replay, as the operation built them
  std::shared_ptr<NSDictionary> setCookie;  // the reply's "setCookie", or nil
  bool welcomeRedpacket = false;            // registrations greet the new user
};

struct ZVTSessionHooks {
  std::function<void(const ZVTSessionInstall&)> install;
  std::function<void(ZVTSessionClient client)> failLogin;
  std::function<void()> logout;
  // `callback`: the client whose tagsAliasCallback is to be called when the push server has
  // answered; none for a plain alias change.
  std::function<void(const std::shared_ptr<NSString>& alias, std::optional<ZVTSessionClient> callback)> setAlias;
  std::function<std::shared_ptr<NSString>()> registrationID;
};

class ZVTLoginSession {
 public:
  static void install(const ZVTSessionInstall& install);
  static void failLogin(ZVTSessionClient client);
  static void logout();
  static void setAlias(const std::shared_ptr<NSString>& alias, std::optional<ZVTSessionClient> callback);
  static std::shared_ptr<NSString> registrationID();

  // How many logouts this run has seen. A login notes it when it starts and installs nothing
  // when a logout came in between.
  static unsigned long logoutCount();
  // The running session's user: the "id" of the delegate's record as text, nil without one.
  // A reply that carries a user record (profile, Alipay, avatar) is written into the session
  // only while the user who asked is still its user (isCurrentUser of the id noted at the call),
  // so that a late reply never puts one user's record into another's session or back into a
  // session that was logged out.
  static std::shared_ptr<NSString> currentUserId();
  static bool isCurrentUser(const std::shared_ptr<NSString>& userId);

  // Replaces the steps; an empty member keeps the built-in one.
  static void setHooks(ZVTSessionHooks hooks);
  static ZVTSessionHooks hooks();
  static ZVTSessionHooks defaultHooks();
};
