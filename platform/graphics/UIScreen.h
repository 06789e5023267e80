#pragma once
// The main screen, as far as images need it: its scale (pixels per point) and bounds. Both
// are device facts that tests and start-up set; the defaults are those of a 2x iPhone.

#include <memory>
#include <mutex>

#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSObject.h"

class UIScreen : public NSObject {
 public:
  UIScreen() = default;

  static std::shared_ptr<UIScreen> mainScreen();

  // 2.0 unless set.
  CGFloat scale() const;
  void setScale(CGFloat scale);
  // {{0, 0}, {375, 667}} unless set.
  CGRect bounds() const;
  void setBounds(CGRect bounds);

 private:
  mutable std::mutex mutex_;
  CGFloat scale_ = 2.0;
  CGRect bounds_ = CGRectMake(0, 0, 375, 667);
};
