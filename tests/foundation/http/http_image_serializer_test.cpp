// The image response serializer over the platform's decoders: exact pixels after inflation,
// the inflation limits, damaged bytes.
#include <gtest/gtest.h>

#include <cstring>

#include "foundation/http/NWImageResponseSerializer.h"
#include "platform/foundation/Foundation.h"
#include "platform/graphics/CGBitmapContext.h"
#include "platform/graphics/CGColorSpace.h"

namespace {

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
