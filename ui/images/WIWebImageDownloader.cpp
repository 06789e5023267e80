#include "ui/images/WIWebImageDownloader.h"

#include "platform/foundation/NSArray.h"
#include "platform/network/NSURLRequest.h"
#include "ui/images/WIWebImageCompat.h"

namespace {
constexpr const char* kBarrierQueueLabel = "com.velkontor.WIWebImageDownloaderBarrierQueue";
constexpr NSTimeInterval kDefaultTimeout = 15.0;
}  // namespace

std::shared_ptr<WIWebImageDownloader> WIWebImageDownloader::sharedDownloader() {
  // Never destroyed: downloads may still report while the process exits.
  static auto* shared = new std::shared_ptr<WIWebImageDownloader>(make());
  return *shared;
}

std::shared_ptr<WIWebImageDownloader> WIWebImageDownloader::make() {
  auto downloader = std::make_shared<WIWebImageDownloader>();
  downloader->setUp();
  return downloader;
}

void WIWebImageDownloader::setUp() {
  downloadQueue_ = NSOperationQueue::make();
  downloadQueue_->setMaxConcurrentOperationCount(6);
  HTTPHeaders_ = NSMutableDictionary::make({{"Accept"_ns, "image/*;q=0.8"_ns}});
  barrierQueue_ = dispatch_queue_create(kBarrierQueueLabel, DISPATCH_QUEUE_CONCURRENT);
}

WIWebImageDownloader::~WIWebImageDownloader() {
  if (downloadQueue_) downloadQueue_->cancelAllOperations();
}

// ---------------------------------------------------------------------------------- settings

void WIWebImageDownloader::setValue(const std::shared_ptr<NSString>& value, const std::shared_ptr<NSString>& field) {
  if (!field) return;
  std::lock_guard<std::mutex> lock(settingsMutex_);
  if (value) {
    HTTPHeaders_->setObject(value, field);
  } else {
    HTTPHeaders_->removeObjectForKey(field);
  }
}

std::shared_ptr<NSString> WIWebImageDownloader::valueForHTTPHeaderField(const std::shared_ptr<NSString>& field) const {
  if (!field) return nullptr;
  std::lock_guard<std::mutex> lock(settingsMutex_);
  return zvt::as<NSString>(HTTPHeaders_->objectForKey(field));
}

void WIWebImageDownloader::setOperationClass(WIWebImageDownloaderOperationFactory factory) {
  std::lock_guard<std::mutex> lock(settingsMutex_);
  operationClass_ = std::move(factory);
}

std::shared_ptr<NSURLCredential> WIWebImageDownloader::urlCredential() const {
  std::lock_guard<std::mutex> lock(settingsMutex_);
  return urlCredential_;
}

void WIWebImageDownloader::setUrlCredential(const std::shared_ptr<NSURLCredential>& credential) {
  std::lock_guard<std::mutex> lock(settingsMutex_);
  urlCredential_ = credential;
}

std::shared_ptr<NSString> WIWebImageDownloader::username() const {
  std::lock_guard<std::mutex> lock(settingsMutex_);
  return username_;
}

void WIWebImageDownloader::setUsername(const std::shared_ptr<NSString>& username) {
  std::lock_guard<std::mutex> lock(settingsMutex_);
  username_ = username;
}

std::shared_ptr<NSString> WIWebImageDownloader::password() const {
  std::lock_guard<std::mutex> lock(settingsMutex_);
  return password_;
}

void WIWebImageDownloader::setPassword(const std::shared_ptr<NSString>& password) {
  std::lock_guard<std::mutex> lock(settingsMutex_);
  password_ = password;
}

void WIWebImageDownloader::setHeadersFilter(WIWebImageDownloaderHeadersFilterBlock filter) {
  std::lock_guard<std::mutex> lock(settingsMutex_);
  headersFilter_ = std::move(filter);
}

size_t WIWebImageDownloader::URLCallbacksCount() const {
  size_t count = 0;
  dispatch_sync(barrierQueue_, [&] { count = URLCallbacks_.size(); });
  return count;
}

// --------------------------------------------------------------------------------- downloads

std::shared_ptr<WIWebImageDownloaderOperation> WIWebImageDownloader::downloadImageWithURL(
    const std::shared_ptr<NSURL>& url, WIImageDownloadOptions options, WIWebImageDownloaderProgressBlock progress,
    WIWebImageDownloaderCompletedBlock completed) {
  return downloadImageWithURL(url, options, std::move(progress), std::move(completed), nullptr);
}

std::shared_ptr<WIWebImageDownloaderOperation> WIWebImageDownloader::downloadImageWithURL(
    const std::shared_ptr<NSURL>& url, WIImageDownloadOptions options, WIWebImageDownloaderProgressBlock progress,
    WIWebImageDownloaderCompletedBlock completed, std::shared_ptr<WIWebImageDownloaderToken>* requester) {
  if (!url) {
    if (completed) completed(nullptr, nullptr, nullptr, false);
    return nullptr;
  }
  std::shared_ptr<WIWebImageDownloaderOperation> created;
  const std::string key = url->absoluteText();
  dispatch_barrier_sync(barrierQueue_, [&] {
    auto found = URLCallbacks_.find(key);
    const bool first = found == URLCallbacks_.end();
    if (first) found = URLCallbacks_.emplace(key, Download{}).first;
    const uint64_t serial = ++nextSerial_;
    if (progress) found->second.progressListeners->fetch_add(1);
    found->second.callbacks.push_back(Callback{serial, std::move(progress), std::move(completed)});
    if (requester) *requester = std::make_shared<WIWebImageDownloaderToken>(key, serial);
    if (first) {
      // The download's own number is that of its first requester: its reports touch the
      // entry only while the entry is still this download's.
      created = createDownload(url, options, found->second.progressListeners);
      found->second.operation = created;
    }
  });
  return created;
}

std::shared_ptr<WIWebImageDownloaderOperation> WIWebImageDownloader::createDownload(
    const std::shared_ptr<NSURL>& url, WIImageDownloadOptions options, std::shared_ptr<std::atomic<size_t>> progressListeners) {
  NSTimeInterval timeout = downloadTimeout_;
  if (timeout == 0.0) timeout = kDefaultTimeout;
  auto request = NSMutableURLRequest::requestWithURL(
      url, (options & WIImageDownloadUseURLCache) ? NSURLRequestUseProtocolCachePolicy : NSURLRequestReloadIgnoringLocalCacheData,
      timeout);
  request->setHTTPShouldHandleCookies(options & WIImageDownloadHandleCookies);
  request->setHTTPShouldUsePipelining(true);

  WIWebImageDownloaderOperationFactory factory;
  std::shared_ptr<NSURLCredential> credential;
  {
    std::lock_guard<std::mutex> lock(settingsMutex_);
    auto headers = HTTPHeaders_;
    request->setAllHTTPHeaderFields(headersFilter_ ? headersFilter_(url, headers->copy()) : headers);
    factory = operationClass_;
    credential = urlCredential_;
    if (!credential && username_ && password_) {
      credential = NSURLCredential::credentialWithUser(username_, password_, NSURLCredentialPersistenceForSession);
    }
  }

  const std::string key = url->absoluteText();
  std::weak_ptr<WIWebImageDownloader> weak = std::static_pointer_cast<WIWebImageDownloader>(self());
  auto download = std::make_shared<std::weak_ptr<WIWebImageDownloaderOperation>>();
  // Whether the URL's entry still belongs to the download reporting (a cancelled download's
  // late report must not touch the entry of a newer download of the same URL).
  auto ownsEntry = [key, download](WIWebImageDownloader& me) {
    auto found = me.URLCallbacks_.find(key);
    return found != me.URLCallbacks_.end() && !found->second.operation.owner_before(*download) &&
           !download->owner_before(found->second.operation);
  };

  WIWebImageDownloaderProgressBlock progress = [weak, key, ownsEntry, progressListeners](NSInteger received, NSInteger expected) {
    // Most downloads have no progress block at all (every view load): their reports end here
    // instead of meeting the barriers of the other downloads' ends.
    if (progressListeners->load() == 0) return;
    auto me = weak.lock();
    if (!me) return;
    std::vector<WIWebImageDownloaderProgressBlock> blocks;
    dispatch_sync(me->barrierQueue_, [&] {
      if (!ownsEntry(*me)) return;
      for (const auto& callback : me->URLCallbacks_[key].callbacks) {
        if (callback.progress) blocks.push_back(callback.progress);
      }
    });
    for (auto& block : blocks) {
      zvt::images::deliverOnMain([block, received, expected] { block(received, expected); });
    }
  };
  WIWebImageDownloaderCompletedBlock completed = [weak, key, ownsEntry](const std::shared_ptr<UIImage>& image,
                                                                        const std::shared_ptr<NSData>& data,
                                                                        const std::shared_ptr<NSError>& error, bool finished) {
    auto me = weak.lock();
    if (!me) return;
    std::vector<WIWebImageDownloaderCompletedBlock> blocks;
    dispatch_barrier_sync(me->barrierQueue_, [&] {
      if (!ownsEntry(*me)) return;
      for (const auto& callback : me->URLCallbacks_[key].callbacks) {
        if (callback.completed) blocks.push_back(callback.completed);
      }
      if (finished) me->URLCallbacks_.erase(key);
    });
    for (auto& block : blocks) block(image, data, error, finished);
  };
  WIWebImageDownloaderCancelBlock cancelled = [weak, key, ownsEntry] {
    auto me = weak.lock();
    if (!me) return;
    dispatch_barrier_async(me->barrierQueue_, [me, key, ownsEntry] {
      if (ownsEntry(*me)) me->URLCallbacks_.erase(key);
    });
  };

  auto operation = factory ? factory(request, options, std::move(progress), std::move(completed), std::move(cancelled))
                           : WIWebImageDownloaderOperation::initWithRequest(request, options, std::move(progress),
                                                                           std::move(completed), std::move(cancelled));
  if (!operation) return nullptr;
  *download = operation;
  operation->setShouldDecompressImages(shouldDecompressImages_);
  if (credential) operation->setCredential(credential);
  if (options & WIImageDownloadHighPriority) {
    operation->setQueuePriority(NSOperationQueuePriorityHigh);
  } else if (options & WIImageDownloadLowPriority) {
    operation->setQueuePriority(NSOperationQueuePriorityLow);
  }
  if (executionOrder_ == WIImageDownloadOrderLIFO) {
    // The newest request goes first: the one before waits for it (made to wait before the new
    // one is queued, so that a slot freed meanwhile cannot go to the older one).
    if (auto previous = lastAddedOperation_.lock()) previous->addDependency(operation);
    lastAddedOperation_ = operation;
  }
  downloadQueue_->addOperation(operation);
  return operation;
}

bool WIWebImageDownloader::cancelRequester(const std::shared_ptr<WIWebImageDownloaderToken>& requester) {
  if (!requester) return false;
  std::shared_ptr<WIWebImageDownloaderOperation> orphaned;
  dispatch_barrier_sync(barrierQueue_, [&] {
    auto found = URLCallbacks_.find(requester->url());
    if (found == URLCallbacks_.end()) return;
    auto& callbacks = found->second.callbacks;
    std::erase_if(callbacks, [&](const Callback& c) {
      if (c.serial != requester->serial()) return false;
      if (c.progress) found->second.progressListeners->fetch_sub(1);
      return true;
    });
    if (callbacks.empty()) {
      orphaned = found->second.operation.lock();
      URLCallbacks_.erase(found);
    }
  });
  // Outside the barrier: the operation's cancel block queues a barrier block of its own.
  if (orphaned) orphaned->cancel();
  return orphaned != nullptr;
}
