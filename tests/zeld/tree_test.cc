// Path resolution beneath the root: which file specs reach which real
// files, and that nothing (.., absolute paths, links out, links through
// directories) reaches anything outside.
#include "zeld/tree.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "support/test_paths.h"

namespace zeld {
namespace {

using zeltest::ReadFile;
using zeltest::WriteFile;

class TreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        // outside/secret lies next to the root, as /etc would.
        ASSERT_EQ(::mkdir((scratch / "root").c_str(), 0755), 0);
        ASSERT_EQ(::mkdir((scratch / "outside").c_str(), 0755), 0);
        WriteFile(scratch / "outside/secret", "secret");
        ASSERT_EQ(::mkdir(Root("Docs").c_str(), 0755), 0);
        WriteFile(Root("Docs/Readme.txt"), "readme");
        WriteFile(Root("top.dat"), "top");
    }
    std::string Root(const std::string& name) const { return scratch / ("root/" + name); }
    std::unique_ptr<Tree> MakeTree(Personality personality) {
        std::string error;
        auto tree = Tree::Open(scratch / "root", personality, &error);
        EXPECT_NE(tree, nullptr) << error;
        return tree;
    }
    // The content a file spec opens, or its Status as text.
    std::string Read(Personality personality, const std::string& text) {
        FileSpec spec;
        const SpecError error = ParseFileSpec(text, personality, &spec);
        if (error != SpecError::kNone) return "spec error";
        OpenedFile file;
        const StatusValue status = MakeTree(personality)->OpenEntry(spec, &file);
        if (status != kOk) return "status " + std::to_string(status);
        if (file.isDirectory) return "directory";
        char buffer[64];
        const ssize_t got = ::read(file.fd.get(), buffer, sizeof buffer);
        return std::string(buffer, got > 0 ? static_cast<size_t>(got) : 0);
    }
    zeltest::ScratchDir scratch;
};

const std::string kPrivilege = "status " + std::to_string(kStatusPrivilege);

TEST_F(TreeTest, UnixAndBracketedFormsReachTheSameFiles) {
    EXPECT_EQ(Read(Personality::kStream, "Docs/Readme.txt"), "readme");
    EXPECT_EQ(Read(Personality::kStream, "./Docs//Readme.txt"), "readme");
    EXPECT_EQ(Read(Personality::kStream, "[Docs]Readme.txt;1"), "readme");
    EXPECT_EQ(Read(Personality::kStream, "DISK$USER:[000000.Docs]Readme.txt"), "readme");
    EXPECT_EQ(Read(Personality::kStream, "top.dat"), "top");
    EXPECT_EQ(Read(Personality::kStream, "[Docs]"), "directory");
    // Stream names are exact.
    EXPECT_EQ(Read(Personality::kStream, "docs/readme.txt"), "status " + std::to_string(kStatusDirectoryNotFound));
    EXPECT_EQ(Read(Personality::kStream, "Docs/readme.txt"), "status " + std::to_string(kStatusFileNotFound));
}

TEST_F(TreeTest, RecordsNamesMatchWithoutCaseVersionsOrDirectoryFileType) {
    EXPECT_EQ(Read(Personality::kRecords, "[DOCS]README.TXT;1"), "readme");
    EXPECT_EQ(Read(Personality::kRecords, "docs/README.TXT;7"), "readme");
    EXPECT_EQ(Read(Personality::kRecords, "TOP.DAT"), "top");
    EXPECT_EQ(Read(Personality::kRecords, "DOCS.DIR;1"), "directory");
    EXPECT_EQ(Read(Personality::kRecords, "[DOCS]README.TXT.BAK"), "status " + std::to_string(kStatusFileNotFound));
}

TEST_F(TreeTest, NothingOutsideTheRootIsReached) {
    for (const char* text : {"../outside/secret", "/etc/passwd", "[-]secret", "[-.outside]secret", "Docs/../../x"}) {
        FileSpec spec;
        EXPECT_EQ(ParseFileSpec(text, Personality::kStream, &spec), SpecError::kEscape) << text;
    }
    // Links: absolute, relative climbing out, through a linked directory,
    // and a chain of links that climbs out at its end.
    ASSERT_EQ(::symlink((scratch / "outside/secret").c_str(), Root("absolute").c_str()), 0);
    ASSERT_EQ(::symlink("../outside/secret", Root("relative").c_str()), 0);
    ASSERT_EQ(::symlink("../outside", Root("outdir").c_str()), 0);
    ASSERT_EQ(::symlink("Docs/../..", Root("updir").c_str()), 0);
    ASSERT_EQ(::symlink("../relative", Root("Docs/chain").c_str()), 0);
    EXPECT_EQ(Read(Personality::kStream, "absolute"), kPrivilege);
    EXPECT_EQ(Read(Personality::kStream, "relative"), kPrivilege);
    EXPECT_EQ(Read(Personality::kStream, "outdir/secret"), kPrivilege);
    EXPECT_EQ(Read(Personality::kStream, "[outdir]secret"), kPrivilege);
    EXPECT_EQ(Read(Personality::kStream, "updir/outside/secret"), kPrivilege);
    EXPECT_EQ(Read(Personality::kStream, "Docs/chain"), kPrivilege);
}

TEST_F(TreeTest, LinksThatStayBeneathTheRootAreFollowed) {
    ASSERT_EQ(::symlink("Docs/Readme.txt", Root("readme-link").c_str()), 0);
    ASSERT_EQ(::symlink("../top.dat", Root("Docs/up-link").c_str()), 0);
    ASSERT_EQ(::symlink("Docs", Root("docs-link").c_str()), 0);
    ASSERT_EQ(::symlink("loop-b", Root("loop-a").c_str()), 0);
    ASSERT_EQ(::symlink("loop-a", Root("loop-b").c_str()), 0);
    EXPECT_EQ(Read(Personality::kStream, "readme-link"), "readme");
    EXPECT_EQ(Read(Personality::kStream, "Docs/up-link"), "top");
    EXPECT_EQ(Read(Personality::kStream, "docs-link/up-link"), "top");
    EXPECT_EQ(Read(Personality::kStream, "loop-a"), kPrivilege);
}

TEST_F(TreeTest, LinksToTheRootItselfLeadInsideButNeverMakeItAnEntryToChange) {
    ASSERT_EQ(::symlink(".", Root("self").c_str()), 0);
    ASSERT_EQ(::symlink("..", Root("Docs/up").c_str()), 0);
    auto tree = MakeTree(Personality::kStream);
    EXPECT_EQ(Read(Personality::kStream, "self/top.dat"), "top");
    EXPECT_EQ(Read(Personality::kStream, "self"), "directory");
    EXPECT_EQ(Read(Personality::kStream, "Docs/up"), "directory");
    EXPECT_EQ(Read(Personality::kStream, "[Docs.up]top.dat"), "top");

    // Listed as the root, and listed in the root as a directory.
    for (const char* text : {"self", "self/", "self/*", "Docs/up", "[self.Docs.up]"}) {
        FileSpec spec;
        ParseFileSpec(text, Personality::kStream, &spec);
        ListingResult listing;
        ASSERT_EQ(tree->List(spec, &listing), kOk) << text;
        EXPECT_TRUE(listing.directory.empty()) << text;
        std::vector<std::string> names;
        for (const ListedEntry& entry : listing.entries) {
            names.push_back(entry.realName);
            EXPECT_EQ(entry.status, kOk) << text << " " << entry.realName;
        }
        EXPECT_EQ(names, (std::vector<std::string>{"Docs", "self", "top.dat"})) << text;
    }

    // An upload to it is one to a directory; a delete, md or rename of it
    // takes the link or refuses, and the root stays.
    FileSpec spec;
    CreateTarget target;
    ParseFileSpec("self", Personality::kStream, &spec);
    EXPECT_EQ(tree->FindCreateTarget(spec, &target), kStatusProtected);
    size_t removed = 0;
    for (const char* text : {"self/", "[self]", "Docs/up/", ""}) {
        ParseFileSpec(text, Personality::kStream, &spec);
        EXPECT_NE(tree->Remove(spec, &removed), kOk) << text;
        EXPECT_NE(tree->MakeDirectory(spec), kOk) << text;
    }
    FileSpec to;
    ParseFileSpec("moved", Personality::kStream, &to);
    ParseFileSpec("", Personality::kStream, &spec);
    EXPECT_EQ(tree->Rename(spec, to), kStatusPrivilege);
    EXPECT_EQ(ReadFile(Root("top.dat")), "top");
    EXPECT_EQ(ReadFile(Root("Docs/Readme.txt")), "readme");
}

TEST_F(TreeTest, ADanglingLinkNamedInAListingIsListedAsNotFoundNeverByItsTargetsDirectory) {
    // The target's directory holds a file of the link's own name.
    ASSERT_EQ(::symlink("Docs/missing", Root("Readme.txt").c_str()), 0);
    ASSERT_EQ(::symlink("Docs/missing", Root("Docs/deeper").c_str()), 0);
    ASSERT_EQ(::mkdir(Root("Docs/Docs").c_str(), 0755), 0);
    WriteFile(Root("Docs/Docs/deeper"), "a file of the link's name");
    for (const Personality personality : {Personality::kStream, Personality::kRecords}) {
        auto tree = MakeTree(personality);
        for (const char* text : {"Readme.txt", "Docs/deeper"}) {
            FileSpec spec;
            ParseFileSpec(text, personality, &spec);
            ListingResult listing;
            ASSERT_EQ(tree->List(spec, &listing), kOk) << text;
            EXPECT_EQ(listing.directory, spec.directories) << text;
            ASSERT_EQ(listing.entries.size(), 1u) << text;
            EXPECT_EQ(listing.entries[0].realName, spec.name) << text;
            EXPECT_EQ(listing.entries[0].status, kStatusFileNotFound) << text;
        }
    }
}

TEST_F(TreeTest, ALinkThatCannotBeFollowedIsListedByNameAsTheWholeDirectoryListsIt) {
    WriteFile(Root("plain.dat"), "a file");
    ASSERT_EQ(::symlink("nodir/x", Root("Gone.txt").c_str()), 0);
    ASSERT_EQ(::symlink("plain.dat/x", Root("Through.txt").c_str()), 0);
    ASSERT_EQ(::symlink("../outside", Root("Out.txt").c_str()), 0);
    for (const Personality personality : {Personality::kStream, Personality::kRecords}) {
        auto tree = MakeTree(personality);
        FileSpec all;
        ParseFileSpec("*", personality, &all);
        ListingResult whole;
        ASSERT_EQ(tree->List(all, &whole), kOk);
        for (const char* text : {"Gone.txt", "Through.txt", "Out.txt"}) {
            const auto entry = std::find_if(whole.entries.begin(), whole.entries.end(),
                                            [&](const ListedEntry& listed) { return listed.realName == text; });
            ASSERT_NE(entry, whole.entries.end()) << text;
            EXPECT_NE(entry->status, kOk) << text;
            FileSpec spec;
            ParseFileSpec(text, personality, &spec);
            ListingResult listing;
            ASSERT_EQ(tree->List(spec, &listing), kOk) << text;
            ASSERT_EQ(listing.entries.size(), 1u) << text;
            EXPECT_EQ(listing.entries[0].realName, text);
            EXPECT_EQ(listing.entries[0].status, entry->status) << text;
        }
    }
}

TEST_F(TreeTest, DevicesPipesAndTheServersOwnFilesAreNotServed) {
    ASSERT_EQ(::mkfifo(Root("pipe").c_str(), 0644), 0);
    WriteFile(Root(".zeld-abcdef"), "an upload under way");
    EXPECT_EQ(Read(Personality::kStream, "pipe"), kPrivilege);
    EXPECT_EQ(Read(Personality::kStream, ".zeld-abcdef"), kPrivilege);
}

TEST_F(TreeTest, PipesAndSocketsAreNeitherDeletedNorRenamedButLinksToThemAre) {
    ASSERT_EQ(::mkfifo(Root("pipe").c_str(), 0666), 0);
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(Root("sock").size(), sizeof address.sun_path);
    std::strcpy(address.sun_path, Root("sock").c_str());
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(listener);
    ASSERT_EQ(::mkfifo(Root("p.tmp").c_str(), 0666), 0);
    WriteFile(Root("a.tmp"), "a");
    WriteFile(Root("b.tmp"), "b");
    ASSERT_EQ(::symlink("pipe", Root("pipe-link").c_str()), 0);
    ASSERT_EQ(::symlink("sock", Root("sock-link").c_str()), 0);
    const auto exists = [&](const std::string& name) {
        struct stat info;
        return ::lstat(Root(name).c_str(), &info) == 0;
    };
    auto tree = MakeTree(Personality::kStream);
    FileSpec spec;
    FileSpec to;
    size_t removed = 0;
    for (const char* name : {"pipe", "sock"}) {
        ParseFileSpec(name, Personality::kStream, &spec);
        ParseFileSpec("Docs/moved", Personality::kStream, &to);
        EXPECT_EQ(tree->Rename(spec, to), kStatusPrivilege) << name;
        EXPECT_EQ(tree->Remove(spec, &removed), kStatusPrivilege) << name;
        EXPECT_TRUE(exists(name)) << name;
    }
    EXPECT_FALSE(exists("Docs/moved"));
    // A wildcard deletes the files it may and then reports what it left.
    ParseFileSpec("*.tmp", Personality::kStream, &spec);
    EXPECT_EQ(tree->Remove(spec, &removed), kStatusPrivilege);
    EXPECT_EQ(removed, 2u);
    EXPECT_TRUE(exists("p.tmp"));
    EXPECT_FALSE(exists("a.tmp"));
    // A link is the client's entry whatever it leads to: it is renamed or
    // deleted itself.
    ParseFileSpec("pipe-link", Personality::kStream, &spec);
    ParseFileSpec("Docs/pipe-link", Personality::kStream, &to);
    EXPECT_EQ(tree->Rename(spec, to), kOk);
    ParseFileSpec("sock-link", Personality::kStream, &spec);
    EXPECT_EQ(tree->Remove(spec, &removed), kOk);
    EXPECT_TRUE(exists("Docs/pipe-link"));
    EXPECT_FALSE(exists("sock-link"));
    EXPECT_TRUE(exists("pipe"));
    EXPECT_TRUE(exists("sock"));
}

TEST_F(TreeTest, FileLockedByAnotherProgramIsReportedLocked) {
    const int holder = ::open(Root("top.dat").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    EXPECT_EQ(Read(Personality::kStream, "top.dat"), "status " + std::to_string(kStatusLocked));
    ::close(holder);
    EXPECT_EQ(Read(Personality::kStream, "top.dat"), "top");
}

TEST_F(TreeTest, UploadTargetFollowsALinkToAFileAndRefusesDirectories) {
    ASSERT_EQ(::symlink("Docs/Readme.txt", Root("readme-link").c_str()), 0);
    auto tree = MakeTree(Personality::kStream);
    FileSpec spec;
    ParseFileSpec("readme-link", Personality::kStream, &spec);
    CreateTarget target;
    ASSERT_EQ(tree->FindCreateTarget(spec, &target), kOk);
    EXPECT_EQ(target.parent.names(), std::vector<std::string>{"Docs"});
    EXPECT_EQ(target.name, "Readme.txt");
    EXPECT_TRUE(target.exists);
    ParseFileSpec("Docs", Personality::kStream, &spec);
    EXPECT_EQ(tree->FindCreateTarget(spec, &target), kStatusProtected);
    ParseFileSpec("*.txt", Personality::kStream, &spec);
    EXPECT_EQ(tree->FindCreateTarget(spec, &target), kStatusBadWildcard);
}

TEST_F(TreeTest, RemoveTakesTheLinkNotWhatItPointsTo) {
    ASSERT_EQ(::symlink("../outside/secret", Root("relative").c_str()), 0);
    auto tree = MakeTree(Personality::kStream);
    FileSpec spec;
    ParseFileSpec("relative", Personality::kStream, &spec);
    size_t removed = 0;
    EXPECT_EQ(tree->Remove(spec, &removed), kOk);
    EXPECT_EQ(removed, 1u);
    EXPECT_EQ(ReadFile(scratch / "outside/secret"), "secret");
}

TEST_F(TreeTest, AWildcardDeletePassesOverAMatchAlreadyGone) {
    // "b.dat" was read from the directory, then deleted by another client
    // before its turn came: the files after it still go.
    WriteFile(Root("a.dat"), "a");
    WriteFile(Root("c.dat"), "c");
    const UniqueFd directory(::open(Root("").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    ASSERT_TRUE(directory.valid());
    size_t removed = 0;
    EXPECT_EQ(RemoveMatches(directory.get(), {"a.dat", "b.dat", "c.dat"}, &removed), kOk);
    EXPECT_EQ(removed, 2u);
    EXPECT_NE(::access(Root("a.dat").c_str(), F_OK), 0);
    EXPECT_NE(::access(Root("c.dat").c_str(), F_OK), 0);
    // Any other failure ends the delete there.
    WriteFile(Root("e.dat"), "e");
    removed = 0;
    EXPECT_EQ(RemoveMatches(directory.get(), {"Docs", "e.dat"}, &removed), kStatusProtected);
    EXPECT_EQ(removed, 0u);
    EXPECT_EQ(ReadFile(Root("e.dat")), "e");
}

TEST_F(TreeTest, RenameChangesOnlyCaseOfTheSameFileButReplacesNothingElse) {
    auto tree = MakeTree(Personality::kRecords);
    FileSpec from;
    FileSpec to;
    ParseFileSpec("TOP.DAT", Personality::kRecords, &from);
    ParseFileSpec("Top.Dat", Personality::kRecords, &to);
    EXPECT_EQ(tree->Rename(from, to), kOk);
    EXPECT_EQ(ReadFile(Root("Top.Dat")), "top");
    ParseFileSpec("[DOCS]README.TXT", Personality::kRecords, &from);
    EXPECT_EQ(tree->Rename(from, to), kStatusFileExists);
    EXPECT_EQ(ReadFile(Root("Docs/Readme.txt")), "readme");
}

TEST_F(TreeTest, ListingKeepsEntriesSortedAndMarksThoseItCannotDescribe) {
    ASSERT_EQ(::symlink("../outside/secret", Root("zz-out").c_str()), 0);
    auto tree = MakeTree(Personality::kStream);
    FileSpec spec;
    ParseFileSpec("*", Personality::kStream, &spec);
    ListingResult listing;
    ASSERT_EQ(tree->List(spec, &listing), kOk);
    ASSERT_EQ(listing.entries.size(), 3u);
    EXPECT_EQ(listing.entries[0].presentedName, "Docs");
    EXPECT_TRUE(S_ISDIR(listing.entries[0].info.mode));
    EXPECT_EQ(listing.entries[1].presentedName, "top.dat");
    EXPECT_EQ(listing.entries[1].info.size, 3);
    EXPECT_EQ(listing.entries[2].status, kStatusPrivilege);
}

}  // namespace
}  // namespace zeld
