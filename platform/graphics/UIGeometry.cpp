#include "platform/graphics/UIGeometry.h"

#include <algorithm>

namespace zvt::graphics {

CGRect contentModeRect(UIViewContentMode mode, CGSize content, CGRect bounds) {
  const CGFloat w = content.width, h = content.height;
  const CGFloat bx = bounds.origin.x, by = bounds.origin.y, bw = bounds.size.width, bh = bounds.size.height;
  if (!(w > 0) || !(h > 0)) return bounds;
  auto centred = [&](CGFloat cw, CGFloat ch) { return CGRectMake(bx + (bw - cw) / 2, by + (bh - ch) / 2, cw, ch); };
  switch (mode) {
    case UIViewContentModeScaleAspectFit:
    case UIViewContentModeScaleAspectFill: {
      CGFloat sx = bw / w, sy = bh / h;
      CGFloat s = mode == UIViewContentModeScaleAspectFit ? std::min(sx, sy) : std::max(sx, sy);
      return centred(w * s, h * s);
    }
    case UIViewContentModeCenter: return centred(w, h);
    case UIViewContentModeTop: return CGRectMake(bx + (bw - w) / 2, by, w, h);
    case UIViewContentModeBottom: return CGRectMake(bx + (bw - w) / 2, by + bh - h, w, h);
    case UIViewContentModeLeft: return CGRectMake(bx, by + (bh - h) / 2, w, h);
    case UIViewContentModeRight: return CGRectMake(bx + bw - w, by + (bh - h) / 2, w, h);
    case UIViewContentModeTopLeft: return CGRectMake(bx, by, w, h);
    case UIViewContentModeTopRight: return CGRectMake(bx + bw - w, by, w, h);
    case UIViewContentModeBottomLeft: return CGRectMake(bx, by + bh - h, w, h);
    case UIViewContentModeBottomRight: return CGRectMake(bx + bw - w, by + bh - h, w, h);
    case UIViewContentModeScaleToFill:
    case UIViewContentModeRedraw:
    default:
      return bounds;
  }
}

}  // namespace zvt::graphics
