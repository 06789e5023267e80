#pragma once
// The exchange order form ("Velmo兑换" or "集分宝兑换"): the quantity, the fields the kind of
// goods needs (physical: address, name, phone; virtual: phone, QQ) and a remark; the button
// validates and sends one "exchange" order. The name, phone and QQ shown are the user's own
// from the record: while the record holds them they cannot be changed.
//
// Guarded beyond the plain form: one order at a time (taps while an order is on its way do
// nothing), the price of the quantity counted in 64 bits, a typed remark kept when the box is
// touched again (only the hint is cleared; an untouched remark is sent empty), and the order
// carries the typed QQ number (virtual goods) and the typed name when the record has none.

#include <memory>

#include "app/ui/ParentsViewController.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UITextField.h"
#include "platform/uikit/UITextView.h"

class WithDrawViewController;

class WithDrawView : public ParentView, public UITextFieldDelegate, public UITextViewDelegate {
 public:
  static constexpr NSInteger kMinusTag = 1;
  static constexpr NSInteger kPlusTag = 2;
  // The remark box's hint, shown until the box is first touched.
  static const char* const kRemarkHint;

  // Builds the whole form (the controller set delegate, productId, withDrawtype, jifenNumber).
  void initView();
  void changeNumber(const std::shared_ptr<UIButton>& sender);
  void withdrawAction();
  // YES when the order may go; else shows the first failure's alert.
  bool theRuleForWithdraw();
  // The order's fields, as the exchange operation gets them.
  std::shared_ptr<NSDictionary> orderParameters() const;
  bool isSending() const { return sending_; }

  bool textFieldShouldBeginEditing(const std::shared_ptr<UITextField>& textField) override;
  bool textFieldShouldReturn(const std::shared_ptr<UITextField>& textField) override;
  void textViewDidBeginEditing(const std::shared_ptr<UITextView>& textView) override;

  void keyboardWillShowWithKeyBoardHeight(CGFloat height);
  void keyboardWillHide();

  std::shared_ptr<WithDrawViewController> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<WithDrawViewController>& controller) { delegate_ = controller; }
  int32_t productId = 0;
  int32_t withDrawtype = 0;
  int32_t jifenNumber = 0;
  int32_t number = 1;

  std::shared_ptr<UILabel> numberLabel() const { return numberLabel_; }
  std::shared_ptr<UITextField> addressTextField() const { return addressTextField_; }
  std::shared_ptr<UITextField> nameTextField() const { return nameTextField_; }
  std::shared_ptr<UITextField> namePhoneTextField() const { return namePhoneTextField_; }
  std::shared_ptr<UITextField> phoneTextField() const { return phoneTextField_; }
  std::shared_ptr<UITextField> QQTextField() const { return QQTextField_; }
  std::shared_ptr<UITextView> remarkTextView() const { return remarkTextView_; }
  std::shared_ptr<UIButton> withdrawBtn() const { return withdrawBtn_; }
  std::shared_ptr<UIScrollView> scrollerView() const { return scrollerView_; }

 private:
  std::shared_ptr<WithDrawView> formSelf() { return std::static_pointer_cast<WithDrawView>(viewSelf()); }
  NSInteger productType() const;
  std::shared_ptr<UITextField> addFieldRow(const char* caption, const char* hint, CGFloat centreY, CGFloat width);

  std::weak_ptr<WithDrawViewController> delegate_;
  std::shared_ptr<UILabel> numberLabel_;
  std::shared_ptr<UITextField> addressTextField_, nameTextField_, namePhoneTextField_, phoneTextField_, QQTextField_;
  std::shared_ptr<UITextView> remarkTextView_;
  std::shared_ptr<UIButton> withdrawBtn_;
  std::shared_ptr<UIScrollView> scrollerView_;
  bool remarkTouched_ = false;
  bool sending_ = false;
};

class WithDrawViewController : public ParentsViewController {
 public:
  static std::shared_ptr<WithDrawViewController> make() { return std::make_shared<WithDrawViewController>(); }
  std::string className() const override { return "WithDrawViewController"; }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;
  void keyboardWillShow(const std::shared_ptr<NSNotification>& notification);
  void keyboardWillHide(const std::shared_ptr<NSNotification>& notification);

  int32_t productId = 0;
  int32_t withDrawtype = 0;
  int32_t jifenNumber = 0;
  NSInteger productType = 0;
  std::shared_ptr<WithDrawView> withDrawView() const { return withDrawView_; }

 private:
  std::shared_ptr<WithDrawView> withDrawView_;
};
