#include "app/screens/rewards/TZADShow.h"

#include "app/screens/rewards/CalendarView.h"
#include "platform/network/NSURL.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "ui/images/UIImageView+RemoteImage.h"
#include "ui/images/WIImageCache.h"
#include "ui/layout/LCAdditions.h"

void TZADShow::create(const std::shared_ptr<NSDictionary>& advert) {
  const CGFloat W = zvt::rewards::portraitScreenSize().width;
  auto me = std::static_pointer_cast<TZADShow>(self());

  backgroundView_ = UIView::make();
  backgroundView_->setBackgroundColor(UIColor::blackColor());
  backgroundView_->setAlpha(0.5);
  addSubview(backgroundView_);
  lc_makeConstraints(backgroundView_, [&](const auto& make) { make->edges()->equalTo(me); });

  imageView_ = UIImageView::make();
  imageView_->setUserInteractionEnabled(true);
  addSubview(imageView_);
  auto pic = advert ? std::dynamic_pointer_cast<NSString>(advert->objectForKey("pic"_ns)) : nullptr;
  std::weak_ptr<UIImageView> weakPicture = imageView_;
  // A nil key removes nothing and never calls back: no picture, no placeholder.
  WIImageCache::sharedImageCache()->removeImageForKeyWithCompletion(pic, [weakPicture, pic] {
    if (auto picture = weakPicture.lock())
      wi_setImageWithURL(picture, NSURL::URLWithString(pic), UIImage::imageNamed("placeholder_HomeProduct"_ns));
  });
  imageView_->addGestureRecognizer(UITapGestureRecognizer::initWithTarget(me, &TZADShow::imageClick));

  closeButton_ = UIButton::buttonWithType(UIButtonTypeCustom);
  closeButton_->setImage(UIImage::imageNamed("redpacketClose"_ns), UIControlStateNormal);
  closeButton_->addTarget(me, &TZADShow::buttonClick, UIControlEventTouchUpInside);
  addSubview(closeButton_);

  auto picture = imageView_;
  lc_makeConstraints(picture, [&](const auto& make) {
    make->center()->equalTo(me);
    make->size()->lc_equalTo(CGSizeMake(0.7 * W, 0.7 * W));
  });
  lc_makeConstraints(closeButton_, [&](const auto& make) {
    make->width()->height()->lc_equalTo(30);
    make->leading()->equalTo(lc_leading(picture))->offset(0.7 * W - 15);
    make->bottom()->equalTo(lc_top(picture))->offset(15);
  });
}

void TZADShow::imageClick() {
  auto me = std::static_pointer_cast<TZADShow>(self());
  UIView::animateWithDuration(
      0.5, [me] { me->setAlpha(0); }, [me](bool) { me->removeFromSuperview(); });
  if (auto block = ADShowBlock_) block();
}

void TZADShow::buttonClick() {
  const CGSize screen = zvt::rewards::portraitScreenSize();
  auto me = std::static_pointer_cast<TZADShow>(self());
  UIView::animateWithDuration(
      0.5,
      [me, screen] {
        me->setAlpha(0);
        me->setFrame(CGRectMake(0, screen.height, screen.width, screen.height));
      },
      [me](bool) { me->removeFromSuperview(); });
}
