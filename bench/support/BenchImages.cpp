#include "bench/support/BenchImages.h"

#include <gif_lib.h>
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

int gifWrite(GifFileType* gif, const GifByteType* bytes, int length) {
  auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
  out->insert(out->end(), bytes, bytes + length);
  return length;
}

int gifRead(GifFileType* gif, GifByteType* out, int length) {
  auto* r = static_cast<Reader*>(gif->UserData);
  const size_t n = std::min(static_cast<size_t>(length), r->length - r->offset);
  std::memcpy(out, r->bytes + r->offset, n);
  r->offset += n;
  return static_cast<int>(n);
}

// Smooth bands of a 256-colour palette that drift from frame to frame, with a little noise:
// compresses as drawn pictures and animations do.
std::vector<uint8_t> makeGIF(const GIFShape& shape) {
  std::vector<uint8_t> out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, gifWrite, &error);
  GifColorType colours[256];
  for (int i = 0; i < 256; ++i)
    colours[i] = GifColorType{static_cast<GifByteType>(i), static_cast<GifByteType>(255 - i),
                              static_cast<GifByteType>((i * 7) & 255)};
  ColorMapObject* palette = GifMakeMapObject(256, colours);
  const int w = static_cast<int>(shape.width), h = static_cast<int>(shape.height);
  bool ok = EGifPutScreenDesc(gif, w, h, 8, 0, palette) == GIF_OK;
  std::mt19937 rng(360);
  std::vector<GifPixelType> line(shape.width);
  for (size_t f = 0; f < shape.frames && ok; ++f) {
    if (shape.frames > 1) {
      const uint8_t control[4] = {0, 8, 0, 0};  // 80 ms, nothing disposed
      ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control) == GIF_OK;
    }
    ok = ok && EGifPutImageDesc(gif, 0, 0, w, h, false, nullptr) == GIF_OK;
    for (int y = 0; y < h && ok; ++y) {
      for (int x = 0; x < w; ++x) {
        const double fx = static_cast<double>(x) / w, fy = static_cast<double>(y) / h;
        line[static_cast<size_t>(x)] = static_cast<GifPixelType>(
            static_cast<int>(127 + 120 * std::sin(fx * 6 + fy * 4 + static_cast<double>(f) * 0.5)) + (rng() & 3));
      }
      ok = EGifPutLine(gif, line.data(), w) == GIF_OK;
    }
  }
  GifFreeMapObject(palette);
  if (EGifCloseFile(gif, &error) != GIF_OK) ok = false;
  if (!ok) out.clear();
  return out;
}

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

const std::shared_ptr<NSData>& gifData(const GIFShape& shape) {
  static const auto picture = NSData::dataWithVector(makeGIF(kGIFPicture));
  static const auto animation = NSData::dataWithVector(makeGIF(kGIFAnimation));
  return shape.frames > 1 ? animation : picture;
}

// giflib alone: the whole file read, then each frame's indexes looked up in its palette over a
// copy of the canvas before it (frames that leave what they do not cover, as ours are).
bool gifDirect(const uint8_t* bytes, size_t length, uint8_t* out) {
  Reader reader{bytes, length, 0};
  int error = 0;
  GifFileType* gif = DGifOpen(&reader, gifRead, &error);
  if (!gif) return false;
  if (DGifSlurp(gif) != GIF_OK) {
    DGifCloseFile(gif, &error);
    return false;
  }
  const size_t w = static_cast<size_t>(gif->SWidth), h = static_cast<size_t>(gif->SHeight);
  for (int i = 0; i < gif->ImageCount; ++i) {
    const SavedImage& frame = gif->SavedImages[i];
    uint8_t* canvas = out + static_cast<size_t>(i) * w * h * 4;
    if (i > 0) std::memcpy(canvas, canvas - w * h * 4, w * h * 4);
    const ColorMapObject* map = frame.ImageDesc.ColorMap ? frame.ImageDesc.ColorMap : gif->SColorMap;
    const size_t fw = static_cast<size_t>(frame.ImageDesc.Width), fh = static_cast<size_t>(frame.ImageDesc.Height);
    const size_t left = static_cast<size_t>(frame.ImageDesc.Left), top = static_cast<size_t>(frame.ImageDesc.Top);
    for (size_t y = 0; y < fh && top + y < h; ++y)
      for (size_t x = 0; x < fw && left + x < w; ++x) {
        const int index = frame.RasterBits[y * fw + x];
        if (!map || index >= map->ColorCount) continue;
        uint8_t* p = canvas + ((top + y) * w + left + x) * 4;
        p[0] = map->Colors[index].Red, p[1] = map->Colors[index].Green, p[2] = map->Colors[index].Blue, p[3] = 255;
      }
  }
  DGifCloseFile(gif, &error);
  return true;
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
