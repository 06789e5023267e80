#include "app/models/TZSearchResultModel.h"

const zvt::KVCClass* TZSearchResultModel::classTable() {
  static const zvt::KVCClass table = zvt::KVCClass::Builder<TZSearchResultModel>(TZParentModel::classTable())
      .property("num_iid", &TZSearchResultModel::num_iid)
      .property("pic_url", &TZSearchResultModel::pic_url)
      .property("promotion_price", &TZSearchResultModel::promotion_price)
      .property("title", &TZSearchResultModel::title)
      .property("fan", &TZSearchResultModel::fan)
      .property("nick", &TZSearchResultModel::nick)
      .property("shop_type", &TZSearchResultModel::shop_type)
      .property("item_location", &TZSearchResultModel::item_location)
      .property("volume", &TZSearchResultModel::volume)
      .build();
  return &table;
}
