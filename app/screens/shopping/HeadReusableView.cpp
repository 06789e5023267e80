#include "app/screens/shopping/HeadReusableView.h"

#include <algorithm>
#include <cmath>

#include "app/storage/TZDBManager.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSUserDefaults.h"
#include "platform/graphics/UIScreen.h"

using zvt::as;

namespace {

const char* const kHeightKey = "HomeHeaderH";

CGFloat screenShorterSide() {
  CGSize size = UIScreen::mainScreen()->bounds().size;
  return std::min(size.width, size.height);
}

// The list under `key` when it is a list with at least one item (anything else counts as none).
std::shared_ptr<NSArray> listOf(const std::shared_ptr<NSDictionary>& lists, const char* key) {
  auto list = lists ? as<NSArray>(lists->objectForKey(NSString::stringWithUTF8String(key))) : nullptr;
  return list && list->count() > 0 ? list : nullptr;
}

CGFloat bottomOf(const std::shared_ptr<UIView>& view) { return view ? CGRectGetMaxY(view->frame()) : 0; }

template <class V>
void dropBlock(std::shared_ptr<V>& view) {
  if (view) view->removeFromSuperview();
  view = nullptr;
}

// Makes the block on first use, then clears it, fills and lays it out, and adds it to `header`.
template <class V>
void buildBlock(UIView& header, std::shared_ptr<V>& view, CGRect frame, const std::shared_ptr<NSArray>& items) {
  if (!view) view = UIView::makeView<V>(frame);
  for (const auto& subview : view->subviews()) subview->removeFromSuperview();
  view->setFrame(frame);
  view->setDataArray(items);
  view->updateData();
  header.addSubview(view);
}

}  // namespace

void HeadReusableView::setUpWithFrame(CGRect frame) {
  UICollectionReusableView::setUpWithFrame(frame);
  getCacheInfo();
}

void HeadReusableView::getCacheInfo() {
  headHeight_ = NSUserDefaults::standardUserDefaults()->floatForKey(NSString::stringWithUTF8String(kHeightKey));
  auto lists = NSMutableDictionary::dictionary();
  auto manager = TZDBManager::sharedInstance();
  for (const char* name : {"banner", "nav", "middleBanner", "blockBanner", "fixedBanner"}) {
    auto list = manager->selectModelArrayInDatabase(std::make_shared<TZHeaderInfoModel>(),
                                                    NSString::stringWithFormat("_%s", name));
    if (list) lists->setObject(list, NSString::stringWithUTF8String(name));
  }
  updateUIWithDictionary(lists);
}

void HeadReusableView::updateUIWithDictionary(const std::shared_ptr<NSDictionary>& lists) {
  // A rebuild without any list leaves no block, and so no height.
  headHeight_ = 0;
  if (auto items = listOf(lists, "banner")) {
    createBanner(items);
    headHeight_ = bottomOf(adRollView);
  } else {
    dropBlock(adRollView);
  }
  if (auto items = listOf(lists, "nav")) {
    createSmallSortView(items);
    headHeight_ = bottomOf(smallClassView);
  } else {
    dropBlock(smallClassView);
  }
  if (auto items = listOf(lists, "middleBanner")) {
    createActivityView(items);
    headHeight_ = bottomOf(activityView);
  } else {
    dropBlock(activityView);
  }
  if (auto items = listOf(lists, "blockBanner")) {
    createSmallActivityView(items);
    headHeight_ = bottomOf(smallActivityView);
  } else {
    dropBlock(smallActivityView);
  }
  if (auto items = listOf(lists, "fixedBanner")) {
    createBigSortView(items);
    headHeight_ = bottomOf(bigClassView);
  } else {
    dropBlock(bigClassView);
  }
  auto defaults = NSUserDefaults::standardUserDefaults();
  defaults->setObject(NSString::stringWithFormat("%f", headHeight_), NSString::stringWithUTF8String(kHeightKey));
  defaults->synchronize();
}

void HeadReusableView::createBanner(const std::shared_ptr<NSArray>& items) {
  CGFloat W = screenShorterSide();
  CGRect frame = CGRectMake(0, 0, W, W / 640 * 245);
  if (!adRollView) adRollView = UIView::makeView<OrvakAdRoll>(frame);
  for (const auto& subview : adRollView->subviews()) subview->removeFromSuperview();
  adRollView->setFrame(frame);
  adRollView->setOrvakAdDelegate(adRollDelegate.lock());
  std::vector<id> entries;
  for (NSUInteger i = 0; i < items->count(); ++i) {
    auto item = as<TZHeaderInfoModel>(items->objectAtIndex(i));
    if (!item) continue;
    entries.push_back(NSDictionary::dictionaryWithPairs({{"pic"_ns, item->pic},
                                                         {"placeholderImage"_ns, UIImage::imageNamed("placeholder_AD"_ns)},
                                                         {"info"_ns, item},
                                                         {"isLoc"_ns, NSNumber::numberWithBool(false)}}));
  }
  adRollView->setPics(NSArray::arrayWithObjects(entries));
  addSubview(adRollView);
  adRollView->upDate();
}

void HeadReusableView::createSmallSortView(const std::shared_ptr<NSArray>& items) {
  CGFloat W = screenShorterSide();
  NSUInteger n = items->count();
  NSUInteger rows = std::max<NSUInteger>(1, (n + 3) / 4);
  buildBlock(*this, smallClassView, CGRectMake(0, W / 640 * 245, W, rows * 85.0), items);
  smallClassView->smallClassViewDelegate = smallClassDelegate;
}

void HeadReusableView::createActivityView(const std::shared_ptr<NSArray>& items) {
  CGFloat W = screenShorterSide();
  CGFloat n = static_cast<CGFloat>(items->count());
  buildBlock(*this, activityView,
             CGRectMake(0, bottomOf(smallClassView) + 10, bounds().size.width, n * (W / 750 * 234) + 5 * (n - 1)),
             items);
  activityView->activityViewDelegate = activityDelegate;
}

void HeadReusableView::createSmallActivityView(const std::shared_ptr<NSArray>& items) {
  CGFloat top = activityView ? bottomOf(activityView) : bottomOf(smallClassView);
  NSUInteger rows = (items->count() + 1) / 2;
  buildBlock(*this, smallActivityView, CGRectMake(0, top + 10, bounds().size.width, rows * 76.0 - 1), items);
  smallActivityView->smallActivityViewDelegate = smallActivityDelegate;
}

void HeadReusableView::createBigSortView(const std::shared_ptr<NSArray>& items) {
  CGFloat W = screenShorterSide();
  CGFloat top = smallActivityView ? bottomOf(smallActivityView)
                : activityView    ? bottomOf(activityView)
                                  : bottomOf(smallClassView);
  buildBlock(*this, bigClassView, CGRectMake(0, top + 10, W, W * 0.4625 + 35), items);
  bigClassView->bigClassViewDelegate = bigClassDelegate;
}
