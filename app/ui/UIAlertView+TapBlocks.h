#pragma once
// Alerts with blocks (the TapBlocks category of UIAlertView). Setting any of the seven blocks
// first makes the alert its own delegate: a forwarding delegate kept with the alert takes the
// delegate's place, remembers the delegate that was there (weakly: a delegate that has gone is
// skipped), and for every delegate message runs the matching block, then hands the message on
// to that previous delegate. alertViewShouldEnableFirstOtherButton is the block's answer when
// one is set, else the previous delegate's, else YES. Button indexes are the alert's: the
// cancel button 0, the other buttons from 1 in order.

#include <functional>
#include <memory>
#include <vector>

#include "platform/uikit/UIAlertView.h"

using UIAlertViewBlock = std::function<void(const std::shared_ptr<UIAlertView>& alertView)>;
using UIAlertViewCompletionBlock =
    std::function<void(const std::shared_ptr<UIAlertView>& alertView, NSInteger buttonIndex)>;
using UIAlertViewShouldEnableBlock = std::function<bool(const std::shared_ptr<UIAlertView>& alertView)>;

// +showWithTitle:message:style:cancelButtonTitle:otherButtonTitles:tapBlock: — an alert with the
// title, message, no delegate, the cancel title, the other titles as further buttons in order,
// the style and the tap block (when given); shown, and returned.
std::shared_ptr<UIAlertView> showWithTitle(const std::shared_ptr<NSString>& title, const std::shared_ptr<NSString>& message,
                                           UIAlertViewStyle style, const std::shared_ptr<NSString>& cancelButtonTitle,
                                           const std::vector<std::shared_ptr<NSString>>& otherButtonTitles,
                                           UIAlertViewCompletionBlock tapBlock);
// The same in the default style.
std::shared_ptr<UIAlertView> showWithTitle(const std::shared_ptr<NSString>& title, const std::shared_ptr<NSString>& message,
                                           const std::shared_ptr<NSString>& cancelButtonTitle,
                                           const std::vector<std::shared_ptr<NSString>>& otherButtonTitles,
                                           UIAlertViewCompletionBlock tapBlock);
// The usual message: the single button "确定", no block.
std::shared_ptr<UIAlertView> showWithTitle(const std::shared_ptr<NSString>& title, const std::shared_ptr<NSString>& message);

void setTapBlock(const std::shared_ptr<UIAlertView>& alert, UIAlertViewCompletionBlock block);
void setWillDismissBlock(const std::shared_ptr<UIAlertView>& alert, UIAlertViewCompletionBlock block);
void setDidDismissBlock(const std::shared_ptr<UIAlertView>& alert, UIAlertViewCompletionBlock block);
void setWillPresentBlock(const std::shared_ptr<UIAlertView>& alert, UIAlertViewBlock block);
void setDidPresentBlock(const std::shared_ptr<UIAlertView>& alert, UIAlertViewBlock block);
void setCancelBlock(const std::shared_ptr<UIAlertView>& alert, UIAlertViewBlock block);
void setShouldEnableFirstOtherButtonBlock(const std::shared_ptr<UIAlertView>& alert, UIAlertViewShouldEnableBlock block);

UIAlertViewCompletionBlock tapBlock(const std::shared_ptr<UIAlertView>& alert);
UIAlertViewCompletionBlock willDismissBlock(const std::shared_ptr<UIAlertView>& alert);
UIAlertViewCompletionBlock didDismissBlock(const std::shared_ptr<UIAlertView>& alert);
UIAlertViewBlock willPresentBlock(const std::shared_ptr<UIAlertView>& alert);
UIAlertViewBlock didPresentBlock(const std::shared_ptr<UIAlertView>& alert);
UIAlertViewBlock cancelBlock(const std::shared_ptr<UIAlertView>& alert);
UIAlertViewShouldEnableBlock shouldEnableFirstOtherButtonBlock(const std::shared_ptr<UIAlertView>& alert);
