#include "platform/uikit/UICollectionViewCell.h"

void UICollectionViewCell::setUpWithFrame(CGRect frame) {
  UICollectionReusableView::setUpWithFrame(frame);
  contentView();
}

void UICollectionViewCell::setUpWithCoder(CGRect frame) {
  UICollectionReusableView::setUpWithCoder(frame);
  contentView();
}

std::shared_ptr<UIView> UICollectionViewCell::contentView() {
  if (!contentView_) {
    contentView_ = UIView::initWithFrame(bounds());
    contentView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    addSubview(contentView_);
  }
  return contentView_;
}

void UICollectionViewCell::setBackgroundView(const std::shared_ptr<UIView>& view) {
  if (backgroundView_ == view) return;
  if (backgroundView_) backgroundView_->removeFromSuperview();
  backgroundView_ = view;
  if (view) {
    view->setFrame(bounds());
    insertSubview(view, 0);
  }
}

void UICollectionViewCell::setSelectedBackgroundView(const std::shared_ptr<UIView>& view) {
  if (selectedBackgroundView_ == view) return;
  if (selectedBackgroundView_) selectedBackgroundView_->removeFromSuperview();
  selectedBackgroundView_ = view;
  showSelectionBackground();
}

void UICollectionViewCell::setSelected(bool selected) {
  selected_ = selected;
  showSelectionBackground();
}

void UICollectionViewCell::setHighlighted(bool highlighted) {
  highlighted_ = highlighted;
  showSelectionBackground();
}

void UICollectionViewCell::showSelectionBackground() {
  if (!selectedBackgroundView_) return;
  if (!(selected_ || highlighted_)) {
    selectedBackgroundView_->removeFromSuperview();
    return;
  }
  if (selectedBackgroundView_->superview().get() == this) return;
  selectedBackgroundView_->setFrame(bounds());
  insertSubviewBelowSubview(selectedBackgroundView_, contentView());
}

void UICollectionViewCell::layoutSubviews() {
  UICollectionReusableView::layoutSubviews();
  CGRect b = bounds();
  if (backgroundView_) backgroundView_->setFrame(b);
  if (selectedBackgroundView_) selectedBackgroundView_->setFrame(b);
}
