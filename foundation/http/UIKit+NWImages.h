#pragma once
// Image views and buttons that load their images through the HTTP layer, with a memory cache of
// decoded images keyed by the request's URL.
//
// - A load first cancels the view's (or the button state's) running load, then asks the cache:
//   a cached image is used at once (the success block gets a nil response), no request is made.
//   Otherwise the placeholder shows (a nil one leaves the current image) and an image request
//   operation goes on the class's queue. Its image is cached whatever happens to the view; it is
//   shown (or handed to the success block) only while the request is still the view's newest.
// - A request that ignores the local cache (cache policies 1 and 4) always goes to the network.
// - The default cache empties itself when the system posts a memory warning.
//
// The categories' class methods are free functions named after the class they belong to; the
// instance methods take the view first.

#include <functional>
#include <memory>

#include "foundation/http/NWHTTPRequestOperation.h"
#include "foundation/http/NWImageResponseSerializer.h"
#include "platform/foundation/NSCache.h"
#include "platform/network/NSURLRequest.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIImageView.h"

class NWImageCache : public NSCache {
 public:
  static std::shared_ptr<NWImageCache> make() { return std::make_shared<NWImageCache>(); }
  // nil for a nil request, one that ignores the local cache, or an address not cached.
  std::shared_ptr<UIImage> cachedImageForRequest(const std::shared_ptr<NSURLRequest>& request) const;
  // Stores a non-nil image under a non-nil request's absolute URL text.
  void cacheImage(const std::shared_ptr<UIImage>& image, const std::shared_ptr<NSURLRequest>& request);
};

using NWImageViewSuccess = std::function<void(const std::shared_ptr<NSURLRequest>& request,
                                              const std::shared_ptr<NSHTTPURLResponse>& response,
                                              const std::shared_ptr<UIImage>& image)>;
using NWImageViewFailure = std::function<void(const std::shared_ptr<NSURLRequest>& request,
                                              const std::shared_ptr<NSHTTPURLResponse>& response,
                                              const std::shared_ptr<NSError>& error)>;
using NWButtonSuccess = NWImageViewSuccess;
using NWButtonFailure = std::function<void(const std::shared_ptr<NSError>& error)>;

// UIImageView(NWNetworking). The class's cache: its own when set, else the default one.
std::shared_ptr<NWImageCache> imageViewSharedImageCache();
void setImageViewSharedImageCache(const std::shared_ptr<NWImageCache>& cache);
// The view's serializer: its own when set, else one shared by all image views.
std::shared_ptr<NWImageResponseSerializer> imageResponseSerializer(const std::shared_ptr<UIImageView>& view);
void setImageResponseSerializer(const std::shared_ptr<UIImageView>& view,
                                const std::shared_ptr<NWImageResponseSerializer>& serializer);
// A request for the URL accepting "image/*".
void setImageWithURL(const std::shared_ptr<UIImageView>& view, const std::shared_ptr<NSURL>& url,
                     const std::shared_ptr<UIImage>& placeholder = nullptr);
void setImageWithURLRequest(const std::shared_ptr<UIImageView>& view, const std::shared_ptr<NSURLRequest>& request,
                            const std::shared_ptr<UIImage>& placeholder, NWImageViewSuccess success,
                            NWImageViewFailure failure);
void cancelImageRequestOperation(const std::shared_ptr<UIImageView>& view);
// The view's running load (nil when none), for tests and callers that follow it.
std::shared_ptr<NWHTTPRequestOperation> imageRequestOperation(const std::shared_ptr<UIImageView>& view);

// UIButton(NWNetworking): the same per state, for the image and for the background image. The
// states highlighted, disabled and selected have slots of their own; every other state (combined
// ones included) uses the normal state's. The class's cache: its own when set, else the image
// views'.
std::shared_ptr<NWImageCache> buttonSharedImageCache();
void setButtonSharedImageCache(const std::shared_ptr<NWImageCache>& cache);
std::shared_ptr<NWImageResponseSerializer> imageResponseSerializer(const std::shared_ptr<UIButton>& button);
void setImageResponseSerializer(const std::shared_ptr<UIButton>& button,
                                const std::shared_ptr<NWImageResponseSerializer>& serializer);
void setImageForState(const std::shared_ptr<UIButton>& button, UIControlState state, const std::shared_ptr<NSURL>& url,
                      const std::shared_ptr<UIImage>& placeholder = nullptr);
void setImageForState(const std::shared_ptr<UIButton>& button, UIControlState state,
                      const std::shared_ptr<NSURLRequest>& request, const std::shared_ptr<UIImage>& placeholder,
                      NWButtonSuccess success, NWButtonFailure failure);
void setBackgroundImageForState(const std::shared_ptr<UIButton>& button, UIControlState state,
                                const std::shared_ptr<NSURL>& url, const std::shared_ptr<UIImage>& placeholder = nullptr);
void setBackgroundImageForState(const std::shared_ptr<UIButton>& button, UIControlState state,
                                const std::shared_ptr<NSURLRequest>& request, const std::shared_ptr<UIImage>& placeholder,
                                NWButtonSuccess success, NWButtonFailure failure);
void cancelImageRequestOperationForState(const std::shared_ptr<UIButton>& button, UIControlState state);
void cancelBackgroundImageRequestOperationForState(const std::shared_ptr<UIButton>& button, UIControlState state);
