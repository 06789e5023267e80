#pragma once
// The bases of the application's screens, views and cells.
//
// ParentsViewController: grey background (242, 242, 242); when its navigation stack holds two
// or more screens, the left item "whiteReturn" pops it. gotoLoginVC presents the login screen
// (the screen class registered as "TZLoginViewController") at the root of a new navigation
// controller.
//
// ParentView: the view's one channel to its controller, myBlock, called with the control that
// was tapped; the controller tells controls apart by their tag.

#include <functional>
#include <memory>

#include "platform/uikit/UITableViewCell.h"
#include "platform/uikit/UIViewController.h"

class ParentsViewController : public UIViewController {
 public:
  void viewDidLoad() override;
  void gotoLoginVC();
  void didReceiveMemoryWarning() override { UIViewController::didReceiveMemoryWarning(); }

 protected:
  std::shared_ptr<ParentsViewController> parentsSelf() {
    return std::static_pointer_cast<ParentsViewController>(controllerSelf());
  }
};

class ParentView : public UIView {
 public:
  using Block = std::function<void(const id& sender)>;
  const Block& myBlock() const { return myBlock_; }
  void setMyBlock(Block block) { myBlock_ = std::move(block); }

 protected:
  // Calls myBlock with the sender, when there is one.
  void callMyBlock(const id& sender) {
    if (auto block = myBlock_) block(sender);
  }

 private:
  Block myBlock_;
};

class ParentTableViewCell : public UITableViewCell {};

namespace zvt {
// The screens' background grey (242, 242, 242) and the action colour (255, 110, 40).
std::shared_ptr<UIColor> screenBackgroundColor();
std::shared_ptr<UIColor> actionColor();
// Presents the login screen at the root of a new navigation controller from `presenter`'s
// navigation controller, animated (nothing when it has none).
void presentLoginScreen(const std::shared_ptr<UIViewController>& presenter);
// Whether `screen` is the screen the user sees: the top of its navigation stack, that stack on
// screen and nothing presented over it. A success that closes its form asks this first: a pop
// takes the screen off the stack at once while it keeps its navigation controller until the
// animation ends, so a reply landing after a tap on back would otherwise close the screen under.
bool isShownScreen(const std::shared_ptr<UIViewController>& screen);
}  // namespace zvt
