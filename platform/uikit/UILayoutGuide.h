#pragma once
// Layout guides (UILayoutGuide): rectangles in a view's coordinates that take part in
// constraints like views do but draw nothing and take no touches. A guide is added to its
// owning view (UIView::addLayoutGuide); its layoutFrame is what the engine solved.
//
// UILayoutSupport stands for what a view controller answers as topLayoutGuide and
// bottomLayoutGuide: a guide along the top (or bottom) edge of the controller's view, as wide
// as the view, whose length the controller sets (the bars that cover the view there). The
// controller makes both, adds them to its view and keeps their lengths current; constraints
// relate to their top, bottom and height as to any item.

#include <memory>

#include "platform/foundation/NSGeometry.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"

class UIView;
class NSLayoutXAxisAnchor;
class NSLayoutYAxisAnchor;
class NSLayoutDimension;

namespace zvt::ui {
struct LayoutItemState;
class LayoutEngine;
struct ConstraintPass;
}  // namespace zvt::ui

class UILayoutGuide : public NSObject {
 public:
  UILayoutGuide();
  ~UILayoutGuide() override;
  static std::shared_ptr<UILayoutGuide> make() { return std::make_shared<UILayoutGuide>(); }

  std::shared_ptr<UIView> owningView() const { return owningView_.lock(); }
  const std::shared_ptr<NSString>& identifier() const { return identifier_; }
  void setIdentifier(const std::shared_ptr<NSString>& identifier) { identifier_ = identifier; }
  // The solved rectangle in the owning view's coordinates (zero before the engine placed it).
  CGRect layoutFrame() const;

  std::shared_ptr<NSLayoutXAxisAnchor> leadingAnchor();
  std::shared_ptr<NSLayoutXAxisAnchor> trailingAnchor();
  std::shared_ptr<NSLayoutXAxisAnchor> leftAnchor();
  std::shared_ptr<NSLayoutXAxisAnchor> rightAnchor();
  std::shared_ptr<NSLayoutXAxisAnchor> centerXAnchor();
  std::shared_ptr<NSLayoutYAxisAnchor> topAnchor();
  std::shared_ptr<NSLayoutYAxisAnchor> bottomAnchor();
  std::shared_ptr<NSLayoutYAxisAnchor> centerYAnchor();
  std::shared_ptr<NSLayoutDimension> widthAnchor();
  std::shared_ptr<NSLayoutDimension> heightAnchor();

  std::shared_ptr<NSString> description() const override;

  // What places the guide besides the constraints made on it: nothing (a plain guide), the
  // owning view's margins, or a bar length along its top or bottom edge.
  enum class Kind { Plain, Margins, Top, Bottom };
  Kind kind() const { return kind_; }

 protected:
  explicit UILayoutGuide(Kind kind);
  zvt::ui::LayoutItemState* itemStateIfAny() const { return itemState_.get(); }

 private:
  friend class UIView;
  friend class zvt::ui::LayoutEngine;
  friend struct zvt::ui::ConstraintPass;
  zvt::ui::LayoutItemState& itemStateForConstraints();
  std::weak_ptr<UIView> owningView_;
  std::shared_ptr<NSString> identifier_;
  Kind kind_ = Kind::Plain;
  std::unique_ptr<zvt::ui::LayoutItemState> itemState_;
};

// A view controller's top or bottom layout guide.
class UILayoutSupport : public UILayoutGuide {
 public:
  explicit UILayoutSupport(bool top) : UILayoutGuide(top ? Kind::Top : Kind::Bottom) {}
  bool isTopGuide() const { return kind() == Kind::Top; }

  // Points of the owning view the bars cover along the edge (status and navigation bar at the
  // top, tab bar or toolbar at the bottom). Setting it re-solves the layout.
  CGFloat length() const { return length_; }
  void setLength(CGFloat length);
  // For the controller: the guide goes to its view (and leaves the one before).
  void setOwningView(const std::shared_ptr<UIView>& view);
  // The covered strip along the top or the bottom of the owning view's bounds.
  CGRect frame() const;

 private:
  CGFloat length_ = 0;
};
