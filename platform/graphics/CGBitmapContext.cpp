#include "platform/graphics/CGBitmapContext.h"

#include <new>

CGContextRef CGBitmapContextCreate(void* data, size_t width, size_t height, size_t bitsPerComponent,
                                   size_t bytesPerRow, const CGColorSpaceRef& space, CGBitmapInfo bitmapInfo) {
  if (width == 0 || height == 0 || !zvt::imageSizeAllowed(width, height)) return nullptr;
  // Cairo's surfaces stop below 32768 pixels a side.
  if (width > 32767 || height > 32767) return nullptr;
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
    auto context = std::make_shared<CGContext>(*layout, width, height, bytesPerRow, space, bitmapInfo,
                                               static_cast<uint8_t*>(data));
    return context->valid() ? context : nullptr;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

CGImageRef CGBitmapContextCreateImage(const CGContextRef& context) {
  if (!context) return nullptr;
  std::shared_ptr<NSData> pixels;
  try {
    pixels = NSData::dataWithBytes(context->pixelsForReading(), context->bytesPerRow() * context->height());
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
