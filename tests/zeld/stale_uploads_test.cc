// The temporary files of uploads that a killed server left in the tree:
// a starting server removes them, and only them. Files named otherwise,
// directories, links, and the temporary file of an upload being written now
// (by this server or another one on the same tree) stay.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <string>
#include <vector>

#include "support/test_paths.h"
#include "zeld/staged_file.h"
#include "zeld/tree.h"

namespace zeld {
namespace {

using zeltest::ReadFile;
using zeltest::WriteFile;

// A file as a killed server left it: written some time before the sweep.
void WriteLeftover(const std::string& path, const std::string& content, int secondsAgo = 60) {
    WriteFile(path, content);
    timespec times[2];
    ::clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= secondsAgo;
    times[1] = times[0];
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

bool Exists(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

// The names of the directory's entries that begin with ".zeld-".
std::vector<std::string> StagingEntries(const std::string& directory) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(directory.c_str());
    if (dir == nullptr) return names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.rfind(".zeld-", 0) == 0) names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

class StaleUploads : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::mkdir(Root("").c_str(), 0755), 0);
        ASSERT_EQ(::mkdir(Root("sub").c_str(), 0755), 0);
        ASSERT_EQ(::mkdir(Root("sub/deeper").c_str(), 0755), 0);
        std::string error;
        tree = Tree::Open(Root(""), Personality::kStream, &error);
        ASSERT_NE(tree, nullptr) << error;
    }
    std::string Root(const std::string& name) const { return scratch / ("root/" + name); }

    // Starts an upload of `name` as a session does: its temporary file exists from here on.
    void BeginUpload(StagedFile* upload, const std::string& name) {
        FileSpec spec;
        ASSERT_EQ(ParseFileSpec(name, Personality::kStream, &spec), SpecError::kNone);
        CreateTarget target;
        ASSERT_EQ(tree->FindCreateTarget(spec, &target), kOk);
        ASSERT_EQ(upload->Create(std::move(target), false, 0644), kOk);
        const uint8_t record[] = {'n', 'e', 'w'};
        ASSERT_EQ(upload->Write(record, sizeof record), kOk);
    }

    std::vector<std::string> Sweep() {
        std::vector<std::string> removed;
        const std::atomic<bool> never{false};
        const size_t count = tree->RemoveStaleUploads([&](const std::string& path) { removed.push_back(path); }, &never);
        EXPECT_EQ(count, removed.size());
        std::sort(removed.begin(), removed.end());
        return removed;
    }

    zeltest::ScratchDir scratch;
    std::unique_ptr<Tree> tree;
};

TEST_F(StaleUploads, LeftoverTemporaryFilesGoWhereverTheyAreInTheTree) {
    WriteLeftover(Root(".zeld-abc123"), "half an upload");
    WriteLeftover(Root("sub/deeper/.zeld-Q9x0ZZ"), "half another");
    WriteFile(Root("sub/kept.txt"), "kept");
    EXPECT_EQ(Sweep(), (std::vector<std::string>{".zeld-abc123", "sub/deeper/.zeld-Q9x0ZZ"}));
    EXPECT_FALSE(Exists(Root(".zeld-abc123")));
    EXPECT_FALSE(Exists(Root("sub/deeper/.zeld-Q9x0ZZ")));
    EXPECT_EQ(ReadFile(Root("sub/kept.txt")), "kept");
    EXPECT_TRUE(Sweep().empty());  // nothing left to remove the second time
}

TEST_F(StaleUploads, OnlyRegularFilesNamedAsAnUploadsTemporaryFileGo) {
    WriteLeftover(Root(".zeld-abc12"), "five characters");
    WriteLeftover(Root(".zeld-abc1234"), "seven characters");
    WriteLeftover(Root(".zeld-ab-123"), "not a letter or digit");
    WriteLeftover(Root(".zeld-spool-12-0"), "a spool copy");
    WriteLeftover(Root("zeld-abc123"), "no dot");
    ASSERT_EQ(::mkdir(Root(".zeld-dir123").c_str(), 0755), 0);
    WriteFile(scratch / "outside", "outside the root");
    ASSERT_EQ(::symlink((scratch / "outside").c_str(), Root("sub/.zeld-lnk123").c_str()), 0);
    ASSERT_EQ(::mkfifo(Root(".zeld-fifo12").c_str(), 0600), 0);

    EXPECT_TRUE(Sweep().empty());
    EXPECT_EQ(StagingEntries(Root("")), (std::vector<std::string>{".zeld-ab-123", ".zeld-abc12", ".zeld-abc1234",
                                                                  ".zeld-dir123", ".zeld-fifo12", ".zeld-spool-12-0"}));
    EXPECT_TRUE(Exists(Root("sub/.zeld-lnk123")));
    EXPECT_EQ(ReadFile(scratch / "outside"), "outside the root");
}

TEST_F(StaleUploads, TheTemporaryFileOfAnUploadUnderWayStaysAndItsUploadCompletes) {
    WriteFile(Root("sub/target.txt"), "old");
    StagedFile upload;
    BeginUpload(&upload, "sub/target.txt");
    const std::vector<std::string> writing = StagingEntries(Root("sub"));
    ASSERT_EQ(writing.size(), 1u);
    WriteLeftover(Root("sub/.zeld-left00"), "left by a killed server");

    EXPECT_EQ(Sweep(), (std::vector<std::string>{"sub/.zeld-left00"}));
    EXPECT_EQ(StagingEntries(Root("sub")), writing);
    EXPECT_EQ(upload.Commit(nullptr), kOk);
    EXPECT_EQ(ReadFile(Root("sub/target.txt")), "new");
    EXPECT_TRUE(StagingEntries(Root("sub")).empty());
}

TEST_F(StaleUploads, AFileMadeSinceTheSweepBeganIsLeftEvenUnlocked) {
    // An upload locks its temporary file just after creating it: one the
    // sweep meets between the two is newer than the sweep, and stays.
    WriteLeftover(Root(".zeld-new000"), "just created", -5);
    WriteLeftover(Root(".zeld-old000"), "left by a killed server");
    EXPECT_EQ(Sweep(), (std::vector<std::string>{".zeld-old000"}));
    EXPECT_EQ(StagingEntries(Root("")), (std::vector<std::string>{".zeld-new000"}));
}

TEST_F(StaleUploads, AnUploadThatEndsLeavesNothingForTheSweep) {
    StagedFile committed;
    BeginUpload(&committed, "done.txt");
    ASSERT_EQ(committed.Commit(nullptr), kOk);
    StagedFile discarded;
    BeginUpload(&discarded, "dropped.txt");
    discarded.Discard();
    EXPECT_TRUE(StagingEntries(Root("")).empty());
    EXPECT_EQ(ReadFile(Root("done.txt")), "new");
    EXPECT_FALSE(Exists(Root("dropped.txt")));
}

TEST_F(StaleUploads, TheSweepStopsWhenTold) {
    for (const char* name : {".zeld-aaaaa1", ".zeld-aaaaa2", ".zeld-aaaaa3"}) WriteLeftover(Root(name), "left");
    WriteLeftover(Root("sub/.zeld-aaaaa4"), "left");
    // Told to stop after the second file: nothing more goes, here or below.
    std::atomic<bool> stop{false};
    size_t heard = 0;
    const size_t removed = tree->RemoveStaleUploads(
        [&](const std::string&) {
            if (++heard == 2) stop = true;
        },
        &stop);
    EXPECT_EQ(removed, 2u);
    EXPECT_EQ(heard, 2u);
    EXPECT_EQ(StagingEntries(Root("")).size(), 1u);
    EXPECT_EQ(StagingEntries(Root("sub")).size(), 1u);
}

}  // namespace
}  // namespace zeld
