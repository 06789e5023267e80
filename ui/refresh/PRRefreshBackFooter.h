#pragma once
// Back footers: hidden below the content, pulled up past their height and let go like a header
// turned upside down; while refreshing the bottom inset holds them in view. Offered beside the
// automatic footers (the application's lists use those).

#include "ui/refresh/PRRefreshFooter.h"

class PRRefreshBackFooter : public PRRefreshFooter {
 public:
  NSInteger lastRefreshCount() const { return lastRefreshCount_; }
  CGFloat lastBottomDelta() const { return lastBottomDelta_; }

  void willMoveToSuperview(const std::shared_ptr<UIView>& newSuperview) override;
  void scrollViewContentOffsetDidChange(CGPoint old, CGPoint now) override;
  void scrollViewContentSizeDidChange(CGSize old, CGSize now) override;
  void setState(NSInteger state) override;
  void endRefreshing() override;
  void endRefreshingWithNoMoreData() override;

 protected:
  // How far the content reaches below the visible area (negative when it is shorter).
  CGFloat heightForContentBreakView() const;
  // The offset at which the footer starts to show.
  CGFloat happenOffsetY() const;

 private:
  void placeBelowContent();
  NSInteger lastRefreshCount_ = 0;
  CGFloat lastBottomDelta_ = 0;
};

class PRRefreshBackStateFooter : public PRRefresh::WithStateTitles<PRRefreshBackFooter> {
 public:
  void prepare() override;
  void placeSubviews() override;
  void setState(NSInteger state) override;
};

class PRRefreshBackNormalFooter : public PRRefresh::WithLoadingView<PRRefreshBackStateFooter> {
 public:
  std::shared_ptr<UIImageView> arrowView() { return indicator_.arrowView(*this); }

  void prepare() override;
  void placeSubviews() override;
  void setState(NSInteger state) override;
};

class PRRefreshBackGifFooter : public PRRefresh::WithFrames<PRRefreshBackStateFooter> {
 public:
  void placeSubviews() override;
  void setState(NSInteger state) override;
  void setPullingPercent(CGFloat percent) override;
};
