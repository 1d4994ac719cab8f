#include "zel32/protocol/access_control.h"

#include <gtest/gtest.h>

#include <cstring>

#include "codec_context.h"
#include "support/zel_messages.h"
#include "wire/message_types.h"

namespace zeltest {
namespace {

class AccessMessages : public ::testing::Test {
protected:
    void SetUp() override {
        codec->peerFilesys = 2;
        codec.SetPeerCapabilities({5, 18, 25, 40});
    }
    void Names(const char* name1, const char* name2 = "") {
        std::strcpy(codec.link().status.name1, name1);
        std::strcpy(codec.link().status.name2, name2);
    }
    Bytes Access(uint16_t operation) {
        codec->operation = operation;
        return codec.EncodeBody(wire::kAccess);
    }
    CodecContext codec;
};

TEST_F(AccessMessages, DeleteOfATxt) {
    Names("A.TXT");
    EXPECT_EQ(Access(kOpDelete), (Bytes{0x04, 0x00, 0x05, 'A', '.', 'T', 'X', 'T', 0x02, 0x00, 0x31, 0x00}));
}

TEST_F(AccessMessages, ExtendedDisplayWhenThePeerHasBit64) {
    Names("A.TXT");
    codec.SetPeerCapabilities({5, 18, 25, 40, 64});
    const Bytes body = Access(kOpDelete);
    EXPECT_EQ(Bytes(body.end() - 5, body.end()), (Bytes{0x02, 0x00, 0xB1, 0x10, 0x00}));
    codec->operation = kOpCopy;
    const Bytes copy = Access(kOpCopy);
    EXPECT_EQ(Bytes(copy.end() - 3, copy.end()), (Bytes{0x91, 0x12, 0x00}));
}

TEST_F(AccessMessages, RenameEndsAfterShr) {
    Names("OLD.TXT", "NEW.TXT");
    EXPECT_EQ(Access(kOpRename), (Bytes{0x03, 0x00, 0x07, 'O', 'L', 'D', '.', 'T', 'X', 'T', 0x02, 0x00}));
}

TEST_F(AccessMessages, BriefListingAsksForTheMainAttributesOnly) {
    Names("*.*");
    codec.SetPeerCapabilities({5, 18, 25, 40, 64});
    codec.link().dirFlag = 0;
    Bytes body = Access(kOpDir);
    EXPECT_EQ(body[0], 6);
    EXPECT_EQ(Bytes(body.end() - 2, body.end()), (Bytes{0x01, 0x00}));
    codec.link().dirFlag = 1;
    body = Access(kOpDir);
    EXPECT_EQ(Bytes(body.end() - 3, body.end()), (Bytes{0xB1, 0x10, 0x00}));
}

TEST_F(AccessMessages, DownloadAsksForTheChecksumAndReadsName1) {
    Names("REMOTE.DAT", "local.dat");
    codec->peerChecksum = true;
    codec.link().status.copyDirection = 0;
    Bytes body = Access(kOpCopy);
    EXPECT_EQ(body, (Text("\x01\x08\x0AREMOTE.DAT\x02") + Bytes{0x00, 0x91, 0x02, 0x00}));
    codec->peerFilesys = 12;
    body = Access(kOpCopy);
    EXPECT_EQ(body[13], 0x22);
}

TEST_F(AccessMessages, UploadWritesName2) {
    Names("local.dat", "REMOTE.DAT");
    codec.link().status.copyDirection = 1;
    const Bytes body = Access(kOpCopy);
    EXPECT_EQ(body, (Bytes{0x02, 0x00, 0x0A} + Text("REMOTE.DAT") + Bytes{0x01, 0x00, 0x91, 0x02, 0x00}));
}

TEST_F(AccessMessages, FileAccessAdditions) {
    Names("F");
    RfaCopyAttributes blockMode{1, 0, 0, 0, 0};
    codec.link().copyOption = &blockMode;
    EXPECT_EQ(Access(kOpCopy)[4], 0x22);  // transfer mode 1 asks for block access
    EXPECT_EQ(Access(kOpDelete)[4], 0x02);  // a description counts only in a copy
    codec.SetPeerCapabilities({5, 18, 25, 40, 57});
    codec->peerFilesys = 12;
    EXPECT_EQ(Access(kOpCopy)[4], 0x42);  // bit 57: 0x40 and nothing else
    codec.link().copyOption = nullptr;
}

TEST_F(AccessMessages, FunctionsAndOptionsByOperation) {
    Names("X");
    struct Row {
        uint16_t operation;
        uint8_t accFunc;
        uint8_t fac;
    };
    codec.link().protectionFlag = 1;
    for (const Row& row : {Row{kOpOpenFile, 1, 0x03}, Row{kOpMd, 2, 0x02}, Row{kOpRd, 4, 0x02},
                           Row{kOpPrint, 1, 0x02}, Row{kOpProtection, 1, 0x03}, Row{kOpSubmit, 8, 0x02},
                           Row{kOpCwd, 0, 0x00}}) {
        const Bytes body = Access(row.operation);
        EXPECT_EQ(body[0], row.accFunc) << row.operation;
        EXPECT_EQ(body[4], row.fac) << row.operation;
    }
    codec.link().protectionFlag = 0;
    EXPECT_EQ(Access(kOpProtection)[4], 0x02);
    EXPECT_EQ(Access(kOpCwd), (Bytes{0x00, 0x00, 0x01, 'X', 0x00, 0x00, 0x00, 0x00}));
}

TEST_F(AccessMessages, AccessIsAFlushTypeWithoutLength) {
    Names("A");
    codec->operation = kOpDelete;
    EXPECT_EQ(codec.Encode(wire::kAccess)[1], 0x00);
}

class ControlMessages : public AccessMessages {
protected:
    Bytes Control(uint16_t operation) {
        codec->operation = operation;
        return codec.EncodeBody(wire::kControl);
    }
};

TEST_F(ControlMessages, ReadAsksForTheCallersSizeFromANewEnoughPeer) {
    codec.link().ioLength = 512;
    codec->peerVernum = 7;
    codec->peerEconum = 2;
    EXPECT_EQ(Control(kOpReadFile), (Bytes{0x01, 0x81, 0x01, 0x06, 0x00, 0x02}));
    codec->peerEconum = 1;
    EXPECT_EQ(Control(kOpReadFile), (Bytes{0x01, 0x01, 0x03}));
}

TEST_F(ControlMessages, NoSizeWhenTheLengthIsZero) {
    codec->peerVernum = 7;
    codec->peerEconum = 2;
    codec.link().ioLength = 0;
    EXPECT_EQ(Control(kOpWriteFile), (Bytes{0x04, 0x01, 0x03}));
    codec->controlConnect = 1;
    EXPECT_EQ(Control(kOpOpenFile), (Bytes{0x02, 0x01, 0x03}));
}

TEST_F(ControlMessages, CopyConnectAndDataPhase) {
    codec->controlConnect = 1;
    EXPECT_EQ(Control(kOpCopy), (Bytes{0x02, 0x00}));
    codec->controlConnect = 0;
    codec.link().status.copyDirection = 0;
    EXPECT_EQ(Control(kOpCopy), (Bytes{0x01, 0x09, 0x03, 0x00}));
    codec.link().status.copyDirection = 1;
    RfaCopyAttributes description{0, 0, 0, 0, 0};
    codec.link().copyOption = &description;
    EXPECT_EQ(Control(kOpCopy), (Bytes{0x04, 0x09, 0x06, 0x00}));
    for (uint16_t mode : {1, 2, 3}) {
        description.transferMode = mode;
        EXPECT_EQ(Control(kOpCopy)[2], mode == 1 ? 5 : 3);
    }
    codec->peerFilesys = 17;
    description.transferMode = 0;
    EXPECT_EQ(Control(kOpCopy)[2], 5);  // block transfer for these file systems
    codec.link().copyOption = nullptr;
}

TEST(ContinueTransferMessage, FunctionByOperation) {
    CodecContext codec;
    struct Row {
        uint16_t operation;
        uint8_t conFunc;
    };
    for (const Row& row : {Row{kOpDir, 2}, Row{kOpRename, 6}, Row{kOpAbort, 3}, Row{kOpCopy, 3},
                           Row{kOpReadFile, 5}, Row{kOpDelete, 5}}) {
        codec->operation = row.operation;
        EXPECT_EQ(codec.Encode(wire::kContinueTransfer), (Bytes{0x05, 0x00, row.conFunc})) << row.operation;
    }
}

TEST(AccessCompleteMessage, BodiesByOperation) {
    CodecContext codec;
    struct Row {
        uint16_t operation;
        Bytes body;
    };
    for (const Row& row : {Row{kOpCloseFile, {0x01}}, Row{kOpReadFile, {0x04}}, Row{kOpWriteFile, {0x04}},
                           Row{kOpCopy, {0x01, 0x80, 0x80, 0x00}}, Row{kOpPrint, {0x01, 0x80, 0x80, 0x40}},
                           Row{kOpDelete, {0x01}}}) {
        codec->operation = row.operation;
        EXPECT_EQ(codec.EncodeBody(wire::kAccessComplete), row.body) << row.operation;
    }
    codec->aborting = 1;
    codec->operation = kOpCopy;
    EXPECT_EQ(codec.EncodeBody(wire::kAccessComplete), Bytes{0x01});
}

TEST(AccessCompleteMessage, SettingProtectionDependsOnTheMessageBefore) {
    CodecContext codec;
    codec->operation = kOpProtection;
    codec.link().protectionFlag = 1;
    codec->lastSentType = wire::kControl;
    EXPECT_EQ(codec.EncodeBody(wire::kAccessComplete), Bytes{0x06});
    codec->lastSentType = wire::kProtection;
    EXPECT_EQ(codec.EncodeBody(wire::kAccessComplete), Bytes{0x07});
    codec->lastSentType = wire::kAccess;
    EXPECT_EQ(codec.EncodeBody(wire::kAccessComplete), Bytes{0x00});
    codec.link().protectionFlag = 0;
    EXPECT_EQ(codec.EncodeBody(wire::kAccessComplete), Bytes{0x01});
}

TEST(AccessCompleteMessage, AZeroChecksumBecomesAllOnes) {
    CodecContext codec;
    codec->operation = kOpCopy;
    codec->dataChecksum = 0;
    codec.Encode(wire::kAccessComplete);
    EXPECT_EQ(codec->dataChecksum, 0xFFFF);
    codec->dataChecksum = 0x1234;
    codec.Encode(wire::kAccessComplete);
    EXPECT_EQ(codec->dataChecksum, 0x1234);
}

TEST(AccessCompleteMessage, ReceivedChecksumIsTakenBehindEmptyOptions) {
    CodecContext codec;
    codec->peerChecksum = true;
    EXPECT_EQ(codec.Decode(wire::kAccessComplete, {0x05, 0x09, 0x34, 0x12}), 1);
    EXPECT_EQ(codec->complete.cmpFunc, 5);
    EXPECT_EQ(codec->complete.fop[0], 0x09);
    EXPECT_EQ(codec->complete.check, 0x1234);
    codec->peerChecksum = false;
    EXPECT_EQ(codec.Decode(wire::kAccessComplete, {0x05, 0x09, 0x34, 0x12}), 1);
    EXPECT_EQ(codec->complete.check, 0);
}

TEST(AccessCompleteMessage, OptionsOfACompletion) {
    CodecContext codec;
    EXPECT_EQ(codec.Decode(wire::kAccessComplete, {0x01, 0x80, 0x80, 0x40}), 1);
    EXPECT_EQ(Bytes(codec->complete.fop, codec->complete.fop + 3), (Bytes{0x80, 0x80, 0x40}));
    EXPECT_EQ(codec.Decode(wire::kAccessComplete, {0x01, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80}), -1);
    EXPECT_EQ(codec.errorCode(), 20);
    EXPECT_EQ(codec.Decode(wire::kAccessComplete, {}), 1);
}

TEST(ReceivedAccessAndControl, DecodedFieldByFieldAndRefusedWhenMalformed) {
    CodecContext codec;
    EXPECT_EQ(codec.Decode(wire::kAccess, Bytes{0x01, 0x00, 0x03, 'A', 'B', 'C', 0x02, 0x00, 0x31, 0x02, 'p', 'w'}), 2);
    EXPECT_EQ(codec->access.accFunc, 1);
    EXPECT_STREQ(codec->access.fileSpec, "ABC");
    EXPECT_EQ(codec->access.fac, 2);
    EXPECT_EQ(codec->access.display[0], 0x31);
    EXPECT_STREQ(codec->access.password, "pw");
    EXPECT_EQ(codec.Decode(wire::kAccess, {0x01, 0x00, 0x09, 'A'}), -1);  // FILESPEC past the body
    EXPECT_EQ(codec.errorCode(), 20);
    EXPECT_EQ(codec.Decode(wire::kControl, {0x01, 0x81, 0x01, 0x06, 0x00, 0x02}), 2);
    EXPECT_EQ(codec->control.rac, 6);
    EXPECT_EQ(codec->control.usz, 512);
    EXPECT_EQ(codec.Decode(wire::kControl, {0x01, 0x02, 0x05, 'K'}), -1);  // KEY past the body
    EXPECT_EQ(codec.Decode(wire::kContinueTransfer, {0x02}), 1);
    EXPECT_EQ(codec->complete.conFunc, 2);
}

}  // namespace
}  // namespace zeltest
