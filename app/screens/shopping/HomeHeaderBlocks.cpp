#include "app/screens/shopping/HomeHeaderBlocks.h"

#include <algorithm>

#include "app/screens/shopping/ProductCellParts.h"
#include "platform/graphics/UIScreen.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "ui/images/UIButton+RemoteImage.h"
#include "ui/images/UIImageView+RemoteImage.h"

using zvt::as;

namespace {

CGFloat screenShorterSide() {
  CGSize size = UIScreen::mainScreen()->bounds().size;
  return std::min(size.width, size.height);
}

std::shared_ptr<NSURL> urlOf(const id& value) {
  auto text = zvt::shopping::displayTextOf(value);
  return text ? NSURL::URLWithString(text) : nullptr;
}

}  // namespace

namespace zvt::shopping {

void HeaderBlockView::setUpWithFrame(CGRect frame) {
  UIView::setUpWithFrame(frame);
  setBackgroundColor(UIColor::whiteColor());
}

std::shared_ptr<TZHeaderInfoModel> HeaderBlockView::itemAt(NSInteger index) const {
  if (index < 0 || index >= count()) return nullptr;
  return as<TZHeaderInfoModel>(dataArray_->objectAtIndex(static_cast<NSUInteger>(index)));
}

}  // namespace zvt::shopping

// Four icons a row, 80 points apart, each over its name.
void SmallClassView::updateData() {
  CGFloat W = screenShorterSide();
  CGFloat width = bounds().size.width;
  CGFloat s = W * 0.121875;
  auto self = std::static_pointer_cast<SmallClassView>(shared_from_this());
  for (NSInteger i = 0; i < count(); ++i) {
    auto item = itemAt(i);
    NSInteger c = i % 4, r = i / 4;
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setFrame(CGRectMake(c * W / 4 + (W - 4 * s) / 8, r * 80 + 10, s, s));
    if (item) wi_setImageWithURL(button, urlOf(item->icon), UIControlStateNormal);
    button->setTag(i);
    button->addTarget(self, SEL(&SmallClassView::buttonClick), UIControlEventTouchUpInside);
    addSubview(button);
    auto label = UILabel::initWithFrame(CGRectMake(c * width / 4, r * 80 + 55, width / 4, 25));
    label->setTextColor(UIColor::grayColor());
    label->setFont(UIFont::systemFontOfSize(12));
    label->setTextAlignment(NSTextAlignmentCenter);
    if (item) label->setText(zvt::shopping::displayTextOf(item->name));
    addSubview(label);
  }
}

void SmallClassView::buttonClick(const std::shared_ptr<UIButton>& sender) {
  auto delegate = smallClassViewDelegate.lock();
  auto item = sender ? itemAt(sender->tag()) : nullptr;
  if (delegate && item) delegate->smallClassViewClick(item);
}

// One large picture on the left, two stacked on the right, a caption band under them.
void BigClassView::updateData() {
  CGFloat W = screenShorterSide();
  CGFloat h = W * 0.4625;
  const CGRect frames[] = {CGRectMake(0, 0, (W - 1) / 2, h), CGRectMake((W - 1) / 2 + 1, 0, (W - 1) / 2, (h - 1) / 2),
                           CGRectMake((W - 1) / 2 + 1, (h - 1) / 2 + 1, (W - 1) / 2, (h - 1) / 2)};
  auto self = std::static_pointer_cast<BigClassView>(shared_from_this());
  for (NSInteger i = 0; i < count(); ++i) {
    auto item = itemAt(i);
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    if (i < 3) button->setFrame(frames[i]);
    if (item) wi_setBackgroundImageWithURL(button, urlOf(item->pic), UIControlStateNormal);
    button->setTag(i);
    button->addTarget(self, SEL(&BigClassView::buttonClick), UIControlEventTouchUpInside);
    addSubview(button);
    if (i != 2) continue;
    auto band = UIView::initWithFrame(CGRectMake(0, CGRectGetMaxY(frames[2]), W, 35));
    band->setBackgroundColor(zvt::shopping::rgb(242, 242, 242));
    addSubview(band);
    auto caption = UILabel::initWithFrame(CGRectMake((W - 70) / 2, 0, 70, 35));
    caption->setText("每日新品"_ns);
    caption->setTextAlignment(NSTextAlignmentCenter);
    caption->setTextColor(zvt::shopping::accentOrange());
    caption->setFont(UIFont::systemFontOfSize(14));
    band->addSubview(caption);
    CGFloat lineWidth = caption->frame().origin.x - 6;
    CGFloat lineY = CGRectGetMidY(caption->frame());
    for (CGFloat x : {CGFloat(6), CGRectGetMaxX(caption->frame())}) {
      auto line = UIView::initWithFrame(CGRectMake(x, lineY, lineWidth, 1));
      line->setBackgroundColor(zvt::shopping::rgb(222, 222, 222));
      band->addSubview(line);
    }
  }
}

void BigClassView::buttonClick(const std::shared_ptr<UIButton>& sender) {
  auto delegate = bigClassViewDelegate.lock();
  auto item = sender ? itemAt(sender->tag()) : nullptr;
  if (delegate && item) delegate->bigClassViewClick(item);
}

namespace {

// A tappable picture of an activity block.
template <class V>
void addPicture(V& view, NSInteger index, CGRect frame, const std::shared_ptr<TZHeaderInfoModel>& item,
                const char* placeholder) {
  auto picture = UIImageView::initWithFrame(frame);
  if (item) {
    wi_setImageWithURL(picture, urlOf(item->pic), UIImage::imageNamed(NSString::stringWithUTF8String(placeholder)));
  } else {
    picture->setImage(UIImage::imageNamed(NSString::stringWithUTF8String(placeholder)));
  }
  picture->setUserInteractionEnabled(true);
  picture->setTag(index);
  picture->addGestureRecognizer(
      UITapGestureRecognizer::initWithTarget(std::static_pointer_cast<V>(view.shared_from_this()), SEL(&V::tap)));
  view.addSubview(picture);
}

}  // namespace

void ActivityView::updateData() {
  NSInteger n = count();
  if (n == 0) return;
  CGFloat width = bounds().size.width;
  CGFloat h = (bounds().size.height - 5 * (n - 1)) / n;
  for (NSInteger i = 0; i < n; ++i)
    addPicture(*this, i, CGRectMake(0, i * h + 5 * i, width, h), itemAt(i), "placeholder_BigActivity");
}

void ActivityView::tap(const std::shared_ptr<UITapGestureRecognizer>& recognizer) {
  auto delegate = activityViewDelegate.lock();
  auto view = recognizer ? recognizer->view() : nullptr;
  auto item = view ? itemAt(view->tag()) : nullptr;
  if (delegate && item) delegate->activityViewClick(item);
}

void SmallActivityView::updateData() {
  CGFloat width = bounds().size.width;
  for (NSInteger i = 0; i < count(); ++i)
    addPicture(*this, i, CGRectMake((i % 2) * width / 2, (i / 2) * 76, (width - 1) / 2, 75), itemAt(i),
               "placeholder_SmallActivity");
}

void SmallActivityView::tap(const std::shared_ptr<UITapGestureRecognizer>& recognizer) {
  auto delegate = smallActivityViewDelegate.lock();
  auto view = recognizer ? recognizer->view() : nullptr;
  auto item = view ? itemAt(view->tag()) : nullptr;
  if (delegate && item) delegate->smallActivityViewClick(item);
}
