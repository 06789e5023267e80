#include "service/Png.h"

#include <zlib.h>

#include <cstdint>
#include <stdexcept>

namespace zvt::service {

namespace {

void put32(std::string& out, uint32_t v) {
    out.push_back(static_cast<char>(v >> 24));
    out.push_back(static_cast<char>(v >> 16));
    out.push_back(static_cast<char>(v >> 8));
    out.push_back(static_cast<char>(v));
}

void chunk(std::string& out, const char* type, const std::string& data) {
    put32(out, static_cast<uint32_t>(data.size()));
    std::string body = std::string(type, 4) + data;
    out += body;
    put32(out, static_cast<uint32_t>(crc32(0L, reinterpret_cast<const Bytef*>(body.data()),
                                           static_cast<uInt>(body.size()))));
}

}  // namespace

std::string solidPng(const std::string& name, unsigned size) {
    uint32_t h = 2166136261u;
    for (unsigned char c : name) h = (h ^ c) * 16777619u;
    const unsigned char r = 64 + (h & 0x7f), g = 64 + ((h >> 8) & 0x7f),
                        b = 64 + ((h >> 16) & 0x7f);

    std::string raw;
    raw.reserve(static_cast<size_t>(size) * (size * 3 + 1));
    for (unsigned y = 0; y < size; ++y) {
        raw.push_back(0);  // filter: none
        for (unsigned x = 0; x < size; ++x) {
            raw.push_back(static_cast<char>(r));
            raw.push_back(static_cast<char>(g));
            raw.push_back(static_cast<char>(b));
        }
    }
    uLongf packedLen = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(packedLen, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedLen,
                  reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()),
                  9) != Z_OK) {
        throw std::runtime_error("deflate failed");
    }
    packed.resize(packedLen);

    std::string ihdr;
    put32(ihdr, size);
    put32(ihdr, size);
    ihdr +=
        std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter, no interlace

    std::string png("\x89PNG\r\n\x1a\n", 8);
    chunk(png, "IHDR", ihdr);
    chunk(png, "IDAT", packed);
    chunk(png, "IEND", "");
    return png;
}

}  // namespace zvt::service
