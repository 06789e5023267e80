#pragma once
// Controllers that record their life, and a window to show them in, for the controller tests.

#include <memory>
#include <string>

#include "platform/uikit/UINavigationController.h"
#include "platform/uikit/UIViewController.h"
#include "tests/platform/uikit/UIKitTestSupport.h"

namespace zvt::uitest {

// Logs "<name>.<callback>", with the transition's flags after a "+" (toParent, fromParent,
// presented, dismissed).
template <class Base>
class Recording : public Base {
 public:
  std::string name = "vc";
  Log* log = nullptr;

  static std::shared_ptr<Recording> make(const std::string& name, Log* log) {
    auto r = std::make_shared<Recording>();
    r->name = name;
    r->log = log;
    return r;
  }
  void viewDidLoad() override {
    Base::viewDidLoad();
    note("didLoad");
  }
  void viewWillAppear(bool animated) override {
    Base::viewWillAppear(animated);
    note("willAppear");
  }
  void viewDidAppear(bool animated) override {
    Base::viewDidAppear(animated);
    note("didAppear");
  }
  void viewWillDisappear(bool animated) override {
    Base::viewWillDisappear(animated);
    note("willDisappear");
  }
  void viewDidDisappear(bool animated) override {
    Base::viewDidDisappear(animated);
    note("didDisappear");
  }
  void willMoveToParentViewController(const std::shared_ptr<UIViewController>& parent) override {
    if (log && recordsMoves) log->add(name + (parent ? ".willMove" : ".willMove(nil)"));
  }
  void didMoveToParentViewController(const std::shared_ptr<UIViewController>& parent) override {
    if (log && recordsMoves) log->add(name + (parent ? ".didMove" : ".didMove(nil)"));
  }
  bool recordsMoves = false;

 private:
  void note(const std::string& what) {
    if (!log) return;
    std::string flags;
    if (this->isMovingToParentViewController()) flags += "+toParent";
    if (this->isMovingFromParentViewController()) flags += "+fromParent";
    if (this->isBeingPresented()) flags += "+presented";
    if (this->isBeingDismissed()) flags += "+dismissed";
    log->add(name + "." + what + flags);
  }
};
using Recorder = Recording<UIViewController>;

// A shown key window on a 320 x 480 screen under a virtual clock, with a root controller.
class ControllerScreen {
 public:
  explicit ControllerScreen(const zvt::ui::ScreenModel& model = zvt::ui::kScreen320x480) {
    zvt::ui::Device::useScreen(model);
    window = UIWindow::make();
  }
  ~ControllerScreen() {
    if (auto responder = UIResponder::currentFirstResponder()) responder->resignFirstResponder();
    device().touchCancelAll();
    window->setHidden(true);
    window->setRootViewController(nullptr);
    device().settle();
    zvt::ui::Device::useScreen(zvt::ui::kScreen375x667);
  }
  static zvt::ui::Device& device() { return zvt::ui::Device::shared(); }
  // Makes the controller the root and shows the window; settles so that it has appeared.
  void show(const std::shared_ptr<UIViewController>& root) {
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    device().settle();
  }

  zvt::test::VirtualClockScope clock;
  std::shared_ptr<UIWindow> window;
};

}  // namespace zvt::uitest
