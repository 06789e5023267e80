#include "platform/uikit/internal/AlertPresentation.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/NSNotificationCenter.h"
#include "platform/graphics/UIScreen.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIKeyboard.h"

namespace zvt::ui {

namespace {

constexpr CGFloat kAlertWidth = 270;
constexpr CGFloat kAlertButtonHeight = 44;
constexpr CGFloat kSheetButtonHeight = 57;
constexpr CGFloat kSheetMargin = 10;
constexpr CGFloat kSheetGap = 8;
constexpr CGFloat kPadding = 20;
constexpr CGFloat kSide = 16;
constexpr CGFloat kFieldHeight = 25;

std::shared_ptr<UIColor> systemBlue() { return UIColor::colorWithRed(0, 122 / 255.0, 1, 1); }
std::shared_ptr<UIColor> systemRed() { return UIColor::colorWithRed(1, 59 / 255.0, 48 / 255.0, 1); }
std::shared_ptr<UIColor> hairlineColor() { return UIColor::colorWithWhite(0.8, 1); }

CGFloat hairline() {
  CGFloat scale = UIScreen::mainScreen()->scale();
  return scale > 0 ? 1 / scale : 1;
}

std::shared_ptr<UIView> roundedCard() {
  auto card = UIView::make();
  card->setBackgroundColor(UIColor::colorWithWhite(0.97, 1));
  card->layer()->setCornerRadius(13);
  card->setClipsToBounds(true);
  return card;
}

// The full-screen dimming behind an alert; a tap on it reaches the presenter.
class DimView : public UIControl {
 public:
  std::weak_ptr<AlertPanel> panel;
  void tapped() {
    auto p = panel.lock();
    if (p && p->style() == AlertPanel::Style::kActionSheet && p->cancelIndex() >= 0 && p->onTap)
      p->onTap(p->cancelIndex());
  }
};

}  // namespace

// --- the panel ----------------------------------------------------------------------------------

std::shared_ptr<AlertPanel> AlertPanel::make(Style style, const std::shared_ptr<NSString>& title,
                                             const std::shared_ptr<NSString>& message,
                                             const std::vector<AlertButtonSpec>& buttons,
                                             const std::vector<std::shared_ptr<UITextField>>& textFields) {
  auto panel = UIView::makeView<AlertPanel>(CGRectZero);
  panel->style_ = style;
  panel->textFields_ = textFields;
  panel->build(title, message, buttons);
  return panel;
}

void AlertPanel::build(const std::shared_ptr<NSString>& title, const std::shared_ptr<NSString>& message,
                       const std::vector<AlertButtonSpec>& specs) {
  setOpaque(false);
  const bool sheet = style_ == Style::kActionSheet;
  card_ = roundedCard();
  addSubview(card_);
  auto addLabel = [&](const std::shared_ptr<NSString>& text, bool bold) {
    if (!text || text->length() == 0) return std::shared_ptr<UILabel>();
    auto label = UILabel::make();
    label->setText(text);
    label->setNumberOfLines(0);
    label->setTextAlignment(NSTextAlignmentCenter);
    CGFloat size = sheet ? 13 : (bold ? 17 : 13);
    label->setFont(bold ? UIFont::boldSystemFontOfSize(size) : UIFont::systemFontOfSize(size));
    if (sheet) label->setTextColor(UIColor::colorWithWhite(0.56, 1));
    card_->addSubview(label);
    return label;
  };
  titleLabel_ = addLabel(title, true);
  messageLabel_ = addLabel(message, false);
  for (auto& field : textFields_) {
    field->setBorderStyle(UITextBorderStyleLine);
    field->setBackgroundColor(UIColor::whiteColor());
    field->setFont(UIFont::systemFontOfSize(13));
    card_->addSubview(field);
  }
  // Display order: an alert's two buttons side by side with the cancel button first; otherwise
  // the others in order and the cancel button last.
  std::vector<AlertButtonSpec> order;
  const AlertButtonSpec* cancel = nullptr;
  for (const auto& s : specs) {
    if (s.cancel && !cancel) cancel = &s;
    else order.push_back(s);
  }
  sideBySide_ = !sheet && specs.size() == 2;
  if (cancel) {
    cancelIndex_ = cancel->index;
    if (sideBySide_) order.insert(order.begin(), *cancel);
    else order.push_back(*cancel);
  }
  if (sheet && cancel) {
    cancelCard_ = roundedCard();
    addSubview(cancelCard_);
  }
  for (const auto& s : order) {
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setTitle(s.title, UIControlStateNormal);
    auto color = s.titleColor ? s.titleColor : (s.destructive ? systemRed() : systemBlue());
    button->setTitleColor(color, UIControlStateNormal);
    button->setTitleColor(color->colorWithAlphaComponent(0.3), UIControlStateDisabled);
    CGFloat size = sheet ? 20 : 17;
    button->titleLabel()->setFont(s.cancel ? UIFont::boldSystemFontOfSize(size) : UIFont::systemFontOfSize(size));
    button->setTag(s.index);
    button->setEnabled(s.enabled);
    button->addTarget(viewSelf(), SEL(&AlertPanel::tapped), UIControlEventTouchUpInside);
    (sheet && s.cancel ? cancelCard_ : card_)->addSubview(button);
    buttons_.push_back(button);
  }
  // A hairline above each button (and between two side by side).
  for (size_t i = 0; i < buttons_.size(); ++i) {
    auto line = UIView::make();
    line->setBackgroundColor(hairlineColor());
    line->setUserInteractionEnabled(false);
    card_->addSubview(line);
    separators_.push_back(line);
  }
}

void AlertPanel::tapped(const std::shared_ptr<UIButton>& button) {
  if (button && onTap) onTap(button->tag());
}

void AlertPanel::setButtonEnabled(NSInteger index, bool enabled) {
  for (auto& b : buttons_)
    if (b->tag() == index) b->setEnabled(enabled);
}

CGFloat AlertPanel::heightForWidth(CGFloat width) const {
  const bool sheet = style_ == Style::kActionSheet;
  CGFloat inner = width - 2 * kSide;
  CGFloat h = 0;
  bool text = titleLabel_ || messageLabel_;
  if (text) {
    h += sheet ? 14 : kPadding;
    if (titleLabel_) h += titleLabel_->sizeThatFits(CGSizeMake(inner, 0)).height;
    if (titleLabel_ && messageLabel_) h += 4;
    if (messageLabel_) h += messageLabel_->sizeThatFits(CGSizeMake(inner, 0)).height;
  }
  if (!textFields_.empty()) h += (text ? 12 : kPadding) + static_cast<CGFloat>(textFields_.size()) * (kFieldHeight + 4);
  if (text || !textFields_.empty()) h += sheet ? 14 : kPadding;
  size_t stacked = 0;
  for (const auto& b : buttons_)
    if (!(sheet && cancelCard_ && b->superview() == cancelCard_)) ++stacked;
  CGFloat buttonHeight = sheet ? kSheetButtonHeight : kAlertButtonHeight;
  h += sideBySide_ ? buttonHeight : buttonHeight * static_cast<CGFloat>(stacked);
  return h;
}

void AlertPanel::placeOnScreen(CGSize screen, CGFloat keyboardTop) {
  if (style_ == Style::kAlert) {
    CGFloat h = std::ceil(heightForWidth(kAlertWidth));
    CGFloat room = std::min(keyboardTop, screen.height);
    CGFloat y = std::max<CGFloat>((room - h) / 2, 20);
    setFrame(CGRectMake(std::round((screen.width - kAlertWidth) / 2), std::round(y), kAlertWidth, h));
  } else {
    CGFloat w = screen.width - 2 * kSheetMargin;
    CGFloat h = std::ceil(heightForWidth(w));
    if (cancelCard_) h += kSheetGap + kSheetButtonHeight;
    setFrame(CGRectMake(kSheetMargin, screen.height - kSheetMargin - h, w, h));
  }
  setNeedsLayout();
}

void AlertPanel::layoutSubviews() {
  UIView::layoutSubviews();
  const bool sheet = style_ == Style::kActionSheet;
  CGRect b = bounds();
  CGFloat cardHeight = b.size.height - (cancelCard_ ? kSheetGap + kSheetButtonHeight : 0);
  card_->setFrame(CGRectMake(0, 0, b.size.width, cardHeight));
  if (cancelCard_) cancelCard_->setFrame(CGRectMake(0, cardHeight + kSheetGap, b.size.width, kSheetButtonHeight));
  CGFloat inner = b.size.width - 2 * kSide;
  CGFloat y = 0;
  bool text = titleLabel_ || messageLabel_;
  if (text) {
    y += sheet ? 14 : kPadding;
    for (auto& label : {titleLabel_, messageLabel_}) {
      if (!label) continue;
      CGFloat h = label->sizeThatFits(CGSizeMake(inner, 0)).height;
      label->setFrame(CGRectMake(kSide, y, inner, h));
      y += h + 4;
    }
    y -= 4;
  }
  if (!textFields_.empty()) {
    y += text ? 12 : kPadding;
    for (auto& field : textFields_) {
      field->setFrame(CGRectMake(kSide, y, inner, kFieldHeight));
      y += kFieldHeight + 4;
    }
  }
  if (text || !textFields_.empty()) y += sheet ? 14 : kPadding;
  CGFloat line = hairline();
  CGFloat buttonHeight = sheet ? kSheetButtonHeight : kAlertButtonHeight;
  size_t separator = 0;
  for (size_t i = 0; i < buttons_.size(); ++i) {
    auto& button = buttons_[i];
    if (cancelCard_ && button->superview() == cancelCard_) {
      button->setFrame(CGRectMake(0, 0, b.size.width, kSheetButtonHeight));
      continue;
    }
    CGRect frame;
    if (sideBySide_) {
      CGFloat half = b.size.width / 2;
      frame = CGRectMake(half * static_cast<CGFloat>(i), y, half, buttonHeight);
      // A line above both, and one between them.
      separators_[separator++]->setFrame(i == 0 ? CGRectMake(0, y, b.size.width, line)
                                                : CGRectMake(half, y, line, buttonHeight));
    } else {
      frame = CGRectMake(0, y, b.size.width, buttonHeight);
      if (i > 0 || text || !textFields_.empty()) separators_[separator++]->setFrame(CGRectMake(0, y, b.size.width, line));
      y += buttonHeight;
    }
    button->setFrame(frame);
  }
  for (; separator < separators_.size(); ++separator) separators_[separator]->setFrame(CGRectZero);
}

// --- showing ------------------------------------------------------------------------------------

AlertPresenter& AlertPresenter::shared() {
  static auto* presenter = new AlertPresenter();
  return *presenter;
}

bool AlertPresenter::isPresented(const AlertPanel& panel) const {
  return std::any_of(stack_.begin(), stack_.end(), [&](const Entry& e) { return e.panel.get() == &panel; });
}

void AlertPresenter::place(Entry& entry) {
  CGRect screen = UIScreen::mainScreen()->bounds();
  entry.window->setFrame(screen);
  auto& keyboard = Keyboard::shared();
  CGFloat top = keyboard.isShown() ? keyboard.frame().origin.y : screen.size.height;
  entry.panel->placeOnScreen(screen.size, top);
}

void AlertPresenter::keyboardChanged() {
  if (!stack_.empty()) place(stack_.back());
}

void AlertPresenter::present(const std::shared_ptr<AlertPanel>& panel, const id& owner, bool animated,
                             std::function<void()> presented) {
  if (!panel || isPresented(*panel)) return;
  if (!keyboardObserver_) {
    auto center = NSNotificationCenter::defaultCenter();
    keyboardObserver_ = center->addObserverForName(UIKeyboardWillChangeFrameNotification, nullptr, nullptr,
                                                   [this](const std::shared_ptr<NSNotification>&) { keyboardChanged(); });
  }
  Entry entry;
  entry.panel = panel;
  entry.owner = owner;
  entry.window = UIWindow::make();
  entry.window->setWindowLevel(UIWindowLevelAlert);
  auto dim = UIView::makeView<DimView>(entry.window->bounds());
  dim->panel = panel;
  dim->setBackgroundColor(UIColor::colorWithWhite(0, 0.4));
  dim->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
  dim->addTarget(dim, SEL(&DimView::tapped), UIControlEventTouchUpInside);
  entry.window->addSubview(dim);
  entry.window->addSubview(panel);
  auto app = UIApplication::sharedApplication();
  if (stack_.empty()) keyBefore_ = app->keyWindow();
  else stack_.back().window->setHidden(true);
  if (panel->textFields().empty()) Keyboard::shared().suspend();
  stack_.push_back(entry);
  place(stack_.back());
  auto window = entry.window;
  window->makeKeyAndVisible();
  if (!panel->textFields().empty()) panel->textFields().front()->becomeFirstResponder();
  window->layoutIfNeeded();
  if (animated) {
    // The alert takes touches while it fades in.
    UIView::performWithoutAnimation([&] { window->setAlpha(0); });
    UIView::animateWithDuration(AlertPanel::kAnimationDuration, 0, UIViewAnimationOptionAllowUserInteraction,
                                [&] { window->setAlpha(1); },
                                [presented](bool) {
                                  if (presented) presented();
                                });
  } else if (presented) {
    presented();
  }
}

void AlertPresenter::dismiss(const std::shared_ptr<AlertPanel>& panel, bool animated, std::function<void()> dismissed) {
  auto it = std::find_if(stack_.begin(), stack_.end(), [&](const Entry& e) { return e.panel == panel; });
  if (it == stack_.end()) return;
  Entry entry = *it;
  bool wasTop = it + 1 == stack_.end();
  stack_.erase(it);
  // Its own text fields stop editing without being asked.
  entry.window->endEditing(true);
  if (panel->textFields().empty()) Keyboard::shared().resume();
  if (wasTop && !stack_.empty()) {
    stack_.back().window->setHidden(false);
    stack_.back().window->makeKeyWindow();
    place(stack_.back());
    stack_.back().window->layoutIfNeeded();
  } else if (stack_.empty()) {
    if (auto before = keyBefore_.lock(); before && !before->isHidden()) before->makeKeyWindow();
    keyBefore_.reset();
  }
  auto finish = [entry, dismissed](bool) {
    entry.window->setHidden(true);
    if (dismissed) dismissed();
  };
  if (animated) {
    auto window = entry.window;
    UIView::animateWithDuration(AlertPanel::kAnimationDuration, [&] { window->setAlpha(0); }, finish);
  } else {
    entry.window->setAlpha(0);
    finish(true);
  }
}

}  // namespace zvt::ui
