#include "ui/images/WIWebImageManager.h"

#include <algorithm>

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSThread.h"

// ---------------------------------------------------------------- WIWebImageCombinedOperation

void WIWebImageCombinedOperation::setCancelBlock(WIWebImageNoParamsBlock block) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!cancelled_) {
      cancelBlock_ = std::move(block);
      return;
    }
  }
  if (block) block();
}

WIWebImageNoParamsBlock WIWebImageCombinedOperation::cancelBlock() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return cancelBlock_;
}

std::shared_ptr<NSOperation> WIWebImageCombinedOperation::cacheOperation() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return cacheOperation_;
}

void WIWebImageCombinedOperation::setCacheOperation(const std::shared_ptr<NSOperation>& operation) {
  std::lock_guard<std::mutex> lock(mutex_);
  cacheOperation_ = operation;
}

void WIWebImageCombinedOperation::cancel() {
  std::shared_ptr<NSOperation> cacheOperation;
  WIWebImageNoParamsBlock block;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    cancelled_ = true;
    cacheOperation = std::move(cacheOperation_);
    block = std::move(cancelBlock_);
    cacheOperation_ = nullptr;
    cancelBlock_ = nullptr;
  }
  if (cacheOperation) cacheOperation->cancel();
  if (block) block();
}

// -------------------------------------------------------------------------- WIWebImageManager

namespace {

bool isTransientError(NSInteger code) {
  switch (code) {
    case -1009:  // not connected to the internet
    case -999:   // cancelled
    case -1001:  // timed out
    case -1018:  // international roaming off
    case -1020:  // data not allowed
    case -1003:  // cannot find host
    case -1004:  // cannot connect to host
      return true;
    default:
      return false;
  }
}

WIImageDownloadOptions downloadOptionsFor(WIImageLoadOptions options, bool refreshingCachedImage) {
  WIImageDownloadOptions result = 0;
  if (options & WIImageLoadLowPriority) result |= WIImageDownloadLowPriority;
  if (options & WIImageLoadProgressive) result |= WIImageDownloadProgressive;
  if (options & WIImageLoadRefreshCached) result |= WIImageDownloadUseURLCache;
  if (options & WIImageLoadContinueInBackground) result |= WIImageDownloadContinueInBackground;
  if (options & WIImageLoadHandleCookies) result |= WIImageDownloadHandleCookies;
  if (options & WIImageLoadAllowInvalidCertificates) result |= WIImageDownloadAllowInvalidCertificates;
  if (options & WIImageLoadHighPriority) result |= WIImageDownloadHighPriority;
  if (refreshingCachedImage) {
    result &= ~WIImageDownloadProgressive;
    result |= WIImageDownloadIgnoreCachedResponse;
  }
  return result;
}

}  // namespace

// What one load carries from step to step.
struct WIWebImageManager::Load {
  std::shared_ptr<NSURL> url;
  std::shared_ptr<NSString> key;
  WIImageLoadOptions options = 0;
  WIWebImageDownloaderProgressBlock progress;
  WIWebImageCompletionWithFinishedBlock completed;
  std::weak_ptr<WIWebImageCombinedOperation> operation;

  // The caller's blocks may hold its views and screens, which live on the main thread: they
  // are let go there, whichever thread drops the load last (the download's, the cache's or a
  // transform's), so that a view never ends its life on a worker while the main thread draws.
  ~Load() {
    if ((!completed && !progress) || NSThread::isMainThread()) return;
    // Without waking the main thread (it may be gone while the process exits): they go on its
    // next pass, whatever wakes it.
    zvt::dispatchAsyncOnMainQueueWithoutWakeUp([completed = std::move(completed), progress = std::move(progress)] {});
  }

  // Delivers to the completion on the main thread while the load is alive and not cancelled.
  void deliver(const std::shared_ptr<UIImage>& image, const std::shared_ptr<NSError>& error, WIImageCacheSource cacheType,
               bool finished) const {
    if (!completed) return;
    zvt::images::runOnMainSync([&] {
      auto strong = operation.lock();
      if (strong && !strong->isCancelled()) completed(image, error, cacheType, finished, url);
    });
  }
};

std::shared_ptr<WIWebImageManager> WIWebImageManager::sharedManager() {
  // Never destroyed: loads may still answer while the process exits.
  static auto* shared = new std::shared_ptr<WIWebImageManager>(make());
  return *shared;
}

std::shared_ptr<WIWebImageManager> WIWebImageManager::make() {
  auto manager = std::make_shared<WIWebImageManager>();
  manager->imageCache_ = manager->createCache();
  manager->imageDownloader_ = WIWebImageDownloader::sharedDownloader();
  return manager;
}

std::shared_ptr<WIImageCache> WIWebImageManager::createCache() const { return WIImageCache::sharedImageCache(); }

std::shared_ptr<WIWebImageManagerDelegate> WIWebImageManager::delegate() const {
  std::lock_guard<std::mutex> lock(settingsMutex_);
  return delegate_.lock();
}

void WIWebImageManager::setDelegate(const std::shared_ptr<WIWebImageManagerDelegate>& delegate) {
  std::lock_guard<std::mutex> lock(settingsMutex_);
  delegate_ = delegate;
}

void WIWebImageManager::setCacheKeyFilter(WIWebImageCacheKeyFilterBlock filter) {
  std::lock_guard<std::mutex> lock(settingsMutex_);
  cacheKeyFilter_ = std::move(filter);
}

std::shared_ptr<NSString> WIWebImageManager::cacheKeyForURL(const std::shared_ptr<NSURL>& url) const {
  if (!url) return nullptr;
  WIWebImageCacheKeyFilterBlock filter;
  {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    filter = cacheKeyFilter_;
  }
  return filter ? filter(url) : url->absoluteString();
}

std::shared_ptr<WIWebImageCombinedOperation> WIWebImageManager::downloadImageWithURL(const id& urlObject, WIImageLoadOptions options,
                                                                                    WIWebImageDownloaderProgressBlock progress,
                                                                                    WIWebImageCompletionWithFinishedBlock completed) {
  std::shared_ptr<NSURL> url;
  if (auto text = zvt::as<NSString>(urlObject)) {
    url = NSURL::URLWithString(text);
  } else {
    url = zvt::as<NSURL>(urlObject);
  }

  auto operation = std::make_shared<WIWebImageCombinedOperation>();
  auto load = std::make_shared<Load>();
  load->url = url;
  load->options = options;
  load->progress = std::move(progress);
  load->completed = std::move(completed);
  load->operation = operation;

  bool failed = false;
  if (url) {
    std::lock_guard<std::mutex> lock(failedMutex_);
    failed = failedURLs_.count(url->absoluteText()) > 0;
  }
  if (!url || url->absoluteText().empty() || (failed && !(options & WIImageLoadRetryFailed))) {
    if (load->completed) {
      zvt::images::runOnMainSync([&] {
        load->completed(nullptr, NSError::errorWithDomain(NSURLErrorDomain, -1100), WIImageCacheSourceNone, true, url);
      });
    }
    return operation;
  }

  {
    std::lock_guard<std::mutex> lock(runningMutex_);
    runningOperations_.push_back(operation);
  }
  load->key = cacheKeyForURL(url);
  auto me = std::static_pointer_cast<WIWebImageManager>(self());
  // The cache answer holds the operation itself: a load waiting for the disk keeps it.
  auto query = imageCache_->queryDiskCacheForKey(load->key, [me, load, operation](const std::shared_ptr<UIImage>& image,
                                                                                  WIImageCacheSource cacheType) {
    me->cacheAnswer(load, image, cacheType);
  });
  if (query) operation->setCacheOperation(query);
  // Cancelled while the disk is asked, the cache never answers: the load leaves the running
  // list here. A download replaces this block with its own.
  std::weak_ptr<WIWebImageCombinedOperation> weakOperation = operation;
  operation->setCancelBlock([me, weakOperation] {
    if (auto strong = weakOperation.lock()) me->removeRunning(strong);
  });
  return operation;
}

void WIWebImageManager::cacheAnswer(const std::shared_ptr<Load>& load, const std::shared_ptr<UIImage>& image,
                                    WIImageCacheSource cacheType) {
  auto operation = load->operation.lock();
  if (!operation || operation->isCancelled()) {
    if (operation) removeRunning(operation);
    return;
  }
  const bool refresh = load->options & WIImageLoadRefreshCached;
  if (image && !refresh) {
    load->deliver(image, nullptr, cacheType, true);
    removeRunning(operation);
    return;
  }
  auto delegate = this->delegate();
  auto me = std::static_pointer_cast<WIWebImageManager>(self());
  if (delegate && delegate->respondsToShouldDownloadImageForURL() && !delegate->imageManagerShouldDownloadImageForURL(me, load->url)) {
    if (image) {
      load->deliver(image, nullptr, cacheType, true);
    } else {
      load->deliver(nullptr, nullptr, WIImageCacheSourceNone, true);
    }
    removeRunning(operation);
    return;
  }

  // The cached image first, then it is downloaded again.
  if (image) load->deliver(image, nullptr, cacheType, true);
  auto options = downloadOptionsFor(load->options, image != nullptr);
  std::shared_ptr<WIWebImageDownloaderToken> requester;
  auto downloader = imageDownloader_;
  downloader->downloadImageWithURL(
      load->url, options, load->progress,
      [me, load, image](const std::shared_ptr<UIImage>& downloaded, const std::shared_ptr<NSData>& data,
                        const std::shared_ptr<NSError>& error, bool finished) {
        me->downloadAnswer(load, image, downloaded, data, error, finished);
      },
      &requester);
  std::weak_ptr<WIWebImageCombinedOperation> weakOperation = operation;
  operation->setCancelBlock([me, downloader, requester, weakOperation] {
    // Only this load's part of the download: other loads of the URL go on.
    downloader->cancelRequester(requester);
    if (auto strong = weakOperation.lock()) me->removeRunning(strong);
  });
}

void WIWebImageManager::downloadAnswer(const std::shared_ptr<Load>& load, const std::shared_ptr<UIImage>& cachedImage,
                                       const std::shared_ptr<UIImage>& image, const std::shared_ptr<NSData>& data,
                                       const std::shared_ptr<NSError>& error, bool finished) {
  auto operation = load->operation.lock();
  if (!operation || operation->isCancelled()) return;

  if (error) {
    // Listed before the caller hears of it, so that a load it starts in answer fails at once.
    if (!isTransientError(error->code())) {
      std::lock_guard<std::mutex> lock(failedMutex_);
      failedURLs_.insert(load->url->absoluteText());
    }
    load->deliver(nullptr, error, WIImageCacheSourceNone, finished);
  } else {
    if (load->options & WIImageLoadRetryFailed) {
      std::lock_guard<std::mutex> lock(failedMutex_);
      failedURLs_.erase(load->url->absoluteText());
    }
    const bool toDisk = !(load->options & WIImageLoadMemoryCacheOnly);
    const bool animated = image && image->images() && image->images()->count() > 0;
    auto delegate = this->delegate();
    if ((load->options & WIImageLoadRefreshCached) && cachedImage && !image) {
      // Not modified (or answered by the URL cache): the cached image, already delivered, stands.
    } else if (image && (!animated || (load->options & WIImageLoadTransformAnimatedImage)) && delegate &&
               delegate->respondsToTransformDownloadedImage()) {
      // The load is held until the transformed image is delivered: a caller that kept no
      // handle (the prefetcher) still hears of it. It leaves the running list after that.
      auto me = std::static_pointer_cast<WIWebImageManager>(self());
      dispatch_async(dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_HIGH, 0),
                     [me, load, operation, delegate, image, data, finished, toDisk] {
                       auto transformed = delegate->imageManagerTransformDownloadedImage(me, image, load->url);
                       if (transformed && finished) {
                         const bool changed = transformed != image && !transformed->isEqual(image);
                         me->imageCache_->storeImage(transformed, changed, changed ? nullptr : data, load->key, toDisk);
                       }
                       load->deliver(transformed, nullptr, WIImageCacheSourceNone, finished);
                       if (finished) me->removeRunning(operation);
                     });
      return;
    } else {
      if (image && finished) imageCache_->storeImage(image, false, data, load->key, toDisk);
      load->deliver(image, nullptr, WIImageCacheSourceNone, finished);
    }
  }
  if (finished) removeRunning(operation);
}

std::shared_ptr<WIWebImageCombinedOperation> WIWebImageManager::downloadWithURL(const std::shared_ptr<NSURL>& url,
                                                                               WIImageLoadOptions options,
                                                                               WIWebImageDownloaderProgressBlock progress,
                                                                               WIWebImageCompletedWithFinishedBlock completed) {
  WIWebImageCompletionWithFinishedBlock forward;
  if (completed) {
    forward = [completed](const std::shared_ptr<UIImage>& image, const std::shared_ptr<NSError>& error,
                          WIImageCacheSource cacheType, bool finished, const std::shared_ptr<NSURL>&) {
      completed(image, error, cacheType, finished);
    };
  }
  return downloadImageWithURL(url, options, std::move(progress), std::move(forward));
}

void WIWebImageManager::removeRunning(const std::shared_ptr<WIWebImageCombinedOperation>& operation) {
  std::lock_guard<std::mutex> lock(runningMutex_);
  std::erase(runningOperations_, operation);
}

void WIWebImageManager::saveImageToCache(const std::shared_ptr<UIImage>& image, const std::shared_ptr<NSURL>& url) {
  if (image && url) imageCache_->storeImage(image, cacheKeyForURL(url), true);
}

void WIWebImageManager::cancelAll() {
  std::vector<std::shared_ptr<WIWebImageCombinedOperation>> copied;
  {
    std::lock_guard<std::mutex> lock(runningMutex_);
    copied = runningOperations_;
  }
  // Cancelled outside the lock: a cancel block takes it to leave the list.
  for (const auto& operation : copied) operation->cancel();
  std::lock_guard<std::mutex> lock(runningMutex_);
  std::erase_if(runningOperations_, [&](const auto& operation) {
    return std::find(copied.begin(), copied.end(), operation) != copied.end();
  });
}

bool WIWebImageManager::isRunning() const {
  std::lock_guard<std::mutex> lock(runningMutex_);
  return !runningOperations_.empty();
}

size_t WIWebImageManager::runningOperationCount() const {
  std::lock_guard<std::mutex> lock(runningMutex_);
  return runningOperations_.size();
}

bool WIWebImageManager::isFailedURL(const std::shared_ptr<NSURL>& url) const {
  if (!url) return false;
  std::lock_guard<std::mutex> lock(failedMutex_);
  return failedURLs_.count(url->absoluteText()) > 0;
}

bool WIWebImageManager::cachedImageExistsForURL(const std::shared_ptr<NSURL>& url) const {
  auto key = cacheKeyForURL(url);
  if (imageCache_->imageFromMemoryCacheForKey(key)) return true;
  return imageCache_->diskImageExistsWithKey(key);
}

bool WIWebImageManager::diskImageExistsForURL(const std::shared_ptr<NSURL>& url) const {
  return imageCache_->diskImageExistsWithKey(cacheKeyForURL(url));
}

void WIWebImageManager::cachedImageExistsForURL(const std::shared_ptr<NSURL>& url,
                                                WIWebImageCheckCacheCompletionBlock completion) const {
  auto key = cacheKeyForURL(url);
  if (imageCache_->imageFromMemoryCacheForKey(key)) {
    if (completion) dispatch_async(dispatch_get_main_queue(), [completion] { completion(true); });
    return;
  }
  imageCache_->diskImageExistsWithKey(key, std::move(completion));
}

void WIWebImageManager::diskImageExistsForURL(const std::shared_ptr<NSURL>& url,
                                              WIWebImageCheckCacheCompletionBlock completion) const {
  imageCache_->diskImageExistsWithKey(cacheKeyForURL(url), std::move(completion));
}
