// Password sources: the file's first line, and the environment variable,
// which is taken and wiped.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/test_paths.h"
#include "zelft/password_source.h"

namespace zelft {
namespace {

TEST(PasswordSource, TheFirstLineOfThePasswordFile) {
    zeltest::ScratchDir scratch;
    zeltest::WriteFile(scratch / "pw", "s3cret word\r\nsecond line\n");
    std::string password, error;
    EXPECT_EQ(ReadPasswordFile(scratch / "pw", &password, &error), PasswordResult::kFound);
    EXPECT_EQ(password, "s3cret word");
    zeltest::WriteFile(scratch / "bare", "no-line-end");
    EXPECT_EQ(ReadPasswordFile(scratch / "bare", &password, &error), PasswordResult::kFound);
    EXPECT_EQ(password, "no-line-end");
}

TEST(PasswordSource, AMissingPasswordFileIsAnError) {
    zeltest::ScratchDir scratch;
    std::string password = "old", error;
    EXPECT_EQ(ReadPasswordFile(scratch / "none", &password, &error), PasswordResult::kError);
    EXPECT_NE(error.find(scratch / "none"), std::string::npos) << error;
}

TEST(PasswordSource, TheEnvironmentVariableIsTakenAndItsTextWiped) {
    std::string assignment = std::string(kPasswordVariable) + "=hunter2";
    ASSERT_EQ(::putenv(assignment.data()), 0);  // the environment now points into `assignment`
    std::string password;
    EXPECT_EQ(TakePasswordFromEnvironment(&password), PasswordResult::kFound);
    EXPECT_EQ(password, "hunter2");
    EXPECT_EQ(std::getenv(kPasswordVariable), nullptr);
    EXPECT_EQ(assignment.find("hunter2"), std::string::npos);
    EXPECT_EQ(TakePasswordFromEnvironment(&password), PasswordResult::kNone);
}

TEST(PasswordSource, NoUserNeedsNoPassword) {
    std::string password = "left over", error;
    EXPECT_EQ(ObtainPassword("/nonexistent", "", "host", &password, &error), PasswordResult::kNone);
    EXPECT_EQ(password, "");
}

TEST(PasswordSource, ThePasswordFileComesBeforeTheEnvironment) {
    zeltest::ScratchDir scratch;
    zeltest::WriteFile(scratch / "pw", "from-file\n");
    ASSERT_EQ(::setenv(kPasswordVariable, "from-environment", 1), 0);
    std::string password, error;
    EXPECT_EQ(ObtainPassword(scratch / "pw", "smith", "host", &password, &error), PasswordResult::kFound);
    EXPECT_EQ(password, "from-file");
    // Not used, and still wiped from the environment at once.
    EXPECT_EQ(std::getenv(kPasswordVariable), nullptr);
    EXPECT_EQ(ObtainPassword("", "smith", "host", &password, &error), PasswordResult::kFound);
    EXPECT_EQ(password, "from-environment");
    ::unsetenv(kPasswordVariable);
}

}  // namespace
}  // namespace zelft
