#include "ui/images/UIImage+Predecode.h"

#include "platform/foundation/NSArray.h"
#include "platform/graphics/CGBitmapContext.h"

std::shared_ptr<UIImage> decodedImageWithImage(const std::shared_ptr<UIImage>& image) {
  if (!image) return nullptr;
  if (auto frames = image->images(); frames && frames->count() > 0) return image;
  CGImageRef bitmap = image->CGImage();
  if (!bitmap) return image;
  switch (CGImageGetAlphaInfo(bitmap)) {
    case kCGImageAlphaPremultipliedLast:
    case kCGImageAlphaPremultipliedFirst:
    case kCGImageAlphaLast:
    case kCGImageAlphaFirst:
      return image;
    default:
      break;
  }

  const size_t width = CGImageGetWidth(bitmap), height = CGImageGetHeight(bitmap);
  CGColorSpaceRef space = CGImageGetColorSpace(bitmap);
  switch (CGColorSpaceGetModel(space)) {
    case kCGColorSpaceModelRGB:
    case kCGColorSpaceModelLab:
    case kCGColorSpaceModelDeviceN:
    case kCGColorSpaceModelPattern:
      break;
    default:
      space = CGColorSpaceCreateDeviceRGB();
      break;
  }
  // Premultiplied alpha first in the host's 32-bit order: the layout drawing uses as it is.
  CGContextRef context = CGBitmapContextCreate(nullptr, width, height, CGImageGetBitsPerComponent(bitmap), 0, space,
                                               kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Host);
  if (!context) return image;
  CGContextDrawImage(context, CGRectMake(0, 0, static_cast<CGFloat>(width), static_cast<CGFloat>(height)), bitmap);
  CGImageRef decoded = CGBitmapContextCreateImage(context);
  if (!decoded) return image;
  return UIImage::imageWithCGImage(decoded, image->scale(), image->imageOrientation());
}
