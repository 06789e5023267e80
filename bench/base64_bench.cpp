// Base64 of 1 MiB: our class members and workers against OpenSSL's EVP_EncodeBlock and
// EVP_DecodeBlock, in one run.
#include <benchmark/benchmark.h>

#include <openssl/evp.h>

#include <random>
#include <string>
#include <vector>

#include "foundation/base64/BCBase64.h"

namespace {

constexpr size_t kInput = 1 << 20;

const std::vector<uint8_t>& plain() {
  static const std::vector<uint8_t> bytes = [] {
    std::vector<uint8_t> v(kInput);
    std::mt19937_64 rng(64);
    for (auto& b : v) b = static_cast<uint8_t>(rng());
    return v;
  }();
  return bytes;
}

const std::string& coded() {
  static const std::string text = BCBase64::stringByEncodingBytes(plain().data(), plain().size())->utf8();
  return text;
}

void EncodeOurs(benchmark::State& state) {
  for (auto _ : state) {
    auto data = BCBase64::encodeBytes(plain().data(), plain().size());
    benchmark::DoNotOptimize(data);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kInput));
}

void EncodeOpenSSL(benchmark::State& state) {
  std::vector<uint8_t> out(coded().size() + 1);
  for (auto _ : state) {
    int n = EVP_EncodeBlock(out.data(), plain().data(), static_cast<int>(plain().size()));
    benchmark::DoNotOptimize(n);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kInput));
}

void DecodeOurs(benchmark::State& state) {
  const std::string& text = coded();
  for (auto _ : state) {
    auto data = BCBase64::decodeBytes(text.data(), text.size());
    if (!data) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(data);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kInput));
}

void DecodeOpenSSL(benchmark::State& state) {
  const std::string& text = coded();
  std::vector<uint8_t> out(kInput + 3);
  for (auto _ : state) {
    int n = EVP_DecodeBlock(out.data(), reinterpret_cast<const uint8_t*>(text.data()), static_cast<int>(text.size()));
    if (n < 0) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(n);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kInput));
}

}  // namespace

BENCHMARK(EncodeOurs)->Name("base64/encode/ours");
BENCHMARK(EncodeOpenSSL)->Name("base64/encode/openssl");
BENCHMARK(DecodeOurs)->Name("base64/decode/ours");
BENCHMARK(DecodeOpenSSL)->Name("base64/decode/openssl");

BENCHMARK_MAIN();
