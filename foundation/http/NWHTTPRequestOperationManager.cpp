#include "foundation/http/NWHTTPRequestOperationManager.h"

#include "platform/foundation/NSException.h"

namespace {

const std::shared_ptr<NSString>& emptyString() {
  static const auto* empty = new std::shared_ptr<NSString>(NSString::string());
  return *empty;
}

// What a request serializer that raised gives the failure block.
[[gnu::noinline, gnu::cold]] std::shared_ptr<NSError> refusedRequestError(const NSException& exception) {
  return NSError::errorWithDomain(NWURLRequestSerializationErrorDomain, NSURLErrorBadURL,
                                  NSDictionary::make({{NSLocalizedDescriptionKey, exception.reason() ? exception.reason() : "Invalid request"_ns}}));
}

}  // namespace

std::shared_ptr<NWHTTPRequestOperationManager> NWHTTPRequestOperationManager::initWithBaseURL(const std::shared_ptr<NSURL>& url) {
  auto manager = std::make_shared<NWHTTPRequestOperationManager>();
  manager->setUpWithBaseURL(url);
  return manager;
}

void NWHTTPRequestOperationManager::setUpWithBaseURL(const std::shared_ptr<NSURL>& url) {
  auto base = url;
  // A base path without a trailing "/" would be replaced, not extended, by relative strings.
  if (base && base->path() && base->path()->length() > 0 && !base->absoluteString()->hasSuffix("/")) {
    base = base->URLByAppendingPathComponent("");
  }
  baseURL_ = base;
  requestSerializer_ = NWHTTPRequestSerializer::serializer();
  responseSerializer_ = NWJSONResponseSerializer::serializer();
  securityPolicy_ = NWSecurityPolicy::defaultPolicy();
  reachabilityManager_ = NWNetworkReachabilityManager::sharedManager();
  operationQueue_ = NSOperationQueue::make();
  shouldUseCredentialStorage_ = true;
}

void NWHTTPRequestOperationManager::setRequestSerializer(const std::shared_ptr<NWHTTPRequestSerializer>& serializer) {
  if (!serializer) zvt::raise(NSInvalidArgumentException, "Invalid parameter not satisfying: requestSerializer");
  requestSerializer_ = serializer;
}

void NWHTTPRequestOperationManager::setResponseSerializer(const std::shared_ptr<NWHTTPResponseSerializer>& serializer) {
  if (!serializer) zvt::raise(NSInvalidArgumentException, "Invalid parameter not satisfying: responseSerializer");
  responseSerializer_ = serializer;
}

std::shared_ptr<NSString> NWHTTPRequestOperationManager::resolvedURLString(const std::shared_ptr<NSString>& URLString) const {
  if (!URLString) return nullptr;
  return lastResolved_.get(URLString->view(), [&]() -> std::shared_ptr<NSString> {
    auto url = NSURL::URLWithString(URLString, baseURL_);
    return url ? url->absoluteString() : nullptr;
  });
}

void NWHTTPRequestOperationManager::deliverFailure(const FailureBlock& failure, const std::shared_ptr<NSError>& error) const {
  if (!failure) return;
  dispatch_queue_t queue = completionQueue_ ? completionQueue_ : dispatch_get_main_queue();
  dispatch_async(queue, [failure, error] { failure(nullptr, error); });
}

std::shared_ptr<NWHTTPRequestOperation> NWHTTPRequestOperationManager::HTTPRequestOperationWithRequest(
    const std::shared_ptr<NSURLRequest>& request, SuccessBlock success, FailureBlock failure) {
  return operationFor(request, success, failure);
}

std::shared_ptr<NWHTTPRequestOperation> NWHTTPRequestOperationManager::operationFor(const std::shared_ptr<NSURLRequest>& request,
                                                                                   SuccessBlock& success, FailureBlock& failure) {
  if (!request) zvt::raise(NSInvalidArgumentException, "Invalid parameter not satisfying: urlRequest");
  // The manager's serializer, policy and the result blocks from the start: the operation's
  // defaults would only be replaced.
  auto operation =
      std::make_shared<NWHTTPRequestOperation>(request, responseSerializer_, securityPolicy_, std::move(success), std::move(failure));
  // A new operation already uses the credential storage and has no credential, completion queue
  // or group: only settings that differ are passed on.
  if (!shouldUseCredentialStorage_) operation->setShouldUseCredentialStorage(false);
  if (credential_) operation->setCredential(credential_);
  if (completionQueue_) operation->setCompletionQueue(completionQueue_);
  if (completionGroup_) operation->setCompletionGroup(completionGroup_);
  return operation;
}

std::shared_ptr<NWHTTPRequestOperation> NWHTTPRequestOperationManager::HTTPRequestOperationWithHTTPMethod(
    const std::shared_ptr<NSString>& method, const std::shared_ptr<NSString>& URLString, const id& parameters,
    SuccessBlock success, FailureBlock failure) {
  return operationFor(method, URLString, parameters, success, failure);
}

std::shared_ptr<NWHTTPRequestOperation> NWHTTPRequestOperationManager::operationFor(const std::shared_ptr<NSString>& method,
                                                                                   const std::shared_ptr<NSString>& URLString,
                                                                                   const id& parameters, SuccessBlock& success,
                                                                                   FailureBlock& failure) {
  std::shared_ptr<NSError> serializationError;
  auto resolved = resolvedURLString(URLString);
  std::shared_ptr<NSMutableURLRequest> request;
  try {
    // A string that resolves to no URL still makes a request (without URL), which the
    // connection then refuses through the failure block.
    request = requestSerializer_->requestWithMethod(method, resolved ? resolved : URLString ? URLString : emptyString(),
                                                    parameters, &serializationError);
  } catch (const NSException& exception) {
    serializationError = refusedRequestError(exception);
  }
  if (serializationError || !request) [[unlikely]] {
    deliverFailure(failure, serializationError);
    return nullptr;
  }
  // The serializer's request is made for this call and nobody else holds it: its contents move
  // into the plain request the operation and its connection keep (which needs no copy then).
  auto frozen = std::make_shared<NSURLRequest>(std::move(static_cast<NSURLRequest&>(*request)));
  request.reset();
  return operationFor(frozen, success, failure);
}

std::shared_ptr<NWHTTPRequestOperation> NWHTTPRequestOperationManager::GET(const std::shared_ptr<NSString>& URLString,
                                                                           const id& parameters, SuccessBlock success,
                                                                           FailureBlock failure) {
  return enqueue(operationFor("GET"_ns, URLString, parameters, success, failure));
}

std::shared_ptr<NWHTTPRequestOperation> NWHTTPRequestOperationManager::HEAD(const std::shared_ptr<NSString>& URLString,
                                                                            const id& parameters, HeadSuccessBlock success,
                                                                            FailureBlock failure) {
  SuccessBlock wrapped;
  if (success) {
    wrapped = [success](const std::shared_ptr<NWHTTPRequestOperation>& operation, const id&) { success(operation); };
  }
  return enqueue(operationFor("HEAD"_ns, URLString, parameters, wrapped, failure));
}

std::shared_ptr<NWHTTPRequestOperation> NWHTTPRequestOperationManager::POST(const std::shared_ptr<NSString>& URLString,
                                                                            const id& parameters, SuccessBlock success,
                                                                            FailureBlock failure) {
  return enqueue(operationFor("POST"_ns, URLString, parameters, success, failure));
}

std::shared_ptr<NWHTTPRequestOperation> NWHTTPRequestOperationManager::POST(const std::shared_ptr<NSString>& URLString,
                                                                            const std::shared_ptr<NSDictionary>& parameters,
                                                                            std::function<void(NWMultipartFormData&)> block,
                                                                            SuccessBlock success, FailureBlock failure) {
  std::shared_ptr<NSError> serializationError;
  auto resolved = resolvedURLString(URLString);
  auto request = requestSerializer_->multipartFormRequestWithMethod(
      "POST"_ns, resolved ? resolved : (URLString ? URLString : NSString::string()), parameters, block, &serializationError);
  if (serializationError || !request) {
    deliverFailure(failure, serializationError);
    return nullptr;
  }
  return enqueue(operationFor(request, success, failure));
}

std::shared_ptr<NWHTTPRequestOperation> NWHTTPRequestOperationManager::PUT(const std::shared_ptr<NSString>& URLString,
                                                                           const id& parameters, SuccessBlock success,
                                                                           FailureBlock failure) {
  return enqueue(operationFor("PUT"_ns, URLString, parameters, success, failure));
}

std::shared_ptr<NWHTTPRequestOperation> NWHTTPRequestOperationManager::PATCH(const std::shared_ptr<NSString>& URLString,
                                                                             const id& parameters, SuccessBlock success,
                                                                             FailureBlock failure) {
  return enqueue(operationFor("PATCH"_ns, URLString, parameters, success, failure));
}

std::shared_ptr<NWHTTPRequestOperation> NWHTTPRequestOperationManager::DELETE(const std::shared_ptr<NSString>& URLString,
                                                                              const id& parameters, SuccessBlock success,
                                                                              FailureBlock failure) {
  return enqueue(operationFor("DELETE"_ns, URLString, parameters, success, failure));
}

std::shared_ptr<NSString> NWHTTPRequestOperationManager::description() const {
  return NSString::stringWithFormat("<%s: %p, baseURL: %@, operationQueue: %@>", className(), static_cast<const void*>(this),
                                    baseURL_ ? id(baseURL_->absoluteString()) : id(), operationQueue_);
}

id NWHTTPRequestOperationManager::copyWithZone() const {
  auto copy = initWithBaseURL(baseURL_);
  copy->requestSerializer_ = std::static_pointer_cast<NWHTTPRequestSerializer>(requestSerializer_->copyWithZone());
  copy->responseSerializer_ = std::static_pointer_cast<NWHTTPResponseSerializer>(responseSerializer_->copyWithZone());
  if (securityPolicy_) copy->securityPolicy_ = std::static_pointer_cast<NWSecurityPolicy>(securityPolicy_->copyWithZone());
  return copy;
}
