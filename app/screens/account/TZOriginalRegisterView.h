#pragma once
// The e-mail registration form, loaded from the nib "TZOriginalRegisterView": e-mail, password,
// its confirmation and a picture code (TZGetAuthCodeView) in a white box, the register button
// (grey and untouchable until the screen lights it while the user types), "已有账号？去登录",
// and the partner buttons (Sina, QQ, Taobao). Every button reports through myBlock; the
// registration screen tells them apart by tag:
//
//   1 register   2 already have an account   3 Sina   4 QQ   5 Taobao
//
// The picture code is checked here, on the device; nothing of it reaches the service.

#include <cstdint>
#include <functional>
#include <memory>

#include "app/ui/ParentsViewController.h"
#include "platform/foundation/NSArray.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UITextField.h"

// The picture code: four characters drawn from "0"-"9", "A"-"Z", "a"-"z" over a random
// background with four random noise lines; a tap draws a new code.
class TZGetAuthCodeView : public UIView {
 public:
  void awakeFromNib() override;

  const std::shared_ptr<NSArray>& dataArray() const { return dataArray_; }
  const std::shared_ptr<NSString>& authCodeStr() const { return authCodeStr_; }

  // Draws a new code and asks for a redraw.
  void getAuthCode();
  void touchesBegan(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override;
  void drawRect(CGRect rect) override;
  void tapped() { getAuthCode(); }

 private:
  std::shared_ptr<NSArray> dataArray_;
  std::shared_ptr<NSString> authCodeStr_;
};

namespace zvt::account {
// The random numbers of the picture code (arc4random on the device), by what they choose, so
// that tests can script the characters apart from the colours and the positions.
enum class AuthCodeRandomUse { character, colour, offset };
using RandomSource = std::function<uint32_t(AuthCodeRandomUse use)>;
void setAuthCodeRandom(RandomSource source);  // nil: arc4random again
uint32_t authCodeRandom(AuthCodeRandomUse use);
// The nib's registration (the account folder's registration function calls it).
void registerOriginalRegisterNib();
}  // namespace zvt::account

class TZOriginalRegisterView : public ParentView {
 public:
  void awakeFromNib() override;

  std::shared_ptr<UITextField> emailTextField() const { return emailTextField_.lock(); }
  std::shared_ptr<UITextField> passwordTextField() const { return passwordTextField_.lock(); }
  std::shared_ptr<UITextField> againPasswordTextField() const { return againPasswordTextField_.lock(); }
  std::shared_ptr<UITextField> verticalTextField() const { return verticalTextField_.lock(); }
  std::shared_ptr<UIButton> registerButton() const { return registerButton_.lock(); }
  std::shared_ptr<TZGetAuthCodeView> authCodeView() const { return authCodeView_.lock(); }
  std::shared_ptr<UIView> bgView() const { return bgView_.lock(); }
  std::shared_ptr<UIScrollView> bgScrollView() const { return bgScrollView_.lock(); }

  double keyBoardH() const { return keyBoardH_; }
  void setKeyBoardH(double height) { keyBoardH_ = height; }

  // The e-mail ("邮箱格式不对"), both passwords 6 to 20 characters ("密码长度不符合标准"), the
  // confirmation equal to the password ("确认密码不对"), the picture code ignoring case
  // ("验证码不对", and a new code is drawn); each failure an alert without title and NO.
  bool ruleRegist();

  void registerButtonClick(const std::shared_ptr<UIButton>& sender) { callMyBlock(sender); }
  void haveAccountButtonClick(const std::shared_ptr<UIButton>& sender) { callMyBlock(sender); }
  void sinaButtonClick(const std::shared_ptr<UIButton>& sender) { callMyBlock(sender); }
  void QQButtonClick(const std::shared_ptr<UIButton>& sender) { callMyBlock(sender); }
  void tbButtonClick(const std::shared_ptr<UIButton>& sender) { callMyBlock(sender); }
  void updateConstraints() override;

 private:
  friend void zvt::account::registerOriginalRegisterNib();

  std::weak_ptr<UITextField> emailTextField_;
  std::weak_ptr<UITextField> passwordTextField_;
  std::weak_ptr<UITextField> againPasswordTextField_;
  std::weak_ptr<UITextField> verticalTextField_;
  std::weak_ptr<UIButton> registerButton_;
  std::weak_ptr<TZGetAuthCodeView> authCodeView_;
  std::weak_ptr<UIView> bgView_;
  std::weak_ptr<UIScrollView> bgScrollView_;
  double keyBoardH_ = 0;
};
