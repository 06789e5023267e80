#pragma once
// Reading and writing pixel rows of the supported layouts through one working form: 8-bit
// premultiplied RGBA. Every drawing and encoding step goes through it.

#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/graphics/CGImage.h"

namespace zvt::graphics {

struct PixelLayout {
  size_t bitsPerComponent = 8;
  size_t bitsPerPixel = 32;
  CGColorSpaceModel model = kCGColorSpaceModelRGB;
  size_t colorComponents = 3;  // without alpha; 1 for indexed
  CGImageAlphaInfo alpha = kCGImageAlphaNone;
  CGBitmapInfo byteOrder = kCGBitmapByteOrderDefault;
  const uint8_t* palette = nullptr;  // indexed: base-space entries
  size_t paletteEntries = 0;
  CGColorSpaceModel paletteModel = kCGColorSpaceModelRGB;

  size_t bytesPerPixel() const { return bitsPerPixel / 8; }
  bool hasAlphaChannel() const { return alpha != kCGImageAlphaNone; }
  bool opaque() const {
    return alpha == kCGImageAlphaNone || alpha == kCGImageAlphaNoneSkipFirst || alpha == kCGImageAlphaNoneSkipLast;
  }
  bool alphaFirst() const {
    return alpha == kCGImageAlphaFirst || alpha == kCGImageAlphaPremultipliedFirst || alpha == kCGImageAlphaNoneSkipFirst;
  }
  bool premultiplied() const {
    return alpha == kCGImageAlphaPremultipliedFirst || alpha == kCGImageAlphaPremultipliedLast;
  }
};

// The layout of an image, or nothing when it cannot be read.
std::optional<PixelLayout> readableLayout(size_t bitsPerComponent, size_t bitsPerPixel, const CGColorSpaceRef& space,
                                          CGBitmapInfo info);
// The layout of a bitmap context, or nothing for the combinations the platform refuses.
// Allowed: gray 8 or 16 bits without alpha; RGB 8 bits in 32-bit pixels with premultiplied or
// skipped alpha first or last; RGB 16 bits in 64-bit pixels, premultiplied or skipped alpha
// last; CMYK 8 bits without alpha.
std::optional<PixelLayout> contextLayout(size_t bitsPerComponent, size_t bitsPerPixel, const CGColorSpaceRef& space,
                                         CGBitmapInfo info);
// Bits per pixel that a context of these parameters uses (0 when unknown).
size_t contextBitsPerPixel(size_t bitsPerComponent, const CGColorSpaceRef& space, CGBitmapInfo info);

// `count` pixels starting at `src` into premultiplied RGBA (4 bytes a pixel).
void readPixels(const PixelLayout& layout, const uint8_t* src, size_t count, uint8_t* rgba);
// `count` premultiplied RGBA pixels into the layout.
void writePixels(const PixelLayout& layout, const uint8_t* rgba, size_t count, uint8_t* dst);
// Source-over: src onto dst, both premultiplied RGBA.
void blendOver(const uint8_t* src, uint8_t* dst, size_t count);

}  // namespace zvt::graphics
