// Web views whose pages come through the HTTP layer, against a loopback server: the page's text
// decoded in its charset, changed by the caller and shown, the progress of the download, the
// delegate told of the start and the end, a failure with the HTTP layer's error, and a second
// load cancelling the first.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/platform/uikit/UIKitTestSupport.h"
#include "tests/support/MainLoop.h"
#include "tests/support/TestHTTPServer.h"
#include "tests/support/ui/XvfbDisplay.h"
#include "ui/web/UIWebView+NWNetworking.h"

using zvt::test::runMainLoopUntil;

namespace {

class Recorder : public UIWebViewDelegate {
 public:
  int started = 0;
  int finished = 0;
  void webViewDidStartLoad(const std::shared_ptr<UIWebView>&) override { ++started; }
  void webViewDidFinishLoad(const std::shared_ptr<UIWebView>&) override { ++finished; }
};

std::string js(const std::shared_ptr<UIWebView>& web, const std::string& script) {
  auto answer = web->stringByEvaluatingJavaScriptFromString(NSString::stringWithUTF8String(script));
  return answer ? answer->utf8() : "";
}

struct Page {
  zvt::uitest::Screen screen;
  std::shared_ptr<UIWebView> web;
  std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
  zvt::test::TestHTTPServer server;
  Page() {
    web = screen.add<UIWebView>(CGRectMake(0, 20, 320, 460));
    web->setDelegate(recorder);
    // "你好，世界" in GBK, declared as such.
    server.route("/gbk", [](const zvt::test::HTTPRequest&, zvt::test::HTTPResponder& responder) {
      responder.send(200, {{"Content-Type", "text/html; charset=gbk"}},
                     "<html><body><p id=t>\xC4\xE3\xBA\xC3\xA3\xAC\xCA\xC0\xBD\xE7</p></body></html>");
    });
    server.route("/slow", [](const zvt::test::HTTPRequest&, zvt::test::HTTPResponder& responder) {
      responder.pause(1);
      responder.send(200, "<p id=t>slow</p>", "text/html");
    });
    server.route("/missing", [](const zvt::test::HTTPRequest&, zvt::test::HTTPResponder& responder) {
      responder.send(404, "no", "text/plain");
    });
  }
  std::shared_ptr<NSURLRequest> request(const char* path) {
    return NSURLRequest::requestWithURL(NSURL::URLWithString(server.url(path)));
  }
};

TEST(WebViewBinding, ThePageIsDecodedInItsCharsetChangedByTheCallerAndShown) {
  ZVT_REQUIRE_DISPLAY();
  Page page;
  std::string seen;
  int64_t progressTotal = 0, progressExpected = 0;
  loadRequest(
      page.web, page.request("/gbk"),
      [&](NSUInteger, int64_t total, int64_t expected) {
        progressTotal = total;
        progressExpected = expected;
      },
      [&](const std::shared_ptr<NSHTTPURLResponse>& response, const std::shared_ptr<NSString>& HTML) {
        seen = HTML ? HTML->utf8() : "(nil)";
        EXPECT_EQ(response->statusCode(), 200);
        return HTML ? HTML->stringByReplacingOccurrencesOfString("世界"_ns, "大家"_ns) : HTML;
      },
      [](const std::shared_ptr<NSError>& error) { ADD_FAILURE() << error->description()->utf8(); });
  EXPECT_EQ(page.recorder->started, 1) << "told at once";
  ASSERT_TRUE(runMainLoopUntil([&] { return page.recorder->finished >= 1 && !page.web->isLoading(); }, 20));
  EXPECT_EQ(seen, "<html><body><p id=t>你好，世界</p></body></html>");
  ASSERT_TRUE(runMainLoopUntil([&] { return js(page.web, "document.getElementById('t').textContent") == "你好，大家"; }, 10));
  EXPECT_EQ(js(page.web, "location.pathname"), "/gbk") << "the response's address is the base";
  EXPECT_GT(progressTotal, 0);
  EXPECT_EQ(progressTotal, progressExpected);
}

TEST(WebViewBinding, AFailureReachesTheFailureBlockAndASecondLoadCancelsTheFirst) {
  ZVT_REQUIRE_DISPLAY();
  Page page;
  std::vector<std::string> failures;
  auto fail = [&](const std::shared_ptr<NSError>& error) { failures.push_back(std::to_string(error->code())); };
  loadRequest(page.web, page.request("/missing"), nullptr, nullptr, fail);
  ASSERT_TRUE(runMainLoopUntil([&] { return !failures.empty(); }, 10));
  EXPECT_EQ(failures, (std::vector<std::string>{std::to_string(NSURLErrorBadServerResponse)}));
  EXPECT_EQ(page.recorder->finished, 0);

  failures.clear();
  loadRequest(page.web, page.request("/slow"), nullptr, nullptr, fail);
  auto first = pageRequestOperation(page.web);
  loadRequest(page.web, page.request("/gbk"), nullptr, nullptr, fail);
  EXPECT_TRUE(first->isCancelled());
  ASSERT_TRUE(runMainLoopUntil([&] { return js(page.web, "document.getElementById('t') ? 1 : 0") == "1" && !page.web->isLoading(); }, 20));
  runMainLoopUntil([] { return false; }, 1.5);
  EXPECT_EQ(js(page.web, "document.getElementById('t').textContent"), "你好，世界");
  EXPECT_EQ(failures, (std::vector<std::string>{std::to_string(NSURLErrorCancelled)}));
}

}  // namespace
