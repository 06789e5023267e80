#include "app/screens/shopping/ProductCellParts.h"

#include "app/ui/UIKitCategories.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSNumber.h"
#include "platform/text/NSParagraphStyle.h"
#include "platform/text/UIFont.h"

namespace zvt::shopping {

double floatValueOf(const id& value) {
  if (auto number = as<NSNumber>(value)) return number->doubleValue();
  if (auto text = as<NSString>(value)) return text->floatValue();
  return 0;
}

NSInteger integerValueOf(const id& value) {
  if (auto number = as<NSNumber>(value)) return number->integerValue();
  if (auto text = as<NSString>(value)) return text->integerValue();
  return 0;
}

std::shared_ptr<NSString> displayTextOf(const id& value) {
  if (auto text = as<NSString>(value)) return text;
  if (auto number = as<NSNumber>(value)) return number->stringValue();
  return nullptr;
}

std::shared_ptr<NSURL> productPictureURL(const id& picURL) {
  auto text = displayTextOf(picURL);
  if (!text) return nullptr;
  return NSURL::URLWithString(NSString::stringWithFormat("%@_300x300.jpg", text));
}

std::shared_ptr<NSString> priceText(const id& price) {
  return NSString::stringWithFormat("￥%.2f", static_cast<double>(static_cast<float>(floatValueOf(price))));
}

std::shared_ptr<UIColor> rgb(double red, double green, double blue) {
  return UIColor::colorWithRed(red / 255.0, green / 255.0, blue / 255.0, 1.0);
}

std::shared_ptr<UIColor> accentOrange() { return rgb(255, 110, 40); }

void buildMallCell(const std::shared_ptr<UICollectionViewCell>& cell, CGFloat gap, const std::shared_ptr<UIColor>& textColour,
                   std::shared_ptr<UIImageView>& logo, std::shared_ptr<UILabel>& label) {
  cell->setBackgroundColor(UIColor::whiteColor());
  const CGSize size = cell->frame().size;
  const CGFloat w = size.width, h = size.height;
  logo = UIImageView::initWithFrame(CGRectMake(0.15 * w, 0.2 * h, 0.7 * w, 0.3 * h));
  logo->setContentMode(UIViewContentModeScaleAspectFit);
  cell->contentView()->addSubview(logo);
  label = UILabel::initWithFrame(CGRectMake(0, 0.5 * h + gap * h, w, 0.2 * h));
  label->setFont(UIFont::systemFontOfSize(14));
  label->setTextColor(textColour);
  label->setTextAlignment(NSTextAlignmentCenter);
  label->setBackgroundColor(UIColor::clearColor());
  cell->contentView()->addSubview(label);
}

void showMallRebate(const std::shared_ptr<UILabel>& label, const std::shared_ptr<NSString>& rebate,
                    const std::shared_ptr<UIColor>& restColour) {
  if (!label) return;
  auto amount = rebate ? rebate : NSString::string();
  auto text = NSString::stringWithFormat("最高回扣:%@", amount);
  auto attributes = NSDictionary::make({{NSForegroundColorAttributeName, rgb(255, 100, 0)}});
  auto attributed = createStrWithString(text, attributes, NSMakeRange(5, amount->length()));
  auto paragraph = NSMutableParagraphStyle::make();
  paragraph->setAlignment(NSTextAlignmentCenter);
  attributed->addAttribute(NSFontAttributeName, label->font(), NSMakeRange(0, text->length()));
  attributed->addAttribute(NSParagraphStyleAttributeName, paragraph, NSMakeRange(0, text->length()));
  attributed->addAttribute(NSForegroundColorAttributeName, restColour, NSMakeRange(0, 5));
  label->setAttributedText(attributed);
}

}  // namespace zvt::shopping
