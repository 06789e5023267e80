#pragma once
// The base of every pull-to-refresh control (PRRefreshComponent): its state, what it hears of
// its scroll view (offset, content size, the pan recogniser's state), the refreshing callback,
// beginning and ending a refresh, the pulling percent and the automatic fading; the scroll
// view's header and footer slots and the family's shortcuts and constants.
//
// A control attaches itself when it becomes a subview of a UIScrollView (through pr_header or
// pr_footer): it takes the scroll view's width, keeps it weakly, copies its content inset and
// observes it. Subclasses override the hooks. Main thread only.

#include <functional>
#include <memory>

#include "platform/foundation/NSDictionary.h"
#include "platform/uikit/Selector.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIScrollView.h"

enum PRRefreshState : NSInteger {
  PRRefreshStateIdle = 1,
  PRRefreshStatePulling = 2,
  PRRefreshStateRefreshing = 3,
  PRRefreshStateWillRefresh = 4,
  PRRefreshStateNoMoreData = 5,
};

// The family's constants.
inline constexpr CGFloat PRRefreshHeaderHeight = 54.0;
inline constexpr CGFloat PRRefreshFooterHeight = 44.0;
inline constexpr NSTimeInterval PRRefreshFastAnimationDuration = 0.25;
inline constexpr NSTimeInterval PRRefreshSlowAnimationDuration = 0.4;
inline constexpr NSTimeInterval PRRefreshFrameDuration = 0.1;
inline constexpr NSTimeInterval PRRefreshCollectionViewDelay = 0.1;
inline constexpr NSTimeInterval PRRefreshAutoFooterDelay = 0.5;
inline constexpr CGFloat PRRefreshArrowHalfTurn = 0.000001 - M_PI;
inline constexpr CGFloat PRRefreshIndicatorOffset = 100;
inline constexpr CGFloat PRRefreshAnimationWidthInset = 90;
inline const zvt::StaticString PRRefreshHeaderLastUpdatedTimeKey{"PRRefreshHeaderLastUpdatedTimeKey"};

class PRRefreshComponent : public UIView {
 public:
  using Block = std::function<void()>;

  void setUpWithFrame(CGRect frame) override;

  UIEdgeInsets scrollViewOriginalInset() const { return scrollViewOriginalInset_; }
  std::shared_ptr<UIScrollView> scrollView() const { return scrollView_.lock(); }
  bool isAutomaticallyChangeAlpha() const { return automaticallyChangeAlpha_; }
  virtual void setAutomaticallyChangeAlpha(bool change);
  bool isAutoChangeAlpha() const { return isAutomaticallyChangeAlpha(); }
  void setAutoChangeAlpha(bool change) { setAutomaticallyChangeAlpha(change); }
  const Block& refreshingBlock() const { return refreshingBlock_; }
  void setRefreshingBlock(Block block) { refreshingBlock_ = std::move(block); }
  // The action is sent with the control as its argument.
  void setRefreshingTarget(const id& target, const SEL& action);
  NSInteger state() const { return state_; }
  // The base stores the value; subclasses act on the change (an unchanged state does nothing).
  virtual void setState(NSInteger state);
  CGFloat pullingPercent() const { return pullingPercent_; }
  virtual void setPullingPercent(CGFloat percent);
  // The scroll view's pan recogniser while observed.
  const std::shared_ptr<UIPanGestureRecognizer>& pan() const { return pan_; }

  // An end still waiting to show (on a collection view) ends its refresh at once first, so that
  // this refresh begins afresh instead of being closed by it.
  void beginRefreshing();
  virtual void endRefreshing();
  // Refreshing or about to (will refresh).
  bool isRefreshing() const { return state_ == PRRefreshStateRefreshing || state_ == PRRefreshStateWillRefresh; }
  // Runs the block, then sends the action, on the main queue.
  void executeRefreshingCallback();

  // --- hooks
  virtual void prepare();
  virtual void placeSubviews() {}
  virtual void scrollViewContentOffsetDidChange(CGPoint /*old*/, CGPoint /*now*/) {}
  virtual void scrollViewContentSizeDidChange(CGSize /*old*/, CGSize /*now*/) {}
  virtual void scrollViewPanStateDidChange(UIGestureRecognizerState /*old*/, UIGestureRecognizerState /*now*/) {}

  void addObservers();
  void removeObservers();

  void layoutSubviews() override;
  void willMoveToSuperview(const std::shared_ptr<UIView>& newSuperview) override;
  void drawRect(CGRect rect) override;

 protected:
  template <class C>
  static std::shared_ptr<C> makeControl() {
    return UIView::makeView<C>(CGRectZero);
  }
  std::shared_ptr<PRRefreshComponent> component() {
    return std::static_pointer_cast<PRRefreshComponent>(viewSelf());
  }
  // How many refreshes have begun (entries into refreshing or will refresh from another state).
  // A step put off for one refresh compares it when its time comes: a refresh begun since is
  // not that step's to change.
  uint64_t refreshes() const { return refreshes_; }
  // endRefreshing and noticeNoMoreData on a collection view: `state` is set after the
  // collection-view delay on the main queue, unless a refresh has begun by then (beginning takes
  // the waiting end at once). Ends asked twice both apply, the later one last.
  void endAfterCollectionViewDelay(NSInteger state);
  // Sets the state a waiting end asked for, when it is due or taken early.
  virtual void applyDeferredEnd(NSInteger state) { setState(state); }

  UIEdgeInsets scrollViewOriginalInset_{};
  std::weak_ptr<UIScrollView> scrollView_;

 private:
  bool automaticallyChangeAlpha_ = false;
  Block refreshingBlock_;
  std::weak_ptr<NSObject> refreshingTarget_;
  SEL refreshingAction_;
  NSInteger state_ = 0;  // idle once made (setUpWithFrame)
  uint64_t refreshes_ = 0;
  // The state the last end asked on a collection view sets when its delay has passed; cleared
  // when a refresh begins, so that while refreshing it is an end of the refresh going on.
  NSInteger waitingEnd_ = 0;
  CGFloat pullingPercent_ = 0;
  std::shared_ptr<UIPanGestureRecognizer> pan_;
  std::weak_ptr<UIScrollView> observed_;
  // What the scroll view tells (filtered: nothing while the control takes no interaction, only
  // content sizes while it is hidden).
  class Observer;
  std::shared_ptr<zvt::ui::ScrollViewObserver> observer_;
};

class PRRefreshHeader;
class PRRefreshFooter;
class UIImage;

// UIScrollView(PRRefresh). The slots hold the controls weakly (the view tree keeps them).
std::shared_ptr<PRRefreshHeader> pr_header(const std::shared_ptr<UIScrollView>& scrollView);
// Removes the current header and inserts the new one below the other subviews.
void setPr_header(const std::shared_ptr<UIScrollView>& scrollView, const std::shared_ptr<PRRefreshHeader>& header);
std::shared_ptr<PRRefreshFooter> pr_footer(const std::shared_ptr<UIScrollView>& scrollView);
// Removes the current footer and adds the new one on top.
void setPr_footer(const std::shared_ptr<UIScrollView>& scrollView, const std::shared_ptr<PRRefreshFooter>& footer);
// Rows of a table, items of a collection view over all sections; 0 for other scroll views.
NSInteger pr_totalDataCount(const std::shared_ptr<UIScrollView>& scrollView);
// The block every reloadData of a table or collection view calls with the new total.
void setPr_reloadDataBlock(const std::shared_ptr<UIScrollView>& scrollView, UIScrollView::ReloadDataBlock block);

// UIScrollView(PRExtension) and UIView(PRExtension): one component of the inset, offset,
// content size or frame.
CGFloat pr_insetT(const std::shared_ptr<UIScrollView>& s);
void setPr_insetT(const std::shared_ptr<UIScrollView>& s, CGFloat v);
CGFloat pr_insetB(const std::shared_ptr<UIScrollView>& s);
void setPr_insetB(const std::shared_ptr<UIScrollView>& s, CGFloat v);
CGFloat pr_offsetY(const std::shared_ptr<UIScrollView>& s);
void setPr_offsetY(const std::shared_ptr<UIScrollView>& s, CGFloat v);
void setPr_contentH(const std::shared_ptr<UIScrollView>& s, CGFloat v);
CGFloat pr_contentH(const std::shared_ptr<UIScrollView>& s);
CGFloat pr_insetL(const std::shared_ptr<UIScrollView>& s);
void setPr_insetL(const std::shared_ptr<UIScrollView>& s, CGFloat v);
CGFloat pr_insetR(const std::shared_ptr<UIScrollView>& s);
void setPr_insetR(const std::shared_ptr<UIScrollView>& s, CGFloat v);
CGFloat pr_offsetX(const std::shared_ptr<UIScrollView>& s);
void setPr_offsetX(const std::shared_ptr<UIScrollView>& s, CGFloat v);
CGFloat pr_contentW(const std::shared_ptr<UIScrollView>& s);
void setPr_contentW(const std::shared_ptr<UIScrollView>& s, CGFloat v);
CGFloat pr_x(const UIView& v);
void setPr_x(UIView& v, CGFloat x);
CGFloat pr_y(const UIView& v);
void setPr_y(UIView& v, CGFloat y);
CGFloat pr_w(const UIView& v);
void setPr_w(UIView& v, CGFloat w);
CGFloat pr_h(const UIView& v);
void setPr_h(UIView& v, CGFloat h);
CGSize pr_size(const UIView& v);
void setPr_size(UIView& v, CGSize size);
CGPoint pr_origin(const UIView& v);
void setPr_origin(UIView& v, CGPoint origin);

namespace PRRefresh {
// +[UILabel label]: the family's label (bold 14-point text in grey 90/255, centred, as wide as
// its parent, clear background).
std::shared_ptr<UILabel> label();
// Whether the view carries constraints of its own (then the family leaves its frame alone).
bool hasOwnConstraints(const std::shared_ptr<UIView>& view);
// The arrow of the resource bundle "PRRefresh.bundle".
std::shared_ptr<UIImage> arrowImage();
}  // namespace PRRefresh
