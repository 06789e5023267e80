#pragma once
// The home screen's content: the two-column product grid and, on the first run, the four-page
// guide whose start button is reported through `myBlock`.

#include <functional>
#include <memory>

#include "platform/uikit/UIButton.h"
#include "platform/uikit/UICollectionView.h"
#include "platform/uikit/UIScrollView.h"

class HomePageView : public UIView {
 public:
  using Block = std::function<void(const id& sender)>;
  void setUpWithFrame(CGRect frame) override;

  std::shared_ptr<UICollectionView> homePageCollectionView;
  // nil when no guide was built (the user-defaults boolean "isBeforeEnter" was YES) or after its
  // owner dismissed it. The owner adds it where it must cover the screen.
  std::shared_ptr<UIScrollView> guideScrollView;

  const Block& myBlock() const { return myBlock_; }
  void setMyBlock(Block block) { myBlock_ = std::move(block); }
  // The guide's start button.
  void buttonClick(const std::shared_ptr<UIButton>& sender);

 private:
  void createUI();
  void createGuideView();
  Block myBlock_;
};
