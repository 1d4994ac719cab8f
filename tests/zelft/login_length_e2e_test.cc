// How long a login may be: the library takes node name, user name and
// password only when, with a "/" between each, they are under 52
// characters. zelft says so before connecting, with the lengths and never
// the password, and a login just under the limit connects; zeld
// --hash-password warns of a password that leaves little room.
#include <string>

#include "zelft_harness.h"

namespace zelfttest {
namespace {

class LoginLength : public ZelftEndToEnd {};

TEST_F(LoginLength, AnOrdinaryPasswordTooLongWithItsNodeIsRefusedWithTheLengths) {
    const std::string password = "correct-horse-battery-staple";
    const ProcessResult result = RunZelft({"dir", "smith@files.example.org::"},
                                          RunOptions{{"ZELFT_PASSWORD=" + password}, "", ""});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err,
              "zelft: connect smith@files.example.org: node name, user name and password, with a '/' between each, "
              "must be under 52 characters: here 17 + 5 + 28 + 2 = 52\n");
    EXPECT_EQ(result.err.find(password), std::string::npos);
}

TEST_F(LoginLength, FiftyOneCharactersConnectAndFiftyTwoDoNot) {
    // Without a users file zeld takes any password: what counts is whether
    // the login reaches it.
    WriteFile(server.Path("a.txt"), "a");
    const std::string user = "smith";
    const size_t fits = 51 - server.node().size() - 1 - user.size() - 1;
    const auto dir = [&](size_t passwordLength) {
        return RunZelft({"dir", user + "@" + server.Remote("")},
                        RunOptions{{"ZELFT_PASSWORD=" + std::string(passwordLength, 'p')}, "", ""});
    };
    const ProcessResult connected = dir(fits);
    EXPECT_EQ(connected.exitCode, 0) << connected.err;
    EXPECT_NE(connected.out.find("'a.txt'"), std::string::npos) << connected.out;

    const ProcessResult refused = dir(fits + 1);
    EXPECT_EQ(refused.exitCode, 2) << refused.err;
    EXPECT_NE(refused.err.find(" + " + std::to_string(fits + 1) + " + 2 = 52\n"), std::string::npos) << refused.err;
}

TEST(PasswordHashing, WarnsOfAPasswordThatLeavesLittleRoomForNodeAndUser) {
    const auto hash = [](size_t length) {
        return RunProgram({ZeldPath(), "--hash-password"}, RunOptions{{}, std::string(length, 'p') + "\n", ""});
    };
    const std::string leaves = " characters leaves ";
    const std::string why = " for node name and user name together: a client of the library sends the three, with "
                            "a '/' between each, only in under 52 characters\n";
    EXPECT_EQ(hash(19).err, "");
    EXPECT_EQ(hash(20).err, "zeld: warning: a password of 20" + leaves + "29" + why);
    EXPECT_EQ(hash(28).err, "zeld: warning: a password of 28" + leaves + "21" + why);
    EXPECT_EQ(hash(39).err, "zeld: warning: a password of 39" + leaves + "10" + why);
    const ProcessResult tooLong = hash(40);
    EXPECT_EQ(tooLong.err,
              "zeld: warning: a password of 40 characters is longer than the 39 a client of the library can send\n");
    // A warning only: the hash is made.
    EXPECT_EQ(tooLong.exitCode, 0);
    EXPECT_EQ(tooLong.out.rfind('$', 0), 0u) << tooLong.out;
}

}  // namespace
}  // namespace zelfttest
