#include "net/AddressScope.h"

#include <gtest/gtest.h>

TEST(AddressScope, OnlyRoutableDottedQuadsArePublic) {
    struct Case {
        const char* text;
        bool isPublic;
    };
    for (const Case& c : {
             Case{"1.2.3.4", true},
             Case{"8.8.8.8", true},
             Case{"100.63.255.255", true},  // just below carrier-grade NAT
             Case{"100.128.0.0", true},     // just above it
             Case{"172.15.255.255", true},
             Case{"172.32.0.0", true},
             Case{"192.0.1.1", true},
             Case{"198.17.255.255", true},
             Case{"198.20.0.0", true},
             Case{"223.255.255.255", true},
             Case{"", false},
             Case{"0.0.0.0", false},
             Case{"0.1.2.3", false},
             Case{"10.0.0.1", false},
             Case{"10.255.255.255", false},
             Case{"172.16.0.1", false},
             Case{"172.31.255.255", false},
             Case{"192.168.1.1", false},
             Case{"100.64.12.34", false},
             Case{"100.127.255.255", false},
             Case{"169.254.1.1", false},
             Case{"127.0.0.1", false},
             Case{"192.0.0.9", false},
             Case{"192.0.2.1", false},
             Case{"198.51.100.7", false},
             Case{"203.0.113.7", false},
             Case{"198.18.0.1", false},
             Case{"198.19.255.255", false},
             Case{"224.0.0.1", false},
             Case{"240.0.0.1", false},
             Case{"255.255.255.255", false},
             // Not an IPv4 address in dotted form: nobody can reach it.
             Case{"1.2.3", false},
             Case{"1.2.3.4.5", false},
             Case{"1.2.3.256", false},
             Case{" 1.2.3.4", false},
             Case{"1.2.3.4 ", false},
             Case{"1.2.3.0004", false},
             Case{"1..3.4", false},
             Case{"2001:db8::1", false},
             Case{"router.example", false},
         }) {
        EXPECT_EQ(IsPublicIPv4(c.text), c.isPublic) << "'" << c.text << "'";
    }
}
