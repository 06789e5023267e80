#pragma once
// Fetches image URLs: one operation queue of downloads (6 at once by default), a 15-second
// time-out and "Accept: image/*;q=0.8". Requests for a URL already being downloaded join that
// download: each requester's blocks are kept per URL (guarded by the concurrent barrier queue
// "com.velkontor.WIWebImageDownloaderBarrierQueue") and all are told when it ends.

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSOperation.h"
#include "platform/network/NSURL.h"
#include "ui/images/WIWebImageDownloaderOperation.h"

enum WIImageDownloadOrder : NSInteger {
  WIImageDownloadOrderFIFO = 0,
  WIImageDownloadOrderLIFO = 1,
};

using WIWebImageDownloaderHeadersFilterBlock =
    std::function<std::shared_ptr<NSDictionary>(const std::shared_ptr<NSURL>& url, const std::shared_ptr<NSDictionary>& headers)>;

// The class made per download (setOperationClass:): a factory with the operation's initialiser.
using WIWebImageDownloaderOperationFactory = std::function<std::shared_ptr<WIWebImageDownloaderOperation>(
    const std::shared_ptr<NSURLRequest>& request, WIImageDownloadOptions options, WIWebImageDownloaderProgressBlock progress,
    WIWebImageDownloaderCompletedBlock completed, WIWebImageDownloaderCancelBlock cancelled)>;

// A requester that joined a download: what cancelling its own part needs.
class WIWebImageDownloaderToken;

class WIWebImageDownloader : public NSObject {
 public:
  static std::shared_ptr<WIWebImageDownloader> sharedDownloader();
  // new
  static std::shared_ptr<WIWebImageDownloader> make();
  WIWebImageDownloader() = default;
  ~WIWebImageDownloader() override;

  // The new operation, or nil when the request joined a running download or the URL is nil
  // (then `completed` gets (nil, nil, nil, NO) at once).
  std::shared_ptr<WIWebImageDownloaderOperation> downloadImageWithURL(const std::shared_ptr<NSURL>& url,
                                                                      WIImageDownloadOptions options,
                                                                      WIWebImageDownloaderProgressBlock progress,
                                                                      WIWebImageDownloaderCompletedBlock completed);
  // The same, also answering the requester's own part of the download, which
  // cancelRequester takes: cancelling one of several requesters of a URL drops only its blocks.
  std::shared_ptr<WIWebImageDownloaderOperation> downloadImageWithURL(const std::shared_ptr<NSURL>& url,
                                                                      WIImageDownloadOptions options,
                                                                      WIWebImageDownloaderProgressBlock progress,
                                                                      WIWebImageDownloaderCompletedBlock completed,
                                                                      std::shared_ptr<WIWebImageDownloaderToken>* requester);
  // Forgets the requester's blocks; the download itself is cancelled when no requester of its
  // URL is left. Returns whether the download was cancelled.
  bool cancelRequester(const std::shared_ptr<WIWebImageDownloaderToken>& requester);

  // setValue:forHTTPHeaderField: (nil removes the field) and valueForHTTPHeaderField:
  void setValue(const std::shared_ptr<NSString>& value, const std::shared_ptr<NSString>& field);
  std::shared_ptr<NSString> valueForHTTPHeaderField(const std::shared_ptr<NSString>& field) const;

  NSInteger maxConcurrentDownloads() const { return downloadQueue_->maxConcurrentOperationCount(); }
  void setMaxConcurrentDownloads(NSInteger count) { downloadQueue_->setMaxConcurrentOperationCount(count); }
  NSUInteger currentDownloadCount() const { return downloadQueue_->operationCount(); }
  // nil restores WIWebImageDownloaderOperation.
  void setOperationClass(WIWebImageDownloaderOperationFactory factory);
  void setSuspended(bool suspended) { downloadQueue_->setSuspended(suspended); }

  bool shouldDecompressImages() const { return shouldDecompressImages_; }
  void setShouldDecompressImages(bool value) { shouldDecompressImages_ = value; }
  // 0 also means 15 seconds.
  NSTimeInterval downloadTimeout() const { return downloadTimeout_; }
  void setDownloadTimeout(NSTimeInterval seconds) { downloadTimeout_ = seconds; }
  WIImageDownloadOrder executionOrder() const { return executionOrder_; }
  void setExecutionOrder(WIImageDownloadOrder order) { executionOrder_ = order; }
  std::shared_ptr<NSURLCredential> urlCredential() const;
  void setUrlCredential(const std::shared_ptr<NSURLCredential>& credential);
  std::shared_ptr<NSString> username() const;
  void setUsername(const std::shared_ptr<NSString>& username);
  std::shared_ptr<NSString> password() const;
  void setPassword(const std::shared_ptr<NSString>& password);
  void setHeadersFilter(WIWebImageDownloaderHeadersFilterBlock filter);

  const std::shared_ptr<NSOperationQueue>& downloadQueue() const { return downloadQueue_; }
  const dispatch_queue_t& barrierQueue() const { return barrierQueue_; }
  // The URLs with requesters waiting (for diagnostics and tests).
  size_t URLCallbacksCount() const;

 private:
  struct Callback {
    uint64_t serial = 0;
    WIWebImageDownloaderProgressBlock progress;
    WIWebImageDownloaderCompletedBlock completed;
  };
  struct Download {
    std::vector<Callback> callbacks;
    std::weak_ptr<WIWebImageDownloaderOperation> operation;
    // How many of the callbacks have a progress block, readable without the barrier queue: a
    // download nobody follows reports its progress without waiting for the queue.
    std::shared_ptr<std::atomic<size_t>> progressListeners = std::make_shared<std::atomic<size_t>>(0);
  };
  void setUp();
  std::shared_ptr<WIWebImageDownloaderOperation> createDownload(const std::shared_ptr<NSURL>& url, WIImageDownloadOptions options,
                                                                std::shared_ptr<std::atomic<size_t>> progressListeners);

  std::shared_ptr<NSOperationQueue> downloadQueue_;
  std::weak_ptr<NSOperation> lastAddedOperation_;  // barrier queue only
  dispatch_queue_t barrierQueue_;
  // Every URL with requesters; barrier queue only. Keyed by the URL's text.
  std::map<std::string, Download> URLCallbacks_;
  uint64_t nextSerial_ = 0;  // barrier queue only

  mutable std::mutex settingsMutex_;  // headers, credentials, filter, factory
  std::shared_ptr<NSMutableDictionary> HTTPHeaders_;
  std::shared_ptr<NSURLCredential> urlCredential_;
  std::shared_ptr<NSString> username_, password_;
  WIWebImageDownloaderHeadersFilterBlock headersFilter_;
  WIWebImageDownloaderOperationFactory operationClass_;
  std::atomic<bool> shouldDecompressImages_{true};
  std::atomic<NSTimeInterval> downloadTimeout_{15.0};
  std::atomic<WIImageDownloadOrder> executionOrder_{WIImageDownloadOrderFIFO};
};

class WIWebImageDownloaderToken : public NSObject {
 public:
  WIWebImageDownloaderToken(std::string url, uint64_t serial) : url_(std::move(url)), serial_(serial) {}
  const std::string& url() const { return url_; }
  uint64_t serial() const { return serial_; }

 private:
  std::string url_;
  uint64_t serial_;
};
