#include "platform/uikit/UINib.h"

#include <map>

#include "platform/foundation/NSException.h"
#include "platform/uikit/ControllerHooks.h"
#include "platform/uikit/UIKitMainThread.h"
#include "platform/uikit/UIResponder.h"
#include "platform/uikit/UIViewController.h"

namespace zvt::ui {

namespace {

std::map<std::string, NibFactory>& factories() {
  static auto* map = new std::map<std::string, NibFactory>();
  return *map;
}

}  // namespace

namespace {

// loadView of a controller made with a nib name: the nib's File's Owner is the controller, whose
// view outlet the nib sets.
bool loadControllerView(UIViewController& controller) {
  auto name = controller.nibName();
  if (!name) return false;
  auto self = controller.controllerSelf();
  UINib::nibWithNibName(name, nullptr)->instantiateWithOwner(self, nullptr);
  if (!controller.isViewLoaded())
    zvt::raise(NSInternalInconsistencyException, "-[UIViewController _loadViewFromNibNamed:bundle:] loaded the \"" +
                                                     name->utf8() + "\" nib but the view outlet was not set.");
  return true;
}

}  // namespace

void registerNibFactory(const std::string& name, NibFactory factory) {
  assertMainThread("UINib::registerNibFactory");
  // Controllers made with a nib name load their views from the registry once it holds nibs.
  auto& hooks = controllerHooks();
  if (!hooks.loadViewFromNib) hooks.loadViewFromNib = loadControllerView;
  if (factory) factories()[name] = std::move(factory);
  else factories().erase(name);
}

bool hasNibFactory(const std::string& name) { return factories().count(name) > 0; }

}  // namespace zvt::ui

std::shared_ptr<UINib> UINib::nibWithNibName(const std::shared_ptr<NSString>& name,
                                             const std::shared_ptr<NSBundle>& bundle) {
  if (!name) return nullptr;
  return std::make_shared<UINib>(name->copy(), bundle ? bundle : NSBundle::mainBundle());
}

std::shared_ptr<NSArray> UINib::instantiateWithOwner(const id& owner, const std::shared_ptr<NSDictionary>& options) const {
  zvt::ui::assertMainThread("UINib::instantiateWithOwner");
  auto& all = zvt::ui::factories();
  auto found = all.find(name_->utf8());
  if (found == all.end()) {
    zvt::raise(NSInternalInconsistencyException, "Could not load NIB in bundle: '" + NSStringFromObject(bundle_) +
                                                     "' with name '" + name_->utf8() + "'");
  }
  // A copy: the factory may register nibs itself.
  auto factory = found->second;
  zvt::ui::NibBuilder builder(owner, options);
  auto top = factory(builder);
  for (const auto& object : builder.madeObjects())
    if (auto responder = std::dynamic_pointer_cast<UIResponder>(object)) responder->awakeFromNib();
  auto out = NSMutableArray::array();
  for (const auto& object : top)
    if (object) out->addObject(object);
  return out;
}

std::shared_ptr<NSArray> loadNibNamed(const std::shared_ptr<NSBundle>& bundle, const std::shared_ptr<NSString>& name,
                                      const id& owner, const std::shared_ptr<NSDictionary>& options) {
  auto nib = UINib::nibWithNibName(name, bundle);
  if (!nib) zvt::raise(NSInvalidArgumentException, "loadNibNamed: nil name");
  return nib->instantiateWithOwner(owner, options);
}
