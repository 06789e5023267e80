#pragma once
// The model of the user's account.
// The record's "id" is kept as `userId`.

#include "app/models/TZParentModel.h"

class TZUserInfoModel : public TZParentModel {
 public:
  id userId;
  id ddusername;
  id realname;
  id alipay;
  id email;
  id money;
  id jifen;
  id txstatus;
  id level;
  id tjr;
  id mobile;
  id phoneNumber;
  id yitixian;
  id jifenbao;
  id tbtxstatus;
  id tbyitixian;
  id ms_status;
  id avatar;
  id msg_num;
  id qq;
  id inviteCode;
  id show_coupon;

  void setValueForKey(const id& value, const std::shared_ptr<NSString>& key) override;
  static const zvt::KVCClass* classTable();
  const zvt::KVCClass* kvcClass() const override { return classTable(); }
};
