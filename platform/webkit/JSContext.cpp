#include "platform/webkit/JSContext.h"

#include <cmath>

#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSNumber.h"
#include "platform/webkit/UIWebView.h"
#include "platform/webkit/internal/WebPage.h"

double JSValue::toNumber() const {
  if (auto number = zvt::as<NSNumber>(object_)) return number->doubleValue();
  if (kind_ == Kind::Null) return 0;
  if (kind_ == Kind::String) {
    char* end = nullptr;
    const double value = std::strtod(text_.c_str(), &end);
    return end && *end == 0 && !text_.empty() ? value : NAN;
  }
  return NAN;
}

int32_t JSValue::toInt32() const {
  const double value = toNumber();
  if (!std::isfinite(value)) return 0;
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<int64_t>(std::fmod(std::trunc(value), 4294967296.0))));
}

bool JSValue::toBool() const {
  switch (kind_) {
    case Kind::Undefined:
    case Kind::Null: return false;
    case Kind::Boolean: return zvt::as<NSNumber>(object_)->boolValue();
    case Kind::Number: {
      const double value = toNumber();
      return value != 0 && !std::isnan(value);
    }
    case Kind::String: return !text_.empty();
    default: return true;
  }
}

std::shared_ptr<NSArray> JSValue::toArray() const { return zvt::as<NSArray>(object_); }
std::shared_ptr<NSDictionary> JSValue::toDictionary() const { return zvt::as<NSDictionary>(object_); }

bool JSContext::isCurrent() const {
  auto view = view_.lock();
  return view && view->page() && view->page()->generation() == generation_;
}

std::shared_ptr<JSValue> JSContext::evaluateScript(const std::shared_ptr<NSString>& script) {
  auto view = view_.lock();
  if (!view || !view->page() || !script) return std::make_shared<JSValue>(JSValue::Kind::Undefined, "undefined", nullptr);
  return view->page()->evaluateValue(script->utf8());
}

std::shared_ptr<JSValue> JSContext::objectForKeyedSubscript(const std::shared_ptr<NSString>& name) {
  if (!name) return std::make_shared<JSValue>(JSValue::Kind::Undefined, "undefined", nullptr);
  return evaluateScript(NSString::stringWithUTF8String("globalThis[" + zvt::web::scriptString(name->utf8()) + "]"));
}

void JSContext::setObjectForKeyedSubscript(Native native, const std::shared_ptr<NSString>& name) {
  auto view = view_.lock();
  if (!view || !view->page() || !name) return;
  view->page()->setNative(name->utf8(), std::move(native));
}
