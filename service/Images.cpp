#include "service/Images.h"

#include <zlib.h>

#include <cstdio>  // jpeglib.h needs FILE
#include <jpeglib.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>

namespace zvt::service {

namespace {

constexpr unsigned kMaxSide = 2000;
constexpr int kSlowMs = 2000;

struct Kind {
    const char* prefix;
    unsigned width, height;
};
// The sizes the screens show each kind of picture at (2x pixels of their points).
constexpr std::array<Kind, 12> kKinds = {{{"product", 300, 300},
                                          {"good", 300, 300},
                                          {"banner", 750, 300},
                                          {"middle", 750, 200},
                                          {"block", 375, 160},
                                          {"fixed", 375, 120},
                                          {"mall", 200, 80},
                                          {"icon_", 90, 90},
                                          {"cat", 90, 90},
                                          {"sign", 160, 160},
                                          {"avatar", 120, 120},
                                          {"broken", 120, 120}}};

void put32(std::string& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>(v >> shift));
}

void put16le(std::string& out, unsigned v) {
    out.push_back(static_cast<char>(v & 0xff));
    out.push_back(static_cast<char>((v >> 8) & 0xff));
}

void pngChunk(std::string& out, const char* type, const std::string& data) {
    put32(out, static_cast<uint32_t>(data.size()));
    std::string body = std::string(type, 4) + data;
    out += body;
    put32(out, static_cast<uint32_t>(crc32(0L, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

uint32_t hashOf(const std::string& text) {
    uint32_t h = 2166136261u;
    for (unsigned char c : text) h = (h ^ c) * 16777619u;
    return h;
}

struct Colour {
    unsigned char r, g, b;
};

// The picture's two colours, from its name: the same name always looks the same.
std::pair<Colour, Colour> coloursOf(const std::string& base) {
    uint32_t h = hashOf(base);
    Colour back{static_cast<unsigned char>(96 + (h & 0x7f)), static_cast<unsigned char>(96 + ((h >> 8) & 0x7f)),
                static_cast<unsigned char>(96 + ((h >> 16) & 0x7f))};
    Colour front{static_cast<unsigned char>(255 - back.r / 2), static_cast<unsigned char>(255 - back.g / 2),
                 static_cast<unsigned char>(255 - back.b / 2)};
    return {back, front};
}

// A vertical shade of the background colour with a disc of the other colour in the middle.
std::string drawPicture(const std::string& base, unsigned width, unsigned height) {
    auto [back, front] = coloursOf(base);
    std::string rgb;
    rgb.reserve(static_cast<size_t>(width) * height * 3);
    const double cx = width / 2.0, cy = height / 2.0, radius = std::min(width, height) * 0.3;
    for (unsigned y = 0; y < height; ++y) {
        const double shade = 0.75 + 0.25 * (1.0 - static_cast<double>(y) / std::max(1u, height));
        for (unsigned x = 0; x < width; ++x) {
            const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
            const bool inDisc = dx * dx + dy * dy <= radius * radius;
            const Colour& c = inDisc ? front : back;
            const double s = inDisc ? 1.0 : shade;
            rgb.push_back(static_cast<char>(static_cast<unsigned char>(c.r * s)));
            rgb.push_back(static_cast<char>(static_cast<unsigned char>(c.g * s)));
            rgb.push_back(static_cast<char>(static_cast<unsigned char>(c.b * s)));
        }
    }
    return rgb;
}

struct JpegFailure {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

void jpegFail(j_common_ptr cinfo) { longjmp(reinterpret_cast<JpegFailure*>(cinfo->err)->jump, 1); }

// Plain data only in this frame: libjpeg leaves it by longjmp on failure.
bool jpegWrite(jpeg_compress_struct* cinfo, JpegFailure* failure, const unsigned char* rgb, unsigned width, unsigned height,
               int quality, unsigned char** buffer, unsigned long* size) {
    cinfo->err = jpeg_std_error(&failure->pub);
    failure->pub.error_exit = jpegFail;
    if (setjmp(failure->jump)) return false;
    jpeg_create_compress(cinfo);
    jpeg_mem_dest(cinfo, buffer, size);
    cinfo->image_width = width;
    cinfo->image_height = height;
    cinfo->input_components = 3;
    cinfo->in_color_space = JCS_RGB;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, quality, TRUE);
    jpeg_start_compress(cinfo, TRUE);
    while (cinfo->next_scanline < height) {
        JSAMPROW row = const_cast<unsigned char*>(rgb) + static_cast<size_t>(cinfo->next_scanline) * width * 3;
        jpeg_write_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_compress(cinfo);
    return true;
}

// Four frames of a disc going round, on a palette of three colours. The codes are written
// eight bits wide (a minimum code size of 7) with a clear code every 100 pixels, so that the
// decoder's table never grows past eight bits: no compression, no code-size changes.
std::string encodeAnimatedGif(const std::string& base, unsigned width, unsigned height) {
    auto [back, front] = coloursOf(base);
    std::string out = "GIF89a";
    put16le(out, width);
    put16le(out, height);
    out.push_back(static_cast<char>(0xF6));  // global table of 128 entries, 8-bit resolution
    out.push_back(0);
    out.push_back(0);
    std::string table(128 * 3, '\0');
    const Colour entries[] = {back, front, {255, 255, 255}};
    for (int i = 0; i < 3; ++i) {
        table[i * 3] = static_cast<char>(entries[i].r);
        table[i * 3 + 1] = static_cast<char>(entries[i].g);
        table[i * 3 + 2] = static_cast<char>(entries[i].b);
    }
    out += table;
    out += std::string("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);  // loop for ever
    const double radius = std::min(width, height) * 0.18;
    for (int frame = 0; frame < 4; ++frame) {
        out += std::string("\x21\xF9\x04\x04", 4);  // control: keep the frame, delay below
        put16le(out, 25);
        out += std::string("\x00\x00", 2);
        out.push_back(0x2C);
        put16le(out, 0);
        put16le(out, 0);
        put16le(out, width);
        put16le(out, height);
        out.push_back(0);
        out.push_back(7);  // minimum code size
        const double angle = frame * 3.14159265358979 / 2;
        const double cx = width / 2.0 + std::cos(angle) * width * 0.25, cy = height / 2.0 + std::sin(angle) * height * 0.25;
        std::string codes;
        codes.reserve(static_cast<size_t>(width) * height * 101 / 100 + 2);
        size_t sinceClear = 100;
        for (unsigned y = 0; y < height; ++y) {
            for (unsigned x = 0; x < width; ++x) {
                if (sinceClear == 100) {
                    codes.push_back(static_cast<char>(128));
                    sinceClear = 0;
                }
                const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
                const double d2 = dx * dx + dy * dy;
                codes.push_back(static_cast<char>(d2 <= radius * radius ? 1 : d2 <= radius * radius * 1.6 ? 2 : 0));
                ++sinceClear;
            }
        }
        codes.push_back(static_cast<char>(129));  // end of information
        for (size_t at = 0; at < codes.size(); at += 255) {
            const size_t n = std::min<size_t>(255, codes.size() - at);
            out.push_back(static_cast<char>(n));
            out.append(codes, at, n);
        }
        out.push_back(0);
    }
    out.push_back(0x3B);
    return out;
}

struct ParsedName {
    std::string base;
    std::string extension;
    unsigned width = 0, height = 0;
};

std::optional<ParsedName> parse(const std::string& name) {
    if (!isPictureName(name)) return std::nullopt;
    ParsedName parsed;
    const size_t dot = name.rfind('.');
    parsed.extension = name.substr(dot + 1);
    std::string stem = name.substr(0, dot);
    // A trailing "_<W>x<H>" names the size.
    const size_t underscore = stem.rfind('_');
    if (underscore != std::string::npos) {
        unsigned w = 0, h = 0;
        char rest = 0;
        if (std::sscanf(stem.c_str() + underscore + 1, "%ux%u%c", &w, &h, &rest) == 2) {
            // A size out of range names no size: the picture comes at its kind's size.
            if (w > 0 && h > 0 && w <= kMaxSide && h <= kMaxSide) {
                parsed.width = w;
                parsed.height = h;
            }
            stem.resize(underscore);
        }
    }
    // "product3.png" and "product3.png_300x300" are the same picture.
    const size_t innerDot = stem.find('.');
    parsed.base = innerDot == std::string::npos ? stem : stem.substr(0, innerDot);
    if (parsed.width == 0) {
        parsed.width = parsed.height = 60;
        for (const auto& kind : kKinds) {
            if (parsed.base.rfind(kind.prefix, 0) == 0) {
                parsed.width = kind.width;
                parsed.height = kind.height;
                break;
            }
        }
    }
    return parsed;
}

}  // namespace

bool isPictureName(const std::string& name) {
    if (name.empty() || name.size() > 200 || name.front() == '.' || name.find("..") != std::string::npos) return false;
    if (!std::all_of(name.begin(), name.end(),
                     [](unsigned char c) { return std::isalnum(c) || c == '_' || c == '.' || c == '-'; })) {
        return false;
    }
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return false;
    const std::string extension = name.substr(dot + 1);
    return extension == "png" || extension == "jpg" || extension == "jpeg" || extension == "gif";
}

std::optional<Picture> pictureNamed(const std::string& name) {
    auto parsed = parse(name);
    if (!parsed) return std::nullopt;
    Picture picture;
    const std::string& base = parsed->base;
    if (base.rfind("missing", 0) == 0) {
        picture.status = 404;
        picture.contentType = "text/plain; charset=utf-8";
        picture.bytes = "not found\n";
        return picture;
    }
    if (base.rfind("slow", 0) == 0) picture.delayMs = kSlowMs;
    const unsigned w = parsed->width, h = parsed->height;
    if (parsed->extension == "gif") {
        picture.contentType = "image/gif";
        picture.bytes = encodeAnimatedGif(base, w, h);
    } else if (parsed->extension == "png") {
        picture.contentType = "image/png";
        picture.bytes = encodePng(drawPicture(base, w, h), w, h);
    } else {
        picture.contentType = "image/jpeg";
        picture.bytes = encodeJpeg(drawPicture(base, w, h), w, h, 85);
    }
    if (base.rfind("broken", 0) == 0) {
        // The signature and the start of the header, then bytes no decoder takes.
        picture.bytes.resize(std::min<size_t>(picture.bytes.size(), 40));
        for (int i = 0; i < 64; ++i) picture.bytes.push_back(static_cast<char>(0xA5 ^ i));
    }
    return picture;
}

std::string encodePng(const std::string& rgb, unsigned width, unsigned height) {
    std::string raw;
    raw.reserve(static_cast<size_t>(height) * (width * 3 + 1));
    for (unsigned y = 0; y < height; ++y) {
        raw.push_back(0);  // filter: none
        raw.append(rgb, static_cast<size_t>(y) * width * 3, static_cast<size_t>(width) * 3);
    }
    uLongf packedLength = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(packedLength, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedLength, reinterpret_cast<const Bytef*>(raw.data()),
                  static_cast<uLong>(raw.size()), 6) != Z_OK) {
        throw std::runtime_error("deflate failed");
    }
    packed.resize(packedLength);
    std::string header;
    put32(header, width);
    put32(header, height);
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter, no interlace
    std::string png("\x89PNG\r\n\x1a\n", 8);
    pngChunk(png, "IHDR", header);
    pngChunk(png, "IDAT", packed);
    pngChunk(png, "IEND", "");
    return png;
}

std::string encodeJpeg(const std::string& rgb, unsigned width, unsigned height, int quality) {
    auto* cinfo = new jpeg_compress_struct();
    auto* failure = new JpegFailure();
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const bool ok = jpegWrite(cinfo, failure, reinterpret_cast<const unsigned char*>(rgb.data()), width, height, quality, &buffer, &size);
    jpeg_destroy_compress(cinfo);
    std::string out = ok && buffer ? std::string(reinterpret_cast<char*>(buffer), size) : std::string();
    std::free(buffer);
    delete failure;
    delete cinfo;
    if (!ok) throw std::runtime_error("jpeg encoding failed");
    return out;
}

}  // namespace zvt::service
