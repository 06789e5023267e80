#pragma once
// Watches whether a host, an address or the network in general can be reached, and how:
// over the cellular network (WWAN) or over Wi-Fi. Turns the system's reachability flags into
// a status, keeps the last one, and reports each delivery to a block and as the notification
// "com.netway.networking.reachability.change", both on the main queue.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/NSObject.h"
#include "platform/foundation/NSString.h"
#include "platform/sysconfig/SCNetworkReachability.h"

enum NWNetworkReachabilityStatus : NSInteger {
    NWNetworkReachabilityStatusUnknown = -1,
    NWNetworkReachabilityStatusNotReachable = 0,
    NWNetworkReachabilityStatusReachableViaWWAN = 1,
    NWNetworkReachabilityStatusReachableViaWiFi = 2,
};

// Posted on the main queue with each status delivered; object nil, user info
// {NWNetworkingReachabilityNotificationStatusItem: the status as a number}.
inline constexpr char NWNetworkingReachabilityDidChangeNotification[] = "com.netway.networking.reachability.change";
inline constexpr char NWNetworkingReachabilityNotificationStatusItem[] = "NWNetworkingReachabilityNotificationStatusItem";

// The status the flags stand for; never Unknown.
NWNetworkReachabilityStatus NWNetworkReachabilityStatusForFlags(SCNetworkReachabilityFlags flags);

class NWNetworkReachabilityManager : public NSObject {
public:
    using StatusBlock = std::function<void(NWNetworkReachabilityStatus status)>;

    // Designated initialiser: keeps the reference (which may be nil), status Unknown.
    explicit NWNetworkReachabilityManager(SCNetworkReachabilityRef reachability);
    ~NWNetworkReachabilityManager() override;

    static std::shared_ptr<NWNetworkReachabilityManager> initWithReachability(SCNetworkReachabilityRef reachability);
    // One process-wide manager for the zero IPv4 address (the network in general).
    static std::shared_ptr<NWNetworkReachabilityManager> sharedManager();
    static std::shared_ptr<NWNetworkReachabilityManager> managerForDomain(const std::shared_ptr<NSString>& domain);
    static std::shared_ptr<NWNetworkReachabilityManager> managerForAddress(const void* address);

    NWNetworkReachabilityStatus networkReachabilityStatus() const { return status_.load(); }
    bool isReachable() const;
    bool isReachableViaWWAN() const { return networkReachabilityStatus() == NWNetworkReachabilityStatusReachableViaWWAN; }
    bool isReachableViaWiFi() const { return networkReachabilityStatus() == NWNetworkReachabilityStatusReachableViaWiFi; }

    // Stops any monitoring in progress, then watches the reference on the main run loop in
    // the common modes and takes a first reading in the background, so that a status arrives
    // shortly after the start even when nothing changes.
    void startMonitoring();
    void stopMonitoring();

    // Called on the main queue with each status delivered while monitoring; nil removes it.
    void setReachabilityStatusChangeBlock(StatusBlock block);

    // "Unknown", "Not Reachable", "Reachable via WWAN" or "Reachable via WiFi", looked up in
    // the main bundle's table "NWNetworking".
    std::shared_ptr<NSString> localizedNetworkReachabilityStatusString() const;

    // "reachable", "reachableViaWWAN" and "reachableViaWiFi" follow "networkReachabilityStatus":
    // key-value observers of any of the four are told of each status delivered, on the main
    // thread.
    static std::vector<std::string> keyPathsForValuesAffectingValueForKey(const std::string& key);
    static const zvt::KVCClass* classTable();
    const zvt::KVCClass* kvcClass() const override { return classTable(); }

private:
    struct Session;
    void deliveredOnMain(NWNetworkReachabilityStatus status);
    // Stores the status between the announcements of its change.
    void setNetworkReachabilityStatus(NWNetworkReachabilityStatus status);

    const SCNetworkReachabilityRef networkReachability_;
    std::atomic<NWNetworkReachabilityStatus> status_{NWNetworkReachabilityStatusUnknown};
    std::mutex mutex_;
    std::shared_ptr<StatusBlock> networkReachabilityStatusBlock_;  // guarded by mutex_
    std::shared_ptr<Session> session_;                              // guarded by mutex_
};
