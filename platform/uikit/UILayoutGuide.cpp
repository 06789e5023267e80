#include "platform/uikit/UILayoutGuide.h"

#include <cstdio>

#include "platform/uikit/NSLayoutAnchor.h"
#include "platform/uikit/UIKitMainThread.h"
#include "platform/uikit/UIView.h"
#include "platform/uikit/internal/LayoutEngine.h"

UILayoutGuide::UILayoutGuide() = default;
UILayoutGuide::UILayoutGuide(Kind kind) : kind_(kind) {}

UILayoutGuide::~UILayoutGuide() {
  if (itemState_ && itemState_->engine) {
    // Constraints naming the guide were deactivated when it left its view; nothing is left.
  }
}

CGRect UILayoutGuide::layoutFrame() const {
  auto owner = owningView();
  if (!owner) return CGRectZero;
  auto* engine = zvt::ui::engineOfTree(*owner, false);
  if (!engine) return CGRectZero;
  if (engine->needsSync()) engine->sync();
  return engine->layoutFrameOf(*this);
}

#define ZVT_GUIDE_ANCHOR(name, type, attribute) \
  std::shared_ptr<type> UILayoutGuide::name() { return std::make_shared<type>(self(), attribute); }
ZVT_GUIDE_ANCHOR(leadingAnchor, NSLayoutXAxisAnchor, NSLayoutAttributeLeading)
ZVT_GUIDE_ANCHOR(trailingAnchor, NSLayoutXAxisAnchor, NSLayoutAttributeTrailing)
ZVT_GUIDE_ANCHOR(leftAnchor, NSLayoutXAxisAnchor, NSLayoutAttributeLeft)
ZVT_GUIDE_ANCHOR(rightAnchor, NSLayoutXAxisAnchor, NSLayoutAttributeRight)
ZVT_GUIDE_ANCHOR(centerXAnchor, NSLayoutXAxisAnchor, NSLayoutAttributeCenterX)
ZVT_GUIDE_ANCHOR(topAnchor, NSLayoutYAxisAnchor, NSLayoutAttributeTop)
ZVT_GUIDE_ANCHOR(bottomAnchor, NSLayoutYAxisAnchor, NSLayoutAttributeBottom)
ZVT_GUIDE_ANCHOR(centerYAnchor, NSLayoutYAxisAnchor, NSLayoutAttributeCenterY)
ZVT_GUIDE_ANCHOR(widthAnchor, NSLayoutDimension, NSLayoutAttributeWidth)
ZVT_GUIDE_ANCHOR(heightAnchor, NSLayoutDimension, NSLayoutAttributeHeight)
#undef ZVT_GUIDE_ANCHOR

std::shared_ptr<NSString> UILayoutGuide::description() const {
  char address[32];
  std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
  CGRect f = layoutFrame();
  std::string text = "<" + className() + ": " + address + " - " + (identifier_ ? "\"" + identifier_->utf8() + "\", " : "") +
                     "layoutFrame = {{" + zvt::shortestNumberText(f.origin.x) + ", " +
                     zvt::shortestNumberText(f.origin.y) + "}, {" + zvt::shortestNumberText(f.size.width) + ", " +
                     zvt::shortestNumberText(f.size.height) + "}}>";
  return NSString::fromValidUTF8(std::move(text));
}

void UILayoutSupport::setLength(CGFloat length) {
  zvt::ui::assertMainThread("UILayoutSupport::setLength");
  if (length == length_) return;
  length_ = length;
  if (auto* state = itemStateIfAny(); state && state->engine) state->engine->guideChanged(*this);
}

void UILayoutSupport::setOwningView(const std::shared_ptr<UIView>& view) {
  auto keep = std::static_pointer_cast<UILayoutGuide>(self());
  auto owner = owningView();
  if (owner == view) return;
  if (owner) owner->removeLayoutGuide(keep);
  if (view) view->addLayoutGuide(keep);
}

CGRect UILayoutSupport::frame() const {
  auto view = owningView();
  CGRect bounds = view ? view->bounds() : CGRectZero;
  if (isTopGuide()) return CGRectMake(bounds.origin.x, bounds.origin.y, bounds.size.width, length_);
  return CGRectMake(bounds.origin.x, CGRectGetMaxY(bounds) - length_, bounds.size.width, length_);
}
