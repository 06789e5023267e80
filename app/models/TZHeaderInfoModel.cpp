#include "app/models/TZHeaderInfoModel.h"

const zvt::KVCClass* TZHeaderInfoModel::classTable() {
  static const zvt::KVCClass table = zvt::KVCClass::Builder<TZHeaderInfoModel>(TZParentModel::classTable())
      .property("link", &TZHeaderInfoModel::link)
      .property("isShare", &TZHeaderInfoModel::isShare)
      .property("local", &TZHeaderInfoModel::local)
      .property("name", &TZHeaderInfoModel::name)
      .property("pic", &TZHeaderInfoModel::pic)
      .property("shareText", &TZHeaderInfoModel::shareText)
      .property("shareTitle", &TZHeaderInfoModel::shareTitle)
      .property("icon", &TZHeaderInfoModel::icon)
      .property("subName", &TZHeaderInfoModel::subName)
      .build();
  return &table;
}
