#pragma once
// The views of a collection view: reusable views (section headers and footers and other
// supplementary views) and cells, each with a reuse identifier and prepareForReuse, which the
// collection view calls just before dequeue hands one out again.

#include <memory>

#include "platform/uikit/UICollectionViewLayout.h"
#include "platform/uikit/UIView.h"

class UICollectionReusableView : public UIView {
 public:
  const std::shared_ptr<NSString>& reuseIdentifier() const { return reuseIdentifier_; }
  virtual void prepareForReuse() {}
  // The layout's attributes for the view (the collection view has already set the frame).
  virtual void applyLayoutAttributes(const std::shared_ptr<UICollectionViewLayoutAttributes>& /*attributes*/) {}

 private:
  friend class UICollectionView;
  std::shared_ptr<NSString> reuseIdentifier_;
};

class UICollectionViewCell : public UICollectionReusableView {
 public:
  void setUpWithFrame(CGRect frame) override;
  void setUpWithCoder(CGRect frame) override;
  // Subviews go here.
  std::shared_ptr<UIView> contentView();
  std::shared_ptr<UIView> backgroundView() const { return backgroundView_; }
  void setBackgroundView(const std::shared_ptr<UIView>& view);
  // Shown while selected or highlighted, when set.
  std::shared_ptr<UIView> selectedBackgroundView() const { return selectedBackgroundView_; }
  void setSelectedBackgroundView(const std::shared_ptr<UIView>& view);
  bool isSelected() const { return selected_; }
  virtual void setSelected(bool selected);
  bool isHighlighted() const { return highlighted_; }
  virtual void setHighlighted(bool highlighted);
  void layoutSubviews() override;

 private:
  void showSelectionBackground();
  std::shared_ptr<UIView> contentView_, backgroundView_, selectedBackgroundView_;
  bool selected_ = false;
  bool highlighted_ = false;
};
