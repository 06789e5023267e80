#pragma once
// The rebate tutorial ("回扣教程", analytics page "回扣教程页"): one of two long pictures, chosen
// with the segments "淘宝回扣教程" ("courseTaobao") and "商城回扣教程" ("courseStore"), scaled to
// the screen's width in a vertical scroll view. selectedIndex (key-value coded) picks the first
// segment and is read once, when the view is built; switching keeps the scroll offset.
//
// AboutZaveltoViewController: the about page ("关于Zavelto", analytics page "关于Zavelto页"), the
// picture "aboutZavelto" in a scroll view whose content is 49 points shorter than the picture.

#include <memory>

#include "app/ui/ParentsViewController.h"
#include "platform/foundation/NSKeyValueCoding.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UIScrollView.h"
#include "platform/uikit/UISegmentedControl.h"

class CourseViewController : public ParentsViewController {
 public:
  static std::shared_ptr<CourseViewController> make() { return std::make_shared<CourseViewController>(); }

  static const zvt::KVCClass* classTable();
  const zvt::KVCClass* kvcClass() const override { return classTable(); }

  int64_t selectedIndex() const { return selectedIndex_; }
  void setSelectedIndex(int64_t index) { selectedIndex_ = index; }

  std::shared_ptr<UIScrollView> bgscrollView() const { return bgscrollView_; }
  std::shared_ptr<UIImageView> courseImageView() const { return courseImageView_; }
  std::shared_ptr<UISegmentedControl> segmentControl() const { return segmentControl_; }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  void segmentAction(const std::shared_ptr<UISegmentedControl>& sender);

 private:
  void createUI();
  // The picture at the screen's width, aspect kept, and the content size to match.
  void showPicture(const std::shared_ptr<UIImage>& picture);

  int64_t selectedIndex_ = 0;
  std::shared_ptr<UISegmentedControl> segmentControl_;
  std::shared_ptr<UIScrollView> bgscrollView_;
  std::shared_ptr<UIImage> courseImage_;
  std::shared_ptr<UIImageView> courseImageView_;
};

class AboutZaveltoViewController : public ParentsViewController {
 public:
  static std::shared_ptr<AboutZaveltoViewController> make() { return std::make_shared<AboutZaveltoViewController>(); }

  std::shared_ptr<UIScrollView> scrollView() const { return scrollView_; }
  std::shared_ptr<UIImageView> imageView() const { return imageView_; }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

 private:
  std::shared_ptr<UIScrollView> scrollView_;
  std::shared_ptr<UIImageView> imageView_;
};
