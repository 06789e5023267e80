// The runner as a person starts it: headless scripts against the local service (pictures that
// show the screens visited, a failing expectation that ends the run with a picture), refused
// input, and the desktop window under Xvfb clicked and scrolled through the X server.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>

#include "platform/graphics/UIImage.h"
#include "tests/app/runner/ChildProcess.h"
#include "tests/app/runner/Xvfb.h"
#include "tests/platform/graphics/Canvas.h"
#include "tests/support/ServiceProcess.h"
#include "tests/support/TempHome.h"
#include "tests/support/ui/ScreenPictures.h"

using zvt::test::ChildProcess;
using zvt::test::findWindow;
using zvt::test::pixelOnScreen;
using zvt::test::RGBA;
using zvt::test::Xvfb;

namespace {

const std::string kRunner = ZVT_RUNNER_PATH;

std::string writeScript(const zvt::test::TempHome& home, const std::string& text) {
  std::string path = home.pathFor("script.txt");
  std::ofstream(path) << text;
  return path;
}

std::vector<std::string> environment(const zvt::test::TempHome& home) {
  return {"ZVT_HOME=" + home.path(), "ASAN_OPTIONS=detect_leaks=0", "TZ=UTC"};
}

// The service beside the runner, in its zone, as run.sh starts both on one machine.
zvt::test::ServiceProcess::Options besideTheRunner() { return {.environment = {"TZ=UTC"}}; }

// The preferences of a start after the first: the home screen's guide was seen.
void guideSeen(const zvt::test::TempHome& home) {
  std::filesystem::create_directories(home.pathFor("Library/Preferences"));
  std::ofstream(home.pathFor("Library/Preferences/com.zavelto.app.plist"))
      << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
         "<key>isBeforeEnter</key>\n<true/>\n</dict>\n</plist>\n";
}

// Device pixels of a picture file, whatever layout it decodes to.
struct PictureFile {
  explicit PictureFile(const std::string& path)
      : image(UIImage::imageWithContentsOfFile(NSString::stringWithUTF8String(path.c_str()))) {
    if (!image) return;
    const int w = static_cast<int>(image->CGImage()->width()), h = static_cast<int>(image->CGImage()->height());
    canvas = std::make_unique<zvt::test::Canvas>(w, h);
    image->drawInRect(CGRectMake(0, 0, w, h));
  }
  // At a point of the screen (scale 2).
  RGBA at(double x, double y) const { return canvas->at(static_cast<int>(x * 2), static_cast<int>(y * 2)); }
  std::shared_ptr<UIImage> image;
  std::unique_ptr<zvt::test::Canvas> canvas;
};

// The tab titles' colours: orange when selected.
bool orange(const RGBA& c) { return c.r > 230 && c.g > 80 && c.g < 140 && c.b < 80; }

}  // namespace

TEST(RunnerProcess, AHeadlessTourTapsThroughTwoScreensAndTheirPicturesShowThem) {
  zvt::test::ServiceProcess service(besideTheRunner());
  zvt::test::TempHome home;
  const std::string pictures = home.pathFor("pictures");
  // A first start: the guide's three swipes and its start button (the middle of the screen,
  // 0.85 of its height down), then the home screen with its configured header.
  auto script = writeScript(home,
                            "swipe left\nwait 0.5\nswipe left\nwait 0.5\nswipe left\nwait 0.5\ntap 187,567\nwait 1\n"
                            "expect \"逛逛\"\n"
                            "shot home.png\n"
                            "tap \"超精选\"\n"
                            "wait 0.5\n"
                            "shot second.png\n"
                            "expect \"母婴\"\n");
  ChildProcess runner({kRunner, "--headless", "--fast", "--report", "--script", script, "--pictures", pictures,
                       "--server-root", service.rootURL()},
                      environment(home));
  ASSERT_TRUE(runner.started());
  EXPECT_EQ(runner.finish(120), 0);
  bool sawHome = false, sawSecond = false;
  for (const auto& line : runner.lines()) {
    sawHome = sawHome || (line.find("screen: ") == 0 && line.find("逛逛") != std::string::npos);
    sawSecond = sawSecond || (line.find("screen: ") == 0 && line.find("母婴") != std::string::npos);
  }
  EXPECT_TRUE(sawHome) << "the shell shows the home tab";
  EXPECT_TRUE(sawSecond);

  PictureFile home1(pictures + "/home.png"), second(pictures + "/second.png");
  ASSERT_TRUE(home1.image && second.image);
  EXPECT_EQ(home1.image->CGImage()->width(), 750u);
  EXPECT_EQ(home1.image->CGImage()->height(), 1334u);
  // The title bar in the theme colour, the first tab selected; then the second tab selected.
  EXPECT_EQ(home1.at(5, 40), (RGBA{255, 85, 20, 255}));
  EXPECT_TRUE(orange(home1.at(37.5, 635))) << home1.at(37.5, 635);
  EXPECT_FALSE(orange(second.at(37.5, 635))) << second.at(37.5, 635);
  EXPECT_TRUE(orange(second.at(112.5, 635))) << second.at(112.5, 635);
  EXPECT_EQ(home1.at(20, 382), (RGBA{242, 242, 242, 255})) << "the screens' background (between the header's blocks)";
  EXPECT_EQ(second.at(3, 200), (RGBA{242, 242, 242, 255})) << "beside the store's grid";
}

// The colours of a 375 x 667 picture, sampled every 5 points across and 7 down.
static size_t colourCount(const PictureFile& picture) {
  std::set<uint32_t> colours;
  for (double y = 0; y < 667; y += 7)
    for (double x = 0; x < 375; x += 5) {
      RGBA c = picture.at(x, y);
      colours.insert(uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b);
    }
  return colours.size();
}

TEST(RunnerProcess, TheTourOfTheRunScriptShowsEveryTabOnAScreenThatIsNotEmpty) {
  zvt::test::ServiceProcess service(besideTheRunner());
  zvt::test::TempHome home;
  const std::string pictures = home.pathFor("pictures");
  ChildProcess runner({kRunner, "--headless", "--fast", "--script", ZVT_TOUR_PATH, "--pictures", pictures,
                       "--server-root", service.rootURL()},
                      environment(home));
  EXPECT_EQ(runner.finish(120), 0);
  int said = 0;
  for (const auto& line : runner.lines()) said += line.find("picture: " + pictures) == 0;
  EXPECT_EQ(said, 14) << "the guide twice, the home screen twice, the other four tabs and the malls' guide, logged in, "
                          "the withdrawal form, the income list, the invitations and the site messages";
  // The tour's pictures stay with the test run's pictures ("tour/"), to be looked at.
  const std::string kept = zvt::test::picturesFolder() + "/tour";
  std::filesystem::create_directories(kept);
  // The guide's last page has come to rest: its own colour up to the left edge, nothing of the
  // page before it.
  PictureFile guideLast(pictures + "/0-guide-last.png");
  ASSERT_TRUE(guideLast.image);
  std::filesystem::copy_file(pictures + "/0-guide-last.png", kept + "/0-guide-last.png",
                             std::filesystem::copy_options::overwrite_existing);
  EXPECT_EQ(guideLast.canvas->at(0, 600), guideLast.at(20, 300));
  for (const char* name : {"1-home.png", "1-home-products.png", "2-selected.png", "3-taobao.png", "4-malls-guide.png",
                           "4-malls.png", "5-mine.png", "6-mine-logged-in.png"}) {
    PictureFile picture(pictures + "/" + name);
    ASSERT_TRUE(picture.image) << name;
    std::filesystem::copy_file(pictures + "/" + name, kept + "/" + name, std::filesystem::copy_options::overwrite_existing);
    // Not empty: the title bar, the content and the tab bar differ, and the content holds
    // more than its background.
    EXPECT_GT(colourCount(picture), 8u) << name;
    EXPECT_NE(picture.at(5, 40), picture.at(5, 300)) << name;
    bool contentDiffers = false;  // somewhere down the left edge the content is not the tab bar
    for (double y = 70; y < 610; y += 10) contentDiffers = contentDiffers || picture.at(5, y) != picture.at(5, 660);
    EXPECT_TRUE(contentDiffers) << name;
  }
  // The pushed screens: no tab bar, content of more than a few colours.
  for (const char* name : {"7-withdraw.png", "8-income.png", "9-invite.png", "10-messages.png"}) {
    PictureFile picture(pictures + "/" + name);
    ASSERT_TRUE(picture.image) << name;
    std::filesystem::copy_file(pictures + "/" + name, kept + "/" + name, std::filesystem::copy_options::overwrite_existing);
    EXPECT_GT(colourCount(picture), 8u) << name;
  }
  // The lists' pull-to-refresh headers, open while their first page loads, have closed: the
  // first row's white card lies right under the bar.
  for (const char* name : {"8-income.png", "10-messages.png"}) {
    PictureFile picture(pictures + "/" + name);
    ASSERT_TRUE(picture.image) << name;
    EXPECT_EQ(picture.at(20, 95), (RGBA{255, 255, 255, 255})) << name;
  }
}

TEST(RunnerProcess, AHeadlessRunWithoutADisplayPicturesTheWebPagesItOpens) {
  zvt::test::ServiceProcess service(besideTheRunner());
  zvt::test::TempHome home;
  const std::string pictures = home.pathFor("pictures");
  guideSeen(home);
  // A product of the home screen's grid, then the demo user's rebate coupons from the personal
  // centre: both are web pages.
  auto script = writeScript(home,
                            "expect \"逛逛\"\nswipe up\nwait 1\nexpect \"￥\"\ntap 90,400\nwait 1\nexpect \"商品详情\"\n"
                            "shot product.png\ntap 20,42\nwait 1\ntap \"我的\"\nwait 0.5\ntap \"登录\"\nwait 1\n"
                            "tap 200,99\ntype \"zvttest\"\ntap 200,150\ntype \"zvt123456\"\ntap \"登 录\"\nwait 2\n"
                            "tap \"回扣券\"\nwait 1\nshot coupon.png\n");
  auto env = environment(home);
  env.push_back("DISPLAY=");
  env.push_back("WAYLAND_DISPLAY=");
  ChildProcess runner({kRunner, "--headless", "--fast", "--script", script, "--pictures", pictures, "--server-root",
                       service.rootURL()},
                      env, home.pathFor("stderr.txt"));
  ASSERT_TRUE(runner.started());
  EXPECT_EQ(runner.finish(120), 0);
  const std::string kept = zvt::test::picturesFolder() + "/headless-web";
  std::filesystem::create_directories(kept);
  for (const char* name : {"product.png", "coupon.png"}) {
    PictureFile picture(pictures + "/" + name);
    ASSERT_TRUE(picture.image) << name;
    std::filesystem::copy_file(pictures + "/" + name, kept + "/" + name, std::filesystem::copy_options::overwrite_existing);
    // The web view's own area, below the bar and above the product page's login strip: the
    // page's colours, text and pictures, not one flat colour.
    std::set<uint32_t> colours;
    for (double y = 70; y < 610; y += 7)
      for (double x = 0; x < 375; x += 5) {
        RGBA c = picture.at(x, y);
        colours.insert(uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b);
      }
    EXPECT_GT(colours.size(), 8u) << name;
  }
}

TEST(RunnerProcess, AFailedExpectationEndsTheRunWithAPicture) {
  zvt::test::TempHome home;
  const std::string pictures = home.pathFor("pictures");
  guideSeen(home);
  auto script = writeScript(home, "wait 0.2\n# not there\nexpect \"我的订单列表\"\nshot never.png\n");
  ChildProcess runner({kRunner, "--headless", "--fast", "--text-wait", "0.5", "--script", script, "--pictures",
                       pictures, "--server-root", "http://127.0.0.1:9"},
                      environment(home));
  EXPECT_EQ(runner.finish(60), 1);
  const std::string message = script + ":3: expected \"我的订单列表\" is not on the screen";
  bool said = false;
  for (const auto& line : runner.lines()) said = said || line == message;
  EXPECT_TRUE(said);
  PictureFile failed(pictures + "/failed-line3.png");
  ASSERT_TRUE(failed.image);
  EXPECT_EQ(failed.at(5, 40), (RGBA{255, 85, 20, 255})) << "the screen as it was";
  EXPECT_FALSE(PictureFile(pictures + "/never.png").image);
}

TEST(RunnerProcess, TheChosenPhoneSetsThePicturesSizeAndScale) {
  zvt::test::TempHome home;
  struct Case {
    std::vector<std::string> arguments, environment;
    size_t width, height;
  } cases[] = {
      {{}, {}, 750, 1334},
      {{"--screen", "414x736@3"}, {}, 1242, 2208},
      {{}, {"ZVT_SCREEN=320x568"}, 640, 1136},
      {{"--screen", "320x480@3"}, {"ZVT_SCREEN=414x736"}, 960, 1440},
  };
  guideSeen(home);
  for (const auto& c : cases) {
    const std::string pictures = home.pathFor("pictures");
    std::vector<std::string> arguments{kRunner, "--headless", "--fast", "--script", writeScript(home, "shot s.png\n"),
                                       "--pictures", pictures, "--server-root", "http://127.0.0.1:9"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    auto env = environment(home);
    env.insert(env.end(), c.environment.begin(), c.environment.end());
    ChildProcess runner(arguments, env);
    EXPECT_EQ(runner.finish(60), 0);
    PictureFile picture(pictures + "/s.png");
    ASSERT_TRUE(picture.image) << c.width;
    EXPECT_EQ(picture.image->CGImage()->width(), c.width);
    EXPECT_EQ(picture.image->CGImage()->height(), c.height);
    // The title bar spans the width the phone has.
    const auto& canvas = *picture.canvas;
    EXPECT_EQ(canvas.at(static_cast<int>(c.width) - 2, static_cast<int>(c.height) / 20), (RGBA{255, 85, 20, 255}));
    std::remove((pictures + "/s.png").c_str());
  }
}

TEST(RunnerProcess, AHeadlessRunWaitsInRealTimeUnlessFastAndEndsWhenInterrupted) {
  zvt::test::TempHome home;
  struct Case {
    bool fast;
    const char* script;
    double atLeast, below;  // real seconds from the first screen to the end
  } cases[] = {
      {false, "wait 1.5\nshot s.png\n", 1.5, 60},
      {true, "wait 900\nshot s.png\n", 0, 30},
  };
  for (const auto& c : cases) {
    std::vector<std::string> arguments{kRunner, "--headless", "--report", "--script", writeScript(home, c.script),
                                       "--pictures", home.pathFor("pictures"), "--server-root", "http://127.0.0.1:9"};
    if (c.fast) arguments.push_back("--fast");
    ChildProcess runner(arguments, environment(home));
    ASSERT_TRUE(runner.waitForLine("shown", 60)) << c.script;
    const auto shown = std::chrono::steady_clock::now();
    EXPECT_EQ(runner.finish(120), 0) << c.script;
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - shown).count();
    EXPECT_GE(took, c.atLeast) << c.script;
    EXPECT_LT(took, c.below) << c.script;
  }
  // Interrupted while it waits: the run ends at once with 130 and says so.
  for (int signal : {SIGINT, SIGTERM}) {
    ChildProcess runner({kRunner, "--headless", "--report", "--script", writeScript(home, "wait 600\n"),
                         "--server-root", "http://127.0.0.1:9"},
                        environment(home));
    ASSERT_TRUE(runner.waitForLine("shown", 60));
    kill(runner.pid(), signal);
    EXPECT_EQ(runner.finish(30), 130) << signal;
    EXPECT_EQ(std::count(runner.lines().begin(), runner.lines().end(), std::string("interrupted")), 1) << signal;
  }
}

TEST(RunnerProcess, InputItCannotUseIsRefusedWithStatusTwo) {
  zvt::test::TempHome home;
  struct Case {
    std::vector<std::string> arguments;
    std::string script;
    const char* says;
  } cases[] = {
      {{"--headless", "--script"}, "", "--script needs a file"},
      {{"--headless", "--screen", "300x300"}, "wait 1", "unknown screen"},
      {{"--headless"}, "wait one", "line 1: wait takes seconds"},
      {{"--headless", "--script", "/nonexistent/tour.txt"}, "", "cannot read"},
      {{"--window", "--fast"}, "", "--fast runs headless only"},
      {{"--headless", "--text-wait", "-1"}, "wait 1", "--text-wait needs seconds (0 to 600)"},
      {{"--headless", "--request-timeout", "soon"}, "wait 1", ""},
  };
  for (const auto& c : cases) {
    std::vector<std::string> arguments{kRunner};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    if (!c.script.empty()) {
      arguments.push_back("--script");
      arguments.push_back(writeScript(home, c.script));
    }
    const std::string errors = home.pathFor("stderr.txt");
    ChildProcess runner(arguments, environment(home), errors);
    EXPECT_EQ(runner.finish(30), 2) << c.arguments[0] << " " << c.says;
    std::ifstream in(errors);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find(c.says), std::string::npos) << text;
  }
}

TEST(RunnerProcess, TheRunScriptStartsTheExecutablesWhereTheBuildPutsThem) {
  // run.sh starts build/release/<path>; every build tree lays the targets out alike.
  const std::string root = std::string(ZVT_BUILD_ROOT) + "/";
  std::map<std::string, std::string> built{{"app", kRunner}, {"service", ZVT_SERVICE_PATH}};
  std::ifstream script(ZVT_RUN_SCRIPT);
  std::map<std::string, std::string> named;
  for (std::string line; std::getline(script, line);)
    for (const auto& [name, path] : built)
      if (line.rfind(name + "=build/release/", 0) == 0) named[name] = line.substr(name.size() + 15);
  for (const auto& [name, path] : built) {
    ASSERT_EQ(path.rfind(root, 0), 0u) << path;
    EXPECT_EQ(named[name], path.substr(root.size())) << "run.sh's " << name;
  }
}

TEST(RunnerProcess, TheWindowShowsTheScreenAClickSwitchesTheTabAndItClosesCleanly) {
  Xvfb xvfb;
  if (xvfb.display().empty()) GTEST_SKIP() << "Xvfb cannot start here (install the Debian package xvfb)";
  zvt::test::TempHome home;
  guideSeen(home);
  auto env = environment(home);
  env.push_back("DISPLAY=" + xvfb.display());
  env.push_back("GDK_BACKEND=x11");
  env.push_back("NO_AT_BRIDGE=1");
  ChildProcess runner({kRunner, "--window", "--report", "--server-root", "http://127.0.0.1:9"}, env,
                      home.pathFor("stderr.txt"));
  ASSERT_TRUE(runner.waitForLine("shown", 60)) << "the window's first frame";
  ASSERT_TRUE(runner.waitForLine("screen: ", 30));

  Display* display = xvfb.connection();
  Window window = findWindow(display, DefaultRootWindow(display), "Zavelto");
  ASSERT_TRUE(window) << "a top-level window titled Zavelto";
  int x = 0, y = 0;
  Window child;
  XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
  XWindowAttributes attributes;
  XGetWindowAttributes(display, window, &attributes);
  EXPECT_EQ(attributes.width, 375);
  EXPECT_EQ(attributes.height, 667);
  // The first tab's glyph is orange, the second's grey (the glyphs sit 5 to 27 points into the
  // tab bar).
  EXPECT_TRUE(orange(pixelOnScreen(display, x + 37, y + 618 + 16))) << pixelOnScreen(display, x + 37, y + 634);
  EXPECT_FALSE(orange(pixelOnScreen(display, x + 112, y + 618 + 16)));

  // A click on the second tab, through the X server.
  XTestFakeMotionEvent(display, -1, x + 112, y + 640, 0);
  XTestFakeButtonEvent(display, 1, True, 0);
  XTestFakeButtonEvent(display, 1, False, 0);
  XFlush(display);
  EXPECT_TRUE(runner.waitForLine("母婴", 30)) << "the second tab's screen (the store's category strip)";
  bool switched = false;
  for (int i = 0; i < 10 && !switched; ++i) {
    XSync(display, False);
    switched = orange(pixelOnScreen(display, x + 112, y + 634));
    if (!switched && !runner.waitForLine("painted", 10)) break;
  }
  EXPECT_TRUE(switched) << "the window shows the second tab selected";

  // The close button's message: the application terminates and the run ends with 0.
  XEvent close{};
  close.xclient.type = ClientMessage;
  close.xclient.window = window;
  close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  close.xclient.format = 32;
  close.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  close.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &close);
  XFlush(display);
  EXPECT_EQ(runner.finish(30), 0);
}

TEST(RunnerProcess, TheWindowShowsTheHomeScreenPopulatedByTheService) {
  Xvfb xvfb;
  if (xvfb.display().empty()) GTEST_SKIP() << "Xvfb cannot start here (install the Debian package xvfb)";
  zvt::test::ServiceProcess service(besideTheRunner());
  zvt::test::TempHome home;
  guideSeen(home);
  auto env = environment(home);
  env.push_back("DISPLAY=" + xvfb.display());
  env.push_back("GDK_BACKEND=x11");
  env.push_back("NO_AT_BRIDGE=1");
  ChildProcess runner({kRunner, "--window", "--report", "--server-root", service.rootURL()}, env,
                      home.pathFor("stderr.txt"));
  ASSERT_TRUE(runner.waitForLine("shown", 60)) << "the window's first frame";
  // The configured header: its categories come only from the service on a first start's cache.
  ASSERT_TRUE(runner.waitForLine("逛逛", 30)) << "the header of the service's configuration";

  Display* display = xvfb.connection();
  Window window = findWindow(display, DefaultRootWindow(display), "Zavelto");
  ASSERT_TRUE(window);
  int x = 0, y = 0;
  Window child;
  XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
  // The wheel turned down over the grid until the products under the header show their prices.
  bool prices = false;
  for (int notch = 0; notch < 40 && !prices; notch += 4) {
    XTestFakeMotionEvent(display, -1, x + 187, y + 400, 0);
    for (int i = 0; i < 4; ++i) {
      XTestFakeButtonEvent(display, 5, True, 0);
      XTestFakeButtonEvent(display, 5, False, 0);
    }
    XFlush(display);
    prices = runner.waitForLine("￥", 3).has_value();
  }
  EXPECT_TRUE(prices) << "the first page's products in the window; last lines:\n" << [&] {
    std::string out;
    const auto& lines = runner.lines();
    for (size_t i = lines.size() > 8 ? lines.size() - 8 : 0; i < lines.size(); ++i) out += lines[i].substr(0, 300) + "\n";
    return out;
  }();
  // In the window's pixels: the theme-coloured bar, and below it the grid's white cells on the
  // screens' grey (not a window left grey or black).
  XSync(display, False);
  runner.waitForLine("painted", 5);
  XSync(display, False);
  EXPECT_EQ(pixelOnScreen(display, x + 5, y + 40), (RGBA{255, 85, 20, 255}));
  std::set<uint32_t> colours;
  for (int py = 70; py < 610; py += 6)
    for (int px = 0; px < 375; px += 5) {
      RGBA c = pixelOnScreen(display, x + px, y + py);
      colours.insert(uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b);
    }
  EXPECT_TRUE(colours.count(0xF2F2F2) && colours.count(0xFFFFFF)) << colours.size();
  EXPECT_GT(colours.size(), 20u) << "pictures and text, not flat colour";

  XEvent close{};
  close.xclient.type = ClientMessage;
  close.xclient.window = window;
  close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  close.xclient.format = 32;
  close.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  close.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, window, False, NoEventMask, &close);
  XFlush(display);
  EXPECT_EQ(runner.finish(30), 0);
}
