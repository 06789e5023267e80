#include "app/ui/TabBarController.h"

#include <algorithm>

#include "app/ui/ScreenRegistry.h"
#include "platform/graphics/UIScreen.h"
#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UITabBar.h"

namespace {

const std::array<const char*, 5> kRootScreens = {"HomeViewController", "ProductStoreViewController",
                                                 "TZNewSearchViewController", "ThirdProductStoreViewController",
                                                 "UserInfoViewController"};

}  // namespace

// --- TabbarView -------------------------------------------------------------------------------------

const std::array<const char*, 5>& TabbarView::titles() {
  static const std::array<const char*, 5> names = {"首页", "超精选", "淘宝回扣", "商城回扣", "我的"};
  return names;
}

const std::array<const char*, 5>& TabbarView::normalImageNames() {
  static const std::array<const char*, 5> names = {"homePage", "selection", "searchHuikou", "storeHuikou", "aboutYou"};
  return names;
}

const std::array<const char*, 5>& TabbarView::selectImageNames() {
  // Tab 3's selected image is spelt "Huikoiu": the resource bears that name.
  static const std::array<const char*, 5> names = {"homePageHighlight", "selectionHighlight", "searchHuikouHighlight",
                                                   "storeHuikoiuHighlight", "aboutYouHighlight"};
  return names;
}

std::shared_ptr<UIColor> TabbarView::selectedTitleColor() { return UIColor::colorWithRed(1.0, 110 / 255.0, 40 / 255.0, 1); }

std::shared_ptr<UIColor> TabbarView::titleColor() { return UIColor::grayColor(); }

void TabbarView::setUpWithFrame(CGRect frame) {
  UIView::setUpWithFrame(frame);
  createData();
  createUI();
}

void TabbarView::createData() {
  btnArray_.clear();
  labelArray_.clear();
  const CGSize screen = UIScreen::mainScreen()->bounds().size;
  const CGFloat width = std::min(screen.width, screen.height);
  backgroundView_ = UIView::initWithFrame(CGRectMake(0, 0, width, kHeight));
  backgroundView_->setBackgroundColor(UIColor::whiteColor());
  backgroundView_->setUserInteractionEnabled(true);
  addSubview(backgroundView_);
  lineView_ = UIView::initWithFrame(CGRectMake(0, 0, width, 0.5));
  lineView_->setBackgroundColor(UIColor::colorWithRed(0.8, 0.8, 0.8, 1));
  backgroundView_->addSubview(lineView_);
}

void TabbarView::createUI() {
  const CGFloat width = backgroundView_->frame().size.width;
  const CGFloat height = backgroundView_->frame().size.height;
  const size_t n = titles().size();
  for (size_t i = 0; i < n; ++i) {
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setFrame(CGRectMake(i * width / n, 0, width / n, height));
    button->setImage(UIImage::imageNamed(NSString::stringWithUTF8String(normalImageNames()[i])), UIControlStateNormal);
    button->setImage(UIImage::imageNamed(NSString::stringWithUTF8String(selectImageNames()[i])), UIControlStateSelected);
    button->setImageEdgeInsets(UIEdgeInsetsMake(0, 0, 13, 0));
    auto label = UILabel::initWithFrame(CGRectMake(button->frame().origin.x, height - 20, button->frame().size.width, 20));
    label->setText(NSString::stringWithUTF8String(titles()[i]));
    label->setTextAlignment(NSTextAlignmentCenter);
    label->setFont(UIFont::systemFontOfSize(11));
    label->setTextColor(titleColor());
    button->setTag(kFirstTag + static_cast<NSInteger>(i));
    button->addTarget(self(), &TabbarView::buttonClick, UIControlEventTouchUpInside);
    if (button->tag() == kFirstTag) {
      button->setSelected(true);
      label->setTextColor(selectedTitleColor());
    }
    backgroundView_->addSubview(button);
    backgroundView_->addSubview(label);
    btnArray_.push_back(button);
    labelArray_.push_back(label);
  }
}

void TabbarView::buttonClick(const std::shared_ptr<UIButton>& button) {
  if (!button) return;
  for (size_t k = 0; k < labelArray_.size(); ++k) {
    const bool selected = static_cast<NSInteger>(k) == button->tag() - kFirstTag;
    labelArray_[k]->setTextColor(selected ? selectedTitleColor() : titleColor());
  }
  if (auto block = myBlock_) block(button);
}

// --- TabBarController -------------------------------------------------------------------------------

std::shared_ptr<TabBarController> TabBarController::make() {
  auto controller = std::make_shared<TabBarController>();
  controller->createControllers();
  return controller;
}

void TabBarController::createControllers() {
  std::vector<std::shared_ptr<UIViewController>> stacks;
  for (const char* name : kRootScreens) {
    auto root = zvt::makeScreen(name);
    if (!root) root = UIViewController::make();
    stacks.push_back(UINavigationController::initWithRootViewController(root));
  }
  setViewControllers(stacks);
}

void TabBarController::viewDidLoad() {
  UITabBarController::viewDidLoad();
  tabBar()->setHidden(true);
  createUI();
}

void TabBarController::createUI() {
  const CGRect bounds = view()->bounds();
  tabbarView_ = UIView::makeView<TabbarView>(
      CGRectMake(0, bounds.size.height - TabbarView::kHeight, bounds.size.width, TabbarView::kHeight));
  tabbarView_->setBackgroundColor(UIColor::whiteColor());
  std::weak_ptr<TabBarController> weakSelf = std::static_pointer_cast<TabBarController>(controllerSelf());
  tabbarView_->setMyBlock([weakSelf](const std::shared_ptr<UIButton>& button) {
    if (auto controller = weakSelf.lock()) controller->tabSwitched(button);
  });
  view()->addSubview(tabbarView_);
}

void TabBarController::tabSwitched(const std::shared_ptr<UIButton>& button) {
  if (!button) return;
  setSelectedIndex(static_cast<NSUInteger>(button->tag() - TabbarView::kFirstTag));
  for (NSInteger tag = TabbarView::kFirstTag; tag < TabbarView::kFirstTag + 5; ++tag) {
    if (auto other = std::dynamic_pointer_cast<UIButton>(view()->viewWithTag(tag))) other->setSelected(false);
  }
  button->setSelected(true);
}

void TabBarController::hiddenTabbar() {
  auto bar = tabbarView();
  if (!bar) return;
  hideRequested_ = true;
  const CGRect bounds = view()->bounds();
  std::weak_ptr<TabBarController> weakSelf = std::static_pointer_cast<TabBarController>(controllerSelf());
  UIView::animateWithDuration(
      0.4, [&] { bar->setFrame(CGRectMake(0, bounds.size.height, bounds.size.width, TabbarView::kHeight)); },
      [weakSelf](bool) {
        auto controller = weakSelf.lock();
        // A show asked for while the bar slid out wins: only the last request is carried out.
        if (controller && controller->hideRequested_ && controller->tabbarView_) controller->tabbarView_->setHidden(true);
      });
}

void TabBarController::showTabbar() {
  auto bar = tabbarView();
  if (!bar) return;
  hideRequested_ = false;
  bar->setHidden(false);
  const CGRect bounds = view()->bounds();
  UIView::animateWithDuration(0.4, [&] {
    bar->setFrame(CGRectMake(0, bounds.size.height - TabbarView::kHeight, bounds.size.width, TabbarView::kHeight));
  });
}

void TabBarController::setSelectedWithIndex(NSUInteger index) {
  setSelectedIndex(index);
  if (!tabbarView_) return;
  const auto& buttons = tabbarView_->btnArray();
  const auto& labels = tabbarView_->labelArray();
  for (size_t k = 0; k < buttons.size(); ++k) {
    buttons[k]->setSelected(k == index);
    labels[k]->setTextColor(k == index ? TabbarView::selectedTitleColor() : TabbarView::titleColor());
  }
}

namespace zvt {

std::shared_ptr<TabBarController> shellOf(const std::shared_ptr<UIViewController>& controller) {
  return controller ? std::dynamic_pointer_cast<TabBarController>(controller->tabBarController()) : nullptr;
}

}  // namespace zvt
