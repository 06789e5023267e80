#include "platform/foundation/NSSet.h"

#include "platform/foundation/NSException.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSOrderedSet.h"
#include "platform/foundation/NSString.h"

namespace {
std::string membersDescription(const std::vector<id>& objects, NSUInteger level) {
  std::string pad = zvt::indent(level);
  std::string out = pad + "{(\n";
  for (size_t i = 0; i < objects.size(); ++i) {
    out += pad + "    " + zvt::elementDescription(objects[i], level + 1);
    out += i + 1 < objects.size() ? ",\n" : "\n";
  }
  out += pad + ")}";
  return out;
}
}  // namespace

// ---------------------------------------------------------------- NSSet

void NSSet::insert(const id& object, const char* method) {
  if (!object) zvt::raise(NSInvalidArgumentException, "*** -[" + className() + " " + method + "]: object cannot be nil");
  if (!table_.find(object)) table_.set(object, object);
}

std::shared_ptr<NSSet> NSSet::set() { return std::make_shared<NSSet>(); }

std::shared_ptr<NSSet> NSSet::make(std::initializer_list<id> objects) { return setWithObjects(std::vector<id>(objects)); }

std::shared_ptr<NSSet> NSSet::setWithObject(const id& object) { return make({object}); }

std::shared_ptr<NSSet> NSSet::setWithObjects(std::vector<id> objects) {
  auto s = std::make_shared<NSSet>();
  for (const id& object : objects) s->insert(object, "initWithObjects:count:");
  return s;
}

std::shared_ptr<NSSet> NSSet::setWithArray(const std::shared_ptr<NSArray>& array) {
  return setWithObjects(array ? array->allObjects() : std::vector<id>());
}

std::shared_ptr<NSSet> NSSet::setWithSet(const std::shared_ptr<NSSet>& other) {
  return setWithObjects(other ? other->objects() : std::vector<id>());
}

std::shared_ptr<NSArray> NSSet::allObjects() const { return NSArray::arrayWithObjects(table_.keys()); }

id NSSet::anyObject() const {
  id first;
  table_.forEach([&](const id& key, const id&) {
    first = key;
    return true;
  });
  return first;
}

std::shared_ptr<NSEnumerator> NSSet::objectEnumerator() const { return std::make_shared<zvt::VectorEnumerator>(table_.keys()); }

bool NSSet::isSubsetOfSet(const std::shared_ptr<NSSet>& other) const {
  if (!other) return count() == 0;
  return !table_.forEach([&](const id& key, const id&) { return !other->containsObject(key); });
}

bool NSSet::intersectsSet(const std::shared_ptr<NSSet>& other) const {
  if (!other) return false;
  return table_.forEach([&](const id& key, const id&) { return other->containsObject(key); });
}

bool NSSet::isEqualToSet(const std::shared_ptr<NSSet>& other) const {
  return other && other->count() == count() && isSubsetOfSet(other);
}

std::shared_ptr<NSSet> NSSet::setByAddingObject(const id& object) const {
  auto s = std::make_shared<NSSet>(*this);
  s->insert(object, "setByAddingObject:");
  return s;
}

std::shared_ptr<NSSet> NSSet::setByAddingObjectsFromArray(const std::shared_ptr<NSArray>& array) const {
  auto s = std::make_shared<NSSet>(*this);
  if (array) {
    for (const id& object : *array) s->insert(object, "setByAddingObjectsFromArray:");
  }
  return s;
}

std::shared_ptr<NSSet> NSSet::filteredSetUsingPredicate(const std::function<bool(const id&)>& predicate) const {
  auto s = std::make_shared<NSSet>();
  for (const id& object : table_.keys()) {
    if (predicate(object)) s->insert(object, "filteredSetUsingPredicate:");
  }
  return s;
}

void NSSet::enumerateObjectsUsingBlock(const std::function<void(const id&, bool*)>& block) const {
  bool stop = false;
  for (const id& object : table_.keys()) {
    block(object, &stop);
    if (stop) break;
  }
}

std::shared_ptr<NSString> NSSet::description() const { return descriptionWithLocale(nullptr, 0); }

std::shared_ptr<NSString> NSSet::descriptionWithLocale(const id&, NSUInteger level) const {
  return NSString::fromValidUTF8(membersDescription(table_.keys(), level));
}

bool NSSet::isEqual(const id& other) const {
  if (other.get() == this) return true;
  auto s = std::dynamic_pointer_cast<NSSet>(other);
  return s && isEqualToSet(s);
}

id NSSet::copyWithZone() const {
  if (typeid(*this) == typeid(NSSet)) return self();
  auto s = std::make_shared<NSSet>();
  s->table_ = table_;
  return s;
}

id NSSet::mutableCopyWithZone() const {
  auto s = std::make_shared<NSMutableSet>();
  for (const id& object : table_.keys()) s->addObject(object);
  return s;
}

std::shared_ptr<NSSet> NSSet::copy() const { return std::static_pointer_cast<NSSet>(copyWithZone()); }

std::shared_ptr<NSMutableSet> NSSet::mutableCopy() const { return std::static_pointer_cast<NSMutableSet>(mutableCopyWithZone()); }

id NSSet::valueForKey(const std::shared_ptr<NSString>& key) const {
  auto s = std::make_shared<NSSet>();
  for (const id& object : table_.keys()) {
    id value = object->valueForKey(key);
    if (value) s->insert(value, "valueForKey:");
  }
  return s;
}

// ---------------------------------------------------------------- NSMutableSet

std::shared_ptr<NSMutableSet> NSMutableSet::set() { return std::make_shared<NSMutableSet>(); }

std::shared_ptr<NSMutableSet> NSMutableSet::setWithCapacity(NSUInteger capacity) {
  auto s = std::make_shared<NSMutableSet>();
  s->table_.reserve(capacity);
  return s;
}

std::shared_ptr<NSMutableSet> NSMutableSet::make(std::initializer_list<id> objects) {
  auto s = std::make_shared<NSMutableSet>();
  for (const id& object : objects) s->addObject(object);
  return s;
}

std::shared_ptr<NSMutableSet> NSMutableSet::setWithArray(const std::shared_ptr<NSArray>& array) {
  auto s = std::make_shared<NSMutableSet>();
  s->addObjectsFromArray(array);
  return s;
}

std::shared_ptr<NSMutableSet> NSMutableSet::setWithSet(const std::shared_ptr<NSSet>& other) {
  auto s = std::make_shared<NSMutableSet>();
  s->unionSet(other);
  return s;
}

void NSMutableSet::removeObject(const id& object) {
  if (!object) zvt::raise(NSInvalidArgumentException, "*** -[" + className() + " removeObject:]: object cannot be nil");
  table_.remove(object);
}

void NSMutableSet::addObjectsFromArray(const std::shared_ptr<NSArray>& array) {
  if (!array) return;
  for (const id& object : array->allObjects()) addObject(object);
}

void NSMutableSet::unionSet(const std::shared_ptr<NSSet>& other) {
  if (!other) return;
  for (const id& object : other->objects()) addObject(object);
}

void NSMutableSet::minusSet(const std::shared_ptr<NSSet>& other) {
  if (!other) return;
  for (const id& object : other->objects()) table_.remove(object);
}

void NSMutableSet::intersectSet(const std::shared_ptr<NSSet>& other) {
  for (const id& object : table_.keys()) {
    if (!other || !other->containsObject(object)) table_.remove(object);
  }
}

void NSMutableSet::setSet(const std::shared_ptr<NSSet>& other) {
  std::vector<id> objects = other ? other->objects() : std::vector<id>();
  table_.clear();
  for (const id& object : objects) addObject(object);
}

id NSMutableSet::copyWithZone() const { return NSSet::setWithObjects(table_.keys()); }

// ---------------------------------------------------------------- NSOrderedSet

void NSOrderedSet::append(const id& object, const char* method) {
  if (!object) zvt::raise(NSInvalidArgumentException, "*** -[" + className() + " " + method + "]: object cannot be nil");
  if (members_.find(object)) return;
  members_.set(object, object);
  objects_.push_back(object);
}

void NSOrderedSet::rebuild(std::vector<id> objects) {
  objects_.clear();
  members_.clear();
  for (const id& object : objects) append(object, "rebuild");
}

void NSOrderedSet::raiseBeyondBounds(NSUInteger index, const char* method) const {
  zvt::raise(NSRangeException, zvt::format("*** -[%s %s]: index %lu beyond bounds [0 .. %ld]",
                                           {className(), method, index, static_cast<long>(objects_.size()) - 1}));
}

std::shared_ptr<NSOrderedSet> NSOrderedSet::orderedSet() { return std::make_shared<NSOrderedSet>(); }

std::shared_ptr<NSOrderedSet> NSOrderedSet::make(std::initializer_list<id> objects) {
  return orderedSetWithObjects(std::vector<id>(objects));
}

std::shared_ptr<NSOrderedSet> NSOrderedSet::orderedSetWithArray(const std::shared_ptr<NSArray>& array) {
  return orderedSetWithObjects(array ? array->allObjects() : std::vector<id>());
}

std::shared_ptr<NSOrderedSet> NSOrderedSet::orderedSetWithObjects(std::vector<id> objects) {
  auto s = std::make_shared<NSOrderedSet>();
  for (const id& object : objects) s->append(object, "initWithObjects:count:");
  return s;
}

id NSOrderedSet::objectAtIndex(NSUInteger index) const {
  if (index >= objects_.size()) raiseBeyondBounds(index, "objectAtIndex:");
  return objects_[index];
}

NSUInteger NSOrderedSet::indexOfObject(const id& object) const {
  if (!object || !members_.find(object)) return static_cast<NSUInteger>(NSNotFound);
  for (size_t i = 0; i < objects_.size(); ++i) {
    if (zvt::objectsEqual(objects_[i], object)) return i;
  }
  return static_cast<NSUInteger>(NSNotFound);
}

bool NSOrderedSet::isEqualToOrderedSet(const std::shared_ptr<NSOrderedSet>& other) const {
  if (!other || other->objects_.size() != objects_.size()) return false;
  for (size_t i = 0; i < objects_.size(); ++i) {
    if (!zvt::objectsEqual(objects_[i], other->objects_[i])) return false;
  }
  return true;
}

std::shared_ptr<NSString> NSOrderedSet::description() const { return descriptionWithLocale(nullptr, 0); }

std::shared_ptr<NSString> NSOrderedSet::descriptionWithLocale(const id&, NSUInteger level) const {
  return NSString::fromValidUTF8(membersDescription(objects_, level));
}

bool NSOrderedSet::isEqual(const id& other) const {
  if (other.get() == this) return true;
  auto s = std::dynamic_pointer_cast<NSOrderedSet>(other);
  return s && isEqualToOrderedSet(s);
}

id NSOrderedSet::copyWithZone() const {
  if (typeid(*this) == typeid(NSOrderedSet)) return self();
  return orderedSetWithObjects(objects_);
}

id NSOrderedSet::mutableCopyWithZone() const {
  auto s = std::make_shared<NSMutableOrderedSet>();
  for (const id& object : objects_) s->addObject(object);
  return s;
}

// ---------------------------------------------------------------- NSMutableOrderedSet

std::shared_ptr<NSMutableOrderedSet> NSMutableOrderedSet::orderedSet() { return std::make_shared<NSMutableOrderedSet>(); }

std::shared_ptr<NSMutableOrderedSet> NSMutableOrderedSet::orderedSetWithArray(const std::shared_ptr<NSArray>& array) {
  auto s = std::make_shared<NSMutableOrderedSet>();
  s->addObjectsFromArray(array);
  return s;
}

void NSMutableOrderedSet::addObjectsFromArray(const std::shared_ptr<NSArray>& array) {
  if (!array) return;
  for (const id& object : array->allObjects()) addObject(object);
}

void NSMutableOrderedSet::insertObject(const id& object, NSUInteger index) {
  if (!object) zvt::raise(NSInvalidArgumentException, "*** -[" + className() + " insertObject:atIndex:]: object cannot be nil");
  if (index > objects_.size()) raiseBeyondBounds(index, "insertObject:atIndex:");
  if (members_.find(object)) return;
  members_.set(object, object);
  objects_.insert(objects_.begin() + static_cast<std::ptrdiff_t>(index), object);
}

void NSMutableOrderedSet::removeObject(const id& object) {
  NSUInteger index = indexOfObject(object);
  if (index != static_cast<NSUInteger>(NSNotFound)) removeObjectAtIndex(index);
}

void NSMutableOrderedSet::removeObjectAtIndex(NSUInteger index) {
  if (index >= objects_.size()) raiseBeyondBounds(index, "removeObjectAtIndex:");
  members_.remove(objects_[index]);
  objects_.erase(objects_.begin() + static_cast<std::ptrdiff_t>(index));
}

void NSMutableOrderedSet::removeAllObjects() {
  objects_.clear();
  members_.clear();
}

id NSMutableOrderedSet::copyWithZone() const { return orderedSetWithObjects(objects_); }
