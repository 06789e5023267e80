#include "app/screens/rewards/MoneyScreenParts.h"

#include "app/core/AppDelegate.h"
#include "app/screens/rewards/ExchangeScreens.h"
#include "platform/foundation/NSNumber.h"
#include "platform/text/UIFont.h"

namespace zvt::money {

std::shared_ptr<NSString> sessionUserId() {
  auto delegate = AppDelegate::shared();
  auto id = exchange::textOf(delegate ? delegate->userInfoDictionary() : nullptr, "id");
  return id ? id : ""_ns;
}

std::shared_ptr<NSString> textOf(const id& value) {
  if (auto text = std::dynamic_pointer_cast<NSString>(value)) return text;
  if (auto number = std::dynamic_pointer_cast<NSNumber>(value)) return number->stringValue();
  return nullptr;
}

std::shared_ptr<UILabel> nibLabel(ui::NibBuilder& nib, const std::shared_ptr<UIView>& in, CGRect frame, CGFloat size,
                                  const std::shared_ptr<UIColor>& colour, const char* text) {
  auto made = nib.view<UILabel>(frame);
  made->setFont(UIFont::systemFontOfSize(size));
  made->setTextColor(colour);
  if (text) made->setText(NSString::stringWithUTF8String(text));
  in->addSubview(made);
  return made;
}

}  // namespace zvt::money
