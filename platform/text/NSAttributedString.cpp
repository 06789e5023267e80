#include "platform/text/NSAttributedString.h"

#include <algorithm>

#include "platform/foundation/NSException.h"

namespace {

bool sameAttributes(const std::shared_ptr<NSDictionary>& a, const std::shared_ptr<NSDictionary>& b) {
  return a == b || a->isEqualToDictionary(b);
}

std::shared_ptr<NSDictionary> frozen(const std::shared_ptr<NSDictionary>& attrs) {
  if (!attrs || attrs->count() == 0) return NSAttributedString::emptyAttributes();
  return attrs->copy();
}

inline size_t mix(size_t h, size_t v) { return h ^ (v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2)); }

}  // namespace

const std::shared_ptr<NSDictionary>& NSAttributedString::emptyAttributes() {
  static const std::shared_ptr<NSDictionary> empty = NSDictionary::dictionary();
  return empty;
}

NSAttributedString::NSAttributedString(std::shared_ptr<NSString> string, std::shared_ptr<NSDictionary> attributes)
    : string_(string ? string->copy() : NSString::string()) {
  if (string_->length() > 0) runs_.push_back(Run{string_->length(), frozen(attributes)});
}

NSAttributedString::NSAttributedString(std::shared_ptr<NSString> string, std::vector<Run> runs)
    : string_(std::move(string)), runs_(std::move(runs)) {
  normalise();
}

std::shared_ptr<NSAttributedString> NSAttributedString::initWithString(const std::shared_ptr<NSString>& str) {
  return initWithString(str, nullptr);
}

std::shared_ptr<NSAttributedString> NSAttributedString::initWithString(const std::shared_ptr<NSString>& str,
                                                                       const std::shared_ptr<NSDictionary>& attrs) {
  if (!str) zvt::raise(NSInvalidArgumentException, "NSConcreteAttributedString initWithString:: nil value");
  return std::make_shared<NSAttributedString>(str, attrs);
}

std::shared_ptr<NSAttributedString> NSAttributedString::initWithAttributedString(
    const std::shared_ptr<NSAttributedString>& other) {
  if (!other) zvt::raise(NSInvalidArgumentException, "NSConcreteAttributedString initWithAttributedString:: nil value");
  return std::make_shared<NSAttributedString>(other->string_, other->runs_);
}

void NSAttributedString::normalise() {
  std::vector<Run> out;
  out.reserve(runs_.size());
  for (auto& run : runs_) {
    if (run.length == 0) continue;
    if (!run.attributes) run.attributes = emptyAttributes();
    if (!out.empty() && sameAttributes(out.back().attributes, run.attributes)) {
      out.back().length += run.length;
    } else {
      out.push_back(std::move(run));
    }
  }
  runs_ = std::move(out);
}

void NSAttributedString::checkRange(NSRange range, const char* method) const {
  if (range.location > length() || range.length > length() - range.location) {
    zvt::raise(NSRangeException, std::string("NSAttributedString ") + method + ": Range or index out of bounds");
  }
}

void NSAttributedString::checkIndex(NSUInteger location, const char* method) const {
  if (location >= length()) {
    zvt::raise(NSRangeException, std::string("NSAttributedString ") + method + ": Range or index out of bounds");
  }
}

size_t NSAttributedString::runAt(NSUInteger location, NSUInteger* runStart) const {
  NSUInteger start = 0;
  for (size_t i = 0; i < runs_.size(); ++i) {
    if (location < start + runs_[i].length) {
      *runStart = start;
      return i;
    }
    start += runs_[i].length;
  }
  *runStart = start;
  return runs_.size();
}

std::shared_ptr<NSDictionary> NSAttributedString::attributesAtIndex(NSUInteger location, NSRange* effectiveRange) const {
  checkIndex(location, "attributesAtIndex:effectiveRange:");
  NSUInteger start = 0;
  size_t i = runAt(location, &start);
  if (effectiveRange) *effectiveRange = NSMakeRange(start, runs_[i].length);
  return runs_[i].attributes;
}

std::shared_ptr<NSDictionary> NSAttributedString::attributesAtIndex(NSUInteger location, NSRange* longestEffectiveRange,
                                                                    NSRange rangeLimit) const {
  checkRange(rangeLimit, "attributesAtIndex:longestEffectiveRange:inRange:");
  NSRange range;
  auto attrs = attributesAtIndex(location, &range);
  if (longestEffectiveRange) {
    NSUInteger lo = std::max(range.location, rangeLimit.location);
    NSUInteger hi = std::min(NSMaxRange(range), NSMaxRange(rangeLimit));
    *longestEffectiveRange = hi > lo ? NSMakeRange(lo, hi - lo) : NSMakeRange(location, 0);
  }
  return attrs;
}

id NSAttributedString::attribute(const std::shared_ptr<NSString>& attrName, NSUInteger location,
                                 NSRange* effectiveRange) const {
  return attribute(attrName, location, effectiveRange, NSMakeRange(0, length()));
}

id NSAttributedString::attribute(const std::shared_ptr<NSString>& attrName, NSUInteger location,
                                 NSRange* longestEffectiveRange, NSRange rangeLimit) const {
  checkIndex(location, "attribute:atIndex:effectiveRange:");
  checkRange(rangeLimit, "attribute:atIndex:longestEffectiveRange:inRange:");
  NSUInteger start = 0;
  size_t i = runAt(location, &start);
  id value = attrName ? runs_[i].attributes->objectForKey(attrName) : nullptr;
  if (longestEffectiveRange) {
    // Widen over neighbouring runs holding the same value.
    NSUInteger lo = start, hi = start + runs_[i].length;
    for (size_t j = i; j > 0; --j) {
      if (!zvt::objectsEqual(runs_[j - 1].attributes->objectForKey(attrName), value)) break;
      lo -= runs_[j - 1].length;
    }
    for (size_t j = i + 1; j < runs_.size(); ++j) {
      if (!zvt::objectsEqual(runs_[j].attributes->objectForKey(attrName), value)) break;
      hi += runs_[j].length;
    }
    lo = std::max(lo, rangeLimit.location);
    hi = std::min(hi, NSMaxRange(rangeLimit));
    *longestEffectiveRange = hi > lo ? NSMakeRange(lo, hi - lo) : NSMakeRange(location, 0);
  }
  return value;
}

std::shared_ptr<NSAttributedString> NSAttributedString::attributedSubstringFromRange(NSRange range) const {
  checkRange(range, "attributedSubstringFromRange:");
  std::vector<Run> runs;
  NSUInteger start = 0;
  for (const auto& run : runs_) {
    NSUInteger lo = std::max(start, range.location), hi = std::min(start + run.length, NSMaxRange(range));
    if (hi > lo) runs.push_back(Run{hi - lo, run.attributes});
    start += run.length;
  }
  return std::make_shared<NSAttributedString>(string_->substringWithRange(range), std::move(runs));
}

void NSAttributedString::enumerateAttributesInRange(
    NSRange enumerationRange, NSAttributedStringEnumerationOptions opts,
    const std::function<void(const std::shared_ptr<NSDictionary>&, NSRange, bool*)>& block) const {
  checkRange(enumerationRange, "enumerateAttributesInRange:options:usingBlock:");
  if (!block) return;
  struct Piece {
    std::shared_ptr<NSDictionary> attrs;
    NSRange range;
  };
  std::vector<Piece> pieces;
  NSUInteger start = 0;
  for (const auto& run : runs_) {
    NSUInteger lo = std::max(start, enumerationRange.location);
    NSUInteger hi = std::min(start + run.length, NSMaxRange(enumerationRange));
    if (hi > lo) pieces.push_back(Piece{run.attributes, NSMakeRange(lo, hi - lo)});
    start += run.length;
  }
  if (opts & NSAttributedStringEnumerationReverse) std::reverse(pieces.begin(), pieces.end());
  bool stop = false;
  for (const auto& piece : pieces) {
    block(piece.attrs, piece.range, &stop);
    if (stop) break;
  }
}

void NSAttributedString::enumerateAttribute(const std::shared_ptr<NSString>& attrName, NSRange enumerationRange,
                                            NSAttributedStringEnumerationOptions opts,
                                            const std::function<void(const id&, NSRange, bool*)>& block) const {
  checkRange(enumerationRange, "enumerateAttribute:inRange:options:usingBlock:");
  if (!block) return;
  struct Piece {
    id value;
    NSRange range;
  };
  std::vector<Piece> pieces;
  NSUInteger start = 0;
  for (const auto& run : runs_) {
    NSUInteger lo = std::max(start, enumerationRange.location);
    NSUInteger hi = std::min(start + run.length, NSMaxRange(enumerationRange));
    start += run.length;
    if (hi <= lo) continue;
    id value = attrName ? run.attributes->objectForKey(attrName) : nullptr;
    if (!pieces.empty() && zvt::objectsEqual(pieces.back().value, value)) {
      pieces.back().range.length += hi - lo;
    } else {
      pieces.push_back(Piece{value, NSMakeRange(lo, hi - lo)});
    }
  }
  if (opts & NSAttributedStringEnumerationReverse) std::reverse(pieces.begin(), pieces.end());
  bool stop = false;
  for (const auto& piece : pieces) {
    block(piece.value, piece.range, &stop);
    if (stop) break;
  }
}

bool NSAttributedString::isEqualToAttributedString(const std::shared_ptr<NSAttributedString>& other) const {
  return other && hasSameContent(*other);
}

bool NSAttributedString::hasSameContent(const NSAttributedString& other) const {
  if (&other == this) return true;
  if (runs_.size() != other.runs_.size() || string_->view() != other.string_->view()) return false;
  for (size_t i = 0; i < runs_.size(); ++i) {
    if (runs_[i].length != other.runs_[i].length || !sameAttributes(runs_[i].attributes, other.runs_[i].attributes)) {
      return false;
    }
  }
  return true;
}

bool NSAttributedString::isEqual(const id& other) const {
  return isEqualToAttributedString(zvt::as<NSAttributedString>(other));
}

NSUInteger NSAttributedString::hash() const { return string_->hash(); }

size_t NSAttributedString::contentHash() const {
  size_t h = hash_.load(std::memory_order_relaxed);
  if (h != 0) return h;
  h = std::hash<std::string_view>{}(string_->view());
  for (const auto& run : runs_) {
    h = mix(h, run.length);
    // Order-independent over the entries, as dictionaries have no order that equality sees.
    size_t entries = 0;
    run.attributes->enumerateKeysAndObjectsUsingBlock([&](const id& key, const id& value, bool*) {
      entries += mix(key->hash(), value ? value->hash() : 0);
    });
    h = mix(h, entries);
  }
  if (h == 0) h = 1;
  hash_.store(h, std::memory_order_relaxed);
  return h;
}

id NSAttributedString::copyWithZone() const { return std::const_pointer_cast<NSObject>(self()); }

id NSAttributedString::mutableCopyWithZone() const { return std::make_shared<NSMutableAttributedString>(string_, runs_); }

std::shared_ptr<NSAttributedString> NSAttributedString::copy() const {
  return std::static_pointer_cast<NSAttributedString>(copyWithZone());
}

std::shared_ptr<NSMutableAttributedString> NSAttributedString::mutableCopy() const {
  return std::static_pointer_cast<NSMutableAttributedString>(mutableCopyWithZone());
}

std::shared_ptr<NSString> NSAttributedString::description() const {
  std::string text;
  NSUInteger start = 0;
  for (const auto& run : runs_) {
    text += string_->substringWithRange(NSMakeRange(start, run.length))->utf8();
    text += run.attributes->description()->utf8();
    start += run.length;
  }
  return NSString::stringWithUTF8String(text);
}

// --- NSMutableAttributedString

NSMutableAttributedString::NSMutableAttributedString(std::shared_ptr<NSString> string,
                                                     std::shared_ptr<NSDictionary> attributes)
    : NSAttributedString(std::move(string), std::move(attributes)) {
  mutable_ = true;
}

NSMutableAttributedString::NSMutableAttributedString(std::shared_ptr<NSString> string, std::vector<Run> runs)
    : NSAttributedString(std::move(string), std::move(runs)) {
  mutable_ = true;
}

std::shared_ptr<NSMutableAttributedString> NSMutableAttributedString::make() {
  return std::make_shared<NSMutableAttributedString>(NSString::string(), std::shared_ptr<NSDictionary>());
}

std::shared_ptr<NSMutableAttributedString> NSMutableAttributedString::initWithString(const std::shared_ptr<NSString>& str) {
  return initWithString(str, nullptr);
}

std::shared_ptr<NSMutableAttributedString> NSMutableAttributedString::initWithString(
    const std::shared_ptr<NSString>& str, const std::shared_ptr<NSDictionary>& attrs) {
  if (!str) zvt::raise(NSInvalidArgumentException, "NSConcreteMutableAttributedString initWithString:: nil value");
  return std::make_shared<NSMutableAttributedString>(str, attrs);
}

std::shared_ptr<NSMutableAttributedString> NSMutableAttributedString::initWithAttributedString(
    const std::shared_ptr<NSAttributedString>& other) {
  if (!other) {
    zvt::raise(NSInvalidArgumentException, "NSConcreteMutableAttributedString initWithAttributedString:: nil value");
  }
  return std::make_shared<NSMutableAttributedString>(other->string(), other->runs());
}

id NSMutableAttributedString::copyWithZone() const { return std::make_shared<NSAttributedString>(string_, runs_); }

void NSMutableAttributedString::changed() {
  normalise();
  hash_.store(0, std::memory_order_relaxed);
}

size_t NSMutableAttributedString::splitAt(NSUInteger location) {
  NSUInteger start = 0;
  for (size_t i = 0; i < runs_.size(); ++i) {
    if (location == start) return i;
    if (location < start + runs_[i].length) {
      Run tail{start + runs_[i].length - location, runs_[i].attributes};
      runs_[i].length = location - start;
      runs_.insert(runs_.begin() + static_cast<std::ptrdiff_t>(i) + 1, tail);
      return i + 1;
    }
    start += runs_[i].length;
  }
  return runs_.size();
}

void NSMutableAttributedString::replaceCharactersInRange(NSRange range, const std::shared_ptr<NSString>& str) {
  checkRange(range, "replaceCharactersInRange:withString:");
  if (!str) zvt::raise(NSInvalidArgumentException, "NSConcreteMutableAttributedString replaceCharactersInRange:withString:: nil value");
  // The new characters take the attributes of the first one replaced, else of the one before,
  // else of the one after.
  std::shared_ptr<NSDictionary> attrs = emptyAttributes();
  if (range.length > 0) {
    attrs = attributesAtIndex(range.location, nullptr);
  } else if (range.location > 0) {
    attrs = attributesAtIndex(range.location - 1, nullptr);
  } else if (length() > 0) {
    attrs = attributesAtIndex(0, nullptr);
  }
  replaceCharactersInRange(range, std::make_shared<NSAttributedString>(str, attrs));
}

void NSMutableAttributedString::replaceCharactersInRange(NSRange range,
                                                         const std::shared_ptr<NSAttributedString>& attrString) {
  checkRange(range, "replaceCharactersInRange:withAttributedString:");
  if (!attrString) {
    zvt::raise(NSInvalidArgumentException,
               "NSConcreteMutableAttributedString replaceCharactersInRange:withAttributedString:: nil value");
  }
  std::vector<Run> inserted = attrString->runs();  // before any change: the string may be this one
  auto replacement = attrString->string();
  size_t first = splitAt(range.location);
  size_t last = splitAt(NSMaxRange(range));
  runs_.erase(runs_.begin() + static_cast<std::ptrdiff_t>(first), runs_.begin() + static_cast<std::ptrdiff_t>(last));
  runs_.insert(runs_.begin() + static_cast<std::ptrdiff_t>(first), inserted.begin(), inserted.end());
  string_ = string_->stringByReplacingCharactersInRange(range, replacement)->copy();
  changed();
}

void NSMutableAttributedString::deleteCharactersInRange(NSRange range) {
  checkRange(range, "deleteCharactersInRange:");
  replaceCharactersInRange(range, std::make_shared<NSAttributedString>(NSString::string(), nullptr));
}

void NSMutableAttributedString::insertAttributedString(const std::shared_ptr<NSAttributedString>& attrString,
                                                       NSUInteger loc) {
  if (loc > length()) zvt::raise(NSRangeException, "NSMutableAttributedString insertAttributedString:atIndex:: Out of bounds");
  replaceCharactersInRange(NSMakeRange(loc, 0), attrString);
}

void NSMutableAttributedString::appendAttributedString(const std::shared_ptr<NSAttributedString>& attrString) {
  replaceCharactersInRange(NSMakeRange(length(), 0), attrString);
}

void NSMutableAttributedString::setAttributedString(const std::shared_ptr<NSAttributedString>& attrString) {
  replaceCharactersInRange(NSMakeRange(0, length()), attrString);
}

void NSMutableAttributedString::editAttributes(
    NSRange range, const char* method,
    const std::function<std::shared_ptr<NSDictionary>(const std::shared_ptr<NSDictionary>&)>& edit) {
  checkRange(range, method);
  if (range.length == 0) return;
  size_t first = splitAt(range.location);
  size_t last = splitAt(NSMaxRange(range));
  for (size_t i = first; i < last; ++i) runs_[i].attributes = edit(runs_[i].attributes);
  changed();
}

void NSMutableAttributedString::setAttributes(const std::shared_ptr<NSDictionary>& attrs, NSRange range) {
  auto value = frozen(attrs);
  editAttributes(range, "setAttributes:range:", [&](const std::shared_ptr<NSDictionary>&) { return value; });
}

void NSMutableAttributedString::addAttribute(const std::shared_ptr<NSString>& name, const id& value, NSRange range) {
  if (!name || !value) zvt::raise(NSInvalidArgumentException, "NSConcreteMutableAttributedString addAttribute:value:range:: nil value");
  editAttributes(range, "addAttribute:value:range:", [&](const std::shared_ptr<NSDictionary>& old) {
    auto next = old->mutableCopy();
    next->setObject(value, name);
    return frozen(next);
  });
}

void NSMutableAttributedString::addAttributes(const std::shared_ptr<NSDictionary>& attrs, NSRange range) {
  if (!attrs || attrs->count() == 0) {
    checkRange(range, "addAttributes:range:");
    return;
  }
  editAttributes(range, "addAttributes:range:", [&](const std::shared_ptr<NSDictionary>& old) {
    auto next = old->mutableCopy();
    attrs->enumerateKeysAndObjectsUsingBlock([&](const id& key, const id& value, bool*) { next->setObject(value, key); });
    return frozen(next);
  });
}

void NSMutableAttributedString::removeAttribute(const std::shared_ptr<NSString>& name, NSRange range) {
  if (!name) zvt::raise(NSInvalidArgumentException, "NSConcreteMutableAttributedString removeAttribute:range:: nil value");
  editAttributes(range, "removeAttribute:range:", [&](const std::shared_ptr<NSDictionary>& old) {
    if (!old->objectForKey(name)) return old;
    auto next = old->mutableCopy();
    next->removeObjectForKey(name);
    return frozen(next);
  });
}
