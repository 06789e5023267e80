#pragma once
// Keyed collections. NSDictionary and NSMutableDictionary are abstract: a subclass implements the
// primitives (count, objectForKey, keyEnumerator; setObject, removeObjectForKey) and inherits the
// rest. The factories make the plain implementation, a hash table that keeps insertion order.
// Keys are compared with isEqual/hash and copied on insertion; nil keys or objects raise
// NSInvalidArgumentException.

#include <functional>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSEnumerator.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"

class NSMutableDictionary;

class NSDictionary : public NSObject {
 public:
  // --- factories (immutable)
  static std::shared_ptr<NSDictionary> dictionary();
  // `@{k: v, ...}`: NSDictionary::make({{k, v}, ...}); a later equal key replaces an earlier one.
  static std::shared_ptr<NSDictionary> make(std::initializer_list<std::pair<id, id>> entries);
  static std::shared_ptr<NSDictionary> dictionaryWithPairs(std::vector<std::pair<id, id>> entries);
  static std::shared_ptr<NSDictionary> dictionaryWithObject(const id& object, const id& key);
  static std::shared_ptr<NSDictionary> dictionaryWithObjects(const std::shared_ptr<NSArray>& objects,
                                                             const std::shared_ptr<NSArray>& keys);
  static std::shared_ptr<NSDictionary> dictionaryWithDictionary(const std::shared_ptr<NSDictionary>& other);

  // --- primitives
  virtual NSUInteger count() const = 0;
  virtual id objectForKey(const id& key) const = 0;
  virtual std::shared_ptr<NSEnumerator> keyEnumerator() const = 0;

  // --- derived (overridable for speed)
  virtual void enumerateKeysAndObjectsUsingBlock(
      const std::function<void(const id& key, const id& object, bool* stop)>& block) const;
  // `getObjects:andKeys:count:` without taking references, for code that walks many entries at
  // speed (the JSON writer): up to `count` entries in the dictionary's own order, from `position`
  // (0 at first), which moves past them; answers how many were written, fewer than `count` only
  // when the end is reached. The addresses stay valid while the dictionary holds the entries
  // unchanged. Either buffer may be null.
  virtual NSUInteger getUnretainedObjectsAndKeys(const NSObject** objects, const NSObject** keys, NSUInteger count,
                                                 NSUInteger& position) const;
  id operator[](const id& key) const { return objectForKey(key); }
  id objectForKeyedSubscript(const id& key) const { return objectForKey(key); }
  std::shared_ptr<NSArray> allKeys() const;
  std::shared_ptr<NSArray> allValues() const;
  std::shared_ptr<NSArray> allKeysForObject(const id& object) const;
  std::vector<std::pair<id, id>> allPairs() const;
  std::shared_ptr<NSEnumerator> objectEnumerator() const;
  std::shared_ptr<NSArray> objectsForKeys(const std::shared_ptr<NSArray>& keys, const id& notFoundMarker) const;
  std::shared_ptr<NSArray> keysSortedByValueUsingComparator(const NSComparator& comparator) const;
  bool isEqualToDictionary(const std::shared_ptr<NSDictionary>& other) const;

  // Range-for walks the keys.
  class const_iterator {
   public:
    using iterator_category = std::input_iterator_tag;
    using value_type = id;
    using difference_type = std::ptrdiff_t;
    using pointer = const id*;
    using reference = const id&;
    const_iterator() = default;
    explicit const_iterator(std::shared_ptr<NSEnumerator> enumerator);
    const id& operator*() const { return current_; }
    const id* operator->() const { return &current_; }
    const_iterator& operator++();
    void operator++(int) { ++*this; }
    bool operator==(const const_iterator& other) const { return current_ == other.current_; }

   private:
    std::shared_ptr<NSEnumerator> enumerator_;
    id current_;
  };
  const_iterator begin() const { return const_iterator(keyEnumerator()); }
  const_iterator end() const { return const_iterator(); }

  // --- NSObject
  // Foundation's form: "{\n    key = value;\n}", keys sorted when they are all strings.
  std::shared_ptr<NSString> description() const override;
  std::shared_ptr<NSString> descriptionWithLocale(const id& locale, NSUInteger level) const override;
  std::shared_ptr<NSString> descriptionInStringsFileFormat() const;
  bool isEqual(const id& other) const override;
  NSUInteger hash() const override;
  id copyWithZone() const override;
  id mutableCopyWithZone() const override;
  std::shared_ptr<NSDictionary> copy() const;
  std::shared_ptr<NSMutableDictionary> mutableCopy() const;
  // Key-value coding on a dictionary reads the entry.
  id valueForKey(const std::shared_ptr<NSString>& key) const override { return objectForKey(key); }
};

class NSMutableDictionary : public NSDictionary {
 public:
  static std::shared_ptr<NSMutableDictionary> dictionary();
  static std::shared_ptr<NSMutableDictionary> dictionaryWithCapacity(NSUInteger capacity);
  static std::shared_ptr<NSMutableDictionary> make(std::initializer_list<std::pair<id, id>> entries);
  static std::shared_ptr<NSMutableDictionary> dictionaryWithDictionary(const std::shared_ptr<NSDictionary>& other);

  // --- primitives
  virtual void setObject(const id& object, const id& key) = 0;
  virtual void removeObjectForKey(const id& key) = 0;

  // --- derived
  virtual void removeAllObjects();
  void setObjectForKeyedSubscript(const id& object, const id& key);  // nil removes
  void addEntriesFromDictionary(const std::shared_ptr<NSDictionary>& other);
  void removeObjectsForKeys(const std::shared_ptr<NSArray>& keys);
  void setDictionary(const std::shared_ptr<NSDictionary>& other);
  // Key-value coding on a mutable dictionary: sets the entry, nil removes it.
  void setValueForKey(const id& value, const std::shared_ptr<NSString>& key) override;

  id copyWithZone() const override;
};
