#include "platform/graphics/UIImage.h"

#include <cmath>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSNumber.h"
#include "platform/graphics/CGImageSource.h"
#include "platform/graphics/UIScreen.h"
#include "platform/graphics/internal/Codecs.h"

namespace {

UIImageOrientation orientationFromEXIF(int value) {
  switch (value) {
    case 2: return UIImageOrientationUpMirrored;
    case 3: return UIImageOrientationDown;
    case 4: return UIImageOrientationDownMirrored;
    case 5: return UIImageOrientationLeftMirrored;
    case 6: return UIImageOrientationRight;
    case 7: return UIImageOrientationRightMirrored;
    case 8: return UIImageOrientationLeft;
    default: return UIImageOrientationUp;
  }
}

CGFloat sane(CGFloat scale) { return std::isfinite(scale) && scale > 0 ? scale : 1.0; }

// "name@2x" / "name@3x" before the extension.
CGFloat scaleOfFileName(const std::shared_ptr<NSString>& path) {
  std::string base = path->lastPathComponent()->stringByDeletingPathExtension()->utf8();
  if (base.size() >= 3 && base.compare(base.size() - 3, 3, "@3x") == 0) return 3.0;
  if (base.size() >= 3 && base.compare(base.size() - 3, 3, "@2x") == 0) return 2.0;
  return 1.0;
}

}  // namespace

UIImage::UIImage(CGImageRef image, CGFloat scale, UIImageOrientation orientation)
    : image_(std::move(image)), scale_(sane(scale)), orientation_(orientation) {}

std::shared_ptr<UIImage> UIImage::imageWithData(const std::shared_ptr<NSData>& data) { return imageWithData(data, 1.0); }

std::shared_ptr<UIImage> UIImage::imageWithData(const std::shared_ptr<NSData>& data, CGFloat scale) {
  if (!data || data->length() == 0) return nullptr;
  auto source = CGImageSourceCreateWithData(data, nullptr);
  if (CGImageSourceGetCount(source) == 0) return nullptr;
  // A GIF counts as whole only when every frame and the data's end are whole.
  if (CGImageSourceGetStatus(source) != kCGImageStatusComplete) return nullptr;
  auto image = source->completeImageAtIndex(0);
  if (!image) return nullptr;
  UIImageOrientation orientation = UIImageOrientationUp;
  if (auto props = CGImageSourceCopyPropertiesAtIndex(source, 0, nullptr)) {
    if (auto value = zvt::as<NSNumber>(props->objectForKey(kCGImagePropertyOrientation))) {
      orientation = orientationFromEXIF(value->intValue());
    }
  }
  return std::make_shared<UIImage>(std::move(image), scale, orientation);
}

std::shared_ptr<UIImage> UIImage::imageWithContentsOfFile(const std::shared_ptr<NSString>& path) {
  if (!path) return nullptr;
  auto data = NSData::dataWithContentsOfFile(path);
  if (!data) return nullptr;
  return imageWithData(data, scaleOfFileName(path));
}

std::shared_ptr<UIImage> UIImage::imageWithCGImage(const CGImageRef& image) {
  return imageWithCGImage(image, 1.0, UIImageOrientationUp);
}

std::shared_ptr<UIImage> UIImage::imageWithCGImage(const CGImageRef& image, CGFloat scale, UIImageOrientation orientation) {
  if (!image) return nullptr;
  return std::make_shared<UIImage>(image, scale, orientation);
}

std::shared_ptr<UIImage> UIImage::imageNamed(const std::shared_ptr<NSString>& name) {
  if (!name || name->length() == 0) return nullptr;
  auto bundle = NSBundle::mainBundle();
  if (!bundle) return nullptr;
  const CGFloat screenScale = UIScreen::mainScreen()->scale();
  static std::mutex mutex;
  static std::map<std::string, std::shared_ptr<UIImage>> cache;
  const std::string key = bundle->bundlePath()->utf8() + "\n" + name->utf8() + "\n" + std::to_string(screenScale);
  {
    std::lock_guard<std::mutex> lock(mutex);
    auto found = cache.find(key);
    if (found != cache.end()) return found->second;
  }
  static const std::vector<std::string> kTypes = {"png", "jpg", "jpeg", "gif"};
  std::vector<std::string> types = kTypes;
  std::string base = name->utf8();
  std::string extension = name->pathExtension()->utf8();
  for (const auto& type : kTypes) {
    if (extension == type) {
      types = {type};
      base = name->stringByDeletingPathExtension()->utf8();
      break;
    }
  }
  int preferred = static_cast<int>(std::lround(std::clamp(screenScale, 1.0, 3.0)));
  std::vector<int> scales = {preferred};
  for (int s = 3; s >= 1; --s) {
    if (s != preferred) scales.push_back(s);
  }
  std::shared_ptr<UIImage> image;
  for (int s : scales) {
    std::string candidate = s == 1 ? base : base + "@" + std::to_string(s) + "x";
    for (const auto& type : types) {
      auto path = bundle->pathForResource(NSString::stringWithUTF8String(candidate), NSString::stringWithUTF8String(type));
      if (!path) continue;
      auto data = NSData::dataWithContentsOfFile(path);
      image = data ? imageWithData(data, s) : nullptr;
      if (image) break;
    }
    if (image) break;
  }
  if (image) {
    std::lock_guard<std::mutex> lock(mutex);
    cache.emplace(key, image);
  }
  return image;
}

std::shared_ptr<UIImage> UIImage::animatedImageWithImages(const std::shared_ptr<NSArray>& images, double duration) {
  if (!images || images->count() == 0) return nullptr;
  auto first = zvt::as<UIImage>(images->objectAtIndex(0));
  if (!first) return nullptr;
  auto result = std::make_shared<UIImage>(first->image_, first->scale_, first->orientation_);
  result->images_ = images->copy();
  result->duration_ = duration;
  return result;
}

CGSize UIImage::size() const {
  if (!image_) return CGSizeZero;
  CGFloat w = static_cast<CGFloat>(image_->width()) / scale_;
  CGFloat h = static_cast<CGFloat>(image_->height()) / scale_;
  switch (orientation_) {
    case UIImageOrientationLeft:
    case UIImageOrientationRight:
    case UIImageOrientationLeftMirrored:
    case UIImageOrientationRightMirrored:
      return CGSizeMake(h, w);
    default:
      return CGSizeMake(w, h);
  }
}

void UIImage::drawInRect(CGRect rect) const {
  auto context = UIGraphicsGetCurrentContext();
  if (!context || !image_) return;
  const auto& t = context->transform();
  CGFloat left = t.a * rect.origin.x + t.tx, right = t.a * (rect.origin.x + rect.size.width) + t.tx;
  CGFloat top = t.d * rect.origin.y + t.ty, bottom = t.d * (rect.origin.y + rect.size.height) + t.ty;
  switch (orientation_) {
    case UIImageOrientationDown:
      std::swap(left, right);
      std::swap(top, bottom);
      break;
    case UIImageOrientationUpMirrored:
      std::swap(left, right);
      break;
    case UIImageOrientationDownMirrored:
      std::swap(top, bottom);
      break;
    default:
      break;
  }
  context->drawImageInDeviceRect(*image_, left, bottom, right, top);
}

void UIImage::drawAtPoint(CGPoint point) const {
  CGSize s = size();
  drawInRect(CGRectMake(point.x, point.y, s.width, s.height));
}

std::shared_ptr<NSString> UIImage::description() const {
  CGSize s = size();
  return NSString::stringWithFormat("<UIImage: %p>, {%s, %s}", static_cast<const void*>(this),
                                    zvt::shortestNumberText(s.width), zvt::shortestNumberText(s.height));
}

std::shared_ptr<NSData> UIImagePNGRepresentation(const std::shared_ptr<UIImage>& image) {
  if (!image) return nullptr;
  return zvt::graphics::encodePNG(image->CGImage());
}

std::shared_ptr<NSData> UIImageJPEGRepresentation(const std::shared_ptr<UIImage>& image, CGFloat compressionQuality) {
  if (!image) return nullptr;
  return zvt::graphics::encodeJPEG(image->CGImage(), compressionQuality);
}

namespace {

struct ContextEntry {
  CGContextRef context;
  CGFloat scale = 1.0;
  bool imageContext = false;
};

std::vector<ContextEntry>& contextStack() {
  thread_local std::vector<ContextEntry> stack;
  return stack;
}

}  // namespace

void UIGraphicsBeginImageContextWithOptions(CGSize size, bool opaque, CGFloat scale) {
  if (!(scale > 0) || !std::isfinite(scale)) scale = UIScreen::mainScreen()->scale();
  double w = std::ceil(size.width * scale), h = std::ceil(size.height * scale);
  CGContextRef context;
  if (w >= 1 && h >= 1 && w <= static_cast<double>(zvt::kMaxImageSide) && h <= static_cast<double>(zvt::kMaxImageSide)) {
    CGBitmapInfo info = (opaque ? kCGImageAlphaNoneSkipFirst : kCGImageAlphaPremultipliedFirst) | kCGBitmapByteOrder32Host;
    context = CGBitmapContextCreate(nullptr, static_cast<size_t>(w), static_cast<size_t>(h), 8, 0,
                                    CGColorSpaceCreateDeviceRGB(), info);
    if (context) {
      CGContextTranslateCTM(context, 0, h);
      CGContextScaleCTM(context, scale, -scale);
    }
  }
  contextStack().push_back(ContextEntry{context, scale, true});
}

void UIGraphicsBeginImageContext(CGSize size) { UIGraphicsBeginImageContextWithOptions(size, false, 1.0); }

CGContextRef UIGraphicsGetCurrentContext() {
  auto& stack = contextStack();
  return stack.empty() ? nullptr : stack.back().context;
}

std::shared_ptr<UIImage> UIGraphicsGetImageFromCurrentImageContext() {
  auto& stack = contextStack();
  if (stack.empty() || !stack.back().imageContext || !stack.back().context) return nullptr;
  return UIImage::imageWithCGImage(CGBitmapContextCreateImage(stack.back().context), stack.back().scale,
                                   UIImageOrientationUp);
}

void UIGraphicsEndImageContext() {
  auto& stack = contextStack();
  if (!stack.empty() && stack.back().imageContext) stack.pop_back();
}

void UIGraphicsPushContext(const CGContextRef& context) { contextStack().push_back(ContextEntry{context, 1.0, false}); }

void UIGraphicsPopContext() {
  auto& stack = contextStack();
  if (!stack.empty() && !stack.back().imageContext) stack.pop_back();
}
