#include "app/models/TZRefundModel.h"

const zvt::KVCClass* TZRefundModel::classTable() {
  static const zvt::KVCClass table = zvt::KVCClass::Builder<TZRefundModel>(TZParentModel::classTable())
      .property("title", &TZRefundModel::title)
      .property("content", &TZRefundModel::content)
      .property("money", &TZRefundModel::money)
      .property("jifenbao", &TZRefundModel::jifenbao)
      .property("jifen", &TZRefundModel::jifen)
      .property("addtime", &TZRefundModel::addtime)
      .build();
  return &table;
}
