#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets (one folder per target beside this file).

Each seed is an input as its target reads it: for most targets a first byte that picks options,
then the document. The seeds are small valid files of every kind the targets take, plus the
hostile ones found before (image bombs, the JSON object whose writer once computed an address
from a null pointer), so that a replay under the sanitizers meets them every time.

Run it again after changing it; the files are kept in the repository. Beside them, under their
hash names, are inputs that fuzzing runs (scripts/fuzz-run.sh) found new coverage with, merged
against these seeds and kept small; this script leaves them alone."""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    folder = os.path.join(HERE, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode("utf-8"))


def png(width, height, rows=None):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)
    if rows is None:  # RGBA gradient, filter 0 on every row
        rows = b"".join(b"\x00" + bytes((x * 40 % 256, y * 60 % 256, 128, 255) [i] for x in range(width) for i in range(4))
                        for y in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def gif(screen_w, screen_h, frames, loop=False):
    """frames: list of (left, top, delay); each a 1 x 1 frame of colour 1."""
    out = b"GIF89a" + struct.pack("<HH", screen_w, screen_h) + b"\x80\x00\x00" + b"\x00\x00\x00\xff\x00\x00"
    if loop:
        out += b"\x21\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00"
    for left, top, delay in frames:
        if delay is not None:
            out += b"\x21\xf9\x04\x04" + struct.pack("<H", delay) + b"\x00\x00"
        # LZW, minimum code size 2: clear (4), index 1, end (5) in 3-bit codes.
        out += b"\x2c" + struct.pack("<HHHH", left, top, 1, 1) + b"\x00" + b"\x02\x02\x4c\x01\x00"
    return out + b"\x3b"


def jpeg_gray8():
    """An 8 x 8 grey baseline JPEG with one-code Huffman tables: DC 0, end of block."""
    dqt = b"\xff\xdb\x00\x43\x00" + b"\x01" * 64
    sof = b"\xff\xc0\x00\x0b\x08\x00\x08\x00\x08\x01\x01\x11\x00"
    counts = b"\x01" + b"\x00" * 15
    dht = b"\xff\xc4\x00\x14\x00" + counts + b"\x00" + b"\xff\xc4\x00\x14\x10" + counts + b"\x00"
    sos = b"\xff\xda\x00\x08\x01\x01\x00\x00\x3f\x00"
    return b"\xff\xd8" + dqt + sof + dht + sos + b"\x3f" + b"\xff\xd9"


# --- JSON decoder (first byte: options; 0x10 mutable containers, 0x20 pretty writing)
write("json_decoder_fuzzer", "five-keys", b"\x00" + b'{"a":1,"b":2,"c":3,"d":4,"e":5}')
write("json_decoder_fuzzer", "five-keys-mutable-pretty", b"\x30" + b'{"a":1,"b":2,"c":3,"d":4,"e":5,"f":[1,2]}')
write("json_decoder_fuzzer", "array-of-kinds", b"\x00" + '[1,-2,3.25e10,"x\\u00e9\\ud83d\\ude00",true,false,null,{},[]]'.encode())
write("json_decoder_fuzzer", "nested", b"\x00" + b'{"code":101,"data":{"list":[{"id":1,"name":"\xe6\xb7\x98\xe5\xae\x9d"},{"id":2}]}}')
write("json_decoder_fuzzer", "deep", b"\x00" + b"[" * 600 + b"]" * 600)
write("json_decoder_fuzzer", "broken", b"\x00" + b'{"a":1,"b":')
write("json_decoder_fuzzer", "numbers", b"\x00" + b"[0,-0,1e308,1e309,-9223372036854775808,18446744073709551615,1.5e-320]")

# --- Base64 decoder
write("base64_decoder_fuzzer", "standard", "aGVsbG8gd29ybGQ=")
write("base64_decoder_fuzzer", "web-safe", "-_-_aGk")
write("base64_decoder_fuzzer", "broken", "a===b\n\x00")

# --- image decoding (first byte % 4: 0 as is, 1 PNG, 2 JPEG, 3 GIF signature put in front)
write("image_decoder_fuzzer", "png", b"\x00" + png(3, 2))
write("image_decoder_fuzzer", "jpeg", b"\x00" + jpeg_gray8())
write("image_decoder_fuzzer", "gif-animated", b"\x00" + gif(2, 2, [(0, 0, 10), (1, 1, 1)], loop=True))
write("image_decoder_fuzzer", "gif-one-frame", b"\x00" + gif(1, 1, [(0, 0, None)]))
# Bombs: a few dozen bytes that ask for hundreds of megabytes.
write("image_decoder_fuzzer", "gif-screen-8192", b"\x00" + gif(8192, 8192, [(0, 0, 0)]))
write("image_decoder_fuzzer", "gif-screen-8192-two-frames", b"\x00" + gif(8192, 8192, [(0, 0, 0), (1, 1, 0)]))
write("image_decoder_fuzzer", "gif-17-frames-2048", b"\x00" + gif(2048, 2048, [(0, 0, None)] * 17))
# Within the application's limits (16 frames of 16 MiB) but half a minute under the sanitizers:
# beyond the fuzzing budget, refused at once.
write("image_decoder_fuzzer", "gif-16-frames-2048", b"\x00" + gif(2048, 2048, [(0, 0, None)] * 16))
write("image_decoder_fuzzer", "png-8192-short", b"\x00" + png(8192, 8192, rows=b"\x00" * 64))

# --- HTTP response serializers (first byte: content type & 7, serializer (>> 3) & 3, 0x40: 404)
write("http_response_serializer_fuzzer", "json", b"\x00" + b'{"code":101,"msg":"ok","data":{"a":1,"b":2,"c":3,"d":4,"e":5}}')
write("http_response_serializer_fuzzer", "json-nulls-removed", b"\x08" + b'{"a":null,"b":[null,{"c":null}]}')
write("http_response_serializer_fuzzer", "json-404", b"\x40" + b'{"error":"missing"}')
write("http_response_serializer_fuzzer", "plist", b"\x13" + b'<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0"><dict><key>a</key><integer>1</integer></dict></plist>')
write("http_response_serializer_fuzzer", "image-png", b"\x1c" + png(2, 2))
write("http_response_serializer_fuzzer", "image-gif-bomb", b"\x1e" + gif(8192, 8192, [(0, 0, 0)]))
write("http_response_serializer_fuzzer", "image-gif-16-frames-2048", b"\x1e" + gif(2048, 2048, [(0, 0, None)] * 16))
write("http_response_serializer_fuzzer", "image-jpeg", b"\x1d" + jpeg_gray8())

# --- multipart bodies: part count, then per part name length, name, value length, value, kind
# (0 form data, 1 file data, 2 stream with a declared length off by the next byte), then the
# buffer size.
def part(name, value, kind, extra=b""):
    return bytes([len(name)]) + name + bytes([len(value)]) + value + bytes([kind]) + extra
write("http_multipart_reader_fuzzer", "form-and-file", b"\x02" + part(b"uid", b"42", 0) + part(b"avatar", b"\x89PNG....", 1) + b"\x07")
write("http_multipart_reader_fuzzer", "stream-declared-short", b"\x01" + part(b"s", b"abcdef", 2, b"\x02") + b"\x01")
write("http_multipart_reader_fuzzer", "stream-exact", b"\x03" + part(b"a", b"x", 0) + part(b"b", b"yy", 2, b"\x00") + part(b"c", b"", 1) + b"\x3f")
