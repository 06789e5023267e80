// The client object through which requests are sent: a base URL, a request and a response
// serializer, an operation queue, credential settings and a server-trust policy, and one call
// per HTTP method that builds the request, makes the operation and enqueues it.
#pragma once

#include <functional>
#include <memory>

#include "foundation/http/NWHTTPRequestOperation.h"
#include "foundation/http/NWNetworkReachabilityManager.h"
#include "foundation/http/NWSecurityPolicy.h"
#include "foundation/http/NWURLRequestSerialization.h"
#include "foundation/http/NWURLResponseSerialization.h"
#include "platform/foundation/NSOperation.h"

class NWHTTPRequestOperationManager : public NSObject {
 public:
  using SuccessBlock = NWHTTPRequestOperation::SuccessBlock;
  using FailureBlock = NWHTTPRequestOperation::FailureBlock;
  using HeadSuccessBlock = std::function<void(const std::shared_ptr<NWHTTPRequestOperation>&)>;

  NWHTTPRequestOperationManager() = default;
  static std::shared_ptr<NWHTTPRequestOperationManager> manager() { return initWithBaseURL(nullptr); }
  static std::shared_ptr<NWHTTPRequestOperationManager> initWithBaseURL(const std::shared_ptr<NSURL>& url);
  // For subclasses made with make_shared: the set-up of initWithBaseURL on an existing object.
  void setUpWithBaseURL(const std::shared_ptr<NSURL>& url);

  std::shared_ptr<NSURL> baseURL() const { return baseURL_; }
  std::shared_ptr<NWHTTPRequestSerializer> requestSerializer() const { return requestSerializer_; }
  void setRequestSerializer(const std::shared_ptr<NWHTTPRequestSerializer>& serializer);
  std::shared_ptr<NWHTTPResponseSerializer> responseSerializer() const { return responseSerializer_; }
  void setResponseSerializer(const std::shared_ptr<NWHTTPResponseSerializer>& serializer);
  std::shared_ptr<NSOperationQueue> operationQueue() const { return operationQueue_; }
  void setOperationQueue(const std::shared_ptr<NSOperationQueue>& queue) { operationQueue_ = queue; }
  bool shouldUseCredentialStorage() const { return shouldUseCredentialStorage_; }
  void setShouldUseCredentialStorage(bool use) { shouldUseCredentialStorage_ = use; }
  std::shared_ptr<NSURLCredential> credential() const { return credential_; }
  void setCredential(const std::shared_ptr<NSURLCredential>& credential) { credential_ = credential; }
  std::shared_ptr<NWSecurityPolicy> securityPolicy() const { return securityPolicy_; }
  void setSecurityPolicy(const std::shared_ptr<NWSecurityPolicy>& policy) { securityPolicy_ = policy; }
  std::shared_ptr<NWNetworkReachabilityManager> reachabilityManager() const { return reachabilityManager_; }
  void setReachabilityManager(const std::shared_ptr<NWNetworkReachabilityManager>& manager) { reachabilityManager_ = manager; }
  dispatch_queue_t completionQueue() const { return completionQueue_; }
  void setCompletionQueue(const dispatch_queue_t& queue) { completionQueue_ = queue; }
  dispatch_group_t completionGroup() const { return completionGroup_; }
  void setCompletionGroup(const dispatch_group_t& group) { completionGroup_ = group; }

  std::shared_ptr<NWHTTPRequestOperation> HTTPRequestOperationWithRequest(const std::shared_ptr<NSURLRequest>& request,
                                                                          SuccessBlock success, FailureBlock failure);
  std::shared_ptr<NWHTTPRequestOperation> HTTPRequestOperationWithHTTPMethod(const std::shared_ptr<NSString>& method,
                                                                             const std::shared_ptr<NSString>& URLString,
                                                                             const id& parameters, SuccessBlock success,
                                                                             FailureBlock failure);

  std::shared_ptr<NWHTTPRequestOperation> GET(const std::shared_ptr<NSString>& URLString, const id& parameters,
                                              SuccessBlock success, FailureBlock failure);
  std::shared_ptr<NWHTTPRequestOperation> HEAD(const std::shared_ptr<NSString>& URLString, const id& parameters,
                                               HeadSuccessBlock success, FailureBlock failure);
  std::shared_ptr<NWHTTPRequestOperation> POST(const std::shared_ptr<NSString>& URLString, const id& parameters,
                                               SuccessBlock success, FailureBlock failure);
  // Multipart POST.
  std::shared_ptr<NWHTTPRequestOperation> POST(const std::shared_ptr<NSString>& URLString,
                                               const std::shared_ptr<NSDictionary>& parameters,
                                               std::function<void(NWMultipartFormData&)> block, SuccessBlock success,
                                               FailureBlock failure);
  std::shared_ptr<NWHTTPRequestOperation> PUT(const std::shared_ptr<NSString>& URLString, const id& parameters,
                                              SuccessBlock success, FailureBlock failure);
  std::shared_ptr<NWHTTPRequestOperation> PATCH(const std::shared_ptr<NSString>& URLString, const id& parameters,
                                                SuccessBlock success, FailureBlock failure);
  std::shared_ptr<NWHTTPRequestOperation> DELETE(const std::shared_ptr<NSString>& URLString, const id& parameters,
                                                 SuccessBlock success, FailureBlock failure);

  std::shared_ptr<NSString> description() const override;
  id copyWithZone() const override;

 private:
  std::shared_ptr<NSString> resolvedURLString(const std::shared_ptr<NSString>& URLString) const;
  void deliverFailure(const FailureBlock& failure, const std::shared_ptr<NSError>& error) const;
  // What HTTPRequestOperationWithHTTPMethod/WithRequest do, with the blocks moved from where
  // they are (no copy made at each step down).
  std::shared_ptr<NWHTTPRequestOperation> operationFor(const std::shared_ptr<NSString>& method,
                                                       const std::shared_ptr<NSString>& URLString, const id& parameters,
                                                       SuccessBlock& success, FailureBlock& failure);
  std::shared_ptr<NWHTTPRequestOperation> operationFor(const std::shared_ptr<NSURLRequest>& request, SuccessBlock& success,
                                                       FailureBlock& failure);
  std::shared_ptr<NWHTTPRequestOperation> enqueue(std::shared_ptr<NWHTTPRequestOperation> operation) {
    if (operation) operationQueue_->addOperation(operation);
    return operation;
  }

  std::shared_ptr<NSURL> baseURL_;
  // The base never changes: the last string resolved against it, for the next request.
  mutable zvt::LastTextResult<NSString> lastResolved_;
  std::shared_ptr<NWHTTPRequestSerializer> requestSerializer_;
  std::shared_ptr<NWHTTPResponseSerializer> responseSerializer_;
  std::shared_ptr<NSOperationQueue> operationQueue_;
  bool shouldUseCredentialStorage_ = true;
  std::shared_ptr<NSURLCredential> credential_;
  std::shared_ptr<NWSecurityPolicy> securityPolicy_;
  std::shared_ptr<NWNetworkReachabilityManager> reachabilityManager_;
  dispatch_queue_t completionQueue_;
  dispatch_group_t completionGroup_;
};
