#pragma once
// The password change ("修改密码", analytics page "修改密码页"), the initial scene of the
// storyboard "TZChangePasswordViewController" that the settings open with createFromStoryboard.
// Its views are the storyboard's (registerChangePasswordStoryboard), held weakly as outlets.
//
// The three fields take at most 20 characters each (a deletion always goes through, a longer
// edit, a paste included, is refused whole). "确认修改" checks the lengths first (the first field
// under 6 decides: "原登录密码格式错误", "新密码格式错误", "确认密码不正确"), then that the new
// password is repeated exactly ("确认密码不对"), and sends act=userInfo&do=pwd with "id",
// "old_pwd", "ddpwd" and "pwd_confirm" as typed. A success (the client has written the new
// password into the stored "loginInfo") shows "密码修改成功" for 1.0 s, ends the session in
// memory only (the stored "isLogin", "loginInfo", the cookie and the push alias stay, so the
// user logs in again on the screen presented over the personal centre), posts "toLogin" and
// pops to the root without animation, when the screen is still the one shown. One change at a
// time: while one is on its way a tap on "确认修改" neither checks nor sends; a refusal or a
// failed connection lets the next one go, a success none (a second change sent with the old
// password, now wrong, would be refused over the first one's success).
//
// The scroll view's bottom follows the keyboard: scrollViewBottomConstraints takes keyboardH
// less the bars (49 + 64) that the scene's anchoring accounts for.

#include <memory>

#include "app/ui/ParentsViewController.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/NSLayoutConstraint.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UITextField.h"

class TZChangePasswordViewController : public ParentsViewController, public UITextFieldDelegate {
 public:
  // Outlets (weak, as the storyboard's are).
  std::shared_ptr<UIScrollView> bgScrollView() const { return bgScrollView_.lock(); }
  std::shared_ptr<UIView> bgView() const { return bgView_.lock(); }
  std::shared_ptr<UITextField> originalPassword() const { return originalPassword_.lock(); }
  std::shared_ptr<UITextField> password() const { return password_.lock(); }
  std::shared_ptr<UITextField> againPassword() const { return againPassword_.lock(); }
  std::shared_ptr<UIButton> sureButton() const { return sureButton_.lock(); }
  std::shared_ptr<NSLayoutConstraint> scrollViewBottomConstraints() const { return scrollViewBottomConstraints_.lock(); }
  double keyboardH() const { return keyboardH_; }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;
  // Moves the scroll view's bottom with keyboardH, then lays the view out again.
  void updateViewConstraints();

  void configUI();
  void sureButtonClick(const std::shared_ptr<UIButton>& sender);
  // YES when the three texts pass; otherwise the reason has been shown.
  bool ruleToChangePassword();
  void keyboardWillShow(const std::shared_ptr<NSNotification>& notification);
  void keyboardWillHide(const std::shared_ptr<NSNotification>& notification);

  // --- UITextFieldDelegate
  bool textFieldShouldChangeCharactersInRange(const std::shared_ptr<UITextField>& textField, NSRange range,
                                              const std::shared_ptr<NSString>& string) override;
  bool textFieldShouldClear(const std::shared_ptr<UITextField>&) override { return true; }

  // Registers the storyboard "TZChangePasswordViewController" (its one scene, initial).
  static void registerChangePasswordStoryboard();

 private:
  std::shared_ptr<TZChangePasswordViewController> changeSelf() {
    return std::static_pointer_cast<TZChangePasswordViewController>(controllerSelf());
  }
  void passwordChanged();

  std::weak_ptr<UIScrollView> bgScrollView_;
  std::weak_ptr<UIView> bgView_;
  std::weak_ptr<UITextField> originalPassword_;
  std::weak_ptr<UITextField> password_;
  std::weak_ptr<UITextField> againPassword_;
  std::weak_ptr<UIButton> sureButton_;
  std::weak_ptr<NSLayoutConstraint> scrollViewBottomConstraints_;
  double keyboardH_ = 0;
  bool changing_ = false;
};
