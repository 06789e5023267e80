#include "foundation/json/JCSerializer.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <typeinfo>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "foundation/json/JCContainers.h"
#include "foundation/json/JCUTF8.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSNumber.h"

namespace zvt::json {
namespace {

constexpr size_t kWriteCacheSlots = 1024;
constexpr size_t kOutputStackArea = 4096;
constexpr size_t kOutputGrowth = 32768;

// What the writer makes of an object's class. Numbers of the two commonest classes are told
// apart by their exact class, so that they need no look at their type character.
enum Kind : uint8_t {
  kindString,
  kindNumber,
  kindDictionary,
  kindArray,
  kindNull,
  kindSignedNumber,  // a number of class zvt::NumberOf<'q'>
  kindDoubleNumber,  // a number of class zvt::NumberOf<'d'>
  kindCount,
  kindNone = kindCount
};

// What each byte of a string needs: 0 = copied as is, 1 = a short escape or \u00xx,
// 2 = the start of a sequence outside ASCII that must be looked at.
struct EscapeTable {
  std::array<uint8_t, 256> action{};
};

constexpr EscapeTable makeEscapeTable(bool escapeSlash, bool escapeNonASCII) {
  EscapeTable t;
  for (unsigned c = 0; c < 0x20; ++c) t.action[c] = 1;
  t.action['"'] = 1;
  t.action['\\'] = 1;
  if (escapeSlash) t.action['/'] = 1;
  for (unsigned c = 0x80; c < 0x100; ++c) t.action[c] = escapeNonASCII ? 2 : 0;
  // Lone surrogates (kept by strings as ED A0..BF xx) have no UTF-8 form: they become "?".
  t.action[0xED] = 2;
  return t;
}

constexpr EscapeTable kEscapeTables[4] = {
    makeEscapeTable(false, false),
    makeEscapeTable(true, false),
    makeEscapeTable(false, true),
    makeEscapeTable(true, true),
};

const char kHexDigits[] = "0123456789abcdef";

}  // namespace

namespace {

constexpr uint64_t kPow10[20] = {1ull,
                                 10ull,
                                 100ull,
                                 1000ull,
                                 10000ull,
                                 100000ull,
                                 1000000ull,
                                 10000000ull,
                                 100000000ull,
                                 1000000000ull,
                                 10000000000ull,
                                 100000000000ull,
                                 1000000000000ull,
                                 10000000000000ull,
                                 100000000000000ull,
                                 1000000000000000ull,
                                 10000000000000000ull,
                                 100000000000000000ull,
                                 1000000000000000000ull,
                                 10000000000000000000ull};

// 10^k as a 128-bit integer, 0 <= k <= 38.
unsigned __int128 pow10x128(int k) {
  if (k <= 19) return kPow10[k];
  return static_cast<unsigned __int128>(kPow10[19]) * kPow10[k - 19];
}

// The 17 significant digits of |value| rounded to nearest (ties to even), exactly, for values
// whose scaled mantissa fits 128 bits; false for the rest.
bool digits17(double value, uint64_t& digits, int& exponent) {
  uint64_t bits = std::bit_cast<uint64_t>(value);
  int biased = static_cast<int>((bits >> 52) & 0x7FF);
  uint64_t mantissa = bits & ((uint64_t{1} << 52) - 1);
  if (biased == 0) return false;  // zero and subnormals
  mantissa |= uint64_t{1} << 52;
  int e2 = biased - 1075;         // value = mantissa * 2^e2
  if (e2 > 0 || e2 < -120) return false;
  // The decimal exponent from the binary one; off by at most one, which the loop corrects.
  int x = static_cast<int>(std::floor((e2 + 52) * 0.30102999566398120));
  for (int attempt = 0; attempt < 3; ++attempt) {
    int k = 16 - x;  // scale so that 17 digits stand before the binary point
    if (k < 0 || k > 22) return false;
    unsigned __int128 scaled = static_cast<unsigned __int128>(mantissa) * pow10x128(k);
    unsigned __int128 q = scaled >> -e2;
    unsigned __int128 r = scaled - (q << -e2);
    if (q >= kPow10[17]) {
      ++x;
      continue;
    }
    if (q < kPow10[16]) {
      --x;
      continue;
    }
    if (e2 < 0) {
      unsigned __int128 half = static_cast<unsigned __int128>(1) << (-e2 - 1);
      if (r > half || (r == half && (q & 1))) ++q;
    }
    if (q == kPow10[17]) {
      q = kPow10[16];
      ++x;
    }
    digits = static_cast<uint64_t>(q);
    exponent = x;
    return true;
  }
  return false;
}

}  // namespace

// The text of a finite double as "%.17g" prints it: the 17 digits come from exact integer
// arithmetic for ordinary magnitudes, from the library's precise conversion for the rest.
// "00" "01" ... "99".
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

char* formatDouble17(double value, char* first, char* last) {
  uint64_t q;
  int x;
  if (last - first < 32 || !digits17(value, q, x)) {
    auto precise = std::to_chars(first, last, value, std::chars_format::general, 17);
    return precise.ec == std::errc() ? precise.ptr : nullptr;
  }
  char digits[17];
  // The high nine and the low eight digits, two at a time.
  uint32_t high = static_cast<uint32_t>(q / 100000000), low = static_cast<uint32_t>(q % 100000000);
  for (int i = 15; i >= 9; i -= 2) {
    std::memcpy(digits + i, kDigitPairs + 2 * (low % 100), 2);
    low /= 100;
  }
  for (int i = 7; i >= 1; i -= 2) {
    std::memcpy(digits + i, kDigitPairs + 2 * (high % 100), 2);
    high /= 100;
  }
  digits[0] = static_cast<char>('0' + high);
  int n = 17;
  while (n > 1 && digits[n - 1] == '0') --n;  // %g drops trailing zeros
  char* out = first;
  if (std::signbit(value)) *out++ = '-';
  if (x >= -4 && x < 17) {
    if (x >= 0) {
      for (int i = 0; i <= x; ++i) *out++ = i < n ? digits[i] : '0';
      if (n > x + 1) {
        *out++ = '.';
        for (int i = x + 1; i < n; ++i) *out++ = digits[i];
      }
    } else {
      *out++ = '0';
      *out++ = '.';
      for (int i = -1; i > x; --i) *out++ = '0';
      for (int i = 0; i < n; ++i) *out++ = digits[i];
    }
  } else {
    *out++ = digits[0];
    if (n > 1) {
      *out++ = '.';
      for (int i = 1; i < n; ++i) *out++ = digits[i];
    }
    *out++ = 'e';
    *out++ = x < 0 ? '-' : '+';
    int magnitude = x < 0 ? -x : x;
    if (magnitude < 10) *out++ = '0';
    out = std::to_chars(out, last, magnitude).ptr;
  }
  return out;
}

}  // namespace zvt::json

namespace zvt::json {

// Copies n bytes between ranges that do not overlap. Most texts the writer copies are a few
// bytes (a key, a number, text written earlier), too few to be worth a call.
inline void copyShort(uint8_t* to, const uint8_t* from, size_t n) {
  if (n > 16) {
    std::memcpy(to, from, n);
  } else if (n >= 8) {
    uint64_t a, b;
    std::memcpy(&a, from, 8);
    std::memcpy(&b, from + n - 8, 8);
    std::memcpy(to, &a, 8);
    std::memcpy(to + n - 8, &b, 8);
  } else if (n >= 4) {
    uint32_t a, b;
    std::memcpy(&a, from, 4);
    std::memcpy(&b, from + n - 4, 4);
    std::memcpy(to, &a, 4);
    std::memcpy(to + n - 4, &b, 4);
  } else {
    for (size_t i = 0; i < n; ++i) to[i] = from[i];
  }
}

// The decimal digits of v, written at `out` (which has room for 20 and more); answers the end.
// The length comes first, so the digits go straight to their places, four at a time from the end.
inline char* writeDecimal(char* out, uint64_t v) {
  if (v < 10) {
    *out = static_cast<char>('0' + v);
    return out + 1;
  }
  // log10 from the bit length, corrected by one comparison (1233 / 4096 is about log10(2)).
  const unsigned approx = static_cast<unsigned>((64 - std::countl_zero(v)) * 1233) >> 12;
  char* const end = out + approx + (v >= kPow10[approx] ? 1 : 0);
  char* p = end;
  while (v >= 10000) {
    const auto group = static_cast<uint32_t>(v % 10000);
    v /= 10000;
    p -= 4;
    std::memcpy(p, kDigitPairs + 2 * (group / 100), 2);
    std::memcpy(p + 2, kDigitPairs + 2 * (group % 100), 2);
  }
  auto head = static_cast<uint32_t>(v);
  if (head >= 100) {
    p -= 2;
    std::memcpy(p, kDigitPairs + 2 * (head % 100), 2);
    head /= 100;
  }
  if (head >= 10) {
    std::memcpy(p - 2, kDigitPairs + 2 * head, 2);
  } else {
    p[-1] = static_cast<char>('0' + head);
  }
  return end;
}

// Elements fetched at once from containers of other classes. Each nesting level has its own
// batch on the stack, so it stays small.
constexpr NSUInteger kBatch = 32;
// How many of a child container's first elements are fetched ahead, with the batch it is in.
constexpr NSUInteger kChildPrefetch = 8;

// A child container's first elements, fetched (and their objects asked for) while its parent's
// batch was fetched ahead: the child's writing starts from them instead of fetching them again.
struct ChildBatch {
  const NSObject* objects[kChildPrefetch];
  const NSObject* keys[kChildPrefetch];  // a dictionary's
  NSUInteger count;                      // fetched
  NSUInteger position;                   // where the container's own fetching goes on
};

// Sixteen bytes, so that the 1024 slots take half the first-level cache rather than most of it.
// Text beyond 4 GiB of output, or longer than that, is not remembered (it is written again,
// alike).
struct WriteCacheEntry {
  const NSObject* object = nullptr;
  uint32_t offset = 0;
  uint32_t length = 0;
};

struct EncodeState {
  // --- output: a stack area first, the heap once it outgrows it
  uint8_t* out = stackArea;
  size_t capacity = kOutputStackArea;
  size_t pos = 0;
  uint8_t* heap = nullptr;
  uint8_t stackArea[kOutputStackArea];

  // The kinds of the exact classes met so far, by the address of their type information.
  static constexpr unsigned kClassSlotBits = 6;
  struct ClassSlot {
    const std::type_info* type = nullptr;
    Kind kind = kindNone;
  };
  ClassSlot classes[1u << kClassSlotBits];
  unsigned classesKnown = 0;
  // The exact class last found to be a string: a key's class is compared with it first.
  const std::type_info* stringClass = nullptr;
  WriteCacheEntry cache[kWriteCacheSlots];

  JCSerializeOptionFlags options = 0;
  JCEncodeOptionType encodeAs = 0;
  const EscapeTable* escapeTable = &kEscapeTables[0];
  size_t depth = 0;    // of the pretty-printed indentation
  size_t nesting = 0;  // arrays and dictionaries being written
  bool failed = false;
  std::string errorMessage;

  const JCUnsupportedClassBlock* block = nullptr;
  NSObject* delegate = nullptr;
  const JCSelector* selector = nullptr;
  // Replacements made by the handlers live until the call ends, so that no address in the
  // write cache can be reused by a later object.
  std::vector<id> replacements;
  std::vector<std::unique_ptr<ChildBatch[]>> levels;  // by nesting level

  EncodeState() = default;
  EncodeState(const EncodeState&) = delete;
  EncodeState& operator=(const EncodeState&) = delete;
  ~EncodeState() { std::free(heap); }

  void error(std::string message) {
    if (failed) return;
    failed = true;
    errorMessage = std::move(message);
  }

  // Room for `extra` more bytes; false (with the error recorded) when the buffer cannot grow.
  bool reserve(size_t extra) {
    if (extra <= capacity - pos) return true;
    return grow(pos + extra);
  }

  bool grow(size_t needed) {
    // At least double: growing by a fixed step would copy a large output over and over.
    const size_t wanted = std::max(needed, capacity <= SIZE_MAX / 2 ? capacity * 2 : needed);
    size_t newCapacity = (wanted + kOutputGrowth - 1) / kOutputGrowth * kOutputGrowth;
    if (newCapacity < needed) {
      error("Unable to resize temporary buffer.");
      return false;
    }
    uint8_t* bigger;
    if (heap == nullptr) {
      bigger = static_cast<uint8_t*>(std::malloc(newCapacity));
      if (bigger != nullptr) std::memcpy(bigger, stackArea, pos);
    } else {
      bigger = static_cast<uint8_t*>(std::realloc(heap, newCapacity));
    }
    if (bigger == nullptr) {
      error("Unable to resize temporary buffer.");
      return false;
    }
    heap = out = bigger;
    capacity = newCapacity;
    return true;
  }

  void put(uint8_t c) { out[pos++] = c; }
  void put(const char* s, size_t n) {
    std::memcpy(out + pos, s, n);
    pos += n;
  }
  bool append(const char* s, size_t n) {
    if (!reserve(n + 4)) return false;
    put(s, n);
    return true;
  }

  bool newLineAndIndent() {
    if (!reserve(depth * 2 + 1 + 4)) return false;
    put('\n');
    std::memset(out + pos, ' ', depth * 2);
    pos += depth * 2;
    return true;
  }

  inline Kind classify(const NSObject* object);
  Kind classifyNew(const NSObject* object, const std::type_info* type);
  // Objects are passed without references: the tree holds them for the whole call.
  bool writeValue(const NSObject* object, bool isReplacement = false, const NSObject* original = nullptr) {
    return writeClassified(object, object != nullptr ? classify(object) : kindNone, isReplacement, original);
  }
  // The same for an object already classified (kindNone for nil).
  bool writeClassified(const NSObject* object, Kind kind, bool isReplacement = false, const NSObject* original = nullptr);
  // The same for an element of a container: the commonest leaves (strings and signed numbers)
  // are written in place, through the write cache like any leaf, the rest by writeClassified.
  // `given`, for a container, is its first elements as its parent fetched them (or null).
  [[gnu::always_inline]] bool writeElement(const NSObject* p, Kind kind, const ChildBatch* given = nullptr);
  bool writeContainer(const NSObject* object, Kind kind, const ChildBatch* given = nullptr);
  // The second step of fetching ahead: for the containers among `objects` (whose own fetches
  // are under way), their first elements, so that going down into each one finds them arriving
  // instead of waiting for them container after container.
  // `arraysToo` false passes over arrays among the objects. Each object's kind goes to
  // `kinds`, for the writing that follows, and each child container's first elements to
  // `children`, for its own writing.
  void prefetchChildren(const NSObject* const* objects, Kind* kinds, NSUInteger n, bool arraysToo,
                        ChildBatch* children);
  // The child batches of the containers being written at the current nesting level.
  ChildBatch* childBatches() {
    if (levels.size() <= nesting) levels.resize(nesting + 1);
    auto& level = levels[nesting];
    if (!level) level = std::make_unique_for_overwrite<ChildBatch[]>(kBatch);
    return level.get();
  }

  // A key already known to be a string, through the write cache like any leaf.
  bool writeKey(const NSString& key) {
    WriteCacheEntry& slot = cacheSlot(&key);
    if (slot.object == &key) return copyEarlier(slot);
    const size_t start = pos;
    if (!writeString(key)) return false;
    remember(slot, &key, start);
    return true;
  }
  WriteCacheEntry& cacheSlot(const NSObject* p) {
    const uintptr_t address = reinterpret_cast<uintptr_t>(p);
    return cache[(((address >> 21) ^ (address >> 9)) + (address >> 4)) & (kWriteCacheSlots - 1)];
  }
  void remember(WriteCacheEntry& slot, const NSObject* object, size_t start) {
    if (pos <= UINT32_MAX) slot = WriteCacheEntry{object, static_cast<uint32_t>(start), static_cast<uint32_t>(pos - start)};
  }
  bool copyEarlier(const WriteCacheEntry& slot) {
    if (!reserve(slot.length + 256)) return false;
    copyShort(out + pos, out + slot.offset, slot.length);
    pos += slot.length;
    return true;
  }
  [[gnu::cold]] bool writeUnsupported(const NSObject* object, bool isReplacement, const NSObject* original);
  bool writeNumber(const NSNumber& number);
  static constexpr size_t kNumberRoom = 44;  // the longest number text, with some to spare
  bool writeUnsigned(uint64_t value);
  [[gnu::always_inline]] bool writeSigned(int64_t value) {
    if (!reserve(kNumberRoom)) return false;
    char* const buf = reinterpret_cast<char*>(out + pos);
    char* q = buf;
    if (value < 0) *q++ = '-';
    // The magnitude in unsigned arithmetic: -INT64_MIN does not fit a signed integer.
    const uint64_t magnitude = value < 0 ? uint64_t{0} - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    pos += static_cast<size_t>(writeDecimal(q, magnitude) - buf);
    return true;
  }
  bool writeDouble(double value);
  // Most keys and values are short strings that need no escape: those are written here, in
  // one look at their bytes, without the call into the general writer (whose set-up costs as
  // much as the writing).
  [[gnu::always_inline]] bool writeString(const NSString& string) {
#if defined(__SSE2__) && defined(__GLIBCXX__)
    const std::string& text = string.utf8();
    const size_t n = text.size();
    if (n < 16 && !(encodeAs & JCOutputOmitQuotes) && reserve(n + 256)) {
      // This library's strings keep at least 16 readable bytes at their data.
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data()));
      __m128i special = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('"')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\\')));
      if (options & JCSerializeEscapeSlash) special = _mm_or_si128(special, _mm_cmpeq_epi8(v, _mm_set1_epi8('/')));
      // Signed: bytes of 0x80 and more count as special too and go the general way.
      special = _mm_or_si128(special, _mm_cmplt_epi8(v, _mm_set1_epi8(0x20)));
      if ((static_cast<unsigned>(_mm_movemask_epi8(special)) & ((1u << n) - 1)) == 0) {
        out[pos] = '"';
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + pos + 1), v);  // the room made covers 17
        out[pos + 1 + n] = '"';
        pos += n + 2;
        return true;
      }
    }
#endif
    return writeStringGeneral(string);
  }
  [[gnu::noinline]] bool writeStringGeneral(const NSString& string);
  bool writeArray(const NSArray& array, const ChildBatch* given);
  bool writeDictionary(const NSDictionary& dictionary, const ChildBatch* given);
  bool writeOpen(char c) {
    if (!reserve(4)) return false;
    put(static_cast<uint8_t>(c));
    if (options & JCSerializePretty) {
      ++depth;
      return newLineAndIndent();
    }
    return true;
  }
  bool writeClose(char c) {
    if (options & JCSerializePretty) {
      --depth;
      if (!newLineAndIndent()) return false;
    }
    if (!reserve(4)) return false;
    put(static_cast<uint8_t>(c));
    return true;
  }
  bool writeComma() {
    if (!reserve(4)) return false;
    put(',');
    return (options & JCSerializePretty) ? newLineAndIndent() : true;
  }
  // Copies bytes of a string: short runs without a call.
  void putRun(const uint8_t* from, size_t n) {
    copyShort(out + pos, from, n);
    pos += n;
  }
  bool writeKeyValue(const NSObject* key, const NSObject* object, bool first);
  [[gnu::always_inline]] bool writeKeyValue(const NSObject* key, const NSObject* object, Kind kind, bool first,
                                            const ChildBatch* given);
};

namespace {

// The codec's own containers are final classes: an exact type test is all a cast would do. The
// addresses of the type information are compared (one class has one in the program); a miss only
// takes the general path.
template <class T, class Base>
const T* asExactly(const Base& object) {
  return &typeid(object) == &typeid(T) ? static_cast<const T*>(&object) : nullptr;
}

// How far ahead of the element being written its successors are fetched into the cache: a
// tree built by application code is spread over the heap.
constexpr NSUInteger kPrefetchDistance = 4;
// An object's first bytes and, for a string, its text's fields or short text a line further.
// Empty slots of a dictionary's table and nil array slots hold no object: a line past a null
// pointer is no address at all.
inline void prefetchObject(const void* object) {
  if (object == nullptr) return;
  __builtin_prefetch(object);
  __builtin_prefetch(static_cast<const char*>(object) + 48);
}


}  // namespace

// Classes are few, so the table never fills: a class whose slot is taken goes to the next free
// one. Without that, two common classes (a tree's strings and dictionaries, say) that hash alike
// would push each other out and every object would pay the casts below.
Kind EncodeState::classify(const NSObject* object) {
  const std::type_info* type = &typeid(*object);
  size_t i = (reinterpret_cast<uintptr_t>(type) * 0x9E3779B97F4A7C15ull) >> (64 - kClassSlotBits);
  for (;;) {
    const ClassSlot& slot = classes[i];
    if (slot.type == type) return slot.kind;
    if (slot.type == nullptr) return classifyNew(object, type);
    i = (i + 1) & ((1u << kClassSlotBits) - 1);
  }
}

Kind EncodeState::classifyNew(const NSObject* object, const std::type_info* type) {
  Kind kind = kindNone;
  if (dynamic_cast<const NSString*>(object)) {
    kind = kindString;
    stringClass = type;
  } else if (dynamic_cast<const NSNumber*>(object)) {
    kind = type == &typeid(NumberOf<'q'>)   ? kindSignedNumber
           : type == &typeid(NumberOf<'d'>) ? kindDoubleNumber
                                             : kindNumber;
  } else if (dynamic_cast<const NSDictionary*>(object)) {
    kind = kindDictionary;
  } else if (dynamic_cast<const NSArray*>(object)) {
    kind = kindArray;
  } else if (dynamic_cast<const NSNull*>(object)) {
    kind = kindNull;
  }
  // One slot always stays free, so that a look-up ends; past that, classes are cast every time.
  if (classesKnown + 1 < (1u << kClassSlotBits)) {
    size_t i = (reinterpret_cast<uintptr_t>(type) * 0x9E3779B97F4A7C15ull) >> (64 - kClassSlotBits);
    while (classes[i].type != nullptr) i = (i + 1) & ((1u << kClassSlotBits) - 1);
    classes[i] = ClassSlot{type, kind};
    ++classesKnown;
  }
  return kind;
}

void EncodeState::prefetchChildren(const NSObject* const* objects, Kind* kinds, NSUInteger n, bool arraysToo,
                                   ChildBatch* children) {
  for (NSUInteger i = 0; i < n; ++i) {
    const Kind kind = kinds[i] = objects[i] != nullptr ? classify(objects[i]) : kindNone;
    ChildBatch& child = children[i];
    if (kind == kindDictionary) {
      child.position = 0;
      child.count = static_cast<const NSDictionary*>(objects[i])->getUnretainedObjectsAndKeys(
          child.objects, child.keys, kChildPrefetch, child.position);
      for (NSUInteger k = 0; k < child.count; ++k) {
        prefetchObject(child.keys[k]);
        prefetchObject(child.objects[k]);
      }
    } else if (kind == kindArray && arraysToo) {
      const NSArray* array = static_cast<const NSArray*>(objects[i]);
      child.count = child.position = std::min(array->count(), kChildPrefetch);
      if (child.count > 0) array->getUnretainedObjects(child.objects, NSMakeRange(0, child.count));
      for (NSUInteger k = 0; k < child.count; ++k) prefetchObject(child.objects[k]);
    }
  }
}

inline bool EncodeState::writeElement(const NSObject* p, Kind kind, const ChildBatch* given) {
  if (kind == kindDictionary || kind == kindArray) return writeContainer(p, kind, given);
  if (kind != kindString && kind != kindSignedNumber) return writeClassified(p, kind);
  WriteCacheEntry& slot = cacheSlot(p);
  if (slot.object == p) return copyEarlier(slot);
  const size_t start = pos;
  const bool ok = kind == kindString ? writeString(static_cast<const NSString&>(*p))
                                     : writeSigned(static_cast<const NSNumber&>(*p).storedSignedValue());
  if (ok) remember(slot, p, start);
  return ok;
}

bool EncodeState::writeClassified(const NSObject* p, Kind kind, bool isReplacement, const NSObject* original) {
  WriteCacheEntry& slot = cacheSlot(p);
  if (slot.object == p && p != nullptr) return copyEarlier(slot);
  const size_t start = pos;
  bool ok;
  switch (kind) {
    case kindString:
      ok = writeString(static_cast<const NSString&>(*p));
      break;
    case kindNumber:
      ok = writeNumber(static_cast<const NSNumber&>(*p));
      break;
    case kindSignedNumber:
      ok = writeSigned(static_cast<const NSNumber&>(*p).storedSignedValue());
      break;
    case kindDoubleNumber:
      ok = writeDouble(static_cast<const NSNumber&>(*p).storedDoubleValue());
      break;
    case kindNull:
      ok = append("null", 4);
      break;
    case kindArray:
      return writeContainer(p, kindArray);
    case kindDictionary:
      return writeContainer(p, kindDictionary);
    default:
      return writeUnsupported(p, isReplacement, original);
  }
  if (ok) remember(slot, p, start);
  return ok;
}

bool EncodeState::writeContainer(const NSObject* p, Kind kind, const ChildBatch* given) {
  // The reader's limit: a deeper tree (or one that contains itself) would exhaust the stack.
  if (nesting >= JCMaximumNestingDepth) {
    error("Maximum nesting depth exceeded.");
    return false;
  }
  ++nesting;
  const bool ok = kind == kindArray ? writeArray(static_cast<const NSArray&>(*p), given)
                                    : writeDictionary(static_cast<const NSDictionary&>(*p), given);
  --nesting;
  return ok;
}

bool EncodeState::writeUnsupported(const NSObject* p, bool isReplacement, const NSObject* original) {
  if (!isReplacement && p != nullptr) {
    const id object = p->self();
    id replacement;
    if (block != nullptr && *block) replacement = (*block)(object);
    if (!replacement && delegate != nullptr && selector != nullptr) replacement = (*selector)(*delegate, object);
    if (replacement) {
      replacements.push_back(replacement);
      return writeValue(replacement.get(), true, p);
    }
  }
  if (!isReplacement) {
    error("Unable to serialize object class " + (p ? p->className() : std::string("NULL")) + ".");
  } else {
    error("Unable to serialize object class " + (p ? p->className() : std::string("NULL")) +
          " that was returned by the unsupported class formatter.  Original object class was " +
          (original ? original->className() : std::string("NULL")) + ".");
  }
  return false;
}

bool EncodeState::writeNumber(const NSNumber& number) {
  if (&number == kCFBooleanTrue.get()) return append("true", 4);
  if (&number == kCFBooleanFalse.get()) return append("false", 5);
  const char* type = number.objCType();  // the number's one virtual call
  if (type == nullptr || type[0] == '\0' || type[1] != '\0') {
    error(std::string("NSNumber conversion error, unknown type.  Type: '") + (type ? type : "<NULL>") + "'");
    return false;
  }
  switch (type[0]) {
    case 'B':
    case 'C':
    case 'I':
    case 'L':
    case 'Q':
    case 'S':
      return writeUnsigned(number.storedUnsignedValue());
    case 'c':
    case 'i':
    case 'l':
    case 'q':
    case 's':
      return writeSigned(number.storedSignedValue());
    case 'd':
    case 'f':
      return writeDouble(number.storedDoubleValue());
    default: {
      std::string m = "NSNumber conversion error, unknown type.  Type: '";
      m += type[0];
      m += "' / 0x";
      m += kHexDigits[(static_cast<uint8_t>(type[0]) >> 4) & 15];
      m += kHexDigits[static_cast<uint8_t>(type[0]) & 15];
      error(std::move(m));
      return false;
    }
  }
}

// Numbers are written straight into the output: a copy of every number's few bytes costs a call
// each.
bool EncodeState::writeUnsigned(uint64_t value) {
  if (!reserve(kNumberRoom)) return false;
  char* const buf = reinterpret_cast<char*>(out + pos);
  pos += static_cast<size_t>(writeDecimal(buf, value) - buf);
  return true;
}


bool EncodeState::writeDouble(double value) {
  if (!std::isfinite(value)) {
    error("Floating point values must be finite.  JSON does not support NaN or Infinity.");
    return false;
  }
  if (!reserve(kNumberRoom)) return false;
  char* const buf = reinterpret_cast<char*>(out + pos);
  char* end = formatDouble17(value, buf, buf + kNumberRoom - 4);
  if (end == nullptr) {
    error("vsnprintf failed unexpectedly.");
    return false;
  }
  pos += static_cast<size_t>(end - buf);
  return true;
}

bool EncodeState::writeStringGeneral(const NSString& string) {
  const std::string& text = string.utf8();
  const uint8_t* s = reinterpret_cast<const uint8_t*>(text.data());
  const size_t n = text.size();
  const bool quotes = !(encodeAs & JCOutputOmitQuotes);
  const bool escapeSlash = options & JCSerializeEscapeSlash;
  const bool escapeNonASCII = options & JCSerializeEscapeNonASCII;
  const EscapeTable& table = *escapeTable;

  if (!reserve(2 * n + 256)) return false;
  if (quotes) put('"');
#if defined(__SSE2__) && defined(__GLIBCXX__)
  // A short string (most keys and values) in one look: this library's strings keep at least 16
  // readable bytes at their data, in the object or on the heap.
  if (n < 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    __m128i special = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('"')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\\')));
    if (escapeSlash) special = _mm_or_si128(special, _mm_cmpeq_epi8(v, _mm_set1_epi8('/')));
    special = _mm_or_si128(special, _mm_cmplt_epi8(v, _mm_set1_epi8(0x20)));
    if ((static_cast<unsigned>(_mm_movemask_epi8(special)) & ((1u << n) - 1)) == 0) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + pos), v);  // the room made above covers 16
      pos += n;
      if (quotes) put('"');
      return true;
    }
  }
#endif
  size_t i = 0;
  while (i < n) {
    // A run of bytes that need nothing: sixteen at a time, then one by one.
    size_t run = i;
#if defined(__SSE2__)
    while (n - run >= 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + run));
      __m128i special = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('"')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\\')));
      if (escapeSlash) special = _mm_or_si128(special, _mm_cmpeq_epi8(v, _mm_set1_epi8('/')));
      // Signed: bytes of 0x80 or more count as below 0x20 too, and the loop below looks at them.
      special = _mm_or_si128(special, _mm_cmplt_epi8(v, _mm_set1_epi8(0x20)));
      const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(special));
      if (mask != 0) {
        run += static_cast<unsigned>(__builtin_ctz(mask));
        break;
      }
      run += 16;
    }
#endif
    while (run < n && table.action[s[run]] == 0) ++run;
    if (run > i) {
      if (!reserve(run - i + 16)) return false;
      putRun(s + i, run - i);
      i = run;
      if (i >= n) break;
    }
    if (!reserve(16)) return false;
    uint8_t c = s[i];
    if (table.action[c] == 1) {
      put('\\');
      switch (c) {
        case '\b':
          put('b');
          break;
        case '\t':
          put('t');
          break;
        case '\n':
          put('n');
          break;
        case '\f':
          put('f');
          break;
        case '\r':
          put('r');
          break;
        case '"':
        case '\\':
        case '/':
          put(c);
          break;
        default:
          put("u00", 3);
          put(static_cast<uint8_t>(kHexDigits[c >> 4]));
          put(static_cast<uint8_t>(kHexDigits[c & 15]));
          break;
      }
      ++i;
      continue;
    }
    // c >= 0x80.
    if (c == 0xED && i + 2 < n && s[i + 1] >= 0xA0) {
      put('?');
      i += 3;
      continue;
    }
    if (!escapeNonASCII) {
      put(c);
      ++i;
      continue;
    }
    UTF8Sequence seq = decodeUTF8Sequence(s + i, s + n);
    if (seq.status != UTF8Status::wellFormed) {
      error("Error converting UTF8.");
      return false;
    }
    auto putUnit = [&](uint32_t unit) {
      put("\\u", 2);
      for (int shift = 12; shift >= 0; shift -= 4) put(static_cast<uint8_t>(kHexDigits[(unit >> shift) & 15]));
    };
    if (seq.codePoint <= 0xFFFF) {
      putUnit(seq.codePoint);
    } else {
      putUnit((seq.codePoint >> 10) + 0xD7C0);
      putUnit((seq.codePoint & 0x3FF) | 0xDC00);
    }
    i = static_cast<size_t>(seq.next - s);
  }
  if (quotes) {
    if (!reserve(4)) return false;
    put('"');
  }
  return true;
}


bool EncodeState::writeArray(const NSArray& array, const ChildBatch* given) {
  if (!writeOpen('[')) return false;
  const NSUInteger count = array.count();
  if (auto* jc = asExactly<JCArray>(array)) {
    for (NSUInteger i = 0; i < count; ++i) {
      if (i + kPrefetchDistance < count) prefetchObject(jc->unretainedObjectAtIndex(i + kPrefetchDistance));
      if (i > 0 && !writeComma()) return false;
      if (!writeValue(jc->unretainedObjectAtIndex(i), false, nullptr)) return false;
    }
  } else {
    const NSObject* buffer[kBatch];
    ChildBatch* const children = childBatches();
    for (NSUInteger start = 0, n; start < count; start += n) {
      const NSObject* const* batch = buffer;
      if (given != nullptr && given->count > 0) {
        // Fetched, and their objects asked for, by the parent.
        batch = given->objects;
        n = given->count;
        given = nullptr;
      } else {
        n = std::min(kBatch, count - start);
        array.getUnretainedObjects(buffer, NSMakeRange(start, n));
        for (NSUInteger i = 0; i < n; ++i) prefetchObject(buffer[i]);
      }
      // Arrays are mostly of one kind: the children of an array of dictionaries are fetched
      // ahead, rows of numbers and lists of lists go as they are.
      const bool ofDictionaries = batch[0] != nullptr && classify(batch[0]) == kindDictionary;
      Kind kinds[kBatch];
      if (ofDictionaries) prefetchChildren(batch, kinds, n, false, children);
      for (NSUInteger i = 0; i < n; ++i) {
        if (start + i > 0 && !writeComma()) return false;
        const NSObject* item = batch[i];
        if (ofDictionaries) {
          if (!writeElement(item, kinds[i], kinds[i] == kindDictionary ? &children[i] : nullptr)) return false;
        } else if (!writeElement(item, item != nullptr ? classify(item) : kindNone)) {
          return false;
        }
      }
    }
  }
  return writeClose(']');
}

bool EncodeState::writeKeyValue(const NSObject* key, const NSObject* object, bool first) {
  return writeKeyValue(key, object, object != nullptr ? classify(object) : kindNone, first, nullptr);
}

inline bool EncodeState::writeKeyValue(const NSObject* key, const NSObject* object, Kind kind, bool first,
                                       const ChildBatch* given) {
  if (!first && !writeComma()) return false;
  if (key == nullptr || (&typeid(*key) != stringClass && classify(key) != kindString)) {
    error("Key must be a string object.");
    return false;
  }
  if (!writeKey(static_cast<const NSString&>(*key))) return false;
  if (options & JCSerializePretty) {
    if (!append(": ", 2)) return false;
  } else {
    if (!reserve(4)) return false;
    put(':');
  }
  return writeElement(object, kind, given);
}

bool EncodeState::writeDictionary(const NSDictionary& dictionary, const ChildBatch* given) {
  if (!writeOpen('{')) return false;
  bool first = true;
  if (options & JCSerializePretty) {
    // Sorted by key: every key must be a string before any is compared.
    std::vector<std::pair<const NSObject*, const NSObject*>> pairs;
    pairs.reserve(dictionary.count());
    const NSObject* keys[kBatch];
    const NSObject* objects[kBatch];
    NSUInteger position = 0;
    while (NSUInteger n = dictionary.getUnretainedObjectsAndKeys(objects, keys, kBatch, position)) {
      for (NSUInteger i = 0; i < n; ++i) {
        if (keys[i] == nullptr || classify(keys[i]) != kindString) {
          error("Key must be a string object.");
          return false;
        }
        pairs.emplace_back(keys[i], objects[i]);
      }
    }
    // References that own nothing: the dictionary holds the keys throughout.
    auto unowned = [](const NSObject* key) {
      return std::shared_ptr<NSString>(std::shared_ptr<NSString>(), static_cast<NSString*>(const_cast<NSObject*>(key)));
    };
    std::stable_sort(pairs.begin(), pairs.end(), [&](const auto& a, const auto& b) {
      return static_cast<const NSString&>(*a.first).compare(unowned(b.first)) == NSOrderedAscending;
    });
    for (const auto& [key, object] : pairs) {
      if (!writeKeyValue(key, object, first)) return false;
      first = false;
    }
  } else if (auto* jc = asExactly<JCDictionary>(dictionary)) {
    const JCHashTableEntry* table = jc->table();
    for (NSUInteger i = 0, capacity = jc->capacity(); i < capacity; ++i) {
      if (i + kPrefetchDistance < capacity) {
        prefetchObject(table[i + kPrefetchDistance].key);
        prefetchObject(table[i + kPrefetchDistance].object);
      }
      if (table[i].key == nullptr) continue;
      if (!writeKeyValue(table[i].key, table[i].object, first)) return false;
      first = false;
    }
  } else {
    const NSObject* keyBuffer[kBatch];
    const NSObject* objectBuffer[kBatch];
    ChildBatch* const children = childBatches();
    NSUInteger position = 0;
    for (bool more = true; more;) {
      const NSObject* const* keys = keyBuffer;
      const NSObject* const* objects = objectBuffer;
      NSUInteger n;
      if (given != nullptr) {
        // Fetched, and their objects asked for, by the parent.
        keys = given->keys;
        objects = given->objects;
        n = given->count;
        position = given->position;
        more = n == kChildPrefetch;
        given = nullptr;
      } else {
        n = dictionary.getUnretainedObjectsAndKeys(objectBuffer, keyBuffer, kBatch, position);
        more = n == kBatch;  // a short batch is the last
        // The whole batch is asked for at once: its objects are spread over the heap, and their
        // fetches overlap.
        for (NSUInteger i = 0; i < n; ++i) {
          prefetchObject(keys[i]);
          prefetchObject(objects[i]);
        }
      }
      Kind kinds[kBatch];
      prefetchChildren(objects, kinds, n, true, children);
      for (NSUInteger i = 0; i < n; ++i) {
        const bool container = kinds[i] == kindDictionary || kinds[i] == kindArray;
        if (!writeKeyValue(keys[i], objects[i], kinds[i], first, container ? &children[i] : nullptr)) return false;
        first = false;
      }
    }
  }
  return writeClose('}');
}

}  // namespace zvt::json

using zvt::json::EncodeState;

std::shared_ptr<JCSerializer> JCSerializer::make() { return std::make_shared<JCSerializer>(); }

JCSerializer::JCSerializer() = default;
JCSerializer::~JCSerializer() = default;

void JCSerializer::releaseState() { encodeState_.reset(); }

id JCSerializer::serializeObject(const id& object, JCSerializeOptionFlags options, JCEncodeOptionType encodeOption,
                                 const JCUnsupportedClassBlock& block, const id& delegate, const JCSelector& selector,
                                 std::shared_ptr<NSError>* error) {
  JCSerializer serializer;
  return serializer.serialize(object, options, encodeOption, block, delegate, selector, error);
}

id JCSerializer::serialize(const id& object, JCSerializeOptionFlags options, JCEncodeOptionType encodeOption,
                           const JCUnsupportedClassBlock& block, const id& delegate, const JCSelector& selector,
                           std::shared_ptr<NSError>* error) {
  releaseState();
  try {
    encodeState_ = std::make_unique<EncodeState>();
  } catch (const std::bad_alloc&) {
    zvt::raise(NSMallocException, "Unable to allocate state structure.");
  }
  if (error) error->reset();
  if (delegate) {
    if (!selector) {
      zvt::raise(NSInvalidArgumentException, "The delegate argument is not NULL, but the selector argument is NULL.");
    }
    if (!selector.respondsTo(*delegate)) {
      zvt::raise(NSInvalidArgumentException,
                 "The serializeUnsupportedClassesUsingDelegate: delegate does not respond to the selector argument.");
    }
  }
  EncodeState& st = *encodeState_;
  st.options = options;
  st.encodeAs = encodeOption;
  st.escapeTable = &zvt::json::kEscapeTables[((options & JCSerializeEscapeSlash) ? 1 : 0) +
                                              ((options & JCSerializeEscapeNonASCII) ? 2 : 0)];
  st.block = block ? &block : nullptr;
  st.delegate = delegate.get();
  st.selector = delegate ? &selector : nullptr;

  id result;
  const NSObject* top = object.get();
  if ((encodeOption & JCOutputRequireCollection) &&
      !(zvt::isKind<NSArray>(object) || zvt::isKind<NSDictionary>(object))) {
    st.error("Unable to serialize object class " + (top ? top->className() : std::string("NULL")) +
             ", expected a NSArray or NSDictionary.");
  } else if ((encodeOption & JCOutputRequireString) && !zvt::isKind<NSString>(object)) {
    st.error("Unable to serialize object class " + (top ? top->className() : std::string("NULL")) +
             ", expected a NSString.");
  } else if (st.writeValue(object.get(), false, nullptr)) {
    switch (encodeOption & 7) {
      case JCOutputString:
        result = NSString::fromValidUTF8(std::string(reinterpret_cast<const char*>(st.out), st.pos));
        if (!result) st.error("Unable to create NSString object");
        break;
      case JCOutputData:
        if (st.heap != nullptr) {
          // The output grown on the heap becomes the result as it is, without a copy. Its unused
          // end stays with it (less than the length): shrinking a block of several megabytes
          // made the allocator map the next call's larger one afresh, every page faulted in
          // again, call after call.
          result = NSData::dataWithMallocBlock(st.heap, st.pos);
          st.heap = nullptr;
          st.out = st.stackArea;
        } else {
          result = NSData::dataWithVector(std::vector<uint8_t>(st.out, st.out + st.pos));
        }
        if (!result) st.error("Unable to create NSData object");
        break;
      default:
        st.error("Unknown encode as type.");
        break;
    }
  }
  if (st.failed) {
    result.reset();
    if (error) {
      auto userInfo = NSMutableDictionary::dictionary();
      userInfo->setObject(NSString::fromValidUTF8(st.errorMessage), NSLocalizedDescriptionKey);
      *error = NSError::errorWithDomain(JCErrorDomain, -1, userInfo);
    }
  }
  releaseState();
  return result;
}

// --- categories

namespace {

id serializeTop(const NSObject& object, JCSerializeOptionFlags options, JCEncodeOptionType encodeAs,
                const JCUnsupportedClassBlock& block, const id& delegate, const JCSelector& selector,
                std::shared_ptr<NSError>* error) {
  return JCSerializer::serializeObject(object.self(), options, encodeAs, block, delegate, selector, error);
}

std::shared_ptr<NSData> asData(const id& object) { return std::static_pointer_cast<NSData>(object); }
std::shared_ptr<NSString> asString(const id& object) { return std::static_pointer_cast<NSString>(object); }

constexpr JCEncodeOptionType kStringData = JCOutputData | JCOutputRequireString;
constexpr JCEncodeOptionType kStringString = JCOutputString | JCOutputRequireString;
constexpr JCEncodeOptionType kCollectionData = JCOutputData | JCOutputRequireCollection;
constexpr JCEncodeOptionType kCollectionString = JCOutputString | JCOutputRequireCollection;

}  // namespace

std::shared_ptr<NSData> JSONData(const NSString& string) {
  return asData(serializeTop(string, JCSerializePlain, kStringData, nullptr, nullptr, {}, nullptr));
}
std::shared_ptr<NSData> JSONDataWithOptions(const NSString& string, JCSerializeOptionFlags serializeOptions,
                                            bool includeQuotes, std::shared_ptr<NSError>* error) {
  return asData(serializeTop(string, serializeOptions, kStringData | (includeQuotes ? 0 : JCOutputOmitQuotes),
                             nullptr, nullptr, {}, error));
}
std::shared_ptr<NSString> JSONString(const NSString& string) {
  return asString(serializeTop(string, JCSerializePlain, kStringString, nullptr, nullptr, {}, nullptr));
}
std::shared_ptr<NSString> JSONStringWithOptions(const NSString& string, JCSerializeOptionFlags serializeOptions,
                                                bool includeQuotes, std::shared_ptr<NSError>* error) {
  return asString(serializeTop(string, serializeOptions, kStringString | (includeQuotes ? 0 : JCOutputOmitQuotes),
                               nullptr, nullptr, {}, error));
}

#define ZVT_JSON_COLLECTION_CATEGORY(Type, name)                                                                     \
  std::shared_ptr<NSData> JSONData(const Type& name) {                                                              \
    return asData(serializeTop(name, JCSerializePlain, kCollectionData, nullptr, nullptr, {}, nullptr));            \
  }                                                                                                                  \
  std::shared_ptr<NSData> JSONDataWithOptions(const Type& name, JCSerializeOptionFlags serializeOptions,            \
                                              std::shared_ptr<NSError>* error) {                                    \
    return asData(serializeTop(name, serializeOptions, kCollectionData, nullptr, nullptr, {}, error));              \
  }                                                                                                                  \
  std::shared_ptr<NSData> JSONDataWithOptions(const Type& name, JCSerializeOptionFlags serializeOptions,            \
                                              const id& delegate, const JCSelector& selector,                       \
                                              std::shared_ptr<NSError>* error) {                                    \
    return asData(serializeTop(name, serializeOptions, kCollectionData, nullptr, delegate, selector, error));       \
  }                                                                                                                  \
  std::shared_ptr<NSData> JSONDataWithOptions(const Type& name, JCSerializeOptionFlags serializeOptions,            \
                                              const JCUnsupportedClassBlock& block,                                 \
                                              std::shared_ptr<NSError>* error) {                                    \
    return asData(serializeTop(name, serializeOptions, kCollectionData, block, nullptr, {}, error));                \
  }                                                                                                                  \
  std::shared_ptr<NSString> JSONString(const Type& name) {                                                          \
    return asString(serializeTop(name, JCSerializePlain, kCollectionString, nullptr, nullptr, {}, nullptr));        \
  }                                                                                                                  \
  std::shared_ptr<NSString> JSONStringWithOptions(const Type& name, JCSerializeOptionFlags serializeOptions,        \
                                                  std::shared_ptr<NSError>* error) {                                \
    return asString(serializeTop(name, serializeOptions, kCollectionString, nullptr, nullptr, {}, error));          \
  }                                                                                                                  \
  std::shared_ptr<NSString> JSONStringWithOptions(const Type& name, JCSerializeOptionFlags serializeOptions,        \
                                                  const id& delegate, const JCSelector& selector,                   \
                                                  std::shared_ptr<NSError>* error) {                                \
    return asString(serializeTop(name, serializeOptions, kCollectionString, nullptr, delegate, selector, error));   \
  }                                                                                                                  \
  std::shared_ptr<NSString> JSONStringWithOptions(const Type& name, JCSerializeOptionFlags serializeOptions,        \
                                                  const JCUnsupportedClassBlock& block,                             \
                                                  std::shared_ptr<NSError>* error) {                                \
    return asString(serializeTop(name, serializeOptions, kCollectionString, block, nullptr, {}, error));            \
  }

ZVT_JSON_COLLECTION_CATEGORY(NSArray, array)
ZVT_JSON_COLLECTION_CATEGORY(NSDictionary, dictionary)

#undef ZVT_JSON_COLLECTION_CATEGORY
