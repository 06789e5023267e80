#include "app/screens/shopping/BabyProductsView.h"

#include <algorithm>
#include <cmath>

#include "app/screens/shopping/ProductCellParts.h"
#include "app/screens/shopping/TZHomeCell.h"
#include "app/screens/shopping/TZHomeHKCell.h"
#include "app/ui/UIKitCategories.h"
#include "platform/graphics/UIScreen.h"
#include "platform/text/UIFont.h"

namespace {

CGFloat screenShorterSide() {
  CGSize size = UIScreen::mainScreen()->bounds().size;
  return std::min(size.width, size.height);
}

std::shared_ptr<UIColor> tabGrey() { return zvt::shopping::rgb(102, 102, 102); }

void styleTitle(const std::shared_ptr<UIButton>& button, CGFloat size) {
  button->setTitleColor(tabGrey(), UIControlStateNormal);
  button->setTitleColor(zvt::shopping::accentOrange(), UIControlStateSelected);
  button->titleLabel()->setFont(UIFont::systemFontOfSize(size));
}

}  // namespace

void BabyProductsView::setUpWithFrame(CGRect frame) {
  ParentView::setUpWithFrame(frame);
  setBackgroundColor(UIColor::whiteColor());
  initDatas();
  createScrollViewButton();
  createUI();
  createListButton();
  createBigButtonView();
}

void BabyProductsView::initDatas() {
  for (const char* title : {"全部", "女装", "居家", "男装", "母婴", "鞋包", "美妆", "美食", "配饰", "文体", "数码", "中老年"})
    buttonTitleArray.push_back(NSString::stringWithUTF8String(title));
  for (const char* title : {"全  部", "9.9包邮", "超高回扣", "优品特卖"})
    bigButtonTitleArray.push_back(NSString::stringWithUTF8String(title));
  scrollViewArray.clear();
  listViewArray.clear();
}

CGFloat BabyProductsView::tabWidth() const { return (screenShorterSide() - 44) / 5; }

void BabyProductsView::createScrollViewButton() {
  const CGFloat W = screenShorterSide();
  const CGFloat height = W * 0.12;
  const CGFloat T = tabWidth();
  listScrollView = UIScrollView::initWithFrame(CGRectMake(0, 0, W - 44, height));
  listScrollView->setShowsHorizontalScrollIndicator(false);
  listScrollView->setShowsVerticalScrollIndicator(false);
  listScrollView->setContentSize(CGSizeMake(12 * T, height));
  addSubview(listScrollView);
  auto self = std::static_pointer_cast<BabyProductsView>(shared_from_this());
  for (size_t i = 0; i < buttonTitleArray.size(); ++i) {
    auto tab = UIButton::buttonWithType(UIButtonTypeCustom);
    tab->setFrame(CGRectMake(i * T, 5, T, height - 10));
    tab->setTitle(buttonTitleArray[i], UIControlStateNormal);
    styleTitle(tab, i == 0 ? 16 : 14);
    tab->setSelected(i == 0);
    tab->setTag(static_cast<NSInteger>(i));
    tab->addTarget(self, SEL(&BabyProductsView::scrollViewButtonAction), UIControlEventTouchUpInside);
    listScrollView->addSubview(tab);
    scrollViewArray.push_back(tab);
  }
  lineView = UILabel::initWithFrame(CGRectMake(0, height - 2, T, 2));
  lineView->setBackgroundColor(UIColor::orangeColor());
  listScrollView->addSubview(lineView);
}

void BabyProductsView::createUI() {
  const CGFloat W = screenShorterSide();
  const CGFloat strip = W * 0.12;
  const CGFloat H = frame().size.height;
  const CGFloat pagerHeight = H - strip;
  backScrollView = UIScrollView::initWithFrame(CGRectMake(0, strip, W, pagerHeight));
  backScrollView->setBackgroundColor(zvt::shopping::rgb(242, 242, 242));
  backScrollView->setPagingEnabled(true);
  backScrollView->setShowsHorizontalScrollIndicator(false);
  backScrollView->setContentSize(CGSizeMake(12 * W, pagerHeight));
  addSubview(backScrollView);
  std::shared_ptr<UICollectionView>* const grids[] = {
      &allProductsCollectionView,    &girlProductsCollectionView,  &homeProductsCollectionView,
      &boyProductsCollectionView,    &momProductsCollectionView,   &shoneProductsCollectionView,
      &prettyProductsCollectionView, &foodsProductsCollectionView, &peishiProductsCollectionView,
      &wentiProductsCollectionView,  &shumaProductsCollectionView, &oldmanProductsCollectionView};
  for (int i = 0; i < 12; ++i) {
    // One layout object per grid (a layout lays out one collection view), all with the same
    // values.
    auto layout = UICollectionViewFlowLayout::make();
    layout->setScrollDirection(UICollectionViewScrollDirectionVertical);
    layout->setItemSize(CGSizeMake((W - 18) / 2, (W - 18) / 2 + 48));
    layout->setSectionInset(UIEdgeInsetsMake(5, 6, 5, 6));
    layout->setMinimumInteritemSpacing(5);
    layout->setMinimumLineSpacing(6);
    auto grid = UICollectionView::initWithFrame(CGRectMake(i * W, 0, W, pagerHeight), layout);
    grid->setBackgroundColor(zvt::shopping::rgb(242, 242, 242));
    grid->setTag(10000 + i);
    grid->registerClass<TZHomeCell>("TZHomeCell"_ns);
    grid->registerClass<TZHomeHKCell>("TZHomeHKCell"_ns);
    backScrollView->addSubview(grid);
    *grids[i] = grid;
    collectionArray.push_back(grid);
  }
  shadowView = UIView::initWithFrame(CGRectMake(0, 0, W, H));
  shadowView->setBackgroundColor(UIColor::colorWithWhite(0, 0.7));
  shadowView->setUserInteractionEnabled(true);
  shadowView->setHidden(true);
  shadowView->addGestureRecognizer(UITapGestureRecognizer::initWithTarget(
      std::static_pointer_cast<BabyProductsView>(shared_from_this()), SEL(&BabyProductsView::shadowViewClick)));
  addSubview(shadowView);
}

void BabyProductsView::createListButton() {
  const CGFloat W = screenShorterSide();
  const CGFloat strip = W * 0.12;
  auto self = std::static_pointer_cast<BabyProductsView>(shared_from_this());
  listView = UIView::initWithFrame(CGRectMake(0, 0, W, 180));
  listView->setBackgroundColor(UIColor::whiteColor());
  listView->setHidden(true);
  addSubview(listView);
  auto label = UILabel::initWithFrame(CGRectMake(5, 0, W / 2, 40));
  label->setText("切换类目"_ns);
  label->setFont(UIFont::systemFontOfSize(14));
  listView->addSubview(label);
  const CGFloat width = (W - 40) / 4;
  for (size_t i = 0; i < buttonTitleArray.size(); ++i) {
    const CGFloat c = static_cast<CGFloat>(i % 4), r = static_cast<CGFloat>(i / 4);
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setFrame(CGRectMake(c * (width + 10) + 5, CGRectGetMaxY(label->frame()) + 10 + r * 40, width, 30));
    button->setTitle(buttonTitleArray[i], UIControlStateNormal);
    styleTitle(button, 14);
    configLayerWithBorderWidth(button, 1, 15, i == 0 ? UIColor::orangeColor() : UIColor::grayColor());
    button->setSelected(i == 0);
    button->setTag(static_cast<NSInteger>(i));
    button->addTarget(self, SEL(&BabyProductsView::listViewbuttonAction), UIControlEventTouchUpInside);
    listView->addSubview(button);
    listViewArray.push_back(button);
  }
  arrowButton = UIButton::buttonWithType(UIButtonTypeCustom);
  arrowButton->setFrame(CGRectMake(W - 44, 0, 44, strip));
  arrowButton->setImage(UIImage::imageNamed("blackBackArrow"_ns), UIControlStateNormal);
  arrowButton->setBackgroundColor(UIColor::whiteColor());
  arrowButton->layer()->setShadowColor(UIColor::grayColor()->CGColor());
  arrowButton->layer()->setShadowOffset(CGSizeMake(-8, 0));
  arrowButton->layer()->setShadowOpacity(0.1);
  arrowButton->addTarget(self, SEL(&BabyProductsView::arrowButtonAction), UIControlEventTouchUpInside);
  addSubview(arrowButton);
}

void BabyProductsView::createBigButtonView() {
  const CGFloat W = screenShorterSide();
  auto self = std::static_pointer_cast<BabyProductsView>(shared_from_this());
  bigButtonView = UIView::initWithFrame(CGRectMake(0, 0, W, W * 0.55));
  bigButtonView->setBackgroundColor(UIColor::whiteColor());
  bigButtonView->setHidden(true);
  addSubview(bigButtonView);
  for (size_t i = 0; i < bigButtonTitleArray.size(); ++i) {
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setFrame(CGRectMake(0, i * W / 8, W, W / 8));
    button->setBackgroundColor(UIColor::whiteColor());
    button->setTitle(bigButtonTitleArray[i], UIControlStateNormal);
    button->setTitleColor(tabGrey(), UIControlStateNormal);
    button->titleLabel()->setFont(UIFont::systemFontOfSize(16));
    button->setTag(static_cast<NSInteger>(i));
    button->addTarget(self, SEL(&BabyProductsView::bigButtonClick), UIControlEventTouchUpInside);
    bigButtonView->addSubview(button);
    bigButtonArray.push_back(button);
  }
}

void BabyProductsView::scrollViewButtonClick(NSInteger index) {
  for (const auto& tab : scrollViewArray) {
    const bool chosen = tab->tag() == index;
    tab->setSelected(chosen);
    tab->titleLabel()->setFont(UIFont::systemFontOfSize(chosen ? 16 : 14));
  }
  for (const auto& button : listViewArray) {
    const bool chosen = button->tag() == index;
    button->setSelected(chosen);
    button->layer()->setBorderColor((chosen ? UIColor::orangeColor() : UIColor::grayColor())->CGColor());
  }
  const CGFloat T = tabWidth();
  const CGFloat offset = index < 3 ? 0 : index <= 9 ? (static_cast<CGFloat>(index) - 2.5) * T : 7 * T;
  listScrollView->setContentOffset(CGPointMake(offset, 0), true);
  auto line = lineView;
  UIView::animateWithDuration(0.5, [line, index, T] {
    CGRect frame = line->frame();
    frame.origin.x = static_cast<CGFloat>(index) * T;
    line->setFrame(frame);
  });
}

void BabyProductsView::scrollViewButtonAction(const std::shared_ptr<UIButton>& sender) {
  scrollViewButtonClick(sender->tag());
  callMyBlock(sender);
}

void BabyProductsView::foldArrow() {
  arrowButton->imageView()->setTransform(CGAffineTransformIdentity);
  arrowButton->setSelected(false);
}

void BabyProductsView::listViewbuttonAction(const std::shared_ptr<UIButton>& sender) {
  listView->setHidden(true);
  listScrollView->setHidden(false);
  shadowView->setHidden(true);
  foldArrow();
  scrollViewButtonClick(sender->tag());
  callMyBlock(sender);
}

void BabyProductsView::arrowButtonAction(const std::shared_ptr<UIButton>&) {
  if (!arrowButton->isSelected()) {
    arrowButton->imageView()->setTransform(CGAffineTransformMakeRotation(M_PI));
    shadowView->setHidden(false);
    listView->setHidden(false);
    arrowButton->setSelected(true);
  } else {
    arrowButton->imageView()->setTransform(CGAffineTransformMakeRotation(2 * M_PI));
    listView->setHidden(true);
    shadowView->setHidden(true);
    arrowButton->setSelected(false);
  }
}

void BabyProductsView::bigButtonClick(const std::shared_ptr<UIButton>& sender) {
  if (arrowButton->isSelected()) foldArrow();
  shadowView->setHidden(true);
  bigButtonView->setHidden(true);
  listScrollView->setHidden(false);
  if (auto block = bigViewButtonBlock_) block(sender);
}

void BabyProductsView::shadowViewClick(const std::shared_ptr<UITapGestureRecognizer>& gesture) {
  listView->setHidden(true);
  shadowView->setHidden(true);
  bigButtonView->setHidden(true);
  listScrollView->setHidden(false);
  foldArrow();
  if (auto block = shadowViewBlock_) block(gesture);
}
