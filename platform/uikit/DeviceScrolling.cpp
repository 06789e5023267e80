// The device's hand on scroll views: drags, pulls, page swipes and searching by scrolling.
#include <algorithm>
#include <cmath>

#include "platform/uikit/Device.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIKitMainThread.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UICollectionView.h"
#include "platform/uikit/UITableView.h"

namespace zvt::ui {

namespace {

constexpr NSTimeInterval kStep = 1.0 / 60;
constexpr NSTimeInterval kHold = 0.2;

}  // namespace

void Device::dragView(const std::shared_ptr<UIView>& view, CGPoint distance, NSTimeInterval duration,
                      Release release) {
  assertMainThread("Device::dragView");
  CGRect visible = visibleRect(view);
  if (CGRectIsEmpty(visible)) return;
  CGPoint from = CGPointMake(CGRectGetMidX(visible), CGRectGetMidY(visible));
  Finger f = touchDown(from);
  int steps = std::max(1, static_cast<int>(std::lround(duration / kStep)));
  for (int i = 1; i <= steps; ++i) {
    wait(duration / steps);
    CGFloat t = static_cast<CGFloat>(i) / steps;
    touchMove(f, CGPointMake(from.x + distance.x * t, from.y + distance.y * t));
  }
  if (release == Release::Still) wait(kHold);
  touchUp(f);
}

void Device::pullDown(const std::shared_ptr<UIView>& scrollView, CGFloat points) {
  assertMainThread("Device::pullDown");
  CGRect visible = visibleRect(scrollView);
  if (CGRectIsEmpty(visible)) return;
  CGPoint from = CGPointMake(CGRectGetMidX(visible), visible.origin.y + std::min<CGFloat>(40, visible.size.height / 4));
  Finger f = touchDown(from);
  NSTimeInterval duration = std::max(0.3, points / 400.0);
  int steps = std::max(1, static_cast<int>(std::lround(duration / kStep)));
  for (int i = 1; i <= steps; ++i) {
    wait(duration / steps);
    touchMove(f, CGPointMake(from.x, from.y + points * i / steps));
  }
  wait(kHold);
  touchUp(f);
}

void Device::waitUntilStill(const std::shared_ptr<UIScrollView>& scrollView, NSTimeInterval limit) {
  assertMainThread("Device::waitUntilStill");
  for (NSTimeInterval waited = 0;
       waited < limit && scrollView && (scrollView->isDragging() || scrollView->isDecelerating());
       waited += kStep)
    wait(kStep);
  settle();
}

void Device::swipePage(const std::shared_ptr<UIScrollView>& scrollView, int direction) {
  if (!scrollView || direction == 0) return;
  CGSize size = visibleRect(scrollView).size;
  bool horizontal = scrollView->canScrollHorizontally();
  CGPoint distance = horizontal ? CGPointMake(-direction * size.width * 0.3, 0)
                                : CGPointMake(0, -direction * size.height * 0.3);
  dragView(scrollView, distance, 0.15, Release::Fling);
  waitUntilStill(scrollView);
}

bool Device::scrollUntilVisible(const std::shared_ptr<UIScrollView>& scrollView, const std::string& text,
                                bool towardsEnd) {
  if (!scrollView) return false;
  auto shown = [&] {
    for (auto& view : viewsWithText(text))
      if (view->isDescendantOfView(scrollView)) return true;
    return false;
  };
  for (int i = 0; i < 500; ++i) {
    if (shown()) return true;
    CGPoint before = scrollView->contentOffset();
    CGSize size = visibleRect(scrollView).size;
    CGFloat sign = towardsEnd ? -1 : 1;
    CGPoint distance = scrollView->canScrollVertically() ? CGPointMake(0, sign * size.height * 0.6)
                                                         : CGPointMake(sign * size.width * 0.6, 0);
    dragView(scrollView, distance, 0.3, Release::Still);
    waitUntilStill(scrollView);
    if (scrollView->contentOffset() == before) return shown();
  }
  return shown();
}

bool Device::tapStatusBar() {
  assertMainThread("Device::tapStatusBar");
  auto window = UIApplication::sharedApplication()->keyWindow();
  if (!window) return false;
  std::shared_ptr<UIScrollView> found;
  int count = 0;
  for (auto& view : visibleViews()) {
    auto scroll = std::dynamic_pointer_cast<UIScrollView>(view);
    if (!scroll || !scroll->scrollsToTop() || scroll->window() != window) continue;
    found = scroll;
    ++count;
  }
  bool scrolled = count == 1 && found->scrollToTopFromStatusBar();
  settle();
  return scrolled;
}

bool Device::bringIntoView(const std::shared_ptr<UIScrollView>& scrollView, const std::function<CGRect()>& rect) {
  for (int i = 0; i < 200; ++i) {
    CGRect target = rect();
    if (CGRectIsEmpty(target)) return false;
    CGRect visible = UIEdgeInsetsInsetRect(scrollView->bounds(), scrollView->contentInset());
    CGPoint move{0, 0};
    if (target.origin.y < visible.origin.y) move.y = target.origin.y - visible.origin.y;
    else if (CGRectGetMaxY(target) > CGRectGetMaxY(visible))
      move.y = std::min(CGRectGetMaxY(target) - CGRectGetMaxY(visible), target.origin.y - visible.origin.y);
    if (target.origin.x < visible.origin.x) move.x = target.origin.x - visible.origin.x;
    else if (CGRectGetMaxX(target) > CGRectGetMaxX(visible))
      move.x = std::min(CGRectGetMaxX(target) - CGRectGetMaxX(visible), target.origin.x - visible.origin.x);
    if (move.x == 0 && move.y == 0) return true;
    // As far as a comfortable stroke goes.
    move.x = std::clamp<CGFloat>(move.x, -visible.size.width * 0.6, visible.size.width * 0.6);
    move.y = std::clamp<CGFloat>(move.y, -visible.size.height * 0.6, visible.size.height * 0.6);
    CGPoint before = scrollView->contentOffset();
    dragView(scrollView, CGPointMake(-move.x, -move.y), 0.3, Release::Still);
    waitUntilStill(scrollView);
    if (scrollView->contentOffset() == before) return false;
  }
  return false;
}

bool Device::tapRow(const std::shared_ptr<UITableView>& tableView, const std::shared_ptr<NSIndexPath>& indexPath) {
  if (!tableView || !indexPath) return false;
  bool shown = bringIntoView(tableView, [&] { return tableView->rectForRowAtIndexPath(indexPath); });
  auto cell = tableView->cellForRowAtIndexPath(indexPath);
  return shown && cell && tapView(cell);
}

bool Device::tapItem(const std::shared_ptr<UICollectionView>& collectionView,
                     const std::shared_ptr<NSIndexPath>& indexPath) {
  if (!collectionView || !indexPath) return false;
  bool shown = bringIntoView(collectionView, [&] {
    auto attributes = collectionView->layoutAttributesForItemAtIndexPath(indexPath);
    return attributes ? attributes->frame() : CGRectNull;
  });
  auto cell = collectionView->cellForItemAtIndexPath(indexPath);
  return shown && cell && tapView(cell);
}

}  // namespace zvt::ui
