// The messages of the remote file and copy exchanges, as the scripts of the
// operation tests write them: what the library sends for an Open, a Read, a
// Write or a copy toward a peer of file system 2 (no BSZ sent), and what a
// peer answers. Also cutting the frames the peer received back into
// messages, to reassemble an upload's records.
#pragma once

#include <sys/time.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "support/scripted_peer.h"
#include "support/zel_messages.h"

namespace zeltest {

// The steps of several scripts, one after the other.
inline Script Joined(std::initializer_list<Script> parts) {
    Script all;
    for (const Script& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// A peer with the required capabilities and these, and BUFSIZ `bufsiz`.
inline PeerConfig PeerWith(std::initializer_list<unsigned> capabilities, uint16_t bufsiz = 0x7E00) {
    PeerConfig config;
    config.capabilities.insert(config.capabilities.end(), capabilities.begin(), capabilities.end());
    config.bufsiz = bufsiz;
    return config;
}
constexpr unsigned kCapLen256 = 20;
// A stream peer (SYSCAP bits 54 and 55) that takes two-byte lengths.
inline PeerConfig StreamPeer(uint16_t bufsiz = 0x7E00) { return PeerWith({kCapLen256, 54, 55}, bufsiz); }
inline PeerConfig Len256Peer(uint16_t bufsiz = 0x7E00) { return PeerWith({kCapLen256}, bufsiz); }

// ---- Local files -------------------------------------------------------------

// The time stamp of an upload whose source StampFile has set.
constexpr const char* kStampText = "05-MAR-98 14:07:09";

// Gives a local file the last-write time 5 March 1998 14:07:09 UTC.
inline bool StampFile(const std::string& path) {
    std::tm written{};
    written.tm_year = 98;
    written.tm_mon = 2;
    written.tm_mday = 5;
    written.tm_hour = 14;
    written.tm_min = 7;
    written.tm_sec = 9;
    const timeval times[2] = {{timegm(&written), 0}, {timegm(&written), 0}};
    return ::utimes(path.c_str(), times) == 0;
}

// ---- Sent by the library ---------------------------------------------------

// The Attributes message without a copy description: DATATYPE 1 (text) or
// 2 (image, MRS 128), ORG 0, RFM 4, RAT 0.
inline Bytes SentAttributes(bool image = false) {
    return Message(2, 0x02, {0x2F, static_cast<uint8_t>(image ? 0x02 : 0x01), 0x00, 0x04, 0x00,
                             static_cast<uint8_t>(image ? 0x80 : 0x00), 0x00});
}

// An Access message: ACCFUNC, ACCOPT 0, the file spec, FAC, SHR 0,
// DISPLAY and an empty PASSWORD.
inline Bytes SentAccess(uint8_t function, const std::string& spec, uint8_t fac, const Bytes& display) {
    Bytes body = {function, 0x00, static_cast<uint8_t>(spec.size())};
    body = body + Text(spec) + Bytes{fac, 0x00} + display + Bytes{0x00};
    return Message(3, 0x00, body);
}

inline Bytes OpenAccess(const std::string& spec) { return SentAccess(1, spec, 0x03, {0x31}); }
inline Bytes DownloadAccess(const std::string& spec) { return SentAccess(1, spec, 0x02, {0x91, 0x02}); }
inline Bytes UploadAccess(const std::string& spec) { return SentAccess(2, spec, 0x01, {0x91, 0x02}); }

// The connecting Control of an Open (with no USZ) and of a copy.
inline Bytes OpenConnectControl() { return {0x04, 0x00, 0x02, 0x01, 0x03}; }
inline Bytes CopyConnectControl() { return {0x04, 0x00, 0x02, 0x00}; }
// The Control of Read (CTLFUNC 1) or Write (CTLFUNC 4) toward a peer of
// VERNUM 7 and ECONUM 2: RAC 6 and USZ = the caller's length.
inline Bytes RecordControl(uint8_t function, uint16_t length) {
    return {0x04, 0x00, function, 0x81, 0x01, 0x06, static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8)};
}
// The data-phase Control of a copy: CTLFUNC 1 (download) or 4 (upload),
// CTLMENU 0x09, the RAC, ROP 0.
inline Bytes DataPhaseControl(uint8_t function, uint8_t rac = 3) { return {0x04, 0x00, function, 0x09, rac, 0x00}; }

inline Bytes CopyAccessComplete() { return {0x07, 0x00, 0x01, 0x80, 0x80, 0x00}; }
inline Bytes CloseAccessComplete() { return {0x07, 0x00, 0x01}; }

// The Date and Time message of an upload: CDT and RDT both `date`.
inline Bytes SentDates(const std::string& date) { return Message(13, 0x02, Bytes{0x03} + Text(date) + Text(date)); }

// A Data message as the library sends it: one-byte length up to 251 bytes
// of record, the two-byte form above, toward a peer with LEN256.
inline Bytes SentData(const Bytes& record) {
    const Bytes body = Bytes{0x00} + record;
    return Message(8, record.size() > 251 ? 0x06 : 0x02, body);
}

// ---- Sent by the peer ------------------------------------------------------

// The remote file's Attributes: DATATYPE 1, ORG 0, RFM and RAT.
inline Bytes RemoteAttributes(uint8_t rfm, uint8_t rat) { return Attributes({0x0F, 0x01, 0x00, rfm, rat}); }

// A print-format record: RECNUM, the two print bytes, the data.
inline Bytes PrintData(uint8_t prefix, uint8_t postfix, const Bytes& record) {
    return Message(8, 0x02, Bytes{0x00, prefix, postfix} + record);
}

// The Data messages of `records`, packed into as few blocks of at most
// `blockSize` bytes as they fit in, each a reply step; the last block ends
// with `closing` (the end-of-file Status, say) when it fits, else it goes
// in a block of its own.
inline Script ReplyRecords(const std::vector<Bytes>& records, const Bytes& closing, size_t blockSize = 32256) {
    Script steps;
    Bytes block;
    for (const Bytes& record : records) {
        const Bytes message = Data(record);
        if (block.size() + message.size() > blockSize) {
            steps.push_back(reply(block));
            block.clear();
        }
        block = block + message;
    }
    if (block.size() + closing.size() > blockSize) {
        steps.push_back(reply(block));
        block.clear();
    }
    steps.push_back(reply(block + closing));
    return steps;
}

// ---- Reading what the library sent -----------------------------------------

struct SentMessage {
    uint8_t type;
    Bytes body;
};

// Cuts one block into its messages by their headers. A message without a
// length field runs to the end of the block.
inline std::vector<SentMessage> MessagesOf(const Bytes& block) {
    std::vector<SentMessage> messages;
    size_t at = 0;
    while (at + 2 <= block.size()) {
        const uint8_t type = block[at];
        const uint8_t flags = block[at + 1];
        at += 2;
        size_t length = block.size() - at;
        if ((flags & 0x04) != 0 && at + 2 <= block.size()) {
            length = block[at] | (block[at + 1] << 8);
            at += 2;
        } else if ((flags & 0x02) != 0 && at + 1 <= block.size()) {
            length = block[at];
            at += 1;
        }
        length = std::min(length, block.size() - at);
        messages.push_back({type, Bytes(block.begin() + static_cast<std::ptrdiff_t>(at),
                                        block.begin() + static_cast<std::ptrdiff_t>(at + length))});
        at += length;
    }
    return messages;
}

// The records of every Data message the peer received, in order.
inline std::vector<Bytes> SentRecords(const std::vector<ReceivedFrame>& frames) {
    std::vector<Bytes> records;
    for (const ReceivedFrame& frame : frames) {
        for (const SentMessage& message : MessagesOf(frame.payload)) {
            if (message.type == 8 && !message.body.empty())
                records.emplace_back(message.body.begin() + 1, message.body.end());
        }
    }
    return records;
}

// Whether the last message of a block is of `type`.
inline bool EndsWithMessage(const Bytes& block, uint8_t type) {
    const std::vector<SentMessage> messages = MessagesOf(block);
    return !messages.empty() && messages.back().type == type;
}

}  // namespace zeltest
