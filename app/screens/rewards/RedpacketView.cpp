#include "app/screens/rewards/RedpacketView.h"

#include <algorithm>

#include "app/utilities/ZVTPublicTools.h"
#include "platform/graphics/UIScreen.h"
#include "platform/uikit/UITabBarController.h"

namespace {

// W: the screen's shorter side; H: its longer side.
CGSize portraitScreen() {
  const CGSize size = UIScreen::mainScreen()->bounds().size;
  return CGSizeMake(std::min(size.width, size.height), std::max(size.width, size.height));
}

}  // namespace

void RedpacketView::setUpWithFrame(CGRect frame) {
  ParentView::setUpWithFrame(frame);
  createUI();
}

void RedpacketView::createUI() {
  const CGFloat W = portraitScreen().width, H = portraitScreen().height;
  const CGFloat P = 0.84 * W, Q = 377.0 / 375.0 * W;
  backGroundView_ = UIView::initWithFrame(CGRectMake(0, 0, W, H));
  backGroundView_->setBackgroundColor(UIColor::blackColor());
  backGroundView_->setAlpha(0.6);
  addSubview(backGroundView_);

  redpacketImageView_ = UIImageView::initWithFrame(CGRectMake(0, 0, P, Q));
  redpacketImageView_->setCenter(backGroundView_->center());
  redpacketImageView_->setImage(UIImage::imageNamed("redpacketNoOpen"_ns));
  redpacketImageView_->setUserInteractionEnabled(true);
  addSubview(redpacketImageView_);

  const CGFloat openWidth = 192.5 / 375.0 * W, openHeight = 52.0 / 375.0 * W;
  getRedpacketButton_ = UIButton::buttonWithType(UIButtonTypeCustom);
  getRedpacketButton_->setFrame(CGRectMake((P - openWidth) / 2, Q - openHeight - 35, openWidth, openHeight));
  getRedpacketButton_->setBackgroundImage(UIImage::imageNamed("redpacketOpenButton"_ns), UIControlStateNormal);
  getRedpacketButton_->setBackgroundImage(UIImage::imageNamed("redpacketOpenButtonHighlighted"_ns), UIControlStateSelected);
  getRedpacketButton_->setTag(kOpenTag);
  getRedpacketButton_->setAccessibilityIdentifier("redpacketOpen"_ns);
  getRedpacketButton_->addTarget(self(), &RedpacketView::buttonClick, UIControlEventTouchUpInside);
  redpacketImageView_->addSubview(getRedpacketButton_);

  const CGFloat closeSide = 0.096 * W;
  closeRedpacketButton_ = UIButton::buttonWithType(UIButtonTypeCustom);
  closeRedpacketButton_->setFrame(CGRectMake(P - closeSide - 10, 35, closeSide, closeSide));
  closeRedpacketButton_->setBackgroundImage(UIImage::imageNamed("redpacketClose"_ns), UIControlStateNormal);
  closeRedpacketButton_->setTag(kCloseTag);
  closeRedpacketButton_->setAccessibilityIdentifier("redpacketClose"_ns);
  closeRedpacketButton_->addTarget(self(), &RedpacketView::buttonClick, UIControlEventTouchUpInside);
  closeRedpacketButton_->setHidden(true);
  redpacketImageView_->addSubview(closeRedpacketButton_);
}

void RedpacketView::buttonClick(const std::shared_ptr<UIButton>& button) {
  if (!button) return;
  if (button->tag() == kCloseTag) {
    closeRedpacket();
  } else if (button->tag() == kOpenTag) {
    callMyBlock(button);
  }
}

void RedpacketView::openRedpacket(const std::shared_ptr<NSString>& text) {
  if (!redpacketImageView_) return;
  backGroundView_->addGestureRecognizer(UITapGestureRecognizer::initWithTarget(self(), &RedpacketView::tapAction));
  if (getRedpacketButton_) {
    getRedpacketButton_->removeFromSuperview();
    getRedpacketButton_ = nullptr;
  }
  redpacketImageView_->setImage(UIImage::imageNamed("redpacketOpen"_ns));
  closeRedpacketButton_->setHidden(false);
  const CGFloat W = portraitScreen().width;
  const CGFloat P = redpacketImageView_->bounds().size.width, Q = redpacketImageView_->bounds().size.height;
  const CGFloat moneyWidth = 149.5 / 375.0 * W, moneyHeight = 23.5 / 375.0 * W;
  auto money = UIImageView::initWithFrame(CGRectMake((P - moneyWidth) / 2, Q / 2, moneyWidth, moneyHeight));
  money->setImage(UIImage::imageNamed("redpacketGetMoney@2x"_ns));
  redpacketImageView_->addSubview(money);
  auto label = UILabel::initWithFrame(CGRectMake(0, CGRectGetMaxY(money->frame()) + 15, P, moneyHeight));
  label->setFont(UIFont::boldSystemFontOfSize(22));
  label->setTextColor(UIColor::yellowColor());
  label->setTextAlignment(NSTextAlignmentCenter);
  label->setText(text);
  redpacketImageView_->addSubview(label);
}

void RedpacketView::closeRedpacket() {
  auto keep = self();  // the view leaves its superview last
  if (redpacketImageView_) redpacketImageView_->removeFromSuperview();
  redpacketImageView_ = nullptr;
  if (backGroundView_) backGroundView_->removeFromSuperview();
  backGroundView_ = nullptr;
  removeFromSuperview();
}

void RedpacketView::tapAction() { closeRedpacket(); }

void showRedpacketOn(const std::shared_ptr<UIViewController>& controller, const std::shared_ptr<NSString>& text) {
  auto tabs = controller ? controller->tabBarController() : nullptr;
  if (!tabs) return;
  const CGSize screen = portraitScreen();
  auto packet = UIView::makeView<RedpacketView>(CGRectMake(0, 0, screen.width, screen.height));
  std::weak_ptr<RedpacketView> weakPacket = packet;
  packet->setMyBlock([weakPacket, text](const id&) {
    if (auto view = weakPacket.lock()) view->openRedpacket(text);
  });
  tabs->view()->addSubview(packet);
  tabs->view()->bringSubviewToFront(packet);
}
