#include "app/models/TZMessageModel.h"

const zvt::KVCClass* TZMessageModel::classTable() {
  static const zvt::KVCClass table = zvt::KVCClass::Builder<TZMessageModel>(TZParentModel::classTable())
      .property("content", &TZMessageModel::content)
      .property("title", &TZMessageModel::title)
      .property("addtime", &TZMessageModel::addtime)
      .property("end", &TZMessageModel::end)
      .build();
  return &table;
}
