#include "app/utilities/NSString+TovrelURLEncoding.h"

#include <string>

std::shared_ptr<NSString> tovrelUrlEncodeString(const std::shared_ptr<NSString>& text) {
  if (!text) return nullptr;
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text->view()) {
    bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                (c != 0 && std::string_view("-_.!~*'()").find(static_cast<char>(c)) != std::string_view::npos);
    if (keep) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += digits[c >> 4];
      out += digits[c & 15];
    }
  }
  return NSString::fromValidUTF8(std::move(out));
}
