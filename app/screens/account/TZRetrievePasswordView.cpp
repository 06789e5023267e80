#include "app/screens/account/TZRetrievePasswordView.h"

#include "app/screens/account/AccountForm.h"
#include "platform/text/NSAttributedString.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UILabel.h"
#include "ui/layout/LCAdditions.h"
#include "ui/layout/LCConstraintMaker.h"

namespace {
constexpr CGFloat kInset = 15;
constexpr CGFloat kBoxHeight = 52;
}  // namespace

void TZRetrievePasswordView::setUpWithFrame(CGRect frame) {
  ParentView::setUpWithFrame(frame);
  setBackgroundColor(zvt::screenBackgroundColor());
  type_ = "1"_ns;
  createUI();
}

void TZRetrievePasswordView::createUI() {
  auto scroll = zvt::account::makeFormScroll(std::static_pointer_cast<UIView>(self()), zvt::account::formContentHeight());
  bgScrollView_ = scroll.scrollView;
  contentView_ = scroll.contentView;
  auto content = contentView_;
  auto orange = zvt::actionColor();

  segmentedControl_ = UISegmentedControl::initWithItems(NSArray::make({"邮箱找回"_ns, "手机号找回"_ns}));
  segmentedControl_->setSelectedSegmentIndex(0);
  segmentedControl_->setTintColor(orange);
  segmentedControl_->setBackgroundColor(UIColor::whiteColor());
  segmentedControl_->setTitleTextAttributes(
      NSDictionary::make({{NSForegroundColorAttributeName, orange}, {NSFontAttributeName, UIFont::systemFontOfSize(14)}}),
      UIControlStateNormal);
  segmentedControl_->layer()->setCornerRadius(4);
  segmentedControl_->layer()->setMasksToBounds(true);
  segmentedControl_->addTarget(self(), &TZRetrievePasswordView::segmentAction, UIControlEventValueChanged);
  content->addSubview(segmentedControl_);
  lc_makeConstraints(segmentedControl_, [&](const auto& make) {
    make->centerX()->equalTo(content);
    make->top()->equalTo(content)->offset(kInset);
    make->width()->lc_equalTo(200);
    make->height()->lc_equalTo(30);
  });

  auto hint = UILabel::initWithFrame(CGRectZero);
  hint->setText("    可选择使用邮箱或手机号找回密码"_ns);
  hint->setFont(UIFont::systemFontOfSize(14));
  hint->setTextColor(UIColor::colorWithWhite(0.6, 1));
  content->addSubview(hint);
  lc_makeConstraints(hint, [&](const auto& make) {
    make->top()->equalTo(lc_bottom(segmentedControl_))->offset(kInset);
    make->left()->right()->equalTo(content);
    make->height()->lc_equalTo(20);
  });

  bgView_ = UIView::initWithFrame(CGRectZero);
  bgView_->setBackgroundColor(UIColor::whiteColor());
  bgView_->layer()->setBorderWidth(1);
  bgView_->layer()->setBorderColor(zvt::account::separatorColor()->CGColor());
  content->addSubview(bgView_);
  lc_makeConstraints(bgView_, [&](const auto& make) {
    make->top()->equalTo(lc_bottom(hint))->offset(kInset);
    make->left()->right()->equalTo(content);
    make->height()->lc_equalTo(kBoxHeight);
  });
  retrieveImageView_ = UIImageView::initWithImage(UIImage::imageNamed("loginEmail"_ns));
  retrieveImageView_->setContentMode(UIViewContentModeScaleAspectFit);
  bgView_->addSubview(retrieveImageView_);
  lc_makeConstraints(retrieveImageView_, [&](const auto& make) {
    make->left()->equalTo(bgView_)->offset(kInset);
    make->centerY()->equalTo(bgView_);
    make->width()->height()->lc_equalTo(18);
  });
  retrieveTextField_ = UITextField::make();
  zvt::account::styleFormField(retrieveTextField_, "输入已注册邮箱"_ns);
  bgView_->addSubview(retrieveTextField_);
  lc_makeConstraints(retrieveTextField_, [&](const auto& make) {
    make->left()->equalTo(lc_right(retrieveImageView_))->offset(10);
    make->right()->equalTo(bgView_)->offset(-5);
    make->top()->bottom()->equalTo(bgView_);
  });

  nextButton_ = zvt::account::makeMainButton("发送邮件到邮箱"_ns);
  nextButton_->addTarget(self(), &TZRetrievePasswordView::buttonClick, UIControlEventTouchUpInside);
  content->addSubview(nextButton_);
  lc_makeConstraints(nextButton_, [&](const auto& make) {
    make->top()->equalTo(lc_bottom(bgView_))->offset(kInset);
    make->left()->equalTo(content)->offset(kInset);
    make->right()->equalTo(content)->offset(-kInset);
    make->height()->lc_equalTo(45);
  });
}

void TZRetrievePasswordView::segmentAction(const std::shared_ptr<UISegmentedControl>& sender) {
  retrieveTextField_->setText(""_ns);
  const NSInteger index = sender ? sender->selectedSegmentIndex() : UISegmentedControlNoSegment;
  if (index == 0) {
    retrieveTextField_->setKeyboardType(UIKeyboardTypeEmailAddress);
    zvt::account::setMainButtonEnabled(nextButton_, true);
    retrieveImageView_->setImage(UIImage::imageNamed("loginEmail"_ns));
    type_ = "1"_ns;
    retrieveTextField_->setPlaceholder("输入已注册邮箱"_ns);
    nextButton_->setTitle("发送邮件到邮箱"_ns, UIControlStateNormal);
  } else if (index == 1) {
    retrieveTextField_->setKeyboardType(UIKeyboardTypePhonePad);
    // Grey takes no touches: an empty number is never sent from here (the screen lights the
    // button at the eleventh digit).
    zvt::account::setMainButtonEnabled(nextButton_, false);
    retrieveImageView_->setImage(UIImage::imageNamed("loginPhone"_ns));
    type_ = "2"_ns;
    retrieveTextField_->setPlaceholder("输入已注册手机号"_ns);
    nextButton_->setTitle("下一步"_ns, UIControlStateNormal);
  }
}
