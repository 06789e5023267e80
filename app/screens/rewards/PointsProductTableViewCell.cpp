#include "app/screens/rewards/PointsProductTableViewCell.h"

#include <atomic>

#include "app/screens/rewards/ExchangeScreens.h"
#include "app/utilities/ZVTPublicTools.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/graphics/UIImage.h"
#include "platform/network/NSURL.h"
#include "platform/network/NSURLConnection.h"
#include "platform/network/NSURLRequest.h"
#include "platform/text/UIFont.h"

using namespace zvt::exchange;

namespace {

constexpr double kPictureTimeout = 10;
std::atomic<bool> picturesEnabled{true};
std::atomic<int> picturesInFlight{0};

std::shared_ptr<NSString> pictureDirectory() {
  auto documents = std::dynamic_pointer_cast<NSString>(
      NSSearchPathForDirectoriesInDomains(NSDocumentDirectory, NSUserDomainMask, true)->lastObject());
  return documents ? documents->stringByAppendingPathComponent("image"_ns) : nullptr;
}

}  // namespace

std::shared_ptr<PointsProductTableViewCell> PointsProductTableViewCell::initWithReuseIdentifier(
    const std::shared_ptr<NSString>& identifier) {
  return UITableViewCell::initWithStyle<PointsProductTableViewCell>(UITableViewCellStyleDefault, identifier);
}

void PointsProductTableViewCell::setUpWithStyle(UITableViewCellStyle style, const std::shared_ptr<NSString>& reuseIdentifier) {
  ParentTableViewCell::setUpWithStyle(style, reuseIdentifier);
  setBackgroundColor(rgb(242, 242, 242));
  backgroud_ = UIImageView::make();
  backgroud_->setBackgroundColor(UIColor::whiteColor());
  addSubview(backgroud_);

  orderImageView_ = UIImageView::initWithFrame(CGRectMake(10, 10, 73, 73));
  orderImageView_->layer()->setCornerRadius(4);
  orderImageView_->setClipsToBounds(true);
  orderImageView_->setImage(UIImage::imageNamed("placeholder_HomeProduct"_ns));
  addSubview(orderImageView_);

  auto grey = UIColor::grayColor();
  remarkLabel_ = UILabel::initWithFrame(CGRectMake(98, 12, 200, 20));
  remarkLabel_->setFont(UIFont::systemFontOfSize(13));
  remarkLabel_->setTextColor(grey);
  addSubview(remarkLabel_);
  zaveltoMoneyLabel_ = UILabel::make();
  zaveltoMoneyLabel_->setFont(UIFont::systemFontOfSize(13));
  zaveltoMoneyLabel_->setTextColor(grey);
  addSubview(zaveltoMoneyLabel_);
  aLiBaBaMoneyLabel_ = UILabel::make();
  aLiBaBaMoneyLabel_->setTextAlignment(NSTextAlignmentRight);
  aLiBaBaMoneyLabel_->setFont(UIFont::systemFontOfSize(13));
  aLiBaBaMoneyLabel_->setTextColor(grey);
  addSubview(aLiBaBaMoneyLabel_);
  secondLineView_ = UIImageView::make();
  secondLineView_->setImage(UIImage::imageNamed("line"_ns));
  addSubview(secondLineView_);
  stockImageView_ = UIImageView::make();
  setSelectionStyle(UITableViewCellSelectionStyleGray);
}

void PointsProductTableViewCell::setSelected(bool /*selected*/, bool animated) {
  ParentTableViewCell::setSelected(false, animated);
  setSelectionStyle(UITableViewCellSelectionStyleGray);
}

std::shared_ptr<NSString> PointsProductTableViewCell::pictureFilePath(const std::shared_ptr<NSString>& address) {
  if (!address) return nullptr;
  auto last = std::dynamic_pointer_cast<NSString>(address->componentsSeparatedByString("/"_ns)->lastObject());
  auto directory = pictureDirectory();
  if (!last || last->length() == 0 || !directory) return nullptr;
  return directory->stringByAppendingPathComponent(NSString::stringWithFormat("%@.png", last));
}

void PointsProductTableViewCell::setPictureTasksEnabled(bool enabled) { picturesEnabled = enabled; }

int PointsProductTableViewCell::pictureTasksInFlight() { return picturesInFlight; }

void PointsProductTableViewCell::initTheCellWithDataDictionary(const std::shared_ptr<NSDictionary>& record) {
  auto address = textOf(record, "img");
  // The task gets the address and the product now: no other thread reads the cell.
  if (picturesEnabled) startPictureTask(address, textOf(record, "id"));

  auto path = pictureFilePath(address);
  auto stored = path && NSFileManager::defaultManager()->fileExistsAtPath(path) ? UIImage::imageWithContentsOfFile(path)
                                                                               : nullptr;
  orderImageView_->setImage(stored ? stored : UIImage::imageNamed("placeholder_HomeProduct"_ns));

  auto title = textOf(record, "title");
  remarkLabel_->setText(title ? title : NSString::string());
  ZVTPublicTools::getSizeByLabel(remarkLabel_, 200);
  const CGFloat titleBottom = CGRectGetMaxY(remarkLabel_->frame());

  zaveltoMoneyLabel_->setFrame(CGRectMake(98, titleBottom + 5, 125, 20));
  zaveltoMoneyLabel_->setText(NSString::stringWithFormat("Velmo:%ld", static_cast<long>(integerOf(record, "jifen"))));
  zaveltoMoneyLabel_->setTextColor(rgb(97, 190, 235));

  aLiBaBaMoneyLabel_->setFrame(CGRectMake(170, titleBottom + 5, 125, 20));
  aLiBaBaMoneyLabel_->setText(NSString::stringWithFormat("集分宝:%ld", static_cast<long>(integerOf(record, "jifenbao"))));
  aLiBaBaMoneyLabel_->setTextColor(priceOrange());

  stockImageView_->setFrame(CGRectMake(98, CGRectGetMaxY(aLiBaBaMoneyLabel_->frame()) + 5, 38, 13));
  stockImageView_->setImage(
      UIImage::imageNamed(integerOf(record, "num") != 0 ? "withDrawIcon"_ns : "withDrawOutIcon"_ns));
  addSubview(stockImageView_);

  const CGFloat width = portraitScreen().width;
  const CGFloat pictureBottom = CGRectGetMaxY(orderImageView_->frame());
  secondLineView_->setFrame(CGRectMake(5, pictureBottom + 10, width - 30, 1));
  backgroud_->setFrame(CGRectMake(0, 0, width, pictureBottom + 10));
  setFrame(CGRectMake(5, 0, width - 20, pictureBottom + 11));
}

void PointsProductTableViewCell::startPictureTask(const std::shared_ptr<NSString>& address,
                                                  const std::shared_ptr<NSString>& productId) {
  auto url = address ? NSURL::URLWithString(address) : nullptr;
  auto path = pictureFilePath(address);
  std::weak_ptr<PointsProductTableViewCell> weakCell = std::static_pointer_cast<PointsProductTableViewCell>(viewSelf());
  ++picturesInFlight;
  dispatch_async(dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_DEFAULT, 0), [url, path, productId, weakCell] {
    struct Done {
      ~Done() { --picturesInFlight; }
    } done;
    if (!url) return;
    auto request = NSURLRequest::requestWithURL(url, NSURLRequestUseProtocolCachePolicy, kPictureTimeout);
    std::shared_ptr<NSURLResponse> response;
    std::shared_ptr<NSError> error;
    auto data = NSURLConnection::sendSynchronousRequest(request, &response, &error);
    if (!data) return;  // the picture keeps what it shows
    auto image = UIImage::imageWithData(data);
    auto directory = pictureDirectory();
    auto files = NSFileManager::defaultManager();
    if (directory && !files->fileExistsAtPath(directory)) {
      files->createDirectoryAtPath(directory, true, nullptr, nullptr);
    }
    if (image) {
      auto png = UIImagePNGRepresentation(image);
      if (png && path) png->writeToFile(path, true);
    }
    dispatch_async(dispatch_get_main_queue(), [weakCell, path, productId, decoded = image != nullptr] {
      auto cell = weakCell.lock();
      if (!cell) return;
      std::shared_ptr<UIImage> shown;
      if (!decoded) {
        shown = UIImage::imageNamed("image_error"_ns);
      } else if (path) {
        shown = UIImage::imageWithContentsOfFile(path);
      }
      cell->showPicture(shown, productId);
    });
  });
}

void PointsProductTableViewCell::showPicture(const std::shared_ptr<UIImage>& image, const std::shared_ptr<NSString>& productId) {
  // A reused cell shows another product by now: its picture is that product's business.
  auto shownId = textOf(productDictionary_, "id");
  const bool same = (!shownId && !productId) || (shownId && productId && shownId->isEqualToString(productId));
  if (!same) return;
  orderImageView_->setImage(image);
}
