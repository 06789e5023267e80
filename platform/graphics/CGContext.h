#pragma once
// Drawing contexts (CoreGraphics' CGContext) over Cairo: the graphics state stack, the current
// transformation (CTM), the current path, filling, stroking, clipping, colours, alpha, blend
// modes, gradients, images, shadows and transparency layers.
//
// Coordinates are CoreGraphics': a bitmap context's device space has its origin at the bottom
// left with y upwards, one unit a pixel; the CTM maps user space to it and starts as the
// identity. UIKit's contexts (UIGraphicsBeginImageContextWithOptions, the screen's) start with a
// CTM that flips and scales, so that user space is UIKit's: points, origin top left, y down.
// Points of the current path are mapped by the CTM when they are added, as on the device;
// line widths and dashes are mapped when the path is stroked.
//
// Shadow offsets and blur radii are in the context's base space: device pixels with y up for a
// bitmap context, points with y down (a positive height moves the shadow down) for UIKit's
// contexts, as CALayer's shadows are. The blur radius is about twice the Gaussian's deviation.
//
// Images are sampled at the nearest pixel unless the interpolation quality asks for more
// (Low/Medium: bilinear, High: Cairo's best filter).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSObject.h"
#include "platform/graphics/CGAffineTransform.h"
#include "platform/graphics/CGColor.h"
#include "platform/graphics/CGColorSpace.h"
#include "platform/graphics/CGImage.h"
#include "platform/graphics/CGPath.h"
#include "platform/graphics/internal/PixelLayout.h"

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;
typedef struct _cairo_pattern cairo_pattern_t;

enum CGLineCap : int32_t { kCGLineCapButt = 0, kCGLineCapRound = 1, kCGLineCapSquare = 2 };
enum CGLineJoin : int32_t { kCGLineJoinMiter = 0, kCGLineJoinRound = 1, kCGLineJoinBevel = 2 };
enum CGPathDrawingMode : int32_t {
  kCGPathFill = 0,
  kCGPathEOFill = 1,
  kCGPathStroke = 2,
  kCGPathFillStroke = 3,
  kCGPathEOFillStroke = 4,
};
enum CGInterpolationQuality : int32_t {
  kCGInterpolationDefault = 0,
  kCGInterpolationNone = 1,
  kCGInterpolationLow = 2,
  kCGInterpolationMedium = 4,
  kCGInterpolationHigh = 3,
};
// Every mode but plus-darker draws as on the device (plus-darker draws as normal).
enum CGBlendMode : int32_t {
  kCGBlendModeNormal = 0,
  kCGBlendModeMultiply,
  kCGBlendModeScreen,
  kCGBlendModeOverlay,
  kCGBlendModeDarken,
  kCGBlendModeLighten,
  kCGBlendModeColorDodge,
  kCGBlendModeColorBurn,
  kCGBlendModeSoftLight,
  kCGBlendModeHardLight,
  kCGBlendModeDifference,
  kCGBlendModeExclusion,
  kCGBlendModeHue,
  kCGBlendModeSaturation,
  kCGBlendModeColor,
  kCGBlendModeLuminosity,
  kCGBlendModeClear,
  kCGBlendModeCopy,
  kCGBlendModeSourceIn,
  kCGBlendModeSourceOut,
  kCGBlendModeSourceAtop,
  kCGBlendModeDestinationOver,
  kCGBlendModeDestinationIn,
  kCGBlendModeDestinationOut,
  kCGBlendModeDestinationAtop,
  kCGBlendModeXOR,
  kCGBlendModePlusDarker,
  kCGBlendModePlusLighter,
};

using CGGradientDrawingOptions = uint32_t;
inline constexpr CGGradientDrawingOptions kCGGradientDrawsBeforeStartLocation = 1u << 0;
inline constexpr CGGradientDrawingOptions kCGGradientDrawsAfterEndLocation = 1u << 1;

class CGGradient;
using CGGradientRef = std::shared_ptr<CGGradient>;

class CGContext : public NSObject {
 public:
  // A bitmap context over `external` memory (or memory of its own when null) in the layout;
  // use CGBitmapContextCreate.
  CGContext(const zvt::graphics::PixelLayout& layout, size_t width, size_t height, size_t bytesPerRow,
            CGColorSpaceRef space, CGBitmapInfo info, uint8_t* external);
  // A context drawing into a Cairo image surface (ARGB32 or RGB24) with UIKit's coordinates at
  // the scale: user units are points, origin top left. Whoever writes the surface's bytes
  // without Cairo marks it dirty (cairo_surface_mark_dirty) before drawing here again.
  CGContext(cairo_surface_t* surface, CGFloat scale);
  ~CGContext() override;
  CGContext(const CGContext&) = delete;
  CGContext& operator=(const CGContext&) = delete;

  bool valid() const { return cr_ != nullptr; }
  size_t width() const { return width_; }
  size_t height() const { return height_; }
  size_t bytesPerRow() const { return bytesPerRow_; }
  const zvt::graphics::PixelLayout& pixelLayout() const { return layout_; }
  const CGColorSpaceRef& colorSpace() const { return space_; }
  CGBitmapInfo bitmapInfo() const { return info_; }
  // The pixels in the context's own layout, brought up to date. The caller may read and write
  // them between drawing calls.
  uint8_t* data();
  // The pixels for reading now (not handed out for writing).
  const uint8_t* pixelsForReading();

  // --- State
  void saveState();
  void restoreState();
  struct State {
    CGAffineTransform ctm;
    CGColorRef fill, stroke;
    CGFloat lineWidth = 1, miterLimit = 10;
    CGLineCap cap = kCGLineCapButt;
    CGLineJoin join = kCGLineJoinMiter;
    std::vector<CGFloat> dashes;
    CGFloat dashPhase = 0;
    CGFloat alpha = 1;
    CGBlendMode blend = kCGBlendModeNormal;
    bool antialias = true;
    CGInterpolationQuality interpolation = kCGInterpolationDefault;
    CGSize shadowOffset = CGSizeZero;
    CGFloat shadowBlur = 0;
    CGColorRef shadowColor;  // nil: no shadow
  };
  State& state() { return states_.back(); }
  const State& state() const { return states_.back(); }
  // UIKit's contexts: the base space is points at this scale with y down.
  void setUIKitBase(CGFloat scale);
  bool uikitBase() const { return uikitScale_ > 0; }
  CGFloat uikitScale() const { return uikitScale_; }

  // --- The current path (in device space)
  CGPath& path() { return path_; }
  // Maps a user-space point by the CTM.
  CGPoint toDevice(CGPoint p) const { return CGPointApplyAffineTransform(p, state().ctm); }

  // --- Drawing
  void fillPath(bool evenOdd);
  void strokePath();
  void clipToPath(bool evenOdd);
  void resetClip();
  void clearRect(CGRect rect);
  void drawImage(CGRect rect, const CGImage& image, bool tiled);
  void drawLinearGradient(const CGGradient& gradient, CGPoint start, CGPoint end, CGGradientDrawingOptions options);
  void drawRadialGradient(const CGGradient& gradient, CGPoint startCenter, CGFloat startRadius, CGPoint endCenter,
                          CGFloat endRadius, CGGradientDrawingOptions options);
  void beginTransparencyLayer();
  void endTransparencyLayer();
  // The clip's bounds in user space.
  CGRect clipBoundingBox() const;

  // Draws with Cairo directly: `draw` gets the Cairo context with its matrix set to the user
  // space (the CTM) and the clip applied, and draws with the given alpha (a source of its own);
  // the context adds its alpha (when `appliesAlpha` is false), blend mode and shadow and writes
  // the pixels back. `userBounds` (in user space) bounds what is drawn; nothing means the clip.
  void drawWithCairo(std::optional<CGRect> userBounds, bool appliesAlpha,
                     const std::function<void(cairo_t* cr, double alpha)>& draw);
  // The Cairo context (for code that manages the pixels itself).
  cairo_t* cairoContext() const { return cr_; }

 private:
  struct Box {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // Cairo device space (y down)
    bool empty() const { return !(x1 > x0 && y1 > y0); }
  };
  struct Layer {
    size_t depth;
    double alpha;
    CGBlendMode blend;
    CGSize shadowOffset;
    CGFloat shadowBlur;
    CGColorRef shadowColor;
  };

  void setUp(cairo_surface_t* surface);
  // The user-to-Cairo-device matrix; false when it cannot be inverted (nothing is drawn).
  bool userMatrix(double m[6]) const;
  void appendDevicePath(cairo_t* cr) const;
  Box deviceBoxOfUserRect(CGRect rect) const;
  Box pathBox(double grow) const;
  Box clipBox() const;
  // Runs one drawing operation with alpha, blend mode and shadow, then writes back.
  void paint(Box box, bool appliesAlpha, const std::function<void(cairo_t*, double)>& draw);
  void drawShadow(Box box, const std::function<void(cairo_t*, double)>& draw);
  void beforeDrawing();
  void afterDrawing(Box damaged);
  void importPixels();
  void exportPixels(Box region);
  void recoverFromError();

  zvt::graphics::PixelLayout layout_;
  size_t width_ = 0, height_ = 0, bytesPerRow_ = 0;
  CGColorSpaceRef space_;
  CGBitmapInfo info_ = 0;
  std::vector<uint8_t> own_;
  uint8_t* data_ = nullptr;
  bool external_ = false;
  // The Cairo surface draws straight into `data_` (the host's ARGB32 or RGB24 layout);
  // otherwise it is a copy converted in and out.
  bool native_ = false;
  bool exposed_ = false;       // the pixels were handed out: the caller may read or write them
  bool bufferNewer_ = false;   // `data_` holds pixels the copy has not seen
  Box pendingExport_;          // drawn in the copy, not yet written to `data_`
  cairo_surface_t* surface_ = nullptr;
  cairo_t* cr_ = nullptr;
  std::vector<State> states_{State()};
  std::vector<Layer> layers_;
  CGPath path_;
  CGFloat uikitScale_ = 0;
};

using CGContextRef = std::shared_ptr<CGContext>;

// --- Graphics state. Every function does nothing for a nil context (getters answer zero values).
void CGContextSaveGState(const CGContextRef& c);
void CGContextRestoreGState(const CGContextRef& c);
void CGContextTranslateCTM(const CGContextRef& c, CGFloat tx, CGFloat ty);
void CGContextScaleCTM(const CGContextRef& c, CGFloat sx, CGFloat sy);
void CGContextRotateCTM(const CGContextRef& c, CGFloat angle);
void CGContextConcatCTM(const CGContextRef& c, CGAffineTransform transform);
CGAffineTransform CGContextGetCTM(const CGContextRef& c);
CGAffineTransform CGContextGetUserSpaceToDeviceSpaceTransform(const CGContextRef& c);
CGPoint CGContextConvertPointToDeviceSpace(const CGContextRef& c, CGPoint point);
CGPoint CGContextConvertPointToUserSpace(const CGContextRef& c, CGPoint point);
CGRect CGContextConvertRectToDeviceSpace(const CGContextRef& c, CGRect rect);
CGRect CGContextConvertRectToUserSpace(const CGContextRef& c, CGRect rect);
// A width of 0 draws the thinnest visible line (one device pixel); negative widths are ignored.
void CGContextSetLineWidth(const CGContextRef& c, CGFloat width);
void CGContextSetLineCap(const CGContextRef& c, CGLineCap cap);
void CGContextSetLineJoin(const CGContextRef& c, CGLineJoin join);
void CGContextSetMiterLimit(const CGContextRef& c, CGFloat limit);
// No lengths (or lengths that are all 0 or any negative) mean a solid line.
void CGContextSetLineDash(const CGContextRef& c, CGFloat phase, const CGFloat* lengths, size_t count);
void CGContextSetFlatness(const CGContextRef& c, CGFloat flatness);
// Clamped to 0...1.
void CGContextSetAlpha(const CGContextRef& c, CGFloat alpha);
void CGContextSetBlendMode(const CGContextRef& c, CGBlendMode mode);
void CGContextSetShouldAntialias(const CGContextRef& c, bool shouldAntialias);
void CGContextSetAllowsAntialiasing(const CGContextRef& c, bool allowsAntialiasing);
void CGContextSetInterpolationQuality(const CGContextRef& c, CGInterpolationQuality quality);
CGInterpolationQuality CGContextGetInterpolationQuality(const CGContextRef& c);

// --- Colours (a nil colour is ignored; components are clamped to 0...1)
void CGContextSetFillColorWithColor(const CGContextRef& c, const CGColorRef& color);
void CGContextSetStrokeColorWithColor(const CGContextRef& c, const CGColorRef& color);
void CGContextSetRGBFillColor(const CGContextRef& c, CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha);
void CGContextSetRGBStrokeColor(const CGContextRef& c, CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha);
void CGContextSetGrayFillColor(const CGContextRef& c, CGFloat gray, CGFloat alpha);
void CGContextSetGrayStrokeColor(const CGContextRef& c, CGFloat gray, CGFloat alpha);
void CGContextSetCMYKFillColor(const CGContextRef& c, CGFloat cyan, CGFloat magenta, CGFloat yellow, CGFloat black,
                               CGFloat alpha);
void CGContextSetCMYKStrokeColor(const CGContextRef& c, CGFloat cyan, CGFloat magenta, CGFloat yellow, CGFloat black,
                                 CGFloat alpha);
// The colour space of the next CGContextSetFillColor / SetStrokeColor (black in it until then).
void CGContextSetFillColorSpace(const CGContextRef& c, const CGColorSpaceRef& space);
void CGContextSetStrokeColorSpace(const CGContextRef& c, const CGColorSpaceRef& space);
// The space's components followed by alpha.
void CGContextSetFillColor(const CGContextRef& c, const CGFloat* components);
void CGContextSetStrokeColor(const CGContextRef& c, const CGFloat* components);
// Offsets and blur in the base space (see the top of this file); the shadow colour defaults to
// black at a third of full opacity; a nil colour or CGContextSetShadowWithColor(c, zero, 0, nil)
// turns shadows off.
void CGContextSetShadow(const CGContextRef& c, CGSize offset, CGFloat blur);
void CGContextSetShadowWithColor(const CGContextRef& c, CGSize offset, CGFloat blur, const CGColorRef& color);

// --- The current path
void CGContextBeginPath(const CGContextRef& c);
void CGContextMoveToPoint(const CGContextRef& c, CGFloat x, CGFloat y);
void CGContextAddLineToPoint(const CGContextRef& c, CGFloat x, CGFloat y);
void CGContextAddCurveToPoint(const CGContextRef& c, CGFloat cp1x, CGFloat cp1y, CGFloat cp2x, CGFloat cp2y, CGFloat x,
                              CGFloat y);
void CGContextAddQuadCurveToPoint(const CGContextRef& c, CGFloat cpx, CGFloat cpy, CGFloat x, CGFloat y);
void CGContextClosePath(const CGContextRef& c);
void CGContextAddRect(const CGContextRef& c, CGRect rect);
void CGContextAddRects(const CGContextRef& c, const CGRect* rects, size_t count);
void CGContextAddLines(const CGContextRef& c, const CGPoint* points, size_t count);
void CGContextAddEllipseInRect(const CGContextRef& c, CGRect rect);
// See CGPathAddArc / CGPathAddArcToPoint.
void CGContextAddArc(const CGContextRef& c, CGFloat x, CGFloat y, CGFloat radius, CGFloat startAngle, CGFloat endAngle,
                     int clockwise);
void CGContextAddArcToPoint(const CGContextRef& c, CGFloat x1, CGFloat y1, CGFloat x2, CGFloat y2, CGFloat radius);
void CGContextAddPath(const CGContextRef& c, const CGPathRef& path);
bool CGContextIsPathEmpty(const CGContextRef& c);
// In user space.
CGPoint CGContextGetPathCurrentPoint(const CGContextRef& c);
CGRect CGContextGetPathBoundingBox(const CGContextRef& c);
// A copy of the current path in user space.
CGPathRef CGContextCopyPath(const CGContextRef& c);
bool CGContextPathContainsPoint(const CGContextRef& c, CGPoint point, CGPathDrawingMode mode);

// --- Painting (each consumes the current path)
void CGContextFillPath(const CGContextRef& c);
void CGContextEOFillPath(const CGContextRef& c);
void CGContextStrokePath(const CGContextRef& c);
void CGContextDrawPath(const CGContextRef& c, CGPathDrawingMode mode);
void CGContextFillRect(const CGContextRef& c, CGRect rect);
void CGContextFillRects(const CGContextRef& c, const CGRect* rects, size_t count);
void CGContextFillEllipseInRect(const CGContextRef& c, CGRect rect);
void CGContextStrokeRect(const CGContextRef& c, CGRect rect);
void CGContextStrokeRectWithWidth(const CGContextRef& c, CGRect rect, CGFloat width);
void CGContextStrokeEllipseInRect(const CGContextRef& c, CGRect rect);
// Pairs of points, each pair a separate line.
void CGContextStrokeLineSegments(const CGContextRef& c, const CGPoint* points, size_t count);
// Sets the pixels of the rectangle transparent (black for contexts without alpha), whatever the
// blend mode, alpha and shadow.
void CGContextClearRect(const CGContextRef& c, CGRect rect);

// --- Clipping (the clip only shrinks; CGContextRestoreGState brings back a wider one)
void CGContextClip(const CGContextRef& c);
void CGContextEOClip(const CGContextRef& c);
void CGContextClipToRect(const CGContextRef& c, CGRect rect);
void CGContextClipToRects(const CGContextRef& c, const CGRect* rects, size_t count);
CGRect CGContextGetClipBoundingBox(const CGContextRef& c);

// --- Images, gradients, layers
// The image's top row at the rectangle's top (maxY): upright where y points up, upside down in
// UIKit's flipped contexts (UIImage's drawing turns it upright).
void CGContextDrawImage(const CGContextRef& c, CGRect rect, const CGImageRef& image);
// The image repeated from the rectangle's origin over the whole clip.
void CGContextDrawTiledImage(const CGContextRef& c, CGRect rect, const CGImageRef& image);
void CGContextDrawLinearGradient(const CGContextRef& c, const CGGradientRef& gradient, CGPoint startPoint,
                                 CGPoint endPoint, CGGradientDrawingOptions options);
// Where only one of the two extension options is given, the radial gradient extends on that
// side of concentric circles only (the device's cone cases are not followed exactly).
void CGContextDrawRadialGradient(const CGContextRef& c, const CGGradientRef& gradient, CGPoint startCenter,
                                 CGFloat startRadius, CGPoint endCenter, CGFloat endRadius,
                                 CGGradientDrawingOptions options);
// Drawing up to the end goes into a layer that is then composited with the alpha, blend mode
// and shadow in force at the beginning. The auxiliary dictionary is ignored.
void CGContextBeginTransparencyLayer(const CGContextRef& c, const std::shared_ptr<NSObject>& auxiliaryInfo);
void CGContextEndTransparencyLayer(const CGContextRef& c);
void CGContextFlush(const CGContextRef& c);
void CGContextSynchronize(const CGContextRef& c);
inline void CGContextRelease(const CGContextRef&) {}
inline CGContextRef CGContextRetain(const CGContextRef& c) { return c; }
