// JPEG decoding: colour, gray, progressive and CMYK files against libjpeg-turbo's own decode,
// Adobe's inverted CMYK, EXIF orientation, and damaged, cut-short or lying files.

#include <gtest/gtest.h>

#include "platform/foundation/NSNumber.h"
#include "platform/graphics/CGImageSource.h"
#include "platform/graphics/UIImage.h"
#include "tests/platform/graphics/GraphicsTestSupport.h"

using namespace zvt::test;

namespace {

// Smooth colour ramps (JPEG's home ground) with some noise.
JPEGRecipe rampRecipe(uint32_t w, uint32_t h, int components) {
  JPEGRecipe recipe;
  recipe.width = w;
  recipe.height = h;
  recipe.components = components;
  auto noise = pattern(w * h * components, w + h);
  recipe.pixels.resize(w * h * components);
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      for (int c = 0; c < components; ++c) {
        size_t i = (y * w + x) * components + c;
        recipe.pixels[i] = static_cast<uint8_t>((x * 255 / w + y * 128 / h + c * 60 + (noise[i] & 15)) & 0xFF);
      }
    }
  }
  return recipe;
}

void setSOFSize(std::vector<uint8_t>& jpeg, uint16_t w, uint16_t h) {
  for (size_t i = 2; i + 9 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
      jpeg[i + 5] = static_cast<uint8_t>(h >> 8);
      jpeg[i + 6] = static_cast<uint8_t>(h);
      jpeg[i + 7] = static_cast<uint8_t>(w >> 8);
      jpeg[i + 8] = static_cast<uint8_t>(w);
      return;
    }
  }
  FAIL() << "no frame header";
}

}  // namespace

TEST(JPEGDecoding, ColourGrayAndProgressiveFilesMatchTheLibrarysOwnDecode) {
  for (bool progressive : {false, true}) {
    for (int components : {3, 1}) {
      auto recipe = rampRecipe(61, 47, components);
      recipe.progressive = progressive;
      auto bytes = makeJPEG(recipe);
      auto reference = decodeJPEGReference(bytes);
      auto image = UIImage::imageWithData(dataOf(bytes));
      ASSERT_TRUE(image) << components << " progressive " << progressive;
      auto bitmap = image->CGImage();
      EXPECT_EQ(bitmap->width(), 61u);
      EXPECT_EQ(bitmap->height(), 47u);
      EXPECT_EQ(bitmap->bitsPerComponent(), 8u);
      EXPECT_EQ(bitmap->bitsPerPixel(), 8u * components);
      EXPECT_EQ(bitmap->alphaInfo(), kCGImageAlphaNone);
      EXPECT_EQ(CGColorSpaceGetModel(bitmap->colorSpace()),
                components == 1 ? kCGColorSpaceModelMonochrome : kCGColorSpaceModelRGB);
      EXPECT_EQ(packedPixels(bitmap), reference.pixels);
      auto props = CGImageSourceCopyPropertiesAtIndex(CGImageSourceCreateWithData(dataOf(bytes), nullptr), 0, nullptr);
      auto jfif = zvt::as<NSDictionary>(props->objectForKey(kCGImagePropertyJFIFDictionary));
      EXPECT_EQ(zvt::as<NSNumber>(jfif->objectForKey(kCGImagePropertyJFIFIsProgressive))->boolValue(), progressive);
      EXPECT_EQ(zvt::as<NSString>(props->objectForKey(kCGImagePropertyColorModel))->utf8(),
                components == 1 ? "Gray" : "RGB");
    }
  }
}

TEST(JPEGDecoding, AdobeInvertedCMYKIsTurnedBackAndConvertsWhenDrawn) {
  // Flat 8x8 blocks at the highest quality survive the round trip exactly.
  JPEGRecipe recipe;
  recipe.width = 16;
  recipe.height = 8;
  recipe.components = 4;
  recipe.quality = 100;
  recipe.adobeInverted = true;
  const uint8_t left[4] = {0, 255, 255, 0}, right[4] = {10, 20, 30, 100};
  for (uint32_t y = 0; y < 8; ++y) {
    for (uint32_t x = 0; x < 16; ++x) {
      const uint8_t* c = x < 8 ? left : right;
      recipe.pixels.insert(recipe.pixels.end(), c, c + 4);
    }
  }
  auto bytes = makeJPEG(recipe);
  auto reference = decodeJPEGReference(bytes);  // as stored: inverted
  auto image = UIImage::imageWithData(dataOf(bytes));
  ASSERT_TRUE(image);
  auto bitmap = image->CGImage();
  EXPECT_EQ(CGColorSpaceGetModel(bitmap->colorSpace()), kCGColorSpaceModelCMYK);
  EXPECT_EQ(bitmap->bitsPerPixel(), 32u);
  auto pixels = packedPixels(bitmap);
  ASSERT_EQ(pixels.size(), reference.pixels.size());
  for (size_t i = 0; i < pixels.size(); ++i) ASSERT_EQ(pixels[i], 255 - reference.pixels[i]) << i;
  EXPECT_EQ(std::vector<uint8_t>(pixels.begin(), pixels.begin() + 4), std::vector<uint8_t>(left, left + 4));

  // Drawn into RGB: r = (255 - c)(255 - k) / 255 and so on.
  auto rgba = renderedRGBA(bitmap);
  EXPECT_EQ(std::vector<uint8_t>(rgba.begin(), rgba.begin() + 4), (std::vector<uint8_t>{255, 0, 0, 255}));
  const uint8_t* p = rgba.data() + 8 * 4;
  auto expect = [](unsigned c, unsigned k) { return (255 - c) * (255 - k) / 255.0; };
  EXPECT_NEAR(p[0], expect(10, 100), 0.51);
  EXPECT_NEAR(p[1], expect(20, 100), 0.51);
  EXPECT_NEAR(p[2], expect(30, 100), 0.51);

  // Without the Adobe segment the samples are taken as they are.
  recipe.adobeInverted = false;
  bytes = makeJPEG(recipe);
  image = UIImage::imageWithData(dataOf(bytes));
  ASSERT_TRUE(image);
  EXPECT_EQ(packedPixels(image->CGImage()), decodeJPEGReference(bytes).pixels);
}

TEST(JPEGDecoding, ExifOrientationTurnsTheImageWithoutTouchingTheBitmap) {
  auto recipe = rampRecipe(40, 20, 3);
  auto plain = UIImage::imageWithData(dataOf(makeJPEG(recipe)));
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->imageOrientation(), UIImageOrientationUp);
  const UIImageOrientation expected[9] = {UIImageOrientationUp,           UIImageOrientationUp,
                                          UIImageOrientationUpMirrored,   UIImageOrientationDown,
                                          UIImageOrientationDownMirrored, UIImageOrientationLeftMirrored,
                                          UIImageOrientationRight,        UIImageOrientationRightMirrored,
                                          UIImageOrientationLeft};
  for (int exif = 1; exif <= 9; ++exif) {
    recipe.exifOrientation = exif;
    auto bytes = makeJPEG(recipe);
    auto image = UIImage::imageWithData(dataOf(bytes), 2.0);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->imageOrientation(), exif <= 8 ? expected[exif] : UIImageOrientationUp) << exif;
    EXPECT_EQ(packedPixels(image->CGImage()), packedPixels(plain->CGImage()));
    bool quarter = exif >= 5 && exif <= 8;
    EXPECT_EQ(image->size(), quarter ? CGSizeMake(10, 20) : CGSizeMake(20, 10)) << exif;
    auto props = CGImageSourceCopyPropertiesAtIndex(CGImageSourceCreateWithData(dataOf(bytes), nullptr), 0, nullptr);
    EXPECT_EQ(zvt::as<NSNumber>(props->objectForKey(kCGImagePropertyOrientation))->intValue(), exif);
  }
}

TEST(JPEGDecoding, CutShortDataGivesNilButTheSourceKeepsTheRowsThatArrived) {
  auto recipe = rampRecipe(64, 64, 3);
  recipe.quality = 95;
  auto bytes = makeJPEG(recipe);
  auto reference = decodeJPEGReference(bytes);
  for (size_t cut = 0; cut + 2 < bytes.size(); cut += 37) {
    std::vector<uint8_t> part(bytes.begin(), bytes.begin() + static_cast<long>(cut));
    EXPECT_FALSE(UIImage::imageWithData(dataOf(part))) << "cut at " << cut;
  }
  std::vector<uint8_t> half(bytes.begin(), bytes.begin() + static_cast<long>(bytes.size() * 2 / 3));
  auto source = CGImageSourceCreateWithData(dataOf(half), nullptr);
  EXPECT_EQ(CGImageSourceGetCount(source), 1u);
  EXPECT_EQ(CGImageSourceGetStatusAtIndex(source, 0), kCGImageStatusIncomplete);
  auto partial = CGImageSourceCreateImageAtIndex(source, 0, nullptr);
  ASSERT_TRUE(partial);
  EXPECT_GT(partial->height(), 0u);
  EXPECT_LT(partial->height(), 64u);
  auto rows = packedPixels(partial);
  EXPECT_TRUE(std::equal(rows.begin(), rows.end(), reference.pixels.begin()));
  // The lazily decoded image of cut-short data has a header but no pixels.
  auto lazy = CGImageCreateWithJPEGDataProvider(CGDataProviderCreateWithCFData(dataOf(half)), nullptr, true,
                                                kCGRenderingIntentDefault);
  ASSERT_TRUE(lazy);
  EXPECT_FALSE(lazy->pixelData());
}

TEST(JPEGDecoding, DamagedEntropyDataAndLyingHeadersGiveNil) {
  auto recipe = rampRecipe(64, 64, 3);
  auto bytes = makeJPEG(recipe);
  // Garbage over the middle of the scan data.
  auto damaged = bytes;
  auto noise = pattern(200, 7);
  std::copy(noise.begin(), noise.end(), damaged.begin() + static_cast<long>(damaged.size() / 2));
  EXPECT_FALSE(UIImage::imageWithData(dataOf(damaged)));

  // A header claiming 60000 x 60000 (over the limits) and one claiming 8000 x 8000 (within
  // them, but the data holds 64 x 64): both refused, neither allocates the declared size.
  for (auto [w, h] : {std::pair<uint16_t, uint16_t>{60000, 60000}, {8000, 8000}, {0, 10}}) {
    auto lying = bytes;
    setSOFSize(lying, w, h);
    EXPECT_FALSE(UIImage::imageWithData(dataOf(lying))) << w << "x" << h;
  }
  auto huge = bytes;
  setSOFSize(huge, 60000, 60000);
  EXPECT_EQ(CGImageSourceGetCount(CGImageSourceCreateWithData(dataOf(huge), nullptr)), 0u);
  EXPECT_FALSE(CGImageCreateWithJPEGDataProvider(CGDataProviderCreateWithCFData(dataOf(huge)), nullptr, true,
                                                 kCGRenderingIntentDefault));
}
