#include "foundation/http/NWHTTPSessionManager.h"

std::shared_ptr<NWHTTPSessionManager> NWHTTPSessionManager::initWithBaseURL(const std::shared_ptr<NSURL>& url,
                                                                            const std::shared_ptr<NSURLSessionConfiguration>& configuration) {
  auto manager = std::make_shared<NWHTTPSessionManager>();
  manager->setUpWithBaseURL(url, configuration);
  return manager;
}

void NWHTTPSessionManager::setUpWithBaseURL(const std::shared_ptr<NSURL>& url,
                                            const std::shared_ptr<NSURLSessionConfiguration>& configuration) {
  setUpWithSessionConfiguration(configuration);
  // A base URL with a path gets a trailing slash, so that relative strings resolve beneath it.
  std::shared_ptr<NSURL> base = url;
  if (url && url->path() && url->path()->length() > 0 && !url->absoluteString()->hasSuffix("/")) {
    base = url->URLByAppendingPathComponent("");
  }
  baseURL_ = base;
  requestSerializer_ = NWHTTPRequestSerializer::serializer();
  setResponseSerializer(NWJSONResponseSerializer::serializer());
}

std::shared_ptr<NSString> NWHTTPSessionManager::resolvedURLString(const std::shared_ptr<NSString>& URLString) const {
  auto url = URLString ? NSURL::URLWithString(URLString, baseURL_) : nullptr;
  return url ? url->absoluteString() : nullptr;
}

void NWHTTPSessionManager::deliverRequestError(const FailureBlock& failure, std::shared_ptr<NSError> error) const {
  if (!failure) return;
  // No request and no serializer error: the URL itself could not be made.
  if (!error) {
    error = NSError::errorWithDomain(NSURLErrorDomain, NSURLErrorBadURL,
                                     NSDictionary::make({{NSLocalizedDescriptionKey.get(), "bad URL"_ns}}));
  }
  dispatch_queue_t queue = completionQueue() ? completionQueue() : dispatch_get_main_queue();
  dispatch_async(queue, [failure, error] { failure(nullptr, error); });
}

NWHTTPSessionManager::CompletionHandler NWHTTPSessionManager::completionFor(const std::shared_ptr<std::shared_ptr<NSURLSessionDataTask>>& task,
                                                                            SuccessBlock success, FailureBlock failure) const {
  return [task, success, failure](const std::shared_ptr<NSURLResponse>&, const id& responseObject, const std::shared_ptr<NSError>& error) {
    auto strong = *task;
    if (error) {
      if (failure) failure(strong, error);
    } else if (success) {
      success(strong, responseObject);
    }
  };
}

std::shared_ptr<NSURLSessionDataTask> NWHTTPSessionManager::dataTaskWithHTTPMethod(const std::shared_ptr<NSString>& method,
                                                                                   const std::shared_ptr<NSString>& URLString,
                                                                                   const id& parameters, SuccessBlock success,
                                                                                   FailureBlock failure) {
  std::shared_ptr<NSError> serializationError;
  auto url = resolvedURLString(URLString);
  std::shared_ptr<NSMutableURLRequest> request;
  if (url && requestSerializer_) {
    request = requestSerializer_->requestWithMethod(method, url, parameters, &serializationError);
  }
  if (!request || serializationError) {
    deliverRequestError(failure, serializationError);
    return nullptr;
  }
  // The completion holds the task until it has run; the task delegate goes when the task ends.
  auto holder = std::make_shared<std::shared_ptr<NSURLSessionDataTask>>();
  auto task = dataTaskWithRequest(request, completionFor(holder, std::move(success), std::move(failure)));
  *holder = task;
  return task;
}

namespace {
// The verbs start their task at once; nil (a request that could not be built) stays nil.
std::shared_ptr<NSURLSessionDataTask> resumed(std::shared_ptr<NSURLSessionDataTask> task) {
  if (task) task->resume();
  return task;
}
}  // namespace

std::shared_ptr<NSURLSessionDataTask> NWHTTPSessionManager::GET(const std::shared_ptr<NSString>& URLString, const id& parameters,
                                                                SuccessBlock success, FailureBlock failure) {
  return resumed(dataTaskWithHTTPMethod("GET"_ns, URLString, parameters, std::move(success), std::move(failure)));
}

std::shared_ptr<NSURLSessionDataTask> NWHTTPSessionManager::HEAD(const std::shared_ptr<NSString>& URLString, const id& parameters,
                                                                 HeadSuccessBlock success, FailureBlock failure) {
  SuccessBlock dropObject;
  if (success) dropObject = [success](const std::shared_ptr<NSURLSessionDataTask>& task, const id&) { success(task); };
  return resumed(dataTaskWithHTTPMethod("HEAD"_ns, URLString, parameters, std::move(dropObject), std::move(failure)));
}

std::shared_ptr<NSURLSessionDataTask> NWHTTPSessionManager::POST(const std::shared_ptr<NSString>& URLString, const id& parameters,
                                                                 SuccessBlock success, FailureBlock failure) {
  return resumed(dataTaskWithHTTPMethod("POST"_ns, URLString, parameters, std::move(success), std::move(failure)));
}

std::shared_ptr<NSURLSessionDataTask> NWHTTPSessionManager::POST(const std::shared_ptr<NSString>& URLString,
                                                                 const std::shared_ptr<NSDictionary>& parameters,
                                                                 std::function<void(NWMultipartFormData&)> block, SuccessBlock success,
                                                                 FailureBlock failure) {
  std::shared_ptr<NSError> serializationError;
  auto url = resolvedURLString(URLString);
  std::shared_ptr<NSMutableURLRequest> request;
  if (url && requestSerializer_) {
    request = requestSerializer_->multipartFormRequestWithMethod("POST"_ns, url, parameters, block, &serializationError);
  }
  if (!request || serializationError) {
    deliverRequestError(failure, serializationError);
    return nullptr;
  }
  auto holder = std::make_shared<std::shared_ptr<NSURLSessionDataTask>>();
  auto task = uploadTaskWithStreamedRequest(request, nullptr, completionFor(holder, std::move(success), std::move(failure)));
  *holder = task;
  return resumed(task);
}

std::shared_ptr<NSURLSessionDataTask> NWHTTPSessionManager::PUT(const std::shared_ptr<NSString>& URLString, const id& parameters,
                                                                SuccessBlock success, FailureBlock failure) {
  return resumed(dataTaskWithHTTPMethod("PUT"_ns, URLString, parameters, std::move(success), std::move(failure)));
}

std::shared_ptr<NSURLSessionDataTask> NWHTTPSessionManager::PATCH(const std::shared_ptr<NSString>& URLString, const id& parameters,
                                                                  SuccessBlock success, FailureBlock failure) {
  return resumed(dataTaskWithHTTPMethod("PATCH"_ns, URLString, parameters, std::move(success), std::move(failure)));
}

std::shared_ptr<NSURLSessionDataTask> NWHTTPSessionManager::DELETE(const std::shared_ptr<NSString>& URLString, const id& parameters,
                                                                   SuccessBlock success, FailureBlock failure) {
  return resumed(dataTaskWithHTTPMethod("DELETE"_ns, URLString, parameters, std::move(success), std::move(failure)));
}

std::shared_ptr<NSString> NWHTTPSessionManager::description() const {
  return NSString::stringWithFormat("<%s: %p, baseURL: %@, session: %@, operationQueue: %@>", className(), static_cast<const void*>(this),
                                    baseURL_ ? baseURL_->absoluteString() : nullptr, session(), operationQueue());
}

void NWHTTPSessionManager::encodeWithCoder(NSCoder& coder) const {
  NWURLSessionManager::encodeWithCoder(coder);
  // URL objects are not archivable here: the base URL goes as its text.
  coder.encodeObject(baseURL_ ? baseURL_->absoluteString() : nullptr, "baseURL"_ns);
  auto configuration = session() ? session()->configuration() : sessionConfiguration();
  coder.encodeObject(configuration, "sessionConfiguration"_ns);
  // Serializers that cannot be archived are left out; a decoded manager keeps its defaults.
  if (dynamic_cast<const NSCoding*>(requestSerializer_.get())) coder.encodeObject(requestSerializer_, "requestSerializer"_ns);
  if (auto response = responseSerializer(); dynamic_cast<const NSCoding*>(response.get())) coder.encodeObject(response, "responseSerializer"_ns);
  coder.encodeObject(securityPolicy(), "securityPolicy"_ns);
}

std::shared_ptr<NWHTTPSessionManager> NWHTTPSessionManager::initWithCoder(NSCoder& coder) {
  id base = coder.decodeObjectForKey("baseURL"_ns);
  auto baseURL = zvt::as<NSURL>(base);
  if (auto text = zvt::as<NSString>(base)) baseURL = NSURL::URLWithString(text);
  auto configuration = coder.decodeObjectOfClass<NSURLSessionConfiguration>("sessionConfiguration"_ns);
  if (!configuration) {
    if (auto identifier = coder.decodeObjectOfClass<NSString>("identifier"_ns)) {
      configuration = NSURLSessionConfiguration::backgroundSessionConfigurationWithIdentifier(identifier);
    }
  }
  auto manager = initWithBaseURL(baseURL, configuration);
  if (auto request = coder.decodeObjectOfClass<NWHTTPRequestSerializer>("requestSerializer"_ns)) manager->setRequestSerializer(request);
  if (auto response = coder.decodeObjectOfClass<NWHTTPResponseSerializer>("responseSerializer"_ns)) manager->setResponseSerializer(response);
  if (auto policy = coder.decodeObjectOfClass<NWSecurityPolicy>("securityPolicy"_ns)) manager->setSecurityPolicy(policy);
  return manager;
}

id NWHTTPSessionManager::copyWithZone() const {
  auto configuration = session() ? session()->configuration() : sessionConfiguration();
  auto copy = initWithBaseURL(baseURL_, configuration);
  if (requestSerializer_) copy->setRequestSerializer(std::static_pointer_cast<NWHTTPRequestSerializer>(requestSerializer_->copy()));
  if (auto response = responseSerializer()) copy->setResponseSerializer(std::static_pointer_cast<NWHTTPResponseSerializer>(response->copy()));
  if (auto policy = securityPolicy()) copy->setSecurityPolicy(std::static_pointer_cast<NWSecurityPolicy>(policy->copy()));
  return copy;
}

namespace {
const bool kHTTPSessionManagerCoding = [] {
  zvt::registerCodingClass("NWHTTPSessionManager", [](NSCoder& coder) -> id { return NWHTTPSessionManager::initWithCoder(coder); });
  return true;
}();
}  // namespace
