#pragma once
// The page of one record ("详细情况", analytics page "明细详细情况页"): the record's content, an
// HTML text, in a web view, loaded with no base address. The asset records and the site
// messages push it with `content` set (by key-value coding or the setter).

#include <memory>

#include "app/ui/ParentsViewController.h"
#include "platform/foundation/NSKeyValueCoding.h"
#include "platform/webkit/UIWebView.h"

class DetailViewController : public ParentsViewController {
 public:
  static std::shared_ptr<DetailViewController> make() { return std::make_shared<DetailViewController>(); }

  static const zvt::KVCClass* classTable();
  const zvt::KVCClass* kvcClass() const override { return classTable(); }

  std::shared_ptr<NSString> content() const { return content_; }
  void setContent(const std::shared_ptr<NSString>& content) { content_ = content; }
  std::shared_ptr<UIWebView> webView() const { return webView_; }

  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;

 private:
  std::shared_ptr<NSString> content_;
  std::shared_ptr<UIWebView> webView_;
};
