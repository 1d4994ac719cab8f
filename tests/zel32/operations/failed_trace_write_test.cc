// Operations whose trace write fails, against the scripted peer: the
// operation fails with error 1 and the message whose trace failed does not
// reach the peer, neither then nor with a later operation, while records
// queued before it still leave exactly once.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>

#include "peer_link.h"
#include "support/test_paths.h"
#include "trace_text.h"
#include "transfer_script.h"
#include "zel32/api/link.h"
#include "zel32/api/link_table.h"
#include "zel32/protocol/configuration.h"

namespace zeltest {
namespace {

// While it lives, no file of the process grows past `size` bytes: a trace
// write beyond fails (SIGXFSZ ignored), as on a full file system.
class FileSizeLimit {
public:
    explicit FileSizeLimit(uintmax_t size) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        handler_ = ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limited{static_cast<rlim_t>(size), saved_.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        ::signal(SIGXFSZ, handler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*handler_)(int) = nullptr;
};

Script OpenSteps() {
    return {expect(SentAttributes() + OpenAccess("A.TXT")), reply(RemoteAttributes(2, 0x00) + Acknowledge()),
            expect(OpenConnectControl()), reply(Acknowledge())};
}

// Opening A.TXT and writing records of three characters, which leave with
// the Close's Access Complete.
Script WriteAndClose(const Bytes& records) {
    return Joined({OpenSteps(), {expect(RecordControl(4, 3)), expect(records + CloseAccessComplete()),
                                 reply(AccessComplete()), expectSilence(150)}});
}

Bytes DeleteAccess() { return SentAccess(4, "B", 0x02, {0x31}); }

// The trace of a sent message as written: its text (the time 20
// characters long) and its dump.
std::string TracedMessage(const std::string& type, const std::string& blocked, const Bytes& message,
                          const std::string& operation) {
    std::string dump;
    for (size_t i = 0; i < message.size(); ++i) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", message[i]);
        dump += (i % 20 == 0 ? "\r\n   " : " ") + std::string(hex);
    }
    return Sent(type, blocked, static_cast<int>(message.size()), operation) + dump;
}
constexpr size_t kTimeLength = 20;  // "Jan 01 00:00:00 2024" in place of "TIME"

class FailedTraceWrite : public ::testing::Test {
protected:
    void SetUp() override {
        ZelResetConfigTemplate();
        ClearNotifications();
    }
    void Trace(const PeerLink& link) {
        std::strcpy(RfaLinkAt(link.handle())->nodeName, "node");
        ASSERT_EQ(StartTrace(link.handle(), path_, false), 0);
    }
    void OpenAndWrite(const PeerLink& link, std::initializer_list<const char*> records) {
        Trace(link);
        ASSERT_EQ(RfaOpenFile(link.handle(), "A.TXT"), 0);
        for (const char* record : records) {
            uint16_t result = 0;
            ASSERT_EQ(RfaWriteFile(link.handle(), 3, record, &result), 0);
        }
    }
    uintmax_t TraceSize() const { return std::filesystem::file_size(path_); }

    ScratchDir scratch_;
    std::string path_ = scratch_ / "trace.txt";
};

TEST_F(FailedTraceWrite, AWriteWhoseTraceFailedSendsNothingAndItsRetrySendsTheRecordOnce) {
    PeerLink link(WriteAndClose(SentData(Text("ONE")) + SentData(Text("TWO"))));
    OpenAndWrite(link, {"ONE"});
    uint16_t result = 0;
    {
        const FileSizeLimit full(TraceSize());
        EXPECT_EQ(RfaWriteFile(link.handle(), 3, "TWO", &result), 1);
    }
    EXPECT_EQ(RfaWriteFile(link.handle(), 3, "TWO", &result), 0);
    EXPECT_EQ(RfaCloseFile(link.handle()), 0);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
}

TEST_F(FailedTraceWrite, ACloseWhoseTraceFailedKeepsTheRecordsForItsRetry) {
    PeerLink link(WriteAndClose(SentData(Text("ONE")) + SentData(Text("TWO"))));
    OpenAndWrite(link, {"ONE", "TWO"});
    {
        const FileSizeLimit full(TraceSize());
        EXPECT_EQ(RfaCloseFile(link.handle()), 1);
    }
    EXPECT_EQ(RfaCloseFile(link.handle()), 0);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
}

// A request of several messages (Attributes, then Access) whose trace
// fails at either message leaves none of them for the next operation.
TEST_F(FailedTraceWrite, ARequestWhoseTraceFailedLeavesNothingForTheNextOperation) {
    const std::string attributes = TracedMessage("Attributes", "Blocked", SentAttributes(), "Md");
    const std::string openAttributes = TracedMessage("Attributes", "Blocked", SentAttributes(), "Open Remote File");
    struct Case {
        const char* name;
        bool open;              // RfaOpenFile, else RfaMd
        std::string traceKept;  // what the trace holds of the request
    };
    for (const Case& failed : {Case{"Md at its Attributes", false, ""}, Case{"Md at its Access", false, attributes},
                               Case{"Open at its Access", true, openAttributes}}) {
        SCOPED_TRACE(failed.name);
        PeerLink link({expect(DeleteAccess()), reply(AccessComplete()), expectSilence(150)});
        Trace(link);
        const uintmax_t banner = TraceSize();
        {
            const size_t kept = failed.traceKept.empty() ? 0 : failed.traceKept.size() - 4 + kTimeLength;
            const FileSizeLimit full(banner + kept);
            EXPECT_EQ(failed.open ? RfaOpenFile(link.handle(), "A.TXT") : RfaMd(link.handle(), "D"), 1);
        }
        EXPECT_EQ(Masked(ReadFile(path_)), Banner(link.handle()) + failed.traceKept);
        EXPECT_EQ(RfaDelete(link.handle(), "B"), 0);
        EXPECT_TRUE(link.Finish()) << link.peer().report();
    }
}

TEST_F(FailedTraceWrite, ARequestWhoseTraceFailedKeepsTheRecordsQueuedBeforeIt) {
    PeerLink link(WriteAndClose(SentData(Text("ONE"))));
    OpenAndWrite(link, {"ONE"});
    const std::string attributes = TracedMessage("Attributes", "Blocked", SentAttributes(), "Md");
    {
        const FileSizeLimit full(TraceSize() + attributes.size() - 4 + kTimeLength);
        EXPECT_EQ(RfaMd(link.handle(), "D"), 1);
    }
    EXPECT_EQ(RfaCloseFile(link.handle()), 0);
    EXPECT_TRUE(link.Finish()) << link.peer().report();
}

}  // namespace
}  // namespace zeltest
