#pragma once
// Per-screen navigation bar looks carried through transitions: while a push or pop runs, each
// screen shows its own copy of the bar's background (its transition bar) and the real bar's
// background is hidden, so that two screens with differently styled bars slide with their own
// bars; once a screen has appeared the real bar takes its look again. Installed at the
// controllers' hook points (zvt::ui::installNavigationExtensions).

#include <memory>

#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UINavigationController.h"

// --- UIViewController(NBNavigationBarTransition)
// The screen's temporary bar during a transition, or nil.
std::shared_ptr<UINavigationBar> nb_transitionNavigationBar(const std::shared_ptr<UIViewController>& controller);
void setNb_transitionNavigationBar(const std::shared_ptr<UIViewController>& controller, const std::shared_ptr<UINavigationBar>& bar);
// Whether the real bar's background is hidden for this screen; setting it hides or shows the
// background of the screen's navigation controller's bar.
bool nb_prefersNavigationBarBackgroundViewHidden(const std::shared_ptr<UIViewController>& controller);
void setNb_prefersNavigationBarBackgroundViewHidden(const std::shared_ptr<UIViewController>& controller, bool hidden);
// A new transition bar with the real bar's look, over the screen's view (not when the view is
// out of a window or the screen has no navigation controller).
void nb_addTransitionNavigationBarIfNeeded(const std::shared_ptr<UIViewController>& controller);
// Places the transition bar where the real bar's background lies.
void nb_resizeTransitionNavigationBarFrame(const std::shared_ptr<UIViewController>& controller);

namespace zvt::ui {

// Installs the push, pop, pop-to, pop-to-root, will-layout and did-appear hooks (once).
void installNavigationBarTransition();
// Both groups in the order the program loads them: the back swipe, then the bar transitions.
void installNavigationExtensions();

}  // namespace zvt::ui
