#include "app/ui/SharedViews.h"

#include "app/ui/UIKitCategories.h"
#include "platform/graphics/UIScreen.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UINib.h"

// --- TZNoMessageTipView -----------------------------------------------------------------------------

void TZNoMessageTipView::setOutlets(const std::shared_ptr<UIImageView>& image, const std::shared_ptr<UILabel>& label,
                                    const std::shared_ptr<UIButton>& button) {
  noMessageImageView_ = image;
  noMessageLabel_ = label;
  noMessageButton_ = button;
}

void TZNoMessageTipView::awakeFromNib() {
  configLayerWithBorderWidth(noMessageButton(), 1, 4, zvt::actionColor());
}

void TZNoMessageTipView::fillViewWithImage(const std::shared_ptr<UIImage>& image,
                                           const std::shared_ptr<NSAttributedString>& title,
                                           const std::shared_ptr<NSString>& buttonTitle, bool buttonHide) {
  if (image) {
    if (auto view = noMessageImageView()) view->setImage(image);
  }
  if (title) {
    if (auto label = noMessageLabel()) label->setAttributedText(title);
  }
  auto button = noMessageButton();
  if (buttonTitle && button) button->setTitle(buttonTitle, UIControlStateNormal);
  if (button) button->setHidden(buttonHide);
}

void TZNoMessageTipView::buttonClick(const std::shared_ptr<UIButton>& sender) {
  auto button = noMessageButton();
  auto title = button ? button->titleLabel()->text() : nullptr;
  if (title && title->isEqualToString("点击重试")) {
    if (auto block = refreshBlock_) block(sender);
  } else {
    callMyBlock(sender);
  }
}

// --- TZTopButton ------------------------------------------------------------------------------------

void TZTopButton::setUpWithFrame(CGRect frame) {
  UIButton::setUpWithFrame(frame);
  setImage(UIImage::imageNamed("back_to_the_top"_ns), UIControlStateNormal);
  addTarget(self(), &TZTopButton::turnToTop, UIControlEventTouchUpInside);
  setHidden(true);
}

void TZTopButton::turnToTop() {
  if (auto block = topButtonBlock_) block();
}

// --- TZSingleProductView ----------------------------------------------------------------------------

namespace {
const char kContentKey = 0;
}

void TZSingleProductView::showSingleProductWithCurrentVC(const std::shared_ptr<UIViewController>& controller,
                                                         std::function<void()> adBlock) {
  if (!controller) return;
  adBlock_ = std::move(adBlock);
  auto host = controller->view();
  setFrame(host->bounds());
  setBackgroundColor(UIColor::colorWithWhite(0, 0.6));
  addGestureRecognizer(UITapGestureRecognizer::initWithTarget(self(), &TZSingleProductView::backdropTapped));
  const CGFloat width = host->bounds().size.width * 0.8;
  auto content = UIButton::buttonWithType(UIButtonTypeCustom);
  content->setFrame(CGRectMake((host->bounds().size.width - width) / 2, host->bounds().size.height / 2 - width * 0.6,
                               width, width * 1.2));
  content->setBackgroundColor(UIColor::whiteColor());
  configLayerWithBorderWidth(content, 0, 8, nullptr);
  auto title = productDic_ ? std::dynamic_pointer_cast<NSString>(productDic_->objectForKey("title"_ns)) : nullptr;
  content->setTitle(title ? title : "精选好货"_ns, UIControlStateNormal);
  content->setTitleColor(UIColor::colorWithRed(51 / 255.0, 51 / 255.0, 51 / 255.0, 1), UIControlStateNormal);
  content->addTarget(self(), &TZSingleProductView::contentTapped, UIControlEventTouchUpInside);
  setAssociatedObject(&kContentKey, content);
  addSubview(content);
  auto me = std::static_pointer_cast<UIView>(self());
  host->addSubview(me);
  host->bringSubviewToFront(me);
}

void TZSingleProductView::contentTapped() {
  auto keep = self();  // the view leaves its superview below
  callMyBlock(associatedObject(&kContentKey));
  if (auto block = adBlock_) block();
  removeFromSuperview();
}

void TZSingleProductView::backdropTapped() { removeFromSuperview(); }

// --- nibs -------------------------------------------------------------------------------------------

namespace zvt {

void registerSharedViewNibs() {
  ui::registerNibFactory("TZNoMessageTipView", [](ui::NibBuilder& nib) -> std::vector<id> {
    const CGFloat width = UIScreen::mainScreen()->bounds().size.width;
    auto view = nib.view<TZNoMessageTipView>(CGRectMake(0, 0, width, 300));
    view->setBackgroundColor(zvt::screenBackgroundColor());
    auto image = nib.view<UIImageView>(CGRectMake((width - 100) / 2, 40, 100, 100));
    image->setContentMode(UIViewContentModeScaleAspectFit);
    auto label = nib.view<UILabel>(CGRectMake(20, 160, width - 40, 40));
    label->setTextAlignment(NSTextAlignmentCenter);
    label->setNumberOfLines(0);
    label->setFont(UIFont::systemFontOfSize(14));
    label->setTextColor(UIColor::colorWithRed(153 / 255.0, 153 / 255.0, 153 / 255.0, 1));
    auto button = nib.view<UIButton>(CGRectMake((width - 120) / 2, 220, 120, 36));
    button->setTitleColor(zvt::actionColor(), UIControlStateNormal);
    button->titleLabel()->setFont(UIFont::systemFontOfSize(15));
    button->addTarget(view, &TZNoMessageTipView::buttonClick, UIControlEventTouchUpInside);
    view->addSubview(image);
    view->addSubview(label);
    view->addSubview(button);
    view->setOutlets(image, label, button);
    return {view};
  });
  if (!ui::hasNibFactory("TZSingleProductView")) {
    ui::registerNibFactory("TZSingleProductView", [](ui::NibBuilder& nib) -> std::vector<id> {
      return {nib.view<TZSingleProductView>(UIScreen::mainScreen()->bounds())};
    });
  }
}

}  // namespace zvt
