#pragma once
// The rows of the asset records: a withdrawal (TZWithdrawCell: account, amount with its unit,
// status, time) and an income or refund record (TZRefundCell: title, content, cash, Velmo and
// 集分宝, time), both cards on the list's grey from their nibs, filled from their models as
// received; and WithDrawDetailsTableViewCell, a withdrawal row built in code from a record
// dictionary (no screen uses it).

#include <memory>
#include <vector>

#include "app/models/TZRefundModel.h"
#include "app/models/TZWithdrawModel.h"
#include "app/ui/ParentsViewController.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINib.h"

class TZWithdrawCell : public ParentTableViewCell {
 public:
  // Nib outlets (weak, as the nib's are).
  std::shared_ptr<UIView> bgView() const { return bgView_.lock(); }
  std::shared_ptr<UILabel> accountLabel() const { return accountLabel_.lock(); }
  std::shared_ptr<UILabel> moneyLabel() const { return moneyLabel_.lock(); }
  std::shared_ptr<UILabel> statusLabel() const { return statusLabel_.lock(); }
  std::shared_ptr<UILabel> timeLabel() const { return timeLabel_.lock(); }

  std::shared_ptr<TZWithdrawModel> withdrawModel() const { return withdrawModel_; }
  // A nil model is ignored; otherwise the row lays itself out at once.
  void setWithdrawModel(const std::shared_ptr<TZWithdrawModel>& model);

  void awakeFromNib() override;
  void layoutSubviews() override;
  void setSelected(bool selected, bool animated) override;
  using UITableViewCell::setSelected;

  static std::vector<id> makeFromNib(zvt::ui::NibBuilder& nib);

 private:
  std::weak_ptr<UIView> bgView_;
  std::weak_ptr<UILabel> accountLabel_;
  std::weak_ptr<UILabel> moneyLabel_;
  std::weak_ptr<UILabel> statusLabel_;
  std::weak_ptr<UILabel> timeLabel_;
  std::shared_ptr<TZWithdrawModel> withdrawModel_;
};

class TZRefundCell : public ParentTableViewCell {
 public:
  std::shared_ptr<UIView> bgView() const { return bgView_.lock(); }
  std::shared_ptr<UILabel> refundTitleLabel() const { return refundTitleLabel_.lock(); }
  std::shared_ptr<UILabel> incomeLabel() const { return incomeLabel_.lock(); }
  std::shared_ptr<UILabel> moneyLabel() const { return moneyLabel_.lock(); }
  std::shared_ptr<UILabel> velmoLabel() const { return velmoLabel_.lock(); }
  std::shared_ptr<UILabel> jifenbaoLabel() const { return jifenbaoLabel_.lock(); }
  std::shared_ptr<UILabel> timeLabel() const { return timeLabel_.lock(); }

  std::shared_ptr<TZRefundModel> refundModel() const { return refundModel_; }
  // A nil model is ignored; otherwise the row lays itself out at once.
  void setRefundModel(const std::shared_ptr<TZRefundModel>& model);

  void awakeFromNib() override;
  void layoutSubviews() override;
  void setSelected(bool selected, bool animated) override;
  using UITableViewCell::setSelected;

  static std::vector<id> makeFromNib(zvt::ui::NibBuilder& nib);

 private:
  std::weak_ptr<UIView> bgView_;
  std::weak_ptr<UILabel> refundTitleLabel_;
  std::weak_ptr<UILabel> incomeLabel_;
  std::weak_ptr<UILabel> moneyLabel_;
  std::weak_ptr<UILabel> velmoLabel_;
  std::weak_ptr<UILabel> jifenbaoLabel_;
  std::weak_ptr<UILabel> timeLabel_;
  std::shared_ptr<TZRefundModel> refundModel_;
};

class WithDrawDetailsTableViewCell : public ParentTableViewCell {
 public:
  // The default style; the frame (10, 5, screen width, 150) and the white card with its four
  // labels and three separators.
  static std::shared_ptr<WithDrawDetailsTableViewCell> initWithReuseIdentifier(const std::shared_ptr<NSString>& reuseIdentifier);
  // Fills the labels from a record {"account", "type", "money", "status", "addtime"}.
  void initTheCellWithDataDictionary(const std::shared_ptr<NSDictionary>& record);
  void setSelected(bool selected, bool animated) override;
  using UITableViewCell::setSelected;

  std::shared_ptr<UIImageView> background() const { return background_; }
  std::shared_ptr<UILabel> withDrawToolLabel() const { return withDrawToolLabel_; }
  std::shared_ptr<UILabel> withDrawAmountLabel() const { return withDrawAmountLabel_; }
  std::shared_ptr<UILabel> withDrawStatues() const { return withDrawStatues_; }
  std::shared_ptr<UILabel> withDrawTime() const { return withDrawTime_; }

 private:
  void build();

  std::shared_ptr<UIImageView> background_;
  std::shared_ptr<UILabel> withDrawToolLabel_;
  std::shared_ptr<UILabel> withDrawAmountLabel_;
  std::shared_ptr<UILabel> withDrawStatues_;
  std::shared_ptr<UILabel> withDrawTime_;
};

namespace zvt::money {
// Registers the nibs "TZWithdrawCell" and "TZRefundCell".
void registerAssetCellNibs();
}  // namespace zvt::money
