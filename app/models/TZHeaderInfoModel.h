#pragma once
// The model of a configured item (banner, navigation button, activity block, earn-money entry).
// The record's "id" names no property and is dropped.

#include "app/models/TZParentModel.h"

class TZHeaderInfoModel : public TZParentModel {
 public:
  id link;
  id isShare;
  id local;
  id name;
  id pic;
  id shareText;
  id shareTitle;
  id icon;
  id subName;

  static const zvt::KVCClass* classTable();
  const zvt::KVCClass* kvcClass() const override { return classTable(); }
};
