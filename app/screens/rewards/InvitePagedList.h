#pragma once
// The paged lists of the reward records and of the invited friends: both ask their pages of
// the JSON interface, signed by the screen itself (get_time, then the operation with "code",
// "time", "uid", "number" and "ps"), and both treat a page alike. A page with records
// replaces the rows when it is page 1 and is appended otherwise; an empty page changes nothing
// (an empty page 1 keeps the rows shown); "end" 1 puts the footer into its no-more-data state.
// Any failure (no time stamp, no user id, a failed request, a code other than 101) steps back
// from page 2 or later, ends the refreshing and shows nothing.

#include <memory>
#include <string>
#include <vector>

#include "app/ui/PageRequests.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UITableView.h"
#include "platform/uikit/UIViewController.h"

namespace zvt::invites {

class InvitePagedList : public std::enable_shared_from_this<InvitePagedList> {
 public:
  // `operation` as in "api/client.php?m=<operation>"; `pageSize` is sent as "ps".
  InvitePagedList(std::string operation, NSInteger pageSize) : operation_(std::move(operation)), pageSize_(pageSize) {}

  // Gives the table a pull-down header and a pull-up footer that call these actions (the
  // owner held weakly by them), then begins the header, so that page 1 loads at once.
  void attach(const std::shared_ptr<UITableView>& table, std::function<void()> headerAction,
              std::function<void()> footerAction);
  // The same with the screen's own headerAction and footerAction.
  template <class Screen>
  void attach(const std::shared_ptr<UITableView>& table, const std::shared_ptr<Screen>& screen) {
    std::weak_ptr<Screen> weak = screen;
    attach(
        table,
        [weak] {
          if (auto shown = weak.lock()) shown->headerAction();
        },
        [weak] {
          if (auto shown = weak.lock()) shown->footerAction();
        });
  }

  // Page 1, then the next page; `owner` (the screen) is held until the page has been handled.
  void pullDown(const id& owner);
  void pullUp(const id& owner);
  // Asks page number() again.
  void load(const id& owner);
  void failureLoad();

  // The "juxing" strip that closes the list, W wide and W × 16 / 640 high; nil while the list
  // is empty.
  std::shared_ptr<UIView> footerView(CGFloat width) const;
  // The record of a row, nil outside the list.
  std::shared_ptr<NSDictionary> recordAt(NSInteger row) const;

  NSInteger number() const { return number_; }
  NSInteger pageSize() const { return pageSize_; }
  std::shared_ptr<NSMutableArray> rows() const { return rows_; }

 private:
  // The reply to the request numbered `serial`, which asked for page `page`.
  void pageArrived(const id& reply, NSInteger page, int serial);

  std::string operation_;
  NSInteger pageSize_;
  NSInteger number_ = 0;
  zvt::ui::PageRequests requests_;
  std::shared_ptr<NSMutableArray> rows_ = NSMutableArray::array();
  std::weak_ptr<UITableView> table_;
};

// The column titles over both lists: on RGB 236, 236, 236, one centred 14-point label per title,
// as high as the strip, each `shares[i]` of the strip's width, side by side from the left; a
// 1-point line of RGB 205, 205, 205 at the right edge of each but the last, 10 points in from
// the strip's top and bottom.
std::shared_ptr<UIView> columnTitleStrip(CGRect frame, const std::vector<std::string>& titles,
                                         const std::vector<double>& shares);

// A grey label of a row.
std::shared_ptr<UILabel> rowLabel(CGRect frame, CGFloat fontSize, NSTextAlignment alignment, NSInteger lines);

// The look the invitation and message screens share: their title and a "grayReturn" back item
// that pops the screen (held weakly); and on appearing the default bar style, the white bar
// look, the page view begun and, where asked, the tab bar hidden.
void configScreen(const std::shared_ptr<UIViewController>& screen, const std::shared_ptr<NSString>& title);
void screenWillAppear(const std::shared_ptr<UIViewController>& screen, const std::shared_ptr<NSString>& page,
                      bool hidesTabBar);

// A record's value as text for a label: a text as it is, a number written out, empty for
// anything else (never "(null)").
std::shared_ptr<NSString> recordText(const std::shared_ptr<NSDictionary>& record, const char* key);

}  // namespace zvt::invites
