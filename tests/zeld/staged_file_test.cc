// An upload's file as the session feeds it: blocks received into the file's
// own buffer (BlockArea) are held and their records written from where they
// lie; records of other blocks are copied. Whatever the mix, the file gets
// every record once and in order, the buffer is never reused while records
// in it wait, and a failed write fails the upload.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include "support/test_paths.h"
#include "wire/message_types.h"
#include "zeld/staged_file.h"
#include "zeld/tree.h"

namespace zeld {
namespace {

using zeltest::ReadFile;

// A block as a client sends it: each record behind a three-byte stand-in
// for its message header.
struct Block {
    std::vector<uint8_t> bytes;
    std::vector<size_t> offsets;  // where each record begins
    std::vector<size_t> lengths;

    void Add(const std::string& record) {
        bytes.insert(bytes.end(), {0x06, 0x00, 0x00});
        offsets.push_back(bytes.size());
        lengths.push_back(record.size());
        bytes.insert(bytes.end(), record.begin(), record.end());
    }
};

// Records of lengths 1 to 600 whose bytes tell them apart.
std::string Record(size_t number) {
    std::string record(1 + (number * 37) % 600, '\0');
    for (size_t i = 0; i < record.size(); ++i) record[i] = static_cast<char>('A' + (number + i) % 53);
    return record;
}

// Fills `block` nearly to a transmission block's size with records from
// `*number` on, and appends them to `*expected`.
void FillBlock(Block* block, size_t* number, std::string* expected) {
    while (block->bytes.size() < wire::kMaxBlock - 700) {
        block->Add(Record(*number));
        expected->append(Record((*number)++));
    }
}

class StagedFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        tree = Tree::Open(scratch.path(), Personality::kStream, &error);
        ASSERT_NE(tree, nullptr) << error;
    }

    StatusValue Begin(StagedFile* upload, const std::string& name, bool asLines = false) {
        FileSpec spec;
        if (ParseFileSpec(name, Personality::kStream, &spec) != SpecError::kNone) return kStatusWriteError;
        CreateTarget target;
        const StatusValue found = tree->FindCreateTarget(spec, &target);
        if (found != kOk) return found;
        return upload->Create(std::move(target), asLines, 0644);
    }

    // Hands `block` to the upload as the session does: received at `at`
    // (the upload's area, or a buffer of the caller's), then each record written.
    static StatusValue Feed(StagedFile* upload, const Block& block, uint8_t* at) {
        std::memcpy(at, block.bytes.data(), block.bytes.size());
        upload->BeginBlock(at, block.bytes.size());
        StatusValue status = kOk;
        for (size_t i = 0; i < block.offsets.size() && status == kOk; ++i) {
            status = upload->Write(at + block.offsets[i], block.lengths[i]);
        }
        upload->EndBlock();
        return status;
    }

    zeltest::ScratchDir scratch;
    std::unique_ptr<Tree> tree;
    std::vector<uint8_t> outside = std::vector<uint8_t>(wire::kMaxBlock);
};

TEST_F(StagedFileTest, HeldAndCopiedRecordsReachTheFileInOrderAcrossManyRefillsOfTheBuffer) {
    StagedFile upload;
    ASSERT_EQ(Begin(&upload, "mixed.bin"), kOk);
    std::string expected;
    size_t number = 0;
    std::vector<uint8_t*> areas;
    // Forty blocks, every third received outside the area: the buffer
    // holds eight blocks, so it is written and taken again many times.
    for (int b = 0; b < 40; ++b) {
        Block block;
        FillBlock(&block, &number, &expected);
        uint8_t* area = upload.BlockArea(wire::kMaxBlock);
        ASSERT_NE(area, nullptr);
        if (b % 3 == 2) {
            ASSERT_EQ(Feed(&upload, block, outside.data()), kOk);
        } else {
            areas.push_back(area);
            ASSERT_EQ(Feed(&upload, block, area), kOk);
        }
    }
    // The area moved on and came back: blocks were held side by side and
    // the buffer reused once they were written.
    EXPECT_NE(areas[0], areas[1]);
    EXPECT_GT(std::count(areas.begin(), areas.end(), areas[0]), 1);
    EXPECT_EQ(upload.bytes(), expected.size());
    ASSERT_EQ(upload.Commit(nullptr), kOk);
    EXPECT_EQ(ReadFile(scratch / "mixed.bin"), expected);
}

TEST_F(StagedFileTest, MoreRecordsInOneHeldBlockThanOneWriteTakes) {
    StagedFile upload;
    ASSERT_EQ(Begin(&upload, "tiny.bin"), kOk);
    Block block;
    std::string expected;
    for (size_t i = 0; i < 5000; ++i) {
        const std::string record(1, static_cast<char>('a' + i % 26));
        block.Add(record);
        expected += record;
    }
    uint8_t* area = upload.BlockArea(wire::kMaxBlock);
    ASSERT_NE(area, nullptr);
    ASSERT_EQ(Feed(&upload, block, area), kOk);
    ASSERT_EQ(upload.Commit(nullptr), kOk);
    EXPECT_EQ(ReadFile(scratch / "tiny.bin"), expected);
}

TEST_F(StagedFileTest, AnUploadThatBeginsInsideAHeldBlockKeepsItsRecordsThere) {
    // A short block is held at the start of the buffer; the next one, held
    // behind it, ends the first upload and begins a second, whose records
    // wait in it when the handling ends. The second upload's next block
    // must be received behind them, not over them.
    StagedFile upload;
    ASSERT_EQ(Begin(&upload, "first.bin"), kOk);
    Block opening;
    opening.Add("first:1;");
    ASSERT_EQ(Feed(&upload, opening, upload.BlockArea(wire::kMaxBlock)), kOk);

    Block turn;
    turn.Add("first:2;");
    std::string second;
    for (size_t i = 0; i < 20; ++i) {
        turn.Add(Record(i));
        second += Record(i);
    }
    uint8_t* area = upload.BlockArea(wire::kMaxBlock);
    ASSERT_NE(area, nullptr);
    std::memcpy(area, turn.bytes.data(), turn.bytes.size());
    upload.BeginBlock(area, turn.bytes.size());
    ASSERT_EQ(upload.Write(area + turn.offsets[0], turn.lengths[0]), kOk);
    ASSERT_EQ(upload.Commit(nullptr), kOk);
    ASSERT_EQ(Begin(&upload, "second.bin"), kOk);
    for (size_t i = 1; i < turn.offsets.size(); ++i) {
        ASSERT_EQ(upload.Write(area + turn.offsets[i], turn.lengths[i]), kOk);
    }
    upload.EndBlock();

    Block rest;
    size_t number = 100;
    FillBlock(&rest, &number, &second);
    uint8_t* next = upload.BlockArea(wire::kMaxBlock);
    ASSERT_NE(next, nullptr);
    EXPECT_GE(next, area + turn.bytes.size());
    ASSERT_EQ(Feed(&upload, rest, next), kOk);
    ASSERT_EQ(upload.Commit(nullptr), kOk);
    EXPECT_EQ(ReadFile(scratch / "first.bin"), "first:1;first:2;");
    EXPECT_EQ(ReadFile(scratch / "second.bin"), second);
}

TEST_F(StagedFileTest, LinesAreCopiedWithTheirEndsAndTakeNoArea) {
    StagedFile upload;
    ASSERT_EQ(Begin(&upload, "lines.txt", true), kOk);
    EXPECT_EQ(upload.BlockArea(wire::kMaxBlock), nullptr);
    Block block;
    block.Add("one");
    block.Add("");
    block.Add("three");
    ASSERT_EQ(Feed(&upload, block, outside.data()), kOk);
    EXPECT_EQ(upload.bytes(), 11u);
    ASSERT_EQ(upload.Commit(nullptr), kOk);
    EXPECT_EQ(ReadFile(scratch / "lines.txt"), "one\n\nthree\n");
    // With no upload active there is no area either.
    EXPECT_EQ(upload.BlockArea(wire::kMaxBlock), nullptr);
}

TEST_F(StagedFileTest, AFailedWriteFailsTheUploadAndTakesTheAreaAway) {
    // In a child whose files may not grow past 100000 bytes: the write made
    // to find room for a block fails, no area is offered after it, the
    // records written after it and the commit report the failure, and the
    // target never appears.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit = {100000, 100000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        StagedFile upload;
        if (Begin(&upload, "big.bin") != kOk) ::_exit(10);
        Block block;
        size_t number = 0;
        std::string sent;
        FillBlock(&block, &number, &sent);
        int code = 11;
        for (int b = 0; b < 16; ++b) {
            uint8_t* area = upload.BlockArea(wire::kMaxBlock);
            if (area == nullptr) {
                code = 0;
                break;
            }
            if (Feed(&upload, block, area) != kOk) ::_exit(12);
        }
        if (code == 0 && Feed(&upload, block, outside.data()) == kOk) code = 13;
        if (code == 0 && upload.Commit(nullptr) == kOk) code = 14;
        ::_exit(code);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    struct stat info {};
    EXPECT_NE(::stat((scratch / "big.bin").c_str(), &info), 0);
}

}  // namespace
}  // namespace zeld
