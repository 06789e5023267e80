#include "platform/uikit/UIStoryboard.h"

#include "platform/foundation/NSException.h"
#include "platform/uikit/UIKitMainThread.h"

namespace zvt::ui {

namespace {
std::map<std::string, StoryboardScenes>& storyboards() {
  static auto* map = new std::map<std::string, StoryboardScenes>();
  return *map;
}
}  // namespace

void registerStoryboard(const std::string& name, StoryboardScenes scenes) {
  assertMainThread("UIStoryboard::registerStoryboard");
  storyboards()[name] = std::move(scenes);
}

}  // namespace zvt::ui

std::shared_ptr<UIStoryboard> UIStoryboard::storyboardWithName(const std::shared_ptr<NSString>& name,
                                                               const std::shared_ptr<NSBundle>& bundle) {
  zvt::ui::assertMainThread("UIStoryboard::storyboardWithName");
  auto& all = zvt::ui::storyboards();
  auto found = name ? all.find(name->utf8()) : all.end();
  if (found == all.end()) {
    zvt::raise(NSInvalidArgumentException, "Could not find a storyboard named '" + NSStringFromObject(name) +
                                               "' in bundle " + NSStringFromObject(bundle ? bundle : NSBundle::mainBundle()));
  }
  return std::make_shared<UIStoryboard>(found->first, found->second);
}

std::shared_ptr<UIViewController> UIStoryboard::build(const zvt::ui::SceneFactory& factory) const {
  zvt::ui::NibBuilder builder(nullptr, nullptr);
  auto controller = builder.adopt(factory(builder));
  for (const auto& object : builder.madeObjects())
    if (auto responder = std::dynamic_pointer_cast<UIResponder>(object)) responder->awakeFromNib();
  return controller;
}

std::shared_ptr<UIViewController> UIStoryboard::instantiateInitialViewController() const {
  if (scenes_.initial.empty()) return nullptr;
  return instantiateViewControllerWithIdentifier(NSString::stringWithUTF8String(scenes_.initial));
}

std::shared_ptr<UIViewController> UIStoryboard::instantiateViewControllerWithIdentifier(
    const std::shared_ptr<NSString>& identifier) const {
  zvt::ui::assertMainThread("UIStoryboard::instantiateViewControllerWithIdentifier");
  auto found = identifier ? scenes_.scenes.find(identifier->utf8()) : scenes_.scenes.end();
  if (found == scenes_.scenes.end()) {
    zvt::raise(NSInvalidArgumentException, "Storyboard (" + description()->utf8() +
                                               ") doesn't contain a view controller with identifier '" +
                                               NSStringFromObject(identifier) + "'");
  }
  return build(found->second);
}
