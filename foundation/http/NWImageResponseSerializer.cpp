#include "foundation/http/NWImageResponseSerializer.h"

#include "platform/graphics/CGBitmapContext.h"
#include "platform/graphics/CGColorSpace.h"
#include "platform/graphics/CGImage.h"
#include "platform/graphics/UIScreen.h"

namespace {
constexpr size_t kMaximumInflatedPixels = 1024 * 1024;
}

namespace zvt {

std::shared_ptr<UIImage> safeImageWithData(const std::shared_ptr<NSData>& data) {
  static std::mutex* imageLock = new std::mutex;
  std::lock_guard lock(*imageLock);
  return UIImage::imageWithData(data);
}

std::shared_ptr<UIImage> imageWithDataAtScale(const std::shared_ptr<NSData>& data, double scale) {
  auto image = safeImageWithData(data);
  if (!image) return nullptr;
  if (image->images()) return image;
  return UIImage::imageWithCGImage(image->CGImage(), scale, image->imageOrientation());
}

std::shared_ptr<UIImage> inflatedImageFromResponseWithDataAtScale(const std::shared_ptr<NSHTTPURLResponse>& response,
                                                                  const std::shared_ptr<NSData>& data, double scale) {
  if (!data || data->length() == 0) return nullptr;
  CGImageRef imageRef;
  auto provider = CGDataProviderCreateWithCFData(data);
  auto mimeType = response ? response->MIMEType() : nullptr;
  if (mimeType && mimeType->isEqualToString("image/png")) {
    imageRef = CGImageCreateWithPNGDataProvider(provider, nullptr, true, kCGRenderingIntentDefault);
  } else if (mimeType && mimeType->isEqualToString("image/jpeg")) {
    imageRef = CGImageCreateWithJPEGDataProvider(provider, nullptr, true, kCGRenderingIntentDefault);
    // CMYK JPEGs go through the plain decoding below, which converts them.
    if (imageRef && CGColorSpaceGetModel(CGImageGetColorSpace(imageRef)) == kCGColorSpaceModelCMYK) imageRef = nullptr;
  }
  CGDataProviderRelease(provider);

  auto image = imageWithDataAtScale(data, scale);
  // The direct decoders read only the header up front: bytes cut short or damaged later would
  // still give a bitmap (of made-up pixels). Only data that decodes whole is an image.
  if (!image) return nullptr;
  if (!imageRef) {
    if (!image || image->images()) return image;
    imageRef = CGImageCreateCopy(image->CGImage());
    if (!imageRef) return nullptr;
  }

  size_t width = CGImageGetWidth(imageRef);
  size_t height = CGImageGetHeight(imageRef);
  size_t bitsPerComponent = CGImageGetBitsPerComponent(imageRef);
  if (width * height > kMaximumInflatedPixels || bitsPerComponent > 8) return image;

  auto colorSpace = CGColorSpaceCreateDeviceRGB();
  CGBitmapInfo bitmapInfo = CGImageGetBitmapInfo(imageRef);
  // The target space decides the alpha layout, not the source's: gray and CMYK bitmaps are redrawn
  // into RGB too and need a layout an RGB context accepts.
  if (CGColorSpaceGetModel(colorSpace) == kCGColorSpaceModelRGB) {
    uint32_t alpha = bitmapInfo & kCGBitmapAlphaInfoMask;
    bitmapInfo &= ~kCGBitmapAlphaInfoMask;
    if (alpha == kCGImageAlphaNone) {
      bitmapInfo |= kCGImageAlphaNoneSkipFirst;
    } else if (alpha == kCGImageAlphaNoneSkipFirst || alpha == kCGImageAlphaNoneSkipLast) {
      bitmapInfo |= alpha;
    } else {
      bitmapInfo |= kCGImageAlphaPremultipliedFirst;
    }
  }
  auto context = CGBitmapContextCreate(nullptr, width, height, bitsPerComponent, 0, colorSpace, bitmapInfo);
  CGColorSpaceRelease(colorSpace);
  if (!context) return image;
  CGContextDrawImage(context, CGRectMake(0, 0, static_cast<CGFloat>(width), static_cast<CGFloat>(height)), imageRef);
  auto inflated = CGBitmapContextCreateImage(context);
  CGContextRelease(context);
  if (!inflated) return image;
  return UIImage::imageWithCGImage(inflated, scale, image ? image->imageOrientation() : UIImageOrientationUp);
}

}  // namespace zvt

NWImageResponseSerializer::NWImageResponseSerializer() : imageScale_(UIScreen::mainScreen()->scale()) {
  setAcceptableContentTypes(NSSet::make({"image/tiff"_ns, "image/jpeg"_ns, "image/gif"_ns, "image/png"_ns, "image/ico"_ns,
                                         "image/x-icon"_ns, "image/bmp"_ns, "image/x-bmp"_ns, "image/x-xbitmap"_ns,
                                         "image/x-win-bitmap"_ns}));
}

double NWImageResponseSerializer::imageScale() const {
  std::lock_guard lock(imageMutex_);
  return imageScale_;
}
void NWImageResponseSerializer::setImageScale(double scale) {
  std::lock_guard lock(imageMutex_);
  imageScale_ = scale;
}
bool NWImageResponseSerializer::automaticallyInflatesResponseImage() const {
  std::lock_guard lock(imageMutex_);
  return automaticallyInflatesResponseImage_;
}
void NWImageResponseSerializer::setAutomaticallyInflatesResponseImage(bool inflates) {
  std::lock_guard lock(imageMutex_);
  automaticallyInflatesResponseImage_ = inflates;
}

id NWImageResponseSerializer::responseObjectForResponse(const std::shared_ptr<NSURLResponse>& response,
                                                        const std::shared_ptr<NSData>& data, std::shared_ptr<NSError>* error) {
  if (!passesParseGate(response, data, error)) return nullptr;
  if (automaticallyInflatesResponseImage()) {
    return zvt::inflatedImageFromResponseWithDataAtScale(zvt::as<NSHTTPURLResponse>(response), data, imageScale());
  }
  return zvt::imageWithDataAtScale(data, imageScale());
}

id NWImageResponseSerializer::copyWithZone() const {
  auto copy = std::make_shared<NWImageResponseSerializer>();
  copy->setImageScale(imageScale());
  copy->setAutomaticallyInflatesResponseImage(automaticallyInflatesResponseImage());
  return copy;
}
