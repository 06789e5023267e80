#pragma once
// Footers: below the content, they load the next page. PRRefreshFooter hides itself while its
// table or collection view holds no rows; PRRefreshAutoFooter is part of the scrollable area
// and starts loading when the user scrolls near the end, lifts the finger at the end, or taps
// its text, and calls back 0.5 s after it began; PRRefreshAutoStateFooter shows the state's
// text, PRRefreshAutoNormalFooter a spinner beside it, PRRefreshAutoGifFooter frames; and the
// application's TZPRRefreshAutoNormalFooter and TZPRRefreshAutoGifFooter.

#include "platform/graphics/UIImage.h"
#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/UIImageView.h"
#include "ui/refresh/PRRefreshComponent.h"
#include "ui/refresh/internal/PRRefreshParts.h"

class PRRefreshFooter : public PRRefreshComponent {
 public:
  template <class F = PRRefreshFooter>
  static std::shared_ptr<F> footerWithRefreshingBlock(Block block) {
    auto footer = makeControl<F>();
    footer->setRefreshingBlock(std::move(block));
    return footer;
  }
  template <class F = PRRefreshFooter>
  static std::shared_ptr<F> footerWithRefreshingTarget(const id& target, const SEL& action) {
    auto footer = makeControl<F>();
    footer->setRefreshingTarget(target, action);
    return footer;
  }

  bool isAutomaticallyHidden() const { return automaticallyHidden_; }
  void setAutomaticallyHidden(bool hidden) { automaticallyHidden_ = hidden; }
  CGFloat ignoredScrollViewContentInsetBottom() const { return ignoredScrollViewContentInsetBottom_; }
  void setIgnoredScrollViewContentInsetBottom(CGFloat b) { ignoredScrollViewContentInsetBottom_ = b; }

  virtual void endRefreshingWithNoMoreData() { setState(PRRefreshStateNoMoreData); }
  void noticeNoMoreData() { endRefreshingWithNoMoreData(); }
  void resetNoMoreData() { setState(PRRefreshStateIdle); }

  void prepare() override;
  void willMoveToSuperview(const std::shared_ptr<UIView>& newSuperview) override;

 private:
  bool automaticallyHidden_ = true;
  CGFloat ignoredScrollViewContentInsetBottom_ = 0;
};

class PRRefreshAutoFooter : public PRRefreshFooter {
 public:
  bool isAutomaticallyRefresh() const { return automaticallyRefresh_; }
  void setAutomaticallyRefresh(bool refresh) { automaticallyRefresh_ = refresh; }
  CGFloat triggerAutomaticallyRefreshPercent() const { return triggerPercent_; }
  void setTriggerAutomaticallyRefreshPercent(CGFloat percent) { triggerPercent_ = percent; }
  CGFloat appearencePercentTriggerAutoRefresh() const { return triggerPercent_; }
  void setAppearencePercentTriggerAutoRefresh(CGFloat percent) { triggerPercent_ = percent; }

  void setHidden(bool hidden) override;
  void prepare() override;
  void willMoveToSuperview(const std::shared_ptr<UIView>& newSuperview) override;
  void scrollViewContentOffsetDidChange(CGPoint old, CGPoint now) override;
  void scrollViewContentSizeDidChange(CGSize old, CGSize now) override;
  void scrollViewPanStateDidChange(UIGestureRecognizerState old, UIGestureRecognizerState now) override;
  void setState(NSInteger state) override;

 private:
  bool automaticallyRefresh_ = true;
  CGFloat triggerPercent_ = 1.0;
};

class PRRefreshAutoStateFooter : public PRRefresh::WithStateTitles<PRRefreshAutoFooter> {
 public:
  bool isRefreshingTitleHidden() const { return refreshingTitleHidden_; }
  void setRefreshingTitleHidden(bool hidden) { refreshingTitleHidden_ = hidden; }
  // A tap on the text: loads when idle.
  void stateLabelClick();

  void prepare() override;
  void placeSubviews() override;
  void setState(NSInteger state) override;

 private:
  bool refreshingTitleHidden_ = false;
};

class PRRefreshAutoNormalFooter : public PRRefresh::WithLoadingView<PRRefreshAutoStateFooter> {
 public:
  void prepare() override;
  void placeSubviews() override;
  void setState(NSInteger state) override;
};

class PRRefreshAutoGifFooter : public PRRefresh::WithFrames<PRRefreshAutoStateFooter> {
 public:
  void placeSubviews() override;
  void setState(NSInteger state) override;
};

// The list screens' footer: the state text in the regular 14-point font.
class TZPRRefreshAutoNormalFooter : public PRRefreshAutoNormalFooter {
 public:
  void prepare() override;
};

class TZPRRefreshAutoGifFooter : public PRRefreshAutoGifFooter {
 public:
  void prepare() override { PRRefreshAutoGifFooter::prepare(); }
};
