#include "platform/sysconfig/NetworkSnapshot.h"

#include <arpa/inet.h>
#include <fnmatch.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <net/route.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <fstream>
#include <limits>
#include <mutex>
#include <sstream>

namespace zvt {

namespace {

std::vector<std::string_view> splitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
        if (i > start) fields.push_back(line.substr(start, i - start));
    }
    return fields;
}

template <class Visit>
void forEachLine(std::string_view text, Visit visit) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        visit(text.substr(start, end - start));
        start = end + 1;
    }
}

bool parseHex(std::string_view text, unsigned long long& value) {
    auto result = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

bool isZeroHex(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c == '0'; });
}

std::string readFile(const char* path) {
    std::ifstream in(path);
    if (!in) return {};
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The calling thread's view: a thread may live in a network namespace of its own, and
// getifaddrs answers for the thread too. /proc/net is the process's view.
std::string readProcNet(const char* name) {
    std::string text = readFile((std::string("/proc/thread-self/net/") + name).c_str());
    if (text.empty()) text = readFile((std::string("/proc/net/") + name).c_str());
    return text;
}

std::mutex patternsMutex;
std::vector<std::string> patterns{"wwan*", "rmnet*", "ppp*"};  // guarded by patternsMutex

bool sameAddress(const sockaddr* a, const sockaddr_storage& b) {
    if (a->sa_family != b.ss_family) return false;
    if (a->sa_family == AF_INET) {
        return reinterpret_cast<const sockaddr_in*>(a)->sin_addr.s_addr ==
               reinterpret_cast<const sockaddr_in*>(&b)->sin_addr.s_addr;
    }
    if (a->sa_family == AF_INET6) {
        return std::memcmp(&reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr,
                           &reinterpret_cast<const sockaddr_in6*>(&b)->sin6_addr, sizeof(in6_addr)) == 0;
    }
    return false;
}

// Is `a` inside the subnet of `address`/`netmask`?
bool sameSubnet(const sockaddr* a, const InterfaceAddress& entry) {
    if (a->sa_family != entry.address.ss_family || a->sa_family != entry.netmask.ss_family) return false;
    const uint8_t* x;
    const uint8_t* y;
    const uint8_t* mask;
    size_t length;
    if (a->sa_family == AF_INET) {
        x = reinterpret_cast<const uint8_t*>(&reinterpret_cast<const sockaddr_in*>(a)->sin_addr);
        y = reinterpret_cast<const uint8_t*>(&reinterpret_cast<const sockaddr_in*>(&entry.address)->sin_addr);
        mask = reinterpret_cast<const uint8_t*>(&reinterpret_cast<const sockaddr_in*>(&entry.netmask)->sin_addr);
        length = 4;
    } else if (a->sa_family == AF_INET6) {
        x = reinterpret_cast<const uint8_t*>(&reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr);
        y = reinterpret_cast<const uint8_t*>(&reinterpret_cast<const sockaddr_in6*>(&entry.address)->sin6_addr);
        mask = reinterpret_cast<const uint8_t*>(&reinterpret_cast<const sockaddr_in6*>(&entry.netmask)->sin6_addr);
        length = 16;
    } else {
        return false;
    }
    bool anyMask = false;
    for (size_t i = 0; i < length; ++i) {
        if (mask[i] != 0) anyMask = true;
        if ((x[i] & mask[i]) != (y[i] & mask[i])) return false;
    }
    return anyMask;
}

bool isLoopback(const sockaddr* address) {
    if (address->sa_family == AF_INET) {
        return (ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr) >> 24) == 127;
    }
    if (address->sa_family == AF_INET6) {
        const auto& a6 = reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr;
        if (IN6_IS_ADDR_LOOPBACK(&a6)) return true;
        if (IN6_IS_ADDR_V4MAPPED(&a6)) return a6.s6_addr[12] == 127;
    }
    return false;
}

bool isZeroAddress(const sockaddr* address) {
    if (address->sa_family == AF_INET) {
        return reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr == 0;
    }
    if (address->sa_family == AF_INET6) {
        return IN6_IS_ADDR_UNSPECIFIED(&reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr);
    }
    return false;
}

SCNetworkReachabilityFlags viaRoute(const std::optional<std::string>& route, const NetworkSnapshot& network) {
    if (!route || !network.isActive(*route)) return 0;
    SCNetworkReachabilityFlags flags = kSCNetworkReachabilityFlagsReachable;
    if (isCellularInterface(*route)) flags |= kSCNetworkReachabilityFlagsIsWWAN;
    return flags;
}

}  // namespace

bool NetworkSnapshot::isActive(const std::string& interfaceName) const {
    return std::find(activeInterfaces.begin(), activeInterfaces.end(), interfaceName) != activeInterfaces.end();
}

std::optional<std::string> defaultRouteFromProcNetRoute(std::string_view text) {
    // Iface Destination Gateway Flags RefCnt Use Metric Mask MTU Window IRTT, numbers in hex.
    std::optional<std::string> best;
    unsigned long long bestMetric = std::numeric_limits<unsigned long long>::max();
    forEachLine(text, [&](std::string_view line) {
        auto fields = splitFields(line);
        if (fields.size() < 8) return;
        unsigned long long flags = 0, metric = 0;
        auto metricEnd = std::from_chars(fields[6].data(), fields[6].data() + fields[6].size(), metric);
        if (!parseHex(fields[3], flags) || metricEnd.ec != std::errc()) return;  // the header line
        if (!isZeroHex(fields[1]) || !isZeroHex(fields[7])) return;
        if (!(flags & RTF_UP) || (flags & RTF_REJECT)) return;
        if (!best || metric < bestMetric) {
            best = std::string(fields[0]);
            bestMetric = metric;
        }
    });
    return best;
}

std::optional<std::string> defaultRouteFromProcNetIPv6Route(std::string_view text) {
    // destination prefix-length source source-prefix next-hop metric refcnt use flags iface
    std::optional<std::string> best;
    unsigned long long bestMetric = std::numeric_limits<unsigned long long>::max();
    forEachLine(text, [&](std::string_view line) {
        auto fields = splitFields(line);
        if (fields.size() < 10) return;
        unsigned long long prefix = 0, metric = 0, flags = 0;
        if (!parseHex(fields[1], prefix) || !parseHex(fields[5], metric) || !parseHex(fields[8], flags)) return;
        if (!isZeroHex(fields[0]) || fields[0].size() != 32 || prefix != 0) return;
        if (!(flags & RTF_UP) || (flags & RTF_REJECT)) return;
        if (fields[9] == "lo") return;
        if (!best || metric < bestMetric) {
            best = std::string(fields[9]);
            bestMetric = metric;
        }
    });
    return best;
}

NetworkSnapshot takeNetworkSnapshot() {
    NetworkSnapshot network;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) == 0) {
        for (ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
            if (entry->ifa_name == nullptr) continue;
            if (!(entry->ifa_flags & IFF_UP) || !(entry->ifa_flags & IFF_RUNNING)) continue;
            std::string name = entry->ifa_name;
            if (!network.isActive(name)) network.activeInterfaces.push_back(name);
            if (entry->ifa_addr == nullptr) continue;
            int family = entry->ifa_addr->sa_family;
            if (family != AF_INET && family != AF_INET6) continue;
            InterfaceAddress address;
            address.interfaceName = name;
            size_t length = family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
            std::memcpy(&address.address, entry->ifa_addr, length);
            if (entry->ifa_netmask != nullptr) std::memcpy(&address.netmask, entry->ifa_netmask, length);
            network.addresses.push_back(address);
        }
        freeifaddrs(list);
    }
    network.defaultRouteIPv4 = defaultRouteFromProcNetRoute(readProcNet("route"));
    network.defaultRouteIPv6 = defaultRouteFromProcNetIPv6Route(readProcNet("ipv6_route"));
    return network;
}

void setCellularInterfacePatterns(std::vector<std::string> newPatterns) {
    std::lock_guard lock(patternsMutex);
    patterns = std::move(newPatterns);
}

std::vector<std::string> cellularInterfacePatterns() {
    std::lock_guard lock(patternsMutex);
    return patterns;
}

bool isCellularInterface(const std::string& interfaceName) {
    std::lock_guard lock(patternsMutex);
    return std::any_of(patterns.begin(), patterns.end(), [&](const std::string& pattern) {
        return fnmatch(pattern.c_str(), interfaceName.c_str(), 0) == 0;
    });
}

SCNetworkReachabilityFlags flagsForAddress(const sockaddr* address, const NetworkSnapshot& network) {
    if (address == nullptr || (address->sa_family != AF_INET && address->sa_family != AF_INET6)) return 0;
    const auto& route = address->sa_family == AF_INET ? network.defaultRouteIPv4 : network.defaultRouteIPv6;
    if (isZeroAddress(address)) return viaRoute(route, network);
    const SCNetworkReachabilityFlags local = kSCNetworkReachabilityFlagsReachable |
                                             kSCNetworkReachabilityFlagsIsLocalAddress |
                                             kSCNetworkReachabilityFlagsIsDirect;
    if (isLoopback(address)) return local;
    for (const auto& entry : network.addresses) {
        if (sameAddress(address, entry.address)) return local;
    }
    for (const auto& entry : network.addresses) {
        if (entry.interfaceName != "lo" && sameSubnet(address, entry)) {
            SCNetworkReachabilityFlags flags = kSCNetworkReachabilityFlagsReachable | kSCNetworkReachabilityFlagsIsDirect;
            if (isCellularInterface(entry.interfaceName)) flags |= kSCNetworkReachabilityFlagsIsWWAN;
            return flags;
        }
    }
    return viaRoute(route, network);
}

SCNetworkReachabilityFlags flagsForName(const std::string& name, const NetworkSnapshot& network) {
    std::string host = name;
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    sockaddr_in v4{};
    if (inet_pton(AF_INET, host.c_str(), &v4.sin_addr) == 1) {
        v4.sin_family = AF_INET;
        return flagsForAddress(reinterpret_cast<const sockaddr*>(&v4), network);
    }
    sockaddr_in6 v6{};
    if (inet_pton(AF_INET6, host.c_str(), &v6.sin6_addr) == 1) {
        v6.sin6_family = AF_INET6;
        return flagsForAddress(reinterpret_cast<const sockaddr*>(&v6), network);
    }
    std::string lower;
    for (char c : host) lower.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c));
    if (lower == "localhost" || lower == "localhost.") {
        return kSCNetworkReachabilityFlagsReachable | kSCNetworkReachabilityFlagsIsLocalAddress |
               kSCNetworkReachabilityFlagsIsDirect;
    }
    if (host.empty()) return 0;
    SCNetworkReachabilityFlags flags = viaRoute(network.defaultRouteIPv4, network);
    if (flags == 0) flags = viaRoute(network.defaultRouteIPv6, network);
    return flags;
}

}  // namespace zvt
