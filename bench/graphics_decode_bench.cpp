// Decoding a 1920 x 1080 photo-like image as PNG and as JPEG, in one run. What each benchmark
// measures, the same work on every side:
//
// image/<png|jpeg>/<lib>  the file's bytes in memory -> 8-bit RGB rows in a zero-filled buffer
//                         allocated for the image: "ours", UIImage::imageWithData (what the image
//                         serializer and the image cache call); "ours_source", the image source;
//                         "libpng" / "libjpeg", the libraries called directly.
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

}  // namespace

BENCHMARK(PNG_UIImage)->Name("image/png/ours")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(PNG_ImageSource)->Name("image/png/ours_source")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(PNG_libpng)->Name("image/png/libpng")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(JPEG_UIImage)->Name("image/jpeg/ours")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(JPEG_ImageSource)->Name("image/jpeg/ours_source")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(JPEG_libjpeg)->Name("image/jpeg/libjpeg")->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
  // The files are made before anything is timed.
  std::fprintf(stderr, "PNG %zu bytes, JPEG %zu bytes, %zu x %zu pixels\n", static_cast<size_t>(pngData()->length()),
               static_cast<size_t>(jpegData()->length()), kWidth, kHeight);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
