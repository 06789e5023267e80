#include "platform/uikit/UITextField.h"

#include <algorithm>
#include <cmath>

#include "platform/graphics/UIBezierPath.h"
#include "platform/text/NSParagraphStyle.h"
#include "platform/text/TextLayout.h"
#include "platform/uikit/UIKitMainThread.h"
#include "platform/uikit/UILabel.h"

namespace {

constexpr CGFloat kClearSide = 19;
constexpr CGFloat kClearMargin = 5;

std::shared_ptr<UIColor> defaultPlaceholderColor() {
  return UIColor::colorWithRed(0, 0, 0.0980392, 0.22);
}

// The grey round clear icon with a white cross.
std::shared_ptr<UIImage> clearIcon() {
  static auto* icon = new std::shared_ptr<UIImage>([] {
    const CGFloat side = 14;
    UIGraphicsBeginImageContextWithOptions(CGSizeMake(side, side), false, 0);
    auto context = UIGraphicsGetCurrentContext();
    CGContextSetGrayFillColor(context, 0.7, 1);
    CGContextFillEllipseInRect(context, CGRectMake(0, 0, side, side));
    CGContextSetGrayStrokeColor(context, 1, 1);
    CGContextSetLineWidth(context, 1.5);
    CGPoint cross[] = {{4.5, 4.5}, {9.5, 9.5}, {9.5, 4.5}, {4.5, 9.5}};
    CGContextStrokeLineSegments(context, cross, 4);
    auto image = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    return image;
  }());
  return *icon;
}

// A dot for each character of the text (composed sequences count once).
std::shared_ptr<NSString> dots(const std::shared_ptr<NSString>& text) {
  std::string out;
  for (NSUInteger i = 0; i < text->length();) {
    NSRange r = text->rangeOfComposedCharacterSequenceAtIndex(i);
    out += "\xE2\x80\xA2";
    i = r.location + std::max<NSUInteger>(r.length, 1);
  }
  return NSString::stringWithUTF8String(out);
}

}  // namespace

UITextField::UITextField() {
  text_ = NSString::string();
  font_ = UIFont::systemFontOfSize(17);
  textColor_ = UIColor::blackColor();
}

void UITextField::setUpWithFrame(CGRect frame) {
  UIControl::setUpWithFrame(frame);
  setUp();
}

void UITextField::setUpWithCoder(CGRect frame) {
  UIControl::setUpWithCoder(frame);
  setUp();
}

void UITextField::setUp() {
  setOpaque(false);
  setContentMode(UIViewContentModeRedraw);
  clearButton_ = UIButton::buttonWithType(UIButtonTypeCustom);
  clearButton_->setImage(clearIcon(), UIControlStateNormal);
  clearButton_->setAccessibilityLabel("清除文本"_ns);
  clearButton_->addTarget(viewSelf(), SEL(&UITextField::clearTapped), UIControlEventTouchUpInside);
  clearButton_->setHidden(true);
  addSubview(clearButton_);
}

std::shared_ptr<UITextField> UITextField::fieldSelf() { return std::static_pointer_cast<UITextField>(viewSelf()); }

// --- text -------------------------------------------------------------------------------------

void UITextField::setText(const std::shared_ptr<NSString>& text) {
  zvt::ui::assertMainThread("UITextField::setText");
  text_ = text ? text->copy() : NSString::string();
  attributedText_.reset();
  replaceAllAtNextEdit_ = false;
  changed(false);
}

std::shared_ptr<NSAttributedString> UITextField::attributedText() const {
  if (attributedText_) return attributedText_;
  return NSAttributedString::initWithString(text_, attributes(textColor_));
}

void UITextField::setAttributedText(const std::shared_ptr<NSAttributedString>& text) {
  zvt::ui::assertMainThread("UITextField::setAttributedText");
  if (!text) {
    setText(nullptr);
    return;
  }
  attributedText_ = text->copy();
  text_ = attributedText_->string();
  replaceAllAtNextEdit_ = false;
  changed(false);
}

std::shared_ptr<NSString> UITextField::placeholder() const {
  return attributedPlaceholder_ ? attributedPlaceholder_->string() : nullptr;
}

void UITextField::setPlaceholder(const std::shared_ptr<NSString>& placeholder) {
  zvt::ui::assertMainThread("UITextField::setPlaceholder");
  attributedPlaceholder_ =
      placeholder ? NSAttributedString::initWithString(placeholder, attributes(defaultPlaceholderColor())) : nullptr;
  setNeedsDisplay();
  invalidateIntrinsicContentSize();
}

void UITextField::setAttributedPlaceholder(const std::shared_ptr<NSAttributedString>& placeholder) {
  zvt::ui::assertMainThread("UITextField::setAttributedPlaceholder");
  attributedPlaceholder_ = placeholder ? placeholder->copy() : nullptr;
  setNeedsDisplay();
  invalidateIntrinsicContentSize();
}

std::shared_ptr<UIColor> UITextField::placeholderColor() const {
  if (placeholderColor_) return placeholderColor_;
  if (attributedPlaceholder_ && attributedPlaceholder_->length() > 0)
    if (auto color = zvt::as<UIColor>(attributedPlaceholder_->attribute(NSForegroundColorAttributeName, 0, nullptr)))
      return color;
  return defaultPlaceholderColor();
}

void UITextField::setPlaceholderColor(const std::shared_ptr<UIColor>& color) {
  placeholderColor_ = color;
  setNeedsDisplay();
}

std::shared_ptr<NSDictionary> UITextField::attributes(const std::shared_ptr<UIColor>& color) const {
  auto style = NSMutableParagraphStyle::make();
  style->setAlignment(textAlignment_);
  style->setLineBreakMode(NSLineBreakByClipping);
  return NSDictionary::make(
      {{NSFontAttributeName, font_}, {NSForegroundColorAttributeName, color}, {NSParagraphStyleAttributeName, style}});
}

void UITextField::setFont(const std::shared_ptr<UIFont>& font) {
  font_ = font ? font : UIFont::systemFontOfSize(17);
  if (attributedText_ && attributedText_->length() > 0) {
    auto changedText = attributedText_->mutableCopy();
    changedText->addAttribute(NSFontAttributeName, font_, NSMakeRange(0, changedText->length()));
    attributedText_ = changedText;
  }
  if (attributedPlaceholder_ && attributedPlaceholder_->length() > 0) {
    auto changedPlaceholder = attributedPlaceholder_->mutableCopy();
    changedPlaceholder->addAttribute(NSFontAttributeName, font_, NSMakeRange(0, changedPlaceholder->length()));
    attributedPlaceholder_ = changedPlaceholder;
  }
  setNeedsDisplay();
  invalidateIntrinsicContentSize();
}

void UITextField::setTextColor(const std::shared_ptr<UIColor>& color) {
  textColor_ = color ? color : UIColor::blackColor();
  if (attributedText_ && attributedText_->length() > 0) {
    auto changedText = attributedText_->mutableCopy();
    changedText->addAttribute(NSForegroundColorAttributeName, textColor_, NSMakeRange(0, changedText->length()));
    attributedText_ = changedText;
  }
  setNeedsDisplay();
}

void UITextField::setTextAlignment(NSTextAlignment alignment) {
  textAlignment_ = alignment;
  setNeedsDisplay();
}

void UITextField::setSecureTextEntry(bool secure) {
  UITextInputTraits::setSecureTextEntry(secure);
  setNeedsDisplay();
}

void UITextField::changed(bool byUser) {
  updateSubviews();
  setNeedsDisplay();
  invalidateIntrinsicContentSize();
  if (!byUser) return;
  auto keep = fieldSelf();
  sendActions(UIControlEventEditingChanged, nullptr);
  NSNotificationCenter::defaultCenter()->postNotificationName(UITextFieldTextDidChangeNotification, keep);
}

// --- look -------------------------------------------------------------------------------------

void UITextField::setBorderStyle(UITextBorderStyle style) {
  borderStyle_ = style;
  if (style == UITextBorderStyleRoundedRect && !backgroundColor()) setBackgroundColor(UIColor::clearColor());
  setNeedsLayout();
  setNeedsDisplay();
  invalidateIntrinsicContentSize();
}

void UITextField::setBackground(const std::shared_ptr<UIImage>& image) {
  background_ = image;
  setNeedsDisplay();
}

void UITextField::setDisabledBackground(const std::shared_ptr<UIImage>& image) {
  disabledBackground_ = image;
  setNeedsDisplay();
}

void UITextField::setClearButtonMode(UITextFieldViewMode mode) {
  clearButtonMode_ = mode;
  updateSubviews();
}

void UITextField::setLeftView(const std::shared_ptr<UIView>& view) {
  if (leftView_ == view) return;
  if (leftView_) leftView_->removeFromSuperview();
  leftView_ = view;
  if (view) addSubview(view);
  updateSubviews();
}

void UITextField::setLeftViewMode(UITextFieldViewMode mode) {
  leftViewMode_ = mode;
  updateSubviews();
}

void UITextField::setRightView(const std::shared_ptr<UIView>& view) {
  if (rightView_ == view) return;
  if (rightView_) rightView_->removeFromSuperview();
  rightView_ = view;
  if (view) addSubview(view);
  updateSubviews();
}

void UITextField::setRightViewMode(UITextFieldViewMode mode) {
  rightViewMode_ = mode;
  updateSubviews();
}

void UITextField::setEnabled(bool enabled) {
  UIControl::setEnabled(enabled);
  setNeedsDisplay();
}

bool UITextField::showsInMode(UITextFieldViewMode mode) const {
  switch (mode) {
    case UITextFieldViewModeAlways: return true;
    case UITextFieldViewModeWhileEditing: return editing_;
    case UITextFieldViewModeUnlessEditing: return !editing_;
    default: return false;
  }
}

bool UITextField::clearButtonShown() const { return text_->length() > 0 && showsInMode(clearButtonMode_); }

void UITextField::updateSubviews() {
  if (!clearButton_) return;
  clearButton_->setHidden(!clearButtonShown());
  if (leftView_) leftView_->setHidden(!showsInMode(leftViewMode_));
  if (rightView_) rightView_->setHidden(!showsInMode(rightViewMode_));
  setNeedsLayout();
  setNeedsDisplay();
}

// --- rectangles -------------------------------------------------------------------------------

CGFloat UITextField::borderInset() const {
  switch (borderStyle_) {
    case UITextBorderStyleRoundedRect: return 7;
    case UITextBorderStyleLine:
    case UITextBorderStyleBezel: return 2;
    default: return 0;
  }
}

CGRect UITextField::borderRectForBounds(CGRect bounds) const { return bounds; }

CGRect UITextField::leftViewRectForBounds(CGRect bounds) const {
  if (!leftView_) return CGRectZero;
  CGSize size = leftView_->frame().size;
  return CGRectMake(bounds.origin.x, bounds.origin.y + (bounds.size.height - size.height) / 2, size.width, size.height);
}

CGRect UITextField::rightViewRectForBounds(CGRect bounds) const {
  if (!rightView_) return CGRectZero;
  CGSize size = rightView_->frame().size;
  return CGRectMake(CGRectGetMaxX(bounds) - size.width, bounds.origin.y + (bounds.size.height - size.height) / 2,
                    size.width, size.height);
}

CGRect UITextField::clearButtonRectForBounds(CGRect bounds) const {
  CGFloat right = CGRectGetMaxX(bounds) - kClearMargin;
  if (rightView_ && showsInMode(rightViewMode_)) right = rightViewRectForBounds(bounds).origin.x - kClearMargin;
  return CGRectMake(right - kClearSide, bounds.origin.y + (bounds.size.height - kClearSide) / 2, kClearSide, kClearSide);
}

CGRect UITextField::textRectForBounds(CGRect bounds) const {
  CGFloat inset = borderInset();
  CGFloat x0 = bounds.origin.x + inset, x1 = CGRectGetMaxX(bounds) - inset;
  if (leftView_ && showsInMode(leftViewMode_)) x0 = std::max(x0, CGRectGetMaxX(leftViewRectForBounds(bounds)));
  if (rightView_ && showsInMode(rightViewMode_)) x1 = std::min(x1, rightViewRectForBounds(bounds).origin.x);
  if (clearButtonShown()) x1 = std::min(x1, clearButtonRectForBounds(bounds).origin.x);
  return CGRectMake(x0, bounds.origin.y, std::max<CGFloat>(x1 - x0, 0), bounds.size.height);
}

CGRect UITextField::placeholderRectForBounds(CGRect bounds) const { return textRectForBounds(bounds); }

CGRect UITextField::editingRectForBounds(CGRect bounds) const { return textRectForBounds(bounds); }

void UITextField::layoutSubviews() {
  UIControl::layoutSubviews();
  CGRect b = bounds();
  if (leftView_) leftView_->setFrame(leftViewRectForBounds(b));
  if (rightView_) rightView_->setFrame(rightViewRectForBounds(b));
  clearButton_->setFrame(clearButtonRectForBounds(b));
  bringSubviewToFront(clearButton_);
}

// --- drawing ----------------------------------------------------------------------------------

std::shared_ptr<NSAttributedString> UITextField::shownText() const {
  if (isSecureTextEntry()) return NSAttributedString::initWithString(dots(text_), attributes(textColor_));
  return attributedText();
}

std::shared_ptr<NSAttributedString> UITextField::shownPlaceholder() const {
  if (!attributedPlaceholder_ || attributedPlaceholder_->length() == 0) return nullptr;
  if (!placeholderColor_) return attributedPlaceholder_;
  auto recoloured = attributedPlaceholder_->mutableCopy();
  recoloured->addAttribute(NSForegroundColorAttributeName, placeholderColor_, NSMakeRange(0, recoloured->length()));
  return recoloured;
}

void UITextField::drawLine(const std::shared_ptr<NSAttributedString>& text, CGRect rect, bool keepEndVisible) {
  auto context = UIGraphicsGetCurrentContext();
  if (!context || !text || text->length() == 0 || rect.size.width <= 0) return;
  zvt::text::TextLayoutOptions options;
  options.numberOfLines = 1;
  auto layout = zvt::text::TextLayout::layout(text, options);
  CGSize size = layout->size();
  CGFloat y;
  switch (contentVerticalAlignment()) {
    case UIControlContentVerticalAlignmentTop: y = rect.origin.y; break;
    case UIControlContentVerticalAlignmentBottom: y = CGRectGetMaxY(rect) - size.height; break;
    default: y = rect.origin.y + (rect.size.height - size.height) / 2; break;
  }
  CGContextSaveGState(context);
  CGContextClipToRect(context, rect);
  if (size.width > rect.size.width) {
    // Too long: the start shows, or the end (where the caret is) while editing.
    CGFloat x = keepEndVisible ? CGRectGetMaxX(rect) - size.width : rect.origin.x;
    auto left = text->mutableCopy();
    auto style = NSMutableParagraphStyle::make();
    style->setAlignment(NSTextAlignmentLeft);
    left->addAttribute(NSParagraphStyleAttributeName, style, NSMakeRange(0, left->length()));
    zvt::text::TextLayout::layout(left, options)->drawInRect(context, CGRectMake(x, y, size.width, size.height));
  } else {
    layout->drawInRect(context, CGRectMake(rect.origin.x, y, rect.size.width, size.height));
  }
  CGContextRestoreGState(context);
}

void UITextField::drawTextInRect(CGRect rect) { drawLine(shownText(), rect, editing_); }

void UITextField::drawPlaceholderInRect(CGRect rect) { drawLine(shownPlaceholder(), rect, false); }

void UITextField::drawRect(CGRect) {
  auto context = UIGraphicsGetCurrentContext();
  CGRect b = bounds();
  auto image = !isEnabled() && disabledBackground_ ? disabledBackground_ : background_;
  if (image) {
    image->drawInRect(borderRectForBounds(b));
  } else if (context) {
    CGRect border = CGRectInset(borderRectForBounds(b), 0.5, 0.5);
    switch (borderStyle_) {
      case UITextBorderStyleRoundedRect: {
        auto path = UIBezierPath::bezierPathWithRoundedRect(border, 5);
        UIColor::whiteColor()->setFill();
        path->fill();
        UIColor::colorWithWhite(0.8, 1)->setStroke();
        path->setLineWidth(1);
        path->stroke();
        break;
      }
      case UITextBorderStyleLine:
      case UITextBorderStyleBezel:
        CGContextSetGrayStrokeColor(context, borderStyle_ == UITextBorderStyleLine ? 0 : 0.5, 1);
        CGContextStrokeRectWithWidth(context, border, 1);
        break;
      default: break;
    }
  }
  if (text_->length() > 0) drawTextInRect(editing_ ? editingRectForBounds(b) : textRectForBounds(b));
  else drawPlaceholderInRect(placeholderRectForBounds(b));
}

// --- editing ----------------------------------------------------------------------------------

bool UITextField::canBecomeFirstResponder() const { return isEnabled(); }

bool UITextField::becomeFirstResponder() {
  zvt::ui::assertMainThread("UITextField::becomeFirstResponder");
  if (isFirstResponder()) return true;
  if (!canBecomeFirstResponder() || !mayBecomeFirstResponderNow()) return false;
  auto keep = fieldSelf();
  auto d = delegate();
  if (d && !d->textFieldShouldBeginEditing(keep)) return false;
  if (!UIControl::becomeFirstResponder()) return false;
  editing_ = true;
  replaceAllAtNextEdit_ = isSecureTextEntry() && text_->length() > 0;
  if (clearsOnBeginEditing_ && text_->length() > 0 && (!d || d->textFieldShouldClear(keep))) {
    text_ = NSString::string();
    attributedText_.reset();
    replaceAllAtNextEdit_ = false;
  }
  changed(false);
  if ((d = delegate())) d->textFieldDidBeginEditing(keep);
  sendActions(UIControlEventEditingDidBegin, nullptr);
  NSNotificationCenter::defaultCenter()->postNotificationName(UITextFieldTextDidBeginEditingNotification, keep);
  if (isFirstResponder()) zvt::ui::Keyboard::shared().show(keep);
  return true;
}

bool UITextField::resignFirstResponder() {
  zvt::ui::assertMainThread("UITextField::resignFirstResponder");
  if (!isFirstResponder()) return UIControl::resignFirstResponder();
  auto keep = fieldSelf();
  auto d = delegate();
  if (!UIResponder::isResigningByForce() && d && !d->textFieldShouldEndEditing(keep)) return false;
  UIControl::resignFirstResponder();
  editing_ = false;
  replaceAllAtNextEdit_ = false;
  changed(false);
  if ((d = delegate())) d->textFieldDidEndEditing(keep);
  sendActions(UIControlEventEditingDidEnd, nullptr);
  NSNotificationCenter::defaultCenter()->postNotificationName(UITextFieldTextDidEndEditingNotification, keep);
  zvt::ui::Keyboard::shared().hide(*this);
  return true;
}

void UITextField::endTrackingWithTouch(const std::shared_ptr<UITouch>& touch, const std::shared_ptr<UIEvent>& event) {
  UIControl::endTrackingWithTouch(touch, event);
  if (isTouchInside() && !isFirstResponder()) becomeFirstResponder();
}

bool UITextField::replace(NSRange range, const std::shared_ptr<NSString>& replacement) {
  auto keep = fieldSelf();
  if (auto d = delegate(); d && !d->textFieldShouldChangeCharactersInRange(keep, range, replacement)) return false;
  // The delegate may have changed the text meanwhile; the range is kept within it.
  NSUInteger length = text_->length();
  range.location = std::min(range.location, length);
  range.length = std::min(range.length, length - range.location);
  text_ = text_->stringByReplacingCharactersInRange(range, replacement);
  attributedText_.reset();
  replaceAllAtNextEdit_ = false;
  changed(true);
  return true;
}

void UITextField::insertText(const std::shared_ptr<NSString>& text) {
  zvt::ui::assertMainThread("UITextField::insertText");
  if (!editing_ || !text) return;
  auto keep = fieldSelf();
  if (text->isEqualToString("\n")) {
    if (auto d = delegate(); d && !d->textFieldShouldReturn(keep)) return;
    bool listens = (allControlEvents() & UIControlEventEditingDidEndOnExit) != 0;
    sendActions(UIControlEventEditingDidEndOnExit, nullptr);
    if (listens) resignFirstResponder();
    return;
  }
  NSUInteger length = text_->length();
  replace(replaceAllAtNextEdit_ ? NSMakeRange(0, length) : NSMakeRange(length, 0), text);
}

void UITextField::deleteBackward() {
  zvt::ui::assertMainThread("UITextField::deleteBackward");
  NSUInteger length = text_->length();
  if (!editing_ || length == 0) return;
  auto keep = fieldSelf();
  replace(replaceAllAtNextEdit_ ? NSMakeRange(0, length) : text_->rangeOfComposedCharacterSequenceAtIndex(length - 1),
          NSString::string());
}

void UITextField::clearTapped() {
  auto keep = fieldSelf();
  if (auto d = delegate(); d && !d->textFieldShouldClear(keep)) return;
  text_ = NSString::string();
  attributedText_.reset();
  replaceAllAtNextEdit_ = false;
  changed(true);
}

// --- size and what shows ----------------------------------------------------------------------

CGSize UITextField::intrinsicContentSize() const {
  auto text = text_->length() > 0 ? shownText() : shownPlaceholder();
  zvt::text::TextLayoutOptions options;
  options.numberOfLines = 1;
  CGFloat width = text ? zvt::text::TextLayout::sizeOf(text, options).width : 0;
  CGFloat inset = borderInset();
  width += 2 * inset;
  if (leftView_ && showsInMode(leftViewMode_)) width += leftView_->frame().size.width;
  if (rightView_ && showsInMode(rightViewMode_)) width += rightView_->frame().size.width;
  if (clearButtonShown()) width += kClearSide + kClearMargin;
  CGFloat height = font_->lineHeight();
  if (borderStyle_ == UITextBorderStyleRoundedRect) height = std::max<CGFloat>(30, height + 8);
  else if (borderStyle_ != UITextBorderStyleNone) height += 4;
  return zvt::ui::ceilToPixels(CGSizeMake(width, height));
}

CGSize UITextField::sizeThatFits(CGSize) const { return intrinsicContentSize(); }

std::vector<std::shared_ptr<NSString>> UITextField::visibleTexts() const {
  if (text_->length() > 0) return {isSecureTextEntry() ? dots(text_) : text_};
  if (auto p = placeholder(); p && p->length() > 0) return {p};
  return {};
}
