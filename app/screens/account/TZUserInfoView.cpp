#include "app/screens/account/TZUserInfoView.h"

#include "app/screens/account/AccountForm.h"
#include "app/ui/UIKitCategories.h"
#include "platform/foundation/NSNull.h"
#include "platform/graphics/UIScreen.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UINib.h"
#include "platform/uikit/UIScrollView.h"
#include "ui/layout/LCAdditions.h"
#include "ui/layout/LCConstraintMaker.h"

namespace {

// A value the form shows: present when it is not nil, not null and not empty text.
std::shared_ptr<NSString> presentText(const id& value) {
  if (zvt::isNullOrNil(value)) return nullptr;
  auto text = NSString::stringWithFormat("%@", value);
  return text->length() > 0 ? text : nullptr;
}

constexpr CGFloat kRowHeight = 45;
constexpr CGFloat kTipHeight = 30;

}  // namespace

void TZUserInfoView::awakeFromNib() {
  ParentView::awakeFromNib();
  configLayerWithBorderWidth(bgView(), 1.0, 0, zvt::account::separatorColor());
  if (auto save = saveButton()) {
    configLayerWithBorderWidth(save, 0, 4, nullptr);
    save->setBackgroundColor(zvt::actionColor());
  }
}

void TZUserInfoView::setUserModel(const std::shared_ptr<TZUserInfoModel>& model) {
  if (!model) return;
  userModel_ = model;
  const std::pair<id, std::shared_ptr<UITextField>> fields[] = {
      {model->email, emailTextField()},
      {model->realname, nameTextField()},
      {model->alipay, zhifubaoTextField()},
      {model->qq, QQTextField()},
  };
  for (const auto& [value, field] : fields) {
    auto text = presentText(value);
    if (text && field) field->setText(text);
    if (auto tip = tipView()) tip->setHidden(text != nullptr);
    if (auto top = tipViewTopConstraint()) top->setConstant(text ? -kTipHeight : 0);
  }
  setNeedsUpdateConstraints();
  updateConstraintsIfNeeded();
  layoutIfNeeded();
}

void TZUserInfoView::updateConstraints() {
  if (auto bottom = bgScrollViewBottomConstraint()) bottom->setConstant(keyboardH_);
  ParentView::updateConstraints();
}

void TZUserInfoView::questionAction(const std::shared_ptr<UIButton>& sender) { callMyBlock(sender); }
void TZUserInfoView::saveAction(const std::shared_ptr<UIButton>& sender) { callMyBlock(sender); }

void TZUserInfoView::registerNib() {
  zvt::ui::registerNibFactory("TZUserInfoView", [](zvt::ui::NibBuilder& nib) -> std::vector<id> {
    const CGRect screen = UIScreen::mainScreen()->bounds();
    auto form = nib.view<TZUserInfoView>(screen);
    form->setBackgroundColor(zvt::screenBackgroundColor());

    auto scroll = nib.view<UIScrollView>(CGRectZero);
    form->addSubview(scroll);
    lc_makeConstraints(scroll, [&](const auto& make) { make->top()->left()->right()->equalTo(form); });
    auto bottom = NSLayoutConstraint::constraintWithItem(form, NSLayoutAttributeBottom, NSLayoutRelationEqual, scroll,
                                                         NSLayoutAttributeBottom, 1, 0);
    form->addConstraint(bottom);
    auto content = nib.view<UIView>(CGRectZero);
    scroll->addSubview(content);
    lc_makeConstraints(content, [&](const auto& make) {
      make->edges()->equalTo(scroll);
      make->width()->equalTo(scroll);
      make->height()->lc_equalTo(zvt::account::formContentHeight());
    });

    auto tip = nib.view<UILabel>(CGRectZero);
    tip->setText("    完善资料后，忘记密码时客服可以帮您找回"_ns);
    tip->setFont(UIFont::systemFontOfSize(13));
    tip->setTextColor(UIColor::colorWithRed(1.0, 171 / 255.0, 13 / 255.0, 1));
    tip->setBackgroundColor(UIColor::colorWithRed(1.0, 248 / 255.0, 225 / 255.0, 1));
    content->addSubview(tip);
    auto tipTop = NSLayoutConstraint::constraintWithItem(tip, NSLayoutAttributeTop, NSLayoutRelationEqual, content,
                                                         NSLayoutAttributeTop, 1, 0);
    content->addConstraint(tipTop);
    lc_makeConstraints(tip, [&](const auto& make) {
      make->left()->right()->equalTo(content);
      make->height()->lc_equalTo(kTipHeight);
    });

    auto panel = nib.view<UIView>(CGRectZero);
    panel->setBackgroundColor(UIColor::whiteColor());
    content->addSubview(panel);
    struct Row {
      const char* caption;
      const char* placeholder;
    };
    const Row rows[] = {{"邮箱", "填写邮箱"}, {"姓名", "填写真实姓名"}, {"支付宝", "填写支付宝账号"},
                        {"Q Q", "填写QQ号码"}, {"密码", "输入Zavelto密码保存信息"}};
    std::vector<std::shared_ptr<UITextField>> fields;
    CGFloat top = 0;
    for (const Row& row : rows) {
      auto caption = nib.view<UILabel>(CGRectZero);
      caption->setText(NSString::stringWithUTF8String(row.caption));
      caption->setFont(UIFont::systemFontOfSize(14));
      caption->setTextColor(zvt::account::typedTextColor());
      auto field = nib.view<UITextField>(CGRectZero);
      zvt::account::styleFormField(field, NSString::stringWithUTF8String(row.placeholder));
      panel->addSubview(caption);
      panel->addSubview(field);
      lc_makeConstraints(caption, [&](const auto& make) {
        make->left()->equalTo(panel)->offset(15);
        make->top()->equalTo(panel)->offset(top);
        make->width()->lc_equalTo(60);
        make->height()->lc_equalTo(kRowHeight);
      });
      lc_makeConstraints(field, [&](const auto& make) {
        make->left()->equalTo(lc_right(caption));
        make->right()->equalTo(panel)->offset(-45);
        make->top()->equalTo(panel)->offset(top);
        make->height()->lc_equalTo(kRowHeight);
      });
      fields.push_back(field);
      top += kRowHeight;
    }
    fields.back()->setSecureTextEntry(true);
    lc_makeConstraints(panel, [&](const auto& make) {
      make->top()->equalTo(lc_bottom(tip))->offset(10);
      make->left()->right()->equalTo(content);
      make->height()->lc_equalTo(top);
    });

    auto question = nib.view<UIButton>(CGRectZero);
    question->setTitle("?"_ns, UIControlStateNormal);
    question->setTitleColor(zvt::account::placeholderTextColor(), UIControlStateNormal);
    question->addTarget(form, &TZUserInfoView::questionAction, UIControlEventTouchUpInside);
    panel->addSubview(question);
    lc_makeConstraints(question, [&](const auto& make) {
      make->right()->equalTo(panel)->offset(-10);
      make->centerY()->equalTo(fields.back());
      make->width()->height()->lc_equalTo(30);
    });

    auto save = nib.view<UIButton>(CGRectZero);
    save->setTitle("保存"_ns, UIControlStateNormal);
    save->setTitleColor(UIColor::whiteColor(), UIControlStateNormal);
    save->titleLabel()->setFont(UIFont::systemFontOfSize(18));
    save->addTarget(form, &TZUserInfoView::saveAction, UIControlEventTouchUpInside);
    content->addSubview(save);
    lc_makeConstraints(save, [&](const auto& make) {
      make->top()->equalTo(lc_bottom(panel))->offset(20);
      make->left()->equalTo(content)->offset(15);
      make->right()->equalTo(content)->offset(-15);
      make->height()->lc_equalTo(45);
    });

    form->bgView_ = panel;
    form->tipView_ = tip;
    form->tipViewTopConstraint_ = tipTop;
    form->emailTextField_ = fields[0];
    form->nameTextField_ = fields[1];
    form->zhifubaoTextField_ = fields[2];
    form->QQTextField_ = fields[3];
    form->passwordTextField_ = fields[4];
    form->saveButton_ = save;
    form->bgScrollViewBottomConstraint_ = bottom;
    return {form};
  });
}
