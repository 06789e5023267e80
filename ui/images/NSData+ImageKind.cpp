#include "ui/images/NSData+ImageKind.h"

#include <cstring>

std::shared_ptr<NSString> wi_contentTypeForImageData(const std::shared_ptr<NSData>& data) {
  if (!data || data->length() == 0) return nullptr;
  const uint8_t* bytes = data->bytes();
  switch (bytes[0]) {
    case 0xFF: return "image/jpeg"_ns;
    case 0x89: return "image/png"_ns;
    case 0x47: return "image/gif"_ns;
    case 0x49:
    case 0x4D: return "image/tiff"_ns;
    case 0x52:
      // A RIFF container of the WebP kind: "RIFF", four bytes of length, "WEBP".
      if (data->length() >= 12 && std::memcmp(bytes, "RIFF", 4) == 0 && std::memcmp(bytes + 8, "WEBP", 4) == 0) {
        return "image/webp"_ns;
      }
      return nullptr;
    default: return nullptr;
  }
}

std::shared_ptr<NSString> contentTypeForImageData(const std::shared_ptr<NSData>& data) {
  return wi_contentTypeForImageData(data);
}
