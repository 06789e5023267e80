// Key-value coding over property tables, and errors and exceptions.

#include <gtest/gtest.h>

#include "platform/foundation/Foundation.h"

namespace {

class Base : public NSObject {
 public:
  std::shared_ptr<NSString> title;
  id anything;
  static const zvt::KVCClass* classTable() {
    static const zvt::KVCClass table = zvt::KVCClass::Builder<Base>()
                                           .property("title", &Base::title)
                                           .property("anything", &Base::anything)
                                           .build();
    return &table;
  }
  const zvt::KVCClass* kvcClass() const override { return classTable(); }
};

class Product : public Base {
 public:
  std::shared_ptr<NSNumber> price;
  NSInteger count = 0;
  bool visible = false;
  double ratio = 0;
  std::shared_ptr<NSString> productID;

  std::shared_ptr<NSString> name() const { return name_; }
  void setName(const std::shared_ptr<NSString>& name) {
    ++setterCalls;
    name_ = name;
  }
  int setterCalls = 0;

  static const zvt::KVCClass* classTable() {
    static const zvt::KVCClass table = zvt::KVCClass::Builder<Product>(Base::classTable())
                                           .property("price", &Product::price)
                                           .property("count", &Product::count)
                                           .property("visible", &Product::visible)
                                           .property("ratio", &Product::ratio)
                                           .property("name", &Product::name, &Product::setName)
                                           .property("productID", &Product::productID)
                                           .build();
    return &table;
  }
  const zvt::KVCClass* kvcClass() const override { return classTable(); }

  // The models' rule: "id" is copied into a property of its own, unknown keys are dropped.
  void setValueForKey(const id& value, const std::shared_ptr<NSString>& key) override {
    Base::setValueForKey(value, key);
    if (key->isEqualToString("id")) setValueForKey(value, "productID"_ns);
  }
  void setValueForUndefinedKey(const id&, const std::shared_ptr<NSString>&) override {}
  id valueForUndefinedKey(const std::shared_ptr<NSString>&) const override { return nullptr; }

 private:
  std::shared_ptr<NSString> name_;
};

TEST(ObjectsKVC, PropertiesInDeclarationOrderBaseFirst) {
  EXPECT_EQ(Product::classTable()->propertyNames(),
            (std::vector<std::string>{"title", "anything", "price", "count", "visible", "ratio", "name", "productID"}));
  auto p = std::make_shared<Product>();
  EXPECT_EQ(p->kvcClass()->find("count")->scalar, true);
  EXPECT_EQ(p->kvcClass()->find("title")->scalar, false);
  EXPECT_EQ(p->kvcClass()->find("nope"), nullptr);
}

TEST(ObjectsKVC, FillsFromADictionaryAndReadsBack) {
  auto p = std::make_shared<Product>();
  p->setValuesForKeysWithDictionary(NSDictionary::make({{"title"_ns, "abc"_ns},
                                                        {"id"_ns, "17"_ns},
                                                        {"price"_ns, "12.5"_ns},
                                                        {"count"_ns, 3_n},
                                                        {"visible"_ns, "true"_ns},
                                                        {"ratio"_ns, "0.25"_ns},
                                                        {"name"_ns, "n"_ns},
                                                        {"anything"_ns, NSArray::make({1_n})},
                                                        {"unknown"_ns, "dropped"_ns}}));
  EXPECT_EQ(p->title->utf8(), "abc");
  EXPECT_EQ(p->productID->utf8(), "17");
  EXPECT_DOUBLE_EQ(p->price->doubleValue(), 12.5);  // a string given to a number property
  EXPECT_EQ(p->count, 3);
  EXPECT_TRUE(p->visible);
  EXPECT_DOUBLE_EQ(p->ratio, 0.25);
  EXPECT_EQ(p->setterCalls, 1);
  EXPECT_TRUE(zvt::isKind<NSArray>(p->anything));
  EXPECT_FALSE(p->valueForKey("id"_ns));
  EXPECT_EQ(NSStringFromObject(p->valueForKey("count"_ns)), "3");
  EXPECT_STREQ(zvt::as<NSNumber>(p->valueForKey("count"_ns))->objCType(), "q");
  EXPECT_EQ(zvt::as<NSNumber>(p->valueForKey("visible"_ns)).get(), kCFBooleanTrue.get());
  EXPECT_EQ(NSStringFromObject(p->valueForKey("name"_ns)), "n");
  EXPECT_EQ(NSStringFromObject(p->valueForKey("title"_ns)), "abc");
}

TEST(ObjectsKVC, ConvertsMismatchedObjectsAndNull) {
  auto p = std::make_shared<Product>();
  p->setValueForKey(42_n, "title"_ns);  // a number given to a text property keeps its text
  EXPECT_EQ(p->title->utf8(), "42");
  p->setValueForKey(NSArray::array(), "title"_ns);  // nothing sensible: nil
  EXPECT_FALSE(p->title);
  p->title = "x"_ns;
  p->setValuesForKeysWithDictionary(NSDictionary::make({{"title"_ns, NSNull::null()}}));
  EXPECT_FALSE(p->title);  // NSNull arrives as nil
  EXPECT_THROW(p->setValueForKey(nullptr, "count"_ns), NSException);  // nil for a scalar
  EXPECT_THROW(p->setValueForKey(NSArray::array(), "count"_ns), NSException);
}

TEST(ObjectsKVC, UndefinedKeysRaiseUnlessAClassSaysOtherwise) {
  auto b = std::make_shared<Base>();
  try {
    b->valueForKey("missing"_ns);
    ADD_FAILURE();
  } catch (const NSException& e) {
    EXPECT_TRUE(e.name()->isEqualToString(NSUndefinedKeyException));
    EXPECT_NE(e.reason()->utf8().find("not key value coding-compliant for the key missing."), std::string::npos);
  }
  EXPECT_THROW(b->setValueForKey(1_n, "missing"_ns), NSException);
  EXPECT_THROW(std::make_shared<NSObject>()->valueForKey("x"_ns), NSException);
  auto p = std::make_shared<Product>();
  EXPECT_NO_THROW(p->setValueForKey(1_n, "missing"_ns));
  EXPECT_FALSE(p->valueForKey("missing"_ns));
}

TEST(ObjectsKVC, CollectionsAndKeyPaths) {
  auto d = NSMutableDictionary::make({{"inner"_ns, NSDictionary::make({{"leaf"_ns, 5_n}})}});
  EXPECT_EQ(NSStringFromObject(d->valueForKeyPath("inner.leaf"_ns)), "5");
  EXPECT_FALSE(d->valueForKeyPath("none.leaf"_ns));
  d->setValueForKey("v"_ns, "k"_ns);
  EXPECT_EQ(NSStringFromObject(d->objectForKey("k"_ns)), "v");
  auto a = std::make_shared<Product>();
  a->title = "one"_ns;
  auto b = std::make_shared<Product>();
  auto titles = zvt::as<NSArray>(NSArray::make({a, b})->valueForKey("title"_ns));
  ASSERT_TRUE(titles);
  EXPECT_EQ(titles->componentsJoinedByString(","_ns)->utf8(), "one,<null>");
  auto values = a->dictionaryWithValuesForKeys(NSArray::make({"title"_ns, "price"_ns}));
  EXPECT_EQ(values->objectForKey("price"_ns).get(), NSNull::null().get());
}

TEST(ObjectsError, DomainCodeUserInfoAndTexts) {
  auto underlying = NSError::errorWithDomain(NSPOSIXErrorDomain, 2);
  auto e = NSError::errorWithDomain(NSURLErrorDomain, NSURLErrorTimedOut,
                                    NSDictionary::make({{NSLocalizedDescriptionKey, "请求超时。"_ns},
                                                        {NSUnderlyingErrorKey, underlying},
                                                        {NSURLErrorFailingURLStringErrorKey, "http://x/"_ns}}));
  EXPECT_EQ(e->code(), -1001);
  EXPECT_TRUE(e->domain()->isEqualToString("NSURLErrorDomain"));
  EXPECT_EQ(e->localizedDescription()->utf8(), "请求超时。");
  EXPECT_EQ(e->underlyingError().get(), underlying.get());
  EXPECT_EQ(underlying->localizedDescription()->utf8(), "The operation couldn\u2019t be completed. (NSPOSIXErrorDomain error 2.)");
  EXPECT_TRUE(underlying->userInfo());
  EXPECT_EQ(underlying->userInfo()->count(), 0u);
  EXPECT_FALSE(underlying->localizedFailureReason());
  EXPECT_EQ(underlying->description()->utf8(),
            "Error Domain=NSPOSIXErrorDomain Code=2 \"The operation couldn\u2019t be completed. (NSPOSIXErrorDomain error 2.)\"");
  EXPECT_EQ(NSError::errorWithDomain("D"_ns, 1, NSDictionary::make({{NSLocalizedDescriptionKey, "m"_ns}}))->description()->utf8(),
            "Error Domain=D Code=1 \"m\" UserInfo={NSLocalizedDescription=m}");
  EXPECT_TRUE(e->isEqual(e->copy()));
  EXPECT_FALSE(e->isEqual(underlying));
  std::shared_ptr<NSError> out;
  zvt::setError(&out, "JCErrorDomain"_ns, -1, "Unable to parse JSON."_ns);
  ASSERT_TRUE(out);
  EXPECT_EQ(out->localizedDescription()->utf8(), "Unable to parse JSON.");
  zvt::setError(nullptr, "JCErrorDomain"_ns, -1, "ignored"_ns);  // a null out-parameter is allowed
  EXPECT_THROW(NSError::errorWithDomain(nullptr, 1), NSException);
}

TEST(ObjectsError, UserInfoIsCopiedWhenTheErrorIsMade) {
  auto info = NSMutableDictionary::make({{NSLocalizedDescriptionKey, "before"_ns}});
  auto e = NSError::errorWithDomain("D"_ns, 1, info);
  info->setObject("after"_ns, NSLocalizedDescriptionKey);
  EXPECT_EQ(e->localizedDescription()->utf8(), "before");
}

TEST(ObjectsException, ThrownAndCaughtAsCxxExceptions) {
  try {
    NSException::raise(NSInternalInconsistencyException, "bad state %d", 3);
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "NSInternalInconsistencyException: bad state 3");
    auto& ns = dynamic_cast<const NSException&>(e);
    EXPECT_TRUE(ns.name()->isEqualToString(NSInternalInconsistencyException));
    EXPECT_EQ(ns.reason()->utf8(), "bad state 3");
    EXPECT_EQ(ns.description()->utf8(), "bad state 3");
  }
  auto made = NSException::exceptionWithName(NSGenericException, "r"_ns, NSDictionary::make({{"k"_ns, 1_n}}));
  EXPECT_EQ(made->userInfo()->count(), 1u);
  EXPECT_THROW(made->raise(), NSException);
  EXPECT_THROW(std::make_shared<NSObject>()->copy(), NSException);
  EXPECT_EQ(NSInvalidArgumentException->utf8(), "NSInvalidArgumentException");
  EXPECT_EQ(NSInvalidArgumentException.get().get(), NSInvalidArgumentException.get().get());
}

}  // namespace
