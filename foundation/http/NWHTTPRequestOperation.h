// The connection operation with a response serializer: when the connection ends the reply is
// serialized on the processing queue and the success or failure block runs on the completion
// queue (the main queue by default).
#pragma once

#include <functional>
#include <memory>

#include "foundation/http/NWURLConnectionOperation.h"
#include "foundation/http/NWURLResponseSerialization.h"

class NWHTTPRequestOperation : public NWURLConnectionOperation {
 public:
  using SuccessBlock = std::function<void(const std::shared_ptr<NWHTTPRequestOperation>&, const id&)>;
  using FailureBlock = std::function<void(const std::shared_ptr<NWHTTPRequestOperation>&, const std::shared_ptr<NSError>&)>;

  static std::shared_ptr<NWHTTPRequestOperation> initWithRequest(const std::shared_ptr<NSURLRequest>& request);
  explicit NWHTTPRequestOperation(const std::shared_ptr<NSURLRequest>& request);
  // The same with the response serializer and security policy given at once (what the manager
  // would set right after), so that no default ones are made for nothing.
  NWHTTPRequestOperation(const std::shared_ptr<NSURLRequest>& request, const std::shared_ptr<NWHTTPResponseSerializer>& serializer,
                         std::shared_ptr<NWSecurityPolicy> policy);
  // ... and with the result blocks too (as setCompletionBlockWithSuccess right after).
  NWHTTPRequestOperation(const std::shared_ptr<NSURLRequest>& request, const std::shared_ptr<NWHTTPResponseSerializer>& serializer,
                         std::shared_ptr<NWSecurityPolicy> policy, SuccessBlock&& success, FailureBlock&& failure);

  std::shared_ptr<NSHTTPURLResponse> httpResponse() const { return zvt::as<NSHTTPURLResponse>(response()); }
  std::shared_ptr<NWHTTPResponseSerializer> responseSerializer() const;
  void setResponseSerializer(const std::shared_ptr<NWHTTPResponseSerializer>& serializer);
  // Made on the first read after the operation finished without a connection error.
  id responseObject();
  // The serialization error when there is one, else the connection's.
  std::shared_ptr<NSError> error() const override;

  void setCompletionBlockWithSuccess(SuccessBlock success, FailureBlock failure);
  // Pauses and prepares the resumption: "Range" from the bytes kept, "If-Range" from the ETag.
  void pause() override;

  id copyWithZone() const override;

  // The concurrent queue "com.netway.networking.http-request.processing".
  static dispatch_queue_t processingQueue();
  static const dispatch_group_t& completionGroupDefault();

 protected:
  // Replies up to this size through the plain or JSON serializer are serialized on the thread
  // that finishes the operation (as a block of the processing queue).
  static constexpr NSUInteger kQuickSerializationBytes = 64 * 1024;
  bool serializesQuicklyLocked() const;  // under lock_
  std::shared_ptr<NSError> checkResponse(const std::shared_ptr<NSURLResponse>& response) override;
  // The finished operation's response object, or nil with the error that refused it.
  id finishedResult(std::shared_ptr<NSError>& error);
  void deliverResult() override;
  void resultDeliveryDropped() override;

 private:
  // What a delivery hands on: the result blocks, and the completion queue and group (nil: the
  // defaults).
  struct Delivery {
    SuccessBlock success;
    FailureBlock failure;
    dispatch_group_t group;
    dispatch_queue_t queue;
  };
  // Serializes the finished operation's result and queues the block it calls; leaves the group.
  void deliver(Delivery& delivery);
  // The rare ways: a long reply (or one finished on the main thread), and a failure.
  [[gnu::noinline]] void deliverOnProcessingQueue(Delivery delivery);
  [[gnu::noinline, gnu::cold]] void deliverFailure(Delivery& delivery, const std::shared_ptr<NSError>& error);
  // Stores the serializer's object and error for the reply (under the lock).
  void serializeResponse();

  std::shared_ptr<NWHTTPResponseSerializer> responseSerializer_;
  // The result blocks, until the delivery takes them (or another completion block drops them).
  SuccessBlock success_;
  FailureBlock failure_;
  id responseObject_;
  std::shared_ptr<NSError> responseSerializationError_;
  int64_t resumeOffset_ = -1;  // the Range start of a resumed request, -1 when none
};
