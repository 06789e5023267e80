#pragma once
// Back footers: hidden below the content, pulled up past their height and let go like a header
// turned upside down; while refreshing the bottom inset holds them in view. Offered beside the
// automatic footers (the application's lists use those).

#include <map>

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
  std::shared_ptr<UILabel> stateLabel();
  void setTitle(const std::shared_ptr<NSString>& title, NSInteger state);
  std::shared_ptr<NSString> titleForState(NSInteger state) const;

  void prepare() override;
  void placeSubviews() override;
  void setState(NSInteger state) override;

 private:
  std::weak_ptr<UILabel> stateLabel_;
  std::map<NSInteger, std::shared_ptr<NSString>> stateTitles_;
};

class PRRefreshBackNormalFooter : public PRRefreshBackStateFooter {
 public:
  std::shared_ptr<UIImageView> arrowView();
  std::shared_ptr<UIActivityIndicatorView> loadingView();
  UIActivityIndicatorViewStyle activityIndicatorViewStyle() const { return style_; }
  void setActivityIndicatorViewStyle(UIActivityIndicatorViewStyle style);

  void prepare() override;
  void placeSubviews() override;
  void setState(NSInteger state) override;

 private:
  std::weak_ptr<UIImageView> arrowView_;
  std::weak_ptr<UIActivityIndicatorView> loadingView_;
  UIActivityIndicatorViewStyle style_ = UIActivityIndicatorViewStyleGray;
};

class PRRefreshBackGifFooter : public PRRefreshBackStateFooter {
 public:
  std::shared_ptr<UIImageView> gifView();
  void setImages(const std::vector<std::shared_ptr<UIImage>>& images, NSTimeInterval duration, NSInteger state);
  void setImages(const std::vector<std::shared_ptr<UIImage>>& images, NSInteger state);

  void placeSubviews() override;
  void setState(NSInteger state) override;
  void setPullingPercent(CGFloat percent) override;

 private:
  std::weak_ptr<UIImageView> gifView_;
  std::map<NSInteger, std::vector<std::shared_ptr<UIImage>>> stateImages_;
  std::map<NSInteger, NSTimeInterval> stateDurations_;
};
