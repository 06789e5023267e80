#include "platform/graphics/internal/CairoImages.h"

#include <cairo.h>

#include <vector>

#include "platform/graphics/internal/PixelLayout.h"

namespace zvt::graphics {

namespace {

const cairo_user_data_key_t kPixelsKey{};

void releasePixels(void* data) { delete static_cast<std::shared_ptr<NSData>*>(data); }

std::shared_ptr<void> holdSurface(cairo_surface_t* surface) {
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  return std::shared_ptr<void>(surface, [](void* s) { cairo_surface_destroy(static_cast<cairo_surface_t*>(s)); });
}

std::shared_ptr<void> makeSurface(const CGImage& image) {
  auto pixels = image.pixelData();
  auto layout = readableLayout(image.bitsPerComponent(), image.bitsPerPixel(), image.colorSpace(), image.bitmapInfo());
  if (!pixels || !layout || image.width() == 0 || image.height() == 0) return nullptr;
  if (image.width() > 32767 || image.height() > 32767) return nullptr;
  const int w = static_cast<int>(image.width()), h = static_cast<int>(image.height());
  const bool rgb8 = layout->model == kCGColorSpaceModelRGB && layout->bitsPerComponent == 8 && layout->bitsPerPixel == 32 &&
                    layout->byteOrder == kCGBitmapByteOrder32Little;
  cairo_format_t format = CAIRO_FORMAT_INVALID;
  if (rgb8 && layout->alpha == kCGImageAlphaPremultipliedFirst) format = CAIRO_FORMAT_ARGB32;
  if (rgb8 && layout->alpha == kCGImageAlphaNoneSkipFirst) format = CAIRO_FORMAT_RGB24;
  const auto* bytes = pixels->bytes();
  if (format != CAIRO_FORMAT_INVALID && image.bytesPerRow() % 4 == 0 && reinterpret_cast<uintptr_t>(bytes) % 4 == 0) {
    // Cairo reads these pixels where they are; the surface keeps the bytes alive.
    cairo_surface_t* surface = cairo_image_surface_create_for_data(const_cast<unsigned char*>(bytes), format, w, h,
                                                                   static_cast<int>(image.bytesPerRow()));
    if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
      cairo_surface_set_user_data(surface, &kPixelsKey, new std::shared_ptr<NSData>(pixels), releasePixels);
    }
    return holdSurface(surface);
  }
  const bool opaque = layout->opaque();
  cairo_surface_t* surface = cairo_image_surface_create(opaque ? CAIRO_FORMAT_RGB24 : CAIRO_FORMAT_ARGB32, w, h);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) return holdSurface(surface);
  const auto host = readableLayout(8, 32, CGColorSpaceCreateDeviceRGB(),
                                   (opaque ? kCGImageAlphaNoneSkipFirst : kCGImageAlphaPremultipliedFirst) |
                                       kCGBitmapByteOrder32Little);
  uint8_t* dst = cairo_image_surface_get_data(surface);
  const size_t stride = static_cast<size_t>(cairo_image_surface_get_stride(surface));
  std::vector<uint8_t> rgba(image.width() * 4);
  for (size_t y = 0; y < image.height(); ++y) {
    readPixels(*layout, bytes + y * image.bytesPerRow(), image.width(), rgba.data());
    writePixels(*host, rgba.data(), image.width(), dst + y * stride);
  }
  cairo_surface_mark_dirty(surface);
  return holdSurface(surface);
}

}  // namespace

cairo_surface_t* surfaceOfImage(const CGImage& image) {
  return static_cast<cairo_surface_t*>(image.derived([&image] { return makeSurface(image); }).get());
}

}  // namespace zvt::graphics
