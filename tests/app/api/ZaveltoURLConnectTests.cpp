#include <gtest/gtest.h>

#include <string>

#include "app/api/ZaveltoURLConnect.h"
#include "platform/foundation/Foundation.h"
#include "platform/network/NSURL.h"
#include "tests/support/MainLoop.h"
#include "tests/support/TestHTTPServer.h"

namespace zvt::test {
namespace {

struct Delivery {
  int calls = 0;
  std::shared_ptr<NSData> data;
  std::shared_ptr<NSString> text;
  std::shared_ptr<NSError> error;
};

void load(const std::string& url, Delivery& out) {
  auto request = NSMutableURLRequest::requestWithURL(NSURL::URLWithString(url));
  request->setHTTPMethod("POST");
  request->setHTTPBody(NSData::dataWithString("\"x\""));
  ZaveltoURLConnect::accessServerWithRequest(
      request, [&out](const std::shared_ptr<NSData>& d, const std::shared_ptr<NSString>& t, const std::shared_ptr<NSError>& e) {
        out.data = d;
        out.text = t;
        out.error = e;
        ++out.calls;
      });
  ASSERT_TRUE(runMainLoopUntil([&] { return out.calls > 0; }));
  runMainLoopUntil([] { return false; }, 0.05);
  EXPECT_EQ(out.calls, 1);
}

TEST(ZaveltoURLConnect, DeliversTheLastBodyWhateverTheStatus) {
  TestHTTPServer server;
  server.route("/first", [](const HTTPRequest&, HTTPResponder& r) {
    r.send(302, {{"Location", "/final"}, {"Content-Type", "text/plain"}}, "body of the redirect");
  });
  server.route("/final", [](const HTTPRequest&, HTTPResponder& r) { r.send(200, "{\"code\":101}", "application/json"); });
  server.route("/error", [](const HTTPRequest&, HTTPResponder& r) { r.send(500, "{\"code\":101,\"msg\":\"集\"}", "text/html"); });
  server.route("/binary", [](const HTTPRequest&, HTTPResponder& r) { r.send(200, std::string("\xff\xfe", 2), "x/y"); });
  server.route("/empty", [](const HTTPRequest&, HTTPResponder& r) { r.send(204, ""); });

  Delivery redirected;
  load(server.url("/first"), redirected);
  ASSERT_TRUE(redirected.data);
  EXPECT_EQ(redirected.text->utf8(), "{\"code\":101}");
  EXPECT_EQ(redirected.error, nullptr);

  Delivery failed;
  load(server.url("/error"), failed);
  EXPECT_EQ(failed.text->utf8(), "{\"code\":101,\"msg\":\"集\"}");

  Delivery binary;
  load(server.url("/binary"), binary);
  ASSERT_TRUE(binary.data);
  EXPECT_EQ(binary.data->length(), 2u);
  EXPECT_EQ(binary.text, nullptr);

  Delivery empty;
  load(server.url("/empty"), empty);
  ASSERT_TRUE(empty.data);
  EXPECT_EQ(empty.data->length(), 0u);
  EXPECT_EQ(empty.text->utf8(), "");
}

TEST(ZaveltoURLConnect, TransportFailuresGiveOnlyTheError) {
  std::string url;
  {
    TestHTTPServer server;
    url = server.url("/gone");
  }
  Delivery refused;
  load(url, refused);
  EXPECT_EQ(refused.data, nullptr);
  EXPECT_EQ(refused.text, nullptr);
  ASSERT_TRUE(refused.error);
  EXPECT_EQ(refused.error->domain()->utf8(), "NSURLErrorDomain");

  TestHTTPServer server;
  server.route("/cut", [](const HTTPRequest&, HTTPResponder& r) {
    r.writeHead(200, {{"Content-Length", "100"}});
    r.writeRaw("partial");
    r.drop();
  });
  Delivery cut;
  load(server.url("/cut"), cut);
  EXPECT_EQ(cut.data, nullptr);
  EXPECT_TRUE(cut.error);
}

}  // namespace
}  // namespace zvt::test
