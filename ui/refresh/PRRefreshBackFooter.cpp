#include "ui/refresh/PRRefreshBackFooter.h"

#include <algorithm>
#include <cmath>

#include "platform/uikit/UICollectionView.h"

// --- PRRefreshBackFooter

void PRRefreshBackFooter::willMoveToSuperview(const std::shared_ptr<UIView>& newSuperview) {
  PRRefreshFooter::willMoveToSuperview(newSuperview);
  if (newSuperview && scrollView() == newSuperview) placeBelowContent();
}

void PRRefreshBackFooter::placeBelowContent() {
  auto scrollView = this->scrollView();
  if (!scrollView) return;
  CGFloat contentHeight = pr_contentH(scrollView) + ignoredScrollViewContentInsetBottom();
  CGFloat scrollHeight = scrollView->frame().size.height - scrollViewOriginalInset_.top -
                         scrollViewOriginalInset_.bottom + ignoredScrollViewContentInsetBottom();
  setPr_y(*this, std::max(contentHeight, scrollHeight));
}

void PRRefreshBackFooter::scrollViewContentSizeDidChange(CGSize, CGSize) { placeBelowContent(); }

CGFloat PRRefreshBackFooter::heightForContentBreakView() const {
  auto scrollView = this->scrollView();
  if (!scrollView) return 0;
  CGFloat h = scrollView->frame().size.height - scrollViewOriginalInset_.bottom - scrollViewOriginalInset_.top;
  return pr_contentH(scrollView) - h;
}

CGFloat PRRefreshBackFooter::happenOffsetY() const {
  CGFloat deltaH = heightForContentBreakView();
  return deltaH > 0 ? deltaH - scrollViewOriginalInset_.top : -scrollViewOriginalInset_.top;
}

void PRRefreshBackFooter::scrollViewContentOffsetDidChange(CGPoint, CGPoint) {
  auto scrollView = this->scrollView();
  if (!scrollView || state() == PRRefreshStateRefreshing) return;
  scrollViewOriginalInset_ = scrollView->contentInset();
  CGFloat y = scrollView->contentOffset().y;
  CGFloat happen = happenOffsetY();
  if (y <= happen) return;
  CGFloat F = frame().size.height;
  CGFloat percent = (y - happen) / F;
  if (state() == PRRefreshStateNoMoreData) {
    setPullingPercent(percent);
    return;
  }
  if (scrollView->isDragging()) {
    setPullingPercent(percent);
    CGFloat threshold = happen + F;
    if (state() == PRRefreshStateIdle && y > threshold) {
      setState(PRRefreshStatePulling);
    } else if (state() == PRRefreshStatePulling && y <= threshold) {
      setState(PRRefreshStateIdle);
    }
  } else if (state() == PRRefreshStatePulling) {
    beginRefreshing();
  } else if (percent < 1) {
    setPullingPercent(percent);
  }
}

void PRRefreshBackFooter::setState(NSInteger state) {
  NSInteger old = this->state();
  if (state == old) return;
  PRRefreshFooter::setState(state);
  auto scrollView = this->scrollView();
  if (!scrollView) return;
  auto self = std::static_pointer_cast<PRRefreshBackFooter>(component());
  if ((state == PRRefreshStateIdle || state == PRRefreshStateNoMoreData) && old == PRRefreshStateRefreshing) {
    // A refresh begun while the footer closes keeps the percent its beginning set.
    const uint64_t refresh = refreshes();
    UIView::animateWithDuration(
        PRRefreshSlowAnimationDuration,
        [self, scrollView] {
          setPr_insetB(scrollView, pr_insetB(scrollView) - self->lastBottomDelta_);
          if (self->isAutomaticallyChangeAlpha()) self->setAlpha(0.0);
        },
        [self, refresh](bool) {
          if (self->refreshes() == refresh) self->setPullingPercent(0.0);
        });
    // New rows came in below: stop the deceleration where the content is.
    if (heightForContentBreakView() > 0 && pr_totalDataCount(scrollView) != lastRefreshCount_)
      scrollView->setContentOffset(scrollView->contentOffset(), false);
  } else if (state == PRRefreshStateRefreshing) {
    lastRefreshCount_ = pr_totalDataCount(scrollView);
    UIView::animateWithDuration(
        PRRefreshFastAnimationDuration,
        [self, scrollView] {
          CGFloat F = self->frame().size.height;
          CGFloat bottom = F + self->scrollViewOriginalInset_.bottom;
          CGFloat deltaH = self->heightForContentBreakView();
          if (deltaH < 0) bottom -= deltaH;
          self->lastBottomDelta_ = bottom - pr_insetB(scrollView);
          setPr_insetB(scrollView, bottom);
          CGPoint offset = scrollView->contentOffset();
          offset.y = self->happenOffsetY() + F;
          scrollView->setContentOffset(offset, false);
        },
        [self](bool) { self->executeRefreshingCallback(); });
  }
}

void PRRefreshBackFooter::endRefreshing() {
  if (zvt::isKind<UICollectionView>(scrollView())) {
    endAfterCollectionViewDelay(PRRefreshStateIdle);
    return;
  }
  PRRefreshFooter::endRefreshing();
}

void PRRefreshBackFooter::endRefreshingWithNoMoreData() {
  if (zvt::isKind<UICollectionView>(scrollView())) {
    endAfterCollectionViewDelay(PRRefreshStateNoMoreData);
    return;
  }
  PRRefreshFooter::endRefreshingWithNoMoreData();
}

// --- PRRefreshBackStateFooter

void PRRefreshBackStateFooter::prepare() {
  PRRefreshBackFooter::prepare();
  setTitle(NSString::stringWithUTF8String("上拉可以加载更多"), PRRefreshStateIdle);
  setTitle(NSString::stringWithUTF8String("松开立即加载更多"), PRRefreshStatePulling);
  setTitle(NSString::stringWithUTF8String("正在加载更多的数据..."), PRRefreshStateRefreshing);
  setTitle(NSString::stringWithUTF8String("已经全部加载完毕"), PRRefreshStateNoMoreData);
}

void PRRefreshBackStateFooter::placeSubviews() {
  PRRefreshBackFooter::placeSubviews();
  auto label = stateLabel();
  if (!PRRefresh::hasOwnConstraints(label)) label->setFrame(bounds());
}

void PRRefreshBackStateFooter::setState(NSInteger state) {
  if (state == this->state()) return;
  PRRefreshBackFooter::setState(state);
  stateLabel()->setText(titleForState(state));
}

// --- PRRefreshBackNormalFooter

void PRRefreshBackNormalFooter::prepare() {
  PRRefreshBackStateFooter::prepare();
  indicator_.resetStyle();
}

void PRRefreshBackNormalFooter::placeSubviews() {
  PRRefreshBackStateFooter::placeSubviews();
  indicator_.place(*this, !stateLabel()->isHidden());
}

void PRRefreshBackNormalFooter::setState(NSInteger state) {
  NSInteger old = this->state();
  if (state == old) return;
  PRRefreshBackStateFooter::setState(state);
  auto arrow = arrowView();
  auto spinner = loadingView();
  auto self = std::static_pointer_cast<PRRefreshBackNormalFooter>(component());
  const CGAffineTransform turned = CGAffineTransformMakeRotation(PRRefreshArrowHalfTurn);
  if (state == PRRefreshStateIdle) {
    if (old == PRRefreshStateRefreshing) {
      arrow->setTransform(turned);
      // The spinner fades out for this refresh only: one begun meanwhile keeps it turning.
      const uint64_t refresh = refreshes();
      UIView::animateWithDuration(
          PRRefreshSlowAnimationDuration, [spinner] { spinner->setAlpha(0.0); },
          [self, refresh, spinner, arrow](bool) {
            if (self->refreshes() != refresh) return;
            spinner->setAlpha(1.0);
            spinner->stopAnimating();
            arrow->setHidden(false);
          });
    } else {
      arrow->setHidden(false);
      spinner->stopAnimating();
      UIView::animateWithDuration(PRRefreshFastAnimationDuration, [arrow, turned] { arrow->setTransform(turned); });
    }
  } else if (state == PRRefreshStatePulling) {
    arrow->setHidden(false);
    spinner->stopAnimating();
    UIView::animateWithDuration(PRRefreshFastAnimationDuration,
                                [arrow] { arrow->setTransform(CGAffineTransformIdentity); });
  } else if (state == PRRefreshStateRefreshing) {
    arrow->setHidden(true);
    spinner->setAlpha(1.0);  // it may still be fading out from the refresh before
    spinner->startAnimating();
  } else if (state == PRRefreshStateNoMoreData) {
    arrow->setHidden(true);
    spinner->stopAnimating();
  }
}

// --- PRRefreshBackGifFooter

void PRRefreshBackGifFooter::placeSubviews() {
  PRRefreshBackStateFooter::placeSubviews();
  frames_.place(*this, [this] { return !stateLabel()->isHidden(); });
}

void PRRefreshBackGifFooter::setPullingPercent(CGFloat percent) {
  PRRefreshBackStateFooter::setPullingPercent(percent);
  if (state() == PRRefreshStateIdle) frames_.showPercent(*this, percent);
}

void PRRefreshBackGifFooter::setState(NSInteger state) {
  if (state == this->state()) return;
  PRRefreshBackStateFooter::setState(state);
  auto gif = gifView();
  if (state == PRRefreshStatePulling || state == PRRefreshStateRefreshing) {
    frames_.play(*this, state, true);
  } else if (state == PRRefreshStateIdle) {
    gif->setHidden(false);
  } else if (state == PRRefreshStateNoMoreData) {
    gif->setHidden(true);
  }
}
