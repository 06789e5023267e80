#include "app/screens/rewards/ShareView.h"

#include <algorithm>

#include "platform/graphics/UIScreen.h"
#include "platform/text/UIFont.h"

namespace {

CGFloat shorterSide() {
  const CGSize size = UIScreen::mainScreen()->bounds().size;
  return std::min(size.width, size.height);
}

// How far each target's title and icon move left, as fractions of the screen's width, so that
// the icons line up down the card whatever the titles' lengths.
struct Insets {
  CGFloat title;
  CGFloat icon;
};
constexpr Insets kInsets[] = {{-0.09, -0.14}, {-0.11, -0.16}, {-0.01, -0.07}, {-0.08, -0.14}, {-0.06, -0.11}};

}  // namespace

void ShareView::setUpWithFrame(CGRect frame) {
  ParentView::setUpWithFrame(frame);
  initDatas();
  createUI();
}

void ShareView::initDatas() {
  buttonTitleArray_ = {"分享给微信好友", "分享给QQ好友", "分享至微信朋友圈", "分享至QQ空间", "分享至新浪微博"};
  imageArray_ = {"inviteWechatIcon", "inviteQQFriendIcon", "shareFriendsIcon", "shareQQSpaceIcon", "shareSinaIcon"};
}

void ShareView::createUI() {
  const CGFloat W = shorterSide();
  // The backdrop takes every touch, so nothing under the panel can be reached.
  backView_ = UIView::initWithFrame(CGRectMake(0, 0, W, frame().size.height));
  backView_->setBackgroundColor(UIColor::blackColor());
  backView_->setAlpha(0.7);
  backView_->setUserInteractionEnabled(true);
  addSubview(backView_);

  shareView_ = UIView::initWithFrame(CGRectMake(0.1 * W, 0.2 * W, 0.8 * W, W));
  shareView_->setBackgroundColor(UIColor::whiteColor());
  shareView_->layer()->setCornerRadius(10);
  shareView_->setClipsToBounds(true);
  addSubview(shareView_);

  const CGFloat rowWidth = shareView_->frame().size.width - 0.2 * W;
  const auto grey = UIColor::grayColor();
  for (size_t i = 0; i < buttonTitleArray_.size(); ++i) {
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setFrame(CGRectMake(0.1 * W, 0.07 * W + static_cast<CGFloat>(i) * 0.18 * W, rowWidth, 0.15 * W));
    button->setTitle(NSString::stringWithUTF8String(buttonTitleArray_[i]), UIControlStateNormal);
    button->setTitleColor(grey, UIControlStateNormal);
    button->setImage(UIImage::imageNamed(NSString::stringWithUTF8String(imageArray_[i])), UIControlStateNormal);
    button->setTitleEdgeInsets(UIEdgeInsetsMake(0, kInsets[i].title * W, 0, 0));
    button->setImageEdgeInsets(UIEdgeInsetsMake(0, kInsets[i].icon * W, 0, 0));
    button->setTag(kFirstTag + static_cast<NSInteger>(i));
    button->addTarget(self(), &ShareView::buttonClick, UIControlEventTouchUpInside);
    shareView_->addSubview(button);
    if (i + 1 == buttonTitleArray_.size()) break;
    auto line = UIView::initWithFrame(CGRectMake(0.1 * W, CGRectGetMaxY(button->frame()) + 0.015 * W, rowWidth, 1));
    line->setBackgroundColor(UIColor::colorWithRed(234 / 255.0, 234 / 255.0, 234 / 255.0, 1));
    shareView_->addSubview(line);
  }
}

void ShareView::buttonClick(const std::shared_ptr<UIButton>& button) { callMyBlock(button); }

void ThirdPartySharingTableViewCell::setUpWithStyle(UITableViewCellStyle style, const std::shared_ptr<NSString>& reuseIdentifier) {
  UITableViewCell::setUpWithStyle(style, reuseIdentifier);
  const CGFloat W = shorterSide();
  remarkLabel_ = UILabel::initWithFrame(CGRectMake(W - 160 - 20, 10, 160, 30));
  remarkLabel_->setTextAlignment(NSTextAlignmentCenter);
  remarkLabel_->setFont(UIFont::systemFontOfSize(15));
  remarkLabel_->setTextColor(UIColor::colorWithRed(255 / 255.0, 100 / 255.0, 0, 1));
  contentView()->addSubview(remarkLabel_);
  setSelectionStyle(UITableViewCellSelectionStyleGray);
}

void ThirdPartySharingTableViewCell::setSelected(bool, bool animated) { UITableViewCell::setSelected(false, animated); }
