#pragma once
// Image views (UIImageView): an image shown as the view's layer contents, placed by the view's
// content mode, with a highlighted image and frame animations.
//
// The layer shows the image's bitmap at the image's scale: turned upright when the image has
// another orientation, filled with the tint colour where the image is drawn as a template, and
// with its caps kept (contentsCenter) when the image is resizable.
//
// Animations run on the layer, on the run loop's clock: startAnimating puts a key-frame
// animation of the contents on the layer that shows each of animationImages for an equal part
// of animationDuration (a 30th of a second each when the duration is 0), animationRepeatCount
// times (0: for ever). The view animates while that animation is on the layer; at its end the
// still image shows again. An animated image (UIImage::animatedImageWithImages) plays the same
// way for as long as it is shown.

#include <memory>

#include "platform/foundation/NSArray.h"
#include "platform/graphics/UIImage.h"
#include "platform/uikit/UIView.h"

class UIImageView : public UIView {
 public:
  UIImageView();
  // A view of the image's size at the origin.
  static std::shared_ptr<UIImageView> initWithImage(const std::shared_ptr<UIImage>& image);
  static std::shared_ptr<UIImageView> initWithImage(const std::shared_ptr<UIImage>& image,
                                                    const std::shared_ptr<UIImage>& highlightedImage);
  static std::shared_ptr<UIImageView> initWithFrame(CGRect frame) { return makeView<UIImageView>(frame); }
  static std::shared_ptr<UIImageView> make() { return makeView<UIImageView>(CGRectZero); }
  void setUpWithFrame(CGRect frame) override;
  void setUpWithCoder(CGRect frame) override;

  const std::shared_ptr<UIImage>& image() const { return image_; }
  void setImage(const std::shared_ptr<UIImage>& image);
  const std::shared_ptr<UIImage>& highlightedImage() const { return highlightedImage_; }
  void setHighlightedImage(const std::shared_ptr<UIImage>& image);
  bool isHighlighted() const { return highlighted_; }
  void setHighlighted(bool highlighted);

  // UIImages; nil or empty: nothing to animate.
  const std::shared_ptr<NSArray>& animationImages() const { return animationImages_; }
  void setAnimationImages(const std::shared_ptr<NSArray>& images);
  const std::shared_ptr<NSArray>& highlightedAnimationImages() const { return highlightedAnimationImages_; }
  void setHighlightedAnimationImages(const std::shared_ptr<NSArray>& images);
  NSTimeInterval animationDuration() const { return animationDuration_; }
  void setAnimationDuration(NSTimeInterval duration) { animationDuration_ = duration; }
  NSInteger animationRepeatCount() const { return animationRepeatCount_; }
  void setAnimationRepeatCount(NSInteger count) { animationRepeatCount_ = count; }
  void startAnimating();
  void stopAnimating();
  bool isAnimating() const;

  // The image's size (the current size without an image).
  CGSize sizeThatFits(CGSize size) const override;
  // The image's size; no intrinsic size without an image.
  CGSize intrinsicContentSize() const override;
  void tintColorDidChange() override;

  // Ours: images in the automatic rendering mode are drawn as templates (a system button's
  // images are).
  void setTemplatesByDefault(bool templates);

 private:
  void showImage();
  void animateFrames(const std::shared_ptr<NSArray>& frames, NSTimeInterval duration, float repeatCount,
                     const std::shared_ptr<NSString>& key);
  std::shared_ptr<UIImage> shownImage() const;

  std::shared_ptr<UIImage> image_;
  std::shared_ptr<UIImage> highlightedImage_;
  std::shared_ptr<NSArray> animationImages_;
  std::shared_ptr<NSArray> highlightedAnimationImages_;
  NSTimeInterval animationDuration_ = 0;
  NSInteger animationRepeatCount_ = 0;
  bool highlighted_ = false;
  bool templatesByDefault_ = false;
  // What the layer shows, kept so that showing the same image again does not redraw it.
  std::shared_ptr<UIImage> contentsImage_;
  std::shared_ptr<UIColor> contentsTint_;
};

namespace zvt::ui {
// The bitmap a layer shows for the image: upright, and filled with `tint` where the image is a
// template (nil tint: the image's own colours).
CGImageRef layerContentsForImage(const std::shared_ptr<UIImage>& image, const std::shared_ptr<UIColor>& tint);
// Whether a view with this tint draws the image as a template.
bool drawsAsTemplate(const std::shared_ptr<UIImage>& image, bool templateByDefault);
}  // namespace zvt::ui
