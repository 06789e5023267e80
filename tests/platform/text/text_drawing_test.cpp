// Drawing text into contexts, read back by pixels: where glyphs land against the measured size,
// colours of runs, truncation staying inside the width, alignment, shadows, and the older
// font-only forms that draw in the context's fill colour.

#include <gtest/gtest.h>

#include <functional>

#include "platform/foundation/NSNumber.h"
#include "platform/graphics/UIColor.h"
#include "platform/text/NSShadow.h"
#include "platform/text/NSStringDrawing.h"
#include "platform/text/TextLayout.h"
#include "tests/platform/graphics/Canvas.h"

using namespace zvt::test;

namespace {

std::shared_ptr<NSString> str(const char* text) { return NSString::stringWithUTF8String(text); }

// The bounding box (device pixels) of the pixels for which `hit` holds; empty when none.
struct Ink {
  int x0 = 1 << 20, y0 = 1 << 20, x1 = -1, y1 = -1;
  bool empty() const { return x1 < 0; }
};
Ink inkOf(const Canvas& canvas, int w, int h, const std::function<bool(RGBA)>& hit) {
  Ink ink;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if (!hit(canvas.at(x, y))) continue;
      ink.x0 = std::min(ink.x0, x), ink.y0 = std::min(ink.y0, y);
      ink.x1 = std::max(ink.x1, x), ink.y1 = std::max(ink.y1, y);
    }
  }
  return ink;
}
bool dark(RGBA c) { return c.a > 0 && c.r < 128 && c.g < 128 && c.b < 128; }
bool reddish(RGBA c) { return c.a > 100 && c.r > 150 && c.g < 100 && c.b < 100; }
bool bluish(RGBA c) { return c.a > 100 && c.b > 150 && c.r < 100 && c.g < 100; }

std::shared_ptr<NSDictionary> attrs(std::initializer_list<std::pair<id, id>> extra) {
  auto d = NSMutableDictionary::make({{NSFontAttributeName, UIFont::systemFontOfSize(20)}});
  for (const auto& [k, v] : extra) d->setObject(v, k);
  return d;
}

}  // namespace

TEST(TextDrawing, GlyphsLandInsideTheMeasuredBox) {
  const char* texts[] = {"中文", "Velmo", "回扣10元"};
  for (const char* text : texts) {
    Canvas canvas(120, 40, 2, true);
    CGSize size = sizeWithAttributes(str(text), attrs({}));
    drawAtPoint(str(text), CGPointMake(10, 5), attrs({}));
    Ink ink = inkOf(canvas, 240, 80, dark);
    ASSERT_FALSE(ink.empty()) << text;
    EXPECT_GE(ink.x0, 10 * 2) << text;
    EXPECT_LE(ink.x1, static_cast<int>((10 + size.width) * 2) + 1) << text;
    EXPECT_GE(ink.y0, 5 * 2) << text;
    EXPECT_LE(ink.y1, static_cast<int>((5 + size.height) * 2) + 1) << text;
  }
}

TEST(TextDrawing, RunsKeepTheirColoursAndEmojiAreNotSplit) {
  Canvas canvas(80, 30, 2, true);
  auto text = NSMutableAttributedString::initWithString(str("红蓝"), attrs({}));
  text->addAttribute(NSForegroundColorAttributeName, UIColor::redColor(), NSMakeRange(0, 1));
  text->addAttribute(NSForegroundColorAttributeName, UIColor::blueColor(), NSMakeRange(1, 1));
  text->drawAtPoint(CGPointZero);
  Ink red = inkOf(canvas, 160, 60, reddish), blue = inkOf(canvas, 160, 60, bluish);
  ASSERT_FALSE(red.empty());
  ASSERT_FALSE(blue.empty());
  EXPECT_LT(red.x1, 40 + 2);  // the first ideograph: 20 points, 40 pixels
  EXPECT_GE(blue.x0, 40 - 2);

  // Red on the emoji's first unit only: the whole emoji is red, its neighbours black.
  Canvas emoji(80, 30, 2, true);
  auto face = NSMutableAttributedString::initWithString(str("a😀b"), attrs({}));
  face->addAttribute(NSForegroundColorAttributeName, UIColor::redColor(), NSMakeRange(1, 1));
  face->drawAtPoint(CGPointZero);
  const CGFloat a = sizeWithAttributes(str("a"), attrs({})).width;
  const CGFloat ae = sizeWithAttributes(str("a😀"), attrs({})).width;
  Ink inkRed = inkOf(emoji, 160, 60, reddish);
  ASSERT_FALSE(inkRed.empty());
  EXPECT_GE(inkRed.x0, static_cast<int>(a * 2) - 1);
  EXPECT_LE(inkRed.x1, static_cast<int>(ae * 2) + 1);
  Ink inkDarkInEmoji = inkOf(emoji, 160, 60, [&](RGBA c) { return dark(c); });
  EXPECT_FALSE(inkDarkInEmoji.empty());
  for (int y = 0; y < 60; ++y) {
    for (int x = static_cast<int>(a * 2) + 2; x < static_cast<int>(ae * 2) - 2; ++x) {
      EXPECT_FALSE(dark(emoji.at(x, y))) << x << "," << y;  // no black half of the emoji
    }
  }
}

// Lines of underlines and strike-throughs run under and through the blanks between words too,
// in their own colour when given one.
TEST(TextDrawing, UnderlinesAndStrikethroughsCrossTheBlanks) {
  const auto text = str("a    b");
  const int gap0 = static_cast<int>(sizeWithAttributes(str("a"), attrs({})).width * 2) + 3;
  const int gap1 = static_cast<int>(sizeWithAttributes(str("a    "), attrs({})).width * 2) - 3;
  auto one = NSNumber::numberWithInteger(NSUnderlineStyleSingle);
  struct Case {
    const char* what;
    std::shared_ptr<NSDictionary> attributes;
    bool (*ink)(RGBA);
    bool lined;
  } cases[] = {
      {"plain", attrs({}), dark, false},
      {"underline", attrs({{NSUnderlineStyleAttributeName, one}}), dark, true},
      {"strike-through", attrs({{NSStrikethroughStyleAttributeName, one}}), dark, true},
      {"red underline", attrs({{NSUnderlineStyleAttributeName, one}, {NSUnderlineColorAttributeName, UIColor::redColor()}}),
       reddish, true},
      {"blue strike-through",
       attrs({{NSStrikethroughStyleAttributeName, one}, {NSStrikethroughColorAttributeName, UIColor::blueColor()}}),
       bluish, true},
  };
  std::vector<Ink> lines;
  for (const auto& c : cases) {
    Canvas canvas(100, 30, 2, true);
    drawAtPoint(text, CGPointZero, c.attributes);
    Ink inGap;
    for (int y = 0; y < 60; ++y) {
      for (int x = gap0; x < gap1; ++x) {
        if (!c.ink(canvas.at(x, y))) continue;
        inGap.x0 = std::min(inGap.x0, x), inGap.y0 = std::min(inGap.y0, y);
        inGap.x1 = std::max(inGap.x1, x), inGap.y1 = std::max(inGap.y1, y);
      }
    }
    EXPECT_EQ(!inGap.empty(), c.lined) << c.what;
    if (c.lined && !inGap.empty()) {
      EXPECT_LE(inGap.y1 - inGap.y0, 6) << c.what << ": a line, not glyphs";
      EXPECT_LT(inkOf(canvas, 200, 60, dark).x0, gap0) << c.what << ": the glyphs keep their own colour";
    }
    lines.push_back(inGap);
  }
  EXPECT_LT(lines[2].y1, lines[1].y0) << "the strike-through runs above the underline";
  // (the colour tests count an anti-aliased edge row differently: one pixel either way)
  EXPECT_NEAR(lines[3].y0, lines[1].y0, 1) << "a colour changes nothing of the place";
  EXPECT_NEAR(lines[4].y0, lines[2].y0, 1);
}

TEST(TextDrawing, TruncatedAndClippedLinesStayInsideTheWidth) {
  auto text = str("这是一段很长很长的中文文本 with Latin words at the end");
  struct Case {
    NSLineBreakMode mode;
  } cases[] = {{NSLineBreakByTruncatingTail}, {NSLineBreakByTruncatingHead}, {NSLineBreakByTruncatingMiddle},
               {NSLineBreakByClipping}};
  std::vector<std::vector<RGBA>> pictures;
  for (const auto& c : cases) {
    auto style = NSMutableParagraphStyle::make();
    style->setLineBreakMode(c.mode);
    Canvas canvas(200, 30, 1, true);
    drawInRect(text, CGRectMake(0, 0, 100, 30), attrs({{NSParagraphStyleAttributeName, style}}));
    Ink ink = inkOf(canvas, 200, 30, dark);
    ASSERT_FALSE(ink.empty()) << c.mode;
    EXPECT_LE(ink.x1, 100) << c.mode;
    std::vector<RGBA> row;
    for (int y = 0; y < 30; ++y) {
      for (int x = 0; x < 100; ++x) row.push_back(canvas.at(x, y));
    }
    pictures.push_back(row);
  }
  // The ellipsis stands at a different place in each mode, and clipping has none.
  for (size_t i = 0; i < pictures.size(); ++i) {
    for (size_t j = i + 1; j < pictures.size(); ++j) EXPECT_NE(pictures[i], pictures[j]) << i << " " << j;
  }
}

TEST(TextDrawing, LayoutsAlignWithinTheRectangleAndCarryShadows) {
  auto shadow = NSShadow::make();
  shadow->setShadowOffset(CGSizeMake(3, 3));
  shadow->setShadowColor(UIColor::blueColor());
  auto text = NSAttributedString::initWithString(str("中"), attrs({{NSShadowAttributeName, shadow}}));
  zvt::text::TextLayoutOptions options;
  options.alignment = NSTextAlignmentCenter;
  auto layout = zvt::text::TextLayout::layout(text, options);
  Canvas canvas(100, 40, 1, true);
  layout->drawInRect(canvas.context, CGRectMake(0, 0, 100, 40));
  Ink ink = inkOf(canvas, 100, 40, dark), blue = inkOf(canvas, 100, 40, bluish);
  ASSERT_FALSE(ink.empty());
  ASSERT_FALSE(blue.empty());
  EXPECT_GE(ink.x0, 40 - 1);  // 20 points wide, centred in 100
  EXPECT_LE(ink.x1, 60 + 1);
  EXPECT_GT(blue.x1, ink.x1);  // the shadow falls right and down
  EXPECT_GT(blue.y1, ink.y1);

  // The older form draws in the context's fill colour.
  Canvas old(60, 30, 1, true);
  CGContextSetRGBFillColor(old.context, 1, 0, 0, 1);
  CGSize drawn = drawAtPoint(str("红"), CGPointMake(0, 0), UIFont::systemFontOfSize(20));
  EXPECT_NEAR(drawn.width, 20, 1e-6);
  EXPECT_FALSE(inkOf(old, 60, 30, reddish).empty());
  EXPECT_TRUE(inkOf(old, 60, 30, dark).empty());
}
