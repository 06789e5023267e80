#pragma once
// A view's frame as the layout engine sees it, for the solver tests.

#include "platform/uikit/layout/Solver.h"

namespace zvt::layout::testing {

struct Box {
  Variable x, y, w, h;
  Expression left() const { return x; }
  Expression right() const { return x + w; }
  Expression top() const { return y; }
  Expression bottom() const { return y + h; }
  Expression centerX() const { return x + w * 0.5; }
  Expression centerY() const { return y + h * 0.5; }
};

}  // namespace zvt::layout::testing
