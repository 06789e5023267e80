#include "ui/web/UIWebView+NWNetworking.h"

#include <mutex>

#include "platform/foundation/NSStringEncodings.h"

namespace {

const char kOperationKey = 0;
const char kRequestSerializerKey = 0;
const char kResponseSerializerKey = 0;

// Made once, shared by the web views without their own.
std::shared_ptr<NWHTTPRequestSerializer> sharedRequestSerializer() {
  static std::once_flag once;
  static std::shared_ptr<NWHTTPRequestSerializer> serializer;
  std::call_once(once, [] { serializer = NWHTTPRequestSerializer::serializer(); });
  return serializer;
}

std::shared_ptr<NWHTTPResponseSerializer> sharedResponseSerializer() {
  static std::once_flag once;
  static std::shared_ptr<NWHTTPResponseSerializer> serializer;
  std::call_once(once, [] { serializer = NWHTTPResponseSerializer::serializer(); });
  return serializer;
}

// The response's declared charset, or UTF-8 when it names none the system has.
NSStringEncoding encodingOf(const std::shared_ptr<NSURLResponse>& response) {
  auto name = response ? response->textEncodingName() : nullptr;
  if (name) {
    const NSStringEncoding encoding = zvt::encodingForIANACharSetName(name);
    if (encoding != kZVTInvalidStringEncoding) return encoding;
  }
  return NSUTF8StringEncoding;
}

}  // namespace

std::shared_ptr<NWHTTPRequestSerializer> requestSerializer(const std::shared_ptr<UIWebView>& view) {
  if (auto own = view ? zvt::as<NWHTTPRequestSerializer>(view->associatedObject(&kRequestSerializerKey)) : nullptr) {
    return own;
  }
  return sharedRequestSerializer();
}

void setRequestSerializer(const std::shared_ptr<UIWebView>& view, const std::shared_ptr<NWHTTPRequestSerializer>& serializer) {
  if (view) view->setAssociatedObject(&kRequestSerializerKey, serializer);
}

std::shared_ptr<NWHTTPResponseSerializer> responseSerializer(const std::shared_ptr<UIWebView>& view) {
  if (auto own = view ? zvt::as<NWHTTPResponseSerializer>(view->associatedObject(&kResponseSerializerKey)) : nullptr) {
    return own;
  }
  return sharedResponseSerializer();
}

void setResponseSerializer(const std::shared_ptr<UIWebView>& view, const std::shared_ptr<NWHTTPResponseSerializer>& serializer) {
  if (view) view->setAssociatedObject(&kResponseSerializerKey, serializer);
}

std::shared_ptr<NWHTTPRequestOperation> pageRequestOperation(const std::shared_ptr<UIWebView>& view) {
  return view ? zvt::as<NWHTTPRequestOperation>(view->associatedObject(&kOperationKey)) : nullptr;
}

void loadRequest(const std::shared_ptr<UIWebView>& view, const std::shared_ptr<NSURLRequest>& request,
                 NWWebViewProgress progress, NWWebViewHTMLSuccess success, NWWebViewFailure failure) {
  loadRequest(
      view, request, nullptr, nullptr, std::move(progress),
      [success](const std::shared_ptr<NSHTTPURLResponse>& response, const std::shared_ptr<NSData>& data) -> std::shared_ptr<NSData> {
        const NSStringEncoding encoding = encodingOf(response);
        auto text = data ? zvt::stringWithData(data, encoding) : nullptr;
        if (success) text = success(response, text);
        return text ? zvt::dataWithString(text, encoding) : nullptr;
      },
      std::move(failure));
}

void loadRequest(const std::shared_ptr<UIWebView>& view, const std::shared_ptr<NSURLRequest>& request,
                 const std::shared_ptr<NSString>& MIMEType, const std::shared_ptr<NSString>& textEncodingName,
                 NWWebViewProgress progress, NWWebViewDataSuccess success, NWWebViewFailure failure) {
  if (!view || !request) return;
  if (auto running = pageRequestOperation(view)) running->cancel();
  view->setAssociatedObject(&kOperationKey, nullptr);

  std::shared_ptr<NSError> serializationError;
  auto serialized = requestSerializer(view)->requestBySerializingRequest(request, nullptr, &serializationError);
  if (!serialized) {
    if (failure) failure(serializationError);
    return;
  }
  auto operation = std::make_shared<NWHTTPRequestOperation>(serialized, responseSerializer(view), nullptr);
  operation->setDownloadProgressBlock(std::move(progress));
  std::weak_ptr<UIWebView> weak = view;
  operation->setCompletionBlockWithSuccess(
      [weak, MIMEType, textEncodingName, success](const std::shared_ptr<NWHTTPRequestOperation>& finished, const id&) {
        auto webView = weak.lock();
        if (!webView) return;
        auto response = finished->httpResponse();
        auto data = success ? success(response, finished->responseData()) : finished->responseData();
        webView->loadData(data, MIMEType ? MIMEType : (response ? response->MIMEType() : nullptr),
                          textEncodingName ? textEncodingName : (response ? response->textEncodingName() : nullptr),
                          response ? response->URL() : nullptr);
        if (auto delegate = webView->delegate()) delegate->webViewDidFinishLoad(webView);
      },
      [failure](const std::shared_ptr<NWHTTPRequestOperation>&, const std::shared_ptr<NSError>& error) {
        if (failure) failure(error);
      });
  view->setAssociatedObject(&kOperationKey, operation);
  operation->start();
  if (auto delegate = view->delegate()) delegate->webViewDidStartLoad(view);
}
