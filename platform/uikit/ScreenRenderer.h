#pragma once
// The phone's screen as pixels: every shown window, back to front, with the status bar above
// the windows below its level (alerts cover it), drawn by the layer renderer into one surface
// of the main screen's size at its scale, as the windows look at the run loop's clock. Pixels
// no window covers are black.
//
// Headless, the screen is drawn when a picture is asked for. Once `setLive(true)`, it is also
// brought up to date at the end of every display pass that follows a change (so a transition
// begins from what was last shown): a layer's change observer marks the screen changed, as do
// a pass that laid out or drew, animations, the windows shown and the screen's size. A turn of
// the run loop that changed none of these costs nothing proportional to the layer tree. While
// layers animate a frame timer of the main run loop asks for a pass 60 times a second; a timer at the start of each minute wakes the loop so that the status
// bar's clock moves on an idle screen. Each frame's redrawn rectangles go to the frame sink (the
// desktop window copies them). Main thread only.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/graphics/CGImage.h"
#include "platform/graphics/UIImage.h"
#include "platform/quartzcore/LayerRenderer.h"

typedef struct _cairo_surface cairo_surface_t;

class NSTimer;

namespace zvt::ui {

class StatusBarLayer;

// The pixels of an ARGB32 surface (premultiplied, host order) as an image at a scale: a copy,
// so that the surface may be drawn on afterwards.
std::shared_ptr<UIImage> imageOfSurface(cairo_surface_t* surface, CGFloat scale);

class ScreenRenderer {
 public:
  static ScreenRenderer& shared();

  // Brings the pixels up to date; returns the device-pixel rectangles redrawn.
  std::vector<zvt::ca::PixelRect> render();
  // The pixels as last rendered (ARGB32, premultiplied; null before the first render).
  cairo_surface_t* surface() const { return surface_; }
  CGFloat scale() const { return scale_; }
  // The screen now as an image at the screen's scale.
  std::shared_ptr<UIImage> image();

  using FrameSink = std::function<void(const std::vector<zvt::ca::PixelRect>& redrawn)>;
  void setLive(bool live);
  bool isLive() const { return live_; }
  void setFrameSink(FrameSink sink) { sink_ = std::move(sink); }
  // Frames drawn so far (each render that redrew something).
  uint64_t frameCount() const { return frames_; }
  // Live frames left out because nothing had changed since the last one.
  uint64_t unchangedFrameCount() const { return unchanged_; }
  // The layers the last frame drew (whole or in part).
  size_t lastDrawnLayerCount() const { return renderer_.lastDrawnLayerCount(); }
  // The next render draws everything (the window was exposed anew).
  void invalidate() {
    renderer_.invalidate();
    changed_ = true;
  }

  // The status bar's layer (for pictures of single windows).
  const std::shared_ptr<StatusBarLayer>& statusBar();

 private:
  ScreenRenderer() = default;
  void frameDue();
  // The windows shown and the status bar, back to front.
  std::vector<zvt::ca::LayerRenderer::Root> rootsInOrder(bool statusBarShown);
  // The windows shown, the status bar and the screen's size are those the last frame drew.
  bool sameScreen(bool statusBarShown);

  zvt::ca::LayerRenderer renderer_;
  cairo_surface_t* surface_ = nullptr;
  CGFloat scale_ = 0;
  int width_ = 0, height_ = 0;
  std::shared_ptr<StatusBarLayer> statusBar_;
  bool live_ = false;
  bool hooked_ = false;
  FrameSink sink_;
  std::shared_ptr<NSTimer> frameTimer_;
  std::shared_ptr<NSTimer> minuteTimer_;
  uint64_t frames_ = 0;
  // Whether anything may look different since the last live frame, and what it was drawn from.
  std::atomic<bool> changed_{true};  // the change observer may hear of layers off the main thread
  uint64_t passesSeen_ = 0;
  std::vector<const void*> rootsSeen_;
  uint64_t unchanged_ = 0;
};

}  // namespace zvt::ui
