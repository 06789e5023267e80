#include "app/screens/rewards/HelpCentreViews.h"

#include <algorithm>
#include <string>

#include "app/core/Configuration.h"
#include "platform/graphics/UIScreen.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINib.h"

namespace {

constexpr CGFloat kRowHeight = 46;
constexpr CGFloat kGap = 10;
constexpr CGFloat kTopicHeight = 60;

CGFloat screenWidth() {
  const CGSize size = UIScreen::mainScreen()->bounds().size;
  return std::min(size.width, size.height);
}

std::shared_ptr<UIColor> rgb(int r, int g, int b) { return UIColor::colorWithRed(r / 255.0, g / 255.0, b / 255.0, 1); }

std::shared_ptr<UILabel> label(zvt::ui::NibBuilder& nib, CGRect frame, const std::string& text, CGFloat size,
                               const std::shared_ptr<UIColor>& colour, NSTextAlignment alignment = NSTextAlignmentLeft) {
  auto made = nib.view<UILabel>(frame);
  made->setText(NSString::stringWithUTF8String(text));
  made->setFont(UIFont::systemFontOfSize(size));
  made->setTextColor(colour);
  made->setTextAlignment(alignment);
  return made;
}

// A white row with its title on the left and a grey detail on the right.
std::shared_ptr<UIView> serviceRow(zvt::ui::NibBuilder& nib, CGFloat y, const std::string& title, const std::string& detail) {
  const CGFloat width = screenWidth();
  auto row = nib.view<UIView>(CGRectMake(0, y, width, kRowHeight));
  row->setBackgroundColor(UIColor::whiteColor());
  row->addSubview(label(nib, CGRectMake(15, 0, width / 2 - 15, kRowHeight), title, 16, rgb(5, 22, 21)));
  row->addSubview(label(nib, CGRectMake(width / 2, 0, width / 2 - 15, kRowHeight), detail, 14, rgb(153, 153, 153),
                        NSTextAlignmentRight));
  return row;
}

template <class V>
void makeTappable(V& owner, const std::shared_ptr<UIView>& view, NSInteger tag) {
  if (!view) return;
  view->setTag(tag);
  view->setUserInteractionEnabled(true);
  view->addGestureRecognizer(
      UITapGestureRecognizer::initWithTarget(std::static_pointer_cast<V>(owner.shared_from_this()), SEL(&V::tapAction)));
}

}  // namespace

// --- TZServerView

void TZServerView::awakeFromNib() {
  ParentView::awakeFromNib();
  makeTappable(*this, serverQQ(), 0);
  makeTappable(*this, serverPhone(), 1);
}

void TZServerView::tapAction(const std::shared_ptr<UITapGestureRecognizer>& recognizer) {
  if (auto view = recognizer ? recognizer->view() : nullptr) callMyBlock(view);
}

void TZServerView::registerNib() {
  zvt::ui::registerNibFactory("TZServerView", [](zvt::ui::NibBuilder& nib) -> std::vector<id> {
    const CGFloat width = screenWidth();
    auto view = nib.view<TZServerView>(CGRectMake(0, 0, width, kGap + 2 * kRowHeight + 1 + kGap));
    view->setBackgroundColor(zvt::screenBackgroundColor());
    auto qq = serviceRow(nib, kGap, "QQ在线客服", "9:00-22:00 在线咨询");
    auto phone = serviceRow(nib, kGap + kRowHeight + 1, "客服电话", zvt::Configuration::values().customerServiceTelephone);
    view->addSubview(qq);
    view->addSubview(phone);
    view->serverQQ_ = qq;
    view->serverPhone_ = phone;
    return {view};
  });
}

// --- TZHelpCentreView

void TZHelpCentreView::awakeFromNib() {
  ParentView::awakeFromNib();
  makeTappable(*this, userPlayingView(), 0);
  makeTappable(*this, shoppingQuestionView(), 1);
  makeTappable(*this, accountQuestionView(), 2);
  makeTappable(*this, getMoneyQuestionView(), 3);
}

void TZHelpCentreView::tapAction(const std::shared_ptr<UITapGestureRecognizer>& recognizer) {
  if (auto view = recognizer ? recognizer->view() : nullptr) callMyBlock(view);
}

void TZHelpCentreView::registerNib() {
  zvt::ui::registerNibFactory("TZHelpCentreView", [](zvt::ui::NibBuilder& nib) -> std::vector<id> {
    const CGFloat width = screenWidth();
    auto view = nib.view<TZHelpCentreView>(CGRectMake(0, 0, width, kGap + 40 + 2 * kTopicHeight + kGap));
    view->setBackgroundColor(zvt::screenBackgroundColor());
    auto heading = nib.view<UIView>(CGRectMake(0, kGap, width, 40));
    heading->setBackgroundColor(UIColor::whiteColor());
    heading->addSubview(label(nib, CGRectMake(15, 0, width - 30, 40), "常见问题", 15, rgb(51, 51, 51)));
    view->addSubview(heading);
    const char* const titles[] = {"新手一分钟", "购物问题", "账号问题", "提现问题"};
    std::shared_ptr<UIView> topics[4];
    for (int i = 0; i < 4; ++i) {
      const CGRect frame = CGRectMake((i % 2) * width / 2, kGap + 40 + (i / 2) * kTopicHeight, width / 2, kTopicHeight);
      auto topic = nib.view<UIView>(frame);
      topic->setBackgroundColor(UIColor::whiteColor());
      topic->layer()->setBorderWidth(0.5);
      topic->layer()->setBorderColor(rgb(226, 226, 226)->CGColor());
      topic->addSubview(label(nib, CGRectMake(0, 0, width / 2, kTopicHeight), titles[i], 15, rgb(51, 51, 51),
                              NSTextAlignmentCenter));
      view->addSubview(topic);
      topics[i] = topic;
    }
    view->userPlayingView_ = topics[0];
    view->shoppingQuestionView_ = topics[1];
    view->accountQuestionView_ = topics[2];
    view->getMoneyQuestionView_ = topics[3];
    return {view};
  });
}

// --- TZZVTServerView

void TZZVTServerView::awakeFromNib() {
  ParentView::awakeFromNib();
  if (auto button = serverQQ()) {
    button->layer()->setCornerRadius(5);
    button->layer()->setMasksToBounds(true);
  }
}

void TZZVTServerView::turnToQQServer(const std::shared_ptr<UIButton>& sender) { callMyBlock(sender); }

void TZZVTServerView::registerNib() {
  zvt::ui::registerNibFactory("TZZVTServerView", [](zvt::ui::NibBuilder& nib) -> std::vector<id> {
    const CGRect screen = UIScreen::mainScreen()->bounds();
    const CGFloat width = screenWidth();
    auto view = nib.view<TZZVTServerView>(screen);
    view->setBackgroundColor(zvt::screenBackgroundColor());
    auto panel = nib.view<UIView>(CGRectMake(0, 20, width, 150));
    panel->setBackgroundColor(UIColor::whiteColor());
    panel->addSubview(label(nib, CGRectMake(15, 20, width - 30, 30), "Zavelto官方客服", 20, rgb(51, 51, 51),
                            NSTextAlignmentCenter));
    panel->addSubview(label(nib, CGRectMake(15, 60, width - 30, 24),
                            "客服QQ：" + zvt::Configuration::values().customerServiceQQ, 16, zvt::actionColor(),
                            NSTextAlignmentCenter));
    auto hours = label(nib, CGRectMake(15, 92, width - 30, 40), "服务时间 9:00-22:00，返利、提现、账号问题都可以问我们", 13,
                       rgb(153, 153, 153), NSTextAlignmentCenter);
    hours->setNumberOfLines(2);
    panel->addSubview(hours);
    view->addSubview(panel);
    auto button = nib.view<UIButton>(CGRectMake(20, 200, width - 40, 44));
    button->setBackgroundColor(zvt::actionColor());
    button->setTitle("QQ交谈"_ns, UIControlStateNormal);
    button->setTitleColor(UIColor::whiteColor(), UIControlStateNormal);
    button->addTarget(view, &TZZVTServerView::turnToQQServer, UIControlEventTouchUpInside);
    view->addSubview(button);
    view->serverQQ_ = button;
    return {view};
  });
}
