#include "platform/uikit/UILocalNotification.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSTimer.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIKitMainThread.h"

bool UILocalNotification::isEqual(const id& other) const {
  if (other.get() == this) return true;
  auto n = std::dynamic_pointer_cast<UILocalNotification>(other);
  return n && scheduledIdentifier_ != 0 && n->scheduledIdentifier_ == scheduledIdentifier_;
}

NSUInteger UILocalNotification::hash() const {
  return scheduledIdentifier_ != 0 ? NSUInteger(scheduledIdentifier_) : NSObject::hash();
}

id UILocalNotification::copyWithZone() const { return std::make_shared<UILocalNotification>(*this); }

namespace {

// Roughly how long a repeat unit lasts, to start the search for the next repeat near now
// instead of counting every repeat since a fire date years ago.
double approximateSeconds(NSCalendarUnit unit) {
  switch (unit) {
    case NSCalendarUnitYear: return 365.2425 * 86400;
    case NSCalendarUnitMonth: return 30.436875 * 86400;
    case NSCalendarUnitDay:
    case NSCalendarUnitWeekday: return 86400;
    case NSCalendarUnitHour: return 3600;
    case NSCalendarUnitMinute: return 60;
    case NSCalendarUnitSecond: return 1;
    default: return 0;
  }
}

// The first repeat of `notification` after `now` (wall-clock seconds), counted from its fire
// date in its zone's calendar; nil when it does not repeat.
std::shared_ptr<NSDate> nextRepeat(const UILocalNotification& notification, NSTimeInterval now) {
  auto fire = notification.fireDate();
  double unitLength = approximateSeconds(notification.repeatInterval());
  if (!fire || unitLength <= 0) return nullptr;
  auto calendar = NSCalendar::currentCalendar();
  calendar->setTimeZone(notification.timeZone() ? notification.timeZone() : NSTimeZone::timeZoneForSecondsFromGMT(0));
  double behind = now - fire->timeIntervalSince1970();
  // Units vary in length (months, daylight-saving days): start a little before the estimate.
  NSInteger count = std::max<NSInteger>(1, NSInteger(std::floor(behind / unitLength)) - 2);
  for (int guard = 0; guard < 16; ++guard, ++count) {
    auto next = calendar->dateByAddingUnit(notification.repeatInterval(), count, fire, 0);
    if (!next) return nullptr;
    if (next->timeIntervalSince1970() > now) return next;
  }
  return nullptr;
}

// A notification is due once the wall clock has reached its moment, give or take the
// rounding of a timer set from the difference.
constexpr NSTimeInterval kDueTolerance = 1e-3;

}  // namespace

void UIApplication::scheduleLocalNotification(const std::shared_ptr<UILocalNotification>& notification) {
  zvt::ui::assertMainThread("UIApplication::scheduleLocalNotification");
  if (!notification) return;
  NSTimeInterval now = Clock::now();
  if (notification->scheduledIdentifier() == 0) notification->setScheduledIdentifier(nextNotificationIdentifier_++);
  // Scheduling the same notification again replaces the earlier scheduling.
  std::erase_if(scheduledNotifications_, [&](const ScheduledNotification& s) {
    return s.notification->scheduledIdentifier() == notification->scheduledIdentifier();
  });
  auto copy = std::static_pointer_cast<UILocalNotification>(notification->copy());
  NSTimeInterval due = now;
  if (auto fire = copy->fireDate()) due = std::max(now, fire->timeIntervalSince1970());
  auto at = std::upper_bound(scheduledNotifications_.begin(), scheduledNotifications_.end(), due,
                             [](NSTimeInterval d, const ScheduledNotification& s) { return d < s.due; });
  scheduledNotifications_.insert(at, ScheduledNotification{copy, due});
  rescheduleNotificationTimer();
}

std::vector<std::shared_ptr<UILocalNotification>> UIApplication::scheduledLocalNotifications() const {
  zvt::ui::assertMainThread("UIApplication::scheduledLocalNotifications");
  std::vector<std::shared_ptr<UILocalNotification>> out;
  for (const auto& s : scheduledNotifications_)
    out.push_back(std::static_pointer_cast<UILocalNotification>(s.notification->copy()));
  return out;
}

void UIApplication::cancelLocalNotification(const std::shared_ptr<UILocalNotification>& notification) {
  zvt::ui::assertMainThread("UIApplication::cancelLocalNotification");
  if (!notification || notification->scheduledIdentifier() == 0) return;
  std::erase_if(scheduledNotifications_, [&](const ScheduledNotification& s) {
    return s.notification->scheduledIdentifier() == notification->scheduledIdentifier();
  });
  rescheduleNotificationTimer();
}

void UIApplication::cancelAllLocalNotifications() {
  zvt::ui::assertMainThread("UIApplication::cancelAllLocalNotifications");
  scheduledNotifications_.clear();
  rescheduleNotificationTimer();
}

void UIApplication::rescheduleNotificationTimer() {
  if (notificationTimer_) notificationTimer_->invalidate();
  notificationTimer_.reset();
  if (scheduledNotifications_.empty()) return;
  NSTimeInterval wait = std::max(0.0, scheduledNotifications_.front().due - Clock::now());
  std::weak_ptr<UIApplication> weak = std::static_pointer_cast<UIApplication>(self());
  notificationTimer_ = NSTimer::timerWithTimeInterval(wait, false, [weak](const std::shared_ptr<NSTimer>&) {
    if (auto app = weak.lock()) app->deliverDueNotifications();
  });
  NSRunLoop::mainRunLoop()->addTimer(notificationTimer_, NSRunLoopCommonModes);
}

void UIApplication::deliverDueNotifications() {
  NSTimeInterval now = Clock::now();
  std::vector<std::shared_ptr<UILocalNotification>> due;
  std::vector<ScheduledNotification> repeats;
  while (!scheduledNotifications_.empty() && scheduledNotifications_.front().due <= now + kDueTolerance) {
    auto s = std::move(scheduledNotifications_.front());
    scheduledNotifications_.erase(scheduledNotifications_.begin());
    due.push_back(s.notification);
    if (auto next = nextRepeat(*s.notification, now)) repeats.push_back({s.notification, next->timeIntervalSince1970()});
  }
  for (auto& r : repeats) {
    auto at = std::upper_bound(scheduledNotifications_.begin(), scheduledNotifications_.end(), r.due,
                               [](NSTimeInterval d, const ScheduledNotification& s) { return d < s.due; });
    scheduledNotifications_.insert(at, std::move(r));
  }
  // A wall clock set back leaves the soonest one pending: the timer is set again for it.
  rescheduleNotificationTimer();
  // The delegate gets copies: what it changes or schedules does not touch the pending ones.
  for (const auto& n : due) receiveLocalNotification(std::static_pointer_cast<UILocalNotification>(n->copy()));
}

void UIApplication::receiveLocalNotification(const std::shared_ptr<UILocalNotification>& notification) {
  zvt::ui::assertMainThread("UIApplication::receiveLocalNotification");
  if (!notification) return;
  if (state_ == UIApplicationStateActive) {
    if (delegate_)
      delegate_->applicationDidReceiveLocalNotification(std::static_pointer_cast<UIApplication>(self()), notification);
  } else if (notification->applicationIconBadgeNumber() != 0) {
    badgeNumber_ = notification->applicationIconBadgeNumber();
  }
}
