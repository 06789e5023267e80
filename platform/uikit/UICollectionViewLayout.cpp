#include "platform/uikit/UICollectionViewLayout.h"

#include <algorithm>
#include <cmath>

#include "platform/uikit/UICollectionView.h"

// --- attributes ----------------------------------------------------------------------------------

std::shared_ptr<UICollectionViewLayoutAttributes> UICollectionViewLayoutAttributes::layoutAttributesForCellWithIndexPath(
    const std::shared_ptr<NSIndexPath>& indexPath) {
  auto a = std::make_shared<UICollectionViewLayoutAttributes>();
  a->indexPath_ = indexPath;
  return a;
}

std::shared_ptr<UICollectionViewLayoutAttributes>
UICollectionViewLayoutAttributes::layoutAttributesForSupplementaryViewOfKind(const std::shared_ptr<NSString>& kind,
                                                                            const std::shared_ptr<NSIndexPath>& indexPath) {
  auto a = std::make_shared<UICollectionViewLayoutAttributes>();
  a->indexPath_ = indexPath;
  a->category_ = UICollectionElementCategorySupplementaryView;
  a->kind_ = kind;
  return a;
}

void UICollectionViewLayoutAttributes::setCenter(CGPoint center) {
  frame_.origin = CGPointMake(center.x - frame_.size.width / 2, center.y - frame_.size.height / 2);
}

void UICollectionViewLayoutAttributes::setSize(CGSize size) {
  CGPoint c = center();
  frame_.size = size;
  setCenter(c);
}

std::shared_ptr<NSString> UICollectionViewLayoutAttributes::description() const {
  std::string text = "<UICollectionViewLayoutAttributes: index path: (" +
                     std::to_string(indexPath_ ? indexPath_->section() : -1) + "-" +
                     std::to_string(indexPath_ ? indexPath_->item() : -1) + ")";
  if (kind_) text += "; element kind: (" + kind_->utf8() + ")";
  text += "; frame = " + NSStringFromCGRect(frame_)->utf8() + ">";
  return NSString::fromValidUTF8(std::move(text));
}

// --- the base layout -------------------------------------------------------------------------------

std::vector<std::shared_ptr<UICollectionViewLayoutAttributes>> UICollectionViewLayout::layoutAttributesForElementsInRect(
    CGRect) const {
  return {};
}

std::shared_ptr<UICollectionViewLayoutAttributes> UICollectionViewLayout::layoutAttributesForItemAtIndexPath(
    const std::shared_ptr<NSIndexPath>&) const {
  return nullptr;
}

std::shared_ptr<UICollectionViewLayoutAttributes> UICollectionViewLayout::layoutAttributesForSupplementaryViewOfKind(
    const std::shared_ptr<NSString>&, const std::shared_ptr<NSIndexPath>&) const {
  return nullptr;
}

bool UICollectionViewLayout::shouldInvalidateLayoutForBoundsChange(CGRect) const { return false; }

void UICollectionViewLayout::invalidateLayout() {
  prepared_ = false;
  if (auto view = collectionView()) view->setNeedsLayout();
}

// --- the flow layout ---------------------------------------------------------------------------------

void UICollectionViewFlowLayout::prepareLayout() {
  sections_.clear();
  contentSize_ = CGSizeZero;
  auto view = collectionView();
  if (!view) return;
  auto self = std::static_pointer_cast<UICollectionViewLayout>(this->self());
  auto flow = std::dynamic_pointer_cast<UICollectionViewDelegateFlowLayout>(view->collectionDelegate());
  bool vertical = scrollDirection_ == UICollectionViewScrollDirectionVertical;
  CGSize bounds = view->bounds().size;
  preparedFor_ = bounds;
  // "Along" is the scroll direction, "across" the other axis.
  CGFloat crossLength = vertical ? bounds.width : bounds.height;
  CGFloat position = 0;
  NSInteger sectionCount = view->numberOfSections();
  for (NSInteger s = 0; s < sectionCount; ++s) {
    Section section;
    section.start = position;
    auto sectionPath = NSIndexPath::indexPathForItem(0, s);
    CGSize header = flow ? flow->collectionViewLayoutReferenceSizeForHeaderInSection(view, self, s) : headerReferenceSize_;
    CGFloat headerLength = vertical ? header.height : header.width;
    if (headerLength > 0) {
      section.header = UICollectionViewLayoutAttributes::layoutAttributesForSupplementaryViewOfKind(
          UICollectionElementKindSectionHeader, sectionPath);
      section.header->setFrame(vertical ? CGRectMake(0, position, crossLength, headerLength)
                                        : CGRectMake(position, 0, headerLength, crossLength));
      position += headerLength;
    }
    UIEdgeInsets inset = flow ? flow->collectionViewLayoutInsetForSectionAtIndex(view, self, s) : sectionInset_;
    CGFloat lineSpacing = flow ? flow->collectionViewLayoutMinimumLineSpacingForSectionAtIndex(view, self, s)
                               : minimumLineSpacing_;
    CGFloat itemSpacing = flow ? flow->collectionViewLayoutMinimumInteritemSpacingForSectionAtIndex(view, self, s)
                               : minimumInteritemSpacing_;
    CGFloat leadInset = vertical ? inset.top : inset.left, tailInset = vertical ? inset.bottom : inset.right;
    CGFloat crossStart = vertical ? inset.left : inset.top;
    CGFloat available = crossLength - crossStart - (vertical ? inset.right : inset.bottom);
    position += leadInset;
    NSInteger count = view->numberOfItemsInSection(s);
    std::vector<CGSize> sizes;
    sizes.reserve(static_cast<size_t>(count));
    for (NSInteger i = 0; i < count; ++i)
      sizes.push_back(flow ? flow->collectionViewLayoutSizeForItemAtIndexPath(view, self, NSIndexPath::indexPathForItem(i, s))
                           : itemSize_);
    auto along = [&](CGSize size) { return vertical ? size.height : size.width; };
    auto across = [&](CGSize size) { return vertical ? size.width : size.height; };
    size_t first = 0;
    bool anyLine = false;
    while (first < sizes.size()) {
      // As many items as fit across, at least one.
      size_t last = first + 1;
      CGFloat used = across(sizes[first]);
      while (last < sizes.size() && used + itemSpacing + across(sizes[last]) <= available + 1e-9) {
        used += itemSpacing + across(sizes[last]);
        ++last;
      }
      if (anyLine) position += lineSpacing;
      anyLine = true;
      CGFloat lineLength = 0;
      CGFloat widths = 0;
      for (size_t i = first; i < last; ++i) {
        lineLength = std::max(lineLength, along(sizes[i]));
        widths += across(sizes[i]);
      }
      size_t n = last - first;
      // Several items spread over the line; one alone is centred.
      CGFloat gap = n > 1 ? (available - widths) / static_cast<CGFloat>(n - 1) : 0;
      CGFloat cross = n > 1 ? crossStart : crossStart + (available - widths) / 2;
      for (size_t i = first; i < last; ++i) {
        auto a = UICollectionViewLayoutAttributes::layoutAttributesForCellWithIndexPath(
            NSIndexPath::indexPathForItem(static_cast<NSInteger>(i), s));
        CGFloat offset = (lineLength - along(sizes[i])) / 2;
        a->setFrame(vertical ? CGRectMake(cross, position + offset, sizes[i].width, sizes[i].height)
                             : CGRectMake(position + offset, cross, sizes[i].width, sizes[i].height));
        section.items.push_back(a);
        cross += across(sizes[i]) + gap;
      }
      section.lines.push_back(Line{position, position + lineLength, first, last});
      position += lineLength;
      first = last;
    }
    position += tailInset;
    CGSize footer = flow ? flow->collectionViewLayoutReferenceSizeForFooterInSection(view, self, s) : footerReferenceSize_;
    CGFloat footerLength = vertical ? footer.height : footer.width;
    if (footerLength > 0) {
      section.footer = UICollectionViewLayoutAttributes::layoutAttributesForSupplementaryViewOfKind(
          UICollectionElementKindSectionFooter, sectionPath);
      section.footer->setFrame(vertical ? CGRectMake(0, position, crossLength, footerLength)
                                        : CGRectMake(position, 0, footerLength, crossLength));
      position += footerLength;
    }
    section.end = position;
    sections_.push_back(std::move(section));
  }
  contentSize_ = vertical ? CGSizeMake(crossLength, position) : CGSizeMake(position, crossLength);
}

std::vector<std::shared_ptr<UICollectionViewLayoutAttributes>> UICollectionViewFlowLayout::layoutAttributesForElementsInRect(
    CGRect rect) const {
  std::vector<std::shared_ptr<UICollectionViewLayoutAttributes>> out;
  bool vertical = scrollDirection_ == UICollectionViewScrollDirectionVertical;
  CGFloat from = vertical ? rect.origin.y : rect.origin.x;
  CGFloat to = vertical ? CGRectGetMaxY(rect) : CGRectGetMaxX(rect);
  for (const auto& section : sections_) {
    if (section.end <= from || section.start >= to) continue;
    if (section.header && CGRectIntersectsRect(section.header->frame(), rect)) out.push_back(section.header);
    auto line = std::upper_bound(section.lines.begin(), section.lines.end(), from,
                                 [](CGFloat y, const Line& l) { return y < l.end; });
    for (; line != section.lines.end() && line->start < to; ++line)
      for (size_t i = line->first; i < line->last; ++i)
        if (CGRectIntersectsRect(section.items[i]->frame(), rect)) out.push_back(section.items[i]);
    if (section.footer && CGRectIntersectsRect(section.footer->frame(), rect)) out.push_back(section.footer);
  }
  return out;
}

std::shared_ptr<UICollectionViewLayoutAttributes> UICollectionViewFlowLayout::layoutAttributesForItemAtIndexPath(
    const std::shared_ptr<NSIndexPath>& indexPath) const {
  if (!indexPath || indexPath->length() < 2) return nullptr;
  auto s = static_cast<size_t>(indexPath->section()), i = static_cast<size_t>(indexPath->item());
  if (s >= sections_.size() || i >= sections_[s].items.size()) return nullptr;
  return sections_[s].items[i];
}

std::shared_ptr<UICollectionViewLayoutAttributes> UICollectionViewFlowLayout::layoutAttributesForSupplementaryViewOfKind(
    const std::shared_ptr<NSString>& kind, const std::shared_ptr<NSIndexPath>& indexPath) const {
  if (!kind || !indexPath) return nullptr;
  auto s = static_cast<size_t>(indexPath->section());
  if (s >= sections_.size()) return nullptr;
  if (kind->isEqualToString(UICollectionElementKindSectionHeader)) return sections_[s].header;
  if (kind->isEqualToString(UICollectionElementKindSectionFooter)) return sections_[s].footer;
  return nullptr;
}

bool UICollectionViewFlowLayout::shouldInvalidateLayoutForBoundsChange(CGRect newBounds) const {
  bool vertical = scrollDirection_ == UICollectionViewScrollDirectionVertical;
  return vertical ? newBounds.size.width != preparedFor_.width : newBounds.size.height != preparedFor_.height;
}

// --- the flow delegate's defaults: the layout's properties ----------------------------------------

namespace {
std::shared_ptr<UICollectionViewFlowLayout> flowOf(const std::shared_ptr<UICollectionViewLayout>& layout) {
  return std::dynamic_pointer_cast<UICollectionViewFlowLayout>(layout);
}
}  // namespace

CGSize UICollectionViewDelegateFlowLayout::collectionViewLayoutSizeForItemAtIndexPath(
    const std::shared_ptr<UICollectionView>&, const std::shared_ptr<UICollectionViewLayout>& layout,
    const std::shared_ptr<NSIndexPath>&) {
  auto flow = flowOf(layout);
  return flow ? flow->itemSize() : CGSizeMake(50, 50);
}

UIEdgeInsets UICollectionViewDelegateFlowLayout::collectionViewLayoutInsetForSectionAtIndex(
    const std::shared_ptr<UICollectionView>&, const std::shared_ptr<UICollectionViewLayout>& layout, NSInteger) {
  auto flow = flowOf(layout);
  return flow ? flow->sectionInset() : UIEdgeInsetsZero;
}

CGFloat UICollectionViewDelegateFlowLayout::collectionViewLayoutMinimumLineSpacingForSectionAtIndex(
    const std::shared_ptr<UICollectionView>&, const std::shared_ptr<UICollectionViewLayout>& layout, NSInteger) {
  auto flow = flowOf(layout);
  return flow ? flow->minimumLineSpacing() : 10;
}

CGFloat UICollectionViewDelegateFlowLayout::collectionViewLayoutMinimumInteritemSpacingForSectionAtIndex(
    const std::shared_ptr<UICollectionView>&, const std::shared_ptr<UICollectionViewLayout>& layout, NSInteger) {
  auto flow = flowOf(layout);
  return flow ? flow->minimumInteritemSpacing() : 10;
}

CGSize UICollectionViewDelegateFlowLayout::collectionViewLayoutReferenceSizeForHeaderInSection(
    const std::shared_ptr<UICollectionView>&, const std::shared_ptr<UICollectionViewLayout>& layout, NSInteger) {
  auto flow = flowOf(layout);
  return flow ? flow->headerReferenceSize() : CGSizeZero;
}

CGSize UICollectionViewDelegateFlowLayout::collectionViewLayoutReferenceSizeForFooterInSection(
    const std::shared_ptr<UICollectionView>&, const std::shared_ptr<UICollectionViewLayout>& layout, NSInteger) {
  auto flow = flowOf(layout);
  return flow ? flow->footerReferenceSize() : CGSizeZero;
}
