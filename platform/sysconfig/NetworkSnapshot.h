#pragma once
// What the machine's network looks like at one moment, and the reachability flags that
// follow from it. Kept apart from the watching so that the rules can be tested on made-up
// routing tables.

#include <netinet/in.h>
#include <sys/socket.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sysconfig/SCNetworkReachabilityFlags.h"

namespace zvt {

struct InterfaceAddress {
    std::string interfaceName;
    sockaddr_storage address{};
    sockaddr_storage netmask{};
};

struct NetworkSnapshot {
    // Interfaces that are up and running.
    std::vector<std::string> activeInterfaces;
    // Addresses of the active interfaces.
    std::vector<InterfaceAddress> addresses;
    // Interface of the default route (lowest metric), when there is one.
    std::optional<std::string> defaultRouteIPv4;
    std::optional<std::string> defaultRouteIPv6;

    bool isActive(const std::string& interfaceName) const;
};

// The default route's interface from the text of /proc/net/route (IPv4) and
// /proc/net/ipv6_route (IPv6); routes that are down or reject traffic do not count.
std::optional<std::string> defaultRouteFromProcNetRoute(std::string_view text);
std::optional<std::string> defaultRouteFromProcNetIPv6Route(std::string_view text);

// Reads the machine: getifaddrs and the two route tables.
NetworkSnapshot takeNetworkSnapshot();

// The interface-name patterns (shell wildcards) of cellular links; the default route over
// such an interface sets kSCNetworkReachabilityFlagsIsWWAN. Default: "wwan*", "rmnet*", "ppp*".
void setCellularInterfacePatterns(std::vector<std::string> patterns);
std::vector<std::string> cellularInterfacePatterns();
bool isCellularInterface(const std::string& interfaceName);

// Flags for reaching `address` (IPv4 or IPv6; port ignored). The zero address asks about the
// network in general: reachable while a default route exists over an active interface.
SCNetworkReachabilityFlags flagsForAddress(const sockaddr* address, const NetworkSnapshot& network);
// Flags for reaching a host name. Numeric names and "localhost" are judged as addresses;
// other names are not resolved (a lookup would block and the answer would take the default
// route anyway): they are reachable while either default route exists.
SCNetworkReachabilityFlags flagsForName(const std::string& name, const NetworkSnapshot& network);

}  // namespace zvt
