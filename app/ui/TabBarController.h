#pragma once
// The window's root: a tab bar controller with five navigation stacks whose system tab bar is
// hidden and replaced by TabbarView, five image-and-title buttons on a white strip. The bar
// slides out of sight while pushed screens show (hiddenTabbar) and back on the tab roots
// (showTabbar); setSelectedWithIndex switches tabs from code.
//
// The five roots are the screen classes "HomeViewController", "ProductStoreViewController",
// "TZNewSearchViewController", "ThirdProductStoreViewController" and "UserInfoViewController"
// of the screen registry.

#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "platform/uikit/UIButton.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UITabBarController.h"
#include "platform/uikit/UIView.h"

class TabbarView : public UIView {
 public:
  static constexpr NSInteger kFirstTag = 100001;
  static constexpr CGFloat kHeight = 49;

  // initWithFrame: the data, then the buttons and labels.
  void setUpWithFrame(CGRect frame) override;

  const std::vector<std::shared_ptr<UIButton>>& btnArray() const { return btnArray_; }
  const std::vector<std::shared_ptr<UILabel>>& labelArray() const { return labelArray_; }
  using Block = std::function<void(const std::shared_ptr<UIButton>& button)>;
  void setMyBlock(Block block) { myBlock_ = std::move(block); }

  // The buttons' action: recolours the labels, then calls myBlock with the button.
  void buttonClick(const std::shared_ptr<UIButton>& button);

  // The five titles and image names, in tab order.
  static const std::array<const char*, 5>& titles();
  static const std::array<const char*, 5>& normalImageNames();
  static const std::array<const char*, 5>& selectImageNames();
  // The selected title colour (255, 110, 40) and the others' grey.
  static std::shared_ptr<UIColor> selectedTitleColor();
  static std::shared_ptr<UIColor> titleColor();

 private:
  void createData();
  void createUI();

  std::shared_ptr<UIView> backgroundView_;
  std::shared_ptr<UIView> lineView_;
  std::vector<std::shared_ptr<UIButton>> btnArray_;
  std::vector<std::shared_ptr<UILabel>> labelArray_;
  Block myBlock_;
};

class TabBarController : public UITabBarController {
 public:
  // init: the five navigation stacks.
  static std::shared_ptr<TabBarController> make();

  const std::shared_ptr<TabbarView>& tabbarView() const { return tabbarView_; }

  void viewDidLoad() override;
  // Slides the bar below the view over 0.4 s and hides it at the end, unless a show came
  // after (the last request wins).
  void hiddenTabbar();
  // Unhides the bar and slides it back over 0.4 s.
  void showTabbar();
  // Selects the tab, its button and its title colour; the others not.
  void setSelectedWithIndex(NSUInteger index);

 private:
  void createControllers();
  void createUI();
  void tabSwitched(const std::shared_ptr<UIButton>& button);

  std::shared_ptr<TabbarView> tabbarView_;
  // The last of hiddenTabbar / showTabbar asked for: a hide's end hides only while it is.
  bool hideRequested_ = false;
};

namespace zvt {
// The application's shell, when the window's root is one (the delegate's tabBarController).
std::shared_ptr<TabBarController> shellOf(const std::shared_ptr<UIViewController>& controller);
}  // namespace zvt
