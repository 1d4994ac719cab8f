#include "zel32/transport/local_file.h"

#include <gtest/gtest.h>

#include "codec_context.h"
#include "support/test_paths.h"

namespace zeltest {
namespace {

TEST(LocalFiles, OpeningAMissingFileForReadingGives7) {
    ScratchDir dir;
    CodecContext codec;
    EXPECT_EQ(RfaOpenLocalFile(codec.context(), (dir / "missing").c_str(), host::kOpenRead), -1);
    EXPECT_EQ(codec.errorCode(), 7);
    EXPECT_EQ(RfaOpenLocalFile(codec.context(), (dir / "missing").c_str(), host::kOpenReadWrite), -1);
    EXPECT_EQ(RfaOpenLocalFile(codec.context(), dir.path().c_str(), host::kOpenRead), -1);  // a directory
}

TEST(LocalFiles, CreateTruncatesAndHandlesAreNeverZero) {
    ScratchDir dir;
    WriteFile(dir / "f", "old content");
    CodecContext codec;
    const intptr_t file = RfaOpenLocalFile(codec.context(), (dir / "f").c_str(), host::kOpenCreate);
    ASSERT_GT(file, 0);
    EXPECT_EQ(RfaWriteLocalFile(codec.context(), file, "new", 3), 3);
    EXPECT_EQ(RfaCloseLocalFile(codec.context(), file), 1);
    EXPECT_EQ(ReadFile(dir / "f"), "new");
}

TEST(LocalFiles, ReadGivesCountsAndZeroAtTheEnd) {
    ScratchDir dir;
    WriteFile(dir / "f", "abcdef");
    CodecContext codec;
    const intptr_t file = RfaOpenLocalFile(codec.context(), (dir / "f").c_str(), host::kOpenRead);
    char buffer[4];
    EXPECT_EQ(RfaReadLocalFile(codec.context(), file, buffer, 4), 4);
    EXPECT_EQ(RfaReadLocalFile(codec.context(), file, buffer, 4), 2);
    EXPECT_EQ(RfaReadLocalFile(codec.context(), file, buffer, 4), 0);
    EXPECT_EQ(RfaCloseLocalFile(codec.context(), file), 1);
}

TEST(LocalFiles, BadHandlesAndBuffers) {
    CodecContext codec;
    char buffer[4];
    // Reading refuses every handle not above 0 before touching the system.
    EXPECT_EQ(RfaReadLocalFile(codec.context(), -1, buffer, 4), -1);
    EXPECT_EQ(codec.errorCode(), 8);
    EXPECT_EQ(RfaReadLocalFile(codec.context(), 0, buffer, 4), -1);
    EXPECT_EQ(codec.errorCode(), 8);
    // Writing refuses only 0; a negative handle fails in the write itself.
    EXPECT_EQ(RfaWriteLocalFile(codec.context(), 0, buffer, 4), -1);
    EXPECT_EQ(codec.errorCode(), 8);
    EXPECT_EQ(RfaWriteLocalFile(codec.context(), -1, buffer, 4), -1);
    EXPECT_EQ(codec.errorCode(), 1);
    EXPECT_EQ(RfaReadLocalFile(codec.context(), 5, nullptr, 4), -1);
    EXPECT_EQ(codec.errorCode(), 1);
    EXPECT_EQ(RfaCloseLocalFile(codec.context(), -1), -1);
    EXPECT_EQ(codec.errorCode(), 1);
}

TEST(LocalFiles, AWriteToAFullDeviceGives1WithTheBytesWritten) {
    CodecContext codec;
    const intptr_t file = RfaOpenLocalFile(codec.context(), "/dev/full", host::kOpenReadWrite);
    ASSERT_GT(file, 0);
    EXPECT_EQ(RfaWriteLocalFile(codec.context(), file, "abc", 3), -1);
    EXPECT_EQ(codec.errorCode(), 1);
    EXPECT_EQ(codec.errorValue(), 0);
    RfaCloseLocalFile(codec.context(), file);
}

}  // namespace
}  // namespace zeltest
