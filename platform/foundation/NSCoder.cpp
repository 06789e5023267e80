#include "platform/foundation/NSCoder.h"

#include <map>
#include <mutex>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSPropertyListSerialization.h"

namespace {

const zvt::StaticString kClassKey{"$class"};
const zvt::StaticString kObjectsKey{"NS.objects"};
const zvt::StaticString kKeysKey{"NS.keys"};

std::mutex registryMutex;
std::map<std::string, zvt::CodingInitializer>& registry() {
    static std::map<std::string, zvt::CodingInitializer> initializers;
    return initializers;
}

zvt::CodingInitializer initializerFor(const std::string& className) {
    std::lock_guard lock(registryMutex);
    auto it = registry().find(className);
    return it == registry().end() ? nullptr : it->second;
}

[[noreturn]] void unsupported(const char* what) {
    zvt::raise(NSInvalidArgumentException, std::string("NSCoder: ") + what + " is not available on this coder");
}

std::shared_ptr<NSError> unarchiveError(const std::string& description) {
    return NSError::errorWithDomain(NSCocoaErrorDomain, 4864,
                                    NSDictionary::make({{NSLocalizedDescriptionKey,
                                                         NSString::stringWithUTF8String(description)}}));
}

}  // namespace

void NSCoder::encodeObject(const id&, const std::shared_ptr<NSString>&) { unsupported("encodeObject"); }
void NSCoder::encodeBool(bool, const std::shared_ptr<NSString>&) { unsupported("encodeBool"); }
void NSCoder::encodeInteger(NSInteger, const std::shared_ptr<NSString>&) { unsupported("encodeInteger"); }
void NSCoder::encodeDouble(double, const std::shared_ptr<NSString>&) { unsupported("encodeDouble"); }
bool NSCoder::containsValueForKey(const std::shared_ptr<NSString>&) const { unsupported("containsValueForKey"); }
id NSCoder::decodeObjectForKey(const std::shared_ptr<NSString>&) { unsupported("decodeObjectForKey"); }
bool NSCoder::decodeBoolForKey(const std::shared_ptr<NSString>&) { unsupported("decodeBoolForKey"); }
NSInteger NSCoder::decodeIntegerForKey(const std::shared_ptr<NSString>&) { unsupported("decodeIntegerForKey"); }
double NSCoder::decodeDoubleForKey(const std::shared_ptr<NSString>&) { unsupported("decodeDoubleForKey"); }

void NSCoder::failWrongClass(const std::shared_ptr<NSString>& key, const id& object) {
    setError(unarchiveError("value for key '" + (key ? key->utf8() : std::string()) + "' was of unexpected class '" +
                            object->className() + "'"));
}

NSKeyedArchiver::NSKeyedArchiver() : values_(NSMutableDictionary::dictionary()) {}

std::shared_ptr<NSDictionary> NSKeyedArchiver::archivedPropertyListWithRootObject(const id& root) {
    return zvt::as<NSDictionary>(encodeValue(root));
}

std::shared_ptr<NSData> NSKeyedArchiver::archivedDataWithRootObject(const id& root) {
    auto archive = archivedPropertyListWithRootObject(root);
    if (!archive) return nullptr;
    return NSPropertyListSerialization::dataWithPropertyList(archive, NSPropertyListXMLFormat_v1_0, 0, nullptr);
}

id NSKeyedArchiver::encodeValue(const id& object) {
    if (!object) return nullptr;
    if (zvt::isKind<NSString>(object) || zvt::isKind<NSNumber>(object) || zvt::isKind<NSData>(object)) {
        return object->copy();
    }
    if (auto array = zvt::as<NSArray>(object)) {
        std::vector<id> elements;
        for (const id& element : *array) elements.push_back(encodeValue(element));
        return NSDictionary::make({{kClassKey, NSString::stringWithUTF8String("NSArray")},
                                   {kObjectsKey, NSArray::arrayWithObjects(std::move(elements))}});
    }
    if (auto dictionary = zvt::as<NSDictionary>(object)) {
        std::vector<id> keys, objects;
        for (const id& key : *dictionary) {
            keys.push_back(encodeValue(key));
            objects.push_back(encodeValue(dictionary->objectForKey(key)));
        }
        return NSDictionary::make({{kClassKey, NSString::stringWithUTF8String("NSDictionary")},
                                   {kKeysKey, NSArray::arrayWithObjects(std::move(keys))},
                                   {kObjectsKey, NSArray::arrayWithObjects(std::move(objects))}});
    }
    if (auto coding = dynamic_cast<const NSCoding*>(object.get())) {
        auto nested = std::make_shared<NSKeyedArchiver>();
        coding->encodeWithCoder(*nested);
        auto values = NSMutableDictionary::dictionaryWithDictionary(nested->values_);
        values->setObject(NSString::stringWithUTF8String(object->className()), kClassKey);
        return values->copy();
    }
    zvt::raise(NSInvalidArgumentException, "-[" + object->className() + " encodeWithCoder:]: unrecognized selector");
}

void NSKeyedArchiver::encodeObject(const id& object, const std::shared_ptr<NSString>& key) {
    if (!key) zvt::raise(NSInvalidArgumentException, "nil key");
    if (id value = encodeValue(object)) {
        values_->setObject(value, key);
    } else {
        values_->removeObjectForKey(key);
    }
}

void NSKeyedArchiver::encodeBool(bool value, const std::shared_ptr<NSString>& key) {
    encodeObject(NSNumber::numberWithBool(value), key);
}

void NSKeyedArchiver::encodeInteger(NSInteger value, const std::shared_ptr<NSString>& key) {
    encodeObject(NSNumber::numberWithInteger(value), key);
}

void NSKeyedArchiver::encodeDouble(double value, const std::shared_ptr<NSString>& key) {
    encodeObject(NSNumber::numberWithDouble(value), key);
}

std::shared_ptr<NSDictionary> NSKeyedArchiver::encodedValues() const {
    return NSDictionary::dictionaryWithDictionary(values_);
}

NSKeyedUnarchiver::NSKeyedUnarchiver(std::shared_ptr<NSDictionary> values, bool requiresSecureCoding)
    : values_(values ? std::move(values) : NSDictionary::dictionary()), secure_(requiresSecureCoding) {}

id NSKeyedUnarchiver::unarchiveObjectWithPropertyList(const std::shared_ptr<NSDictionary>& archive,
                                                      std::shared_ptr<NSError>* error) {
    NSKeyedUnarchiver unarchiver(NSDictionary::dictionary(), true);
    id object = archive ? unarchiver.decodeValue(archive) : nullptr;
    if (!object && !unarchiver.error()) unarchiver.setError(unarchiveError("the data is not an archive"));
    if (!object) zvt::setError(error, unarchiver.error());
    return object;
}

id NSKeyedUnarchiver::unarchiveObjectWithData(const std::shared_ptr<NSData>& data, std::shared_ptr<NSError>* error) {
    std::shared_ptr<NSError> readError;
    id plist = data ? NSPropertyListSerialization::propertyListWithData(data, 0, nullptr, &readError) : nullptr;
    auto archive = zvt::as<NSDictionary>(plist);
    if (!archive) {
        zvt::setError(error, readError ? readError : unarchiveError("the data is not an archive"));
        return nullptr;
    }
    return unarchiveObjectWithPropertyList(archive, error);
}

id NSKeyedUnarchiver::decodeValue(const id& value) {
    auto dictionary = zvt::as<NSDictionary>(value);
    if (!dictionary) return value;
    auto className = zvt::as<NSString>(dictionary->objectForKey(kClassKey));
    if (!className) {
        setError(unarchiveError("an archived object has no class"));
        return nullptr;
    }
    if (className->isEqualToString("NSArray")) {
        auto objects = zvt::as<NSArray>(dictionary->objectForKey(kObjectsKey));
        std::vector<id> elements;
        for (NSUInteger i = 0; objects && i < objects->count(); ++i) {
            if (id element = decodeValue(objects->objectAtIndex(i))) elements.push_back(element);
        }
        return NSArray::arrayWithObjects(std::move(elements));
    }
    if (className->isEqualToString("NSDictionary")) {
        auto keys = zvt::as<NSArray>(dictionary->objectForKey(kKeysKey));
        auto objects = zvt::as<NSArray>(dictionary->objectForKey(kObjectsKey));
        std::vector<std::pair<id, id>> pairs;
        for (NSUInteger i = 0; keys && objects && i < keys->count() && i < objects->count(); ++i) {
            id key = decodeValue(keys->objectAtIndex(i));
            id object = decodeValue(objects->objectAtIndex(i));
            if (key && object) pairs.emplace_back(key, object);
        }
        return NSDictionary::dictionaryWithPairs(std::move(pairs));
    }
    auto initializer = initializerFor(className->utf8());
    if (!initializer) {
        setError(unarchiveError("cannot decode object of class (" + className->utf8() + ")"));
        return nullptr;
    }
    NSKeyedUnarchiver nested(dictionary, secure_);
    id object = initializer(nested);
    if (nested.error()) setError(nested.error());
    return object;
}

bool NSKeyedUnarchiver::containsValueForKey(const std::shared_ptr<NSString>& key) const {
    return key && values_->objectForKey(key) != nullptr;
}

id NSKeyedUnarchiver::decodeObjectForKey(const std::shared_ptr<NSString>& key) {
    if (!key) return nullptr;
    return decodeValue(values_->objectForKey(key));
}

bool NSKeyedUnarchiver::decodeBoolForKey(const std::shared_ptr<NSString>& key) {
    auto number = key ? zvt::as<NSNumber>(values_->objectForKey(key)) : nullptr;
    return number && number->boolValue();
}

NSInteger NSKeyedUnarchiver::decodeIntegerForKey(const std::shared_ptr<NSString>& key) {
    auto number = key ? zvt::as<NSNumber>(values_->objectForKey(key)) : nullptr;
    return number ? number->integerValue() : 0;
}

double NSKeyedUnarchiver::decodeDoubleForKey(const std::shared_ptr<NSString>& key) {
    auto number = key ? zvt::as<NSNumber>(values_->objectForKey(key)) : nullptr;
    return number ? number->doubleValue() : 0;
}

namespace zvt {

void registerCodingClass(const std::string& className, CodingInitializer initializer) {
    std::lock_guard lock(registryMutex);
    registry()[className] = std::move(initializer);
}

}  // namespace zvt
