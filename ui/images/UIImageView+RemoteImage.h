#pragma once
// The UIImageView(RemoteImage) and UIImageView(HighlightedRemoteImage) categories: an image view
// shows the image at a URL through the shared image manager. A new load first cancels what the
// view was loading (so a reused cell never shows the image of its previous URL), the
// placeholder shows while it loads, and the view's image changes on the main thread. The view
// is held weakly while it loads. Completions get (image, error, cache type, the URL asked for);
// a nil URL gets the error WIWebImageErrorDomain -1 "Trying to load a nil url".
//
// The shorter forms pass nil or 0 for what they lack. (A literal nullptr placeholder in the
// three-argument form is ambiguous with the completion form: leave the placeholder out.)

#include <functional>
#include <memory>
#include <vector>

#include "platform/foundation/NSArray.h"
#include "platform/network/NSURL.h"
#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/UIImageView.h"
#include "ui/images/WIWebImageManager.h"

using WIWebImageCompletionBlock = std::function<void(const std::shared_ptr<UIImage>& image, const std::shared_ptr<NSError>& error,
                                                     WIImageCacheSource cacheType, const std::shared_ptr<NSURL>& imageURL)>;
// The older completion (no URL), of the deprecated forms.
using WIWebImageCompletedBlock =
    std::function<void(const std::shared_ptr<UIImage>& image, const std::shared_ptr<NSError>& error, WIImageCacheSource cacheType)>;

inline constexpr const char* kUIImageViewImageLoadKey = "UIImageViewImageLoad";
inline constexpr const char* kUIImageViewAnimationImagesKey = "UIImageViewAnimationImages";
inline constexpr const char* kUIImageViewHighlightedImageKey = "highlightedImage";

// --- UIImageView(RemoteImage)
// wi_setImageWithURL:placeholderImage:options:progress:completed:
void wi_setImageWithURL(const std::shared_ptr<UIImageView>& view, const std::shared_ptr<NSURL>& url, const std::shared_ptr<UIImage>& placeholder, WIImageLoadOptions options,
                        WIWebImageDownloaderProgressBlock progress, WIWebImageCompletionBlock completed);
void wi_setImageWithURL(const std::shared_ptr<UIImageView>& view, const std::shared_ptr<NSURL>& url);
void wi_setImageWithURL(const std::shared_ptr<UIImageView>& view, const std::shared_ptr<NSURL>& url, const std::shared_ptr<UIImage>& placeholder);
void wi_setImageWithURL(const std::shared_ptr<UIImageView>& view, const std::shared_ptr<NSURL>& url, const std::shared_ptr<UIImage>& placeholder, WIImageLoadOptions options);
void wi_setImageWithURL(const std::shared_ptr<UIImageView>& view, const std::shared_ptr<NSURL>& url, WIWebImageCompletionBlock completed);
void wi_setImageWithURL(const std::shared_ptr<UIImageView>& view, const std::shared_ptr<NSURL>& url, const std::shared_ptr<UIImage>& placeholder, WIWebImageCompletionBlock completed);
void wi_setImageWithURL(const std::shared_ptr<UIImageView>& view, const std::shared_ptr<NSURL>& url, const std::shared_ptr<UIImage>& placeholder, WIImageLoadOptions options,
                        WIWebImageCompletionBlock completed);
// The image the cache holds for the URL (memory, then disk) as placeholder, else the one given.
void wi_setImageWithPreviousCachedImageWithURL(const std::shared_ptr<UIImageView>& view, const std::shared_ptr<NSURL>& url, const std::shared_ptr<UIImage>& placeholder,
                                               WIImageLoadOptions options, WIWebImageDownloaderProgressBlock progress,
                                               WIWebImageCompletionBlock completed);
// The URL of the last request.
std::shared_ptr<NSURL> wi_imageURL(const std::shared_ptr<UIImageView>& view);
// Every URL loaded; the images join the view's animation images in the order they arrive.
void wi_setAnimationImagesWithURLs(const std::shared_ptr<UIImageView>& view, const std::shared_ptr<NSArray>& urls);
void wi_cancelCurrentImageLoad(const std::shared_ptr<UIImageView>& view);
void wi_cancelCurrentAnimationImagesLoad(const std::shared_ptr<UIImageView>& view);
// An activity indicator in the middle of the view while it loads.
void setShowActivityIndicatorView(const std::shared_ptr<UIImageView>& view, bool show);
bool showActivityIndicatorView(const std::shared_ptr<UIImageView>& view);
void setIndicatorStyle(const std::shared_ptr<UIImageView>& view, UIActivityIndicatorViewStyle style);
UIActivityIndicatorViewStyle getIndicatorStyle(const std::shared_ptr<UIImageView>& view);
void addActivityIndicator(const std::shared_ptr<UIImageView>& view);
void removeActivityIndicator(const std::shared_ptr<UIImageView>& view);
std::shared_ptr<UIActivityIndicatorView> activityIndicator(const std::shared_ptr<UIImageView>& view);
void setActivityIndicator(const std::shared_ptr<UIImageView>& view, const std::shared_ptr<UIActivityIndicatorView>& indicator);

// --- UIImageView(HighlightedRemoteImage)
void wi_setHighlightedImageWithURL(const std::shared_ptr<UIImageView>& view, const std::shared_ptr<NSURL>& url, WIImageLoadOptions options,
                                   WIWebImageDownloaderProgressBlock progress, WIWebImageCompletionBlock completed);
void wi_setHighlightedImageWithURL(const std::shared_ptr<UIImageView>& view, const std::shared_ptr<NSURL>& url);
void wi_setHighlightedImageWithURL(const std::shared_ptr<UIImageView>& view, const std::shared_ptr<NSURL>& url, WIImageLoadOptions options);
void wi_setHighlightedImageWithURL(const std::shared_ptr<UIImageView>& view, const std::shared_ptr<NSURL>& url, WIWebImageCompletionBlock completed);
void wi_setHighlightedImageWithURL(const std::shared_ptr<UIImageView>& view, const std::shared_ptr<NSURL>& url, WIImageLoadOptions options,
                                   WIWebImageCompletionBlock completed);
void wi_cancelCurrentHighlightedImageLoad(const std::shared_ptr<UIImageView>& view);

// --- UIImageView(RemoteImageDeprecated) and UIImageView(HighlightedRemoteImageDeprecated):
// the older names, forwarding to the wi_ forms.
std::shared_ptr<NSURL> imageURL(const std::shared_ptr<UIImageView>& view);
void setImageWithURL(const std::shared_ptr<UIImageView>& view, const std::shared_ptr<NSURL>& url);
void setImageWithURL(const std::shared_ptr<UIImageView>& view, const std::shared_ptr<NSURL>& url, const std::shared_ptr<UIImage>& placeholder);
void setImageWithURL(const std::shared_ptr<UIImageView>& view, const std::shared_ptr<NSURL>& url, const std::shared_ptr<UIImage>& placeholder, WIImageLoadOptions options);
void setImageWithURL(const std::shared_ptr<UIImageView>& view, const std::shared_ptr<NSURL>& url, WIWebImageCompletedBlock completed);
void setImageWithURL(const std::shared_ptr<UIImageView>& view, const std::shared_ptr<NSURL>& url, const std::shared_ptr<UIImage>& placeholder, WIWebImageCompletedBlock completed);
void setImageWithURL(const std::shared_ptr<UIImageView>& view, const std::shared_ptr<NSURL>& url, const std::shared_ptr<UIImage>& placeholder, WIImageLoadOptions options,
                     WIWebImageCompletedBlock completed);
void setImageWithURL(const std::shared_ptr<UIImageView>& view, const std::shared_ptr<NSURL>& url, const std::shared_ptr<UIImage>& placeholder, WIImageLoadOptions options,
                     WIWebImageDownloaderProgressBlock progress, WIWebImageCompletedBlock completed);
void cancelCurrentArrayLoad(const std::shared_ptr<UIImageView>& view);
void cancelCurrentImageLoad(const std::shared_ptr<UIImageView>& view);
void setAnimationImagesWithURLs(const std::shared_ptr<UIImageView>& view, const std::shared_ptr<NSArray>& urls);
void setHighlightedImageWithURL(const std::shared_ptr<UIImageView>& view, const std::shared_ptr<NSURL>& url);
void setHighlightedImageWithURL(const std::shared_ptr<UIImageView>& view, const std::shared_ptr<NSURL>& url, WIImageLoadOptions options);
void setHighlightedImageWithURL(const std::shared_ptr<UIImageView>& view, const std::shared_ptr<NSURL>& url, WIWebImageCompletedBlock completed);
void setHighlightedImageWithURL(const std::shared_ptr<UIImageView>& view, const std::shared_ptr<NSURL>& url, WIImageLoadOptions options,
                                WIWebImageCompletedBlock completed);
void setHighlightedImageWithURL(const std::shared_ptr<UIImageView>& view, const std::shared_ptr<NSURL>& url, WIImageLoadOptions options,
                                WIWebImageDownloaderProgressBlock progress, WIWebImageCompletedBlock completed);
void cancelCurrentHighlightedImageLoad(const std::shared_ptr<UIImageView>& view);

namespace zvt::images {
// The error of a load without a URL: WIWebImageErrorDomain -1 "Trying to load a nil url".
std::shared_ptr<NSError> nilURLError();
// A load's result on the main thread, for a view still there: with WIImageLoadAvoidAutoSetImage
// and a completion, the image goes to the completion alone; otherwise `show` puts it (or what
// stands for a missing one) in the view and a finished load is reported.
void deliverResult(const std::shared_ptr<UIImage>& image, const std::shared_ptr<NSError>& error,
                   WIImageCacheSource cacheType, bool finished, const std::shared_ptr<NSURL>& url,
                   WIImageLoadOptions options, const WIWebImageCompletionBlock& completed,
                   const std::function<void()>& show);
// The older completion as the newer one (nil for nil).
WIWebImageCompletionBlock withoutURL(WIWebImageCompletedBlock completed);
}  // namespace zvt::images
