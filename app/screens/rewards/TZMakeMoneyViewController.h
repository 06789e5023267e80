#pragma once
// The earn-money grid ("我要赚钱", analytics page "我要赚钱页面"): the ways to earn that the
// service configures ("get_makeProfits_data"), two tiles a row with a picture, a name and a
// sub-name; a tap follows the tile's link as any configured banner does. Loaded once when the
// view loads; "没有数据" or "网络异常" shows as a tip over an empty grid. Pushed by the personal
// centre's row "我要赚钱" for every user; its right item "Kirvo任务" opens the offer wall behind
// the login gate.

#include <memory>

#include "app/models/TZHeaderInfoModel.h"
#include "app/ui/ParentsViewController.h"
#include "platform/foundation/NSArray.h"
#include "platform/uikit/UICollectionView.h"
#include "platform/uikit/UICollectionViewCell.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"

class TZMakeMoneyCell : public UICollectionViewCell {
 public:
  static constexpr const char* kReuseIdentifier = "TZMakeMoneyCell";

  void setUpWithFrame(CGRect frame) override;

  std::shared_ptr<TZHeaderInfoModel> model() const { return model_; }
  // Nil is ignored; else the picture, name and sub-name of the model.
  void setModel(const std::shared_ptr<TZHeaderInfoModel>& model);

  std::shared_ptr<UIImageView> iconImageView() const { return iconImageView_; }
  std::shared_ptr<UILabel> mainTitleLabel() const { return mainTitleLabel_; }
  std::shared_ptr<UILabel> detailTtleLabel() const { return detailTtleLabel_; }

 private:
  std::shared_ptr<TZHeaderInfoModel> model_;
  std::shared_ptr<UIImageView> iconImageView_;
  std::shared_ptr<UILabel> mainTitleLabel_;
  std::shared_ptr<UILabel> detailTtleLabel_;
};

class TZMakeMoneyViewController : public ParentsViewController,
                                  public UICollectionViewDataSource,
                                  public UICollectionViewDelegateFlowLayout {
 public:
  TZMakeMoneyViewController() : dataArray_(NSMutableArray::array()) {}
  static std::shared_ptr<TZMakeMoneyViewController> make() { return std::make_shared<TZMakeMoneyViewController>(); }

  const std::shared_ptr<NSMutableArray>& dataArray() const { return dataArray_; }
  std::shared_ptr<UICollectionView> makeMoneyCollectionView() const { return makeMoneyCollectionView_; }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  void createUI();
  void getDatas();
  // "Kirvo任务": the offer wall, or the login screen while nobody is logged in.
  void gotoWebWall();

  NSInteger collectionViewNumberOfItemsInSection(const std::shared_ptr<UICollectionView>& collectionView, NSInteger section) override;
  std::shared_ptr<UICollectionViewCell> collectionViewCellForItemAtIndexPath(const std::shared_ptr<UICollectionView>& collectionView,
                                                                           const std::shared_ptr<NSIndexPath>& indexPath) override;
  void collectionViewDidSelectItemAtIndexPath(const std::shared_ptr<UICollectionView>& collectionView,
                                              const std::shared_ptr<NSIndexPath>& indexPath) override;

 private:
  std::shared_ptr<TZMakeMoneyViewController> gridSelf() {
    return std::static_pointer_cast<TZMakeMoneyViewController>(controllerSelf());
  }
  std::shared_ptr<NSMutableArray> dataArray_;
  std::shared_ptr<UICollectionView> makeMoneyCollectionView_;
};
