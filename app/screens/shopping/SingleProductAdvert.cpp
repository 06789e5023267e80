#include "app/screens/shopping/SingleProductAdvert.h"

#include <algorithm>

#include "app/screens/shopping/ProductCellParts.h"
#include "app/ui/UIKitCategories.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSDateFormatter.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/graphics/UIScreen.h"
#include "platform/text/NSAttributedString.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UINib.h"
#include "ui/images/UIImageView+RemoteImage.h"
#include "ui/images/WIImageCache.h"

namespace zvt::shopping {

namespace {

struct ScreenSides {
  CGFloat W, H;
};
ScreenSides screenSides() {
  CGSize size = UIScreen::mainScreen()->bounds().size;
  return {std::min(size.width, size.height), std::max(size.width, size.height)};
}

std::shared_ptr<UIColor> yellow() { return rgb(255, 222, 0); }

// `format` with the value, the value's characters from `from` on in yellow; the rest in the
// label's own font and colour (an attributed text replaces them).
std::shared_ptr<NSMutableAttributedString> withYellowValue(const char* format, const std::shared_ptr<NSString>& value,
                                                           NSUInteger from, const std::shared_ptr<UILabel>& label) {
  auto text = NSString::stringWithFormat(format, value ? value : ""_ns);
  const NSUInteger length = value ? value->length() : 0;
  auto result = createStrWithString(text, NSDictionary::dictionaryWithPairs({{NSForegroundColorAttributeName, yellow()}}),
                                    NSMakeRange(from, std::min(length, text->length() - std::min(from, text->length()))));
  result->addAttributes(NSDictionary::dictionaryWithPairs({{NSFontAttributeName, label->font()}}),
                        NSMakeRange(0, text->length()));
  result->addAttribute(NSForegroundColorAttributeName, label->textColor(), NSMakeRange(0, std::min(from, text->length())));
  return result;
}

}  // namespace

void SingleProductAdvert::awakeFromNib() {
  auto self = std::static_pointer_cast<SingleProductAdvert>(shared_from_this());
  if (auto background = bgView()) {
    background->addGestureRecognizer(UITapGestureRecognizer::initWithTarget(self, SEL(&SingleProductAdvert::bgClick)));
  }
  if (auto panel = contentView()) {
    panel->addGestureRecognizer(UITapGestureRecognizer::initWithTarget(self, SEL(&SingleProductAdvert::contentClick)));
  }
}

void SingleProductAdvert::setProductDic(const std::shared_ptr<NSDictionary>& value) {
  if (!value) return;
  TZSingleProductView::setProductDic(value);
  auto textOf = [&](const char* key) { return displayTextOf(value->objectForKey(NSString::stringWithUTF8String(key))); };
  if (auto label = productTitleLabel()) label->setText(textOf("good_Name"));
  if (auto label = priceLabel()) label->setAttributedText(withYellowValue("到手价%@", textOf("real_Price"), 3, label));
  if (auto label = originalPriceLabel()) {
    auto price = textOf("original_Price");
    label->setText(NSString::stringWithFormat("价格%@", price ? price : ""_ns));
  }
  if (auto label = huikouPriceLabel()) label->setAttributedText(withYellowValue("回扣%@", textOf("income"), 2, label));
}

void SingleProductAdvert::showSingleProductWithCurrentVC(const std::shared_ptr<UIViewController>& controller,
                                                         std::function<void()> adBlock) {
  adBlock_ = std::move(adBlock);
  auto record = productDic();
  auto address = record ? displayTextOf(record->objectForKey("imag_URL"_ns)) : nullptr;
  auto url = address ? NSURL::URLWithString(address) : nullptr;
  auto imageView = productImageView();
  if (!controller || !url || !imageView) return;
  auto self = std::static_pointer_cast<SingleProductAdvert>(shared_from_this());
  std::weak_ptr<UIViewController> weakController = controller;
  // The server may change the picture under the same address: never the cached one.
  WIImageCache::sharedImageCache()->removeImageForKeyWithCompletion(url->absoluteString(), [self, url, weakController] {
    auto imageView = self->productImageView();
    if (!imageView) return;
    wi_setImageWithURL(imageView, url,
                       [self, weakController](const std::shared_ptr<UIImage>& image, const std::shared_ptr<NSError>& error,
                                              WIImageCacheSource, const std::shared_ptr<NSURL>&) {
                         auto controller = weakController.lock();
                         if (!image || error || !controller) return;
                         auto [W, H] = screenSides();
                         self->setFrame(CGRectMake(0, -H, W, H));
                         controller->view()->addSubview(self);
                         if (auto view = self->productImageView()) view->setImage(image);
                         dispatch_async(dispatch_get_main_queue(), [self, W = W, H = H] {
                           UIView::animateWithDuration(
                               0.1, [self, W, H] { self->setFrame(CGRectMake(0, 0, W, H)); },
                               [self](bool) {
                                 if (auto block = self->adBlock_) block();
                               });
                         });
                       });
  });
}

void SingleProductAdvert::bgClick() { saveADShowDate(); }

void SingleProductAdvert::closeClick(const std::shared_ptr<UIButton>&) { saveADShowDate(); }

void SingleProductAdvert::contentClick(const std::shared_ptr<UITapGestureRecognizer>& recognizer) {
  auto keep = shared_from_this();  // the advert leaves its superview first
  saveADShowDate();
  callMyBlock(recognizer);
}

void SingleProductAdvert::saveADShowDate() {
  removeFromSuperview();
  if (!isSaveTime()) return;
  auto formatter = NSDateFormatter::make();
  formatter->setDateFormat("yyyy-MM-dd"_ns);
  auto today = formatter->dateFromString(formatter->stringFromDate(NSDate::date()));
  auto defaults = NSUserDefaults::standardUserDefaults();
  defaults->setObject(today, "ADShowTime"_ns);
  defaults->synchronize();
}

void SingleProductAdvert::registerNib() {
  ui::registerNibFactory("TZSingleProductView", [](ui::NibBuilder& nib) -> std::vector<id> {
    auto [W, H] = screenSides();
    auto advert = nib.view<SingleProductAdvert>(CGRectMake(0, 0, W, H));
    advert->setBackgroundColor(UIColor::clearColor());

    auto background = nib.view<UIView>(CGRectMake(0, 0, W, H));
    background->setBackgroundColor(UIColor::colorWithWhite(0, 0.65));
    background->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    advert->addSubview(background);

    // The panel: the square picture, the name, then the band of prices.
    const CGFloat width = std::round(W * 0.78);
    const CGFloat picture = width - 20;
    const CGFloat band = 64;
    const CGFloat height = 10 + picture + 44 + band;
    const CGFloat top = std::max<CGFloat>(40, std::round((H - height - 52) / 2));
    auto panel = nib.view<UIView>(CGRectMake((W - width) / 2, top, width, height));
    panel->setBackgroundColor(UIColor::whiteColor());
    panel->setUserInteractionEnabled(true);
    configLayerWithBorderWidth(panel, 0, 8, nullptr);
    advert->addSubview(panel);

    auto image = nib.view<UIImageView>(CGRectMake(10, 10, picture, picture));
    image->setContentMode(UIViewContentModeScaleAspectFill);
    image->setClipsToBounds(true);
    image->setBackgroundColor(rgb(242, 242, 242));
    panel->addSubview(image);

    auto title = nib.view<UILabel>(CGRectMake(10, 10 + picture + 4, picture, 36));
    title->setFont(UIFont::systemFontOfSize(14));
    title->setTextColor(rgb(51, 51, 51));
    title->setNumberOfLines(2);
    panel->addSubview(title);

    auto prices = nib.view<UIView>(CGRectMake(0, height - band, width, band));
    prices->setBackgroundColor(rgb(255, 85, 20));
    panel->addSubview(prices);
    auto price = nib.view<UILabel>(CGRectMake(10, 8, width * 0.6 - 10, 26));
    price->setFont(UIFont::boldSystemFontOfSize(18));
    price->setTextColor(UIColor::whiteColor());
    prices->addSubview(price);
    auto original = nib.view<UILabel>(CGRectMake(10, 36, width * 0.6 - 10, 20));
    original->setFont(UIFont::systemFontOfSize(12));
    original->setTextColor(UIColor::colorWithWhite(1, 0.8));
    prices->addSubview(original);
    auto rebate = nib.view<UILabel>(CGRectMake(width * 0.6, 8, width * 0.4 - 10, 48));
    rebate->setFont(UIFont::boldSystemFontOfSize(16));
    rebate->setTextColor(UIColor::whiteColor());
    rebate->setTextAlignment(NSTextAlignmentRight);
    prices->addSubview(rebate);

    auto close = nib.view<UIButton>(CGRectMake((W - 32) / 2, top + height + 20, 32, 32));
    close->setImage(UIImage::imageNamed("adClose"_ns), UIControlStateNormal);
    close->addTarget(advert, SEL(&SingleProductAdvert::closeClick), UIControlEventTouchUpInside);
    advert->addSubview(close);

    advert->bgView_ = background;
    advert->contentView_ = panel;
    advert->productImageView_ = image;
    advert->productTitleLabel_ = title;
    advert->priceLabel_ = price;
    advert->originalPriceLabel_ = original;
    advert->huikouPriceLabel_ = rebate;
    return {advert};
  });
}

}  // namespace zvt::shopping
