// What zeld gives away: without a users file it takes anyone, so it listens
// on loopback only; a password never reaches its log; and the text a client
// sends cannot forge a line of that log.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <sstream>
#include <string>

#include "zeld_instance.h"

namespace hardening {
namespace {

constexpr char kPassword[] = "Pa55-not-in-any-log";

TEST(Exposure, WithoutAUsersFileTheServerListensOnLoopbackOnly) {
    ScratchDir root;
    for (const char* address : {"0.0.0.0:0", "*:0"}) {
        const zeltest::ProcessResult refused =
            zeltest::RunProgram({zeltest::ZeldPath(), "--root", root.path(), "--foreground", "--listen", address});
        EXPECT_EQ(refused.exitCode, 1) << address;
        EXPECT_NE(refused.err.find("refusing to listen on"), std::string::npos) << address << ": " << refused.err;
    }
    // With a users file the same address is served.
    ScratchDir files;
    WriteFile(files / "users", "smith:" + zeltest::HashPassword(kPassword) + "\n");
    zeltest::ChildProcess served;
    ASSERT_TRUE(served.Start({zeltest::ZeldPath(), "--root", root.path(), "--foreground", "--listen", "0.0.0.0:0",
                              "--users", files / "users", "--log", files / "log"},
                             zeltest::RunOptions{}));
    EXPECT_TRUE(WaitUntil([&] { return ReadFile(files / "log").find("listening on 0.0.0.0:") != std::string::npos; },
                          std::chrono::seconds(30)))
        << ReadFile(files / "log");
    served.Kill(SIGTERM);
    EXPECT_EQ(served.Finish().exitCode, 0);
}

TEST(Exposure, ThePasswordIsNotInTheServersLog) {
    ScratchDir files;
    WriteFile(files / "users", "smith:" + zeltest::HashPassword(kPassword) + "\n");
    ZeldInstance server({"--users", files / "users"});
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    for (const std::string& password : {std::string(kPassword), std::string(kPassword) + "-wrong"}) {
        RfaOpenLinkParams params{};
        std::snprintf(params.nodeName, sizeof params.nodeName, "%s", server.node().c_str());
        std::snprintf(params.userName, sizeof params.userName, "smith");
        std::snprintf(params.password, sizeof params.password, "%s", password.c_str());
        params.notify = IgnoreNotification;
        const int32_t opened = RfaOpenLink(&params);
        EXPECT_EQ(opened, password == kPassword ? 0 : RFA_ERR_ACCESS_DENIED);
        if (params.handle != 0) RfaCloseLink(params.handle);
    }
    EXPECT_TRUE(server.WaitForLog("user=smith op=connect file=\"\" outcome=access-denied", std::chrono::seconds(10)))
        << server.log();
    EXPECT_NE(server.log().find("user=smith op=connect file=\"\" outcome=ok"), std::string::npos) << server.log();
    EXPECT_EQ(server.log().find(kPassword), std::string::npos) << server.log();
    EXPECT_EQ(server.Stop(), 0) << server.errors();
}

TEST(Exposure, AClientsTextCannotForgeALogLine) {
    ZeldInstance server;
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    {
        Link link(server.node());
        ASSERT_EQ(link.openResult(), 0);
        EXPECT_NE(RfaDelete(link.handle(), "gone\n2026-01-01T00:00:00Z peer=forged op=delete outcome=ok\r"), 0);
    }
    EXPECT_TRUE(server.WaitForLog("op=delete", std::chrono::seconds(10))) << server.log();
    // The forged entry is no line of its own: it stays inside the escaped name.
    std::istringstream lines(server.log());
    std::string line;
    while (std::getline(lines, line)) {
        EXPECT_NE(line.rfind("2026-01-01T00:00:00Z peer=forged", 0), 0u) << line;
        EXPECT_EQ(line.find('\r'), std::string::npos) << line;
    }
    EXPECT_NE(server.log().find("file=\"gone\\x0a2026-01-01T00:00:00Z peer=forged op=delete outcome=ok\\x0d\""),
              std::string::npos)
        << server.log();
    EXPECT_EQ(server.Stop(), 0) << server.errors();
}

}  // namespace
}  // namespace hardening
