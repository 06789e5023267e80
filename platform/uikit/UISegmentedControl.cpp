#include "platform/uikit/UISegmentedControl.h"

#include <algorithm>
#include <cmath>

#include "platform/graphics/UIBezierPath.h"
#include "platform/text/NSAttributedString.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UIEvent.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UIKitMainThread.h"
#include "platform/uikit/UILabel.h"

namespace {
constexpr CGFloat kHeight = 29;
constexpr CGFloat kPadding = 10;  // beside a segment's content when fitting
}  // namespace

// One segment: its title or image, taking touches for the control (which they reach through
// the responder chain).
class UISegmentedControl::SegmentView : public UIView {
 public:
  std::shared_ptr<UILabel> label;
  std::shared_ptr<UIImageView> imageView;
  void layoutSubviews() override {
    CGRect b = bounds();
    if (label) label->setFrame(b);
    if (imageView) {
      CGSize size = imageView->image() ? imageView->image()->size() : CGSizeZero;
      imageView->setFrame(CGRectMake(CGRectGetMidX(b) - size.width / 2, CGRectGetMidY(b) - size.height / 2, size.width,
                                     size.height));
    }
  }
  std::vector<std::shared_ptr<NSString>> visibleTexts() const override {
    if (label && label->text() && label->text()->length() > 0) return {label->text()};
    return {};
  }
};

std::shared_ptr<UISegmentedControl> UISegmentedControl::initWithItems(const std::shared_ptr<NSArray>& items) {
  auto control = makeView<UISegmentedControl>(CGRectZero);
  if (items) {
    for (NSUInteger i = 0; i < items->count(); ++i)
      control->insert(zvt::as<NSString>(items->objectAtIndex(i)), zvt::as<UIImage>(items->objectAtIndex(i)), i);
  }
  control->setFrame(CGRect{CGPointZero, control->sizeThatFits(CGSizeZero)});
  return control;
}

void UISegmentedControl::setUpWithFrame(CGRect frame) {
  UIControl::setUpWithFrame(frame);
  setOpaque(false);
}

void UISegmentedControl::setUpWithCoder(CGRect frame) {
  UIControl::setUpWithCoder(frame);
  setOpaque(false);
}

// --- segments ---------------------------------------------------------------------------------

void UISegmentedControl::insert(const std::shared_ptr<NSString>& title, const std::shared_ptr<UIImage>& image,
                                NSUInteger index) {
  auto view = UIView::makeView<SegmentView>(CGRectZero);
  view->setOpaque(false);
  if (image) {
    view->imageView = UIImageView::initWithImage(image);
    view->imageView->setTemplatesByDefault(true);
    view->addSubview(view->imageView);
  } else {
    view->label = UILabel::make();
    view->label->setOwnedByControl(true);
    view->label->setTextAlignment(NSTextAlignmentCenter);
    view->label->setText(title ? title : NSString::string());
    view->addSubview(view->label);
  }
  index = std::min<NSUInteger>(index, segments_.size());
  Segment segment;
  segment.view = view;
  segments_.insert(segments_.begin() + static_cast<std::ptrdiff_t>(index), segment);
  addSubview(view);
  if (selected_ >= static_cast<NSInteger>(index)) ++selected_;
  updateSegments();
  invalidateIntrinsicContentSize();
}

void UISegmentedControl::insertSegmentWithTitle(const std::shared_ptr<NSString>& title, NSUInteger index, bool) {
  zvt::ui::assertMainThread("UISegmentedControl::insertSegmentWithTitle");
  insert(title, nullptr, index);
}

void UISegmentedControl::insertSegmentWithImage(const std::shared_ptr<UIImage>& image, NSUInteger index, bool) {
  zvt::ui::assertMainThread("UISegmentedControl::insertSegmentWithImage");
  insert(nullptr, image, index);
}

void UISegmentedControl::removeSegmentAtIndex(NSUInteger index, bool) {
  zvt::ui::assertMainThread("UISegmentedControl::removeSegmentAtIndex");
  if (index >= segments_.size()) return;
  segments_[index].view->removeFromSuperview();
  segments_.erase(segments_.begin() + static_cast<std::ptrdiff_t>(index));
  if (selected_ == static_cast<NSInteger>(index)) selected_ = UISegmentedControlNoSegment;
  else if (selected_ > static_cast<NSInteger>(index)) --selected_;
  updateSegments();
  invalidateIntrinsicContentSize();
}

void UISegmentedControl::removeAllSegments() {
  while (!segments_.empty()) removeSegmentAtIndex(segments_.size() - 1, false);
}

void UISegmentedControl::setTitle(const std::shared_ptr<NSString>& title, NSUInteger segment) {
  if (segment >= segments_.size()) return;
  auto& view = segments_[segment].view;
  if (view->imageView) {
    view->imageView->removeFromSuperview();
    view->imageView.reset();
  }
  if (!view->label) {
    view->label = UILabel::make();
    view->label->setOwnedByControl(true);
    view->label->setTextAlignment(NSTextAlignmentCenter);
    view->addSubview(view->label);
  }
  view->label->setText(title ? title : NSString::string());
  updateSegments();
  invalidateIntrinsicContentSize();
}

std::shared_ptr<NSString> UISegmentedControl::titleForSegmentAtIndex(NSUInteger segment) const {
  if (segment >= segments_.size() || !segments_[segment].view->label) return nullptr;
  return segments_[segment].view->label->text();
}

void UISegmentedControl::setImage(const std::shared_ptr<UIImage>& image, NSUInteger segment) {
  if (segment >= segments_.size()) return;
  auto& view = segments_[segment].view;
  if (view->label) {
    view->label->removeFromSuperview();
    view->label.reset();
  }
  if (!view->imageView) {
    view->imageView = UIImageView::make();
    view->imageView->setTemplatesByDefault(true);
    view->addSubview(view->imageView);
  }
  view->imageView->setImage(image);
  updateSegments();
  invalidateIntrinsicContentSize();
}

std::shared_ptr<UIImage> UISegmentedControl::imageForSegmentAtIndex(NSUInteger segment) const {
  if (segment >= segments_.size() || !segments_[segment].view->imageView) return nullptr;
  return segments_[segment].view->imageView->image();
}

void UISegmentedControl::setWidth(CGFloat width, NSUInteger segment) {
  if (segment >= segments_.size()) return;
  segments_[segment].width = std::max<CGFloat>(width, 0);
  setNeedsLayout();
  invalidateIntrinsicContentSize();
}

CGFloat UISegmentedControl::widthForSegmentAtIndex(NSUInteger segment) const {
  return segment < segments_.size() ? segments_[segment].width : 0;
}

void UISegmentedControl::setEnabled(bool enabled, NSUInteger segment) {
  if (segment >= segments_.size()) return;
  segments_[segment].enabled = enabled;
  updateSegments();
}

bool UISegmentedControl::isEnabledForSegmentAtIndex(NSUInteger segment) const {
  return segment < segments_.size() && segments_[segment].enabled;
}

void UISegmentedControl::setSelectedSegmentIndex(NSInteger index) {
  zvt::ui::assertMainThread("UISegmentedControl::setSelectedSegmentIndex");
  if (index < 0 || index >= static_cast<NSInteger>(segments_.size())) index = UISegmentedControlNoSegment;
  selected_ = index;
  updateSegments();
}

void UISegmentedControl::setApportionsSegmentWidthsByContent(bool apportions) {
  apportions_ = apportions;
  setNeedsLayout();
}

void UISegmentedControl::setTitleTextAttributes(const std::shared_ptr<NSDictionary>& attributes, UIControlState state) {
  if (state == UIControlStateSelected) selectedAttributes_ = attributes;
  else if (state == UIControlStateNormal) normalAttributes_ = attributes;
  updateSegments();
  invalidateIntrinsicContentSize();
}

std::shared_ptr<NSDictionary> UISegmentedControl::titleTextAttributesForState(UIControlState state) const {
  if (state == UIControlStateSelected) return selectedAttributes_;
  if (state == UIControlStateNormal) return normalAttributes_;
  return nullptr;
}

void UISegmentedControl::tintColorDidChange() { updateSegments(); }

void UISegmentedControl::updateSegments() {
  auto tint = tintColor();
  for (size_t i = 0; i < segments_.size(); ++i) {
    auto& s = segments_[i];
    bool selected = static_cast<NSInteger>(i) == selected_;
    auto attributes = selected && selectedAttributes_ ? selectedAttributes_ : normalAttributes_;
    auto font = attributes ? zvt::as<UIFont>(attributes->objectForKey(NSFontAttributeName)) : nullptr;
    auto color = attributes ? zvt::as<UIColor>(attributes->objectForKey(NSForegroundColorAttributeName)) : nullptr;
    if (selected && !(selectedAttributes_ && color)) color = UIColor::whiteColor();
    if (!color) color = tint;
    if (!s.enabled || !isEnabled()) color = color->colorWithAlphaComponent(0.3);
    if (s.view->label) {
      s.view->label->setFont(font ? font : UIFont::systemFontOfSize(13));
      s.view->label->setTextColor(color);
    }
    if (s.view->imageView) s.view->imageView->setTintColor(color);
  }
  setNeedsLayout();
  setNeedsDisplay();
}

// --- geometry and drawing ---------------------------------------------------------------------

CGSize UISegmentedControl::contentSize(const Segment& segment) const {
  CGSize size = CGSizeZero;
  if (segment.view->label) size = segment.view->label->sizeThatFits(CGSizeZero);
  if (segment.view->imageView && segment.view->imageView->image()) size = segment.view->imageView->image()->size();
  return CGSizeMake(size.width + 2 * kPadding, size.height);
}

std::vector<CGFloat> UISegmentedControl::widths(CGFloat total) const {
  std::vector<CGFloat> out(segments_.size(), 0);
  CGFloat fixed = 0;
  size_t shared = 0;
  for (size_t i = 0; i < segments_.size(); ++i) {
    if (segments_[i].width > 0) fixed += out[i] = segments_[i].width;
    else ++shared;
  }
  if (shared == 0) return out;
  CGFloat room = std::max<CGFloat>(total - fixed, 0);
  if (apportions_) {
    CGFloat content = 0;
    for (size_t i = 0; i < segments_.size(); ++i)
      if (segments_[i].width == 0) content += contentSize(segments_[i]).width;
    for (size_t i = 0; i < segments_.size(); ++i)
      if (segments_[i].width == 0)
        out[i] = content > 0 ? room * contentSize(segments_[i]).width / content : room / static_cast<CGFloat>(shared);
  } else {
    for (size_t i = 0; i < segments_.size(); ++i)
      if (segments_[i].width == 0) out[i] = room / static_cast<CGFloat>(shared);
  }
  return out;
}

void UISegmentedControl::layoutSubviews() {
  UIControl::layoutSubviews();
  CGRect b = bounds();
  auto w = widths(b.size.width);
  CGFloat x = b.origin.x;
  for (size_t i = 0; i < segments_.size(); ++i) {
    segments_[i].view->setFrame(CGRectMake(x, b.origin.y, w[i], b.size.height));
    x += w[i];
  }
}

CGSize UISegmentedControl::sizeThatFits(CGSize) const {
  CGFloat widest = 0, total = 0;
  for (const auto& s : segments_) {
    CGFloat w = s.width > 0 ? s.width : contentSize(s).width;
    widest = std::max(widest, w);
    total += w;
  }
  // Equal segments are as wide as the widest content.
  if (!apportions_) {
    total = 0;
    for (const auto& s : segments_) total += s.width > 0 ? s.width : widest;
  }
  return CGSizeMake(std::ceil(total), kHeight);
}

CGSize UISegmentedControl::intrinsicContentSize() const { return sizeThatFits(CGSizeZero); }

void UISegmentedControl::drawRect(CGRect) {
  CGRect b = CGRectInset(bounds(), 0.5, 0.5);
  auto tint = tintColor();
  auto outline = UIBezierPath::bezierPathWithRoundedRect(b, 4);
  auto w = widths(bounds().size.width);
  if (selected_ >= 0 && static_cast<size_t>(selected_) < segments_.size()) {
    CGFloat x = 0;
    for (NSInteger i = 0; i < selected_; ++i) x += w[static_cast<size_t>(i)];
    auto context = UIGraphicsGetCurrentContext();
    CGContextSaveGState(context);
    outline->addClip();
    tint->setFill();
    CGContextFillRect(context, CGRectMake(x, 0, w[static_cast<size_t>(selected_)], bounds().size.height));
    CGContextRestoreGState(context);
  }
  tint->setStroke();
  outline->setLineWidth(1);
  outline->stroke();
  tint->setFill();
  CGFloat x = 0;
  for (size_t i = 0; i + 1 < segments_.size(); ++i) {
    x += w[i];
    UIBezierPath::bezierPathWithRect(CGRectMake(std::round(x) - 0.5, 0, 1, bounds().size.height))->fill();
  }
}

void UISegmentedControl::endTrackingWithTouch(const std::shared_ptr<UITouch>& touch,
                                              const std::shared_ptr<UIEvent>& event) {
  UIControl::endTrackingWithTouch(touch, event);
  if (!isTouchInside()) return;
  CGPoint p = touch->locationInView(viewSelf());
  auto w = widths(bounds().size.width);
  CGFloat x = 0;
  for (size_t i = 0; i < segments_.size(); ++i) {
    if (p.x >= x && p.x < x + w[i]) {
      if (!segments_[i].enabled) return;
      bool changed = static_cast<NSInteger>(i) != selected_;
      setSelectedSegmentIndex(momentary_ ? UISegmentedControlNoSegment : static_cast<NSInteger>(i));
      if (changed || momentary_) sendActions(UIControlEventValueChanged, event);
      return;
    }
    x += w[i];
  }
}
