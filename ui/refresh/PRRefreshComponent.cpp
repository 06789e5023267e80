#include "ui/refresh/PRRefreshComponent.h"

#include "platform/foundation/Dispatch.h"
#include "platform/graphics/UIImage.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UITableView.h"
#include "ui/refresh/PRRefreshFooter.h"
#include "ui/refresh/PRRefreshHeader.h"

class PRRefreshComponent::Observer : public zvt::ui::ScrollViewObserver {
 public:
  explicit Observer(const std::shared_ptr<PRRefreshComponent>& owner) : owner_(owner) {}
  void scrollViewContentOffsetDidChange(UIScrollView&, CGPoint old, CGPoint now) override {
    if (auto c = owner_.lock(); c && c->isUserInteractionEnabled() && !c->isHidden())
      c->scrollViewContentOffsetDidChange(old, now);
  }
  void scrollViewContentSizeDidChange(UIScrollView&, CGSize old, CGSize now) override {
    if (auto c = owner_.lock(); c && c->isUserInteractionEnabled()) c->scrollViewContentSizeDidChange(old, now);
  }
  void scrollViewPanStateDidChange(UIScrollView&, UIGestureRecognizerState old, UIGestureRecognizerState now) override {
    if (auto c = owner_.lock(); c && c->isUserInteractionEnabled() && !c->isHidden())
      c->scrollViewPanStateDidChange(old, now);
  }

 private:
  std::weak_ptr<PRRefreshComponent> owner_;
};

void PRRefreshComponent::setUpWithFrame(CGRect frame) {
  UIView::setUpWithFrame(frame);
  prepare();
  setState(PRRefreshStateIdle);
}

void PRRefreshComponent::prepare() {
  setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
  setBackgroundColor(UIColor::clearColor());
  // The control draws (to start a refresh begun off screen) but paints nothing itself: what
  // lies behind it shows through.
  setOpaque(false);
}

void PRRefreshComponent::layoutSubviews() {
  UIView::layoutSubviews();
  placeSubviews();
}

void PRRefreshComponent::willMoveToSuperview(const std::shared_ptr<UIView>& newSuperview) {
  UIView::willMoveToSuperview(newSuperview);
  if (newSuperview && !zvt::isKind<UIScrollView>(newSuperview)) return;
  removeObservers();
  auto scrollView = zvt::as<UIScrollView>(newSuperview);
  if (!scrollView) return;
  CGRect f = frame();
  f.size.width = scrollView->frame().size.width;
  f.origin.x = 0;
  setFrame(f);
  scrollView_ = scrollView;
  scrollView->setAlwaysBounceVertical(true);
  scrollViewOriginalInset_ = scrollView->contentInset();
  addObservers();
}

void PRRefreshComponent::addObservers() {
  auto scrollView = scrollView_.lock();
  if (!scrollView) return;
  if (!observer_) observer_ = std::make_shared<Observer>(component());
  scrollView->addScrollObserver(observer_);
  observed_ = scrollView;
  pan_ = scrollView->panGestureRecognizer();
}

void PRRefreshComponent::removeObservers() {
  if (auto observed = observed_.lock()) observed->removeScrollObserver(observer_);
  observed_.reset();
  pan_.reset();
}

void PRRefreshComponent::drawRect(CGRect) {
  if (state_ == PRRefreshStateWillRefresh) setState(PRRefreshStateRefreshing);
}

void PRRefreshComponent::setRefreshingTarget(const id& target, const SEL& action) {
  refreshingTarget_ = target;
  refreshingAction_ = action;
}

void PRRefreshComponent::setState(NSInteger state) {
  const bool began = !isRefreshing() && (state == PRRefreshStateRefreshing || state == PRRefreshStateWillRefresh);
  state_ = state;
  if (!began) return;
  ++refreshes_;
  // Ends still waiting belong to an earlier refresh.
  waitingEnd_ = 0;
}

void PRRefreshComponent::beginRefreshing() {
  if (waitingEnd_ && isRefreshing()) {
    NSInteger end = waitingEnd_;
    waitingEnd_ = 0;
    applyDeferredEnd(end);
  }
  auto self = component();
  UIView::animateWithDuration(PRRefreshFastAnimationDuration, [self] { self->setAlpha(1.0); });
  setPullingPercent(1.0);
  if (window()) {
    setState(PRRefreshStateRefreshing);
  } else if (state_ != PRRefreshStateRefreshing) {
    setState(PRRefreshStateWillRefresh);
    setNeedsDisplay();
  }
}

void PRRefreshComponent::endRefreshing() { setState(PRRefreshStateIdle); }

void PRRefreshComponent::endAfterCollectionViewDelay(NSInteger state) {
  waitingEnd_ = state;
  const uint64_t refresh = refreshes_;
  auto self = component();
  dispatch_after(dispatch_time(DISPATCH_TIME_NOW, static_cast<int64_t>(PRRefreshCollectionViewDelay * 1e9)),
                 dispatch_get_main_queue(), [self, state, refresh] {
                   // A refresh begun since is not this end's to close.
                   if (self->refreshes_ != refresh) return;
                   self->applyDeferredEnd(state);
                 });
}

void PRRefreshComponent::executeRefreshingCallback() {
  auto self = component();
  dispatch_async(dispatch_get_main_queue(), [self] {
    if (self->refreshingBlock_) self->refreshingBlock_();
    auto target = self->refreshingTarget_.lock();
    if (target && self->refreshingAction_.respondsTo(*target)) self->refreshingAction_.perform(*target, self, nullptr);
  });
}

void PRRefreshComponent::setPullingPercent(CGFloat percent) {
  pullingPercent_ = percent;
  if (isRefreshing()) return;
  if (automaticallyChangeAlpha_) setAlpha(percent);
}

void PRRefreshComponent::setAutomaticallyChangeAlpha(bool change) {
  automaticallyChangeAlpha_ = change;
  if (isRefreshing()) return;
  setAlpha(change ? pullingPercent_ : 1.0);
}

// --- the scroll view's slots

namespace {
const char kHeaderKey = 0;
const char kFooterKey = 0;

// A slot that reads nil once its control has gone.
class WeakSlot : public NSObject {
 public:
  std::weak_ptr<UIView> control;
};

std::shared_ptr<UIView> slot(const std::shared_ptr<UIScrollView>& scrollView, const void* key) {
  if (!scrollView) return nullptr;
  auto s = zvt::as<WeakSlot>(scrollView->associatedObject(key));
  return s ? s->control.lock() : nullptr;
}

void setSlot(const std::shared_ptr<UIScrollView>& scrollView, const void* key, const std::shared_ptr<UIView>& control,
             const char* name, bool below) {
  if (!scrollView) return;
  auto current = slot(scrollView, key);
  if (current == control) return;
  if (current) current->removeFromSuperview();
  if (control) {
    if (below)
      scrollView->insertSubview(control, 0);
    else
      scrollView->addSubview(control);
  }
  scrollView->willChangeValueForKey(name);
  auto s = std::make_shared<WeakSlot>();
  s->control = control;
  scrollView->setAssociatedObject(key, s);
  scrollView->didChangeValueForKey(name);
}
}  // namespace

std::shared_ptr<PRRefreshHeader> pr_header(const std::shared_ptr<UIScrollView>& scrollView) {
  return zvt::as<PRRefreshHeader>(slot(scrollView, &kHeaderKey));
}
void setPr_header(const std::shared_ptr<UIScrollView>& scrollView, const std::shared_ptr<PRRefreshHeader>& header) {
  setSlot(scrollView, &kHeaderKey, header, "pr_header", true);
}
std::shared_ptr<PRRefreshFooter> pr_footer(const std::shared_ptr<UIScrollView>& scrollView) {
  return zvt::as<PRRefreshFooter>(slot(scrollView, &kFooterKey));
}
void setPr_footer(const std::shared_ptr<UIScrollView>& scrollView, const std::shared_ptr<PRRefreshFooter>& footer) {
  setSlot(scrollView, &kFooterKey, footer, "pr_footer", false);
}

NSInteger pr_totalDataCount(const std::shared_ptr<UIScrollView>& scrollView) {
  return scrollView ? scrollView->totalDataCount() : 0;
}

void setPr_reloadDataBlock(const std::shared_ptr<UIScrollView>& scrollView, UIScrollView::ReloadDataBlock block) {
  if (!scrollView) return;
  scrollView->willChangeValueForKey("pr_reloadDataBlock");
  scrollView->setReloadDataBlock(std::move(block));
  scrollView->didChangeValueForKey("pr_reloadDataBlock");
}

CGFloat pr_insetT(const std::shared_ptr<UIScrollView>& s) { return s->contentInset().top; }
void setPr_insetT(const std::shared_ptr<UIScrollView>& s, CGFloat v) {
  auto inset = s->contentInset();
  inset.top = v;
  s->setContentInset(inset);
}
CGFloat pr_insetB(const std::shared_ptr<UIScrollView>& s) { return s->contentInset().bottom; }
void setPr_insetB(const std::shared_ptr<UIScrollView>& s, CGFloat v) {
  auto inset = s->contentInset();
  inset.bottom = v;
  s->setContentInset(inset);
}
CGFloat pr_offsetY(const std::shared_ptr<UIScrollView>& s) { return s->contentOffset().y; }
void setPr_offsetY(const std::shared_ptr<UIScrollView>& s, CGFloat v) {
  auto offset = s->contentOffset();
  offset.y = v;
  s->setContentOffset(offset);
}
CGFloat pr_contentH(const std::shared_ptr<UIScrollView>& s) { return s->contentSize().height; }
void setPr_contentH(const std::shared_ptr<UIScrollView>& s, CGFloat v) {
  auto size = s->contentSize();
  size.height = v;
  s->setContentSize(size);
}
CGFloat pr_insetL(const std::shared_ptr<UIScrollView>& s) { return s->contentInset().left; }
void setPr_insetL(const std::shared_ptr<UIScrollView>& s, CGFloat v) {
  auto inset = s->contentInset();
  inset.left = v;
  s->setContentInset(inset);
}
CGFloat pr_insetR(const std::shared_ptr<UIScrollView>& s) { return s->contentInset().right; }
void setPr_insetR(const std::shared_ptr<UIScrollView>& s, CGFloat v) {
  auto inset = s->contentInset();
  inset.right = v;
  s->setContentInset(inset);
}
CGFloat pr_offsetX(const std::shared_ptr<UIScrollView>& s) { return s->contentOffset().x; }
void setPr_offsetX(const std::shared_ptr<UIScrollView>& s, CGFloat v) {
  auto offset = s->contentOffset();
  offset.x = v;
  s->setContentOffset(offset);
}
CGFloat pr_contentW(const std::shared_ptr<UIScrollView>& s) { return s->contentSize().width; }
void setPr_contentW(const std::shared_ptr<UIScrollView>& s, CGFloat v) {
  auto size = s->contentSize();
  size.width = v;
  s->setContentSize(size);
}

namespace {
template <class F>
void changeFrame(UIView& v, F&& change) {
  CGRect f = v.frame();
  change(f);
  v.setFrame(f);
}
}  // namespace

CGFloat pr_x(const UIView& v) { return v.frame().origin.x; }
void setPr_x(UIView& v, CGFloat x) { changeFrame(v, [x](CGRect& f) { f.origin.x = x; }); }
CGFloat pr_y(const UIView& v) { return v.frame().origin.y; }
void setPr_y(UIView& v, CGFloat y) { changeFrame(v, [y](CGRect& f) { f.origin.y = y; }); }
CGFloat pr_w(const UIView& v) { return v.frame().size.width; }
void setPr_w(UIView& v, CGFloat w) { changeFrame(v, [w](CGRect& f) { f.size.width = w; }); }
CGFloat pr_h(const UIView& v) { return v.frame().size.height; }
void setPr_h(UIView& v, CGFloat h) { changeFrame(v, [h](CGRect& f) { f.size.height = h; }); }
CGSize pr_size(const UIView& v) { return v.frame().size; }
void setPr_size(UIView& v, CGSize size) { changeFrame(v, [size](CGRect& f) { f.size = size; }); }
CGPoint pr_origin(const UIView& v) { return v.frame().origin; }
void setPr_origin(UIView& v, CGPoint origin) { changeFrame(v, [origin](CGRect& f) { f.origin = origin; }); }

namespace PRRefresh {
std::shared_ptr<UILabel> label() {
  auto l = UILabel::make();
  l->setFont(UIFont::boldSystemFontOfSize(14));
  l->setTextColor(UIColor::colorWithRed(90 / 255.0, 90 / 255.0, 90 / 255.0, 1.0));
  l->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
  l->setTextAlignment(NSTextAlignmentCenter);
  l->setBackgroundColor(UIColor::clearColor());
  return l;
}

bool hasOwnConstraints(const std::shared_ptr<UIView>& view) { return view && !view->constraints().empty(); }

std::shared_ptr<UIImage> arrowImage() {
  auto image = UIImage::imageNamed("PRRefresh.bundle/arrow.png"_ns);
  // Where a framework build of the family would keep it.
  static const char* const kFrameworkArrow = "Frameworks/PRRefresh.framework/PRRefresh.bundle/arrow.png";
  if (!image) image = UIImage::imageNamed(NSString::stringWithUTF8String(kFrameworkArrow));
  return image;
}

}  // namespace PRRefresh
