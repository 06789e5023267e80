#pragma once
// Small views the screens share: the empty-list and no-network placeholder with its retry
// button (TZNoMessageTipView, from its nib), the floating back-to-top button (TZTopButton), and
// the single-product advert that the push router shows (TZSingleProductView, from its nib; its
// look belongs to the home screen, which replaces the nib's factory when it arrives).

#include <functional>
#include <memory>

#include "app/ui/ParentsViewController.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/text/NSAttributedString.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"

class TZNoMessageTipView : public ParentView {
 public:
  // Outlets (weak, as the nib's are).
  std::shared_ptr<UIImageView> noMessageImageView() const { return noMessageImageView_.lock(); }
  std::shared_ptr<UILabel> noMessageLabel() const { return noMessageLabel_.lock(); }
  std::shared_ptr<UIButton> noMessageButton() const { return noMessageButton_.lock(); }
  void setOutlets(const std::shared_ptr<UIImageView>& image, const std::shared_ptr<UILabel>& label,
                  const std::shared_ptr<UIButton>& button);

  using RefreshBlock = std::function<void(const id& sender)>;
  void setRefreshBlock(RefreshBlock block) { refreshBlock_ = std::move(block); }

  // The button's border: width 1, radius 4, the action colour (the base is not called).
  void awakeFromNib() override;
  // nil arguments leave that part as it is; the button's hidden state is always set.
  void fillViewWithImage(const std::shared_ptr<UIImage>& image, const std::shared_ptr<NSAttributedString>& title,
                         const std::shared_ptr<NSString>& buttonTitle, bool buttonHide);
  // "点击重试" runs the retry block, any other title myBlock.
  void buttonClick(const std::shared_ptr<UIButton>& sender);

 private:
  std::weak_ptr<UIImageView> noMessageImageView_;
  std::weak_ptr<UILabel> noMessageLabel_;
  std::weak_ptr<UIButton> noMessageButton_;
  RefreshBlock refreshBlock_;
};

class TZTopButton : public UIButton {
 public:
  // "back_to_the_top", its own touch-up-inside to turnToTop; starts hidden.
  void setUpWithFrame(CGRect frame) override;
  void setTopButtonBlock(std::function<void()> block) { topButtonBlock_ = std::move(block); }
  void turnToTop();

 private:
  std::function<void()> topButtonBlock_;
};

// The advert of one product over the whole shell (dimmed backdrop, the product's title and
// picture); a tap on the content calls myBlock, a tap on the backdrop closes it. This plain look
// stands in until the shopping screens register the nib of the real one (a subclass).
class TZSingleProductView : public ParentView {
 public:
  bool isSaveTime() const { return isSaveTime_; }
  void setIsSaveTime(bool value) { isSaveTime_ = value; }
  std::shared_ptr<NSDictionary> productDic() const { return productDic_; }
  // The home screen's advert fills its texts from the record as well.
  virtual void setProductDic(const std::shared_ptr<NSDictionary>& value) { productDic_ = value; }
  // Shows the advert over the controller's view (the tab bar controller's, covering the bar).
  virtual void showSingleProductWithCurrentVC(const std::shared_ptr<UIViewController>& controller,
                                              std::function<void()> adBlock);
  void contentTapped();
  void backdropTapped();

 private:
  bool isSaveTime_ = false;
  std::shared_ptr<NSDictionary> productDic_;
  std::function<void()> adBlock_;
};

namespace zvt {
// Registers the nibs of the shared views ("TZNoMessageTipView", "TZSingleProductView" unless a
// screen folder registered its own); the application calls it at start-up, before anything is
// loaded.
void registerSharedViewNibs();
}  // namespace zvt
