#pragma once
// The small UIKit categories every screen uses: views and controllers loaded by their class
// name, keyboard dismissal by a tap, bordered and rounded layers, rounded images, attributed
// strings, the decorative font, and the length filter of text fields. Main thread only.

#include <memory>
#include <string>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSString.h"
#include "platform/graphics/UIColor.h"
#include "platform/graphics/UIImage.h"
#include "platform/text/NSAttributedString.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UINib.h"
#include "platform/uikit/UIStoryboard.h"
#include "platform/uikit/UITextField.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/UIViewController.h"

namespace zvt {
// The class name a nib or storyboard of class C is registered under ("TZNoMessageTipView").
template <class C>
std::string classNameOf() {
  return demangledClassName(typeid(C));
}
}  // namespace zvt

// +[UIView(Create) loadFromNib]: the first top-level object of the main bundle's nib named
// after V (nil when it is not a V).
template <class V>
std::shared_ptr<V> loadFromNib() {
  auto objects = loadNibNamed(nullptr, NSString::stringWithUTF8String(zvt::classNameOf<V>()), nullptr, nullptr);
  if (!objects || objects->count() == 0) return nullptr;
  return std::dynamic_pointer_cast<V>(objects->objectAtIndex(0));
}
// +[UIView(Create) registerNib]: the main bundle's nib named after V.
template <class V>
std::shared_ptr<UINib> registerNib() {
  return UINib::nibWithNibName(NSString::stringWithUTF8String(zvt::classNameOf<V>()), nullptr);
}
// +[UIStoryboard(Addition) fromName:]
std::shared_ptr<UIStoryboard> storyboardFromName(const std::shared_ptr<NSString>& name);
// +[UIViewController(Create) create]: the initial controller of the storyboard named after C.
template <class C>
std::shared_ptr<C> createFromStoryboard() {
  auto board = storyboardFromName(NSString::stringWithUTF8String(zvt::classNameOf<C>()));
  return board ? std::dynamic_pointer_cast<C>(board->instantiateInitialViewController()) : nullptr;
}
// +[UIViewController(Create) createFromStoryboardName:withIdentifier:]: nil unless both are given.
std::shared_ptr<UIViewController> createFromStoryboardName(const std::shared_ptr<NSString>& name,
                                                           const std::shared_ptr<NSString>& identifier);
// +[UIViewController(Create) createFromXib]: the first top-level object of the nib named after C.
template <class C>
std::shared_ptr<C> createFromXib() {
  auto objects = loadNibNamed(nullptr, NSString::stringWithUTF8String(zvt::classNameOf<C>()), nullptr, nullptr);
  if (!objects || objects->count() == 0) return nullptr;
  return std::dynamic_pointer_cast<C>(objects->objectAtIndex(0));
}

// -[UIView(KeyboardHide) keyboardCanHide]: a tap on the view ends editing in it.
void keyboardCanHide(const std::shared_ptr<UIView>& view);

// The keyboard's will-show and will-hide notifications, handed to the screen's keyboardWillShow
// and keyboardWillHide while it lives: the screens whose forms follow the keyboard observe it
// alike. The screen is held weakly (the centre holds its observers weakly too).
template <class Screen>
void observeKeyboardOf(const std::shared_ptr<Screen>& screen) {
  if (!screen) return;
  std::weak_ptr<Screen> weakScreen = screen;
  auto center = NSNotificationCenter::defaultCenter();
  center->addObserver(
      screen,
      [weakScreen](const std::shared_ptr<NSNotification>& notification) {
        if (auto alive = weakScreen.lock()) alive->keyboardWillShow(notification);
      },
      UIKeyboardWillShowNotification, nullptr);
  center->addObserver(
      screen,
      [weakScreen](const std::shared_ptr<NSNotification>& notification) {
        if (auto alive = weakScreen.lock()) alive->keyboardWillHide(notification);
      },
      UIKeyboardWillHideNotification, nullptr);
}
// -[UIView(KeyboardHide) keyboardHide]: ends editing in the view, forcing the keyboard away.
void keyboardHide(const std::shared_ptr<UIView>& view);

// -[UIView(Layer) configLayerWithBorderWidth:andWithCornerRadius:andWithBorderColor:]: border and
// corner radius, clipped to the bounds; the colour only when given.
void configLayerWithBorderWidth(const std::shared_ptr<UIView>& view, CGFloat width, CGFloat radius,
                                const std::shared_ptr<UIColor>& color);

// -[UIImage(CornerRadius) cutImageWithCornerRadius:]: the image drawn through a rounded clip at
// the main screen's scale, not opaque; a negative radius counts as 0, one beyond the smaller
// side as half of it.
std::shared_ptr<UIImage> cutImageWithCornerRadius(const std::shared_ptr<UIImage>& image, CGFloat radius);

// +[NSMutableAttributedString(Format) createStrWithString:andWithAttribute:andWithRange:]
std::shared_ptr<NSMutableAttributedString> createStrWithString(const std::shared_ptr<NSString>& text,
                                                               const std::shared_ptr<NSDictionary>& attributes,
                                                               NSRange range);

// +[UIFont(Create) createFontWithSize:]: "IowanOldStyle-Roman" of that size.
std::shared_ptr<UIFont> createFontWithSize(CGFloat size);

// -[UITextField(LimitLength) limitLengthWithExpectLength:andWithText:andWithRange:andWithString:]:
// YES for "\n"; otherwise whether the text with the range replaced stays within `limit` UTF-16
// units. A range outside the current text is refused (NO) instead of raising.
bool limitLengthWithExpectLength(const std::shared_ptr<UITextField>& field, NSInteger limit,
                                 const std::shared_ptr<NSString>& text, NSRange range,
                                 const std::shared_ptr<NSString>& string);
