#pragma once
// JavaScriptCore's context of a web view's page, as a UIWebView's native code reaches it
// (`UIWebView::javaScriptContext()`): scripts evaluated in the page with their results as
// `JSValue`s, and native functions installed under global names for the page to call.
//
// - A context stands for one main-frame document: each new page of the view has a new context
//   object. Natives set through any context of a view belong to the view and are installed in
//   every page it loads from then on (and in the page shown when they are set): a page can call
//   them whatever moment the native code took its context.
// - The page's calls reach the view's own natives only (each view has its own message handler
//   set), on the main thread, after the page's call has returned (a native gives no result to
//   the page); the call's arguments arrive as an array of plain objects.
// - Evaluation is synchronous, as `stringByEvaluatingJavaScriptFromString`.

#include <functional>
#include <memory>
#include <string>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSString.h"

class UIWebView;
class JSContext;

// A value that came back from the page: its kind, its text (JavaScript's String(value)) and the
// plain object it converts to (strings, numbers, booleans, arrays, dictionaries; NSNull for
// null; nil for undefined). Functions convert to empty dictionaries.
class JSValue : public NSObject {
 public:
  enum class Kind { Undefined, Null, Boolean, Number, String, Array, Object };
  JSValue(Kind kind, std::string text, id object) : kind_(kind), text_(std::move(text)), object_(std::move(object)) {}

  bool isUndefined() const { return kind_ == Kind::Undefined; }
  bool isNull() const { return kind_ == Kind::Null; }
  bool isBoolean() const { return kind_ == Kind::Boolean; }
  bool isNumber() const { return kind_ == Kind::Number; }
  bool isString() const { return kind_ == Kind::String; }
  bool isArray() const { return kind_ == Kind::Array; }
  bool isObject() const { return kind_ == Kind::Array || kind_ == Kind::Object; }

  std::shared_ptr<NSString> toString() const { return NSString::stringWithUTF8String(text_); }
  double toNumber() const;
  int32_t toInt32() const;
  bool toBool() const;
  id toObject() const { return object_; }
  std::shared_ptr<NSArray> toArray() const;
  std::shared_ptr<NSDictionary> toDictionary() const;

  std::shared_ptr<NSString> description() const override { return toString(); }

 private:
  Kind kind_;
  std::string text_;
  id object_;
};

class JSContext : public NSObject {
 public:
  using Native = std::function<void(const std::shared_ptr<NSArray>& arguments)>;

  JSContext(std::weak_ptr<UIWebView> view, unsigned long generation) : view_(std::move(view)), generation_(generation) {}

  // The value of the script's last expression; undefined when it raised or the view is gone.
  std::shared_ptr<JSValue> evaluateScript(const std::shared_ptr<NSString>& script);
  // context[name]: the page's global of that name.
  std::shared_ptr<JSValue> objectForKeyedSubscript(const std::shared_ptr<NSString>& name);
  // context[name] = ^(...){...}: a native function under that global name.
  void setObjectForKeyedSubscript(Native native, const std::shared_ptr<NSString>& name);
  void setObjectForKeyedSubscript(std::function<void()> native, const std::shared_ptr<NSString>& name) {
    setObjectForKeyedSubscript(Native([native = std::move(native)](const std::shared_ptr<NSArray>&) { native(); }), name);
  }
  // Whether the page this context stands for is still the view's page.
  bool isCurrent() const;

 private:
  std::weak_ptr<UIWebView> view_;
  unsigned long generation_;
};
