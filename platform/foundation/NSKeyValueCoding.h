#pragma once
// Key-value coding over per-class property tables.
//
// A class with key-value coded properties registers them once, in declaration order, and
// returns its table from kvcClass():
//
//   class TZProductModel : public TZParentModel {
//    public:
//     id title;
//     NSInteger count = 0;
//     static const zvt::KVCClass* classTable() {
//       static const zvt::KVCClass table = zvt::KVCClass::Builder<TZProductModel>(TZParentModel::classTable())
//           .property("title", &TZProductModel::title)
//           .property("count", &TZProductModel::count)
//           .build();
//       return &table;
//     }
//     const zvt::KVCClass* kvcClass() const override { return classTable(); }
//   };
//
// Properties are members (id, std::shared_ptr<T> of an object class, bool, integers, floating
// point, enumerations) or getter/setter member functions of those types. The table of a subclass starts with
// the properties of the table it is built on. Object members take what they are given when it is
// of their class; a number given to a string member is stored as its text, a string given to a
// number member as its value, anything else of the wrong class as nil. Scalars are unboxed
// from numbers and strings; nil for a scalar goes to setNilValueForKey (which raises).
//
// Key-value observing (NSKeyValueObserving.h) reads two more things from the table: whether
// setValueForKey must announce a change itself (a data member; a setter function announces
// its own changes, or none) and which key paths affect a key (keyPathsForValuesAffecting).

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"

namespace zvt {

class KVCClass {
 public:
  struct Property {
    std::string name;
    std::function<id(const NSObject&)> get;
    std::function<void(NSObject&, const id&)> set;  // empty when read-only
    bool scalar = false;                            // nil is not a value for it
    bool setterAnnounces = false;                   // the setter calls will/didChangeValueForKey
  };
  // The answer of a keyPathsForValuesAffecting... class method for one key.
  using AffectingAnswer = std::function<std::vector<std::string>(const std::string& key)>;

  KVCClass() = default;
  explicit KVCClass(const KVCClass* base);

  // nullptr when the class has no property of that name.
  const Property* find(std::string_view name) const;
  // Every property, those of the base tables first, each table in declaration order.
  const std::vector<Property>& properties() const { return properties_; }
  std::vector<std::string> propertyNames() const;

  void add(Property property);

  // Key paths whose changes change `key`: what every answer registered on this table and the
  // tables below it gives for the key, without repeats.
  std::vector<std::string> keyPathsForValuesAffectingValueForKey(const std::string& key) const;
  void addAffectingAnswer(AffectingAnswer answer) { affecting_.push_back(std::move(answer)); }

  template <class C>
  class Builder;

 private:
  std::vector<Property> properties_;
  std::unordered_map<std::string, size_t> index_;
  std::vector<AffectingAnswer> affecting_;
};

// Conversions of key-value coding, usable by hand-written accessors too.
template <class T>
struct KVCBox;

template <>
struct KVCBox<id> {
  static id box(const id& value) { return value; }
  static id unbox(const id& value) { return value; }
};

id kvcConvertToString(const id& value);  // NSString, or a number's text, else nil
id kvcConvertToNumber(const id& value);  // NSNumber, or a string's value, else nil

template <class T>
  requires std::is_base_of_v<NSObject, T>
struct KVCBox<std::shared_ptr<T>> {
  static id box(const std::shared_ptr<T>& value) { return value; }
  static std::shared_ptr<T> unbox(const id& value) {
    if (auto typed = std::dynamic_pointer_cast<T>(value)) return typed;
    if constexpr (std::is_same_v<T, NSString>) {
      return std::static_pointer_cast<NSString>(kvcConvertToString(value));
    } else if constexpr (std::is_same_v<T, NSNumber>) {
      return std::static_pointer_cast<NSNumber>(kvcConvertToNumber(value));
    } else {
      return nullptr;
    }
  }
};

double kvcDoubleValue(const id& value);
long long kvcLongLongValue(const id& value);
unsigned long long kvcUnsignedLongLongValue(const id& value);
bool kvcBoolValue(const id& value);

template <class T>
  requires(std::is_arithmetic_v<T>)
struct KVCBox<T> {
  static id box(T value) {
    if constexpr (std::is_same_v<T, bool>) {
      return NSNumber::numberWithBool(value);
    } else if constexpr (std::is_floating_point_v<T>) {
      if constexpr (std::is_same_v<T, float>) return NSNumber::numberWithFloat(value);
      else return NSNumber::numberWithDouble(static_cast<double>(value));
    } else if constexpr (std::is_signed_v<T>) {
      if constexpr (sizeof(T) == 1) return NSNumber::numberWithChar(value);
      else if constexpr (sizeof(T) == 2) return NSNumber::numberWithShort(value);
      else if constexpr (sizeof(T) == 4) return NSNumber::numberWithInt(value);
      else return NSNumber::numberWithLongLong(value);
    } else {
      if constexpr (sizeof(T) == 1) return NSNumber::numberWithUnsignedChar(value);
      else if constexpr (sizeof(T) == 2) return NSNumber::numberWithUnsignedShort(value);
      else if constexpr (sizeof(T) == 4) return NSNumber::numberWithUnsignedInt(value);
      else return NSNumber::numberWithUnsignedLongLong(value);
    }
  }
  static T unbox(const id& value) {
    if constexpr (std::is_same_v<T, bool>) return kvcBoolValue(value);
    else if constexpr (std::is_floating_point_v<T>) return static_cast<T>(kvcDoubleValue(value));
    else if constexpr (std::is_signed_v<T>) return static_cast<T>(kvcLongLongValue(value));
    else return static_cast<T>(kvcUnsignedLongLongValue(value));
  }
};

// Enumerations are numbers of their underlying type.
template <class T>
  requires(std::is_enum_v<T>)
struct KVCBox<T> {
  using Underlying = std::underlying_type_t<T>;
  static id box(T value) { return KVCBox<Underlying>::box(static_cast<Underlying>(value)); }
  static T unbox(const id& value) { return static_cast<T>(KVCBox<Underlying>::unbox(value)); }
};

template <class T>
constexpr bool kvcIsScalar = std::is_arithmetic_v<T> || std::is_enum_v<T>;

template <class C>
class KVCClass::Builder {
 public:
  explicit Builder(const KVCClass* base = nullptr) : table_(base) {}

  // A data member.
  template <class M>
  Builder& property(std::string name, M C::*member) {
    Property p;
    p.name = std::move(name);
    p.scalar = kvcIsScalar<M>;
    p.get = [member](const NSObject& object) -> id { return KVCBox<M>::box(static_cast<const C&>(object).*member); };
    p.set = [member](NSObject& object, const id& value) { static_cast<C&>(object).*member = KVCBox<M>::unbox(value); };
    table_.add(std::move(p));
    return *this;
  }

  // A getter and a setter (or a read-only property without setter).
  template <class R, class P>
  Builder& property(std::string name, R (C::*getter)() const, void (C::*setter)(P)) {
    using Value = std::remove_cvref_t<R>;
    using Param = std::remove_cvref_t<P>;
    Property p;
    p.name = std::move(name);
    p.scalar = kvcIsScalar<Param>;
    p.get = [getter](const NSObject& object) -> id { return KVCBox<Value>::box((static_cast<const C&>(object).*getter)()); };
    p.set = [setter](NSObject& object, const id& value) { (static_cast<C&>(object).*setter)(KVCBox<Param>::unbox(value)); };
    p.setterAnnounces = true;
    table_.add(std::move(p));
    return *this;
  }
  template <class R>
  Builder& readonlyProperty(std::string name, R (C::*getter)() const) {
    using Value = std::remove_cvref_t<R>;
    Property p;
    p.name = std::move(name);
    p.scalar = kvcIsScalar<Value>;
    p.get = [getter](const NSObject& object) -> id { return KVCBox<Value>::box((static_cast<const C&>(object).*getter)()); };
    table_.add(std::move(p));
    return *this;
  }

  // The class's keyPathsForValuesAffectingValueForKey: answer, for any key...
  Builder& keyPathsForValuesAffecting(AffectingAnswer answer) {
    table_.addAffectingAnswer(std::move(answer));
    return *this;
  }
  // ...or its keyPathsForValuesAffecting<Key> answer for one key.
  Builder& keyPathsForValuesAffecting(std::string key, std::vector<std::string> (*answer)()) {
    table_.addAffectingAnswer([key = std::move(key), answer](const std::string& asked) {
      return asked == key ? answer() : std::vector<std::string>{};
    });
    return *this;
  }

  KVCClass build() { return std::move(table_); }

 private:
  KVCClass table_;
};

}  // namespace zvt
