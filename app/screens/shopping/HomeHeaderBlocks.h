#pragma once
// The home header's configured blocks: small category icons ("nav"), full-width activity
// pictures ("middleBanner"), two-column activity tiles ("blockBanner") and the big category
// block ("fixedBanner"). Each lays out the items of its `dataArray` in `updateData` and tells
// its delegate which item was tapped.

#include <memory>

#include "app/models/TZHeaderInfoModel.h"
#include "platform/foundation/NSArray.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UIView.h"

class SmallClassViewDelegate {
 public:
  virtual ~SmallClassViewDelegate() = default;
  virtual void smallClassViewClick(const std::shared_ptr<TZHeaderInfoModel>& /*item*/) {}
};
class BigClassViewDelegate {
 public:
  virtual ~BigClassViewDelegate() = default;
  virtual void bigClassViewClick(const std::shared_ptr<TZHeaderInfoModel>& /*item*/) {}
};
class ActivityViewDelegate {
 public:
  virtual ~ActivityViewDelegate() = default;
  virtual void activityViewClick(const std::shared_ptr<TZHeaderInfoModel>& /*item*/) {}
};
class SmallActivityViewDelegate {
 public:
  virtual ~SmallActivityViewDelegate() = default;
  virtual void smallActivityViewClick(const std::shared_ptr<TZHeaderInfoModel>& /*item*/) {}
};

namespace zvt::shopping {

// What the four blocks share: a white view with its items.
class HeaderBlockView : public UIView {
 public:
  void setUpWithFrame(CGRect frame) override;
  std::shared_ptr<NSArray> dataArray() const { return dataArray_; }
  void setDataArray(const std::shared_ptr<NSArray>& items) { dataArray_ = items; }
  virtual void updateData() = 0;

 protected:
  // The item at `index`, nil when there is none or it is no header item.
  std::shared_ptr<TZHeaderInfoModel> itemAt(NSInteger index) const;
  NSInteger count() const { return dataArray_ ? static_cast<NSInteger>(dataArray_->count()) : 0; }

 private:
  std::shared_ptr<NSArray> dataArray_;
};

}  // namespace zvt::shopping

class SmallClassView : public zvt::shopping::HeaderBlockView {
 public:
  void updateData() override;
  void buttonClick(const std::shared_ptr<UIButton>& sender);
  std::weak_ptr<SmallClassViewDelegate> smallClassViewDelegate;
};

class BigClassView : public zvt::shopping::HeaderBlockView {
 public:
  void updateData() override;
  void buttonClick(const std::shared_ptr<UIButton>& sender);
  std::weak_ptr<BigClassViewDelegate> bigClassViewDelegate;
};

class ActivityView : public zvt::shopping::HeaderBlockView {
 public:
  void updateData() override;
  void tap(const std::shared_ptr<UITapGestureRecognizer>& recognizer);
  std::weak_ptr<ActivityViewDelegate> activityViewDelegate;
};

class SmallActivityView : public zvt::shopping::HeaderBlockView {
 public:
  void updateData() override;
  void tap(const std::shared_ptr<UITapGestureRecognizer>& recognizer);
  std::weak_ptr<SmallActivityViewDelegate> smallActivityViewDelegate;
};
