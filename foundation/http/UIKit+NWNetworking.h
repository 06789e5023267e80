#pragma once
// Views that follow the HTTP layer's work, through its notifications and progress blocks only:
// an activity indicator that spins while a task or operation runs, a progress view that shows
// an operation's upload or download progress, and an alert shown when a task or operation ends
// with an error. Every change of a view happens on the main queue.
//
// The categories of the original are free functions taking the view first.

#include <memory>
#include <vector>

#include "foundation/http/NWURLConnectionOperation.h"
#include "platform/foundation/NSOperation.h"
#include "platform/network/NSURLSession.h"
#include "platform/uikit/UIActivityIndicatorView.h"
#include "platform/uikit/UIAlertView.h"
#include "platform/uikit/UIProgressView.h"
#include "platform/uikit/UIRefreshControl.h"

// UIActivityIndicatorView(NWNetworking): animates while the task runs (resumed: start;
// suspended or completed: stop) or while the operation executes (start, finish). Each call
// replaces the view's earlier binding; nil only removes it.
void setAnimatingWithStateOfTask(const std::shared_ptr<UIActivityIndicatorView>& view,
                                 const std::shared_ptr<NSURLSessionTask>& task);
void setAnimatingWithStateOfOperation(const std::shared_ptr<UIActivityIndicatorView>& view,
                                      const std::shared_ptr<NSOperation>& operation);

// UIRefreshControl(NWNetworking): refreshes while the task runs (a task that is not running ends
// refreshing and is not followed), or while the operation executes. Each call replaces the
// control's earlier binding; nil only removes it.
void setRefreshingWithStateOfTask(const std::shared_ptr<UIRefreshControl>& control,
                                  const std::shared_ptr<NSURLSessionTask>& task);
void setRefreshingWithStateOfOperation(const std::shared_ptr<UIRefreshControl>& control,
                                       const std::shared_ptr<NSOperation>& operation);

// UIProgressView(NWNetworking), tasks: the view follows the task's bytes sent (or received) over
// the expected total, when that is known, on the main queue, animated as asked; it stops
// following once the task has completed.
void setProgressWithUploadProgressOfTask(const std::shared_ptr<UIProgressView>& view,
                                         const std::shared_ptr<NSURLSessionTask>& task, bool animated);
void setProgressWithDownloadProgressOfTask(const std::shared_ptr<UIProgressView>& view,
                                           const std::shared_ptr<NSURLSessionTask>& task, bool animated);

// UIProgressView(NWNetworking): the operation's progress block (kept: the binding calls it
// first) sets the view's progress to written / expected on the main queue when the expected
// total is known. The view is held weakly.
void setProgressWithUploadProgressOfOperation(const std::shared_ptr<UIProgressView>& view,
                                              const std::shared_ptr<NWURLConnectionOperation>& operation, bool animated);
void setProgressWithDownloadProgressOfOperation(const std::shared_ptr<UIProgressView>& view,
                                                const std::shared_ptr<NWURLConnectionOperation>& operation, bool animated);

// UIAlertView(NWNetworking): once the task completes (the operation finishes), an alert shows
// its error, if any; the observation ends with that first notification either way. Cancel title
// "Dismiss" unless given.
void showAlertViewForTaskWithErrorOnCompletion(const std::shared_ptr<NSURLSessionTask>& task,
                                               const std::shared_ptr<UIAlertViewDelegate>& delegate,
                                               const std::shared_ptr<NSString>& cancelButtonTitle = nullptr,
                                               const std::vector<std::shared_ptr<NSString>>& otherButtonTitles = {});
void showAlertViewForRequestOperationWithErrorOnCompletion(
    const std::shared_ptr<NWURLConnectionOperation>& operation, const std::shared_ptr<UIAlertViewDelegate>& delegate,
    const std::shared_ptr<NSString>& cancelButtonTitle = nullptr,
    const std::vector<std::shared_ptr<NSString>>& otherButtonTitles = {});

namespace zvt::http {
// The alert's title and message for an error: its description over its recovery suggestion (else
// failure reason); "Error" over the description; "Error" over "<domain> Error: <code>".
std::pair<std::shared_ptr<NSString>, std::shared_ptr<NSString>> alertTextsForError(const std::shared_ptr<NSError>& error);
}  // namespace zvt::http
