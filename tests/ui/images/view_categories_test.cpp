// Remote images on image views and buttons in a shown window: the placeholder, the newest URL
// winning, memory and disk hits, the options the views act on, animation and highlighted
// images, the activity indicator, per-state button URLs, and views that go away while loading.

#include <gtest/gtest.h>

#include "platform/uikit/Device.h"
#include "platform/uikit/UIWindow.h"
#include "tests/ui/images/ImageTestSupport.h"
#include "ui/images/UIButton+RemoteImage.h"
#include "ui/images/UIImageView+RemoteImage.h"
#include "ui/images/UIView+RemoteImageOperation.h"

namespace {

using namespace zvt::test;

struct Answer {
  std::shared_ptr<UIImage> image;
  std::string error;
  WIImageCacheSource source = WIImageCacheSourceNone;
  std::string url;
};

class ViewCategoriesTest : public ::testing::Test {
 protected:
  ViewCategoriesTest() {
    window = UIWindow::make();
    window->makeKeyAndVisible();
    view = UIImageView::initWithFrame(CGRectMake(10, 10, 100, 100));
    window->addSubview(view);
  }
  // Nothing may still be hashing a key or writing a file when the process exits.
  ~ViewCategoriesTest() override {
    window->setHidden(true);
    runMainLoopUntil([] { return !WIWebImageManager::sharedManager()->isRunning(); });
    drainQueue(WIWebImageManager::sharedManager()->imageCache()->ioQueue());
  }

  std::shared_ptr<NSURL> url(const std::string& path) { return NSURL::URLWithString(server.url(path)); }
  WIWebImageCompletionBlock record(int n) {
    return [this, n](const std::shared_ptr<UIImage>& image, const std::shared_ptr<NSError>& error, WIImageCacheSource source,
                     const std::shared_ptr<NSURL>& imageURL) {
      answers[n].push_back({image, error ? error->domain()->utf8() + " " + std::to_string(error->code()) + " " +
                                               error->localizedDescription()->utf8()
                                         : "",
                            source, imageURL ? imageURL->absoluteString()->utf8() : "nil"});
    };
  }
  bool waitFor(int n) {
    return runMainLoopUntil([&] { return !answers[n].empty(); });
  }
  static size_t widthOf(const std::shared_ptr<UIImage>& image) { return image ? image->CGImage()->width() : 0; }

  ImageServer server;
  std::shared_ptr<UIWindow> window;
  std::shared_ptr<UIImageView> view;
  std::shared_ptr<UIImage> placeholder = UIImage::imageWithData(dataOf(pngImage(3, 3, false)));
  std::map<int, std::vector<Answer>> answers;
};

TEST_F(ViewCategoriesTest, TheNewestURLWinsAndANilURLShowsThePlaceholder) {
  wi_setImageWithURL(view, url("/slow"), placeholder, record(0));
  EXPECT_EQ(view->image(), placeholder);
  ASSERT_TRUE(runMainLoopUntil([&] { return server.totalHits() == 1; }));
  wi_setImageWithURL(view, url("/png/7x7"), placeholder, record(1));
  ASSERT_TRUE(waitFor(1));
  server.release();
  drainMainLoop();
  EXPECT_EQ(widthOf(view->image()), 7u);
  EXPECT_TRUE(answers[0].empty());
  EXPECT_EQ(answers[1].size(), 1u);
  EXPECT_EQ(answers[1][0].url, server.url("/png/7x7"));
  EXPECT_EQ(wi_imageURL(view)->absoluteString()->utf8(), server.url("/png/7x7"));

  wi_setImageWithURL(view, nullptr, placeholder, record(2));
  EXPECT_EQ(view->image(), placeholder);
  ASSERT_EQ(answers[2].size(), 1u);
  EXPECT_EQ(answers[2][0].error, "WIWebImageErrorDomain -1 Trying to load a nil url");
  EXPECT_EQ(answers[2][0].url, "nil");
  EXPECT_TRUE(wi_imageLoadOperations(view, kUIImageViewImageLoadKey).empty());
}

TEST_F(ViewCategoriesTest, CacheHitsComeFromMemoryAtOnceAndFromDiskAfterTheQueue) {
  auto cache = WIWebImageManager::sharedManager()->imageCache();
  auto memoryURL = url("/png/5x5"), diskURL = url("/png/6x6");
  cache->storeImage(UIImage::imageWithData(dataOf(pngImage(5, 5, false))), memoryURL->absoluteString(), false);
  cache->storeImage(UIImage::imageWithData(dataOf(pngImage(6, 6, false))), false, dataOf(pngImage(6, 6, false)),
                    diskURL->absoluteString(), true);
  drainQueue(cache->ioQueue());
  cache->clearMemory();
  cache->storeImage(UIImage::imageWithData(dataOf(pngImage(5, 5, false))), memoryURL->absoluteString(), false);

  wi_setImageWithURL(view, memoryURL, placeholder, record(0));
  ASSERT_EQ(answers[0].size(), 1u);  // before the call returned
  EXPECT_EQ(answers[0][0].source, WIImageCacheSourceMemory);
  EXPECT_EQ(widthOf(view->image()), 5u);

  wi_setImageWithURL(view, diskURL, placeholder, record(1));
  EXPECT_EQ(view->image(), placeholder);
  ASSERT_TRUE(waitFor(1));
  EXPECT_EQ(answers[1][0].source, WIImageCacheSourceDisk);
  EXPECT_EQ(widthOf(view->image()), 6u);
  EXPECT_EQ(server.totalHits(), 0u);
}

TEST_F(ViewCategoriesTest, TheOptionsTheViewsActOn) {
  auto previous = UIImage::imageWithData(dataOf(pngImage(9, 9, false)));
  const struct {
    const char* what;
    const char* path;
    WIImageLoadOptions options;
    size_t shownDuring;  // width of the image shown while loading (0: none)
    size_t shownAfter;
  } cases[] = {
      {"plain", "/png/4x4?a", 0, 3, 4},
      {"delayed placeholder, loaded", "/png/4x4?b", WIImageLoadDelayPlaceholder, 9, 4},
      {"delayed placeholder, failed", "/status/404", WIImageLoadDelayPlaceholder, 9, 3},
      {"no automatic image", "/png/4x4?c", WIImageLoadAvoidAutoSetImage, 3, 3},
  };
  int n = 0;
  for (const auto& c : cases) {
    view->setImage(previous);
    wi_setImageWithURL(view, url(c.path), placeholder, c.options, record(n));
    EXPECT_EQ(widthOf(view->image()), c.shownDuring) << c.what;
    ASSERT_TRUE(waitFor(n)) << c.what;
    EXPECT_EQ(widthOf(view->image()), c.shownAfter) << c.what;
    ++n;
  }
  EXPECT_EQ(widthOf(answers[3][0].image), 4u);  // handed to the completion instead
}

TEST_F(ViewCategoriesTest, AnimationAndHighlightedImagesAndTheIndicator) {
  auto urls = NSMutableArray::array();
  for (int i = 1; i <= 3; ++i) urls->addObject(url("/png/" + std::to_string(i) + "x1"));
  wi_setAnimationImagesWithURLs(view, urls);
  EXPECT_EQ(wi_imageLoadOperations(view, kUIImageViewAnimationImagesKey).size(), 3u);
  ASSERT_TRUE(runMainLoopUntil([&] { return view->animationImages() && view->animationImages()->count() == 3; }));
  EXPECT_TRUE(view->isAnimating());

  wi_setHighlightedImageWithURL(view, url("/png/8x8"), record(0));
  ASSERT_TRUE(waitFor(0));
  EXPECT_EQ(widthOf(view->highlightedImage()), 8u);

  setShowActivityIndicatorView(view, true);
  setIndicatorStyle(view, UIActivityIndicatorViewStyleGray);
  wi_setImageWithURL(view, url("/slow"), record(1));
  drainMainLoop();
  auto indicator = activityIndicator(view);
  ASSERT_TRUE(indicator);
  EXPECT_EQ(indicator->superview(), view);
  EXPECT_TRUE(indicator->isAnimating());
  EXPECT_EQ(indicator->activityIndicatorViewStyle(), UIActivityIndicatorViewStyleGray);
  server.release();
  ASSERT_TRUE(waitFor(1));
  EXPECT_FALSE(activityIndicator(view));
  EXPECT_FALSE(indicator->superview());
}

TEST_F(ViewCategoriesTest, ButtonsKeepAURLPerState) {
  auto button = UIButton::buttonWithType(UIButtonTypeCustom);
  button->setFrame(CGRectMake(0, 200, 100, 40));
  window->addSubview(button);
  wi_setImageWithURL(button, url("/png/2x2"), UIControlStateNormal, record(0));
  wi_setBackgroundImageWithURL(button, url("/png/6x3"), UIControlStateNormal, placeholder, record(1));
  EXPECT_EQ(button->backgroundImageForState(UIControlStateNormal), placeholder);
  ASSERT_TRUE(waitFor(0) && waitFor(1));
  EXPECT_EQ(widthOf(button->imageForState(UIControlStateNormal)), 2u);
  EXPECT_EQ(widthOf(button->backgroundImageForState(UIControlStateNormal)), 6u);
  // The background's URL is not kept; a highlighted button without a URL of its own answers
  // the normal state's.
  EXPECT_EQ(wi_imageURLForState(button, UIControlStateNormal)->absoluteString()->utf8(), server.url("/png/2x2"));
  button->setHighlighted(true);
  EXPECT_EQ(wi_currentImageURL(button), wi_imageURLForState(button, UIControlStateNormal));
  EXPECT_FALSE(wi_imageURLForState(button, UIControlStateHighlighted));
  wi_setImageWithURL(button, url("/png/4x4"), UIControlStateHighlighted, record(2));
  ASSERT_TRUE(waitFor(2));
  EXPECT_EQ(widthOf(button->currentImage()), 4u);
  EXPECT_EQ(wi_currentImageURL(button)->absoluteString()->utf8(), server.url("/png/4x4"));
  // A nil URL for the normal state forgets it.
  wi_setImageWithURL(button, nullptr, UIControlStateNormal, record(3));
  EXPECT_FALSE(wi_imageURLForState(button, UIControlStateNormal));
  EXPECT_EQ(answers[3].at(0).error, "WIWebImageErrorDomain -1 Trying to load a nil url");
  EXPECT_TRUE(wi_imageLoadOperations(button, "UIButtonImageOperation0").empty());
  EXPECT_EQ(wi_imageLoadOperations(button, "UIButtonImageOperation1").size(), 1u);
}

TEST_F(ViewCategoriesTest, AViewThatGoesAwayIsNotKeptOrTouched) {
  std::weak_ptr<UIImageView> weak;
  {
    auto gone = UIImageView::initWithFrame(CGRectMake(0, 0, 10, 10));
    weak = gone;
    setShowActivityIndicatorView(gone, true);
    wi_setImageWithURL(gone, url("/slow"), placeholder, record(0));
    ASSERT_TRUE(runMainLoopUntil([&] { return server.totalHits() == 1; }));
  }
  drainMainLoop();
  EXPECT_TRUE(weak.expired());
  server.release();
  ASSERT_TRUE(runMainLoopUntil([] { return !WIWebImageManager::sharedManager()->isRunning(); }));
  EXPECT_TRUE(answers[0].empty());

  // The older names forward to the newer ones.
  std::shared_ptr<UIImage> older;
  setImageWithURL(view, url("/png/3x2"), placeholder,
                  [&](const std::shared_ptr<UIImage>& image, const std::shared_ptr<NSError>&, WIImageCacheSource) { older = image; });
  ASSERT_TRUE(runMainLoopUntil([&] { return older != nullptr; }));
  EXPECT_EQ(imageURL(view)->absoluteString()->utf8(), server.url("/png/3x2"));
}

}  // namespace
