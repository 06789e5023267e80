#include "ui/refresh/PRRefreshHeader.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSCalendar.h"
#include "platform/foundation/NSDateFormatter.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UICollectionView.h"

// --- PRRefreshHeader

void PRRefreshHeader::prepare() {
  PRRefreshComponent::prepare();
  lastUpdatedTimeKey_ = PRRefreshHeaderLastUpdatedTimeKey;
  setPr_h(*this, PRRefreshHeaderHeight);
}

void PRRefreshHeader::setLastUpdatedTimeKey(const std::shared_ptr<NSString>& key) {
  lastUpdatedTimeKey_ = key ? NSString::stringWithString(key) : nullptr;
}

void PRRefreshHeader::placeSubviews() {
  PRRefreshComponent::placeSubviews();
  setPr_y(*this, -frame().size.height - ignoredScrollViewContentInsetTop_);
}

std::shared_ptr<NSDate> PRRefreshHeader::lastUpdatedTime() const {
  if (!lastUpdatedTimeKey_) return nullptr;
  return zvt::as<NSDate>(NSUserDefaults::standardUserDefaults()->objectForKey(lastUpdatedTimeKey_));
}

void PRRefreshHeader::scrollViewContentOffsetDidChange(CGPoint, CGPoint) {
  auto scrollView = this->scrollView();
  if (!scrollView) return;
  CGFloat h = frame().size.height;
  if (state() == PRRefreshStateRefreshing) {
    if (!window()) return;
    // The open header stays fully in view while the list scrolls, never more.
    CGFloat y = scrollView->contentOffset().y;
    CGFloat insetT = -y > scrollViewOriginalInset_.top ? -y : scrollViewOriginalInset_.top;
    insetT = std::min(insetT, h + scrollViewOriginalInset_.top);
    setPr_insetT(scrollView, insetT);
    insetTDelta_ = scrollViewOriginalInset_.top - insetT;
    return;
  }
  scrollViewOriginalInset_ = scrollView->contentInset();
  CGFloat offsetY = scrollView->contentOffset().y;
  CGFloat happenOffsetY = -scrollViewOriginalInset_.top;
  if (offsetY > happenOffsetY) return;
  CGFloat threshold = happenOffsetY - h;
  CGFloat percent = (happenOffsetY - offsetY) / h;
  if (scrollView->isDragging()) {
    setPullingPercent(percent);
    if (state() == PRRefreshStateIdle && offsetY < threshold) {
      setState(PRRefreshStatePulling);
    } else if (state() == PRRefreshStatePulling && offsetY >= threshold) {
      setState(PRRefreshStateIdle);
    }
  } else if (state() == PRRefreshStatePulling) {
    beginRefreshing();
  } else if (percent < 1) {
    setPullingPercent(percent);
  }
}

void PRRefreshHeader::setState(NSInteger state) {
  NSInteger old = this->state();
  if (state == old) return;
  PRRefreshComponent::setState(state);
  auto scrollView = this->scrollView();
  auto self = std::static_pointer_cast<PRRefreshHeader>(component());
  if (state == PRRefreshStateIdle) {
    if (old != PRRefreshStateRefreshing) return;
    auto defaults = NSUserDefaults::standardUserDefaults();
    if (lastUpdatedTimeKey_) {
      defaults->setObject(NSDate::date(), lastUpdatedTimeKey_);
      defaults->synchronize();
    }
    // A refresh begun while the header closes keeps the percent its beginning set.
    const uint64_t refresh = refreshes();
    UIView::animateWithDuration(
        PRRefreshSlowAnimationDuration,
        [self, scrollView] {
          if (scrollView) setPr_insetT(scrollView, pr_insetT(scrollView) + self->insetTDelta_);
          if (self->isAutomaticallyChangeAlpha()) self->setAlpha(0.0);
        },
        [self, refresh](bool) {
          if (self->refreshes() == refresh) self->setPullingPercent(0.0);
        });
  } else if (state == PRRefreshStateRefreshing) {
    UIView::animateWithDuration(
        PRRefreshFastAnimationDuration,
        [self, scrollView] {
          if (!scrollView) return;
          CGFloat top = self->scrollViewOriginalInset_.top + self->frame().size.height;
          setPr_insetT(scrollView, top);
          CGPoint offset = scrollView->contentOffset();
          offset.y = -top;
          scrollView->setContentOffset(offset, false);
        },
        [self](bool) { self->executeRefreshingCallback(); });
  }
}

void PRRefreshHeader::endRefreshing() {
  // Ends a refresh, never a pull still under the finger (it ends as the finger leaves).
  if (state() == PRRefreshStatePulling) return;
  if (zvt::isKind<UICollectionView>(scrollView())) {
    endAfterCollectionViewDelay(PRRefreshStateIdle);
    return;
  }
  setState(PRRefreshStateIdle);
}

void PRRefreshHeader::applyDeferredEnd(NSInteger state) {
  if (this->state() != PRRefreshStatePulling) setState(state);
}

// --- PRRefreshStateHeader

void PRRefreshStateHeader::setLastUpdatedTimeKey(const std::shared_ptr<NSString>& key) {
  PRRefreshHeader::setLastUpdatedTimeKey(key);
  auto label = lastUpdatedTimeLabel();
  if (label->isHidden()) return;
  auto date = lastUpdatedTime();
  if (lastUpdatedTimeText_) {
    label->setText(lastUpdatedTimeText_(date));
    return;
  }
  if (!date) {
    label->setText(NSString::stringWithUTF8String("最后更新：无记录"));
    return;
  }
  auto calendar = NSCalendar::calendarWithIdentifier(NSCalendarIdentifierGregorian);
  if (!calendar) calendar = NSCalendar::currentCalendar();
  NSCalendarUnit units = NSCalendarUnitYear | NSCalendarUnitMonth | NSCalendarUnitDay | NSCalendarUnitHour |
                         NSCalendarUnitMinute;
  auto then = calendar->components(units, date);
  auto now = calendar->components(units, NSDate::date());
  auto formatter = NSDateFormatter::make();
  bool thisYear = then->year() == now->year();
  if (thisYear && then->month() == now->month() && then->day() == now->day()) {
    formatter->setDateFormat(NSString::stringWithUTF8String("今天 HH:mm"));
  } else if (thisYear) {
    formatter->setDateFormat("MM-dd HH:mm"_ns);
  } else {
    formatter->setDateFormat("yyyy-MM-dd HH:mm"_ns);
  }
  label->setText(NSString::stringWithFormat("最后更新：%@", formatter->stringFromDate(date)));
}

void PRRefreshStateHeader::prepare() {
  PRRefreshHeader::prepare();
  setTitle(NSString::stringWithUTF8String("下拉可以刷新"), PRRefreshStateIdle);
  setTitle(NSString::stringWithUTF8String("松开立即刷新"), PRRefreshStatePulling);
  setTitle(NSString::stringWithUTF8String("正在刷新数据中..."), PRRefreshStateRefreshing);
}

void PRRefreshStateHeader::placeSubviews() {
  PRRefreshHeader::placeSubviews();
  auto state = stateLabel();
  if (state->isHidden()) return;
  auto time = lastUpdatedTimeLabel();
  CGRect b = bounds();
  if (time->isHidden()) {
    if (!PRRefresh::hasOwnConstraints(state)) state->setFrame(b);
    return;
  }
  CGFloat half = b.size.height * 0.5;
  if (!PRRefresh::hasOwnConstraints(state)) state->setFrame(CGRectMake(0, 0, b.size.width, half));
  if (!PRRefresh::hasOwnConstraints(time)) time->setFrame(CGRectMake(0, half, b.size.width, b.size.height - half));
}

void PRRefreshStateHeader::setState(NSInteger state) {
  if (state == this->state()) return;
  PRRefreshHeader::setState(state);
  auto title = titleForState(state);
  stateLabel()->setText(title ? title : NSString::string());
  setLastUpdatedTimeKey(lastUpdatedTimeKey());
}

// --- PRRefreshNormalHeader

void PRRefreshNormalHeader::prepare() {
  PRRefreshStateHeader::prepare();
  indicator_.resetStyle();
}

void PRRefreshNormalHeader::placeSubviews() {
  PRRefreshStateHeader::placeSubviews();
  indicator_.place(*this, !stateLabel()->isHidden());
}

void PRRefreshNormalHeader::setState(NSInteger state) {
  NSInteger old = this->state();
  if (state == old) return;
  PRRefreshStateHeader::setState(state);
  auto arrow = arrowView();
  auto spinner = loadingView();
  auto self = std::static_pointer_cast<PRRefreshNormalHeader>(component());
  if (state == PRRefreshStateIdle) {
    if (old == PRRefreshStateRefreshing) {
      arrow->setTransform(CGAffineTransformIdentity);
      UIView::animateWithDuration(
          PRRefreshSlowAnimationDuration, [spinner] { spinner->setAlpha(0.0); },
          [self, spinner, arrow](bool) {
            if (self->state() != PRRefreshStateIdle) return;
            spinner->setAlpha(1.0);
            spinner->stopAnimating();
            arrow->setHidden(false);
          });
    } else {
      spinner->stopAnimating();
      arrow->setHidden(false);
      UIView::animateWithDuration(PRRefreshFastAnimationDuration,
                                  [arrow] { arrow->setTransform(CGAffineTransformIdentity); });
    }
  } else if (state == PRRefreshStatePulling) {
    spinner->stopAnimating();
    arrow->setHidden(false);
    UIView::animateWithDuration(PRRefreshFastAnimationDuration, [arrow] {
      arrow->setTransform(CGAffineTransformMakeRotation(PRRefreshArrowHalfTurn));
    });
  } else if (state == PRRefreshStateRefreshing) {
    spinner->setAlpha(1.0);
    spinner->startAnimating();
    arrow->setHidden(true);
  }
}

// --- PRRefreshGifHeader

void PRRefreshGifHeader::placeSubviews() {
  PRRefreshStateHeader::placeSubviews();
  frames_.place(*this, [this] { return !(stateLabel()->isHidden() && lastUpdatedTimeLabel()->isHidden()); });
}

void PRRefreshGifHeader::setPullingPercent(CGFloat percent) {
  PRRefreshStateHeader::setPullingPercent(percent);
  if (state() == PRRefreshStateIdle) frames_.showPercent(*this, percent);
}

void PRRefreshGifHeader::setState(NSInteger state) {
  if (state == this->state()) return;
  PRRefreshStateHeader::setState(state);
  auto gif = gifView();
  if (state == PRRefreshStatePulling || state == PRRefreshStateRefreshing) {
    frames_.play(*this, state, false);
  } else if (state == PRRefreshStateIdle) {
    gif->stopAnimating();
  }
}

// --- the application's headers

void TZPRRefreshNormalHeader::prepare() {
  PRRefreshNormalHeader::prepare();
  lastUpdatedTimeLabel()->setHidden(true);
  stateLabel()->setFont(UIFont::systemFontOfSize(14));
}

void TZPRRefreshGifHeader::prepare() {
  PRRefreshGifHeader::prepare();
  lastUpdatedTimeLabel()->setHidden(true);
  stateLabel()->setHidden(true);
  auto frame = [](size_t i) {
    return UIImage::imageNamed(NSString::stringWithFormat("dropdown_anim__000%zd", i));
  };
  std::vector<std::shared_ptr<UIImage>> idle, refreshing;
  for (size_t i = 0; i <= 33; ++i)
    if (auto image = frame(i)) idle.push_back(image);
  for (size_t i = 1; i <= 33; ++i)
    if (auto image = frame(i)) refreshing.push_back(image);
  setImages(idle, PRRefreshStateIdle);
  if (auto first = frame(0)) setImages({first}, PRRefreshStatePulling);
  setImages(refreshing, 0.6, PRRefreshStateRefreshing);
}
