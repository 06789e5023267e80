// Keyed archiving of property-list values and of classes that encode themselves.

#include <gtest/gtest.h>

#include "platform/foundation/Foundation.h"
#include "platform/foundation/NSCoder.h"

namespace {

// A small archivable class: a name, a flag, a count and a list.
class Sample : public NSObject, public NSCoding {
public:
    std::shared_ptr<NSString> name;
    bool flag = false;
    NSInteger count = 0;
    std::shared_ptr<NSArray> items;
    std::shared_ptr<Sample> child;

    void encodeWithCoder(NSCoder& coder) const override {
        coder.encodeObject(name, "name"_ns);
        coder.encodeBool(flag, "flag"_ns);
        coder.encodeInteger(count, "count"_ns);
        coder.encodeObject(items, "items"_ns);
        coder.encodeObject(child, "child"_ns);
    }
    static id initWithCoder(NSCoder& coder) {
        auto sample = std::make_shared<Sample>();
        sample->name = coder.decodeObjectOfClass<NSString>("name"_ns);
        sample->flag = coder.decodeBoolForKey("flag"_ns);
        sample->count = coder.decodeIntegerForKey("count"_ns);
        sample->items = coder.decodeObjectOfClass<NSArray>("items"_ns);
        sample->child = coder.decodeObjectOfClass<Sample>("child"_ns);
        return sample;
    }
};

const bool registered = (zvt::registerCodingClass("Sample", Sample::initWithCoder), true);

}  // namespace

TEST(KeyedArchive, RoundTripOfNestedObjectsAndContainers) {
    ASSERT_TRUE(registered);
    auto sample = std::make_shared<Sample>();
    sample->name = "outer"_ns;
    sample->flag = true;
    sample->count = -42;
    sample->items = NSArray::make({"a"_ns, 7_n, NSData::dataWithString("\x01\x02"),
                                   NSDictionary::make({{"k"_ns, NSArray::make({"v"_ns})}})});
    sample->child = std::make_shared<Sample>();
    sample->child->name = "inner"_ns;

    auto archive = NSKeyedArchiver::archivedPropertyListWithRootObject(sample);
    ASSERT_TRUE(archive);
    EXPECT_TRUE(archive->objectForKey("$class"_ns)->isEqual("Sample"_ns));
    EXPECT_TRUE(archive->objectForKey("name"_ns)->isEqual("outer"_ns));
    EXPECT_FALSE(zvt::as<NSDictionary>(archive->objectForKey("child"_ns))->objectForKey("items"_ns));  // nil not stored

    std::shared_ptr<NSError> error;
    auto back = zvt::as<Sample>(NSKeyedUnarchiver::unarchiveObjectWithPropertyList(archive, &error));
    ASSERT_TRUE(back);
    EXPECT_FALSE(error);
    EXPECT_TRUE(back->name->isEqual("outer"_ns));
    EXPECT_TRUE(back->flag);
    EXPECT_EQ(back->count, -42);
    EXPECT_TRUE(back->items->isEqual(sample->items));
    ASSERT_TRUE(back->child);
    EXPECT_TRUE(back->child->name->isEqual("inner"_ns));
    EXPECT_FALSE(back->child->items);
    EXPECT_FALSE(back->child->flag);

    // Through bytes.
    auto data = NSKeyedArchiver::archivedDataWithRootObject(sample);
    ASSERT_TRUE(data);
    auto again = zvt::as<Sample>(NSKeyedUnarchiver::unarchiveObjectWithData(data, &error));
    ASSERT_TRUE(again);
    EXPECT_EQ(again->count, -42);
    EXPECT_TRUE(again->flag);
    EXPECT_TRUE(again->items->isEqual(sample->items));
    EXPECT_TRUE(again->child->name->isEqual("inner"_ns));
    EXPECT_FALSE(NSKeyedUnarchiver::unarchiveObjectWithData(NSData::dataWithString("not a plist"), &error));
    EXPECT_TRUE(error);
}

TEST(KeyedArchive, RefusalsAndSecureDecoding) {
    // An unregistered class, a dictionary without a class, not an archive at all.
    std::shared_ptr<NSError> error;
    EXPECT_FALSE(NSKeyedUnarchiver::unarchiveObjectWithPropertyList(NSDictionary::make({{"$class"_ns, "Nope"_ns}}), &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), 4864);
    error = nullptr;
    EXPECT_FALSE(NSKeyedUnarchiver::unarchiveObjectWithPropertyList(NSDictionary::make({{"name"_ns, "x"_ns}}), &error));
    EXPECT_TRUE(error);
    EXPECT_FALSE(NSKeyedUnarchiver::unarchiveObjectWithPropertyList(nullptr, nullptr));

    // A value of the wrong class decodes as nil and records the failure.
    NSKeyedUnarchiver unarchiver(NSDictionary::make({{"name"_ns, 5_n}}), true);
    EXPECT_TRUE(unarchiver.requiresSecureCoding());
    EXPECT_TRUE(unarchiver.containsValueForKey("name"_ns));
    EXPECT_FALSE(unarchiver.decodeObjectOfClass<NSString>("name"_ns));
    ASSERT_TRUE(unarchiver.error());
    EXPECT_EQ(unarchiver.decodeIntegerForKey("name"_ns), 5);
    EXPECT_EQ(unarchiver.decodeIntegerForKey("missing"_ns), 0);
    EXPECT_FALSE(unarchiver.decodeBoolForKey("missing"_ns));

    // Objects that cannot encode themselves are refused loudly.
    NSKeyedArchiver archiver;
    EXPECT_THROW(archiver.encodeObject(NSObject::make(), "x"_ns), NSException);
}
