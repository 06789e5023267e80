// The review prompt as a person meets it, on the virtual clock: when it shows, what each answer
// stores, and that an answer of "鼓励一下" ends it for good. Also the notification sound.

#include <gtest/gtest.h>

#include "app/core/AppDelegate.h"
#include "app/core/Configuration.h"
#include "app/utilities/ZVTPublicTools.h"
#include "platform/foundation/Foundation.h"
#include "platform/foundation/NSBundle.h"
#include "platform/uikit/AudioServices.h"
#include "platform/uikit/Device.h"
#include "platform/uikit/internal/AlertPresentation.h"
#include "tests/support/MainLoop.h"
#include "tests/support/TempHome.h"
#include "tests/support/ui/ScreenPictures.h"

namespace {

using zvt::ui::Device;

class ReviewPromptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AppDelegate::setShared(nullptr);
    window = UIWindow::initWithFrame(UIScreen::mainScreen()->bounds());
    window->makeKeyAndVisible();
  }
  void TearDown() override {
    pictures.writeIfFailed();
    window->setHidden(true);
    Device::shared().wait(1);
    AppDelegate::setShared(nullptr);
  }
  // The server's settings, as the home screen stores them.
  static void settings(const char* open, const char* days, const char* tips = "喜欢就给个好评吧") {
    auto dic = NSMutableDictionary::dictionary();
    dic->setObject(NSString::stringWithUTF8String(open), "open"_ns);
    if (days) dic->setObject(NSString::stringWithUTF8String(days), "timeInterval"_ns);
    if (tips) dic->setObject(NSString::stringWithUTF8String(tips), "tips"_ns);
    AppDelegate::shared()->setEvaluateDic(dic);
  }
  // Asks for the prompt; answers whether it showed (with that text).
  static bool prompt(const char* text = "喜欢就给个好评吧") {
    ZVTPublicTools::gotoComment();
    Device::shared().wait(0.5);
    return static_cast<bool>(Device::shared().viewWithText(text));
  }
  static void answer(const char* button) {
    ASSERT_TRUE(Device::shared().tapText(button));
    Device::shared().wait(0.5);
    EXPECT_EQ(zvt::ui::AlertPresenter::shared().count(), 0u);
  }

  zvt::test::TempHome home;
  zvt::test::VirtualClockScope clock;
  std::shared_ptr<UIWindow> window;
  zvt::test::PicturesOnFailure pictures;
};

TEST_F(ReviewPromptTest, ShowsWhenDueAndStopsOnceEncouraged) {
  auto defaults = NSUserDefaults::standardUserDefaults();
  settings("0", "7");
  EXPECT_FALSE(prompt()) << "not open";

  settings("1", "7");
  ASSERT_TRUE(prompt()) << "first use";
  EXPECT_TRUE(Device::shared().viewWithText("下次吧") && Device::shared().viewWithText("鼓励一下"));
  answer("下次吧");
  EXPECT_FALSE(AppDelegate::shared()->evaluateDic()) << "the settings are spent for this run";
  EXPECT_EQ(defaults->stringForKey("saveDate"_ns)->utf8(), "7");

  settings("1", "7");
  EXPECT_FALSE(prompt()) << "the same setting, before its date";
  clock.advanceBy(6 * 86400.0);
  settings("1", "7");
  EXPECT_FALSE(prompt()) << "six days later";
  clock.advanceBy(86400.0);
  settings("1", "7");
  ASSERT_TRUE(prompt()) << "seven days later";
  answer("下次吧");

  settings("1", "3", nullptr);
  ASSERT_TRUE(prompt("(●'◡'●)ﾉ♥给个好评吧")) << "a new setting shows at once, with the default text";
  answer("鼓励一下");
  auto opened = UIApplication::sharedApplication()->openedURLs();
  ASSERT_FALSE(opened.empty());
  EXPECT_EQ(opened.back()->absoluteString()->utf8(),
            "itms-apps://itunes.apple.com/WebObjects/MZStore.woa/wa/viewContentsUserReviews?type=Purple+Software&id=" +
                zvt::Configuration::values().appStoreIdentifier);
  EXPECT_TRUE(defaults->boolForKey("isHaveEvaluated"_ns));

  for (const char* days : {"3", "30"}) {
    clock.advanceBy(31 * 86400.0);
    settings("1", days);
    EXPECT_FALSE(prompt()) << "never again after 鼓励一下";
  }
}

TEST(PlaySound, PlaysTheBundlesSoundOrVibratesWithoutIt) {
  auto sounds = std::make_shared<zvt::audio::RecordingSoundOutput>();
  zvt::audio::setSoundOutput(sounds);
  {
    zvt::test::TempBundle bundle;
    bundle.writeFile("sound.wav", "RIFF");
    ZVTPublicTools::playSound();
  }
  {
    zvt::test::TempBundle bundle;
    ZVTPublicTools::playSound();
  }
  auto events = sounds->events();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].rfind("play ", 0), 0u);
  EXPECT_NE(events[0].find("sound.wav"), std::string::npos);
  EXPECT_EQ(events[1], "vibrate");
  zvt::audio::setSoundOutput(nullptr);
}

}  // namespace
