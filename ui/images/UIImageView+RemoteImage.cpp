#include "ui/images/UIImageView+RemoteImage.h"

#include "platform/foundation/NSDictionary.h"
#include "platform/uikit/NSLayoutConstraint.h"
#include "ui/images/UIView+RemoteImageOperation.h"

namespace {

using ImageView = std::shared_ptr<UIImageView>;
using URL = std::shared_ptr<NSURL>;
using Image = std::shared_ptr<UIImage>;

// What an image view keeps of its remote images.
struct RemoteImageState : NSObject {
  URL imageURL;
  std::shared_ptr<UIActivityIndicatorView> indicator;
  bool showIndicator = false;
  UIActivityIndicatorViewStyle indicatorStyle = UIActivityIndicatorViewStyleWhiteLarge;
};

char kRemoteImageState = 0;

RemoteImageState& stateOf(UIImageView& view) {
  return zvt::images::attached<RemoteImageState>(view, &kRemoteImageState);
}

// Shows an image the view was given (or the placeholder) and asks for layout.
void show(UIImageView& view, const Image& image) {
  view.setImage(image);
  view.setNeedsLayout();
}

}  // namespace

namespace zvt::images {

std::shared_ptr<NSError> nilURLError() {
  return NSError::errorWithDomain(WIWebImageErrorDomain, -1,
                                  NSDictionary::make({{NSLocalizedDescriptionKey, "Trying to load a nil url"_ns}}));
}

void deliverResult(const Image& image, const std::shared_ptr<NSError>& error, WIImageCacheSource cacheType, bool finished,
                   const URL& url, WIImageLoadOptions options, const WIWebImageCompletionBlock& completed,
                   const std::function<void()>& show) {
  if (image && (options & WIImageLoadAvoidAutoSetImage) && completed) {
    completed(image, error, cacheType, url);
    return;
  }
  show();
  // Partial images are shown but not reported.
  if (completed && finished) completed(image, error, cacheType, url);
}

WIWebImageCompletionBlock withoutURL(WIWebImageCompletedBlock completed) {
  if (!completed) return nullptr;
  return [completed](const Image& image, const std::shared_ptr<NSError>& error, WIImageCacheSource cacheType, const URL&) {
    completed(image, error, cacheType);
  };
}

}  // namespace zvt::images

// ---------------------------------------------------------------------- UIImageView(RemoteImage)

void wi_setImageWithURL(const ImageView& view, const URL& url, const Image& placeholder, WIImageLoadOptions options,
                        WIWebImageDownloaderProgressBlock progress, WIWebImageCompletionBlock completed) {
  if (!view) return;
  wi_cancelCurrentImageLoad(view);
  stateOf(*view).imageURL = url;
  std::weak_ptr<UIImageView> weak = view;
  if (!(options & WIImageLoadDelayPlaceholder)) {
    zvt::images::runOnMainAsync([weak, placeholder] {
      if (auto strong = weak.lock()) strong->setImage(placeholder);
    });
  }
  if (!url) {
    zvt::images::runOnMainAsync([weak, completed] {
      if (auto strong = weak.lock()) removeActivityIndicator(strong);
      if (completed) completed(nullptr, zvt::images::nilURLError(), WIImageCacheSourceNone, nullptr);
    });
    return;
  }
  if (stateOf(*view).showIndicator) addActivityIndicator(view);
  auto operation = WIWebImageManager::sharedManager()->downloadImageWithURL(
      url, options, std::move(progress),
      [weak, url, placeholder, options, completed](const Image& image, const std::shared_ptr<NSError>& error,
                                                   WIImageCacheSource cacheType, bool finished, const URL&) {
        auto strong = weak.lock();
        if (!strong) return;
        removeActivityIndicator(strong);
        zvt::images::runOnMainSync([&] {
          auto shown = weak.lock();
          if (!shown) return;
          zvt::images::deliverResult(image, error, cacheType, finished, url, options, completed, [&] {
            if (image) {
              show(*shown, image);
            } else if (options & WIImageLoadDelayPlaceholder) {
              show(*shown, placeholder);
            }
          });
        });
      });
  wi_setImageLoadOperation(view, operation, kUIImageViewImageLoadKey);
}

void wi_setImageWithURL(const ImageView& view, const URL& url) { wi_setImageWithURL(view, url, nullptr, 0, nullptr, nullptr); }

void wi_setImageWithURL(const ImageView& view, const URL& url, const Image& placeholder) {
  wi_setImageWithURL(view, url, placeholder, 0, nullptr, nullptr);
}

void wi_setImageWithURL(const ImageView& view, const URL& url, const Image& placeholder, WIImageLoadOptions options) {
  wi_setImageWithURL(view, url, placeholder, options, nullptr, nullptr);
}

void wi_setImageWithURL(const ImageView& view, const URL& url, WIWebImageCompletionBlock completed) {
  wi_setImageWithURL(view, url, nullptr, 0, nullptr, std::move(completed));
}

void wi_setImageWithURL(const ImageView& view, const URL& url, const Image& placeholder, WIWebImageCompletionBlock completed) {
  wi_setImageWithURL(view, url, placeholder, 0, nullptr, std::move(completed));
}

void wi_setImageWithURL(const ImageView& view, const URL& url, const Image& placeholder, WIImageLoadOptions options,
                        WIWebImageCompletionBlock completed) {
  wi_setImageWithURL(view, url, placeholder, options, nullptr, std::move(completed));
}

void wi_setImageWithPreviousCachedImageWithURL(const ImageView& view, const URL& url, const Image& placeholder,
                                               WIImageLoadOptions options, WIWebImageDownloaderProgressBlock progress,
                                               WIWebImageCompletionBlock completed) {
  auto manager = WIWebImageManager::sharedManager();
  auto cached = manager->imageCache()->imageFromDiskCacheForKey(manager->cacheKeyForURL(url));
  wi_setImageWithURL(view, url, cached ? cached : placeholder, options, std::move(progress), std::move(completed));
}

URL wi_imageURL(const ImageView& view) { return view ? stateOf(*view).imageURL : nullptr; }

void wi_setAnimationImagesWithURLs(const ImageView& view, const std::shared_ptr<NSArray>& urls) {
  if (!view) return;
  wi_cancelCurrentAnimationImagesLoad(view);
  std::weak_ptr<UIImageView> weak = view;
  std::vector<std::shared_ptr<WIWebImageOperation>> operations;
  if (urls) {
    for (const id& item : *urls) {
      auto url = zvt::as<NSURL>(item);
      operations.push_back(WIWebImageManager::sharedManager()->downloadImageWithURL(
          url, 0, nullptr, [weak](const Image& image, const std::shared_ptr<NSError>&, WIImageCacheSource, bool, const URL&) {
            if (!weak.lock()) return;
            zvt::images::runOnMainSync([&] {
              auto shown = weak.lock();
              if (!shown) return;
              shown->stopAnimating();
              if (image) {
                auto frames = shown->animationImages() ? shown->animationImages()->mutableCopy() : NSMutableArray::array();
                frames->addObject(image);
                shown->setAnimationImages(frames);
                shown->setNeedsLayout();
              }
              shown->startAnimating();
            });
          }));
    }
  }
  wi_setImageLoadOperation(view, operations, kUIImageViewAnimationImagesKey);
}

void wi_cancelCurrentImageLoad(const ImageView& view) { wi_cancelImageLoadOperationWithKey(view, kUIImageViewImageLoadKey); }

void wi_cancelCurrentAnimationImagesLoad(const ImageView& view) {
  wi_cancelImageLoadOperationWithKey(view, kUIImageViewAnimationImagesKey);
}

// ------------------------------------------------------------------------ activity indicator

void setShowActivityIndicatorView(const ImageView& view, bool show) {
  if (view) stateOf(*view).showIndicator = show;
}

bool showActivityIndicatorView(const ImageView& view) { return view && stateOf(*view).showIndicator; }

void setIndicatorStyle(const ImageView& view, UIActivityIndicatorViewStyle style) {
  if (view) stateOf(*view).indicatorStyle = style;
}

UIActivityIndicatorViewStyle getIndicatorStyle(const ImageView& view) {
  return view ? stateOf(*view).indicatorStyle : UIActivityIndicatorViewStyleWhiteLarge;
}

std::shared_ptr<UIActivityIndicatorView> activityIndicator(const ImageView& view) {
  return view ? stateOf(*view).indicator : nullptr;
}

void setActivityIndicator(const ImageView& view, const std::shared_ptr<UIActivityIndicatorView>& indicator) {
  if (view) stateOf(*view).indicator = indicator;
}

void addActivityIndicator(const ImageView& view) {
  if (!view) return;
  auto& state = stateOf(*view);
  std::weak_ptr<UIImageView> weak = view;
  if (!state.indicator) {
    state.indicator = UIActivityIndicatorView::initWithActivityIndicatorStyle(state.indicatorStyle);
    state.indicator->setTranslatesAutoresizingMaskIntoConstraints(false);
    auto indicator = state.indicator;
    zvt::images::runOnMainAsync([weak, indicator] {
      auto shown = weak.lock();
      if (!shown) return;
      shown->addSubview(indicator);
      for (auto attribute : {NSLayoutAttributeCenterX, NSLayoutAttributeCenterY}) {
        shown->addConstraint(NSLayoutConstraint::constraintWithItem(indicator, attribute, NSLayoutRelationEqual, shown, attribute, 1, 0));
      }
    });
  }
  auto indicator = state.indicator;
  zvt::images::runOnMainAsync([indicator] { indicator->startAnimating(); });
}

void removeActivityIndicator(const ImageView& view) {
  if (!view) return;
  auto& state = stateOf(*view);
  if (state.indicator) {
    state.indicator->removeFromSuperview();
    state.indicator = nullptr;
  }
}

// -------------------------------------------------------------- UIImageView(HighlightedRemoteImage)

void wi_setHighlightedImageWithURL(const ImageView& view, const URL& url, WIImageLoadOptions options,
                                   WIWebImageDownloaderProgressBlock progress, WIWebImageCompletionBlock completed) {
  if (!view) return;
  wi_cancelCurrentHighlightedImageLoad(view);
  if (!url) {
    zvt::images::runOnMainAsync([completed] {
      if (completed) completed(nullptr, zvt::images::nilURLError(), WIImageCacheSourceNone, nullptr);
    });
    return;
  }
  std::weak_ptr<UIImageView> weak = view;
  auto operation = WIWebImageManager::sharedManager()->downloadImageWithURL(
      url, options, std::move(progress),
      [weak, url, options, completed](const Image& image, const std::shared_ptr<NSError>& error, WIImageCacheSource cacheType,
                                      bool finished, const URL&) {
        if (!weak.lock()) return;
        zvt::images::runOnMainSync([&] {
          auto shown = weak.lock();
          if (!shown) return;
          zvt::images::deliverResult(image, error, cacheType, finished, url, options, completed, [&] {
            if (image) {
              shown->setHighlightedImage(image);
              shown->setNeedsLayout();
            }
          });
        });
      });
  wi_setImageLoadOperation(view, operation, kUIImageViewHighlightedImageKey);
}

void wi_setHighlightedImageWithURL(const ImageView& view, const URL& url) {
  wi_setHighlightedImageWithURL(view, url, 0, nullptr, nullptr);
}

void wi_setHighlightedImageWithURL(const ImageView& view, const URL& url, WIImageLoadOptions options) {
  wi_setHighlightedImageWithURL(view, url, options, nullptr, nullptr);
}

void wi_setHighlightedImageWithURL(const ImageView& view, const URL& url, WIWebImageCompletionBlock completed) {
  wi_setHighlightedImageWithURL(view, url, 0, nullptr, std::move(completed));
}

void wi_setHighlightedImageWithURL(const ImageView& view, const URL& url, WIImageLoadOptions options,
                                   WIWebImageCompletionBlock completed) {
  wi_setHighlightedImageWithURL(view, url, options, nullptr, std::move(completed));
}

void wi_cancelCurrentHighlightedImageLoad(const ImageView& view) {
  wi_cancelImageLoadOperationWithKey(view, kUIImageViewHighlightedImageKey);
}

// ------------------------------------------------------------------------------ older names

using zvt::images::withoutURL;

URL imageURL(const ImageView& view) { return wi_imageURL(view); }
void setImageWithURL(const ImageView& view, const URL& url) { wi_setImageWithURL(view, url); }
void setImageWithURL(const ImageView& view, const URL& url, const Image& placeholder) { wi_setImageWithURL(view, url, placeholder); }
void setImageWithURL(const ImageView& view, const URL& url, const Image& placeholder, WIImageLoadOptions options) {
  wi_setImageWithURL(view, url, placeholder, options);
}
void setImageWithURL(const ImageView& view, const URL& url, WIWebImageCompletedBlock completed) {
  wi_setImageWithURL(view, url, withoutURL(std::move(completed)));
}
void setImageWithURL(const ImageView& view, const URL& url, const Image& placeholder, WIWebImageCompletedBlock completed) {
  wi_setImageWithURL(view, url, placeholder, withoutURL(std::move(completed)));
}
void setImageWithURL(const ImageView& view, const URL& url, const Image& placeholder, WIImageLoadOptions options,
                     WIWebImageCompletedBlock completed) {
  wi_setImageWithURL(view, url, placeholder, options, withoutURL(std::move(completed)));
}
void setImageWithURL(const ImageView& view, const URL& url, const Image& placeholder, WIImageLoadOptions options,
                     WIWebImageDownloaderProgressBlock progress, WIWebImageCompletedBlock completed) {
  wi_setImageWithURL(view, url, placeholder, options, std::move(progress), withoutURL(std::move(completed)));
}
void cancelCurrentArrayLoad(const ImageView& view) { wi_cancelCurrentAnimationImagesLoad(view); }
void cancelCurrentImageLoad(const ImageView& view) { wi_cancelCurrentImageLoad(view); }
void setAnimationImagesWithURLs(const ImageView& view, const std::shared_ptr<NSArray>& urls) {
  wi_setAnimationImagesWithURLs(view, urls);
}
void setHighlightedImageWithURL(const ImageView& view, const URL& url) { wi_setHighlightedImageWithURL(view, url); }
void setHighlightedImageWithURL(const ImageView& view, const URL& url, WIImageLoadOptions options) {
  wi_setHighlightedImageWithURL(view, url, options);
}
void setHighlightedImageWithURL(const ImageView& view, const URL& url, WIWebImageCompletedBlock completed) {
  wi_setHighlightedImageWithURL(view, url, withoutURL(std::move(completed)));
}
void setHighlightedImageWithURL(const ImageView& view, const URL& url, WIImageLoadOptions options,
                                WIWebImageCompletedBlock completed) {
  wi_setHighlightedImageWithURL(view, url, options, withoutURL(std::move(completed)));
}
void setHighlightedImageWithURL(const ImageView& view, const URL& url, WIImageLoadOptions options,
                                WIWebImageDownloaderProgressBlock progress, WIWebImageCompletedBlock completed) {
  wi_setHighlightedImageWithURL(view, url, options, std::move(progress), withoutURL(std::move(completed)));
}
void cancelCurrentHighlightedImageLoad(const ImageView& view) { wi_cancelCurrentHighlightedImageLoad(view); }
