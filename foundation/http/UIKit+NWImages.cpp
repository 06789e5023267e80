#include "foundation/http/UIKit+NWImages.h"

#include <array>
#include <mutex>

#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSOperation.h"
#include "platform/network/NSURL.h"
#include "platform/uikit/UIApplication.h"

std::shared_ptr<UIImage> NWImageCache::cachedImageForRequest(const std::shared_ptr<NSURLRequest>& request) const {
  if (!request || !request->URL()) return nullptr;
  switch (request->cachePolicy()) {
    case NSURLRequestReloadIgnoringLocalCacheData:
    case NSURLRequestReloadIgnoringLocalAndRemoteCacheData:
      return nullptr;
    default:
      return zvt::as<UIImage>(objectForKey(request->URL()->absoluteString()));
  }
}

void NWImageCache::cacheImage(const std::shared_ptr<UIImage>& image, const std::shared_ptr<NSURLRequest>& request) {
  if (image && request && request->URL()) setObject(image, request->URL()->absoluteString());
}

namespace {

// One of each, made on first use.
struct Shared {
  std::mutex mutex;
  std::shared_ptr<NWImageCache> defaultCache;
  id memoryWarningObservation;
  std::shared_ptr<NWImageCache> imageViewCache;  // the class overrides
  std::shared_ptr<NWImageCache> buttonCache;
  std::shared_ptr<NWImageResponseSerializer> imageViewSerializer;
  std::shared_ptr<NWImageResponseSerializer> buttonSerializer;
  std::shared_ptr<NSOperationQueue> imageViewQueue;
  std::shared_ptr<NSOperationQueue> buttonQueue;
};

Shared& shared() {
  static Shared* s = new Shared;  // outlives every view: never destroyed
  return *s;
}

std::shared_ptr<NWImageCache> defaultCache() {
  auto& s = shared();
  std::lock_guard lock(s.mutex);
  if (!s.defaultCache) {
    auto cache = NWImageCache::make();
    std::weak_ptr<NWImageCache> weak = cache;
    s.memoryWarningObservation = NSNotificationCenter::defaultCenter()->addObserverForName(
        UIApplicationDidReceiveMemoryWarningNotification, nullptr, NSOperationQueue::mainQueue(),
        [weak](const std::shared_ptr<NSNotification>&) {
          if (auto c = weak.lock()) c->removeAllObjects();
        });
    s.defaultCache = cache;
  }
  return s.defaultCache;
}

template <class Member>
auto sharedValue(Member member) {
  auto& s = shared();
  std::lock_guard lock(s.mutex);
  return s.*member;
}

std::shared_ptr<NSOperationQueue> queue(std::shared_ptr<NSOperationQueue> Shared::*member) {
  auto& s = shared();
  std::lock_guard lock(s.mutex);
  if (!(s.*member)) s.*member = NSOperationQueue::make();
  return s.*member;
}

std::shared_ptr<NWImageResponseSerializer> sharedSerializer(std::shared_ptr<NWImageResponseSerializer> Shared::*member) {
  auto& s = shared();
  std::lock_guard lock(s.mutex);
  if (!(s.*member)) s.*member = NWImageResponseSerializer::serializer();
  return s.*member;
}

// Keys of the objects kept with the views.
const char kImageViewOperationKey = 0;
const char kSerializerKey = 0;
std::array<char, 4> kButtonImageKeys{};
std::array<char, 4> kButtonBackgroundKeys{};

// Highlighted, disabled and selected have their own slot; anything else is the normal state's.
size_t slotOf(UIControlState state) {
  switch (state) {
    case UIControlStateHighlighted:
      return 1;
    case UIControlStateDisabled:
      return 2;
    case UIControlStateSelected:
      return 3;
    default:
      return 0;
  }
}

std::shared_ptr<NSMutableURLRequest> imageRequest(const std::shared_ptr<NSURL>& url) {
  auto request = NSMutableURLRequest::requestWithURL(url);
  request->setValue("image/*", "Accept");
  return request;
}

bool sameURL(const std::shared_ptr<NSURLRequest>& a, const std::shared_ptr<NSURLRequest>& b) {
  auto x = a ? a->URL() : nullptr;
  auto y = b ? b->URL() : nullptr;
  return x && y && x->isEqual(y);
}

// The one load road of image views and button slots: `current` reads and `remember` sets the
// slot's running operation; `show` puts an image into the view.
struct Slot {
  std::function<std::shared_ptr<NWHTTPRequestOperation>()> current;
  std::function<void(const std::shared_ptr<NWHTTPRequestOperation>&)> remember;
  std::function<void(const std::shared_ptr<UIImage>&)> show;
};

void load(const Slot& slot, const std::shared_ptr<NWImageCache>& cache, const std::shared_ptr<NSOperationQueue>& queue,
          const std::shared_ptr<NWImageResponseSerializer>& serializer, const std::shared_ptr<NSURLRequest>& request,
          const std::shared_ptr<UIImage>& placeholder, NWImageViewSuccess success,
          std::function<void(const std::shared_ptr<NSHTTPURLResponse>&, const std::shared_ptr<NSError>&)> failure) {
  if (auto running = slot.current()) running->cancel();
  slot.remember(nullptr);
  if (auto cached = cache ? cache->cachedImageForRequest(request) : nullptr) {
    if (success) {
      success(request, nullptr, cached);
    } else {
      slot.show(cached);
    }
    return;
  }
  if (placeholder) slot.show(placeholder);
  if (!request) return;
  auto operation = std::make_shared<NWHTTPRequestOperation>(request, serializer, nullptr);
  std::weak_ptr<NWImageCache> weakCache = cache;
  operation->setCompletionBlockWithSuccess(
      [slot, request, success, weakCache](const std::shared_ptr<NWHTTPRequestOperation>& finished, const id& object) {
        auto image = zvt::as<UIImage>(object);
        // Only the slot's newest request reaches the view; every image reaches the cache.
        auto current = slot.current();
        if (current && sameURL(request, current->request())) {
          if (success) {
            success(request, finished->httpResponse(), image);
          } else if (image) {
            slot.show(image);
          }
        }
        if (current == finished) slot.remember(nullptr);
        if (auto c = weakCache.lock()) c->cacheImage(image, request);
      },
      [slot, request, failure](const std::shared_ptr<NWHTTPRequestOperation>& finished, const std::shared_ptr<NSError>& error) {
        auto current = slot.current();
        if (current && sameURL(request, current->request()) && failure) failure(finished->httpResponse(), error);
        if (current == finished) slot.remember(nullptr);
      });
  slot.remember(operation);
  queue->addOperation(operation);
}

Slot imageViewSlot(const std::shared_ptr<UIImageView>& view) {
  std::weak_ptr<UIImageView> weak = view;
  return {[weak]() -> std::shared_ptr<NWHTTPRequestOperation> {
            auto v = weak.lock();
            return v ? zvt::as<NWHTTPRequestOperation>(v->associatedObject(&kImageViewOperationKey)) : nullptr;
          },
          [weak](const std::shared_ptr<NWHTTPRequestOperation>& operation) {
            if (auto v = weak.lock()) v->setAssociatedObject(&kImageViewOperationKey, operation);
          },
          [weak](const std::shared_ptr<UIImage>& image) {
            if (auto v = weak.lock()) v->setImage(image);
          }};
}

Slot buttonSlot(const std::shared_ptr<UIButton>& button, UIControlState state, bool background) {
  std::weak_ptr<UIButton> weak = button;
  const void* key = background ? &kButtonBackgroundKeys[slotOf(state)] : &kButtonImageKeys[slotOf(state)];
  return {[weak, key]() -> std::shared_ptr<NWHTTPRequestOperation> {
            auto b = weak.lock();
            return b ? zvt::as<NWHTTPRequestOperation>(b->associatedObject(key)) : nullptr;
          },
          [weak, key](const std::shared_ptr<NWHTTPRequestOperation>& operation) {
            if (auto b = weak.lock()) b->setAssociatedObject(key, operation);
          },
          [weak, state, background](const std::shared_ptr<UIImage>& image) {
            auto b = weak.lock();
            if (!b) return;
            if (background) {
              b->setBackgroundImage(image, state);
            } else {
              b->setImage(image, state);
            }
          }};
}

void loadButton(const std::shared_ptr<UIButton>& button, UIControlState state, bool background,
                const std::shared_ptr<NSURLRequest>& request, const std::shared_ptr<UIImage>& placeholder,
                NWButtonSuccess success, NWButtonFailure failure) {
  if (!button) return;
  load(buttonSlot(button, state, background), buttonSharedImageCache(), queue(&Shared::buttonQueue),
       imageResponseSerializer(button), request, placeholder, std::move(success),
       [failure](const std::shared_ptr<NSHTTPURLResponse>&, const std::shared_ptr<NSError>& error) {
         if (failure) failure(error);
       });
}

void cancelSlot(const Slot& slot) {
  if (auto running = slot.current()) running->cancel();
  slot.remember(nullptr);
}

}  // namespace

std::shared_ptr<NWImageCache> imageViewSharedImageCache() {
  if (auto own = sharedValue(&Shared::imageViewCache)) return own;
  return defaultCache();
}

void setImageViewSharedImageCache(const std::shared_ptr<NWImageCache>& cache) {
  std::lock_guard lock(shared().mutex);
  shared().imageViewCache = cache;
}

std::shared_ptr<NWImageResponseSerializer> imageResponseSerializer(const std::shared_ptr<UIImageView>& view) {
  if (auto own = view ? zvt::as<NWImageResponseSerializer>(view->associatedObject(&kSerializerKey)) : nullptr) return own;
  return sharedSerializer(&Shared::imageViewSerializer);
}

void setImageResponseSerializer(const std::shared_ptr<UIImageView>& view,
                                const std::shared_ptr<NWImageResponseSerializer>& serializer) {
  if (view) view->setAssociatedObject(&kSerializerKey, serializer);
}

void setImageWithURL(const std::shared_ptr<UIImageView>& view, const std::shared_ptr<NSURL>& url,
                     const std::shared_ptr<UIImage>& placeholder) {
  setImageWithURLRequest(view, imageRequest(url), placeholder, nullptr, nullptr);
}

void setImageWithURLRequest(const std::shared_ptr<UIImageView>& view, const std::shared_ptr<NSURLRequest>& request,
                            const std::shared_ptr<UIImage>& placeholder, NWImageViewSuccess success,
                            NWImageViewFailure failure) {
  if (!view) return;
  load(imageViewSlot(view), imageViewSharedImageCache(), queue(&Shared::imageViewQueue), imageResponseSerializer(view),
       request, placeholder, std::move(success),
       [failure, request](const std::shared_ptr<NSHTTPURLResponse>& response, const std::shared_ptr<NSError>& error) {
         if (failure) failure(request, response, error);
       });
}

void cancelImageRequestOperation(const std::shared_ptr<UIImageView>& view) {
  if (view) cancelSlot(imageViewSlot(view));
}

std::shared_ptr<NWHTTPRequestOperation> imageRequestOperation(const std::shared_ptr<UIImageView>& view) {
  return view ? imageViewSlot(view).current() : nullptr;
}

std::shared_ptr<NWImageCache> buttonSharedImageCache() {
  if (auto own = sharedValue(&Shared::buttonCache)) return own;
  return imageViewSharedImageCache();
}

void setButtonSharedImageCache(const std::shared_ptr<NWImageCache>& cache) {
  std::lock_guard lock(shared().mutex);
  shared().buttonCache = cache;
}

std::shared_ptr<NWImageResponseSerializer> imageResponseSerializer(const std::shared_ptr<UIButton>& button) {
  if (auto own = button ? zvt::as<NWImageResponseSerializer>(button->associatedObject(&kSerializerKey)) : nullptr) {
    return own;
  }
  return sharedSerializer(&Shared::buttonSerializer);
}

void setImageResponseSerializer(const std::shared_ptr<UIButton>& button,
                                const std::shared_ptr<NWImageResponseSerializer>& serializer) {
  if (button) button->setAssociatedObject(&kSerializerKey, serializer);
}

void setImageForState(const std::shared_ptr<UIButton>& button, UIControlState state, const std::shared_ptr<NSURL>& url,
                      const std::shared_ptr<UIImage>& placeholder) {
  loadButton(button, state, false, imageRequest(url), placeholder, nullptr, nullptr);
}

void setImageForState(const std::shared_ptr<UIButton>& button, UIControlState state,
                      const std::shared_ptr<NSURLRequest>& request, const std::shared_ptr<UIImage>& placeholder,
                      NWButtonSuccess success, NWButtonFailure failure) {
  loadButton(button, state, false, request, placeholder, std::move(success), std::move(failure));
}

void setBackgroundImageForState(const std::shared_ptr<UIButton>& button, UIControlState state,
                                const std::shared_ptr<NSURL>& url, const std::shared_ptr<UIImage>& placeholder) {
  loadButton(button, state, true, imageRequest(url), placeholder, nullptr, nullptr);
}

void setBackgroundImageForState(const std::shared_ptr<UIButton>& button, UIControlState state,
                                const std::shared_ptr<NSURLRequest>& request, const std::shared_ptr<UIImage>& placeholder,
                                NWButtonSuccess success, NWButtonFailure failure) {
  loadButton(button, state, true, request, placeholder, std::move(success), std::move(failure));
}

void cancelImageRequestOperationForState(const std::shared_ptr<UIButton>& button, UIControlState state) {
  if (button) cancelSlot(buttonSlot(button, state, false));
}

void cancelBackgroundImageRequestOperationForState(const std::shared_ptr<UIButton>& button, UIControlState state) {
  if (button) cancelSlot(buttonSlot(button, state, true));
}
