#include <gtest/gtest.h>

#include <numbers>

#include "platform/foundation/NSString.h"
#include "platform/graphics/CGAffineTransform.h"
#include "platform/graphics/UIColor.h"

namespace {

TEST(CGAffineTransform, ComposesInApplicationOrder) {
  // Scale first, then translate: (1, 1) -> (2, 2) -> (12, 2).
  auto t = CGAffineTransformConcat(CGAffineTransformMakeScale(2, 2), CGAffineTransformMakeTranslation(10, 0));
  EXPECT_EQ(CGPointApplyAffineTransform(CGPointMake(1, 1), t), CGPointMake(12, 2));
  // Translate(t, ...) translates in t's input space: scaled translation.
  auto u = CGAffineTransformTranslate(CGAffineTransformMakeScale(2, 2), 10, 0);
  EXPECT_EQ(CGPointApplyAffineTransform(CGPointMake(1, 1), u), CGPointMake(22, 2));
}

TEST(CGAffineTransform, QuarterTurnsAreExactAndInvertible) {
  struct Case {
    double angle;
    CGPoint expected;
  } cases[] = {{std::numbers::pi / 2, {0, 1}}, {std::numbers::pi, {-1, 0}}, {-std::numbers::pi / 2, {0, -1}},
               {2 * std::numbers::pi, {1, 0}}};
  for (const auto& c : cases) {
    auto t = CGAffineTransformMakeRotation(c.angle);
    EXPECT_EQ(CGPointApplyAffineTransform(CGPointMake(1, 0), t), c.expected) << c.angle;
  }
  auto t = CGAffineTransformTranslate(CGAffineTransformMakeRotation(0.3), 5, -7);
  auto back = CGPointApplyAffineTransform(CGPointApplyAffineTransform(CGPointMake(3, 4), t), CGAffineTransformInvert(t));
  EXPECT_NEAR(back.x, 3, 1e-9);
  EXPECT_NEAR(back.y, 4, 1e-9);
  auto singular = CGAffineTransformMakeScale(0, 1);
  EXPECT_EQ(CGAffineTransformInvert(singular), singular);
}

TEST(CGAffineTransform, RectBoundsTheTurnedCorners) {
  auto r = CGRectApplyAffineTransform(CGRectMake(0, 0, 100, 50), CGAffineTransformMakeRotation(std::numbers::pi / 2));
  EXPECT_EQ(r, CGRectMake(-50, 0, 50, 100));
  EXPECT_EQ(NSStringFromCGAffineTransform(CGAffineTransformMakeScale(2, 0.5))->utf8(), "[2, 0, 0, 0.5, 0, 0]");
}

TEST(UIColor, ComponentsEqualityAndText) {
  CGFloat r, g, b, a, w;
  ASSERT_TRUE(UIColor::orangeColor()->getRed(&r, &g, &b, &a));
  EXPECT_EQ(r, 1);
  EXPECT_EQ(g, 0.5);
  EXPECT_EQ(b, 0);
  ASSERT_TRUE(UIColor::grayColor()->getWhite(&w, &a));
  EXPECT_EQ(w, 0.5);
  EXPECT_FALSE(UIColor::redColor()->getWhite(&w, &a));
  // A white colour reads as RGB but is not equal to the RGB colour of the same value.
  ASSERT_TRUE(UIColor::whiteColor()->getRed(&r, &g, &b, &a));
  EXPECT_EQ(r + g + b, 3);
  EXPECT_FALSE(UIColor::whiteColor()->isEqual(UIColor::colorWithRed(1, 1, 1, 1)));
  EXPECT_TRUE(UIColor::colorWithRed(1, 0, 0, 1)->isEqual(UIColor::redColor()));
  EXPECT_EQ(UIColor::colorWithRed(2, 0.5, -1, 1)->description()->utf8(), "UIDeviceRGBColorSpace 1 0.5 0 1");
  EXPECT_EQ(UIColor::clearColor()->description()->utf8(), "UIDeviceWhiteColorSpace 0 0");
  EXPECT_EQ(UIColor::redColor()->colorWithAlphaComponent(0.25)->alpha(), 0.25);
  ASSERT_TRUE(UIColor::colorWithHue(0, 1, 1, 1)->getRed(&r, &g, &b, &a));
  EXPECT_EQ(r, 1);
  EXPECT_EQ(g, 0);
}

}  // namespace
