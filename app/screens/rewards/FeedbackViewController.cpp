#include "app/screens/rewards/FeedbackViewController.h"

#include <algorithm>

#include "analytics/StatAgent.h"
#include "app/api/ZVTAPIClient.h"
#include "app/core/AppDelegate.h"
#include "app/ui/UIAlertView+TapBlocks.h"
#include "app/ui/UIKitCategories.h"
#include "app/ui/UIViewController+NavItem.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSValue.h"
#include "platform/graphics/UIScreen.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UIKeyboard.h"
#include "platform/uikit/UINavigationBar.h"
#include "platform/uikit/UINavigationController.h"
#include "ui/hud/POProgressHUD.h"
#include "ui/layout/LCAdditions.h"
#include "ui/layout/LCConstraintMaker.h"

namespace {

CGFloat longerSide() {
  const CGSize size = UIScreen::mainScreen()->bounds().size;
  return std::max(size.width, size.height);
}

}  // namespace

// --- FeedBackView

std::shared_ptr<NSString> FeedBackView::prompt() { return "请填写您宝贵的建议"_ns; }

std::shared_ptr<FeedBackView> FeedBackView::initWithFrame(CGRect frame) {
  auto view = makeView<FeedBackView>(frame);
  view->createUI();
  return view;
}

void FeedBackView::createUI() {
  auto self = std::static_pointer_cast<FeedBackView>(shared_from_this());
  bgScrollView_ = UIScrollView::initWithFrame(CGRectZero);
  bgScrollView_->setBackgroundColor(UIColor::groupTableViewBackgroundColor());
  addSubview(bgScrollView_);
  lc_makeConstraints(bgScrollView_, [&](const auto& make) { make->top()->left()->right()->equalTo(self); });
  bottomConstraint_ = NSLayoutConstraint::constraintWithItem(self, NSLayoutAttributeBottom, NSLayoutRelationEqual,
                                                             bgScrollView_, NSLayoutAttributeBottom, 1, 0);
  addConstraint(bottomConstraint_);

  contentView_ = UIView::initWithFrame(CGRectZero);
  contentView_->setBackgroundColor(UIColor::groupTableViewBackgroundColor());
  bgScrollView_->addSubview(contentView_);
  lc_makeConstraints(contentView_, [&](const auto& make) {
    make->top()->left()->right()->bottom()->equalTo(bgScrollView_);
    make->width()->equalTo(self);
    make->height()->lc_equalTo(longerSide() - 64 - 49);
  });

  auto words = UIImageView::initWithImage(UIImage::imageNamed("tumikaWords"_ns));
  contentView_->addSubview(words);
  const CGSize wordsSize = words->image() ? words->image()->size() : CGSizeZero;
  lc_makeConstraints(words, [&](const auto& make) {
    make->centerX()->equalTo(contentView_);
    make->top()->equalTo(contentView_)->offset(20);
    make->width()->lc_equalTo(wordsSize.width);
    make->height()->lc_equalTo(wordsSize.height);
  });

  feedbackTextView_ = UITextView::initWithFrame(CGRectZero);
  feedbackTextView_->setBackgroundColor(UIColor::whiteColor());
  feedbackTextView_->layer()->setCornerRadius(4);
  feedbackTextView_->layer()->setMasksToBounds(true);
  feedbackTextView_->setFont(UIFont::systemFontOfSize(15));
  feedbackTextView_->setText(prompt());
  contentView_->addSubview(feedbackTextView_);
  lc_makeConstraints(feedbackTextView_, [&](const auto& make) {
    make->top()->equalTo(lc_bottom(words))->offset(20);
    make->left()->equalTo(contentView_)->offset(20);
    make->right()->equalTo(contentView_)->offset(-20);
    make->height()->lc_equalTo(200);
  });

  submitButton_ = UIButton::buttonWithType(UIButtonTypeCustom);
  submitButton_->setBackgroundColor(zvt::actionColor());
  submitButton_->layer()->setCornerRadius(4);
  submitButton_->setTitle("提交意见"_ns, UIControlStateNormal);
  submitButton_->setTitleColor(UIColor::whiteColor(), UIControlStateNormal);
  submitButton_->addTarget(self, &FeedBackView::submitAction, UIControlEventTouchUpInside);
  contentView_->addSubview(submitButton_);
  lc_makeConstraints(submitButton_, [&](const auto& make) {
    make->top()->equalTo(lc_bottom(feedbackTextView_))->offset(20);
    make->left()->right()->equalTo(feedbackTextView_);
    make->height()->lc_equalTo(40);
  });
}

void FeedBackView::updateConstraints() {
  if (bottomConstraint_) bottomConstraint_->setConstant(isUpdateConstraints ? keyboardH : 0);
  ParentView::updateConstraints();
}

void FeedBackView::submitAction(const std::shared_ptr<UIButton>& sender) { callMyBlock(sender); }

// --- FeedbackViewController

void FeedbackViewController::viewDidLoad() {
  ParentsViewController::viewDidLoad();
  setTitle("意见反馈"_ns);
  std::weak_ptr<FeedbackViewController> weakSelf = std::static_pointer_cast<FeedbackViewController>(controllerSelf());
  configNavigationLeftItemWith(controllerSelf(), UIImage::imageNamed("grayReturn"_ns), [weakSelf] {
    auto screen = weakSelf.lock();
    if (!screen) return;
    if (auto navigation = screen->navigationController()) navigation->popViewControllerAnimated(true);
  });
  observeKeyboardOf(std::static_pointer_cast<FeedbackViewController>(controllerSelf()));
  createUI();
}

void FeedbackViewController::createUI() {
  feedbackView_ = FeedBackView::initWithFrame(view()->bounds());
  feedbackView_->feedbackTextView()->setDelegate(std::static_pointer_cast<FeedbackViewController>(controllerSelf()));
  keyboardCanHide(feedbackView_->bgScrollView());
  std::weak_ptr<FeedbackViewController> weakSelf = std::static_pointer_cast<FeedbackViewController>(controllerSelf());
  feedbackView_->setMyBlock([weakSelf](const id&) {
    if (auto screen = weakSelf.lock()) screen->submitFeedBack();
  });
  view()->addSubview(feedbackView_);
}

void FeedbackViewController::viewWillAppear(bool animated) {
  ParentsViewController::viewWillAppear(animated);
  if (auto navigation = navigationController()) navigation->navigationBar()->setBarStyle(UIBarStyleDefault);
  configWhiteNavigationBarStyle(controllerSelf());
  StatAgent::beginLogPageView("意见反馈页"_ns);
}

void FeedbackViewController::viewWillDisappear(bool animated) {
  ParentsViewController::viewWillDisappear(animated);
  StatAgent::endLogPageView("意见反馈页"_ns);
}

void FeedbackViewController::setKeyboardHeight(bool up, CGFloat height) {
  if (!feedbackView_) return;
  feedbackView_->isUpdateConstraints = up;
  feedbackView_->keyboardH = height;
  feedbackView_->setNeedsUpdateConstraints();
  feedbackView_->updateConstraintsIfNeeded();
  feedbackView_->layoutIfNeeded();
}

void FeedbackViewController::keyboardWillShow(const std::shared_ptr<NSNotification>& notification) {
  auto info = notification ? notification->userInfo() : nullptr;
  auto end = info ? std::dynamic_pointer_cast<NSValue>(info->objectForKey(UIKeyboardFrameEndUserInfoKey)) : nullptr;
  setKeyboardHeight(true, end ? end->CGRectValue().size.height : 0);
}

void FeedbackViewController::keyboardWillHide(const std::shared_ptr<NSNotification>&) { setKeyboardHeight(false, 0); }

bool FeedbackViewController::textViewShouldBeginEditing(const std::shared_ptr<UITextView>& textView) {
  // Only the prompt goes: what the user typed stays for another look.
  auto text = textView ? textView->text() : nullptr;
  if (text && text->isEqualToString(FeedBackView::prompt())) textView->setText(""_ns);
  return true;
}

bool FeedbackViewController::ruleForSendMessage() const {
  auto text = feedbackView_ ? feedbackView_->feedbackTextView()->text() : nullptr;
  return text && text->length() > 0 && !text->isEqualToString(FeedBackView::prompt());
}

void FeedbackViewController::submitFeedBack() {
  if (submitting_ || !ruleForSendMessage()) return;
  auto textView = feedbackView_->feedbackTextView();
  textView->resignFirstResponder();
  id user;
  if (auto delegate = AppDelegate::shared()) {
    if (auto record = delegate->userInfoDictionary()) user = record->objectForKey("id"_ns);
  }
  auto parameters = NSDictionary::make({{"id"_ns, user ? user : id("6"_ns)}, {"content"_ns, textView->text()}});
  auto screen = std::static_pointer_cast<FeedbackViewController>(controllerSelf());
  showLoadingHud(screen);
  submitting_ = true;
  // The completion holds the screen until it has run. A success leaves `submitting_` set: the
  // screen only waits for its close, and a suggestion sent in the tip's fade-in would thank
  // twice and close twice.
  ZVTAPIClient::submitFeedbackWith(parameters, [screen](bool success, const ZVTAPIClient::Message& message) {
    if (success) {
      std::weak_ptr<FeedbackViewController> weakScreen = screen;
      showTipHudWithText(screen, "建议已提交，谢谢您的建议"_ns, 2.0, [weakScreen] {
        auto self = weakScreen.lock();
        if (zvt::isShownScreen(self)) self->navigationController()->popViewControllerAnimated(true);
      });
      return;
    }
    screen->submitting_ = false;
    hideHud(screen);
    showWithTitle(nullptr, message ? message : "意见提交失败"_ns);
  });
}
