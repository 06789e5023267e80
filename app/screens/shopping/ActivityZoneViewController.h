#pragma once
// One of the service's activity pages in a web view, reloaded from its start on every
// appearance. The page can ask for the application's login screen through the native function
// "upLogin"; after the login screen closes the page shows afresh with the new login.

#include <memory>
#include <string>

#include "app/models/TZHeaderInfoModel.h"
#include "app/screens/shopping/WebScreenParts.h"
#include "platform/foundation/NSKeyValueCoding.h"

class ActivityZoneViewController : public zvt::shopping::BackAndCloseWebScreen {
 public:
  std::shared_ptr<NSString> activityZoneUrl;   // the activity address
  std::shared_ptr<NSString> activityZoneName;  // title and analytics page; nil: "浏览网页"
  id isShare;                                  // kept, not used
  std::shared_ptr<TZHeaderInfoModel> infoModel;  // kept, not used

  static const zvt::KVCClass* classTable();
  const zvt::KVCClass* kvcClass() const override { return classTable(); }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

  void initNavigationBar();
  // The web view, the "upLogin" bridge and the address to load.
  void loadWebView();

  void webViewDidStartLoad(const std::shared_ptr<UIWebView>& webView) override;
  void webViewDidFinishLoad(const std::shared_ptr<UIWebView>& webView) override;
  void webViewDidFailLoadWithError(const std::shared_ptr<UIWebView>& webView,
                                   const std::shared_ptr<NSError>& error) override;

  const std::shared_ptr<NSURL>& httpUrl() const { return httpUrl_; }

  // The activity address with the query item wv=1: after an existing query ("&wv=1"), as the
  // query when there is none ("?wv=1"), and always before a "#" fragment.
  static std::string addressWithWebViewMark(const std::string& address);

 private:
  std::shared_ptr<NSURL> httpUrl_;
};
