#include "foundation/http/NWNetworkReachabilityManager.h"

#include <cstring>

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NSBundle.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSKeyValueCoding.h"
#include "platform/foundation/NSNotificationCenter.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSRunLoop.h"

// One monitoring session: from a start to the next stop (or restart, or the manager's end).
// Deliveries queued for a session that has ended are dropped, so a restart never doubles
// the callbacks.
struct NWNetworkReachabilityManager::Session {
    std::atomic<bool> active{true};
    // Set on the main queue when a status from the system callback has been delivered; the
    // first reading, taken earlier in the background, must not overwrite it afterwards.
    std::atomic<bool> systemDelivered{false};
};

namespace {

void postChange(NWNetworkReachabilityStatus status) {
    auto userInfo = NSDictionary::dictionaryWithObject(NSNumber::numberWithInteger(status),
                                                       NSString::stringWithUTF8String(NWNetworkingReachabilityNotificationStatusItem));
    NSNotificationCenter::defaultCenter()->postNotificationName(
        NSString::stringWithUTF8String(NWNetworkingReachabilityDidChangeNotification), nullptr, userInfo);
}

}  // namespace

NWNetworkReachabilityStatus NWNetworkReachabilityStatusForFlags(SCNetworkReachabilityFlags flags) {
    bool reachable = (flags & kSCNetworkReachabilityFlagsReachable) != 0;
    bool needsConnection = (flags & kSCNetworkReachabilityFlagsConnectionRequired) != 0;
    bool canConnectAutomatically = (flags & (kSCNetworkReachabilityFlagsConnectionOnDemand |
                                             kSCNetworkReachabilityFlagsConnectionOnTraffic)) != 0;
    bool canConnectWithoutUser =
        canConnectAutomatically && (flags & kSCNetworkReachabilityFlagsInterventionRequired) == 0;
    bool networkReachable = reachable && (!needsConnection || canConnectWithoutUser);
    if (!networkReachable) return NWNetworkReachabilityStatusNotReachable;
    if (flags & kSCNetworkReachabilityFlagsIsWWAN) return NWNetworkReachabilityStatusReachableViaWWAN;
    return NWNetworkReachabilityStatusReachableViaWiFi;
}

NWNetworkReachabilityManager::NWNetworkReachabilityManager(SCNetworkReachabilityRef reachability)
    : networkReachability_(std::move(reachability)) {}

NWNetworkReachabilityManager::~NWNetworkReachabilityManager() { stopMonitoring(); }

std::shared_ptr<NWNetworkReachabilityManager> NWNetworkReachabilityManager::initWithReachability(
    SCNetworkReachabilityRef reachability) {
    return std::make_shared<NWNetworkReachabilityManager>(std::move(reachability));
}

std::shared_ptr<NWNetworkReachabilityManager> NWNetworkReachabilityManager::sharedManager() {
    // Never destroyed: a queue still running while the process exits may ask for it.
    static const auto* shared = new std::shared_ptr<NWNetworkReachabilityManager>([] {
        sockaddr_in address{};
        address.sin_family = AF_INET;  // port 0, address 0.0.0.0: the network in general
        return managerForAddress(&address);
    }());
    return *shared;
}

std::shared_ptr<NWNetworkReachabilityManager> NWNetworkReachabilityManager::managerForDomain(
    const std::shared_ptr<NSString>& domain) {
    return initWithReachability(SCNetworkReachabilityCreateWithName(domain ? domain->UTF8String() : nullptr));
}

std::shared_ptr<NWNetworkReachabilityManager> NWNetworkReachabilityManager::managerForAddress(const void* address) {
    return initWithReachability(SCNetworkReachabilityCreateWithAddress(static_cast<const sockaddr*>(address)));
}

bool NWNetworkReachabilityManager::isReachable() const {
    auto status = networkReachabilityStatus();
    return status == NWNetworkReachabilityStatusReachableViaWWAN || status == NWNetworkReachabilityStatusReachableViaWiFi;
}

void NWNetworkReachabilityManager::setReachabilityStatusChangeBlock(StatusBlock block) {
    std::lock_guard lock(mutex_);
    networkReachabilityStatusBlock_ = block ? std::make_shared<StatusBlock>(std::move(block)) : nullptr;
}

void NWNetworkReachabilityManager::setNetworkReachabilityStatus(NWNetworkReachabilityStatus status) {
    willChangeValueForKey("networkReachabilityStatus");
    status_ = status;
    didChangeValueForKey("networkReachabilityStatus");
}

void NWNetworkReachabilityManager::deliveredOnMain(NWNetworkReachabilityStatus status) {
    setNetworkReachabilityStatus(status);
    std::shared_ptr<StatusBlock> block;
    {
        std::lock_guard lock(mutex_);
        block = networkReachabilityStatusBlock_;
    }
    if (block) (*block)(status);
}

void NWNetworkReachabilityManager::startMonitoring() {
    stopMonitoring();
    if (!networkReachability_) return;

    auto session = std::make_shared<Session>();
    {
        std::lock_guard lock(mutex_);
        session_ = session;
    }
    std::weak_ptr<NWNetworkReachabilityManager> weakSelf =
        std::static_pointer_cast<NWNetworkReachabilityManager>(shared_from_this());
    auto deliver = [weakSelf, session](SCNetworkReachabilityFlags flags, bool firstReading) {
        NWNetworkReachabilityStatus status = NWNetworkReachabilityStatusForFlags(flags);
        dispatch_async(dispatch_get_main_queue(), [weakSelf, session, status, firstReading] {
            if (!session->active) return;
            if (firstReading) {
                if (session->systemDelivered) return;  // an older reading than what was delivered
            } else {
                session->systemDelivered = true;
            }
            if (auto self = weakSelf.lock()) self->deliveredOnMain(status);
            postChange(status);
        });
    };

    SCNetworkReachabilitySetCallback(networkReachability_,
                                     [deliver](const SCNetworkReachabilityRef&, SCNetworkReachabilityFlags flags) {
                                         deliver(flags, false);
                                     });
    SCNetworkReachabilityScheduleWithRunLoop(networkReachability_, NSRunLoop::mainRunLoop(), NSRunLoopCommonModes);

    SCNetworkReachabilityRef reachability = networkReachability_;
    dispatch_async(dispatch_get_global_queue(DISPATCH_QUEUE_PRIORITY_BACKGROUND, 0), [reachability, deliver] {
        SCNetworkReachabilityFlags flags = 0;
        if (SCNetworkReachabilityGetFlags(reachability, &flags)) deliver(flags, true);
    });
}

void NWNetworkReachabilityManager::stopMonitoring() {
    if (!networkReachability_) return;
    std::shared_ptr<Session> ended;
    {
        std::lock_guard lock(mutex_);
        ended = std::move(session_);
    }
    if (ended) ended->active = false;
    SCNetworkReachabilityUnscheduleFromRunLoop(networkReachability_, NSRunLoop::mainRunLoop(), NSRunLoopCommonModes);
}

std::shared_ptr<NSString> NWNetworkReachabilityManager::localizedNetworkReachabilityStatusString() const {
    const char* key;
    switch (networkReachabilityStatus()) {
    case NWNetworkReachabilityStatusNotReachable:
        key = "Not Reachable";
        break;
    case NWNetworkReachabilityStatusReachableViaWWAN:
        key = "Reachable via WWAN";
        break;
    case NWNetworkReachabilityStatusReachableViaWiFi:
        key = "Reachable via WiFi";
        break;
    default:
        key = "Unknown";
        break;
    }
    auto text = NSString::stringWithUTF8String(key);
    auto bundle = NSBundle::mainBundle();
    if (!bundle) return text;
    auto localized = bundle->localizedStringForKey(text, text, NSString::stringWithUTF8String("NWNetworking"));
    return localized ? localized : text;
}

std::vector<std::string> NWNetworkReachabilityManager::keyPathsForValuesAffectingValueForKey(const std::string& key) {
    if (key == "reachable" || key == "reachableViaWWAN" || key == "reachableViaWiFi") {
        return {"networkReachabilityStatus"};
    }
    return {};
}

const zvt::KVCClass* NWNetworkReachabilityManager::classTable() {
    static const zvt::KVCClass table =
        zvt::KVCClass::Builder<NWNetworkReachabilityManager>()
            .readonlyProperty("networkReachabilityStatus", &NWNetworkReachabilityManager::networkReachabilityStatus)
            .readonlyProperty("reachable", &NWNetworkReachabilityManager::isReachable)
            .readonlyProperty("reachableViaWWAN", &NWNetworkReachabilityManager::isReachableViaWWAN)
            .readonlyProperty("reachableViaWiFi", &NWNetworkReachabilityManager::isReachableViaWiFi)
            .keyPathsForValuesAffecting(&NWNetworkReachabilityManager::keyPathsForValuesAffectingValueForKey)
            .build();
    return &table;
}
