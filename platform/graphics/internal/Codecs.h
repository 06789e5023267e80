#pragma once
// The file formats under the image sources: sniffing, PNG (libpng), JPEG (libjpeg-turbo) and
// GIF (giflib) decoding, EXIF orientation, PNG and JPEG encoding.
//
// The C libraries report errors by longjmp. Every function that calls setjmp keeps only plain
// C data in its frame and takes its buffers from the caller, so a jump never skips a C++
// destructor; nothing here throws through a library callback.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/foundation/NSData.h"
#include "platform/graphics/CGImage.h"

namespace zvt::graphics {

enum class ImageFormat { unknown, png, jpeg, gif, tiff, webp };

// By the signature at the start of the bytes.
ImageFormat sniffFormat(const uint8_t* bytes, size_t length);

struct ImageHeader {
  CGImage::Layout layout;  // bytesPerRow is the decoder's own
  bool hasAlpha = false;
  bool interlaced = false;  // PNG interlacing, progressive JPEG
  int exifOrientation = 0;  // 0 when the data carries none
};

struct DecodedBitmap {
  CGImage::Layout layout;
  std::vector<uint8_t> pixels;
  size_t rowsDecoded = 0;  // rows holding decoded data (all of them when complete)
  bool complete = false;
};

// What a decoder produces: the samples as stored (8 or 16 bits, gray, RGB or CMYK, straight
// alpha), or the layout drawing uses as it is (8-bit RGB in 32-bit pixels of the host's order,
// alpha first and premultiplied; opaque images have alpha 255). CMYK JPEGs stay as stored.
enum class DecodeTarget { stored, drawing };

// The drawing layout's bitmap info (premultiplied alpha first, 32-bit host order).
inline constexpr CGBitmapInfo kDrawingBitmapInfo = kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little;

// Each decoder refuses a picture beyond `budget` (zvt::ImageDecodingBudget) from its header,
// before any pixel memory is taken.
bool readPNGHeader(const uint8_t* bytes, size_t length, const ImageDecodingBudget& budget, ImageHeader& header);
// True when the whole image was decoded. When it was not and `allowPartial` is set, the rows
// decoded before the data ended (never of an interlaced image) are kept in `out`.
bool decodePNG(const uint8_t* bytes, size_t length, const ImageDecodingBudget& budget, DecodedBitmap& out,
               bool allowPartial, DecodeTarget target = DecodeTarget::stored);

bool readJPEGHeader(const uint8_t* bytes, size_t length, const ImageDecodingBudget& budget, ImageHeader& header);
bool decodeJPEG(const uint8_t* bytes, size_t length, const ImageDecodingBudget& budget, DecodedBitmap& out,
                bool allowPartial, DecodeTarget target = DecodeTarget::stored);

// The EXIF orientation (1 to 8 as stored, any other stored value as is) of a JPEG's APP1
// segment; 0 when there is none.
int readJPEGExifOrientation(const uint8_t* bytes, size_t length);

struct GIFFrame {
  std::shared_ptr<NSData> pixels;  // the whole canvas, premultiplied RGBA
  bool hasDelay = false;           // a graphic control extension was present
  double delay = 0;                // seconds as stored (hundredths)
};

struct GIFAnimation {
  size_t width = 0;
  size_t height = 0;
  int loopCount = -1;  // -1: no looping extension
  std::vector<GIFFrame> frames;
  bool headerRead = false;
  bool complete = false;  // every frame decoded and the data ended at a record boundary
};

// How many times a GIF's frames were decoded in this process (tests: one decode per picture).
size_t gifDecodeCount();

// Frames composed on the logical screen: each frame is the canvas after drawing it, with the
// previous frame's disposal applied first (1 keep, 2 clear its rectangle to transparent,
// 3 restore what was there before it); transparent pixels of a frame leave the canvas as it is.
// A screen beyond the budget's canvas (maxCanvasPixels, and its side and pixel limits), or more
// frames than its maxAnimationBytes holds, is refused (no frames) after a look at the records
// and before any pixel memory is taken.
GIFAnimation decodeGIF(const uint8_t* bytes, size_t length, const ImageDecodingBudget& budget);

// Encoding; nil when the image has no pixels.
std::shared_ptr<NSData> encodePNG(const CGImageRef& image);
std::shared_ptr<NSData> encodeJPEG(const CGImageRef& image, double quality);

}  // namespace zvt::graphics
