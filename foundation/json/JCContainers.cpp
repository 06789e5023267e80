#include "foundation/json/JCContainers.h"

#include <algorithm>
#include <array>
#include <new>
#include <cstring>
#include <string>
#include <type_traits>

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

// A frozen array keeps its cells within the object up to this size, beyond in a block of its own.
constexpr size_t kMaxInlineArrayBytes = 512;

std::string selectorMessage(const char* className, const char* selector, const std::string& rest) {
  return std::string("*** -[") + className + " " + selector + "]: " + rest;
}

[[noreturn]] void raiseBeyond(const char* className, const char* selector, NSUInteger index, NSUInteger count) {
  zvt::raise(NSRangeException, selectorMessage(className, selector,
                                               "index (" + std::to_string(index) + ") beyond bounds (" +
                                                   std::to_string(count) + ")"));
}

// A reference to an object of a frozen container that shares the ownership of the container's
// tree: its arena keeps every object the container points to alive.
id sharingTree(const NSObject* container, const NSObject* object) {
  if (object == nullptr) return nullptr;
  return id(zvt::ObjectArena::arenaOfObject(container)->shared_from_this(), const_cast<NSObject*>(object));
}

}  // namespace

namespace {
NSUInteger searchCapacity(NSUInteger count) {
  // floor(n x 1.33) in integers; counts this large are far beyond the table anyway.
  NSUInteger wanted = count > (UINT64_MAX / 133) ? UINT64_MAX : count * 133 / 100;
  auto it = std::lower_bound(kCapacities.begin(), kCapacities.end(), wanted);
  return it == kCapacities.end() ? 0 : *it;
}

// The capacities of the small counts most objects have, looked up directly.
constexpr size_t kSmallCounts = 64;
const std::array<uint32_t, kSmallCounts> kSmallCapacities = [] {
  std::array<uint32_t, kSmallCounts> t{};
  for (size_t n = 0; n < kSmallCounts; ++n) t[n] = static_cast<uint32_t>(searchCapacity(n));
  return t;
}();
}  // namespace

NSUInteger dictionaryCapacityForCount(NSUInteger count) {
  return count < kSmallCounts ? kSmallCapacities[count] : searchCapacity(count);
}

std::shared_ptr<JCArray> makeJCArray(id* objects, size_t count, bool isMutable) {
  if (count > UINT32_MAX) return nullptr;
  std::shared_ptr<JCArray> array;
  try {
    array = std::make_shared<JCArray>(CreationKey{}, count, isMutable);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  id* cells = array->heap_->cells.get();
  for (size_t i = 0; i < count; ++i) cells[i] = std::move(objects[i]);
  array->count_ = static_cast<uint32_t>(count);
  return array;
}

std::shared_ptr<JCDictionary> makeJCDictionary(DictionaryEntry* entries, size_t count, bool isMutable) {
  NSUInteger capacity = dictionaryCapacityForCount(count);
  if (capacity == 0 && count > 0) return nullptr;
  std::shared_ptr<JCDictionary> dictionary;
  try {
    dictionary = std::make_shared<JCDictionary>(CreationKey{}, capacity, isMutable);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  for (size_t i = 0; i < count; ++i) {
    NSObject* key = entries[i].key.get();
    NSObject* object = entries[i].object.get();
    dictionary->insert(entries[i].keyHash, key, object, std::move(entries[i].key), std::move(entries[i].object));
  }
  return dictionary;
}

JCArray* makeFrozenJCArray(zvt::ObjectArena& arena, NSObject* const* objects, size_t count) {
  // The union holding the first cell is the array's last member.
  static_assert(sizeof(JCArray) == sizeof(NSMutableArray) + 2 * sizeof(uint32_t) + sizeof(void*));
  if (count > UINT32_MAX) return nullptr;
  const size_t inlineBytes = sizeof(JCArray) + (count > 0 ? (count - 1) * sizeof(NSObject*) : 0);
  JCArray* array;
  NSObject** cells;
  if (inlineBytes <= kMaxInlineArrayBytes) {
    array = new (arena.allocateObject(inlineBytes)) JCArray(CreationKey{}, JCArray::kInline, static_cast<uint32_t>(count));
    cells = const_cast<NSObject**>(array->frozenCells());
  } else {
    cells = static_cast<NSObject**>(arena.allocateBlock(count * sizeof(NSObject*)));
    array = new (arena.allocateObject(sizeof(JCArray))) JCArray(CreationKey{}, JCArray::kExternal, static_cast<uint32_t>(count));
    array->external_ = cells;
  }
  std::copy_n(objects, count, cells);
  return array;
}

JCDictionary* makeFrozenJCDictionary(zvt::ObjectArena& arena, const FrozenEntry* entries, size_t count) {
  const NSUInteger capacity = dictionaryCapacityForCount(count);
  if (capacity == 0 && count > 0) return nullptr;
  static_assert(std::is_trivially_copyable_v<JCHashTableEntry>);
  JCHashTableEntry* table = nullptr;
  if (capacity > 0) {
    table = static_cast<JCHashTableEntry*>(arena.allocateBlock(capacity * sizeof(JCHashTableEntry)));
    std::memset(static_cast<void*>(table), 0, capacity * sizeof(JCHashTableEntry));  // every cell empty
  }
  auto* dictionary = new (arena.allocateObject(sizeof(JCDictionary))) JCDictionary(CreationKey{}, table, capacity);
  for (size_t i = 0; i < count; ++i) {
    const FrozenEntry& entry = entries[i];
    // The first empty cell of the probe sequence, unless an equal key comes first: then the
    // general insert step removes it (keys of a document are mostly distinct).
    for (NSUInteger cell = entry.keyHash % capacity;;) {
      JCHashTableEntry& e = table[cell];
      if (e.key == nullptr) {
        e = JCHashTableEntry{entry.keyHash, entry.key, entry.object};
        ++dictionary->count_;
        break;
      }
      if (e.keyHash == entry.keyHash && (e.key == entry.key || e.key->isEqual(id(id(), entry.key)))) {
        dictionary->insert(entry.keyHash, entry.key, entry.object, nullptr, nullptr);
        break;
      }
      if (++cell == capacity) cell = 0;
    }
  }
  return dictionary;
}

}  // namespace zvt::json

// ---------------------------------------------------------------- JCArray

JCArray::JCArray(zvt::json::CreationKey, size_t capacity, bool isMutable) : storage_(kHeap) {
  heap_ = new HeapCells;
  try {
    heap_->cells = std::make_unique<id[]>(capacity);
  } catch (...) {
    delete heap_;
    throw;
  }
  heap_->capacity = capacity;
  heap_->mutations = isMutable ? 1 : 0;
}

JCArray::~JCArray() {
  if (storage_ == kHeap) delete heap_;
}

void JCArray::requireMutable(const char* selector) const {
  if (!isMutable()) {
    zvt::raise(NSInternalInconsistencyException,
               zvt::json::selectorMessage("JCArray", selector, "mutating method sent to immutable object"));
  }
}

void JCArray::mutated() { heap_->mutations = heap_->mutations == UINT64_MAX ? 1 : heap_->mutations + 1; }

id JCArray::retained(NSUInteger index) const {
  if (storage_ == kHeap) return heap_->cells[index];
  return zvt::json::sharingTree(this, frozenCells()[index]);
}

id JCArray::objectAtIndex(NSUInteger index) const {
  if (index >= count_) zvt::json::raiseBeyond("JCArray", "objectAtIndex:", index, count_);
  return retained(index);
}

namespace {
// The end of a range, checked against the array's count as getObjects:range: does.
NSUInteger checkedRangeEnd(const char* selector, bool haveBuffer, NSRange range, NSUInteger count) {
  NSUInteger end = range.location + range.length;
  if (end < range.location) end = UINT64_MAX;  // a range that wraps is beyond everything
  if (!haveBuffer && end > 0) {
    zvt::raise(NSRangeException, zvt::json::selectorMessage(
                                     "JCArray", selector,
                                     "pointer to objects array is NULL but range length is " + std::to_string(end)));
  }
  if (range.location > count || end > count) zvt::json::raiseBeyond("JCArray", selector, end, count);
  return end;
}
}  // namespace

void JCArray::getObjects(id* buffer, NSRange range) const {
  checkedRangeEnd("getObjects:range:", buffer != nullptr, range, count_);
  for (NSUInteger i = 0; i < range.length; ++i) buffer[i] = retained(range.location + i);
}

void JCArray::getUnretainedObjects(const NSObject** buffer, NSRange range) const {
  checkedRangeEnd("getObjects:range:", buffer != nullptr, range, count_);
  for (NSUInteger i = 0; i < range.length; ++i) buffer[i] = unretainedObjectAtIndex(range.location + i);
}

void JCArray::insertObject(const id& object, NSUInteger index) {
  requireMutable("insertObject:atIndex:");
  if (!object) {
    zvt::raise(NSInvalidArgumentException,
               zvt::json::selectorMessage("JCArray", "insertObject:atIndex:", "attempt to insert nil"));
  }
  if (index > count_) zvt::json::raiseBeyond("JCArray", "insertObject:atIndex:", index, count_ + 1);
  HeapCells& h = *heap_;
  if (count_ + 1 >= h.capacity) {
    NSUInteger newCapacity = h.capacity + 16;
    std::unique_ptr<id[]> cells;
    try {
      if (newCapacity > UINT32_MAX) throw std::bad_alloc();
      cells = std::make_unique<id[]>(newCapacity);
    } catch (const std::bad_alloc&) {
      zvt::raise(NSMallocException, "Unable to resize objects array.");
    }
    for (NSUInteger i = 0; i < count_; ++i) cells[i] = std::move(h.cells[i]);
    h.cells = std::move(cells);
    h.capacity = newCapacity;
  }
  for (NSUInteger i = count_; i > index; --i) h.cells[i] = std::move(h.cells[i - 1]);
  h.cells[index] = object;
  ++count_;
  mutated();
}

void JCArray::removeObjectAtIndex(NSUInteger index) {
  requireMutable("removeObjectAtIndex:");
  if (index >= count_) zvt::json::raiseBeyond("JCArray", "removeObjectAtIndex:", index, count_);
  // The element is released only after the cells are consistent again: its destructor may
  // run arbitrary code.
  id* cells = heap_->cells.get();
  id removed = std::move(cells[index]);
  for (NSUInteger i = index; i + 1 < count_; ++i) cells[i] = std::move(cells[i + 1]);
  cells[count_ - 1].reset();
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
  id old = std::move(heap_->cells[index]);
  heap_->cells[index] = object;
  mutated();
}

id JCArray::copyWithZone() const {
  if (!isMutable()) return self();
  return NSArray::arrayWithObjects(std::vector<id>(heap_->cells.get(), heap_->cells.get() + count_));
}

id JCArray::mutableCopyWithZone() const {
  std::vector<id> objects(count_);
  if (count_ > 0) getObjects(objects.data(), NSMakeRange(0, count_));
  return NSMutableArray::arrayWithObjects(std::move(objects));
}

// ---------------------------------------------------------------- JCDictionary

JCDictionary::JCDictionary(zvt::json::CreationKey, NSUInteger capacity, bool isMutable)
    : capacity_(static_cast<uint32_t>(capacity)), mutations_(isMutable ? 1 : 0) {
  if (capacity > 0) {
    entries_ = new JCHashTableEntry[capacity];
    try {
      owned_ = new id[2 * capacity];
    } catch (...) {
      delete[] entries_;
      throw;
    }
  }
}

JCDictionary::~JCDictionary() {
  // A frozen dictionary is never destroyed: its arena goes as a whole.
  delete[] owned_;
  delete[] entries_;
}

void JCDictionary::requireMutable(const char* selector) const {
  if (mutations_ == 0) {
    zvt::raise(NSInternalInconsistencyException,
               zvt::json::selectorMessage("JCDictionary", selector, "mutating method sent to immutable object"));
  }
}

void JCDictionary::mutated() { mutations_ = mutations_ == UINT64_MAX ? 1 : mutations_ + 1; }

id JCDictionary::retainedKey(NSUInteger cell) const {
  return owned_ != nullptr ? owned_[2 * cell] : zvt::json::sharingTree(this, entries_[cell].key);
}

id JCDictionary::retainedObject(NSUInteger cell) const {
  return owned_ != nullptr ? owned_[2 * cell + 1] : zvt::json::sharingTree(this, entries_[cell].object);
}

NSUInteger JCDictionary::findCell(const NSObject* key, NSUInteger keyHash) const {
  if (key == nullptr || capacity_ == 0) return capacity_;
  // isEqual takes a reference: one that owns nothing, for the call only.
  const id probe(id(), const_cast<NSObject*>(key));
  for (NSUInteger i = 0, cell = keyHash % capacity_; i < capacity_; ++i) {
    const JCHashTableEntry& e = entries_[cell];
    if (e.key == nullptr) break;
    if (e.keyHash == keyHash && (e.key == key || e.key->isEqual(probe))) return cell;
    if (++cell == capacity_) cell = 0;
  }
  return capacity_;
}

id JCDictionary::objectForKey(const id& key) const {
  if (!key || capacity_ == 0) return nullptr;
  NSUInteger cell = findCell(key.get(), key->hash());
  if (cell == capacity_) return nullptr;
  return retainedObject(cell);
}

JCDictionary::Moving JCDictionary::take(NSUInteger index) {
  Moving m{entries_[index], nullptr, nullptr};
  entries_[index] = JCHashTableEntry{};
  if (owned_ != nullptr) {
    m.key = std::move(owned_[2 * index]);
    m.object = std::move(owned_[2 * index + 1]);
  }
  return m;
}

void JCDictionary::place(NSUInteger index, Moving&& cell) {
  entries_[index] = cell.entry;
  if (owned_ != nullptr) {
    owned_[2 * index] = std::move(cell.key);
    owned_[2 * index + 1] = std::move(cell.object);
  }
}

void JCDictionary::insert(NSUInteger keyHash, NSObject* key, NSObject* object, id&& ownedKey, id&& ownedObject) {
  if (capacity_ > 0) {
    const id probe(id(), key);
    NSUInteger cell = keyHash % capacity_;
    for (NSUInteger i = 0; i < capacity_; ++i) {
      JCHashTableEntry& e = entries_[cell];
      if (e.key != nullptr && e.keyHash == keyHash && (e.key == key || e.key->isEqual(probe))) {
        removeCell(cell);  // the gap may be refilled by a later entry of the run
      }
      if (e.key == nullptr) {
        place(cell, Moving{JCHashTableEntry{keyHash, key, object}, std::move(ownedKey), std::move(ownedObject)});
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
  Moving removed = take(index);
  --count_;
  // Re-seat the rest of the run so that lookups never stop early at the gap.
  NSUInteger cell = index;
  for (NSUInteger i = 1; i < capacity_; ++i) {
    if (++cell == capacity_) cell = 0;
    if (entries_[cell].key == nullptr) break;
    Moving moving = take(cell);
    NSUInteger target = moving.entry.keyHash % capacity_;
    while (entries_[target].key != nullptr) {
      if (++target == capacity_) target = 0;
    }
    place(target, std::move(moving));
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
  if (capacity_ < wanted) {
    JCHashTableEntry* table = nullptr;
    id* owned = nullptr;
    try {
      table = new JCHashTableEntry[wanted];
      owned = new id[2 * wanted];
    } catch (const std::bad_alloc&) {
      delete[] table;
      zvt::raise(NSMallocException, "Unable to allocate memory for hash table.");
    }
    JCHashTableEntry* oldTable = entries_;
    id* oldOwned = owned_;
    const NSUInteger oldCapacity = capacity_;
    entries_ = table;
    owned_ = owned;
    capacity_ = static_cast<uint32_t>(wanted);
    count_ = 0;
    for (NSUInteger i = 0; i < oldCapacity; ++i) {
      if (oldTable[i].key == nullptr) continue;
      insert(oldTable[i].keyHash, oldTable[i].key, oldTable[i].object, std::move(oldOwned[2 * i]),
             std::move(oldOwned[2 * i + 1]));
    }
    delete[] oldOwned;
    delete[] oldTable;
  }
  NSObject* rawKey = copied.get();
  insert(keyHash, rawKey, object.get(), std::move(copied), id(object));
  mutated();
}

void JCDictionary::removeObjectForKey(const id& key) {
  requireMutable("removeObjectForKey:");
  if (!key) {
    zvt::raise(NSInvalidArgumentException,
               zvt::json::selectorMessage("JCDictionary", "removeObjectForKey:", "attempt to remove nil key"));
  }
  if (capacity_ == 0) return;
  NSUInteger cell = findCell(key.get(), key->hash());
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
    if (entries_[i].key == nullptr) continue;
    // Copies: the block may change the dictionary (which it is then told about below).
    id key = retainedKey(i), object = retainedObject(i);
    bool stop = false;
    block(key, object, &stop);
    if (mutations_ != mutations) {
      zvt::raise(NSGenericException, "*** Collection <JCDictionary> was mutated while being enumerated.");
    }
    if (stop) break;
  }
}

NSUInteger JCDictionary::getUnretainedObjectsAndKeys(const NSObject** objects, const NSObject** keys,
                                                     NSUInteger count, NSUInteger& position) const {
  NSUInteger n = 0;
  for (; n < count && position < capacity_; ++position) {
    const JCHashTableEntry& e = entries_[position];
    if (e.key == nullptr) continue;
    if (objects) objects[n] = e.object;
    if (keys) keys[n] = e.key;
    ++n;
  }
  return n;
}

void JCDictionary::getObjects(id* objects, id* keys) const {
  NSUInteger n = 0;
  for (NSUInteger i = 0; i < capacity_; ++i) {
    if (entries_[i].key == nullptr) continue;
    if (objects) objects[n] = retainedObject(i);
    if (keys) keys[n] = retainedKey(i);
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
    const NSUInteger cell = next_++;
    if (d.entries_[cell].key != nullptr) return d.retainedKey(cell);
  }
  return nullptr;
}

std::shared_ptr<NSArray> JCDictionaryEnumerator::allObjects() {
  std::vector<id> rest;
  while (id key = nextObject()) rest.push_back(std::move(key));
  return NSArray::arrayWithObjects(std::move(rest));
}
