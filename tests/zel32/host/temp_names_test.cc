// The temporary directory and the unique temporary files of the host layer.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <set>
#include <string>

#include "host_probes.h"
#include "support/test_paths.h"
#include "zel32/host/local_files.h"
#include "zel32/host/temp_names.h"

namespace zeltest {
namespace {

std::string TempDirectoryNow() {
    char directory[256];
    if (!host::TempDirectory(directory, sizeof directory)) return "(none)";
    return directory;
}

TEST(TempNames, TheTemporaryDirectoryIsTmpdirWhenItNamesADirectoryElseTmp) {
    ScratchDir scratch;
    {
        ScopedEnvironment tmpdir("TMPDIR", scratch.path() + "//");
        EXPECT_EQ(TempDirectoryNow(), scratch.path());  // without trailing slashes
    }
    {
        ScopedEnvironment tmpdir("TMPDIR", std::nullopt);
        EXPECT_EQ(TempDirectoryNow(), "/tmp");
    }
    {
        ScopedEnvironment tmpdir("TMPDIR", "");
        EXPECT_EQ(TempDirectoryNow(), "/tmp");
    }
    {
        ScopedEnvironment tmpdir("TMPDIR", scratch / "missing");
        EXPECT_EQ(TempDirectoryNow(), "/tmp");
    }
    {
        WriteFile(scratch / "plain", "not a directory");
        ScopedEnvironment tmpdir("TMPDIR", scratch / "plain");
        EXPECT_EQ(TempDirectoryNow(), "/tmp");
    }
}

TEST(TempNames, ADirectoryThatDoesNotFitIsNotGiven) {
    ScratchDir scratch;
    ScopedEnvironment tmpdir("TMPDIR", scratch.path());
    std::string out(scratch.path().size(), 'x');
    EXPECT_FALSE(host::TempDirectory(out.data(), out.size()));  // no room for the NUL
    std::string fits(scratch.path().size() + 1, 'x');
    EXPECT_TRUE(host::TempDirectory(fits.data(), fits.size()));
}

TEST(TempNames, EachTemporaryFileIsNewPrivateAndNamedWithThePrefix) {
    ScratchDir scratch;
    std::set<std::string> names;
    for (int i = 0; i < 20; ++i) {
        char name[256];
        const intptr_t file = host::CreateTempFile(scratch.path().c_str(), "QRX", name, sizeof name);
        ASSERT_GT(file, 0);
        EXPECT_TRUE(host::CloseFile(file));
        const std::string path = name;
        EXPECT_EQ(path.rfind(scratch.path() + "/QRX", 0), 0u) << path;
        EXPECT_EQ(path.size(), scratch.path().size() + 1 + 3 + 6 + 4) << path;
        EXPECT_EQ(path.substr(path.size() - 4), ".TMP");
        struct stat info {};
        ASSERT_EQ(::stat(name, &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u);
        EXPECT_EQ(info.st_size, 0);
        names.insert(path);
    }
    EXPECT_EQ(names.size(), 20u);
}

TEST(TempNames, ANameThatDoesNotFitCreatesNothing) {
    ScratchDir scratch;
    char name[24];
    EXPECT_EQ(host::CreateTempFile(scratch.path().c_str(), "QRX", name, sizeof name), -1);
    EXPECT_STREQ(name, "");
    EXPECT_TRUE(std::filesystem::is_empty(scratch.path()));
}

TEST(TempNames, AMissingDirectoryCreatesNothing) {
    ScratchDir scratch;
    char name[256];
    EXPECT_EQ(host::CreateTempFile((scratch / "missing").c_str(), "QRX", name, sizeof name), -1);
    EXPECT_STREQ(name, "");
}

}  // namespace
}  // namespace zeltest
