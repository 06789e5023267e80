// Decoding straight into the drawing layout (kCGImageSourceShouldCacheImmediately): every kind
// of PNG and JPEG comes out as host-order premultiplied ARGB that draws exactly like the
// samples as stored; CMYK stays as stored; cut-short data keeps its rows.

#include <gtest/gtest.h>

#include "platform/foundation/Foundation.h"
#include "platform/graphics/CGImageSource.h"
#include "tests/platform/graphics/GraphicsTestSupport.h"

namespace {

using namespace zvt::test;

CGImageRef decoded(const std::vector<uint8_t>& bytes, bool immediately) {
  auto options = NSDictionary::make({{kCGImageSourceShouldCacheImmediately, NSNumber::numberWithBool(immediately)}});
  return CGImageSourceCreateImageAtIndex(CGImageSourceCreateWithData(dataOf(bytes), nullptr), 0, options);
}

PNGRecipe png(uint32_t w, uint32_t h, int colorType, int bitDepth, bool interlaced = false) {
  PNGRecipe r;
  r.width = w;
  r.height = h;
  r.colorType = colorType;
  r.bitDepth = bitDepth;
  r.interlaced = interlaced;
  const int channels = colorType == 0 ? 1 : colorType == 2 ? 3 : colorType == 3 ? 1 : colorType == 4 ? 2 : 4;
  const size_t rowBytes = (static_cast<size_t>(w) * channels * bitDepth + 7) / 8;
  r.rows = pattern(rowBytes * h, w * 31 + h + colorType);
  if (colorType == 3) {
    for (auto& b : r.rows) b %= 4;
    r.palette = {255, 0, 0, 0, 255, 0, 0, 0, 255, 40, 50, 60};
    r.paletteAlpha = {255, 128, 0};
  }
  return r;
}

TEST(DrawingLayoutDecoding, DrawsLikeTheStoredSamples) {
  JPEGRecipe rgb;
  rgb.width = 17;
  rgb.height = 9;
  rgb.pixels = pattern(17 * 9 * 3, 5);
  JPEGRecipe gray = rgb;
  gray.components = 1;
  gray.pixels = pattern(17 * 9, 6);
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    bool hasAlpha;
  } cases[] = {
      {"png rgb", makePNG(png(13, 7, 2, 8)), false},
      {"png rgba", makePNG(png(13, 7, 6, 8)), true},
      {"png gray", makePNG(png(13, 7, 0, 8)), false},
      {"png gray+alpha", makePNG(png(13, 7, 4, 8)), true},
      {"png 16-bit rgba", makePNG(png(5, 4, 6, 16)), true},
      {"png palette with transparency", makePNG(png(13, 7, 3, 8)), true},
      {"png interlaced", makePNG(png(13, 7, 6, 8, true)), true},
      {"jpeg rgb", makeJPEG(rgb), false},
      {"jpeg gray", makeJPEG(gray), false},
  };
  for (const auto& c : cases) {
    auto stored = decoded(c.bytes, false);
    auto drawing = decoded(c.bytes, true);
    ASSERT_TRUE(stored && drawing) << c.name;
    EXPECT_EQ(drawing->bitmapInfo(), kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Host) << c.name;
    EXPECT_EQ(drawing->bitsPerPixel(), 32u) << c.name;
    EXPECT_EQ(drawing->width(), stored->width()) << c.name;
    auto a = renderedRGBA(stored), b = renderedRGBA(drawing);
    ASSERT_EQ(a.size(), b.size()) << c.name;
    int worst = 0;
    bool opaque = true;
    for (size_t i = 0; i < a.size(); ++i) {
      worst = std::max(worst, std::abs(a[i] - b[i]));
      if (i % 4 == 3) opaque = opaque && b[i] == 255;
    }
    EXPECT_LE(worst, 1) << c.name;  // 16-bit samples round once instead of twice
    EXPECT_EQ(opaque, !c.hasAlpha) << c.name;
  }
}

TEST(DrawingLayoutDecoding, KeepsCMYKAndTheRowsOfCutShortData) {
  JPEGRecipe cmyk;
  cmyk.width = cmyk.height = 8;
  cmyk.components = 4;
  cmyk.pixels = pattern(8 * 8 * 4, 9);
  auto image = decoded(makeJPEG(cmyk), true);
  ASSERT_TRUE(image);
  EXPECT_EQ(CGColorSpaceGetModel(image->colorSpace()), kCGColorSpaceModelCMYK);

  // Cut-short data, also of images whose rows widen (a palette, a filler): the rows that arrived.
  for (int colorType : {2, 3, 6}) {
    auto whole = makePNG(png(40, 40, colorType, 8));
    auto cut = std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<long>(whole.size() * 2 / 3));
    for (bool immediately : {false, true}) {
      auto partial = decoded(cut, immediately);
      ASSERT_TRUE(partial) << colorType << immediately;
      EXPECT_GT(partial->height(), 0u) << colorType << immediately;
      EXPECT_LT(partial->height(), 40u) << colorType << immediately;
    }
    EXPECT_FALSE(CGImageSourceCreateWithData(dataOf(cut), nullptr)->completeImageAtIndex(0, true));
  }
}

}  // namespace
