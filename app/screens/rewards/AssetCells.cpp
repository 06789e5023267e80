#include "app/screens/rewards/AssetCells.h"

#include "app/screens/rewards/ExchangeScreens.h"
#include "app/screens/rewards/MoneyScreenParts.h"
#include "app/ui/UIKitCategories.h"
#include "platform/foundation/NSNumber.h"
#include "platform/text/UIFont.h"

using zvt::exchange::portraitScreen;
using zvt::exchange::rgb;
using zvt::money::textOf;

namespace {

constexpr CGFloat kRowHeight = 190;

// The white card of a row, 10 points in from the list's sides, 15 points shorter than the row.
std::shared_ptr<UIView> card(zvt::ui::NibBuilder& nib, UITableViewCell& cell, CGFloat width) {
  auto made = nib.view<UIView>(CGRectMake(10, 10, width - 20, kRowHeight - 15));
  made->setBackgroundColor(UIColor::whiteColor());
  made->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
  cell.contentView()->addSubview(made);
  return made;
}

void separator(zvt::ui::NibBuilder& nib, const std::shared_ptr<UIView>& in, CGFloat y) {
  auto line = nib.view<UIView>(CGRectMake(0, y, in->frame().size.width, 0.5));
  line->setBackgroundColor(rgb(222, 222, 222));
  line->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
  in->addSubview(line);
}

void roundCard(const std::shared_ptr<UIView>& card) { configLayerWithBorderWidth(card, 1.0, 4.0, rgb(222, 222, 222)); }

}  // namespace

// --- TZWithdrawCell

void TZWithdrawCell::setWithdrawModel(const std::shared_ptr<TZWithdrawModel>& model) {
  if (!model) return;
  withdrawModel_ = model;
  setNeedsLayout();
  layoutIfNeeded();
}

void TZWithdrawCell::awakeFromNib() { roundCard(bgView()); }

void TZWithdrawCell::setSelected(bool selected, bool animated) {
  ParentTableViewCell::setSelected(selected, animated);
  setSelectionStyle(UITableViewCellSelectionStyleNone);
}

void TZWithdrawCell::layoutSubviews() {
  ParentTableViewCell::layoutSubviews();
  auto model = withdrawModel_;
  if (!model) return;
  auto type = textOf(model->type);
  const char* unit = type && type->isEqualToString("1") ? "个集分宝" : "元";
  auto money = textOf(model->money);
  if (auto l = accountLabel()) l->setText(textOf(model->account));
  if (auto l = moneyLabel())
    l->setText(NSString::stringWithFormat("%@%@", money ? money : ""_ns, NSString::stringWithUTF8String(unit)));
  if (auto l = statusLabel()) l->setText(textOf(model->status));
  if (auto l = timeLabel()) l->setText(textOf(model->addtime));
}

std::vector<id> TZWithdrawCell::makeFromNib(zvt::ui::NibBuilder& nib) {
  const CGFloat width = portraitScreen().width;
  auto cell = nib.view<TZWithdrawCell>(CGRectMake(0, 0, width, kRowHeight));
  cell->setBackgroundColor(rgb(242, 242, 242));
  cell->contentView()->setBackgroundColor(rgb(242, 242, 242));
  auto box = card(nib, *cell, width);
  const CGFloat inner = width - 20;
  const char* captions[] = {"提现账号：", "提现数额：", "提现状态：", "提现时间："};
  std::shared_ptr<UILabel> values[4];
  const CGFloat rowHeight = (kRowHeight - 15) / 4;
  for (int i = 0; i < 4; ++i) {
    const CGFloat y = rowHeight * i;
    zvt::money::nibLabel(nib, box, CGRectMake(12, y, 76, rowHeight), 14, rgb(153, 153, 153), captions[i]);
    values[i] = zvt::money::nibLabel(nib, box, CGRectMake(88, y, inner - 100, rowHeight), 14, rgb(51, 51, 51));
    values[i]->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    if (i > 0) separator(nib, box, y);
  }
  values[1]->setTextColor(zvt::actionColor());
  cell->bgView_ = box;
  cell->accountLabel_ = values[0];
  cell->moneyLabel_ = values[1];
  cell->statusLabel_ = values[2];
  cell->timeLabel_ = values[3];
  return {cell};
}

// --- TZRefundCell

void TZRefundCell::setRefundModel(const std::shared_ptr<TZRefundModel>& model) {
  if (!model) return;
  refundModel_ = model;
  setNeedsLayout();
  layoutIfNeeded();
}

void TZRefundCell::awakeFromNib() { roundCard(bgView()); }

void TZRefundCell::setSelected(bool selected, bool animated) {
  ParentTableViewCell::setSelected(selected, animated);
  setSelectionStyle(UITableViewCellSelectionStyleNone);
}

void TZRefundCell::layoutSubviews() {
  ParentTableViewCell::layoutSubviews();
  auto model = refundModel_;
  if (!model) return;
  if (auto l = refundTitleLabel()) l->setText(textOf(model->title));
  if (auto l = incomeLabel()) l->setText(textOf(model->content));
  if (auto l = moneyLabel()) l->setText(textOf(model->money));
  if (auto l = velmoLabel()) l->setText(textOf(model->jifen));
  if (auto l = jifenbaoLabel()) l->setText(textOf(model->jifenbao));
  if (auto l = timeLabel()) l->setText(textOf(model->addtime));
}

std::vector<id> TZRefundCell::makeFromNib(zvt::ui::NibBuilder& nib) {
  const CGFloat width = portraitScreen().width;
  auto cell = nib.view<TZRefundCell>(CGRectMake(0, 0, width, kRowHeight));
  cell->setBackgroundColor(rgb(242, 242, 242));
  cell->contentView()->setBackgroundColor(rgb(242, 242, 242));
  auto box = card(nib, *cell, width);
  const CGFloat inner = width - 20;
  auto title = zvt::money::nibLabel(nib, box, CGRectMake(12, 0, inner - 150, 40), 15, rgb(51, 51, 51));
  auto time = zvt::money::nibLabel(nib, box, CGRectMake(inner - 142, 0, 130, 40), 12, rgb(153, 153, 153));
  time->setTextAlignment(NSTextAlignmentRight);
  time->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin);
  separator(nib, box, 40);
  auto content = zvt::money::nibLabel(nib, box, CGRectMake(12, 46, inner - 24, 44), 13, rgb(102, 102, 102));
  content->setNumberOfLines(2);
  content->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
  separator(nib, box, 96);
  // Three columns: cash, Velmo and 集分宝, each a caption over its figure.
  const char* captions[] = {"现金(元)", "Velmo", "集分宝"};
  std::shared_ptr<UILabel> figures[3];
  const CGFloat column = inner / 3;
  for (int i = 0; i < 3; ++i) {
    auto caption = zvt::money::nibLabel(nib, box, CGRectMake(column * i, 104, column, 24), 13, rgb(153, 153, 153), captions[i]);
    caption->setTextAlignment(NSTextAlignmentCenter);
    figures[i] = zvt::money::nibLabel(nib, box, CGRectMake(column * i, 130, column, 32), 17, zvt::actionColor());
    figures[i]->setTextAlignment(NSTextAlignmentCenter);
  }
  cell->bgView_ = box;
  cell->refundTitleLabel_ = title;
  cell->incomeLabel_ = content;
  cell->moneyLabel_ = figures[0];
  cell->velmoLabel_ = figures[1];
  cell->jifenbaoLabel_ = figures[2];
  cell->timeLabel_ = time;
  return {cell};
}

// --- WithDrawDetailsTableViewCell

std::shared_ptr<WithDrawDetailsTableViewCell> WithDrawDetailsTableViewCell::initWithReuseIdentifier(
    const std::shared_ptr<NSString>& reuseIdentifier) {
  auto cell = UITableViewCell::initWithStyle<WithDrawDetailsTableViewCell>(UITableViewCellStyleDefault, reuseIdentifier);
  cell->build();
  return cell;
}

void WithDrawDetailsTableViewCell::build() {
  const CGFloat side = portraitScreen().width;
  setFrame(CGRectMake(10, 5, side, 150));
  setBackgroundColor(rgb(242, 242, 242));
  background_ = UIImageView::initWithFrame(CGRectMake(10, 10, side - 20, 140));
  background_->setBackgroundColor(UIColor::whiteColor());
  contentView()->addSubview(background_);
  auto grey = [&](CGFloat y) {
    auto made = UILabel::initWithFrame(CGRectMake(20, y, side - 40, 20));
    made->setFont(UIFont::systemFontOfSize(14));
    made->setTextColor(UIColor::grayColor());
    contentView()->addSubview(made);
    return made;
  };
  withDrawToolLabel_ = grey(20);
  withDrawAmountLabel_ = grey(55);
  withDrawStatues_ = grey(90);
  withDrawTime_ = grey(125);
  for (CGFloat y : {50.0, 83.0, 116.0}) {
    auto line = UIImageView::initWithFrame(CGRectMake(15, y, side - 30, 1));
    line->setImage(UIImage::imageNamed("line"_ns));
    contentView()->addSubview(line);
  }
}

void WithDrawDetailsTableViewCell::initTheCellWithDataDictionary(const std::shared_ptr<NSDictionary>& record) {
  auto value = [&](const char* key) {
    auto text = zvt::exchange::textOf(record, key);
    return text ? text : ""_ns;
  };
  withDrawToolLabel_->setText(NSString::stringWithFormat("提现账号:  %@", value("account")));
  const NSInteger type = zvt::exchange::integerOf(record, "type");
  if (type == 1) {
    withDrawAmountLabel_->setText(
        NSString::stringWithFormat("提现数额:  %ld个集分宝", static_cast<long>(zvt::exchange::integerOf(record, "money"))));
  } else if (type == 2) {
    withDrawAmountLabel_->setText(NSString::stringWithFormat("提现数额:  %@元", value("money")));
  }
  withDrawStatues_->setText(NSString::stringWithFormat("提现状态:  %@", value("status")));
  withDrawTime_->setText(NSString::stringWithFormat("提现时间:  %@", value("addtime")));
}

void WithDrawDetailsTableViewCell::setSelected(bool, bool animated) {
  ParentTableViewCell::setSelected(false, animated);
  setSelectionStyle(UITableViewCellSelectionStyleGray);
}

void zvt::money::registerAssetCellNibs() {
  zvt::ui::registerNibFactory("TZWithdrawCell", &TZWithdrawCell::makeFromNib);
  zvt::ui::registerNibFactory("TZRefundCell", &TZRefundCell::makeFromNib);
}
