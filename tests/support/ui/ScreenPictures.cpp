#include "tests/support/ui/ScreenPictures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>

#include "platform/uikit/Snapshot.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIWindow.h"

namespace zvt::test {

std::string picturesFolder() {
  const char* folder = std::getenv("ZVT_TEST_PICTURES");
  return folder && *folder ? folder : "test-pictures";
}

namespace {

std::string writePicture(const std::shared_ptr<UIView>& view, const std::string& name) {
  std::string path = picturesFolder() + "/" + name + ".png";
  std::shared_ptr<NSError> error;
  if (!zvt::ui::writeSnapshot(view, path, &error)) {
    std::cout << "could not write the picture " << path << ": "
              << (error ? error->localizedDescription()->utf8() : std::string("no picture")) << std::endl;
    return "";
  }
  return path;
}

}  // namespace

std::string writeScreenPicture(const std::string& name) { return writePicture(nullptr, name); }

void PicturesOnFailure::writeIfFailed() {
  if (written_ || !::testing::Test::HasFailure()) return;
  written_ = true;
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "failed-test";
  if (auto path = writeScreenPicture(name); !path.empty()) std::cout << "screen picture: " << path << std::endl;
  std::vector<std::shared_ptr<UIWindow>> shown;
  for (const auto& window : UIApplication::sharedApplication()->windows())
    if (!window->isHidden()) shown.push_back(window);
  if (shown.size() < 2) return;
  for (size_t i = 0; i < shown.size(); ++i)
    if (auto path = writePicture(shown[i], name + ".window" + std::to_string(i)); !path.empty())
      std::cout << "window picture: " << path << std::endl;
}

}  // namespace zvt::test
