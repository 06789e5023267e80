#pragma once
// Collection views (UICollectionView): a scroll view whose items and supplementary views a
// layout places (UICollectionViewLayout.h), with reuse pools for both.
//
// As with tables, only what intersects the visible bounds exists as views: layout asks the
// layout object for the attributes in the bounds, takes cells and supplementary views from the
// data source (which dequeues them from the pools: prepareForReuse, else a new one of the
// registered class or nib), and gives back those that left the view. Selection follows the
// finger as in tables (shouldHighlight, shouldSelect; in single selection the item selected
// before hears didDeselect; then didSelect). Several collection views may share one data source
// and delegate: every call names the collection view it is about (screens tell them apart by
// tag). Every reloadData ends with the scroll view's reload-data block.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/foundation/NSIndexPath.h"
#include "platform/foundation/NSIndexSet.h"
#include "platform/uikit/UICollectionViewCell.h"
#include "platform/uikit/UICollectionViewLayout.h"
#include "platform/uikit/UIScrollView.h"

class UINib;


enum UICollectionViewScrollPosition : NSUInteger {
  UICollectionViewScrollPositionNone = 0,
  UICollectionViewScrollPositionTop = 1 << 0,
  UICollectionViewScrollPositionCenteredVertically = 1 << 1,
  UICollectionViewScrollPositionBottom = 1 << 2,
  UICollectionViewScrollPositionLeft = 1 << 3,
  UICollectionViewScrollPositionCenteredHorizontally = 1 << 4,
  UICollectionViewScrollPositionRight = 1 << 5,
};

// UICollectionViewDataSource (selector pieces joined, as for tables).
class UICollectionViewDataSource {
 public:
  virtual ~UICollectionViewDataSource() = default;
  virtual NSInteger collectionViewNumberOfItemsInSection(const std::shared_ptr<UICollectionView>& collectionView,
                                                         NSInteger section) = 0;
  virtual std::shared_ptr<UICollectionViewCell> collectionViewCellForItemAtIndexPath(
      const std::shared_ptr<UICollectionView>& collectionView, const std::shared_ptr<NSIndexPath>& indexPath) = 0;
  virtual NSInteger numberOfSectionsInCollectionView(const std::shared_ptr<UICollectionView>& /*collectionView*/) {
    return 1;
  }
  virtual std::shared_ptr<UICollectionReusableView> collectionViewViewForSupplementaryElementOfKind(
      const std::shared_ptr<UICollectionView>& /*collectionView*/, const std::shared_ptr<NSString>& /*kind*/,
      const std::shared_ptr<NSIndexPath>& /*indexPath*/) {
    return nullptr;
  }
};

class UICollectionViewDelegate : public virtual UIScrollViewDelegate {
 public:
  virtual bool collectionViewShouldHighlightItemAtIndexPath(const std::shared_ptr<UICollectionView>& /*collectionView*/,
                                                            const std::shared_ptr<NSIndexPath>& /*indexPath*/) {
    return true;
  }
  virtual void collectionViewDidHighlightItemAtIndexPath(const std::shared_ptr<UICollectionView>& /*collectionView*/,
                                                         const std::shared_ptr<NSIndexPath>& /*indexPath*/) {}
  virtual void collectionViewDidUnhighlightItemAtIndexPath(const std::shared_ptr<UICollectionView>& /*collectionView*/,
                                                           const std::shared_ptr<NSIndexPath>& /*indexPath*/) {}
  virtual bool collectionViewShouldSelectItemAtIndexPath(const std::shared_ptr<UICollectionView>& /*collectionView*/,
                                                         const std::shared_ptr<NSIndexPath>& /*indexPath*/) {
    return true;
  }
  virtual bool collectionViewShouldDeselectItemAtIndexPath(const std::shared_ptr<UICollectionView>& /*collectionView*/,
                                                           const std::shared_ptr<NSIndexPath>& /*indexPath*/) {
    return true;
  }
  virtual void collectionViewDidSelectItemAtIndexPath(const std::shared_ptr<UICollectionView>& /*collectionView*/,
                                                      const std::shared_ptr<NSIndexPath>& /*indexPath*/) {}
  virtual void collectionViewDidDeselectItemAtIndexPath(const std::shared_ptr<UICollectionView>& /*collectionView*/,
                                                        const std::shared_ptr<NSIndexPath>& /*indexPath*/) {}
  virtual void collectionViewWillDisplayCell(const std::shared_ptr<UICollectionView>& /*collectionView*/,
                                             const std::shared_ptr<UICollectionViewCell>& /*cell*/,
                                             const std::shared_ptr<NSIndexPath>& /*indexPath*/) {}
  virtual void collectionViewDidEndDisplayingCell(const std::shared_ptr<UICollectionView>& /*collectionView*/,
                                                  const std::shared_ptr<UICollectionViewCell>& /*cell*/,
                                                  const std::shared_ptr<NSIndexPath>& /*indexPath*/) {}
};

// UICollectionViewDelegateFlowLayout. Each answers the flow layout's own property by default.
class UICollectionViewDelegateFlowLayout : public virtual UICollectionViewDelegate {
 public:
  virtual CGSize collectionViewLayoutSizeForItemAtIndexPath(const std::shared_ptr<UICollectionView>& collectionView,
                                                            const std::shared_ptr<UICollectionViewLayout>& layout,
                                                            const std::shared_ptr<NSIndexPath>& indexPath);
  virtual UIEdgeInsets collectionViewLayoutInsetForSectionAtIndex(const std::shared_ptr<UICollectionView>& collectionView,
                                                                  const std::shared_ptr<UICollectionViewLayout>& layout,
                                                                  NSInteger section);
  virtual CGFloat collectionViewLayoutMinimumLineSpacingForSectionAtIndex(
      const std::shared_ptr<UICollectionView>& collectionView, const std::shared_ptr<UICollectionViewLayout>& layout,
      NSInteger section);
  virtual CGFloat collectionViewLayoutMinimumInteritemSpacingForSectionAtIndex(
      const std::shared_ptr<UICollectionView>& collectionView, const std::shared_ptr<UICollectionViewLayout>& layout,
      NSInteger section);
  virtual CGSize collectionViewLayoutReferenceSizeForHeaderInSection(
      const std::shared_ptr<UICollectionView>& collectionView, const std::shared_ptr<UICollectionViewLayout>& layout,
      NSInteger section);
  virtual CGSize collectionViewLayoutReferenceSizeForFooterInSection(
      const std::shared_ptr<UICollectionView>& collectionView, const std::shared_ptr<UICollectionViewLayout>& layout,
      NSInteger section);
};

class UICollectionView : public UIScrollView {
 public:
  UICollectionView();
  ~UICollectionView() override;
  // initWithFrame:collectionViewLayout: (the layout is required, as in UIKit).
  static std::shared_ptr<UICollectionView> initWithFrame(CGRect frame,
                                                         const std::shared_ptr<UICollectionViewLayout>& layout);
  template <class T>
  static std::shared_ptr<T> makeCollectionView(CGRect frame, const std::shared_ptr<UICollectionViewLayout>& layout) {
    auto view = std::make_shared<T>();
    view->setUpWithFrame(frame);
    view->setCollectionViewLayout(layout);
    return view;
  }
  void setUpWithFrame(CGRect frame) override;
  void setUpWithCoder(CGRect frame) override;

  std::shared_ptr<UICollectionViewLayout> collectionViewLayout() const { return layout_; }
  void setCollectionViewLayout(const std::shared_ptr<UICollectionViewLayout>& layout);
  std::shared_ptr<UICollectionViewDataSource> dataSource() const { return dataSource_.lock(); }
  void setDataSource(const std::shared_ptr<UICollectionViewDataSource>& dataSource);
  std::shared_ptr<UICollectionViewDelegate> collectionDelegate() const { return collectionDelegate_.lock(); }
  // Also the scroll view's delegate.
  void setDelegate(const std::shared_ptr<UICollectionViewDelegate>& delegate);
  std::shared_ptr<UIView> backgroundView() const { return backgroundView_; }
  void setBackgroundView(const std::shared_ptr<UIView>& view);

  // --- reuse
  using CellFactory = std::function<std::shared_ptr<UICollectionViewCell>(CGRect frame)>;
  using ViewFactory = std::function<std::shared_ptr<UICollectionReusableView>(CGRect frame)>;
  template <class C>
  void registerClass(const std::shared_ptr<NSString>& identifier) {
    registerCellFactory([](CGRect frame) { return UIView::makeView<C>(frame); }, identifier);
  }
  // registerClass:forSupplementaryViewOfKind:withReuseIdentifier:.
  template <class C>
  void registerClass(const std::shared_ptr<NSString>& kind, const std::shared_ptr<NSString>& identifier) {
    registerSupplementaryFactory([](CGRect frame) { return UIView::makeView<C>(frame); }, kind, identifier);
  }
  void registerCellFactory(CellFactory factory, const std::shared_ptr<NSString>& identifier);
  void registerSupplementaryFactory(ViewFactory factory, const std::shared_ptr<NSString>& kind,
                                    const std::shared_ptr<NSString>& identifier);
  // Cells (supplementary views) of the nib: its first top-level object.
  void registerNib(const std::shared_ptr<UINib>& nib, const std::shared_ptr<NSString>& identifier);
  void registerNib(const std::shared_ptr<UINib>& nib, const std::shared_ptr<NSString>& kind,
                   const std::shared_ptr<NSString>& identifier);
  // From the pool (prepareForReuse called) or made; raises NSInternalInconsistencyException when
  // nothing is registered for the identifier, as UIKit does.
  std::shared_ptr<UICollectionViewCell> dequeueReusableCellWithReuseIdentifier(
      const std::shared_ptr<NSString>& identifier, const std::shared_ptr<NSIndexPath>& indexPath);
  std::shared_ptr<UICollectionReusableView> dequeueReusableSupplementaryViewOfKind(
      const std::shared_ptr<NSString>& kind, const std::shared_ptr<NSString>& identifier,
      const std::shared_ptr<NSIndexPath>& indexPath);

  // --- data
  void reloadData();
  void reloadItemsAtIndexPaths(const std::vector<std::shared_ptr<NSIndexPath>>& indexPaths);
  void reloadSections(const std::shared_ptr<NSIndexSet>& sections);
  NSInteger numberOfSections() const;
  NSInteger numberOfItemsInSection(NSInteger section) const;
  NSInteger totalDataCount() const override;

  // --- what is on screen
  std::vector<std::shared_ptr<UICollectionViewCell>> visibleCells() const;
  std::vector<std::shared_ptr<NSIndexPath>> indexPathsForVisibleItems() const;
  std::shared_ptr<UICollectionViewCell> cellForItemAtIndexPath(const std::shared_ptr<NSIndexPath>& indexPath) const;
  std::shared_ptr<NSIndexPath> indexPathForCell(const std::shared_ptr<UICollectionViewCell>& cell) const;
  std::shared_ptr<NSIndexPath> indexPathForItemAtPoint(CGPoint point) const;
  std::vector<std::shared_ptr<UICollectionReusableView>> visibleSupplementaryViewsOfKind(
      const std::shared_ptr<NSString>& kind) const;
  std::shared_ptr<UICollectionViewLayoutAttributes> layoutAttributesForItemAtIndexPath(
      const std::shared_ptr<NSIndexPath>& indexPath) const;
  std::shared_ptr<UICollectionViewLayoutAttributes> layoutAttributesForSupplementaryElementOfKind(
      const std::shared_ptr<NSString>& kind, const std::shared_ptr<NSIndexPath>& indexPath) const;
  void scrollToItemAtIndexPath(const std::shared_ptr<NSIndexPath>& indexPath, UICollectionViewScrollPosition position,
                               bool animated);

  // --- selection
  bool allowsSelection() const { return allowsSelection_; }
  void setAllowsSelection(bool allows) { allowsSelection_ = allows; }
  bool allowsMultipleSelection() const { return allowsMultipleSelection_; }
  void setAllowsMultipleSelection(bool allows) { allowsMultipleSelection_ = allows; }
  std::vector<std::shared_ptr<NSIndexPath>> indexPathsForSelectedItems() const;
  // Without delegate calls.
  void selectItemAtIndexPath(const std::shared_ptr<NSIndexPath>& indexPath, bool animated,
                             UICollectionViewScrollPosition position);
  void deselectItemAtIndexPath(const std::shared_ptr<NSIndexPath>& indexPath, bool animated);

  void layoutSubviews() override;
  void touchesBegan(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override;
  void touchesMoved(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override;
  void touchesEnded(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override;
  void touchesCancelled(const std::shared_ptr<NSSet>& touches, const std::shared_ptr<UIEvent>& event) override;

  // Test support: how many cells and supplementary views the registrations have made.
  NSInteger viewsMadeCount() const { return viewsMade_; }

 protected:
  void boundsDidChange(CGRect oldBounds) override;

 private:
  using Key = std::pair<NSInteger, NSInteger>;
  struct SupplementaryKey {
    std::string kind;
    Key key;
    bool operator<(const SupplementaryKey& o) const { return std::tie(kind, key) < std::tie(o.kind, o.key); }
    bool operator==(const SupplementaryKey& o) const { return kind == o.kind && key == o.key; }
  };
  std::shared_ptr<UICollectionView> collectionSelf() const {
    return std::static_pointer_cast<UICollectionView>(viewSelf());
  }
  void loadCounts();
  void prepareLayoutIfNeeded();
  void layoutElements();
  void recycleCell(const Key& key);
  void recycleSupplementary(const SupplementaryKey& key);
  void enqueue(const std::shared_ptr<UICollectionReusableView>& view, const std::string& pool);
  std::shared_ptr<UICollectionReusableView> dequeue(const std::string& pool, const std::string& factory,
                                                    const std::shared_ptr<NSIndexPath>& indexPath,
                                                    const std::shared_ptr<UICollectionViewLayoutAttributes>& attributes);
  void selectFromTouch(const Key& key);
  void setCellSelected(const Key& key, bool selected);
  static std::shared_ptr<NSIndexPath> path(const Key& key) { return NSIndexPath::indexPathForItem(key.second, key.first); }
  static Key key(const std::shared_ptr<NSIndexPath>& path) { return {path->section(), path->item()}; }

  std::shared_ptr<UICollectionViewLayout> layout_;
  std::weak_ptr<UICollectionViewDataSource> dataSource_;
  std::weak_ptr<UICollectionViewDelegate> collectionDelegate_;
  std::shared_ptr<UIView> backgroundView_;
  std::vector<NSInteger> counts_;
  bool needsReload_ = true;
  std::map<Key, std::shared_ptr<UICollectionViewCell>> visible_;
  std::map<SupplementaryKey, std::shared_ptr<UICollectionReusableView>> supplementaries_;
  // Pools and factories by "cell/<identifier>" or "<kind>/<identifier>".
  std::unordered_map<std::string, std::vector<std::shared_ptr<UICollectionReusableView>>> pools_;
  std::unordered_map<std::string, std::function<std::shared_ptr<UICollectionReusableView>(CGRect)>> factories_;
  std::vector<Key> selected_;
  bool allowsSelection_ = true;
  bool allowsMultipleSelection_ = false;
  std::optional<Key> touched_;
  NSInteger viewsMade_ = 0;
  CGSize layoutSize_{};
};
