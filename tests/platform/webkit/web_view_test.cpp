// Web views showing real pages: loads and the delegate's calls, scripts answered synchronously,
// navigations the delegate refuses or allows (and the history they leave), failures as URL
// errors, the page's pixels on the screen, and the device's taps and drags reaching the page.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/network/NSHTTPCookie.h"
#include "platform/uikit/Device.h"
#include "platform/uikit/Snapshot.h"
#include "platform/webkit/UIWebView.h"
#include "tests/platform/graphics/Canvas.h"
#include "tests/platform/uikit/UIKitTestSupport.h"
#include "tests/support/MainLoop.h"
#include "tests/support/TestHTTPServer.h"
#include "tests/support/ui/XvfbDisplay.h"

using zvt::test::runMainLoopUntil;
using zvt::uitest::Screen;

namespace {

std::string str(const std::shared_ptr<NSString>& s) { return s ? s->utf8() : "(nil)"; }

class Recorder : public UIWebViewDelegate {
 public:
  std::vector<std::string> log;
  std::vector<std::string> refused;  // paths refused
  int finished = 0;
  int failed = 0;
  std::shared_ptr<NSError> error;

  bool webViewShouldStartLoadWithRequest(const std::shared_ptr<UIWebView>&, const std::shared_ptr<NSURLRequest>& request,
                                         UIWebViewNavigationType type) override {
    const std::string path = str(request->URL()->path());
    log.push_back("should " + path + " " + std::to_string(type));
    for (const auto& r : refused) {
      if (r == path) return false;
    }
    return true;
  }
  void webViewDidStartLoad(const std::shared_ptr<UIWebView>&) override { log.push_back("start"); }
  void webViewDidFinishLoad(const std::shared_ptr<UIWebView>&) override {
    log.push_back("finish");
    ++finished;
  }
  void webViewDidFailLoadWithError(const std::shared_ptr<UIWebView>&, const std::shared_ptr<NSError>& e) override {
    log.push_back("fail " + std::to_string(e->code()));
    error = e;
    ++failed;
  }
};

// A web view filling a 320 x 480 window, with a recording delegate.
struct WebScreen {
  Screen screen;
  std::shared_ptr<UIWebView> web;
  std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();

  WebScreen() {
    web = screen.add<UIWebView>(CGRectMake(0, 20, 320, 460));
    web->setDelegate(recorder);
  }
  bool waitForFinishes(int n) {
    return runMainLoopUntil([&] { return recorder->finished + recorder->failed >= n && !web->isLoading(); }, 20);
  }
  std::string js(const std::string& script) { return str(web->stringByEvaluatingJavaScriptFromString(NSString::stringWithUTF8String(script))); }
  std::string path() { return js("location.pathname"); }
  // The centre of an element of the page, in window coordinates.
  CGPoint centreOf(const std::string& selector) {
    const std::string r = "(function(){var b=document.querySelector('" + selector + "').getBoundingClientRect();";
    const double x = std::stod(js(r + "return b.left+b.width/2})()"));
    const double y = std::stod(js(r + "return b.top+b.height/2})()"));
    return web->convertPointToView(CGPointMake(x, y), nullptr);
  }
};

// The colour of the screen's picture at a point of the window.
zvt::test::RGBA pixelAt(const std::shared_ptr<UIView>& view, CGPoint point) {
  auto image = zvt::ui::snapshot(view);
  const int width = static_cast<int>(image->CGImage()->width()), height = static_cast<int>(image->CGImage()->height());
  const double scale = width / image->size().width;
  zvt::test::Canvas canvas(width, height);
  image->drawInRect(CGRectMake(0, 0, width, height));
  return canvas.at(static_cast<int>(point.x * scale), static_cast<int>(point.y * scale));
}

// A loopback port nobody listens on.
int closedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(fd, reinterpret_cast<sockaddr*>(&address), length);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

// The processes this test process started that run under `name` (as the system shortens it).
std::vector<pid_t> childrenNamed(const std::string& name) {
  std::vector<pid_t> found;
  DIR* proc = opendir("/proc");
  if (!proc) return found;
  while (dirent* entry = readdir(proc)) {
    const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
    if (pid <= 0) continue;
    std::ifstream stat("/proc/" + std::string(entry->d_name) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    const size_t open = line.find('('), close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close + 2 > line.size()) continue;
    std::istringstream rest(line.substr(close + 2));
    char state = 0;
    pid_t parent = 0;
    rest >> state >> parent;
    if (parent == getpid() && state != 'Z' && line.substr(open + 1, close - open - 1) == name) found.push_back(pid);
  }
  closedir(proc);
  std::sort(found.begin(), found.end());
  return found;
}

// The engine's network process held still (a stuck engine) while it lives.
struct StoppedNetwork {
  std::vector<pid_t> processes = childrenNamed("WebKitNetworkPr");
  StoppedNetwork() {
    for (pid_t pid : processes) kill(pid, SIGSTOP);
  }
  ~StoppedNetwork() { resume(); }
  void resume() {
    for (pid_t pid : processes) kill(pid, SIGCONT);
    processes.clear();
  }
};

// While armed, holds the engine's network process still the moment the engine reports a change of
// its cookies, before the engine's own handler asks for a reading of them: that reading waits with
// whatever is sent to the engine after it. (The process is found beforehand: the engine answers
// in less time than a look through the system's processes takes.)
struct StoppedAtTheEnginesReport {
  std::vector<pid_t> network = childrenNamed("WebKitNetworkPr");
  bool armed = true;
  bool stopped = false;
  guint signal = g_signal_lookup("changed", WEBKIT_TYPE_COOKIE_MANAGER);
  gulong hook;

  StoppedAtTheEnginesReport() {
    // An emission hook runs before every handler of the signal.
    hook = g_signal_add_emission_hook(
        signal, 0,
        [](GSignalInvocationHint*, guint, const GValue*, gpointer self) -> gboolean {
          auto* held = static_cast<StoppedAtTheEnginesReport*>(self);
          if (held->armed && !held->stopped) {
            for (pid_t pid : held->network) kill(pid, SIGSTOP);
            held->stopped = true;
          }
          return TRUE;
        },
        this, nullptr);
  }
  ~StoppedAtTheEnginesReport() {
    g_signal_remove_emission_hook(signal, hook);
    resume(false);
  }
  // The engine goes on; armed again, it stops at its next report.
  void resume(bool again) {
    armed = again;
    for (pid_t pid : network) kill(pid, SIGCONT);
    stopped = false;
  }
};

NSHTTPCookieStorage& cookieStore() { return *NSHTTPCookieStorage::sharedHTTPCookieStorage(); }

void storeCookie(const char* name, const char* value) {
  auto properties = NSMutableDictionary::dictionary();
  properties->setObject(NSString::stringWithUTF8String(name), NSHTTPCookieName);
  properties->setObject(NSString::stringWithUTF8String(value), NSHTTPCookieValue);
  properties->setObject("127.0.0.1"_ns, NSHTTPCookieDomain);
  properties->setObject("/"_ns, NSHTTPCookiePath);
  cookieStore().setCookie(NSHTTPCookie::cookieWithProperties(properties));
}

std::shared_ptr<NSHTTPCookie> storedCookie(const std::string& name) {
  auto cookies = cookieStore().cookies();
  for (const id& object : *cookies) {
    auto cookie = zvt::as<NSHTTPCookie>(object);
    if (cookie && cookie->name()->utf8() == name) return cookie;
  }
  return nullptr;
}

// "/set" sets the cookie page=1; every other page shows the cookies it was sent.
void serveCookiePages(zvt::test::TestHTTPServer& server) {
  server.route("/set", [](const zvt::test::HTTPRequest&, zvt::test::HTTPResponder& responder) {
    responder.send(200, {{"Content-Type", "text/html"}, {"Set-Cookie", "page=1; Path=/"}}, "<p>set</p>");
  });
  server.fallback([](const zvt::test::HTTPRequest& request, zvt::test::HTTPResponder& responder) {
    responder.send(200, "<p>" + request.header("Cookie") + "</p>", "text/html");
  });
}

// A web view on the cookie pages, with the cookie store empty before and after.
struct CookieScreen : WebScreen {
  zvt::test::TestHTTPServer server;
  int loads = 0;  // loads that ended so far

  CookieScreen() {
    cookieStore().removeAllCookies();
    serveCookiePages(server);
  }
  ~CookieScreen() { cookieStore().removeAllCookies(); }
  // Starts loading the page; load also waits for it to end.
  void go(const std::string& path) { web->loadRequest(NSURLRequest::requestWithURL(NSURL::URLWithString(server.url(path)))); }
  bool load(const std::string& path) {
    go(path);
    return waitForFinishes(++loads);
  }
  // The store's session cookie "old", taken by the engine: a page sends it.
  bool engineHoldsOldSession() {
    storeCookie("session", "old");
    return load("/echo") && server.requests().back().header("Cookie").find("session=old") == 0;
  }
};

}  // namespace

TEST(WebView, LoadsAPageAnswersScriptsAndShowsItsPixels) {
  ZVT_REQUIRE_DISPLAY();
  WebScreen s;
  ASSERT_TRUE(s.web->hasEngine());
  s.web->loadHTMLString(NSString::stringWithUTF8String(
                            "<html><head><title>你好</title></head>"
                            "<body style='margin:0;background:#ff0000'><p id=p>页面 page</p></body></html>"),
                        NSURL::URLWithString("http://127.0.0.1:9/base/page.html"));
  ASSERT_TRUE(s.waitForFinishes(1));
  EXPECT_EQ(s.recorder->log, (std::vector<std::string>{"should /base/page.html 5", "start", "finish"}));
  EXPECT_EQ(str(s.web->request()->URL()->absoluteString()), "http://127.0.0.1:9/base/page.html");

  const struct {
    const char* script;
    const char* answer;
  } scripts[] = {
      {"document.title", "你好"},
      {"1 + 2", "3"},
      {"document.getElementById('p').textContent", "页面 page"},
      {"window.innerWidth + 'x' + window.innerHeight", "320x460"},
      {"true", "true"},
      {"undefined", ""},
      {"null", ""},
      {"throw new Error('no')", ""},
      {"this is not a script", ""},
  };
  for (const auto& c : scripts) EXPECT_EQ(s.js(c.script), c.answer) << c.script;

  // The page's pixels reach the screen once WebKit has painted.
  zvt::test::RGBA seen;
  EXPECT_TRUE(runMainLoopUntil(
      [&] {
        seen = pixelAt(s.screen.window, CGPointMake(160, 400));
        return seen == zvt::test::RGBA{255, 0, 0, 255};
      },
      10))
      << seen;

  // A new size is the page's new viewport.
  s.web->setFrame(CGRectMake(0, 20, 200, 300));
  ASSERT_TRUE(runMainLoopUntil([&] { return s.js("window.innerWidth + 'x' + window.innerHeight") == "200x300"; }, 10));
}

TEST(WebView, TheDelegateDecidesEveryNavigationAndRefusedOnesLeaveNoHistory) {
  ZVT_REQUIRE_DISPLAY();
  zvt::test::TestHTTPServer server;
  server.fallback([](const zvt::test::HTTPRequest& request, zvt::test::HTTPResponder& responder) {
    responder.send(200,
                   "<html><body style='margin:0;font-size:30px'><a id=allowed href='/next'>next</a><br>"
                   "<a id=refused href='/refused'>refused</a><br><a id=blank target=_blank href='/blank'>blank</a>"
                   "<form action='/form'><input name=q value=1></form><p id=path>" + request.path + "</p></body></html>",
                   "text/html");
  });
  WebScreen s;
  s.recorder->refused = {"/refused"};
  auto request = NSMutableURLRequest::requestWithURL(NSURL::URLWithString(server.url("/start")));
  request->setValue("yes", "X-Zavelto-Test");
  s.web->loadRequest(request);
  ASSERT_TRUE(s.waitForFinishes(1));
  ASSERT_FALSE(server.requests().empty());
  EXPECT_EQ(server.requests().front().header("X-Zavelto-Test"), "yes");
  EXPECT_FALSE(s.web->canGoBack());

  // Taps of the device on the page's links, and a form the page submits.
  const struct {
    const char* what;
    std::function<void()> act;
    const char* asked;
    const char* pathAfter;
    bool canGoBack;
  } steps[] = {
      {"a refused link", [&] { s.screen.device().tap(s.centreOf("#refused")); }, "should /refused 0", "/start", false},
      {"an allowed link", [&] { s.screen.device().tap(s.centreOf("#allowed")); }, "should /next 0", "/next", true},
      {"a new window's link", [&] { s.screen.device().tap(s.centreOf("#blank")); }, "should /blank 0", "/blank", true},
      {"a form", [&] { s.js("document.forms[0].submit()"); }, "should /form 1", "/form", true},
      {"back", [&] { s.web->goBack(); }, "should /blank 2", "/blank", true},
      {"reload", [&] { s.web->reload(); }, "should /blank 3", "/blank", true},
  };
  for (const auto& step : steps) {
    s.recorder->log.clear();
    const int before = s.recorder->finished;
    step.act();
    // A refused navigation ends at once; an allowed one ends with its page.
    if (std::string(step.pathAfter) != s.path()) {
      ASSERT_TRUE(runMainLoopUntil([&] { return s.recorder->finished > before && !s.web->isLoading(); }, 20)) << step.what;
    } else {
      runMainLoopUntil([&] { return !s.recorder->log.empty() && !s.web->isLoading(); }, 5);
      runMainLoopUntil([&] { return s.recorder->finished > before; }, 0.3);
    }
    ASSERT_FALSE(s.recorder->log.empty()) << step.what;
    EXPECT_EQ(s.recorder->log.front(), step.asked) << step.what;
    EXPECT_EQ(s.path(), step.pathAfter) << step.what;
    EXPECT_EQ(s.web->canGoBack(), step.canGoBack) << step.what;
  }
  EXPECT_EQ(s.recorder->failed, 0) << "a refused navigation is no failure";
  EXPECT_TRUE(s.web->canGoForward());
}

TEST(WebView, AFailedLoadIsAURLErrorAndADragScrollsThePage) {
  ZVT_REQUIRE_DISPLAY();
  WebScreen s;
  // Nobody listens on the one port; the other is one the engine refuses to connect to at all,
  // which it ends on an empty page without a failure signal of its own.
  int loads = 0;
  for (const std::string& gone : {"http://127.0.0.1:" + std::to_string(closedPort()) + "/gone", std::string("http://127.0.0.1:1/gone")}) {
    s.recorder->log.clear();
    s.web->loadRequest(NSURLRequest::requestWithURL(NSURL::URLWithString(gone)));
    ASSERT_TRUE(s.waitForFinishes(++loads)) << gone;
    ASSERT_EQ(s.recorder->log, (std::vector<std::string>{"should /gone 5", "start", "fail -1004"})) << gone;
    EXPECT_EQ(str(s.recorder->error->domain()), "NSURLErrorDomain");
    EXPECT_EQ(str(zvt::as<NSString>(s.recorder->error->userInfo()->objectForKey(NSURLErrorFailingURLStringErrorKey))),
              gone);
  }

  s.web->loadHTMLString(NSString::stringWithUTF8String("<body style='margin:0'><div style='height:3000px'></div></body>"),
                        nullptr);
  ASSERT_TRUE(s.waitForFinishes(++loads));
  // Views of two heights: the page follows the finger in both.
  for (CGFloat height : {460.0, 250.0}) {
    s.web->setFrame(CGRectMake(0, 20, 320, height));
    s.js("window.scrollTo(0, 0)");
    ASSERT_TRUE(runMainLoopUntil([&] { return s.js("window.scrollY") == "0" && s.js("window.innerHeight") == std::to_string(int(height)); }, 20));
    s.screen.device().drag(CGPointMake(160, 240), CGPointMake(160, 90), 0.3);
    ASSERT_TRUE(runMainLoopUntil([&] { return s.js("window.scrollY") != "0"; }, 20));
    EXPECT_NEAR(std::stod(s.js("window.scrollY")), 150, 12) << "the page follows the finger in a view " << height << " high";
  }
}

TEST(WebView, PagesAndTheCookieStoreSeeTheSameCookies) {
  ZVT_REQUIRE_DISPLAY();
  auto store = NSHTTPCookieStorage::sharedHTTPCookieStorage();
  store->removeAllCookies();
  zvt::test::TestHTTPServer server;
  serveCookiePages(server);
  auto cookie = [&](const char* name, const char* value) {
    auto properties = NSMutableDictionary::dictionary();
    properties->setObject(NSString::stringWithUTF8String(name), NSHTTPCookieName);
    properties->setObject(NSString::stringWithUTF8String(value), NSHTTPCookieValue);
    properties->setObject(NSString::stringWithUTF8String("127.0.0.1"), NSHTTPCookieDomain);
    properties->setObject(NSString::stringWithUTF8String("/"), NSHTTPCookiePath);
    store->setCookie(NSHTTPCookie::cookieWithProperties(properties));
  };
  auto stored = [&](const std::string& name) {
    auto cookies = store->cookies();
    for (const id& object : *cookies) {
      auto c = zvt::as<NSHTTPCookie>(object);
      if (c->name()->utf8() == name) return c->value()->utf8();
    }
    return std::string();
  };
  WebScreen s;
  int loads = 0;
  auto load = [&](const std::string& path) {
    s.web->loadRequest(NSURLRequest::requestWithURL(NSURL::URLWithString(server.url(path))));
    return s.waitForFinishes(++loads);
  };

  cookie("session", "abc");  // a login's session cookie
  ASSERT_TRUE(load("/echo"));
  EXPECT_EQ(server.requests().back().header("Cookie"), "session=abc");
  ASSERT_TRUE(load("/set"));
  EXPECT_TRUE(runMainLoopUntil([&] { return stored("page") == "1"; }, 20)) << "a cookie the server set";
  s.js("document.cookie = 'script=2; path=/'");
  EXPECT_TRUE(runMainLoopUntil([&] { return stored("script") == "2"; }, 20)) << "a cookie a script set";
  cookie("session", "def");  // a new login
  ASSERT_TRUE(load("/echo"));
  const std::string sent = server.requests().back().header("Cookie");
  EXPECT_NE(sent.find("session=def"), std::string::npos) << sent;
  EXPECT_NE(sent.find("page=1"), std::string::npos) << sent;
  EXPECT_NE(sent.find("script=2"), std::string::npos) << sent;
  store->removeAllCookies();
}

// A cookie deleted from the store is not sent by a page any more, whether the store handed it
// to the engine or took it from a page.
TEST(WebView, ACookieDeletedFromTheStoreIsNoLongerSent) {
  ZVT_REQUIRE_DISPLAY();
  CookieScreen s;
  storeCookie("session", "abc");
  ASSERT_TRUE(s.load("/set"));
  ASSERT_TRUE(runMainLoopUntil([&] { return storedCookie("page") != nullptr; }, 20));
  ASSERT_TRUE(s.load("/echo"));
  ASSERT_EQ(s.server.requests().back().header("Cookie").find("session=abc") != std::string::npos, true);

  for (const char* name : {"session", "page"}) {  // handed to the engine; set by a page
    SCOPED_TRACE(name);
    cookieStore().deleteCookie(storedCookie(name));
    ASSERT_TRUE(s.load("/echo"));
    const std::string sent = s.server.requests().back().header("Cookie");
    EXPECT_EQ(sent.find(std::string(name) + "="), std::string::npos) << sent;
  }
}

TEST(WebView, PagesCallTheNativesOfTheirOwnViewAndScriptsAnswerValues) {
  ZVT_REQUIRE_DISPLAY();
  WebScreen s;
  auto other = s.screen.add<UIWebView>(CGRectMake(0, 300, 320, 100));
  std::vector<std::string> calls;
  auto record = [&](const std::string& who) {
    return JSContext::Native([&calls, who](const std::shared_ptr<NSArray>& arguments) {
      std::string line = who;
      for (const id& argument : *arguments) line += " " + NSStringFromObject(argument);
      calls.push_back(line);
    });
  };
  auto before = s.web->javaScriptContext();
  before->setObjectForKeyedSubscript(record("first"), NSString::stringWithUTF8String("native"));
  other->javaScriptContext()->setObjectForKeyedSubscript(record("second"), NSString::stringWithUTF8String("native"));

  // Installed in each new page before its scripts run.
  // One page after the other: two pages of one web process starting at once under other
  // addresses are at times taken down by the engine itself (its network process has the web
  // process killed, and the engine reloads neither page), which is none of this layer's doing.
  const char* page = "<body><script>native('loaded', 2)</script></body>";
  s.web->loadHTMLString(NSString::stringWithUTF8String(page), NSURL::URLWithString("http://127.0.0.1:9/one"));
  ASSERT_TRUE(runMainLoopUntil([&] { return calls.size() == 1; }, 20));
  other->loadHTMLString(NSString::stringWithUTF8String(page), NSURL::URLWithString("http://127.0.0.1:9/two"));
  ASSERT_TRUE(runMainLoopUntil([&] { return calls.size() == 2; }, 20));
  std::sort(calls.begin(), calls.end());
  EXPECT_EQ(calls, (std::vector<std::string>{"first loaded 2", "second loaded 2"}));

  auto context = s.web->javaScriptContext();
  EXPECT_NE(context, before) << "a new page, a new context";
  EXPECT_FALSE(before->isCurrent());
  EXPECT_TRUE(context->isCurrent());
  calls.clear();
  context->evaluateScript(NSString::stringWithUTF8String("native({a: 1}, [true, null])"));
  ASSERT_TRUE(runMainLoopUntil([&] { return !calls.empty(); }, 20));
  EXPECT_EQ(calls.front(), "first {\n    a = 1;\n} (\n    1,\n    \"<null>\"\n)");

  const struct {
    const char* script;
    const char* text;
    const char* object;  // description of the plain object, "(null)" for nil
  } values[] = {
      {"'字'", "字", "字"},
      {"1.5", "1.5", "1.5"},
      {"false", "false", "0"},
      {"null", "null", "<null>"},
      {"undefined", "undefined", "(null)"},
      {"[1, 'a']", "1,a", "(\n    1,\n    a\n)"},
      {"({k: 'v', n: {m: 2}})", "[object Object]", "{\n    k = v;\n    n =     {\n        m = 2;\n    };\n}"},
  };
  for (const auto& v : values) {
    auto value = context->evaluateScript(NSString::stringWithUTF8String(v.script));
    EXPECT_EQ(str(value->toString()), v.text) << v.script;
    EXPECT_EQ(NSStringFromObject(value->toObject()), v.object) << v.script;
  }
  EXPECT_EQ(context->objectForKeyedSubscript(NSString::stringWithUTF8String("innerWidth"))->toInt32(), 320);
}

// Web views shown together each show their own page and follow their own finger.
TEST(WebView, ViewsShownTogetherEachShowTheirPage) {
  ZVT_REQUIRE_DISPLAY();
  Screen screen;
  const struct {
    CGRect frame;
    const char* colour;
    zvt::test::RGBA pixel;
  } views[] = {
      {CGRectMake(0, 20, 320, 200), "#ff0000", {255, 0, 0, 255}},
      {CGRectMake(0, 240, 320, 200), "#0000ff", {0, 0, 255, 255}},
  };
  std::vector<std::shared_ptr<UIWebView>> webs;
  for (const auto& v : views) {
    webs.push_back(screen.add<UIWebView>(v.frame));
    webs.back()->loadHTMLString(NSString::stringWithUTF8String(std::string("<body style='margin:0;background:") + v.colour +
                                                               "'><div style='height:3000px'></div></body>"),
                                nullptr);
  }
  for (size_t i = 0; i < webs.size(); ++i) {
    const CGPoint centre = CGPointMake(CGRectGetMidX(views[i].frame), CGRectGetMidY(views[i].frame));
    zvt::test::RGBA seen;
    EXPECT_TRUE(runMainLoopUntil([&] { return (seen = pixelAt(screen.window, centre)) == views[i].pixel; }, 20))
        << "view " << i << " shows " << seen;
    screen.device().drag(centre, CGPointMake(centre.x, centre.y - 60), 0.3);
    EXPECT_TRUE(runMainLoopUntil(
        [&] { return str(webs[i]->stringByEvaluatingJavaScriptFromString("window.scrollY"_ns)) != "0"; }, 20))
        << "view " << i << " follows the finger";
  }
}

// The web process the views share stays when the last view goes: the next screen's view, made
// at once, does not start in a process on its way out (whose navigation the engine would take up
// again in another: asked about twice, and an empty page instead of the one loaded).
TEST(WebView, TheNextScreensViewShowsItsPageInTheWebProcessTheLastViewLeft) {
  ZVT_REQUIRE_DISPLAY();
  auto page = [](const char* text) { return NSString::stringWithUTF8String(std::string("<p id=p>") + text + "</p>"); };
  std::vector<pid_t> before;
  {
    WebScreen last;
    last.web->loadHTMLString(page("last"), NSURL::URLWithString("http://127.0.0.1:9/last"));
    ASSERT_TRUE(last.waitForFinishes(1));
    before = childrenNamed("WebKitWebProces");
    ASSERT_FALSE(before.empty());
  }
  WebScreen next;
  next.web->loadHTMLString(page("next"), NSURL::URLWithString("http://127.0.0.1:9/next"));
  ASSERT_TRUE(next.waitForFinishes(1));
  EXPECT_EQ(next.recorder->log, (std::vector<std::string>{"should /next 5", "start", "finish"}));
  EXPECT_EQ(next.js("document.getElementById('p').textContent"), "next");
  const std::vector<pid_t> after = childrenNamed("WebKitWebProces");
  for (pid_t pid : before) {
    EXPECT_TRUE(std::binary_search(after.begin(), after.end(), pid)) << "web process " << pid << " went with the last view";
  }
}

// A navigation goes once the engine has taken the store's cookies, however long that takes, and
// a stuck engine ends it as a request without an answer ends: timed out, after the URL loading
// system's time-out.
TEST(WebView, ANavigationWaitsForTheEngineToTakeTheCookiesAndTimesOutWhenItIsStuck) {
  ZVT_REQUIRE_DISPLAY();
  CookieScreen s;
  ASSERT_TRUE(s.load("/ready"));
  ASSERT_FALSE(childrenNamed("WebKitNetworkPr").empty());

  const struct {
    const char* value;
    NSTimeInterval stuckFor;
    bool timesOut;
  } cases[] = {
      {"late", 59, false},
      {"stuck", 60, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    storeCookie("session", c.value);
    s.recorder->log.clear();
    const size_t requests = s.server.requests().size();
    {
      StoppedNetwork stuck;
      s.go("/echo");
      ASSERT_TRUE(runMainLoopUntil([&] { return !s.recorder->log.empty(); }, 20));
      s.js("1");  // the page answers after what the engine reported before
      EXPECT_EQ(s.recorder->log, (std::vector<std::string>{"should /echo 5"})) << "gone before the engine took the cookies";
      s.screen.clock.advanceBy(c.stuckFor);
      if (c.timesOut) {
        ASSERT_TRUE(runMainLoopUntil([&] { return s.recorder->failed > 0; }, 20));
        EXPECT_EQ(s.recorder->log, (std::vector<std::string>{"should /echo 5", "fail -1001"}));
        EXPECT_EQ(str(zvt::as<NSString>(s.recorder->error->userInfo()->objectForKey(NSURLErrorFailingURLStringErrorKey))),
                  s.server.url("/echo"));
        ++s.loads;
      } else {
        zvt::test::drainMainLoop();
        EXPECT_EQ(s.recorder->failed, 0);
      }
    }
    // The engine answers again: what waited goes, and the next navigation carries the cookie.
    if (c.timesOut) s.go("/echo");
    ASSERT_TRUE(s.waitForFinishes(++s.loads));
    ASSERT_GT(s.server.requests().size(), requests);
    EXPECT_EQ(s.server.requests().back().header("Cookie"), std::string("session=") + c.value);
  }

  // A navigation stopped, or a screen left, while it waits never goes: it does not time out, and
  // the engine's late answer finds nothing of it.
  storeCookie("session", "stopped");
  {
    StoppedNetwork stuck;
    s.recorder->log.clear();
    s.go("/stopped");
    ASSERT_TRUE(runMainLoopUntil([&] { return !s.recorder->log.empty(); }, 20));
    s.web->stopLoading();
    s.screen.clock.advanceBy(60);
    zvt::test::drainMainLoop();
  }
  storeCookie("session", "left");
  {
    StoppedNetwork stuck;  // till the screen has gone
    WebScreen left;
    left.web->loadRequest(NSURLRequest::requestWithURL(NSURL::URLWithString(s.server.url("/left"))));
    ASSERT_TRUE(runMainLoopUntil([&] { return !left.recorder->log.empty(); }, 20));
  }
  ASSERT_TRUE(s.load("/echo"));
  EXPECT_EQ(s.server.requests().back().header("Cookie"), "session=left");
  for (const auto& request : s.server.requests()) EXPECT_TRUE(request.path != "/stopped" && request.path != "/left") << request.path;
  EXPECT_EQ(s.recorder->log, (std::vector<std::string>{"should /stopped 5", "should /echo 5", "start", "finish"}));
}

// What the store may do to the session cookie the engine holds as "old".
struct StoreChange {
  const char* change;
  std::function<void()> act;
  const char* stored;  // the store's value afterwards, "" for none
};
std::vector<StoreChange> storeChanges() {
  return {
      {"a new value", [] { storeCookie("session", "new"); }, "new"},
      {"deleted", [] { cookieStore().deleteCookie(storedCookie("session")); }, ""},
  };
}

// A report of the engine's cookies (a page set one) does not undo what the store did since the
// engine last took its cookies: it still holds the old ones then.
TEST(WebView, AReportOfTheEnginesCookiesDoesNotUndoTheStoresNewerChange) {
  ZVT_REQUIRE_DISPLAY();
  CookieScreen s;
  int set = 0;
  for (const auto& c : storeChanges()) {
    SCOPED_TRACE(c.change);
    ASSERT_TRUE(s.engineHoldsOldSession());
    c.act();
    const std::string mark = "page" + std::to_string(++set);
    s.js("document.cookie = '" + mark + "=1; path=/'");
    ASSERT_TRUE(runMainLoopUntil([&] { return storedCookie(mark) != nullptr; }, 20)) << "the page's cookie reported";
    auto session = storedCookie("session");
    EXPECT_EQ(session ? session->value()->utf8() : "", c.stored);
    ASSERT_TRUE(s.load("/echo"));
    const std::string sent = s.server.requests().back().header("Cookie");
    EXPECT_EQ(sent.find("session=old"), std::string::npos) << sent;
    if (*c.stored) {
      EXPECT_NE(sent.find(std::string("session=") + c.stored), std::string::npos) << sent;
    }
  }
}

// A reading of the engine's cookies asked for before the store's change was handed to the engine,
// and answered after, holds the cookie as the engine had it before: it brings back neither the old
// value nor the deleted cookie.
TEST(WebView, AReadingOfTheEnginesCookiesFromBeforeAHandOverDoesNotUndoIt) {
  ZVT_REQUIRE_DISPLAY();
  CookieScreen s;
  int set = 0;
  for (const auto& c : storeChanges()) {
    SCOPED_TRACE(c.change);
    ASSERT_TRUE(s.engineHoldsOldSession());
    {
      StoppedAtTheEnginesReport held;
      ASSERT_FALSE(held.network.empty());
      // A page sets a cookie: the engine reports it, and the reading that starts waits.
      s.js("document.cookie = 'page" + std::to_string(++set) + "=1; path=/'");
      ASSERT_TRUE(runMainLoopUntil([&] { return held.stopped; }, 20));
      // The store's change goes to the engine behind the reading.
      c.act();
      s.recorder->log.clear();
      s.go("/echo");
      ASSERT_TRUE(runMainLoopUntil([&] { return !s.recorder->log.empty(); }, 20));
      // The engine answers the reading, then reports the hand-over's change (and stops again).
      held.resume(true);
      ASSERT_TRUE(runMainLoopUntil([&] { return held.stopped; }, 20));
      auto session = storedCookie("session");
      EXPECT_EQ(session ? session->value()->utf8() : "", c.stored);
      held.resume(false);
    }
    ASSERT_TRUE(s.waitForFinishes(++s.loads));
    const std::string sent = s.server.requests().back().header("Cookie");
    EXPECT_EQ(sent.find("session=old"), std::string::npos) << sent;
    if (*c.stored) {
      EXPECT_NE(sent.find(std::string("session=") + c.stored), std::string::npos) << sent;
    }
  }
}
