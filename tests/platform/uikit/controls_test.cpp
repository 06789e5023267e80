#include <gtest/gtest.h>

#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/UIPageControl.h"
#include "platform/uikit/UIProgressView.h"
#include "platform/uikit/UISearchBar.h"
#include "platform/uikit/UISegmentedControl.h"
#include "platform/uikit/UISwitch.h"
#include "platform/uikit/UITextView.h"
#include "tests/platform/uikit/UIKitTestSupport.h"

using namespace zvt::uitest;
using zvt::ui::Device;

namespace {

std::shared_ptr<NSString> str(const char* s) { return NSString::stringWithUTF8String(s); }

class TextViewDelegate : public NSObject, public UITextViewDelegate {
 public:
  Log* log = nullptr;
  bool refuseNewlines = false;
  bool textViewShouldBeginEditing(const std::shared_ptr<UITextView>& v) override {
    log->add("shouldBegin");
    v->setText(NSString::string());  // the feedback form drops its prompt here
    return true;
  }
  void textViewDidBeginEditing(const std::shared_ptr<UITextView>&) override { log->add("didBegin"); }
  bool textViewShouldChangeTextInRange(const std::shared_ptr<UITextView>&, NSRange range,
                                       const std::shared_ptr<NSString>& text) override {
    log->add("change(" + std::to_string(range.location) + "," + std::to_string(range.length) + ")");
    return !(refuseNewlines && text->isEqualToString("\n"));
  }
  void textViewDidChange(const std::shared_ptr<UITextView>&) override { log->add("didChange"); }
  bool textViewShouldEndEditing(const std::shared_ptr<UITextView>&) override { return log->add("shouldEnd"), true; }
  void textViewDidEndEditing(const std::shared_ptr<UITextView>&) override { log->add("didEnd"); }
};

class SearchDelegate : public NSObject, public UISearchBarDelegate {
 public:
  Log* log = nullptr;
  bool searchBarShouldBeginEditing(const std::shared_ptr<UISearchBar>&) override { return log->add("shouldBegin"), true; }
  void searchBarTextDidBeginEditing(const std::shared_ptr<UISearchBar>&) override { log->add("didBegin"); }
  bool searchBarShouldEndEditing(const std::shared_ptr<UISearchBar>&) override { return log->add("shouldEnd"), true; }
  void searchBarTextDidEndEditing(const std::shared_ptr<UISearchBar>&) override { log->add("didEnd"); }
  void searchBarTextDidChange(const std::shared_ptr<UISearchBar>&, const std::shared_ptr<NSString>& text) override {
    log->add("textDidChange(" + text->utf8() + ")");
  }
  bool searchBarShouldChangeTextInRange(const std::shared_ptr<UISearchBar>&, NSRange range,
                                        const std::shared_ptr<NSString>&) override {
    return log->add("shouldChange(" + std::to_string(range.location) + ")"), true;
  }
  void searchBarSearchButtonClicked(const std::shared_ptr<UISearchBar>&) override { log->add("search"); }
  void searchBarCancelButtonClicked(const std::shared_ptr<UISearchBar>&) override { log->add("cancel"); }
};

}  // namespace

TEST(UIKitTextView, EditsOverSeveralLinesAndKeepsTheInsertionPointInView) {
  Screen screen;
  Log log;
  auto delegate = std::make_shared<TextViewDelegate>();
  delegate->log = &log;
  auto view = screen.add<UITextView>({{20, 20}, {200, 60}});
  view->setText(str("请填写您宝贵的建议"));
  view->setDelegate(delegate);
  auto& device = screen.device();
  ASSERT_EQ(device.viewWithText("请填写您宝贵的建议"), view);
  device.tapView(view);
  EXPECT_EQ(log.joined(), "shouldBegin didBegin");
  EXPECT_EQ(view->text()->length(), 0u);
  log.clear();
  device.typeText("好\n");
  EXPECT_EQ(log.joined(), "change(0,0) didChange change(1,0) didChange") << "the return key types a line break";
  EXPECT_EQ(view->text()->utf8(), "好\n");
  delegate->refuseNewlines = true;
  device.pressReturn();
  EXPECT_EQ(view->text()->utf8(), "好\n");
  EXPECT_EQ(view->contentOffset().y, 0);
  delegate->refuseNewlines = false;
  device.typeText("\n\n\n\n\n\n");
  EXPECT_GT(view->contentSize().height, 60);
  EXPECT_GT(view->contentOffset().y, 0) << "the end of the text is in view";
  view->setSelectedRange(NSMakeRange(0, 0));
  device.typeText("A");
  EXPECT_EQ(view->text()->substringToIndex(2)->utf8(), "A好");
  log.clear();
  screen.window->endEditing(true);
  EXPECT_EQ(log.joined(), "didEnd");
  view->setEditable(false);
  device.tapView(view);
  EXPECT_FALSE(view->isFirstResponder());
}

TEST(UIKitSearchBar, ReportsTheFieldsEditingToItsDelegate) {
  Screen screen;
  Log log;
  auto delegate = std::make_shared<SearchDelegate>();
  delegate->log = &log;
  auto bar = screen.add<UISearchBar>({{0, 20}, {320, 30}});
  bar->setPlaceholder(str("输入商品关键词"));
  bar->setDelegate(delegate);
  auto& device = screen.device();
  device.settle();
  ASSERT_TRUE(device.tapText("输入商品关键词"));
  EXPECT_TRUE(bar->isFirstResponder());
  device.typeText("ab");
  EXPECT_EQ(log.joined(), "shouldBegin didBegin shouldChange(0) textDidChange(a) shouldChange(1) textDidChange(ab)");
  log.clear();
  device.pressReturn();
  EXPECT_EQ(log.joined(), "search");
  EXPECT_TRUE(bar->isFirstResponder()) << "the search button leaves the field editing";
  log.clear();
  device.tapView(bar->searchField()->clearButton());
  EXPECT_EQ(log.joined(), "textDidChange()");
  log.clear();
  bar->setShowsCancelButton(true);
  screen.device().settle();
  EXPECT_TRUE(device.tapText("取消"));
  EXPECT_EQ(log.joined(), "cancel");
  log.clear();
  bar->setText(str("手机"));
  EXPECT_EQ(log.joined(), "textDidChange(手机)");
  EXPECT_EQ(device.viewWithText("手机"), bar->searchField());
  log.clear();
  bar->resignFirstResponder();
  EXPECT_EQ(log.joined(), "shouldEnd didEnd");
  EXPECT_EQ(bar->returnKeyType(), UIReturnKeySearch);
  EXPECT_LE(CGRectGetMaxX(bar->searchField()->frame()), bar->cancelButton()->frame().origin.x);
}

TEST(UIKitValueControls, TapsChangeTheValueAndCodeDoesNotTell) {
  Screen screen;
  Log log;
  auto target = std::make_shared<Target>(&log);
  auto& device = screen.device();

  auto toggle = screen.add<UISwitch>({{10, 10}, {100, 100}});
  toggle->addTarget(target, &Target::pressed, UIControlEventValueChanged);
  EXPECT_EQ(toggle->frame().size, CGSizeMake(51, 31)) << "a switch keeps its own size";
  device.tapView(toggle);
  EXPECT_TRUE(toggle->isOn());
  toggle->setOn(false);
  EXPECT_EQ(log.joined(), "target.pressed");

  log.clear();
  auto segments = UISegmentedControl::initWithItems(NSArray::make({str("邮箱找回"), str("手机号找回")}));
  segments->setFrame({{10, 60}, {200, 29}});
  segments->setSelectedSegmentIndex(0);
  screen.window->addSubview(segments);
  segments->addTarget(target, &Target::pressed, UIControlEventValueChanged);
  device.settle();
  EXPECT_TRUE(device.tapText("手机号找回"));
  EXPECT_EQ(segments->selectedSegmentIndex(), 1);
  device.tapText("手机号找回");
  EXPECT_EQ(log.joined(), "target.pressed") << "tapping the selected segment again changes nothing";
  segments->setEnabled(false, 0);
  device.tapText("邮箱找回");
  EXPECT_EQ(segments->selectedSegmentIndex(), 1);
  segments->setSelectedSegmentIndex(0);
  EXPECT_EQ(log.lines.size(), 1u);

  log.clear();
  auto pages = screen.add<UIPageControl>({{10, 100}, {200, 37}});
  pages->setNumberOfPages(3);
  pages->addTarget(target, &Target::pressed, UIControlEventValueChanged);
  struct Step {
    CGFloat x;
    NSInteger want;
  } steps[] = {{190, 1}, {190, 2}, {190, 2}, {20, 1}};
  for (const auto& s : steps) {
    device.tap({s.x, 118});
    EXPECT_EQ(pages->currentPage(), s.want);
  }
  EXPECT_EQ(log.lines.size(), 3u) << "no change at the last page";
  pages->setCurrentPage(7);
  EXPECT_EQ(pages->currentPage(), 2);
  pages->setHidesForSinglePage(true);
  pages->setNumberOfPages(1);
  EXPECT_FALSE(Device::isVisible(pages));
}

TEST(UIKitProgressViews, IndicatorsSpinWhileAnimatingAndBarsFillInProportion) {
  Screen screen;
  auto spinner = UIActivityIndicatorView::initWithActivityIndicatorStyle(UIActivityIndicatorViewStyleWhiteLarge);
  screen.window->addSubview(spinner);
  EXPECT_EQ(spinner->frame().size, CGSizeMake(37, 37));
  EXPECT_TRUE(spinner->isHidden()) << "hidden while stopped";
  spinner->startAnimating();
  EXPECT_FALSE(spinner->isHidden());
  double start = CACurrentMediaTime();
  auto angle = [&](double t) {
    return CATransform3DGetAffineTransform(spinner->layer()->presentationPropertiesAt(start + t).transform);
  };
  EXPECT_NEAR(angle(0.25).b, 1, 1e-6) << "a quarter turn after a quarter second";
  screen.device().wait(10);
  EXPECT_TRUE(spinner->isAnimating());
  spinner->stopAnimating();
  EXPECT_TRUE(spinner->isHidden());
  EXPECT_TRUE(spinner->layer()->animationKeys().empty());

  auto bar = screen.add<UIProgressView>({{0, 100}, {200, 2}});
  struct Case {
    float set, want;
  } cases[] = {{0.5f, 0.5f}, {1.5f, 1.0f}, {-1.0f, 0.0f}};
  for (const auto& c : cases) {
    bar->setProgress(c.set, true);
    screen.device().settle();
    EXPECT_EQ(bar->progress(), c.want);
    EXPECT_EQ(bar->subviews().back()->frame().size.width, 200 * c.want);
  }
}
