#pragma once
// The status bar's network activity indicator driven by the HTTP layer's notifications: request
// operations that start and URL-session tasks that resume count up; operations that finish and
// tasks that suspend or complete count down (never below zero). While enabled, the indicator
// shows at once when the count rises above zero and hides 0.17 s after it last fell to zero,
// so that back-to-back requests do not make it flicker.
//
// The count may change on any thread (under the manager's lock); the indicator is set on the
// main queue. Key-value observers of "networkActivityIndicatorVisible" hear every change of
// "activityCount".

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/NSKeyValueCoding.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSTimer.h"

class NWNetworkActivityIndicatorManager : public NSObject {
 public:
  // The seconds the indicator stays shown after the last activity ended.
  static constexpr NSTimeInterval kInvisibilityDelay = 0.17;

  static std::shared_ptr<NWNetworkActivityIndicatorManager> sharedManager();

  bool isEnabled() const;
  void setEnabled(bool enabled);

  NSInteger activityCount() const;
  // A negative count is taken as zero.
  void setActivityCount(NSInteger count);
  void incrementActivityCount();
  void decrementActivityCount();
  bool isNetworkActivityIndicatorVisible() const { return activityCount() > 0; }

  static const zvt::KVCClass* classTable();
  const zvt::KVCClass* kvcClass() const override { return classTable(); }

  NWNetworkActivityIndicatorManager() = default;
  // Registers for the HTTP layer's notifications (sharedManager does it once).
  void observeNotifications();

 private:
  static std::vector<std::string> keyPathsForValuesAffectingValueForKey(const std::string& key);
  void changeCount(NSInteger delta, bool absolute);
  void updateVisibilityDelayed();
  void updateVisibility();

  mutable std::mutex mutex_;
  bool enabled_ = false;
  NSInteger activityCount_ = 0;
  std::shared_ptr<NSTimer> activityIndicatorVisibilityTimer_;  // main thread only
};
