// Node names, connect strings and the text of addresses.
#include "ztsock/address.h"

#include <gtest/gtest.h>

#include <vector>

#include "ztsock/connect_string.h"
#include "ztsock/ztsock.h"

namespace ztsock {
namespace {

NodeAddress Parsed(const char* text) {
    NodeAddress node;
    EXPECT_TRUE(ParseNode(text, &node)) << text;
    return node;
}

TEST(NodeName, HostAndOptionalPort) {
    NodeAddress node = Parsed("files.example.com");
    EXPECT_EQ(node.host, "files.example.com");
    EXPECT_FALSE(node.hasPort);

    node = Parsed("files.example.com:7100");
    EXPECT_EQ(node.host, "files.example.com");
    EXPECT_TRUE(node.hasPort);
    EXPECT_EQ(node.port, 7100);

    node = Parsed("10.0.0.7:65535");
    EXPECT_EQ(node.host, "10.0.0.7");
    EXPECT_EQ(node.port, 65535);
    EXPECT_FALSE(node.bracketed);
}

TEST(NodeName, BracketedIPv6WithAndWithoutPort) {
    NodeAddress node = Parsed("[::1]");
    EXPECT_EQ(node.host, "::1");
    EXPECT_TRUE(node.bracketed);
    EXPECT_FALSE(node.hasPort);

    node = Parsed("[fe80::1:2]:7017");
    EXPECT_EQ(node.host, "fe80::1:2");
    EXPECT_EQ(node.port, 7017);
}

TEST(NodeName, BareIPv6LiteralHasNoPort) {
    const NodeAddress node = Parsed("fe80::1:7017");
    EXPECT_EQ(node.host, "fe80::1:7017");
    EXPECT_FALSE(node.hasPort);
}

TEST(NodeName, MalformedNamesAreRefused) {
    for (const char* text : {"[::1", "[::1]7017", "[::1]:", "host:", "host:http", "host:65536", "host:123456",
                             "host:-1", "host:+80"}) {
        NodeAddress node;
        EXPECT_FALSE(ParseNode(text, &node)) << text;
    }
}

TEST(ConnectString, SplitsAtTheFirstTwoSlashes) {
    ConnectString parts = SplitConnectString("vax1");
    EXPECT_EQ(parts.node, "vax1");
    EXPECT_EQ(parts.user, "");
    EXPECT_EQ(parts.password, "");

    parts = SplitConnectString("vax1:7100/alice");
    EXPECT_EQ(parts.node, "vax1:7100");
    EXPECT_EQ(parts.user, "alice");
    EXPECT_EQ(parts.password, "");

    parts = SplitConnectString("[::1]:7017/alice/se/cr/et/");
    EXPECT_EQ(parts.node, "[::1]:7017");
    EXPECT_EQ(parts.user, "alice");
    EXPECT_EQ(parts.password, "se/cr/et/");

    parts = SplitConnectString("vax1//secret");
    EXPECT_EQ(parts.user, "");
    EXPECT_EQ(parts.password, "secret");
}

SocketAddress Resolved(const char* text) {
    NodeAddress node = Parsed(text);
    std::vector<SocketAddress> addresses;
    int16_t error = 0;
    EXPECT_TRUE(ResolveNode(node, kDefaultPort, false, &addresses, &error)) << text;
    return addresses.empty() ? SocketAddress{} : addresses.front();
}

TEST(SocketAddress, TextHasBracketsForIPv6AndTheDefaultPort) {
    EXPECT_EQ(Resolved("127.0.0.1").ToText(), "127.0.0.1:7017");
    EXPECT_EQ(Resolved("192.0.2.9:80").ToText(), "192.0.2.9:80");
    EXPECT_EQ(Resolved("[::1]:8000").ToText(), "[::1]:8000");
    EXPECT_EQ(Resolved("[2001:db8::5]").ToText(), "[2001:db8::5]:7017");
}

TEST(SocketAddress, LoopbackIncludesAllOf127AndMappedIPv4) {
    EXPECT_TRUE(Resolved("127.0.0.1").IsLoopback());
    EXPECT_TRUE(Resolved("127.45.0.3").IsLoopback());
    EXPECT_TRUE(Resolved("[::1]").IsLoopback());
    EXPECT_TRUE(Resolved("[::ffff:127.0.0.1]").IsLoopback());
    EXPECT_FALSE(Resolved("128.0.0.1").IsLoopback());
    EXPECT_FALSE(Resolved("0.0.0.0").IsLoopback());
    EXPECT_FALSE(Resolved("[::]").IsLoopback());
    EXPECT_FALSE(Resolved("[::ffff:10.0.0.1]").IsLoopback());
}

TEST(SocketAddress, BracketsTakeOnlyAnIPv6Literal) {
    NodeAddress node = Parsed("[localhost]:7017");
    std::vector<SocketAddress> addresses;
    int16_t error = 0;
    EXPECT_FALSE(ResolveNode(node, kDefaultPort, false, &addresses, &error));
    EXPECT_EQ(error, kErrHostUnresolved);
}

TEST(SocketAddress, PassiveEmptyHostMeansEveryAddress) {
    NodeAddress node = Parsed(":0");
    std::vector<SocketAddress> addresses;
    int16_t error = 0;
    ASSERT_TRUE(ResolveNode(node, kDefaultPort, true, &addresses, &error));
    for (const SocketAddress& address : addresses) EXPECT_FALSE(address.IsLoopback()) << address.ToText();

    EXPECT_FALSE(ResolveNode(node, kDefaultPort, false, &addresses, &error));
    EXPECT_EQ(error, kErrHostUnresolved);
}

}  // namespace
}  // namespace ztsock
