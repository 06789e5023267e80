#pragma once
// The parts every account form is built from (login, registration, retrieval, binding): the
// white box of icon rows, the field styling, the 45-point main button and the scroll view whose
// bottom follows the keyboard. The forms themselves are ParentViews; these helpers only make and
// style their parts, so each form keeps its own properties and tags.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/graphics/UIColor.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UITextField.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/UIViewController.h"

namespace zvt::account {

// Typed text (51), placeholders and grey captions (153), borders and separators (222), a main
// button waiting for input (194).
std::shared_ptr<UIColor> typedTextColor();
std::shared_ptr<UIColor> placeholderTextColor();
std::shared_ptr<UIColor> separatorColor();
std::shared_ptr<UIColor> waitingButtonColor();

// A field as the forms show it: the 14-point system font, text RGB 51, the placeholder in
// RGB 153, the clear button while editing.
void styleFormField(const std::shared_ptr<UITextField>& field, const std::shared_ptr<NSString>& placeholder);
// A new field so styled, with its keyboard and, for passwords, secure entry.
std::shared_ptr<UITextField> makeFormField(const std::shared_ptr<NSString>& placeholder,
                                           UIKeyboardType keyboard = UIKeyboardTypeDefault, bool secure = false);

// One row of an icon box: the named 18 x 18 icon and the field beside it.
struct IconRow {
  std::string icon;
  std::shared_ptr<UITextField> field;
};

// The white box of icon rows: a 1-point border RGB 222, rows of `rowHeight` each holding its
// icon 15 from the left (centred in the row) and its field from 10 right of the icon to 15
// from the right edge, rows parted by 0.5-point lines RGB 222 inset 15 on each side. The box
// is laid out by constraints; the caller places the box itself. Its height is
// rows x rowHeight + the lines between them.
std::shared_ptr<UIView> makeIconRowBox(const std::vector<IconRow>& rows, CGFloat rowHeight);
// The box's height for that many rows.
CGFloat iconRowBoxHeight(size_t rows, CGFloat rowHeight);

// The main button of a form: the title in the 18-point system font, white on the action
// orange, corner radius 4, clipped.
std::shared_ptr<UIButton> makeMainButton(const std::shared_ptr<NSString>& title);
// Orange and taking touches, or grey (RGB 194) and taking none.
void setMainButtonEnabled(const std::shared_ptr<UIButton>& button, bool enabled);
// Whether the button is in its enabled look (orange and taking touches).
bool isMainButtonEnabled(const std::shared_ptr<UIButton>& button);

// The scroll view a form lives in, added to `form`, with a content view of the scroll view's
// width and `contentHeight` high (the forms take the longer screen side minus 64) in the group
// table's grey. Its top, left and right edges are pinned to the form's, its bottom to the form's
// bottom less the keyboard height: call followKeyboard from the form's updateConstraints.
struct FormScroll {
  std::shared_ptr<UIScrollView> scrollView;
  std::shared_ptr<UIView> contentView;
};
FormScroll makeFormScroll(const std::shared_ptr<UIView>& form, CGFloat contentHeight);
void followKeyboard(const std::shared_ptr<UIScrollView>& scrollView, const std::shared_ptr<UIView>& form,
                    CGFloat keyboardHeight);

// The length of `field`'s text once the edit of `edited` (range replaced by string) is applied:
// its own length when it is another field, or when the range lies outside the text (an edit the
// field refuses anyway).
NSUInteger lengthAfterEdit(const std::shared_ptr<UITextField>& field, const std::shared_ptr<UITextField>& edited,
                           NSRange range, const std::shared_ptr<NSString>& string);

// The longer side of the main screen less the bars (64), the height of a form's content.
CGFloat formContentHeight();

// A record field as the account screens show it: a text as it is, a number as its digits,
// anything else (missing, null) nil.
std::shared_ptr<NSString> recordText(const id& value);
// The same, nil also for an empty text: the field counts as missing.
std::shared_ptr<NSString> presentRecordText(const id& value);

// The completion of a save that leaves the screen: on the main queue the overlay hides; a
// failure runs `failed` (the form may send again) and shows the client's message in an alert
// without title; a success pops the screen while it is still the one shown (a reply landing
// after a tap on back leaves the screen under alone) and leaves the form as it was while
// sending, so that nothing more is sent. It holds the screen until it has run, so a screen
// already left still shows a failure.
std::function<void(bool success, const std::shared_ptr<NSDictionary>& record, const std::shared_ptr<NSString>& message)>
popOnSaved(const std::shared_ptr<UIViewController>& screen, std::function<void()> failed = nullptr);

// The keyboard's end-frame height that a keyboard notification carries (0 when it carries none).
CGFloat keyboardEndHeight(const std::shared_ptr<NSNotification>& notification);
// The left item "grayReturn" that pops the screen, animated; the item holds the screen weakly.
void configGrayReturnPop(const std::shared_ptr<UIViewController>& screen);

// What a form screen (login, registration, partner binding, phone verification, password
// retrieval, reset and change) does on each appearance: the navigation bar's
// default style with the white look, and the analytics page `pageName` begun.
void appearWithWhiteBar(const std::shared_ptr<UIViewController>& screen, const std::shared_ptr<NSString>& pageName);
// What it does on each disappearance: the page `pageName` ended, and whatever holds the keyboard
// resigns, so that no keyboard stays over the next screen.
void disappearResigningKeyboard(const std::shared_ptr<NSString>& pageName);

}  // namespace zvt::account
