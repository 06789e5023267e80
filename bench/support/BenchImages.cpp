#include "bench/support/BenchImages.h"

#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstring>
#include <random>
#include <vector>

#include "platform/foundation/NSData.h"

namespace zvt::bench {
namespace {

struct Reader {
  const uint8_t* bytes;
  size_t length;
  size_t offset;
};

void readBytes(png_structp png, png_bytep out, size_t count) {
  auto* r = static_cast<Reader*>(png_get_io_ptr(png));
  if (r->length - r->offset < count) png_error(png, "short");
  std::memcpy(out, r->bytes + r->offset, count);
  r->offset += count;
}

struct JpegFailure {
  jpeg_error_mgr pub;
  jmp_buf jump;
};
void jpegFail(j_common_ptr cinfo) { longjmp(reinterpret_cast<JpegFailure*>(cinfo->err)->jump, 1); }

}  // namespace


// Smooth shapes with a little noise: compresses like a product photo, not like noise.
CGImageRef sourceImage() {
  static const CGImageRef image = [] {
    std::vector<uint8_t> rgb(kWidth * kHeight * 3);
    std::mt19937 rng(1080);
    for (size_t y = 0; y < kHeight; ++y) {
      for (size_t x = 0; x < kWidth; ++x) {
        double fx = static_cast<double>(x) / kWidth, fy = static_cast<double>(y) / kHeight;
        uint8_t* p = &rgb[(y * kWidth + x) * 3];
        p[0] = static_cast<uint8_t>(127 + 100 * std::sin(fx * 9 + fy * 3) + (rng() & 7));
        p[1] = static_cast<uint8_t>(127 + 100 * std::cos(fy * 7 - fx * 2) + (rng() & 7));
        p[2] = static_cast<uint8_t>(127 + 100 * std::sin((fx + fy) * 5) + (rng() & 7));
      }
    }
    auto provider = CGDataProviderCreateWithCFData(NSData::dataWithVector(std::move(rgb)));
    return CGImageCreate(kWidth, kHeight, 8, 24, kWidth * 3, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaNone,
                         provider, nullptr, true, kCGRenderingIntentDefault);
  }();
  return image;
}

const std::shared_ptr<NSData>& pngData() {
  static const auto data = UIImagePNGRepresentation(UIImage::imageWithCGImage(sourceImage()));
  return data;
}

const std::shared_ptr<NSData>& jpegData() {
  static const auto data = UIImageJPEGRepresentation(UIImage::imageWithCGImage(sourceImage()), 0.9);
  return data;
}

// libpng alone: header, rows into one buffer, end.
bool pngDirect(const uint8_t* bytes, size_t length, uint8_t* out) {
  Reader reader{bytes, length, 0};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_read_fn(png, &reader, readBytes);
  png_read_info(png, info);
  png_read_update_info(png, info);
  size_t rowBytes = png_get_rowbytes(png, info);
  png_uint_32 height = png_get_image_height(png, info);
  for (png_uint_32 y = 0; y < height; ++y) png_read_row(png, out + y * rowBytes, nullptr);
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

bool jpegDirect(const uint8_t* bytes, size_t length, uint8_t* out) {
  jpeg_decompress_struct cinfo;
  JpegFailure failure;
  cinfo.err = jpeg_std_error(&failure.pub);
  failure.pub.error_exit = jpegFail;
  if (setjmp(failure.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, bytes, static_cast<unsigned long>(length));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  size_t stride = static_cast<size_t>(cinfo.output_width) * 3;
  JSAMPROW rows[16];
  while (cinfo.output_scanline < cinfo.output_height) {
    JDIMENSION n = std::min<JDIMENSION>(16, cinfo.output_height - cinfo.output_scanline);
    for (JDIMENSION i = 0; i < n; ++i) rows[i] = out + (cinfo.output_scanline + i) * stride;
    jpeg_read_scanlines(&cinfo, rows, n);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

}  // namespace zvt::bench
