#include "app/screens/account/TZEmailSetupView.h"

#include "app/screens/account/AccountForm.h"
#include "app/ui/UIKitCategories.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UILabel.h"
#include "ui/layout/LCAdditions.h"
#include "ui/layout/LCConstraintMaker.h"

namespace {
constexpr CGFloat kInset = 15;
std::shared_ptr<UIColor> boxLineColor() { return UIColor::colorWithRed(220 / 255.0, 220 / 255.0, 220 / 255.0, 1); }
}  // namespace

void TZEmailSetupView::setUpWithFrame(CGRect frame) {
  ParentView::setUpWithFrame(frame);
  createUI();
  setBackgroundColor(zvt::screenBackgroundColor());
}

void TZEmailSetupView::createUI() {
  auto form = std::static_pointer_cast<UIView>(self());
  bgView_ = UIView::initWithFrame(CGRectZero);
  bgView_->setBackgroundColor(UIColor::whiteColor());
  configLayerWithBorderWidth(bgView_, 1, 0, boxLineColor());
  addSubview(bgView_);
  lc_makeConstraints(bgView_, [&](const auto& make) {
    make->top()->equalTo(form)->offset(10);
    make->left()->equalTo(form)->offset(-2);
    make->right()->equalTo(form)->offset(2);
    make->height()->lc_equalTo(93);
  });
  auto line = UIView::initWithFrame(CGRectZero);
  line->setBackgroundColor(boxLineColor());
  bgView_->addSubview(line);
  lc_makeConstraints(line, [&](const auto& make) {
    make->left()->equalTo(bgView_)->offset(kInset);
    make->right()->equalTo(bgView_)->offset(-kInset);
    make->centerY()->equalTo(bgView_);
    make->height()->lc_equalTo(0.5);
  });

  emailTextField_ = UITextField::make();
  zvt::account::styleFormField(emailTextField_, "填入后无法修改，也可以用于登陆"_ns);
  emailTextField_->setKeyboardType(UIKeyboardTypeEmailAddress);
  QQTextField_ = UITextField::make();
  zvt::account::styleFormField(QQTextField_, "方便联系客服"_ns);
  QQTextField_->setKeyboardType(UIKeyboardTypeNumberPad);
  struct Row {
    const char* caption;
    CGFloat fontSize;
    std::shared_ptr<UITextField> field;
  };
  bool first = true;
  for (const Row& row : {Row{"邮箱", 15, emailTextField_}, Row{"Q Q", 16, QQTextField_}}) {
    auto caption = UILabel::initWithFrame(CGRectZero);
    caption->setText(NSString::stringWithUTF8String(row.caption));
    caption->setFont(UIFont::systemFontOfSize(row.fontSize));
    caption->setTextColor(zvt::account::typedTextColor());
    caption->setTextAlignment(NSTextAlignmentCenter);
    bgView_->addSubview(caption);
    lc_makeConstraints(caption, [&](const auto& make) {
      if (first) {
        make->top()->equalTo(bgView_)->offset(8);
      } else {
        make->top()->equalTo(lc_bottom(line))->offset(8);
      }
      make->left()->equalTo(bgView_)->offset(kInset);
      make->width()->height()->lc_equalTo(30);
    });
    bgView_->addSubview(row.field);
    lc_makeConstraints(row.field, [&](const auto& make) {
      make->left()->equalTo(lc_right(caption))->offset(10);
      make->top()->height()->equalTo(caption);
      make->right()->equalTo(bgView_)->offset(-10);
    });
    first = false;
  }

  completeButton_ = zvt::account::makeMainButton("完成"_ns);
  completeButton_->addTarget(self(), &TZEmailSetupView::buttonClick, UIControlEventTouchUpInside);
  addSubview(completeButton_);
  lc_makeConstraints(completeButton_, [&](const auto& make) {
    make->top()->equalTo(lc_bottom(bgView_))->offset(20);
    make->left()->equalTo(form)->offset(kInset);
    make->right()->equalTo(form)->offset(-kInset);
    make->height()->lc_equalTo(45);
  });
}
