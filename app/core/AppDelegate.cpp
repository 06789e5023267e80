#include "app/core/AppDelegate.h"

namespace {
std::shared_ptr<AppDelegate>& sharedDelegate() {
  static std::shared_ptr<AppDelegate> delegate;
  return delegate;
}
}  // namespace

std::shared_ptr<AppDelegate> AppDelegate::shared() {
  auto& delegate = sharedDelegate();
  if (!delegate) delegate = std::make_shared<AppDelegate>();
  return delegate;
}

void AppDelegate::setShared(const std::shared_ptr<AppDelegate>& delegate) { sharedDelegate() = delegate; }

void AppDelegate::setUserInfoDictionary(const std::shared_ptr<NSDictionary>& value) {
  userInfoDictionary_ = value ? value->mutableCopy() : nullptr;
}
