// Data buffers, values and geometry text forms, class names, and objects shared across threads.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <atomic>
#include <filesystem>
#include <thread>

#include "platform/foundation/Foundation.h"

namespace {

TEST(ObjectsData, BytesRangesAndFiles) {
  auto d = NSMutableData::data();
  d->appendString("hello");
  d->appendBytes(" world", 6);
  EXPECT_EQ(d->length(), 11u);
  EXPECT_EQ(d->subdataWithRange(NSMakeRange(6, 5))->view(), "world");
  EXPECT_THROW(d->subdataWithRange(NSMakeRange(6, 6)), NSException);
  EXPECT_EQ(d->rangeOfData(NSData::dataWithString("o"), NSMakeRange(5, 6)), NSMakeRange(7, 1));
  d->replaceBytesInRange(NSMakeRange(0, 5), "HI", 2);
  EXPECT_EQ(d->view(), "HI world");
  d->setLength(2);
  d->increaseLengthBy(2);
  EXPECT_EQ(std::string(d->view()), std::string("HI\0\0", 4));
  d->appendData(d);  // appending itself doubles it
  EXPECT_EQ(d->length(), 8u);
  auto frozen = d->copy();
  d->resetBytesInRange(NSMakeRange(0, 8));
  EXPECT_EQ(frozen->view().substr(0, 2), "HI");
  EXPECT_FALSE(frozen->isKindOfClass<NSMutableData>());
  EXPECT_TRUE(NSData::data()->bytes() != nullptr);
  EXPECT_TRUE(NSData::dataWithString("ab")->isEqual(NSMutableData::dataWithBytes("ab", 2)));
  EXPECT_EQ(NSData::dataWithString("ab")->hash(), NSMutableData::dataWithBytes("ab", 2)->hash());

  // Data that took over a malloc block answers like data that owns a vector, through every
  // reader and every copy (the block is freed with the data: the sanitizer build checks that).
  auto* block = static_cast<uint8_t*>(std::malloc(11));
  std::memcpy(block, "hello world", 11);
  auto adopted = NSData::dataWithMallocBlock(block, 11);
  EXPECT_EQ(adopted->bytes(), block);  // not copied
  EXPECT_EQ(adopted->length(), 11u);
  EXPECT_EQ(adopted->view(), "hello world");
  EXPECT_EQ(adopted->subdataWithRange(NSMakeRange(6, 5))->view(), "world");
  EXPECT_THROW(adopted->subdataWithRange(NSMakeRange(6, 6)), NSException);
  EXPECT_EQ(adopted->rangeOfData(NSData::dataWithString("o"), NSMakeRange(5, 6)), NSMakeRange(7, 1));
  char first[5];
  adopted->getBytes(first, NSMakeRange(0, 5));
  EXPECT_EQ(std::string(first, 5), "hello");
  EXPECT_TRUE(adopted->isEqual(NSData::dataWithString("hello world")));
  EXPECT_TRUE(NSData::dataWithString("hello world")->isEqualToData(adopted));
  EXPECT_EQ(adopted->hash(), NSData::dataWithString("hello world")->hash());
  EXPECT_EQ(NSData::dataWithData(adopted)->view(), "hello world");
  auto grown = adopted->mutableCopy();
  grown->appendData(adopted);
  EXPECT_EQ(grown->view(), "hello worldhello world");
  auto replaced = NSMutableData::data();
  replaced->setData(adopted);
  EXPECT_EQ(NSMutableData::dataWithData(adopted)->view(), replaced->view());
  EXPECT_EQ(adopted->vector().size(), 11u);
  EXPECT_EQ(NSData::dataWithMallocBlock(nullptr, 0)->length(), 0u);
  EXPECT_THROW(NSData::dataWithMallocBlock(nullptr, 3), NSException);

  char dir[] = "/tmp/zvt-objects-XXXXXX";
  ASSERT_TRUE(::mkdtemp(dir));
  auto path = NSString::stringWithUTF8String(std::string(dir) + "/file.bin");
  EXPECT_TRUE(NSData::dataWithString("payload")->writeToFile(path, true));
  EXPECT_EQ(NSData::dataWithContentsOfFile(path)->view(), "payload");
  EXPECT_TRUE(NSData::dataWithString("x")->writeToFile(path, false));
  EXPECT_EQ(NSData::dataWithContentsOfFile(path)->view(), "x");
  EXPECT_FALSE(NSData::dataWithContentsOfFile(NSString::stringWithUTF8String(std::string(dir) + "/none")));
  EXPECT_FALSE(NSData::data()->writeToFile(NSString::stringWithUTF8String(std::string(dir) + "/no/dir/f"), true));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 1);
  std::filesystem::remove_all(dir);
}

TEST(ObjectsData, FilesAreReadWholeWhateverTheirSizeSays) {
  char dir[] = "/tmp/zvt-objects-XXXXXX";
  ASSERT_TRUE(::mkdtemp(dir));
  std::string large(300 * 1024 + 7, '\0');
  for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 131 % 251);
  const struct {
    const char* what;
    std::string path;
    std::string contents;  // written first unless the path exists
    bool readable;
  } cases[] = {
      {"empty", std::string(dir) + "/empty", "", true},
      {"larger than one read", std::string(dir) + "/large", large, true},
      {"a directory", dir, "", false},
  };
  for (const auto& c : cases) {
    if (!std::filesystem::exists(c.path)) {
      auto bytes = NSData::dataWithBytes(c.contents.data(), c.contents.size());
      ASSERT_TRUE(bytes->writeToFile(NSString::stringWithUTF8String(c.path), false)) << c.what;
    }
    auto data = NSData::dataWithContentsOfFile(NSString::stringWithUTF8String(c.path));
    ASSERT_EQ(data != nullptr, c.readable) << c.what;
    if (data) {
      EXPECT_TRUE(data->view() == c.contents) << c.what;
    }
  }
  // A file that reports no size still has its contents read.
  auto status = NSData::dataWithContentsOfFile(NSString::stringWithUTF8String("/proc/self/status"));
  ASSERT_TRUE(status);
  EXPECT_NE(status->view().find("Name:"), std::string_view::npos);
  std::filesystem::remove_all(dir);
}

TEST(ObjectsValue, BoxesAndTexts) {
  auto r = NSValue::valueWithRange(NSMakeRange(3, 4));
  EXPECT_EQ(r->rangeValue(), NSMakeRange(3, 4));
  EXPECT_EQ(r->description()->utf8(), "NSRange: {3, 4}");
  auto rect = NSValue::valueWithCGRect(CGRectMake(0, 0.5, 320, 480));
  EXPECT_EQ(rect->description()->utf8(), "NSRect: {{0, 0.5}, {320, 480}}");
  EXPECT_EQ(rect->CGRectValue(), CGRectMake(0, 0.5, 320, 480));
  EXPECT_TRUE(rect->isEqual(NSValue::valueWithCGRect(CGRectMake(0, 0.5, 320, 480))));
  EXPECT_FALSE(rect->isEqual(NSValue::valueWithCGSize(CGSizeMake(320, 480))));
  EXPECT_THROW(r->CGRectValue(), NSException);
  EXPECT_EQ(NSStringFromCGPoint(CGPointMake(1.5, -2))->utf8(), "{1.5, -2}");
  EXPECT_EQ(CGRectFromString("{{1, 2}, {3, 4.5}}"_ns), CGRectMake(1, 2, 3, 4.5));
  EXPECT_EQ(NSRangeFromString("{5, 6}"_ns), NSMakeRange(5, 6));
  auto object = std::make_shared<NSObject>();
  auto weak = NSValue::valueWithNonretainedObject(object);
  EXPECT_EQ(weak->nonretainedObjectValue().get(), object.get());
  object.reset();
  EXPECT_FALSE(weak->nonretainedObjectValue());
  struct Insets { double top, left, bottom, right; };
  auto insets = NSValue::valueWithValue(Insets{1, 2, 3, 4}, "{UIEdgeInsets=dddd}");
  EXPECT_EQ(insets->value<Insets>().bottom, 3);
}

TEST(ObjectsGeometry, RectangleFunctions) {
  const CGRect a = CGRectMake(0, 0, 10, 10);
  struct Case {
    const char* what;
    CGRect got, want;
  } cases[] = {
      {"overlap", CGRectIntersection(a, CGRectMake(5, -5, 10, 10)), CGRectMake(5, 0, 5, 5)},
      {"negative size is standardised", CGRectIntersection(a, CGRectMake(15, 15, -10, -10)), CGRectMake(5, 5, 5, 5)},
      {"apart", CGRectIntersection(a, CGRectMake(20, 0, 5, 5)), CGRectNull},
      {"touching", CGRectIntersection(a, CGRectMake(10, 0, 5, 5)), CGRectMake(10, 0, 0, 5)},
      {"union", CGRectUnion(a, CGRectMake(-5, 5, 2, 20)), CGRectMake(-5, 0, 15, 25)},
      {"union with null", CGRectUnion(CGRectNull, a), a},
      {"inset", CGRectInset(a, 2, 3), CGRectMake(2, 3, 6, 4)},
      {"inset outset", CGRectInset(a, -1, -1), CGRectMake(-1, -1, 12, 12)},
      {"inset too far", CGRectInset(a, 6, 0), CGRectNull},
      {"offset", CGRectOffset(a, 1, -1), CGRectMake(1, -1, 10, 10)},
      {"integral", CGRectIntegral(CGRectMake(0.5, 1.2, 2.1, 2.9)), CGRectMake(0, 1, 3, 4)},
  };
  for (const auto& c : cases) {
    if (CGRectIsNull(c.want)) {
      EXPECT_TRUE(CGRectIsNull(c.got)) << c.what;
    } else {
      EXPECT_EQ(c.got, c.want) << c.what << " " << NSStringFromCGRect(c.got)->utf8();
    }
  }
  EXPECT_TRUE(CGRectContainsPoint(a, CGPointMake(0, 0)));
  EXPECT_FALSE(CGRectContainsPoint(a, CGPointMake(10, 5))) << "the maximum edge is outside";
  EXPECT_FALSE(CGRectIntersectsRect(a, CGRectMake(10, 0, 5, 5))) << "touching edges share no area";
  EXPECT_TRUE(CGRectContainsRect(a, CGRectMake(2, 2, 8, 8)));
  EXPECT_FALSE(CGRectContainsRect(a, CGRectMake(2, 2, 9, 8)));
  EXPECT_TRUE(CGRectIsEmpty(CGRectMake(1, 1, 0, 5)));
  EXPECT_EQ(CGRectGetMaxX(CGRectMake(10, 0, -4, 1)), 10);
  EXPECT_EQ(CGRectGetMidY(CGRectMake(0, 2, 1, 4)), 4);
}

namespace demo {
class TZSampleThing : public NSObject {};
}  // namespace demo

TEST(ObjectsObject, ClassNamesIdentityAndDefaults) {
  auto thing = std::make_shared<demo::TZSampleThing>();
  EXPECT_EQ(thing->className(), "TZSampleThing");
  EXPECT_EQ(thing->description()->utf8().rfind("<TZSampleThing: 0x", 0), 0u);
  EXPECT_TRUE(thing->isEqual(thing));
  EXPECT_FALSE(thing->isEqual(std::make_shared<demo::TZSampleThing>()));
  EXPECT_TRUE(thing->isMemberOfClass<demo::TZSampleThing>());
  EXPECT_FALSE(thing->isMemberOfClass<NSObject>());
  EXPECT_TRUE(thing->isKindOfClass<NSObject>());
  EXPECT_EQ(thing->self().get(), thing.get());
  EXPECT_EQ(NSString::string()->className(), "NSString");
  EXPECT_EQ(NSMutableArray::array()->className(), "__NSArrayM");
  EXPECT_TRUE(zvt::objectsEqual(nullptr, nullptr));
  EXPECT_FALSE(zvt::objectsEqual("a"_ns, nullptr));
  EXPECT_TRUE(zvt::isNullOrNil(nullptr));
  EXPECT_TRUE(zvt::isNullOrNil(NSNull::null()));
  EXPECT_FALSE(zvt::isNullOrNil("x"_ns));
  EXPECT_EQ(NSStringFromObject(nullptr), "(null)");
}

// Immutable objects, literals, constants and the shared singletons are used from many threads.
TEST(ObjectsThreads, SharedImmutableObjectsAndConstantsFromManyThreads) {
  auto shared = NSDictionary::make({{"k"_ns, NSArray::make({1_n, "two"_ns})}});
  static const zvt::StaticString kLateConstant{"LateConstant"};
  std::vector<std::thread> threads;
  std::atomic<int> good{0};
  std::vector<const NSString*> seen(8);
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        auto list = zvt::as<NSArray>(shared->objectForKey("k"_ns));
        if (list && list->count() == 2 && shared->description()->length() > 0 &&
            NSNumber::numberWithBool(true).get() == kCFBooleanTrue.get()) {
          ++good;
        }
        auto text = NSString::stringWithFormat("%d-%@", i, list->lastObject());
        if (!text->hasSuffix("two")) --good;
      }
      seen[static_cast<size_t>(t)] = kLateConstant.get().get();
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(good.load(), 8 * 200);
  for (const NSString* s : seen) EXPECT_EQ(s, seen[0]);
}

}  // namespace
