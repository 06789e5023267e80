// The shared application, as far as libraries use it: background-task identifiers. There is no
// suspension on this platform, so a task is only bookkeeping: begin hands out an identifier and
// keeps the expiration handler, end forgets it. `expireBackgroundTasks` runs the handlers of the
// tasks still open, as the system does when background time runs out (tests use it).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"

using UIBackgroundTaskIdentifier = NSUInteger;
inline constexpr UIBackgroundTaskIdentifier UIBackgroundTaskInvalid = 0;

class UIApplication : public NSObject {
 public:
  static std::shared_ptr<UIApplication> sharedApplication();

  UIBackgroundTaskIdentifier beginBackgroundTaskWithExpirationHandler(std::function<void()> handler);
  UIBackgroundTaskIdentifier beginBackgroundTaskWithName(const std::shared_ptr<NSString>& name,
                                                         std::function<void()> handler);
  // Ending an unknown or already ended task does nothing.
  void endBackgroundTask(UIBackgroundTaskIdentifier identifier);

  // The number of tasks begun and not yet ended.
  size_t openBackgroundTaskCount() const;
  // Runs the expiration handlers of the open tasks (each once, outside the lock).
  void expireBackgroundTasks();

 private:
  mutable std::mutex mutex_;
  UIBackgroundTaskIdentifier next_ = 1;
  std::map<UIBackgroundTaskIdentifier, std::function<void()>> tasks_;
};
