// Address ranges, listen addresses, the exposure rule and the token file's checks.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "scpi/access_policy.h"
#include "scpi/server.h"

namespace evkit::scpi {
namespace {

bool inRange(const std::string& range, const std::string& address) {
    return parseAddressRange(range, nullptr)->contains(*parseAddress(address));
}

TEST(ScpiAccess, AddressRanges) {
    EXPECT_TRUE(inRange("192.168.10.0/24", "192.168.10.77"));
    EXPECT_FALSE(inRange("192.168.10.0/24", "192.168.11.1"));
    EXPECT_TRUE(inRange("10.0.0.0/8", "10.255.0.1"));
    EXPECT_TRUE(inRange("172.16.0.0/12", "172.31.255.255"));
    EXPECT_FALSE(inRange("172.16.0.0/12", "172.32.0.0"));
    EXPECT_TRUE(inRange("10.1.2.3", "10.1.2.3"));
    EXPECT_FALSE(inRange("10.1.2.3", "10.1.2.4"));
    EXPECT_TRUE(inRange("0.0.0.0/0", "8.8.8.8"));
    EXPECT_FALSE(inRange("0.0.0.0/0", "2001:db8::1"));  // an IPv4 range holds no IPv6 address
    EXPECT_TRUE(inRange("2001:db8::/32", "2001:db8:ffff::1"));
    EXPECT_FALSE(inRange("2001:db8::/32", "2001:db9::1"));
    EXPECT_TRUE(inRange("::ffff:10.0.0.0/104", "10.9.9.9"));  // mapped form of 10/8
    std::string why;
    EXPECT_FALSE(parseAddressRange("10.0.0.0/33", &why));
    EXPECT_NE(why.find("0..32"), std::string::npos);
    EXPECT_FALSE(parseAddressRange("10.0.0.0/", &why));
    EXPECT_FALSE(parseAddressRange("lab-net/24", &why));
    EXPECT_FALSE(parseAddressRange("::/129", &why));
}

TEST(ScpiAccess, LoopbackListenAddressesAndExposure) {
    EXPECT_TRUE(isLoopback(*parseAddress("127.0.0.1")));
    EXPECT_TRUE(isLoopback(*parseAddress("127.8.9.10")));
    EXPECT_TRUE(isLoopback(*parseAddress("::1")));
    EXPECT_FALSE(isLoopback(*parseAddress("0.0.0.0")));
    EXPECT_FALSE(isLoopback(*parseAddress("::")));
    EXPECT_FALSE(isLoopback(*parseAddress("192.168.1.1")));
    auto l = parseListenAddress("0.0.0.0:5025", nullptr);
    ASSERT_TRUE(l);
    EXPECT_EQ(l->host, "0.0.0.0");
    l = parseListenAddress("[::1]:0", nullptr);
    ASSERT_TRUE(l);
    EXPECT_EQ(l->host, "::1");
    EXPECT_EQ(l->port, 0u);
    l = parseListenAddress("6000", nullptr);
    ASSERT_TRUE(l);
    EXPECT_EQ(l->host, "127.0.0.1");
    EXPECT_FALSE(parseListenAddress("127.0.0.1:65536", nullptr));
    EXPECT_FALSE(parseListenAddress("localhost:5025", nullptr));
    ServerOptions o;
    EXPECT_EQ(checkExposure(o, false), "");
    o.listen.host = "0.0.0.0";
    EXPECT_NE(checkExposure(o, false), "");
    EXPECT_NE(checkExposure(o, true), "");  // a token without ranges
    o.allow.push_back(*parseAddressRange("10.0.0.0/8", nullptr));
    EXPECT_NE(checkExposure(o, false), "");  // ranges without a token
    EXPECT_EQ(checkExposure(o, true), "");
}

TEST(ScpiAccess, TokenFileMustBeTheOwnersAlone) {
    const std::string path = testing::TempDir() + "scpi_token_" + std::to_string(::getpid());
    std::ofstream(path) << "  s3cret \nsecond line\n";
    ::chmod(path.c_str(), 0600);
    std::string why;
    EXPECT_EQ(readTokenFile(path, &why), "s3cret");
    ::chmod(path.c_str(), 0640);
    EXPECT_FALSE(readTokenFile(path, &why));
    EXPECT_NE(why.find("readable only by its owner"), std::string::npos);
    ::chmod(path.c_str(), 0604);
    EXPECT_FALSE(readTokenFile(path, &why));
    std::ofstream(path, std::ios::trunc) << "\n";
    ::chmod(path.c_str(), 0600);
    EXPECT_FALSE(readTokenFile(path, &why));
    EXPECT_NE(why.find("holds no token"), std::string::npos);
    std::remove(path.c_str());
    EXPECT_FALSE(readTokenFile(path, &why));
    EXPECT_FALSE(readTokenFile(testing::TempDir(), &why));  // a directory
}

}  // namespace
}  // namespace evkit::scpi
