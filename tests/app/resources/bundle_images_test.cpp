// The named images: every name the code asks UIImage::imageNamed for is in the bundle, the
// artwork renders to both scales at the size its source gives, and the tutorials' step cards
// show a drawing where their pictures go.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <set>
#include <sstream>

#include "platform/foundation/NSBundle.h"
#include "platform/graphics/UIImage.h"
#include "platform/graphics/UIScreen.h"
#include "tests/platform/graphics/Canvas.h"

namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The literal names passed to imageNamed in the application's and the toolkit's sources, and
// the names listed as built at run time.
std::set<std::string> namesTheCodeAsksFor() {
  static const std::regex call(R"re(imageNamed\(\s*(?:NSString::stringWithUTF8String\(\s*|@)?"((?:[^"\\]|\\.)+)")re");
  std::set<std::string> names;
  for (const char* dir : {"app", "ui"}) {
    fs::path root = fs::path(ZVT_SOURCE_ROOT) / dir;
    if (!fs::exists(root)) continue;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      auto ext = entry.path().extension();
      if (!entry.is_regular_file() || (ext != ".cpp" && ext != ".h")) continue;
      std::string text = readFile(entry.path());
      for (std::sregex_iterator it(text.begin(), text.end(), call), end; it != end; ++it) names.insert((*it)[1]);
    }
  }
  std::istringstream listed(readFile(fs::path(ZVT_SOURCE_ROOT) / "app/resources/images/computed-names.txt"));
  for (std::string line; std::getline(listed, line);)
    if (!line.empty() && line[0] != '#') names.insert(line);
  return names;
}

struct Artwork {
  std::string name;  // relative to images/, without ".svg"
  double width = 0, height = 0;
};

std::vector<Artwork> artwork() {
  static const std::regex size(R"re(<svg[^>]*?\bwidth="([0-9.]+)"[^>]*?\bheight="([0-9.]+)")re");
  std::vector<Artwork> out;
  fs::path root = fs::path(ZVT_SOURCE_ROOT) / "app/resources/images";
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.path().extension() != ".svg") continue;
    Artwork a;
    a.name = fs::relative(entry.path(), root).replace_extension().string();
    std::smatch m;
    std::string text = readFile(entry.path());
    if (std::regex_search(text, m, size)) {
      a.width = std::stod(m[1]);
      a.height = std::stod(m[2]);
    }
    out.push_back(a);
  }
  return out;
}

class BundleImages : public ::testing::Test {
 protected:
  void SetUp() override { zvt::setMainBundlePath(ZVT_BUNDLE_ROOT); }
  void TearDown() override {
    zvt::setMainBundlePath("");
    UIScreen::mainScreen()->setScale(2);
  }
};

}  // namespace

TEST_F(BundleImages, EveryNameTheCodeAsksForIsThere) {
  std::vector<std::string> missing;
  for (const auto& name : namesTheCodeAsksFor()) {
    std::cout << "image: " << name << "\n";
    if (!UIImage::imageNamed(NSString::stringWithUTF8String(name))) missing.push_back(name);
  }
  for (const auto& name : missing) ADD_FAILURE() << "the code asks for \"" << name << "\", which the bundle lacks";
}

TEST_F(BundleImages, ArtworkRendersAtEachScaleAtItsSize) {
  auto all = artwork();
  ASSERT_FALSE(all.empty());
  for (double scale : {2.0, 3.0}) {
    UIScreen::mainScreen()->setScale(scale);
    for (const auto& a : all) {
      ASSERT_GT(a.width, 0) << a.name << ": the SVG gives its size in points";
      auto image = UIImage::imageNamed(NSString::stringWithUTF8String(a.name));
      ASSERT_TRUE(image) << a.name;
      EXPECT_EQ(image->scale(), scale) << a.name;
      EXPECT_NEAR(image->size().width, a.width, 0.5) << a.name;
      EXPECT_NEAR(image->size().height, a.height, 0.5) << a.name;
    }
  }
  EXPECT_FALSE(UIImage::imageNamed(NSString::stringWithUTF8String("no-such-artwork"))) << "a missing name gives nil";
}

TEST_F(BundleImages, TheTutorialsStepCardsShowDrawingsNotEmptyBoxes) {
  // Each step card has a box in this colour for the step's drawing. An empty box shows as a band
  // of rows that the colour crosses almost from side to side; around a drawing only its margins do.
  const zvt::test::RGBA box{255, 233, 220, 255};
  for (const char* name : {"courseTaobao", "courseStore"}) {
    auto image = UIImage::imageNamed(NSString::stringWithUTF8String(name));
    ASSERT_TRUE(image) << name;
    const CGSize size = image->size();
    zvt::test::Canvas canvas(size.width, size.height);
    image->drawInRect(CGRectMake(0, 0, size.width, size.height));
    int band = 0, widest = 0, boxes = 0;
    for (int y = 0; y < static_cast<int>(size.height); ++y) {
      int run = 0, longest = 0;
      for (int x = 0; x < static_cast<int>(size.width); ++x) {
        run = canvas.at(x, y) == box ? run + 1 : 0;
        longest = std::max(longest, run);
      }
      const bool across = longest >= 280;
      boxes += across && band == 0;  // the first row of a band
      band = across ? band + 1 : 0;
      widest = std::max(widest, band);
    }
    EXPECT_GE(boxes, 4) << name << ": its step boxes are there";
    EXPECT_LE(widest, 40) << name << ": a box " << widest << " points tall holds nothing";
  }
}
