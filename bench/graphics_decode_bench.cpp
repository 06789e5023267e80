// Decoding a 1920 x 1080 photo-like image as PNG and as JPEG, and two GIFs, in one run. What
// each benchmark measures, the same work on every side:
//
// image/<png|jpeg>/<lib>  the file's bytes in memory -> 8-bit RGB rows in a zero-filled buffer
//                         allocated for the image: "ours", UIImage::imageWithData (what the image
//                         serializer and the image cache call); "ours_source", the image source;
//                         "libpng" / "libjpeg", the libraries called directly.
// image/gif_picture/<lib> a one-frame 640 x 360 GIF -> its 8-bit pixels with alpha: "ours",
//                         UIImage::imageWithData; "giflib", DGifSlurp and the palette looked up
//                         into a zero-filled canvas.
// image/gif_animation/<lib> a 240 x 240 GIF of 12 frames -> every frame's canvas: "ours", the
//                         image source's count and each frame (what the animated-GIF category
//                         does); "giflib", as above, each frame over a copy of the one before.
//
// The files are made before anything is timed. Times are wall clock per image; cpu_us_per_item
// is the whole process's CPU time per image.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "bench/support/BenchImages.h"
#include "bench/support/ProcessCPU.h"
#include "platform/graphics/CGImageSource.h"
#include "platform/graphics/UIImage.h"

namespace {

using namespace zvt::bench;

void report(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kWidth * kHeight * 3));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

void PNG_UIImage(benchmark::State& state) {
  ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    auto image = UIImage::imageWithData(pngData());
    if (!image) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(image->CGImage()->pixelData()->bytes());
  }
  report(state);
}

void PNG_ImageSource(benchmark::State& state) {
  ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    auto image = CGImageSourceCreateImageAtIndex(CGImageSourceCreateWithData(pngData(), nullptr), 0, nullptr);
    benchmark::DoNotOptimize(image->pixelData()->bytes());
  }
  report(state);
}

void PNG_libpng(benchmark::State& state) {
  ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    // The same allocation our decoder makes: a zeroed buffer of the rows.
    std::vector<uint8_t> out(kWidth * kHeight * 3);
    if (!pngDirect(pngData()->bytes(), pngData()->length(), out.data())) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(out.data());
  }
  report(state);
}

void JPEG_UIImage(benchmark::State& state) {
  ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    auto image = UIImage::imageWithData(jpegData());
    if (!image) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(image->CGImage()->pixelData()->bytes());
  }
  report(state);
}

void JPEG_ImageSource(benchmark::State& state) {
  ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    auto image = CGImageSourceCreateImageAtIndex(CGImageSourceCreateWithData(jpegData(), nullptr), 0, nullptr);
    benchmark::DoNotOptimize(image->pixelData()->bytes());
  }
  report(state);
}

void JPEG_libjpeg(benchmark::State& state) {
  ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    std::vector<uint8_t> out(kWidth * kHeight * 3);
    if (!jpegDirect(jpegData()->bytes(), jpegData()->length(), out.data())) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(out.data());
  }
  report(state);
}

void GIF_Picture_UIImage(benchmark::State& state) {
  ProcessCPUCounter cpu(state);
  const auto& data = gifData(kGIFPicture);
  for (auto _ : state) {
    auto image = UIImage::imageWithData(data);
    if (!image) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(image->CGImage()->pixelData()->bytes());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

void GIF_Animation_ImageSource(benchmark::State& state) {
  ProcessCPUCounter cpu(state);
  const auto& data = gifData(kGIFAnimation);
  for (auto _ : state) {
    auto source = CGImageSourceCreateWithData(data, nullptr);
    const size_t count = CGImageSourceGetCount(source);
    if (count != kGIFAnimation.frames) state.SkipWithError("wrong frame count");
    for (size_t i = 0; i < count; ++i) {
      auto frame = CGImageSourceCreateImageAtIndex(source, i, nullptr);
      if (!frame) state.SkipWithError("decode failed");
      benchmark::DoNotOptimize(frame->pixelData()->bytes());
    }
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

void GIF_giflib(benchmark::State& state, GIFShape shape) {
  ProcessCPUCounter cpu(state);
  const auto& data = gifData(shape);
  for (auto _ : state) {
    std::vector<uint8_t> out(shape.width * shape.height * 4 * shape.frames);
    if (!gifDirect(data->bytes(), data->length(), out.data())) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

}  // namespace

BENCHMARK(PNG_UIImage)->Name("image/png/ours")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(PNG_ImageSource)->Name("image/png/ours_source")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(PNG_libpng)->Name("image/png/libpng")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(JPEG_UIImage)->Name("image/jpeg/ours")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(JPEG_ImageSource)->Name("image/jpeg/ours_source")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(JPEG_libjpeg)->Name("image/jpeg/libjpeg")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(GIF_Picture_UIImage)->Name("image/gif_picture/ours")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(GIF_giflib, picture, kGIFPicture)->Name("image/gif_picture/giflib")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(GIF_Animation_ImageSource)->Name("image/gif_animation/ours")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(GIF_giflib, animation, kGIFAnimation)->Name("image/gif_animation/giflib")->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
  // The files are made before anything is timed.
  std::fprintf(stderr, "PNG %zu bytes, JPEG %zu bytes, %zu x %zu pixels; GIF picture %zu bytes, animation %zu bytes\n",
               static_cast<size_t>(pngData()->length()), static_cast<size_t>(jpegData()->length()), kWidth, kHeight,
               static_cast<size_t>(gifData(kGIFPicture)->length()), static_cast<size_t>(gifData(kGIFAnimation)->length()));
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
