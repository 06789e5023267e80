// "个人信息" through the device, against the local service: the rows of the demo accounts with
// their masks, the rows of scripted records (short texts, numbers, nulls, a refresh that leaves
// a field out), the phone row by registration mode, and the avatar's road from the action sheet
// through the picker to the upload, the refresh and the new picture.

#include <openssl/evp.h>

#include <filesystem>
#include <fstream>

#include "app/screens/account/TZPersonalViewController.h"
#include "platform/network/NSURLConnection.h"
#include "platform/uikit/UIImagePickerController.h"
#include "tests/app/screens/account/PersonalTestSupport.h"
#include "tests/support/ImageFixtures.h"
#include "ui/hud/POProgressHUD.h"

namespace {

using zvt::test::PersonalScreenTest;

std::string md5Hex(const std::vector<uint8_t>& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr);
  static const char* hex = "0123456789abcdef";
  std::string out;
  for (unsigned int i = 0; i < length; ++i) {
    out += hex[digest[i] >> 4];
    out += hex[digest[i] & 15];
  }
  return out;
}

class PersonalInfoTest : public PersonalScreenTest {
 protected:
  // The row whose title is `title`.
  static std::shared_ptr<UITableViewCell> row(const std::shared_ptr<TZPersonalViewController>& screen, const std::string& title) {
    for (const auto& cell : screen->tableView()->visibleCells())
      if (cell->textLabel()->text() && cell->textLabel()->text()->utf8() == title) return cell;
    return nullptr;
  }
  static std::string detail(const std::shared_ptr<TZPersonalViewController>& screen, const std::string& title) {
    auto cell = row(screen, title);
    auto text = cell ? cell->detailTextLabel()->text() : nullptr;
    return text ? text->utf8() : "(none)";
  }
  static bool orange(const std::shared_ptr<TZPersonalViewController>& screen, const std::string& title) {
    auto cell = row(screen, title);
    return cell && cell->detailTextLabel()->textColor()->isEqual(UIColor::colorWithRed(1, 171 / 255.0, 13 / 255.0, 1));
  }
  bool tabBarHidden() const {
    auto bar = delegate_->tabBarController()->tabbarView();
    return bar->isHidden() || bar->frame().origin.y >= 667;
  }
  // Back to the centre, whose refresh is awaited.
  void backToCentre() {
    const int asked = service_->requestCount("userInfo&do=my");
    tapBack();
    settleRefresh(asked);
  }
  // Back to the centre and into the personal information again.
  std::shared_ptr<TZPersonalViewController> reopen(const std::shared_ptr<UserInfoViewController>& centre) {
    backToCentre();
    return openPersonal(centre);
  }
};

TEST_F(PersonalInfoTest, TheDemoUsersRowsAreMaskedAndEveryAppearanceAsksTheService) {
  auto centre = launchAs(zvt::test::kServiceTestUserName, zvt::test::kServiceTestUserPassword);
  ASSERT_TRUE(centre);
  const int before = service_->requestCount("userInfo&do=my");
  auto screen = openPersonal(centre);
  ASSERT_TRUE(screen) << topClass();
  EXPECT_TRUE(shows("个人信息"));
  EXPECT_EQ(service_->requestCount("userInfo&do=my"), before + 1);
  EXPECT_TRUE(tabBarHidden());
  EXPECT_EQ(detail(screen, "用户名"), "zvttest");
  EXPECT_EQ(detail(screen, "手机号"), "138****8000");
  EXPECT_EQ(detail(screen, "邮箱"), "zvt****@example.com");
  EXPECT_EQ(detail(screen, "绑定支付宝"), "zvt****@alipay.example.com");
  EXPECT_EQ(detail(screen, "QQ"), "10001");
  EXPECT_FALSE(orange(screen, "绑定支付宝"));

  // The avatar: the service's picture, 46 x 46 in a round grey border, in the row.
  auto icon = screen->userIcon();
  ASSERT_TRUE(icon);
  ASSERT_TRUE(waitFor([&] { return icon->superview() != nullptr; })) << "added once loaded";
  EXPECT_EQ(icon->superview(), row(screen, "头像")->contentView());
  EXPECT_NE(icon->image(), UIImage::imageNamed("userIcon.png"_ns));
  EXPECT_EQ(icon->frame().size, CGSizeMake(46, 46));
  EXPECT_EQ(icon->layer()->cornerRadius(), 23);
  EXPECT_EQ(icon->layer()->borderWidth(), 1);
  EXPECT_TRUE(CGColorEqualToColor(icon->layer()->borderColor(),
                                  UIColor::colorWithRed(204 / 255.0, 204 / 255.0, 204 / 255.0, 1)->CGColor()));
  device().wait(1);
  zvt::test::writeScreenPicture("personal-zvttest");

  // A verified number cannot be changed.
  ASSERT_TRUE(device().tapText("手机号"));
  device().wait(0.3);
  EXPECT_TRUE(shows("已验证的手机号暂时无法修改"));
  EXPECT_EQ(topScreen(), screen);
  device().wait(2.5);

  // Another appearance asks again.
  ASSERT_TRUE(device().tapText("绑定支付宝"));
  device().wait(1);
  EXPECT_EQ(topClass(), "TZAlipaySetupViewController");
  tapBack();
  settleRefresh(before + 1);
  EXPECT_EQ(topScreen(), screen);
  EXPECT_EQ(service_->requestCount("userInfo&do=my"), before + 2);
  tapBack();
  EXPECT_TRUE(pageLogged("个人信息页面"));
}

TEST_F(PersonalInfoTest, RowsOfScriptedRecordsShowShortTextsUnmaskedAndNumbersAsDigits) {
  struct Case {
    const char* what;
    const char* fields;  // set on 10001 before the screen opens
    const char* title;
    const char* shown;
    bool orange;
  };
  auto centre = launchAs(zvt::test::kServiceTestUserName, zvt::test::kServiceTestUserPassword);
  ASSERT_TRUE(centre);
  const std::vector<Case> cases = {
      {"six before @", R"({"email":"abcdef@x.com"})", "邮箱", "ab****@x.com", false},
      {"four before @", R"({"email":"abcd@x.com"})", "邮箱", "****@x.com", false},
      {"two before @", R"({"email":"ab@x.com"})", "邮箱", "ab@x.com", false},
      {"no @", R"({"email":"abcdefgh"})", "邮箱", "abcdefgh", false},
      {"short phone", R"({"phoneNumber":"12345"})", "手机号", "12345", false},
      {"seven-character phone", R"({"phoneNumber":"1234567"})", "手机号", "123****", false},
      {"numeric phone", R"({"phoneNumber":13912345678})", "手机号", "139****5678", false},
      {"mobile Alipay", R"({"alipay":"13912345678"})", "绑定支付宝", "139****5678", false},
      {"other Alipay", R"({"alipay":"zhangsan_pay"})", "绑定支付宝", "zhangsan_pay", false},
      {"no Alipay", R"({"alipay":null})", "绑定支付宝", "未绑定支付宝", true},
      {"empty Alipay", R"({"alipay":""})", "绑定支付宝", "未绑定支付宝", true},
      {"no e-mail", R"({"email":null})", "邮箱", "未填写", false},
      {"empty QQ", R"({"qq":""})", "QQ", "未填写", false},
      {"numeric QQ", R"({"qq":123456})", "QQ", "123456", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    setUser(R"({"id":"10001","email":"zvttest@example.com","phoneNumber":"13800138000",)"
            R"("alipay":"zvttest@alipay.example.com","qq":"10001"})");
    std::string fields = c.fields;
    setUser(R"({"id":"10001",)" + fields.substr(1));
    auto screen = openPersonal(centre);
    ASSERT_TRUE(screen);
    waitFor([&] { return detail(screen, c.title) == c.shown; }, 3);
    EXPECT_EQ(detail(screen, c.title), c.shown);
    EXPECT_EQ(orange(screen, c.title), c.orange);
    backToCentre();
  }

  // A refresh that leaves the QQ out keeps the one shown.
  const std::string qq = at(delegate_->userInfoDictionary(), "qq");
  service_->clearLog();
  service_->script(zvt::test::ScriptedReply{
      .op = "userInfo&do=my", .code = 101, .dataJSON = R"({"id":"10001","ddusername":"zvttest","email":"new@x.com"})"});
  auto screen = openPersonal(centre);
  ASSERT_TRUE(screen);
  EXPECT_EQ(service_->requestCount("userInfo&do=my"), 1) << "the screen's";
  EXPECT_EQ(at(delegate_->userInfoDictionary(), "qq"), "(nil)") << "the session's record is the reply";
  EXPECT_EQ(detail(screen, "QQ"), qq) << "the screen keeps what it showed";
  EXPECT_EQ(detail(screen, "邮箱"), "new@x.com") << "what the reply brings is shown";
}

TEST_F(PersonalInfoTest, WithoutANumberThePhoneRowFollowsTheRegistrationMode) {
  auto centre = launchAs(zvt::test::kServiceNewUserName, zvt::test::kServiceNewUserPassword);
  ASSERT_TRUE(centre);
  delegate_->setRegMethod(nullptr);
  auto screen = openPersonal(centre);
  ASSERT_TRUE(screen);
  EXPECT_EQ(detail(screen, "用户名"), "wangwu");
  EXPECT_EQ(detail(screen, "手机号"), "暂不支持验证");
  EXPECT_EQ(detail(screen, "邮箱"), "未填写");
  EXPECT_EQ(detail(screen, "QQ"), "未填写");
  EXPECT_EQ(detail(screen, "绑定支付宝"), "未绑定支付宝");
  EXPECT_TRUE(orange(screen, "绑定支付宝"));
  EXPECT_EQ(row(screen, "头像")->accessoryView(), screen->userIcon()) << "no avatar: the placeholder as accessory";
  EXPECT_EQ(screen->userIcon()->image(), UIImage::imageNamed("userIcon.png"_ns));
  zvt::test::writeScreenPicture("personal-10004");
  ASSERT_TRUE(device().tapText("暂不支持验证"));
  device().wait(1);
  EXPECT_EQ(topScreen(), screen) << "the row takes no taps";
  EXPECT_FALSE(shows("已验证的手机号暂时无法修改"));

  delegate_->setRegMethod("2"_ns);
  screen = reopen(centre);
  ASSERT_TRUE(screen);
  EXPECT_EQ(detail(screen, "手机号"), "未验证手机号");
  EXPECT_TRUE(orange(screen, "手机号"));
  ASSERT_TRUE(device().tapText("未验证手机号"));
  device().wait(1);
  EXPECT_EQ(topClass(), "TZVerticalPhoneViewController");
  EXPECT_TRUE(shows("验证手机号"));
}

TEST_F(PersonalInfoTest, ANewAvatarGoesUpAsThePNGOfTheEditedSquareAndShowsAfterTheRefresh) {
  // A 300 x 200 picture in the library: the edited square is its middle 200 x 200.
  std::filesystem::create_directories(zvt::ui::photoLibraryDirectory());
  zvt::test::PNGRecipe recipe;
  recipe.width = 300;
  recipe.height = 200;
  for (uint32_t y = 0; y < 200; ++y)
    for (uint32_t x = 0; x < 300; ++x) {
      recipe.rows.push_back(static_cast<uint8_t>(x));
      recipe.rows.push_back(static_cast<uint8_t>(y));
      recipe.rows.push_back(180);
    }
  auto file = zvt::ui::photoLibraryDirectory() + "/IMG_0001.PNG";
  {
    auto bytes = zvt::test::makePNG(recipe);
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  auto centre = launchAs(zvt::test::kServiceTestUserName, zvt::test::kServiceTestUserPassword);
  ASSERT_TRUE(centre);
  auto screen = openPersonal(centre);
  ASSERT_TRUE(screen);
  auto oldAvatar = at(delegate_->userInfoDictionary(), "avatar");

  // The sheet: no camera on this device.
  ASSERT_TRUE(device().tapText("头像"));
  device().wait(0.5);
  EXPECT_TRUE(shows("从相册选择"));
  EXPECT_TRUE(shows("取消"));
  EXPECT_FALSE(shows("拍照"));
  zvt::test::writeScreenPicture("personal-avatar-sheet");
  ASSERT_TRUE(device().tapText("取消"));
  device().wait(0.5);
  zvt::ui::setImagePickerSourceAvailable(UIImagePickerControllerSourceTypeCamera, true);
  ASSERT_TRUE(device().tapText("头像"));
  device().wait(0.5);
  auto camera = device().viewWithText("拍照");
  auto library = device().viewWithText("从相册选择");
  ASSERT_TRUE(camera && library);
  EXPECT_LT(zvt::ui::Device::visibleRect(camera).origin.y, zvt::ui::Device::visibleRect(library).origin.y) << "拍照 first";
  zvt::ui::setImagePickerSourceAvailable(UIImagePickerControllerSourceTypeCamera, false);

  // The picker cancelled: nothing goes up.
  ASSERT_TRUE(device().tapText("从相册选择"));
  device().wait(1);
  zvt::test::writeScreenPicture("personal-avatar-picker");
  ASSERT_TRUE(device().tapText("取消"));
  device().wait(1);
  EXPECT_EQ(topScreen(), screen);
  EXPECT_EQ(service_->requestCount("avatar"), 0);

  // A refusal: the overlay goes, the old picture stays.
  auto pick = [&] {
    // The screen refreshes each time the picker leaves it: a reply landing between the finger's
    // down and up reloads the table under it, so the tap goes once the refresh is in.
    ASSERT_TRUE(waitFor([] { return zvt::urlConnectionLoadsInFlight() == 0; }));
    device().wait(0.3);
    ASSERT_TRUE(device().tapText("头像"));
    device().wait(0.5);
    ASSERT_TRUE(device().tapText("从相册选择"));
    device().wait(1);
    ASSERT_TRUE(device().tapView(device().viewWithAccessibilityIdentifier("IMG_0001.PNG")));
    device().wait(0.5);
    ASSERT_TRUE(device().tapText("选取"));
  };
  service_->script(zvt::test::ScriptedReply{.op = "avatar", .code = 202, .msg = "上传失败"});
  const int refreshes = service_->requestCount("userInfo&do=my");
  pick();
  ASSERT_TRUE(waitFor([&] { return service_->requestCount("avatar") == 1; }));
  ASSERT_TRUE(waitFor([&] { return !POProgressHUD::HUDForView(screen->view()); }));
  device().wait(1);
  EXPECT_EQ(at(delegate_->userInfoDictionary(), "avatar"), oldAvatar);
  EXPECT_FALSE(shows("上传失败")) << "a failed upload says nothing";
  zvt::test::writeScreenPicture("personal-avatar-refused");

  // Accepted: one multipart upload of the edited square's PNG, the refresh, the new picture.
  pick();
  ASSERT_TRUE(waitFor([&] { return service_->requestCount("avatar") == 2; }));
  auto upload = logOf("avatar")->objectAtIndex(1);
  EXPECT_EQ(at(upload, "form"), "multipart");
  EXPECT_EQ(at(upload, "fields.id"), zvt::test::kServiceTestUserId);
  EXPECT_EQ(at(upload, "fields.command"), "ios");
  EXPECT_NE(at(upload, "fields.code"), "(nil)");
  EXPECT_NE(at(upload, "fields.time"), "(nil)");
  EXPECT_EQ(at(upload, "files.pic_data.filename"), "userIcon.png");
  EXPECT_EQ(at(upload, "files.pic_data.content_type"), "image/png");
  auto square = zvt::ui::squareCrop(UIImage::imageWithContentsOfFile(NSString::stringWithUTF8String(file)), nullptr);
  auto png = UIImagePNGRepresentation(square);
  ASSERT_TRUE(png);
  EXPECT_EQ(at(upload, "files.pic_data.md5"),
            md5Hex(std::vector<uint8_t>(static_cast<const uint8_t*>(png->bytes()), static_cast<const uint8_t*>(png->bytes()) + png->length())));
  ASSERT_TRUE(waitFor([&] { return at(delegate_->userInfoDictionary(), "avatar").find("/uploads/") != std::string::npos; }))
      << "the refresh after the upload";
  device().wait(1);
  EXPECT_FALSE(screen->presentedViewController()) << "the picker has gone";
  EXPECT_GE(service_->requestCount("userInfo&do=my"), refreshes + 1);
  auto newAvatar = at(delegate_->userInfoDictionary(), "avatar");
  EXPECT_NE(newAvatar.find("/uploads/"), std::string::npos) << newAvatar;
  ASSERT_TRUE(waitFor([&] {
    auto icon = screen->userIcon();
    return icon->superview() && icon->image() && icon->image()->size().width * icon->image()->scale() == 200;
  })) << "the uploaded square in the row";
  zvt::test::writeScreenPicture("personal-avatar-new");
}

}  // namespace
