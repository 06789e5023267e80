// The image response serializer over the platform's decoders: exact pixels after inflation
// (PNG, JPEG, CMYK JPEG plain and Adobe-inverted, GIF), the inflation limits, damaged bytes.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "foundation/http/NWImageResponseSerializer.h"
#include "platform/foundation/Foundation.h"
#include "platform/graphics/CGBitmapContext.h"
#include "platform/graphics/CGColorSpace.h"
#include "tests/support/ImageFixtures.h"

namespace {

using zvt::test::GIFFrameRecipe;
using zvt::test::GIFRecipe;
using zvt::test::JPEGRecipe;

std::shared_ptr<NSData> dataOf(const std::vector<uint8_t>& bytes) { return NSData::dataWithBytes(bytes.data(), bytes.size()); }

std::shared_ptr<NSHTTPURLResponse> reply(const std::string& type) {
  return NSHTTPURLResponse::initWithURL(NSURL::URLWithString("http://h.test/i"), 200, "HTTP/1.1"_ns,
                                        NSDictionary::make({{"Content-Type"_ns, NSString::stringWithUTF8String(type)}}));
}

// RGBA, premultiplied last, 8 bits: the common form in which two images are compared.
std::vector<uint8_t> pixelsOf(const CGImageRef& image) {
  size_t w = CGImageGetWidth(image), h = CGImageGetHeight(image);
  std::vector<uint8_t> pixels(w * h * 4);
  auto context = CGBitmapContextCreate(pixels.data(), w, h, 8, w * 4, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedLast);
  EXPECT_TRUE(context);
  if (!context) return {};
  CGContextDrawImage(context, CGRectMake(0, 0, static_cast<CGFloat>(w), static_cast<CGFloat>(h)), image);
  return pixels;
}

// A w x h opaque pattern as an image.
CGImageRef pattern(size_t w, size_t h, bool alpha) {
  std::vector<uint8_t> pixels(w * h * 4);
  for (size_t y = 0; y < h; ++y) {
    for (size_t x = 0; x < w; ++x) {
      uint8_t* p = &pixels[(y * w + x) * 4];
      uint8_t a = alpha ? static_cast<uint8_t>(x % 2 ? 255 : 0) : 255;
      p[0] = static_cast<uint8_t>((x * 37) * a / 255);
      p[1] = static_cast<uint8_t>((y * 53) * a / 255);
      p[2] = static_cast<uint8_t>(((x + y) * 11) * a / 255);
      p[3] = a;
    }
  }
  auto context = CGBitmapContextCreate(pixels.data(), w, h, 8, w * 4, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedLast);
  return CGBitmapContextCreateImage(context);
}

TEST(HttpImageSerializer, PNGInflatesPixelExactAtTheScale) {
  for (bool alpha : {false, true}) {
    auto source = pattern(40, 30, alpha);
    auto png = UIImagePNGRepresentation(UIImage::imageWithCGImage(source));
    ASSERT_TRUE(png);
    auto serializer = NWImageResponseSerializer::serializer();
    serializer->setImageScale(3);
    std::shared_ptr<NSError> error;
    auto image = std::dynamic_pointer_cast<UIImage>(serializer->responseObjectForResponse(reply("image/png"), png, &error));
    ASSERT_TRUE(image);
    EXPECT_FALSE(error);
    EXPECT_DOUBLE_EQ(image->scale(), 3.0);
    EXPECT_EQ(CGImageGetWidth(image->CGImage()), 40u);
    // Redrawn into the device RGB layout with the alpha first.
    uint32_t alphaInfo = CGImageGetBitmapInfo(image->CGImage()) & kCGBitmapAlphaInfoMask;
    EXPECT_TRUE(alphaInfo == kCGImageAlphaPremultipliedFirst || alphaInfo == kCGImageAlphaNoneSkipFirst) << alphaInfo;
    EXPECT_EQ(pixelsOf(image->CGImage()), pixelsOf(source)) << "alpha " << alpha;
    // The plain path gives the same pixels.
    serializer->setAutomaticallyInflatesResponseImage(false);
    auto plain = std::dynamic_pointer_cast<UIImage>(serializer->responseObjectForResponse(reply("image/png"), png, &error));
    ASSERT_TRUE(plain);
    EXPECT_EQ(pixelsOf(plain->CGImage()), pixelsOf(source));
  }
}

TEST(HttpImageSerializer, JPEGInflatesToTheDecodedPixels) {
  auto jpeg = UIImageJPEGRepresentation(UIImage::imageWithCGImage(pattern(33, 17, false)), 0.9);
  ASSERT_TRUE(jpeg);
  auto decoded = UIImage::imageWithData(jpeg);
  ASSERT_TRUE(decoded);
  std::shared_ptr<NSError> error;
  auto image = std::dynamic_pointer_cast<UIImage>(NWImageResponseSerializer::serializer()->responseObjectForResponse(reply("image/jpeg"), jpeg, &error));
  ASSERT_TRUE(image);
  EXPECT_EQ(pixelsOf(image->CGImage()), pixelsOf(decoded->CGImage()));
}

// A CMYK ramp with some variation in every channel.
JPEGRecipe cmykRecipe(uint32_t w, uint32_t h, bool adobeInverted) {
  JPEGRecipe recipe;
  recipe.width = w;
  recipe.height = h;
  recipe.components = 4;
  recipe.adobeInverted = adobeInverted;
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      recipe.pixels.push_back(static_cast<uint8_t>(x * 255 / w));
      recipe.pixels.push_back(static_cast<uint8_t>(y * 255 / h));
      recipe.pixels.push_back(static_cast<uint8_t>((x + y) * 7));
      recipe.pixels.push_back(static_cast<uint8_t>((x * y) % 200));
    }
  }
  return recipe;
}

// The RGBA pixels that a CMYK file decodes to: libjpeg's samples (turned back when Adobe stored
// them inverted), each channel (255 - c)(255 - k) / 255 rounded to the nearest, opaque.
std::vector<uint8_t> expectedRGBAOfCMYK(const std::vector<uint8_t>& jpeg, bool adobeInverted) {
  auto reference = zvt::test::decodeJPEGReference(jpeg);
  EXPECT_EQ(reference.components, 4);
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 3 < reference.pixels.size(); i += 4) {
    unsigned s[4];
    for (int c = 0; c < 4; ++c) s[c] = adobeInverted ? 255u - reference.pixels[i + c] : reference.pixels[i + c];
    for (int c = 0; c < 3; ++c) out.push_back(static_cast<uint8_t>(((255 - s[c]) * (255 - s[3]) + 127) / 255));
    out.push_back(255);
  }
  return out;
}

TEST(HttpImageSerializer, CMYKJPEGIsDecodedPlainlyThenInflatedToRGB) {
  for (bool adobe : {false, true}) {
    auto bytes = zvt::test::makeJPEG(cmykRecipe(37, 21, adobe));
    auto expected = expectedRGBAOfCMYK(bytes, adobe);
    auto serializer = NWImageResponseSerializer::serializer();
    serializer->setImageScale(2);
    std::shared_ptr<NSError> error;
    auto image = std::dynamic_pointer_cast<UIImage>(serializer->responseObjectForResponse(reply("image/jpeg"), dataOf(bytes), &error));
    ASSERT_TRUE(image) << "adobe " << adobe;
    EXPECT_FALSE(error);
    EXPECT_DOUBLE_EQ(image->scale(), 2.0);
    // Redrawn into device RGB with a skipped first byte, not left as CMYK.
    auto bitmap = image->CGImage();
    EXPECT_EQ(CGColorSpaceGetModel(CGImageGetColorSpace(bitmap)), kCGColorSpaceModelRGB) << "adobe " << adobe;
    EXPECT_EQ(CGImageGetBitmapInfo(bitmap) & kCGBitmapAlphaInfoMask, kCGImageAlphaNoneSkipFirst);
    EXPECT_EQ(CGImageGetWidth(bitmap), 37u);
    EXPECT_EQ(CGImageGetHeight(bitmap), 21u);
    EXPECT_EQ(pixelsOf(bitmap), expected) << "adobe " << adobe;
    // Without inflation the bitmap stays CMYK and draws to the same pixels.
    serializer->setAutomaticallyInflatesResponseImage(false);
    auto plain = std::dynamic_pointer_cast<UIImage>(serializer->responseObjectForResponse(reply("image/jpeg"), dataOf(bytes), &error));
    ASSERT_TRUE(plain);
    EXPECT_EQ(CGColorSpaceGetModel(CGImageGetColorSpace(plain->CGImage())), kCGColorSpaceModelCMYK);
    EXPECT_DOUBLE_EQ(plain->scale(), 2.0);
    EXPECT_EQ(pixelsOf(plain->CGImage()), expected) << "adobe " << adobe;
  }
}

TEST(HttpImageSerializer, InflationStopsAboveAMegapixelAndAboveEightBits) {
  auto serializer = NWImageResponseSerializer::serializer();
  std::shared_ptr<NSError> error;
  // 1024 x 1024 is still inflated; one column more is not and keeps the decoder's CMYK.
  for (uint32_t width : {1024u, 1025u}) {
    auto bytes = zvt::test::makeJPEG(cmykRecipe(width, 1024, true));
    auto image = std::dynamic_pointer_cast<UIImage>(serializer->responseObjectForResponse(reply("image/jpeg"), dataOf(bytes), &error));
    ASSERT_TRUE(image) << width;
    EXPECT_EQ(CGImageGetWidth(image->CGImage()), width);
    EXPECT_EQ(CGColorSpaceGetModel(CGImageGetColorSpace(image->CGImage())),
              width == 1024 ? kCGColorSpaceModelRGB : kCGColorSpaceModelCMYK)
        << width;
    EXPECT_EQ(pixelsOf(image->CGImage()), expectedRGBAOfCMYK(bytes, true)) << width;
  }

  // 16 bits per sample: returned as decoded; 8-bit gray of the same size is inflated into RGB.
  for (int depth : {16, 8}) {
    zvt::test::PNGRecipe recipe;
    recipe.width = 6;
    recipe.height = 5;
    recipe.bitDepth = depth;
    recipe.colorType = 0;
    std::vector<uint8_t> expected;
    for (uint32_t i = 0; i < recipe.width * recipe.height; ++i) {
      uint8_t v = static_cast<uint8_t>(i * 8);
      recipe.rows.push_back(v);
      if (depth == 16) recipe.rows.push_back(v);  // v * 257 reads back as v
      expected.insert(expected.end(), {v, v, v, 255});
    }
    auto image = std::dynamic_pointer_cast<UIImage>(
        serializer->responseObjectForResponse(reply("image/png"), dataOf(zvt::test::makePNG(recipe)), &error));
    ASSERT_TRUE(image) << depth;
    EXPECT_EQ(CGImageGetBitsPerComponent(image->CGImage()), static_cast<size_t>(depth));
    EXPECT_EQ(CGColorSpaceGetModel(CGImageGetColorSpace(image->CGImage())),
              depth == 16 ? kCGColorSpaceModelMonochrome : kCGColorSpaceModelRGB)
        << depth;
    EXPECT_EQ(pixelsOf(image->CGImage()), expected) << depth;
  }
}

// The first frame of a GIF lies inside the canvas, with a transparent index; later frames
// paint the whole canvas.
GIFRecipe twoFrameGIF() {
  GIFRecipe recipe;
  recipe.width = 4;
  recipe.height = 4;
  recipe.palette = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};  // black red green blue
  recipe.loopCount = 0;
  GIFFrameRecipe first;
  first.left = 1;
  first.top = 1;
  first.width = 3;
  first.height = 2;
  first.indexes = {2, 0, 3, 0, 1, 2};
  first.transparentIndex = 0;
  first.delay = 20;
  first.disposal = 2;
  GIFFrameRecipe second;
  second.width = 4;
  second.height = 4;
  second.indexes = std::vector<uint8_t>(16, 1);
  second.delay = 30;
  recipe.frames = {first, second};
  return recipe;
}

TEST(HttpImageSerializer, GIFGivesItsFirstFrameOnTheCanvasInflated) {
  using Px = std::array<uint8_t, 4>;
  const Px T{0, 0, 0, 0}, R{255, 0, 0, 255}, G{0, 255, 0, 255}, B{0, 0, 255, 255};
  std::vector<uint8_t> expected;
  for (const Px& p : {T, T, T, T, T, G, T, B, T, T, R, G, T, T, T, T}) expected.insert(expected.end(), p.begin(), p.end());

  auto bytes = dataOf(zvt::test::makeGIF(twoFrameGIF()));
  auto serializer = NWImageResponseSerializer::serializer();
  serializer->setImageScale(3);
  std::shared_ptr<NSError> error;
  auto image = std::dynamic_pointer_cast<UIImage>(serializer->responseObjectForResponse(reply("image/gif"), bytes, &error));
  ASSERT_TRUE(image);
  EXPECT_FALSE(error);
  // Image data makes a still image of the first frame, as the platform's imageWithData does;
  // being still, it is inflated at the scale like any other.
  EXPECT_FALSE(image->images());
  EXPECT_DOUBLE_EQ(image->scale(), 3.0);
  EXPECT_EQ(CGImageGetWidth(image->CGImage()), 4u);
  EXPECT_EQ(CGImageGetHeight(image->CGImage()), 4u);
  EXPECT_EQ(CGImageGetBitmapInfo(image->CGImage()) & kCGBitmapAlphaInfoMask, kCGImageAlphaPremultipliedFirst);
  EXPECT_EQ(pixelsOf(image->CGImage()), expected);

  serializer->setAutomaticallyInflatesResponseImage(false);
  auto plain = std::dynamic_pointer_cast<UIImage>(serializer->responseObjectForResponse(reply("image/gif"), bytes, &error));
  ASSERT_TRUE(plain);
  EXPECT_FALSE(plain->images());
  EXPECT_DOUBLE_EQ(plain->scale(), 3.0);
  EXPECT_EQ(pixelsOf(plain->CGImage()), expected);

  // A GIF cut inside its second frame is no image.
  auto cut = NSData::dataWithBytes(bytes->bytes(), bytes->length() - 6);
  EXPECT_FALSE(NWImageResponseSerializer::serializer()->responseObjectForResponse(reply("image/gif"), cut, &error));
}

TEST(HttpImageSerializer, LargeImagesAreNotInflated) {
  auto jpeg = UIImageJPEGRepresentation(UIImage::imageWithCGImage(pattern(2000, 2000, false)), 0.5);
  ASSERT_TRUE(jpeg);
  auto serializer = NWImageResponseSerializer::serializer();
  std::shared_ptr<NSError> error;
  auto image = std::dynamic_pointer_cast<UIImage>(serializer->responseObjectForResponse(reply("image/jpeg"), jpeg, &error));
  ASSERT_TRUE(image);
  // Not redrawn: the bitmap keeps the decoder's layout (no skipped alpha byte added).
  EXPECT_NE(CGImageGetBitmapInfo(image->CGImage()) & kCGBitmapAlphaInfoMask, kCGImageAlphaNoneSkipFirst);
  EXPECT_EQ(CGImageGetWidth(image->CGImage()), 2000u);
}

TEST(HttpImageSerializer, DamagedBytesAndRefusedTypesGiveNil) {
  auto png = UIImagePNGRepresentation(UIImage::imageWithCGImage(pattern(16, 16, false)));
  auto serializer = NWImageResponseSerializer::serializer();
  std::shared_ptr<NSError> error;
  // Cuts inside the header and the pixel data (the closing chunk carries no pixels).
  for (size_t cut : {size_t(0), size_t(8), size_t(30), png->length() / 2, png->length() - 20}) {
    auto truncated = NSData::dataWithBytes(png->bytes(), cut);
    EXPECT_FALSE(serializer->responseObjectForResponse(reply("image/png"), truncated, &error)) << cut;
    EXPECT_FALSE(serializer->responseObjectForResponse(reply("image/jpeg"), truncated, &error)) << cut;
  }
  auto garbage = NSData::dataWithString(std::string("\x89PNG\r\n\x1a\n") + std::string(100, '\x7f'));
  EXPECT_FALSE(serializer->responseObjectForResponse(reply("image/png"), garbage, &error));
  error.reset();
  EXPECT_FALSE(serializer->responseObjectForResponse(reply("text/html"), png, &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), -1016);
}

TEST(HttpImageSerializer, CompoundOfJSONAndImage) {
  auto compound = NWCompoundResponseSerializer::compoundSerializerWithResponseSerializers(
      NSArray::make({NWJSONResponseSerializer::serializer(), NWImageResponseSerializer::serializer()}));
  auto png = UIImagePNGRepresentation(UIImage::imageWithCGImage(pattern(4, 4, false)));
  std::shared_ptr<NSError> error;
  EXPECT_TRUE(zvt::isKind<UIImage>(compound->responseObjectForResponse(reply("image/png"), png, &error)));
  EXPECT_TRUE(zvt::isKind<NSArray>(compound->responseObjectForResponse(reply("application/json"), NSData::dataWithString("[1]"), &error)));
}

}  // namespace
