// Request serializers and multipart bodies, checked byte for byte.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <regex>

#include "foundation/http/NWURLRequestSerialization.h"
#include "platform/foundation/Foundation.h"
#include "platform/foundation/NSLocale.h"
#include "platform/foundation/NSThread.h"
#include "platform/foundation/NSStringEncodings.h"
#include "platform/uikit/UIDevice.h"
#include "tests/support/MainLoop.h"
#include "tests/support/TempHome.h"

namespace {

std::string readStream(const std::shared_ptr<NSInputStream>& stream, size_t chunk) {
  stream->open();
  std::string out;
  std::vector<uint8_t> buffer(chunk);
  while (true) {
    NSInteger n = stream->read(buffer.data(), chunk);
    if (n < 0) return "<error>";
    if (n == 0) break;
    out.append(reinterpret_cast<char*>(buffer.data()), static_cast<size_t>(n));
  }
  return out;
}

std::string bodyOf(const std::shared_ptr<NSURLRequest>& request) {
  return request && request->HTTPBody() ? std::string(request->HTTPBody()->view()) : std::string("<none>");
}

TEST(HttpQueryString, TheDocumentedExampleByteForByte) {
  auto parameters = NSDictionary::make({
      {"page"_ns, 1_n},
      {"keyword"_ns, "a b&c"_ns},
      {"ids"_ns, NSArray::make({3_n, 4_n})},
      {"f"_ns, NSDictionary::make({{"y"_ns, 2_n}, {"x"_ns, NSNull::null()}})},
  });
  EXPECT_EQ(zvt::queryStringFromParameters(parameters)->utf8(),
            "f%5Bx%5D&f%5By%5D=2&ids%5B%5D=3&ids%5B%5D=4&keyword=a%20b%26c&page=1");
}

TEST(HttpQueryString, EscapingEmptyArraysSetsAndLongText) {
  EXPECT_EQ(zvt::percentEscapedQueryString("&=+#[]@ /?-._~"_ns)->utf8(), "%26%3D%2B%23%5B%5D%40%20/?-._~");
  EXPECT_EQ(zvt::queryStringFromParameters(NSDictionary::make({{"a"_ns, NSArray::array()}}))->utf8(), "");
  EXPECT_EQ(zvt::queryStringFromParameters(NSDictionary::make({{"s"_ns, NSSet::make({"b"_ns, "a"_ns})}}))->utf8(), "s=a&s=b");
  // 30 emoji: 60 UTF-16 units; the pair around unit 50 must stay whole.
  std::string emoji;
  std::string expected;
  for (int i = 0; i < 30; ++i) {
    emoji += "\xF0\x9F\x98\x80";
    expected += "%F0%9F%98%80";
  }
  EXPECT_EQ(zvt::percentEscapedQueryString(NSString::stringWithUTF8String(emoji))->utf8(), expected);
}

class HttpRequestSerializer : public ::testing::Test {
 protected:
  void SetUp() override { zvt::setPreferredLanguages({"zh-Hans-CN", "en"}); }
  void TearDown() override { zvt::resetPreferredLanguages(); }
};

TEST_F(HttpRequestSerializer, GetAppendsSortedQueryToTheURL) {
  auto s = NWHTTPRequestSerializer::serializer();
  auto params = NSDictionary::make({{"b"_ns, 2_n}, {"a"_ns, 1_n}});
  auto r1 = s->requestWithMethod("GET"_ns, "http://h.test/p"_ns, params);
  EXPECT_EQ(r1->URL()->absoluteString()->utf8(), "http://h.test/p?a=1&b=2");
  auto r2 = s->requestWithMethod("GET"_ns, "http://h.test/p?c=3"_ns, params);
  EXPECT_EQ(r2->URL()->absoluteString()->utf8(), "http://h.test/p?c=3&a=1&b=2");
  auto r3 = s->requestWithMethod("GET"_ns, "http://h.test/p"_ns, nullptr);
  EXPECT_EQ(r3->URL()->absoluteString()->utf8(), "http://h.test/p");
  EXPECT_FALSE(r3->HTTPBody());
  EXPECT_EQ(r3->method(), "GET");
}

TEST_F(HttpRequestSerializer, PostFormBodyAndContentType) {
  auto s = NWHTTPRequestSerializer::serializer();
  auto r = s->requestWithMethod("POST"_ns, "http://h.test/p"_ns, NSDictionary::make({{"a"_ns, 1_n}}));
  EXPECT_EQ(bodyOf(r), "a=1");
  EXPECT_EQ(r->valueForHTTPHeaderField("Content-Type")->utf8(), "application/x-www-form-urlencoded");
  auto empty = s->requestWithMethod("POST"_ns, "http://h.test/p"_ns, nullptr);
  EXPECT_EQ(bodyOf(empty), "");
  EXPECT_EQ(empty->valueForHTTPHeaderField("Content-Type")->utf8(), "application/x-www-form-urlencoded");
  // A request that already has a Content-Type keeps it, and default headers never override.
  auto base = NSMutableURLRequest::requestWithURL(NSURL::URLWithString("http://h.test/"));
  base->setHTTPMethod("PUT");
  base->setValue("text/custom", "Content-Type");
  base->setValue("xx", "Accept-Language");
  auto kept = s->requestBySerializingRequest(base, NSDictionary::make({{"a"_ns, 1_n}}), nullptr);
  EXPECT_EQ(kept->valueForHTTPHeaderField("Content-Type")->utf8(), "text/custom");
  EXPECT_EQ(kept->valueForHTTPHeaderField("Accept-Language")->utf8(), "xx");
}

TEST_F(HttpRequestSerializer, MethodsThatPutParametersInTheURLFollowTheSetSetLast) {
  auto s = NWHTTPRequestSerializer::serializer();
  auto params = NSDictionary::make({{"a"_ns, 1_n}});
  auto where = [&](const char* method) {
    auto r = s->requestWithMethod(NSString::stringWithUTF8String(method), "http://h.test/p"_ns, params);
    return r->URL()->query() ? "url" : bodyOf(r) == "a=1" ? "body" : "?";
  };
  struct Case {
    std::shared_ptr<NSSet> methods;
    const char *post, *get;
  };
  auto growing = NSMutableSet::set();
  for (const auto& [methods, post, get] : {Case{NSSet::make({"POST"_ns}), "url", "body"}, Case{NSSet::make({"GET"_ns}), "body", "url"},
                                           Case{growing, "body", "body"}}) {
    s->setHTTPMethodsEncodingParametersInURI(methods);
    EXPECT_STREQ(where("POST"), post);
    EXPECT_STREQ(where("GET"), get);
  }
  // A mutable set is read at each request.
  growing->addObject("POST"_ns);
  EXPECT_STREQ(where("POST"), "url");
  EXPECT_STREQ(where("GET"), "body");
}

TEST_F(HttpRequestSerializer, FormBodyThatCannotBeEncodedIsAnError) {
  auto s = NWHTTPRequestSerializer::serializer();
  s->setStringEncoding(NSASCIIStringEncoding);
  std::shared_ptr<NSError> error;
  auto r = s->requestWithMethod("POST"_ns, "http://h.test/p"_ns, NSDictionary::make({{"a"_ns, "x"_ns}}), &error);
  EXPECT_TRUE(r) << "percent escaping keeps the body ASCII";
  EXPECT_FALSE(error);
}

TEST_F(HttpRequestSerializer, SettingsAreCopiedOnlyOnceAssigned) {
  auto s = NWHTTPRequestSerializer::serializer();
  auto before = s->requestWithMethod("GET"_ns, "http://h.test/"_ns, nullptr);
  EXPECT_DOUBLE_EQ(before->timeoutInterval(), 60.0);
  s->setTimeoutInterval(8);
  s->setHTTPShouldHandleCookies(false);
  auto after = s->requestWithMethod("GET"_ns, "http://h.test/"_ns, nullptr);
  EXPECT_DOUBLE_EQ(after->timeoutInterval(), 8.0);
  EXPECT_FALSE(after->HTTPShouldHandleCookies());
  auto copy = std::static_pointer_cast<NWHTTPRequestSerializer>(s->copyWithZone());
  EXPECT_DOUBLE_EQ(copy->requestWithMethod("GET"_ns, "http://h.test/"_ns, nullptr)->timeoutInterval(), 60.0)
      << "a copy starts without the settings";
}

TEST_F(HttpRequestSerializer, CustomQueryBlockAndItsError) {
  auto s = NWHTTPRequestSerializer::serializer();
  s->setQueryStringSerializationWithBlock([](const std::shared_ptr<NSURLRequest>&, const id&, std::shared_ptr<NSError>* e) {
    *e = NSError::errorWithDomain("Q"_ns, 7);
    return std::shared_ptr<NSString>();
  });
  std::shared_ptr<NSError> error;
  EXPECT_FALSE(s->requestWithMethod("GET"_ns, "http://h.test/"_ns, NSDictionary::make({{"a"_ns, 1_n}}), &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->code(), 7);
  s->setQueryStringSerializationWithBlock(
      [](const std::shared_ptr<NSURLRequest>&, const id&, std::shared_ptr<NSError>*) { return "raw"_ns; });
  EXPECT_EQ(s->requestWithMethod("GET"_ns, "http://h.test/"_ns, NSDictionary::make({{"a"_ns, 1_n}}))->URL()->absoluteString()->utf8(),
            "http://h.test/?raw");
  s->setQueryStringSerializationWithStyle(NWHTTPRequestQueryStringDefaultStyle);
  EXPECT_EQ(s->requestWithMethod("GET"_ns, "http://h.test/"_ns, NSDictionary::make({{"a"_ns, 1_n}}))->URL()->absoluteString()->utf8(),
            "http://h.test/?a=1");
}

TEST_F(HttpRequestSerializer, AcceptLanguageAndAuthorization) {
  EXPECT_EQ(NWHTTPRequestSerializer::serializer()->valueForHTTPHeaderField("Accept-Language"_ns)->utf8(),
            "zh-Hans-CN;q=1, en;q=0.9");
  zvt::setPreferredLanguages({"a", "b", "c", "d", "e", "f", "g", "h"});
  EXPECT_EQ(NWHTTPRequestSerializer::serializer()->valueForHTTPHeaderField("Accept-Language"_ns)->utf8(),
            "a;q=1, b;q=0.9, c;q=0.8, d;q=0.7, e;q=0.6, f;q=0.5");
  zvt::setPreferredLanguages({});
  EXPECT_EQ(NWHTTPRequestSerializer::serializer()->valueForHTTPHeaderField("Accept-Language"_ns)->utf8(), "");
  auto s = NWHTTPRequestSerializer::serializer();
  s->setAuthorizationHeaderFieldWithUsername("user"_ns, "pässword"_ns);
  EXPECT_EQ(s->valueForHTTPHeaderField("Authorization"_ns)->utf8(), "Basic dXNlcjpww6Rzc3dvcmQ=");
  s->setAuthorizationHeaderFieldWithToken("t1"_ns);
  EXPECT_EQ(s->valueForHTTPHeaderField("Authorization"_ns)->utf8(), "Token token=\"t1\"");
  s->clearAuthorizationHeader();
  EXPECT_FALSE(s->valueForHTTPHeaderField("Authorization"_ns));
}

TEST_F(HttpRequestSerializer, UserAgentFromBundleAndDeviceMadeASCII) {
  zvt::test::TempBundle bundle;
  bundle.writeFile("Info.plist",
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                   "<key>CFBundleExecutable</key><string>Zavélto</string>"
                   "<key>CFBundleShortVersionString</key><string>2.1</string>"
                   "<key>CFBundleVersion</key><string>77</string></dict></plist>");
  UIDevice::currentDevice()->setSystemVersion("9.3.5"_ns);
  auto ua = NWHTTPRequestSerializer::serializer()->valueForHTTPHeaderField("User-Agent"_ns);
  UIDevice::currentDevice()->setSystemVersion(nullptr);
  ASSERT_TRUE(ua);
  EXPECT_EQ(ua->utf8(), "Zavelto/2.1 (iPhone; iOS 9.3.5; Scale/2.00)");
}

TEST_F(HttpRequestSerializer, JSONAndPropertyListBodies) {
  auto json = NWJSONRequestSerializer::serializer();
  auto r = json->requestWithMethod("POST"_ns, "http://h.test/"_ns, NSDictionary::make({{"a"_ns, 1_n}}));
  EXPECT_EQ(bodyOf(r), "{\"a\":1}");
  EXPECT_EQ(r->valueForHTTPHeaderField("Content-Type")->utf8(), "application/json");
  auto none = json->requestWithMethod("POST"_ns, "http://h.test/"_ns, nullptr);
  EXPECT_FALSE(none->HTTPBody());
  EXPECT_FALSE(none->valueForHTTPHeaderField("Content-Type"));
  auto get = json->requestWithMethod("GET"_ns, "http://h.test/"_ns, NSDictionary::make({{"a"_ns, 1_n}}));
  EXPECT_EQ(get->URL()->absoluteString()->utf8(), "http://h.test/?a=1");
  // Something JSON cannot carry: no request, and the error says why.
  std::shared_ptr<NSError> error;
  EXPECT_FALSE(json->requestWithMethod("POST"_ns, "http://h.test/"_ns, NSDictionary::make({{"d"_ns, NSData::data()}}), &error));
  EXPECT_TRUE(error);

  auto plist = NWPropertyListRequestSerializer::serializer();
  auto p = plist->requestWithMethod("POST"_ns, "http://h.test/"_ns, NSDictionary::make({{"a"_ns, 1_n}}));
  EXPECT_EQ(p->valueForHTTPHeaderField("Content-Type")->utf8(), "application/x-plist");
  std::shared_ptr<NSError> readError;
  auto back = NSPropertyListSerialization::propertyListWithData(p->HTTPBody(), 0, nullptr, &readError);
  EXPECT_TRUE(zvt::objectsEqual(back, NSDictionary::make({{"a"_ns, 1_n}})));
  std::shared_ptr<NSError> plistError;
  EXPECT_FALSE(plist->requestWithMethod("POST"_ns, "http://h.test/"_ns, NSDictionary::make({{"n"_ns, NSNull::null()}}), &plistError));
  EXPECT_TRUE(plistError);
}

// A serializer that hands back the same request it keeps, whatever it is asked.
class KeepingSerializer : public NWHTTPRequestSerializer {
 public:
  std::shared_ptr<NSMutableURLRequest> kept = NSMutableURLRequest::requestWithURL(NSURL::URLWithString("http://h.test/kept"));
  std::shared_ptr<NSURLRequest> requestBySerializingRequest(const std::shared_ptr<NSURLRequest>&, const id&,
                                                            std::shared_ptr<NSError>*) override {
    return kept;
  }
};

TEST_F(HttpRequestSerializer, EveryRequestMadeIsTheCallersOwn) {
  // Ours and a subclass returning a request it keeps: changing one request made changes no
  // other, and the same URL string asked again (alternating) still gives each its own URL.
  auto keeping = std::make_shared<KeepingSerializer>();
  const std::shared_ptr<NWHTTPRequestSerializer> serializers[] = {NWHTTPRequestSerializer::serializer(), NWJSONRequestSerializer::serializer(),
                                                                 NWPropertyListRequestSerializer::serializer(), keeping};
  for (const auto& s : serializers) {
    auto a = s->requestWithMethod("POST"_ns, "http://h.test/a"_ns, nullptr);
    auto b = s->requestWithMethod("POST"_ns, "http://h.test/b"_ns, nullptr);
    auto again = s->requestWithMethod("POST"_ns, "http://h.test/a"_ns, nullptr);
    ASSERT_TRUE(a && b && again);
    EXPECT_NE(a.get(), again.get());
    a->setValue("changed", "X-Mark");
    EXPECT_FALSE(again->valueForHTTPHeaderField("X-Mark"));
    if (s == keeping) {
      EXPECT_NE(a.get(), keeping->kept.get());
      EXPECT_FALSE(keeping->kept->valueForHTTPHeaderField("X-Mark"));
    } else {
      EXPECT_EQ(a->URL()->absoluteString()->utf8(), "http://h.test/a");
      EXPECT_EQ(b->URL()->absoluteString()->utf8(), "http://h.test/b");
      EXPECT_EQ(again->URL()->absoluteString()->utf8(), "http://h.test/a");
    }
  }
}

TEST_F(HttpRequestSerializer, DefaultHeadersComeOutAlikeAndLeaveOtherRequestsBare) {
  // requestWithMethod's request and a bare request of the caller's get the same lines in the same
  // order (names that differ only in case included); the caller's request and the one a query
  // block is shown keep none.
  const std::shared_ptr<NWHTTPRequestSerializer> serializers[] = {NWHTTPRequestSerializer::serializer(), NWJSONRequestSerializer::serializer(),
                                                                 NWPropertyListRequestSerializer::serializer()};
  for (const auto& s : serializers) {
    SCOPED_TRACE(s->className());
    s->setValue("1"_ns, "X-Twice"_ns);
    s->setValue("2"_ns, "x-twice"_ns);
    auto params = NSDictionary::make({{"a"_ns, 1_n}});
    auto made = s->requestWithMethod("POST"_ns, "http://h.test/p"_ns, params);
    auto bare = NSMutableURLRequest::requestWithURL(NSURL::URLWithString("http://h.test/p"));
    bare->setHTTPMethod("POST");
    auto serialized = s->requestBySerializingRequest(bare, params, nullptr);
    ASSERT_TRUE(made && serialized);
    EXPECT_EQ(made->headerFields().all(), serialized->headerFields().all());
    EXPECT_EQ(made->valueForHTTPHeaderField("X-TWICE")->utf8(), "2");
    EXPECT_TRUE(made->valueForHTTPHeaderField("User-Agent"));
    EXPECT_EQ(bare->allHTTPHeaderFields()->count(), 0u);
  }
  auto s = NWHTTPRequestSerializer::serializer();
  NSUInteger shown = 99;
  s->setQueryStringSerializationWithBlock([&](const std::shared_ptr<NSURLRequest>& request, const id&, std::shared_ptr<NSError>*) {
    shown = request->allHTTPHeaderFields()->count();
    return "q=1"_ns;
  });
  auto r = s->requestWithMethod("POST"_ns, "http://h.test/p"_ns, NSDictionary::make({{"a"_ns, 1_n}}));
  EXPECT_EQ(shown, 0u);
  EXPECT_EQ(bodyOf(r), "q=1");
  EXPECT_TRUE(r->valueForHTTPHeaderField("Accept-Language"));
}

// --- multipart

std::string boundaryOf(const std::shared_ptr<NSURLRequest>& request) {
  std::string type = request->valueForHTTPHeaderField("Content-Type")->utf8();
  auto at = type.find("boundary=");
  return at == std::string::npos ? std::string() : type.substr(at + 9);
}

TEST(HttpMultipart, OneFieldByteExactThroughAnyBufferSize) {
  auto s = NWHTTPRequestSerializer::serializer();
  auto r = s->multipartFormRequestWithMethod("POST"_ns, "http://h.test/up"_ns, NSDictionary::make({{"k"_ns, "v"_ns}}), nullptr);
  ASSERT_TRUE(r);
  std::string b = boundaryOf(r);
  EXPECT_TRUE(std::regex_match(b, std::regex("Boundary\\+[0-9A-F]{16}")));
  std::string expected = "--" + b + "\r\nContent-Disposition: form-data; name=\"k\"\r\n\r\nv\r\n--" + b + "--\r\n";
  EXPECT_EQ(r->valueForHTTPHeaderField("Content-Length")->utf8(), std::to_string(expected.size()));
  for (size_t chunk : {1, 2, 7, 4096}) {
    auto copy = std::static_pointer_cast<NSInputStream>(std::static_pointer_cast<NWMultipartBodyStream>(r->HTTPBodyStream())->copyWithZone());
    EXPECT_EQ(readStream(copy, chunk), expected) << "chunk " << chunk;
  }
}

TEST(HttpMultipart, PartsDataFilesStreamsAndEscapedNames) {
  zvt::test::TempHome home;
  std::string filePath = home.pathFor("tmp/photo.png");
  std::ofstream(filePath) << "PNGDATA";
  std::string oddPath = home.pathFor("tmp/blob.zzqq");
  std::ofstream(oddPath) << "Z";
  auto s = NWHTTPRequestSerializer::serializer();
  std::shared_ptr<NSError> fileError;
  auto r = s->multipartFormRequestWithMethod(
      "POST"_ns, "http://h.test/up"_ns, NSDictionary::make({{"n"_ns, NSNull::null()}}),
      [&](NWMultipartFormData& form) {
        form.appendPartWithFormData(NSData::dataWithString("1"), "a\"b\r\nX-Evil: 1"_ns);
        EXPECT_TRUE(form.appendPartWithFileURL(NSURL::fileURLWithPath(NSString::stringWithUTF8String(filePath)), "f"_ns, &fileError));
        EXPECT_TRUE(form.appendPartWithFileURL(NSURL::fileURLWithPath(NSString::stringWithUTF8String(oddPath)), "g"_ns, &fileError));
        form.appendPartWithInputStream(NSInputStream::inputStreamWithData(NSData::dataWithString("SS")), "s"_ns, "s.txt"_ns, 2,
                                       "text/plain"_ns);
      });
  ASSERT_TRUE(r);
  std::string b = boundaryOf(r);
  std::string expected = "--" + b + "\r\nContent-Disposition: form-data; name=\"n\"\r\n\r\n" +
                         "\r\n--" + b + "\r\nContent-Disposition: form-data; name=\"a%22b%0D%0AX-Evil: 1\"\r\n\r\n1" +
                         "\r\n--" + b + "\r\nContent-Disposition: form-data; name=\"f\"; filename=\"photo.png\"\r\nContent-Type: image/png\r\n\r\nPNGDATA" +
                         "\r\n--" + b + "\r\nContent-Disposition: form-data; name=\"g\"; filename=\"blob.zzqq\"\r\nContent-Type: application/octet-stream\r\n\r\nZ" +
                         "\r\n--" + b + "\r\nContent-Disposition: form-data; name=\"s\"; filename=\"s.txt\"\r\nContent-Type: text/plain\r\n\r\nSS" +
                         "\r\n--" + b + "--\r\n";
  EXPECT_EQ(r->valueForHTTPHeaderField("Content-Length")->utf8(), std::to_string(expected.size()));
  EXPECT_EQ(readStream(r->HTTPBodyStream(), 3), expected);
}

TEST(HttpMultipart, FileURLErrors) {
  auto form = NWStreamingMultipartFormData::initWithURLRequest(NSMutableURLRequest::requestWithURL(NSURL::URLWithString("http://h/")),
                                                               NSUTF8StringEncoding);
  std::shared_ptr<NSError> error;
  EXPECT_FALSE(form->appendPartWithFileURL(NSURL::URLWithString("http://h/x.png"), "f"_ns, &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain()->utf8(), "com.netway.error.serialization.request");
  EXPECT_EQ(error->code(), -1000);
  EXPECT_EQ(error->localizedFailureReason()->utf8(), "Expected URL to be a file URL");
  error.reset();
  EXPECT_FALSE(form->appendPartWithFileURL(NSURL::fileURLWithPath("/nonexistent/x.png"_ns), "f"_ns, &error));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->localizedFailureReason()->utf8(), "File URL not reachable.");
  // Nothing appended: the request is returned unchanged.
  auto r = form->requestByFinalizingMultipartFormData();
  EXPECT_FALSE(r->HTTPBodyStream());
  EXPECT_FALSE(r->valueForHTTPHeaderField("Content-Type"));
  EXPECT_FALSE(r->valueForHTTPHeaderField("Content-Length"));
}

TEST(HttpMultipart, UnencodableParameterFailsTheBuild) {
  auto s = NWHTTPRequestSerializer::serializer();
  s->setStringEncoding(NSASCIIStringEncoding);
  std::shared_ptr<NSError> error;
  auto r = s->multipartFormRequestWithMethod("POST"_ns, "http://h.test/up"_ns, NSDictionary::make({{"k"_ns, "中"_ns}}), nullptr, &error);
  EXPECT_FALSE(r);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain()->utf8(), "com.netway.error.serialization.request");
}

// A stream that fails after a few bytes.
class FailingStream : public NSInputStream {
 public:
  NSInteger read(uint8_t* buffer, NSUInteger length) override {
    if (sent_) {
      failWith(NSError::errorWithDomain("Disk"_ns, 5));
      return -1;
    }
    sent_ = true;
    NSUInteger n = std::min<NSUInteger>(length, 3);
    std::memcpy(buffer, "abc", n);
    return static_cast<NSInteger>(n);
  }
  bool hasBytesAvailable() const override { return true; }

 private:
  bool sent_ = false;
};

TEST(HttpMultipart, FailingOrShortPartStreamsMakeTheBodyFail) {
  auto form = NWStreamingMultipartFormData::initWithURLRequest(NSMutableURLRequest::requestWithURL(NSURL::URLWithString("http://h/")),
                                                               NSUTF8StringEncoding);
  form->appendPartWithInputStream(std::make_shared<FailingStream>(), "f"_ns, "f.bin"_ns, 100, "application/octet-stream"_ns);
  auto body = form->requestByFinalizingMultipartFormData()->HTTPBodyStream();
  EXPECT_EQ(readStream(body, 64), "<error>");
  EXPECT_EQ(body->streamStatus(), NSStreamStatusError);
  ASSERT_TRUE(body->streamError());
  EXPECT_EQ(body->streamError()->domain()->utf8(), "Disk");

  auto shortForm = NWStreamingMultipartFormData::initWithURLRequest(
      NSMutableURLRequest::requestWithURL(NSURL::URLWithString("http://h/")), NSUTF8StringEncoding);
  shortForm->appendPartWithInputStream(NSInputStream::inputStreamWithData(NSData::dataWithString("ab")), "f"_ns, "f"_ns, 10,
                                       "text/plain"_ns);
  auto shortBody = shortForm->requestByFinalizingMultipartFormData()->HTTPBodyStream();
  EXPECT_EQ(readStream(shortBody, 64), "<error>") << "a body shorter than its declared length is never sent as complete";
  EXPECT_TRUE(shortBody->streamError());
}

TEST(HttpMultipart, EmptyLastPartKeepsItsClosingBoundaryAtEveryBufferSize) {
  // A buffer that fills right after the headers of an empty last part used to skip the rest
  // of the part, closing boundary included.
  auto s = NWHTTPRequestSerializer::serializer();
  auto r = s->multipartFormRequestWithMethod("POST"_ns, "http://h.test/up"_ns, NSDictionary::make({{"n"_ns, NSNull::null()}}), nullptr);
  std::string b = boundaryOf(r);
  std::string expected = "--" + b + "\r\nContent-Disposition: form-data; name=\"n\"\r\n\r\n\r\n--" + b + "--\r\n";
  for (size_t chunk = 1; chunk <= expected.size() + 1; ++chunk) {
    auto copy = std::static_pointer_cast<NSInputStream>(std::static_pointer_cast<NWMultipartBodyStream>(r->HTTPBodyStream())->copyWithZone());
    ASSERT_EQ(readStream(copy, chunk), expected) << "chunk " << chunk;
  }
  // A stream that ends short is an error whatever the buffer size.
  for (size_t chunk : {size_t(1), size_t(60), size_t(61), size_t(4096)}) {
    auto form = NWStreamingMultipartFormData::initWithURLRequest(
        NSMutableURLRequest::requestWithURL(NSURL::URLWithString("http://h/")), NSUTF8StringEncoding);
    form->appendPartWithInputStream(NSInputStream::inputStreamWithData(NSData::data()), "f"_ns, "f"_ns, 3, "text/plain"_ns);
    EXPECT_EQ(readStream(form->requestByFinalizingMultipartFormData()->HTTPBodyStream(), chunk), "<error>") << chunk;
  }
}

TEST(HttpMultipart, ThrottlingLimitsEachReadAndPausesAfterEach) {
  auto s = NWHTTPRequestSerializer::serializer();
  auto plain = s->multipartFormRequestWithMethod("POST"_ns, "http://h.test/up"_ns, NSDictionary::make({{"k"_ns, "v"_ns}}),
                                                 [](NWMultipartFormData& form) {
                                                   form.appendPartWithFormData(NSData::dataWithString(std::string(100, 'x')), "x"_ns);
                                                 });
  const std::string expected =
      readStream(std::static_pointer_cast<NSInputStream>(
                     std::static_pointer_cast<NWMultipartBodyStream>(plain->HTTPBodyStream())->copyWithZone()),
                 4096);
  // The delay is real time spent inside read(): kept short, and only its lower bound is checked.
  for (double delay : {0.0, 0.005}) {
    SCOPED_TRACE(delay);
    auto body = std::static_pointer_cast<NWMultipartBodyStream>(
        std::static_pointer_cast<NWMultipartBodyStream>(plain->HTTPBodyStream())->copyWithZone());
    body->setNumberOfBytesInPacket(16);
    body->setDelay(delay);
    body->open();
    std::string out;
    int reads = 0;
    auto start = std::chrono::steady_clock::now();
    uint8_t buffer[64];
    while (NSInteger n = body->read(buffer, sizeof buffer)) {
      ASSERT_GT(n, 0);
      EXPECT_LE(n, 16);
      out.append(reinterpret_cast<char*>(buffer), static_cast<size_t>(n));
      ++reads;
    }
    std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(out, expected);
    EXPECT_GE(reads, static_cast<int>(expected.size() / 16));
    EXPECT_GE(spent.count(), reads * delay) << "each read pauses after what it placed";
  }
  // Set through the builder, a smaller caller buffer still bounds the read.
  auto form = NWStreamingMultipartFormData::initWithURLRequest(NSMutableURLRequest::requestWithURL(NSURL::URLWithString("http://h/")),
                                                               NSUTF8StringEncoding);
  form->appendPartWithFormData(NSData::dataWithString(std::string(100, 'x')), "k"_ns);
  form->throttleBandwidthWithPacketSize(16, 0);
  auto body = form->requestByFinalizingMultipartFormData()->HTTPBodyStream();
  body->open();
  uint8_t buffer[64];
  EXPECT_EQ(body->read(buffer, sizeof buffer), 16);
  EXPECT_EQ(body->read(buffer, 8), 8);
}

TEST(HttpMultipart, WritingTheBodyToAFile) {
  zvt::test::TempHome home;
  auto s = NWHTTPRequestSerializer::serializer();
  auto r = s->multipartFormRequestWithMethod("POST"_ns, "http://h.test/up"_ns, NSDictionary::make({{"k"_ns, "v"_ns}}), nullptr);
  auto expected = readStream(std::static_pointer_cast<NSInputStream>(
                                 std::static_pointer_cast<NWMultipartBodyStream>(r->HTTPBodyStream())->copyWithZone()),
                             1024);
  std::string path = home.pathFor("tmp/body.bin");
  bool done = false;
  std::shared_ptr<NSError> result = NSError::errorWithDomain("unset"_ns, 0);
  auto copy = s->requestWithMultipartFormRequest(r, NSURL::fileURLWithPath(NSString::stringWithUTF8String(path)),
                                                 [&](const std::shared_ptr<NSError>& e) {
                                                   EXPECT_TRUE(NSThread::isMainThread());
                                                   result = e;
                                                   done = true;
                                                 });
  EXPECT_FALSE(copy->HTTPBodyStream());
  ASSERT_TRUE(zvt::test::runMainLoopUntil([&] { return done; }));
  EXPECT_FALSE(result);
  std::ifstream in(path, std::ios::binary);
  std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(written, expected);
}


TEST(HttpMultipart, WritingTheBodyToAFileReportsWhatCouldNotBeOpened) {
  zvt::test::TempHome home;
  auto s = NWHTTPRequestSerializer::serializer();
  auto r = s->multipartFormRequestWithMethod("POST"_ns, "http://h.test/up"_ns, NSDictionary::make({{"k"_ns, "v"_ns}}), nullptr);
  auto gone = NSMutableURLRequest::requestWithURL(NSURL::URLWithString("http://h.test/up"));
  gone->setHTTPMethod("POST"_ns);
  gone->setHTTPBodyStream(NSInputStream::inputStreamWithFileAtPath(NSString::stringWithUTF8String(home.pathFor("tmp/gone.bin"))));
  struct Case {
    const char* what;
    std::shared_ptr<NSURLRequest> request;
    std::string target;
  } cases[] = {
      {"a file in a folder that does not exist", r, home.pathFor("tmp") + "/no/such/folder/body.bin"},
      {"a body stream whose file has gone", gone, home.pathFor("tmp/copy.bin")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    bool done = false;
    std::shared_ptr<NSError> result;
    s->requestWithMultipartFormRequest(c.request, NSURL::fileURLWithPath(NSString::stringWithUTF8String(c.target)),
                                       [&](const std::shared_ptr<NSError>& e) {
                                         result = e;
                                         done = true;
                                       });
    ASSERT_TRUE(zvt::test::runMainLoopUntil([&] { return done; }));
    EXPECT_TRUE(result) << "a body that was never written is no success";
  }
}

}  // namespace
