#pragma once
// Tables (UITableView): a vertical scroll view of sections of rows, with section headers and
// footers (titles or views), a table header and footer view, and a real reuse pool.
//
// Only the rows that intersect the visible bounds exist as cells: when layout finds a row
// coming into view it asks the data source for its cell (which takes one from the pool with
// dequeueReusableCellWithIdentifier, prepareForReuse called, or makes one), and a cell whose
// row left the view goes back to the pool of its reuse identifier (removed from the table).
// Heights come from the delegate (or rowHeight) for every row when data is (re)loaded, so the
// content size is known at once. Plain tables keep the header of the section at the top of the
// visible area while the section shows (and its footer at the bottom); grouped tables do not.
//
// Selection follows the finger: a touch on a row highlights it, lifting inside selects it
// (willSelect, then willDeselect/didDeselect of the row selected before, then didSelect),
// a drag that scrolls cancels it. Updates (insert, delete, reload of rows and sections, inside
// beginUpdates/endUpdates or alone) check the data source's new counts as UIKit does, move the
// visible cells to their new rows and animate the change over 0.3 s.
//
// Every reloadData ends with the scroll view's reload-data block (the toolkit's hook).

#include <functional>
#include <map>
#include <optional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/foundation/NSIndexPath.h"
#include "platform/foundation/NSIndexSet.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UITableViewCell.h"

class UITableView;
class UINib;

enum UITableViewStyle : NSInteger {
  UITableViewStylePlain,
  UITableViewStyleGrouped,
};

enum UITableViewScrollPosition : NSInteger {
  UITableViewScrollPositionNone,
  UITableViewScrollPositionTop,
  UITableViewScrollPositionMiddle,
  UITableViewScrollPositionBottom,
};

enum UITableViewRowAnimation : NSInteger {
  UITableViewRowAnimationFade,
  UITableViewRowAnimationRight,
  UITableViewRowAnimationLeft,
  UITableViewRowAnimationTop,
  UITableViewRowAnimationBottom,
  UITableViewRowAnimationNone,
  UITableViewRowAnimationMiddle,
  UITableViewRowAnimationAutomatic = 100,
};

// A height the table works out itself (rowHeight, the header's or footer's default).
inline constexpr CGFloat UITableViewAutomaticDimension = -1;

// UITableViewDataSource. The selector tableView:numberOfRowsInSection: and its kin share their
// first piece, so their pieces are joined.
class UITableViewDataSource {
 public:
  virtual ~UITableViewDataSource() = default;
  virtual NSInteger tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>& tableView,
                                                   NSInteger section) = 0;
  virtual std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                                                          const std::shared_ptr<NSIndexPath>& indexPath) = 0;
  virtual NSInteger numberOfSectionsInTableView(const std::shared_ptr<UITableView>& /*tableView*/) { return 1; }
  virtual std::shared_ptr<NSString> tableViewTitleForHeaderInSection(const std::shared_ptr<UITableView>& /*tableView*/,
                                                                     NSInteger /*section*/) {
    return nullptr;
  }
  virtual std::shared_ptr<NSString> tableViewTitleForFooterInSection(const std::shared_ptr<UITableView>& /*tableView*/,
                                                                     NSInteger /*section*/) {
    return nullptr;
  }
};

// UITableViewDelegate. The height methods answer UITableViewAutomaticDimension for "not
// implemented": the table's own heights apply.
class UITableViewDelegate : public virtual UIScrollViewDelegate {
 public:
  virtual CGFloat tableViewHeightForRowAtIndexPath(const std::shared_ptr<UITableView>& /*tableView*/,
                                                   const std::shared_ptr<NSIndexPath>& /*indexPath*/) {
    return UITableViewAutomaticDimension;
  }
  virtual CGFloat tableViewHeightForHeaderInSection(const std::shared_ptr<UITableView>& /*tableView*/,
                                                    NSInteger /*section*/) {
    return UITableViewAutomaticDimension;
  }
  virtual CGFloat tableViewHeightForFooterInSection(const std::shared_ptr<UITableView>& /*tableView*/,
                                                    NSInteger /*section*/) {
    return UITableViewAutomaticDimension;
  }
  virtual std::shared_ptr<UIView> tableViewViewForHeaderInSection(const std::shared_ptr<UITableView>& /*tableView*/,
                                                                  NSInteger /*section*/) {
    return nullptr;
  }
  virtual std::shared_ptr<UIView> tableViewViewForFooterInSection(const std::shared_ptr<UITableView>& /*tableView*/,
                                                                  NSInteger /*section*/) {
    return nullptr;
  }
  virtual void tableViewWillDisplayCell(const std::shared_ptr<UITableView>& /*tableView*/,
                                        const std::shared_ptr<UITableViewCell>& /*cell*/,
                                        const std::shared_ptr<NSIndexPath>& /*indexPath*/) {}
  virtual void tableViewDidEndDisplayingCell(const std::shared_ptr<UITableView>& /*tableView*/,
                                             const std::shared_ptr<UITableViewCell>& /*cell*/,
                                             const std::shared_ptr<NSIndexPath>& /*indexPath*/) {}
  virtual bool tableViewShouldHighlightRowAtIndexPath(const std::shared_ptr<UITableView>& /*tableView*/,
                                                      const std::shared_ptr<NSIndexPath>& /*indexPath*/) {
    return true;
  }
  // nil keeps the row from being selected; another path selects that row instead.
  virtual std::shared_ptr<NSIndexPath> tableViewWillSelectRowAtIndexPath(const std::shared_ptr<UITableView>& /*tableView*/,
                                                                         const std::shared_ptr<NSIndexPath>& indexPath) {
    return indexPath;
  }
  virtual void tableViewDidSelectRowAtIndexPath(const std::shared_ptr<UITableView>& /*tableView*/,
                                                const std::shared_ptr<NSIndexPath>& /*indexPath*/) {}
  virtual std::shared_ptr<NSIndexPath> tableViewWillDeselectRowAtIndexPath(
      const std::shared_ptr<UITableView>& /*tableView*/, const std::shared_ptr<NSIndexPath>& indexPath) {
    return indexPath;
  }
  virtual void tableViewDidDeselectRowAtIndexPath(const std::shared_ptr<UITableView>& /*tableView*/,
                                                  const std::shared_ptr<NSIndexPath>& /*indexPath*/) {}
  virtual void tableViewAccessoryButtonTappedForRowWithIndexPath(const std::shared_ptr<UITableView>& /*tableView*/,
                                                                 const std::shared_ptr<NSIndexPath>& /*indexPath*/) {}
};

class UITableView : public UIScrollView {
 public:
  UITableView();
  ~UITableView() override;
  // initWithFrame:style: (initWithFrame: is the plain style).
  static std::shared_ptr<UITableView> initWithFrame(CGRect frame, UITableViewStyle style = UITableViewStylePlain);
  template <class T>
  static std::shared_ptr<T> makeTable(CGRect frame, UITableViewStyle style) {
    auto table = std::make_shared<T>();
    table->style_ = style;
    table->setUpWithFrame(frame);
    return table;
  }
  void setUpWithFrame(CGRect frame) override;
  void setUpWithCoder(CGRect frame) override;

  UITableViewStyle style() const { return style_; }
  std::shared_ptr<UITableViewDataSource> dataSource() const { return dataSource_.lock(); }
  void setDataSource(const std::shared_ptr<UITableViewDataSource>& dataSource);
  std::shared_ptr<UITableViewDelegate> tableDelegate() const { return tableDelegate_.lock(); }
  // The table's delegate is also its scroll view delegate.
  void setDelegate(const std::shared_ptr<UITableViewDelegate>& delegate);

  // --- metrics
  CGFloat rowHeight() const { return rowHeight_; }
  void setRowHeight(CGFloat height);
  // Unless set (or answered by the delegate): plain 22 with a title, else none; grouped 38 with a
  // title, else 18 (footers: 18).
  CGFloat sectionHeaderHeight() const { return sectionHeaderHeight_; }
  void setSectionHeaderHeight(CGFloat height);
  CGFloat sectionFooterHeight() const { return sectionFooterHeight_; }
  void setSectionFooterHeight(CGFloat height);
  UITableViewCellSeparatorStyle separatorStyle() const { return separatorStyle_; }
  void setSeparatorStyle(UITableViewCellSeparatorStyle style);
  std::shared_ptr<UIColor> separatorColor() const { return separatorColor_; }
  void setSeparatorColor(const std::shared_ptr<UIColor>& color);
  UIEdgeInsets separatorInset() const { return separatorInset_; }
  void setSeparatorInset(UIEdgeInsets inset);
  // Shown above the first section and below the last, as tall as their frames.
  std::shared_ptr<UIView> tableHeaderView() const { return tableHeaderView_; }
  void setTableHeaderView(const std::shared_ptr<UIView>& view);
  std::shared_ptr<UIView> tableFooterView() const { return tableFooterView_; }
  void setTableFooterView(const std::shared_ptr<UIView>& view);
  std::shared_ptr<UIView> backgroundView() const { return backgroundView_; }
  void setBackgroundView(const std::shared_ptr<UIView>& view);

  // --- reuse
  using CellFactory = std::function<std::shared_ptr<UITableViewCell>(const std::shared_ptr<NSString>& identifier)>;
  template <class C>
  void registerClass(const std::shared_ptr<NSString>& identifier) {
    registerCellFactory(
        [](const std::shared_ptr<NSString>& id) {
          return UITableViewCell::initWithStyle<C>(UITableViewCellStyleDefault, id);
        },
        identifier);
  }
  void registerCellFactory(CellFactory factory, const std::shared_ptr<NSString>& identifier);
  // Cells of the nib: its one top-level object, a UITableViewCell (raises when it is not).
  void registerNib(const std::shared_ptr<UINib>& nib, const std::shared_ptr<NSString>& identifier);
  // registerNib:forHeaderFooterViewReuseIdentifier:.
  void registerNibForHeaderFooterView(const std::shared_ptr<UINib>& nib, const std::shared_ptr<NSString>& identifier);
  // A cell from the pool (prepareForReuse called), else a new one of the registered class, else nil.
  std::shared_ptr<UITableViewCell> dequeueReusableCellWithIdentifier(const std::shared_ptr<NSString>& identifier);
  // The same, sized for the row; raises NSInternalInconsistencyException when nothing is
  // registered for the identifier, as UIKit does.
  std::shared_ptr<UITableViewCell> dequeueReusableCellWithIdentifier(const std::shared_ptr<NSString>& identifier,
                                                                     const std::shared_ptr<NSIndexPath>& indexPath);
  using HeaderFooterFactory =
      std::function<std::shared_ptr<UITableViewHeaderFooterView>(const std::shared_ptr<NSString>& identifier)>;
  template <class C>
  void registerClassForHeaderFooterView(const std::shared_ptr<NSString>& identifier) {
    registerHeaderFooterFactory(
        [](const std::shared_ptr<NSString>& id) { return UITableViewHeaderFooterView::initWithReuseIdentifier<C>(id); },
        identifier);
  }
  void registerHeaderFooterFactory(HeaderFooterFactory factory, const std::shared_ptr<NSString>& identifier);
  std::shared_ptr<UITableViewHeaderFooterView> dequeueReusableHeaderFooterViewWithIdentifier(
      const std::shared_ptr<NSString>& identifier);

  // --- data
  void reloadData();
  NSInteger numberOfSections() const;
  NSInteger numberOfRowsInSection(NSInteger section) const;
  NSInteger totalDataCount() const override;
  void beginUpdates();
  void endUpdates();
  void insertRowsAtIndexPaths(const std::vector<std::shared_ptr<NSIndexPath>>& indexPaths,
                              UITableViewRowAnimation animation);
  void deleteRowsAtIndexPaths(const std::vector<std::shared_ptr<NSIndexPath>>& indexPaths,
                              UITableViewRowAnimation animation);
  void reloadRowsAtIndexPaths(const std::vector<std::shared_ptr<NSIndexPath>>& indexPaths,
                              UITableViewRowAnimation animation);
  void insertSections(const std::shared_ptr<NSIndexSet>& sections, UITableViewRowAnimation animation);
  void deleteSections(const std::shared_ptr<NSIndexSet>& sections, UITableViewRowAnimation animation);
  void reloadSections(const std::shared_ptr<NSIndexSet>& sections, UITableViewRowAnimation animation);

  // --- geometry (content coordinates)
  CGRect rectForSection(NSInteger section) const;
  CGRect rectForHeaderInSection(NSInteger section) const;
  CGRect rectForFooterInSection(NSInteger section) const;
  CGRect rectForRowAtIndexPath(const std::shared_ptr<NSIndexPath>& indexPath) const;
  std::shared_ptr<NSIndexPath> indexPathForRowAtPoint(CGPoint point) const;
  std::vector<std::shared_ptr<NSIndexPath>> indexPathsForRowsInRect(CGRect rect) const;
  void scrollToRowAtIndexPath(const std::shared_ptr<NSIndexPath>& indexPath, UITableViewScrollPosition position,
                              bool animated);

  // --- cells on screen
  std::shared_ptr<UITableViewCell> cellForRowAtIndexPath(const std::shared_ptr<NSIndexPath>& indexPath) const;
  std::shared_ptr<NSIndexPath> indexPathForCell(const std::shared_ptr<UITableViewCell>& cell) const;
  // In row order.
  std::vector<std::shared_ptr<UITableViewCell>> visibleCells() const;
  std::vector<std::shared_ptr<NSIndexPath>> indexPathsForVisibleRows() const;
  std::shared_ptr<UIView> headerViewForSection(NSInteger section) const;
  std::shared_ptr<UIView> footerViewForSection(NSInteger section) const;

  // --- selection
  bool allowsSelection() const { return allowsSelection_; }
  void setAllowsSelection(bool allows);
  bool allowsMultipleSelection() const { return allowsMultipleSelection_; }
  void setAllowsMultipleSelection(bool allows);
  std::shared_ptr<NSIndexPath> indexPathForSelectedRow() const;
  std::vector<std::shared_ptr<NSIndexPath>> indexPathsForSelectedRows() const;
  // Without delegate calls, as UIKit.
  void selectRowAtIndexPath(const std::shared_ptr<NSIndexPath>& indexPath, bool animated,
                            UITableViewScrollPosition position);
  void deselectRowAtIndexPath(const std::shared_ptr<NSIndexPath>& indexPath, bool animated);

  void layoutSubviews() override;
  void touchesBegan(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override;
  void touchesMoved(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override;
  void touchesEnded(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override;
  void touchesCancelled(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override;

  // Test support: how many cells this table's registered classes and nibs have made.
  NSInteger cellsMadeCount() const { return cellsMade_; }

 private:
  void setUpTable();  // the defaults both ways of making one set
  struct Section {
    CGFloat top = 0, headerHeight = 0, rowsTop = 0, footerHeight = 0, bottom = 0;
    std::vector<CGFloat> rowTops;  // one more than rows: the last is where the rows end
    std::shared_ptr<NSString> headerTitle, footerTitle;
    NSInteger rows() const { return static_cast<NSInteger>(rowTops.size()) - 1; }
  };
  using Key = std::pair<NSInteger, NSInteger>;
  struct Update {
    enum Kind { InsertRows, DeleteRows, ReloadRows, InsertSections, DeleteSections, ReloadSections } kind;
    std::vector<std::shared_ptr<NSIndexPath>> paths;
    std::vector<NSUInteger> sections;
    UITableViewRowAnimation animation;
  };

  std::shared_ptr<UITableView> tableSelf() const { return std::static_pointer_cast<UITableView>(viewSelf()); }
  void computeGeometry();
  CGFloat contentTop() const;
  bool validPath(const std::shared_ptr<NSIndexPath>& path) const;
  void recycleCell(const Key& key, bool animated);
  void enqueueCell(const std::shared_ptr<UITableViewCell>& cell);
  void layoutRows();
  void layoutSupplementaries(NSInteger first, NSInteger last);
  std::shared_ptr<UIView> makeSupplementary(NSInteger section, bool header);
  void styleCell(UITableViewCell& cell, const Key& key);
  void applyUpdates(std::vector<Update> updates);
  void queueUpdate(Update update);
  std::shared_ptr<UITableViewCell> makeCell(const std::shared_ptr<NSString>& identifier);
  void selectFromTouch(const Key& key);
  static std::shared_ptr<NSIndexPath> path(const Key& key) { return NSIndexPath::indexPathForRow(key.second, key.first); }
  static Key key(const std::shared_ptr<NSIndexPath>& path) { return {path->section(), path->row()}; }

  UITableViewStyle style_ = UITableViewStylePlain;
  std::weak_ptr<UITableViewDataSource> dataSource_;
  std::weak_ptr<UITableViewDelegate> tableDelegate_;
  CGFloat rowHeight_ = 44;
  CGFloat sectionHeaderHeight_ = UITableViewAutomaticDimension;
  CGFloat sectionFooterHeight_ = UITableViewAutomaticDimension;
  UITableViewCellSeparatorStyle separatorStyle_ = UITableViewCellSeparatorStyleSingleLine;
  std::shared_ptr<UIColor> separatorColor_;
  UIEdgeInsets separatorInset_{0, 15, 0, 0};
  std::shared_ptr<UIView> tableHeaderView_, tableFooterView_, backgroundView_;
  std::vector<Section> sections_;
  CGFloat sectionsBottom_ = 0;
  bool needsReload_ = true;
  bool reloading_ = false;
  std::map<Key, std::shared_ptr<UITableViewCell>> visible_;
  std::map<NSInteger, std::shared_ptr<UIView>> headers_, footers_;
  std::unordered_map<std::string, std::vector<std::shared_ptr<UITableViewCell>>> pool_;
  std::unordered_map<std::string, CellFactory> factories_;
  std::unordered_map<std::string, std::vector<std::shared_ptr<UITableViewHeaderFooterView>>> headerPool_;
  std::unordered_map<std::string, HeaderFooterFactory> headerFactories_;
  std::vector<Key> selected_;
  bool allowsSelection_ = true;
  bool allowsMultipleSelection_ = false;
  int updateDepth_ = 0;
  std::vector<Update> pendingUpdates_;
  bool animateNextLayout_ = false;
  bool animatingLayout_ = false;
  // The row a finger is on, while it is.
  std::optional<Key> touched_;
  NSInteger cellsMade_ = 0;
};
