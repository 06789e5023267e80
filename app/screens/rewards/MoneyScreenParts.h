#pragma once
// What the withdrawal, tutorial and asset-record screens share beyond the folder's parts
// (RewardsScreenParts.h): the logged-in user's id as the requests send it, record values as text
// and the nibs' labels.

#include <memory>

#include "platform/foundation/NSString.h"
#include "platform/graphics/UIColor.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINib.h"
#include "platform/uikit/UIViewController.h"

namespace zvt::money {

// The "id" of the delegate's user record as text; the empty text without a record.
std::shared_ptr<NSString> sessionUserId();
// A model's or record's value as text as received: a text as it is, a number written out; nil
// for anything else (missing, null), so nothing reads "(null)".
std::shared_ptr<NSString> textOf(const id& value);
// A label of a nib in the system font of `size` and the colour, with its text when given, added
// to `in`.
std::shared_ptr<UILabel> nibLabel(ui::NibBuilder& nib, const std::shared_ptr<UIView>& in, CGRect frame, CGFloat size,
                                  const std::shared_ptr<UIColor>& colour, const char* text = nullptr);

}  // namespace zvt::money
