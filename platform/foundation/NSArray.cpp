#include "platform/foundation/NSArray.h"

#include <algorithm>

#include "platform/foundation/NSException.h"
#include "platform/foundation/NSIndexSet.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/internal/Containers.h"

namespace zvt {

// Reading an array kept in a vector, the same for the immutable and the mutable kind.
template <class Base>
class VectorArray : public Base {
 public:
  VectorArray() = default;
  explicit VectorArray(std::vector<id> objects) : objects_(std::move(objects)) {}
  NSUInteger count() const override { return objects_.size(); }
  id objectAtIndex(NSUInteger index) const override {
    if (index >= objects_.size()) this->raiseBeyondBounds(index, "objectAtIndex:");
    return objects_[index];
  }
  void getObjects(id* buffer, NSRange range) const override {
    if (range.location > objects_.size() || range.length > objects_.size() - range.location) {
      this->raiseBeyondBounds(NSMaxRange(range), "getObjects:range:");
    }
    std::copy_n(objects_.begin() + static_cast<std::ptrdiff_t>(range.location), range.length, buffer);
  }
  void getUnretainedObjects(const NSObject** buffer, NSRange range) const override {
    if (range.location > objects_.size() || range.length > objects_.size() - range.location) {
      this->raiseBeyondBounds(NSMaxRange(range), "getObjects:range:");
    }
    const id* from = objects_.data() + range.location;
    for (NSUInteger i = 0; i < range.length; ++i) buffer[i] = from[i].get();
  }

 protected:
  std::vector<id> objects_;
};

// The plain immutable array behind the NSArray factories: its elements follow it in the same
// block (see makeWithTrailing).
class ArrayI final : public NSArray {
 public:
  static std::shared_ptr<NSArray> make(std::vector<id>&& objects) {
    auto array = makeWithTrailing<ArrayI>(objects.size() * sizeof(id), objects.size());
    std::uninitialized_move(objects.begin(), objects.end(), array->cells());
    return array;
  }
  explicit ArrayI(size_t count) : count_(count) {}
  ~ArrayI() override { std::destroy_n(cells(), count_); }
  std::string className() const override { return "__NSArrayI"; }
  NSUInteger count() const override { return count_; }
  id objectAtIndex(NSUInteger index) const override {
    if (index >= count_) raiseBeyondBounds(index, "objectAtIndex:");
    return cells()[index];
  }
  void getObjects(id* buffer, NSRange range) const override {
    checkRange(range);
    std::copy_n(cells() + range.location, range.length, buffer);
  }
  void getUnretainedObjects(const NSObject** buffer, NSRange range) const override {
    checkRange(range);
    const id* from = cells() + range.location;
    for (NSUInteger i = 0; i < range.length; ++i) buffer[i] = from[i].get();
  }
  id copyWithZone() const override { return self(); }

 private:
  id* cells() const { return trailingStorage<id>(this); }
  void checkRange(NSRange range) const {
    if (range.location > count_ || range.length > count_ - range.location) {
      raiseBeyondBounds(NSMaxRange(range), "getObjects:range:");
    }
  }
  NSUInteger count_;
};

// The plain mutable array behind the NSMutableArray factories.
class ArrayM : public VectorArray<NSMutableArray> {
 public:
  ArrayM() = default;
  explicit ArrayM(std::vector<id> objects) : VectorArray(std::move(objects)) {}
  std::string className() const override { return "__NSArrayM"; }
  void insertObject(const id& object, NSUInteger index) override {
    if (!object) raise(NSInvalidArgumentException, "*** -[" + className() + " insertObject:atIndex:]: object cannot be nil");
    if (index > objects_.size()) raiseBeyondBounds(index, "insertObject:atIndex:");
    objects_.insert(objects_.begin() + static_cast<std::ptrdiff_t>(index), object);
  }
  void addObject(const id& object) override {
    if (!object) raise(NSInvalidArgumentException, "*** -[" + className() + " insertObject:atIndex:]: object cannot be nil");
    objects_.push_back(object);
  }
  void removeObjectAtIndex(NSUInteger index) override {
    if (index >= objects_.size()) raiseBeyondBounds(index, "removeObjectAtIndex:");
    objects_.erase(objects_.begin() + static_cast<std::ptrdiff_t>(index));
  }
  void removeLastObject() override {
    if (objects_.empty()) raiseBeyondBounds(0, "removeLastObject");
    objects_.pop_back();
  }
  void replaceObjectAtIndex(NSUInteger index, const id& object) override {
    if (!object) raise(NSInvalidArgumentException, "*** -[" + className() + " replaceObjectAtIndex:withObject:]: object cannot be nil");
    if (index >= objects_.size()) raiseBeyondBounds(index, "replaceObjectAtIndex:withObject:");
    objects_[index] = object;
  }
  void removeAllObjects() override { objects_.clear(); }
  void reserve(NSUInteger capacity) { objects_.reserve(capacity); }
};

namespace {
void checkNoNil(const std::vector<id>& objects, const char* method) {
  for (size_t i = 0; i < objects.size(); ++i) {
    if (!objects[i]) {
      raise(NSInvalidArgumentException,
            format("*** -[__NSPlaceholderArray %s]: attempt to insert nil object from objects[%zu]", {method, i}));
    }
  }
}
}  // namespace

std::string indent(NSUInteger level) { return std::string(level * 4, ' '); }

std::string elementDescription(const id& object, NSUInteger level) {
  if (!object) return "(null)";
  auto text = object->descriptionWithLocale(nullptr, level);
  return text ? text->utf8() : "(null)";
}

}  // namespace zvt

// ---------------------------------------------------------------- NSArray factories

std::shared_ptr<NSArray> NSArray::array() {
  static const auto* empty = new std::shared_ptr<NSArray>(zvt::ArrayI::make(std::vector<id>()));
  return *empty;
}

std::shared_ptr<NSArray> NSArray::arrayWithObject(const id& object) { return make({object}); }

std::shared_ptr<NSArray> NSArray::make(std::initializer_list<id> objects) {
  return arrayWithObjects(std::vector<id>(objects));
}

std::shared_ptr<NSArray> NSArray::arrayWithObjects(std::vector<id> objects) {
  zvt::checkNoNil(objects, "initWithObjects:count:");
  return zvt::ArrayI::make(std::move(objects));
}

std::shared_ptr<NSArray> NSArray::arrayWithArray(const std::shared_ptr<NSArray>& other) {
  if (!other) return array();
  return zvt::ArrayI::make(other->allObjects());
}

// ---------------------------------------------------------------- NSArray

void NSArray::checkIndex(NSUInteger index, const char* method) const {
  if (index >= count()) raiseBeyondBounds(index, method);
}

void NSArray::raiseBeyondBounds(NSUInteger index, const char* method) const {
  NSUInteger n = count();
  if (n == 0) {
    zvt::raise(NSRangeException, zvt::format("*** -[%s %s]: index %lu beyond bounds for empty array",
                                             {className(), method, index}));
  }
  zvt::raise(NSRangeException, zvt::format("*** -[%s %s]: index %lu beyond bounds [0 .. %lu]",
                                           {className(), method, index, n - 1}));
}

void NSArray::getObjects(id* buffer, NSRange range) const {
  NSUInteger n = count();
  if (range.location > n || range.length > n - range.location) raiseBeyondBounds(NSMaxRange(range), "getObjects:range:");
  for (NSUInteger i = 0; i < range.length; ++i) buffer[i] = objectAtIndex(range.location + i);
}

void NSArray::getUnretainedObjects(const NSObject** buffer, NSRange range) const {
  const NSUInteger n = count();
  if (range.location > n || range.length > n - range.location) raiseBeyondBounds(NSMaxRange(range), "getObjects:range:");
  for (NSUInteger i = 0; i < range.length; ++i) buffer[i] = objectAtIndex(range.location + i).get();
}

std::vector<id> NSArray::allObjects() const {
  std::vector<id> out(count());
  if (!out.empty()) getObjects(out.data(), NSMakeRange(0, out.size()));
  return out;
}

id NSArray::firstObject() const { return count() ? objectAtIndex(0) : nullptr; }

id NSArray::lastObject() const {
  NSUInteger n = count();
  return n ? objectAtIndex(n - 1) : nullptr;
}

bool NSArray::containsObject(const id& object) const {
  return indexOfObject(object) != static_cast<NSUInteger>(NSNotFound);
}

NSUInteger NSArray::indexOfObject(const id& object) const { return indexOfObject(object, NSMakeRange(0, count())); }

NSUInteger NSArray::indexOfObject(const id& object, NSRange range) const {
  NSUInteger n = count();
  if (range.location > n || range.length > n - range.location) raiseBeyondBounds(NSMaxRange(range), "indexOfObject:inRange:");
  if (!object) return static_cast<NSUInteger>(NSNotFound);
  for (NSUInteger i = range.location; i < NSMaxRange(range); ++i) {
    id element = objectAtIndex(i);
    if (element == object || object->isEqual(element)) return i;
  }
  return static_cast<NSUInteger>(NSNotFound);
}

NSUInteger NSArray::indexOfObjectIdenticalTo(const id& object) const {
  NSUInteger n = count();
  for (NSUInteger i = 0; i < n; ++i) {
    if (objectAtIndex(i) == object) return i;
  }
  return static_cast<NSUInteger>(NSNotFound);
}

NSUInteger NSArray::indexOfObjectPassingTest(const std::function<bool(const id&, NSUInteger, bool*)>& predicate) const {
  bool stop = false;
  NSUInteger i = 0;
  for (const id& object : *this) {
    if (predicate(object, i, &stop)) return i;
    if (stop) break;
    ++i;
  }
  return static_cast<NSUInteger>(NSNotFound);
}

std::shared_ptr<NSArray> NSArray::objectsAtIndexes(const std::shared_ptr<NSIndexSet>& indexes) const {
  if (!indexes) zvt::raise(NSInvalidArgumentException, "*** -[NSArray objectsAtIndexes:]: index set cannot be nil");
  std::vector<id> out;
  NSUInteger last = indexes->lastIndex();
  if (last != static_cast<NSUInteger>(NSNotFound) && last >= count()) raiseBeyondBounds(last, "objectsAtIndexes:");
  for (NSUInteger i : indexes->allIndexes()) out.push_back(objectAtIndex(i));
  return NSArray::arrayWithObjects(std::move(out));
}

std::shared_ptr<NSArray> NSArray::arrayByAddingObject(const id& object) const {
  if (!object) zvt::raise(NSInvalidArgumentException, "*** -[NSArray arrayByAddingObject:]: object cannot be nil");
  std::vector<id> out = allObjects();
  out.push_back(object);
  return NSArray::arrayWithObjects(std::move(out));
}

std::shared_ptr<NSArray> NSArray::arrayByAddingObjectsFromArray(const std::shared_ptr<NSArray>& other) const {
  std::vector<id> out = allObjects();
  if (other) {
    std::vector<id> more = other->allObjects();
    out.insert(out.end(), more.begin(), more.end());
  }
  return NSArray::arrayWithObjects(std::move(out));
}

std::shared_ptr<NSArray> NSArray::subarrayWithRange(NSRange range) const {
  NSUInteger n = count();
  if (range.location > n || range.length > n - range.location) raiseBeyondBounds(NSMaxRange(range) - 1, "subarrayWithRange:");
  std::vector<id> out(range.length);
  if (range.length) getObjects(out.data(), range);
  return NSArray::arrayWithObjects(std::move(out));
}

std::shared_ptr<NSString> NSArray::componentsJoinedByString(const std::shared_ptr<NSString>& separator) const {
  std::string out;
  bool first = true;
  for (const id& object : *this) {
    if (!first && separator) out += separator->utf8();
    first = false;
    out += NSStringFromObject(object);
  }
  return NSString::fromValidUTF8(std::move(out));
}

std::shared_ptr<NSArray> NSArray::sortedArrayUsingComparator(const NSComparator& comparator) const {
  std::vector<id> out = allObjects();
  std::stable_sort(out.begin(), out.end(),
                   [&](const id& a, const id& b) { return comparator(a, b) == NSOrderedAscending; });
  return NSArray::arrayWithObjects(std::move(out));
}

NSComparisonResult zvt::compareObjects(const id& a, const id& b) {
  if (auto sa = std::dynamic_pointer_cast<NSString>(a)) {
    if (auto sb = std::dynamic_pointer_cast<NSString>(b)) return sa->compare(sb);
  }
  if (auto na = std::dynamic_pointer_cast<NSNumber>(a)) {
    if (auto nb = std::dynamic_pointer_cast<NSNumber>(b)) return na->compare(nb);
  }
  zvt::raise(NSInvalidArgumentException, "compare: cannot order " + (a ? a->className() : std::string("nil")) +
                                             " and " + (b ? b->className() : std::string("nil")));
}

std::shared_ptr<NSArray> NSArray::sortedArrayUsingCompare() const { return sortedArrayUsingComparator(zvt::compareObjects); }

std::shared_ptr<NSArray> NSArray::filteredArrayUsingPredicate(const std::function<bool(const id&)>& predicate) const {
  std::vector<id> out;
  for (const id& object : *this) {
    if (predicate(object)) out.push_back(object);
  }
  return NSArray::arrayWithObjects(std::move(out));
}

void NSArray::enumerateObjectsUsingBlock(const std::function<void(const id&, NSUInteger, bool*)>& block) const {
  bool stop = false;
  NSUInteger i = 0;
  for (const id& object : *this) {
    block(object, i++, &stop);
    if (stop) break;
  }
}

std::shared_ptr<NSEnumerator> NSArray::objectEnumerator() const {
  return std::make_shared<zvt::VectorEnumerator>(allObjects());
}

std::shared_ptr<NSEnumerator> NSArray::reverseObjectEnumerator() const {
  std::vector<id> objects = allObjects();
  std::reverse(objects.begin(), objects.end());
  return std::make_shared<zvt::VectorEnumerator>(std::move(objects));
}

bool NSArray::isEqualToArray(const std::shared_ptr<NSArray>& other) const {
  if (!other) return false;
  if (other.get() == this) return true;
  NSUInteger n = count();
  if (other->count() != n) return false;
  for (NSUInteger i = 0; i < n; ++i) {
    if (!zvt::objectsEqual(objectAtIndex(i), other->objectAtIndex(i))) return false;
  }
  return true;
}

NSArray::const_iterator::const_iterator(const NSArray* array, NSUInteger index)
    : array_(array), index_(index), count_(array ? array->count() : 0) {
  load();
}

void NSArray::const_iterator::load() {
  if (array_ && index_ < count_) current_ = array_->objectAtIndex(index_);
  else current_.reset();
}

NSArray::const_iterator& NSArray::const_iterator::operator++() {
  ++index_;
  if (array_ && array_->count() != count_) {
    zvt::raise(NSGenericException, "*** Collection <" + array_->className() + "> was mutated while being enumerated.");
  }
  load();
  return *this;
}

std::shared_ptr<NSString> NSArray::description() const { return descriptionWithLocale(nullptr, 0); }

std::shared_ptr<NSString> NSArray::descriptionWithLocale(const id& locale, NSUInteger level) const {
  (void)locale;
  std::string pad = zvt::indent(level);
  std::string out = pad + "(\n";
  NSUInteger n = count();
  for (NSUInteger i = 0; i < n; ++i) {
    out += pad + "    " + zvt::elementDescription(objectAtIndex(i), level + 1);
    out += i + 1 < n ? ",\n" : "\n";
  }
  out += pad + ")";
  return NSString::fromValidUTF8(std::move(out));
}

bool NSArray::isEqual(const id& other) const {
  if (other.get() == this) return true;
  auto array = std::dynamic_pointer_cast<NSArray>(other);
  return array && isEqualToArray(array);
}

NSUInteger NSArray::hash() const { return count(); }

id NSArray::copyWithZone() const { return zvt::ArrayI::make(allObjects()); }

id NSArray::mutableCopyWithZone() const { return std::make_shared<zvt::ArrayM>(allObjects()); }

std::shared_ptr<NSArray> NSArray::copy() const { return std::static_pointer_cast<NSArray>(copyWithZone()); }

std::shared_ptr<NSMutableArray> NSArray::mutableCopy() const {
  return std::static_pointer_cast<NSMutableArray>(mutableCopyWithZone());
}

id NSArray::valueForKey(const std::shared_ptr<NSString>& key) const {
  std::vector<id> out;
  for (const id& object : *this) {
    id value = object->valueForKey(key);
    out.push_back(value ? value : id(NSNull::null()));
  }
  return NSArray::arrayWithObjects(std::move(out));
}

// ---------------------------------------------------------------- NSMutableArray

std::shared_ptr<NSMutableArray> NSMutableArray::array() { return std::make_shared<zvt::ArrayM>(); }

std::shared_ptr<NSMutableArray> NSMutableArray::arrayWithCapacity(NSUInteger capacity) {
  auto array = std::make_shared<zvt::ArrayM>();
  array->reserve(capacity);
  return array;
}

std::shared_ptr<NSMutableArray> NSMutableArray::make(std::initializer_list<id> objects) {
  return arrayWithObjects(std::vector<id>(objects));
}

std::shared_ptr<NSMutableArray> NSMutableArray::arrayWithObjects(std::vector<id> objects) {
  zvt::checkNoNil(objects, "initWithObjects:count:");
  return std::make_shared<zvt::ArrayM>(std::move(objects));
}

std::shared_ptr<NSMutableArray> NSMutableArray::arrayWithArray(const std::shared_ptr<NSArray>& other) {
  return std::make_shared<zvt::ArrayM>(other ? other->allObjects() : std::vector<id>());
}

void NSMutableArray::removeLastObject() {
  NSUInteger n = count();
  if (n == 0) raiseBeyondBounds(0, "removeLastObject");
  removeObjectAtIndex(n - 1);
}

void NSMutableArray::removeAllObjects() {
  while (NSUInteger n = count()) removeObjectAtIndex(n - 1);
}

void NSMutableArray::addObjectsFromArray(const std::shared_ptr<NSArray>& other) {
  if (!other) return;
  for (const id& object : other->allObjects()) addObject(object);
}

void NSMutableArray::insertObjects(const std::shared_ptr<NSArray>& objects, const std::shared_ptr<NSIndexSet>& indexes) {
  if (!objects || !indexes) zvt::raise(NSInvalidArgumentException, "*** -[NSMutableArray insertObjects:atIndexes:]: nil argument");
  std::vector<NSUInteger> at = indexes->allIndexes();
  if (at.size() != objects->count()) {
    zvt::raise(NSInvalidArgumentException, "*** -[NSMutableArray insertObjects:atIndexes:]: count of array and index set differ");
  }
  for (size_t k = 0; k < at.size(); ++k) insertObject(objects->objectAtIndex(k), at[k]);
}

void NSMutableArray::removeObject(const id& object) {
  if (!object) return;
  for (NSUInteger i = count(); i-- > 0;) {
    id element = objectAtIndex(i);
    if (element == object || object->isEqual(element)) removeObjectAtIndex(i);
  }
}

void NSMutableArray::removeObjectIdenticalTo(const id& object) {
  for (NSUInteger i = count(); i-- > 0;) {
    if (objectAtIndex(i) == object) removeObjectAtIndex(i);
  }
}

void NSMutableArray::removeObjectsInRange(NSRange range) {
  NSUInteger n = count();
  if (range.location > n || range.length > n - range.location) raiseBeyondBounds(NSMaxRange(range) - 1, "removeObjectsInRange:");
  for (NSUInteger k = 0; k < range.length; ++k) removeObjectAtIndex(NSMaxRange(range) - 1 - k);
}

void NSMutableArray::removeObjectsAtIndexes(const std::shared_ptr<NSIndexSet>& indexes) {
  if (!indexes) zvt::raise(NSInvalidArgumentException, "*** -[NSMutableArray removeObjectsAtIndexes:]: index set cannot be nil");
  NSUInteger last = indexes->lastIndex();
  if (last != static_cast<NSUInteger>(NSNotFound) && last >= count()) raiseBeyondBounds(last, "removeObjectsAtIndexes:");
  std::vector<NSUInteger> at = indexes->allIndexes();
  for (auto it = at.rbegin(); it != at.rend(); ++it) removeObjectAtIndex(*it);
}

void NSMutableArray::removeObjectsInArray(const std::shared_ptr<NSArray>& objects) {
  if (!objects) return;
  for (const id& object : objects->allObjects()) removeObject(object);
}

void NSMutableArray::exchangeObjectAtIndex(NSUInteger index1, NSUInteger index2) {
  checkIndex(index1, "exchangeObjectAtIndex:withObjectAtIndex:");
  checkIndex(index2, "exchangeObjectAtIndex:withObjectAtIndex:");
  id a = objectAtIndex(index1);
  id b = objectAtIndex(index2);
  replaceObjectAtIndex(index1, b);
  replaceObjectAtIndex(index2, a);
}

void NSMutableArray::setObject(const id& object, NSUInteger index) {
  if (index == count()) addObject(object);
  else replaceObjectAtIndex(index, object);
}

void NSMutableArray::setArray(const std::shared_ptr<NSArray>& other) {
  std::vector<id> objects = other ? other->allObjects() : std::vector<id>();
  removeAllObjects();
  for (const id& object : objects) addObject(object);
}

void NSMutableArray::sortUsingComparator(const NSComparator& comparator) {
  setArray(sortedArrayUsingComparator(comparator));
}

void NSMutableArray::filterUsingPredicate(const std::function<bool(const id&)>& predicate) {
  setArray(filteredArrayUsingPredicate(predicate));
}

id NSMutableArray::copyWithZone() const { return zvt::ArrayI::make(allObjects()); }
