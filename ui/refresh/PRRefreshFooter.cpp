#include "ui/refresh/PRRefreshFooter.h"

#include "platform/foundation/Dispatch.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UICollectionView.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UITableView.h"

namespace {
// Which footer armed a scroll view's reload hook, so that only that footer disarms it.
const char kReloadOwnerKey = 0;
class ReloadOwner : public NSObject {
 public:
  std::weak_ptr<UIView> footer;
};
}  // namespace

// --- PRRefreshFooter

void PRRefreshFooter::prepare() {
  PRRefreshComponent::prepare();
  setPr_h(*this, PRRefreshFooterHeight);
  automaticallyHidden_ = true;
}

void PRRefreshFooter::willMoveToSuperview(const std::shared_ptr<UIView>& newSuperview) {
  auto previous = scrollView();
  PRRefreshComponent::willMoveToSuperview(newSuperview);
  if (!newSuperview) {
    // A footer taken off its list leaves nothing behind that would still reach it: the reload
    // hook it armed is disarmed and the list is forgotten.
    if (previous) {
      auto owner = zvt::as<ReloadOwner>(previous->associatedObject(&kReloadOwnerKey));
      if (owner && owner->footer.lock().get() == this) {
        setPr_reloadDataBlock(previous, nullptr);
        previous->setAssociatedObject(&kReloadOwnerKey, nullptr);
      }
    }
    scrollView_.reset();
    return;
  }
  auto scrollView = zvt::as<UIScrollView>(newSuperview);
  if (!zvt::isKind<UITableView>(scrollView) && !zvt::isKind<UICollectionView>(scrollView)) return;
  auto self = std::static_pointer_cast<PRRefreshFooter>(component());
  setPr_reloadDataBlock(scrollView, [self](NSInteger totalDataCount) {
    if (self->isAutomaticallyHidden()) self->setHidden(totalDataCount == 0);
  });
  auto owner = std::make_shared<ReloadOwner>();
  owner->footer = self;
  scrollView->setAssociatedObject(&kReloadOwnerKey, owner);
}

// --- PRRefreshAutoFooter

void PRRefreshAutoFooter::prepare() {
  PRRefreshFooter::prepare();
  triggerPercent_ = 1.0;
  automaticallyRefresh_ = true;
}

void PRRefreshAutoFooter::willMoveToSuperview(const std::shared_ptr<UIView>& newSuperview) {
  auto previous = scrollView();
  PRRefreshFooter::willMoveToSuperview(newSuperview);
  if (newSuperview) {
    auto scrollView = this->scrollView();
    if (!scrollView || scrollView != newSuperview) return;
    if (!isHidden()) setPr_insetB(scrollView, pr_insetB(scrollView) + frame().size.height);
    setPr_y(*this, pr_contentH(scrollView));
  } else if (previous && !isHidden()) {
    setPr_insetB(previous, pr_insetB(previous) - frame().size.height);
  }
}

void PRRefreshAutoFooter::scrollViewContentSizeDidChange(CGSize, CGSize) {
  if (auto scrollView = this->scrollView()) setPr_y(*this, pr_contentH(scrollView));
}

void PRRefreshAutoFooter::scrollViewContentOffsetDidChange(CGPoint old, CGPoint now) {
  auto scrollView = this->scrollView();
  if (!scrollView) return;
  if (state() != PRRefreshStateIdle || !automaticallyRefresh_ || frame().origin.y == 0) return;
  UIEdgeInsets inset = scrollView->contentInset();
  CGFloat H = scrollView->contentSize().height, V = scrollView->frame().size.height, F = frame().size.height;
  if (inset.top + H <= V) return;
  if (scrollView->contentOffset().y >= H - V + F * triggerPercent_ + inset.bottom - F && now.y > old.y)
    beginRefreshing();
}

void PRRefreshAutoFooter::scrollViewPanStateDidChange(UIGestureRecognizerState, UIGestureRecognizerState now) {
  auto scrollView = this->scrollView();
  if (!scrollView || state() != PRRefreshStateIdle || now != UIGestureRecognizerStateEnded) return;
  UIEdgeInsets inset = scrollView->contentInset();
  CGFloat y = scrollView->contentOffset().y;
  CGFloat H = scrollView->contentSize().height, V = scrollView->frame().size.height;
  if (inset.top + H <= V) {
    if (y >= -inset.top) beginRefreshing();
  } else if (y >= H + inset.bottom - V) {
    beginRefreshing();
  }
}

void PRRefreshAutoFooter::setHidden(bool hidden) {
  bool was = isHidden();
  PRRefreshFooter::setHidden(hidden);
  auto scrollView = this->scrollView();
  if (!scrollView || was == hidden) return;
  if (hidden) {
    setState(PRRefreshStateIdle);
    setPr_insetB(scrollView, pr_insetB(scrollView) - frame().size.height);
  } else {
    setPr_insetB(scrollView, pr_insetB(scrollView) + frame().size.height);
    setPr_y(*this, pr_contentH(scrollView));
  }
}

void PRRefreshAutoFooter::setState(NSInteger state) {
  if (state == this->state()) return;
  PRRefreshFooter::setState(state);
  if (state != PRRefreshStateRefreshing) return;
  // The callback runs only for the load that is still going on, on the list it began on: not
  // for one ended meanwhile, even when another has begun since (that one calls back itself).
  std::weak_ptr<PRRefreshAutoFooter> weak = std::static_pointer_cast<PRRefreshAutoFooter>(component());
  std::weak_ptr<UIScrollView> list = scrollView();
  const uint64_t refresh = refreshes();
  dispatch_after(dispatch_time(DISPATCH_TIME_NOW, static_cast<int64_t>(PRRefreshAutoFooterDelay * 1e9)),
                 dispatch_get_main_queue(), [weak, list, refresh] {
                   auto self = weak.lock();
                   auto scrollView = list.lock();
                   if (!self || !scrollView || self->state() != PRRefreshStateRefreshing) return;
                   if (self->refreshes() != refresh) return;
                   if (self->scrollView() != scrollView || self->superview() != scrollView) return;
                   self->executeRefreshingCallback();
                 });
}

// --- PRRefreshAutoStateFooter

void PRRefreshAutoStateFooter::stateLabelClick() {
  if (state() == PRRefreshStateIdle) beginRefreshing();
}

void PRRefreshAutoStateFooter::prepare() {
  PRRefreshAutoFooter::prepare();
  setTitle(NSString::stringWithUTF8String("点击或上拉加载更多"), PRRefreshStateIdle);
  setTitle(NSString::stringWithUTF8String("正在加载更多的数据..."), PRRefreshStateRefreshing);
  setTitle(NSString::stringWithUTF8String("已经全部加载完毕"), PRRefreshStateNoMoreData);
  auto label = stateLabel();
  label->setUserInteractionEnabled(true);
  label->addGestureRecognizer(
      UITapGestureRecognizer::initWithTarget(component(), SEL(&PRRefreshAutoStateFooter::stateLabelClick)));
}

void PRRefreshAutoStateFooter::placeSubviews() {
  PRRefreshAutoFooter::placeSubviews();
  auto label = stateLabel();
  if (!PRRefresh::hasOwnConstraints(label)) label->setFrame(bounds());
}

void PRRefreshAutoStateFooter::setState(NSInteger state) {
  if (state == this->state()) return;
  PRRefreshAutoFooter::setState(state);
  if (refreshingTitleHidden_ && state == PRRefreshStateRefreshing) {
    stateLabel()->setText(nullptr);
  } else {
    stateLabel()->setText(titleForState(state));
  }
}

// --- PRRefreshAutoNormalFooter

void PRRefreshAutoNormalFooter::prepare() {
  PRRefreshAutoStateFooter::prepare();
  indicator_.resetStyle();
}

void PRRefreshAutoNormalFooter::placeSubviews() {
  PRRefreshAutoStateFooter::placeSubviews();
  indicator_.placeLoadingView(*this, !isRefreshingTitleHidden());
}

void PRRefreshAutoNormalFooter::setState(NSInteger state) {
  if (state == this->state()) return;
  PRRefreshAutoStateFooter::setState(state);
  if (state == PRRefreshStateIdle || state == PRRefreshStateNoMoreData) {
    loadingView()->stopAnimating();
  } else if (state == PRRefreshStateRefreshing) {
    loadingView()->startAnimating();
  }
}

// --- PRRefreshAutoGifFooter

void PRRefreshAutoGifFooter::placeSubviews() {
  PRRefreshAutoStateFooter::placeSubviews();
  frames_.place(*this, [this] { return !isRefreshingTitleHidden(); });
}

void PRRefreshAutoGifFooter::setState(NSInteger state) {
  if (state == this->state()) return;
  PRRefreshAutoStateFooter::setState(state);
  auto gif = gifView();
  if (state == PRRefreshStateRefreshing) {
    frames_.play(*this, state, true);
  } else if (state == PRRefreshStateIdle || state == PRRefreshStateNoMoreData) {
    gif->stopAnimating();
    gif->setHidden(true);
  }
}

void TZPRRefreshAutoNormalFooter::prepare() {
  PRRefreshAutoNormalFooter::prepare();
  stateLabel()->setFont(UIFont::systemFontOfSize(14));
}
