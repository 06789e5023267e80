// Bitmap contexts and images made from pixels: the layouts the platform accepts, drawing with
// premultiplication, compositing, the bottom-left origin, scaling, mirroring by the transform,
// clearing, snapshots, and conversion between colour models.

#include <gtest/gtest.h>

#include "platform/graphics/CGBitmapContext.h"
#include "platform/graphics/CGImage.h"
#include "tests/platform/graphics/GraphicsTestSupport.h"

using namespace zvt::test;

namespace {

CGImageRef imageOf(size_t w, size_t h, std::vector<uint8_t> rgba, CGBitmapInfo info = kCGImageAlphaLast) {
  auto provider = CGDataProviderCreateWithCFData(NSData::dataWithVector(std::move(rgba)));
  return CGImageCreate(w, h, 8, 32, w * 4, CGColorSpaceCreateDeviceRGB(), info, provider, nullptr, true,
                       kCGRenderingIntentDefault);
}

CGContextRef rgbaContext(size_t w, size_t h) {
  return CGBitmapContextCreate(nullptr, w, h, 8, w * 4, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedLast);
}

std::vector<uint8_t> contents(const CGContextRef& context) {
  auto* p = static_cast<const uint8_t*>(CGBitmapContextGetData(context));
  return std::vector<uint8_t>(p, p + CGBitmapContextGetBytesPerRow(context) * CGBitmapContextGetHeight(context));
}

uint8_t premultiply(unsigned c, unsigned a) { return static_cast<uint8_t>((c * a + 127) / 255); }

}  // namespace

TEST(BitmapContext, AcceptsOnlyThePlatformsLayouts) {
  auto rgb = CGColorSpaceCreateDeviceRGB(), gray = CGColorSpaceCreateDeviceGray(), cmyk = CGColorSpaceCreateDeviceCMYK();
  for (CGBitmapInfo alpha : {kCGImageAlphaPremultipliedFirst, kCGImageAlphaPremultipliedLast, kCGImageAlphaNoneSkipFirst,
                             kCGImageAlphaNoneSkipLast}) {
    for (CGBitmapInfo order : {kCGBitmapByteOrderDefault, kCGBitmapByteOrder32Little, kCGBitmapByteOrder32Big}) {
      EXPECT_TRUE(CGBitmapContextCreate(nullptr, 3, 3, 8, 0, rgb, alpha | order)) << alpha << " " << order;
    }
  }
  // RGB without an alpha byte, straight alpha and alpha-only are refused, as on the device.
  EXPECT_FALSE(CGBitmapContextCreate(nullptr, 3, 3, 8, 0, rgb, kCGImageAlphaNone));
  EXPECT_FALSE(CGBitmapContextCreate(nullptr, 3, 3, 8, 0, rgb, kCGImageAlphaLast));
  EXPECT_FALSE(CGBitmapContextCreate(nullptr, 3, 3, 8, 0, rgb, kCGImageAlphaFirst));
  EXPECT_FALSE(CGBitmapContextCreate(nullptr, 3, 3, 8, 0, rgb, kCGImageAlphaOnly));
  EXPECT_FALSE(CGBitmapContextCreate(nullptr, 3, 3, 8, 0, rgb, kCGImageAlphaPremultipliedFirst | kCGBitmapFloatComponents));
  EXPECT_FALSE(CGBitmapContextCreate(nullptr, 3, 3, 8, 0, rgb, kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder16Little));
  EXPECT_TRUE(CGBitmapContextCreate(nullptr, 3, 3, 16, 0, rgb, kCGImageAlphaPremultipliedLast));
  EXPECT_FALSE(CGBitmapContextCreate(nullptr, 3, 3, 16, 0, rgb, kCGImageAlphaPremultipliedFirst));
  EXPECT_TRUE(CGBitmapContextCreate(nullptr, 3, 3, 8, 0, gray, kCGImageAlphaNone));
  EXPECT_FALSE(CGBitmapContextCreate(nullptr, 3, 3, 8, 0, gray, kCGImageAlphaPremultipliedLast));
  EXPECT_TRUE(CGBitmapContextCreate(nullptr, 3, 3, 8, 0, cmyk, kCGImageAlphaNone));
  EXPECT_FALSE(CGBitmapContextCreate(nullptr, 3, 3, 8, 0, nullptr, kCGImageAlphaNone));
  EXPECT_FALSE(CGBitmapContextCreate(nullptr, 3, 3, 5, 0, rgb, kCGImageAlphaNoneSkipFirst));
  // Sizes: none, too large, rows too short.
  EXPECT_FALSE(CGBitmapContextCreate(nullptr, 0, 3, 8, 0, rgb, kCGImageAlphaPremultipliedFirst));
  EXPECT_FALSE(CGBitmapContextCreate(nullptr, 40000, 1, 8, 0, rgb, kCGImageAlphaPremultipliedFirst));
  EXPECT_FALSE(CGBitmapContextCreate(nullptr, 3, 3, 8, 11, rgb, kCGImageAlphaPremultipliedFirst));
  // Chosen rows are the pixel bytes rounded up to 32.
  auto context = CGBitmapContextCreate(nullptr, 3, 2, 8, 0, rgb, kCGImageAlphaPremultipliedFirst);
  EXPECT_EQ(CGBitmapContextGetBytesPerRow(context), 32u);
  EXPECT_EQ(CGBitmapContextGetBitsPerPixel(context), 32u);
  EXPECT_EQ(CGBitmapContextGetAlphaInfo(context), kCGImageAlphaPremultipliedFirst);
  // A fresh context is transparent.
  auto bytes = contents(context);
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 0), static_cast<long>(bytes.size()));
}

TEST(BitmapContext, DrawingPremultipliesInEachByteOrder) {
  auto image = imageOf(2, 1, {200, 100, 50, 128, 10, 20, 30, 255});
  const uint8_t r = premultiply(200, 128), g = premultiply(100, 128), b = premultiply(50, 128);
  struct Case {
    CGBitmapInfo info;
    std::vector<uint8_t> expected;
  } cases[] = {
      {kCGImageAlphaPremultipliedLast, {r, g, b, 128, 10, 20, 30, 255}},
      {kCGImageAlphaPremultipliedFirst, {128, r, g, b, 255, 10, 20, 30}},
      {kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little, {b, g, r, 128, 30, 20, 10, 255}},
      {kCGImageAlphaPremultipliedLast | kCGBitmapByteOrder32Little, {128, b, g, r, 255, 30, 20, 10}},
      // Skipped alpha: the colours composite over the (black) background, the byte is 255.
      {kCGImageAlphaNoneSkipFirst, {255, r, g, b, 255, 10, 20, 30}},
      {kCGImageAlphaNoneSkipLast, {r, g, b, 255, 10, 20, 30, 255}},
  };
  for (const auto& c : cases) {
    auto context = CGBitmapContextCreate(nullptr, 2, 1, 8, 8, CGColorSpaceCreateDeviceRGB(), c.info);
    ASSERT_TRUE(context);
    CGContextDrawImage(context, CGRectMake(0, 0, 2, 1), image);
    EXPECT_EQ(contents(context), c.expected) << "info " << c.info;
  }
}

TEST(BitmapContext, SourceOverCompositingOntoWhatIsThere) {
  auto context = rgbaContext(1, 1);
  CGContextDrawImage(context, CGRectMake(0, 0, 1, 1), imageOf(1, 1, {255, 0, 0, 255}));
  CGContextDrawImage(context, CGRectMake(0, 0, 1, 1), imageOf(1, 1, {0, 255, 0, 64}));
  // green 64/255 over opaque red
  uint8_t green = premultiply(255, 64);
  uint8_t red = static_cast<uint8_t>((255 * (255 - 64) + 127) / 255);
  EXPECT_EQ(contents(context), (std::vector<uint8_t>{red, green, 0, 255}));
  // Fully transparent pixels change nothing; opaque ones replace.
  CGContextDrawImage(context, CGRectMake(0, 0, 1, 1), imageOf(1, 1, {9, 9, 9, 0}));
  EXPECT_EQ(contents(context), (std::vector<uint8_t>{red, green, 0, 255}));
  CGContextDrawImage(context, CGRectMake(0, 0, 1, 1), imageOf(1, 1, {1, 2, 3, 255}));
  EXPECT_EQ(contents(context), (std::vector<uint8_t>{1, 2, 3, 255}));
}

TEST(BitmapContext, OriginIsBottomLeftScalingIsNearestAndTheTransformMirrors) {
  const std::vector<uint8_t> R = {255, 0, 0, 255}, B = {0, 0, 255, 255}, Z = {0, 0, 0, 0};
  auto cat = [](std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
  };
  auto redOverBlue = imageOf(1, 2, cat({R, B}));
  // Drawn at y = 0 of a 4-row context: the bottom two rows of memory, still upright.
  auto context = rgbaContext(1, 4);
  CGContextDrawImage(context, CGRectMake(0, 0, 1, 2), redOverBlue);
  EXPECT_EQ(contents(context), cat({Z, Z, R, B}));
  // Stretched to the full height: each source row covers two.
  context = rgbaContext(1, 4);
  CGContextDrawImage(context, CGRectMake(0, 0, 1, 4), redOverBlue);
  EXPECT_EQ(contents(context), cat({R, R, B, B}));
  // Flipped by the transform (as UIKit's contexts are): drawn upside down.
  context = rgbaContext(1, 2);
  CGContextTranslateCTM(context, 0, 2);
  CGContextScaleCTM(context, 1, -1);
  CGContextDrawImage(context, CGRectMake(0, 0, 1, 2), redOverBlue);
  EXPECT_EQ(contents(context), cat({B, R}));
  // Saved state comes back; a scaled transform maps points to pixels.
  context = rgbaContext(2, 4);
  CGContextSaveGState(context);
  CGContextScaleCTM(context, 2, 2);
  CGContextRestoreGState(context);
  CGContextScaleCTM(context, 2, 2);
  CGContextDrawImage(context, CGRectMake(0, 0, 0.5, 1), redOverBlue);
  EXPECT_EQ(contents(context), cat({Z, Z, Z, Z, R, Z, B, Z}));
  // Partly outside: clipped, never written out of bounds.
  context = rgbaContext(1, 1);
  CGContextDrawImage(context, CGRectMake(-5, -1, 6, 2), redOverBlue);
  EXPECT_EQ(contents(context), R);
  CGContextDrawImage(context, CGRectMake(100, 100, 6, 2), redOverBlue);
  CGContextDrawImage(context, CGRectMake(0, 0, 1e308, 1e308), redOverBlue);
  CGContextDrawImage(context, CGRectMake(0, 0, 0, 0), redOverBlue);
}

TEST(BitmapContext, ClearSnapshotAndCallerMemory) {
  std::vector<uint8_t> memory(2 * 2 * 4, 0xAB);
  auto context = CGBitmapContextCreate(memory.data(), 2, 2, 8, 8, CGColorSpaceCreateDeviceRGB(),
                                       kCGImageAlphaPremultipliedLast);
  ASSERT_TRUE(context);
  EXPECT_EQ(CGBitmapContextGetData(context), memory.data());
  CGContextClearRect(context, CGRectMake(0, 0, 1, 1));  // the bottom-left pixel
  EXPECT_EQ(memory, (std::vector<uint8_t>{0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0xAB, 0, 0, 0, 0, 0xAB, 0xAB, 0xAB, 0xAB}));
  auto snapshot = CGBitmapContextCreateImage(context);
  ASSERT_TRUE(snapshot);
  EXPECT_EQ(snapshot->alphaInfo(), kCGImageAlphaPremultipliedLast);
  CGContextClearRect(context, CGRectMake(0, 0, 2, 2));
  EXPECT_EQ(packedPixels(snapshot)[0], 0xAB);  // the snapshot has pixels of its own
}

TEST(BitmapContext, ColourModelsConvertWhenDrawn) {
  auto image = imageOf(1, 1, {200, 100, 50, 255});
  auto gray = CGBitmapContextCreate(nullptr, 1, 1, 8, 0, CGColorSpaceCreateDeviceGray(), kCGImageAlphaNone);
  CGContextDrawImage(gray, CGRectMake(0, 0, 1, 1), image);
  EXPECT_EQ(contents(gray)[0], (200 * 299 + 100 * 587 + 50 * 114 + 500) / 1000);

  auto cmyk = CGBitmapContextCreate(nullptr, 1, 1, 8, 0, CGColorSpaceCreateDeviceCMYK(), kCGImageAlphaNone);
  CGContextDrawImage(cmyk, CGRectMake(0, 0, 1, 1), imageOf(1, 1, {255, 0, 0, 255}));
  auto ink = contents(cmyk);
  EXPECT_EQ(std::vector<uint8_t>(ink.begin(), ink.begin() + 4), (std::vector<uint8_t>{0, 255, 255, 0}));

  // 16-bit context: the 8-bit values widen exactly (v * 257), big-endian.
  auto deep = CGBitmapContextCreate(nullptr, 1, 1, 16, 0, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedLast);
  CGContextDrawImage(deep, CGRectMake(0, 0, 1, 1), image);
  auto bytes = contents(deep);
  EXPECT_EQ((std::vector<uint8_t>(bytes.begin(), bytes.begin() + 8)), (std::vector<uint8_t>{200, 200, 100, 100, 50, 50, 255, 255}));

  // Indexed images draw through their table.
  const uint8_t table[6] = {1, 2, 3, 4, 5, 6};
  auto indexed = CGColorSpaceCreateIndexed(CGColorSpaceCreateDeviceRGB(), 1, table);
  auto provider = CGDataProviderCreateWithCFData(dataOf({1, 0}));
  auto image2 = CGImageCreate(2, 1, 8, 8, 2, indexed, kCGImageAlphaNone, provider, nullptr, true, kCGRenderingIntentDefault);
  ASSERT_TRUE(image2);
  EXPECT_EQ(renderedRGBA(image2), (std::vector<uint8_t>{4, 5, 6, 255, 1, 2, 3, 255}));
  EXPECT_FALSE(CGColorSpaceCreateIndexed(indexed, 1, table));
}

TEST(BitmapContext, ImagesFromPixelsCheckTheirLayoutAndBytes) {
  auto rgb = CGColorSpaceCreateDeviceRGB();
  auto provider = CGDataProviderCreateWithCFData(NSData::dataWithVector(std::vector<uint8_t>(4 * 4 * 4, 7)));
  EXPECT_TRUE(CGImageCreate(4, 4, 8, 32, 16, rgb, kCGImageAlphaFirst, provider, nullptr, true, kCGRenderingIntentDefault));
  EXPECT_TRUE(CGImageCreate(4, 4, 8, 24, 16, rgb, kCGImageAlphaNone, provider, nullptr, true, kCGRenderingIntentDefault));
  // Bits per pixel that do not match, bytes missing, rows too short, a decode array.
  EXPECT_FALSE(CGImageCreate(4, 4, 8, 24, 16, rgb, kCGImageAlphaFirst, provider, nullptr, true, kCGRenderingIntentDefault));
  EXPECT_FALSE(CGImageCreate(4, 5, 8, 32, 16, rgb, kCGImageAlphaFirst, provider, nullptr, true, kCGRenderingIntentDefault));
  EXPECT_FALSE(CGImageCreate(4, 4, 8, 32, 15, rgb, kCGImageAlphaFirst, provider, nullptr, true, kCGRenderingIntentDefault));
  const CGFloat decode[6] = {1, 0, 1, 0, 1, 0};
  EXPECT_FALSE(CGImageCreate(4, 4, 8, 32, 16, rgb, kCGImageAlphaFirst, provider, decode, true, kCGRenderingIntentDefault));
  EXPECT_FALSE(CGImageCreate(4, 4, 8, 32, 16, rgb, kCGImageAlphaFirst, nullptr, nullptr, true, kCGRenderingIntentDefault));

  // Cropping copies the pixels inside the rectangle, rounded outward and clipped.
  std::vector<uint8_t> px(3 * 2 * 4);
  for (size_t i = 0; i < px.size(); ++i) px[i] = static_cast<uint8_t>(i);
  auto image = imageOf(3, 2, px);
  auto crop = CGImageCreateWithImageInRect(image, CGRectMake(1.5, 0.5, 5, 1));
  ASSERT_TRUE(crop);
  EXPECT_EQ(crop->width(), 2u);
  EXPECT_EQ(crop->height(), 2u);
  EXPECT_EQ(packedPixels(crop), (std::vector<uint8_t>{4, 5, 6, 7, 8, 9, 10, 11, 16, 17, 18, 19, 20, 21, 22, 23}));
  EXPECT_FALSE(CGImageCreateWithImageInRect(image, CGRectMake(5, 5, 1, 1)));
  EXPECT_EQ(CGImageCreateCopy(image), image);
  EXPECT_EQ(CGImageGetWidth(nullptr), 0u);
  EXPECT_FALSE(CGImageGetDataProvider(nullptr));
}
