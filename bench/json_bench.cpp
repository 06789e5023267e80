// The JSON codec against RapidJSON and nlohmann::json on twitter, citm_catalog and canada, all in
// one run. What each benchmark measures, the same work on both sides:
//
// decode/<doc>/<lib>  UTF-8 text already in memory -> a complete tree of values, then the tree
//                     is released; one document per iteration. Ours validates UTF-8 and converts
//                     numbers exactly rounded, so the peer that counts is "rapidjson", parsing
//                     with kParseValidateEncodingFlag | kParseFullPrecisionFlag;
//                     "rapidjson_default" (no validation, inexact numbers) and "nlohmann" (which
//                     validates and rounds exactly) are shown beside it.
// encode/<doc>/<lib>  A tree already in memory -> the complete text in a new buffer that the
//                     caller owns (an NSData for ours, a StringBuffer or std::string for the
//                     peers). Our trees: "ours", built by application code from plain
//                     NSDictionary/NSArray with every key and value its own object (the
//                     headline: request bodies are built this way); "ours_distinct", distinct
//                     objects in the codec's own containers; "ours_decoded", our decoder's own
//                     tree, whose value cache makes repeated keys and values one shared object
//                     that the writer's cache copies. The peers write their own parsed trees.
// memory/<doc>/<lib>  Resident bytes a process gains by holding one decoded tree, per JSON value
//                     (objects, arrays, strings, numbers and literals; keys are not counted as
//                     values), measured in a fresh process (this program run again) so that
//                     nothing earlier is reused. "kept_after_release" is what stays resident once
//                     the tree is released (per value); "rss_100_vs_1" is the resident size after
//                     100 decodes and releases of the document over that after one.
//
// Times are wall clock (real time) per document; cpu_us_per_item is the whole process's CPU time
// per document. The documents are read from $ZVT_BENCH_DATA/json (the bench-data folder); the
// smoke run takes a slice of each (every array and object cut to its first 16 entries).
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "bench/support/ProcessCPU.h"
#include "bench/support/Smoke.h"
#include "foundation/json/JCContainers.h"
#include "foundation/json/JCSerializer.h"
#include "foundation/json/JSONDecoder.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSNumber.h"

extern char** environ;

namespace {

constexpr unsigned kExactFlags = rapidjson::kParseValidateEncodingFlag | rapidjson::kParseFullPrecisionFlag;
const char* const kDocuments[] = {"twitter", "citm_catalog", "canada"};

// The end of the string that starts at `quote` (the index of its closing quote).
size_t stringEnd(const std::string& text, size_t quote) {
  size_t i = quote + 1;
  while (i < text.size() && text[i] != '"') i += text[i] == '\\' ? 2 : 1;
  return i;
}

// A slice of a JSON text that is JSON itself: every array and object keeps its first `keep`
// entries. One pass over the characters, without a tree.
std::string slice(const std::string& text, int keep) {
  std::string out;
  std::vector<int> entries;  // of each container still open, the entries begun so far
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') {
      const size_t end = stringEnd(text, i);
      out.append(text, i, end - i + 1);
      i = end;
      continue;
    }
    if (c == '[' || c == '{') {
      entries.push_back(1);
    } else if ((c == ']' || c == '}') && !entries.empty()) {
      entries.pop_back();
    } else if (c == ',' && !entries.empty() && ++entries.back() > keep) {
      // Past the last entry kept: drop the rest of this container, up to its closing bracket.
      for (int depth = 0; ++i < text.size();) {
        if (text[i] == '"') {
          i = stringEnd(text, i);
        } else if (text[i] == '[' || text[i] == '{') {
          ++depth;
        } else if ((text[i] == ']' || text[i] == '}') && depth-- == 0) {
          break;
        }
      }
      entries.pop_back();
      if (i < text.size()) out += text[i];
      continue;
    }
    out += c;
  }
  return out;
}

const std::string& document(const std::string& name) {
  static std::map<std::string, std::string> cache;
  auto it = cache.find(name);
  if (it != cache.end()) return it->second;
  // ZVT_BENCH_DATA (the bench-data folder) overrides the location known at build time.
  const char* root = std::getenv("ZVT_BENCH_DATA");
  std::string folder = root ? std::string(root) + "/json" : std::string(ZVT_JSON_BENCH_DATA);
  // Read with one allocation: the memory probes must find a heap that nothing has used yet.
  std::string text;
  const std::string path = folder + "/" + name + ".json";
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    std::fseek(f, 0, SEEK_END);
    text.resize(static_cast<size_t>(std::ftell(f)));
    std::fseek(f, 0, SEEK_SET);
    if (std::fread(text.data(), 1, text.size(), f) != text.size()) text.clear();
    std::fclose(f);
  }
  if (text.empty()) {
    // 77: the inputs are missing, which the smoke run reports as a skipped test, not a failure.
    std::fprintf(stderr, "json_bench: cannot read %s (set ZVT_BENCH_DATA); skipped\n", path.c_str());
    std::exit(77);
  }
  // (The memory figures of a smoke run mean nothing: the slice may use the heap.)
  if (zvt::bench::smokeRun()) text = slice(text, 16);
  return cache[name] = std::move(text);
}

// --- the trees to encode

id copyTree(const id& value, bool codecContainers);

// A leaf as application code makes it: its own object, of the kind the decoder chose.
id freshLeaf(const id& value) {
  if (auto s = zvt::as<NSString>(value)) return NSString::stringWithUTF8String(s->utf8());
  if (auto n = zvt::as<NSNumber>(value)) {
    if (n->isBoolean()) return NSNumber::numberWithBool(n->boolValue());
    if (n->isFloatingPoint()) return NSNumber::numberWithDouble(n->doubleValue());
    if (n->type() == 'Q') return NSNumber::numberWithUnsignedLongLong(n->unsignedLongLongValue());
    return NSNumber::numberWithLongLong(n->longLongValue());
  }
  return NSNull::null();
}

id copyTree(const id& value, bool codecContainers) {
  if (auto array = zvt::as<NSArray>(value)) {
    std::vector<id> items;
    for (const id& item : *array) items.push_back(copyTree(item, codecContainers));
    if (!codecContainers) return NSArray::arrayWithObjects(std::move(items));
    return zvt::json::makeJCArray(items.data(), items.size(), false);
  }
  if (auto dictionary = zvt::as<NSDictionary>(value)) {
    std::vector<std::pair<id, id>> pairs;
    dictionary->enumerateKeysAndObjectsUsingBlock([&](const id& key, const id& object, bool*) {
      pairs.emplace_back(freshLeaf(key), copyTree(object, codecContainers));
    });
    if (!codecContainers) return NSDictionary::dictionaryWithPairs(std::move(pairs));
    std::vector<zvt::json::DictionaryEntry> entries;
    for (auto& [key, object] : pairs) entries.push_back({key->hash(), key, object});
    return zvt::json::makeJCDictionary(entries.data(), entries.size(), false);
  }
  return freshLeaf(value);
}

// --- the measured work, one function each so that callgrind can count exactly it
// (--toggle-collect='*measured*')

// The tree is released inside, as the peers' documents are: callgrind counts both halves.
[[gnu::noinline]] bool measuredDecodeOurs(const NSData& data) {
  id tree = objectFromJSONData(data);
  return tree != nullptr;
}

template <unsigned Flags>
[[gnu::noinline]] bool measuredDecodeRapidJSON(const std::string& text) {
  rapidjson::Document d;
  d.Parse<Flags>(text.data(), text.size());
  return !d.HasParseError();
}

[[gnu::noinline]] bool measuredDecodeNlohmann(const std::string& text) {
  return !nlohmann::json::parse(text).is_discarded();
}

[[gnu::noinline]] std::shared_ptr<NSData> measuredEncodeOurs(const id& tree) {
  if (auto dictionary = zvt::as<NSDictionary>(tree)) return JSONData(*dictionary);
  return JSONData(*zvt::as<NSArray>(tree));
}

[[gnu::noinline]] size_t measuredEncodeRapidJSON(const rapidjson::Document& d) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  d.Accept(writer);
  return buffer.GetSize();
}

[[gnu::noinline]] size_t measuredEncodeNlohmann(const nlohmann::json& j) { return j.dump().size(); }

// --- decoding

void DecodeOurs(benchmark::State& state, const std::string& name) {
  const std::string& text = document(name);
  auto data = NSData::dataWithString(text);
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    if (!measuredDecodeOurs(*data)) state.SkipWithError("decode failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

template <unsigned Flags>
void DecodeRapidJSON(benchmark::State& state, const std::string& name) {
  const std::string& text = document(name);
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    if (!measuredDecodeRapidJSON<Flags>(text)) state.SkipWithError("decode failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void DecodeNlohmann(benchmark::State& state, const std::string& name) {
  const std::string& text = document(name);
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    if (!measuredDecodeNlohmann(text)) state.SkipWithError("decode failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// --- encoding

enum class Tree { app, distinct, decoded };

void EncodeOurs(benchmark::State& state, const std::string& name, Tree kind) {
  const std::string& text = document(name);
  id decoded = objectFromJSONData(*NSData::dataWithString(text));
  id tree = kind == Tree::decoded ? decoded : copyTree(decoded, kind == Tree::distinct);
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    auto out = measuredEncodeOurs(tree);
    if (!out) state.SkipWithError("encode failed");
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void EncodeRapidJSON(benchmark::State& state, const std::string& name) {
  const std::string& text = document(name);
  rapidjson::Document d;
  d.Parse<kExactFlags>(text.data(), text.size());
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    if (measuredEncodeRapidJSON(d) == 0) state.SkipWithError("encode failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void EncodeNlohmann(benchmark::State& state, const std::string& name) {
  const std::string& text = document(name);
  auto j = nlohmann::json::parse(text);
  zvt::bench::ProcessCPUCounter cpu(state);
  for (auto _ : state) {
    if (measuredEncodeNlohmann(j) == 0) state.SkipWithError("encode failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// --- memory, measured in a fresh process

size_t residentBytes() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return static_cast<size_t>(resident) * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

// JSON values of a document (keys are not values).
size_t countValues(const rapidjson::Value& v) {
  size_t n = 1;
  if (v.IsArray()) {
    for (const auto& item : v.GetArray()) n += countValues(item);
  } else if (v.IsObject()) {
    for (const auto& member : v.GetObject()) n += countValues(member.value);
  }
  return n;
}

struct MemoryFigures {
  double heldPerValue = 0;
  double keptAfterReleasePerValue = 0;
  double rss100vs1 = 0;
};

// One decode held, then released, then 99 more decode-and-release cycles (ours only; the peers
// free everything with the document).
template <class Decode>
MemoryFigures probe(const std::string& text, size_t values, Decode decode) {
  MemoryFigures f;
  const double before = static_cast<double>(residentBytes());
  {
    auto tree = decode(text);
    benchmark::DoNotOptimize(tree);
    f.heldPerValue = (static_cast<double>(residentBytes()) - before) / static_cast<double>(values);
  }
  const double afterOne = static_cast<double>(residentBytes());
  f.keptAfterReleasePerValue = (afterOne - before) / static_cast<double>(values);
  const int rounds = zvt::bench::smokeSize(100, 2);
  for (int i = 1; i < rounds; ++i) {
    auto tree = decode(text);
    benchmark::DoNotOptimize(tree);
  }
  f.rss100vs1 = static_cast<double>(residentBytes()) / afterOne;
  return f;
}

// The child side: `json_bench --memory-probe=<lib>:<doc>:<values>` prints the three figures.
int memoryProbe(const std::string& blueprint) {
  const size_t colon = blueprint.find(':'), second = blueprint.find(':', colon + 1);
  const std::string lib = blueprint.substr(0, colon), name = blueprint.substr(colon + 1, second - colon - 1);
  const size_t values = std::stoul(blueprint.substr(second + 1));
  const std::string& text = document(name);
  MemoryFigures f;
  if (lib == "ours") {
    auto data = NSData::dataWithString(text);
    f = probe(text, values, [&](const std::string&) { return objectFromJSONData(*data); });
  } else if (lib == "rapidjson") {
    f = probe(text, values, [](const std::string& t) {
      auto d = std::make_unique<rapidjson::Document>();
      d->Parse<kExactFlags>(t.data(), t.size());
      return d;
    });
  } else {
    f = probe(text, values, [](const std::string& t) { return nlohmann::json::parse(t); });
  }
  std::printf("%.3f %.3f %.4f\n", f.heldPerValue, f.keptAfterReleasePerValue, f.rss100vs1);
  return 0;
}

void Memory(benchmark::State& state, const std::string& lib, const std::string& name) {
  static std::map<std::string, size_t> valueCounts;
  if (!valueCounts.count(name)) {
    rapidjson::Document d;
    d.Parse<kExactFlags>(document(name).data(), document(name).size());
    valueCounts[name] = countValues(d);
  }
  MemoryFigures f;
  for (auto _ : state) {
    std::string arg = "--memory-probe=" + lib + ":" + name + ":" + std::to_string(valueCounts[name]);
    char* argv[] = {const_cast<char*>("json_bench"), arg.data(), nullptr};
    int fds[2];
    if (pipe(fds) != 0) std::abort();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    pid_t pid = 0;
    if (posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv, environ) != 0) std::abort();
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    char line[128] = {};
    ssize_t n = read(fds[0], line, sizeof line - 1);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (n <= 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
        std::sscanf(line, "%lf %lf %lf", &f.heldPerValue, &f.keptAfterReleasePerValue, &f.rss100vs1) != 3) {
      state.SkipWithError("memory probe failed");
    }
  }
  state.counters["bytes_per_value"] = f.heldPerValue;
  state.counters["kept_after_release"] = f.keptAfterReleasePerValue;
  state.counters["rss_100_vs_1"] = f.rss100vs1;
}

void registerAll() {
  for (const char* doc : kDocuments) {
    const std::string name = doc;
    auto add = [&](const std::string& what, auto&&... args) {
      benchmark::RegisterBenchmark(what.c_str(), args...)->Unit(benchmark::kMillisecond)->UseRealTime();
    };
    add("decode/" + name + "/ours", DecodeOurs, name);
    add("decode/" + name + "/rapidjson", DecodeRapidJSON<kExactFlags>, name);
    add("decode/" + name + "/rapidjson_default", DecodeRapidJSON<rapidjson::kParseDefaultFlags>, name);
    add("decode/" + name + "/nlohmann", DecodeNlohmann, name);
    add("encode/" + name + "/ours", EncodeOurs, name, Tree::app);
    add("encode/" + name + "/ours_distinct", EncodeOurs, name, Tree::distinct);
    add("encode/" + name + "/ours_decoded", EncodeOurs, name, Tree::decoded);
    add("encode/" + name + "/rapidjson", EncodeRapidJSON, name);
    add("encode/" + name + "/nlohmann", EncodeNlohmann, name);
  }
  for (const char* doc : kDocuments) {
    for (const char* lib : {"ours", "rapidjson", "nlohmann"}) {
      benchmark::RegisterBenchmark((std::string("memory/") + doc + "/" + lib).c_str(), Memory, std::string(lib),
                                   std::string(doc))
          ->Iterations(1);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--memory-probe=", 15) == 0) return memoryProbe(argv[i] + 15);
  }
  registerAll();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
