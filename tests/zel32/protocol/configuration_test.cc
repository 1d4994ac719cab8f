#include "zel32/protocol/configuration.h"

#include <gtest/gtest.h>

#include "codec_context.h"
#include "support/zel_messages.h"
#include "wire/message_types.h"

namespace zeltest {
namespace {

Bytes ConfigBody(uint16_t bufsiz, const Bytes& syscap, uint8_t filesys = 2) {
    Bytes body = {static_cast<uint8_t>(bufsiz), static_cast<uint8_t>(bufsiz >> 8), 7, filesys, 7, 2, 0, 4, 0};
    return body + syscap;
}

const Bytes kRequired = Syscap({5, 18, 25, 40});

TEST(ConfigurationMessage, TheLibrarySendsItsTemplateWithItsBufferSize) {
    ZelResetConfigTemplate();
    CodecContext codec;
    EXPECT_EQ(codec.Encode(wire::kConfiguration), LibraryConfiguration());
    codec->bufferSize = 4096;
    EXPECT_EQ(codec.EncodeBody(wire::kConfiguration)[0], 0x00);
    EXPECT_EQ(codec.EncodeBody(wire::kConfiguration)[1], 0x10);
}

TEST(ConfigurationMessage, WideningRaisesTheFourthFifthAndNinthSyscapBytes) {
    ZelResetConfigTemplate();
    ZelRaiseConfigCapabilities(1);
    CodecContext codec;
    EXPECT_EQ(codec.Encode(wire::kConfiguration), LibraryConfigurationRaised());
    ZelRaiseConfigCapabilities(2);
    EXPECT_EQ(codec.Encode(wire::kConfiguration), LibraryConfigurationRaised());
    ZelResetConfigTemplate();
}

TEST(ConfigurationMessage, PeerBufferSizeLowersTheBlockLimitOnly) {
    struct Case {
        uint16_t bufsiz;
        int result;
        uint16_t bufferSize;
    };
    for (const Case& c : {Case{4096, 1, 4096}, Case{0, 1, 32256}, Case{40000, 1, 32256}, Case{256, 1, 256},
                          Case{32256, 1, 32256}, Case{255, -1, 32256}, Case{1, -1, 32256}}) {
        CodecContext codec;
        codec->peerBlocking = false;
        EXPECT_EQ(codec.Decode(wire::kConfiguration, ConfigBody(c.bufsiz, kRequired)), c.result) << c.bufsiz;
        EXPECT_EQ(codec->bufferSize, c.bufferSize) << c.bufsiz;
        EXPECT_EQ(codec.errorCode(), c.result == 1 ? 0 : 20) << c.bufsiz;
        EXPECT_EQ(codec->peerBufsiz, c.bufsiz);
    }
}

TEST(ConfigurationMessage, ABodyShorterThanTenBytesIsRefused) {
    CodecContext codec;
    EXPECT_EQ(codec.Decode(wire::kConfiguration, {0x00, 0x7E, 7, 2, 7, 2, 0, 4, 0}), -1);
    EXPECT_EQ(codec.errorCode(), 20);
}

TEST(ConfigurationMessage, OnlyTheRequiredBitsSetOnlyBlocking) {
    CodecContext codec;
    codec->peerBlocking = false;
    ASSERT_EQ(codec.Decode(wire::kConfiguration, ConfigBody(0, kRequired)), 1);
    EXPECT_TRUE(codec->peerBlocking);
    EXPECT_FALSE(codec->peerLen256 || codec->peerChecksum || codec->peerCanProtection || codec->peerCanPrint ||
                 codec->peerCanSubmit || codec->peerCanRename || codec->peerCanSetProtection);
}

TEST(ConfigurationMessage, EachCapabilityBitSetsItsFlag) {
    CodecContext codec;
    ASSERT_EQ(codec.Decode(wire::kConfiguration, ConfigBody(0, Syscap({5, 18, 20, 21, 25, 27, 29, 30, 37, 40, 44}))), 1);
    EXPECT_TRUE(codec->peerLen256);
    EXPECT_TRUE(codec->peerChecksum);
    EXPECT_TRUE(codec->peerCanProtection);
    EXPECT_TRUE(codec->peerCanPrint);
    EXPECT_TRUE(codec->peerCanSubmit);
    EXPECT_TRUE(codec->peerCanRename);
    EXPECT_TRUE(codec->peerCanSetProtection);
    // A later Configuration adds flags and never clears one.
    ASSERT_EQ(codec.Decode(wire::kConfiguration, ConfigBody(0, kRequired)), 1);
    EXPECT_TRUE(codec->peerCanRename);
}

TEST(ConfigurationMessage, AMissingRequiredBitGivesError1AndKeepsThePeerFields) {
    for (unsigned missing : {5u, 18u, 25u, 40u}) {
        std::vector<unsigned> bits;
        for (unsigned bit : {5u, 18u, 25u, 40u, 37u})
            if (bit != missing) bits.push_back(bit);
        PeerConfig peer;
        peer.capabilities = bits;
        peer.filesys = 17;
        const Bytes message = PeerConfiguration(peer);
        CodecContext codec;
        codec->peerBlocking = false;
        EXPECT_EQ(codec.Decode(wire::kConfiguration, Bytes(message.begin() + 2, message.end())), -1) << missing;
        EXPECT_EQ(codec.errorCode(), 1);
        EXPECT_EQ(codec->peerFilesys, 17);
        EXPECT_FALSE(codec->peerCanRename);  // no flag is set
        EXPECT_FALSE(codec->peerBlocking);
    }
}

TEST(ConfigurationMessage, AtMostTenSyscapBytesAreTaken) {
    CodecContext codec;
    Bytes syscap = {0xA0, 0x80, 0x90, 0x90, 0x80, 0xA0, 0x80, 0x80, 0x80, 0xFF, 0x81, 0x01};
    ASSERT_EQ(codec.Decode(wire::kConfiguration, ConfigBody(0, syscap)), 1);
    EXPECT_EQ(Bytes(codec->peerSyscap, codec->peerSyscap + 10), Bytes(syscap.begin(), syscap.begin() + 10));
}

}  // namespace
}  // namespace zeltest
