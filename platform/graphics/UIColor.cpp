#include "platform/graphics/UIColor.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/NSString.h"
#include "platform/graphics/UIImage.h"

namespace {

std::shared_ptr<UIColor> white(CGFloat w, CGFloat a) {
  return std::make_shared<UIColor>(CGColorCreateGenericGray(w, a));
}
std::shared_ptr<UIColor> rgb(CGFloat r, CGFloat g, CGFloat b, CGFloat a = 1) {
  return std::make_shared<UIColor>(CGColorCreateGenericRGB(r, g, b, a));
}

}  // namespace

UIColor::UIColor(CGColorRef color, std::shared_ptr<UIImage> pattern)
    : color_(std::move(color)), pattern_(std::move(pattern)) {
  if (!color_) color_ = CGColorCreateGenericGray(0, 1);
}

std::shared_ptr<UIColor> UIColor::colorWithRed(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha) {
  return rgb(red, green, blue, alpha);
}
std::shared_ptr<UIColor> UIColor::colorWithWhite(CGFloat w, CGFloat alpha) { return white(w, alpha); }

std::shared_ptr<UIColor> UIColor::colorWithHue(CGFloat hue, CGFloat saturation, CGFloat brightness, CGFloat alpha) {
  double h = std::clamp(hue, 0.0, 1.0) * 6.0, s = std::clamp(saturation, 0.0, 1.0), v = std::clamp(brightness, 0.0, 1.0);
  int i = static_cast<int>(std::floor(h)) % 6;
  double f = h - std::floor(h), p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
  double r = v, g = t, b = p;
  switch (i) {
    case 0: r = v, g = t, b = p; break;
    case 1: r = q, g = v, b = p; break;
    case 2: r = p, g = v, b = t; break;
    case 3: r = p, g = q, b = v; break;
    case 4: r = t, g = p, b = v; break;
    default: r = v, g = p, b = q; break;
  }
  return rgb(r, g, b, alpha);
}

std::shared_ptr<UIColor> UIColor::colorWithPatternImage(const std::shared_ptr<UIImage>& image) {
  if (!image) return nullptr;
  CGFloat c[2] = {0, 1};
  auto color = std::make_shared<::CGColor>(CGColorSpaceCreateDeviceGray(), std::vector<CGFloat>(c, c + 2), image->CGImage(),
                                               image->scale());
  return std::make_shared<UIColor>(color, image);
}

std::shared_ptr<UIColor> UIColor::colorWithCGColor(const CGColorRef& color) {
  if (!color) return nullptr;
  return std::make_shared<UIColor>(color);
}

#define ZVT_SYSTEM_COLOR(name, expr)                 \
  std::shared_ptr<UIColor> UIColor::name() {         \
    static const std::shared_ptr<UIColor> c = expr;  \
    return c;                                        \
  }
ZVT_SYSTEM_COLOR(blackColor, white(0, 1))
ZVT_SYSTEM_COLOR(darkGrayColor, white(1.0 / 3.0, 1))
ZVT_SYSTEM_COLOR(lightGrayColor, white(2.0 / 3.0, 1))
ZVT_SYSTEM_COLOR(whiteColor, white(1, 1))
ZVT_SYSTEM_COLOR(grayColor, white(0.5, 1))
ZVT_SYSTEM_COLOR(redColor, rgb(1, 0, 0))
ZVT_SYSTEM_COLOR(greenColor, rgb(0, 1, 0))
ZVT_SYSTEM_COLOR(blueColor, rgb(0, 0, 1))
ZVT_SYSTEM_COLOR(cyanColor, rgb(0, 1, 1))
ZVT_SYSTEM_COLOR(yellowColor, rgb(1, 1, 0))
ZVT_SYSTEM_COLOR(magentaColor, rgb(1, 0, 1))
ZVT_SYSTEM_COLOR(orangeColor, rgb(1, 0.5, 0))
ZVT_SYSTEM_COLOR(purpleColor, rgb(0.5, 0, 0.5))
ZVT_SYSTEM_COLOR(brownColor, rgb(0.6, 0.4, 0.2))
ZVT_SYSTEM_COLOR(clearColor, white(0, 0))
ZVT_SYSTEM_COLOR(groupTableViewBackgroundColor, rgb(239.0 / 255, 239.0 / 255, 244.0 / 255))
ZVT_SYSTEM_COLOR(lightTextColor, white(1, 0.6))
ZVT_SYSTEM_COLOR(darkTextColor, white(0, 1))
#undef ZVT_SYSTEM_COLOR

std::shared_ptr<UIColor> UIColor::colorWithAlphaComponent(CGFloat alpha) const {
  return std::make_shared<UIColor>(CGColorCreateCopyWithAlpha(color_, alpha), pattern_);
}

bool UIColor::getRed(CGFloat* red, CGFloat* green, CGFloat* blue, CGFloat* alpha) const {
  if (pattern_) return false;
  CGFloat c[4];
  color_->getRGBA(c);
  if (red) *red = c[0];
  if (green) *green = c[1];
  if (blue) *blue = c[2];
  if (alpha) *alpha = c[3];
  return true;
}

bool UIColor::getWhite(CGFloat* w, CGFloat* alpha) const {
  if (pattern_ || !color_->colorSpace() || color_->colorSpace()->model() != kCGColorSpaceModelMonochrome) {
    return false;
  }
  if (w) *w = color_->components()[0];
  if (alpha) *alpha = color_->alpha();
  return true;
}

bool UIColor::getHue(CGFloat* hue, CGFloat* saturation, CGFloat* brightness, CGFloat* alpha) const {
  CGFloat r, g, b, a;
  if (!getRed(&r, &g, &b, &a)) return false;
  double mx = std::max({r, g, b}), mn = std::min({r, g, b}), d = mx - mn, h = 0;
  if (d > 0) {
    if (mx == r) h = std::fmod((g - b) / d, 6.0);
    else if (mx == g) h = (b - r) / d + 2;
    else h = (r - g) / d + 4;
    h /= 6;
    if (h < 0) h += 1;
  }
  if (hue) *hue = h;
  if (saturation) *saturation = mx > 0 ? d / mx : 0;
  if (brightness) *brightness = mx;
  if (alpha) *alpha = a;
  return true;
}

bool UIColor::isEqual(const id& other) const {
  auto o = std::dynamic_pointer_cast<UIColor>(other);
  if (!o) return false;
  if (o.get() == this) return true;
  if (pattern_ || o->pattern_) return pattern_ == o->pattern_;
  return color_->isEqual(o->color_);
}

NSUInteger UIColor::hash() const { return color_->hash(); }

std::shared_ptr<NSString> UIColor::description() const {
  if (pattern_) return NSString::stringWithUTF8String("UIPatternColor");
  std::string text;
  bool gray = color_->colorSpace() && color_->colorSpace()->model() == kCGColorSpaceModelMonochrome;
  text = gray ? "UIDeviceWhiteColorSpace" : "UIDeviceRGBColorSpace";
  for (CGFloat v : color_->components()) text += " " + zvt::shortestNumberText(v);
  return NSString::stringWithUTF8String(text);
}

void UIColor::setFill() const { CGContextSetFillColorWithColor(UIGraphicsGetCurrentContext(), color_); }
void UIColor::setStroke() const { CGContextSetStrokeColorWithColor(UIGraphicsGetCurrentContext(), color_); }
void UIColor::set() const {
  setFill();
  setStroke();
}
