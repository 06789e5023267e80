#pragma once
// The UIImage(AnyFormat) category: an image from bytes of any format the platform decodes
// (a GIF becomes an animated image), turned upright by its EXIF orientation.

#include <cstdint>
#include <memory>

#include "platform/foundation/NSData.h"
#include "platform/graphics/UIImage.h"

// +wi_imageWithData: nil for nil data or bytes that do not decode whole. A GIF goes through
// wi_animatedGIFWithData; other bytes are decoded by the platform at scale 1, straight into the
// layout drawing uses (premultiplied ARGB of the host's order, what forced decoding produces),
// and carry the orientation their EXIF data names.
std::shared_ptr<UIImage> wi_imageWithData(const std::shared_ptr<NSData>& data);
// +wi_imageOrientationFromImageData: up when the bytes carry no orientation.
UIImageOrientation wi_imageOrientationFromImageData(const std::shared_ptr<NSData>& data);
// +wi_exifOrientationToiOSOrientation: EXIF 1 to 8 to the image orientation; others are up.
UIImageOrientation wi_exifOrientationToiOSOrientation(int32_t exifOrientation);
