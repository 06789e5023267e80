#include "tests/ui/images/ImageTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "tests/support/TempHome.h"

namespace zvt::test {

namespace {

// One sandbox home for the whole program, made before any test runs.
class ImagesHome : public ::testing::Environment {
 public:
  void SetUp() override { home_ = std::make_unique<TempHome>(); }
  void TearDown() override { home_.reset(); }

 private:
  std::unique_ptr<TempHome> home_;
};
[[maybe_unused]] const auto* const kHome = ::testing::AddGlobalTestEnvironment(new ImagesHome);

std::pair<uint32_t, uint32_t> sizeIn(const std::string& path) {
  unsigned w = 0, h = 0;
  std::sscanf(path.c_str() + path.rfind('/') + 1, "%ux%u", &w, &h);
  return {w, h};
}

}  // namespace

std::vector<uint8_t> pngImage(uint32_t width, uint32_t height, bool alpha, uint8_t shade) {
  PNGRecipe recipe;
  recipe.width = width;
  recipe.height = height;
  recipe.colorType = alpha ? 6 : 2;
  const int channels = alpha ? 4 : 3;
  recipe.rows.assign(static_cast<size_t>(width) * height * channels, shade);
  if (alpha) {
    for (size_t i = 3; i < recipe.rows.size(); i += 4) recipe.rows[i] = 128;
  }
  return makePNG(recipe);
}

std::vector<uint8_t> jpegImage(uint32_t width, uint32_t height, int exifOrientation, uint8_t shade) {
  JPEGRecipe recipe;
  recipe.width = width;
  recipe.height = height;
  recipe.pixels.assign(static_cast<size_t>(width) * height * 3, shade);
  recipe.exifOrientation = exifOrientation;
  return makeJPEG(recipe);
}

std::vector<uint8_t> gifImage(int frames, int delay) {
  GIFRecipe recipe;
  recipe.width = recipe.height = 4;
  recipe.palette = {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
  for (int i = 0; i < frames; ++i) {
    GIFFrameRecipe frame;
    frame.width = frame.height = 4;
    frame.indexes.assign(16, static_cast<uint8_t>(i % 4));
    frame.control = delay >= 0;
    frame.delay = delay < 0 ? 0 : delay;
    recipe.frames.push_back(frame);
  }
  return makeGIF(recipe);
}

std::vector<uint8_t> gifOnScreen(int width, int height, int frames) {
  GIFRecipe recipe;
  recipe.width = recipe.height = 1;
  recipe.palette = {0, 0, 0, 255, 0, 0};
  for (int i = 0; i < frames; ++i) {
    GIFFrameRecipe frame;
    frame.width = frame.height = 1;
    frame.indexes = {1};
    recipe.frames.push_back(frame);
  }
  auto bytes = makeGIF(recipe);
  bytes[6] = static_cast<uint8_t>(width & 0xFF);
  bytes[7] = static_cast<uint8_t>(width >> 8);
  bytes[8] = static_cast<uint8_t>(height & 0xFF);
  bytes[9] = static_cast<uint8_t>(height >> 8);
  return bytes;
}

ImageServer::ImageServer() : released_(std::make_shared<std::atomic<bool>>(false)) {
  server_.fallback([released = released_](const HTTPRequest& request, HTTPResponder& reply) {
    const std::string& path = request.path;
    auto image = [&](const std::string& type, const std::vector<uint8_t>& bytes) {
      reply.send(200, {{"Content-Type", type}}, textOf(bytes));
    };
    if (path.rfind("/png/", 0) == 0) {
      auto [w, h] = sizeIn(path);
      image("image/png", pngImage(w, h, path.find("alpha") != std::string::npos));
    } else if (path.rfind("/jpeg/", 0) == 0) {
      auto [w, h] = sizeIn(path);
      image("image/jpeg", jpegImage(w, h));
    } else if (path == "/gif") {
      image("image/gif", gifImage(3, -1));
    } else if (path.rfind("/status/", 0) == 0) {
      reply.send(std::stoi(path.substr(8)), "");
    } else if (path == "/text") {
      reply.send(200, "not an image");
    } else if (path == "/empty") {
      reply.send(200, {{"Content-Type", "image/png"}}, "");
    } else if (path == "/slow") {
      while (!released->load()) reply.pause(0.005);
      image("image/png", pngImage(8, 8, false));
    } else {
      reply.send(404, "");
    }
  });
}

ImageServer::~ImageServer() {
  release();
  server_.stop();
}

void ImageServer::release() { released_->store(true); }

size_t ImageServer::hits(const std::string& path) const {
  size_t count = 0;
  for (const auto& request : server_.requests()) count += request.path == path;
  return count;
}

}  // namespace zvt::test
