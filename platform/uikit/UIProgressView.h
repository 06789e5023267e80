#pragma once
// Progress views (UIProgressView): a 2-point bar filled from the left in proportion to progress
// (0 to 1). Animated changes fill over 0.25 s on the run loop's clock.

#include <memory>

#include "platform/graphics/UIImage.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UIView.h"

enum UIProgressViewStyle : NSInteger {
  UIProgressViewStyleDefault,
  UIProgressViewStyleBar,
};

class UIProgressView : public UIView {
 public:
  static constexpr CGFloat kHeight = 2;

  static std::shared_ptr<UIProgressView> initWithProgressViewStyle(UIProgressViewStyle style);
  static std::shared_ptr<UIProgressView> initWithFrame(CGRect frame) { return makeView<UIProgressView>(frame); }
  void setUpWithFrame(CGRect frame) override;
  void setUpWithCoder(CGRect frame) override;

  UIProgressViewStyle progressViewStyle() const { return style_; }
  void setProgressViewStyle(UIProgressViewStyle style);
  // Kept within 0...1.
  float progress() const { return progress_; }
  void setProgress(float progress);
  void setProgress(float progress, bool animated);
  // Nil: the tint colour, and light grey (clear in the bar style).
  const std::shared_ptr<UIColor>& progressTintColor() const { return progressTintColor_; }
  void setProgressTintColor(const std::shared_ptr<UIColor>& color);
  const std::shared_ptr<UIColor>& trackTintColor() const { return trackTintColor_; }
  void setTrackTintColor(const std::shared_ptr<UIColor>& color);
  const std::shared_ptr<UIImage>& progressImage() const { return progressImage_; }
  void setProgressImage(const std::shared_ptr<UIImage>& image);
  const std::shared_ptr<UIImage>& trackImage() const { return trackImage_; }
  void setTrackImage(const std::shared_ptr<UIImage>& image);

  void layoutSubviews() override;
  CGSize sizeThatFits(CGSize size) const override;
  CGSize intrinsicContentSize() const override;
  void tintColorDidChange() override;

 private:
  void setUp();
  void updateLook();
  std::shared_ptr<UIImageView> track_, bar_;
  std::shared_ptr<UIColor> progressTintColor_, trackTintColor_;
  std::shared_ptr<UIImage> progressImage_, trackImage_;
  UIProgressViewStyle style_ = UIProgressViewStyleDefault;
  float progress_ = 0;
};
