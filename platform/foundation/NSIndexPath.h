#pragma once
// Index paths: a list of indexes naming a node of a tree, such as a row of a table (section,
// row) or an item of a collection (section, item). Immutable; equal when the indexes are.
// The row, item and section accessors are UIKit's additions.

#include <initializer_list>
#include <memory>
#include <vector>

#include "platform/foundation/NSObject.h"

class NSIndexPath : public NSObject {
 public:
  NSIndexPath() = default;
  explicit NSIndexPath(std::vector<NSUInteger> indexes) : indexes_(std::move(indexes)) {}

  static std::shared_ptr<NSIndexPath> indexPathWithIndex(NSUInteger index);
  static std::shared_ptr<NSIndexPath> indexPathWithIndexes(std::vector<NSUInteger> indexes);
  // UIKit: a path of two indexes, the section first.
  static std::shared_ptr<NSIndexPath> indexPathForRow(NSInteger row, NSInteger section);
  static std::shared_ptr<NSIndexPath> indexPathForItem(NSInteger item, NSInteger section);

  NSUInteger length() const { return indexes_.size(); }
  // NSNotFound beyond the end.
  NSUInteger indexAtPosition(NSUInteger position) const;
  const std::vector<NSUInteger>& indexes() const { return indexes_; }
  std::shared_ptr<NSIndexPath> indexPathByAddingIndex(NSUInteger index) const;
  std::shared_ptr<NSIndexPath> indexPathByRemovingLastIndex() const;
  // By index, then the shorter first.
  NSComparisonResult compare(const std::shared_ptr<NSIndexPath>& other) const;

  // UIKit: the first index is the section, the second the row (or item).
  NSInteger section() const { return static_cast<NSInteger>(indexAtPosition(0)); }
  NSInteger row() const { return static_cast<NSInteger>(indexAtPosition(1)); }
  NSInteger item() const { return row(); }

  bool isEqual(const id& other) const override;
  NSUInteger hash() const override;
  id copyWithZone() const override;
  std::shared_ptr<NSString> description() const override;

 private:
  std::vector<NSUInteger> indexes_;
};

namespace zvt {
// Value equality of two paths (two nils are equal).
bool sameIndexPath(const std::shared_ptr<NSIndexPath>& a, const std::shared_ptr<NSIndexPath>& b);
}  // namespace zvt
