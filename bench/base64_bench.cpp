// Base64 of 1 MiB of random bytes: our codec against OpenSSL's EVP_EncodeBlock and
// EVP_DecodeBlock, in one run. What each benchmark measures, the same work on both sides:
//
// base64/encode/<lib>        bytes -> padded standard-alphabet text, without line breaks, into
//                            a buffer allocated once before the timed loop: our encoding worker
//                            (the one the class members call) and EVP_EncodeBlock.
// base64/decode/<lib>        that text -> the bytes, into a buffer allocated once: our decoding
//                            worker (strict: every character checked, padding required) and
//                            EVP_DecodeBlock (which checks every character too).
// base64/encode_alloc/<lib>  the same through our class members, which allocate the result
//                            (NSData, zero-filled) on every call, against EVP_EncodeBlock
//                            writing into a zero-filled buffer allocated on every call;
// base64/decode_alloc/<lib>  likewise for decoding.
//
// The input and the text are made before any timed loop. Times are wall clock per MiB;
// cpu_us_per_item is the whole process's CPU time per MiB.
#include <benchmark/benchmark.h>

#include <openssl/evp.h>

#include <random>
#include <string>
#include <vector>

#include "bench/support/ProcessCPU.h"
#include "foundation/base64/BCBase64.h"

namespace {

using zvt::base64::Alphabet;

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

const uint8_t* codedBytes() { return reinterpret_cast<const uint8_t*>(coded().data()); }

void finish(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kInput));
}

void EncodeOurs(benchmark::State& state) {
  std::vector<uint8_t> out(zvt::base64::encodedLength(kInput, true));
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    size_t n = zvt::base64::encode(plain().data(), kInput, out.data(), out.size(), Alphabet::standard, true);
    if (n != out.size()) state.SkipWithError("encode failed");
    benchmark::DoNotOptimize(out.data());
  }
  finish(state);
}

void EncodeOpenSSL(benchmark::State& state) {
  std::vector<uint8_t> out(coded().size() + 1);  // and its terminating NUL
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    int n = EVP_EncodeBlock(out.data(), plain().data(), static_cast<int>(kInput));
    if (n != static_cast<int>(coded().size())) state.SkipWithError("encode failed");
    benchmark::DoNotOptimize(out.data());
  }
  finish(state);
}

void DecodeOurs(benchmark::State& state) {
  std::vector<uint8_t> out(zvt::base64::decodedCapacity(coded().size()));
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    size_t n = zvt::base64::decode(codedBytes(), coded().size(), out.data(), out.size(), Alphabet::standard, true);
    if (n != kInput) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(out.data());
  }
  finish(state);
}

void DecodeOpenSSL(benchmark::State& state) {
  std::vector<uint8_t> out(kInput + 3);
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    int n = EVP_DecodeBlock(out.data(), codedBytes(), static_cast<int>(coded().size()));
    if (n < static_cast<int>(kInput)) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(out.data());
  }
  finish(state);
}

void EncodeAllocOurs(benchmark::State& state) {
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    auto data = BCBase64::encodeBytes(plain().data(), kInput);
    if (!data) state.SkipWithError("encode failed");
    benchmark::DoNotOptimize(data);
  }
  finish(state);
}

void EncodeAllocOpenSSL(benchmark::State& state) {
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    std::vector<uint8_t> out(coded().size() + 1);
    if (EVP_EncodeBlock(out.data(), plain().data(), static_cast<int>(kInput)) <= 0) state.SkipWithError("encode failed");
    benchmark::DoNotOptimize(out.data());
  }
  finish(state);
}

void DecodeAllocOurs(benchmark::State& state) {
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    auto data = BCBase64::decodeBytes(coded().data(), coded().size());
    if (!data) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(data);
  }
  finish(state);
}

void DecodeAllocOpenSSL(benchmark::State& state) {
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    std::vector<uint8_t> out(kInput + 3);
    if (EVP_DecodeBlock(out.data(), codedBytes(), static_cast<int>(coded().size())) < 0) {
      state.SkipWithError("decode failed");
    }
    benchmark::DoNotOptimize(out.data());
  }
  finish(state);
}

const int kRegistered = [] {
  const struct {
    const char* name;
    void (*run)(benchmark::State&);
  } all[] = {
      {"base64/encode/ours", EncodeOurs},
      {"base64/encode/openssl", EncodeOpenSSL},
      {"base64/decode/ours", DecodeOurs},
      {"base64/decode/openssl", DecodeOpenSSL},
      {"base64/encode_alloc/ours", EncodeAllocOurs},
      {"base64/encode_alloc/openssl", EncodeAllocOpenSSL},
      {"base64/decode_alloc/ours", DecodeAllocOurs},
      {"base64/decode_alloc/openssl", DecodeAllocOpenSSL},
  };
  for (const auto& b : all) benchmark::RegisterBenchmark(b.name, b.run)->Unit(benchmark::kMicrosecond)->UseRealTime();
  return 0;
}();

}  // namespace

int main(int argc, char** argv) {
  // The input and its text exist before anything is timed.
  coded();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
