#include "app/models/TZWithdrawModel.h"

const zvt::KVCClass* TZWithdrawModel::classTable() {
  static const zvt::KVCClass table = zvt::KVCClass::Builder<TZWithdrawModel>(TZParentModel::classTable())
      .property("account", &TZWithdrawModel::account)
      .property("type", &TZWithdrawModel::type)
      .property("money", &TZWithdrawModel::money)
      .property("status", &TZWithdrawModel::status)
      .property("addtime", &TZWithdrawModel::addtime)
      .build();
  return &table;
}
