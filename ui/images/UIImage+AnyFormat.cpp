#include "ui/images/UIImage+AnyFormat.h"

#include "platform/foundation/NSNumber.h"
#include "platform/graphics/CGImageSource.h"
#include "ui/images/NSData+ImageKind.h"
#include "ui/images/UIImage+GIF.h"

namespace {

UIImageOrientation orientationOf(const CGImageSourceRef& source) {
  auto properties = source ? CGImageSourceCopyPropertiesAtIndex(source, 0, nullptr) : nullptr;
  auto value = properties ? zvt::as<NSNumber>(properties->objectForKey(kCGImagePropertyOrientation)) : nullptr;
  return value ? wi_exifOrientationToiOSOrientation(value->intValue()) : UIImageOrientationUp;
}

}  // namespace

std::shared_ptr<UIImage> wi_imageWithData(const std::shared_ptr<NSData>& data) {
  if (!data) return nullptr;
  auto type = wi_contentTypeForImageData(data);
  if (type && type->isEqualToString("image/gif"_ns)) return wi_animatedGIFWithData(data);
  // Decoded whole, at once into the layout drawing uses as it is: the bitmap a forced decode
  // would otherwise draw again (see CGImageSource.h).
  auto source = CGImageSourceCreateWithData(data, nullptr);
  auto bitmap = source ? source->completeImageAtIndex(0, true) : nullptr;
  if (!bitmap) return nullptr;
  return UIImage::imageWithCGImage(bitmap, 1.0, orientationOf(source));
}

UIImageOrientation wi_imageOrientationFromImageData(const std::shared_ptr<NSData>& data) {
  return orientationOf(CGImageSourceCreateWithData(data, nullptr));
}

UIImageOrientation wi_exifOrientationToiOSOrientation(int32_t exifOrientation) {
  return zvt::graphics::orientationFromEXIF(exifOrientation);
}
