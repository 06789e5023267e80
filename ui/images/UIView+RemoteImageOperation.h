#pragma once
// The UIView(RemoteImageOperation) category: the loads a view runs, one per key ("UIImageViewImageLoad",
// "UIImageViewAnimationImages", "highlightedImage", "UIButtonImageOperation<state>", ...), kept
// with the view. Starting a load for a key cancels the one before.

#include <memory>
#include <string>
#include <vector>

#include "platform/uikit/UIView.h"
#include "ui/images/WIWebImageCompat.h"

// wi_setImageLoadOperation:forKey: cancels what the key held, then keeps the operation (or the
// operations of an animation, one per image).
void wi_setImageLoadOperation(const std::shared_ptr<UIView>& view, const std::shared_ptr<WIWebImageOperation>& operation,
                              const std::string& key);
void wi_setImageLoadOperation(const std::shared_ptr<UIView>& view,
                              const std::vector<std::shared_ptr<WIWebImageOperation>>& operations, const std::string& key);
// wi_cancelImageLoadOperationWithKey: cancels every operation the key holds and forgets them.
void wi_cancelImageLoadOperationWithKey(const std::shared_ptr<UIView>& view, const std::string& key);
// wi_removeImageLoadOperationWithKey: forgets them without cancelling.
void wi_removeImageLoadOperationWithKey(const std::shared_ptr<UIView>& view, const std::string& key);
// Ours, for tests: the operations the key holds.
std::vector<std::shared_ptr<WIWebImageOperation>> wi_imageLoadOperations(const std::shared_ptr<UIView>& view,
                                                                        const std::string& key);

namespace zvt::images {
// The record of type T kept with the view under `key`, made on first use.
template <class T>
T& attached(UIView& view, const void* key) {
  auto held = std::static_pointer_cast<T>(view.associatedObject(key));
  if (!held) {
    held = std::make_shared<T>();
    view.setAssociatedObject(key, held);
  }
  return *held;
}
}  // namespace zvt::images
