// Image decoding budgets: a caller's smaller budget refuses, on every decoding road, pictures
// the application's limits take; a source keeps the budget in force where it was made; the
// budget belongs to the thread that set it.

#include <gtest/gtest.h>

#include <thread>

#include "platform/graphics/CGImageSource.h"
#include "platform/graphics/UIImage.h"
#include "tests/platform/graphics/GraphicsTestSupport.h"

using namespace zvt::test;

namespace {

std::vector<uint8_t> png(uint32_t w, uint32_t h) {
  PNGRecipe recipe;
  recipe.width = w;
  recipe.height = h;
  recipe.rows = pattern(size_t{w} * h * 3, w + h);
  return makePNG(recipe);
}

std::vector<uint8_t> jpeg(uint32_t w, uint32_t h) {
  JPEGRecipe recipe;
  recipe.width = w;
  recipe.height = h;
  recipe.pixels = pattern(size_t{w} * h * 3, w * h);
  return makeJPEG(recipe);
}

// `frames` frames covering a w x h screen.
std::vector<uint8_t> gif(int w, int h, int frames) {
  GIFRecipe recipe;
  recipe.width = w;
  recipe.height = h;
  recipe.palette = {0, 0, 0, 255, 0, 0};
  for (int i = 0; i < frames; ++i) {
    GIFFrameRecipe frame;
    frame.width = w;
    frame.height = h;
    frame.indexes.assign(static_cast<size_t>(w) * h, static_cast<uint8_t>(i % 2));
    recipe.frames.push_back(frame);
  }
  return makeGIF(recipe);
}

// 1024 pixels, sides up to 256, a 1024-pixel GIF screen, 16 KiB of frames (four of 32 x 32).
zvt::ImageDecodingBudget smallBudget() {
  return zvt::ImageDecodingBudget{.maxSide = 256, .maxPixels = 1024, .maxCanvasPixels = 1024, .maxAnimationBytes = 16384};
}

struct Outcome {
  size_t count = 0;
  bool sourceImage = false;
  bool uiImage = false;
  bool providerImage = false;  // PNG and JPEG only
};

Outcome decodeEveryWay(const std::vector<uint8_t>& bytes) {
  Outcome out;
  auto data = dataOf(bytes);
  auto source = CGImageSourceCreateWithData(data, nullptr);
  out.count = CGImageSourceGetCount(source);
  auto image = CGImageSourceCreateImageAtIndex(source, 0, nullptr);
  out.sourceImage = image && image->pixelData();
  out.uiImage = UIImage::imageWithData(data) != nullptr;
  auto provider = CGDataProviderCreateWithCFData(data);
  auto lazy = bytes[0] == 0x89 ? CGImageCreateWithPNGDataProvider(provider, nullptr, true, kCGRenderingIntentDefault)
                               : CGImageCreateWithJPEGDataProvider(provider, nullptr, true, kCGRenderingIntentDefault);
  out.providerImage = lazy && lazy->pixelData();
  return out;
}

}  // namespace

TEST(ImageDecodingBudget, ACallersBudgetRefusesWhatTheApplicationsLimitsTake) {
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    size_t frames;      // under the application's limits
    bool withinBudget;  // under smallBudget()
    bool still;         // PNG or JPEG: the data-provider road too
  };
  const Case cases[] = {
      {"PNG of 32 x 32: the pixel budget exactly", png(32, 32), 1, true, true},
      {"PNG of 33 x 32: over the pixels", png(33, 32), 1, false, true},
      {"PNG of 257 x 2: over a side, few pixels", png(257, 2), 1, false, true},
      {"JPEG of 40 x 40: over the pixels", jpeg(40, 40), 1, false, true},
      {"JPEG of 16 x 16", jpeg(16, 16), 1, true, true},
      {"GIF screen of 33 x 32: over the canvas", gif(33, 32, 1), 1, false, false},
      {"GIF of four 32 x 32 frames: the animation budget exactly", gif(32, 32, 4), 4, true, false},
      {"GIF of five 32 x 32 frames: over the animation", gif(32, 32, 5), 5, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Outcome plain = decodeEveryWay(c.bytes);
    EXPECT_EQ(plain.count, c.frames);
    EXPECT_TRUE(plain.sourceImage);
    EXPECT_TRUE(plain.uiImage);
    if (c.still) {
      EXPECT_TRUE(plain.providerImage);
    }

    zvt::ImageDecodingBudgetScope scope(smallBudget());
    const Outcome budgeted = decodeEveryWay(c.bytes);
    EXPECT_EQ(budgeted.count, c.withinBudget ? c.frames : 0u);
    EXPECT_EQ(budgeted.sourceImage, c.withinBudget);
    EXPECT_EQ(budgeted.uiImage, c.withinBudget);
    if (c.still) {
      EXPECT_EQ(budgeted.providerImage, c.withinBudget);
    }
  }
}

TEST(ImageDecodingBudget, ASourceKeepsTheBudgetOfWhereItWasMadeAndEachThreadHasItsOwn) {
  auto large = dataOf(gif(48, 48, 1));
  auto largePNG = dataOf(png(48, 48));
  CGImageSourceRef madeInside, madeInsidePNG, madeOutside;
  {
    zvt::ImageDecodingBudgetScope scope(smallBudget());
    // Nothing is decoded until the sources are asked.
    madeInside = CGImageSourceCreateWithData(large, nullptr);
    madeInsidePNG = CGImageSourceCreateWithData(largePNG, nullptr);
    {
      zvt::ImageDecodingBudgetScope inner(zvt::ImageDecodingBudget{});
      EXPECT_EQ(CGImageSourceGetCount(CGImageSourceCreateWithData(large, nullptr)), 1u) << "the inner scope's";
    }
    EXPECT_EQ(CGImageSourceGetCount(CGImageSourceCreateWithData(large, nullptr)), 0u) << "the outer scope's again";
    size_t otherThread = 0;
    std::thread([&] { otherThread = CGImageSourceGetCount(CGImageSourceCreateWithData(large, nullptr)); }).join();
    EXPECT_EQ(otherThread, 1u) << "another thread decodes under the application's limits";
  }
  madeOutside = CGImageSourceCreateWithData(large, nullptr);
  {
    zvt::ImageDecodingBudgetScope scope(smallBudget());
    EXPECT_EQ(CGImageSourceGetCount(madeOutside), 1u);
  }
  EXPECT_EQ(CGImageSourceGetCount(madeInside), 0u);
  EXPECT_FALSE(CGImageSourceCreateImageAtIndex(madeInside, 0, nullptr));
  EXPECT_EQ(CGImageSourceGetCount(madeInsidePNG), 0u);
  EXPECT_FALSE(CGImageSourceCreateImageAtIndex(madeInsidePNG, 0, nullptr));
}
