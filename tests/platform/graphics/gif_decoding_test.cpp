// GIF decoding: frames composed on the logical screen with each disposal method and
// transparency, interlaced and local-palette frames, frame timing properties, loop count, and
// damaged, cut-short or oversized files.

#include <gtest/gtest.h>

#include "platform/foundation/NSNumber.h"
#include "platform/graphics/CGImageSource.h"
#include "platform/graphics/UIImage.h"
#include "platform/graphics/internal/Codecs.h"
#include "tests/platform/graphics/GraphicsTestSupport.h"
#include "tests/support/ResidentSize.h"

using namespace zvt::test;

namespace {

const std::vector<uint8_t> kPalette = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};  // black red green blue
using Px = std::array<uint8_t, 4>;
const Px R{255, 0, 0, 255}, G{0, 255, 0, 255}, B{0, 0, 255, 255}, T{0, 0, 0, 0}, K{0, 0, 0, 255};

std::vector<uint8_t> canvasOf(std::initializer_list<Px> pixels) {
  std::vector<uint8_t> out;
  for (const auto& p : pixels) out.insert(out.end(), p.begin(), p.end());
  return out;
}

GIFFrameRecipe frame(int x, int y, int w, int h, std::vector<uint8_t> indexes) {
  GIFFrameRecipe f;
  f.left = x;
  f.top = y;
  f.width = w;
  f.height = h;
  f.indexes = std::move(indexes);
  return f;
}

GIFRecipe fourFrames() {
  GIFRecipe recipe;
  recipe.width = 4;
  recipe.height = 4;
  recipe.palette = kPalette;
  recipe.loopCount = 0;
  auto f1 = frame(0, 0, 4, 4, std::vector<uint8_t>(16, 1));
  f1.delay = 10;
  f1.disposal = 1;
  auto f2 = frame(1, 1, 2, 2, {2, 0, 0, 2});
  f2.delay = 1;
  f2.disposal = 2;
  f2.transparentIndex = 0;
  auto f3 = frame(0, 0, 1, 1, {3});
  f3.delay = 0;
  f3.disposal = 3;
  auto f4 = frame(3, 3, 1, 1, {2});
  f4.control = false;
  recipe.frames = {f1, f2, f3, f4};
  return recipe;
}

std::shared_ptr<NSDictionary> gifProperties(const CGImageSourceRef& source, size_t index) {
  return zvt::as<NSDictionary>(CGImageSourceCopyPropertiesAtIndex(source, index, nullptr)->objectForKey(kCGImagePropertyGIFDictionary));
}

}  // namespace

TEST(GIFDecoding, FramesAreComposedWithDisposalAndTransparency) {
  auto bytes = makeGIF(fourFrames());
  auto source = CGImageSourceCreateWithData(dataOf(bytes), nullptr);
  EXPECT_EQ(CGImageSourceGetType(source)->utf8(), "com.compuserve.gif");
  ASSERT_EQ(CGImageSourceGetCount(source), 4u);
  EXPECT_EQ(CGImageSourceGetStatus(source), kCGImageStatusComplete);
  std::vector<std::vector<uint8_t>> expected = {
      canvasOf({R, R, R, R, R, R, R, R, R, R, R, R, R, R, R, R}),
      // The green diagonal over red; index 0 is transparent and leaves the red.
      canvasOf({R, R, R, R, R, G, R, R, R, R, G, R, R, R, R, R}),
      // Frame 2's rectangle cleared to transparent, then blue at the corner.
      canvasOf({B, R, R, R, R, T, T, R, R, T, T, R, R, R, R, R}),
      // Frame 3 restored what was before it (no blue), then green at the far corner.
      canvasOf({R, R, R, R, R, T, T, R, R, T, T, R, R, R, R, G}),
  };
  for (size_t i = 0; i < 4; ++i) {
    auto image = CGImageSourceCreateImageAtIndex(source, i, nullptr);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width(), 4u);
    EXPECT_EQ(image->alphaInfo(), kCGImageAlphaPremultipliedLast);
    EXPECT_EQ(packedPixels(image), expected[i]) << "frame " << i;
  }
  EXPECT_FALSE(CGImageSourceCreateImageAtIndex(source, 4, nullptr));
}

TEST(GIFDecoding, DelayTimesAreReportedClampedAndUnclamped) {
  auto source = CGImageSourceCreateWithData(dataOf(makeGIF(fourFrames())), nullptr);
  auto delay = [&](size_t i, const zvt::StaticString& key) -> double {
    auto value = zvt::as<NSNumber>(gifProperties(source, i)->objectForKey(key));
    return value ? value->doubleValue() : -1;
  };
  EXPECT_DOUBLE_EQ(delay(0, kCGImagePropertyGIFUnclampedDelayTime), 0.1);
  EXPECT_DOUBLE_EQ(delay(0, kCGImagePropertyGIFDelayTime), 0.1);
  // 10 ms and 0 ms play at 100 ms; the stored value stays visible unclamped.
  EXPECT_DOUBLE_EQ(delay(1, kCGImagePropertyGIFUnclampedDelayTime), 0.01);
  EXPECT_DOUBLE_EQ(delay(1, kCGImagePropertyGIFDelayTime), 0.1);
  EXPECT_DOUBLE_EQ(delay(2, kCGImagePropertyGIFUnclampedDelayTime), 0.0);
  EXPECT_DOUBLE_EQ(delay(2, kCGImagePropertyGIFDelayTime), 0.1);
  // A frame without a control extension has no delay at all.
  EXPECT_EQ(delay(3, kCGImagePropertyGIFUnclampedDelayTime), -1);
  EXPECT_EQ(delay(3, kCGImagePropertyGIFDelayTime), -1);

  auto container = zvt::as<NSDictionary>(CGImageSourceCopyProperties(source, nullptr)->objectForKey(kCGImagePropertyGIFDictionary));
  ASSERT_TRUE(container);
  EXPECT_EQ(zvt::as<NSNumber>(container->objectForKey(kCGImagePropertyGIFLoopCount))->intValue(), 0);
  EXPECT_EQ(zvt::as<NSNumber>(container->objectForKey(kCGImagePropertyGIFCanvasPixelWidth))->intValue(), 4);

  // 20 ms is kept as it is.
  GIFRecipe recipe = fourFrames();
  recipe.frames[0].delay = 2;
  recipe.loopCount = -1;
  source = CGImageSourceCreateWithData(dataOf(makeGIF(recipe)), nullptr);
  EXPECT_DOUBLE_EQ(delay(0, kCGImagePropertyGIFDelayTime), 0.02);
  container = zvt::as<NSDictionary>(CGImageSourceCopyProperties(source, nullptr)->objectForKey(kCGImagePropertyGIFDictionary));
  EXPECT_FALSE(container->objectForKey(kCGImagePropertyGIFLoopCount));
}

TEST(GIFDecoding, InterlacedLocalPaletteAndClippedFrames) {
  GIFRecipe recipe;
  recipe.width = 5;
  recipe.height = 10;
  recipe.palette = kPalette;
  auto indexes = pattern(50, 3);
  for (auto& i : indexes) i &= 3;
  auto plain = frame(0, 0, 5, 10, indexes);
  recipe.frames = {plain};
  auto reference = CGImageSourceCreateImageAtIndex(CGImageSourceCreateWithData(dataOf(makeGIF(recipe)), nullptr), 0, nullptr);
  recipe.frames[0].interlaced = true;
  auto interlaced = CGImageSourceCreateImageAtIndex(CGImageSourceCreateWithData(dataOf(makeGIF(recipe)), nullptr), 0, nullptr);
  ASSERT_TRUE(reference);
  ASSERT_TRUE(interlaced);
  EXPECT_EQ(packedPixels(interlaced), packedPixels(reference));
  auto pixels = packedPixels(reference);
  for (size_t i = 0; i < 50; ++i) {
    const uint8_t* c = kPalette.data() + 3 * indexes[i];
    ASSERT_EQ(canvasOf({Px{c[0], c[1], c[2], 255}}), std::vector<uint8_t>(pixels.begin() + 4 * i, pixels.begin() + 4 * i + 4));
  }

  // A local palette wins; an index past the palette shows black; a frame reaching past the
  // canvas is cut off at its edge.
  GIFRecipe local;
  local.width = 4;
  local.height = 4;
  local.palette = kPalette;
  auto f = frame(1, 1, 3, 3, {0, 1, 1, 1, 1, 1, 1, 1, 1});
  f.palette = {9, 8, 7};  // one colour, padded to two entries of which the second is black
  local.frames = {f};
  auto bytes = makeGIF(local);
  bytes[6] = bytes[8] = 2;  // the screen shrinks to 2 x 2 under the 3 x 3 frame at (1, 1)
  auto image = CGImageSourceCreateImageAtIndex(CGImageSourceCreateWithData(dataOf(bytes), nullptr), 0, nullptr);
  ASSERT_TRUE(image);
  EXPECT_EQ(packedPixels(image), canvasOf({T, T, T, Px{9, 8, 7, 255}}));
}

TEST(GIFDecoding, UIImageOfAGIFIsItsFirstFrame) {
  auto image = UIImage::imageWithData(dataOf(makeGIF(fourFrames())));
  ASSERT_TRUE(image);
  EXPECT_FALSE(image->images());
  EXPECT_EQ(packedPixels(image->CGImage()), canvasOf({R, R, R, R, R, R, R, R, R, R, R, R, R, R, R, R}));
}

TEST(GIFDecoding, CutShortAndDamagedFilesKeepOnlyWholeFrames) {
  auto bytes = makeGIF(fourFrames());
  // Without the trailer byte the file is still whole.
  std::vector<uint8_t> noTrailer(bytes.begin(), bytes.end() - 1);
  auto source = CGImageSourceCreateWithData(dataOf(noTrailer), nullptr);
  EXPECT_EQ(CGImageSourceGetCount(source), 4u);
  EXPECT_EQ(CGImageSourceGetStatus(source), kCGImageStatusComplete);
  EXPECT_TRUE(UIImage::imageWithData(dataOf(noTrailer)));

  size_t lastFrames = 5;
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    std::vector<uint8_t> part(bytes.begin(), bytes.begin() + static_cast<long>(cut));
    auto partial = CGImageSourceCreateWithData(dataOf(part), nullptr);
    size_t frames = CGImageSourceGetCount(partial);
    EXPECT_LE(frames, 4u);
    if (lastFrames != 5) {
      EXPECT_GE(frames, lastFrames) << "cut " << cut;
    }
    lastFrames = frames;
    if (CGImageSourceGetStatus(partial) != kCGImageStatusComplete) {
      EXPECT_FALSE(UIImage::imageWithData(dataOf(part))) << "cut " << cut;
    }
  }
  EXPECT_EQ(lastFrames, 4u);

  // A screen of 65535 x 65535 is over the limits: no frames, nothing allocated for it.
  auto huge = bytes;
  huge[6] = huge[7] = huge[8] = huge[9] = 0xFF;
  source = CGImageSourceCreateWithData(dataOf(huge), nullptr);
  EXPECT_EQ(CGImageSourceGetCount(source), 0u);
  EXPECT_EQ(CGImageSourceGetStatus(source), kCGImageStatusInvalidData);
  EXPECT_FALSE(UIImage::imageWithData(dataOf(huge)));
  // A zero-sized screen holds nothing.
  auto empty = bytes;
  empty[6] = empty[7] = 0;
  EXPECT_EQ(CGImageSourceGetCount(CGImageSourceCreateWithData(dataOf(empty), nullptr)), 0u);
}

namespace {

// A GIF of `frames` 1 x 1 frames on a logical screen of the given size: a few dozen bytes that
// ask for a canvas of the screen's size.
std::vector<uint8_t> tinyFramesOnScreen(int width, int height, int frames) {
  GIFRecipe recipe;
  recipe.width = 1;
  recipe.height = 1;
  recipe.palette = kPalette;
  for (int i = 0; i < frames; ++i) recipe.frames.push_back(frame(0, 0, 1, 1, {1}));
  auto bytes = makeGIF(recipe);
  bytes[6] = static_cast<uint8_t>(width & 0xFF);
  bytes[7] = static_cast<uint8_t>(width >> 8);
  bytes[8] = static_cast<uint8_t>(height & 0xFF);
  bytes[9] = static_cast<uint8_t>(height >> 8);
  return bytes;
}

}  // namespace

TEST(GIFDecoding, PicturesOverTheBudgetsAreRefusedBeforeTheirMemoryIsTaken) {
  constexpr size_t kCeiling = size_t{64} << 20;
  struct Case {
    const char* what;
    int width, height, frames;
  };
  const Case cases[] = {
      {"one 1 x 1 frame on an 8192 x 8192 screen", 8192, 8192, 1},
      {"two frames on an 8192 x 8192 screen", 8192, 8192, 2},
      {"a screen one pixel over the canvas budget", 2049, 2048, 1},
      {"17 frames of 2048 x 2048 (16 MiB each)", 2048, 2048, 17},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto data = dataOf(tinyFramesOnScreen(c.width, c.height, c.frames));
    EXPECT_LT(data->length(), 512u) << "a few hundred bytes at most";
    PeakResidentGrowth growth;
    {
      auto source = CGImageSourceCreateWithData(data, nullptr);
      EXPECT_EQ(CGImageSourceGetCount(source), 0u);
      EXPECT_FALSE(CGImageSourceCreateImageAtIndex(source, 0, nullptr));
      EXPECT_FALSE(UIImage::imageWithData(data));
    }
    EXPECT_LT(growth.bytes(), kCeiling);
  }
}

TEST(GIFDecoding, PicturesWithinTheBudgetsDecodeAndOneFrameCostsOneCanvas) {
  // The largest canvas allowed, once; and 16 frames of it, the most one animation may hold.
  auto single = dataOf(tinyFramesOnScreen(2048, 2048, 1));
  const size_t decodesBefore = zvt::graphics::gifDecodeCount();
  PeakResidentGrowth growth;
  {
    auto source = CGImageSourceCreateWithData(single, nullptr);
    ASSERT_EQ(CGImageSourceGetCount(source), 1u);
    auto image = CGImageSourceCreateImageAtIndex(source, 0, nullptr);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width(), 2048u);
    EXPECT_EQ(image->pixelData()->length(), size_t{2048} * 2048 * 4);
  }
  // A canvas is 16 MiB; a copy of it for the frame would make 32. (The thread sanitizer's shadow
  // of every touched byte outweighs the difference; the decode count below still holds there.)
#if !defined(__SANITIZE_THREAD__)
  EXPECT_LT(growth.bytes(), size_t{24} << 20);
#else
  (void)growth;
#endif
  EXPECT_EQ(zvt::graphics::gifDecodeCount(), decodesBefore + 1);

  auto sixteen = CGImageSourceCreateWithData(dataOf(tinyFramesOnScreen(2048, 2048, 16)), nullptr);
  EXPECT_EQ(CGImageSourceGetCount(sixteen), 16u);
  EXPECT_EQ(CGImageSourceGetStatus(sixteen), kCGImageStatusComplete);
}
