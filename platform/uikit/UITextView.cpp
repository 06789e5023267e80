#include "platform/uikit/UITextView.h"

#include <algorithm>
#include <cmath>

#include "platform/graphics/UIImage.h"
#include "platform/text/NSParagraphStyle.h"
#include "platform/text/TextLayout.h"
#include "platform/uikit/UIEvent.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UIKitMainThread.h"
#include "platform/uikit/UILabel.h"

namespace {
constexpr CGFloat kLineFragmentPadding = 5;
constexpr CGFloat kTapSlop = 10;
}  // namespace

// The text itself, as tall as it needs; the text view moves it up to keep the insertion point
// in view.
class UITextView::ContentView : public UIView {
 public:
  std::weak_ptr<UITextView> owner;
  void drawRect(CGRect) override {
    auto view = owner.lock();
    auto context = UIGraphicsGetCurrentContext();
    if (!view || !context) return;
    auto text = view->shownText();
    if (text->length() == 0) return;
    UIEdgeInsets inset = view->textContainerInset_;
    CGFloat width = bounds().size.width - inset.left - inset.right - 2 * kLineFragmentPadding;
    zvt::text::TextLayoutOptions options;
    options.width = std::max<CGFloat>(width, 1);
    auto layout = zvt::text::TextLayout::layout(text, options);
    layout->drawInRect(context, CGRectMake(inset.left + kLineFragmentPadding, inset.top, options.width,
                                           layout->size().height));
  }
};

UITextView::UITextView() {
  text_ = NSString::string();
  font_ = UIFont::systemFontOfSize(12);
  textColor_ = UIColor::blackColor();
}

void UITextView::setUpWithFrame(CGRect frame) {
  UIView::setUpWithFrame(frame);
  setUp();
}

void UITextView::setUpWithCoder(CGRect frame) {
  UIView::setUpWithCoder(frame);
  setUp();
}

void UITextView::setUp() {
  setClipsToBounds(true);
  setBackgroundColor(UIColor::whiteColor());
  content_ = UIView::makeView<ContentView>(CGRectZero);
  content_->owner = textViewSelf();
  content_->setOpaque(false);
  content_->setUserInteractionEnabled(false);
  content_->setContentMode(UIViewContentModeRedraw);
  addSubview(content_);
  textChanged();
}

std::shared_ptr<UITextView> UITextView::textViewSelf() { return std::static_pointer_cast<UITextView>(viewSelf()); }

// --- text -------------------------------------------------------------------------------------

std::shared_ptr<NSAttributedString> UITextView::shownText() const {
  if (attributedText_) return attributedText_;
  auto style = NSMutableParagraphStyle::make();
  style->setAlignment(textAlignment_);
  return NSAttributedString::initWithString(
      text_, NSDictionary::make({{NSFontAttributeName, font_},
                                 {NSForegroundColorAttributeName, textColor_},
                                 {NSParagraphStyleAttributeName, style}}));
}

std::shared_ptr<NSAttributedString> UITextView::attributedText() const { return shownText(); }

void UITextView::setText(const std::shared_ptr<NSString>& text) {
  zvt::ui::assertMainThread("UITextView::setText");
  text_ = text ? text->copy() : NSString::string();
  attributedText_.reset();
  selectedRange_ = NSMakeRange(text_->length(), 0);
  textChanged();
}

void UITextView::setAttributedText(const std::shared_ptr<NSAttributedString>& text) {
  zvt::ui::assertMainThread("UITextView::setAttributedText");
  if (!text) {
    setText(nullptr);
    return;
  }
  attributedText_ = text->copy();
  text_ = attributedText_->string();
  selectedRange_ = NSMakeRange(text_->length(), 0);
  textChanged();
}

void UITextView::setFont(const std::shared_ptr<UIFont>& font) {
  font_ = font ? font : UIFont::systemFontOfSize(12);
  attributedText_.reset();
  textChanged();
}

void UITextView::setTextColor(const std::shared_ptr<UIColor>& color) {
  textColor_ = color ? color : UIColor::blackColor();
  attributedText_.reset();
  textChanged();
}

void UITextView::setTextAlignment(NSTextAlignment alignment) {
  textAlignment_ = alignment;
  textChanged();
}

void UITextView::setEditable(bool editable) {
  editable_ = editable;
  if (!editable && isFirstResponder()) resignFirstResponder();
}

void UITextView::setSelectedRange(NSRange range) {
  NSUInteger length = text_->length();
  range.location = std::min(range.location, length);
  range.length = std::min(range.length, length - range.location);
  selectedRange_ = range;
  if (auto d = delegate()) d->textViewDidChangeSelection(textViewSelf());
}

void UITextView::setTextContainerInset(UIEdgeInsets inset) {
  textContainerInset_ = inset;
  textChanged();
}

CGSize UITextView::textSize(CGFloat width) const {
  auto text = shownText();
  if (text->length() == 0) return CGSizeMake(0, font_->lineHeight());
  zvt::text::TextLayoutOptions options;
  options.width = std::max<CGFloat>(width - textContainerInset_.left - textContainerInset_.right - 2 * kLineFragmentPadding, 1);
  return zvt::text::TextLayout::sizeOf(text, options);
}

void UITextView::textChanged() {
  if (!content_) return;
  CGFloat width = bounds().size.width;
  CGSize text = textSize(width);
  contentSize_ = CGSizeMake(width, zvt::ui::ceilToPixels(text.height + textContainerInset_.top + textContainerInset_.bottom));
  content_->setNeedsDisplay();
  setNeedsLayout();
}

// --- scrolling --------------------------------------------------------------------------------

void UITextView::setContentOffset(CGPoint offset) {
  CGFloat maxY = std::max<CGFloat>(contentSize_.height - bounds().size.height, 0);
  offset.x = 0;
  offset.y = std::clamp<CGFloat>(offset.y, 0, maxY);
  if (offset == contentOffset_) return;
  contentOffset_ = offset;
  setNeedsLayout();
}

void UITextView::scrollRangeToVisible(NSRange range) {
  // The insertion point lies at the end of the laid-out text up to the range.
  auto upTo = text_->substringToIndex(std::min<NSUInteger>(range.location + range.length, text_->length()));
  CGFloat width = bounds().size.width;
  zvt::text::TextLayoutOptions options;
  options.width = std::max<CGFloat>(width - textContainerInset_.left - textContainerInset_.right - 2 * kLineFragmentPadding, 1);
  auto prefix = NSAttributedString::initWithString(upTo->length() > 0 ? upTo : " "_ns,
                                                   NSDictionary::make({{NSFontAttributeName, font_}}));
  CGFloat bottom = textContainerInset_.top + zvt::text::TextLayout::sizeOf(prefix, options).height +
                   textContainerInset_.bottom;
  CGFloat height = bounds().size.height;
  if (bottom > contentOffset_.y + height) setContentOffset(CGPointMake(0, bottom - height));
  else if (bottom - font_->lineHeight() - textContainerInset_.top < contentOffset_.y)
    setContentOffset(CGPointMake(0, std::max<CGFloat>(bottom - font_->lineHeight() - textContainerInset_.top, 0)));
}

void UITextView::layoutSubviews() {
  UIView::layoutSubviews();
  CGRect b = bounds();
  if (contentSize_.width != b.size.width) {
    textChanged();
    return layoutSubviews();
  }
  content_->setFrame(CGRectMake(0, -contentOffset_.y, b.size.width, std::max(contentSize_.height, b.size.height)));
}

CGSize UITextView::sizeThatFits(CGSize size) const {
  CGFloat width = size.width > 0 ? size.width : bounds().size.width;
  CGSize text = textSize(width);
  return zvt::ui::ceilToPixels(CGSizeMake(width, text.height + textContainerInset_.top + textContainerInset_.bottom));
}

std::vector<std::shared_ptr<NSString>> UITextView::visibleTexts() const {
  if (text_->length() == 0) return {};
  return {text_};
}

// --- editing ----------------------------------------------------------------------------------

bool UITextView::becomeFirstResponder() {
  zvt::ui::assertMainThread("UITextView::becomeFirstResponder");
  if (isFirstResponder()) return true;
  if (!canBecomeFirstResponder() || !mayBecomeFirstResponderNow()) return false;
  auto keep = textViewSelf();
  auto d = delegate();
  if (d && !d->textViewShouldBeginEditing(keep)) return false;
  if (!UIView::becomeFirstResponder()) return false;
  editing_ = true;
  if ((d = delegate())) d->textViewDidBeginEditing(keep);
  NSNotificationCenter::defaultCenter()->postNotificationName(UITextViewTextDidBeginEditingNotification, keep);
  if (isFirstResponder()) zvt::ui::Keyboard::shared().show(keep);
  return true;
}

bool UITextView::resignFirstResponder() {
  zvt::ui::assertMainThread("UITextView::resignFirstResponder");
  if (!isFirstResponder()) return UIView::resignFirstResponder();
  auto keep = textViewSelf();
  auto d = delegate();
  if (!UIResponder::isResigningByForce() && d && !d->textViewShouldEndEditing(keep)) return false;
  UIView::resignFirstResponder();
  editing_ = false;
  if ((d = delegate())) d->textViewDidEndEditing(keep);
  NSNotificationCenter::defaultCenter()->postNotificationName(UITextViewTextDidEndEditingNotification, keep);
  zvt::ui::Keyboard::shared().hide(*this);
  return true;
}

void UITextView::replace(NSRange range, const std::shared_ptr<NSString>& replacement) {
  auto keep = textViewSelf();
  if (auto d = delegate(); d && !d->textViewShouldChangeTextInRange(keep, range, replacement)) return;
  NSUInteger length = text_->length();
  range.location = std::min(range.location, length);
  range.length = std::min(range.length, length - range.location);
  text_ = text_->stringByReplacingCharactersInRange(range, replacement);
  attributedText_.reset();
  selectedRange_ = NSMakeRange(range.location + replacement->length(), 0);
  textChanged();
  scrollRangeToVisible(selectedRange_);
  if (auto d = delegate()) d->textViewDidChange(keep);
  NSNotificationCenter::defaultCenter()->postNotificationName(UITextViewTextDidChangeNotification, keep);
}

void UITextView::insertText(const std::shared_ptr<NSString>& text) {
  zvt::ui::assertMainThread("UITextView::insertText");
  if (!editing_ || !text) return;
  replace(selectedRange_, text);
}

void UITextView::deleteBackward() {
  zvt::ui::assertMainThread("UITextView::deleteBackward");
  if (!editing_) return;
  NSRange range = selectedRange_;
  if (range.length == 0) {
    if (range.location == 0) return;
    range = text_->rangeOfComposedCharacterSequenceAtIndex(range.location - 1);
  }
  replace(range, NSString::string());
}

// --- touches ----------------------------------------------------------------------------------

void UITextView::touchesBegan(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>&) {
  tapTouch_ = std::dynamic_pointer_cast<UITouch>(touches ? touches->anyObject() : nullptr);
}

void UITextView::touchesEnded(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>&) {
  auto touch = tapTouch_.lock();
  tapTouch_.reset();
  if (!touch || !touches || !touches->containsObject(touch)) return;
  CGPoint p = touch->locationInView(viewSelf());
  if (!CGRectContainsPoint(CGRectInset(bounds(), -kTapSlop, -kTapSlop), p)) return;
  if (editable_ && !isFirstResponder()) {
    if (becomeFirstResponder()) selectedRange_ = NSMakeRange(text_->length(), 0);
  }
}

void UITextView::touchesCancelled(const std::shared_ptr<NSSet>&, const std::shared_ptr<UIEvent>&) { tapTouch_.reset(); }

bool UITextView::gestureRecognizerShouldBegin(const std::shared_ptr<UIGestureRecognizer>& recognizer) {
  auto tap = std::dynamic_pointer_cast<UITapGestureRecognizer>(recognizer);
  if (!editable_ || !tap || tap->view().get() == this) return true;
  return !(tap->numberOfTapsRequired() == 1 && tap->numberOfTouchesRequired() == 1);
}
