#pragma once
// A keyword tile of the stroll screen: the word searched for and its picture's address.

#include "app/models/TZParentModel.h"

class TZStrollModel : public TZParentModel {
 public:
  id name;
  id img;

  static const zvt::KVCClass* classTable();
  const zvt::KVCClass* kvcClass() const override { return classTable(); }
};
