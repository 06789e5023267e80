#pragma once
// Pictures of what the screen shows, for tests and for people.
//
// - a window: the window alone as the screen shows it, with the status bar over its top when
//   the window lies under it (other windows left out);
// - any other view: the view and its subviews in the view's own bounds (its own position and
//   transform left out), as they look now;
// - the screen: every shown window and the status bar, as a person sees it.
// All at the main screen's scale, as they look at the run loop's clock (mid-animation pictures
// show the animation). nil for a nil or empty view. Main thread only.

#include <memory>
#include <string>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSError.h"
#include "platform/graphics/UIImage.h"
#include "platform/uikit/UIView.h"

namespace zvt::ui {

std::shared_ptr<UIImage> snapshot(const std::shared_ptr<UIView>& view);
std::shared_ptr<UIImage> screenSnapshot();
// PNG bytes of the picture.
std::shared_ptr<NSData> snapshotPNG(const std::shared_ptr<UIView>& view);
std::shared_ptr<NSData> screenSnapshotPNG();
// Writes the PNG (a nil view: the screen) to the path, making its folder; false with the error
// when nothing could be drawn or written.
bool writeSnapshot(const std::shared_ptr<UIView>& view, const std::string& path, std::shared_ptr<NSError>* error);

}  // namespace zvt::ui
