#pragma once
// One asynchronous URL connection on the current run loop (the main one, in the application)
// per request, collecting the reply body. The handler runs once: with (body, body as UTF-8
// text or nil, nil) when the load finishes, whatever the HTTP status, or with (nil, nil, error)
// when it fails. Only the body of the last response counts (a new response discards what came
// before).

#include <functional>
#include <memory>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSError.h"
#include "platform/network/NSURLConnection.h"

class ZaveltoURLConnect : public NSObject, public NSURLConnectionDelegate {
 public:
  using Handler = std::function<void(const std::shared_ptr<NSData>& data, const std::shared_ptr<NSString>& text,
                                     const std::shared_ptr<NSError>& error)>;

  // Starts the request; returns its connection (which holds this object until the load ends).
  static std::shared_ptr<NSURLConnection> accessServerWithRequest(const std::shared_ptr<NSURLRequest>& request,
                                                                  Handler handler);

  std::shared_ptr<NSMutableData> connectData() const { return connectData_; }
  const Handler& handler() const { return handler_; }

  void connectionDidReceiveResponse(const Connection& connection, const std::shared_ptr<NSURLResponse>& response) override;
  void connectionDidReceiveData(const Connection& connection, const std::shared_ptr<NSData>& data) override;
  void connectionDidFinishLoading(const Connection& connection) override;
  void connectionDidFailWithError(const Connection& connection, const std::shared_ptr<NSError>& error) override;

 private:
  std::shared_ptr<NSMutableData> connectData_;
  Handler handler_;
};
