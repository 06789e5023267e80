#pragma once
// Navigation-bar items with action blocks and the application's two bar styles (the NavItem
// category of UIViewController). A screen keeps one block per side; its items send pressLeft /
// pressRight, which run the side's block. leftOrRight: 1 the left item, 0 the right one.
//
// The items' target is an object the screen keeps with it (an associated object), not the
// screen itself: a category's methods are no members of the screen's class here.

#include <functional>
#include <memory>

#include "platform/foundation/NSString.h"
#include "platform/graphics/UIColor.h"
#include "platform/graphics/UIImage.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UIViewController.h"

using NavItemAction = std::function<void()>;

inline constexpr NSInteger kNavItemLeft = 1;
inline constexpr NSInteger kNavItemRight = 0;

// configNavigationItemWith:leftOrRight:withFont:withItemColor:andAction: — `item` is a UIImage
// (a bar button of the image in its own colours) or an NSString (the text form below; the
// system font of 16 points when no font is given). A given block replaces the side's block; an
// image item without a block clears it, so that the new button never runs an earlier action.
void configNavigationItemWith(const std::shared_ptr<UIViewController>& controller, const id& item, NSInteger leftOrRight,
                              const std::shared_ptr<UIFont>& font, const std::shared_ptr<UIColor>& color,
                              NavItemAction action);
// configNavigationItemString:withFont:withItemColor:leftOrRight:andAction: — a text item in the
// font, tinted with the colour (white without one).
void configNavigationItemString(const std::shared_ptr<UIViewController>& controller, const std::shared_ptr<NSString>& text,
                                const std::shared_ptr<UIFont>& font, const std::shared_ptr<UIColor>& color,
                                NSInteger leftOrRight, NavItemAction action);
void configNavigationLeftItemWith(const std::shared_ptr<UIViewController>& controller, const id& item, NavItemAction action);
void configNavigationRightItemWith(const std::shared_ptr<UIViewController>& controller, const id& item, NavItemAction action);
void configNavigationLeftString(const std::shared_ptr<UIViewController>& controller, const std::shared_ptr<NSString>& text,
                                const std::shared_ptr<UIFont>& font, NavItemAction action);
void configNavigationRightString(const std::shared_ptr<UIViewController>& controller, const std::shared_ptr<NSString>& text,
                                 const std::shared_ptr<UIFont>& font, NavItemAction action);
// The left item "whiteReturn" (or the empty text when the image is missing).
void configNavigationLeftAction(const std::shared_ptr<UIViewController>& controller, NavItemAction action);
// The back item the next screen shows: the title ("" for nil) over the image as back-button
// background; the bar's style becomes default and its tint white.
void configNavigationBackItemWithTitle(const std::shared_ptr<UIViewController>& controller,
                                       const std::shared_ptr<NSString>& title, const std::shared_ptr<UIImage>& image);
// Run the side's block, when there is one.
void pressLeft(const std::shared_ptr<UIViewController>& controller);
void pressRight(const std::shared_ptr<UIViewController>& controller);

// A 1 x 1 point image filled with the colour.
std::shared_ptr<UIImage> imageWithColor(const std::shared_ptr<UIColor>& color);
// White bar, grey hairline, black 19-point title.
void configWhiteNavigationBarStyle(const std::shared_ptr<UIViewController>& controller);
// Theme bar (255, 85, 20), white 19-point title; background and shadow images stay.
void configDefaultNavigationBarStyle(const std::shared_ptr<UIViewController>& controller);

namespace zvt {
// The theme colour of the bars (RGB 255, 85, 20).
std::shared_ptr<UIColor> themeBarColor();
}  // namespace zvt
