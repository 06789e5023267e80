// UIImage: scale and size in points, shared bitmaps, animated images, named images of the main
// bundle with their scale variants, PNG and JPEG representations, image contexts, and the main
// screen's scale; decoding from several threads at once.

#include <gtest/gtest.h>

#include <thread>

#include "platform/graphics/CGImageSource.h"
#include "platform/graphics/UIImage.h"
#include "platform/graphics/UIScreen.h"
#include "tests/platform/graphics/GraphicsTestSupport.h"
#include "tests/support/TempHome.h"

using namespace zvt::test;

namespace {

std::vector<uint8_t> rgbPNG(uint32_t w, uint32_t h, uint32_t seed) {
  PNGRecipe recipe;
  recipe.width = w;
  recipe.height = h;
  recipe.colorType = 2;
  recipe.rows = pattern(w * h * 3, seed);
  return makePNG(recipe);
}

std::string asString(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

class ScreenScale {
 public:
  explicit ScreenScale(CGFloat scale) { UIScreen::mainScreen()->setScale(scale); }
  ~ScreenScale() { UIScreen::mainScreen()->setScale(2.0); }
};

}  // namespace

TEST(UIImageBasics, ScaleSizeAndSharedBitmaps) {
  EXPECT_EQ(UIScreen::mainScreen()->scale(), 2.0);
  auto data = dataOf(rgbPNG(30, 12, 1));
  auto plain = UIImage::imageWithData(data);
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->scale(), 1.0);
  EXPECT_EQ(plain->size(), CGSizeMake(30, 12));
  auto triple = UIImage::imageWithData(data, 3.0);
  EXPECT_EQ(triple->size(), CGSizeMake(10, 4));
  // An image of the same bitmap shares its pixels.
  auto again = UIImage::initWithCGImage(plain->CGImage(), 2.0, UIImageOrientationLeft);
  EXPECT_EQ(again->CGImage(), plain->CGImage());
  EXPECT_EQ(again->CGImage()->pixelData(), plain->CGImage()->pixelData());
  EXPECT_EQ(again->size(), CGSizeMake(6, 15));
  EXPECT_EQ(again->imageOrientation(), UIImageOrientationLeft);
  EXPECT_EQ(UIImage::imageWithCGImage(plain->CGImage())->scale(), 1.0);
  // A scale that is no scale counts as 1.
  EXPECT_EQ(UIImage::imageWithData(data, 0)->scale(), 1.0);

  EXPECT_FALSE(UIImage::imageWithData(nullptr));
  EXPECT_FALSE(UIImage::imageWithData(NSData::data()));
  EXPECT_FALSE(UIImage::imageWithCGImage(nullptr));
  EXPECT_FALSE(UIImage::imageWithData(NSData::dataWithString("not an image at all")));
}

TEST(UIImageBasics, TIFFAndWebPAreRecognisedButNotDecoded) {
  const std::vector<uint8_t> tiff = {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0};
  const std::vector<uint8_t> webp = {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'E', 'B', 'P', 'V', 'P', '8', ' '};
  for (const auto& [bytes, type] : {std::pair{tiff, "public.tiff"}, std::pair{webp, "org.webmproject.webp"}}) {
    auto source = CGImageSourceCreateWithData(dataOf(bytes), nullptr);
    EXPECT_EQ(CGImageSourceGetType(source)->utf8(), type);
    EXPECT_EQ(CGImageSourceGetCount(source), 0u);
    EXPECT_EQ(CGImageSourceGetStatus(source), kCGImageStatusUnknownType);
    EXPECT_FALSE(UIImage::imageWithData(dataOf(bytes)));
  }
  EXPECT_FALSE(CGImageSourceCreateWithData(nullptr, nullptr));
}

TEST(UIImageBasics, AnimatedImagesTakeTheFirstFramesLooks) {
  auto a = UIImage::imageWithData(dataOf(rgbPNG(4, 2, 1)), 2.0);
  auto b = UIImage::imageWithData(dataOf(rgbPNG(4, 2, 2)), 2.0);
  auto animated = UIImage::animatedImageWithImages(NSArray::make({a, b}), 0.3);
  ASSERT_TRUE(animated);
  ASSERT_TRUE(animated->images());
  EXPECT_EQ(animated->images()->count(), 2u);
  EXPECT_EQ(animated->duration(), 0.3);
  EXPECT_EQ(animated->CGImage(), a->CGImage());
  EXPECT_EQ(animated->scale(), 2.0);
  EXPECT_EQ(animated->size(), CGSizeMake(2, 1));
  EXPECT_FALSE(a->images());
  EXPECT_FALSE(UIImage::animatedImageWithImages(NSArray::array(), 1));
  EXPECT_FALSE(UIImage::animatedImageWithImages(nullptr, 1));
}

TEST(UIImageBasics, NamedImagesPickTheScaleVariantOfTheScreen) {
  TempBundle bundle;
  bundle.writeFile("icon.png", asString(rgbPNG(1, 1, 1)));
  bundle.writeFile("icon@2x.png", asString(rgbPNG(2, 2, 2)));
  bundle.writeFile("icon@3x.png", asString(rgbPNG(3, 3, 3)));
  JPEGRecipe photo;
  photo.width = photo.height = 8;
  photo.pixels.assign(8 * 8 * 3, 90);
  bundle.writeFile("photo.jpg", asString(makeJPEG(photo)));
  bundle.writeFile("only@3x.png", asString(rgbPNG(6, 3, 4)));
  bundle.writeFile("broken.png", "\x89PNG not really");
  {
    auto icon = UIImage::imageNamed("icon"_ns);
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->scale(), 2.0);
    EXPECT_EQ(icon->CGImage()->width(), 2u);
    EXPECT_EQ(icon->size(), CGSizeMake(1, 1));
    EXPECT_EQ(UIImage::imageNamed("icon"_ns), icon);  // kept once loaded
    EXPECT_EQ(UIImage::imageNamed("icon.png"_ns)->scale(), 2.0);
    // Only a larger variant: it is used, at its own scale.
    auto only = UIImage::imageNamed("only"_ns);
    ASSERT_TRUE(only);
    EXPECT_EQ(only->scale(), 3.0);
    EXPECT_EQ(only->size(), CGSizeMake(2, 1));
    // Other types are found without their extension.
    ASSERT_TRUE(UIImage::imageNamed("photo"_ns));
    EXPECT_EQ(UIImage::imageNamed("photo"_ns)->scale(), 1.0);
    EXPECT_FALSE(UIImage::imageNamed("missing"_ns));
    EXPECT_FALSE(UIImage::imageNamed("broken"_ns));
    EXPECT_FALSE(UIImage::imageNamed(nullptr));
  }
  {
    ScreenScale three(3.0);
    auto icon = UIImage::imageNamed("icon"_ns);
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->scale(), 3.0);
    EXPECT_EQ(icon->CGImage()->width(), 3u);
  }
  {
    ScreenScale one(1.0);
    EXPECT_EQ(UIImage::imageNamed("icon"_ns)->scale(), 1.0);
  }
  auto file = UIImage::imageWithContentsOfFile(NSString::stringWithUTF8String(bundle.path() + "/icon@3x.png"));
  ASSERT_TRUE(file);
  EXPECT_EQ(file->scale(), 3.0);
  EXPECT_FALSE(UIImage::imageWithContentsOfFile(NSString::stringWithUTF8String(bundle.path() + "/none.png")));
}

TEST(UIImageBasics, PNGAndJPEGRepresentations) {
  // Opaque: RGB PNG, samples unchanged.
  PNGRecipe recipe;
  recipe.width = 7;
  recipe.height = 5;
  recipe.colorType = 2;
  recipe.rows = pattern(7 * 5 * 3, 8);
  auto image = UIImage::imageWithData(dataOf(makePNG(recipe)));
  auto png = UIImagePNGRepresentation(image);
  ASSERT_TRUE(png);
  auto back = UIImage::imageWithData(png);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->CGImage()->alphaInfo(), kCGImageAlphaNone);
  EXPECT_EQ(packedPixels(back->CGImage()), recipe.rows);

  // With alpha: straight RGBA; opaque and clear pixels come back exactly.
  recipe.colorType = 6;
  recipe.rows = pattern(7 * 5 * 4, 9);
  for (size_t i = 0; i < recipe.rows.size(); i += 4) {
    if (recipe.rows[i + 3] < 128) {
      recipe.rows[i] = recipe.rows[i + 1] = recipe.rows[i + 2] = recipe.rows[i + 3] = 0;
    } else {
      recipe.rows[i + 3] = 255;
    }
  }
  image = UIImage::imageWithData(dataOf(makePNG(recipe)));
  back = UIImage::imageWithData(UIImagePNGRepresentation(image));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->CGImage()->alphaInfo(), kCGImageAlphaLast);
  EXPECT_EQ(packedPixels(back->CGImage()), recipe.rows);

  // A half-transparent pixel survives premultiplication within one step.
  auto context = CGBitmapContextCreate(nullptr, 1, 1, 8, 4, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedLast);
  static_cast<uint8_t*>(CGBitmapContextGetData(context))[0] = 50;
  static_cast<uint8_t*>(CGBitmapContextGetData(context))[3] = 100;
  back = UIImage::imageWithData(UIImagePNGRepresentation(UIImage::imageWithCGImage(CGBitmapContextCreateImage(context))));
  ASSERT_TRUE(back);
  auto px = packedPixels(back->CGImage());
  EXPECT_NEAR(px[0], 50 * 255 / 100.0, 1.0);
  EXPECT_EQ(px[3], 100);

  // JPEG: a decodable file of the same size; lower quality, fewer bytes.
  JPEGRecipe jpegRecipe;
  jpegRecipe.width = 64;
  jpegRecipe.height = 48;
  jpegRecipe.pixels = pattern(64 * 48 * 3, 10);
  image = UIImage::imageWithData(dataOf(makeJPEG(jpegRecipe)));
  auto best = UIImageJPEGRepresentation(image, 1.0);
  auto poor = UIImageJPEGRepresentation(image, 0.1);
  ASSERT_TRUE(best);
  ASSERT_TRUE(poor);
  EXPECT_LT(poor->length(), best->length());
  auto decoded = decodeJPEGReference(best->vector());
  EXPECT_EQ(decoded.width, 64u);
  EXPECT_EQ(decoded.height, 48u);
  EXPECT_EQ(decoded.components, 3);
  EXPECT_FALSE(UIImagePNGRepresentation(nullptr));
  EXPECT_FALSE(UIImageJPEGRepresentation(nullptr, 1.0));
}

TEST(UIImageBasics, ImageContextsDrawInPointsFromTheTopLeft) {
  EXPECT_FALSE(UIGraphicsGetCurrentContext());
  EXPECT_FALSE(UIGraphicsGetImageFromCurrentImageContext());
  // A 1 x 2 pixel image, red above blue.
  PNGRecipe recipe;
  recipe.width = 1;
  recipe.height = 2;
  recipe.colorType = 2;
  recipe.rows = {255, 0, 0, 0, 0, 255};
  auto image = UIImage::imageWithData(dataOf(makePNG(recipe)));
  UIGraphicsBeginImageContextWithOptions(CGSizeMake(2, 2), false, 0);  // the screen's scale: 2
  auto context = UIGraphicsGetCurrentContext();
  ASSERT_TRUE(context);
  EXPECT_EQ(CGBitmapContextGetWidth(context), 4u);
  EXPECT_EQ(CGBitmapContextGetHeight(context), 4u);
  EXPECT_EQ(CGBitmapContextGetBitmapInfo(context), kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Host);
  image->drawInRect(CGRectMake(0, 0, 1, 2));  // the left half, upright
  auto result = UIGraphicsGetImageFromCurrentImageContext();
  UIGraphicsEndImageContext();
  EXPECT_FALSE(UIGraphicsGetCurrentContext());
  ASSERT_TRUE(result);
  EXPECT_EQ(result->scale(), 2.0);
  EXPECT_EQ(result->size(), CGSizeMake(2, 2));
  auto rgba = renderedRGBA(result->CGImage());
  auto at = [&](size_t x, size_t y) { return std::vector<uint8_t>(rgba.begin() + (y * 4 + x) * 4, rgba.begin() + (y * 4 + x) * 4 + 4); };
  EXPECT_EQ(at(0, 0), (std::vector<uint8_t>{255, 0, 0, 255}));
  EXPECT_EQ(at(1, 1), (std::vector<uint8_t>{255, 0, 0, 255}));
  EXPECT_EQ(at(0, 3), (std::vector<uint8_t>{0, 0, 255, 255}));
  EXPECT_EQ(at(2, 0), (std::vector<uint8_t>{0, 0, 0, 0}));

  // Upside-down images are drawn turned back.
  auto down = UIImage::imageWithCGImage(image->CGImage(), 1.0, UIImageOrientationDown);
  UIGraphicsBeginImageContextWithOptions(down->size(), true, 1.0);
  down->drawAtPoint(CGPointZero);
  result = UIGraphicsGetImageFromCurrentImageContext();
  UIGraphicsEndImageContext();
  EXPECT_EQ(renderedRGBA(result->CGImage()), (std::vector<uint8_t>{0, 0, 255, 255, 255, 0, 0, 255}));

  // Nested and pushed contexts unwind in order; an empty size makes no context.
  UIGraphicsBeginImageContextWithOptions(CGSizeMake(0, 0), false, 1.0);
  EXPECT_FALSE(UIGraphicsGetCurrentContext());
  UIGraphicsPushContext(context);
  EXPECT_EQ(UIGraphicsGetCurrentContext(), context);
  UIGraphicsPopContext();
  UIGraphicsEndImageContext();
  EXPECT_FALSE(UIGraphicsGetCurrentContext());
}

TEST(UIImageConcurrency, LazyAndWholeDecodesFromManyThreadsAgree) {
  PNGRecipe recipe;
  recipe.width = 64;
  recipe.height = 64;
  recipe.colorType = 6;
  recipe.rows = pattern(64 * 64 * 4, 77);
  auto data = dataOf(makePNG(recipe));
  auto lazy = CGImageCreateWithPNGDataProvider(CGDataProviderCreateWithCFData(data), nullptr, true,
                                               kCGRenderingIntentDefault);
  GIFRecipe gifRecipe;
  gifRecipe.width = gifRecipe.height = 2;
  gifRecipe.palette = {0, 0, 0, 255, 255, 255};
  GIFFrameRecipe gifFrame;
  gifFrame.width = gifFrame.height = 2;
  gifFrame.indexes = {0, 1, 1, 0};
  gifRecipe.frames = {gifFrame};
  auto gif = dataOf(makeGIF(gifRecipe));
  auto gifSource = CGImageSourceCreateWithData(gif, nullptr);
  std::vector<std::thread> threads;
  std::vector<int> good(8, 0);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      bool ok = lazy->pixelData() && packedPixels(lazy) == recipe.rows;
      auto image = UIImage::imageWithData(data);
      ok = ok && image && packedPixels(image->CGImage()) == recipe.rows;
      ok = ok && CGImageSourceGetCount(gifSource) == 1 && CGImageSourceCreateImageAtIndex(gifSource, 0, nullptr);
      good[t] = ok ? 1 : 0;
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(std::count(good.begin(), good.end(), 1), 8);
  EXPECT_EQ(lazy->pixelData(), lazy->pixelData());  // decoded once
}
