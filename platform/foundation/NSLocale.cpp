#include "platform/foundation/NSLocale.h"

#include <cctype>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string_view>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSString.h"

namespace {

std::mutex gLanguagesMutex;
std::optional<std::vector<std::string>> gLanguages;

const char* firstSetVariable(std::initializer_list<const char*> names) {
  for (const char* name : names) {
    const char* v = std::getenv(name);
    if (v && *v) return v;
  }
  return nullptr;
}

}  // namespace

namespace zvt {

std::string languageTagFromLocaleName(std::string_view name) {
  // "zh_CN.UTF-8@variant" -> language "zh", region "CN"
  auto cut = name.find_first_of(".@");
  if (cut != std::string_view::npos) name = name.substr(0, cut);
  if (name.empty() || name == "C" || name == "POSIX") return {};
  std::string lang(name.substr(0, name.find_first_of("_-")));
  std::string region;
  if (lang.size() < name.size()) region = std::string(name.substr(lang.size() + 1));
  for (char c : lang)
    if (!std::isalpha(static_cast<unsigned char>(c))) return {};
  std::string tag = lang;
  // Chinese as the devices name it: the script comes with the language.
  if (lang == "zh") tag += (region == "TW" || region == "HK" || region == "MO") ? "-Hant" : "-Hans";
  if (!region.empty()) tag += "-" + region;
  return tag;
}

void setPreferredLanguages(std::vector<std::string> languages) {
  std::lock_guard lock(gLanguagesMutex);
  gLanguages = std::move(languages);
}

void resetPreferredLanguages() {
  std::lock_guard lock(gLanguagesMutex);
  gLanguages.reset();
}

}  // namespace zvt

std::shared_ptr<NSLocale> NSLocale::localeWithLocaleIdentifier(const std::shared_ptr<NSString>& identifier) {
  return std::make_shared<NSLocale>(identifier ? identifier->utf8() : std::string());
}

std::shared_ptr<NSLocale> NSLocale::currentLocale() {
  const char* v = firstSetVariable({"LC_ALL", "LC_MESSAGES", "LANG"});
  std::string name = v ? std::string(v) : std::string();
  auto cut = name.find_first_of(".@");
  if (cut != std::string::npos) name.resize(cut);
  if (name.empty() || name == "C" || name == "POSIX") name = "en_US";
  return std::make_shared<NSLocale>(name);
}

std::shared_ptr<NSLocale> NSLocale::systemLocale() {
  static const auto locale = std::make_shared<NSLocale>("");
  return locale;
}

std::shared_ptr<NSArray> NSLocale::preferredLanguages() {
  std::optional<std::vector<std::string>> configured;
  {
    std::lock_guard lock(gLanguagesMutex);
    configured = gLanguages;
  }
  std::vector<std::string> tags = configured.value_or(std::vector<std::string>());
  if (!configured) {
    if (const char* list = std::getenv("LANGUAGE"); list && *list) {
      std::string_view rest(list);
      while (!rest.empty()) {
        auto colon = rest.find(':');
        auto tag = zvt::languageTagFromLocaleName(rest.substr(0, colon));
        if (!tag.empty()) tags.push_back(tag);
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
      }
    }
    if (tags.empty())
      if (const char* v = firstSetVariable({"LC_ALL", "LC_MESSAGES", "LANG"})) {
        auto tag = zvt::languageTagFromLocaleName(v);
        if (!tag.empty()) tags.push_back(tag);
      }
    if (tags.empty()) tags.push_back("en");
  }
  std::vector<id> objects;
  for (auto& tag : tags)
    if (auto text = NSString::stringWithUTF8String(std::string_view(tag))) objects.push_back(text);
  return NSArray::arrayWithObjects(std::move(objects));
}

std::shared_ptr<NSString> NSLocale::localeIdentifier() const { return NSString::fromValidUTF8(identifier_); }

std::shared_ptr<NSString> NSLocale::description() const {
  return NSString::stringWithFormat("<NSLocale %s>", identifier_);
}

bool NSLocale::isEqual(const id& other) const {
  auto locale = zvt::as<NSLocale>(other);
  return locale && locale->identifier_ == identifier_;
}

NSUInteger NSLocale::hash() const { return std::hash<std::string>()(identifier_); }

id NSLocale::copyWithZone() const { return self(); }
