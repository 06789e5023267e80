// Fonts and measuring: the installed families, names falling back to them, metrics, and sizes of
// plain and attributed text (growth, mixed scripts, wrapping, limits, alignment, spacing,
// truncation), compared with the same measuring calls, never with figures of another machine.

#include <glib-object.h>
#include <gtest/gtest.h>

#include <cmath>
#include <thread>

#include "platform/foundation/NSNumber.h"
#include "platform/text/NSAttributedString.h"
#include "platform/text/NSStringDrawing.h"
#include "platform/text/TextLayout.h"
#include "platform/text/UIFont.h"

using zvt::text::TextLayout;
using zvt::text::TextLayoutOptions;

namespace {

std::shared_ptr<NSString> str(const char* text) { return NSString::stringWithUTF8String(text); }

std::shared_ptr<NSDictionary> fontAttrs(const std::shared_ptr<UIFont>& font) {
  return NSDictionary::make({{NSFontAttributeName, font}});
}

CGSize measure(const char* text, CGFloat size = 14) {
  return sizeWithAttributes(str(text), fontAttrs(UIFont::systemFontOfSize(size)));
}

}  // namespace

TEST(Fonts, TheFamiliesTheDrawingNeedsAreInstalled) {
  EXPECT_EQ(zvt::text::missingFontPackages(), "") << "install the Debian packages named (scripts/deps.sh)";
}

TEST(Fonts, NamesResolveToInstalledFamilies) {
  struct Case {
    const char* name;
    const char* family;
    bool bold, italic;
  } cases[] = {
      {"HelveticaNeue", zvt::text::kSystemFontFamily, false, false},
      {"HelveticaNeue-Bold", zvt::text::kSystemFontFamily, true, false},
      {"PingFangSC-Medium", zvt::text::kSystemFontFamily, false, false},
      {"IowanOldStyle-Roman", zvt::text::kSerifFontFamily, false, false},
      {"Georgia-BoldItalic", zvt::text::kSerifFontFamily, true, true},
      {"Courier", zvt::text::kMonospaceFontFamily, false, false},
      {"NotoSansCJKsc-Bold", zvt::text::kSystemFontFamily, true, false},  // installed, by PostScript name
      {"dejavu serif", "DejaVu Serif", false, false},                      // installed, by family
      {"NoSuchFont", zvt::text::kSystemFontFamily, false, false},
  };
  for (const auto& c : cases) {
    auto font = UIFont::fontWithName(str(c.name), 15);
    ASSERT_TRUE(font) << c.name;
    EXPECT_EQ(font->familyName()->utf8(), c.family) << c.name;
    EXPECT_EQ(font->isBold(), c.bold) << c.name;
    EXPECT_EQ(font->isItalic(), c.italic) << c.name;
    EXPECT_EQ(font->fontName()->utf8(), c.name);
    EXPECT_EQ(font->pointSize(), 15);
  }
  EXPECT_FALSE(UIFont::fontWithName(nullptr, 12));
  // The system faces.
  auto regular = UIFont::systemFontOfSize(16), bold = UIFont::boldSystemFontOfSize(16);
  EXPECT_EQ(regular->familyName()->utf8(), zvt::text::kSystemFontFamily);
  EXPECT_FALSE(regular->isBold());
  EXPECT_TRUE(bold->isBold());
  EXPECT_EQ(regular->fontName()->utf8(), "NotoSansCJKsc-Regular");
  EXPECT_EQ(bold->fontName()->utf8(), "NotoSansCJKsc-Bold");
  // Shared objects, equality, other sizes, insane sizes.
  EXPECT_EQ(UIFont::systemFontOfSize(16), regular);
  EXPECT_FALSE(regular->isEqual(bold));
  EXPECT_TRUE(regular->fontWithSize(9)->isEqual(UIFont::systemFontOfSize(9)));
  EXPECT_EQ(UIFont::systemFontOfSize(0)->pointSize(), 12);
  EXPECT_EQ(UIFont::systemFontOfSize(-3)->pointSize(), 12);
  EXPECT_EQ(UIFont::systemFontOfSize(std::nan(""))->pointSize(), 12);
}

TEST(Fonts, MetricsHangTogetherAndScaleWithSize) {
  for (const auto& font : {UIFont::systemFontOfSize(14), UIFont::boldSystemFontOfSize(14),
                           UIFont::fontWithName(str("Georgia"), 14), UIFont::fontWithName(str("Menlo"), 14)}) {
    SCOPED_TRACE(font->description()->utf8());
    EXPECT_GT(font->ascender(), 0);
    EXPECT_LT(font->descender(), 0);
    EXPECT_GE(font->leading(), 0);
    EXPECT_DOUBLE_EQ(font->lineHeight(), font->ascender() - font->descender() + font->leading());
    EXPECT_GT(font->capHeight(), font->xHeight());
    EXPECT_GT(font->xHeight(), 0);
    EXPECT_LT(font->capHeight(), font->ascender());
    auto twice = font->fontWithSize(28);  // Pango's metrics come in 1/1024 points
    EXPECT_NEAR(twice->ascender(), 2 * font->ascender(), 2.0 / 1024);
    EXPECT_NEAR(twice->lineHeight(), 2 * font->lineHeight(), 3.0 / 1024);
    EXPECT_NEAR(twice->capHeight(), 2 * font->capHeight(), 1e-9);
  }
}

TEST(Measuring, WidthsGrowWithTextAndOneLineIsOneLineHigh) {
  const char* texts[] = {"", "a", "ab", "abc", "abc def", "abc def 中", "abc def 中文", "abc def 中文测试"};
  CGFloat previous = -1;
  const CGFloat lineHeight = UIFont::systemFontOfSize(14)->ascender() - UIFont::systemFontOfSize(14)->descender();
  for (const char* text : texts) {
    CGSize size = measure(text);
    EXPECT_GT(size.width, previous) << text;
    previous = size.width;
    EXPECT_NEAR(size.height, *text ? lineHeight : 0, 1e-6) << text;
  }
  // Larger fonts measure larger, in proportion (unhinted metrics).
  EXPECT_NEAR(measure("abc 中文", 28).width, 2 * measure("abc 中文", 14).width, 1e-3);
  // Bold Latin is wider than regular.
  EXPECT_GT(sizeWithFont(str("Velmo"), UIFont::boldSystemFontOfSize(14)).width, measure("Velmo").width);
  EXPECT_EQ(sizeWithAttributes(nullptr, nullptr), CGSizeZero);
  // No font: the system font of 12 points.
  EXPECT_EQ(sizeWithAttributes(str("abc"), nullptr), measure("abc", 12));
}

TEST(Measuring, ChineseAndLatinMixAdditively) {
  // Ideographs are one em wide in the system family; mixing scripts adds their widths.
  EXPECT_NEAR(measure("我的订单").width, 4 * 14, 1e-6);
  struct Case {
    const char *whole, *first, *second;
  } cases[] = {{"我的订单abc", "我的订单", "abc"}, {"Velmo集分宝", "Velmo", "集分宝"}, {"回扣10元", "回扣", "10元"}};
  for (const auto& c : cases) {
    EXPECT_NEAR(measure(c.whole).width, measure(c.first).width + measure(c.second).width, 0.05) << c.whole;
  }
}

TEST(Measuring, AMiddleDotAfterLatinTextIsNarrowAndBetweenChineseFullWidth) {
  const CGFloat size = 14;
  // How much a middle dot adds between its neighbours.
  auto dot = [&](const char* with, const char* without) { return measure(with, size).width - measure(without, size).width; };
  struct Case {
    const char* with;
    const char* without;
    bool narrow;
  } cases[] = {
      {"A\u00B7B", "AB", true},
      {"12.5% \u00B7 \u6DD8\u5B9D", "12.5%  \u6DD8\u5B9D", true},
      {"iPhone\u00B7\u6DD8\u5B9D", "iPhone\u6DD8\u5B9D", true},
      {"\u8FC8\u514B\u5C14\u00B7\u6770\u514B\u900A", "\u8FC8\u514B\u5C14\u6770\u514B\u900A", false},
      {"\u00B7\u6DD8", "\u6DD8", false},
  };
  for (const auto& c : cases) {
    const CGFloat added = dot(c.with, c.without);
    if (c.narrow) {
      EXPECT_LT(added, size * 0.5) << c.with;
      EXPECT_GT(added, 0) << c.with;
    } else {
      EXPECT_GT(added, size * 0.9) << c.with;
    }
  }
}

TEST(Measuring, BoundingRectsWrapWithinTheWidthAndStopAtTheHeight) {
  auto attrs = fontAttrs(UIFont::systemFontOfSize(14));
  auto text = str("亲，您的手机网络不顺畅哦~ 请检查网络设置后点击重试，或者稍后再来看看吧。");
  const CGFloat oneLine = measure("亲").height;
  const CGFloat natural = sizeWithAttributes(text, attrs).width;
  struct Case {
    CGSize limit;
    NSStringDrawingOptions options;
    int lines;  // -1: as many as wrapping within the width gives
  } cases[] = {
      {CGSizeMake(100, 0), NSStringDrawingUsesLineFragmentOrigin, -1},
      {CGSizeMake(100, 1000), NSStringDrawingUsesLineFragmentOrigin, -1},
      {CGSizeMake(100, oneLine * 2.5), NSStringDrawingUsesLineFragmentOrigin, 2},
      {CGSizeMake(100, 3), NSStringDrawingUsesLineFragmentOrigin, 1},  // the first line always counts
      {CGSizeMake(100, 0), 0, 1},                                       // one line without the option
  };
  const int wrapped = static_cast<int>(std::ceil(natural / 100.0));
  for (const auto& c : cases) {
    CGRect rect = boundingRectWithSize(text, c.limit, c.options, attrs, nullptr);
    int lines = c.lines < 0 ? std::max(wrapped, static_cast<int>(std::lround(rect.size.height / oneLine))) : c.lines;
    EXPECT_NEAR(rect.size.height, lines * oneLine, 1e-6) << c.limit.height << " " << c.options;
    if (c.options & NSStringDrawingUsesLineFragmentOrigin) {
      EXPECT_LE(rect.size.width, 100);
      EXPECT_EQ(rect.origin, CGPointZero);
    } else {
      EXPECT_NEAR(rect.size.width, natural, 1e-6);
      EXPECT_NEAR(rect.origin.y, -UIFont::systemFontOfSize(14)->ascender(), 1e-6);  // the baseline at 0
    }
  }
  EXPECT_GE(boundingRectWithSize(text, CGSizeMake(100, 0), NSStringDrawingUsesLineFragmentOrigin, attrs, nullptr)
                .size.height,
            wrapped * oneLine);
}

TEST(Measuring, ParagraphStylesAlignSpaceAndIndent) {
  auto font = UIFont::systemFontOfSize(14);
  const CGFloat lineHeight = font->ascender() - font->descender();
  auto layoutWith = [&](const std::function<void(NSMutableParagraphStyle&)>& set, const char* text, CGFloat width) {
    auto style = NSMutableParagraphStyle::make();
    set(*style);
    auto attributed = NSAttributedString::initWithString(
        str(text), NSDictionary::make({{NSFontAttributeName, font}, {NSParagraphStyleAttributeName, style}}));
    TextLayoutOptions o;
    o.width = width;
    return TextLayout::layout(attributed, o);
  };
  const CGFloat w = measure("中文").width;
  auto centred = layoutWith([](auto& s) { s.setAlignment(NSTextAlignmentCenter); }, "中文", 100);
  EXPECT_NEAR(centred->lines()[0].rect.origin.x, (100 - w) / 2, 1e-6);
  auto right = layoutWith([](auto& s) { s.setAlignment(NSTextAlignmentRight); }, "中文", 100);
  EXPECT_NEAR(right->lines()[0].rect.origin.x, 100 - w, 1e-6);
  auto spaced = layoutWith([](auto& s) { s.setLineSpacing(6); }, "中文\n中文", 100);
  EXPECT_NEAR(spaced->size().height, 2 * lineHeight + 6, 1e-6);
  auto indented = layoutWith([](auto& s) { s.setFirstLineHeadIndent(20); }, "中文中文中文中文", 100);
  EXPECT_NEAR(indented->lines()[0].rect.origin.x, 20, 1e-6);
  EXPECT_NEAR(indented->lines()[1].rect.origin.x, 0, 1e-6);
  // Kern adds between characters.
  auto kerned = NSAttributedString::initWithString(
      str("abcd"), NSDictionary::make({{NSFontAttributeName, font}, {NSKernAttributeName, 2.0_n}}));
  EXPECT_NEAR(kerned->size().width, measure("abcd").width + 3 * 2, 0.01);
}

TEST(Measuring, LineLimitsAndTruncation) {
  auto attributed = NSAttributedString::initWithString(
      str("这是一段很长的中文文本 used to check how lines wrap and how the last one ends"),
      fontAttrs(UIFont::systemFontOfSize(14)));
  const CGFloat lineHeight = measure("中").height;
  struct Case {
    NSInteger lines;
    NSLineBreakMode mode;
    NSUInteger expectedLines;
    bool wider;  // the single line may exceed the width (clipped when drawn)
  } cases[] = {
      {1, NSLineBreakByTruncatingTail, 1, false},  {1, NSLineBreakByTruncatingHead, 1, false},
      {1, NSLineBreakByTruncatingMiddle, 1, false}, {1, NSLineBreakByWordWrapping, 1, false},
      {1, NSLineBreakByClipping, 1, true},          {2, NSLineBreakByTruncatingTail, 2, false},
      {3, NSLineBreakByCharWrapping, 3, false},
  };
  for (const auto& c : cases) {
    TextLayoutOptions o;
    o.width = 120;
    o.numberOfLines = c.lines;
    o.lineBreakMode = c.mode;
    auto layout = TextLayout::layout(attributed, o);
    SCOPED_TRACE(c.mode);
    EXPECT_EQ(layout->lineCount(), c.expectedLines);
    EXPECT_TRUE(layout->isTruncated());
    EXPECT_NEAR(layout->size().height, c.expectedLines * lineHeight, 1e-6);
    if (c.wider) {
      EXPECT_GT(layout->size().width, 120);
    } else {
      EXPECT_LE(layout->size().width, 120);
    }
  }
  // The tail ellipsis stands for the end: the truncated line is no wider than the width but
  // wider than the words that fit without it would need to be cut to.
  TextLayoutOptions tail;
  tail.width = 120;
  tail.numberOfLines = 1;
  tail.lineBreakMode = NSLineBreakByTruncatingTail;
  EXPECT_GT(TextLayout::layout(attributed, tail)->size().width, 120 - 2 * 14);
  // Text that fits is not truncated.
  tail.width = 1000;
  tail.numberOfLines = 0;
  EXPECT_FALSE(TextLayout::layout(attributed, tail)->isTruncated());
  EXPECT_EQ(TextLayout::layout(attributed, tail)->lineCount(), 1u);
  // UIKit's string drawing: a truncating paragraph style keeps each paragraph on one line.
  auto style = NSMutableParagraphStyle::make();
  style->setLineBreakMode(NSLineBreakByTruncatingTail);
  auto twoParagraphs = NSAttributedString::initWithString(
      str("第一段很长很长很长很长很长很长很长很长\n第二段"),
      NSDictionary::make({{NSFontAttributeName, UIFont::systemFontOfSize(14)}, {NSParagraphStyleAttributeName, style}}));
  CGRect rect = twoParagraphs->boundingRectWithSize(CGSizeMake(100, 0), NSStringDrawingUsesLineFragmentOrigin, nullptr);
  EXPECT_NEAR(rect.size.height, 2 * lineHeight, 1e-6);
  EXPECT_LE(rect.size.width, 100);
}

TEST(Measuring, IndentsLastVisibleLinesAndTheOlderForms) {
  auto font = UIFont::systemFontOfSize(14);
  const CGFloat lineHeight = font->ascender() - font->descender();
  auto text = str("中文中文中文中文中文中文中文中文中文中文");  // 20 ideographs, 280 points
  // Head and tail indents narrow every line; the first line has its own indent.
  auto style = NSMutableParagraphStyle::make();
  style->setHeadIndent(14);
  style->setFirstLineHeadIndent(28);
  style->setTailIndent(-14);
  auto indented = NSAttributedString::initWithString(
      text, NSDictionary::make({{NSFontAttributeName, font}, {NSParagraphStyleAttributeName, style}}));
  TextLayoutOptions o;
  o.width = 140;  // 10 ideographs; lines of 112 and 98 points left after the indents
  auto layout = TextLayout::layout(indented, o);
  ASSERT_GE(layout->lineCount(), 2u);
  EXPECT_NEAR(layout->lines()[0].rect.origin.x, 28, 1e-6);
  EXPECT_NEAR(layout->lines()[0].rect.size.width, 7 * 14, 1e-6);
  EXPECT_NEAR(layout->lines()[1].rect.origin.x, 14, 1e-6);
  EXPECT_NEAR(layout->lines()[1].rect.size.width, 8 * 14, 1e-6);
  EXPECT_EQ(layout->lines()[0].range, NSMakeRange(0, 7));
  // The last line under a height limit takes an ellipsis when asked to.
  auto plain = fontAttrs(font);
  CGRect cut = boundingRectWithSize(text, CGSizeMake(100, lineHeight * 2),
                                    NSStringDrawingUsesLineFragmentOrigin | NSStringDrawingTruncatesLastVisibleLine, plain,
                                    nullptr);
  EXPECT_NEAR(cut.size.height, 2 * lineHeight, 1e-6);
  auto truncated = TextLayout::layout(text, plain, [&] {
    TextLayoutOptions t;
    t.width = 100, t.height = lineHeight * 2, t.truncatesLastVisibleLine = true;
    return t;
  }());
  EXPECT_TRUE(truncated->isTruncated());
  // The font's leading spaces lines only when asked (Noto's line gap may be 0: never less).
  CGRect led = boundingRectWithSize(text, CGSizeMake(100, 0),
                                    NSStringDrawingUsesLineFragmentOrigin | NSStringDrawingUsesFontLeading, plain, nullptr);
  CGRect unled = boundingRectWithSize(text, CGSizeMake(100, 0), NSStringDrawingUsesLineFragmentOrigin, plain, nullptr);
  EXPECT_GE(led.size.height, unled.size.height);
  // The older form wraps within the size and stops at its height.
  EXPECT_NEAR(sizeWithFont(text, font, CGSizeMake(140, 1000), NSLineBreakByWordWrapping).height, 2 * lineHeight, 1e-6);
  EXPECT_NEAR(sizeWithFont(text, font, CGSizeMake(140, lineHeight * 1.5), NSLineBreakByTruncatingTail).height,
              lineHeight, 1e-6);
}

TEST(Measuring, OtherThreadsMeasureAlikeAndTheCacheStaysBounded) {
  auto attrs = fontAttrs(UIFont::systemFontOfSize(15));
  std::vector<CGSize> here;
  for (int i = 0; i < 20; ++i) here.push_back(sizeWithAttributes(str(("回扣" + std::to_string(i) + "元").c_str()), attrs));
  std::vector<CGSize> there(20);
  std::shared_ptr<const TextLayout> made;
  std::thread worker([&] {
    for (int i = 0; i < 20; ++i) there[i] = sizeWithAttributes(str(("回扣" + std::to_string(i) + "元").c_str()), attrs);
    made = TextLayout::layout(NSAttributedString::initWithString(str("集分宝"), attrs), TextLayoutOptions());
  });
  worker.join();
  EXPECT_EQ(here, there);
  // A layout made on a thread that has ended still draws here.
  PangoLayout* layout = made->copyPangoLayout();
  EXPECT_NE(layout, nullptr);
  g_object_unref(layout);
  // Thousands of different texts: old ones go, the cache keeps two generations at most.
  zvt::text::clearLayoutCache();
  for (int i = 0; i < 5000; ++i) sizeWithAttributes(str(std::to_string(i).c_str()), attrs);
  EXPECT_LE(zvt::text::layoutCacheSize(), 4096u);
  EXPECT_GE(zvt::text::layoutCacheSize(), 2048u);
}
