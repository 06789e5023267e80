#include "tests/support/ImageFixtures.h"

#include <cstdio>

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace zvt::test {
namespace {

// The test fixtures are well-formed by construction: a library error is a broken test, reported
// after the library call has returned (never by throwing through it).
void pngWriteData(png_structp png, png_bytep data, size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  bool ok = true;
  try {
    out->insert(out->end(), data, data + length);
  } catch (...) {
    ok = false;
  }
  if (!ok) png_error(png, "out of memory");
}
void pngFlush(png_structp) {}

bool writePNG(const PNGRecipe& recipe, std::vector<uint8_t>* out) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, out, pngWriteData, pngFlush);
  png_set_IHDR(png, info, recipe.width, recipe.height, recipe.bitDepth, recipe.colorType,
               recipe.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (recipe.colorType == PNG_COLOR_TYPE_PALETTE) {
    png_color colors[256];
    int n = static_cast<int>(recipe.palette.size() / 3);
    for (int i = 0; i < n; ++i) colors[i] = png_color{recipe.palette[3 * i], recipe.palette[3 * i + 1], recipe.palette[3 * i + 2]};
    png_set_PLTE(png, info, colors, n);
    if (!recipe.paletteAlpha.empty()) {
      png_set_tRNS(png, info, recipe.paletteAlpha.data(), static_cast<int>(recipe.paletteAlpha.size()), nullptr);
    }
  } else if (recipe.colorType == PNG_COLOR_TYPE_GRAY && recipe.transparentGray >= 0) {
    png_color_16 value{};
    value.gray = static_cast<png_uint_16>(recipe.transparentGray);
    png_set_tRNS(png, info, nullptr, 0, &value);
  } else if (recipe.colorType == PNG_COLOR_TYPE_RGB && recipe.transparentRGB[0] >= 0) {
    png_color_16 value{};
    value.red = static_cast<png_uint_16>(recipe.transparentRGB[0]);
    value.green = static_cast<png_uint_16>(recipe.transparentRGB[1]);
    value.blue = static_cast<png_uint_16>(recipe.transparentRGB[2]);
    png_set_tRNS(png, info, nullptr, 0, &value);
  }
  png_write_info(png, info);
  size_t rowBytes = png_get_rowbytes(png, info);
  int passes = png_set_interlace_handling(png);
  for (int pass = 0; pass < passes; ++pass) {
    for (uint32_t y = 0; y < recipe.height; ++y) {
      png_write_row(png, const_cast<png_bytep>(recipe.rows.data() + y * rowBytes));
    }
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

struct JpegFailure {
  jpeg_error_mgr pub;
  jmp_buf jump;
};
void jpegFail(j_common_ptr cinfo) { longjmp(reinterpret_cast<JpegFailure*>(cinfo->err)->jump, 1); }
void jpegSilent(j_common_ptr) {}

bool writeJPEG(const JPEGRecipe& recipe, const uint8_t* pixels, const uint8_t* exif, size_t exifLength,
               unsigned char** buffer, unsigned long* size) {
  jpeg_compress_struct cinfo;
  JpegFailure failure;
  cinfo.err = jpeg_std_error(&failure.pub);
  failure.pub.error_exit = jpegFail;
  failure.pub.output_message = jpegSilent;
  if (setjmp(failure.jump)) {
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, buffer, size);
  cinfo.image_width = recipe.width;
  cinfo.image_height = recipe.height;
  cinfo.input_components = recipe.components;
  cinfo.in_color_space = recipe.components == 1 ? JCS_GRAYSCALE : recipe.components == 4 ? JCS_CMYK : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  if (recipe.components == 4) {
    jpeg_set_colorspace(&cinfo, JCS_CMYK);
    cinfo.write_Adobe_marker = recipe.adobeInverted ? TRUE : FALSE;
  }
  jpeg_set_quality(&cinfo, recipe.quality, TRUE);
  if (recipe.progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  if (exif) jpeg_write_marker(&cinfo, JPEG_APP0 + 1, exif, static_cast<unsigned>(exifLength));
  size_t stride = static_cast<size_t>(recipe.width) * recipe.components;
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(pixels + cinfo.next_scanline * stride);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

bool readJPEG(const uint8_t* bytes, size_t length, JPEGPixels* out, std::vector<uint8_t>* pixels) {
  jpeg_decompress_struct cinfo;
  JpegFailure failure;
  cinfo.err = jpeg_std_error(&failure.pub);
  failure.pub.error_exit = jpegFail;
  failure.pub.output_message = jpegSilent;
  if (setjmp(failure.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, bytes, static_cast<unsigned long>(length));
  jpeg_read_header(&cinfo, TRUE);
  if (cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK) {
    cinfo.out_color_space = JCS_CMYK;
  } else if (cinfo.jpeg_color_space != JCS_GRAYSCALE) {
    cinfo.out_color_space = JCS_RGB;
  }
  jpeg_start_decompress(&cinfo);
  out->width = cinfo.output_width;
  out->height = cinfo.output_height;
  out->components = cinfo.output_components;
  size_t stride = static_cast<size_t>(out->width) * out->components;
  pixels->resize(stride * out->height);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = pixels->data() + cinfo.output_scanline * stride;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

std::vector<uint8_t> exifSegment(int orientation) {
  // "Exif\0\0", a little-endian TIFF header and one IFD with the orientation tag.
  std::vector<uint8_t> s = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0,
                            0x12, 0x01, 3, 0, 1, 0, 0, 0, static_cast<uint8_t>(orientation), 0, 0, 0, 0, 0, 0, 0};
  return s;
}

int gifWriteData(GifFileType* gif, const GifByteType* data, int length) {
  auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
  try {
    out->insert(out->end(), data, data + length);
  } catch (...) {
    return 0;
  }
  return length;
}

ColorMapObject* colorMap(const std::vector<uint8_t>& palette) {
  int n = static_cast<int>(palette.size() / 3);
  int size = 2;
  while (size < n) size *= 2;
  std::vector<GifColorType> colors(size);
  for (int i = 0; i < n; ++i) colors[i] = GifColorType{palette[3 * i], palette[3 * i + 1], palette[3 * i + 2]};
  return GifMakeMapObject(size, colors.data());
}

}  // namespace

std::vector<uint8_t> makePNG(const PNGRecipe& recipe) {
  std::vector<uint8_t> out;
  out.reserve(1024);
  if (!writePNG(recipe, &out)) throw std::runtime_error("makePNG: libpng refused the fixture");
  return out;
}

std::vector<uint8_t> makeJPEG(const JPEGRecipe& recipe) {
  std::vector<uint8_t> pixels = recipe.pixels;
  if (recipe.components == 4 && recipe.adobeInverted) {
    for (auto& v : pixels) v = static_cast<uint8_t>(255 - v);
  }
  std::vector<uint8_t> exif;
  if (recipe.exifOrientation) exif = exifSegment(recipe.exifOrientation);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  bool ok = writeJPEG(recipe, pixels.data(), exif.empty() ? nullptr : exif.data(), exif.size(), &buffer, &size);
  std::vector<uint8_t> out;
  if (ok) out.assign(buffer, buffer + size);
  std::free(buffer);
  if (!ok) throw std::runtime_error("makeJPEG: libjpeg refused the fixture");
  return out;
}

JPEGPixels decodeJPEGReference(const std::vector<uint8_t>& bytes) {
  JPEGPixels out;
  std::vector<uint8_t> pixels;
  if (!readJPEG(bytes.data(), bytes.size(), &out, &pixels)) throw std::runtime_error("decodeJPEGReference failed");
  out.pixels = std::move(pixels);
  return out;
}

std::vector<uint8_t> makeGIF(const GIFRecipe& recipe) {
  std::vector<uint8_t> out;
  int error = 0;
  GifFileType* gif = EGifOpen(&out, gifWriteData, &error);
  if (!gif) throw std::runtime_error("makeGIF: EGifOpen failed");
  bool ok = true;
  EGifSetGifVersion(gif, true);
  ColorMapObject* global = recipe.palette.empty() ? nullptr : colorMap(recipe.palette);
  ok = ok && EGifPutScreenDesc(gif, recipe.width, recipe.height, 8, 0, global) == GIF_OK;
  if (recipe.loopCount >= 0) {
    const uint8_t app[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    const uint8_t loop[] = {1, static_cast<uint8_t>(recipe.loopCount & 0xFF), static_cast<uint8_t>(recipe.loopCount >> 8)};
    ok = ok && EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK;
    ok = ok && EGifPutExtensionBlock(gif, sizeof app, app) == GIF_OK;
    ok = ok && EGifPutExtensionBlock(gif, sizeof loop, loop) == GIF_OK;
    ok = ok && EGifPutExtensionTrailer(gif) == GIF_OK;
  }
  for (const auto& frame : recipe.frames) {
    if (frame.control) {
      uint8_t gce[4] = {static_cast<uint8_t>(((frame.disposal & 7) << 2) | (frame.transparentIndex >= 0 ? 1 : 0)),
                        static_cast<uint8_t>(frame.delay & 0xFF), static_cast<uint8_t>(frame.delay >> 8),
                        static_cast<uint8_t>(frame.transparentIndex >= 0 ? frame.transparentIndex : 0)};
      ok = ok && EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, gce) == GIF_OK;
    }
    ColorMapObject* local = frame.palette.empty() ? nullptr : colorMap(frame.palette);
    ok = ok && EGifPutImageDesc(gif, frame.left, frame.top, frame.width, frame.height, frame.interlaced, local) == GIF_OK;
    if (local) GifFreeMapObject(local);
    // Interlaced frames are written in the order of the four passes.
    static const int kStart[] = {0, 4, 2, 1};
    static const int kStep[] = {8, 8, 4, 2};
    std::vector<GifPixelType> line(frame.width);
    for (int pass = 0; pass < (frame.interlaced ? 4 : 1); ++pass) {
      int start = frame.interlaced ? kStart[pass] : 0, step = frame.interlaced ? kStep[pass] : 1;
      for (int y = start; y < frame.height; y += step) {
        std::memcpy(line.data(), frame.indexes.data() + static_cast<size_t>(y) * frame.width, frame.width);
        ok = ok && EGifPutLine(gif, line.data(), frame.width) == GIF_OK;
      }
    }
  }
  if (global) GifFreeMapObject(global);
  if (EGifCloseFile(gif, &error) != GIF_OK) ok = false;
  if (!ok) throw std::runtime_error("makeGIF: giflib refused the fixture");
  return out;
}

}  // namespace zvt::test
