#pragma once
// The tappable items inside the bars (bar buttons, the back button with its chevron, tab bar
// buttons with their badges), as UIKit's own private button classes are. Internal to
// platform/uikit; they draw their text through platform/text and show it to the device as
// visible text.

#include <functional>
#include <memory>

#include "platform/foundation/NSDictionary.h"
#include "platform/graphics/UIImage.h"
#include "platform/uikit/UIControl.h"

namespace zvt::ui {

// A button of a bar: an optional background image, an image (a template image takes the
// tint), a title, and for a back button the chevron before the title. A tap (touch up inside)
// runs `onTap`; while touched it dims.
class BarButton : public UIControl {
 public:
  enum class Layout { Stacked, Inline };
  void setUpWithFrame(CGRect frame) override;

  const std::shared_ptr<NSString>& title() const { return title_; }
  void setTitle(const std::shared_ptr<NSString>& title);
  void setTitleAttributes(const std::shared_ptr<NSDictionary>& attributes);
  void setImage(const std::shared_ptr<UIImage>& image);
  void setBackgroundImage(const std::shared_ptr<UIImage>& image);
  void setImageInsets(UIEdgeInsets insets);
  // The colour of the title (unless the attributes give one), template images and the chevron.
  void setColor(const std::shared_ptr<UIColor>& color);
  void setShowsChevron(bool shows);
  // Stacked: image above a small title (tab bar buttons); inline: image or chevron, then title.
  void setLayout(Layout layout);
  // The badge of a tab (drawn at the image's top right).
  void setBadge(const std::shared_ptr<NSString>& badge);
  std::function<void(const std::shared_ptr<UIEvent>& event)> onTap;

  // The size of the content (chevron, image, title) for the bar's layout.
  CGSize contentSize() const;
  CGSize sizeThatFits(CGSize size) const override;
  void drawRect(CGRect rect) override;
  std::vector<std::shared_ptr<NSString>> visibleTexts() const override;
  void setHighlighted(bool highlighted) override;
  void setEnabled(bool enabled) override;
  // The touch-up-inside action.
  void fire(const std::shared_ptr<BarButton>& sender, const std::shared_ptr<UIEvent>& event);

  static constexpr CGFloat kChevronWidth = 13, kChevronHeight = 21, kChevronGap = 6;

 protected:
  bool takesTapsBeforeRecognizers() const override { return true; }

 private:
  CGSize titleSize() const;
  CGSize imageSize() const;
  std::shared_ptr<NSDictionary> effectiveAttributes() const;
  void drawImageTinted(const std::shared_ptr<UIImage>& image, CGRect rect) const;

  std::shared_ptr<NSString> title_;
  std::shared_ptr<NSDictionary> titleAttributes_;
  std::shared_ptr<UIImage> image_;
  std::shared_ptr<UIImage> backgroundImage_;
  std::shared_ptr<UIColor> color_;
  std::shared_ptr<NSString> badge_;
  UIEdgeInsets imageInsets_{};
  Layout layout_ = Layout::Inline;
  bool showsChevron_ = false;
};

// Whether an image has a pixel that is not fully opaque (a bar with such a background image
// is translucent).
bool imageHasTransparency(const std::shared_ptr<UIImage>& image);

}  // namespace zvt::ui
