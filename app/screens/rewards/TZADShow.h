#pragma once
// The advert a successful check-in may bring: one picture over a dimmed backdrop across the
// whole shell, with a close button straddling the picture's top-right corner. A tap on the
// picture fades the advert out and runs ADShowBlock at once (the creator opens the advert's
// link); the close button slides it down out of the screen and opens nothing. The picture is
// always fetched afresh: its cache entry is removed first.

#include <functional>
#include <memory>

#include "platform/foundation/NSDictionary.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UIView.h"

class TZADShow : public UIView {
 public:
  using Block = std::function<void()>;

  // Builds the content; the creator has given the view its frame and a superview. Reads only
  // "pic" (the picture's address) of the advert.
  void create(const std::shared_ptr<NSDictionary>& advert);

  // The picture's tap and the close button's action.
  void imageClick();
  void buttonClick();

  const Block& ADShowBlock() const { return ADShowBlock_; }
  void setADShowBlock(Block block) { ADShowBlock_ = std::move(block); }

  // For tests and pictures.
  const std::shared_ptr<UIView>& backgroundView() const { return backgroundView_; }
  const std::shared_ptr<UIImageView>& imageView() const { return imageView_; }
  const std::shared_ptr<UIButton>& closeButton() const { return closeButton_; }

 private:
  Block ADShowBlock_;
  std::shared_ptr<UIView> backgroundView_;
  std::shared_ptr<UIImageView> imageView_;
  std::shared_ptr<UIButton> closeButton_;
};
