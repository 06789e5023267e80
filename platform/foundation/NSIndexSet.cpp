#include "platform/foundation/NSIndexSet.h"

#include <algorithm>

#include "platform/foundation/NSString.h"

std::shared_ptr<NSIndexSet> NSIndexSet::indexSet() { return std::make_shared<NSIndexSet>(); }

std::shared_ptr<NSIndexSet> NSIndexSet::indexSetWithIndex(NSUInteger index) {
  return indexSetWithIndexesInRange(NSMakeRange(index, 1));
}

std::shared_ptr<NSIndexSet> NSIndexSet::indexSetWithIndexesInRange(NSRange range) {
  auto set = std::make_shared<NSIndexSet>();
  set->add(range);
  return set;
}

void NSIndexSet::add(NSRange range) {
  if (range.length == 0) return;
  NSUInteger begin = range.location, end = NSMaxRange(range);
  std::vector<NSRange> out;
  out.reserve(ranges_.size() + 1);
  bool placed = false;
  for (const NSRange& r : ranges_) {
    NSUInteger rb = r.location, re = NSMaxRange(r);
    if (re < begin) {
      out.push_back(r);
    } else if (rb > end) {
      if (!placed) out.push_back(NSMakeRange(begin, end - begin)), placed = true;
      out.push_back(r);
    } else {  // touching or overlapping: merge
      begin = std::min(begin, rb);
      end = std::max(end, re);
    }
  }
  if (!placed) out.push_back(NSMakeRange(begin, end - begin));
  ranges_ = std::move(out);
}

void NSIndexSet::remove(NSRange range) {
  if (range.length == 0) return;
  NSUInteger begin = range.location, end = NSMaxRange(range);
  std::vector<NSRange> out;
  for (const NSRange& r : ranges_) {
    NSUInteger rb = r.location, re = NSMaxRange(r);
    if (re <= begin || rb >= end) {
      out.push_back(r);
      continue;
    }
    if (rb < begin) out.push_back(NSMakeRange(rb, begin - rb));
    if (re > end) out.push_back(NSMakeRange(end, re - end));
  }
  ranges_ = std::move(out);
}

NSUInteger NSIndexSet::count() const {
  NSUInteger n = 0;
  for (const NSRange& r : ranges_) n += r.length;
  return n;
}

NSUInteger NSIndexSet::firstIndex() const {
  return ranges_.empty() ? static_cast<NSUInteger>(NSNotFound) : ranges_.front().location;
}

NSUInteger NSIndexSet::lastIndex() const {
  return ranges_.empty() ? static_cast<NSUInteger>(NSNotFound) : NSMaxRange(ranges_.back()) - 1;
}

NSUInteger NSIndexSet::indexGreaterThanIndex(NSUInteger index) const {
  for (const NSRange& r : ranges_) {
    if (index + 1 < NSMaxRange(r)) return std::max(r.location, index + 1);
  }
  return static_cast<NSUInteger>(NSNotFound);
}

NSUInteger NSIndexSet::indexLessThanIndex(NSUInteger index) const {
  for (auto it = ranges_.rbegin(); it != ranges_.rend(); ++it) {
    if (it->location < index) return std::min(NSMaxRange(*it) - 1, index - 1);
  }
  return static_cast<NSUInteger>(NSNotFound);
}

bool NSIndexSet::containsIndex(NSUInteger index) const {
  for (const NSRange& r : ranges_) {
    if (NSLocationInRange(index, r)) return true;
  }
  return false;
}

bool NSIndexSet::containsIndexesInRange(NSRange range) const {
  if (range.length == 0) return false;
  for (const NSRange& r : ranges_) {
    if (r.location <= range.location && NSMaxRange(range) <= NSMaxRange(r)) return true;
  }
  return false;
}

bool NSIndexSet::containsIndexes(const std::shared_ptr<NSIndexSet>& other) const {
  if (!other) return false;
  for (const NSRange& r : other->ranges_) {
    if (!containsIndexesInRange(r)) return false;
  }
  return true;
}

bool NSIndexSet::intersectsIndexesInRange(NSRange range) const {
  for (const NSRange& r : ranges_) {
    if (r.location < NSMaxRange(range) && range.location < NSMaxRange(r)) return true;
  }
  return false;
}

bool NSIndexSet::isEqualToIndexSet(const std::shared_ptr<NSIndexSet>& other) const {
  return other && other->ranges_ == ranges_;
}

void NSIndexSet::enumerateIndexesUsingBlock(const std::function<void(NSUInteger, bool*)>& block) const {
  bool stop = false;
  for (const NSRange& r : std::vector<NSRange>(ranges_)) {
    for (NSUInteger i = r.location; i < NSMaxRange(r); ++i) {
      block(i, &stop);
      if (stop) return;
    }
  }
}

void NSIndexSet::enumerateRangesUsingBlock(const std::function<void(NSRange, bool*)>& block) const {
  bool stop = false;
  for (const NSRange& r : std::vector<NSRange>(ranges_)) {
    block(r, &stop);
    if (stop) return;
  }
}

std::vector<NSUInteger> NSIndexSet::allIndexes() const {
  std::vector<NSUInteger> out;
  for (const NSRange& r : ranges_) {
    for (NSUInteger i = r.location; i < NSMaxRange(r); ++i) out.push_back(i);
  }
  return out;
}

std::shared_ptr<NSString> NSIndexSet::description() const {
  std::string text = zvt::format("<%s: %p>[number of indexes: %lu (in %lu ranges), indexes: (",
                                 {className(), static_cast<const void*>(this), count(), ranges_.size()});
  for (size_t k = 0; k < ranges_.size(); ++k) {
    if (k) text += " ";
    const NSRange& r = ranges_[k];
    text += r.length == 1 ? std::to_string(r.location)
                          : std::to_string(r.location) + "-" + std::to_string(NSMaxRange(r) - 1);
  }
  text += ")]";
  return NSString::fromValidUTF8(std::move(text));
}

bool NSIndexSet::isEqual(const id& other) const {
  auto* set = dynamic_cast<const NSIndexSet*>(other.get());
  return set && set->ranges_ == ranges_;
}

NSUInteger NSIndexSet::hash() const { return count(); }

id NSIndexSet::copyWithZone() const {
  auto set = std::make_shared<NSIndexSet>();
  set->ranges_ = ranges_;
  return set;
}

id NSIndexSet::mutableCopyWithZone() const {
  auto set = std::make_shared<NSMutableIndexSet>();
  for (const NSRange& r : ranges_) set->addIndexesInRange(r);
  return set;
}

std::shared_ptr<NSMutableIndexSet> NSMutableIndexSet::indexSet() { return std::make_shared<NSMutableIndexSet>(); }

std::shared_ptr<NSMutableIndexSet> NSMutableIndexSet::indexSetWithIndexesInRange(NSRange range) {
  auto set = std::make_shared<NSMutableIndexSet>();
  set->add(range);
  return set;
}

void NSMutableIndexSet::addIndexes(const std::shared_ptr<NSIndexSet>& other) {
  if (!other) return;
  for (const NSRange& r : std::vector<NSRange>(other->ranges())) add(r);
}

void NSMutableIndexSet::removeIndexes(const std::shared_ptr<NSIndexSet>& other) {
  if (!other) return;
  for (const NSRange& r : std::vector<NSRange>(other->ranges())) remove(r);
}

void NSMutableIndexSet::shiftIndexesStartingAtIndex(NSUInteger index, NSInteger delta) {
  // A shift down drops the indexes in [index + delta, index), as they are overwritten.
  const NSUInteger down = delta < 0 ? std::min<NSUInteger>(index, static_cast<NSUInteger>(-delta)) : 0;
  const NSUInteger lowest = index - down;
  std::vector<NSRange> old = std::move(ranges_);
  ranges_.clear();
  for (const NSRange& r : old) {
    NSUInteger b = r.location, e = NSMaxRange(r);
    NSUInteger keepEnd = std::min(e, lowest);
    if (b < keepEnd) add(NSMakeRange(b, keepEnd - b));
    NSUInteger movedBegin = std::max(b, index);
    if (movedBegin < e) {
      NSUInteger nb = delta < 0 ? movedBegin - down : movedBegin + static_cast<NSUInteger>(delta);
      add(NSMakeRange(nb, e - movedBegin));
    }
  }
}

id NSMutableIndexSet::copyWithZone() const { return NSIndexSet::copyWithZone(); }
