#pragma once
// What the application shows until its own shell and screens take their place: a window whose
// root is a tab bar of five placeholder screens titled as the application's tabs ("首页",
// "超精选", "淘宝回扣", "商城回扣", "我的"), each under a title bar in the theme colour; the home
// screen lists the first products the service answers. Registered as "AppDelegate" by
// ApplicationClasses.cpp until the application's own AppDelegate is.

#include <memory>
#include <string>
#include <vector>

#include "platform/text/UIFont.h"
#include "platform/uikit/UIApplication.h"
#include "platform/uikit/UIControl.h"
#include "platform/uikit/UIWindow.h"

namespace zvt::runner {

// One line (or a few wrapped lines) of text drawn in its bounds; a person sees its text.
class TextView : public UIView {
 public:
  void setUpWithFrame(CGRect frame) override;
  void setText(const std::string& text);
  const std::string& text() const { return text_; }
  void setFont(const std::shared_ptr<UIFont>& font);
  void setTextColor(const std::shared_ptr<UIColor>& color);
  void setCentered(bool centered);
  void drawRect(CGRect rect) override;
  std::vector<std::shared_ptr<NSString>> visibleTexts() const override;

 private:
  std::string text_;
  std::shared_ptr<UIFont> font_;
  std::shared_ptr<UIColor> color_;
  bool centered_ = false;
};

// A tab of the bar: a glyph over its title, orange when selected, grey otherwise.
class TabButton : public UIControl {
 public:
  void setUpWithFrame(CGRect frame) override;
  void setTitle(const std::string& title);
  void setSelected(bool selected) override;
  void drawRect(CGRect rect) override;
  std::vector<std::shared_ptr<NSString>> visibleTexts() const override;

 private:
  std::string title_;
};

class ShowcaseDelegate : public UIApplicationDelegate, public NSObject {
 public:
  bool applicationDidFinishLaunchingWithOptions(const std::shared_ptr<UIApplication>& application,
                                                const std::shared_ptr<NSDictionary>& options) override;
  const std::shared_ptr<UIWindow>& window() const { return window_; }
  // Shows the tab's screen (0 to 4).
  void selectTab(size_t index);
  size_t selectedTab() const { return selected_; }
  // The tab buttons' action.
  void tabTapped(const std::shared_ptr<UIControl>& sender);

 private:
  std::shared_ptr<UIView> makeScreen(const std::string& title, const std::string& note);
  void loadProducts(const std::shared_ptr<UIView>& screen);

  std::shared_ptr<UIWindow> window_;
  std::vector<std::shared_ptr<UIView>> screens_;
  std::vector<std::shared_ptr<TabButton>> tabs_;
  size_t selected_ = 0;
};

}  // namespace zvt::runner
