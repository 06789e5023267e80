#pragma once
// The daily check-in screen: the two balances over the header picture, the check-in button
// (and, when the server's configuration offers one, a button that opens a promotion page),
// today's date with the 09:00 reminder switch, and the month grid (CalendarView) with a coin on
// every day this device has seen the user check in. One tap a day sends the screen's own
// signed, enciphered "act=sign" (after "act=get_time"); a success credits the balances, floats
// the reward over the header, marks today and may bring a full-screen advert (TZADShow).
//
// Days are those of the device's time zone (NSTimeZone::defaultTimeZone): the check-in counts
// as done on opening only when the user's last check-in ("signtime") fell on today's year,
// month and day there. The device's list of checked-in days ("signData", "month-day" texts) is
// always read before today is added, and today is added only when it is missing. The reminder
// first fires at the next 09:00 of that zone and then daily.

#include <memory>

#include "app/screens/rewards/CalendarView.h"
#include "app/ui/ParentsViewController.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/uikit/UIButton.h"
#include "platform/uikit/UIImageView.h"
#include "platform/uikit/UILabel.h"
#include "platform/uikit/UIScrollView.h"

class ThecalendarViewController : public ParentsViewController {
 public:
  static constexpr NSInteger kSignRequest = 0;
  static constexpr NSInteger kShareAwardRequest = 1;

  // init: the empty list of days and reward text.
  static std::shared_ptr<ThecalendarViewController> make();
  std::string className() const override { return "ThecalendarViewController"; }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  // Building.
  void scoller();
  void reloadTheInfo();
  void calendar();

  // Actions.
  void SignIn();
  void getMoney();
  void remind();
  void remindSignIn();
  void showAD(const std::shared_ptr<NSDictionary>& advert);

  // Server: "act=get_time", then the operation ("act=sign" for type 0, "act=shareAwardInfo" for
  // type 1) with the caller's fields, "time" and "code".
  void getRewardFromServerWithType(NSInteger type, const std::shared_ptr<NSString>& interFaceString,
                                   const std::shared_ptr<NSDictionary>& postDictionary);
  void getTheRewardFromServer();

  // The floating reward label.
  void addAnimitionWithType(NSInteger type, const std::shared_ptr<NSString>& rewardNumber);
  void updateUI();
  void removeMoneyRemarkLabel();

  // For tests and pictures.
  const std::shared_ptr<UIScrollView>& scrollview() const { return scrollview_; }
  const std::shared_ptr<NSMutableArray>& signInDataArray() const { return signInDataArray_; }
  NSInteger currentDay() const { return currentDay_; }
  NSInteger currentMonth() const { return currentMonth_; }
  NSInteger signInTimeStamp() const { return signInTimeStamp_; }
  const std::shared_ptr<UIButton>& signInButton() const { return signInButton_; }
  const std::shared_ptr<UIButton>& promotionButton() const { return promotionButton_; }
  const std::shared_ptr<UIButton>& remindButton() const { return remindButton_; }
  const std::shared_ptr<UILabel>& zaveltoMoneyLabel() const { return zaveltoMoneyLabel_; }
  const std::shared_ptr<UILabel>& aLiLiBaBaMoneyLabel() const { return aLiLiBaBaMoneyLabel_; }
  const std::shared_ptr<UILabel>& moneyRemarkLabel() const { return moneyRemarkLabel_; }
  const std::shared_ptr<CalendarView>& sampleView() const { return sampleView_; }

 private:
  std::shared_ptr<ThecalendarViewController> calendarSelf() {
    return std::static_pointer_cast<ThecalendarViewController>(controllerSelf());
  }
  // The reply to "act=sign" (parsed from its text).
  void handleSignReply(const id& reply);
  // Today's coin, highlighted, and the button's done state.
  void showTodayDone();
  void setSignInDone();
  // Today's "month-day" into the list and the defaults, unless it is there already.
  void storeToday();

  std::shared_ptr<NSMutableArray> signInDataArray_ = NSMutableArray::array();
  NSInteger currentDay_ = 0;
  NSInteger currentMonth_ = 0;
  NSInteger signInTimeStamp_ = 0;
  // A check-in on its way: a second tap meanwhile sends nothing (it would only earn the
  // "already checked in" alert over the reward). Falls on every end of the exchange.
  bool signing_ = false;
  std::shared_ptr<NSString> rewardStr_ = NSString::string();

  std::shared_ptr<UIScrollView> scrollview_;
  std::shared_ptr<UIImageView> imageView_;
  std::shared_ptr<UIButton> signInButton_;
  std::shared_ptr<UIButton> promotionButton_;
  std::shared_ptr<UIView> upView_;
  std::shared_ptr<UIButton> remindButton_;
  std::shared_ptr<UILabel> zaveltoMoneyLabel_;
  std::shared_ptr<UILabel> aLiLiBaBaMoneyLabel_;
  std::shared_ptr<UILabel> moneyRemarkLabel_;
  std::shared_ptr<CalendarView> sampleView_;
};
