#pragma once
// The application's only door into the analytics client. Every member is a class method and
// every call runs as one work item on the client's serial queue, in the order of the calls.
//
// Records (the session start, events and page views) are appended as one JSON object per line
// to "records" in the ".stats" directory of Caches; there is no analytics service here, so
// nothing is uploaded and the online parameters are those stored in ".stats/config.plist"
// (none until something stores them). The application's termination waits until every call
// made before it has been worked off.

#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"

// Posted on the main thread when an online-configuration update has finished (or was skipped).
inline const zvt::StaticString SAOnlineConfigUpdatedNotification{"OnlineConfigUpdatedNotification"};

enum SAReportPolicy : int {
  REALTIME = 0,
  BATCH = 1,
};

class StatAgent : public NSObject {
 public:
  // Starts a session; a second start in the same process is ignored.
  static void startWithAppkey(const std::shared_ptr<NSString>& appKey, SAReportPolicy reportPolicy,
                              const std::shared_ptr<NSString>& channelId);
  static void updateOnlineConfig();
  static void setAppVersion(const std::shared_ptr<NSString>& version);
  // The stored online parameters; an empty dictionary while none are stored.
  static std::shared_ptr<NSDictionary> getConfigParams();
  static void setCrashReportEnabled(bool value);
  static void event(const std::shared_ptr<NSString>& eventId);
  // A page view lasts from begin to the end of the same page name (on Clock's monotonic time);
  // an end without a begin records nothing.
  static void beginLogPageView(const std::shared_ptr<NSString>& pageName);
  static void endLogPageView(const std::shared_ptr<NSString>& pageName);
};

namespace zvt::stat {

// Waits until every call made before has been worked off.
void flush();
// The records file's path in the current sandbox home.
std::string recordsPath();
// The records written so far (after a flush), one decoded dictionary each.
std::vector<std::shared_ptr<NSDictionary>> recordedEntries();
// Whether the crash catcher was asked for.
bool crashReportEnabled();
// Forgets the in-memory state (session, version, open page views) after a flush; for tests
// and for a new sandbox home.
void resetAgent();

}  // namespace zvt::stat
