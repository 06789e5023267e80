#include "foundation/http/UIKit+NWNetworking.h"

#include "foundation/http/NWURLSessionManager.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSNotificationCenter.h"

namespace {

std::shared_ptr<NSString> localized(const char* key) {
  return NSLocalizedStringFromTable(NSString::stringWithUTF8String(key), NSString::stringWithUTF8String("NWNetworking"),
                                    nullptr);
}

// The notification observer kept with an activity indicator (as the original's associated
// object): its observations end when it is replaced or released.
class NWActivityIndicatorViewNotificationObserver : public NSObject {
 public:
  explicit NWActivityIndicatorViewNotificationObserver(std::weak_ptr<UIActivityIndicatorView> view)
      : activityIndicatorView_(std::move(view)) {}

  void setAnimatingWithStateOfTask(const std::shared_ptr<NSURLSessionTask>& task) {
    auto center = NSNotificationCenter::defaultCenter();
    center->removeObserver(shared_from_this());
    if (!task) return;
    if (task->state() != NSURLSessionTaskStateCompleted) {
      if (auto view = activityIndicatorView_.lock()) {
        if (task->state() == NSURLSessionTaskStateRunning) {
          view->startAnimating();
        } else {
          view->stopAnimating();
        }
      }
      center->addObserver(shared_from_this(), handler(true), NWNetworkingTaskDidResumeNotification, task);
      center->addObserver(shared_from_this(), handler(false), NWNetworkingTaskDidCompleteNotification, task);
      center->addObserver(shared_from_this(), handler(false), NWNetworkingTaskDidSuspendNotification, task);
    }
  }

  void setAnimatingWithStateOfOperation(const std::shared_ptr<NSOperation>& operation) {
    auto center = NSNotificationCenter::defaultCenter();
    center->removeObserver(shared_from_this());
    if (!operation) return;
    if (!operation->isFinished()) {
      if (auto view = activityIndicatorView_.lock()) {
        if (operation->isExecuting()) {
          view->startAnimating();
        } else {
          view->stopAnimating();
        }
      }
      center->addObserver(shared_from_this(), handler(true), NWNetworkingOperationDidStartNotification, operation);
      center->addObserver(shared_from_this(), handler(false), NWNetworkingOperationDidFinishNotification, operation);
    }
  }

 private:
  NSNotificationCenter::Callback handler(bool animate) {
    std::weak_ptr<UIActivityIndicatorView> weak = activityIndicatorView_;
    return [weak, animate](const std::shared_ptr<NSNotification>&) {
      dispatch_async(dispatch_get_main_queue(), [weak, animate] {
        if (auto view = weak.lock()) {
          if (animate) {
            view->startAnimating();
          } else {
            view->stopAnimating();
          }
        }
      });
    };
  }

  std::weak_ptr<UIActivityIndicatorView> activityIndicatorView_;
};

// The observer kept with a refresh control: the same bindings, with a task followed only while
// it runs.
class NWRefreshControlNotificationObserver : public NSObject {
 public:
  explicit NWRefreshControlNotificationObserver(std::weak_ptr<UIRefreshControl> control)
      : refreshControl_(std::move(control)) {}

  void setRefreshingWithStateOfTask(const std::shared_ptr<NSURLSessionTask>& task) {
    auto center = NSNotificationCenter::defaultCenter();
    center->removeObserver(shared_from_this());
    if (!task) return;
    auto control = refreshControl_.lock();
    if (task->state() == NSURLSessionTaskStateRunning) {
      if (control) control->beginRefreshing();
      center->addObserver(shared_from_this(), handler(true), NWNetworkingTaskDidResumeNotification, task);
      center->addObserver(shared_from_this(), handler(false), NWNetworkingTaskDidCompleteNotification, task);
      center->addObserver(shared_from_this(), handler(false), NWNetworkingTaskDidSuspendNotification, task);
    } else if (control) {
      control->endRefreshing();
    }
  }

  void setRefreshingWithStateOfOperation(const std::shared_ptr<NSOperation>& operation) {
    auto center = NSNotificationCenter::defaultCenter();
    center->removeObserver(shared_from_this());
    if (!operation) return;
    if (!operation->isFinished()) {
      if (auto control = refreshControl_.lock()) {
        if (operation->isExecuting()) {
          control->beginRefreshing();
        } else {
          control->endRefreshing();
        }
      }
      center->addObserver(shared_from_this(), handler(true), NWNetworkingOperationDidStartNotification, operation);
      center->addObserver(shared_from_this(), handler(false), NWNetworkingOperationDidFinishNotification, operation);
    }
  }

 private:
  NSNotificationCenter::Callback handler(bool begin) {
    std::weak_ptr<UIRefreshControl> weak = refreshControl_;
    return [weak, begin](const std::shared_ptr<NSNotification>&) {
      dispatch_async(dispatch_get_main_queue(), [weak, begin] {
        if (auto control = weak.lock()) {
          if (begin) {
            control->beginRefreshing();
          } else {
            control->endRefreshing();
          }
        }
      });
    };
  }

  std::weak_ptr<UIRefreshControl> refreshControl_;
};

const char kObserverKey = 0;

std::shared_ptr<NWRefreshControlNotificationObserver> observerOf(const std::shared_ptr<UIRefreshControl>& control) {
  auto observer = zvt::as<NWRefreshControlNotificationObserver>(control->associatedObject(&kObserverKey));
  if (!observer) {
    observer = std::make_shared<NWRefreshControlNotificationObserver>(control);
    control->setAssociatedObject(&kObserverKey, observer);
  }
  return observer;
}

std::shared_ptr<NWActivityIndicatorViewNotificationObserver> observerOf(const std::shared_ptr<UIActivityIndicatorView>& view) {
  auto observer = zvt::as<NWActivityIndicatorViewNotificationObserver>(view->associatedObject(&kObserverKey));
  if (!observer) {
    observer = std::make_shared<NWActivityIndicatorViewNotificationObserver>(view);
    view->setAssociatedObject(&kObserverKey, observer);
  }
  return observer;
}

// The observer kept with a progress view that follows tasks: one observation context for the
// upload form and one for the download form, each with its animated flag.
class NWProgressViewTaskObserver : public NSObject {
 public:
  explicit NWProgressViewTaskObserver(std::weak_ptr<UIProgressView> view) : progressView_(std::move(view)) {}

  void follow(const std::shared_ptr<NSURLSessionTask>& task, bool upload, bool animated) {
    (upload ? uploadAnimated_ : downloadAnimated_) = animated;
    void* context = upload ? &kUploadContext : &kDownloadContext;
    task->addObserver(shared_from_this(), "state"_ns, 0, context);
    task->addObserver(shared_from_this(), upload ? "countOfBytesSent"_ns : "countOfBytesReceived"_ns, 0, context);
  }

  void observeValueForKeyPath(const std::shared_ptr<NSString>& keyPath, const id& object, const std::shared_ptr<NSDictionary>&,
                              void* context) override {
    if (context != &kUploadContext && context != &kDownloadContext) return;
    const bool upload = context == &kUploadContext;
    auto task = zvt::as<NSURLSessionTask>(object);
    if (!task) return;
    const char* countKey = upload ? "countOfBytesSent" : "countOfBytesReceived";
    if (keyPath->isEqualToString(countKey)) {
      const int64_t expected = upload ? task->countOfBytesExpectedToSend() : task->countOfBytesExpectedToReceive();
      if (expected <= 0) return;
      const int64_t count = upload ? task->countOfBytesSent() : task->countOfBytesReceived();
      const float progress = static_cast<float>(count) / static_cast<float>(expected);
      const bool animated = upload ? uploadAnimated_ : downloadAnimated_;
      std::weak_ptr<UIProgressView> weak = progressView_;
      dispatch_async(dispatch_get_main_queue(), [weak, progress, animated] {
        if (auto view = weak.lock()) view->setProgress(progress, animated);
      });
    } else if (keyPath->isEqualToString("state") && task->state() == NSURLSessionTaskStateCompleted) {
      // A registration already gone (a second completion notice) is no fault.
      try {
        task->removeObserver(this, "state"_ns, context);
        task->removeObserver(this, NSString::stringWithUTF8String(countKey), context);
      } catch (const std::exception&) {
      }
    }
  }

 private:
  static inline char kUploadContext = 0;
  static inline char kDownloadContext = 0;
  std::weak_ptr<UIProgressView> progressView_;
  bool uploadAnimated_ = false;
  bool downloadAnimated_ = false;
};

const char kProgressObserverKey = 0;

void followTask(const std::shared_ptr<UIProgressView>& view, const std::shared_ptr<NSURLSessionTask>& task, bool upload,
                bool animated) {
  if (!view || !task) return;
  auto observer = zvt::as<NWProgressViewTaskObserver>(view->associatedObject(&kProgressObserverKey));
  if (!observer) {
    observer = std::make_shared<NWProgressViewTaskObserver>(view);
    view->setAssociatedObject(&kProgressObserverKey, observer);
  }
  observer->follow(task, upload, animated);
}

NWURLConnectionOperation::ProgressBlock progressBlock(NWURLConnectionOperation::ProgressBlock previous,
                                                      const std::shared_ptr<UIProgressView>& view, bool animated) {
  std::weak_ptr<UIProgressView> weak = view;
  return [previous = std::move(previous), weak, animated](NSUInteger bytes, int64_t total, int64_t expected) {
    if (previous) previous(bytes, total, expected);
    dispatch_async(dispatch_get_main_queue(), [weak, animated, total, expected] {
      if (expected <= 0) return;
      if (auto view = weak.lock()) view->setProgress(static_cast<float>(total) / static_cast<float>(expected), animated);
    });
  };
}

// One-time observation of the notification `name` for `object` on the main operation queue.
void alertOnce(const NSNotificationName& name, const id& object,
               std::function<std::shared_ptr<NSError>(const std::shared_ptr<NSNotification>&)> errorOf,
               const std::shared_ptr<UIAlertViewDelegate>& delegate, const std::shared_ptr<NSString>& cancelButtonTitle,
               const std::vector<std::shared_ptr<NSString>>& otherButtonTitles) {
  auto center = NSNotificationCenter::defaultCenter();
  auto token = std::make_shared<id>();
  *token = center->addObserverForName(
      name, object, NSOperationQueue::mainQueue(),
      [token, errorOf = std::move(errorOf), delegate, cancelButtonTitle,
       otherButtonTitles](const std::shared_ptr<NSNotification>& notification) {
        if (auto error = errorOf(notification)) {
          auto [title, message] = zvt::http::alertTextsForError(error);
          auto cancel = cancelButtonTitle ? cancelButtonTitle : localized("Dismiss");
          UIAlertView::initWithTitle(title, message, delegate, cancel, otherButtonTitles)->show();
        }
        // Removing the observation releases this block: keep the token alive until it returns.
        auto keep = token;
        NSNotificationCenter::defaultCenter()->removeObserver(*keep);
        keep->reset();
      });
}

}  // namespace

void setAnimatingWithStateOfTask(const std::shared_ptr<UIActivityIndicatorView>& view,
                                 const std::shared_ptr<NSURLSessionTask>& task) {
  if (view) observerOf(view)->setAnimatingWithStateOfTask(task);
}

void setAnimatingWithStateOfOperation(const std::shared_ptr<UIActivityIndicatorView>& view,
                                      const std::shared_ptr<NSOperation>& operation) {
  if (view) observerOf(view)->setAnimatingWithStateOfOperation(operation);
}

void setRefreshingWithStateOfTask(const std::shared_ptr<UIRefreshControl>& control,
                                  const std::shared_ptr<NSURLSessionTask>& task) {
  if (control) observerOf(control)->setRefreshingWithStateOfTask(task);
}

void setRefreshingWithStateOfOperation(const std::shared_ptr<UIRefreshControl>& control,
                                       const std::shared_ptr<NSOperation>& operation) {
  if (control) observerOf(control)->setRefreshingWithStateOfOperation(operation);
}

void setProgressWithUploadProgressOfTask(const std::shared_ptr<UIProgressView>& view,
                                         const std::shared_ptr<NSURLSessionTask>& task, bool animated) {
  followTask(view, task, true, animated);
}

void setProgressWithDownloadProgressOfTask(const std::shared_ptr<UIProgressView>& view,
                                           const std::shared_ptr<NSURLSessionTask>& task, bool animated) {
  followTask(view, task, false, animated);
}

void setProgressWithUploadProgressOfOperation(const std::shared_ptr<UIProgressView>& view,
                                              const std::shared_ptr<NWURLConnectionOperation>& operation, bool animated) {
  if (view && operation) operation->setUploadProgressBlock(progressBlock(operation->uploadProgressBlock(), view, animated));
}

void setProgressWithDownloadProgressOfOperation(const std::shared_ptr<UIProgressView>& view,
                                                const std::shared_ptr<NWURLConnectionOperation>& operation, bool animated) {
  if (view && operation) {
    operation->setDownloadProgressBlock(progressBlock(operation->downloadProgressBlock(), view, animated));
  }
}

void showAlertViewForTaskWithErrorOnCompletion(const std::shared_ptr<NSURLSessionTask>& task,
                                               const std::shared_ptr<UIAlertViewDelegate>& delegate,
                                               const std::shared_ptr<NSString>& cancelButtonTitle,
                                               const std::vector<std::shared_ptr<NSString>>& otherButtonTitles) {
  alertOnce(
      NWNetworkingTaskDidCompleteNotification, task,
      [](const std::shared_ptr<NSNotification>& notification) -> std::shared_ptr<NSError> {
        auto info = notification->userInfo();
        return info ? zvt::as<NSError>(info->objectForKey(NWNetworkingTaskDidCompleteErrorKey)) : nullptr;
      },
      delegate, cancelButtonTitle, otherButtonTitles);
}

void showAlertViewForRequestOperationWithErrorOnCompletion(
    const std::shared_ptr<NWURLConnectionOperation>& operation, const std::shared_ptr<UIAlertViewDelegate>& delegate,
    const std::shared_ptr<NSString>& cancelButtonTitle, const std::vector<std::shared_ptr<NSString>>& otherButtonTitles) {
  alertOnce(
      NWNetworkingOperationDidFinishNotification, operation,
      [](const std::shared_ptr<NSNotification>& notification) -> std::shared_ptr<NSError> {
        auto finished = zvt::as<NWURLConnectionOperation>(notification->object());
        return finished ? finished->error() : nullptr;
      },
      delegate, cancelButtonTitle, otherButtonTitles);
}

namespace zvt::http {

std::pair<std::shared_ptr<NSString>, std::shared_ptr<NSString>> alertTextsForError(const std::shared_ptr<NSError>& error) {
  auto info = error->userInfo();
  auto description = zvt::as<NSString>(info->objectForKey(NSLocalizedDescriptionKey));
  auto suggestion = zvt::as<NSString>(info->objectForKey(NSLocalizedRecoverySuggestionErrorKey));
  auto reason = zvt::as<NSString>(info->objectForKey(NSLocalizedFailureReasonErrorKey));
  if (description && (suggestion || reason)) return {description, suggestion ? suggestion : reason};
  if (description) return {localized("Error"), description};
  auto format = localized("%@ Error: %ld");
  return {localized("Error"), NSString::stringWithFormat(format, error->domain(), error->code())};
}

}  // namespace zvt::http
