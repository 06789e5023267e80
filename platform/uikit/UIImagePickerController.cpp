#include "platform/uikit/UIImagePickerController.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>

#include "platform/foundation/NSException.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSValue.h"
#include "platform/network/NSURL.h"
#include "platform/uikit/UIBarButtonItem.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UIKitMainThread.h"
#include "platform/uikit/UINavigationItem.h"

namespace zvt::ui {

namespace {

std::map<UIImagePickerControllerSourceType, bool>& availability() {
  static auto* map = new std::map<UIImagePickerControllerSourceType, bool>{
      {UIImagePickerControllerSourceTypePhotoLibrary, true},
      {UIImagePickerControllerSourceTypeCamera, false},
      {UIImagePickerControllerSourceTypeSavedPhotosAlbum, true}};
  return *map;
}

std::shared_ptr<UIImage>& cameraPicture() {
  static auto* picture = new std::shared_ptr<UIImage>();
  return *picture;
}

std::shared_ptr<UIImage> greyPicture() {
  UIGraphicsBeginImageContextWithOptions(CGSizeMake(640, 480), true, 1);
  CGContextSetGrayFillColor(UIGraphicsGetCurrentContext(), 0.5, 1);
  CGContextFillRect(UIGraphicsGetCurrentContext(), CGRectMake(0, 0, 640, 480));
  auto image = UIGraphicsGetImageFromCurrentImageContext();
  UIGraphicsEndImageContext();
  return image;
}

std::shared_ptr<UIButton> toolbarButton(const char* title) {
  auto button = UIButton::buttonWithType(UIButtonTypeSystem);
  button->setTitle(NSString::stringWithUTF8String(title), UIControlStateNormal);
  button->setTitleColor(UIColor::whiteColor(), UIControlStateNormal);
  button->titleLabel()->setFont(UIFont::systemFontOfSize(18));
  button->sizeToFit();
  return button;
}

// A screen of the picker: knows its picker.
class PickerScreen : public UIViewController {
 public:
  std::weak_ptr<UIImagePickerController> picker;
  std::shared_ptr<UIImagePickerController> pickerNow() const { return picker.lock(); }
};

// A picture of the library in the grid.
class Thumbnail : public UIControl {
 public:
  std::shared_ptr<UIImageView> imageView;
  std::shared_ptr<NSString> path;
  std::weak_ptr<UIImagePickerController> picker;
  void tapped() {
    auto p = picker.lock();
    auto image = imageView->image();
    if (p && image) p->picked(image, path);
  }
};

class PhotoGrid : public PickerScreen {
 public:
  std::vector<std::shared_ptr<Thumbnail>> thumbnails;
  void viewDidLoad() override {
    PickerScreen::viewDidLoad();
    auto p = pickerNow();
    setTitle(p && p->sourceType() == UIImagePickerControllerSourceTypeSavedPhotosAlbum ? "相机胶卷"_ns : "照片"_ns);
    navigationItem()->setRightBarButtonItem(
        UIBarButtonItem::initWithTitle("取消"_ns, UIBarButtonItemStylePlain, controllerSelf(), SEL(&PhotoGrid::cancel)));
    view()->setBackgroundColor(UIColor::whiteColor());
    std::error_code error;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(photoLibraryDirectory(), error)) {
      std::string ext = entry.path().extension().string();
      std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
      if (entry.is_regular_file() && (ext == ".png" || ext == ".jpg" || ext == ".jpeg" || ext == ".gif"))
        files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
      auto path = NSString::stringWithUTF8String(file.string());
      auto image = UIImage::imageWithContentsOfFile(path);
      if (!image) continue;
      auto thumb = UIView::makeView<Thumbnail>(CGRectZero);
      thumb->picker = picker;
      thumb->path = path;
      thumb->imageView = UIImageView::initWithImage(image);
      thumb->imageView->setContentMode(UIViewContentModeScaleAspectFill);
      thumb->setClipsToBounds(true);
      thumb->addSubview(thumb->imageView);
      auto name = NSString::stringWithUTF8String(file.filename().string());
      thumb->setAccessibilityIdentifier(name);
      thumb->setAccessibilityLabel(name);
      thumb->addTarget(thumb, SEL(&Thumbnail::tapped), UIControlEventTouchUpInside);
      view()->addSubview(thumb);
      thumbnails.push_back(thumb);
    }
  }
  void viewDidLayoutSubviews() override {
    PickerScreen::viewDidLayoutSubviews();
    const CGFloat gap = 2;
    CGFloat width = view()->bounds().size.width;
    CGFloat side = std::floor((width - 3 * gap) / 4);
    CGFloat top = topLayoutGuide()->length() + gap;
    for (size_t i = 0; i < thumbnails.size(); ++i) {
      CGRect frame = CGRectMake(static_cast<CGFloat>(i % 4) * (side + gap), top + static_cast<CGFloat>(i / 4) * (side + gap),
                                side, side);
      thumbnails[i]->setFrame(frame);
      thumbnails[i]->imageView->setFrame(CGRectMake(0, 0, side, side));
    }
  }
  void cancel() {
    if (auto p = pickerNow()) p->cancel();
  }
};

class CameraScreen : public PickerScreen {
 public:
  std::shared_ptr<UIButton> shutter, cancelButton;
  void viewDidLoad() override {
    PickerScreen::viewDidLoad();
    view()->setBackgroundColor(UIColor::blackColor());
    shutter = toolbarButton("拍照");
    shutter->addTarget(controllerSelf(), SEL(&CameraScreen::take), UIControlEventTouchUpInside);
    cancelButton = toolbarButton("取消");
    cancelButton->addTarget(controllerSelf(), SEL(&CameraScreen::cancel), UIControlEventTouchUpInside);
    view()->addSubview(shutter);
    view()->addSubview(cancelButton);
  }
  void viewWillAppear(bool animated) override {
    PickerScreen::viewWillAppear(animated);
    if (auto nav = navigationController()) nav->setNavigationBarHidden(true, false);
  }
  void viewDidLayoutSubviews() override {
    PickerScreen::viewDidLayoutSubviews();
    CGRect b = view()->bounds();
    CGSize s = shutter->frame().size;
    shutter->setFrame(CGRectMake(CGRectGetMidX(b) - s.width / 2, CGRectGetMaxY(b) - 50 - s.height / 2, s.width, s.height));
    CGSize c = cancelButton->frame().size;
    cancelButton->setFrame(CGRectMake(15, CGRectGetMaxY(b) - 50 - c.height / 2, c.width, c.height));
  }
  void take() {
    auto p = pickerNow();
    if (!p) return;
    auto picture = cameraPicture() ? cameraPicture() : greyPicture();
    p->picked(picture, nullptr);
  }
  void cancel() {
    if (auto p = pickerNow()) p->cancel();
  }
};

class EditScreen : public PickerScreen {
 public:
  std::shared_ptr<UIImage> image;
  std::shared_ptr<NSString> path;
  std::shared_ptr<UIImageView> imageView;
  std::shared_ptr<UIView> frameView;
  std::shared_ptr<UIButton> back, choose;
  void viewDidLoad() override {
    PickerScreen::viewDidLoad();
    view()->setBackgroundColor(UIColor::blackColor());
    imageView = UIImageView::initWithImage(image);
    imageView->setContentMode(UIViewContentModeScaleAspectFill);
    view()->addSubview(imageView);
    frameView = UIView::make();
    frameView->setUserInteractionEnabled(false);
    frameView->layer()->setBorderColor(UIColor::whiteColor()->CGColor());
    frameView->layer()->setBorderWidth(1);
    view()->addSubview(frameView);
    auto p = pickerNow();
    bool camera = p && p->sourceType() == UIImagePickerControllerSourceTypeCamera;
    back = toolbarButton(camera ? "重拍" : "取消");
    back->addTarget(controllerSelf(), SEL(&EditScreen::goBack), UIControlEventTouchUpInside);
    choose = toolbarButton(camera ? "使用照片" : "选取");
    choose->addTarget(controllerSelf(), SEL(&EditScreen::done), UIControlEventTouchUpInside);
    view()->addSubview(back);
    view()->addSubview(choose);
  }
  void viewWillAppear(bool animated) override {
    PickerScreen::viewWillAppear(animated);
    if (auto nav = navigationController()) nav->setNavigationBarHidden(true, false);
  }
  void viewDidLayoutSubviews() override {
    PickerScreen::viewDidLayoutSubviews();
    CGRect b = view()->bounds();
    // The square fills the width, in the middle; the picture covers it.
    CGFloat side = b.size.width;
    CGRect square = CGRectMake(0, std::round((b.size.height - side) / 2), side, side);
    frameView->setFrame(square);
    CGSize size = image->size();
    CGFloat scale = std::max(side / std::max<CGFloat>(size.width, 1), side / std::max<CGFloat>(size.height, 1));
    CGSize shown = CGSizeMake(size.width * scale, size.height * scale);
    imageView->setFrame(CGRectMake(CGRectGetMidX(square) - shown.width / 2, CGRectGetMidY(square) - shown.height / 2,
                                   shown.width, shown.height));
    CGSize bs = back->frame().size, cs = choose->frame().size;
    back->setFrame(CGRectMake(15, CGRectGetMaxY(b) - 40 - bs.height / 2, bs.width, bs.height));
    choose->setFrame(CGRectMake(CGRectGetMaxX(b) - 15 - cs.width, CGRectGetMaxY(b) - 40 - cs.height / 2, cs.width, cs.height));
  }
  void goBack() {
    if (auto nav = navigationController()) {
      nav->setNavigationBarHidden(false, false);
      nav->popViewControllerAnimated(true);
    }
  }
  void done() {
    if (auto p = pickerNow()) p->finish(image, path, true);
  }
};

}  // namespace

void setImagePickerSourceAvailable(UIImagePickerControllerSourceType sourceType, bool available) {
  availability()[sourceType] = available;
}

std::string photoLibraryDirectory() { return NSHomeDirectory()->utf8() + "/Media/DCIM"; }

void setCameraPicture(const std::shared_ptr<UIImage>& picture) { cameraPicture() = picture; }

std::shared_ptr<UIImage> squareCrop(const std::shared_ptr<UIImage>& image, CGRect* cropRect) {
  if (!image || !image->CGImage()) return nullptr;
  auto upright = image->CGImage();
  if (image->imageOrientation() != UIImageOrientationUp) {
    // Draw it upright at its pixel size.
    CGSize size = image->size();
    CGSize pixels = CGSizeMake(size.width * image->scale(), size.height * image->scale());
    UIGraphicsBeginImageContextWithOptions(pixels, false, 1);
    image->drawInRect(CGRect{CGPointZero, pixels});
    auto drawn = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    if (!drawn) return nullptr;
    upright = drawn->CGImage();
  }
  CGFloat w = static_cast<CGFloat>(upright->width()), h = static_cast<CGFloat>(upright->height());
  CGFloat side = std::min(w, h);
  CGRect square = CGRectMake(std::floor((w - side) / 2), std::floor((h - side) / 2), side, side);
  if (cropRect) *cropRect = square;
  return UIImage::imageWithCGImage(CGImageCreateWithImageInRect(upright, square), 1, UIImageOrientationUp);
}

}  // namespace zvt::ui

// --- the delegate's defaults ---------------------------------------------------------------------

void UIImagePickerControllerDelegate::imagePickerControllerDidFinishPickingMediaWithInfo(
    const std::shared_ptr<UIImagePickerController>& picker, const std::shared_ptr<NSDictionary>&) {
  if (picker) picker->dismissViewControllerAnimated(true);
}

void UIImagePickerControllerDelegate::imagePickerControllerDidCancel(const std::shared_ptr<UIImagePickerController>& picker) {
  if (picker) picker->dismissViewControllerAnimated(true);
}

// --- the picker ----------------------------------------------------------------------------------

std::shared_ptr<UIImagePickerController> UIImagePickerController::make() {
  return std::make_shared<UIImagePickerController>();
}

bool UIImagePickerController::isSourceTypeAvailable(UIImagePickerControllerSourceType sourceType) {
  auto& all = zvt::ui::availability();
  auto found = all.find(sourceType);
  return found != all.end() && found->second;
}

void UIImagePickerController::setSourceType(UIImagePickerControllerSourceType sourceType) {
  zvt::ui::assertMainThread("UIImagePickerController::setSourceType");
  if (!isSourceTypeAvailable(sourceType))
    NSException::raise(NSInvalidArgumentException, "Source type %ld not available", static_cast<long>(sourceType));
  if (sourceType == sourceType_) return;
  sourceType_ = sourceType;
  if (isViewLoaded()) showSource();
}

void UIImagePickerController::setDelegate(const std::shared_ptr<UIImagePickerControllerDelegate>& delegate) {
  pickerDelegate_ = delegate;
  UINavigationController::setDelegate(std::dynamic_pointer_cast<UINavigationControllerDelegate>(delegate));
}

void UIImagePickerController::viewDidLoad() {
  UINavigationController::viewDidLoad();
  showSource();
}

void UIImagePickerController::viewWillAppear(bool animated) {
  UINavigationController::viewWillAppear(animated);
  finished_ = false;
}

void UIImagePickerController::showSource() {
  auto self = std::static_pointer_cast<UIImagePickerController>(controllerSelf());
  std::shared_ptr<zvt::ui::PickerScreen> root;
  if (sourceType_ == UIImagePickerControllerSourceTypeCamera) root = std::make_shared<zvt::ui::CameraScreen>();
  else root = std::make_shared<zvt::ui::PhotoGrid>();
  root->picker = self;
  setNavigationBarHidden(false, false);
  setViewControllers({root}, false);
}

void UIImagePickerController::picked(const std::shared_ptr<UIImage>& image, const std::shared_ptr<NSString>& path) {
  if (!image || finished_) return;
  if (!allowsEditing_) {
    finish(image, path, false);
    return;
  }
  auto edit = std::make_shared<zvt::ui::EditScreen>();
  edit->picker = std::static_pointer_cast<UIImagePickerController>(controllerSelf());
  edit->image = image;
  edit->path = path;
  pushViewController(edit, true);
}

void UIImagePickerController::finish(const std::shared_ptr<UIImage>& image, const std::shared_ptr<NSString>& path,
                                     bool edited) {
  if (finished_) return;
  auto self = std::static_pointer_cast<UIImagePickerController>(controllerSelf());
  auto info = NSMutableDictionary::make({{UIImagePickerControllerMediaType, "public.image"_ns},
                                         {UIImagePickerControllerOriginalImage, image}});
  if (edited) {
    CGRect crop;
    if (auto square = zvt::ui::squareCrop(image, &crop)) {
      info->setObject(square, UIImagePickerControllerEditedImage);
      info->setObject(NSValue::valueWithCGRect(crop), UIImagePickerControllerCropRect);
    }
  }
  if (path) info->setObject(NSURL::fileURLWithPath(path), UIImagePickerControllerReferenceURL);
  finished_ = true;
  if (auto d = delegate()) d->imagePickerControllerDidFinishPickingMediaWithInfo(self, info);
  else dismissViewControllerAnimated(true);
}

void UIImagePickerController::cancel() {
  if (finished_) return;
  auto self = std::static_pointer_cast<UIImagePickerController>(controllerSelf());
  finished_ = true;
  if (auto d = delegate()) d->imagePickerControllerDidCancel(self);
  else dismissViewControllerAnimated(true);
}
