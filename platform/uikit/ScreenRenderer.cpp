#include "platform/uikit/ScreenRenderer.h"

#include <cairo.h>

#include <cmath>
#include <cstring>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSTimer.h"
#include "platform/graphics/UIScreen.h"
#include "platform/uikit/DisplayCycle.h"
#include "platform/uikit/StatusBar.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIKitMainThread.h"
#include "platform/uikit/UIWindow.h"

namespace zvt::ui {

ScreenRenderer& ScreenRenderer::shared() {
  static auto* renderer = new ScreenRenderer();
  return *renderer;
}

const std::shared_ptr<StatusBarLayer>& ScreenRenderer::statusBar() {
  if (!statusBar_) statusBar_ = std::make_shared<StatusBarLayer>();
  return statusBar_;
}

std::vector<zvt::ca::PixelRect> ScreenRenderer::render() {
  assertMainThread("ScreenRenderer::render");
  auto screen = UIScreen::mainScreen();
  const CGFloat scale = screen->scale();
  const CGSize size = screen->bounds().size;
  const int width = static_cast<int>(std::ceil(size.width * scale - 1e-6));
  const int height = static_cast<int>(std::ceil(size.height * scale - 1e-6));
  if (width <= 0 || height <= 0) return {};
  if (!surface_ || width != width_ || height != height_ || scale != scale_) {
    if (surface_) cairo_surface_destroy(surface_);
    surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    width_ = width, height_ = height, scale_ = scale;
    renderer_.invalidate();
  }
  const auto roots = rootsInOrder(statusBar()->update());
  rootsSeen_.clear();
  for (const auto& root : roots) rootsSeen_.push_back(root.layer.get());
  passesSeen_ = displayPassCount();
  changed_ = false;
  static const CGColorRef black = CGColorCreateGenericRGB(0, 0, 0, 1);
  auto rects = renderer_.renderFrame(surface_, scale, roots, CACurrentMediaTime(), black);
  if (!rects.empty()) ++frames_;
  return rects;
}

std::vector<zvt::ca::LayerRenderer::Root> ScreenRenderer::rootsInOrder(bool statusBarShown) {
  // Back to front: the windows below the status bar's level, the bar, then the windows at its
  // level or above (alerts dim the bar too, as on a phone).
  std::vector<zvt::ca::LayerRenderer::Root> roots;
  bool barPlaced = !statusBarShown;
  for (const auto& window : UIApplication::sharedApplication()->windows()) {
    if (window->isHidden()) continue;
    if (!barPlaced && window->windowLevel() >= UIWindowLevelStatusBar) {
      roots.push_back({statusBar_, CGAffineTransformIdentity});
      barPlaced = true;
    }
    roots.push_back({window->layer(), CGAffineTransformIdentity});
  }
  if (!barPlaced) roots.push_back({statusBar_, CGAffineTransformIdentity});
  return roots;
}

bool ScreenRenderer::sameScreen(bool statusBarShown) {
  auto screen = UIScreen::mainScreen();
  const CGFloat scale = screen->scale();
  const CGSize size = screen->bounds().size;
  if (scale != scale_ || static_cast<int>(std::ceil(size.width * scale - 1e-6)) != width_ ||
      static_cast<int>(std::ceil(size.height * scale - 1e-6)) != height_)
    return false;
  const auto roots = rootsInOrder(statusBarShown);
  if (roots.size() != rootsSeen_.size()) return false;
  for (size_t i = 0; i < roots.size(); ++i)
    if (roots[i].layer.get() != rootsSeen_[i]) return false;
  return true;
}

std::shared_ptr<UIImage> imageOfSurface(cairo_surface_t* surface, CGFloat scale) {
  cairo_surface_flush(surface);
  const int width = cairo_image_surface_get_width(surface), height = cairo_image_surface_get_height(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  auto bytes = NSData::dataWithBytes(cairo_image_surface_get_data(surface),
                                     static_cast<NSUInteger>(stride) * static_cast<NSUInteger>(height));
  auto bitmap = CGImageCreate(static_cast<size_t>(width), static_cast<size_t>(height), 8, 32,
                              static_cast<size_t>(stride), CGColorSpaceCreateDeviceRGB(),
                              kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little,
                              CGDataProviderCreateWithCFData(bytes), nullptr, false, kCGRenderingIntentDefault);
  return UIImage::imageWithCGImage(bitmap, scale, UIImageOrientationUp);
}

std::shared_ptr<UIImage> ScreenRenderer::image() {
  render();
  if (!surface_) return nullptr;
  return imageOfSurface(surface_, scale_);
}

void ScreenRenderer::setLive(bool live) {
  assertMainThread("ScreenRenderer::setLive");
  live_ = live;
  changed_ = true;  // the first live frame is drawn whatever happened before
  if (live_ && !hooked_) {
    hooked_ = true;
    // Every change of a layer's model, of the tree and of its animations marks the screen.
    CALayer::setChangeObserver([](CALayer&, zvt::ca::LayerKey) { ScreenRenderer::shared().changed_ = true; });
    installDisplayCycle();
    auto& hooks = displayCycleHooks();
    auto previous = hooks.didCommit;
    hooks.didCommit = [previous] {
      if (previous) previous();
      ScreenRenderer::shared().frameDue();
    };
  }
  if (!live_) {
    for (auto* timer : {&frameTimer_, &minuteTimer_})
      if (*timer) {
        (*timer)->invalidate();
        *timer = nullptr;
      }
  }
}

void ScreenRenderer::frameDue() {
  if (!live_) return;
  // Nothing marked since the last frame: no walk of the tree. The status bar's few layers are
  // brought up to date first (its clock, style, spinner), which marks the screen when they change.
  const bool statusBarShown = statusBar()->update();
  if (!changed_ && !renderer_.lastFrameAnimated() && passesSeen_ == displayPassCount() && sameScreen(statusBarShown)) {
    ++unchanged_;
    return;
  }
  auto rects = render();
  if (!rects.empty() && sink_) sink_(rects);
  // While something animates, the next frame comes at the display's rate even when nothing else
  // wakes the run loop.
  if (renderer_.lastFrameAnimated() && !frameTimer_) {
    frameTimer_ = NSTimer::timerWithTimeInterval(1.0 / 60, false, [](const std::shared_ptr<NSTimer>&) {
      ScreenRenderer::shared().frameTimer_ = nullptr;
    });
    NSRunLoop::mainRunLoop()->addTimer(frameTimer_, NSRunLoopCommonModes);
  }
  // The status bar's clock shows the minute: an idle screen is drawn again when it turns.
  if (!minuteTimer_ && !UIApplication::sharedApplication()->isStatusBarHidden()) {
    const double now = Clock::now();
    const double untilNextMinute = (std::floor(now / 60) + 1) * 60 - now + 0.001;
    minuteTimer_ = NSTimer::timerWithTimeInterval(untilNextMinute, false, [](const std::shared_ptr<NSTimer>&) {
      ScreenRenderer::shared().minuteTimer_ = nullptr;
    });
    NSRunLoop::mainRunLoop()->addTimer(minuteTimer_, NSRunLoopCommonModes);
  }
}

}  // namespace zvt::ui
