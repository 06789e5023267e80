// XML property lists: writing, reading, refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSPropertyListSerialization.h"
#include "platform/foundation/NSString.h"

namespace {

std::string write(const id& plist, std::shared_ptr<NSError>* error = nullptr) {
  auto data = NSPropertyListSerialization::dataWithPropertyList(plist, NSPropertyListXMLFormat_v1_0, 0, error);
  return data ? std::string(data->view()) : std::string();
}

id read(std::string_view xml, NSPropertyListReadOptions options = NSPropertyListImmutable,
        std::shared_ptr<NSError>* error = nullptr) {
  NSPropertyListFormat format = 0;
  auto result = NSPropertyListSerialization::propertyListWithData(NSData::dataWithString(xml), options, &format, error);
  if (result) {
    EXPECT_EQ(format, NSPropertyListXMLFormat_v1_0);
  }
  return result;
}

std::string wrap(std::string_view body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n" + std::string(body) + "\n</plist>\n";
}

TEST(PersistencePropertyList, WritesTheXmlFormat) {
  auto plist = NSDictionary::make({
      {"name"_ns, "Zavelto & <co>"_ns},
      {"count"_ns, NSNumber::numberWithInt(-42)},
      {"ratio"_ns, NSNumber::numberWithDouble(0.1)},
      {"on"_ns, NSNumber::numberWithBool(true)},
      {"off"_ns, NSNumber::numberWithBool(false)},
      {"list"_ns, NSArray::make({"a"_ns, NSArray::array(), NSDictionary::dictionary()})},
      {"when"_ns, NSDate::dateWithTimeIntervalSince1970(1709280306.75)},
      {"blob"_ns, NSData::dataWithString("Hello")},
  });
  EXPECT_EQ(write(plist),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
            "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
            "<plist version=\"1.0\">\n"
            "<dict>\n"
            "\t<key>blob</key>\n"
            "\t<data>\n"
            "\tSGVsbG8=\n"
            "\t</data>\n"
            "\t<key>count</key>\n"
            "\t<integer>-42</integer>\n"
            "\t<key>list</key>\n"
            "\t<array>\n"
            "\t\t<string>a</string>\n"
            "\t\t<array/>\n"
            "\t\t<dict/>\n"
            "\t</array>\n"
            "\t<key>name</key>\n"
            "\t<string>Zavelto &amp; &lt;co&gt;</string>\n"
            "\t<key>off</key>\n"
            "\t<false/>\n"
            "\t<key>on</key>\n"
            "\t<true/>\n"
            "\t<key>ratio</key>\n"
            "\t<real>0.1</real>\n"
            "\t<key>when</key>\n"
            "\t<date>2024-03-01T08:05:06Z</date>\n"
            "</dict>\n"
            "</plist>\n");
}

TEST(PersistencePropertyList, RoundTripsEveryKindOfValue) {
  std::string bytes(300, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = char(i * 7);
  auto plist = NSDictionary::make({
      {"text"_ns, NSString::stringWithUTF8String("集分宝 a😀b\r\nline\ttab")},
      {"empty"_ns, ""_ns},
      {"blank"_ns, "  "_ns},
      {"min"_ns, NSNumber::numberWithLongLong(INT64_MIN)},
      {"umax"_ns, NSNumber::numberWithUnsignedLongLong(UINT64_MAX)},
      {"pi"_ns, NSNumber::numberWithDouble(3.141592653589793)},
      {"tiny"_ns, NSNumber::numberWithDouble(5e-324)},
      {"inf"_ns, NSNumber::numberWithDouble(-INFINITY)},
      {"bytes"_ns, NSData::dataWithString(bytes)},
      {"nested"_ns, NSArray::make({NSDictionary::make({{"k"_ns, NSArray::make({NSNumber::numberWithBool(true)})}})})},
      {"past"_ns, NSDate::dateWithTimeIntervalSince1970(-86400 * 365.0)},
  });
  std::shared_ptr<NSError> error;
  auto back = read(write(plist), NSPropertyListImmutable, &error);
  ASSERT_TRUE(back) << NSStringFromObject(error);
  EXPECT_TRUE(plist->isEqual(back)) << NSStringFromObject(back);
  auto dict = zvt::as<NSDictionary>(back);
  // Booleans come back as booleans, integers as integers.
  auto nested = zvt::as<NSDictionary>(zvt::as<NSArray>(dict->objectForKey("nested"_ns))->objectAtIndex(0));
  EXPECT_TRUE(zvt::as<NSNumber>(zvt::as<NSArray>(nested->objectForKey("k"_ns))->objectAtIndex(0))->isBoolean());
  EXPECT_FALSE(zvt::as<NSNumber>(dict->objectForKey("min"_ns))->isFloatingPoint());
  EXPECT_EQ(zvt::as<NSNumber>(dict->objectForKey("umax"_ns))->unsignedLongLongValue(), UINT64_MAX);
  EXPECT_TRUE(zvt::as<NSString>(dict->objectForKey("text"_ns))->isEqualToString("集分宝 a😀b\r\nline\ttab"));
}

TEST(PersistencePropertyList, MutabilityOptions) {
  std::string xml = wrap("<dict><key>a</key><array><string>x</string><data>AAE=</data></array></dict>");
  auto frozen = zvt::as<NSDictionary>(read(xml));
  ASSERT_TRUE(frozen);
  EXPECT_FALSE(frozen->isKindOfClass<NSMutableDictionary>());
  auto containers = zvt::as<NSDictionary>(read(xml, NSPropertyListMutableContainers));
  EXPECT_TRUE(containers->isKindOfClass<NSMutableDictionary>());
  auto inner = zvt::as<NSArray>(containers->objectForKey("a"_ns));
  EXPECT_TRUE(inner->isKindOfClass<NSMutableArray>());
  EXPECT_FALSE(inner->objectAtIndex(0)->isKindOfClass<NSMutableString>());
  auto leaves = zvt::as<NSDictionary>(read(xml, NSPropertyListMutableContainersAndLeaves));
  auto innerLeaves = zvt::as<NSArray>(leaves->objectForKey("a"_ns));
  EXPECT_TRUE(innerLeaves->objectAtIndex(0)->isKindOfClass<NSMutableString>());
  EXPECT_TRUE(innerLeaves->objectAtIndex(1)->isKindOfClass<NSMutableData>());
}

TEST(PersistencePropertyList, ReadsWhatOtherWritersProduce) {
  // A bare root without <plist>, comments, CDATA, entity and character references, hex
  // integers, fractional dates, Base64 with blanks, a value of every type.
  auto v = zvt::as<NSArray>(read(
      "<?xml version=\"1.0\"?><!-- made elsewhere --><array>"
      "<string><![CDATA[<raw>]]> &amp; &#x4E2D;&#13;</string>"
      "<integer> 0x1F </integer><integer>+7</integer><real>1e3</real><real>nan</real>"
      "<date>2024-03-01T08:05:06.5Z</date><data>\n  SGVs\n  bG8=\n</data><true/></array>"));
  ASSERT_TRUE(v);
  ASSERT_EQ(v->count(), 8u);
  EXPECT_TRUE(zvt::as<NSString>(v->objectAtIndex(0))->isEqualToString("<raw> & 中\r"));
  EXPECT_EQ(zvt::as<NSNumber>(v->objectAtIndex(1))->integerValue(), 31);
  EXPECT_EQ(zvt::as<NSNumber>(v->objectAtIndex(2))->integerValue(), 7);
  EXPECT_DOUBLE_EQ(zvt::as<NSNumber>(v->objectAtIndex(3))->doubleValue(), 1000);
  EXPECT_TRUE(std::isnan(zvt::as<NSNumber>(v->objectAtIndex(4))->doubleValue()));
  EXPECT_DOUBLE_EQ(zvt::as<NSDate>(v->objectAtIndex(5))->timeIntervalSince1970(), 1709280306.5);
  EXPECT_EQ(zvt::as<NSData>(v->objectAtIndex(6))->view(), "Hello");
  EXPECT_TRUE(zvt::as<NSNumber>(v->objectAtIndex(7))->boolValue());
  // A repeated key keeps the last value.
  auto d = zvt::as<NSDictionary>(read(wrap("<dict><key>k</key><integer>1</integer><key>k</key><integer>2</integer></dict>")));
  EXPECT_EQ(zvt::as<NSNumber>(d->objectForKey("k"_ns))->integerValue(), 2);
}

TEST(PersistencePropertyList, DamagedInputIsAnErrorNotACrash) {
  const char* bad[] = {
      "",
      "not xml at all",
      "<plist><dict><key>a</key></dict></plist>",                   // key without value
      "<plist><dict><string>a</string><true/></dict></plist>",       // value without key
      "<plist><integer>12x</integer></plist>",
      "<plist><integer>99999999999999999999</integer></plist>",
      "<plist><real>1.2.3</real></plist>",
      "<plist><date>2024-02-30T00:00:00Z</date></plist>",
      "<plist><data>@@@@</data></plist>",
      "<plist><array><string>a</string>stray<string>b</string></array></plist>",
      "<plist><set/></plist>",
      "<plist><string>a</string><string>b</string></plist>",         // two roots
      "<plist><dict><key>a</key><string>unterminated</dict></plist>",
      "<?xml version=\"1.0\"?><!DOCTYPE p [<!ENTITY e \"x\">]><plist><string>&e;</string></plist>",
      "bplist00\x01\x02",
  };
  for (const char* xml : bad) {
    std::shared_ptr<NSError> error;
    EXPECT_FALSE(read(xml, NSPropertyListImmutable, &error)) << xml;
    ASSERT_TRUE(error) << xml;
    EXPECT_TRUE(error->domain()->isEqualToString("NSCocoaErrorDomain"));
    EXPECT_EQ(error->code(), NSPropertyListReadCorruptError) << xml;
  }
  EXPECT_FALSE(NSPropertyListSerialization::propertyListWithData(nullptr, 0, nullptr, nullptr));
  // Deep nesting is refused by the parser's own limit, not by running out of stack.
  std::string deep;
  for (int i = 0; i < 5000; ++i) deep += "<array>";
  for (int i = 0; i < 5000; ++i) deep += "</array>";
  EXPECT_FALSE(read(wrap(deep)));
}

TEST(PersistencePropertyList, CorruptedDocumentsNeverCrashTheReader) {
  // Replies from the network reach this reader: every damaged variant of a valid document must
  // either read or fail with an error.
  auto plist = NSDictionary::make({{"a"_ns, NSArray::make({NSNumber::numberWithInt(1), "x&y"_ns})},
                                   {"d"_ns, NSData::dataWithString("bytes")},
                                   {"t"_ns, NSDate::dateWithTimeIntervalSince1970(0)},
                                   {"r"_ns, NSNumber::numberWithDouble(2.5)}});
  const std::string good = write(plist);
  std::mt19937 random(7);
  const char alphabet[] = "<>/&;#x0123456789abcdefgkinrstyAZ=\"\n\t \x80\xff";
  for (int round = 0; round < 2000; ++round) {
    std::string doc = good;
    int edits = 1 + int(random() % 4);
    for (int e = 0; e < edits && !doc.empty(); ++e) {
      size_t at = random() % doc.size();
      switch (random() % 3) {
        case 0: doc[at] = alphabet[random() % (sizeof alphabet - 1)]; break;
        case 1: doc.erase(at, 1 + random() % 8); break;
        default: doc.insert(at, 1, alphabet[random() % (sizeof alphabet - 1)]); break;
      }
    }
    std::shared_ptr<NSError> error;
    auto result = NSPropertyListSerialization::propertyListWithData(NSData::dataWithString(doc), 0, nullptr, &error);
    EXPECT_TRUE(result || (error && error->code() == NSPropertyListReadCorruptError)) << doc;
  }
}

TEST(PersistencePropertyList, RefusesWhatItCannotWrite) {
  auto check = [](const id& plist) {
    std::shared_ptr<NSError> error;
    EXPECT_EQ(write(plist, &error), "");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), NSPropertyListWriteInvalidError);
    EXPECT_FALSE(NSPropertyListSerialization::propertyList(plist, NSPropertyListXMLFormat_v1_0));
  };
  check(NSNull::null());
  check(NSArray::make({"ok"_ns, NSNull::null()}));
  check(NSDictionary::make({{NSNumber::numberWithInt(1), "int key"_ns}}));
  check(nullptr);
  // Characters XML cannot carry would make a file nobody can read back.
  check(NSString::stringWithUTF8String(std::string_view("bell\x07", 5)));
  check(NSString::stringWithUTF8String(std::string_view("nul\0x", 5)));
  check(NSString::stringWithCharacters(u"\xD800", 1));  // a lone surrogate
  EXPECT_TRUE(NSPropertyListSerialization::propertyList("fine"_ns, NSPropertyListXMLFormat_v1_0));
  EXPECT_FALSE(NSPropertyListSerialization::propertyList("fine"_ns, NSPropertyListBinaryFormat_v1_0));
  std::shared_ptr<NSError> error;
  EXPECT_FALSE(NSPropertyListSerialization::dataWithPropertyList("x"_ns, NSPropertyListBinaryFormat_v1_0, 0, &error));
  EXPECT_EQ(error->code(), NSPropertyListWriteInvalidError);
  // A container that holds itself is refused instead of recursing forever.
  auto loop = NSMutableArray::array();
  loop->addObject(loop);
  check(loop);
  loop->removeAllObjects();
}

TEST(PersistencePropertyList, DeepCopyFreezesMutableValues) {
  auto inner = NSMutableArray::make({NSMutableString::stringWithUTF8String("a")});
  auto outer = NSMutableDictionary::make({{"k"_ns, inner}});
  auto copy = zvt::as<NSDictionary>(zvt::propertyListDeepCopy(outer));
  ASSERT_TRUE(copy);
  inner->addObject("b"_ns);
  zvt::as<NSMutableString>(inner->objectAtIndex(0))->appendString("!");
  auto frozen = zvt::as<NSArray>(copy->objectForKey("k"_ns));
  EXPECT_FALSE(frozen->isKindOfClass<NSMutableArray>());
  ASSERT_EQ(frozen->count(), 1u);
  EXPECT_TRUE(zvt::as<NSString>(frozen->objectAtIndex(0))->isEqualToString("a"));
  EXPECT_FALSE(zvt::propertyListDeepCopy(NSArray::make({NSNull::null()})));
}

}  // namespace
