#pragma once
// The overlay's drawn progress indicators: a pie or ring (PORoundProgressView, 37 x 37 points
// by default) and a rounded bar (POBarProgressView, 120 x 20). Every change of the progress or
// a colour redraws the view.

#include <memory>

#include "platform/graphics/UIColor.h"
#include "platform/uikit/UIView.h"

namespace zvt::hud {
// A view that shows a fraction: the overlay passes its progress to its indicator through this
// (where the original asked whether the indicator responds to -setProgress:).
class ProgressShowing {
 public:
  virtual ~ProgressShowing() = default;
  virtual void setProgress(float progress) = 0;
};
}  // namespace zvt::hud

class PORoundProgressView : public UIView, public zvt::hud::ProgressShowing {
 public:
  static std::shared_ptr<PORoundProgressView> make() { return makeView<PORoundProgressView>(CGRectMake(0, 0, 37, 37)); }
  static std::shared_ptr<PORoundProgressView> initWithFrame(CGRect frame) { return makeView<PORoundProgressView>(frame); }
  void setUpWithFrame(CGRect frame) override;

  float progress() const { return progress_; }
  void setProgress(float progress) override;
  const std::shared_ptr<UIColor>& progressTintColor() const { return progressTintColor_; }
  void setProgressTintColor(const std::shared_ptr<UIColor>& color);
  const std::shared_ptr<UIColor>& backgroundTintColor() const { return backgroundTintColor_; }
  void setBackgroundTintColor(const std::shared_ptr<UIColor>& color);
  bool isAnnular() const { return annular_; }
  void setAnnular(bool annular);

  void drawRect(CGRect rect) override;

 private:
  float progress_ = 0;
  std::shared_ptr<UIColor> progressTintColor_;
  std::shared_ptr<UIColor> backgroundTintColor_;
  bool annular_ = false;
};

class POBarProgressView : public UIView, public zvt::hud::ProgressShowing {
 public:
  static std::shared_ptr<POBarProgressView> make() { return makeView<POBarProgressView>(CGRectMake(0, 0, 120, 20)); }
  static std::shared_ptr<POBarProgressView> initWithFrame(CGRect frame) { return makeView<POBarProgressView>(frame); }
  void setUpWithFrame(CGRect frame) override;

  float progress() const { return progress_; }
  void setProgress(float progress) override;
  const std::shared_ptr<UIColor>& lineColor() const { return lineColor_; }
  void setLineColor(const std::shared_ptr<UIColor>& color);
  const std::shared_ptr<UIColor>& progressRemainingColor() const { return progressRemainingColor_; }
  void setProgressRemainingColor(const std::shared_ptr<UIColor>& color);
  const std::shared_ptr<UIColor>& progressColor() const { return progressColor_; }
  void setProgressColor(const std::shared_ptr<UIColor>& color);

  void drawRect(CGRect rect) override;

 private:
  float progress_ = 0;
  std::shared_ptr<UIColor> lineColor_;
  std::shared_ptr<UIColor> progressRemainingColor_;
  std::shared_ptr<UIColor> progressColor_;
};
