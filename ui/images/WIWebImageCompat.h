#pragma once
// What every part of remote image loading shares: the error domain, the cancellable-operation
// protocol, the rule that gives an image the scale its cache key names, and the two ways of
// getting onto the main thread.

#include <functional>
#include <memory>

#include "platform/foundation/NSString.h"
#include "platform/graphics/UIImage.h"

inline const zvt::StaticString WIWebImageErrorDomain{"WIWebImageErrorDomain"};

// The WIWebImageOperation protocol: a load that can be cancelled.
class WIWebImageOperation {
 public:
  virtual ~WIWebImageOperation() = default;
  virtual void cancel() = 0;
};

namespace zvt::images {

// The scale-for-key rule of scaledImageForKey:image: nil for nil; an animated image frame by
// frame; otherwise the same bitmap and orientation at the main screen's scale, or 2.0 / 3.0
// when a key of 8 or more characters holds "@2x." / "@3x." ("@3x." wins).
std::shared_ptr<UIImage> scaledImageForKey(const std::shared_ptr<NSString>& key, const std::shared_ptr<UIImage>& image);

// Runs `block` at once on the main thread, else queues it on the main queue.
void runOnMainAsync(std::function<void()> block);
// Runs `block` at once on the main thread, else on the main queue and waits for it.
void runOnMainSync(const std::function<void()>& block);
// Queues `block` for the main thread behind every block queued here before it, from any
// thread. The blocks of all downloads share one list that a single main-queue block empties:
// a download's notifications and progress reports then wake the main thread once per batch
// instead of once each. A block queued while that block runs goes out in the next batch.
void deliverOnMain(std::function<void()> block);

// The pixel count of an image (its memory cost): height x width in points x scale squared,
// 0 for nil; saturates instead of wrapping.
NSUInteger imageCost(const std::shared_ptr<UIImage>& image);

}  // namespace zvt::images
