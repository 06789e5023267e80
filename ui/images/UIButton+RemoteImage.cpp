#include "ui/images/UIButton+RemoteImage.h"

#include <map>
#include <string>

#include "ui/images/UIView+RemoteImageOperation.h"

namespace {

using Button = std::shared_ptr<UIButton>;
using URL = std::shared_ptr<NSURL>;
using Image = std::shared_ptr<UIImage>;

// The URL of each state's image, kept with the button.
struct ImageURLs : NSObject {
  std::map<NSUInteger, URL> byState;
};

char kImageURLs = 0;

ImageURLs& urlsOf(UIButton& button) { return zvt::images::attached<ImageURLs>(button, &kImageURLs); }

std::string imageKey(UIControlState state) { return "UIButtonImageOperation" + std::to_string(static_cast<NSUInteger>(state)); }
std::string backgroundKey(UIControlState state) {
  return "UIButtonBackgroundImageOperation" + std::to_string(static_cast<NSUInteger>(state));
}

// One load of a state's image (background or not) into the button.
std::shared_ptr<WIWebImageOperation> load(const Button& button, const URL& url, UIControlState state, WIImageLoadOptions options,
                                          WIWebImageCompletionBlock completed, bool background) {
  std::weak_ptr<UIButton> weak = button;
  return WIWebImageManager::sharedManager()->downloadImageWithURL(
      url, options, nullptr,
      [weak, url, state, options, completed, background](const Image& image, const std::shared_ptr<NSError>& error,
                                                         WIImageCacheSource cacheType, bool finished, const URL&) {
        if (!weak.lock()) return;
        zvt::images::runOnMainSync([&] {
          auto shown = weak.lock();
          if (!shown) return;
          zvt::images::deliverResult(image, error, cacheType, finished, url, options, completed, [&] {
            if (image) background ? shown->setBackgroundImage(image, state) : shown->setImage(image, state);
          });
        });
      });
}

void answerNilURL(const WIWebImageCompletionBlock& completed) {
  zvt::images::runOnMainAsync([completed] {
    if (completed) completed(nullptr, zvt::images::nilURLError(), WIImageCacheSourceNone, nullptr);
  });
}

}  // namespace

URL wi_currentImageURL(const Button& button) {
  if (!button) return nullptr;
  auto& byState = urlsOf(*button).byState;
  auto found = byState.find(static_cast<NSUInteger>(button->state()));
  if (found == byState.end()) found = byState.find(UIControlStateNormal);
  return found == byState.end() ? nullptr : found->second;
}

URL wi_imageURLForState(const Button& button, UIControlState state) {
  if (!button) return nullptr;
  auto& byState = urlsOf(*button).byState;
  auto found = byState.find(static_cast<NSUInteger>(state));
  return found == byState.end() ? nullptr : found->second;
}

void wi_setImageWithURL(const Button& button, const URL& url, UIControlState state, const Image& placeholder,
                        WIImageLoadOptions options, WIWebImageCompletionBlock completed) {
  if (!button) return;
  button->setImage(placeholder, state);
  wi_cancelImageLoadForState(button, state);
  if (!url) {
    urlsOf(*button).byState.erase(static_cast<NSUInteger>(state));
    answerNilURL(completed);
    return;
  }
  urlsOf(*button).byState[static_cast<NSUInteger>(state)] = url;
  wi_setImageLoadOperation(button, load(button, url, state, options, std::move(completed), false), state);
}

void wi_setBackgroundImageWithURL(const Button& button, const URL& url, UIControlState state, const Image& placeholder,
                                  WIImageLoadOptions options, WIWebImageCompletionBlock completed) {
  if (!button) return;
  wi_cancelBackgroundImageLoadForState(button, state);
  button->setBackgroundImage(placeholder, state);
  if (!url) {
    answerNilURL(completed);
    return;
  }
  wi_setBackgroundImageLoadOperation(button, load(button, url, state, options, std::move(completed), true), state);
}

void wi_setImageWithURL(const Button& b, const URL& url, UIControlState s) { wi_setImageWithURL(b, url, s, nullptr, 0, nullptr); }
void wi_setImageWithURL(const Button& b, const URL& url, UIControlState s, const Image& p) {
  wi_setImageWithURL(b, url, s, p, 0, nullptr);
}
void wi_setImageWithURL(const Button& b, const URL& url, UIControlState s, const Image& p, WIImageLoadOptions o) {
  wi_setImageWithURL(b, url, s, p, o, nullptr);
}
void wi_setImageWithURL(const Button& b, const URL& url, UIControlState s, WIWebImageCompletionBlock c) {
  wi_setImageWithURL(b, url, s, nullptr, 0, std::move(c));
}
void wi_setImageWithURL(const Button& b, const URL& url, UIControlState s, const Image& p, WIWebImageCompletionBlock c) {
  wi_setImageWithURL(b, url, s, p, 0, std::move(c));
}

void wi_setBackgroundImageWithURL(const Button& b, const URL& url, UIControlState s) {
  wi_setBackgroundImageWithURL(b, url, s, nullptr, 0, nullptr);
}
void wi_setBackgroundImageWithURL(const Button& b, const URL& url, UIControlState s, const Image& p) {
  wi_setBackgroundImageWithURL(b, url, s, p, 0, nullptr);
}
void wi_setBackgroundImageWithURL(const Button& b, const URL& url, UIControlState s, const Image& p, WIImageLoadOptions o) {
  wi_setBackgroundImageWithURL(b, url, s, p, o, nullptr);
}
void wi_setBackgroundImageWithURL(const Button& b, const URL& url, UIControlState s, WIWebImageCompletionBlock c) {
  wi_setBackgroundImageWithURL(b, url, s, nullptr, 0, std::move(c));
}
void wi_setBackgroundImageWithURL(const Button& b, const URL& url, UIControlState s, const Image& p, WIWebImageCompletionBlock c) {
  wi_setBackgroundImageWithURL(b, url, s, p, 0, std::move(c));
}

void wi_setImageLoadOperation(const Button& button, const std::shared_ptr<WIWebImageOperation>& operation, UIControlState state) {
  wi_setImageLoadOperation(std::static_pointer_cast<UIView>(button), operation, imageKey(state));
}

void wi_cancelImageLoadForState(const Button& button, UIControlState state) {
  wi_cancelImageLoadOperationWithKey(button, imageKey(state));
}

void wi_setBackgroundImageLoadOperation(const Button& button, const std::shared_ptr<WIWebImageOperation>& operation,
                                        UIControlState state) {
  wi_setImageLoadOperation(std::static_pointer_cast<UIView>(button), operation, backgroundKey(state));
}

void wi_cancelBackgroundImageLoadForState(const Button& button, UIControlState state) {
  wi_cancelImageLoadOperationWithKey(button, backgroundKey(state));
}

// ------------------------------------------------------------------------------ older names

using zvt::images::withoutURL;

URL currentImageURL(const Button& b) { return wi_currentImageURL(b); }
URL imageURLForState(const Button& b, UIControlState s) { return wi_imageURLForState(b, s); }
void setImageWithURL(const Button& b, const URL& url, UIControlState s) { wi_setImageWithURL(b, url, s); }
void setImageWithURL(const Button& b, const URL& url, UIControlState s, const Image& p) { wi_setImageWithURL(b, url, s, p); }
void setImageWithURL(const Button& b, const URL& url, UIControlState s, const Image& p, WIImageLoadOptions o) {
  wi_setImageWithURL(b, url, s, p, o);
}
void setImageWithURL(const Button& b, const URL& url, UIControlState s, WIWebImageCompletedBlock c) {
  wi_setImageWithURL(b, url, s, withoutURL(std::move(c)));
}
void setImageWithURL(const Button& b, const URL& url, UIControlState s, const Image& p, WIWebImageCompletedBlock c) {
  wi_setImageWithURL(b, url, s, p, withoutURL(std::move(c)));
}
void setImageWithURL(const Button& b, const URL& url, UIControlState s, const Image& p, WIImageLoadOptions o,
                     WIWebImageCompletedBlock c) {
  wi_setImageWithURL(b, url, s, p, o, withoutURL(std::move(c)));
}
void setBackgroundImageWithURL(const Button& b, const URL& url, UIControlState s) { wi_setBackgroundImageWithURL(b, url, s); }
void setBackgroundImageWithURL(const Button& b, const URL& url, UIControlState s, const Image& p) {
  wi_setBackgroundImageWithURL(b, url, s, p);
}
void setBackgroundImageWithURL(const Button& b, const URL& url, UIControlState s, const Image& p, WIImageLoadOptions o) {
  wi_setBackgroundImageWithURL(b, url, s, p, o);
}
void setBackgroundImageWithURL(const Button& b, const URL& url, UIControlState s, WIWebImageCompletedBlock c) {
  wi_setBackgroundImageWithURL(b, url, s, withoutURL(std::move(c)));
}
void setBackgroundImageWithURL(const Button& b, const URL& url, UIControlState s, const Image& p, WIWebImageCompletedBlock c) {
  wi_setBackgroundImageWithURL(b, url, s, p, withoutURL(std::move(c)));
}
void setBackgroundImageWithURL(const Button& b, const URL& url, UIControlState s, const Image& p, WIImageLoadOptions o,
                               WIWebImageCompletedBlock c) {
  wi_setBackgroundImageWithURL(b, url, s, p, o, withoutURL(std::move(c)));
}
void cancelCurrentImageLoad(const Button& b) {
  if (b) wi_cancelImageLoadForState(b, b->state());
}
void cancelBackgroundImageLoadForState(const Button& b, UIControlState s) { wi_cancelBackgroundImageLoadForState(b, s); }
