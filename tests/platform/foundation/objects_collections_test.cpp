// Arrays, dictionaries, sets, ordered sets and index sets: the default implementations, the
// abstract interfaces through a second implementation, text forms, copies and refusals.

#include <gtest/gtest.h>

#include <map>

#include "platform/foundation/Foundation.h"

namespace {

std::string reasonOf(const std::function<void()>& call, const std::shared_ptr<NSString>& name) {
  try {
    call();
  } catch (const NSException& e) {
    EXPECT_TRUE(e.name()->isEqualToString(name)) << e.what();
    return e.reason()->utf8();
  }
  ADD_FAILURE() << "no exception";
  return "";
}

TEST(ObjectsArray, ReadsAndSearches) {
  auto a = NSArray::make({"a"_ns, 2_n, "a"_ns, NSNull::null()});
  EXPECT_EQ(a->count(), 4u);
  EXPECT_EQ(NSStringFromObject(a->firstObject()), "a");
  EXPECT_EQ(a->lastObject().get(), NSNull::null().get());
  EXPECT_EQ(a->indexOfObject(NSString::stringWithUTF8String("a")), 0u);
  EXPECT_EQ(a->indexOfObject(NSNumber::numberWithDouble(2.0)), 1u);
  EXPECT_EQ(a->indexOfObject("zz"_ns), static_cast<NSUInteger>(NSNotFound));
  EXPECT_EQ(a->indexOfObjectIdenticalTo(NSString::stringWithUTF8String("a")), static_cast<NSUInteger>(NSNotFound));
  EXPECT_TRUE(a->containsObject(NSNull::null()));
  EXPECT_FALSE(a->containsObject(nullptr));
  EXPECT_FALSE(NSArray::array()->firstObject());
  EXPECT_EQ(a->subarrayWithRange(NSMakeRange(1, 2))->count(), 2u);
  EXPECT_EQ(a->componentsJoinedByString(", "_ns)->utf8(), "a, 2, a, <null>");
  std::vector<std::string> seen;
  for (const id& x : *a) seen.push_back(NSStringFromObject(x));
  EXPECT_EQ(seen, (std::vector<std::string>{"a", "2", "a", "<null>"}));
  auto reversed = a->reverseObjectEnumerator()->allObjects();
  EXPECT_EQ(NSStringFromObject(reversed->firstObject()), "<null>");
  EXPECT_EQ(a->indexOfObjectPassingTest([](const id& x, NSUInteger, bool*) { return zvt::isKind<NSNumber>(x); }), 1u);
}

TEST(ObjectsArray, RefusesNilAndBadIndexes) {
  EXPECT_EQ(reasonOf([] { NSArray::make({"a"_ns, nullptr}); }, NSInvalidArgumentException),
            "*** -[__NSPlaceholderArray initWithObjects:count:]: attempt to insert nil object from objects[1]");
  auto a = NSArray::make({1_n, 2_n, 3_n});
  EXPECT_EQ(reasonOf([&] { a->objectAtIndex(3); }, NSRangeException),
            "*** -[__NSArrayI objectAtIndex:]: index 3 beyond bounds [0 .. 2]");
  EXPECT_EQ(reasonOf([] { NSArray::array()->objectAtIndex(0); }, NSRangeException),
            "*** -[__NSArrayI objectAtIndex:]: index 0 beyond bounds for empty array");
  auto m = NSMutableArray::array();
  reasonOf([&] { m->addObject(nullptr); }, NSInvalidArgumentException);
  reasonOf([&] { m->insertObject(1_n, 1); }, NSRangeException);
  reasonOf([&] { m->removeLastObject(); }, NSRangeException);
  reasonOf([&] { a->subarrayWithRange(NSMakeRange(2, 2)); }, NSRangeException);
  EXPECT_EQ(m->count(), 0u);
}

TEST(ObjectsArray, MutatesAndCopies) {
  auto m = NSMutableArray::make({3_n, 1_n, 2_n});
  m->addObject(1_n);
  m->insertObject("x"_ns, 0);
  m->removeObject(NSNumber::numberWithDouble(1.0));  // every equal element goes
  EXPECT_EQ(m->componentsJoinedByString(" "_ns)->utf8(), "x 3 2");
  m->removeObjectAtIndex(0);
  m->sortUsingComparator(zvt::compareObjects);
  EXPECT_EQ(m->componentsJoinedByString(" "_ns)->utf8(), "2 3");
  m->exchangeObjectAtIndex(0, 1);
  m->replaceObjectAtIndex(1, 9_n);
  m->setObject(10_n, 2);  // at count: appends
  EXPECT_EQ(m->componentsJoinedByString(" "_ns)->utf8(), "3 9 10");
  auto frozen = m->copy();
  m->removeAllObjects();
  EXPECT_EQ(frozen->count(), 3u);
  EXPECT_FALSE(frozen->isKindOfClass<NSMutableArray>());
  EXPECT_EQ(frozen->copy().get(), frozen.get());  // an immutable array copies as itself
  auto again = frozen->mutableCopy();
  again->addObject(11_n);
  EXPECT_EQ(frozen->count(), 3u);
  EXPECT_TRUE(frozen->isEqual(NSArray::make({3_n, 9_n, 10_n})));
  EXPECT_FALSE(frozen->isEqual(again));
  auto idx = NSMutableIndexSet::indexSet();
  idx->addIndex(0);
  idx->addIndex(2);
  again->removeObjectsAtIndexes(idx);
  EXPECT_EQ(again->componentsJoinedByString(" "_ns)->utf8(), "9 11");
  EXPECT_EQ(again->objectsAtIndexes(NSIndexSet::indexSetWithIndex(1))->count(), 1u);
}

TEST(ObjectsArray, MutationDuringIterationRaises) {
  auto m = NSMutableArray::make({1_n, 2_n, 3_n});
  EXPECT_THROW(
      {
        for (const id& x : *m) {
          if (zvt::objectsEqual(x, 1_n)) m->addObject(4_n);
        }
      },
      NSException);
}

TEST(ObjectsArray, SortsStablyAndByCompare) {
  auto words = NSArray::make({"b"_ns, "A"_ns, "a"_ns, "B"_ns});
  auto sorted = words->sortedArrayUsingCompare();
  EXPECT_EQ(sorted->componentsJoinedByString(""_ns)->utf8(), "ABab");
  auto folded = words->sortedArrayUsingComparator([](const id& x, const id& y) {
    return zvt::as<NSString>(x)->caseInsensitiveCompare(zvt::as<NSString>(y));
  });
  EXPECT_EQ(folded->componentsJoinedByString(""_ns)->utf8(), "AabB");
  EXPECT_THROW(NSArray::make({"a"_ns, 1_n})->sortedArrayUsingCompare(), NSException);
}

TEST(ObjectsDictionary, StoresLooksUpAndKeepsInsertionOrder) {
  auto d = NSMutableDictionary::dictionary();
  d->setObject(1_n, "one"_ns);
  d->setObject(2_n, "two"_ns);
  d->setObject(3_n, "three"_ns);
  d->setObject(22_n, NSString::stringWithUTF8String("two"));  // replaces, keeps the place
  EXPECT_EQ(d->count(), 3u);
  EXPECT_EQ(NSStringFromObject(d->objectForKey("two"_ns)), "22");
  EXPECT_EQ(NSStringFromObject(d->valueForKey("three"_ns)), "3");
  EXPECT_FALSE(d->objectForKey("four"_ns));
  EXPECT_FALSE(d->objectForKey(nullptr));
  EXPECT_EQ(d->allKeys()->componentsJoinedByString(","_ns)->utf8(), "one,two,three");
  d->removeObjectForKey("one"_ns);
  d->setObject(4_n, "four"_ns);
  std::vector<std::string> keys;
  for (const id& key : *d) keys.push_back(NSStringFromObject(key));
  EXPECT_EQ(keys, (std::vector<std::string>{"two", "three", "four"}));
  d->setValueForKey(nullptr, "two"_ns);  // nil removes
  EXPECT_EQ(d->count(), 2u);
  d->setObjectForKeyedSubscript(nullptr, "three"_ns);
  EXPECT_EQ(d->count(), 1u);
}

TEST(ObjectsDictionary, ImmutableOnesOfEverySizeFindEveryKey) {
  // Small ones compare hashes one by one, larger ones go through their index; keys of equal
  // hash (numbers equal to a double) sit in the same run.
  for (int n : {0, 1, 8, 9, 17, 300}) {
    std::vector<std::pair<id, id>> pairs;
    for (int i = 0; i < n; ++i) pairs.emplace_back(NSString::stringWithFormat("k%d", i), NSNumber::numberWithInt(i));
    pairs.emplace_back(NSNumber::numberWithInt(7), "seven"_ns);
    pairs.emplace_back(NSString::stringWithFormat("k%d", 0), "again"_ns);  // a repeated key keeps its place
    auto d = NSDictionary::dictionaryWithPairs(pairs);
    ASSERT_EQ(d->count(), static_cast<NSUInteger>(n == 0 ? 2 : n + 1)) << n;
    for (int i = 1; i < n; ++i) EXPECT_EQ(zvt::as<NSNumber>(d->objectForKey(NSString::stringWithFormat("k%d", i)))->intValue(), i);
    EXPECT_EQ(NSStringFromObject(d->objectForKey(NSNumber::numberWithDouble(7.0))), "seven") << n;
    EXPECT_EQ(NSStringFromObject(d->objectForKey(NSString::stringWithFormat("k%d", 0))), "again") << n;
    EXPECT_FALSE(d->objectForKey(NSString::stringWithFormat("k%d", n + 1))) << n;
    EXPECT_EQ(NSStringFromObject(d->allKeys()->firstObject()), n == 0 ? "7" : "k0") << n;
    EXPECT_TRUE(d->copy().get() == d.get());
    EXPECT_TRUE(d->mutableCopy()->isEqual(d));
  }
  auto a = NSArray::arrayWithObjects({"x"_ns, 1_n, "z"_ns});
  EXPECT_EQ(a->componentsJoinedByString(","_ns)->utf8(), "x,1,z");
  EXPECT_EQ(NSArray::array()->count(), 0u);
  EXPECT_THROW(a->objectAtIndex(3), NSException);
}

TEST(ObjectsDictionary, ManyInsertionsAndRemovalsAgreeWithAModel) {
  auto d = NSMutableDictionary::dictionary();
  std::map<long long, long long> model;
  uint64_t state = 12345;
  for (int i = 0; i < 20000; ++i) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    long long key = static_cast<long long>((state >> 33) % 500);
    if ((state >> 20) % 3 == 0) {
      d->removeObjectForKey(NSNumber::numberWithLongLong(key));
      model.erase(key);
    } else {
      d->setObject(NSNumber::numberWithInt(i), NSNumber::numberWithLongLong(key));
      model[key] = i;
    }
  }
  ASSERT_EQ(d->count(), model.size());
  for (auto [key, value] : model) {
    auto found = zvt::as<NSNumber>(d->objectForKey(NSNumber::numberWithDouble(static_cast<double>(key))));
    ASSERT_TRUE(found) << key;
    EXPECT_EQ(found->longLongValue(), value);
  }
}

TEST(ObjectsDictionary, KeysAreCopiedSoLaterChangesCannotCorruptTheTable) {
  auto key = NSMutableString::stringWithUTF8String("k");
  auto d = NSMutableDictionary::dictionary();
  d->setObject(1_n, key);
  key->appendString("x");
  EXPECT_TRUE(d->objectForKey("k"_ns));
  EXPECT_FALSE(d->objectForKey("kx"_ns));
  EXPECT_FALSE(d->allKeys()->firstObject()->isKindOfClass<NSMutableString>());
}

TEST(ObjectsDictionary, RefusesNilKeysAndValues) {
  auto d = NSMutableDictionary::dictionary();
  EXPECT_EQ(reasonOf([&] { d->setObject(nullptr, "k"_ns); }, NSInvalidArgumentException),
            "*** -[__NSDictionaryM setObject:forKey:]: object cannot be nil (key: k)");
  reasonOf([&] { d->setObject(1_n, nullptr); }, NSInvalidArgumentException);
  reasonOf([&] { d->removeObjectForKey(nullptr); }, NSInvalidArgumentException);
  reasonOf([] { NSDictionary::make({{"k"_ns, nullptr}}); }, NSInvalidArgumentException);
  EXPECT_EQ(d->count(), 0u);
}

TEST(ObjectsDictionary, CopiesAndEquality) {
  auto d = NSMutableDictionary::make({{"a"_ns, 1_n}, {"b"_ns, NSArray::make({2_n})}});
  auto frozen = d->copy();
  d->setObject(3_n, "c"_ns);
  EXPECT_EQ(frozen->count(), 2u);
  EXPECT_EQ(frozen->copy().get(), frozen.get());
  EXPECT_TRUE(frozen->isEqual(NSDictionary::make({{"b"_ns, NSArray::make({NSNumber::numberWithDouble(2)})}, {"a"_ns, 1_n}})));
  EXPECT_FALSE(frozen->isEqual(d));
  auto merged = frozen->mutableCopy();
  merged->addEntriesFromDictionary(NSDictionary::make({{"a"_ns, 9_n}}));
  EXPECT_EQ(NSStringFromObject(merged->objectForKey("a"_ns)), "9");
  EXPECT_EQ(NSDictionary::dictionaryWithObjects(NSArray::make({1_n}), NSArray::make({"x"_ns}))->count(), 1u);
  EXPECT_THROW(NSDictionary::dictionaryWithObjects(NSArray::make({1_n}), NSArray::array()), NSException);
}

TEST(ObjectsDescription, NestedContainersMatchFoundationsLayout) {
  auto inner = NSDictionary::make({{"z"_ns, NSArray::make({1_n, "two words"_ns})}, {"a"_ns, NSNull::null()}});
  auto outer = NSArray::make({inner, NSArray::array(), NSDictionary::dictionary(), kCFBooleanTrue, "中"_ns});
  EXPECT_EQ(outer->description()->utf8(),
            "(\n"
            "        {\n"
            "        a = \"<null>\";\n"
            "        z =         (\n"
            "            1,\n"
            "            \"two words\"\n"
            "        );\n"
            "    },\n"
            "        (\n"
            "    ),\n"
            "        {\n"
            "    },\n"
            "    1,\n"
            "    \"\\U4e2d\"\n"
            ")");
  EXPECT_EQ(NSString::stringWithFormat("%@", NSDictionary::make({{"b"_ns, 2.5_n}, {"a"_ns, "x"_ns}}))->utf8(),
            "{\n    a = x;\n    b = \"2.5\";\n}");
  EXPECT_EQ(NSArray::array()->description()->utf8(), "(\n)");
  EXPECT_EQ(NSSet::make({1_n})->description()->utf8(), "{(\n    1\n)}");
  EXPECT_EQ(NSData::dataWithString("Hello")->description()->utf8(), "<48656c6c 6f>");
  // Numbers and other leaves go through the same quoting as strings.
  EXPECT_EQ(NSArray::make({NSNumber::numberWithDouble(-1), NSNumber::numberWithInt(-1), 0.5_n, NSNumber::numberWithLongLong(7)})->description()->utf8(),
            "(\n    \"-1\",\n    \"-1\",\n    \"0.5\",\n    7\n)");
}

// A second implementation of the abstract interfaces, as the JSON containers are.
class FixedArray : public NSArray {
 public:
  explicit FixedArray(std::vector<id> v) : v_(std::move(v)) {}
  NSUInteger count() const override { return v_.size(); }
  id objectAtIndex(NSUInteger i) const override {
    if (i >= v_.size()) raiseBeyondBounds(i, "objectAtIndex:");
    return v_[i];
  }

 private:
  std::vector<id> v_;
};

class TinyDictionary : public NSMutableDictionary {
 public:
  NSUInteger count() const override { return keys_.size(); }
  id objectForKey(const id& key) const override {
    for (size_t i = 0; i < keys_.size(); ++i) {
      if (zvt::objectsEqual(keys_[i], key)) return objects_[i];
    }
    return nullptr;
  }
  std::shared_ptr<NSEnumerator> keyEnumerator() const override { return std::make_shared<zvt::VectorEnumerator>(keys_); }
  void setObject(const id& object, const id& key) override {
    removeObjectForKey(key);
    keys_.push_back(key);
    objects_.push_back(object);
  }
  void removeObjectForKey(const id& key) override {
    for (size_t i = 0; i < keys_.size(); ++i) {
      if (zvt::objectsEqual(keys_[i], key)) {
        keys_.erase(keys_.begin() + static_cast<std::ptrdiff_t>(i));
        objects_.erase(objects_.begin() + static_cast<std::ptrdiff_t>(i));
        return;
      }
    }
  }

 private:
  std::vector<id> keys_, objects_;
};

TEST(ObjectsCollections, ASecondImplementationGetsTheWholeInterface) {
  auto a = std::make_shared<FixedArray>(std::vector<id>{"x"_ns, 1_n});
  EXPECT_EQ(a->description()->utf8(), "(\n    x,\n    1\n)");
  EXPECT_TRUE(a->isEqual(NSArray::make({"x"_ns, 1_n})));
  EXPECT_TRUE(NSArray::make({"x"_ns, 1_n})->isEqual(a));
  EXPECT_EQ(a->arrayByAddingObject(2_n)->count(), 3u);
  auto copy = a->copy();
  EXPECT_NE(copy.get(), a.get());
  EXPECT_TRUE(copy->isEqual(a));
  EXPECT_THROW(a->objectAtIndex(2), NSException);

  auto d = std::make_shared<TinyDictionary>();
  d->setObject(1_n, "b"_ns);
  d->setObject(2_n, "a"_ns);
  EXPECT_EQ(d->description()->utf8(), "{\n    a = 2;\n    b = 1;\n}");
  EXPECT_EQ(d->allValues()->componentsJoinedByString(","_ns)->utf8(), "1,2");
  EXPECT_TRUE(d->isEqual(NSDictionary::make({{"a"_ns, 2_n}, {"b"_ns, 1_n}})));
  d->removeAllObjects();
  EXPECT_EQ(d->count(), 0u);
  auto holder = std::make_shared<NSObject>();
  EXPECT_FALSE(holder->isKindOfClass<NSArray>());
  EXPECT_TRUE(a->isKindOfClass<NSArray>());
  EXPECT_FALSE(a->isKindOfClass<NSMutableArray>());
  EXPECT_TRUE(d->isKindOfClass<NSDictionary>());
  EXPECT_EQ(a->className(), "FixedArray");
}

TEST(ObjectsCollections, UnretainedFetchesWalkEveryEntryInOrder) {
  // Dictionaries: plain ones (one with holes left by removals) and the general form.
  auto holes = NSMutableDictionary::make({{"a"_ns, 1_n}, {"b"_ns, 2_n}, {"c"_ns, 3_n}, {"d"_ns, 4_n}, {"e"_ns, 5_n}});
  holes->removeObjectForKey("b"_ns);
  holes->removeObjectForKey("d"_ns);
  auto tiny = std::make_shared<TinyDictionary>();
  tiny->setObject(1_n, "b"_ns);
  tiny->setObject(2_n, "a"_ns);
  tiny->setObject(3_n, "c"_ns);
  const std::shared_ptr<NSDictionary> dictionaries[] = {
      NSDictionary::make({{"x"_ns, 1_n}, {"y"_ns, 2_n}, {"z"_ns, 3_n}}), holes, tiny, NSDictionary::dictionary()};
  for (const auto& d : dictionaries) {
    std::vector<std::pair<const NSObject*, const NSObject*>> expected, fetched;
    d->enumerateKeysAndObjectsUsingBlock(
        [&](const id& key, const id& object, bool*) { expected.emplace_back(key.get(), object.get()); });
    NSUInteger position = 0;
    const NSObject* keys[2];
    const NSObject* objects[2];
    while (NSUInteger n = d->getUnretainedObjectsAndKeys(objects, keys, 2, position)) {
      for (NSUInteger i = 0; i < n; ++i) fetched.emplace_back(keys[i], objects[i]);
    }
    EXPECT_EQ(fetched, expected) << d->description()->utf8();
  }
  // Arrays: the plain one and the general form.
  const std::shared_ptr<NSArray> arrays[] = {NSArray::make({"x"_ns, 1_n, "z"_ns}),
                                             std::make_shared<FixedArray>(std::vector<id>{"x"_ns, 1_n, "z"_ns})};
  for (const auto& a : arrays) {
    const NSObject* cells[2] = {};
    a->getUnretainedObjects(cells, NSMakeRange(1, 2));
    EXPECT_EQ(cells[0], a->objectAtIndex(1).get());
    EXPECT_EQ(cells[1], a->objectAtIndex(2).get());
    EXPECT_THROW(a->getUnretainedObjects(cells, NSMakeRange(2, 2)), NSException);
  }
}

TEST(ObjectsSet, MembershipAlgebraAndCopies) {
  auto s = NSMutableSet::make({"a"_ns, "b"_ns, NSString::stringWithUTF8String("a")});
  EXPECT_EQ(s->count(), 2u);
  EXPECT_TRUE(s->containsObject(NSString::stringWithUTF8String("b")));
  s->unionSet(NSSet::make({"c"_ns}));
  s->minusSet(NSSet::make({"a"_ns}));
  EXPECT_TRUE(s->isEqualToSet(NSSet::make({"c"_ns, "b"_ns})));
  s->intersectSet(NSSet::make({"c"_ns, "z"_ns}));
  EXPECT_EQ(s->allObjects()->componentsJoinedByString(""_ns)->utf8(), "c");
  EXPECT_TRUE(s->isSubsetOfSet(NSSet::make({"c"_ns, "d"_ns})));
  EXPECT_TRUE(s->intersectsSet(NSSet::make({"c"_ns})));
  auto frozen = s->copy();
  s->addObject("q"_ns);
  EXPECT_EQ(frozen->count(), 1u);
  EXPECT_THROW(s->addObject(nullptr), NSException);
  size_t n = 0;
  for (const id& x : members(s)) n += x ? 1 : 0;
  EXPECT_EQ(n, 2u);
}

TEST(ObjectsOrderedSet, KeepsFirstOccurrenceOrder) {
  auto o = NSMutableOrderedSet::orderedSet();
  for (auto x : {"b"_ns, "a"_ns, "b"_ns, "c"_ns}) o->addObject(x);
  EXPECT_EQ(o->array()->componentsJoinedByString(""_ns)->utf8(), "bac");
  o->insertObject("z"_ns, 0);
  o->insertObject("a"_ns, 0);  // already a member: nothing happens
  EXPECT_EQ(o->indexOfObject("c"_ns), 3u);
  o->removeObject("b"_ns);
  EXPECT_EQ(o->array()->componentsJoinedByString(""_ns)->utf8(), "zac");
  EXPECT_FALSE(o->containsObject("b"_ns));
  EXPECT_THROW(o->objectAtIndex(3), NSException);
}

TEST(ObjectsIndexSet, RangesMergeAndSplit) {
  auto s = NSMutableIndexSet::indexSet();
  s->addIndexesInRange(NSMakeRange(5, 3));  // 5 6 7
  s->addIndex(9);
  s->addIndex(8);  // joins 5..9
  EXPECT_EQ(s->ranges().size(), 1u);
  EXPECT_EQ(s->count(), 5u);
  s->removeIndex(7);
  EXPECT_EQ(s->ranges().size(), 2u);
  EXPECT_EQ(s->indexGreaterThanIndex(6), 8u);
  EXPECT_EQ(s->indexLessThanIndex(8), 6u);
  EXPECT_EQ(s->indexGreaterThanIndex(9), static_cast<NSUInteger>(NSNotFound));
  EXPECT_TRUE(s->containsIndexesInRange(NSMakeRange(5, 2)));
  EXPECT_FALSE(s->containsIndexesInRange(NSMakeRange(5, 3)));
  s->shiftIndexesStartingAtIndex(8, -2);  // 6 is overwritten; 8 9 become 6 7
  EXPECT_EQ(s->allIndexes(), (std::vector<NSUInteger>{5, 6, 7}));
  s->shiftIndexesStartingAtIndex(6, 10);
  EXPECT_EQ(s->allIndexes(), (std::vector<NSUInteger>{5, 16, 17}));
  EXPECT_EQ(s->firstIndex(), 5u);
  EXPECT_EQ(s->lastIndex(), 17u);
  EXPECT_EQ(NSIndexSet::indexSet()->firstIndex(), static_cast<NSUInteger>(NSNotFound));
}

}  // namespace
