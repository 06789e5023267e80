// The decoder's containers: capacity steps, cell order, refusals with their texts, copies, and
// a model check of the hash table against std::unordered_map under forced collisions.
#include "foundation/json/JCContainers.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <unordered_map>

#include "foundation/json/JSONDecoder.h"
#include "platform/foundation/NSException.h"
#include "platform/foundation/NSNull.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"

namespace {

// A key whose hash the test chooses, to force collisions and runs that wrap around the table.
class CollidingKey : public NSObject {
 public:
  CollidingKey(int value, NSUInteger hash) : value_(value), hash_(hash) {}
  static std::shared_ptr<CollidingKey> make(int value, NSUInteger hash) {
    return std::make_shared<CollidingKey>(value, hash);
  }
  bool isEqual(const id& other) const override {
    auto o = zvt::as<CollidingKey>(other);
    return o && o->value_ == value_;
  }
  NSUInteger hash() const override { return hash_; }
  id copyWithZone() const override { return self(); }
  int value() const { return value_; }

 private:
  int value_;
  NSUInteger hash_;
};

std::shared_ptr<JCDictionary> emptyMutableDictionary() {
  return zvt::json::makeJCDictionary(nullptr, 0, true);
}

std::shared_ptr<NSString> str(const char* s) { return NSString::stringWithUTF8String(s); }

template <class F>
std::string raisedReason(F&& f) {
  try {
    f();
  } catch (const NSException& e) {
    return e.name()->utf8() + ": " + e.reason()->utf8();
  }
  return "(nothing raised)";
}

TEST(JCContainers, CapacityTableSteps) {
  EXPECT_EQ(zvt::json::dictionaryCapacityForCount(0), 0u);
  EXPECT_EQ(zvt::json::dictionaryCapacityForCount(1), 3u);
  EXPECT_EQ(zvt::json::dictionaryCapacityForCount(3), 3u);   // floor(3.99) = 3
  EXPECT_EQ(zvt::json::dictionaryCapacityForCount(4), 7u);   // floor(5.32) = 5
  EXPECT_EQ(zvt::json::dictionaryCapacityForCount(5), 7u);   // floor(6.65) = 6
  EXPECT_EQ(zvt::json::dictionaryCapacityForCount(6), 7u);   // floor(7.98) = 7
  EXPECT_EQ(zvt::json::dictionaryCapacityForCount(7), 13u);  // floor(9.31) = 9
  EXPECT_EQ(zvt::json::dictionaryCapacityForCount(355569362), 472907251u);
  EXPECT_EQ(zvt::json::dictionaryCapacityForCount(355569363), 0u);  // beyond the table
}

TEST(JCContainers, DecodedDictionariesHaveTheCapacityOfTheirCount) {
  auto empty = std::dynamic_pointer_cast<JCDictionary>(objectFromJSONString(*str("{}")));
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->capacity(), 0u);
  EXPECT_EQ(empty->objectForKey(str("a")), nullptr);
  auto one = std::dynamic_pointer_cast<JCDictionary>(objectFromJSONString(*str("{\"a\":1}")));
  EXPECT_EQ(one->capacity(), 3u);
  auto five = std::dynamic_pointer_cast<JCDictionary>(
      objectFromJSONString(*str("{\"a\":1,\"b\":2,\"c\":3,\"d\":4,\"e\":5}")));
  ASSERT_TRUE(five);
  EXPECT_EQ(five->capacity(), 7u);
  EXPECT_EQ(five->count(), 5u);

  // Made mutable, the empty dictionary's first insert grows it to capacity 3.
  auto mutableEmpty = std::dynamic_pointer_cast<JCDictionary>(mutableObjectFromJSONString(*str("{}")));
  ASSERT_TRUE(mutableEmpty);
  mutableEmpty->setObject(kCFNull, str("k"));
  EXPECT_EQ(mutableEmpty->capacity(), 3u);
  EXPECT_EQ(mutableEmpty->objectForKey(str("k")), kCFNull);
}

TEST(JCContainers, KeysFollowTableCellOrder) {
  auto d = std::dynamic_pointer_cast<JCDictionary>(
      objectFromJSONString(*str("{\"zeta\":1,\"alpha\":2,\"mid\":3,\"beta\":4,\"omega\":5,\"k\":6}")));
  ASSERT_TRUE(d);
  // The expected order is where each key's hash puts it in the table, whatever the text said.
  std::vector<std::string> byCell;
  for (NSUInteger i = 0; i < d->capacity(); ++i) {
    if (d->table()[i].key) byCell.push_back(static_cast<const NSString*>(d->table()[i].key)->utf8());
  }
  std::vector<std::string> enumerated;
  for (const id& key : *d) enumerated.push_back(zvt::as<NSString>(key)->utf8());
  EXPECT_EQ(enumerated, byCell);
  std::vector<std::string> viaBlock;
  d->enumerateKeysAndObjectsUsingBlock(
      [&](const id& key, const id&, bool*) { viaBlock.push_back(zvt::as<NSString>(key)->utf8()); });
  EXPECT_EQ(viaBlock, byCell);
  // Every key sits in the first free cell of its own probe sequence.
  for (NSUInteger i = 0; i < d->capacity(); ++i) {
    const JCHashTableEntry& e = d->table()[i];
    if (!e.key) continue;
    EXPECT_EQ(e.keyHash, e.key->hash());
    for (NSUInteger c = e.keyHash % d->capacity(); c != i; c = (c + 1) % d->capacity()) {
      EXPECT_TRUE(d->table()[c].key) << "gap before a key's cell";
    }
  }
  auto keys = d->keyEnumerator();
  keys->nextObject();
  EXPECT_EQ(keys->allObjects()->count(), 5u);
  EXPECT_EQ(keys->nextObject(), nullptr);
  std::vector<id> objects(6), keyBuffer(6);
  d->getObjects(objects.data(), keyBuffer.data());
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(d->objectForKey(keyBuffer[i]), objects[i]);
}

TEST(JCContainers, ImmutableContainersRefuseChangesWithTheirTexts) {
  auto d = zvt::as<NSMutableDictionary>(objectFromJSONString(*str("{\"a\":[1]}")));
  ASSERT_TRUE(d);
  EXPECT_EQ(raisedReason([&] { d->setObject(kCFNull, str("b")); }),
            "NSInternalInconsistencyException: *** -[JCDictionary setObject:forKey:]: mutating method sent to "
            "immutable object");
  EXPECT_EQ(raisedReason([&] { d->removeObjectForKey(str("a")); }),
            "NSInternalInconsistencyException: *** -[JCDictionary removeObjectForKey:]: mutating method sent to "
            "immutable object");
  EXPECT_EQ(d->count(), 1u);
  auto a = zvt::as<NSMutableArray>(d->objectForKey(str("a")));
  ASSERT_TRUE(a);
  EXPECT_EQ(raisedReason([&] { a->addObject(kCFNull); }),
            "NSInternalInconsistencyException: *** -[JCArray insertObject:atIndex:]: mutating method sent to "
            "immutable object");
  EXPECT_EQ(raisedReason([&] { a->removeObjectAtIndex(0); }),
            "NSInternalInconsistencyException: *** -[JCArray removeObjectAtIndex:]: mutating method sent to "
            "immutable object");
  EXPECT_EQ(raisedReason([&] { a->replaceObjectAtIndex(0, kCFNull); }),
            "NSInternalInconsistencyException: *** -[JCArray replaceObjectAtIndex:withObject:]: mutating method "
            "sent to immutable object");
  EXPECT_EQ(raisedReason([&] { a->objectAtIndex(1); }),
            "NSRangeException: *** -[JCArray objectAtIndex:]: index (1) beyond bounds (1)");
  EXPECT_EQ(a->count(), 1u);
}

TEST(JCContainers, MutableContainersCheckTheirArguments) {
  auto d = emptyMutableDictionary();
  EXPECT_EQ(raisedReason([&] { d->setObject(kCFNull, nullptr); }),
            "NSInvalidArgumentException: *** -[JCDictionary setObject:forKey:]: attempt to insert nil key");
  EXPECT_EQ(raisedReason([&] { d->setObject(nullptr, str("k")); }),
            "NSInvalidArgumentException: *** -[JCDictionary setObject:forKey:]: attempt to insert nil value (key: "
            "k)");
  EXPECT_EQ(raisedReason([&] { d->removeObjectForKey(nullptr); }),
            "NSInvalidArgumentException: *** -[JCDictionary removeObjectForKey:]: attempt to remove nil key");
  EXPECT_EQ(d->count(), 0u);

  auto a = zvt::as<JCArray>(mutableObjectFromJSONString(*str("[1,2,3]")));
  ASSERT_TRUE(a);
  EXPECT_EQ(raisedReason([&] { a->insertObject(nullptr, 0); }),
            "NSInvalidArgumentException: *** -[JCArray insertObject:atIndex:]: attempt to insert nil");
  EXPECT_EQ(raisedReason([&] { a->insertObject(kCFNull, 4); }),
            "NSRangeException: *** -[JCArray insertObject:atIndex:]: index (4) beyond bounds (4)");
  EXPECT_EQ(raisedReason([&] { a->removeObjectAtIndex(3); }),
            "NSRangeException: *** -[JCArray removeObjectAtIndex:]: index (3) beyond bounds (3)");
  EXPECT_EQ(raisedReason([&] { a->replaceObjectAtIndex(0, nullptr); }),
            "NSInvalidArgumentException: *** -[JCArray replaceObjectAtIndex:withObject:]: attempt to insert nil");
  EXPECT_EQ(raisedReason([&] { a->getObjects(nullptr, NSMakeRange(0, 2)); }),
            "NSRangeException: *** -[JCArray getObjects:range:]: pointer to objects array is NULL but range "
            "length is 2");
  std::vector<id> buffer(4);
  EXPECT_EQ(raisedReason([&] { a->getObjects(buffer.data(), NSMakeRange(2, 2)); }),
            "NSRangeException: *** -[JCArray getObjects:range:]: index (4) beyond bounds (3)");
  EXPECT_EQ(a->count(), 3u);
}

TEST(JCContainers, MutableArrayChangesKeepOrderAndCountMutations) {
  auto a = zvt::as<JCArray>(mutableObjectFromJSONString(*str("[1,2,3]")));
  ASSERT_TRUE(a);
  NSUInteger m = a->mutations();
  EXPECT_GT(m, 0u);
  for (int i = 0; i < 40; ++i) a->insertObject(NSNumber::numberWithInt(100 + i), 1);
  EXPECT_EQ(a->count(), 43u);
  EXPECT_GE(a->capacity(), 44u);
  EXPECT_EQ(zvt::as<NSNumber>(a->objectAtIndex(0))->intValue(), 1);
  EXPECT_EQ(zvt::as<NSNumber>(a->objectAtIndex(1))->intValue(), 139);
  EXPECT_EQ(zvt::as<NSNumber>(a->objectAtIndex(42))->intValue(), 3);
  a->removeObjectAtIndex(1);
  a->replaceObjectAtIndex(0, str("x"));
  EXPECT_EQ(a->count(), 42u);
  EXPECT_TRUE(zvt::as<NSString>(a->objectAtIndex(0))->isEqualToString("x"));
  EXPECT_EQ(zvt::as<NSNumber>(a->objectAtIndex(1))->intValue(), 138);
  EXPECT_EQ(a->mutations(), m + 42);
}

TEST(JCContainers, CopiesOfImmutableContainersAreTheContainersThemselves) {
  auto a = zvt::as<NSArray>(objectFromJSONString(*str("[1,{\"k\":2}]")));
  ASSERT_TRUE(a);
  EXPECT_EQ(a->copy(), a);
  auto d = zvt::as<NSDictionary>(a->objectAtIndex(1));
  EXPECT_EQ(d->copy(), d);
  auto mc = a->mutableCopy();
  ASSERT_TRUE(mc);
  EXPECT_FALSE(zvt::isKind<JCArray>(id(mc)));
  mc->addObject(kCFNull);
  EXPECT_EQ(a->count(), 2u);

  auto ma = zvt::as<NSArray>(mutableObjectFromJSONString(*str("[1,2]")));
  auto copied = ma->copy();
  EXPECT_NE(copied, ma);
  EXPECT_FALSE(zvt::isKind<JCArray>(id(copied)));
  EXPECT_TRUE(copied->isEqual(ma));
  auto md = zvt::as<NSDictionary>(mutableObjectFromJSONString(*str("{\"a\":1}")));
  auto dcopy = md->copy();
  EXPECT_NE(dcopy, md);
  EXPECT_TRUE(dcopy->isEqual(md));
}

TEST(JCContainers, EnumeratorKeepsItsDictionaryAlive) {
  std::shared_ptr<NSEnumerator> keys;
  {
    auto d = zvt::as<NSDictionary>(objectFromJSONString(*str("{\"only\":true}")));
    keys = d->keyEnumerator();
  }
  id key = keys->nextObject();
  ASSERT_TRUE(zvt::isKind<NSString>(key));
  EXPECT_TRUE(zvt::as<NSString>(key)->isEqualToString("only"));
  EXPECT_EQ(keys->nextObject(), nullptr);
}

TEST(JCContainers, ChangingADictionaryWhileEnumeratingItRaises) {
  auto d = zvt::as<NSMutableDictionary>(mutableObjectFromJSONString(*str("{\"a\":1,\"b\":2}")));
  auto keys = d->keyEnumerator();
  keys->nextObject();
  d->setObject(kCFNull, str("c"));
  EXPECT_THROW(keys->nextObject(), NSException);
}

TEST(JCContainers, RemovingInsideACollidingRunKeepsTheOthersFindable) {
  auto d = emptyMutableDictionary();
  // Five keys that all want the last cell of a 7-cell table: the run wraps to the front.
  for (int v = 0; v < 5; ++v) d->setObject(NSNumber::numberWithInt(v), CollidingKey::make(v, 6));
  ASSERT_EQ(d->capacity(), 7u);
  for (int removed = 0; removed < 5; ++removed) {
    auto copy = emptyMutableDictionary();
    for (int v = 0; v < 5; ++v) copy->setObject(NSNumber::numberWithInt(v), CollidingKey::make(v, 6));
    copy->removeObjectForKey(CollidingKey::make(removed, 6));
    EXPECT_EQ(copy->count(), 4u);
    for (int v = 0; v < 5; ++v) {
      id found = copy->objectForKey(CollidingKey::make(v, 6));
      if (v == removed) {
        EXPECT_EQ(found, nullptr);
      } else {
        ASSERT_TRUE(found) << "lost key " << v << " after removing " << removed;
        EXPECT_EQ(zvt::as<NSNumber>(found)->intValue(), v);
      }
    }
  }
  // Replacing a key in the middle of the run keeps one entry for it.
  d->setObject(str("new"), CollidingKey::make(2, 6));
  EXPECT_EQ(d->count(), 5u);
  EXPECT_TRUE(zvt::as<NSString>(d->objectForKey(CollidingKey::make(2, 6)))->isEqualToString("new"));
}

TEST(JCContainers, RandomChangesAgreeWithUnorderedMapUnderForcedCollisions) {
  std::mt19937_64 rng(116);
  // Hashes that land on the last cell of the smaller capacities, so that runs wrap around.
  const NSUInteger hashes[] = {0, 2, 6, 12, 22, 40, 70, 126, 190, 250, 382, 630, 1086, 1722, 7 * 13 * 41 - 1};
  constexpr int kKeys = 150;
  std::vector<std::shared_ptr<CollidingKey>> keys;
  for (int v = 0; v < kKeys; ++v) keys.push_back(CollidingKey::make(v, hashes[rng() % std::size(hashes)]));
  auto d = emptyMutableDictionary();
  std::unordered_map<int, int> model;

  auto valueOf = [&](int v) -> int {
    id found = d->objectForKey(CollidingKey::make(v, keys[v]->hash()));
    return found ? zvt::as<NSNumber>(found)->intValue() : -1;
  };
  auto fullCheck = [&](int step) {
    ASSERT_EQ(d->count(), model.size()) << "step " << step;
    std::set<int> seen;
    for (const id& key : *d) ASSERT_TRUE(seen.insert(zvt::as<CollidingKey>(key)->value()).second);
    ASSERT_EQ(seen.size(), model.size());
    for (int v = 0; v < kKeys; ++v) {
      auto it = model.find(v);
      ASSERT_EQ(valueOf(v), it == model.end() ? -1 : it->second) << "key " << v << " step " << step;
    }
  };

  for (int step = 0; step < 100000; ++step) {
    int v = static_cast<int>(rng() % kKeys);
    // Lean towards inserting while the table is small and removing while it is full.
    bool insert = rng() % kKeys >= model.size() / 2;
    if (insert) {
      int value = static_cast<int>(rng() % 1000000);
      d->setObject(NSNumber::numberWithInt(value), keys[v]);
      model[v] = value;
    } else {
      d->removeObjectForKey(keys[v]);
      model.erase(v);
    }
    ASSERT_EQ(d->count(), model.size()) << "step " << step;
    ASSERT_EQ(valueOf(v), insert ? model[v] : -1) << "step " << step;
    for (int probe = 0; probe < 4; ++probe) {
      int w = static_cast<int>(rng() % kKeys);
      auto it = model.find(w);
      ASSERT_EQ(valueOf(w), it == model.end() ? -1 : it->second) << "key " << w << " step " << step;
    }
    if (step % 2000 == 0) fullCheck(step);
    if (HasFatalFailure()) return;
  }
  fullCheck(100000);
}

}  // namespace
