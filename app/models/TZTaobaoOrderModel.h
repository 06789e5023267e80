#pragma once
// The model of a Taobao rebate order.
// The record's "id" is kept as `orderID`.

#include "app/models/TZParentModel.h"

class TZTaobaoOrderModel : public TZParentModel {
 public:
  id orderID;
  id item_title;
  id num_iid;
  id pay_price;
  id jifenbao;
  id trade_id;
  id pay_time;
  id create_time;
  id coupon_award;
  id platform;
  id pic_url;
  id can_useCoupon;
  id coupons;

  void setValueForKey(const id& value, const std::shared_ptr<NSString>& key) override;
  static const zvt::KVCClass* classTable();
  const zvt::KVCClass* kvcClass() const override { return classTable(); }
};
