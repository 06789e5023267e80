#pragma once
// Headers: pulled down past their height they ask to be let go; let go, they open (the scroll
// view's top inset grows by their height), call back, and stay open until endRefreshing, which
// stores the time of the refresh in the user defaults and closes them over 0.4 s. A header
// that a finger is pulling past its height is not refreshing: endRefreshing leaves it pulled,
// so a reply that comes during the pull does not take away the refresh the release begins.
//
// PRRefreshHeader (the behaviour), PRRefreshStateHeader (state text and last-updated time),
// PRRefreshNormalHeader (arrow and spinner), PRRefreshGifHeader (frames by state and by the
// pulling percent), and the application's TZPRRefreshNormalHeader and TZPRRefreshGifHeader.

#include "platform/foundation/NSDate.h"
#include "platform/graphics/UIImage.h"
#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/UIImageView.h"
#include "ui/refresh/PRRefreshComponent.h"
#include "ui/refresh/internal/PRRefreshParts.h"

class PRRefreshHeader : public PRRefreshComponent {
 public:
  // A new header of class H with the block (or target and action) set.
  template <class H = PRRefreshHeader>
  static std::shared_ptr<H> headerWithRefreshingBlock(Block block) {
    auto header = makeControl<H>();
    header->setRefreshingBlock(std::move(block));
    return header;
  }
  template <class H = PRRefreshHeader>
  static std::shared_ptr<H> headerWithRefreshingTarget(const id& target, const SEL& action) {
    auto header = makeControl<H>();
    header->setRefreshingTarget(target, action);
    return header;
  }

  const std::shared_ptr<NSString>& lastUpdatedTimeKey() const { return lastUpdatedTimeKey_; }
  virtual void setLastUpdatedTimeKey(const std::shared_ptr<NSString>& key);
  CGFloat ignoredScrollViewContentInsetTop() const { return ignoredScrollViewContentInsetTop_; }
  void setIgnoredScrollViewContentInsetTop(CGFloat top) { ignoredScrollViewContentInsetTop_ = top; }
  CGFloat insetTDelta() const { return insetTDelta_; }
  // The date stored under lastUpdatedTimeKey in the standard user defaults, or nil.
  std::shared_ptr<NSDate> lastUpdatedTime() const;

  void prepare() override;
  void placeSubviews() override;
  void scrollViewContentOffsetDidChange(CGPoint old, CGPoint now) override;
  void setState(NSInteger state) override;
  void endRefreshing() override;

 protected:
  void applyDeferredEnd(NSInteger state) override;

 private:
  std::shared_ptr<NSString> lastUpdatedTimeKey_;
  CGFloat ignoredScrollViewContentInsetTop_ = 0;
  CGFloat insetTDelta_ = 0;
};

class PRRefreshStateHeader : public PRRefresh::WithStateTitles<PRRefreshHeader> {
 public:
  using TimeText = std::function<std::shared_ptr<NSString>(const std::shared_ptr<NSDate>& date)>;

  // Made and added on first use.
  std::shared_ptr<UILabel> lastUpdatedTimeLabel() { return PRRefresh::lazyLabel(*this, lastUpdatedTimeLabel_); }
  void setLastUpdatedTimeText(TimeText block) { lastUpdatedTimeText_ = std::move(block); }

  void setLastUpdatedTimeKey(const std::shared_ptr<NSString>& key) override;
  void prepare() override;
  void placeSubviews() override;
  void setState(NSInteger state) override;

 private:
  std::weak_ptr<UILabel> lastUpdatedTimeLabel_;
  TimeText lastUpdatedTimeText_;
};

class PRRefreshNormalHeader : public PRRefresh::WithLoadingView<PRRefreshStateHeader> {
 public:
  std::shared_ptr<UIImageView> arrowView() { return indicator_.arrowView(*this); }

  void prepare() override;
  void placeSubviews() override;
  void setState(NSInteger state) override;
};

class PRRefreshGifHeader : public PRRefresh::WithFrames<PRRefreshStateHeader> {
 public:
  const std::vector<std::shared_ptr<UIImage>>* imagesForState(NSInteger state) const {
    return frames_.imagesForState(state);
  }

  void placeSubviews() override;
  void setState(NSInteger state) override;
  void setPullingPercent(CGFloat percent) override;
};

// The list screens' header: no time label, the state text in the regular 14-point font.
class TZPRRefreshNormalHeader : public PRRefreshNormalHeader {
 public:
  void prepare() override;
};

// The home screen's header: no texts, the "dropdown_anim__000%zd" frames.
class TZPRRefreshGifHeader : public PRRefreshGifHeader {
 public:
  void prepare() override;
};
