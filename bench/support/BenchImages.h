#pragma once
// The photo-like 1920 x 1080 test image of the image benchmarks, as PNG and JPEG bytes, and the
// direct libpng / libjpeg-turbo decoders our decoding is measured against (8-bit RGB rows); and
// two GIFs of the kinds screens show (a 640 x 360 picture, a 240 x 240 animation of 12 frames)
// with the direct giflib decoder (8-bit RGBA canvases, one per frame).
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/graphics/UIImage.h"

namespace zvt::bench {

constexpr size_t kWidth = 1920, kHeight = 1080;

CGImageRef sourceImage();
const std::shared_ptr<NSData>& pngData();
const std::shared_ptr<NSData>& jpegData();

// Decode into `out` (kWidth * kHeight * 3 bytes); false when the bytes do not decode.
bool pngDirect(const uint8_t* bytes, size_t length, uint8_t* out);
bool jpegDirect(const uint8_t* bytes, size_t length, uint8_t* out);

struct GIFShape {
  size_t width, height, frames;
};
constexpr GIFShape kGIFPicture{640, 360, 1}, kGIFAnimation{240, 240, 12};
const std::shared_ptr<NSData>& gifData(const GIFShape& shape);
// Every frame drawn over the ones before into `out` (width * height * 4 bytes per frame).
bool gifDirect(const uint8_t* bytes, size_t length, uint8_t* out);

}  // namespace zvt::bench
