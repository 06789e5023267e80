#pragma once
// The numbering of a paged list's requests, shared by the lists that page on pull-up and start
// over on pull-down: a reply to a request sent before the latest first-page request belongs to
// a list that has started again, and is too late to be shown (put after, or in place of, the new
// first page it would show rows out of their order). It also counts the requests still on
// their way, so that a list's retry sends nothing while one is.

#include "platform/foundation/NSObject.h"

namespace zvt::ui {

class PageRequests {
 public:
  // Numbers a request for `page` as it goes.
  int sent(NSInteger page) {
    ++serial_;
    ++onTheirWay_;
    if (page == 1) startedOver_ = serial_;
    return serial_;
  }
  // Takes the reply to request `serial`, once for each request whatever the reply holds (a
  // failure too), and says whether a later first-page request has overtaken it.
  bool answered(int serial) {
    if (onTheirWay_ > 0) --onTheirWay_;
    return overtaken(serial);
  }
  // A request is on its way.
  bool loading() const { return onTheirWay_ > 0; }

 private:
  // Whether the reply to request `serial` has been overtaken by a later first-page request.
  bool overtaken(int serial) const { return serial < startedOver_; }

  int serial_ = 0;
  int startedOver_ = 0;
  int onTheirWay_ = 0;
};

}  // namespace zvt::ui
