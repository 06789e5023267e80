#pragma once
// Collection view layouts: where each item and supplementary view of a collection view goes.
//
// UICollectionViewFlowLayout lines items up along the scroll direction's cross axis: in a
// vertical layout, rows as wide as the collection view minus the section's insets, items at
// least minimumInteritemSpacing apart, rows minimumLineSpacing apart. A row with several items
// spreads them over its whole width (its first item at the left inset, its last at the right
// one); a row of one item centres it; items smaller than their row are centred in its height.
// A section's header and footer span the collection view's width at their reference heights,
// before the section's top inset and after its bottom one. A horizontal layout is the same with
// the axes exchanged. Sizes, insets, spacings and reference sizes come from the delegate
// (UICollectionViewDelegateFlowLayout) where it answers, else from the layout's properties.

#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/NSIndexPath.h"
#include "platform/foundation/NSString.h"
#include "platform/graphics/UIGeometry.h"

class UICollectionView;

enum UICollectionElementCategory : NSUInteger {
  UICollectionElementCategoryCell,
  UICollectionElementCategorySupplementaryView,
  UICollectionElementCategoryDecorationView,
};

inline const zvt::StaticString UICollectionElementKindSectionHeader{"UICollectionElementKindSectionHeader"};
inline const zvt::StaticString UICollectionElementKindSectionFooter{"UICollectionElementKindSectionFooter"};

enum UICollectionViewScrollDirection : NSInteger {
  UICollectionViewScrollDirectionVertical,
  UICollectionViewScrollDirectionHorizontal,
};

class UICollectionViewLayoutAttributes : public NSObject {
 public:
  static std::shared_ptr<UICollectionViewLayoutAttributes> layoutAttributesForCellWithIndexPath(
      const std::shared_ptr<NSIndexPath>& indexPath);
  static std::shared_ptr<UICollectionViewLayoutAttributes> layoutAttributesForSupplementaryViewOfKind(
      const std::shared_ptr<NSString>& kind, const std::shared_ptr<NSIndexPath>& indexPath);

  CGRect frame() const { return frame_; }
  void setFrame(CGRect frame) { frame_ = frame; }
  CGPoint center() const { return CGPointMake(CGRectGetMidX(frame_), CGRectGetMidY(frame_)); }
  void setCenter(CGPoint center);
  CGSize size() const { return frame_.size; }
  void setSize(CGSize size);
  CGFloat alpha() const { return alpha_; }
  void setAlpha(CGFloat alpha) { alpha_ = alpha; }
  bool isHidden() const { return hidden_; }
  void setHidden(bool hidden) { hidden_ = hidden; }
  NSInteger zIndex() const { return zIndex_; }
  void setZIndex(NSInteger z) { zIndex_ = z; }
  const std::shared_ptr<NSIndexPath>& indexPath() const { return indexPath_; }
  UICollectionElementCategory representedElementCategory() const { return category_; }
  // nil for cells.
  const std::shared_ptr<NSString>& representedElementKind() const { return kind_; }

  std::shared_ptr<NSString> description() const override;

 private:
  CGRect frame_{};
  CGFloat alpha_ = 1;
  bool hidden_ = false;
  NSInteger zIndex_ = 0;
  std::shared_ptr<NSIndexPath> indexPath_;
  UICollectionElementCategory category_ = UICollectionElementCategoryCell;
  std::shared_ptr<NSString> kind_;
};

class UICollectionViewLayout : public NSObject {
 public:
  std::shared_ptr<UICollectionView> collectionView() const { return collectionView_.lock(); }
  // Called before the layout is asked anything after an invalidation.
  virtual void prepareLayout() {}
  virtual CGSize collectionViewContentSize() const { return CGSizeZero; }
  virtual std::vector<std::shared_ptr<UICollectionViewLayoutAttributes>> layoutAttributesForElementsInRect(
      CGRect rect) const;
  virtual std::shared_ptr<UICollectionViewLayoutAttributes> layoutAttributesForItemAtIndexPath(
      const std::shared_ptr<NSIndexPath>& indexPath) const;
  virtual std::shared_ptr<UICollectionViewLayoutAttributes> layoutAttributesForSupplementaryViewOfKind(
      const std::shared_ptr<NSString>& kind, const std::shared_ptr<NSIndexPath>& indexPath) const;
  // Whether a change of the collection view's bounds asks for a new layout (scrolling does not).
  virtual bool shouldInvalidateLayoutForBoundsChange(CGRect newBounds) const;
  void invalidateLayout();
  bool isPrepared() const { return prepared_; }

 private:
  friend class UICollectionView;
  std::weak_ptr<UICollectionView> collectionView_;
  bool prepared_ = false;
};

class UICollectionViewFlowLayout : public UICollectionViewLayout {
 public:
  static std::shared_ptr<UICollectionViewFlowLayout> make() { return std::make_shared<UICollectionViewFlowLayout>(); }

  CGSize itemSize() const { return itemSize_; }
  void setItemSize(CGSize size) { itemSize_ = size; invalidateLayout(); }
  CGFloat minimumLineSpacing() const { return minimumLineSpacing_; }
  void setMinimumLineSpacing(CGFloat spacing) { minimumLineSpacing_ = spacing; invalidateLayout(); }
  CGFloat minimumInteritemSpacing() const { return minimumInteritemSpacing_; }
  void setMinimumInteritemSpacing(CGFloat spacing) { minimumInteritemSpacing_ = spacing; invalidateLayout(); }
  UIEdgeInsets sectionInset() const { return sectionInset_; }
  void setSectionInset(UIEdgeInsets inset) { sectionInset_ = inset; invalidateLayout(); }
  CGSize headerReferenceSize() const { return headerReferenceSize_; }
  void setHeaderReferenceSize(CGSize size) { headerReferenceSize_ = size; invalidateLayout(); }
  CGSize footerReferenceSize() const { return footerReferenceSize_; }
  void setFooterReferenceSize(CGSize size) { footerReferenceSize_ = size; invalidateLayout(); }
  UICollectionViewScrollDirection scrollDirection() const { return scrollDirection_; }
  void setScrollDirection(UICollectionViewScrollDirection direction) { scrollDirection_ = direction; invalidateLayout(); }

  void prepareLayout() override;
  CGSize collectionViewContentSize() const override { return contentSize_; }
  std::vector<std::shared_ptr<UICollectionViewLayoutAttributes>> layoutAttributesForElementsInRect(
      CGRect rect) const override;
  std::shared_ptr<UICollectionViewLayoutAttributes> layoutAttributesForItemAtIndexPath(
      const std::shared_ptr<NSIndexPath>& indexPath) const override;
  std::shared_ptr<UICollectionViewLayoutAttributes> layoutAttributesForSupplementaryViewOfKind(
      const std::shared_ptr<NSString>& kind, const std::shared_ptr<NSIndexPath>& indexPath) const override;
  bool shouldInvalidateLayoutForBoundsChange(CGRect newBounds) const override;

 private:
  struct Line {
    CGFloat start, end;  // along the scroll direction
    size_t first, last;  // item indexes in the section, last exclusive
  };
  struct Section {
    std::shared_ptr<UICollectionViewLayoutAttributes> header, footer;
    std::vector<std::shared_ptr<UICollectionViewLayoutAttributes>> items;
    std::vector<Line> lines;
    CGFloat start = 0, end = 0;
  };

  CGSize itemSize_{50, 50};
  CGFloat minimumLineSpacing_ = 10;
  CGFloat minimumInteritemSpacing_ = 10;
  UIEdgeInsets sectionInset_{};
  CGSize headerReferenceSize_{};
  CGSize footerReferenceSize_{};
  UICollectionViewScrollDirection scrollDirection_ = UICollectionViewScrollDirectionVertical;
  std::vector<Section> sections_;
  CGSize contentSize_{};
  CGSize preparedFor_{};
};
