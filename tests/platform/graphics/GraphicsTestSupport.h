#pragma once
// Helpers of the image tests: data objects from fixture bytes and pixel reads of images.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/foundation/NSData.h"
#include "platform/graphics/CGBitmapContext.h"
#include "platform/graphics/CGImage.h"
#include "tests/support/ImageFixtures.h"

namespace zvt::test {

inline std::shared_ptr<NSData> dataOf(const std::vector<uint8_t>& bytes) {
  return NSData::dataWithBytes(bytes.data(), bytes.size());
}

// The rows of an image without row padding.
inline std::vector<uint8_t> packedPixels(const CGImageRef& image) {
  std::vector<uint8_t> out;
  auto data = image ? image->pixelData() : nullptr;
  if (!data) return out;
  size_t row = image->width() * image->bitsPerPixel() / 8;
  for (size_t y = 0; y < image->height(); ++y) {
    const uint8_t* p = data->bytes() + y * image->bytesPerRow();
    out.insert(out.end(), p, p + row);
  }
  return out;
}

// The image drawn into a fresh premultiplied RGBA context (8 bits, default byte order).
inline std::vector<uint8_t> renderedRGBA(const CGImageRef& image) {
  auto context = CGBitmapContextCreate(nullptr, image->width(), image->height(), 8, image->width() * 4,
                                       CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedLast);
  CGContextDrawImage(context, CGRectMake(0, 0, static_cast<CGFloat>(image->width()), static_cast<CGFloat>(image->height())),
                     image);
  auto bytes = static_cast<const uint8_t*>(CGBitmapContextGetData(context));
  return std::vector<uint8_t>(bytes, bytes + image->width() * image->height() * 4);
}

// A deterministic pattern of `count` bytes.
inline std::vector<uint8_t> pattern(size_t count, uint32_t seed) {
  std::vector<uint8_t> out(count);
  uint32_t x = seed * 2654435761u + 12345u;
  for (auto& b : out) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<uint8_t>(x >> 8);
  }
  return out;
}

}  // namespace zvt::test
