#include "app/models/TZStrollModel.h"

const zvt::KVCClass* TZStrollModel::classTable() {
  static const zvt::KVCClass table = zvt::KVCClass::Builder<TZStrollModel>(TZParentModel::classTable())
      .property("name", &TZStrollModel::name)
      .property("img", &TZStrollModel::img)
      .build();
  return &table;
}
