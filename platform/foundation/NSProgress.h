// Progress of a piece of work in units: a total (which may change as more becomes known) and
// the completed part, plus the means to pause and cancel the work from outside. The handlers
// are called on the thread that pauses, resumes or cancels, after the state has changed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/foundation/NSObject.h"

class NSProgress : public NSObject {
 public:
  NSProgress() = default;
  // progressWithTotalUnitCount: (without a parent: there is no implicit progress tree here).
  static std::shared_ptr<NSProgress> progressWithTotalUnitCount(int64_t unitCount);

  int64_t totalUnitCount() const;
  void setTotalUnitCount(int64_t count);
  int64_t completedUnitCount() const;
  void setCompletedUnitCount(int64_t count);
  // completed / total; 0 while the total is not positive (unknown or nothing to do).
  double fractionCompleted() const;
  // The total or the completed count is negative: the size of the work is not known.
  bool isIndeterminate() const;

  bool isCancellable() const;
  void setCancellable(bool cancellable);
  bool isPausable() const;
  void setPausable(bool pausable);
  bool isCancelled() const;
  bool isPaused() const;

  // Setting a handler on a progress that is already cancelled calls it at once, so that work
  // that hooks itself up late is still stopped.
  void setCancellationHandler(std::function<void()> handler);
  void setPausingHandler(std::function<void()> handler);
  void setResumingHandler(std::function<void()> handler);

  // Cancelling happens once; it also ends a pause. Pausing a paused or cancelled progress and
  // resuming one that is not paused do nothing.
  void cancel();
  void pause();
  void resume();

  std::shared_ptr<NSString> description() const override;

 private:
  mutable std::mutex mutex_;
  int64_t total_ = 0;
  int64_t completed_ = 0;
  bool cancellable_ = true;
  bool pausable_ = false;
  bool cancelled_ = false;
  bool paused_ = false;
  std::function<void()> cancellationHandler_;
  std::function<void()> pausingHandler_;
  std::function<void()> resumingHandler_;
};
