#pragma once
// Images as Cairo surfaces for drawing: made once per image and kept with it.

#include "platform/graphics/CGImage.h"

typedef struct _cairo_surface cairo_surface_t;

namespace zvt::graphics {

// The image's pixels as an ARGB32 (RGB24 when opaque) Cairo surface: its own bytes when they
// are already in the host's layout, else a converted copy. Owned by the image (valid while it
// lives); null when the image has no pixels or is too large for Cairo.
cairo_surface_t* surfaceOfImage(const CGImage& image);

}  // namespace zvt::graphics
