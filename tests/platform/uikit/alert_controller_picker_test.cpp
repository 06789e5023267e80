#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/foundation/NSException.h"
#include "platform/foundation/NSValue.h"
#include "platform/uikit/UIAlertController.h"
#include "platform/uikit/UIImagePickerController.h"
#include "platform/uikit/UIStoryboard.h"
#include "tests/platform/uikit/UIKitTestSupport.h"
#include "tests/support/ImageFixtures.h"
#include "tests/support/TempHome.h"

using namespace zvt::uitest;
using zvt::ui::Device;

namespace {

std::shared_ptr<NSString> str(const char* s) { return NSString::stringWithUTF8String(s); }

// A screen shown as the window's root.
struct ScreenWithRoot {
  ScreenWithRoot() {
    root = UIViewController::make();
    screen.window->setRootViewController(root);
    screen.device().settle();
  }
  Screen screen;
  std::shared_ptr<UIViewController> root;
};

class PickerDelegate : public NSObject, public UIImagePickerControllerDelegate {
 public:
  std::shared_ptr<NSDictionary> info;
  bool cancelled = false;
  void imagePickerControllerDidFinishPickingMediaWithInfo(const std::shared_ptr<UIImagePickerController>& picker,
                                                          const std::shared_ptr<NSDictionary>& i) override {
    info = i;
    picker->dismissViewControllerAnimated(true);
  }
  void imagePickerControllerDidCancel(const std::shared_ptr<UIImagePickerController>& picker) override {
    cancelled = true;
    picker->dismissViewControllerAnimated(true);
  }
};

void writePNG(const std::string& path, uint32_t width, uint32_t height) {
  zvt::test::PNGRecipe recipe;
  recipe.width = width;
  recipe.height = height;
  recipe.colorType = 2;
  recipe.rows.assign(width * height * 3, 0x80);
  auto bytes = zvt::test::makePNG(recipe);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

TEST(UIKitAlertController, AnAlertFromAScreenIsFoundAndRunsTheTappedHandlerOnceGone) {
  ScreenWithRoot s;
  Log log;
  auto& device = s.screen.device();
  auto alert = UIAlertController::alertControllerWithTitle(nullptr, str("请先登录"), UIAlertControllerStyleAlert);
  alert->addAction(UIAlertAction::actionWithTitle(str("取消"), UIAlertActionStyleCancel,
                                                  [&](const std::shared_ptr<UIAlertAction>& a) { log.add(a->title()->utf8()); }));
  alert->addAction(UIAlertAction::actionWithTitle(str("去登录"), UIAlertActionStyleDefault,
                                                  [&](const std::shared_ptr<UIAlertAction>& a) { log.add(a->title()->utf8()); }));
  EXPECT_THROW(alert->addAction(UIAlertAction::actionWithTitle(str("再取消"), UIAlertActionStyleCancel, nullptr)),
               NSException);
  s.root->presentViewController(alert, true);
  device.settle();
  EXPECT_EQ(s.root->presentedViewController(), alert);
  EXPECT_TRUE(device.viewWithText("请先登录"));
  auto cancel = Device::visibleRect(device.viewWithText("取消"));
  auto login = Device::visibleRect(device.viewWithText("去登录"));
  EXPECT_EQ(cancel.origin.y, login.origin.y);
  EXPECT_LT(cancel.origin.x, login.origin.x) << "two actions side by side, the cancel one on the left";
  device.wait(0.5);
  EXPECT_TRUE(device.tapText("去登录"));
  EXPECT_FALSE(device.viewWithText("请先登录"));
  EXPECT_EQ(log.joined(), "") << "the handler waits for the dismissal";
  device.wait(0.5);
  EXPECT_EQ(log.joined(), "去登录");
  EXPECT_FALSE(s.root->presentedViewController());
}

TEST(UIKitAlertController, AnActionSheetListsItsActionsAndItsCancelApart) {
  ScreenWithRoot s;
  Log log;
  auto& device = s.screen.device();
  struct Case {
    const char* what;
    bool camera;
    std::function<void(Device&)> act;
    const char* want;
  } cases[] = {
      {"a chosen action", true, [](Device& d) { d.tapText("从相册选择"); }, "从相册选择"},
      {"cancel", false, [](Device& d) { d.tapText("取消"); }, "取消"},
      {"a tap beside the sheet is its cancel", false, [](Device& d) { d.tap({160, 40}); }, "取消"},
  };
  for (const auto& c : cases) {
    log.clear();
    auto sheet = UIAlertController::alertControllerWithTitle(nullptr, nullptr, UIAlertControllerStyleActionSheet);
    auto note = [&](const std::shared_ptr<UIAlertAction>& a) { log.add(a->title()->utf8()); };
    auto grey = UIColor::colorWithRed(51 / 255.0, 51 / 255.0, 51 / 255.0, 1);
    std::vector<const char*> titles;
    if (c.camera) titles.push_back("拍照");
    titles.push_back("从相册选择");
    for (const char* t : titles) {
      auto action = UIAlertAction::actionWithTitle(str(t), UIAlertActionStyleDefault, note);
      action->setTitleTextColor(grey);
      sheet->addAction(action);
    }
    sheet->addAction(UIAlertAction::actionWithTitle(str("取消"), UIAlertActionStyleCancel, note));
    s.root->presentViewController(sheet, true);
    device.wait(0.5);
    auto cancel = Device::visibleRect(device.viewWithText("取消"));
    auto library = Device::visibleRect(device.viewWithText("从相册选择"));
    EXPECT_GT(cancel.origin.y, CGRectGetMaxY(library)) << c.what;
    EXPECT_NEAR(CGRectGetMaxY(cancel), 480 - 10, 1) << c.what << ": at the bottom";
    EXPECT_EQ(device.viewsWithText("拍照").size(), c.camera ? 1u : 0u) << c.what;
    c.act(device);
    device.wait(0.5);
    EXPECT_EQ(log.joined(), c.want) << c.what;
    EXPECT_FALSE(s.root->presentedViewController()) << c.what;
  }
}

TEST(UIKitImagePicker, PicksFromTheSandboxLibraryAndCropsSquare) {
  zvt::test::TempHome home;
  std::filesystem::create_directories(zvt::ui::photoLibraryDirectory());
  writePNG(zvt::ui::photoLibraryDirectory() + "/IMG_0001.PNG", 300, 200);
  writePNG(zvt::ui::photoLibraryDirectory() + "/IMG_0002.PNG", 90, 160);
  ScreenWithRoot s;
  auto& device = s.screen.device();
  EXPECT_TRUE(UIImagePickerController::isSourceTypeAvailable(UIImagePickerControllerSourceTypePhotoLibrary));
  EXPECT_FALSE(UIImagePickerController::isSourceTypeAvailable(UIImagePickerControllerSourceTypeCamera));
  auto delegate = std::make_shared<PickerDelegate>();
  struct Case {
    const char* file;
    bool editing;
    CGSize edited;  // pixels; zero: no edited image
    CGRect crop;
  } cases[] = {
      {"IMG_0001.PNG", true, {200, 200}, {{50, 0}, {200, 200}}},
      {"IMG_0002.PNG", true, {90, 90}, {{0, 35}, {90, 90}}},
      {"IMG_0001.PNG", false, {0, 0}, {}},
  };
  for (const auto& c : cases) {
    delegate->info.reset();
    auto picker = UIImagePickerController::make();
    picker->setDelegate(delegate);
    picker->setAllowsEditing(c.editing);
    picker->setSourceType(UIImagePickerControllerSourceTypePhotoLibrary);
    s.root->presentViewController(picker, true);
    device.wait(0.5);
    ASSERT_TRUE(device.tapView(device.viewWithAccessibilityIdentifier(c.file))) << c.file;
    device.wait(0.5);
    if (c.editing) {
      ASSERT_TRUE(device.tapText("选取")) << c.file;
    }
    device.wait(0.5);
    ASSERT_TRUE(delegate->info) << c.file;
    EXPECT_EQ(zvt::as<NSString>(delegate->info->objectForKey(UIImagePickerControllerMediaType))->utf8(), "public.image");
    auto edited = zvt::as<UIImage>(delegate->info->objectForKey(UIImagePickerControllerEditedImage));
    if (c.edited.width > 0) {
      ASSERT_TRUE(edited) << c.file;
      EXPECT_EQ(edited->size(), c.edited) << c.file;
      EXPECT_EQ(zvt::as<NSValue>(delegate->info->objectForKey(UIImagePickerControllerCropRect))->CGRectValue(), c.crop);
    } else {
      EXPECT_FALSE(edited) << c.file;
    }
    EXPECT_TRUE(delegate->info->objectForKey(UIImagePickerControllerOriginalImage));
    EXPECT_FALSE(s.root->presentedViewController()) << c.file;
  }
  // Cancelling, and a camera the device does not have.
  auto picker = UIImagePickerController::make();
  picker->setDelegate(delegate);
  s.root->presentViewController(picker, true);
  device.wait(0.5);
  device.tapText("取消");
  device.wait(0.5);
  EXPECT_TRUE(delegate->cancelled);
  EXPECT_THROW(picker->setSourceType(UIImagePickerControllerSourceTypeCamera), NSException);
}

TEST(UIKitStoryboard, ScenesByIdentifierWakeAfterTheirOutlets) {
  Log log;
  struct Scene : UIViewController {
    Log* log = nullptr;
    void awakeFromNib() override { log->add("awake"); }
  };
  zvt::ui::registerStoryboard("Main", {"first", {{"first", [&](zvt::ui::NibBuilder&) {
                                                    auto scene = std::make_shared<Scene>();
                                                    scene->log = &log;
                                                    scene->setTitle(str("首页"));
                                                    return std::static_pointer_cast<UIViewController>(scene);
                                                  }}}});
  auto board = UIStoryboard::storyboardWithName(str("Main"), nullptr);
  auto initial = board->instantiateInitialViewController();
  ASSERT_TRUE(initial);
  EXPECT_EQ(initial->title()->utf8(), "首页");
  EXPECT_EQ(log.joined(), "awake");
  EXPECT_NE(board->instantiateViewControllerWithIdentifier(str("first")), initial);
  EXPECT_THROW(board->instantiateViewControllerWithIdentifier(str("second")), NSException);
  EXPECT_THROW(UIStoryboard::storyboardWithName(str("Other"), nullptr), NSException);
}
