#include "platform/uikit/UIDevice.h"

std::shared_ptr<UIDevice> UIDevice::currentDevice() {
  static const auto* shared = new std::shared_ptr<UIDevice>(std::make_shared<UIDevice>());
  return *shared;
}

std::shared_ptr<NSString> UIDevice::model() const {
  std::lock_guard lock(mutex_);
  return model_ ? model_ : "iPhone"_ns;
}

std::shared_ptr<NSString> UIDevice::systemName() const { return "iOS"_ns; }

std::shared_ptr<NSString> UIDevice::systemVersion() const {
  std::lock_guard lock(mutex_);
  return systemVersion_ ? systemVersion_ : "9.3"_ns;
}

void UIDevice::setModel(const std::shared_ptr<NSString>& model) {
  std::lock_guard lock(mutex_);
  model_ = model;
}

void UIDevice::setSystemVersion(const std::shared_ptr<NSString>& version) {
  std::lock_guard lock(mutex_);
  systemVersion_ = version;
}
