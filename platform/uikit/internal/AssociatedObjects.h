#pragma once
// Objects kept with a view or a controller under a caller's key, for extensions that would
// otherwise need a stored property of their own. A handful per object at most: a vector beats a
// map here. Setting nil removes the entry.
#include <utility>
#include <vector>

#include "platform/foundation/NSObject.h"

namespace zvt::ui {

class AssociatedObjects {
 public:
  id get(const void* key) const {
    for (const auto& [k, v] : entries_)
      if (k == key) return v;
    return nullptr;
  }

  void set(const void* key, const id& value) {
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
      if (it->first != key) continue;
      if (value) {
        it->second = value;
      } else {
        entries_.erase(it);
      }
      return;
    }
    if (value) entries_.emplace_back(key, value);
  }

 private:
  std::vector<std::pair<const void*, id>> entries_;
};

}  // namespace zvt::ui
