#pragma once
// A pan that begins at an edge of the screen (UIScreenEdgePanGestureRecognizer): the touch must
// come down within kEdgeWidth points of one of the edges asked for and move away from it (more
// along the move than across); anything else fails. Navigation controllers use one for their
// interactive pop.

#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UIViewController.h"

class UIScreenEdgePanGestureRecognizer : public UIPanGestureRecognizer {
 public:
  static constexpr CGFloat kEdgeWidth = 20;

  static std::shared_ptr<UIScreenEdgePanGestureRecognizer> initWithTarget(const id& target, const SEL& action) {
    return make<UIScreenEdgePanGestureRecognizer>(target, action);
  }
  UIRectEdge edges() const { return edges_; }
  void setEdges(UIRectEdge edges) { edges_ = edges; }

  void touchesBegan(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override;
  void touchesMoved(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override;
  void reset() override;

 private:
  UIRectEdge edges_ = UIRectEdgeNone;
  UIRectEdge startEdge_ = UIRectEdgeNone;
};
