#pragma once
// Unordered collections of distinct objects (by isEqual/hash). The plain implementation keeps
// insertion order, so enumeration is repeatable. Nil members raise NSInvalidArgumentException.

#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/internal/Containers.h"

class NSMutableSet;

class NSSet : public NSObject {
 public:
  NSSet() = default;
  static std::shared_ptr<NSSet> set();
  static std::shared_ptr<NSSet> make(std::initializer_list<id> objects);
  static std::shared_ptr<NSSet> setWithObject(const id& object);
  static std::shared_ptr<NSSet> setWithObjects(std::vector<id> objects);
  static std::shared_ptr<NSSet> setWithArray(const std::shared_ptr<NSArray>& array);
  static std::shared_ptr<NSSet> setWithSet(const std::shared_ptr<NSSet>& other);

  NSUInteger count() const { return table_.count(); }
  // The member equal to the object, or nil.
  id member(const id& object) const { return object ? table_.find(object) : nullptr; }
  bool containsObject(const id& object) const { return member(object) != nullptr; }
  std::shared_ptr<NSArray> allObjects() const;
  std::vector<id> objects() const { return table_.keys(); }
  id anyObject() const;
  std::shared_ptr<NSEnumerator> objectEnumerator() const;
  bool isSubsetOfSet(const std::shared_ptr<NSSet>& other) const;
  bool intersectsSet(const std::shared_ptr<NSSet>& other) const;
  bool isEqualToSet(const std::shared_ptr<NSSet>& other) const;
  std::shared_ptr<NSSet> setByAddingObject(const id& object) const;
  std::shared_ptr<NSSet> setByAddingObjectsFromArray(const std::shared_ptr<NSArray>& array) const;
  std::shared_ptr<NSSet> filteredSetUsingPredicate(const std::function<bool(const id&)>& predicate) const;
  void enumerateObjectsUsingBlock(const std::function<void(const id& object, bool* stop)>& block) const;

  // Range-for over a snapshot of the members.
  class Members {
   public:
    explicit Members(std::vector<id> objects) : objects_(std::move(objects)) {}
    auto begin() const { return objects_.begin(); }
    auto end() const { return objects_.end(); }

   private:
    std::vector<id> objects_;
  };

  // "{(\n    a,\n    b\n)}"
  std::shared_ptr<NSString> description() const override;
  std::shared_ptr<NSString> descriptionWithLocale(const id& locale, NSUInteger level) const override;
  bool isEqual(const id& other) const override;
  NSUInteger hash() const override { return count(); }
  id copyWithZone() const override;
  id mutableCopyWithZone() const override;
  std::shared_ptr<NSSet> copy() const;
  std::shared_ptr<NSMutableSet> mutableCopy() const;
  // Key-value coding on a set: the set of each member's value.
  id valueForKey(const std::shared_ptr<NSString>& key) const override;

 protected:
  void insert(const id& object, const char* method);
  zvt::OrderedTable table_;
};

// for (const id& x : members(set))
inline NSSet::Members members(const std::shared_ptr<NSSet>& set) {
  return NSSet::Members(set ? set->objects() : std::vector<id>());
}

class NSMutableSet : public NSSet {
 public:
  static std::shared_ptr<NSMutableSet> set();
  static std::shared_ptr<NSMutableSet> setWithCapacity(NSUInteger capacity);
  static std::shared_ptr<NSMutableSet> make(std::initializer_list<id> objects);
  static std::shared_ptr<NSMutableSet> setWithArray(const std::shared_ptr<NSArray>& array);
  static std::shared_ptr<NSMutableSet> setWithSet(const std::shared_ptr<NSSet>& other);

  void addObject(const id& object) { insert(object, "addObject:"); }
  void removeObject(const id& object);
  void addObjectsFromArray(const std::shared_ptr<NSArray>& array);
  void unionSet(const std::shared_ptr<NSSet>& other);
  void minusSet(const std::shared_ptr<NSSet>& other);
  void intersectSet(const std::shared_ptr<NSSet>& other);
  void removeAllObjects() { table_.clear(); }
  void setSet(const std::shared_ptr<NSSet>& other);

  id copyWithZone() const override;
};
