// The trace file through RfaIoctl against the scripted peer: the exact text
// of a traced session (banner, message blocks with their hex dumps, the
// Status lines, the send block lines and the statistics at close), the
// blocks of malformed headers, starting and stopping a trace, the date
// choice and the function codes that do nothing.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>

#include "host_probes.h"
#include "peer_link.h"
#include "request_messages.h"
#include "support/test_paths.h"
#include "trace_text.h"
#include "zel32/api/link.h"
#include "zel32/api/link_table.h"
#include "zel32/protocol/context.h"
#include "zel32/trace/message_trace.h"

namespace zeltest {
namespace {

class Trace : public ::testing::Test {
protected:
    void SetUp() override { ClearNotifications(); }
    ScratchDir scratch_;
    std::string path_ = scratch_ / "trace.txt";
};

// A Name with STREAMID and a two-byte LENGTH (FLAGS 0x05).
const Bytes kNameWithStreamId = {0x0F, 0x05, 0x00, 0x0D, 0x00, 0x02, 0x0B, 'A', 'B', 'C', 'D',
                                 'E',  'F',  'G',  'H',  '.',  'T',  'X'};

TEST_F(Trace, ATracedSessionWritesBannerBlocksDumpsStatusLinesAndStatistics) {
    PeerLink link({expect(Access(4, "ABCDEFGH.TX", 0x02, kDisplayMain)), reply(kNameWithStreamId + Acknowledge()),
                   reply(AccessComplete()),                                             // 20-byte Access
                   expect(Access(4, "ABCDEFGH.TXT", 0x02, kDisplayMain)), reply(Status(0x80D0)),  // 21 bytes
                   expect(Access(4, "A.TXT", 0x02, kDisplayMain)), reply(Status(0x0000)),
                   expect(Access(4, "B", 0x02, kDisplayMain)), reply({0x13, 0x00}),  // type 19
                   expect(Access(4, "C", 0x02, kDisplayMain)), reply({0x14, 0x00}),  // type 20
                   expect(SentAttributes() + Access(2, "D", 0x02, kDisplayMain)), reply(AccessComplete()),
                   expect(AccessComplete(1)), reply(AccessComplete())});
    ASSERT_EQ(link.openResult(), 0);
    const RfaHandle handle = link.handle();
    std::strcpy(RfaLinkAt(handle)->nodeName, "node");
    ASSERT_EQ(StartTrace(handle, path_, false), 0);
    EXPECT_EQ(RfaDelete(handle, "ABCDEFGH.TX"), 0);
    EXPECT_EQ(RfaDelete(handle, "ABCDEFGH.TXT"), 20);
    EXPECT_EQ(RfaDelete(handle, "A.TXT"), 20);
    EXPECT_EQ(RfaDelete(handle, "B"), 20);
    EXPECT_EQ(RfaDelete(handle, "C"), 20);
    EXPECT_EQ(RfaMd(handle, "D"), 0);
    EXPECT_EQ(RfaAbort(handle), 0);
    EXPECT_EQ(link.Close(), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_FALSE(HoldsOpen(std::filesystem::canonical(path_)));

    const std::string expected =
        Banner(handle) +
        // A 20-byte message: one dump line.
        Sent("Access", "Unblocked", 20, "Delete File") +
        "\r\n   03 00 04 00 0b 41 42 43 44 45 46 47 48 2e 54 58 02 00 31 00" + SentOverLink(2, 20) +
        // FLAGS 0x05: STREAMID and a two-byte length, 5 header bytes.
        Received("Name", "Blocked", 18, "Delete File") +
        "\r\n   0f 05 00 0d 00 02 0b 41 42 43 44 45 46 47 48 2e 54 58" +
        Received("Acknowledge", "Unblocked", 2, "Delete File") + "\r\n   06 00" +
        Received("Access Complete", "Unblocked", 3, "Delete File") + "\r\n   07 00 01" +
        // A 21-byte message: a second line with one byte.
        Sent("Access", "Unblocked", 21, "Delete File") +
        "\r\n   03 00 04 00 0c 41 42 43 44 45 46 47 48 2e 54 58 54 02 00 31\r\n   00" + SentOverLink(2, 21) +
        Received("Status", "Unblocked", 4, "Delete File") + "\r\n   09 00 d0 80" +
        "\r\nMACCODE = 0x8 (Format)\r\nMICCODE = 0xd0 (Message Error) ACC - ACCFUNC" +
        Sent("Access", "Unblocked", 14, "Delete File") + "\r\n   03 00 04 00 05 41 2e 54 58 54 02 00 31 00" +
        SentOverLink(2, 14) + Received("Status", "Unblocked", 4, "Delete File") + "\r\n   09 00 00 00" +
        "\r\nMACCODE = 0 (Pending)\r\nMICCODE = 000 (Operational Error) Unspecified error" +
        // Type 19 is traced with an empty name; type 20 not at all.
        Sent("Access", "Unblocked", 10, "Delete File") + "\r\n   03 00 04 00 01 42 02 00 31 00" +
        SentOverLink(2, 10) + Received("", "Unblocked", 2, "Delete File") + "\r\n   13 00" +
        Sent("Access", "Unblocked", 10, "Delete File") + "\r\n   03 00 04 00 01 43 02 00 31 00" +
        SentOverLink(2, 10) +
        // An Attributes message waits in the block for the Access behind it.
        Sent("Attributes", "Blocked", 10, "Md") + "\r\n   02 02 07 2f 01 00 04 00 00 00" +
        Sent("Access", "Unblocked", 10, "Md") + "\r\n   03 00 02 00 01 44 02 00 31 00" + SentOverLink(2, 20) +
        Received("Access Complete", "Unblocked", 3, "Md") + "\r\n   07 00 01" +
        // An Abort transmits its (empty) block before each message.
        SentOverLink(1, 0) + Sent("Access Complete", "Unblocked", 3, "Abort") + "\r\n   07 00 01" +
        SentOverLink(2, 3) + Received("Access Complete", "Unblocked", 3, "Abort") + "\r\n   07 00 01" +
        // The statistics, counting the Configuration exchange before the trace.
        "\r\n\r\nStatistics of Session 0:\r\n\r\n Number Messages Sent/Received:\r\n"
        "\r\n   CNF: = 1   /1      ATT: = 1   /0      ACC: = 6   /0   "
        "\r\n   CTL: = 0   /0      CTR: = 0   /0      ACK: = 0   /1   "
        "\r\n   CMP: = 1   /3      DAT: = 0   /0      STA: = 0   /2   "
        "\r\n   KEY: = 0   /0      ALC: = 0   /0      SUM: = 0   /0   "
        "\r\n   DTM: = 0   /0      PRO: = 0   /0      NAM: = 0   /1   "
        "\r\n   ACL: = 0   /0      CTB: = 0   /0      CDA: = 0   /0   "
        "\r\n   TRA: = 0   /1   ";
    EXPECT_EQ(Masked(ReadFile(path_)), expected);
}

TEST_F(Trace, AMalformedHeaderIsTracedWithTheBytesReceivedOnly) {
    PeerLink link({expect(Access(4, "A", 0x02, kDisplayMain)), reply({0x08, 0x02, 0x10, 0x00, 0x41}),  // LENGTH 16
                   expect(Access(4, "B", 0x02, kDisplayMain)), reply({0x02, 0x08, 0x01, 0x02})});      // BITCNT
    std::strcpy(RfaLinkAt(link.handle())->nodeName, "node");
    ASSERT_EQ(StartTrace(link.handle(), path_, false), 0);
    EXPECT_EQ(RfaDelete(link.handle(), "A"), 20);
    EXPECT_EQ(RfaDelete(link.handle(), "B"), 20);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(Masked(ReadFile(path_)),
              Banner(link.handle()) + Sent("Access", "Unblocked", 10, "Delete File") +
                  "\r\n   03 00 04 00 01 41 02 00 31 00" + SentOverLink(2, 10) +
                  Received("Data", "Blocked", 5, "Delete File") + "\r\n   08 02 10 00 41" +
                  Sent("Access", "Unblocked", 10, "Delete File") + "\r\n   03 00 04 00 01 42 02 00 31 00" +
                  SentOverLink(2, 10) + Received("Attributes", "Blocked", 4, "Delete File") + "\r\n   02 08 01 02");
}

TEST_F(Trace, ABlockWithoutBytesWritesNothingAfterItsText) {
    PeerLink link({});
    std::strcpy(RfaLinkAt(link.handle())->nodeName, "node");
    ASSERT_EQ(StartTrace(link.handle(), path_, false), 0);
    ZelContext* context = link.context();
    context->operation = kOpCwd;
    ASSERT_EQ(ZelTraceMessage(context, true, 6, 0x00, 2, nullptr, 0), 1);
    EXPECT_EQ(Masked(ReadFile(path_)), Banner(link.handle()) + Sent("Acknowledge", "Unblocked", 2, "Cwd"));
}

TEST_F(Trace, AFailedDumpCountsTheBytesTheWholeDumpHadWritten) {
    // Under a file-size limit that stops the dump 6000 bytes in: the dump
    // goes out a few kilobytes at a time, and the count is of the whole.
    PeerLink link({});
    std::strcpy(RfaLinkAt(link.handle())->nodeName, "node");
    ASSERT_EQ(StartTrace(link.handle(), path_, false), 0);
    ZelContext* context = link.context();
    context->operation = kOpCwd;
    const uintmax_t banner = std::filesystem::file_size(path_);
    ASSERT_EQ(ZelTraceMessage(context, true, 8, 0x00, 3000, nullptr, 0), 1);
    const uintmax_t traced = std::filesystem::file_size(path_);
    const Bytes data(3000, 0x5A);                             // written as 9600 bytes of dump
    const rlim_t limit = traced + (traced - banner) + 6000;  // the same text again, then 6000
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto savedHandler = ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limited{limit, saved.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const int result = ZelTraceMessage(context, true, 8, 0x00, 3000, data.data(), data.size());
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, savedHandler);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(link.Look().errorCode, 1);
    EXPECT_EQ(link.Look().errorValue, 6000);
    EXPECT_EQ(std::filesystem::file_size(path_), limit);
}

// ---- Starting and stopping ---------------------------------------------------

TEST_F(Trace, AppendingToAMissingFileFailsWith7AndLeavesTheLinkUntraced) {
    PeerLink link({expect(Access(4, "A", 0x02, kDisplayMain)), reply(AccessComplete())});
    EXPECT_EQ(StartTrace(link.handle(), path_, true), 7);
    EXPECT_EQ(link.Look().errorValue, 0);
    EXPECT_EQ(link.context()->traceOn, 0u);
    EXPECT_EQ(RfaDelete(link.handle(), "A"), 0);
    EXPECT_EQ(link.Close(), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_FALSE(std::filesystem::exists(path_));
}

TEST_F(Trace, CreatingReplacesAFileAndAppendingKeepsWhatItHeld) {
    WriteFile(path_, "an earlier file\r\n");
    PeerLink link({});
    ASSERT_EQ(StartTrace(link.handle(), path_, false), 0);
    EXPECT_EQ(ReadFile(path_), Banner(link.handle()));
    ASSERT_EQ(StopTrace(link.handle()), 0);

    WriteFile(path_, "an earlier trace\r\n");
    ASSERT_EQ(StartTrace(link.handle(), path_, true), 0);
    ASSERT_EQ(StopTrace(link.handle()), 0);
    EXPECT_EQ(ReadFile(path_), "an earlier trace\r\n" + Banner(link.handle()));
    EXPECT_FALSE(HoldsOpen(std::filesystem::canonical(path_)));
}

TEST_F(Trace, AppendingToAFifoWritesAfterWhatItHeld) {
    // A FIFO cannot seek: it is at its end already, as a pipe or a terminal is.
    ASSERT_EQ(::mkfifo(path_.c_str(), 0600), 0);
    const int reader = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    const int writer = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_EQ(::write(writer, "earlier\r\n", 9), 9);
    PeerLink link({});
    EXPECT_EQ(StartTrace(link.handle(), path_, true), 0);
    EXPECT_EQ(link.context()->traceOn, 1u);
    EXPECT_EQ(StopTrace(link.handle()), 0);
    ::close(writer);
    std::string text(256, '\0');
    const ssize_t length = ::read(reader, text.data(), text.size());
    ::close(reader);
    ASSERT_GE(length, 0);
    text.resize(static_cast<size_t>(length));
    EXPECT_EQ(text, "earlier\r\n" + Banner(link.handle()));
}

TEST_F(Trace, StoppingWhenNoTraceIsOnFailsWith1) {
    PeerLink link({});
    EXPECT_EQ(StopTrace(link.handle()), 1);
    ASSERT_EQ(Notifications().size(), 1u);
    EXPECT_EQ(Notifications()[0].status, 0u);
}

TEST_F(Trace, StartingATraceWhileOneIsOnClosesTheOldFileFirst) {
    const std::string second = scratch_ / "second.txt";
    PeerLink link({expect(Access(4, "A", 0x02, kDisplayMain)), reply(AccessComplete())});
    ASSERT_EQ(StartTrace(link.handle(), path_, false), 0);
    ASSERT_EQ(StartTrace(link.handle(), second, false), 0);
    EXPECT_FALSE(HoldsOpen(std::filesystem::canonical(path_)));
    EXPECT_TRUE(HoldsOpen(std::filesystem::canonical(second)));
    EXPECT_EQ(RfaDelete(link.handle(), "A"), 0);
    EXPECT_EQ(link.Close(), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(ReadFile(path_), Banner(link.handle()));
    EXPECT_NE(ReadFile(second).find("Statistics of Session 0"), std::string::npos);
}

TEST_F(Trace, TraceFunctionsWithoutAnArgumentBlockFailWith4) {
    PeerLink link({});
    EXPECT_EQ(RfaIoctl(link.handle(), RFA_IOCTL_TRACE, nullptr), 4);
    EXPECT_EQ(RfaIoctl(link.handle(), RFA_IOCTL_DATE_CHOICE, nullptr), 4);
    uintptr_t noName[3] = {1, 0, 0};
    EXPECT_EQ(RfaIoctl(link.handle(), RFA_IOCTL_TRACE, noName), 4);
    EXPECT_EQ(link.context()->traceOn, 0u);
}

// ---- Other functions ---------------------------------------------------------

TEST_F(Trace, OtherFunctionCodesSucceedAndChangeNothing) {
    PeerLink link({expectSilence()});
    ASSERT_EQ(StartTrace(link.handle(), path_, false), 0);
    ClearNotifications();
    // Words that would mean something to the functions that read them: a
    // small code next to the defined ones must not take them for a procedure.
    uintptr_t words[3] = {1, 1, 1};
    for (const uint16_t code : {2, 3, 7, 0xFFFF}) EXPECT_EQ(RfaIoctl(link.handle(), code, words), 0) << code;
    EXPECT_EQ(RfaIoctl(link.handle(), 7, nullptr), 0);
    ZelContext* context = link.context();
    EXPECT_EQ(context->traceOn, 1u);
    EXPECT_EQ(context->useCreationDate, 1u);
    EXPECT_EQ(context->progress, nullptr);
    EXPECT_EQ(ReadFile(path_), Banner(link.handle()));
    ASSERT_EQ(Notifications().size(), 5u);
    EXPECT_EQ(Notifications()[0].status, 2u);
    EXPECT_EQ(link.Close(), 0);
    ASSERT_TRUE(link.Finish()) << link.peer().report();
    EXPECT_EQ(link.peer().received().size(), 1u);
}

TEST_F(Trace, TheDateChoiceIsStoredForFileSystemsThatHaveBothDates) {
    for (const uint8_t filesys : {1, 2, 3, 10}) {
        PeerConfig peer;
        peer.filesys = filesys;
        PeerLink link({}, peer);
        uintptr_t revision[1] = {0};
        uintptr_t creation[1] = {5};
        EXPECT_EQ(RfaIoctl(link.handle(), RFA_IOCTL_DATE_CHOICE, revision), 0) << int(filesys);
        EXPECT_EQ(link.context()->useCreationDate, 0u) << int(filesys);
        EXPECT_EQ(RfaIoctl(link.handle(), RFA_IOCTL_DATE_CHOICE, creation), 0) << int(filesys);
        EXPECT_EQ(link.context()->useCreationDate, 1u) << int(filesys);
    }
}

TEST_F(Trace, ElsewhereOnlyTheCreationDateCanBeChosen) {
    for (const uint8_t filesys : {0, 4, 12}) {
        PeerConfig peer;
        peer.filesys = filesys;
        PeerLink link({}, peer);
        uintptr_t revision[1] = {0};
        uintptr_t creation[1] = {1};
        EXPECT_EQ(RfaIoctl(link.handle(), RFA_IOCTL_DATE_CHOICE, revision), 16) << int(filesys);
        EXPECT_EQ(link.Look().errorValue, 0);
        EXPECT_EQ(link.context()->useCreationDate, 1u) << int(filesys);
        EXPECT_EQ(RfaIoctl(link.handle(), RFA_IOCTL_DATE_CHOICE, creation), 0) << int(filesys);
        EXPECT_EQ(link.context()->useCreationDate, 1u) << int(filesys);
    }
}

}  // namespace
}  // namespace zeltest
