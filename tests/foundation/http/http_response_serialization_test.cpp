// Response serializers: validation, error construction and chaining, JSON, property lists,
// compound serializers.
#include <gtest/gtest.h>

#include "foundation/http/NWURLResponseSerialization.h"
#include "foundation/json/NSJSONSerialization.h"
#include "platform/foundation/Foundation.h"

namespace {

std::shared_ptr<NSHTTPURLResponse> reply(int status, const std::string& contentType, const std::string& url = "http://h.test/x") {
  auto headers = NSMutableDictionary::dictionary();
  if (!contentType.empty()) headers->setObject(NSString::stringWithUTF8String(contentType), "Content-Type"_ns);
  return NSHTTPURLResponse::initWithURL(NSURL::URLWithString(url), status, "HTTP/1.1"_ns, headers);
}

std::shared_ptr<NSData> bytes(const std::string& text) { return NSData::dataWithString(text); }

std::shared_ptr<NSError> underlying(const std::shared_ptr<NSError>& error) {
  return error ? std::dynamic_pointer_cast<NSError>(error->userInfo()->objectForKey(NSUnderlyingErrorKey)) : nullptr;
}

TEST(HttpResponseValidation, StatusAndContentTypeErrorsAreBuiltAndChained) {
  auto s = NWHTTPResponseSerializer::serializer();
  std::shared_ptr<NSError> error;
  EXPECT_TRUE(s->validateResponse(reply(200, "text/whatever"), bytes("x"), &error));
  EXPECT_TRUE(s->validateResponse(nullptr, bytes("x"), &error));
  EXPECT_FALSE(error);
  auto r404 = reply(404, "text/plain");
  EXPECT_FALSE(s->validateResponse(r404, bytes("gone"), &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain()->utf8(), "com.netway.error.serialization.response");
  EXPECT_EQ(error->code(), -1011);
  EXPECT_EQ(error->localizedDescription()->utf8(), "Request failed: not found (404)");
  EXPECT_EQ(error->userInfo()->objectForKey(NWNetworkingOperationFailingURLResponseErrorKey), r404);
  EXPECT_TRUE(zvt::objectsEqual(error->userInfo()->objectForKey(NWNetworkingOperationFailingURLResponseDataErrorKey), bytes("gone")));
  EXPECT_TRUE(zvt::objectsEqual(error->userInfo()->objectForKey(NSURLErrorFailingURLErrorKey), NSURL::URLWithString("http://h.test/x")));

  s->setAcceptableContentTypes(NSSet::make({"application/json"_ns}));
  error.reset();
  EXPECT_FALSE(s->validateResponse(reply(500, "text/plain"), bytes("boom"), &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), -1011);
  auto inner = underlying(error);
  ASSERT_TRUE(inner);
  EXPECT_EQ(inner->code(), -1016);
  EXPECT_EQ(inner->localizedDescription()->utf8(), "Request failed: unacceptable content-type: text/plain");
  // A refusal always carries an error, also without a body.
  error.reset();
  EXPECT_FALSE(s->validateResponse(reply(200, "text/plain"), nullptr, &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), -1016);
  EXPECT_FALSE(error->userInfo()->objectForKey(NWNetworkingOperationFailingURLResponseDataErrorKey));
}

TEST(HttpResponseValidation, ErrorChainingRules) {
  auto e = NSError::errorWithDomain("E"_ns, 1);
  auto u = NSError::errorWithDomain("U"_ns, 2);
  EXPECT_EQ(zvt::errorWithUnderlyingError(nullptr, u), u);
  EXPECT_EQ(zvt::errorWithUnderlyingError(e, nullptr), e);
  auto chained = zvt::errorWithUnderlyingError(e, u);
  EXPECT_EQ(chained->code(), 1);
  EXPECT_EQ(underlying(chained), u);
  EXPECT_EQ(zvt::errorWithUnderlyingError(chained, NSError::errorWithDomain("V"_ns, 3)), chained) << "an existing chain stays";
  EXPECT_TRUE(zvt::errorOrUnderlyingErrorHasCodeInDomain(chained, 2, "U"_ns));
  EXPECT_FALSE(zvt::errorOrUnderlyingErrorHasCodeInDomain(chained, 3, "U"_ns));
}

TEST(HttpResponseRawData, ReturnsTheBodyEvenWithTheStatusError) {
  auto s = NWHTTPResponseSerializer::serializer();
  std::shared_ptr<NSError> error;
  auto data = bytes("<html>oops</html>");
  EXPECT_EQ(s->responseObjectForResponse(reply(500, "text/html"), data, &error), data);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), -1011);
}

TEST(HttpResponseJSON, ContentTypesStatusesAndParseGate) {
  auto s = NWJSONResponseSerializer::serializer();
  std::shared_ptr<NSError> error;
  id object = s->responseObjectForResponse(reply(200, "application/json"), bytes("{\"a\":1}"), &error);
  EXPECT_FALSE(error);
  EXPECT_TRUE(zvt::objectsEqual(object, NSDictionary::make({{"a"_ns, 1_n}})));
  // text/html fails under the default types, passes with the client's set.
  error.reset();
  EXPECT_FALSE(s->responseObjectForResponse(reply(200, "text/html"), bytes("{\"a\":1}"), &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), -1016);
  auto client = NWJSONResponseSerializer::serializer();
  client->setAcceptableContentTypes(NSSet::make({"application/json"_ns, "text/json"_ns, "text/javascript"_ns, "text/html"_ns}));
  error.reset();
  EXPECT_TRUE(client->responseObjectForResponse(reply(200, "text/html"), bytes("{\"a\":1}"), &error));
  EXPECT_FALSE(error);
  // 404 with a JSON body: parsed object and -1011.
  error.reset();
  object = s->responseObjectForResponse(reply(404, "application/json"), bytes("{\"msg\":\"no\"}"), &error);
  EXPECT_TRUE(zvt::objectsEqual(object, NSDictionary::make({{"msg"_ns, "no"_ns}})));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), -1011);
  // 500 text/plain: -1011 over -1016, nothing parsed.
  error.reset();
  EXPECT_FALSE(s->responseObjectForResponse(reply(500, "text/plain"), bytes("{\"a\":1}"), &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), -1011);
  EXPECT_EQ(underlying(error)->code(), -1016);
  // Without an out-pointer an invalid reply is never parsed.
  EXPECT_FALSE(s->responseObjectForResponse(reply(404, "application/json"), bytes("{\"a\":1}"), nullptr));
}

TEST(HttpResponseValidation, EachReplyIsJudgedByTheContentTypesSetNow) {
  // The same content type again and again, with the set changed in between (and a type that
  // only starts like it, which the set does not hold).
  auto s = NWJSONResponseSerializer::serializer();
  struct Step {
    std::shared_ptr<NSSet> types;  // nil: keep the set
    const char* contentType;
    bool accepted;
  };
  for (const auto& [types, contentType, accepted] :
       {Step{nullptr, "application/json", true}, Step{nullptr, "application/json", true}, Step{nullptr, "application/jsonp", false},
        Step{NSSet::make({"text/html"_ns}), "application/json", false}, Step{nullptr, "text/html", true},
        Step{NSSet::make({"application/json"_ns}), "application/json", true}, Step{nullptr, "text/html", false}}) {
    if (types) s->setAcceptableContentTypes(types);
    std::shared_ptr<NSError> error;
    EXPECT_EQ(s->validateResponse(reply(200, contentType), bytes("{}"), &error), accepted) << contentType;
    EXPECT_EQ(static_cast<bool>(error), !accepted) << contentType;
  }
}

TEST(HttpResponseJSON, EmptyBlankBrokenAndForeignBodies) {
  auto s = NWJSONResponseSerializer::serializer();
  std::shared_ptr<NSError> error;
  EXPECT_FALSE(s->responseObjectForResponse(reply(200, "application/json"), bytes(" "), &error));
  EXPECT_FALSE(error);
  EXPECT_FALSE(s->responseObjectForResponse(reply(200, "application/json"), bytes(""), &error));
  EXPECT_FALSE(error);
  EXPECT_FALSE(s->responseObjectForResponse(reply(200, "application/json"), nullptr, &error));
  EXPECT_FALSE(error);
  // A syntax error: the reader's error.
  EXPECT_FALSE(s->responseObjectForResponse(reply(200, "application/json"), bytes("{\"a\":"), &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain()->utf8(), "NSCocoaErrorDomain");
  // GBK body named by its charset: decoded, re-encoded, parsed.
  error.reset();
  id object = s->responseObjectForResponse(reply(200, "application/json; charset=GBK"), bytes("{\"k\":\"\xD6\xD0\xCE\xC4\"}"), &error);
  EXPECT_FALSE(error);
  EXPECT_TRUE(zvt::objectsEqual(object, NSDictionary::make({{"k"_ns, "中文"_ns}})));
  // The same bytes claimed as UTF-8 do not decode: an error, never an empty success.
  error.reset();
  EXPECT_FALSE(s->responseObjectForResponse(reply(200, "application/json; charset=utf-8"), bytes("{\"k\":\"\xD6\xD0\xCE\xC4\"}"), &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), -1016);
  // An unknown charset falls back to the serializer's encoding.
  error.reset();
  EXPECT_TRUE(s->responseObjectForResponse(reply(200, "application/json; charset=x-unknown"), bytes("[1]"), &error));
  EXPECT_FALSE(error);
  // A reply that starts with a byte order mark (a script saved with one), named UTF-8 or not.
  for (const char* type : {"application/json", "application/json; charset=utf-8"}) {
    error.reset();
    object = s->responseObjectForResponse(reply(200, type), bytes("\xEF\xBB\xBF{\"k\":\"v\"}"), &error);
    EXPECT_FALSE(error) << type;
    EXPECT_TRUE(zvt::objectsEqual(object, NSDictionary::make({{"k"_ns, "v"_ns}}))) << type;
  }
}

TEST(HttpResponseJSON, NullRemovalAtEveryDictionaryLevel) {
  auto s = NWJSONResponseSerializer::serializer();
  s->setRemovesKeysWithNullValues(true);
  std::shared_ptr<NSError> error;
  id object = s->responseObjectForResponse(reply(200, "application/json"),
                                           bytes("{\"a\":null,\"b\":{\"c\":null,\"d\":1},\"e\":[null,{\"f\":null}]}"), &error);
  auto expected = NSDictionary::make({{"b"_ns, NSDictionary::make({{"d"_ns, 1_n}})},
                                      {"e"_ns, NSArray::make({NSNull::null(), NSDictionary::dictionary()})}});
  EXPECT_TRUE(zvt::objectsEqual(object, expected)) << NSStringFromObject(object);
  EXPECT_FALSE(zvt::isKind<NSMutableDictionary>(object));
  s->setReadingOptions(NSJSONReadingMutableContainers);
  object = s->responseObjectForResponse(reply(200, "application/json"), bytes("{\"a\":null}"), &error);
  EXPECT_TRUE(zvt::isKind<NSMutableDictionary>(object));
}

TEST(HttpResponsePropertyList, ParsesAndReportsReaderErrors) {
  auto s = NWPropertyListResponseSerializer::serializer();
  auto plist = NSPropertyListSerialization::dataWithPropertyList(NSDictionary::make({{"a"_ns, 1_n}}), NSPropertyListXMLFormat_v1_0, 0, nullptr);
  std::shared_ptr<NSError> error;
  id object = s->responseObjectForResponse(reply(200, "application/x-plist"), plist, &error);
  EXPECT_FALSE(error);
  EXPECT_TRUE(zvt::objectsEqual(object, NSDictionary::make({{"a"_ns, 1_n}})));
  EXPECT_FALSE(s->responseObjectForResponse(reply(200, "application/x-plist"), bytes("<plist><dict>"), &error));
  EXPECT_TRUE(error);
}

TEST(HttpResponseCompound, FirstObjectWinsElseTheBaseVerdict) {
  auto json = NWJSONResponseSerializer::serializer();
  auto plist = NWPropertyListResponseSerializer::serializer();
  auto compound = NWCompoundResponseSerializer::compoundSerializerWithResponseSerializers(NSArray::make({"not a serializer"_ns, json, plist}));
  std::shared_ptr<NSError> error;
  EXPECT_TRUE(zvt::objectsEqual(compound->responseObjectForResponse(reply(200, "application/json"), bytes("[1]"), &error), NSArray::make({1_n})));
  EXPECT_FALSE(error);
  auto pl = NSPropertyListSerialization::dataWithPropertyList(NSArray::make({2_n}), NSPropertyListXMLFormat_v1_0, 0, nullptr);
  EXPECT_TRUE(zvt::objectsEqual(compound->responseObjectForResponse(reply(200, "application/x-plist"), pl, &error), NSArray::make({2_n})));
  auto data = bytes("text");
  EXPECT_EQ(compound->responseObjectForResponse(reply(200, "text/plain"), data, &error), data);
  EXPECT_FALSE(error);
  EXPECT_EQ(compound->responseObjectForResponse(reply(503, "text/plain"), data, &error), data);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), -1011);
}

TEST(HttpResponseCopies, CopiesKeepWhatTheirClassCarries) {
  auto base = NWHTTPResponseSerializer::serializer();
  base->setAcceptableStatusCodes(NSIndexSet::indexSetWithIndex(201));
  auto baseCopy = std::static_pointer_cast<NWHTTPResponseSerializer>(base->copyWithZone());
  EXPECT_TRUE(baseCopy->acceptableStatusCodes()->containsIndex(201));
  EXPECT_FALSE(baseCopy->acceptableStatusCodes()->containsIndex(200));
  auto json = NWJSONResponseSerializer::serializer();
  json->setAcceptableContentTypes(NSSet::make({"text/html"_ns}));
  json->setRemovesKeysWithNullValues(true);
  auto jsonCopy = std::static_pointer_cast<NWJSONResponseSerializer>(json->copyWithZone());
  EXPECT_TRUE(jsonCopy->removesKeysWithNullValues());
  EXPECT_FALSE(jsonCopy->acceptableContentTypes()->containsObject("text/html"_ns)) << "class defaults only";
}

}  // namespace
