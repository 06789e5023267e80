// PNG through libpng. The functions that call setjmp (pngOpen, pngReadRows, pngFinish,
// pngWriteAll) hold only plain data: libpng leaves them by longjmp on every error.

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/graphics/internal/Codecs.h"
#include "platform/graphics/internal/PixelLayout.h"

namespace zvt::graphics {
namespace {

struct MemoryReader {
  const uint8_t* bytes;
  size_t length;
  size_t offset;
};

struct PngJob {
  png_structp png = nullptr;
  png_infop info = nullptr;
  MemoryReader reader{nullptr, 0, 0};
  png_uint_32 width = 0;
  png_uint_32 height = 0;
  int bitDepth = 0;        // after the transformations
  int colorType = 0;       // after the transformations
  int fileChannels = 0;    // as stored
  int fileBitDepth = 0;    // as stored
  int interlace = 0;
  int passes = 1;
  size_t rowBytes = 0;
  bool hasTransparency = false;
  bool outputAlpha = false;  // the drawing layout's alpha is the image's (else 255)
  DecodeTarget target = DecodeTarget::stored;
  uint32_t rowsRead = 0;
  const ImageDecodingBudget* budget = nullptr;
};

// libpng refuses a larger side while it reads the header.
png_uint_32 sideLimit(const ImageDecodingBudget& budget) {
  return static_cast<png_uint_32>(std::min<size_t>(budget.maxSide, PNG_UINT_31_MAX));
}

void pngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void pngWarning(png_structp, png_const_charp) {}

void pngRead(png_structp png, png_bytep out, size_t count) {
  auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
  if (reader->length - reader->offset < count) png_error(png, "unexpected end of data");
  std::memcpy(out, reader->bytes + reader->offset, count);
  reader->offset += count;
}

// Every image comes out as 8 or 16-bit gray, gray+alpha, RGB or RGBA.
void setTransforms(PngJob* job) {
  int colorType = png_get_color_type(job->png, job->info);
  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(job->png);
  if (colorType == PNG_COLOR_TYPE_GRAY && job->fileBitDepth < 8) png_set_expand_gray_1_2_4_to_8(job->png);
  if (png_get_valid(job->png, job->info, PNG_INFO_tRNS)) {
    png_set_tRNS_to_alpha(job->png);
    job->hasTransparency = true;
  }
  if (job->target == DecodeTarget::drawing) {
    // 8-bit B, G, R, A bytes: the host's 32-bit ARGB; straight alpha is premultiplied after.
    if (job->fileBitDepth == 16) png_set_strip_16(job->png);
    if (!(colorType & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(job->png);
    png_set_bgr(job->png);
    job->outputAlpha = (colorType & PNG_COLOR_MASK_ALPHA) || job->hasTransparency;
    if (!job->outputAlpha) png_set_filler(job->png, 0xFF, PNG_FILLER_AFTER);
  }
  job->passes = png_set_interlace_handling(job->png);
}

// Straight B, G, R, A to premultiplied, rounding as drawing does.
void premultiply(uint8_t* pixels, size_t count) {
  for (size_t i = 0; i < count; ++i, pixels += 4) {
    const unsigned a = pixels[3];
    if (a == 255) continue;
    for (int c = 0; c < 3; ++c) {
      unsigned t = pixels[c] * a + 128;
      pixels[c] = static_cast<uint8_t>((t + (t >> 8)) >> 8);
    }
  }
}

void readOutputFacts(PngJob* job) {
  job->bitDepth = png_get_bit_depth(job->png, job->info);
  job->colorType = png_get_color_type(job->png, job->info);
  job->rowBytes = png_get_rowbytes(job->png, job->info);
}

bool pngOpen(PngJob* job) {
  job->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
  if (!job->png) return false;
  job->info = png_create_info_struct(job->png);
  if (!job->info) return false;
  if (setjmp(png_jmpbuf(job->png))) return false;
  png_set_read_fn(job->png, &job->reader, pngRead);
  png_set_user_limits(job->png, sideLimit(*job->budget), sideLimit(*job->budget));
  // Ancillary chunks (text, profiles) are not used; bound what a hostile file can make us keep.
  png_set_chunk_malloc_max(job->png, 8u << 20);
  png_set_chunk_cache_max(job->png, 1000);
  png_read_info(job->png, job->info);
  job->width = png_get_image_width(job->png, job->info);
  job->height = png_get_image_height(job->png, job->info);
  job->fileChannels = png_get_channels(job->png, job->info);
  job->fileBitDepth = png_get_bit_depth(job->png, job->info);
  job->interlace = png_get_interlace_type(job->png, job->info);
  setTransforms(job);
  png_read_update_info(job->png, job->info);
  readOutputFacts(job);
  return true;
}

// Reads `count` rows from row `first` on (every pass of an interlaced image at once when
// `first` is 0 and `count` the height). Counts progress in job->rowsRead.
bool pngReadRows(PngJob* job, png_bytep base, size_t stride, png_uint_32 first, png_uint_32 count) {
  if (setjmp(png_jmpbuf(job->png))) return false;
  for (int pass = 0; pass < job->passes; ++pass) {
    for (png_uint_32 y = 0; y < count; ++y) {
      png_read_row(job->png, base + (first + y) * stride, nullptr);
      if (job->passes == 1) job->rowsRead = first + y + 1;
    }
  }
  if (job->passes > 1) job->rowsRead = count;
  return true;
}

// The data after the image (its end chunk); a file cut short there still has all its pixels.
void pngFinish(PngJob* job) {
  if (setjmp(png_jmpbuf(job->png))) return;
  png_read_end(job->png, nullptr);
}

void pngClose(PngJob* job) {
  if (job->png) png_destroy_read_struct(&job->png, job->info ? &job->info : nullptr, nullptr);
}

// Cut-short data: libpng's sequential reader takes the image data a whole chunk at a time and
// so loses the rows of a chunk that did not arrive whole; its progressive reader hands out
// each row as soon as its bytes are there. Rows are kept in malloc'd memory: nothing in these
// callbacks can throw.
struct PngProgressive {
  PngJob job;
  uint8_t* rows = nullptr;
  size_t capacityRows = 0;
  bool failed = false;
};

void progressiveInfo(png_structp png, png_infop) {
  auto* p = static_cast<PngProgressive*>(png_get_progressive_ptr(png));
  PngJob* job = &p->job;
  job->width = png_get_image_width(png, job->info);
  job->height = png_get_image_height(png, job->info);
  job->fileChannels = png_get_channels(png, job->info);
  job->fileBitDepth = png_get_bit_depth(png, job->info);
  job->interlace = png_get_interlace_type(png, job->info);
  // Only whole rows of a plain (not interlaced) image are worth showing.
  if (job->interlace != PNG_INTERLACE_NONE) png_error(png, "interlaced");
  setTransforms(job);
  // Updates the row facts for the transformations too (png_start_read_image does not): the
  // rows a palette or a filler widens come out wider than stored.
  png_read_update_info(png, job->info);
  readOutputFacts(job);
  if (job->width == 0 || job->height == 0 || !job->budget->allows(job->width, job->height)) png_error(png, "size");
}

void progressiveRow(png_structp png, png_bytep row, png_uint_32 index, int) {
  auto* p = static_cast<PngProgressive*>(png_get_progressive_ptr(png));
  if (!row || index >= p->job.height) return;
  if (index >= p->capacityRows) {
    size_t capacity = std::max<size_t>(64, p->capacityRows * 2);
    while (capacity <= index) capacity *= 2;
    capacity = std::min<size_t>(capacity, p->job.height);
    auto* grown = static_cast<uint8_t*>(std::realloc(p->rows, capacity * p->job.rowBytes));
    if (!grown) {
      p->failed = true;
      png_error(png, "out of memory");
    }
    p->rows = grown;
    p->capacityRows = capacity;
  }
  std::memcpy(p->rows + static_cast<size_t>(index) * p->job.rowBytes, row, p->job.rowBytes);
  p->job.rowsRead = index + 1;
}

void progressiveEnd(png_structp, png_infop) {}

bool pngProgressive(PngProgressive* p, const uint8_t* bytes, size_t length) {
  PngJob* job = &p->job;
  job->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
  if (!job->png) return false;
  job->info = png_create_info_struct(job->png);
  if (!job->info) return false;
  if (setjmp(png_jmpbuf(job->png))) return false;
  png_set_user_limits(job->png, sideLimit(*job->budget), sideLimit(*job->budget));
  png_set_chunk_malloc_max(job->png, 8u << 20);
  png_set_chunk_cache_max(job->png, 1000);
  png_set_progressive_read_fn(job->png, p, progressiveInfo, progressiveRow, progressiveEnd);
  png_process_data(job->png, job->info, const_cast<png_bytep>(bytes), length);
  return true;
}

bool fillLayout(const PngJob& job, CGImage::Layout& layout, bool& hasAlpha) {
  if (job.width == 0 || job.height == 0 || !job.budget->allows(job.width, job.height)) return false;
  if (job.target == DecodeTarget::drawing) {
    layout.colorSpace = CGColorSpaceCreateDeviceRGB();
    layout.width = job.width;
    layout.height = job.height;
    layout.bitsPerComponent = 8;
    layout.bitsPerPixel = 32;
    layout.bytesPerRow = static_cast<size_t>(job.width) * 4;
    layout.bitmapInfo = kDrawingBitmapInfo;
    hasAlpha = job.outputAlpha;
    return job.bitDepth == 8 && job.rowBytes == layout.bytesPerRow;
  }
  if (job.bitDepth != 8 && job.bitDepth != 16) return false;
  size_t channels = 0;
  switch (job.colorType) {
    case PNG_COLOR_TYPE_GRAY:
      layout.colorSpace = CGColorSpaceCreateDeviceGray();
      channels = 1;
      hasAlpha = false;
      break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      layout.colorSpace = CGColorSpaceCreateDeviceGray();
      channels = 2;
      hasAlpha = true;
      break;
    case PNG_COLOR_TYPE_RGB:
      layout.colorSpace = CGColorSpaceCreateDeviceRGB();
      channels = 3;
      hasAlpha = false;
      break;
    case PNG_COLOR_TYPE_RGB_ALPHA:
      layout.colorSpace = CGColorSpaceCreateDeviceRGB();
      channels = 4;
      hasAlpha = true;
      break;
    default:
      return false;
  }
  layout.width = job.width;
  layout.height = job.height;
  layout.bitsPerComponent = static_cast<size_t>(job.bitDepth);
  layout.bitsPerPixel = channels * layout.bitsPerComponent;
  layout.bytesPerRow = job.rowBytes;
  // PNG alpha is straight (not premultiplied); 16-bit samples stay big-endian as stored.
  layout.bitmapInfo = hasAlpha ? kCGImageAlphaLast : kCGImageAlphaNone;
  return layout.bytesPerRow == layout.width * layout.bitsPerPixel / 8;
}

// Filtered image data of the file (a row of the stored depth plus its filter byte).
size_t storedImageBytes(const PngJob& job) {
  size_t row = (static_cast<size_t>(job.width) * job.fileChannels * job.fileBitDepth + 7) / 8 + 1;
  return row * job.height;
}

struct PngWriteJob {
  png_structp png = nullptr;
  png_infop info = nullptr;
  std::vector<uint8_t>* out = nullptr;
};

void pngWrite(png_structp png, png_bytep data, size_t count) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  bool ok = true;
  try {
    out->insert(out->end(), data, data + count);
  } catch (...) {
    ok = false;
  }
  if (!ok) png_error(png, "out of memory");
}

void pngFlush(png_structp) {}

bool pngWriteAll(PngWriteJob* job, png_uint_32 width, png_uint_32 height, int colorType, png_bytep rows,
                 size_t stride) {
  job->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
  if (!job->png) return false;
  job->info = png_create_info_struct(job->png);
  if (!job->info) return false;
  if (setjmp(png_jmpbuf(job->png))) return false;
  png_set_write_fn(job->png, job->out, pngWrite, pngFlush);
  png_set_IHDR(job->png, job->info, width, height, 8, colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(job->png, job->info);
  for (png_uint_32 y = 0; y < height; ++y) png_write_row(job->png, rows + y * stride);
  png_write_end(job->png, nullptr);
  return true;
}

}  // namespace

bool readPNGHeader(const uint8_t* bytes, size_t length, const ImageDecodingBudget& budget, ImageHeader& header) {
  PngJob job;
  job.budget = &budget;
  job.reader = MemoryReader{bytes, length, 0};
  bool ok = pngOpen(&job) && fillLayout(job, header.layout, header.hasAlpha);
  header.interlaced = job.interlace != PNG_INTERLACE_NONE;
  pngClose(&job);
  return ok;
}

bool decodePNG(const uint8_t* bytes, size_t length, const ImageDecodingBudget& budget, DecodedBitmap& out,
               bool allowPartial, DecodeTarget target) {
  PngJob job;
  job.budget = &budget;
  job.target = target;
  job.reader = MemoryReader{bytes, length, 0};
  bool hasAlpha = false;
  if (!pngOpen(&job) || !fillLayout(job, out.layout, hasAlpha)) {
    pngClose(&job);
    return false;
  }
  const size_t stride = out.layout.bytesPerRow;
  const size_t height = out.layout.height;
  // Deflate cannot shrink data more than 1032 to 1: a file too short for its declared size is
  // cut short or lying, and its rows are made room for only as they arrive.
  const bool plausible = storedImageBytes(job) / 1032 <= length + 1024;
  bool ok = false;
  try {
    if (job.passes > 1) {
      if (plausible) {
        out.pixels.assign(stride * height, 0);
        ok = pngReadRows(&job, out.pixels.data(), stride, 0, static_cast<png_uint_32>(height));
      }
    } else {
      size_t capacityRows = plausible ? height : std::min<size_t>(height, std::max<size_t>(16, (length * 4) / stride));
      out.pixels.assign(stride * capacityRows, 0);
      size_t done = 0;
      ok = true;
      while (ok && done < height) {
        if (done == capacityRows) {
          capacityRows = std::min(height, capacityRows * 2);
          out.pixels.resize(stride * capacityRows);
        }
        ok = pngReadRows(&job, out.pixels.data(), stride, static_cast<png_uint_32>(done),
                         static_cast<png_uint_32>(capacityRows - done));
        done = job.rowsRead;
      }
    }
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  if (ok) pngFinish(&job);
  pngClose(&job);
  if (ok) {
    if (job.target == DecodeTarget::drawing && job.outputAlpha) premultiply(out.pixels.data(), out.layout.width * height);
    out.rowsDecoded = height;
    out.complete = true;
    return true;
  }
  out.complete = false;
  out.rowsDecoded = 0;
  out.pixels.clear();
  out.pixels.shrink_to_fit();
  if (!allowPartial || job.passes > 1) return false;
  PngProgressive progressive;
  progressive.job.target = target;
  progressive.job.budget = &budget;
  pngProgressive(&progressive, bytes, length);
  size_t rows = progressive.failed ? 0 : progressive.job.rowsRead;
  if (rows > 0 && progressive.job.rowBytes == stride) {
    try {
      out.pixels.assign(progressive.rows, progressive.rows + rows * stride);
      if (target == DecodeTarget::drawing && progressive.job.outputAlpha) premultiply(out.pixels.data(), out.layout.width * rows);
      out.rowsDecoded = rows;
      out.layout.height = rows;
    } catch (const std::bad_alloc&) {
      out.pixels.clear();
      out.rowsDecoded = 0;
    }
  }
  std::free(progressive.rows);
  pngClose(&progressive.job);
  return false;
}

std::shared_ptr<NSData> encodePNG(const CGImageRef& image) {
  if (!image) return nullptr;
  auto pixels = image->pixelData();
  auto layout = readableLayout(image->bitsPerComponent(), image->bitsPerPixel(), image->colorSpace(), image->bitmapInfo());
  if (!pixels || !layout) return nullptr;
  const size_t width = image->width(), height = image->height();
  const bool opaque = layout->opaque();
  const size_t channels = opaque ? 3 : 4;
  std::vector<uint8_t> rows;
  std::vector<uint8_t> rgba;
  try {
    rows.resize(width * channels * height);
    rgba.resize(width * 4);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  for (size_t y = 0; y < height; ++y) {
    readPixels(*layout, pixels->bytes() + y * image->bytesPerRow(), width, rgba.data());
    uint8_t* dst = rows.data() + y * width * channels;
    for (size_t x = 0; x < width; ++x) {
      const uint8_t* p = rgba.data() + 4 * x;
      unsigned a = p[3];
      if (opaque) {
        dst[3 * x] = p[0];
        dst[3 * x + 1] = p[1];
        dst[3 * x + 2] = p[2];
      } else {
        // PNG keeps straight alpha: undo the premultiplication.
        for (int c = 0; c < 3; ++c) dst[4 * x + c] = a ? static_cast<uint8_t>(std::min(255u, (p[c] * 255u + a / 2) / a)) : 0;
        dst[4 * x + 3] = static_cast<uint8_t>(a);
      }
    }
  }
  std::vector<uint8_t> encoded;
  PngWriteJob job;
  job.out = &encoded;
  bool ok = pngWriteAll(&job, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height),
                        opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGB_ALPHA, rows.data(), width * channels);
  png_destroy_write_struct(&job.png, job.info ? &job.info : nullptr);
  if (!ok) return nullptr;
  return NSData::dataWithVector(std::move(encoded));
}

}  // namespace zvt::graphics
