#include "app/screens/rewards/EarnMoneyViewController.h"

#include <algorithm>

#include "analytics/StatAgent.h"
#include "app/api/ZVTAPIClient.h"
#include "app/core/AppDelegate.h"
#include "app/screens/account/PasswordTipView.h"
#include "app/screens/rewards/ExchangeScreens.h"
#include "app/screens/rewards/HowToUseAlibabaMoneyViewController.h"
#include "app/screens/rewards/MoneyScreenParts.h"
#include "app/screens/rewards/RewardsScreenParts.h"
#include "app/ui/ScreenRegistry.h"
#include "app/ui/UIAlertView+TapBlocks.h"
#include "app/ui/UIKitCategories.h"
#include "app/utilities/ZVTPublicTools.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSValue.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIGestureRecognizer.h"

using zvt::exchange::portraitScreen;
using zvt::exchange::rgb;
using zvt::money::textOf;

namespace {

constexpr const char* kPageName = "我要提现页";

std::string utf8(const id& value) {
  auto text = textOf(value);
  return text ? text->utf8() : "";
}

bool isDigits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A decimal written as digits with at most one point: its whole part and the digits after the
// point, leading zeros of the whole part dropped ("007.50" is {"7", "50"}); nothing otherwise.
struct Decimal {
  std::string whole;
  std::string fraction;
};
std::optional<Decimal> decimalOf(const std::string& s) {
  const size_t point = s.find('.');
  Decimal d{s.substr(0, point), point == std::string::npos ? "" : s.substr(point + 1)};
  if (d.whole.empty() && d.fraction.empty()) return std::nullopt;
  if (!d.whole.empty() && !isDigits(d.whole)) return std::nullopt;
  if (!d.fraction.empty() && !isDigits(d.fraction)) return std::nullopt;
  d.whole.erase(0, std::min(d.whole.find_first_not_of('0'), d.whole.size()));
  while (!d.fraction.empty() && d.fraction.back() == '0') d.fraction.pop_back();
  return d;
}

// Exact comparison of two decimals: the whole parts by their digits, then the fractions padded
// to the same number of places (no float ever stands between).
int compare(const Decimal& a, const Decimal& b) {
  if (a.whole.size() != b.whole.size()) return a.whole.size() < b.whole.size() ? -1 : 1;
  if (a.whole != b.whole) return a.whole < b.whole ? -1 : 1;
  const size_t places = std::max(a.fraction.size(), b.fraction.size());
  const std::string fa = a.fraction + std::string(places - a.fraction.size(), '0');
  const std::string fb = b.fraction + std::string(places - b.fraction.size(), '0');
  if (fa == fb) return 0;
  return fa < fb ? -1 : 1;
}

// The whole part of a balance text as a count: "12.50" is 12; a text that does not start with
// digits counts 0.
int64_t wholeCount(const std::string& s) {
  int64_t value = 0;
  for (char c : s) {
    if (c < '0' || c > '9') break;
    if (value > (INT64_MAX - (c - '0')) / 10) return INT64_MAX;
    value = value * 10 + (c - '0');
  }
  return value;
}

void showMessage(const char* message) { showWithTitle(nullptr, NSString::stringWithUTF8String(message)); }

}  // namespace

namespace zvt::money {

AmountCheck checkPoints(const std::string& amount, const std::string& balance) {
  if (!isDigits(amount)) return AmountCheck::wrongAmount;
  const size_t first = std::min(amount.find_first_not_of('0'), amount.size());
  if (amount.size() - first > 9) return AmountCheck::wrongAmount;  // 1,000,000,000 and above
  const int64_t n = wholeCount(amount);
  if (n < 1) return AmountCheck::wrongAmount;
  return n > wholeCount(balance) ? AmountCheck::beyondBalance : AmountCheck::ok;
}

AmountCheck checkCash(const std::string& amount, const std::string& balance) {
  // Yuan and at most two places of fen, as the service takes them: "5.", ".5" or "0.015"
  // would pass the bounds below and then only come back as a bare "提现失败".
  const size_t point = amount.find('.');
  if (point != std::string::npos && (point == 0 || point + 1 == amount.size() || amount.size() - point - 1 > 2))
    return AmountCheck::wrongAmount;
  auto x = decimalOf(amount);
  if (!x) return AmountCheck::wrongAmount;
  // Above 0.009 and below 1,000,000,000.
  if (compare(*x, Decimal{"", "009"}) <= 0 || compare(*x, Decimal{"1000000000", ""}) >= 0) return AmountCheck::wrongAmount;
  const Decimal have = decimalOf(balance).value_or(Decimal{"", ""});
  return compare(*x, have) > 0 ? AmountCheck::beyondBalance : AmountCheck::ok;
}

}  // namespace zvt::money

// --- TZWithdrawView -----------------------------------------------------------------------------

bool TZWithdrawView::hasAlipayAccount() const { return userInfoModel_ && textOf(userInfoModel_->alipay) != nullptr; }

void TZWithdrawView::awakeFromNib() {
  type_ = "1"_ns;
  auto accent = zvt::actionColor();
  if (auto seg = typeSeg()) {
    seg->setTitleTextAttributes(
        NSDictionary::make({{NSForegroundColorAttributeName, accent}, {NSFontAttributeName, UIFont::systemFontOfSize(15.5)}}),
        UIControlStateNormal);
  }
  if (auto seg = typeWithdraw()) seg->setTintColor(accent);
  configLayerWithBorderWidth(bgFirstView(), 1.0, 0, rgb(222, 222, 222));
  configLayerWithBorderWidth(bgSecndView(), 1.0, 0, rgb(222, 222, 222));
  if (auto button = withdrawButton()) button->setBackgroundColor(accent);
  auto delegate = AppDelegate::shared();
  auto phone = verticalPhoneButton();
  if (phone) {
    if (auto title = delegate ? delegate->bindingText() : nullptr) phone->setTitle(title, UIControlStateNormal);
    phone->setHidden(true);
  }
  if (auto box = bgFirstView()) {
    auto tap = UITapGestureRecognizer::initWithTarget(self(), &TZWithdrawView::bgFirstViewClick);
    box->addGestureRecognizer(tap);
  }
}

void TZWithdrawView::layoutSubviews() {
  ParentView::layoutSubviews();
  const CGSize size = bounds().size;
  // The scroll view's bottom follows the keyboard.
  if (auto scroll = bgScrollView()) scroll->setFrame(CGRectMake(0, 0, size.width, std::max(0.0, size.height - bgScrollViewBottomConstraints_)));
  if (auto box = bgFirstView(); box && rArrowImageView()) {
    auto arrow = rArrowImageView();
    CGRect frame = arrow->frame();
    frame.origin.x = box->bounds().size.width + rArrowImageViewRightConstraint_ - frame.size.width;
    arrow->setFrame(frame);
    if (auto label = zhifubaoLabel()) {
      CGRect line = label->frame();
      line.size.width = frame.origin.x - 8 - line.origin.x;
      label->setFrame(line);
    }
  }
  // The phone offer sits under the withdraw button; hidden, it moves up under it and the notes
  // follow.
  if (auto button = withdrawButton(); button && verticalPhoneButton()) {
    auto phone = verticalPhoneButton();
    CGRect frame = phone->frame();
    frame.origin.y = CGRectGetMaxY(button->frame()) + 10 + verticalPhoneButtonTopConstraints_;
    phone->setFrame(frame);
    if (auto notes = notesView_.lock()) {
      CGRect n = notes->frame();
      n.origin.y = CGRectGetMaxY(frame) + 10;
      notes->setFrame(n);
    }
  }
}

void TZWithdrawView::updateConstraints() {
  bgScrollViewBottomConstraints_ = keyboardH;
  ParentView::updateConstraints();
  setNeedsLayout();
}

void TZWithdrawView::setUserInfoModel(const std::shared_ptr<TZUserInfoModel>& model) {
  if (!model) return;
  userInfoModel_ = model;
  auto accent = zvt::actionColor();
  auto alipay = textOf(model->alipay);
  auto realname = textOf(model->realname);
  if (auto label = zhifubaoLabel()) {
    if (alipay && realname && alipay->length() > 0 && realname->length() > 0) {
      // The holder's name, then the account, the first character hidden.
      auto line = NSMutableString::stringWithString(NSString::stringWithFormat("%@/%@", realname, alipay));
      line->replaceCharactersInRange(NSMakeRange(0, 1), "*"_ns);
      label->setText(line);
      label->setTextColor(rgb(51, 51, 51));
      rArrowImageViewRightConstraint_ = -7.0;
      setNeedsLayout();
      layoutIfNeeded();
    } else {
      label->setText("! 未绑定支付宝"_ns);
      label->setTextColor(accent);
    }
  }
  // The balance of the kind selected (after a cash withdrawal the cash line stays).
  if (type_ && type_->isEqualToString("2")) {
    moneyStr();
  } else {
    jifenbaoStr();
  }
  isWithdrawing();
  auto delegate = AppDelegate::shared();
  auto phoneNumber = textOf(model->phoneNumber);
  auto phone = verticalPhoneButton();
  if (!phone) return;
  if (delegate && delegate->isShowBinding() && (!phoneNumber || phoneNumber->length() == 0)) {
    phone->setHidden(false);
    phone->setEnabled(true);
    verticalPhoneButtonTopConstraints_ = 0.0;
    setNeedsLayout();
    std::weak_ptr<TZWithdrawView> weakSelf = std::static_pointer_cast<TZWithdrawView>(self());
    UIView::animateWithDuration(1.0, [weakSelf] {
      if (auto form = weakSelf.lock()) form->layoutIfNeeded();
    });
  } else {
    phone->setHidden(true);
    phone->setEnabled(false);
    verticalPhoneButtonTopConstraints_ = -30.0;
    setNeedsLayout();
  }
}

void TZWithdrawView::writeBalance(const std::shared_ptr<NSString>& value, const char* unit) {
  auto label = canWithdrawMoneyLabel();
  if (!label) return;
  auto shown = value ? value : ""_ns;
  auto text = NSMutableAttributedString::initWithString(
      NSString::stringWithFormat("当前账户有%@%@", shown, NSString::stringWithUTF8String(unit)));
  const NSRange range = NSMakeRange(5, shown->length());
  text->addAttribute(NSForegroundColorAttributeName, zvt::actionColor(), range);
  text->addAttribute(NSFontAttributeName, UIFont::boldSystemFontOfSize(15), range);
  label->setAttributedText(text);
}

void TZWithdrawView::moneyStr() { writeBalance(userInfoModel_ ? textOf(userInfoModel_->money) : nullptr, "元"); }

void TZWithdrawView::jifenbaoStr() {
  auto balance = userInfoModel_ ? textOf(userInfoModel_->jifenbao) : nullptr;
  if (balance) {
    const NSRange point = balance->rangeOfString("."_ns);
    if (point.location != NSNotFound) balance = balance->substringToIndex(point.location);
  }
  writeBalance(balance, "个集分宝");
}

void TZWithdrawView::typeChange(const std::shared_ptr<UISegmentedControl>& sender) {
  if (!sender) return;
  const NSInteger index = sender->selectedSegmentIndex();
  if (index != 0 && index != 1) return;
  type_ = index == 0 ? "1"_ns : "2"_ns;
  if (!userInfoModel_) return;
  if (index == 0) {
    jifenbaoStr();
  } else {
    moneyStr();
  }
  isWithdrawing();
}

void TZWithdrawView::isWithdrawing() {
  auto button = withdrawButton();
  if (!button) return;
  const bool points = !type_ || type_->isEqualToString("1");
  auto status = userInfoModel_ ? textOf(points ? userInfoModel_->tbtxstatus : userInfoModel_->txstatus) : nullptr;
  if (status && status->isEqualToString("1")) {
    button->setEnabled(false);
    button->setTitle("提现审核中"_ns, UIControlStateNormal);
    button->setBackgroundColor(rgb(194, 194, 194));
  } else {
    button->setEnabled(true);
    button->setTitle("提 现"_ns, UIControlStateNormal);
    button->setBackgroundColor(zvt::actionColor());
  }
}

bool TZWithdrawView::ruleParamater() {
  auto amountField = moneyTextField();
  auto passwordField = passwordTextField();
  const std::string amount = amountField && amountField->text() ? amountField->text()->utf8() : "";
  if (amount.empty()) {
    showMessage("请填写提现数额");
    return false;
  }
  auto kind = typeWithdraw();
  const bool points = !kind || kind->selectedSegmentIndex() == 0;
  const auto record = userInfoModel_;
  const auto check = points ? zvt::money::checkPoints(amount, record ? utf8(record->jifenbao) : "")
                            : zvt::money::checkCash(amount, record ? utf8(record->money) : "");
  if (check == zvt::money::AmountCheck::wrongAmount) {
    showMessage("请填写正确的数额");
    return false;
  }
  if (check == zvt::money::AmountCheck::beyondBalance) {
    showMessage(points ? "您的集分宝数额不够" : "您的余额不够");
    return false;
  }
  if (!passwordField || !passwordField->text() || passwordField->text()->length() == 0) {
    showMessage("请填写Zavelto登录密码");
    return false;
  }
  return true;
}

void TZWithdrawView::clearTextField() {
  if (auto field = moneyTextField()) field->setText(""_ns);
  if (auto field = passwordTextField()) field->setText(""_ns);
}

void TZWithdrawView::passwordQuestionClick(const std::shared_ptr<UIButton>& sender) { callMyBlock(sender); }
void TZWithdrawView::withdrawButtonClick(const std::shared_ptr<UIButton>& sender) { callMyBlock(sender); }
void TZWithdrawView::useQuestionButtonClick(const std::shared_ptr<UIButton>& sender) { callMyBlock(sender); }
void TZWithdrawView::verticalPhoneClick(const std::shared_ptr<UIButton>& sender) { callMyBlock(sender); }

void TZWithdrawView::bgFirstViewClick() {
  if (tapBlock) tapBlock();
}

std::vector<id> TZWithdrawView::makeFromNib(zvt::ui::NibBuilder& nib) {
  const CGSize screen = portraitScreen();
  const CGFloat width = screen.width;
  auto form = nib.view<TZWithdrawView>(CGRectMake(0, 0, width, screen.height));
  form->setBackgroundColor(rgb(242, 242, 242));
  auto scroll = nib.view<UIScrollView>(CGRectMake(0, 0, width, screen.height));
  scroll->setAlwaysBounceVertical(true);
  form->addSubview(scroll);
  auto content = nib.view<UIView>(CGRectMake(0, 0, width, screen.height - 64));
  scroll->addSubview(content);
  scroll->setContentSize(content->frame().size);

  auto label = [&](const std::shared_ptr<UIView>& in, CGRect frame, CGFloat size, const std::shared_ptr<UIColor>& colour,
                   const char* text) { return zvt::money::nibLabel(nib, in, frame, size, colour, text); };
  auto line = [&](const std::shared_ptr<UIView>& in, CGFloat y) {
    auto made = nib.view<UIView>(CGRectMake(15, y, in->frame().size.width - 30, 0.5));
    made->setBackgroundColor(rgb(222, 222, 222));
    in->addSubview(made);
  };
  auto textButton = [&](CGRect frame, const char* title, NSInteger tag, SEL action, const std::shared_ptr<UIColor>& colour) {
    auto button = nib.view<UIButton>(frame);
    button->setTitle(NSString::stringWithUTF8String(title), UIControlStateNormal);
    button->setTitleColor(colour, UIControlStateNormal);
    button->titleLabel()->setFont(UIFont::systemFontOfSize(13));
    button->setTag(tag);
    button->addTarget(form, action, UIControlEventTouchUpInside);
    content->addSubview(button);
    return button;
  };

  // The account box: the caption, the account line and the disclosure arrow.
  auto first = nib.view<UIView>(CGRectMake(-1, 15, width + 2, 50));
  first->setBackgroundColor(UIColor::whiteColor());
  content->addSubview(first);
  label(first, CGRectMake(16, 0, 80, 50), 15, rgb(51, 51, 51), "收款账户");
  auto account = label(first, CGRectMake(96, 0, width - 140, 50), 15, rgb(51, 51, 51), "支付宝账号");
  account->setTextAlignment(NSTextAlignmentRight);
  auto arrow = nib.view<UIImageView>(CGRectMake(width - 22, 17, 9, 16));
  arrow->setImage(UIImage::imageNamed("rightArrow"_ns));
  first->addSubview(arrow);

  // The kind: one segmented control serves both outlets.
  auto kind = nib.view<UISegmentedControl>(CGRectMake(15, 80, width - 30, 32));
  kind->insertSegmentWithTitle("集分宝"_ns, 0, false);
  kind->insertSegmentWithTitle("现金"_ns, 1, false);
  kind->setSelectedSegmentIndex(0);
  kind->setBackgroundColor(UIColor::whiteColor());
  kind->addTarget(form, &TZWithdrawView::typeChange, UIControlEventValueChanged);
  content->addSubview(kind);

  // The entry box: the balance line, the amount and the login password.
  auto second = nib.view<UIView>(CGRectMake(-1, 127, width + 2, 141));
  second->setBackgroundColor(UIColor::whiteColor());
  content->addSubview(second);
  auto balance = label(second, CGRectMake(16, 0, width - 32, 40), 15, rgb(102, 102, 102), "当前账户有--");
  line(second, 40);
  label(second, CGRectMake(16, 40.5, 80, 50), 15, rgb(51, 51, 51), "提现数额");
  auto amount = nib.view<UITextField>(CGRectMake(96, 40.5, width - 112, 50));
  amount->setPlaceholder("请输入提现数额"_ns);
  amount->setFont(UIFont::systemFontOfSize(15));
  amount->setTextColor(rgb(51, 51, 51));
  amount->setClearButtonMode(UITextFieldViewModeWhileEditing);
  second->addSubview(amount);
  line(second, 90.5);
  label(second, CGRectMake(16, 91, 80, 50), 15, rgb(51, 51, 51), "登录密码");
  auto password = nib.view<UITextField>(CGRectMake(96, 91, width - 170, 50));
  password->setPlaceholder("Zavelto登录密码"_ns);
  password->setFont(UIFont::systemFontOfSize(15));
  password->setTextColor(rgb(51, 51, 51));
  password->setSecureTextEntry(true);
  password->setClearButtonMode(UITextFieldViewModeWhileEditing);
  second->addSubview(password);
  auto hint = nib.view<UIButton>(CGRectMake(width - 72, 91, 60, 50));
  hint->setTitle("哪个密码"_ns, UIControlStateNormal);
  hint->setTitleColor(rgb(153, 153, 153), UIControlStateNormal);
  hint->titleLabel()->setFont(UIFont::systemFontOfSize(12));
  hint->setTag(kPasswordHintTag);
  hint->addTarget(form, &TZWithdrawView::passwordQuestionClick, UIControlEventTouchUpInside);
  second->addSubview(hint);

  // How 集分宝 are used, under the box on the right.
  auto howTo = textButton(CGRectMake(width - 175, 272, 160, 30), "集分宝是什么？怎么用？", kHowToTag,
                          SEL(&TZWithdrawView::useQuestionButtonClick), zvt::actionColor());
  howTo->setContentHorizontalAlignment(UIControlContentHorizontalAlignmentRight);

  auto withdraw = nib.view<UIButton>(CGRectMake(15, 310, width - 30, 45));
  withdraw->setTitle("提 现"_ns, UIControlStateNormal);
  withdraw->setTitleColor(UIColor::whiteColor(), UIControlStateNormal);
  withdraw->titleLabel()->setFont(UIFont::systemFontOfSize(18));
  withdraw->layer()->setCornerRadius(4);
  withdraw->layer()->setMasksToBounds(true);
  withdraw->setTag(kWithdrawTag);
  withdraw->addTarget(form, &TZWithdrawView::withdrawButtonClick, UIControlEventTouchUpInside);
  content->addSubview(withdraw);

  auto phone = textButton(CGRectMake(15, 365, width - 30, 30), "验证手机号，提现更安全", kVerifyPhoneTag,
                          SEL(&TZWithdrawView::verticalPhoneClick), zvt::actionColor());

  auto notes = nib.view<UILabel>(CGRectMake(15, 405, width - 30, 80));
  notes->setNumberOfLines(0);
  notes->setFont(UIFont::systemFontOfSize(12));
  notes->setTextColor(rgb(153, 153, 153));
  notes->setText("提现说明：\n1. 集分宝按整数个提取，现金最少提取0.01元；\n2. 提现申请在1个工作日内到账；\n3. 同类提现审核期间不能再次申请。"_ns);
  content->addSubview(notes);

  form->bgScrollView_ = scroll;
  form->contentView_ = content;
  form->bgFirstView_ = first;
  form->zhifubaoLabel_ = account;
  form->rArrowImageView_ = arrow;
  form->bgSecndView_ = second;
  form->typeWithdraw_ = kind;
  form->typeSeg_ = kind;
  form->canWithdrawMoneyLabel_ = balance;
  form->moneyTextField_ = amount;
  form->passwordTextField_ = password;
  form->withdrawButton_ = withdraw;
  form->questionButton_ = howTo;
  form->verticalPhoneButton_ = phone;
  form->passwordHintButton_ = hint;
  form->notesView_ = notes;
  return {form};
}

void zvt::money::registerWithdrawViewNib() { zvt::ui::registerNibFactory("TZWithdrawView", &TZWithdrawView::makeFromNib); }

// --- EarnMoneyViewController --------------------------------------------------------------------

void EarnMoneyViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  setAutomaticallyAdjustsScrollViewInsets(false);
  setTitle("我要提现"_ns);
  zvt::rewards::configPopItem(controllerSelf());
  observeKeyboardOf(screenSelf());
  createUI();
}

void EarnMoneyViewController::createUI() {
  withdraw_ = loadFromNib<TZWithdrawView>();
  if (!withdraw_) return;
  const CGSize screen = portraitScreen();
  withdraw_->setFrame(CGRectMake(0, 0, screen.width, screen.height));
  keyboardCanHide(withdraw_);
  auto me = screenSelf();
  auto delegate = std::static_pointer_cast<UITextFieldDelegate>(me);
  if (auto field = withdraw_->moneyTextField()) field->setDelegate(delegate);
  if (auto field = withdraw_->passwordTextField()) field->setDelegate(delegate);
  view()->addSubview(withdraw_);
  std::weak_ptr<EarnMoneyViewController> weak = me;
  withdraw_->setMyBlock([weak](const id& sender) {
    if (auto screen = weak.lock()) screen->buttonAction(sender);
  });
  withdraw_->tapBlock = [weak] {
    if (auto screen = weak.lock()) screen->boundAccount();
  };
}

void EarnMoneyViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  zvt::rewards::appearWithWhiteBar(controllerSelf(), NSString::stringWithUTF8String(kPageName), true);
  getUserInfo();
}

void EarnMoneyViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  StatAgent::endLogPageView(NSString::stringWithUTF8String(kPageName));
  view()->endEditing(true);
}

void EarnMoneyViewController::getUserInfo() {
  auto screen = screenSelf();  // held until the reply has been handled
  ZVTAPIClient::getUserInfoWith(NSDictionary::make({{"id"_ns, zvt::money::sessionUserId()}}),
                                [screen](const std::shared_ptr<NSDictionary>& record, const std::shared_ptr<NSError>&) {
                                  dispatch_async(dispatch_get_main_queue(), [screen, record] {
                                    // A failed read leaves the form as it was.
                                    if (!record || record->count() == 0 || !screen->withdraw_) return;
                                    screen->withdraw_->setUserInfoModel(zvt::modelFromRecord<TZUserInfoModel>(record));
                                  });
                                });
}

void EarnMoneyViewController::applyForwithdraw() {
  if (sending_ || !withdraw_) return;
  auto type = withdraw_->type() ? withdraw_->type() : "1"_ns;
  auto amountField = withdraw_->moneyTextField();
  auto passwordField = withdraw_->passwordTextField();
  auto amount = amountField && amountField->text() ? amountField->text() : ""_ns;
  auto parameters = NSMutableDictionary::dictionary();
  parameters->setObject(zvt::money::sessionUserId(), "id"_ns);
  parameters->setObject(passwordField && passwordField->text() ? passwordField->text() : ""_ns, "ddpassword"_ns);
  parameters->setObject(type, "type"_ns);
  parameters->setObject(amount, type->isEqualToString("1") ? "jifenbao"_ns : "money"_ns);
  parameters->setObject(""_ns, "remark"_ns);
  // One withdrawal at a time: the flag falls on every path of the completion.
  sending_ = true;
  auto screen = screenSelf();
  ZVTAPIClient::withdrawWith(parameters, [screen](bool success, const std::shared_ptr<NSString>& message) {
    dispatch_async(dispatch_get_main_queue(), [screen, success, message] { screen->withdrawn(success, message); });
  });
}

void EarnMoneyViewController::withdrawn(bool success, const std::shared_ptr<NSString>& message) {
  sending_ = false;
  if (!success) {
    // The typed amount and password stay for another try.
    showWithTitle(nullptr, message ? message : "提现失败"_ns);
    return;
  }
  showWithTitle(nullptr, "提现申请成功，将在1个工作日内到账"_ns, nullptr, {"确定"_ns},
                [](const std::shared_ptr<UIAlertView>&, NSInteger) { ZVTPublicTools::gotoComment(); });
  if (withdraw_) withdraw_->clearTextField();
  getUserInfo();
}

void EarnMoneyViewController::boundAccount() {
  auto navigation = navigationController();
  auto setup = zvt::makeScreen("TZAlipaySetupViewController");
  if (navigation && setup) navigation->pushViewController(setup, true);
}

void EarnMoneyViewController::buttonAction(const id& sender) {
  auto button = std::dynamic_pointer_cast<UIButton>(sender);
  if (!button) return;
  auto navigation = navigationController();
  switch (button->tag()) {
    case TZWithdrawView::kPasswordHintTag:
      view()->addSubview(PasswordTipView::initWithFrame(view()->bounds()));
      break;
    case TZWithdrawView::kWithdrawTag:
      // While a withdrawal is out, a tap neither checks nor sends.
      if (sending_ || !withdraw_) return;
      if (withdraw_->ruleParamater()) applyForwithdraw();
      break;
    case TZWithdrawView::kHowToTag:
      if (navigation) navigation->pushViewController(HowToUseAlibabaMoneyViewController::make(), true);
      break;
    case TZWithdrawView::kVerifyPhoneTag:
      if (auto phone = zvt::makeScreen("TZVerticalPhoneViewController"); phone && navigation)
        navigation->pushViewController(phone, true);
      break;
    default: break;
  }
}

void EarnMoneyViewController::setKeyboardHeight(double height) {
  if (!withdraw_) return;
  withdraw_->keyboardH = height;
  withdraw_->setNeedsUpdateConstraints();
  withdraw_->updateConstraintsIfNeeded();
  withdraw_->layoutIfNeeded();
}

void EarnMoneyViewController::keyboardWillShow(const std::shared_ptr<NSNotification>& notification) {
  auto info = notification ? notification->userInfo() : nullptr;
  auto end = info ? std::dynamic_pointer_cast<NSValue>(info->objectForKey(UIKeyboardFrameEndUserInfoKey)) : nullptr;
  setKeyboardHeight(end ? static_cast<double>(static_cast<int64_t>(end->CGRectValue().size.height)) : 0);
}

void EarnMoneyViewController::keyboardWillHide(const std::shared_ptr<NSNotification>&) { setKeyboardHeight(0); }

bool EarnMoneyViewController::textFieldShouldBeginEditing(const std::shared_ptr<UITextField>&) {
  if (withdraw_ && withdraw_->hasAlipayAccount()) return true;
  // No account known (none bound, or no record yet): the fields wait for one.
  std::weak_ptr<EarnMoneyViewController> weak = screenSelf();
  showWithTitle(nullptr, "提现需先填写收款支付宝"_ns, "下次"_ns, {"去填写"_ns},
                [weak](const std::shared_ptr<UIAlertView>&, NSInteger index) {
                  if (index != 1) return;
                  if (auto screen = weak.lock()) screen->boundAccount();
                });
  return false;
}
