#pragma once
// The model of a listed product.
// The record's "id" is kept as `zvtProductID`.

#include "app/models/TZParentModel.h"

class TZProductModel : public TZParentModel {
 public:
  id cid;
  id fan_string;
  id fxje;
  id zvtProductID;
  id iid;
  id is_new;
  id is_sold_out;
  id nick;
  id pic_url;
  id price;
  id promotion_etime;
  id promotion_price;
  id title;
  id type;
  id zhe_num;

  void setValueForKey(const id& value, const std::shared_ptr<NSString>& key) override;
  static const zvt::KVCClass* classTable();
  const zvt::KVCClass* kvcClass() const override { return classTable(); }
};
