#include "platform/uikit/Snapshot.h"

#include <cairo.h>

#include <cmath>

#include "platform/foundation/NSFileManager.h"
#include "platform/graphics/UIScreen.h"
#include "platform/quartzcore/LayerRenderer.h"
#include "platform/uikit/ScreenRenderer.h"
#include "platform/uikit/StatusBar.h"
#include "platform/uikit/UIKitMainThread.h"
#include "platform/uikit/UIWindow.h"

namespace zvt::ui {

namespace {

std::shared_ptr<UIImage> windowPicture(UIWindow& window) {
  const CGFloat scale = UIScreen::mainScreen()->scale();
  const CGRect frame = window.frame();
  const int width = static_cast<int>(std::ceil(frame.size.width * scale - 1e-6));
  const int height = static_cast<int>(std::ceil(frame.size.height * scale - 1e-6));
  if (width <= 0 || height <= 0 || width >= 32768 || height >= 32768) return nullptr;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  // The window's own origin lands at the picture's; the status bar keeps its place on screen.
  const CGAffineTransform place = CGAffineTransformMakeTranslation(-frame.origin.x, -frame.origin.y);
  std::vector<zvt::ca::LayerRenderer::Root> roots{{window.layer(), place}};
  auto& statusBar = ScreenRenderer::shared().statusBar();
  if (statusBar->update() && CGRectIntersectsRect(frame, statusBar->frame())) roots.push_back({statusBar, place});
  zvt::ca::LayerRenderer renderer;
  renderer.renderFrame(surface, scale, roots, CACurrentMediaTime(), nullptr);
  auto image = imageOfSurface(surface, scale);
  cairo_surface_destroy(surface);
  return image;
}

}  // namespace

std::shared_ptr<UIImage> snapshot(const std::shared_ptr<UIView>& view) {
  assertMainThread("zvt::ui::snapshot");
  if (!view) return nullptr;
  if (auto window = std::dynamic_pointer_cast<UIWindow>(view)) return windowPicture(*window);
  const CGFloat scale = UIScreen::mainScreen()->scale();
  auto bitmap = zvt::ca::LayerRenderer::imageOfLayer(*view->layer(), scale, CACurrentMediaTime());
  return bitmap ? UIImage::imageWithCGImage(bitmap, scale, UIImageOrientationUp) : nullptr;
}

std::shared_ptr<UIImage> screenSnapshot() {
  assertMainThread("zvt::ui::screenSnapshot");
  return ScreenRenderer::shared().image();
}

std::shared_ptr<NSData> snapshotPNG(const std::shared_ptr<UIView>& view) { return UIImagePNGRepresentation(snapshot(view)); }

std::shared_ptr<NSData> screenSnapshotPNG() { return UIImagePNGRepresentation(screenSnapshot()); }

bool writeSnapshot(const std::shared_ptr<UIView>& view, const std::string& path, std::shared_ptr<NSError>* error) {
  auto png = view ? snapshotPNG(view) : screenSnapshotPNG();
  auto target = NSString::stringWithUTF8String(path.c_str());
  if (!png || !target) {
    zvt::setError(error, NSCocoaErrorDomain, 512, NSString::stringWithUTF8String(("nothing to draw for " + path).c_str()));
    return false;
  }
  auto folder = target->stringByDeletingLastPathComponent();
  if (folder->length() > 0 &&
      !NSFileManager::defaultManager()->createDirectoryAtPath(folder, true, nullptr, error))
    return false;
  if (!png->writeToFile(target, true)) {
    zvt::setError(error, NSCocoaErrorDomain, 512, NSString::stringWithUTF8String(("cannot write " + path).c_str()));
    return false;
  }
  return true;
}

}  // namespace zvt::ui
