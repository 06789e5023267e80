#pragma once
// Text fields (UITextField): one line of editable text with a placeholder, a border, a clear
// button and views at either end, edited through the keyboard (UIKeyboard.h).
//
// Editing, in UIKit's order:
// - A tap inside the field (or becomeFirstResponder) asks the delegate's
//   textFieldShouldBeginEditing; NO leaves everything as it was (no keyboard, no
//   notification). Otherwise the field becomes first responder (the one before it resigns),
//   then: textFieldDidBeginEditing, UIControlEventEditingDidBegin,
//   UITextFieldTextDidBeginEditingNotification, and the keyboard is announced.
// - Each typed character, a deletion or a paste is one replacement of the selection (the
//   caret stays at the end of the text) asked of textFieldShouldChangeCharactersInRange; when
//   it answers YES the text changes, then UIControlEventEditingChanged and
//   UITextFieldTextDidChangeNotification. A deletion replaces the last composed character. A
//   secure field that begins editing with text replaces all of it at the first edit, as the
//   device does.
// - The return key asks textFieldShouldReturn; on YES the field sends
//   UIControlEventEditingDidEndOnExit and, when some target listens for that event, resigns.
// - The clear button (shown by clearButtonMode while there is text) asks textFieldShouldClear;
//   on YES the text empties, with EditingChanged and the change notification.
// - Resigning asks textFieldShouldEndEditing (not when forced by endEditing(true) or by
//   leaving the window); on YES: textFieldDidEndEditing, UIControlEventEditingDidEnd,
//   UITextFieldTextDidEndEditingNotification, and the keyboard goes unless another text input
//   takes over.
// Setting the text from code sends nothing.
//
// The placeholder shows while the text is empty, in placeholderColor (a public property where
// the device's code sets the private "_placeholderLabel.textColor"). Secure entry shows a dot
// per character. The device finds a field by what it shows: the text (its dots when secure),
// else the placeholder.

#include <memory>

#include "platform/foundation/NSNotificationCenter.h"
#include "platform/text/NSAttributedString.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIControl.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UITextInput.h"

class UITextField;

inline const zvt::StaticString UITextFieldTextDidBeginEditingNotification{"UITextFieldTextDidBeginEditingNotification"};
inline const zvt::StaticString UITextFieldTextDidEndEditingNotification{"UITextFieldTextDidEndEditingNotification"};
inline const zvt::StaticString UITextFieldTextDidChangeNotification{"UITextFieldTextDidChangeNotification"};

enum UITextBorderStyle : NSInteger {
  UITextBorderStyleNone,
  UITextBorderStyleLine,
  UITextBorderStyleBezel,
  UITextBorderStyleRoundedRect,
};

enum UITextFieldViewMode : NSInteger {
  UITextFieldViewModeNever,
  UITextFieldViewModeWhileEditing,
  UITextFieldViewModeUnlessEditing,
  UITextFieldViewModeAlways,
};

// UITextFieldDelegate: the defaults answer as the device does for a delegate without the
// method.
class UITextFieldDelegate {
 public:
  virtual ~UITextFieldDelegate() = default;
  virtual bool textFieldShouldBeginEditing(const std::shared_ptr<UITextField>& /*textField*/) { return true; }
  virtual void textFieldDidBeginEditing(const std::shared_ptr<UITextField>& /*textField*/) {}
  virtual bool textFieldShouldEndEditing(const std::shared_ptr<UITextField>& /*textField*/) { return true; }
  virtual void textFieldDidEndEditing(const std::shared_ptr<UITextField>& /*textField*/) {}
  // textField:shouldChangeCharactersInRange:replacementString:
  virtual bool textFieldShouldChangeCharactersInRange(const std::shared_ptr<UITextField>& /*textField*/,
                                                      NSRange /*range*/, const std::shared_ptr<NSString>& /*string*/) {
    return true;
  }
  virtual bool textFieldShouldClear(const std::shared_ptr<UITextField>& /*textField*/) { return true; }
  virtual bool textFieldShouldReturn(const std::shared_ptr<UITextField>& /*textField*/) { return true; }
};

class UITextField : public UIControl, public UIKeyInput, public UITextInputTraits, public zvt::ui::KeyboardClient {
 public:
  UITextField();
  static std::shared_ptr<UITextField> initWithFrame(CGRect frame) { return makeView<UITextField>(frame); }
  static std::shared_ptr<UITextField> make() { return makeView<UITextField>(CGRectZero); }
  void setUpWithFrame(CGRect frame) override;
  void setUpWithCoder(CGRect frame) override;

  // --- text (never nil: the empty text when none)
  std::shared_ptr<NSString> text() const { return text_; }
  void setText(const std::shared_ptr<NSString>& text);
  // The text with the field's attributes, or as set.
  std::shared_ptr<NSAttributedString> attributedText() const;
  void setAttributedText(const std::shared_ptr<NSAttributedString>& text);
  std::shared_ptr<NSString> placeholder() const;
  void setPlaceholder(const std::shared_ptr<NSString>& placeholder);
  const std::shared_ptr<NSAttributedString>& attributedPlaceholder() const { return attributedPlaceholder_; }
  void setAttributedPlaceholder(const std::shared_ptr<NSAttributedString>& placeholder);
  // Ours, for the private "_placeholderLabel.textColor": the colour of the whole placeholder
  // (nil: the colours it was given, else the device's 22% dark blue-grey).
  std::shared_ptr<UIColor> placeholderColor() const;
  void setPlaceholderColor(const std::shared_ptr<UIColor>& color);

  // The system font of 17 points unless set.
  const std::shared_ptr<UIFont>& font() const { return font_; }
  void setFont(const std::shared_ptr<UIFont>& font);
  // Black unless set.
  const std::shared_ptr<UIColor>& textColor() const { return textColor_; }
  void setTextColor(const std::shared_ptr<UIColor>& color);
  NSTextAlignment textAlignment() const { return textAlignment_; }
  void setTextAlignment(NSTextAlignment alignment);
  void setSecureTextEntry(bool secure) override;
  // Kept; the text is not shrunk.
  bool adjustsFontSizeToFitWidth() const { return adjustsFontSizeToFitWidth_; }
  void setAdjustsFontSizeToFitWidth(bool adjusts) { adjustsFontSizeToFitWidth_ = adjusts; }
  CGFloat minimumFontSize() const { return minimumFontSize_; }
  void setMinimumFontSize(CGFloat size) { minimumFontSize_ = size; }

  // --- look
  UITextBorderStyle borderStyle() const { return borderStyle_; }
  void setBorderStyle(UITextBorderStyle style);
  const std::shared_ptr<UIImage>& background() const { return background_; }
  void setBackground(const std::shared_ptr<UIImage>& image);
  const std::shared_ptr<UIImage>& disabledBackground() const { return disabledBackground_; }
  void setDisabledBackground(const std::shared_ptr<UIImage>& image);
  UITextFieldViewMode clearButtonMode() const { return clearButtonMode_; }
  void setClearButtonMode(UITextFieldViewMode mode);
  // The text empties when editing begins (asking textFieldShouldClear).
  bool clearsOnBeginEditing() const { return clearsOnBeginEditing_; }
  void setClearsOnBeginEditing(bool clears) { clearsOnBeginEditing_ = clears; }
  const std::shared_ptr<UIView>& leftView() const { return leftView_; }
  void setLeftView(const std::shared_ptr<UIView>& view);
  UITextFieldViewMode leftViewMode() const { return leftViewMode_; }
  void setLeftViewMode(UITextFieldViewMode mode);
  const std::shared_ptr<UIView>& rightView() const { return rightView_; }
  void setRightView(const std::shared_ptr<UIView>& view);
  UITextFieldViewMode rightViewMode() const { return rightViewMode_; }
  void setRightViewMode(UITextFieldViewMode mode);
  // Ours: the clear button (its accessibility label is "清除文本"), for tests that tap it.
  const std::shared_ptr<UIButton>& clearButton() const { return clearButton_; }

  // --- rectangles (bounds coordinates); subclasses move the text by overriding them
  virtual CGRect borderRectForBounds(CGRect bounds) const;
  virtual CGRect textRectForBounds(CGRect bounds) const;
  virtual CGRect placeholderRectForBounds(CGRect bounds) const;
  virtual CGRect editingRectForBounds(CGRect bounds) const;
  virtual CGRect clearButtonRectForBounds(CGRect bounds) const;
  virtual CGRect leftViewRectForBounds(CGRect bounds) const;
  virtual CGRect rightViewRectForBounds(CGRect bounds) const;
  virtual void drawTextInRect(CGRect rect);
  virtual void drawPlaceholderInRect(CGRect rect);
  void drawRect(CGRect rect) override;

  // --- editing
  std::shared_ptr<UITextFieldDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<UITextFieldDelegate>& delegate) { delegate_ = delegate; }
  bool isEditing() const { return editing_; }
  bool canBecomeFirstResponder() const override;
  bool becomeFirstResponder() override;
  bool resignFirstResponder() override;

  // --- UIKeyInput (the keyboard types here)
  bool hasText() const override { return text_->length() > 0; }
  void insertText(const std::shared_ptr<NSString>& text) override;
  void deleteBackward() override;

  void setEnabled(bool enabled) override;
  void layoutSubviews() override;
  CGSize sizeThatFits(CGSize size) const override;
  CGSize intrinsicContentSize() const override;
  std::vector<std::shared_ptr<NSString>> visibleTexts() const override;

 protected:
  // A tap in the field is the field's (the recognisers of the views around it leave it).
  bool takesTapsBeforeRecognizers() const override { return true; }
  void endTrackingWithTouch(const std::shared_ptr<UITouch>& touch, const std::shared_ptr<UIEvent>& event) override;

 private:
  void setUp();
  std::shared_ptr<UITextField> fieldSelf();
  // Replaces the range as typed (asking the delegate); returns whether it did.
  bool replace(NSRange range, const std::shared_ptr<NSString>& replacement);
  void changed(bool byUser);
  void clearTapped();
  bool showsInMode(UITextFieldViewMode mode) const;
  bool clearButtonShown() const;
  std::shared_ptr<NSAttributedString> shownText() const;
  std::shared_ptr<NSAttributedString> shownPlaceholder() const;
  std::shared_ptr<NSDictionary> attributes(const std::shared_ptr<UIColor>& color) const;
  void drawLine(const std::shared_ptr<NSAttributedString>& text, CGRect rect, bool keepEndVisible);
  void updateSubviews();
  CGFloat borderInset() const;

  std::shared_ptr<NSString> text_;
  std::shared_ptr<NSAttributedString> attributedText_;  // as set, else nil
  std::shared_ptr<NSAttributedString> attributedPlaceholder_;
  std::shared_ptr<UIColor> placeholderColor_;
  std::shared_ptr<UIFont> font_;
  std::shared_ptr<UIColor> textColor_;
  NSTextAlignment textAlignment_ = NSTextAlignmentNatural;
  UITextBorderStyle borderStyle_ = UITextBorderStyleNone;
  std::shared_ptr<UIImage> background_, disabledBackground_;
  UITextFieldViewMode clearButtonMode_ = UITextFieldViewModeNever;
  UITextFieldViewMode leftViewMode_ = UITextFieldViewModeNever;
  UITextFieldViewMode rightViewMode_ = UITextFieldViewModeNever;
  std::shared_ptr<UIView> leftView_, rightView_;
  std::shared_ptr<UIButton> clearButton_;
  std::weak_ptr<UITextFieldDelegate> delegate_;
  CGFloat minimumFontSize_ = 0;
  bool adjustsFontSizeToFitWidth_ = false;
  bool clearsOnBeginEditing_ = false;
  bool editing_ = false;
  // A secure field that began editing with text replaces all of it at the first edit.
  bool replaceAllAtNextEdit_ = false;
};
