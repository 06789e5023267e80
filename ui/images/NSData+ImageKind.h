#pragma once
// The NSData(ImageKind) category: the MIME type of image bytes, by their first byte (and the
// RIFF container's kind for WebP).

#include <memory>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSString.h"

// +wi_contentTypeForImageData: "image/jpeg", "image/png", "image/gif", "image/tiff",
// "image/webp", or nil (nil or empty data, bytes of no known kind).
std::shared_ptr<NSString> wi_contentTypeForImageData(const std::shared_ptr<NSData>& data);
// +[NSData(ImageKindDeprecated) contentTypeForImageData:]
std::shared_ptr<NSString> contentTypeForImageData(const std::shared_ptr<NSData>& data);
