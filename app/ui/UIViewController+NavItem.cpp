#include "app/ui/UIViewController+NavItem.h"

#include "platform/graphics/UIBezierPath.h"
#include "platform/text/NSAttributedString.h"
#include "platform/text/NSShadow.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UINavigationController.h"

namespace {

// What the items of a screen send their actions to: the two blocks.
class NavItemActions : public NSObject {
 public:
  NavItemAction left, right;
  void pressLeft() {
    if (auto block = left) block();
  }
  void pressRight() {
    if (auto block = right) block();
  }
};

const char kActionsKey = 0;

std::shared_ptr<NavItemActions> actions(const std::shared_ptr<UIViewController>& controller) {
  auto found = std::dynamic_pointer_cast<NavItemActions>(controller->associatedObject(&kActionsKey));
  if (!found) {
    found = std::make_shared<NavItemActions>();
    controller->setAssociatedObject(&kActionsKey, found);
  }
  return found;
}

void install(const std::shared_ptr<UIViewController>& controller, const std::shared_ptr<UIBarButtonItem>& item,
             NSInteger leftOrRight) {
  if (leftOrRight == kNavItemLeft) {
    controller->navigationItem()->setLeftBarButtonItem(item);
  } else {
    controller->navigationItem()->setRightBarButtonItem(item);
  }
}

SEL sideAction(NSInteger leftOrRight) {
  return leftOrRight == kNavItemLeft ? SEL(&NavItemActions::pressLeft) : SEL(&NavItemActions::pressRight);
}

void setBlock(const std::shared_ptr<NavItemActions>& target, NSInteger leftOrRight, NavItemAction action) {
  (leftOrRight == kNavItemLeft ? target->left : target->right) = std::move(action);
}

std::shared_ptr<UINavigationBar> barOf(const std::shared_ptr<UIViewController>& controller) {
  auto navigation = controller ? controller->navigationController() : nullptr;
  return navigation ? navigation->navigationBar() : nullptr;
}

std::shared_ptr<NSDictionary> titleAttributes(const std::shared_ptr<UIColor>& color) {
  auto shadow = NSShadow::make();
  shadow->setShadowOffset(CGSizeMake(0, 0));
  return NSDictionary::make({{NSFontAttributeName, UIFont::systemFontOfSize(19)},
                             {NSForegroundColorAttributeName, color},
                             {NSShadowAttributeName, shadow}});
}

}  // namespace

void configNavigationItemWith(const std::shared_ptr<UIViewController>& controller, const id& item, NSInteger leftOrRight,
                              const std::shared_ptr<UIFont>& font, const std::shared_ptr<UIColor>& color,
                              NavItemAction action) {
  if (!controller) return;
  if (auto image = std::dynamic_pointer_cast<UIImage>(item)) {
    auto target = actions(controller);
    // An image item without a block gets no action of an earlier item: a button must never
    // run a stale action.
    setBlock(target, leftOrRight, std::move(action));
    auto barItem = UIBarButtonItem::initWithImage(image->imageWithRenderingMode(UIImageRenderingModeAlwaysOriginal),
                                                  UIBarButtonItemStyleDone, target, sideAction(leftOrRight));
    install(controller, barItem, leftOrRight);
    return;
  }
  auto text = std::dynamic_pointer_cast<NSString>(item);
  if (!text) return;
  configNavigationItemString(controller, text, font ? font : UIFont::systemFontOfSize(16), color, leftOrRight,
                             std::move(action));
}

void configNavigationItemString(const std::shared_ptr<UIViewController>& controller, const std::shared_ptr<NSString>& text,
                                const std::shared_ptr<UIFont>& font, const std::shared_ptr<UIColor>& color,
                                NSInteger leftOrRight, NavItemAction action) {
  if (!controller) return;
  auto target = actions(controller);
  if (action) setBlock(target, leftOrRight, std::move(action));
  auto barItem = UIBarButtonItem::initWithTitle(text, UIBarButtonItemStyleDone, target, sideAction(leftOrRight));
  if (font) barItem->setTitleTextAttributes(NSDictionary::make({{NSFontAttributeName, font}}), UIControlStateNormal);
  barItem->setTintColor(color ? color : UIColor::whiteColor());
  install(controller, barItem, leftOrRight);
}

void configNavigationLeftItemWith(const std::shared_ptr<UIViewController>& controller, const id& item, NavItemAction action) {
  configNavigationItemWith(controller, item, kNavItemLeft, nullptr, nullptr, std::move(action));
}

void configNavigationRightItemWith(const std::shared_ptr<UIViewController>& controller, const id& item, NavItemAction action) {
  configNavigationItemWith(controller, item, kNavItemRight, nullptr, nullptr, std::move(action));
}

void configNavigationLeftString(const std::shared_ptr<UIViewController>& controller, const std::shared_ptr<NSString>& text,
                                const std::shared_ptr<UIFont>& font, NavItemAction action) {
  configNavigationItemString(controller, text, font, nullptr, kNavItemLeft, std::move(action));
}

void configNavigationRightString(const std::shared_ptr<UIViewController>& controller, const std::shared_ptr<NSString>& text,
                                 const std::shared_ptr<UIFont>& font, NavItemAction action) {
  configNavigationItemString(controller, text, font, nullptr, kNavItemRight, std::move(action));
}

void configNavigationLeftAction(const std::shared_ptr<UIViewController>& controller, NavItemAction action) {
  id item = UIImage::imageNamed("whiteReturn"_ns);
  if (!item) item = NSString::string();
  configNavigationLeftItemWith(controller, item, std::move(action));
}

void configNavigationBackItemWithTitle(const std::shared_ptr<UIViewController>& controller,
                                       const std::shared_ptr<NSString>& title, const std::shared_ptr<UIImage>& image) {
  if (!controller) return;
  auto item = UIBarButtonItem::make();
  item->setTitle(title ? title : NSString::string());
  if (image) {
    item->setBackButtonBackgroundImage(image->imageWithRenderingMode(UIImageRenderingModeAlwaysOriginal),
                                       UIControlStateNormal, UIBarMetricsDefault);
  }
  controller->navigationItem()->setBackBarButtonItem(item);
  if (auto bar = barOf(controller)) {
    bar->setBarStyle(UIBarStyleDefault);
    bar->setTintColor(UIColor::whiteColor());
  }
}

void pressLeft(const std::shared_ptr<UIViewController>& controller) {
  if (controller) actions(controller)->pressLeft();
}

void pressRight(const std::shared_ptr<UIViewController>& controller) {
  if (controller) actions(controller)->pressRight();
}

std::shared_ptr<UIImage> imageWithColor(const std::shared_ptr<UIColor>& color) {
  const CGRect rect = CGRectMake(0, 0, 1, 1);
  UIGraphicsBeginImageContextWithOptions(rect.size, false, 0);
  if (color) {
    color->setFill();
    UIBezierPath::bezierPathWithRect(rect)->fill();
  }
  auto image = UIGraphicsGetImageFromCurrentImageContext();
  UIGraphicsEndImageContext();
  return image;
}

void configWhiteNavigationBarStyle(const std::shared_ptr<UIViewController>& controller) {
  auto bar = barOf(controller);
  if (!bar) return;
  bar->setBarTintColor(UIColor::whiteColor());
  bar->setBackgroundImage(imageWithColor(UIColor::colorWithWhite(1, 1)), UIBarMetricsDefault);
  bar->setShadowImage(imageWithColor(UIColor::colorWithRed(198 / 255.0, 198 / 255.0, 198 / 255.0, 0.7)));
  bar->setTitleTextAttributes(titleAttributes(UIColor::blackColor()));
}

void configDefaultNavigationBarStyle(const std::shared_ptr<UIViewController>& controller) {
  auto bar = barOf(controller);
  if (!bar) return;
  bar->setBarTintColor(zvt::themeBarColor());
  bar->setTitleTextAttributes(titleAttributes(UIColor::whiteColor()));
}

namespace zvt {
std::shared_ptr<UIColor> themeBarColor() { return UIColor::colorWithRed(1.0, 85 / 255.0, 20 / 255.0, 1); }
}  // namespace zvt
