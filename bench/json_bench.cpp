// Decoding and encoding the three standard documents with our codec, RapidJSON's DOM and
// nlohmann::json, in one run. Throughput is counted in bytes of the input document for all three.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "foundation/json/JCSerializer.h"
#include "foundation/json/JSONDecoder.h"

namespace {

const std::string& document(const std::string& name) {
  static std::map<std::string, std::string> cache;
  auto it = cache.find(name);
  if (it != cache.end()) return it->second;
  // ZVT_BENCH_DATA (the bench-data folder) overrides the location known at build time.
  const char* root = std::getenv("ZVT_BENCH_DATA");
  std::string folder = root ? std::string(root) + "/json" : std::string(ZVT_JSON_BENCH_DATA);
  std::ifstream in(folder + "/" + name, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return cache[name] = buffer.str();
}

void DecodeOurs(benchmark::State& state, const std::string& name) {
  const std::string& text = document(name);
  auto data = NSData::dataWithString(text);
  for (auto _ : state) {
    id tree = objectFromJSONData(*data);
    if (!tree) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(tree);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void DecodeRapidJSON(benchmark::State& state, const std::string& name) {
  const std::string& text = document(name);
  for (auto _ : state) {
    rapidjson::Document d;
    d.Parse(text.data(), text.size());
    if (d.HasParseError()) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(d);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void DecodeNlohmann(benchmark::State& state, const std::string& name) {
  const std::string& text = document(name);
  for (auto _ : state) {
    auto j = nlohmann::json::parse(text);
    benchmark::DoNotOptimize(j);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void EncodeOurs(benchmark::State& state, const std::string& name) {
  const std::string& text = document(name);
  id tree = objectFromJSONData(*NSData::dataWithString(text));
  auto dictionary = zvt::as<NSDictionary>(tree);
  auto array = zvt::as<NSArray>(tree);
  for (auto _ : state) {
    auto out = dictionary ? JSONData(*dictionary) : JSONData(*array);
    if (!out) state.SkipWithError("encode failed");
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void EncodeRapidJSON(benchmark::State& state, const std::string& name) {
  const std::string& text = document(name);
  rapidjson::Document d;
  d.Parse(text.data(), text.size());
  for (auto _ : state) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    d.Accept(writer);
    benchmark::DoNotOptimize(buffer.GetString());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void EncodeNlohmann(benchmark::State& state, const std::string& name) {
  const std::string& text = document(name);
  auto j = nlohmann::json::parse(text);
  for (auto _ : state) {
    std::string out = j.dump();
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

const int kRegistered = [] {
  for (const char* name : {"twitter.json", "citm_catalog.json", "canada.json"}) {
    std::string n = name;
    std::string shortName = n.substr(0, n.find('.'));
    benchmark::RegisterBenchmark(("decode/" + shortName + "/ours").c_str(), DecodeOurs, n)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("decode/" + shortName + "/rapidjson").c_str(), DecodeRapidJSON, n)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("decode/" + shortName + "/nlohmann").c_str(), DecodeNlohmann, n)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("encode/" + shortName + "/ours").c_str(), EncodeOurs, n)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("encode/" + shortName + "/rapidjson").c_str(), EncodeRapidJSON, n)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("encode/" + shortName + "/nlohmann").c_str(), EncodeNlohmann, n)->Unit(benchmark::kMillisecond);
  }
  return 0;
}();

}  // namespace

BENCHMARK_MAIN();
