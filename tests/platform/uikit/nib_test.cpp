#include <gtest/gtest.h>

#include "platform/foundation/NSException.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UINib.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UITextField.h"
#include "platform/uikit/UIViewController.h"
#include "tests/platform/uikit/UIKitTestSupport.h"

using namespace zvt::uitest;

namespace {

Log* gLog = nullptr;

// A form as the application builds them in nibs: weak outlets, set-up in awakeFromNib.
class SearchForm : public UIView {
 public:
  std::weak_ptr<UITextField> searchTextField;
  std::weak_ptr<UIButton> searchButton;
  void setUpWithFrame(CGRect frame) override {
    UIView::setUpWithFrame(frame);
    gLog->add("initWithFrame");
  }
  void awakeFromNib() override {
    // The outlets are set by now.
    gLog->add(std::string("form.awake:") + (searchTextField.lock() ? "field" : "nil"));
    searchTextField.lock()->setClearButtonMode(UITextFieldViewModeWhileEditing);
  }
};

class AwakeField : public UITextField {
 public:
  void awakeFromNib() override { gLog->add("field.awake"); }
};

class Owner : public NSObject {
 public:
  std::weak_ptr<SearchForm> form;
};

void registerSearchForm() {
  zvt::ui::registerNibFactory("SearchForm", [](zvt::ui::NibBuilder& nib) -> std::vector<id> {
    auto form = nib.view<SearchForm>(CGRectMake(0, 0, 320, 200));
    auto field = nib.view<AwakeField>(CGRectMake(10, 10, 300, 30));
    auto button = nib.view<UIButton>(CGRectMake(10, 50, 300, 40));
    button->setTitle("搜索"_ns, UIControlStateNormal);
    form->addSubview(field);
    form->addSubview(button);
    form->searchTextField = field;
    form->searchButton = button;
    if (auto owner = std::dynamic_pointer_cast<Owner>(nib.owner())) owner->form = form;
    auto extra = nib.adopt(UIView::make());
    return {form, extra};
  });
}

}  // namespace

TEST(UIKitNib, FactoriesMakeFreshObjectsThatAwakeAfterTheirOutlets) {
  Log log;
  gLog = &log;
  registerSearchForm();
  auto owner = std::make_shared<Owner>();
  auto top = loadNibNamed(nullptr, "SearchForm"_ns, owner, nullptr);
  ASSERT_EQ(top->count(), 2u);
  auto form = zvt::as<SearchForm>(top->objectAtIndex(0));
  ASSERT_TRUE(form);
  EXPECT_EQ(owner->form.lock(), form) << "the owner's outlet";
  EXPECT_EQ(log.joined(), "form.awake:field field.awake") << "made as a nib makes views: no initWithFrame";
  EXPECT_EQ(form->searchTextField.lock()->clearButtonMode(), UITextFieldViewModeWhileEditing);
  EXPECT_EQ(form->frame(), CGRectMake(0, 0, 320, 200));
  auto again = UINib::nibWithNibName("SearchForm"_ns, nullptr)->instantiateWithOwner(nullptr, nullptr);
  EXPECT_NE(again->objectAtIndex(0), form);

  // A button made by a nib is set up like one made in code.
  Screen screen;
  screen.window->addSubview(form);
  EXPECT_TRUE(screen.device().viewWithText("搜索"));
  zvt::ui::registerNibFactory("SearchForm", nullptr);
  gLog = nullptr;
}

TEST(UIKitNib, AnUnknownNameRaisesAsOnTheDevice) {
  auto nib = UINib::nibWithNibName("TZNoSuchView"_ns, nullptr);
  ASSERT_TRUE(nib) << "made whether or not it exists";
  try {
    nib->instantiateWithOwner(nullptr, nullptr);
    FAIL() << "no exception";
  } catch (const NSException& e) {
    EXPECT_EQ(e.name()->utf8(), "NSInternalInconsistencyException");
    EXPECT_NE(e.reason()->utf8().find("with name 'TZNoSuchView'"), std::string::npos) << e.reason()->utf8();
  }
}

TEST(UIKitNib, AControllerWithANibNameLoadsItsViewFromTheRegistry) {
  struct Screen : UIViewController {
    std::weak_ptr<UIButton> loginButton;
    bool loaded = false;
    void viewDidLoad() override {
      UIViewController::viewDidLoad();
      loaded = loginButton.lock() != nullptr;
    }
  };
  zvt::ui::registerNibFactory("LoginScreen", [](zvt::ui::NibBuilder& nib) -> std::vector<id> {
    auto owner = std::dynamic_pointer_cast<Screen>(nib.owner());
    auto view = nib.view<UIView>(CGRectMake(0, 0, 320, 480));
    auto button = nib.view<UIButton>(CGRectMake(10, 10, 100, 40));
    view->addSubview(button);
    if (owner) {
      owner->setView(view);
      owner->loginButton = button;
    }
    return {view};
  });
  zvt::ui::registerNibFactory("Viewless", [](zvt::ui::NibBuilder& nib) -> std::vector<id> {
    return {nib.view<UIView>(CGRectZero)};
  });
  auto screen = UIViewController::initWithNibName<Screen>("LoginScreen"_ns);
  EXPECT_FALSE(screen->isViewLoaded());
  auto view = screen->view();
  EXPECT_EQ(view->frame(), CGRectMake(0, 0, 320, 480));
  EXPECT_TRUE(screen->loaded) << "viewDidLoad sees the outlets";
  EXPECT_THROW(UIViewController::initWithNibName("Viewless"_ns)->view(), NSException) << "the view outlet was not set";
  zvt::ui::registerNibFactory("LoginScreen", nullptr);
  zvt::ui::registerNibFactory("Viewless", nullptr);
}

namespace {

// Scrolling views out of a nib scroll under the finger and clip their content, as ones made in
// code do; a table out of a nib keeps a table's defaults.
TEST(UIKitNib, ScrollingViewsOutOfANibFollowTheFingerAndClip) {
  Screen screen;
  zvt::ui::registerNibFactory("ScrollingViews", [](zvt::ui::NibBuilder& nib) -> std::vector<id> {
    auto scroll = nib.view<UIScrollView>(CGRectMake(0, 0, 320, 240));
    auto table = nib.view<UITableView>(CGRectMake(0, 240, 320, 240));
    return {scroll, table};
  });
  auto top = UINib::nibWithNibName("ScrollingViews"_ns, nullptr)->instantiateWithOwner(nullptr, nullptr);
  ASSERT_EQ(top->count(), 2u);
  auto scroll = std::dynamic_pointer_cast<UIScrollView>(top->objectAtIndex(0));
  auto table = std::dynamic_pointer_cast<UITableView>(top->objectAtIndex(1));
  ASSERT_TRUE(scroll && table);
  EXPECT_TRUE(table->alwaysBounceVertical());
  EXPECT_TRUE(table->separatorColor());
  for (const auto& view : {std::static_pointer_cast<UIScrollView>(scroll), std::static_pointer_cast<UIScrollView>(table)}) {
    EXPECT_TRUE(view->clipsToBounds());
    EXPECT_TRUE(view->panGestureRecognizer());
  }
  scroll->setContentSize(CGSizeMake(320, 2000));
  screen.window->addSubview(scroll);
  screen.device().dragView(scroll, CGPointMake(0, -100), 0.3);
  screen.device().waitUntilStill(scroll);
  EXPECT_GT(scroll->contentOffset().y, 50) << "the finger moves the content";
}

}  // namespace
