#pragma once
// Bitmap contexts: drawing images into a pixel buffer (the inflation of decoded images and
// the off-screen drawing of UIKit). Coordinates are those of CoreGraphics: the origin at the
// bottom left, y upwards, through a current transformation of scale and translation.
// Drawing composites source-over and samples the nearest source pixel when the destination
// rectangle is not the image's own size.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGColorSpace.h"
#include "platform/graphics/CGImage.h"
#include "platform/graphics/internal/PixelLayout.h"

class CGContext : public NSObject {
 public:
  struct Transform {
    CGFloat a = 1, d = 1, tx = 0, ty = 0;  // x' = a x + tx, y' = d y + ty
  };

  CGContext(const zvt::graphics::PixelLayout& layout, size_t width, size_t height, size_t bytesPerRow,
            CGColorSpaceRef space, CGBitmapInfo info, uint8_t* external);

  size_t width() const { return width_; }
  size_t height() const { return height_; }
  size_t bytesPerRow() const { return bytesPerRow_; }
  uint8_t* data() { return data_; }
  const uint8_t* data() const { return data_; }
  const zvt::graphics::PixelLayout& pixelLayout() const { return layout_; }
  const CGColorSpaceRef& colorSpace() const { return space_; }
  CGBitmapInfo bitmapInfo() const { return info_; }

  Transform& transform() { return state_.back(); }
  void saveState() { state_.push_back(state_.back()); }
  void restoreState() {
    if (state_.size() > 1) state_.pop_back();
  }

  // Draws the image so that its bottom-left corner lands on device point (x0, y0) and its
  // top-right corner on (x1, y1); x1 < x0 or y1 < y0 mirror it.
  void drawImageInDeviceRect(const CGImage& image, CGFloat x0, CGFloat y0, CGFloat x1, CGFloat y1);
  void clearDeviceRect(CGFloat x0, CGFloat y0, CGFloat x1, CGFloat y1);

 private:
  zvt::graphics::PixelLayout layout_;
  size_t width_, height_, bytesPerRow_;
  CGColorSpaceRef space_;
  CGBitmapInfo info_;
  std::vector<uint8_t> own_;
  uint8_t* data_;
  std::vector<Transform> state_{Transform()};
};

using CGContextRef = std::shared_ptr<CGContext>;

// nil for the pixel layouts the platform refuses (see internal/PixelLayout.h: gray 8/16 without
// alpha, RGB 8-bit in 32-bit pixels with premultiplied or skipped alpha, RGB 16-bit with
// premultiplied or skipped alpha last, CMYK 8-bit), a zero or too large size, or bytes per row
// too small. With `data` null the context owns zeroed (transparent) memory; bytesPerRow 0
// chooses the pixel bytes rounded up to 32. A caller's `data` must stay valid while the
// context is used.
CGContextRef CGBitmapContextCreate(void* data, size_t width, size_t height, size_t bitsPerComponent,
                                   size_t bytesPerRow, const CGColorSpaceRef& space, CGBitmapInfo bitmapInfo);
// An image of the context's current pixels (a copy); nil for nil.
CGImageRef CGBitmapContextCreateImage(const CGContextRef& context);
void* CGBitmapContextGetData(const CGContextRef& context);
size_t CGBitmapContextGetWidth(const CGContextRef& context);
size_t CGBitmapContextGetHeight(const CGContextRef& context);
size_t CGBitmapContextGetBitsPerComponent(const CGContextRef& context);
size_t CGBitmapContextGetBitsPerPixel(const CGContextRef& context);
size_t CGBitmapContextGetBytesPerRow(const CGContextRef& context);
CGColorSpaceRef CGBitmapContextGetColorSpace(const CGContextRef& context);
CGBitmapInfo CGBitmapContextGetBitmapInfo(const CGContextRef& context);
CGImageAlphaInfo CGBitmapContextGetAlphaInfo(const CGContextRef& context);

// Nothing happens for a nil context or image.
void CGContextDrawImage(const CGContextRef& context, CGRect rect, const CGImageRef& image);
// Sets the pixels of the rectangle transparent (black for contexts without alpha).
void CGContextClearRect(const CGContextRef& context, CGRect rect);
void CGContextTranslateCTM(const CGContextRef& context, CGFloat tx, CGFloat ty);
void CGContextScaleCTM(const CGContextRef& context, CGFloat sx, CGFloat sy);
void CGContextSaveGState(const CGContextRef& context);
void CGContextRestoreGState(const CGContextRef& context);
inline void CGContextRelease(const CGContextRef&) {}
