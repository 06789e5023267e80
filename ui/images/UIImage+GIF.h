#pragma once
// The UIImage(GIF) category: animated images from GIF bytes or bundle resources, frame
// durations, and scaling an animated image to fill a size.

#include <cstddef>
#include <memory>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSString.h"
#include "platform/graphics/CGImageSource.h"
#include "platform/graphics/UIImage.h"

// +wi_animatedGIFWithData: nil for nil data; one frame (or none the source can count) gives the
// platform's static image of the whole data; more give an animated image of the frames at the
// main screen's scale, lasting the sum of their durations (0.1 s a frame when that sum is 0),
// repeating without end.
std::shared_ptr<UIImage> wi_animatedGIFWithData(const std::shared_ptr<NSData>& data);
// +wi_frameDurationAtIndex:source: the frame's unclamped delay, else its delay, else 0.1 s;
// a delay below 0.011 s plays at 0.1 s.
float wi_frameDurationAtIndex(size_t index, const CGImageSourceRef& source);
// +wi_animatedGIFNamed: the bundle's "<name>@2x.gif" on screens of scale above 1, else
// "<name>.gif", else the named image.
std::shared_ptr<UIImage> wi_animatedGIFNamed(const std::shared_ptr<NSString>& name);
// -wi_animatedImageByScalingAndCroppingToSize: every frame scaled to cover the size (points)
// and centred on the axis that overflows; the image itself when the size is its own or empty.
std::shared_ptr<UIImage> wi_animatedImageByScalingAndCroppingToSize(const std::shared_ptr<UIImage>& image, CGSize size);
