#pragma once
// Windows, recording views and targets shared by the UIKit tests.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/graphics/UIScreen.h"
#include "platform/uikit/Device.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIControl.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/UIWindow.h"
#include "tests/support/MainLoop.h"
#include "tests/support/ui/ScreenPictures.h"

// Geometry in failure messages.
inline void PrintTo(const CGRect& r, std::ostream* os) { *os << NSStringFromCGRect(r)->utf8(); }
inline void PrintTo(const CGSize& s, std::ostream* os) { *os << NSStringFromCGSize(s)->utf8(); }
inline void PrintTo(const CGPoint& p, std::ostream* os) { *os << "{" << p.x << ", " << p.y << "}"; }

namespace zvt::uitest {

// A key window on a 320 x 480 screen under a virtual clock, gone at the end of the test (a
// failed test leaves the picture of its screen in the pictures folder).
class Screen {
 public:
  Screen() {
    zvt::ui::Device::useScreen(zvt::ui::kScreen320x480);
    window = UIWindow::make();
    window->makeKeyAndVisible();
    device().settle();
  }
  ~Screen() {
    pictures.writeIfFailed();
    window->endEditing(true);
    if (auto responder = UIResponder::currentFirstResponder()) responder->resignFirstResponder();
    // The keyboard's slide ends within the test.
    zvt::ui::Keyboard::shared().finishSlide();
    device().touchCancelAll();
    window->setHidden(true);
    device().settle();
    zvt::ui::Device::useScreen(zvt::ui::kScreen375x667);
  }
  static zvt::ui::Device& device() { return zvt::ui::Device::shared(); }
  std::shared_ptr<UIView> add(CGRect frame, const std::shared_ptr<UIView>& parent = nullptr) {
    auto view = UIView::initWithFrame(frame);
    (parent ? parent : std::static_pointer_cast<UIView>(window))->addSubview(view);
    return view;
  }
  template <class V>
  std::shared_ptr<V> add(CGRect frame, const std::shared_ptr<UIView>& parent = nullptr) {
    auto view = UIView::makeView<V>(frame);
    (parent ? parent : std::static_pointer_cast<UIView>(window))->addSubview(view);
    return view;
  }

  zvt::test::VirtualClockScope clock;
  std::shared_ptr<UIWindow> window;
  zvt::test::PicturesOnFailure pictures;
};

// A shared log that views, controls and targets write to.
struct Log {
  std::vector<std::string> lines;
  void add(std::string line) { lines.push_back(std::move(line)); }
  std::string joined() const {
    std::string out;
    for (const auto& l : lines) out += (out.empty() ? "" : " ") + l;
    return out;
  }
  void clear() { lines.clear(); }
};

// A view that logs the touches it gets, under its name.
class TouchView : public UIView {
 public:
  std::string name;
  Log* log = nullptr;
  void touchesBegan(const std::shared_ptr<NSSet>&, const std::shared_ptr<UIEvent>&) override { note("began"); }
  void touchesMoved(const std::shared_ptr<NSSet>&, const std::shared_ptr<UIEvent>&) override { note("moved"); }
  void touchesEnded(const std::shared_ptr<NSSet>&, const std::shared_ptr<UIEvent>&) override { note("ended"); }
  void touchesCancelled(const std::shared_ptr<NSSet>&, const std::shared_ptr<UIEvent>&) override { note("cancelled"); }

 private:
  void note(const char* what) {
    if (log) log->add(name + "." + what);
  }
};

// A control whose own action is a tap (as a button's is), logging its events.
class ButtonLike : public UIControl {
 public:
  bool tapsFirst = true;

 protected:
  bool takesTapsBeforeRecognizers() const override { return tapsFirst; }
};

// A target whose actions log their name.
class Target : public UIResponder {
 public:
  explicit Target(Log* l) : log(l) {}
  Log* log;
  std::string name = "target";
  std::shared_ptr<UIResponder> next;
  std::shared_ptr<UIResponder> nextResponder() const override { return next; }
  void tapped(const std::shared_ptr<NSObject>&) { log->add(name + ".tapped"); }
  void pressed() { log->add(name + ".pressed"); }
  void gesture(const std::shared_ptr<UIGestureRecognizer>& r) {
    static const char* names[] = {"possible", "began", "changed", "ended", "cancelled", "failed"};
    log->add(name + "." + names[r->state()]);
  }
};

}  // namespace zvt::uitest
