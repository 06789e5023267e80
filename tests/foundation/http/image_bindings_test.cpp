// Image views and buttons loading their images through the HTTP layer against a loopback server:
// the cache answers without a request (unless the request ignores it), a view given a second
// address before the first arrives shows only the second (the first still lands in the cache),
// placeholders, failures, the button's state slots, and the default cache emptied by a memory
// warning.

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "foundation/http/UIKit+NWImages.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UIApplication.h"
#include "tests/support/ImageFixtures.h"
#include "tests/support/MainLoop.h"
#include "tests/support/TestHTTPServer.h"

using zvt::test::runMainLoopUntil;

namespace {

// A PNG of the width (in pixels), so that images tell apart by their width.
std::string png(uint32_t width) {
  zvt::test::PNGRecipe recipe;
  recipe.width = width;
  recipe.height = 2;
  recipe.rows.assign(static_cast<size_t>(width) * 2 * 3, 0x80);
  auto bytes = zvt::test::makePNG(recipe);
  return std::string(bytes.begin(), bytes.end());
}

size_t widthOf(const std::shared_ptr<UIImage>& image) { return image ? image->CGImage()->width() : 0; }

struct ImageServer {
  zvt::test::TestHTTPServer server;
  std::atomic<int> served{0};
  ImageServer() {
    server.fallback([this](const zvt::test::HTTPRequest& request, zvt::test::HTTPResponder& responder) {
      ++served;
      if (request.path == "/missing.png") return responder.send(404, "no", "text/plain");
      const uint32_t width = static_cast<uint32_t>(std::stoi(request.path.substr(1)));
      if (request.path.find("slow") != std::string::npos) responder.pause(0.5);
      responder.send(200, png(width), "image/png");
    });
  }
  std::shared_ptr<NSURL> url(const std::string& path) { return NSURL::URLWithString(server.url(path)); }
};

class ImageBindings : public ::testing::Test {
 protected:
  void SetUp() override { setImageViewSharedImageCache(NWImageCache::make()); }
  void TearDown() override {
    setImageViewSharedImageCache(nullptr);
    setButtonSharedImageCache(nullptr);
  }
  ImageServer images;
};

TEST_F(ImageBindings, TheCacheAnswersWithoutARequestUnlessTheRequestIgnoresIt) {
  auto view = UIImageView::make();
  setImageWithURL(view, images.url("/3.png"));
  ASSERT_TRUE(runMainLoopUntil([&] { return widthOf(view->image()) == 3; }, 10));
  EXPECT_EQ(images.server.requests().back().header("Accept"), "image/*");
  EXPECT_FALSE(imageRequestOperation(view)) << "forgotten once done";
  EXPECT_EQ(images.served, 1);

  const struct {
    NSURLRequestCachePolicy policy;
    bool network;
  } cases[] = {
      {NSURLRequestUseProtocolCachePolicy, false},
      {NSURLRequestReturnCacheDataElseLoad, false},
      {NSURLRequestReloadIgnoringLocalCacheData, true},
      {NSURLRequestReloadIgnoringLocalAndRemoteCacheData, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.policy));
    const int before = images.served;
    bool called = false;
    std::shared_ptr<NSHTTPURLResponse> response = std::make_shared<NSHTTPURLResponse>();
    auto other = UIImageView::make();
    setImageWithURLRequest(other, NSURLRequest::requestWithURL(images.url("/3.png"), c.policy, 10), nullptr,
                           [&](const std::shared_ptr<NSURLRequest>&, const std::shared_ptr<NSHTTPURLResponse>& r,
                               const std::shared_ptr<UIImage>& image) {
                             called = true;
                             response = r;
                             EXPECT_EQ(widthOf(image), 3u);
                           },
                           nullptr);
    ASSERT_TRUE(runMainLoopUntil([&] { return called; }, 10));
    EXPECT_EQ(images.served, before + (c.network ? 1 : 0));
    EXPECT_EQ(response != nullptr, c.network) << "a cached image comes without a response";
    EXPECT_FALSE(other->image()) << "the success block decides what the view shows";
  }
}

TEST_F(ImageBindings, AReusedViewShowsOnlyItsNewestImage) {
  auto view = UIImageView::make();
  auto placeholder = UIImage::imageWithData(NSData::dataWithBytes(png(9).data(), png(9).size()));
  setImageWithURL(view, images.url("/5slow.png"), placeholder);
  EXPECT_EQ(widthOf(view->image()), 9u) << "the placeholder while loading";
  auto first = imageRequestOperation(view);
  setImageWithURL(view, images.url("/7.png"));
  EXPECT_EQ(widthOf(view->image()), 9u) << "no placeholder: the current image stays";
  EXPECT_TRUE(first->isCancelled());
  ASSERT_TRUE(runMainLoopUntil([&] { return widthOf(view->image()) == 7; }, 10));
  runMainLoopUntil([] { return false; }, 0.8);
  EXPECT_EQ(widthOf(view->image()), 7u);

}

TEST_F(ImageBindings, FailuresReachTheFailureBlockAndLeaveTheImage) {
  auto view = UIImageView::make();
  auto placeholder = UIImage::imageWithData(NSData::dataWithBytes(png(4).data(), png(4).size()));
  std::string seen;
  setImageWithURLRequest(view, NSURLRequest::requestWithURL(images.url("/missing.png")), placeholder, nullptr,
                         [&](const std::shared_ptr<NSURLRequest>& request, const std::shared_ptr<NSHTTPURLResponse>& response,
                             const std::shared_ptr<NSError>& error) {
                           seen = request->URL()->path()->utf8() + " " + std::to_string(response ? response->statusCode() : 0) +
                                  " " + (error ? "error" : "none");
                         });
  ASSERT_TRUE(runMainLoopUntil([&] { return !seen.empty(); }, 10));
  EXPECT_EQ(seen, "/missing.png 404 error");
  EXPECT_EQ(widthOf(view->image()), 4u);
  EXPECT_FALSE(imageViewSharedImageCache()->cachedImageForRequest(NSURLRequest::requestWithURL(images.url("/missing.png"))));
}

TEST_F(ImageBindings, ButtonStatesHaveTheirSlotsAndCombinedStatesShareTheNormalOne) {
  auto button = UIButton::buttonWithType(UIButtonTypeCustom);
  setButtonSharedImageCache(NWImageCache::make());
  // Two states loading at once: neither cancels the other.
  setImageForState(button, UIControlStateNormal, images.url("/13slow.png"));
  setImageForState(button, UIControlStateHighlighted, images.url("/15.png"));
  setBackgroundImageForState(button, UIControlStateSelected, images.url("/17.png"));
  ASSERT_TRUE(runMainLoopUntil(
      [&] {
        return widthOf(button->imageForState(UIControlStateNormal)) == 13 &&
               widthOf(button->imageForState(UIControlStateHighlighted)) == 15 &&
               widthOf(button->backgroundImageForState(UIControlStateSelected)) == 17;
      },
      10));

  // A combined state uses the normal slot: its load replaces the normal state's running one.
  std::string normal;
  setImageForState(button, UIControlStateNormal, NSURLRequest::requestWithURL(images.url("/19slow.png")), nullptr, nullptr,
                   [&](const std::shared_ptr<NSError>& error) { normal = std::to_string(error->code()); });
  setImageForState(button, UIControlStateHighlighted | UIControlStateSelected, images.url("/21.png"));
  ASSERT_TRUE(runMainLoopUntil(
      [&] { return widthOf(button->imageForState(UIControlStateHighlighted | UIControlStateSelected)) == 21; }, 10));
  runMainLoopUntil([] { return false; }, 0.8);
  EXPECT_EQ(widthOf(button->imageForState(UIControlStateNormal)), 13u) << "the replaced load never shows";
  EXPECT_EQ(normal, "") << "nor reports: its request is no longer the slot's";

  // The button's own cache is asked before any request.
  const int before = images.served;
  auto other = UIButton::buttonWithType(UIButtonTypeCustom);
  setImageForState(other, UIControlStateNormal, images.url("/15.png"));
  EXPECT_EQ(widthOf(other->imageForState(UIControlStateNormal)), 15u);
  EXPECT_EQ(images.served, before);
}

TEST_F(ImageBindings, TheDefaultCacheEmptiesOnAMemoryWarning) {
  setImageViewSharedImageCache(nullptr);
  auto cache = imageViewSharedImageCache();
  auto request = NSURLRequest::requestWithURL(images.url("/3.png"));
  cache->cacheImage(UIImage::imageWithData(NSData::dataWithBytes(png(3).data(), png(3).size())), request);
  cache->cacheImage(nullptr, request);
  ASSERT_TRUE(cache->cachedImageForRequest(request)) << "a nil image replaces nothing";
  NSNotificationCenter::defaultCenter()->postNotificationName(UIApplicationDidReceiveMemoryWarningNotification, nullptr);
  runMainLoopUntil([] { return false; }, 0.1);
  EXPECT_FALSE(cache->cachedImageForRequest(request));
  EXPECT_EQ(buttonSharedImageCache(), cache) << "buttons use the image views' cache unless given their own";
}

}  // namespace
