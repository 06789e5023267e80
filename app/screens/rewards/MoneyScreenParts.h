#pragma once
// What the withdrawal, tutorial and asset-record screens share: the back item that pops the
// screen, the look every appearance gives the bar (with the analytics page begun), and the
// logged-in user's id as the requests send it.

#include <memory>

#include "platform/foundation/NSString.h"
#include "platform/uikit/UIViewController.h"

namespace zvt::money {

// The left item "grayReturn", popping the screen (held weakly).
void configPopItem(const std::shared_ptr<UIViewController>& screen);
// Each appearance: the bar's default style and the white look, the custom tab bar hidden when
// `hideTabbar`, then the analytics page `pageName` begun.
void appearWithWhiteBar(const std::shared_ptr<UIViewController>& screen, const char* pageName, bool hideTabbar);
// The "id" of the delegate's user record as text; the empty text without a record.
std::shared_ptr<NSString> sessionUserId();

}  // namespace zvt::money
