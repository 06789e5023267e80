// A notification the application schedules with the system for a moment on the wall clock
// (UIApplication::scheduleLocalNotification). The system keeps its own copy: changing the
// object afterwards changes nothing scheduled, and scheduledLocalNotifications answers copies
// that cancelLocalNotification recognises as the scheduled notification they stand for.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/foundation/NSCalendar.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSTimeZone.h"

inline const zvt::StaticString UILocalNotificationDefaultSoundName{"UILocalNotificationDefaultSoundName"};

class UILocalNotification : public NSObject {
 public:
  static std::shared_ptr<UILocalNotification> make() { return std::make_shared<UILocalNotification>(); }

  // nil or a past moment: delivered at once (on the next turn of the main run loop).
  std::shared_ptr<NSDate> fireDate() const { return fireDate_; }
  void setFireDate(const std::shared_ptr<NSDate>& date) { fireDate_ = date; }
  // The zone whose calendar repeats are counted in (days keep the wall clock across
  // daylight-saving shifts); nil counts them in GMT.
  std::shared_ptr<NSTimeZone> timeZone() const { return timeZone_; }
  void setTimeZone(const std::shared_ptr<NSTimeZone>& zone) { timeZone_ = zone; }
  // One calendar unit (NSCalendarUnitDay...); 0 does not repeat.
  NSCalendarUnit repeatInterval() const { return repeatInterval_; }
  void setRepeatInterval(NSCalendarUnit unit) { repeatInterval_ = unit; }
  std::shared_ptr<NSString> alertBody() const { return alertBody_; }
  void setAlertBody(const std::shared_ptr<NSString>& body) { alertBody_ = body; }
  std::shared_ptr<NSString> alertAction() const { return alertAction_; }
  void setAlertAction(const std::shared_ptr<NSString>& action) { alertAction_ = action; }
  std::shared_ptr<NSString> soundName() const { return soundName_; }
  void setSoundName(const std::shared_ptr<NSString>& name) { soundName_ = name; }
  // 0 leaves the badge as it is.
  NSInteger applicationIconBadgeNumber() const { return badgeNumber_; }
  void setApplicationIconBadgeNumber(NSInteger number) { badgeNumber_ = number; }
  std::shared_ptr<NSDictionary> userInfo() const { return userInfo_; }
  void setUserInfo(const std::shared_ptr<NSDictionary>& info) { userInfo_ = info; }

  // Equal when both stand for the same scheduled notification (copies included), else only
  // to itself.
  bool isEqual(const id& other) const override;
  NSUInteger hash() const override;
  id copyWithZone() const override;

  // For UIApplication: which scheduling this object stands for (0: none).
  uint64_t scheduledIdentifier() const { return scheduledIdentifier_; }
  void setScheduledIdentifier(uint64_t identifier) { scheduledIdentifier_ = identifier; }

 private:
  std::shared_ptr<NSDate> fireDate_;
  std::shared_ptr<NSTimeZone> timeZone_;
  NSCalendarUnit repeatInterval_ = 0;
  std::shared_ptr<NSString> alertBody_;
  std::shared_ptr<NSString> alertAction_;
  std::shared_ptr<NSString> soundName_;
  NSInteger badgeNumber_ = 0;
  std::shared_ptr<NSDictionary> userInfo_;
  uint64_t scheduledIdentifier_ = 0;
};
