#pragma once
// Bitmap images (the CoreGraphics CGImage and CGDataProvider stand-ins).
//
// An image is immutable: its pixels sit in one shared buffer, so images made "from the same
// bitmap" (another scale, another orientation) share it without copying. Images made by the
// PNG and JPEG data-provider functions read only the header at once and decode on first use of
// their pixels, as the platform does; images from an image source are decoded when made.
//
// Pixel layouts that can be read: gray, RGB, CMYK (8 bits per component, no alpha) and indexed
// (8 bits) colour spaces; 8 or 16 bits per component; every alpha info but kCGImageAlphaOnly;
// the default byte order, 16-bit little or big endian components and 32-bit little or big
// endian pixels of 8-bit components. 16-bit components are big-endian unless the bitmap info
// says kCGBitmapByteOrder16Little.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGColorSpace.h"

enum CGImageAlphaInfo : uint32_t {
  kCGImageAlphaNone = 0,
  kCGImageAlphaPremultipliedLast = 1,
  kCGImageAlphaPremultipliedFirst = 2,
  kCGImageAlphaLast = 3,
  kCGImageAlphaFirst = 4,
  kCGImageAlphaNoneSkipLast = 5,
  kCGImageAlphaNoneSkipFirst = 6,
  kCGImageAlphaOnly = 7,
};

using CGBitmapInfo = uint32_t;
inline constexpr CGBitmapInfo kCGBitmapAlphaInfoMask = 0x1F;
inline constexpr CGBitmapInfo kCGBitmapFloatComponents = 1u << 8;
inline constexpr CGBitmapInfo kCGBitmapByteOrderMask = 0x7000;
inline constexpr CGBitmapInfo kCGBitmapByteOrderDefault = 0u << 12;
inline constexpr CGBitmapInfo kCGBitmapByteOrder16Little = 1u << 12;
inline constexpr CGBitmapInfo kCGBitmapByteOrder32Little = 2u << 12;
inline constexpr CGBitmapInfo kCGBitmapByteOrder16Big = 3u << 12;
inline constexpr CGBitmapInfo kCGBitmapByteOrder32Big = 4u << 12;
inline constexpr CGBitmapInfo kCGBitmapByteOrder16Host = kCGBitmapByteOrder16Little;
inline constexpr CGBitmapInfo kCGBitmapByteOrder32Host = kCGBitmapByteOrder32Little;

enum CGColorRenderingIntent : int32_t {
  kCGRenderingIntentDefault = 0,
  kCGRenderingIntentAbsoluteColorimetric = 1,
  kCGRenderingIntentRelativeColorimetric = 2,
  kCGRenderingIntentPerceptual = 3,
  kCGRenderingIntentSaturation = 4,
};

// The bytes behind an image.
class CGDataProvider : public NSObject {
 public:
  explicit CGDataProvider(std::shared_ptr<NSData> data) : data_(std::move(data)) {}
  const std::shared_ptr<NSData>& data() const { return data_; }

 private:
  std::shared_ptr<NSData> data_;
};
using CGDataProviderRef = std::shared_ptr<CGDataProvider>;

// nil for nil data.
CGDataProviderRef CGDataProviderCreateWithCFData(const std::shared_ptr<NSData>& data);
// The provider's bytes (shared, not copied: data objects are immutable); nil for nil.
std::shared_ptr<NSData> CGDataProviderCopyData(const CGDataProviderRef& provider);
inline void CGDataProviderRelease(const CGDataProviderRef&) {}

class CGImage : public NSObject {
 public:
  // Produces the pixels of a lazily decoded image; nil when they cannot be decoded.
  using PixelLoader = std::function<std::shared_ptr<NSData>()>;

  struct Layout {
    size_t width = 0;
    size_t height = 0;
    size_t bitsPerComponent = 0;
    size_t bitsPerPixel = 0;
    size_t bytesPerRow = 0;
    CGColorSpaceRef colorSpace;
    CGBitmapInfo bitmapInfo = 0;
  };

  // Use the creation functions below; the layout must already be checked.
  CGImage(const Layout& layout, std::shared_ptr<NSData> pixels, bool shouldInterpolate,
          CGColorRenderingIntent intent);
  CGImage(const Layout& layout, PixelLoader loader, bool shouldInterpolate, CGColorRenderingIntent intent);

  size_t width() const { return layout_.width; }
  size_t height() const { return layout_.height; }
  size_t bitsPerComponent() const { return layout_.bitsPerComponent; }
  size_t bitsPerPixel() const { return layout_.bitsPerPixel; }
  size_t bytesPerRow() const { return layout_.bytesPerRow; }
  const CGColorSpaceRef& colorSpace() const { return layout_.colorSpace; }
  CGBitmapInfo bitmapInfo() const { return layout_.bitmapInfo; }
  CGImageAlphaInfo alphaInfo() const { return static_cast<CGImageAlphaInfo>(layout_.bitmapInfo & kCGBitmapAlphaInfoMask); }
  bool shouldInterpolate() const { return shouldInterpolate_; }
  CGColorRenderingIntent renderingIntent() const { return intent_; }
  const Layout& layout() const { return layout_; }

  // The pixel rows (height x bytesPerRow bytes, the last row possibly shorter than
  // bytesPerRow but never shorter than its pixels); decodes a lazy image on first use.
  // nil when a lazy image fails to decode.
  std::shared_ptr<NSData> pixelData() const;

  // Internal: a value the drawing code derives from the pixels once (the image as a Cairo
  // surface) and keeps with the image; `make` runs at most once.
  std::shared_ptr<void> derived(const std::function<std::shared_ptr<void>()>& make) const;

  std::shared_ptr<NSString> description() const override;

 private:
  Layout layout_;
  bool shouldInterpolate_;
  CGColorRenderingIntent intent_;
  mutable std::once_flag loadOnce_;
  mutable PixelLoader loader_;
  mutable std::shared_ptr<NSData> pixels_;
  mutable std::once_flag derivedOnce_;
  mutable std::shared_ptr<void> derived_;
};

using CGImageRef = std::shared_ptr<CGImage>;

// nil when the layout is not one of those listed at the top of this file, when the provider
// holds fewer bytes than the rows need, or when the size is beyond the decoding limits
// (zvt::kMaxImageSide, zvt::kMaxImagePixels). `decode` arrays are not supported: a non-null
// one gives nil.
CGImageRef CGImageCreate(size_t width, size_t height, size_t bitsPerComponent, size_t bitsPerPixel,
                         size_t bytesPerRow, const CGColorSpaceRef& space, CGBitmapInfo bitmapInfo,
                         const CGDataProviderRef& provider, const CGFloat* decode, bool shouldInterpolate,
                         CGColorRenderingIntent intent);
// The PNG or JPEG bytes of the provider: the header is read at once (nil when it is not a
// readable PNG or JPEG); the pixels are decoded on first use.
CGImageRef CGImageCreateWithPNGDataProvider(const CGDataProviderRef& source, const CGFloat* decode,
                                            bool shouldInterpolate, CGColorRenderingIntent intent);
CGImageRef CGImageCreateWithJPEGDataProvider(const CGDataProviderRef& source, const CGFloat* decode,
                                             bool shouldInterpolate, CGColorRenderingIntent intent);
// The same image (images are immutable).
CGImageRef CGImageCreateCopy(const CGImageRef& image);
// The pixels inside the rectangle (pixel coordinates, origin at the top left, rounded outward
// to whole pixels and clipped to the image); nil when nothing is left. The new image has
// pixels of its own.
CGImageRef CGImageCreateWithImageInRect(const CGImageRef& image, CGRect rect);

// Accessors answer 0 / nil for a nil image.
size_t CGImageGetWidth(const CGImageRef& image);
size_t CGImageGetHeight(const CGImageRef& image);
size_t CGImageGetBitsPerComponent(const CGImageRef& image);
size_t CGImageGetBitsPerPixel(const CGImageRef& image);
size_t CGImageGetBytesPerRow(const CGImageRef& image);
CGColorSpaceRef CGImageGetColorSpace(const CGImageRef& image);
CGImageAlphaInfo CGImageGetAlphaInfo(const CGImageRef& image);
CGBitmapInfo CGImageGetBitmapInfo(const CGImageRef& image);
bool CGImageGetShouldInterpolate(const CGImageRef& image);
CGColorRenderingIntent CGImageGetRenderingIntent(const CGImageRef& image);
// A provider of the pixel rows (decoding a lazy image); nil when there are none.
CGDataProviderRef CGImageGetDataProvider(const CGImageRef& image);
inline void CGImageRelease(const CGImageRef&) {}

namespace zvt {
// Decoding limits: no side above 32768 pixels and no more than 2^26 pixels (8192 x 8192,
// 256 MB at 4 bytes a pixel); an animation as large as one such image at most. Larger declared sizes are refused before anything is allocated,
// so a few hostile header bytes cannot ask for gigabytes.
inline constexpr size_t kMaxImageSide = 32768;
inline constexpr size_t kMaxImagePixels = size_t{1} << 26;
// A GIF's logical screen is its canvas, whatever its frames cover: at most this many pixels
// (16 MiB a frame). Ten header bytes could otherwise ask for 256 MiB for one 1 x 1 frame.
inline constexpr size_t kMaxGIFCanvasPixels = size_t{1} << 22;
// Animated images: all frames together hold at most this many decoded bytes.
inline constexpr size_t kMaxAnimationBytes = size_t{256} << 20;

// Within kMaxImageSide and kMaxImagePixels (bitmaps, contexts and decoding under the
// application's budget).
bool imageSizeAllowed(size_t width, size_t height);

// What decoding one picture may take. The application decodes under the limits above; a caller
// that must decode faster (a fuzzing harness, which runs each input under the sanitizers) sets
// smaller ones for the pictures it decodes (ImageDecodingBudgetScope).
struct ImageDecodingBudget {
  size_t maxSide = kMaxImageSide;                // either side of a picture
  size_t maxPixels = kMaxImagePixels;            // one still picture
  size_t maxCanvasPixels = kMaxGIFCanvasPixels;  // a GIF's logical screen
  size_t maxAnimationBytes = kMaxAnimationBytes;  // all the frames of a GIF together, 4 bytes a pixel
  bool allows(size_t width, size_t height) const;
};

// The budget in force on the calling thread: the innermost live scope's, else the defaults.
const ImageDecodingBudget& imageDecodingBudget();

// Puts a budget in force on the calling thread for as long as it lives. Image sources and the
// images of CGImageCreateWithPNGDataProvider / ...JPEGDataProvider keep the budget in force
// where they were made, so pictures they decode later, on any thread, stay within it.
class ImageDecodingBudgetScope {
 public:
  explicit ImageDecodingBudgetScope(const ImageDecodingBudget& budget);
  ~ImageDecodingBudgetScope();
  ImageDecodingBudgetScope(const ImageDecodingBudgetScope&) = delete;
  ImageDecodingBudgetScope& operator=(const ImageDecodingBudgetScope&) = delete;

 private:
  ImageDecodingBudget budget_;
  const ImageDecodingBudget* previous_;
};
}  // namespace zvt
