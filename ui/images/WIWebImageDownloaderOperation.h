#pragma once
// One image download: a concurrent operation that drives a URL connection on the run loop of
// the thread its queue starts it on (that thread is kept busy until the download ends), can
// decode partial images as bytes arrive, and turns the finished bytes into a decoded image of
// the scale its cache key names. It reports through three blocks given at creation and four
// notifications posted on the main queue with the operation as object.
//
// Every connection callback and the progress and completed blocks run on the operation's
// thread, except partial images, which are delivered on the main thread. `cancel` from
// another thread is handed to the operation's thread, which stops its run loop.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSOperation.h"
#include "platform/foundation/NSThread.h"
#include "platform/graphics/UIImage.h"
#include "platform/network/NSURLAuthenticationChallenge.h"
#include "platform/network/NSURLConnection.h"
#include "platform/network/NSURLRequest.h"
#include "platform/uikit/UIApplication.h"
#include "ui/images/WIWebImageCompat.h"

using WIImageDownloadOptions = NSUInteger;
inline constexpr WIImageDownloadOptions WIImageDownloadLowPriority = 1;
inline constexpr WIImageDownloadOptions WIImageDownloadProgressive = 2;
inline constexpr WIImageDownloadOptions WIImageDownloadUseURLCache = 4;
inline constexpr WIImageDownloadOptions WIImageDownloadIgnoreCachedResponse = 8;
inline constexpr WIImageDownloadOptions WIImageDownloadContinueInBackground = 16;
inline constexpr WIImageDownloadOptions WIImageDownloadHandleCookies = 32;
inline constexpr WIImageDownloadOptions WIImageDownloadAllowInvalidCertificates = 64;
inline constexpr WIImageDownloadOptions WIImageDownloadHighPriority = 128;

using WIWebImageDownloaderProgressBlock = std::function<void(NSInteger receivedSize, NSInteger expectedSize)>;
using WIWebImageDownloaderCompletedBlock = std::function<void(const std::shared_ptr<UIImage>& image,
                                                              const std::shared_ptr<NSData>& data,
                                                              const std::shared_ptr<NSError>& error, bool finished)>;
using WIWebImageDownloaderCancelBlock = std::function<void()>;

inline const zvt::StaticString WIWebImageDownloadStartNotification{"WIWebImageDownloadStartNotification"};
inline const zvt::StaticString WIWebImageDownloadReceiveResponseNotification{"WIWebImageDownloadReceiveResponseNotification"};
inline const zvt::StaticString WIWebImageDownloadStopNotification{"WIWebImageDownloadStopNotification"};
inline const zvt::StaticString WIWebImageDownloadFinishNotification{"WIWebImageDownloadFinishNotification"};

class WIWebImageDownloaderOperation : public NSOperation, public WIWebImageOperation, public NSURLConnectionDelegate {
 public:
  // initWithRequest:options:progress:completed:cancelled:
  static std::shared_ptr<WIWebImageDownloaderOperation> initWithRequest(const std::shared_ptr<NSURLRequest>& request,
                                                                        WIImageDownloadOptions options,
                                                                        WIWebImageDownloaderProgressBlock progress,
                                                                        WIWebImageDownloaderCompletedBlock completed,
                                                                        WIWebImageDownloaderCancelBlock cancelled);
  WIWebImageDownloaderOperation(std::shared_ptr<NSURLRequest> request, WIImageDownloadOptions options,
                                WIWebImageDownloaderProgressBlock progress, WIWebImageDownloaderCompletedBlock completed,
                                WIWebImageDownloaderCancelBlock cancelled);
  ~WIWebImageDownloaderOperation() override;

  // Runs the download on the calling thread's run loop until it ends. A cancelled operation
  // finishes at once. A request no connection can be made for (a scheme the URL loading does
  // not handle) reports "Connection can't be initialized" and finishes.
  void start() override;
  void cancel() override;
  bool isConcurrent() const override { return true; }

  const std::shared_ptr<NSURLRequest>& request() const { return request_; }
  WIImageDownloadOptions options() const { return options_; }
  bool shouldDecompressImages() const { return shouldDecompressImages_; }
  void setShouldDecompressImages(bool value) { shouldDecompressImages_ = value; }
  bool shouldUseCredentialStorage() const { return shouldUseCredentialStorage_; }
  void setShouldUseCredentialStorage(bool value) { shouldUseCredentialStorage_ = value; }
  std::shared_ptr<NSURLCredential> credential() const;
  void setCredential(const std::shared_ptr<NSURLCredential>& credential);
  NSInteger expectedSize() const { return expectedSize_; }
  std::shared_ptr<NSURLResponse> response() const;
  // The thread whose run loop drives the connection while the download runs.
  std::shared_ptr<NSThread> thread() const;

  // +orientationFromPropertyValue: EXIF 1 to 8 to the image orientation; others are up.
  static UIImageOrientation orientationFromPropertyValue(NSInteger value);
  std::shared_ptr<UIImage> scaledImageForKey(const std::shared_ptr<NSString>& key, const std::shared_ptr<UIImage>& image) const;

  // Connection delegate.
  void connectionDidReceiveResponse(const Connection& connection, const std::shared_ptr<NSURLResponse>& response) override;
  void connectionDidReceiveData(const Connection& connection, const std::shared_ptr<NSData>& data) override;
  void connectionDidFinishLoading(const Connection& connection) override;
  void connectionDidFailWithError(const Connection& connection, const std::shared_ptr<NSError>& error) override;
  std::shared_ptr<NSCachedURLResponse> connectionWillCacheResponse(const Connection& connection,
                                                                   const std::shared_ptr<NSCachedURLResponse>& cachedResponse) override;
  bool connectionShouldUseCredentialStorage(const Connection& connection) override;
  void connectionWillSendRequestForAuthenticationChallenge(const Connection& connection,
                                                           const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) override;

 protected:
  bool shouldContinueWhenAppEntersBackground() const { return options_ & WIImageDownloadContinueInBackground; }

 private:
  std::shared_ptr<WIWebImageDownloaderOperation> me() {
    return std::static_pointer_cast<WIWebImageDownloaderOperation>(shared_from_this());
  }
  void cancelInternal();
  void cancelInternalAndStop();
  void done();
  void reset();
  // The run loop of the operation's thread stops turning for this download (on that thread).
  void stopRunLoop();
  void postNotification(const NSNotificationName& name);
  void partialImage(const std::shared_ptr<NSData>& bytesSoFar);
  void endBackgroundTask();

  const std::shared_ptr<NSURLRequest> request_;
  const WIImageDownloadOptions options_;
  std::atomic<bool> shouldDecompressImages_{true};
  std::atomic<bool> shouldUseCredentialStorage_{true};
  std::atomic<NSInteger> expectedSize_{0};

  mutable std::recursive_mutex mutex_;  // the operation's lock (@synchronized)
  std::shared_ptr<NSURLCredential> credential_;
  std::shared_ptr<NSURLResponse> response_;
  WIWebImageDownloaderProgressBlock progressBlock_;
  WIWebImageDownloaderCompletedBlock completedBlock_;
  WIWebImageDownloaderCancelBlock cancelBlock_;
  std::shared_ptr<NSMutableData> imageData_;
  std::shared_ptr<NSURLConnection> connection_;
  std::shared_ptr<NSThread> thread_;
  std::shared_ptr<UIApplication> application_;
  UIBackgroundTaskIdentifier backgroundTaskId_ = UIBackgroundTaskInvalid;

  // Read from the partial data once (operation thread only).
  size_t width_ = 0, height_ = 0;
  UIImageOrientation orientation_ = UIImageOrientationUp;
  bool responseFromCached_ = true;
  bool runLoopStopped_ = false;  // operation thread only
};
