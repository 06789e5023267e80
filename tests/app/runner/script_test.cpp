// Scripts: what the parser reads and refuses, and steps run through the device against a small
// view tree on the virtual clock (taps reach views through hit-testing, typing reaches the first
// responder, a missing text stops the run with a picture), and waits on the virtual clock that
// let a late reply of a real server land within them, a web page's too, pictured once painted.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>

#include "app/runner/Script.h"
#include "platform/foundation/NSTimer.h"
#include "platform/network/NSURLConnection.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UILabel.h"
#include "platform/graphics/UIColor.h"
#include "platform/graphics/UIImage.h"
#include "platform/uikit/Device.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UITextInput.h"
#include "platform/uikit/UIWindow.h"
#include "platform/webkit/UIWebView.h"
#include "tests/platform/graphics/Canvas.h"
#include "tests/support/MainLoop.h"
#include "tests/support/TempHome.h"
#include "tests/support/TestHTTPServer.h"
#include "tests/support/ui/XvfbDisplay.h"

using zvt::runner::ScriptStep;
using Kind = ScriptStep::Kind;

namespace {

// A field that takes typing when it is tapped.
class Field : public UILabel, public UIKeyInput {
 public:
  bool canBecomeFirstResponder() const override { return true; }
  bool hasText() const override { return text() && text()->length() > 0; }
  void insertText(const std::shared_ptr<NSString>& t) override {
    setText(NSString::stringWithUTF8String((text() ? text()->utf8() : "") + t->utf8()));
  }
  void deleteBackward() override {
    auto s = text() ? text()->utf8() : "";
    if (!s.empty()) s.pop_back();
    setText(NSString::stringWithUTF8String(s));
  }
  void touchesEnded(const std::shared_ptr<NSSet>&, const std::shared_ptr<UIEvent>&) override { becomeFirstResponder(); }
};

class Tapped : public NSObject {
 public:
  int taps = 0;
  void tapped() { ++taps; }
};

}  // namespace

TEST(RunnerScript, ReadsEveryStepAndRefusesWhatItCannotRead) {
  std::vector<ScriptStep> steps;
  std::string error;
  ASSERT_TRUE(zvt::runner::parseScript("# a tour\n\ntap \"登录\"\n  tap 120.5, 300\ntype \"a \\\"b\\\" \\\\ c\"\n"
                                       "press return\nswipe left\npull down\nwait 2.5\nshot home\nshot b.png\n"
                                       "expect \"我的订单\"\n",
                                       steps, &error))
      << error;
  struct Expect {
    Kind kind;
    std::string text;
    int line;
  } expected[] = {{Kind::kTapText, "登录", 3}, {Kind::kTapPoint, "", 4},         {Kind::kType, "a \"b\" \\ c", 5},
                  {Kind::kPress, "return", 6}, {Kind::kSwipe, "left", 7},        {Kind::kPull, "", 8},
                  {Kind::kWait, "", 9},        {Kind::kShot, "home.png", 10},    {Kind::kShot, "b.png", 11},
                  {Kind::kExpect, "我的订单", 12}};
  ASSERT_EQ(steps.size(), std::size(expected));
  for (size_t i = 0; i < steps.size(); ++i) {
    EXPECT_EQ(steps[i].kind, expected[i].kind) << i;
    EXPECT_EQ(steps[i].text, expected[i].text) << i;
    EXPECT_EQ(steps[i].line, expected[i].line) << i;
  }
  EXPECT_EQ(steps[1].point.x, 120.5);
  EXPECT_EQ(steps[1].point.y, 300);
  EXPECT_EQ(steps[6].seconds, 2.5);

  struct Bad {
    const char* script;
    const char* error;
  } bad[] = {
      {"tap", "line 1: tap takes a text in double quotes or a point x,y"},
      {"tap \"open", "line 1: tap takes one text in double quotes"},
      {"tap \"a\" more", "line 1: tap takes one text in double quotes"},
      {"# ok\ntap 1;2", "line 2: tap takes a text in double quotes or a point x,y"},
      {"type 123", "line 1: type takes one text in double quotes"},
      {"press escape", "line 1: press takes return or delete"},
      {"swipe diagonal", "line 1: swipe takes up, down, left or right"},
      {"pull up", "line 1: pull takes down"},
      {"wait soon", "line 1: wait takes seconds (0 to 3600)"},
      {"wait -1", "line 1: wait takes seconds (0 to 3600)"},
      {"wait nan", "line 1: wait takes seconds (0 to 3600)"},
      {"shot ../escape.png", "line 1: shot takes a file name (no folders)"},
      {"shot a/b.png", "line 1: shot takes a file name (no folders)"},
      {"dance", "line 1: unknown step \"dance\""},
  };
  for (const auto& b : bad) {
    EXPECT_FALSE(zvt::runner::parseScript(b.script, steps, &error)) << b.script;
    EXPECT_EQ(error, b.error) << b.script;
    EXPECT_TRUE(steps.empty());
  }
}

TEST(RunnerScript, StepsGoThroughTheDeviceAndAMissingTextStopsWithAPicture) {
  zvt::test::VirtualClockScope clock;
  zvt::test::TempHome home;
  zvt::ui::Device::useScreen(zvt::ui::kScreen320x480);
  auto window = UIWindow::make();
  window->setBackgroundColor(UIColor::whiteColor());
  // Above the keyboard that the field brings up.
  auto button = UIButton::buttonWithType(UIButtonTypeSystem);
  button->setFrame(CGRectMake(0, 200, 100, 49));
  button->setTitle("按钮"_ns, UIControlStateNormal);
  auto target = std::make_shared<Tapped>();
  button->addTarget(target, SEL(&Tapped::tapped), UIControlEventTouchUpInside);
  window->addSubview(button);
  auto field = UIView::makeView<Field>(CGRectMake(0, 100, 320, 40));
  field->setUserInteractionEnabled(true);
  window->addSubview(field);
  // A cover that hides nothing from the eye but catches taps below it.
  window->makeKeyAndVisible();
  zvt::ui::Device::shared().settle();

  const std::string folder = home.path() + "/pictures";
  std::vector<ScriptStep> steps;
  std::string error;
  ASSERT_TRUE(zvt::runner::parseScript("tap \"按钮\"\ntap 160,120\ntype \"138\"\npress delete\nwait 1\n"
                                       "shot ok.png\nexpect \"13\"\ntap \"按钮\"\nexpect \"没有的\"\ntap \"按钮\"\n",
                                       steps, &error));
  std::vector<std::string> said;
  zvt::runner::ScriptRun run;
  run.name = "test.txt";
  run.picturesFolder = folder;
  run.virtualClock = true;
  run.textWait = 0;
  run.say = [&](const std::string& line) { said.push_back(line); };
  auto outcome = zvt::runner::runScript(steps, run);
  EXPECT_FALSE(outcome.passed);
  EXPECT_EQ(outcome.message, "test.txt:9: expected \"没有的\" is not on the screen");
  EXPECT_EQ(target->taps, 2) << "the run stopped before the last tap";
  EXPECT_EQ(field->text()->utf8(), "13");
  ASSERT_EQ(outcome.pictures.size(), 2u);
  EXPECT_EQ(outcome.pictures[0], folder + "/ok.png");
  EXPECT_EQ(outcome.pictures[1], folder + "/failed-line9.png");
  for (const auto& path : outcome.pictures) {
    auto image = UIImage::imageWithContentsOfFile(NSString::stringWithUTF8String(path.c_str()));
    ASSERT_TRUE(image) << path;
    EXPECT_EQ(image->CGImage()->width(), 640u);
  }
  bool listed = false;
  for (const auto& line : said) listed = listed || (line.find("visible: ") == 0 && line.find("按钮") != std::string::npos);
  EXPECT_TRUE(listed) << "a failure lists what the screen shows";

  // A tap on a text nobody shows stops the run too.
  ASSERT_TRUE(zvt::runner::parseScript("tap \"无\"", steps, &error));
  outcome = zvt::runner::runScript(steps, run);
  EXPECT_EQ(outcome.message, "test.txt:1: nothing visible shows \"无\" to tap");
  window->setHidden(true);
  zvt::ui::Device::useScreen(zvt::ui::kScreen375x667);
}

namespace {

// Takes the cover away when the reply lands, as a screen hides its loading overlay.
class CoverLift : public NSURLConnectionDelegate {
 public:
  std::shared_ptr<UIView> cover;
  void connectionDidFinishLoading(const Connection&) override { cover->removeFromSuperview(); }
};

}  // namespace

// `tap "text"` takes the view a person means: the button rather than a title reading the same,
// a part of a text when nothing shows the whole; a text under a cover waits for it to go (on the
// real clock, while a reply is on its way), and stops the run when it stays.
TEST(RunnerScript, ATapTakesWhatAPersonMeansAndWaitsForACoverToGo) {
  zvt::test::TempHome home;
  zvt::test::TestHTTPServer server;
  server.route("/late", [](const zvt::test::HTTPRequest&, zvt::test::HTTPResponder& reply) {
    reply.pause(0.3);
    reply.send(200, "page");
  });
  zvt::ui::Device::useScreen(zvt::ui::kScreen320x480);
  auto window = UIWindow::make();
  window->setBackgroundColor(UIColor::whiteColor());
  auto sign = std::make_shared<Tapped>(), more = std::make_shared<Tapped>(), ok = std::make_shared<Tapped>();
  auto button = [&](const char* title, CGFloat y, const std::shared_ptr<Tapped>& target) {
    auto b = UIButton::buttonWithType(UIButtonTypeSystem);
    b->setFrame(CGRectMake(0, y, 320, 44));
    b->setTitle(NSString::stringWithUTF8String(title), UIControlStateNormal);
    b->addTarget(target, SEL(&Tapped::tapped), UIControlEventTouchUpInside);
    window->addSubview(b);
  };
  button("签到", 300, sign);
  button("点击加载更多", 350, more);
  button("确定", 400, ok);
  auto title = UILabel::initWithFrame(CGRectMake(0, 20, 320, 44));
  title->setText("签到"_ns);
  window->addSubview(title);
  auto cover = UIView::initWithFrame(CGRectMake(0, 390, 320, 90));
  window->addSubview(cover);
  window->makeKeyAndVisible();
  zvt::ui::Device::shared().settle();

  zvt::runner::ScriptRun run;
  run.name = "tap.txt";
  run.picturesFolder = home.path();
  std::vector<ScriptStep> steps;
  std::string error;
  ASSERT_TRUE(zvt::runner::parseScript("tap \"签到\"\ntap \"加载更多\"\ntap \"确定\"\n", steps, &error));

  auto lift = std::make_shared<CoverLift>();
  lift->cover = cover;
  auto connection = NSURLConnection::connectionWithRequest(NSURLRequest::requestWithURL(NSURL::URLWithString(server.url("/late"))), lift);
  auto outcome = zvt::runner::runScript(steps, run);
  EXPECT_TRUE(outcome.passed) << outcome.message;
  EXPECT_EQ(sign->taps, 1) << "the button, not the title";
  EXPECT_EQ(more->taps, 1) << "a part of its title";
  EXPECT_EQ(ok->taps, 1) << "once the cover went";

  // A cover that stays.
  window->addSubview(cover);
  zvt::ui::Device::shared().settle();
  run.textWait = 0;
  ASSERT_TRUE(zvt::runner::parseScript("tap \"确定\"", steps, &error));
  outcome = zvt::runner::runScript(steps, run);
  EXPECT_EQ(outcome.message, "tap.txt:1: \"确定\" is covered by the UIView");
  EXPECT_EQ(ok->taps, 1);
  window->setHidden(true);
  zvt::ui::Device::useScreen(zvt::ui::kScreen375x667);
}

namespace {

// The lowest and highest offsets a scroll view went through.
class Extremes : public UIScrollViewDelegate {
 public:
  CGFloat lowest = 0, highest = 0;
  void scrollViewDidScroll(const std::shared_ptr<UIScrollView>& view) override {
    lowest = std::min(lowest, view->contentOffset().y);
    highest = std::max(highest, view->contentOffset().y);
  }
};

}  // namespace

TEST(RunnerScript, SwipesAndPullsMoveTheContentAsAFingerWould) {
  zvt::test::VirtualClockScope clock;
  zvt::ui::Device::useScreen(zvt::ui::kScreen320x480);
  auto window = UIWindow::make();
  auto scroll = UIView::makeView<UIScrollView>(window->bounds());
  scroll->setContentSize(CGSizeMake(320, 4000));
  auto extremes = std::make_shared<Extremes>();
  scroll->setDelegate(extremes);
  window->addSubview(scroll);
  window->makeKeyAndVisible();
  zvt::ui::Device::shared().settle();
  zvt::runner::ScriptRun run;
  run.name = "scroll.txt";
  run.virtualClock = true;
  run.textWait = 0;
  // Each script runs on from where the last one left the content.
  struct Case {
    const char* script;
    std::function<bool(CGFloat offset)> rests;
    std::function<bool(const Extremes&)> went;
    const char* what;
  } cases[] = {
      {"pull down\nwait 2", [](CGFloat y) { return y == 0; }, [](const Extremes& e) { return e.lowest < -40; },
       "a pull shows what lies above the top and springs back"},
      {"swipe up\nwait 5", [](CGFloat y) { return y > 200; }, [](const Extremes&) { return true; },
       "a swipe up shows what lies below"},
      {"swipe left\nwait 1", [](CGFloat y) { return y > 200; }, [](const Extremes&) { return true; },
       "a sideways swipe leaves content that scrolls up and down"},
      {"swipe down\nswipe down\nswipe down\nwait 5", [](CGFloat y) { return y == 0; },
       [](const Extremes&) { return true; }, "swipes down bring the top back"},
  };
  for (const auto& c : cases) {
    std::vector<ScriptStep> steps;
    std::string error;
    ASSERT_TRUE(zvt::runner::parseScript(c.script, steps, &error)) << error;
    extremes->lowest = extremes->highest = scroll->contentOffset().y;
    const CGFloat x = scroll->contentOffset().x;
    EXPECT_TRUE(zvt::runner::runScript(steps, run).passed) << c.what;
    EXPECT_TRUE(c.rests(scroll->contentOffset().y)) << c.what << ": rests at " << scroll->contentOffset().y;
    EXPECT_TRUE(c.went(*extremes)) << c.what << ": went down to " << extremes->lowest;
    EXPECT_EQ(scroll->contentOffset().x, x) << c.what;
  }
  window->setHidden(true);
  zvt::ui::Device::useScreen(zvt::ui::kScreen375x667);
}

namespace {

// A page asked for by a timer within a wait; its reply fades a view out.
class LatePage : public NSURLConnectionDelegate {
 public:
  std::shared_ptr<UIView> view;
  int64_t landedAt = -1;  // virtual nanoseconds
  bool faded = false;
  void connectionDidFinishLoading(const Connection&) override {
    landedAt = Clock::current()->monotonicNanos();
    UIView::animateWithDuration(0.3, [this] { view->setAlpha(0); }, [this](bool finished) { faded = finished; });
  }
};

}  // namespace

TEST(RunnerScript, AWaitOnTheVirtualClockLetsALateReplyLandAndWhatItStartsRunWithinIt) {
  zvt::test::VirtualClockScope clock;
  zvt::test::TestHTTPServer server;
  // The server answers in real time, later than a moment of idleness.
  server.route("/late", [](const zvt::test::HTTPRequest&, zvt::test::HTTPResponder& reply) {
    reply.pause(0.3);
    reply.send(200, "page");
  });
  server.route("/never", [](const zvt::test::HTTPRequest&, zvt::test::HTTPResponder& reply) { reply.stall(); });
  auto window = UIWindow::make();
  window->makeKeyAndVisible();
  zvt::runner::ScriptRun run;
  run.name = "late.txt";
  run.virtualClock = true;
  run.textWait = 5;
  std::vector<ScriptStep> steps;
  std::string error;

  struct Case {
    const char* path;
    double askedAt;  // into the script, on the virtual clock
    const char* script;
    double seconds;
    double textWait;
    bool lands;
    const char* what;
  } cases[] = {
      {"/late", 0.2, "wait 1", 1, 5, true, "asked 0.2 s into the wait, it lands then and its fade ends within the wait"},
      {"/late", 0, "wait 0.5", 0.5, 5, true, "asked as the wait begins, it lands before the clock moves"},
      {"/late", 0.45, "wait 0.5\nwait 0.5", 1, 5, true, "asked near a wait's end, its fade ends in the next one"},
      {"/never", 0.2, "wait 2", 2, 0.2, false, "a server that never answers holds the clock only so long"},
  };
  for (const auto& c : cases) {
    auto page = std::make_shared<LatePage>();
    page->view = UIView::makeView<UIView>(CGRectMake(0, 0, 50, 50));
    window->addSubview(page->view);
    std::shared_ptr<NSURLConnection> connection;
    const int64_t start = clock.clock().monotonicNanos();
    auto timer = NSTimer::scheduledTimerWithTimeInterval(c.askedAt, false, [&](const auto&) {
      connection = NSURLConnection::connectionWithRequest(NSURLRequest::requestWithURL(NSURL::URLWithString(server.url(c.path))), page);
    });
    ASSERT_TRUE(zvt::runner::parseScript(c.script, steps, &error)) << error;
    run.textWait = c.textWait;
    EXPECT_TRUE(zvt::runner::runScript(steps, run).passed) << c.what;
    EXPECT_EQ(clock.clock().monotonicNanos() - start, zvt::secondsToNanos(c.seconds))
        << c.what << ": the wait moved the clock by its seconds";
    ASSERT_TRUE(connection) << c.what;
    if (c.lands) {
      ASSERT_GE(page->landedAt, 0) << c.what << ": landed within the script";
      EXPECT_LE(page->landedAt - start, zvt::secondsToNanos(c.askedAt + 0.05)) << c.what << ": landed when it was asked for, not at the wait's end";
      EXPECT_TRUE(page->faded) << c.what;
      EXPECT_EQ(page->view->alpha(), 0) << c.what;
    } else {
      EXPECT_EQ(page->landedAt, -1) << c.what;
      EXPECT_EQ(zvt::urlConnectionLoadsInFlight(), 1u) << c.what;
      connection->cancel();
    }
    page->view->removeFromSuperview();
  }
  EXPECT_EQ(zvt::urlConnectionLoadsInFlight(), 0u);
  window->setHidden(true);
}

namespace {

// A web view's delegate: refuses one address, notes when a page finished on the virtual clock.
class PageWatch : public UIWebViewDelegate {
 public:
  std::string refused;
  int64_t finishedAt = -1;  // virtual nanoseconds
  bool webViewShouldStartLoadWithRequest(const std::shared_ptr<UIWebView>&, const std::shared_ptr<NSURLRequest>& request,
                                         UIWebViewNavigationType) override {
    return request->URL()->absoluteString()->utf8() != refused;
  }
  void webViewDidFinishLoad(const std::shared_ptr<UIWebView>&) override {
    finishedAt = Clock::current()->monotonicNanos();
  }
};

// A device pixel of a picture file, at a point of the screen (scale 2).
zvt::test::RGBA pictured(const std::string& path, double x, double y) {
  auto image = UIImage::imageWithContentsOfFile(NSString::stringWithUTF8String(path.c_str()));
  if (!image) return {};
  const auto w = static_cast<CGFloat>(image->CGImage()->width()), h = static_cast<CGFloat>(image->CGImage()->height());
  zvt::test::Canvas canvas(w, h);
  image->drawInRect(CGRectMake(0, 0, w, h));
  return canvas.at(static_cast<int>(x * 2), static_cast<int>(y * 2));
}

}  // namespace

TEST(RunnerScript, AWebPageOpenedWithinAWaitOnTheVirtualClockIsPicturedOncePainted) {
  ZVT_REQUIRE_DISPLAY();
  zvt::test::VirtualClockScope clock;
  zvt::test::TempHome home;
  zvt::test::TestHTTPServer server;
  // The page answers in real time, later than a moment of idleness.
  server.route("/late", [](const zvt::test::HTTPRequest&, zvt::test::HTTPResponder& reply) {
    reply.pause(0.3);
    reply.send(200, "<html><body style=\"margin:0;background:#00c000\"></body></html>", "text/html");
  });
  server.route("/refused", [](const zvt::test::HTTPRequest&, zvt::test::HTTPResponder& reply) {
    reply.send(200, "<html><body style=\"background:#c00000\"></body></html>", "text/html");
  });
  server.route("/never", [](const zvt::test::HTTPRequest&, zvt::test::HTTPResponder& reply) { reply.stall(); });
  auto window = UIWindow::make();
  window->setBackgroundColor(UIColor::whiteColor());
  window->makeKeyAndVisible();
  zvt::runner::ScriptRun run;
  run.name = "web.txt";
  run.picturesFolder = home.path();
  run.virtualClock = true;
  std::vector<ScriptStep> steps;
  std::string error;
  ASSERT_TRUE(zvt::runner::parseScript("wait 0.5\nshot web.png", steps, &error)) << error;

  struct Case {
    const char* path;
    double textWait;
    bool painted;
    const char* what;
  } cases[] = {
      {"/late", 20, true, "opened 0.2 s into the wait, the page lands then and the picture shows it"},
      {"/refused", 20, false, "a navigation the delegate refuses holds nothing back"},
      {"/never", 0.5, false, "a page that never comes holds the clock only the text wait"},
  };
  for (const auto& c : cases) {
    auto watch = std::make_shared<PageWatch>();
    watch->refused = server.url("/refused");
    auto web = UIWebView::initWithFrame(CGRectMake(0, 100, 375, 400));
    ASSERT_TRUE(web->hasEngine());
    web->setDelegate(watch);
    window->addSubview(web);
    const int64_t start = clock.clock().monotonicNanos();
    auto timer = NSTimer::scheduledTimerWithTimeInterval(0.2, false, [&](const auto&) {
      web->loadRequest(NSURLRequest::requestWithURL(NSURL::URLWithString(server.url(c.path))));
    });
    run.textWait = c.textWait;
    const auto began = std::chrono::steady_clock::now();
    EXPECT_TRUE(zvt::runner::runScript(steps, run).passed) << c.what;
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    EXPECT_EQ(clock.clock().monotonicNanos() - start, zvt::secondsToNanos(0.5)) << c.what << ": the wait moved the clock by its seconds";
    const auto pixel = pictured(home.path() + "/web.png", 187, 300);
    if (c.painted) {
      ASSERT_GE(watch->finishedAt, 0) << c.what << ": finished within the script";
      EXPECT_LE(watch->finishedAt - start, zvt::secondsToNanos(0.25)) << c.what << ": when it was opened, not at the wait's end";
      EXPECT_EQ(pixel, (zvt::test::RGBA{0, 192, 0, 255})) << c.what;
    } else {
      EXPECT_EQ(watch->finishedAt, -1) << c.what;
      EXPECT_NE(pixel, (zvt::test::RGBA{192, 0, 0, 255})) << c.what;
      // Nothing held it for the text wait (20 s) in real time.
      EXPECT_LT(took, 10) << c.what;
    }
    web->stopLoading();
    web->removeFromSuperview();
  }
  EXPECT_EQ(zvt::web::webViewLoadsInFlight(), 0u);
  window->setHidden(true);
}

namespace {

// The colours of the messages "/message/0" to "/message/2", one each: a picture tells them apart.
const zvt::test::RGBA kPageColours[] = {{0, 192, 0, 255}, {0, 0, 192, 255}, {192, 0, 192, 255}};

// Opens the next message as the site messages do: its content comes from the server, and a new
// screen shows it in a new web view that loads it at once, while the main thread goes on with
// the new screen (here it waits for a slow answer). The engine meanwhile loads the page, and the
// view's first paint brings its pixels in ahead of the news that the page was loaded; a still
// page paints no more.
class PageOpener : public NSObject, public NSURLConnectionDelegate {
 public:
  std::shared_ptr<UIWindow> window;
  zvt::test::TestHTTPServer* server = nullptr;
  std::shared_ptr<NSURLConnection> asking;
  std::string content;
  std::shared_ptr<UIWebView> shown;
  int opened = 0;
  void open() {
    content.clear();
    auto url = NSURL::URLWithString(server->url("/message/" + std::to_string(opened++)));
    asking = NSURLConnection::connectionWithRequest(NSURLRequest::requestWithURL(url),
                                                    std::static_pointer_cast<PageOpener>(shared_from_this()));
  }
  void connectionDidReceiveData(const Connection&, const std::shared_ptr<NSData>& data) override { content += data->view(); }
  void connectionDidFinishLoading(const Connection&) override {
    if (shown) shown->removeFromSuperview();
    shown = UIWebView::initWithFrame(CGRectMake(0, 100, 375, 400));
    window->addSubview(shown);
    shown->loadHTMLString(NSString::stringWithUTF8String(content), nullptr);
    NSURLConnection::sendSynchronousRequest(NSURLRequest::requestWithURL(NSURL::URLWithString(server->url("/slow"))), nullptr,
                                            nullptr);
  }
};

}  // namespace

// Site messages opened one after another: each page lands well within its wait and is pictured,
// and no step waits on it once it is drawn (a page counted on its way until the text wait ran
// out cost every later tap, wait and picture 10 s of real time).
TEST(RunnerScript, WebPagesOpenedInTurnAreNoLongerOnTheirWayOnceDrawn) {
  ZVT_REQUIRE_DISPLAY();
  zvt::test::VirtualClockScope clock;
  zvt::test::TempHome home;
  zvt::test::TestHTTPServer server;
  server.route("/slow", [](const zvt::test::HTTPRequest&, zvt::test::HTTPResponder& reply) {
    reply.pause(0.2);
    reply.send(200, "");
  });
  server.fallback([](const zvt::test::HTTPRequest& request, zvt::test::HTTPResponder& reply) {
    const auto& c = kPageColours[(request.path.back() - '0') % std::size(kPageColours)];
    char colour[8];
    snprintf(colour, sizeof colour, "%02x%02x%02x", c.r, c.g, c.b);
    reply.send(200, std::string("<body style=\"margin:0;background:#") + colour + "\"><p>消息</p></body>", "text/html");
  });
  auto window = UIWindow::make();
  window->setBackgroundColor(UIColor::whiteColor());
  auto opener = std::make_shared<PageOpener>();
  opener->window = window;
  opener->server = &server;
  auto button = UIButton::buttonWithType(UIButtonTypeSystem);
  button->setFrame(CGRectMake(0, 40, 375, 44));
  button->setTitle("打开"_ns, UIControlStateNormal);
  button->addTarget(opener, SEL(&PageOpener::open), UIControlEventTouchUpInside);
  window->addSubview(button);
  window->makeKeyAndVisible();
  zvt::runner::ScriptRun run;
  run.name = "messages.txt";
  run.picturesFolder = home.path();
  run.virtualClock = true;
  for (size_t page = 0; page < std::size(kPageColours); ++page) {
    const std::string picture = "page" + std::to_string(page) + ".png";
    std::vector<ScriptStep> steps;
    std::string error;
    ASSERT_TRUE(zvt::runner::parseScript("tap \"打开\"\nwait 1\nshot " + picture, steps, &error)) << error;
    const auto began = std::chrono::steady_clock::now();
    EXPECT_TRUE(zvt::runner::runScript(steps, run).passed) << "page " << page;
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    EXPECT_EQ(pictured(home.path() + "/" + picture, 187, 300), kPageColours[page]) << "page " << page;
    ASSERT_EQ(zvt::web::webViewLoadsInFlight(), 0u) << "page " << page << " drawn, yet still counted on its way";
    ASSERT_LT(took, run.textWait) << "page " << page << ": its steps waited on it until the text wait ran out";
  }
  opener->shown->removeFromSuperview();
  window->setHidden(true);
}
