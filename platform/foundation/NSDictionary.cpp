#include "platform/foundation/NSDictionary.h"

#include <algorithm>

#include "platform/foundation/NSException.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/internal/Containers.h"

namespace zvt {

namespace {
id copiedKey(const id& key) {
  // Keys are copied so that a mutable key changed later cannot corrupt the table.
  id copy = key->copy();
  return copy ? copy : key;
}

[[noreturn]] void raiseNilKey(const std::string& className, const char* method) {
  raise(NSInvalidArgumentException, "*** -[" + className + " " + method + "]: key cannot be nil");
}
[[noreturn]] void raiseNilObject(const std::string& className, const char* method, const id& key) {
  raise(NSInvalidArgumentException,
        "*** -[" + className + " " + method + "]: object cannot be nil (key: " + NSStringFromObject(key) + ")");
}
}  // namespace

// The plain immutable dictionary behind the NSDictionary factories. Its entries follow it in the
// same block, in insertion order (see makeWithTrailing); beyond a few of them an index of their
// positions by hash follows too, an open-addressing table of a power-of-two size.
class DictionaryI final : public NSDictionary {
 public:
  struct Entry {
    NSUInteger hash;
    id key;
    id object;
  };
  // Up to this many entries a lookup compares the hashes one by one.
  static constexpr size_t kLinear = 8;

  static std::shared_ptr<NSDictionary> make(OrderedTable table) {
    std::vector<std::pair<id, id>> pairs = std::move(table).takeEntries();
    const size_t n = pairs.size();
    unsigned bits = 0;
    if (n > kLinear) {
      while ((size_t{1} << bits) < 2 * n) ++bits;
    }
    const size_t slots = bits > 0 ? size_t{1} << bits : 0;
    std::vector<NSUInteger> hashes(n);
    for (size_t i = 0; i < n; ++i) hashes[i] = pairs[i].first->hash();
    auto dictionary = makeWithTrailing<DictionaryI>(n * sizeof(Entry) + slots * sizeof(uint32_t), n, bits);
    Entry* entries = dictionary->entries();
    for (size_t i = 0; i < n; ++i) new (&entries[i]) Entry{hashes[i], std::move(pairs[i].first), std::move(pairs[i].second)};
    if (bits > 0) {
      uint32_t* index = dictionary->index();
      std::fill_n(index, slots, kEmpty);
      for (size_t i = 0; i < n; ++i) {
        size_t slot = entries[i].hash & (slots - 1);
        while (index[slot] != kEmpty) slot = (slot + 1) & (slots - 1);
        index[slot] = static_cast<uint32_t>(i);
      }
    }
    return dictionary;
  }

  DictionaryI(size_t count, unsigned bits) : count_(static_cast<uint32_t>(count)), bits_(bits) {}
  ~DictionaryI() override { std::destroy_n(entries(), count_); }
  std::string className() const override { return "__NSDictionaryI"; }
  NSUInteger count() const override { return count_; }
  id objectForKey(const id& key) const override {
    if (!key) return nullptr;
    const NSUInteger hash = key->hash();
    const Entry* e = entries();
    auto matches = [&](const Entry& entry) {
      return entry.hash == hash && (entry.key == key || entry.key->isEqual(key));
    };
    if (bits_ == 0) {
      for (uint32_t i = 0; i < count_; ++i) {
        if (matches(e[i])) return e[i].object;
      }
      return nullptr;
    }
    const uint32_t* index = this->index();
    const size_t mask = (size_t{1} << bits_) - 1;
    for (size_t slot = hash & mask; index[slot] != kEmpty; slot = (slot + 1) & mask) {
      if (matches(e[index[slot]])) return e[index[slot]].object;
    }
    return nullptr;
  }
  std::shared_ptr<NSEnumerator> keyEnumerator() const override {
    std::vector<id> keys;
    keys.reserve(count_);
    for (uint32_t i = 0; i < count_; ++i) keys.push_back(entries()[i].key);
    return std::make_shared<VectorEnumerator>(std::move(keys));
  }
  void enumerateKeysAndObjectsUsingBlock(const std::function<void(const id&, const id&, bool*)>& block) const override {
    bool stop = false;
    for (uint32_t i = 0; i < count_ && !stop; ++i) block(entries()[i].key, entries()[i].object, &stop);
  }
  NSUInteger getUnretainedObjectsAndKeys(const NSObject** objects, const NSObject** keys, NSUInteger count,
                                         NSUInteger& position) const override {
    // The JSON writer walks every dictionary of a tree through here: the bounds and the
    // buffers are looked at once, not at every entry.
    if (position >= count_) return 0;
    const NSUInteger n = std::min<NSUInteger>(count, count_ - position);
    const Entry* e = entries() + position;
    position += n;
    if (objects && keys) {
      for (NSUInteger i = 0; i < n; ++i) {
        objects[i] = e[i].object.get();
        keys[i] = e[i].key.get();
      }
    } else if (objects) {
      for (NSUInteger i = 0; i < n; ++i) objects[i] = e[i].object.get();
    } else if (keys) {
      for (NSUInteger i = 0; i < n; ++i) keys[i] = e[i].key.get();
    }
    return n;
  }
  id copyWithZone() const override { return self(); }

 private:
  static constexpr uint32_t kEmpty = UINT32_MAX;
  Entry* entries() const { return trailingStorage<Entry>(this); }
  uint32_t* index() const { return reinterpret_cast<uint32_t*>(entries() + count_); }

  uint32_t count_;
  unsigned bits_;
};

// The plain mutable dictionary behind the NSMutableDictionary factories.
class DictionaryM : public NSMutableDictionary {
 public:
  DictionaryM() = default;
  explicit DictionaryM(OrderedTable table) : table_(std::move(table)) {}
  std::string className() const override { return "__NSDictionaryM"; }
  NSUInteger count() const override { return table_.count(); }
  id objectForKey(const id& key) const override { return key ? table_.find(key) : nullptr; }
  std::shared_ptr<NSEnumerator> keyEnumerator() const override { return std::make_shared<VectorEnumerator>(table_.keys()); }
  void setObject(const id& object, const id& key) override {
    if (!key) raiseNilKey(className(), "setObject:forKey:");
    if (!object) raiseNilObject(className(), "setObject:forKey:", key);
    table_.set(copiedKey(key), object);
  }
  void removeObjectForKey(const id& key) override {
    if (!key) raiseNilKey(className(), "removeObjectForKey:");
    table_.remove(key);
  }
  void removeAllObjects() override { table_.clear(); }
  void reserve(NSUInteger n) { table_.reserve(n); }
  NSUInteger getUnretainedObjectsAndKeys(const NSObject** objects, const NSObject** keys, NSUInteger count,
                                         NSUInteger& position) const override {
    return table_.fetchUnretained(objects, keys, count, position);
  }

 private:
  OrderedTable table_;
};

namespace {
OrderedTable tableOf(const std::vector<std::pair<id, id>>& entries, const char* method) {
  OrderedTable table;
  table.reserve(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    const auto& [key, object] = entries[i];
    if (!key) {
      raise(NSInvalidArgumentException,
            format("*** -[__NSPlaceholderDictionary %s]: attempt to insert nil object from objects[%zu]", {method, i}));
    }
    if (!object) {
      raise(NSInvalidArgumentException,
            format("*** -[__NSPlaceholderDictionary %s]: attempt to insert nil object from objects[%zu]", {method, i}));
    }
    table.set(copiedKey(key), object);
  }
  return table;
}

OrderedTable tableOf(const std::shared_ptr<NSDictionary>& other) {
  OrderedTable table;
  if (!other) return table;
  table.reserve(other->count());
  other->enumerateKeysAndObjectsUsingBlock([&](const id& key, const id& object, bool*) { table.set(key, object); });
  return table;
}
}  // namespace

}  // namespace zvt

// ---------------------------------------------------------------- NSDictionary factories

std::shared_ptr<NSDictionary> NSDictionary::dictionary() {
  static const auto* empty = new std::shared_ptr<NSDictionary>(zvt::DictionaryI::make(zvt::OrderedTable()));
  return *empty;
}

std::shared_ptr<NSDictionary> NSDictionary::make(std::initializer_list<std::pair<id, id>> entries) {
  return dictionaryWithPairs(std::vector<std::pair<id, id>>(entries));
}

std::shared_ptr<NSDictionary> NSDictionary::dictionaryWithPairs(std::vector<std::pair<id, id>> entries) {
  return zvt::DictionaryI::make(zvt::tableOf(entries, "initWithObjects:forKeys:count:"));
}

std::shared_ptr<NSDictionary> NSDictionary::dictionaryWithObject(const id& object, const id& key) {
  return make({{key, object}});
}

std::shared_ptr<NSDictionary> NSDictionary::dictionaryWithObjects(const std::shared_ptr<NSArray>& objects,
                                                                 const std::shared_ptr<NSArray>& keys) {
  NSUInteger n = objects ? objects->count() : 0;
  if (n != (keys ? keys->count() : 0)) {
    zvt::raise(NSInvalidArgumentException,
               "*** -[NSDictionary initWithObjects:forKeys:]: count of objects differs from count of keys");
  }
  std::vector<std::pair<id, id>> entries;
  for (NSUInteger i = 0; i < n; ++i) entries.emplace_back(keys->objectAtIndex(i), objects->objectAtIndex(i));
  return dictionaryWithPairs(std::move(entries));
}

std::shared_ptr<NSDictionary> NSDictionary::dictionaryWithDictionary(const std::shared_ptr<NSDictionary>& other) {
  return zvt::DictionaryI::make(zvt::tableOf(other));
}

// ---------------------------------------------------------------- NSDictionary

void NSDictionary::enumerateKeysAndObjectsUsingBlock(
    const std::function<void(const id&, const id&, bool*)>& block) const {
  auto keys = keyEnumerator();
  bool stop = false;
  while (id key = keys->nextObject()) {
    block(key, objectForKey(key), &stop);
    if (stop) break;
  }
}

NSUInteger NSDictionary::getUnretainedObjectsAndKeys(const NSObject** objects, const NSObject** keys,
                                                     NSUInteger count, NSUInteger& position) const {
  // The general form walks past the entries already fetched: dictionaries of other classes
  // override it where that matters.
  NSUInteger skip = position, n = 0;
  enumerateKeysAndObjectsUsingBlock([&](const id& key, const id& object, bool* stop) {
    if (skip > 0) {
      --skip;
      return;
    }
    if (n == count) {
      *stop = true;
      return;
    }
    if (objects) objects[n] = object.get();
    if (keys) keys[n] = key.get();
    ++n;
  });
  position += n;
  return n;
}

std::shared_ptr<NSArray> NSDictionary::allKeys() const {
  std::vector<id> keys;
  keys.reserve(count());
  enumerateKeysAndObjectsUsingBlock([&](const id& key, const id&, bool*) { keys.push_back(key); });
  return NSArray::arrayWithObjects(std::move(keys));
}

std::shared_ptr<NSArray> NSDictionary::allValues() const {
  std::vector<id> values;
  values.reserve(count());
  enumerateKeysAndObjectsUsingBlock([&](const id&, const id& object, bool*) { values.push_back(object); });
  return NSArray::arrayWithObjects(std::move(values));
}

std::shared_ptr<NSArray> NSDictionary::allKeysForObject(const id& object) const {
  std::vector<id> keys;
  enumerateKeysAndObjectsUsingBlock([&](const id& key, const id& value, bool*) {
    if (zvt::objectsEqual(value, object)) keys.push_back(key);
  });
  return NSArray::arrayWithObjects(std::move(keys));
}

std::vector<std::pair<id, id>> NSDictionary::allPairs() const {
  std::vector<std::pair<id, id>> pairs;
  pairs.reserve(count());
  enumerateKeysAndObjectsUsingBlock([&](const id& key, const id& object, bool*) { pairs.emplace_back(key, object); });
  return pairs;
}

std::shared_ptr<NSEnumerator> NSDictionary::objectEnumerator() const {
  std::vector<id> values;
  enumerateKeysAndObjectsUsingBlock([&](const id&, const id& object, bool*) { values.push_back(object); });
  return std::make_shared<zvt::VectorEnumerator>(std::move(values));
}

std::shared_ptr<NSArray> NSDictionary::objectsForKeys(const std::shared_ptr<NSArray>& keys, const id& notFoundMarker) const {
  std::vector<id> out;
  if (!keys) return NSArray::array();
  for (const id& key : *keys) {
    id value = objectForKey(key);
    if (!value) {
      if (!notFoundMarker) zvt::raise(NSInvalidArgumentException, "*** -[NSDictionary objectsForKeys:notFoundMarker:]: marker cannot be nil");
      value = notFoundMarker;
    }
    out.push_back(value);
  }
  return NSArray::arrayWithObjects(std::move(out));
}

std::shared_ptr<NSArray> NSDictionary::keysSortedByValueUsingComparator(const NSComparator& comparator) const {
  auto pairs = allPairs();
  std::stable_sort(pairs.begin(), pairs.end(),
                   [&](const auto& a, const auto& b) { return comparator(a.second, b.second) == NSOrderedAscending; });
  std::vector<id> keys;
  for (auto& pair : pairs) keys.push_back(pair.first);
  return NSArray::arrayWithObjects(std::move(keys));
}

bool NSDictionary::isEqualToDictionary(const std::shared_ptr<NSDictionary>& other) const {
  if (!other) return false;
  if (other.get() == this) return true;
  if (other->count() != count()) return false;
  bool equal = true;
  enumerateKeysAndObjectsUsingBlock([&](const id& key, const id& object, bool* stop) {
    if (!zvt::objectsEqual(object, other->objectForKey(key))) {
      equal = false;
      *stop = true;
    }
  });
  return equal;
}

NSDictionary::const_iterator::const_iterator(std::shared_ptr<NSEnumerator> enumerator) : enumerator_(std::move(enumerator)) {
  if (enumerator_) current_ = enumerator_->nextObject();
}

NSDictionary::const_iterator& NSDictionary::const_iterator::operator++() {
  current_ = enumerator_ ? enumerator_->nextObject() : nullptr;
  return *this;
}

std::shared_ptr<NSString> NSDictionary::description() const { return descriptionWithLocale(nullptr, 0); }

std::shared_ptr<NSString> NSDictionary::descriptionWithLocale(const id& locale, NSUInteger level) const {
  (void)locale;
  auto pairs = allPairs();
  bool allStrings = std::all_of(pairs.begin(), pairs.end(), [](const auto& p) { return zvt::isKind<NSString>(p.first); });
  if (allStrings) {
    std::stable_sort(pairs.begin(), pairs.end(), [](const auto& a, const auto& b) {
      return std::static_pointer_cast<NSString>(a.first)->compare(std::static_pointer_cast<NSString>(b.first)) ==
             NSOrderedAscending;
    });
  }
  std::string pad = zvt::indent(level);
  std::string out = pad + "{\n";
  for (const auto& [key, object] : pairs) {
    out += pad + "    " + zvt::elementDescription(key, level + 1) + " = " + zvt::elementDescription(object, level + 1) + ";\n";
  }
  out += pad + "}";
  return NSString::fromValidUTF8(std::move(out));
}

std::shared_ptr<NSString> NSDictionary::descriptionInStringsFileFormat() const {
  std::string out;
  for (const auto& [key, object] : allPairs()) {
    auto quote = [](const id& o) {
      auto s = std::dynamic_pointer_cast<NSString>(o);
      std::string text = s ? s->quotedDescription() : NSStringFromObject(o);
      if (text.empty() || text.front() != '"') text = "\"" + text + "\"";
      return text;
    };
    out += quote(key) + " = " + quote(object) + ";\n";
  }
  return NSString::fromValidUTF8(std::move(out));
}

bool NSDictionary::isEqual(const id& other) const {
  if (other.get() == this) return true;
  auto dictionary = std::dynamic_pointer_cast<NSDictionary>(other);
  return dictionary && isEqualToDictionary(dictionary);
}

NSUInteger NSDictionary::hash() const { return count(); }

id NSDictionary::copyWithZone() const { return zvt::DictionaryI::make(zvt::tableOf(std::static_pointer_cast<NSDictionary>(self()))); }

id NSDictionary::mutableCopyWithZone() const {
  return std::make_shared<zvt::DictionaryM>(zvt::tableOf(std::static_pointer_cast<NSDictionary>(self())));
}

std::shared_ptr<NSDictionary> NSDictionary::copy() const { return std::static_pointer_cast<NSDictionary>(copyWithZone()); }

std::shared_ptr<NSMutableDictionary> NSDictionary::mutableCopy() const {
  return std::static_pointer_cast<NSMutableDictionary>(mutableCopyWithZone());
}

// ---------------------------------------------------------------- NSMutableDictionary

std::shared_ptr<NSMutableDictionary> NSMutableDictionary::dictionary() { return std::make_shared<zvt::DictionaryM>(); }

std::shared_ptr<NSMutableDictionary> NSMutableDictionary::dictionaryWithCapacity(NSUInteger capacity) {
  auto d = std::make_shared<zvt::DictionaryM>();
  d->reserve(capacity);
  return d;
}

std::shared_ptr<NSMutableDictionary> NSMutableDictionary::make(std::initializer_list<std::pair<id, id>> entries) {
  return std::make_shared<zvt::DictionaryM>(
      zvt::tableOf(std::vector<std::pair<id, id>>(entries), "initWithObjects:forKeys:count:"));
}

std::shared_ptr<NSMutableDictionary> NSMutableDictionary::dictionaryWithDictionary(const std::shared_ptr<NSDictionary>& other) {
  return std::make_shared<zvt::DictionaryM>(zvt::tableOf(other));
}

void NSMutableDictionary::removeAllObjects() {
  for (const id& key : allKeys()->allObjects()) removeObjectForKey(key);
}

void NSMutableDictionary::setObjectForKeyedSubscript(const id& object, const id& key) {
  if (object) setObject(object, key);
  else removeObjectForKey(key);
}

void NSMutableDictionary::addEntriesFromDictionary(const std::shared_ptr<NSDictionary>& other) {
  if (!other) return;
  for (const auto& [key, object] : other->allPairs()) setObject(object, key);
}

void NSMutableDictionary::removeObjectsForKeys(const std::shared_ptr<NSArray>& keys) {
  if (!keys) return;
  for (const id& key : keys->allObjects()) removeObjectForKey(key);
}

void NSMutableDictionary::setDictionary(const std::shared_ptr<NSDictionary>& other) {
  auto pairs = other ? other->allPairs() : std::vector<std::pair<id, id>>();
  removeAllObjects();
  for (const auto& [key, object] : pairs) setObject(object, key);
}

void NSMutableDictionary::setValueForKey(const id& value, const std::shared_ptr<NSString>& key) {
  if (!key) zvt::raise(NSInvalidArgumentException, "*** -[NSMutableDictionary setValue:forKey:]: key cannot be nil");
  if (value) setObject(value, key);
  else removeObjectForKey(key);
}

id NSMutableDictionary::copyWithZone() const {
  return zvt::DictionaryI::make(zvt::tableOf(std::static_pointer_cast<NSDictionary>(self())));
}
