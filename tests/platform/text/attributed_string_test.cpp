// Attributed strings: runs over UTF-16 ranges (emoji included), effective ranges, edits and
// their inherited attributes, enumeration, range checks, equality and the layout cache.

#include <gtest/gtest.h>

#include "platform/foundation/NSException.h"
#include "platform/foundation/NSNumber.h"
#include "platform/graphics/UIColor.h"
#include "platform/text/NSAttributedString.h"
#include "platform/text/TextLayout.h"
#include "platform/text/UIFont.h"

using zvt::text::TextLayout;
using zvt::text::TextLayoutOptions;

namespace {

std::shared_ptr<NSString> str(const char* text) { return NSString::stringWithUTF8String(text); }

std::shared_ptr<UIColor> red() { return UIColor::redColor(); }

// "text{colour}" per run: r for red, - for none.
std::string runsOf(const NSAttributedString& s) {
  std::string out;
  s.enumerateAttribute(NSForegroundColorAttributeName, NSMakeRange(0, s.length()), 0,
                       [&](const id& value, NSRange range, bool*) {
                         out += s.string()->substringWithRange(range)->utf8();
                         out += value ? "{r}" : "{-}";
                       });
  return out;
}

}  // namespace

TEST(AttributedString, EditsKeepRunsOverUTF16Units) {
  using Edit = std::function<void(NSMutableAttributedString&)>;
  struct Case {
    const char* name;
    Edit edit;
    const char* runs;
  } cases[] = {
      {"colour a range", [](auto& s) { s.addAttribute(NSForegroundColorAttributeName, red(), NSMakeRange(2, 3)); },
       "回扣{-}10元{r}集分宝{-}"},
      {"neighbours join", [](auto& s) {
         s.addAttribute(NSForegroundColorAttributeName, red(), NSMakeRange(0, 2));
         s.addAttribute(NSForegroundColorAttributeName, red(), NSMakeRange(2, 2));
       }, "回扣10{r}元集分宝{-}"},
      {"remove inside", [](auto& s) {
         s.addAttribute(NSForegroundColorAttributeName, red(), NSMakeRange(0, 8));
         s.removeAttribute(NSForegroundColorAttributeName, NSMakeRange(3, 2));
       }, "回扣1{r}0元{-}集分宝{r}"},
      {"inserted text takes the replaced character's", [](auto& s) {
         s.addAttribute(NSForegroundColorAttributeName, red(), NSMakeRange(2, 2));
         s.replaceCharactersInRange(NSMakeRange(2, 2), str("200"));
       }, "回扣{-}200{r}元集分宝{-}"},
      {"inserting takes the one before", [](auto& s) {
         s.addAttribute(NSForegroundColorAttributeName, red(), NSMakeRange(0, 2));
         s.replaceCharactersInRange(NSMakeRange(2, 0), str("+"));
       }, "回扣+{r}10元集分宝{-}"},
      {"insert attributed", [](auto& s) {
         s.insertAttributedString(NSAttributedString::initWithString(
             str("!"), NSDictionary::make({{NSForegroundColorAttributeName, red()}})), 0);
       }, "!{r}回扣10元集分宝{-}"},
      {"append and delete", [](auto& s) {
         s.appendAttributedString(NSAttributedString::initWithString(
             str("啦"), NSDictionary::make({{NSForegroundColorAttributeName, red()}})));
         s.deleteCharactersInRange(NSMakeRange(0, 5));
       }, "集分宝{-}啦{r}"},
      {"set replaces all", [](auto& s) {
         s.addAttribute(NSForegroundColorAttributeName, red(), NSMakeRange(0, 8));
         s.setAttributes(nullptr, NSMakeRange(0, 8));
       }, "回扣10元集分宝{-}"},
      {"appending itself", [](auto& s) { s.appendAttributedString(s.copy()); }, "回扣10元集分宝回扣10元集分宝{-}"},
  };
  for (const auto& c : cases) {
    auto s = NSMutableAttributedString::initWithString(str("回扣10元集分宝"));
    c.edit(*s);
    EXPECT_EQ(runsOf(*s), c.runs) << c.name;
  }
}

TEST(AttributedString, EmojiSurrogatePairsAreTwoUnitsAndNeverSplitWhenLaidOut) {
  auto s = NSMutableAttributedString::initWithString(str("a😀b"));
  ASSERT_EQ(s->length(), 4u);  // a, high surrogate, low surrogate, b
  auto big = UIFont::systemFontOfSize(30), font = UIFont::systemFontOfSize(14);
  s->addAttribute(NSFontAttributeName, font, NSMakeRange(0, 4));
  s->addAttribute(NSFontAttributeName, big, NSMakeRange(1, 1));  // the first unit of the emoji only
  NSRange range;
  EXPECT_EQ(s->attributesAtIndex(1, &range)->objectForKey(NSFontAttributeName), big);
  EXPECT_EQ(range, NSMakeRange(1, 1));
  EXPECT_EQ(s->attributesAtIndex(2, &range)->objectForKey(NSFontAttributeName), font);
  EXPECT_EQ(range, NSMakeRange(2, 2));

  // Laid out, a character takes its first unit's attributes: the whole emoji is big.
  auto whole = NSMutableAttributedString::initWithString(str("a😀b"), NSDictionary::make({{NSFontAttributeName, font}}));
  whole->addAttribute(NSFontAttributeName, big, NSMakeRange(1, 2));
  auto lowOnly = NSMutableAttributedString::initWithString(str("a😀b"), NSDictionary::make({{NSFontAttributeName, font}}));
  lowOnly->addAttribute(NSFontAttributeName, big, NSMakeRange(2, 1));
  auto plain = NSAttributedString::initWithString(str("a😀b"), NSDictionary::make({{NSFontAttributeName, font}}));
  EXPECT_EQ(s->size(), whole->size());
  EXPECT_EQ(lowOnly->size(), plain->size());
  EXPECT_GT(whole->size().height, plain->size().height);

  // A cut through the pair leaves a lone surrogate that still measures (as a replacement mark).
  auto cut = s->attributedSubstringFromRange(NSMakeRange(0, 2));
  EXPECT_EQ(cut->length(), 2u);
  EXPECT_GT(cut->size().width, NSAttributedString::initWithString(str("a"), NSDictionary::make({{NSFontAttributeName, big}}))
                                   ->size().width -
                                   100);
  // Line ranges count units: one line covering all four.
  TextLayoutOptions o;
  auto layout = TextLayout::layout(whole, o);
  ASSERT_EQ(layout->lineCount(), 1u);
  EXPECT_EQ(layout->lines()[0].range, NSMakeRange(0, 4));
}

TEST(AttributedString, QueriesEnumerationAndRangeChecks) {
  auto s = NSMutableAttributedString::initWithString(str("abcdef"));
  s->addAttribute(NSForegroundColorAttributeName, red(), NSMakeRange(1, 2));
  s->addAttribute(NSKernAttributeName, 1.0_n, NSMakeRange(0, 6));
  NSRange range;
  EXPECT_TRUE(zvt::objectsEqual(s->attribute(NSKernAttributeName, 4, &range), 1.0_n));
  EXPECT_EQ(range, NSMakeRange(0, 6));  // longest: across the colour's runs
  EXPECT_FALSE(s->attribute(NSForegroundColorAttributeName, 4, &range));
  EXPECT_EQ(range, NSMakeRange(3, 3));
  s->attributesAtIndex(2, &range, NSMakeRange(2, 3));
  EXPECT_EQ(range, NSMakeRange(2, 1));

  std::vector<NSRange> seen;
  s->enumerateAttributesInRange(NSMakeRange(0, 6), NSAttributedStringEnumerationReverse,
                                [&](const std::shared_ptr<NSDictionary>&, NSRange r, bool* stop) {
                                  seen.push_back(r);
                                  *stop = seen.size() == 2;
                                });
  EXPECT_EQ(seen, (std::vector<NSRange>{NSMakeRange(3, 3), NSMakeRange(1, 2)}));

  using Call = std::function<void()>;
  std::pair<const char*, Call> bad[] = {
      {"index at end", [&] { s->attributesAtIndex(6, nullptr); }},
      {"range past end", [&] { s->addAttribute(NSKernAttributeName, 1.0_n, NSMakeRange(5, 2)); }},
      {"substring past end", [&] { s->attributedSubstringFromRange(NSMakeRange(7, 0)); }},
      {"replace past end", [&] { s->replaceCharactersInRange(NSMakeRange(3, 9), str("x")); }},
      {"overflowing range", [&] { s->deleteCharactersInRange(NSMakeRange(2, UINT64_MAX)); }},
  };
  for (const auto& [name, call] : bad) {
    try {
      call();
      ADD_FAILURE() << name;
    } catch (const NSException& e) {
      EXPECT_EQ(e.name()->utf8(), "NSRangeException") << name;
    }
  }
  EXPECT_THROW(s->addAttribute(NSKernAttributeName, nullptr, NSMakeRange(0, 1)), NSException);
  EXPECT_THROW(NSAttributedString::initWithString(nullptr), NSException);
  EXPECT_EQ(s->string()->utf8(), "abcdef");  // unchanged by the refused edits
}

TEST(AttributedString, ALayoutFoundInTheOlderGenerationKeepsItsOwnString) {
  // Found among the older layouts, an entry moves to the younger ones with the string it owns,
  // not with the caller's, which may go away at once.
  zvt::text::clearLayoutCache();
  auto attrs = NSDictionary::make({{NSFontAttributeName, UIFont::systemFontOfSize(14)}});
  TextLayoutOptions o;
  o.width = 100;
  auto measure = [&](const std::string& s) {
    return TextLayout::sizeOf(NSAttributedString::initWithString(str(s.c_str()), attrs), o);
  };
  CGSize first = measure("first");
  for (int i = 0; i < 2048; ++i) measure(std::to_string(i));
  EXPECT_EQ(measure("first"), first) << "found among the older layouts";
  for (int i = 0; i < 64; ++i) measure("again " + std::to_string(i));
  EXPECT_EQ(measure("first"), first) << "compared with the entry's own string";
  zvt::text::clearLayoutCache();
}

TEST(AttributedString, EqualityCopiesAndTheLayoutCache) {
  auto attrs = NSDictionary::make({{NSFontAttributeName, UIFont::systemFontOfSize(14)}});
  auto a = NSAttributedString::initWithString(str("登录"), attrs);
  auto b = NSAttributedString::initWithString(str("登录"), NSMutableDictionary::make({{NSFontAttributeName, UIFont::systemFontOfSize(14)}}));
  EXPECT_TRUE(a->isEqual(b));
  EXPECT_EQ(a->contentHash(), b->contentHash());
  EXPECT_FALSE(a->isEqual(NSAttributedString::initWithString(str("登录"))));
  EXPECT_EQ(a->copy(), a);  // immutable
  auto m = a->mutableCopy();
  m->addAttribute(NSForegroundColorAttributeName, red(), NSMakeRange(0, 1));
  EXPECT_FALSE(a->isEqual(m));
  EXPECT_NE(m->copy().get(), m.get());

  // Equal text and options give the cached layout; other options another one.
  zvt::text::clearLayoutCache();
  TextLayoutOptions o;
  o.width = 100;
  auto first = TextLayout::layout(a, o);
  EXPECT_EQ(TextLayout::layout(b, o), first);
  o.width = 50;
  EXPECT_NE(TextLayout::layout(a, o), first);
  EXPECT_EQ(zvt::text::layoutCacheSize(), 2u);
  // A mutable string changed after it was measured is measured again.
  auto text = NSMutableAttributedString::initWithString(str("登"), attrs);
  CGSize before = TextLayout::sizeOf(text, o);
  text->appendAttributedString(NSAttributedString::initWithString(str("录登录"), attrs));
  EXPECT_GT(TextLayout::sizeOf(text, o).width, before.width);
  zvt::text::clearLayoutCache();
  EXPECT_EQ(zvt::text::layoutCacheSize(), 0u);
}
