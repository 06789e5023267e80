#include "foundation/json/JCContainers.h"

#include <algorithm>
#include <array>
#include <new>
#include <string>

#include "platform/foundation/BlockPool.h"
#include "platform/foundation/NSException.h"

namespace zvt::json {
namespace {

constexpr std::array<NSUInteger, 40> kCapacities = {
    0,         3,         7,         13,        23,        41,        71,        127,
    191,       251,       383,       631,       1087,      1723,      2803,      4523,
    7351,      11959,     19447,     31231,     50683,     81919,     132607,    214519,
    346607,    561109,    907759,    1468927,   2376191,   3845119,   6221311,   10066421,
    16287743,  26354171,  42641881,  68996069,  111638519, 180634607, 292272623, 472907251,
};

std::string selectorMessage(const char* className, const char* selector, const std::string& rest) {
  return std::string("*** -[") + className + " " + selector + "]: " + rest;
}

[[noreturn]] void raiseBeyond(const char* className, const char* selector, NSUInteger index, NSUInteger count) {
  zvt::raise(NSRangeException, selectorMessage(className, selector,
                                               "index (" + std::to_string(index) + ") beyond bounds (" +
                                                   std::to_string(count) + ")"));
}

}  // namespace

NSUInteger dictionaryCapacityForCount(NSUInteger count) {
  // floor(n x 1.33) in integers; counts this large are far beyond the table anyway.
  NSUInteger wanted = count > (UINT64_MAX / 133) ? UINT64_MAX : count * 133 / 100;
  auto it = std::lower_bound(kCapacities.begin(), kCapacities.end(), wanted);
  return it == kCapacities.end() ? 0 : *it;
}

std::shared_ptr<JCArray> makeJCArray(id* objects, size_t count, bool isMutable) {
  std::shared_ptr<JCArray> array;
  try {
    array = std::allocate_shared<JCArray>(zvt::PoolAllocator<JCArray>(), CreationKey{}, count, isMutable);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  id* cells = array->objects_;
  for (size_t i = 0; i < count; ++i) cells[i] = std::move(objects[i]);
  array->count_ = count;
  return array;
}

std::shared_ptr<JCDictionary> makeJCDictionary(DictionaryEntry* entries, size_t count, bool isMutable) {
  NSUInteger capacity = dictionaryCapacityForCount(count);
  if (capacity == 0 && count > 0) return nullptr;
  std::shared_ptr<JCDictionary> dictionary;
  try {
    dictionary = std::allocate_shared<JCDictionary>(zvt::PoolAllocator<JCDictionary>(), CreationKey{}, capacity, isMutable);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  for (size_t i = 0; i < count; ++i) {
    dictionary->insert(entries[i].keyHash, std::move(entries[i].key), std::move(entries[i].object));
  }
  return dictionary;
}

}  // namespace zvt::json

// ---------------------------------------------------------------- JCArray

JCArray::JCArray(zvt::json::CreationKey, size_t capacity, bool isMutable)
    : capacity_(capacity), mutations_(isMutable ? 1 : 0) {
  if (capacity > kInlineCells) {
    heapCells_ = std::make_unique<id[]>(capacity);
    objects_ = heapCells_.get();
  }
}

JCArray::~JCArray() = default;

void JCArray::requireMutable(const char* selector) const {
  if (mutations_ == 0) {
    zvt::raise(NSInternalInconsistencyException,
               zvt::json::selectorMessage("JCArray", selector, "mutating method sent to immutable object"));
  }
}

void JCArray::mutated() { mutations_ = mutations_ == UINT64_MAX ? 1 : mutations_ + 1; }

id JCArray::objectAtIndex(NSUInteger index) const {
  if (index >= count_) zvt::json::raiseBeyond("JCArray", "objectAtIndex:", index, count_);
  return objects_[index];
}

void JCArray::getObjects(id* buffer, NSRange range) const {
  NSUInteger end = range.location + range.length;
  if (end < range.location) end = UINT64_MAX;  // a range that wraps is beyond everything
  if (buffer == nullptr && end > 0) {
    zvt::raise(NSRangeException, zvt::json::selectorMessage(
                                     "JCArray", "getObjects:range:",
                                     "pointer to objects array is NULL but range length is " + std::to_string(end)));
  }
  if (range.location > count_ || end > count_) zvt::json::raiseBeyond("JCArray", "getObjects:range:", end, count_);
  for (NSUInteger i = 0; i < range.length; ++i) buffer[i] = objects_[range.location + i];
}

void JCArray::insertObject(const id& object, NSUInteger index) {
  requireMutable("insertObject:atIndex:");
  if (!object) {
    zvt::raise(NSInvalidArgumentException,
               zvt::json::selectorMessage("JCArray", "insertObject:atIndex:", "attempt to insert nil"));
  }
  if (index > count_) zvt::json::raiseBeyond("JCArray", "insertObject:atIndex:", index, count_ + 1);
  if (count_ + 1 >= capacity_) {
    NSUInteger newCapacity = capacity_ + 16;
    std::unique_ptr<id[]> cells;
    try {
      cells = std::make_unique<id[]>(newCapacity);
    } catch (const std::bad_alloc&) {
      zvt::raise(NSMallocException, "Unable to resize objects array.");
    }
    for (NSUInteger i = 0; i < count_; ++i) cells[i] = std::move(objects_[i]);
    heapCells_ = std::move(cells);
    objects_ = heapCells_.get();
    capacity_ = newCapacity;
  }
  for (NSUInteger i = count_; i > index; --i) objects_[i] = std::move(objects_[i - 1]);
  objects_[index] = object;
  ++count_;
  mutated();
}

void JCArray::removeObjectAtIndex(NSUInteger index) {
  requireMutable("removeObjectAtIndex:");
  if (index >= count_) zvt::json::raiseBeyond("JCArray", "removeObjectAtIndex:", index, count_);
  // The element is released only after the cells are consistent again: its destructor may
  // run arbitrary code.
  id removed = std::move(objects_[index]);
  for (NSUInteger i = index; i + 1 < count_; ++i) objects_[i] = std::move(objects_[i + 1]);
  objects_[count_ - 1].reset();
  --count_;
  mutated();
}

void JCArray::replaceObjectAtIndex(NSUInteger index, const id& object) {
  requireMutable("replaceObjectAtIndex:withObject:");
  if (!object) {
    zvt::raise(NSInvalidArgumentException,
               zvt::json::selectorMessage("JCArray", "replaceObjectAtIndex:withObject:", "attempt to insert nil"));
  }
  if (index >= count_) zvt::json::raiseBeyond("JCArray", "replaceObjectAtIndex:withObject:", index, count_);
  id old = std::move(objects_[index]);
  objects_[index] = object;
  mutated();
}

id JCArray::copyWithZone() const {
  if (mutations_ == 0) return self();
  return NSArray::arrayWithObjects(std::vector<id>(objects_, objects_ + count_));
}

id JCArray::mutableCopyWithZone() const {
  return NSMutableArray::arrayWithObjects(std::vector<id>(objects_, objects_ + count_));
}

// ---------------------------------------------------------------- JCDictionary

JCDictionary::JCDictionary(zvt::json::CreationKey, NSUInteger capacity, bool isMutable)
    : capacity_(capacity), mutations_(isMutable ? 1 : 0) {
  if (capacity > kInlineCells) {
    heapTable_ = std::make_unique<JCHashTableEntry[]>(capacity);
    entries_ = heapTable_.get();
  }
}

JCDictionary::~JCDictionary() = default;

void JCDictionary::requireMutable(const char* selector) const {
  if (mutations_ == 0) {
    zvt::raise(NSInternalInconsistencyException,
               zvt::json::selectorMessage("JCDictionary", selector, "mutating method sent to immutable object"));
  }
}

void JCDictionary::mutated() { mutations_ = mutations_ == UINT64_MAX ? 1 : mutations_ + 1; }

NSUInteger JCDictionary::findCell(const id& key, NSUInteger keyHash) const {
  if (!key || capacity_ == 0) return capacity_;
  for (NSUInteger i = 0, cell = keyHash % capacity_; i < capacity_; ++i) {
    const JCHashTableEntry& e = entries_[cell];
    if (!e.key) break;
    if (e.keyHash == keyHash && (e.key == key || e.key->isEqual(key))) return cell;
    if (++cell == capacity_) cell = 0;
  }
  return capacity_;
}

id JCDictionary::objectForKey(const id& key) const {
  if (!key || capacity_ == 0) return nullptr;
  NSUInteger cell = findCell(key, key->hash());
  return cell < capacity_ ? entries_[cell].object : nullptr;
}

void JCDictionary::insert(NSUInteger keyHash, id&& key, id&& object) {
  if (capacity_ > 0) {
    NSUInteger cell = keyHash % capacity_;
    for (NSUInteger i = 0; i < capacity_; ++i) {
      JCHashTableEntry& e = entries_[cell];
      if (e.key && e.keyHash == keyHash && (e.key == key || e.key->isEqual(key))) {
        removeCell(cell);  // the gap may be refilled by a later entry of the run
      }
      if (!e.key) {
        e.keyHash = keyHash;
        e.key = std::move(key);
        e.object = std::move(object);
        ++count_;
        return;
      }
      if (++cell == capacity_) cell = 0;
    }
  }
  // Every cell is taken: dropping the pair would lose data without a word.
  zvt::raise(NSInternalInconsistencyException,
             zvt::json::selectorMessage("JCDictionary", "setObject:forKey:", "no free cell in the hash table"));
}

void JCDictionary::removeCell(NSUInteger index) {
  JCHashTableEntry removed = std::move(entries_[index]);
  entries_[index].keyHash = 0;
  --count_;
  // Re-seat the rest of the run so that lookups never stop early at the gap.
  NSUInteger cell = index;
  for (NSUInteger i = 1; i < capacity_; ++i) {
    if (++cell == capacity_) cell = 0;
    if (!entries_[cell].key) break;
    JCHashTableEntry moving = std::move(entries_[cell]);
    entries_[cell].keyHash = 0;
    NSUInteger target = moving.keyHash % capacity_;
    while (entries_[target].key) {
      if (++target == capacity_) target = 0;
    }
    entries_[target] = std::move(moving);
  }
  // `removed` is released here, after the table is consistent again.
}

void JCDictionary::setObject(const id& object, const id& key) {
  requireMutable("setObject:forKey:");
  if (!key) {
    zvt::raise(NSInvalidArgumentException,
               zvt::json::selectorMessage("JCDictionary", "setObject:forKey:", "attempt to insert nil key"));
  }
  if (!object) {
    zvt::raise(NSInvalidArgumentException,
               zvt::json::selectorMessage("JCDictionary", "setObject:forKey:",
                                          "attempt to insert nil value (key: " + NSStringFromObject(key) + ")"));
  }
  id copied = key->copy();
  const NSUInteger keyHash = copied->hash();
  NSUInteger wanted = zvt::json::dictionaryCapacityForCount(count_ + 1);
  if (wanted == 0) zvt::raise(NSMallocException, "Unable to allocate memory for hash table.");
  if (capacity_ < wanted && wanted <= kInlineCells && entries_ == inlineTable_ && count_ == 0) {
    capacity_ = wanted;  // the inline cells are empty and large enough
  } else if (capacity_ < wanted) {
    std::unique_ptr<JCHashTableEntry[]> table;
    try {
      table = std::make_unique<JCHashTableEntry[]>(wanted);
    } catch (const std::bad_alloc&) {
      zvt::raise(NSMallocException, "Unable to allocate memory for hash table.");
    }
    JCHashTableEntry* old = entries_;
    std::unique_ptr<JCHashTableEntry[]> oldHeap = std::move(heapTable_);
    NSUInteger oldCapacity = capacity_;
    heapTable_ = std::move(table);
    entries_ = heapTable_.get();
    capacity_ = wanted;
    count_ = 0;
    for (NSUInteger i = 0; i < oldCapacity; ++i) {
      if (old[i].key) insert(old[i].keyHash, std::move(old[i].key), std::move(old[i].object));
    }
  }
  insert(keyHash, std::move(copied), id(object));
  mutated();
}

void JCDictionary::removeObjectForKey(const id& key) {
  requireMutable("removeObjectForKey:");
  if (!key) {
    zvt::raise(NSInvalidArgumentException,
               zvt::json::selectorMessage("JCDictionary", "removeObjectForKey:", "attempt to remove nil key"));
  }
  if (capacity_ == 0) return;
  NSUInteger cell = findCell(key, key->hash());
  if (cell == capacity_) return;
  removeCell(cell);
  mutated();
}

std::shared_ptr<NSEnumerator> JCDictionary::keyEnumerator() const {
  return JCDictionaryEnumerator::initWithJCDictionary(std::static_pointer_cast<const JCDictionary>(self()));
}

void JCDictionary::enumerateKeysAndObjectsUsingBlock(
    const std::function<void(const id& key, const id& object, bool* stop)>& block) const {
  const NSUInteger mutations = mutations_;
  for (NSUInteger i = 0; i < capacity_; ++i) {
    if (!entries_[i].key) continue;
    // Copies: the block may change the dictionary (which it is then told about below).
    id key = entries_[i].key, object = entries_[i].object;
    bool stop = false;
    block(key, object, &stop);
    if (mutations_ != mutations) {
      zvt::raise(NSGenericException, "*** Collection <JCDictionary> was mutated while being enumerated.");
    }
    if (stop) break;
  }
}

void JCDictionary::getObjects(id* objects, id* keys) const {
  NSUInteger n = 0;
  for (NSUInteger i = 0; i < capacity_; ++i) {
    if (!entries_[i].key) continue;
    if (objects) objects[n] = entries_[i].object;
    if (keys) keys[n] = entries_[i].key;
    ++n;
  }
}

id JCDictionary::copyWithZone() const {
  if (mutations_ == 0) return self();
  return NSDictionary::dictionaryWithDictionary(std::static_pointer_cast<NSDictionary>(self()));
}

id JCDictionary::mutableCopyWithZone() const {
  return NSMutableDictionary::dictionaryWithDictionary(std::static_pointer_cast<NSDictionary>(self()));
}

// ---------------------------------------------------------------- JCDictionaryEnumerator

JCDictionaryEnumerator::JCDictionaryEnumerator(Private, std::shared_ptr<const JCDictionary> dictionary)
    : dictionary_(std::move(dictionary)), mutations_(dictionary_ ? dictionary_->mutations_ : 0) {}

std::shared_ptr<JCDictionaryEnumerator> JCDictionaryEnumerator::initWithJCDictionary(
    std::shared_ptr<const JCDictionary> dictionary) {
  if (!dictionary) return nullptr;
  return std::make_shared<JCDictionaryEnumerator>(Private{}, std::move(dictionary));
}

id JCDictionaryEnumerator::nextObject() {
  if (!dictionary_) return nullptr;
  const JCDictionary& d = *dictionary_;
  // A changed table would make the cell index meaningless.
  if (d.mutations_ != mutations_) {
    zvt::raise(NSGenericException, "*** Collection <JCDictionary> was mutated while being enumerated.");
  }
  while (next_ < d.capacity_) {
    const JCHashTableEntry& e = d.entries_[next_++];
    if (e.key) return e.key;
  }
  return nullptr;
}

std::shared_ptr<NSArray> JCDictionaryEnumerator::allObjects() {
  std::vector<id> rest;
  while (id key = nextObject()) rest.push_back(std::move(key));
  return NSArray::arrayWithObjects(std::move(rest));
}
