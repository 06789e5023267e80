#include "platform/uikit/UIResponder.h"

#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UIKitMainThread.h"

namespace {

std::weak_ptr<UIResponder>& firstResponder() {
  static auto* responder = new std::weak_ptr<UIResponder>();
  return *responder;
}

int forcedResignDepth = 0;
const UIResponder* becoming = nullptr;

}  // namespace

namespace zvt::ui {
// endEditing(true) (UIView.cpp) marks its resignation as forced.
void beginForcedResign() { ++forcedResignDepth; }
void endForcedResign() { --forcedResignDepth; }
}  // namespace zvt::ui

std::shared_ptr<UIResponder> UIResponder::currentFirstResponder() { return firstResponder().lock(); }

bool UIResponder::isResigningByForce() { return forcedResignDepth > 0; }

const UIResponder* UIResponder::responderBecomingFirst() { return becoming; }

bool UIResponder::isFirstResponder() const { return firstResponder().lock().get() == this; }

bool UIResponder::becomeFirstResponder() {
  zvt::ui::assertMainThread("UIResponder::becomeFirstResponder");
  if (isFirstResponder()) return true;
  if (!canBecomeFirstResponder() || !mayBecomeFirstResponderNow()) return false;
  if (auto current = currentFirstResponder()) {
    if (!current->canResignFirstResponder()) return false;
    const UIResponder* outer = becoming;
    becoming = this;
    bool resigned = current->resignFirstResponder();
    becoming = outer;
    if (!resigned) return false;
    if (currentFirstResponder() == current) return false;  // it kept the role
  }
  firstResponder() = responderSelf();
  zvt::ui::Keyboard::shared().firstResponderChanged(*this, true);
  return true;
}

bool UIResponder::resignFirstResponder() {
  zvt::ui::assertMainThread("UIResponder::resignFirstResponder");
  if (isFirstResponder()) {
    firstResponder().reset();
    zvt::ui::Keyboard::shared().firstResponderChanged(*this, false);
  }
  return true;
}

void UIResponder::touchesBegan(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) {
  if (auto next = nextResponder()) next->touchesBegan(touches, event);
}
void UIResponder::touchesMoved(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) {
  if (auto next = nextResponder()) next->touchesMoved(touches, event);
}
void UIResponder::touchesEnded(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) {
  if (auto next = nextResponder()) next->touchesEnded(touches, event);
}
void UIResponder::touchesCancelled(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) {
  if (auto next = nextResponder()) next->touchesCancelled(touches, event);
}

std::shared_ptr<NSObject> UIResponder::targetForAction(const SEL& action, const id& sender) const {
  for (auto responder = responderSelf(); responder; responder = responder->nextResponder())
    if (responder->canPerformAction(action, sender)) return responder;
  return nullptr;
}
