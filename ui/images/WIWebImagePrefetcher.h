#pragma once
// Warms the image cache with a list of URLs, a few at a time, through an image manager; the
// program itself does not use it.

#include <functional>
#include <memory>
#include <mutex>

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSArray.h"
#include "ui/images/WIWebImageManager.h"

class WIWebImagePrefetcher;

// WIWebImagePrefetcherDelegate: both methods optional (respondsToSelector: is answered by the
// two respondsTo... members).
class WIWebImagePrefetcherDelegate {
 public:
  virtual ~WIWebImagePrefetcherDelegate() = default;
  virtual bool respondsToDidPrefetchURL() const { return false; }
  virtual bool respondsToDidFinish() const { return false; }
  // imagePrefetcher:didPrefetchURL:finishedCount:totalCount:
  virtual void imagePrefetcherDidPrefetchURL(const std::shared_ptr<WIWebImagePrefetcher>& /*prefetcher*/,
                                             const std::shared_ptr<NSURL>& /*url*/, NSUInteger /*finishedCount*/,
                                             NSUInteger /*totalCount*/) {}
  // imagePrefetcher:didFinishWithTotalCount:skippedCount:
  virtual void imagePrefetcherDidFinish(const std::shared_ptr<WIWebImagePrefetcher>& /*prefetcher*/, NSUInteger /*totalCount*/,
                                        NSUInteger /*skippedCount*/) {}
};

using WIWebImagePrefetcherProgressBlock = std::function<void(NSUInteger finishedCount, NSUInteger totalCount)>;
using WIWebImagePrefetcherCompletionBlock = std::function<void(NSUInteger finishedCount, NSUInteger skippedCount)>;

class WIWebImagePrefetcher : public NSObject {
 public:
  static std::shared_ptr<WIWebImagePrefetcher> sharedImagePrefetcher();
  // init: a manager of its own (over the shared cache and downloader).
  static std::shared_ptr<WIWebImagePrefetcher> make();
  // initWithImageManager: options WIImageLoadLowPriority, 3 downloads at once (set on the
  // manager's downloader).
  static std::shared_ptr<WIWebImagePrefetcher> initWithImageManager(const std::shared_ptr<WIWebImageManager>& manager);
  WIWebImagePrefetcher() = default;

  NSUInteger maxConcurrentDownloads() const;
  void setMaxConcurrentDownloads(NSUInteger count);
  WIImageLoadOptions options() const { return options_; }
  void setOptions(WIImageLoadOptions options) { options_ = options; }
  const dispatch_queue_t& prefetcherQueue() const { return prefetcherQueue_; }
  void setPrefetcherQueue(const dispatch_queue_t& queue) { prefetcherQueue_ = queue; }
  std::shared_ptr<WIWebImagePrefetcherDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<WIWebImagePrefetcherDelegate>& delegate) { delegate_ = delegate; }
  const std::shared_ptr<WIWebImageManager>& manager() const { return manager_; }

  // Loads the list (cancelling an earlier one): the first maxConcurrentDownloads at once, and
  // the next each time one ends, until every URL was asked for. The progress block hears of
  // each URL finished, the completion of the whole list: (finished, skipped).
  void prefetchURLs(const std::shared_ptr<NSArray>& urls);
  void prefetchURLs(const std::shared_ptr<NSArray>& urls, WIWebImagePrefetcherProgressBlock progress,
                    WIWebImagePrefetcherCompletionBlock completion);
  void cancelPrefetching();
  void startPrefetchingAtIndex(NSUInteger index);
  void reportStatus();

  NSUInteger requestedCount() const;
  NSUInteger finishedCount() const;
  NSUInteger skippedCount() const;

 private:
  void answered(NSUInteger generation, const std::shared_ptr<NSURL>& url, bool withImage);

  std::shared_ptr<WIWebImageManager> manager_;
  WIImageLoadOptions options_ = WIImageLoadLowPriority;
  dispatch_queue_t prefetcherQueue_;
  std::weak_ptr<WIWebImagePrefetcherDelegate> delegate_;

  // Main thread (the manager delivers there); the generation tells a cancelled list's late
  // answers from the current list's.
  std::shared_ptr<NSArray> prefetchURLs_;
  NSUInteger generation_ = 0;
  NSUInteger requestedCount_ = 0, skippedCount_ = 0, finishedCount_ = 0;
  double startedTime_ = 0;
  WIWebImagePrefetcherProgressBlock progressBlock_;
  WIWebImagePrefetcherCompletionBlock completionBlock_;
};
