#include "platform/foundation/NSBundle.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSPropertyListSerialization.h"

namespace {

std::mutex gMainMutex;
std::string gMainPath;  // set through the API
std::shared_ptr<NSBundle> gMain;

std::string trimmed(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string executableDirectory() {
  std::vector<char> buf(PATH_MAX + 1);
  ssize_t n = ::readlink("/proc/self/exe", buf.data(), PATH_MAX);
  if (n <= 0) return ".";
  std::string exe(buf.data(), size_t(n));
  auto slash = exe.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : exe.substr(0, slash);
}

bool isDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string text(const std::shared_ptr<NSString>& s) { return s ? s->utf8() : std::string(); }

std::shared_ptr<NSString> nsPath(const std::string& path) { return NSString::stringWithUTF8String(std::string_view(path)); }

}  // namespace

namespace zvt {

void setMainBundlePath(const std::string& path) {
  std::lock_guard lock(gMainMutex);
  gMainPath = path.empty() ? std::string() : trimmed(path);
  if (gMainPath.empty()) ::unsetenv("ZVT_BUNDLE");
  else ::setenv("ZVT_BUNDLE", gMainPath.c_str(), 1);
  gMain = nullptr;
}

std::string mainBundlePath() {
  std::lock_guard lock(gMainMutex);
  if (!gMainPath.empty()) return gMainPath;
  if (const char* env = std::getenv("ZVT_BUNDLE"); env && *env) return trimmed(env);
  return executableDirectory();
}

}  // namespace zvt

NSBundle::NSBundle(std::string path) : path_(std::move(path)) {}

std::shared_ptr<NSBundle> NSBundle::mainBundle() {
  std::string path = zvt::mainBundlePath();
  std::lock_guard lock(gMainMutex);
  if (!gMain || gMain->path_ != path) gMain = std::make_shared<NSBundle>(path);
  return gMain;
}

std::shared_ptr<NSBundle> NSBundle::bundleWithPath(const std::shared_ptr<NSString>& path) {
  std::string p = trimmed(text(path));
  if (p.empty() || !isDirectory(p)) return nullptr;
  return std::make_shared<NSBundle>(p);
}

std::shared_ptr<NSString> NSBundle::bundlePath() const { return nsPath(path_); }

std::shared_ptr<NSDictionary> NSBundle::infoDictionary() const {
  std::call_once(infoOnce_, [this] {
    if (auto data = NSData::dataWithContentsOfFile(nsPath(path_ + "/Info.plist")))
      info_ = zvt::as<NSDictionary>(
          NSPropertyListSerialization::propertyListWithData(data, NSPropertyListImmutable, nullptr, nullptr));
    if (!info_) info_ = NSDictionary::dictionary();
  });
  return info_;
}

id NSBundle::objectForInfoDictionaryKey(const std::shared_ptr<NSString>& key) const {
  return key ? infoDictionary()->objectForKey(key) : nullptr;
}

std::shared_ptr<NSString> NSBundle::bundleIdentifier() const {
  return zvt::as<NSString>(objectForInfoDictionaryKey(kCFBundleIdentifierKey));
}

std::shared_ptr<NSString> NSBundle::pathForResource(const std::shared_ptr<NSString>& name,
                                                    const std::shared_ptr<NSString>& ofType) const {
  return pathForResource(name, ofType, nullptr);
}

std::shared_ptr<NSString> NSBundle::pathForResource(const std::shared_ptr<NSString>& name,
                                                    const std::shared_ptr<NSString>& ofType,
                                                    const std::shared_ptr<NSString>& inDirectory) const {
  std::string file = text(name);
  std::string ext = text(ofType);
  if (!ext.empty() && ext.front() == '.') ext.erase(0, 1);
  if (file.empty()) {
    if (ext.empty()) return nullptr;
    auto all = pathsForResourcesOfType(ofType, inDirectory);
    return all->count() ? zvt::as<NSString>(all->objectAtIndex(0)) : nullptr;
  }
  if (!ext.empty()) file += "." + ext;
  std::string dir = path_;
  if (!text(inDirectory).empty()) dir += "/" + text(inDirectory);
  for (const char* sub : {"", "/Base.lproj", "/en.lproj"}) {
    std::string candidate = dir + sub + "/" + file;
    if (isFile(candidate) || (ext == "bundle" && isDirectory(candidate)) || (ext == "lproj" && isDirectory(candidate)))
      return nsPath(candidate);
  }
  return nullptr;
}

std::shared_ptr<NSArray> NSBundle::pathsForResourcesOfType(const std::shared_ptr<NSString>& type,
                                                           const std::shared_ptr<NSString>& inDirectory) const {
  std::string ext = text(type);
  if (!ext.empty() && ext.front() == '.') ext.erase(0, 1);
  std::string dir = path_;
  if (!text(inDirectory).empty()) dir += "/" + text(inDirectory);
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* e = ::readdir(d)) {
      std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      if (!ext.empty()) {
        std::string suffix = "." + ext;
        if (name.size() <= suffix.size() || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
          continue;
      }
      names.push_back(name);
    }
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  std::vector<id> paths;
  for (auto& name : names)
    if (auto p = nsPath(dir + "/" + name)) paths.push_back(p);
  return NSArray::arrayWithObjects(std::move(paths));
}

std::shared_ptr<NSString> NSBundle::localizedStringForKey(const std::shared_ptr<NSString>& key,
                                                          const std::shared_ptr<NSString>& value,
                                                          const std::shared_ptr<NSString>&) const {
  if (value && value->length() > 0) return value;
  return key ? key : NSString::string();
}

std::shared_ptr<NSString> NSBundle::description() const {
  return NSString::stringWithFormat("NSBundle <%s> (loaded)", path_);
}

std::shared_ptr<NSString> NSLocalizedString(const std::shared_ptr<NSString>& key, const std::shared_ptr<NSString>&) {
  return NSBundle::mainBundle()->localizedStringForKey(key, nullptr, nullptr);
}

std::shared_ptr<NSString> NSLocalizedStringFromTable(const std::shared_ptr<NSString>& key,
                                                     const std::shared_ptr<NSString>& table,
                                                     const std::shared_ptr<NSString>&) {
  return NSBundle::mainBundle()->localizedStringForKey(key, nullptr, table);
}
