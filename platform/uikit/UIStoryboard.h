#pragma once
// Storyboards by name (UIStoryboard): like nibs (UINib.h), the application's storyboards are
// C++ factories registered under their names, one per scene, keyed by the scene's storyboard
// identifier. A scene makes its controller through the builder (a controller whose view comes
// from a nib is made with UIViewController::initWithNibName, so that its view still loads when
// first needed); every object made hears awakeFromNib once the scene is built.
//
// An unknown storyboard or identifier raises NSInvalidArgumentException with the device's
// message; a storyboard without an initial scene answers nil for the initial controller.

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/foundation/NSBundle.h"
#include "platform/uikit/UINib.h"
#include "platform/uikit/UIViewController.h"

namespace zvt::ui {

using SceneFactory = std::function<std::shared_ptr<UIViewController>(NibBuilder& builder)>;

struct StoryboardScenes {
  // The identifier of the initial scene (empty: none).
  std::string initial;
  std::map<std::string, SceneFactory> scenes;
};

// Registers (or replaces) a storyboard's scenes.
void registerStoryboard(const std::string& name, StoryboardScenes scenes);

}  // namespace zvt::ui

class UIStoryboard : public NSObject {
 public:
  // nil bundle: the main bundle. Raises for a name without a registered storyboard.
  static std::shared_ptr<UIStoryboard> storyboardWithName(const std::shared_ptr<NSString>& name,
                                                          const std::shared_ptr<NSBundle>& bundle);
  std::shared_ptr<UIViewController> instantiateInitialViewController() const;
  std::shared_ptr<UIViewController> instantiateViewControllerWithIdentifier(const std::shared_ptr<NSString>& identifier) const;

  UIStoryboard(std::string name, zvt::ui::StoryboardScenes scenes) : name_(std::move(name)), scenes_(std::move(scenes)) {}

 private:
  std::shared_ptr<UIViewController> build(const zvt::ui::SceneFactory& factory) const;
  std::string name_;
  zvt::ui::StoryboardScenes scenes_;
};
