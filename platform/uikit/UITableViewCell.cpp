#include "platform/uikit/UITableViewCell.h"

#include <algorithm>
#include <cmath>

#include "platform/graphics/CGContext.h"
#include "platform/graphics/UIBezierPath.h"
#include "platform/graphics/UIScreen.h"
#include "platform/uikit/UIControl.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UIKitMainThread.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UITableView.h"

namespace {

constexpr CGFloat kMargin = 15;
constexpr CGFloat kAccessoryGap = 10;

CGFloat onePixel() {
  CGFloat scale = UIScreen::mainScreen()->scale();
  return 1 / (scale > 0 ? scale : 1);
}

// The standard accessories, drawn as on the device: a grey chevron, a tinted checkmark, a
// tinted circled "i" (with a chevron beside it for the detail disclosure).
class StandardAccessory : public UIControl {
 public:
  UITableViewCellAccessoryType type = UITableViewCellAccessoryNone;

  static CGSize sizeFor(UITableViewCellAccessoryType type) {
    switch (type) {
      case UITableViewCellAccessoryDisclosureIndicator: return CGSizeMake(8, 13);
      case UITableViewCellAccessoryCheckmark: return CGSizeMake(14, 11);
      case UITableViewCellAccessoryDetailButton: return CGSizeMake(22, 22);
      case UITableViewCellAccessoryDetailDisclosureButton: return CGSizeMake(22 + 15 + 8, 22);
      default: return CGSizeZero;
    }
  }

  void drawRect(CGRect rect) override {
    auto chevron = [&](CGFloat x, CGFloat midY) {
      auto path = UIBezierPath::bezierPath();
      path->moveToPoint(CGPointMake(x + 1, midY - 5.5));
      path->addLineToPoint(CGPointMake(x + 7, midY));
      path->addLineToPoint(CGPointMake(x + 1, midY + 5.5));
      path->setLineWidth(2);
      UIColor::colorWithRed(199 / 255.0, 199 / 255.0, 204 / 255.0, 1)->setStroke();
      path->stroke();
    };
    CGFloat midY = CGRectGetMidY(rect);
    switch (type) {
      case UITableViewCellAccessoryDisclosureIndicator: chevron(0, midY); break;
      case UITableViewCellAccessoryCheckmark: {
        auto path = UIBezierPath::bezierPath();
        path->moveToPoint(CGPointMake(1, 6));
        path->addLineToPoint(CGPointMake(5, 10));
        path->addLineToPoint(CGPointMake(13, 1));
        path->setLineWidth(2);
        tintColor()->setStroke();
        path->stroke();
        break;
      }
      case UITableViewCellAccessoryDetailButton:
      case UITableViewCellAccessoryDetailDisclosureButton: {
        auto circle = UIBezierPath::bezierPathWithOvalInRect(CGRectMake(1, midY - 10, 20, 20));
        circle->setLineWidth(1);
        tintColor()->setStroke();
        circle->stroke();
        auto stem = UIBezierPath::bezierPath();
        stem->moveToPoint(CGPointMake(11, midY - 2));
        stem->addLineToPoint(CGPointMake(11, midY + 5));
        stem->setLineWidth(1.5);
        stem->stroke();
        auto dot = UIBezierPath::bezierPathWithOvalInRect(CGRectMake(10, midY - 6, 2, 2));
        tintColor()->setFill();
        dot->fill();
        if (type == UITableViewCellAccessoryDetailDisclosureButton) chevron(37, midY);
        break;
      }
      default: break;
    }
  }
};

}  // namespace

UITableViewCell::UITableViewCell() = default;
UITableViewCell::~UITableViewCell() = default;

void UITableViewCell::setUpWithFrame(CGRect frame) {
  UIView::setUpWithFrame(frame);
  contentView();
  setBackgroundColor(UIColor::whiteColor());
}

void UITableViewCell::setUpWithCoder(CGRect frame) {
  UIView::setUpWithCoder(frame);
  contentView();
  setBackgroundColor(UIColor::whiteColor());
}

void UITableViewCell::setUpWithStyle(UITableViewCellStyle style, const std::shared_ptr<NSString>& reuseIdentifier) {
  style_ = style;
  reuseIdentifier_ = reuseIdentifier;
  setUpWithFrame(CGRectMake(0, 0, 320, 44));
}

std::shared_ptr<UIView> UITableViewCell::contentView() {
  if (!contentView_) {
    contentView_ = UIView::initWithFrame(bounds());
    contentView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    contentView_->setBackgroundColor(UIColor::clearColor());
    contentView_->setOpaque(false);
    addSubview(contentView_);
  }
  return contentView_;
}

std::shared_ptr<UILabel> UITableViewCell::textLabel() {
  if (!textLabel_) {
    textLabel_ = UILabel::make();
    textLabel_->setBackgroundColor(UIColor::clearColor());
    bool small = style_ == UITableViewCellStyleValue2;
    textLabel_->setFont(small ? UIFont::boldSystemFontOfSize(12) : UIFont::systemFontOfSize(17));
    if (small) {
      textLabel_->setTextColor(UIColor::colorWithRed(0, 122 / 255.0, 1, 1));
      textLabel_->setTextAlignment(NSTextAlignmentRight);
    }
    contentView()->addSubview(textLabel_);
    setNeedsLayout();
  }
  return textLabel_;
}

std::shared_ptr<UILabel> UITableViewCell::detailTextLabel() {
  if (style_ == UITableViewCellStyleDefault) return nullptr;
  if (!detailTextLabel_) {
    detailTextLabel_ = UILabel::make();
    detailTextLabel_->setBackgroundColor(UIColor::clearColor());
    switch (style_) {
      case UITableViewCellStyleValue1:
        detailTextLabel_->setFont(UIFont::systemFontOfSize(17));
        detailTextLabel_->setTextColor(UIColor::colorWithRed(142 / 255.0, 142 / 255.0, 147 / 255.0, 1));
        detailTextLabel_->setTextAlignment(NSTextAlignmentRight);
        break;
      case UITableViewCellStyleValue2: detailTextLabel_->setFont(UIFont::boldSystemFontOfSize(12)); break;
      default: detailTextLabel_->setFont(UIFont::systemFontOfSize(12)); break;
    }
    contentView()->addSubview(detailTextLabel_);
    setNeedsLayout();
  }
  return detailTextLabel_;
}

std::shared_ptr<UIImageView> UITableViewCell::imageView() {
  if (!imageView_) {
    imageView_ = UIImageView::make();
    contentView()->addSubview(imageView_);
    setNeedsLayout();
  }
  return imageView_;
}

void UITableViewCell::setBackgroundView(const std::shared_ptr<UIView>& view) {
  if (backgroundView_ == view) return;
  if (backgroundView_) backgroundView_->removeFromSuperview();
  backgroundView_ = view;
  if (view) insertSubview(view, 0);
  setNeedsLayout();
}

std::shared_ptr<UIView> UITableViewCell::selectedBackgroundView() {
  if (!selectedBackgroundView_) {
    selectedBackgroundView_ = UIView::initWithFrame(bounds());
    selectedBackgroundView_->setBackgroundColor(UIColor::colorWithRed(217 / 255.0, 217 / 255.0, 217 / 255.0, 1));
  }
  return selectedBackgroundView_;
}

void UITableViewCell::setSelectedBackgroundView(const std::shared_ptr<UIView>& view) {
  if (selectedBackgroundView_ && selectedBackgroundView_ != view) selectedBackgroundView_->removeFromSuperview();
  selectedBackgroundView_ = view;
  showSelectionBackground();
}

void UITableViewCell::setAccessoryType(UITableViewCellAccessoryType type) {
  if (type == accessoryType_) return;
  accessoryType_ = type;
  if (standardAccessory_) {
    standardAccessory_->removeFromSuperview();
    standardAccessory_.reset();
  }
  setNeedsLayout();
}

void UITableViewCell::setAccessoryView(const std::shared_ptr<UIView>& view) {
  if (accessoryView_ == view) return;
  if (accessoryView_) accessoryView_->removeFromSuperview();
  accessoryView_ = view;
  if (view) addSubview(view);
  setNeedsLayout();
}

std::shared_ptr<UIView> UITableViewCell::makeAccessory() const {
  auto accessory = UIView::makeView<StandardAccessory>(CGRect{CGPointZero, StandardAccessory::sizeFor(accessoryType_)});
  accessory->type = accessoryType_;
  accessory->setBackgroundColor(UIColor::clearColor());
  accessory->setOpaque(false);
  bool button = accessoryType_ == UITableViewCellAccessoryDetailButton ||
                accessoryType_ == UITableViewCellAccessoryDetailDisclosureButton;
  accessory->setUserInteractionEnabled(button);
  if (button)
    accessory->addTarget(std::const_pointer_cast<UIView>(viewSelf()), SEL(&UITableViewCell::accessoryTapped),
                         UIControlEventTouchUpInside);
  return accessory;
}

void UITableViewCell::accessoryTapped() {
  auto table = tableView();
  if (!table) return;
  auto self = std::static_pointer_cast<UITableViewCell>(viewSelf());
  if (auto path = table->indexPathForCell(self))
    if (auto d = table->tableDelegate()) d->tableViewAccessoryButtonTappedForRowWithIndexPath(table, path);
}

void UITableViewCell::setSelectionStyle(UITableViewCellSelectionStyle style) {
  selectionStyle_ = style;
  showSelectionBackground();
}

void UITableViewCell::setSelected(bool selected, bool) {
  selected_ = selected;
  showSelectionBackground();
}

void UITableViewCell::setHighlighted(bool highlighted, bool) {
  highlighted_ = highlighted;
  if (textLabel_) textLabel_->setHighlighted(highlighted || selected_);
  if (detailTextLabel_) detailTextLabel_->setHighlighted(highlighted || selected_);
  showSelectionBackground();
}

void UITableViewCell::showSelectionBackground() {
  bool show = (selected_ || highlighted_) && selectionStyle_ != UITableViewCellSelectionStyleNone;
  if (!show) {
    if (selectedBackgroundView_) selectedBackgroundView_->removeFromSuperview();
    return;
  }
  auto view = selectedBackgroundView();
  if (view->superview().get() == this) return;
  view->setFrame(bounds());
  insertSubviewBelowSubview(view, contentView());
}

UIEdgeInsets UITableViewCell::separatorInset() const { return hasSeparatorInset_ ? separatorInset_ : tableSeparatorInset_; }

void UITableViewCell::setSeparatorInset(UIEdgeInsets inset) {
  separatorInset_ = inset;
  hasSeparatorInset_ = true;
  setNeedsLayout();
}

void UITableViewCell::layoutSeparator() {
  if (!separatorShown_) {
    if (separator_) separator_->setHidden(true);
    return;
  }
  if (!separator_) {
    separator_ = UIView::make();
    separator_->setUserInteractionEnabled(false);
    addSubview(separator_);
  }
  CGRect b = bounds();
  UIEdgeInsets inset = separatorInset();
  CGFloat line = onePixel();
  separator_->setHidden(false);
  separator_->setBackgroundColor(separatorColor_);
  separator_->setFrame(CGRectMake(inset.left, b.size.height - line, std::max<CGFloat>(0, b.size.width - inset.left - inset.right), line));
  bringSubviewToFront(separator_);
}

void UITableViewCell::layoutSubviews() {
  UIView::layoutSubviews();
  CGRect b = bounds();
  CGFloat line = separatorShown_ ? onePixel() : 0;
  std::shared_ptr<UIView> accessory = accessoryView_;
  if (!accessory && accessoryType_ != UITableViewCellAccessoryNone) {
    if (!standardAccessory_) {
      standardAccessory_ = makeAccessory();
      addSubview(standardAccessory_);
    }
    accessory = standardAccessory_;
  }
  CGFloat contentWidth = b.size.width;
  if (accessory) {
    CGSize a = accessory->frame().size;
    accessory->setFrame(CGRectMake(b.size.width - kMargin - a.width, std::round((b.size.height - line - a.height) / 2),
                                   a.width, a.height));
    contentWidth = b.size.width - kMargin - a.width - kAccessoryGap;
  }
  contentView()->setFrame(CGRectMake(0, 0, std::max<CGFloat>(0, contentWidth), b.size.height - line));
  if (backgroundView_) backgroundView_->setFrame(b);
  if (selectedBackgroundView_) selectedBackgroundView_->setFrame(b);
  layoutSeparator();
  layoutStyleViews(contentView()->bounds());
}

void UITableViewCell::layoutStyleViews(CGRect content) {
  CGFloat x = kMargin + indentationLevel_ * 10;
  CGFloat right = content.size.width - (accessoryView_ || accessoryType_ != UITableViewCellAccessoryNone ? 0 : kMargin);
  if (imageView_ && imageView_->image()) {
    CGSize s = imageView_->image()->size();
    imageView_->setFrame(CGRectMake(x, std::round((content.size.height - s.height) / 2), s.width, s.height));
    x += s.width + kMargin;
  } else if (imageView_) {
    imageView_->setFrame(CGRectZero);
  }
  auto fit = [](const std::shared_ptr<UILabel>& label) {
    return label && label->text() && label->text()->length() > 0 ? label->sizeThatFits(CGSizeMake(10000, 10000))
                                                                 : CGSizeZero;
  };
  CGSize t = fit(textLabel_), d = fit(detailTextLabel_);
  CGFloat h = content.size.height;
  switch (style_) {
    case UITableViewCellStyleValue1: {
      CGFloat dw = std::min(d.width, std::max<CGFloat>(0, right - x));
      if (detailTextLabel_) detailTextLabel_->setFrame(CGRectMake(right - dw, std::round((h - d.height) / 2), dw, d.height));
      CGFloat tw = std::min(t.width, std::max<CGFloat>(0, right - dw - x - (dw > 0 ? 6 : 0)));
      if (textLabel_) textLabel_->setFrame(CGRectMake(x, std::round((h - t.height) / 2), tw, t.height));
      break;
    }
    case UITableViewCellStyleValue2: {
      CGFloat column = 67;
      if (textLabel_) textLabel_->setFrame(CGRectMake(x, std::round((h - t.height) / 2), column, t.height));
      CGFloat dx = x + column + 6;
      if (detailTextLabel_)
        detailTextLabel_->setFrame(
            CGRectMake(dx, std::round((h - d.height) / 2), std::max<CGFloat>(0, right - dx), d.height));
      break;
    }
    case UITableViewCellStyleSubtitle: {
      // The system face's lines (CJK metrics) are half as tall again as their glyphs: two of
      // them fill a 44-point row and the detail's glyphs would sit on the separator. Where the
      // pair does not fit within 3 points above and below, the detail's line moves up into the
      // blank part of the title's and its own (at most a third of the smaller line).
      constexpr CGFloat kSubtitleInset = 3;
      const CGFloat overlap =
          std::clamp<CGFloat>(t.height + d.height - (h - 2 * kSubtitleInset), 0, std::min(t.height, d.height) / 3);
      CGFloat top = std::round((h - t.height - d.height + overlap) / 2);
      if (textLabel_) textLabel_->setFrame(CGRectMake(x, top, std::max<CGFloat>(0, right - x), t.height));
      if (detailTextLabel_)
        detailTextLabel_->setFrame(CGRectMake(x, top + t.height - overlap, std::max<CGFloat>(0, right - x), d.height));
      break;
    }
    default:
      if (textLabel_) textLabel_->setFrame(CGRectMake(x, 0, std::max<CGFloat>(0, right - x), h));
      break;
  }
}

// --- headers and footers ---------------------------------------------------------------------------

void UITableViewHeaderFooterView::setUpWithFrame(CGRect frame) {
  UIView::setUpWithFrame(frame);
  contentView();
}

void UITableViewHeaderFooterView::setUpWithCoder(CGRect frame) {
  UIView::setUpWithCoder(frame);
  contentView();
}

void UITableViewHeaderFooterView::setUpWithReuseIdentifier(const std::shared_ptr<NSString>& reuseIdentifier) {
  reuseIdentifier_ = reuseIdentifier;
  setUpWithFrame(CGRectMake(0, 0, 320, 22));
}

std::shared_ptr<UIView> UITableViewHeaderFooterView::contentView() {
  if (!contentView_) {
    contentView_ = UIView::initWithFrame(bounds());
    contentView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    addSubview(contentView_);
  }
  return contentView_;
}

std::shared_ptr<UILabel> UITableViewHeaderFooterView::textLabel() {
  if (!textLabel_) {
    textLabel_ = UILabel::make();
    textLabel_->setBackgroundColor(UIColor::clearColor());
    contentView()->addSubview(textLabel_);
    setNeedsLayout();
  }
  return textLabel_;
}

void UITableViewHeaderFooterView::setTitle(const std::shared_ptr<NSString>& title) {
  auto label = textLabel();
  if (grouped_) {
    label->setFont(UIFont::systemFontOfSize(footer_ ? 13 : 14));
    label->setTextColor(UIColor::colorWithRed(109 / 255.0, 109 / 255.0, 114 / 255.0, 1));
    label->setText(footer_ ? title : title->uppercaseString());
    if (!backgroundView_) setBackgroundColor(UIColor::clearColor());
  } else {
    label->setFont(UIFont::boldSystemFontOfSize(14));
    label->setTextColor(UIColor::blackColor());
    label->setText(title);
    setBackgroundColor(UIColor::colorWithRed(247 / 255.0, 247 / 255.0, 247 / 255.0, 1));
  }
  setNeedsLayout();
}

void UITableViewHeaderFooterView::setBackgroundView(const std::shared_ptr<UIView>& view) {
  if (backgroundView_ == view) return;
  if (backgroundView_) backgroundView_->removeFromSuperview();
  backgroundView_ = view;
  if (view) insertSubview(view, 0);
  setNeedsLayout();
}

void UITableViewHeaderFooterView::layoutSubviews() {
  UIView::layoutSubviews();
  CGRect b = bounds();
  contentView()->setFrame(b);
  if (backgroundView_) backgroundView_->setFrame(b);
  if (textLabel_) {
    CGSize s = textLabel_->sizeThatFits(CGSizeMake(b.size.width - 30, b.size.height));
    // Grouped titles sit low in their header (high in a footer); plain ones in the middle.
    CGFloat y = !grouped_ ? std::round((b.size.height - s.height) / 2)
                          : footer_ ? 7 : std::max<CGFloat>(0, b.size.height - s.height - 7);
    textLabel_->setFrame(CGRectMake(15, y, std::max<CGFloat>(0, b.size.width - 30), s.height));
  }
}
