#pragma once
// Stand-ins for the screens of the shopping, account and rewards folders until each arrives:
// a screen of the class's name (className() answers it) that keeps the properties the shell
// and the routers set on it (key-value coding; other keys are undefined, as on the real
// class) and shows its title under the theme bar. Like the real screens, a tab root shows the
// custom tab bar once it has appeared, a pushed screen hides it when it is about to appear.
//
// The table of placeholders is in PlaceholderScreens.cpp; see ScreenRegistry.h for how a real
// screen replaces its row.

#include <memory>
#include <string>
#include <vector>

#include "app/ui/ParentsViewController.h"
#include "platform/foundation/NSDictionary.h"

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
  id valueForKey(const std::shared_ptr<NSString>& key) const override;
  void setValueForKey(const id& value, const std::shared_ptr<NSString>& key) override;

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewDidAppear(bool animated) override;

 private:
  bool declares(const std::shared_ptr<NSString>& key) const;
  bool isStackRoot();

  PlaceholderScreenClass class_;
  std::shared_ptr<NSMutableDictionary> values_ = NSMutableDictionary::dictionary();
};

namespace zvt {
// The placeholder table's rows.
const std::vector<PlaceholderScreenClass>& placeholderScreenClasses();
}  // namespace zvt
