#include <gtest/gtest.h>

#include <cmath>

#include "platform/text/NSParagraphStyle.h"
#include "platform/text/NSStringDrawing.h"
#include "platform/text/TextLayout.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "tests/platform/graphics/Canvas.h"
#include "tests/platform/uikit/UIKitTestSupport.h"

using namespace zvt::uitest;
using zvt::test::RGBA;

namespace {

std::shared_ptr<NSString> str(const char* s) { return NSString::stringWithUTF8String(s); }

std::shared_ptr<UIImage> solidImage(CGSize size, const std::shared_ptr<UIColor>& color, CGFloat scale = 2) {
  UIGraphicsBeginImageContextWithOptions(size, false, scale);
  color->setFill();
  CGContextFillRect(UIGraphicsGetCurrentContext(), CGRect{CGPointZero, size});
  auto image = UIGraphicsGetImageFromCurrentImageContext();
  UIGraphicsEndImageContext();
  return image;
}

// The size of a text in a font, measured by the string drawing functions.
CGSize measured(const char* text, const std::shared_ptr<UIFont>& font, CGFloat width = 0) {
  auto attrs = NSDictionary::make({{NSFontAttributeName, font}});
  if (width == 0) return sizeWithAttributes(str(text), attrs);
  return boundingRectWithSize(str(text), CGSizeMake(width, 0), NSStringDrawingUsesLineFragmentOrigin, attrs, nullptr)
      .size;
}

// The right-most column (in points) where the view's backing store has ink.
CGFloat inkRight(const std::shared_ptr<UIView>& view) {
  auto image = view->layer()->contents();
  if (!image) return -1;
  auto data = CGDataProviderCopyData(CGImageGetDataProvider(image));
  const auto* bytes = static_cast<const uint8_t*>(data->bytes());
  for (size_t x = image->width(); x-- > 0;)
    for (size_t y = 0; y < image->height(); ++y)
      if (bytes[y * image->bytesPerRow() + x * 4 + 3] > 0) return (x + 1) / view->layer()->contentsScale();
  return 0;
}

// The left-most column (in points) where the view's backing store has ink.
CGFloat inkLeft(const std::shared_ptr<UIView>& view) {
  auto image = view->layer()->contents();
  if (!image) return -1;
  auto data = CGDataProviderCopyData(CGImageGetDataProvider(image));
  const auto* bytes = static_cast<const uint8_t*>(data->bytes());
  for (size_t x = 0; x < image->width(); ++x)
    for (size_t y = 0; y < image->height(); ++y)
      if (bytes[y * image->bytesPerRow() + x * 4 + 3] > 0) return x / view->layer()->contentsScale();
  return -1;
}

// The colour of the most opaque ink pixel in the columns [from, to) points.
RGBA inkColour(const std::shared_ptr<UIView>& view, CGFloat from, CGFloat to) {
  auto image = view->layer()->contents();
  if (!image) return {};
  auto data = CGDataProviderCopyData(CGImageGetDataProvider(image));
  const auto* bytes = static_cast<const uint8_t*>(data->bytes());
  const CGFloat scale = view->layer()->contentsScale();
  RGBA best{};
  for (auto x = static_cast<size_t>(from * scale); x < static_cast<size_t>(to * scale) && x < image->width(); ++x)
    for (size_t y = 0; y < image->height(); ++y) {
      const uint8_t* p = bytes + y * image->bytesPerRow() + x * 4;
      // Premultiplied BGRA: the colour of an opaque pixel is its own.
      if (p[3] > best.a) best = RGBA{p[2], p[1], p[0], p[3]};
    }
  return best;
}

}  // namespace

TEST(UIKitLabel, AttributedTextTakesTheLabelsSettingsWhereItHasNone) {
  // A tip whose text names only the colour of a few characters: the rest is set in the label's
  // font and colour, centred as the label is.
  Screen screen;
  auto label = screen.add<UILabel>({{0, 0}, {300, 40}});
  label->setTextAlignment(NSTextAlignmentCenter);
  label->setFont(UIFont::systemFontOfSize(14));
  auto grey = UIColor::colorWithRed(153 / 255.0, 153 / 255.0, 153 / 255.0, 1);
  label->setTextColor(grey);
  auto orange = UIColor::colorWithRed(1, 0.5, 0, 1);
  auto text = NSMutableAttributedString::initWithString(str("订单会在您下单后15~20分钟显示"));
  text->addAttribute(NSForegroundColorAttributeName, orange, NSMakeRange(8, 7));
  label->setAttributedText(text);
  auto shown = label->attributedText();
  EXPECT_TRUE(zvt::objectsEqual(shown->attribute(NSFontAttributeName, 0, nullptr), UIFont::systemFontOfSize(14)));
  EXPECT_TRUE(zvt::objectsEqual(shown->attribute(NSForegroundColorAttributeName, 0, nullptr), grey));
  EXPECT_TRUE(zvt::objectsEqual(shown->attribute(NSForegroundColorAttributeName, 8, nullptr), orange))
      << "its own colour stays";
  auto style = zvt::as<NSParagraphStyle>(shown->attribute(NSParagraphStyleAttributeName, 0, nullptr));
  ASSERT_TRUE(style);
  EXPECT_EQ(style->alignment(), NSTextAlignmentCenter);
  screen.device().settle();
  const CGFloat left = inkLeft(label), right = inkRight(label);
  EXPECT_GT(left, 20) << "not at the left edge";
  EXPECT_NEAR(left, 300 - right, 2) << "centred";
  // The first characters in the label's grey, the named ones in orange.
  EXPECT_EQ(inkColour(label, left, left + 40), (RGBA{153, 153, 153, 255}));
  // 12 wide characters and 5 digits and signs about half as wide: the named ones lie from about
  // 8 to 12.7 wide characters in.
  const CGFloat wide = (right - left) / 14.75;
  EXPECT_EQ(inkColour(label, left + 9 * wide, left + 11 * wide), (RGBA{255, 128, 0, 255}));
}

TEST(UIKitLabel, SizeToFitMeasuresOneAndSeveralLines) {
  auto font = UIFont::systemFontOfSize(17);
  const char* longText = "满100减20 and more words that wrap over several lines of a narrow label";
  CGSize oneLine = measured("登录 Login", font);
  CGSize wrapped = measured(longText, font, 120);
  struct Case {
    const char* what;
    const char* text;
    NSInteger lines;
    CGFloat width;  // the label's width before sizeToFit
    CGFloat wantWidth, wantHeight;
  } cases[] = {
      {"one line keeps its whole width", "登录 Login", 1, 20, oneLine.width, oneLine.height},
      {"several lines wrap at the label's width", longText, 0, 120, wrapped.width, wrapped.height},
      // The second line ends in an ellipsis somewhere within the width.
      {"at most two lines", longText, 2, 120, -1, 2 * oneLine.height},
      {"an empty label fits in no space", "", 0, 120, 0, 0},
  };
  Screen screen;
  for (const auto& c : cases) {
    auto label = screen.add<UILabel>({{10, 10}, {c.width, 21}});
    label->setText(str(c.text));
    label->setNumberOfLines(c.lines);
    label->sizeToFit();
    CGSize size = label->frame().size;
    // Rounded up to the screen's pixels.
    if (c.wantWidth >= 0) {
      EXPECT_GE(size.width, c.wantWidth - 1e-6) << c.what;
      EXPECT_LT(size.width, c.wantWidth + 0.5 + 1e-6) << c.what;
    } else {
      EXPECT_LE(size.width, c.width) << c.what;
      EXPECT_GT(size.width, c.width / 2) << c.what;
    }
    EXPECT_NEAR(size.height, c.wantHeight, 0.5 + 1e-6) << c.what;
    EXPECT_EQ(label->frame().origin, CGPointMake(10, 10)) << c.what;
    if (c.lines == 0 && c.wantHeight > 0) {
      EXPECT_GT(size.height, 2 * oneLine.height) << c.what;
    }
  }
}

TEST(UIKitLabel, IntrinsicSizeWrapsAtThePreferredOrOwnWidth) {
  Screen screen;
  auto label = screen.add<UILabel>({{0, 0}, {300, 100}});
  label->setText(str("一二三四五六七八九十一二三四五六七八九十"));
  label->setNumberOfLines(0);
  CGSize wide = label->intrinsicContentSize();
  label->setPreferredMaxLayoutWidth(80);
  CGSize narrow = label->intrinsicContentSize();
  EXPECT_LE(narrow.width, 80);
  EXPECT_GT(narrow.height, wide.height);
  label->setPreferredMaxLayoutWidth(0);
  label->setFrame({{0, 0}, {80, 100}});
  EXPECT_EQ(label->intrinsicContentSize(), narrow);
}

TEST(UIKitLabel, AttributedTextTakesLaterSettingsOverItsWholeLength) {
  Screen screen;
  auto label = screen.add<UILabel>({{0, 0}, {200, 30}});
  auto text = NSMutableAttributedString::initWithString(str("￥12.50 返利"));
  text->addAttribute(NSForegroundColorAttributeName, UIColor::redColor(), NSMakeRange(0, 6));
  label->setAttributedText(text);
  EXPECT_EQ(label->text()->utf8(), "￥12.50 返利");
  auto big = UIFont::boldSystemFontOfSize(20);
  label->setFont(big);
  NSRange range;
  EXPECT_EQ(label->attributedText()->attribute(NSFontAttributeName, 0, &range), big);
  EXPECT_EQ(range.length, label->attributedText()->length());
  // The colour runs stay as given.
  EXPECT_EQ(label->attributedText()->attribute(NSForegroundColorAttributeName, 0, nullptr), UIColor::redColor());
  label->setText(str("plain"));
  EXPECT_EQ(label->attributedText()->attribute(NSFontAttributeName, 0, nullptr), big);
  EXPECT_EQ(label->attributedText()->attribute(NSForegroundColorAttributeName, 0, nullptr), UIColor::blackColor());
}

TEST(UIKitLabel, NarrowTextShrinksOrTruncatesWithinItsBounds) {
  Screen screen;
  const char* text = "亲，您的手机网络不顺畅哦~";
  struct Case {
    const char* what;
    bool adjusts;
    CGFloat minimumScale;
  } cases[] = {
      {"truncated", false, 0},
      {"shrunk", true, 0.3},
      {"a minimum scale of 0 does not shrink", true, 0},
  };
  CGFloat rights[3];
  int i = 0;
  for (const auto& c : cases) {
    auto label = screen.add<UILabel>({{0, 40.0 * i}, {100, 30}});
    label->setText(str(text));
    label->setAdjustsFontSizeToFitWidth(c.adjusts);
    label->setMinimumScaleFactor(c.minimumScale);
    screen.device().settle();
    rights[i++] = inkRight(label);
    EXPECT_GT(rights[i - 1], 50) << c.what;
    EXPECT_LE(rights[i - 1], 100) << c.what;
    EXPECT_TRUE(Screen::device().viewWithText(text)) << c.what;
  }
  // The shrunk text fills the width more closely than the truncated one (whose ellipsis ends
  // on a whole character).
  EXPECT_GE(rights[1], rights[0]);
}

TEST(UIKitButton, PerStateValuesFallBackToTheNormalState) {
  auto button = UIButton::buttonWithType(UIButtonTypeCustom);
  button->setTitle(str("普通"), UIControlStateNormal);
  button->setTitle(str("选中"), UIControlStateSelected);
  button->setTitleColor(UIColor::redColor(), UIControlStateHighlighted);
  struct Case {
    UIControlState state;
    const char* title;
    std::shared_ptr<UIColor> color;
  } cases[] = {
      {UIControlStateNormal, "普通", UIColor::whiteColor()},
      {UIControlStateHighlighted, "普通", UIColor::redColor()},
      {UIControlStateSelected, "选中", UIColor::whiteColor()},
      {UIControlStateSelected | UIControlStateHighlighted, "普通", UIColor::whiteColor()},
      {UIControlStateDisabled, "普通", UIColor::whiteColor()},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(button->titleForState(c.state)->utf8(), c.title) << c.state;
    EXPECT_TRUE(button->titleColorForState(c.state)->isEqual(c.color)) << c.state;
  }
  button->setSelected(true);
  EXPECT_EQ(button->currentTitle()->utf8(), "选中");
  EXPECT_EQ(button->titleLabel()->text()->utf8(), "选中");
  auto system = UIButton::buttonWithType(UIButtonTypeSystem);
  EXPECT_TRUE(system->titleColorForState(UIControlStateNormal)->isEqual(system->tintColor()));
  EXPECT_LT(system->titleColorForState(UIControlStateHighlighted)->alpha(), 0.5);
}

TEST(UIKitButton, SizeToFitWithImageAndTitle) {
  auto image = solidImage({20, 16}, UIColor::blueColor());
  auto font = UIFont::systemFontOfSize(15);
  CGSize title = measured("获取验证码", font);
  struct Case {
    const char* what;
    bool withImage, withTitle;
    UIEdgeInsets contentInsets;
    CGSize want;
  } cases[] = {
      {"image and title", true, true, UIEdgeInsetsZero, {20 + title.width, title.height + 12}},
      {"image only", true, false, UIEdgeInsetsZero, {20, 16}},
      {"title only", false, true, UIEdgeInsetsZero, {title.width, title.height + 12}},
      {"content insets count", true, true, UIEdgeInsetsMake(1, 2, 3, 4), {26 + title.width, title.height + 16}},
      {"nothing", false, false, UIEdgeInsetsZero, {30, 30}},
  };
  for (const auto& c : cases) {
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    if (c.withImage) button->setImage(image, UIControlStateNormal);
    if (c.withTitle) button->setTitle(str("获取验证码"), UIControlStateNormal);
    button->setContentEdgeInsets(c.contentInsets);
    // Title and image insets never count.
    button->setTitleEdgeInsets(UIEdgeInsetsMake(0, 10, 0, 10));
    button->sizeToFit();
    EXPECT_NEAR(button->frame().size.width, c.want.width, 0.5) << c.what;
    EXPECT_NEAR(button->frame().size.height, c.want.height, 0.5) << c.what;
    EXPECT_EQ(button->intrinsicContentSize(), button->frame().size) << c.what;
  }
}

TEST(UIKitButton, ImageAndTitleLieSideBySideMovedByTheirInsets) {
  Screen screen;
  auto image = solidImage({20, 20}, UIColor::blueColor());
  auto button = screen.add<UIButton>({{0, 0}, {200, 44}});
  button->setImage(image, UIControlStateNormal);
  button->setTitle(str("分享"), UIControlStateNormal);
  screen.device().settle();
  CGRect imageFrame = button->imageView()->frame();
  CGRect titleFrame = button->titleLabel()->frame();
  CGFloat total = imageFrame.size.width + titleFrame.size.width;
  EXPECT_NEAR(imageFrame.origin.x, 100 - total / 2, 0.5);
  EXPECT_NEAR(titleFrame.origin.x, CGRectGetMaxX(imageFrame), 0.5);
  EXPECT_NEAR(CGRectGetMidY(imageFrame), 22, 0.5);
  // The usual recipe for an image on the right of its title.
  CGFloat iw = imageFrame.size.width, tw = titleFrame.size.width;
  button->setTitleEdgeInsets(UIEdgeInsetsMake(0, -iw, 0, iw));
  button->setImageEdgeInsets(UIEdgeInsetsMake(0, tw, 0, -tw));
  screen.device().settle();
  EXPECT_NEAR(button->titleLabel()->frame().origin.x, imageFrame.origin.x, 0.5);
  EXPECT_NEAR(button->imageView()->frame().origin.x, imageFrame.origin.x + tw, 0.5);
  button->setContentHorizontalAlignment(UIControlContentHorizontalAlignmentLeft);
  button->setTitleEdgeInsets(UIEdgeInsetsZero);
  button->setImageEdgeInsets(UIEdgeInsetsZero);
  button->setContentEdgeInsets(UIEdgeInsetsMake(0, 15, 0, 0));
  screen.device().settle();
  EXPECT_EQ(button->imageView()->frame().origin.x, 15);
}

TEST(UIKitButton, HighlightsWhileTouchedAndIsTappedByItsTitle) {
  Screen screen;
  Log log;
  auto target = std::make_shared<Target>(&log);
  auto button = screen.add<UIButton>({{20, 100}, {120, 40}});
  button->setTitle(str("登录"), UIControlStateNormal);
  button->setTitle(str("登录中"), UIControlStateHighlighted);
  button->addTarget(target, &Target::tapped, UIControlEventTouchUpInside);
  auto& device = screen.device();
  // The title label leaves the text to the button, so a tap by text reaches the button.
  EXPECT_EQ(device.viewWithText("登录"), button);
  auto finger = device.touchDown({80, 120});
  EXPECT_TRUE(button->isHighlighted());
  EXPECT_EQ(button->currentTitle()->utf8(), "登录中");
  EXPECT_EQ(device.viewWithText("登录中"), button);
  device.touchMove(finger, {80, 300});
  EXPECT_FALSE(button->isHighlighted());
  device.touchUp(finger);
  EXPECT_EQ(log.joined(), "");
  EXPECT_TRUE(device.tapText("登录"));
  EXPECT_EQ(log.joined(), "target.tapped");
  button->setEnabled(false);
  log.clear();
  device.tapText("登录");
  EXPECT_EQ(log.joined(), "");
}

TEST(UIKitButton, SystemButtonsDrawTheirImagesInTheTint) {
  Screen screen;
  auto image = solidImage({10, 10}, UIColor::blackColor());
  auto system = UIButton::buttonWithType(UIButtonTypeSystem);
  system->setImage(image, UIControlStateNormal);
  system->setTintColor(UIColor::redColor());
  auto original = UIButton::buttonWithType(UIButtonTypeSystem);
  original->setImage(image->imageWithRenderingMode(UIImageRenderingModeAlwaysOriginal), UIControlStateNormal);
  original->setTintColor(UIColor::redColor());
  auto redOf = [](const std::shared_ptr<UIImageView>& view) {
    auto data = CGDataProviderCopyData(CGImageGetDataProvider(view->layer()->contents()));
    return static_cast<const uint8_t*>(data->bytes())[2];  // B G R A in memory
  };
  EXPECT_EQ(redOf(system->imageView()), 255);
  EXPECT_EQ(redOf(original->imageView()), 0);
}

TEST(UIKitImageView, TakesItsImageSizeAndPlaysFramesOnTheClock) {
  Screen screen;
  auto red = solidImage({30, 20}, UIColor::redColor());
  auto green = solidImage({30, 20}, UIColor::greenColor());
  auto blue = solidImage({30, 20}, UIColor::blueColor());
  auto view = UIImageView::initWithImage(red);
  screen.window->addSubview(view);
  EXPECT_EQ(view->frame(), CGRectMake(0, 0, 30, 20));
  EXPECT_EQ(view->intrinsicContentSize(), CGSizeMake(30, 20));
  EXPECT_FALSE(view->isUserInteractionEnabled());
  EXPECT_EQ(view->layer()->contents(), red->CGImage());
  EXPECT_EQ(view->layer()->contentsScale(), 2);

  view->setAnimationImages(NSArray::make({green, blue}));
  view->setAnimationDuration(1.0);
  view->setAnimationRepeatCount(2);
  view->startAnimating();
  EXPECT_TRUE(view->isAnimating());
  auto shownAt = [&](double t) { return view->layer()->presentationPropertiesAt(CACurrentMediaTime() + t).contents; };
  EXPECT_EQ(shownAt(0.25), green->CGImage());
  EXPECT_EQ(shownAt(0.75), blue->CGImage());
  EXPECT_EQ(shownAt(1.25), green->CGImage());
  screen.device().wait(1.9);
  EXPECT_TRUE(view->isAnimating());
  screen.device().wait(0.2);
  EXPECT_FALSE(view->isAnimating());
  EXPECT_EQ(view->layer()->presentationProperties().contents, red->CGImage());

  view->setHighlightedImage(blue);
  view->setHighlighted(true);
  EXPECT_EQ(view->layer()->contents(), blue->CGImage());
  view->startAnimating();
  view->stopAnimating();
  EXPECT_FALSE(view->isAnimating());
}

TEST(UIKitImageView, ResizableImagesKeepTheirCaps) {
  auto image = solidImage({20, 10}, UIColor::redColor())->resizableImageWithCapInsets(UIEdgeInsetsMake(2, 5, 2, 5));
  auto view = UIImageView::initWithImage(image);
  CGRect centre = view->layer()->contentsCenter();
  EXPECT_DOUBLE_EQ(centre.origin.x, 0.25);
  EXPECT_DOUBLE_EQ(centre.size.width, 0.5);
  EXPECT_DOUBLE_EQ(centre.origin.y, 0.2);
  EXPECT_DOUBLE_EQ(centre.size.height, 0.6);
}
