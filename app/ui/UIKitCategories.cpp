#include "app/ui/UIKitCategories.h"

#include <algorithm>

#include "platform/graphics/UIBezierPath.h"
#include "platform/graphics/UIScreen.h"
#include "platform/uikit/UIGestureRecognizer.h"

namespace {

// The tap recogniser's target: ends editing in its view. Kept with the view, since recognisers
// hold their targets weakly.
class KeyboardHideTarget : public NSObject {
 public:
  std::weak_ptr<UIView> view;
  void keyboardHide() { ::keyboardHide(view.lock()); }
};

const char kKeyboardHideKey = 0;

}  // namespace

std::shared_ptr<UIStoryboard> storyboardFromName(const std::shared_ptr<NSString>& name) {
  return name ? UIStoryboard::storyboardWithName(name, nullptr) : nullptr;
}

std::shared_ptr<UIViewController> createFromStoryboardName(const std::shared_ptr<NSString>& name,
                                                           const std::shared_ptr<NSString>& identifier) {
  if (!name || !identifier) return nullptr;
  return UIStoryboard::storyboardWithName(name, nullptr)->instantiateViewControllerWithIdentifier(identifier);
}

void keyboardCanHide(const std::shared_ptr<UIView>& view) {
  if (!view) return;
  auto target = std::make_shared<KeyboardHideTarget>();
  target->view = view;
  view->setAssociatedObject(&kKeyboardHideKey, target);
  view->addGestureRecognizer(UITapGestureRecognizer::initWithTarget(target, &KeyboardHideTarget::keyboardHide));
}

void keyboardHide(const std::shared_ptr<UIView>& view) {
  if (view) view->endEditing(true);
}

void configLayerWithBorderWidth(const std::shared_ptr<UIView>& view, CGFloat width, CGFloat radius,
                                const std::shared_ptr<UIColor>& color) {
  if (!view) return;
  const auto& layer = view->layer();
  layer->setBorderWidth(width);
  layer->setCornerRadius(radius);
  layer->setMasksToBounds(true);
  if (color) layer->setBorderColor(color->CGColor());
}

std::shared_ptr<UIImage> cutImageWithCornerRadius(const std::shared_ptr<UIImage>& image, CGFloat radius) {
  if (!image) return nullptr;
  const CGSize size = image->size();
  const CGFloat smaller = std::min(size.width, size.height);
  if (radius < 0) radius = 0;
  if (radius > smaller) radius = smaller / 2;
  const CGRect rect = CGRectMake(0, 0, size.width, size.height);
  UIGraphicsBeginImageContextWithOptions(size, false, UIScreen::mainScreen()->scale());
  UIBezierPath::bezierPathWithRoundedRect(rect, radius)->addClip();
  image->drawInRect(rect);
  auto rounded = UIGraphicsGetImageFromCurrentImageContext();
  UIGraphicsEndImageContext();
  return rounded;
}

std::shared_ptr<NSMutableAttributedString> createStrWithString(const std::shared_ptr<NSString>& text,
                                                               const std::shared_ptr<NSDictionary>& attributes,
                                                               NSRange range) {
  auto result = NSMutableAttributedString::initWithString(text ? text : NSString::string());
  if (attributes) result->setAttributes(attributes, range);
  return result;
}

std::shared_ptr<UIFont> createFontWithSize(CGFloat size) {
  return UIFont::fontWithName("IowanOldStyle-Roman"_ns, size);
}

bool limitLengthWithExpectLength(const std::shared_ptr<UITextField>& /*field*/, NSInteger limit,
                                 const std::shared_ptr<NSString>& text, NSRange range,
                                 const std::shared_ptr<NSString>& string) {
  if (string && string->isEqualToString("\n"_ns)) return true;
  auto current = text ? text : NSString::string();
  // An edit outside the text cannot happen through typing; refusing it keeps a stale range
  // from a delegate from raising in the middle of an edit.
  if (range.location > current->length() || range.length > current->length() - range.location) return false;
  auto changed = current->stringByReplacingCharactersInRange(range, string ? string : NSString::string());
  return static_cast<NSInteger>(changed->length()) <= limit;
}
