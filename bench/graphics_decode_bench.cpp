// Decoding a 1920 x 1080 photo-like image as PNG and as JPEG: UIImage::imageWithData (what the
// image serializer and the image cache call) and the image source, against libpng and
// libjpeg-turbo called directly with the same output (8-bit RGB rows), in one run.
#include <benchmark/benchmark.h>

#include <cstdio>


#include <cstring>
#include <vector>

#include "platform/graphics/CGImageSource.h"
#include "bench/support/BenchImages.h"
#include "platform/graphics/UIImage.h"

namespace {

using namespace zvt::bench;

void report(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kWidth * kHeight * 3));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

void PNG_UIImage(benchmark::State& state) {
  for (auto _ : state) {
    auto image = UIImage::imageWithData(pngData());
    if (!image) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(image->CGImage()->pixelData()->bytes());
  }
  report(state);
}

void PNG_ImageSource(benchmark::State& state) {
  for (auto _ : state) {
    auto image = CGImageSourceCreateImageAtIndex(CGImageSourceCreateWithData(pngData(), nullptr), 0, nullptr);
    benchmark::DoNotOptimize(image->pixelData()->bytes());
  }
  report(state);
}

void PNG_libpng(benchmark::State& state) {
  for (auto _ : state) {
    // The same allocation our decoder makes: a zeroed buffer of the rows.
    std::vector<uint8_t> out(kWidth * kHeight * 3);
    if (!pngDirect(pngData()->bytes(), pngData()->length(), out.data())) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(out.data());
  }
  report(state);
}

void JPEG_UIImage(benchmark::State& state) {
  for (auto _ : state) {
    auto image = UIImage::imageWithData(jpegData());
    if (!image) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(image->CGImage()->pixelData()->bytes());
  }
  report(state);
}

void JPEG_ImageSource(benchmark::State& state) {
  for (auto _ : state) {
    auto image = CGImageSourceCreateImageAtIndex(CGImageSourceCreateWithData(jpegData(), nullptr), 0, nullptr);
    benchmark::DoNotOptimize(image->pixelData()->bytes());
  }
  report(state);
}

void JPEG_libjpeg(benchmark::State& state) {
  for (auto _ : state) {
    std::vector<uint8_t> out(kWidth * kHeight * 3);
    if (!jpegDirect(jpegData()->bytes(), jpegData()->length(), out.data())) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(out.data());
  }
  report(state);
}

}  // namespace

BENCHMARK(PNG_UIImage)->Unit(benchmark::kMillisecond);
BENCHMARK(PNG_ImageSource)->Unit(benchmark::kMillisecond);
BENCHMARK(PNG_libpng)->Unit(benchmark::kMillisecond);
BENCHMARK(JPEG_UIImage)->Unit(benchmark::kMillisecond);
BENCHMARK(JPEG_ImageSource)->Unit(benchmark::kMillisecond);
BENCHMARK(JPEG_libjpeg)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  // The files are made before anything is timed.
  std::printf("PNG %zu bytes, JPEG %zu bytes, %zu x %zu pixels\n", static_cast<size_t>(pngData()->length()),
              static_cast<size_t>(jpegData()->length()), kWidth, kHeight);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
