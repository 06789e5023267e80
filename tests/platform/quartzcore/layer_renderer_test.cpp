// The layer renderer, checked by device pixels of small scenes: what each property draws, where
// transforms and clips put it, presentation values mid-animation, transitions, and frames that
// redraw only what changed yet match a full drawing pixel for pixel.

#include <gtest/gtest.h>

#include <cairo.h>

#include <cmath>
#include <numbers>
#include <random>

#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSValue.h"
#include "platform/graphics/CGGradient.h"
#include "platform/graphics/UIBezierPath.h"
#include "platform/graphics/UIColor.h"
#include "platform/graphics/UIImage.h"
#include "platform/quartzcore/CALayer.h"
#include "platform/quartzcore/LayerRenderer.h"
#include "tests/platform/graphics/Canvas.h"
#include "tests/support/MainLoop.h"

using zvt::ca::LayerRenderer;
using zvt::test::kBlack;
using zvt::test::kBlue;
using zvt::test::kClear;
using zvt::test::kGreen;
using zvt::test::kRed;
using zvt::test::kWhite;
using zvt::test::near;
using zvt::test::RGBA;

namespace {

CGColorRef rgb(double r, double g, double b, double a = 1) { return CGColorCreateGenericRGB(r, g, b, a); }

// Changes made without implicit animations (layers in a tree animate their changes).
void quietly(const std::function<void()>& change) {
  CATransaction::begin();
  CATransaction::setDisableActions(true);
  change();
  CATransaction::commit();
}

std::shared_ptr<CALayer> box(CGRect frame, const CGColorRef& color) {
  auto layer = CALayer::layer();
  layer->setFrame(frame);
  layer->setBackgroundColor(color);
  return layer;
}

// A surface of device pixels that a renderer keeps up to date.
struct Screen {
  Screen(int w, int h, CGFloat s = 1) : width(w), height(h), scale(s) {
    surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  }
  ~Screen() { cairo_surface_destroy(surface); }
  Screen(const Screen&) = delete;
  Screen& operator=(const Screen&) = delete;

  std::vector<zvt::ca::PixelRect> render(const std::vector<std::shared_ptr<CALayer>>& roots,
                                         const CGColorRef& backdrop = nullptr) {
    std::vector<LayerRenderer::Root> list;
    for (const auto& r : roots) list.push_back({r, CGAffineTransformIdentity});
    return renderer.renderFrame(surface, scale, list, CACurrentMediaTime(), backdrop);
  }
  RGBA at(int x, int y) const {
    const uint8_t* p = cairo_image_surface_get_data(surface) +
                       static_cast<size_t>(y) * static_cast<size_t>(cairo_image_surface_get_stride(surface)) +
                       static_cast<size_t>(x) * 4;
    return RGBA{p[2], p[1], p[0], p[3]};
  }

  int width, height;
  CGFloat scale;
  cairo_surface_t* surface;
  LayerRenderer renderer;
};

// A layer that draws through a function into its backing store.
class Drawn : public CALayer {
 public:
  explicit Drawn(std::function<void(const CGContextRef&)> draw) : draw_(std::move(draw)) {}
  void drawInContext(const CGContextRef& context) override { draw_(context); }

 private:
  std::function<void(const CGContextRef&)> draw_;
};

std::shared_ptr<Drawn> drawn(CGRect frame, CGFloat scale, std::function<void(const CGContextRef&)> draw) {
  auto layer = std::make_shared<Drawn>(std::move(draw));
  layer->setFrame(frame);
  layer->setContentsScale(scale);
  layer->setNeedsDisplay();
  layer->displayIfNeeded();
  return layer;
}

// An image of the pixels (premultiplied RGBA), w x h at scale 1.
CGImageRef imageOf(int w, int h, const std::function<RGBA(int, int)>& pixel) {
  std::vector<uint8_t> bytes(static_cast<size_t>(w * h * 4));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      RGBA c = pixel(x, y);
      uint8_t* p = &bytes[static_cast<size_t>((y * w + x) * 4)];
      p[0] = c.r, p[1] = c.g, p[2] = c.b, p[3] = c.a;
    }
  return CGImageCreate(static_cast<size_t>(w), static_cast<size_t>(h), 8, 32, static_cast<size_t>(w * 4),
                       CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedLast,
                       CGDataProviderCreateWithCFData(NSData::dataWithVector(std::move(bytes))), nullptr, false,
                       kCGRenderingIntentDefault);
}

}  // namespace

TEST(LayerRenderer, CornersMasksAndBorders) {
  // 40 x 40 points at scale 2: a red square with corner radius 10, optionally masking a red
  // sublayer that fills it and a 2-point black border.
  struct Case {
    const char* what;
    bool masks;
    bool sublayer;
    CGFloat border;
    RGBA corner, edgeInside;  // device pixel (1, 1); pixel (4, 40) just inside a 2-pt border
  } cases[] = {
      {"a rounded background leaves the corner transparent", false, false, 0, kClear, kRed},
      {"an unmasked sublayer keeps its square corner", false, true, 0, kRed, kRed},
      {"masking to bounds rounds the sublayer too", true, true, 0, kClear, kRed},
      {"the border follows the rounding", true, true, 2, kClear, kRed},
  };
  for (const auto& c : cases) {
    Screen screen(80, 80, 2);
    auto layer = box(CGRectMake(0, 0, 40, 40), c.sublayer ? nullptr : rgb(1, 0, 0));
    layer->setCornerRadius(10);
    layer->setMasksToBounds(c.masks);
    if (c.sublayer) layer->addSublayer(box(CGRectMake(0, 0, 40, 40), rgb(1, 0, 0)));
    if (c.border > 0) {
      layer->setBorderWidth(c.border);
      layer->setBorderColor(rgb(0, 0, 0));
    }
    screen.render({layer});
    EXPECT_EQ(screen.at(1, 1), c.corner) << c.what;
    EXPECT_EQ(screen.at(40, 40), kRed) << c.what;
    if (c.border > 0) {
      // Exactly four device pixels of border along each straight edge.
      for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(screen.at(i, 40), kBlack) << c.what << " left " << i;
        EXPECT_EQ(screen.at(79 - i, 40), kBlack) << c.what << " right " << i;
        EXPECT_EQ(screen.at(40, i), kBlack) << c.what << " top " << i;
        EXPECT_EQ(screen.at(40, 79 - i), kBlack) << c.what << " bottom " << i;
      }
      EXPECT_EQ(screen.at(4, 40), kRed) << c.what;
      EXPECT_EQ(screen.at(75, 40), kRed) << c.what;
    }
  }
}

TEST(LayerRenderer, OpacityBlendsAsOneGroup) {
  Screen screen(40, 20);
  auto white = box(CGRectMake(0, 0, 40, 20), rgb(1, 1, 1));
  // Half-transparent red over white; and a half-transparent parent whose two opaque children
  // overlap: the overlap shows no darker than the rest, as the parent is one group.
  auto single = box(CGRectMake(0, 0, 10, 10), rgb(1, 0, 0));
  single->setOpacity(0.5);
  auto parent = CALayer::layer();
  parent->setFrame(CGRectMake(20, 0, 20, 10));
  parent->setOpacity(0.5);
  parent->addSublayer(box(CGRectMake(0, 0, 12, 10), rgb(0, 0, 1)));
  parent->addSublayer(box(CGRectMake(8, 0, 12, 10), rgb(0, 0, 1)));
  auto hidden = box(CGRectMake(0, 10, 40, 10), rgb(0, 0, 0));
  hidden->setHidden(true);
  white->setSublayers({single, parent, hidden});
  screen.render({white});
  EXPECT_TRUE(near(screen.at(5, 5), RGBA{255, 128, 128, 255}, 1)) << screen.at(5, 5);
  EXPECT_EQ(screen.at(22, 5), screen.at(30, 5));
  EXPECT_TRUE(near(screen.at(30, 5), RGBA{128, 128, 255, 255}, 1)) << screen.at(30, 5);
  EXPECT_EQ(screen.at(5, 15), kWhite) << "hidden layers draw nothing";
}

TEST(LayerRenderer, TransformsAndClipsPlaceWhatIsDrawn) {
  Screen screen(100, 100);
  auto root = box(CGRectMake(0, 0, 100, 100), rgb(1, 1, 1));
  // A 40 x 20 layer turned a quarter about its centre (50, 30), with a green mark at its top left.
  auto turned = box(CGRectMake(30, 20, 40, 20), rgb(0, 0, 1));
  auto mark = box(CGRectMake(0, 0, 5, 5), rgb(0, 1, 0));
  turned->addSublayer(mark);
  turned->setAffineTransform(CGAffineTransformMakeRotation(std::numbers::pi / 2));
  // A clipping layer whose child reaches out of it.
  auto clip = box(CGRectMake(10, 70, 20, 20), rgb(0, 0, 0));
  clip->setMasksToBounds(true);
  clip->addSublayer(box(CGRectMake(10, 10, 40, 40), rgb(1, 0, 0)));
  root->setSublayers({turned, clip});
  screen.render({root});

  CGRect where = mark->convertRectToLayer(mark->bounds(), root);
  EXPECT_NEAR(where.origin.x, 55, 1e-9);
  EXPECT_NEAR(where.origin.y, 10, 1e-9);
  EXPECT_EQ(screen.at(static_cast<int>(where.origin.x) + 2, static_cast<int>(where.origin.y) + 2), kGreen);
  EXPECT_EQ(screen.at(50, 45), kBlue) << "the turned layer covers 40 .. 60 x 10 .. 50";
  EXPECT_EQ(screen.at(35, 30), kWhite) << "and no longer its unturned frame";
  EXPECT_EQ(screen.at(25, 85), kRed) << "the child inside its clip";
  EXPECT_EQ(screen.at(35, 85), kWhite) << "the child outside its clip";
  EXPECT_EQ(screen.at(15, 75), kBlack);
}

TEST(LayerRenderer, SublayersDrawInOrderOfZPositionThenAsListed) {
  Screen screen(10, 10);
  auto root = CALayer::layer();
  root->setFrame(CGRectMake(0, 0, 10, 10));
  auto a = box(CGRectMake(0, 0, 10, 10), rgb(1, 0, 0));
  auto b = box(CGRectMake(0, 0, 10, 10), rgb(0, 1, 0));
  auto c = box(CGRectMake(0, 0, 5, 10), rgb(0, 0, 1));
  root->setSublayers({a, b, c});
  screen.render({root});
  EXPECT_EQ(screen.at(7, 5), kGreen);
  EXPECT_EQ(screen.at(2, 5), kBlue);
  quietly([&] { a->setZPosition(1); });
  screen.render({root});
  EXPECT_EQ(screen.at(7, 5), kRed);
  EXPECT_EQ(screen.at(2, 5), kRed);
}

TEST(LayerRenderer, EveryPropertyPlacesOrColoursWhatIsDrawn) {
  // Each case: a scene on a white 40 x 40 root at scale 1, and pixels with their colours.
  auto red = imageOf(20, 20, [](int, int) { return kRed; });
  auto stripes = UIColor::colorWithPatternImage(UIImage::imageWithCGImage(imageOf(2, 1, [](int x, int) {
                   return x == 0 ? kRed : kBlue;
                 })))->CGColor();
  struct Case {
    const char* what;
    std::function<void(CALayer& root)> scene;
    std::vector<std::pair<std::pair<int, int>, RGBA>> expect;
  } cases[] = {
      {"the anchor point is where the position puts the layer",
       [](CALayer& root) {
         auto l = box(CGRectMake(0, 0, 10, 10), rgb(1, 0, 0));
         l->setAnchorPoint(CGPointMake(0, 0));
         l->setPosition(CGPointMake(20, 20));
         root.addSublayer(l);
       },
       {{{25, 25}, kRed}, {{17, 17}, kWhite}}},
      {"the bounds' origin shifts the sublayers, as scrolling does",
       [](CALayer& root) {
         auto parent = CALayer::layer();
         parent->setFrame(CGRectMake(0, 0, 40, 40));
         parent->setBounds(CGRectMake(10, 0, 40, 40));
         parent->addSublayer(box(CGRectMake(10, 0, 10, 10), rgb(1, 0, 0)));
         root.addSublayer(parent);
       },
       {{{5, 5}, kRed}, {{15, 5}, kWhite}}},
      {"a sublayer transform scales the sublayers about the anchor, not the layer",
       [](CALayer& root) {
         auto parent = box(CGRectMake(0, 0, 40, 40), rgb(0, 1, 0));
         parent->setSublayerTransform(CATransform3DMakeScale(0.5, 0.5, 1));
         parent->addSublayer(box(CGRectMake(0, 0, 40, 40), rgb(1, 0, 0)));
         root.addSublayer(parent);
       },
       {{{20, 20}, kRed}, {{11, 11}, kRed}, {{5, 5}, kGreen}, {{35, 35}, kGreen}}},
      {"a 3D transform draws its plane part, perspective left out",
       [](CALayer& root) {
         auto l = box(CGRectMake(10, 10, 20, 20), rgb(1, 0, 0));
         CATransform3D t = CATransform3DMakeScale(2, 1, 5);
         t.m34 = -1.0 / 500;
         l->setTransform(t);
         root.addSublayer(l);
       },
       {{{1, 20}, kRed}, {{38, 20}, kRed}, {{20, 5}, kWhite}}},
      {"a transform that cannot be inverted draws nothing",
       [](CALayer& root) {
         auto l = box(CGRectMake(10, 10, 20, 20), rgb(1, 0, 0));
         l->setAffineTransform(CGAffineTransformMakeScale(0, 1));
         root.addSublayer(l);
       },
       {{{20, 20}, kWhite}}},
      {"a pattern colour tiles from the layer's origin",
       [&](CALayer& root) { root.addSublayer(box(CGRectMake(5, 5, 20, 20), stripes)); },
       {{{5, 10}, kRed}, {{6, 10}, kBlue}, {{7, 10}, kRed}, {{4, 10}, kWhite}}},
      {"a shadow takes its colour",
       [](CALayer& root) {
         auto l = box(CGRectMake(5, 5, 10, 10), rgb(1, 0, 0));
         l->setShadowColor(rgb(0, 0, 1));
         l->setShadowOpacity(1);
         l->setShadowRadius(0);
         l->setShadowOffset(CGSizeMake(0, 10));
         root.addSublayer(l);
       },
       {{{10, 10}, kRed}, {{10, 20}, kBlue}, {{10, 30}, kWhite}}},
      {"the bottom gravity is the bottom edge on the screen",
       [&](CALayer& root) {
         auto l = CALayer::layer();
         l->setFrame(CGRectMake(0, 0, 40, 40));
         l->setContents(imageOf(4, 4, [](int, int) { return kRed; }));
         l->setContentsGravity(kCAGravityBottom);
         root.addSublayer(l);
       },
       {{{20, 38}, kRed}, {{20, 35}, kWhite}, {{20, 2}, kWhite}}},
      {"a corner radius leaves the contents square without masking",
       [&](CALayer& root) {
         auto l = CALayer::layer();
         l->setFrame(CGRectMake(0, 0, 20, 20));
         l->setContents(red);
         l->setCornerRadius(10);
         root.addSublayer(l);
       },
       {{{0, 0}, kRed}, {{10, 10}, kRed}}},
      {"and rounds them with masking",
       [&](CALayer& root) {
         auto l = CALayer::layer();
         l->setFrame(CGRectMake(0, 0, 20, 20));
         l->setContents(red);
         l->setCornerRadius(10);
         l->setMasksToBounds(true);
         root.addSublayer(l);
       },
       {{{0, 0}, kWhite}, {{10, 10}, kRed}}},
  };
  for (const auto& c : cases) {
    Screen screen(40, 40);
    auto root = box(CGRectMake(0, 0, 40, 40), rgb(1, 1, 1));
    c.scene(*root);
    screen.render({root});
    for (const auto& [point, color] : c.expect)
      EXPECT_EQ(screen.at(point.first, point.second), color) << c.what << " at " << point.first << ", " << point.second;
  }
}

TEST(LayerRenderer, ContentsFollowGravityScaleRectAndCenter) {
  // A 4 x 4 pixel image: red left half, blue right half; a 6 x 6 image with 2-pixel green caps
  // around a red middle.
  auto halves = imageOf(4, 4, [](int x, int) { return x < 2 ? kRed : kBlue; });
  auto capped = imageOf(6, 6, [](int x, int y) { return (x < 2 || x > 3 || y < 2 || y > 3) ? kGreen : kRed; });
  struct Case {
    const char* what;
    CGImageRef image;
    const zvt::StaticString* gravity;
    CGFloat contentsScale;
    CGRect contentsRect, contentsCenter;
    std::vector<std::pair<CGPoint, RGBA>> expect;  // device pixels of a 20 x 20 layer at scale 1
  } cases[] = {
      {"resize stretches", halves, &kCAGravityResize, 1, {{0, 0}, {1, 1}}, {{0, 0}, {1, 1}},
       {{{1, 10}, kRed}, {{5, 10}, kRed}, {{14, 10}, kBlue}, {{19, 19}, kBlue}}},
      {"centre keeps the pixels' size", halves, &kCAGravityCenter, 1, {{0, 0}, {1, 1}}, {{0, 0}, {1, 1}},
       {{{8, 9}, kRed}, {{9, 9}, kRed}, {{10, 9}, kBlue}, {{11, 10}, kBlue}, {{7, 9}, kClear}, {{12, 9}, kClear}}},
      {"contents scale halves the size", halves, &kCAGravityTopLeft, 2, {{0, 0}, {1, 1}}, {{0, 0}, {1, 1}},
       {{{0, 0}, kRed}, {{1, 1}, kBlue}, {{2, 0}, kClear}, {{0, 2}, kClear}}},
      {"contents rect picks the right half", halves, &kCAGravityResize, 1, {{0.5, 0}, {0.5, 1}}, {{0, 0}, {1, 1}},
       {{{1, 1}, kBlue}, {{18, 18}, kBlue}}},
      {"the centre stretches between caps", capped, &kCAGravityResize, 1, {{0, 0}, {1, 1}},
       {{2.0 / 6, 2.0 / 6}, {2.0 / 6, 2.0 / 6}},
       {{{1, 10}, kGreen}, {{2, 10}, kRed}, {{17, 10}, kRed}, {{18, 10}, kGreen}, {{10, 1}, kGreen}, {{10, 2}, kRed}}},
  };
  for (const auto& c : cases) {
    Screen screen(20, 20);
    auto layer = CALayer::layer();
    layer->setFrame(CGRectMake(0, 0, 20, 20));
    layer->setContents(c.image);
    layer->setContentsGravity(*c.gravity);
    layer->setContentsScale(c.contentsScale);
    layer->setContentsRect(c.contentsRect);
    layer->setContentsCenter(c.contentsCenter);
    screen.render({layer});
    for (const auto& [point, color] : c.expect)
      EXPECT_EQ(screen.at(static_cast<int>(point.x), static_cast<int>(point.y)), color)
          << c.what << " at " << point.x << ", " << point.y;
  }
}

TEST(LayerRenderer, BackingStoresShowWhatDrawInContextDrew) {
  // A gradient from red at the left to blue at the right, and a progress ring at 0.25 drawn as
  // the round progress view draws it (a full background ring, then the progress arc clockwise
  // from twelve o'clock), both into backing stores at scale 2.
  Screen screen(200, 100, 2);
  auto gradient = drawn(CGRectMake(0, 0, 50, 50), 2, [](const CGContextRef& context) {
    CGFloat components[] = {1, 0, 0, 1, 0, 0, 1, 1};
    CGFloat locations[] = {0, 1};
    auto g = CGGradientCreateWithColorComponents(CGColorSpaceCreateDeviceRGB(), components, locations, 2);
    CGContextDrawLinearGradient(context, g, CGPointMake(0, 0), CGPointMake(50, 0), 0);
  });
  const double progress = 0.25;
  auto ring = drawn(CGRectMake(50, 0, 40, 40), 2, [progress](const CGContextRef&) {
    const double w = 2, radius = (40 - w) / 2;
    const CGPoint centre = CGPointMake(20, 20);
    const double start = -std::numbers::pi / 2;
    auto back = UIBezierPath::bezierPathWithArcCenter(centre, radius, start, start + 2 * std::numbers::pi, true);
    back->setLineWidth(w);
    back->setLineCapStyle(kCGLineCapButt);
    UIColor::blueColor()->setStroke();
    back->stroke();
    auto arc = UIBezierPath::bezierPathWithArcCenter(centre, radius, start, start + 2 * std::numbers::pi * progress,
                                                     true);
    arc->setLineWidth(w);
    arc->setLineCapStyle(kCGLineCapSquare);
    UIColor::redColor()->setStroke();
    arc->stroke();
  });
  screen.render({gradient, ring});
  EXPECT_TRUE(near(screen.at(0, 50), kRed, 6)) << screen.at(0, 50);
  EXPECT_TRUE(near(screen.at(99, 50), kBlue, 6)) << screen.at(99, 50);
  auto onRing = [&](double degreesFromTwelve) {
    const double a = degreesFromTwelve * std::numbers::pi / 180, r = 19 * 2;
    return screen.at(static_cast<int>(std::lround(140 + r * std::sin(a))),
                     static_cast<int>(std::lround(40 - r * std::cos(a))));
  };
  for (double degrees : {10.0, 45.0, 80.0}) EXPECT_EQ(onRing(degrees), kRed) << degrees;
  for (double degrees : {100.0, 135.0, 180.0, 225.0, 270.0, 315.0, 350.0}) EXPECT_EQ(onRing(degrees), kBlue) << degrees;
}

TEST(LayerRenderer, ShadowsFallBelowTheLayerAndFollowAPath) {
  Screen screen(60, 60);
  auto root = box(CGRectMake(0, 0, 60, 60), rgb(1, 1, 1));
  auto card = box(CGRectMake(10, 10, 20, 20), rgb(1, 0, 0));
  card->setShadowOpacity(1);
  card->setShadowOffset(CGSizeMake(0, 10));
  card->setShadowRadius(0);
  auto pathed = box(CGRectMake(40, 10, 10, 10), nullptr);
  pathed->setShadowOpacity(1);
  pathed->setShadowRadius(0);
  pathed->setShadowOffset(CGSizeMake(0, 0));
  pathed->setShadowPath(CGPathCreateWithRect(CGRectMake(0, 20, 10, 10), nullptr));
  root->setSublayers({card, pathed});
  screen.render({root});
  EXPECT_EQ(screen.at(20, 35), kBlack) << "the shadow of the card, 10 points down";
  EXPECT_EQ(screen.at(20, 25), kRed) << "the card above its shadow";
  EXPECT_EQ(screen.at(20, 42), kWhite);
  EXPECT_EQ(screen.at(45, 35), kBlack) << "the shadow path's shape";
  EXPECT_EQ(screen.at(45, 15), kWhite) << "a layer with a path but nothing drawn";
  // A blurred shadow softens its edge.
  quietly([&] { card->setShadowRadius(3); });
  screen.render({root});
  RGBA edge = screen.at(20, 40);
  EXPECT_GT(edge.r, 0);
  EXPECT_LT(edge.r, 255);
}

TEST(LayerRenderer, APictureMidAnimationShowsThePresentation) {
  zvt::test::VirtualClockScope clock;
  Screen screen(100, 10);
  auto root = box(CGRectMake(0, 0, 100, 10), rgb(1, 1, 1));
  auto mover = box(CGRectMake(0, 0, 10, 10), rgb(1, 0, 0));
  root->addSublayer(mover);
  auto slide = CABasicAnimation::animationWithKeyPath(NSString::stringWithUTF8String("position"));
  slide->setFromValue(NSValue::valueWithCGPoint(CGPointMake(5, 5)));
  slide->setToValue(NSValue::valueWithCGPoint(CGPointMake(85, 5)));
  slide->setDuration(1);
  slide->setTimingFunction(CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionLinear));
  mover->setPosition(CGPointMake(85, 5));
  mover->addAnimation(slide, NSString::stringWithUTF8String("slide"));
  clock.advanceBy(0.5);
  screen.render({root});
  EXPECT_EQ(screen.at(45, 5), kRed) << "half way: 40 .. 50";
  EXPECT_EQ(screen.at(85, 5), kWhite) << "not yet where the model is";
  clock.advanceBy(0.6);
  screen.render({root});
  EXPECT_EQ(screen.at(85, 5), kRed);
  EXPECT_EQ(screen.at(45, 5), kWhite);
}

TEST(LayerRenderer, TransitionsMixWhatWasShownWithWhatIsShown) {
  struct Case {
    const zvt::StaticString* type;
    const zvt::StaticString* subtype;
    RGBA left, right;  // at a quarter and three quarters of the width, half way through
  } cases[] = {
      {&kCATransitionFade, nullptr, {128, 0, 127, 255}, {128, 0, 127, 255}},
      {&kCATransitionPush, &kCATransitionFromRight, kRed, kBlue},
      {&kCATransitionMoveIn, &kCATransitionFromLeft, kBlue, kRed},
      {&kCATransitionReveal, &kCATransitionFromRight, kRed, kBlue},
  };
  for (const auto& c : cases) {
    zvt::test::VirtualClockScope clock;
    Screen screen(40, 10);
    auto root = box(CGRectMake(0, 0, 40, 10), rgb(1, 1, 1));
    auto content = box(CGRectMake(0, 0, 40, 10), rgb(1, 0, 0));
    root->addSublayer(content);
    screen.render({root});
    quietly([&] { content->setBackgroundColor(rgb(0, 0, 1)); });
    auto transition = CATransition::animation();
    transition->setType(*c.type);
    if (c.subtype) transition->setSubtype(*c.subtype);
    transition->setDuration(1);
    transition->setTimingFunction(CAMediaTimingFunction::functionWithName(kCAMediaTimingFunctionLinear));
    content->addAnimation(transition, nullptr);
    screen.render({root});  // the transition begins from what was shown
    clock.advanceBy(0.5);
    screen.render({root});
    EXPECT_TRUE(near(screen.at(10, 5), c.left, 2)) << std::shared_ptr<NSString>(*c.type)->utf8() << " " << screen.at(10, 5);
    EXPECT_TRUE(near(screen.at(30, 5), c.right, 2)) << std::shared_ptr<NSString>(*c.type)->utf8() << " " << screen.at(30, 5);
    clock.advanceBy(1);
    screen.render({root});
    EXPECT_EQ(screen.at(10, 5), kBlue) << std::shared_ptr<NSString>(*c.type)->utf8();
  }
}

TEST(LayerRenderer, OnlyWhatChangedIsRedrawn) {
  Screen screen(100, 100);
  auto root = box(CGRectMake(0, 0, 100, 100), rgb(1, 1, 1));
  auto a = box(CGRectMake(10, 10, 10, 10), rgb(1, 0, 0));
  auto b = box(CGRectMake(50, 50, 20, 10), rgb(0, 1, 0));
  root->setSublayers({a, b});
  auto first = screen.render({root});
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0], (zvt::ca::PixelRect{0, 0, 100, 100}));
  EXPECT_TRUE(screen.render({root}).empty()) << "nothing changed";
  quietly([&] { a->setBackgroundColor(rgb(0, 0, 1)); });
  EXPECT_EQ(screen.render({root}), (std::vector<zvt::ca::PixelRect>{{10, 10, 10, 10}}));
  EXPECT_EQ(screen.renderer.lastDrawnLayerCount(), 2u) << "the root's part under it and the layer";
  quietly([&] { b->setPosition(CGPointMake(b->position().x + 5, b->position().y)); });
  EXPECT_EQ(screen.render({root}), (std::vector<zvt::ca::PixelRect>{{50, 50, 25, 10}}));
  b->removeFromSuperlayer();
  EXPECT_EQ(screen.render({root}), (std::vector<zvt::ca::PixelRect>{{55, 50, 20, 10}}));
  EXPECT_EQ(screen.at(60, 55), kWhite);
}

TEST(LayerRenderer, FramesOfChangesMatchAFreshDrawing) {
  // A tree of cards with rounded, bordered, shadowed and translucent layers changed at random:
  // after every change, the incrementally kept screen equals a full drawing of the same tree.
  std::mt19937 random(20240611);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  auto color = [&] { return rgb(pick(5) / 4.0, pick(5) / 4.0, pick(5) / 4.0, pick(3) == 0 ? 0.5 : 1.0); };
  // Larger than most layers: centred or filling, it reaches beyond the bounds of a layer that
  // does not mask.
  auto picture = imageOf(48, 36, [](int x, int y) { return RGBA{uint8_t(x * 5), uint8_t(y * 7), 200, 255}; });
  auto root = box(CGRectMake(0, 0, 120, 160), rgb(0.9, 0.9, 0.9));
  std::vector<std::shared_ptr<CALayer>> layers{root};
  for (int i = 0; i < 24; ++i) {
    auto parent = layers[static_cast<size_t>(pick(static_cast<int>(layers.size())))];
    auto layer = box(CGRectMake(pick(80), pick(120), 10 + pick(40), 10 + pick(40)), color());
    parent->addSublayer(layer);
    layers.push_back(layer);
  }
  Screen kept(240, 320, 2);
  for (int step = 0; step < 120; ++step) {
    auto layer = layers[1 + static_cast<size_t>(pick(static_cast<int>(layers.size()) - 1))];
    CATransaction::begin();
    CATransaction::setDisableActions(true);
    const int kind = pick(12);
    switch (kind) {
      case 0: layer->setBackgroundColor(color()); break;
      case 1: layer->setPosition(CGPointMake(pick(110), pick(150))); break;
      case 2: layer->setOpacity(pick(3) / 2.0); break;
      case 3: layer->setCornerRadius(pick(8)), layer->setMasksToBounds(pick(2) == 0); break;
      case 4: layer->setBorderWidth(pick(3)), layer->setBorderColor(color()); break;
      case 5: layer->setHidden(!layer->isHidden()); break;
      case 6: {
        auto parent = layer->superlayer();
        if (parent) parent->insertSublayer(layer, static_cast<size_t>(pick(4)));
        break;
      }
      case 7: layer->setShadowOpacity(pick(2) * 0.8), layer->setShadowRadius(pick(3)), layer->setShadowOffset(CGSizeMake(2, 3)); break;
      case 8: layer->setAffineTransform(pick(2) ? CGAffineTransformIdentity : CGAffineTransformMakeRotation(0.3)); break;
      case 9:
        layer->setContents(pick(2) ? picture : nullptr);
        layer->setContentsGravity(pick(3) == 0 ? kCAGravityResizeAspect : pick(2) ? kCAGravityCenter : kCAGravityResizeAspectFill);
        break;
      case 10: {
        // To another superlayer outside its own tree, as a view moved to another container.
        auto parent = layers[static_cast<size_t>(pick(static_cast<int>(layers.size())))];
        bool inside = false;
        for (auto l = parent; l; l = l->superlayer()) inside = inside || l == layer;
        if (!inside) parent->insertSublayer(layer, static_cast<size_t>(pick(3)));
        break;
      }
      case 11: layer->setZPosition(pick(3) - 1); break;
    }
    CATransaction::commit();
    kept.render({root});
    Screen fresh(240, 320, 2);
    fresh.render({root});
    for (int y = 0; y < 320; ++y)
      for (int x = 0; x < 240; ++x)
        if (!near(kept.at(x, y), fresh.at(x, y), 16)) {
          FAIL() << "step " << step << " (change " << kind << ") differs at " << x << ", " << y << ": kept " << kept.at(x, y) << " fresh "
                 << fresh.at(x, y);
        }
  }
}

TEST(LayerRenderer, OneChangedLayerAmongThousandsIsReachedWithoutAWalkOfTheTree) {
  // A screen of 1,000 cells, each with a square inside: a frame after one change looks again
  // only at the changed layer (and those it carries), and its picture is the full drawing's.
  auto root = box(CGRectMake(0, 0, 200, 250), rgb(1, 1, 1));
  std::vector<std::shared_ptr<CALayer>> cells, squares;
  for (int i = 0; i < 1000; ++i) {
    auto cell = box(CGRectMake((i % 40) * 5, (i / 40) * 10, 5, 10), rgb(0.8, 0.8, 0.8));
    auto square = box(CGRectMake(1, 1, 3, 3), rgb(1, 0.5, 0));
    cell->addSublayer(square);
    root->addSublayer(cell);
    cells.push_back(cell);
    squares.push_back(square);
  }
  Screen kept(200, 250);
  kept.render({root});
  EXPECT_EQ(kept.renderer.lastExaminedLayerCount(), 2001u) << "the first frame looks at every layer";
  EXPECT_TRUE(kept.render({root}).empty());
  EXPECT_EQ(kept.renderer.lastExaminedLayerCount(), 0u) << "nothing changed";
  auto matchesAFreshDrawing = [&](const char* what) {
    Screen fresh(200, 250);
    fresh.render({root});
    for (int y = 0; y < 250; ++y)
      for (int x = 0; x < 200; ++x)
        if (kept.at(x, y) != fresh.at(x, y)) {
          ADD_FAILURE() << what << ": differs at " << x << ", " << y << ": kept " << kept.at(x, y) << " fresh "
                        << fresh.at(x, y);
          return;
        }
  };
  struct Case {
    const char* what;
    std::function<void()> change;
    size_t examined;  // the layers the frame after it looks at again
    zvt::ca::PixelRect redrawn;
  };
  const Case cases[] = {
      {"a square's colour", [&] { squares[517]->setBackgroundColor(rgb(0, 0, 1)); }, 1, {186, 121, 3, 3}},
      {"a cell moved", [&] { cells[42]->setPosition(CGPointMake(12.5, 20)); }, 2, {10, 10, 5, 15}},
      {"a square hidden", [&] { squares[0]->setHidden(true); }, 1, {1, 1, 3, 3}},
      {"a square shown again", [&] { squares[0]->setHidden(false); }, 1, {1, 1, 3, 3}},
      {"a cell's square removed", [&] { squares[999]->removeFromSuperlayer(); }, 1, {196, 241, 3, 3}},
      // The cell and the one that followed it, drawn after another now.
      {"a cell to the front", [&] { root->addSublayer(cells[1]); }, 1, {5, 0, 10, 10}},
  };
  for (const auto& c : cases) {
    quietly(c.change);
    auto rects = kept.render({root});
    EXPECT_EQ(kept.renderer.lastExaminedLayerCount(), c.examined) << c.what;
    EXPECT_EQ(rects, (std::vector<zvt::ca::PixelRect>{c.redrawn})) << c.what;
    matchesAFreshDrawing(c.what);
  }
}

TEST(LayerRenderer, ImagesOfLayersAreDrawnInTheLayersOwnSpace) {
  auto layer = box(CGRectMake(100, 100, 10, 5), rgb(0, 0, 1));
  layer->setAffineTransform(CGAffineTransformMakeRotation(1));
  layer->setBounds(CGRectMake(3, 3, 10, 5));
  layer->addSublayer(box(CGRectMake(3, 3, 5, 5), rgb(1, 0, 0)));
  auto image = LayerRenderer::imageOfLayer(*layer, 2, CACurrentMediaTime());
  ASSERT_TRUE(image);
  EXPECT_EQ(image->width(), 20u);
  EXPECT_EQ(image->height(), 10u);
  zvt::test::Canvas canvas(20, 10);
  CGContextDrawImage(canvas.context, CGRectMake(0, 0, 20, 10), image);
  // The canvas is UIKit's (y down) and CGContextDrawImage draws upside down there.
  EXPECT_EQ(canvas.at(2, 8), kRed);
  EXPECT_EQ(canvas.at(15, 2), kBlue);
  EXPECT_FALSE(LayerRenderer::imageOfLayer(*CALayer::layer(), 2, 0));
}
