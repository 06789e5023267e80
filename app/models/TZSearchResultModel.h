#pragma once
// The model of a search result item.
// The record's "id" names no property and is dropped.

#include "app/models/TZParentModel.h"

class TZSearchResultModel : public TZParentModel {
 public:
  id num_iid;
  id pic_url;
  id promotion_price;
  id title;
  id fan;
  id nick;
  id shop_type;
  id item_location;
  id volume;

  static const zvt::KVCClass* classTable();
  const zvt::KVCClass* kvcClass() const override { return classTable(); }
};
