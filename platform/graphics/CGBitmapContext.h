#pragma once
// Bitmap contexts: drawing contexts over a pixel buffer (the inflation of decoded images and
// the off-screen drawing of UIKit). Drawing itself is that of every context (CGContext.h):
// Cairo draws in the host's 32-bit layouts (premultiplied or skipped alpha first, 32-bit
// little endian) straight into the pixels; the other layouts are drawn in such a copy at
// 8 bits per component and converted into the buffer, only where drawing changed it.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/foundation/NSGeometry.h"
#include "platform/graphics/CGColorSpace.h"
#include "platform/graphics/CGContext.h"
#include "platform/graphics/CGImage.h"

// nil for the pixel layouts the platform refuses (see internal/PixelLayout.h: gray 8/16 without
// alpha, RGB 8-bit in 32-bit pixels with premultiplied or skipped alpha, RGB 16-bit with
// premultiplied or skipped alpha last, CMYK 8-bit), a zero or too large size, or bytes per row
// too small. With `data` null the context owns zeroed (transparent) memory; bytesPerRow 0
// chooses the pixel bytes rounded up to 32. A caller's `data` must stay valid while the
// context is used; it shows each drawing as soon as the call returns.
CGContextRef CGBitmapContextCreate(void* data, size_t width, size_t height, size_t bitsPerComponent,
                                   size_t bytesPerRow, const CGColorSpaceRef& space, CGBitmapInfo bitmapInfo);
// An image of the context's current pixels (a copy); nil for nil.
CGImageRef CGBitmapContextCreateImage(const CGContextRef& context);
// The pixels, up to date; the caller may read and write them between drawing calls.
void* CGBitmapContextGetData(const CGContextRef& context);
size_t CGBitmapContextGetWidth(const CGContextRef& context);
size_t CGBitmapContextGetHeight(const CGContextRef& context);
size_t CGBitmapContextGetBitsPerComponent(const CGContextRef& context);
size_t CGBitmapContextGetBitsPerPixel(const CGContextRef& context);
size_t CGBitmapContextGetBytesPerRow(const CGContextRef& context);
CGColorSpaceRef CGBitmapContextGetColorSpace(const CGContextRef& context);
CGBitmapInfo CGBitmapContextGetBitmapInfo(const CGContextRef& context);
CGImageAlphaInfo CGBitmapContextGetAlphaInfo(const CGContextRef& context);
