#include "platform/foundation/internal/Unicode.h"

#include <cstring>

namespace zvt::unicode {

bool isAscii(std::string_view s) {
  const char* p = s.data();
  size_t n = s.size();
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t word;
    std::memcpy(&word, p + i, 8);
    if (word & 0x8080808080808080ULL) return false;
  }
  for (; i < n; ++i) {
    if (static_cast<unsigned char>(p[i]) & 0x80) return false;
  }
  return true;
}

bool validateUtf8(std::string_view s, uint64_t* utf16Length, bool* ascii) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const size_t n = s.size();
  uint64_t units = 0;
  bool allAscii = true;
  size_t i = 0;
  while (i < n) {
    // Skip ASCII eight bytes at a time.
    if (i + 8 <= n) {
      uint64_t word;
      std::memcpy(&word, p + i, 8);
      if (!(word & 0x8080808080808080ULL)) {
        i += 8;
        units += 8;
        continue;
      }
    }
    unsigned char b = p[i];
    if (b < 0x80) {
      ++i;
      ++units;
      continue;
    }
    allAscii = false;
    size_t len;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) len = 2;
    else if (b >= 0xE0 && b <= 0xEF) {
      len = 3;
      if (b == 0xE0) lo = 0xA0;
      if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      len = 4;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;
    } else {
      return false;
    }
    if (i + len > n) return false;
    if (p[i + 1] < lo || p[i + 1] > hi) return false;
    for (size_t k = 2; k < len; ++k) {
      if (p[i + k] < 0x80 || p[i + k] > 0xBF) return false;
    }
    units += len == 4 ? 2 : 1;
    i += len;
  }
  if (utf16Length) *utf16Length = units;
  if (ascii) *ascii = allAscii;
  return true;
}

char32_t decodeNext(std::string_view s, size_t& i) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const size_t n = s.size();
  unsigned char b = p[i];
  if (b < 0x80) {
    ++i;
    return b;
  }
  size_t len = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 0;
  if (len == 0 || i + len > n) {
    ++i;
    return 0xFFFD;
  }
  char32_t c = b & (0x7F >> len);
  for (size_t k = 1; k < len; ++k) {
    if ((p[i + k] & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    c = (c << 6) | (p[i + k] & 0x3F);
  }
  i += len;
  return c;
}

uint64_t utf16Length(std::string_view s) {
  uint64_t units = 0;
  for (unsigned char b : s) {
    if ((b & 0xC0) != 0x80) ++units;  // a lead byte or ASCII
    if (b >= 0xF0) ++units;           // four-byte sequences are two units
  }
  return units;
}

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

size_t byteOffsetOfUtf16Index(std::string_view s, uint64_t index) {
  uint64_t units = 0;
  size_t i = 0;
  while (i < s.size() && units < index) {
    char32_t c = decodeNext(s, i);
    units += c >= 0x10000 ? 2 : 1;
  }
  if (units != index) return std::string::npos;
  return i;
}

char16_t utf16UnitAt(std::string_view s, uint64_t index) {
  uint64_t units = 0;
  size_t i = 0;
  while (i < s.size()) {
    char32_t c = decodeNext(s, i);
    if (c >= 0x10000) {
      if (units == index) return static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      if (units + 1 == index) return static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
      units += 2;
    } else {
      if (units == index) return static_cast<char16_t>(c);
      ++units;
    }
  }
  return 0;
}

std::u16string utf8ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    char32_t c = decodeNext(s, i);
    if (c >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return out;
}

std::string utf16ToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    }
    appendUtf8(out, c);
  }
  return out;
}

std::string concatenate(std::string_view a, std::string_view b) {
  // A lone high surrogate is ED A0..AF xx, a lone low one ED B0..BF xx.
  if (a.size() >= 3 && b.size() >= 3 && static_cast<unsigned char>(a[a.size() - 3]) == 0xED &&
      (static_cast<unsigned char>(a[a.size() - 2]) & 0xF0) == 0xA0 && static_cast<unsigned char>(b[0]) == 0xED &&
      (static_cast<unsigned char>(b[1]) & 0xF0) == 0xB0) {
    std::u16string joint = utf8ToUtf16(a.substr(a.size() - 3));
    joint += utf8ToUtf16(b.substr(0, 3));
    std::string out(a.substr(0, a.size() - 3));
    out += utf16ToUtf8(joint);
    out.append(b.substr(3));
    return out;
  }
  std::string out;
  out.reserve(a.size() + b.size());
  out.append(a);
  out.append(b);
  return out;
}

std::string replaceSurrogates(std::string_view s, char replacement) {
  std::string out;
  size_t i = 0;
  while (i < s.size()) {
    size_t start = i;
    char32_t c = decodeNext(s, i);
    if (c >= 0xD800 && c <= 0xDFFF) out.push_back(replacement);
    else out.append(s.substr(start, i - start));
  }
  return out;
}

char32_t toLower(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  if (c >= 0x100 && c <= 0x17F) {
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c + 1 : c;
    if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c == 0x130 ? 'i' : c;
    if (c == 0x178) return 0xFF;
    return (c & 1) ? c : c + 1;
  }
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 32;
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  if (c >= 0xFF21 && c <= 0xFF3A) return c + 32;
  return c;
}

char32_t toUpper(char32_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F) {
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c : c - 1;
    if (c == 0x130 || c == 0x138 || c == 0x149 || c == 0x178 || c == 0x17F) return c;
    if (c == 0x131) return 'I';
    return (c & 1) ? c - 1 : c;
  }
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 32;
  if (c >= 0x430 && c <= 0x44F) return c - 32;
  if (c >= 0x450 && c <= 0x45F) return c - 80;
  if (c >= 0xFF41 && c <= 0xFF5A) return c - 32;
  return c;
}

bool isAlphanumeric(char32_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
  if (c == 0xD7 || c == 0xF7) return false;
  if (c >= 0xC0 && c <= 0x24F) return true;
  if (c >= 0x370 && c <= 0x52F) return true;
  if (c >= 0x3040 && c <= 0x30FF) return true;   // kana
  if (c >= 0x3400 && c <= 0x9FFF) return true;   // CJK
  if (c >= 0xAC00 && c <= 0xD7A3) return true;   // Hangul
  if (c >= 0xF900 && c <= 0xFAFF) return true;
  if (c >= 0xFF10 && c <= 0xFF19) return true;
  if ((c >= 0xFF21 && c <= 0xFF3A) || (c >= 0xFF41 && c <= 0xFF5A)) return true;
  if (c >= 0x20000 && c <= 0x3FFFF) return true;
  return false;
}

namespace {
// Mac Roman 0x80..0xFF.
const char16_t kMacRoman[128] = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1, 0x00E0, 0x00E2, 0x00E4, 0x00E3, 0x00E5,
    0x00E7, 0x00E9, 0x00E8, 0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3, 0x00F2, 0x00F4,
    0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC, 0x2020, 0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6,
    0x00DF, 0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8, 0x221E, 0x00B1, 0x2264, 0x2265,
    0x00A5, 0x00B5, 0x2202, 0x2211, 0x220F, 0x03C0, 0x222B, 0x00AA, 0x00BA, 0x03A9, 0x00E6, 0x00F8, 0x00BF,
    0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB, 0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5,
    0x0152, 0x0153, 0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x25CA, 0x00FF, 0x0178, 0x2044,
    0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02, 0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1,
    0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC, 0x00D3, 0x00D4, 0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9,
    0x0131, 0x02C6, 0x02DC, 0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7,
};
}  // namespace

char32_t macRomanToUnicode(unsigned char b) { return b < 0x80 ? b : kMacRoman[b - 0x80]; }

int unicodeToMacRoman(char32_t c) {
  if (c < 0x80) return static_cast<int>(c);
  for (int k = 0; k < 128; ++k) {
    if (kMacRoman[k] == c) return 0x80 + k;
  }
  return -1;
}

}  // namespace zvt::unicode
