#pragma once
// The pipeline behind every remote image: a URL becomes a cache key, the image cache is asked,
// the shared downloader fetches what the cache lacks, the result is stored, and URLs that
// failed for good are not asked for again. One cancellable handle, a combined operation,
// stands for the whole job. Every delivery to the caller's completion happens on the main
// thread; a cancelled job delivers nothing more.

#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/foundation/NSOperation.h"
#include "platform/network/NSURL.h"
#include "ui/images/WIImageCache.h"
#include "ui/images/WIWebImageDownloader.h"

using WIImageLoadOptions = NSUInteger;
inline constexpr WIImageLoadOptions WIImageLoadRetryFailed = 1;
inline constexpr WIImageLoadOptions WIImageLoadLowPriority = 2;
inline constexpr WIImageLoadOptions WIImageLoadMemoryCacheOnly = 4;
inline constexpr WIImageLoadOptions WIImageLoadProgressive = 8;
inline constexpr WIImageLoadOptions WIImageLoadRefreshCached = 16;
inline constexpr WIImageLoadOptions WIImageLoadContinueInBackground = 32;
inline constexpr WIImageLoadOptions WIImageLoadHandleCookies = 64;
inline constexpr WIImageLoadOptions WIImageLoadAllowInvalidCertificates = 128;
inline constexpr WIImageLoadOptions WIImageLoadHighPriority = 256;
inline constexpr WIImageLoadOptions WIImageLoadDelayPlaceholder = 512;
inline constexpr WIImageLoadOptions WIImageLoadTransformAnimatedImage = 1024;
inline constexpr WIImageLoadOptions WIImageLoadAvoidAutoSetImage = 2048;

using WIWebImageCompletionWithFinishedBlock =
    std::function<void(const std::shared_ptr<UIImage>& image, const std::shared_ptr<NSError>& error,
                       WIImageCacheSource cacheType, bool finished, const std::shared_ptr<NSURL>& imageURL)>;
// The older completion of downloadWithURL:options:progress:completed: (no URL).
using WIWebImageCompletedWithFinishedBlock = std::function<void(
    const std::shared_ptr<UIImage>& image, const std::shared_ptr<NSError>& error, WIImageCacheSource cacheType, bool finished)>;
using WIWebImageCacheKeyFilterBlock = std::function<std::shared_ptr<NSString>(const std::shared_ptr<NSURL>& url)>;

class WIWebImageManager;

// WIWebImageManagerDelegate: both methods are optional; a delegate says which it implements
// (what respondsToSelector: answers).
class WIWebImageManagerDelegate {
 public:
  virtual ~WIWebImageManagerDelegate() = default;
  virtual bool respondsToShouldDownloadImageForURL() const { return false; }
  virtual bool respondsToTransformDownloadedImage() const { return false; }
  // imageManager:shouldDownloadImageForURL: NO forbids the download.
  virtual bool imageManagerShouldDownloadImageForURL(const std::shared_ptr<WIWebImageManager>& /*manager*/,
                                                     const std::shared_ptr<NSURL>& /*url*/) {
    return true;
  }
  // imageManager:transformDownloadedImage:withURL: the image to store and deliver (on a
  // high-priority global queue).
  virtual std::shared_ptr<UIImage> imageManagerTransformDownloadedImage(const std::shared_ptr<WIWebImageManager>& /*manager*/,
                                                                        const std::shared_ptr<UIImage>& image,
                                                                        const std::shared_ptr<NSURL>& /*url*/) {
    return image;
  }
};

// The handle of one load: cancelling it cancels the cache query or the requester's part of the
// download, and nothing more reaches the completion.
class WIWebImageCombinedOperation : public NSObject, public WIWebImageOperation {
 public:
  bool isCancelled() const { return cancelled_; }
  // On an operation already cancelled the block runs at once and is not kept.
  void setCancelBlock(WIWebImageNoParamsBlock block);
  WIWebImageNoParamsBlock cancelBlock() const;
  std::shared_ptr<NSOperation> cacheOperation() const;
  void setCacheOperation(const std::shared_ptr<NSOperation>& operation);
  void cancel() override;

 private:
  std::atomic<bool> cancelled_{false};
  mutable std::mutex mutex_;
  WIWebImageNoParamsBlock cancelBlock_;
  std::shared_ptr<NSOperation> cacheOperation_;
};

class WIWebImageManager : public NSObject {
 public:
  static std::shared_ptr<WIWebImageManager> sharedManager();
  // init: the shared cache (createCache) and the shared downloader.
  static std::shared_ptr<WIWebImageManager> make();
  WIWebImageManager() = default;
  std::shared_ptr<WIImageCache> createCache() const;

  const std::shared_ptr<WIImageCache>& imageCache() const { return imageCache_; }
  const std::shared_ptr<WIWebImageDownloader>& imageDownloader() const { return imageDownloader_; }
  std::shared_ptr<WIWebImageManagerDelegate> delegate() const;
  void setDelegate(const std::shared_ptr<WIWebImageManagerDelegate>& delegate);
  void setCacheKeyFilter(WIWebImageCacheKeyFilterBlock filter);

  // The filter's key when one is set, else the URL's absolute string (nil for nil).
  std::shared_ptr<NSString> cacheKeyForURL(const std::shared_ptr<NSURL>& url) const;

  // `url` is an NSURL or an NSString (made a URL); anything else counts as nil. A nil or empty
  // URL, or one that failed for good (unless WIImageLoadRetryFailed), is answered at once with
  // NSURLErrorDomain -1100. Without a completion the image is still loaded and cached, and
  // nothing is delivered.
  std::shared_ptr<WIWebImageCombinedOperation> downloadImageWithURL(const id& url, WIImageLoadOptions options,
                                                                   WIWebImageDownloaderProgressBlock progress,
                                                                   WIWebImageCompletionWithFinishedBlock completed);
  // The older form (WIWebImageManager(Deprecated)).
  std::shared_ptr<WIWebImageCombinedOperation> downloadWithURL(const std::shared_ptr<NSURL>& url, WIImageLoadOptions options,
                                                              WIWebImageDownloaderProgressBlock progress,
                                                              WIWebImageCompletedWithFinishedBlock completed);

  void saveImageToCache(const std::shared_ptr<UIImage>& image, const std::shared_ptr<NSURL>& url);
  void cancelAll();
  bool isRunning() const;
  // Memory, else the disk (synchronously).
  bool cachedImageExistsForURL(const std::shared_ptr<NSURL>& url) const;
  bool diskImageExistsForURL(const std::shared_ptr<NSURL>& url) const;
  // Asynchronous: the answer comes on the main queue.
  void cachedImageExistsForURL(const std::shared_ptr<NSURL>& url, WIWebImageCheckCacheCompletionBlock completion) const;
  void diskImageExistsForURL(const std::shared_ptr<NSURL>& url, WIWebImageCheckCacheCompletionBlock completion) const;

  // For diagnostics and tests.
  bool isFailedURL(const std::shared_ptr<NSURL>& url) const;
  size_t runningOperationCount() const;

 private:
  struct Load;
  void cacheAnswer(const std::shared_ptr<Load>& load, const std::shared_ptr<UIImage>& image, WIImageCacheSource cacheType);
  void downloadAnswer(const std::shared_ptr<Load>& load, const std::shared_ptr<UIImage>& cachedImage,
                      const std::shared_ptr<UIImage>& image, const std::shared_ptr<NSData>& data,
                      const std::shared_ptr<NSError>& error, bool finished);
  void removeRunning(const std::shared_ptr<WIWebImageCombinedOperation>& operation);

  std::shared_ptr<WIImageCache> imageCache_;
  std::shared_ptr<WIWebImageDownloader> imageDownloader_;
  mutable std::mutex failedMutex_;
  std::set<std::string> failedURLs_;
  mutable std::mutex runningMutex_;
  std::vector<std::shared_ptr<WIWebImageCombinedOperation>> runningOperations_;
  mutable std::mutex settingsMutex_;
  std::weak_ptr<WIWebImageManagerDelegate> delegate_;
  WIWebImageCacheKeyFilterBlock cacheKeyFilter_;
};
