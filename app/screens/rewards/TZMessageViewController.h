#pragma once
// The site messages ("站内信"): the user's messages page by page (the server chooses the page
// size) in a pull-to-refresh table whose rows are as high as their laid-out title and time; a
// row opens the message's HTML in the record page ("详细情况"). A failed page shows the
// no-network placeholder, whose "点击重试" asks the same page again (and nothing while a page
// is on its way); a failed pull-up is not stepped back.

#include <memory>
#include <unordered_map>

#include "app/ui/PageRequests.h"
#include "app/models/TZMessageModel.h"
#include "app/ui/ParentsViewController.h"
#include "app/ui/SharedViews.h"
#include "platform/foundation/NSArray.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UITableView.h"

// One message (nib "TZMessageCell"): a rounded, bordered card with the title (as many lines as
// it needs) over the time.
class TZMessageCell : public ParentTableViewCell {
 public:
  std::shared_ptr<UIView> bgView() const { return bgView_.lock(); }
  std::shared_ptr<UILabel> messageTitleLabel() const { return messageTitleLabel_.lock(); }
  std::shared_ptr<UILabel> messageTimeLabel() const { return messageTimeLabel_.lock(); }
  std::shared_ptr<TZMessageModel> messageModel() const { return messageModel_; }
  // A nil model is ignored; otherwise the cell shows it and lays itself out at once.
  void setMessageModel(const std::shared_ptr<TZMessageModel>& model);

  void awakeFromNib() override;
  void layoutSubviews() override;

  // The height of the row of a model at a table width, measured on one sizing cell kept for
  // the life of the process: its content's compressed fitting height plus 1 point.
  static CGFloat getCellHeightWith(const std::shared_ptr<TZMessageModel>& model, CGFloat width);
  static void registerNib();

 private:
  std::weak_ptr<UIView> bgView_;
  std::weak_ptr<UILabel> messageTitleLabel_, messageTimeLabel_;
  std::shared_ptr<TZMessageModel> messageModel_;
};

// The row heights of the messages shown, each measured once on the sizing cell and kept with
// the width it was measured at: a reload measures only rows it has not measured. The models
// are held by the list, so an entry is forgotten (clear) whenever the list lets models go.
class TZMessageHeights {
 public:
  CGFloat heightOf(const std::shared_ptr<TZMessageModel>& model, CGFloat width);
  void clear() { heights_.clear(); }

 private:
  struct Measured {
    CGFloat width;
    CGFloat height;
  };
  std::unordered_map<const TZMessageModel*, Measured> heights_;
};

class TZMessageViewController : public ParentsViewController,
                                public UITableViewDataSource,
                                public UITableViewDelegate {
 public:
  static std::shared_ptr<TZMessageViewController> make() { return std::make_shared<TZMessageViewController>(); }
  std::string className() const override { return "TZMessageViewController"; }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  void createUI();
  // Asks page `page` and merges the answer.
  void getMessages();
  // The pull-down (the name is spelled so) and the pull-up.
  void heaerRefreshing();
  void footerRefreshing();
  void createErrorView();

  std::shared_ptr<UITableView> messageTabelView() const { return messageTabelView_; }
  std::shared_ptr<NSMutableArray> dataArray() const { return dataArray_; }
  int32_t page() const { return page_; }
  std::shared_ptr<TZNoMessageTipView> noMessageTipView() const { return noMessageTipView_; }
  // A page is on its way.
  bool isLoading() const { return requests_.loading(); }

  NSInteger tableViewNumberOfRowsInSection(const std::shared_ptr<UITableView>& tableView, NSInteger section) override;
  std::shared_ptr<UITableViewCell> tableViewCellForRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                                                  const std::shared_ptr<NSIndexPath>& indexPath) override;
  CGFloat tableViewHeightForRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                           const std::shared_ptr<NSIndexPath>& indexPath) override;
  void tableViewDidSelectRowAtIndexPath(const std::shared_ptr<UITableView>& tableView,
                                        const std::shared_ptr<NSIndexPath>& indexPath) override;

 private:
  std::shared_ptr<TZMessageViewController> messageSelf() {
    return std::static_pointer_cast<TZMessageViewController>(controllerSelf());
  }
  // The reply to the request numbered `serial`, which asked for `page`.
  void pageArrived(const std::shared_ptr<NSArray>& models, const id& end, const std::shared_ptr<NSString>& failure,
                   int32_t page, int serial);
  std::shared_ptr<TZMessageModel> modelAt(NSInteger row) const;

  std::shared_ptr<NSMutableArray> dataArray_ = NSMutableArray::array();
  int32_t page_ = 1;
  zvt::ui::PageRequests requests_;
  std::shared_ptr<UITableView> messageTabelView_;
  std::shared_ptr<TZNoMessageTipView> noMessageTipView_;
  TZMessageHeights heights_;
};
