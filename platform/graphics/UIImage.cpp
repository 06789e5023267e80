#include "platform/graphics/UIImage.h"

#include <algorithm>
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
      orientation = zvt::graphics::orientationFromEXIF(value->intValue());
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
  // A name that already carries its scale ("picture@2x") names that one file, at that scale.
  int named = 0;
  if (base.size() > 3 && base[base.size() - 3] == '@' && base.back() == 'x' && base[base.size() - 2] >= '1' &&
      base[base.size() - 2] <= '3') {
    named = base[base.size() - 2] - '0';
    scales = {named};
  }
  std::shared_ptr<UIImage> image;
  for (int s : scales) {
    std::string candidate = (s == 1 || named) ? base : base + "@" + std::to_string(s) + "x";
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

std::shared_ptr<UIImage> UIImage::withSameBitmap() const {
  auto copy = std::make_shared<UIImage>(image_, scale_, orientation_);
  copy->images_ = images_;
  copy->duration_ = duration_;
  copy->capInsets_ = capInsets_;
  copy->resizingMode_ = resizingMode_;
  copy->leftCapWidth_ = leftCapWidth_;
  copy->topCapHeight_ = topCapHeight_;
  copy->resizable_ = resizable_;
  copy->renderingMode_ = renderingMode_;
  return copy;
}

std::shared_ptr<UIImage> UIImage::resizableImageWithCapInsets(UIEdgeInsets capInsets) const {
  return resizableImageWithCapInsets(capInsets, UIImageResizingModeTile);
}

std::shared_ptr<UIImage> UIImage::resizableImageWithCapInsets(UIEdgeInsets capInsets,
                                                              UIImageResizingMode resizingMode) const {
  auto copy = withSameBitmap();
  auto sane = [](CGFloat v) { return std::isfinite(v) && v > 0 ? v : 0.0; };
  UIEdgeInsets insets{sane(capInsets.top), sane(capInsets.left), sane(capInsets.bottom), sane(capInsets.right)};
  // Caps that leave no middle give way so that one pixel stays between them.
  const CGSize s = size();
  const CGFloat pixel = 1 / scale_;
  auto fit = [pixel](CGFloat& a, CGFloat& b, CGFloat extent) {
    const CGFloat room = std::max(0.0, extent - pixel);
    if (a + b > room && a + b > 0) {
      const CGFloat k = room / (a + b);
      a *= k;
      b *= k;
    }
  };
  fit(insets.left, insets.right, s.width);
  fit(insets.top, insets.bottom, s.height);
  copy->capInsets_ = insets;
  copy->resizingMode_ = resizingMode;
  copy->resizable_ = true;
  return copy;
}

std::shared_ptr<UIImage> UIImage::stretchableImageWithLeftCapWidth(NSInteger leftCapWidth, NSInteger topCapHeight) const {
  const CGSize s = size();
  const CGFloat left = std::max<NSInteger>(0, leftCapWidth), top = std::max<NSInteger>(0, topCapHeight);
  // The one point after each cap stretches; without a cap the whole side does.
  const CGFloat right = left > 0 ? std::max(0.0, s.width - left - 1) : 0;
  const CGFloat bottom = top > 0 ? std::max(0.0, s.height - top - 1) : 0;
  auto copy = resizableImageWithCapInsets(UIEdgeInsetsMake(top, left, bottom, right), UIImageResizingModeStretch);
  copy->leftCapWidth_ = std::max<NSInteger>(0, leftCapWidth);
  copy->topCapHeight_ = std::max<NSInteger>(0, topCapHeight);
  return copy;
}

std::shared_ptr<UIImage> UIImage::imageWithRenderingMode(UIImageRenderingMode renderingMode) const {
  auto copy = withSameBitmap();
  copy->renderingMode_ = renderingMode;
  return copy;
}

void UIImage::drawInRect(CGRect rect) const { drawInContext(UIGraphicsGetCurrentContext(), rect); }

void UIImage::drawInRect(CGRect rect, CGBlendMode blendMode, CGFloat alpha) const {
  auto context = UIGraphicsGetCurrentContext();
  if (!context) return;
  CGContextSaveGState(context);
  CGContextSetBlendMode(context, blendMode);
  CGContextSetAlpha(context, alpha);
  drawInContext(context, rect);
  CGContextRestoreGState(context);
}

void UIImage::drawAtPoint(CGPoint point) const {
  CGSize s = size();
  drawInRect(CGRectMake(point.x, point.y, s.width, s.height));
}

void UIImage::drawAtPoint(CGPoint point, CGBlendMode blendMode, CGFloat alpha) const {
  CGSize s = size();
  drawInRect(CGRectMake(point.x, point.y, s.width, s.height), blendMode, alpha);
}

void UIImage::drawInContext(const CGContextRef& context, CGRect rect) const {
  if (!context || !image_) return;
  rect = CGRectStandardize(rect);
  if (CGRectIsEmpty(rect) || !std::isfinite(rect.size.width) || !std::isfinite(rect.size.height)) return;
  if (resizable_) {
    drawResizable(context, rect);
  } else {
    drawOriented(context, rect);
  }
}

void UIImage::drawOriented(const CGContextRef& context, CGRect rect) const {
  const CGFloat W = rect.size.width, H = rect.size.height;
  // Where the upright bitmap (bw x bh, y down) lands in the rectangle for each orientation.
  CGAffineTransform t = CGAffineTransformIdentity;
  CGFloat bw = W, bh = H;
  switch (orientation_) {
    case UIImageOrientationUpMirrored: t = CGAffineTransformMake(-1, 0, 0, 1, W, 0); break;
    case UIImageOrientationDown: t = CGAffineTransformMake(-1, 0, 0, -1, W, H); break;
    case UIImageOrientationDownMirrored: t = CGAffineTransformMake(1, 0, 0, -1, 0, H); break;
    case UIImageOrientationLeft: t = CGAffineTransformMake(0, -1, 1, 0, 0, H), bw = H, bh = W; break;
    case UIImageOrientationRight: t = CGAffineTransformMake(0, 1, -1, 0, W, 0), bw = H, bh = W; break;
    case UIImageOrientationLeftMirrored: t = CGAffineTransformMake(0, 1, 1, 0, 0, 0), bw = H, bh = W; break;
    case UIImageOrientationRightMirrored: t = CGAffineTransformMake(0, -1, -1, 0, W, H), bw = H, bh = W; break;
    default: break;
  }
  CGContextSaveGState(context);
  CGContextTranslateCTM(context, rect.origin.x, rect.origin.y);
  CGContextConcatCTM(context, t);
  // CGContextDrawImage puts the top row at the top of a y-up space: flip to draw upright.
  CGContextTranslateCTM(context, 0, bh);
  CGContextScaleCTM(context, 1, -1);
  CGContextDrawImage(context, CGRectMake(0, 0, bw, bh), image_);
  CGContextRestoreGState(context);
}

void UIImage::drawResizable(const CGContextRef& context, CGRect rect) const {
  const CGSize s = size();
  if (!(s.width > 0) || !(s.height > 0)) return;
  // Caps scale down together where the rectangle is smaller than both.
  auto spans = [](CGFloat a, CGFloat b, CGFloat source, CGFloat target, CGFloat out[4][2]) {
    CGFloat k = a + b > target && a + b > 0 ? target / (a + b) : 1.0;
    const CGFloat ta = a * k, tb = b * k;
    // {source start, source end} and {target start, target end} of the three parts.
    out[0][0] = 0, out[0][1] = a;
    out[1][0] = a, out[1][1] = source - b;
    out[2][0] = source - b, out[2][1] = source;
    out[3][0] = ta, out[3][1] = target - tb;
  };
  CGFloat h[4][2], v[4][2];
  spans(capInsets_.left, capInsets_.right, s.width, rect.size.width, h);
  spans(capInsets_.top, capInsets_.bottom, s.height, rect.size.height, v);
  const CGFloat hTarget[3][2] = {{0, h[3][0]}, {h[3][0], h[3][1]}, {h[3][1], rect.size.width}};
  const CGFloat vTarget[3][2] = {{0, v[3][0]}, {v[3][0], v[3][1]}, {v[3][1], rect.size.height}};
  auto plain = withSameBitmap();
  plain->resizable_ = false;
  plain->orientation_ = UIImageOrientationUp;
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) {
      const CGFloat sx0 = h[col][0], sx1 = h[col][1], sy0 = v[row][0], sy1 = v[row][1];
      const CGFloat dx0 = hTarget[col][0], dx1 = hTarget[col][1], dy0 = vTarget[row][0], dy1 = vTarget[row][1];
      if (!(sx1 > sx0) || !(sy1 > sy0) || !(dx1 > dx0) || !(dy1 > dy0)) continue;
      const CGRect piece = CGRectMake(rect.origin.x + dx0, rect.origin.y + dy0, dx1 - dx0, dy1 - dy0);
      // Tiling repeats the middle parts at their own size; caps and stretching scale.
      const bool tileX = resizingMode_ == UIImageResizingModeTile && col == 1;
      const bool tileY = resizingMode_ == UIImageResizingModeTile && row == 1;
      const CGFloat stepX = tileX ? sx1 - sx0 : dx1 - dx0, stepY = tileY ? sy1 - sy0 : dy1 - dy0;
      const CGFloat kx = stepX / (sx1 - sx0), ky = stepY / (sy1 - sy0);
      CGContextSaveGState(context);
      CGContextClipToRect(context, piece);
      const int nx = tileX ? static_cast<int>(std::min(4096.0, std::ceil((dx1 - dx0) / stepX))) : 1;
      const int ny = tileY ? static_cast<int>(std::min(4096.0, std::ceil((dy1 - dy0) / stepY))) : 1;
      for (int j = 0; j < ny; ++j) {
        for (int i = 0; i < nx; ++i) {
          // The whole image placed so that this part of it lands on this tile, cut to the tile.
          const CGFloat tx = piece.origin.x + i * stepX, ty = piece.origin.y + j * stepY;
          const bool several = nx > 1 || ny > 1;
          if (several) {
            CGContextSaveGState(context);
            CGContextClipToRect(context, CGRectMake(tx, ty, stepX, stepY));
          }
          plain->drawOriented(context, CGRectMake(tx - sx0 * kx, ty - sy0 * ky, s.width * kx, s.height * ky));
          if (several) CGContextRestoreGState(context);
        }
      }
      CGContextRestoreGState(context);
    }
  }
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
      context->setUIKitBase(scale);
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

namespace zvt::graphics {
void drawImage(const CGContextRef& context, const UIImage& image, CGRect bounds, UIViewContentMode contentMode) {
  image.drawInContext(context, contentModeRect(contentMode, image.size(), bounds));
}
}  // namespace zvt::graphics

UIImageOrientation zvt::graphics::orientationFromEXIF(int64_t value) {
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
