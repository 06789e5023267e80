#pragma once
// The image decoding budget of the fuzz targets that decode pictures. Under the sanitizers every
// pixel decoded, copied, drawn or encoded costs a fraction of a microsecond, and the application's
// limits let a few header bytes ask for millions of them: one input would take seconds. Pictures
// of this budget take milliseconds and still reach every decoding road (interlacing passes,
// many frames, disposal, partial rows); the refusals are the same code with smaller numbers.
#include "platform/graphics/CGImage.h"

namespace zvt::fuzz {

inline constexpr ImageDecodingBudget kImageBudget{
    .maxSide = 1024,
    .maxPixels = size_t{1} << 14,          // 128 x 128
    .maxCanvasPixels = size_t{1} << 14,    // a GIF's screen, likewise
    .maxAnimationBytes = size_t{1} << 16,  // 4 frames of 64 x 64, 64 of 16 x 16
};

}  // namespace zvt::fuzz
