// RfaOpenFile, RfaReadFile, RfaWriteFile and RfaCloseFile against a real
// zeld: a text file read record by record in both personalities, records
// appended to a file, and the refusals.
#include "e2e_fixture.h"

namespace e2etest {
namespace {

constexpr uint32_t kEndOfFile = 0x5027;
constexpr char kStory[] = "first line\nsecond line\n\nthe last line has no end";

class RemoteFiles : public EndToEnd {
protected:
    explicit RemoteFiles(const char* personality = "stream", std::vector<std::string> arguments = {})
        : EndToEnd(ZeldOptions{personality, "", std::move(arguments)}) {}

    // Reads the open file to its end with a buffer of `length` bytes: the
    // text of every call that returned some.
    static std::vector<std::string> ReadToEnd(const Link& link, uint16_t length) {
        std::vector<std::string> pieces;
        std::vector<char> buffer(length);
        for (int calls = 0; calls < 1000; ++calls) {
            uint16_t result = 0xFFFF;
            const int32_t code = RfaReadFile(link.handle(), length, buffer.data(), &result);
            EXPECT_EQ(code, RFA_OK) << "read " << pieces.size();
            if (code != RFA_OK) break;
            EXPECT_LT(result, length);
            EXPECT_EQ(buffer[result], '\0');
            if (result == 0 && static_cast<uint32_t>(link.Look().errorValue) == kEndOfFile) break;
            pieces.emplace_back(buffer.data(), result);
        }
        return pieces;
    }

    static std::string Joined(const std::vector<std::string>& pieces) {
        std::string text;
        for (const std::string& piece : pieces) text += piece;
        return text;
    }
};

TEST_F(RemoteFiles, AStreamTextFileIsReadLineByLineAsItIs) {
    WriteFile(server.Path("story.txt"), kStory);
    std::unique_ptr<Link> link = Connect();
    ASSERT_EQ(RfaOpenFile(link->handle(), "story.txt"), RFA_OK);
    EXPECT_EQ(ReadToEnd(*link, 200),
              (std::vector<std::string>{"first line\n", "second line\n", "\n", "the last line has no end"}));
    // Reads after the end return nothing, without waiting for the server.
    char buffer[16];
    uint16_t result = 1;
    EXPECT_EQ(RfaReadFile(link->handle(), sizeof buffer, buffer, &result), RFA_OK);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(static_cast<uint32_t>(link->Look().errorValue), kEndOfFile);
    EXPECT_EQ(RfaCloseFile(link->handle()), RFA_OK);
    // Open, six reads and close, each notified as a success.
    const std::vector<Notification> notifications = link->notifications();
    EXPECT_EQ(notifications.size(), 8u);
    for (const Notification& notification : notifications) EXPECT_EQ(notification.status, 2u);
}

TEST_F(RemoteFiles, ALineLongerThanTheBufferComesInPieces) {
    const std::string longLine = "a line much longer than the buffer of the reader";
    WriteFile(server.Path("long.txt"), "short\n" + longLine + "\nend\n");
    std::unique_ptr<Link> link = Connect();
    ASSERT_EQ(RfaOpenFile(link->handle(), "long.txt"), RFA_OK);
    const std::vector<std::string> pieces = ReadToEnd(*link, 8);
    for (const std::string& piece : pieces) EXPECT_LE(piece.size(), 7u) << piece;
    EXPECT_EQ(Joined(pieces), "short\n" + longLine + "\nend\n");
    EXPECT_EQ(RfaCloseFile(link->handle()), RFA_OK);
}

TEST_F(RemoteFiles, ClosingBeforeTheEndLeavesTheLinkUsable) {
    std::string many;
    for (int i = 0; i < 5000; ++i) many += "line " + std::to_string(i) + "\n";
    WriteFile(server.Path("many.txt"), many);
    WriteFile(server.Path("next.txt"), "next\n");
    std::unique_ptr<Link> link = Connect();
    ASSERT_EQ(RfaOpenFile(link->handle(), "many.txt"), RFA_OK);
    char buffer[64];
    uint16_t result = 0;
    ASSERT_EQ(RfaReadFile(link->handle(), sizeof buffer, buffer, &result), RFA_OK);
    EXPECT_EQ(std::string(buffer, result), "line 0\n");
    // The library documents that a record still coming fails the close.
    EXPECT_EQ(RfaCloseFile(link->handle()), RFA_ERR_PROTOCOL);
    EXPECT_EQ(RfaAbort(link->handle()), RFA_OK);
    ASSERT_EQ(link->Download("next.txt", Local("next.txt"), RFA_MODE_IMAGE), RFA_OK);
    EXPECT_EQ(ReadFile(Local("next.txt")), "next\n");
}

TEST_F(RemoteFiles, WrittenRecordsAreAppendedToAStreamFileAsTheyAre) {
    WriteFile(server.Path("log.txt"), "old\n");
    std::unique_ptr<Link> link = Connect();
    ASSERT_EQ(RfaOpenFile(link->handle(), "log.txt"), RFA_OK);
    for (const std::string record : {"one\n", "two", "\n"}) {
        uint16_t result = 0;
        EXPECT_EQ(RfaWriteFile(link->handle(), static_cast<uint16_t>(record.size()), record.data(), &result), RFA_OK);
        EXPECT_EQ(result, record.size());
    }
    EXPECT_EQ(RfaCloseFile(link->handle()), RFA_OK);
    EXPECT_EQ(ReadFile(server.Path("log.txt")), "old\none\ntwo\n");
}

TEST_F(RemoteFiles, OpeningAFileThatDoesNotExistIsFileNotFound) {
    std::unique_ptr<Link> link = Connect();
    EXPECT_EQ(RfaOpenFile(link->handle(), "missing.txt"), RFA_ERR_FILE_NOT_FOUND);
    EXPECT_EQ(link->Look().errorValue, 0x00040032);
}

TEST_F(RemoteFiles, AReadOfAFileThatDidNotOpenFailsAndTheLinkGoesOn) {
    WriteFile(server.Path("next.txt"), "next\n");
    std::unique_ptr<Link> link = Connect();
    ASSERT_EQ(RfaOpenFile(link->handle(), "missing.txt"), RFA_ERR_FILE_NOT_FOUND);
    // The server holds no access: the Read's Control is out of order.
    char buffer[64];
    uint16_t result = 1;
    EXPECT_EQ(RfaReadFile(link->handle(), sizeof buffer, buffer, &result), RFA_ERR_PROTOCOL);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(RfaDir(link->handle(), 0, "next.txt"), RFA_OK);
    EXPECT_NE(link->Listing().find("'next.txt'"), std::string::npos) << link->Listing();
}

TEST_F(RemoteFiles, AWriteToAFileThatDidNotOpenFailsAndTheLinkGoesOn) {
    WriteFile(server.Path("next.txt"), "next\n");
    std::unique_ptr<Link> link = Connect();
    ASSERT_EQ(RfaOpenFile(link->handle(), "missing.txt"), RFA_ERR_FILE_NOT_FOUND);
    char record[] = "lost";
    uint16_t result = 0;
    // Nothing goes into a file that did not open: the record is not taken.
    EXPECT_EQ(RfaWriteFile(link->handle(), 4, record, &result), RFA_ERR_PROTOCOL);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(RfaCloseFile(link->handle()), RFA_OK);
    EXPECT_EQ(RfaDir(link->handle(), 0, "next.txt"), RFA_OK);
    EXPECT_NE(link->Listing().find("'next.txt'"), std::string::npos) << link->Listing();
    EXPECT_EQ(RfaDir(link->handle(), 0, "next.txt"), RFA_OK);
    EXPECT_NE(link->Listing().find("'next.txt'"), std::string::npos) << link->Listing();
}

class ReadOnlyRemoteFiles : public RemoteFiles {
protected:
    ReadOnlyRemoteFiles() : RemoteFiles("stream", {"--read-only"}) {}
};

TEST_F(ReadOnlyRemoteFiles, WritingIsRefusedWhenTheFileIsClosed) {
    WriteFile(server.Path("log.txt"), "old\n");
    std::unique_ptr<Link> link = Connect();
    ASSERT_EQ(RfaOpenFile(link->handle(), "log.txt"), RFA_OK);
    uint16_t result = 0;
    EXPECT_EQ(RfaWriteFile(link->handle(), 4, "new\n", &result), RFA_OK);
    EXPECT_EQ(RfaCloseFile(link->handle()), RFA_ERR_PRIVILEGE);
    EXPECT_EQ(ReadFile(server.Path("log.txt")), "old\n");
}

// records: each line is a record that a reader gets with CR LF, a missing
// final line end added; written records are stored each as a line.
class RecordRemoteFiles : public RemoteFiles {
protected:
    RecordRemoteFiles() : RemoteFiles("records") {}
};

TEST_F(RecordRemoteFiles, ATextFileIsReadAsRecordsEndingInCrLf) {
    WriteFile(server.Path("story.txt"), kStory);
    std::unique_ptr<Link> link = Connect();
    ASSERT_EQ(RfaOpenFile(link->handle(), "[000000]STORY.TXT;1"), RFA_OK);
    EXPECT_EQ(ReadToEnd(*link, 200), (std::vector<std::string>{"first line\r\n", "second line\r\n", "\r\n",
                                                                 "the last line has no end\r\n"}));
    EXPECT_EQ(RfaCloseFile(link->handle()), RFA_OK);
}

TEST_F(RecordRemoteFiles, ARecordLongerThanTheBufferComesInPieces) {
    const std::string longLine = "a record much longer than the buffer of the reader";
    WriteFile(server.Path("long.txt"), longLine + "\n");
    std::unique_ptr<Link> link = Connect();
    ASSERT_EQ(RfaOpenFile(link->handle(), "LONG.TXT"), RFA_OK);
    const std::vector<std::string> pieces = ReadToEnd(*link, 10);
    for (const std::string& piece : pieces) EXPECT_LE(piece.size(), 9u) << piece;
    EXPECT_EQ(Joined(pieces), longLine + "\r\n");
    EXPECT_EQ(RfaCloseFile(link->handle()), RFA_OK);
}

TEST_F(RecordRemoteFiles, APrintFormatFileIsReadWithItsLineFeedBeforeAndCarriageReturnAfter) {
    WriteFile(server.Path("report.prn"), "page one\nline two\n");
    std::unique_ptr<Link> link = Connect();
    ASSERT_EQ(RfaOpenFile(link->handle(), "REPORT.PRN"), RFA_OK);
    EXPECT_EQ(ReadToEnd(*link, 200), (std::vector<std::string>{"\npage one\r", "\nline two\r"}));
    EXPECT_EQ(RfaCloseFile(link->handle()), RFA_OK);
}

TEST_F(RecordRemoteFiles, WrittenRecordsAreStoredEachAsALine) {
    WriteFile(server.Path("log.txt"), "old\n");
    std::unique_ptr<Link> link = Connect();
    ASSERT_EQ(RfaOpenFile(link->handle(), "LOG.TXT;1"), RFA_OK);
    uint16_t result = 0;
    EXPECT_EQ(RfaWriteFile(link->handle(), 3, "one", &result), RFA_OK);
    // A record of no bytes is an argument the library refuses.
    EXPECT_EQ(RfaWriteFile(link->handle(), 0, "", &result), RFA_ERR_BAD_ARGUMENT);
    EXPECT_EQ(RfaWriteFile(link->handle(), 11, "three words", &result), RFA_OK);
    EXPECT_EQ(RfaCloseFile(link->handle()), RFA_OK);
    EXPECT_EQ(ReadFile(server.Path("log.txt")), "old\none\nthree words\n");
    // Read back: the old record and the new ones.
    ASSERT_EQ(RfaOpenFile(link->handle(), "LOG.TXT"), RFA_OK);
    EXPECT_EQ(ReadToEnd(*link, 200), (std::vector<std::string>{"old\r\n", "one\r\n", "three words\r\n"}));
    EXPECT_EQ(RfaCloseFile(link->handle()), RFA_OK);
}

}  // namespace
}  // namespace e2etest
