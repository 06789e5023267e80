#pragma once
// The containers that the JSON decoder hands out: JCArray (a plain array of references) and
// JCDictionary (an open-addressing hash table whose key order is the table's cell order).
// Both are immutable unless the parse asked for mutable containers; mutating an immutable one
// raises NSInternalInconsistencyException. Only the codec can make them.
//
// They come in two forms. A frozen container is part of a decoded tree that lives in one
// zvt::ObjectArena: it refers to its elements by plain pointers (elements of the same tree, of a
// tree its arena keeps alive, or immortal constants) and hands them out as references that share
// the arena's ownership. A heap container (mutable ones, and those made with makeJCArray and
// makeJCDictionary) holds strong references like any other collection.

#include <cstdint>
#include <memory>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSEnumerator.h"
#include "platform/foundation/ObjectArena.h"

class JCArray;
class JCDictionary;

namespace zvt::json {

// One (key, object) pair on its way into a dictionary, with the key's hash already computed.
struct DictionaryEntry {
  NSUInteger keyHash = 0;
  id key;
  id object;
};

// The same for a frozen dictionary: the key and object are objects of the tree.
struct FrozenEntry {
  NSUInteger keyHash;
  NSObject* key;
  NSObject* object;
};

// Heap containers. Takes the references over (the source cells are left empty).
std::shared_ptr<JCArray> makeJCArray(id* objects, size_t count, bool isMutable);
// Adds the pairs in order; a later equal key replaces an earlier one.
std::shared_ptr<JCDictionary> makeJCDictionary(DictionaryEntry* entries, size_t count, bool isMutable);

// Frozen containers, made in the tree's arena; nullptr when a dictionary is beyond the
// capacity table.
JCArray* makeFrozenJCArray(zvt::ObjectArena& arena, NSObject* const* objects, size_t count);
JCDictionary* makeFrozenJCDictionary(zvt::ObjectArena& arena, const FrozenEntry* entries, size_t count);

// The table capacity chosen for n entries: the first step of the capacity table that is at
// least floor(n x 1.33); 0 when n is beyond the table.
NSUInteger dictionaryCapacityForCount(NSUInteger count);

class CreationKey {
  CreationKey() = default;
  friend std::shared_ptr<JCArray> makeJCArray(id*, size_t, bool);
  friend std::shared_ptr<JCDictionary> makeJCDictionary(DictionaryEntry*, size_t, bool);
  friend JCArray* makeFrozenJCArray(zvt::ObjectArena&, NSObject* const*, size_t);
  friend JCDictionary* makeFrozenJCDictionary(zvt::ObjectArena&, const FrozenEntry*, size_t);
};

}  // namespace zvt::json

class JCArray final : public NSMutableArray {
 public:
  // A heap array with room for `capacity` elements.
  JCArray(zvt::json::CreationKey, size_t capacity, bool isMutable);
  ~JCArray() override;

  NSUInteger count() const override { return count_; }
  // NSRangeException "*** -[JCArray objectAtIndex:]: index (i) beyond bounds (n)".
  id objectAtIndex(NSUInteger index) const override;
  void getObjects(id* buffer, NSRange range) const override;
  void getUnretainedObjects(const NSObject** buffer, NSRange range) const override;

  // Mutable arrays only.
  void insertObject(const id& object, NSUInteger index) override;
  void removeObjectAtIndex(NSUInteger index) override;
  void replaceObjectAtIndex(NSUInteger index, const id& object) override;

  // Immutable: the array itself. Mutable: a plain immutable array of the same elements.
  id copyWithZone() const override;
  id mutableCopyWithZone() const override;

  bool isMutable() const { return storage_ == kHeap && heap_->mutations != 0; }
  // 0 for an immutable array; for a mutable one a counter that changes with every change.
  NSUInteger mutations() const { return storage_ == kHeap ? heap_->mutations : 0; }
  NSUInteger capacity() const { return storage_ == kHeap ? heap_->capacity : count_; }
  // The element at `index` (below count()) without a reference, valid while the array holds it.
  const NSObject* unretainedObjectAtIndex(NSUInteger index) const {
    return storage_ == kHeap ? heap_->cells[index].get() : frozenCells()[index];
  }

 private:
  friend JCArray* zvt::json::makeFrozenJCArray(zvt::ObjectArena&, NSObject* const*, size_t);
  friend std::shared_ptr<JCArray> zvt::json::makeJCArray(id*, size_t, bool);

  enum Storage : uint32_t {
    kInline,    // frozen, the cells follow the header in the arena
    kExternal,  // frozen, the cells are a block of the arena
    kHeap,      // strong references in heap cells
  };
  struct HeapCells {
    std::unique_ptr<id[]> cells;
    NSUInteger capacity = 0;
    NSUInteger mutations = 0;
  };

  JCArray(zvt::json::CreationKey, Storage storage, uint32_t count) : count_(count), storage_(storage) {}

  // Frozen arrays: the first cell is the last member, the rest follow the object.
  NSObject* const* frozenCells() const {
    return storage_ == kInline ? reinterpret_cast<NSObject* const*>(reinterpret_cast<uintptr_t>(&firstCell_))
                               : external_;
  }
  // A strong reference to a cell's object, sharing the tree's ownership when frozen.
  id retained(NSUInteger index) const;
  void requireMutable(const char* selector) const;
  void mutated();

  uint32_t count_ = 0;
  Storage storage_ = kHeap;
  union {
    NSObject* firstCell_;
    NSObject** external_;
    HeapCells* heap_;
  };
};

// One cell of a JCDictionary's table; an empty cell has no key. The key and object are held by
// the tree's arena (frozen dictionaries) or by the dictionary's strong references (heap ones).
struct JCHashTableEntry {
  NSUInteger keyHash = 0;
  NSObject* key = nullptr;
  NSObject* object = nullptr;
};

class JCDictionary final : public NSMutableDictionary {
 public:
  // A heap dictionary with a table of `capacity` cells.
  JCDictionary(zvt::json::CreationKey, NSUInteger capacity, bool isMutable);
  ~JCDictionary() override;

  NSUInteger count() const override { return count_; }
  id objectForKey(const id& key) const override;
  // Keys in table-cell order.
  std::shared_ptr<NSEnumerator> keyEnumerator() const override;
  void enumerateKeysAndObjectsUsingBlock(
      const std::function<void(const id& key, const id& object, bool* stop)>& block) const override;
  NSUInteger getUnretainedObjectsAndKeys(const NSObject** objects, const NSObject** keys, NSUInteger count,
                                         NSUInteger& position) const override;
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
  // The table's cells (capacity() of them), valid while the dictionary lives unchanged.
  const JCHashTableEntry* table() const { return entries_; }

 private:
  friend std::shared_ptr<JCDictionary> zvt::json::makeJCDictionary(zvt::json::DictionaryEntry*, size_t, bool);
  friend JCDictionary* zvt::json::makeFrozenJCDictionary(zvt::ObjectArena&, const zvt::json::FrozenEntry*, size_t);
  friend class JCDictionaryEnumerator;

  JCDictionary(zvt::json::CreationKey, JCHashTableEntry* frozenTable, NSUInteger capacity)
      : entries_(frozenTable), capacity_(static_cast<uint32_t>(capacity)) {}

  // A cell on its way from one place of the table to another, with its references.
  struct Moving {
    JCHashTableEntry entry;
    id key, object;
  };

  void requireMutable(const char* selector) const;
  void mutated();
  // The insert step: a cell holding an equal key is emptied first; the pair takes the first
  // empty cell of its probe sequence. `key` and `object` are the strong references of a heap
  // dictionary (empty for a frozen one). Raises when no cell is free.
  void insert(NSUInteger keyHash, NSObject* key, NSObject* object, id&& ownedKey, id&& ownedObject);
  void removeCell(NSUInteger index);
  Moving take(NSUInteger index);
  void place(NSUInteger index, Moving&& cell);
  NSUInteger findCell(const NSObject* key, NSUInteger keyHash) const;  // capacity_ when absent
  // Strong references to what a cell holds, sharing the tree's ownership when frozen.
  id retainedKey(NSUInteger cell) const;
  id retainedObject(NSUInteger cell) const;

  JCHashTableEntry* entries_ = nullptr;
  // A heap dictionary's strong references: the key and the object of cell i at 2i and 2i + 1.
  id* owned_ = nullptr;
  uint32_t count_ = 0;
  uint32_t capacity_ = 0;
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
