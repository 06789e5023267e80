// JPEG through libjpeg-turbo. libjpeg leaves by longjmp from its error_exit; the functions that
// call setjmp (jpegOpen, jpegStart, jpegReadRows, jpegFinish, jpegWriteAll) hold only plain
// data.

#include <cstdio>  // jpeglib.h needs FILE

#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/graphics/internal/Codecs.h"
#include "platform/graphics/internal/PixelLayout.h"

namespace zvt::graphics {
namespace {

// A progressive file may hold any number of scans; each costs a pass over the whole image.
constexpr int kMaxScans = 1000;

struct JpegError {
  jpeg_error_mgr pub;
  jmp_buf jump;
  bool stopAtEnd;     // leave at once when the data runs out
  long endRow;        // output row at which the data ran out, -1 while it has not
  bool corrupt;       // the entropy-coded data is damaged
};

struct JpegJob {
  jpeg_decompress_struct cinfo;
  JpegError error;
  jpeg_progress_mgr progress;
  bool created = false;
  bool invertCMYK = false;
  DecodeTarget target = DecodeTarget::stored;
  J_COLOR_SPACE output = JCS_RGB;
  size_t components = 3;
};

void jpegErrorExit(j_common_ptr cinfo) {
  auto* error = reinterpret_cast<JpegError*>(cinfo->err);
  longjmp(error->jump, 1);
}

void jpegEmitMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;
  auto* error = reinterpret_cast<JpegError*>(cinfo->err);
  error->pub.num_warnings++;
  int code = error->pub.msg_code;
  if (code == JWRN_JPEG_EOF) {
    if (error->endRow < 0) {
      error->endRow = cinfo->is_decompressor ? reinterpret_cast<j_decompress_ptr>(cinfo)->output_scanline : 0;
    }
    if (error->stopAtEnd) longjmp(error->jump, 1);
  } else if (code == JWRN_HIT_MARKER && error->endRow >= 0) {
    // The end-of-image marker the source puts in place of the missing bytes.
  } else if (code == JWRN_HUFF_BAD_CODE || code == JWRN_HIT_MARKER || code == JWRN_MUST_RESYNC) {
    error->corrupt = true;
    if (error->stopAtEnd) longjmp(error->jump, 1);
  }
}

void jpegOutputMessage(j_common_ptr) {}

void jpegProgress(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (d->input_scan_number > kMaxScans) {
    cinfo->err->msg_code = JERR_NOT_COMPILED;
    cinfo->err->error_exit(cinfo);
  }
}

bool jpegOpen(JpegJob* job, const uint8_t* bytes, size_t length) {
  job->cinfo.err = jpeg_std_error(&job->error.pub);
  job->error.pub.error_exit = jpegErrorExit;
  job->error.pub.emit_message = jpegEmitMessage;
  job->error.pub.output_message = jpegOutputMessage;
  job->error.endRow = -1;
  job->error.corrupt = false;
  if (setjmp(job->error.jump)) return false;
  jpeg_create_decompress(&job->cinfo);
  job->created = true;
  job->progress.progress_monitor = jpegProgress;
  job->cinfo.progress = &job->progress;
  job->cinfo.mem->max_memory_to_use = 768L << 20;
  jpeg_mem_src(&job->cinfo, bytes, static_cast<unsigned long>(length));
  if (jpeg_read_header(&job->cinfo, TRUE) != JPEG_HEADER_OK) return false;
  switch (job->cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
      job->output = JCS_GRAYSCALE;
      job->components = 1;
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      job->output = JCS_CMYK;
      job->components = 4;
      // Adobe's applications write CMYK inverted (0 = full ink) and mark it with their
      // APP14 segment; the pixels are turned back to plain CMYK.
      job->invertCMYK = job->cinfo.saw_Adobe_marker;
      break;
    default:
      job->output = JCS_RGB;
      job->components = 3;
      break;
  }
  // The drawing layout: libjpeg-turbo writes B, G, R, A (255) bytes, the host's 32-bit ARGB.
  if (job->target == DecodeTarget::drawing && job->output != JCS_CMYK) {
    job->output = JCS_EXT_BGRA;
    job->components = 4;
  }
  job->cinfo.out_color_space = job->output;
  return true;
}

bool jpegStart(JpegJob* job) {
  if (setjmp(job->error.jump)) return false;
  return jpeg_start_decompress(&job->cinfo) != 0;
}

bool jpegReadRows(JpegJob* job, uint8_t* base, size_t stride, JDIMENSION until) {
  if (setjmp(job->error.jump)) return false;
  JSAMPROW rows[16];
  while (job->cinfo.output_scanline < until) {
    JDIMENSION first = job->cinfo.output_scanline;
    JDIMENSION n = std::min<JDIMENSION>(16, until - first);
    for (JDIMENSION i = 0; i < n; ++i) rows[i] = base + (first + i) * stride;
    if (jpeg_read_scanlines(&job->cinfo, rows, n) == 0) return false;
    if (job->error.endRow >= 0) return false;
  }
  return true;
}

void jpegFinish(JpegJob* job) {
  if (setjmp(job->error.jump)) return;
  jpeg_finish_decompress(&job->cinfo);
}

void jpegClose(JpegJob* job) {
  if (job->created) jpeg_destroy_decompress(&job->cinfo);
  job->created = false;
}

bool fillLayout(const JpegJob& job, const ImageDecodingBudget& budget, CGImage::Layout& layout) {
  size_t width = job.cinfo.image_width, height = job.cinfo.image_height;
  if (width == 0 || height == 0 || !budget.allows(width, height)) return false;
  layout.width = width;
  layout.height = height;
  layout.bitsPerComponent = 8;
  layout.bitsPerPixel = 8 * job.components;
  layout.bytesPerRow = width * job.components;
  layout.bitmapInfo = job.output == JCS_EXT_BGRA ? kDrawingBitmapInfo : kCGImageAlphaNone;
  switch (job.output) {
    case JCS_GRAYSCALE:
      layout.colorSpace = CGColorSpaceCreateDeviceGray();
      break;
    case JCS_CMYK:
      layout.colorSpace = CGColorSpaceCreateDeviceCMYK();
      break;
    default:
      layout.colorSpace = CGColorSpaceCreateDeviceRGB();
      break;
  }
  return true;
}

struct JpegWriteJob {
  jpeg_compress_struct cinfo;
  JpegError error;
  bool created = false;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
};

bool jpegWriteAll(JpegWriteJob* job, JDIMENSION width, JDIMENSION height, int quality, uint8_t* rows) {
  job->cinfo.err = jpeg_std_error(&job->error.pub);
  job->error.pub.error_exit = jpegErrorExit;
  job->error.pub.emit_message = jpegEmitMessage;
  job->error.pub.output_message = jpegOutputMessage;
  job->error.endRow = -1;
  job->error.corrupt = false;
  job->error.stopAtEnd = false;
  if (setjmp(job->error.jump)) return false;
  jpeg_create_compress(&job->cinfo);
  job->created = true;
  jpeg_mem_dest(&job->cinfo, &job->buffer, &job->size);
  job->cinfo.image_width = width;
  job->cinfo.image_height = height;
  job->cinfo.input_components = 3;
  job->cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&job->cinfo);
  jpeg_set_quality(&job->cinfo, quality, TRUE);
  jpeg_start_compress(&job->cinfo, TRUE);
  while (job->cinfo.next_scanline < height) {
    JSAMPROW row = rows + static_cast<size_t>(job->cinfo.next_scanline) * width * 3;
    jpeg_write_scanlines(&job->cinfo, &row, 1);
  }
  jpeg_finish_compress(&job->cinfo);
  return true;
}

}  // namespace

bool readJPEGHeader(const uint8_t* bytes, size_t length, const ImageDecodingBudget& budget, ImageHeader& header) {
  auto* job = new (std::nothrow) JpegJob();
  if (!job) return false;
  job->error.stopAtEnd = true;
  bool ok = jpegOpen(job, bytes, length) && fillLayout(*job, budget, header.layout);
  header.hasAlpha = false;
  header.interlaced = ok && job->cinfo.progressive_mode;
  jpegClose(job);
  delete job;
  if (ok) header.exifOrientation = readJPEGExifOrientation(bytes, length);
  return ok;
}

bool decodeJPEG(const uint8_t* bytes, size_t length, const ImageDecodingBudget& budget, DecodedBitmap& out,
                bool allowPartial, DecodeTarget target) {
  auto* job = new (std::nothrow) JpegJob();
  if (!job) return false;
  job->target = target;
  job->error.stopAtEnd = !allowPartial;
  bool ok = jpegOpen(job, bytes, length) && fillLayout(*job, budget, out.layout) && jpegStart(job);
  size_t done = 0;
  if (ok) {
    const size_t stride = out.layout.bytesPerRow;
    const size_t height = out.layout.height;
    // Room for the rows is made as they arrive unless the file is long enough to plausibly
    // hold them all, so a short file cannot make us allocate for its declared size.
    size_t capacityRows = (stride * height) / 64 <= length + 65536
                              ? height
                              : std::min<size_t>(height, std::max<size_t>(64, (length * 64) / stride));
    try {
      out.pixels.resize(stride * capacityRows);
      while (ok && done < height) {
        if (done == capacityRows) {
          capacityRows = std::min(height, capacityRows * 2);
          out.pixels.resize(stride * capacityRows);
        }
        ok = jpegReadRows(job, out.pixels.data(), stride, static_cast<JDIMENSION>(capacityRows));
        done = job->cinfo.output_scanline;
      }
    } catch (const std::bad_alloc&) {
      ok = false;
    }
    if (ok) jpegFinish(job);
    if (job->error.corrupt || job->error.endRow >= 0) ok = false;
    if (job->invertCMYK) {
      for (size_t i = 0; i < std::min(out.pixels.size(), done * stride); ++i) out.pixels[i] = 255 - out.pixels[i];
    }
  }
  // Rows output before the data ran out hold real pixels; the library fills the rest grey.
  size_t rows = job->error.endRow >= 0 ? static_cast<size_t>(job->error.endRow) : done;
  bool corrupt = job->error.corrupt;
  jpegClose(job);
  delete job;
  if (ok) {
    out.complete = true;
    out.rowsDecoded = out.layout.height;
    return true;
  }
  out.complete = false;
  if (!allowPartial || corrupt || rows == 0 || out.pixels.empty()) {
    out.pixels.clear();
    out.pixels.shrink_to_fit();
    out.rowsDecoded = 0;
    return false;
  }
  rows = std::min(rows, out.pixels.size() / out.layout.bytesPerRow);
  out.rowsDecoded = rows;
  out.layout.height = rows;
  out.pixels.resize(rows * out.layout.bytesPerRow);
  return false;
}

int readJPEGExifOrientation(const uint8_t* bytes, size_t length) {
  if (length < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8) return 0;
  size_t pos = 2;
  while (pos + 4 <= length) {
    if (bytes[pos] != 0xFF) return 0;
    uint8_t marker = bytes[pos + 1];
    if (marker == 0xFF) {
      ++pos;
      continue;
    }
    if (marker == 0xDA || marker == 0xD9) return 0;
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
      pos += 2;
      continue;
    }
    size_t segment = (static_cast<size_t>(bytes[pos + 2]) << 8) | bytes[pos + 3];
    if (segment < 2 || pos + 2 + segment > length) return 0;
    const uint8_t* s = bytes + pos + 4;
    size_t n = segment - 2;
    if (marker == 0xE1 && n >= 14 && std::memcmp(s, "Exif\0\0", 6) == 0) {
      const uint8_t* tiff = s + 6;
      size_t tiffLength = n - 6;
      bool little = tiff[0] == 'I' && tiff[1] == 'I';
      if (!little && !(tiff[0] == 'M' && tiff[1] == 'M')) return 0;
      auto u16 = [&](size_t at) -> unsigned {
        return little ? (tiff[at] | (tiff[at + 1] << 8)) : ((tiff[at] << 8) | tiff[at + 1]);
      };
      auto u32 = [&](size_t at) -> size_t {
        return little ? (size_t{tiff[at]} | (size_t{tiff[at + 1]} << 8) | (size_t{tiff[at + 2]} << 16) | (size_t{tiff[at + 3]} << 24))
                      : ((size_t{tiff[at]} << 24) | (size_t{tiff[at + 1]} << 16) | (size_t{tiff[at + 2]} << 8) | size_t{tiff[at + 3]});
      };
      if (u16(2) != 42) return 0;
      size_t ifd = u32(4);
      if (ifd > tiffLength || tiffLength - ifd < 2) return 0;
      size_t entries = u16(ifd);
      for (size_t i = 0; i < entries; ++i) {
        size_t at = ifd + 2 + 12 * i;
        if (at + 12 > tiffLength) return 0;
        if (u16(at) == 0x0112) {
          unsigned type = u16(at + 2);
          if (type == 3) return static_cast<int>(u16(at + 8));
          if (type == 4 || type == 9) return static_cast<int>(u32(at + 8));
          return 0;
        }
      }
      return 0;
    }
    pos += 2 + segment;
  }
  return 0;
}

std::shared_ptr<NSData> encodeJPEG(const CGImageRef& image, double quality) {
  if (!image) return nullptr;
  auto pixels = image->pixelData();
  auto layout = readableLayout(image->bitsPerComponent(), image->bitsPerPixel(), image->colorSpace(), image->bitmapInfo());
  if (!pixels || !layout) return nullptr;
  const size_t width = image->width(), height = image->height();
  std::vector<uint8_t> rows;
  std::vector<uint8_t> rgba;
  try {
    rows.resize(width * 3 * height);
    rgba.resize(width * 4);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  // JPEG has no alpha: premultiplied colours are the image over black.
  for (size_t y = 0; y < height; ++y) {
    readPixels(*layout, pixels->bytes() + y * image->bytesPerRow(), width, rgba.data());
    uint8_t* dst = rows.data() + y * width * 3;
    for (size_t x = 0; x < width; ++x) {
      dst[3 * x] = rgba[4 * x];
      dst[3 * x + 1] = rgba[4 * x + 1];
      dst[3 * x + 2] = rgba[4 * x + 2];
    }
  }
  if (std::isnan(quality)) quality = 0;
  int q = static_cast<int>(std::lround(std::clamp(quality, 0.0, 1.0) * 100));
  q = std::clamp(q, 1, 100);
  auto* job = new (std::nothrow) JpegWriteJob();
  if (!job) return nullptr;
  bool ok = jpegWriteAll(job, static_cast<JDIMENSION>(width), static_cast<JDIMENSION>(height), q, rows.data());
  std::shared_ptr<NSData> result;
  if (ok && job->buffer) {
    try {
      result = NSData::dataWithBytes(job->buffer, job->size);
    } catch (const std::bad_alloc&) {
      result = nullptr;
    }
  }
  if (job->created) jpeg_destroy_compress(&job->cinfo);
  std::free(job->buffer);
  delete job;
  return result;
}

}  // namespace zvt::graphics
