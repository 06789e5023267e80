#pragma once
// Bundles: a directory of resources with an information dictionary read from its Info.plist.
// The main bundle is the directory in $ZVT_BUNDLE, or the one set through
// zvt::setMainBundlePath (tests set their own), else the directory of the executable.

#include <memory>
#include <mutex>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"

class NSArray;
class NSDictionary;

inline const zvt::StaticString kCFBundleIdentifierKey{"CFBundleIdentifier"};
inline const zvt::StaticString kCFBundleVersionKey{"CFBundleVersion"};
inline const zvt::StaticString kCFBundleExecutableKey{"CFBundleExecutable"};
inline const zvt::StaticString kCFBundleNameKey{"CFBundleName"};
inline const zvt::StaticString kCFBundleInfoDictionaryVersionKey{"CFBundleInfoDictionaryVersion"};

class NSBundle : public NSObject {
 public:
  explicit NSBundle(std::string path);

  static std::shared_ptr<NSBundle> mainBundle();
  // nil when the path is not a directory.
  static std::shared_ptr<NSBundle> bundleWithPath(const std::shared_ptr<NSString>& path);
  static std::shared_ptr<NSBundle> initWithPath(const std::shared_ptr<NSString>& path) { return bundleWithPath(path); }

  std::shared_ptr<NSString> bundlePath() const;
  // Resources lie directly in the bundle directory, as on the device.
  std::shared_ptr<NSString> resourcePath() const { return bundlePath(); }
  std::shared_ptr<NSString> bundleIdentifier() const;
  // The contents of Info.plist (an empty dictionary when it is missing or unreadable).
  std::shared_ptr<NSDictionary> infoDictionary() const;
  id objectForInfoDictionaryKey(const std::shared_ptr<NSString>& key) const;

  // "<bundle>/<name>.<ext>" when that file exists (also looked for in Base.lproj and
  // en.lproj); nil otherwise. An empty or nil extension means the name is the whole file name.
  std::shared_ptr<NSString> pathForResource(const std::shared_ptr<NSString>& name,
                                            const std::shared_ptr<NSString>& ofType) const;
  std::shared_ptr<NSString> pathForResource(const std::shared_ptr<NSString>& name,
                                            const std::shared_ptr<NSString>& ofType,
                                            const std::shared_ptr<NSString>& inDirectory) const;
  // Every file of the extension (all files for nil/empty) in the bundle or a sub-directory of
  // it, sorted by name.
  std::shared_ptr<NSArray> pathsForResourcesOfType(const std::shared_ptr<NSString>& type,
                                                   const std::shared_ptr<NSString>& inDirectory) const;
  // No strings tables are shipped: the value when it is not empty, else the key.
  std::shared_ptr<NSString> localizedStringForKey(const std::shared_ptr<NSString>& key,
                                                  const std::shared_ptr<NSString>& value,
                                                  const std::shared_ptr<NSString>& table) const;

  std::shared_ptr<NSString> description() const override;

 private:
  std::string path_;
  mutable std::once_flag infoOnce_;
  mutable std::shared_ptr<NSDictionary> info_;
};

// NSLocalizedString(key, comment) and its table form.
std::shared_ptr<NSString> NSLocalizedString(const std::shared_ptr<NSString>& key, const std::shared_ptr<NSString>& comment);
std::shared_ptr<NSString> NSLocalizedStringFromTable(const std::shared_ptr<NSString>& key,
                                                     const std::shared_ptr<NSString>& table,
                                                     const std::shared_ptr<NSString>& comment);

namespace zvt {
// Sets the main bundle's directory (and $ZVT_BUNDLE for processes started from here); an
// empty path returns to the default.
void setMainBundlePath(const std::string& path);
std::string mainBundlePath();
}  // namespace zvt
