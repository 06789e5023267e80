#pragma once
// The UIImage(Predecode) category: an image decoded ahead of display, so that drawing it later
// (on the main thread) converts nothing.

#include <memory>

#include "platform/graphics/UIImage.h"

// +decodedImageWithImage: animated images and images with an alpha channel come back as they
// are; any other bitmap is drawn into a premultiplied ARGB bitmap of its pixel size (in device
// RGB when its colour model is not RGB) and comes back with the same scale and orientation.
// When no such bitmap can be made (16-bit samples) the image comes back as it is.
std::shared_ptr<UIImage> decodedImageWithImage(const std::shared_ptr<UIImage>& image);
