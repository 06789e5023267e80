#pragma once
// What the two product cells share: the server's product values read as the cells show them.
// A value of an unexpected kind (a list, a dictionary, NSNull) reads as absent.

#include <memory>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"
#include "platform/graphics/UIColor.h"
#include "platform/network/NSURL.h"
#include "platform/uikit/UICollectionView.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"

namespace zvt::shopping {

// The float value of a number or of a text holding one; 0 for anything else.
double floatValueOf(const id& value);
// The integer value of a number or of a text holding one; 0 for anything else.
NSInteger integerValueOf(const id& value);
// A text as it is, a number written out; nil for anything else (so a label never shows
// "(null)" or the description of a list).
std::shared_ptr<NSString> displayTextOf(const id& value);
// The 300 x 300 variant of a product picture: the picture's text with "_300x300.jpg" appended,
// whatever it ends in; nil when there is no picture text.
std::shared_ptr<NSURL> productPictureURL(const id& picURL);
// "￥%.2f" of the price.
std::shared_ptr<NSString> priceText(const id& price);
// The accent orange of prices and badges, RGB 255, 110, 40.
std::shared_ptr<UIColor> accentOrange();
// RGB 0...255 as a colour.
std::shared_ptr<UIColor> rgb(double red, double green, double blue);
// The mall cells' views on a white cell of w x h: the logo at (0.15 w, 0.2 h, 0.7 w, 0.3 h),
// aspect fit; under it, `gap` x h lower, a centred 14-point label over the full width, 0.2 h
// high, in `textColour` on a clear background.
void buildMallCell(const std::shared_ptr<UICollectionViewCell>& cell, CGFloat gap, const std::shared_ptr<UIColor>& textColour,
                   std::shared_ptr<UIImageView>& logo, std::shared_ptr<UILabel>& label);
// The mall cells' line "最高回扣:" followed by the rebate ("" for nil): the rebate (from
// character 5, for its own length) in RGB 255, 100, 0, the rest in `restColour`, all in the
// label's font and centred.
void showMallRebate(const std::shared_ptr<UILabel>& label, const std::shared_ptr<NSString>& rebate,
                    const std::shared_ptr<UIColor>& restColour);

}  // namespace zvt::shopping
