// PNG decoding: every colour type and depth against the samples written, transparency,
// interlacing, header facts, lazily decoded images, and damaged or lying files.

#include <gtest/gtest.h>
#include <zlib.h>

#include "platform/foundation/NSNumber.h"
#include "platform/graphics/CGImageSource.h"
#include "platform/graphics/UIImage.h"
#include "tests/platform/graphics/GraphicsTestSupport.h"

using namespace zvt::test;

namespace {

PNGRecipe rgbRecipe(uint32_t w, uint32_t h, uint32_t seed) {
  PNGRecipe recipe;
  recipe.width = w;
  recipe.height = h;
  recipe.colorType = 2;
  recipe.rows = pattern(w * h * 3, seed);
  return recipe;
}

CGImageRef decodeWhole(const std::vector<uint8_t>& bytes) {
  auto image = UIImage::imageWithData(dataOf(bytes));
  return image ? image->CGImage() : nullptr;
}

// Sets a chunk's CRC after its contents were changed (chunk starts at its length field).
void fixCRC(std::vector<uint8_t>& png, size_t chunkStart) {
  uint32_t length = (png[chunkStart] << 24) | (png[chunkStart + 1] << 16) | (png[chunkStart + 2] << 8) | png[chunkStart + 3];
  uLong crc = crc32(0, png.data() + chunkStart + 4, length + 4);
  size_t at = chunkStart + 8 + length;
  png[at] = static_cast<uint8_t>(crc >> 24);
  png[at + 1] = static_cast<uint8_t>(crc >> 16);
  png[at + 2] = static_cast<uint8_t>(crc >> 8);
  png[at + 3] = static_cast<uint8_t>(crc);
}

void setIHDRSize(std::vector<uint8_t>& png, uint32_t w, uint32_t h) {
  for (int i = 0; i < 4; ++i) {
    png[16 + i] = static_cast<uint8_t>(w >> (24 - 8 * i));
    png[20 + i] = static_cast<uint8_t>(h >> (24 - 8 * i));
  }
  fixCRC(png, 8);
}

}  // namespace

TEST(PNGDecoding, ColourTypesKeepTheirSamplesExactly) {
  {  // RGB 8: three bytes a pixel, no alpha
    auto recipe = rgbRecipe(13, 7, 1);
    auto image = decodeWhole(makePNG(recipe));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width(), 13u);
    EXPECT_EQ(image->height(), 7u);
    EXPECT_EQ(image->bitsPerComponent(), 8u);
    EXPECT_EQ(image->bitsPerPixel(), 24u);
    EXPECT_EQ(image->alphaInfo(), kCGImageAlphaNone);
    EXPECT_EQ(CGColorSpaceGetModel(image->colorSpace()), kCGColorSpaceModelRGB);
    EXPECT_EQ(packedPixels(image), recipe.rows);
  }
  {  // RGBA 8: straight alpha, reported as "last"
    PNGRecipe recipe;
    recipe.width = 9;
    recipe.height = 4;
    recipe.colorType = 6;
    recipe.rows = pattern(9 * 4 * 4, 2);
    auto image = decodeWhole(makePNG(recipe));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->bitsPerPixel(), 32u);
    EXPECT_EQ(image->alphaInfo(), kCGImageAlphaLast);
    EXPECT_EQ(packedPixels(image), recipe.rows);
  }
  {  // gray 8 and gray + alpha
    PNGRecipe gray;
    gray.width = 5;
    gray.height = 5;
    gray.colorType = 0;
    gray.rows = pattern(25, 3);
    auto image = decodeWhole(makePNG(gray));
    ASSERT_TRUE(image);
    EXPECT_EQ(CGColorSpaceGetModel(image->colorSpace()), kCGColorSpaceModelMonochrome);
    EXPECT_EQ(image->bitsPerPixel(), 8u);
    EXPECT_EQ(packedPixels(image), gray.rows);

    PNGRecipe grayAlpha = gray;
    grayAlpha.colorType = 4;
    grayAlpha.rows = pattern(50, 4);
    image = decodeWhole(makePNG(grayAlpha));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->bitsPerPixel(), 16u);
    EXPECT_EQ(image->alphaInfo(), kCGImageAlphaLast);
    EXPECT_EQ(packedPixels(image), grayAlpha.rows);
  }
  {  // 16-bit RGBA stays 16-bit, big-endian as stored
    PNGRecipe recipe;
    recipe.width = 3;
    recipe.height = 2;
    recipe.bitDepth = 16;
    recipe.colorType = 6;
    recipe.rows = pattern(3 * 2 * 8, 5);
    auto image = decodeWhole(makePNG(recipe));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->bitsPerComponent(), 16u);
    EXPECT_EQ(image->bitsPerPixel(), 64u);
    EXPECT_EQ(image->bitmapInfo() & kCGBitmapByteOrderMask, kCGBitmapByteOrderDefault);
    EXPECT_EQ(packedPixels(image), recipe.rows);
    // Drawn, each sample keeps its high byte (rounded) and the straight alpha is applied.
    auto rgba = renderedRGBA(image);
    const uint8_t* s = recipe.rows.data();
    unsigned a = (((s[6] << 8) | s[7]) * 255u + 32767u) / 65535u;
    unsigned r = (((s[0] << 8) | s[1]) * 255u + 32767u) / 65535u;
    EXPECT_EQ(rgba[3], a);
    EXPECT_EQ(rgba[0], (r * a + 127) / 255);
  }
}

TEST(PNGDecoding, LowBitDepthsAndPalettesExpandToEightBits) {
  // 1-bit gray: 8 pixels in one byte, 0 -> 0, 1 -> 255.
  PNGRecipe one;
  one.width = 8;
  one.height = 2;
  one.bitDepth = 1;
  one.colorType = 0;
  one.rows = {0b10110001, 0b01001110};
  auto image = decodeWhole(makePNG(one));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->bitsPerPixel(), 8u);
  std::vector<uint8_t> expected = {255, 0, 255, 255, 0, 0, 0, 255, 0, 255, 0, 0, 255, 255, 255, 0};
  EXPECT_EQ(packedPixels(image), expected);

  // 2-bit gray scales 0..3 to 0, 85, 170, 255.
  PNGRecipe two = one;
  two.width = 4;
  two.height = 1;
  two.bitDepth = 2;
  two.rows = {0b00011011};
  image = decodeWhole(makePNG(two));
  ASSERT_TRUE(image);
  EXPECT_EQ(packedPixels(image), (std::vector<uint8_t>{0, 85, 170, 255}));

  // 4-bit palette with tRNS: RGBA with the palette's alpha.
  PNGRecipe palette;
  palette.width = 4;
  palette.height = 1;
  palette.bitDepth = 4;
  palette.colorType = 3;
  palette.palette = {10, 20, 30, 40, 50, 60, 70, 80, 90};
  palette.paletteAlpha = {255, 0};
  palette.rows = {0x01, 0x21};
  image = decodeWhole(makePNG(palette));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->alphaInfo(), kCGImageAlphaLast);
  EXPECT_EQ(packedPixels(image), (std::vector<uint8_t>{10, 20, 30, 255, 40, 50, 60, 0, 70, 80, 90, 255, 40, 50, 60, 0}));

  // Palette without tRNS: plain RGB.
  palette.paletteAlpha.clear();
  image = decodeWhole(makePNG(palette));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->alphaInfo(), kCGImageAlphaNone);
  EXPECT_EQ(packedPixels(image), (std::vector<uint8_t>{10, 20, 30, 40, 50, 60, 70, 80, 90, 40, 50, 60}));
}

TEST(PNGDecoding, TransparentColourKeysBecomeAlpha) {
  PNGRecipe gray;
  gray.width = 3;
  gray.height = 1;
  gray.colorType = 0;
  gray.rows = {7, 8, 7};
  gray.transparentGray = 7;
  auto image = decodeWhole(makePNG(gray));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->alphaInfo(), kCGImageAlphaLast);
  EXPECT_EQ(packedPixels(image), (std::vector<uint8_t>{7, 0, 8, 255, 7, 0}));

  PNGRecipe rgb;
  rgb.width = 2;
  rgb.height = 1;
  rgb.colorType = 2;
  rgb.rows = {1, 2, 3, 4, 5, 6};
  rgb.transparentRGB[0] = 4;
  rgb.transparentRGB[1] = 5;
  rgb.transparentRGB[2] = 6;
  image = decodeWhole(makePNG(rgb));
  ASSERT_TRUE(image);
  EXPECT_EQ(packedPixels(image), (std::vector<uint8_t>{1, 2, 3, 255, 4, 5, 6, 0}));
}

TEST(PNGDecoding, InterlacedImagesMatchTheirProgressiveTwin) {
  auto recipe = rgbRecipe(37, 29, 9);
  auto plain = decodeWhole(makePNG(recipe));
  recipe.interlaced = true;
  auto bytes = makePNG(recipe);
  auto interlaced = decodeWhole(bytes);
  ASSERT_TRUE(plain);
  ASSERT_TRUE(interlaced);
  EXPECT_EQ(packedPixels(interlaced), recipe.rows);
  auto props = CGImageSourceCopyPropertiesAtIndex(CGImageSourceCreateWithData(dataOf(bytes), nullptr), 0, nullptr);
  auto png = zvt::as<NSDictionary>(props->objectForKey(kCGImagePropertyPNGDictionary));
  ASSERT_TRUE(png);
  EXPECT_EQ(zvt::as<NSNumber>(png->objectForKey(kCGImagePropertyPNGInterlaceType))->intValue(), 1);
  // A cut-short interlaced file has no partial image: its rows come in several passes.
  bytes.resize(bytes.size() * 2 / 3);
  EXPECT_FALSE(CGImageSourceCreateImageAtIndex(CGImageSourceCreateWithData(dataOf(bytes), nullptr), 0, nullptr));
}

TEST(PNGDecoding, SourceAnswersHeaderFactsAndLazyImagesDecodeOnFirstUse) {
  PNGRecipe recipe;
  recipe.width = 20;
  recipe.height = 10;
  recipe.colorType = 6;
  recipe.rows = pattern(20 * 10 * 4, 11);
  auto bytes = makePNG(recipe);
  auto source = CGImageSourceCreateWithData(dataOf(bytes), nullptr);
  EXPECT_EQ(CGImageSourceGetType(source)->utf8(), "public.png");
  EXPECT_EQ(CGImageSourceGetCount(source), 1u);
  EXPECT_EQ(CGImageSourceGetStatus(source), kCGImageStatusComplete);
  EXPECT_EQ(CGImageSourceGetStatusAtIndex(source, 0), kCGImageStatusComplete);
  auto props = CGImageSourceCopyPropertiesAtIndex(source, 0, nullptr);
  ASSERT_TRUE(props);
  EXPECT_EQ(zvt::as<NSNumber>(props->objectForKey(kCGImagePropertyPixelWidth))->intValue(), 20);
  EXPECT_EQ(zvt::as<NSNumber>(props->objectForKey(kCGImagePropertyPixelHeight))->intValue(), 10);
  EXPECT_TRUE(zvt::as<NSNumber>(props->objectForKey(kCGImagePropertyHasAlpha))->boolValue());
  EXPECT_FALSE(props->objectForKey(kCGImagePropertyOrientation));
  EXPECT_FALSE(CGImageSourceCopyPropertiesAtIndex(source, 1, nullptr));
  EXPECT_FALSE(CGImageSourceCreateImageAtIndex(source, 1, nullptr));

  auto lazy = CGImageCreateWithPNGDataProvider(CGDataProviderCreateWithCFData(dataOf(bytes)), nullptr, true,
                                               kCGRenderingIntentDefault);
  ASSERT_TRUE(lazy);
  EXPECT_EQ(lazy->width(), 20u);
  EXPECT_EQ(lazy->alphaInfo(), kCGImageAlphaLast);
  EXPECT_EQ(packedPixels(lazy), recipe.rows);
  EXPECT_EQ(CGDataProviderCopyData(CGImageGetDataProvider(lazy))->length(), recipe.rows.size());

  // The JPEG reader refuses PNG bytes, and the PNG reader JPEG bytes.
  EXPECT_FALSE(CGImageCreateWithJPEGDataProvider(CGDataProviderCreateWithCFData(dataOf(bytes)), nullptr, true,
                                                 kCGRenderingIntentDefault));
}

TEST(PNGDecoding, DamagedDataGivesNilAndLazyImagesWithoutPixelsDrawNothing) {
  auto recipe = rgbRecipe(16, 16, 21);
  auto bytes = makePNG(recipe);
  // Damaged pixel data (a byte of the compressed stream) fails its CRC.
  auto damaged = bytes;
  damaged[damaged.size() - 20] ^= 0x55;
  EXPECT_FALSE(UIImage::imageWithData(dataOf(damaged)));
  // The header still reads, so the lazy image exists, but it has no pixels to give.
  auto lazy = CGImageCreateWithPNGDataProvider(CGDataProviderCreateWithCFData(dataOf(damaged)), nullptr, true,
                                               kCGRenderingIntentDefault);
  ASSERT_TRUE(lazy);
  EXPECT_FALSE(lazy->pixelData());
  EXPECT_FALSE(CGImageGetDataProvider(lazy));
  auto context = CGBitmapContextCreate(nullptr, 16, 16, 8, 0, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedLast);
  CGContextDrawImage(context, CGRectMake(0, 0, 16, 16), lazy);
  auto* p = static_cast<const uint8_t*>(CGBitmapContextGetData(context));
  EXPECT_EQ(std::count(p, p + 16 * 16 * 4, 0), 16 * 16 * 4);

  // A broken signature is no PNG at all.
  auto unsigned_ = bytes;
  unsigned_[1] = 'Q';
  auto source = CGImageSourceCreateWithData(dataOf(unsigned_), nullptr);
  EXPECT_FALSE(CGImageSourceGetType(source));
  EXPECT_EQ(CGImageSourceGetCount(source), 0u);
  EXPECT_EQ(CGImageSourceGetStatus(source), kCGImageStatusUnknownType);
  EXPECT_FALSE(UIImage::imageWithData(dataOf(unsigned_)));
}

TEST(PNGDecoding, TruncatedDataGivesNilButTheSourceKeepsTheRowsThatArrived) {
  auto recipe = rgbRecipe(64, 64, 31);
  auto bytes = makePNG(recipe);
  // Every cut leaves no whole image.
  for (size_t cut = 0; cut < bytes.size() - 12; cut += 7) {
    std::vector<uint8_t> part(bytes.begin(), bytes.begin() + static_cast<long>(cut));
    EXPECT_FALSE(UIImage::imageWithData(dataOf(part))) << "cut at " << cut;
  }
  // Half the file: the first rows are there, exactly.
  std::vector<uint8_t> half(bytes.begin(), bytes.begin() + static_cast<long>(bytes.size() / 2));
  auto source = CGImageSourceCreateWithData(dataOf(half), nullptr);
  EXPECT_EQ(CGImageSourceGetCount(source), 1u);
  EXPECT_EQ(CGImageSourceGetStatusAtIndex(source, 0), kCGImageStatusIncomplete);
  auto partial = CGImageSourceCreateImageAtIndex(source, 0, nullptr);
  ASSERT_TRUE(partial);
  EXPECT_EQ(partial->width(), 64u);
  EXPECT_GT(partial->height(), 0u);
  EXPECT_LT(partial->height(), 64u);
  auto rows = packedPixels(partial);
  EXPECT_TRUE(std::equal(rows.begin(), rows.end(), recipe.rows.begin()));
}

TEST(PNGDecoding, AbsurdDeclaredSizesAreRefusedBeforeAllocating) {
  auto bytes = makePNG(rgbRecipe(4, 4, 41));
  // 100000 x 100000 is over the side limit; 30000 x 30000 is within it but over the pixel limit.
  for (auto [w, h] : {std::pair<uint32_t, uint32_t>{100000, 100000}, {30000, 30000}, {1, 40000}}) {
    auto huge = bytes;
    setIHDRSize(huge, w, h);
    auto source = CGImageSourceCreateWithData(dataOf(huge), nullptr);
    EXPECT_EQ(CGImageSourceGetCount(source), 0u) << w << "x" << h;
    EXPECT_FALSE(CGImageSourceCreateImageAtIndex(source, 0, nullptr));
    EXPECT_FALSE(UIImage::imageWithData(dataOf(huge)));
  }
  // Within both limits but far more pixels than the few compressed bytes can hold: refused
  // without first allocating the declared size (this would be 256 MB).
  auto lying = bytes;
  setIHDRSize(lying, 8192, 8192);
  EXPECT_FALSE(UIImage::imageWithData(dataOf(lying)));
  EXPECT_TRUE(zvt::imageSizeAllowed(8192, 8192));
  EXPECT_FALSE(zvt::imageSizeAllowed(8193, 8192));
  EXPECT_FALSE(zvt::imageSizeAllowed(32769, 1));
}
