#pragma once
// Text views (UITextView): editable text over several lines, wrapped at the view's width and
// moved up so that the insertion point stays in view.
//
// Editing follows the text field's order (UITextField.h) with the text view's delegate: a tap
// asks textViewShouldBeginEditing (only when editable), then the text view becomes first
// responder, textViewDidBeginEditing, UITextViewTextDidBeginEditingNotification and the
// keyboard. Every typed character (the return key types a line break), deletion or paste is a
// replacement of the selected range asked of textViewShouldChangeTextInRange; a change calls
// textViewDidChange and posts UITextViewTextDidChangeNotification. The insertion point is
// selectedRange (the end of the text after setText). Resigning asks textViewShouldEndEditing
// unless forced.
//
// The text is laid out within the width less textContainerInset (8 points above and below by
// default) and 5 points of line fragment padding on each side; contentSize is what it needs.
// The device finds a text view by its text.

#include <memory>

#include "platform/foundation/NSNotificationCenter.h"
#include "platform/text/NSAttributedString.h"
#include "platform/text/NSParagraphStyle.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UITextInput.h"
#include "platform/uikit/UIView.h"

class UITextView;

inline const zvt::StaticString UITextViewTextDidBeginEditingNotification{"UITextViewTextDidBeginEditingNotification"};
inline const zvt::StaticString UITextViewTextDidChangeNotification{"UITextViewTextDidChangeNotification"};
inline const zvt::StaticString UITextViewTextDidEndEditingNotification{"UITextViewTextDidEndEditingNotification"};

// UITextViewDelegate; the defaults answer as the device does for a delegate without the method.
class UITextViewDelegate {
 public:
  virtual ~UITextViewDelegate() = default;
  virtual bool textViewShouldBeginEditing(const std::shared_ptr<UITextView>& /*textView*/) { return true; }
  virtual bool textViewShouldEndEditing(const std::shared_ptr<UITextView>& /*textView*/) { return true; }
  virtual void textViewDidBeginEditing(const std::shared_ptr<UITextView>& /*textView*/) {}
  virtual void textViewDidEndEditing(const std::shared_ptr<UITextView>& /*textView*/) {}
  // textView:shouldChangeTextInRange:replacementText:
  virtual bool textViewShouldChangeTextInRange(const std::shared_ptr<UITextView>& /*textView*/, NSRange /*range*/,
                                               const std::shared_ptr<NSString>& /*text*/) {
    return true;
  }
  virtual void textViewDidChange(const std::shared_ptr<UITextView>& /*textView*/) {}
  virtual void textViewDidChangeSelection(const std::shared_ptr<UITextView>& /*textView*/) {}
};

class UITextView : public UIView, public UIKeyInput, public UITextInputTraits, public zvt::ui::KeyboardClient {
 public:
  UITextView();
  static std::shared_ptr<UITextView> initWithFrame(CGRect frame) { return makeView<UITextView>(frame); }
  static std::shared_ptr<UITextView> make() { return makeView<UITextView>(CGRectZero); }
  void setUpWithFrame(CGRect frame) override;
  void setUpWithCoder(CGRect frame) override;

  // Never nil.
  std::shared_ptr<NSString> text() const { return text_; }
  void setText(const std::shared_ptr<NSString>& text);
  std::shared_ptr<NSAttributedString> attributedText() const;
  void setAttributedText(const std::shared_ptr<NSAttributedString>& text);
  // The system font of 12 points unless set.
  const std::shared_ptr<UIFont>& font() const { return font_; }
  void setFont(const std::shared_ptr<UIFont>& font);
  const std::shared_ptr<UIColor>& textColor() const { return textColor_; }
  void setTextColor(const std::shared_ptr<UIColor>& color);
  NSTextAlignment textAlignment() const { return textAlignment_; }
  void setTextAlignment(NSTextAlignment alignment);
  bool isEditable() const { return editable_; }
  void setEditable(bool editable);
  bool isSelectable() const { return selectable_; }
  void setSelectable(bool selectable) { selectable_ = selectable; }
  NSRange selectedRange() const { return selectedRange_; }
  void setSelectedRange(NSRange range);
  UIEdgeInsets textContainerInset() const { return textContainerInset_; }
  void setTextContainerInset(UIEdgeInsets inset);

  // --- scrolling: what the text needs, and how far it is moved up
  CGSize contentSize() const { return contentSize_; }
  CGPoint contentOffset() const { return contentOffset_; }
  void setContentOffset(CGPoint offset);
  void scrollRangeToVisible(NSRange range);

  std::shared_ptr<UITextViewDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<UITextViewDelegate>& delegate) { delegate_ = delegate; }
  bool isEditing() const { return editing_; }
  bool canBecomeFirstResponder() const override { return editable_; }
  bool becomeFirstResponder() override;
  bool resignFirstResponder() override;

  bool hasText() const override { return text_->length() > 0; }
  void insertText(const std::shared_ptr<NSString>& text) override;
  void deleteBackward() override;

  void touchesBegan(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override;
  void touchesEnded(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override;
  void touchesCancelled(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override;
  // A tap in the text view is the text view's.
  bool gestureRecognizerShouldBegin(const std::shared_ptr<UIGestureRecognizer>& recognizer) override;
  void layoutSubviews() override;
  CGSize sizeThatFits(CGSize size) const override;
  std::vector<std::shared_ptr<NSString>> visibleTexts() const override;

 private:
  class ContentView;
  void setUp();
  std::shared_ptr<UITextView> textViewSelf();
  std::shared_ptr<NSAttributedString> shownText() const;
  CGSize textSize(CGFloat width) const;
  void replace(NSRange range, const std::shared_ptr<NSString>& replacement);
  void textChanged();

  std::shared_ptr<NSString> text_;
  std::shared_ptr<NSAttributedString> attributedText_;  // as set, else nil
  std::shared_ptr<UIFont> font_;
  std::shared_ptr<UIColor> textColor_;
  NSTextAlignment textAlignment_ = NSTextAlignmentNatural;
  NSRange selectedRange_{0, 0};
  UIEdgeInsets textContainerInset_ = UIEdgeInsetsMake(8, 0, 8, 0);
  CGSize contentSize_ = CGSizeZero;
  CGPoint contentOffset_ = CGPointZero;
  std::shared_ptr<ContentView> content_;
  std::weak_ptr<UITextViewDelegate> delegate_;
  std::weak_ptr<UITouch> tapTouch_;
  bool editable_ = true;
  bool selectable_ = true;
  bool editing_ = false;
};
