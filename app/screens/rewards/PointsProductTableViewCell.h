#pragma once
// A row of the exchange store: the product's picture, title, Velmo and 集分宝 prices and the
// stock mark, 94 points high. Filling the cell starts one picture task on a global queue: the
// picture is downloaded (10 s time-out), its PNG encoding written atomically to
// Documents/image/<last component of the address>.png, and the file read back on the main
// queue. A stored file is shown at once while the download runs.

#include <functional>
#include <memory>

#include "app/ui/ParentsViewController.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"

class PointsProductTableViewCell : public ParentTableViewCell {
 public:
  // initWithReuseIdentifier: a default-style cell with its subviews.
  static std::shared_ptr<PointsProductTableViewCell> initWithReuseIdentifier(const std::shared_ptr<NSString>& identifier);
  void setUpWithStyle(UITableViewCellStyle style, const std::shared_ptr<NSString>& reuseIdentifier) override;

  std::shared_ptr<NSDictionary> productDictionary() const { return productDictionary_; }
  void setProductDictionary(const std::shared_ptr<NSDictionary>& record) { productDictionary_ = record; }

  // Fills the cell from the record (the caller set productDictionary to it first) and starts
  // the picture task.
  void initTheCellWithDataDictionary(const std::shared_ptr<NSDictionary>& record);

  // The cell flashes grey when touched but never stays selected.
  void setSelected(bool selected, bool animated) override;

  std::shared_ptr<UIImageView> backgroud() const { return backgroud_; }
  std::shared_ptr<UIImageView> orderImageView() const { return orderImageView_; }
  std::shared_ptr<UILabel> remarkLabel() const { return remarkLabel_; }
  std::shared_ptr<UILabel> zaveltoMoneyLabel() const { return zaveltoMoneyLabel_; }
  std::shared_ptr<UILabel> aLiBaBaMoneyLabel() const { return aLiBaBaMoneyLabel_; }
  // The cell's own `imageView` (the stock mark): UITableViewCell::imageView is the style's.
  std::shared_ptr<UIImageView> stockImageView() const { return stockImageView_; }
  std::shared_ptr<UIImageView> secondLineView() const { return secondLineView_; }

  // Where a product's picture is kept: Documents/image/<last component of the address>.png
  // (nil for an address without a last component).
  static std::shared_ptr<NSString> pictureFilePath(const std::shared_ptr<NSString>& address);
  // Whether fills start picture tasks (on by default; the benchmark's floor turns it off).
  static void setPictureTasksEnabled(bool enabled);
  // Picture tasks started and not yet through their download and write (for tests and the
  // benchmark, which wait for them before they take the process apart).
  static int pictureTasksInFlight();

 private:
  void startPictureTask(const std::shared_ptr<NSString>& address, const std::shared_ptr<NSString>& productId);
  // On the main queue: the picture of the product's task, shown only while the cell still shows
  // that product.
  void showPicture(const std::shared_ptr<UIImage>& image, const std::shared_ptr<NSString>& productId);

  std::shared_ptr<NSDictionary> productDictionary_;
  std::shared_ptr<UIImageView> backgroud_;
  std::shared_ptr<UIImageView> orderImageView_;
  std::shared_ptr<UILabel> remarkLabel_;
  std::shared_ptr<UILabel> zaveltoMoneyLabel_;
  std::shared_ptr<UILabel> aLiBaBaMoneyLabel_;
  std::shared_ptr<UIImageView> stockImageView_;
  std::shared_ptr<UIImageView> secondLineView_;
};
