#pragma once
// Activity indicators (UIActivityIndicatorView): twelve spokes turning once a second, as a
// rotation animation on the layer (run loop's clock) while animating. Stopped, the view hides
// itself when hidesWhenStopped (the default). Sizes: 37 points for the large white style, 20
// for the others.

#include <memory>

#include "platform/uikit/UIView.h"

enum UIActivityIndicatorViewStyle : NSInteger {
  UIActivityIndicatorViewStyleWhiteLarge,
  UIActivityIndicatorViewStyleWhite,
  UIActivityIndicatorViewStyleGray,
};

class UIActivityIndicatorView : public UIView {
 public:
  // A stopped indicator of the style's size at the origin.
  static std::shared_ptr<UIActivityIndicatorView> initWithActivityIndicatorStyle(UIActivityIndicatorViewStyle style);
  // The white style.
  static std::shared_ptr<UIActivityIndicatorView> initWithFrame(CGRect frame) {
    return makeView<UIActivityIndicatorView>(frame);
  }
  void setUpWithFrame(CGRect frame) override;
  void setUpWithCoder(CGRect frame) override;

  UIActivityIndicatorViewStyle activityIndicatorViewStyle() const { return style_; }
  void setActivityIndicatorViewStyle(UIActivityIndicatorViewStyle style);
  // Nil: the style's colour.
  const std::shared_ptr<UIColor>& color() const { return color_; }
  void setColor(const std::shared_ptr<UIColor>& color);
  bool hidesWhenStopped() const { return hidesWhenStopped_; }
  void setHidesWhenStopped(bool hides);
  void startAnimating();
  void stopAnimating();
  bool isAnimating() const { return animating_; }

  CGSize sizeThatFits(CGSize size) const override;
  CGSize intrinsicContentSize() const override;
  void drawRect(CGRect rect) override;
  void didMoveToWindow() override;

 private:
  void addSpin();
  UIActivityIndicatorViewStyle style_ = UIActivityIndicatorViewStyleWhite;
  std::shared_ptr<UIColor> color_;
  bool hidesWhenStopped_ = true;
  bool animating_ = false;
};
