#include "net/AddressScope.h"

#include <gtest/gtest.h>

TEST(AddressScope, OnlyRoutableDottedQuadsArePublic) {
    // Each range's edges: just outside it is public, its first and last are not.
    for (const char* a :
         {"1.2.3.4", "8.8.8.8", "100.63.255.255", "100.128.0.0", "172.15.255.255", "172.32.0.0",
          "192.0.1.1", "198.17.255.255", "198.20.0.0", "223.255.255.255"}) {
        EXPECT_TRUE(IsPublicIPv4(a)) << a;
    }
    for (const char* a :
         {"0.0.0.0", "0.1.2.3", "10.0.0.1", "10.255.255.255", "172.16.0.1", "172.31.255.255",
          "192.168.1.1", "100.64.12.34", "100.127.255.255", "169.254.1.1", "127.0.0.1", "192.0.0.9",
          "192.0.2.1", "198.51.100.7", "203.0.113.7", "198.18.0.1", "198.19.255.255", "224.0.0.1",
          "240.0.0.1", "255.255.255.255",
          // Not an IPv4 address in dotted form: nobody can reach it.
          "", "1.2.3", "1.2.3.4.5", "1.2.3.256", " 1.2.3.4", "1.2.3.4 ", "1.2.3.0004", "1..3.4",
          "2001:db8::1", "router.example"}) {
        EXPECT_FALSE(IsPublicIPv4(a)) << "'" << a << "'";
    }
}
