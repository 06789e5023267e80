// The pictures the service serves under "/images/" for the addresses of its demo data, made on
// the fly and the same for the same name every time.
//
// A name is "<base>[_<W>x<H>].<png|jpg|jpeg|gif>". The extension decides the format; the size
// is the one named (sides of 1 to 2000 pixels), else the one its kind is shown at (a base
// starting with "product" or "good" 300 x 300, "banner" 750 x 300, "mall" 200 x 80, "icon_" and
// "cat" 90 x 90, ...), else 60 x 60. A base may itself hold a dot: the screens ask for
// "<picture address>_300x300.jpg", a JPEG of 300 x 300 pixels of the same picture. GIFs are
// animated (four frames, 0.25 s each, looping) and made as they are sent (`Picture::stream`).
// Bases starting with "broken" give damaged bytes of the format, "slow" answers after two
// seconds, "missing" is not found (404).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "service/HttpServer.h"

namespace zvt::service {

struct Picture {
    int status = 200;
    std::string contentType;
    std::string bytes;
    // Set instead of `bytes` for a picture made or read as it is sent (a GIF: 16 MB at
    // 2000 x 2000; an uploaded file).
    std::shared_ptr<BodyStream> stream;
    int delayMs = 0;
};

// Whether `name` (what follows "/images/") has the form of a picture name.
bool isPictureName(const std::string& name);
// The picture for a name of that form, else nothing.
std::optional<Picture> pictureNamed(const std::string& name);

// A PNG file of the service's data directory (an uploaded avatar), sent from disk a piece at a
// time as its peer takes it, never read whole into memory; nothing when there is no such file.
// A file that exists but cannot be opened now (no descriptor left, or another passing cause) is
// a picture of status 503 without bytes.
std::optional<Picture> pictureFromFile(const std::string& path);

// Encoders of 8-bit RGB rows, which they ask for one at a time, top to bottom (`row` has room
// for one): a picture is never held whole while it is encoded.
using RowSource = std::function<void(unsigned y, unsigned char* row)>;
std::string encodePng(unsigned width, unsigned height, const RowSource& rows);
std::string encodeJpeg(unsigned width, unsigned height, int quality, const RowSource& rows);

}  // namespace zvt::service
