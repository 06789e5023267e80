#include "platform/uikit/UIRefreshControl.h"

void UIRefreshControl::setUpWithFrame(CGRect frame) {
  UIControl::setUpWithFrame(frame);
  spinner_ = UIActivityIndicatorView::initWithActivityIndicatorStyle(UIActivityIndicatorViewStyleGray);
  spinner_->setHidesWhenStopped(true);
  addSubview(spinner_);
}

void UIRefreshControl::beginRefreshing() {
  refreshing_ = true;
  if (spinner_) spinner_->startAnimating();
}

void UIRefreshControl::endRefreshing() {
  refreshing_ = false;
  if (spinner_) spinner_->stopAnimating();
}

void UIRefreshControl::layoutSubviews() {
  UIControl::layoutSubviews();
  if (spinner_) spinner_->setCenter(CGPointMake(bounds().size.width / 2, bounds().size.height / 2));
}
