// Drawing by pixels: small scenes in UIKit image contexts and bitmap contexts, read back at
// chosen points: clips (rounded, rectangular, even-odd), stroke coverage at scale 2, alpha,
// transforms, arcs, fill rules, dashes, blend modes, layers, gradients, shadows, pattern
// colours, image orientations, resizable images and the PNG/JPEG round trip of a drawing.

#include <cairo.h>
#include <gtest/gtest.h>

#include <cmath>

#include "platform/graphics/CGGradient.h"
#include "platform/graphics/UIBezierPath.h"
#include "platform/graphics/UIColor.h"
#include "tests/platform/graphics/Canvas.h"
#include "tests/platform/graphics/GraphicsTestSupport.h"

using namespace zvt::test;

namespace {

// An image of `w` x `h` opaque pixels given as RGBA rows.
std::shared_ptr<UIImage> imageOf(size_t w, size_t h, std::vector<RGBA> pixels, CGFloat scale = 1,
                                 UIImageOrientation orientation = UIImageOrientationUp) {
  std::vector<uint8_t> bytes;
  for (const auto& p : pixels) bytes.insert(bytes.end(), {p.r, p.g, p.b, p.a});
  auto provider = CGDataProviderCreateWithCFData(NSData::dataWithVector(std::move(bytes)));
  auto image = CGImageCreate(w, h, 8, 32, w * 4, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedLast,
                             provider, nullptr, false, kCGRenderingIntentDefault);
  return UIImage::imageWithCGImage(image, scale, orientation);
}

const double kPi = 3.14159265358979323846;

}  // namespace

TEST(Drawing, RoundedClipLeavesTheCornerTransparent) {
  Canvas canvas(40, 40, 2);
  CGContextSaveGState(canvas.context);
  UIBezierPath::bezierPathWithRoundedRect(CGRectMake(0, 0, 40, 40), 10)->addClip();
  canvas.fill(CGRectMake(0, 0, 40, 40), 1, 0, 0);
  CGContextRestoreGState(canvas.context);
  EXPECT_EQ(canvas.at(0, 0), kClear);     // the corner
  EXPECT_EQ(canvas.at(3, 3), kClear);     // still outside the quarter circle
  EXPECT_EQ(canvas.at(79, 79), kClear);
  EXPECT_EQ(canvas.at(40, 40), kRed);     // the middle
  EXPECT_EQ(canvas.at(40, 0), kRed);      // an edge between corners
  EXPECT_EQ(canvas.at(8, 8), kRed);       // inside the corner's curve
  // After the restore the clip is gone.
  canvas.fill(CGRectMake(0, 0, 1, 1), 0, 0, 1);
  EXPECT_EQ(canvas.at(0, 0), kBlue);
}

TEST(Drawing, TwoPointStrokeAtScaleTwoCoversExactlyFourDevicePixels) {
  Canvas canvas(20, 20, 2, true);
  CGContextSetRGBStrokeColor(canvas.context, 0, 0, 0, 1);
  CGContextSetLineWidth(canvas.context, 2);
  CGContextMoveToPoint(canvas.context, 10, 0);
  CGContextAddLineToPoint(canvas.context, 10, 20);
  CGContextStrokePath(canvas.context);
  for (int y : {0, 17, 39}) {
    EXPECT_EQ(canvas.at(17, y), kWhite) << y;
    for (int x = 18; x < 22; ++x) EXPECT_EQ(canvas.at(x, y), kBlack) << x << "," << y;
    EXPECT_EQ(canvas.at(22, y), kWhite) << y;
  }
  // A border drawn inside a rectangle by half its width, as views draw theirs.
  Canvas border(10, 10, 2, true);
  CGContextSetRGBStrokeColor(border.context, 0, 0, 0, 1);
  CGContextStrokeRectWithWidth(border.context, CGRectMake(1, 1, 8, 8), 2);
  EXPECT_EQ(border.at(0, 10), kBlack);
  EXPECT_EQ(border.at(3, 10), kBlack);
  EXPECT_EQ(border.at(4, 10), kWhite);
}

TEST(Drawing, AlphaBlendsOverWhite) {
  struct Case {
    CGFloat alpha, colorAlpha;
  } cases[] = {{0.5, 1}, {1, 0.5}, {0.5, 0.5}, {0.25, 1}};
  for (const auto& c : cases) {
    Canvas canvas(4, 4, 1, true);
    CGContextSetAlpha(canvas.context, c.alpha);
    canvas.fill(CGRectMake(0, 0, 4, 4), 1, 0, 0, c.colorAlpha);
    const double a = c.alpha * c.colorAlpha;
    const auto other = static_cast<uint8_t>(std::lround(255 * (1 - a)));
    EXPECT_TRUE(near(canvas.at(2, 2), RGBA{255, other, other, 255}, 1)) << canvas.at(2, 2) << " alpha " << a;
  }
}

TEST(Drawing, ATransformedDrawingLandsWhereTheTransformSays) {
  Canvas canvas(40, 40);
  CGContextTranslateCTM(canvas.context, 20, 20);
  CGContextRotateCTM(canvas.context, kPi / 2);
  canvas.fill(CGRectMake(0, 0, 10, 4), 1, 0, 0);
  // The rectangle's centre, mapped by the CTM into device space (y up) and then to rows.
  const CGPoint device = CGContextConvertPointToDeviceSpace(canvas.context, CGPointMake(5, 2));
  const int x = static_cast<int>(device.x), y = static_cast<int>(40 - device.y);
  EXPECT_EQ(x, 18);
  EXPECT_EQ(y, 25);
  EXPECT_EQ(canvas.at(x, y), kRed);
  EXPECT_EQ(canvas.at(25, 21), kClear);  // where it would have been without the turn
  // Save and restore bring the transform back.
  CGContextSaveGState(canvas.context);
  CGContextScaleCTM(canvas.context, 3, 3);
  CGContextRestoreGState(canvas.context);
  EXPECT_TRUE(CGAffineTransformEqualToTransform(CGContextGetCTM(canvas.context),
                                                CGAffineTransformRotate(CGAffineTransformMake(1, 0, 0, -1, 20, 20), kPi / 2)));
}

TEST(Drawing, ClippingKeepsDrawingInside) {
  Canvas canvas(30, 30);
  CGContextSaveGState(canvas.context);
  CGContextClipToRect(canvas.context, CGRectMake(10, 10, 10, 10));
  EXPECT_EQ(CGContextGetClipBoundingBox(canvas.context), CGRectMake(10, 10, 10, 10));
  canvas.fill(CGRectMake(0, 0, 30, 30), 0, 1, 0);
  CGContextRestoreGState(canvas.context);
  EXPECT_EQ(canvas.at(15, 15), kGreen);
  EXPECT_EQ(canvas.at(9, 15), kClear);
  EXPECT_EQ(canvas.at(20, 15), kClear);
  // Even-odd: a frame with a hole.
  CGContextAddRect(canvas.context, CGRectMake(0, 0, 30, 30));
  CGContextAddRect(canvas.context, CGRectMake(5, 5, 5, 5));
  CGContextEOClip(canvas.context);
  canvas.fill(CGRectMake(0, 0, 30, 30), 0, 0, 1);
  EXPECT_EQ(canvas.at(7, 7), kClear);
  EXPECT_EQ(canvas.at(2, 2), kBlue);
}

TEST(Drawing, CapsAndJoinsShapeTheEndsAndCorners) {
  // Caps: a 6-point line from (10, 20) to (30, 20). Joins: a 16-point right angle through
  // (10, 30), (30, 30), (30, 10), whose outer corner is (38, 38) when mitred; a bevel cuts it
  // along x + y = 68, a round join keeps within 8 points of (30, 30).
  struct Case {
    const char* what;
    bool corner;
    CGLineCap cap;
    CGLineJoin join;
    CGFloat miterLimit;
    std::vector<std::pair<std::pair<int, int>, RGBA>> expect;
  } cases[] = {
      {"butt caps end at the end points", false, kCGLineCapButt, kCGLineJoinMiter, 10,
       {{{8, 20}, kClear}, {{10, 20}, kBlack}, {{30, 20}, kClear}}},
      {"square caps reach half the width beyond", false, kCGLineCapSquare, kCGLineJoinMiter, 10,
       {{{7, 17}, kBlack}, {{32, 22}, kBlack}, {{33, 20}, kClear}}},
      {"round caps are half discs", false, kCGLineCapRound, kCGLineJoinMiter, 10,
       {{{8, 20}, kBlack}, {{6, 17}, kClear}, {{31, 20}, kBlack}}},
      {"a mitre fills the corner", true, kCGLineCapButt, kCGLineJoinMiter, 10, {{{34, 34}, kBlack}, {{37, 37}, kBlack}}},
      {"a bevel cuts it", true, kCGLineCapButt, kCGLineJoinBevel, 10, {{{34, 34}, kClear}, {{37, 37}, kClear}}},
      {"a round join rounds it", true, kCGLineCapButt, kCGLineJoinRound, 10, {{{34, 34}, kBlack}, {{37, 37}, kClear}}},
      {"a mitre beyond its limit bevels", true, kCGLineCapButt, kCGLineJoinMiter, 1.2, {{{34, 34}, kClear}}},
  };
  for (const auto& c : cases) {
    Canvas canvas(48, 48);
    CGContextSetRGBStrokeColor(canvas.context, 0, 0, 0, 1);
    CGContextSetLineCap(canvas.context, c.cap);
    CGContextSetLineJoin(canvas.context, c.join);
    CGContextSetMiterLimit(canvas.context, c.miterLimit);
    if (c.corner) {
      CGContextSetLineWidth(canvas.context, 16);
      CGContextMoveToPoint(canvas.context, 10, 30);
      CGContextAddLineToPoint(canvas.context, 30, 30);
      CGContextAddLineToPoint(canvas.context, 30, 10);
    } else {
      CGContextSetLineWidth(canvas.context, 6);
      CGContextMoveToPoint(canvas.context, 10, 20);
      CGContextAddLineToPoint(canvas.context, 30, 20);
    }
    CGContextStrokePath(canvas.context);
    for (const auto& [point, color] : c.expect)
      EXPECT_EQ(canvas.at(point.first, point.second), color) << c.what << " at " << point.first << ", " << point.second;
  }
}

TEST(Drawing, FillRulesArcsAndDashes) {
  // Two rectangles running the same way: winding fills the inner one, even-odd does not.
  for (bool evenOdd : {false, true}) {
    Canvas canvas(20, 20);
    CGContextSetRGBFillColor(canvas.context, 1, 0, 0, 1);
    CGContextAddRect(canvas.context, CGRectMake(0, 0, 20, 20));
    CGContextAddRect(canvas.context, CGRectMake(5, 5, 10, 10));
    CGContextDrawPath(canvas.context, evenOdd ? kCGPathEOFill : kCGPathFill);
    EXPECT_EQ(canvas.at(10, 10), evenOdd ? kClear : kRed);
    EXPECT_EQ(canvas.at(2, 2), kRed);
    EXPECT_TRUE(CGContextIsPathEmpty(canvas.context));  // painting consumes the path
  }
  // A pie of a quarter from twelve o'clock, clockwise on the screen: the top-right quadrant.
  Canvas pie(40, 40);
  CGContextSetRGBFillColor(pie.context, 1, 0, 0, 1);
  CGContextMoveToPoint(pie.context, 20, 20);
  CGContextAddArc(pie.context, 20, 20, 18, -kPi / 2, -kPi / 2 + 2 * kPi * 0.25, 0);
  CGContextClosePath(pie.context);
  CGContextFillPath(pie.context);
  EXPECT_EQ(pie.at(28, 12), kRed);
  EXPECT_EQ(pie.at(12, 12), kClear);
  EXPECT_EQ(pie.at(28, 28), kClear);
  EXPECT_EQ(pie.at(12, 28), kClear);
  // The same through UIBezierPath (clockwise on the screen) and its hit test.
  auto path = UIBezierPath::bezierPathWithArcCenter(CGPointMake(20, 20), 18, -kPi / 2, 0, true);
  path->addLineToPoint(CGPointMake(20, 20));
  path->closePath();
  EXPECT_TRUE(path->containsPoint(CGPointMake(28, 12)));
  EXPECT_FALSE(path->containsPoint(CGPointMake(12, 12)));
  EXPECT_NEAR(path->bounds().size.width, 18, 1e-6);
  // Dashes of 4 on, 4 off along a line at y = 2.
  Canvas dashed(24, 4);
  CGContextSetRGBStrokeColor(dashed.context, 0, 0, 0, 1);
  const CGFloat pattern[] = {4, 4};
  CGContextSetLineDash(dashed.context, 0, pattern, 2);
  CGContextSetLineWidth(dashed.context, 2);
  CGPoint segment[] = {CGPointMake(0, 2), CGPointMake(24, 2)};
  CGContextStrokeLineSegments(dashed.context, segment, 2);
  for (int x = 0; x < 24; ++x) EXPECT_EQ(dashed.at(x, 2), (x / 4) % 2 == 0 ? kBlack : kClear) << x;
}

TEST(Drawing, BlendModesAndTransparencyLayers) {
  struct Case {
    CGBlendMode mode;
    CGFloat srcAlpha;
    RGBA expected;  // red source over an opaque yellow
  } cases[] = {
      {kCGBlendModeNormal, 1, kRed},
      {kCGBlendModeMultiply, 1, kRed},
      {kCGBlendModeCopy, 0.5, RGBA{128, 0, 0, 128}},
      {kCGBlendModeClear, 1, kClear},
      {kCGBlendModeDestinationOver, 1, RGBA{255, 255, 0, 255}},
      {kCGBlendModeScreen, 1, RGBA{255, 255, 0, 255}},
  };
  for (const auto& c : cases) {
    Canvas canvas(2, 2);
    canvas.fill(CGRectMake(0, 0, 2, 2), 1, 1, 0);
    CGContextSetBlendMode(canvas.context, c.mode);
    canvas.fill(CGRectMake(0, 0, 2, 2), 1, 0, 0, c.srcAlpha);
    EXPECT_TRUE(near(canvas.at(1, 1), c.expected, 1)) << c.mode << ": " << canvas.at(1, 1);
  }
  // Overlapping shapes in a layer at half alpha: the overlap is no darker than the rest.
  Canvas canvas(30, 10, 1, true);
  CGContextSetAlpha(canvas.context, 0.5);
  CGContextBeginTransparencyLayer(canvas.context, nullptr);
  canvas.fill(CGRectMake(0, 0, 20, 10), 0, 0, 0);
  canvas.fill(CGRectMake(10, 0, 20, 10), 0, 0, 0);
  CGContextEndTransparencyLayer(canvas.context);
  EXPECT_EQ(canvas.at(5, 5), canvas.at(15, 5));
  EXPECT_TRUE(near(canvas.at(15, 5), RGBA{128, 128, 128, 255}, 1)) << canvas.at(15, 5);
}

TEST(Drawing, GradientsHaveTheirEndColoursAtTheirEnds) {
  const CGFloat components[] = {1, 0, 0, 1, 0, 0, 1, 1};
  auto gradient = CGGradientCreateWithColorComponents(CGColorSpaceCreateDeviceRGB(), components, nullptr, 2);
  ASSERT_TRUE(gradient);
  struct Case {
    CGGradientDrawingOptions options;
    RGBA before, after;
  } cases[] = {
      {0, kClear, kClear},
      {kCGGradientDrawsBeforeStartLocation, kRed, kClear},
      {kCGGradientDrawsAfterEndLocation, kClear, kBlue},
      {kCGGradientDrawsBeforeStartLocation | kCGGradientDrawsAfterEndLocation, kRed, kBlue},
  };
  for (const auto& c : cases) {
    Canvas canvas(100, 4);
    CGContextDrawLinearGradient(canvas.context, gradient, CGPointMake(20, 0), CGPointMake(80, 0), c.options);
    EXPECT_EQ(canvas.at(5, 2), c.before) << c.options;
    EXPECT_EQ(canvas.at(95, 2), c.after) << c.options;
    EXPECT_TRUE(near(canvas.at(20, 2), kRed, 6)) << canvas.at(20, 2);
    EXPECT_TRUE(near(canvas.at(79, 2), kBlue, 6)) << canvas.at(79, 2);
    EXPECT_TRUE(near(canvas.at(50, 2), RGBA{128, 0, 128, 255}, 6)) << canvas.at(50, 2);
  }
  // Radial: transparent black at the centre to black at 0.75 at the radius and beyond.
  const CGFloat dim[] = {0, 0, 0, 0, 0, 0, 0, 0.75};
  auto radial = CGGradientCreateWithColorComponents(CGColorSpaceCreateDeviceRGB(), dim, nullptr, 2);
  Canvas canvas(40, 40);
  CGContextDrawRadialGradient(canvas.context, radial, CGPointMake(20, 20), 0, CGPointMake(20, 20), 10,
                              kCGGradientDrawsAfterEndLocation);
  // The pixel at the centre: its middle half a pixel off each way, t = 0.707 / 10.
  const auto centre = static_cast<uint8_t>(std::lround(0.75 * 255 * std::sqrt(0.5) / 10));
  EXPECT_TRUE(near(canvas.at(20, 20), RGBA{0, 0, 0, centre}, 1)) << canvas.at(20, 20);
  EXPECT_EQ(canvas.at(1, 1), (RGBA{0, 0, 0, 191}));
  EXPECT_FALSE(CGGradientCreateWithColorComponents(nullptr, components, nullptr, 2));
}

TEST(Drawing, ShadowsFallWhereTheOffsetSaysAndBlurSoftens) {
  // UIKit contexts: offsets in points, a positive height goes down.
  Canvas sharp(40, 40, 2);
  CGContextSetShadowWithColor(sharp.context, CGSizeMake(5, 5), 0, UIColor::blueColor()->CGColor());
  sharp.fill(CGRectMake(5, 5, 10, 10), 1, 0, 0);
  EXPECT_EQ(sharp.at(20, 20), kRed);
  EXPECT_EQ(sharp.at(36, 36), kBlue);   // shadow only, at (20..30) points
  EXPECT_EQ(sharp.at(8, 36), kClear);   // neither
  Canvas soft(40, 40, 1);
  CGContextSetShadowWithColor(soft.context, CGSizeMake(0, 0), 6, UIColor::blackColor()->CGColor());
  soft.fill(CGRectMake(10, 10, 20, 20), 1, 1, 1);
  const int near1 = soft.at(31, 20).a, near4 = soft.at(34, 20).a, far = soft.at(39, 20).a;
  EXPECT_GT(near1, near4);
  EXPECT_GT(near4, far);
  EXPECT_GT(near1, 0);
  // Without a colour: no shadow.
  CGContextSetShadowWithColor(soft.context, CGSizeZero, 0, nullptr);
  soft.fill(CGRectMake(0, 0, 2, 2), 1, 0, 0);
  EXPECT_EQ(soft.at(3, 3), kClear);
}

TEST(Drawing, PatternColoursTileFromTheOrigin) {
  Canvas canvas(6, 2);
  UIColor::colorWithPatternImage(imageOf(2, 1, {kRed, kBlue}))->setFill();
  CGContextFillRect(canvas.context, CGRectMake(0, 0, 6, 2));
  for (int x = 0; x < 6; ++x) EXPECT_EQ(canvas.at(x, 1), x % 2 ? kBlue : kRed) << x;
}

TEST(Drawing, ImagesAreDrawnUprightInEveryOrientation) {
  // A 2 x 1 bitmap, red then blue, displayed in each orientation.
  struct Case {
    UIImageOrientation orientation;
    std::vector<RGBA> shown;  // row by row
  } cases[] = {
      {UIImageOrientationUp, {kRed, kBlue}},          {UIImageOrientationUpMirrored, {kBlue, kRed}},
      {UIImageOrientationDown, {kBlue, kRed}},        {UIImageOrientationDownMirrored, {kRed, kBlue}},
      {UIImageOrientationLeft, {kBlue, kRed}},        {UIImageOrientationRight, {kRed, kBlue}},
      {UIImageOrientationLeftMirrored, {kRed, kBlue}}, {UIImageOrientationRightMirrored, {kBlue, kRed}},
  };
  for (const auto& c : cases) {
    auto image = imageOf(2, 1, {kRed, kBlue}, 1, c.orientation);
    const CGSize size = image->size();
    Canvas canvas(size.width, size.height);
    image->drawAtPoint(CGPointZero);
    const bool tall = size.height > size.width;
    EXPECT_EQ(canvas.at(0, 0), c.shown[0]) << c.orientation;
    EXPECT_EQ(tall ? canvas.at(0, 1) : canvas.at(1, 0), c.shown[1]) << c.orientation;
  }
  // CGContextDrawImage in a UIKit context shows the bitmap upside down, as on the device.
  auto tall = imageOf(1, 2, {kRed, kBlue});
  Canvas canvas(1, 2);
  CGContextDrawImage(canvas.context, CGRectMake(0, 0, 1, 2), tall->CGImage());
  EXPECT_EQ(canvas.at(0, 0), kBlue);
  // Content modes place the image: aspect fit centres a 2 x 1 image in a 4 x 4 box.
  Canvas fit(4, 4);
  zvt::graphics::drawImage(fit.context, *imageOf(2, 1, {kRed, kBlue}), CGRectMake(0, 0, 4, 4),
                           UIViewContentModeScaleAspectFit);
  EXPECT_EQ(fit.at(0, 0), kClear);
  EXPECT_EQ(fit.at(0, 1), kRed);
  EXPECT_EQ(fit.at(3, 2), kBlue);
  EXPECT_EQ(fit.at(3, 3), kClear);
}

TEST(Drawing, ResizableImagesKeepTheirCapsWhenStretched) {
  // 3 x 3 at scale 1: red corners, green edges, blue middle.
  const RGBA R = kRed, G = kGreen, B = kBlue;
  auto source = imageOf(3, 3, {R, G, R, G, B, G, R, G, R});
  std::pair<const char*, std::shared_ptr<UIImage>> images[] = {
      {"tile", source->resizableImageWithCapInsets(UIEdgeInsetsMake(1, 1, 1, 1))},
      {"stretch", source->resizableImageWithCapInsets(UIEdgeInsetsMake(1, 1, 1, 1), UIImageResizingModeStretch)},
      {"stretchable", source->stretchableImageWithLeftCapWidth(1, 1)},
  };
  for (const auto& [name, image] : images) {
    EXPECT_EQ(image->capInsets(), UIEdgeInsetsMake(1, 1, 1, 1)) << name;
    Canvas canvas(9, 5, 2);  // 18 x 10 pixels: each cap two pixels wide
    image->drawInRect(CGRectMake(0, 0, 9, 5));
    for (auto [x, y] : {std::pair{0, 0}, {1, 1}, {17, 0}, {16, 1}, {0, 9}, {17, 9}}) {
      EXPECT_EQ(canvas.at(x, y), R) << name << " " << x << "," << y;
    }
    for (auto [x, y] : {std::pair{2, 0}, {9, 1}, {15, 0}, {0, 2}, {1, 5}, {17, 7}, {9, 9}}) {
      EXPECT_EQ(canvas.at(x, y), G) << name << " " << x << "," << y;
    }
    for (auto [x, y] : {std::pair{2, 2}, {9, 5}, {15, 7}}) EXPECT_EQ(canvas.at(x, y), B) << name << " " << x << "," << y;
  }
  // Smaller than its caps: the caps shrink together and nothing spills outside.
  Canvas small(2, 2, 1);
  source->resizableImageWithCapInsets(UIEdgeInsetsMake(1, 1, 1, 1))->drawInRect(CGRectMake(0, 0, 1, 1));
  EXPECT_EQ(small.at(1, 1), kClear);
}

TEST(Drawing, ADrawingRoundTripsThroughPNGExactlyAndThroughJPEGClosely) {
  std::shared_ptr<UIImage> drawn;
  {
    Canvas canvas(16, 16, 2);
    canvas.fill(CGRectMake(0, 0, 16, 8), 1, 0.5, 0, 1);
    canvas.fill(CGRectMake(0, 8, 16, 8), 0, 0.3, 1, 0.6);  // translucent
    CGContextSetRGBStrokeColor(canvas.context, 0, 0, 0, 0.8);
    CGContextStrokeEllipseInRect(canvas.context, CGRectMake(2, 2, 12, 12));
    drawn = UIGraphicsGetImageFromCurrentImageContext();
  }
  ASSERT_TRUE(drawn);
  auto png = UIImage::imageWithData(UIImagePNGRepresentation(drawn));
  ASSERT_TRUE(png);
  EXPECT_EQ(renderedRGBA(png->CGImage()), renderedRGBA(drawn->CGImage()));
  auto jpeg = UIImage::imageWithData(UIImageJPEGRepresentation(drawn, 0.95));
  ASSERT_TRUE(jpeg);
  auto a = renderedRGBA(drawn->CGImage()), b = renderedRGBA(jpeg->CGImage());
  ASSERT_EQ(a.size(), b.size());
  // Away from the stroke, the opaque half keeps its colour within JPEG's error.
  const size_t i = (10 * 32 + 16) * 4;
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(a[i + k], b[i + k], 8) << k;
}

TEST(Drawing, BitmapContextsKeepTheOriginAtTheBottomLeft) {
  auto context = CGBitmapContextCreate(nullptr, 4, 4, 8, 16, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedLast);
  CGContextSetRGBFillColor(context, 0, 0, 1, 1);
  CGContextFillRect(context, CGRectMake(0, 0, 1, 1));
  const auto* p = static_cast<const uint8_t*>(CGBitmapContextGetData(context));
  EXPECT_EQ(p[3 * 16 + 2], 255);  // the last row in memory
  EXPECT_EQ(p[2], 0);
  // Writes by the caller between drawings are kept.
  auto* w = static_cast<uint8_t*>(CGBitmapContextGetData(context));
  w[0] = 255, w[3] = 255;
  CGContextFillRect(context, CGRectMake(3, 3, 1, 1));  // the top-right pixel
  EXPECT_EQ(w[0], 255);
  EXPECT_EQ(w[12 + 2], 255);
  // Nothing draws through a transform that cannot be inverted, and the context survives it.
  CGContextSaveGState(context);
  CGContextScaleCTM(context, 0, 0);
  CGContextFillRect(context, CGRectMake(0, 0, 4, 4));
  CGContextRestoreGState(context);
  EXPECT_EQ(p[16 + 4 + 2], 0);
  const CGFloat dashes[] = {0, 0};
  CGContextSetLineDash(context, 0, dashes, 2);  // all zero: solid
  CGContextStrokeRect(context, CGRectMake(1, 1, 2, 2));
  CGContextFillRect(context, CGRectMake(1, 1, 1, 1));
  EXPECT_EQ(p[2 * 16 + 4 + 2], 255);
}

TEST(Drawing, EveryBitmapLayoutTakesFillsAndKeepsTheRest) {
  // A 2 x 1 context over caller memory full of 0xAB; the right pixel filled with opaque red.
  struct Case {
    const char* name;
    size_t bpc;
    CGColorSpaceRef space;
    CGBitmapInfo info;
    std::vector<uint8_t> red;  // the filled pixel's bytes
  } cases[] = {
      {"RGBA", 8, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedLast, {255, 0, 0, 255}},
      {"ARGB", 8, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedFirst, {255, 255, 0, 0}},
      {"BGRA host", 8, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little,
       {0, 0, 255, 255}},
      {"xRGB", 8, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaNoneSkipFirst, {255, 255, 0, 0}},
      {"RGBx", 8, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaNoneSkipLast, {255, 0, 0, 255}},
      {"gray", 8, CGColorSpaceCreateDeviceGray(), kCGImageAlphaNone, {76}},
      {"CMYK", 8, CGColorSpaceCreateDeviceCMYK(), kCGImageAlphaNone, {0, 255, 255, 0}},
      {"RGBA 16", 16, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedLast, {255, 255, 0, 0, 0, 0, 255, 255}},
  };
  for (const auto& c : cases) {
    const size_t pixel = c.red.size();
    std::vector<uint8_t> memory(2 * pixel, 0xAB);
    auto context = CGBitmapContextCreate(memory.data(), 2, 1, c.bpc, 2 * pixel, c.space, c.info);
    ASSERT_TRUE(context) << c.name;
    CGContextSetRGBFillColor(context, 1, 0, 0, 1);
    CGContextFillRect(context, CGRectMake(1, 0, 1, 1));
    EXPECT_EQ(std::vector<uint8_t>(memory.begin() + pixel, memory.end()), c.red) << c.name;
    EXPECT_EQ(std::vector<uint8_t>(memory.begin(), memory.begin() + pixel), std::vector<uint8_t>(pixel, 0xAB)) << c.name;
  }
}

TEST(Drawing, ContextsOverACairoSurfaceUseUIKitCoordinates) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 20, 10);
  auto context = std::make_shared<CGContext>(surface, 2.0);
  ASSERT_TRUE(context->valid());
  EXPECT_EQ(CGContextGetClipBoundingBox(context), CGRectMake(0, 0, 10, 5));  // points
  CGContextSetRGBFillColor(context, 0, 1, 0, 1);
  CGContextFillRect(context, CGRectMake(0, 0, 1, 1));  // the top-left point: 2 x 2 pixels
  cairo_surface_flush(surface);
  const auto* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  EXPECT_EQ(data[stride + 4 + 1], 255);  // pixel (1, 1): green in host order
  EXPECT_EQ(data[stride + 8 + 1], 0);    // pixel (2, 1): untouched
  context.reset();
  cairo_surface_destroy(surface);
}

TEST(Drawing, ContentModesPlaceContent) {
  const CGRect box = CGRectMake(10, 20, 100, 50);
  const CGSize content = CGSizeMake(20, 10);
  struct Case {
    UIViewContentMode mode;
    CGRect expected;
  } cases[] = {
      {UIViewContentModeScaleToFill, box},
      {UIViewContentModeScaleAspectFit, CGRectMake(10, 20, 100, 50)},
      {UIViewContentModeScaleAspectFill, CGRectMake(10, 20, 100, 50)},
      {UIViewContentModeCenter, CGRectMake(50, 40, 20, 10)},
      {UIViewContentModeTop, CGRectMake(50, 20, 20, 10)},
      {UIViewContentModeBottomRight, CGRectMake(90, 60, 20, 10)},
      {UIViewContentModeLeft, CGRectMake(10, 40, 20, 10)},
  };
  for (const auto& c : cases) EXPECT_EQ(zvt::graphics::contentModeRect(c.mode, content, box), c.expected) << c.mode;
  // Shapes that differ from the box: fit letterboxes, fill overflows.
  const CGSize tall = CGSizeMake(10, 20);
  EXPECT_EQ(zvt::graphics::contentModeRect(UIViewContentModeScaleAspectFit, tall, box), CGRectMake(47.5, 20, 25, 50));
  EXPECT_EQ(zvt::graphics::contentModeRect(UIViewContentModeScaleAspectFill, tall, box), CGRectMake(10, -55, 100, 200));
  EXPECT_EQ(zvt::graphics::contentModeRect(UIViewContentModeCenter, CGSizeZero, box), box);
}
