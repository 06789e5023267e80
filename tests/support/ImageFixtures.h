#pragma once
// Image files made at run time for tests, written with libpng, libjpeg-turbo and giflib
// directly (never with the project's own encoders), and a reference JPEG decode through
// libjpeg-turbo with its default settings. Pixels are given and returned as plain bytes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zvt::test {

struct PNGRecipe {
  uint32_t width = 0;
  uint32_t height = 0;
  int bitDepth = 8;  // 1, 2, 4, 8 or 16
  // libpng colour type: 0 gray, 2 RGB, 3 palette, 4 gray+alpha, 6 RGBA.
  int colorType = 2;
  bool interlaced = false;
  // Samples as stored: for 16-bit depths two bytes each, big-endian; rows packed, sub-byte
  // depths packed most significant bit first.
  std::vector<uint8_t> rows;
  std::vector<uint8_t> palette;  // RGB triples
  std::vector<uint8_t> paletteAlpha;  // tRNS for palettes
  int transparentGray = -1;           // tRNS for gray images
  int transparentRGB[3] = {-1, -1, -1};  // tRNS for RGB images
};
std::vector<uint8_t> makePNG(const PNGRecipe& recipe);

struct JPEGRecipe {
  uint32_t width = 0;
  uint32_t height = 0;
  int components = 3;  // 1 gray, 3 RGB, 4 CMYK
  std::vector<uint8_t> pixels;  // interleaved, rows packed
  int quality = 90;
  bool progressive = false;
  // CMYK only: store the samples inverted with an Adobe segment, as Adobe's applications do.
  bool adobeInverted = false;
  int exifOrientation = 0;  // 0: no EXIF segment
};
std::vector<uint8_t> makeJPEG(const JPEGRecipe& recipe);

struct JPEGPixels {
  uint32_t width = 0;
  uint32_t height = 0;
  int components = 0;
  std::vector<uint8_t> pixels;
};
// libjpeg-turbo's own decode: RGB for colour images, gray for gray ones, CMYK as stored.
JPEGPixels decodeJPEGReference(const std::vector<uint8_t>& bytes);

struct GIFFrameRecipe {
  int left = 0, top = 0, width = 0, height = 0;
  std::vector<uint8_t> indexes;   // width x height colour indexes
  std::vector<uint8_t> palette;   // local colour table (RGB triples), empty for the global one
  bool control = true;            // write a graphic control extension
  int delay = 0;                  // hundredths of a second
  int disposal = 0;
  int transparentIndex = -1;
  bool interlaced = false;
};
struct GIFRecipe {
  int width = 0, height = 0;
  std::vector<uint8_t> palette;  // global colour table (RGB triples; padded to a power of two)
  int loopCount = -1;            // -1: no looping extension
  std::vector<GIFFrameRecipe> frames;
};
std::vector<uint8_t> makeGIF(const GIFRecipe& recipe);

}  // namespace zvt::test
