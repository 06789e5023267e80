#include "platform/uikit/UISearchBar.h"

#include <algorithm>

#include "platform/uikit/UIKitMainThread.h"

namespace {

constexpr CGFloat kMargin = 8;
constexpr CGFloat kFieldHeight = 28;

// The magnifier drawn as a template.
std::shared_ptr<UIImage> magnifier() {
  static auto* icon = new std::shared_ptr<UIImage>([] {
    UIGraphicsBeginImageContextWithOptions(CGSizeMake(13, 13), false, 0);
    auto context = UIGraphicsGetCurrentContext();
    CGContextSetGrayStrokeColor(context, 0, 1);
    CGContextSetLineWidth(context, 1.5);
    CGContextStrokeEllipseInRect(context, CGRectMake(1, 1, 8, 8));
    CGPoint handle[] = {{8, 8}, {12, 12}};
    CGContextStrokeLineSegments(context, handle, 2);
    auto image = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    return image->imageWithRenderingMode(UIImageRenderingModeAlwaysTemplate);
  }());
  return *icon;
}

}  // namespace

// The field's delegate: what the field asks, the bar asks its own delegate.
class UISearchBar::FieldDelegate : public UITextFieldDelegate {
 public:
  std::weak_ptr<UISearchBar> bar;
  bool textFieldShouldBeginEditing(const std::shared_ptr<UITextField>&) override {
    auto b = bar.lock();
    auto d = b ? b->delegate() : nullptr;
    return !d || d->searchBarShouldBeginEditing(b);
  }
  void textFieldDidBeginEditing(const std::shared_ptr<UITextField>&) override {
    auto b = bar.lock();
    if (auto d = b ? b->delegate() : nullptr) d->searchBarTextDidBeginEditing(b);
  }
  bool textFieldShouldEndEditing(const std::shared_ptr<UITextField>&) override {
    auto b = bar.lock();
    auto d = b ? b->delegate() : nullptr;
    return !d || d->searchBarShouldEndEditing(b);
  }
  void textFieldDidEndEditing(const std::shared_ptr<UITextField>&) override {
    auto b = bar.lock();
    if (auto d = b ? b->delegate() : nullptr) d->searchBarTextDidEndEditing(b);
  }
  bool textFieldShouldChangeCharactersInRange(const std::shared_ptr<UITextField>&, NSRange range,
                                              const std::shared_ptr<NSString>& string) override {
    auto b = bar.lock();
    auto d = b ? b->delegate() : nullptr;
    return !d || d->searchBarShouldChangeTextInRange(b, range, string);
  }
  // The return key is the search button; the field goes on editing.
  bool textFieldShouldReturn(const std::shared_ptr<UITextField>&) override {
    auto b = bar.lock();
    if (auto d = b ? b->delegate() : nullptr) d->searchBarSearchButtonClicked(b);
    return false;
  }
};

UISearchBar::UISearchBar() = default;

void UISearchBar::setUpWithFrame(CGRect frame) {
  UIView::setUpWithFrame(frame);
  setUp();
}

void UISearchBar::setUpWithCoder(CGRect frame) {
  UIView::setUpWithCoder(frame);
  setUp();
}

void UISearchBar::setUp() {
  auto self = std::static_pointer_cast<UISearchBar>(viewSelf());
  setOpaque(false);
  background_ = UIImageView::make();
  addSubview(background_);
  field_ = UITextField::make();
  field_->setBorderStyle(UITextBorderStyleRoundedRect);
  field_->setFont(UIFont::systemFontOfSize(14));
  field_->setClearButtonMode(UITextFieldViewModeWhileEditing);
  field_->setReturnKeyType(UIReturnKeySearch);
  field_->setEnablesReturnKeyAutomatically(true);
  icon_ = UIImageView::initWithImage(magnifier());
  icon_->setTintColor(UIColor::colorWithWhite(0.56, 1));
  icon_->setContentMode(UIViewContentModeCenter);
  icon_->setFrame(CGRectMake(0, 0, 26, 20));
  field_->setLeftView(icon_);
  field_->setLeftViewMode(UITextFieldViewModeAlways);
  fieldDelegate_ = std::make_shared<FieldDelegate>();
  fieldDelegate_->bar = self;
  field_->setDelegate(fieldDelegate_);
  field_->addTarget(self, SEL(&UISearchBar::fieldChanged), UIControlEventEditingChanged);
  addSubview(field_);
  cancelButton_ = UIButton::buttonWithType(UIButtonTypeSystem);
  cancelButton_->setTitle("取消"_ns, UIControlStateNormal);
  cancelButton_->sizeToFit();
  cancelButton_->addTarget(self, SEL(&UISearchBar::cancelTapped), UIControlEventTouchUpInside);
  cancelButton_->setHidden(true);
  addSubview(cancelButton_);
  updateBackground();
}

// --- text -------------------------------------------------------------------------------------

std::shared_ptr<NSString> UISearchBar::text() const { return field_->text(); }

void UISearchBar::setText(const std::shared_ptr<NSString>& text) {
  zvt::ui::assertMainThread("UISearchBar::setText");
  auto before = field_->text();
  field_->setText(text);
  if (!field_->text()->isEqualToString(before)) fieldChanged();
}

std::shared_ptr<NSString> UISearchBar::placeholder() const { return field_->placeholder(); }

void UISearchBar::setPlaceholder(const std::shared_ptr<NSString>& placeholder) { field_->setPlaceholder(placeholder); }

void UISearchBar::fieldChanged() {
  auto self = std::static_pointer_cast<UISearchBar>(viewSelf());
  if (auto d = delegate()) d->searchBarTextDidChange(self, field_->text());
}

void UISearchBar::cancelTapped() {
  auto self = std::static_pointer_cast<UISearchBar>(viewSelf());
  if (auto d = delegate()) d->searchBarCancelButtonClicked(self);
}

// --- look -------------------------------------------------------------------------------------

void UISearchBar::setShowsCancelButton(bool shows) {
  showsCancelButton_ = shows;
  cancelButton_->setHidden(!shows);
  setNeedsLayout();
}

void UISearchBar::setShowsCancelButton(bool shows, bool) { setShowsCancelButton(shows); }

void UISearchBar::setBackgroundImage(const std::shared_ptr<UIImage>& image) {
  backgroundImage_ = image;
  updateBackground();
}

void UISearchBar::setSearchFieldBackgroundImage(const std::shared_ptr<UIImage>& image, UIControlState state) {
  if (state != UIControlStateNormal) return;
  fieldBackground_ = image;
  field_->setBackground(image);
  field_->setBorderStyle(image ? UITextBorderStyleNone : UITextBorderStyleRoundedRect);
}

void UISearchBar::setImage(const std::shared_ptr<UIImage>& image, UISearchBarIcon icon, UIControlState state) {
  if (icon != UISearchBarIconSearch || state != UIControlStateNormal) return;
  icon_->setImage(image ? image : magnifier());
}

std::shared_ptr<UIImage> UISearchBar::imageForSearchBarIcon(UISearchBarIcon icon, UIControlState state) const {
  if (icon != UISearchBarIconSearch || state != UIControlStateNormal) return nullptr;
  return icon_->image();
}

void UISearchBar::setBarTintColor(const std::shared_ptr<UIColor>& color) {
  barTintColor_ = color;
  updateBackground();
}

void UISearchBar::setSearchBarStyle(UISearchBarStyle style) {
  searchBarStyle_ = style;
  updateBackground();
}

void UISearchBar::tintColorDidChange() { setNeedsLayout(); }

void UISearchBar::updateBackground() {
  if (backgroundImage_) {
    background_->setImage(backgroundImage_);
    background_->setBackgroundColor(nullptr);
    background_->setHidden(false);
  } else if (searchBarStyle_ == UISearchBarStyleMinimal) {
    background_->setHidden(true);
  } else {
    background_->setImage(nullptr);
    background_->setBackgroundColor(barTintColor_ ? barTintColor_ : UIColor::colorWithRed(201 / 255.0, 201 / 255.0,
                                                                                           206 / 255.0, 1));
    background_->setHidden(false);
  }
}

// --- first responder: the field's --------------------------------------------------------------

bool UISearchBar::becomeFirstResponder() { return field_->becomeFirstResponder(); }

bool UISearchBar::resignFirstResponder() { return field_->resignFirstResponder(); }

bool UISearchBar::isFirstResponder() const { return field_->isFirstResponder(); }

// --- layout -----------------------------------------------------------------------------------

void UISearchBar::layoutSubviews() {
  UIView::layoutSubviews();
  CGRect b = bounds();
  background_->setFrame(b);
  CGFloat right = CGRectGetMaxX(b) - kMargin;
  if (showsCancelButton_) {
    CGSize size = cancelButton_->sizeThatFits(CGSizeZero);
    cancelButton_->setFrame(CGRectMake(right - size.width, CGRectGetMidY(b) - size.height / 2, size.width, size.height));
    right -= size.width + kMargin;
  }
  CGFloat height = std::min(kFieldHeight, std::max<CGFloat>(b.size.height - 2, 0));
  field_->setFrame(CGRectMake(b.origin.x + kMargin, CGRectGetMidY(b) - height / 2,
                              std::max<CGFloat>(right - b.origin.x - kMargin, 0), height));
}

CGSize UISearchBar::sizeThatFits(CGSize size) const { return CGSizeMake(size.width > 0 ? size.width : bounds().size.width, 44); }
