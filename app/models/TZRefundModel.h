#pragma once
// The model of an asset-detail record.
// The record's "id" names no property and is dropped.

#include "app/models/TZParentModel.h"

class TZRefundModel : public TZParentModel {
 public:
  id title;
  id content;
  id money;
  id jifenbao;
  id jifen;
  id addtime;

  static const zvt::KVCClass* classTable();
  const zvt::KVCClass* kvcClass() const override { return classTable(); }
};
