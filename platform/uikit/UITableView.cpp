#include "platform/uikit/UITableView.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/NSException.h"
#include "platform/uikit/UIEvent.h"
#include "platform/uikit/UIKitMainThread.h"
#include "platform/uikit/UINib.h"

namespace {

constexpr CGFloat kPlainTitleHeight = 22;
constexpr CGFloat kGroupedTitleHeight = 38;
constexpr CGFloat kGroupedSpacing = 18;
constexpr NSTimeInterval kUpdateDuration = 0.3;

std::string textOf(const std::shared_ptr<NSString>& s) { return s ? s->utf8() : std::string(); }

// Which new index each old index goes to, given the old indexes deleted and the new ones
// inserted (UIKit's rule: deletions are old indexes, insertions new ones): -1 for deleted.
std::vector<NSInteger> mapIndexes(NSInteger oldCount, const std::vector<NSInteger>& deleted,
                                  const std::vector<NSInteger>& inserted, NSInteger newCount) {
  std::vector<NSInteger> survivors;
  for (NSInteger i = 0; i < oldCount; ++i)
    if (std::find(deleted.begin(), deleted.end(), i) == deleted.end()) survivors.push_back(i);
  std::vector<NSInteger> slots;  // old index per new index, -1 for inserted
  auto sortedInserted = inserted;
  std::sort(sortedInserted.begin(), sortedInserted.end());
  size_t next = 0;
  for (NSInteger n = 0; n < newCount; ++n) {
    if (std::binary_search(sortedInserted.begin(), sortedInserted.end(), n) || next >= survivors.size()) {
      slots.push_back(-1);
    } else {
      slots.push_back(survivors[next++]);
    }
  }
  std::vector<NSInteger> oldToNew(static_cast<size_t>(std::max<NSInteger>(oldCount, 0)), -1);
  for (NSInteger n = 0; n < newCount; ++n)
    if (slots[n] >= 0) oldToNew[static_cast<size_t>(slots[n])] = n;
  return oldToNew;
}

}  // namespace

UITableView::UITableView() = default;
UITableView::~UITableView() = default;

std::shared_ptr<UITableView> UITableView::initWithFrame(CGRect frame, UITableViewStyle style) {
  return makeTable<UITableView>(frame, style);
}

void UITableView::setUpWithFrame(CGRect frame) {
  UIScrollView::setUpWithFrame(frame);
  setUpTable();
}

void UITableView::setUpWithCoder(CGRect frame) {
  UIScrollView::setUpWithCoder(frame);
  setUpTable();
}

void UITableView::setUpTable() {
  setAlwaysBounceVertical(true);
  separatorColor_ = UIColor::colorWithRed(200 / 255.0, 199 / 255.0, 204 / 255.0, 1);
  setBackgroundColor(style_ == UITableViewStyleGrouped ? UIColor::groupTableViewBackgroundColor()
                                                       : UIColor::whiteColor());
}

void UITableView::setDataSource(const std::shared_ptr<UITableViewDataSource>& dataSource) {
  dataSource_ = dataSource;
  needsReload_ = true;
  setNeedsLayout();
}

void UITableView::setDelegate(const std::shared_ptr<UITableViewDelegate>& delegate) {
  tableDelegate_ = delegate;
  UIScrollView::setDelegate(delegate);
  if (!needsReload_) {
    computeGeometry();
    setNeedsLayout();
  }
}

// --- metrics ------------------------------------------------------------------------------------

void UITableView::setRowHeight(CGFloat height) {
  rowHeight_ = height;
  if (!needsReload_) computeGeometry();
  setNeedsLayout();
}

void UITableView::setSectionHeaderHeight(CGFloat height) {
  sectionHeaderHeight_ = height;
  if (!needsReload_) computeGeometry();
  setNeedsLayout();
}

void UITableView::setSectionFooterHeight(CGFloat height) {
  sectionFooterHeight_ = height;
  if (!needsReload_) computeGeometry();
  setNeedsLayout();
}

void UITableView::setSeparatorStyle(UITableViewCellSeparatorStyle style) {
  separatorStyle_ = style;
  for (auto& [key, cell] : visible_) styleCell(*cell, key);
}

void UITableView::setSeparatorColor(const std::shared_ptr<UIColor>& color) {
  separatorColor_ = color;
  for (auto& [key, cell] : visible_) styleCell(*cell, key);
}

void UITableView::setSeparatorInset(UIEdgeInsets inset) {
  separatorInset_ = inset;
  for (auto& [key, cell] : visible_) styleCell(*cell, key);
}

void UITableView::setTableHeaderView(const std::shared_ptr<UIView>& view) {
  if (view == tableHeaderView_) return;
  if (tableHeaderView_) tableHeaderView_->removeFromSuperview();
  tableHeaderView_ = view;
  if (view) addSubview(view);
  if (!needsReload_) computeGeometry();
  setNeedsLayout();
}

void UITableView::setTableFooterView(const std::shared_ptr<UIView>& view) {
  if (view == tableFooterView_) return;
  if (tableFooterView_) tableFooterView_->removeFromSuperview();
  tableFooterView_ = view;
  if (view) addSubview(view);
  if (!needsReload_) computeGeometry();
  setNeedsLayout();
}

void UITableView::setBackgroundView(const std::shared_ptr<UIView>& view) {
  if (view == backgroundView_) return;
  if (backgroundView_) backgroundView_->removeFromSuperview();
  backgroundView_ = view;
  if (view) insertSubview(view, 0);
  setNeedsLayout();
}

// --- reuse ----------------------------------------------------------------------------------------

void UITableView::registerCellFactory(CellFactory factory, const std::shared_ptr<NSString>& identifier) {
  factories_[textOf(identifier)] = std::move(factory);
}

void UITableView::registerNib(const std::shared_ptr<UINib>& nib, const std::shared_ptr<NSString>& identifier) {
  if (!nib) {
    factories_.erase(textOf(identifier));
    return;
  }
  registerCellFactory(
      [nib](const std::shared_ptr<NSString>& id) {
        auto objects = nib->instantiateWithOwner(nullptr, nullptr);
        auto cell = objects && objects->count() > 0 ? zvt::as<UITableViewCell>(objects->objectAtIndex(0)) : nullptr;
        if (!cell || objects->count() != 1)
          NSException::raise(NSInternalInconsistencyException,
                             "invalid nib registered for identifier (%s) - nib must contain exactly one top level "
                             "object which must be a UITableViewCell instance",
                             textOf(id).c_str());
        return cell;
      },
      identifier);
}

void UITableView::registerNibForHeaderFooterView(const std::shared_ptr<UINib>& nib,
                                                 const std::shared_ptr<NSString>& identifier) {
  if (!nib) {
    headerFactories_.erase(textOf(identifier));
    return;
  }
  registerHeaderFooterFactory(
      [nib](const std::shared_ptr<NSString>& id) {
        auto objects = nib->instantiateWithOwner(nullptr, nullptr);
        auto view = objects && objects->count() > 0 ? zvt::as<UITableViewHeaderFooterView>(objects->objectAtIndex(0))
                                                    : nullptr;
        if (!view)
          NSException::raise(NSInternalInconsistencyException,
                             "invalid nib registered for identifier (%s) - nib must contain exactly one top level "
                             "object which must be a UITableViewHeaderFooterView instance",
                             textOf(id).c_str());
        return view;
      },
      identifier);
}

void UITableView::registerHeaderFooterFactory(HeaderFooterFactory factory,
                                              const std::shared_ptr<NSString>& identifier) {
  headerFactories_[textOf(identifier)] = std::move(factory);
}

std::shared_ptr<UITableViewCell> UITableView::makeCell(const std::shared_ptr<NSString>& identifier) {
  auto it = factories_.find(textOf(identifier));
  if (it == factories_.end()) return nullptr;
  auto cell = it->second(identifier);
  if (!cell) return nullptr;
  if (!cell->reuseIdentifier_) cell->reuseIdentifier_ = identifier;
  ++cellsMade_;
  return cell;
}

std::shared_ptr<UITableViewCell> UITableView::dequeueReusableCellWithIdentifier(
    const std::shared_ptr<NSString>& identifier) {
  zvt::ui::assertMainThread("UITableView::dequeueReusableCellWithIdentifier");
  auto& pool = pool_[textOf(identifier)];
  if (!pool.empty()) {
    auto cell = pool.back();
    pool.pop_back();
    cell->prepareForReuse();
    return cell;
  }
  return makeCell(identifier);
}

std::shared_ptr<UITableViewCell> UITableView::dequeueReusableCellWithIdentifier(
    const std::shared_ptr<NSString>& identifier, const std::shared_ptr<NSIndexPath>& indexPath) {
  auto cell = dequeueReusableCellWithIdentifier(identifier);
  if (!cell)
    NSException::raise(NSInternalInconsistencyException,
                       "unable to dequeue a cell with identifier %s - must register a nib or a class for the "
                       "identifier or connect a prototype cell in a storyboard",
                       textOf(identifier).c_str());
  CGRect frame = cell->frame();
  frame.size = rectForRowAtIndexPath(indexPath).size;
  if (frame.size.width <= 0) frame.size.width = bounds().size.width;
  cell->setFrame(frame);
  return cell;
}

std::shared_ptr<UITableViewHeaderFooterView> UITableView::dequeueReusableHeaderFooterViewWithIdentifier(
    const std::shared_ptr<NSString>& identifier) {
  auto& pool = headerPool_[textOf(identifier)];
  if (!pool.empty()) {
    auto view = pool.back();
    pool.pop_back();
    view->prepareForReuse();
    return view;
  }
  auto it = headerFactories_.find(textOf(identifier));
  if (it == headerFactories_.end()) return nullptr;
  auto view = it->second(identifier);
  if (view && !view->reuseIdentifier_) view->reuseIdentifier_ = identifier;
  return view;
}

void UITableView::enqueueCell(const std::shared_ptr<UITableViewCell>& cell) {
  cell->setHighlighted(false);
  cell->removeFromSuperview();
  cell->tableView_.reset();
  if (cell->reuseIdentifier()) pool_[cell->reuseIdentifier()->utf8()].push_back(cell);
}

void UITableView::recycleCell(const Key& key, bool animated) {
  auto it = visible_.find(key);
  if (it == visible_.end()) return;
  auto cell = it->second;
  visible_.erase(it);
  if (touched_ && *touched_ == key) touched_.reset();
  if (auto d = tableDelegate()) d->tableViewDidEndDisplayingCell(tableSelf(), cell, path(key));
  if (!animated) {
    enqueueCell(cell);
    return;
  }
  std::weak_ptr<UITableView> weak = tableSelf();
  UIView::animateWithDuration(
      kUpdateDuration, [&] { cell->setAlpha(0); },
      [weak, cell](bool) {
        cell->setAlpha(1);
        if (auto table = weak.lock())
          table->enqueueCell(cell);
        else
          cell->removeFromSuperview();
      });
}

// --- data ---------------------------------------------------------------------------------------

void UITableView::computeGeometry() {
  auto self = tableSelf();
  auto ds = dataSource();
  auto del = tableDelegate();
  sections_.clear();
  CGFloat y = tableHeaderView_ ? tableHeaderView_->frame().size.height : 0;
  NSInteger count = ds ? std::max<NSInteger>(0, ds->numberOfSectionsInTableView(self)) : 0;
  bool grouped = style_ == UITableViewStyleGrouped;
  for (NSInteger s = 0; s < count; ++s) {
    Section section;
    section.top = y;
    section.headerTitle = ds->tableViewTitleForHeaderInSection(self, s);
    section.footerTitle = ds->tableViewTitleForFooterInSection(self, s);
    CGFloat h = del ? del->tableViewHeightForHeaderInSection(self, s) : UITableViewAutomaticDimension;
    if (h < 0) h = sectionHeaderHeight_;
    if (h < 0) h = grouped ? (section.headerTitle ? kGroupedTitleHeight : kGroupedSpacing)
                           : (section.headerTitle ? kPlainTitleHeight : 0);
    section.headerHeight = h;
    y += h;
    section.rowsTop = y;
    NSInteger rows = std::max<NSInteger>(0, ds->tableViewNumberOfRowsInSection(self, s));
    section.rowTops.reserve(static_cast<size_t>(rows) + 1);
    for (NSInteger r = 0; r < rows; ++r) {
      section.rowTops.push_back(y);
      CGFloat rh = del ? del->tableViewHeightForRowAtIndexPath(self, NSIndexPath::indexPathForRow(r, s))
                       : UITableViewAutomaticDimension;
      if (rh < 0) rh = rowHeight_ >= 0 ? rowHeight_ : 44;
      y += rh;
    }
    section.rowTops.push_back(y);
    CGFloat f = del ? del->tableViewHeightForFooterInSection(self, s) : UITableViewAutomaticDimension;
    if (f < 0) f = sectionFooterHeight_;
    if (f < 0) f = grouped ? kGroupedSpacing : (section.footerTitle ? kPlainTitleHeight : 0);
    section.footerHeight = f;
    y += f;
    section.bottom = y;
    sections_.push_back(std::move(section));
  }
  sectionsBottom_ = y;
  if (tableFooterView_) y += tableFooterView_->frame().size.height;
  setContentSize(CGSizeMake(bounds().size.width, y));
}

void UITableView::reloadData() {
  zvt::ui::assertMainThread("UITableView::reloadData");
  auto keep = tableSelf();
  reloading_ = true;
  needsReload_ = false;
  std::vector<Key> keys;
  for (auto& [key, cell] : visible_) keys.push_back(key);
  for (auto& key : keys) recycleCell(key, false);
  layoutSupplementaries(0, -1);
  selected_.clear();
  pendingUpdates_.clear();
  computeGeometry();
  setNeedsLayout();
  reloading_ = false;
  executeReloadDataBlock();
}

NSInteger UITableView::numberOfSections() const {
  if (needsReload_) const_cast<UITableView*>(this)->computeGeometry();
  return static_cast<NSInteger>(sections_.size());
}

NSInteger UITableView::numberOfRowsInSection(NSInteger section) const {
  if (needsReload_) const_cast<UITableView*>(this)->computeGeometry();
  if (section < 0 || section >= static_cast<NSInteger>(sections_.size()))
    NSException::raise(NSRangeException, "-[UITableView numberOfRowsInSection:]: section (%ld) beyond bounds (%ld)",
                       static_cast<long>(section), static_cast<long>(sections_.size()));
  return sections_[static_cast<size_t>(section)].rows();
}

NSInteger UITableView::totalDataCount() const {
  NSInteger total = 0;
  for (NSInteger s = 0; s < numberOfSections(); ++s) total += numberOfRowsInSection(s);
  return total;
}

bool UITableView::validPath(const std::shared_ptr<NSIndexPath>& p) const {
  if (!p || p->length() < 2) return false;
  NSInteger s = p->section(), r = p->row();
  return s >= 0 && s < static_cast<NSInteger>(sections_.size()) && r >= 0 && r < sections_[static_cast<size_t>(s)].rows();
}

// --- updates ------------------------------------------------------------------------------------

void UITableView::beginUpdates() { ++updateDepth_; }

void UITableView::endUpdates() {
  if (updateDepth_ == 0) return;
  if (--updateDepth_ > 0) return;
  auto updates = std::move(pendingUpdates_);
  pendingUpdates_.clear();
  applyUpdates(std::move(updates));
}

void UITableView::queueUpdate(Update update) {
  if (updateDepth_ > 0) {
    pendingUpdates_.push_back(std::move(update));
    return;
  }
  applyUpdates({std::move(update)});
}

void UITableView::insertRowsAtIndexPaths(const std::vector<std::shared_ptr<NSIndexPath>>& paths,
                                         UITableViewRowAnimation animation) {
  queueUpdate(Update{Update::InsertRows, paths, {}, animation});
}
void UITableView::deleteRowsAtIndexPaths(const std::vector<std::shared_ptr<NSIndexPath>>& paths,
                                         UITableViewRowAnimation animation) {
  queueUpdate(Update{Update::DeleteRows, paths, {}, animation});
}
void UITableView::reloadRowsAtIndexPaths(const std::vector<std::shared_ptr<NSIndexPath>>& paths,
                                         UITableViewRowAnimation animation) {
  queueUpdate(Update{Update::ReloadRows, paths, {}, animation});
}
void UITableView::insertSections(const std::shared_ptr<NSIndexSet>& sections, UITableViewRowAnimation animation) {
  queueUpdate(Update{Update::InsertSections, {}, sections ? sections->allIndexes() : std::vector<NSUInteger>{}, animation});
}
void UITableView::deleteSections(const std::shared_ptr<NSIndexSet>& sections, UITableViewRowAnimation animation) {
  queueUpdate(Update{Update::DeleteSections, {}, sections ? sections->allIndexes() : std::vector<NSUInteger>{}, animation});
}
void UITableView::reloadSections(const std::shared_ptr<NSIndexSet>& sections, UITableViewRowAnimation animation) {
  queueUpdate(Update{Update::ReloadSections, {}, sections ? sections->allIndexes() : std::vector<NSUInteger>{}, animation});
}

void UITableView::applyUpdates(std::vector<Update> updates) {
  zvt::ui::assertMainThread("UITableView::endUpdates");
  auto self = tableSelf();
  if (needsReload_) {
    // Nothing is shown yet: the new data is simply loaded.
    reloadData();
    return;
  }
  auto ds = dataSource();
  NSInteger oldSections = static_cast<NSInteger>(sections_.size());
  std::vector<NSInteger> oldRows;
  for (auto& s : sections_) oldRows.push_back(s.rows());
  std::vector<NSInteger> deletedSections, insertedSections, reloadedSections;
  std::map<NSInteger, std::vector<NSInteger>> deletedRows, insertedRows, reloadedRows;  // old / new / old sections
  bool animated = false;
  for (auto& u : updates) {
    animated = animated || u.animation != UITableViewRowAnimationNone;
    for (NSUInteger s : u.sections) {
      auto section = static_cast<NSInteger>(s);
      if (u.kind == Update::DeleteSections) deletedSections.push_back(section);
      if (u.kind == Update::InsertSections) insertedSections.push_back(section);
      if (u.kind == Update::ReloadSections) reloadedSections.push_back(section);
    }
    for (auto& p : u.paths) {
      if (!p || p->length() < 2) continue;
      if (u.kind == Update::DeleteRows) deletedRows[p->section()].push_back(p->row());
      if (u.kind == Update::InsertRows) insertedRows[p->section()].push_back(p->row());
      if (u.kind == Update::ReloadRows) reloadedRows[p->section()].push_back(p->row());
    }
  }
  NSInteger newSections = ds ? std::max<NSInteger>(0, ds->numberOfSectionsInTableView(self)) : 0;
  // Indexes outside the data would move the wrong cells: refused as UIKit refuses them.
  for (NSInteger s : deletedSections)
    if (s < 0 || s >= oldSections)
      NSException::raise(NSInternalInconsistencyException,
                         "attempt to delete section %ld, but there are only %ld sections before the update",
                         static_cast<long>(s), static_cast<long>(oldSections));
  for (NSInteger s : reloadedSections)
    if (s < 0 || s >= oldSections)
      NSException::raise(NSInternalInconsistencyException,
                         "attempt to reload section %ld, but there are only %ld sections before the update",
                         static_cast<long>(s), static_cast<long>(oldSections));
  for (NSInteger s : insertedSections)
    if (s < 0 || s >= newSections)
      NSException::raise(NSInternalInconsistencyException,
                         "attempt to insert section %ld but there are only %ld sections after the update",
                         static_cast<long>(s), static_cast<long>(newSections));
  for (const auto* before : {&deletedRows, &reloadedRows})
    for (const auto& [s, rows] : *before)
      for (NSInteger r : rows) {
        NSInteger count = s >= 0 && s < oldSections ? oldRows[static_cast<size_t>(s)] : 0;
        if (r < 0 || r >= count)
          NSException::raise(NSInternalInconsistencyException,
                             "attempt to %s row %ld from section %ld which only contains %ld rows before the update",
                             before == &deletedRows ? "delete" : "reload", static_cast<long>(r),
                             static_cast<long>(s), static_cast<long>(count));
      }
  for (const auto& [s, rows] : insertedRows)
    for (NSInteger r : rows) {
      NSInteger count = s >= 0 && s < newSections ? std::max<NSInteger>(0, ds->tableViewNumberOfRowsInSection(self, s)) : 0;
      if (r < 0 || r >= count)
        NSException::raise(NSInternalInconsistencyException,
                           "attempt to insert row %ld into section %ld, but there are only %ld rows in section %ld "
                           "after the update",
                           static_cast<long>(r), static_cast<long>(s), static_cast<long>(count), static_cast<long>(s));
    }
  auto expectedSections = oldSections + static_cast<NSInteger>(insertedSections.size()) -
                          static_cast<NSInteger>(deletedSections.size());
  if (newSections != expectedSections)
    NSException::raise(NSInternalInconsistencyException,
                       "Invalid update: invalid number of sections.  The number of sections contained in the table "
                       "view after the update (%ld) must be equal to the number of sections contained in the table "
                       "view before the update (%ld), plus or minus the number of sections inserted or deleted (%ld "
                       "inserted, %ld deleted).",
                       static_cast<long>(newSections), static_cast<long>(oldSections),
                       static_cast<long>(insertedSections.size()), static_cast<long>(deletedSections.size()));
  auto sectionMap = mapIndexes(oldSections, deletedSections, insertedSections, newSections);
  std::map<NSInteger, std::vector<NSInteger>> rowMaps;  // old section -> old row -> new row
  for (NSInteger o = 0; o < oldSections; ++o) {
    NSInteger n = sectionMap[static_cast<size_t>(o)];
    if (n < 0) continue;
    // A reloaded section keeps its place, with new rows throughout.
    if (std::find(reloadedSections.begin(), reloadedSections.end(), o) != reloadedSections.end()) {
      rowMaps[o] = std::vector<NSInteger>(static_cast<size_t>(oldRows[static_cast<size_t>(o)]), -1);
      continue;
    }
    NSInteger now = std::max<NSInteger>(0, ds->tableViewNumberOfRowsInSection(self, n));
    auto& del = deletedRows[o];
    auto& ins = insertedRows[n];
    NSInteger expected = oldRows[static_cast<size_t>(o)] + static_cast<NSInteger>(ins.size()) -
                         static_cast<NSInteger>(del.size());
    if (now != expected)
      NSException::raise(NSInternalInconsistencyException,
                         "Invalid update: invalid number of rows in section %ld.  The number of rows contained in an "
                         "existing section after the update (%ld) must be equal to the number of rows contained in "
                         "that section before the update (%ld), plus or minus the number of rows inserted or deleted "
                         "from that section (%ld inserted, %ld deleted) and plus or minus the number of rows moved "
                         "into or out of that section (0 moved in, 0 moved out).",
                         static_cast<long>(n), static_cast<long>(now), static_cast<long>(oldRows[static_cast<size_t>(o)]),
                         static_cast<long>(ins.size()), static_cast<long>(del.size()));
    auto rows = mapIndexes(oldRows[static_cast<size_t>(o)], del, ins, now);
    for (NSInteger r : reloadedRows[o])
      if (r >= 0 && r < static_cast<NSInteger>(rows.size())) rows[static_cast<size_t>(r)] = -1;
    rowMaps[o] = std::move(rows);
  }
  computeGeometry();
  // Visible cells move to their new rows; those of deleted and reloaded rows go.
  std::map<Key, std::shared_ptr<UITableViewCell>> moved;
  std::vector<Key> gone;
  for (auto& [key, cell] : visible_) {
    auto [o, r] = key;
    NSInteger n = o < static_cast<NSInteger>(sectionMap.size()) ? sectionMap[static_cast<size_t>(o)] : -1;
    NSInteger row = -1;
    if (n >= 0) {
      auto& rows = rowMaps[o];
      row = r < static_cast<NSInteger>(rows.size()) ? rows[static_cast<size_t>(r)] : -1;
    }
    if (n >= 0 && row >= 0)
      moved[{n, row}] = cell;
    else
      gone.push_back(key);
  }
  for (auto& key : gone) recycleCell(key, animated);
  visible_ = std::move(moved);
  std::vector<Key> selection;
  for (auto& [o, r] : selected_) {
    NSInteger n = o < static_cast<NSInteger>(sectionMap.size()) ? sectionMap[static_cast<size_t>(o)] : -1;
    if (n < 0) continue;
    auto& rows = rowMaps[o];
    NSInteger row = r < static_cast<NSInteger>(rows.size()) ? rows[static_cast<size_t>(r)] : -1;
    if (row >= 0) selection.emplace_back(n, row);
  }
  selected_ = std::move(selection);
  layoutSupplementaries(0, -1);
  animateNextLayout_ = animated;
  setNeedsLayout();
}

// --- layout -------------------------------------------------------------------------------------

CGFloat UITableView::contentTop() const { return bounds().origin.y + contentInset().top; }

void UITableView::styleCell(UITableViewCell& cell, const Key& key) {
  cell.tableView_ = tableSelf();
  cell.separatorShown_ = separatorStyle_ != UITableViewCellSeparatorStyleNone;
  cell.separatorColor_ = separatorColor_;
  cell.tableSeparatorInset_ = separatorInset_;
  bool selected = std::find(selected_.begin(), selected_.end(), key) != selected_.end();
  if (cell.isSelected() != selected) cell.setSelected(selected, false);
  cell.setNeedsLayout();
}

void UITableView::layoutSubviews() {
  UIScrollView::layoutSubviews();
  auto keep = tableSelf();
  if (needsReload_ && !reloading_) reloadData();
  CGRect b = bounds();
  if (backgroundView_) backgroundView_->setFrame(b);
  if (tableHeaderView_) {
    CGRect f = tableHeaderView_->frame();
    tableHeaderView_->setFrame(CGRectMake(0, 0, b.size.width, f.size.height));
  }
  if (tableFooterView_) {
    CGRect f = tableFooterView_->frame();
    tableFooterView_->setFrame(CGRectMake(0, sectionsBottom_, b.size.width, f.size.height));
  }
  if (contentSize().width != b.size.width) setContentSize(CGSizeMake(b.size.width, contentSize().height));
  if (animateNextLayout_) {
    animateNextLayout_ = false;
    animatingLayout_ = true;
    UIView::animateWithDuration(kUpdateDuration, [&] { layoutRows(); });
    animatingLayout_ = false;
  } else {
    layoutRows();
  }
}

void UITableView::layoutRows() {
  auto self = tableSelf();
  CGRect b = bounds();
  CGFloat top = b.origin.y, bottom = CGRectGetMaxY(b);
  std::vector<Key> wanted;
  NSInteger firstSection = -1, lastSection = -2;
  auto first = std::upper_bound(sections_.begin(), sections_.end(), top,
                                [](CGFloat y, const Section& s) { return y < s.bottom; });
  for (auto it = first; it != sections_.end() && it->top < bottom; ++it) {
    auto s = static_cast<NSInteger>(it - sections_.begin());
    if (firstSection < 0) firstSection = s;
    lastSection = s;
    const auto& tops = it->rowTops;
    // The first row whose bottom is below the visible top.
    auto r0 = std::upper_bound(tops.begin() + 1, tops.end(), top) - tops.begin() - 1;
    for (auto r = static_cast<NSInteger>(r0); r < it->rows() && tops[static_cast<size_t>(r)] < bottom; ++r) {
      if (tops[static_cast<size_t>(r) + 1] <= top) continue;
      wanted.emplace_back(s, r);
    }
  }
  // Rows that left go back to the pool first, so that new rows can take their cells.
  std::vector<Key> leaving;
  for (auto& [key, cell] : visible_)
    if (!std::binary_search(wanted.begin(), wanted.end(), key)) leaving.push_back(key);
  for (auto& key : leaving) recycleCell(key, false);
  auto ds = dataSource();
  bool added = false;
  for (auto& key : wanted) {
    const auto& tops = sections_[static_cast<size_t>(key.first)].rowTops;
    CGRect frame = CGRectMake(0, tops[static_cast<size_t>(key.second)], b.size.width,
                              tops[static_cast<size_t>(key.second) + 1] - tops[static_cast<size_t>(key.second)]);
    auto it = visible_.find(key);
    if (it != visible_.end()) {
      if (it->second->frame() != frame) it->second->setFrame(frame);
      continue;
    }
    if (!ds) break;
    auto ip = path(key);
    auto cell = ds->tableViewCellForRowAtIndexPath(self, ip);
    if (!cell)
      NSException::raise(NSInternalInconsistencyException,
                         "UITableView (%p) failed to obtain a cell from its dataSource", static_cast<void*>(this));
    visible_[key] = cell;
    styleCell(*cell, key);
    UIView::performWithoutAnimation([&] {
      if (animatingLayout_) cell->setAlpha(0);
      cell->setFrame(frame);
      if (cell->superview().get() != this) addSubview(cell);
      cell->layoutIfNeeded();
    });
    // During an update the rows that appear fade in.
    if (animatingLayout_) cell->setAlpha(1);
    added = true;
    if (auto d = tableDelegate()) d->tableViewWillDisplayCell(self, cell, ip);
  }
  layoutSupplementaries(firstSection, lastSection);
  if (added) {
    for (auto& [s, v] : headers_) bringSubviewToFront(v);
    for (auto& [s, v] : footers_) bringSubviewToFront(v);
    if (tableHeaderView_) bringSubviewToFront(tableHeaderView_);
    if (tableFooterView_) bringSubviewToFront(tableFooterView_);
  }
}

std::shared_ptr<UIView> UITableView::makeSupplementary(NSInteger section, bool header) {
  auto self = tableSelf();
  auto del = tableDelegate();
  std::shared_ptr<UIView> view;
  if (del) view = header ? del->tableViewViewForHeaderInSection(self, section) : del->tableViewViewForFooterInSection(self, section);
  if (view) return view;
  const auto& s = sections_[static_cast<size_t>(section)];
  auto title = header ? s.headerTitle : s.footerTitle;
  if (!title) return nullptr;
  auto identifier = NSString::stringWithUTF8String(header ? "UITableViewHeaderTitle" : "UITableViewFooterTitle");
  auto& pool = headerPool_[identifier->utf8()];
  std::shared_ptr<UITableViewHeaderFooterView> titled;
  if (!pool.empty()) {
    titled = pool.back();
    pool.pop_back();
    titled->prepareForReuse();
  } else {
    titled = UITableViewHeaderFooterView::initWithReuseIdentifier(identifier);
  }
  titled->grouped_ = style_ == UITableViewStyleGrouped;
  titled->footer_ = !header;
  titled->setTitle(title);
  return titled;
}

void UITableView::layoutSupplementaries(NSInteger firstSection, NSInteger lastSection) {
  CGRect b = bounds();
  CGFloat visibleTop = contentTop(), visibleBottom = CGRectGetMaxY(b) - contentInset().bottom;
  bool plain = style_ == UITableViewStylePlain;
  auto recycle = [&](std::map<NSInteger, std::shared_ptr<UIView>>& views, NSInteger s) {
    auto it = views.find(s);
    if (it == views.end()) return;
    auto view = it->second;
    views.erase(it);
    view->removeFromSuperview();
    if (auto hf = std::dynamic_pointer_cast<UITableViewHeaderFooterView>(view); hf && hf->reuseIdentifier())
      headerPool_[hf->reuseIdentifier()->utf8()].push_back(hf);
  };
  for (auto* views : {&headers_, &footers_}) {
    std::vector<NSInteger> stale;
    for (auto& [s, v] : *views)
      if (s < firstSection || s > lastSection) stale.push_back(s);
    for (NSInteger s : stale) recycle(*views, s);
  }
  for (NSInteger s = std::max<NSInteger>(firstSection, 0); s <= lastSection; ++s) {
    const auto& sec = sections_[static_cast<size_t>(s)];
    for (bool header : {true, false}) {
      CGFloat height = header ? sec.headerHeight : sec.footerHeight;
      auto& views = header ? headers_ : footers_;
      if (height <= 0) {
        recycle(views, s);
        continue;
      }
      CGFloat y = header ? sec.top : sec.bottom - height;
      if (plain && header) y = std::max(sec.top, std::min(visibleTop, sec.bottom - height));
      if (plain && !header) y = std::min(sec.bottom - height, std::max(sec.top + sec.headerHeight, visibleBottom - height));
      CGRect frame = CGRectMake(0, y, b.size.width, height);
      auto it = views.find(s);
      if (it == views.end()) {
        auto view = makeSupplementary(s, header);
        if (!view) continue;
        views[s] = view;
        UIView::performWithoutAnimation([&] {
          view->setFrame(frame);
          addSubview(view);
        });
      } else if (it->second->frame() != frame) {
        it->second->setFrame(frame);
      }
    }
  }
}

// --- geometry -------------------------------------------------------------------------------------

CGRect UITableView::rectForSection(NSInteger section) const {
  numberOfSections();
  if (section < 0 || section >= static_cast<NSInteger>(sections_.size())) return CGRectZero;
  const auto& s = sections_[static_cast<size_t>(section)];
  return CGRectMake(0, s.top, bounds().size.width, s.bottom - s.top);
}

CGRect UITableView::rectForHeaderInSection(NSInteger section) const {
  numberOfSections();
  if (section < 0 || section >= static_cast<NSInteger>(sections_.size())) return CGRectZero;
  const auto& s = sections_[static_cast<size_t>(section)];
  return CGRectMake(0, s.top, bounds().size.width, s.headerHeight);
}

CGRect UITableView::rectForFooterInSection(NSInteger section) const {
  numberOfSections();
  if (section < 0 || section >= static_cast<NSInteger>(sections_.size())) return CGRectZero;
  const auto& s = sections_[static_cast<size_t>(section)];
  return CGRectMake(0, s.bottom - s.footerHeight, bounds().size.width, s.footerHeight);
}

CGRect UITableView::rectForRowAtIndexPath(const std::shared_ptr<NSIndexPath>& indexPath) const {
  numberOfSections();
  if (!validPath(indexPath)) return CGRectZero;
  const auto& tops = sections_[static_cast<size_t>(indexPath->section())].rowTops;
  auto r = static_cast<size_t>(indexPath->row());
  return CGRectMake(0, tops[r], bounds().size.width, tops[r + 1] - tops[r]);
}

std::shared_ptr<NSIndexPath> UITableView::indexPathForRowAtPoint(CGPoint point) const {
  numberOfSections();
  if (point.x < 0 || point.x >= bounds().size.width) return nullptr;
  for (size_t s = 0; s < sections_.size(); ++s) {
    const auto& sec = sections_[s];
    if (point.y < sec.rowsTop || point.y >= sec.rowTops.back()) continue;
    auto it = std::upper_bound(sec.rowTops.begin(), sec.rowTops.end(), point.y);
    auto r = static_cast<NSInteger>(it - sec.rowTops.begin()) - 1;
    if (r >= 0 && r < sec.rows()) return NSIndexPath::indexPathForRow(r, static_cast<NSInteger>(s));
  }
  return nullptr;
}

std::vector<std::shared_ptr<NSIndexPath>> UITableView::indexPathsForRowsInRect(CGRect rect) const {
  numberOfSections();
  std::vector<std::shared_ptr<NSIndexPath>> out;
  const CGFloat minY = rect.origin.y, maxY = CGRectGetMaxY(rect);
  for (size_t s = 0; s < sections_.size(); ++s) {
    const auto& tops = sections_[s].rowTops;
    if (tops.size() < 2) continue;
    // The tops only grow: the first row ending below the rectangle's top is found by halving,
    // and the rows from there on are taken while they begin above its bottom.
    auto first = std::upper_bound(tops.begin() + 1, tops.end(), minY);
    for (auto end = first; end != tops.end() && *(end - 1) < maxY; ++end) {
      const auto r = static_cast<NSInteger>(end - tops.begin()) - 1;
      out.push_back(NSIndexPath::indexPathForRow(r, static_cast<NSInteger>(s)));
    }
  }
  return out;
}

void UITableView::scrollToRowAtIndexPath(const std::shared_ptr<NSIndexPath>& indexPath,
                                         UITableViewScrollPosition position, bool animated) {
  numberOfSections();
  if (!validPath(indexPath))
    NSException::raise(NSRangeException, "-[UITableView scrollToRowAtIndexPath:atScrollPosition:animated:]: row (%ld) "
                       "beyond bounds for section (%ld).", static_cast<long>(indexPath ? indexPath->row() : -1),
                       static_cast<long>(indexPath ? indexPath->section() : -1));
  CGRect row = rectForRowAtIndexPath(indexPath);
  UIEdgeInsets inset = contentInset();
  CGFloat height = bounds().size.height;
  CGFloat y = contentOffset().y;
  if (position == UITableViewScrollPositionNone) {
    if (row.origin.y < y + inset.top) position = UITableViewScrollPositionTop;
    else if (CGRectGetMaxY(row) > y + height - inset.bottom) position = UITableViewScrollPositionBottom;
  }
  switch (position) {
    case UITableViewScrollPositionTop: y = row.origin.y - inset.top; break;
    case UITableViewScrollPositionMiddle:
      y = CGRectGetMidY(row) - inset.top - (height - inset.top - inset.bottom) / 2;
      break;
    case UITableViewScrollPositionBottom: y = CGRectGetMaxY(row) - height + inset.bottom; break;
    default: break;
  }
  y = std::clamp(y, minimumContentOffset().y, maximumContentOffset().y);
  setContentOffset(CGPointMake(contentOffset().x, y), animated);
}

// --- cells on screen --------------------------------------------------------------------------------

std::shared_ptr<UITableViewCell> UITableView::cellForRowAtIndexPath(const std::shared_ptr<NSIndexPath>& indexPath) const {
  if (!indexPath || indexPath->length() < 2) return nullptr;
  auto it = visible_.find(key(indexPath));
  return it == visible_.end() ? nullptr : it->second;
}

std::shared_ptr<NSIndexPath> UITableView::indexPathForCell(const std::shared_ptr<UITableViewCell>& cell) const {
  for (auto& [k, c] : visible_)
    if (c == cell) return path(k);
  return nullptr;
}

std::vector<std::shared_ptr<UITableViewCell>> UITableView::visibleCells() const {
  std::vector<std::shared_ptr<UITableViewCell>> out;
  for (auto& [k, c] : visible_) out.push_back(c);
  return out;
}

std::vector<std::shared_ptr<NSIndexPath>> UITableView::indexPathsForVisibleRows() const {
  std::vector<std::shared_ptr<NSIndexPath>> out;
  for (auto& [k, c] : visible_) out.push_back(path(k));
  return out;
}

std::shared_ptr<UIView> UITableView::headerViewForSection(NSInteger section) const {
  auto it = headers_.find(section);
  return it == headers_.end() ? nullptr : it->second;
}

std::shared_ptr<UIView> UITableView::footerViewForSection(NSInteger section) const {
  auto it = footers_.find(section);
  return it == footers_.end() ? nullptr : it->second;
}

// --- selection ----------------------------------------------------------------------------------

void UITableView::setAllowsSelection(bool allows) {
  allowsSelection_ = allows;
  if (!allows) {
    auto selection = selected_;
    for (auto& k : selection) deselectRowAtIndexPath(path(k), false);
  }
}

void UITableView::setAllowsMultipleSelection(bool allows) { allowsMultipleSelection_ = allows; }

std::shared_ptr<NSIndexPath> UITableView::indexPathForSelectedRow() const {
  if (selected_.empty()) return nullptr;
  return path(*std::min_element(selected_.begin(), selected_.end()));
}

std::vector<std::shared_ptr<NSIndexPath>> UITableView::indexPathsForSelectedRows() const {
  auto keys = selected_;
  std::sort(keys.begin(), keys.end());
  std::vector<std::shared_ptr<NSIndexPath>> out;
  for (auto& k : keys) out.push_back(path(k));
  return out;
}

void UITableView::selectRowAtIndexPath(const std::shared_ptr<NSIndexPath>& indexPath, bool animated,
                                       UITableViewScrollPosition position) {
  zvt::ui::assertMainThread("UITableView::selectRowAtIndexPath");
  numberOfSections();
  if (!indexPath) {
    auto selection = selected_;
    for (auto& k : selection) deselectRowAtIndexPath(path(k), animated);
    return;
  }
  if (!validPath(indexPath) || !allowsSelection_) return;
  Key k = key(indexPath);
  if (!allowsMultipleSelection_) {
    auto selection = selected_;
    for (auto& old : selection)
      if (old != k) deselectRowAtIndexPath(path(old), animated);
  }
  if (std::find(selected_.begin(), selected_.end(), k) == selected_.end()) selected_.push_back(k);
  if (auto cell = cellForRowAtIndexPath(indexPath)) cell->setSelected(true, animated);
  if (position != UITableViewScrollPositionNone) scrollToRowAtIndexPath(indexPath, position, animated);
}

void UITableView::deselectRowAtIndexPath(const std::shared_ptr<NSIndexPath>& indexPath, bool animated) {
  zvt::ui::assertMainThread("UITableView::deselectRowAtIndexPath");
  if (!indexPath || indexPath->length() < 2) return;
  Key k = key(indexPath);
  std::erase(selected_, k);
  if (auto cell = cellForRowAtIndexPath(indexPath)) cell->setSelected(false, animated);
}

void UITableView::selectFromTouch(const Key& k) {
  auto self = tableSelf();
  auto del = tableDelegate();
  auto ip = path(k);
  if (del) {
    ip = del->tableViewWillSelectRowAtIndexPath(self, ip);
    if (!ip || !validPath(ip)) return;
  }
  Key target = key(ip);
  bool already = std::find(selected_.begin(), selected_.end(), target) != selected_.end();
  if (allowsMultipleSelection_ && already) {
    auto d = del ? del->tableViewWillDeselectRowAtIndexPath(self, ip) : ip;
    if (!d) return;
    deselectRowAtIndexPath(d, false);
    if (del) del->tableViewDidDeselectRowAtIndexPath(self, d);
    return;
  }
  if (!allowsMultipleSelection_) {
    auto selection = selected_;
    for (auto& old : selection) {
      if (old == target) continue;
      auto d = del ? del->tableViewWillDeselectRowAtIndexPath(self, path(old)) : path(old);
      if (!d) continue;
      deselectRowAtIndexPath(d, false);
      if (del) del->tableViewDidDeselectRowAtIndexPath(self, d);
    }
  }
  if (!already) selected_.push_back(target);
  if (auto cell = cellForRowAtIndexPath(ip)) cell->setSelected(true, false);
  if (del) del->tableViewDidSelectRowAtIndexPath(self, ip);
}

void UITableView::touchesBegan(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) {
  auto list = zvt::ui::membersOf<UITouch>(touches);
  if (list.empty() || !allowsSelection_ || touched_) return;
  auto self = tableSelf();
  auto ip = indexPathForRowAtPoint(list.front()->locationInView(self));
  if (!ip) return;
  auto cell = cellForRowAtIndexPath(ip);
  if (!cell) return;
  if (auto d = tableDelegate(); d && !d->tableViewShouldHighlightRowAtIndexPath(self, ip)) return;
  touched_ = key(ip);
  cell->setHighlighted(true, false);
  (void)event;
}

void UITableView::touchesMoved(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>&) {
  if (!touched_) return;
  auto list = zvt::ui::membersOf<UITouch>(touches);
  if (list.empty()) return;
  auto ip = indexPathForRowAtPoint(list.front()->locationInView(tableSelf()));
  if (ip && key(ip) == *touched_) return;
  if (auto cell = cellForRowAtIndexPath(path(*touched_))) cell->setHighlighted(false, false);
  touched_.reset();
}

void UITableView::touchesEnded(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>&) {
  if (!touched_) return;
  Key k = *touched_;
  touched_.reset();
  if (auto cell = cellForRowAtIndexPath(path(k))) cell->setHighlighted(false, false);
  auto list = zvt::ui::membersOf<UITouch>(touches);
  if (list.empty()) return;
  auto ip = indexPathForRowAtPoint(list.front()->locationInView(tableSelf()));
  if (ip && key(ip) == k) selectFromTouch(k);
}

void UITableView::touchesCancelled(const std::shared_ptr<NSSet>&, const std::shared_ptr<UIEvent>&) {
  if (!touched_) return;
  if (auto cell = cellForRowAtIndexPath(path(*touched_))) cell->setHighlighted(false, false);
  touched_.reset();
}
