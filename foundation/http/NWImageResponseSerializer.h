// Images from replies: decoded at the serializer's scale and, by default, inflated into a
// bitmap in the device RGB space so that drawing it later costs no decoding.
#pragma once

#include <memory>
#include <mutex>

#include "foundation/http/NWURLResponseSerialization.h"
#include "platform/graphics/UIImage.h"

class NWImageResponseSerializer : public NWHTTPResponseSerializer {
 public:
  NWImageResponseSerializer();
  static std::shared_ptr<NWImageResponseSerializer> serializer() { return std::make_shared<NWImageResponseSerializer>(); }

  // The main screen's scale unless set.
  double imageScale() const;
  void setImageScale(double scale);
  bool automaticallyInflatesResponseImage() const;
  void setAutomaticallyInflatesResponseImage(bool inflates);

  id responseObjectForResponse(const std::shared_ptr<NSURLResponse>& response, const std::shared_ptr<NSData>& data,
                               std::shared_ptr<NSError>* error) override;
  id copyWithZone() const override;

 private:
  mutable std::mutex imageMutex_;
  double imageScale_;
  bool automaticallyInflatesResponseImage_ = true;
};

namespace zvt {
// +[UIImage nw_safeImageWithData:]: the platform's decoding, one image at a time.
std::shared_ptr<UIImage> safeImageWithData(const std::shared_ptr<NSData>& data);
// The plain image of the data at a scale (an animated image as it is); nil when it is no image.
std::shared_ptr<UIImage> imageWithDataAtScale(const std::shared_ptr<NSData>& data, double scale);
// The inflated image, or the plain one when it is too large (over 1024 x 1024 pixels), too deep
// (over 8 bits per component), animated, or cannot be drawn into an RGB bitmap.
std::shared_ptr<UIImage> inflatedImageFromResponseWithDataAtScale(const std::shared_ptr<NSHTTPURLResponse>& response,
                                                                  const std::shared_ptr<NSData>& data, double scale);
}  // namespace zvt
