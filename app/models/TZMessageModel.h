#pragma once
// The model of a site message.
// The record's "id" names no property and is dropped.

#include "app/models/TZParentModel.h"

class TZMessageModel : public TZParentModel {
 public:
  id content;
  id title;
  id addtime;
  id end;

  static const zvt::KVCClass* classTable();
  const zvt::KVCClass* kvcClass() const override { return classTable(); }
};
