#include "platform/foundation/NSKeyValueCoding.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/NSException.h"

namespace zvt {

KVCClass::KVCClass(const KVCClass* base) {
  if (base) {
    properties_ = base->properties_;
    index_ = base->index_;
    affecting_ = base->affecting_;
  }
}

const KVCClass::Property* KVCClass::find(std::string_view name) const {
  auto it = index_.find(std::string(name));
  return it == index_.end() ? nullptr : &properties_[it->second];
}

std::vector<std::string> KVCClass::propertyNames() const {
  std::vector<std::string> names;
  names.reserve(properties_.size());
  for (const auto& p : properties_) names.push_back(p.name);
  return names;
}

void KVCClass::add(Property property) {
  auto it = index_.find(property.name);
  if (it != index_.end()) {  // a subclass redeclaring a property keeps its place
    properties_[it->second] = std::move(property);
    return;
  }
  index_.emplace(property.name, properties_.size());
  properties_.push_back(std::move(property));
}

std::vector<std::string> KVCClass::keyPathsForValuesAffectingValueForKey(const std::string& key) const {
  std::vector<std::string> paths;
  for (const auto& answer : affecting_) {
    for (auto& path : answer(key))
      if (std::find(paths.begin(), paths.end(), path) == paths.end()) paths.push_back(std::move(path));
  }
  return paths;
}

id kvcConvertToString(const id& value) {
  if (auto s = std::dynamic_pointer_cast<NSString>(value)) return s;
  if (auto n = std::dynamic_pointer_cast<NSNumber>(value)) return n->stringValue();
  return nullptr;
}

id kvcConvertToNumber(const id& value) {
  if (auto n = std::dynamic_pointer_cast<NSNumber>(value)) return n;
  if (auto s = std::dynamic_pointer_cast<NSString>(value)) {
    const std::string& t = s->utf8();
    bool fractional = t.find_first_of(".eE") != std::string::npos;
    if (fractional) return NSNumber::numberWithDouble(s->doubleValue());
    return NSNumber::numberWithLongLong(s->longLongValue());
  }
  return nullptr;
}

namespace {
[[noreturn]] void raiseNotScalar(const id& value) {
  raise(NSInvalidArgumentException, "key-value coding: " + (value ? value->className() : std::string("nil")) +
                                        " cannot be stored in a scalar property");
}
}  // namespace

double kvcDoubleValue(const id& value) {
  if (auto n = std::dynamic_pointer_cast<NSNumber>(value)) return n->doubleValue();
  if (auto s = std::dynamic_pointer_cast<NSString>(value)) return s->doubleValue();
  raiseNotScalar(value);
}

long long kvcLongLongValue(const id& value) {
  if (auto n = std::dynamic_pointer_cast<NSNumber>(value)) return n->longLongValue();
  if (auto s = std::dynamic_pointer_cast<NSString>(value)) return s->longLongValue();
  raiseNotScalar(value);
}

unsigned long long kvcUnsignedLongLongValue(const id& value) {
  if (auto n = std::dynamic_pointer_cast<NSNumber>(value)) return n->unsignedLongLongValue();
  if (auto s = std::dynamic_pointer_cast<NSString>(value)) return static_cast<unsigned long long>(s->longLongValue());
  raiseNotScalar(value);
}

bool kvcBoolValue(const id& value) {
  if (auto n = std::dynamic_pointer_cast<NSNumber>(value)) return n->boolValue();
  if (auto s = std::dynamic_pointer_cast<NSString>(value)) return s->boolValue();
  raiseNotScalar(value);
}

}  // namespace zvt
