#pragma once
// Responders (UIResponder): objects that receive touches and action messages, linked into a
// chain by nextResponder (a view's is its view controller or superview, a window's the
// application, the application's its delegate when that is a responder). One responder at a
// time is the first responder: the one that receives typing and the actions sent to a nil
// target.

#include <memory>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSSet.h"
#include "platform/uikit/Selector.h"

class UIEvent;

class UIResponder : public NSObject {
 public:
  UIResponder() = default;

  virtual std::shared_ptr<UIResponder> nextResponder() const { return nullptr; }

  // --- first responder
  virtual bool canBecomeFirstResponder() const { return false; }
  // Refused when the class cannot become first responder, when it is a view outside a window,
  // or when the current first responder will not resign. Subclasses call this base first.
  virtual bool becomeFirstResponder();
  virtual bool canResignFirstResponder() const { return true; }
  // Stops being the first responder (subclasses call this base when they agree to resign).
  virtual bool resignFirstResponder();
  virtual bool isFirstResponder() const;
  // The first responder of the application, or nil.
  static std::shared_ptr<UIResponder> currentFirstResponder();
  // True while endEditing(true) makes the first responder resign: a text control then resigns
  // without asking its delegate.
  static bool isResigningByForce();
  // The responder whose becomeFirstResponder is making the current one resign (nil otherwise):
  // the keyboard stays for a key-input responder that takes over.
  static const UIResponder* responderBecomingFirst();

  // --- touches: the base passes them on to the next responder.
  virtual void touchesBegan(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event);
  virtual void touchesMoved(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event);
  virtual void touchesEnded(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event);
  virtual void touchesCancelled(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event);

  // --- nibs: called on every object a nib made, once all of them exist and their outlets are
  // set (UINib.h); the base does nothing.
  virtual void awakeFromNib() {}

  // --- actions
  // Whether this responder handles the action (it responds to the selector).
  virtual bool canPerformAction(const SEL& action, const id& /*sender*/) const { return action.respondsTo(*this); }
  // The first responder from this one up the chain that can perform the action, or nil.
  std::shared_ptr<NSObject> targetForAction(const SEL& action, const id& sender) const;

 protected:
  friend class UIView;
  // The view-specific checks of becomeFirstResponder (a view must be in a window).
  virtual bool mayBecomeFirstResponderNow() const { return true; }
  std::shared_ptr<UIResponder> responderSelf() const {
    return std::const_pointer_cast<UIResponder>(std::static_pointer_cast<const UIResponder>(shared_from_this()));
  }
};

namespace zvt::ui {
// The elements of a set of touches (or of any set) as objects of class T.
template <class T>
std::vector<std::shared_ptr<T>> membersOf(const std::shared_ptr<NSSet>& set) {
  std::vector<std::shared_ptr<T>> out;
  if (!set) return out;
  auto all = set->allObjects();
  for (NSUInteger i = 0; i < all->count(); ++i)
    if (auto t = std::dynamic_pointer_cast<T>(all->objectAtIndex(i))) out.push_back(std::move(t));
  return out;
}
}  // namespace zvt::ui
