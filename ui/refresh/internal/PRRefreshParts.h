#pragma once
// The parts the family's headers and footers have in common: the state label with its titles,
// the arrow and the spinner, and the animation frames by state. Each owner keeps the part as a
// member and hands itself in as the view the part's subviews are added to; subviews are made on
// first use and held weakly, so a part removed from its owner is made afresh.

#include <functional>
#include <map>
#include <vector>

#include "platform/graphics/UIImage.h"
#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"

namespace PRRefresh {

class StateTitles {
 public:
  std::shared_ptr<UILabel> label(UIView& host);
  // A nil title is ignored; the label shows the title of `current`.
  void setTitle(UIView& host, const std::shared_ptr<NSString>& title, NSInteger state, NSInteger current);
  std::shared_ptr<NSString> titleForState(NSInteger state) const;

 private:
  std::weak_ptr<UILabel> label_;
  std::map<NSInteger, std::shared_ptr<NSString>> titles_;
};

// A spare label made on first use, like the state label.
std::shared_ptr<UILabel> lazyLabel(UIView& host, std::weak_ptr<UILabel>& slot);

class Indicator {
 public:
  std::shared_ptr<UIImageView> arrowView(UIView& host);
  std::shared_ptr<UIActivityIndicatorView> loadingView(UIView& host);
  UIActivityIndicatorViewStyle style() const { return style_; }
  // The spinner in use is forgotten (it stays, stopped); the next one has the new style.
  void setStyle(UIView& host, UIActivityIndicatorViewStyle style);
  // Back to grey without touching a spinner already made.
  void resetStyle() { style_ = UIActivityIndicatorViewStyleGray; }
  // Arrow and spinner at the centre, moved left of the text when it shows.
  void place(UIView& host, bool besideText);
  // The spinner alone, placed the same way.
  void placeLoadingView(UIView& host, bool besideText);

 private:
  std::weak_ptr<UIImageView> arrow_;
  std::weak_ptr<UIActivityIndicatorView> loading_;
  UIActivityIndicatorViewStyle style_ = UIActivityIndicatorViewStyleGray;
};

class Frames {
 public:
  std::shared_ptr<UIImageView> gifView(UIView& host);
  // A first image taller than the owner makes the owner that tall.
  void setImages(UIView& host, const std::vector<std::shared_ptr<UIImage>>& images, NSTimeInterval duration,
                 NSInteger state);
  // Each frame shown for the family's frame time.
  void setImages(UIView& host, const std::vector<std::shared_ptr<UIImage>>& images, NSInteger state);
  // The state's frames, or nullptr when it has none.
  const std::vector<std::shared_ptr<UIImage>>* imagesForState(NSInteger state) const;
  // Centred alone, or right-aligned in the left half beside the text (asked only when the
  // frames' view has no constraints of its own).
  void place(UIView& host, const std::function<bool()>& besideText);
  // The idle frame for how far the owner has been pulled.
  void showPercent(UIView& host, CGFloat percent);
  // The state's frames: one as a still, more as an animation (shown first when `unhide`).
  // False, and nothing changed, when the state has none.
  bool play(UIView& host, NSInteger state, bool unhide);

 private:
  std::weak_ptr<UIImageView> gif_;
  std::map<NSInteger, std::vector<std::shared_ptr<UIImage>>> images_;
  std::map<NSInteger, NSTimeInterval> durations_;
};

// The parts as the accessors of a control's class: Base is the control the class derives from.
template <class Base>
class WithStateTitles : public Base {
 public:
  std::shared_ptr<UILabel> stateLabel() { return titles_.label(*this); }
  // A nil title is ignored; the label shows the current state's title.
  void setTitle(const std::shared_ptr<NSString>& title, NSInteger state) {
    titles_.setTitle(*this, title, state, this->state());
  }
  std::shared_ptr<NSString> titleForState(NSInteger state) const { return titles_.titleForState(state); }

 private:
  StateTitles titles_;
};

template <class Base>
class WithLoadingView : public Base {
 public:
  std::shared_ptr<UIActivityIndicatorView> loadingView() { return indicator_.loadingView(*this); }
  UIActivityIndicatorViewStyle activityIndicatorViewStyle() const { return indicator_.style(); }
  // The spinner in use is forgotten (it stays, stopped); the next one has the new style.
  void setActivityIndicatorViewStyle(UIActivityIndicatorViewStyle style) { indicator_.setStyle(*this, style); }

 protected:
  Indicator indicator_;
};

template <class Base>
class WithFrames : public Base {
 public:
  std::shared_ptr<UIImageView> gifView() { return frames_.gifView(*this); }
  // A first image taller than the control makes the control that tall.
  void setImages(const std::vector<std::shared_ptr<UIImage>>& images, NSTimeInterval duration, NSInteger state) {
    frames_.setImages(*this, images, duration, state);
  }
  void setImages(const std::vector<std::shared_ptr<UIImage>>& images, NSInteger state) {
    frames_.setImages(*this, images, state);
  }

 protected:
  Frames frames_;
};

}  // namespace PRRefresh
