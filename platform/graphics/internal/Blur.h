#pragma once
// Gaussian blur of an 8-bit alpha image (shadows of contexts and of layers).

#include <cstdint>

namespace zvt::graphics {

// Blurs the alpha bytes in place with three box passes each way, approximating a Gaussian of
// deviation `sigma` pixels; deviations of 0.1 pixel or less leave the image as it is.
void blurAlpha(uint8_t* data, int width, int height, int stride, double sigma);

}  // namespace zvt::graphics
