#pragma once
// The user information form, loaded from its nib ("TZUserInfoView"): the e-mail, personal name,
// Alipay account and QQ number in editable fields beside a password field and "保存", under a
// tip panel, with a question button by the password. It reports its two buttons through myBlock
// and keeps its scroll view keyboardH above its bottom (updateConstraints). No screen shows it;
// the personal information screen shows the same details in a table.
//
// setUserModel fills the four fields in order (email, realname, alipay, qq), each only from a
// value that is present (not nil, not null, not empty); a missing value leaves its field as it
// is. The tip panel follows each value in the same order (a present one hides it, a missing one
// shows it), so the QQ number, the last, decides whether it shows.

#include <memory>

#include "app/models/TZUserInfoModel.h"
#include "app/ui/ParentsViewController.h"
#include "platform/uikit/NSLayoutConstraint.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UITextField.h"

class TZUserInfoView : public ParentView {
 public:
  // Outlets (weak, as the nib's are).
  std::shared_ptr<UIView> bgView() const { return bgView_.lock(); }
  std::shared_ptr<UIView> tipView() const { return tipView_.lock(); }
  std::shared_ptr<NSLayoutConstraint> tipViewTopConstraint() const { return tipViewTopConstraint_.lock(); }
  std::shared_ptr<UITextField> emailTextField() const { return emailTextField_.lock(); }
  std::shared_ptr<UITextField> nameTextField() const { return nameTextField_.lock(); }
  std::shared_ptr<UITextField> zhifubaoTextField() const { return zhifubaoTextField_.lock(); }
  std::shared_ptr<UITextField> QQTextField() const { return QQTextField_.lock(); }
  std::shared_ptr<UITextField> passwordTextField() const { return passwordTextField_.lock(); }
  std::shared_ptr<UIButton> saveButton() const { return saveButton_.lock(); }
  std::shared_ptr<NSLayoutConstraint> bgScrollViewBottomConstraint() const { return bgScrollViewBottomConstraint_.lock(); }

  std::shared_ptr<TZUserInfoModel> userModel() const { return userModel_; }
  // Ignored for nil; otherwise kept and shown.
  void setUserModel(const std::shared_ptr<TZUserInfoModel>& model);
  CGFloat keyboardH() const { return keyboardH_; }
  void setKeyboardH(CGFloat height) { keyboardH_ = height; }

  // The panel's border (1 point, RGB 222, square) and the orange, rounded save button.
  void awakeFromNib() override;
  void updateConstraints() override;
  void questionAction(const std::shared_ptr<UIButton>& sender);
  void saveAction(const std::shared_ptr<UIButton>& sender);

  // The nib's factory (registered by the account screens).
  static void registerNib();

 private:
  std::weak_ptr<UIView> bgView_;
  std::weak_ptr<UIView> tipView_;
  std::weak_ptr<NSLayoutConstraint> tipViewTopConstraint_;
  std::weak_ptr<UITextField> emailTextField_;
  std::weak_ptr<UITextField> nameTextField_;
  std::weak_ptr<UITextField> zhifubaoTextField_;
  std::weak_ptr<UITextField> QQTextField_;
  std::weak_ptr<UITextField> passwordTextField_;
  std::weak_ptr<UIButton> saveButton_;
  std::weak_ptr<NSLayoutConstraint> bgScrollViewBottomConstraint_;

  std::shared_ptr<TZUserInfoModel> userModel_;
  CGFloat keyboardH_ = 0;
};
