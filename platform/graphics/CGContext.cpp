#include "platform/graphics/CGContext.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/graphics/CGGradient.h"
#include "platform/graphics/internal/Blur.h"
#include "platform/graphics/internal/CairoImages.h"

using zvt::graphics::PixelLayout;

namespace {

// Cairo keeps coordinates in 24.8 fixed point: device coordinates beyond this are clamped.
constexpr double kMaxCoordinate = 4.0e6;

double clampCoordinate(double v) { return std::clamp(v, -kMaxCoordinate, kMaxCoordinate); }

cairo_operator_t operatorFor(CGBlendMode mode) {
  switch (mode) {
    case kCGBlendModeMultiply: return CAIRO_OPERATOR_MULTIPLY;
    case kCGBlendModeScreen: return CAIRO_OPERATOR_SCREEN;
    case kCGBlendModeOverlay: return CAIRO_OPERATOR_OVERLAY;
    case kCGBlendModeDarken: return CAIRO_OPERATOR_DARKEN;
    case kCGBlendModeLighten: return CAIRO_OPERATOR_LIGHTEN;
    case kCGBlendModeColorDodge: return CAIRO_OPERATOR_COLOR_DODGE;
    case kCGBlendModeColorBurn: return CAIRO_OPERATOR_COLOR_BURN;
    case kCGBlendModeSoftLight: return CAIRO_OPERATOR_SOFT_LIGHT;
    case kCGBlendModeHardLight: return CAIRO_OPERATOR_HARD_LIGHT;
    case kCGBlendModeDifference: return CAIRO_OPERATOR_DIFFERENCE;
    case kCGBlendModeExclusion: return CAIRO_OPERATOR_EXCLUSION;
    case kCGBlendModeHue: return CAIRO_OPERATOR_HSL_HUE;
    case kCGBlendModeSaturation: return CAIRO_OPERATOR_HSL_SATURATION;
    case kCGBlendModeColor: return CAIRO_OPERATOR_HSL_COLOR;
    case kCGBlendModeLuminosity: return CAIRO_OPERATOR_HSL_LUMINOSITY;
    case kCGBlendModeClear: return CAIRO_OPERATOR_CLEAR;
    case kCGBlendModeCopy: return CAIRO_OPERATOR_SOURCE;
    case kCGBlendModeSourceIn: return CAIRO_OPERATOR_IN;
    case kCGBlendModeSourceOut: return CAIRO_OPERATOR_OUT;
    case kCGBlendModeSourceAtop: return CAIRO_OPERATOR_ATOP;
    case kCGBlendModeDestinationOver: return CAIRO_OPERATOR_DEST_OVER;
    case kCGBlendModeDestinationIn: return CAIRO_OPERATOR_DEST_IN;
    case kCGBlendModeDestinationOut: return CAIRO_OPERATOR_DEST_OUT;
    case kCGBlendModeDestinationAtop: return CAIRO_OPERATOR_DEST_ATOP;
    case kCGBlendModeXOR: return CAIRO_OPERATOR_XOR;
    case kCGBlendModePlusLighter: return CAIRO_OPERATOR_ADD;
    default: return CAIRO_OPERATOR_OVER;
  }
}

cairo_filter_t filterFor(CGInterpolationQuality quality) {
  switch (quality) {
    case kCGInterpolationLow:
    case kCGInterpolationMedium: return CAIRO_FILTER_BILINEAR;
    case kCGInterpolationHigh: return CAIRO_FILTER_GOOD;
    default: return CAIRO_FILTER_NEAREST;
  }
}

bool invertible(const cairo_matrix_t& m) {
  cairo_matrix_t copy = m;
  for (double v : {m.xx, m.yx, m.xy, m.yy, m.x0, m.y0}) {
    if (!std::isfinite(v)) return false;
  }
  return cairo_matrix_invert(&copy) == CAIRO_STATUS_SUCCESS;
}

// Sets the colour (or its pattern image, tiled from the user space's origin) as the source.
void setColorSource(cairo_t* cr, const CGColorRef& color, double alpha) {
  if (color && color->pattern()) {
    if (cairo_surface_t* tile = zvt::graphics::surfaceOfImage(*color->pattern())) {
      cairo_pattern_t* pattern = cairo_pattern_create_for_surface(tile);
      cairo_matrix_t m;
      const double scale = color->patternScale() > 0 ? color->patternScale() : 1.0;
      cairo_matrix_init_scale(&m, scale, scale);
      cairo_pattern_set_matrix(pattern, &m);
      cairo_pattern_set_extend(pattern, CAIRO_EXTEND_REPEAT);
      cairo_pattern_set_filter(pattern, CAIRO_FILTER_NEAREST);
      if (alpha < 1) {
        cairo_set_source(cr, pattern);
        cairo_pattern_destroy(pattern);
        // The caller fills with the source: fold the alpha in through a group.
        cairo_push_group(cr);
        cairo_paint_with_alpha(cr, alpha);
        cairo_pattern_t* faded = cairo_pop_group(cr);
        cairo_set_source(cr, faded);
        cairo_pattern_destroy(faded);
        return;
      }
      cairo_set_source(cr, pattern);
      cairo_pattern_destroy(pattern);
      return;
    }
  }
  CGFloat rgba[4] = {0, 0, 0, 1};
  if (color) color->getRGBA(rgba);
  cairo_set_source_rgba(cr, rgba[0], rgba[1], rgba[2], rgba[3] * alpha);
}

}  // namespace

// --- Set-up

CGContext::CGContext(const PixelLayout& layout, size_t width, size_t height, size_t bytesPerRow, CGColorSpaceRef space,
                     CGBitmapInfo info, uint8_t* external)
    : layout_(layout), width_(width), height_(height), bytesPerRow_(bytesPerRow), space_(std::move(space)),
      info_(info), data_(external), external_(external != nullptr) {
  if (!data_) {
    own_.assign(bytesPerRow_ * height_, 0);
    data_ = own_.data();
  }
  cairo_format_t format = CAIRO_FORMAT_INVALID;
  const bool rgb8 = layout_.model == kCGColorSpaceModelRGB && layout_.bitsPerComponent == 8 && layout_.bitsPerPixel == 32;
  const bool hostOrder = layout_.byteOrder == kCGBitmapByteOrder32Little;
  if (rgb8 && hostOrder && layout_.alpha == kCGImageAlphaPremultipliedFirst) format = CAIRO_FORMAT_ARGB32;
  if (rgb8 && hostOrder && layout_.alpha == kCGImageAlphaNoneSkipFirst) format = CAIRO_FORMAT_RGB24;
  const bool aligned = reinterpret_cast<uintptr_t>(data_) % 4 == 0 && bytesPerRow_ % 4 == 0 &&
                       static_cast<size_t>(cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, static_cast<int>(width_))) <=
                           bytesPerRow_;
  cairo_surface_t* surface;
  if (format != CAIRO_FORMAT_INVALID && aligned) {
    native_ = true;
    surface = cairo_image_surface_create_for_data(data_, format, static_cast<int>(width_), static_cast<int>(height_),
                                                  static_cast<int>(bytesPerRow_));
  } else {
    // Layouts Cairo does not draw in get a copy in the host's layout, converted in and out.
    surface = cairo_image_surface_create(layout_.premultiplied() ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24,
                                         static_cast<int>(width_), static_cast<int>(height_));
    // Zeroed memory of our own reads as the fresh copy does (transparent, or black), except
    // CMYK, where zero ink is white.
    bufferNewer_ = external_ || layout_.model == kCGColorSpaceModelCMYK;
  }
  setUp(surface);
}

CGContext::CGContext(cairo_surface_t* surface, CGFloat scale) {
  width_ = static_cast<size_t>(cairo_image_surface_get_width(surface));
  height_ = static_cast<size_t>(cairo_image_surface_get_height(surface));
  bytesPerRow_ = static_cast<size_t>(cairo_image_surface_get_stride(surface));
  const bool opaque = cairo_image_surface_get_format(surface) == CAIRO_FORMAT_RGB24;
  info_ = (opaque ? kCGImageAlphaNoneSkipFirst : kCGImageAlphaPremultipliedFirst) | kCGBitmapByteOrder32Little;
  space_ = CGColorSpaceCreateDeviceRGB();
  layout_ = *zvt::graphics::readableLayout(8, 32, space_, info_);
  data_ = cairo_image_surface_get_data(surface);
  native_ = true;  // the surface's owner draws with Cairo too; writing its bytes directly needs cairo_surface_mark_dirty
  setUp(cairo_surface_reference(surface));
  if (cr_) {
    state().ctm = CGAffineTransformMake(scale, 0, 0, -scale, 0, static_cast<CGFloat>(height_));
    setUIKitBase(scale);
  }
}

void CGContext::setUp(cairo_surface_t* surface) {
  surface_ = surface;
  if (cairo_surface_status(surface_) != CAIRO_STATUS_SUCCESS) return;
  cr_ = cairo_create(surface_);
  if (cairo_status(cr_) != CAIRO_STATUS_SUCCESS) {
    cairo_destroy(cr_);
    cr_ = nullptr;
    return;
  }
  state().fill = CGColorCreateGenericGray(0, 1);
  state().stroke = state().fill;
}

CGContext::~CGContext() {
  if (cr_) cairo_destroy(cr_);
  if (surface_) cairo_surface_destroy(surface_);
}

void CGContext::setUIKitBase(CGFloat scale) { uikitScale_ = scale > 0 ? scale : 1.0; }

void CGContext::recoverFromError() {
  if (!cr_ || cairo_status(cr_) == CAIRO_STATUS_SUCCESS) return;
  // A Cairo context that met an error draws nothing more: start a fresh one (the state stack
  // and the clip are lost, the pixels stay).
  cairo_destroy(cr_);
  cr_ = cairo_create(surface_);
  State base = states_.front();
  states_.assign(1, base);
  layers_.clear();
}

// --- Pixels in and out

namespace {
const PixelLayout& hostLayout(bool alpha) {
  static const PixelLayout argb = *zvt::graphics::readableLayout(
      8, 32, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little);
  static const PixelLayout xrgb = *zvt::graphics::readableLayout(
      8, 32, CGColorSpaceCreateDeviceRGB(), kCGImageAlphaNoneSkipFirst | kCGBitmapByteOrder32Little);
  return alpha ? argb : xrgb;
}
}  // namespace

void CGContext::importPixels() {
  if (!surface_) return;
  cairo_surface_flush(surface_);
  const PixelLayout& host = hostLayout(layout_.premultiplied());
  uint8_t* dst = cairo_image_surface_get_data(surface_);
  const size_t stride = static_cast<size_t>(cairo_image_surface_get_stride(surface_));
  std::vector<uint8_t> rgba(width_ * 4);
  for (size_t y = 0; y < height_; ++y) {
    zvt::graphics::readPixels(layout_, data_ + y * bytesPerRow_, width_, rgba.data());
    zvt::graphics::writePixels(host, rgba.data(), width_, dst + y * stride);
  }
  cairo_surface_mark_dirty(surface_);
}

void CGContext::exportPixels(Box region) {
  if (region.empty() || !surface_) return;
  const size_t x0 = static_cast<size_t>(std::clamp(std::floor(region.x0), 0.0, static_cast<double>(width_)));
  const size_t x1 = static_cast<size_t>(std::clamp(std::ceil(region.x1), 0.0, static_cast<double>(width_)));
  const size_t y0 = static_cast<size_t>(std::clamp(std::floor(region.y0), 0.0, static_cast<double>(height_)));
  const size_t y1 = static_cast<size_t>(std::clamp(std::ceil(region.y1), 0.0, static_cast<double>(height_)));
  if (x1 <= x0 || y1 <= y0) return;
  cairo_surface_flush(surface_);
  const PixelLayout& host = hostLayout(layout_.premultiplied());
  const uint8_t* src = cairo_image_surface_get_data(surface_);
  const size_t stride = static_cast<size_t>(cairo_image_surface_get_stride(surface_));
  const size_t n = x1 - x0, bpp = layout_.bytesPerPixel();
  std::vector<uint8_t> now(n * 4), before(n * 4);
  for (size_t y = y0; y < y1; ++y) {
    uint8_t* row = data_ + y * bytesPerRow_ + x0 * bpp;
    zvt::graphics::readPixels(host, src + y * stride + x0 * 4, n, now.data());
    zvt::graphics::readPixels(layout_, row, n, before.data());
    // Only pixels that drawing changed are written: the others keep their exact bytes (a
    // conversion through RGB is not exact for every layout).
    for (size_t i = 0; i < n;) {
      if (std::memcmp(&now[4 * i], &before[4 * i], 4) == 0) {
        ++i;
        continue;
      }
      size_t j = i + 1;
      while (j < n && std::memcmp(&now[4 * j], &before[4 * j], 4) != 0) ++j;
      zvt::graphics::writePixels(layout_, &now[4 * i], j - i, row + i * bpp);
      i = j;
    }
  }
}

void CGContext::beforeDrawing() {
  if (native_) {
    if (exposed_ || external_) cairo_surface_mark_dirty(surface_);
    return;
  }
  if (bufferNewer_ || exposed_) {
    exportPixels(pendingExport_);
    pendingExport_ = Box();
    importPixels();
    bufferNewer_ = false;
  }
}

void CGContext::afterDrawing(Box damaged) {
  recoverFromError();
  if (native_) {
    cairo_surface_flush(surface_);
    return;
  }
  if (pendingExport_.empty()) {
    pendingExport_ = damaged;
  } else if (!damaged.empty()) {
    pendingExport_ = Box{std::min(pendingExport_.x0, damaged.x0), std::min(pendingExport_.y0, damaged.y0),
                         std::max(pendingExport_.x1, damaged.x1), std::max(pendingExport_.y1, damaged.y1)};
  }
  // Memory the caller holds must show every drawing at once.
  if (external_ || exposed_) {
    exportPixels(pendingExport_);
    pendingExport_ = Box();
  }
}

uint8_t* CGContext::data() {
  pixelsForReading();
  exposed_ = true;
  return data_;
}

const uint8_t* CGContext::pixelsForReading() {
  if (native_) {
    if (surface_) cairo_surface_flush(surface_);
  } else if (!bufferNewer_) {
    exportPixels(pendingExport_);
    pendingExport_ = Box();
  }
  return data_;
}

// --- State

void CGContext::saveState() {
  states_.push_back(states_.back());
  if (cr_) cairo_save(cr_);
}

void CGContext::restoreState() {
  // Never below the state a transparency layer began with, nor the base state.
  const size_t floor = layers_.empty() ? 1 : layers_.back().depth + 1;
  if (states_.size() <= floor) return;
  states_.pop_back();
  if (cr_) cairo_restore(cr_);
}

bool CGContext::userMatrix(double m[6]) const {
  const auto& t = state().ctm;
  const double h = static_cast<double>(height_);
  cairo_matrix_t cm;
  cairo_matrix_init(&cm, t.a, -t.b, t.c, -t.d, t.tx, h - t.ty);
  if (!invertible(cm)) return false;
  m[0] = cm.xx, m[1] = cm.yx, m[2] = cm.xy, m[3] = cm.yy, m[4] = cm.x0, m[5] = cm.y0;
  return true;
}

namespace {
void setMatrix(cairo_t* cr, const double m[6]) {
  cairo_matrix_t cm;
  cairo_matrix_init(&cm, m[0], m[1], m[2], m[3], m[4], m[5]);
  cairo_set_matrix(cr, &cm);
}
}  // namespace

void CGContext::appendDevicePath(cairo_t* cr) const {
  const double h = static_cast<double>(height_);
  auto X = [](double x) { return clampCoordinate(x); };
  auto Y = [h](double y) { return clampCoordinate(h - y); };
  CGPoint current{};
  cairo_new_path(cr);
  for (const auto& e : path_.elements()) {
    const CGPoint* p = e.points;
    switch (e.type) {
      case kCGPathElementMoveToPoint:
        cairo_move_to(cr, X(p[0].x), Y(p[0].y));
        current = p[0];
        break;
      case kCGPathElementAddLineToPoint:
        cairo_line_to(cr, X(p[0].x), Y(p[0].y));
        current = p[0];
        break;
      case kCGPathElementAddQuadCurveToPoint: {
        CGPoint c1{current.x + 2.0 / 3.0 * (p[0].x - current.x), current.y + 2.0 / 3.0 * (p[0].y - current.y)};
        CGPoint c2{p[1].x + 2.0 / 3.0 * (p[0].x - p[1].x), p[1].y + 2.0 / 3.0 * (p[0].y - p[1].y)};
        cairo_curve_to(cr, X(c1.x), Y(c1.y), X(c2.x), Y(c2.y), X(p[1].x), Y(p[1].y));
        current = p[1];
        break;
      }
      case kCGPathElementAddCurveToPoint:
        cairo_curve_to(cr, X(p[0].x), Y(p[0].y), X(p[1].x), Y(p[1].y), X(p[2].x), Y(p[2].y));
        current = p[2];
        break;
      case kCGPathElementCloseSubpath:
        cairo_close_path(cr);
        break;
    }
  }
}

CGContext::Box CGContext::pathBox(double grow) const {
  CGRect r = CGPathGetBoundingBox(std::make_shared<CGPath>(path_.elements()));
  if (CGRectIsNull(r)) return Box();
  const double h = static_cast<double>(height_);
  return Box{clampCoordinate(r.origin.x - grow), clampCoordinate(h - (r.origin.y + r.size.height) - grow),
             clampCoordinate(r.origin.x + r.size.width + grow), clampCoordinate(h - r.origin.y + grow)};
}

CGContext::Box CGContext::deviceBoxOfUserRect(CGRect rect) const {
  CGRect d = CGRectApplyAffineTransform(CGRectStandardize(rect), state().ctm);
  const double h = static_cast<double>(height_);
  return Box{clampCoordinate(d.origin.x), clampCoordinate(h - (d.origin.y + d.size.height)),
             clampCoordinate(d.origin.x + d.size.width), clampCoordinate(h - d.origin.y)};
}

CGContext::Box CGContext::clipBox() const {
  if (!cr_) return Box();
  double x0, y0, x1, y1;
  cairo_clip_extents(cr_, &x0, &y0, &x1, &y1);
  return Box{x0, y0, x1, y1};
}

CGRect CGContext::clipBoundingBox() const {
  Box b = clipBox();
  if (b.empty()) return CGRectZero;
  const double h = static_cast<double>(height_);
  CGRect device = CGRectMake(b.x0, h - b.y1, b.x1 - b.x0, b.y1 - b.y0);
  return CGRectApplyAffineTransform(device, CGAffineTransformInvert(state().ctm));
}

// --- Painting

void CGContext::paint(Box box, bool appliesAlpha, const std::function<void(cairo_t*, double)>& draw) {
  if (!cr_) return;
  const State& s = state();
  if (s.alpha <= 0 && s.blend != kCGBlendModeCopy && s.blend != kCGBlendModeClear) return;
  beforeDrawing();
  const Box clip = clipBox();
  cairo_save(cr_);
  cairo_identity_matrix(cr_);
  cairo_set_antialias(cr_, s.antialias ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
  Box damaged = box;
  if (s.shadowColor && s.shadowColor->alpha() > 0) {
    drawShadow(box, draw);
    damaged = clip;  // the shadow may fall anywhere within the clip
  }
  cairo_set_operator(cr_, operatorFor(s.blend));
  if (appliesAlpha || s.alpha >= 1) {
    draw(cr_, s.alpha);
  } else {
    cairo_push_group(cr_);
    cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
    draw(cr_, 1.0);
    cairo_pop_group_to_source(cr_);
    cairo_paint_with_alpha(cr_, s.alpha);
  }
  cairo_restore(cr_);
  // Unbounded operators change pixels outside the shape too.
  const cairo_operator_t op = operatorFor(s.blend);
  if (op == CAIRO_OPERATOR_IN || op == CAIRO_OPERATOR_OUT || op == CAIRO_OPERATOR_DEST_IN ||
      op == CAIRO_OPERATOR_DEST_ATOP) {
    damaged = clip;
  }
  afterDrawing(Box{std::max(damaged.x0, clip.x0), std::max(damaged.y0, clip.y0), std::min(damaged.x1, clip.x1),
                   std::min(damaged.y1, clip.y1)});
}

void CGContext::drawShadow(Box box, const std::function<void(cairo_t*, double)>& draw) {
  const State& s = state();
  double dx, dy, blur;
  if (uikitScale_ > 0) {
    dx = s.shadowOffset.width * uikitScale_, dy = s.shadowOffset.height * uikitScale_, blur = s.shadowBlur * uikitScale_;
  } else {
    dx = s.shadowOffset.width, dy = -s.shadowOffset.height, blur = s.shadowBlur;
  }
  if (!std::isfinite(dx) || !std::isfinite(dy) || !std::isfinite(blur)) return;
  const double sigma = std::max(0.0, blur) / 2;
  const double pad = std::ceil(3 * sigma) + 1;
  // The shape's area, grown by the blur, where its shadow can reach the clip.
  const Box clip = clipBox();
  Box m{std::max(box.x0, clip.x0 - dx) - pad, std::max(box.y0, clip.y0 - dy) - pad,
        std::min(box.x1, clip.x1 - dx) + pad, std::min(box.y1, clip.y1 - dy) + pad};
  if (m.empty()) return;
  const int x0 = static_cast<int>(std::floor(m.x0)), y0 = static_cast<int>(std::floor(m.y0));
  const int w = static_cast<int>(std::ceil(m.x1)) - x0, h = static_cast<int>(std::ceil(m.y1)) - y0;
  if (w <= 0 || h <= 0 || static_cast<double>(w) * h > 1e8) return;
  cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, w, h);
  if (cairo_surface_status(mask) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(mask);
    return;
  }
  cairo_surface_set_device_offset(mask, -x0, -y0);
  cairo_t* mc = cairo_create(mask);
  cairo_set_antialias(mc, s.antialias ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
  draw(mc, 1.0);
  cairo_destroy(mc);
  cairo_surface_flush(mask);
  zvt::graphics::blurAlpha(cairo_image_surface_get_data(mask), w, h, cairo_image_surface_get_stride(mask), sigma);
  cairo_surface_mark_dirty(mask);
  cairo_save(cr_);
  cairo_set_operator(cr_, operatorFor(s.blend));
  setColorSource(cr_, s.shadowColor, s.alpha);
  cairo_mask_surface(cr_, mask, dx, dy);
  cairo_restore(cr_);
  cairo_surface_destroy(mask);
}

void CGContext::fillPath(bool evenOdd) {
  if (path_.isEmpty() || !cr_) {
    path_.clear();
    return;
  }
  double m[6];
  const bool user = userMatrix(m);
  const CGColorRef color = state().fill;
  paint(pathBox(0), true, [&](cairo_t* cr, double alpha) {
    appendDevicePath(cr);
    cairo_set_fill_rule(cr, evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
    if (user) setMatrix(cr, m);  // pattern colours tile in user space
    setColorSource(cr, color, alpha);
    cairo_fill(cr);
  });
  path_.clear();
}

void CGContext::strokePath() {
  double m[6];
  if (path_.isEmpty() || !cr_ || !userMatrix(m)) {
    path_.clear();
    return;
  }
  const State& s = state();
  const double det = std::fabs(m[0] * m[3] - m[1] * m[2]);
  // The thinnest line: one device pixel.
  const double width = s.lineWidth > 0 ? s.lineWidth : 1 / std::sqrt(det);
  const double maxScale = std::max(std::hypot(m[0], m[1]), std::hypot(m[2], m[3]));
  const double reach = width / 2 * maxScale * std::max({s.join == kCGLineJoinMiter ? s.miterLimit : 1.0, std::sqrt(2.0), 1.0});
  const CGColorRef color = s.stroke;
  const State copy = s;
  paint(pathBox(reach), true, [&, width](cairo_t* cr, double alpha) {
    appendDevicePath(cr);
    setMatrix(cr, m);
    cairo_set_line_width(cr, width);
    cairo_set_line_cap(cr, copy.cap == kCGLineCapRound ? CAIRO_LINE_CAP_ROUND
                           : copy.cap == kCGLineCapSquare ? CAIRO_LINE_CAP_SQUARE : CAIRO_LINE_CAP_BUTT);
    cairo_set_line_join(cr, copy.join == kCGLineJoinRound ? CAIRO_LINE_JOIN_ROUND
                            : copy.join == kCGLineJoinBevel ? CAIRO_LINE_JOIN_BEVEL : CAIRO_LINE_JOIN_MITER);
    cairo_set_miter_limit(cr, copy.miterLimit);
    if (!copy.dashes.empty()) {
      cairo_set_dash(cr, copy.dashes.data(), static_cast<int>(copy.dashes.size()), copy.dashPhase);
    }
    setColorSource(cr, color, alpha);
    cairo_stroke(cr);
  });
  path_.clear();
}

void CGContext::clipToPath(bool evenOdd) {
  if (!cr_) return;
  cairo_identity_matrix(cr_);
  appendDevicePath(cr_);
  cairo_set_fill_rule(cr_, evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
  cairo_clip(cr_);
  path_.clear();
  recoverFromError();
}

void CGContext::clearRect(CGRect rect) {
  if (!cr_) return;
  CGPath shape;
  shape.addRect(CGRectStandardize(rect), &state().ctm);
  std::swap(shape, path_);
  beforeDrawing();
  cairo_save(cr_);
  cairo_identity_matrix(cr_);
  appendDevicePath(cr_);
  cairo_set_operator(cr_, CAIRO_OPERATOR_CLEAR);
  cairo_fill(cr_);
  cairo_restore(cr_);
  Box box = pathBox(0);
  std::swap(shape, path_);
  afterDrawing(box);
}

void CGContext::drawImage(CGRect rect, const CGImage& image, bool tiled) {
  double m[6];
  rect = CGRectStandardize(rect);
  if (!cr_ || !userMatrix(m) || !(rect.size.width > 0) || !(rect.size.height > 0)) return;
  cairo_surface_t* surface = zvt::graphics::surfaceOfImage(image);
  if (!surface) return;
  const double W = static_cast<double>(image.width()), H = static_cast<double>(image.height());
  const double x = rect.origin.x, maxY = rect.origin.y + rect.size.height;
  // User space to the image's pixels: its top row at the rectangle's top (maxY).
  cairo_matrix_t pm;
  cairo_matrix_init(&pm, W / rect.size.width, 0, 0, -H / rect.size.height, -x * W / rect.size.width,
                    maxY * H / rect.size.height);
  cairo_matrix_t user;
  cairo_matrix_init(&user, m[0], m[1], m[2], m[3], m[4], m[5]);
  cairo_matrix_t combined;
  cairo_matrix_multiply(&combined, &pm, &user);
  if (!invertible(pm) || !invertible(combined)) return;
  const cairo_filter_t filter = filterFor(state().interpolation);
  paint(tiled ? clipBox() : deviceBoxOfUserRect(rect), true, [&](cairo_t* cr, double alpha) {
    setMatrix(cr, m);
    if (!tiled) {
      cairo_rectangle(cr, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
      cairo_clip(cr);
    }
    cairo_pattern_t* pattern = cairo_pattern_create_for_surface(surface);
    cairo_pattern_set_matrix(pattern, &pm);
    cairo_pattern_set_filter(pattern, filter);
    cairo_pattern_set_extend(pattern, tiled ? CAIRO_EXTEND_REPEAT : CAIRO_EXTEND_PAD);
    cairo_set_source(cr, pattern);
    cairo_paint_with_alpha(cr, alpha);
    cairo_pattern_destroy(pattern);
  });
}

namespace {

void addStops(cairo_pattern_t* pattern, const CGGradient& gradient) {
  for (const auto& stop : gradient.stops()) {
    cairo_pattern_add_color_stop_rgba(pattern, stop.location, stop.rgba[0], stop.rgba[1], stop.rgba[2], stop.rgba[3]);
  }
}

// A polygon in user space far larger than the clip (for half-plane clips).
double farDistance(cairo_t* cr) {
  double x0, y0, x1, y1;
  cairo_clip_extents(cr, &x0, &y0, &x1, &y1);
  return 2 * (std::hypot(x1 - x0, y1 - y0) + std::fabs(x0) + std::fabs(y0) + std::fabs(x1) + std::fabs(y1)) + 1;
}

}  // namespace

void CGContext::drawLinearGradient(const CGGradient& gradient, CGPoint start, CGPoint end,
                                   CGGradientDrawingOptions options) {
  double m[6];
  if (!cr_ || !userMatrix(m) || gradient.stops().empty()) return;
  const double dx = end.x - start.x, dy = end.y - start.y, len2 = dx * dx + dy * dy;
  if (!(len2 > 0) || !std::isfinite(len2)) return;
  const bool before = options & kCGGradientDrawsBeforeStartLocation, after = options & kCGGradientDrawsAfterEndLocation;
  paint(clipBox(), true, [&](cairo_t* cr, double alpha) {
    setMatrix(cr, m);
    if (before != after) {
      // Only one side extends: keep the half-plane on that side of the other end's line.
      const double far = farDistance(cr);
      const double len = std::sqrt(len2), ux = dx / len, uy = dy / len;
      const CGPoint edge = before ? end : start;      // the side that does not extend
      const double dir = before ? -1 : 1;             // towards the area kept
      const double px = -uy * far, py = ux * far;     // along the edge line
      cairo_move_to(cr, edge.x + px, edge.y + py);
      cairo_line_to(cr, edge.x - px, edge.y - py);
      cairo_line_to(cr, edge.x - px + dir * ux * far, edge.y - py + dir * uy * far);
      cairo_line_to(cr, edge.x + px + dir * ux * far, edge.y + py + dir * uy * far);
      cairo_close_path(cr);
      cairo_clip(cr);
    }
    cairo_pattern_t* pattern = cairo_pattern_create_linear(start.x, start.y, end.x, end.y);
    addStops(pattern, gradient);
    cairo_pattern_set_extend(pattern, before || after ? CAIRO_EXTEND_PAD : CAIRO_EXTEND_NONE);
    cairo_set_source(cr, pattern);
    cairo_paint_with_alpha(cr, alpha);
    cairo_pattern_destroy(pattern);
  });
}

void CGContext::drawRadialGradient(const CGGradient& gradient, CGPoint c0, CGFloat r0, CGPoint c1, CGFloat r1,
                                   CGGradientDrawingOptions options) {
  double m[6];
  if (!cr_ || !userMatrix(m) || gradient.stops().empty()) return;
  if (!std::isfinite(r0) || !std::isfinite(r1) || r0 < 0 || r1 < 0 || (r0 == 0 && r1 == 0)) return;
  const bool before = options & kCGGradientDrawsBeforeStartLocation, after = options & kCGGradientDrawsAfterEndLocation;
  paint(clipBox(), true, [&](cairo_t* cr, double alpha) {
    setMatrix(cr, m);
    if (before != after) {
      // Before the start lies inside the start circle when the circles grow, outside it when
      // they shrink; after the end, outside or inside the end circle.
      const bool growing = r0 < r1;
      const CGPoint c = after ? c0 : c1;
      const double r = after ? r0 : r1;
      const bool excludeInside = after ? growing : !growing;
      if (r > 0 || !excludeInside) {
        if (excludeInside) {
          const double far = farDistance(cr);
          cairo_rectangle(cr, -far, -far, 2 * far, 2 * far);
          cairo_new_sub_path(cr);
          cairo_arc(cr, c.x, c.y, r, 0, 2 * M_PI);
          cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
        } else {
          cairo_arc(cr, c.x, c.y, r, 0, 2 * M_PI);
        }
        cairo_clip(cr);
      }
    }
    cairo_pattern_t* pattern = cairo_pattern_create_radial(c0.x, c0.y, r0, c1.x, c1.y, r1);
    addStops(pattern, gradient);
    cairo_pattern_set_extend(pattern, before || after ? CAIRO_EXTEND_PAD : CAIRO_EXTEND_NONE);
    cairo_set_source(cr, pattern);
    cairo_paint_with_alpha(cr, alpha);
    cairo_pattern_destroy(pattern);
  });
}

void CGContext::beginTransparencyLayer() {
  if (!cr_) return;
  beforeDrawing();
  State& s = state();
  layers_.push_back(Layer{states_.size(), s.alpha, s.blend, s.shadowOffset, s.shadowBlur, s.shadowColor});
  states_.push_back(s);
  State& inside = state();
  inside.alpha = 1;
  inside.blend = kCGBlendModeNormal;
  inside.shadowColor = nullptr;
  cairo_push_group(cr_);  // saves Cairo's state too
}

void CGContext::endTransparencyLayer() {
  if (!cr_ || layers_.empty()) return;
  Layer layer = layers_.back();
  layers_.pop_back();
  // Drop states saved inside the layer and not restored.
  while (states_.size() > layer.depth + 1) {
    states_.pop_back();
    cairo_restore(cr_);
  }
  states_.pop_back();
  cairo_pattern_t* content = cairo_pop_group(cr_);
  State& s = state();
  const State saved = s;
  s.alpha = layer.alpha;
  s.blend = layer.blend;
  s.shadowOffset = layer.shadowOffset;
  s.shadowBlur = layer.shadowBlur;
  s.shadowColor = layer.shadowColor;
  paint(clipBox(), true, [&](cairo_t* cr, double alpha) {
    cairo_set_source(cr, content);
    cairo_paint_with_alpha(cr, alpha);
  });
  cairo_pattern_destroy(content);
  s = saved;
}

void CGContext::drawWithCairo(std::optional<CGRect> userBounds, bool appliesAlpha,
                              const std::function<void(cairo_t*, double)>& draw) {
  double m[6];
  if (!cr_ || !userMatrix(m) || !draw) return;
  Box box = userBounds ? deviceBoxOfUserRect(*userBounds) : clipBox();
  paint(box, appliesAlpha, [&](cairo_t* cr, double alpha) {
    setMatrix(cr, m);
    draw(cr, alpha);
  });
}

// --- The C functions

void CGContextSaveGState(const CGContextRef& c) {
  if (c) c->saveState();
}
void CGContextRestoreGState(const CGContextRef& c) {
  if (c) c->restoreState();
}
void CGContextTranslateCTM(const CGContextRef& c, CGFloat tx, CGFloat ty) {
  if (c) c->state().ctm = CGAffineTransformTranslate(c->state().ctm, tx, ty);
}
void CGContextScaleCTM(const CGContextRef& c, CGFloat sx, CGFloat sy) {
  if (c) c->state().ctm = CGAffineTransformScale(c->state().ctm, sx, sy);
}
void CGContextRotateCTM(const CGContextRef& c, CGFloat angle) {
  if (c) c->state().ctm = CGAffineTransformRotate(c->state().ctm, angle);
}
void CGContextConcatCTM(const CGContextRef& c, CGAffineTransform transform) {
  if (c) c->state().ctm = CGAffineTransformConcat(transform, c->state().ctm);
}
CGAffineTransform CGContextGetCTM(const CGContextRef& c) { return c ? c->state().ctm : CGAffineTransformIdentity; }
CGAffineTransform CGContextGetUserSpaceToDeviceSpaceTransform(const CGContextRef& c) { return CGContextGetCTM(c); }
CGPoint CGContextConvertPointToDeviceSpace(const CGContextRef& c, CGPoint point) {
  return CGPointApplyAffineTransform(point, CGContextGetCTM(c));
}
CGPoint CGContextConvertPointToUserSpace(const CGContextRef& c, CGPoint point) {
  return CGPointApplyAffineTransform(point, CGAffineTransformInvert(CGContextGetCTM(c)));
}
CGRect CGContextConvertRectToDeviceSpace(const CGContextRef& c, CGRect rect) {
  return CGRectApplyAffineTransform(rect, CGContextGetCTM(c));
}
CGRect CGContextConvertRectToUserSpace(const CGContextRef& c, CGRect rect) {
  return CGRectApplyAffineTransform(rect, CGAffineTransformInvert(CGContextGetCTM(c)));
}

void CGContextSetLineWidth(const CGContextRef& c, CGFloat width) {
  if (c && std::isfinite(width) && width >= 0) c->state().lineWidth = width;
}
void CGContextSetLineCap(const CGContextRef& c, CGLineCap cap) {
  if (c) c->state().cap = cap;
}
void CGContextSetLineJoin(const CGContextRef& c, CGLineJoin join) {
  if (c) c->state().join = join;
}
void CGContextSetMiterLimit(const CGContextRef& c, CGFloat limit) {
  if (c && std::isfinite(limit) && limit >= 1) c->state().miterLimit = limit;
}
void CGContextSetLineDash(const CGContextRef& c, CGFloat phase, const CGFloat* lengths, size_t count) {
  if (!c) return;
  std::vector<CGFloat> dashes;
  bool usable = lengths && count > 0 && std::isfinite(phase);
  double total = 0;
  for (size_t i = 0; usable && i < count; ++i) {
    if (!std::isfinite(lengths[i]) || lengths[i] < 0) usable = false;
    total += lengths[i];
  }
  if (usable && total > 0) dashes.assign(lengths, lengths + count);
  c->state().dashes = std::move(dashes);
  c->state().dashPhase = usable ? phase : 0;
}
void CGContextSetFlatness(const CGContextRef&, CGFloat) {}
void CGContextSetAlpha(const CGContextRef& c, CGFloat alpha) {
  if (c && !std::isnan(alpha)) c->state().alpha = std::clamp(alpha, 0.0, 1.0);
}
void CGContextSetBlendMode(const CGContextRef& c, CGBlendMode mode) {
  if (c) c->state().blend = mode;
}
void CGContextSetShouldAntialias(const CGContextRef& c, bool shouldAntialias) {
  if (c) c->state().antialias = shouldAntialias;
}
void CGContextSetAllowsAntialiasing(const CGContextRef& c, bool allowsAntialiasing) {
  if (c && !allowsAntialiasing) c->state().antialias = false;
}
void CGContextSetInterpolationQuality(const CGContextRef& c, CGInterpolationQuality quality) {
  if (c) c->state().interpolation = quality;
}
CGInterpolationQuality CGContextGetInterpolationQuality(const CGContextRef& c) {
  return c ? c->state().interpolation : kCGInterpolationDefault;
}

void CGContextSetFillColorWithColor(const CGContextRef& c, const CGColorRef& color) {
  if (c && color) c->state().fill = color;
}
void CGContextSetStrokeColorWithColor(const CGContextRef& c, const CGColorRef& color) {
  if (c && color) c->state().stroke = color;
}
void CGContextSetRGBFillColor(const CGContextRef& c, CGFloat r, CGFloat g, CGFloat b, CGFloat a) {
  CGContextSetFillColorWithColor(c, CGColorCreateGenericRGB(r, g, b, a));
}
void CGContextSetRGBStrokeColor(const CGContextRef& c, CGFloat r, CGFloat g, CGFloat b, CGFloat a) {
  CGContextSetStrokeColorWithColor(c, CGColorCreateGenericRGB(r, g, b, a));
}
void CGContextSetGrayFillColor(const CGContextRef& c, CGFloat gray, CGFloat alpha) {
  CGContextSetFillColorWithColor(c, CGColorCreateGenericGray(gray, alpha));
}
void CGContextSetGrayStrokeColor(const CGContextRef& c, CGFloat gray, CGFloat alpha) {
  CGContextSetStrokeColorWithColor(c, CGColorCreateGenericGray(gray, alpha));
}
void CGContextSetCMYKFillColor(const CGContextRef& c, CGFloat cy, CGFloat m, CGFloat y, CGFloat k, CGFloat a) {
  const CGFloat comps[5] = {cy, m, y, k, a};
  CGContextSetFillColorWithColor(c, CGColorCreate(CGColorSpaceCreateDeviceCMYK(), comps));
}
void CGContextSetCMYKStrokeColor(const CGContextRef& c, CGFloat cy, CGFloat m, CGFloat y, CGFloat k, CGFloat a) {
  const CGFloat comps[5] = {cy, m, y, k, a};
  CGContextSetStrokeColorWithColor(c, CGColorCreate(CGColorSpaceCreateDeviceCMYK(), comps));
}

namespace {
CGColorRef blackIn(const CGColorSpaceRef& space) {
  std::vector<CGFloat> comps(space->numberOfComponents() + 1, 0.0);
  if (space->model() != kCGColorSpaceModelCMYK) {
    comps.back() = 1;
  } else {
    comps[3] = 1, comps.back() = 1;
  }
  return CGColorCreate(space, comps.data());
}
}  // namespace

void CGContextSetFillColorSpace(const CGContextRef& c, const CGColorSpaceRef& space) {
  if (c && space) {
    if (auto black = blackIn(space)) c->state().fill = black;
  }
}
void CGContextSetStrokeColorSpace(const CGContextRef& c, const CGColorSpaceRef& space) {
  if (c && space) {
    if (auto black = blackIn(space)) c->state().stroke = black;
  }
}
void CGContextSetFillColor(const CGContextRef& c, const CGFloat* components) {
  if (c && components) CGContextSetFillColorWithColor(c, CGColorCreate(c->state().fill->colorSpace(), components));
}
void CGContextSetStrokeColor(const CGContextRef& c, const CGFloat* components) {
  if (c && components) CGContextSetStrokeColorWithColor(c, CGColorCreate(c->state().stroke->colorSpace(), components));
}
void CGContextSetShadow(const CGContextRef& c, CGSize offset, CGFloat blur) {
  CGContextSetShadowWithColor(c, offset, blur, CGColorCreateGenericGray(0, 1.0 / 3.0));
}
void CGContextSetShadowWithColor(const CGContextRef& c, CGSize offset, CGFloat blur, const CGColorRef& color) {
  if (!c) return;
  auto& s = c->state();
  s.shadowOffset = offset;
  s.shadowBlur = std::isfinite(blur) && blur > 0 ? blur : 0;
  s.shadowColor = color;
}

void CGContextBeginPath(const CGContextRef& c) {
  if (c) c->path().clear();
}
void CGContextMoveToPoint(const CGContextRef& c, CGFloat x, CGFloat y) {
  if (c) c->path().moveTo(c->toDevice({x, y}));
}
void CGContextAddLineToPoint(const CGContextRef& c, CGFloat x, CGFloat y) {
  if (c) c->path().lineTo(c->toDevice({x, y}));
}
void CGContextAddCurveToPoint(const CGContextRef& c, CGFloat cp1x, CGFloat cp1y, CGFloat cp2x, CGFloat cp2y, CGFloat x,
                              CGFloat y) {
  if (c) c->path().curveTo(c->toDevice({cp1x, cp1y}), c->toDevice({cp2x, cp2y}), c->toDevice({x, y}));
}
void CGContextAddQuadCurveToPoint(const CGContextRef& c, CGFloat cpx, CGFloat cpy, CGFloat x, CGFloat y) {
  if (c) c->path().quadTo(c->toDevice({cpx, cpy}), c->toDevice({x, y}));
}
void CGContextClosePath(const CGContextRef& c) {
  if (c) c->path().close();
}
void CGContextAddRect(const CGContextRef& c, CGRect rect) {
  if (c) c->path().addRect(rect, &c->state().ctm);
}
void CGContextAddRects(const CGContextRef& c, const CGRect* rects, size_t count) {
  for (size_t i = 0; c && rects && i < count; ++i) c->path().addRect(rects[i], &c->state().ctm);
}
void CGContextAddLines(const CGContextRef& c, const CGPoint* points, size_t count) {
  if (!c || !points || count == 0) return;
  c->path().moveTo(c->toDevice(points[0]));
  for (size_t i = 1; i < count; ++i) c->path().lineTo(c->toDevice(points[i]));
}
void CGContextAddEllipseInRect(const CGContextRef& c, CGRect rect) {
  if (c) c->path().addEllipse(rect, &c->state().ctm);
}
void CGContextAddArc(const CGContextRef& c, CGFloat x, CGFloat y, CGFloat radius, CGFloat startAngle, CGFloat endAngle,
                     int clockwise) {
  if (c) c->path().addArc(x, y, radius, startAngle, endAngle, clockwise != 0, &c->state().ctm);
}
void CGContextAddArcToPoint(const CGContextRef& c, CGFloat x1, CGFloat y1, CGFloat x2, CGFloat y2, CGFloat radius) {
  if (c) c->path().addArcToPoint({x1, y1}, {x2, y2}, radius, &c->state().ctm);
}
void CGContextAddPath(const CGContextRef& c, const CGPathRef& path) {
  if (c && path) c->path().addPath(*path, &c->state().ctm);
}
bool CGContextIsPathEmpty(const CGContextRef& c) { return !c || c->path().isEmpty(); }
CGPoint CGContextGetPathCurrentPoint(const CGContextRef& c) {
  if (!c || c->path().isEmpty()) return CGPointZero;
  return CGPointApplyAffineTransform(c->path().currentPoint(), CGAffineTransformInvert(c->state().ctm));
}
CGPathRef CGContextCopyPath(const CGContextRef& c) {
  if (!c) return nullptr;
  const CGAffineTransform inverse = CGAffineTransformInvert(c->state().ctm);
  auto copy = std::make_shared<CGPath>();
  copy->addPath(c->path(), &inverse);
  return copy;
}
CGRect CGContextGetPathBoundingBox(const CGContextRef& c) {
  if (!c || c->path().isEmpty()) return CGRectNull;
  return CGPathGetPathBoundingBox(CGContextCopyPath(c));
}
bool CGContextPathContainsPoint(const CGContextRef& c, CGPoint point, CGPathDrawingMode mode) {
  if (!c || c->path().isEmpty()) return false;
  auto device = std::make_shared<CGPath>(c->path().elements());
  return CGPathContainsPoint(device, &c->state().ctm, point, mode == kCGPathEOFill || mode == kCGPathEOFillStroke);
}

void CGContextFillPath(const CGContextRef& c) {
  if (c) c->fillPath(false);
}
void CGContextEOFillPath(const CGContextRef& c) {
  if (c) c->fillPath(true);
}
void CGContextStrokePath(const CGContextRef& c) {
  if (c) c->strokePath();
}
void CGContextDrawPath(const CGContextRef& c, CGPathDrawingMode mode) {
  if (!c) return;
  switch (mode) {
    case kCGPathFill:
    case kCGPathEOFill: c->fillPath(mode == kCGPathEOFill); break;
    case kCGPathStroke: c->strokePath(); break;
    case kCGPathFillStroke:
    case kCGPathEOFillStroke: {
      CGPath keep = c->path();
      c->fillPath(mode == kCGPathEOFillStroke);
      c->path() = keep;
      c->strokePath();
      break;
    }
  }
}

namespace {
// Runs `paintIt` on a path of its own, leaving the current path as it was.
void withShape(const CGContextRef& c, const std::function<void(CGPath&)>& build, const std::function<void()>& paintIt) {
  CGPath shape;
  build(shape);
  std::swap(shape, c->path());
  paintIt();
  std::swap(shape, c->path());
}
}  // namespace

void CGContextFillRect(const CGContextRef& c, CGRect rect) {
  if (c) withShape(c, [&](CGPath& p) { p.addRect(rect, &c->state().ctm); }, [&] { c->fillPath(false); });
}
void CGContextFillRects(const CGContextRef& c, const CGRect* rects, size_t count) {
  if (!c || !rects) return;
  withShape(c, [&](CGPath& p) {
    for (size_t i = 0; i < count; ++i) p.addRect(rects[i], &c->state().ctm);
  }, [&] { c->fillPath(false); });
}
void CGContextFillEllipseInRect(const CGContextRef& c, CGRect rect) {
  if (c) withShape(c, [&](CGPath& p) { p.addEllipse(rect, &c->state().ctm); }, [&] { c->fillPath(false); });
}
void CGContextStrokeRect(const CGContextRef& c, CGRect rect) {
  if (c) withShape(c, [&](CGPath& p) { p.addRect(rect, &c->state().ctm); }, [&] { c->strokePath(); });
}
void CGContextStrokeRectWithWidth(const CGContextRef& c, CGRect rect, CGFloat width) {
  if (!c) return;
  const CGFloat old = c->state().lineWidth;
  CGContextSetLineWidth(c, width);
  CGContextStrokeRect(c, rect);
  c->state().lineWidth = old;
}
void CGContextStrokeEllipseInRect(const CGContextRef& c, CGRect rect) {
  if (c) withShape(c, [&](CGPath& p) { p.addEllipse(rect, &c->state().ctm); }, [&] { c->strokePath(); });
}
void CGContextStrokeLineSegments(const CGContextRef& c, const CGPoint* points, size_t count) {
  if (!c || !points) return;
  withShape(c, [&](CGPath& p) {
    for (size_t i = 0; i + 1 < count; i += 2) {
      p.moveTo(c->toDevice(points[i]));
      p.lineTo(c->toDevice(points[i + 1]));
    }
  }, [&] { c->strokePath(); });
}
void CGContextClearRect(const CGContextRef& c, CGRect rect) {
  if (c) c->clearRect(rect);
}

void CGContextClip(const CGContextRef& c) {
  if (c) c->clipToPath(false);
}
void CGContextEOClip(const CGContextRef& c) {
  if (c) c->clipToPath(true);
}
void CGContextClipToRect(const CGContextRef& c, CGRect rect) {
  if (c) withShape(c, [&](CGPath& p) { p.addRect(rect, &c->state().ctm); }, [&] { c->clipToPath(false); });
}
void CGContextClipToRects(const CGContextRef& c, const CGRect* rects, size_t count) {
  if (!c || !rects) return;
  withShape(c, [&](CGPath& p) {
    for (size_t i = 0; i < count; ++i) p.addRect(rects[i], &c->state().ctm);
  }, [&] { c->clipToPath(false); });
}
CGRect CGContextGetClipBoundingBox(const CGContextRef& c) { return c ? c->clipBoundingBox() : CGRectZero; }

void CGContextDrawImage(const CGContextRef& c, CGRect rect, const CGImageRef& image) {
  if (c && image) c->drawImage(rect, *image, false);
}
void CGContextDrawTiledImage(const CGContextRef& c, CGRect rect, const CGImageRef& image) {
  if (c && image) c->drawImage(rect, *image, true);
}
void CGContextDrawLinearGradient(const CGContextRef& c, const CGGradientRef& gradient, CGPoint startPoint,
                                 CGPoint endPoint, CGGradientDrawingOptions options) {
  if (c && gradient) c->drawLinearGradient(*gradient, startPoint, endPoint, options);
}
void CGContextDrawRadialGradient(const CGContextRef& c, const CGGradientRef& gradient, CGPoint startCenter,
                                 CGFloat startRadius, CGPoint endCenter, CGFloat endRadius,
                                 CGGradientDrawingOptions options) {
  if (c && gradient) c->drawRadialGradient(*gradient, startCenter, startRadius, endCenter, endRadius, options);
}
void CGContextBeginTransparencyLayer(const CGContextRef& c, const std::shared_ptr<NSObject>&) {
  if (c) c->beginTransparencyLayer();
}
void CGContextEndTransparencyLayer(const CGContextRef& c) {
  if (c) c->endTransparencyLayer();
}
void CGContextFlush(const CGContextRef& c) {
  if (c) c->pixelsForReading();
}
void CGContextSynchronize(const CGContextRef& c) { CGContextFlush(c); }
