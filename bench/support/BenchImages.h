#pragma once
// The photo-like 1920 x 1080 test image of the image benchmarks, as PNG and JPEG bytes, and the
// direct libpng / libjpeg-turbo decoders our decoding is measured against (8-bit RGB rows).
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

}  // namespace zvt::bench
