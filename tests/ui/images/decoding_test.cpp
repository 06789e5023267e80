// Image data decoding: content-type sniffing, any-format decoding with EXIF orientation,
// animated GIFs and their frame durations, the scale a cache key names, forced decoding,
// scaling animated images, and hostile headers.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <zlib.h>

#include <cstring>

#include "platform/graphics/CGBitmapContext.h"
#include "platform/graphics/UIScreen.h"
#include "platform/graphics/internal/Codecs.h"
#include "tests/support/ResidentSize.h"
#include "tests/support/TempHome.h"
#include "tests/ui/images/ImageTestSupport.h"
#include "ui/images/NSData+ImageKind.h"
#include "ui/images/UIImage+AnyFormat.h"
#include "ui/images/UIImage+GIF.h"
#include "ui/images/UIImage+Predecode.h"
#include "ui/images/WIWebImageCompat.h"

namespace {

using namespace zvt::test;

class ScreenScale {
 public:
  explicit ScreenScale(CGFloat scale) : saved_(UIScreen::mainScreen()->scale()) { UIScreen::mainScreen()->setScale(scale); }
  ~ScreenScale() { UIScreen::mainScreen()->setScale(saved_); }

 private:
  CGFloat saved_;
};

// The pixel at (x, y) as premultiplied RGBA.
std::vector<uint8_t> pixelAt(const CGImageRef& image, size_t x, size_t y) {
  auto context = CGBitmapContextCreate(nullptr, image->width(), image->height(), 8, image->width() * 4,
                                       CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedLast);
  CGContextDrawImage(context, CGRectMake(0, 0, static_cast<CGFloat>(image->width()), static_cast<CGFloat>(image->height())), image);
  auto bytes = static_cast<const uint8_t*>(CGBitmapContextGetData(context)) + (y * image->width() + x) * 4;
  return {bytes[0], bytes[1], bytes[2], bytes[3]};
}

TEST(ImageDecoding, SniffsTheContentTypeByTheFirstByte) {
  const struct {
    std::string bytes;
    const char* type;
  } cases[] = {
      {"\xFF\xD8", "image/jpeg"},
      {"\x89P", "image/png"},
      {"GIF", "image/gif"},
      {"II", "image/tiff"},
      {"MM", "image/tiff"},
      {std::string("RIFF\x10\0\0\0WEBP", 12), "image/webp"},
      {std::string("RIFF\x10\0\0\0WEB", 11), nullptr},
      {std::string("RIFF\x10\0\0\0WAVE", 12), nullptr},
      {"\x00\x01", nullptr},
      {"", nullptr},
  };
  for (const auto& c : cases) {
    auto type = wi_contentTypeForImageData(NSData::dataWithString(c.bytes));
    EXPECT_EQ(type ? type->utf8() : "nil", c.type ? c.type : "nil") << testing::PrintToString(c.bytes);
    EXPECT_EQ(contentTypeForImageData(NSData::dataWithString(c.bytes)) == nullptr, c.type == nullptr);
  }
  EXPECT_FALSE(wi_contentTypeForImageData(nullptr));
}

TEST(ImageDecoding, DecodesEveryFormatWithItsOrientationAndFrames) {
  ScreenScale scale(2.0);
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    bool decodes;
    size_t frames;  // 0: a static image
    double duration;
    UIImageOrientation orientation;
    size_t pixelWidth, pixelHeight;
  } cases[] = {
      {"png", pngImage(4, 3, true), true, 0, 0, UIImageOrientationUp, 4, 3},
      {"jpeg, EXIF 6", jpegImage(6, 4, 6), true, 0, 0, UIImageOrientationRight, 6, 4},
      {"jpeg, EXIF 3", jpegImage(6, 4, 3), true, 0, 0, UIImageOrientationDown, 6, 4},
      {"gif of one frame", gifImage(1, 10), true, 0, 0, UIImageOrientationUp, 4, 4},
      {"gif without delays", gifImage(3, -1), true, 3, 0.3, UIImageOrientationUp, 4, 4},
      {"gif with delay 0", gifImage(2, 0), true, 2, 0.2, UIImageOrientationUp, 4, 4},
      {"gif with delay 0.01 s", gifImage(2, 1), true, 2, 0.2, UIImageOrientationUp, 4, 4},
      {"gif with delay 0.02 s", gifImage(3, 2), true, 3, 0.06, UIImageOrientationUp, 4, 4},
      {"garbage", {1, 2, 3, 4, 5}, false, 0, 0, UIImageOrientationUp, 0, 0},
      {"cut short", [] { auto b = pngImage(4, 4, false); b.resize(b.size() / 2); return b; }(), false, 0, 0,
       UIImageOrientationUp, 0, 0},
  };
  for (const auto& c : cases) {
    auto image = wi_imageWithData(dataOf(c.bytes));
    ASSERT_EQ(image != nullptr, c.decodes) << c.name;
    if (!image) continue;
    EXPECT_EQ(image->imageOrientation(), c.orientation) << c.name;
    EXPECT_EQ(image->CGImage()->width(), c.pixelWidth) << c.name;
    EXPECT_EQ(image->CGImage()->height(), c.pixelHeight) << c.name;
    EXPECT_EQ(image->images() ? image->images()->count() : 0, c.frames) << c.name;
    if (c.frames > 0) {
      EXPECT_NEAR(image->duration(), c.duration, 1e-6) << c.name;
      EXPECT_EQ(image->scale(), 2.0) << c.name;  // frames take the screen's scale
    } else {
      EXPECT_EQ(image->scale(), 1.0) << c.name;
    }
  }
  EXPECT_FALSE(wi_imageWithData(nullptr));
  EXPECT_FALSE(wi_animatedGIFWithData(nullptr));
  EXPECT_EQ(wi_imageOrientationFromImageData(dataOf(pngImage(2, 2, false))), UIImageOrientationUp);
}

TEST(ImageDecoding, MapsExifOrientations) {
  const UIImageOrientation expected[] = {UIImageOrientationUp,           UIImageOrientationUp,
                                         UIImageOrientationUpMirrored,   UIImageOrientationDown,
                                         UIImageOrientationDownMirrored, UIImageOrientationLeftMirrored,
                                         UIImageOrientationRight,        UIImageOrientationRightMirrored,
                                         UIImageOrientationLeft,         UIImageOrientationUp};
  for (int32_t value = 0; value <= 9; ++value) {
    EXPECT_EQ(wi_exifOrientationToiOSOrientation(value), expected[value]) << value;
  }
  EXPECT_EQ(wi_exifOrientationToiOSOrientation(-1), UIImageOrientationUp);
}

TEST(ImageDecoding, GivesImagesTheScaleTheirKeyNames) {
  ScreenScale scale(1.0);
  auto image = wi_imageWithData(dataOf(pngImage(6, 6, false)));
  const struct {
    const char* key;
    CGFloat scale;
  } cases[] = {
      {"http://h/a.png", 1.0},       {"http://h/a@2x.png", 2.0}, {"http://h/a@3x.png", 3.0},
      {"h/a@3x.b@2x.png", 3.0},      {"a@2x.png", 2.0},          {"b@2x.pn", 1.0},
      {"http://h/a@2x_png", 1.0},
  };
  for (const auto& c : cases) {
    auto scaled = zvt::images::scaledImageForKey(NSString::stringWithUTF8String(c.key), image);
    EXPECT_EQ(scaled->scale(), c.scale) << c.key;
    EXPECT_EQ(scaled->CGImage(), image->CGImage()) << c.key;
  }
  ScreenScale three(3.0);
  EXPECT_EQ(zvt::images::scaledImageForKey(nullptr, image)->scale(), 3.0);
  EXPECT_FALSE(zvt::images::scaledImageForKey("k"_ns, nullptr));
  auto animated = zvt::images::scaledImageForKey("http://h/a@2x.gif"_ns, wi_imageWithData(dataOf(gifImage(3, 5))));
  ASSERT_EQ(animated->images()->count(), 3u);
  EXPECT_EQ(std::static_pointer_cast<UIImage>(animated->images()->objectAtIndex(2))->scale(), 2.0);
  EXPECT_NEAR(animated->duration(), 0.15, 1e-6);
}

TEST(ImageDecoding, ForcedDecodingRedrawsOnlyOpaqueStillImages) {
  auto opaque = UIImage::imageWithCGImage(UIImage::imageWithData(dataOf(jpegImage(5, 3, 0, 200)))->CGImage(), 2.0,
                                          UIImageOrientationLeft);
  auto decoded = decodedImageWithImage(opaque);
  ASSERT_NE(decoded, opaque);
  EXPECT_EQ(CGImageGetAlphaInfo(decoded->CGImage()), kCGImageAlphaPremultipliedFirst);
  EXPECT_EQ(decoded->scale(), 2.0);
  EXPECT_EQ(decoded->imageOrientation(), UIImageOrientationLeft);
  EXPECT_EQ(pixelAt(decoded->CGImage(), 2, 1), pixelAt(opaque->CGImage(), 2, 1));

  JPEGRecipe gray;
  gray.width = gray.height = 2;
  gray.components = 1;
  gray.pixels = {10, 20, 30, 40};
  auto grayDecoded = decodedImageWithImage(UIImage::imageWithData(dataOf(makeJPEG(gray))));
  EXPECT_EQ(CGColorSpaceGetModel(CGImageGetColorSpace(grayDecoded->CGImage())), kCGColorSpaceModelRGB);

  PNGRecipe deep;
  deep.width = deep.height = 2;
  deep.bitDepth = 16;
  deep.colorType = 2;
  deep.rows.assign(2 * 2 * 6, 0x40);
  const std::shared_ptr<UIImage> untouched[] = {
      UIImage::imageWithData(dataOf(pngImage(3, 3, true))),        // straight alpha
      decoded,                                                     // premultiplied alpha
      wi_imageWithData(dataOf(jpegImage(5, 3))),                   // decoded for drawing already
      wi_imageWithData(dataOf(gifImage(2, 5))),                    // animated
      UIImage::imageWithData(dataOf(makePNG(deep))),               // no bitmap of 16 bits to draw into
  };
  for (const auto& image : untouched) EXPECT_EQ(decodedImageWithImage(image), image);
  EXPECT_FALSE(decodedImageWithImage(nullptr));
}

TEST(ImageDecoding, ScalesAnimatedImagesToFillASize) {
  ScreenScale scale(1.0);
  // 4 x 2: two red columns, then two blue ones.
  PNGRecipe recipe;
  recipe.width = 4;
  recipe.height = 2;
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 4; ++x) {
      std::vector<uint8_t> rgb = x < 2 ? std::vector<uint8_t>{255, 0, 0} : std::vector<uint8_t>{0, 0, 255};
      recipe.rows.insert(recipe.rows.end(), rgb.begin(), rgb.end());
    }
  }
  auto image = UIImage::imageWithData(dataOf(makePNG(recipe)));
  EXPECT_EQ(wi_animatedImageByScalingAndCroppingToSize(image, CGSizeMake(4, 2)), image);
  EXPECT_EQ(wi_animatedImageByScalingAndCroppingToSize(image, CGSizeZero), image);
  auto cropped = wi_animatedImageByScalingAndCroppingToSize(image, CGSizeMake(2, 2));
  ASSERT_EQ(cropped->images()->count(), 1u);
  EXPECT_EQ(cropped->size().width, 2);
  // The middle two columns remain: one red, one blue.
  EXPECT_EQ(pixelAt(cropped->CGImage(), 0, 0), (std::vector<uint8_t>{255, 0, 0, 255}));
  EXPECT_EQ(pixelAt(cropped->CGImage(), 1, 0), (std::vector<uint8_t>{0, 0, 255, 255}));

  auto animated = wi_animatedImageByScalingAndCroppingToSize(wi_imageWithData(dataOf(gifImage(3, 4))), CGSizeMake(8, 2));
  EXPECT_EQ(animated->images()->count(), 3u);
  EXPECT_NEAR(animated->duration(), 0.12, 1e-6);
  EXPECT_EQ(animated->size().width, 8);
}

TEST(ImageDecoding, FindsNamedGIFsForTheScreen) {
  TempBundle bundle;
  bundle.writeFile("spin@2x.gif", textOf(gifImage(3, 5)));
  bundle.writeFile("spin.gif", textOf(gifImage(2, 5)));
  const struct {
    CGFloat scale;
    size_t frames;
  } cases[] = {{2.0, 3}, {1.0, 2}};
  for (const auto& c : cases) {
    ScreenScale scale(c.scale);
    auto image = wi_animatedGIFNamed("spin"_ns);
    ASSERT_TRUE(image && image->images()) << c.scale;
    EXPECT_EQ(image->images()->count(), c.frames) << c.scale;
  }
  EXPECT_FALSE(wi_animatedGIFNamed("missing"_ns));
}

// Rewrites the declared size of a PNG (its IHDR chunk, CRC included).
std::vector<uint8_t> withPNGSize(std::vector<uint8_t> png, uint32_t width, uint32_t height) {
  auto put = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) png[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
  };
  put(16, width);
  put(20, height);
  put(29, static_cast<uint32_t>(crc32(0, png.data() + 12, 17)));
  return png;
}

// Rewrites the declared size of a baseline JPEG (its SOF0 segment).
std::vector<uint8_t> withJPEGSize(std::vector<uint8_t> jpeg, uint16_t width, uint16_t height) {
  for (size_t i = 2; i + 9 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
      jpeg[i + 5] = static_cast<uint8_t>(height >> 8);
      jpeg[i + 6] = static_cast<uint8_t>(height);
      jpeg[i + 7] = static_cast<uint8_t>(width >> 8);
      jpeg[i + 8] = static_cast<uint8_t>(width);
      break;
    }
  }
  return jpeg;
}

long peakResidentKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

TEST(ImageDecoding, RefusesHostileSizesWithoutAllocatingThem) {
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"png of 100000 x 100000", withPNGSize(pngImage(4, 4, false), 100000, 100000)},
      {"png of 9000 x 9000 (81 megapixels)", withPNGSize(pngImage(4, 4, true), 9000, 9000)},
      {"jpeg of 60000 x 60000", withJPEGSize(jpegImage(16, 16), 60000, 60000)},
  };
  const long before = peakResidentKiB();
  for (const auto& c : cases) {
    EXPECT_FALSE(wi_imageWithData(dataOf(c.bytes))) << c.name;
    auto decoded = decodedImageWithImage(UIImage::imageWithData(dataOf(c.bytes)));
    EXPECT_FALSE(decoded) << c.name;
  }
  EXPECT_LT(peakResidentKiB() - before, 64 * 1024);
}

TEST(ImageDecoding, GIFsOverTheBudgetsAreRefusedBeforeTheirMemoryIsTakenAndALoneFrameIsDecodedOnce) {
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
  } bombs[] = {
      {"one 1 x 1 frame on an 8192 x 8192 screen", gifOnScreen(8192, 8192, 1)},
      {"two frames on an 8192 x 8192 screen", gifOnScreen(8192, 8192, 2)},
      {"17 frames on a 2048 x 2048 screen (16 MiB each)", gifOnScreen(2048, 2048, 17)},
  };
  for (const auto& c : bombs) {
    PeakResidentGrowth growth;
    EXPECT_FALSE(wi_imageWithData(dataOf(c.bytes))) << c.name;
    EXPECT_FALSE(wi_animatedGIFWithData(dataOf(c.bytes))) << c.name;
    EXPECT_LT(growth.bytes(), size_t{64} << 20) << c.name;
  }
  // Asking for the frame count decodes a GIF; its lone frame is taken from that decode.
  const size_t before = zvt::graphics::gifDecodeCount();
  auto single = wi_animatedGIFWithData(dataOf(gifImage(1, 10)));
  ASSERT_TRUE(single);
  EXPECT_EQ(single->CGImage()->width(), 4u);
  EXPECT_EQ(zvt::graphics::gifDecodeCount(), before + 1);
  // A lone frame that is cut short is no picture.
  auto cut = gifImage(1, 10);
  cut.resize(cut.size() - 6);
  EXPECT_FALSE(wi_animatedGIFWithData(dataOf(cut)));
}

}  // namespace
