#pragma once
// The exchange store's screens (the store, the points product detail and the order form) and
// the small readers they share.

#include <memory>

#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSString.h"
#include "platform/graphics/UIColor.h"

namespace zvt {
// Registers the store's class by name and its header's nib; registerRewardsScreens calls it.
void registerExchangeScreens();
}  // namespace zvt

namespace zvt::exchange {

// The main screen's size held upright: width the shorter side, height the longer.
CGSize portraitScreen();
// RGB 0...255 as a colour.
std::shared_ptr<UIColor> rgb(double red, double green, double blue);
// The orange of prices and stock figures, RGB 255, 100, 0.
std::shared_ptr<UIColor> priceOrange();
// A record's value as a whole number (a number, or a text starting with one; "12.50" is 12);
// 0 for anything else, NSNull and a missing key included.
NSInteger integerOf(const std::shared_ptr<NSDictionary>& record, const char* key);
// A record's value as text: a text as it is, a number written out; nil for anything else, so
// nothing ever reads "(null)".
std::shared_ptr<NSString> textOf(const std::shared_ptr<NSDictionary>& record, const char* key);
// Whether the record holds NSNull under the key.
bool isNullIn(const std::shared_ptr<NSDictionary>& record, const char* key);

}  // namespace zvt::exchange
