#include "platform/graphics/UIScreen.h"

std::shared_ptr<UIScreen> UIScreen::mainScreen() {
  static const auto screen = std::make_shared<UIScreen>();
  return screen;
}

CGFloat UIScreen::scale() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return scale_;
}

void UIScreen::setScale(CGFloat scale) {
  std::lock_guard<std::mutex> lock(mutex_);
  scale_ = scale;
}

CGRect UIScreen::bounds() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return bounds_;
}

void UIScreen::setBounds(CGRect bounds) {
  std::lock_guard<std::mutex> lock(mutex_);
  bounds_ = bounds;
}
