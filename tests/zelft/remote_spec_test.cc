// Remote file arguments: user@NODE::path with host names, IPv4 and bracketed
// IPv6 addresses and ports.
#include <gtest/gtest.h>

#include "zelft/remote_spec.h"

namespace zelft {
namespace {

RemoteSpec Split(const std::string& argument) {
    RemoteSpec spec;
    std::string error;
    EXPECT_TRUE(ParseRemoteSpec(argument, &spec, &error)) << argument << ": " << error;
    return spec;
}

std::string Refusal(const std::string& argument) {
    RemoteSpec spec;
    std::string error;
    EXPECT_FALSE(ParseRemoteSpec(argument, &spec, &error)) << argument;
    return error;
}

TEST(RemoteSpec, HostAndPath) {
    const RemoteSpec spec = Split("fileserver::reports/march.txt");
    EXPECT_EQ(spec.user, "");
    EXPECT_EQ(spec.node, "fileserver");
    EXPECT_EQ(spec.path, "reports/march.txt");
}

TEST(RemoteSpec, UserBeforeTheNode) {
    const RemoteSpec spec = Split("smith@10.0.0.7:7017::[USER]A.TXT;1");
    EXPECT_EQ(spec.user, "smith");
    EXPECT_EQ(spec.node, "10.0.0.7:7017");
    EXPECT_EQ(spec.path, "[USER]A.TXT;1");
}

TEST(RemoteSpec, BracketedIpv6KeepsItsColonsAndPort) {
    RemoteSpec spec = Split("[::1]:7017::a.txt");
    EXPECT_EQ(spec.node, "[::1]:7017");
    EXPECT_EQ(spec.path, "a.txt");
    spec = Split("jones@[fe80::1]::");
    EXPECT_EQ(spec.user, "jones");
    EXPECT_EQ(spec.node, "[fe80::1]");
    EXPECT_EQ(spec.path, "");
}

TEST(RemoteSpec, TheFirstSeparatorEndsTheNodeAndAnAtInThePathStays) {
    const RemoteSpec spec = Split("host::odd::name@x");
    EXPECT_EQ(spec.node, "host");
    EXPECT_EQ(spec.path, "odd::name@x");
}

TEST(RemoteSpec, LocalArgumentsAreNotRemote) {
    EXPECT_FALSE(IsRemoteArgument("a.txt"));
    EXPECT_FALSE(IsRemoteArgument("/tmp/x:y"));
    // A local name may hold "::" behind a "/".
    EXPECT_FALSE(IsRemoteArgument("./a::b.txt"));
    EXPECT_FALSE(IsRemoteArgument("/tmp/a::b"));
    EXPECT_TRUE(IsRemoteArgument("h::dir/a::b"));
    EXPECT_FALSE(IsRemoteArgument("[::1]"));
    EXPECT_TRUE(IsRemoteArgument("[::1]::"));
    EXPECT_TRUE(IsRemoteArgument("h::"));
    EXPECT_NE(Refusal("a.txt").find("not a remote file"), std::string::npos);
}

TEST(RemoteSpec, BadNodesArePointedOut) {
    EXPECT_NE(Refusal("::a.txt").find("bad node"), std::string::npos);
    EXPECT_NE(Refusal("host:0::a").find("bad node"), std::string::npos);
    EXPECT_NE(Refusal("host:65536::a").find("bad node"), std::string::npos);
    EXPECT_NE(Refusal("host:x::a").find("bad node"), std::string::npos);
    EXPECT_NE(Refusal("[::1::a").find("not a remote file"), std::string::npos);
    EXPECT_NE(Refusal("[::1]x::a").find("bad node"), std::string::npos);
    EXPECT_NE(Refusal("[]::a").find("bad node"), std::string::npos);
    EXPECT_NE(Refusal("ho st::a").find("bad node"), std::string::npos);
    EXPECT_TRUE(IsValidNode("host:65535"));
}

TEST(RemoteSpec, UserNamesThatCannotTravelAreRefused) {
    EXPECT_NE(Refusal("@host::a").find("bad user"), std::string::npos);
    EXPECT_NE(Refusal("a/b@host::a").find("bad user"), std::string::npos);
    EXPECT_FALSE(IsValidUserName("x\ty"));
    EXPECT_TRUE(IsValidUserName("smith.j"));
}

}  // namespace
}  // namespace zelft
