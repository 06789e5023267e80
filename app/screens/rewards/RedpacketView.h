#pragma once
// The red packet shown once after a registration: a closed packet with an open button over a
// dimmed backdrop across the whole shell (tab bar included); the open button shows the opened
// packet with the reward text and the close button; the close button, or then a tap on the
// backdrop, takes it away. Before it is opened nothing but the open button reacts.

#include <memory>

#include "app/ui/ParentsViewController.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIGestureRecognizer.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"

class RedpacketView : public ParentView {
 public:
  static constexpr NSInteger kOpenTag = 0;
  static constexpr NSInteger kCloseTag = 1;

  // initWithFrame: the backdrop, the packet and its buttons.
  void setUpWithFrame(CGRect frame) override;

  // Tag 1 closes, tag 0 calls myBlock (which opens); other tags nothing.
  void buttonClick(const std::shared_ptr<UIButton>& button);
  void openRedpacket(const std::shared_ptr<NSString>& text);
  void closeRedpacket();
  // The backdrop's tap once opened.
  void tapAction();

  // For tests and pictures.
  const std::shared_ptr<UIView>& backGroundView() const { return backGroundView_; }
  const std::shared_ptr<UIImageView>& redpacketImageView() const { return redpacketImageView_; }
  const std::shared_ptr<UIButton>& getRedpacketButton() const { return getRedpacketButton_; }
  const std::shared_ptr<UIButton>& closeRedpacketButton() const { return closeRedpacketButton_; }

 private:
  void createUI();

  std::shared_ptr<UIView> backGroundView_;
  std::shared_ptr<UIImageView> redpacketImageView_;
  std::shared_ptr<UIButton> getRedpacketButton_;
  std::shared_ptr<UIButton> closeRedpacketButton_;
};

// -[UIViewController(showRedpacket) showRedpacket:]: the packet over the view of the screen's
// tab bar controller, opening to the text; nothing for a screen outside a tab bar controller.
void showRedpacketOn(const std::shared_ptr<UIViewController>& controller, const std::shared_ptr<NSString>& text);
