#pragma once
// The status bar as the phone draws it over the top 20 points of the screen: signal, carrier
// and Wi-Fi at the left, the time in the middle, the battery at the right, and the network
// activity spinner while the application shows it; dark glyphs for the default style, white
// ones for light content; nothing while the status bar is hidden. It is a layer tree of its own
// that the screen renderer draws above the windows (it belongs to no window and is not hit).

#include <memory>
#include <string>

#include "platform/foundation/Clock.h"
#include "platform/quartzcore/CALayer.h"
#include "platform/uikit/UIApplication.h"

namespace zvt::ui {

class StatusBarLayer : public CALayer {
 public:
  // Follows the application's status bar facts, the screen's width and scale, and the clock's
  // minute; redraws when one of them changed. Returns whether the bar is shown.
  bool update();
  void drawInContext(const CGContextRef& context) override;

  // "H:mm" of the local time at `now` (seconds since 1970).
  static std::string timeText(NSTimeInterval now);

 private:
  std::string key_;
  std::string time_;
  UIStatusBarStyle style_ = UIStatusBarStyleDefault;
  bool activity_ = false;
};

}  // namespace zvt::ui
