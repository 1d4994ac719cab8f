// The server's settings: the command line, the users file and its password
// check, and the splitting of print and submit commands.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support/test_paths.h"
#include "zeld/options.h"
#include "zeld/spooler.h"
#include "zeld/users.h"

namespace zeld {
namespace {

bool Parse(std::vector<std::string> arguments, Options* options, std::string* error) {
    return ParseOptions(arguments, options, error);
}

TEST(CommandLine, DefaultsAndEveryOptionInBothSpellings) {
    Options options;
    std::string error;
    ASSERT_TRUE(Parse({"--root", "/srv"}, &options, &error)) << error;
    EXPECT_EQ(options.listen, "127.0.0.1:7017");
    EXPECT_EQ(options.personality, Personality::kStream);
    EXPECT_FALSE(options.foreground);
    ASSERT_TRUE(Parse({"--root=/srv", "--listen=[::1]:7100", "--personality", "records", "--max-clients=3",
                       "--idle-timeout", "30", "--read-only", "--foreground", "--print-spool", "/q", "--log=/l"},
                      &options, &error))
        << error;
    EXPECT_EQ(options.listen, "[::1]:7100");
    EXPECT_EQ(options.personality, Personality::kRecords);
    EXPECT_EQ(options.maxClients, 3);
    EXPECT_EQ(options.idleTimeoutSeconds, 30);
    EXPECT_TRUE(options.readOnly);
    EXPECT_EQ(options.printSpool, "/q");
    ASSERT_TRUE(Parse({"--hash-password"}, &options, &error));
    EXPECT_EQ(options.mode, Options::Mode::kHashPassword);
}

TEST(CommandLine, MistakesAreRefusedWithAReason) {
    Options options;
    std::string error;
    EXPECT_FALSE(Parse({}, &options, &error));
    EXPECT_NE(error.find("--root"), std::string::npos);
    EXPECT_FALSE(Parse({"--root", "/srv", "--personality", "vms"}, &options, &error));
    EXPECT_FALSE(Parse({"--root", "/srv", "--max-clients", "0"}, &options, &error));
    EXPECT_FALSE(Parse({"--root", "/srv", "--idle-timeout", "ten"}, &options, &error));
    EXPECT_FALSE(Parse({"--root"}, &options, &error));
    EXPECT_FALSE(Parse({"--root", "/srv", "--read-only=yes"}, &options, &error));
    EXPECT_FALSE(Parse({"--root", "/srv", "--print-command", "lpr", "--print-spool", "/q"}, &options, &error));
    EXPECT_FALSE(Parse({"--root", "/srv", "--verbose"}, &options, &error));
}

TEST(UsersFile, LinesAreNameColonHashWithCommentsAndBlankLines) {
    std::vector<UserEntry> users;
    std::string error;
    ASSERT_TRUE(ParseUsers("# staff\n\nalice:$6$abc$def\r\n  \nbob:$y$x\n", &users, &error)) << error;
    ASSERT_EQ(users.size(), 2u);
    EXPECT_EQ(users[0].name, "alice");
    EXPECT_EQ(users[0].hash, "$6$abc$def");
    EXPECT_FALSE(ParseUsers("alice\n", &users, &error));
    EXPECT_NE(error.find("line 1"), std::string::npos);
    EXPECT_FALSE(ParseUsers("ok:x\n:hash\n", &users, &error));
    EXPECT_NE(error.find("line 2"), std::string::npos);
    EXPECT_FALSE(LoadUsers("/nonexistent/users", &users, &error));
}

TEST(UsersFile, PasswordsAreCheckedAgainstTheirHashesOnly) {
    const std::string hash = HashPassword("correct horse");
    ASSERT_FALSE(hash.empty());
    EXPECT_NE(hash, HashPassword("correct horse"));  // a new salt every time
    const std::vector<UserEntry> users{{"alice", hash}, {"bob", HashPassword("other")}};
    EXPECT_TRUE(CheckPassword(users, "alice", "correct horse"));
    EXPECT_FALSE(CheckPassword(users, "alice", "correct horsE"));
    EXPECT_FALSE(CheckPassword(users, "alice", ""));
    EXPECT_FALSE(CheckPassword(users, "bob", "correct horse"));
    EXPECT_FALSE(CheckPassword(users, "carol", "correct horse"));
    EXPECT_FALSE(CheckPassword({}, "", ""));
    EXPECT_FALSE(CheckPassword({{"eve", "*"}}, "eve", ""));  // a locked entry
}

TEST(SpoolCommands, CommandLinesSplitIntoWordsWithoutAShell) {
    std::vector<std::string> words;
    ASSERT_TRUE(SplitCommand("lpr -P 'main office' \"a \\\"b\\\"\" c\\ d", &words));
    EXPECT_EQ(words, (std::vector<std::string>{"lpr", "-P", "main office", "a \"b\"", "c d"}));
    ASSERT_TRUE(SplitCommand("echo ';' '$(id)'", &words));
    EXPECT_EQ(words, (std::vector<std::string>{"echo", ";", "$(id)"}));
    EXPECT_FALSE(SplitCommand("lpr 'unclosed", &words));
    EXPECT_FALSE(SplitCommand("   ", &words));
}

TEST(SpoolCommands, CommandGetsTheRealPathAsItsLastArgumentAndItsExitStatusCounts) {
    zeltest::ScratchDir scratch;
    const std::string script = scratch / "record.sh";
    zeltest::WriteFile(script, "#!/bin/sh\nprintf '%s|' \"$@\" \"$ZELD_USER\" > \"$1\"\n");
    ASSERT_EQ(::chmod(script.c_str(), 0755), 0);
    const std::string file = scratch / "a file;rm -rf x";
    zeltest::WriteFile(file, "to print");
    const ztsock::UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(fd.valid());
    auto spooler = Spooler::ForCommand({script, scratch / "args"});
    EXPECT_EQ(spooler->Hand(fd.get(), file, "a", "alice"), kOk);
    EXPECT_EQ(zeltest::ReadFile(scratch / "args"), (scratch / "args") + "|" + file + "|alice|");

    auto failing = Spooler::ForCommand({"false"});
    EXPECT_EQ(failing->Hand(fd.get(), file, "x", "u"), kStatusSpoolFailure);
    auto missing = Spooler::ForCommand({"/nonexistent/program"});
    EXPECT_EQ(missing->Hand(fd.get(), file, "x", "u"), kStatusSpoolFailure);
    EXPECT_EQ(Spooler().Hand(fd.get(), file, "x", "u"), kStatusSpoolFailure);
}

TEST(SpoolCommands, APathThatNoLongerLeadsToTheOpenedFileRunsNothing) {
    // Between the open and the print another session may rename something
    // else into the file's place: a link out of the tree, another file.
    zeltest::ScratchDir scratch;
    const std::string script = scratch / "record.sh";
    zeltest::WriteFile(script, "#!/bin/sh\necho ran > \"$1\"\n");
    ASSERT_EQ(::chmod(script.c_str(), 0755), 0);
    const std::string file = scratch / "report.txt";
    zeltest::WriteFile(file, "opened");
    zeltest::WriteFile(scratch / "secret", "not to print");
    const ztsock::UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(fd.valid());
    ASSERT_EQ(::unlink(file.c_str()), 0);
    ASSERT_EQ(::symlink((scratch / "secret").c_str(), file.c_str()), 0);
    auto spooler = Spooler::ForCommand({script, scratch / "ran"});
    EXPECT_EQ(spooler->Hand(fd.get(), file, "report.txt", "alice"), kStatusSpoolFailure);
    EXPECT_FALSE(std::filesystem::exists(scratch / "ran"));
    // Gone altogether: nothing runs either.
    ASSERT_EQ(::unlink(file.c_str()), 0);
    EXPECT_EQ(spooler->Hand(fd.get(), file, "report.txt", "alice"), kStatusSpoolFailure);
    EXPECT_FALSE(std::filesystem::exists(scratch / "ran"));
}

}  // namespace
}  // namespace zeld
