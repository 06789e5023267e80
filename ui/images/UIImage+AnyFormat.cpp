#include "ui/images/UIImage+AnyFormat.h"

#include "platform/foundation/NSNumber.h"
#include "platform/graphics/CGImageSource.h"
#include "ui/images/NSData+ImageKind.h"
#include "ui/images/UIImage+GIF.h"

std::shared_ptr<UIImage> wi_imageWithData(const std::shared_ptr<NSData>& data) {
  if (!data) return nullptr;
  auto type = wi_contentTypeForImageData(data);
  if (type && type->isEqualToString("image/gif"_ns)) return wi_animatedGIFWithData(data);
  auto image = UIImage::imageWithData(data);
  if (!image) return nullptr;
  UIImageOrientation orientation = wi_imageOrientationFromImageData(data);
  if (orientation != UIImageOrientationUp && orientation != image->imageOrientation()) {
    image = UIImage::imageWithCGImage(image->CGImage(), image->scale(), orientation);
  }
  return image;
}

UIImageOrientation wi_imageOrientationFromImageData(const std::shared_ptr<NSData>& data) {
  auto source = CGImageSourceCreateWithData(data, nullptr);
  if (!source) return UIImageOrientationUp;
  auto properties = CGImageSourceCopyPropertiesAtIndex(source, 0, nullptr);
  auto value = properties ? zvt::as<NSNumber>(properties->objectForKey(kCGImagePropertyOrientation)) : nullptr;
  if (!value) return UIImageOrientationUp;
  return wi_exifOrientationToiOSOrientation(value->intValue());
}

UIImageOrientation wi_exifOrientationToiOSOrientation(int32_t exifOrientation) {
  switch (exifOrientation) {
    case 1: return UIImageOrientationUp;
    case 2: return UIImageOrientationUpMirrored;
    case 3: return UIImageOrientationDown;
    case 4: return UIImageOrientationDownMirrored;
    case 5: return UIImageOrientationLeftMirrored;
    case 6: return UIImageOrientationRight;
    case 7: return UIImageOrientationRightMirrored;
    case 8: return UIImageOrientationLeft;
    default: return UIImageOrientationUp;
  }
}
