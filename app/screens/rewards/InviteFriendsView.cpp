#include "app/screens/rewards/InviteFriendsView.h"

#include <algorithm>

#include "app/screens/rewards/ExchangeScreens.h"
#include "app/ui/UIKitCategories.h"
#include "platform/foundation/NSNumber.h"
#include "platform/graphics/UIImage.h"
#include "platform/text/NSStringDrawing.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UINib.h"

using zvt::exchange::portraitScreen;
using zvt::exchange::rgb;

namespace {

std::shared_ptr<UIColor> accent() { return rgb(255, 39, 90); }

constexpr CGFloat kLeaderboardHeight = 290;
constexpr CGFloat kHeadingHeight = 40;

// A value shown as text: a text as it is, a number written out, nothing for anything else.
std::shared_ptr<NSString> shownText(const std::shared_ptr<NSDictionary>& record, const char* key) {
  auto text = zvt::exchange::textOf(record, key);
  return text ? text : ""_ns;
}

std::shared_ptr<UILabel> centredLabel(CGFloat width, CGFloat height, CGPoint centre, CGFloat size,
                                      const std::shared_ptr<UIColor>& colour) {
  auto label = UILabel::initWithFrame(CGRectMake(0, 0, width, height));
  label->setCenter(centre);
  label->setFont(UIFont::systemFontOfSize(size));
  label->setTextColor(colour);
  label->setTextAlignment(NSTextAlignmentCenter);
  return label;
}

}  // namespace

// --- The leaderboard ----------------------------------------------------------------------

void TZLeaderboardView::awakeFromNib() {
  ParentView::awakeFromNib();
  if (auto table = leaderBoardTableView()) table->registerNib(registerNib<TZLeaderboardCell>(), "TZLeaderboardCell"_ns);
}

std::shared_ptr<UIColor> TZLeaderboardCell::defaultBadgeColor() { return rgb(255, 160, 182); }

void TZLeaderboardCell::setInfoDictionary(const std::shared_ptr<NSDictionary>& info) {
  if (!info) return;
  infoDictionary_ = info;
  auto rank = shownText(info, "rank");
  if (auto badge = numLabel()) {
    badge->setText(rank);
    if (rank->isEqualToString("1")) {
      badge->setBackgroundColor(rgb(255, 224, 11));
    } else if (rank->isEqualToString("2")) {
      badge->setBackgroundColor(rgb(174, 175, 174));
    } else if (rank->isEqualToString("3")) {
      badge->setBackgroundColor(rgb(209, 110, 82));
    } else {
      badge->setBackgroundColor(defaultBadgeColor());
    }
  }
  if (auto name = userNameLabel()) name->setText(shownText(info, "username"));
  if (auto extra = extraLabel()) extra->setText(shownText(info, "extra"));
  if (auto ward = inviteWardLabel()) {
    auto num = shownText(info, "num");
    auto text = NSMutableAttributedString::initWithString(NSString::stringWithFormat("邀请奖%@元", num));
    if (num->length() > 0) text->addAttribute(NSForegroundColorAttributeName, accent(), NSMakeRange(3, num->length()));
    ward->setAttributedText(text);
  }
}

void TZLeaderboardCell::layoutSubviews() {
  ParentTableViewCell::layoutSubviews();
  if (auto badge = numLabel()) {
    badge->layer()->setMasksToBounds(true);
    badge->layer()->setCornerRadius(badge->frame().size.height / 2);
  }
}

void registerLeaderboardNibs() {
  zvt::ui::registerNibFactory("TZLeaderboardView", [](zvt::ui::NibBuilder& nib) -> std::vector<id> {
    const CGFloat width = portraitScreen().width;
    auto view = nib.view<TZLeaderboardView>(CGRectMake(0, 0, width, kLeaderboardHeight));
    view->setBackgroundColor(UIColor::whiteColor());
    auto mark = nib.view<UIView>(CGRectMake(12, 11, 4, kHeadingHeight - 22));
    mark->setBackgroundColor(accent());
    view->addSubview(mark);
    auto heading = nib.view<UILabel>(CGRectMake(24, 0, width - 36, kHeadingHeight));
    heading->setText("邀请排行榜"_ns);
    heading->setFont(UIFont::boldSystemFontOfSize(16));
    heading->setTextColor(rgb(51, 51, 51));
    view->addSubview(heading);
    auto line = nib.view<UIView>(CGRectMake(0, kHeadingHeight - 1, width, 1));
    line->setBackgroundColor(rgb(234, 234, 234));
    view->addSubview(line);
    // Made as code makes it: a scroll view that a nib builds gets no pan of its own here.
    auto table = nib.adopt(UITableView::initWithFrame(CGRectMake(0, kHeadingHeight, width, kLeaderboardHeight - kHeadingHeight),
                                                      UITableViewStylePlain));
    table->setRowHeight(TZLeaderboardCell::kRowHeight);
    table->setSeparatorStyle(UITableViewCellSeparatorStyleNone);
    table->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    table->setAccessibilityIdentifier("leaderboardTable"_ns);
    view->addSubview(table);
    view->setLeaderBoardTableView(table);
    return {view};
  });
  zvt::ui::registerNibFactory("TZLeaderboardCell", [](zvt::ui::NibBuilder& nib) -> std::vector<id> {
    const CGFloat width = portraitScreen().width;
    const CGFloat h = TZLeaderboardCell::kRowHeight;
    auto cell = nib.view<TZLeaderboardCell>(CGRectMake(0, 0, width, h));
    cell->setSelectionStyle(UITableViewCellSelectionStyleNone);
    auto badge = nib.view<UILabel>(CGRectMake(15, (h - 24) / 2, 24, 24));
    badge->setTextAlignment(NSTextAlignmentCenter);
    badge->setFont(UIFont::boldSystemFontOfSize(13));
    badge->setTextColor(UIColor::whiteColor());
    badge->setBackgroundColor(TZLeaderboardCell::defaultBadgeColor());
    auto name = nib.view<UILabel>(CGRectMake(50, 6, width * 0.45 - 50, 20));
    name->setFont(UIFont::systemFontOfSize(15));
    name->setTextColor(rgb(51, 51, 51));
    auto extra = nib.view<UILabel>(CGRectMake(50, 26, width * 0.5 - 50, 18));
    extra->setFont(UIFont::systemFontOfSize(12));
    extra->setTextColor(rgb(153, 153, 153));
    auto ward = nib.view<UILabel>(CGRectMake(width * 0.45, 0, width * 0.55 - 15, h));
    ward->setFont(UIFont::systemFontOfSize(15));
    ward->setTextColor(rgb(102, 102, 102));
    ward->setTextAlignment(NSTextAlignmentRight);
    auto line = nib.view<UIView>(CGRectMake(15, h - 1, width - 15, 1));
    line->setBackgroundColor(rgb(240, 240, 240));
    for (const auto& part : std::vector<std::shared_ptr<UIView>>{badge, name, extra, ward, line}) {
      cell->contentView()->addSubview(part);
    }
    cell->numLabel_ = badge;
    cell->userNameLabel_ = name;
    cell->extraLabel_ = extra;
    cell->inviteWardLabel_ = ward;
    return {cell};
  });
}

// --- The page body ------------------------------------------------------------------------

void InviteFriendsView::setUpWithFrame(CGRect frame) {
  ParentView::setUpWithFrame(frame);
  initDatas();
  createUI();
}

void InviteFriendsView::initDatas() {
  buttonTitleArray_ = NSArray::make({"微信邀请好友"_ns, "QQ邀请好友"_ns, "分享至微信朋友圈"_ns, "分享至QQ空间"_ns,
                                     "分享至新浪微博"_ns});
  imageArray_ = NSArray::make({"inviteWechatIcon"_ns, "inviteQQFriendIcon"_ns, "shareFriendsIcon"_ns,
                               "shareQQSpaceIcon"_ns, "shareSinaIcon"_ns});
}

std::shared_ptr<UIButton> InviteFriendsView::pageButton(CGRect frame, const std::shared_ptr<NSString>& title,
                                                        NSInteger tag) {
  auto button = UIButton::buttonWithType(UIButtonTypeCustom);
  button->setFrame(frame);
  button->setTitle(title, UIControlStateNormal);
  button->setTag(tag);
  button->layer()->setCornerRadius(5);
  button->layer()->setMasksToBounds(true);
  button->addTarget(shared_from_this(), SEL(&InviteFriendsView::buttonClick), UIControlEventTouchUpInside);
  return button;
}

void InviteFriendsView::createUI() {
  const CGFloat W = portraitScreen().width;
  const CGRect bounds = this->bounds();
  scrollView_ = UIScrollView::initWithFrame(CGRectMake(0, 0, bounds.size.width, bounds.size.height - 20));
  addSubview(scrollView_);

  topImageView_ = UIImageView::initWithImage(UIImage::imageNamed("inviteFriendsTop"_ns));
  topImageView_->setFrame(CGRectMake(0, 0, W, 0.4 * W));
  scrollView_->addSubview(topImageView_);

  auto panel = UIView::initWithFrame(CGRectMake(0, CGRectGetMaxY(topImageView_->frame()), W, 0.25 * W));
  panel->setBackgroundColor(UIColor::whiteColor());
  scrollView_->addSubview(panel);
  const CGFloat panelHeight = panel->frame().size.height;
  auto divider = UIView::initWithFrame(CGRectMake(0, 0, 1, panelHeight * 0.8));
  divider->setCenter(CGPointMake(W / 2, panelHeight / 2));
  divider->setBackgroundColor(rgb(219, 219, 219));
  panel->addSubview(divider);
  totalInviteLabel_ = centredLabel(W / 2 - 20, 20, CGPointMake(W / 4, 25), 16, UIColor::grayColor());
  totalInviteLabel_->setText("累计邀请奖励(元)"_ns);
  numTotalLabel_ = centredLabel(W / 2 - 20, 25, CGPointMake(W / 4, 50), 22, UIColor::blackColor());
  succeedInviteLabel_ = centredLabel(W / 2 - 20, 20, CGPointMake(3 * W / 4, 25), 16, UIColor::grayColor());
  succeedInviteLabel_->setText("成功邀请好友(人)"_ns);
  numSucceedLabel_ = centredLabel(W / 2 - 20, 25, CGPointMake(3 * W / 4, 50), 22, UIColor::blackColor());
  for (const auto& label : {totalInviteLabel_, numTotalLabel_, succeedInviteLabel_, numSucceedLabel_}) {
    panel->addSubview(label);
  }

  auto strip = UIImageView::initWithImage(UIImage::imageNamed("juxing"_ns));
  strip->setFrame(CGRectMake(0, CGRectGetMaxY(panel->frame()), W, W * 16 / 640));
  scrollView_->addSubview(strip);

  auto invite = pageButton(CGRectMake(0.05 * W, CGRectGetMaxY(strip->frame()) + 10, 0.9 * W, 0.12 * W), "立即邀请"_ns, 0);
  invite->setBackgroundColor(accent());
  scrollView_->addSubview(invite);

  auto rewards = pageButton(CGRectMake(0.05 * W, CGRectGetMaxY(invite->frame()) + 0.04 * W, 0.9 * W, 0.12 * W),
                            "查看邀请奖励"_ns, 1);
  rewards->setTitleColor(accent(), UIControlStateNormal);
  rewards->setBackgroundColor(UIColor::clearColor());
  rewards->layer()->setBorderWidth(1);
  rewards->layer()->setBorderColor(accent()->CGColor());
  scrollView_->addSubview(rewards);

  leaderboardView_ = loadFromNib<TZLeaderboardView>();
  if (leaderboardView_) {
    leaderboardView_->setFrame(CGRectMake(0, CGRectGetMaxY(rewards->frame()) + 10, W, kLeaderboardHeight));
    scrollView_->addSubview(leaderboardView_);
  }
  const CGFloat boardBottom = CGRectGetMaxY(rewards->frame()) + 10 + kLeaderboardHeight;

  auto rules = UIImageView::initWithImage(UIImage::imageNamed("invite_rule"_ns));
  rules->setFrame(CGRectMake(0, boardBottom + 10, W, W * 571 / 640));
  scrollView_->addSubview(rules);
  scrollView_->setContentSize(CGSizeMake(W, CGRectGetMaxY(rules->frame())));

  // The share panel over the page, not scrolling with it.
  backView_ = UIView::initWithFrame(CGRectMake(0, 0, W, bounds.size.height));
  backView_->setBackgroundColor(UIColor::blackColor());
  backView_->setAlpha(0.7);
  backView_->setUserInteractionEnabled(true);
  backView_->setHidden(true);
  addSubview(backView_);

  shareView_ = UIView::initWithFrame(CGRectMake(0.1 * W, 0.2 * W, 0.8 * W, W));
  shareView_->setBackgroundColor(UIColor::whiteColor());
  shareView_->layer()->setCornerRadius(10);
  shareView_->layer()->setMasksToBounds(true);
  shareView_->setHidden(true);
  addSubview(shareView_);

  const CGFloat iconColumn = 0.06 * W;  // the icons' left edge in a row
  const CGFloat gap = 10;               // between an icon and its title
  for (NSUInteger i = 0; i < buttonTitleArray_->count(); ++i) {
    auto title = zvt::as<NSString>(buttonTitleArray_->objectAtIndex(i));
    auto image = UIImage::imageNamed(zvt::as<NSString>(imageArray_->objectAtIndex(i)));
    const CGRect frame = CGRectMake(0.1 * W, 0.07 * W + i * 0.18 * W, 0.6 * W, 0.15 * W);
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setFrame(frame);
    button->setTitle(title, UIControlStateNormal);
    button->setTitleColor(UIColor::grayColor(), UIControlStateNormal);
    button->setImage(image, UIControlStateNormal);
    button->setTag(100 + static_cast<NSInteger>(i));
    button->addTarget(shared_from_this(), SEL(&InviteFriendsView::buttonClick), UIControlEventTouchUpInside);
    // The button centres icon and title together; pull both left by this row's share of the
    // free width so that every icon stands at the same column.
    const CGFloat imageWidth = image ? image->size().width : 0;
    const CGFloat titleWidth = sizeWithFont(title, button->titleLabel()->font()).width;
    const CGFloat contentLeft = (frame.size.width - imageWidth - titleWidth) / 2;
    const CGFloat shift = contentLeft - iconColumn;
    button->setImageEdgeInsets(UIEdgeInsetsMake(0, -shift, 0, shift));
    button->setTitleEdgeInsets(UIEdgeInsetsMake(0, gap - shift, 0, shift - gap));
    shareView_->addSubview(button);
    shareButtons_.push_back(button);
    if (i + 1 < buttonTitleArray_->count()) {
      auto separator = UIView::initWithFrame(CGRectMake(0.1 * W, CGRectGetMaxY(frame) + 0.015 * W, 0.6 * W, 1));
      separator->setBackgroundColor(rgb(234, 234, 234));
      shareView_->addSubview(separator);
    }
  }
}

void InviteFriendsView::updateDatasWith(const std::shared_ptr<NSDictionary>& data) {
  numTotalLabel_->setText(shownText(data, "inviteMoney"));
  numSucceedLabel_->setText(
      NSString::stringWithFormat("%ld", static_cast<long>(zvt::exchange::integerOf(data, "inviteTotal"))));
}

void InviteFriendsView::buttonClick(const std::shared_ptr<UIButton>& sender) { callMyBlock(sender); }
