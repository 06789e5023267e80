#pragma once
// Action messages (SEL) of target-action: a member function of the target's class. The forms
// UIKit sends are a function without arguments, one taking the sender, and one taking the
// sender and the event; the sender is handed over cast to the parameter's class (nil when it is
// not of that class). A target "responds to" a selector when it is of the class the member
// function belongs to; selectors are equal when they name the same member function.

#include <array>
#include <cstring>
#include <functional>
#include <memory>
#include <typeindex>

#include "platform/foundation/NSObject.h"

class UIEvent;

class SEL {
 public:
  SEL() = default;
  SEL(std::nullptr_t) {}

  template <class D, class R>
  SEL(R (D::*method)()) {
    bind<D>(method, [method](D& target, const id&, const std::shared_ptr<UIEvent>&) { (target.*method)(); });
  }
  template <class D, class R, class S>
  SEL(R (D::*method)(const std::shared_ptr<S>&)) {
    bind<D>(method, [method](D& target, const id& sender, const std::shared_ptr<UIEvent>&) {
      (target.*method)(std::dynamic_pointer_cast<S>(sender));
    });
  }
  template <class D, class R, class S>
  SEL(R (D::*method)(const std::shared_ptr<S>&, const std::shared_ptr<UIEvent>&)) {
    bind<D>(method, [method](D& target, const id& sender, const std::shared_ptr<UIEvent>& event) {
      (target.*method)(std::dynamic_pointer_cast<S>(sender), event);
    });
  }

  explicit operator bool() const { return static_cast<bool>(invoke_); }
  bool respondsTo(const NSObject& target) const { return respondsTo_ && respondsTo_(target); }
  // Sends the message; nothing happens when the target does not respond.
  void perform(NSObject& target, const id& sender, const std::shared_ptr<UIEvent>& event) const {
    if (respondsTo(target)) invoke_(target, sender, event);
  }

  friend bool operator==(const SEL& a, const SEL& b) {
    if (!a.invoke_ || !b.invoke_) return !a.invoke_ && !b.invoke_;
    return a.type_ == b.type_ && a.bytes_ == b.bytes_;
  }

 private:
  template <class D, class M, class F>
  void bind(M method, F call) {
    static_assert(sizeof(M) <= sizeof(bytes_));
    std::memcpy(bytes_.data(), &method, sizeof(M));
    type_ = std::type_index(typeid(M));
    respondsTo_ = [](const NSObject& target) { return dynamic_cast<const D*>(&target) != nullptr; };
    invoke_ = [call](NSObject& target, const id& sender, const std::shared_ptr<UIEvent>& event) {
      call(dynamic_cast<D&>(target), sender, event);
    };
  }

  std::type_index type_{typeid(void)};
  std::array<unsigned char, 16> bytes_{};
  std::function<bool(const NSObject&)> respondsTo_;
  std::function<void(NSObject&, const id&, const std::shared_ptr<UIEvent>&)> invoke_;
};
