#pragma once
// The model of a mall rebate order.
// The record's "id" names no property and is dropped.

#include "app/models/TZParentModel.h"

class TZStoreOrderModel : public TZParentModel {
 public:
  id fxje;
  id img;
  id item_count;
  id item_price;
  id jifen;
  id mall_name;
  id order_code;
  id order_time;
  id status;

  static const zvt::KVCClass* classTable();
  const zvt::KVCClass* kvcClass() const override { return classTable(); }
};
