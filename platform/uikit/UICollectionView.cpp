#include "platform/uikit/UICollectionView.h"

#include <algorithm>

#include "platform/foundation/NSException.h"
#include "platform/uikit/UIEvent.h"
#include "platform/uikit/UIKitMainThread.h"
#include "platform/uikit/UINib.h"

namespace {

const std::string kCellPool = "UICollectionElementKindCell";

std::string textOf(const std::shared_ptr<NSString>& s) { return s ? s->utf8() : std::string(); }
std::string poolName(const std::string& kind, const std::shared_ptr<NSString>& identifier) {
  return kind + "/" + textOf(identifier);
}

}  // namespace

UICollectionView::UICollectionView() = default;
UICollectionView::~UICollectionView() = default;

std::shared_ptr<UICollectionView> UICollectionView::initWithFrame(CGRect frame,
                                                                  const std::shared_ptr<UICollectionViewLayout>& layout) {
  return makeCollectionView<UICollectionView>(frame, layout);
}

void UICollectionView::setUpWithFrame(CGRect frame) {
  UIScrollView::setUpWithFrame(frame);
  setBackgroundColor(UIColor::blackColor());
}

void UICollectionView::setUpWithCoder(CGRect frame) {
  UIScrollView::setUpWithCoder(frame);
  setBackgroundColor(UIColor::blackColor());
}

void UICollectionView::setCollectionViewLayout(const std::shared_ptr<UICollectionViewLayout>& layout) {
  if (layout_ == layout) return;
  if (layout_) layout_->collectionView_.reset();
  layout_ = layout;
  if (layout_) {
    layout_->collectionView_ = collectionSelf();
    layout_->prepared_ = false;
  }
  setNeedsLayout();
}

void UICollectionView::setDataSource(const std::shared_ptr<UICollectionViewDataSource>& dataSource) {
  dataSource_ = dataSource;
  needsReload_ = true;
  setNeedsLayout();
}

void UICollectionView::setDelegate(const std::shared_ptr<UICollectionViewDelegate>& delegate) {
  collectionDelegate_ = delegate;
  UIScrollView::setDelegate(delegate);
  if (layout_) layout_->invalidateLayout();
}

void UICollectionView::setBackgroundView(const std::shared_ptr<UIView>& view) {
  if (view == backgroundView_) return;
  if (backgroundView_) backgroundView_->removeFromSuperview();
  backgroundView_ = view;
  if (view) insertSubview(view, 0);
  setNeedsLayout();
}

// --- reuse ----------------------------------------------------------------------------------------

void UICollectionView::registerCellFactory(CellFactory factory, const std::shared_ptr<NSString>& identifier) {
  factories_[poolName(kCellPool, identifier)] = [factory](CGRect frame) -> std::shared_ptr<UICollectionReusableView> {
    return factory(frame);
  };
}

void UICollectionView::registerSupplementaryFactory(ViewFactory factory, const std::shared_ptr<NSString>& kind,
                                                    const std::shared_ptr<NSString>& identifier) {
  factories_[poolName(textOf(kind), identifier)] = std::move(factory);
}

namespace {
UICollectionView::ViewFactory nibFactory(const std::shared_ptr<UINib>& nib, const std::string& what) {
  return [nib, what](CGRect frame) -> std::shared_ptr<UICollectionReusableView> {
    auto objects = nib->instantiateWithOwner(nullptr, nullptr);
    auto view = objects && objects->count() > 0 ? zvt::as<UICollectionReusableView>(objects->objectAtIndex(0)) : nullptr;
    if (!view)
      NSException::raise(NSInternalInconsistencyException,
                         "invalid nib registered for %s - nib must contain exactly one top level object which must be "
                         "a UICollectionReusableView instance",
                         what.c_str());
    view->setFrame(frame);
    return view;
  };
}
}  // namespace

void UICollectionView::registerNib(const std::shared_ptr<UINib>& nib, const std::shared_ptr<NSString>& identifier) {
  if (!nib) {
    factories_.erase(poolName(kCellPool, identifier));
    return;
  }
  auto make = nibFactory(nib, "identifier " + textOf(identifier));
  registerCellFactory(
      [make](CGRect frame) {
        auto cell = std::dynamic_pointer_cast<UICollectionViewCell>(make(frame));
        if (!cell)
          NSException::raise(NSInternalInconsistencyException,
                             "invalid nib registered for a cell - its top level object must be a UICollectionViewCell");
        return cell;
      },
      identifier);
}

void UICollectionView::registerNib(const std::shared_ptr<UINib>& nib, const std::shared_ptr<NSString>& kind,
                                   const std::shared_ptr<NSString>& identifier) {
  if (!nib) {
    factories_.erase(poolName(textOf(kind), identifier));
    return;
  }
  registerSupplementaryFactory(nibFactory(nib, textOf(kind) + " " + textOf(identifier)), kind, identifier);
}

std::shared_ptr<UICollectionReusableView> UICollectionView::dequeue(
    const std::string& pool, const std::string& what, const std::shared_ptr<NSIndexPath>& indexPath,
    const std::shared_ptr<UICollectionViewLayoutAttributes>& attributes) {
  std::shared_ptr<UICollectionReusableView> view;
  auto& views = pools_[pool];
  if (!views.empty()) {
    view = views.back();
    views.pop_back();
    view->prepareForReuse();
  } else {
    auto it = factories_.find(pool);
    if (it == factories_.end())
      NSException::raise(NSInternalInconsistencyException,
                         "could not dequeue a view of kind: %s - must register a nib or a class for the identifier "
                         "or connect a prototype cell in a storyboard",
                         what.c_str());
    CGRect frame = attributes ? attributes->frame() : CGRectZero;
    view = it->second(frame);
    ++viewsMade_;
  }
  (void)indexPath;
  if (attributes) {
    UIView::performWithoutAnimation([&] { view->setFrame(attributes->frame()); });
    view->applyLayoutAttributes(attributes);
  }
  return view;
}

std::shared_ptr<UICollectionViewCell> UICollectionView::dequeueReusableCellWithReuseIdentifier(
    const std::shared_ptr<NSString>& identifier, const std::shared_ptr<NSIndexPath>& indexPath) {
  zvt::ui::assertMainThread("UICollectionView::dequeueReusableCellWithReuseIdentifier");
  prepareLayoutIfNeeded();
  auto pool = poolName(kCellPool, identifier);
  auto view = dequeue(pool, kCellPool + " with identifier " + textOf(identifier), indexPath,
                      layout_ ? layout_->layoutAttributesForItemAtIndexPath(indexPath) : nullptr);
  auto cell = std::dynamic_pointer_cast<UICollectionViewCell>(view);
  if (!cell)
    NSException::raise(NSInternalInconsistencyException, "the view returned for identifier %s is not a cell",
                       textOf(identifier).c_str());
  cell->reuseIdentifier_ = identifier;
  return cell;
}

std::shared_ptr<UICollectionReusableView> UICollectionView::dequeueReusableSupplementaryViewOfKind(
    const std::shared_ptr<NSString>& kind, const std::shared_ptr<NSString>& identifier,
    const std::shared_ptr<NSIndexPath>& indexPath) {
  zvt::ui::assertMainThread("UICollectionView::dequeueReusableSupplementaryViewOfKind");
  prepareLayoutIfNeeded();
  auto pool = poolName(textOf(kind), identifier);
  auto view = dequeue(pool, textOf(kind) + " with identifier " + textOf(identifier), indexPath,
                      layout_ ? layout_->layoutAttributesForSupplementaryViewOfKind(kind, indexPath) : nullptr);
  view->reuseIdentifier_ = identifier;
  return view;
}

void UICollectionView::enqueue(const std::shared_ptr<UICollectionReusableView>& view, const std::string& pool) {
  view->removeFromSuperview();
  if (auto cell = std::dynamic_pointer_cast<UICollectionViewCell>(view)) cell->setHighlighted(false);
  if (view->reuseIdentifier()) pools_[pool].push_back(view);
}

void UICollectionView::recycleCell(const Key& k) {
  auto it = visible_.find(k);
  if (it == visible_.end()) return;
  auto cell = it->second;
  visible_.erase(it);
  if (touched_ && *touched_ == k) touched_.reset();
  if (auto d = collectionDelegate()) d->collectionViewDidEndDisplayingCell(collectionSelf(), cell, path(k));
  enqueue(cell, poolName(kCellPool, cell->reuseIdentifier()));
}

void UICollectionView::recycleSupplementary(const SupplementaryKey& k) {
  auto it = supplementaries_.find(k);
  if (it == supplementaries_.end()) return;
  auto view = it->second;
  supplementaries_.erase(it);
  enqueue(view, poolName(k.kind, view->reuseIdentifier()));
}

// --- data -----------------------------------------------------------------------------------------

void UICollectionView::loadCounts() {
  auto self = collectionSelf();
  auto ds = dataSource();
  counts_.clear();
  NSInteger sections = ds ? std::max<NSInteger>(0, ds->numberOfSectionsInCollectionView(self)) : 0;
  for (NSInteger s = 0; s < sections; ++s)
    counts_.push_back(std::max<NSInteger>(0, ds->collectionViewNumberOfItemsInSection(self, s)));
  needsReload_ = false;
}

void UICollectionView::reloadData() {
  zvt::ui::assertMainThread("UICollectionView::reloadData");
  auto keep = collectionSelf();
  std::vector<Key> cells;
  for (auto& [k, v] : visible_) cells.push_back(k);
  for (auto& k : cells) recycleCell(k);
  std::vector<SupplementaryKey> views;
  for (auto& [k, v] : supplementaries_) views.push_back(k);
  for (auto& k : views) recycleSupplementary(k);
  selected_.clear();
  loadCounts();
  if (layout_) layout_->invalidateLayout();
  setNeedsLayout();
  executeReloadDataBlock();
}

void UICollectionView::reloadItemsAtIndexPaths(const std::vector<std::shared_ptr<NSIndexPath>>& indexPaths) {
  zvt::ui::assertMainThread("UICollectionView::reloadItemsAtIndexPaths");
  for (auto& p : indexPaths)
    if (p) recycleCell(key(p));
  if (layout_) layout_->invalidateLayout();
  setNeedsLayout();
}

void UICollectionView::reloadSections(const std::shared_ptr<NSIndexSet>& sections) {
  zvt::ui::assertMainThread("UICollectionView::reloadSections");
  if (!sections) return;
  auto self = collectionSelf();
  auto ds = dataSource();
  for (NSUInteger s : sections->allIndexes()) {
    auto section = static_cast<NSInteger>(s);
    std::vector<Key> cells;
    for (auto& [k, v] : visible_)
      if (k.first == section) cells.push_back(k);
    for (auto& k : cells) recycleCell(k);
    std::vector<SupplementaryKey> views;
    for (auto& [k, v] : supplementaries_)
      if (k.key.first == section) views.push_back(k);
    for (auto& k : views) recycleSupplementary(k);
    if (ds && s < counts_.size()) counts_[s] = std::max<NSInteger>(0, ds->collectionViewNumberOfItemsInSection(self, section));
  }
  if (layout_) layout_->invalidateLayout();
  setNeedsLayout();
}

NSInteger UICollectionView::numberOfSections() const {
  if (needsReload_) const_cast<UICollectionView*>(this)->loadCounts();
  return static_cast<NSInteger>(counts_.size());
}

NSInteger UICollectionView::numberOfItemsInSection(NSInteger section) const {
  if (needsReload_) const_cast<UICollectionView*>(this)->loadCounts();
  if (section < 0 || section >= static_cast<NSInteger>(counts_.size())) return 0;
  return counts_[static_cast<size_t>(section)];
}

NSInteger UICollectionView::totalDataCount() const {
  NSInteger total = 0;
  for (NSInteger s = 0; s < numberOfSections(); ++s) total += numberOfItemsInSection(s);
  return total;
}

// --- layout ---------------------------------------------------------------------------------------

void UICollectionView::prepareLayoutIfNeeded() {
  if (!layout_) return;
  if (needsReload_) loadCounts();
  if (layout_->prepared_) return;
  layout_->prepared_ = true;
  layoutSize_ = bounds().size;
  layout_->prepareLayout();
  CGSize size = layout_->collectionViewContentSize();
  if (size != contentSize()) setContentSize(size);
}

void UICollectionView::boundsDidChange(CGRect oldBounds) {
  UIScrollView::boundsDidChange(oldBounds);
  if (layout_ && bounds().size != oldBounds.size && layout_->shouldInvalidateLayoutForBoundsChange(bounds()))
    layout_->invalidateLayout();
}

void UICollectionView::layoutSubviews() {
  UIScrollView::layoutSubviews();
  auto keep = collectionSelf();
  if (needsReload_) reloadData();
  if (backgroundView_) backgroundView_->setFrame(bounds());
  prepareLayoutIfNeeded();
  layoutElements();
}

void UICollectionView::layoutElements() {
  if (!layout_) return;
  auto self = collectionSelf();
  auto ds = dataSource();
  auto elements = layout_->layoutAttributesForElementsInRect(bounds());
  std::vector<Key> wantedCells;
  std::vector<SupplementaryKey> wantedViews;
  for (auto& a : elements) {
    if (!a->indexPath()) continue;
    if (a->representedElementCategory() == UICollectionElementCategoryCell)
      wantedCells.push_back(key(a->indexPath()));
    else if (a->representedElementCategory() == UICollectionElementCategorySupplementaryView)
      wantedViews.push_back(SupplementaryKey{textOf(a->representedElementKind()), key(a->indexPath())});
  }
  std::sort(wantedCells.begin(), wantedCells.end());
  std::sort(wantedViews.begin(), wantedViews.end());
  std::vector<Key> leavingCells;
  for (auto& [k, v] : visible_)
    if (!std::binary_search(wantedCells.begin(), wantedCells.end(), k)) leavingCells.push_back(k);
  for (auto& k : leavingCells) recycleCell(k);
  std::vector<SupplementaryKey> leavingViews;
  for (auto& [k, v] : supplementaries_)
    if (!std::binary_search(wantedViews.begin(), wantedViews.end(), k)) leavingViews.push_back(k);
  for (auto& k : leavingViews) recycleSupplementary(k);
  if (!ds) return;
  for (auto& a : elements) {
    if (!a->indexPath()) continue;
    if (a->representedElementCategory() == UICollectionElementCategoryCell) {
      Key k = key(a->indexPath());
      auto it = visible_.find(k);
      if (it != visible_.end()) {
        if (it->second->frame() != a->frame()) it->second->setFrame(a->frame());
        it->second->setHidden(a->isHidden());
        continue;
      }
      auto cell = ds->collectionViewCellForItemAtIndexPath(self, a->indexPath());
      if (!cell)
        NSException::raise(NSInternalInconsistencyException,
                           "the collection view's data source did not return a valid cell from "
                           "-collectionView:cellForItemAtIndexPath: for index path %s",
                           a->indexPath()->description()->utf8().c_str());
      visible_[k] = cell;
      bool selected = std::find(selected_.begin(), selected_.end(), k) != selected_.end();
      if (cell->isSelected() != selected) cell->setSelected(selected);
      UIView::performWithoutAnimation([&] {
        cell->setFrame(a->frame());
        cell->setAlpha(a->alpha());
        cell->setHidden(a->isHidden());
        if (cell->superview().get() != this) addSubview(cell);
        cell->layoutIfNeeded();
      });
      if (auto d = collectionDelegate()) d->collectionViewWillDisplayCell(self, cell, a->indexPath());
    } else if (a->representedElementCategory() == UICollectionElementCategorySupplementaryView) {
      SupplementaryKey k{textOf(a->representedElementKind()), key(a->indexPath())};
      auto it = supplementaries_.find(k);
      if (it != supplementaries_.end()) {
        if (it->second->frame() != a->frame()) it->second->setFrame(a->frame());
        continue;
      }
      auto view = ds->collectionViewViewForSupplementaryElementOfKind(self, a->representedElementKind(), a->indexPath());
      if (!view) continue;
      supplementaries_[k] = view;
      UIView::performWithoutAnimation([&] {
        view->setFrame(a->frame());
        if (view->superview().get() != this) addSubview(view);
        view->layoutIfNeeded();
      });
    }
  }
}

// --- what is on screen ----------------------------------------------------------------------------

std::vector<std::shared_ptr<UICollectionViewCell>> UICollectionView::visibleCells() const {
  std::vector<std::shared_ptr<UICollectionViewCell>> out;
  for (auto& [k, c] : visible_) out.push_back(c);
  return out;
}

std::vector<std::shared_ptr<NSIndexPath>> UICollectionView::indexPathsForVisibleItems() const {
  std::vector<std::shared_ptr<NSIndexPath>> out;
  for (auto& [k, c] : visible_) out.push_back(path(k));
  return out;
}

std::shared_ptr<UICollectionViewCell> UICollectionView::cellForItemAtIndexPath(
    const std::shared_ptr<NSIndexPath>& indexPath) const {
  if (!indexPath || indexPath->length() < 2) return nullptr;
  auto it = visible_.find(key(indexPath));
  return it == visible_.end() ? nullptr : it->second;
}

std::shared_ptr<NSIndexPath> UICollectionView::indexPathForCell(const std::shared_ptr<UICollectionViewCell>& cell) const {
  for (auto& [k, c] : visible_)
    if (c == cell) return path(k);
  return nullptr;
}

std::shared_ptr<NSIndexPath> UICollectionView::indexPathForItemAtPoint(CGPoint point) const {
  const_cast<UICollectionView*>(this)->prepareLayoutIfNeeded();
  if (!layout_) return nullptr;
  for (auto& a : layout_->layoutAttributesForElementsInRect(CGRectMake(point.x, point.y, 1, 1)))
    if (a->representedElementCategory() == UICollectionElementCategoryCell && CGRectContainsPoint(a->frame(), point))
      return a->indexPath();
  return nullptr;
}

std::vector<std::shared_ptr<UICollectionReusableView>> UICollectionView::visibleSupplementaryViewsOfKind(
    const std::shared_ptr<NSString>& kind) const {
  std::vector<std::shared_ptr<UICollectionReusableView>> out;
  for (auto& [k, v] : supplementaries_)
    if (k.kind == textOf(kind)) out.push_back(v);
  return out;
}

std::shared_ptr<UICollectionViewLayoutAttributes> UICollectionView::layoutAttributesForItemAtIndexPath(
    const std::shared_ptr<NSIndexPath>& indexPath) const {
  const_cast<UICollectionView*>(this)->prepareLayoutIfNeeded();
  return layout_ ? layout_->layoutAttributesForItemAtIndexPath(indexPath) : nullptr;
}

std::shared_ptr<UICollectionViewLayoutAttributes> UICollectionView::layoutAttributesForSupplementaryElementOfKind(
    const std::shared_ptr<NSString>& kind, const std::shared_ptr<NSIndexPath>& indexPath) const {
  const_cast<UICollectionView*>(this)->prepareLayoutIfNeeded();
  return layout_ ? layout_->layoutAttributesForSupplementaryViewOfKind(kind, indexPath) : nullptr;
}

void UICollectionView::scrollToItemAtIndexPath(const std::shared_ptr<NSIndexPath>& indexPath,
                                               UICollectionViewScrollPosition position, bool animated) {
  auto attributes = layoutAttributesForItemAtIndexPath(indexPath);
  if (!attributes)
    NSException::raise(NSInvalidArgumentException, "attempt to scroll to invalid index path: %s",
                       indexPath ? indexPath->description()->utf8().c_str() : "nil");
  CGRect item = attributes->frame();
  CGRect b = bounds();
  UIEdgeInsets inset = contentInset();
  CGPoint offset = contentOffset();
  if (position & UICollectionViewScrollPositionTop) offset.y = item.origin.y - inset.top;
  if (position & UICollectionViewScrollPositionCenteredVertically)
    offset.y = CGRectGetMidY(item) - inset.top - (b.size.height - inset.top - inset.bottom) / 2;
  if (position & UICollectionViewScrollPositionBottom) offset.y = CGRectGetMaxY(item) - b.size.height + inset.bottom;
  if (position & UICollectionViewScrollPositionLeft) offset.x = item.origin.x - inset.left;
  if (position & UICollectionViewScrollPositionCenteredHorizontally)
    offset.x = CGRectGetMidX(item) - inset.left - (b.size.width - inset.left - inset.right) / 2;
  if (position & UICollectionViewScrollPositionRight) offset.x = CGRectGetMaxX(item) - b.size.width + inset.right;
  if (position == UICollectionViewScrollPositionNone) {
    scrollRectToVisible(item, animated);
    return;
  }
  CGPoint lo = minimumContentOffset(), hi = maximumContentOffset();
  offset.x = std::clamp(offset.x, lo.x, hi.x);
  offset.y = std::clamp(offset.y, lo.y, hi.y);
  setContentOffset(offset, animated);
}

// --- selection ----------------------------------------------------------------------------------

std::vector<std::shared_ptr<NSIndexPath>> UICollectionView::indexPathsForSelectedItems() const {
  auto keys = selected_;
  std::sort(keys.begin(), keys.end());
  std::vector<std::shared_ptr<NSIndexPath>> out;
  for (auto& k : keys) out.push_back(path(k));
  return out;
}

void UICollectionView::setCellSelected(const Key& k, bool selected) {
  if (selected) {
    if (std::find(selected_.begin(), selected_.end(), k) == selected_.end()) selected_.push_back(k);
  } else {
    std::erase(selected_, k);
  }
  if (auto cell = cellForItemAtIndexPath(path(k))) cell->setSelected(selected);
}

void UICollectionView::selectItemAtIndexPath(const std::shared_ptr<NSIndexPath>& indexPath, bool animated,
                                             UICollectionViewScrollPosition position) {
  zvt::ui::assertMainThread("UICollectionView::selectItemAtIndexPath");
  if (!indexPath || !allowsSelection_) return;
  Key k = key(indexPath);
  if (!allowsMultipleSelection_) {
    auto selection = selected_;
    for (auto& old : selection)
      if (old != k) setCellSelected(old, false);
  }
  setCellSelected(k, true);
  if (position != UICollectionViewScrollPositionNone) scrollToItemAtIndexPath(indexPath, position, animated);
}

void UICollectionView::deselectItemAtIndexPath(const std::shared_ptr<NSIndexPath>& indexPath, bool) {
  zvt::ui::assertMainThread("UICollectionView::deselectItemAtIndexPath");
  if (!indexPath) return;
  setCellSelected(key(indexPath), false);
}

void UICollectionView::selectFromTouch(const Key& k) {
  auto self = collectionSelf();
  auto d = collectionDelegate();
  auto ip = path(k);
  bool already = std::find(selected_.begin(), selected_.end(), k) != selected_.end();
  if (allowsMultipleSelection_ && already) {
    if (d && !d->collectionViewShouldDeselectItemAtIndexPath(self, ip)) return;
    setCellSelected(k, false);
    if (d) d->collectionViewDidDeselectItemAtIndexPath(self, ip);
    return;
  }
  if (d && !d->collectionViewShouldSelectItemAtIndexPath(self, ip)) return;
  if (!allowsMultipleSelection_) {
    auto selection = selected_;
    for (auto& old : selection) {
      if (old == k) continue;
      setCellSelected(old, false);
      if (d) d->collectionViewDidDeselectItemAtIndexPath(self, path(old));
    }
  }
  setCellSelected(k, true);
  if (d) d->collectionViewDidSelectItemAtIndexPath(self, ip);
}

void UICollectionView::touchesBegan(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>&) {
  auto list = zvt::ui::membersOf<UITouch>(touches);
  if (list.empty() || !allowsSelection_ || touched_) return;
  auto self = collectionSelf();
  auto ip = indexPathForItemAtPoint(list.front()->locationInView(self));
  if (!ip) return;
  auto cell = cellForItemAtIndexPath(ip);
  if (!cell) return;
  auto d = collectionDelegate();
  if (d && !d->collectionViewShouldHighlightItemAtIndexPath(self, ip)) return;
  touched_ = key(ip);
  cell->setHighlighted(true);
  if (d) d->collectionViewDidHighlightItemAtIndexPath(self, ip);
}

void UICollectionView::touchesMoved(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>&) {
  if (!touched_) return;
  auto list = zvt::ui::membersOf<UITouch>(touches);
  if (list.empty()) return;
  auto ip = indexPathForItemAtPoint(list.front()->locationInView(collectionSelf()));
  if (ip && key(ip) == *touched_) return;
  touchesCancelled(touches, nullptr);
}

void UICollectionView::touchesEnded(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>&) {
  if (!touched_) return;
  Key k = *touched_;
  touched_.reset();
  auto self = collectionSelf();
  if (auto cell = cellForItemAtIndexPath(path(k))) cell->setHighlighted(false);
  auto list = zvt::ui::membersOf<UITouch>(touches);
  auto ip = list.empty() ? nullptr : indexPathForItemAtPoint(list.front()->locationInView(self));
  if (ip && key(ip) == k) selectFromTouch(k);
  if (auto d = collectionDelegate()) d->collectionViewDidUnhighlightItemAtIndexPath(self, path(k));
}

void UICollectionView::touchesCancelled(const std::shared_ptr<NSSet>&, const std::shared_ptr<UIEvent>&) {
  if (!touched_) return;
  Key k = *touched_;
  touched_.reset();
  if (auto cell = cellForItemAtIndexPath(path(k))) cell->setHighlighted(false);
  if (auto d = collectionDelegate()) d->collectionViewDidUnhighlightItemAtIndexPath(collectionSelf(), path(k));
}
