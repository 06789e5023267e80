#pragma once
// UIRefreshControl: a control that shows that its content is being refreshed. Here a spinner
// centred in the control that turns while refreshing; the control's owner places it (there is
// no table view pull-down behind it: the application's pull-to-refresh is its own toolkit's).

#include <memory>

#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/UIControl.h"

class UIRefreshControl : public UIControl {
 public:
  static std::shared_ptr<UIRefreshControl> make() { return makeView<UIRefreshControl>(CGRectMake(0, 0, 320, 60)); }
  void setUpWithFrame(CGRect frame) override;

  bool isRefreshing() const { return refreshing_; }
  void beginRefreshing();
  void endRefreshing();

  const std::shared_ptr<UIActivityIndicatorView>& spinner() const { return spinner_; }

  void layoutSubviews() override;

 private:
  std::shared_ptr<UIActivityIndicatorView> spinner_;
  bool refreshing_ = false;
};
