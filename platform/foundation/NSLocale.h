#pragma once
// Locales. Formatting in this system never depends on a locale (dates are written the way
// "en_US_POSIX" writes them); a locale is kept only as a name, and the user's preferred
// languages feed the HTTP layer's Accept-Language.

#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"

class NSString;
class NSArray;

class NSLocale : public NSObject {
 public:
  explicit NSLocale(std::string identifier) : identifier_(std::move(identifier)) {}

  static std::shared_ptr<NSLocale> localeWithLocaleIdentifier(const std::shared_ptr<NSString>& identifier);
  static std::shared_ptr<NSLocale> initWithLocaleIdentifier(const std::shared_ptr<NSString>& identifier) {
    return localeWithLocaleIdentifier(identifier);
  }
  // The user's locale from the environment ($LC_ALL, $LC_MESSAGES, $LANG), "en_US" when none.
  static std::shared_ptr<NSLocale> currentLocale();
  static std::shared_ptr<NSLocale> autoupdatingCurrentLocale() { return currentLocale(); }
  static std::shared_ptr<NSLocale> systemLocale();

  // BCP 47 tags ("zh-Hans-CN", "en-US") in the user's order: those set with
  // zvt::setPreferredLanguages, else from $LANGUAGE (a ':' list) or the locale variables;
  // ["en"] when the environment names none.
  static std::shared_ptr<NSArray> preferredLanguages();

  std::shared_ptr<NSString> localeIdentifier() const;
  std::shared_ptr<NSString> description() const override;
  bool isEqual(const id& other) const override;
  NSUInteger hash() const override;
  id copyWithZone() const override;

 private:
  std::string identifier_;
};

namespace zvt {
// Replaces the preferred languages for the process (tests, configuration); an empty list
// stands for "none", std::nullopt-like reset is resetPreferredLanguages().
void setPreferredLanguages(std::vector<std::string> languages);
void resetPreferredLanguages();
// "zh_CN.UTF-8" -> "zh-Hans-CN", "en_US" -> "en-US", "C"/"POSIX" -> "" (none).
std::string languageTagFromLocaleName(std::string_view name);
}  // namespace zvt
