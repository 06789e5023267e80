#pragma once
// The layer renderer: draws trees of layers into Cairo image surfaces of device pixels, as they
// look at a moment of the media clock (the presentation values of running animations).
//
// What a layer draws, back to front: its shadow (of its shadow path, or of everything the layer
// and its sublayers draw), its background colour (a pattern colour tiles from the layer's
// origin), its contents image (placed by contentsGravity, the part contentsRect names, with
// contentsCenter's stretchable middle; sized by contentsScale), its sublayers in order of
// zPosition (then as listed), clipped to its bounds when it masks to them, and its border inside
// its bounds. A corner radius rounds the background, the border and the shadow of the bounds;
// the contents and sublayers only where the layer masks to its bounds. A layer whose opacity is
// below 1 is drawn as one group; hidden layers, layers at opacity 0 and layers whose transform
// cannot be inverted draw nothing. 3D transforms are drawn by their plane part.
//
// Transitions (CATransition) are drawn from the pixels the target held under the layer when the
// transition first met the renderer (the previous frame) to what the layer draws now: fade, push,
// move-in and reveal; other types fade.
//
// Frames are incremental: the renderer keeps what each layer drew last time (its place, its
// presentation values, what lies above and below) in a record per layer that holds the records
// of its sublayers, and redraws only the device pixels of the layers that changed, clipped to
// those pixels. A subtree in which no layer changed since (the layers' change epochs tell) and
// whose place is the same is neither walked nor compared: one changed layer among thousands
// costs the walk down to it and its own damage. Main thread only, as the layers.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/foundation/NSGeometry.h"
#include "platform/graphics/CGAffineTransform.h"
#include "platform/graphics/CGColor.h"
#include "platform/graphics/CGImage.h"
#include "platform/quartzcore/CALayer.h"

typedef struct _cairo_surface cairo_surface_t;

namespace zvt::ca {

// A rectangle of device pixels (x and y from the top left).
struct PixelRect {
  int x = 0, y = 0, width = 0, height = 0;
  bool empty() const { return width <= 0 || height <= 0; }
  friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

class LayerRenderer {
 public:
  struct Root {
    std::shared_ptr<CALayer> layer;
    // Maps the space the root is placed in (its position and transform are in it) to the
    // surface's points.
    CGAffineTransform placement = CGAffineTransformIdentity;
  };

  LayerRenderer();
  ~LayerRenderer();
  LayerRenderer(const LayerRenderer&) = delete;
  LayerRenderer& operator=(const LayerRenderer&) = delete;

  // Brings `surface` (a Cairo ARGB32 image surface) up to date with the roots, back to front, at
  // `scale` device pixels per point, as they look at media time `time`. Pixels no layer covers
  // are `backdrop` (transparent when nil). Only what changed since the last frame is drawn,
  // unless the surface or the scale changed or invalidate() was called. Returns the rectangles
  // redrawn (none when nothing changed).
  std::vector<PixelRect> renderFrame(cairo_surface_t* surface, CGFloat scale, const std::vector<Root>& roots,
                                     CFTimeInterval time, const CGColorRef& backdrop);
  // The next frame draws everything.
  void invalidate();
  // The number of layers drawn (in part or whole) by the last frame.
  size_t lastDrawnLayerCount() const { return lastDrawn_; }
  // The number of layers the last frame looked at (the others were kept with their subtrees).
  size_t lastExaminedLayerCount() const { return lastExamined_; }
  // Whether a layer of the last frame had animations (its look may change with time alone).
  bool lastFrameAnimated() const { return lastAnimated_; }

  // Draws the layer's tree in the layer's own coordinates (the top left of its bounds at the
  // top left of the picture) into a new image of its bounds' size at the scale, as it looks at
  // `time`, on a transparent backdrop. Its own position and transform do not apply; its
  // opacity does. nil when the bounds are empty.
  static CGImageRef imageOfLayer(CALayer& layer, CGFloat scale, CFTimeInterval time);

  // Internal: the bringing up to date of one frame's records.
  struct Frame;

 private:
  struct State;
  std::unique_ptr<State> state_;
  size_t lastDrawn_ = 0;
  size_t lastExamined_ = 0;
  bool lastAnimated_ = false;
};

}  // namespace zvt::ca
