// Device facts read by the libraries (the HTTP layer's User-Agent). The defaults describe the
// device the application was made for; tests and configuration set their own. The screen's
// facts live with the images (platform/graphics/UIScreen.h).
#pragma once

#include <memory>
#include <mutex>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"

class UIDevice : public NSObject {
 public:
  static std::shared_ptr<UIDevice> currentDevice();
  std::shared_ptr<NSString> model() const;               // "iPhone"
  std::shared_ptr<NSString> systemName() const;          // "iOS"
  std::shared_ptr<NSString> systemVersion() const;       // "9.3"
  void setModel(const std::shared_ptr<NSString>& model);
  void setSystemVersion(const std::shared_ptr<NSString>& version);

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<NSString> model_;
  std::shared_ptr<NSString> systemVersion_;
};

