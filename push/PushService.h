#pragma once
// The application's only door into the push client. Every member is a class method; the work
// itself happens on the client's own thread, so these return at once. The application's
// termination waits until the client has done what was asked before it.
//
// There is no gateway on this platform. The client keeps what a gateway would keep for the
// device: the registration id (assigned once the device token has arrived, kept across runs),
// the alias and the tags, the newest badge numbers reported and payloads received. A tag/alias
// request is answered on the main thread as a gateway answers it: result code 0 once the
// device is registered (a request made before that waits for the registration).

#include <functional>
#include <memory>
#include <vector>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSSet.h"
#include "platform/foundation/NSString.h"

// The launch options' entry that holds the push payload that launched the application.
inline const zvt::StaticString PSLaunchOptionsRemoteNotificationKey{"UIApplicationLaunchOptionsRemoteNotificationKey"};

// The selector of a tag/alias request, called on the main thread with the object it was given
// (nil when the receiver is a class), the result code, the tags and the alias in force.
using PSTagsAliasCallback = std::function<void(const id& object, int iResCode, const std::shared_ptr<NSSet>& tags,
                                               const std::shared_ptr<NSString>& alias)>;

// Result codes of a tag/alias answer.
inline constexpr int kPSResultSuccess = 0;

class PushService : public NSObject {
 public:
  // Notification types (badge 1, sound 2, alert 4) and categories (may be nil).
  static void registerForRemoteNotificationTypes(NSUInteger types, const std::shared_ptr<NSSet>& categories);
  // Starts the client and hands it the launch payload, if the options carry one.
  static void setupWithOption(const std::shared_ptr<NSDictionary>& launchingOption);
  static void registerDeviceToken(const std::shared_ptr<NSData>& deviceToken);
  // The stored registration id; "" while there is none.
  static std::shared_ptr<NSString> registrationID();
  // A payload received while running; nil or empty payloads are ignored.
  static void handleRemoteNotification(const std::shared_ptr<NSDictionary>& remoteInfo);
  // Reports a badge number of 0.
  static void resetBadge();
  // nil tags or a nil alias leave that part unchanged; "" clears the alias, an empty set the
  // tags. With a callback, it is called once the request is answered.
  static void setTags(const std::shared_ptr<NSSet>& tags, const std::shared_ptr<NSString>& alias,
                      PSTagsAliasCallback callbackSelector, const id& object);
  // Sets only the alias (tags unchanged).
  static void setAlias(const std::shared_ptr<NSString>& alias, PSTagsAliasCallback callbackSelector, const id& object);
};

namespace zvt::push {

inline constexpr size_t kRecentReportLimit = 32;

// What the client holds, as seen from outside (diagnostics and tests).
struct ClientState {
  bool started = false;
  NSUInteger notificationTypes = 0;
  std::shared_ptr<NSString> appKey;        // "APP_KEY" of the "PushConfig" resource
  std::shared_ptr<NSString> channel;       // "CHANNEL"
  bool production = false;                 // "PUSH_FOR_PRODUCTION"
  std::shared_ptr<NSString> deviceToken;   // lower-case hexadecimal
  std::shared_ptr<NSString> registrationID;
  std::shared_ptr<NSString> alias;
  std::shared_ptr<NSSet> tags;
  std::shared_ptr<NSDictionary> launchPayload;
  // The newest payloads and badge reports, oldest first (at most kRecentReportLimit each),
  // and how many there were in all.
  std::vector<std::shared_ptr<NSDictionary>> receivedPayloads;
  std::vector<NSInteger> badgeReports;
  size_t receivedPayloadCount = 0;
  size_t badgeReportCount = 0;
  size_t pendingRequests = 0;              // tag/alias requests waiting for the registration
  // Registrations and setups asked for in all, and how many of them came from the main thread
  // (the application keeps both off it).
  size_t registrationCount = 0;
  size_t setupCount = 0;
  size_t registrationsOnMainThread = 0;
  size_t setupsOnMainThread = 0;
};

// A snapshot taken on the client's thread after everything asked before it has been done.
ClientState clientState();

// Stops the client's thread and forgets what it holds in memory (the stored registration is
// read again on next use, from the sandbox home in force then).
void shutdownClient();

}  // namespace zvt::push
