// Multipart bodies built from fuzzed parts (names, values, declared lengths) and read back
// through fuzzed buffer sizes: the bytes read never exceed Content-Length, and a body read to
// its end has exactly that length.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/http/NWMultipartFormData.h"
#include "platform/foundation/Foundation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  size_t at = 0;
  auto take = [&](size_t n) {
    std::string out(reinterpret_cast<const char*>(data + at), std::min(n, size - at));
    at += out.size();
    return out;
  };
  auto byte = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
  auto request = NSMutableURLRequest::requestWithURL(NSURL::URLWithString("http://h.test/up"));
  auto form = NWStreamingMultipartFormData::initWithURLRequest(request, NSUTF8StringEncoding);
  bool declaredShort = false;
  int parts = byte() % 6;
  for (int i = 0; i < parts; ++i) {
    auto name = NSString::stringWithUTF8String(take(byte() % 12));
    if (!name) name = "n"_ns;
    std::string value = take(byte());
    switch (byte() % 3) {
      case 0: form->appendPartWithFormData(NSData::dataWithString(value), name); break;
      case 1: form->appendPartWithFileData(NSData::dataWithString(value), name, name, "text/plain"_ns); break;
      default: {
        int64_t declared = static_cast<int64_t>(value.size()) + static_cast<int8_t>(byte()) % 4;
        if (declared < 0) declared = 0;
        if (declared > static_cast<int64_t>(value.size())) declaredShort = true;
        form->appendPartWithInputStream(NSInputStream::inputStreamWithData(NSData::dataWithString(value)), name, name, declared,
                                        "application/octet-stream"_ns);
      }
    }
  }
  auto finished = form->requestByFinalizingMultipartFormData();
  auto stream = finished->HTTPBodyStream();
  if (!stream) return 0;
  uint64_t contentLength = std::strtoull(finished->valueForHTTPHeaderField("Content-Length")->UTF8String(), nullptr, 10);
  stream->open();
  size_t chunk = 1 + byte() % 64;
  std::vector<uint8_t> buffer(chunk);
  uint64_t total = 0;
  bool failed = false;
  for (int guard = 0; guard < 1000000; ++guard) {
    NSInteger n = stream->read(buffer.data(), chunk);
    if (n < 0) {
      failed = true;
      break;
    }
    if (n == 0) break;
    total += static_cast<uint64_t>(n);
    if (total > contentLength) std::abort();
  }
  if (!failed && total != contentLength) std::abort();
  if (failed && !declaredShort) std::abort();
  return 0;
}
