#include "app/screens/account/TZAlipaySetupView.h"

#include <vector>

#include "app/core/AppDelegate.h"
#include "app/screens/account/AccountForm.h"
#include "app/ui/UIKitCategories.h"
#include "platform/graphics/UIImage.h"
#include "platform/text/UIFont.h"
#include "platform/uikit/UILabel.h"
#include "ui/layout/LCAdditions.h"
#include "ui/layout/LCConstraintMaker.h"

namespace {

constexpr CGFloat kInset = 15;
constexpr CGFloat kRowGap = 7.5;
constexpr CGFloat kRowHeight = 30;
constexpr CGFloat kLine = 0.5;

std::shared_ptr<UIColor> grey(int value) { return UIColor::colorWithRed(value / 255.0, value / 255.0, value / 255.0, 1); }

std::shared_ptr<UILabel> makeLabel(const char* text, CGFloat size, int colour) {
  auto label = UILabel::initWithFrame(CGRectZero);
  label->setText(NSString::stringWithUTF8String(text));
  label->setFont(UIFont::systemFontOfSize(size));
  label->setTextColor(grey(colour));
  return label;
}

// One captioned row of the box: the caption 60 wide, the field 15 after it to `rightInset`
// from the box's right edge.
struct CaptionRow {
  const char* caption;
  std::shared_ptr<UITextField> field;
  CGFloat rightInset;
};

// The white box with its rows and the lines between them; the rows stand 7.5 from the box's
// top, from each line and from each other. The caller places the box.
std::shared_ptr<UIView> makeCaptionBox(const std::vector<CaptionRow>& rows) {
  auto box = UIView::initWithFrame(CGRectZero);
  box->setBackgroundColor(UIColor::whiteColor());
  configLayerWithBorderWidth(box, 1, 0, grey(220));
  CGFloat top = kRowGap;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (i > 0) {
      auto line = UIView::initWithFrame(CGRectZero);
      line->setBackgroundColor(grey(220));
      box->addSubview(line);
      lc_makeConstraints(line, [&](const auto& make) {
        make->left()->equalTo(box)->offset(kInset);
        make->right()->equalTo(box)->offset(-kInset);
        make->top()->equalTo(box)->offset(top);
        make->height()->lc_equalTo(kLine);
      });
      top += kLine + kRowGap;
    }
    auto caption = makeLabel(rows[i].caption, 15, 51);
    caption->setTextAlignment(NSTextAlignmentCenter);
    box->addSubview(caption);
    lc_makeConstraints(caption, [&](const auto& make) {
      make->left()->equalTo(box)->offset(kInset);
      make->top()->equalTo(box)->offset(top);
      make->width()->lc_equalTo(60);
      make->height()->lc_equalTo(kRowHeight);
    });
    box->addSubview(rows[i].field);
    lc_makeConstraints(rows[i].field, [&](const auto& make) {
      make->left()->equalTo(lc_right(caption))->offset(kInset);
      make->top()->height()->equalTo(caption);
      make->right()->equalTo(box)->offset(-rows[i].rightInset);
    });
    top += kRowHeight + kRowGap;
  }
  return box;
}

std::shared_ptr<UITextField> makeField(const char* placeholder) {
  auto field = UITextField::make();
  zvt::account::styleFormField(field, NSString::stringWithUTF8String(placeholder));
  field->setTextColor(grey(102));
  return field;
}

}  // namespace

void TZAlipaySetupView::setUpWithFrame(CGRect frame) {
  ParentView::setUpWithFrame(frame);
  setBackgroundColor(zvt::screenBackgroundColor());
  auto scroll = zvt::account::makeFormScroll(std::static_pointer_cast<UIView>(self()), frame.size.height);
  scrollView_ = scroll.scrollView;
  contentView_ = scroll.contentView;
  contentView_->setBackgroundColor(zvt::screenBackgroundColor());
  auto record = AppDelegate::shared()->userInfoDictionary();
  if (zvt::account::presentRecordText(record ? record->objectForKey("alipay"_ns) : nullptr)) {
    createAnotherUI();
  } else {
    createUI();
  }
}

void TZAlipaySetupView::createUI() {
  auto content = contentView_;
  auto hint = makeLabel("请填写您的支付宝用于收款", 14, 102);
  content->addSubview(hint);
  lc_makeConstraints(hint, [&](const auto& make) {
    make->left()->equalTo(content)->offset(kInset);
    make->right()->equalTo(content)->offset(-kInset);
    make->top()->equalTo(content)->offset(10);
    make->height()->lc_equalTo(30);
  });

  alipayAccount_ = makeField("输入支付宝账号");
  alipayRealName_ = makeField("输入支付宝对应的认证姓名");
  password_ = makeField("输入Zavelto密码保存信息");
  password_->setSecureTextEntry(true);
  bgView_ = makeCaptionBox({{"收款账号", alipayAccount_, kInset}, {"收款姓名", alipayRealName_, 50}, {"密码确认", password_, 50}});
  content->addSubview(bgView_);
  lc_makeConstraints(bgView_, [&](const auto& make) {
    make->top()->equalTo(lc_bottom(hint))->offset(10);
    make->left()->equalTo(content)->offset(-2);
    make->right()->equalTo(content)->offset(2);
    make->height()->lc_equalTo(138);
  });

  questionButton_ = UIButton::buttonWithType(UIButtonTypeCustom);
  questionButton_->setImage(UIImage::imageNamed("questionNormal.png"_ns), UIControlStateNormal);
  questionButton_->setTag(101);
  questionButton_->addTarget(self(), &TZAlipaySetupView::passwordAlert, UIControlEventTouchUpInside);
  bgView_->addSubview(questionButton_);
  lc_makeConstraints(questionButton_, [&](const auto& make) {
    make->width()->height()->lc_equalTo(30);
    make->centerY()->equalTo(password_);
    make->right()->equalTo(bgView_)->offset(-kInset);
  });

  completeButton_ = zvt::account::makeMainButton("完成"_ns);
  completeButton_->setTag(102);
  completeButton_->addTarget(self(), &TZAlipaySetupView::buttonClick, UIControlEventTouchUpInside);
  content->addSubview(completeButton_);
  lc_makeConstraints(completeButton_, [&](const auto& make) {
    make->top()->equalTo(lc_bottom(bgView_))->offset(20);
    make->left()->equalTo(content)->offset(kInset);
    make->right()->equalTo(content)->offset(-kInset);
    make->height()->lc_equalTo(45);
  });

  auto note = makeLabel("提示：请填写正确的支付宝账号和姓名，否则无法正常收款", 13, 153);
  note->setTextAlignment(NSTextAlignmentCenter);
  content->addSubview(note);
  lc_makeConstraints(note, [&](const auto& make) {
    make->top()->equalTo(lc_bottom(completeButton_))->offset(kInset);
    make->left()->right()->equalTo(completeButton_);
    make->height()->lc_equalTo(25);
  });
}

void TZAlipaySetupView::createAnotherUI() {
  auto content = contentView_;
  auto record = AppDelegate::shared()->userInfoDictionary();
  alipayAccount_ = makeField("");
  alipayRealName_ = makeField("");
  for (const auto& [field, key] : {std::pair{alipayAccount_, "alipay"}, std::pair{alipayRealName_, "realname"}}) {
    auto value = zvt::account::recordText(record ? record->objectForKey(NSString::stringWithUTF8String(key)) : nullptr);
    field->setText(value ? value : NSString::string());
    field->setTextColor(grey(51));
    field->setUserInteractionEnabled(false);
  }
  bgView_ = makeCaptionBox({{"收款账号", alipayAccount_, kInset}, {"收款姓名", alipayRealName_, kInset}});
  content->addSubview(bgView_);
  lc_makeConstraints(bgView_, [&](const auto& make) {
    make->top()->equalTo(content)->offset(10);
    make->left()->equalTo(content)->offset(-2);
    make->right()->equalTo(content)->offset(2);
    make->height()->lc_equalTo(90.5);
  });

  auto note = makeLabel("提示：支付宝信息暂时不支持在线修改，如您需修改可联系客服帮您修改", 13, 153);
  note->setNumberOfLines(2);
  content->addSubview(note);
  lc_makeConstraints(note, [&](const auto& make) {
    make->top()->equalTo(lc_bottom(bgView_))->offset(kInset);
    make->left()->equalTo(bgView_)->offset(kInset + 2);
    make->right()->equalTo(alipayRealName_);
    make->height()->lc_equalTo(40);
  });
}

void TZAlipaySetupView::setKeyBoardH(double height) {
  keyBoardH_ = height;
  setNeedsUpdateConstraints();
}

void TZAlipaySetupView::updateConstraints() {
  zvt::account::followKeyboard(scrollView_, std::static_pointer_cast<UIView>(self()), keyBoardH_);
  ParentView::updateConstraints();
}
