#pragma once
// The phone's screen as pixels: every shown window, back to front, and the status bar above
// them, drawn by the layer renderer into one surface of the main screen's size at its scale, as
// the windows look at the run loop's clock. Pixels no window covers are black.
//
// Headless, the screen is drawn when a picture is asked for. Once `setLive(true)`, it is also
// brought up to date at the end of every display pass (so a transition begins from what was
// last shown), and while layers animate a frame timer of the main run loop asks for a pass
// 60 times a second; a timer at the start of each minute wakes the loop so that the status
// bar's clock moves on an idle screen. Each frame's redrawn rectangles go to the frame sink (the
// desktop window copies them). Main thread only.

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
  // The layers the last frame drew (whole or in part).
  size_t lastDrawnLayerCount() const { return renderer_.lastDrawnLayerCount(); }
  // The next render draws everything (the window was exposed anew).
  void invalidate() { renderer_.invalidate(); }

  // The status bar's layer (for pictures of single windows).
  const std::shared_ptr<StatusBarLayer>& statusBar();

 private:
  ScreenRenderer() = default;
  void frameDue();

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
};

}  // namespace zvt::ui
