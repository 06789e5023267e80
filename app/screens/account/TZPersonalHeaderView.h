#pragma once
// The personal centre's header, loaded from its nib ("TZPersonalHeaderView"): for a logged-in
// user the avatar, the name, the three balances (money "余额", "集分宝" and Velmo), the
// shopping-cart button and, when the record allows it, the coupon button; logged out, the
// placeholder avatar with the login and register buttons. It draws and reports taps only: its
// owner switches the states (haveLogin / haveNotLogin) and fills it.
//
// Record values are read by their kind: "money" and "jifen" are shown as text whatever kind
// they come in (a number as its text, anything else but a text as empty), "jifenbao" as the
// integer its text reads as (0 when missing or not numeric), a missing name as empty; the
// coupon button shows exactly when "show_coupon" is the number 1. An unset block does nothing.

#include <functional>
#include <memory>

#include "app/models/TZUserInfoModel.h"
#include "app/ui/ParentsViewController.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"

class TZPersonalHeaderView : public ParentView {
 public:
  using ActionBlock = std::function<void()>;

  // Outlets (weak, as the nib's are).
  std::shared_ptr<UIView> userIconBGView() const { return userIconBGView_.lock(); }
  std::shared_ptr<UIImageView> userIconImageView() const { return userIconImageView_.lock(); }
  std::shared_ptr<UILabel> userNameLabel() const { return userNameLabel_.lock(); }
  std::shared_ptr<UIButton> shoppingCarButton() const { return shoppingCarButton_.lock(); }
  std::shared_ptr<UIView> infoBGView() const { return infoBGView_.lock(); }
  std::shared_ptr<UILabel> userMoneyLabel() const { return userMoneyLabel_.lock(); }
  std::shared_ptr<UILabel> userJiFenBaoLabel() const { return userJiFenBaoLabel_.lock(); }
  std::shared_ptr<UILabel> userVelmoLabel() const { return userVelmoLabel_.lock(); }
  std::shared_ptr<UIView> noLoginView() const { return noLoginView_.lock(); }
  std::shared_ptr<UIButton> loginButton() const { return loginButton_.lock(); }
  std::shared_ptr<UIButton> registerButton() const { return registerButton_.lock(); }
  std::shared_ptr<UIButton> couponBtn() const { return couponBtn_.lock(); }

  void setShoppingCarBlock(ActionBlock block) { shoppingCarBlock_ = std::move(block); }
  void setLoginBlock(ActionBlock block) { loginBlock_ = std::move(block); }
  void setRegisterBlock(ActionBlock block) { registerBlock_ = std::move(block); }
  void setIconBlock(ActionBlock block) { iconBlock_ = std::move(block); }
  void setCouponBlock(ActionBlock block) { couponBlock_ = std::move(block); }

  // No balance texts, a clear login panel, the coupon button hidden, the avatar tappable.
  void awakeFromNib() override;
  // Places the parts within the header's bounds and rounds the buttons and the avatar.
  void layoutSubviews() override;

  void haveLogin();
  void haveNotLogin();
  // Nothing for a nil record. refreshAvatar: the cached picture under the avatar's address is
  // dropped (memory and disk) before it is loaded again.
  void fillViewWith(const std::shared_ptr<TZUserInfoModel>& model, bool refreshAvatar);

  void registerAction(const std::shared_ptr<UIButton>& sender);
  void loginAction(const std::shared_ptr<UIButton>& sender);
  void shopping(const std::shared_ptr<UIButton>& sender);
  void couponAction(const std::shared_ptr<UIButton>& sender);
  void iconTapAction();

  // The nib's factory: the outlets made and connected (registered by the account screens).
  static void registerNib();

 private:
  void loadAvatar(const std::shared_ptr<NSString>& address);
  static void run(const ActionBlock& block) {
    if (block) block();
  }

  std::weak_ptr<UIView> userIconBGView_;
  std::weak_ptr<UIImageView> userIconImageView_;
  std::weak_ptr<UILabel> userNameLabel_;
  std::weak_ptr<UIButton> shoppingCarButton_;
  std::weak_ptr<UIView> infoBGView_;
  std::weak_ptr<UILabel> userMoneyLabel_;
  std::weak_ptr<UILabel> userJiFenBaoLabel_;
  std::weak_ptr<UILabel> userVelmoLabel_;
  std::weak_ptr<UIView> noLoginView_;
  std::weak_ptr<UIButton> loginButton_;
  std::weak_ptr<UIButton> registerButton_;
  std::weak_ptr<UIButton> couponBtn_;

  ActionBlock shoppingCarBlock_;
  ActionBlock loginBlock_;
  ActionBlock registerBlock_;
  ActionBlock iconBlock_;
  ActionBlock couponBlock_;
};

namespace zvt::account {
// The text a balance shows: a text as it is, a number as its text, anything else empty.
std::shared_ptr<NSString> balanceText(const id& value);
// "jifenbao" as the header shows it: its "%@" text read as an integer (0 when missing).
long integerBalance(const id& value);
}  // namespace zvt::account
