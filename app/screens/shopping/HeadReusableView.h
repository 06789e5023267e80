#pragma once
// The home grid's section header: up to five stacked blocks whose items the configuration
// gives (the lists "banner", "nav", "middleBanner", "blockBanner", "fixedBanner"). Built from the
// cache database at once and again from each fresh configuration; its height is remembered
// under "HomeHeaderH".

#include <memory>

#include "app/screens/shopping/HomeHeaderBlocks.h"
#include "app/screens/shopping/OrvakAdRoll.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/uikit/UICollectionViewCell.h"

class HeadReusableView : public UICollectionReusableView {
 public:
  void setUpWithFrame(CGRect frame) override;

  // Reads "HomeHeaderH" and the five cached lists, then rebuilds from them.
  void getCacheInfo();
  // Rebuilds the blocks from the lists under "banner", "nav", "middleBanner", "blockBanner" and
  // "fixedBanner"; a missing or empty list removes its block.
  void updateUIWithDictionary(const std::shared_ptr<NSDictionary>& lists);

  void createBanner(const std::shared_ptr<NSArray>& items);
  void createSmallSortView(const std::shared_ptr<NSArray>& items);
  void createActivityView(const std::shared_ptr<NSArray>& items);
  void createSmallActivityView(const std::shared_ptr<NSArray>& items);
  void createBigSortView(const std::shared_ptr<NSArray>& items);

  double headHeight() const { return headHeight_; }

  std::shared_ptr<OrvakAdRoll> adRollView;
  std::shared_ptr<SmallClassView> smallClassView;
  std::shared_ptr<ActivityView> activityView;
  std::shared_ptr<SmallActivityView> smallActivityView;
  std::shared_ptr<BigClassView> bigClassView;

  // Handed to the blocks as they are built (the home screen).
  std::weak_ptr<OrvakAdRollDelegate> adRollDelegate;
  std::weak_ptr<SmallClassViewDelegate> smallClassDelegate;
  std::weak_ptr<ActivityViewDelegate> activityDelegate;
  std::weak_ptr<SmallActivityViewDelegate> smallActivityDelegate;
  std::weak_ptr<BigClassViewDelegate> bigClassDelegate;

 private:
  double headHeight_ = 0;
};
