#pragma once
// Keyed archiving. An archive is a property list: the root object's keyed values in a
// dictionary; an archived object nests as a dictionary of its own keyed values plus "$class"
// (its class name); arrays and dictionaries nest as {"$class": "NSArray", "NS.objects": [...]}
// and {"$class": "NSDictionary", "NS.keys": [...], "NS.objects": [...]}; strings, numbers and
// data stand as themselves.
//
// A class becomes archivable by deriving from NSCoding (encodeWithCoder) and registering how
// it is made from a coder (zvt::registerCodingClass, usually from a static initialiser).

#include <functional>
#include <memory>
#include <string>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"

class NSCoder;

class NSCoding {
public:
    virtual ~NSCoding() = default;
    virtual void encodeWithCoder(NSCoder& coder) const = 0;
};

class NSCoder : public NSObject {
public:
    virtual bool allowsKeyedCoding() const { return true; }
    // True for an unarchiver that checks the class of every object it decodes.
    virtual bool requiresSecureCoding() const { return false; }

    // Nil objects are not stored; decoding their key gives nil.
    virtual void encodeObject(const id& object, const std::shared_ptr<NSString>& key);
    virtual void encodeBool(bool value, const std::shared_ptr<NSString>& key);
    virtual void encodeInteger(NSInteger value, const std::shared_ptr<NSString>& key);
    virtual void encodeDouble(double value, const std::shared_ptr<NSString>& key);

    virtual bool containsValueForKey(const std::shared_ptr<NSString>& key) const;
    virtual id decodeObjectForKey(const std::shared_ptr<NSString>& key);
    // 0 / NO for a missing key or a value of another kind.
    virtual bool decodeBoolForKey(const std::shared_ptr<NSString>& key);
    virtual NSInteger decodeIntegerForKey(const std::shared_ptr<NSString>& key);
    virtual double decodeDoubleForKey(const std::shared_ptr<NSString>& key);

    // decodeObjectOfClass:forKey: — nil, and the coder's error set, when the object decoded is
    // not of class T.
    template <class T>
    std::shared_ptr<T> decodeObjectOfClass(const std::shared_ptr<NSString>& key) {
        id object = decodeObjectForKey(key);
        auto typed = zvt::as<T>(object);
        if (object && !typed) failWrongClass(key, object);
        return typed;
    }

    // The first decoding failure, nil while there was none.
    std::shared_ptr<NSError> error() const { return error_; }

protected:
    void setError(std::shared_ptr<NSError> error) {
        if (!error_) error_ = std::move(error);
    }
    void failWrongClass(const std::shared_ptr<NSString>& key, const id& object);

private:
    std::shared_ptr<NSError> error_;
};

class NSKeyedArchiver : public NSCoder {
public:
    NSKeyedArchiver();

    // The archive of `root` (an NSCoding object) as a property list.
    static std::shared_ptr<NSDictionary> archivedPropertyListWithRootObject(const id& root);
    // The same archive as the bytes of an XML property list.
    static std::shared_ptr<NSData> archivedDataWithRootObject(const id& root);

    void encodeObject(const id& object, const std::shared_ptr<NSString>& key) override;
    void encodeBool(bool value, const std::shared_ptr<NSString>& key) override;
    void encodeInteger(NSInteger value, const std::shared_ptr<NSString>& key) override;
    void encodeDouble(double value, const std::shared_ptr<NSString>& key) override;

    // What has been encoded so far.
    std::shared_ptr<NSDictionary> encodedValues() const;

private:
    static id encodeValue(const id& object);
    std::shared_ptr<NSMutableDictionary> values_;
};

class NSKeyedUnarchiver : public NSCoder {
public:
    NSKeyedUnarchiver(std::shared_ptr<NSDictionary> values, bool requiresSecureCoding);

    // The object an archive holds; nil (and `error` set) when the archive is not one or names
    // a class that is not registered.
    static id unarchiveObjectWithPropertyList(const std::shared_ptr<NSDictionary>& archive,
                                              std::shared_ptr<NSError>* error = nullptr);
    // The object an archive made by archivedDataWithRootObject holds.
    static id unarchiveObjectWithData(const std::shared_ptr<NSData>& data, std::shared_ptr<NSError>* error = nullptr);

    bool requiresSecureCoding() const override { return secure_; }
    bool containsValueForKey(const std::shared_ptr<NSString>& key) const override;
    id decodeObjectForKey(const std::shared_ptr<NSString>& key) override;
    bool decodeBoolForKey(const std::shared_ptr<NSString>& key) override;
    NSInteger decodeIntegerForKey(const std::shared_ptr<NSString>& key) override;
    double decodeDoubleForKey(const std::shared_ptr<NSString>& key) override;

private:
    id decodeValue(const id& value);
    std::shared_ptr<NSDictionary> values_;
    bool secure_;
};

namespace zvt {

// How an archived object of `className` is made again: -initWithCoder:.
using CodingInitializer = std::function<id(NSCoder& coder)>;
void registerCodingClass(const std::string& className, CodingInitializer initializer);

}  // namespace zvt
