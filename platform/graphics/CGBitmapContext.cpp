#include "platform/graphics/CGBitmapContext.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

using zvt::graphics::PixelLayout;

CGContext::CGContext(const PixelLayout& layout, size_t width, size_t height, size_t bytesPerRow,
                     CGColorSpaceRef space, CGBitmapInfo info, uint8_t* external)
    : layout_(layout), width_(width), height_(height), bytesPerRow_(bytesPerRow), space_(std::move(space)),
      info_(info), data_(external) {
  if (!data_) {
    own_.assign(bytesPerRow_ * height_, 0);
    data_ = own_.data();
  }
}

namespace {

struct Span {
  size_t first = 0, last = 0;  // pixels [first, last)
};

// Device pixels whose centres lie in [lo, hi).
Span coveredPixels(CGFloat lo, CGFloat hi, size_t limit) {
  double first = std::ceil(lo - 0.5), last = std::ceil(hi - 0.5);
  first = std::clamp(first, 0.0, static_cast<double>(limit));
  last = std::clamp(last, 0.0, static_cast<double>(limit));
  if (!(last > first)) return {};
  return {static_cast<size_t>(first), static_cast<size_t>(last)};
}

}  // namespace

void CGContext::drawImageInDeviceRect(const CGImage& image, CGFloat x0, CGFloat y0, CGFloat x1, CGFloat y1) {
  if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1)) return;
  auto source = zvt::graphics::readableLayout(image.bitsPerComponent(), image.bitsPerPixel(), image.colorSpace(),
                                              image.bitmapInfo());
  auto pixels = image.pixelData();
  if (!source || !pixels || image.width() == 0 || image.height() == 0) return;
  const bool flipX = x1 < x0, flipY = y1 < y0;
  const double left = std::min(x0, x1), right = std::max(x0, x1);
  // Rows counted from the top of memory, as the pixels are stored.
  const double top = static_cast<double>(height_) - std::max(y0, y1);
  const double bottom = static_cast<double>(height_) - std::min(y0, y1);
  Span cols = coveredPixels(left, right, width_);
  Span rows = coveredPixels(top, bottom, height_);
  if (cols.first == cols.last || rows.first == rows.last) return;

  const size_t srcW = image.width(), srcH = image.height();
  const size_t n = cols.last - cols.first;
  std::vector<size_t> columnMap(n);
  for (size_t i = 0; i < n; ++i) {
    double u = (static_cast<double>(cols.first + i) + 0.5 - left) / (right - left);
    size_t sx = std::min(srcW - 1, static_cast<size_t>(std::max(0.0, std::floor(u * static_cast<double>(srcW)))));
    columnMap[i] = flipX ? srcW - 1 - sx : sx;
  }
  // Same size and place, not mirrored: rows convert in one piece.
  const bool identity = !flipX && columnMap.front() + n - 1 == columnMap.back() && right - left == static_cast<double>(srcW);
  std::vector<uint8_t> sourceRow(srcW * 4), span(n * 4), target(n * 4);
  size_t loadedRow = SIZE_MAX;
  const size_t sbpp = source->bytesPerPixel(), dbpp = layout_.bytesPerPixel();
  for (size_t r = rows.first; r < rows.last; ++r) {
    double v = (static_cast<double>(r) + 0.5 - top) / (bottom - top);
    size_t sy = std::min(srcH - 1, static_cast<size_t>(std::max(0.0, std::floor(v * static_cast<double>(srcH)))));
    if (flipY) sy = srcH - 1 - sy;
    const uint8_t* srcRow = pixels->bytes() + sy * image.bytesPerRow();
    if (identity) {
      zvt::graphics::readPixels(*source, srcRow + columnMap.front() * sbpp, n, span.data());
    } else {
      if (loadedRow != sy) {
        zvt::graphics::readPixels(*source, srcRow, srcW, sourceRow.data());
        loadedRow = sy;
      }
      for (size_t i = 0; i < n; ++i) std::memcpy(&span[4 * i], &sourceRow[4 * columnMap[i]], 4);
    }
    uint8_t* dst = data_ + r * bytesPerRow_ + cols.first * dbpp;
    if (source->opaque()) {
      zvt::graphics::writePixels(layout_, span.data(), n, dst);
    } else {
      zvt::graphics::readPixels(layout_, dst, n, target.data());
      zvt::graphics::blendOver(span.data(), target.data(), n);
      zvt::graphics::writePixels(layout_, target.data(), n, dst);
    }
  }
}

void CGContext::clearDeviceRect(CGFloat x0, CGFloat y0, CGFloat x1, CGFloat y1) {
  const double left = std::min(x0, x1), right = std::max(x0, x1);
  const double top = static_cast<double>(height_) - std::max(y0, y1);
  const double bottom = static_cast<double>(height_) - std::min(y0, y1);
  Span cols = coveredPixels(left, right, width_);
  Span rows = coveredPixels(top, bottom, height_);
  if (cols.first == cols.last) return;
  const size_t n = cols.last - cols.first;
  std::vector<uint8_t> clear(n * 4, 0);
  for (size_t r = rows.first; r < rows.last; ++r) {
    zvt::graphics::writePixels(layout_, clear.data(), n, data_ + r * bytesPerRow_ + cols.first * layout_.bytesPerPixel());
  }
}

CGContextRef CGBitmapContextCreate(void* data, size_t width, size_t height, size_t bitsPerComponent,
                                   size_t bytesPerRow, const CGColorSpaceRef& space, CGBitmapInfo bitmapInfo) {
  if (width == 0 || height == 0 || !zvt::imageSizeAllowed(width, height)) return nullptr;
  size_t bpp = zvt::graphics::contextBitsPerPixel(bitsPerComponent, space, bitmapInfo);
  auto layout = zvt::graphics::contextLayout(bitsPerComponent, bpp, space, bitmapInfo);
  if (!layout) return nullptr;
  size_t rowPixels = width * bpp / 8;
  if (bytesPerRow == 0) {
    bytesPerRow = (rowPixels + 31) / 32 * 32;
  } else if (bytesPerRow < rowPixels) {
    return nullptr;
  }
  try {
    return std::make_shared<CGContext>(*layout, width, height, bytesPerRow, space, bitmapInfo,
                                       static_cast<uint8_t*>(data));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

CGImageRef CGBitmapContextCreateImage(const CGContextRef& context) {
  if (!context) return nullptr;
  std::shared_ptr<NSData> pixels;
  try {
    pixels = NSData::dataWithBytes(context->data(), context->bytesPerRow() * context->height());
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  CGImage::Layout layout{context->width(),
                         context->height(),
                         context->pixelLayout().bitsPerComponent,
                         context->pixelLayout().bitsPerPixel,
                         context->bytesPerRow(),
                         context->colorSpace(),
                         context->bitmapInfo()};
  return std::make_shared<CGImage>(layout, std::move(pixels), true, kCGRenderingIntentDefault);
}

void* CGBitmapContextGetData(const CGContextRef& context) { return context ? context->data() : nullptr; }
size_t CGBitmapContextGetWidth(const CGContextRef& context) { return context ? context->width() : 0; }
size_t CGBitmapContextGetHeight(const CGContextRef& context) { return context ? context->height() : 0; }
size_t CGBitmapContextGetBitsPerComponent(const CGContextRef& context) {
  return context ? context->pixelLayout().bitsPerComponent : 0;
}
size_t CGBitmapContextGetBitsPerPixel(const CGContextRef& context) {
  return context ? context->pixelLayout().bitsPerPixel : 0;
}
size_t CGBitmapContextGetBytesPerRow(const CGContextRef& context) { return context ? context->bytesPerRow() : 0; }
CGColorSpaceRef CGBitmapContextGetColorSpace(const CGContextRef& context) {
  return context ? context->colorSpace() : nullptr;
}
CGBitmapInfo CGBitmapContextGetBitmapInfo(const CGContextRef& context) { return context ? context->bitmapInfo() : 0; }
CGImageAlphaInfo CGBitmapContextGetAlphaInfo(const CGContextRef& context) {
  return context ? static_cast<CGImageAlphaInfo>(context->bitmapInfo() & kCGBitmapAlphaInfoMask) : kCGImageAlphaNone;
}

void CGContextDrawImage(const CGContextRef& context, CGRect rect, const CGImageRef& image) {
  if (!context || !image) return;
  const auto& t = context->transform();
  CGFloat x0 = t.a * rect.origin.x + t.tx, y0 = t.d * rect.origin.y + t.ty;
  CGFloat x1 = t.a * (rect.origin.x + rect.size.width) + t.tx, y1 = t.d * (rect.origin.y + rect.size.height) + t.ty;
  context->drawImageInDeviceRect(*image, x0, y0, x1, y1);
}

void CGContextClearRect(const CGContextRef& context, CGRect rect) {
  if (!context) return;
  const auto& t = context->transform();
  context->clearDeviceRect(t.a * rect.origin.x + t.tx, t.d * rect.origin.y + t.ty,
                           t.a * (rect.origin.x + rect.size.width) + t.tx,
                           t.d * (rect.origin.y + rect.size.height) + t.ty);
}

void CGContextTranslateCTM(const CGContextRef& context, CGFloat tx, CGFloat ty) {
  if (!context) return;
  auto& t = context->transform();
  t.tx += t.a * tx;
  t.ty += t.d * ty;
}

void CGContextScaleCTM(const CGContextRef& context, CGFloat sx, CGFloat sy) {
  if (!context) return;
  auto& t = context->transform();
  t.a *= sx;
  t.d *= sy;
}

void CGContextSaveGState(const CGContextRef& context) {
  if (context) context->saveState();
}

void CGContextRestoreGState(const CGContextRef& context) {
  if (context) context->restoreState();
}
