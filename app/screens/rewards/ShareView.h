#pragma once
// The share panel: five share targets (WeChat friends, QQ friends, WeChat Moments, QQ Zone,
// Sina Weibo) on a white card over a dimmed backdrop that takes every touch. A tapped target
// goes to the owner through myBlock with the button, whose tag (100 + index) names the target;
// the panel never closes itself. No screen shows it yet, and no target shares anything.
//
// Beside it, a share-target list's cell with an orange remark label on the right.

#include <memory>
#include <string>
#include <vector>

#include "app/ui/ParentsViewController.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"

class ShareView : public ParentView {
 public:
  static constexpr NSInteger kFirstTag = 100;

  // initWithFrame: initDatas, then createUI.
  void setUpWithFrame(CGRect frame) override;

  void buttonClick(const std::shared_ptr<UIButton>& button);

  std::shared_ptr<UIView> backView() const { return backView_; }
  std::shared_ptr<UIView> shareView() const { return shareView_; }
  const std::vector<std::string>& buttonTitleArray() const { return buttonTitleArray_; }
  const std::vector<std::string>& imageArray() const { return imageArray_; }

 private:
  void initDatas();
  void createUI();

  std::shared_ptr<UIView> backView_;
  std::shared_ptr<UIView> shareView_;
  std::vector<std::string> buttonTitleArray_;
  std::vector<std::string> imageArray_;
};

class ThirdPartySharingTableViewCell : public UITableViewCell {
 public:
  // initWithReuseIdentifier: a default-style cell with the remark label.
  static std::shared_ptr<ThirdPartySharingTableViewCell> initWithReuseIdentifier(const std::shared_ptr<NSString>& reuseIdentifier) {
    return UITableViewCell::initWithStyle<ThirdPartySharingTableViewCell>(UITableViewCellStyleDefault, reuseIdentifier);
  }
  void setUpWithStyle(UITableViewCellStyle style, const std::shared_ptr<NSString>& reuseIdentifier) override;

  // The cell never shows itself selected.
  void setSelected(bool selected, bool animated) override;
  using UITableViewCell::setSelected;

  std::shared_ptr<UILabel> remarkLabel() const { return remarkLabel_; }
  // Never created or shown by the cell itself.
  std::shared_ptr<UIImageView> background() const { return background_; }
  void setBackground(const std::shared_ptr<UIImageView>& view) { background_ = view; }

 private:
  std::shared_ptr<UILabel> remarkLabel_;
  std::shared_ptr<UIImageView> background_;
};
