#pragma once
// The help centre's nib views, laid out by us, and the customer-service page's view:
//
// TZServerView: the two service rows over the help list, "QQ在线客服" (tag 0, outlet serverQQ)
// and "客服电话" with the number (tag 1, outlet serverPhone).
// TZHelpCentreView: the four help topics (tags 0 to 3: "新手一分钟", "购物问题", "账号问题",
// "提现问题") under the heading "常见问题".
// TZZVTServerView: the customer-service page, a greeting over the button serverQQ (corner radius
// 5, clipped) whose touch-up-inside is turnToQQServer.
//
// Each tappable view reports itself through myBlock (tapAction); the controller tells them apart
// by the tag.

#include <memory>

#include "app/ui/ParentsViewController.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIGestureRecognizer.h"

class TZServerView : public ParentView {
 public:
  std::shared_ptr<UIView> serverQQ() const { return serverQQ_.lock(); }
  std::shared_ptr<UIView> serverPhone() const { return serverPhone_.lock(); }

  // The tap recognisers and the tags of the two rows.
  void awakeFromNib() override;
  void tapAction(const std::shared_ptr<UITapGestureRecognizer>& recognizer);

  static void registerNib();

 private:
  std::weak_ptr<UIView> serverQQ_;
  std::weak_ptr<UIView> serverPhone_;
};

class TZHelpCentreView : public ParentView {
 public:
  std::shared_ptr<UIView> userPlayingView() const { return userPlayingView_.lock(); }
  std::shared_ptr<UIView> shoppingQuestionView() const { return shoppingQuestionView_.lock(); }
  std::shared_ptr<UIView> accountQuestionView() const { return accountQuestionView_.lock(); }
  std::shared_ptr<UIView> getMoneyQuestionView() const { return getMoneyQuestionView_.lock(); }

  void awakeFromNib() override;
  void tapAction(const std::shared_ptr<UITapGestureRecognizer>& recognizer);

  static void registerNib();

 private:
  std::weak_ptr<UIView> userPlayingView_;
  std::weak_ptr<UIView> shoppingQuestionView_;
  std::weak_ptr<UIView> accountQuestionView_;
  std::weak_ptr<UIView> getMoneyQuestionView_;
};

class TZZVTServerView : public ParentView {
 public:
  std::shared_ptr<UIButton> serverQQ() const { return serverQQ_.lock(); }

  void awakeFromNib() override;
  void turnToQQServer(const std::shared_ptr<UIButton>& sender);

  static void registerNib();

 private:
  std::weak_ptr<UIButton> serverQQ_;
};
