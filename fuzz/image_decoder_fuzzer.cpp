// Arbitrary bytes through every decoding road: the image source (count, status, properties,
// each image, partial images), UIImage::imageWithData, the lazily decoded PNG and JPEG images,
// and drawing what was decoded into a small context. The first byte may put a format's
// signature in front of the rest, so that mutations reach past the signature checks. Pictures
// are decoded within the fuzzing budget (FuzzImageBudget.h).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/FuzzImageBudget.h"
#include "platform/graphics/CGBitmapContext.h"
#include "platform/graphics/CGImageSource.h"
#include "platform/graphics/UIImage.h"

namespace {

void draw(const CGImageRef& image) {
  if (!image) return;
  static const CGContextRef context = CGBitmapContextCreate(nullptr, 16, 16, 8, 0, CGColorSpaceCreateDeviceRGB(),
                                                            kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little);
  CGContextDrawImage(context, CGRectMake(0, 0, 16, 16), image);
  CGContextDrawImage(context, CGRectMake(3, -2, static_cast<CGFloat>(image->width()), static_cast<CGFloat>(image->height())),
                     image);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  zvt::ImageDecodingBudgetScope budget(zvt::fuzz::kImageBudget);
  static const uint8_t kPNG[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  static const uint8_t kJPEG[] = {0xFF, 0xD8, 0xFF};
  static const uint8_t kGIF[] = {'G', 'I', 'F', '8', '9', 'a'};
  std::vector<uint8_t> bytes;
  switch (data[0] % 4) {
    case 1: bytes.assign(kPNG, kPNG + sizeof kPNG); break;
    case 2: bytes.assign(kJPEG, kJPEG + sizeof kJPEG); break;
    case 3: bytes.assign(kGIF, kGIF + sizeof kGIF); break;
    default: break;
  }
  bytes.insert(bytes.end(), data + 1, data + size);
  auto nsdata = NSData::dataWithVector(std::move(bytes));

  auto source = CGImageSourceCreateWithData(nsdata, nullptr);
  (void)CGImageSourceGetType(source);
  (void)CGImageSourceGetStatus(source);
  (void)CGImageSourceCopyProperties(source, nullptr);
  size_t count = CGImageSourceGetCount(source);
  for (size_t i = 0; i < count && i < 64; ++i) {
    (void)CGImageSourceCopyPropertiesAtIndex(source, i, nullptr);
    (void)CGImageSourceGetStatusAtIndex(source, i);
    draw(CGImageSourceCreateImageAtIndex(source, i, nullptr));
  }
  if (auto image = UIImage::imageWithData(nsdata)) {
    draw(image->CGImage());
    (void)UIImagePNGRepresentation(image);
  }
  auto provider = CGDataProviderCreateWithCFData(nsdata);
  draw(CGImageCreateWithPNGDataProvider(provider, nullptr, true, kCGRenderingIntentDefault));
  draw(CGImageCreateWithJPEGDataProvider(provider, nullptr, true, kCGRenderingIntentDefault));
  return 0;
}
