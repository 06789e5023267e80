#include "app/runner/Showcase.h"

#include <cmath>

#include "app/api/APIClient.h"
#include "app/models/TZProductModel.h"
#include "platform/foundation/NSNumber.h"
#include "platform/graphics/UIColor.h"
#include "platform/graphics/UIImage.h"
#include "platform/graphics/UIScreen.h"
#include "platform/text/NSStringDrawing.h"

namespace zvt::runner {

namespace {

constexpr CGFloat kTitleBar = 64, kTabBar = 49;

std::shared_ptr<UIColor> rgb(int r, int g, int b) { return UIColor::colorWithRed(r / 255.0, g / 255.0, b / 255.0, 1); }

std::shared_ptr<NSString> ns(const std::string& text) { return NSString::stringWithUTF8String(text.c_str()); }

std::string textOf(const id& value) {
  if (!value) return "";
  if (auto s = std::dynamic_pointer_cast<NSString>(value)) return s->utf8();
  return value->description()->utf8();
}

std::shared_ptr<TextView> text(const std::string& string, CGRect frame, CGFloat size, const std::shared_ptr<UIColor>& color,
                               bool centered, bool bold = false) {
  auto view = UIView::makeView<TextView>(frame);
  view->setText(string);
  view->setFont(bold ? UIFont::boldSystemFontOfSize(size) : UIFont::systemFontOfSize(size));
  view->setTextColor(color);
  view->setCentered(centered);
  return view;
}

}  // namespace

// --- TextView ---------------------------------------------------------------------------------

// Drawn text over whatever lies below: not opaque, so the backing store keeps its alpha.
void TextView::setUpWithFrame(CGRect frame) {
  UIView::setUpWithFrame(frame);
  setOpaque(false);
}

void TextView::setText(const std::string& text) {
  text_ = text;
  setNeedsDisplay();
}
void TextView::setFont(const std::shared_ptr<UIFont>& font) {
  font_ = font;
  setNeedsDisplay();
}
void TextView::setTextColor(const std::shared_ptr<UIColor>& color) {
  color_ = color;
  setNeedsDisplay();
}
void TextView::setCentered(bool centered) {
  centered_ = centered;
  setNeedsDisplay();
}

void TextView::drawRect(CGRect) {
  auto style = NSMutableParagraphStyle::make();
  style->setAlignment(centered_ ? NSTextAlignmentCenter : NSTextAlignmentLeft);
  style->setLineBreakMode(NSLineBreakByTruncatingTail);
  auto font = font_ ? font_ : UIFont::systemFontOfSize(15);
  auto attrs = NSDictionary::make({{NSFontAttributeName, font},
                                   {NSForegroundColorAttributeName, color_ ? color_ : UIColor::blackColor()},
                                   {NSParagraphStyleAttributeName, style}});
  auto string = ns(text_);
  CGRect b = bounds();
  // One line is centred vertically; more lines start at the top.
  CGSize one = sizeWithAttributes(string, attrs);
  if (one.height * 2 > b.size.height) b.origin.y += std::round((b.size.height - one.height) / 2);
  drawInRect(string, b, attrs);
}

std::vector<std::shared_ptr<NSString>> TextView::visibleTexts() const {
  if (text_.empty()) return {};
  return {ns(text_)};
}

// --- TabButton --------------------------------------------------------------------------------

void TabButton::setUpWithFrame(CGRect frame) {
  UIControl::setUpWithFrame(frame);
  setOpaque(false);
}

void TabButton::setTitle(const std::string& title) {
  title_ = title;
  setNeedsDisplay();
}

void TabButton::setSelected(bool selected) {
  UIControl::setSelected(selected);
  setNeedsDisplay();
}

void TabButton::drawRect(CGRect) {
  auto ink = isSelected() ? rgb(255, 110, 40) : rgb(146, 146, 146);
  const CGRect b = bounds();
  // A glyph: a rounded square, filled when selected.
  auto context = UIGraphicsGetCurrentContext();
  CGRect glyph = CGRectMake(std::round(b.size.width / 2 - 11), 5, 22, 22);
  CGContextSetStrokeColorWithColor(context, ink->CGColor());
  CGContextSetFillColorWithColor(context, ink->CGColor());
  CGContextSetLineWidth(context, 1.5);
  CGMutablePathRef path = CGPathCreateMutable();
  CGPathAddRoundedRect(path, nullptr, CGRectInset(glyph, 1, 1), 6, 6);
  CGContextAddPath(context, path);
  if (isSelected()) CGContextFillPath(context);
  else CGContextStrokePath(context);
  auto style = NSMutableParagraphStyle::make();
  style->setAlignment(NSTextAlignmentCenter);
  auto attrs = NSDictionary::make({{NSFontAttributeName, UIFont::systemFontOfSize(10)},
                                   {NSForegroundColorAttributeName, ink},
                                   {NSParagraphStyleAttributeName, style}});
  drawInRect(ns(title_), CGRectMake(0, 31, b.size.width, 14), attrs);
}

std::vector<std::shared_ptr<NSString>> TabButton::visibleTexts() const { return {ns(title_)}; }

// --- the shell --------------------------------------------------------------------------------

std::shared_ptr<UIView> ShowcaseDelegate::makeScreen(const std::string& title, const std::string& note) {
  const CGRect screen = UIScreen::mainScreen()->bounds();
  auto view = UIView::initWithFrame(CGRectMake(0, 0, screen.size.width, screen.size.height - kTabBar));
  view->setBackgroundColor(rgb(242, 242, 242));
  auto bar = UIView::initWithFrame(CGRectMake(0, 0, screen.size.width, kTitleBar));
  bar->setBackgroundColor(rgb(255, 85, 20));
  bar->addSubview(text(title, CGRectMake(60, 20, screen.size.width - 120, 44), 19, UIColor::whiteColor(), true));
  view->addSubview(bar);
  if (!note.empty())
    view->addSubview(text(note, CGRectMake(20, kTitleBar + 40, screen.size.width - 40, 60), 15, rgb(102, 102, 102), true));
  return view;
}

bool ShowcaseDelegate::applicationDidFinishLaunchingWithOptions(const std::shared_ptr<UIApplication>& application,
                                                                 const std::shared_ptr<NSDictionary>&) {
  application->setStatusBarStyle(UIStatusBarStyleLightContent);
  window_ = UIWindow::make();
  window_->setBackgroundColor(UIColor::whiteColor());
  const CGRect screen = window_->bounds();
  const char* titles[] = {"首页", "超精选", "淘宝回扣", "商城回扣", "我的"};
  const char* notes[] = {"", "超精选的商品在这里展示。", "搜索淘宝商品，拿回扣。", "在合作商城购物，拿回扣。",
                         "登录后查看我的订单、资产和消息。"};
  for (size_t i = 0; i < 5; ++i) {
    auto content = makeScreen(i == 0 ? "Zavelto" : titles[i], notes[i]);
    content->setHidden(i != 0);
    window_->addSubview(content);
    screens_.push_back(content);
  }
  auto bar = UIView::initWithFrame(CGRectMake(0, screen.size.height - kTabBar, screen.size.width, kTabBar));
  bar->setBackgroundColor(rgb(250, 250, 250));
  auto hairline = UIView::initWithFrame(CGRectMake(0, 0, screen.size.width, 0.5));
  hairline->setBackgroundColor(rgb(178, 178, 178));
  bar->addSubview(hairline);
  const CGFloat width = screen.size.width / 5;
  for (size_t i = 0; i < 5; ++i) {
    auto tab = UIView::makeView<TabButton>(CGRectMake(std::round(i * width), 0, std::round(width), kTabBar));
    tab->setTitle(titles[i]);
    tab->setTag(static_cast<NSInteger>(i));
    tab->setSelected(i == 0);
    tab->addTarget(std::static_pointer_cast<NSObject>(shared_from_this()), SEL(&ShowcaseDelegate::tabTapped),
                   UIControlEventTouchUpInside);
    bar->addSubview(tab);
    tabs_.push_back(tab);
  }
  window_->addSubview(bar);
  window_->makeKeyAndVisible();
  loadProducts(screens_[0]);
  return true;
}

void ShowcaseDelegate::tabTapped(const std::shared_ptr<UIControl>& sender) {
  if (sender) selectTab(static_cast<size_t>(sender->tag()));
}

void ShowcaseDelegate::selectTab(size_t index) {
  if (index >= screens_.size()) return;
  selected_ = index;
  for (size_t i = 0; i < screens_.size(); ++i) {
    screens_[i]->setHidden(i != index);
    tabs_[i]->setSelected(i == index);
  }
}

void ShowcaseDelegate::loadProducts(const std::shared_ptr<UIView>& screen) {
  const CGFloat width = screen->bounds().size.width;
  auto status = text("正在加载…", CGRectMake(20, kTitleBar + 40, width - 40, 30), 15, rgb(102, 102, 102), true);
  screen->addSubview(status);
  auto parameters = NSDictionary::make({{"number"_ns, NSNumber::numberWithInt(1)},
                                        {"userLevel"_ns, NSNumber::numberWithInt(0)},
                                        {"type"_ns, NSNumber::numberWithInt(3)},
                                        {"cid"_ns, NSNumber::numberWithInt(0)},
                                        {"ps"_ns, NSNumber::numberWithInt(12)}});
  std::weak_ptr<UIView> weakScreen = screen;
  APIClient::getProductsWithParameter(parameters, [weakScreen, status](NSInteger, const std::shared_ptr<NSArray>& products,
                                                                       const APIClient::Message& message) {
    auto screen = weakScreen.lock();
    if (!screen) return;
    if (!products || products->count() == 0) {
      status->setText(message ? message->utf8() : "亲，您的手机网络不顺畅哦~");
      return;
    }
    status->removeFromSuperview();
    const CGFloat width = screen->bounds().size.width, gap = 10, cardWidth = std::floor((width - 3 * gap) / 2);
    const CGFloat cardHeight = 180;
    const size_t fit = static_cast<size_t>((screen->bounds().size.height - kTitleBar - gap) / (cardHeight + gap)) * 2;
    for (size_t i = 0; i < products->count() && i < fit; ++i) {
      auto product = std::dynamic_pointer_cast<TZProductModel>(products->objectAtIndex(i));
      if (!product) continue;
      const CGFloat x = gap + static_cast<CGFloat>(i % 2) * (cardWidth + gap);
      const CGFloat y = kTitleBar + gap + static_cast<CGFloat>(i / 2) * (cardHeight + gap);
      auto card = UIView::initWithFrame(CGRectMake(x, y, cardWidth, cardHeight));
      card->setBackgroundColor(UIColor::whiteColor());
      card->layer()->setCornerRadius(4);
      card->setClipsToBounds(true);
      auto picture = UIView::initWithFrame(CGRectMake(0, 0, cardWidth, 110));
      picture->setBackgroundColor(rgb(255, 224, 205));
      card->addSubview(picture);
      card->addSubview(text(textOf(product->title), CGRectMake(8, 114, cardWidth - 16, 36), 12, rgb(51, 51, 51), false));
      card->addSubview(text("¥" + textOf(product->price), CGRectMake(8, 152, cardWidth / 2, 22), 15, rgb(255, 85, 20), false, true));
      auto rebate = text("返" + textOf(product->fxje), CGRectMake(cardWidth / 2, 154, cardWidth / 2 - 8, 18), 11,
                         UIColor::whiteColor(), true);
      rebate->setBackgroundColor(rgb(255, 110, 40));
      rebate->layer()->setCornerRadius(9);
      card->addSubview(rebate);
      screen->addSubview(card);
    }
  });
}

}  // namespace zvt::runner
