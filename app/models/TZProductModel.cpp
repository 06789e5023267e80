#include "app/models/TZProductModel.h"

void TZProductModel::setValueForKey(const id& value, const std::shared_ptr<NSString>& key) {
  TZParentModel::setValueForKey(value, key);
  if (key && key->isEqualToString("id")) zvtProductID = value;
}

const zvt::KVCClass* TZProductModel::classTable() {
  static const zvt::KVCClass table = zvt::KVCClass::Builder<TZProductModel>(TZParentModel::classTable())
      .property("cid", &TZProductModel::cid)
      .property("fan_string", &TZProductModel::fan_string)
      .property("fxje", &TZProductModel::fxje)
      .property("zvtProductID", &TZProductModel::zvtProductID)
      .property("iid", &TZProductModel::iid)
      .property("is_new", &TZProductModel::is_new)
      .property("is_sold_out", &TZProductModel::is_sold_out)
      .property("nick", &TZProductModel::nick)
      .property("pic_url", &TZProductModel::pic_url)
      .property("price", &TZProductModel::price)
      .property("promotion_etime", &TZProductModel::promotion_etime)
      .property("promotion_price", &TZProductModel::promotion_price)
      .property("title", &TZProductModel::title)
      .property("type", &TZProductModel::type)
      .property("zhe_num", &TZProductModel::zhe_num)
      .build();
  return &table;
}
