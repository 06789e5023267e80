#include "platform/foundation/NSIndexPath.h"

#include <cstdio>

#include "platform/foundation/NSString.h"

std::shared_ptr<NSIndexPath> NSIndexPath::indexPathWithIndex(NSUInteger index) {
  return std::make_shared<NSIndexPath>(std::vector<NSUInteger>{index});
}

std::shared_ptr<NSIndexPath> NSIndexPath::indexPathWithIndexes(std::vector<NSUInteger> indexes) {
  return std::make_shared<NSIndexPath>(std::move(indexes));
}

std::shared_ptr<NSIndexPath> NSIndexPath::indexPathForRow(NSInteger row, NSInteger section) {
  return std::make_shared<NSIndexPath>(
      std::vector<NSUInteger>{static_cast<NSUInteger>(section), static_cast<NSUInteger>(row)});
}

std::shared_ptr<NSIndexPath> NSIndexPath::indexPathForItem(NSInteger item, NSInteger section) {
  return indexPathForRow(item, section);
}

NSUInteger NSIndexPath::indexAtPosition(NSUInteger position) const {
  return position < indexes_.size() ? indexes_[position] : NSNotFound;
}

std::shared_ptr<NSIndexPath> NSIndexPath::indexPathByAddingIndex(NSUInteger index) const {
  auto indexes = indexes_;
  indexes.push_back(index);
  return std::make_shared<NSIndexPath>(std::move(indexes));
}

std::shared_ptr<NSIndexPath> NSIndexPath::indexPathByRemovingLastIndex() const {
  auto indexes = indexes_;
  if (!indexes.empty()) indexes.pop_back();
  return std::make_shared<NSIndexPath>(std::move(indexes));
}

NSComparisonResult NSIndexPath::compare(const std::shared_ptr<NSIndexPath>& other) const {
  if (!other) return NSOrderedDescending;
  const auto& b = other->indexes_;
  for (size_t i = 0; i < indexes_.size() && i < b.size(); ++i) {
    if (indexes_[i] < b[i]) return NSOrderedAscending;
    if (indexes_[i] > b[i]) return NSOrderedDescending;
  }
  if (indexes_.size() == b.size()) return NSOrderedSame;
  return indexes_.size() < b.size() ? NSOrderedAscending : NSOrderedDescending;
}

bool NSIndexPath::isEqual(const id& other) const {
  auto path = zvt::as<NSIndexPath>(other);
  return path && path->indexes_ == indexes_;
}

NSUInteger NSIndexPath::hash() const {
  NSUInteger h = indexes_.size();
  for (NSUInteger i : indexes_) h = h * 1000003u ^ i;
  return h;
}

id NSIndexPath::copyWithZone() const { return std::const_pointer_cast<NSObject>(shared_from_this()); }

std::shared_ptr<NSString> NSIndexPath::description() const {
  char address[32];
  std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
  std::string text = std::string("<NSIndexPath: ") + address + "> {length = " + std::to_string(indexes_.size()) +
                     ", path = ";
  for (size_t i = 0; i < indexes_.size(); ++i) text += (i ? " - " : "") + std::to_string(indexes_[i]);
  text += "}";
  return NSString::fromValidUTF8(std::move(text));
}

namespace zvt {
bool sameIndexPath(const std::shared_ptr<NSIndexPath>& a, const std::shared_ptr<NSIndexPath>& b) {
  if (a == b) return true;
  return a && b && a->indexes() == b->indexes();
}
}  // namespace zvt
