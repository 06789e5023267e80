#include "app/screens/rewards/CourseViewController.h"

#include "analytics/StatAgent.h"
#include "app/screens/rewards/RewardsScreenParts.h"
#include "app/ui/UIViewController+NavItem.h"
#include "platform/text/NSAttributedString.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UINavigationController.h"

namespace {

using zvt::rewards::configPopItem;
using zvt::rewards::longerSide;
using zvt::rewards::shorterSide;
using zvt::rewards::whiteBar;

}  // namespace

// --- CourseViewController

const zvt::KVCClass* CourseViewController::classTable() {
  static const zvt::KVCClass table = zvt::KVCClass::Builder<CourseViewController>()
                                         .property("selectedIndex", &CourseViewController::selectedIndex,
                                                   &CourseViewController::setSelectedIndex)
                                         .build();
  return &table;
}

void CourseViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  setTitle("回扣教程"_ns);
  configPopItem(controllerSelf());
  view()->setBackgroundColor(UIColor::whiteColor());
  createUI();
}

void CourseViewController::createUI() {
  const CGFloat width = shorterSide();
  const auto orange = UIColor::colorWithRed(1.0, 110 / 255.0, 40 / 255.0, 1);
  segmentControl_ = UISegmentedControl::initWithItems(NSArray::make({"淘宝回扣教程"_ns, "商城回扣教程"_ns}));
  segmentControl_->setTitleTextAttributes(
      NSDictionary::make({{NSFontAttributeName, UIFont::systemFontOfSize(14)}, {NSForegroundColorAttributeName, orange}}),
      UIControlStateNormal);
  segmentControl_->setTintColor(orange);
  segmentControl_->setBackgroundColor(UIColor::whiteColor());
  segmentControl_->layer()->setCornerRadius(5);
  segmentControl_->setFrame(CGRectMake((width - 0.8 * width) / 2, 10, 0.8 * width, 30));
  segmentControl_->setSelectedSegmentIndex(static_cast<NSInteger>(selectedIndex_));
  segmentControl_->addTarget(self(), &CourseViewController::segmentAction, UIControlEventValueChanged);
  view()->addSubview(segmentControl_);

  const CGFloat segmentBottom = CGRectGetMaxY(segmentControl_->frame());
  bgscrollView_ = UIScrollView::initWithFrame(CGRectMake(0, segmentBottom + 10, width, longerSide() - segmentBottom - 64 - 10));
  view()->addSubview(bgscrollView_);
  courseImage_ = UIImage::imageNamed(selectedIndex_ != 0 ? "courseStore"_ns : "courseTaobao"_ns);
  courseImageView_ = UIImageView::initWithFrame(CGRectZero);
  bgscrollView_->addSubview(courseImageView_);
  showPicture(courseImage_);
}

void CourseViewController::showPicture(const std::shared_ptr<UIImage>& picture) {
  const CGFloat width = shorterSide();
  const CGSize size = picture ? picture->size() : CGSizeZero;
  const CGFloat height = size.width > 0 ? size.height / size.width * width : 0;
  courseImageView_->setFrame(CGRectMake(0, 0, width, height));
  courseImageView_->setImage(picture);
  bgscrollView_->setContentSize(CGSizeMake(width, height));
}

void CourseViewController::segmentAction(const std::shared_ptr<UISegmentedControl>& sender) {
  if (!sender) return;
  const NSInteger index = sender->selectedSegmentIndex();
  if (index != 0 && index != 1) return;
  courseImage_ = UIImage::imageNamed(index == 1 ? "courseStore"_ns : "courseTaobao"_ns);
  // The scroll position stays where the previous picture had it.
  showPicture(courseImage_);
}

void CourseViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  whiteBar(controllerSelf());
  StatAgent::beginLogPageView("回扣教程页"_ns);
  zvt::rewards::hideTabbar();
}

void CourseViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  StatAgent::endLogPageView("回扣教程页"_ns);
}

// --- AboutZaveltoViewController

void AboutZaveltoViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  setTitle("关于Zavelto"_ns);
  configPopItem(controllerSelf());
  const CGFloat width = shorterSide();
  scrollView_ = UIScrollView::initWithFrame(CGRectMake(0, 0, width, longerSide() - 64));
  scrollView_->setShowsVerticalScrollIndicator(false);
  auto picture = UIImage::imageNamed("aboutZavelto"_ns);
  const CGFloat height = picture ? picture->size().height : 0;
  imageView_ = UIImageView::initWithFrame(CGRectMake(0, 0, width, height));
  imageView_->setContentMode(UIViewContentModeScaleAspectFit);
  imageView_->setImage(picture);
  scrollView_->addSubview(imageView_);
  // The last 49 points of the picture lie below the end of the scrolling range.
  scrollView_->setContentSize(CGSizeMake(width, height - 49));
  view()->addSubview(scrollView_);
}

void AboutZaveltoViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  whiteBar(controllerSelf());
  StatAgent::beginLogPageView("关于Zavelto页"_ns);
}

void AboutZaveltoViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  StatAgent::endLogPageView("关于Zavelto页"_ns);
}
