#pragma once
// Image sources (the ImageIO stand-in): the images and properties of a block of image bytes.
//
// Formats are recognised by their signatures. PNG, JPEG and GIF are decoded; TIFF and WebP are
// recognised (their type is answered) but not decoded: such a source has no images and the
// status kCGImageStatusUnknownType.
//
// A GIF's images are its frames composed on the logical screen (see internal/Codecs.h); they
// are decoded once, when the source is first asked about its images. PNG and JPEG images are
// decoded each time one is made. Data cut short gives, for a non-interlaced PNG or a baseline
// JPEG, an image of the rows that arrived (status kCGImageStatusIncomplete); for a GIF, the
// frames that arrived whole.
//
// A source decodes within the image decoding budget in force where it was made (see
// zvt::ImageDecodingBudget in CGImage.h); a picture beyond it is refused as one beyond the
// application's limits is: no images, status kCGImageStatusInvalidData.

#include <cstddef>
#include <memory>
#include <mutex>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSString.h"
#include "platform/graphics/CGImage.h"

enum CGImageSourceStatus : int32_t {
  kCGImageStatusUnexpectedEOF = -5,
  kCGImageStatusInvalidData = -4,
  kCGImageStatusUnknownType = -3,
  kCGImageStatusReadingHeader = -2,
  kCGImageStatusIncomplete = -1,
  kCGImageStatusComplete = 0,
};

// Property keys and values, the texts ImageIO uses.
inline const zvt::StaticString kCGImagePropertyPixelWidth{"PixelWidth"};
inline const zvt::StaticString kCGImagePropertyPixelHeight{"PixelHeight"};
inline const zvt::StaticString kCGImagePropertyDepth{"Depth"};
inline const zvt::StaticString kCGImagePropertyHasAlpha{"HasAlpha"};
inline const zvt::StaticString kCGImagePropertyColorModel{"ColorModel"};
inline const zvt::StaticString kCGImagePropertyColorModelRGB{"RGB"};
inline const zvt::StaticString kCGImagePropertyColorModelGray{"Gray"};
inline const zvt::StaticString kCGImagePropertyColorModelCMYK{"CMYK"};
inline const zvt::StaticString kCGImagePropertyOrientation{"Orientation"};
inline const zvt::StaticString kCGImagePropertyIsIndexed{"IsIndexed"};
inline const zvt::StaticString kCGImagePropertyFileSize{"FileSize"};
inline const zvt::StaticString kCGImagePropertyGIFDictionary{"{GIF}"};
inline const zvt::StaticString kCGImagePropertyGIFDelayTime{"DelayTime"};
inline const zvt::StaticString kCGImagePropertyGIFUnclampedDelayTime{"UnclampedDelayTime"};
inline const zvt::StaticString kCGImagePropertyGIFLoopCount{"LoopCount"};
inline const zvt::StaticString kCGImagePropertyGIFCanvasPixelWidth{"CanvasPixelWidth"};
inline const zvt::StaticString kCGImagePropertyGIFCanvasPixelHeight{"CanvasPixelHeight"};
inline const zvt::StaticString kCGImagePropertyPNGDictionary{"{PNG}"};
inline const zvt::StaticString kCGImagePropertyPNGInterlaceType{"InterlaceType"};
inline const zvt::StaticString kCGImagePropertyJFIFDictionary{"{JFIF}"};
inline const zvt::StaticString kCGImagePropertyJFIFIsProgressive{"IsProgressive"};

// Options of CGImageSourceCreateImageAtIndex. With ShouldCacheImmediately YES a PNG or RGB or
// gray JPEG is decoded at once into the form drawing uses as it is: 8-bit RGB in 32-bit pixels
// of the host's order, alpha first and premultiplied (255 for opaque images), the layout a
// forced decode draws into. Without it the samples come as stored.
inline const zvt::StaticString kCGImageSourceShouldCache{"kCGImageSourceShouldCache"};
inline const zvt::StaticString kCGImageSourceShouldCacheImmediately{"kCGImageSourceShouldCacheImmediately"};

namespace zvt::graphics {
struct GIFAnimation;
struct ImageHeader;
enum class ImageFormat;
}  // namespace zvt::graphics

class CGImageSource : public NSObject {
 public:
  // Keeps the calling thread's image decoding budget.
  explicit CGImageSource(std::shared_ptr<NSData> data);
  ~CGImageSource() override;

  // The uniform type identifier: "public.png", "public.jpeg", "com.compuserve.gif",
  // "public.tiff", "org.webmproject.webp"; nil when the bytes are of no known kind.
  std::shared_ptr<NSString> type() const;
  size_t count() const;
  CGImageSourceStatus status() const;
  CGImageSourceStatus statusAtIndex(size_t index) const;
  std::shared_ptr<NSDictionary> properties() const;
  std::shared_ptr<NSDictionary> propertiesAtIndex(size_t index) const;
  // forDrawing: in the drawing layout (see kCGImageSourceShouldCacheImmediately).
  CGImageRef imageAtIndex(size_t index, bool forDrawing = false) const;
  // Only complete images: nil when the data is cut short or damaged.
  CGImageRef completeImageAtIndex(size_t index, bool forDrawing = false) const;

 private:
  const zvt::graphics::ImageHeader* header() const;
  const zvt::graphics::GIFAnimation* animation() const;
  CGImageRef decodeStill(bool allowPartial, bool forDrawing) const;

  std::shared_ptr<NSData> data_;
  zvt::graphics::ImageFormat format_;
  zvt::ImageDecodingBudget budget_;
  mutable std::once_flag headerOnce_;
  mutable std::unique_ptr<zvt::graphics::ImageHeader> header_;
  mutable std::once_flag animationOnce_;
  mutable std::unique_ptr<zvt::graphics::GIFAnimation> animation_;
};

using CGImageSourceRef = std::shared_ptr<CGImageSource>;

// nil for nil data. Options are accepted and ignored.
CGImageSourceRef CGImageSourceCreateWithData(const std::shared_ptr<NSData>& data,
                                             const std::shared_ptr<NSDictionary>& options);
std::shared_ptr<NSString> CGImageSourceGetType(const CGImageSourceRef& source);
// Images the source can make: 1 for a PNG or JPEG whose header reads, the frames of a GIF.
size_t CGImageSourceGetCount(const CGImageSourceRef& source);
CGImageSourceStatus CGImageSourceGetStatus(const CGImageSourceRef& source);
CGImageSourceStatus CGImageSourceGetStatusAtIndex(const CGImageSourceRef& source, size_t index);
// Container properties: FileSize, and for a GIF its {GIF} dictionary (LoopCount when the file
// has a looping extension, CanvasPixelWidth/Height).
std::shared_ptr<NSDictionary> CGImageSourceCopyProperties(const CGImageSourceRef& source,
                                                          const std::shared_ptr<NSDictionary>& options);
// PixelWidth, PixelHeight, Depth, ColorModel, HasAlpha, Orientation (JPEG with EXIF only),
// {PNG} / {JFIF} details, and for a GIF frame its {GIF} dictionary: UnclampedDelayTime (the
// stored delay) and DelayTime (the stored delay, or 0.1 s when that is 0.01 s or less, as
// browsers play it), both only when the frame has a graphic control extension. nil beyond the
// images.
std::shared_ptr<NSDictionary> CGImageSourceCopyPropertiesAtIndex(const CGImageSourceRef& source, size_t index,
                                                                 const std::shared_ptr<NSDictionary>& options);
// nil beyond the images or when nothing could be decoded. Options: ShouldCacheImmediately
// (the other keys are accepted and ignored).
CGImageRef CGImageSourceCreateImageAtIndex(const CGImageSourceRef& source, size_t index,
                                           const std::shared_ptr<NSDictionary>& options);
