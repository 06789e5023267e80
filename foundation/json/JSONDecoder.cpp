#include "foundation/json/JSONDecoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "foundation/json/JCContainers.h"
#include "foundation/json/JCDecimal.h"
#include "foundation/json/JCUTF8.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/ObjectArena.h"

const zvt::StaticString JCErrorDomain{"JCErrorDomain"};
const zvt::StaticString JCAtIndexKey{"JCAtIndexKey"};
const zvt::StaticString JCLineNumberKey{"JCLineNumberKey"};

namespace zvt::json {
namespace {

constexpr uint64_t kHashSeed = 1402737925;
constexpr size_t kCacheSlots = 1024;
constexpr size_t kScratchInitial = 2048;

// Value type codes; they also spread the cache's probe sequence.
constexpr uint8_t kTypeString = 5;
constexpr uint8_t kTypeLongLong = 7;
constexpr uint8_t kTypeUnsignedLongLong = 11;
constexpr uint8_t kTypeDouble = 13;

// The hash of a number value: its type and its eight bytes, mixed so that the low bits (the
// cache slot) depend on all of them.
inline uint64_t numberHash(uint8_t type, uint64_t bits) {
  uint64_t h = (bits + kHashSeed + type) * 0x9E3779B97F4A7C15ull;
  h ^= h >> 29;
  h *= 0xBF58476D1CE4E5B9ull;
  return h ^ (h >> 32);
}

constexpr uint64_t kPowersOfTen[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

// The leading run of up to eight ASCII digits in the eight bytes at p: adds their value to
// `value` (shifted by their count of decimal places) and answers the count.
inline unsigned gatherUpToEightDigits(const uint8_t* p, uint64_t& value) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  // Per byte, zero exactly for 0x30..0x39: high nibble 3, and adding 6 to the low nibble carries
  // out of none. A carry out of a non-digit byte can only spoil the test of the bytes after it.
  const uint64_t nonDigits =
      ((v & 0xF0F0F0F0F0F0F0F0ull) | (((v + 0x0606060606060606ull) & 0xF0F0F0F0F0F0F0F0ull) >> 4)) ^
      0x3333333333333333ull;
  const unsigned n = nonDigits == 0 ? 8 : static_cast<unsigned>(std::countr_zero(nonDigits)) / 8;
  if (n == 0) return 0;
  // The digits move to the top bytes; the bytes shifted in read as leading zeros.
  if (n < 8) v <<= 64 - 8 * n;
  v = (v & 0x0F0F0F0F0F0F0F0Full) * 2561 >> 8;                // pairs of digits
  v = (v & 0x00FF00FF00FF00FFull) * 6553601 >> 16;            // groups of four
  v = (v & 0x0000FFFF0000FFFFull) * 42949672960001ull >> 32;  // all eight
  value = value * kPowersOfTen[n] + v;
  return n;
}

enum class TokenType : uint8_t {
  none,
  number,
  string,
  objectBegin,
  objectEnd,
  arrayBegin,
  arrayEnd,
  separator,
  comma,
  trueValue,
  falseValue,
  nullValue,
};

bool isValueToken(TokenType t) {
  switch (t) {
    case TokenType::number:
    case TokenType::string:
    case TokenType::objectBegin:
    case TokenType::arrayBegin:
    case TokenType::trueValue:
    case TokenType::falseValue:
    case TokenType::nullValue:
      return true;
    default:
      return false;
  }
}

// Accept-state bits of the structure builder.
constexpr unsigned kAcceptValue = 1;
constexpr unsigned kAcceptComma = 2;
constexpr unsigned kAcceptEnd = 4;

const char kUnexpectedToken[] =
    "Unexpected token, wanted '{', '}', '[', ']', ',', ':', 'true', 'false', 'null', '\"STRING\"', 'NUMBER'.";

// The end of a run of blanks and tabs starting at pos (indentation comes in long runs).
inline size_t skipBlanks(const uint8_t* input, size_t pos, size_t length) {
#if defined(__SSE2__)
  while (length - pos >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(input + pos));
    const __m128i blank = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(v, _mm_set1_epi8('\t')));
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(blank)) ^ 0xFFFFu;
    if (mask != 0) return pos + static_cast<unsigned>(__builtin_ctz(mask));
    pos += 16;
  }
#endif
  while (pos < length && (input[pos] == ' ' || input[pos] == '\t')) ++pos;
  return pos;
}

}  // namespace

// One slot of the value cache. The value bytes live inline when short (every number, most keys)
// so that filling a slot rarely allocates; the whole cache stays one modest block. The object
// lives in the arena of the tree it was made for, which the decoder keeps while slots point
// into it.
struct CacheItem {
  static constexpr uint32_t kInline = 16;

  NSObject* object = nullptr;
  ObjectArena* arena = nullptr;
  uint64_t hash = 0;
  uint64_t keyHash = 0;  // hash() of the object once it served as a dictionary key, 0 until then
  uint32_t length = 0;
  uint8_t type = 0;
  bool onHeap = false;
  union {
    uint8_t inlineBytes[kInline];
    struct {
      uint8_t* bytes;
      size_t capacity;
    } heap;
  };

  CacheItem() {}
  CacheItem(const CacheItem&) = delete;
  CacheItem& operator=(const CacheItem&) = delete;
  ~CacheItem() { clear(); }

  const uint8_t* bytes() const { return onHeap ? heap.bytes : inlineBytes; }

  void clear() {
    if (onHeap) std::free(heap.bytes);
    onHeap = false;
    object = nullptr;
    arena = nullptr;
    hash = keyHash = 0;
    length = 0;
    type = 0;
  }

  // Copies the value bytes; false when the copy cannot be allocated.
  bool store(const uint8_t* value, size_t n) {
    if (n > UINT32_MAX) return false;
    if (n <= kInline) {
      if (onHeap) std::free(heap.bytes);
      onHeap = false;
      if (n == 8) {
        std::memcpy(inlineBytes, value, 8);  // every number: a fixed-size copy, no call
      } else {
        std::memcpy(inlineBytes, value, n);
      }
    } else {
      if (!onHeap || heap.capacity < n) {
        auto* bigger = static_cast<uint8_t*>(std::malloc(n));
        if (bigger == nullptr) return false;
        if (onHeap) std::free(heap.bytes);
        onHeap = true;
        heap.bytes = bigger;
        heap.capacity = n;
      }
      std::memcpy(heap.bytes, value, n);
    }
    length = static_cast<uint32_t>(n);
    return true;
  }
};

struct TokenValue {
  const uint8_t* bytes = nullptr;  // unescaped string bytes, or the 8 bytes of `number`
  size_t length = 0;
  uint8_t type = 0;
  uint64_t hash = 0;
  union {
    int64_t longLongValue;
    uint64_t unsignedLongLongValue;
    double doubleValue;
  } number{};
  size_t utf16Length = 0;
  CacheItem* cacheItem = nullptr;
};

struct Token {
  size_t start = 0;  // byte range in the input
  size_t end = 0;
  TokenType type = TokenType::none;
  TokenValue value;
};

struct ParseState {
  JCParseOptionFlags options = 0;
  const uint8_t* input = nullptr;
  size_t length = 0;
  size_t pos = 0;
  size_t line = 1;
  size_t lineStart = 0;
  Token token;

  std::vector<uint8_t> scratch;            // unescaped string bytes
  std::vector<NSObject*> stackValues;      // elements of the arrays being built
  std::vector<FrozenEntry> stackEntries;   // pairs of the objects being built
  // The tree's arena: every string, number and (unless mutable) container of the parse.
  std::shared_ptr<ObjectArena> arena;
  // Arenas of earlier parses that cache slots still point into, and the one of them this
  // parse's arena last kept alive for a shared value.
  std::vector<std::shared_ptr<ObjectArena>> cacheArenas;
  ObjectArena* lastKept = nullptr;
  bool filledCache = false;            // a slot points into this parse's arena
  std::vector<id> heapContainers;      // a mutable parse's containers until the tree owns them
  std::unique_ptr<CacheItem[]> cache;
  // Per slot, the value hash with the low bit set, or 0 for an empty slot: probing reads this
  // small array and touches a slot itself only on a likely hit or to fill it.
  std::unique_ptr<uint64_t[]> cacheTags;

  bool failed = false;
  std::string errorMessage;
  size_t errorIndex = 0;
  size_t errorLine = 0;
  bool mutableCollections = false;

  // --- errors: only the first one of a parse survives
  void error(std::string message) {
    if (failed) return;
    failed = true;
    errorMessage = std::move(message);
    errorIndex = pos;
    errorLine = line;
  }

  // --- white space
  void newLine() {
    ++line;
    lineStart = pos;
  }

  // Consumes a line break at pos if there is one.
  bool skipLineBreak() {
    uint8_t c = input[pos];
    if (c == '\n') {
      ++pos;
      newLine();
      return true;
    }
    if (c == '\r') {
      ++pos;
      if (pos < length && input[pos] == '\n') ++pos;
      newLine();
      return true;
    }
    if (options & JCParseUnicodeLineBreaks) {
      if (c == 0xC2 && pos + 1 < length && input[pos + 1] == 0x85) {
        pos += 2;
        newLine();
        return true;
      }
      if (c == 0xE2 && pos + 2 < length && input[pos + 1] == 0x80 &&
          (input[pos + 2] == 0xA8 || input[pos + 2] == 0xA9)) {
        pos += 3;
        newLine();
        return true;
      }
    }
    return false;
  }

  // The usual case, inline: the next byte already starts a token.
  void skipWhiteSpace() {
    if (pos < length) {
      const uint8_t c = input[pos];
      if (c > ' ' && c != '/' && c < 0xC2) return;
    }
    skipWhiteSpaceRun();
  }

  __attribute__((noinline)) void skipWhiteSpaceRun() {
    // The usual run between the tokens of an indented document: a line break and the next
    // line's indentation.
    if (pos < length && input[pos] == '\n') {
      ++pos;
      newLine();
      if (pos < length && input[pos] == ' ') pos = skipBlanks(input, pos + 1, length);
      if (pos < length) {
        const uint8_t c = input[pos];
        if (c > ' ' && c != '/' && c < 0xC2) return;
      }
    }
    while (pos < length) {
      uint8_t c = input[pos];
      if (c == ' ' || c == '\t') {
        // One blank (after ':' or ',') is the common case; indentation comes in long runs.
        ++pos;
        if (pos < length && (input[pos] == ' ' || input[pos] == '\t')) pos = skipBlanks(input, pos + 1, length);
        continue;
      }
      if (c == '\n') {
        ++pos;
        newLine();
        continue;
      }
      if (c > ' ' && c != '/' && c < 0xC2) return;  // the next token
      if (skipLineBreak()) continue;
      if ((options & JCParseAllowComments) && c == '/' && pos + 1 < length) {
        if (input[pos + 1] == '/') {
          pos += 2;
          while (pos < length && !skipLineBreak()) ++pos;
          continue;
        }
        if (input[pos + 1] == '*') {
          pos += 2;
          for (;;) {
            if (pos >= length) break;
            if (input[pos] == '*' && pos + 1 < length && input[pos + 1] == '/') {
              pos += 2;
              break;
            }
            if (!skipLineBreak()) ++pos;
          }
          continue;
        }
      }
      return;
    }
  }

  // --- tokens
  bool readToken();
  bool scanString();
  bool scanStringSlow(size_t p, size_t utf16);
  bool scanNumber();
  void setNumberToken(uint8_t type, size_t end);
  bool matchLiteral(const char* word, size_t n, TokenType type);

  // --- values
  // The object of the current string or number token, made in the tree's arena or shared
  // through the cache; nullptr when it could not be made.
  NSObject* valueForToken();
  NSObject* makeValue(const TokenValue& v);
  bool buildValue(size_t depth, NSObject*& out);
  bool buildArray(size_t depth, NSObject*& out);
  // The values pushed since `begin` become the array; they leave the stack.
  bool finishArray(size_t begin, NSObject*& out);
  bool finishObject(size_t begin, NSObject*& out);
  bool buildObject(size_t depth, NSObject*& out);
  void expectationError(unsigned state, const char* valueItem, const char* endItem);
  // A strong reference to a value of this parse (a mutable parse's containers are on the heap).
  id owned(NSObject* value);
  // Drops the arenas of earlier parses that no cache slot points into any more.
  void pruneCacheArenas();

  NSObject* parseDocument();
};

namespace {

void appendHex2(std::string& s, unsigned v) {
  const char* digits = "0123456789abcdef";
  s += digits[(v >> 4) & 15];
  s += digits[v & 15];
}

// Bytes of the input quoted in a message, made safe to become an NSString.
void appendSanitized(std::string& s, const uint8_t* p, size_t n) {
  const uint8_t* end = p + n;
  while (p < end) {
    if (*p < 0x80) {
      s += static_cast<char>(*p++);
      continue;
    }
    UTF8Sequence seq = decodeUTF8Sequence(p, end);
    if (seq.status == UTF8Status::wellFormed) {
      s.append(reinterpret_cast<const char*>(p), static_cast<size_t>(seq.next - p));
    } else {
      s += "\xEF\xBF\xBD";
    }
    p = seq.next;
  }
}

bool isHexDigit(uint8_t c) { return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f'); }
unsigned hexValue(uint8_t c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }

}  // namespace

bool ParseState::readToken() {
  skipWhiteSpace();
  token.start = pos;
  token.type = TokenType::none;
  if (pos >= length) {
    error(kUnexpectedToken);
    return false;
  }
  uint8_t c = input[pos];
  switch (c) {
    case '"':
      return scanString();
    case '{':
      token.type = TokenType::objectBegin;
      break;
    case '}':
      token.type = TokenType::objectEnd;
      break;
    case '[':
      token.type = TokenType::arrayBegin;
      break;
    case ']':
      token.type = TokenType::arrayEnd;
      break;
    case ':':
      token.type = TokenType::separator;
      break;
    case ',':
      token.type = TokenType::comma;
      break;
    case '-':
    case '0':
    case '1':
    case '2':
    case '3':
    case '4':
    case '5':
    case '6':
    case '7':
    case '8':
    case '9':
      return scanNumber();
    case 't':
      return matchLiteral("true", 4, TokenType::trueValue);
    case 'f':
      return matchLiteral("false", 5, TokenType::falseValue);
    case 'n':
      return matchLiteral("null", 4, TokenType::nullValue);
    default:
      error(kUnexpectedToken);
      return false;
  }
  ++pos;
  token.end = pos;
  return true;
}

bool ParseState::matchLiteral(const char* word, size_t n, TokenType type) {
  // The literal must be followed by at least one more byte.
  if (pos + n >= length || std::memcmp(input + pos, word, n) != 0) {
    error(kUnexpectedToken);
    return false;
  }
  pos += n;
  token.end = pos;
  token.type = type;
  return true;
}

namespace {

// What the string scanner must look at: 0 = an ordinary ASCII byte, 1 = the closing quote,
// 2 = a backslash, 3 = a control byte, 4 = a byte of 0x80 or more.
constexpr std::array<uint8_t, 256> makeStringClasses() {
  std::array<uint8_t, 256> t{};
  for (unsigned c = 0; c < 0x20; ++c) t[c] = 3;
  t['"'] = 1;
  t['\\'] = 2;
  for (unsigned c = 0x80; c < 0x100; ++c) t[c] = 4;
  return t;
}
constexpr std::array<uint8_t, 256> kStringClass = makeStringClasses();

}  // namespace

namespace {

// The hash of a string value, over its unescaped bytes: eight bytes at a time. It only picks
// cache slots, so it needs to be quick rather than anything else.
// `wholeWordBefore`: the eight bytes that end where the string ends may be read (the string
// lies in the input at least eight bytes from its start), which spares the tail's byte loop.
uint64_t hashStringBytes(const uint8_t* p, size_t n, bool wholeWordBefore) {
  uint64_t h = kHashSeed ^ (n * 0x9E3779B97F4A7C15ull);
  while (n >= 8) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    h = (h ^ w) * 0xBF58476D1CE4E5B9ull;
    h ^= h >> 29;
    p += 8;
    n -= 8;
  }
  if (n > 0) {
    uint64_t w = 0;
    if (wholeWordBefore) {
      std::memcpy(&w, p + n - 8, 8);
      w >>= 8 * (8 - n);
    } else {
      // Byte by byte: a short copy into a word stalls on the store.
      for (size_t i = 0; i < n; ++i) w |= uint64_t{p[i]} << (8 * i);
    }
    h = (h ^ w ^ (uint64_t{n} << 56)) * 0x94D049BB133111EBull;
  }
  h ^= h >> 31;
  return h;
}

#if defined(__SSE2__)
// Offset of the first byte in [p, p + 16) that a string scanner must look at (a quote, a
// backslash, a control byte or a byte of 0x80 or more), or 16.
inline unsigned firstSpecialOf16(const uint8_t* p) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i quote = _mm_cmpeq_epi8(v, _mm_set1_epi8('"'));
  const __m128i backslash = _mm_cmpeq_epi8(v, _mm_set1_epi8('\\'));
  // Signed compare: bytes of 0x80 or more are negative, so "< 0x20" catches them too.
  const __m128i low = _mm_cmplt_epi8(v, _mm_set1_epi8(0x20));
  const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(quote, backslash), low)));
  return mask == 0 ? 16u : static_cast<unsigned>(__builtin_ctz(mask));
}
#endif

}  // namespace

bool ParseState::scanString() {
  // Fast pass: no escapes, well-formed UTF-8; the value is the input bytes themselves.
  const uint8_t* const in = input;
  const uint8_t* const end = in + length;
  const uint8_t* const first = in + pos + 1;
  const uint8_t* p = first;
  size_t nonAsciiSavings = 0;  // bytes minus UTF-16 units of the sequences outside ASCII
  for (;;) {
#if defined(__SSE2__)
    while (end - p >= 16) {
      unsigned k = firstSpecialOf16(p);
      p += k;
      if (k < 16) break;
    }
#endif
    if (p >= end) break;
    const uint8_t c = *p;
    const uint8_t cls = kStringClass[c];
    if (cls == 0) {
      ++p;
      continue;
    }
    if (cls == 1) {
      const size_t n = static_cast<size_t>(p - first);
      token.type = TokenType::string;
      token.value.bytes = first;
      token.value.length = n;
      token.value.type = kTypeString;
      token.value.hash = hashStringBytes(first, n, p - in >= 8);
      token.value.utf16Length = n - nonAsciiSavings;
      token.value.cacheItem = nullptr;
      pos = static_cast<size_t>(p - in) + 1;
      token.end = pos;
      return true;
    }
    if (cls == 2) return scanStringSlow(static_cast<size_t>(p - in), static_cast<size_t>(p - first) - nonAsciiSavings);
    if (cls == 3) {
      pos = static_cast<size_t>(p - in);
      std::string m = "Invalid character < 0x20 found in string: 0x";
      appendHex2(m, c);
      m += '.';
      error(std::move(m));
      return false;
    }
    // A run of sequences outside ASCII (text in other scripts comes in runs). Sequences that
    // can be neither overlong, surrogates, non-characters nor out of range are checked here;
    // the rest goes through the full decoder.
    do {
      const uint8_t lead = *p;
      if (lead >= 0xC2 && lead <= 0xDF && p + 1 < end && (p[1] & 0xC0) == 0x80) {
        nonAsciiSavings += 1;
        p += 2;
        continue;
      }
      if (((lead >= 0xE1 && lead <= 0xEC) || lead == 0xEE) && p + 2 < end && (p[1] & 0xC0) == 0x80 &&
          (p[2] & 0xC0) == 0x80) {
        nonAsciiSavings += 2;
        p += 3;
        continue;
      }
      UTF8Sequence seq = decodeUTF8Sequence(p, end);
      if (seq.status != UTF8Status::wellFormed) {
        return scanStringSlow(static_cast<size_t>(p - in), static_cast<size_t>(p - first) - nonAsciiSavings);
      }
      const size_t n = static_cast<size_t>(seq.next - p);
      nonAsciiSavings += n - (seq.codePoint >= 0x10000 ? 2 : 1);
      p = seq.next;
    } while (p < end && *p >= 0x80);
  }
  pos = length;
  error("Invalid string.");
  return false;
}

bool ParseState::scanStringSlow(size_t p, size_t utf16) {
  const uint8_t* in = input;
  const bool lenient = options & JCParseLenientUnicode;
  // Room for what the fast pass saw, and more as the text grows.
  size_t copied = p - pos - 1;
  if (scratch.size() < copied + 16) scratch.resize((copied + 16 + 1024 + 4095) / 4096 * 4096);
  std::memcpy(scratch.data(), in + pos + 1, copied);
  size_t w = copied;

  auto put = [&](const uint8_t* bytes, size_t n) {
    if (w + n + 16 > scratch.size()) scratch.resize((w + n + 16 + 1024 + 4095) / 4096 * 4096);
    std::memcpy(scratch.data() + w, bytes, n);
    w += n;
  };
  auto putCodePoint = [&](uint32_t cp) {
    uint8_t buf[4];
    int n = writeUTF8(cp, buf);
    put(buf, static_cast<size_t>(n));
    utf16 += cp >= 0x10000 ? 2 : 1;
  };
  auto fail = [&](size_t at, std::string message) {
    pos = at;
    error(std::move(message));
    return false;
  };
  // Reads four hexadecimal digits at q; false (with the error recorded) when they are not.
  auto readHex4 = [&](size_t q, uint32_t& unit) -> int {
    unit = 0;
    for (size_t k = 0; k < 4; ++k) {
      if (q + k >= length) return -1;  // end of the input
      uint8_t d = in[q + k];
      if (!isHexDigit(d)) {
        std::string m = "Unexpected character found in \\u Unicode escape sequence.  Found '";
        if (d < 0x80) {
          m += static_cast<char>(d);
        } else {
          uint8_t buf[4];
          m.append(reinterpret_cast<char*>(buf), static_cast<size_t>(writeUTF8(d, buf)));
        }
        m += "', expected [0-9a-fA-F].";
        pos = q + k;
        error(std::move(m));
        return 0;
      }
      unit = (unit << 4) | hexValue(d);
    }
    return 1;
  };

  while (p < length) {
    uint8_t c = in[p];
    if (c == '"') {
      token.type = TokenType::string;
      token.value.bytes = scratch.data();
      token.value.length = w;
      token.value.type = kTypeString;
      token.value.hash = hashStringBytes(scratch.data(), w, false);
      token.value.utf16Length = utf16;
      token.value.cacheItem = nullptr;
      pos = p + 1;
      token.end = pos;
      return true;
    }
    if (c < 0x20) {
      std::string m = "Invalid character < 0x20 found in string: 0x";
      appendHex2(m, c);
      m += '.';
      return fail(p, std::move(m));
    }
    if (c >= 0x80) {
      UTF8Sequence seq = decodeUTF8Sequence(in + p, in + length);
      if (seq.status == UTF8Status::wellFormed) {
        put(in + p, static_cast<size_t>(seq.next - (in + p)));
        utf16 += seq.codePoint >= 0x10000 ? 2 : 1;
      } else if (seq.status == UTF8Status::truncated) {
        return fail(p, "End of buffer reached while parsing UTF8 in \"\" string.");
      } else if (lenient) {
        putCodePoint(0xFFFD);
      } else {
        return fail(p, "Illegal UTF8 sequence found in \"\" string.");
      }
      p = static_cast<size_t>(seq.next - in);
      continue;
    }
    if (c != '\\') {
      // A run of plain ASCII bytes, copied at once.
      size_t q = p + 1;
#if defined(__SSE2__)
      while (length - q >= 16) {
        const unsigned k = firstSpecialOf16(in + q);
        q += k;
        if (k < 16) break;
      }
#endif
      while (q < length && kStringClass[in[q]] == 0) ++q;
      put(in + p, q - p);
      utf16 += q - p;
      p = q;
      continue;
    }
    // An escape.
    size_t escapeStart = p;
    if (p + 1 >= length) break;
    uint8_t e = in[p + 1];
    uint8_t plain;
    switch (e) {
      case '"':
      case '\\':
      case '/':
        plain = e;
        break;
      case 'b':
        plain = 0x08;
        break;
      case 'f':
        plain = 0x0C;
        break;
      case 'n':
        plain = 0x0A;
        break;
      case 'r':
        plain = 0x0D;
        break;
      case 't':
        plain = 0x09;
        break;
      case 'u':
        plain = 0;
        break;
      default:
        return fail(p + 1, "Invalid escape sequence found in \"\" string.");
    }
    if (e != 'u') {
      put(&plain, 1);
      ++utf16;
      p += 2;
      continue;
    }
    uint32_t unit;
    int r = readHex4(p + 2, unit);
    if (r < 0) {
      p = length;
      break;
    }
    if (r == 0) return false;
    p += 6;
    uint32_t cp = unit;
    bool legal = true;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (p + 1 < length && in[p] == '\\' && in[p + 1] == 'u') {
        uint32_t low;
        int r2 = readHex4(p + 2, low);
        if (r2 < 0) {
          p = length;
          break;
        }
        if (r2 == 0) return false;
        p += 6;
        if (low >= 0xDC00 && low <= 0xDFFF) {
          cp = ((unit - 0xD800) << 10) + (low - 0xDC00) + 0x10000;
          legal = !isIllegalCodePoint(cp);
        } else {
          legal = false;
        }
      } else if (lenient) {
        putCodePoint(0xFFFD);
        continue;
      } else {
        return fail(p, "Required a second \\u Unicode escape sequence following a surrogate \\u Unicode escape sequence.");
      }
    } else {
      legal = cp != 0 && !isIllegalCodePoint(cp);
    }
    if (!legal) {
      if (!lenient) return fail(escapeStart, "Illegal \\u Unicode escape sequence.");
      cp = 0xFFFD;
    }
    putCodePoint(cp);
  }
  pos = p < length ? p : length;
  error("Invalid string.");
  return false;
}

void ParseState::setNumberToken(uint8_t type, size_t end) {
  TokenValue& v = token.value;
  v.cacheItem = nullptr;
  v.length = 8;
  v.bytes = reinterpret_cast<const uint8_t*>(&v.number);
  v.type = type;
  uint64_t bits;
  std::memcpy(&bits, &v.number, 8);
  v.hash = numberHash(type, bits);
  token.type = TokenType::number;
  pos = end;
  token.end = end;
}

bool ParseState::scanNumber() {
  const uint8_t* const in = input;
  const uint8_t* const last = in + length;
  const size_t start = pos;
  const uint8_t* q = in + pos;
  auto isDigit = [](uint8_t c) { return static_cast<uint8_t>(c - '0') < 10; };
  auto invalid = [&]() {
    pos = static_cast<size_t>(q - in);
    error("Invalid number.");
    return false;
  };
  // The significand's digits are gathered on the way (eight at a time where they run long):
  // integers and most decimal numbers need no second pass over the text. Past 19 digits the
  // gathered value wraps and is not used.
  auto gatherDigits = [&](uint64_t& value) {
    while (last - q >= 8) {
      const unsigned n = gatherUpToEightDigits(q, value);
      q += n;
      if (n < 8) return;
    }
    while (q < last && isDigit(*q)) {
      value = value * 10 + static_cast<uint64_t>(*q - '0');
      ++q;
    }
  };
  bool negative = false, isDouble = false;
  if (*q == '-') {
    negative = true;
    ++q;
  }
  if (q == last || !isDigit(*q)) return invalid();
  uint64_t mantissa = 0;
  const uint8_t* digitsStart = q;
  if (*q == '0') {
    ++q;
  } else {
    // Integer parts are mostly short: a few digits one by one before the wider steps.
    for (int k = 0; k < 4 && q < last && isDigit(*q); ++k, ++q) mantissa = mantissa * 10 + static_cast<uint64_t>(*q - '0');
    if (q - digitsStart == 4) gatherDigits(mantissa);
  }
  const size_t integerDigits = static_cast<size_t>(q - digitsStart);
  size_t fractionDigits = 0;
  const uint8_t* fractionEnd = q;
  int64_t exponent = 0;
  if (q < last && *q == '.') {
    isDouble = true;
    ++q;
    const uint8_t* fractionStart = q;
    gatherDigits(mantissa);
    fractionDigits = static_cast<size_t>(q - fractionStart);
    fractionEnd = q;
    if (fractionDigits == 0) return invalid();
  }
  if (q < last && (*q == 'e' || *q == 'E')) {
    isDouble = true;
    ++q;
    bool negativeExponent = false;
    if (q < last && (*q == '+' || *q == '-')) {
      negativeExponent = *q == '-';
      ++q;
    }
    if (q == last || !isDigit(*q)) return invalid();
    while (q < last && isDigit(*q)) {
      // Far beyond any double's range already; the exact figure no longer matters.
      if (exponent < 100000) exponent = exponent * 10 + (*q - '0');
      ++q;
    }
    if (negativeExponent) exponent = -exponent;
  }
  // A number that runs into the end of the input is not complete.
  if (q == last) return invalid();
  const size_t p = static_cast<size_t>(q - in);
  TokenValue& v = token.value;

  if (!isDouble && integerDigits <= 18 && !(negative && mantissa == 0)) {
    if (negative) {
      v.number.longLongValue = -static_cast<int64_t>(mantissa);
      setNumberToken(kTypeLongLong, p);
    } else {
      v.number.unsignedLongLongValue = mantissa;
      setNumberToken(kTypeUnsignedLongLong, p);
    }
    return true;
  }

  if (isDouble) {
    // Up to 19 significant digits the gathered significand is exact (leading zeros of a
    // fraction after "0." add nothing to it).
    size_t significantDigits = integerDigits + fractionDigits;
    if (significantDigits > 19 && *digitsStart == '0') {
      const uint8_t* f = digitsStart + 2;
      while (f < fractionEnd && *f == '0') ++f;
      significantDigits = static_cast<size_t>(fractionEnd - f);
    }
    double d;
    if (significantDigits <= 19 && decimalToDouble(mantissa, exponent - static_cast<int64_t>(fractionDigits), d)) {
      v.number.doubleValue = negative ? -d : d;
      setNumberToken(kTypeDouble, p);
      return true;
    }
  }

  // The rest (long integers, "-0", doubles the quick conversion leaves open) goes through the
  // library conversion, which also tells the range errors.
  const char* text = reinterpret_cast<const char*>(in + start);
  const char* textEnd = reinterpret_cast<const char*>(in + p);
  std::string_view textView(text, static_cast<size_t>(p - start));
  auto conversionFailed = [&](std::string message) {
    pos = start;
    error(std::move(message));
    error("Invalid number.");
    return false;
  };
  if (isDouble || textView == "-0") {
    double d = 0;
    auto [end, ec] = std::from_chars(text, textEnd, d);
    if (ec == std::errc::result_out_of_range) {
      // The magnitude's decimal exponent tells which way it fell off the representable range.
      long exponent = 0;
      size_t q = negative ? 1 : 0;
      long intDigits = 0;
      bool seenNonZero = false;
      long leadingFractionZeros = 0;
      for (; q < textView.size() && textView[q] >= '0' && textView[q] <= '9'; ++q) {
        if (textView[q] != '0' || seenNonZero) {
          seenNonZero = true;
          ++intDigits;
        }
      }
      if (q < textView.size() && textView[q] == '.') {
        for (++q; q < textView.size() && textView[q] >= '0' && textView[q] <= '9'; ++q) {
          if (!seenNonZero) {
            if (textView[q] == '0') {
              ++leadingFractionZeros;
            } else {
              seenNonZero = true;
            }
          }
        }
      }
      if (q < textView.size()) {
        // The exponent saturates: one too long for any integer still says which way it points.
        size_t k = q + 1;
        const bool negativeExponent = textView[k] == '-';
        if (textView[k] == '+' || textView[k] == '-') ++k;
        for (; k < textView.size(); ++k) {
          if (exponent < 1000000000L) exponent = exponent * 10 + (textView[k] - '0');
        }
        if (negativeExponent) exponent = -exponent;
      }
      long magnitude = (intDigits > 0 ? intDigits : -leadingFractionZeros) + exponent;
      bool underflow = magnitude <= 0;
      std::string m = "The value '";
      m.append(textView);
      m += "' could not be represented as a 'double' due to ";
      m += underflow ? "underflow" : "overflow";
      m += '.';
      return conversionFailed(std::move(m));
    }
    if (ec != std::errc() || end != textEnd) {
      return conversionFailed("The conversion function did not consume all of the number tokens characters.");
    }
    v.number.doubleValue = d;
    setNumberToken(kTypeDouble, p);
  } else if (negative) {
    int64_t value = 0;
    auto [end, ec] = std::from_chars(text, textEnd, value);
    if (ec == std::errc::result_out_of_range) {
      std::string m = "The value '";
      m.append(textView);
      m += "' exceeded the minimum value that could be represented: -9223372036854775808.";
      return conversionFailed(std::move(m));
    }
    if (ec != std::errc() || end != textEnd) {
      return conversionFailed("The conversion function did not consume all of the number tokens characters.");
    }
    v.number.longLongValue = value;
    setNumberToken(kTypeLongLong, p);
  } else {
    uint64_t value = 0;
    auto [end, ec] = std::from_chars(text, textEnd, value);
    if (ec == std::errc::result_out_of_range) {
      std::string m = "The value '";
      m.append(textView);
      m += "' exceeded the maximum value that could be represented: 18446744073709551615.";
      return conversionFailed(std::move(m));
    }
    if (ec != std::errc() || end != textEnd) {
      return conversionFailed("The conversion function did not consume all of the number tokens characters.");
    }
    v.number.unsignedLongLongValue = value;
    setNumberToken(kTypeUnsignedLongLong, p);
  }
  return true;
}

NSObject* ParseState::makeValue(const TokenValue& v) {
  ObjectArena& a = *arena;
  switch (v.type) {
    case kTypeString: {
      auto* string = new (a.allocateObject(sizeof(NSString)))
          NSString(std::string_view(reinterpret_cast<const char*>(v.bytes), v.length), v.utf16Length);
      // A long text lives on the heap, which the string's destructor gives back.
      const char* bytes = string->utf8().data();
      if (bytes < reinterpret_cast<const char*>(string) || bytes >= reinterpret_cast<const char*>(string + 1)) {
        a.destroyLater(string);
      }
      return string;
    }
    case kTypeLongLong:
      return a.make<NumberOf<'q'>>(v.number.longLongValue);
    case kTypeUnsignedLongLong:
      if (v.number.unsignedLongLongValue <= static_cast<uint64_t>(INT64_MAX)) {
        return a.make<NumberOf<'q'>>(static_cast<int64_t>(v.number.unsignedLongLongValue));
      }
      return a.make<NumberOf<'Q'>>(v.number.unsignedLongLongValue);
    case kTypeDouble:
      return a.make<NumberOf<'d'>>(v.number.doubleValue);
    default:
      error("Internal error: Unknown token value type. JSONCodec line #" + std::to_string(__LINE__));
      return nullptr;
  }
}

NSObject* ParseState::valueForToken() {
  TokenValue& v = token.value;
  v.cacheItem = nullptr;
  if (v.type == kTypeString && v.length == 0) return NSString::string().get();

  // Up to four probes; a hit shares the cached object, a miss fills an empty probed slot or,
  // failing that, the first one.
  const uint64_t tag = v.hash | 1;
  const size_t step = v.length + v.type + 3;
  size_t fillSlot = kCacheSlots;
  for (size_t i = 0; i < 4; ++i) {
    const size_t slot = (v.hash + step * i) & (kCacheSlots - 1);
    const uint64_t t = cacheTags[slot];
    if (t == 0) {
      fillSlot = slot;
      break;
    }
    if (t != tag) continue;
    CacheItem& item = cache[slot];
    if (item.hash == v.hash && item.length == v.length && item.type == v.type &&
        (v.length == 8 ? std::memcmp(item.bytes(), v.bytes, 8) : std::memcmp(item.bytes(), v.bytes, v.length)) == 0) {
      // A value made for an earlier tree: this tree now points into that one's arena.
      if (item.arena != arena.get() && item.arena != lastKept) {
        arena->keepAlive(item.arena->shared_from_this());
        lastKept = item.arena;
      }
      v.cacheItem = &item;
      return item.object;
    }
  }
  if (fillSlot == kCacheSlots) fillSlot = v.hash & (kCacheSlots - 1);
  CacheItem* fill = &cache[fillSlot];

  NSObject* object = makeValue(v);
  if (object == nullptr) return nullptr;
  if (!fill->store(v.bytes, v.length)) {
    fill->clear();
    cacheTags[fillSlot] = 0;
    return object;
  }
  cacheTags[fillSlot] = tag;
  fill->object = object;
  fill->arena = arena.get();
  fill->hash = v.hash;
  fill->keyHash = 0;
  fill->type = v.type;
  v.cacheItem = fill;
  filledCache = true;
  return object;
}

id ParseState::owned(NSObject* value) {
  // The arena keeps every value of the parse alive (and the arenas it shares values with);
  // a mutable parse's containers are heap objects of their own.
  if (mutableCollections && (typeid(*value) == typeid(JCArray) || typeid(*value) == typeid(JCDictionary))) {
    return value->self();
  }
  return id(arena, value);
}

void ParseState::pruneCacheArenas() {
  // One pass over the slots names the arenas they point into (neighbouring slots often share
  // one). Asking each arena in turn whether a slot points into it read every slot once per
  // arena: while the slots still pointed into many earlier trees, each parse cost that many
  // passes, and a decoder reused for thousands of documents slowed to a crawl.
  const CacheItem* items = cache.get();
  const uint64_t* tags = cacheTags.get();
  std::vector<const ObjectArena*> referenced;
  referenced.reserve(cacheArenas.size() * 2);
  const ObjectArena* previous = nullptr;
  for (size_t i = 0; i < kCacheSlots; ++i) {
    if (tags[i] == 0 || items[i].arena == previous) continue;
    previous = items[i].arena;
    referenced.push_back(previous);
  }
  std::sort(referenced.begin(), referenced.end());
  std::vector<std::shared_ptr<ObjectArena>> kept;
  for (auto& candidate : cacheArenas) {
    if (std::binary_search(referenced.begin(), referenced.end(), candidate.get())) kept.push_back(std::move(candidate));
  }
  cacheArenas = std::move(kept);
  lastKept = nullptr;
}

void ParseState::expectationError(unsigned state, const char* valueItem, const char* endItem) {
  const char* items[3];
  int n = 0;
  if (state & kAcceptValue) items[n++] = valueItem;
  if (state & kAcceptComma) items[n++] = "a comma";
  if (state & kAcceptEnd) items[n++] = endItem;
  std::string m = "Expected ";
  for (int i = 0; i < n; ++i) {
    if (i > 0) m += " or ";
    m += items[i];
  }
  m += ", not '";
  appendSanitized(m, input + token.start, token.end - token.start);
  m += "'";
  error(std::move(m));
}

bool ParseState::buildValue(size_t depth, NSObject*& out) {
  switch (token.type) {
    case TokenType::string:
    case TokenType::number:
      out = valueForToken();
      return out != nullptr;
    // The shared constants live for ever: the tree points to them like to its own values.
    case TokenType::trueValue:
      out = kCFBooleanTrue.get();
      return true;
    case TokenType::falseValue:
      out = kCFBooleanFalse.get();
      return true;
    case TokenType::nullValue:
      out = kCFNull.get();
      return true;
    case TokenType::arrayBegin:
      return buildArray(depth + 1, out);
    case TokenType::objectBegin:
      return buildObject(depth + 1, out);
    default:
      error("Internal error: Unknown token type. JSONCodec line #" + std::to_string(__LINE__));
      return false;
  }
}

bool ParseState::finishArray(size_t begin, NSObject*& out) {
  const size_t n = stackValues.size() - begin;
  if (mutableCollections) {
    std::vector<id> cells;
    cells.reserve(n);
    for (size_t i = 0; i < n; ++i) cells.push_back(owned(stackValues[begin + i]));
    auto array = makeJCArray(cells.data(), n, true);
    out = array.get();
    if (array) heapContainers.push_back(std::move(array));
  } else {
    out = makeFrozenJCArray(*arena, stackValues.data() + begin, n);
  }
  stackValues.resize(begin);
  if (!out) error("Internal error: Object == NULL");
  return out != nullptr;
}

bool ParseState::finishObject(size_t begin, NSObject*& out) {
  const size_t n = stackEntries.size() - begin;
  if (mutableCollections) {
    std::vector<DictionaryEntry> entries;
    entries.reserve(n);
    for (size_t i = 0; i < n; ++i) {
      const FrozenEntry& e = stackEntries[begin + i];
      entries.push_back(DictionaryEntry{e.keyHash, owned(e.key), owned(e.object)});
    }
    auto dictionary = makeJCDictionary(entries.data(), n, true);
    out = dictionary.get();
    if (dictionary) heapContainers.push_back(std::move(dictionary));
  } else {
    out = makeFrozenJCDictionary(*arena, stackEntries.data() + begin, n);
  }
  stackEntries.resize(begin);
  if (!out) error("Internal error: Object == NULL.");
  return out != nullptr;
}

bool ParseState::buildArray(size_t depth, NSObject*& out) {
  if (depth > JCMaximumNestingDepth) {
    error("Maximum nesting depth exceeded.");
    return false;
  }
  const size_t begin = stackValues.size();
  unsigned state = kAcceptValue | kAcceptEnd;
  while (pos < length) {
    // A number right where a value may start: the bulk of large arrays, taken without the
    // general token dispatch.
    // Likewise a nested array, and the comma or the closing bracket right after a value.
    if ((state & kAcceptValue) && (static_cast<uint8_t>(input[pos] - '0') < 10 || input[pos] == '-' ||
                                   input[pos] == '[')) {
      token.start = pos;
      if (input[pos] == '[') {
        ++pos;
        token.end = pos;
        token.type = TokenType::arrayBegin;
        NSObject* value;
        if (!buildArray(depth + 1, value)) break;
        stackValues.push_back(value);
      } else {
        if (!scanNumber()) break;
        NSObject* value = valueForToken();
        if (value == nullptr) break;
        stackValues.push_back(value);
      }
      state = kAcceptComma | kAcceptEnd;
      if (pos < length && input[pos] == ',') {
        ++pos;
        state = kAcceptValue;
      } else if (pos < length && input[pos] == ']') {
        token.start = pos;
        ++pos;
        token.end = pos;
        token.type = TokenType::arrayEnd;
        return finishArray(begin, out);
      }
      continue;
    }
    if (!readToken()) break;
    TokenType t = token.type;
    if (isValueToken(t)) {
      if (!(state & kAcceptValue)) {
        error("Unexpected value.");
        break;
      }
      NSObject* value;
      if (t == TokenType::number || t == TokenType::string) {
        value = valueForToken();
        if (value == nullptr) break;
      } else if (!buildValue(depth, value)) {
        break;
      }
      stackValues.push_back(value);
      state = kAcceptComma | kAcceptEnd;
      // The usual follower, right after the value: a comma, taken here at once.
      if (pos < length && input[pos] == ',') {
        ++pos;
        state = kAcceptValue;
      }
    } else if (t == TokenType::comma) {
      if (!(state & kAcceptComma)) {
        error("Unexpected ','.");
        break;
      }
      state = kAcceptValue;
    } else if (t == TokenType::arrayEnd) {
      if (!(state & kAcceptEnd)) {
        error("Unexpected ']'.");
        break;
      }
      return finishArray(begin, out);
    } else {
      expectationError(state, "a value", "a ']'");
      break;
    }
  }
  stackValues.resize(begin);
  return false;
}

bool ParseState::buildObject(size_t depth, NSObject*& out) {
  if (depth > JCMaximumNestingDepth) {
    error("Maximum nesting depth exceeded.");
    return false;
  }
  const size_t begin = stackEntries.size();
  unsigned state = kAcceptValue | kAcceptEnd;
  while (pos < length) {
    // Where a key may start, a quote is taken without the general token dispatch.
    skipWhiteSpace();
    if ((state & kAcceptValue) && pos < length && input[pos] == '"') {
      token.start = pos;
      if (!scanString()) break;
    } else if (!readToken()) {
      break;
    }
    TokenType t = token.type;
    if (t == TokenType::string) {
      if (!(state & kAcceptValue)) {
        error("Unexpected string.");
        break;
      }
      NSObject* key = valueForToken();
      if (key == nullptr) {
        error("Internal error: Key == NULL.");
        break;
      }
      // The key's hash is computed once per cached key object and kept in its slot.
      uint64_t keyHash;
      if (CacheItem* item = token.value.cacheItem) {
        if (item->keyHash == 0) item->keyHash = key->hash();
        keyHash = item->keyHash;
      } else {
        keyHash = key->hash();
      }
      if (pos < length && input[pos] == ':') {
        ++pos;  // the usual case, right after the key
      } else {
        if (!readToken()) break;
        if (token.type != TokenType::separator) {
          error("Expected ':'.");
          break;
        }
      }
      // The usual value: after one blank, a string or a number, taken directly.
      if (pos < length && input[pos] == ' ') ++pos;
      const uint8_t next = pos < length ? input[pos] : 0;
      token.start = pos;
      if (next == '"') {
        if (!scanString()) break;
      } else if (static_cast<uint8_t>(next - '0') < 10 || next == '-') {
        if (!scanNumber()) break;
      } else if (!readToken()) {
        break;
      }
      if (!isValueToken(token.type)) {
        expectationError(kAcceptValue, "a value", "a '}'");
        break;
      }
      NSObject* value;
      if (token.type == TokenType::number || token.type == TokenType::string) {
        value = valueForToken();
        if (value == nullptr) break;
      } else if (!buildValue(depth, value)) {
        break;
      }
      stackEntries.push_back(FrozenEntry{keyHash, key, value});
      state = kAcceptComma | kAcceptEnd;
      if (pos < length && input[pos] == ',') {
        ++pos;
        state = kAcceptValue;
      }
    } else if (t == TokenType::comma) {
      if (!(state & kAcceptComma)) {
        error("Unexpected ','.");
        break;
      }
      state = kAcceptValue;
    } else if (t == TokenType::objectEnd) {
      if (!(state & kAcceptEnd)) {
        error("Unexpected '}'.");
        break;
      }
      return finishObject(begin, out);
    } else {
      expectationError(state, "a \"STRING\"", "a '}'");
      break;
    }
  }
  stackEntries.resize(begin);
  return false;
}

NSObject* ParseState::parseDocument() {
  NSObject* result = nullptr;
  bool ok = false;
  if (pos < length && readToken()) {
    if (token.type == TokenType::arrayBegin || token.type == TokenType::objectBegin) {
      ok = buildValue(0, result);
    } else {
      error("Expected either '[' or '{'.");
    }
  }
  if (ok) {
    skipWhiteSpace();
    if (pos < length && !(options & JCParseAllowTrailingText)) {
      error("A valid JSON object was parsed but there were additional non-white-space characters remaining.");
      ok = false;
    }
  }
  if (!ok) {
    if (pos >= length) error("Reached the end of the buffer.");
    error("Unable to parse JSON.");
    result = nullptr;
  }
  return result;
}

}  // namespace zvt::json

using zvt::json::ParseState;

JSONDecoder::JSONDecoder(Private, JCParseOptionFlags parseOptionFlags) : parseState_(std::make_unique<ParseState>()) {
  parseState_->options = parseOptionFlags;
  parseState_->cache = std::make_unique<zvt::json::CacheItem[]>(zvt::json::kCacheSlots);
  parseState_->cacheTags = std::make_unique<uint64_t[]>(zvt::json::kCacheSlots);
}

JSONDecoder::~JSONDecoder() = default;

std::shared_ptr<JSONDecoder> JSONDecoder::decoder() { return decoderWithParseOptions(JCParseStrict); }

std::shared_ptr<JSONDecoder> JSONDecoder::decoderWithParseOptions(JCParseOptionFlags parseOptionFlags) {
  if (parseOptionFlags & ~JCParseOptionValid) {
    zvt::raise(NSInvalidArgumentException, "Invalid parse options.");
  }
  return std::make_shared<JSONDecoder>(Private{}, parseOptionFlags);
}

JCParseOptionFlags JSONDecoder::parseOptionFlags() const { return parseState_ ? parseState_->options : 0; }

void JSONDecoder::clearCache() {
  if (!parseState_) return;
  for (size_t i = 0; i < zvt::json::kCacheSlots; ++i) {
    parseState_->cache[i].clear();
    parseState_->cacheTags[i] = 0;
  }
  // The values go with the trees that still hold them.
  parseState_->cacheArenas.clear();
  parseState_->lastKept = nullptr;
}

id JSONDecoder::parse(const uint8_t* string, size_t length, bool mutableCollections,
                      std::shared_ptr<NSError>* error) {
  if (!parseState_) zvt::raise(NSInternalInconsistencyException, "parseState is NULL.");
  if (string == nullptr) zvt::raise(NSInvalidArgumentException, "The string argument is NULL.");
  ParseState& st = *parseState_;
  st.input = string;
  st.length = length;
  st.pos = 0;
  st.line = 1;
  st.lineStart = 0;
  st.failed = false;
  st.errorMessage.clear();
  st.mutableCollections = mutableCollections;
  st.token = zvt::json::Token{};
  // Trees take somewhat more room than their text: the first chunk is sized from it.
  st.arena = zvt::ObjectArena::make(length * 2);
  st.filledCache = false;
  st.lastKept = nullptr;

  id result;
  if (NSObject* root = st.parseDocument()) {
    result = mutableCollections ? root->self() : st.arena->adopt(root);
  }
  st.heapContainers.clear();
  // Slots filled now point into this parse's arena: the decoder keeps it while they do.
  if (st.filledCache) {
    st.cacheArenas.push_back(st.arena);
    if (st.cacheArenas.size() > 4) st.pruneCacheArenas();
  }
  st.arena.reset();

  if (st.failed && error != nullptr && !result) {
    auto userInfo = NSMutableDictionary::dictionary();
    userInfo->setObject(NSString::fromValidUTF8(st.errorMessage), NSLocalizedDescriptionKey);
    userInfo->setObject(NSNumber::numberWithUnsignedLong(st.errorIndex), JCAtIndexKey);
    userInfo->setObject(NSNumber::numberWithUnsignedLong(st.errorLine), JCLineNumberKey);
    *error = NSError::errorWithDomain(JCErrorDomain, -1, userInfo);
  }
  // Buffers that grew for a large document are not kept for the next one.
  if (st.scratch.capacity() > zvt::json::kScratchInitial * 8) std::vector<uint8_t>().swap(st.scratch);
  if (st.stackValues.capacity() > 4096) std::vector<NSObject*>().swap(st.stackValues);
  if (st.stackEntries.capacity() > 4096) std::vector<zvt::json::FrozenEntry>().swap(st.stackEntries);
  st.input = nullptr;
  st.length = 0;
  st.errorMessage.clear();
  return result;
}

id JSONDecoder::objectWithUTF8String(const uint8_t* string, size_t length, std::shared_ptr<NSError>* error) {
  return parse(string, length, false, error);
}

id JSONDecoder::mutableObjectWithUTF8String(const uint8_t* string, size_t length, std::shared_ptr<NSError>* error) {
  return parse(string, length, true, error);
}

id JSONDecoder::objectWithData(const std::shared_ptr<NSData>& jsonData, std::shared_ptr<NSError>* error) {
  if (!jsonData) zvt::raise(NSInvalidArgumentException, "The jsonData argument is NULL.");
  return parse(jsonData->bytes(), jsonData->length(), false, error);
}

id JSONDecoder::mutableObjectWithData(const std::shared_ptr<NSData>& jsonData, std::shared_ptr<NSError>* error) {
  if (!jsonData) zvt::raise(NSInvalidArgumentException, "The jsonData argument is NULL.");
  return parse(jsonData->bytes(), jsonData->length(), true, error);
}

// --- categories

namespace {

// A lone surrogate, which strings keep as ED A0..BF xx, at or after `from`.
size_t findLoneSurrogate(std::string_view text, size_t from) {
  for (size_t i = text.find('\xED', from); i != std::string_view::npos; i = text.find('\xED', i + 1)) {
    if (i + 1 < text.size() && static_cast<uint8_t>(text[i + 1]) >= 0xA0) return i;
  }
  return std::string_view::npos;
}

// The text's UTF-8 bytes are parsed in place. A lone surrogate has no UTF-8 form: like the
// writer, the conversion puts "?" in its place. Answers whether a converted copy was made.
bool convertLoneSurrogates(std::string_view text, std::string& converted) {
  size_t i = findLoneSurrogate(text, 0);
  if (i == std::string_view::npos) return false;
  converted.reserve(text.size());
  size_t from = 0;
  for (; i != std::string_view::npos; i = findLoneSurrogate(text, from)) {
    converted.append(text.substr(from, i - from));
    converted += '?';
    from = std::min(i + 3, text.size());
  }
  converted.append(text.substr(from));
  return true;
}

id parseString(const NSString& string, JCParseOptionFlags options, bool mutableCollections,
               std::shared_ptr<NSError>* error) {
  auto decoder = JSONDecoder::decoderWithParseOptions(options);
  std::string converted;
  std::string_view v = string.view();
  if (convertLoneSurrogates(v, converted)) v = converted;
  const auto* bytes = reinterpret_cast<const uint8_t*>(v.data());
  return mutableCollections ? decoder->mutableObjectWithUTF8String(bytes, v.size(), error)
                            : decoder->objectWithUTF8String(bytes, v.size(), error);
}

id parseData(const NSData& data, JCParseOptionFlags options, bool mutableCollections,
             std::shared_ptr<NSError>* error) {
  auto decoder = JSONDecoder::decoderWithParseOptions(options);
  return mutableCollections ? decoder->mutableObjectWithUTF8String(data.bytes(), data.length(), error)
                            : decoder->objectWithUTF8String(data.bytes(), data.length(), error);
}

}  // namespace

id objectFromJSONString(const NSString& string) { return parseString(string, JCParseStrict, false, nullptr); }
id objectFromJSONStringWithParseOptions(const NSString& string, JCParseOptionFlags parseOptionFlags) {
  return parseString(string, parseOptionFlags, false, nullptr);
}
id objectFromJSONStringWithParseOptions(const NSString& string, JCParseOptionFlags parseOptionFlags,
                                        std::shared_ptr<NSError>* error) {
  return parseString(string, parseOptionFlags, false, error);
}
id mutableObjectFromJSONString(const NSString& string) { return parseString(string, JCParseStrict, true, nullptr); }
id mutableObjectFromJSONStringWithParseOptions(const NSString& string, JCParseOptionFlags parseOptionFlags) {
  return parseString(string, parseOptionFlags, true, nullptr);
}
id mutableObjectFromJSONStringWithParseOptions(const NSString& string, JCParseOptionFlags parseOptionFlags,
                                               std::shared_ptr<NSError>* error) {
  return parseString(string, parseOptionFlags, true, error);
}

id objectFromJSONData(const NSData& data) { return parseData(data, JCParseStrict, false, nullptr); }
id objectFromJSONDataWithParseOptions(const NSData& data, JCParseOptionFlags parseOptionFlags) {
  return parseData(data, parseOptionFlags, false, nullptr);
}
id objectFromJSONDataWithParseOptions(const NSData& data, JCParseOptionFlags parseOptionFlags,
                                      std::shared_ptr<NSError>* error) {
  return parseData(data, parseOptionFlags, false, error);
}
id mutableObjectFromJSONData(const NSData& data) { return parseData(data, JCParseStrict, true, nullptr); }
id mutableObjectFromJSONDataWithParseOptions(const NSData& data, JCParseOptionFlags parseOptionFlags) {
  return parseData(data, parseOptionFlags, true, nullptr);
}
id mutableObjectFromJSONDataWithParseOptions(const NSData& data, JCParseOptionFlags parseOptionFlags,
                                             std::shared_ptr<NSError>* error) {
  return parseData(data, parseOptionFlags, true, error);
}
