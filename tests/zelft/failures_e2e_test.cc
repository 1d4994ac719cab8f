// How zelft fails: one line on standard error and a distinct exit code for
// usage errors, connection and login failures, remote and local file errors.
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "zelft_harness.h"

namespace zelfttest {
namespace {

namespace fs = std::filesystem;

constexpr char kPassword[] = "correct horse";

class Failures : public ZelftEndToEnd {};

TEST_F(Failures, AMissingRemoteFileIsARemoteFileErrorWithItsStatus) {
    const ProcessResult result = RunZelft({"get", server.Remote("missing.txt"), Local("x")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "zelft: get " + server.Remote("missing.txt") + " -> " + Local("x") +
                              ": file not found (error 7; remote status MACCODE 4 (File Open), MICCODE 0x32: file "
                              "not found)\n");
}

TEST_F(Failures, ControlCharactersOfANameNeverReachTheTerminal) {
    const ProcessResult result = RunZelft({"get", server.Remote("x\x1b]0;title\a.txt"), Local("x.txt")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err.find('\x1b'), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("x?]0;title?.txt"), std::string::npos) << result.err;
}

TEST_F(Failures, APathOutsideTheRootIsAPrivilegeViolation) {
    for (const char* path : {"../outside.txt", "/etc/passwd"}) {
        const ProcessResult result = RunZelft({"get", server.Remote(path), Local("x")});
        EXPECT_EQ(result.exitCode, 1) << path;
        EXPECT_NE(result.err.find("privilege violation (error 18"), std::string::npos) << result.err;
    }
    WriteFile(Local("escape.txt"), "out");
    const ProcessResult put = RunZelft({"put", Local("escape.txt"), server.Remote("../escaped")});
    EXPECT_EQ(put.exitCode, 1) << put.err;
    EXPECT_FALSE(fs::exists(fs::path(server.root()).parent_path() / "escaped"));
}

TEST_F(Failures, ListingNothingThatMatchesIsARemoteFileError) {
    const ProcessResult result = RunZelft({"dir", server.Remote("*.none")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("zelft: dir " + server.Remote("*.none") + ": file not found"), std::string::npos)
        << result.err;
}

TEST_F(Failures, AWildcardGetThatMatchesNothingIsARemoteFileError) {
    const ProcessResult result = RunZelft({"get", server.Remote("*.none"), local.path()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(fs::is_empty(local.path()));
}

TEST_F(Failures, AMissingLocalFileIsALocalFileErrorFoundBeforeConnecting) {
    // Port 1 of loopback: nothing listens, so a connection attempt would fail with 3.
    const ProcessResult result = RunZelft({"put", Local("absent.txt"), "127.0.0.1:1::x"});
    EXPECT_EQ(result.exitCode, 4);
    EXPECT_EQ(result.err, "zelft: put " + Local("absent.txt") + ": No such file or directory\n");
}

TEST_F(Failures, PutGoesOnAfterAMissingLocalFile) {
    WriteFile(Local("present.txt"), "here\n");
    const ProcessResult result = RunZelft({"put", Local("absent.txt"), Local("present.txt"), server.Remote("")});
    EXPECT_EQ(result.exitCode, 4);
    EXPECT_EQ(ReadFile(server.Path("present.txt")), "here\n");
}

TEST_F(Failures, ALocalTargetInAMissingDirectoryIsALocalFileError) {
    WriteFile(server.Path("a.txt"), "a");
    const ProcessResult result = RunZelft({"get", server.Remote("a.txt"), Local("no/such/dir/a.txt")});
    EXPECT_EQ(result.exitCode, 4);
    EXPECT_NE(result.err.find("no local directory"), std::string::npos) << result.err;
}

TEST_F(Failures, ALocalTargetThatCannotBeWrittenIsALocalFileError) {
    WriteFile(server.Path("a.txt"), "a");
    ASSERT_EQ(::mkdir(Local("target-is-a-directory").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(Local("target-is-a-directory/a.txt").c_str(), 0755), 0);
    // LOCAL is a directory, in which a.txt is a directory too: the library cannot create the file.
    const ProcessResult result = RunZelft({"get", server.Remote("a.txt"), Local("target-is-a-directory")});
    EXPECT_EQ(result.exitCode, 4) << result.err;
    EXPECT_NE(result.err.find("local file cannot be opened or created (error 7)"), std::string::npos) << result.err;
}

TEST_F(Failures, AGetIntoADirectoryRefusesARemoteNameThatGivesNoLocalFileName) {
    // The file part of a bracketed name runs from the "]" on, "/" and all:
    // joined to LOCAL it would name a file elsewhere.
    ASSERT_EQ(::mkdir(Local("dl").c_str(), 0755), 0);
    for (const char* remote : {"[X]../a.txt", "<>../../a.txt", "A:[B]sub/a.txt", "sub/..", "[X]."}) {
        const ProcessResult result = RunZelft({"get", server.Remote(remote), Local("dl")});
        EXPECT_EQ(result.exitCode, 2) << remote << ": " << result.err;
        EXPECT_EQ(result.err,
                  "zelft: get: '" + server.Remote(remote) + "' gives no local file name; name the local file\n");
    }
    EXPECT_TRUE(fs::is_empty(Local("dl")));
    EXPECT_EQ(std::distance(fs::directory_iterator(local.path()), fs::directory_iterator()), 1);
}

TEST_F(Failures, AnUnreachableNodeIsAConnectionFailure) {
    const int port = FreePort();
    const ProcessResult result = RunZelft({"dir", "127.0.0.1:" + std::to_string(port) + "::"});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.err, "zelft: connect 127.0.0.1:" + std::to_string(port) +
                              ": connection failed (error 22; transport error 61: connection refused)\n");
}

TEST_F(Failures, UsageErrorsAreExitCodeTwo) {
    const std::vector<std::vector<std::string>> commands = {
        {"get", "--full", server.Remote("a")},
        {"frobnicate"},
        {"get", "not-remote", "x"},
        {"protection", server.Remote("a"), "--set", "S:RWX"},
        {"dir", "bad host::"},
        {"put", server.Remote("a"), server.Remote("b")},
        {"delete", server.Remote("a"), "elsewhere::b"},
        {},
    };
    for (const std::vector<std::string>& arguments : commands) {
        const ProcessResult result = RunZelft(arguments);
        EXPECT_EQ(result.exitCode, 2) << ::testing::PrintToString(arguments) << result.err;
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    }
}

TEST_F(Failures, TraceFileThatCannotBeCreatedIsALocalFileError) {
    const ProcessResult result = RunZelft({"dir", "--trace", Local("no/dir/trace.txt"), server.Remote("")});
    EXPECT_EQ(result.exitCode, 4) << result.err;
    EXPECT_NE(result.err.find("trace " + Local("no/dir/trace.txt")), std::string::npos) << result.err;
}

TEST_F(Failures, HelpAndVersionSucceed) {
    ProcessResult result = RunZelft({"--version"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out.rfind("zelft ", 0), 0u);
    result = RunZelft({"help", "get"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.out.find("usage: zelft get"), std::string::npos);
}

class Logins : public ZelftEndToEnd {
protected:
    Logins() : ZelftEndToEnd(ZeldOptions{"stream", "smith:" + HashPassword(kPassword) + "\n", {}}) {}
};

TEST_F(Logins, TheRightPasswordFromTheEnvironmentLogsIn) {
    WriteFile(server.Path("a.txt"), "a");
    const ProcessResult result =
        RunZelft({"dir", "smith@" + server.Remote("")}, RunOptions{{std::string("ZELFT_PASSWORD=") + kPassword}, "", ""});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("'a.txt'"), std::string::npos);
}

TEST_F(Logins, TheRightPasswordFromAFileLogsIn) {
    WriteFile(server.Path("a.txt"), "a");
    WriteFile(Local("pw"), std::string(kPassword) + "\n");
    const ProcessResult result =
        RunZelft({"dir", "--user", "smith", "--password-file", Local("pw"), server.Remote("")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
}

TEST_F(Logins, AWrongPasswordIsALoginFailure) {
    const ProcessResult result =
        RunZelft({"dir", "smith@" + server.Remote("")}, RunOptions{{"ZELFT_PASSWORD=wrong"}, "", ""});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_NE(result.err.find("zelft: connect smith@" + server.node() + ": user name or password refused (error 3"),
              std::string::npos)
        << result.err;
}

TEST_F(Logins, NoPasswordAndNoTerminalIsALoginFailure) {
    const ProcessResult result = RunZelft({"dir", "smith@" + server.Remote("")});
    EXPECT_EQ(result.exitCode, 3) << result.err;
}

TEST_F(Logins, AMissingPasswordFileIsALocalFileError) {
    const ProcessResult result =
        RunZelft({"dir", "--user", "smith", "--password-file", Local("none"), server.Remote("")});
    EXPECT_EQ(result.exitCode, 4);
    EXPECT_NE(result.err.find("cannot read password file"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace zelfttest
