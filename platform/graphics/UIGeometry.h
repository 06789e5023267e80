#pragma once
// UIKit's geometry values that drawing shares with views and layers: edge insets (cap insets of
// resizable images, button and text insets), the corners of a rounded rectangle, and content
// modes (how an image or a drawing fills a rectangle). They live beside the drawing code so that
// images, layers and views use one definition.

#include <cstdint>

#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSObject.h"

struct UIEdgeInsets {
  CGFloat top = 0, left = 0, bottom = 0, right = 0;
  friend bool operator==(const UIEdgeInsets&, const UIEdgeInsets&) = default;
};

inline constexpr UIEdgeInsets UIEdgeInsetsZero{};
inline constexpr UIEdgeInsets UIEdgeInsetsMake(CGFloat top, CGFloat left, CGFloat bottom, CGFloat right) {
  return UIEdgeInsets{top, left, bottom, right};
}
inline constexpr bool UIEdgeInsetsEqualToEdgeInsets(UIEdgeInsets a, UIEdgeInsets b) { return a == b; }
// The rectangle made smaller by the insets (negative insets make it larger).
inline constexpr CGRect UIEdgeInsetsInsetRect(CGRect rect, UIEdgeInsets insets) {
  return CGRect{CGPoint{rect.origin.x + insets.left, rect.origin.y + insets.top},
                CGSize{rect.size.width - insets.left - insets.right, rect.size.height - insets.top - insets.bottom}};
}

struct UIOffset {
  CGFloat horizontal = 0, vertical = 0;
  friend bool operator==(const UIOffset&, const UIOffset&) = default;
};
inline constexpr UIOffset UIOffsetZero{};
inline constexpr UIOffset UIOffsetMake(CGFloat horizontal, CGFloat vertical) { return UIOffset{horizontal, vertical}; }

// Corners of a rectangle in UIKit's coordinates (origin top left).
using UIRectCorner = NSUInteger;
inline constexpr UIRectCorner UIRectCornerTopLeft = 1u << 0;
inline constexpr UIRectCorner UIRectCornerTopRight = 1u << 1;
inline constexpr UIRectCorner UIRectCornerBottomLeft = 1u << 2;
inline constexpr UIRectCorner UIRectCornerBottomRight = 1u << 3;
inline constexpr UIRectCorner UIRectCornerAllCorners = 0xF;

enum UIViewContentMode : NSInteger {
  UIViewContentModeScaleToFill = 0,
  UIViewContentModeScaleAspectFit = 1,
  UIViewContentModeScaleAspectFill = 2,
  UIViewContentModeRedraw = 3,
  UIViewContentModeCenter = 4,
  UIViewContentModeTop = 5,
  UIViewContentModeBottom = 6,
  UIViewContentModeLeft = 7,
  UIViewContentModeRight = 8,
  UIViewContentModeTopLeft = 9,
  UIViewContentModeTopRight = 10,
  UIViewContentModeBottomLeft = 11,
  UIViewContentModeBottomRight = 12,
};

namespace zvt::graphics {
// Where content of `contentSize` lands inside `bounds` (UIKit coordinates) under the mode:
// stretched (scale to fill and redraw), scaled whole keeping its shape and centred (aspect
// fit), scaled to cover keeping its shape and centred (aspect fill; the overflow lies outside
// `bounds`), or at its own size placed at the centre, an edge or a corner. An empty content
// size gives `bounds` itself.
CGRect contentModeRect(UIViewContentMode mode, CGSize contentSize, CGRect bounds);
}  // namespace zvt::graphics
