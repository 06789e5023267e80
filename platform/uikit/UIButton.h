#pragma once
// Buttons (UIButton): a control showing a title and an image over a background image, each
// chosen per control state.
//
// Per-state values: the value set for the exact state (normal, highlighted, disabled,
// selected, or a combination), else the normal state's (so a selected and highlighted button
// shows the normal title unless one was set for that combination, as on the device), else the
// type's default. Title colours default to white in a custom button; a system button's are its
// tint colour, the tint at a fifth of its opacity while highlighted, and grey when disabled,
// and its images in the automatic rendering mode are drawn in the tint colour. A custom
// button draws its image darker while highlighted and lighter while disabled (when no image
// was set for those states and adjustsImageWhenHighlighted / ...Disabled are on).
//
// Layout (layoutSubviews): the background image fills backgroundRectForBounds; the content
// rectangle is the bounds less contentEdgeInsets; the image and the title lie side by side
// (image first), the pair placed by the content alignments. Each element is placed in the
// content rectangle less its own edge insets, the other element's size taken as it is, so that
// insets move one element without moving the other. The image keeps its size (shrunk to the
// rectangle when larger); the title takes what width is left.
//
// sizeThatFits / intrinsicContentSize: the image's width plus the title's, and the larger of
// the image's height and the title's with 6 points above and below (UIKit's 30-point button
// for the 15-point title font), plus the content insets (the title and image insets do not
// count, as on the device); an empty button fits 30 x 30.
//
// The device finds a button by its current title; the title label leaves that to the button.

#include <memory>
#include <vector>

#include "platform/graphics/UIImage.h"
#include "platform/text/NSAttributedString.h"
#include "platform/uikit/UIControl.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"

enum UIButtonType : NSInteger {
  UIButtonTypeCustom = 0,
  UIButtonTypeSystem = 1,
  UIButtonTypeDetailDisclosure = 2,
  UIButtonTypeInfoLight = 3,
  UIButtonTypeInfoDark = 4,
  UIButtonTypeContactAdd = 5,
  UIButtonTypeRoundedRect = UIButtonTypeSystem,
};

class UIButton : public UIControl {
 public:
  UIButton();
  static std::shared_ptr<UIButton> buttonWithType(UIButtonType type);
  // A custom button.
  static std::shared_ptr<UIButton> initWithFrame(CGRect frame) { return makeView<UIButton>(frame); }
  void setUpWithFrame(CGRect frame) override;
  void setUpWithCoder(CGRect frame) override;

  UIButtonType buttonType() const { return type_; }

  // --- per-state content
  void setTitle(const std::shared_ptr<NSString>& title, UIControlState state);
  std::shared_ptr<NSString> titleForState(UIControlState state) const;
  void setTitleColor(const std::shared_ptr<UIColor>& color, UIControlState state);
  std::shared_ptr<UIColor> titleColorForState(UIControlState state) const;
  void setTitleShadowColor(const std::shared_ptr<UIColor>& color, UIControlState state);
  std::shared_ptr<UIColor> titleShadowColorForState(UIControlState state) const;
  void setImage(const std::shared_ptr<UIImage>& image, UIControlState state);
  std::shared_ptr<UIImage> imageForState(UIControlState state) const;
  void setBackgroundImage(const std::shared_ptr<UIImage>& image, UIControlState state);
  std::shared_ptr<UIImage> backgroundImageForState(UIControlState state) const;
  // An attributed title is shown in place of the plain one of its state.
  void setAttributedTitle(const std::shared_ptr<NSAttributedString>& title, UIControlState state);
  std::shared_ptr<NSAttributedString> attributedTitleForState(UIControlState state) const;

  // --- what the current state shows
  std::shared_ptr<NSString> currentTitle() const;
  std::shared_ptr<UIColor> currentTitleColor() const { return titleColorForState(state()); }
  std::shared_ptr<UIColor> currentTitleShadowColor() const { return titleShadowColorForState(state()); }
  std::shared_ptr<UIImage> currentImage() const { return imageForState(state()); }
  std::shared_ptr<UIImage> currentBackgroundImage() const { return backgroundImageForState(state()); }
  std::shared_ptr<NSAttributedString> currentAttributedTitle() const { return attributedTitleForState(state()); }

  // The title's label (its font, line break mode and number of lines may be set) and the
  // image's view, made on first use.
  const std::shared_ptr<UILabel>& titleLabel() const;
  const std::shared_ptr<UIImageView>& imageView() const;

  // --- geometry
  UIEdgeInsets contentEdgeInsets() const { return contentEdgeInsets_; }
  void setContentEdgeInsets(UIEdgeInsets insets);
  UIEdgeInsets titleEdgeInsets() const { return titleEdgeInsets_; }
  void setTitleEdgeInsets(UIEdgeInsets insets);
  UIEdgeInsets imageEdgeInsets() const { return imageEdgeInsets_; }
  void setImageEdgeInsets(UIEdgeInsets insets);
  virtual CGRect backgroundRectForBounds(CGRect bounds) const;
  virtual CGRect contentRectForBounds(CGRect bounds) const;
  virtual CGRect titleRectForContentRect(CGRect contentRect) const;
  virtual CGRect imageRectForContentRect(CGRect contentRect) const;

  // --- behaviour
  bool adjustsImageWhenHighlighted() const { return adjustsImageWhenHighlighted_; }
  void setAdjustsImageWhenHighlighted(bool adjusts);
  bool adjustsImageWhenDisabled() const { return adjustsImageWhenDisabled_; }
  void setAdjustsImageWhenDisabled(bool adjusts);
  bool showsTouchWhenHighlighted() const { return showsTouchWhenHighlighted_; }
  void setShowsTouchWhenHighlighted(bool shows) { showsTouchWhenHighlighted_ = shows; }
  bool reversesTitleShadowWhenHighlighted() const { return reversesTitleShadowWhenHighlighted_; }
  void setReversesTitleShadowWhenHighlighted(bool reverses) { reversesTitleShadowWhenHighlighted_ = reverses; }

  void setEnabled(bool enabled) override;
  void setSelected(bool selected) override;
  void setHighlighted(bool highlighted) override;

  void layoutSubviews() override;
  CGSize sizeThatFits(CGSize size) const override;
  CGSize intrinsicContentSize() const override;
  void tintColorDidChange() override;
  std::vector<std::shared_ptr<NSString>> visibleTexts() const override;

 protected:
  bool takesTapsBeforeRecognizers() const override { return true; }

 private:
  struct StateContent {
    NSUInteger state = 0;
    std::shared_ptr<NSString> title;
    std::shared_ptr<UIColor> titleColor;
    std::shared_ptr<UIColor> titleShadowColor;
    std::shared_ptr<UIImage> image;
    std::shared_ptr<UIImage> backgroundImage;
    std::shared_ptr<NSAttributedString> attributedTitle;
  };
  void setUp();
  StateContent& contentFor(UIControlState state);
  // The value of the member for the state: the exact state's, else the normal state's.
  template <class T>
  std::shared_ptr<T> lookup(UIControlState state, std::shared_ptr<T> StateContent::*member) const;
  // Puts the current state's content into the subviews.
  void updateContent();
  void contentChanged();
  CGSize titleSize(CGFloat width) const;
  CGSize imageSize() const;
  void placePair(CGRect rect, CGSize image, CGSize title, CGRect* imageRect, CGRect* titleRect) const;
  std::shared_ptr<UIImage> adjustedImage(const std::shared_ptr<UIImage>& image) const;

  UIButtonType type_ = UIButtonTypeCustom;
  std::vector<StateContent> contents_;
  mutable std::shared_ptr<UILabel> titleLabel_;
  mutable std::shared_ptr<UIImageView> imageView_;
  std::shared_ptr<UIImageView> backgroundView_;
  UIEdgeInsets contentEdgeInsets_ = UIEdgeInsetsZero;
  UIEdgeInsets titleEdgeInsets_ = UIEdgeInsetsZero;
  UIEdgeInsets imageEdgeInsets_ = UIEdgeInsetsZero;
  bool adjustsImageWhenHighlighted_ = true;
  bool adjustsImageWhenDisabled_ = true;
  bool showsTouchWhenHighlighted_ = false;
  bool reversesTitleShadowWhenHighlighted_ = false;
  // The last adjusted image, kept while the same image is adjusted the same way.
  mutable std::shared_ptr<UIImage> adjustedSource_, adjustedResult_;
  mutable UIControlState adjustedState_ = UIControlStateNormal;
};
