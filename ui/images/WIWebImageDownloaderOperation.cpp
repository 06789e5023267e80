#include "ui/images/WIWebImageDownloaderOperation.h"

#include <algorithm>

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSRunLoop.h"
#include "platform/graphics/CGBitmapContext.h"
#include "platform/graphics/CGImageSource.h"
#include "ui/images/UIImage+AnyFormat.h"
#include "ui/images/UIImage+Predecode.h"
#include "ui/images/WIWebImageManager.h"

namespace {

// Room made for the body when its length is announced: enough for most images at once, never
// more, so that an announced length cannot make us reserve memory the body never fills.
constexpr NSInteger kMaxInitialCapacity = 256 * 1024;

std::shared_ptr<NSError> errorWith(const std::shared_ptr<NSString>& domain, NSInteger code, const char* description) {
  return NSError::errorWithDomain(domain, code,
                                  NSDictionary::make({{NSLocalizedDescriptionKey, NSString::stringWithUTF8String(description)}}));
}

std::shared_ptr<NSString> cacheKeyFor(const std::shared_ptr<NSURLRequest>& request) {
  return WIWebImageManager::sharedManager()->cacheKeyForURL(request->URL());
}

}  // namespace

std::shared_ptr<WIWebImageDownloaderOperation> WIWebImageDownloaderOperation::initWithRequest(
    const std::shared_ptr<NSURLRequest>& request, WIImageDownloadOptions options, WIWebImageDownloaderProgressBlock progress,
    WIWebImageDownloaderCompletedBlock completed, WIWebImageDownloaderCancelBlock cancelled) {
  return std::make_shared<WIWebImageDownloaderOperation>(request, options, std::move(progress), std::move(completed),
                                                         std::move(cancelled));
}

WIWebImageDownloaderOperation::WIWebImageDownloaderOperation(std::shared_ptr<NSURLRequest> request, WIImageDownloadOptions options,
                                                             WIWebImageDownloaderProgressBlock progress,
                                                             WIWebImageDownloaderCompletedBlock completed,
                                                             WIWebImageDownloaderCancelBlock cancelled)
    : request_(std::move(request)),
      options_(options),
      progressBlock_(std::move(progress)),
      completedBlock_(std::move(completed)),
      cancelBlock_(std::move(cancelled)) {}

WIWebImageDownloaderOperation::~WIWebImageDownloaderOperation() = default;

std::shared_ptr<NSURLCredential> WIWebImageDownloaderOperation::credential() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return credential_;
}

void WIWebImageDownloaderOperation::setCredential(const std::shared_ptr<NSURLCredential>& credential) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  credential_ = credential;
}

std::shared_ptr<NSURLResponse> WIWebImageDownloaderOperation::response() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return response_;
}

std::shared_ptr<NSThread> WIWebImageDownloaderOperation::thread() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return thread_;
}

// -------------------------------------------------------------------------------- start

void WIWebImageDownloaderOperation::start() {
  std::shared_ptr<NSURLConnection> connection;
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (isCancelled()) {
      setFinished(true);
      reset();
      return;
    }
    if (shouldContinueWhenAppEntersBackground()) {
      application_ = UIApplication::sharedApplication();
      std::weak_ptr<WIWebImageDownloaderOperation> weak = me();
      backgroundTaskId_ = application_->beginBackgroundTaskWithExpirationHandler([weak] {
        if (auto strong = weak.lock()) {
          strong->cancel();
          strong->endBackgroundTask();
        }
      });
    }
    setExecuting(true);
    // A connection exists only for requests the URL loading can carry out (http and https).
    if (NSURLConnection::canHandleRequest(request_)) {
      std::shared_ptr<NSURLConnectionDelegate> delegate(me(), static_cast<NSURLConnectionDelegate*>(this));
      connection_ = NSURLConnection::initWithRequest(request_, delegate, false);
    }
    connection = connection_;
    thread_ = NSThread::currentThread();
  }

  if (connection) {
    connection->start();
    WIWebImageDownloaderProgressBlock progress;
    {
      std::lock_guard<std::recursive_mutex> lock(mutex_);
      progress = progressBlock_;
    }
    if (progress) progress(0, -1);
    postNotification(WIWebImageDownloadStartNotification);

    // Turns this thread's run loop until the download stops it. The port keeps the loop
    // waiting while the connection has nothing to watch yet (resolving, connecting).
    auto runLoop = NSRunLoop::currentRunLoop();
    auto keepAlive = NSPort::port();
    runLoop->addPort(keepAlive, NSDefaultRunLoopMode);
    runLoopStopped_ = false;
    while (!runLoopStopped_) runLoop->runMode(NSDefaultRunLoopMode, kDistantFutureTimeIntervalSince1970);
    runLoop->removePort(keepAlive, NSDefaultRunLoopMode);

    if (!isFinished()) {
      connection->cancel();
      auto userInfo = NSDictionary::make({{NSURLErrorFailingURLErrorKey, request_->URL()}});
      connectionDidFailWithError(connection, NSError::errorWithDomain(NSURLErrorDomain, NSURLErrorTimedOut, userInfo));
    }
  } else {
    WIWebImageDownloaderCompletedBlock completed;
    {
      std::lock_guard<std::recursive_mutex> lock(mutex_);
      completed = completedBlock_;
    }
    if (completed) completed(nullptr, nullptr, errorWith(NSURLErrorDomain, 0, "Connection can't be initialized"), true);
    // Reported and over: the operation finishes so that its queue slot goes to the next one.
    done();
  }
  endBackgroundTask();
}

void WIWebImageDownloaderOperation::endBackgroundTask() {
  std::shared_ptr<UIApplication> application;
  UIBackgroundTaskIdentifier task;
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    application = application_;
    task = backgroundTaskId_;
    backgroundTaskId_ = UIBackgroundTaskInvalid;
  }
  if (application && task != UIBackgroundTaskInvalid) application->endBackgroundTask(task);
}

// ------------------------------------------------------------------------------ cancelling

void WIWebImageDownloaderOperation::cancel() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (thread_) {
    std::weak_ptr<WIWebImageDownloaderOperation> weak = me();
    performOnThread(thread_, [weak] {
      if (auto strong = weak.lock()) strong->cancelInternalAndStop();
    }, false, {NSDefaultRunLoopMode});
  } else {
    cancelInternal();
  }
}

void WIWebImageDownloaderOperation::cancelInternalAndStop() {
  if (isFinished()) return;
  cancelInternal();
  stopRunLoop();
}

void WIWebImageDownloaderOperation::cancelInternal() {
  std::unique_lock<std::recursive_mutex> lock(mutex_);
  if (isFinished()) return;
  NSOperation::cancel();
  if (cancelBlock_) cancelBlock_();
  if (connection_) {
    connection_->cancel();
    postNotification(WIWebImageDownloadStopNotification);
    if (isExecuting()) setExecuting(false);
    if (!isFinished()) setFinished(true);
  }
  reset();
}

void WIWebImageDownloaderOperation::done() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  setFinished(true);
  setExecuting(false);
  reset();
}

void WIWebImageDownloaderOperation::reset() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  cancelBlock_ = nullptr;
  completedBlock_ = nullptr;
  progressBlock_ = nullptr;
  connection_ = nullptr;
  imageData_ = nullptr;
  thread_ = nullptr;
}

void WIWebImageDownloaderOperation::stopRunLoop() {
  // Always on the operation's own thread, inside a pass of its run loop: the pass returns
  // after this callback and the loop in start() sees the flag.
  runLoopStopped_ = true;
  NSRunLoop::currentRunLoop()->stop();
}

void WIWebImageDownloaderOperation::postNotification(const NSNotificationName& name) {
  auto object = me();
  zvt::images::deliverOnMain([object, name] { NSNotificationCenter::defaultCenter()->postNotificationName(name, object); });
}

// ------------------------------------------------------------------------ connection calls

void WIWebImageDownloaderOperation::connectionDidReceiveResponse(const Connection& connection,
                                                                 const std::shared_ptr<NSURLResponse>& response) {
  auto http = std::dynamic_pointer_cast<NSHTTPURLResponse>(response);
  NSInteger status = http ? http->statusCode() : 0;
  if (!http || (status < 400 && status != 304)) {
    NSInteger expected = response->expectedContentLength() > 0 ? static_cast<NSInteger>(response->expectedContentLength()) : 0;
    expectedSize_ = expected;
    WIWebImageDownloaderProgressBlock progress;
    {
      std::lock_guard<std::recursive_mutex> lock(mutex_);
      progress = progressBlock_;
    }
    if (progress) progress(0, expected);
    {
      std::lock_guard<std::recursive_mutex> lock(mutex_);
      imageData_ = NSMutableData::dataWithCapacity(static_cast<NSUInteger>(std::min(expected, kMaxInitialCapacity)));
      response_ = response;
    }
    postNotification(WIWebImageDownloadReceiveResponseNotification);
    return;
  }

  connection->cancel();
  postNotification(WIWebImageDownloadStopNotification);
  WIWebImageDownloaderCompletedBlock completed;
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    completed = completedBlock_;
  }
  if (completed) {
    if (status == 304) {
      // Not modified: what the requester has cached stays valid. Everyone waiting is told that
      // the download is over, without an image and without an error.
      completed(nullptr, nullptr, nullptr, true);
    } else {
      completed(nullptr, nullptr, NSError::errorWithDomain(NSURLErrorDomain, status), true);
    }
  }
  stopRunLoop();
  done();
}

void WIWebImageDownloaderOperation::connectionDidReceiveData(const Connection&, const std::shared_ptr<NSData>& data) {
  std::shared_ptr<NSData> soFar;
  WIWebImageDownloaderProgressBlock progress;
  bool partial;
  NSUInteger received;
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!imageData_) imageData_ = NSMutableData::data();
    imageData_->appendData(data);
    received = imageData_->length();
    partial = (options_ & WIImageDownloadProgressive) && expectedSize_ > 0 && completedBlock_;
    if (partial) soFar = NSData::dataWithData(imageData_);
    progress = progressBlock_;
  }
  if (partial) partialImage(soFar);
  if (progress) progress(static_cast<NSInteger>(received), expectedSize_);
}

void WIWebImageDownloaderOperation::partialImage(const std::shared_ptr<NSData>& bytesSoFar) {
  auto source = CGImageSourceCreateWithData(bytesSoFar, nullptr);
  if (!source) return;
  if (width_ + height_ == 0) {
    if (auto properties = CGImageSourceCopyPropertiesAtIndex(source, 0, nullptr)) {
      auto number = [&](const std::shared_ptr<NSString>& key) { return zvt::as<NSNumber>(properties->objectForKey(key)); };
      NSInteger orientation = -1;
      if (auto value = number(kCGImagePropertyPixelHeight)) height_ = static_cast<size_t>(std::max<int64_t>(0, value->longLongValue()));
      if (auto value = number(kCGImagePropertyPixelWidth)) width_ = static_cast<size_t>(std::max<int64_t>(0, value->longLongValue()));
      if (auto value = number(kCGImagePropertyOrientation)) orientation = value->intValue();
      orientation_ = orientationFromPropertyValue(orientation == -1 ? 1 : orientation);
    }
  }
  if (width_ + height_ == 0 || static_cast<NSInteger>(bytesSoFar->length()) >= expectedSize_) return;

  CGImageRef partial = CGImageSourceCreateImageAtIndex(source, 0, nullptr);
  if (!partial) return;
  const size_t partialHeight = CGImageGetHeight(partial);
  // Sizes come from the bytes: a bitmap is made only for a size the decoders would take.
  CGContextRef context = zvt::imageSizeAllowed(width_, height_)
                             ? CGBitmapContextCreate(nullptr, width_, height_, 8, width_ * 4, CGColorSpaceCreateDeviceRGB(),
                                                     kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Host)
                             : nullptr;
  if (!context) return;
  // The rows that arrived are the top of the picture; the rest stays transparent.
  const CGFloat w = static_cast<CGFloat>(width_), h = static_cast<CGFloat>(height_), ph = static_cast<CGFloat>(partialHeight);
  CGContextDrawImage(context, CGRectMake(0, h - ph, w, ph), partial);
  partial = CGBitmapContextCreateImage(context);
  if (!partial) return;

  auto image = UIImage::imageWithCGImage(partial, 1, orientation_);
  image = scaledImageForKey(cacheKeyFor(request_), image);
  if (shouldDecompressImages_) image = decodedImageWithImage(image);
  auto self = me();
  zvt::images::runOnMainSync([self, image] {
    WIWebImageDownloaderCompletedBlock completed;
    {
      std::lock_guard<std::recursive_mutex> lock(self->mutex_);
      completed = self->completedBlock_;
    }
    if (completed) completed(image, nullptr, nullptr, false);
  });
}

void WIWebImageDownloaderOperation::connectionDidFinishLoading(const Connection&) {
  WIWebImageDownloaderCompletedBlock completed;
  std::shared_ptr<NSMutableData> bytes;
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    completed = completedBlock_;
    bytes = imageData_;
    stopRunLoop();
    thread_ = nullptr;
    connection_ = nullptr;
    postNotification(WIWebImageDownloadStopNotification);
    postNotification(WIWebImageDownloadFinishNotification);
  }
  // This platform keeps no URL cache: a response that finishes here came from the network.
  responseFromCached_ = false;

  if (completed) {
    if ((options_ & WIImageDownloadIgnoreCachedResponse) && responseFromCached_) {
      completed(nullptr, nullptr, nullptr, true);
    } else if (bytes) {
      // The buffer is not touched again: its bytes become the result without a copy.
      auto data = NSData::dataWithVector(std::move(bytes->mutableVector()));
      auto image = scaledImageForKey(cacheKeyFor(request_), wi_imageWithData(data));
      bool animated = image && image->images() && image->images()->count() > 0;
      if (image && !animated && shouldDecompressImages_) image = decodedImageWithImage(image);
      if (!image || image->size().width == 0 || image->size().height == 0) {
        completed(nullptr, nullptr, errorWith(WIWebImageErrorDomain, 0, "Downloaded image has 0 pixels"), true);
      } else {
        completed(image, data, nullptr, true);
      }
    } else {
      completed(nullptr, nullptr, errorWith(WIWebImageErrorDomain, 0, "Image data is nil"), true);
    }
  }
  setCompletionBlock(nullptr);
  done();
}

void WIWebImageDownloaderOperation::connectionDidFailWithError(const Connection&, const std::shared_ptr<NSError>& error) {
  WIWebImageDownloaderCompletedBlock completed;
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    stopRunLoop();
    thread_ = nullptr;
    connection_ = nullptr;
    postNotification(WIWebImageDownloadStopNotification);
    completed = completedBlock_;
  }
  if (completed) completed(nullptr, nullptr, error, true);
  setCompletionBlock(nullptr);
  done();
}

std::shared_ptr<NSCachedURLResponse> WIWebImageDownloaderOperation::connectionWillCacheResponse(
    const Connection&, const std::shared_ptr<NSCachedURLResponse>& cachedResponse) {
  responseFromCached_ = false;
  if (request_->cachePolicy() == NSURLRequestReloadIgnoringLocalCacheData) return nullptr;
  return cachedResponse;
}

bool WIWebImageDownloaderOperation::connectionShouldUseCredentialStorage(const Connection&) {
  return shouldUseCredentialStorage_;
}

void WIWebImageDownloaderOperation::connectionWillSendRequestForAuthenticationChallenge(
    const Connection&, const std::shared_ptr<NSURLAuthenticationChallenge>& challenge) {
  auto sender = challenge->sender();
  if (!sender) return;
  auto space = challenge->protectionSpace();
  if (space && space->authenticationMethod() && space->authenticationMethod()->isEqualToString(NSURLAuthenticationMethodServerTrust)) {
    // The server is judged unless the caller accepted any certificate.
    if (!(options_ & WIImageDownloadAllowInvalidCertificates)) {
      sender->performDefaultHandlingForAuthenticationChallenge(challenge);
    } else {
      sender->useCredential(NSURLCredential::credentialForTrust(space->serverTrust()), challenge);
    }
    return;
  }
  auto credential = this->credential();
  if (challenge->previousFailureCount() == 0 && credential) {
    sender->useCredential(credential, challenge);
  } else {
    sender->continueWithoutCredentialForAuthenticationChallenge(challenge);
  }
}

// ---------------------------------------------------------------------------------- images

UIImageOrientation WIWebImageDownloaderOperation::orientationFromPropertyValue(NSInteger value) {
  return zvt::graphics::orientationFromEXIF(value);
}

std::shared_ptr<UIImage> WIWebImageDownloaderOperation::scaledImageForKey(const std::shared_ptr<NSString>& key,
                                                                          const std::shared_ptr<UIImage>& image) const {
  return zvt::images::scaledImageForKey(key, image);
}
