#include "platform/graphics/internal/Blur.h"

#include <cmath>
#include <cstddef>
#include <vector>

namespace zvt::graphics {

namespace {

void boxBlurPass(uint8_t* data, int count, int step, int lineCount, int lineStep, int radius, std::vector<uint8_t>& line) {
  if (radius <= 0) return;
  const int window = 2 * radius + 1;
  line.resize(static_cast<size_t>(count));
  for (int l = 0; l < lineCount; ++l) {
    uint8_t* p = data + static_cast<ptrdiff_t>(l) * lineStep;
    for (int i = 0; i < count; ++i) line[static_cast<size_t>(i)] = p[static_cast<ptrdiff_t>(i) * step];
    int sum = 0;
    for (int i = -radius; i <= radius; ++i) sum += (i >= 0 && i < count) ? line[static_cast<size_t>(i)] : 0;
    for (int i = 0; i < count; ++i) {
      p[static_cast<ptrdiff_t>(i) * step] = static_cast<uint8_t>((sum + window / 2) / window);
      int out = i - radius, in = i + radius + 1;
      sum += (in < count ? line[static_cast<size_t>(in)] : 0) - (out >= 0 ? line[static_cast<size_t>(out)] : 0);
    }
  }
}

}  // namespace

// Three box blurs approximate a Gaussian of deviation `sigma`.
void blurAlpha(uint8_t* data, int width, int height, int stride, double sigma) {
  if (sigma <= 0.1) return;
  // Box widths whose three passes give the deviation (the usual construction).
  const double ideal = std::sqrt(12 * sigma * sigma / 3 + 1);
  int lower = static_cast<int>(std::floor(ideal));
  if (lower % 2 == 0) --lower;
  const int upper = lower + 2;
  const double m = std::round((12 * sigma * sigma - 3.0 * lower * lower - 4.0 * 3 * lower - 3 * 3) / (-4.0 * lower - 4));
  std::vector<uint8_t> line;
  for (int pass = 0; pass < 3; ++pass) {
    const int size = pass < m ? lower : upper;
    const int radius = (size - 1) / 2;
    boxBlurPass(data, width, 1, height, stride, radius, line);
    boxBlurPass(data, height, stride, width, 1, radius, line);
  }
}

}  // namespace zvt::graphics
