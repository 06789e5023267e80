#include "ui/images/WIWebImageCompat.h"

#include <cmath>
#include <limits>
#include <mutex>
#include <vector>

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSThread.h"
#include "platform/graphics/UIScreen.h"

namespace zvt::images {

std::shared_ptr<UIImage> scaledImageForKey(const std::shared_ptr<NSString>& key, const std::shared_ptr<UIImage>& image) {
  if (!image) return nullptr;
  if (auto frames = image->images(); frames && frames->count() > 0) {
    auto scaled = NSMutableArray::array();
    for (const id& frame : *frames) {
      if (auto s = scaledImageForKey(key, std::dynamic_pointer_cast<UIImage>(frame))) scaled->addObject(s);
    }
    return UIImage::animatedImageWithImages(scaled, image->duration());
  }
  CGFloat scale = UIScreen::mainScreen()->scale();
  if (key && key->length() >= 8) {
    if (key->utf8().find("@2x.") != std::string::npos) scale = 2.0;
    if (key->utf8().find("@3x.") != std::string::npos) scale = 3.0;
  }
  return UIImage::imageWithCGImage(image->CGImage(), scale, image->imageOrientation());
}

void runOnMainAsync(std::function<void()> block) {
  if (NSThread::isMainThread()) {
    block();
  } else {
    dispatch_async(dispatch_get_main_queue(), std::move(block));
  }
}

void runOnMainSync(const std::function<void()>& block) {
  if (NSThread::isMainThread()) {
    block();
  } else {
    dispatch_sync(dispatch_get_main_queue(), block);
  }
}

namespace {

struct MainDeliveries {
  std::mutex mutex;
  std::vector<std::function<void()>> blocks;
  bool queued = false;  // a main-queue block will empty `blocks`
};

MainDeliveries& mainDeliveries() {
  static auto* deliveries = new MainDeliveries();  // never destroyed: downloads may report while the process exits
  return *deliveries;
}

void deliverBatch() {
  auto& deliveries = mainDeliveries();
  std::vector<std::function<void()>> batch;
  {
    std::lock_guard<std::mutex> lock(deliveries.mutex);
    batch.swap(deliveries.blocks);
    deliveries.queued = false;
  }
  for (size_t i = 0; i < batch.size(); ++i) {
    try {
      batch[i]();
    } catch (...) {
      // The exception goes on to whoever runs the main loop, as a block of its own would; the
      // rest of the batch stays queued, ahead of what came since.
      bool queue;
      {
        std::lock_guard<std::mutex> lock(deliveries.mutex);
        deliveries.blocks.insert(deliveries.blocks.begin(), std::make_move_iterator(batch.begin() + static_cast<std::ptrdiff_t>(i) + 1),
                                 std::make_move_iterator(batch.end()));
        queue = !deliveries.blocks.empty() && !deliveries.queued;
        if (queue) deliveries.queued = true;
      }
      if (queue) dispatch_async(dispatch_get_main_queue(), deliverBatch);
      throw;
    }
  }
}

}  // namespace

void deliverOnMain(std::function<void()> block) {
  if (!block) return;
  auto& deliveries = mainDeliveries();
  bool queue;
  {
    std::lock_guard<std::mutex> lock(deliveries.mutex);
    deliveries.blocks.push_back(std::move(block));
    queue = !deliveries.queued;
    deliveries.queued = true;
  }
  if (queue) dispatch_async(dispatch_get_main_queue(), deliverBatch);
}

NSUInteger imageCost(const std::shared_ptr<UIImage>& image) {
  if (!image) return 0;
  CGSize size = image->size();
  double cost = size.height * size.width * image->scale() * image->scale();
  if (!(cost > 0)) return 0;
  if (cost >= static_cast<double>(std::numeric_limits<NSUInteger>::max())) return std::numeric_limits<NSUInteger>::max();
  return static_cast<NSUInteger>(cost);
}

}  // namespace zvt::images
