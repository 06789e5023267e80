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

#include <memory>
#include <optional>
#include <string>

#include "service/HttpServer.h"

namespace zvt::service {

struct Picture {
    int status = 200;
    std::string contentType;
    std::string bytes;
    // Set instead of `bytes` for a picture made as it is sent (a GIF: 16 MB at 2000 x 2000).
    std::shared_ptr<BodyStream> stream;
    int delayMs = 0;
};

// Whether `name` (what follows "/images/") has the form of a picture name.
bool isPictureName(const std::string& name);
// The picture for a name of that form, else nothing.
std::optional<Picture> pictureNamed(const std::string& name);

// Encoders (8-bit RGB rows), also for other pictures of the service.
std::string encodePng(const std::string& rgb, unsigned width, unsigned height);
std::string encodeJpeg(const std::string& rgb, unsigned width, unsigned height, int quality);

}  // namespace zvt::service
