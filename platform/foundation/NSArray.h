#pragma once
// Ordered collections. NSArray and NSMutableArray are abstract: a subclass implements the
// primitives (count, objectAtIndex; insertObject, removeObjectAtIndex, replaceObjectAtIndex,
// addObject, removeLastObject) and inherits the rest. The factories make the plain vector-backed
// implementation. Arrays never hold nil (NSInvalidArgumentException); indexes beyond the end
// raise NSRangeException.

#include <functional>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <vector>

#include "platform/foundation/NSEnumerator.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"

class NSIndexSet;
class NSMutableArray;

using NSComparator = std::function<NSComparisonResult(const id& a, const id& b)>;

namespace zvt {
// compare: of two strings or two numbers; NSInvalidArgumentException for anything else.
NSComparisonResult compareObjects(const id& a, const id& b);
}  // namespace zvt

class NSArray : public NSObject {
 public:
  // --- factories (immutable, vector-backed)
  static std::shared_ptr<NSArray> array();
  static std::shared_ptr<NSArray> arrayWithObject(const id& object);
  // `@[a, b, c]`: NSArray::make({a, b, c}).
  static std::shared_ptr<NSArray> make(std::initializer_list<id> objects);
  static std::shared_ptr<NSArray> arrayWithObjects(std::vector<id> objects);
  static std::shared_ptr<NSArray> arrayWithArray(const std::shared_ptr<NSArray>& other);

  // --- primitives
  virtual NSUInteger count() const = 0;
  virtual id objectAtIndex(NSUInteger index) const = 0;

  // --- derived (overridable for speed)
  virtual void getObjects(id* buffer, NSRange range) const;
  // The elements of `range` without taking references, as Objective-C's unretained fetch: their
  // addresses stay valid while the array holds them unchanged. For code that walks many
  // elements at speed (the JSON writer). NSRangeException beyond the end.
  virtual void getUnretainedObjects(const NSObject** buffer, NSRange range) const;
  std::vector<id> allObjects() const;  // the elements as a vector
  id operator[](NSUInteger index) const { return objectAtIndex(index); }
  id objectAtIndexedSubscript(NSUInteger index) const { return objectAtIndex(index); }
  id firstObject() const;
  id lastObject() const;
  bool containsObject(const id& object) const;
  NSUInteger indexOfObject(const id& object) const;
  NSUInteger indexOfObject(const id& object, NSRange range) const;
  NSUInteger indexOfObjectIdenticalTo(const id& object) const;
  NSUInteger indexOfObjectPassingTest(const std::function<bool(const id&, NSUInteger, bool*)>& predicate) const;
  std::shared_ptr<NSArray> objectsAtIndexes(const std::shared_ptr<NSIndexSet>& indexes) const;
  std::shared_ptr<NSArray> arrayByAddingObject(const id& object) const;
  std::shared_ptr<NSArray> arrayByAddingObjectsFromArray(const std::shared_ptr<NSArray>& other) const;
  std::shared_ptr<NSArray> subarrayWithRange(NSRange range) const;
  // Each element's description (a string's own text) joined by the separator.
  std::shared_ptr<NSString> componentsJoinedByString(const std::shared_ptr<NSString>& separator) const;
  // Stable sort.
  std::shared_ptr<NSArray> sortedArrayUsingComparator(const NSComparator& comparator) const;
  // Sort with each element's compare (strings, numbers); NSInvalidArgumentException otherwise.
  std::shared_ptr<NSArray> sortedArrayUsingCompare() const;
  std::shared_ptr<NSArray> filteredArrayUsingPredicate(const std::function<bool(const id&)>& predicate) const;
  void enumerateObjectsUsingBlock(const std::function<void(const id& object, NSUInteger index, bool* stop)>& block) const;
  std::shared_ptr<NSEnumerator> objectEnumerator() const;
  std::shared_ptr<NSEnumerator> reverseObjectEnumerator() const;
  bool isEqualToArray(const std::shared_ptr<NSArray>& other) const;

  // Range-for walks the elements; changing the count meanwhile raises NSGenericException.
  class const_iterator {
   public:
    using iterator_category = std::input_iterator_tag;
    using value_type = id;
    using difference_type = std::ptrdiff_t;
    using pointer = const id*;
    using reference = const id&;
    const_iterator() = default;
    const_iterator(const NSArray* array, NSUInteger index);
    const id& operator*() const { return current_; }
    const id* operator->() const { return &current_; }
    const_iterator& operator++();
    void operator++(int) { ++*this; }
    bool operator==(const const_iterator& other) const { return index_ == other.index_; }

   private:
    void load();
    const NSArray* array_ = nullptr;
    NSUInteger index_ = 0;
    NSUInteger count_ = 0;
    id current_;
  };
  const_iterator begin() const { return const_iterator(this, 0); }
  const_iterator end() const { return const_iterator(nullptr, count()); }

  // --- NSObject
  std::shared_ptr<NSString> description() const override;
  std::shared_ptr<NSString> descriptionWithLocale(const id& locale, NSUInteger level) const override;
  bool isEqual(const id& other) const override;
  NSUInteger hash() const override;
  // An immutable copy (the plain immutable array returns itself).
  id copyWithZone() const override;
  id mutableCopyWithZone() const override;
  std::shared_ptr<NSArray> copy() const;
  std::shared_ptr<NSMutableArray> mutableCopy() const;
  // Key-value coding on an array: the array of each element's value (NSNull for nil).
  id valueForKey(const std::shared_ptr<NSString>& key) const override;

 protected:
  void checkIndex(NSUInteger index, const char* method) const;
  [[noreturn]] void raiseBeyondBounds(NSUInteger index, const char* method) const;
};

class NSMutableArray : public NSArray {
 public:
  static std::shared_ptr<NSMutableArray> array();
  static std::shared_ptr<NSMutableArray> arrayWithCapacity(NSUInteger capacity);
  static std::shared_ptr<NSMutableArray> make(std::initializer_list<id> objects);
  static std::shared_ptr<NSMutableArray> arrayWithObjects(std::vector<id> objects);
  static std::shared_ptr<NSMutableArray> arrayWithArray(const std::shared_ptr<NSArray>& other);

  // --- primitives
  virtual void insertObject(const id& object, NSUInteger index) = 0;
  virtual void removeObjectAtIndex(NSUInteger index) = 0;
  virtual void replaceObjectAtIndex(NSUInteger index, const id& object) = 0;
  virtual void addObject(const id& object) { insertObject(object, count()); }
  virtual void removeLastObject();

  // --- derived
  virtual void removeAllObjects();
  void addObjectsFromArray(const std::shared_ptr<NSArray>& other);
  void insertObjects(const std::shared_ptr<NSArray>& objects, const std::shared_ptr<NSIndexSet>& indexes);
  void removeObject(const id& object);  // every element equal to it
  void removeObjectIdenticalTo(const id& object);
  void removeObjectsInRange(NSRange range);
  void removeObjectsAtIndexes(const std::shared_ptr<NSIndexSet>& indexes);
  void removeObjectsInArray(const std::shared_ptr<NSArray>& objects);
  void exchangeObjectAtIndex(NSUInteger index1, NSUInteger index2);
  void setObject(const id& object, NSUInteger index);  // replaces, or appends at count
  void setArray(const std::shared_ptr<NSArray>& other);
  void sortUsingComparator(const NSComparator& comparator);
  void filterUsingPredicate(const std::function<bool(const id&)>& predicate);

  id copyWithZone() const override;
};
