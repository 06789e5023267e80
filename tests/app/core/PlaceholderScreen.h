#pragma once
// A stand-in screen for tests that need a screen class by name without its folder: a screen of
// the class's name (className() answers it) that keeps the properties the shell and the routers
// set on it (key-value coding; other keys are undefined, as on the real class) and shows its
// title under the theme bar. Like the real screens, a tab root shows the custom tab bar once it
// has appeared, a pushed screen hides it when it is about to appear.

#include <memory>
#include <string>
#include <vector>

#include "app/ui/ParentsViewController.h"
#include "app/ui/TabBarController.h"
#include "app/ui/UIViewController+NavItem.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINavigationController.h"

struct PlaceholderScreenClass {
  const char* name;                       // the class name the code asks the registry for
  const char* title;                      // shown in the bar and in the middle of the screen
  std::vector<const char*> properties;    // the properties the creators set
  const char* titleProperty = nullptr;    // a property whose text, when set, is the title
};

class PlaceholderScreen : public ParentsViewController {
 public:
  explicit PlaceholderScreen(const PlaceholderScreenClass& screenClass) : class_(screenClass) {}

  std::string className() const override { return class_.name; }

  id valueForKey(const std::shared_ptr<NSString>& key) const override {
    if (declares(key)) return values_->objectForKey(key);
    return ParentsViewController::valueForKey(key);
  }

  void setValueForKey(const id& value, const std::shared_ptr<NSString>& key) override {
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

  void viewDidLoad() override {
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

  void viewWillAppear(bool animated) override {
    ParentsViewController::viewWillAppear(animated);
    configDefaultNavigationBarStyle(controllerSelf());
    if (!isStackRoot()) {
      if (auto shell = zvt::shellOf(controllerSelf())) shell->hiddenTabbar();
    }
  }

  void viewDidAppear(bool animated) override {
    ParentsViewController::viewDidAppear(animated);
    if (isStackRoot()) {
      if (auto shell = zvt::shellOf(controllerSelf())) shell->showTabbar();
    }
  }

 private:
  bool declares(const std::shared_ptr<NSString>& key) const {
    if (!key) return false;
    for (const char* name : class_.properties)
      if (key->isEqualToString(name)) return true;
    return false;
  }

  bool isStackRoot() {
    auto navigation = navigationController();
    return !navigation || navigation->viewControllers().empty() ||
           navigation->viewControllers().front().get() == this;
  }

  PlaceholderScreenClass class_;
  std::shared_ptr<NSMutableDictionary> values_ = NSMutableDictionary::dictionary();
};
