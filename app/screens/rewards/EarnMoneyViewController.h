#pragma once
// The withdrawal screen ("我要提现", analytics page "我要提现页"): the user's 集分宝 or cash goes
// to the Alipay account bound to the user record. TZWithdrawView is the form (from its nib):
// the account box (tap: the Alipay binding screen), the kind (集分宝 / 现金), the balance of that
// kind, the amount, the login password, the withdraw button, and the offers of the password
// hint, the 集分宝 tutorial and phone verification. Every appearance re-reads the user record.
//
// Guarded beyond the plain form: one withdrawal at a time (taps while an "outCash" request is
// out do nothing); the amount must be wholly a number of its kind (集分宝 digits only, cash
// digits with at most one point) and is sent exactly as checked; balances are compared as
// 64-bit integers (集分宝 by the whole part of "jifenbao", cash as exact decimals of "money");
// a missing or null "alipay" is no account for the fields as for the account line; and every
// refresh writes the balance line of the kind selected.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/models/TZUserInfoModel.h"
#include "app/ui/ParentsViewController.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINib.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UISegmentedControl.h"
#include "platform/uikit/UITextField.h"

class TZWithdrawView : public ParentView {
 public:
  // Button tags, as the controller's buttonAction dispatches them.
  static constexpr NSInteger kPasswordHintTag = 1;
  static constexpr NSInteger kWithdrawTag = 2;
  static constexpr NSInteger kHowToTag = 3;
  static constexpr NSInteger kVerifyPhoneTag = 4;

  // "1" 集分宝, "2" cash.
  std::shared_ptr<NSString> type() const { return type_; }
  std::shared_ptr<TZUserInfoModel> userInfoModel() const { return userInfoModel_; }
  // Fills every line from the record; nil changes nothing.
  void setUserInfoModel(const std::shared_ptr<TZUserInfoModel>& model);

  double keyboardH = 0;
  std::function<void()> tapBlock;

  // Nib outlets (weak, as the nib's are).
  std::shared_ptr<UIScrollView> bgScrollView() const { return bgScrollView_.lock(); }
  std::shared_ptr<UIView> bgFirstView() const { return bgFirstView_.lock(); }
  std::shared_ptr<UILabel> zhifubaoLabel() const { return zhifubaoLabel_.lock(); }
  std::shared_ptr<UIImageView> rArrowImageView() const { return rArrowImageView_.lock(); }
  std::shared_ptr<UIView> bgSecndView() const { return bgSecndView_.lock(); }
  std::shared_ptr<UISegmentedControl> typeWithdraw() const { return typeWithdraw_.lock(); }
  std::shared_ptr<UISegmentedControl> typeSeg() const { return typeSeg_.lock(); }
  std::shared_ptr<UILabel> canWithdrawMoneyLabel() const { return canWithdrawMoneyLabel_.lock(); }
  std::shared_ptr<UITextField> moneyTextField() const { return moneyTextField_.lock(); }
  std::shared_ptr<UITextField> passwordTextField() const { return passwordTextField_.lock(); }
  std::shared_ptr<UIButton> withdrawButton() const { return withdrawButton_.lock(); }
  std::shared_ptr<UIButton> questionButton() const { return questionButton_.lock(); }
  std::shared_ptr<UIButton> verticalPhoneButton() const { return verticalPhoneButton_.lock(); }
  std::shared_ptr<UIButton> passwordHintButton() const { return passwordHintButton_.lock(); }
  // The three layout constraints of the nib, as their constants.
  CGFloat bgScrollViewBottomConstraints() const { return bgScrollViewBottomConstraints_; }
  CGFloat verticalPhoneButtonTopConstraints() const { return verticalPhoneButtonTopConstraints_; }
  CGFloat rArrowImageViewRightConstraint() const { return rArrowImageViewRightConstraint_; }

  void awakeFromNib() override;
  void layoutSubviews() override;
  void updateConstraints() override;

  void typeChange(const std::shared_ptr<UISegmentedControl>& sender);
  void moneyStr();
  void jifenbaoStr();
  void isWithdrawing();
  // Validation; each failure shows its message and answers NO.
  bool ruleParamater();
  void clearTextField();

  // Button actions, each handing the button to myBlock.
  void passwordQuestionClick(const std::shared_ptr<UIButton>& sender);
  void withdrawButtonClick(const std::shared_ptr<UIButton>& sender);
  void useQuestionButtonClick(const std::shared_ptr<UIButton>& sender);
  void verticalPhoneClick(const std::shared_ptr<UIButton>& sender);
  void bgFirstViewClick();

  // Whether the record names an account ("alipay" present and not null; "" counts).
  bool hasAlipayAccount() const;

  static std::vector<id> makeFromNib(zvt::ui::NibBuilder& nib);

 private:
  // Writes "当前账户有<value><unit>" with the value in the accent colour, bold 15.
  void writeBalance(const std::shared_ptr<NSString>& value, const char* unit);

  std::shared_ptr<NSString> type_;
  std::shared_ptr<TZUserInfoModel> userInfoModel_;
  std::weak_ptr<UIScrollView> bgScrollView_;
  std::weak_ptr<UIView> contentView_;
  std::weak_ptr<UIView> bgFirstView_;
  std::weak_ptr<UILabel> zhifubaoLabel_;
  std::weak_ptr<UIImageView> rArrowImageView_;
  std::weak_ptr<UIView> bgSecndView_;
  std::weak_ptr<UISegmentedControl> typeWithdraw_;
  std::weak_ptr<UISegmentedControl> typeSeg_;
  std::weak_ptr<UILabel> canWithdrawMoneyLabel_;
  std::weak_ptr<UITextField> moneyTextField_;
  std::weak_ptr<UITextField> passwordTextField_;
  std::weak_ptr<UIButton> withdrawButton_;
  std::weak_ptr<UIButton> questionButton_;
  std::weak_ptr<UIButton> verticalPhoneButton_;
  std::weak_ptr<UIButton> passwordHintButton_;
  std::weak_ptr<UIView> notesView_;
  CGFloat bgScrollViewBottomConstraints_ = 0;
  CGFloat verticalPhoneButtonTopConstraints_ = -30;
  CGFloat rArrowImageViewRightConstraint_ = -15;
};

class EarnMoneyViewController : public ParentsViewController, public UITextFieldDelegate {
 public:
  static std::shared_ptr<EarnMoneyViewController> make() { return std::make_shared<EarnMoneyViewController>(); }

  std::shared_ptr<TZWithdrawView> withdraw() const { return withdraw_; }
  // An "outCash" request is on its way.
  bool isSending() const { return sending_; }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  void createUI();
  void getUserInfo();
  void applyForwithdraw();
  void boundAccount();
  void buttonAction(const id& sender);
  void keyboardWillShow(const std::shared_ptr<NSNotification>& notification);
  void keyboardWillHide(const std::shared_ptr<NSNotification>& notification);

  bool textFieldShouldBeginEditing(const std::shared_ptr<UITextField>& textField) override;

 private:
  std::shared_ptr<EarnMoneyViewController> screenSelf() {
    return std::static_pointer_cast<EarnMoneyViewController>(controllerSelf());
  }
  void setKeyboardHeight(double height);
  void withdrawn(bool success, const std::shared_ptr<NSString>& message);

  std::shared_ptr<TZWithdrawView> withdraw_;
  bool sending_ = false;
};

namespace zvt::money {

// The checks of an amount against a balance, in 64-bit integers. A 集分宝 amount is digits
// only, within 1...999,999,999; a cash amount digits with at most one point followed by one or
// two digits, above 0.009 and below 1,000,000,000. Balance texts are read by their whole part (集分宝) or as exact
// decimals (cash; nothing readable counts 0).
enum class AmountCheck { ok, wrongAmount, beyondBalance };
AmountCheck checkPoints(const std::string& amount, const std::string& balance);
AmountCheck checkCash(const std::string& amount, const std::string& balance);

// Registers the nib "TZWithdrawView".
void registerWithdrawViewNib();

}  // namespace zvt::money
