#pragma once
// The deployment's configuration, in one place: the service's root URL, the analytics app
// key, the request time-outs and the store lookup of the version check. Defaults are built
// in; $ZVT_SERVER_ROOT overrides the root, and the command line (applyArguments) overrides
// everything. Tests set values directly and restore them with ConfigurationScope.
//
// The root is kept without a trailing "/"; URLStringWithPath joins it and a path with exactly
// one "/", whether or not the path begins with one.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/NSString.h"

namespace zvt {

// "http://127.0.0.1:<the local service's port>": the port is the build's ZVT_SERVICE_PORT, the
// one scripts/run.sh starts the service on.
std::string defaultServerRoot();
// "localhost:<the same port>".
std::string defaultAppStoreWebHost();

struct ConfigurationValues {
  std::string serverRoot = defaultServerRoot();
  std::string analyticsAppKey = "4b7e91a2c05d38f6e1a9d70c";
  double requestTimeout = 8.0;  // requests the application builds itself
  double uploadTimeout = 10.0;  // the avatar upload
  // The version check's lookup document; empty: the service's own "/lookup".
  std::string appStoreLookupURL;
  std::string appStoreIdentifier = "1077360584";
  // The host of the store's review page (opened with the "itms-apps" scheme).
  std::string appStoreReviewHost = "itunes.apple.com";

  // The shop pages the web screens compare links with, as "host[:port]". An empty value is the
  // service's own host (the authority of serverRoot), where the service keeps stand-ins of the
  // shops' download pages, so that no page of this deployment leaves the machine.
  std::string tmallPagesHost;    // the Tmall app-download page (https)
  std::string partnerPagesHost;  // the partner app-download page (http)
  std::string taobaoMobileHost;  // the Taobao Android download page (http)
  // The App Store's web host, whose pages the product page refuses: the service under another
  // name, so that a refusal that fails still stays on the machine.
  std::string appStoreWebHost = defaultAppStoreWebHost();
  // The shops' login pages, on which the product page shows no spinner over the form.
  std::string taobaoLoginHost = "login.m.taobao.com";
  std::string tmallLoginHost = "login.tmall.com";
  // The Taobao mobile cart page the personal centre opens; empty: the service's stand-in.
  std::string taobaoCartURL;
  // The partners' OAuth pages the partner web logins open, as "scheme://host[:port]"; empty:
  // the service's root, where the service keeps stand-ins of both. Taobao's client id.
  std::string qqOAuthRoot;
  std::string taobaoOAuthRoot;
  std::string taobaoOAuthClientId = "23097412";
  // The customer-service telephone number the personal centre dials ("tel://" + number).
  std::string customerServiceTelephone = "4006680520";
  // The customer-service QQ account the help centre's chat opens (decimal digits).
  std::string customerServiceQQ = "800061237";
  // The offer-wall provider's root ("scheme://host[:port]"), under which its task page
  // "/wx/ios/lists.html" lies; empty: the server root, where the service plays the provider.
  std::string offerWallRoot;
  // Taobao's affiliate search page ("…/search.html?"), to which "pid=…&q=…&unid=…" is
  // appended; empty: the server root's "/search.html?".
  std::string affiliateSearchURL;
  // The root of Taobao's suggestion service ("/sug?code=utf-8&extras=1&q=…" hangs under it);
  // empty: the server root.
  std::string suggestionRoot;
  // The affiliate pid a search uses when the service's configuration names none (or cannot be
  // had).
  std::string defaultAffiliatePid = "mm_99999_0_0";
};

class Configuration {
 public:
  static ConfigurationValues values();
  static void setValues(ConfigurationValues values);

  static std::shared_ptr<NSString> serverRoot();
  // Trailing slashes are dropped.
  static void setServerRoot(std::string_view root);
  static std::shared_ptr<NSString> analyticsAppKey();
  static double requestTimeout();
  static double uploadTimeout();

  // The root followed by exactly one "/" and the path (a path that is already a full
  // "http://" or "https://" URL is returned unchanged).
  static std::shared_ptr<NSString> URLStringWithPath(std::string_view path);
  // One of the web hosts above, an empty value answered with the service's own host.
  static std::string webHost(std::string ConfigurationValues::*host);
  // One of the OAuth roots above, an empty value answered with the service's root.
  static std::string oauthRoot(std::string ConfigurationValues::*root);
  // The cart page's address (the service's "/shop/cart.html" unless configured).
  static std::shared_ptr<NSString> taobaoCartURLString();
  // The provider's task page with its trailing "?" (the parameters follow).
  static std::shared_ptr<NSString> offerWallPageURLString();

  // The store lookup address with "?id=" and the store identifier.
  static std::shared_ptr<NSString> appStoreLookupURLString();

  // The affiliate search page's address, ending in "?" (or "&" when it carries a query).
  static std::shared_ptr<NSString> affiliateSearchURLString();
  // The suggestion service's root, without a trailing "/".
  static std::shared_ptr<NSString> suggestionRoot();
  static std::shared_ptr<NSString> defaultAffiliatePid();

  // Reads "--server-root URL", "--analytics-app-key KEY", "--request-timeout S",
  // "--upload-timeout S", "--app-store-lookup URL", "--app-store-id ID", "--affiliate-search URL",
  // "--suggestion-root URL", "--default-pid PID" (also as
  // "--name=value"); other arguments are left alone. Returns false with a message for a
  // known option without a usable value.
  static bool applyArguments(const std::vector<std::string>& arguments, std::string* message = nullptr);
  // $ZVT_SERVER_ROOT, when set and not empty.
  static void applyEnvironment();
};

// Restores the configuration as it was when the scope began.
class ConfigurationScope {
 public:
  ConfigurationScope() : saved_(Configuration::values()) {}
  ~ConfigurationScope() { Configuration::setValues(saved_); }
  ConfigurationScope(const ConfigurationScope&) = delete;
  ConfigurationScope& operator=(const ConfigurationScope&) = delete;

 private:
  ConfigurationValues saved_;
};

}  // namespace zvt
