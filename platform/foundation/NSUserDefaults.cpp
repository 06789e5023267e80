#include "platform/foundation/NSUserDefaults.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSPropertyListSerialization.h"

namespace {

std::mutex gStandardMutex;
std::shared_ptr<NSUserDefaults> gStandard;

std::string executableName() {
  std::vector<char> buf(PATH_MAX + 1);
  ssize_t n = ::readlink("/proc/self/exe", buf.data(), PATH_MAX);
  if (n <= 0) return "zavelto";
  std::string exe(buf.data(), size_t(n));
  auto slash = exe.rfind('/');
  return slash == std::string::npos ? exe : exe.substr(slash + 1);
}

// A file name may not lead out of the Preferences folder.
std::string safeFileName(std::string name) {
  for (char& c : name)
    if (c == '/' || c == '\0') c = '_';
  if (name.empty() || name == "." || name == "..") name = "zavelto";
  return name;
}

std::string standardPath() {
  auto identifier = NSBundle::mainBundle()->bundleIdentifier();
  std::string name = identifier && identifier->length() ? identifier->utf8() : executableName();
  return zvt::sandboxHome() + "/Library/Preferences/" + safeFileName(name) + ".plist";
}

void makeParent(const std::string& path) {
  auto slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return;
  std::string dir = path.substr(0, slash);
  for (size_t at = 1; at <= dir.size(); ++at)
    if (at == dir.size() || dir[at] == '/') ::mkdir(dir.substr(0, at).c_str(), 0700);
}

}  // namespace

NSUserDefaults::NSUserDefaults(std::string path) : path_(std::move(path)) {
  std::lock_guard lock(mutex_);
  loadLocked();
}

std::shared_ptr<NSUserDefaults> NSUserDefaults::standardUserDefaults() {
  std::string path = standardPath();
  std::lock_guard lock(gStandardMutex);
  if (!gStandard || gStandard->path_ != path) gStandard = std::make_shared<NSUserDefaults>(path);
  return gStandard;
}

void NSUserDefaults::resetStandardUserDefaults() {
  std::lock_guard lock(gStandardMutex);
  gStandard = nullptr;
}

std::shared_ptr<NSUserDefaults> NSUserDefaults::initWithSuiteName(const std::shared_ptr<NSString>& suiteName) {
  if (!suiteName || suiteName->length() == 0) return standardUserDefaults();
  return std::make_shared<NSUserDefaults>(zvt::sandboxHome() + "/Library/Preferences/" +
                                          safeFileName(suiteName->utf8()) + ".plist");
}

NSUserDefaults::FileStamp NSUserDefaults::stampLocked() const {
  struct stat st;
  if (::stat(path_.c_str(), &st) != 0) return FileStamp{};
  return FileStamp{st.st_dev, st.st_ino, st.st_size, int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

bool NSUserDefaults::loadLocked() {
  stamp_ = stampLocked();
  if (stamp_.size < 0) {
    values_.clear();
    return true;
  }
  auto data = NSData::dataWithContentsOfFile(NSString::stringWithUTF8String(std::string_view(path_)));
  if (!data) {
    zvt::logFormat(zvt::LogLevel::Error, "user defaults at %s could not be read", path_);
    values_.clear();
    return false;
  }
  std::shared_ptr<NSError> error;
  auto dict = zvt::as<NSDictionary>(
      NSPropertyListSerialization::propertyListWithData(data, NSPropertyListImmutable, nullptr, &error));
  if (!dict) {
    // The writes are atomic, so this is a file someone else damaged: start empty rather than
    // fail, and say so.
    zvt::logFormat(zvt::LogLevel::Error, "user defaults at %s are unreadable and were ignored: %@", path_, error);
    values_.clear();
    return false;
  }
  Values loaded;
  for (auto& [key, value] : dict->allPairs())
    if (auto k = zvt::as<NSString>(key)) loaded[k->utf8()] = value;
  values_ = std::move(loaded);
  return true;
}

bool NSUserDefaults::writeLocked() {
  std::vector<std::pair<id, id>> pairs;
  pairs.reserve(values_.size());
  for (auto& [key, value] : values_) pairs.emplace_back(NSString::fromValidUTF8(key), value);
  std::shared_ptr<NSError> error;
  auto data = NSPropertyListSerialization::dataWithPropertyList(NSDictionary::dictionaryWithPairs(std::move(pairs)),
                                                                NSPropertyListXMLFormat_v1_0, 0, &error);
  if (!data) {
    zvt::logFormat(zvt::LogLevel::Error, "user defaults could not be encoded: %@", error);
    dirty_ = true;
    return false;
  }
  makeParent(path_);
  if (int err = zvt::writeFileAtomically(path_, data->bytes(), data->length(), 0600)) {
    zvt::logFormat(zvt::LogLevel::Error, "user defaults could not be written to %s: %s", path_, std::strerror(err));
    dirty_ = true;
    return false;
  }
  dirty_ = false;
  stamp_ = stampLocked();
  return true;
}

id NSUserDefaults::lookup(const std::shared_ptr<NSString>& key) const {
  if (!key) return nullptr;
  std::lock_guard lock(mutex_);
  auto it = values_.find(key->utf8());
  if (it != values_.end()) return it->second;
  auto reg = registered_.find(key->utf8());
  return reg != registered_.end() ? reg->second : nullptr;
}

void NSUserDefaults::change(const std::shared_ptr<NSString>& key, const id& value) {
  if (!key) NSException::raise(NSInvalidArgumentException, "attempt to use a nil key in user defaults");
  id stored;
  if (value) {
    stored = zvt::propertyListDeepCopy(value);
    if (!stored)
      NSException::raise(NSInvalidArgumentException, "Attempt to insert non-property list object %@ for key %@",
                         value, key);
  }
  std::lock_guard lock(mutex_);
  if (stored) values_[key->utf8()] = stored;
  else if (values_.erase(key->utf8()) == 0 && !dirty_) return;
  writeLocked();
}

id NSUserDefaults::objectForKey(const std::shared_ptr<NSString>& key) const { return lookup(key); }

void NSUserDefaults::setObject(const id& value, const std::shared_ptr<NSString>& key) { change(key, value); }

void NSUserDefaults::removeObjectForKey(const std::shared_ptr<NSString>& key) { change(key, nullptr); }

std::shared_ptr<NSString> NSUserDefaults::stringForKey(const std::shared_ptr<NSString>& key) const {
  auto value = lookup(key);
  if (auto s = zvt::as<NSString>(value)) return s;
  if (auto n = zvt::as<NSNumber>(value)) return n->stringValue();
  return nullptr;
}

std::shared_ptr<NSArray> NSUserDefaults::arrayForKey(const std::shared_ptr<NSString>& key) const {
  return zvt::as<NSArray>(lookup(key));
}

std::shared_ptr<NSArray> NSUserDefaults::stringArrayForKey(const std::shared_ptr<NSString>& key) const {
  auto array = arrayForKey(key);
  if (!array) return nullptr;
  for (NSUInteger i = 0; i < array->count(); ++i)
    if (!zvt::as<NSString>(array->objectAtIndex(i))) return nullptr;
  return array;
}

std::shared_ptr<NSDictionary> NSUserDefaults::dictionaryForKey(const std::shared_ptr<NSString>& key) const {
  return zvt::as<NSDictionary>(lookup(key));
}

std::shared_ptr<NSData> NSUserDefaults::dataForKey(const std::shared_ptr<NSString>& key) const {
  return zvt::as<NSData>(lookup(key));
}

NSInteger NSUserDefaults::integerForKey(const std::shared_ptr<NSString>& key) const {
  auto value = lookup(key);
  if (auto n = zvt::as<NSNumber>(value)) return n->integerValue();
  if (auto s = zvt::as<NSString>(value)) return s->integerValue();
  return 0;
}

float NSUserDefaults::floatForKey(const std::shared_ptr<NSString>& key) const {
  return static_cast<float>(doubleForKey(key));
}

double NSUserDefaults::doubleForKey(const std::shared_ptr<NSString>& key) const {
  auto value = lookup(key);
  if (auto n = zvt::as<NSNumber>(value)) return n->doubleValue();
  if (auto s = zvt::as<NSString>(value)) return s->doubleValue();
  return 0;
}

bool NSUserDefaults::boolForKey(const std::shared_ptr<NSString>& key) const {
  auto value = lookup(key);
  if (auto n = zvt::as<NSNumber>(value)) return n->boolValue();
  if (auto s = zvt::as<NSString>(value)) {
    auto lower = s->lowercaseString();
    if (lower->isEqualToString("yes") || lower->isEqualToString("true")) return true;
    return s->integerValue() != 0;
  }
  return false;
}

void NSUserDefaults::setInteger(NSInteger value, const std::shared_ptr<NSString>& key) {
  change(key, NSNumber::numberWithInteger(value));
}

void NSUserDefaults::setFloat(float value, const std::shared_ptr<NSString>& key) {
  change(key, NSNumber::numberWithFloat(value));
}

void NSUserDefaults::setDouble(double value, const std::shared_ptr<NSString>& key) {
  change(key, NSNumber::numberWithDouble(value));
}

void NSUserDefaults::setBool(bool value, const std::shared_ptr<NSString>& key) {
  change(key, NSNumber::numberWithBool(value));
}

void NSUserDefaults::registerDefaults(const std::shared_ptr<NSDictionary>& registrationDictionary) {
  if (!registrationDictionary) return;
  Values add;
  for (auto& [key, value] : registrationDictionary->allPairs()) {
    auto k = zvt::as<NSString>(key);
    auto v = zvt::propertyListDeepCopy(value);
    if (k && v) add[k->utf8()] = v;
  }
  std::lock_guard lock(mutex_);
  for (auto& [k, v] : add) registered_[k] = v;
}

std::shared_ptr<NSDictionary> NSUserDefaults::dictionaryRepresentation() const {
  std::lock_guard lock(mutex_);
  Values merged = registered_;
  for (auto& [k, v] : values_) merged[k] = v;
  std::vector<std::pair<id, id>> pairs;
  for (auto& [k, v] : merged) pairs.emplace_back(NSString::fromValidUTF8(k), v);
  return NSDictionary::dictionaryWithPairs(std::move(pairs));
}

bool NSUserDefaults::synchronize() {
  std::lock_guard lock(mutex_);
  if (dirty_) return writeLocked();
  if (stampLocked() != stamp_) loadLocked();
  return true;
}

std::shared_ptr<NSString> NSUserDefaults::persistentStorePath() const {
  return NSString::stringWithUTF8String(std::string_view(path_));
}
