// Tables driven as a person uses them: scrolling through a long list with a real reuse pool,
// sections with headers and footers, updates, selection by tapping rows.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/foundation/NSException.h"
#include "platform/uikit/UICollectionView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINib.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/Snapshot.h"
#include "tests/platform/graphics/Canvas.h"
#include "tests/platform/uikit/UIKitTestSupport.h"

namespace {

using zvt::ui::Device;
using zvt::uitest::Log;
using zvt::uitest::Screen;

std::shared_ptr<NSString> str(const std::string& s) { return NSString::stringWithUTF8String(s); }

// A row that counts its reuse and shows its text in a label of its own.
class RowCell : public UITableViewCell {
 public:
  static inline int reused = 0;
  std::shared_ptr<UILabel> title;
  void setUpWithStyle(UITableViewCellStyle style, const std::shared_ptr<NSString>& identifier) override {
    UITableViewCell::setUpWithStyle(style, identifier);
    title = UILabel::initWithFrame(CGRectMake(15, 0, 200, 43));
    contentView()->addSubview(title);
  }
  void prepareForReuse() override {
    ++reused;
    title->setText(nullptr);
  }
};

// Sections of rows titled "s.r" (or with the model's texts), with optional titles; logs the
// delegate's calls.
class Rows : public UITableViewDataSource, public UITableViewDelegate {
 public:
  std::vector<NSInteger> counts{1000};
  std::vector<std::string> model;  // the texts of section 0, when set
  std::vector<std::string> headerTitles, footerTitles;
  std::map<NSInteger, CGFloat> heights;  // by row
  Log log;
  NSInteger numberOfSectionsInTableView(const std::shared_ptr<UITableView>&) override {
    return static_cast<NSInteger>(counts.size());
  }
  NSInteger tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>&, NSInteger section) override {
    return model.empty() ? counts[static_cast<size_t>(section)] : static_cast<NSInteger>(model.size());
  }
  std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(const std::shared_ptr<UITableView>& table,
                                                                  const std::shared_ptr<NSIndexPath>& ip) override {
    auto cell = std::static_pointer_cast<RowCell>(table->dequeueReusableCellWithIdentifier(str("Row"), ip));
    cell->title->setText(str(shown(ip)));
    return cell;
  }
  std::string shown(const std::shared_ptr<NSIndexPath>& ip) const {
    return model.empty() ? text(ip) : model[static_cast<size_t>(ip->row())];
  }
  std::shared_ptr<NSString> tableViewTitleForHeaderInSection(const std::shared_ptr<UITableView>&, NSInteger s) override {
    return static_cast<size_t>(s) < headerTitles.size() ? str(headerTitles[static_cast<size_t>(s)]) : nullptr;
  }
  std::shared_ptr<NSString> tableViewTitleForFooterInSection(const std::shared_ptr<UITableView>&, NSInteger s) override {
    return static_cast<size_t>(s) < footerTitles.size() ? str(footerTitles[static_cast<size_t>(s)]) : nullptr;
  }
  CGFloat tableViewHeightForRowAtIndexPath(const std::shared_ptr<UITableView>&,
                                           const std::shared_ptr<NSIndexPath>& ip) override {
    auto it = heights.find(ip->row());
    return it == heights.end() ? UITableViewAutomaticDimension : it->second;
  }
  std::shared_ptr<NSIndexPath> tableViewWillSelectRowAtIndexPath(const std::shared_ptr<UITableView>&,
                                                                 const std::shared_ptr<NSIndexPath>& ip) override {
    log.add("willSelect " + text(ip));
    return ip;
  }
  void tableViewDidSelectRowAtIndexPath(const std::shared_ptr<UITableView>&, const std::shared_ptr<NSIndexPath>& ip) override {
    log.add("didSelect " + text(ip));
  }
  std::shared_ptr<NSIndexPath> tableViewWillDeselectRowAtIndexPath(const std::shared_ptr<UITableView>&,
                                                                   const std::shared_ptr<NSIndexPath>& ip) override {
    log.add("willDeselect " + text(ip));
    return ip;
  }
  void tableViewDidDeselectRowAtIndexPath(const std::shared_ptr<UITableView>&, const std::shared_ptr<NSIndexPath>& ip) override {
    log.add("didDeselect " + text(ip));
  }
  static std::string text(const std::shared_ptr<NSIndexPath>& ip) {
    return std::to_string(ip->section()) + "." + std::to_string(ip->row());
  }
};

struct Table {
  explicit Table(Screen& screen, UITableViewStyle style = UITableViewStylePlain) {
    table = UITableView::initWithFrame(screen.window->bounds(), style);
    table->registerClass<RowCell>(str("Row"));
    rows = std::make_shared<Rows>();
    table->setDataSource(rows);
    table->setDelegate(rows);
    screen.window->addSubview(table);
    screen.device().settle();
  }
  // Every visible row shows its own text.
  void expectNoStaleText() const {
    for (auto& cell : table->visibleCells()) {
      auto ip = table->indexPathForCell(cell);
      ASSERT_NE(ip, nullptr);
      EXPECT_EQ(std::static_pointer_cast<RowCell>(cell)->title->text()->utf8(), rows->shown(ip));
    }
  }
  std::shared_ptr<UITableView> table;
  std::shared_ptr<Rows> rows;
};

Device& device() { return Device::shared(); }

TEST(UIKitTableView, ALongListMakesOnlyTheVisibleCellsPlusOneAndReusesThem) {
  Screen screen;
  Device::useScreen(zvt::ui::kScreen375x667);
  screen.window->setFrame(CGRectMake(0, 0, 375, 667));
  Table t(screen);
  RowCell::reused = 0;
  // 667 points of 44-point rows: 16 rows show, partly the last.
  EXPECT_EQ(t.table->visibleCells().size(), 16u);
  EXPECT_EQ(t.table->contentSize(), CGSizeMake(375, 44000));
  ASSERT_TRUE(device().scrollUntilVisible(t.table, "0.999"));
  EXPECT_LE(t.table->cellsMadeCount(), 17) << "the visible cells plus one";
  EXPECT_GT(RowCell::reused, 900) << "cells that left the screen came back";
  t.expectNoStaleText();
  // Back up by flicks: still no new cells.
  for (int i = 0; i < 3; ++i) {
    device().dragView(t.table, CGPointMake(0, 500), 0.2, Device::Release::Fling);
    device().waitUntilStill(t.table);
    t.expectNoStaleText();
  }
  EXPECT_LE(t.table->cellsMadeCount(), 17);
  // Only the visible rows exist as views in the table.
  size_t cells = 0;
  for (auto& v : t.table->subviews()) cells += std::dynamic_pointer_cast<UITableViewCell>(v) != nullptr;
  EXPECT_EQ(cells, t.table->visibleCells().size());
}

TEST(UIKitTableView, SectionsWithHeadersAndFootersInBothStyles) {
  struct Case {
    UITableViewStyle style;
    CGFloat header, footer;  // heights of titled headers and footers
    std::string headerText;
  };
  for (const auto& c : {Case{UITableViewStylePlain, 22, 22, "First"}, Case{UITableViewStyleGrouped, 38, 18, "FIRST"}}) {
    SCOPED_TRACE(c.style);
    Screen screen;
    Table t(screen, c.style);
    t.rows->counts = {3, 2};
    t.rows->headerTitles = {"First", "Second"};
    t.rows->footerTitles = {"End"};
    t.table->reloadData();
    screen.device().settle();
    EXPECT_EQ(t.table->rectForHeaderInSection(0), CGRectMake(0, 0, 320, c.header));
    EXPECT_EQ(t.table->rectForRowAtIndexPath(NSIndexPath::indexPathForRow(0, 0)), CGRectMake(0, c.header, 320, 44));
    CGFloat secondTop = c.header + 3 * 44 + c.footer;
    EXPECT_EQ(t.table->rectForSection(1).origin.y, secondTop);
    EXPECT_NE(device().viewWithText(c.headerText), nullptr) << "the title shows";
    EXPECT_NE(device().viewWithText("End"), nullptr);
    EXPECT_EQ(t.table->headerViewForSection(1)->frame().origin.y, secondTop);
    // Scrolled into the first section, a plain header stays at the top; a grouped one scrolls away.
    t.table->setContentOffset(CGPointMake(0, 30));
    screen.device().settle();
    EXPECT_EQ(t.table->headerViewForSection(0)->frame().origin.y, c.style == UITableViewStylePlain ? 30 : 0);
  }
}

TEST(UIKitTableView, HeightsAndTheTablesOwnHeaderAndFooter) {
  Screen screen;
  Table t(screen);
  t.rows->counts = {5};
  t.rows->heights = {{1, 100}, {3, 10}};
  auto header = UIView::initWithFrame(CGRectMake(0, 0, 1, 50));
  auto footer = UIView::initWithFrame(CGRectMake(0, 0, 1, 30));
  t.table->setTableHeaderView(header);
  t.table->setTableFooterView(footer);
  t.table->reloadData();
  screen.device().settle();
  EXPECT_EQ(header->frame(), CGRectMake(0, 0, 320, 50));
  EXPECT_EQ(t.table->rectForRowAtIndexPath(NSIndexPath::indexPathForRow(2, 0)), CGRectMake(0, 194, 320, 44));
  EXPECT_EQ(t.table->rectForRowAtIndexPath(NSIndexPath::indexPathForRow(3, 0)).size.height, 10);
  EXPECT_EQ(footer->frame(), CGRectMake(0, 50 + 44 + 100 + 44 + 10 + 44, 320, 30));
  EXPECT_EQ(t.table->contentSize().height, 322);
  EXPECT_EQ(t.table->indexPathForRowAtPoint(CGPointMake(10, 200))->row(), 2);
  EXPECT_EQ(t.table->indexPathForRowAtPoint(CGPointMake(10, 10)), nullptr) << "inside the table header";
}

TEST(UIKitTableView, ASubtitleCellOf44PointsKeepsItsDetailOffTheSeparator) {
  Screen screen;
  auto cell = UITableViewCell::initWithStyle(UITableViewCellStyleSubtitle, str("Subtitle"));
  cell->setFrame(CGRectMake(0, 100, 320, 44));
  cell->setBackgroundColor(UIColor::whiteColor());
  cell->textLabel()->setText(str("我的订单 Orders"));
  cell->detailTextLabel()->setText(str("查看全部订单 gjpqy"));
  screen.window->setBackgroundColor(UIColor::whiteColor());
  screen.window->addSubview(cell);
  cell->layoutIfNeeded();
  screen.device().settle();
  const CGRect title = cell->textLabel()->frame(), detail = cell->detailTextLabel()->frame();
  const CGFloat content = cell->contentView()->bounds().size.height;
  EXPECT_GE(title.origin.y, 3);
  EXPECT_LE(CGRectGetMaxY(detail), content - 3) << "the detail's line ends 3 points above the row's end";
  EXPECT_GT(detail.origin.y, title.origin.y + title.size.height / 2);
  // In pixels: no ink in the two points above the separator, and the detail's ink shows.
  auto picture = zvt::ui::snapshot(cell);
  ASSERT_TRUE(picture);
  const CGFloat scale = picture->scale();
  zvt::test::Canvas canvas(320, 44, scale, true);
  picture->drawInRect(CGRectMake(0, 0, 320, 44));
  auto inkIn = [&](CGFloat y0, CGFloat y1) {
    int ink = 0;
    for (int y = static_cast<int>(y0 * scale); y < static_cast<int>(y1 * scale); ++y)
      for (int x = 0; x < static_cast<int>(320 * scale); ++x) ink += canvas.at(x, y).r < 160;
    return ink;
  };
  zvt::test::writeScreenPicture("table-subtitle-cell-44");
  EXPECT_EQ(inkIn(content - 2, content), 0) << "the detail touches the separator";
  EXPECT_GT(inkIn(detail.origin.y, CGRectGetMaxY(detail)), 20);
  cell->removeFromSuperview();
}

TEST(UIKitTableView, RowsInARectAreTheRowsThatCrossIt) {
  Screen screen;
  Table t(screen);
  // Sections of rows of mixed heights, empty rows and an empty section among them.
  t.rows->counts = {6, 0, 40};
  t.rows->heights = {{0, 0}, {1, 100}, {2, 0}, {3, 10}, {4, 0.5}, {7, 0}, {8, 0}};
  t.rows->headerTitles = {"A", "B", "C"};
  t.table->reloadData();
  screen.device().settle();
  auto crossing = [&](CGRect rect) {
    std::string out;
    for (NSInteger s = 0; s < t.table->numberOfSections(); ++s) {
      for (NSInteger r = 0; r < t.table->numberOfRowsInSection(s); ++r) {
        CGRect row = t.table->rectForRowAtIndexPath(NSIndexPath::indexPathForRow(r, s));
        if (row.origin.y < CGRectGetMaxY(rect) && CGRectGetMaxY(row) > rect.origin.y)
          out += std::to_string(s) + "." + std::to_string(r) + " ";
      }
    }
    return out;
  };
  auto found = [&](CGRect rect) {
    std::string out;
    for (const auto& ip : t.table->indexPathsForRowsInRect(rect)) out += Rows::text(ip) + " ";
    return out;
  };
  const CGFloat height = t.table->contentSize().height;
  for (CGFloat y = -30; y < height + 30; y += 3.5) {
    for (CGFloat h : {0.0, 0.5, 10.0, 44.0, 123.0, 600.0}) {
      const CGRect rect = CGRectMake(0, y, 320, h);
      ASSERT_EQ(found(rect), crossing(rect)) << y << " + " << h;
    }
  }
  EXPECT_EQ(found(CGRectMake(0, 22 + 44, 320, 1)), "0.1 ") << "the row below a zero-height one";
}

TEST(UIKitTableView, InsertingAndDeletingRowsUpdatesTheContentAndTheVisibleCells) {
  Screen screen;
  Table t(screen);
  t.rows->model = {"a", "b", "c", "d", "e"};
  t.table->reloadData();
  screen.device().settle();
  auto fourth = t.table->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(3, 0));
  t.rows->model.insert(t.rows->model.begin(), {"new 1", "new 2"});
  t.table->beginUpdates();
  t.table->insertRowsAtIndexPaths({NSIndexPath::indexPathForRow(0, 0), NSIndexPath::indexPathForRow(1, 0)},
                                  UITableViewRowAnimationFade);
  t.table->endUpdates();
  EXPECT_EQ(t.table->contentSize().height, 7 * 44) << "at once";
  EXPECT_EQ(t.table->indexPathForCell(fourth)->row(), 5) << "the cell moved with its row";
  screen.device().wait(0.5);
  EXPECT_EQ(t.table->visibleCells().size(), 7u);
  EXPECT_EQ(fourth->frame().origin.y, 5 * 44);
  EXPECT_NE(device().viewWithText("new 2"), nullptr);
  t.expectNoStaleText();
  // Deleted: "new 1", "d", "e".
  t.rows->model = {"new 2", "a", "b", "c"};
  t.table->deleteRowsAtIndexPaths({NSIndexPath::indexPathForRow(0, 0), NSIndexPath::indexPathForRow(5, 0),
                                   NSIndexPath::indexPathForRow(6, 0)},
                                  UITableViewRowAnimationNone);
  EXPECT_EQ(t.table->contentSize().height, 4 * 44);
  EXPECT_EQ(t.table->visibleCells().size(), 4u);
  EXPECT_EQ(fourth->superview(), nullptr) << "the cell of a deleted row left the table";
  screen.device().settle();
  t.expectNoStaleText();
  EXPECT_EQ(device().viewWithText("d"), nullptr);
  // Reloaded rows get new cells from the data source.
  t.rows->model[1] = "A";
  t.table->reloadRowsAtIndexPaths({NSIndexPath::indexPathForRow(1, 0)}, UITableViewRowAnimationNone);
  screen.device().settle();
  t.expectNoStaleText();
  // Updates that do not agree with the data raise as UIKit does, and change nothing.
  struct Refused {
    const char* name;
    size_t rows;  // in the data source meanwhile
    std::function<void(UITableView&)> update;
    std::string reason;
  };
  auto ip = [](NSInteger row, NSInteger section) { return NSIndexPath::indexPathForRow(row, section); };
  const Refused refused[] = {
      {"a count that does not add up", 6,
       [&](UITableView& table) { table.insertRowsAtIndexPaths({ip(0, 0)}, UITableViewRowAnimationNone); },
       "Invalid update: invalid number of rows in section 0"},
      {"a row deleted beyond the end", 3,
       [&](UITableView& table) { table.deleteRowsAtIndexPaths({ip(7, 0)}, UITableViewRowAnimationNone); },
       "attempt to delete row 7 from section 0 which only contains 4 rows before the update"},
      {"a row inserted beyond the end", 5,
       [&](UITableView& table) { table.insertRowsAtIndexPaths({ip(9, 0)}, UITableViewRowAnimationNone); },
       "attempt to insert row 9 into section 0, but there are only 5 rows in section 0 after the update"},
      {"a row reloaded in a section that is not there", 4,
       [&](UITableView& table) { table.reloadRowsAtIndexPaths({ip(0, 1)}, UITableViewRowAnimationNone); },
       "attempt to reload row 0 from section 1 which only contains 0 rows before the update"},
      {"a section deleted that is not there", 4,
       [&](UITableView& table) { table.deleteSections(NSIndexSet::indexSetWithIndex(3), UITableViewRowAnimationNone); },
       "attempt to delete section 3, but there are only 1 sections before the update"},
  };
  const auto shown = t.rows->model;
  for (const auto& c : refused) {
    SCOPED_TRACE(c.name);
    t.rows->model = shown;
    t.rows->model.resize(c.rows, "x");
    try {
      c.update(*t.table);
      ADD_FAILURE() << "expected an exception";
    } catch (const NSException& e) {
      EXPECT_EQ(e.name()->utf8(), "NSInternalInconsistencyException");
      EXPECT_NE(e.reason()->utf8().find(c.reason), std::string::npos) << e.reason()->utf8();
    }
    EXPECT_EQ(t.table->numberOfRowsInSection(0), 4);
    EXPECT_EQ(t.table->visibleCells().size(), 4u);
  }
}

TEST(UIKitTableView, RowAnimationsFadeRowsOutAndIn) {
  // A row that goes stays in the table while it fades (0.3 s) unless told not to animate; a row
  // that comes fades in.
  struct Case {
    UITableViewRowAnimation animation;
    bool fades;
  };
  for (const auto& c : {Case{UITableViewRowAnimationFade, true}, Case{UITableViewRowAnimationAutomatic, true},
                        Case{UITableViewRowAnimationNone, false}}) {
    SCOPED_TRACE(c.animation);
    Screen screen;
    Table t(screen);
    t.rows->model = {"a", "b", "c"};
    t.table->reloadData();
    screen.device().settle();
    auto b = t.table->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(1, 0));
    t.rows->model = {"a", "c"};
    t.table->deleteRowsAtIndexPaths({NSIndexPath::indexPathForRow(1, 0)}, c.animation);
    screen.device().settle();
    EXPECT_EQ(b->superview() == t.table, c.fades);
    EXPECT_EQ(b->layer()->animationForKey(str("opacity")) != nullptr, c.fades);
    screen.device().wait(0.35);
    EXPECT_EQ(b->superview(), nullptr) << "back in the pool";
    EXPECT_EQ(b->alpha(), 1) << "ready to be shown again";
    t.rows->model = {"a", "new", "c"};
    t.table->insertRowsAtIndexPaths({NSIndexPath::indexPathForRow(1, 0)}, c.animation);
    screen.device().settle();
    auto fresh = t.table->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(1, 0));
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh->layer()->animationForKey(str("opacity")) != nullptr, c.fades);
    screen.device().wait(0.35);
    t.expectNoStaleText();
  }
}

TEST(UIKitTableView, TappingRowsSelectsThemInUIKitsOrder) {
  Screen screen;
  Table t(screen);
  t.rows->counts = {20};
  t.table->reloadData();
  screen.device().settle();
  auto& d = device();
  ASSERT_TRUE(d.tapText("0.2"));
  EXPECT_EQ(t.rows->log.joined(), "willSelect 0.2 didSelect 0.2");
  EXPECT_EQ(t.table->indexPathForSelectedRow()->row(), 2);
  EXPECT_TRUE(t.table->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(2, 0))->isSelected());
  t.rows->log.clear();
  ASSERT_TRUE(d.tapRow(t.table, NSIndexPath::indexPathForRow(15, 0))) << "scrolled into view first";
  EXPECT_EQ(t.rows->log.joined(), "willSelect 0.15 willDeselect 0.2 didDeselect 0.2 didSelect 0.15");
  // A drag that starts on a row scrolls and selects nothing.
  t.rows->log.clear();
  d.dragView(t.table->visibleCells().front(), CGPointMake(0, -100), 0.3);
  EXPECT_EQ(t.rows->log.joined(), "");
  t.table->deselectRowAtIndexPath(NSIndexPath::indexPathForRow(15, 0), false);
  EXPECT_EQ(t.table->indexPathForSelectedRow(), nullptr);
  EXPECT_EQ(t.rows->log.joined(), "") << "deselecting in code tells no delegate";
  t.table->setAllowsSelection(false);
  ASSERT_TRUE(d.tapText("0.9"));
  EXPECT_EQ(t.rows->log.joined(), "");
}

TEST(UIKitTableView, ScrollToRowAndTheReloadHook) {
  Screen screen;
  Table t(screen);
  NSInteger reported = -1;
  t.table->setReloadDataBlock([&](NSInteger count) { reported = count; });
  t.rows->counts = {30, 12};
  t.table->reloadData();
  EXPECT_EQ(reported, 42);
  EXPECT_EQ(t.table->totalDataCount(), 42);
  struct Case {
    UITableViewScrollPosition position;
    CGFloat offset;
  };
  auto row = NSIndexPath::indexPathForRow(20, 0);  // 880 to 924
  for (const auto& c : {Case{UITableViewScrollPositionTop, 880}, Case{UITableViewScrollPositionMiddle, 662},
                        Case{UITableViewScrollPositionBottom, 444}, Case{UITableViewScrollPositionNone, 444}}) {
    t.table->scrollToRowAtIndexPath(row, c.position, false);
    EXPECT_EQ(t.table->contentOffset().y, c.offset) << c.position;
  }
  t.table->scrollToRowAtIndexPath(NSIndexPath::indexPathForRow(11, 1), UITableViewScrollPositionTop, true);
  screen.device().wait(0.5);
  EXPECT_EQ(t.table->contentOffset().y, t.table->maximumContentOffset().y) << "no further than the end";
  EXPECT_NE(t.table->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(11, 1)), nullptr);
  EXPECT_THROW(t.table->dequeueReusableCellWithIdentifier(str("Unknown"), row), NSException);
  EXPECT_EQ(t.table->dequeueReusableCellWithIdentifier(str("Unknown")), nullptr);
}

TEST(UIKitTableView, CellStylesAccessoriesAndSeparators) {
  struct Case {
    UITableViewCellStyle style;
    UITableViewCellAccessoryType accessory;
    CGFloat contentWidth;
  };
  const Case cases[] = {
      {UITableViewCellStyleDefault, UITableViewCellAccessoryNone, 320},
      {UITableViewCellStyleValue1, UITableViewCellAccessoryDisclosureIndicator, 287},
      {UITableViewCellStyleValue2, UITableViewCellAccessoryCheckmark, 281},
      {UITableViewCellStyleSubtitle, UITableViewCellAccessoryDetailButton, 273},
  };
  Screen screen;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.style);
    auto cell = UITableViewCell::initWithStyle(c.style, str("Styled"));
    cell->setAccessoryType(c.accessory);
    cell->textLabel()->setText(str("Title"));
    if (auto detail = cell->detailTextLabel()) detail->setText(str("Detail"));
    screen.window->addSubview(cell);
    cell->layoutIfNeeded();
    EXPECT_EQ(cell->contentView()->frame().size.width, c.contentWidth);
    CGRect title = cell->textLabel()->frame();
    EXPECT_GE(title.origin.x, 15);
    if (auto detail = cell->detailTextLabel()) {
      CGRect d = detail->frame();
      if (c.style == UITableViewCellStyleValue1) {
        EXPECT_EQ(CGRectGetMaxX(d), c.contentWidth - 0) << "right-aligned at the content's edge";
        EXPECT_GT(d.origin.x, CGRectGetMaxX(title));
      }
      if (c.style == UITableViewCellStyleSubtitle) {
        // Right below the title's line, or up into its blank part when the pair fills the row.
        EXPECT_LE(d.origin.y, CGRectGetMaxY(title));
        EXPECT_GE(d.origin.y, CGRectGetMaxY(title) - std::min(title.size.height, d.size.height) / 3);
      }
      if (c.style == UITableViewCellStyleValue2) {
        EXPECT_GT(d.origin.x, CGRectGetMaxX(title));
      }
    } else {
      EXPECT_EQ(c.style, UITableViewCellStyleDefault);
    }
    cell->removeFromSuperview();
  }
  // Separators: one pixel, inset as the table says, none at all when told so.
  Table t(screen);
  t.rows->counts = {3};
  t.table->setSeparatorInset(UIEdgeInsetsMake(0, 20, 0, 0));
  t.table->reloadData();
  screen.device().settle();
  auto cell = t.table->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(0, 0));
  EXPECT_EQ(cell->contentView()->frame().size.height, 43.5);
  std::shared_ptr<UIView> line;
  for (auto& v : cell->subviews())
    if (v->frame().size.height == 0.5) line = v;
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(line->frame(), CGRectMake(20, 43.5, 300, 0.5));
  auto red = UIColor::redColor();
  t.table->setSeparatorColor(red);
  screen.device().settle();
  EXPECT_TRUE(zvt::objectsEqual(line->backgroundColor(), red));
  t.table->setSeparatorStyle(UITableViewCellSeparatorStyleNone);
  screen.device().settle();
  EXPECT_TRUE(line->isHidden());
  // A custom accessory view stands 15 points from the edge; the content ends 10 points before it.
  auto accessory = UIView::initWithFrame(CGRectMake(0, 0, 30, 20));
  cell->setAccessoryView(accessory);
  cell->layoutIfNeeded();
  EXPECT_EQ(accessory->frame(), CGRectMake(275, 12, 30, 20));
  EXPECT_EQ(cell->contentView()->frame().size.width, 265);
  // The selection shows behind the content unless the style says none.
  for (auto style : {UITableViewCellSelectionStyleDefault, UITableViewCellSelectionStyleGray,
                     UITableViewCellSelectionStyleNone}) {
    SCOPED_TRACE(style);
    cell->setSelectionStyle(style);
    t.table->selectRowAtIndexPath(NSIndexPath::indexPathForRow(0, 0), false, UITableViewScrollPositionNone);
    EXPECT_EQ(cell->selectedBackgroundView()->superview() == cell, style != UITableViewCellSelectionStyleNone);
    t.table->deselectRowAtIndexPath(NSIndexPath::indexPathForRow(0, 0), false);
    EXPECT_EQ(cell->selectedBackgroundView()->superview(), nullptr);
  }
}

// Sections with header views of a registered class from the delegate; counts the cells asked for.
class HeadedRows : public Rows {
 public:
  class Head : public UITableViewHeaderFooterView {
   public:
    static inline int made = 0;
    void setUpWithReuseIdentifier(const std::shared_ptr<NSString>& identifier) override {
      UITableViewHeaderFooterView::setUpWithReuseIdentifier(identifier);
      ++made;
    }
  };
  int asked = 0;
  std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(const std::shared_ptr<UITableView>& table,
                                                                  const std::shared_ptr<NSIndexPath>& ip) override {
    ++asked;
    return Rows::tableViewCellForRowAtIndexPath(table, ip);
  }
  CGFloat tableViewHeightForHeaderInSection(const std::shared_ptr<UITableView>&, NSInteger) override { return 30; }
  std::shared_ptr<UIView> tableViewViewForHeaderInSection(const std::shared_ptr<UITableView>& table,
                                                          NSInteger section) override {
    auto head = table->dequeueReusableHeaderFooterViewWithIdentifier(str("Head"));
    head->textLabel()->setText(str("head " + std::to_string(section)));
    return head;
  }
};

TEST(UIKitTableView, SectionUpdatesAndReusedHeaderViews) {
  Screen screen;
  auto table = UITableView::initWithFrame(screen.window->bounds());
  table->registerClass<RowCell>(str("Row"));
  table->registerClassForHeaderFooterView<HeadedRows::Head>(str("Head"));
  auto rows = std::make_shared<HeadedRows>();
  rows->counts = {2, 2, 2};
  table->setDataSource(rows);
  table->setDelegate(rows);
  screen.window->addSubview(table);
  screen.device().settle();
  EXPECT_EQ(table->rectForHeaderInSection(1), CGRectMake(0, 30 + 2 * 44, 320, 30));
  EXPECT_EQ(table->headerViewForSection(1)->frame(), table->rectForHeaderInSection(1));
  EXPECT_NE(device().viewWithText("head 2"), nullptr);
  struct Step {
    const char* name;
    std::function<void()> update;
    std::vector<NSInteger> counts;
    // Where the cell first shown at (1, 0) is afterwards; -1 when it went back to the pool (and
    // may have come out again for any row).
    NSInteger section, row;
    int asked;  // cells asked of the data source for visible rows that were not shown before
  };
  auto set = [](NSUInteger i) { return NSIndexSet::indexSetWithIndex(i); };
  const std::vector<Step> steps = {
      {"a section inserted before it", [&] { table->insertSections(set(1), UITableViewRowAnimationFade); },
       {2, 3, 2, 2}, 2, 0, 3},
      {"the first section deleted", [&] { table->deleteSections(set(0), UITableViewRowAnimationNone); }, {3, 2, 2},
       1, 0, 0},
      {"its section reloaded", [&] { table->reloadSections(set(1), UITableViewRowAnimationNone); }, {3, 2, 2}, -1,
       -1, 2},
  };
  auto tracked = table->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(0, 1));
  for (const auto& step : steps) {
    SCOPED_TRACE(step.name);
    rows->counts = step.counts;
    rows->asked = 0;
    step.update();
    NSInteger total = 0;
    for (auto n : step.counts) total += n;
    EXPECT_EQ(table->contentSize().height, 30 * static_cast<CGFloat>(step.counts.size()) + 44 * total) << "at once";
    screen.device().wait(0.5);
    if (step.section >= 0) {
      auto at = table->indexPathForCell(tracked);
      ASSERT_NE(at, nullptr);
      EXPECT_EQ(at->section(), step.section);
      EXPECT_EQ(at->row(), step.row);
    }
    EXPECT_EQ(rows->asked, step.asked);
    for (NSInteger s = 0; s < static_cast<NSInteger>(step.counts.size()); ++s)
      EXPECT_EQ(table->headerViewForSection(s)->frame(), table->rectForHeaderInSection(s)) << s;
  }
  rows->counts = {3, 2};
  try {
    table->insertSections(set(0), UITableViewRowAnimationNone);
    ADD_FAILURE() << "expected an exception";
  } catch (const NSException& e) {
    EXPECT_NE(e.reason()->utf8().find("Invalid update: invalid number of sections"), std::string::npos);
  }
  // Forty sections: header views come back from the pool as they scroll by.
  rows->counts = std::vector<NSInteger>(40, 3);
  table->reloadData();
  screen.device().settle();
  HeadedRows::Head::made = 0;
  ASSERT_TRUE(device().scrollUntilVisible(table, "39.2"));
  EXPECT_LE(HeadedRows::Head::made, 3) << "the pool had most of them";
  for (auto& ip : table->indexPathsForVisibleRows()) {
    auto head = std::dynamic_pointer_cast<UITableViewHeaderFooterView>(table->headerViewForSection(ip->section()));
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(head->textLabel()->text()->utf8(), "head " + std::to_string(ip->section()));
  }
}

}  // namespace

namespace {

// A row from a nib, as the order screens register theirs: made with the nib's set-up, woken after.
class NibCell : public UITableViewCell {
 public:
  bool awoke = false;
  std::shared_ptr<UILabel> title;
  void awakeFromNib() override {
    UITableViewCell::awakeFromNib();
    awoke = true;
  }
};

class NibRows : public UITableViewDataSource {
 public:
  NSInteger tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>&, NSInteger) override { return 30; }
  std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(const std::shared_ptr<UITableView>& table,
                                                                  const std::shared_ptr<NSIndexPath>& ip) override {
    auto cell = std::static_pointer_cast<NibCell>(table->dequeueReusableCellWithIdentifier(str("OrderRow"), ip));
    cell->title->setText(str("order " + std::to_string(ip->row())));
    return cell;
  }
};

TEST(UIKitTableView, CellsFromANib) {
  zvt::ui::registerNibFactory("OrderRow", [](zvt::ui::NibBuilder& nib) -> std::vector<id> {
    auto cell = nib.view<NibCell>(CGRectMake(0, 0, 320, 44));
    cell->title = nib.view<UILabel>(CGRectMake(15, 0, 200, 44));
    cell->contentView()->addSubview(cell->title);
    return {cell};
  });
  Screen screen;
  auto table = UITableView::initWithFrame(screen.window->bounds());
  table->registerNib(UINib::nibWithNibName(str("OrderRow"), nullptr), str("OrderRow"));
  auto rows = std::make_shared<NibRows>();
  table->setDataSource(rows);
  screen.window->addSubview(table);
  screen.device().settle();
  ASSERT_FALSE(table->visibleCells().empty());
  auto cell = std::static_pointer_cast<NibCell>(table->visibleCells().front());
  EXPECT_TRUE(cell->awoke);
  EXPECT_EQ(cell->reuseIdentifier()->utf8(), "OrderRow");
  EXPECT_EQ(cell->frame().size.width, 320);
  EXPECT_TRUE(device().scrollUntilVisible(table, "order 29"));
  EXPECT_LE(table->cellsMadeCount(), 12);
  // A nib whose object is no cell is refused when a cell is asked for.
  zvt::ui::registerNibFactory("NotACell", [](zvt::ui::NibBuilder& nib) -> std::vector<id> {
    return {nib.view<UIView>(CGRectZero)};
  });
  table->registerNib(UINib::nibWithNibName(str("NotACell"), nullptr), str("Bad"));
  EXPECT_THROW(table->dequeueReusableCellWithIdentifier(str("Bad")), NSException);
  // Collection views take nibs the same way.
  auto grid = UICollectionView::initWithFrame(screen.window->bounds(), UICollectionViewFlowLayout::make());
  grid->registerNib(UINib::nibWithNibName(str("NotACell"), nullptr), str("Bad"));
  EXPECT_THROW(grid->dequeueReusableCellWithReuseIdentifier(str("Bad"), NSIndexPath::indexPathForItem(0, 0)), NSException);
  zvt::ui::registerNibFactory("OrderRow", nullptr);
  zvt::ui::registerNibFactory("NotACell", nullptr);
}

}  // namespace
