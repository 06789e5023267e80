#include "platform/graphics/internal/PixelLayout.h"

#include <algorithm>

namespace zvt::graphics {
namespace {

inline uint8_t div255(unsigned v) { return static_cast<uint8_t>((v + 127) / 255); }

bool byteOrderFits(CGBitmapInfo order, size_t bitsPerComponent, size_t bitsPerPixel) {
  switch (order) {
    case kCGBitmapByteOrderDefault:
      return true;
    case kCGBitmapByteOrder16Little:
    case kCGBitmapByteOrder16Big:
      return bitsPerComponent == 16;
    case kCGBitmapByteOrder32Little:
    case kCGBitmapByteOrder32Big:
      return bitsPerComponent == 8 && bitsPerPixel == 32;
    default:
      return false;
  }
}

// Byte offset of logical component `i` within a pixel of 8-bit components.
inline size_t offset8(const PixelLayout& l, size_t i) {
  return l.byteOrder == kCGBitmapByteOrder32Little ? 3 - i : i;
}

inline unsigned read16(const PixelLayout& l, const uint8_t* p) {
  return l.byteOrder == kCGBitmapByteOrder16Little ? (p[0] | (p[1] << 8)) : ((p[0] << 8) | p[1]);
}

inline void write16(const PixelLayout& l, uint8_t* p, unsigned v) {
  if (l.byteOrder == kCGBitmapByteOrder16Little) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
  } else {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
  }
}

// Logical component i of the pixel at p, as 8 bits.
inline unsigned component(const PixelLayout& l, const uint8_t* p, size_t i) {
  if (l.bitsPerComponent == 16) return (read16(l, p + 2 * i) * 255u + 32767u) / 65535u;
  return p[offset8(l, i)];
}

inline void cmykToRGB(unsigned c, unsigned m, unsigned y, unsigned k, uint8_t* rgb) {
  rgb[0] = div255((255 - c) * (255 - k));
  rgb[1] = div255((255 - m) * (255 - k));
  rgb[2] = div255((255 - y) * (255 - k));
}

void colorToRGB(CGColorSpaceModel model, const unsigned* c, uint8_t* rgb) {
  switch (model) {
    case kCGColorSpaceModelMonochrome:
      rgb[0] = rgb[1] = rgb[2] = static_cast<uint8_t>(c[0]);
      break;
    case kCGColorSpaceModelCMYK:
      cmykToRGB(c[0], c[1], c[2], c[3], rgb);
      break;
    default:
      rgb[0] = static_cast<uint8_t>(c[0]);
      rgb[1] = static_cast<uint8_t>(c[1]);
      rgb[2] = static_cast<uint8_t>(c[2]);
      break;
  }
}

}  // namespace

std::optional<PixelLayout> readableLayout(size_t bitsPerComponent, size_t bitsPerPixel, const CGColorSpaceRef& space,
                                          CGBitmapInfo info) {
  if (!space || (info & kCGBitmapFloatComponents)) return std::nullopt;
  if (info & ~(kCGBitmapAlphaInfoMask | kCGBitmapByteOrderMask)) return std::nullopt;
  PixelLayout l;
  l.bitsPerComponent = bitsPerComponent;
  l.bitsPerPixel = bitsPerPixel;
  l.model = space->model();
  l.alpha = static_cast<CGImageAlphaInfo>(info & kCGBitmapAlphaInfoMask);
  l.byteOrder = info & kCGBitmapByteOrderMask;
  if (l.alpha > kCGImageAlphaNoneSkipFirst) return std::nullopt;
  if (bitsPerComponent != 8 && bitsPerComponent != 16) return std::nullopt;
  switch (l.model) {
    case kCGColorSpaceModelMonochrome:
    case kCGColorSpaceModelRGB:
      break;
    case kCGColorSpaceModelCMYK:
      if (bitsPerComponent != 8 || l.alpha != kCGImageAlphaNone) return std::nullopt;
      break;
    case kCGColorSpaceModelIndexed: {
      if (bitsPerComponent != 8 || l.alpha != kCGImageAlphaNone || !space->baseSpace()) return std::nullopt;
      l.paletteModel = space->baseSpace()->model();
      size_t per = space->baseSpace()->numberOfComponents();
      if (per == 0) return std::nullopt;
      l.palette = space->colorTable().data();
      l.paletteEntries = space->colorTable().size() / per;
      break;
    }
    default:
      return std::nullopt;
  }
  l.colorComponents = space->numberOfComponents();
  size_t channels = l.colorComponents + (l.hasAlphaChannel() ? 1 : 0);
  if (bitsPerPixel != channels * bitsPerComponent) return std::nullopt;
  if (!byteOrderFits(l.byteOrder, bitsPerComponent, bitsPerPixel)) return std::nullopt;
  return l;
}

std::optional<PixelLayout> contextLayout(size_t bitsPerComponent, size_t bitsPerPixel, const CGColorSpaceRef& space,
                                         CGBitmapInfo info) {
  auto l = readableLayout(bitsPerComponent, bitsPerPixel, space, info);
  if (!l) return std::nullopt;
  switch (l->model) {
    case kCGColorSpaceModelMonochrome:
      if (l->alpha != kCGImageAlphaNone) return std::nullopt;
      return l;
    case kCGColorSpaceModelCMYK:
      return l;
    case kCGColorSpaceModelRGB:
      if (bitsPerComponent == 8) {
        switch (l->alpha) {
          case kCGImageAlphaPremultipliedFirst:
          case kCGImageAlphaPremultipliedLast:
          case kCGImageAlphaNoneSkipFirst:
          case kCGImageAlphaNoneSkipLast:
            return l;
          default:
            return std::nullopt;
        }
      }
      if (l->alpha == kCGImageAlphaPremultipliedLast || l->alpha == kCGImageAlphaNoneSkipLast) return l;
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

size_t contextBitsPerPixel(size_t bitsPerComponent, const CGColorSpaceRef& space, CGBitmapInfo info) {
  if (!space) return 0;
  bool alpha = (info & kCGBitmapAlphaInfoMask) != kCGImageAlphaNone;
  return (space->numberOfComponents() + (alpha ? 1 : 0)) * bitsPerComponent;
}

void readPixels(const PixelLayout& l, const uint8_t* src, size_t count, uint8_t* out) {
  const size_t bpp = l.bytesPerPixel();
  // Common layouts first: they are what decoders produce and what contexts hold.
  if (l.bitsPerComponent == 8 && l.model == kCGColorSpaceModelRGB) {
    if (l.alpha == kCGImageAlphaNone) {
      for (size_t i = 0; i < count; ++i, src += 3, out += 4) {
        out[0] = src[0];
        out[1] = src[1];
        out[2] = src[2];
        out[3] = 255;
      }
      return;
    }
    if (l.byteOrder != kCGBitmapByteOrder32Little &&
        (l.alpha == kCGImageAlphaPremultipliedLast || l.alpha == kCGImageAlphaNoneSkipLast)) {
      bool skip = l.alpha == kCGImageAlphaNoneSkipLast;
      for (size_t i = 0; i < count; ++i, src += 4, out += 4) {
        out[0] = src[0];
        out[1] = src[1];
        out[2] = src[2];
        out[3] = skip ? 255 : src[3];
      }
      return;
    }
    if (l.byteOrder == kCGBitmapByteOrder32Little &&
        (l.alpha == kCGImageAlphaPremultipliedFirst || l.alpha == kCGImageAlphaNoneSkipFirst)) {
      bool skip = l.alpha == kCGImageAlphaNoneSkipFirst;
      for (size_t i = 0; i < count; ++i, src += 4, out += 4) {
        out[0] = src[2];
        out[1] = src[1];
        out[2] = src[0];
        out[3] = skip ? 255 : src[3];
      }
      return;
    }
    if (l.byteOrder != kCGBitmapByteOrder32Little && l.alpha == kCGImageAlphaLast) {
      // Straight RGBA, as PNG stores it.
      for (size_t i = 0; i < count; ++i, src += 4, out += 4) {
        unsigned a = src[3];
        out[3] = static_cast<uint8_t>(a);
        if (a == 255) {
          out[0] = src[0];
          out[1] = src[1];
          out[2] = src[2];
        } else {
          out[0] = div255(src[0] * a);
          out[1] = div255(src[1] * a);
          out[2] = div255(src[2] * a);
        }
      }
      return;
    }
  }
  const bool first = l.alphaFirst();
  const size_t colorStart = (l.hasAlphaChannel() && first) ? 1 : 0;
  const size_t alphaIndex = first ? 0 : l.colorComponents;
  for (size_t i = 0; i < count; ++i, src += bpp, out += 4) {
    unsigned c[4] = {0, 0, 0, 0};
    if (l.model == kCGColorSpaceModelIndexed) {
      unsigned index = src[0];
      if (index < l.paletteEntries) {
        size_t per = l.paletteModel == kCGColorSpaceModelCMYK ? 4 : l.paletteModel == kCGColorSpaceModelRGB ? 3 : 1;
        for (size_t k = 0; k < per; ++k) c[k] = l.palette[index * per + k];
      }
      colorToRGB(l.paletteModel, c, out);
    } else {
      for (size_t k = 0; k < l.colorComponents; ++k) c[k] = component(l, src, colorStart + k);
      colorToRGB(l.model, c, out);
    }
    unsigned a = 255;
    if (l.hasAlphaChannel() && !l.opaque()) a = component(l, src, alphaIndex);
    out[3] = static_cast<uint8_t>(a);
    if (!l.premultiplied() && a != 255) {
      out[0] = div255(out[0] * a);
      out[1] = div255(out[1] * a);
      out[2] = div255(out[2] * a);
    } else if (l.premultiplied()) {
      out[0] = std::min<uint8_t>(out[0], static_cast<uint8_t>(a));
      out[1] = std::min<uint8_t>(out[1], static_cast<uint8_t>(a));
      out[2] = std::min<uint8_t>(out[2], static_cast<uint8_t>(a));
    }
  }
}

void writePixels(const PixelLayout& l, const uint8_t* in, size_t count, uint8_t* dst) {
  const size_t bpp = l.bytesPerPixel();
  if (l.model == kCGColorSpaceModelRGB && l.bitsPerComponent == 8) {
    if (l.byteOrder == kCGBitmapByteOrder32Little &&
        (l.alpha == kCGImageAlphaPremultipliedFirst || l.alpha == kCGImageAlphaNoneSkipFirst)) {
      bool skip = l.alpha == kCGImageAlphaNoneSkipFirst;
      for (size_t i = 0; i < count; ++i, in += 4, dst += 4) {
        dst[0] = in[2];
        dst[1] = in[1];
        dst[2] = in[0];
        dst[3] = skip ? 255 : in[3];
      }
      return;
    }
    bool skip = l.opaque();
    const bool first = l.alphaFirst();
    const size_t cs = (l.hasAlphaChannel() && first) ? 1 : 0;
    const size_t ai = first ? 0 : 3;
    for (size_t i = 0; i < count; ++i, in += 4, dst += bpp) {
      if (l.hasAlphaChannel()) dst[offset8(l, ai)] = skip ? 255 : in[3];
      dst[offset8(l, cs + 0)] = in[0];
      dst[offset8(l, cs + 1)] = in[1];
      dst[offset8(l, cs + 2)] = in[2];
    }
    return;
  }
  for (size_t i = 0; i < count; ++i, in += 4, dst += bpp) {
    unsigned r = in[0], g = in[1], b = in[2], a = in[3];
    unsigned comps[5] = {0, 0, 0, 0, 0};
    size_t n = 0;
    switch (l.model) {
      case kCGColorSpaceModelMonochrome:
        comps[n++] = (r * 299 + g * 587 + b * 114 + 500) / 1000;
        break;
      case kCGColorSpaceModelCMYK: {
        unsigned k = 255 - std::max({r, g, b});
        unsigned rest = 255 - k;
        comps[n++] = rest ? ((rest - r) * 255 + rest / 2) / rest : 0;
        comps[n++] = rest ? ((rest - g) * 255 + rest / 2) / rest : 0;
        comps[n++] = rest ? ((rest - b) * 255 + rest / 2) / rest : 0;
        comps[n++] = k;
        break;
      }
      default:
        comps[n++] = r;
        comps[n++] = g;
        comps[n++] = b;
        break;
    }
    if (l.hasAlphaChannel()) {
      unsigned av = l.opaque() ? 255 : a;
      if (l.alphaFirst()) {
        for (size_t k = n; k > 0; --k) comps[k] = comps[k - 1];
        comps[0] = av;
      } else {
        comps[n] = av;
      }
      ++n;
    }
    for (size_t k = 0; k < n; ++k) {
      if (l.bitsPerComponent == 16) {
        write16(l, dst + 2 * k, comps[k] * 257);
      } else {
        dst[offset8(l, k)] = static_cast<uint8_t>(comps[k]);
      }
    }
  }
}

void blendOver(const uint8_t* src, uint8_t* dst, size_t count) {
  for (size_t i = 0; i < count; ++i, src += 4, dst += 4) {
    unsigned sa = src[3];
    if (sa == 255) {
      dst[0] = src[0];
      dst[1] = src[1];
      dst[2] = src[2];
      dst[3] = 255;
    } else if (sa != 0) {
      unsigned inv = 255 - sa;
      dst[0] = static_cast<uint8_t>(src[0] + div255(dst[0] * inv));
      dst[1] = static_cast<uint8_t>(src[1] + div255(dst[1] * inv));
      dst[2] = static_cast<uint8_t>(src[2] + div255(dst[2] * inv));
      dst[3] = static_cast<uint8_t>(sa + div255(dst[3] * inv));
    }
  }
}

}  // namespace zvt::graphics
