// AllowedClients: which callers a restricted server serves, as gRPC names
// them, and which texts are refused as a restriction.
#include <gtest/gtest.h>

#include "ClientFilter.h"

namespace kt64::test {
namespace {

using server::ClientFilter;
using server::ClientFilterError;

TEST(ClientFilter, ServesTheListedAddressesAndNetworksOnly) {
    const auto filter = ClientFilter::parse(
        "192.168.1.0/24, 10.0.0.5;fd00::/8  ::1\t127.0.0.0/8, 10.1.16.0/20 192.168.5.128/25 2001:db8:0:40::/58");
    EXPECT_TRUE(filter.restricts());
    struct Row {
        const char* peer;
        bool allowed;
    };
    for (const Row& row :
         {Row{"ipv4:192.168.1.77:50000", true}, Row{"ipv4:192.168.2.1:50000", false}, Row{"ipv4:10.0.0.5:1", true},
          Row{"ipv4:10.0.0.6:1", false}, Row{"ipv6:[fd12:3456::1]:443", true}, Row{"ipv6:[fe80::1%eth0]:443", false},
          Row{"ipv6:[::1]:6464", true}, Row{"ipv6:[::2]:6464", false}, Row{"ipv6:[::ffff:192.168.1.9]:6464", true},
          Row{"ipv6:[::ffff:192.168.3.9]:6464", false}, Row{"ipv4:127.0.0.2:6464", true},
          Row{"unix:/run/kt64.sock", false}, Row{"ipv4:garbage:1", false},
          // Prefixes that end inside a byte: both sides of each end.
          Row{"ipv4:10.1.15.255:1", false}, Row{"ipv4:10.1.16.0:1", true}, Row{"ipv4:10.1.31.255:1", true},
          Row{"ipv4:10.1.32.0:1", false}, Row{"ipv6:[::ffff:10.1.31.255]:1", true},
          Row{"ipv6:[::ffff:10.1.32.0]:1", false}, Row{"ipv4:192.168.5.127:1", false},
          Row{"ipv4:192.168.5.128:1", true}, Row{"ipv4:192.168.5.255:1", true}, Row{"ipv4:192.168.6.0:1", false},
          Row{"ipv6:[2001:db8:0:3f:ffff:ffff:ffff:ffff]:1", false}, Row{"ipv6:[2001:db8:0:40::]:1", true},
          Row{"ipv6:[2001:db8:0:7f:ffff:ffff:ffff:ffff]:1", true}, Row{"ipv6:[2001:db8:0:80::]:1", false}})
        EXPECT_EQ(filter.allows(row.peer), row.allowed) << row.peer;

    // No list: every caller, as without the value.
    EXPECT_FALSE(ClientFilter::parse(" ,; ").restricts());
    EXPECT_TRUE(ClientFilter::parse("").allows("ipv4:203.0.113.7:1"));
    EXPECT_EQ(ClientFilter::address("ipv6:[::1]:6464"), "::1");
    EXPECT_EQ(ClientFilter::address("ipv4:10.1.2.3:555"), "10.1.2.3");
}

TEST(ClientFilter, AMalformedEntryIsRefusedByName) {
    for (const char* bad : {"192.168.1.0/33", "10.0.0.1/", "host.example.org", "::1/129", "10.0.0.0/8x", "1.2.3"}) {
        try {
            ClientFilter::parse(std::string("127.0.0.1, ") + bad);
            ADD_FAILURE() << bad << " accepted";
        } catch (const ClientFilterError& e) {
            EXPECT_NE(std::string(e.what()).find(std::string("'") + bad + "'"), std::string::npos) << e.what();
        }
    }
}

}  // namespace
}  // namespace kt64::test
