#pragma once
// The home header's paging picture carousel: one page per entry, endless both ways (a copy of
// the last entry in front and of the first behind), advancing by itself every 3 s, stopping
// while dragged, reporting taps and the page in view to its delegate.
//
// Entries are dictionaries: "pic" (a URL text, or a UIImage when "isLoc" is YES), "isLoc",
// "placeholderImage" (shown while "pic" loads), "info" (what the delegate routes).

#include <memory>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSTimer.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIScrollView.h"

class OrvakAdRollDelegate {
 public:
  virtual ~OrvakAdRollDelegate() = default;
  virtual void didClick(const std::shared_ptr<NSDictionary>& /*entry*/) {}
  // The real page in view (from 0) and the number of real pages.
  virtual void currentPage(int /*page*/, int /*total*/) {}
};

class OrvakAdRoll : public UIScrollView, public UIScrollViewDelegate {
 public:
  ~OrvakAdRoll() override;
  void setUpWithFrame(CGRect frame) override;
  void drawRect(CGRect rect) override;
  // Leaving the superview stops the timer: a carousel taken out of its header never scrolls on.
  void didMoveToSuperview() override;

  std::shared_ptr<NSArray> pics() const { return pics_; }
  void setPics(const std::shared_ptr<NSArray>& pics) { pics_ = pics; }
  std::shared_ptr<OrvakAdRollDelegate> OrvakAdDelegate() const { return delegate_.lock(); }
  void setOrvakAdDelegate(const std::shared_ptr<OrvakAdRollDelegate>& delegate) { delegate_ = delegate; }

  // Builds the pages of the entries set (at least one) and starts the timer for two or more.
  void upDate();
  void click(const std::shared_ptr<UIButton>& sender);
  void releaseTimer();
  void scrollTopic();

  void scrollViewDidScroll(const std::shared_ptr<UIScrollView>& scrollView) override;
  void scrollViewWillBeginDragging(const std::shared_ptr<UIScrollView>& scrollView) override;
  void scrollViewDidEndDragging(const std::shared_ptr<UIScrollView>& scrollView, bool decelerate) override;

  int currentPage() const { return currentPage_; }
  std::shared_ptr<NSTimer> scrollTimer() const { return scrollTimer_; }
  std::shared_ptr<UIButton> pic() const { return pic_; }

 private:
  void setSelf();
  // The repeating 3 s timer; it holds the carousel weakly and ends itself once it is gone.
  std::shared_ptr<NSTimer> makeTimer(bool scheduled);
  // The number of real entries (pages less the two copies).
  int realCount() const;

  std::shared_ptr<NSArray> pics_;
  std::weak_ptr<OrvakAdRollDelegate> delegate_;
  std::shared_ptr<UIButton> pic_;
  bool flag_ = false;
  int scrollTopicFlag_ = 0;
  int currentPage_ = 0;
  std::shared_ptr<NSTimer> scrollTimer_;
};
