#include "app/screens/shopping/SearchResultView.h"

#include <cmath>

#include "app/screens/shopping/ProductCellParts.h"
#include "app/screens/shopping/SearchSupport.h"
#include "app/screens/shopping/TZNewSearchViewController.h"
#include "app/ui/UIKitCategories.h"
#include "platform/graphics/CGAffineTransform.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UINib.h"
#include "ui/images/UIImageView+RemoteImage.h"

using zvt::as;

using zvt::search::screenWidth;
using zvt::search::textOrEmpty;
using zvt::shopping::rgb;

namespace {

std::shared_ptr<UIColor> chosenColor() { return rgb(252, 100, 33); }
std::shared_ptr<UIColor> plainBorderColor() { return rgb(204, 204, 204); }
CGFloat headerHeight() { return std::round(0.1171875 * screenWidth()); }

}  // namespace

// --- TZChooseRegionView -----------------------------------------------------------------------

void TZChooseRegionView::setOutlets(const std::shared_ptr<UITextField>& low, const std::shared_ptr<UITextField>& high,
                                    const std::shared_ptr<UIButton>& tmall) {
  lowPriceTextField_ = low;
  highPriceTextField_ = high;
  tmallButton_ = tmall;
}

void TZChooseRegionView::tamllButtonClick(const std::shared_ptr<UIButton>& sender) {
  if (!sender) return;
  sender->setSelected(!sender->isSelected());
  sender->layer()->setBorderColor((sender->isSelected() ? chosenColor() : plainBorderColor())->CGColor());
  setNeedsLayout();
}

void TZChooseRegionView::layoutSubviews() {
  ParentView::layoutSubviews();
  for (auto field : {lowPriceTextField(), highPriceTextField()})
    if (field) configLayerWithBorderWidth(field, 0.5, 2, plainBorderColor());
  if (auto tmall = tmallButton()) {
    // The border keeps the colour of the choice, so that a layout pass does not grey a chosen
    // button.
    configLayerWithBorderWidth(tmall, 0.5, 2, tmall->isSelected() ? chosenColor() : plainBorderColor());
    tmall->setTitleColor(tmall->isSelected() ? chosenColor() : rgb(102, 102, 102), UIControlStateNormal);
  }
}

// --- TZSearchResultCell -----------------------------------------------------------------------

void TZSearchResultCell::setOutlets(const Outlets& o) {
  productIconImageView_ = o.icon;
  productTitleLabel_ = o.title;
  areaLabel_ = o.area;
  storeNameLabel_ = o.store;
  priceLabel_ = o.price;
  rebateLabel_ = o.rebate;
  fanLabel_ = o.fan;
  tmalliconImageView_ = o.tmall;
  salesVolumeLabel_ = o.sales;
}

void TZSearchResultCell::setModel(const std::shared_ptr<TZSearchResultModel>& model) {
  if (!model) return;
  model_ = model;
  if (auto icon = productIconImageView()) {
    auto text = zvt::search::textOf(model->pic_url);
    wi_setImageWithURL(icon, text ? NSURL::URLWithString(text) : nullptr, UIImage::imageNamed("placeholder_HomeProduct"_ns));
  }
  if (auto label = productTitleLabel()) label->setText(textOrEmpty(model->title));
  if (auto label = areaLabel()) label->setText(textOrEmpty(model->item_location));
  if (auto label = storeNameLabel()) label->setText(textOrEmpty(model->nick));
  if (auto label = priceLabel()) label->setText(NSString::stringWithFormat("¥%@", textOrEmpty(model->promotion_price)));
  if (auto label = fanLabel())
    label->setText(NSString::stringWithFormat("%.2f", static_cast<double>(static_cast<float>(zvt::shopping::floatValueOf(model->fan)))));
  if (auto label = salesVolumeLabel()) label->setText(NSString::stringWithFormat("月销%@", textOrEmpty(model->volume)));
}

// --- SearchResultView -------------------------------------------------------------------------

void SearchResultView::setUpWithFrame(CGRect frame) {
  ParentView::setUpWithFrame(frame);
  createUI();
}

void SearchResultView::createUI() {
  const CGFloat W = screenWidth(), hH = headerHeight();
  setBackgroundColor(rgb(242, 242, 242));
  buttonTitleArray_ = {"综合"_ns, "销量"_ns, "回扣"_ns, "筛选"_ns};
  headView_ = UIView::initWithFrame(CGRectMake(0, 0, W, hH));
  headView_->setBackgroundColor(UIColor::whiteColor());
  addSubview(headView_);
  auto self = std::static_pointer_cast<SearchResultView>(viewSelf());
  const CGFloat buttonWidth = W / buttonTitleArray_.size();
  for (size_t i = 0; i < buttonTitleArray_.size(); ++i) {
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setFrame(CGRectMake(buttonWidth * i, 0, buttonWidth, hH));
    button->setTag(30000 + static_cast<NSInteger>(i));
    button->setTitle(buttonTitleArray_[i], UIControlStateNormal);
    button->setTitleColor(rgb(102, 102, 102), UIControlStateNormal);
    button->setTitleColor(chosenColor(), UIControlStateSelected);
    button->titleLabel()->setFont(UIFont::systemFontOfSize(14));
    if (i == 3) button->setTitle("已筛选"_ns, UIControlStateSelected);
    button->setSelected(i == 0);
    button->addTarget(self, SEL(&SearchResultView::buttonClick), UIControlEventTouchUpInside);
    headView_->addSubview(button);
    headerButtons_.push_back(button);
    if (i > 0) {
      auto separator = UIView::initWithFrame(CGRectMake(buttonWidth * i, hH * 0.35, 1, hH * 0.3));
      separator->setBackgroundColor(rgb(219, 219, 219));
      headView_->addSubview(separator);
    }
  }
  auto line = UIView::initWithFrame(CGRectMake(0, hH - 1, W, 1));
  line->setBackgroundColor(rgb(219, 219, 219));
  headView_->addSubview(line);
  chooseRegionImageView_ = UIImageView::initWithFrame(CGRectZero);
  headView_->addSubview(chooseRegionImageView_);
  placeTriangle(false);

  auto layout = UICollectionViewFlowLayout::make();
  layout->setScrollDirection(UICollectionViewScrollDirectionVertical);
  layout->setItemSize(CGSizeMake(W, 104));
  layout->setMinimumLineSpacing(1);
  layout->setMinimumInteritemSpacing(1);
  layout->setSectionInset(UIEdgeInsetsMake(0, 0, 0, 0));
  searchResultCollectionView_ =
      UICollectionView::initWithFrame(CGRectMake(0, hH, W, frame().size.height - hH), layout);
  searchResultCollectionView_->setBackgroundColor(rgb(242, 242, 242));
  searchResultCollectionView_->setAutoresizingMask(UIViewAutoresizingFlexibleHeight);
  searchResultCollectionView_->registerNib(registerNib<TZSearchResultCell>(), "TZSearchResultCell"_ns);
  addSubview(searchResultCollectionView_);
}

std::shared_ptr<UIButton> SearchResultView::headerButton(NSInteger tag) const {
  for (const auto& button : headerButtons_)
    if (button->tag() == tag) return button;
  return nullptr;
}

void SearchResultView::placeTriangle(bool selected) {
  const CGFloat W = screenWidth();
  chooseRegionImageView_->setImage(UIImage::imageNamed(selected ? "triangleSelected"_ns : "triangleNomal"_ns));
  // The frame is set without the turn, then the turn is put back.
  auto transform = chooseRegionImageView_->transform();
  chooseRegionImageView_->setTransform(CGAffineTransformIdentity);
  chooseRegionImageView_->setFrame(CGRectMake((selected ? 0.94 : 0.92) * W, headerHeight() / 2 - 1.5, 5.5, 3));
  chooseRegionImageView_->setTransform(transform);
}

void SearchResultView::buttonClick(const std::shared_ptr<UIButton>& sender) {
  if (!sender) return;
  const NSInteger tag = sender->tag();
  if (tag == 30003) {
    const CGFloat W = screenWidth(), hH = headerHeight();
    if (!grayBGview_) {
      chooseRegionImageView_->setTransform(CGAffineTransformMakeRotation(M_PI));
      grayBGview_ = UIView::initWithFrame(CGRectMake(0, hH, W, frame().size.height - hH));
      grayBGview_->setBackgroundColor(UIColor::colorWithWhite(0, 0.7));
      grayBGview_->addGestureRecognizer(
          UITapGestureRecognizer::initWithTarget(std::static_pointer_cast<SearchResultView>(viewSelf()),
                                                 SEL(&SearchResultView::tapClick)));
      addSubview(grayBGview_);
      chooseRegionView_ = loadFromNib<TZChooseRegionView>();
      if (chooseRegionView_) {
        chooseRegionView_->setFrame(CGRectMake(0, hH, W, 153));
        addSubview(chooseRegionView_);
        bringSubviewToFront(chooseRegionView_);
        std::weak_ptr<SearchResultView> weak = std::static_pointer_cast<SearchResultView>(viewSelf());
        chooseRegionView_->setMyBlock([weak](const id& control) {
          if (auto strong = weak.lock()) strong->chooseBtnClick(control);
        });
      }
    } else if (grayBGview_->isHidden()) {
      chooseRegionImageView_->setTransform(CGAffineTransformMakeRotation(M_PI));
      grayBGview_->setHidden(false);
      if (chooseRegionView_) chooseRegionView_->setHidden(false);
    } else {
      hiddenChooseRegionView();
    }
  } else if (tag >= 30000 && tag <= 30002) {
    for (NSInteger t = 30000; t <= 30002; ++t)
      if (auto button = headerButton(t)) button->setSelected(t == tag);
  }
  callMyBlock(sender);
}

void SearchResultView::chooseBtnClick(const id& sender) {
  auto control = as<UIView>(sender);
  if (!control || control->tag() != 2 || !chooseRegionView_) return;
  hiddenChooseRegionView();
  auto hasText = [](const std::shared_ptr<UITextField>& field) { return field && field->text() && field->text()->length() > 0; };
  auto tmall = chooseRegionView_->tmallButton();
  const bool chosen = (tmall && tmall->isSelected()) || hasText(chooseRegionView_->lowPriceTextField()) ||
                      hasText(chooseRegionView_->highPriceTextField());
  if (auto filter = headerButton(30003)) filter->setSelected(chosen);
  placeTriangle(chosen);
  callMyBlock(sender);
}

void SearchResultView::tapClick() { hiddenChooseRegionView(); }

void SearchResultView::hiddenChooseRegionView() {
  if (!grayBGview_ || grayBGview_->isHidden()) return;
  chooseRegionImageView_->setTransform(CGAffineTransformMakeRotation(2 * M_PI));
  grayBGview_->setHidden(true);
  if (chooseRegionView_) {
    chooseRegionView_->setHidden(true);
    if (auto field = chooseRegionView_->lowPriceTextField()) field->resignFirstResponder();
    if (auto field = chooseRegionView_->highPriceTextField()) field->resignFirstResponder();
  }
}

void SearchResultView::clearChooseRegionView() {
  hiddenChooseRegionView();
  if (chooseRegionView_) {
    if (auto field = chooseRegionView_->lowPriceTextField()) field->setText(NSString::string());
    if (auto field = chooseRegionView_->highPriceTextField()) field->setText(NSString::string());
    if (auto tmall = chooseRegionView_->tmallButton()) {
      tmall->setSelected(false);
      tmall->layer()->setBorderColor(plainBorderColor()->CGColor());
    }
    chooseRegionView_->setNeedsLayout();
  }
  if (auto filter = headerButton(30003)) filter->setSelected(false);
  placeTriangle(false);
}

void SearchResultView::createHotView() {
  hiddenChooseRegionView();
  if (hotView_) return;
  const CGFloat W = screenWidth();
  hotView_ = UIView::initWithFrame(bounds());
  hotView_->setBackgroundColor(UIColor::whiteColor());
  auto title = UILabel::initWithFrame(CGRectMake(10, 0, W - 20, 40));
  title->setText("热门搜索"_ns);
  title->setFont(UIFont::systemFontOfSize(15));
  title->setTextColor(rgb(51, 51, 51));
  hotView_->addSubview(title);
  auto line = UIView::initWithFrame(CGRectMake(0, 40, W, 1));
  line->setBackgroundColor(rgb(222, 222, 222));
  hotView_->addSubview(line);
  auto layout = UICollectionViewFlowLayout::make();
  layout->setScrollDirection(UICollectionViewScrollDirectionVertical);
  layout->setItemSize(CGSizeMake(0.28 * W, 30));
  layout->setSectionInset(UIEdgeInsetsMake(10, 10, 0, 10));
  layout->setMinimumInteritemSpacing(10);
  layout->setMinimumLineSpacing(10);
  hotCollectionView_ = UICollectionView::initWithFrame(CGRectMake(0, 41, W, bounds().size.height - 41), layout);
  hotCollectionView_->setBackgroundColor(UIColor::whiteColor());
  hotCollectionView_->registerClass<TZSearchCollectionViewCell>("TZSearchCollectionViewCell"_ns);
  hotView_->addSubview(hotCollectionView_);
  addSubview(hotView_);
}

void SearchResultView::showTipsWithChooseRegion(bool chooseRegion) {
  const CGFloat W = screenWidth(), hH = headerHeight();
  if (!tipLabel_) {
    tipLabel_ = UILabel::initWithFrame(CGRectMake(0, 0, W, 30));
    tipLabel_->setText("暂未搜到商品，试试搜索其它商品吧"_ns);
    tipLabel_->setTextColor(rgb(102, 102, 102));
    tipLabel_->setFont(UIFont::systemFontOfSize(15));
    tipLabel_->setTextAlignment(NSTextAlignmentCenter);
  }
  if (!tipLabel_->superview()) {
    if (grayBGview_) {
      insertSubviewBelowSubview(tipLabel_, grayBGview_);
    } else {
      addSubview(tipLabel_);
    }
  }
  if (chooseRegion) {
    // The filter stays reachable: the header shows and the tip sits right under it.
    headView_->setHidden(false);
    tipLabel_->setFrame(CGRectMake(0, hH, W, 30));
  } else {
    headView_->setHidden(true);
    tipLabel_->setFrame(CGRectMake(0, headView_->frame().origin.y + 8, W, 30));
  }
}

void SearchResultView::hiddenTips() {
  headView_->setHidden(false);
  if (tipLabel_) tipLabel_->removeFromSuperview();
}

// --- the nibs ---------------------------------------------------------------------------------

namespace zvt::search {

void registerResultNibs() {
  ui::registerNibFactory("TZChooseRegionView", [](ui::NibBuilder& nib) -> std::vector<id> {
    const CGFloat W = screenWidth();
    auto view = nib.view<TZChooseRegionView>(CGRectMake(0, 0, W, 153));
    view->setBackgroundColor(UIColor::whiteColor());
    auto heading = nib.view<UILabel>(CGRectMake(15, 10, W - 30, 20));
    heading->setText("价格区间（元）"_ns);
    heading->setFont(UIFont::systemFontOfSize(14));
    heading->setTextColor(rgb(51, 51, 51));
    view->addSubview(heading);
    const CGFloat fieldWidth = (W - 30 - 30) / 2;
    auto makeField = [&](CGFloat x, const char* placeholder) {
      auto field = nib.view<UITextField>(CGRectMake(x, 38, fieldWidth, 32));
      field->setPlaceholder(NSString::stringWithUTF8String(placeholder));
      field->setFont(UIFont::systemFontOfSize(14));
      field->setTextAlignment(NSTextAlignmentCenter);
      field->setKeyboardType(UIKeyboardTypeDecimalPad);
      view->addSubview(field);
      return field;
    };
    auto low = makeField(15, "最低价");
    auto dash = nib.view<UILabel>(CGRectMake(15 + fieldWidth, 38, 30, 32));
    dash->setText("—"_ns);
    dash->setTextAlignment(NSTextAlignmentCenter);
    dash->setTextColor(rgb(153, 153, 153));
    view->addSubview(dash);
    auto high = makeField(45 + fieldWidth, "最高价");
    auto tmall = nib.view<UIButton>(CGRectMake(15, 80, 96, 28));
    tmall->setTitle("只看天猫"_ns, UIControlStateNormal);
    tmall->titleLabel()->setFont(UIFont::systemFontOfSize(13));
    tmall->addTarget(view, SEL(&TZChooseRegionView::tamllButtonClick), UIControlEventTouchUpInside);
    view->addSubview(tmall);
    auto sure = nib.view<UIButton>(CGRectMake(15, 114, W - 30, 32));
    sure->setTag(2);
    sure->setTitle("确定"_ns, UIControlStateNormal);
    sure->setTitleColor(UIColor::whiteColor(), UIControlStateNormal);
    sure->titleLabel()->setFont(UIFont::systemFontOfSize(15));
    sure->setBackgroundColor(chosenColor());
    configLayerWithBorderWidth(sure, 0, 4, nullptr);
    sure->addTarget(view, SEL(&TZChooseRegionView::sureButtonClick), UIControlEventTouchUpInside);
    view->addSubview(sure);
    view->setOutlets(low, high, tmall);
    return {view};
  });

  ui::registerNibFactory("TZSearchResultCell", [](ui::NibBuilder& nib) -> std::vector<id> {
    const CGFloat W = screenWidth();
    auto cell = nib.view<TZSearchResultCell>(CGRectMake(0, 0, W, 104));
    cell->setBackgroundColor(UIColor::whiteColor());
    auto content = cell->contentView();
    TZSearchResultCell::Outlets o;
    o.icon = nib.view<UIImageView>(CGRectMake(10, 10, 84, 84));
    o.icon->setContentMode(UIViewContentModeScaleAspectFill);
    o.icon->setClipsToBounds(true);
    o.title = nib.view<UILabel>(CGRectMake(104, 8, W - 114, 36));
    o.title->setNumberOfLines(2);
    o.title->setFont(UIFont::systemFontOfSize(14));
    o.title->setTextColor(rgb(51, 51, 51));
    o.tmall = nib.view<UIImageView>(CGRectMake(104, 48, 28, 14));
    o.tmall->setImage(UIImage::imageNamed("tmallIcon"_ns));
    o.store = nib.view<UILabel>(CGRectMake(136, 46, (W - 146) * 0.6, 18));
    o.area = nib.view<UILabel>(CGRectMake(136 + (W - 146) * 0.6, 46, (W - 146) * 0.4, 18));
    o.area->setTextAlignment(NSTextAlignmentRight);
    for (auto& label : {o.store, o.area}) {
      label->setFont(UIFont::systemFontOfSize(12));
      label->setTextColor(rgb(153, 153, 153));
    }
    o.price = nib.view<UILabel>(CGRectMake(104, 66, W - 114, 18));
    o.price->setFont(UIFont::systemFontOfSize(15));
    o.price->setTextColor(rgb(255, 110, 40));
    o.rebate = nib.view<UILabel>(CGRectMake(104, 86, 30, 15));
    o.rebate->setText("回扣"_ns);
    o.rebate->setFont(UIFont::systemFontOfSize(10));
    o.rebate->setTextColor(UIColor::whiteColor());
    o.rebate->setTextAlignment(NSTextAlignmentCenter);
    o.rebate->setBackgroundColor(rgb(255, 110, 40));
    configLayerWithBorderWidth(o.rebate, 0, 2, nullptr);
    o.fan = nib.view<UILabel>(CGRectMake(138, 85, 90, 17));
    o.fan->setFont(UIFont::systemFontOfSize(13));
    o.fan->setTextColor(rgb(255, 110, 40));
    o.sales = nib.view<UILabel>(CGRectMake(W - 110, 85, 100, 17));
    o.sales->setFont(UIFont::systemFontOfSize(12));
    o.sales->setTextColor(rgb(153, 153, 153));
    o.sales->setTextAlignment(NSTextAlignmentRight);
    for (const std::shared_ptr<UIView>& v : std::vector<std::shared_ptr<UIView>>{
             o.icon, o.title, o.tmall, o.store, o.area, o.price, o.rebate, o.fan, o.sales})
      content->addSubview(v);
    cell->setOutlets(o);
    return {cell};
  });
}

}  // namespace zvt::search
