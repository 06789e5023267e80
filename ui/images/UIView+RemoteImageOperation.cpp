#include "ui/images/UIView+RemoteImageOperation.h"

#include <map>

namespace {

// The operation dictionary kept with a view.
struct Operations : NSObject {
  std::map<std::string, std::vector<std::shared_ptr<WIWebImageOperation>>> byKey;
};

char kOperations = 0;

Operations& operationsOf(UIView& view) { return zvt::images::attached<Operations>(view, &kOperations); }

}  // namespace

void wi_setImageLoadOperation(const std::shared_ptr<UIView>& view, const std::shared_ptr<WIWebImageOperation>& operation,
                              const std::string& key) {
  std::vector<std::shared_ptr<WIWebImageOperation>> one;
  if (operation) one.push_back(operation);
  wi_setImageLoadOperation(view, one, key);
}

void wi_setImageLoadOperation(const std::shared_ptr<UIView>& view,
                              const std::vector<std::shared_ptr<WIWebImageOperation>>& operations, const std::string& key) {
  if (!view) return;
  wi_cancelImageLoadOperationWithKey(view, key);
  if (!operations.empty()) operationsOf(*view).byKey[key] = operations;
}

void wi_cancelImageLoadOperationWithKey(const std::shared_ptr<UIView>& view, const std::string& key) {
  if (!view) return;
  auto& byKey = operationsOf(*view).byKey;
  auto found = byKey.find(key);
  if (found == byKey.end()) return;
  auto operations = std::move(found->second);
  byKey.erase(found);
  for (const auto& operation : operations) {
    if (operation) operation->cancel();
  }
}

void wi_removeImageLoadOperationWithKey(const std::shared_ptr<UIView>& view, const std::string& key) {
  if (view) operationsOf(*view).byKey.erase(key);
}

std::vector<std::shared_ptr<WIWebImageOperation>> wi_imageLoadOperations(const std::shared_ptr<UIView>& view,
                                                                        const std::string& key) {
  if (!view) return {};
  auto& byKey = operationsOf(*view).byKey;
  auto found = byKey.find(key);
  return found == byKey.end() ? std::vector<std::shared_ptr<WIWebImageOperation>>{} : found->second;
}
