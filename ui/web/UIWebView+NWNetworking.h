#pragma once
// UIWebView(NWNetworking): a web view whose page is fetched by an HTTP request operation of its
// own, so that the caller sees the progress, may change the page before it is shown and hears
// of a failure with the HTTP layer's error. The fetched bytes are then shown with `loadData`,
// with the response's address as base.
//
// - A load first cancels the view's running one; the request goes through the view's request
//   serializer (without parameters), the reply through its response serializer (shared plain
//   ones unless set); the delegate hears `webViewDidStartLoad` at once and
//   `webViewDidFinishLoad` once the bytes are handed to the page.
// - The text form decodes the body in the response's charset (UTF-8 when it names none or
//   one the system lacks), lets the success block replace the text, and encodes it back in the
//   same charset.
//
// The category's methods are free functions taking the view first.

#include <functional>
#include <memory>

#include "foundation/http/NWHTTPRequestOperation.h"
#include "foundation/http/NWURLRequestSerialization.h"
#include "foundation/http/NWURLResponseSerialization.h"
#include "platform/webkit/UIWebView.h"

using NWWebViewProgress = NWURLConnectionOperation::ProgressBlock;
using NWWebViewHTMLSuccess = std::function<std::shared_ptr<NSString>(const std::shared_ptr<NSHTTPURLResponse>& response,
                                                                     const std::shared_ptr<NSString>& HTML)>;
using NWWebViewDataSuccess = std::function<std::shared_ptr<NSData>(const std::shared_ptr<NSHTTPURLResponse>& response,
                                                                   const std::shared_ptr<NSData>& data)>;
using NWWebViewFailure = std::function<void(const std::shared_ptr<NSError>& error)>;

std::shared_ptr<NWHTTPRequestSerializer> requestSerializer(const std::shared_ptr<UIWebView>& view);
void setRequestSerializer(const std::shared_ptr<UIWebView>& view, const std::shared_ptr<NWHTTPRequestSerializer>& serializer);
std::shared_ptr<NWHTTPResponseSerializer> responseSerializer(const std::shared_ptr<UIWebView>& view);
void setResponseSerializer(const std::shared_ptr<UIWebView>& view, const std::shared_ptr<NWHTTPResponseSerializer>& serializer);

// The text form.
void loadRequest(const std::shared_ptr<UIWebView>& view, const std::shared_ptr<NSURLRequest>& request,
                 NWWebViewProgress progress, NWWebViewHTMLSuccess success, NWWebViewFailure failure);
// The data form: the MIME type and encoding name given, else the response's.
void loadRequest(const std::shared_ptr<UIWebView>& view, const std::shared_ptr<NSURLRequest>& request,
                 const std::shared_ptr<NSString>& MIMEType, const std::shared_ptr<NSString>& textEncodingName,
                 NWWebViewProgress progress, NWWebViewDataSuccess success, NWWebViewFailure failure);

// The view's running page operation (nil when none).
std::shared_ptr<NWHTTPRequestOperation> pageRequestOperation(const std::shared_ptr<UIWebView>& view);
