#pragma once
// Base of the data models. Models are filled from server records with
// setValuesForKeysWithDictionary: a key without a matching property is dropped, and reading
// one answers nil. Every property is an `id` member that keeps the decoded value exactly as it
// arrived (a number stays a number where a text is expected; a JSON null arrives as nil).
// Each model lists its properties in declaration order in its key-value coding table; the
// cache database takes its columns from that order (classTable()->propertyNames()).

#include <memory>

#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSKeyValueCoding.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"

class TZParentModel : public NSObject {
 public:
  void setValueForUndefinedKey(const id& value, const std::shared_ptr<NSString>& key) override;
  id valueForUndefinedKey(const std::shared_ptr<NSString>& key) const override;

  static const zvt::KVCClass* classTable();
  const zvt::KVCClass* kvcClass() const override { return classTable(); }
};

namespace zvt {

// A new model of class M filled from a record (nil or a non-dictionary gives an unfilled model).
template <class M>
std::shared_ptr<M> modelFromRecord(const id& record) {
  auto model = std::make_shared<M>();
  if (auto dict = std::dynamic_pointer_cast<NSDictionary>(record)) model->setValuesForKeysWithDictionary(dict);
  return model;
}

}  // namespace zvt
