#include "app/models/TZStoreOrderModel.h"

const zvt::KVCClass* TZStoreOrderModel::classTable() {
  static const zvt::KVCClass table = zvt::KVCClass::Builder<TZStoreOrderModel>(TZParentModel::classTable())
      .property("fxje", &TZStoreOrderModel::fxje)
      .property("img", &TZStoreOrderModel::img)
      .property("item_count", &TZStoreOrderModel::item_count)
      .property("item_price", &TZStoreOrderModel::item_price)
      .property("jifen", &TZStoreOrderModel::jifen)
      .property("mall_name", &TZStoreOrderModel::mall_name)
      .property("order_code", &TZStoreOrderModel::order_code)
      .property("order_time", &TZStoreOrderModel::order_time)
      .property("status", &TZStoreOrderModel::status)
      .build();
  return &table;
}
