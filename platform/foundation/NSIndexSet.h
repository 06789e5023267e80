#pragma once
// Sets of unsigned indexes, kept as sorted, disjoint ranges.

#include <functional>
#include <memory>
#include <vector>

#include "platform/foundation/NSObject.h"

class NSIndexSet : public NSObject {
 public:
  NSIndexSet() = default;
  static std::shared_ptr<NSIndexSet> indexSet();
  static std::shared_ptr<NSIndexSet> indexSetWithIndex(NSUInteger index);
  static std::shared_ptr<NSIndexSet> indexSetWithIndexesInRange(NSRange range);

  NSUInteger count() const;
  NSUInteger firstIndex() const;  // NSNotFound when empty
  NSUInteger lastIndex() const;   // NSNotFound when empty
  // The next index above / below the given one, NSNotFound when there is none.
  NSUInteger indexGreaterThanIndex(NSUInteger index) const;
  NSUInteger indexLessThanIndex(NSUInteger index) const;
  bool containsIndex(NSUInteger index) const;
  bool containsIndexesInRange(NSRange range) const;
  bool containsIndexes(const std::shared_ptr<NSIndexSet>& other) const;
  bool intersectsIndexesInRange(NSRange range) const;
  bool isEqualToIndexSet(const std::shared_ptr<NSIndexSet>& other) const;
  void enumerateIndexesUsingBlock(const std::function<void(NSUInteger index, bool* stop)>& block) const;
  void enumerateRangesUsingBlock(const std::function<void(NSRange range, bool* stop)>& block) const;
  const std::vector<NSRange>& ranges() const { return ranges_; }
  std::vector<NSUInteger> allIndexes() const;

  std::shared_ptr<NSString> description() const override;
  bool isEqual(const id& other) const override;
  NSUInteger hash() const override;
  id copyWithZone() const override;
  id mutableCopyWithZone() const override;

 protected:
  void add(NSRange range);
  void remove(NSRange range);
  std::vector<NSRange> ranges_;
};

class NSMutableIndexSet : public NSIndexSet {
 public:
  static std::shared_ptr<NSMutableIndexSet> indexSet();
  static std::shared_ptr<NSMutableIndexSet> indexSetWithIndexesInRange(NSRange range);

  void addIndex(NSUInteger index) { add(NSMakeRange(index, 1)); }
  void addIndexesInRange(NSRange range) { add(range); }
  void addIndexes(const std::shared_ptr<NSIndexSet>& other);
  void removeIndex(NSUInteger index) { remove(NSMakeRange(index, 1)); }
  void removeIndexesInRange(NSRange range) { remove(range); }
  void removeIndexes(const std::shared_ptr<NSIndexSet>& other);
  void removeAllIndexes() { ranges_.clear(); }
  // Moves the indexes at and above `index` by `delta` (removing those shifted below `index`).
  void shiftIndexesStartingAtIndex(NSUInteger index, NSInteger delta);

  id copyWithZone() const override;
};
