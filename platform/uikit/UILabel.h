#pragma once
// Labels (UILabel): read-only text in a view, laid out and drawn through the text layout
// (platform/text/TextLayout.h) in the label's bounds.
//
// The text is kept as an attributed string. Setting `text` makes one from the label's font,
// colour, alignment, line break mode and shadow; setting `attributedText` keeps the string as
// given, and a later change of the font, colour, alignment or line break mode applies to the
// whole of it, as on the device. Drawing centres the laid-out lines vertically in the bounds;
// lines that do not fit the bounds' height (or numberOfLines) are left out, the last one kept
// ending in an ellipsis under a truncating line break mode.
//
// Sizes (sizeThatFits, intrinsicContentSize) are those of the laid-out text, rounded up to the
// screen's pixels; an empty label fits in no space. A single-line label fits its whole text
// whatever width it is offered; a multi-line label wraps within the offered width (the
// preferred maximum layout width, else its own width, for the intrinsic size).
//
// A label takes no touches unless told to. Its text is what the device finds it by.

#include <memory>

#include "platform/graphics/UIColor.h"
#include "platform/text/NSAttributedString.h"
#include "platform/text/NSParagraphStyle.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UIView.h"

enum UIBaselineAdjustment : NSInteger {
  UIBaselineAdjustmentAlignBaselines,
  UIBaselineAdjustmentAlignCenters,
  UIBaselineAdjustmentNone,
};

class UILabel : public UIView {
 public:
  UILabel();
  static std::shared_ptr<UILabel> initWithFrame(CGRect frame) { return makeView<UILabel>(frame); }
  static std::shared_ptr<UILabel> make() { return makeView<UILabel>(CGRectZero); }
  void setUpWithFrame(CGRect frame) override;
  void setUpWithCoder(CGRect frame) override;

  // nil until set; setting nil empties the label.
  std::shared_ptr<NSString> text() const;
  void setText(const std::shared_ptr<NSString>& text);
  // The text with its attributes (made from the label's settings when `text` was set).
  std::shared_ptr<NSAttributedString> attributedText() const;
  void setAttributedText(const std::shared_ptr<NSAttributedString>& text);

  // The system font of 17 points unless set; nil sets that font back.
  const std::shared_ptr<UIFont>& font() const { return font_; }
  void setFont(const std::shared_ptr<UIFont>& font);
  // Black unless set; nil sets black.
  const std::shared_ptr<UIColor>& textColor() const { return textColor_; }
  void setTextColor(const std::shared_ptr<UIColor>& color);
  NSTextAlignment textAlignment() const { return textAlignment_; }
  void setTextAlignment(NSTextAlignment alignment);
  // NSLineBreakByTruncatingTail unless set.
  NSLineBreakMode lineBreakMode() const { return lineBreakMode_; }
  void setLineBreakMode(NSLineBreakMode mode);
  // 1 unless set; 0 means as many as the text needs.
  NSInteger numberOfLines() const { return numberOfLines_; }
  void setNumberOfLines(NSInteger lines);
  // A single-line text too wide for the bounds is drawn in a smaller font, down to the font's
  // size times minimumScaleFactor (0, the default, does not shrink), before it is truncated.
  bool adjustsFontSizeToFitWidth() const { return adjustsFontSizeToFitWidth_; }
  void setAdjustsFontSizeToFitWidth(bool adjusts);
  CGFloat minimumScaleFactor() const { return minimumScaleFactor_; }
  void setMinimumScaleFactor(CGFloat factor);
  UIBaselineAdjustment baselineAdjustment() const { return baselineAdjustment_; }
  void setBaselineAdjustment(UIBaselineAdjustment adjustment) { baselineAdjustment_ = adjustment; }
  // The width a multi-line label wraps at for its intrinsic size (0: its own width).
  CGFloat preferredMaxLayoutWidth() const { return preferredMaxLayoutWidth_; }
  void setPreferredMaxLayoutWidth(CGFloat width);
  // A disabled label draws its text in grey; a highlighted one in highlightedTextColor when set.
  bool isEnabled() const { return enabled_; }
  void setEnabled(bool enabled);
  bool isHighlighted() const { return highlighted_; }
  void setHighlighted(bool highlighted);
  const std::shared_ptr<UIColor>& highlightedTextColor() const { return highlightedTextColor_; }
  void setHighlightedTextColor(const std::shared_ptr<UIColor>& color);
  // No shadow unless a colour is set; the offset is (0, -1) unless set.
  const std::shared_ptr<UIColor>& shadowColor() const { return shadowColor_; }
  void setShadowColor(const std::shared_ptr<UIColor>& color);
  CGSize shadowOffset() const { return shadowOffset_; }
  void setShadowOffset(CGSize offset);

  // Where the text lies when laid out in the bounds with at most that many lines (0: any): a
  // rectangle at the bounds' origin of the text's size.
  virtual CGRect textRectForBounds(CGRect bounds, NSInteger numberOfLines) const;
  // Draws the text in the rectangle, its lines centred vertically. Subclasses override it to
  // move the text (insets) and call the base.
  virtual void drawTextInRect(CGRect rect);
  void drawRect(CGRect rect) override;

  CGSize sizeThatFits(CGSize size) const override;
  CGSize intrinsicContentSize() const override;
  std::vector<std::shared_ptr<NSString>> visibleTexts() const override;

  // Ours: a control's own label (a button's title) leaves the text to the control, so that the
  // device finds the control by it, and has the control lay out again when its text or font
  // changes.
  void setOwnedByControl(bool owned) { ownedByControl_ = owned; }

 protected:
  void boundsDidChange(CGRect oldBounds) override;

 private:
  // What is laid out: the text as set, with the state's colour.
  std::shared_ptr<NSAttributedString> shownText() const;
  std::shared_ptr<NSDictionary> plainAttributes(const std::shared_ptr<UIColor>& color) const;
  void applyToAll(const std::shared_ptr<NSString>& name, const id& value);
  void textChanged();

  std::shared_ptr<NSString> text_;
  std::shared_ptr<NSAttributedString> attributed_;  // set by setAttributedText (else nil)
  mutable std::shared_ptr<NSAttributedString> cached_;
  std::shared_ptr<UIFont> font_;
  std::shared_ptr<UIColor> textColor_;
  std::shared_ptr<UIColor> highlightedTextColor_;
  std::shared_ptr<UIColor> shadowColor_;
  CGSize shadowOffset_ = CGSizeMake(0, -1);
  NSTextAlignment textAlignment_ = NSTextAlignmentNatural;
  NSLineBreakMode lineBreakMode_ = NSLineBreakByTruncatingTail;
  NSInteger numberOfLines_ = 1;
  CGFloat minimumScaleFactor_ = 0;
  CGFloat preferredMaxLayoutWidth_ = 0;
  UIBaselineAdjustment baselineAdjustment_ = UIBaselineAdjustmentAlignBaselines;
  bool adjustsFontSizeToFitWidth_ = false;
  bool enabled_ = true;
  bool highlighted_ = false;
  bool ownedByControl_ = false;
};

namespace zvt::ui {
// A size rounded up to whole pixels of the main screen.
CGSize ceilToPixels(CGSize size);
CGFloat ceilToPixels(CGFloat value);
}  // namespace zvt::ui
