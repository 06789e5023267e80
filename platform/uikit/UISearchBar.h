#pragma once
// Search bars (UISearchBar): a search field over a background, with an optional cancel button.
//
// The field is a text field (rounded, the magnifier icon on its left, a clear button while
// editing, the return key "Search") whose editing the bar reports to its delegate: should and
// did begin and end editing, should-change-text for each edit, text-did-change after each
// change (also after the clear button), the search button for the return key (the field keeps
// editing), and the cancel button. The field is public here (searchField), where the device's
// code reads the private key "searchField"; the device finds the bar by the field's text or
// placeholder. The bar's first-responder calls are the field's.

#include <memory>

#include "platform/graphics/UIImage.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UITextField.h"
#include "platform/uikit/UIView.h"

class UISearchBar;

enum UISearchBarIcon : NSInteger {
  UISearchBarIconSearch,
  UISearchBarIconClear,
  UISearchBarIconBookmark,
  UISearchBarIconResultsList,
};

enum UISearchBarStyle : NSInteger {
  UISearchBarStyleDefault,
  UISearchBarStyleProminent,
  UISearchBarStyleMinimal,
};

// UISearchBarDelegate; the defaults answer as the device does for a delegate without the method.
class UISearchBarDelegate {
 public:
  virtual ~UISearchBarDelegate() = default;
  virtual bool searchBarShouldBeginEditing(const std::shared_ptr<UISearchBar>& /*searchBar*/) { return true; }
  virtual void searchBarTextDidBeginEditing(const std::shared_ptr<UISearchBar>& /*searchBar*/) {}
  virtual bool searchBarShouldEndEditing(const std::shared_ptr<UISearchBar>& /*searchBar*/) { return true; }
  virtual void searchBarTextDidEndEditing(const std::shared_ptr<UISearchBar>& /*searchBar*/) {}
  // searchBar:textDidChange:
  virtual void searchBarTextDidChange(const std::shared_ptr<UISearchBar>& /*searchBar*/,
                                      const std::shared_ptr<NSString>& /*searchText*/) {}
  // searchBar:shouldChangeTextInRange:replacementText:
  virtual bool searchBarShouldChangeTextInRange(const std::shared_ptr<UISearchBar>& /*searchBar*/, NSRange /*range*/,
                                                const std::shared_ptr<NSString>& /*text*/) {
    return true;
  }
  virtual void searchBarSearchButtonClicked(const std::shared_ptr<UISearchBar>& /*searchBar*/) {}
  virtual void searchBarCancelButtonClicked(const std::shared_ptr<UISearchBar>& /*searchBar*/) {}
};

class UISearchBar : public UIView {
 public:
  UISearchBar();
  static std::shared_ptr<UISearchBar> initWithFrame(CGRect frame) { return makeView<UISearchBar>(frame); }
  // A bar of the default height (44) and no width.
  static std::shared_ptr<UISearchBar> make() { return makeView<UISearchBar>(CGRectMake(0, 0, 0, 44)); }
  void setUpWithFrame(CGRect frame) override;
  void setUpWithCoder(CGRect frame) override;

  std::shared_ptr<NSString> text() const;
  void setText(const std::shared_ptr<NSString>& text);
  std::shared_ptr<NSString> placeholder() const;
  void setPlaceholder(const std::shared_ptr<NSString>& placeholder);
  std::shared_ptr<UISearchBarDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<UISearchBarDelegate>& delegate) { delegate_ = delegate; }

  bool showsCancelButton() const { return showsCancelButton_; }
  void setShowsCancelButton(bool shows);
  void setShowsCancelButton(bool shows, bool animated);
  // nil: the bar's default look (a grey bar; none in the minimal style).
  const std::shared_ptr<UIImage>& backgroundImage() const { return backgroundImage_; }
  void setBackgroundImage(const std::shared_ptr<UIImage>& image);
  // The field's background (nil: the white rounded field).
  void setSearchFieldBackgroundImage(const std::shared_ptr<UIImage>& image, UIControlState state);
  // The icon in the field; only the search icon is shown here.
  void setImage(const std::shared_ptr<UIImage>& image, UISearchBarIcon icon, UIControlState state);
  std::shared_ptr<UIImage> imageForSearchBarIcon(UISearchBarIcon icon, UIControlState state) const;
  const std::shared_ptr<UIColor>& barTintColor() const { return barTintColor_; }
  void setBarTintColor(const std::shared_ptr<UIColor>& color);
  UISearchBarStyle searchBarStyle() const { return searchBarStyle_; }
  void setSearchBarStyle(UISearchBarStyle style);
  bool isTranslucent() const { return translucent_; }
  void setTranslucent(bool translucent) { translucent_ = translucent; }

  // The field's input traits.
  UIReturnKeyType returnKeyType() const { return field_->returnKeyType(); }
  void setReturnKeyType(UIReturnKeyType type) { field_->setReturnKeyType(type); }
  UIKeyboardType keyboardType() const { return field_->keyboardType(); }
  void setKeyboardType(UIKeyboardType type) { field_->setKeyboardType(type); }
  UITextAutocorrectionType autocorrectionType() const { return field_->autocorrectionType(); }
  void setAutocorrectionType(UITextAutocorrectionType type) { field_->setAutocorrectionType(type); }
  UITextAutocapitalizationType autocapitalizationType() const { return field_->autocapitalizationType(); }
  void setAutocapitalizationType(UITextAutocapitalizationType type) { field_->setAutocapitalizationType(type); }

  // Ours, for the private "searchField": the field the bar edits in, and its cancel button.
  const std::shared_ptr<UITextField>& searchField() const { return field_; }
  const std::shared_ptr<UIButton>& cancelButton() const { return cancelButton_; }

  bool canBecomeFirstResponder() const override { return true; }
  bool becomeFirstResponder() override;
  bool resignFirstResponder() override;
  bool isFirstResponder() const override;

  void layoutSubviews() override;
  CGSize sizeThatFits(CGSize size) const override;
  void tintColorDidChange() override;

 private:
  class FieldDelegate;
  void setUp();
  void cancelTapped();
  void fieldChanged();
  void updateBackground();

  std::shared_ptr<UIImageView> background_;
  std::shared_ptr<UITextField> field_;
  std::shared_ptr<UIImageView> icon_;
  std::shared_ptr<UIButton> cancelButton_;
  std::shared_ptr<FieldDelegate> fieldDelegate_;
  std::weak_ptr<UISearchBarDelegate> delegate_;
  std::shared_ptr<UIImage> backgroundImage_;
  std::shared_ptr<UIImage> fieldBackground_;
  std::shared_ptr<UIColor> barTintColor_;
  UISearchBarStyle searchBarStyle_ = UISearchBarStyleDefault;
  bool showsCancelButton_ = false;
  bool translucent_ = true;
};
