#include "app/models/TZUserInfoModel.h"

void TZUserInfoModel::setValueForKey(const id& value, const std::shared_ptr<NSString>& key) {
  TZParentModel::setValueForKey(value, key);
  if (key && key->isEqualToString("id")) userId = value;
}

const zvt::KVCClass* TZUserInfoModel::classTable() {
  static const zvt::KVCClass table = zvt::KVCClass::Builder<TZUserInfoModel>(TZParentModel::classTable())
      .property("userId", &TZUserInfoModel::userId)
      .property("ddusername", &TZUserInfoModel::ddusername)
      .property("realname", &TZUserInfoModel::realname)
      .property("alipay", &TZUserInfoModel::alipay)
      .property("email", &TZUserInfoModel::email)
      .property("money", &TZUserInfoModel::money)
      .property("jifen", &TZUserInfoModel::jifen)
      .property("txstatus", &TZUserInfoModel::txstatus)
      .property("level", &TZUserInfoModel::level)
      .property("tjr", &TZUserInfoModel::tjr)
      .property("mobile", &TZUserInfoModel::mobile)
      .property("phoneNumber", &TZUserInfoModel::phoneNumber)
      .property("yitixian", &TZUserInfoModel::yitixian)
      .property("jifenbao", &TZUserInfoModel::jifenbao)
      .property("tbtxstatus", &TZUserInfoModel::tbtxstatus)
      .property("tbyitixian", &TZUserInfoModel::tbyitixian)
      .property("ms_status", &TZUserInfoModel::ms_status)
      .property("avatar", &TZUserInfoModel::avatar)
      .property("msg_num", &TZUserInfoModel::msg_num)
      .property("qq", &TZUserInfoModel::qq)
      .property("inviteCode", &TZUserInfoModel::inviteCode)
      .property("show_coupon", &TZUserInfoModel::show_coupon)
      .build();
  return &table;
}
