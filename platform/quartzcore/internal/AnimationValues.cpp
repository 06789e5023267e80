#include "platform/quartzcore/internal/AnimationValues.h"

#include <array>
#include <cmath>
#include <cstring>
#include <numbers>

#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSValue.h"

namespace zvt::ca {

namespace {


CGFloat lerp(CGFloat a, CGFloat b, CGFloat f) { return a + (b - a) * f; }
CGPoint lerp(CGPoint a, CGPoint b, CGFloat f) { return CGPointMake(lerp(a.x, b.x, f), lerp(a.y, b.y, f)); }
CGSize lerp(CGSize a, CGSize b, CGFloat f) {
  return CGSizeMake(lerp(a.width, b.width, f), lerp(a.height, b.height, f));
}
CGRect lerp(const CGRect& a, const CGRect& b, CGFloat f) {
  return CGRect{lerp(a.origin, b.origin, f), lerp(a.size, b.size, f)};
}

CGFloat wrapAngle(CGFloat angle) {
  constexpr CGFloat pi = std::numbers::pi;
  while (angle > pi) angle -= 2 * pi;
  while (angle <= -pi) angle += 2 * pi;
  return angle;
}

CATransform3D lerp(const CATransform3D& a, const CATransform3D& b, CGFloat f) {
  if (CATransform3DIsAffine(a) && CATransform3DIsAffine(b)) {
    AffineParts pa = decompose(CATransform3DGetAffineTransform(a));
    AffineParts pb = decompose(CATransform3DGetAffineTransform(b));
    AffineParts p;
    p.tx = lerp(pa.tx, pb.tx, f);
    p.ty = lerp(pa.ty, pb.ty, f);
    p.sx = lerp(pa.sx, pb.sx, f);
    p.sy = lerp(pa.sy, pb.sy, f);
    p.shear = lerp(pa.shear, pb.shear, f);
    p.angle = pa.angle + wrapAngle(pb.angle - pa.angle) * f;  // the shorter way round
    return CATransform3DMakeAffineTransform(recompose(p));
  }
  CGFloat ma[16], mb[16], out[16];
  std::memcpy(ma, static_cast<const void*>(&a), sizeof ma);
  std::memcpy(mb, static_cast<const void*>(&b), sizeof mb);
  for (int i = 0; i < 16; ++i) out[i] = lerp(ma[i], mb[i], f);
  CATransform3D t;
  std::memcpy(static_cast<void*>(&t), out, sizeof out);
  return t;
}

CGColorRef lerp(const CGColorRef& a, const CGColorRef& b, CGFloat f) {
  if (!a || !b || a->pattern() || b->pattern()) return f < 1 ? a : b;
  CGFloat ca[4], cb[4];
  a->getRGBA(ca);
  b->getRGBA(cb);
  return CGColorCreateGenericRGB(lerp(ca[0], cb[0], f), lerp(ca[1], cb[1], f), lerp(ca[2], cb[2], f),
                                 lerp(ca[3], cb[3], f));
}

template <class T>
const T* valueIf(const AnimValue& v) {
  return std::get_if<T>(&v);
}

CGAffineTransform affineOf(const CATransform3D& t) { return CATransform3DGetAffineTransform(t); }

}  // namespace

AffineParts decompose(CGAffineTransform t) {
  // Column form [[a, c], [b, d]] = R(angle) * [[1, shear], [0, 1]] * diag(sx, sy).
  AffineParts p;
  p.tx = t.tx;
  p.ty = t.ty;
  p.sx = std::hypot(t.a, t.b);
  p.angle = p.sx == 0 ? 0 : std::atan2(t.b, t.a);
  CGFloat cs = std::cos(p.angle), sn = std::sin(p.angle);
  CGFloat c1 = cs * t.c + sn * t.d;
  p.sy = -sn * t.c + cs * t.d;
  p.shear = p.sy == 0 ? 0 : c1 / p.sy;
  return p;
}

CGAffineTransform recompose(const AffineParts& p) {
  // A quarter turn without scale comes back exact through the plane rotation.
  CGAffineTransform r = CGAffineTransformMakeRotation(p.angle);
  CGFloat cs = r.a, sn = r.b;
  CGAffineTransform t;
  t.a = cs * p.sx;
  t.b = sn * p.sx;
  t.c = p.sy * (p.shear * cs - sn);
  t.d = p.sy * (p.shear * sn + cs);
  t.tx = p.tx;
  t.ty = p.ty;
  return t;
}

AnimValue unbox(const id& value) {
  if (!value) return std::monostate{};
  if (auto number = std::dynamic_pointer_cast<NSNumber>(value)) return number->doubleValue();
  if (auto color = std::dynamic_pointer_cast<CGColor>(value)) return CGColorRef(color);
  if (auto boxed = std::dynamic_pointer_cast<NSValue>(value)) {
    std::string_view type = boxed->objCType();
    if (type == "{CGPoint=dd}") return boxed->CGPointValue();
    if (type == "{CGSize=dd}") return boxed->CGSizeValue();
    if (type == "{CGRect={CGPoint=dd}{CGSize=dd}}") return boxed->CGRectValue();
    if (type == kCATransform3DObjCType) return CATransform3DValue(boxed);
  }
  return value;
}

id box(const AnimValue& value) {
  struct Visitor {
    id operator()(std::monostate) const { return nullptr; }
    id operator()(CGFloat v) const { return NSNumber::numberWithDouble(v); }
    id operator()(CGPoint v) const { return NSValue::valueWithCGPoint(v); }
    id operator()(CGSize v) const { return NSValue::valueWithCGSize(v); }
    id operator()(const CGRect& v) const { return NSValue::valueWithCGRect(v); }
    id operator()(const CATransform3D& v) const { return valueWithCATransform3D(v); }
    id operator()(const CGColorRef& v) const { return v; }
    id operator()(const id& v) const { return v; }
  };
  return std::visit(Visitor{}, value);
}

KeyPath parseKeyPath(std::string_view path) {
  size_t dot = path.find('.');
  auto key = layerKeyNamed(path.substr(0, dot));
  if (!key) return {};
  KeyPath out{*key, SubField::kNone};
  if (dot == std::string_view::npos) return out;
  std::string_view rest = path.substr(dot + 1);
  struct Sub {
    const char* text;
    SubField field;
  };
  static constexpr Sub kPointSubs[] = {{"x", SubField::kX}, {"y", SubField::kY}};
  static constexpr Sub kSizeSubs[] = {{"width", SubField::kWidth}, {"height", SubField::kHeight}};
  static constexpr Sub kRectSubs[] = {{"origin", SubField::kOrigin},         {"origin.x", SubField::kOriginX},
                                      {"origin.y", SubField::kOriginY},      {"size", SubField::kSize},
                                      {"size.width", SubField::kSizeWidth}, {"size.height", SubField::kSizeHeight}};
  static constexpr Sub kTransformSubs[] = {
      {"rotation", SubField::kRotation},       {"rotation.z", SubField::kRotation}, {"scale", SubField::kScale},
      {"scale.x", SubField::kScaleX},          {"scale.y", SubField::kScaleY},     {"translation", SubField::kTranslation},
      {"translation.x", SubField::kTranslationX}, {"translation.y", SubField::kTranslationY}};
  auto find = [&](const auto& table) -> KeyPath {
    for (const auto& s : table)
      if (rest == s.text) return KeyPath{*key, s.field};
    return {};
  };
  switch (*key) {
    case LayerKey::kPosition:
    case LayerKey::kAnchorPoint:
      return find(kPointSubs);
    case LayerKey::kShadowOffset:
      return find(kSizeSubs);
    case LayerKey::kBounds:
    case LayerKey::kContentsRect:
    case LayerKey::kContentsCenter:
      return find(kRectSubs);
    case LayerKey::kTransform:
    case LayerKey::kSublayerTransform:
      return find(kTransformSubs);
    default:
      return {};
  }
}

namespace {

AnimValue whole(const LayerProperties& p, LayerKey key) {
  switch (key) {
    case LayerKey::kBounds: return p.bounds;
    case LayerKey::kPosition: return p.position;
    case LayerKey::kZPosition: return p.zPosition;
    case LayerKey::kAnchorPoint: return p.anchorPoint;
    case LayerKey::kTransform: return p.transform;
    case LayerKey::kSublayerTransform: return p.sublayerTransform;
    case LayerKey::kHidden: return CGFloat(p.hidden ? 1 : 0);
    case LayerKey::kOpacity: return p.opacity;
    case LayerKey::kBackgroundColor: return p.backgroundColor;
    case LayerKey::kBorderWidth: return p.borderWidth;
    case LayerKey::kBorderColor: return p.borderColor;
    case LayerKey::kCornerRadius: return p.cornerRadius;
    case LayerKey::kMasksToBounds: return CGFloat(p.masksToBounds ? 1 : 0);
    case LayerKey::kShadowColor: return p.shadowColor;
    case LayerKey::kShadowOffset: return p.shadowOffset;
    case LayerKey::kShadowRadius: return p.shadowRadius;
    case LayerKey::kShadowOpacity: return p.shadowOpacity;
    case LayerKey::kShadowPath: return id(p.shadowPath);
    case LayerKey::kContents: return id(p.contents);
    case LayerKey::kContentsScale: return p.contentsScale;
    case LayerKey::kContentsGravity: return id(p.contentsGravity);
    case LayerKey::kContentsRect: return p.contentsRect;
    case LayerKey::kContentsCenter: return p.contentsCenter;
    case LayerKey::kCount: break;
  }
  return std::monostate{};
}

void setWhole(LayerProperties& p, LayerKey key, const AnimValue& v) {
  auto number = valueIf<CGFloat>(v);
  auto point = valueIf<CGPoint>(v);
  auto size = valueIf<CGSize>(v);
  auto rect = valueIf<CGRect>(v);
  auto transform = valueIf<CATransform3D>(v);
  auto color = valueIf<CGColorRef>(v);
  auto object = valueIf<id>(v);
  bool none = std::holds_alternative<std::monostate>(v);
  switch (key) {
    case LayerKey::kBounds: if (rect) p.bounds = *rect; break;
    case LayerKey::kPosition: if (point) p.position = *point; break;
    case LayerKey::kZPosition: if (number) p.zPosition = *number; break;
    case LayerKey::kAnchorPoint: if (point) p.anchorPoint = *point; break;
    case LayerKey::kTransform: if (transform) p.transform = *transform; break;
    case LayerKey::kSublayerTransform: if (transform) p.sublayerTransform = *transform; break;
    case LayerKey::kHidden: if (number) p.hidden = *number != 0; break;
    case LayerKey::kOpacity: if (number) p.opacity = *number; break;
    case LayerKey::kBackgroundColor: if (color || none) p.backgroundColor = color ? *color : nullptr; break;
    case LayerKey::kBorderWidth: if (number) p.borderWidth = *number; break;
    case LayerKey::kBorderColor: if (color || none) p.borderColor = color ? *color : nullptr; break;
    case LayerKey::kCornerRadius: if (number) p.cornerRadius = *number; break;
    case LayerKey::kMasksToBounds: if (number) p.masksToBounds = *number != 0; break;
    case LayerKey::kShadowColor: if (color || none) p.shadowColor = color ? *color : nullptr; break;
    case LayerKey::kShadowOffset: if (size) p.shadowOffset = *size; break;
    case LayerKey::kShadowRadius: if (number) p.shadowRadius = *number; break;
    case LayerKey::kShadowOpacity: if (number) p.shadowOpacity = *number; break;
    case LayerKey::kShadowPath:
      if (none) p.shadowPath = nullptr;
      else if (object) if (auto path = std::dynamic_pointer_cast<CGPath>(*object)) p.shadowPath = path;
      break;
    case LayerKey::kContents:
      if (none) p.contents = nullptr;
      else if (object) if (auto image = std::dynamic_pointer_cast<CGImage>(*object)) p.contents = image;
      break;
    case LayerKey::kContentsScale: if (number) p.contentsScale = *number; break;
    case LayerKey::kContentsGravity:
      if (object) if (auto text = std::dynamic_pointer_cast<NSString>(*object)) p.contentsGravity = text;
      break;
    case LayerKey::kContentsRect: if (rect) p.contentsRect = *rect; break;
    case LayerKey::kContentsCenter: if (rect) p.contentsCenter = *rect; break;
    case LayerKey::kCount: break;
  }
}

}  // namespace

AnimValue getValue(const LayerProperties& p, KeyPath path) {
  if (!path.valid()) return std::monostate{};
  AnimValue v = whole(p, path.key);
  if (path.sub == SubField::kNone) return v;
  if (auto pt = valueIf<CGPoint>(v)) {
    if (path.sub == SubField::kX) return pt->x;
    if (path.sub == SubField::kY) return pt->y;
  }
  if (auto sz = valueIf<CGSize>(v)) {
    if (path.sub == SubField::kWidth) return sz->width;
    if (path.sub == SubField::kHeight) return sz->height;
  }
  if (auto r = valueIf<CGRect>(v)) {
    switch (path.sub) {
      case SubField::kOrigin: return r->origin;
      case SubField::kOriginX: return r->origin.x;
      case SubField::kOriginY: return r->origin.y;
      case SubField::kSize: return r->size;
      case SubField::kSizeWidth: return r->size.width;
      case SubField::kSizeHeight: return r->size.height;
      default: break;
    }
  }
  if (auto t = valueIf<CATransform3D>(v)) {
    AffineParts parts = decompose(affineOf(*t));
    switch (path.sub) {
      case SubField::kRotation: return parts.angle;
      case SubField::kScale: return (parts.sx + parts.sy) / 2;
      case SubField::kScaleX: return parts.sx;
      case SubField::kScaleY: return parts.sy;
      case SubField::kTranslation: return CGSizeMake(parts.tx, parts.ty);
      case SubField::kTranslationX: return parts.tx;
      case SubField::kTranslationY: return parts.ty;
      default: break;
    }
  }
  return std::monostate{};
}

void setValue(LayerProperties& p, KeyPath path, const AnimValue& value) {
  if (!path.valid()) return;
  if (path.sub == SubField::kNone) {
    setWhole(p, path.key, value);
    return;
  }
  AnimValue v = whole(p, path.key);
  auto number = valueIf<CGFloat>(value);
  if (auto pt = valueIf<CGPoint>(v)) {
    CGPoint out = *pt;
    if (!number) return;
    if (path.sub == SubField::kX) out.x = *number;
    if (path.sub == SubField::kY) out.y = *number;
    setWhole(p, path.key, out);
  } else if (auto sz = valueIf<CGSize>(v)) {
    CGSize out = *sz;
    if (!number) return;
    if (path.sub == SubField::kWidth) out.width = *number;
    if (path.sub == SubField::kHeight) out.height = *number;
    setWhole(p, path.key, out);
  } else if (auto r = valueIf<CGRect>(v)) {
    CGRect out = *r;
    if (auto o = valueIf<CGPoint>(value); o && path.sub == SubField::kOrigin) out.origin = *o;
    if (auto s = valueIf<CGSize>(value); s && path.sub == SubField::kSize) out.size = *s;
    if (number) {
      if (path.sub == SubField::kOriginX) out.origin.x = *number;
      if (path.sub == SubField::kOriginY) out.origin.y = *number;
      if (path.sub == SubField::kSizeWidth) out.size.width = *number;
      if (path.sub == SubField::kSizeHeight) out.size.height = *number;
    }
    setWhole(p, path.key, out);
  } else if (auto t = valueIf<CATransform3D>(v)) {
    AffineParts parts = decompose(affineOf(*t));
    if (number) {
      switch (path.sub) {
        case SubField::kRotation: parts.angle = *number; break;
        case SubField::kScale: parts.sx = parts.sy = *number; break;
        case SubField::kScaleX: parts.sx = *number; break;
        case SubField::kScaleY: parts.sy = *number; break;
        case SubField::kTranslationX: parts.tx = *number; break;
        case SubField::kTranslationY: parts.ty = *number; break;
        default: return;
      }
    } else if (auto s = valueIf<CGSize>(value); s && path.sub == SubField::kTranslation) {
      parts.tx = s->width;
      parts.ty = s->height;
    } else {
      return;
    }
    setWhole(p, path.key, CATransform3DMakeAffineTransform(recompose(parts)));
  }
}

AnimValue interpolate(const AnimValue& a, const AnimValue& b, CGFloat f) {
  if (std::holds_alternative<std::monostate>(a)) return b;
  if (std::holds_alternative<std::monostate>(b)) return a;
  if (a.index() != b.index()) return f < 1 ? a : b;
  if (auto x = valueIf<CGFloat>(a)) return lerp(*x, *valueIf<CGFloat>(b), f);
  if (auto x = valueIf<CGPoint>(a)) return lerp(*x, *valueIf<CGPoint>(b), f);
  if (auto x = valueIf<CGSize>(a)) return lerp(*x, *valueIf<CGSize>(b), f);
  if (auto x = valueIf<CGRect>(a)) return lerp(*x, *valueIf<CGRect>(b), f);
  if (auto x = valueIf<CATransform3D>(a)) return lerp(*x, *valueIf<CATransform3D>(b), f);
  if (auto x = valueIf<CGColorRef>(a)) return lerp(*x, *valueIf<CGColorRef>(b), f);
  // Images cross-fade; the renderer sees the switch half-way.
  if (std::dynamic_pointer_cast<CGImage>(*valueIf<id>(a)) || std::dynamic_pointer_cast<CGImage>(*valueIf<id>(b)))
    return f < 0.5 ? a : b;
  return f < 1 ? a : b;
}

AnimValue add(const AnimValue& a, const AnimValue& b) {
  if (std::holds_alternative<std::monostate>(a)) return b;
  if (std::holds_alternative<std::monostate>(b) || a.index() != b.index()) return a;
  if (auto x = valueIf<CGFloat>(a)) return *x + *valueIf<CGFloat>(b);
  if (auto x = valueIf<CGPoint>(a)) return CGPointMake(x->x + valueIf<CGPoint>(b)->x, x->y + valueIf<CGPoint>(b)->y);
  if (auto x = valueIf<CGSize>(a))
    return CGSizeMake(x->width + valueIf<CGSize>(b)->width, x->height + valueIf<CGSize>(b)->height);
  if (auto x = valueIf<CGRect>(a)) {
    const CGRect& y = *valueIf<CGRect>(b);
    return CGRectMake(x->origin.x + y.origin.x, x->origin.y + y.origin.y, x->size.width + y.size.width,
                      x->size.height + y.size.height);
  }
  // Transforms add by concatenation: the added one applies first.
  if (auto x = valueIf<CATransform3D>(a)) return CATransform3DConcat(*valueIf<CATransform3D>(b), *x);
  return b;
}

AnimValue subtract(const AnimValue& a, const AnimValue& b) {
  if (std::holds_alternative<std::monostate>(b) || a.index() != b.index()) return a;
  if (auto x = valueIf<CGFloat>(a)) return *x - *valueIf<CGFloat>(b);
  if (auto x = valueIf<CGPoint>(a)) return CGPointMake(x->x - valueIf<CGPoint>(b)->x, x->y - valueIf<CGPoint>(b)->y);
  if (auto x = valueIf<CGSize>(a))
    return CGSizeMake(x->width - valueIf<CGSize>(b)->width, x->height - valueIf<CGSize>(b)->height);
  if (auto x = valueIf<CGRect>(a)) {
    const CGRect& y = *valueIf<CGRect>(b);
    return CGRectMake(x->origin.x - y.origin.x, x->origin.y - y.origin.y, x->size.width - y.size.width,
                      x->size.height - y.size.height);
  }
  if (auto x = valueIf<CATransform3D>(a)) return CATransform3DConcat(CATransform3DInvert(*valueIf<CATransform3D>(b)), *x);
  return a;
}

CGFloat distance(const AnimValue& a, const AnimValue& b) {
  if (a.index() != b.index()) return 0;
  if (auto x = valueIf<CGFloat>(a)) return std::fabs(*x - *valueIf<CGFloat>(b));
  if (auto x = valueIf<CGPoint>(a)) return std::hypot(x->x - valueIf<CGPoint>(b)->x, x->y - valueIf<CGPoint>(b)->y);
  if (auto x = valueIf<CGSize>(a)) return std::hypot(x->width - valueIf<CGSize>(b)->width, x->height - valueIf<CGSize>(b)->height);
  if (auto x = valueIf<CGRect>(a)) {
    const CGRect& y = *valueIf<CGRect>(b);
    return std::hypot(std::hypot(x->origin.x - y.origin.x, x->origin.y - y.origin.y),
                      std::hypot(x->size.width - y.size.width, x->size.height - y.size.height));
  }
  return 1;
}

}  // namespace zvt::ca
