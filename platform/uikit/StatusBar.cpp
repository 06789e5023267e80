#include "platform/uikit/StatusBar.h"

#include <cmath>
#include <ctime>

#include "platform/foundation/Clock.h"
#include "platform/graphics/UIColor.h"
#include "platform/graphics/UIScreen.h"
#include "platform/text/NSStringDrawing.h"

namespace zvt::ui {

namespace {

constexpr CGFloat kHeight = 20;

std::shared_ptr<NSDictionary> attributes(const std::shared_ptr<UIFont>& font, const std::shared_ptr<UIColor>& color) {
  return NSDictionary::make({{NSFontAttributeName, font}, {NSForegroundColorAttributeName, color}});
}

// Draws `text` with its vertical middle on the bar's and its left edge at x; answers its width.
CGFloat drawText(const std::string& text, CGFloat x, const std::shared_ptr<NSDictionary>& attrs) {
  auto string = NSString::stringWithUTF8String(text.c_str());
  CGSize size = sizeWithAttributes(string, attrs);
  drawAtPoint(string, CGPointMake(x, std::round((kHeight - size.height) / 2 * 2) / 2), attrs);
  return size.width;
}

}  // namespace

std::string StatusBarLayer::timeText(NSTimeInterval now) {
  time_t seconds = static_cast<time_t>(std::floor(now));
  struct tm local {};
  localtime_r(&seconds, &local);
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%d:%02d", local.tm_hour, local.tm_min);
  return buffer;
}

bool StatusBarLayer::update() {
  auto app = UIApplication::sharedApplication();
  if (app->isStatusBarHidden()) return false;
  auto screen = UIScreen::mainScreen();
  const CGFloat width = screen->bounds().size.width, scale = screen->scale();
  time_ = timeText(Clock::now());
  style_ = app->statusBarStyle();
  activity_ = app->isNetworkActivityIndicatorVisible();
  std::string key = time_ + "|" + std::to_string(style_) + "|" + std::to_string(activity_) + "|" +
                    std::to_string(width) + "|" + std::to_string(scale);
  if (key == key_) return true;
  key_ = key;
  CATransaction::begin();
  CATransaction::setDisableActions(true);
  setFrame(CGRectMake(0, 0, width, kHeight));
  setContentsScale(scale);
  CATransaction::commit();
  setNeedsDisplay();
  displayIfNeeded();
  return true;
}

void StatusBarLayer::drawInContext(const CGContextRef& context) {
  const CGFloat width = bounds().size.width;
  auto ink = style_ == UIStatusBarStyleLightContent ? UIColor::whiteColor() : UIColor::blackColor();
  auto regular = attributes(UIFont::systemFontOfSize(12), ink);
  auto bold = attributes(UIFont::boldSystemFontOfSize(12), ink);
  CGContextSetFillColorWithColor(context, ink->CGColor());
  CGContextSetStrokeColorWithColor(context, ink->CGColor());

  // Signal: five dots.
  CGFloat x = 6;
  for (int i = 0; i < 5; ++i, x += 6.5) CGContextFillEllipseInRect(context, CGRectMake(x, 7.25, 5.5, 5.5));
  x += 3;
  x += drawText("中国移动", x, regular) + 5;
  // Wi-Fi: a fan of three arcs over a dot.
  const CGFloat cx = x + 7, cy = 14.5;
  CGContextSetLineWidth(context, 1.5);
  for (int i = 1; i <= 3; ++i) {
    CGContextAddArc(context, cx, cy, 2.8 * i, -M_PI * 3 / 4, -M_PI / 4, 0);
    CGContextStrokePath(context);
  }
  x += 18;
  if (activity_) {
    // The activity spinner: twelve spokes fading round.
    const CGFloat sx = x + 7, sy = kHeight / 2;
    CGContextSetLineWidth(context, 1.2);
    CGContextSetLineCap(context, kCGLineCapRound);
    for (int i = 0; i < 12; ++i) {
      const double a = i * M_PI / 6;
      CGContextSetAlpha(context, 0.25 + 0.75 * i / 11.0);
      CGContextMoveToPoint(context, sx + 3 * std::cos(a), sy + 3 * std::sin(a));
      CGContextAddLineToPoint(context, sx + 5.5 * std::cos(a), sy + 5.5 * std::sin(a));
      CGContextStrokePath(context);
    }
    CGContextSetAlpha(context, 1);
  }

  // The time, centred.
  auto time = NSString::stringWithUTF8String(time_.c_str());
  CGSize timeSize = sizeWithAttributes(time, bold);
  drawText(time_, std::round((width - timeSize.width) / 2), bold);

  // Battery: outline, nub and a full charge, with the percentage before it.
  const CGRect battery = CGRectMake(width - 6 - 25, 4.5, 22.5, 11);
  CGContextSetLineWidth(context, 1);
  CGContextStrokeRect(context, CGRectInset(battery, 0.5, 0.5));
  CGContextFillRect(context, CGRectMake(battery.origin.x + battery.size.width, 8, 1.5, 4));
  CGContextFillRect(context, CGRectInset(battery, 2, 2));
  auto percent = NSString::stringWithUTF8String("100%");
  CGSize percentSize = sizeWithAttributes(percent, regular);
  drawText("100%", battery.origin.x - 3 - percentSize.width, regular);
}

}  // namespace zvt::ui
