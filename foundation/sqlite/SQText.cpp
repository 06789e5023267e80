#include "foundation/sqlite/SQText.h"

namespace zvt {

std::string SQLowercase(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      std::shared_ptr<NSString> string = NSString::stringWithUTF8String(text);
      return string ? string->lowercaseString()->utf8() : std::string(text);
    }
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

std::shared_ptr<NSString> SQString(const char* bytes, int length) {
  if (!bytes) return nullptr;
  return NSString::stringWithUTF8String(std::string_view(bytes, length > 0 ? static_cast<size_t>(length) : 0));
}

std::shared_ptr<NSString> SQString(const char* bytes) {
  if (!bytes) return nullptr;
  return NSString::stringWithUTF8String(std::string_view(bytes));
}

std::string SQQuoted(std::string_view text) {
  std::string quoted;
  quoted.reserve(text.size() + 2);
  for (char c : text) {
    quoted.push_back(c);
    if (c == '\'') quoted.push_back('\'');
  }
  return quoted;
}

}  // namespace zvt
