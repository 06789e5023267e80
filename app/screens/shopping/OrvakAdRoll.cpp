#include "app/screens/shopping/OrvakAdRoll.h"

#include <cmath>

#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/foundation/NSString.h"
#include "platform/uikit/UIImageView.h"
#include "ui/images/UIImageView+RemoteImage.h"

using zvt::as;

namespace {

constexpr NSTimeInterval kAdvanceInterval = 3.0;

bool boolValueOf(const id& value) {
  if (auto number = as<NSNumber>(value)) return number->boolValue();
  if (auto text = as<NSString>(value)) return text->boolValue();
  return false;
}

}  // namespace

OrvakAdRoll::~OrvakAdRoll() {
  if (scrollTimer_) scrollTimer_->invalidate();
}

void OrvakAdRoll::setUpWithFrame(CGRect frame) {
  UIScrollView::setUpWithFrame(frame);
  setSelf();
}

void OrvakAdRoll::drawRect(CGRect rect) {
  UIScrollView::drawRect(rect);
  setSelf();
}

void OrvakAdRoll::setSelf() {
  setPagingEnabled(true);
  setScrollEnabled(true);
  setDelegate(std::dynamic_pointer_cast<OrvakAdRoll>(shared_from_this()));
  setShowsHorizontalScrollIndicator(false);
  setShowsVerticalScrollIndicator(false);
  setBackgroundColor(UIColor::whiteColor());
}

void OrvakAdRoll::didMoveToSuperview() {
  UIScrollView::didMoveToSuperview();
  if (!superview()) releaseTimer();
}

int OrvakAdRoll::realCount() const { return pics_ ? static_cast<int>(pics_->count()) - 2 : 0; }

void OrvakAdRoll::upDate() {
  if (!pics_ || pics_->count() == 0) return;
  std::vector<id> pages;
  pages.push_back(pics_->lastObject());
  for (NSUInteger i = 0; i < pics_->count(); ++i) pages.push_back(pics_->objectAtIndex(i));
  pages.push_back(pics_->firstObject());
  pics_ = NSArray::arrayWithObjects(pages);

  CGFloat w = bounds().size.width, h = bounds().size.height;
  auto self = std::dynamic_pointer_cast<OrvakAdRoll>(shared_from_this());
  for (size_t i = 0; i < pages.size(); ++i) {
    auto entry = as<NSDictionary>(pages[i]);
    pic_ = UIButton::buttonWithType(UIButtonTypeCustom);
    pic_->setFrame(CGRectMake(static_cast<CGFloat>(i) * w, 0, w, h));
    pic_->setTag(static_cast<NSInteger>(i));
    pic_->addTarget(self, SEL(&OrvakAdRoll::click), UIControlEventTouchUpInside);
    addSubview(pic_);
    auto imageView = UIImageView::initWithFrame(CGRectMake(0, 0, w, h));
    imageView->setContentMode(UIViewContentModeScaleAspectFill);
    imageView->setClipsToBounds(true);
    pic_->addSubview(imageView);
    if (!entry) continue;
    id picture = entry->objectForKey("pic"_ns);
    if (boolValueOf(entry->objectForKey("isLoc"_ns))) {
      imageView->setImage(as<UIImage>(picture));
    } else if (auto text = as<NSString>(picture)) {
      wi_setImageWithURL(imageView, NSURL::URLWithString(text), as<UIImage>(entry->objectForKey("placeholderImage"_ns)));
    } else {
      imageView->setImage(as<UIImage>(entry->objectForKey("placeholderImage"_ns)));
    }
  }
  setContentSize(CGSizeMake(w * static_cast<CGFloat>(pages.size()), h));
  setContentOffset(CGPointMake(w, 0), false);

  releaseTimer();
  if (pages.size() >= 4) scrollTimer_ = makeTimer(true);
}

std::shared_ptr<NSTimer> OrvakAdRoll::makeTimer(bool scheduled) {
  std::weak_ptr<OrvakAdRoll> weak = std::dynamic_pointer_cast<OrvakAdRoll>(shared_from_this());
  auto fire = [weak](const std::shared_ptr<NSTimer>& timer) {
    if (auto roll = weak.lock()) {
      roll->scrollTopic();
    } else {
      timer->invalidate();
    }
  };
  return scheduled ? NSTimer::scheduledTimerWithTimeInterval(kAdvanceInterval, true, fire)
                   : NSTimer::timerWithTimeInterval(kAdvanceInterval, true, fire);
}

void OrvakAdRoll::click(const std::shared_ptr<UIButton>& sender) {
  auto delegate = delegate_.lock();
  if (!delegate || !sender || !pics_) return;
  NSInteger tag = sender->tag();
  if (tag < 0 || static_cast<NSUInteger>(tag) >= pics_->count()) return;
  delegate->didClick(as<NSDictionary>(pics_->objectAtIndex(static_cast<NSUInteger>(tag))));
}

void OrvakAdRoll::releaseTimer() {
  if (scrollTimer_) scrollTimer_->invalidate();
  scrollTimer_ = nullptr;
}

void OrvakAdRoll::scrollTopic() {
  CGFloat w = bounds().size.width;
  setContentOffset(CGPointMake(w * scrollTopicFlag_, 0), true);
  if (scrollTopicFlag_ > realCount() + 2) {
    scrollTopicFlag_ = 1;
  } else {
    ++scrollTopicFlag_;
  }
}

void OrvakAdRoll::scrollViewDidScroll(const std::shared_ptr<UIScrollView>&) {
  CGFloat w = bounds().size.width;
  if (w <= 0 || !pics_) return;
  int n = realCount();
  CGFloat x = contentOffset().x;
  if (x == w) flag_ = true;
  if (flag_) {
    if (x <= 0) {
      setContentOffset(CGPointMake(w * n, 0), false);
    } else if (x >= w * (n + 1)) {
      setContentOffset(CGPointMake(w, 0), false);
    }
  }
  // After a jump the page in view is the real one it jumped to.
  x = contentOffset().x;
  currentPage_ = static_cast<int>(std::trunc(x / w - 1));
  if (auto delegate = delegate_.lock()) delegate->currentPage(currentPage_, n);
  scrollTopicFlag_ = currentPage_ + 2;
}

void OrvakAdRoll::scrollViewWillBeginDragging(const std::shared_ptr<UIScrollView>&) { releaseTimer(); }

void OrvakAdRoll::scrollViewDidEndDragging(const std::shared_ptr<UIScrollView>&, bool) {
  releaseTimer();
  scrollTimer_ = makeTimer(true);
  NSRunLoop::currentRunLoop()->addTimer(scrollTimer_, NSRunLoopCommonModes);
}
