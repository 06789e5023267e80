#pragma once
// Enumerators: nextObject until nil.

#include <memory>

#include "platform/foundation/NSObject.h"

class NSEnumerator : public NSObject {
 public:
  virtual id nextObject() = 0;
  // The objects not yet returned.
  virtual std::shared_ptr<NSArray> allObjects();
};

namespace zvt {
// An enumerator over a fixed list of objects.
class VectorEnumerator : public NSEnumerator {
 public:
  explicit VectorEnumerator(std::vector<id> objects) : objects_(std::move(objects)) {}
  id nextObject() override { return next_ < objects_.size() ? objects_[next_++] : nullptr; }

 private:
  std::vector<id> objects_;
  size_t next_ = 0;
};
}  // namespace zvt
