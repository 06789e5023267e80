// The HTTP convenience layer over the session manager: a base URL and a request serializer turn
// a method, a relative URL string and parameters into a request, a data (or streamed upload)
// task runs it, and a success or a failure block reports the outcome, never both.
#pragma once

#include <functional>
#include <memory>

#include "foundation/http/NWMultipartFormData.h"
#include "foundation/http/NWURLRequestSerialization.h"
#include "foundation/http/NWURLSessionManager.h"

class NWHTTPSessionManager : public NWURLSessionManager {
 public:
  using SuccessBlock = std::function<void(const std::shared_ptr<NSURLSessionDataTask>& task, const id& responseObject)>;
  using HeadSuccessBlock = std::function<void(const std::shared_ptr<NSURLSessionDataTask>& task)>;
  using FailureBlock = std::function<void(const std::shared_ptr<NSURLSessionDataTask>& task, const std::shared_ptr<NSError>& error)>;

  NWHTTPSessionManager() = default;
  static std::shared_ptr<NWHTTPSessionManager> manager() { return initWithBaseURL(nullptr, nullptr); }
  static std::shared_ptr<NWHTTPSessionManager> make() { return manager(); }
  static std::shared_ptr<NWHTTPSessionManager> initWithBaseURL(const std::shared_ptr<NSURL>& url) { return initWithBaseURL(url, nullptr); }
  static std::shared_ptr<NWHTTPSessionManager> initWithSessionConfiguration(const std::shared_ptr<NSURLSessionConfiguration>& configuration) {
    return initWithBaseURL(nullptr, configuration);
  }
  static std::shared_ptr<NWHTTPSessionManager> initWithBaseURL(const std::shared_ptr<NSURL>& url,
                                                               const std::shared_ptr<NSURLSessionConfiguration>& configuration);
  // The set-up of initWithBaseURL:sessionConfiguration: on an object made with make_shared.
  void setUpWithBaseURL(const std::shared_ptr<NSURL>& url, const std::shared_ptr<NSURLSessionConfiguration>& configuration);

  std::shared_ptr<NSURL> baseURL() const { return baseURL_; }
  std::shared_ptr<NWHTTPRequestSerializer> requestSerializer() const { return requestSerializer_; }
  void setRequestSerializer(const std::shared_ptr<NWHTTPRequestSerializer>& serializer) { requestSerializer_ = serializer; }

  // Builds the request and its data task without resuming it; nil (and the failure block
  // called later, with a nil task) when the request cannot be built.
  std::shared_ptr<NSURLSessionDataTask> dataTaskWithHTTPMethod(const std::shared_ptr<NSString>& method,
                                                               const std::shared_ptr<NSString>& URLString, const id& parameters,
                                                               SuccessBlock success, FailureBlock failure);

  // The verbs return the task already resumed, or nil.
  std::shared_ptr<NSURLSessionDataTask> GET(const std::shared_ptr<NSString>& URLString, const id& parameters, SuccessBlock success,
                                            FailureBlock failure);
  // The response object is dropped.
  std::shared_ptr<NSURLSessionDataTask> HEAD(const std::shared_ptr<NSString>& URLString, const id& parameters, HeadSuccessBlock success,
                                             FailureBlock failure);
  std::shared_ptr<NSURLSessionDataTask> POST(const std::shared_ptr<NSString>& URLString, const id& parameters, SuccessBlock success,
                                             FailureBlock failure);
  // Multipart POST as a streamed upload task.
  std::shared_ptr<NSURLSessionDataTask> POST(const std::shared_ptr<NSString>& URLString, const std::shared_ptr<NSDictionary>& parameters,
                                             std::function<void(NWMultipartFormData&)> block, SuccessBlock success, FailureBlock failure);
  std::shared_ptr<NSURLSessionDataTask> PUT(const std::shared_ptr<NSString>& URLString, const id& parameters, SuccessBlock success,
                                            FailureBlock failure);
  std::shared_ptr<NSURLSessionDataTask> PATCH(const std::shared_ptr<NSString>& URLString, const id& parameters, SuccessBlock success,
                                              FailureBlock failure);
  std::shared_ptr<NSURLSessionDataTask> DELETE(const std::shared_ptr<NSString>& URLString, const id& parameters, SuccessBlock success,
                                               FailureBlock failure);

  std::shared_ptr<NSString> description() const override;
  void encodeWithCoder(NSCoder& coder) const override;
  static std::shared_ptr<NWHTTPSessionManager> initWithCoder(NSCoder& coder);
  static bool supportsSecureCoding() { return true; }
  id copyWithZone() const override;

 private:
  std::shared_ptr<NSString> resolvedURLString(const std::shared_ptr<NSString>& URLString) const;
  void deliverRequestError(const FailureBlock& failure, std::shared_ptr<NSError> error) const;
  CompletionHandler completionFor(const std::shared_ptr<std::shared_ptr<NSURLSessionDataTask>>& task, SuccessBlock success,
                                  FailureBlock failure) const;

  std::shared_ptr<NSURL> baseURL_;
  std::shared_ptr<NWHTTPRequestSerializer> requestSerializer_;
};
