// The Foundation-style adapter over the codec: validity, Cocoa errors, fragments and slashes.
#include "foundation/json/NSJSONSerialization.h"

#include <gtest/gtest.h>

#include <cmath>

#include "foundation/json/JCContainers.h"
#include "foundation/json/JSONDecoder.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSNumber.h"

namespace {

std::shared_ptr<NSString> str(std::string_view s) { return NSString::stringWithUTF8String(s); }

TEST(NSJSONSerialization, IsValidJSONObject) {
  EXPECT_TRUE(NSJSONSerialization::isValidJSONObject(NSArray::array()));
  EXPECT_TRUE(NSJSONSerialization::isValidJSONObject(
      NSDictionary::make({{str("a"), NSArray::make({kCFNull, kCFBooleanTrue, NSNumber::numberWithDouble(1.5)})}})));
  EXPECT_FALSE(NSJSONSerialization::isValidJSONObject(str("top")));
  EXPECT_FALSE(NSJSONSerialization::isValidJSONObject(nullptr));
  EXPECT_FALSE(NSJSONSerialization::isValidJSONObject(NSArray::make({NSNumber::numberWithDouble(NAN)})));
  EXPECT_FALSE(NSJSONSerialization::isValidJSONObject(NSDictionary::make({{NSNumber::numberWithInt(1), kCFNull}})));
  EXPECT_FALSE(NSJSONSerialization::isValidJSONObject(NSArray::make({NSData::data()})));
}

TEST(NSJSONSerialization, ReadingGivesCocoaErrors) {
  std::shared_ptr<NSError> error;
  auto object = NSJSONSerialization::JSONObjectWithData(NSData::dataWithString("{\"a\":[1,2]}"), 0, &error);
  EXPECT_TRUE(zvt::isKind<NSDictionary>(object));
  EXPECT_FALSE(error);
  auto mutableObject = NSJSONSerialization::JSONObjectWithData(NSData::dataWithString("{\"a\":[1]}"),
                                                               NSJSONReadingMutableContainers, nullptr);
  EXPECT_TRUE(zvt::as<JCDictionary>(mutableObject)->isMutable());

  EXPECT_FALSE(NSJSONSerialization::JSONObjectWithData(NSData::dataWithString("{\"a\":"), 0, &error));
  ASSERT_TRUE(error);
  EXPECT_TRUE(error->domain()->isEqualToString("NSCocoaErrorDomain"));
  EXPECT_EQ(error->code(), 3840);
  auto underlying = error->underlyingError();
  ASSERT_TRUE(underlying);
  EXPECT_TRUE(underlying->domain()->isEqualToString("JCErrorDomain"));
  EXPECT_TRUE(zvt::isKind<NSString>(error->userInfo()->objectForKey(NSDebugDescriptionErrorKey)));
  EXPECT_THROW(NSJSONSerialization::JSONObjectWithData(nullptr, 0, nullptr), NSException);
}

TEST(NSJSONSerialization, FragmentsOnlyWhenAllowed) {
  EXPECT_FALSE(NSJSONSerialization::JSONObjectWithData(NSData::dataWithString("42"), 0, nullptr));
  auto n = zvt::as<NSNumber>(
      NSJSONSerialization::JSONObjectWithData(NSData::dataWithString("42"), NSJSONReadingAllowFragments, nullptr));
  ASSERT_TRUE(n);
  EXPECT_EQ(n->intValue(), 42);
  auto s = zvt::as<NSString>(NSJSONSerialization::JSONObjectWithData(NSData::dataWithString(" \"x\" "),
                                                                     NSJSONReadingAllowFragments, nullptr));
  ASSERT_TRUE(s);
  EXPECT_TRUE(s->isEqualToString("x"));
  for (const char* bad : {"1,2", "1] [2", "", "1]"}) {
    EXPECT_FALSE(NSJSONSerialization::JSONObjectWithData(NSData::dataWithString(bad), NSJSONReadingAllowFragments,
                                                         nullptr))
        << bad;
  }
}

TEST(NSJSONSerialization, ReadingStepsOverAByteOrderMark) {
  const std::string bom = "\xEF\xBB\xBF";
  struct Case {
    std::string text;
    NSJSONReadingOptions options;
    bool read;
  } cases[] = {
      {bom + "{\"a\":[1,2]}", 0, true},
      {bom + " [\"x\"]\n", NSJSONReadingMutableContainers, true},
      {bom + "42", NSJSONReadingAllowFragments, true},
      {bom, 0, false},
      {bom + bom + "[]", 0, false},                  // one mark, not two
      {"[]" + bom, 0, false},                        // and only at the start
      {"\xEF\xBB[]", 0, false},                      // a mark cut short is no mark
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::shared_ptr<NSError> error;
    id object = NSJSONSerialization::JSONObjectWithData(NSData::dataWithString(c.text), c.options, &error);
    EXPECT_EQ(object != nullptr, c.read);
    EXPECT_EQ(error != nullptr, !c.read);
  }
  // The codec's own readers keep refusing the mark.
  EXPECT_FALSE(objectFromJSONData(*NSData::dataWithString(bom + "[]")));
}

TEST(NSJSONSerialization, WritingEscapesSlashesByDefault) {
  auto d = NSDictionary::make({{str("url"), str("http://h/p")}});
  EXPECT_EQ(NSJSONSerialization::dataWithJSONObject(d, 0, nullptr)->view(), "{\"url\":\"http:\\/\\/h\\/p\"}");
  EXPECT_EQ(NSJSONSerialization::dataWithJSONObject(d, NSJSONWritingWithoutEscapingSlashes, nullptr)->view(),
            "{\"url\":\"http://h/p\"}");
  EXPECT_EQ(NSJSONSerialization::dataWithJSONObject(NSArray::make({kCFNull}), NSJSONWritingPrettyPrinted, nullptr)
                ->view(),
            "[\n  null\n]");
  EXPECT_THROW(NSJSONSerialization::dataWithJSONObject(str("top"), 0, nullptr), NSException);
  EXPECT_THROW(NSJSONSerialization::dataWithJSONObject(NSArray::make({NSNumber::numberWithDouble(INFINITY)}), 0,
                                                       nullptr),
               NSException);
}

TEST(NSJSONSerialization, TooDeepATreeIsAWriteErrorNotATypeError) {
  auto nested = [](size_t depth) {
    id tree = NSArray::make({str("leaf")});
    for (size_t i = 1; i < depth; ++i) tree = NSArray::make({tree});
    return tree;
  };
  EXPECT_TRUE(NSJSONSerialization::isValidJSONObject(nested(JCMaximumNestingDepth)));
  EXPECT_TRUE(NSJSONSerialization::dataWithJSONObject(nested(JCMaximumNestingDepth), 0, nullptr));
  auto deep = nested(3000);
  EXPECT_FALSE(NSJSONSerialization::isValidJSONObject(deep));
  std::shared_ptr<NSError> error;
  EXPECT_FALSE(NSJSONSerialization::dataWithJSONObject(deep, 0, &error));
  ASSERT_TRUE(error);
  EXPECT_TRUE(error->domain()->isEqualToString("NSCocoaErrorDomain"));
  EXPECT_EQ(error->code(), 3851);
  EXPECT_EQ(zvt::as<NSString>(error->userInfo()->objectForKey(NSDebugDescriptionErrorKey))->utf8(),
            "Maximum nesting depth exceeded.");
  // A bad leaf within the limit is still the caller's type error.
  EXPECT_THROW(NSJSONSerialization::dataWithJSONObject(NSArray::make({nested(10), NSData::data()}), 0, nullptr),
               NSException);
}

}  // namespace
