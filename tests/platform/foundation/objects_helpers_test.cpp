// Character sets, enumerators, derived collection helpers and the terse forms.

#include <gtest/gtest.h>

#include "platform/foundation/Foundation.h"

namespace {

std::shared_ptr<NSString> S(const char* utf8) { return NSString::stringWithUTF8String(utf8); }

TEST(ObjectsCharacterSet, MembershipAndEdits) {
  auto ws = NSCharacterSet::whitespaceCharacterSet();
  EXPECT_TRUE(ws->characterIsMember(u' '));
  EXPECT_TRUE(ws->characterIsMember(0x3000));  // ideographic space
  EXPECT_FALSE(ws->characterIsMember(u'\n'));
  EXPECT_TRUE(NSCharacterSet::newlineCharacterSet()->characterIsMember(0x2028));
  EXPECT_TRUE(NSCharacterSet::alphanumericCharacterSet()->characterIsMember(u'中'));
  EXPECT_FALSE(NSCharacterSet::letterCharacterSet()->characterIsMember(u'7'));
  EXPECT_TRUE(NSCharacterSet::uppercaseLetterCharacterSet()->characterIsMember(u'Ä'));
  auto inverted = NSCharacterSet::decimalDigitCharacterSet()->invertedSet();
  EXPECT_FALSE(inverted->characterIsMember(u'5'));
  EXPECT_TRUE(inverted->characterIsMember(u'x'));
  auto m = NSCharacterSet::characterSetWithCharactersInString(S("ab😀"))->mutableCopy();
  EXPECT_TRUE(m->longCharacterIsMember(0x1F600));
  m->removeCharactersInString(S("a"));
  m->addCharactersInRange(NSMakeRange('0', 10));
  m->formUnionWithCharacterSet(m);  // with itself: unchanged, no self reference
  EXPECT_FALSE(m->characterIsMember(u'a'));
  EXPECT_TRUE(m->characterIsMember(u'b'));
  EXPECT_TRUE(m->characterIsMember(u'9'));
  m->invert();
  EXPECT_TRUE(m->characterIsMember(u'a'));
  auto frozen = m->copy();
  m->invert();
  EXPECT_TRUE(std::static_pointer_cast<NSCharacterSet>(frozen)->characterIsMember(u'a'));
  EXPECT_FALSE(NSCharacterSet::URLQueryAllowedCharacterSet()->characterIsMember(u' '));
  EXPECT_TRUE(NSCharacterSet::URLQueryAllowedCharacterSet()->characterIsMember(u'?'));
  EXPECT_FALSE(NSCharacterSet::URLPathAllowedCharacterSet()->characterIsMember(u'?'));
  EXPECT_FALSE(NSCharacterSet::URLHostAllowedCharacterSet()->characterIsMember(u'/'));
  auto parts = S("a b\tc")->componentsSeparatedByCharactersInSet(ws);
  EXPECT_EQ(parts->componentsJoinedByString(S("|"))->utf8(), "a|b|c");
}

TEST(ObjectsEnumerator, WalksOnceAndHandsOutTheRest) {
  auto e = NSArray::make({1_n, 2_n, 3_n})->objectEnumerator();
  EXPECT_EQ(NSStringFromObject(e->nextObject()), "1");
  auto rest = e->allObjects();
  EXPECT_EQ(rest->componentsJoinedByString(S(","))->utf8(), "2,3");
  EXPECT_FALSE(e->nextObject());
  auto d = NSDictionary::make({{"x"_ns, 1_n}, {"y"_ns, 2_n}});
  EXPECT_EQ(d->keyEnumerator()->allObjects()->count(), 2u);
  EXPECT_EQ(d->objectEnumerator()->allObjects()->componentsJoinedByString(S(","))->utf8(), "1,2");
}

TEST(ObjectsDictionary, DerivedReads) {
  auto d = NSDictionary::make({{"a"_ns, 3_n}, {"b"_ns, 1_n}, {"c"_ns, 3_n}});
  EXPECT_EQ(d->allKeysForObject(NSNumber::numberWithDouble(3))->componentsJoinedByString(S(""))->utf8(), "ac");
  EXPECT_EQ(d->keysSortedByValueUsingComparator(zvt::compareObjects)->componentsJoinedByString(S(""))->utf8(), "bac");
  auto picked = d->objectsForKeys(NSArray::make({"b"_ns, "zz"_ns}), NSNull::null());
  EXPECT_EQ(picked->componentsJoinedByString(S(","))->utf8(), "1,<null>");
  EXPECT_THROW(d->objectsForKeys(NSArray::make({"zz"_ns}), nullptr), NSException);
  EXPECT_EQ(d->descriptionInStringsFileFormat()->utf8(), "\"a\" = \"3\";\n\"b\" = \"1\";\n\"c\" = \"3\";\n");
  EXPECT_EQ((*d)["b"_ns].get(), d->objectForKey("b"_ns).get());
  auto m = d->mutableCopy();
  m->removeObjectsForKeys(NSArray::make({"a"_ns, "c"_ns}));
  EXPECT_EQ(m->count(), 1u);
  m->setDictionary(NSDictionary::make({{"q"_ns, 1_n}}));
  EXPECT_EQ(m->allKeys()->componentsJoinedByString(S(""))->utf8(), "q");
}

TEST(ObjectsArray, DerivedWrites) {
  auto m = NSMutableArray::make({1_n, 2_n, 3_n, 4_n, 5_n});
  m->removeObjectsInRange(NSMakeRange(1, 2));
  EXPECT_EQ(m->componentsJoinedByString(S(""))->utf8(), "145");
  m->filterUsingPredicate([](const id& x) { return zvt::as<NSNumber>(x)->intValue() != 4; });
  EXPECT_EQ(m->componentsJoinedByString(S(""))->utf8(), "15");
  m->insertObjects(NSArray::make({7_n, 8_n}), NSIndexSet::indexSetWithIndexesInRange(NSMakeRange(1, 2)));
  EXPECT_EQ(m->componentsJoinedByString(S(""))->utf8(), "1785");
  m->removeObjectsInArray(NSArray::make({8_n, 1_n}));
  EXPECT_EQ(m->componentsJoinedByString(S(""))->utf8(), "75");
  auto same = NSArray::arrayWithArray(m);
  m->setArray(NSArray::array());
  EXPECT_EQ(same->count(), 2u);
  EXPECT_EQ(m->count(), 0u);
  auto longer = same->arrayByAddingObjectsFromArray(NSArray::make({9_n}));
  EXPECT_EQ(longer->componentsJoinedByString(S(""))->utf8(), "759");
  EXPECT_EQ(longer->filteredArrayUsingPredicate([](const id& x) { return zvt::as<NSNumber>(x)->intValue() > 6; })->count(), 2u);
}

TEST(ObjectsStrings, CharacterAccessHelpers) {
  auto s = S("x😀");
  unichar buffer[3] = {};
  s->getCharacters(buffer, NSMakeRange(0, 3));
  EXPECT_EQ(buffer[1], 0xD83D);
  EXPECT_EQ(s->rangeOfComposedCharacterSequenceAtIndex(2), NSMakeRange(1, 2));
  EXPECT_EQ(s->rangeOfComposedCharacterSequenceAtIndex(0), NSMakeRange(0, 1));
  EXPECT_THROW(s->getCharacters(buffer, NSMakeRange(1, 3)), NSException);
  const unichar units[] = {u'h', u'i'};
  EXPECT_EQ(NSString::stringWithCharacters(units, 2)->utf8(), "hi");
  EXPECT_TRUE(NSString::stringWithString(s)->isEqual(s));
  EXPECT_THROW(NSString::stringWithString(nullptr), NSException);
  EXPECT_EQ(NSString::string().get(), NSString::string().get());
  EXPECT_EQ(NSString::string()->length(), 0u);
}

inline const zvt::StaticString kSampleKey{"SampleKey"};

TEST(ObjectsTerseForms, LiteralsAndConstantsConvertWhereObjectsAreExpected) {
  id asObject = kSampleKey;
  std::shared_ptr<NSString> asString = kSampleKey;
  EXPECT_EQ(asObject.get(), asString.get());
  EXPECT_EQ(kSampleKey->length(), 9u);
  EXPECT_STREQ(kSampleKey.c_str(), "SampleKey");
  auto d = NSDictionary::make({{kSampleKey, 1_n}});
  EXPECT_TRUE(d->objectForKey(S("SampleKey")));
  EXPECT_EQ(NSStringFromObject(18446744073709551615_n), "18446744073709551615");
  EXPECT_STREQ((18446744073709551615_n)->objCType(), "Q");
  EXPECT_EQ(NSStringFromObject(0.25_n), "0.25");
  EXPECT_EQ(""_ns->length(), 0u);
  EXPECT_EQ("a\0b"_ns->length(), 3u);
}

}  // namespace
