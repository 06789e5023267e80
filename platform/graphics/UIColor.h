#pragma once
// UIKit colours: device RGB or white with alpha, the named system colours with the values the
// device gives them, and pattern colours over an image. Immutable. Lives beside the drawing
// code (not in platform/uikit) so that images and drawing need no UIKit.

#include <memory>

#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGColor.h"

class UIImage;

class UIColor : public NSObject {
 public:
  // Components are clamped to 0...1.
  static std::shared_ptr<UIColor> colorWithRed(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha);
  static std::shared_ptr<UIColor> colorWithWhite(CGFloat white, CGFloat alpha);
  static std::shared_ptr<UIColor> colorWithHue(CGFloat hue, CGFloat saturation, CGFloat brightness, CGFloat alpha);
  // nil for a nil image.
  static std::shared_ptr<UIColor> colorWithPatternImage(const std::shared_ptr<UIImage>& image);
  // nil for a nil colour.
  static std::shared_ptr<UIColor> colorWithCGColor(const CGColorRef& color);
  static std::shared_ptr<UIColor> initWithRed(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha) {
    return colorWithRed(red, green, blue, alpha);
  }
  static std::shared_ptr<UIColor> initWithWhite(CGFloat white, CGFloat alpha) { return colorWithWhite(white, alpha); }

  // The system colours (one shared object each).
  static std::shared_ptr<UIColor> blackColor();          // white 0
  static std::shared_ptr<UIColor> darkGrayColor();       // white 1/3
  static std::shared_ptr<UIColor> lightGrayColor();      // white 2/3
  static std::shared_ptr<UIColor> whiteColor();          // white 1
  static std::shared_ptr<UIColor> grayColor();           // white 0.5
  static std::shared_ptr<UIColor> redColor();            // 1, 0, 0
  static std::shared_ptr<UIColor> greenColor();          // 0, 1, 0
  static std::shared_ptr<UIColor> blueColor();           // 0, 0, 1
  static std::shared_ptr<UIColor> cyanColor();           // 0, 1, 1
  static std::shared_ptr<UIColor> yellowColor();         // 1, 1, 0
  static std::shared_ptr<UIColor> magentaColor();        // 1, 0, 1
  static std::shared_ptr<UIColor> orangeColor();         // 1, 0.5, 0
  static std::shared_ptr<UIColor> purpleColor();         // 0.5, 0, 0.5
  static std::shared_ptr<UIColor> brownColor();          // 0.6, 0.4, 0.2
  static std::shared_ptr<UIColor> clearColor();          // white 0, alpha 0
  static std::shared_ptr<UIColor> groupTableViewBackgroundColor();  // 239, 239, 244
  static std::shared_ptr<UIColor> lightTextColor();      // white 1, alpha 0.6
  static std::shared_ptr<UIColor> darkTextColor();       // white 0

  std::shared_ptr<UIColor> colorWithAlphaComponent(CGFloat alpha) const;

  // The colour of the current context's filling, stroking or both (nothing without a context).
  void setFill() const;
  void setStroke() const;
  void set() const;

  // false for a pattern colour (out-parameters may be null).
  bool getRed(CGFloat* red, CGFloat* green, CGFloat* blue, CGFloat* alpha) const;
  // false unless the colour is a gray (white) colour.
  bool getWhite(CGFloat* white, CGFloat* alpha) const;
  bool getHue(CGFloat* hue, CGFloat* saturation, CGFloat* brightness, CGFloat* alpha) const;

  const CGColorRef& CGColor() const { return color_; }
  // The pattern colour's image, else nil.
  const std::shared_ptr<UIImage>& patternImage() const { return pattern_; }
  CGFloat alpha() const { return color_->alpha(); }

  // Equal colours: same space and components (white 1 is not RGB 1, 1, 1, as on the device).
  bool isEqual(const id& other) const override;
  NSUInteger hash() const override;
  // "UIDeviceRGBColorSpace 1 0.5 0 1", "UIDeviceWhiteColorSpace 0 1", "UIPatternColor".
  std::shared_ptr<NSString> description() const override;

  explicit UIColor(CGColorRef color, std::shared_ptr<UIImage> pattern = nullptr);

 private:
  CGColorRef color_;
  std::shared_ptr<UIImage> pattern_;
};
