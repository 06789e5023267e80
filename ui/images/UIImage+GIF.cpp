#include "ui/images/UIImage+GIF.h"

#include <algorithm>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSNumber.h"
#include "platform/graphics/CGBitmapContext.h"
#include "platform/graphics/UIScreen.h"

std::shared_ptr<UIImage> wi_animatedGIFWithData(const std::shared_ptr<NSData>& data) {
  if (!data) return nullptr;
  auto source = CGImageSourceCreateWithData(data, nullptr);
  size_t count = CGImageSourceGetCount(source);
  // Asking a GIF for its count decoded its frames: a lone frame is taken from there rather than
  // decoded again. Other kinds (and nothing) go the plain way.
  if (count == 1 && CGImageSourceGetType(source)->isEqualToString("com.compuserve.gif"_ns)) {
    if (CGImageSourceGetStatus(source) != kCGImageStatusComplete) return nullptr;
    return UIImage::imageWithCGImage(CGImageSourceCreateImageAtIndex(source, 0, nullptr));
  }
  if (count <= 1) return UIImage::imageWithData(data);

  const CGFloat scale = UIScreen::mainScreen()->scale();
  auto frames = NSMutableArray::array();
  double duration = 0;
  for (size_t i = 0; i < count; ++i) {
    auto bitmap = CGImageSourceCreateImageAtIndex(source, i, nullptr);
    if (!bitmap) continue;
    duration += wi_frameDurationAtIndex(i, source);
    frames->addObject(UIImage::imageWithCGImage(bitmap, scale, UIImageOrientationUp));
  }
  if (duration == 0) duration = static_cast<double>(0.1f) * static_cast<double>(count);
  return UIImage::animatedImageWithImages(frames, duration);
}

float wi_frameDurationAtIndex(size_t index, const CGImageSourceRef& source) {
  float duration = 0.1f;
  auto properties = CGImageSourceCopyPropertiesAtIndex(source, index, nullptr);
  auto gif = properties ? zvt::as<NSDictionary>(properties->objectForKey(kCGImagePropertyGIFDictionary)) : nullptr;
  if (gif) {
    if (auto unclamped = zvt::as<NSNumber>(gif->objectForKey(kCGImagePropertyGIFUnclampedDelayTime))) {
      duration = unclamped->floatValue();
    } else if (auto delay = zvt::as<NSNumber>(gif->objectForKey(kCGImagePropertyGIFDelayTime))) {
      duration = delay->floatValue();
    }
  }
  // Browsers play very short delays at 0.1 s; so do we.
  if (duration < 0.011f) duration = 0.1f;
  return duration;
}

std::shared_ptr<UIImage> wi_animatedGIFNamed(const std::shared_ptr<NSString>& name) {
  auto bundle = NSBundle::mainBundle();
  if (UIScreen::mainScreen()->scale() > 1.0) {
    auto retina = NSString::stringWithFormat("%@@2x", name);
    if (auto path = bundle->pathForResource(retina, "gif"_ns)) {
      if (auto data = NSData::dataWithContentsOfFile(path)) return wi_animatedGIFWithData(data);
    }
  }
  auto path = bundle->pathForResource(name, "gif"_ns);
  auto data = path ? NSData::dataWithContentsOfFile(path) : nullptr;
  if (data) return wi_animatedGIFWithData(data);
  return UIImage::imageNamed(name);
}

std::shared_ptr<UIImage> wi_animatedImageByScalingAndCroppingToSize(const std::shared_ptr<UIImage>& image, CGSize size) {
  if (!image) return nullptr;
  CGSize imageSize = image->size();
  if (CGSizeEqualToSize(imageSize, size) || CGSizeEqualToSize(size, CGSizeZero)) return image;
  if (imageSize.width <= 0 || imageSize.height <= 0) return image;

  CGFloat widthFactor = size.width / imageSize.width;
  CGFloat heightFactor = size.height / imageSize.height;
  CGFloat factor = std::max(widthFactor, heightFactor);
  CGSize scaled = CGSizeMake(imageSize.width * factor, imageSize.height * factor);
  CGPoint origin = CGPointZero;
  if (widthFactor > heightFactor) {
    origin.y = (size.height - scaled.height) * 0.5;
  } else if (widthFactor < heightFactor) {
    origin.x = (size.width - scaled.width) * 0.5;
  }

  auto frames = NSMutableArray::array();
  auto source = image->images();
  auto draw = [&](const std::shared_ptr<UIImage>& frame) {
    UIGraphicsBeginImageContextWithOptions(size, false, 0);
    frame->drawInRect(CGRectMake(origin.x, origin.y, scaled.width, scaled.height));
    auto made = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    if (made) frames->addObject(made);
  };
  if (source && source->count() > 0) {
    for (const id& frame : *source) {
      if (auto f = std::dynamic_pointer_cast<UIImage>(frame)) draw(f);
    }
  } else {
    draw(image);
  }
  return UIImage::animatedImageWithImages(frames, image->duration());
}
