#include "analytics/StatAgent.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <fstream>
#include <map>
#include <sstream>

#include "foundation/json/NSJSONSerialization.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSFileManager.h"
#include "platform/foundation/NSLog.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSPathUtilities.h"
#include "platform/foundation/NSPropertyListSerialization.h"
#include "platform/uikit/UIApplication.h"

namespace zvt::stat {
namespace {

// Touched only by work items on the serial queue.
struct AgentState {
  bool started = false;
  std::shared_ptr<NSString> appKey;
  std::shared_ptr<NSString> channel;
  SAReportPolicy policy = BATCH;
  std::shared_ptr<NSString> appVersion;
  bool crashReports = false;
  std::map<std::string, int64_t> openPages;  // page name -> begin, monotonic nanoseconds
};

AgentState& state() {
  static AgentState* shared = new AgentState;
  return *shared;
}

// The process ends soon after the application's termination, and with it whatever still
// waits on the queue: the termination waits until the queue has worked off what was asked
// before it.
void flushOnTermination(const dispatch_queue_t& work) {
  NSNotificationCenter::defaultCenter()->addObserverForName(UIApplicationWillTerminateNotification, nullptr, nullptr,
                                                            [work](const std::shared_ptr<NSNotification>&) {
                                                              dispatch_sync(work, [] {});
                                                            });
}

const dispatch_queue_t& queue() {
  static const dispatch_queue_t* shared = [] {
    auto* made = new dispatch_queue_t(dispatch_queue_create("StatAgent.work", nullptr));
    flushOnTermination(*made);
    return made;
  }();
  return *shared;
}

std::shared_ptr<NSString> statsDirectory() {
  auto caches = zvt::as<NSString>(NSSearchPathForDirectoriesInDomains(NSCachesDirectory, NSUserDomainMask, true)->firstObject());
  return caches->stringByAppendingPathComponent(".stats"_ns);
}

// Appends one record; failures are only logged, as an analytics client must never disturb
// the application.
void append(const std::shared_ptr<NSMutableDictionary>& record) {
  auto& s = state();
  record->setObject(NSNumber::numberWithDouble(Clock::now()), "time"_ns);
  if (s.appKey) record->setObject(s.appKey, "appKey"_ns);
  if (s.channel) record->setObject(s.channel, "channel"_ns);
  if (s.appVersion) record->setObject(s.appVersion, "appVersion"_ns);
  auto data = NSJSONSerialization::dataWithJSONObject(record, 0, nullptr);
  if (!data) return;
  auto directory = statsDirectory();
  NSFileManager::defaultManager()->createDirectoryAtPath(directory, true, nullptr, nullptr);
  std::string path = directory->stringByAppendingPathComponent("records"_ns)->utf8();
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) {
    NSLog("STATLOG: cannot write %s", path);
    return;
  }
  std::string line(data->view());
  line.push_back('\n');
  // Only this queue appends, so the line goes on where the file ends now.
  struct stat before {};
  const bool sized = ::fstat(fd, &before) == 0;
  size_t done = 0;
  while (done < line.size()) {
    ssize_t written = ::write(fd, line.data() + done, line.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) break;
    done += static_cast<size_t>(written);
  }
  if (done != line.size()) {
    NSLog("STATLOG: short write to %s", path);
    // A part of a line (a full disk) would glue the next record to it: it is taken back.
    if (done > 0 && sized && ::ftruncate(fd, before.st_size) != 0) NSLog("STATLOG: cannot take back a part line in %s", path);
  }
  ::close(fd);
}

std::shared_ptr<NSMutableDictionary> recordOfKind(const char* kind) {
  auto record = NSMutableDictionary::dictionary();
  record->setObject(NSString::stringWithUTF8String(kind), "kind"_ns);
  return record;
}

}  // namespace

void flush() {
  dispatch_sync(queue(), [] {});
}

std::string recordsPath() { return statsDirectory()->stringByAppendingPathComponent("records"_ns)->utf8(); }

std::vector<std::shared_ptr<NSDictionary>> recordedEntries() {
  flush();
  std::vector<std::shared_ptr<NSDictionary>> entries;
  std::ifstream in(recordsPath());
  std::string line;
  while (std::getline(in, line)) {
    auto data = NSData::dataWithBytes(line.data(), line.size());
    if (auto entry = zvt::as<NSDictionary>(NSJSONSerialization::JSONObjectWithData(data, 0, nullptr))) {
      entries.push_back(entry);
    }
  }
  return entries;
}

bool crashReportEnabled() {
  bool enabled = false;
  dispatch_sync(queue(), [&] { enabled = state().crashReports; });
  return enabled;
}

void resetAgent() {
  dispatch_sync(queue(), [] { state() = AgentState(); });
}

}  // namespace zvt::stat

using zvt::stat::queue;
using zvt::stat::state;

void StatAgent::startWithAppkey(const std::shared_ptr<NSString>& appKey, SAReportPolicy reportPolicy,
                                const std::shared_ptr<NSString>& channelId) {
  auto key = appKey ? appKey->copy() : nullptr;
  auto channel = channelId ? channelId->copy() : nullptr;
  dispatch_async(queue(), [key, reportPolicy, channel] {
    auto& s = state();
    if (s.started) return;
    s.started = true;
    s.appKey = key;
    s.channel = channel;
    s.policy = reportPolicy;
    auto record = zvt::stat::recordOfKind("launch");
    record->setObject(NSNumber::numberWithInt(reportPolicy), "policy"_ns);
    zvt::stat::append(record);
  });
}

void StatAgent::updateOnlineConfig() {
  // Nothing to fetch from: the update is done at once, and said so on the main thread.
  dispatch_async(queue(), [] {
    dispatch_async(dispatch_get_main_queue(), [] {
      NSNotificationCenter::defaultCenter()->postNotificationName(SAOnlineConfigUpdatedNotification, nullptr);
    });
  });
}

void StatAgent::setAppVersion(const std::shared_ptr<NSString>& version) {
  auto copy = version ? version->copy() : nullptr;
  dispatch_async(queue(), [copy] { state().appVersion = copy; });
}

std::shared_ptr<NSDictionary> StatAgent::getConfigParams() {
  std::shared_ptr<NSDictionary> params;
  dispatch_sync(queue(), [&] {
    auto path = zvt::stat::statsDirectory()->stringByAppendingPathComponent("config.plist"_ns);
    if (auto data = NSData::dataWithContentsOfFile(path)) {
      params = zvt::as<NSDictionary>(NSPropertyListSerialization::propertyListWithData(data, 0, nullptr, nullptr));
    }
  });
  return params ? params : NSDictionary::dictionary();
}

void StatAgent::setCrashReportEnabled(bool value) {
  // Only the switch is kept: this client installs no crash catcher.
  dispatch_async(queue(), [value] { state().crashReports = value; });
}

void StatAgent::event(const std::shared_ptr<NSString>& eventId) {
  if (!eventId || eventId->length() == 0) return;
  auto copy = eventId->copy();
  dispatch_async(queue(), [copy] {
    auto record = zvt::stat::recordOfKind("event");
    record->setObject(copy, "id"_ns);
    zvt::stat::append(record);
  });
}

void StatAgent::beginLogPageView(const std::shared_ptr<NSString>& pageName) {
  if (!pageName) return;
  std::string name = pageName->utf8();
  int64_t now = Clock::nowNanos();
  dispatch_async(queue(), [name, now] { state().openPages[name] = now; });
}

void StatAgent::endLogPageView(const std::shared_ptr<NSString>& pageName) {
  if (!pageName) return;
  std::string name = pageName->utf8();
  int64_t now = Clock::nowNanos();
  dispatch_async(queue(), [name, now] {
    auto& pages = state().openPages;
    auto it = pages.find(name);
    if (it == pages.end()) return;
    double duration = static_cast<double>(now - it->second) / 1e9;
    pages.erase(it);
    auto record = zvt::stat::recordOfKind("page");
    record->setObject(NSString::stringWithUTF8String(name), "page"_ns);
    record->setObject(NSNumber::numberWithDouble(duration), "duration"_ns);
    zvt::stat::append(record);
  });
}
