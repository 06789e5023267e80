#include "app/models/TZTaobaoOrderModel.h"

void TZTaobaoOrderModel::setValueForKey(const id& value, const std::shared_ptr<NSString>& key) {
  TZParentModel::setValueForKey(value, key);
  if (key && key->isEqualToString("id")) orderID = value;
}

const zvt::KVCClass* TZTaobaoOrderModel::classTable() {
  static const zvt::KVCClass table = zvt::KVCClass::Builder<TZTaobaoOrderModel>(TZParentModel::classTable())
      .property("orderID", &TZTaobaoOrderModel::orderID)
      .property("item_title", &TZTaobaoOrderModel::item_title)
      .property("num_iid", &TZTaobaoOrderModel::num_iid)
      .property("pay_price", &TZTaobaoOrderModel::pay_price)
      .property("jifenbao", &TZTaobaoOrderModel::jifenbao)
      .property("trade_id", &TZTaobaoOrderModel::trade_id)
      .property("pay_time", &TZTaobaoOrderModel::pay_time)
      .property("create_time", &TZTaobaoOrderModel::create_time)
      .property("coupon_award", &TZTaobaoOrderModel::coupon_award)
      .property("platform", &TZTaobaoOrderModel::platform)
      .property("pic_url", &TZTaobaoOrderModel::pic_url)
      .property("can_useCoupon", &TZTaobaoOrderModel::can_useCoupon)
      .property("coupons", &TZTaobaoOrderModel::coupons)
      .build();
  return &table;
}
