// Standard output that cannot take what zelft prints (a full disk, here the
// device that is always full): the command fails with exit code 4 and says
// so, instead of succeeding with its output lost. The same for the password
// hash zeld prints.
#include "zelft_harness.h"

namespace zelfttest {
namespace {

// zelft with these arguments, its standard output on /dev/full.
ProcessResult RunIntoFullDevice(const std::vector<std::string>& arguments) {
    std::vector<std::string> argv = {"/bin/sh", "-c", "exec \"$@\" > /dev/full", "zelft", ZelftPath()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return RunProgram(argv);
}

class FullOutput : public ZelftEndToEnd {};

TEST_F(FullOutput, AListingThatCannotBeWrittenIsALocalFileError) {
    WriteFile(server.Path("a.txt"), "a");
    const ProcessResult result = RunIntoFullDevice({"dir", server.Remote("")});
    EXPECT_EQ(result.exitCode, 4);
    EXPECT_NE(result.err.find("zelft: standard output: No space left on device"), std::string::npos) << result.err;
}

TEST_F(FullOutput, AFileTypedIntoAFullDeviceIsALocalFileError) {
    std::string lines;
    for (int i = 0; i < 20000; ++i) lines += "line " + std::to_string(i) + "\n";  // more than a stdio buffer
    WriteFile(server.Path("lines.txt"), lines);
    const ProcessResult result = RunIntoFullDevice({"type", server.Remote("lines.txt")});
    EXPECT_EQ(result.exitCode, 4);
    EXPECT_NE(result.err.find("zelft: standard output: No space left on device"), std::string::npos) << result.err;
}

TEST_F(FullOutput, HelpThatCannotBeWrittenFails) {
    const ProcessResult result = RunIntoFullDevice({"--help"});
    EXPECT_EQ(result.exitCode, 4);
    EXPECT_NE(result.err.find("zelft: standard output:"), std::string::npos) << result.err;
}

TEST(FullOutputOfZeld, APasswordHashThatCannotBeWrittenIsAFailure) {
    const ProcessResult result = RunProgram({"/bin/sh", "-c", "exec \"$0\" --hash-password > /dev/full", ZeldPath()},
                                            RunOptions{{}, "secret\n", ""});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("zeld: cannot write standard output"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace zelfttest
