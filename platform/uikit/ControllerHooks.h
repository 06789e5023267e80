#pragma once
// Hook points inside the base implementations of the controllers, where the toolkit's
// extensions install themselves (on the device they exchanged methods of the system classes
// when their classes were loaded).
//
// Each chain wraps one base method. A hook receives the call's arguments and `next`, the
// implementation it wraps: the hook installed before it, and innermost the system's own
// behaviour. The hook installed last runs first, as the last exchange does on the device. The
// chain runs where the base implementation runs, so a subclass that overrides the method and
// calls the base reaches the hooks at the same point as on the device; a subclass that does
// not call the base skips them, as it would skip exchanged methods.
//
// Main thread only. install answers a token for remove (tests remove what they install).

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "platform/graphics/UIGeometry.h"

class UIView;
class UIViewController;
class UINavigationController;

namespace zvt::ui {

template <class R, class... Args>
class HookChain {
 public:
  using Next = std::function<R()>;
  using Hook = std::function<R(Args..., const Next& next)>;

  uint64_t install(Hook hook) {
    hooks_.push_back({++lastToken_, std::move(hook)});
    return lastToken_;
  }
  void remove(uint64_t token) {
    for (auto it = hooks_.begin(); it != hooks_.end(); ++it)
      if (it->first == token) {
        hooks_.erase(it);
        return;
      }
  }
  bool empty() const { return hooks_.empty(); }

  // Runs the chain, the latest hook first, with `system` innermost. Hooks installed or removed
  // during the call take effect on the next one.
  R call(Args... args, const Next& system) const {
    auto hooks = hooks_;
    return run(hooks, hooks.size(), system, args...);
  }

 private:
  static R run(const std::vector<std::pair<uint64_t, Hook>>& hooks, size_t count, const Next& system, Args... args) {
    if (count == 0) return system();
    Next next = [&hooks, count, &system, &args...]() -> R { return run(hooks, count - 1, system, args...); };
    return hooks[count - 1].second(args..., next);
  }

  std::vector<std::pair<uint64_t, Hook>> hooks_;
  uint64_t lastToken_ = 0;
};

using ControllerList = std::vector<std::shared_ptr<UIViewController>>;

struct ControllerHooks {
  // UIViewController::viewWillAppear(animated).
  HookChain<void, UIViewController&, bool> viewWillAppear;
  // UIViewController::viewWillLayoutSubviews().
  HookChain<void, UIViewController&> viewWillLayoutSubviews;
  // UIViewController::viewDidAppear(animated).
  HookChain<void, UIViewController&, bool> viewDidAppear;
  // UINavigationController::pushViewController(controller, animated).
  HookChain<void, UINavigationController&, const std::shared_ptr<UIViewController>&, bool> pushViewController;
  // UINavigationController::popViewControllerAnimated(animated): the popped controller.
  HookChain<std::shared_ptr<UIViewController>, UINavigationController&, bool> popViewController;
  // UINavigationController::popToViewController(controller, animated): the popped controllers.
  HookChain<ControllerList, UINavigationController&, const std::shared_ptr<UIViewController>&, bool>
      popToViewController;
  // UINavigationController::popToRootViewControllerAnimated(animated): the popped controllers.
  HookChain<ControllerList, UINavigationController&, bool> popToRootViewController;

  // Not chains: single services that other parts of UIKit provide to the controllers.
  //
  // A controller that adjusts scroll view insets (automaticallyAdjustsScrollViewInsets) asks
  // this with its view, or its view's first subview, and the insets the bars cover; `previous`
  // is what it added before (to be taken back first). Answers whether the view is a scroll
  // view that took the insets.
  std::function<bool(UIView& candidate, UIEdgeInsets covered, UIEdgeInsets previous)> adjustScrollViewInsets;
  // loadView of a controller with a nib name: builds the controller's view from the nib
  // registry and answers whether it did.
  std::function<bool(UIViewController& controller)> loadViewFromNib;
};

ControllerHooks& controllerHooks();

}  // namespace zvt::ui
