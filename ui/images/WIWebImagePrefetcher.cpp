#include "ui/images/WIWebImagePrefetcher.h"

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSString.h"

std::shared_ptr<WIWebImagePrefetcher> WIWebImagePrefetcher::sharedImagePrefetcher() {
  static auto* shared = new std::shared_ptr<WIWebImagePrefetcher>(make());
  return *shared;
}

std::shared_ptr<WIWebImagePrefetcher> WIWebImagePrefetcher::make() { return initWithImageManager(WIWebImageManager::make()); }

std::shared_ptr<WIWebImagePrefetcher> WIWebImagePrefetcher::initWithImageManager(const std::shared_ptr<WIWebImageManager>& manager) {
  auto prefetcher = std::make_shared<WIWebImagePrefetcher>();
  prefetcher->manager_ = manager;
  prefetcher->options_ = WIImageLoadLowPriority;
  prefetcher->prefetcherQueue_ = dispatch_get_main_queue();
  prefetcher->setMaxConcurrentDownloads(3);
  return prefetcher;
}

NSUInteger WIWebImagePrefetcher::maxConcurrentDownloads() const {
  return static_cast<NSUInteger>(manager_->imageDownloader()->maxConcurrentDownloads());
}

void WIWebImagePrefetcher::setMaxConcurrentDownloads(NSUInteger count) {
  manager_->imageDownloader()->setMaxConcurrentDownloads(static_cast<NSInteger>(count));
}

NSUInteger WIWebImagePrefetcher::requestedCount() const { return requestedCount_; }
NSUInteger WIWebImagePrefetcher::finishedCount() const { return finishedCount_; }
NSUInteger WIWebImagePrefetcher::skippedCount() const { return skippedCount_; }

void WIWebImagePrefetcher::prefetchURLs(const std::shared_ptr<NSArray>& urls) { prefetchURLs(urls, nullptr, nullptr); }

void WIWebImagePrefetcher::prefetchURLs(const std::shared_ptr<NSArray>& urls, WIWebImagePrefetcherProgressBlock progress,
                                        WIWebImagePrefetcherCompletionBlock completion) {
  cancelPrefetching();
  startedTime_ = Clock::nowNanos() * 1e-9;
  prefetchURLs_ = urls;
  progressBlock_ = std::move(progress);
  completionBlock_ = std::move(completion);
  const NSUInteger count = urls ? urls->count() : 0;
  if (count == 0) {
    if (completionBlock_) completionBlock_(0, 0);
    return;
  }
  const NSUInteger slots = std::max<NSUInteger>(1, maxConcurrentDownloads());
  // A cached URL answers at once, and its answer starts the next one: the batch goes on from
  // the first URL not yet asked for, not from its own count.
  for (NSUInteger i = 0; i < slots && requestedCount_ < count; ++i) startPrefetchingAtIndex(requestedCount_);
}

void WIWebImagePrefetcher::startPrefetchingAtIndex(NSUInteger index) {
  if (!prefetchURLs_ || index >= prefetchURLs_->count()) return;
  ++requestedCount_;
  const id item = prefetchURLs_->objectAtIndex(index);
  std::shared_ptr<NSURL> url = zvt::as<NSURL>(item);
  if (!url) {
    if (auto text = zvt::as<NSString>(item)) url = NSURL::URLWithString(text);
  }
  std::weak_ptr<WIWebImagePrefetcher> weak = std::static_pointer_cast<WIWebImagePrefetcher>(self());
  const NSUInteger generation = generation_;
  manager_->downloadImageWithURL(item, options_, nullptr,
                                 [weak, generation, url](const std::shared_ptr<UIImage>& image, const std::shared_ptr<NSError>&,
                                                         WIImageCacheSource, bool finished, const std::shared_ptr<NSURL>&) {
                                   auto me = weak.lock();
                                   if (me && finished) me->answered(generation, url, image != nullptr);
                                 });
}

void WIWebImagePrefetcher::answered(NSUInteger generation, const std::shared_ptr<NSURL>& url, bool withImage) {
  if (generation != generation_ || !prefetchURLs_) return;
  const NSUInteger total = prefetchURLs_->count();
  ++finishedCount_;
  if (!withImage) ++skippedCount_;
  if (progressBlock_) progressBlock_(finishedCount_, total);
  auto me = std::static_pointer_cast<WIWebImagePrefetcher>(self());
  if (auto delegate = this->delegate(); delegate && delegate->respondsToDidPrefetchURL()) {
    delegate->imagePrefetcherDidPrefetchURL(me, url, finishedCount_, total);
  }
  if (requestedCount_ < total) {
    // A slot came free: the next URL of the list.
    startPrefetchingAtIndex(requestedCount_);
  } else if (finishedCount_ == requestedCount_) {
    reportStatus();
    auto completion = std::move(completionBlock_);
    completionBlock_ = nullptr;
    progressBlock_ = nullptr;
    if (completion) completion(finishedCount_, skippedCount_);
  }
}

void WIWebImagePrefetcher::reportStatus() {
  const NSUInteger total = prefetchURLs_ ? prefetchURLs_->count() : 0;
  if (auto delegate = this->delegate(); delegate && delegate->respondsToDidFinish()) {
    delegate->imagePrefetcherDidFinish(std::static_pointer_cast<WIWebImagePrefetcher>(self()), total - skippedCount_, skippedCount_);
  }
}

void WIWebImagePrefetcher::cancelPrefetching() {
  ++generation_;
  prefetchURLs_ = nullptr;
  skippedCount_ = 0;
  requestedCount_ = 0;
  finishedCount_ = 0;
  manager_->cancelAll();
}
