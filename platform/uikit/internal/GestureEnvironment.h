#pragma once
// Where touches meet gesture recognisers and views (see UIGestureRecognizer.h for the rules).
// Internal to platform/uikit.

#include <memory>
#include <vector>

#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/UIWindow.h"

namespace zvt::ui {

class GestureEnvironment {
 public:
  static GestureEnvironment& shared();

  // Delivers the window's touches of the event.
  void deliver(const std::shared_ptr<UIWindow>& window, const std::shared_ptr<UIEvent>& event);
  // A recogniser asks for a state (UIGestureRecognizer::setState).
  void requestState(UIGestureRecognizer& recognizer, UIGestureRecognizerState state);
  // The recogniser stops receiving the touch.
  void ignore(UIGestureRecognizer& recognizer, const std::shared_ptr<UITouch>& touch);
  // Touches that are down or whose delivery to their view is still held back.
  size_t activeTouchCount() const { return records_.size(); }

 private:
  struct Record {
    std::shared_ptr<UITouch> touch;
    std::shared_ptr<UIView> view;
    std::vector<std::shared_ptr<UIGestureRecognizer>> recognizers;
    std::vector<UITouchPhase> delayed;
    bool viewBeganSent = false;
    bool viewEndSent = false;
    bool viewCancelled = false;
    bool blockedForView = false;
    bool done = false;
  };

  std::shared_ptr<Record> recordFor(const UITouch* touch);
  std::vector<std::shared_ptr<UIGestureRecognizer>> sharingTouches(const UIGestureRecognizer& recognizer) const;
  bool mayBegin(UIGestureRecognizer& recognizer);
  bool simultaneous(UIGestureRecognizer& a, UIGestureRecognizer& b);
  bool waitsFor(UIGestureRecognizer& waiting, UIGestureRecognizer& other);
  void evaluate(UIGestureRecognizer& recognizer);
  void fail(UIGestureRecognizer& recognizer);
  void reevaluatePending();
  bool holds(const Record& record, UITouchPhase phase) const;
  void sendToView(Record& record, UITouchPhase phase, const std::shared_ptr<UIEvent>& event);
  void settle();
  void forget(UIGestureRecognizer& recognizer);

  std::vector<std::shared_ptr<Record>> records_;
  std::vector<std::shared_ptr<UIGestureRecognizer>> involved_;
  std::shared_ptr<UIEvent> lastEvent_;
  int depth_ = 0;
  bool settling_ = false;
};

}  // namespace zvt::ui
