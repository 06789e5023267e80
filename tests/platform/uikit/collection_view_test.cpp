// Collection views with flow layouts: the home grid's frames on every screen, headers sized by
// the delegate, reuse of cells and headers, selection by tapping items, and several grids on
// one data source.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/foundation/NSException.h"
#include "platform/uikit/UICollectionView.h"
#include "platform/uikit/UILabel.h"
#include "tests/platform/uikit/UIKitTestSupport.h"

namespace {

using zvt::ui::Device;
using zvt::uitest::Log;
using zvt::uitest::Screen;

std::shared_ptr<NSString> str(const std::string& s) { return NSString::stringWithUTF8String(s); }

class ItemCell : public UICollectionViewCell {
 public:
  static inline int reused = 0;
  std::shared_ptr<UILabel> label;
  void setUpWithFrame(CGRect frame) override {
    UICollectionViewCell::setUpWithFrame(frame);
    label = UILabel::initWithFrame(CGRectMake(0, 0, 40, 20));
    contentView()->addSubview(label);
  }
  void prepareForReuse() override { ++reused; }
};

class Header : public UICollectionReusableView {};

// A grid of products as the home screen builds it: two columns, a header sized by the delegate.
class Grid : public UICollectionViewDataSource, public UICollectionViewDelegateFlowLayout {
 public:
  std::vector<NSInteger> items{7};
  CGFloat headerHeight = 0;
  CGFloat headerWidth = -1;  // the grid's width unless set
  Log log;
  NSInteger numberOfSectionsInCollectionView(const std::shared_ptr<UICollectionView>&) override {
    return static_cast<NSInteger>(items.size());
  }
  NSInteger collectionViewNumberOfItemsInSection(const std::shared_ptr<UICollectionView>& view, NSInteger s) override {
    return items[static_cast<size_t>(s)] + (view->tag() == 2 ? 1 : 0);
  }
  std::shared_ptr<UICollectionViewCell> collectionViewCellForItemAtIndexPath(
      const std::shared_ptr<UICollectionView>& view, const std::shared_ptr<NSIndexPath>& ip) override {
    auto cell = std::static_pointer_cast<ItemCell>(view->dequeueReusableCellWithReuseIdentifier(str("Item"), ip));
    cell->label->setText(str(std::to_string(view->tag()) + ":" + std::to_string(ip->section()) + "." +
                             std::to_string(ip->item())));
    return cell;
  }
  std::shared_ptr<UICollectionReusableView> collectionViewViewForSupplementaryElementOfKind(
      const std::shared_ptr<UICollectionView>& view, const std::shared_ptr<NSString>& kind,
      const std::shared_ptr<NSIndexPath>& ip) override {
    log.add("header " + std::to_string(ip->section()));
    return view->dequeueReusableSupplementaryViewOfKind(kind, str("HeadIdentifier"), ip);
  }
  CGSize collectionViewLayoutReferenceSizeForHeaderInSection(const std::shared_ptr<UICollectionView>& view,
                                                             const std::shared_ptr<UICollectionViewLayout>&,
                                                             NSInteger) override {
    return CGSizeMake(headerWidth < 0 ? view->bounds().size.width : headerWidth, headerHeight);
  }
  bool collectionViewShouldSelectItemAtIndexPath(const std::shared_ptr<UICollectionView>&,
                                                 const std::shared_ptr<NSIndexPath>& ip) override {
    log.add("shouldSelect " + std::to_string(ip->item()));
    return true;
  }
  void collectionViewDidSelectItemAtIndexPath(const std::shared_ptr<UICollectionView>& view,
                                              const std::shared_ptr<NSIndexPath>& ip) override {
    log.add("didSelect " + std::to_string(view->tag()) + ":" + std::to_string(ip->item()));
  }
  void collectionViewDidDeselectItemAtIndexPath(const std::shared_ptr<UICollectionView>&,
                                                const std::shared_ptr<NSIndexPath>& ip) override {
    log.add("didDeselect " + std::to_string(ip->item()));
  }
};

// The home grid's layout for a screen W points wide.
std::shared_ptr<UICollectionViewFlowLayout> homeLayout(CGFloat W) {
  auto layout = UICollectionViewFlowLayout::make();
  layout->setItemSize(CGSizeMake((W - 18) / 2, (W - 18) / 2 + 48));
  layout->setSectionInset(UIEdgeInsetsMake(0, 6, 0, 6));
  layout->setMinimumInteritemSpacing(5);
  layout->setMinimumLineSpacing(6);
  return layout;
}

std::shared_ptr<UICollectionView> makeGrid(Screen& screen, const std::shared_ptr<Grid>& grid,
                                           std::shared_ptr<UICollectionViewLayout> layout = nullptr) {
  CGRect frame = screen.window->bounds();
  auto view = UICollectionView::initWithFrame(frame, layout ? layout : homeLayout(frame.size.width));
  view->registerClass<ItemCell>(str("Item"));
  view->registerClass<Header>(UICollectionElementKindSectionHeader, str("HeadIdentifier"));
  view->setDataSource(grid);
  view->setDelegate(grid);
  screen.window->addSubview(view);
  screen.device().settle();
  return view;
}

Device& device() { return Device::shared(); }

TEST(UIKitCollectionView, TwoColumnsGiveTheHomeGridsFramesOnEveryScreen) {
  for (const auto& model : zvt::ui::kScreenModels) {
    SCOPED_TRACE(model.name);
    Screen screen;
    Device::useScreen(model);
    screen.window->setFrame(CGRect{CGPointZero, model.points});
    auto grid = std::make_shared<Grid>();
    grid->headerHeight = 300.1;
    auto view = makeGrid(screen, grid);
    CGFloat W = model.points.width, w = (W - 18) / 2, h = w + 48;
    auto frameOf = [&](NSInteger item) { return view->layoutAttributesForItemAtIndexPath(NSIndexPath::indexPathForItem(item, 0))->frame(); };
    EXPECT_EQ(frameOf(0), CGRectMake(6, 300.1, w, h));
    EXPECT_EQ(frameOf(1), CGRectMake(W - 6 - w, 300.1, w, h)) << "spread to the right inset";
    EXPECT_EQ(frameOf(2), CGRectMake(6, 300.1 + h + 6, w, h));
    EXPECT_EQ(frameOf(6), CGRectMake((W - w) / 2, 300.1 + 3 * (h + 6), w, h)) << "alone in its row, centred";
    EXPECT_EQ(view->contentSize(), CGSizeMake(W, 300.1 + 4 * h + 3 * 6));
    auto header = view->layoutAttributesForSupplementaryElementOfKind(UICollectionElementKindSectionHeader,
                                                                     NSIndexPath::indexPathForItem(0, 0));
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->frame(), CGRectMake(0, 0, W, 300.1));
    // The visible cells stand where the layout says.
    for (auto& cell : view->visibleCells())
      EXPECT_EQ(cell->frame(), view->layoutAttributesForItemAtIndexPath(view->indexPathForCell(cell))->frame());
  }
}

TEST(UIKitCollectionView, HeadersComeFromTheDelegatesReferenceSize) {
  Screen screen;
  auto grid = std::make_shared<Grid>();
  grid->items = {4, 4};
  auto view = makeGrid(screen, grid);
  EXPECT_TRUE(view->visibleSupplementaryViewsOfKind(UICollectionElementKindSectionHeader).empty())
      << "no height, no header";
  EXPECT_EQ(grid->log.joined(), "");
  grid->headerHeight = 50;
  view->reloadData();
  screen.device().settle();
  auto headers = view->visibleSupplementaryViewsOfKind(UICollectionElementKindSectionHeader);
  ASSERT_EQ(headers.size(), 2u);
  EXPECT_EQ(headers[0]->frame(), CGRectMake(0, 0, 320, 50));
  CGFloat h = (320 - 18) / 2.0 + 48;
  EXPECT_EQ(headers[1]->frame(), CGRectMake(0, 50 + 2 * h + 6, 320, 50));
  EXPECT_EQ(view->layoutAttributesForItemAtIndexPath(NSIndexPath::indexPathForItem(0, 1))->frame().origin.y,
            100 + 2 * h + 6);
  EXPECT_EQ(headers[0]->reuseIdentifier()->utf8(), "HeadIdentifier");
}

TEST(UIKitCollectionView, CellsAndHeadersAreReusedAsTheGridScrolls) {
  Screen screen;
  auto grid = std::make_shared<Grid>();
  grid->items = {40, 40, 40};
  grid->headerHeight = 100;
  auto view = makeGrid(screen, grid);
  ItemCell::reused = 0;
  auto& d = device();
  ASSERT_TRUE(d.scrollUntilVisible(view, "0:2.39"));
  // 480 points show at most three rows of two (and a header) at a time.
  EXPECT_LE(view->viewsMadeCount(), 2 * 4 + 2 + 2);
  EXPECT_GT(ItemCell::reused, 100);
  for (auto& cell : view->visibleCells()) {
    auto ip = view->indexPathForCell(cell);
    EXPECT_EQ(std::static_pointer_cast<ItemCell>(cell)->label->text()->utf8(),
              "0:" + std::to_string(ip->section()) + "." + std::to_string(ip->item()));
  }
  view->scrollToItemAtIndexPath(NSIndexPath::indexPathForItem(9, 1), UICollectionViewScrollPositionTop, false);
  screen.device().settle();
  EXPECT_EQ(view->contentOffset().y, view->layoutAttributesForItemAtIndexPath(NSIndexPath::indexPathForItem(9, 1))->frame().origin.y);
  EXPECT_EQ(view->indexPathForItemAtPoint(CGPointMake(10, view->contentOffset().y + 1))->item(), 8);
}

TEST(UIKitCollectionView, TappingItemsSelectsAndReloadsReportTheirCount) {
  Screen screen;
  auto grid = std::make_shared<Grid>();
  grid->items = {20};
  auto view = makeGrid(screen, grid);
  NSInteger reported = -1;
  view->setReloadDataBlock([&](NSInteger count) { reported = count; });
  auto& d = device();
  ASSERT_TRUE(d.tapText("0:0.1"));
  EXPECT_EQ(grid->log.joined(), "shouldSelect 1 didSelect 0:1");
  grid->log.clear();
  ASSERT_TRUE(d.tapItem(view, NSIndexPath::indexPathForItem(17, 0)));
  EXPECT_EQ(grid->log.joined(), "shouldSelect 17 didDeselect 1 didSelect 0:17");
  EXPECT_EQ(view->indexPathsForSelectedItems().size(), 1u);
  EXPECT_TRUE(view->cellForItemAtIndexPath(NSIndexPath::indexPathForItem(17, 0))->isSelected());
  grid->items = {3};
  view->reloadData();
  EXPECT_EQ(reported, 3);
  EXPECT_TRUE(view->indexPathsForSelectedItems().empty());
  screen.device().settle();
  EXPECT_EQ(view->visibleCells().size(), 3u);
  // A reloaded item gets a new cell from the data source.
  auto old = view->cellForItemAtIndexPath(NSIndexPath::indexPathForItem(2, 0));
  view->reloadItemsAtIndexPaths({NSIndexPath::indexPathForItem(2, 0)});
  screen.device().settle();
  EXPECT_EQ(view->cellForItemAtIndexPath(NSIndexPath::indexPathForItem(2, 0)), old) << "from the pool: the same one";
  EXPECT_THROW(view->dequeueReusableCellWithReuseIdentifier(str("Nothing"), NSIndexPath::indexPathForItem(0, 0)),
               NSException);
}

TEST(UIKitCollectionView, SeveralGridsShareOneDataSourceByTag) {
  Screen screen;
  auto grid = std::make_shared<Grid>();
  grid->items = {3};
  auto pager = screen.add<UIScrollView>({{0, 0}, {320, 480}});
  pager->setContentSize(CGSizeMake(640, 480));
  pager->setPagingEnabled(true);
  std::vector<std::shared_ptr<UICollectionView>> views;
  for (int i = 0; i < 2; ++i) {
    auto view = UICollectionView::initWithFrame(CGRectMake(320 * i, 0, 320, 480), homeLayout(320));
    view->setTag(i + 1);
    view->registerClass<ItemCell>(str("Item"));
    view->setDataSource(grid);
    view->setDelegate(grid);
    pager->addSubview(view);
    views.push_back(view);
  }
  screen.device().settle();
  EXPECT_EQ(views[0]->visibleCells().size(), 3u);
  EXPECT_EQ(views[1]->visibleCells().size(), 4u) << "the second grid is told apart by its tag";
  auto& d = device();
  EXPECT_EQ(d.viewWithText("2:0.0"), nullptr) << "off screen on the second page";
  d.swipePage(pager, 1);
  ASSERT_TRUE(d.tapText("2:0.3"));
  EXPECT_EQ(grid->log.joined(), "shouldSelect 3 didSelect 2:3");
}

// Sizes, insets, spacings and footers that differ by section and item, all from the delegate.
class Mixed : public UICollectionViewDataSource, public UICollectionViewDelegateFlowLayout {
 public:
  NSInteger numberOfSectionsInCollectionView(const std::shared_ptr<UICollectionView>&) override { return 2; }
  NSInteger collectionViewNumberOfItemsInSection(const std::shared_ptr<UICollectionView>&, NSInteger) override {
    return 3;
  }
  std::shared_ptr<UICollectionViewCell> collectionViewCellForItemAtIndexPath(
      const std::shared_ptr<UICollectionView>& view, const std::shared_ptr<NSIndexPath>& ip) override {
    return view->dequeueReusableCellWithReuseIdentifier(str("Item"), ip);
  }
  std::shared_ptr<UICollectionReusableView> collectionViewViewForSupplementaryElementOfKind(
      const std::shared_ptr<UICollectionView>& view, const std::shared_ptr<NSString>& kind,
      const std::shared_ptr<NSIndexPath>& ip) override {
    return view->dequeueReusableSupplementaryViewOfKind(kind, str("Foot"), ip);
  }
  CGSize collectionViewLayoutSizeForItemAtIndexPath(const std::shared_ptr<UICollectionView>&,
                                                    const std::shared_ptr<UICollectionViewLayout>&,
                                                    const std::shared_ptr<NSIndexPath>& ip) override {
    if (ip->section() == 1) return CGSizeMake(150, 40);
    auto i = static_cast<CGFloat>(ip->item());
    return CGSizeMake(100 + 10 * i, 50 + 10 * i);
  }
  UIEdgeInsets collectionViewLayoutInsetForSectionAtIndex(const std::shared_ptr<UICollectionView>&,
                                                          const std::shared_ptr<UICollectionViewLayout>&,
                                                          NSInteger s) override {
    return s == 0 ? UIEdgeInsetsMake(10, 5, 10, 5) : UIEdgeInsetsMake(0, 0, 20, 0);
  }
  CGFloat collectionViewLayoutMinimumLineSpacingForSectionAtIndex(const std::shared_ptr<UICollectionView>&,
                                                                  const std::shared_ptr<UICollectionViewLayout>&,
                                                                  NSInteger s) override {
    return s == 0 ? 8 : 0;
  }
  CGFloat collectionViewLayoutMinimumInteritemSpacingForSectionAtIndex(const std::shared_ptr<UICollectionView>&,
                                                                       const std::shared_ptr<UICollectionViewLayout>&,
                                                                       NSInteger s) override {
    return s == 0 ? 4 : 20;
  }
  CGSize collectionViewLayoutReferenceSizeForFooterInSection(const std::shared_ptr<UICollectionView>& view,
                                                             const std::shared_ptr<UICollectionViewLayout>&,
                                                             NSInteger s) override {
    return s == 0 ? CGSizeMake(view->bounds().size.width, 25) : CGSizeZero;
  }
};

TEST(UIKitCollectionView, TheFlowDelegateSizesAndSpacesEachSection) {
  Screen screen;
  auto mixed = std::make_shared<Mixed>();
  auto view = UICollectionView::initWithFrame(screen.window->bounds(), UICollectionViewFlowLayout::make());
  view->registerClass<ItemCell>(str("Item"));
  view->registerClass<Header>(UICollectionElementKindSectionFooter, str("Foot"));
  view->setDataSource(mixed);
  view->setDelegate(mixed);
  screen.window->addSubview(view);
  screen.device().settle();
  struct Case {
    NSInteger section, item;
    CGRect frame;
  };
  const Case cases[] = {
      // 310 points between the insets: the first two fit with 4 between, spread to the edges;
      // the shorter one centred in the line's height; the third alone on the next line, centred.
      {0, 0, {{5, 15}, {100, 50}}},
      {0, 1, {{205, 10}, {110, 60}}},
      {0, 2, {{100, 78}, {120, 70}}},
      // After 10 of inset and the 25-point footer: two of 150 with exactly 20 between them.
      {1, 0, {{0, 183}, {150, 40}}},
      {1, 1, {{170, 183}, {150, 40}}},
      {1, 2, {{85, 223}, {150, 40}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.section) + "." + std::to_string(c.item));
    auto ip = NSIndexPath::indexPathForItem(c.item, c.section);
    EXPECT_EQ(view->layoutAttributesForItemAtIndexPath(ip)->frame(), c.frame);
    auto cell = view->cellForItemAtIndexPath(ip);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->frame(), c.frame);
  }
  EXPECT_EQ(view->contentSize(), CGSizeMake(320, 283));
  auto footers = view->visibleSupplementaryViewsOfKind(UICollectionElementKindSectionFooter);
  ASSERT_EQ(footers.size(), 1u);
  EXPECT_EQ(footers[0]->frame(), CGRectMake(0, 158, 320, 25));
}

TEST(UIKitCollectionView, HorizontalFlowLayout) {
  Screen screen;
  auto grid = std::make_shared<Grid>();
  grid->items = {5};
  auto layout = UICollectionViewFlowLayout::make();
  layout->setScrollDirection(UICollectionViewScrollDirectionHorizontal);
  layout->setItemSize(CGSizeMake(100, 200));
  layout->setMinimumLineSpacing(10);
  grid->headerWidth = 30;
  auto view = makeGrid(screen, grid, layout);
  auto frameOf = [&](NSInteger item) { return view->layoutAttributesForItemAtIndexPath(NSIndexPath::indexPathForItem(item, 0))->frame(); };
  // Columns of two (480 points high), spread top and bottom; a header column of 30 first.
  EXPECT_EQ(frameOf(0), CGRectMake(30, 0, 100, 200));
  EXPECT_EQ(frameOf(1), CGRectMake(30, 280, 100, 200));
  EXPECT_EQ(frameOf(2), CGRectMake(140, 0, 100, 200));
  EXPECT_EQ(frameOf(4), CGRectMake(250, 140, 100, 200));
  EXPECT_EQ(view->contentSize(), CGSizeMake(350, 480));
  EXPECT_TRUE(view->canScrollHorizontally());
}

}  // namespace
