#pragma once
// What a navigation bar shows for one screen (UINavigationItem): the title or a title view, the
// left and right items, and the back item that the next screen's bar shows to come back here.

#include <memory>
#include <vector>

#include "platform/foundation/NSString.h"
#include "platform/uikit/UIBarButtonItem.h"

class UINavigationItem : public NSObject {
 public:
  static std::shared_ptr<UINavigationItem> initWithTitle(const std::shared_ptr<NSString>& title);
  static std::shared_ptr<UINavigationItem> make() { return std::make_shared<UINavigationItem>(); }

  const std::shared_ptr<NSString>& title() const { return title_; }
  void setTitle(const std::shared_ptr<NSString>& title);
  // Shown in place of the title.
  const std::shared_ptr<UIView>& titleView() const { return titleView_; }
  void setTitleView(const std::shared_ptr<UIView>& view);
  const std::shared_ptr<NSString>& prompt() const { return prompt_; }
  void setPrompt(const std::shared_ptr<NSString>& prompt) { prompt_ = prompt; }

  // The item the next screen's back button shows (nil: a back button titled with this item's
  // title).
  const std::shared_ptr<UIBarButtonItem>& backBarButtonItem() const { return backBarButtonItem_; }
  void setBackBarButtonItem(const std::shared_ptr<UIBarButtonItem>& item);
  bool hidesBackButton() const { return hidesBackButton_; }
  void setHidesBackButton(bool hides);
  void setHidesBackButton(bool hides, bool /*animated*/) { setHidesBackButton(hides); }
  // With left items, the back button shows too (beside them) only when this is YES.
  bool leftItemsSupplementBackButton() const { return leftItemsSupplementBackButton_; }
  void setLeftItemsSupplementBackButton(bool supplements);

  // The first of the left (right) items; setting one replaces them all.
  std::shared_ptr<UIBarButtonItem> leftBarButtonItem() const;
  void setLeftBarButtonItem(const std::shared_ptr<UIBarButtonItem>& item);
  void setLeftBarButtonItem(const std::shared_ptr<UIBarButtonItem>& item, bool /*animated*/) {
    setLeftBarButtonItem(item);
  }
  std::shared_ptr<UIBarButtonItem> rightBarButtonItem() const;
  void setRightBarButtonItem(const std::shared_ptr<UIBarButtonItem>& item);
  void setRightBarButtonItem(const std::shared_ptr<UIBarButtonItem>& item, bool /*animated*/) {
    setRightBarButtonItem(item);
  }
  // Left items from the left edge inwards; right items from the right edge inwards.
  const std::vector<std::shared_ptr<UIBarButtonItem>>& leftBarButtonItems() const { return leftItems_; }
  void setLeftBarButtonItems(std::vector<std::shared_ptr<UIBarButtonItem>> items);
  void setLeftBarButtonItems(std::vector<std::shared_ptr<UIBarButtonItem>> items, bool /*animated*/) {
    setLeftBarButtonItems(std::move(items));
  }
  const std::vector<std::shared_ptr<UIBarButtonItem>>& rightBarButtonItems() const { return rightItems_; }
  void setRightBarButtonItems(std::vector<std::shared_ptr<UIBarButtonItem>> items);
  void setRightBarButtonItems(std::vector<std::shared_ptr<UIBarButtonItem>> items, bool /*animated*/) {
    setRightBarButtonItems(std::move(items));
  }

  // --- for the bar
  void setOwner(const std::shared_ptr<UIView>& bar) { owner_ = bar; }
  std::shared_ptr<UIView> owner() const { return owner_.lock(); }

 private:
  void changed();

  std::shared_ptr<NSString> title_;
  std::shared_ptr<UIView> titleView_;
  std::shared_ptr<NSString> prompt_;
  std::shared_ptr<UIBarButtonItem> backBarButtonItem_;
  std::vector<std::shared_ptr<UIBarButtonItem>> leftItems_;
  std::vector<std::shared_ptr<UIBarButtonItem>> rightItems_;
  std::weak_ptr<UIView> owner_;
  bool hidesBackButton_ = false;
  bool leftItemsSupplementBackButton_ = false;
};
