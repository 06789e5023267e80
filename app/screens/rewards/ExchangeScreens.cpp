#include "app/screens/rewards/ExchangeScreens.h"

#include <algorithm>

#include "app/screens/rewards/TZExchangeViewController.h"
#include "app/ui/ScreenRegistry.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSNumber.h"
#include "platform/graphics/UIImage.h"
#include "platform/graphics/UIScreen.h"
#include "platform/uikit/UINib.h"

namespace zvt {

void registerExchangeScreens() {
  registerScreenClass("TZExchangeViewController", [] { return TZExchangeViewController::make(); });
  // The store's header: the poster over the tab bar picture, whose three thirds are clear
  // buttons.
  ui::registerNibFactory("TZExchangeCentreView", [](ui::NibBuilder& nib) -> std::vector<id> {
    const CGFloat width = exchange::portraitScreen().width;
    const CGFloat posterHeight = width * 150 / 375;
    auto view = nib.view<TZExchangeCentreView>(CGRectMake(0, 0, width, posterHeight + 44 + 5));
    view->setBackgroundColor(exchange::rgb(242, 242, 242));
    auto poster = nib.view<UIImageView>(CGRectMake(0, 0, width, posterHeight));
    poster->setImage(UIImage::imageNamed("pointsStorePoster"_ns));
    poster->setUserInteractionEnabled(true);
    auto tabs = nib.view<UIImageView>(CGRectMake(0, posterHeight, width, 44));
    tabs->setImage(UIImage::imageNamed("pointsStoreTabBar00"_ns));
    tabs->setUserInteractionEnabled(true);
    view->addSubview(poster);
    view->addSubview(tabs);
    std::vector<std::shared_ptr<UIButton>> buttons;
    const SEL actions[] = {SEL(&TZExchangeCentreView::leftAction), SEL(&TZExchangeCentreView::middleAction),
                           SEL(&TZExchangeCentreView::rightAction)};
    const char* names[] = {"exchangeTabCoupons", "exchangeTabVirtual", "exchangeTabPhysical"};
    for (int i = 0; i < 3; ++i) {
      auto button = nib.view<UIButton>(CGRectMake(width / 3 * i, posterHeight, width / 3, 44));
      button->setBackgroundColor(UIColor::whiteColor());  // the nib's; cleared on waking
      button->setAccessibilityIdentifier(NSString::stringWithUTF8String(names[i]));
      button->addTarget(view, actions[i], UIControlEventTouchUpInside);
      view->addSubview(button);
      buttons.push_back(button);
    }
    view->setOutlets(buttons[0], buttons[1], buttons[2], tabs, poster);
    return {view};
  });
}

}  // namespace zvt

namespace zvt::exchange {

CGSize portraitScreen() {
  const CGSize size = UIScreen::mainScreen()->bounds().size;
  return CGSizeMake(std::min(size.width, size.height), std::max(size.width, size.height));
}

std::shared_ptr<UIColor> rgb(double red, double green, double blue) {
  return UIColor::colorWithRed(red / 255.0, green / 255.0, blue / 255.0, 1);
}

std::shared_ptr<UIColor> priceOrange() { return rgb(255, 100, 0); }

NSInteger integerOf(const std::shared_ptr<NSDictionary>& record, const char* key) {
  if (!record) return 0;
  id value = record->objectForKey(NSString::stringWithUTF8String(key));
  if (auto number = std::dynamic_pointer_cast<NSNumber>(value)) return number->integerValue();
  if (auto text = std::dynamic_pointer_cast<NSString>(value)) return text->integerValue();
  return 0;
}

std::shared_ptr<NSString> textOf(const std::shared_ptr<NSDictionary>& record, const char* key) {
  if (!record) return nullptr;
  id value = record->objectForKey(NSString::stringWithUTF8String(key));
  if (auto text = std::dynamic_pointer_cast<NSString>(value)) return text;
  if (auto number = std::dynamic_pointer_cast<NSNumber>(value)) return number->stringValue();
  return nullptr;
}

bool isNullIn(const std::shared_ptr<NSDictionary>& record, const char* key) {
  return record && std::dynamic_pointer_cast<NSNull>(record->objectForKey(NSString::stringWithUTF8String(key)));
}

}  // namespace zvt::exchange
