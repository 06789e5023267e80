#include "foundation/http/NWHTTPRequestOperation.h"

#include <cstdlib>
#include <typeinfo>
#include <utility>

#include "platform/foundation/NSException.h"
#include "platform/foundation/NSNumber.h"

dispatch_queue_t NWHTTPRequestOperation::processingQueue() {
  static const auto* queue =
      new dispatch_queue_t(dispatch_queue_create("com.netway.networking.http-request.processing", DISPATCH_QUEUE_CONCURRENT));
  return *queue;
}

const dispatch_group_t& NWHTTPRequestOperation::completionGroupDefault() {
  static const auto* group = new dispatch_group_t(dispatch_group_create());
  return *group;
}

std::shared_ptr<NWHTTPRequestOperation> NWHTTPRequestOperation::initWithRequest(const std::shared_ptr<NSURLRequest>& request) {
  return std::make_shared<NWHTTPRequestOperation>(request);
}

NWHTTPRequestOperation::NWHTTPRequestOperation(const std::shared_ptr<NSURLRequest>& request)
    : NWURLConnectionOperation(request), responseSerializer_(NWHTTPResponseSerializer::serializer()) {}

NWHTTPRequestOperation::NWHTTPRequestOperation(const std::shared_ptr<NSURLRequest>& request,
                                               const std::shared_ptr<NWHTTPResponseSerializer>& serializer,
                                               std::shared_ptr<NWSecurityPolicy> policy)
    : NWURLConnectionOperation(request, std::move(policy)), responseSerializer_(serializer) {
  if (!serializer) zvt::raise(NSInvalidArgumentException, "Invalid parameter not satisfying: responseSerializer");
}

NWHTTPRequestOperation::NWHTTPRequestOperation(const std::shared_ptr<NSURLRequest>& request,
                                               const std::shared_ptr<NWHTTPResponseSerializer>& serializer,
                                               std::shared_ptr<NWSecurityPolicy> policy, SuccessBlock&& success, FailureBlock&& failure)
    : NWHTTPRequestOperation(request, serializer, std::move(policy)) {
  success_ = std::move(success);
  failure_ = std::move(failure);
  initDeliversResult();
}

std::shared_ptr<NWHTTPResponseSerializer> NWHTTPRequestOperation::responseSerializer() const {
  std::lock_guard lock(lock_);
  return responseSerializer_;
}

void NWHTTPRequestOperation::setResponseSerializer(const std::shared_ptr<NWHTTPResponseSerializer>& serializer) {
  if (!serializer) zvt::raise(NSInvalidArgumentException, "Invalid parameter not satisfying: responseSerializer");
  std::lock_guard lock(lock_);
  responseSerializer_ = serializer;
  responseObject_.reset();
  responseSerializationError_.reset();
}

id NWHTTPRequestOperation::responseObject() {
  std::lock_guard lock(lock_);
  if (!responseObject_ && isFinished() && !error()) serializeResponse();
  return responseObject_;
}

void NWHTTPRequestOperation::serializeResponse() {
  std::shared_ptr<NSError> serializationError;
  responseObject_ = responseSerializer_->responseObjectForResponse(responseLocked(), responseDataLocked(), &serializationError);
  if (serializationError) responseSerializationError_ = std::move(serializationError);
}

std::shared_ptr<NSError> NWHTTPRequestOperation::error() const {
  std::lock_guard lock(lock_);
  if (responseSerializationError_) return responseSerializationError_;
  return NWURLConnectionOperation::error();
}

bool NWHTTPRequestOperation::serializesQuicklyLocked() const {
  if (!responseSerializer_) return false;
  // Only the plain and JSON serializers of the layer itself, on a reply of modest size: an
  // image or another serializer may take long enough to hold up the network thread's other
  // connections.
  const auto& type = typeid(*responseSerializer_);
  if (type != typeid(NWHTTPResponseSerializer) && type != typeid(NWJSONResponseSerializer)) return false;
  const auto& data = responseDataLocked();
  return !data || data->length() <= kQuickSerializationBytes;
}

id NWHTTPRequestOperation::finishedResult(std::shared_ptr<NSError>& error) {
  // What error() and responseObject() answer one after the other, under one hold of the lock.
  std::lock_guard lock(lock_);
  if (responseSerializationError_) {
    error = responseSerializationError_;
    return nullptr;
  }
  if ((error = errorLocked())) return nullptr;
  if (!responseObject_ && isFinished()) serializeResponse();
  error = responseSerializationError_;
  return responseObject_;
}

void NWHTTPRequestOperation::setCompletionBlockWithSuccess(SuccessBlock success, FailureBlock failure) {
  SuccessBlock oldSuccess;  // released outside the lock
  FailureBlock oldFailure;
  std::lock_guard lock(lock_);
  oldSuccess = std::exchange(success_, std::move(success));
  oldFailure = std::exchange(failure_, std::move(failure));
  // The operation holds the blocks until it has finished; the delivery then runs once, where the
  // operation finishes (the network thread), which spares a trip through the completion queue:
  // it only passes the work on to the processing queue. The blocks are moved along, never copied.
  setDeliversResult();
}

void NWHTTPRequestOperation::resultDeliveryDropped() {
  success_ = nullptr;
  failure_ = nullptr;
}

void NWHTTPRequestOperation::deliverResult() {
  // The blocks, queue and group are taken now (the group entered): a completion block set
  // later changes nothing of this delivery.
  Delivery delivery;
  bool quick;
  {
    std::lock_guard lock(lock_);
    delivery.success = std::move(success_);
    delivery.failure = std::move(failure_);
    success_ = nullptr;
    failure_ = nullptr;
    delivery.group = completionGroupLocked();
    delivery.queue = completionQueueLocked();
    quick = serializesQuicklyLocked();
  }
  if (delivery.group) dispatch_group_enter(delivery.group);
  // A short reply is serialized at once as a block of the processing queue on this thread
  // (never the main thread): handing it to a worker would cost a thread switch more than
  // the work itself.
  if (quick && !NSThread::isMainThread() &&
      zvt::runNowOnConcurrentQueue(processingQueue(), [this, &delivery] { deliver(delivery); })) [[likely]] {
    return;
  }
  deliverOnProcessingQueue(std::move(delivery));
}

void NWHTTPRequestOperation::deliverOnProcessingQueue(Delivery delivery) {
  auto self = std::static_pointer_cast<NWHTTPRequestOperation>(shared_from_this());
  dispatch_async(processingQueue(), [self = std::move(self), delivery = std::move(delivery)]() mutable { self->deliver(delivery); });
}

namespace {

// One block on the completion queue (the main queue by default), inside the completion group
// (the shared one by default).
template <class Block>
void postResult(const dispatch_group_t& group, const dispatch_queue_t& queue, Block block) {
  dispatch_group_enter(group);
  dispatch_async(queue ? queue : dispatch_get_main_queue(), [group, block = std::move(block)] {
    struct Leave {
      const dispatch_group_t& group;
      ~Leave() { dispatch_group_leave(group); }
    } leave{group};
    block();
  });
}

}  // namespace

void NWHTTPRequestOperation::deliver(Delivery& delivery) {
  std::shared_ptr<NSError> error;
  id object = finishedResult(error);
  if (error) [[unlikely]] {
    deliverFailure(delivery, error);
  } else if (delivery.success) {
    postResult(delivery.group ? delivery.group : completionGroupDefault(), delivery.queue,
               [self = std::static_pointer_cast<NWHTTPRequestOperation>(shared_from_this()), success = std::move(delivery.success),
                object = std::move(object)] { success(self, object); });
  }
  if (delivery.group) dispatch_group_leave(delivery.group);
}

void NWHTTPRequestOperation::deliverFailure(Delivery& delivery, const std::shared_ptr<NSError>& error) {
  if (!delivery.failure) return;
  postResult(delivery.group ? delivery.group : completionGroupDefault(), delivery.queue,
             [self = std::static_pointer_cast<NWHTTPRequestOperation>(shared_from_this()), failure = std::move(delivery.failure),
              error] { failure(self, error); });
}

void NWHTTPRequestOperation::pause() {
  std::lock_guard lock(lock_);
  NWURLConnectionOperation::pause();
  uint64_t offset = 0;
  auto stream = outputStream();
  if (auto current = zvt::as<NSNumber>(stream->propertyForKey(NSStreamFileCurrentOffsetKey))) {
    offset = current->unsignedLongLongValue();
  } else if (auto written = zvt::as<NSData>(stream->propertyForKey(NSStreamDataWrittenToMemoryStreamKey))) {
    offset = written->length();
  }
  auto mutableRequest = request()->mutableCopy();
  if (auto http = httpResponse()) {
    if (auto etag = http->valueForHTTPHeaderField("ETag")) mutableRequest->setValue(etag, "If-Range"_ns);
  }
  mutableRequest->setValue(NSString::stringWithFormat("bytes=%llu-", static_cast<unsigned long long>(offset)), "Range"_ns);
  setRequest(mutableRequest);
  resumeOffset_ = static_cast<int64_t>(offset);
}

std::shared_ptr<NSError> NWHTTPRequestOperation::checkResponse(const std::shared_ptr<NSURLResponse>& response) {
  int64_t offset;
  {
    std::lock_guard lock(lock_);
    offset = resumeOffset_;
  }
  if (offset <= 0) return nullptr;  // not a resumed download (the usual case)
  auto http = zvt::as<NSHTTPURLResponse>(response);
  if (!http) return nullptr;
  if (http->statusCode() == 206) {
    // Appending is right only when the reply continues exactly where the kept bytes end.
    auto range = http->valueForHTTPHeaderField("Content-Range");
    if (range && range->hasPrefix("bytes ")) {
      char* end = nullptr;
      long long start = std::strtoll(range->UTF8String() + 6, &end, 10);
      if (end && *end == '-' && start == offset) return nullptr;
    }
  } else if (http->statusCode() < 200 || http->statusCode() > 299) {
    return nullptr;  // an error reply: the response serializer judges it
  }
  // The server sent the whole body again (or another range): start the output over.
  if (http->statusCode() != 206 && resetOutputStream()) return nullptr;
  auto info = NSMutableDictionary::dictionary();
  info->setObject("The resumed download's reply does not continue the bytes already received."_ns, NSLocalizedDescriptionKey);
  if (response->URL()) info->setObject(response->URL(), NSURLErrorFailingURLErrorKey);
  return NSError::errorWithDomain(NSURLErrorDomain, NSURLErrorBadServerResponse, info);
}

id NWHTTPRequestOperation::copyWithZone() const {
  auto copy = std::make_shared<NWHTTPRequestOperation>(request());
  copyBlocksInto(*copy);
  copy->setResponseSerializer(std::static_pointer_cast<NWHTTPResponseSerializer>(responseSerializer()->copyWithZone()));
  return copy;
}
