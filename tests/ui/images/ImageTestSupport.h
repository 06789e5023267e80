#pragma once
// Helpers of the remote-image tests: image bytes made with the libraries themselves, a
// loopback server of images, and a sandbox home for the whole test program (the shared cache
// settles its directory once, on first use).

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSData.h"
#include "tests/support/ImageFixtures.h"
#include "tests/support/MainLoop.h"
#include "tests/support/TestHTTPServer.h"

namespace zvt::test {

inline std::shared_ptr<NSData> dataOf(const std::vector<uint8_t>& bytes) {
  return NSData::dataWithBytes(bytes.data(), bytes.size());
}
inline std::string textOf(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Solid-colour images.
std::vector<uint8_t> pngImage(uint32_t width, uint32_t height, bool alpha, uint8_t shade = 90);
std::vector<uint8_t> jpegImage(uint32_t width, uint32_t height, int exifOrientation = 0, uint8_t shade = 90);
// `frames` frames of 4 x 4, with the delay in hundredths (-1: no control extension).
std::vector<uint8_t> gifImage(int frames, int delay);
// `frames` 1 x 1 frames on a logical screen of width x height: a few dozen bytes asking for a
// canvas of the screen's size.
std::vector<uint8_t> gifOnScreen(int width, int height, int frames);

// Waits until every block queued on the queue so far has run.
inline void drainQueue(const dispatch_queue_t& queue) { dispatch_sync(queue, [] {}); }

// An image server on loopback: "/png/<w>x<h>", "/jpeg/<w>x<h>", "/gif", "/status/<code>",
// "/empty", "/text", "/slow" (answers when release() is called), and counts of the requests per path.
class ImageServer {
 public:
  ImageServer();
  ~ImageServer();
  std::string url(const std::string& path) const { return server_.url(path); }
  size_t hits(const std::string& path) const;
  size_t totalHits() const { return server_.requestCount(); }
  void release();
  TestHTTPServer& server() { return server_; }

 private:
  TestHTTPServer server_;
  std::shared_ptr<std::atomic<bool>> released_;
};

}  // namespace zvt::test
