#pragma once
// Segmented controls (UISegmentedControl): a row of segments, each a title or an image, at most
// one selected. A tap on an enabled segment selects it and sends UIControlEventValueChanged (a
// momentary control selects nothing lasting); setting the selected index from code sends
// nothing. Segments share the width equally unless given a width or apportioned by content.
//
// Each segment is a view of its own showing its title, so the device finds and taps a segment
// by its title; the touch goes on to the control.

#include <memory>
#include <vector>

#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/graphics/UIImage.h"
#include "platform/uikit/UIControl.h"

inline constexpr NSInteger UISegmentedControlNoSegment = -1;

class UISegmentedControl : public UIControl {
 public:
  // Titles (NSString) and images (UIImage), one segment each.
  static std::shared_ptr<UISegmentedControl> initWithItems(const std::shared_ptr<NSArray>& items);
  static std::shared_ptr<UISegmentedControl> initWithFrame(CGRect frame) {
    return makeView<UISegmentedControl>(frame);
  }
  void setUpWithFrame(CGRect frame) override;
  void setUpWithCoder(CGRect frame) override;

  NSUInteger numberOfSegments() const { return segments_.size(); }
  // UISegmentedControlNoSegment unless a segment is selected.
  NSInteger selectedSegmentIndex() const { return selected_; }
  void setSelectedSegmentIndex(NSInteger index);
  bool isMomentary() const { return momentary_; }
  void setMomentary(bool momentary) { momentary_ = momentary; }
  bool apportionsSegmentWidthsByContent() const { return apportions_; }
  void setApportionsSegmentWidthsByContent(bool apportions);

  // An index past the end appends.
  void insertSegmentWithTitle(const std::shared_ptr<NSString>& title, NSUInteger index, bool animated);
  void insertSegmentWithImage(const std::shared_ptr<UIImage>& image, NSUInteger index, bool animated);
  void removeSegmentAtIndex(NSUInteger index, bool animated);
  void removeAllSegments();
  void setTitle(const std::shared_ptr<NSString>& title, NSUInteger segment);
  std::shared_ptr<NSString> titleForSegmentAtIndex(NSUInteger segment) const;
  void setImage(const std::shared_ptr<UIImage>& image, NSUInteger segment);
  std::shared_ptr<UIImage> imageForSegmentAtIndex(NSUInteger segment) const;
  // 0: shared out.
  void setWidth(CGFloat width, NSUInteger segment);
  CGFloat widthForSegmentAtIndex(NSUInteger segment) const;
  void setEnabled(bool enabled, NSUInteger segment);
  bool isEnabledForSegmentAtIndex(NSUInteger segment) const;
  using UIControl::setEnabled;
  // Font (NSFontAttributeName) and colour (NSForegroundColorAttributeName) of the titles in the
  // normal or selected state.
  void setTitleTextAttributes(const std::shared_ptr<NSDictionary>& attributes, UIControlState state);
  std::shared_ptr<NSDictionary> titleTextAttributesForState(UIControlState state) const;

  void layoutSubviews() override;
  CGSize sizeThatFits(CGSize size) const override;
  CGSize intrinsicContentSize() const override;
  void tintColorDidChange() override;
  void drawRect(CGRect rect) override;

 protected:
  bool takesTapsBeforeRecognizers() const override { return true; }
  void endTrackingWithTouch(const std::shared_ptr<UITouch>& touch, const std::shared_ptr<UIEvent>& event) override;

 private:
  class SegmentView;
  struct Segment {
    std::shared_ptr<SegmentView> view;
    CGFloat width = 0;
    bool enabled = true;
  };
  void insert(const std::shared_ptr<NSString>& title, const std::shared_ptr<UIImage>& image, NSUInteger index);
  void updateSegments();
  std::vector<CGFloat> widths(CGFloat total) const;
  CGSize contentSize(const Segment& segment) const;

  std::vector<Segment> segments_;
  std::shared_ptr<NSDictionary> normalAttributes_, selectedAttributes_;
  NSInteger selected_ = UISegmentedControlNoSegment;
  bool momentary_ = false;
  bool apportions_ = false;
};
