#pragma once
// How 集分宝 are used ("集分宝", analytics page "集分宝用法页"): the picture "alipay_course" at
// the screen's width, aspect kept, in a vertical scroll view whose content is the picture.
// The withdrawal screen pushes it; it asks the service for nothing.

#include <memory>

#include "app/ui/ParentsViewController.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UIScrollView.h"

class HowToUseAlibabaMoneyViewController : public ParentsViewController {
 public:
  static std::shared_ptr<HowToUseAlibabaMoneyViewController> make() {
    return std::make_shared<HowToUseAlibabaMoneyViewController>();
  }

  std::shared_ptr<UIScrollView> scrollView() const { return scrollView_; }
  std::shared_ptr<UIImageView> courseView() const { return courseView_; }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

 private:
  std::shared_ptr<UIScrollView> scrollView_;
  std::shared_ptr<UIImageView> courseView_;
};
