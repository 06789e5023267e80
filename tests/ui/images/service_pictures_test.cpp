// The pictures of the local service, loaded through the image manager as the screens load
// them: the sizes each kind is made at, the product lists' 300 x 300 variants, the animated
// GIF, and the damaged, slow and missing pictures the demo data names.

#include <gtest/gtest.h>

#include <mutex>

#include "platform/foundation/Foundation.h"
#include "tests/support/ServiceProcess.h"
#include "tests/ui/images/ImageTestSupport.h"
#include "ui/images/WIWebImageManager.h"

namespace {

using namespace zvt::test;

TEST(ServicePictures, LoadAsTheScreensShowThem) {
  ServiceProcess service;
  auto manager = WIWebImageManager::make();
  const struct {
    const char* path;
    size_t width, height, frames;
    const char* error;  // "" when it loads
  } cases[] = {
      {"/images/product3.png_300x300.jpg", 300, 300, 0, ""},
      {"/images/product3.png", 300, 300, 0, ""},
      {"/images/banner0.png", 750, 300, 0, ""},
      {"/images/mall2.png", 200, 80, 0, ""},
      {"/images/avatar_46x46.jpeg", 46, 46, 0, ""},
      {"/images/icon_nav0.gif", 90, 90, 4, ""},
      {"/images/broken37.png_300x300.jpg", 0, 0, 0, "WIWebImageErrorDomain 0"},
      {"/images/missing39.png_300x300.jpg", 0, 0, 0, "NSURLErrorDomain 404"},
      {"/images/../etc/passwd.png", 0, 0, 0, "NSURLErrorDomain 404"},
  };
  std::map<std::string, std::pair<std::shared_ptr<UIImage>, std::string>> answers;
  for (const auto& c : cases) {
    std::string path = c.path;
    manager->downloadImageWithURL(NSString::stringWithUTF8String(service.rootURL() + path), 0, nullptr,
                                  [&answers, path](const std::shared_ptr<UIImage>& image, const std::shared_ptr<NSError>& error,
                                                   WIImageCacheSource, bool, const std::shared_ptr<NSURL>&) {
                                    answers[path] = {image, error ? error->domain()->utf8() + " " + std::to_string(error->code()) : ""};
                                  });
  }
  ASSERT_TRUE(runMainLoopUntil([&] { return answers.size() == std::size(cases); }));
  for (const auto& c : cases) {
    const auto& [image, error] = answers[c.path];
    EXPECT_EQ(error, c.error) << c.path;
    if (!image) continue;
    EXPECT_EQ(image->CGImage()->width(), c.width) << c.path;
    EXPECT_EQ(image->CGImage()->height(), c.height) << c.path;
    EXPECT_EQ(image->images() ? image->images()->count() : 0, c.frames) << c.path;
    if (c.frames) {
      EXPECT_NEAR(image->duration(), 1.0, 1e-6) << c.path;
    }
  }

  // The slow picture outlasts a short time-out; a time-out is no reason to give the URL up.
  auto downloader = WIWebImageDownloader::make();
  downloader->setDownloadTimeout(0.3);
  std::mutex mutex;
  std::string slow;  // told on the download's thread
  downloader->downloadImageWithURL(NSURL::URLWithString(service.rootURL() + "/images/slow38.png_300x300.jpg"), 0, nullptr,
                                   [&](const std::shared_ptr<UIImage>&, const std::shared_ptr<NSData>&,
                                       const std::shared_ptr<NSError>& error, bool) {
                                     std::lock_guard<std::mutex> lock(mutex);
                                     slow = error ? std::to_string(error->code()) : "image";
                                   });
  ASSERT_TRUE(runMainLoopUntil([&] {
    std::lock_guard<std::mutex> lock(mutex);
    return !slow.empty();
  }));
  EXPECT_EQ(slow, "-1001");
}

}  // namespace
