#pragma once
// What the rewards folder's pushed screens share: the portrait screen's sides, the back item
// "grayReturn", the white bar look each of them takes on appearing and the page view begun then.

#include <memory>

#include "platform/uikit/UIViewController.h"

namespace zvt::rewards {

// The main screen's shorter and longer sides (portrait width and height).
CGFloat shorterSide();
CGFloat longerSide();

// The left item "grayReturn", popping the screen (held weakly), animated.
void configPopItem(const std::shared_ptr<UIViewController>& screen);

// The navigation bar's default style with the white look of the pushed screens.
void whiteBar(const std::shared_ptr<UIViewController>& screen);

// Hides the shell's custom tab bar (nothing outside the shell).
void hideTabbar();

// What a pushed screen does on each appearance: the white bar (above), the custom tab bar
// hidden when `hidesTabbar`, and the analytics page `pageName` begun.
void appearWithWhiteBar(const std::shared_ptr<UIViewController>& screen, const std::shared_ptr<NSString>& pageName,
                        bool hidesTabbar);

}  // namespace zvt::rewards
