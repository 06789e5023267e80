#pragma once
// The containers that the JSON decoder hands out: JCArray (a plain array of references) and
// JCDictionary (an open-addressing hash table whose key order is the table's cell order).
// Both are immutable unless the parse asked for mutable containers; mutating an immutable one
// raises NSInternalInconsistencyException. Only the codec can make them.

#include <cstdint>
#include <memory>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSEnumerator.h"

class JCArray;
class JCDictionary;

namespace zvt::json {

// One (key, object) pair on its way into a dictionary, with the key's hash already computed.
struct DictionaryEntry {
  NSUInteger keyHash = 0;
  id key;
  id object;
};

// Creation, used by the decoder: takes the references over (the source cells are left empty).
std::shared_ptr<JCArray> makeJCArray(id* objects, size_t count, bool isMutable);
// Adds the pairs in order; a later equal key replaces an earlier one.
std::shared_ptr<JCDictionary> makeJCDictionary(DictionaryEntry* entries, size_t count, bool isMutable);

// The table capacity chosen for n entries: the first step of the capacity table that is at
// least floor(n x 1.33); 0 when n is beyond the table.
NSUInteger dictionaryCapacityForCount(NSUInteger count);

class CreationKey {
  CreationKey() = default;
  friend std::shared_ptr<JCArray> makeJCArray(id*, size_t, bool);
  friend std::shared_ptr<JCDictionary> makeJCDictionary(DictionaryEntry*, size_t, bool);
};

}  // namespace zvt::json

class JCArray final : public NSMutableArray {
 public:
  JCArray(zvt::json::CreationKey, size_t capacity, bool isMutable);
  ~JCArray() override;

  NSUInteger count() const override { return count_; }
  // NSRangeException "*** -[JCArray objectAtIndex:]: index (i) beyond bounds (n)".
  id objectAtIndex(NSUInteger index) const override;
  void getObjects(id* buffer, NSRange range) const override;

  // Mutable arrays only.
  void insertObject(const id& object, NSUInteger index) override;
  void removeObjectAtIndex(NSUInteger index) override;
  void replaceObjectAtIndex(NSUInteger index, const id& object) override;

  // Immutable: the array itself. Mutable: a plain immutable array of the same elements.
  id copyWithZone() const override;
  id mutableCopyWithZone() const override;

  bool isMutable() const { return mutations_ != 0; }
  // 0 for an immutable array; for a mutable one a counter that changes with every change.
  NSUInteger mutations() const { return mutations_; }
  NSUInteger capacity() const { return capacity_; }
  // The element cells, in order (count() of them).
  const id* cells() const { return objects_; }

 private:
  friend std::shared_ptr<JCArray> zvt::json::makeJCArray(id*, size_t, bool);
  void requireMutable(const char* selector) const;
  void mutated();

  // Short arrays (coordinate pairs, one-element lists) keep their cells inside the object.
  static constexpr size_t kInlineCells = 2;
  id inlineCells_[kInlineCells];
  std::unique_ptr<id[]> heapCells_;
  id* objects_ = inlineCells_;
  NSUInteger count_ = 0;
  NSUInteger capacity_ = 0;
  NSUInteger mutations_ = 0;
};

// One cell of a JCDictionary's table; an empty cell has no key.
struct JCHashTableEntry {
  NSUInteger keyHash = 0;
  id key;
  id object;
};

class JCDictionary final : public NSMutableDictionary {
 public:
  JCDictionary(zvt::json::CreationKey, NSUInteger capacity, bool isMutable);
  ~JCDictionary() override;

  NSUInteger count() const override { return count_; }
  id objectForKey(const id& key) const override;
  // Keys in table-cell order.
  std::shared_ptr<NSEnumerator> keyEnumerator() const override;
  void enumerateKeysAndObjectsUsingBlock(
      const std::function<void(const id& key, const id& object, bool* stop)>& block) const override;
  // Walks the table in cell order and writes each object and key into the buffers that are
  // not null (count() of each).
  void getObjects(id* objects, id* keys) const;

  // Mutable dictionaries only. The key is copied.
  void setObject(const id& object, const id& key) override;
  void removeObjectForKey(const id& key) override;

  id copyWithZone() const override;
  id mutableCopyWithZone() const override;

  bool isMutable() const { return mutations_ != 0; }
  NSUInteger mutations() const { return mutations_; }
  NSUInteger capacity() const { return capacity_; }
  const JCHashTableEntry* table() const { return entries_; }

 private:
  friend std::shared_ptr<JCDictionary> zvt::json::makeJCDictionary(zvt::json::DictionaryEntry*, size_t, bool);
  friend class JCDictionaryEnumerator;
  void requireMutable(const char* selector) const;
  void mutated();
  // The insert step: a cell holding an equal key is emptied first; the pair takes the first
  // empty cell of its probe sequence (taking the references over). Raises when no cell is free.
  void insert(NSUInteger keyHash, id&& key, id&& object);
  void removeCell(NSUInteger index);
  NSUInteger findCell(const id& key, NSUInteger keyHash) const;  // capacity_ when absent

  // Small objects (up to three pairs) keep their table inside the object.
  static constexpr NSUInteger kInlineCells = 3;
  JCHashTableEntry inlineTable_[kInlineCells];
  std::unique_ptr<JCHashTableEntry[]> heapTable_;
  JCHashTableEntry* entries_ = inlineTable_;
  NSUInteger count_ = 0;
  NSUInteger capacity_ = 0;
  NSUInteger mutations_ = 0;
};

// Enumerates a JCDictionary's keys in cell order; keeps the dictionary alive.
class JCDictionaryEnumerator final : public NSEnumerator {
 public:
  static std::shared_ptr<JCDictionaryEnumerator> initWithJCDictionary(std::shared_ptr<const JCDictionary> dictionary);
  id nextObject() override;
  std::shared_ptr<NSArray> allObjects() override;

  struct Private {};
  JCDictionaryEnumerator(Private, std::shared_ptr<const JCDictionary> dictionary);

 private:
  std::shared_ptr<const JCDictionary> dictionary_;
  NSUInteger next_ = 0;
  NSUInteger mutations_ = 0;
};
