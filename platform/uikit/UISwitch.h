#pragma once
// Switches (UISwitch): an on/off control of the device's fixed size (51 x 31 points). A tap
// flips it and sends UIControlEventValueChanged; setOn from code sends nothing. The device
// finds it by its accessibility label (a switch shows no text).

#include <memory>

#include "platform/uikit/UIControl.h"

class UISwitch : public UIControl {
 public:
  static constexpr CGFloat kWidth = 51;
  static constexpr CGFloat kHeight = 31;

  // The frame's origin is kept; the size is always the switch's own.
  static std::shared_ptr<UISwitch> initWithFrame(CGRect frame) { return makeView<UISwitch>(frame); }
  static std::shared_ptr<UISwitch> make() { return makeView<UISwitch>(CGRectZero); }
  void setUpWithFrame(CGRect frame) override;
  void setUpWithCoder(CGRect frame) override;

  bool isOn() const { return on_; }
  void setOn(bool on);
  void setOn(bool on, bool animated);
  // Nil: the device's green (and light grey track, white thumb).
  const std::shared_ptr<UIColor>& onTintColor() const { return onTintColor_; }
  void setOnTintColor(const std::shared_ptr<UIColor>& color);
  const std::shared_ptr<UIColor>& thumbTintColor() const { return thumbTintColor_; }
  void setThumbTintColor(const std::shared_ptr<UIColor>& color);

  void setFrame(CGRect frame) override;
  CGSize sizeThatFits(CGSize size) const override;
  CGSize intrinsicContentSize() const override;
  void drawRect(CGRect rect) override;

 protected:
  bool takesTapsBeforeRecognizers() const override { return true; }
  void endTrackingWithTouch(const std::shared_ptr<UITouch>& touch, const std::shared_ptr<UIEvent>& event) override;

 private:
  std::shared_ptr<UIColor> onTintColor_;
  std::shared_ptr<UIColor> thumbTintColor_;
  bool on_ = false;
};
