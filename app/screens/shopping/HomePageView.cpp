#include "app/screens/shopping/HomePageView.h"

#include <algorithm>

#include "app/screens/shopping/HeadReusableView.h"
#include "app/screens/shopping/ProductCellParts.h"
#include "app/screens/shopping/TZHomeCell.h"
#include "app/screens/shopping/TZHomeHKCell.h"
#include "app/utilities/ZVTFunction.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/graphics/UIScreen.h"
#include "platform/uikit/UIImageView.h"

void HomePageView::setUpWithFrame(CGRect frame) {
  UIView::setUpWithFrame(frame);
  createUI();
  if (!NSUserDefaults::standardUserDefaults()->boolForKey("isBeforeEnter"_ns)) createGuideView();
}

void HomePageView::createUI() {
  CGSize screen = UIScreen::mainScreen()->bounds().size;
  CGFloat W = std::min(screen.width, screen.height);
  auto layout = UICollectionViewFlowLayout::make();
  layout->setScrollDirection(UICollectionViewScrollDirectionVertical);
  layout->setItemSize(CGSizeMake((W - 18) / 2, (W - 18) / 2 + 48));
  layout->setSectionInset(UIEdgeInsetsMake(0, 6, 0, 6));
  layout->setMinimumInteritemSpacing(5);
  layout->setMinimumLineSpacing(6);
  homePageCollectionView =
      UICollectionView::initWithFrame(CGRectMake(0, 0, frame().size.width, frame().size.height), layout);
  homePageCollectionView->setBackgroundColor(zvt::shopping::rgb(242, 242, 242));
  addSubview(homePageCollectionView);
  homePageCollectionView->registerClass<TZHomeCell>("TZHomeCell"_ns);
  homePageCollectionView->registerClass<TZHomeHKCell>("TZHomeHKCell"_ns);
  homePageCollectionView->registerClass<HeadReusableView>(UICollectionElementKindSectionHeader, "HeadIdentifier"_ns);
}

void HomePageView::createGuideView() {
  CGSize screen = UIScreen::mainScreen()->bounds().size;
  CGFloat W = std::min(screen.width, screen.height), H = std::max(screen.width, screen.height);
  // Screens 480 points long take the pictures drawn for them.
  const char* suffix = ZVTFunction::getCurrentScreenType() == 0 ? "3_5" : "";
  auto named = [suffix](const char* base) { return UIImage::imageNamed(NSString::stringWithFormat("%s%s", base, suffix)); };

  guideScrollView = UIScrollView::initWithFrame(CGRectMake(0, 0, W, H));
  guideScrollView->setUserInteractionEnabled(true);
  guideScrollView->setPagingEnabled(true);
  guideScrollView->setShowsHorizontalScrollIndicator(false);
  guideScrollView->setShowsVerticalScrollIndicator(false);
  guideScrollView->setBounces(false);
  guideScrollView->setContentSize(CGSizeMake(4 * W, H));
  const char* const pages[] = {"guideFirst", "guideSecond", "guideThird", "guideFourth"};
  for (int i = 0; i < 4; ++i) {
    auto page = UIImageView::initWithFrame(CGRectMake(i * W, 0, W, H));
    page->setImage(named(pages[i]));
    guideScrollView->addSubview(page);
    if (i != 3) continue;
    page->setUserInteractionEnabled(true);
    auto start = UIButton::buttonWithType(UIButtonTypeCustom);
    auto image = named("beginImage");
    CGSize size = image ? image->size() : CGSizeZero;
    start->setFrame(CGRectMake(0, 0, size.width, size.height));
    start->setCenter(CGPointMake(center().x, H * 0.85));
    start->setImage(image, UIControlStateNormal);
    start->addTarget(std::static_pointer_cast<HomePageView>(shared_from_this()), SEL(&HomePageView::buttonClick),
                     UIControlEventTouchUpInside);
    page->addSubview(start);
  }
}

void HomePageView::buttonClick(const std::shared_ptr<UIButton>& sender) {
  if (myBlock_) myBlock_(sender);
}
