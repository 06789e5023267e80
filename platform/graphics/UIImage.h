#pragma once
// Images with a scale and an orientation over a bitmap (UIImage), animated images, named
// images of the main bundle, PNG and JPEG representations, and off-screen image contexts
// (UIGraphicsBeginImageContextWithOptions and its companions).

#include <cstdint>
#include <memory>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"
#include "platform/graphics/CGBitmapContext.h"
#include "platform/graphics/CGContext.h"
#include "platform/graphics/CGImage.h"
#include "platform/graphics/UIGeometry.h"

enum UIImageOrientation : NSInteger {
  UIImageOrientationUp = 0,
  UIImageOrientationDown = 1,
  UIImageOrientationLeft = 2,
  UIImageOrientationRight = 3,
  UIImageOrientationUpMirrored = 4,
  UIImageOrientationDownMirrored = 5,
  UIImageOrientationLeftMirrored = 6,
  UIImageOrientationRightMirrored = 7,
};

enum UIImageResizingMode : NSInteger {
  UIImageResizingModeTile = 0,
  UIImageResizingModeStretch = 1,
};

enum UIImageRenderingMode : NSInteger {
  UIImageRenderingModeAutomatic = 0,
  UIImageRenderingModeAlwaysOriginal = 1,
  UIImageRenderingModeAlwaysTemplate = 2,
};

class UIImage : public NSObject {
 public:
  UIImage(CGImageRef image, CGFloat scale, UIImageOrientation orientation);

  // Decodes PNG, JPEG or GIF bytes (a GIF gives its first frame) at scale 1.0, or the scale
  // given; the orientation comes from the JPEG's EXIF data. nil for nil or empty data, data of
  // another kind, and data that is cut short or damaged: only an image decoded whole is made.
  static std::shared_ptr<UIImage> imageWithData(const std::shared_ptr<NSData>& data);
  static std::shared_ptr<UIImage> imageWithData(const std::shared_ptr<NSData>& data, CGFloat scale);
  static std::shared_ptr<UIImage> initWithData(const std::shared_ptr<NSData>& data) { return imageWithData(data); }
  static std::shared_ptr<UIImage> initWithData(const std::shared_ptr<NSData>& data, CGFloat scale) {
    return imageWithData(data, scale);
  }
  // The file's image; a name ending in "@2x" or "@3x" before the extension gives that scale.
  static std::shared_ptr<UIImage> imageWithContentsOfFile(const std::shared_ptr<NSString>& path);
  // nil for a nil bitmap.
  static std::shared_ptr<UIImage> imageWithCGImage(const CGImageRef& image);
  static std::shared_ptr<UIImage> imageWithCGImage(const CGImageRef& image, CGFloat scale, UIImageOrientation orientation);
  static std::shared_ptr<UIImage> initWithCGImage(const CGImageRef& image, CGFloat scale, UIImageOrientation orientation) {
    return imageWithCGImage(image, scale, orientation);
  }
  // An image of the main bundle: the name with or without extension (png, then jpg, jpeg,
  // gif), preferring the variant for the screen's scale ("@3x", "@2x"), then the others from
  // the larger down, then the plain name. Images are kept once loaded, as the platform does.
  static std::shared_ptr<UIImage> imageNamed(const std::shared_ptr<NSString>& name);
  // An image that plays its frames over the duration, repeating without end; its bitmap, size
  // and scale are those of the first frame. nil for nil or no images.
  static std::shared_ptr<UIImage> animatedImageWithImages(const std::shared_ptr<NSArray>& images, double duration);

  // The bitmap (the first frame's for an animated image).
  CGImageRef CGImage() const { return image_; }
  CGFloat scale() const { return scale_; }
  UIImageOrientation imageOrientation() const { return orientation_; }
  // In points: pixels divided by the scale, width and height swapped for the quarter turns.
  CGSize size() const;
  // The frames of an animated image, else nil.
  std::shared_ptr<NSArray> images() const { return images_; }
  double duration() const { return duration_; }

  // Draws into the current context (UIGraphicsGetCurrentContext), in its user space taken as
  // UIKit's (origin top left, y down), upright with every orientation applied, stretched to the
  // rectangle. A resizable image keeps its caps at their size (scaled down only where the
  // rectangle is smaller than the caps together) and stretches or tiles the parts between.
  // The blend mode and alpha replace the context's for this drawing.
  void drawInRect(CGRect rect) const;
  void drawInRect(CGRect rect, CGBlendMode blendMode, CGFloat alpha) const;
  void drawAtPoint(CGPoint point) const;
  void drawAtPoint(CGPoint point, CGBlendMode blendMode, CGFloat alpha) const;
  // Ours: the same into a given context.
  void drawInContext(const CGContextRef& context, CGRect rect) const;

  // An image of the same bitmap whose drawing keeps the insets (points) as caps. Negative
  // insets count as 0; insets that leave no middle are reduced so that one pixel stays.
  std::shared_ptr<UIImage> resizableImageWithCapInsets(UIEdgeInsets capInsets) const;
  std::shared_ptr<UIImage> resizableImageWithCapInsets(UIEdgeInsets capInsets, UIImageResizingMode resizingMode) const;
  // The older form: caps of leftCapWidth and topCapHeight, the middle one point stretched
  // (0 stretches the whole image in that direction).
  std::shared_ptr<UIImage> stretchableImageWithLeftCapWidth(NSInteger leftCapWidth, NSInteger topCapHeight) const;
  UIEdgeInsets capInsets() const { return capInsets_; }
  UIImageResizingMode resizingMode() const { return resizingMode_; }
  NSInteger leftCapWidth() const { return leftCapWidth_; }
  NSInteger topCapHeight() const { return topCapHeight_; }
  bool isResizable() const { return resizable_; }

  // An image of the same bitmap drawn in its own colours or as a template; views read it.
  std::shared_ptr<UIImage> imageWithRenderingMode(UIImageRenderingMode renderingMode) const;
  UIImageRenderingMode renderingMode() const { return renderingMode_; }

  std::shared_ptr<NSString> description() const override;

 private:
  CGImageRef image_;
  CGFloat scale_ = 1.0;
  UIImageOrientation orientation_ = UIImageOrientationUp;
  std::shared_ptr<UIImage> withSameBitmap() const;
  void drawOriented(const CGContextRef& context, CGRect rect) const;
  void drawResizable(const CGContextRef& context, CGRect rect) const;

  std::shared_ptr<NSArray> images_;
  double duration_ = 0;
  UIEdgeInsets capInsets_ = UIEdgeInsetsZero;
  UIImageResizingMode resizingMode_ = UIImageResizingModeTile;
  NSInteger leftCapWidth_ = 0, topCapHeight_ = 0;
  bool resizable_ = false;
  UIImageRenderingMode renderingMode_ = UIImageRenderingModeAutomatic;
};

// PNG bytes of the bitmap (8 bits per component: RGB when it is opaque, else RGBA with straight
// alpha); the orientation is not applied. nil for nil or an image without pixels.
std::shared_ptr<NSData> UIImagePNGRepresentation(const std::shared_ptr<UIImage>& image);
// JPEG bytes of the bitmap at the quality (0.0 to 1.0; 1.0 is libjpeg's quality 100). Alpha is
// dropped: translucent pixels come out as over black.
std::shared_ptr<NSData> UIImageJPEGRepresentation(const std::shared_ptr<UIImage>& image, CGFloat compressionQuality);

// Off-screen image contexts, one stack per thread. A context is 8-bit RGB with premultiplied
// alpha first in host order (no alpha when opaque), of the size in points times the scale (0
// means the main screen's scale), with UIKit's user space: points, origin at the top left.
void UIGraphicsBeginImageContextWithOptions(CGSize size, bool opaque, CGFloat scale);
void UIGraphicsBeginImageContext(CGSize size);
// The top context of this thread's stack, or nil.
CGContextRef UIGraphicsGetCurrentContext();
// An image of the top image context at its scale; nil when there is none.
std::shared_ptr<UIImage> UIGraphicsGetImageFromCurrentImageContext();
void UIGraphicsEndImageContext();
// Any context made current for drawing (popped by UIGraphicsPopContext).
void UIGraphicsPushContext(const CGContextRef& context);
void UIGraphicsPopContext();

namespace zvt::graphics {
// Draws the image as a view of the content mode shows it within `bounds` (UIKit coordinates of
// the context): placed by contentModeRect; what falls outside `bounds` is not clipped here.
void drawImage(const CGContextRef& context, const UIImage& image, CGRect bounds, UIViewContentMode contentMode);
// The one table of EXIF orientations (1 to 8, as stored) to UIKit's; any other value is up.
UIImageOrientation orientationFromEXIF(int64_t exifOrientation);
}  // namespace zvt::graphics
