#include "platform/uikit/UIApplication.h"

#include <vector>

std::shared_ptr<UIApplication> UIApplication::sharedApplication() {
  static const auto* shared = new std::shared_ptr<UIApplication>(std::make_shared<UIApplication>());
  return *shared;
}

UIBackgroundTaskIdentifier UIApplication::beginBackgroundTaskWithExpirationHandler(std::function<void()> handler) {
  std::lock_guard lock(mutex_);
  UIBackgroundTaskIdentifier identifier = next_++;
  tasks_.emplace(identifier, std::move(handler));
  return identifier;
}

UIBackgroundTaskIdentifier UIApplication::beginBackgroundTaskWithName(const std::shared_ptr<NSString>&,
                                                                      std::function<void()> handler) {
  return beginBackgroundTaskWithExpirationHandler(std::move(handler));
}

void UIApplication::endBackgroundTask(UIBackgroundTaskIdentifier identifier) {
  std::function<void()> dropped;
  std::lock_guard lock(mutex_);
  auto it = tasks_.find(identifier);
  if (it == tasks_.end()) return;
  dropped = std::move(it->second);
  tasks_.erase(it);
}

size_t UIApplication::openBackgroundTaskCount() const {
  std::lock_guard lock(mutex_);
  return tasks_.size();
}

void UIApplication::expireBackgroundTasks() {
  std::vector<std::function<void()>> handlers;
  {
    std::lock_guard lock(mutex_);
    for (auto& [identifier, handler] : tasks_) {
      if (handler) handlers.push_back(handler);
    }
  }
  for (auto& handler : handlers) handler();
}
