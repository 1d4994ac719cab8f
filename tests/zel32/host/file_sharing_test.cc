// Local files are shared for reading only: readers open a file together,
// one that may write has it alone, and an open that finds the file held
// fails as any failed open does (error 7), touching nothing of the file.
// Also two links of one process tracing to one file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "codec_context.h"
#include "host_probes.h"
#include "peer_link.h"
#include "support/test_paths.h"
#include "trace_text.h"
#include "zel32/protocol/context.h"
#include "zel32/transport/local_file.h"

namespace zeltest {
namespace {

class FileSharing : public ::testing::Test {
protected:
    intptr_t Open(host::OpenMode mode) { return RfaOpenLocalFile(codec_.context(), path_.c_str(), mode); }
    // The open is refused as a file that cannot be opened: 7, value 0.
    void ExpectRefused(host::OpenMode mode) {
        RfaClearError(codec_.context());
        EXPECT_EQ(Open(mode), -1) << mode;
        EXPECT_EQ(codec_.errorCode(), 7) << mode;
        EXPECT_EQ(codec_.errorValue(), 0) << mode;
    }
    void Write(intptr_t file, const std::string& text) {
        ASSERT_EQ(RfaWriteLocalFile(codec_.context(), file, text.data(), static_cast<uint32_t>(text.size())),
                  static_cast<int32_t>(text.size()));
    }
    void Close(intptr_t file) { ASSERT_EQ(RfaCloseLocalFile(codec_.context(), file), 1); }

    ScratchDir scratch_;
    std::string path_ = scratch_ / "shared.txt";
    CodecContext codec_;
};

TEST_F(FileSharing, ANewFileIsCreatedOnlyWhereNoFileOrLinkIs) {
    // What a download that keeps existing files creates: never a name that
    // another link took a moment before, nor through a link left there.
    const intptr_t created = Open(host::kOpenCreateNew);
    ASSERT_GT(created, 0);
    Write(created, "mine");
    ExpectRefused(host::kOpenCreateNew);
    Close(created);
    ExpectRefused(host::kOpenCreateNew);
    EXPECT_EQ(ReadFile(path_), "mine");
    const std::string link = scratch_ / "link.txt";
    ASSERT_EQ(::symlink((scratch_ / "elsewhere.txt").c_str(), link.c_str()), 0);
    RfaClearError(codec_.context());
    EXPECT_EQ(RfaOpenLocalFile(codec_.context(), link.c_str(), host::kOpenCreateNew), -1);
    EXPECT_EQ(codec_.errorCode(), 7);
    EXPECT_FALSE(std::filesystem::exists(scratch_ / "elsewhere.txt"));
}

TEST_F(FileSharing, AFileHeldForWritingOpensForNothingElseAndKeepsItsContent) {
    const intptr_t writer = Open(host::kOpenCreate);
    ASSERT_GT(writer, 0);
    Write(writer, "first ");
    // A second create would have emptied the file before anything else.
    ExpectRefused(host::kOpenCreate);
    ExpectRefused(host::kOpenReadWrite);
    ExpectRefused(host::kOpenRead);
    EXPECT_EQ(ReadFile(path_), "first ");
    // The writer goes on where it was.
    Write(writer, "writer");
    Close(writer);
    EXPECT_EQ(ReadFile(path_), "first writer");
    // The refused opens left no descriptor behind.
    EXPECT_FALSE(HoldsOpen(std::filesystem::canonical(path_)));

    // Closed, the file opens again; a create empties it once it holds it.
    const intptr_t again = Open(host::kOpenCreate);
    ASSERT_GT(again, 0);
    Close(again);
    EXPECT_EQ(ReadFile(path_), "");
}

TEST_F(FileSharing, ReadersShareAFileThatNoWriterMayOpenMeanwhile) {
    WriteFile(path_, "shared content");
    const intptr_t first = Open(host::kOpenRead);
    const intptr_t second = Open(host::kOpenRead);
    ASSERT_GT(first, 0);
    ASSERT_GT(second, 0);
    ExpectRefused(host::kOpenCreate);
    ExpectRefused(host::kOpenReadWrite);
    EXPECT_EQ(ReadFile(path_), "shared content");
    Close(first);
    // One reader is enough to keep writers out.
    ExpectRefused(host::kOpenReadWrite);
    Close(second);

    const intptr_t writer = Open(host::kOpenReadWrite);
    ASSERT_GT(writer, 0);
    Close(writer);
}

TEST(FileSharingOfTraces, ASecondLinkCannotTraceToAFileAnotherTracesTo) {
    ClearNotifications();
    ScratchDir scratch;
    const std::string path = scratch / "trace.txt";
    PeerLink first({});
    PeerLink second({});
    ASSERT_EQ(StartTrace(first.handle(), path, false), 0);
    for (const bool append : {false, true}) {
        EXPECT_EQ(StartTrace(second.handle(), path, append), 7) << append;
        EXPECT_EQ(second.Look().errorValue, 0) << append;
        EXPECT_EQ(second.context()->traceOn, 0u) << append;
    }
    EXPECT_EQ(first.context()->traceOn, 1u);
    EXPECT_EQ(ReadFile(path), Banner(first.handle()));

    // Once the first trace is stopped, the second link appends behind it.
    ASSERT_EQ(StopTrace(first.handle()), 0);
    ASSERT_EQ(StartTrace(second.handle(), path, true), 0);
    ASSERT_EQ(StopTrace(second.handle()), 0);
    EXPECT_EQ(ReadFile(path), Banner(first.handle()) + Banner(second.handle()));
}

}  // namespace
}  // namespace zeltest
