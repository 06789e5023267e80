#include "platform/foundation/NSCharacterSet.h"

#include <cstring>

#include "platform/foundation/NSString.h"
#include "platform/foundation/internal/Unicode.h"

namespace {

bool isWhitespace(char32_t c) {
  return c == ' ' || c == '\t' || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x202F ||
         c == 0x205F || c == 0x3000;
}
bool isNewline(char32_t c) { return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029; }
bool isAsciiAlnum(char32_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

std::shared_ptr<NSCharacterSet> shared(std::function<bool(char32_t)> predicate) {
  return std::make_shared<NSCharacterSet>(std::move(predicate));
}

std::shared_ptr<NSCharacterSet> urlSet(const char* extra) {
  return shared([extra](char32_t c) { return isAsciiAlnum(c) || (c < 0x80 && c != 0 && std::strchr(extra, static_cast<int>(c))); });
}

std::set<char32_t> charactersOf(const std::shared_ptr<NSString>& s) {
  std::set<char32_t> out;
  if (!s) return out;
  size_t i = 0;
  while (i < s->utf8().size()) out.insert(zvt::unicode::decodeNext(s->utf8(), i));
  return out;
}

}  // namespace

std::shared_ptr<NSCharacterSet> NSCharacterSet::whitespaceCharacterSet() {
  static const auto set = shared(isWhitespace);
  return set;
}
std::shared_ptr<NSCharacterSet> NSCharacterSet::whitespaceAndNewlineCharacterSet() {
  static const auto set = shared([](char32_t c) { return isWhitespace(c) || isNewline(c); });
  return set;
}
std::shared_ptr<NSCharacterSet> NSCharacterSet::newlineCharacterSet() {
  static const auto set = shared(isNewline);
  return set;
}
std::shared_ptr<NSCharacterSet> NSCharacterSet::decimalDigitCharacterSet() {
  static const auto set = shared([](char32_t c) { return (c >= '0' && c <= '9') || (c >= 0xFF10 && c <= 0xFF19); });
  return set;
}
std::shared_ptr<NSCharacterSet> NSCharacterSet::letterCharacterSet() {
  static const auto set = shared([](char32_t c) {
    return zvt::unicode::isAlphanumeric(c) && !(c >= '0' && c <= '9') && !(c >= 0xFF10 && c <= 0xFF19);
  });
  return set;
}
std::shared_ptr<NSCharacterSet> NSCharacterSet::lowercaseLetterCharacterSet() {
  static const auto set = shared([](char32_t c) { return zvt::unicode::toUpper(c) != c || (c >= 'a' && c <= 'z') || c == 0xDF; });
  return set;
}
std::shared_ptr<NSCharacterSet> NSCharacterSet::uppercaseLetterCharacterSet() {
  static const auto set = shared([](char32_t c) { return zvt::unicode::toLower(c) != c; });
  return set;
}
std::shared_ptr<NSCharacterSet> NSCharacterSet::alphanumericCharacterSet() {
  static const auto set = shared(zvt::unicode::isAlphanumeric);
  return set;
}
std::shared_ptr<NSCharacterSet> NSCharacterSet::punctuationCharacterSet() {
  static const auto set = shared([](char32_t c) {
    if (c < 0x80) return c != 0 && std::strchr("!\"#%&'()*,-./:;?@[\\]_{}", static_cast<int>(c)) != nullptr;
    return (c >= 0x2010 && c <= 0x2027) || (c >= 0x3001 && c <= 0x3003) || (c >= 0x3008 && c <= 0x3011) ||
           (c >= 0xFF01 && c <= 0xFF0F && c != 0xFF04 && c != 0xFF0B) || c == 0xFF1A || c == 0xFF1B || c == 0xFF1F;
  });
  return set;
}
std::shared_ptr<NSCharacterSet> NSCharacterSet::controlCharacterSet() {
  static const auto set = shared([](char32_t c) { return c < 0x20 || (c >= 0x7F && c < 0xA0); });
  return set;
}

std::shared_ptr<NSCharacterSet> NSCharacterSet::characterSetWithCharactersInString(const std::shared_ptr<NSString>& characters) {
  auto members = std::make_shared<std::set<char32_t>>(charactersOf(characters));
  return shared([members](char32_t c) { return members->count(c) != 0; });
}

std::shared_ptr<NSCharacterSet> NSCharacterSet::characterSetWithRange(NSRange range) {
  return shared([range](char32_t c) { return NSLocationInRange(c, range); });
}

std::shared_ptr<NSCharacterSet> NSCharacterSet::URLQueryAllowedCharacterSet() {
  static const auto set = urlSet("!$&'()*+,-./:;=?@_~");
  return set;
}
std::shared_ptr<NSCharacterSet> NSCharacterSet::URLPathAllowedCharacterSet() {
  static const auto set = urlSet("!$&'()*+,-./:=@_~");
  return set;
}
std::shared_ptr<NSCharacterSet> NSCharacterSet::URLHostAllowedCharacterSet() {
  static const auto set = urlSet("!$&'()*+,-.:;=[]_~");
  return set;
}
std::shared_ptr<NSCharacterSet> NSCharacterSet::URLFragmentAllowedCharacterSet() {
  static const auto set = urlSet("!$&'()*+,-./:;=?@_~");
  return set;
}
std::shared_ptr<NSCharacterSet> NSCharacterSet::URLUserAllowedCharacterSet() {
  static const auto set = urlSet("!$&'()*+,-.;=_~");
  return set;
}
std::shared_ptr<NSCharacterSet> NSCharacterSet::URLPasswordAllowedCharacterSet() {
  static const auto set = urlSet("!$&'()*+,-.;=_~");
  return set;
}

std::shared_ptr<NSCharacterSet> NSCharacterSet::invertedSet() const {
  auto predicate = predicate_;
  return shared([predicate](char32_t c) { return !predicate(c); });
}

id NSCharacterSet::copyWithZone() const { return self(); }

id NSCharacterSet::mutableCopyWithZone() const { return std::make_shared<NSMutableCharacterSet>(predicate_); }

std::shared_ptr<NSMutableCharacterSet> NSCharacterSet::mutableCopy() const {
  return std::static_pointer_cast<NSMutableCharacterSet>(mutableCopyWithZone());
}

void NSMutableCharacterSet::addCharactersInString(const std::shared_ptr<NSString>& characters) {
  auto members = std::make_shared<std::set<char32_t>>(charactersOf(characters));
  predicate_ = [old = predicate_, members](char32_t c) { return members->count(c) != 0 || old(c); };
}

void NSMutableCharacterSet::removeCharactersInString(const std::shared_ptr<NSString>& characters) {
  auto members = std::make_shared<std::set<char32_t>>(charactersOf(characters));
  predicate_ = [old = predicate_, members](char32_t c) { return members->count(c) == 0 && old(c); };
}

void NSMutableCharacterSet::addCharactersInRange(NSRange range) {
  predicate_ = [old = predicate_, range](char32_t c) { return NSLocationInRange(c, range) || old(c); };
}

void NSMutableCharacterSet::removeCharactersInRange(NSRange range) {
  predicate_ = [old = predicate_, range](char32_t c) { return !NSLocationInRange(c, range) && old(c); };
}

void NSMutableCharacterSet::formUnionWithCharacterSet(const std::shared_ptr<NSCharacterSet>& other) {
  if (!other || other.get() == this) return;  // a set united with itself is itself (and must not refer to itself)
  predicate_ = [old = predicate_, other](char32_t c) { return old(c) || other->longCharacterIsMember(c); };
}

void NSMutableCharacterSet::formIntersectionWithCharacterSet(const std::shared_ptr<NSCharacterSet>& other) {
  if (!other || other.get() == this) return;
  predicate_ = [old = predicate_, other](char32_t c) { return old(c) && other->longCharacterIsMember(c); };
}

void NSMutableCharacterSet::invert() {
  predicate_ = [old = predicate_](char32_t c) { return !old(c); };
}

id NSMutableCharacterSet::copyWithZone() const { return std::make_shared<NSCharacterSet>(predicate_); }
