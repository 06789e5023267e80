// GIF through giflib's record interface (not DGifSlurp, which would allocate every frame at the
// size its descriptor claims). giflib reports errors by return codes, never by jumps.

#include <gif_lib.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>

#include "platform/graphics/internal/Codecs.h"

namespace zvt::graphics {
namespace {

struct MemoryReader {
  const uint8_t* bytes;
  size_t length;
  size_t offset;
};

int gifRead(GifFileType* gif, GifByteType* out, int count) {
  auto* reader = static_cast<MemoryReader*>(gif->UserData);
  if (count <= 0) return 0;
  size_t n = std::min(static_cast<size_t>(count), reader->length - reader->offset);
  std::memcpy(out, reader->bytes + reader->offset, n);
  reader->offset += n;
  return static_cast<int>(n);
}

struct Control {
  int disposal = 0;
  int transparent = -1;
  bool present = false;
  unsigned delay = 0;  // hundredths of a second
};

struct Rect {
  size_t x = 0, y = 0, w = 0, h = 0;  // clipped to the canvas
};

// Skips the image data of a frame that has no pixels on the canvas.
bool skipImageData(GifFileType* gif) {
  int codeSize = 0;
  GifByteType* block = nullptr;
  if (DGifGetCode(gif, &codeSize, &block) == GIF_ERROR) return false;
  while (block) {
    if (DGifGetCodeNext(gif, &block) == GIF_ERROR) return false;
  }
  return true;
}

// Counts the frames by their descriptors, skipping their compressed data without decoding it:
// what the whole animation will cost is known before anything is allocated.
size_t countFrames(const uint8_t* bytes, size_t length) {
  MemoryReader reader{bytes, length, 0};
  int error = 0;
  GifFileType* gif = DGifOpen(&reader, gifRead, &error);
  if (!gif) return 0;
  size_t frames = 0;
  for (bool more = true; more && reader.offset < reader.length;) {
    GifRecordType type;
    if (DGifGetRecordType(gif, &type) == GIF_ERROR) break;
    switch (type) {
      case IMAGE_DESC_RECORD_TYPE:
        if (DGifGetImageDesc(gif) == GIF_ERROR) {
          more = false;
          break;
        }
        ++frames;
        more = skipImageData(gif);
        break;
      case EXTENSION_RECORD_TYPE: {
        int code = 0;
        GifByteType* block = nullptr;
        more = DGifGetExtension(gif, &code, &block) != GIF_ERROR;
        while (more && block) more = DGifGetExtensionNext(gif, &block) != GIF_ERROR;
        break;
      }
      default:
        more = false;
    }
  }
  DGifCloseFile(gif, &error);
  return frames;
}

std::atomic<size_t> decodes{0};

class GIFDecoder {
 public:
  GIFDecoder(const uint8_t* bytes, size_t length, const ImageDecodingBudget& budget)
      : reader_{bytes, length, 0}, budget_(budget) {}
  ~GIFDecoder() {
    if (gif_) {
      int error = 0;
      DGifCloseFile(gif_, &error);
    }
  }

  GIFAnimation run() {
    GIFAnimation result;
    int error = 0;
    gif_ = DGifOpen(&reader_, gifRead, &error);
    if (!gif_) return result;
    width_ = static_cast<size_t>(gif_->SWidth);
    height_ = static_cast<size_t>(gif_->SHeight);
    if (width_ == 0 || height_ == 0 || !budget_.allows(width_, height_) || width_ * height_ > budget_.maxCanvasPixels) {
      return result;
    }
    result.width = width_;
    result.height = height_;
    result.headerRead = true;
    // Too much memory for one animation: refused whole rather than shown in part.
    expectedFrames_ = countFrames(reader_.bytes, reader_.length);
    if (expectedFrames_ * width_ * height_ * 4 > budget_.maxAnimationBytes) return result;
    decodes.fetch_add(1, std::memory_order_relaxed);
    try {
      result.complete = readRecords(result);
    } catch (const std::bad_alloc&) {
      result.complete = false;
      result.frames.clear();
    }
    return result;
  }

 private:
  bool readRecords(GIFAnimation& result) {
    const size_t frameBytes = width_ * height_ * 4;
    for (;;) {
      // Many files in the wild end without the trailer byte; data ending at a record
      // boundary is whole.
      if (reader_.offset == reader_.length) return true;
      GifRecordType type;
      if (DGifGetRecordType(gif_, &type) == GIF_ERROR) return false;
      switch (type) {
        case IMAGE_DESC_RECORD_TYPE: {
          if (DGifGetImageDesc(gif_) == GIF_ERROR) return false;
          // The count was taken by the same parser; a frame beyond it means the data lied.
          if (result.frames.size() >= expectedFrames_ || (result.frames.size() + 1) * frameBytes > budget_.maxAnimationBytes) {
            result.frames.clear();
            return false;
          }
          // The screen gets its memory with the first frame: a header alone costs nothing.
          if (canvas_.empty()) canvas_.assign(frameBytes, 0);
          if (!readFrame(result)) return false;
          control_ = Control();
          break;
        }
        case EXTENSION_RECORD_TYPE:
          if (!readExtension(result)) return false;
          break;
        case TERMINATE_RECORD_TYPE:
          return true;
        default:
          return false;
      }
    }
  }

  bool readExtension(GIFAnimation& result) {
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif_, &code, &block) == GIF_ERROR) return false;
    bool first = true;
    bool netscape = false;
    while (block) {
      size_t n = block[0];
      if (code == GRAPHICS_EXT_FUNC_CODE && first && n >= 4) {
        control_.present = true;
        control_.disposal = (block[1] >> 2) & 7;
        control_.transparent = (block[1] & 1) ? block[4] : -1;
        control_.delay = block[2] | (block[3] << 8);
      } else if (code == APPLICATION_EXT_FUNC_CODE && first) {
        netscape = n == 11 && (std::memcmp(block + 1, "NETSCAPE2.0", 11) == 0 || std::memcmp(block + 1, "ANIMEXTS1.0", 11) == 0);
      } else if (netscape && n >= 3 && block[1] == 1) {
        result.loopCount = block[2] | (block[3] << 8);
      }
      first = false;
      if (DGifGetExtensionNext(gif_, &block) == GIF_ERROR) return false;
    }
    return true;
  }

  bool readFrame(GIFAnimation& result) {
    const GifImageDesc& desc = gif_->Image;
    const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif_->SColorMap;
    size_t fw = desc.Width > 0 ? static_cast<size_t>(desc.Width) : 0;
    size_t fh = desc.Height > 0 ? static_cast<size_t>(desc.Height) : 0;
    size_t fx = desc.Left > 0 ? static_cast<size_t>(desc.Left) : 0;
    size_t fy = desc.Top > 0 ? static_cast<size_t>(desc.Top) : 0;

    // The previous frame's disposal happens before this frame is drawn.
    if (previousDisposal_ == 2) {
      for (size_t y = previousRect_.y; y < previousRect_.y + previousRect_.h; ++y) {
        std::memset(canvas_.data() + (y * width_ + previousRect_.x) * 4, 0, previousRect_.w * 4);
      }
    } else if (previousDisposal_ == 3 && !saved_.empty()) {
      canvas_ = saved_;
    }
    if (control_.disposal == 3) {
      saved_ = canvas_;
    } else {
      saved_.clear();
    }

    Rect rect;
    if (fx < width_ && fy < height_) {
      rect = Rect{fx, fy, std::min(fw, width_ - fx), std::min(fh, height_ - fy)};
    }
    if (fw == 0 || fh == 0) {
      if (!skipImageData(gif_)) return false;
    } else {
      line_.resize(fw);
      static const int kStart[] = {0, 4, 2, 1};
      static const int kStep[] = {8, 8, 4, 2};
      size_t row = 0;
      for (int pass = 0; pass < (desc.Interlace ? 4 : 1); ++pass) {
        size_t start = desc.Interlace ? kStart[pass] : 0;
        size_t step = desc.Interlace ? kStep[pass] : 1;
        for (size_t y = start; y < fh; y += step, ++row) {
          if (DGifGetLine(gif_, line_.data(), static_cast<int>(fw)) == GIF_ERROR) return false;
          if (y < rect.h) drawLine(y + rect.y, rect, map);
        }
      }
      (void)row;
    }

    GIFFrame frame;
    // The last frame takes the canvas itself: a one-frame GIF costs one canvas, not two.
    const bool last = result.frames.size() + 1 == expectedFrames_;
    frame.pixels = last ? NSData::dataWithVector(std::move(canvas_)) : NSData::dataWithVector(canvas_);
    frame.hasDelay = control_.present;
    frame.delay = control_.delay / 100.0;
    result.frames.push_back(std::move(frame));
    previousDisposal_ = control_.disposal;
    previousRect_ = rect;
    return true;
  }

  void drawLine(size_t canvasY, const Rect& rect, const ColorMapObject* map) {
    uint8_t* dst = canvas_.data() + (canvasY * width_ + rect.x) * 4;
    const int colors = map ? map->ColorCount : 0;
    for (size_t x = 0; x < rect.w; ++x, dst += 4) {
      int index = line_[x];
      if (index == control_.transparent) continue;
      if (index < colors) {
        const GifColorType& c = map->Colors[index];
        dst[0] = c.Red;
        dst[1] = c.Green;
        dst[2] = c.Blue;
      } else {
        // No colour for the index (or no colour table at all): black, as browsers show it.
        dst[0] = dst[1] = dst[2] = 0;
      }
      dst[3] = 255;
    }
  }

  MemoryReader reader_;
  const ImageDecodingBudget budget_;
  GifFileType* gif_ = nullptr;
  size_t width_ = 0, height_ = 0;
  std::vector<uint8_t> canvas_;
  std::vector<uint8_t> saved_;
  std::vector<GifPixelType> line_;
  Control control_;
  int previousDisposal_ = 0;
  Rect previousRect_;
  size_t expectedFrames_ = 0;
};

}  // namespace

size_t gifDecodeCount() { return decodes.load(std::memory_order_relaxed); }

GIFAnimation decodeGIF(const uint8_t* bytes, size_t length, const ImageDecodingBudget& budget) {
  GIFDecoder decoder(bytes, length, budget);
  return decoder.run();
}

ImageFormat sniffFormat(const uint8_t* b, size_t n) {
  static const uint8_t kPNG[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (n >= 8 && std::memcmp(b, kPNG, 8) == 0) return ImageFormat::png;
  if (n >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) return ImageFormat::jpeg;
  if (n >= 6 && (std::memcmp(b, "GIF87a", 6) == 0 || std::memcmp(b, "GIF89a", 6) == 0)) return ImageFormat::gif;
  if (n >= 4 && (std::memcmp(b, "II*\0", 4) == 0 || std::memcmp(b, "MM\0*", 4) == 0)) return ImageFormat::tiff;
  if (n >= 12 && std::memcmp(b, "RIFF", 4) == 0 && std::memcmp(b + 8, "WEBP", 4) == 0) return ImageFormat::webp;
  return ImageFormat::unknown;
}

}  // namespace zvt::graphics
