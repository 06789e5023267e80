#include "platform/uikit/UIScreenEdgePanGestureRecognizer.h"

#include <cmath>

#include "platform/uikit/UIWindow.h"

void UIScreenEdgePanGestureRecognizer::touchesBegan(const std::shared_ptr<NSSet>& touches,
                                                    const std::shared_ptr<UIEvent>& event) {
  UIPanGestureRecognizer::touchesBegan(touches, event);
  if (state() != UIGestureRecognizerStatePossible || startEdge_ != UIRectEdgeNone) return;
  // The first touch decides: it must come down at one of the edges asked for.
  auto touch = trackedTouches().empty() ? nullptr : trackedTouches().front();
  auto window = touch ? touch->window() : nullptr;
  if (!window) {
    setState(UIGestureRecognizerStateFailed);
    return;
  }
  CGPoint p = touch->locationInView(nullptr);
  CGRect b = window->bounds();
  auto near = [&](UIRectEdge edge, bool close) { return (edges_ & edge) && close; };
  if (near(UIRectEdgeLeft, p.x - CGRectGetMinX(b) <= kEdgeWidth))
    startEdge_ = UIRectEdgeLeft;
  else if (near(UIRectEdgeRight, CGRectGetMaxX(b) - p.x <= kEdgeWidth))
    startEdge_ = UIRectEdgeRight;
  else if (near(UIRectEdgeTop, p.y - CGRectGetMinY(b) <= kEdgeWidth))
    startEdge_ = UIRectEdgeTop;
  else if (near(UIRectEdgeBottom, CGRectGetMaxY(b) - p.y <= kEdgeWidth))
    startEdge_ = UIRectEdgeBottom;
  else
    setState(UIGestureRecognizerStateFailed);
}

void UIScreenEdgePanGestureRecognizer::touchesMoved(const std::shared_ptr<NSSet>& touches,
                                                    const std::shared_ptr<UIEvent>& event) {
  if (state() == UIGestureRecognizerStatePossible) {
    // Before it begins, the move must lead away from the edge more than across it.
    CGPoint t = translationInView(nullptr);
    CGFloat along = startEdge_ == UIRectEdgeLeft    ? t.x
                    : startEdge_ == UIRectEdgeRight ? -t.x
                    : startEdge_ == UIRectEdgeTop   ? t.y
                                                    : -t.y;
    CGFloat across = (startEdge_ == UIRectEdgeLeft || startEdge_ == UIRectEdgeRight) ? std::fabs(t.y) : std::fabs(t.x);
    if (std::hypot(t.x, t.y) > kHysteresis && along <= across) {
      setState(UIGestureRecognizerStateFailed);
      return;
    }
  }
  UIPanGestureRecognizer::touchesMoved(touches, event);
}

void UIScreenEdgePanGestureRecognizer::reset() {
  UIPanGestureRecognizer::reset();
  startEdge_ = UIRectEdgeNone;
}
