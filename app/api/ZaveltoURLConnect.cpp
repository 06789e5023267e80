#include "app/api/ZaveltoURLConnect.h"

std::shared_ptr<NSURLConnection> ZaveltoURLConnect::accessServerWithRequest(
    const std::shared_ptr<NSURLRequest>& request, Handler handler) {
  auto connect = std::make_shared<ZaveltoURLConnect>();
  connect->handler_ = std::move(handler);
  auto connection = NSURLConnection::connectionWithRequest(request, connect);
  return connection;
}

void ZaveltoURLConnect::connectionDidReceiveResponse(const Connection&, const std::shared_ptr<NSURLResponse>&) {
  connectData_ = NSMutableData::dataWithCapacity(10);
}

void ZaveltoURLConnect::connectionDidReceiveData(const Connection&, const std::shared_ptr<NSData>& data) {
  if (!connectData_) connectData_ = NSMutableData::dataWithCapacity(10);
  connectData_->appendData(data);
}

void ZaveltoURLConnect::connectionDidFinishLoading(const Connection&) {
  // The handler may start the next request; take it first so that it runs exactly once.
  Handler handler = std::move(handler_);
  handler_ = nullptr;
  if (!handler) return;
  auto data = connectData_;
  auto text = data ? NSString::initWithData(data, NSUTF8StringEncoding) : nullptr;
  handler(data, text, nullptr);
}

void ZaveltoURLConnect::connectionDidFailWithError(const Connection&, const std::shared_ptr<NSError>& error) {
  Handler handler = std::move(handler_);
  handler_ = nullptr;
  if (handler) handler(nullptr, nullptr, error);
}
