#include "platform/uikit/UIImageView.h"

#include <cmath>

#include "platform/quartzcore/CAAnimation.h"
#include "platform/uikit/UIKitMainThread.h"

namespace zvt::ui {

bool drawsAsTemplate(const std::shared_ptr<UIImage>& image, bool templateByDefault) {
  if (!image) return false;
  switch (image->renderingMode()) {
    case UIImageRenderingModeAlwaysTemplate: return true;
    case UIImageRenderingModeAlwaysOriginal: return false;
    default: return templateByDefault;
  }
}

CGImageRef layerContentsForImage(const std::shared_ptr<UIImage>& image, const std::shared_ptr<UIColor>& tint) {
  if (!image || !image->CGImage()) return nullptr;
  if (image->imageOrientation() == UIImageOrientationUp && !tint) return image->CGImage();
  // Draw it upright (and tinted) at its own scale.
  CGSize size = image->size();
  CGRect rect = CGRectMake(0, 0, size.width, size.height);
  UIGraphicsBeginImageContextWithOptions(size, false, image->scale());
  auto context = UIGraphicsGetCurrentContext();
  if (tint) {
    CGContextSetFillColorWithColor(context, tint->CGColor());
    CGContextFillRect(context, rect);
    auto plain = UIImage::imageWithCGImage(image->CGImage(), image->scale(), image->imageOrientation());
    plain->drawInRect(rect, kCGBlendModeDestinationIn, 1);
  } else {
    UIImage::imageWithCGImage(image->CGImage(), image->scale(), image->imageOrientation())->drawInRect(rect);
  }
  auto drawn = UIGraphicsGetImageFromCurrentImageContext();
  UIGraphicsEndImageContext();
  return drawn ? drawn->CGImage() : nullptr;
}

}  // namespace zvt::ui

namespace {

const zvt::StaticString kFramesKey{"UIImageViewAnimation"};
const zvt::StaticString kAnimatedImageKey{"UIImageViewAnimatedImage"};

}  // namespace

UIImageView::UIImageView() { setUserInteractionEnabled(false); }

std::shared_ptr<UIImageView> UIImageView::initWithImage(const std::shared_ptr<UIImage>& image) {
  return initWithImage(image, nullptr);
}

std::shared_ptr<UIImageView> UIImageView::initWithImage(const std::shared_ptr<UIImage>& image,
                                                        const std::shared_ptr<UIImage>& highlightedImage) {
  CGRect frame = CGRectZero;
  if (image) frame.size = image->size();
  auto view = makeView<UIImageView>(frame);
  view->setHighlightedImage(highlightedImage);
  view->setImage(image);
  return view;
}

void UIImageView::setUpWithFrame(CGRect frame) {
  UIView::setUpWithFrame(frame);
  setOpaque(false);
}

void UIImageView::setUpWithCoder(CGRect frame) {
  UIView::setUpWithCoder(frame);
  setOpaque(false);
}

std::shared_ptr<UIImage> UIImageView::shownImage() const {
  if (highlighted_ && highlightedImage_) return highlightedImage_;
  return image_;
}

void UIImageView::setImage(const std::shared_ptr<UIImage>& image) {
  zvt::ui::assertMainThread("UIImageView::setImage");
  if (image == image_) return;
  CGSize oldSize = image_ ? image_->size() : CGSizeMake(-1, -1);
  image_ = image;
  showImage();
  CGSize newSize = image_ ? image_->size() : CGSizeMake(-1, -1);
  if (newSize != oldSize) invalidateIntrinsicContentSize();
}

void UIImageView::setHighlightedImage(const std::shared_ptr<UIImage>& image) {
  zvt::ui::assertMainThread("UIImageView::setHighlightedImage");
  highlightedImage_ = image;
  showImage();
}

void UIImageView::setHighlighted(bool highlighted) {
  zvt::ui::assertMainThread("UIImageView::setHighlighted");
  if (highlighted == highlighted_) return;
  highlighted_ = highlighted;
  showImage();
  // Frames of the other state give way to those of this one.
  if (isAnimating()) startAnimating();
}

void UIImageView::tintColorDidChange() { showImage(); }

void UIImageView::setTemplatesByDefault(bool templates) {
  if (templates == templatesByDefault_) return;
  templatesByDefault_ = templates;
  showImage();
}

void UIImageView::showImage() {
  auto image = shownImage();
  std::shared_ptr<UIColor> tint = zvt::ui::drawsAsTemplate(image, templatesByDefault_) ? tintColor() : nullptr;
  auto& layer = this->layer();
  if (image != contentsImage_ || !zvt::objectsEqual(tint, contentsTint_)) {
    contentsImage_ = image;
    contentsTint_ = tint;
    CATransaction::begin();
    CATransaction::setDisableActions(true);
    layer->setContents(zvt::ui::layerContentsForImage(image, tint));
    if (image) layer->setContentsScale(image->scale());
    CGRect centre = CGRectMake(0, 0, 1, 1);
    if (image && image->isResizable()) {
      CGSize size = image->size();
      UIEdgeInsets caps = image->capInsets();
      if (size.width > 0 && size.height > 0)
        centre = CGRectMake(caps.left / size.width, caps.top / size.height,
                            std::max<CGFloat>(0, size.width - caps.left - caps.right) / size.width,
                            std::max<CGFloat>(0, size.height - caps.top - caps.bottom) / size.height);
    }
    layer->setContentsCenter(centre);
    CATransaction::commit();
  }
  // An animated image plays while it is shown.
  if (image && image->images() && image->images()->count() > 1) {
    if (!layer->animationForKey(kAnimatedImageKey))
      animateFrames(image->images(), image->duration(), HUGE_VALF, kAnimatedImageKey);
  } else if (layer->animationForKey(kAnimatedImageKey)) {
    layer->removeAnimationForKey(kAnimatedImageKey);
  }
}

// --- frame animations -------------------------------------------------------------------------

void UIImageView::setAnimationImages(const std::shared_ptr<NSArray>& images) {
  zvt::ui::assertMainThread("UIImageView::setAnimationImages");
  animationImages_ = images ? images->copy() : nullptr;
  if (!animationImages_ || animationImages_->count() == 0) stopAnimating();
}

void UIImageView::setHighlightedAnimationImages(const std::shared_ptr<NSArray>& images) {
  highlightedAnimationImages_ = images ? images->copy() : nullptr;
}

void UIImageView::animateFrames(const std::shared_ptr<NSArray>& frames, NSTimeInterval duration, float repeatCount,
                                const std::shared_ptr<NSString>& key) {
  auto values = NSMutableArray::array();
  auto tintColour = tintColor();
  for (NSUInteger i = 0; i < frames->count(); ++i) {
    auto frame = zvt::as<UIImage>(frames->objectAtIndex(i));
    if (!frame) continue;
    auto contents = zvt::ui::layerContentsForImage(frame, zvt::ui::drawsAsTemplate(frame, templatesByDefault_) ? tintColour : nullptr);
    if (contents) values->addObject(contents);
  }
  if (values->count() == 0) return;
  auto animation = CAKeyframeAnimation::animationWithKeyPath("contents"_ns);
  animation->setCalculationMode(kCAAnimationDiscrete);
  animation->setValues(values);
  animation->setDuration(duration > 0 ? duration : static_cast<double>(values->count()) / 30.0);
  animation->setRepeatCount(repeatCount);
  layer()->addAnimation(animation, key);
}

void UIImageView::startAnimating() {
  zvt::ui::assertMainThread("UIImageView::startAnimating");
  auto frames = highlighted_ && highlightedAnimationImages_ && highlightedAnimationImages_->count() > 0
                    ? highlightedAnimationImages_
                    : animationImages_;
  if (!frames || frames->count() == 0) return;
  float repeats = animationRepeatCount_ > 0 ? static_cast<float>(animationRepeatCount_) : HUGE_VALF;
  animateFrames(frames, animationDuration_, repeats, kFramesKey);
}

void UIImageView::stopAnimating() {
  zvt::ui::assertMainThread("UIImageView::stopAnimating");
  if (layer()->animationForKey(kFramesKey)) layer()->removeAnimationForKey(kFramesKey);
}

bool UIImageView::isAnimating() const { return layer()->animationForKey(kFramesKey) != nullptr; }

// --- size ---------------------------------------------------------------------------------------

CGSize UIImageView::sizeThatFits(CGSize size) const {
  if (!image_) return UIView::sizeThatFits(size);
  return image_->size();
}

CGSize UIImageView::intrinsicContentSize() const {
  if (!image_) return UIView::intrinsicContentSize();
  return image_->size();
}
