#pragma once
// Image pickers (UIImagePickerController): a navigation controller, presented modally, through
// which the person picks a picture from a source.
//
// Sources are available by configuration (zvt::ui::setImagePickerSourceAvailable): the photo
// library and the saved-photos album are, the camera is not, unless told otherwise; asking for
// an unavailable source raises NSInvalidArgumentException, as on the device.
// - The photo library and the album show the pictures of the sandbox's photo folder
//   (zvt::ui::photoLibraryDirectory(): Media/DCIM in the home directory; PNG, JPEG and GIF files
//   in name order) as a grid of thumbnails, each found by the device through its accessibility
//   identifier, the file's name. "取消" cancels.
// - The camera shows a shutter button, "拍照", that takes zvt::ui::setCameraPicture's picture.
// With allowsEditing, the picked picture shows under a square frame with "取消" (back) and
// "选取"; the edited image is the square in the middle of the upright picture, as large as its
// shorter side, at scale 1 (its crop rectangle, in the picture's pixels, is in the info).
//
// The delegate (held weakly) hears imagePickerControllerDidFinishPickingMediaWithInfo with the
// media type "public.image", the original image, the edited one when editing, the crop
// rectangle and the file's URL; or imagePickerControllerDidCancel. Their defaults dismiss the
// picker, as the device does for a delegate without them.

#include <functional>
#include <memory>
#include <string>

#include "platform/foundation/NSDictionary.h"
#include "platform/graphics/UIImage.h"
#include "platform/uikit/UINavigationController.h"

class UIImagePickerController;

enum UIImagePickerControllerSourceType : NSInteger {
  UIImagePickerControllerSourceTypePhotoLibrary = 0,
  UIImagePickerControllerSourceTypeCamera = 1,
  UIImagePickerControllerSourceTypeSavedPhotosAlbum = 2,
};

inline const zvt::StaticString UIImagePickerControllerMediaType{"UIImagePickerControllerMediaType"};
inline const zvt::StaticString UIImagePickerControllerOriginalImage{"UIImagePickerControllerOriginalImage"};
inline const zvt::StaticString UIImagePickerControllerEditedImage{"UIImagePickerControllerEditedImage"};
inline const zvt::StaticString UIImagePickerControllerCropRect{"UIImagePickerControllerCropRect"};
inline const zvt::StaticString UIImagePickerControllerReferenceURL{"UIImagePickerControllerReferenceURL"};

class UIImagePickerControllerDelegate {
 public:
  virtual ~UIImagePickerControllerDelegate() = default;
  // imagePickerController:didFinishPickingMediaWithInfo:
  virtual void imagePickerControllerDidFinishPickingMediaWithInfo(const std::shared_ptr<UIImagePickerController>& picker,
                                                                  const std::shared_ptr<NSDictionary>& info);
  virtual void imagePickerControllerDidCancel(const std::shared_ptr<UIImagePickerController>& picker);
};

class UIImagePickerController : public UINavigationController {
 public:
  static std::shared_ptr<UIImagePickerController> make();
  static bool isSourceTypeAvailable(UIImagePickerControllerSourceType sourceType);

  UIImagePickerControllerSourceType sourceType() const { return sourceType_; }
  // Raises NSInvalidArgumentException for a source that is not available.
  void setSourceType(UIImagePickerControllerSourceType sourceType);
  bool allowsEditing() const { return allowsEditing_; }
  void setAllowsEditing(bool allows) { allowsEditing_ = allows; }
  // The picker's delegate; when it is also a navigation controller delegate it is that too.
  std::shared_ptr<UIImagePickerControllerDelegate> delegate() const { return pickerDelegate_.lock(); }
  void setDelegate(const std::shared_ptr<UIImagePickerControllerDelegate>& delegate);

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;

  // For the picker's screens.
  void picked(const std::shared_ptr<UIImage>& image, const std::shared_ptr<NSString>& path);
  void finish(const std::shared_ptr<UIImage>& image, const std::shared_ptr<NSString>& path, bool edited);
  void cancel();

 private:
  void showSource();
  std::weak_ptr<UIImagePickerControllerDelegate> pickerDelegate_;
  UIImagePickerControllerSourceType sourceType_ = UIImagePickerControllerSourceTypePhotoLibrary;
  bool allowsEditing_ = false;
  bool finished_ = false;
};

namespace zvt::ui {
// The sources the device has: the photo library and the album, no camera, unless told.
void setImagePickerSourceAvailable(UIImagePickerControllerSourceType sourceType, bool available);
// The folder the photo library shows: Media/DCIM in the sandbox's home directory.
std::string photoLibraryDirectory();
// The picture the camera takes (nil: a plain grey 640 x 480 picture).
void setCameraPicture(const std::shared_ptr<UIImage>& picture);
// The square in the middle of the upright image, as large as its shorter side, at scale 1;
// `cropRect` (may be null) receives it in the upright image's pixels.
std::shared_ptr<UIImage> squareCrop(const std::shared_ptr<UIImage>& image, CGRect* cropRect);
}  // namespace zvt::ui
