#pragma once
// UTF-8 / UTF-16 helpers of the string implementation. Strings keep generalized UTF-8: well-formed
// UTF-8, plus lone surrogates written as their 3-byte form (a cut surrogate pair).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zvt::unicode {

bool isAscii(std::string_view s);
// Strict RFC 3629 check; counts UTF-16 units and tells whether the bytes are all ASCII.
bool validateUtf8(std::string_view s, uint64_t* utf16Length, bool* ascii);
// Number of UTF-16 units of generalized UTF-8.
uint64_t utf16Length(std::string_view s);
// The code point at byte i (a lone surrogate yields itself); advances i. A malformed byte
// yields U+FFFD and advances by one.
char32_t decodeNext(std::string_view s, size_t& i);
void appendUtf8(std::string& out, char32_t c);
// Byte offset of a UTF-16 index; npos when the index falls between the halves of a pair.
size_t byteOffsetOfUtf16Index(std::string_view s, uint64_t index);
char16_t utf16UnitAt(std::string_view s, uint64_t index);
std::u16string utf8ToUtf16(std::string_view s);
std::string utf16ToUtf8(std::u16string_view s);
// a + b, joining a lone high surrogate at the end of a with a lone low one at the start of b.
std::string concatenate(std::string_view a, std::string_view b);
// Lone surrogates replaced by a byte.
std::string replaceSurrogates(std::string_view s, char replacement);

// Simple one-to-one case mapping of ASCII, Latin-1, Latin Extended-A, Greek, Cyrillic and the
// full-width Latin letters; other characters map to themselves.
char32_t toLower(char32_t c);
char32_t toUpper(char32_t c);
inline char32_t foldCase(char32_t c) { return toLower(c); }
bool isAlphanumeric(char32_t c);

char32_t macRomanToUnicode(unsigned char b);
int unicodeToMacRoman(char32_t c);  // -1 when it has no Mac Roman byte

}  // namespace zvt::unicode
