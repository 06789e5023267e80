#include "app/screens/rewards/WithDrawViewController.h"

#include "analytics/StatAgent.h"
#include "app/api/ZVTAPIClient.h"
#include "app/core/AppDelegate.h"
#include "app/screens/rewards/ExchangeScreens.h"
#include "app/ui/UIAlertView+TapBlocks.h"
#include "app/ui/UIKitCategories.h"
#include "app/ui/UIViewController+NavItem.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSValue.h"
#include "platform/graphics/UIImage.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UINavigationController.h"

using namespace zvt::exchange;

const char* const WithDrawView::kRemarkHint = "请在这填写...";

namespace {

const auto kPageName = "Velmo/集分宝兑换页"_ns;
constexpr CGFloat kRowPitch = 47;
constexpr CGFloat kRowWidth = 300;

std::shared_ptr<NSDictionary> userRecord() {
  auto app = AppDelegate::shared();
  return app ? app->userInfoDictionary() : nullptr;
}

bool isEmpty(const std::shared_ptr<NSString>& text) { return !text || text->length() == 0; }

bool sameText(const std::shared_ptr<NSString>& a, const std::shared_ptr<NSString>& b) {
  return a && b && a->isEqualToString(b);
}

void alert(const char* message) { showWithTitle(nullptr, NSString::stringWithUTF8String(message)); }

}  // namespace

// --- The form -----------------------------------------------------------------------------

NSInteger WithDrawView::productType() const {
  auto controller = delegate();
  return controller ? controller->productType : 0;
}

std::shared_ptr<UITextField> WithDrawView::addFieldRow(const char* caption, const char* hint, CGFloat centreY,
                                                       CGFloat width) {
  const CGFloat left = (width - kRowWidth) / 2;
  auto background = UIImageView::initWithFrame(CGRectMake(left, centreY - kRowPitch / 2, kRowWidth, kRowPitch));
  background->setImage(UIImage::imageNamed("cellBackground"_ns));
  scrollerView_->addSubview(background);
  auto label = UILabel::initWithFrame(CGRectMake(left + 10, centreY - 10, 80, 20));
  label->setFont(UIFont::systemFontOfSize(15));
  label->setText(NSString::stringWithUTF8String(caption));
  scrollerView_->addSubview(label);
  auto field = UITextField::initWithFrame(CGRectMake(left + 85, centreY - 10, 210, 20));
  field->setFont(UIFont::systemFontOfSize(15));
  field->setPlaceholder(NSString::stringWithUTF8String(hint));
  field->setDelegate(formSelf());
  scrollerView_->addSubview(field);
  return field;
}

void WithDrawView::initView() {
  const CGSize screen = portraitScreen();
  const CGFloat W = screen.width;
  scrollerView_ = UIScrollView::initWithFrame(CGRectMake(0, 0, W, screen.height + 40));
  scrollerView_->setShowsVerticalScrollIndicator(false);
  addSubview(scrollerView_);
  number = 1;
  const CGFloat left = (W - kRowWidth) / 2;
  const NSInteger kind = productType();

  // The quantity row.
  CGFloat centreY = 40;
  auto top = UIImageView::initWithFrame(CGRectMake(left, centreY - kRowPitch / 2, kRowWidth, kRowPitch));
  top->setImage(UIImage::imageNamed("textUpBackground"_ns));
  scrollerView_->addSubview(top);
  auto caption = UILabel::initWithFrame(CGRectMake(left + 10, centreY - 10, 80, 20));
  caption->setFont(UIFont::systemFontOfSize(15));
  caption->setText("购买数量:"_ns);
  scrollerView_->addSubview(caption);
  auto minus = UIButton::buttonWithType(UIButtonTypeCustom);
  minus->setFrame(CGRectMake(left + 90, centreY - 10, 20, 20));
  minus->setBackgroundImage(UIImage::imageNamed("subIcon"_ns), UIControlStateNormal);
  minus->setTag(kMinusTag);
  minus->setAccessibilityIdentifier("exchangeMinus"_ns);
  minus->addTarget(self(), &WithDrawView::changeNumber, UIControlEventTouchUpInside);
  scrollerView_->addSubview(minus);
  numberLabel_ = UILabel::initWithFrame(CGRectMake(left + 110, centreY - 10, 40, 20));
  numberLabel_->setTextAlignment(NSTextAlignmentCenter);
  numberLabel_->setTextColor(priceOrange());
  numberLabel_->setText(NSString::stringWithFormat("%d", number));
  scrollerView_->addSubview(numberLabel_);
  auto plus = UIButton::buttonWithType(UIButtonTypeCustom);
  plus->setFrame(CGRectMake(left + 155, centreY - 10, 20, 20));
  plus->setBackgroundImage(UIImage::imageNamed("addIcon"_ns), UIControlStateNormal);
  plus->setTag(kPlusTag);
  plus->setAccessibilityIdentifier("exchangePlus"_ns);
  plus->addTarget(self(), &WithDrawView::changeNumber, UIControlEventTouchUpInside);
  scrollerView_->addSubview(plus);

  // The kind's rows.
  if (kind == 1) {
    addressTextField_ = addFieldRow("收货地址:", "请填写收货地址", centreY += kRowPitch, W);
    nameTextField_ = addFieldRow("姓      名:", "请填写收货人姓名", centreY += kRowPitch, W);
    namePhoneTextField_ = addFieldRow("手机号码:", "请填写收货人手机号码", centreY += kRowPitch, W);
  } else if (kind == 3) {
    phoneTextField_ = addFieldRow("手机号码:", "充值话费需填写", centreY += kRowPitch, W);
    QQTextField_ = addFieldRow("Q Q号码:", "兑换Q币需填写", centreY += kRowPitch, W);
  }

  // The remark row, taller than the others.
  centreY += kRowPitch;
  const CGFloat remarkTop = centreY - kRowPitch / 2;
  auto bottom = UIImageView::initWithFrame(CGRectMake(left, remarkTop, kRowWidth, 90));
  bottom->setImage(UIImage::imageNamed("textDownBackground"_ns));
  scrollerView_->addSubview(bottom);
  auto remarkCaption = UILabel::initWithFrame(CGRectMake(left + 10, centreY - 10, 80, 20));
  remarkCaption->setFont(UIFont::systemFontOfSize(15));
  remarkCaption->setText("备      注:"_ns);
  scrollerView_->addSubview(remarkCaption);
  remarkTextView_ = UITextView::initWithFrame(CGRectMake(left + 85, remarkTop + 8, 210, 70));
  remarkTextView_->setFont(UIFont::systemFontOfSize(14));
  remarkTextView_->setTextColor(UIColor::lightGrayColor());
  remarkTextView_->setBackgroundColor(UIColor::clearColor());
  remarkTextView_->setText(NSString::stringWithUTF8String(kRemarkHint));
  remarkTextView_->setDelegate(formSelf());
  scrollerView_->addSubview(remarkTextView_);

  // What the record holds is shown (and then locked, see textFieldShouldBeginEditing).
  auto record = userRecord();
  if (integerOf(record, "mobile") != 0) {
    for (const auto& field : {phoneTextField_, namePhoneTextField_})
      if (field) field->setText(textOf(record, "mobile"));
  }
  if (auto qq = textOf(record, "qq"); QQTextField_ && !isEmpty(qq)) QQTextField_->setText(qq);
  if (auto name = textOf(record, "realname"); nameTextField_ && !isEmpty(name)) nameTextField_->setText(name);

  withdrawBtn_ = UIButton::buttonWithType(UIButtonTypeCustom);
  withdrawBtn_->setFrame(CGRectMake(left, CGRectGetMaxY(remarkTextView_->frame()) + 20, kRowWidth, 42));
  withdrawBtn_->setBackgroundImage(UIImage::imageNamed("exchangeBtn_normal"_ns), UIControlStateNormal);
  withdrawBtn_->setBackgroundImage(UIImage::imageNamed("exchangeBtn_highlight"_ns), UIControlStateHighlighted);
  withdrawBtn_->setAccessibilityIdentifier("exchangeSend"_ns);
  withdrawBtn_->addTarget(self(), &WithDrawView::withdrawAction, UIControlEventTouchUpInside);
  scrollerView_->addSubview(withdrawBtn_);
  scrollerView_->setContentSize(CGSizeMake(W, CGRectGetMaxY(withdrawBtn_->frame()) + 10));
}

void WithDrawView::changeNumber(const std::shared_ptr<UIButton>& sender) {
  if (!sender) return;
  if (sender->tag() == kPlusTag) {
    ++number;
  } else if (sender->tag() == kMinusTag) {
    if (number == 0) {
      alert("数量已经为0");
    } else {
      --number;
    }
  }
  numberLabel_->setText(NSString::stringWithFormat("%d", number));
}

bool WithDrawView::textFieldShouldBeginEditing(const std::shared_ptr<UITextField>& textField) {
  auto record = userRecord();
  if (textField && textField == nameTextField_) {
    if (isNullIn(record, "realname")) {
      alert("请到个人信息完善姓名资料");
      return false;
    }
    auto name = textOf(record, "realname");
    if (!isEmpty(name) && sameText(textField->text(), name)) {
      alert("姓名不能修改");
      return false;
    }
    return true;
  }
  if (textField && (textField == phoneTextField_ || textField == namePhoneTextField_)) {
    if (integerOf(record, "mobile") == 0) {
      alert("请到个人信息完善手机资料");
      return false;
    }
    auto mobile = textOf(record, "mobile");
    if (sameText(phoneTextField_ ? phoneTextField_->text() : nullptr, mobile) ||
        sameText(namePhoneTextField_ ? namePhoneTextField_->text() : nullptr, mobile)) {
      alert("手机号码不能修改");
      return false;
    }
    return true;
  }
  if (textField && textField == QQTextField_) {
    if (isNullIn(record, "qq")) {
      alert("请到个人信息完善QQ资料");
      return false;
    }
    auto qq = textOf(record, "qq");
    if (!isEmpty(qq) && sameText(textField->text(), qq)) {
      alert("QQ号码不能修改");
      return false;
    }
  }
  return true;
}

bool WithDrawView::textFieldShouldReturn(const std::shared_ptr<UITextField>& textField) {
  if (textField && textField == phoneTextField_ && QQTextField_) {
    QQTextField_->becomeFirstResponder();
  } else if (textField && (textField == QQTextField_ || textField == addressTextField_)) {
    remarkTextView_->becomeFirstResponder();
  }
  return true;
}

void WithDrawView::textViewDidBeginEditing(const std::shared_ptr<UITextView>& textView) {
  // Only the hint goes: a remark the user typed stays when the box is touched again.
  if (textView && !remarkTouched_ && sameText(textView->text(), NSString::stringWithUTF8String(kRemarkHint))) {
    textView->setText(NSString::string());
  }
  remarkTouched_ = true;
}

bool WithDrawView::theRuleForWithdraw() {
  if (numberLabel_->text()->integerValue() == 0) {
    alert("请填写购买数量");
    return false;
  }
  const NSInteger kind = productType();
  if (kind == 3) {
    if (isEmpty(QQTextField_->text())) {
      alert("请填写QQ号");
      return false;
    }
    if (isEmpty(phoneTextField_->text())) {
      alert("请填写手机号码");
      return false;
    }
  }
  if (kind == 1 && isEmpty(addressTextField_->text())) {
    alert("请填写收货地址");
    return false;
  }
  // The price of the quantity in 64 bits: a large quantity must not wrap into a small price.
  const int64_t cost = static_cast<int64_t>(number) * static_cast<int64_t>(jifenNumber);
  auto record = userRecord();
  if (withDrawtype == 1 && integerOf(record, "jifenbao") < cost) {
    alert("集分宝数额不够");
    return false;
  }
  if (withDrawtype == 2 && integerOf(record, "jifen") < cost) {
    alert("Velmo数额不够");
    return false;
  }
  return true;
}

std::shared_ptr<NSDictionary> WithDrawView::orderParameters() const {
  auto record = userRecord();
  auto value = [&](const char* key) {
    auto text = textOf(record, key);
    return text ? text : NSString::string();
  };
  const NSInteger kind = productType();
  auto order = NSMutableDictionary::dictionary();
  order->setObject(value("id"), "id"_ns);
  order->setObject(NSString::stringWithFormat("%d", productId), "goodId"_ns);
  auto realName = value("realname");
  if (kind == 1 && realName->length() == 0 && nameTextField_ && nameTextField_->text()) realName = nameTextField_->text();
  order->setObject(realName, "realName"_ns);
  if (kind == 1) {
    auto address = addressTextField_->text();
    order->setObject(address ? address : NSString::string(), "address"_ns);
  }
  order->setObject(value("alipay"), "alipay"_ns);
  order->setObject(value("mobile"), "mobile"_ns);
  auto remark = remarkTouched_ ? remarkTextView_->text() : nullptr;
  order->setObject(remark ? remark : NSString::string(), "content"_ns);
  order->setObject(NSString::stringWithFormat("%d", withDrawtype), "mode"_ns);
  order->setObject(numberLabel_->text(), "num"_ns);
  if (kind == 3) {
    auto qq = QQTextField_->text();
    order->setObject(qq ? qq : NSString::string(), "qq"_ns);
  }
  return order;
}

void WithDrawView::withdrawAction() {
  // One order at a time: the reply of the one on its way ends the wait.
  if (sending_) return;
  if (!theRuleForWithdraw()) return;
  endEditing(true);
  sending_ = true;
  std::weak_ptr<WithDrawView> weakSelf = formSelf();
  ZVTAPIClient::exchangeWith(orderParameters(), [weakSelf](bool success, const std::shared_ptr<NSString>& message) {
    dispatch_async(dispatch_get_main_queue(), [weakSelf, success, message] {
      if (auto form = weakSelf.lock()) form->sending_ = false;
      showWithTitle(nullptr, success ? "兑换请求已发送，请于站内信查看"_ns : message);
    });
  });
}

void WithDrawView::keyboardWillShowWithKeyBoardHeight(CGFloat height) {
  const CGSize screen = portraitScreen();
  scrollerView_->setFrame(CGRectMake(0, 0, screen.width, screen.height - height));
}

void WithDrawView::keyboardWillHide() {
  const CGSize screen = portraitScreen();
  scrollerView_->setFrame(CGRectMake(0, 0, screen.width, screen.height));
}

// --- The screen ---------------------------------------------------------------------------

void WithDrawViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  std::weak_ptr<UIViewController> weakSelf = controllerSelf();
  configNavigationLeftItemWith(controllerSelf(), UIImage::imageNamed("grayReturn"_ns), [weakSelf] {
    if (auto screen = weakSelf.lock(); screen && screen->navigationController()) {
      screen->navigationController()->popViewControllerAnimated(true);
    }
  });
  setTitle(withDrawtype == 1 ? "集分宝兑换"_ns : "Velmo兑换"_ns);
  const CGSize screen = portraitScreen();
  withDrawView_ = UIView::makeView<WithDrawView>(CGRectMake(0, 0, screen.width, screen.height));
  withDrawView_->setDelegate(std::static_pointer_cast<WithDrawViewController>(controllerSelf()));
  withDrawView_->productId = productId;
  withDrawView_->withDrawtype = withDrawtype;
  withDrawView_->jifenNumber = jifenNumber;
  withDrawView_->initView();
  view()->addSubview(withDrawView_);
}

void WithDrawViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  if (auto bar = navigationController() ? navigationController()->navigationBar() : nullptr) {
    bar->setBarStyle(UIBarStyleDefault);
  }
  configWhiteNavigationBarStyle(controllerSelf());
  StatAgent::beginLogPageView(kPageName);
  observeKeyboardOf(std::static_pointer_cast<WithDrawViewController>(controllerSelf()));
}

void WithDrawViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  StatAgent::endLogPageView(kPageName);
  NSNotificationCenter::defaultCenter()->removeObserver(self());
}

void WithDrawViewController::keyboardWillShow(const std::shared_ptr<NSNotification>& notification) {
  auto info = notification ? notification->userInfo() : nullptr;
  auto frame = info ? std::dynamic_pointer_cast<NSValue>(info->objectForKey(UIKeyboardFrameEndUserInfoKey)) : nullptr;
  if (withDrawView_) withDrawView_->keyboardWillShowWithKeyBoardHeight(frame ? frame->CGRectValue().size.height : 0);
}

void WithDrawViewController::keyboardWillHide(const std::shared_ptr<NSNotification>&) {
  if (withDrawView_) withDrawView_->keyboardWillHide();
}
