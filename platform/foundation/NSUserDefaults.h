#pragma once
// User defaults: a dictionary of property-list values kept in
// <home>/Library/Preferences/<bundle identifier>.plist (XML property list, mode 0600).
//
// Every change is written through at once, atomically (temporary file, fsync, rename), so
// that a value set survives a crash or a kill of the process a moment later, and a reader
// never sees a half-written file. The file is read when the object is made; synchronize()
// writes what an earlier failed write left and picks up changes another process made.
// Registered defaults are a fallback layer that is never written. Thread-safe.

#include <sys/types.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"

class NSArray;
class NSData;
class NSDictionary;

class NSUserDefaults : public NSObject {
 public:
  // Reads the file at `path` (any missing folder is made when writing).
  explicit NSUserDefaults(std::string path);

  // The defaults of the main bundle's identifier (the executable's name when it has none)
  // in the current sandbox home. A new object is made when the home or the identifier changed.
  static std::shared_ptr<NSUserDefaults> standardUserDefaults();
  static void resetStandardUserDefaults();
  // Defaults of another name in the same Preferences folder ("<suite>.plist").
  static std::shared_ptr<NSUserDefaults> initWithSuiteName(const std::shared_ptr<NSString>& suiteName);

  id objectForKey(const std::shared_ptr<NSString>& key) const;
  // Stores an immutable deep copy; nil removes the key. A value that is not a property list
  // raises NSInvalidArgumentException.
  void setObject(const id& value, const std::shared_ptr<NSString>& key);
  void removeObjectForKey(const std::shared_ptr<NSString>& key);

  // A string, or a number's text; nil otherwise.
  std::shared_ptr<NSString> stringForKey(const std::shared_ptr<NSString>& key) const;
  std::shared_ptr<NSArray> arrayForKey(const std::shared_ptr<NSString>& key) const;
  std::shared_ptr<NSArray> stringArrayForKey(const std::shared_ptr<NSString>& key) const;
  std::shared_ptr<NSDictionary> dictionaryForKey(const std::shared_ptr<NSString>& key) const;
  std::shared_ptr<NSData> dataForKey(const std::shared_ptr<NSString>& key) const;
  // Numbers, and strings read as numbers ("YES"/"true" for booleans); 0 / NO otherwise.
  NSInteger integerForKey(const std::shared_ptr<NSString>& key) const;
  float floatForKey(const std::shared_ptr<NSString>& key) const;
  double doubleForKey(const std::shared_ptr<NSString>& key) const;
  bool boolForKey(const std::shared_ptr<NSString>& key) const;

  void setInteger(NSInteger value, const std::shared_ptr<NSString>& key);
  void setFloat(float value, const std::shared_ptr<NSString>& key);
  void setDouble(double value, const std::shared_ptr<NSString>& key);
  void setBool(bool value, const std::shared_ptr<NSString>& key);

  // Values answered for keys that were never set; not persisted.
  void registerDefaults(const std::shared_ptr<NSDictionary>& registrationDictionary);
  // Registered values overlaid with the stored ones.
  std::shared_ptr<NSDictionary> dictionaryRepresentation() const;

  // Writes a pending change and reads changes made by another process. NO when the file
  // could not be written.
  bool synchronize();

  // The file the values live in.
  std::shared_ptr<NSString> persistentStorePath() const;

 private:
  struct FileStamp {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = -1;
    int64_t mtimeNanos = 0;
    bool operator==(const FileStamp&) const = default;
  };
  using Values = std::map<std::string, id>;

  id lookup(const std::shared_ptr<NSString>& key) const;
  void change(const std::shared_ptr<NSString>& key, const id& value);
  bool loadLocked();
  bool writeLocked();
  FileStamp stampLocked() const;

  const std::string path_;
  mutable std::mutex mutex_;
  Values values_;
  Values registered_;
  bool dirty_ = false;
  FileStamp stamp_;
};
