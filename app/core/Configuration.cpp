#include "app/core/Configuration.h"

#include <cstdlib>
#include <string>

namespace zvt {
namespace {

std::mutex& configMutex() {
  static std::mutex mutex;
  return mutex;
}

ConfigurationValues& current() {
  static ConfigurationValues values = [] {
    ConfigurationValues v;
    if (const char* root = std::getenv("ZVT_SERVER_ROOT"); root && *root) v.serverRoot = root;
    while (v.serverRoot.size() > 1 && v.serverRoot.back() == '/') v.serverRoot.pop_back();
    return v;
  }();
  return values;
}

std::string trimmedRoot(std::string_view root) {
  std::string r(root);
  while (!r.empty() && r.back() == '/') r.pop_back();
  return r;
}

bool parseSeconds(const std::string& text, double* out) {
  char* end = nullptr;
  double v = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !(v > 0) || v > 86400) return false;
  *out = v;
  return true;
}

}  // namespace

std::string defaultServerRoot() { return "http://127.0.0.1:" + std::to_string(ZVT_SERVICE_PORT); }

std::string defaultAppStoreWebHost() { return "localhost:" + std::to_string(ZVT_SERVICE_PORT); }

ConfigurationValues Configuration::values() {
  std::lock_guard lock(configMutex());
  return current();
}

void Configuration::setValues(ConfigurationValues values) {
  values.serverRoot = trimmedRoot(values.serverRoot);
  std::lock_guard lock(configMutex());
  current() = std::move(values);
}

std::shared_ptr<NSString> Configuration::serverRoot() { return NSString::stringWithUTF8String(values().serverRoot); }

void Configuration::setServerRoot(std::string_view root) {
  std::lock_guard lock(configMutex());
  current().serverRoot = trimmedRoot(root);
}

std::shared_ptr<NSString> Configuration::analyticsAppKey() {
  return NSString::stringWithUTF8String(values().analyticsAppKey);
}

double Configuration::requestTimeout() { return values().requestTimeout; }

double Configuration::uploadTimeout() { return values().uploadTimeout; }

std::shared_ptr<NSString> Configuration::URLStringWithPath(std::string_view path) {
  if (path.starts_with("http://") || path.starts_with("https://")) return NSString::stringWithUTF8String(path);
  while (!path.empty() && path.front() == '/') path.remove_prefix(1);
  return NSString::stringWithUTF8String(values().serverRoot + "/" + std::string(path));
}

std::string Configuration::webHost(std::string ConfigurationValues::*host) {
  auto v = values();
  if (!(v.*host).empty()) return v.*host;
  std::string_view root = v.serverRoot;
  if (const auto scheme = root.find("://"); scheme != std::string_view::npos) root.remove_prefix(scheme + 3);
  return std::string(root.substr(0, root.find('/')));
}

std::string Configuration::oauthRoot(std::string ConfigurationValues::*root) {
  auto v = values();
  return (v.*root).empty() ? v.serverRoot : v.*root;
}

std::shared_ptr<NSString> Configuration::taobaoCartURLString() {
  auto v = values();
  return NSString::stringWithUTF8String(v.taobaoCartURL.empty() ? v.serverRoot + "/shop/cart.html" : v.taobaoCartURL);
}

std::shared_ptr<NSString> Configuration::offerWallPageURLString() {
  auto v = values();
  return NSString::stringWithUTF8String((v.offerWallRoot.empty() ? v.serverRoot : trimmedRoot(v.offerWallRoot)) +
                                        "/wx/ios/lists.html?");
}

std::shared_ptr<NSString> Configuration::appStoreLookupURLString() {
  auto v = values();
  std::string base = v.appStoreLookupURL.empty() ? v.serverRoot + "/lookup" : v.appStoreLookupURL;
  return NSString::stringWithUTF8String(base + (base.find('?') == std::string::npos ? "?id=" : "&id=") +
                                        v.appStoreIdentifier);
}

std::shared_ptr<NSString> Configuration::affiliateSearchURLString() {
  auto v = values();
  std::string address = v.affiliateSearchURL.empty() ? v.serverRoot + "/search.html?" : v.affiliateSearchURL;
  // The query is appended as it is: the address must end where a parameter may begin.
  if (address.back() != '?' && address.back() != '&') address += address.find('?') == std::string::npos ? "?" : "&";
  return NSString::stringWithUTF8String(address);
}

std::shared_ptr<NSString> Configuration::suggestionRoot() {
  auto v = values();
  return NSString::stringWithUTF8String(v.suggestionRoot.empty() ? v.serverRoot : trimmedRoot(v.suggestionRoot));
}

std::shared_ptr<NSString> Configuration::defaultAffiliatePid() {
  return NSString::stringWithUTF8String(values().defaultAffiliatePid);
}

bool Configuration::applyArguments(const std::vector<std::string>& arguments, std::string* message) {
  auto v = values();
  for (size_t i = 0; i < arguments.size(); ++i) {
    std::string name = arguments[i];
    std::string value;
    bool inlineValue = false;
    if (auto eq = name.find('='); name.starts_with("--") && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      inlineValue = true;
    }
    static const char* const known[] = {"--server-root",  "--analytics-app-key", "--request-timeout",
                                        "--upload-timeout", "--app-store-lookup", "--app-store-id",
                                        "--affiliate-search", "--suggestion-root", "--default-pid",
                                        "--offer-wall-root", "--service-qq"};
    bool isKnown = false;
    for (const char* k : known) isKnown = isKnown || name == k;
    if (!isKnown) continue;
    if (!inlineValue) {
      if (i + 1 >= arguments.size()) {
        if (message) *message = name + " needs a value";
        return false;
      }
      value = arguments[++i];
    }
    bool ok = true;
    if (name == "--server-root") {
      ok = value.starts_with("http://") || value.starts_with("https://");
      v.serverRoot = trimmedRoot(value);
    } else if (name == "--analytics-app-key") {
      ok = !value.empty();
      v.analyticsAppKey = value;
    } else if (name == "--request-timeout") {
      ok = parseSeconds(value, &v.requestTimeout);
    } else if (name == "--upload-timeout") {
      ok = parseSeconds(value, &v.uploadTimeout);
    } else if (name == "--app-store-lookup") {
      v.appStoreLookupURL = value;
    } else if (name == "--app-store-id") {
      ok = !value.empty();
      v.appStoreIdentifier = value;
    } else if (name == "--affiliate-search" || name == "--suggestion-root") {
      ok = value.starts_with("http://") || value.starts_with("https://");
      (name == "--affiliate-search" ? v.affiliateSearchURL : v.suggestionRoot) = value;
    } else if (name == "--offer-wall-root") {
      ok = value.starts_with("http://") || value.starts_with("https://");
      v.offerWallRoot = value;
    } else if (name == "--service-qq") {
      ok = !value.empty() && value.find_first_not_of("0123456789") == std::string::npos;
      v.customerServiceQQ = value;
    } else if (name == "--default-pid") {
      ok = !value.empty();
      v.defaultAffiliatePid = value;
    }
    if (!ok) {
      if (message) *message = "bad value for " + name + ": " + value;
      return false;
    }
  }
  setValues(std::move(v));
  return true;
}

void Configuration::applyEnvironment() {
  if (const char* root = std::getenv("ZVT_SERVER_ROOT"); root && *root) setServerRoot(root);
}

}  // namespace zvt
