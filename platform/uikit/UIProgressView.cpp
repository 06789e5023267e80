#include "platform/uikit/UIProgressView.h"

#include <algorithm>

#include "platform/uikit/UIKitMainThread.h"

std::shared_ptr<UIProgressView> UIProgressView::initWithProgressViewStyle(UIProgressViewStyle style) {
  auto view = makeView<UIProgressView>(CGRectMake(0, 0, 0, kHeight));
  view->setProgressViewStyle(style);
  return view;
}

void UIProgressView::setUpWithFrame(CGRect frame) {
  UIView::setUpWithFrame(frame);
  setUp();
}

void UIProgressView::setUpWithCoder(CGRect frame) {
  UIView::setUpWithCoder(frame);
  setUp();
}

void UIProgressView::setUp() {
  setOpaque(false);
  setClipsToBounds(true);
  track_ = UIImageView::make();
  bar_ = UIImageView::make();
  addSubview(track_);
  addSubview(bar_);
  updateLook();
}

void UIProgressView::setProgressViewStyle(UIProgressViewStyle style) {
  style_ = style;
  updateLook();
}

void UIProgressView::setProgress(float progress) { setProgress(progress, false); }

void UIProgressView::setProgress(float progress, bool animated) {
  zvt::ui::assertMainThread("UIProgressView::setProgress");
  progress_ = std::clamp(progress, 0.0f, 1.0f);
  setNeedsLayout();
  if (animated) {
    auto keep = viewSelf();
    UIView::animateWithDuration(0.25, [keep] { keep->layoutIfNeeded(); });
  }
}

void UIProgressView::setProgressTintColor(const std::shared_ptr<UIColor>& color) {
  progressTintColor_ = color;
  updateLook();
}

void UIProgressView::setTrackTintColor(const std::shared_ptr<UIColor>& color) {
  trackTintColor_ = color;
  updateLook();
}

void UIProgressView::setProgressImage(const std::shared_ptr<UIImage>& image) {
  progressImage_ = image;
  updateLook();
}

void UIProgressView::setTrackImage(const std::shared_ptr<UIImage>& image) {
  trackImage_ = image;
  updateLook();
}

void UIProgressView::tintColorDidChange() { updateLook(); }

void UIProgressView::updateLook() {
  if (!bar_) return;
  bar_->setImage(progressImage_);
  bar_->setBackgroundColor(progressImage_ ? nullptr : (progressTintColor_ ? progressTintColor_ : tintColor()));
  track_->setImage(trackImage_);
  std::shared_ptr<UIColor> track = trackTintColor_;
  if (!track) track = style_ == UIProgressViewStyleBar ? UIColor::clearColor() : UIColor::colorWithWhite(0.72, 1);
  track_->setBackgroundColor(trackImage_ ? nullptr : track);
}

void UIProgressView::layoutSubviews() {
  UIView::layoutSubviews();
  CGRect b = bounds();
  track_->setFrame(b);
  bar_->setFrame(CGRectMake(b.origin.x, b.origin.y, b.size.width * progress_, b.size.height));
}

CGSize UIProgressView::sizeThatFits(CGSize size) const {
  return CGSizeMake(size.width > 0 ? size.width : bounds().size.width, kHeight);
}

CGSize UIProgressView::intrinsicContentSize() const { return CGSizeMake(UIViewNoIntrinsicMetric, kHeight); }
