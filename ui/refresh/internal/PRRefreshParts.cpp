#include "ui/refresh/internal/PRRefreshParts.h"

#include <algorithm>
#include <cmath>

#include "ui/refresh/PRRefreshComponent.h"

namespace PRRefresh {

namespace {
template <class V, class Make>
std::shared_ptr<V> lazySubview(UIView& host, std::weak_ptr<V>& slot, Make make) {
  auto v = slot.lock();
  if (!v) {
    v = make();
    host.addSubview(v);
    slot = v;
  }
  return v;
}
}  // namespace

// --- StateTitles

std::shared_ptr<UILabel> lazyLabel(UIView& host, std::weak_ptr<UILabel>& slot) {
  return lazySubview(host, slot, [] { return PRRefresh::label(); });
}

std::shared_ptr<UILabel> StateTitles::label(UIView& host) { return lazyLabel(host, label_); }

void StateTitles::setTitle(UIView& host, const std::shared_ptr<NSString>& title, NSInteger state,
                           NSInteger current) {
  if (!title) return;
  titles_[state] = title;
  label(host)->setText(titleForState(current));
}

std::shared_ptr<NSString> StateTitles::titleForState(NSInteger state) const {
  auto it = titles_.find(state);
  return it == titles_.end() ? nullptr : it->second;
}

// --- Indicator

std::shared_ptr<UIImageView> Indicator::arrowView(UIView& host) {
  return lazySubview(host, arrow_, [] { return UIImageView::initWithImage(PRRefresh::arrowImage()); });
}

std::shared_ptr<UIActivityIndicatorView> Indicator::loadingView(UIView& host) {
  return lazySubview(host, loading_, [this] {
    auto v = UIActivityIndicatorView::initWithActivityIndicatorStyle(style_);
    v->setHidesWhenStopped(true);
    return v;
  });
}

void Indicator::setStyle(UIView& host, UIActivityIndicatorViewStyle style) {
  style_ = style;
  loading_.reset();
  host.setNeedsLayout();
}

namespace {
CGPoint indicatorCenter(const UIView& host, bool besideText) {
  CGFloat centerX = host.bounds().size.width * 0.5;
  if (besideText) centerX -= PRRefreshIndicatorOffset;
  return CGPointMake(centerX, host.bounds().size.height * 0.5);
}
}  // namespace

void Indicator::place(UIView& host, bool besideText) {
  CGPoint center = indicatorCenter(host, besideText);
  auto arrow = arrowView(host);
  if (!PRRefresh::hasOwnConstraints(arrow)) {
    if (auto image = arrow->image()) arrow->setBounds(CGRectMake(0, 0, image->size().width, image->size().height));
    arrow->setCenter(center);
  }
  auto spinner = loadingView(host);
  if (!PRRefresh::hasOwnConstraints(spinner)) spinner->setCenter(center);
}

void Indicator::placeLoadingView(UIView& host, bool besideText) {
  auto spinner = loadingView(host);
  if (!PRRefresh::hasOwnConstraints(spinner)) spinner->setCenter(indicatorCenter(host, besideText));
}

// --- Frames

std::shared_ptr<UIImageView> Frames::gifView(UIView& host) {
  return lazySubview(host, gif_, [] { return UIImageView::make(); });
}

void Frames::setImages(UIView& host, const std::vector<std::shared_ptr<UIImage>>& images, NSTimeInterval duration,
                       NSInteger state) {
  images_[state] = images;
  durations_[state] = duration;
  if (!images.empty() && images[0] && images[0]->size().height > host.frame().size.height)
    setPr_h(host, images[0]->size().height);
}

void Frames::setImages(UIView& host, const std::vector<std::shared_ptr<UIImage>>& images, NSInteger state) {
  setImages(host, images, static_cast<double>(images.size()) * PRRefreshFrameDuration, state);
}

const std::vector<std::shared_ptr<UIImage>>* Frames::imagesForState(NSInteger state) const {
  auto it = images_.find(state);
  return it == images_.end() || it->second.empty() ? nullptr : &it->second;
}

void Frames::place(UIView& host, const std::function<bool()>& besideText) {
  auto gif = gifView(host);
  if (PRRefresh::hasOwnConstraints(gif)) return;
  gif->setFrame(host.bounds());
  if (!besideText()) {
    gif->setContentMode(UIViewContentModeCenter);
  } else {
    gif->setContentMode(UIViewContentModeRight);
    CGRect f = gif->frame();
    f.size.width = host.bounds().size.width * 0.5 - PRRefreshAnimationWidthInset;
    gif->setFrame(f);
  }
}

void Frames::showPercent(UIView& host, CGFloat percent) {
  auto images = imagesForState(PRRefreshStateIdle);
  if (!images) return;
  auto gif = gifView(host);
  gif->stopAnimating();
  double product = static_cast<double>(images->size()) * percent;
  size_t index = product <= 0 ? 0 : static_cast<size_t>(std::floor(product));
  gif->setImage((*images)[std::min(index, images->size() - 1)]);
}

bool Frames::play(UIView& host, NSInteger state, bool unhide) {
  auto images = imagesForState(state);
  if (!images) return false;
  auto gif = gifView(host);
  gif->stopAnimating();
  if (unhide) gif->setHidden(false);
  if (images->size() == 1) {
    gif->setImage(images->front());
  } else {
    std::vector<id> frames(images->begin(), images->end());
    gif->setAnimationImages(NSArray::arrayWithObjects(frames));
    gif->setAnimationDuration(durations_[state]);
    gif->startAnimating();
  }
  return true;
}

}  // namespace PRRefresh
