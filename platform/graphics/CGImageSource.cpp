#include "platform/graphics/CGImageSource.h"

#include "platform/foundation/NSNumber.h"
#include "platform/graphics/internal/Codecs.h"

using zvt::graphics::DecodedBitmap;
using zvt::graphics::GIFAnimation;
using zvt::graphics::ImageFormat;
using zvt::graphics::ImageHeader;

CGImageSource::CGImageSource(std::shared_ptr<NSData> data)
    : data_(data ? std::move(data) : NSData::data()),
      format_(zvt::graphics::sniffFormat(data_->bytes(), data_->length())),
      budget_(zvt::imageDecodingBudget()) {}

CGImageSource::~CGImageSource() = default;

std::shared_ptr<NSString> CGImageSource::type() const {
  switch (format_) {
    case ImageFormat::png: return NSString::stringWithUTF8String("public.png");
    case ImageFormat::jpeg: return NSString::stringWithUTF8String("public.jpeg");
    case ImageFormat::gif: return NSString::stringWithUTF8String("com.compuserve.gif");
    case ImageFormat::tiff: return NSString::stringWithUTF8String("public.tiff");
    case ImageFormat::webp: return NSString::stringWithUTF8String("org.webmproject.webp");
    default: return nullptr;
  }
}

const ImageHeader* CGImageSource::header() const {
  std::call_once(headerOnce_, [this] {
    auto header = std::make_unique<ImageHeader>();
    bool ok = false;
    if (format_ == ImageFormat::png) ok = zvt::graphics::readPNGHeader(data_->bytes(), data_->length(), budget_, *header);
    if (format_ == ImageFormat::jpeg) ok = zvt::graphics::readJPEGHeader(data_->bytes(), data_->length(), budget_, *header);
    if (ok) header_ = std::move(header);
  });
  return header_.get();
}

const GIFAnimation* CGImageSource::animation() const {
  std::call_once(animationOnce_, [this] {
    animation_ = std::make_unique<GIFAnimation>(zvt::graphics::decodeGIF(data_->bytes(), data_->length(), budget_));
  });
  return animation_.get();
}

size_t CGImageSource::count() const {
  switch (format_) {
    case ImageFormat::png:
    case ImageFormat::jpeg:
      return header() ? 1 : 0;
    case ImageFormat::gif:
      return animation()->frames.size();
    default:
      return 0;
  }
}

CGImageSourceStatus CGImageSource::status() const {
  switch (format_) {
    case ImageFormat::png:
    case ImageFormat::jpeg:
      return header() ? kCGImageStatusComplete : kCGImageStatusInvalidData;
    case ImageFormat::gif: {
      const auto* a = animation();
      if (!a->headerRead) return kCGImageStatusInvalidData;
      return a->complete ? kCGImageStatusComplete : kCGImageStatusIncomplete;
    }
    default:
      return kCGImageStatusUnknownType;
  }
}

CGImageSourceStatus CGImageSource::statusAtIndex(size_t index) const {
  switch (format_) {
    case ImageFormat::png:
    case ImageFormat::jpeg: {
      if (index != 0 || !header()) return kCGImageStatusInvalidData;
      DecodedBitmap bitmap;
      bool whole = format_ == ImageFormat::png
                       ? zvt::graphics::decodePNG(data_->bytes(), data_->length(), budget_, bitmap, true)
                       : zvt::graphics::decodeJPEG(data_->bytes(), data_->length(), budget_, bitmap, true);
      if (whole) return kCGImageStatusComplete;
      return bitmap.rowsDecoded > 0 ? kCGImageStatusIncomplete : kCGImageStatusInvalidData;
    }
    case ImageFormat::gif:
      return index < count() ? kCGImageStatusComplete : kCGImageStatusInvalidData;
    default:
      return kCGImageStatusUnknownType;
  }
}

namespace {

std::shared_ptr<NSNumber> delayNumber(double seconds) { return NSNumber::numberWithDouble(seconds); }

}  // namespace

std::shared_ptr<NSDictionary> CGImageSource::properties() const {
  auto props = NSMutableDictionary::dictionary();
  props->setObject(NSNumber::numberWithUnsignedLongLong(data_->length()), kCGImagePropertyFileSize);
  if (format_ == ImageFormat::gif) {
    const auto* a = animation();
    if (a->headerRead) {
      auto gif = NSMutableDictionary::dictionary();
      if (a->loopCount >= 0) gif->setObject(NSNumber::numberWithInt(a->loopCount), kCGImagePropertyGIFLoopCount);
      gif->setObject(NSNumber::numberWithUnsignedLongLong(a->width), kCGImagePropertyGIFCanvasPixelWidth);
      gif->setObject(NSNumber::numberWithUnsignedLongLong(a->height), kCGImagePropertyGIFCanvasPixelHeight);
      props->setObject(gif->copy(), kCGImagePropertyGIFDictionary);
    }
  }
  return props->copy();
}

std::shared_ptr<NSDictionary> CGImageSource::propertiesAtIndex(size_t index) const {
  auto props = NSMutableDictionary::dictionary();
  if (format_ == ImageFormat::gif) {
    const auto* a = animation();
    if (index >= a->frames.size()) return nullptr;
    const auto& frame = a->frames[index];
    props->setObject(NSNumber::numberWithUnsignedLongLong(a->width), kCGImagePropertyPixelWidth);
    props->setObject(NSNumber::numberWithUnsignedLongLong(a->height), kCGImagePropertyPixelHeight);
    props->setObject(NSNumber::numberWithInt(8), kCGImagePropertyDepth);
    props->setObject(kCGImagePropertyColorModelRGB, kCGImagePropertyColorModel);
    props->setObject(NSNumber::numberWithBool(true), kCGImagePropertyHasAlpha);
    auto gif = NSMutableDictionary::dictionary();
    if (frame.hasDelay) {
      gif->setObject(delayNumber(frame.delay), kCGImagePropertyGIFUnclampedDelayTime);
      gif->setObject(delayNumber(frame.delay <= 0.01 + 1e-9 ? 0.1 : frame.delay), kCGImagePropertyGIFDelayTime);
    }
    props->setObject(gif->copy(), kCGImagePropertyGIFDictionary);
    return props->copy();
  }
  const ImageHeader* h = (format_ == ImageFormat::png || format_ == ImageFormat::jpeg) ? header() : nullptr;
  if (!h || index != 0) return nullptr;
  props->setObject(NSNumber::numberWithUnsignedLongLong(h->layout.width), kCGImagePropertyPixelWidth);
  props->setObject(NSNumber::numberWithUnsignedLongLong(h->layout.height), kCGImagePropertyPixelHeight);
  props->setObject(NSNumber::numberWithUnsignedLongLong(h->layout.bitsPerComponent), kCGImagePropertyDepth);
  auto model = CGColorSpaceGetModel(h->layout.colorSpace);
  props->setObject(model == kCGColorSpaceModelMonochrome ? kCGImagePropertyColorModelGray
                   : model == kCGColorSpaceModelCMYK     ? kCGImagePropertyColorModelCMYK
                                                         : kCGImagePropertyColorModelRGB,
                   kCGImagePropertyColorModel);
  props->setObject(NSNumber::numberWithBool(h->hasAlpha), kCGImagePropertyHasAlpha);
  if (h->exifOrientation != 0) {
    props->setObject(NSNumber::numberWithInt(h->exifOrientation), kCGImagePropertyOrientation);
  }
  if (format_ == ImageFormat::png) {
    props->setObject(NSDictionary::make({{kCGImagePropertyPNGInterlaceType, NSNumber::numberWithInt(h->interlaced ? 1 : 0)}}),
                     kCGImagePropertyPNGDictionary);
  } else {
    props->setObject(NSDictionary::make({{kCGImagePropertyJFIFIsProgressive, NSNumber::numberWithBool(h->interlaced)}}),
                     kCGImagePropertyJFIFDictionary);
  }
  return props->copy();
}

CGImageRef CGImageSource::decodeStill(bool allowPartial, bool forDrawing) const {
  DecodedBitmap bitmap;
  const auto target = forDrawing ? zvt::graphics::DecodeTarget::drawing : zvt::graphics::DecodeTarget::stored;
  bool whole = format_ == ImageFormat::png
                   ? zvt::graphics::decodePNG(data_->bytes(), data_->length(), budget_, bitmap, allowPartial, target)
                   : zvt::graphics::decodeJPEG(data_->bytes(), data_->length(), budget_, bitmap, allowPartial, target);
  if (!whole && (!allowPartial || bitmap.rowsDecoded == 0)) return nullptr;
  auto layout = bitmap.layout;
  return std::make_shared<CGImage>(layout, NSData::dataWithVector(std::move(bitmap.pixels)), true,
                                   kCGRenderingIntentDefault);
}

CGImageRef CGImageSource::imageAtIndex(size_t index, bool forDrawing) const {
  if (format_ == ImageFormat::gif) {
    const auto* a = animation();
    if (index >= a->frames.size()) return nullptr;
    CGImage::Layout layout{a->width, a->height, 8, 32, a->width * 4, CGColorSpaceCreateDeviceRGB(),
                           kCGImageAlphaPremultipliedLast};
    return std::make_shared<CGImage>(layout, a->frames[index].pixels, true, kCGRenderingIntentDefault);
  }
  if ((format_ != ImageFormat::png && format_ != ImageFormat::jpeg) || index != 0 || !header()) return nullptr;
  return decodeStill(true, forDrawing);
}

CGImageRef CGImageSource::completeImageAtIndex(size_t index, bool forDrawing) const {
  if (format_ == ImageFormat::gif) return imageAtIndex(index);
  if ((format_ != ImageFormat::png && format_ != ImageFormat::jpeg) || index != 0 || !header()) return nullptr;
  return decodeStill(false, forDrawing);
}

CGImageSourceRef CGImageSourceCreateWithData(const std::shared_ptr<NSData>& data, const std::shared_ptr<NSDictionary>&) {
  if (!data) return nullptr;
  return std::make_shared<CGImageSource>(data->copy());
}

std::shared_ptr<NSString> CGImageSourceGetType(const CGImageSourceRef& source) {
  return source ? source->type() : nullptr;
}

size_t CGImageSourceGetCount(const CGImageSourceRef& source) { return source ? source->count() : 0; }

CGImageSourceStatus CGImageSourceGetStatus(const CGImageSourceRef& source) {
  return source ? source->status() : kCGImageStatusInvalidData;
}

CGImageSourceStatus CGImageSourceGetStatusAtIndex(const CGImageSourceRef& source, size_t index) {
  return source ? source->statusAtIndex(index) : kCGImageStatusInvalidData;
}

std::shared_ptr<NSDictionary> CGImageSourceCopyProperties(const CGImageSourceRef& source,
                                                          const std::shared_ptr<NSDictionary>&) {
  return source ? source->properties() : nullptr;
}

std::shared_ptr<NSDictionary> CGImageSourceCopyPropertiesAtIndex(const CGImageSourceRef& source, size_t index,
                                                                 const std::shared_ptr<NSDictionary>&) {
  return source ? source->propertiesAtIndex(index) : nullptr;
}

CGImageRef CGImageSourceCreateImageAtIndex(const CGImageSourceRef& source, size_t index,
                                           const std::shared_ptr<NSDictionary>& options) {
  if (!source) return nullptr;
  auto immediately = options ? zvt::as<NSNumber>(options->objectForKey(kCGImageSourceShouldCacheImmediately)) : nullptr;
  return source->imageAtIndex(index, immediately && immediately->boolValue());
}
