// Reachability flags from routing tables and interface lists.

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include "platform/sysconfig/NetworkSnapshot.h"

using namespace zvt;

namespace {

sockaddr_storage ipv4(const char* text) {
    sockaddr_storage storage{};
    auto* in = reinterpret_cast<sockaddr_in*>(&storage);
    in->sin_family = AF_INET;
    EXPECT_EQ(inet_pton(AF_INET, text, &in->sin_addr), 1);
    return storage;
}

sockaddr_storage ipv6(const char* text) {
    sockaddr_storage storage{};
    auto* in = reinterpret_cast<sockaddr_in6*>(&storage);
    in->sin6_family = AF_INET6;
    EXPECT_EQ(inet_pton(AF_INET6, text, &in->sin6_addr), 1);
    return storage;
}

SCNetworkReachabilityFlags flags(const sockaddr_storage& address, const NetworkSnapshot& network) {
    return flagsForAddress(reinterpret_cast<const sockaddr*>(&address), network);
}

InterfaceAddress entry(const char* name, sockaddr_storage address, sockaddr_storage mask) {
    return InterfaceAddress{name, address, mask};
}

// A laptop on Wi-Fi with a cellular modem as second link.
NetworkSnapshot wifiAndModem() {
    NetworkSnapshot network;
    network.activeInterfaces = {"lo", "wlan0", "wwan0"};
    network.addresses = {entry("lo", ipv4("127.0.0.1"), ipv4("255.0.0.0")),
                         entry("wlan0", ipv4("192.168.1.20"), ipv4("255.255.255.0")),
                         entry("wwan0", ipv4("10.64.0.7"), ipv4("255.255.255.252")),
                         entry("wlan0", ipv6("fd00::20"), ipv6("ffff:ffff:ffff:ffff::"))};
    network.defaultRouteIPv4 = "wlan0";
    return network;
}

const SCNetworkReachabilityFlags kLocal = kSCNetworkReachabilityFlagsReachable |
                                          kSCNetworkReachabilityFlagsIsLocalAddress | kSCNetworkReachabilityFlagsIsDirect;

struct PatternsGuard {
    ~PatternsGuard() { setCellularInterfacePatterns({"wwan*", "rmnet*", "ppp*"}); }
};

}  // namespace

TEST(ReachabilityRouteTables, DefaultRouteOfIPv4Table) {
    const char* table =
        "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT   \n"
        "eth0\t000200C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0   \n"
        "wwan0\t00000000\t0100400A\t0003\t0\t0\t700\t00000000\t0\t0\t0\n"
        "eth0\t00000000\t010200C0\t0003\t0\t0\t100\t00000000\t0\t0\t0   \n"
        "tun0\t00000000\t00000000\t0201\t0\t0\t1\t00000000\t0\t0\t0\n"  // reject route
        "wlan9\t00000000\t00000000\t0000\t0\t0\t0\t00000000\t0\t0\t0\n";  // down
    EXPECT_EQ(defaultRouteFromProcNetRoute(table), "eth0");
    EXPECT_EQ(defaultRouteFromProcNetRoute(
                  "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
                  "eth0\t000200C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"),
              std::nullopt);
    EXPECT_EQ(defaultRouteFromProcNetRoute(""), std::nullopt);
    EXPECT_EQ(defaultRouteFromProcNetRoute("garbage\nmore garbage with many fields a b c d e f g h\n"), std::nullopt);
}

TEST(ReachabilityRouteTables, DefaultRouteOfIPv6Table) {
    const char* table =
        "fd000000000000000000000000000000 40 00000000000000000000000000000000 00 "
        "00000000000000000000000000000000 00000100 00000001 00000000 00000001     eth0\n"
        "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
        "00000000000000000000000000000000 ffffffff 00000001 00000000 00200200       lo\n"
        "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
        "fd000000000000000000000000000001 00000400 00000002 00000000 00000003     eth0\n";
    EXPECT_EQ(defaultRouteFromProcNetIPv6Route(table), "eth0");
    EXPECT_EQ(defaultRouteFromProcNetIPv6Route(
                  "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
                  "00000000000000000000000000000000 ffffffff 00000001 00000000 00200200       lo\n"),
              std::nullopt);
}

TEST(ReachabilityFlags, AddressesAndTheGeneralNetwork) {
    NetworkSnapshot network = wifiAndModem();
    EXPECT_EQ(flags(ipv4("0.0.0.0"), network), kSCNetworkReachabilityFlagsReachable);
    EXPECT_EQ(flags(ipv4("8.8.8.8"), network), kSCNetworkReachabilityFlagsReachable);
    EXPECT_EQ(flags(ipv4("127.0.0.1"), network), kLocal);
    EXPECT_EQ(flags(ipv4("127.9.9.9"), network), kLocal);
    EXPECT_EQ(flags(ipv6("::1"), network), kLocal);
    EXPECT_EQ(flags(ipv4("192.168.1.20"), network), kLocal);
    EXPECT_EQ(flags(ipv4("192.168.1.1"), network),
              kSCNetworkReachabilityFlagsReachable | kSCNetworkReachabilityFlagsIsDirect);
    EXPECT_EQ(flags(ipv4("10.64.0.5"), network), kSCNetworkReachabilityFlagsReachable |
                                                     kSCNetworkReachabilityFlagsIsDirect |
                                                     kSCNetworkReachabilityFlagsIsWWAN);
    // No IPv6 default route: only the local IPv6 subnet is reachable.
    EXPECT_EQ(flags(ipv6("::"), network), 0u);
    EXPECT_EQ(flags(ipv6("2001:db8::1"), network), 0u);
    EXPECT_EQ(flags(ipv6("fd00::1"), network), kSCNetworkReachabilityFlagsReachable | kSCNetworkReachabilityFlagsIsDirect);
    EXPECT_EQ(flagsForAddress(nullptr, network), 0u);

    // The default route moves to the modem.
    network.defaultRouteIPv4 = "wwan0";
    EXPECT_EQ(flags(ipv4("0.0.0.0"), network), kSCNetworkReachabilityFlagsReachable | kSCNetworkReachabilityFlagsIsWWAN);
    // A default route over an interface that is down does not count.
    network.activeInterfaces = {"lo", "wlan0"};
    EXPECT_EQ(flags(ipv4("0.0.0.0"), network), 0u);
    network.defaultRouteIPv4.reset();
    EXPECT_EQ(flags(ipv4("8.8.8.8"), network), 0u);
    EXPECT_EQ(flags(ipv4("127.0.0.1"), network), kLocal);
}

TEST(ReachabilityFlags, NamesAndCellularPatterns) {
    PatternsGuard guard;
    NetworkSnapshot network = wifiAndModem();
    EXPECT_EQ(flagsForName("localhost", network), kLocal);
    EXPECT_EQ(flagsForName("LocalHost", network), kLocal);
    EXPECT_EQ(flagsForName("127.0.0.1", network), kLocal);
    EXPECT_EQ(flagsForName("[::1]", network), kLocal);
    EXPECT_EQ(flagsForName("www.example.com", network), kSCNetworkReachabilityFlagsReachable);
    EXPECT_EQ(flagsForName("", network), 0u);
    network.defaultRouteIPv4.reset();
    EXPECT_EQ(flagsForName("www.example.com", network), 0u);
    network.defaultRouteIPv6 = "wlan0";
    EXPECT_EQ(flagsForName("www.example.com", network), kSCNetworkReachabilityFlagsReachable);

    EXPECT_TRUE(isCellularInterface("wwan0"));
    EXPECT_TRUE(isCellularInterface("rmnet_data0"));
    EXPECT_TRUE(isCellularInterface("ppp0"));
    EXPECT_FALSE(isCellularInterface("wlan0"));
    EXPECT_FALSE(isCellularInterface("eth0"));
    setCellularInterfacePatterns({"eth*"});
    EXPECT_TRUE(isCellularInterface("eth0"));
    EXPECT_FALSE(isCellularInterface("wwan0"));
    network.defaultRouteIPv4 = "wlan0";
    network.activeInterfaces.push_back("eth0");
    network.defaultRouteIPv4 = "eth0";
    EXPECT_EQ(flagsForName("www.example.com", network),
              kSCNetworkReachabilityFlagsReachable | kSCNetworkReachabilityFlagsIsWWAN);
}

TEST(ReachabilityFlags, SnapshotOfThisMachine) {
    NetworkSnapshot network = takeNetworkSnapshot();
    // Loopback is always there and always local.
    EXPECT_EQ(flagsForName("127.0.0.1", network), kLocal);
    // The general answer agrees with the kernel's default route.
    SCNetworkReachabilityFlags general = flagsForName("0.0.0.0", network);
    EXPECT_EQ((general & kSCNetworkReachabilityFlagsReachable) != 0,
              network.defaultRouteIPv4.has_value() && network.isActive(*network.defaultRouteIPv4));
}
