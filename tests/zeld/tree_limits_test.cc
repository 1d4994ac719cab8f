// The bounds of a lookup, which a hostile tree (or a client that made one
// with md) could otherwise turn into a hang or an exhaustion of
// descriptors: links that lead round in a circle, chains of links, and
// directories nested deeper than a lookup holds open.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "support/test_paths.h"
#include "zeld/tree.h"

namespace zeld {
namespace {

class TreeLimits : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::mkdir(Root("").c_str(), 0755), 0);
        std::string error;
        tree = Tree::Open(Root(""), Personality::kStream, &error);
        ASSERT_NE(tree, nullptr) << error;
    }
    std::string Root(const std::string& name) const { return scratch / ("root/" + name); }
    StatusValue Open(const std::string& text) const {
        FileSpec spec;
        if (ParseFileSpec(text, Personality::kStream, &spec) != SpecError::kNone) return kStatusBadDirectoryName;
        OpenedFile file;
        return tree->OpenEntry(spec, &file);
    }

    zeltest::ScratchDir scratch;
    std::unique_ptr<Tree> tree;
};

TEST_F(TreeLimits, LinksInACircleAreRefusedNotFollowedForever) {
    ASSERT_EQ(::symlink("b", Root("a").c_str()), 0);
    ASSERT_EQ(::symlink("a", Root("b").c_str()), 0);
    ASSERT_EQ(::symlink(".", Root("self").c_str()), 0);
    EXPECT_EQ(Open("a"), kStatusPrivilege);
    EXPECT_EQ(Open("a/x"), kStatusPrivilege);
    EXPECT_EQ(Open("self/self/self/a"), kStatusPrivilege);
}

TEST_F(TreeLimits, AChainOfFortyLinksIsFollowedAndOneMoreIsRefused) {
    zeltest::WriteFile(Root("end"), "the end");
    std::string previous = "end";
    for (int i = 1; i <= 41; ++i) {
        const std::string name = "link" + std::to_string(i);
        ASSERT_EQ(::symlink(previous.c_str(), Root(name).c_str()), 0);
        previous = name;
    }
    EXPECT_EQ(Open("link40"), kOk);
    EXPECT_EQ(Open("link41"), kStatusPrivilege);
}

TEST_F(TreeLimits, DirectoriesNestedDeeperThanALookupHoldsAreRefused) {
    std::string path;
    for (int level = 0; level < 70; ++level) {
        path += (level == 0 ? "" : "/") + std::string("d");
        ASSERT_EQ(::mkdir(Root(path).c_str(), 0755), 0);
    }
    zeltest::WriteFile(Root(path + "/deep.txt"), "deep");
    EXPECT_EQ(Open(path + "/deep.txt"), kStatusBadDirectoryName);
    // At a depth a lookup holds, the file is there.
    std::string shallow;
    for (int level = 0; level < 60; ++level) shallow += (level == 0 ? "" : "/") + std::string("d");
    zeltest::WriteFile(Root(shallow + "/file.txt"), "file");
    EXPECT_EQ(Open(shallow + "/file.txt"), kOk);
}

}  // namespace
}  // namespace zeld
