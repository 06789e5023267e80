#include "service/Images.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstdio>  // jpeglib.h needs FILE
#include <jpeglib.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

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

// A vertical shade of the background colour with a disc of the other colour in the middle,
// drawn a row at a time: the encoders take the rows as they are drawn, so that making a
// picture never holds its pixels (12 MB at 2000 x 2000), only a row and the encoder's state.
class PictureRows {
public:
    PictureRows(const std::string& base, unsigned width, unsigned height)
        : width_(width), height_(height), colours_(coloursOf(base)) {}

    void draw(unsigned y, unsigned char* row) const {
        const auto& [back, front] = colours_;
        const double cx = width_ / 2.0, cy = height_ / 2.0, radius = std::min(width_, height_) * 0.3;
        const double shade = 0.75 + 0.25 * (1.0 - static_cast<double>(y) / std::max(1u, height_));
        for (unsigned x = 0; x < width_; ++x) {
            const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
            const bool inDisc = dx * dx + dy * dy <= radius * radius;
            const Colour& c = inDisc ? front : back;
            const double s = inDisc ? 1.0 : shade;
            row[x * 3] = static_cast<unsigned char>(c.r * s);
            row[x * 3 + 1] = static_cast<unsigned char>(c.g * s);
            row[x * 3 + 2] = static_cast<unsigned char>(c.b * s);
        }
    }

private:
    unsigned width_, height_;
    std::pair<Colour, Colour> colours_;
};

struct JpegFailure {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

void jpegFail(j_common_ptr cinfo) { longjmp(reinterpret_cast<JpegFailure*>(cinfo->err)->jump, 1); }

// Plain data only in this frame: libjpeg leaves it by longjmp on failure.
bool jpegWrite(jpeg_compress_struct* cinfo, JpegFailure* failure, const RowSource* rows, unsigned char* row,
               unsigned width, unsigned height, int quality, unsigned char** buffer, unsigned long* size) {
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
        (*rows)(cinfo->next_scanline, row);
        JSAMPROW line = row;
        jpeg_write_scanlines(cinfo, &line, 1);
    }
    jpeg_finish_compress(cinfo);
    return true;
}

// Four frames of a disc going round, on a palette of three colours. The codes are written
// eight bits wide (a minimum code size of 7) with a clear code every 100 pixels, so that the
// decoder's table never grows past eight bits: no compression, no code-size changes. So the
// picture is about four bytes a pixel (16 MB at 2000 x 2000): it is made in order, a piece at a
// time as it is sent, and never held whole.
class AnimatedGif final : public BodyStream {
public:
    AnimatedGif(const std::string& base, unsigned width, unsigned height)
        : width_(width), height_(height), pixels_(static_cast<size_t>(width) * height) {
        auto [back, front] = coloursOf(base);
        colours_[0] = back;
        colours_[1] = front;
        colours_[2] = {255, 255, 255};
        radius_ = std::min(width, height) * 0.18;
        // Per frame: its control and descriptor (19 bytes); the codes (a clear code before
        // every 100 pixels, the pixels, the end code) in blocks of up to 255 with a length byte
        // each; the blocks' terminator.
        const size_t codes = pixels_ + (pixels_ + 99) / 100 + 1;
        size_ = kHeaderBytes + kFrames * (19 + codes + (codes + 254) / 255 + 1) + 1;
    }

    size_t size() const override { return size_; }

    void next(std::string& out, size_t max) override {
        ready_.erase(0, readyFrom_);  // what the last call left: less than one part
        readyFrom_ = 0;
        while (ready_.size() < max && stage_ != Stage::done) makeMore();
        const size_t n = std::min(max, ready_.size());
        out.append(ready_, 0, n);
        readyFrom_ = n;
    }

private:
    enum class Stage { header, frameHead, codes, frameEnd, trailer, done };
    static constexpr int kFrames = 4;
    static constexpr size_t kHeaderBytes = 6 + 7 + 128 * 3 + 19;

    // Appends the next part of the picture to ready_: the header, a frame's head, one block
    // of codes, a frame's end or the trailer.
    void makeMore() {
        switch (stage_) {
        case Stage::header: {
            ready_ += "GIF89a";
            put16le(ready_, width_);
            put16le(ready_, height_);
            ready_.push_back(static_cast<char>(0xF6));  // global table of 128 entries, 8-bit resolution
            ready_.push_back(0);
            ready_.push_back(0);
            std::string table(128 * 3, '\0');
            for (int i = 0; i < 3; ++i) {
                table[i * 3] = static_cast<char>(colours_[i].r);
                table[i * 3 + 1] = static_cast<char>(colours_[i].g);
                table[i * 3 + 2] = static_cast<char>(colours_[i].b);
            }
            ready_ += table;
            ready_ += std::string("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);  // loop for ever
            stage_ = Stage::frameHead;
            break;
        }
        case Stage::frameHead: {
            ready_ += std::string("\x21\xF9\x04\x04", 4);  // control: keep the frame, delay below
            put16le(ready_, 25);
            ready_ += std::string("\x00\x00", 2);
            ready_.push_back(0x2C);
            put16le(ready_, 0);
            put16le(ready_, 0);
            put16le(ready_, width_);
            put16le(ready_, height_);
            ready_.push_back(0);
            ready_.push_back(7);  // minimum code size
            const double angle = frame_ * 3.14159265358979 / 2;
            cx_ = width_ / 2.0 + std::cos(angle) * width_ * 0.25;
            cy_ = height_ / 2.0 + std::sin(angle) * height_ * 0.25;
            pixel_ = 0;
            x_ = y_ = 0;
            sinceClear_ = 100;
            ended_ = false;
            stage_ = Stage::codes;
            break;
        }
        case Stage::codes: {
            char block[256];
            size_t n = 0;
            const double r2 = radius_ * radius_, ring = r2 * 1.6;
            while (n < 255 && !ended_) {
                if (pixel_ == pixels_) {
                    block[1 + n++] = static_cast<char>(129);  // end of information
                    ended_ = true;
                } else if (sinceClear_ == 100) {
                    block[1 + n++] = static_cast<char>(128);
                    sinceClear_ = 0;
                } else {
                    const double dx = x_ + 0.5 - cx_, dy = y_ + 0.5 - cy_;
                    const double d2 = dx * dx + dy * dy;
                    block[1 + n++] = static_cast<char>(d2 <= r2 ? 1 : d2 <= ring ? 2 : 0);
                    ++sinceClear_;
                    ++pixel_;
                    if (++x_ == width_) {
                        x_ = 0;
                        ++y_;
                    }
                }
            }
            block[0] = static_cast<char>(n);
            ready_.append(block, n + 1);
            if (ended_) stage_ = Stage::frameEnd;
            break;
        }
        case Stage::frameEnd:
            ready_.push_back(0);
            stage_ = ++frame_ < kFrames ? Stage::frameHead : Stage::trailer;
            break;
        case Stage::trailer:
            ready_.push_back(0x3B);
            stage_ = Stage::done;
            break;
        case Stage::done:
            break;
        }
    }

    unsigned width_, height_;
    size_t pixels_;
    Colour colours_[3]{};
    double radius_ = 0;
    size_t size_ = 0;
    Stage stage_ = Stage::header;
    int frame_ = 0;
    double cx_ = 0, cy_ = 0;
    size_t pixel_ = 0;
    unsigned x_ = 0, y_ = 0;
    int sinceClear_ = 100;
    bool ended_ = false;
    std::string ready_;  // made and not handed out yet, from readyFrom_
    size_t readyFrom_ = 0;
};

// A file read a piece at a time from a descriptor opened when the reply was made: a file
// replaced or removed meanwhile is still sent whole, as it was.
class FileBody final : public BodyStream {
public:
    FileBody(int fd, size_t size) : fd_(fd), size_(size) {}
    ~FileBody() override { ::close(fd_); }
    FileBody(const FileBody&) = delete;
    FileBody& operator=(const FileBody&) = delete;

    size_t size() const override { return size_; }

    void next(std::string& out, size_t max) override {
        const size_t want = std::min(max, size_ - sent_);
        const size_t from = out.size();
        out.resize(from + want);
        size_t got = 0;
        while (got < want) {
            const ssize_t n = pread(fd_, out.data() + from + got, want - got, static_cast<off_t>(sent_ + got));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) throw std::runtime_error("the file became shorter while it was sent");
            got += static_cast<size_t>(n);
        }
        sent_ += got;
    }

private:
    int fd_;
    size_t size_;
    size_t sent_ = 0;
};

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
        auto gif = std::make_shared<AnimatedGif>(base, w, h);
        if (base.rfind("broken", 0) == 0) {
            gif->next(picture.bytes, 40);
        } else {
            picture.stream = std::move(gif);
        }
    } else if (parsed->extension == "png") {
        picture.contentType = "image/png";
        const PictureRows rows(base, w, h);
        picture.bytes = encodePng(w, h, [&](unsigned y, unsigned char* row) { rows.draw(y, row); });
    } else {
        picture.contentType = "image/jpeg";
        const PictureRows rows(base, w, h);
        picture.bytes = encodeJpeg(w, h, 85, [&](unsigned y, unsigned char* row) { rows.draw(y, row); });
    }
    if (base.rfind("broken", 0) == 0) {
        // The signature and the start of the header, then bytes no decoder takes.
        picture.bytes.resize(std::min<size_t>(picture.bytes.size(), 40));
        for (int i = 0; i < 64; ++i) picture.bytes.push_back(static_cast<char>(0xA5 ^ i));
    }
    return picture;
}

std::optional<Picture> pictureFromFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG || errno == ELOOP) return std::nullopt;
        Picture busy;
        busy.status = 503;
        return busy;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    Picture picture;
    picture.contentType = "image/png";
    picture.stream = std::make_shared<FileBody>(fd, static_cast<size_t>(info.st_size));
    return picture;
}

std::string encodePng(unsigned width, unsigned height, const RowSource& rows) {
    z_stream z{};
    if (deflateInit(&z, 6) != Z_OK) throw std::runtime_error("deflate failed");
    const size_t rowBytes = static_cast<size_t>(width) * 3 + 1;
    std::string row(rowBytes, '\0');  // its filter byte stays 0: none
    std::string packed;
    char out[16384];
    bool ok = true;
    for (unsigned y = 0; y <= height && ok; ++y) {
        const bool last = y == height;
        if (!last) rows(y, reinterpret_cast<unsigned char*>(row.data()) + 1);
        z.next_in = last ? nullptr : reinterpret_cast<Bytef*>(row.data());
        z.avail_in = last ? 0 : static_cast<uInt>(rowBytes);
        int result = Z_OK;
        do {
            z.next_out = reinterpret_cast<Bytef*>(out);
            z.avail_out = sizeof out;
            result = deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
            if (result == Z_STREAM_ERROR) ok = false;
            packed.append(out, sizeof out - z.avail_out);
        } while (ok && (z.avail_out == 0 || (last && result != Z_STREAM_END)));
    }
    deflateEnd(&z);
    if (!ok) throw std::runtime_error("deflate failed");
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

std::string encodeJpeg(unsigned width, unsigned height, int quality, const RowSource& rows) {
    auto* cinfo = new jpeg_compress_struct();
    auto* failure = new JpegFailure();
    std::string row(static_cast<size_t>(width) * 3, '\0');
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const bool ok = jpegWrite(cinfo, failure, &rows, reinterpret_cast<unsigned char*>(row.data()), width, height,
                              quality, &buffer, &size);
    jpeg_destroy_compress(cinfo);
    std::string out = ok && buffer ? std::string(reinterpret_cast<char*>(buffer), size) : std::string();
    std::free(buffer);
    delete failure;
    delete cinfo;
    if (!ok) throw std::runtime_error("jpeg encoding failed");
    return out;
}

}  // namespace zvt::service
