#include "app/models/TZParentModel.h"

void TZParentModel::setValueForUndefinedKey(const id&, const std::shared_ptr<NSString>&) {}

id TZParentModel::valueForUndefinedKey(const std::shared_ptr<NSString>&) const { return nullptr; }

const zvt::KVCClass* TZParentModel::classTable() {
  static const zvt::KVCClass table;
  return &table;
}
