#pragma once
// The model of a withdrawal record.
// The record's "id" names no property and is dropped.

#include "app/models/TZParentModel.h"

class TZWithdrawModel : public TZParentModel {
 public:
  id account;
  id type;
  id money;
  id status;
  id addtime;

  static const zvt::KVCClass* classTable();
  const zvt::KVCClass* kvcClass() const override { return classTable(); }
};
