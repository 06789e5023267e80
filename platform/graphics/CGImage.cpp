#include "platform/graphics/CGImage.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "platform/foundation/NSString.h"
#include "platform/graphics/internal/Codecs.h"
#include "platform/graphics/internal/PixelLayout.h"

using zvt::graphics::DecodedBitmap;
using zvt::graphics::ImageHeader;

namespace zvt {
namespace {
thread_local const ImageDecodingBudget* currentBudget = nullptr;
}  // namespace

bool ImageDecodingBudget::allows(size_t width, size_t height) const {
  if (width > maxSide || height > maxSide) return false;
  return height == 0 || width <= maxPixels / height;
}

bool imageSizeAllowed(size_t width, size_t height) { return ImageDecodingBudget().allows(width, height); }

const ImageDecodingBudget& imageDecodingBudget() {
  static const ImageDecodingBudget defaults;
  return currentBudget ? *currentBudget : defaults;
}

ImageDecodingBudgetScope::ImageDecodingBudgetScope(const ImageDecodingBudget& budget)
    : budget_(budget), previous_(currentBudget) {
  currentBudget = &budget_;
}

ImageDecodingBudgetScope::~ImageDecodingBudgetScope() { currentBudget = previous_; }
}  // namespace zvt

CGDataProviderRef CGDataProviderCreateWithCFData(const std::shared_ptr<NSData>& data) {
  if (!data) return nullptr;
  return std::make_shared<CGDataProvider>(data->copy());
}

std::shared_ptr<NSData> CGDataProviderCopyData(const CGDataProviderRef& provider) {
  return provider ? provider->data() : nullptr;
}

CGImage::CGImage(const Layout& layout, std::shared_ptr<NSData> pixels, bool shouldInterpolate,
                 CGColorRenderingIntent intent)
    : layout_(layout), shouldInterpolate_(shouldInterpolate), intent_(intent), pixels_(std::move(pixels)) {
  std::call_once(loadOnce_, [] {});
}

CGImage::CGImage(const Layout& layout, PixelLoader loader, bool shouldInterpolate, CGColorRenderingIntent intent)
    : layout_(layout), shouldInterpolate_(shouldInterpolate), intent_(intent), loader_(std::move(loader)) {}

std::shared_ptr<NSData> CGImage::pixelData() const {
  std::call_once(loadOnce_, [this] {
    if (loader_) {
      auto pixels = loader_();
      loader_ = nullptr;
      // A decoder that disagrees with the header it reported gives no pixels rather than
      // rows that are too short.
      size_t need = layout_.height ? (layout_.height - 1) * layout_.bytesPerRow + layout_.width * layout_.bitsPerPixel / 8 : 0;
      if (pixels && pixels->length() >= need) pixels_ = std::move(pixels);
    }
  });
  return pixels_;
}

std::shared_ptr<void> CGImage::derived(const std::function<std::shared_ptr<void>()>& make) const {
  std::call_once(derivedOnce_, [&] { derived_ = make(); });
  return derived_;
}

std::shared_ptr<NSString> CGImage::description() const {
  return NSString::stringWithFormat("<CGImage %p> (%zu x %zu, %zu bpc, %zu bpp, %zu bytes/row, info 0x%x)",
                                    static_cast<const void*>(this), layout_.width, layout_.height,
                                    layout_.bitsPerComponent, layout_.bitsPerPixel, layout_.bytesPerRow,
                                    static_cast<unsigned>(layout_.bitmapInfo));
}

CGImageRef CGImageCreate(size_t width, size_t height, size_t bitsPerComponent, size_t bitsPerPixel,
                         size_t bytesPerRow, const CGColorSpaceRef& space, CGBitmapInfo bitmapInfo,
                         const CGDataProviderRef& provider, const CGFloat* decode, bool shouldInterpolate,
                         CGColorRenderingIntent intent) {
  if (decode || !provider || !provider->data() || width == 0 || height == 0) return nullptr;
  if (!zvt::imageSizeAllowed(width, height)) return nullptr;
  if (!zvt::graphics::readableLayout(bitsPerComponent, bitsPerPixel, space, bitmapInfo)) return nullptr;
  size_t rowPixels = width * bitsPerPixel / 8;
  if (bytesPerRow < rowPixels) return nullptr;
  if (provider->data()->length() < (height - 1) * bytesPerRow + rowPixels) return nullptr;
  CGImage::Layout layout{width, height, bitsPerComponent, bitsPerPixel, bytesPerRow, space, bitmapInfo};
  return std::make_shared<CGImage>(layout, provider->data(), shouldInterpolate, intent);
}

namespace {

using HeaderReader = bool (*)(const uint8_t*, size_t, const zvt::ImageDecodingBudget&, ImageHeader&);
using Decoder = bool (*)(const uint8_t*, size_t, const zvt::ImageDecodingBudget&, DecodedBitmap&, bool,
                         zvt::graphics::DecodeTarget);

CGImageRef createLazy(const CGDataProviderRef& source, const CGFloat* decode, bool shouldInterpolate,
                      CGColorRenderingIntent intent, HeaderReader readHeader, Decoder decodeBitmap) {
  if (decode || !source || !source->data()) return nullptr;
  auto data = source->data();
  const zvt::ImageDecodingBudget budget = zvt::imageDecodingBudget();
  ImageHeader header;
  if (!readHeader(data->bytes(), data->length(), budget, header)) return nullptr;
  auto loader = [data, budget, decodeBitmap]() -> std::shared_ptr<NSData> {
    DecodedBitmap bitmap;
    if (!decodeBitmap(data->bytes(), data->length(), budget, bitmap, false, zvt::graphics::DecodeTarget::stored)) {
      return nullptr;
    }
    return NSData::dataWithVector(std::move(bitmap.pixels));
  };
  return std::make_shared<CGImage>(header.layout, CGImage::PixelLoader(loader), shouldInterpolate, intent);
}

}  // namespace

CGImageRef CGImageCreateWithPNGDataProvider(const CGDataProviderRef& source, const CGFloat* decode,
                                            bool shouldInterpolate, CGColorRenderingIntent intent) {
  return createLazy(source, decode, shouldInterpolate, intent, zvt::graphics::readPNGHeader, zvt::graphics::decodePNG);
}

CGImageRef CGImageCreateWithJPEGDataProvider(const CGDataProviderRef& source, const CGFloat* decode,
                                             bool shouldInterpolate, CGColorRenderingIntent intent) {
  return createLazy(source, decode, shouldInterpolate, intent, zvt::graphics::readJPEGHeader, zvt::graphics::decodeJPEG);
}

CGImageRef CGImageCreateCopy(const CGImageRef& image) { return image; }

CGImageRef CGImageCreateWithImageInRect(const CGImageRef& image, CGRect rect) {
  if (!image) return nullptr;
  auto pixels = image->pixelData();
  if (!pixels) return nullptr;
  if (rect.size.width < 0) {
    rect.origin.x += rect.size.width;
    rect.size.width = -rect.size.width;
  }
  if (rect.size.height < 0) {
    rect.origin.y += rect.size.height;
    rect.size.height = -rect.size.height;
  }
  double x0 = std::max(0.0, std::floor(rect.origin.x));
  double y0 = std::max(0.0, std::floor(rect.origin.y));
  double x1 = std::min(static_cast<double>(image->width()), std::ceil(rect.origin.x + rect.size.width));
  double y1 = std::min(static_cast<double>(image->height()), std::ceil(rect.origin.y + rect.size.height));
  if (!(x1 > x0) || !(y1 > y0)) return nullptr;
  size_t x = static_cast<size_t>(x0), y = static_cast<size_t>(y0);
  size_t w = static_cast<size_t>(x1 - x0), h = static_cast<size_t>(y1 - y0);
  size_t bpp = image->bitsPerPixel() / 8;
  size_t rowBytes = w * bpp;
  std::vector<uint8_t> out;
  try {
    out.resize(rowBytes * h);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  for (size_t row = 0; row < h; ++row) {
    std::memcpy(out.data() + row * rowBytes, pixels->bytes() + (y + row) * image->bytesPerRow() + x * bpp, rowBytes);
  }
  CGImage::Layout layout = image->layout();
  layout.width = w;
  layout.height = h;
  layout.bytesPerRow = rowBytes;
  return std::make_shared<CGImage>(layout, NSData::dataWithVector(std::move(out)), image->shouldInterpolate(),
                                   image->renderingIntent());
}

size_t CGImageGetWidth(const CGImageRef& image) { return image ? image->width() : 0; }
size_t CGImageGetHeight(const CGImageRef& image) { return image ? image->height() : 0; }
size_t CGImageGetBitsPerComponent(const CGImageRef& image) { return image ? image->bitsPerComponent() : 0; }
size_t CGImageGetBitsPerPixel(const CGImageRef& image) { return image ? image->bitsPerPixel() : 0; }
size_t CGImageGetBytesPerRow(const CGImageRef& image) { return image ? image->bytesPerRow() : 0; }
CGColorSpaceRef CGImageGetColorSpace(const CGImageRef& image) { return image ? image->colorSpace() : nullptr; }
CGImageAlphaInfo CGImageGetAlphaInfo(const CGImageRef& image) { return image ? image->alphaInfo() : kCGImageAlphaNone; }
CGBitmapInfo CGImageGetBitmapInfo(const CGImageRef& image) { return image ? image->bitmapInfo() : 0; }
bool CGImageGetShouldInterpolate(const CGImageRef& image) { return image && image->shouldInterpolate(); }
CGColorRenderingIntent CGImageGetRenderingIntent(const CGImageRef& image) {
  return image ? image->renderingIntent() : kCGRenderingIntentDefault;
}

CGDataProviderRef CGImageGetDataProvider(const CGImageRef& image) {
  if (!image) return nullptr;
  auto pixels = image->pixelData();
  return pixels ? std::make_shared<CGDataProvider>(pixels) : nullptr;
}
