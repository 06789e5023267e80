#include "app/ui/PlaceholderScreens.h"

#include <map>

#include "app/ui/ScreenRegistry.h"
#include "app/ui/TabBarController.h"
#include "app/ui/UIViewController+NavItem.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationController.h"

namespace zvt {

// THE PLACEHOLDER TABLE. One row per screen class that the shell, the routers or the login
// gate create. A screen folder that builds the real class registers it under the same name
// (zvt::registerScreenClass, from its registration function) and deletes its row here; the
// real class must offer the same properties by key-value coding.
const std::vector<PlaceholderScreenClass>& placeholderScreenClasses() {
  static const std::vector<PlaceholderScreenClass> rows = {
      // Every screen the creators name is built now; a new one adds its row here until it is.
  };
  return rows;
}

namespace detail {

void addPlaceholderScreens(std::map<std::string, ScreenFactory>& table) {
  for (const auto& row : placeholderScreenClasses()) {
    table.insert_or_assign(row.name, [row]() -> std::shared_ptr<UIViewController> {
      return std::make_shared<PlaceholderScreen>(row);
    });
  }
}

}  // namespace detail
}  // namespace zvt

bool PlaceholderScreen::declares(const std::shared_ptr<NSString>& key) const {
  if (!key) return false;
  for (const char* name : class_.properties)
    if (key->isEqualToString(name)) return true;
  return false;
}

id PlaceholderScreen::valueForKey(const std::shared_ptr<NSString>& key) const {
  if (declares(key)) return values_->objectForKey(key);
  return ParentsViewController::valueForKey(key);
}

void PlaceholderScreen::setValueForKey(const id& value, const std::shared_ptr<NSString>& key) {
  if (!declares(key)) {
    ParentsViewController::setValueForKey(value, key);
    return;
  }
  if (value) {
    values_->setObject(value, key);
  } else {
    values_->removeObjectForKey(key);
  }
}

bool PlaceholderScreen::isStackRoot() {
  auto navigation = navigationController();
  return !navigation || navigation->viewControllers().empty() ||
         navigation->viewControllers().front().get() == this;
}

void PlaceholderScreen::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  auto title = NSString::stringWithUTF8String(class_.title);
  if (class_.titleProperty) {
    if (auto text = std::dynamic_pointer_cast<NSString>(values_->objectForKey(NSString::stringWithUTF8String(class_.titleProperty)));
        text && text->length() > 0) {
      title = text;
    }
  }
  setTitle(title);
  const CGRect bounds = view()->bounds();
  auto label = UILabel::initWithFrame(CGRectMake(0, bounds.size.height / 2 - 40, bounds.size.width, 30));
  label->setText(title);
  label->setFont(UIFont::boldSystemFontOfSize(20));
  label->setTextColor(UIColor::colorWithRed(51 / 255.0, 51 / 255.0, 51 / 255.0, 1));
  label->setTextAlignment(NSTextAlignmentCenter);
  label->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleTopMargin |
                             UIViewAutoresizingFlexibleBottomMargin);
  view()->addSubview(label);
  auto note = UILabel::initWithFrame(CGRectMake(0, bounds.size.height / 2, bounds.size.width, 20));
  note->setText(NSString::stringWithUTF8String(class_.name));
  note->setFont(UIFont::systemFontOfSize(13));
  note->setTextColor(UIColor::colorWithRed(153 / 255.0, 153 / 255.0, 153 / 255.0, 1));
  note->setTextAlignment(NSTextAlignmentCenter);
  note->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleTopMargin |
                            UIViewAutoresizingFlexibleBottomMargin);
  view()->addSubview(note);
}

void PlaceholderScreen::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  configDefaultNavigationBarStyle(controllerSelf());
  if (!isStackRoot()) {
    if (auto shell = zvt::shellOf(controllerSelf())) shell->hiddenTabbar();
  }
}

void PlaceholderScreen::viewDidAppear(bool animated) {
  ParentsViewController::viewDidAppear(animated);
  if (isStackRoot()) {
    if (auto shell = zvt::shellOf(controllerSelf())) shell->showTabbar();
  }
}
