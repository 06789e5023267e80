#include "platform/uikit/UIEvent.h"

#include <algorithm>

#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/UIWindow.h"

CGPoint UITouch::convert(CGPoint point, const std::shared_ptr<UIView>& view) const {
  auto window = window_.lock();
  if (!view || !window || view == window) return point;
  return window->convertPointToView(point, view);
}

CGPoint UITouch::locationInView(const std::shared_ptr<UIView>& view) const { return convert(location_, view); }

CGPoint UITouch::previousLocationInView(const std::shared_ptr<UIView>& view) const { return convert(previous_, view); }

void UITouch::setLocationInWindow(CGPoint point) {
  previous_ = location_;
  location_ = point;
}

std::vector<std::shared_ptr<UIGestureRecognizer>> UITouch::gestureRecognizers() const {
  std::vector<std::shared_ptr<UIGestureRecognizer>> out;
  for (const auto& weak : recognizers_)
    if (auto r = weak.lock()) out.push_back(std::move(r));
  return out;
}

void UITouch::addGestureRecognizer(const std::shared_ptr<UIGestureRecognizer>& recognizer) {
  recognizers_.push_back(recognizer);
}

void UITouch::removeGestureRecognizer(const UIGestureRecognizer* recognizer) {
  recognizers_.erase(std::remove_if(recognizers_.begin(), recognizers_.end(),
                                    [&](const auto& w) {
                                      auto r = w.lock();
                                      return !r || r.get() == recognizer;
                                    }),
                     recognizers_.end());
}

namespace {

std::shared_ptr<NSSet> touchSet(const std::vector<std::shared_ptr<UITouch>>& touches, const std::function<bool(const UITouch&)>& keep) {
  std::vector<id> objects;
  for (const auto& t : touches)
    if (keep(*t)) objects.push_back(t);
  return NSSet::setWithObjects(std::move(objects));
}

}  // namespace

std::shared_ptr<NSSet> UIEvent::allTouches() const {
  return touchSet(touches_, [](const UITouch&) { return true; });
}

std::shared_ptr<NSSet> UIEvent::touchesForView(const std::shared_ptr<UIView>& view) const {
  return touchSet(touches_, [&](const UITouch& t) { return view && t.view() == view; });
}

std::shared_ptr<NSSet> UIEvent::touchesForWindow(const std::shared_ptr<UIWindow>& window) const {
  return touchSet(touches_, [&](const UITouch& t) { return window && t.window() == window; });
}

std::shared_ptr<NSSet> UIEvent::touchesForGestureRecognizer(const std::shared_ptr<UIGestureRecognizer>& recognizer) const {
  return touchSet(touches_, [&](const UITouch& t) {
    auto list = t.gestureRecognizers();
    return std::find(list.begin(), list.end(), recognizer) != list.end();
  });
}
