#pragma once
// The root of the object model. Objects live in std::shared_ptr; `id` is a strong reference to
// any object, an empty pointer is nil.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <vector>

using NSInteger = int64_t;
using NSUInteger = uint64_t;
using unichar = char16_t;

inline constexpr NSInteger NSIntegerMax = INT64_MAX;
inline constexpr NSInteger NSIntegerMin = INT64_MIN;
inline constexpr NSUInteger NSUIntegerMax = UINT64_MAX;
inline constexpr NSInteger NSNotFound = NSIntegerMax;

enum NSComparisonResult : NSInteger {
  NSOrderedAscending = -1,
  NSOrderedSame = 0,
  NSOrderedDescending = 1,
};

struct NSRange {
  NSUInteger location = 0;
  NSUInteger length = 0;
  friend bool operator==(const NSRange&, const NSRange&) = default;
};

inline NSRange NSMakeRange(NSUInteger location, NSUInteger length) { return NSRange{location, length}; }
inline NSUInteger NSMaxRange(NSRange range) { return range.location + range.length; }
inline bool NSLocationInRange(NSUInteger location, NSRange range) {
  return location >= range.location && location - range.location < range.length;
}
inline bool NSEqualRanges(NSRange a, NSRange b) { return a == b; }

class NSObject;
class NSString;
class NSArray;
class NSDictionary;

using id = std::shared_ptr<NSObject>;

namespace zvt {
class KVCClass;
}

// Key-value observing options (see platform/foundation/NSKeyValueObserving.h).
using NSKeyValueObservingOptions = NSUInteger;
inline constexpr NSKeyValueObservingOptions NSKeyValueObservingOptionNew = 0x01;
inline constexpr NSKeyValueObservingOptions NSKeyValueObservingOptionOld = 0x02;
inline constexpr NSKeyValueObservingOptions NSKeyValueObservingOptionInitial = 0x04;
inline constexpr NSKeyValueObservingOptions NSKeyValueObservingOptionPrior = 0x08;

class NSObject : public std::enable_shared_from_this<NSObject> {
 public:
  NSObject() = default;
  NSObject(const NSObject&) = default;
  NSObject& operator=(const NSObject&) = default;
  virtual ~NSObject();

  static std::shared_ptr<NSObject> make() { return std::make_shared<NSObject>(); }

  // The object itself as a strong reference (the object must be owned by a shared_ptr, or live
  // in a zvt::ObjectArena, whose ownership the reference then shares).
  id self() const;

  // The class name without namespaces ("NSString", "TZProductModel").
  virtual std::string className() const;

  template <class T>
  bool isKindOfClass() const {
    if constexpr (std::is_base_of_v<T, NSObject>) {
      return true;  // every object is an NSObject (and `this` is never null)
    } else {
      return dynamic_cast<const T*>(this) != nullptr;
    }
  }
  template <class T>
  bool isMemberOfClass() const {
    return typeid(*this) == typeid(T);
  }

  // "<ClassName: 0x7f...>" unless a class has a text form of its own.
  virtual std::shared_ptr<NSString> description() const;
  // The text form as a container prints it at a nesting level (4 blanks per level): containers
  // lay themselves out; any other object shows its description, quoted unless a plain word.
  virtual std::shared_ptr<NSString> descriptionWithLocale(const id& locale, NSUInteger level) const;
  virtual std::shared_ptr<NSString> debugDescription() const;

  // Identity unless a class defines value equality; equal objects have equal hashes.
  virtual bool isEqual(const id& other) const;
  virtual NSUInteger hash() const;

  // Copying: the primitives are copyWithZone/mutableCopyWithZone (NSCopying/NSMutableCopying);
  // an object of a class without them raises NSInvalidArgumentException.
  virtual id copyWithZone() const;
  virtual id mutableCopyWithZone() const;
  id copy() const { return copyWithZone(); }
  id mutableCopy() const { return mutableCopyWithZone(); }

  // Key-value coding (see platform/foundation/NSKeyValueCoding.h for the property tables).
  virtual id valueForKey(const std::shared_ptr<NSString>& key) const;
  virtual void setValueForKey(const id& value, const std::shared_ptr<NSString>& key);
  virtual id valueForUndefinedKey(const std::shared_ptr<NSString>& key) const;
  virtual void setValueForUndefinedKey(const id& value, const std::shared_ptr<NSString>& key);
  // A nil for a scalar property; raises NSInvalidArgumentException.
  virtual void setNilValueForKey(const std::shared_ptr<NSString>& key);
  virtual void setValuesForKeysWithDictionary(const std::shared_ptr<NSDictionary>& keyedValues);
  virtual std::shared_ptr<NSDictionary> dictionaryWithValuesForKeys(const std::shared_ptr<NSArray>& keys) const;
  id valueForKeyPath(const std::shared_ptr<NSString>& keyPath) const;
  void setValueForKeyPath(const id& value, const std::shared_ptr<NSString>& keyPath);
  // The property table of the object's class; classes with key-value coded properties override it.
  virtual const zvt::KVCClass* kvcClass() const;

  // Key-value observing (see platform/foundation/NSKeyValueObserving.h). The observed object
  // must be owned by a shared_ptr; the observer is held weakly.
  void addObserver(const id& observer, const std::shared_ptr<NSString>& keyPath, NSKeyValueObservingOptions options,
                   void* context);
  // Removes the latest matching registration; raises NSRangeException when there is none
  // (unless the observer or this object is being destroyed, when a missing one is no fault).
  void removeObserver(const NSObject* observer, const std::shared_ptr<NSString>& keyPath);
  void removeObserver(const NSObject* observer, const std::shared_ptr<NSString>& keyPath, void* context);
  void removeObserver(const id& observer, const std::shared_ptr<NSString>& keyPath) { removeObserver(observer.get(), keyPath); }
  void removeObserver(const id& observer, const std::shared_ptr<NSString>& keyPath, void* context) {
    removeObserver(observer.get(), keyPath, context);
  }
  // Told of each change of an observed key path; the base raises NSInternalInconsistencyException.
  virtual void observeValueForKeyPath(const std::shared_ptr<NSString>& keyPath, const id& object,
                                      const std::shared_ptr<NSDictionary>& change, void* context);
  // A setter announces a change of `key` around its store; observers are told on this thread.
  virtual void willChangeValueForKey(std::string_view key);
  virtual void didChangeValueForKey(std::string_view key);
};

namespace zvt {

// Checked downcast: nil when `object` is nil or not of class T.
template <class T, class U>
std::shared_ptr<T> as(const std::shared_ptr<U>& object) {
  return std::dynamic_pointer_cast<T>(object);
}

template <class T, class U>
bool isKind(const std::shared_ptr<U>& object) {
  return object && dynamic_cast<const T*>(object.get()) != nullptr;
}

// Demangled class name of a C++ type without namespaces.
std::string demangledClassName(const std::type_info& type);

// Equality that treats two nils as equal: the rule of [a isEqual:b] || a == b.
inline bool objectsEqual(const id& a, const id& b) {
  if (a == b) return true;
  if (!a || !b) return false;
  return a->isEqual(b);
}

}  // namespace zvt
