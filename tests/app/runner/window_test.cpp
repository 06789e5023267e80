// The desktop window in this process, driven through an X server of its own as a person drives
// it: a click gives a text field the focus and GTK's input method types into it (Backspace
// deletes, a character composed in the input method arrives whole), the wheel and a mouse drag
// move the scroll view under the pointer, Ctrl+T switches slow animations. Skipped where Xvfb
// cannot start (a failure in CI).

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "app/runner/DesktopWindow.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSTimer.h"
#include "platform/graphics/UIColor.h"
#include "platform/quartzcore/CALayer.h"
#include "platform/uikit/Device.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UITextField.h"
#include "platform/uikit/UIWindow.h"
#include "tests/support/ui/XvfbDisplay.h"
// Last: X11's macros (None, Status...) stay out of the headers above.
#include "tests/app/runner/Xvfb.h"

namespace {

void key(Display* display, KeySym symbol, bool control = false) {
  const KeyCode ctrl = XKeysymToKeycode(display, XK_Control_L), code = XKeysymToKeycode(display, symbol);
  if (control) XTestFakeKeyEvent(display, ctrl, True, 0);
  XTestFakeKeyEvent(display, code, True, 0);
  XTestFakeKeyEvent(display, code, False, 0);
  if (control) XTestFakeKeyEvent(display, ctrl, False, 0);
  XFlush(display);
}

void click(Display* display, int button) {
  XTestFakeButtonEvent(display, static_cast<unsigned>(button), True, 0);
  XTestFakeButtonEvent(display, static_cast<unsigned>(button), False, 0);
  XFlush(display);
}

}  // namespace

TEST(RunnerWindow, TypingTheWheelDragsAndTheSlowKeyReachTheScreen) {
  // The process's private display: GTK opens a display once per process, so every run of the
  // test (and the web views of the others) uses the same server.
  ZVT_REQUIRE_DISPLAY();
  setenv("GTK_IM_MODULE", "gtk-im-context-simple", 1);  // GTK's own, whatever the machine has
  Display* x = XOpenDisplay(zvt::test::privateDisplay().c_str());
  ASSERT_TRUE(x);
  int argc = 1;
  char name[] = "app_runner_tests";
  char* arguments[] = {name, nullptr};
  char** argv = arguments;
  ASSERT_TRUE(zvt::runner::openDesktop(&argc, &argv));

  auto window = UIWindow::make();
  window->setBackgroundColor(UIColor::whiteColor());
  auto field = UITextField::initWithFrame(CGRectMake(20, 40, 335, 40));
  window->addSubview(field);
  auto scroll = UIView::makeView<UIScrollView>(CGRectMake(0, 100, 375, 300));  // above the keyboard
  scroll->setContentSize(CGSizeMake(375, 3000));
  window->addSubview(scroll);
  window->makeKeyAndVisible();

  // Steps as a person takes them, each once the screen shows what the last one did.
  int left = 0, top = 0;
  CGFloat offset = 0;
  struct Step {
    const char* waitsFor;
    std::function<bool()> ready;
    std::function<void()> act;
  };
  const std::vector<Step> steps = {
      {"the window", [&] {
         Window w = zvt::test::findWindow(x, DefaultRootWindow(x), "Zavelto");
         Window child;
         return w && XTranslateCoordinates(x, w, DefaultRootWindow(x), 0, 0, &left, &top, &child);
       },
       [&] {
         XTestFakeMotionEvent(x, -1, left + 187, top + 60, 0);
         click(x, 1);
       }},
      {"the field's keyboard", [&] { return field->isFirstResponder() && zvt::ui::Keyboard::shared().isShown(); },
       [&] {
         for (KeySym k : {XK_a, XK_b, XK_1, XK_BackSpace}) key(x, k);
         // 中 (U+4E2D) through the input method's own composing: Ctrl+Shift+U, the code, space.
         const KeyCode shift = XKeysymToKeycode(x, XK_Shift_L);
         XTestFakeKeyEvent(x, shift, True, 0);
         key(x, XK_u, true);
         XTestFakeKeyEvent(x, shift, False, 0);
         for (KeySym k : {XK_4, XK_e, XK_2, XK_d, XK_space}) key(x, k);
       }},
      {"the typed text", [&] { return field->text() && field->text()->utf8() == "ab中"; },
       [&] {
         XTestFakeMotionEvent(x, -1, left + 187, top + 250, 0);
         for (int notch = 0; notch < 3; ++notch) click(x, 5);  // the wheel turned down
       }},
      {"the content moved up and the wheel's finger lifted",
       [&] { return scroll->contentOffset().y > 60 && !scroll->isTracking(); },
       [&] {
         offset = scroll->contentOffset().y;
         // The mouse drags the content up by a hundred points.
         XTestFakeMotionEvent(x, -1, left + 187, top + 350, 0);
         XTestFakeButtonEvent(x, 1, True, 0);
         for (int y = 340; y >= 250; y -= 10) XTestFakeMotionEvent(x, -1, left + 187, top + y, 0);
         XTestFakeButtonEvent(x, 1, False, 0);
         XFlush(x);
       }},
      {"the dragged content", [&] { return scroll->contentOffset().y > offset + 60 && !scroll->isTracking(); },
       [&] { key(x, XK_t, true); }},
      {"slow animations", [] { return zvt::ca::animationSlowdown() > 1; }, [] { zvt::runner::closeDesktopWindow(); }},
  };
  size_t next = 0;
  std::shared_ptr<NSTimer> poll, limit;
  const auto started = [&] {
    poll = NSTimer::timerWithTimeInterval(0.02, true, [&](const std::shared_ptr<NSTimer>&) {
      XSync(x, False);
      if (next < steps.size() && steps[next].ready()) steps[next++].act();
    });
    // A step the screen never shows ends the run.
    limit = NSTimer::timerWithTimeInterval(30, false, [](const std::shared_ptr<NSTimer>&) {
      zvt::runner::closeDesktopWindow();
    });
    for (const auto& timer : {poll, limit}) NSRunLoop::mainRunLoop()->addTimer(timer, NSRunLoopCommonModes);
  };
  EXPECT_EQ(zvt::runner::runDesktopWindow(UIApplication::sharedApplication(), started), 0);
  for (const auto& timer : {poll, limit})
    if (timer) timer->invalidate();
  EXPECT_EQ(next, steps.size()) << "waited in vain for " << (next < steps.size() ? steps[next].waitsFor : "");
  EXPECT_EQ(field->text() ? field->text()->utf8() : "", "ab中");
  zvt::ca::setAnimationSlowdown(1);
  window->setHidden(true);
  XCloseDisplay(x);
}
