#include "platform/foundation/NSObject.h"

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSKeyValueCoding.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/ObjectArena.h"

NSObject::~NSObject() = default;

id NSObject::self() const {
  if (auto owned = weak_from_this().lock()) return std::const_pointer_cast<NSObject>(owned);
  // An object made in an arena shares the arena's ownership.
  if (auto arena = zvt::ObjectArena::ownerOf(this)) return id(std::move(arena), const_cast<NSObject*>(this));
  throw std::bad_weak_ptr();
}

std::string zvt::demangledClassName(const std::type_info& type) {
  int status = 0;
  char* demangled = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
  std::string name = (status == 0 && demangled) ? demangled : type.name();
  std::free(demangled);
  // Drop namespaces (but not those inside template arguments).
  size_t cut = std::string::npos;
  int depth = 0;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '<') ++depth;
    else if (name[i] == '>') --depth;
    else if (depth == 0 && name[i] == ':' && i + 1 < name.size() && name[i + 1] == ':') cut = i + 1;
  }
  return cut == std::string::npos ? name : name.substr(cut + 1);
}

std::string NSObject::className() const { return zvt::demangledClassName(typeid(*this)); }

std::shared_ptr<NSString> NSObject::description() const {
  char address[32];
  std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
  return NSString::fromValidUTF8("<" + className() + ": " + address + ">");
}

std::shared_ptr<NSString> NSObject::descriptionWithLocale(const id&, NSUInteger) const {
  auto text = description();
  return NSString::fromValidUTF8(zvt::quotedDescriptionText(text ? text->view() : std::string_view("(null)")));
}

std::shared_ptr<NSString> NSObject::debugDescription() const { return description(); }

bool NSObject::isEqual(const id& other) const { return other.get() == this; }

NSUInteger NSObject::hash() const { return reinterpret_cast<uintptr_t>(this); }

id NSObject::copyWithZone() const {
  zvt::raise(NSInvalidArgumentException,
             "-[" + className() + " copyWithZone:]: unrecognized selector sent to instance " +
                 zvt::format("%p", {static_cast<const void*>(this)}));
}

id NSObject::mutableCopyWithZone() const {
  zvt::raise(NSInvalidArgumentException, "-[" + className() + " mutableCopyWithZone:]: unrecognized selector sent to instance " +
                                             zvt::format("%p", {static_cast<const void*>(this)}));
}

// ---------------------------------------------------------------- key-value coding

const zvt::KVCClass* NSObject::kvcClass() const { return nullptr; }

id NSObject::valueForKey(const std::shared_ptr<NSString>& key) const {
  if (!key) zvt::raise(NSInvalidArgumentException, "-[" + className() + " valueForKey:]: attempt to retrieve a value for a nil key");
  if (const zvt::KVCClass* table = kvcClass()) {
    if (const auto* property = table->find(key->view())) return property->get(*this);
  }
  return valueForUndefinedKey(key);
}

void NSObject::setValueForKey(const id& value, const std::shared_ptr<NSString>& key) {
  if (!key) zvt::raise(NSInvalidArgumentException, "-[" + className() + " setValue:forKey:]: attempt to set a value for a nil key");
  if (const zvt::KVCClass* table = kvcClass()) {
    if (const auto* property = table->find(key->view()); property && property->set) {
      if (!value && property->scalar) {
        setNilValueForKey(key);
        return;
      }
      if (property->setterAnnounces) {
        property->set(*this, value);
      } else {
        willChangeValueForKey(key->view());
        property->set(*this, value);
        didChangeValueForKey(key->view());
      }
      return;
    }
  }
  setValueForUndefinedKey(value, key);
}

id NSObject::valueForUndefinedKey(const std::shared_ptr<NSString>& key) const {
  throw NSException(NSUndefinedKeyException,
                    NSString::stringWithFormat("[<%s %p> valueForUndefinedKey:]: this class is not key value coding-compliant for the key %@.",
                                               className(), static_cast<const void*>(this), key));
}

void NSObject::setValueForUndefinedKey(const id&, const std::shared_ptr<NSString>& key) {
  throw NSException(NSUndefinedKeyException,
                    NSString::stringWithFormat("[<%s %p> setValue:forUndefinedKey:]: this class is not key value coding-compliant for the key %@.",
                                               className(), static_cast<const void*>(this), key));
}

void NSObject::setNilValueForKey(const std::shared_ptr<NSString>& key) {
  throw NSException(NSInvalidArgumentException,
                    NSString::stringWithFormat("[<%s %p> setNilValueForKey]: could not set nil as the value for the key %@.",
                                               className(), static_cast<const void*>(this), key));
}

void NSObject::setValuesForKeysWithDictionary(const std::shared_ptr<NSDictionary>& keyedValues) {
  if (!keyedValues) return;
  for (const auto& [key, value] : keyedValues->allPairs()) {
    auto name = std::dynamic_pointer_cast<NSString>(key);
    if (!name) {
      zvt::raise(NSInvalidArgumentException,
                 "-[" + className() + " setValuesForKeysWithDictionary:]: key is not a string: " + NSStringFromObject(key));
    }
    setValueForKey(zvt::isNullOrNil(value) ? nullptr : value, name);
  }
}

std::shared_ptr<NSDictionary> NSObject::dictionaryWithValuesForKeys(const std::shared_ptr<NSArray>& keys) const {
  auto result = NSMutableDictionary::dictionary();
  if (!keys) return result;
  for (const auto& key : *keys) {
    auto name = std::dynamic_pointer_cast<NSString>(key);
    if (!name) continue;
    id value = valueForKey(name);
    result->setObject(value ? value : id(NSNull::null()), name);
  }
  return result;
}

id NSObject::valueForKeyPath(const std::shared_ptr<NSString>& keyPath) const {
  if (!keyPath) return valueForKey(keyPath);
  const std::string& path = keyPath->utf8();
  size_t dot = path.find('.');
  if (dot == std::string::npos) return valueForKey(keyPath);
  id next = valueForKey(NSString::fromValidUTF8(path.substr(0, dot)));
  if (!next) return nullptr;
  return next->valueForKeyPath(NSString::fromValidUTF8(path.substr(dot + 1)));
}

void NSObject::setValueForKeyPath(const id& value, const std::shared_ptr<NSString>& keyPath) {
  if (!keyPath) return setValueForKey(value, keyPath);
  const std::string& path = keyPath->utf8();
  size_t dot = path.find('.');
  if (dot == std::string::npos) return setValueForKey(value, keyPath);
  id next = valueForKey(NSString::fromValidUTF8(path.substr(0, dot)));
  if (!next) return;
  next->setValueForKeyPath(value, NSString::fromValidUTF8(path.substr(dot + 1)));
}

#if defined(__SANITIZE_ADDRESS__)
// The leak checker's one list for the process, here because every program links this file:
// fontconfig (under the text layer) keeps its configuration and font lists for the life of the
// process and never frees them, and the web engine's JavaScriptCore keeps its virtual machine's
// small objects likewise; sanitizer builds would report them at exit.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libjavascriptcoregtk-4.1.so\n";
}
#endif

#if defined(__SANITIZE_THREAD__)
// fontconfig is not built with the thread checker: the atomics with which it publishes the
// patterns a font loading thread fills are invisible to it, so its reads on the main thread
// (the first label of a process that has other threads) look like races.
extern "C" const char* __tsan_default_suppressions() { return "race:libfontconfig.so\n"; }
#endif
