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

class PRRefreshBackStateFooter : public PRRefreshBackFooter {
 public:
  std::shared_ptr<UILabel> stateLabel() { return titles_.label(*this); }
  void setTitle(const std::shared_ptr<NSString>& title, NSInteger state) {
    titles_.setTitle(*this, title, state, this->state());
  }
  std::shared_ptr<NSString> titleForState(NSInteger state) const { return titles_.titleForState(state); }

  void prepare() override;
  void placeSubviews() override;
  void setState(NSInteger state) override;

 private:
  PRRefresh::StateTitles titles_;
};

class PRRefreshBackNormalFooter : public PRRefreshBackStateFooter {
 public:
  std::shared_ptr<UIImageView> arrowView() { return indicator_.arrowView(*this); }
  std::shared_ptr<UIActivityIndicatorView> loadingView() { return indicator_.loadingView(*this); }
  UIActivityIndicatorViewStyle activityIndicatorViewStyle() const { return indicator_.style(); }
  void setActivityIndicatorViewStyle(UIActivityIndicatorViewStyle style) { indicator_.setStyle(*this, style); }

  void prepare() override;
  void placeSubviews() override;
  void setState(NSInteger state) override;

 private:
  PRRefresh::Indicator indicator_;
};

class PRRefreshBackGifFooter : public PRRefreshBackStateFooter {
 public:
  std::shared_ptr<UIImageView> gifView() { return frames_.gifView(*this); }
  void setImages(const std::vector<std::shared_ptr<UIImage>>& images, NSTimeInterval duration, NSInteger state) {
    frames_.setImages(*this, images, duration, state);
  }
  void setImages(const std::vector<std::shared_ptr<UIImage>>& images, NSInteger state) {
    frames_.setImages(*this, images, state);
  }

  void placeSubviews() override;
  void setState(NSInteger state) override;
  void setPullingPercent(CGFloat percent) override;

 private:
  PRRefresh::Frames frames_;
};
