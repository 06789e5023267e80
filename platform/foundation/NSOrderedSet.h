#pragma once
// Ordered collections of distinct objects: array order with set membership.

#include <initializer_list>
#include <memory>
#include <vector>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSSet.h"

class NSMutableOrderedSet;

class NSOrderedSet : public NSObject {
 public:
  NSOrderedSet() = default;
  static std::shared_ptr<NSOrderedSet> orderedSet();
  static std::shared_ptr<NSOrderedSet> make(std::initializer_list<id> objects);
  static std::shared_ptr<NSOrderedSet> orderedSetWithArray(const std::shared_ptr<NSArray>& array);
  static std::shared_ptr<NSOrderedSet> orderedSetWithObjects(std::vector<id> objects);

  NSUInteger count() const { return objects_.size(); }
  id objectAtIndex(NSUInteger index) const;
  id operator[](NSUInteger index) const { return objectAtIndex(index); }
  NSUInteger indexOfObject(const id& object) const;
  bool containsObject(const id& object) const { return object && members_.find(object) != nullptr; }
  id firstObject() const { return objects_.empty() ? nullptr : objects_.front(); }
  id lastObject() const { return objects_.empty() ? nullptr : objects_.back(); }
  std::shared_ptr<NSArray> array() const { return NSArray::arrayWithObjects(objects_); }
  std::shared_ptr<NSSet> set() const { return NSSet::setWithObjects(objects_); }
  bool isEqualToOrderedSet(const std::shared_ptr<NSOrderedSet>& other) const;
  auto begin() const { return objects_.begin(); }
  auto end() const { return objects_.end(); }

  // "{(\n    a,\n    b\n)}"
  std::shared_ptr<NSString> description() const override;
  std::shared_ptr<NSString> descriptionWithLocale(const id& locale, NSUInteger level) const override;
  bool isEqual(const id& other) const override;
  NSUInteger hash() const override { return count(); }
  id copyWithZone() const override;
  id mutableCopyWithZone() const override;

 protected:
  void append(const id& object, const char* method);  // ignored when already a member
  void rebuild(std::vector<id> objects);
  [[noreturn]] void raiseBeyondBounds(NSUInteger index, const char* method) const;
  std::vector<id> objects_;
  zvt::OrderedTable members_;
};

class NSMutableOrderedSet : public NSOrderedSet {
 public:
  static std::shared_ptr<NSMutableOrderedSet> orderedSet();
  static std::shared_ptr<NSMutableOrderedSet> orderedSetWithArray(const std::shared_ptr<NSArray>& array);

  void addObject(const id& object) { append(object, "addObject:"); }
  void addObjectsFromArray(const std::shared_ptr<NSArray>& array);
  // Does nothing when the object is already a member.
  void insertObject(const id& object, NSUInteger index);
  void removeObject(const id& object);
  void removeObjectAtIndex(NSUInteger index);
  void removeAllObjects();

  id copyWithZone() const override;
};
